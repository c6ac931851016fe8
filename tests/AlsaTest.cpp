#include "E2ESupport.h"
#include "MainWindow.h"
#include "MidiTestSupport.h"
#include "VirtualPort.h"
#include "WindowDriver.h"

#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QThread>
#include <QTimer>

#include <csignal>
#include <cstdio>
#include <fstream>
#include <memory>
#include <random>

namespace {

const QString OwnPorts = QString::fromLatin1(DeviceDirectory::clientName());

// The clients that the kernel's sequencer has now, by name.
std::vector<std::string> sequencerClients()
{
    std::ifstream file("/proc/asound/seq/clients");
    std::vector<std::string> names;
    for (std::string line; std::getline(file, line);) {
        const auto open = line.find(" : \"");
        if (line.rfind("Client ", 0) == 0 && open != std::string::npos)
            names.push_back(line.substr(open + 4, line.rfind('"') - open - 4));
    }
    return names;
}

// Another ALSA client that sends every System Exclusive message straight back.
class Echo
{
public:
    Echo()
    {
        opened = port.open(
            "Echo", [this](const std::uint8_t *bytes, std::size_t size) { port.send(bytes, size); },
            VirtualPort::Choice::Alsa);
    }

    // Opens `updater` on the echo's ports.
    static bool reach(MidiPort &updater)
    {
        return updater.open(
            inputRow(updater, QStringLiteral("Echo:out")), outputRow(updater, QStringLiteral("Echo:in")));
    }

    VirtualPort port;
    bool opened = false;
};

Bytes sysEx(std::size_t size, std::mt19937 &random)
{
    Bytes bytes(size);
    for (auto &b : bytes)
        b = std::uint8_t(random() & 0x7F);
    bytes.front() = 0xF0;
    bytes.back() = 0xF7;
    return bytes;
}

// The ALSA sequencer exists only where the kernel has one: on a desktop, or in the virtual machine of
// scripts/alsa-vm.sh. Elsewhere these tests are skipped.
class AlsaTest : public SimulatedUnitTest
{
protected:
    AlsaTest()
        : SimulatedUnitTest("alsa")
    {
    }

    void SetUp() override
    {
        if (!DeviceDirectory::available(MidiBackend::Alsa))
            GTEST_SKIP() << "no ALSA sequencer here; scripts/alsa-vm.sh provides one";
        ASSERT_TRUE(dir.isValid());
    }
};

TEST_F(AlsaTest, UnitPortsAreListedByNameAndOwnPortsNever)
{
    auto unit = startUnit({});
    MidiPort port;
    const int input = inputRow(port, unitPorts());
    const int output = outputRow(port, unitPorts());
    ASSERT_GE(input, 0);
    ASSERT_GE(output, 0);
    EXPECT_GE(inputRow(port, QStringLiteral("Midi Through")), 0);
    // A name past 31 characters is listed whole, its sequencer address after it.
    VirtualPort longName;
    ASSERT_TRUE(longName.open(
        "USB MIDI Interface of a long name", [](const std::uint8_t *, std::size_t) {},
        VirtualPort::Choice::Alsa));
    EXPECT_GE(inputRow(port, QStringLiteral("USB MIDI Interface of a long name:out ")), 0);
    ASSERT_TRUE(port.open(input, output));
    EXPECT_EQ(inputRow(port, OwnPorts), -1);
    EXPECT_EQ(outputRow(port, OwnPorts), -1);
}

TEST_F(AlsaTest, ThousandRoundTripsAndLongMessagesArriveByteExactAndInOrder)
{
    Echo echo;
    ASSERT_TRUE(echo.opened) << echo.port.errorText();
    MidiPort port;
    BufferCollector window(port);
    ASSERT_TRUE(Echo::reach(port));

    std::mt19937 random(7);
    std::vector<Bytes> sent;
    QElapsedTimer clock;
    clock.start();
    for (std::size_t i = 1; i <= 1000; ++i) {
        sent.push_back(sysEx(std::uniform_int_distribution<std::size_t>(3, 92)(random), random));
        ASSERT_TRUE(port.sendLong(message(sent.back()), std::uint32_t(sent.back().size())));
        ASSERT_TRUE(window.waitFor(i)) << "message " << i << " lost";
    }
    const double seconds = clock.nsecsElapsed() / 1e9;
    EXPECT_EQ(window.received, sent);
    RecordProperty("round_trips_per_second", int(1000 / seconds));
    std::printf("ALSA SysEx round trips: %.0f/s\n", 1000 / seconds);

    // A message longer than a receive buffer comes back in pieces of 1024 bytes, in order.
    for (const std::size_t size : {1025, 4000}) {
        const Bytes long_ = sysEx(size, random);
        window.received.clear();
        ASSERT_TRUE(port.sendLong(message(long_), std::uint32_t(size)));
        const std::size_t pieces = (size + 1023) / 1024;
        ASSERT_TRUE(window.waitFor(pieces)) << size << " bytes";
        Bytes joined;
        for (const Bytes &piece : window.received) {
            EXPECT_LE(piece.size(), 1024u);
            joined.insert(joined.end(), piece.begin(), piece.end());
        }
        EXPECT_EQ(window.received.size(), pieces);
        EXPECT_EQ(joined, long_) << size << " bytes";
    }
}

TEST_F(AlsaTest, OpenCloseCyclesWithMessagesInFlightLeaveNoClientBehind)
{
    Echo echo;
    ASSERT_TRUE(echo.opened) << echo.port.errorText();
    std::mt19937 random(11);
    for (int cycle = 0; cycle < 30; ++cycle) {
        MidiPort port;
        BufferCollector window(port);
        ASSERT_TRUE(Echo::reach(port));
        for (const std::size_t size : {4, 2000, 4})
            port.sendLong(message(sysEx(size, random)), std::uint32_t(size));
        if (cycle % 2)
            port.close();
        QCoreApplication::removePostedEvents(&window);
    }
    const std::vector<std::string> clients = sequencerClients();
    EXPECT_EQ(std::count(clients.begin(), clients.end(), DeviceDirectory::clientName()), 0);
    EXPECT_NE(std::count(clients.begin(), clients.end(), "Echo"), 0);
}

TEST_F(AlsaTest, CompleteUpdateLeavesTheImageInPlaceAndTheNextRunReadsTheStoredList)
{
    updateAroundAFailedProgramThenOnTheSavedState();
}

TEST_F(AlsaTest, BatchUpdateWithoutADisplayEndsInAnOkResultAndLeavesTheImageInPlace)
{
    auto unit = startUnit({});
    auto update = startBatch(unitPorts().toStdString(), "update.log", true);
    EXPECT_EQ(update->finish(), 0) << update->log();
    EXPECT_EQ(unit->stop(), 0) << unit->log();
    EXPECT_EQ(events(update->log()).back()[QStringLiteral("ok")], true) << update->log();
    EXPECT_EQ(events(update->log()).back()[QStringLiteral("verified")], true) << update->log();
    expect::Scenario scenario;
    scenario.image = embeddedImage();
    EXPECT_EQ(
        firstDifference(readFile(path("nand.bin")), dataArea(expect::expectedNand(scenario, erasedBlock()))),
        "");
}

TEST_F(AlsaTest, SilentFaultsAreReadBackAndRepairedThroughTheWindow)
{
    verifiedUpdateAroundSilentFaults();
}

TEST_F(AlsaTest, UnitThatVanishesMidUpdateStopsThePassAndIsReachedAgainWhenItReturns)
{
    auto unit = startUnit({});
    MainWindow window;
    window.init();
    WindowDriver driver(window);
    ASSERT_TRUE(driver.selectPorts(unitPorts()));
    ASSERT_TRUE(driver.connectUnit(ConnectMilliseconds)) << unit->log();

    // The unit is killed, with its sequencer client, once the pass writes its second block.
    QTimer watch;
    QObject::connect(&watch, &QTimer::timeout, [&] {
        if (window.engine.dataBlockIndex >= 1) {
            unit->stop(SIGKILL);
            watch.stop();
        }
    });
    watch.start(5);
    const WindowDriver::Pass pass = driver.runUpdate(QuietMilliseconds);
    EXPECT_TRUE(pass.ended);
    EXPECT_FALSE(pass.completed);
    const QStringList log = window.LogText->toPlainText().split(QLatin1Char('\n'));
    EXPECT_TRUE(log.last().startsWith(QStringLiteral("Update stopped: no reply from the unit for 10 s.")))
        << log.last().toStdString();

    // Back under other client numbers, since another client took the old ones meanwhile. Disconnect
    // lists the ports again and makes the unit's new row current; Connect opens it by its new address.
    Echo other;
    ASSERT_TRUE(other.opened) << other.port.errorText();
    unit = std::make_unique<SimProcess>(std::vector<std::string>{"--midi", "alsa"}, path("sim.log"));
    QElapsedTimer clock;
    clock.start();
    while (unit->log().find("open on ALSA sequencer") == std::string::npos
        && clock.elapsed() < PortsMilliseconds)
        QThread::msleep(50);
    ASSERT_TRUE(driver.connectUnit(ConnectMilliseconds)) << unit->log();
    EXPECT_EQ(window.connectionState, Connected);
}

} // namespace
