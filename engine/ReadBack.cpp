#include "NandGeometry.h"
#include "UpdateEngine.h"

#include <algorithm>
#include <array>
#include <cstring>

namespace {

// A sector is read in pieces of 64 bytes; a page's data are its eight sectors in a row.
constexpr int PiecesPerSector = Nand::SectorSize / Engine::ReadPieceSize;
constexpr int PiecesPerPage = Nand::SectorsPerPage * PiecesPerSector;

} // namespace

void UpdateEngine::startBlockReadBack()
{
    phase = BlockReadBack;
    readBackPage = 0;
    agreedRead.startSequence();
    readBackOutOfTurn = false;
    readBackPiece(0);
}

void UpdateEngine::readBackPiece(int piece)
{
    pieceIndex = piece;
    agreedRead.forget();
    // Once answers may be shifted, each piece needs its second read: its retries count on their own.
    if (agreedRead.shiftSuspected())
        stepRetries = 0;
    sendReadBack();
}

void UpdateEngine::restartShiftedReadBack()
{
    // A piece taken so far may have been judged on the answer to the piece before it, which equals it
    // where the data repeats: the read-back starts over with two agreeing reads for every piece.
    logProgress(tr("An answer of the unit came out of turn during %1; it starts over, reading every piece "
                   "twice")
                    .arg(stepName()));
    agreedRead.suspectShift();
    readBackOutOfTurn = false;
    // The final check's pieces are one per block: the blocks judged before may hold the shifted answers.
    if (phase == FinalCheck) {
        checkFrom(-1);
        return;
    }
    readBackPage = 0;
    listReadMatches = true;
    listReadErased = true;
    readBackPiece(0);
}

void UpdateEngine::sendReadBack()
{
    const bool list = phase == ListReadBack || (phase == FinalCheck && finalCheckBlock == ListItem);
    const std::uint32_t page
        = list ? std::uint32_t(bblPage) : std::uint32_t(currentBlock) * Nand::PagesPerBlock + readBackPage;
    arm();
    link.sendReadFlash(page * Nand::SectorsPerPage + std::uint32_t(pieceIndex / PiecesPerSector),
        std::uint8_t(pieceIndex % PiecesPerSector));
}

UpdateEngine::ReadBackVerdict UpdateEngine::judgeReadBack(const std::uint8_t *expected)
{
    // The answer in hand came after one out of turn, so it may be the previous request's.
    if (readBackOutOfTurn) {
        restartShiftedReadBack();
        return ReadBackPending;
    }
    const int count = link.replyDataCount >= Engine::ReadPieceSize ? Engine::ReadPieceSize : 0;
    const AgreedRead::Verdict verdict
        = agreedRead.offer(link.replyData.data(), count, link.replyChecksum, expected);
    logChecksumMismatch();
    switch (verdict) {
    case AgreedRead::Believed:
        return std::equal(expected, expected + Engine::ReadPieceSize, link.replyData.begin())
            ? ReadBackMatches
            : ReadBackDiffers;
    case AgreedRead::ReadAgain:
        sendReadBack();
        break;
    case AgreedRead::Rejected:
        if (!mayRetryStep(false))
            break;
        // Two reads of one piece disagree: a late answer may have shifted the ones before.
        if (agreedRead.shiftSuspected())
            sendReadBack();
        else
            restartShiftedReadBack();
        break;
    }
    return ReadBackPending;
}

bool UpdateEngine::replyPieceErased() const
{
    return std::all_of(link.replyData.begin(), link.replyData.begin() + Engine::ReadPieceSize,
        [](std::uint8_t byte) { return byte == Nand::ErasedByte; });
}

void UpdateEngine::expectedPiece(std::uint8_t *expected) const
{
    // The data bytes of the page frame that was sent, with 0xFF past the image's end.
    std::fill_n(expected, Engine::ReadPieceSize, Nand::ErasedByte);
    const std::int64_t start
        = (std::int64_t(dataBlockIndex) * Nand::PagesPerBlock + readBackPage) * Nand::PageDataSize
        + std::int64_t(pieceIndex) * Engine::ReadPieceSize;
    if (start < imageSize)
        std::memcpy(expected, imageData.constData() + start,
            std::size_t(std::min<std::int64_t>(Engine::ReadPieceSize, imageSize - start)));
}

void UpdateEngine::onBlockReadBack()
{
    std::array<std::uint8_t, Engine::ReadPieceSize> expected;
    expectedPiece(expected.data());
    switch (judgeReadBack(expected.data())) {
    case ReadBackPending:
        return;
    case ReadBackDiffers:
        repairBlock();
        return;
    case ReadBackMatches:
        break;
    }
    if (pieceIndex + 1 < PiecesPerPage) {
        readBackPiece(pieceIndex + 1);
        return;
    }
    showImageProgress();
    if (readBackPage < pageInBlock) {
        ++readBackPage;
        readBackPiece(0);
        return;
    }
    logProgress(tr("Block %1 read back: it holds what was written").arg(currentBlock));
    leaveBlock();
}

void UpdateEngine::repairBlock()
{
    const int sector = pieceIndex / PiecesPerSector;
    if (!blockRewritten) {
        blockRewritten = true;
        logProgress(tr("Block %1 page %2 sector %3 reads back other than written; the block is erased and "
                       "written again")
                        .arg(currentBlock)
                        .arg(readBackPage)
                        .arg(sector));
        eraseCurrentBlock();
        return;
    }
    logProgress(tr("Block %1 page %2 sector %3 reads back other than written once more; block %1 is marked "
                   "as bad")
                    .arg(currentBlock)
                    .arg(readBackPage)
                    .arg(sector));
    markCurrentBlockBad();
    eraseCurrentBlock();
}

void UpdateEngine::startListReadBack()
{
    // A time-out may come before the list frame was built: what the page should hold is built again.
    buildBblFrame();
    phase = ListReadBack;
    agreedRead.startSequence();
    readBackOutOfTurn = false;
    listReadMatches = true;
    listReadErased = true;
    readBackPiece(0);
}

void UpdateEngine::onListReadBack()
{
    const ReadBackVerdict verdict
        = judgeReadBack(pageFrame.data() + Frame::sectorOffset(0) + pieceIndex * Engine::ReadPieceSize);
    if (verdict == ReadBackPending)
        return;
    listReadMatches = listReadMatches && verdict == ReadBackMatches;
    listReadErased = listReadErased && replyPieceErased();
    if (pieceIndex + 1 < PiecesPerSector) {
        readBackPiece(pieceIndex + 1);
        return;
    }
    if (listReadMatches) {
        logProgress(tr("Block 0 page %1 holds the new bad-block list").arg(bblPage));
        listStored();
        return;
    }
    if (!mayRetryStep(false))
        return;
    if (listReadErased) {
        logProgress(tr("Block 0 page %1 is erased; the bad-block list is written there again").arg(bblPage));
        listMayHaveStrayed = true;
        writeList();
        return;
    }
    logProgress(tr("Block 0 page %1 holds something else").arg(bblPage));
    moveListOn();
}

void UpdateEngine::moveListOn()
{
    // Erasing block 0 first would leave no list at all if the pass stopped before the rewrite.
    if (bblPage == Nand::LastPage) {
        logProgress(tr("Block 0 is full; it is erased for the bad-block list"));
        eraseListBlock();
        return;
    }
    ++bblPage;
    logProgress(tr("The bad-block list goes to block 0 page %1").arg(bblPage));
    writeList();
}

void UpdateEngine::writeList()
{
    phase = dataWritten ? NextBblStart : FirstBblStart;
    writeDoubtful = false;
    arm();
    link.sendWritePage(Nand::ListBlock, std::uint8_t(bblPage));
}

void UpdateEngine::listStored()
{
    lastListPage = bblPage;
    std::copy_n(pageFrame.begin() + Frame::sectorOffset(0), listStart.size(), listStart.begin());
    if (dataWritten)
        finish();
    else
        startDataWriting();
}
