#include "NandGeometry.h"
#include "Packing.h"
#include "UpdateEngine.h"

#include <algorithm>

void UpdateEngine::onNandReady()
{
    // Without a loaded image a pass would erase blocks and report an empty update as finished.
    if (phase != Idle || !imageLoaded)
        return;

    beginPassReport();
    logProgress(tr("read BBL\n"));
    bblPage = 0;
    listBlockFull = false;
    lastListPage = -1;
    listPages = 0;
    otherPageRead.clear();
    imageBlockPlaces.clear();
    finalCheckRepairs = 0;
    repairingBlock = false;
    listMayHaveStrayed = false;
    dataWritten = false;
    imageWritten = false;
    eraseFailedOnce = false;
    doubleReadsLogged = false;
    agreedRead.startPass();
    successStatus.startPass();
    phase = BblScan;
    readNext(0);
}

void UpdateEngine::sendDiscoveryRead()
{
    arm();
    if (phase == DefectListRead)
        link.sendReadDefects(std::uint8_t(pieceIndex));
    else
        link.sendReadFlash(std::uint32_t(bblPage) * Nand::SectorsPerPage, std::uint8_t(pieceIndex));
}

void UpdateEngine::readNext(int piece)
{
    // The retries of a list count over all its pieces: one that is read whole and found implausible
    // again and again must still reach the cap.
    if (piece == 0)
        stepRetries = 0;
    pieceIndex = piece;
    agreedRead.forget();
    sendDiscoveryRead();
}

void UpdateEngine::readAgain()
{
    if (mayRetryStep(false))
        sendDiscoveryRead();
}

void UpdateEngine::rejectImplausible()
{
    // What two reads agreed on cannot be in block 0: it is read again from its first piece.
    agreedRead.forget();
    pieceIndex = 0;
    readAgain();
}

bool UpdateEngine::discoveryDataSound()
{
    // Fewer bytes than one piece is not data at all.
    const int count = link.replyDataCount >= Engine::ReadPieceSize ? link.replyDataCount : 0;
    const AgreedRead::Verdict verdict = agreedRead.offer(link.replyData.data(), count, link.replyChecksum);
    logChecksumMismatch();
    switch (verdict) {
    case AgreedRead::Believed:
        return true;
    case AgreedRead::ReadAgain:
        sendDiscoveryRead();
        return false;
    case AgreedRead::Rejected:
        readAgain();
        return false;
    }
    return false;
}

void UpdateEngine::onFlashData()
{
    if (phase == BlockReadBack) {
        onBlockReadBack();
        return;
    }
    if (phase == ListReadBack) {
        onListReadBack();
        return;
    }
    if (phase == FinalCheck) {
        onFinalCheckRead();
        return;
    }
    if ((phase != BblScan && phase != BblRead) || !discoveryDataSound())
        return;
    if (phase == BblScan)
        probeListPage();
    else
        readListPiece();
}

bool UpdateEngine::startsList() const
{
    return link.replyData[0] == Frame::ListMarker && link.replyData[1] == Frame::ListMarker;
}

bool UpdateEngine::pageHoldsOther()
{
    // Damage on the way reads differently the next time; what the page holds reads the same again.
    const QByteArray read(reinterpret_cast<const char *>(link.replyData.data()), Engine::ReadPieceSize);
    const bool again = read == otherPageRead;
    otherPageRead = read;
    if (again) {
        logProgress(tr("Block 0 page %1 holds neither a bad-block list nor is it erased; it is passed over")
                        .arg(bblPage));
    }
    return again;
}

void UpdateEngine::probeListPage()
{
    const bool holdsList = startsList();
    const bool erased = replyPieceErased();
    // One flipped bit must not turn an erased page into a list, nor a list into something else.
    if (!holdsList && !erased && !pageHoldsOther()) {
        rejectImplausible();
        return;
    }
    otherPageRead.clear();
    if (holdsList) {
        lastListPage = bblPage;
        listPages |= std::uint64_t(1) << bblPage;
    }
    if (!erased && bblPage < Nand::LastPage) {
        ++bblPage;
        readNext(0);
        return;
    }

    firstErasedPage = std::int8_t(erased ? bblPage : bblPage + 1);
    if (lastListPage >= 0) {
        // A full block 0 is read from its last list; the list then moves to page 0 (see readListPiece).
        listBlockFull = !erased;
        logProgress(tr("found %1 BBLs").arg(int(firstErasedPage)));
        logProgress(tr("read last BBL"));
        bblPage = lastListPage;
        phase = BblRead;
        readNext(0);
        return;
    }
    if (firstErasedPage == 0) {
        logProgress(tr("no BBL found, NAND is unused"));
    } else {
        // Written pages without any list, as a first list cut off by power loss leaves them.
        logProgress(tr("Block 0 holds no bad-block list in pages 0 to %1: the list is taken as lost")
                        .arg(firstErasedPage - 1));
    }
    readDefectList();
}

void UpdateEngine::readDefectList()
{
    logProgress(tr("read defective list"));
    phase = DefectListRead;
    readNext(0);
}

bool UpdateEngine::listEntriesPlausible() const
{
    // Entries ascend and name blocks of the NAND up to the padding, as every written list has them.
    int previous = -1;
    for (int i = 0; i < Frame::MaxReadListEntries; ++i) {
        const int at = Frame::ListEntriesOffset + i * Frame::ListEntrySize;
        const int block = pageFrame[at] | pageFrame[at + 1] << 8;
        if (block == Frame::ListPadding)
            return true;
        if (block > Nand::LastBlock || block <= previous)
            return false;
        previous = block;
    }
    return true;
}

void UpdateEngine::readListPiece()
{
    if (pieceIndex == 0 && !startsList()) {
        rejectImplausible();
        return;
    }
    std::copy_n(link.replyData.begin(), Engine::ReadPieceSize,
        pageFrame.begin() + pieceIndex * Engine::ReadPieceSize);
    if (pieceIndex + 1 < Engine::ListReadPieces) {
        readNext(pieceIndex + 1);
        return;
    }
    if (!listEntriesPlausible()) {
        readOlderList();
        return;
    }
    std::copy_n(pageFrame.begin(), listStart.size(), listStart.begin());

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
    logProgress(tr("Factory defects: %1 blocks").arg(factoryDefects));

    // The next list goes to the first erased page (endOfPass).
    bblPage = std::int8_t(firstErasedPage - 1);
    if (listBlockFull) {
        // No page is left for a further list: start block 0 over with the list just read in page 0.
        logProgress(tr("BBL block is full, the last BBL moves to page 0"));
        eraseListBlock();
        return;
    }
    startDataWriting();
}

void UpdateEngine::readOlderList()
{
    // Both reads of every piece agreed: the list rotted in the NAND, and reading it again cannot help.
    // The unit takes the last written page, so a sound list follows it at the end of the pass.
    listPages &= ~(std::uint64_t(1) << bblPage);
    int older = bblPage - 1;
    while (older >= 0 && !(listPages >> older & 1))
        --older;
    if (older < 0) {
        logProgress(
            tr("The bad-block list in block 0, page %1 is damaged and no list precedes it: the list is "
               "taken as lost")
                .arg(bblPage));
        lastListPage = -1;
        readDefectList();
        return;
    }
    logProgress(tr("The bad-block list in block 0, page %1 is damaged; the one in page %2 is read")
                    .arg(bblPage)
                    .arg(older));
    lastListPage = std::int8_t(older);
    bblPage = std::int8_t(older);
    readNext(0);
}

void UpdateEngine::onDefectData()
{
    if (phase != DefectListRead || pieceIndex >= Engine::DefectListParts || !discoveryDataSound())
        return;

    const int first = pieceIndex * Engine::BlocksPerDefectPart;
    for (int i = 0; i < Engine::ReadPieceSize; ++i) {
        const std::uint8_t bits = link.replyData[i];
        for (int b = 0; b < Engine::BitsPerByte; ++b)
            badBlocks[first + i * Engine::BitsPerByte + b] = (bits >> b) & 1;
    }
    if (pieceIndex + 1 < Engine::DefectListParts) {
        readNext(pieceIndex + 1);
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
    // A lost list is followed by a fresh one while block 0 has an erased page, without risking its erase.
    if (firstErasedPage > 0 && firstErasedPage <= Nand::LastPage)
        writeFirstList(firstErasedPage);
    else
        eraseListBlock();
}

void UpdateEngine::eraseListBlock()
{
    emit blockShown(tr("0"));
    logProgress(tr("erase block 0 (BBL block)"));
    phase = BblBlockErase;
    arm();
    currentBlock = Nand::ListBlock;
    link.sendEraseBlock(Nand::ListBlock);
}
