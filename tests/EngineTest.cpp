#include "EngineTestSupport.h"
#include "UpdatePeriod.h"

#include <gtest/gtest.h>

#include <QEventLoop>

namespace {

using expect::Scenario;

constexpr int Block = expect::BlockBytes;
constexpr int Page = expect::PageBytes;

// Replies of a pass counted from the one before CMD_RESET_NAND: mode, ready, then discovery.
// Every discovery read goes out twice: a read is believed when two in a row agree.
constexpr int RepliesBeforeDataWithListInPageZero = 15;
constexpr int RepliesBeforeDataOnUnusedNand = 45;
constexpr int RepliesPerPage = 35;

int writeReady(int page)
{
    return RepliesBeforeDataWithListInPageZero + 1 + RepliesPerPage * page;
}

int dataAck(int page, int piece)
{
    return writeReady(page) + 1 + piece;
}

int programStatus(int page)
{
    return writeReady(page) + 34;
}

class EngineTest : public ::testing::Test
{
protected:
    int produced() { return rig.stats().repliesProduced; }
    int requests() { return rig.stats().requests; }

    // Holds reply `nth` (counted from the pass start) until `requests` further requests, or until released.
    void holdReply(int nth, int requests)
    {
        const int reply = produced() + nth;
        rig.unit([&](SimulatedUnit &u) {
            u.injectDelay(reply, requests);
            return 0;
        });
    }

    void injectFault(SimulatedUnit::Fault fault, int nth)
    {
        rig.unit([&](SimulatedUnit &u) {
            u.injectReplyFault(fault, nth);
            return 0;
        });
    }

    // Starts the pass and returns once the reply `nth` after the start has been produced and handled.
    void startAndRunTo(int nth)
    {
        const int target = produced() + nth;
        rig.pressUpdate();
        ASSERT_TRUE(rig.waitForReplies(target));
        rig.drain();
    }

    void expectCompletePass(const Scenario &s)
    {
        ASSERT_TRUE(rig.runPass());
        EXPECT_EQ(rig.nandDifferences(s), "");
        EXPECT_EQ(rig.errors(), std::vector<std::string>());
        EXPECT_EQ(rig.engine.phase, Idle);
        EXPECT_TRUE(rig.log().last().startsWith(QStringLiteral("Pass finished:")));
    }

    UpdateRig rig;
};

TEST_F(EngineTest, UnusedNandRequestSequence)
{
    const Bytes image = expect::patternImage(Page + 100);
    rig.arrange(Scenario{image});
    ASSERT_TRUE(rig.connect());
    rig.device.clearRequests();
    // Batch mode leaves out the lines that come once per page written; only those may say so.
    QStringList perPageLines;
    QObject::connect(&rig.engine, &UpdateEngine::logLine, [&](const QString &text, bool perPage) {
        if (perPage)
            perPageLines << text;
    });
    rig.pressUpdate();
    ASSERT_TRUE(rig.runPass());
    EXPECT_EQ(perPageLines, QStringList({QStringLiteral("write page 0"), QStringLiteral("write page 1")}));

    std::vector<Bytes> want{expect::resetNand(Page + 100), expect::readFlash(0, 0), expect::readFlash(0, 0),
        expect::readDefects(0), expect::readDefects(0), expect::readDefects(1), expect::readDefects(1),
        expect::eraseBlock(0)};
    auto append = [&](const std::vector<Bytes> &more) { want.insert(want.end(), more.begin(), more.end()); };
    append(expect::pageRequests(0, 0, expect::listFrame(0, {})));
    want.push_back(expect::eraseBlock(1));
    append(expect::pageRequests(1, 0, expect::dataFrame(image, 0, 0)));
    append(expect::pageRequests(1, 1, expect::dataFrame(image, 0, 1)));
    // The final check: the start of the list page and of block 1.
    append({expect::readFlash(0, 0), expect::readFlash(expect::Pages * 8, 0)});
    want.push_back(expect::request(0x0F));
    EXPECT_EQ(rig.device.requests(), want);
}

// A one-page image over lists in pages 0 and 1: every discovery read goes out twice; a verified pass
// reads the page back once, piece by piece; the final check reads the start of the list and of block 1.
std::vector<Bytes> twoStoredListsPass(const Bytes &image, bool verify = false)
{
    std::vector<Bytes> want{expect::resetNand(std::uint32_t(image.size()))};
    for (const auto &[sector, piece] :
        std::vector<std::pair<int, int>>{{0, 0}, {8, 0}, {16, 0}, {8, 0}, {8, 1}, {8, 2}, {8, 3}}) {
        want.push_back(expect::readFlash(sector, piece));
        want.push_back(expect::readFlash(sector, piece));
    }
    want.push_back(expect::eraseBlock(1));
    const auto page = expect::pageRequests(1, 0, expect::dataFrame(image, 0, 0));
    want.insert(want.end(), page.begin(), page.end());
    for (int piece = 0; verify && piece < 32; ++piece)
        want.push_back(expect::readFlash(expect::Pages * 8 + piece / 4, piece % 4));
    want.push_back(expect::readFlash(8, 0));
    want.push_back(expect::readFlash(expect::Pages * 8, 0));
    want.push_back(expect::request(0x0F));
    return want;
}

TEST_F(EngineTest, StoredListsInPagesZeroAndOneRequestSequence)
{
    const Bytes image = expect::patternImage(100);
    rig.arrange(Scenario{image, {}, {{0, {3}}, {0, {}}}});
    ASSERT_TRUE(rig.connect());
    rig.device.clearRequests();
    rig.pressUpdate();
    ASSERT_TRUE(rig.runPass());

    EXPECT_EQ(rig.device.requests(), twoStoredListsPass(image));
    rig.verify = true;
    rig.device.clearRequests();
    rig.pressUpdate();
    ASSERT_TRUE(rig.runPass());
    EXPECT_EQ(rig.device.requests(), twoStoredListsPass(image, true));
}

TEST_F(EngineTest, UnitWithoutDataChecksumsHasEveryDiscoveryReadTwice)
{
    const Bytes image = expect::patternImage(100);
    rig.arrange(Scenario{image, {}, {{0, {3}}, {0, {}}}});
    // No piece read here sums to this value in its low seven bits.
    rig.unit([](SimulatedUnit &u) {
        u.fillDataChecksumWith(0x55);
        return 0;
    });
    ASSERT_TRUE(rig.connect());
    rig.device.clearRequests();
    rig.pressUpdate();
    ASSERT_TRUE(rig.runPass());

    EXPECT_EQ(rig.device.requests(), twoStoredListsPass(image));
    EXPECT_EQ(rig.nandDifferences(Scenario{image, {}, {{0, {3}}, {0, {}}}}), "");
    EXPECT_EQ(rig.log().filter(QStringLiteral("each one is read twice")).size(), 1);
    EXPECT_EQ(rig.engine.retryCount, 0);
}

// A read is a piece of 64 equal bytes whose checksum matches or not; a count of 0 carries no data.
struct OfferedRead
{
    std::uint8_t fill;
    bool checksumMatches;
    int count = 64;
    AgreedRead::Verdict verdict;
    // The fill of the bytes expected, where the reader knows them.
    std::optional<std::uint8_t> expected = std::nullopt;
};

TEST(AgreedReadTest, ReadIsBelievedOnlyWhenTwoInARowAgree)
{
    using V = AgreedRead::Verdict;
    std::vector<std::vector<OfferedRead>> passes = {
        {{0xA5, true, 64, V::ReadAgain}, {0xA5, true, 64, V::Believed}},
        // A late copy of the previous answer disagrees with the real one, which the next read confirms.
        {{0xA5, true, 64, V::ReadAgain}, {0xFF, true, 64, V::Rejected}, {0xFF, true, 64, V::Believed}},
        {{0xA5, true, 64, V::ReadAgain}, {0xA5, true, 0, V::Rejected}, {0xA5, true, 64, V::ReadAgain}},
        // The expected bytes are believed at once, but not right after a read that differed: that one may
        // have been a late answer, and this one the late answer to the request before.
        {{0x09, true, 64, V::Believed, 0x09}, {0xFF, true, 64, V::ReadAgain, 0x09},
            {0x09, true, 64, V::Rejected, 0x09}},
        // Byte 10 is the unit's to fill: a match now and then does not make a mismatch a damaged reply.
        {{0x11, false, 64, V::ReadAgain}, {0x11, false, 64, V::Believed}, {0x22, true, 64, V::ReadAgain},
            {0x22, true, 64, V::Believed}, {0x33, false, 64, V::ReadAgain}, {0x33, false, 64, V::Believed}},
    };
    // Sixteen matches on varied data make the checksum count: the first mismatch is rejected, and only
    // that one. Sixteen on the same data, as a constant byte 10 gives on erased pages, do not.
    for (const std::uint8_t second : {std::uint8_t(0x22), std::uint8_t(0x11)}) {
        std::vector<OfferedRead> reads;
        for (int k = 0; k < 8; ++k) {
            reads.push_back({k % 2 ? second : std::uint8_t(0x11), true, 64, V::ReadAgain});
            reads.push_back({k % 2 ? second : std::uint8_t(0x11), true, 64, V::Believed});
        }
        if (second != 0x11)
            reads.push_back({0x33, false, 64, V::Rejected});
        reads.push_back({0x33, false, 64, V::ReadAgain});
        reads.push_back({0x33, false, 64, V::Believed});
        passes.push_back(reads);
    }
    for (std::size_t p = 0; p < passes.size(); ++p) {
        AgreedRead reads;
        reads.startPass();
        for (std::size_t i = 0; i < passes[p].size(); ++i) {
            const OfferedRead &r = passes[p][i];
            const Bytes data(64, r.fill);
            const Bytes expected(64, r.expected.value_or(0));
            const std::uint8_t sum = std::uint8_t((r.fill * 64) & 0x7F);
            EXPECT_EQ(reads.offer(data.data(), r.count, r.checksumMatches ? sum : sum ^ 1,
                          r.expected ? expected.data() : nullptr),
                r.verdict)
                << "pass " << p << ", read " << i;
        }
    }
}

// Answered round trips, then a time-out or not, and what the last of these calls asks for.
using BackoffStep = std::tuple<int, bool, unsigned>;

TEST(PeriodBackoffTest, LengthensOnlyOnCloseLossesAndShortensAfterACleanRun)
{
    constexpr int Window = PeriodBackoff::LossWindow;
    constexpr int Clean = PeriodBackoff::FirstCleanRun;
    // A loss at a new period is its first there; the period stays within its bounds and steps one at a time;
    // at twice the period, both runs count half as many round trips. A halved period that loses again before
    // a clean run of its own makes the next clean run twice as long.
    const std::vector<BackoffStep> steps = {{0, true, 0}, {Window, true, 0}, {Window - 1, true, 128},
        {0, true, 0}, {0, true, 256}, {0, true, 0}, {0, true, 0}, {Clean / 4 - 1, false, 0}, {1, false, 128},
        {Clean / 2, false, 64}, {Clean, false, 0}, {0, true, 0}, {1, true, 128}, {Clean / 2, false, 64},
        {0, true, 0}, {1, true, 128}, {0, true, 0}, {Window / 2, true, 0}, {Window / 2 - 1, true, 256},
        {Clean / 2 - 1, false, 0}, {1, false, 128}};
    PeriodBackoff backoff(64, 256);
    for (std::size_t s = 0; s < steps.size(); ++s) {
        const auto [answers, timeout, expected] = steps[s];
        unsigned asked = 0;
        for (int a = 0; a < answers; ++a) {
            ASSERT_EQ(asked, 0u) << "step " << s << ", answer " << a;
            asked = backoff.answered();
        }
        EXPECT_EQ(timeout ? backoff.timedOut() : asked, expected) << "step " << s;
    }
}

struct LostReplyCase
{
    const char *name;
    int reply; // counted from the reply before CMD_RESET_NAND
};

void PrintTo(const LostReplyCase &c, std::ostream *os)
{
    *os << c.name;
}

// The image has three pages; the last one holds its final byte.
const LostReplyCase retriedCases[] = {
    {"EraseResult", RepliesBeforeDataWithListInPageZero},
    {"WriteReady", writeReady(1)},
    {"DataAckOfPieceTwenty", dataAck(1, 20)},
    {"ProgramResultOfTheLastPage", programStatus(2)},
};

class LostDataReplyTest : public EngineTest, public ::testing::WithParamInterface<LostReplyCase>
{
};

TEST_P(LostDataReplyTest, CountdownRewritesTheBlockOnceAndThePassCompletes)
{
    Scenario s{expect::patternImage(2 * Page + 5), {}, {{0, {}}}};
    rig.arrange(s);
    ASSERT_TRUE(rig.connect());
    injectFault(SimulatedUnit::Fault::Lose, produced() + GetParam().reply);
    startAndRunTo(GetParam().reply);
    ASSERT_EQ(rig.stats().repliesLost, 1);

    const int before = requests();
    rig.tick(24);
    rig.drain();
    EXPECT_EQ(requests(), before);
    EXPECT_EQ(rig.engine.retryCount, 0);

    rig.tick(1);
    EXPECT_EQ(rig.engine.retryCount, 1);
    EXPECT_EQ(rig.engine.phase, BlockErase);
    // The retry's erase is armed too, so that its own loss is retried as well.
    EXPECT_EQ(rig.engine.timeoutTicks, 25);
    expectCompletePass(s);
    EXPECT_EQ(rig.unit([](SimulatedUnit &u) { return u.eraseCount(1); }), 2);
    EXPECT_TRUE(rig.log().contains(
        QStringLiteral("No reply within 2.5 s during the write of block 1: retry 1 of 16")));
    EXPECT_TRUE(rig.log().contains(QStringLiteral("(1 retries)")));
    EXPECT_TRUE(rig.log().last().contains(QStringLiteral(", 1 retries,")));
}

INSTANTIATE_TEST_SUITE_P(Phases, LostDataReplyTest, ::testing::ValuesIn(retriedCases),
    [](const auto &info) { return std::string(info.param.name); });

const QString StallStop = QStringLiteral(
    "Update stopped: no reply from the unit for 10 s. Check that input and output are the same unit, and its "
    "cable and power; then press Disconnect and Connect. Update starts the whole update again.");

// Lost replies inside a pass are retried; only a unit that never gets ready is left to the stall watch.
TEST_F(EngineTest, NandNeverReadyStopsAfterTenSecondsAndSaysWhatToCheck)
{
    const Scenario s{expect::patternImage(Page + 9), {}, {{0, {}}}};
    rig.arrange(s);
    ASSERT_TRUE(rig.connect());
    // Neither "mode active" nor "NAND ready": the unit is silent.
    injectFault(SimulatedUnit::Fault::Lose, produced() + 1);
    injectFault(SimulatedUnit::Fault::Lose, produced() + 2);
    startAndRunTo(2);
    const int stalledAt = requests();

    rig.tick(99);
    rig.drain();
    EXPECT_FALSE(rig.updateAllowed());
    EXPECT_NE(rig.log().last(), StallStop);

    rig.tick(1);
    EXPECT_EQ(rig.log().last(), StallStop);
    EXPECT_TRUE(rig.updateAllowed());
    EXPECT_TRUE(rig.controlsFree);
    EXPECT_FALSE(rig.barShown);
    EXPECT_EQ(rig.engine.phase, Idle);
    EXPECT_EQ(rig.engine.retryCount, 0);
    rig.drain();
    EXPECT_EQ(requests(), stalledAt);

    // A late "NAND ready" after the stop starts nothing; only Update does.
    const Bytes ready = expect::reply(0x2E);
    rig.device.send(ready.data(), ready.size());
    rig.tick(300);
    rig.drain();
    EXPECT_EQ(requests(), stalledAt);
    EXPECT_EQ(rig.engine.phase, Idle);
    EXPECT_EQ(rig.log().filter(QStringLiteral("Update stopped")).size(), 1);

    rig.pressUpdate();
    expectCompletePass(s);
}

TEST_F(EngineTest, UnitWhoseRepliesAnswerNothingStopsAfterTenSecondsAndSaysSo)
{
    rig.arrange(Scenario{expect::patternImage(Page + 9), {}, {{0, {}}}});
    ASSERT_TRUE(rig.connect());
    // Every reply from now on has a reply byte the updater does not know.
    rig.unit([](SimulatedUnit &u) {
        u.injectCorruption(1, 9, 0x10, true);
        return 0;
    });
    startAndRunTo(2);
    rig.tick(100);
    EXPECT_EQ(rig.log().last().toStdString(),
        "Update stopped: for 10 s the unit's 2 replies answered no request in flight; the last was "
        "f00011220a000000003ef7");
}

TEST_F(EngineTest, UnitThatSaidModeActiveHasSixtySecondsToGetItsNandReady)
{
    const Scenario s{expect::patternImage(Page + 9), {}, {{0, {}}}};
    rig.arrange(s);
    ASSERT_TRUE(rig.connect());
    holdReply(2, 0);
    startAndRunTo(2);
    rig.tick(599);
    rig.drain();
    EXPECT_EQ(rig.log().last(), QStringLiteral("The unit is preparing its NAND; waiting up to 60 s for it"));
    EXPECT_FALSE(rig.updateAllowed());
    rig.device.releaseHeld();
    expectCompletePass(s);
}

// Every kind of fault in every phase of a pass must end in the exact NAND with CMD_FINISH: the fault table.
// A fault hits `replies` replies in a row; a corrupted reply has bit 0 of its first data byte, of its
// status byte or, where it carries neither, of its reply byte flipped; a late one is held until the next
// request, a trailing copy follows just before the reply to the next request.
constexpr int DataByte = 11, StatusByte = 10, ReplyByte = 9;

struct FaultKind
{
    const char *name;
    SimulatedUnit::Fault fault;
    int replies;
};

const FaultKind faultKinds[] = {
    {"Lost", SimulatedUnit::Fault::Lose, 1},
    {"LostTwice", SimulatedUnit::Fault::Lose, 2},
    {"LostThrice", SimulatedUnit::Fault::Lose, 3},
    {"Duplicated", SimulatedUnit::Fault::Duplicate, 1},
    {"Corrupted", SimulatedUnit::Fault::Corrupt, 1},
    {"StrayIdle", SimulatedUnit::Fault::StrayIdle, 1},
    {"CutOffCopy", SimulatedUnit::Fault::Unterminated, 1},
    {"Late", SimulatedUnit::Fault::Delay, 1},
    {"TrailingCopy", SimulatedUnit::Fault::Trail, 1},
    {"FlippedFlagBit", SimulatedUnit::Fault::FlipFlag, 1},
};

enum class Outcome { Finished, StalledThenFinished, Unconfirmed };

// Units may answer any success status but 02, and fill byte 10 of data replies as they like.
enum class UnitVariant { Plain, StatusOne, ConstantByteTen };

struct FaultCase
{
    std::string name;
    Scenario scenario;
    int reply; // counted from the reply before CMD_RESET_NAND
    FaultKind fault;
    Outcome outcome;
    int corruptAt;
    UnitVariant variant = UnitVariant::Plain;
    int damagedPiece = 0; // counted from the pass start
};

void PrintTo(const FaultCase &c, std::ostream *os)
{
    *os << c.name;
}

const Bytes smallImage = expect::patternImage(Page + 9);
using Damage = SimulatedUnit::RequestDamage;
// Block 1 fails to erase twice, so the pass ends with an updated list in page 1.
constexpr int NextListStart = RepliesBeforeDataWithListInPageZero + 2 + 2 * RepliesPerPage + 1;

std::vector<FaultCase> faultCases()
{
    const Scenario listInPageZero{smallImage, {}, {{0, {}}}};
    const Scenario unusedNand{smallImage};
    const Scenario failingBlockOne{smallImage, {}, {{0, {}}}, {1}};
    // Discovery data that differs from read to read, so that a shifted or damaged read changes the NAND:
    // a list whose entries fill two pieces and move the image, and defects in both parts of the list.
    std::vector<int> entries{1, 2};
    for (int b = 100; b < 138; ++b)
        entries.push_back(b);
    const Scenario listWithEntries{smallImage, {}, {{1, entries}}};
    const Scenario defectsInBothParts{smallImage, {1, 7, 519}};
    Scenario verified = listInPageZero;
    verified.verify = true;
    // The final check reads the start of the list page and of block 1 before CMD_FINISH.
    const int finishConfirmation = programStatus(1) + 3;
    const struct
    {
        const char *name;
        const Scenario &scenario;
        int reply;
        int corruptAt = ReplyByte;
    } phases[] = {
        {"NandReady", listInPageZero, 2},
        {"ListProbe", listInPageZero, 3, DataByte},
        {"ListPiece", listInPageZero, 9, DataByte},
        {"DefectListPart", unusedNand, 5, DataByte},
        {"ListBlockErase", unusedNand, 9, StatusByte},
        {"FirstListStart", unusedNand, 10},
        {"FirstListPiece", unusedNand, 21, StatusByte},
        {"FirstListProgram", unusedNand, 44, StatusByte},
        {"BlockErase", listInPageZero, RepliesBeforeDataWithListInPageZero, StatusByte},
        {"DataPageStart", listInPageZero, writeReady(1)},
        {"DataPageSend", listInPageZero, dataAck(1, 20), StatusByte},
        {"DataPageProgram", listInPageZero, programStatus(0), StatusByte},
        {"UpdatedListStart", failingBlockOne, NextListStart},
        {"UpdatedListPiece", failingBlockOne, NextListStart + 12, StatusByte},
        {"UpdatedListProgram", failingBlockOne, NextListStart + 34, StatusByte},
        {"FinalCheckOfBlockOne", listInPageZero, programStatus(1) + 2, DataByte},
        {"FinishConfirmation", listInPageZero, finishConfirmation},
        {"ProbeOfTheOnlyList", listWithEntries, 4, DataByte},
        {"FirstPieceOfAListWithEntries", listWithEntries, 8, DataByte},
        {"DefectPartZeroWithADefectOfBlockSeven", defectsInBothParts, 6, DataByte},
        {"FailedErase", failingBlockOne, RepliesBeforeDataWithListInPageZero, StatusByte},
        {"DataReadBack", verified, programStatus(1) + 10, DataByte},
    };
    std::vector<FaultCase> cases;
    for (const auto &phase : phases) {
        const bool ready = phase.reply == 2;
        for (const FaultKind &fault : faultKinds) {
            if (fault.fault == SimulatedUnit::Fault::FlipFlag && phase.corruptAt != DataByte)
                continue;
            const bool unanswered = fault.fault == SimulatedUnit::Fault::Lose
                || fault.fault == SimulatedUnit::Fault::Corrupt || fault.fault == SimulatedUnit::Fault::Delay;
            // CMD_RESET_NAND is not repeated: a unit that never reports its NAND ready meets the stall watch.
            // A corrupted "ready" and a held one are lost ones there; a burst would stall the next try too.
            if (ready && unanswered && (fault.fault != SimulatedUnit::Fault::Lose || fault.replies > 1))
                continue;
            Scenario scenario = phase.scenario;
            Outcome outcome = Outcome::Finished;
            if (ready && unanswered)
                outcome = Outcome::StalledThenFinished;
            else if (std::string(phase.name) == "FinishConfirmation" && fault.replies == 3)
                outcome = Outcome::Unconfirmed;
            const std::string name = std::string(phase.name) + fault.name;
            cases.push_back({name, scenario, phase.reply, fault, outcome, phase.corruptAt});
            if (phase.corruptAt == StatusByte)
                cases.push_back({name + "UnitAnswering01", scenario, phase.reply, fault, outcome,
                    phase.corruptAt, UnitVariant::StatusOne});
            if (phase.corruptAt == DataByte)
                cases.push_back({name + "ConstantByteTen", scenario, phase.reply, fault, outcome,
                    phase.corruptAt, UnitVariant::ConstantByteTen});
        }
    }
    // Two faults at once. In the read-back of a run of zeros, a trailing copy of the last piece of page 1
    // answers piece 0 of page 2, which reads back wrong, and its own answer comes out of turn; and a
    // piece reported damaged only after the next one went out, because a trailing copy of the
    // acknowledgement before it answered that one.
    Bytes zeroRun = expect::patternImage(3 * Page);
    std::fill(zeroRun.begin() + Page, zeroRun.end(), 0);
    Scenario zeroRunFlipped{zeroRun, {}, {{0, {}}}, {}, {}, {{1, 2}}};
    zeroRunFlipped.verify = true;
    const FaultKind trailing{"TrailingCopy", SimulatedUnit::Fault::Trail, 1};
    cases.push_back({"ShiftedReadBackOfAZeroRunWithAWrongPieceIsReadAgainAndRepaired", zeroRunFlipped,
        programStatus(2) + 32 + 32, trailing, Outcome::Finished, ReplyByte});
    // Three blocks, the first two starting alike: the erase of block 3 goes to block 2, and a trailing copy
    // of the final check's answer for block 1 answers its read of block 2.
    Bytes threeBlocks = expect::patternImage(2 * Block + 9);
    std::fill_n(threeBlocks.begin(), 64, 0);
    std::fill_n(threeBlocks.begin() + Block, 64, 0);
    cases.push_back({"ShiftedFinalCheckReadsAgainWhatItJudgedBeforeTheShift",
        {threeBlocks, {}, {{0, {}}}, {}, {}, {}, {}, {}, false, false, {{Damage::EraseBlock, 3, 0}}},
        programStatus(128) + 4, trailing, Outcome::Finished, ReplyByte});
    // A failed program whose 02 arrives as 03: taken as success, but doubted, so even an unverified pass
    // reads the block back and finds the page.
    cases.push_back({"FailedProgramWithADamagedStatusIsReadBackUnverified",
        {smallImage, {}, {{0, {}}}, {}, {{1, 0}}}, programStatus(0),
        {"DamagedStatus", SimulatedUnit::Fault::DamageStatus, 1}, Outcome::Finished, StatusByte});
    for (const bool verify : {false, true}) {
        Scenario late{expect::patternImage(2 * Page), {}, {{0, {}}}};
        late.verify = verify;
        cases.push_back({verify ? "LateDamagedPieceReportRestartsTheBlockVerified"
                                : "LateDamagedPieceReportRestartsTheBlock",
            late, dataAck(1, 9), trailing, Outcome::Finished, ReplyByte, UnitVariant::Plain, 33 + 11});
    }
    // Silent faults: every status says success, and only the read-back finds what the NAND holds.
    const Bytes twoBlocks = expect::patternImage(Block + Page + 9);
    const std::pair<const char *, Scenario> silent[] = {
        {"FlippedBitInADataBlockIsWrittenAgainInPlace", {twoBlocks, {}, {{0, {}}}, {}, {}, {{1, 40}}}},
        {"ProgramLeftErasedRetiresTheBlockAtItsRewrite",
            {twoBlocks, {}, {{0, {}}}, {}, {}, {}, {}, {{1, 7}}}},
        {"PageWeakAtEveryProgramRetiresTheBlockOfTheLastPage",
            {twoBlocks, {}, {{0, {}}}, {}, {}, {}, {{2, 1}}}},
        {"FlippedBitInTheFirstListMovesItToPageOne", {smallImage, {}, {}, {}, {}, {{0, 0}}}},
        {"FlippedBitInTheUpdatedListMovesItToTheNextPage",
            {smallImage, {}, {{0, {}}, {0, {}}}, {1}, {}, {{0, 2}}}},
        // Requests damaged on their way in, where no checksum covers them.
        {"EraseOfBlockOneDamagedIntoBlockZeroHasTheListWrittenAgain",
            {smallImage, {}, {}, {}, {}, {}, {}, {}, false, false, {{Damage::EraseBlock, 2, 0}}}},
        {"PageAddressDamagedOnItsWayInRewritesTheBlock",
            {smallImage, {}, {{0, {}}}, {}, {}, {}, {}, {}, false, false, {{Damage::PageAddress, 2, 1}}}},
        {"HighBitOfAPieceDamagedOnItsWayInRewritesTheBlock",
            {smallImage, {}, {{0, {}}}, {}, {}, {}, {}, {}, false, false, {{Damage::PieceHighBit, 2, 0}}}},
        // The final check's rewrite of block 1 erases block 3 instead: the check after it reads block 3 too.
        {"RewriteAfterTheFinalCheckErasingALaterBlockIsCheckedToTheEnd",
            {threeBlocks, {}, {{0, {}}}, {}, {}, {}, {}, {}, false, false,
                {{Damage::EraseBlock, 3, 1}, {Damage::EraseBlock, 4, 1}}}},
    };
    for (auto [name, scenario] : silent) {
        scenario.verify = true;
        cases.push_back({name, scenario, 0, {"", SimulatedUnit::Fault::Lose, 0}, Outcome::Finished, 0});
    }
    return cases;
}

class FaultTableTest : public EngineTest, public ::testing::WithParamInterface<FaultCase>
{
protected:
    void inject(const FaultKind &kind, int reply)
    {
        rig.unit([&](SimulatedUnit &u) {
            for (int k = 0; k < kind.replies; ++k) {
                if (kind.fault == SimulatedUnit::Fault::Corrupt)
                    u.injectCorruption(reply, GetParam().corruptAt, 0x01);
                else if (kind.fault == SimulatedUnit::Fault::Delay)
                    u.injectDelay(reply, 1);
                else
                    u.injectReplyFault(kind.fault, reply + k);
            }
            return 0;
        });
    }

    // Runs until the controls come back, letting the countdown run only while the unit is quiet.
};

TEST_P(FaultTableTest, FaultEndsInTheExactNandAndAFinishedUpdate)
{
    const FaultCase &c = GetParam();
    rig.arrange(c.scenario);
    ASSERT_TRUE(rig.connect());
    rig.unit([&](SimulatedUnit &u) {
        if (c.variant == UnitVariant::StatusOne)
            u.answerSuccessWith(0x01);
        if (c.variant == UnitVariant::ConstantByteTen)
            u.fillDataChecksumWith(0x00);
        if (c.damagedPiece)
            u.damagePiece(u.stats().pieces + c.damagedPiece);
        return 0;
    });
    // As after an earlier pass with this unit: the first status is held against the unit's own value.
    if (c.variant == UnitVariant::StatusOne)
        rig.engine.successStatus.doubts(0x01);
    inject(c.fault, produced() + c.reply);
    // A reply held back until the next request, or a copy right behind its reply, races the requests
    // around it, so the requests of such a row depend on the machine's speed (a sanitizer build differs).
    rig.recordGolden = c.fault.fault != SimulatedUnit::Fault::Delay
        && c.fault.fault != SimulatedUnit::Fault::Trail && c.fault.fault != SimulatedUnit::Fault::Duplicate;
    rig.pressUpdate();
    ASSERT_TRUE(rig.runPassTicking());
    if (c.outcome == Outcome::StalledThenFinished) {
        // The unit said "mode active", so it had 60 s to get its NAND ready.
        EXPECT_EQ(rig.log().last(),
            QStringLiteral("Update stopped: the unit did not get its NAND ready within 60 s"));
        EXPECT_EQ(rig.stats().requestsByCommand[0x0F], 0);
        rig.pressUpdate();
        ASSERT_TRUE(rig.runPassTicking());
    }

    EXPECT_EQ(rig.nandDifferences(c.scenario), "");
    EXPECT_EQ(rig.errors(), std::vector<std::string>());
    EXPECT_FALSE(rig.unit([](SimulatedUnit &u) { return u.active(); }));
    EXPECT_EQ(rig.engine.phase, Idle);
    EXPECT_EQ(rig.engine.passFinished, c.outcome != Outcome::Unconfirmed);
    EXPECT_TRUE(rig.updateAllowed());
    EXPECT_FALSE(rig.barShown);
    const int finishes = rig.stats().requestsByCommand[0x0F];
    if (c.outcome == Outcome::Unconfirmed) {
        EXPECT_EQ(rig.log().last(), QStringLiteral("Update stopped: the unit did not confirm the finish"));
        EXPECT_EQ(finishes, 3);
    } else {
        EXPECT_TRUE(rig.log().last().startsWith(QStringLiteral("Pass finished:")))
            << rig.log().last().toStdString();
        EXPECT_EQ(rig.log().last().contains(QStringLiteral(" blocks, verified,")), c.scenario.verify);
        EXPECT_GE(finishes, 1);
    }
    RecordProperty("retries", rig.engine.retryCount);
    RecordProperty("requests", rig.stats().requests);
    RecordProperty("finishes", finishes);
}

INSTANTIATE_TEST_SUITE_P(Phases, FaultTableTest, ::testing::ValuesIn(faultCases()),
    [](const auto &info) { return info.param.name; });

TEST_F(EngineTest, LateAckAfterARetryIsIgnored)
{
    Scenario s{expect::patternImage(2 * Page), {}, {{0, {}}}};
    rig.arrange(s);
    ASSERT_TRUE(rig.connect());
    holdReply(dataAck(0, 7), 1);
    startAndRunTo(dataAck(0, 7));
    ASSERT_EQ(rig.stats().repliesHeld, 1);
    rig.tick(25);
    expectCompletePass(s);
    EXPECT_EQ(rig.engine.retryCount, 1);
    EXPECT_EQ(rig.stats().repliesDelayed, 1);
}

struct DamagedReplyCase
{
    const char *name;
    SimulatedUnit::Fault fault;
    int reply;
    int retries;
};

void PrintTo(const DamagedReplyCase &c, std::ostream *os)
{
    *os << c.name;
}

const DamagedReplyCase damagedCases[] = {
    {"DuplicatedAck", SimulatedUnit::Fault::Duplicate, dataAck(0, 5), 0},
    {"DuplicatedLastAck", SimulatedUnit::Fault::Duplicate, dataAck(1, 32), 0},
    {"DuplicatedProgramResult", SimulatedUnit::Fault::Duplicate, programStatus(0), 0},
    {"DuplicatedEraseResult", SimulatedUnit::Fault::Duplicate, RepliesBeforeDataWithListInPageZero, 0},
    {"ProgramResultWithAnUnknownReplyByteIsLost", SimulatedUnit::Fault::Corrupt, programStatus(1), 1},
    {"AckWithAnUnknownReplyByteIsLost", SimulatedUnit::Fault::Corrupt, dataAck(1, 3), 1},
    {"ProgramResultWithADamagedStatusIsDoubted", SimulatedUnit::Fault::DamageStatus, programStatus(1), 0},
    {"AckWithADamagedStatusIsDoubted", SimulatedUnit::Fault::DamageStatus, dataAck(1, 3), 0},
};

class DamagedReplyTest : public EngineTest, public ::testing::WithParamInterface<DamagedReplyCase>
{
};

TEST_P(DamagedReplyTest, PassStillWritesTheImageExactly)
{
    const DamagedReplyCase &c = GetParam();
    Scenario s{expect::patternImage(3 * Page + 1), {}, {{0, {}}}};
    rig.arrange(s);
    ASSERT_TRUE(rig.connect());
    injectFault(c.fault, produced() + c.reply);
    startAndRunTo(c.reply);
    if (c.retries)
        rig.tick(25);
    expectCompletePass(s);
    EXPECT_EQ(rig.engine.retryCount, c.retries);
}

INSTANTIATE_TEST_SUITE_P(Faults, DamagedReplyTest, ::testing::ValuesIn(damagedCases),
    [](const auto &info) { return std::string(info.param.name); });

TEST_F(EngineTest, PieceDamagedOnItsWayInRewritesTheBlock)
{
    Scenario s{expect::patternImage(3 * Page + 1), {}, {{0, {}}}};
    rig.arrange(s);
    ASSERT_TRUE(rig.connect());
    rig.unit([](SimulatedUnit &u) {
        u.damagePiece(33 + 8); // piece 7 of page 1
        return 0;
    });
    rig.pressUpdate();
    expectCompletePass(s);
    EXPECT_EQ(rig.stats().requestsDamaged, 1);
    EXPECT_EQ(rig.unit([](SimulatedUnit &u) { return u.eraseCount(1); }), 2);
    EXPECT_EQ(rig.engine.retryCount, 1);
    EXPECT_TRUE(rig.log().contains(
        QStringLiteral("The unit received piece 7 damaged; the write of block 1 starts again")));
}

TEST_F(EngineTest, TransferDuringAPassAbandonsItAndStartsOver)
{
    Scenario s{expect::patternImage(2 * Block + Page), {}, {{0, {}}}};
    rig.arrange(s);
    ASSERT_TRUE(rig.connect());
    // Its acknowledgement is held back until the next request, so it reaches the abandoned pass.
    holdReply(dataAck(40, 10), 1);
    startAndRunTo(dataAck(40, 10));
    ASSERT_EQ(rig.engine.phase, DataPageSend);
    rig.engine.startPass(rig.verify);
    EXPECT_EQ(rig.engine.phase, Idle);
    expectCompletePass(s);
    EXPECT_EQ(rig.stats().requestsByCommand[0x0E], 2);
    EXPECT_EQ(rig.stats().requestsByCommand[0x0F], 1);
    EXPECT_EQ(rig.log().filter(QStringLiteral("Pass finished:")).size(), 1);
}

TEST_F(EngineTest, UnitThatKeepsLosingRepliesInOneBlockStopsThePassAfterSixteenRetriesInARow)
{
    Scenario s{expect::patternImage(2 * Block), {}, {{0, {}}}};
    rig.arrange(s);
    ASSERT_TRUE(rig.connect());
    // A block takes over 2,000 replies: losing every 100th, block 1 never gets written, though the unit
    // answers all along.
    rig.unit([](SimulatedUnit &u) {
        u.injectReplyFault(SimulatedUnit::Fault::Lose, 100, true);
        return 0;
    });
    rig.pressUpdate();
    ASSERT_TRUE(rig.runPassTicking());
    EXPECT_EQ(rig.log().last(),
        QStringLiteral("Update stopped: the write of block 1 failed again after 16 retries"));
    EXPECT_TRUE(
        rig.log().contains(QStringLiteral("the write of block 1: no reply came to the last request")));
    EXPECT_EQ(rig.engine.retryCount, 16);
    EXPECT_EQ(rig.engine.phase, Idle);
    EXPECT_EQ(rig.stats().requestsByCommand[0x0F], 0);
}

TEST_F(EngineTest, DisconnectMidPassRetriesIntoTheClosedPortThenGivesTheControlsBack)
{
    Scenario s{expect::patternImage(2 * Block), {}, {{0, {}}}};
    rig.arrange(s);
    ASSERT_TRUE(rig.connect());
    holdReply(dataAck(2, 10), 0);
    startAndRunTo(dataAck(2, 10));
    ASSERT_EQ(rig.engine.phase, DataPageSend);
    rig.disconnect();
    ASSERT_EQ(rig.engine.connectionState, Disconnected);
    rig.drain();
    const int erases = rig.stats().requestsByCommand[0x0A];

    EXPECT_TRUE(rig.controlsFree);
    EXPECT_FALSE(rig.updateAllowed());

    rig.tick(25);
    EXPECT_EQ(rig.engine.retryCount, 1);
    EXPECT_EQ(rig.engine.phase, BlockErase);
    // Every retry goes into the closed port; 10 s after the last answer the pass stops for silence.
    rig.tick(74);
    EXPECT_NE(rig.log().last(), StallStop);
    rig.tick(1);
    EXPECT_EQ(rig.log().last(), StallStop);
    EXPECT_EQ(rig.engine.retryCount, 3);
    EXPECT_EQ(rig.engine.phase, Idle);
    EXPECT_TRUE(rig.controlsFree);
    EXPECT_EQ(rig.shownState, Disconnected);
    EXPECT_FALSE(rig.updateAllowed());
    EXPECT_EQ(rig.device.releaseHeld(), 0);
    rig.drain();
    EXPECT_EQ(rig.stats().requestsByCommand[0x0A], erases);

    ASSERT_TRUE(rig.connect());
    rig.pressUpdate();
    expectCompletePass(s);
}

struct RefusalCase
{
    const char *name;
    qint64 size; // -1: no file at all
    const char *line;
    bool placeholder = false;
    const char *unitText
        = nullptr; // what the unit names itself in its identify reply; null: the simulated unit's
};

void PrintTo(const RefusalCase &c, std::ostream *os)
{
    *os << c.name;
}

const RefusalCase refusalCases[] = {
    {"MissingImage", -1, "Update refused: the image cannot be opened"},
    {"ImageOneByteTooLarge", 1023LL * Block + 1,
        "Update refused: the image (134086657 bytes) does not fit the NAND"},
    {"PlaceholderIntoAUnitThatIsNotTheSimulatedOne", Block,
        "Update refused: this build carries a generated placeholder instead of the maker's image, and only "
        "the "
        "simulated unit (tavrin-sim) takes it. Build Tavrin Update with the maker's image "
        "(cmake -DTAVRIN_IMAGE=/path/to/image.bin) to update this unit.",
        true, "V1"},
};

class RefusedImageTest : public EngineTest, public ::testing::WithParamInterface<RefusalCase>
{
};

TEST_P(RefusedImageTest, TransferRefusesAndGivesTheControlsBack)
{
    const RefusalCase &c = GetParam();
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("image.bin"));
    if (c.size >= 0) {
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        ASSERT_TRUE(file.resize(c.size));
    }
    if (c.unitText)
        rig.unit([&](SimulatedUnit &u) {
            u.setInfoText(c.unitText);
            return 0;
        });
    ASSERT_TRUE(rig.connect());
    const int before = requests();
    rig.engine.imagePath = path;
    rig.engine.imageIsPlaceholder = c.placeholder;
    rig.pressUpdate();
    rig.drain();

    EXPECT_EQ(rig.log().last(), QString::fromLatin1(c.line));
    EXPECT_EQ(requests(), before);
    EXPECT_TRUE(rig.updateAllowed());
    EXPECT_TRUE(rig.controlsFree);
    EXPECT_FALSE(rig.engine.imageLoaded);
    EXPECT_EQ(rig.engine.stallTicks, 0);
}

INSTANTIATE_TEST_SUITE_P(Images, RefusedImageTest, ::testing::ValuesIn(refusalCases),
    [](const auto &info) { return std::string(info.param.name); });

TEST_F(EngineTest, LargestImageThatFitsIsAccepted)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("image.bin"));
    {
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        ASSERT_TRUE(file.resize(1023LL * Block));
    }
    rig.unit([](SimulatedUnit &u) {
        u.silenceAfterRequest(1);
        return 0;
    });
    ASSERT_TRUE(rig.connect());
    rig.engine.imagePath = path;
    rig.pressUpdate();
    EXPECT_EQ(rig.engine.imageSize, 1023 * Block);
    EXPECT_EQ(rig.log().last(), QStringLiteral("Reset NAND"));
    ASSERT_TRUE(rig.runUntil([&] { return rig.stats().silencedRequests == 1; }));
    rig.engine.imageData.clear();
}

TEST_F(EngineTest, NandReadyBeforeAnyImageWasLoadedStartsNothing)
{
    ASSERT_TRUE(rig.connect());
    rig.unit([](SimulatedUnit &u) {
        u.setActive(true);
        return 0;
    });
    const int before = requests();
    rig.engine.link.traceText.clear();
    const Bytes ready = expect::reply(0x2E);
    rig.device.send(ready.data(), ready.size());
    ASSERT_TRUE(rig.runUntil([&] { return rig.engine.link.traceText.endsWith(QStringLiteral("2ef7")); }));
    rig.drain();
    EXPECT_EQ(rig.engine.phase, Idle);
    EXPECT_EQ(requests(), before);
}

TEST_F(EngineTest, CountdownAfterStartUpRunsOutWithoutEffect)
{
    ASSERT_TRUE(rig.connect());
    const int before = requests();
    rig.tick(25);
    rig.drain();
    EXPECT_EQ(rig.engine.timeoutTicks, 0);
    EXPECT_EQ(rig.engine.retryCount, 0);
    EXPECT_EQ(requests(), before);
    EXPECT_TRUE(rig.heard.isEmpty());
}

struct DispatchCase
{
    const char *name;
    Bytes message;
    bool transferEnabled;
    bool progressShown;
    const char *serial;
};

void PrintTo(const DispatchCase &c, std::ostream *os)
{
    *os << c.name;
}

const DispatchCase dispatchCases[] = {
    {"UnknownModelIsIgnored", {0xF0, 0x00, 0x11, 0x22, 0x0B, 0, 0, 0, 0, 0x43, 0x01, 0xF7}, true, false,
        "909-000-121"},
    {"UnknownReplyByteIsIgnored", expect::reply(0x30, {0x01}), true, false, "909-000-121"},
    {"ModeActiveWithoutAPassIsIgnored", expect::reply(0x43, {0x01}), true, false, "909-000-121"},
    {"ModeIdleGivesTheControlsBack", expect::reply(0x43, {0x00}), true, false, "909-000-121"},
    {"DeviceInfoWhileConnectedOnlyShowsIt",
        {0xF0, 0x00, 0x11, 0x22, 0x0A, 0x05, 0x00, 0x00, 0x00, 0x20, 0x03, 0x04, 0x7F, 0xF7}, true, false,
        "000-000-050"},
};

class DispatchTest : public EngineTest, public ::testing::WithParamInterface<DispatchCase>
{
};

TEST_P(DispatchTest, ReplyActsOnTheControlsOnly)
{
    const DispatchCase &c = GetParam();
    ASSERT_TRUE(rig.connect());
    ASSERT_EQ(rig.serial, QStringLiteral("909-000-121"));
    rig.engine.link.traceText.clear();
    rig.device.send(c.message.data(), c.message.size());
    ASSERT_TRUE(rig.runUntil([&] { return !rig.engine.link.traceText.isEmpty(); }));
    EXPECT_EQ(rig.engine.connectionState, Connected);
    EXPECT_EQ(rig.engine.phase, Idle);
    EXPECT_EQ(rig.updateAllowed(), c.transferEnabled);
    EXPECT_EQ(rig.barShown, c.progressShown);
    EXPECT_EQ(rig.serial, QString::fromLatin1(c.serial));
}

INSTANTIATE_TEST_SUITE_P(Replies, DispatchTest, ::testing::ValuesIn(dispatchCases),
    [](const auto &info) { return std::string(info.param.name); });

} // namespace
