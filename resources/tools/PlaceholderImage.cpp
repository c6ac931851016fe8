// Writes the stand-in NAND image that builds use until the unit's maker supplies the real one. It has
// the real image's length and a firmware-like mix of contents (header, code, tables, text, erased and
// zeroed areas, packed data), so that compression, loading and the write pass behave as with the real
// image. The output depends on nothing but this program.

#include <array>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace {

constexpr std::size_t ImageSize = 3915344;
constexpr std::size_t HeaderSize = 4096;
constexpr std::size_t CodeSize = 1536 * 1024;
constexpr std::size_t TableSize = 320 * 1024;
constexpr std::size_t TextSize = 96 * 1024;
constexpr std::size_t ZeroSize = 384 * 1024;
constexpr std::size_t WaveSize = 256 * 1024;
constexpr std::size_t PackedSize = 192 * 1024;
constexpr std::uint8_t Erased = 0xFF;

using Image = std::vector<std::uint8_t>;

// xorshift32: fixed sequence from a fixed seed, the same on every compiler and library.
std::uint32_t nextRandom(std::uint32_t &state)
{
    state ^= state << 13;
    state ^= state >> 17;
    state ^= state << 5;
    return state;
}

void put32(Image &image, std::uint32_t value)
{
    for (int i = 0; i < 4; ++i)
        image.push_back(std::uint8_t(value >> (8 * i)));
}

void put16(Image &image, std::uint16_t value)
{
    image.push_back(std::uint8_t(value));
    image.push_back(std::uint8_t(value >> 8));
}

void padTo(Image &image, std::size_t size, std::uint8_t fill)
{
    image.resize(size, fill);
}

void writeHeader(Image &image)
{
    const std::string magic = "TAVRIN NAND IMAGE";
    image.insert(image.end(), magic.begin(), magic.end());
    image.push_back(0);
    put16(image, 2);
    put16(image, 2);
    const std::array<std::size_t, 6> regions
        = {CodeSize, TableSize, TextSize, ZeroSize, WaveSize, PackedSize};
    std::size_t offset = HeaderSize;
    for (std::size_t size : regions) {
        put32(image, std::uint32_t(offset));
        put32(image, std::uint32_t(size));
        offset += size;
    }
    padTo(image, HeaderSize, Erased);
}

// 32-bit instruction words. Compiled code repeats itself: functions are built from a pool of short
// instruction sequences, with an occasional word of their own, and end with a return and alignment.
void writeCode(Image &image, std::uint32_t &random)
{
    static constexpr std::array<std::uint32_t, 16> opcodes = {
        0xE1A00000,
        0xE3A00000,
        0xE5900000,
        0xE5800000,
        0xE2800000,
        0xE2400000,
        0xE1500000,
        0x0A000000,
        0x1A000000,
        0xEB000000,
        0xE92D4000,
        0xE8BD8000,
        0xE0800000,
        0xE0000090,
        0xE1A00100,
        0xE3500000,
    };
    auto instruction = [&random] {
        const std::uint32_t r = nextRandom(random);
        const std::uint32_t registers = ((r >> 4) & 0x7) << 16 | ((r >> 8) & 0x7) << 12;
        return opcodes[r % opcodes.size()] | registers | ((r >> 16) & 0xFF);
    };
    std::vector<std::vector<std::uint32_t>> pool(384);
    for (auto &sequence : pool) {
        sequence.resize(3 + nextRandom(random) % 10);
        for (auto &word : sequence)
            word = instruction();
    }
    const std::size_t end = image.size() + CodeSize;
    while (image.size() + 4 <= end) {
        put32(image, 0xE92D4070);
        const std::uint32_t pieces = 2 + nextRandom(random) % 8;
        for (std::uint32_t i = 0; i < pieces; ++i) {
            for (std::uint32_t word : pool[nextRandom(random) % pool.size()]) {
                if (image.size() + 8 <= end)
                    put32(image, word);
            }
            if (nextRandom(random) % 3 == 0 && image.size() + 8 <= end)
                put32(image, 0xEB000000 | (nextRandom(random) & 0xFFFF));
        }
        if (image.size() + 4 <= end)
            put32(image, 0xE8BD8070);
        while (image.size() % 16 != 0 && image.size() + 4 <= end)
            put32(image, 0xE1A00000);
    }
    padTo(image, end, 0);
}

// Lookup tables as firmware carries them: a sine table, a CRC table, exponential and linear ramps.
void writeTables(Image &image)
{
    const std::size_t end = image.size() + TableSize;
    constexpr double Pi = 3.14159265358979323846;
    for (int i = 0; i < 4096; ++i)
        put16(image, std::uint16_t(std::lround(32767.0 * std::sin(2.0 * Pi * i / 4096.0))));
    for (std::uint32_t n = 0; n < 256; ++n) {
        std::uint32_t c = n;
        for (int k = 0; k < 8; ++k)
            c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
        put32(image, c);
    }
    for (int i = 0; i < 8192; ++i)
        put32(image, std::uint32_t(std::lround(1000.0 * std::pow(2.0, i / 1200.0))));
    for (std::uint32_t i = 0; image.size() + 4 <= end; ++i)
        put32(image, i * 3);
    padTo(image, end, 0);
}

// Zero-terminated parameter and menu texts.
void writeText(Image &image)
{
    static const std::array<const char *, 12> words = {
        "Oscillator",
        "Filter",
        "Cutoff",
        "Resonance",
        "Envelope",
        "Attack",
        "Decay",
        "Sustain",
        "Release",
        "Tempo",
        "Pattern",
        "Voice",
    };
    const std::size_t end = image.size() + TextSize;
    for (std::uint32_t i = 0; image.size() < end; ++i) {
        const std::string text = std::string(words[i % words.size()]) + " " + std::to_string(i % 97 + 1) + " "
            + words[(i / 7) % words.size()];
        for (char c : text) {
            if (image.size() < end)
                image.push_back(std::uint8_t(c));
        }
        if (image.size() < end)
            image.push_back(0);
    }
}

// Sampled waveforms with a little noise: smooth, partly compressible 16-bit data.
void writeWaves(Image &image, std::uint32_t &random)
{
    const std::size_t end = image.size() + WaveSize;
    double phase = 0.0;
    for (std::uint32_t i = 0; image.size() + 2 <= end; ++i) {
        const double step = 0.002 + 0.0005 * double((i / 4096) % 16);
        phase += step;
        const double value = 12000.0 * std::sin(phase) + 3000.0 * std::sin(3.0 * phase);
        const int noise = int(nextRandom(random) % 4) - 2;
        put16(image, std::uint16_t(std::int16_t(std::lround(value) + noise)));
    }
    padTo(image, end, 0);
}

// Already-packed data: no redundancy left.
void writePacked(Image &image, std::uint32_t &random)
{
    const std::size_t end = image.size() + PackedSize;
    while (image.size() + 4 <= end)
        put32(image, nextRandom(random));
    padTo(image, end, 0);
}

} // namespace

int main(int argc, char **argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s OUTPUT\n", argv[0]);
        return 2;
    }
    Image image;
    image.reserve(ImageSize);
    std::uint32_t random = 0x54415652;
    writeHeader(image);
    writeCode(image, random);
    writeTables(image);
    writeText(image);
    padTo(image, image.size() + ZeroSize, 0);
    writeWaves(image, random);
    writePacked(image, random);
    padTo(image, ImageSize, Erased);

    std::FILE *out = std::fopen(argv[1], "wb");
    if (!out) {
        std::perror(argv[1]);
        return 1;
    }
    const bool written = std::fwrite(image.data(), 1, image.size(), out) == image.size();
    if (std::fclose(out) != 0 || !written) {
        std::perror(argv[1]);
        return 1;
    }
    return 0;
}
