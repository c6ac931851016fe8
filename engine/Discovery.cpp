#include "MainWindow.h"
#include "NandGeometry.h"
#include "Packing.h"

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
    dataWritten = false;
    imageWritten = false;
    doubleReadsLogged = false;
    stepRetries = 0;
    uncheckedRead.clear();
    phase = BblScan;
    pieceIndex = 0;
    sendDiscoveryRead();
}

void MainWindow::sendDiscoveryRead()
{
    arm();
    if (phase == DefectListRead)
        link.sendReadDefects(std::uint8_t(pieceIndex));
    else
        link.sendReadFlash(std::uint32_t(bblPage) * Nand::SectorsPerPage, std::uint8_t(pieceIndex));
}

bool MainWindow::discoveryDataSound()
{
    // Fewer bytes than one piece is not data at all.
    const int count = link.replyDataCount;
    const QByteArray read = count >= Engine::ReadPieceSize
        ? QByteArray(reinterpret_cast<const char *>(link.replyData.data()), count)
        : QByteArray();
    const bool checked = !read.isEmpty() && link.replyChecksum == dataChecksum(link.replyData.data(), count);
    // A unit may fill the checksum byte some other way; two reads that agree are believed as well.
    const bool agreed = !checked && !read.isEmpty() && read == uncheckedRead;
    if (checked || agreed) {
        if (agreed && !doubleReadsLogged) {
            doubleReadsLogged = true;
            logProgress(tr("The unit's data replies do not carry their checksum; each one is read twice"));
        }
        uncheckedRead.clear();
        stepRetries = 0;
        return true;
    }
    uncheckedRead = read;
    if (mayRetryStep(false))
        sendDiscoveryRead();
    return false;
}

void MainWindow::onFlashData()
{
    if ((phase != BblScan && phase != BblRead) || !discoveryDataSound())
        return;
    if (phase == BblScan)
        probeListPage();
    else
        readListPiece();
}

void MainWindow::probeListPage()
{
    const bool holdsList = link.replyData[0] != Nand::ErasedByte;
    if (holdsList && bblPage < Nand::LastPage) {
        ++bblPage;
        pieceIndex = 0;
        sendDiscoveryRead();
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
        pieceIndex = 0;
        sendDiscoveryRead();
        return;
    }

    logProgress(tr("no BBL found, NAND is unused"));
    logProgress(tr("read defective list"));
    phase = DefectListRead;
    pieceIndex = 0;
    sendDiscoveryRead();
}

void MainWindow::readListPiece()
{
    std::copy_n(link.replyData.begin(), Engine::ReadPieceSize,
        pageFrame.begin() + pieceIndex * Engine::ReadPieceSize);
    ++pieceIndex;
    if (pieceIndex < Engine::ListReadPieces) {
        sendDiscoveryRead();
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
    if (phase != DefectListRead || pieceIndex >= Engine::DefectListParts || !discoveryDataSound())
        return;

    const int first = pieceIndex * Engine::BlocksPerDefectPart;
    for (int i = 0; i < Engine::ReadPieceSize; ++i) {
        const std::uint8_t bits = link.replyData[i];
        for (int b = 0; b < Engine::BitsPerByte; ++b)
            badBlocks[first + i * Engine::BitsPerByte + b] = (bits >> b) & 1;
    }
    ++pieceIndex;
    if (pieceIndex < Engine::DefectListParts) {
        sendDiscoveryRead();
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
