#include "E2EJackTest.h"
#include "E2ESupport.h"
#include "EngineTestSupport.h"
#include "JackServer.h"
#include "MainWindow.h"
#include "MidiPort.h"
#include "VirtualPort.h"
#include "WindowDriver.h"

#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QTimer>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <memory>
#include <mutex>
#include <ostream>
#include <random>

namespace {

constexpr int BareRoundTrips = 3000;
// The test server runs the dummy driver at 48 kHz with periods of 16 frames.
constexpr double JackPeriodsPerSecond = 48000.0 / 16;

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
    std::printf("bare JACK round trips: %.0f/s; the update: %.0f/s (%.0f%% of that), "
                "%.0f%% of one round trip per period (%.0f/s)\n",
        bare, update, 100 * update / bare, 100 * update / periods, periods);
    RecordProperty("update_seconds", int(pass.milliseconds / 1000));
    RecordProperty("update_round_trips_per_second", int(update));
    RecordProperty("bare_round_trips_per_second", int(bare));
}

// The fault runs update the small image: how long the image is does not change what they test.
TEST_F(E2ETest, LostRepliesAreRetriedUntilTheImageIsInPlace)
{
    image = smallImage();
    // Farther apart than the replies of one block, which a lost reply writes again.
    auto unit = startUnit({"--drop-every", "3000"});
    MainWindow window;
    window.engine.imagePath = writeImage(image);
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
    // Replies count from the identity; every discovery read goes out twice. 4 is the probe of page 0
    // (its data damaged, so 5 disagrees and 6 confirms 5), 7 to 10 the defect list (part 0 twice),
    // 11 the erase of block 0, 30 falls in the list written to block 0 (up to 46), 47 is the erase of block
    // 1. The rest fall in the data pages, wherever
    // the image's length ends them: a cut-off copy, a late reply and a burst of three lost replies. A page
    // takes 35 replies: its start, 33 piece acknowledgements and its program.
    image = smallImage();
    const int dataReplies = expect::imagePages(image) * 35;
    const auto inData = [&](const char *kind, int quarter, int then = 0) {
        return std::string(kind) + ":" + std::to_string(48 + dataReplies * quarter / 4 + then);
    };
    auto unit = startUnit({"--fault", "corrupt:4", "--fault", "duplicate:7", "--fault", "lose:11", "--fault",
        "stray-idle:30", "--fault", inData("cut-off", 1), "--fault", inData("delay", 2), "--fault",
        inData("lose", 3), "--fault", inData("lose", 3, 1), "--fault", inData("lose", 3, 2)});
    MainWindow window;
    window.engine.imagePath = writeImage(image);
    const WindowDriver::Pass pass = update(window, *unit);
    ASSERT_TRUE(pass.completed);
    // The disagreeing probe, the lost erase, the late reply and the burst cost one retry each at most;
    // the input drops the cut-off copy whole, and where the JACK cycle splits the faulty replies decides
    // whether one of them costs nothing.
    EXPECT_GE(pass.retries, 5);
    EXPECT_LE(pass.retries, 6);
    EXPECT_EQ(unit->stop(), 0) << unit->log();

    expect::Scenario scenario;
    scenario.image = image;
    EXPECT_EQ(dumpDifference(scenario, erasedBlock()), "");
}

TEST_F(E2ETest, FailedProgramMovesTheImageBlockAndTheNextRunReadsTheStoredList)
{
    updateAroundAFailedProgramThenOnTheSavedState();
}

TEST_F(E2ETest, SilentFaultsAreReadBackAndRepairedThroughTheWindow)
{
    verifiedUpdateAroundSilentFaults();
}

// Units may answer any success status but 02, fill byte 10 of their data replies as they like, and
// answer a little late, as behind USB: each one is updated fully, verified and unverified.
struct UnitVariantCase
{
    const char *name;
    std::vector<std::string> arguments;
    bool verify;
};

const UnitVariantCase unitVariantCases[] = {
    {"Answering01WithByteTenZero", {"--ok-status", "1", "--checksum-byte", "0"}, false},
    {"Answering01WithByteTenFortyVerified", {"--ok-status", "1", "--checksum-byte", "64"}, true},
    {"Answering7FWithNoisyByteTen", {"--ok-status", "127", "--checksum-byte", "noise"}, false},
    {"Answering7FWithNoisyByteTenVerified", {"--ok-status", "127", "--checksum-byte", "noise"}, true},
    {"OneMillisecondLate", {"--latency", "1"}, false},
    {"OneMillisecondLateVerified", {"--latency", "1"}, true},
};

class UnitVariantTest : public E2ETest, public testing::WithParamInterface<UnitVariantCase>
{
};

TEST_P(UnitVariantTest, UnitThatUsesTheProtocolsFreedomIsUpdatedFully)
{
    // One block and a few pages: what a unit may choose shows in every kind of step.
    image = expect::patternImage(expect::BlockBytes + 3 * expect::PageBytes + 77);
    auto unit = startUnit(GetParam().arguments);
    MainWindow window;
    window.engine.imagePath = writeImage(image);
    const WindowDriver::Pass pass = update(window, *unit, GetParam().verify);
    ASSERT_TRUE(pass.completed);
    EXPECT_EQ(pass.retries, 0);
    EXPECT_EQ(unit->stop(), 0) << unit->log();

    expect::Scenario scenario;
    scenario.image = image;
    EXPECT_EQ(dumpDifference(scenario, erasedBlock()), "");
}

INSTANTIATE_TEST_SUITE_P(Units, UnitVariantTest, testing::ValuesIn(unitVariantCases),
    [](const auto &info) { return std::string(info.param.name); });

struct ExitCase
{
    const char *what;
    std::vector<std::string> arguments;
    int status;
    std::string firstLine;
    const char *program = TAVRIN_SIM_PATH;
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
    // The updater words its usage errors as the simulated unit does, and opens no window for them.
    {"updater's help", {"--help"}, 0, "Usage: tavrin-update                  open the window",
        TAVRIN_UPDATE_PATH},
    {"updater's stray argument", {"foo"}, 2, "tavrin-update: unexpected argument foo", TAVRIN_UPDATE_PATH},
    {"updater's unknown short option", {"-x"}, 2, "tavrin-update: unknown option -x", TAVRIN_UPDATE_PATH},
    {"updater's option without its value", {"--batch", "--in"}, 2, "tavrin-update: --in needs a value",
        TAVRIN_UPDATE_PATH},
    {"updater's switch with a value", {"--batch=1"}, 2, "tavrin-update: --batch takes no value",
        TAVRIN_UPDATE_PATH},
    {"updater's batch option with --list", {"--list", "--verbose"}, 2,
        "tavrin-update: --in, --out, --no-verify and --verbose go with --batch", TAVRIN_UPDATE_PATH},
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
    SimProcess unit(arguments, path("sim.log"), GetParam().program);
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
    ASSERT_TRUE(port.open(inputRow(port, unitPorts()), outputRow(port, unitPorts())));
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

// Runs the event loop until `done` holds, for at most `milliseconds`; returns `done()`.
bool processEventsUntil(const std::function<bool()> &done, int milliseconds)
{
    QElapsedTimer clock;
    clock.start();
    while (!done() && clock.elapsed() < milliseconds)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    return done();
}

// The kills follow TAVRIN_KILL_SEED when it is set, so that a failure can be replayed.
unsigned killSeed()
{
    const char *given = std::getenv("TAVRIN_KILL_SEED");
    return given ? unsigned(std::strtoul(given, nullptr, 10)) : std::random_device()();
}

class JackServerKillTest : public SimulatedUnitTest
{
protected:
    JackServerKillTest()
        : SimulatedUnitTest("jack")
    {
    }
};

// The JACK server killed (now and then terminated instead) at a random moment of an update, twenty
// times over: each time the window stays alive, says that the server stopped, ends the connection and
// gives Connect back, and once a server runs again with the unit on it, Connect reaches the unit.
TEST_F(JackServerKillTest, WindowOutlivesTwentyServerDeathsMidUpdateAndConnectsOnTheNextServer)
{
    constexpr int Kills = 20;
    // A pass of the small image takes under two seconds: the kills fall anywhere in it, from the identity
    // to the finish, and now and then just after it.
    constexpr int KillWithinMilliseconds = 2500;
    const QString stopped = QStringLiteral("The JACK server has stopped");
    const unsigned seed = killSeed();
    std::printf("server kills with TAVRIN_KILL_SEED=%u\n", seed);
    std::mt19937 random(seed);

    auto server = std::make_unique<JackServer>();
    ASSERT_TRUE(server->running()) << "jackd did not start";
    auto unit = startUnit({});
    MainWindow window;
    window.engine.imagePath = writeImage(smallImage());
    window.init();
    WindowDriver driver(window);
    for (int kill = 0;; ++kill) {
        ASSERT_TRUE(processEventsUntil([&] { return driver.selectPorts(unitPorts()); }, PortsMilliseconds));
        ASSERT_TRUE(driver.connectUnit(ConnectMilliseconds)) << "after kill " << kill << "\n" << unit->log();
        if (kill == Kills)
            break;

        const int delay = std::uniform_int_distribution<int>(0, KillWithinMilliseconds)(random);
        const int signal = std::bernoulli_distribution(0.25)(random) ? SIGTERM : SIGKILL;
        std::printf("kill %d: signal %d after %d ms of the update\n", kill + 1, signal, delay);
        SCOPED_TRACE("kill " + std::to_string(kill + 1));
        // The log keeps its last lines only; this pass's lines are looked at.
        window.LogText->clear();
        QTimer::singleShot(delay, [&server, signal] { server->kill(signal); });
        ASSERT_TRUE(driver.runUpdate(QuietMilliseconds).ended);
        // A pass that ended before the kill still meets it here.
        ASSERT_TRUE(processEventsUntil(
            [&] {
                return window.LogText->toPlainText().contains(stopped)
                    && window.connectionState == Disconnected && !JackServerLock::held();
            },
            QuietMilliseconds))
            << window.LogText->toPlainText().toStdString();
        EXPECT_TRUE(window.ConnectButton->isEnabled());
        EXPECT_EQ(window.ConnectButton->text(), "Connect");

        // Killed: a unit whose server died has nothing to save.
        unit->stop(SIGKILL);
        // Gone first, so that the next server takes its name and with it the registry's entry.
        server.reset();
        server = std::make_unique<JackServer>();
        ASSERT_TRUE(server->running()) << "jackd did not start again";
        unit = startUnit({});
    }
}

} // namespace
