#include "NandCheck.h"

#include <algorithm>
#include <set>

namespace {

constexpr std::uint8_t Erased = 0xFF;
constexpr int CountOffset = 2, EntriesOffset = 4, EntrySize = 2;
constexpr int SectorBytes = 256;
constexpr int MaxEntries = (SectorBytes - EntriesOffset) / EntrySize;
constexpr int BitsPerByte = 8;

int little16(const std::uint8_t *bytes)
{
    return bytes[0] | (bytes[1] << BitsPerByte);
}

} // namespace

NandCheck::List NandCheck::lastList(const std::uint8_t *block0)
{
    List list;
    int page = 0;
    while (page < PagesPerBlock && block0[std::size_t(page) * PageBytes] != Erased)
        ++page;
    if (page == 0)
        return list;
    list.page = page - 1;
    const std::uint8_t *sector = block0 + std::size_t(list.page) * PageBytes;
    list.factoryDefects = std::int16_t(little16(sector + CountOffset));
    for (int i = 0; i < MaxEntries; ++i) {
        const int block = little16(sector + EntriesOffset + EntrySize * i);
        if (block >= Blocks)
            break;
        list.badBlocks.push_back(block);
    }
    return list;
}

NandCheck::Placement NandCheck::checkImage(
    const std::uint8_t *nand, std::size_t nandSize, const std::uint8_t *image, std::size_t imageSize)
{
    Placement result;
    if (nandSize != NandBytes) {
        result.problem
            = "the NAND dump has " + std::to_string(nandSize) + " bytes, not " + std::to_string(NandBytes);
        return result;
    }
    const List list = lastList(nand);
    if (list.page < 0) {
        result.problem = "block 0 holds no bad-block list";
        return result;
    }
    const std::set<int> bad(list.badBlocks.begin(), list.badBlocks.end());
    result.imagePages = int((imageSize + PageBytes - 1) / PageBytes);

    std::vector<std::uint8_t> expected(PageBytes);
    int block = 0;
    for (int page = 0; page < result.imagePages; ++page) {
        if (page % PagesPerBlock == 0) {
            do
                ++block;
            while (block < Blocks && bad.count(block));
            if (block >= Blocks) {
                result.problem = "the image needs more good blocks than the NAND has";
                return result;
            }
            if (page == 0)
                result.firstBlock = block;
            result.lastBlock = block;
        }
        const std::size_t start = std::size_t(page) * PageBytes;
        const std::size_t length = std::min<std::size_t>(PageBytes, imageSize - start);
        std::fill(std::copy_n(image + start, length, expected.begin()), expected.end(), Erased);
        const std::uint8_t *stored
            = nand + std::size_t(block) * BlockBytes + std::size_t(page % PagesPerBlock) * PageBytes;
        const auto difference = std::mismatch(expected.begin(), expected.end(), stored);
        if (difference.first != expected.end()) {
            result.problem = "block " + std::to_string(block) + " page "
                + std::to_string(page % PagesPerBlock) + " differs from image page " + std::to_string(page)
                + " at byte " + std::to_string(difference.first - expected.begin());
            return result;
        }
    }
    result.matches = true;
    return result;
}
