#pragma once

#include <cstdint>

// The unit's NAND: block 0 keeps the bad-block lists, blocks 1 to 1023 take the image.
namespace Nand {
constexpr int BlockCount = 1024;
constexpr int PagesPerBlock = 64;
constexpr int PageDataSize = 2048;
constexpr int SectorSize = 256;
constexpr int SectorsPerPage = PageDataSize / SectorSize;
constexpr int ImageBlockSize = PagesPerBlock * PageDataSize;
constexpr int ListBlock = 0;
constexpr int LastPage = PagesPerBlock - 1;
constexpr int LastBlock = BlockCount - 1;
// What a search for a good block returns when none is left.
constexpr int NoGoodBlock = BlockCount;
constexpr std::int64_t MaxImageSize = std::int64_t(LastBlock) * ImageBlockSize;
constexpr std::uint8_t ErasedByte = 0xFF;
} // namespace Nand

// The 2096-byte page frame: a head, then eight sectors each followed by four check bytes.
namespace Frame {
constexpr int HeadSize = 16;
constexpr int CheckByteCount = 4;
constexpr int SectorStride = Nand::SectorSize + CheckByteCount;
constexpr int Size = HeadSize + Nand::SectorsPerPage * SectorStride;
constexpr int PieceSize = 64;
constexpr int LastPiece = Size / PieceSize;
constexpr int LastPieceSize = Size - LastPiece * PieceSize;
// The data frame repeats the low byte of the image block number this often at the head.
constexpr int BlockIndexCopies = 3;
constexpr std::uint8_t ListMarker = 0xA5;
constexpr std::uint8_t CheckFill = 0xFF;

// Offsets within sector 0 of a list page.
constexpr int ListMarkerCopies = 2;
constexpr int ListCountOffset = 2;
constexpr int ListEntriesOffset = 4;
constexpr int ListEntrySize = 2;
// What follows the last entry of a list, as the erased NAND has it.
constexpr int ListPadding = 0xFFFF;
constexpr int MaxWrittenListEntries = 101;
constexpr int MaxReadListEntries = (Nand::SectorSize - ListEntriesOffset) / ListEntrySize;

constexpr int sectorOffset(int sector)
{
    return HeadSize + sector * SectorStride;
}
} // namespace Frame

// Request pacing and limits of the update engine.
namespace Engine {
constexpr int TimeoutTicks = 25;
constexpr int StallTicks = 100;
// A block or a discovery step is tried again at most this often in a row before the pass stops.
constexpr int MaxStepRetries = 16;
// CMD_FINISH goes out at most this often, each time waiting this long for the unit's idle report.
constexpr int MaxFinishSends = 3;
constexpr int FinishTicks = 30;
// Blocks (or list pages) the final check may have written again before the pass stops.
constexpr int MaxFinalCheckRepairs = 4;
constexpr int MaxFactoryDefects = 3;
constexpr int ListReadPieces = 4;
constexpr int ReadPieceSize = 64;
constexpr int DefectListParts = 2;
// Replies that answered nothing, in one pass, before the log says the input is connected twice.
constexpr int DoubledLinkSurplus = 8;
// How long a unit that reported "mode active" has to get its NAND ready.
constexpr int NandPrepareTicks = 600;
// The factory defect list has one bit per block, least significant bit first.
constexpr int BitsPerByte = 8;
constexpr int BlocksPerDefectPart = ReadPieceSize * BitsPerByte;
constexpr std::uint8_t ResetFirst = 2;
constexpr std::uint8_t ResetSecond = 2;
constexpr int ProgressMaximum = 880;
// A little more than one pass of progress lines; older lines drop out at the top.
constexpr int LogLineCap = 2500;
constexpr double KiB = 1024.0;
} // namespace Engine
