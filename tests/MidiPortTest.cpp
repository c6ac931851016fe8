#include "DeviceDirectory.h"
#include "MidiTestSupport.h"
#include "SpscRing.h"
#include "SysExAssembler.h"

#include <gtest/gtest.h>

#include <thread>

namespace {

const Bytes identify{0xF0, 0x00, 0x11, 0x22, 0x0A, 0x00, 0x00, 0x00, 0x00, 0x00, 0xF7};

Bytes sysex(std::size_t size, std::uint8_t fill)
{
    Bytes bytes(size, fill);
    bytes.front() = 0xF0;
    bytes.back() = 0xF7;
    return bytes;
}

class MidiPortTest : public testing::Test
{
protected:
    bool openDevice() { return port.open(inputRow(port, "Test unit"), outputRow(port, "Test unit")); }

    RecordingDevice device{"Test unit"};
    MidiPort port;
    BufferCollector window{port};
};

TEST_F(MidiPortTest, InProcessDeviceIsListedInBothDirections)
{
    EXPECT_GE(inputRow(port, "Test unit"), 0);
    EXPECT_GE(outputRow(port, "Test unit"), 0);
}

TEST(MidiPortListing, LongNamesAreListedWhole)
{
    RecordingDevice device{"A device name that is far longer than thirty-one characters"};
    MidiPort port;
    const int row = inputRow(port, "A device name");
    ASSERT_GE(row, 0);
    EXPECT_EQ(QString::fromUtf16(port.inputDeviceName(unsigned(row))),
        "A device name that is far longer than thirty-one characters");
}

TEST(MidiPortListing, DeviceGoneFromListAfterDestruction)
{
    MidiPort port;
    {
        RecordingDevice device{"Short-lived"};
        EXPECT_GE(inputRow(port, "Short-lived"), 0);
    }
    EXPECT_EQ(inputRow(port, "Short-lived"), -1);
}

TEST_F(MidiPortTest, OpenFailsForDeviceNumbersThatNameNoDevice)
{
    const int valid = inputRow(port, "Test unit");
    struct Case
    {
        int input, output;
    };
    for (Case c : {Case{-1, valid}, Case{valid, -1}, Case{-1, -1}, Case{valid, 100000}}) {
        SCOPED_TRACE(testing::Message() << c.input << " " << c.output);
        EXPECT_FALSE(port.open(c.input, c.output));
    }
}

TEST_F(MidiPortTest, SentMessageArrivesWhole)
{
    ASSERT_TRUE(openDevice());
    EXPECT_TRUE(port.sendLong(message(identify), std::uint32_t(identify.size())));
    ASSERT_TRUE(device.waitForMessages(1));
    EXPECT_EQ(device.messages(), std::vector<Bytes>{identify});
}

TEST_F(MidiPortTest, SendWithoutOpenOutputReturnsFalse)
{
    EXPECT_FALSE(port.sendLong(message(identify), std::uint32_t(identify.size())));
    ASSERT_TRUE(openDevice());
    port.close();
    EXPECT_FALSE(port.sendLong(message(identify), std::uint32_t(identify.size())));
    EXPECT_TRUE(device.messages().empty());
}

TEST_F(MidiPortTest, RefusedMessagesAreReportedAndNothingIsSent)
{
    ASSERT_TRUE(openDevice());
    device.refuseOutputPrepare = 1;
    EXPECT_FALSE(port.sendLong(message(identify), std::uint32_t(identify.size())));
    device.refuseLongMessage = 1;
    EXPECT_FALSE(port.sendLong(message(identify), std::uint32_t(identify.size())));
    EXPECT_TRUE(port.sendLong(message(identify), std::uint32_t(identify.size())));
    ASSERT_TRUE(device.waitForMessages(1));
    port.close();
    EXPECT_EQ(device.messages().size(), 1u);
}

TEST_F(MidiPortTest, ReceivedMessageIsDeliveredToTheReceiver)
{
    ASSERT_TRUE(openDevice());
    const Bytes reply{0xF0, 0x00, 0x11, 0x22, 0x0A, 0x15, 0x4D, 0x0B, 0x00, 0x20, 0x05, 0x02, 0xF7};
    ASSERT_TRUE(device.send(reply.data(), reply.size()));
    ASSERT_TRUE(window.waitFor(1));
    EXPECT_EQ(window.received, std::vector<Bytes>{reply});
}

TEST_F(MidiPortTest, FourBuffersAreQueuedAndEachTakenOneIsReplaced)
{
    ASSERT_TRUE(openDevice());
    // Without the window taking anything, four messages fit and the fifth is dropped.
    for (std::uint8_t i = 0; i < 5; ++i) {
        const Bytes m = sysex(12, i);
        device.send(m.data(), m.size());
    }
    ASSERT_TRUE(window.waitFor(4));
    QCoreApplication::processEvents();
    ASSERT_EQ(window.received.size(), 4u);
    for (std::uint8_t i = 0; i < 4; ++i)
        EXPECT_EQ(window.received[i], sysex(12, i));

    // Every buffer taken was replaced: four more fit again.
    for (std::uint8_t i = 5; i < 10; ++i) {
        const Bytes m = sysex(12, i);
        device.send(m.data(), m.size());
    }
    ASSERT_TRUE(window.waitFor(8));
    QCoreApplication::processEvents();
    EXPECT_EQ(window.received.size(), 8u);
    EXPECT_EQ(window.received.back(), sysex(12, 8));
}

TEST_F(MidiPortTest, LongMessageContinuesInTheNextBuffers)
{
    ASSERT_TRUE(openDevice());
    const Bytes longMessage = sysex(2500, 0x33);
    device.send(longMessage.data(), longMessage.size());
    ASSERT_TRUE(window.waitFor(3));
    ASSERT_EQ(window.received.size(), 3u);
    EXPECT_EQ(window.received[0], Bytes(longMessage.begin(), longMessage.begin() + 1024));
    EXPECT_EQ(window.received[1], Bytes(longMessage.begin() + 1024, longMessage.begin() + 2048));
    EXPECT_EQ(window.received[2], Bytes(longMessage.begin() + 2048, longMessage.end()));
}

TEST_F(MidiPortTest, OnlySystemExclusiveMessagesAreDelivered)
{
    ASSERT_TRUE(openDevice());
    const Bytes noteOn{0x90, 0x3C, 0x7F};
    const Bytes clock{0xF8};
    device.send(noteOn.data(), noteOn.size());
    device.send(clock.data(), clock.size());
    device.send(identify.data(), identify.size());
    ASSERT_TRUE(window.waitFor(1));
    QCoreApplication::processEvents();
    EXPECT_EQ(window.received, std::vector<Bytes>{identify});
}

TEST_F(MidiPortTest, QueuedBuffersAreReleasedWhenTheInputCloses)
{
    ASSERT_TRUE(openDevice());
    port.close();
    device.send(identify.data(), identify.size());
    QCoreApplication::processEvents();
    EXPECT_TRUE(window.received.empty());
}

TEST_F(MidiPortTest, EventsPostedBeforeCloseAreStillDelivered)
{
    ASSERT_TRUE(openDevice());
    device.send(identify.data(), identify.size());
    port.close();
    ASSERT_TRUE(window.waitFor(1));
    EXPECT_EQ(window.received, std::vector<Bytes>{identify});
}

TEST_F(MidiPortTest, ReopenSwitchesToTheNewPairAndKeepsReceiving)
{
    RecordingDevice other{"Other unit"};
    ASSERT_TRUE(openDevice());
    ASSERT_TRUE(port.open(inputRow(port, "Other unit"), outputRow(port, "Other unit")));
    EXPECT_FALSE(device.send(identify.data(), identify.size()));
    ASSERT_TRUE(other.send(identify.data(), identify.size()));
    ASSERT_TRUE(window.waitFor(1));
    port.sendLong(message(identify), std::uint32_t(identify.size()));
    ASSERT_TRUE(other.waitForMessages(1));
    EXPECT_TRUE(device.messages().empty());
}

TEST_F(MidiPortTest, CloseIsHarmlessWhenNothingIsOpen)
{
    port.close();
    port.close();
    ASSERT_TRUE(openDevice());
    port.close();
    port.close();
    EXPECT_EQ(port.inHandle.load(), nullptr);
    EXPECT_EQ(port.outHandle, nullptr);
}

TEST_F(MidiPortTest, InputStaysOpenWhenTheOutputFails)
{
    device.refuseOutputOpen = 1;
    EXPECT_FALSE(openDevice());
    EXPECT_NE(port.inHandle.load(), nullptr);
    EXPECT_EQ(port.outHandle, nullptr);
    device.send(identify.data(), identify.size());
    ASSERT_TRUE(window.waitFor(1));
    EXPECT_EQ(window.received, std::vector<Bytes>{identify});
}

TEST_F(MidiPortTest, BufferWhosePreparationFailsIsNotQueued)
{
    device.refuseInputPrepare = 1;
    ASSERT_TRUE(openDevice());
    for (std::uint8_t i = 0; i < 4; ++i) {
        const Bytes m = sysex(12, i);
        device.send(m.data(), m.size());
    }
    ASSERT_TRUE(window.waitFor(3));
    QCoreApplication::processEvents();
    EXPECT_EQ(window.received.size(), 3u);
}

TEST_F(MidiPortTest, MessagesPendingAtCloseAreHandedBack)
{
    ASSERT_TRUE(openDevice());
    device.hold();
    for (int i = 0; i < 3; ++i)
        ASSERT_TRUE(port.sendLong(message(identify), std::uint32_t(identify.size())));
    ASSERT_TRUE(device.waitForMessages(1));
    // The first message is on its way and the device holds it; close waits for it and hands the
    // other two back unsent. Sanitizers would report a message released twice or never.
    std::thread releaser([this] {
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
        device.release();
    });
    port.close();
    releaser.join();
    EXPECT_EQ(device.messages().size(), 1u);
}

TEST_F(MidiPortTest, UntakenEventReleasesItsBuffer)
{
    ASSERT_TRUE(openDevice());
    device.send(identify.data(), identify.size());
    port.close();
    // The receiver goes away with the event still queued; LeakSanitizer checks the buffer is freed.
    QCoreApplication::removePostedEvents(&window);
    EXPECT_TRUE(window.received.empty());
}

TEST_F(MidiPortTest, DeviceRepliesFromItsOwnThread)
{
    device.echo = true;
    ASSERT_TRUE(openDevice());
    for (std::size_t i = 1; i <= 20; ++i) {
        ASSERT_TRUE(port.sendLong(message(identify), std::uint32_t(identify.size())));
        ASSERT_TRUE(window.waitFor(i));
    }
    EXPECT_EQ(window.received, std::vector<Bytes>(20, identify));
}

TEST(MidiPortNames, OwnPortsAndBridgedCopiesAreKnownAndOnlyOneClientsPortsMakeAPair)
{
    using Aliases = std::vector<std::string>;
    const struct
    {
        MidiBackend backend;
        const char *name;
        Aliases aliases;
        bool own;
        bool copy;
    } names[] = {
        {MidiBackend::Alsa, "Tavrin Update 4711:in 129:0", {}, true, false},
        {MidiBackend::Jack, "a2j:Tavrin Update 4711 [129] (capture): in", {}, true, true},
        {MidiBackend::Jack, "system:midi_capture_3", {"alsa_pcm:Tavrin-Update-4711/midi_capture_1"}, true,
            true},
        {MidiBackend::Jack, "Midi-Bridge:Tavrin Update 4711:(capture_0) in", {"Tavrin Update 4711:in"}, true,
            true},
        {MidiBackend::Jack, "Tavrin (simulated):out", {}, false, false},
        {MidiBackend::Jack, "a2j:Tavrin [130] (capture): out", {}, false, true},
        // As PipeWire's MIDI bridge and jackd -X seq name their copies of the ALSA ports.
        {MidiBackend::Jack, "Midi-Bridge:Tavrin:(capture_1) out", {"Tavrin:out"}, false, true},
        {MidiBackend::Jack, "system:midi_capture_2", {"alsa_pcm:Tavrin-A/midi_capture_2"}, false, true},
        {MidiBackend::Jack, "system:midi_capture_9", {}, false, false},
    };
    for (const auto &row : names) {
        const MidiDeviceEntry entry{row.backend, row.name, 0, row.aliases};
        EXPECT_EQ(DeviceDirectory::isOwnPort(entry), row.own) << row.name;
        EXPECT_EQ(DeviceDirectory::isAlsaCopy(entry), row.copy) << row.name;
    }

    const struct
    {
        MidiBackend backend;
        const char *input;
        const char *output;
        bool sameClient;
    } pairs[] = {
        {MidiBackend::Alsa, "Tavrin:out 130:1", "Tavrin:in 130:0", true},
        {MidiBackend::Alsa, "Tavrin:out 130:1", "Tavrin:in 131:0", false},
        {MidiBackend::Jack, "Tavrin A:out", "Tavrin A:in", true},
        {MidiBackend::Jack, "Tavrin A:out", "Tavrin B:in", false},
        {MidiBackend::Jack, "a2j:Tavrin [130] (capture): out", "a2j:Tavrin [130] (playback): in", true},
        {MidiBackend::Jack, "a2j:Tavrin [130] (capture): out", "a2j:Tavrin [131] (playback): in", false},
    };
    for (const auto &row : pairs) {
        EXPECT_EQ(DeviceDirectory::clientOf({row.backend, row.input})
                == DeviceDirectory::clientOf({row.backend, row.output}),
            row.sameClient)
            << row.input << " / " << row.output;
    }
}

} // namespace

// The pieces a MIDI system may deliver, and the whole messages that must come out of them.
TEST(SysExAssembly, PiecesBecomeWholeMessagesAndBrokenOnesAreDroppedAndNoted)
{
    struct Case
    {
        const char *name;
        std::vector<Bytes> pieces;
        std::vector<Bytes> messages;
        unsigned faults;
    };
    const Bytes whole{0xF0, 0x01, 0x02, 0xF7};
    const Case cases[] = {
        {"whole", {whole}, {whole}, 0},
        {"split across events", {{0xF0, 0x01}, {0x02}, {0xF7}}, {whole}, 0},
        {"real-time bytes inside", {{0xF0, 0xF8, 0x01, 0xFE}, {0x02, 0xFF, 0xF7}}, {whole}, 0},
        {"start inside restarts", {{0xF0, 0x05, 0x06}, whole}, {whole}, SysExAssembler::Restarted},
        {"other status aborts", {{0xF0, 0x05, 0x90, 0x40, 0x7F}, whole}, {whole}, SysExAssembler::Aborted},
        {"other messages left out", {{0x90, 0x40, 0x7F, 0xF7}, whole, {0x05}}, {whole}, 0},
        {"too long dropped up to the next start", {sysex(9, 0x11), {0x12, 0xF7}, whole}, {whole},
            SysExAssembler::Overflowed},
        {"longest fits", {sysex(8, 0x13)}, {sysex(8, 0x13)}, 0},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        SysExAssembler assembler(8);
        std::vector<Bytes> messages;
        for (const Bytes &piece : c.pieces)
            assembler.feed(piece.data(), piece.size(), [&](const std::uint8_t *bytes, std::size_t size) {
                messages.emplace_back(bytes, bytes + size);
            });
        EXPECT_EQ(messages, c.messages);
        EXPECT_EQ(assembler.takeFaults(), c.faults);
    }
}

// Records that wrap around the ring's end come out as they went in; one that does not fit is refused
// whole.
TEST(SpscRingRecords, WrapAroundAndRefuseWhatDoesNotFit)
{
    SpscRing ring(16);
    const Bytes head{1, 2, 3}, body{4, 5, 6, 7}, tooLong(10);
    for (int round = 0; round < 5; ++round) {
        ASSERT_TRUE(ring.push(head.data(), head.size(), body.data(), body.size()));
        EXPECT_FALSE(ring.push(tooLong.data(), tooLong.size()));
        Bytes out(7);
        ring.peek(0, out.data(), out.size());
        EXPECT_EQ(out, (Bytes{1, 2, 3, 4, 5, 6, 7}));
        ring.consume(out.size());
        EXPECT_EQ(ring.readable(), 0U);
    }
}
