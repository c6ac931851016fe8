#include "NandGeometry.h"
#include "UpdateEngine.h"

#include <array>

// A request damaged on its way in can erase another block than the one named, and the unit answers as
// if all went well. Before the unit is told that the update finished, the start of the list page and of
// every data block written in this pass is read once more.
void UpdateEngine::startFinalCheck()
{
    phase = FinalCheck;
    agreedRead.startSequence();
    readBackOutOfTurn = false;
    checkFrom(ListItem);
}

void UpdateEngine::checkFrom(int imageBlock)
{
    if (imageBlock >= int(imageBlockPlaces.size())) {
        // A rewrite leaves the figures at the block it wrote; the summary counts the whole image.
        dataBlockIndex = std::int16_t((imagePages() - 1) / Nand::PagesPerBlock);
        pageInBlock = std::int8_t((imagePages() - 1) % Nand::PagesPerBlock);
        showImageProgress();
        tellUnitFinished();
        return;
    }
    finalCheckBlock = imageBlock;
    if (imageBlock >= 0) {
        dataBlockIndex = std::int16_t(imageBlock);
        currentBlock = imageBlockPlaces[std::size_t(imageBlock)];
    }
    readBackPage = 0;
    stepRetries = 0;
    readBackPiece(0);
}

// A page address damaged on its way in puts a list on another page of block 0, and the unit takes the
// last written page for its list: after the list, every page must read erased.
void UpdateEngine::checkAfterList(int page)
{
    if (page > Nand::LastPage) {
        checkFrom(0);
        return;
    }
    finalCheckBlock = StrayItem;
    currentBlock = Nand::ListBlock;
    readBackPage = page;
    stepRetries = 0;
    readBackPiece(0);
}

void UpdateEngine::onFinalCheckRead()
{
    std::array<std::uint8_t, Engine::ReadPieceSize> expected;
    if (finalCheckBlock == ListItem)
        expected = listStart;
    else if (finalCheckBlock == StrayItem)
        expected.fill(Nand::ErasedByte);
    else
        expectedPiece(expected.data());
    switch (judgeReadBack(expected.data())) {
    case ReadBackPending:
        return;
    case ReadBackDiffers:
        repairAfterFinalCheck();
        return;
    case ReadBackMatches:
        if (finalCheckBlock == StrayItem || (finalCheckBlock == ListItem && listMayHaveStrayed))
            checkAfterList((finalCheckBlock == StrayItem ? readBackPage : bblPage) + 1);
        else
            checkFrom(finalCheckBlock + 1);
        return;
    }
}

void UpdateEngine::repairAfterFinalCheck()
{
    if (++finalCheckRepairs > Engine::MaxFinalCheckRepairs) {
        stopPass(tr("Update stopped: %1 failed after %2 rewrites")
                     .arg(stepName())
                     .arg(Engine::MaxFinalCheckRepairs));
        return;
    }
    stepRetries = 0;
    if (finalCheckBlock >= 0) {
        logProgress(tr("Final check: block %1 does not hold what was written; it is erased and written again")
                        .arg(currentBlock));
        repairingBlock = true;
        blockRewritten = false;
        eraseCurrentBlock();
        return;
    }
    if (finalCheckBlock == StrayItem) {
        logProgress(
            tr("Final check: block 0 page %1 after the bad-block list is not erased; block 0 is erased "
               "and the list written again")
                .arg(readBackPage));
        eraseListBlock();
        return;
    }
    if (!replyPieceErased()) {
        logProgress(tr("Final check: block 0 page %1 holds something else").arg(bblPage));
        moveListOn();
        return;
    }
    // An erase meant for another block took block 0 with it: the pages before the list are erased too.
    logProgress(tr("Final check: block 0 page %1 is erased; block 0 is erased and the bad-block list "
                   "written again")
                    .arg(bblPage));
    eraseListBlock();
}
