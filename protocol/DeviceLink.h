#pragma once

#include "MidiPort.h"
#include "ReplyCode.h"
#include "SysExCommand.h"
#include "SysExFormat.h"

#include <QString>

#include <array>
#include <cstdint>

// The protocol endpoint to the unit: one send operation per command, and the values of the last
// replies. Every send returns whether the MIDI output accepted the message.
class DeviceLink
{
public:
    static constexpr int ReplyDataSize = 1024;

    DeviceLink();
    ~DeviceLink();

    DeviceLink(const DeviceLink &) = delete;
    DeviceLink &operator=(const DeviceLink &) = delete;

    bool sendIdentify();
    bool sendReadDefects(std::uint8_t part);
    bool sendReadFlash(std::uint32_t sectorAddress, std::uint8_t piece);
    bool sendEraseBlock(int block);
    bool sendWritePage(int block, std::uint8_t page);
    bool sendPageData(std::int16_t count, const std::uint8_t *bytes);
    bool sendProgramPage();
    bool sendResetNand(std::uint8_t first, std::uint8_t second, std::uint32_t size);
    bool sendFinish();

    // Writes bytes 0 to 9 of the frame and returns the position of the first payload byte.
    static int writeHeader(char *buffer, SysExCommand command);

    bool openPorts(int inputRow, int outputRow);
    // Queues a fresh receive buffer, classifies the filled one and releases it.
    int takeInput(MIDIHDR *header);
    int parseReply(const std::uint8_t *bytes, int count);

    // Replies carry no address: a reply answers the request in flight only if it is of the kind that
    // request asks for and arrived after the request went out. Taking it leaves nothing in flight.
    bool takeAnswer(int code, std::uint64_t arrival);
    void forgetRequest();
    bool awaiting(int code) const { return awaitedReply == code; }

    MidiPort port;
    std::array<std::uint8_t, ReplyDataSize> replyData{};
    // Bytes unpacked from the last data reply, and the checksum it carried for them.
    int replyDataCount = 0;
    std::uint8_t replyChecksum = 0;
    // The status of the last erase, program or piece acknowledgement: 02 failed, any other value
    // succeeded; which value a unit answers for success is its own choice.
    bool statusFailed = false;
    std::uint8_t statusValue = SysEx::StatusOk;
    // The reply code of the last status reply of the wrong length, so that it was taken for no reply.
    int unreadableStatus = REPLY_NONE;
    std::uint32_t serialNumber = 0;
    std::uint32_t versionValue = 0;
    QString serialText;
    // The identify reply's free text; the simulated unit names itself there.
    QString infoText;
    QString traceText;

private:
    void noteRequest(int answer);
    int takeStatus(std::uint8_t status, int count, int code);

    int awaitedReply = REPLY_NONE;
    std::uint64_t sentAfter = 0;
};
