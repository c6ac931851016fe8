#include "NandGeometry.h"
#include "UpdateEngine.h"

#include <algorithm>
#include <array>
#include <cstring>

namespace {

constexpr std::array<std::uint8_t, 256> makeOddParity()
{
    std::array<std::uint8_t, 256> table{};
    for (int v = 0; v < 256; ++v) {
        int bits = 0;
        for (int b = v; b; b >>= 1)
            bits += b & 1;
        table[v] = std::uint8_t(bits & 1);
    }
    return table;
}

constexpr std::array<std::uint8_t, 256> oddParity = makeOddParity();

// Each odd-parity byte contributes its position in the low byte and the complement in the high byte.
constexpr std::uint16_t positionWord(int j)
{
    return std::uint16_t((Nand::SectorSize - 1 - j) << 8 | j);
}

} // namespace

void UpdateEngine::buildDataFrame()
{
    pageFrame.fill(Nand::ErasedByte);
    const auto blockByte = std::uint8_t(dataBlockIndex & 0xFF);
    std::fill_n(pageFrame.begin(), Frame::BlockIndexCopies, blockByte);

    const std::int64_t base
        = (std::int64_t(dataBlockIndex) * Nand::PagesPerBlock + pageInBlock) * Nand::PageDataSize;
    const auto *image = reinterpret_cast<const std::uint8_t *>(imageData.constData());
    for (int k = 0; k < Nand::SectorsPerPage; ++k) {
        const std::int64_t start = base + std::int64_t(k) * Nand::SectorSize;
        if (start >= imageSize)
            break;
        const auto count = std::size_t(std::min<std::int64_t>(Nand::SectorSize, imageSize - start));
        std::memcpy(pageFrame.data() + Frame::sectorOffset(k), image + start, count);
    }

    // Set or cleared for every page, so a rewound or restarted pass ends exactly after the image's last page.
    imageDone = imageSize <= base + Nand::PageDataSize;
    addCheckBytes();
}

void UpdateEngine::buildBblFrame()
{
    pageFrame.fill(Nand::ErasedByte);
    pageFrame[0] = Frame::ListMarker;
    std::uint8_t *list = pageFrame.data() + Frame::sectorOffset(0);
    std::fill_n(list, Frame::ListMarkerCopies, Frame::ListMarker);
    list[Frame::ListCountOffset] = std::uint8_t(factoryDefects & 0xFF);
    list[Frame::ListCountOffset + 1] = std::uint8_t((factoryDefects >> 8) & 0xFF);

    std::uint8_t *entry = list + Frame::ListEntriesOffset;
    int written = 0;
    for (int block = 0; block < Nand::BlockCount && written < Frame::MaxWrittenListEntries; ++block) {
        if (!badBlocks[block])
            continue;
        entry[0] = std::uint8_t(block & 0xFF);
        entry[1] = std::uint8_t(block >> 8);
        entry += Frame::ListEntrySize;
        ++written;
    }
    addCheckBytes();
}

void UpdateEngine::addCheckBytes()
{
    for (int k = 0; k < Nand::SectorsPerPage; ++k) {
        std::uint8_t *sector = pageFrame.data() + Frame::sectorOffset(k);
        std::uint8_t sum = 0;
        std::uint16_t positions = 0;
        for (int j = 0; j < Nand::SectorSize; ++j) {
            const std::uint8_t d = sector[j];
            sum ^= d;
            if (oddParity[d])
                positions ^= positionWord(j);
        }
        std::uint8_t *check = sector + Nand::SectorSize;
        check[0] = sum;
        check[1] = std::uint8_t(positions & 0xFF);
        check[2] = std::uint8_t(positions >> 8);
        check[3] = Frame::CheckFill;
    }
}
