#include "NandCheck.h"
#include "PassReport.h"
#include "SimOptions.h"
#include "StateFile.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QTemporaryDir>

#include <array>
#include <cstdint>
#include <functional>
#include <ostream>
#include <string>
#include <vector>

namespace {

using Bytes = std::vector<std::uint8_t>;
using Arguments = std::vector<std::string>;

struct AcceptedCase
{
    Arguments arguments;
    std::function<bool(const SimOptions &)> holds;
};

const AcceptedCase acceptedCases[] = {
    {{}, [](const SimOptions &o) { return o.statePath.empty() && o.dropEvery == 0 && !o.serial && !o.help; }},
    {{"--state", "nand.state"}, [](const SimOptions &o) { return o.statePath == "nand.state"; }},
    {{"--dump=nand.bin"}, [](const SimOptions &o) { return o.dumpPath == "nand.bin"; }},
    {{"--defects", "5,17,1023"},
        [](const SimOptions &o) {
            return o.defects == std::vector<int>{5, 17, 1023};
        }},
    {{"--fail-erase", "3", "--fail-erase", "0"},
        [](const SimOptions &o) {
            return o.eraseFailures == std::vector<int>{3, 0};
        }},
    {{"--fail-program", "7:40", "--fail-program=1023:63"},
        [](const SimOptions &o) {
            return o.programFailures == std::vector<std::pair<int, int>>{{7, 40}, {1023, 63}};
        }},
    {{"--flip-bit", "1:10", "--weak-page=2:63", "--silent-fail", "1023:0"},
        [](const SimOptions &o) {
            return o.flippedPages == std::vector<std::pair<int, int>>{{1, 10}}
            && o.weakPages == std::vector<std::pair<int, int>>{{2, 63}}
            && o.silentFailures == std::vector<std::pair<int, int>>{{1023, 0}};
        }},
    {{"--drop-every", "5000", "--seed", "4294967295"},
        [](const SimOptions &o) { return o.dropEvery == 5000 && o.seed == 4294967295u; }},
    {{"--unit-serial", "268435455", "--unit-version", "16383"},
        [](const SimOptions &o) { return o.serial == 268435455u && o.version == 16383; }},
    {{"--reset-code", "7f00253c"},
        [](const SimOptions &o) {
            return o.resetCode == std::array<std::uint8_t, 4>{0x7F, 0x00, 0x25, 0x3C};
        }},
    {{"--midi", "jack"}, [](const SimOptions &o) { return o.midi == VirtualPort::Choice::Jack; }},
    {{"--midi=alsa"}, [](const SimOptions &o) { return o.midi == VirtualPort::Choice::Alsa; }},
    {{"--fault", "lose:3", "--fault=cut-off:1000000000", "--checksum-byte", "127"},
        [](const SimOptions &o) {
            return o.replyFaults
                == std::vector<std::pair<ReplyFaults::Fault, int>>{{ReplyFaults::Fault::Lose, 3},
                    {ReplyFaults::Fault::Unterminated, 1000000000}}
            && o.checksumByte == 127;
        }},
    {{"--fault", "trail:2", "--fault=flip-flag:9", "--damage-piece", "40"},
        [](const SimOptions &o) {
            return o.replyFaults
                == std::vector<std::pair<ReplyFaults::Fault, int>>{{ReplyFaults::Fault::Trail, 2},
                    {ReplyFaults::Fault::FlipFlag, 9}}
            && o.damagedPieces == std::vector<int>{40};
        }},
    {{"--damage-request", "erase:2:0", "--damage-request=bit7:5:63"},
        [](const SimOptions &o) {
            using D = SimulatedUnit::RequestDamage;
            return o.damagedRequests
                == std::vector<SimOptions::DamagedRequest>{{D::EraseBlock, 2, 0}, {D::PieceHighBit, 5, 63}};
        }},
    {{"--ok-status", "127", "--checksum-byte=noise", "--latency", "2"},
        [](const SimOptions &o) {
            return o.okStatus == 127 && o.checksumNoise && !o.checksumByte && o.latencyMs == 2;
        }},
    {{"-h"}, [](const SimOptions &o) { return o.help; }},
    {{"--version"}, [](const SimOptions &o) { return o.showVersion && !o.help; }},
};

std::string joined(const Arguments &arguments)
{
    std::string text;
    for (const std::string &argument : arguments)
        text += (text.empty() ? "" : " ") + argument;
    return text;
}

void PrintTo(const AcceptedCase &c, std::ostream *out)
{
    *out << joined(c.arguments);
}

class AcceptedOptionsTest : public testing::TestWithParam<AcceptedCase>
{
};

TEST_P(AcceptedOptionsTest, OptionsReachTheirFields)
{
    SimOptions options;
    std::string error;
    ASSERT_TRUE(SimOptions::parse(GetParam().arguments, options, error)) << error;
    EXPECT_TRUE(GetParam().holds(options));
}

INSTANTIATE_TEST_SUITE_P(CommandLines, AcceptedOptionsTest, testing::ValuesIn(acceptedCases));

struct RejectedCase
{
    Arguments arguments;
    std::string error;
};

const RejectedCase rejectedCases[] = {
    {{"--fail-program", "7"},
        "--fail-program takes BLOCK:PAGE, with a block number from 0 to 1023 and a page from 0 to 63, not "
        "\"7\""},
    {{"--fail-program", "7:64"},
        "--fail-program takes BLOCK:PAGE, with a block number from 0 to 1023 and a page from 0 to 63, not "
        "\"7:64\""},
    {{"--fail-erase", "1024"}, "--fail-erase takes a block number from 0 to 1023, not \"1024\""},
    {{"--fail-erase", "-1"}, "--fail-erase takes a block number from 0 to 1023, not \"-1\""},
    {{"--defects", "5,,6"},
        "--defects takes a comma-separated list of block numbers from 0 to 1023, not \"5,,6\""},
    {{"--drop-every", "0"}, "--drop-every takes a number from 1 to 1000000000, not \"0\""},
    {{"--seed", "4294967296"}, "--seed takes a number from 0 to 4294967295, not \"4294967296\""},
    {{"--unit-serial", "268435456"}, "--unit-serial takes a number from 0 to 268435455, not \"268435456\""},
    {{"--unit-version", "0x10"}, "--unit-version takes a number from 0 to 16383, not \"0x10\""},
    {{"--midi", "oss"}, "--midi takes alsa or jack, not \"oss\""},
    {{"--reset-code", "54415680"},
        "--reset-code takes eight hex digits, four bytes of 00 to 7F, not \"54415680\""},
    {{"--reset-code", "5441565"},
        "--reset-code takes eight hex digits, four bytes of 00 to 7F, not \"5441565\""},
    {{"--reset-code", "+4415652"},
        "--reset-code takes eight hex digits, four bytes of 00 to 7F, not \"+4415652\""},
    {{"--fault", "garble:3"},
        "--fault takes KIND:N, with KIND lose, delay, duplicate, corrupt, stray-idle, cut-off, trail, "
        "damage-status or flip-flag and N a reply number from 1 to 1000000000, not \"garble:3\""},
    {{"--damage-request", "page:1:7"},
        "--damage-request takes KIND:N:BIT, with KIND erase (BIT 0 to 13), page (BIT 0 to 6) or bit7 (BIT a "
        "byte 0 to 63) and N a request number from 1 to 1000000000, not \"page:1:7\""},
    {{"--checksum-byte", "128"}, "--checksum-byte takes a number from 0 to 127, or noise, not \"128\""},
    {{"--ok-status", "2"}, "--ok-status takes a number from 0 to 127 other than 2, not \"2\""},
    {{"--latency", "0"}, "--latency takes a number of milliseconds from 1 to 1000, not \"0\""},
    {{"--state="}, "--state takes a file name, not \"\""},
    {{"--dump"}, "--dump needs a value"},
    {{"--verbose"}, "unknown option --verbose"},
    {{"nand.bin"}, "unexpected argument nand.bin"},
};

void PrintTo(const RejectedCase &c, std::ostream *out)
{
    *out << joined(c.arguments);
}

class RejectedOptionsTest : public testing::TestWithParam<RejectedCase>
{
};

TEST_P(RejectedOptionsTest, BadArgumentsAreNamedWithWhatIsExpected)
{
    SimOptions options;
    std::string error;
    EXPECT_FALSE(SimOptions::parse(GetParam().arguments, options, error));
    EXPECT_EQ(error, GetParam().error);
}

INSTANTIATE_TEST_SUITE_P(CommandLines, RejectedOptionsTest, testing::ValuesIn(rejectedCases));

Bytes frameOf(std::uint8_t seed)
{
    Bytes frame(SimulatedUnit::FrameSize);
    for (std::size_t i = 0; i < frame.size(); ++i)
        frame[i] = std::uint8_t(seed + i * 7);
    return frame;
}

Bytes readAll(const QString &path)
{
    QFile file(path);
    file.open(QIODevice::ReadOnly);
    const QByteArray bytes = file.readAll();
    return Bytes(bytes.begin(), bytes.end());
}

void writeAll(const QString &path, const Bytes &bytes)
{
    QFile file(path);
    file.open(QIODevice::WriteOnly);
    file.write(reinterpret_cast<const char *>(bytes.data()), qint64(bytes.size()));
}

class StateFileTest : public testing::Test
{
protected:
    std::string path(const char *name) const { return dir.filePath(QString::fromLatin1(name)).toStdString(); }

    // Saves the unit's NAND as "state" and changes bytes of the file.
    void saveChanged(const SimulatedUnit &unit, const std::function<void(Bytes &)> &change)
    {
        std::string error;
        ASSERT_TRUE(StateFile::save(path("state"), unit, error)) << error;
        const QString file = QString::fromStdString(path("state"));
        Bytes bytes = readAll(file);
        change(bytes);
        writeAll(file, bytes);
    }

    QTemporaryDir dir;
};

TEST_F(StateFileTest, SavedNandComesBackPageForPage)
{
    SimulatedUnit unit;
    unit.storeList(0, 2, {5, 900});
    unit.storeFrame(30, 63, frameOf(1).data());
    unit.storeFrame(1023, 0, frameOf(2).data());
    std::string error;
    ASSERT_TRUE(StateFile::save(path("state"), unit, error)) << error;
    // Header and three records: only programmed pages are kept.
    EXPECT_EQ(readAll(QString::fromStdString(path("state"))).size(), 12u + 3 * 2099);

    SimulatedUnit loaded;
    int pages = 0;
    std::string warning;
    ASSERT_EQ(StateFile::load(path("state"), loaded, pages, error, warning), StateFile::Loaded::Pages)
        << error;
    EXPECT_EQ(warning, "");
    EXPECT_EQ(pages, 3);
    for (int b = 0; b < SimulatedUnit::Blocks; ++b) {
        for (int p = 0; p < SimulatedUnit::PagesPerBlock; ++p) {
            ASSERT_EQ(loaded.programmed(b, p), unit.programmed(b, p)) << b << ":" << p;
            ASSERT_TRUE(std::equal(
                unit.frame(b, p), unit.frame(b, p) + SimulatedUnit::FrameSize, loaded.frame(b, p)));
        }
    }
}

TEST_F(StateFileTest, MissingStateStartsAnErasedNand)
{
    SimulatedUnit unit;
    int pages = -1;
    std::string error;
    std::string warning;
    EXPECT_EQ(StateFile::load(path("absent"), unit, pages, error, warning), StateFile::Loaded::Missing);
    EXPECT_EQ(pages, 0);
    EXPECT_FALSE(unit.programmed(0, 0));
}

struct DamageCase
{
    const char *what;
    std::function<void(Bytes &)> damage;
    std::string error;
};

const DamageCase damageCases[] = {
    {"wrong magic", [](Bytes &b) { b[0] = 'X'; }, "is not a state file of tavrin-sim"},
    {"cut short", [](Bytes &b) { b.pop_back(); }, "is damaged: its length does not match its 2 pages"},
    {"trailing byte", [](Bytes &b) { b.push_back(0); }, "is damaged: its length does not match its 2 pages"},
    {"block out of range", [](Bytes &b) { b[12 + 2099 + 1] = 0x04; },
        "is damaged: page record 1 names block 1028 page 1"},
    {"too many pages", [](Bytes &b) { b[11] = 0x01; }, "is damaged: it claims 16777218 pages"},
};

void PrintTo(const DamageCase &c, std::ostream *out)
{
    *out << c.what;
}

class DamagedStateTest : public StateFileTest, public testing::WithParamInterface<DamageCase>
{
};

TEST_P(DamagedStateTest, DamagedStateIsRefusedWithoutTouchingTheNand)
{
    SimulatedUnit unit;
    unit.storeFrame(4, 1, frameOf(3).data());
    unit.storeFrame(1, 3, frameOf(4).data());
    saveChanged(unit, GetParam().damage);

    SimulatedUnit loaded;
    int pages = 0;
    std::string error;
    std::string warning;
    EXPECT_EQ(StateFile::load(path("state"), loaded, pages, error, warning), StateFile::Loaded::Damaged);
    EXPECT_EQ(error, path("state") + " " + GetParam().error);
    EXPECT_FALSE(loaded.programmed(1, 3));
    EXPECT_FALSE(loaded.programmed(4, 1));
}

INSTANTIATE_TEST_SUITE_P(Damage, DamagedStateTest, testing::ValuesIn(damageCases));

TEST_F(StateFileTest, RepeatedPageRecordsAreNamedAndTheLastOneCounts)
{
    SimulatedUnit unit;
    unit.storeFrame(4, 1, frameOf(3).data());
    unit.storeFrame(6, 2, frameOf(4).data());
    // Record 1 (block 6 page 2) is made to name block 4 page 1 again.
    saveChanged(unit, [](Bytes &bytes) {
        bytes[12 + 2099] = 4;
        bytes[12 + 2099 + 2] = 1;
    });

    SimulatedUnit loaded;
    int pages = 0;
    std::string error;
    std::string warning;
    ASSERT_EQ(StateFile::load(path("state"), loaded, pages, error, warning), StateFile::Loaded::Pages);
    EXPECT_EQ(warning,
        path("state")
            + " holds 1 page records that repeat an earlier one (the first: record 1 names block 4 page 1); "
              "each page takes its last record");
    EXPECT_EQ(pages, 1);
    EXPECT_FALSE(loaded.programmed(6, 2));
    const Bytes last = frameOf(4);
    EXPECT_TRUE(std::equal(last.begin(), last.end(), loaded.frame(4, 1)));
}

TEST_F(StateFileTest, DumpHoldsTheDataAreaOfEveryPage)
{
    SimulatedUnit unit;
    const Bytes frame = frameOf(9);
    unit.storeFrame(5, 3, frame.data());
    std::string error;
    ASSERT_TRUE(StateFile::writeDump(path("dump"), unit, error)) << error;

    Bytes expected(NandCheck::NandBytes, 0xFF);
    const std::size_t at = (5 * 64 + 3) * std::size_t(2048);
    for (int k = 0; k < 8; ++k)
        std::copy_n(frame.begin() + 16 + 260 * k, 256, expected.begin() + at + 256 * k);
    EXPECT_TRUE(readAll(QString::fromStdString(path("dump"))) == expected);
    EXPECT_FALSE(QFile::exists(QString::fromStdString(path("dump.part"))));
}

// A NAND data area built page by page for the checks below.
struct Area
{
    Bytes bytes = Bytes(NandCheck::NandBytes, 0xFF);

    std::uint8_t *page(int block, int page) { return bytes.data() + (block * 64 + page) * std::size_t(2048); }

    void list(int page, int factoryDefects, const std::vector<int> &bad)
    {
        std::uint8_t *sector = this->page(0, page);
        sector[0] = sector[1] = 0xA5;
        sector[2] = std::uint8_t(factoryDefects);
        sector[3] = std::uint8_t(factoryDefects >> 8);
        for (std::size_t i = 0; i < bad.size(); ++i) {
            sector[4 + 2 * i] = std::uint8_t(bad[i]);
            sector[5 + 2 * i] = std::uint8_t(bad[i] >> 8);
        }
    }

    // Image block n into the given physical blocks, in order.
    void place(const Bytes &image, const std::vector<int> &blocks)
    {
        for (std::size_t n = 0; n < blocks.size(); ++n) {
            for (int p = 0; p < 64; ++p) {
                const std::size_t start = (n * 64 + p) * 2048;
                for (std::size_t i = 0; i < 2048 && start + i < image.size(); ++i)
                    page(blocks[n], p)[i] = image[start + i];
            }
        }
    }
};

Bytes pattern(std::size_t size)
{
    Bytes image(size);
    for (std::size_t i = 0; i < size; ++i)
        image[i] = std::uint8_t(i * 31 + i / 2048);
    return image;
}

struct ListCase
{
    const char *what;
    std::function<void(Area &)> arrange;
    int page;
    int factoryDefects;
    std::vector<int> badBlocks;
};

const ListCase listCases[] = {
    {"no list", [](Area &) {}, -1, 0, {}},
    {"list in page 0 only",
        [](Area &a) {
            a.list(0, 3, {1, 2, 3});
        },
        0, 3, {1, 2, 3}},
    {"newest of three lists",
        [](Area &a) {
            a.list(0, 0, {});
            a.list(1, 0, {7});
            a.list(2, 1, {7, 9});
        },
        2, 1, {7, 9}},
    {"entry above 1023 ends the list",
        [](Area &a) {
            a.list(0, 0, {4, 1024, 6});
        },
        0, 0, {4}},
    {"126 entries fill the sector",
        [](Area &a) {
            std::vector<int> bad;
            for (int b = 0; b < 126; ++b)
                bad.push_back(b + 100);
            a.list(0, 0, bad);
        },
        0, 0,
        [] {
            std::vector<int> bad;
            for (int b = 0; b < 126; ++b)
                bad.push_back(b + 100);
            return bad;
        }()},
};

void PrintTo(const ListCase &c, std::ostream *out)
{
    *out << c.what;
}

class LastListTest : public testing::TestWithParam<ListCase>
{
};

TEST_P(LastListTest, LastListIsTheOneBeforeTheFirstErasedPage)
{
    Area area;
    GetParam().arrange(area);
    const NandCheck::List list = NandCheck::lastList(area.bytes.data());
    EXPECT_EQ(list.page, GetParam().page);
    EXPECT_EQ(list.factoryDefects, GetParam().factoryDefects);
    EXPECT_EQ(list.badBlocks, GetParam().badBlocks);
}

INSTANTIATE_TEST_SUITE_P(Lists, LastListTest, testing::ValuesIn(listCases));

// Three image blocks and 100 bytes of a fourth.
const Bytes PlacedImage = pattern(3 * 64 * 2048 + 100);

struct PlacementCase
{
    const char *what;
    std::function<void(Area &)> arrange;
    std::string problem;
    int lastBlock;
};

const PlacementCase placementCases[] = {
    {"image behind block 0",
        [](Area &a) {
            a.list(0, 0, {});
            a.place(PlacedImage, {1, 2, 3, 4});
        },
        "", 4},
    {"bad blocks skipped",
        [](Area &a) {
            a.list(0, 1, {0, 2});
            a.list(1, 1, {0, 2, 4});
            a.place(PlacedImage, {1, 3, 5, 6});
        },
        "", 6},
    {"byte wrong in the last page",
        [](Area &a) {
            a.list(0, 0, {});
            a.place(PlacedImage, {1, 2, 3, 4});
            a.page(4, 0)[99] ^= 1;
        },
        "block 4 page 0 differs from image page 192 at byte 99", 0},
    {"tail of the last page not erased",
        [](Area &a) {
            a.list(0, 0, {});
            a.place(PlacedImage, {1, 2, 3, 4});
            a.page(4, 0)[100] = 0;
        },
        "block 4 page 0 differs from image page 192 at byte 100", 0},
    {"image block in a listed bad block",
        [](Area &a) {
            a.list(0, 0, {2});
            a.place(PlacedImage, {1, 2, 3, 4});
        },
        "block 3 page 0 differs from image page 64 at byte 0", 0},
    {"no list",
        [](Area &a) {
            a.place(PlacedImage, {1, 2, 3, 4});
        },
        "block 0 holds no bad-block list", 0},
};

void PrintTo(const PlacementCase &c, std::ostream *out)
{
    *out << c.what;
}

class PlacementTest : public testing::TestWithParam<PlacementCase>
{
};

TEST_P(PlacementTest, ImageMustLieInTheGoodBlocksInOrder)
{
    Area area;
    GetParam().arrange(area);
    const NandCheck::Placement placement
        = NandCheck::checkImage(area.bytes.data(), area.bytes.size(), PlacedImage.data(), PlacedImage.size());
    EXPECT_EQ(placement.problem, GetParam().problem);
    EXPECT_EQ(placement.matches, GetParam().problem.empty());
    if (placement.matches) {
        EXPECT_EQ(placement.imagePages, 193);
        EXPECT_EQ(placement.firstBlock, 1);
        EXPECT_EQ(placement.lastBlock, GetParam().lastBlock);
    }
}

INSTANTIATE_TEST_SUITE_P(Placements, PlacementTest, testing::ValuesIn(placementCases));

TEST(PlacementSizeTest, DumpOfAnotherSizeIsNotChecked)
{
    const Bytes shortDump(2048, 0xFF);
    const NandCheck::Placement placement
        = NandCheck::checkImage(shortDump.data(), shortDump.size(), PlacedImage.data(), PlacedImage.size());
    EXPECT_FALSE(placement.matches);
    EXPECT_EQ(placement.problem, "the NAND dump has 2048 bytes, not 134217728");
}

TEST(PassReportTest, ReportCountsEachCommandKindAndSumsUpThePass)
{
    PassReport::Figures f;
    f.number = 2;
    f.before.requests = 100;
    f.before.requestsByCommand[0x0C] = 33;
    f.after = f.before;
    f.after.requests = 100 + 2000;
    f.after.requestsByCommand[0x0A] = 3;
    f.after.requestsByCommand[0x0C] = 33 + 1980;
    f.after.requestsByCommand[0x0F] = 1;
    f.after.pagesProgrammed = 60;
    f.after.failedPrograms = 1;
    f.after.erases = 3;
    f.after.repliesLost = 2;
    f.after.checksumErrors = 1;
    f.errors = 4;
    f.randomLosses = 1;
    f.seconds = 2.0;
    f.list.page = 1;
    f.list.badBlocks = {7, 9};
    const std::vector<std::string> expected{
        "pass 2: CMD_ERASE_BLOCK        3",
        "pass 2: CMD_PAGE_DATA       1980",
        "pass 2: CMD_FINISH             1",
        "pass 2 finished after 2.0 s: 60 pages programmed, 1 failed; 3 blocks erased, 0 failed; bad blocks "
        "in the "
        "list in block 0 page 1: 7, 9",
        "pass 2: 2000 requests (1000/s), 3 replies lost; errors: 1 in checksums, 0 in check bytes, 3 others",
    };
    EXPECT_EQ(PassReport::lines(f), expected);

    f.end = PassReport::End::Interrupted;
    f.list.page = -1;
    EXPECT_EQ(PassReport::lines(f)[3],
        "pass 2 not finished at exit after 2.0 s: 60 pages programmed, 1 failed; 3 blocks erased, 0 failed; "
        "block 0 "
        "holds no bad-block list");
}

} // namespace
