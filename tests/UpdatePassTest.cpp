#include "EngineTestSupport.h"

#include <gtest/gtest.h>

#include <QRegularExpression>

namespace {

using expect::Scenario;

constexpr int Block = expect::BlockBytes;
constexpr int Page = expect::PageBytes;

Bytes embeddedImage()
{
    QFile file(QStringLiteral(":/data/resourcesNAND.bin"));
    file.open(QIODevice::ReadOnly);
    const QByteArray bytes = file.readAll();
    return Bytes(bytes.begin(), bytes.end());
}

std::vector<int> range(int first, int last)
{
    std::vector<int> blocks;
    for (int b = first; b <= last; ++b)
        blocks.push_back(b);
    return blocks;
}

std::vector<std::pair<int, std::vector<int>>> fullBlockZero()
{
    std::vector<std::pair<int, std::vector<int>>> lists;
    for (int p = 0; p < 63; ++p)
        lists.push_back({1, {p + 100}});
    lists.push_back({1, {6, 0xFFFF, 2000}});
    return lists;
}

struct PassCase
{
    const char *name;
    Scenario scenario;
    // The last image page goes to this block and page.
    int lastBlock;
    int lastPage;
};

void PrintTo(const PassCase &c, std::ostream *os)
{
    *os << c.name;
}

PassCase passCases[] = {
    {"UnusedNandGetsOneListInPageZeroThenTheData", {expect::patternImage(2 * Block + 3 * Page + 17)}, 3, 3},
    {"StoredListsInPagesZeroToFourLastOneDecides",
        {expect::patternImage(Block + 5), {}, {{2, {1, 2}}, {2, {5}}, {2, {9}}, {2, {11}}, {2, {1, 3}}}}, 4,
        0},
    {"ExactlyThreeFactoryDefectsAreAccepted", {expect::patternImage(2 * Block + 1), {1, 3, 600}}, 5, 0},
    {"FactoryDefectOfBlockZeroStillGetsTheFirstList", {expect::patternImage(Block + Page), {0, 2}}, 3, 0},
    {"EraseFailureOfBlockFiveMovesTheImageBlockOn",
        {expect::patternImage(6 * Block + 10 * Page), {}, {}, {5}}, 8, 9},
    {"ProgramFailureOfPageFortyOfBlockSevenRewritesTheImageBlock",
        {expect::patternImage(8 * Block + Page), {}, {}, {}, {{7, 40}}}, 10, 0},
    {"ProgramFailureOfTheLastPageEndsAfterItsRewrite",
        {expect::patternImage(2 * Block + 2 * Page + 1), {}, {{0, {}}}, {}, {{3, 2}}}, 4, 2},
    {"StoredListEndingAtItsFirstEntryLeavesNoBlockBad",
        {expect::patternImage(Page), {}, {{0, {2, 3}}, {7, {0xFFFF, 4}}}, {1}}, 2, 0},
    {"StoredListWithAHundredAndTwentySixEntriesIsTakenWhole",
        {expect::patternImage(Page), {}, {{0, range(1, 126)}}}, 127, 0},
    {"FullBlockZeroMovesTheLastListToPageZero", {expect::patternImage(Block), {}, fullBlockZero()}, 1, 63},
    {"FailedEraseOfAFullBlockZeroIsSentOnceMore",
        {expect::patternImage(Block), {}, fullBlockZero(), {}, {}, {}, {}, {}, false, false, {}, {0}}, 1, 63},
    {"FullBlockZeroTakesTheUpdatedListInPageOne", {expect::patternImage(Block + 1), {}, fullBlockZero(), {2}},
        3, 0},
    {"ImageOfWholePagesEndsWithAFullPage", {expect::patternImage(70 * Page), {}, {{0, {}}}}, 2, 5},
    // Read twice alike, so taken for what the page holds; the pass ends with a list after it.
    {"PageOfOtherContentAfterTheListIsPassedOver",
        {expect::patternImage(Page), {}, {{1, {2, 3}}}, {}, {}, {}, {}, {}, false, true}, 1, 0},
    // Block 0 is never a dead end: each of these stopped every pass before.
    {"FailedFirstListGoesToPageOne", {expect::patternImage(Page), {}, {}, {}, {{0, 0}}}, 1, 0},
    {"FailedUpdatedListGoesToTheNextPage", {expect::patternImage(Page), {}, {{0, {}}}, {1}, {{0, 1}}}, 2, 0},
    {"ListWithDescendingEntriesAndNoneBeforeItGivesWayToTheDefectList",
        {expect::patternImage(Page), {2}, {{0, {5, 3}}}}, 1, 0},
    {"ListWithDescendingEntriesGivesWayToTheListBeforeIt",
        {expect::patternImage(Page), {}, {{1, {1, 2}}, {1, {9, 4}}}}, 3, 0},
    {"PageZeroWithoutAnyListIsTakenForALostList",
        {expect::patternImage(Page), {1}, {}, {}, {}, {}, {}, {}, false, true}, 2, 0},
    // The fourth erase, of block 3, arrives as one of block 1: the final check finds block 1 erased.
    {"EraseDamagedIntoAWrittenBlockHasItWrittenAgain",
        {expect::patternImage(2 * Block + Page), {}, {}, {}, {}, {}, {}, {}, false, false,
            {{SimulatedUnit::RequestDamage::EraseBlock, 4, 1}}},
        3, 0},
};

class UpdatePassTest : public ::testing::TestWithParam<PassCase>
{
protected:
    void expectFinishedPass(const Scenario &s, int lastBlock, int lastPage)
    {
        EXPECT_EQ(rig.nandDifferences(s), "");
        EXPECT_EQ(rig.errors(), std::vector<std::string>());
        EXPECT_TRUE(rig.unit([&](SimulatedUnit &u) { return u.programmed(lastBlock, lastPage); }));
        if (lastPage < expect::Pages - 1) {
            EXPECT_FALSE(rig.unit([&](SimulatedUnit &u) { return u.programmed(lastBlock, lastPage + 1); }));
        }
        EXPECT_EQ(rig.stats().requestsByCommand[0x0F], 1);
        EXPECT_FALSE(rig.unit([](SimulatedUnit &u) { return u.active(); }));
        EXPECT_EQ(rig.engine.phase, Idle);
        EXPECT_EQ(rig.bar, 880);
        EXPECT_FALSE(rig.barShown);
        EXPECT_TRUE(rig.updateAllowed());
        EXPECT_TRUE(rig.controlsFree);
        EXPECT_TRUE(rig.log().last().contains(QRegularExpression(QStringLiteral(
            "^Pass finished: %1 pages in \\d+ blocks, not verified, 0 retries, \\d+\\.\\d s, \\d+ KiB/s$")
                                                                     .arg(expect::imagePages(s.image)))))
            << rig.log().last().toStdString();
    }

    UpdateRig rig;
};

TEST_P(UpdatePassTest, NandEndsWithTheImageAroundItsBadBlocks)
{
    const PassCase &c = GetParam();
    rig.arrange(c.scenario);
    ASSERT_TRUE(rig.connect());
    rig.pressUpdate();
    ASSERT_TRUE(rig.runPass());
    expectFinishedPass(c.scenario, c.lastBlock, c.lastPage);
    EXPECT_EQ(rig.engine.retryCount, 0);
}

INSTANTIATE_TEST_SUITE_P(Layouts, UpdatePassTest, ::testing::ValuesIn(passCases),
    [](const auto &info) { return std::string(info.param.name); });

class EmbeddedImageTest : public UpdatePassTest
{
protected:
    // The embedded image, whatever its length, and where its last page lands without bad blocks.
    void SetUp() override
    {
        scenario = {embeddedImage(), {}, {{0, {}}}};
        ASSERT_FALSE(scenario.image.empty());
        const int last = expect::imagePages(scenario.image) - 1;
        lastBlock = 1 + last / expect::Pages;
        lastPage = last % expect::Pages;
    }

    void runEmbeddedPass()
    {
        rig.arrange(scenario);
        rig.engine.imagePath = QStringLiteral(":/data/resourcesNAND.bin");
        rig.recordGolden = false;
        ASSERT_TRUE(rig.connect());
        rig.pressUpdate();
        ASSERT_TRUE(rig.runPass());
    }

    Scenario scenario;
    int lastBlock = 0;
    int lastPage = 0;
};

TEST_F(EmbeddedImageTest, EmbeddedImageEndsWithThePageItsLengthReaches)
{
    ASSERT_NO_FATAL_FAILURE(runEmbeddedPass());
    expectFinishedPass(scenario, lastBlock, lastPage);
    EXPECT_EQ(rig.unit([](SimulatedUnit &u) { return u.lastImageSize(); }), scenario.image.size());
    if (lastBlock + 1 < expect::Blocks) {
        EXPECT_EQ(rig.unit([&](SimulatedUnit &u) { return u.eraseCount(lastBlock + 1); }), 0);
    }
}

TEST_F(EmbeddedImageTest, ProgramFailureOfTheEmbeddedImagesLastPageMovesItsBlock)
{
    if (lastBlock + 1 == expect::Blocks)
        GTEST_SKIP() << "the embedded image fills the NAND; its last block has nowhere to go";
    scenario.programFailures = {{lastBlock, lastPage}};
    ASSERT_NO_FATAL_FAILURE(runEmbeddedPass());
    expectFinishedPass(scenario, lastBlock + 1, lastPage);
}

struct StopCase
{
    const char *name;
    Scenario scenario;
    const char *lastLine;
};

void PrintTo(const StopCase &c, std::ostream *os)
{
    *os << c.name;
}

StopCase stopCases[] = {
    {"FourFactoryDefectsRefuseTheNand", {expect::patternImage(Page), {3, 9, 27, 81}},
        "more than 3 factory defects, Flash not healthy! Aborting"},
    {"FullBlockZeroThatFailsToEraseTwiceKeepsItsLists",
        {expect::patternImage(Page), {}, fullBlockZero(), {0}},
        "Update stopped: the erase of block 0 failed twice; no bad-block list was written over the old ones"},
    {"ListPageThatNeverProgramsStopsAndNamesItsPage", {expect::patternImage(Page), {}, {}, {}, {{0, -1}}},
        "Update stopped: the write of the bad-block list to block 0, page 16 failed again after 16 retries"},
};

class StoppedPassTest : public ::testing::TestWithParam<StopCase>
{
protected:
    UpdateRig rig;
};

TEST_P(StoppedPassTest, StopSaysWhyAndGivesTheControlsBack)
{
    const StopCase &c = GetParam();
    rig.arrange(c.scenario);
    ASSERT_TRUE(rig.connect());
    rig.pressUpdate();
    ASSERT_TRUE(rig.runPass());
    rig.drain();

    EXPECT_EQ(rig.log().last(), QString::fromLatin1(c.lastLine));
    // A stopped engine is idle: nothing that arrives later resumes the pass.
    EXPECT_EQ(rig.engine.phase, Idle);
    EXPECT_TRUE(rig.updateAllowed());
    EXPECT_FALSE(rig.barShown);
    EXPECT_EQ(rig.stats().requestsByCommand[0x0F], 0);
    EXPECT_EQ(rig.engine.stallTicks, 0);
    EXPECT_EQ(rig.errors(), std::vector<std::string>());
    // Nothing further goes out, whatever the countdown does.
    const int requests = rig.stats().requests;
    rig.tick(200);
    rig.drain();
    EXPECT_EQ(rig.stats().requests, requests);
    EXPECT_EQ(rig.log().last(), QString::fromLatin1(c.lastLine));
}

INSTANTIATE_TEST_SUITE_P(Stops, StoppedPassTest, ::testing::ValuesIn(stopCases),
    [](const auto &info) { return std::string(info.param.name); });

class OutOfSpaceTest : public ::testing::TestWithParam<bool>
{
};

// With a list reply lost, the list's page is read to decide where it goes: the pass must still not finish.
TEST_P(OutOfSpaceTest, FullNandWritesTheListButDoesNotTellTheUnitItFinished)
{
    UpdateRig rig;
    Scenario s{expect::patternImage(3 * Block + 1)};
    for (int b = 4; b < expect::Blocks; ++b)
        s.eraseFailures.insert(b);
    const bool lose = GetParam();
    rig.arrange(s);
    // Replies from the identity: mode, ready, six reads, the erase of block 0, 35 for the first list,
    // an erase and 64 pages for each of blocks 1 to 3, two failed erases for each of blocks 4 to 1023,
    // then the updated list's write ready and the acknowledgements of its pieces 0 and 1.
    const int ackOfPieceOne = 1 + 2 + 6 + 1 + 35 + 3 * (1 + 64 * 35) + 2 * 1020 + 3;
    rig.unit([&](SimulatedUnit &u) {
        u.injectReplyFault(SimulatedUnit::Fault::Lose, lose ? ackOfPieceOne : 0);
        return 0;
    });
    ASSERT_TRUE(rig.connect());
    rig.pressUpdate();
    ASSERT_TRUE(rig.runPassTicking());
    EXPECT_EQ(rig.stats().repliesLost, lose ? 1 : 0);

    bool outOfSpace = false;
    EXPECT_EQ(rig.nandDifferences(s, &outOfSpace), "");
    EXPECT_TRUE(outOfSpace);
    EXPECT_EQ(rig.errors(), std::vector<std::string>());
    EXPECT_EQ(rig.stats().requestsByCommand[0x0F], 0);
    const QStringList log = rig.log();
    ASSERT_GE(log.size(), 2);
    EXPECT_EQ(
        log[log.size() - 2], QStringLiteral("Error: not enough space in NAND, all 1024 blocks written"));
    EXPECT_EQ(log.last(),
        QStringLiteral("Update stopped: no good block left, the image is incomplete; the unit "
                       "was not told that the update finished"));
    EXPECT_TRUE(rig.updateAllowed());
    EXPECT_EQ(rig.engine.phase, Idle);
}

INSTANTIATE_TEST_SUITE_P(ListReplies, OutOfSpaceTest, ::testing::Bool(),
    [](const auto &info) { return std::string(info.param ? "OneLost" : "AllAnswered"); });

TEST(RepeatedPassTest, SecondPassReadsTheListTheFirstOneWrote)
{
    UpdateRig rig;
    Scenario s{expect::patternImage(Block + 3 * Page)};
    rig.arrange(s);
    ASSERT_TRUE(rig.connect());
    rig.pressUpdate();
    ASSERT_TRUE(rig.runPass());
    EXPECT_EQ(rig.nandDifferences(s), "");

    rig.pressUpdate();
    ASSERT_TRUE(rig.runPass());
    EXPECT_EQ(rig.nandDifferences(s), "");
    EXPECT_EQ(rig.errors(), std::vector<std::string>());
    EXPECT_EQ(rig.stats().requestsByCommand[0x0F], 2);
    EXPECT_EQ(rig.log().filter(QStringLiteral("found 1 BBLs")).size(), 1);
    EXPECT_EQ(rig.log().filter(QStringLiteral("Pass finished:")).size(), 2);
}

TEST(RepeatedPassTest, NandReadyWithoutANewTransferStartsNothing)
{
    UpdateRig rig;
    Scenario s{expect::patternImage(2 * Page + 1), {}, {{0, {}}}};
    rig.arrange(s);
    ASSERT_TRUE(rig.connect());
    rig.pressUpdate();
    ASSERT_TRUE(rig.runPass());

    rig.unit([](SimulatedUnit &u) {
        u.setActive(true);
        return 0;
    });
    const int requests = rig.stats().requests;
    rig.engine.link.traceText.clear();
    const Bytes ready = expect::reply(0x2E);
    rig.device.send(ready.data(), ready.size());
    ASSERT_TRUE(rig.runUntil([&] { return rig.engine.link.traceText.endsWith(QStringLiteral("2ef7")); }));
    rig.drain();
    // Nothing asked for it: only Update starts a pass.
    EXPECT_EQ(rig.stats().requests, requests);
    EXPECT_EQ(rig.engine.phase, Idle);
    EXPECT_EQ(rig.nandDifferences(s), "");
    EXPECT_EQ(rig.unit([](SimulatedUnit &u) { return u.eraseCount(1); }), 1);
}

class ProgressBarTest : public ::testing::TestWithParam<bool>
{
};

TEST_P(ProgressBarTest, FollowsTheImagePagesProgrammedAndReadBack)
{
    UpdateRig rig;
    Scenario s{expect::patternImage(4 * Block), {}, {{0, {}}}};
    s.verify = GetParam();
    rig.arrange(s);
    ASSERT_TRUE(rig.connect());
    // Requests of the pass: reset, two probes and four list pieces read twice each, an erase per block
    // and 35 per page, and 32 reads for each page read back.
    const int base = rig.stats().requests;
    const int halfway = base + 13 + 2 + (s.verify ? 67 : 35) * 128;
    rig.unit([&](SimulatedUnit &u) {
        u.silenceAfterRequest(halfway);
        return 0;
    });
    rig.pressUpdate();
    ASSERT_TRUE(rig.runUntil([&] { return rig.stats().silencedRequests == 1; }));
    rig.drain();
    EXPECT_EQ(rig.bar, 440);
    EXPECT_FALSE(!rig.barShown);
}

INSTANTIATE_TEST_SUITE_P(Verify, ProgressBarTest, ::testing::Bool());

} // namespace
