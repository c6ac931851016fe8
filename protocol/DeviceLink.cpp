#include "DeviceLink.h"

#include "Packing.h"
#include "SysExFormat.h"

#include <QByteArray>

#include <algorithm>
#include <memory>

namespace {

// A received message as the parser sees it: positions past the recorded count read as 0, the way
// they would in a zero-filled receive buffer, without touching memory past the count.
class ReceivedBytes
{
public:
    ReceivedBytes(const std::uint8_t *bytes, int count)
        : bytes(bytes)
        , count(count)
    {
    }

    std::uint8_t at(int position) const { return position < count ? bytes[position] : 0; }

    // Seven-bit groups from position on, least significant first.
    std::uint32_t number(int position, int groups) const
    {
        std::uint32_t value = 0;
        for (int k = 0; k < groups; ++k)
            value |= std::uint32_t(at(position + k) & SysEx::DataMask) << (SysEx::BitsPerByte * k);
        return value;
    }

    // Seven-bit characters from position on, up to maxLength, ended early by 7F, 00 or the End byte.
    QString text(int position, int maxLength) const
    {
        QString characters;
        for (int i = position; i < std::min(position + maxLength, count - 1); ++i) {
            if (bytes[i] == SysEx::InfoTextEnd || bytes[i] == 0)
                break;
            characters += QLatin1Char(char(bytes[i] & SysEx::DataMask));
        }
        return characters;
    }

    bool hasUnitHead() const
    {
        if (at(0) != SysEx::Start || at(SysEx::ModelPosition) != SysEx::ModelByte)
            return false;
        for (std::size_t i = 0; i < SysEx::ManufacturerId.size(); ++i) {
            if (at(SysEx::ManufacturerPosition + int(i)) != SysEx::ManufacturerId[i])
                return false;
        }
        return true;
    }

    const std::uint8_t *bytes;
    int count;
};

// An outgoing message under construction: a fresh buffer and the position of the next byte.
class MessageBuilder
{
public:
    MessageBuilder(int bufferSize, SysExCommand command)
        : buffer(std::make_unique<char[]>(bufferSize))
    {
        length = DeviceLink::writeHeader(buffer.get(), command);
    }

    void append(std::uint8_t value) { buffer[length++] = static_cast<char>(value & SysEx::DataMask); }

    void appendNumber(std::uint32_t value, int groups)
    {
        for (int k = 0; k < groups; ++k)
            append(static_cast<std::uint8_t>(value >> (SysEx::BitsPerByte * k)));
    }

    char *end() { return buffer.get() + length; }
    void advance(int bytes) { length += bytes; }

    bool sendThrough(MidiPort &port)
    {
        buffer[length++] = static_cast<char>(SysEx::End);
        return port.sendLong(std::move(buffer), static_cast<std::uint32_t>(length));
    }

private:
    std::unique_ptr<char[]> buffer;
    int length = 0;
};

} // namespace

DeviceLink::DeviceLink() = default;

DeviceLink::~DeviceLink()
{
    port.close();
}

int DeviceLink::writeHeader(char *buffer, SysExCommand command)
{
    buffer[0] = static_cast<char>(SysEx::Start);
    std::copy(
        SysEx::ManufacturerId.begin(), SysEx::ManufacturerId.end(), buffer + SysEx::ManufacturerPosition);
    buffer[SysEx::ModelPosition] = static_cast<char>(SysEx::ModelByte);
    std::fill_n(buffer + SysEx::SerialPosition, SysEx::SerialLength, 0);
    buffer[SysEx::CommandPosition] = static_cast<char>(command);
    return SysEx::PayloadPosition;
}

bool DeviceLink::sendIdentify()
{
    MessageBuilder message(SysEx::IdentifyBufferSize, CMD_IDENTIFY);
    noteRequest(REPLY_DEVICE_INFO);
    return message.sendThrough(port);
}

bool DeviceLink::sendReadDefects(std::uint8_t part)
{
    MessageBuilder message(SysEx::MessageBufferSize, CMD_READ_DEFECTS);
    message.append(SysEx::ArgumentMarker);
    message.append(part);
    noteRequest(REPLY_DEFECT_DATA);
    return message.sendThrough(port);
}

bool DeviceLink::sendReadFlash(std::uint32_t sectorAddress, std::uint8_t piece)
{
    MessageBuilder message(SysEx::MessageBufferSize, CMD_READ_FLASH);
    message.append(SysEx::ArgumentMarker);
    message.appendNumber(sectorAddress, SysEx::SectorAddressGroups);
    message.append(piece);
    noteRequest(REPLY_FLASH_DATA);
    return message.sendThrough(port);
}

bool DeviceLink::sendEraseBlock(int block)
{
    MessageBuilder message(SysEx::MessageBufferSize, CMD_ERASE_BLOCK);
    message.append(SysEx::ArgumentMarker);
    message.appendNumber(static_cast<std::uint32_t>(block), SysEx::BlockGroups);
    noteRequest(REPLY_ERASE_STATUS);
    return message.sendThrough(port);
}

bool DeviceLink::sendWritePage(int block, std::uint8_t page)
{
    MessageBuilder message(SysEx::MessageBufferSize, CMD_WRITE_PAGE);
    message.append(SysEx::ArgumentMarker);
    message.appendNumber(static_cast<std::uint32_t>(block), SysEx::BlockGroups);
    message.append(page);
    noteRequest(REPLY_WRITE_READY);
    return message.sendThrough(port);
}

bool DeviceLink::sendPageData(std::int16_t count, const std::uint8_t *bytes)
{
    // More data than the message buffer holds, or no data behind a positive count, is refused whole.
    if (count > SysEx::MaxPageDataCount || (count > 0 && !bytes))
        return false;
    MessageBuilder message(SysEx::MessageBufferSize, CMD_PAGE_DATA);
    message.append(dataChecksum(bytes, count));
    message.advance(packGroups(bytes, count, message.end()));
    noteRequest(REPLY_DATA_ACK);
    return message.sendThrough(port);
}

bool DeviceLink::sendProgramPage()
{
    MessageBuilder message(SysEx::MessageBufferSize, CMD_PROGRAM_PAGE);
    noteRequest(REPLY_PROGRAM_STATUS);
    return message.sendThrough(port);
}

bool DeviceLink::sendResetNand(std::uint8_t first, std::uint8_t second, std::uint32_t size)
{
    MessageBuilder message(SysEx::MessageBufferSize, CMD_RESET_NAND);
    message.append(first);
    message.append(second);
    message.appendNumber(size, SysEx::ImageSizeGroups);
    for (std::uint8_t code : SysEx::ResetCode)
        message.append(code);
    noteRequest(REPLY_NAND_READY);
    return message.sendThrough(port);
}

bool DeviceLink::sendFinish()
{
    MessageBuilder message(SysEx::MessageBufferSize, CMD_FINISH);
    noteRequest(REPLY_MODE_IDLE);
    return message.sendThrough(port);
}

void DeviceLink::noteRequest(int answer)
{
    // Read before the message goes out: an answer may arrive before sendLong returns.
    sentAfter = port.arrivals.load();
    awaitedReply = answer;
}

bool DeviceLink::takeAnswer(int code, std::uint64_t arrival)
{
    if (code == REPLY_NONE || code != awaitedReply || arrival <= sentAfter)
        return false;
    awaitedReply = REPLY_NONE;
    return true;
}

void DeviceLink::forgetRequest()
{
    awaitedReply = REPLY_NONE;
}

bool DeviceLink::openPorts(int inputRow, int outputRow)
{
    return port.open(inputRow, outputRow);
}

int DeviceLink::takeInput(MIDIHDR *header)
{
    if (!header)
        return REPLY_NONE;
    // The replacement goes into the queue before parsing, so the input never runs short meanwhile.
    port.queueInputBuffer();
    const std::uint32_t recorded = std::min(header->dwBytesRecorded, header->dwBufferLength);
    const int code = parseReply(reinterpret_cast<const std::uint8_t *>(header->lpData),
        header->lpData ? static_cast<int>(recorded) : 0);
    port.unprepareInput(header);
    MidiPort::releaseInputBuffer(header);
    return code;
}

int DeviceLink::parseReply(const std::uint8_t *bytes, int count)
{
    // A receive buffer holds at most ReceiveBufferSize bytes, whatever count claims.
    count = bytes ? std::clamp(count, 0, SysEx::ReceiveBufferSize) : 0;
    const ReceivedBytes message(bytes, count);

    unreadableStatus = REPLY_NONE;
    traceText = count > 0
        ? QString::fromLatin1(QByteArray::fromRawData(reinterpret_cast<const char *>(bytes), count).toHex())
        : QString();
    // A message cut off before its End byte may have lost the very byte that says what it reports.
    if (count == 0 || !message.hasUnitHead() || bytes[count - 1] != SysEx::End)
        return REPLY_NONE;

    switch (message.at(SysEx::CommandPosition)) {
    case SysEx::DeviceInfoReply:
        serialNumber = message.number(SysEx::SerialPosition, SysEx::SerialGroups);
        versionValue = message.number(SysEx::VersionPosition, SysEx::VersionGroups);
        serialText = QString::fromLatin1(formatSerial(serialNumber).data());
        infoText = message.text(SysEx::InfoTextPosition, SysEx::InfoTextMaxLength);
        return REPLY_DEVICE_INFO;
    case SysEx::DefectDataReply:
    case SysEx::FlashDataReply:
        replyDataCount = count > SysEx::DataMessageOverhead
            ? unpackGroups(count - SysEx::DataMessageOverhead, bytes + SysEx::DataFieldPosition,
                replyData.data(), static_cast<int>(replyData.size()))
            : 0;
        replyChecksum = message.at(SysEx::ChecksumPosition);
        return message.at(SysEx::CommandPosition) == SysEx::DefectDataReply ? REPLY_DEFECT_DATA
                                                                            : REPLY_FLASH_DATA;
    case SysEx::EraseStatusReply:
        return takeStatus(message.at(SysEx::StatusPosition), count, REPLY_ERASE_STATUS);
    case SysEx::WriteReadyReply:
        return REPLY_WRITE_READY;
    case SysEx::DataAckReply:
        return takeStatus(message.at(SysEx::StatusPosition), count, REPLY_DATA_ACK);
    case SysEx::ProgramStatusReply:
        return takeStatus(message.at(SysEx::StatusPosition), count, REPLY_PROGRAM_STATUS);
    case SysEx::NandReadyReply:
        return REPLY_NAND_READY;
    case SysEx::ModeReply:
        return message.at(SysEx::ModePosition) == SysEx::ModeIdle ? REPLY_MODE_IDLE : REPLY_MODE_ACTIVE;
    default:
        return REPLY_NONE;
    }
}

int DeviceLink::takeStatus(std::uint8_t status, int count, int code)
{
    // A reply of another length has lost or gained bytes: it answers nothing, so the request is made
    // again. A status value that this unit does not usually answer is for the engine to doubt.
    if (count != SysEx::StatusReplyLength) {
        unreadableStatus = code;
        return REPLY_NONE;
    }
    statusFailed = status == SysEx::StatusFailed;
    statusValue = status;
    return code;
}
