#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// Reads what the updater leaves in the data area of the NAND (2048 bytes per page, check bytes and
// head left out): the bad-block lists in block 0 and the image in blocks 1 to 1023.
class NandCheck
{
public:
    static constexpr int Blocks = 1024, PagesPerBlock = 64, PageBytes = 2048;
    static constexpr std::size_t BlockBytes = std::size_t(PagesPerBlock) * PageBytes;
    static constexpr std::size_t NandBytes = Blocks * BlockBytes;

    struct List
    {
        int page = -1; // -1: block 0 holds no list
        int factoryDefects = 0;
        std::vector<int> badBlocks;
    };

    // The list that the updater reads back: the one in the page before the first erased page of block 0.
    static List lastList(const std::uint8_t *block0);

    struct Placement
    {
        bool matches = false;
        int imagePages = 0;
        int firstBlock = 0;
        int lastBlock = 0;
        std::string problem;
    };

    // Whether image block n lies in the n-th block from block 1 that the last list does not name, each
    // page holding its 2048 bytes of the image and 0xFF past the image's end.
    static Placement checkImage(
        const std::uint8_t *nand, std::size_t nandSize, const std::uint8_t *image, std::size_t imageSize);
};
