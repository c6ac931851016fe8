#include "JackServer.h"
#include "MidiTestSupport.h"

#include <gtest/gtest.h>
#include <rtmidi/RtMidi.h>

#include <random>

namespace {

// Another JACK client (two in fact: JACK names the second one "Echo-01") that sends every System Exclusive
// message straight back.
class EchoClient
{
public:
    EchoClient()
        : output(RtMidi::UNIX_JACK, "Echo")
        , input(RtMidi::UNIX_JACK, "Echo")
    {
        input.ignoreTypes(false, true, true);
        input.setCallback([](double, std::vector<unsigned char> *message,
                              void *out) { static_cast<RtMidiOut *>(out)->sendMessage(message); },
            &output);
        input.openVirtualPort("from-updater");
        output.openVirtualPort("to-updater");
    }

    ~EchoClient()
    {
        input.closePort();
        output.closePort();
    }

private:
    // The output exists before the input's JACK thread starts calling into it.
    RtMidiOut output;
    RtMidiIn input;
};

class JackMidiTest : public testing::Test
{
protected:
    static void SetUpTestSuite() { server = new JackServer; }
    static void TearDownTestSuite()
    {
        delete server;
        server = nullptr;
    }

    void SetUp() override { ASSERT_TRUE(server->running()) << "jackd did not start"; }

    static JackServer *server;
};

JackServer *JackMidiTest::server = nullptr;

Bytes randomSysEx(std::mt19937 &random)
{
    Bytes bytes(std::uniform_int_distribution<std::size_t>(3, 92)(random));
    for (auto &b : bytes)
        b = std::uint8_t(random() & 0x7F);
    bytes.front() = 0xF0;
    bytes.back() = 0xF7;
    return bytes;
}

TEST_F(JackMidiTest, OtherClientsPortsAreListedAndOwnPortsAreNot)
{
    EchoClient echo;
    MidiPort port;
    EXPECT_GE(inputRow(port, ":to-updater"), 0);
    EXPECT_GE(outputRow(port, ":from-updater"), 0);
    ASSERT_TRUE(port.open(inputRow(port, ":to-updater"), outputRow(port, ":from-updater")));
    EXPECT_EQ(inputRow(port, "Tavrin Update"), -1);
    EXPECT_EQ(outputRow(port, "Tavrin Update"), -1);
}

TEST_F(JackMidiTest, ThousandSysExRoundTripsArriveByteExact)
{
    EchoClient echo;
    MidiPort port;
    BufferCollector window(port);
    ASSERT_TRUE(port.open(inputRow(port, ":to-updater"), outputRow(port, ":from-updater")));

    std::mt19937 random(7);
    std::vector<Bytes> sent;
    QElapsedTimer clock;
    clock.start();
    for (std::size_t i = 1; i <= 1000; ++i) {
        sent.push_back(randomSysEx(random));
        ASSERT_TRUE(port.sendLong(message(sent.back()), std::uint32_t(sent.back().size())));
        ASSERT_TRUE(window.waitFor(i)) << "message " << i << " lost";
    }
    const double seconds = clock.nsecsElapsed() / 1e9;
    EXPECT_EQ(window.received, sent);
    RecordProperty("round_trips_per_second", int(1000 / seconds));
    std::printf("JACK SysEx round trips: %.0f/s\n", 1000 / seconds);
}

TEST_F(JackMidiTest, RepeatedOpenCloseAndDestructionIsClean)
{
    EchoClient echo;
    const Bytes ping{0xF0, 0x01, 0x02, 0xF7};
    for (int cycle = 0; cycle < 30; ++cycle) {
        MidiPort port;
        BufferCollector window(port);
        ASSERT_TRUE(port.open(inputRow(port, ":to-updater"), outputRow(port, ":from-updater")));
        port.sendLong(message(ping), std::uint32_t(ping.size()));
        port.sendLong(message(ping), std::uint32_t(ping.size()));
        if (cycle % 2)
            port.close();
        QCoreApplication::removePostedEvents(&window);
    }
}

} // namespace
