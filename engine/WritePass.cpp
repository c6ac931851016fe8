#include "NandGeometry.h"
#include "UpdateEngine.h"

int UpdateEngine::nextGoodBlock(int from) const
{
    for (int block = from + 1; block <= Nand::LastBlock; ++block) {
        if (!badBlocks[block])
            return block;
    }
    return Nand::NoGoodBlock;
}

void UpdateEngine::startDataWriting()
{
    newBadBlocks = false;
    newBadBlockCount = 0;
    stepRetries = 0;
    blockRewritten = false;
    currentBlock = std::int16_t(nextGoodBlock(Nand::ListBlock));
    dataBlockIndex = 0;
    eraseCurrentBlock();
}

void UpdateEngine::eraseCurrentBlock()
{
    if (currentBlock == Nand::NoGoodBlock) {
        endOfPass();
        return;
    }
    phase = BlockErase;
    writeDoubtful = false;
    arm();
    link.sendEraseBlock(currentBlock);
}

void UpdateEngine::markCurrentBlockBad()
{
    // The image block goes on into the next good block, and the pass with it, as at its first write.
    repairingBlock = false;
    badBlocks[currentBlock] = 1;
    newBadBlocks = true;
    ++newBadBlockCount;
    currentBlock = std::int16_t(nextGoodBlock(currentBlock));
    stepRetries = 0;
    blockRewritten = false;
}

void UpdateEngine::onEraseStatus()
{
    if (phase != BlockErase && phase != BblBlockErase)
        return;
    // An erase answered with an unusual status may have failed: it is sent again.
    if (statusDoubtful) {
        if (mayRetryStep(false))
            phase == BlockErase ? eraseCurrentBlock() : eraseListBlock();
        return;
    }
    if (link.statusFailed && !eraseFailedOnce) {
        // A late copy of another block's failure may answer this erase: only a second failure is believed.
        eraseFailedOnce = true;
        logProgress(tr("Erase block %1 failed; it is erased once more").arg(currentBlock));
        if (phase == BblBlockErase)
            eraseListBlock();
        else
            eraseCurrentBlock();
        return;
    }
    eraseFailedOnce = false;
    if (phase == BlockErase) {
        if (link.statusFailed) {
            logProgress(tr("Erase block %1 FAIL").arg(currentBlock));
            markCurrentBlockBad();
            eraseCurrentBlock();
            return;
        }
        logProgress(tr("Erase block %1 ok").arg(currentBlock));
        logProgress(tr("Write Data Page"));
        pageInBlock = 0;
        emit blockShown(QString::number(currentBlock));
        emit pageShown(pageInBlock);
        phase = DataPageStart;
        arm();
        link.sendWritePage(currentBlock, std::uint8_t(pageInBlock));
    } else if (link.statusFailed) {
        // Programming over pages that still hold lists would leave none that can be read.
        stopPass(tr("Update stopped: the erase of block 0 failed twice; no bad-block list was written over "
                    "the old ones"));
    } else {
        logProgress(tr("Erase block %1 ok").arg(Nand::ListBlock));
        listMayHaveStrayed = false;
        writeFirstList(0);
    }
}

void UpdateEngine::writeFirstList(int page)
{
    logProgress(tr("writing BBL to block 0 page %1").arg(page));
    bblPage = std::int8_t(page);
    emit blockShown(tr("0"));
    emit pageShown(bblPage);
    newBadBlocks = false;
    writeList();
}

void UpdateEngine::onWriteReady()
{
    if (phase == DataPageStart) {
        pieceIndex = 0;
        phase = DataPageSend;
        arm();
        buildDataFrame();
        sendPiece();
        emit pageShown(pageInBlock);
        logProgress(tr("write page %1").arg(pageInBlock), true);
    } else if (phase == NextBblStart || phase == FirstBblStart) {
        pieceIndex = 0;
        phase = phase == NextBblStart ? NextBblSend : FirstBblSend;
        arm();
        buildBblFrame();
        sendPiece();
        emit pageShown(bblPage);
        logProgress(tr("Write BBL Page %1").arg(bblPage));
    }
}

void UpdateEngine::onDataAck()
{
    int programPhase;
    switch (phase) {
    case DataPageSend:
        programPhase = DataPageProgram;
        break;
    case NextBblSend:
        programPhase = NextBblProgram;
        break;
    case FirstBblSend:
        programPhase = FirstBblProgram;
        break;
    default:
        return;
    }
    if (link.statusFailed) {
        // The piece was damaged on its way in: the page holds it already, so the block starts over.
        logProgress(
            tr("The unit received piece %1 damaged; %2 starts again").arg(pieceIndex).arg(stepName()));
        retry();
        return;
    }

    ++pieceIndex;
    arm();
    if (pieceIndex <= Frame::LastPiece) {
        sendPiece();
        return;
    }
    phase = programPhase;
    link.sendProgramPage();
}

void UpdateEngine::sendPiece()
{
    const int size = pieceIndex == Frame::LastPiece ? Frame::LastPieceSize : Frame::PieceSize;
    link.sendPageData(std::int16_t(size), pageFrame.data() + pieceIndex * Frame::PieceSize);
}

void UpdateEngine::onProgramStatus()
{
    switch (phase) {
    case DataPageProgram:
        onDataPageProgrammed();
        break;
    case NextBblProgram:
    case FirstBblProgram:
        if (link.statusFailed) {
            if (mayRetryStep(false)) {
                logProgress(tr("Block 0 page %1 failed to program").arg(bblPage));
                moveListOn();
            }
        } else if (verifyPass || writeDoubtful) {
            startListReadBack();
        } else {
            listStored();
        }
        break;
    default:
        break;
    }
}

void UpdateEngine::onDataPageProgrammed()
{
    if (link.statusFailed) {
        logProgress(tr("FAIL!"));
        logProgress(tr("Block %1 is marked as bad").arg(currentBlock));
        // The whole image block goes again, from its page 0, into the next good block.
        markCurrentBlockBad();
        eraseCurrentBlock();
        return;
    }

    showImageProgress();
    if (!imageDone && pageInBlock < Nand::LastPage) {
        ++pageInBlock;
        phase = DataPageStart;
        arm();
        link.sendWritePage(currentBlock, std::uint8_t(pageInBlock));
        return;
    }
    // A block that the final check found damaged, or whose write the unit answered doubtfully, is read
    // back even in an unverified pass.
    if (verifyPass || repairingBlock || writeDoubtful)
        startBlockReadBack();
    else
        leaveBlock();
}

void UpdateEngine::leaveBlock()
{
    // A rewrite after the final check keeps the places of the blocks after it, which are checked again.
    if (imageBlockPlaces.size() <= std::size_t(dataBlockIndex))
        imageBlockPlaces.resize(std::size_t(dataBlockIndex) + 1);
    imageBlockPlaces[std::size_t(dataBlockIndex)] = currentBlock;
    if (repairingBlock) {
        repairingBlock = false;
        startFinalCheck();
        return;
    }
    if (imageDone) {
        imageWritten = true;
        endOfPass();
        return;
    }
    ++dataBlockIndex;
    currentBlock = std::int16_t(nextGoodBlock(currentBlock));
    stepRetries = 0;
    blockRewritten = false;
    eraseCurrentBlock();
}

void UpdateEngine::endOfPass()
{
    dataWritten = true;
    stepRetries = 0;
    // The unit takes the last written page of block 0 for its list: after a page of other content, the
    // list is written again even without a new bad block.
    if (!newBadBlocks && lastListPage == bblPage) {
        finish();
        return;
    }
    // bblPage is the last written page of block 0, so the next one is still erased.
    ++bblPage;
    writeList();
}

void UpdateEngine::finish()
{
    if (!imageWritten) {
        // The image is incomplete: the unit must not take it for a finished update.
        logProgress(tr("Error: not enough space in NAND, all 1024 blocks written"));
        stopPass(
            tr("Update stopped: no good block left, the image is incomplete; the unit was not told that the "
               "update finished"));
        return;
    }
    startFinalCheck();
}

void UpdateEngine::tellUnitFinished()
{
    // Only the unit's idle report confirms the finish; the countdown sends it again meanwhile.
    stallTicks = 0;
    phase = FinishConfirm;
    finishSends = 0;
    sendFinishRequest();
    logProgress(tr("*** Finish***"));
    if (retryCount > 0)
        logProgress(tr("(%1 retries)").arg(retryCount));
}

void UpdateEngine::sendFinishRequest()
{
    ++finishSends;
    timeoutTicks = Engine::FinishTicks;
    link.sendFinish();
}

void UpdateEngine::confirmFinish()
{
    phase = Idle;
    passFinished = true;
    timeoutTicks = 0;
    restorePeriod();
    logPassSummary();
    emit controlsReleased(connectionState);
    emit passEnded(true, QString(), passFigures());
}
