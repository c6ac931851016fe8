#include "JackServer.h"
#include "MainWindow.h"
#include "VirtualPort.h"

#include <gtest/gtest.h>

#include <QListWidget>
#include <QTest>
#include <QTimer>

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

    // The unit is plugged in: its ports appear on the server after the window has listed the ports.
    void plugUnit()
    {
        ASSERT_FALSE(listsTheUnit(window->MidiInList));
        ASSERT_TRUE(unit.open(
            UnitClient, [](const std::uint8_t *, std::size_t) {}, VirtualPort::Choice::Jack))
            << unit.errorText();
        QTRY_COMPARE_WITH_TIMEOUT(current(window->MidiInList), QString("Tavrin (simulated):out"), 10000);
        EXPECT_EQ(current(window->MidiOutList), QString("Tavrin (simulated):in"));
    }

    std::unique_ptr<JackServer> server;
    VirtualPort unit;
    std::unique_ptr<MainWindow> window;
};

TEST_F(WindowOverJack, UnitPluggedInAfterStartIsListedAndChosenAndLeavesWhenUnplugged)
{
    plugUnit();
    unit.close();
    QTRY_VERIFY_WITH_TIMEOUT(!listsTheUnit(window->MidiInList), 10000);
    QTRY_VERIFY_WITH_TIMEOUT(!listsTheUnit(window->MidiOutList), 10000);
    EXPECT_EQ(window->LogText->toPlainText(), "");
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
        plugUnit();
        if (c.connect) {
            window->ConnectButton->click();
            ASSERT_EQ(window->connectionState, Connecting);
            window->phase = DataPageSend;
        }
        unit.close();
        if (c.connect) {
            QTRY_COMPARE_WITH_TIMEOUT(window->LogText->toPlainText(), vanished, 10000);
        }
        server.reset();
        QTRY_COMPARE_WITH_TIMEOUT(window->LogText->toPlainText(), c.log, 10000);
        EXPECT_EQ(window->connectionState, Disconnected);
        EXPECT_EQ(window->ConnectButton->text(), "Connect");
        EXPECT_EQ(window->phase, Idle);
        EXPECT_EQ(window->MidiInList->count(), 0);
        TearDown();
    }
}

} // namespace
