#include "JackServer.h"
#include "JackServerLock.h"
#include "MainWindow.h"
#include "VirtualPort.h"

#include <gtest/gtest.h>

#include <QListWidget>
#include <QTest>
#include <QTimer>

#include <csignal>
#include <memory>

namespace {

// The simulated unit's client name; its ports are "in" and "out".
const char *const UnitClient = "Tavrin (simulated)";

QString current(QListWidget *list)
{
    return list->currentItem() ? list->currentItem()->text() : QString();
}

bool listsTheUnit(QListWidget *list)
{
    return !list->findItems(QString::fromLatin1(UnitClient), Qt::MatchContains).isEmpty();
}

// The unit is plugged in after the window has listed the ports: it is listed and chosen in both lists.
// On the ALSA sequencer the port numbers follow the names.
void plugUnit(MainWindow &window, VirtualPort &unit, VirtualPort::Choice backend)
{
    ASSERT_FALSE(listsTheUnit(window.MidiInList));
    ASSERT_TRUE(unit.open(
        UnitClient, [](const std::uint8_t *, std::size_t) {}, backend))
        << unit.errorText();
    QTRY_VERIFY_WITH_TIMEOUT(current(window.MidiInList).startsWith("Tavrin (simulated):out"), 10000);
    EXPECT_TRUE(current(window.MidiOutList).startsWith("Tavrin (simulated):in"));
}

void unplugUnit(MainWindow &window, VirtualPort &unit)
{
    unit.close();
    QTRY_VERIFY_WITH_TIMEOUT(!listsTheUnit(window.MidiInList), 10000);
    QTRY_VERIFY_WITH_TIMEOUT(!listsTheUnit(window.MidiOutList), 10000);
    EXPECT_EQ(window.LogText->toPlainText(), "");
}

// A window on a private JACK server of its own, so that a test can stop the server.
class WindowOverJack : public testing::Test
{
protected:
    void SetUp() override
    {
        server = std::make_unique<JackServer>();
        ASSERT_TRUE(server->running()) << "jackd did not start";
        window = std::make_unique<MainWindow>();
        window->init();
        window->timer->stop();
    }

    void TearDown() override
    {
        window.reset();
        unit.close();
        server.reset();
    }

    std::unique_ptr<JackServer> server;
    VirtualPort unit;
    std::unique_ptr<MainWindow> window;
};

TEST_F(WindowOverJack, UnitPluggedInAfterStartIsListedAndChosenAndLeavesWhenUnplugged)
{
    plugUnit(*window, unit, VirtualPort::Choice::Jack);
    unplugUnit(*window, unit);
}

// The chosen unit leaves while another stays, perhaps its twin: the choice never jumps to that one.
TEST_F(WindowOverJack, ChosenUnitThatLeavesIsNeverReplacedByAnotherUnit)
{
    plugUnit(*window, unit, VirtualPort::Choice::Jack);
    VirtualPort twin;
    ASSERT_TRUE(twin.open(
        "Tavrin (twin)", [](const std::uint8_t *, std::size_t) {}, VirtualPort::Choice::Jack));
    QTRY_COMPARE_WITH_TIMEOUT(window->MidiInList->findItems("Tavrin", Qt::MatchContains).size(), 2, 10000);
    unit.close();
    QTRY_VERIFY_WITH_TIMEOUT(!listsTheUnit(window->MidiInList) && !listsTheUnit(window->MidiOutList), 10000);
    EXPECT_EQ(current(window->MidiInList), "");
    EXPECT_EQ(current(window->MidiOutList), "");
}

// The unit leaves before the server does: a JACK client of a stopped server must be closed before the
// next client opens (libjack frees it otherwise), and the window takes care of its own clients only.
TEST_F(WindowOverJack, StoppedServerIsNamedInTheLogAndEndsAConnectionThroughIt)
{
    const QString vanished
        = "The unit's MIDI ports have gone. Check its cable and power, press Disconnect, and "
          "Connect again once the unit is listed.";
    struct Case
    {
        bool connect;
        QString log;
    };
    const Case cases[] = {
        {false, "The JACK server has stopped; its MIDI ports are no longer listed."},
        {true,
            vanished
                + "\nThe JACK server has stopped and the connection to the unit with it; the unit is not at "
                  "fault. "
                  "Start the JACK server again, then press Connect; Update starts the whole update again."},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.connect);
        if (!server)
            SetUp();
        plugUnit(*window, unit, VirtualPort::Choice::Jack);
        if (c.connect) {
            window->ConnectButton->click();
            ASSERT_EQ(window->connectionState, Connecting);
            window->engine.phase = DataPageSend;
        }
        unit.close();
        if (c.connect) {
            QTRY_COMPARE_WITH_TIMEOUT(window->LogText->toPlainText(), vanished, 10000);
        }
        server.reset();
        QTRY_COMPARE_WITH_TIMEOUT(window->LogText->toPlainText(), c.log, 10000);
        EXPECT_EQ(window->connectionState, Disconnected);
        EXPECT_EQ(window->ConnectButton->text(), "Connect");
        EXPECT_EQ(window->engine.phase, Idle);
        EXPECT_EQ(window->MidiInList->count(), 0);
        TearDown();
    }
}

// A stopped (not dead) server answers nothing: Disconnect and closing the window still return, each
// JACK call given up after its limit, and JACK is usable again once the server goes on.
TEST_F(WindowOverJack, StoppedServerFreezesNeitherDisconnectNorTheWindowsEnd)
{
    for (const bool closeWindow : {false, true}) {
        plugUnit(*window, unit, VirtualPort::Choice::Jack);
        window->ConnectButton->click();
        ASSERT_EQ(window->connectionState, Connecting);
        server->signal(SIGSTOP);
        if (closeWindow)
            window.reset();
        else
            window->ConnectButton->click();
        server->signal(SIGCONT);
        if (closeWindow)
            break;
        EXPECT_EQ(window->connectionState, Disconnected);
        QTRY_VERIFY_WITH_TIMEOUT(JackServerLock::serverRunning(), 10000);
        unit.close();
        QTRY_VERIFY_WITH_TIMEOUT(!listsTheUnit(window->MidiInList), 10000);
    }
}

// The sequencer's announcements, where there is a sequencer (a machine with sound hardware or the
// snd-seq module loaded).
TEST(WindowOverAlsa, UnitPluggedInAfterStartIsListedAndChosenAndLeavesWhenUnplugged)
{
    if (!DeviceDirectory::available(MidiBackend::Alsa))
        GTEST_SKIP() << "no ALSA sequencer";
    MainWindow window;
    window.init();
    window.timer->stop();
    VirtualPort unit;
    plugUnit(window, unit, VirtualPort::Choice::Alsa);
    unplugUnit(window, unit);
}

} // namespace
