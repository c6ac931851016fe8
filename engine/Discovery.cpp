#include "MainWindow.h"
#include "NandGeometry.h"

#include <algorithm>

void MainWindow::onNandReady()
{
    // Without a loaded image a pass would erase blocks and report an empty update as finished.
    if (phase != Idle || !imageLoaded)
        return;

    beginPassReport();
    logProgress(tr("read BBL\n"));
    bblPage = 0;
    listBlockFull = false;
    phase = BblScan;
    arm();
    pieceIndex = 0;
    link.sendReadFlash(0, 0);
}

void MainWindow::onFlashData()
{
    if (phase == BblScan)
        probeListPage();
    else if (phase == BblRead)
        readListPiece();
}

void MainWindow::probeListPage()
{
    const bool holdsList = link.replyData[0] != Nand::ErasedByte;
    if (holdsList && bblPage < Nand::LastPage) {
        ++bblPage;
        pieceIndex = 0;
        arm();
        link.sendReadFlash(std::uint32_t(bblPage) * Nand::SectorsPerPage, 0);
        return;
    }

    if (holdsList || bblPage > 0) {
        // A full block 0 is read from its last page; the list then moves to page 0 (see readListPiece).
        listBlockFull = holdsList;
        logProgress(tr("found %1 BBL's").arg(holdsList ? bblPage + 1 : int(bblPage)));
        logProgress(tr("read last BBL"));
        if (!holdsList)
            --bblPage;
        phase = BblRead;
        arm();
        pieceIndex = 0;
        link.sendReadFlash(std::uint32_t(bblPage) * Nand::SectorsPerPage, 0);
        return;
    }

    logProgress(tr("no BBL found, NAND is unused"));
    logProgress(tr("read defective list"));
    phase = DefectListRead;
    arm();
    pieceIndex = 0;
    link.sendReadDefects(0);
}

void MainWindow::readListPiece()
{
    std::copy_n(link.replyData.begin(), Engine::ReadPieceSize,
        pageFrame.begin() + pieceIndex * Engine::ReadPieceSize);
    ++pieceIndex;
    if (pieceIndex < Engine::ListReadPieces) {
        arm();
        link.sendReadFlash(std::uint32_t(bblPage) * Nand::SectorsPerPage, std::uint8_t(pieceIndex));
        return;
    }

    badBlocks.fill(0);
    factoryDefects
        = std::int16_t(pageFrame[Frame::ListCountOffset] | pageFrame[Frame::ListCountOffset + 1] << 8);
    for (int i = 0; i < Frame::MaxReadListEntries; ++i) {
        const int at = Frame::ListEntriesOffset + i * Frame::ListEntrySize;
        const int block = pageFrame[at] | pageFrame[at + 1] << 8;
        if (block > Nand::LastBlock)
            break;
        badBlocks[block] = 1;
    }

    int count = 0;
    for (int block = 0; block < Nand::BlockCount; ++block) {
        if (badBlocks[block]) {
            logProgress(tr("BBL block %1 defect").arg(block));
            ++count;
        }
    }
    logProgress(tr("BBL contains %1 blocks").arg(count));
    logProgress(tr("Factorydefects was %1 blocks").arg(factoryDefects));

    if (listBlockFull) {
        // No page is left for a further list: start block 0 over with the list just read in page 0.
        logProgress(tr("BBL block is full, the last BBL moves to page 0"));
        eraseListBlock();
        return;
    }
    startDataWriting();
}

void MainWindow::onDefectData()
{
    if (phase != DefectListRead || pieceIndex >= Engine::DefectListParts)
        return;

    const int first = pieceIndex * Engine::BlocksPerDefectPart;
    for (int i = 0; i < Engine::ReadPieceSize; ++i) {
        const std::uint8_t bits = link.replyData[i];
        for (int b = 0; b < Engine::BitsPerByte; ++b)
            badBlocks[first + i * Engine::BitsPerByte + b] = (bits >> b) & 1;
    }
    ++pieceIndex;
    if (pieceIndex < Engine::DefectListParts) {
        arm();
        link.sendReadDefects(std::uint8_t(pieceIndex));
        return;
    }

    factoryDefects = 0;
    for (int block = 0; block < Nand::BlockCount; ++block) {
        if (badBlocks[block]) {
            logProgress(tr("DefectList block %1 defect").arg(block));
            ++factoryDefects;
        }
    }
    logProgress(tr("DefectList contains %1 blocks").arg(factoryDefects));

    if (factoryDefects > Engine::MaxFactoryDefects) {
        stopPass(tr("more than 3 factory defects, Flash not healthy! Aborting"));
        return;
    }
    eraseListBlock();
}

void MainWindow::eraseListBlock()
{
    BlockEdit->setText(tr("0"));
    logProgress(tr("erase block 0 (BBL block)"));
    phase = BblBlockErase;
    arm();
    currentBlock = Nand::ListBlock;
    link.sendEraseBlock(Nand::ListBlock);
}
