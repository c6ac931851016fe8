#include "E2ESupport.h"
#include "EngineTestSupport.h"
#include "JackServer.h"
#include "MainWindow.h"
#include "MidiPort.h"
#include "VirtualPort.h"
#include "WindowDriver.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QTemporaryDir>

#include <csignal>
#include <cstdio>
#include <memory>
#include <mutex>
#include <ostream>

namespace {

const QString UnitPorts = QStringLiteral("Tavrin (simulated)");
constexpr int PortsMilliseconds = 15000;
constexpr int ConnectMilliseconds = 10000;
// The pass is given up when no reply came for this long; the window itself stops after 10 s of silence.
constexpr int QuietMilliseconds = 60000;
constexpr int BareRoundTrips = 3000;
// The test server runs the dummy driver at 48 kHz with periods of 16 frames.
constexpr double JackPeriodsPerSecond = 48000.0 / 16;

Bytes embeddedImage()
{
    QFile file(QStringLiteral(":/data/resourcesNAND.bin"));
    if (!file.open(QIODevice::ReadOnly))
        return {};
    const QByteArray bytes = file.readAll();
    return Bytes(bytes.begin(), bytes.end());
}

Bytes readFile(const std::string &path)
{
    QFile file(QString::fromStdString(path));
    if (!file.open(QIODevice::ReadOnly))
        return {};
    const QByteArray bytes = file.readAll();
    return Bytes(bytes.begin(), bytes.end());
}

// The expected NAND's data area in the layout of tavrin-sim's dump: 2048 bytes per page, block by block,
// 0xFF in pages that are not written.
Bytes dataArea(const expect::Nand &nand)
{
    Bytes area(std::size_t(expect::Blocks) * expect::BlockBytes, 0xFF);
    for (const auto &page : nand.written) {
        for (int k = 0; k < 8; ++k) {
            const auto sector = page.second.begin() + expect::HeadBytes + k * expect::Stride;
            std::copy_n(sector, expect::SectorBytes,
                area.begin() + std::size_t(page.first) * expect::PageBytes + k * expect::SectorBytes);
        }
    }
    return area;
}

// Where two data areas first differ, or an empty text when they are equal.
std::string firstDifference(const Bytes &dump, const Bytes &expected)
{
    if (dump.size() != expected.size())
        return "the dump has " + std::to_string(dump.size()) + " bytes, expected "
            + std::to_string(expected.size());
    const auto at = std::mismatch(dump.begin(), dump.end(), expected.begin()).first - dump.begin();
    if (std::size_t(at) == dump.size())
        return {};
    return "block " + std::to_string(at / expect::BlockBytes) + " page "
        + std::to_string(at % expect::BlockBytes / expect::PageBytes) + " differs at byte "
        + std::to_string(at % expect::PageBytes);
}

std::vector<Bytes> erasedBlock()
{
    return std::vector<Bytes>(expect::Pages, Bytes(expect::FrameBytes, 0xFF));
}

class E2ETest : public testing::Test
{
protected:
    static void SetUpTestSuite() { server = new JackServer; }
    static void TearDownTestSuite()
    {
        delete server;
        server = nullptr;
    }

    void SetUp() override
    {
        ASSERT_TRUE(server->running()) << "jackd did not start";
        ASSERT_TRUE(dir.isValid());
        image = embeddedImage();
        ASSERT_FALSE(image.empty());
    }

    std::string path(const char *name) const { return dir.filePath(QString::fromLatin1(name)).toStdString(); }

    // Starts tavrin-sim on the test's JACK server and waits until its ports are listed.
    std::unique_ptr<SimProcess> startUnit(std::vector<std::string> arguments)
    {
        arguments.insert(arguments.end(), {"--midi", "jack", "--dump", path("nand.bin")});
        auto unit = std::make_unique<SimProcess>(arguments, path("sim.log"));
        if (!WindowDriver::waitForDevice(UnitPorts, PortsMilliseconds))
            ADD_FAILURE() << "the simulated unit's ports did not appear:\n" << unit->log();
        return unit;
    }

    // A window that lists the unit's ports, driven through its buttons through one complete update.
    WindowDriver::Pass update(MainWindow &window, SimProcess &unit)
    {
        window.init();
        WindowDriver driver(window);
        EXPECT_TRUE(driver.selectPorts(UnitPorts));
        EXPECT_TRUE(driver.connectUnit(ConnectMilliseconds)) << unit.log();
        if (driver.connectAttempts > 1)
            std::printf("connected at attempt %d\n", driver.connectAttempts);
        const WindowDriver::Pass pass = driver.runUpdate(QuietMilliseconds);
        std::printf("update over JACK: %d replies in %.1f s, %.0f round trips/s, %d retries\n", pass.replies,
            pass.milliseconds / 1000.0, pass.replies * 1000.0 / std::max<qint64>(1, pass.milliseconds),
            pass.retries);
        return pass;
    }

    // The dump against the NAND the updater must leave, given block 0 before the pass.
    std::string dumpDifference(const expect::Scenario &scenario, const std::vector<Bytes> &block0)
    {
        return firstDifference(readFile(path("nand.bin")), dataArea(expect::expectedNand(scenario, block0)));
    }

    static JackServer *server;
    QTemporaryDir dir;
    Bytes image;
};

JackServer *E2ETest::server = nullptr;

TEST_F(E2ETest, CompleteUpdateOverJackLeavesTheImageInPlace)
{
    double bare = 0;
    {
        BareRoundTrip trip;
        bare = trip.perSecond(BareRoundTrips);
    }
    ASSERT_GT(bare, 0) << "the bare round trip lost an answer";

    auto unit = startUnit({});
    MainWindow window;
    const WindowDriver::Pass pass = update(window, *unit);
    ASSERT_TRUE(pass.completed);
    const int status = unit->stop();
    EXPECT_EQ(status, 0) << unit->log();

    expect::Scenario scenario;
    scenario.image = image;
    EXPECT_EQ(dumpDifference(scenario, erasedBlock()), "");

    // One round trip per JACK period is the ceiling: a request and its reply can share a period at best.
    const double update = pass.replies * 1000.0 / std::max<qint64>(1, pass.milliseconds);
    const double periods = JackPeriodsPerSecond;
    std::printf("bare RtMidi round trips: %.0f/s; the update: %.0f/s (%.0f%% of that), "
                "%.0f%% of one round trip per period (%.0f/s)\n",
        bare, update, 100 * update / bare, 100 * update / periods, periods);
    RecordProperty("update_seconds", int(pass.milliseconds / 1000));
    RecordProperty("update_round_trips_per_second", int(update));
    RecordProperty("bare_round_trips_per_second", int(bare));
}

TEST_F(E2ETest, LostRepliesAreRetriedUntilTheImageIsInPlace)
{
    auto unit = startUnit({"--drop-every", "5000"});
    MainWindow window;
    const WindowDriver::Pass pass = update(window, *unit);
    ASSERT_TRUE(pass.completed);
    EXPECT_GT(pass.retries, 0);
    EXPECT_EQ(unit->stop(), 0) << unit->log();

    expect::Scenario scenario;
    scenario.image = image;
    EXPECT_EQ(dumpDifference(scenario, erasedBlock()), "");
}

TEST_F(E2ETest, FaultsInEveryPartOfThePassStillLeaveTheImageInPlace)
{
    // Replies count from the identity: 4 is the probe of page 0 (its data damaged, so it is read
    // again as 5), 6 and 7 the defect list (part 0 twice), 8 the erase of block 0; later ones fall in
    // the data pages, the last in a burst of three lost replies.
    auto unit = startUnit({"--fault", "corrupt:4", "--fault", "duplicate:6", "--fault", "lose:8", "--fault",
        "stray-idle:30", "--fault", "cut-off:500", "--fault", "delay:3000", "--fault", "lose:20000",
        "--fault", "lose:20001", "--fault", "lose:20002"});
    MainWindow window;
    const WindowDriver::Pass pass = update(window, *unit);
    ASSERT_TRUE(pass.completed);
    EXPECT_EQ(pass.retries, 5);
    EXPECT_EQ(unit->stop(), 0) << unit->log();

    expect::Scenario scenario;
    scenario.image = image;
    EXPECT_EQ(dumpDifference(scenario, erasedBlock()), "");
}

TEST_F(E2ETest, FailedProgramMovesTheImageBlockAndTheNextRunReadsTheStoredList)
{
    // The image's middle page fails, wherever the image's length puts it.
    const int middle = expect::imagePages(image) / 2;
    const int failedBlock = 1 + middle / expect::Pages;
    const int failedPage = middle % expect::Pages;
    expect::Scenario scenario;
    scenario.image = image;
    scenario.programFailures = {{failedBlock, failedPage}};
    const Bytes expectedArea = dataArea(expect::expectedNand(scenario, erasedBlock()));
    {
        auto unit = startUnit({"--state", path("state.bin"), "--fail-program",
            std::to_string(failedBlock) + ":" + std::to_string(failedPage)});
        MainWindow window;
        ASSERT_TRUE(update(window, *unit).completed);
        EXPECT_EQ(unit->stop(SIGINT), 0) << unit->log();
        EXPECT_EQ(firstDifference(readFile(path("nand.bin")), expectedArea), "");
    }

    // A new unit process on the saved NAND, whose programs no longer fail: the updater reads the list in
    // page 1 that names the failed block, writes the image around it again and adds no list.
    auto unit = startUnit({"--state", path("state.bin")});
    MainWindow window;
    ASSERT_TRUE(update(window, *unit).completed);
    EXPECT_EQ(unit->stop(), 0) << unit->log();
    EXPECT_EQ(window.bblPage, 1);
    EXPECT_EQ(window.badBlocks[failedBlock], 1);
    EXPECT_FALSE(window.newBadBlocks);
    EXPECT_EQ(firstDifference(readFile(path("nand.bin")), expectedArea), "");
}

struct ExitCase
{
    const char *what;
    std::vector<std::string> arguments;
    int status;
    std::string firstLine;
};

const ExitCase exitCases[] = {
    {"help", {"--help"}, 0, "Usage: tavrin-sim [OPTION]..."},
    {"bad value", {"--drop-every", "0"}, 2,
        "tavrin-sim: --drop-every takes a number from 1 to 1000000000, not \"0\""},
    {"unknown option", {"--verbose"}, 2, "tavrin-sim: unknown option --verbose"},
    {"damaged state", {"--state", "{dir}/damaged.state"}, 1,
        "tavrin-sim: error: {dir}/damaged.state is not a state file of tavrin-sim"},
    {"state where none can be written", {"--state", "/nonexistent/nand.state"}, 1,
        "tavrin-sim: error: cannot write /nonexistent/nand.state: No such file or directory"},
    {"dump into a directory", {"--dump", "/tmp"}, 1, "tavrin-sim: error: cannot write /tmp: Is a directory"},
};

void PrintTo(const ExitCase &c, std::ostream *out)
{
    *out << c.what;
}

class SimExitTest : public E2ETest, public testing::WithParamInterface<ExitCase>
{
};

// "{dir}" in a case stands for the test's directory, which holds a file that is not a state file.
std::string inDirectory(std::string text, const QTemporaryDir &dir)
{
    const std::size_t at = text.find("{dir}");
    return at == std::string::npos ? text : text.replace(at, 5, dir.path().toStdString());
}

TEST_P(SimExitTest, UnitThatCannotRunSaysWhyAndExitsWithItsStatus)
{
    QFile damaged(dir.filePath(QStringLiteral("damaged.state")));
    ASSERT_TRUE(damaged.open(QIODevice::WriteOnly));
    damaged.write("not a state file");
    damaged.close();
    std::vector<std::string> arguments;
    for (const std::string &argument : GetParam().arguments)
        arguments.push_back(inDirectory(argument, dir));
    SimProcess unit(arguments, path("sim.log"));
    EXPECT_EQ(unit.finish(), GetParam().status);
    const std::string log = unit.log();
    EXPECT_EQ(log.substr(0, log.find('\n')), inDirectory(GetParam().firstLine, dir));
}

INSTANTIATE_TEST_SUITE_P(Exits, SimExitTest, testing::ValuesIn(exitCases));

struct FoundErrorCase
{
    const char *name;
    std::vector<std::string> arguments;
    Bytes request; // neither carried out nor answered
    std::string error;
};

const FoundErrorCase foundErrorCases[] = {
    {"WrongFrameHead", {}, {0xF0, 0x00, 0x11, 0x23, 0x0A, 0x00, 0x00, 0x00, 0x00, 0x00, 0xF7},
        "request 1: wrong frame head: byte 3 is 23, expected 22"},
    {"UnitWithAnotherResetCode", {"--reset-code", "01020304"}, expect::resetNand(1000),
        "request 1: CMD_RESET_NAND with reset code " + spacedHex(configuredResetCode())
            + ", expected 01 02 03 04; ignored"},
};

class FoundErrorTest : public E2ETest, public testing::WithParamInterface<FoundErrorCase>
{
};

TEST_P(FoundErrorTest, UnitThatFoundAnErrorSaysSoAndExitsWithStatusOne)
{
    auto unit = startUnit(GetParam().arguments);
    MidiPort port;
    BufferCollector window(port);
    ASSERT_TRUE(port.open(inputRow(port, UnitPorts), outputRow(port, UnitPorts)));
    const Bytes &wrong = GetParam().request;
    ASSERT_TRUE(port.sendLong(message(wrong), std::uint32_t(wrong.size())));
    const Bytes identify{0xF0, 0x00, 0x11, 0x22, 0x0A, 0x00, 0x00, 0x00, 0x00, 0x00, 0xF7};
    ASSERT_TRUE(port.sendLong(message(identify), std::uint32_t(identify.size())));
    ASSERT_TRUE(window.waitFor(1));
    port.close();

    EXPECT_EQ(unit->stop(), 1);
    const std::string log = unit->log();
    EXPECT_NE(log.find("tavrin-sim: error: " + GetParam().error + "\n"), std::string::npos) << log;
    EXPECT_NE(log.find("tavrin-sim: CMD_IDENTIFY outside a pass: answered\n"), std::string::npos) << log;
    EXPECT_NE(
        log.find("tavrin-sim: stopped after 0 finished passes; 1 errors found in what the updater sent\n"),
        std::string::npos)
        << log;
}

INSTANTIATE_TEST_SUITE_P(Errors, FoundErrorTest, testing::ValuesIn(foundErrorCases),
    [](const auto &info) { return std::string(info.param.name); });

TEST_F(E2ETest, VirtualPortsAreListedUnderTheirClientNameAndCarrySysEx)
{
    std::vector<Bytes> received;
    std::mutex mutex;
    VirtualPort unit;
    ASSERT_TRUE(unit.open(
        "Virtual Echo",
        [&](const std::uint8_t *bytes, std::size_t size) {
            std::lock_guard<std::mutex> lock(mutex);
            received.emplace_back(bytes, bytes + size);
            unit.send(bytes, size);
        },
        VirtualPort::Choice::Jack))
        << unit.errorText();
    EXPECT_EQ(unit.backend(), MidiBackend::Jack);

    MidiPort port;
    BufferCollector window(port);
    ASSERT_TRUE(port.open(inputRow(port, "Virtual Echo:out"), outputRow(port, "Virtual Echo:in")));
    const Bytes ping{0xF0, 0x7D, 0x01, 0x02, 0xF7};
    ASSERT_TRUE(port.sendLong(message(ping), std::uint32_t(ping.size())));
    ASSERT_TRUE(window.waitFor(1));
    EXPECT_EQ(window.received, std::vector<Bytes>{ping});
    port.close();
    unit.close();
    EXPECT_EQ(received, std::vector<Bytes>{ping});
}

TEST_F(E2ETest, VirtualPortsWithoutAServerAreRefused)
{
    const std::string name = server->name();
    setenv("JACK_DEFAULT_SERVER", "tavrin-test-no-such-server", 1);
    VirtualPort unit;
    const bool opened = unit.open(
        "Nowhere", [](const std::uint8_t *, std::size_t) {}, VirtualPort::Choice::Jack);
    setenv("JACK_DEFAULT_SERVER", name.c_str(), 1);
    EXPECT_FALSE(opened);
    EXPECT_EQ(unit.errorText(), "no JACK server is running");
    EXPECT_FALSE(unit.isOpen());
}

} // namespace
