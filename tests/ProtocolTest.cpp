#include "DeviceLink.h"
#include "MidiTestSupport.h"
#include "Packing.h"
#include "SysExFormat.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <random>
#include <string>
#include <tuple>
#include <vector>

namespace {

// Only guards against a hang when a message never comes; no test measures time.
constexpr auto DeliveryDeadline = std::chrono::seconds(10);

Bytes head(std::uint8_t command)
{
    return {0xF0, 0x00, 0x11, 0x22, 0x0A, 0x00, 0x00, 0x00, 0x00, command};
}

Bytes frame(std::uint8_t command, const Bytes &payload)
{
    Bytes bytes = head(command);
    bytes.insert(bytes.end(), payload.begin(), payload.end());
    bytes.push_back(0xF7);
    return bytes;
}

Bytes operator+(Bytes front, const Bytes &back)
{
    front.insert(front.end(), back.begin(), back.end());
    return front;
}

Bytes repeated(int times, const Bytes &pattern)
{
    Bytes bytes;
    for (int i = 0; i < times; ++i)
        bytes.insert(bytes.end(), pattern.begin(), pattern.end());
    return bytes;
}

// Plays the main window: keeps the receive buffers that the port delivers.
class BufferCatcher : public QObject
{
public:
    bool event(QEvent *e) override
    {
        if (e->type() != MidiEvent::MidiEventType)
            return QObject::event(e);
        headers.push_back(static_cast<MidiEvent *>(e)->takeHeader());
        return true;
    }

    MIDIHDR *next()
    {
        const auto deadline = std::chrono::steady_clock::now() + DeliveryDeadline;
        while (headers.empty() && std::chrono::steady_clock::now() < deadline)
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
        if (headers.empty())
            return nullptr;
        MIDIHDR *header = headers.front();
        headers.pop_front();
        return header;
    }

    std::deque<MIDIHDR *> headers;
};

class ConnectedLink : public testing::Test
{
protected:
    void SetUp() override
    {
        link.port.setReceiver(&catcher);
        ASSERT_TRUE(link.openPorts(inputRow(link.port, UnitName), outputRow(link.port, UnitName)));
    }

    void TearDown() override
    {
        link.port.close();
        for (MIDIHDR *header : catcher.headers)
            MidiPort::releaseInputBuffer(header);
    }

    // The next message that reached the unit, or an empty one if none came.
    Bytes nextMessage()
    {
        if (!unit.waitForMessages(taken + 1))
            return {};
        return unit.messages()[taken++];
    }

    static inline const QString UnitName = QStringLiteral("Protocol test unit");
    // Declared first so that it outlives the link and its open devices.
    RecordingDevice unit{UnitName.toStdString()};
    std::size_t taken = 0;
    BufferCatcher catcher;
    DeviceLink link;
};

std::function<bool(DeviceLink &)> pageData(const Bytes &raw)
{
    return [raw](DeviceLink &l) { return l.sendPageData(std::int16_t(raw.size()), raw.data()); };
}

struct SendCase
{
    const char *behaviour;
    std::function<bool(DeviceLink &)> send;
    Bytes expected;
};

const std::vector<SendCase> sendCases = {
    {"identify", [](DeviceLink &l) { return l.sendIdentify(); },
        {0xF0, 0x00, 0x11, 0x22, 0x0A, 0x00, 0x00, 0x00, 0x00, 0x00, 0xF7}},
    {"erase of the last block", [](DeviceLink &l) { return l.sendEraseBlock(1023); },
        {0xF0, 0x00, 0x11, 0x22, 0x0A, 0x00, 0x00, 0x00, 0x00, 0x0A, 0x7F, 0x7F, 0x07, 0xF7}},
    {"erase splits the block into 7-bit groups", [](DeviceLink &l) { return l.sendEraseBlock(300); },
        frame(0x0A, {0x7F, 0x2C, 0x02})},
    {"erase drops block bits above 14", [](DeviceLink &l) { return l.sendEraseBlock(16384); },
        frame(0x0A, {0x7F, 0x00, 0x00})},
    {"write page", [](DeviceLink &l) { return l.sendWritePage(1025, 63); },
        frame(0x0B, {0x7F, 0x01, 0x08, 0x3F})},
    {"write page masks the page", [](DeviceLink &l) { return l.sendWritePage(0, 0xC1); },
        frame(0x0B, {0x7F, 0x00, 0x00, 0x41})},
    {"read flash", [](DeviceLink &l) { return l.sendReadFlash(8, 3); },
        frame(0x09, {0x7F, 0x08, 0x00, 0x00, 0x03})},
    {"read flash drops address bits above 21", [](DeviceLink &l) { return l.sendReadFlash(0x3FFFFF, 0xFF); },
        frame(0x09, {0x7F, 0x7F, 0x7F, 0x7F, 0x7F})},
    {"read defects", [](DeviceLink &l) { return l.sendReadDefects(1); }, frame(0x08, {0x7F, 0x01})},
    {"read defects masks the part", [](DeviceLink &l) { return l.sendReadDefects(0x80); },
        frame(0x08, {0x7F, 0x00})},
    {"reset carries size and code", [](DeviceLink &l) { return l.sendResetNand(2, 2, 1000); },
        Bytes{0xF0, 0x00, 0x11, 0x22, 0x0A, 0x00, 0x00, 0x00, 0x00, 0x0E, 0x02, 0x02, 0x68, 0x07, 0x00, 0x00}
            + configuredResetCode() + Bytes{0xF7}},
    {"reset drops size bits above 28", [](DeviceLink &l) { return l.sendResetNand(0xFF, 0x82, 0xFFFFFFFF); },
        frame(0x0E, Bytes{0x7F, 0x02, 0x7F, 0x7F, 0x7F, 0x7F} + configuredResetCode())},
    {"program page", [](DeviceLink &l) { return l.sendProgramPage(); }, frame(0x0D, {})},
    {"finish", [](DeviceLink &l) { return l.sendFinish(); }, frame(0x0F, {})},
    {"page data without bytes", [](DeviceLink &l) { return l.sendPageData(0, nullptr); },
        frame(0x0C, {0x00})},
    {"page data with a negative count", [](DeviceLink &l) { return l.sendPageData(-3, nullptr); },
        frame(0x0C, {0x00})},
    {"page data with high bits", pageData({0x80, 0x00, 0xFF, 0x7F}),
        {0xF0, 0x00, 0x11, 0x22, 0x0A, 0x00, 0x00, 0x00, 0x00, 0x0C, 0x7E, 0x00, 0x00, 0x7F, 0x7F, 0x05,
            0xF7}},
    {"page data without high bits", pageData({0x12, 0x34, 0x56, 0x78}),
        frame(0x0C, {0x14, 0x12, 0x34, 0x56, 0x78, 0x00})},
    {"full piece of FF", pageData(Bytes(64, 0xFF)),
        frame(0x0C, Bytes{0x40} + repeated(16, {0x7F, 0x7F, 0x7F, 0x7F, 0x0F}))},
    {"page data pads a short last group with zeros", pageData({0x80, 0x00, 0xFF, 0x7F, 0x81}),
        frame(0x0C, {0x7F, 0x00, 0x00, 0x7F, 0x7F, 0x05, 0x01, 0x00, 0x00, 0x00, 0x01})},
    {"largest page data fills the message buffer", pageData(Bytes(604, 0xFF)),
        frame(0x0C, Bytes{0x24} + repeated(151, {0x7F, 0x7F, 0x7F, 0x7F, 0x0F}))},
};

TEST_F(ConnectedLink, EveryCommandReachesTheUnitAsOneWholeMessage)
{
    for (const SendCase &c : sendCases) {
        SCOPED_TRACE(c.behaviour);
        EXPECT_TRUE(c.send(link));
        const Bytes received = nextMessage();
        EXPECT_EQ(received, c.expected);
        for (std::size_t i = 1; i + 1 < received.size(); ++i)
            EXPECT_EQ(received[i] & 0x80, 0) << "byte " << i;
    }
}

TEST_F(ConnectedLink, PageDataThatWouldOverflowTheBufferIsRefusedWhole)
{
    const Bytes raw(605, 0x11);
    EXPECT_FALSE(link.sendPageData(605, raw.data()));
    EXPECT_FALSE(link.sendPageData(4, nullptr));
    EXPECT_TRUE(link.sendFinish());
    EXPECT_EQ(nextMessage(), frame(0x0F, {}));
}

TEST_F(ConnectedLink, RefusedMessagesReportFailure)
{
    unit.refuseOutputPrepare = 1;
    EXPECT_FALSE(link.sendIdentify());
    unit.refuseLongMessage = 1;
    EXPECT_FALSE(link.sendProgramPage());
    EXPECT_TRUE(link.sendFinish());
    EXPECT_EQ(nextMessage(), frame(0x0F, {}));
}

TEST(ClosedLink, SendsNothingWithoutAnOpenOutput)
{
    DeviceLink link;
    EXPECT_FALSE(link.sendIdentify());
    EXPECT_FALSE(link.sendEraseBlock(1));
}

TEST(AnswerGuard, OnlyTheFirstReplyOfTheAwaitedKindThatArrivedAfterTheRequestAnswersIt)
{
    DeviceLink link;
    link.port.arrivals = 7; // messages received before the request went out
    link.sendEraseBlock(1);
    EXPECT_FALSE(link.takeAnswer(REPLY_ERASE_STATUS, 7)); // arrived before the request
    EXPECT_FALSE(link.takeAnswer(REPLY_WRITE_READY, 8)); // another kind
    EXPECT_FALSE(link.takeAnswer(REPLY_NONE, 8));
    EXPECT_TRUE(link.takeAnswer(REPLY_ERASE_STATUS, 8));
    EXPECT_FALSE(link.takeAnswer(REPLY_ERASE_STATUS, 9)); // a copy: nothing is in flight any more
}

TEST_F(ConnectedLink, ReceivedReplyIsClassifiedAndItsBufferReplaced)
{
    const Bytes info
        = {0xF0, 0x00, 0x11, 0x22, 0x0A, 0x15, 0x4D, 0x0B, 0x00, 0x20, 0x05, 0x02, 0x56, 0x31, 0x7F, 0xF7};
    // More replies than buffers are queued at once: each taken buffer must have been replaced.
    for (int i = 0; i < 2 * MidiPort::QueuedInputBuffers; ++i) {
        ASSERT_TRUE(unit.send(info.data(), info.size()));
        MIDIHDR *header = catcher.next();
        ASSERT_NE(header, nullptr);
        EXPECT_EQ(link.takeInput(header), REPLY_DEVICE_INFO);
    }
    EXPECT_EQ(link.serialText, QStringLiteral("909-000-121"));
    EXPECT_EQ(link.traceText, QStringLiteral("f00011220a154d0b0020050256317ff7"));
}

TEST_F(ConnectedLink, BufferWithoutBytesYieldsNoReply)
{
    const Bytes mode = frame(0x43, {0x01});
    ASSERT_TRUE(unit.send(mode.data(), mode.size()));
    MIDIHDR *header = catcher.next();
    ASSERT_NE(header, nullptr);
    header->dwBytesRecorded = 0;
    EXPECT_EQ(link.takeInput(header), REPLY_NONE);
    EXPECT_TRUE(link.traceText.isEmpty());
}

TEST_F(ConnectedLink, PiecesOfAnOverlongMessageYieldNoReply)
{
    Bytes longReply = frame(0x2B, Bytes(1100, 0x01));
    ASSERT_TRUE(unit.send(longReply.data(), longReply.size()));
    MIDIHDR *first = catcher.next();
    ASSERT_NE(first, nullptr);
    // The first piece has the head but not the end: it is not taken for a whole reply.
    EXPECT_EQ(link.takeInput(first), REPLY_NONE);
    MIDIHDR *second = catcher.next();
    ASSERT_NE(second, nullptr);
    EXPECT_EQ(link.takeInput(second), REPLY_NONE);
}

TEST_F(ConnectedLink, BufferDeliveredAfterCloseIsStillParsedAndReleased)
{
    const Bytes ready = frame(0x2E, {});
    ASSERT_TRUE(unit.send(ready.data(), ready.size()));
    MIDIHDR *header = catcher.next();
    ASSERT_NE(header, nullptr);
    link.port.close();
    EXPECT_EQ(link.takeInput(header), REPLY_NAND_READY);
}

struct ReplyCase
{
    const char *behaviour;
    Bytes bytes;
    int code;
};

const std::vector<ReplyCase> replyCases = {
    {"empty message", {}, REPLY_NONE},
    {"another model", {0xF0, 0x00, 0x11, 0x22, 0x0B, 0x00, 0x00, 0x00, 0x00, 0x2B, 0xF7}, REPLY_NONE},
    {"another manufacturer", {0xF0, 0x01, 0x11, 0x22, 0x0A, 0x00, 0x00, 0x00, 0x00, 0x2B, 0xF7}, REPLY_NONE},
    {"no start byte", {0xF1, 0x00, 0x11, 0x22, 0x0A, 0x00, 0x00, 0x00, 0x00, 0x2B, 0xF7}, REPLY_NONE},
    {"unknown reply 21", frame(0x21, {}), REPLY_NONE},
    {"unknown reply 30", frame(0x30, {}), REPLY_NONE},
    {"head cut short", {0xF0, 0x00, 0x11, 0x22}, REPLY_NONE},
    {"frame without reply byte", {0xF0, 0x00, 0x11, 0x22, 0x0A}, REPLY_NONE},
    {"erase failed", {0xF0, 0x00, 0x11, 0x22, 0x0A, 0x00, 0x00, 0x00, 0x00, 0x2A, 0x02, 0xF7},
        REPLY_ERASE_STATUS},
    {"mode idle", {0xF0, 0x00, 0x11, 0x22, 0x0A, 0x00, 0x00, 0x00, 0x00, 0x43, 0x00, 0xF7}, REPLY_MODE_IDLE},
    {"mode active", frame(0x43, {0x01}), REPLY_MODE_ACTIVE},
    {"mode active with 7F", frame(0x43, {0x7F}), REPLY_MODE_ACTIVE},
    {"mode cut off before its byte", {0xF0, 0x00, 0x11, 0x22, 0x0A, 0x00, 0x00, 0x00, 0x00, 0x43},
        REPLY_NONE},
    {"write ready ignores bytes 5 to 8", {0xF0, 0x00, 0x11, 0x22, 0x0A, 0x01, 0x7F, 0x33, 0x44, 0x2B, 0xF7},
        REPLY_WRITE_READY},
    {"nand ready ignores bytes 5 to 8", {0xF0, 0x00, 0x11, 0x22, 0x0A, 0x05, 0x06, 0x07, 0x08, 0x2E, 0xF7},
        REPLY_NAND_READY},
    {"data ack ignores bytes 5 to 8",
        {0xF0, 0x00, 0x11, 0x22, 0x0A, 0x7F, 0x7F, 0x7F, 0x7F, 0x2C, 0x00, 0xF7}, REPLY_DATA_ACK},
    {"reply without end byte", {0xF0, 0x00, 0x11, 0x22, 0x0A, 0x00, 0x00, 0x00, 0x00, 0x2D, 0x00},
        REPLY_NONE},
    {"defect data", frame(0x28, {0x00, 0x00, 0x00, 0x7F, 0x7F, 0x05}), REPLY_DEFECT_DATA},
    {"flash data", frame(0x29, {0x00, 0x00, 0x00, 0x7F, 0x7F, 0x05}), REPLY_FLASH_DATA},
};

TEST(ReplyParser, ClassifiesMessagesByHeadAndReplyByte)
{
    for (const ReplyCase &c : replyCases) {
        SCOPED_TRACE(c.behaviour);
        DeviceLink link;
        // An exact-size heap copy, so that a read past the count is caught by the address sanitizer.
        const Bytes bytes = c.bytes;
        EXPECT_EQ(link.parseReply(bytes.data(), int(bytes.size())), c.code);
    }
}

TEST(ReplyParser, EveryReplyByteGivesItsCode)
{
    const std::map<std::uint8_t, int> known = {
        {0x20, REPLY_DEVICE_INFO},
        {0x28, REPLY_DEFECT_DATA},
        {0x29, REPLY_FLASH_DATA},
        {0x2A, REPLY_ERASE_STATUS},
        {0x2B, REPLY_WRITE_READY},
        {0x2C, REPLY_DATA_ACK},
        {0x2D, REPLY_PROGRAM_STATUS},
        {0x2E, REPLY_NAND_READY},
        {0x43, REPLY_MODE_IDLE},
    };
    DeviceLink link;
    for (int byte = 0x00; byte <= 0x7F; ++byte) {
        const Bytes bytes = frame(std::uint8_t(byte), {0x00});
        const auto it = known.find(std::uint8_t(byte));
        EXPECT_EQ(
            link.parseReply(bytes.data(), int(bytes.size())), it == known.end() ? REPLY_NONE : it->second)
            << "reply byte " << byte;
    }
}

TEST(ReplyParser, DeviceInfoStoresSerialVersionAndDisplayForm)
{
    DeviceLink link;
    const Bytes info
        = {0xF0, 0x00, 0x11, 0x22, 0x0A, 0x15, 0x4D, 0x0B, 0x00, 0x20, 0x05, 0x02, 0x56, 0x31, 0x7F, 0xF7};
    ASSERT_EQ(link.parseReply(info.data(), int(info.size())), REPLY_DEVICE_INFO);
    EXPECT_EQ(link.serialNumber, 190101u);
    EXPECT_EQ(link.versionValue, 261u);
    EXPECT_EQ(link.serialText, QStringLiteral("909-000-121"));
    EXPECT_EQ(link.infoText, QStringLiteral("V1"));
    // The free text ends at 7F, at 00, after 16 characters, or at the End byte.
    const std::vector<std::pair<Bytes, QString>> texts = {
        {{0x05, 0x02, 'A', 'B', 0x00, 'C'}, QStringLiteral("AB")},
        {{0x05, 0x02, 'T', 'A'}, QStringLiteral("TA")},
        {{0x05, 0x02}, QString()},
        {Bytes{0x05, 0x02} + Bytes(17, 'x'), QString(16, QLatin1Char('x'))},
    };
    for (const auto &[payload, text] : texts) {
        ASSERT_EQ(link.parseReply(frame(0x20, payload).data(), int(frame(0x20, payload).size())),
            REPLY_DEVICE_INFO);
        EXPECT_EQ(link.infoText, text);
    }

    // Cut off behind the reply byte, before the end byte: not a reply, nothing changes.
    ASSERT_EQ(link.parseReply(info.data(), 10), REPLY_NONE);
    EXPECT_EQ(link.versionValue, 261u);
}

TEST(ReplyParser, StatusTwoIsFailureAnyOtherSuccessAndAWrongLengthAnswersNothing)
{
    const std::vector<std::tuple<Bytes, int, bool>> cases = {
        {frame(0x2A, {0x02}), REPLY_ERASE_STATUS, true},
        {frame(0x2A, {0x00}), REPLY_ERASE_STATUS, false},
        {frame(0x2D, {0x02}), REPLY_PROGRAM_STATUS, true},
        {frame(0x2C, {0x02}), REPLY_DATA_ACK, true},
        {frame(0x2C, {0x00}), REPLY_DATA_ACK, false},
        // Units may answer any value but 02 for success; whether it is doubtful is the engine's call.
        {frame(0x2A, {0x03}), REPLY_ERASE_STATUS, false},
        {frame(0x2D, {0x01}), REPLY_PROGRAM_STATUS, false},
        {frame(0x2C, {0x7F}), REPLY_DATA_ACK, false},
        // A lost status byte or a longer message is damage, not success.
        {frame(0x2A, {}), REPLY_NONE, true},
        {frame(0x2D, {0x00, 0x00}), REPLY_NONE, true},
    };
    DeviceLink link;
    for (const auto &[bytes, code, failed] : cases) {
        link.statusFailed = true;
        EXPECT_EQ(link.parseReply(bytes.data(), int(bytes.size())), code);
        EXPECT_EQ(link.statusFailed, failed);
        EXPECT_EQ(link.unreadableStatus != REPLY_NONE, code == REPLY_NONE);
        if (code != REPLY_NONE)
            EXPECT_EQ(link.statusValue, bytes[10]);
    }
}

TEST(ReplyParser, TraceShowsTheBytesAsReceived)
{
    DeviceLink link;
    const Bytes shortMessage = {0xF0, 0x00, 0xF7};
    EXPECT_EQ(link.parseReply(shortMessage.data(), 3), REPLY_NONE);
    EXPECT_EQ(link.traceText, QStringLiteral("f000f7"));
    EXPECT_EQ(link.parseReply(shortMessage.data(), 0), REPLY_NONE);
    EXPECT_TRUE(link.traceText.isEmpty());
}

TEST(ReplyParser, DataReplyOverwritesOnlyWhatItCarries)
{
    DeviceLink link;
    link.replyData.fill(0xAA);
    Bytes raw(64);
    for (int i = 0; i < 64; ++i)
        raw[i] = std::uint8_t(i * 5 + 0x70);
    Bytes packed(80);
    packGroups(raw.data(), 64, reinterpret_cast<char *>(packed.data()));
    const Bytes reply = frame(0x29, Bytes{0x00} + packed);
    ASSERT_EQ(reply.size(), 92u);
    ASSERT_EQ(link.parseReply(reply.data(), 92), REPLY_FLASH_DATA);

    Bytes expected = raw;
    expected.resize(DeviceLink::ReplyDataSize, 0xAA);
    EXPECT_EQ(Bytes(link.replyData.begin(), link.replyData.end()), expected);

    // An empty data field and a trailing partial group change nothing.
    const Bytes empty = frame(0x28, {0x00});
    const Bytes partial = frame(0x28, {0x00, 0x01, 0x02, 0x03, 0x04});
    EXPECT_EQ(link.parseReply(empty.data(), int(empty.size())), REPLY_DEFECT_DATA);
    EXPECT_EQ(link.parseReply(partial.data(), int(partial.size())), REPLY_DEFECT_DATA);
    EXPECT_EQ(Bytes(link.replyData.begin(), link.replyData.end()), expected);
}

TEST(ReplyParser, CountsOutsideOneReceiveBufferAreBounded)
{
    DeviceLink link;
    const Bytes mode = frame(0x43, {0x01});
    EXPECT_EQ(link.parseReply(mode.data(), -5), REPLY_NONE);
    EXPECT_TRUE(link.traceText.isEmpty());
    EXPECT_EQ(link.parseReply(nullptr, 12), REPLY_NONE);

    // A whole receive buffer of groups with a count far beyond it: only its 1024 bytes are read.
    Bytes buffer = head(0x29);
    buffer.push_back(0x00);
    while (buffer.size() < MidiPort::InputBufferSize - 1)
        buffer.push_back(0x7F);
    buffer.push_back(0xF7);
    link.replyData.fill(0x00);
    EXPECT_EQ(link.parseReply(buffer.data(), 5000), REPLY_FLASH_DATA);
    EXPECT_EQ(link.traceText.size(), 2048);
    // (1024 - 12) bytes hold 202 whole groups.
    Bytes expected(808, 0xFF);
    expected.resize(DeviceLink::ReplyDataSize, 0x00);
    EXPECT_EQ(Bytes(link.replyData.begin(), link.replyData.end()), expected);
}

TEST(Packing, GroupsCarryHighBitsInTheirFlagByte)
{
    const std::vector<std::pair<Bytes, Bytes>> cases = {
        {{0x80, 0x00, 0xFF, 0x7F}, {0x00, 0x00, 0x7F, 0x7F, 0x05}},
        {{0x12, 0x34, 0x56, 0x78}, {0x12, 0x34, 0x56, 0x78, 0x00}},
        {{0xFF, 0xFF, 0xFF, 0xFF}, {0x7F, 0x7F, 0x7F, 0x7F, 0x0F}},
        {{0x81}, {0x01, 0x00, 0x00, 0x00, 0x01}},
    };
    for (const auto &[raw, packed] : cases) {
        Bytes out(packed.size());
        EXPECT_EQ(packGroups(raw.data(), int(raw.size()), reinterpret_cast<char *>(out.data())),
            int(packed.size()));
        EXPECT_EQ(out, packed);
        if (raw.size() % 4 == 0) {
            Bytes back(raw.size());
            EXPECT_EQ(unpackGroups(int(packed.size()), packed.data(), back.data(), int(back.size())),
                int(raw.size()));
            EXPECT_EQ(back, raw);
        }
    }
}

TEST(Packing, ChecksumIsTheLowSevenBitsOfTheByteSum)
{
    const Bytes mixed = {0x80, 0x00, 0xFF, 0x7F};
    const Bytes plain = {0x12, 0x34, 0x56, 0x78};
    const Bytes full(64, 0xFF);
    EXPECT_EQ(dataChecksum(mixed.data(), 4), 0x7E);
    EXPECT_EQ(dataChecksum(plain.data(), 4), 0x14);
    EXPECT_EQ(dataChecksum(full.data(), 64), 0x40);
    EXPECT_EQ(dataChecksum(full.data(), 3), 0x7D);
    EXPECT_EQ(dataChecksum(nullptr, 0), 0x00);
}

TEST(Packing, RandomDataSurvivesPackingAndUnpacking)
{
    std::mt19937 random(20240611);
    std::uniform_int_distribution<int> byte(0, 255);
    for (int length = 4; length <= 604; length += 4) {
        Bytes raw(length);
        for (std::uint8_t &b : raw)
            b = std::uint8_t(byte(random));
        Bytes packed(groupCount(length) * 5);
        packGroups(raw.data(), length, reinterpret_cast<char *>(packed.data()));
        for (std::uint8_t b : packed)
            ASSERT_EQ(b & 0x80, 0);
        Bytes back(length);
        ASSERT_EQ(unpackGroups(int(packed.size()), packed.data(), back.data(), length), length);
        ASSERT_EQ(back, raw);
    }
}

TEST(Packing, UnpackingStopsAtTheDestinationAndAtPartialGroups)
{
    const Bytes groups = repeated(3, {0x01, 0x02, 0x03, 0x04, 0x0F});
    Bytes destination(12, 0x55);
    EXPECT_EQ(unpackGroups(15, groups.data(), destination.data(), 8), 8);
    EXPECT_EQ(destination, (Bytes{0x81, 0x82, 0x83, 0x84, 0x81, 0x82, 0x83, 0x84, 0x55, 0x55, 0x55, 0x55}));

    destination.assign(12, 0x55);
    EXPECT_EQ(unpackGroups(14, groups.data(), destination.data(), 12), 8);
    EXPECT_EQ(destination, (Bytes{0x81, 0x82, 0x83, 0x84, 0x81, 0x82, 0x83, 0x84, 0x55, 0x55, 0x55, 0x55}));

    EXPECT_EQ(unpackGroups(0, groups.data(), destination.data(), 12), 0);
    EXPECT_EQ(unpackGroups(-5, groups.data(), destination.data(), 12), 0);
}

TEST(Packing, SerialDisplayFormScramblesDigitsWithChecks)
{
    const std::vector<std::pair<std::uint32_t, std::string>> cases = {
        {123456789, "586-638-764"},
        {0, "000-000-000"},
        {42, "040-000-020"},
        {268435455, "355-581-494"},
        {5, "000-000-050"},
        {190101, "909-000-121"},
    };
    for (const auto &[serial, text] : cases)
        EXPECT_EQ(std::string(formatSerial(serial).data()), text) << serial;
}

} // namespace
