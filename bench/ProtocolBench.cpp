#include "DeviceLink.h"
#include "Packing.h"

#include <benchmark/benchmark.h>

#include <array>
#include <vector>

namespace {

std::array<std::uint8_t, 64> piece()
{
    std::array<std::uint8_t, 64> bytes{};
    for (std::size_t i = 0; i < bytes.size(); ++i)
        bytes[i] = std::uint8_t(i * 37 + 11);
    return bytes;
}

// Checksum and 4-in-5 groups of one 64-byte piece, as CMD_PAGE_DATA carries it.
void PackPiece(benchmark::State &state)
{
    const auto bytes = piece();
    std::array<char, 96> out{};
    for (auto _ : state) {
        benchmark::DoNotOptimize(dataChecksum(bytes.data(), int(bytes.size())));
        benchmark::DoNotOptimize(packGroups(bytes.data(), int(bytes.size()), out.data()));
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(PackPiece);

// The whole send path up to the port: buffer, frame head, packing; the closed port refuses it.
void BuildPageDataMessage(benchmark::State &state)
{
    DeviceLink link;
    const auto bytes = piece();
    for (auto _ : state)
        benchmark::DoNotOptimize(link.sendPageData(std::int16_t(bytes.size()), bytes.data()));
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BuildPageDataMessage);

std::vector<std::uint8_t> flashDataReply()
{
    std::vector<std::uint8_t> reply{0xF0, 0x00, 0x11, 0x22, 0x0A, 0x00, 0x00, 0x00, 0x00, 0x29, 0x00};
    for (int g = 0; g < 16; ++g) {
        for (int j = 0; j < 4; ++j)
            reply.push_back(std::uint8_t((g * 4 + j) & 0x7F));
        reply.push_back(std::uint8_t(g & 0x0F));
    }
    reply.push_back(0xF7);
    return reply;
}

void ParseDataReply(benchmark::State &state)
{
    DeviceLink link;
    const auto reply = flashDataReply();
    for (auto _ : state)
        benchmark::DoNotOptimize(link.parseReply(reply.data(), int(reply.size())));
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(ParseDataReply);

void ParseAckReply(benchmark::State &state)
{
    DeviceLink link;
    const std::vector<std::uint8_t> reply{
        0xF0, 0x00, 0x11, 0x22, 0x0A, 0x00, 0x00, 0x00, 0x00, 0x2C, 0x00, 0xF7};
    for (auto _ : state)
        benchmark::DoNotOptimize(link.parseReply(reply.data(), int(reply.size())));
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(ParseAckReply);

} // namespace
