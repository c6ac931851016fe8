#include "SimulatedUnit.h"

#include <algorithm>
#include <bitset>
#include <cstdarg>
#include <cstdio>

namespace {

constexpr std::uint8_t SysExStart = 0xF0;
constexpr std::uint8_t SysExEnd = 0xF7;
constexpr std::array<std::uint8_t, 9> FrameHead{SysExStart, 0x00, 0x11, 0x22, 0x0A, 0x00, 0x00, 0x00, 0x00};
constexpr std::size_t SerialPosition = 5;
constexpr std::size_t CommandPosition = 9;
constexpr std::size_t PayloadPosition = 10;
constexpr std::uint8_t SevenBits = 0x7F;
constexpr std::uint8_t HighBit = 0x80;
constexpr int GroupBits = 7;
constexpr std::uint8_t ArgumentMarker = 0x7F;
constexpr std::size_t ArgumentPosition = PayloadPosition + 1; // behind the marker
constexpr std::size_t MinRequestLength = CommandPosition + 2;
constexpr int SerialGroups = 4, AddressGroups = 3, BlockGroups = 2, SizeGroups = 4;
constexpr std::size_t ChecksumPosition = PayloadPosition;
constexpr std::size_t GroupsPosition = PayloadPosition + 1;
constexpr std::size_t ResetFirstPosition = PayloadPosition;
constexpr std::size_t ResetSecondPosition = PayloadPosition + 1;
constexpr std::size_t ResetSizePosition = PayloadPosition + 2;
constexpr unsigned ByteMask = 0xFF;
constexpr int BitsPerByte = 8;

constexpr std::uint8_t CMD_IDENTIFY = 0x00;
constexpr std::uint8_t CMD_READ_DEFECTS = 0x08;
constexpr std::uint8_t CMD_READ_FLASH = 0x09;
constexpr std::uint8_t CMD_ERASE_BLOCK = 0x0A;
constexpr std::uint8_t CMD_WRITE_PAGE = 0x0B;
constexpr std::uint8_t CMD_PAGE_DATA = 0x0C;
constexpr std::uint8_t CMD_PROGRAM_PAGE = 0x0D;
constexpr std::uint8_t CMD_RESET_NAND = 0x0E;
constexpr std::uint8_t CMD_FINISH = 0x0F;

constexpr std::size_t IdentifyLength = 11;
constexpr std::size_t ReadDefectsLength = 13;
constexpr std::size_t ReadFlashLength = 16;
constexpr std::size_t EraseBlockLength = 14;
constexpr std::size_t WritePageLength = 15;
constexpr std::size_t PageDataMinLength = 12;
constexpr std::size_t ProgramPageLength = 11;
constexpr std::size_t ResetNandLength = 21;
constexpr std::size_t FinishLength = 11;

constexpr std::uint8_t DeviceInfoReply = 0x20;
constexpr std::uint8_t DefectDataReply = 0x28;
constexpr std::uint8_t FlashDataReply = 0x29;
constexpr std::uint8_t EraseStatusReply = 0x2A;
constexpr std::uint8_t WriteReadyReply = 0x2B;
constexpr std::uint8_t DataAckReply = 0x2C;
constexpr std::uint8_t ProgramStatusReply = 0x2D;
constexpr std::uint8_t NandReadyReply = 0x2E;
constexpr std::uint8_t ModeReply = 0x43;

constexpr std::uint8_t StatusFailed = 0x02;
constexpr std::uint8_t ModeIdle = 0x00;
constexpr std::uint8_t ModeActive = 0x01;

constexpr int GroupSize = 5;
constexpr int GroupRawBytes = 4;
constexpr std::uint8_t UnusedFlagBits = 0x70;
constexpr std::size_t InfoTextMaxLength = 16;
constexpr std::uint8_t InfoTextEnd = 0x7F;
constexpr std::uint8_t ResetArgument = 2;
constexpr std::size_t ResetCodePosition = 16;

constexpr int SectorsInNand
    = SimulatedUnit::Blocks * SimulatedUnit::PagesPerBlock * SimulatedUnit::SectorsPerPage;
constexpr std::uint32_t ImageCapacity
    = std::uint32_t(SimulatedUnit::Blocks - 1) * SimulatedUnit::PagesPerBlock * SimulatedUnit::PageDataSize;
constexpr int DataFrameIndexBytes = 3;
constexpr int ListCountOffset = 2, ListEntriesOffset = 4, ListEntrySize = 2;
// The byte of sector 0 that a silent fault flips: in a list, the low byte of its first entry.
constexpr int FlippedByte = 4;
constexpr int SectorXorByte = 0, LowLineByte = 1, HighLineByte = 2, FillerCheckByte = 3;

// Numbers travel as 7-bit groups, least significant first.
std::uint32_t groups(const std::uint8_t *bytes, int count)
{
    std::uint32_t value = 0;
    for (int k = 0; k < count; ++k)
        value |= std::uint32_t(bytes[k]) << (GroupBits * k);
    return value;
}

std::uint8_t checksum(const std::uint8_t *bytes, std::size_t count)
{
    unsigned sum = 0;
    for (std::size_t i = 0; i < count; ++i)
        sum += bytes[i];
    return std::uint8_t(sum & ByteMask) & SevenBits;
}

} // namespace

const char *SimulatedUnit::commandName(std::uint8_t command)
{
    switch (command) {
    case CMD_IDENTIFY:
        return "CMD_IDENTIFY";
    case CMD_READ_DEFECTS:
        return "CMD_READ_DEFECTS";
    case CMD_READ_FLASH:
        return "CMD_READ_FLASH";
    case CMD_ERASE_BLOCK:
        return "CMD_ERASE_BLOCK";
    case CMD_WRITE_PAGE:
        return "CMD_WRITE_PAGE";
    case CMD_PAGE_DATA:
        return "CMD_PAGE_DATA";
    case CMD_PROGRAM_PAGE:
        return "CMD_PROGRAM_PAGE";
    case CMD_RESET_NAND:
        return "CMD_RESET_NAND";
    case CMD_FINISH:
        return "CMD_FINISH";
    default:
        return "unknown command";
    }
}

SimulatedUnit::SimulatedUnit(const ResetCode &resetCode)
    : pages(std::size_t(Blocks) * PagesPerBlock)
    , erasedFrame(FrameSize, Erased)
    , blockErasures(Blocks, 0)
    , resetCode(resetCode)
{
}

std::vector<SimulatedUnit::Message> SimulatedUnit::handle(const std::uint8_t *message, std::size_t size)
{
    ++requestNumber;
    ++counters.requests;
    if (silenceAfter >= 0 && requestNumber > silenceAfter) {
        ++counters.silencedRequests;
        return {};
    }
    if (!message)
        size = 0;

    std::vector<Message> out = faults.onRequest();
    Message damaged;
    requestDamagedHere = false;
    if (size > CommandPosition) {
        const std::uint8_t command = message[CommandPosition] & SevenBits;
        const int count = ++requestsOfCommand[command];
        for (const Damage &damage : damages) {
            if (damage.command != command || damage.nth != count || damage.position + 1 >= size)
                continue;
            if (damaged.empty())
                damaged.assign(message, message + size);
            damaged[damage.position] ^= damage.mask;
            requestDamagedHere = true;
            ++counters.requestsDamaged;
        }
        if (requestDamagedHere)
            message = damaged.data();
    }
    for (Message &produced : process(message, size)) {
        for (Message &sent : faults.apply(std::move(produced)))
            out.push_back(std::move(sent));
    }
    counters.repliesSent += int(out.size());
    return out;
}

std::vector<SimulatedUnit::Message> SimulatedUnit::releaseHeld()
{
    std::vector<Message> out = faults.releaseAll();
    counters.repliesSent += int(out.size());
    return out;
}

std::vector<SimulatedUnit::Message> SimulatedUnit::process(const std::uint8_t *message, std::size_t size)
{
    if (!frameIsSound(message, size) || !message) {
        ++counters.rejectedRequests;
        return {};
    }
    const std::uint8_t command = message[CommandPosition];
    ++counters.requestsByCommand[command];
    switch (command) {
    case CMD_IDENTIFY:
        if (!lengthIs(command, size, IdentifyLength))
            return {};
        return identify();
    case CMD_READ_DEFECTS:
        return readDefects(message, size);
    case CMD_READ_FLASH:
        return readFlash(message, size);
    case CMD_ERASE_BLOCK:
        return eraseBlock(message, size);
    case CMD_WRITE_PAGE:
        return writePage(message, size);
    case CMD_PAGE_DATA:
        return pageDataPiece(message, size);
    case CMD_PROGRAM_PAGE:
        return programPage(size);
    case CMD_RESET_NAND:
        return resetNand(message, size);
    case CMD_FINISH:
        return finish(size);
    default:
        ++counters.rejectedRequests;
        error("unknown command byte %02X", command);
        return {};
    }
}

bool SimulatedUnit::frameIsSound(const std::uint8_t *message, std::size_t size)
{
    if (size < MinRequestLength) {
        error("message of %zu bytes is too short for a request", size);
        return false;
    }
    for (std::size_t i = 0; i < FrameHead.size(); ++i) {
        if (message[i] != FrameHead[i]) {
            error("wrong frame head: byte %zu is %02X, expected %02X", i, message[i], FrameHead[i]);
            return false;
        }
    }
    if (message[size - 1] != SysExEnd) {
        error("message does not end with F7 (last byte %02X)", message[size - 1]);
        return false;
    }
    for (std::size_t i = 1; i + 1 < size; ++i) {
        if (message[i] & HighBit) {
            error("byte %zu is %02X: bit 7 set inside the message", i, message[i]);
            return false;
        }
    }
    return true;
}

bool SimulatedUnit::lengthIs(std::uint8_t command, std::size_t size, std::size_t expected)
{
    if (size == expected)
        return true;
    ++counters.rejectedRequests;
    error("%s of %zu bytes, expected %zu", commandName(command), size, expected);
    return false;
}

bool SimulatedUnit::argumentMarkerPresent(std::uint8_t command, const std::uint8_t *message)
{
    if (message[PayloadPosition] == ArgumentMarker)
        return true;
    ++counters.rejectedRequests;
    error("%s without the argument marker 7F (byte 10 is %02X)", commandName(command),
        message[PayloadPosition]);
    return false;
}

void SimulatedUnit::requireActive(std::uint8_t command)
{
    if (!activeMode)
        error("%s while the unit is idle (no CMD_RESET_NAND before it)", commandName(command));
}

std::vector<SimulatedUnit::Message> SimulatedUnit::identify()
{
    Message info = reply(DeviceInfoReply);
    info.pop_back();
    for (int k = 0; k < SerialGroups; ++k)
        info[SerialPosition + k] = (serialNumber >> (GroupBits * k)) & SevenBits;
    info.push_back(version & SevenBits);
    info.push_back((version >> GroupBits) & SevenBits);
    for (std::size_t i = 0; i < infoText.size() && i < InfoTextMaxLength; ++i)
        info.push_back(std::uint8_t(infoText[i]) & SevenBits);
    info.push_back(InfoTextEnd);
    info.push_back(SysExEnd);
    return {info};
}

std::vector<SimulatedUnit::Message> SimulatedUnit::readDefects(const std::uint8_t *message, std::size_t size)
{
    if (!lengthIs(CMD_READ_DEFECTS, size, ReadDefectsLength)
        || !argumentMarkerPresent(CMD_READ_DEFECTS, message))
        return {};
    requireActive(CMD_READ_DEFECTS);
    const int part = message[ArgumentPosition];
    if (part >= DefectParts) {
        ++counters.rejectedRequests;
        error("CMD_READ_DEFECTS of part %d; the defect list has parts 0 and 1", part);
        return {};
    }
    return {dataReply(DefectDataReply, defectBitmap.data() + part * DefectPartSize)};
}

std::vector<SimulatedUnit::Message> SimulatedUnit::readFlash(const std::uint8_t *message, std::size_t size)
{
    if (!lengthIs(CMD_READ_FLASH, size, ReadFlashLength) || !argumentMarkerPresent(CMD_READ_FLASH, message))
        return {};
    requireActive(CMD_READ_FLASH);
    const std::uint32_t address = groups(message + ArgumentPosition, AddressGroups);
    const int piece = message[ArgumentPosition + AddressGroups];
    if (address >= std::uint32_t(SectorsInNand) || piece >= ReadPiecesPerSector) {
        ++counters.rejectedRequests;
        error("CMD_READ_FLASH of sector %u piece %d lies outside the NAND", address, piece);
        return {};
    }
    const int sector = address % SectorsPerPage;
    const int page = (address / SectorsPerPage) % PagesPerBlock;
    const int block = address / (SectorsPerPage * PagesPerBlock);
    const std::uint8_t *data
        = frame(block, page) + FrameHeadSize + sector * SectorStride + piece * ReadPieceSize;
    return {dataReply(FlashDataReply, data)};
}

std::vector<SimulatedUnit::Message> SimulatedUnit::eraseBlock(const std::uint8_t *message, std::size_t size)
{
    if (!lengthIs(CMD_ERASE_BLOCK, size, EraseBlockLength)
        || !argumentMarkerPresent(CMD_ERASE_BLOCK, message))
        return {};
    requireActive(CMD_ERASE_BLOCK);
    const int block = int(groups(message + ArgumentPosition, BlockGroups));
    if (block >= Blocks) {
        ++counters.rejectedRequests;
        error("CMD_ERASE_BLOCK of block %d lies outside the NAND", block);
        return {};
    }
    // A retry after a lost reply starts over with an erase, so a page left open is simply dropped.
    closeOpenPage();
    ++counters.erases;
    if (takeFailure(eraseFailures, block, 0)) {
        ++counters.failedErases;
        return {reply(EraseStatusReply, StatusFailed)};
    }
    for (int page = 0; page < PagesPerBlock; ++page)
        pages[pageIndex(block, page)].reset();
    ++blockErasures[block];
    return {reply(EraseStatusReply, successStatus)};
}

std::vector<SimulatedUnit::Message> SimulatedUnit::writePage(const std::uint8_t *message, std::size_t size)
{
    if (!lengthIs(CMD_WRITE_PAGE, size, WritePageLength) || !argumentMarkerPresent(CMD_WRITE_PAGE, message))
        return {};
    requireActive(CMD_WRITE_PAGE);
    const int block = int(groups(message + ArgumentPosition, BlockGroups));
    const int page = message[ArgumentPosition + BlockGroups];
    if (!inNand(block, page)) {
        ++counters.rejectedRequests;
        error("CMD_WRITE_PAGE of block %d page %d lies outside the NAND", block, page);
        return {};
    }
    closeOpenPage();
    pageOpen = true;
    openPageDamaged = requestDamagedHere;
    openBlock = block;
    openPage = page;
    return {reply(WriteReadyReply)};
}

std::vector<SimulatedUnit::Message> SimulatedUnit::pageDataPiece(
    const std::uint8_t *message, std::size_t size)
{
    if (size < PageDataMinLength || (size - PageDataMinLength) % GroupSize != 0) {
        ++counters.rejectedRequests;
        error("CMD_PAGE_DATA of %zu bytes does not hold whole groups of 5", size);
        return {};
    }
    requireActive(CMD_PAGE_DATA);
    ++counters.pieces;
    bool faulty = false;

    const std::size_t groupCount = (size - PageDataMinLength) / GroupSize;
    std::vector<std::uint8_t> raw;
    for (std::size_t g = 0; g < groupCount; ++g) {
        const std::uint8_t *group = message + GroupsPosition + g * GroupSize;
        const std::uint8_t flags = group[GroupRawBytes];
        if (flags & UnusedFlagBits) {
            faulty = true;
            error("CMD_PAGE_DATA group %zu has flag byte %02X with bits 4 to 6 set", g, flags);
        }
        for (int j = 0; j < GroupRawBytes; ++j)
            raw.push_back(group[j] | (((flags >> j) & 1) ? HighBit : 0));
    }
    const std::uint8_t sum = checksum(raw.data(), raw.size());
    if (sum != message[ChecksumPosition]) {
        faulty = true;
        ++counters.checksumErrors;
        if (!requestDamagedHere)
            error("CMD_PAGE_DATA checksum is %02X, the %zu data bytes give %02X", message[ChecksumPosition],
                raw.size(), sum);
    }

    if (!pageOpen) {
        error("CMD_PAGE_DATA without an open page (no CMD_WRITE_PAGE before it)");
        return {reply(DataAckReply, StatusFailed)};
    }
    const int piece = openPieces++;
    openPageDamaged = openPageDamaged || requestDamagedHere;
    const std::size_t expected = piece < PiecesPerFrame - 1 ? PieceSize
        : piece == PiecesPerFrame - 1                       ? LastPieceSize
                                                            : 0;
    if (raw.size() != expected) {
        faulty = true;
        error("piece %d of block %d page %d carries %zu bytes, expected %zu", piece, openBlock, openPage,
            raw.size(), expected);
    }
    if (openFrame.size() + raw.size() > std::size_t(FrameSize)) {
        error("piece %d of block %d page %d overflows the %d-byte frame; dropped", piece, openBlock, openPage,
            FrameSize);
        return {reply(DataAckReply, StatusFailed)};
    }
    openFrame.insert(openFrame.end(), raw.begin(), raw.end());
    return {reply(DataAckReply, faulty ? StatusFailed : successStatus)};
}

std::vector<SimulatedUnit::Message> SimulatedUnit::programPage(std::size_t size)
{
    if (!lengthIs(CMD_PROGRAM_PAGE, size, ProgramPageLength))
        return {};
    requireActive(CMD_PROGRAM_PAGE);
    if (!pageOpen) {
        error("CMD_PROGRAM_PAGE without an open page (no CMD_WRITE_PAGE before it)");
        return {reply(ProgramStatusReply, StatusFailed)};
    }
    const int block = openBlock;
    const int page = openPage;
    const std::vector<std::uint8_t> received = std::move(openFrame);
    const int pieces = openPieces;
    const bool damaged = openPageDamaged;
    closeOpenPage();

    if (received.size() != std::size_t(FrameSize)) {
        error("CMD_PROGRAM_PAGE of block %d page %d after %d pieces with %zu bytes, expected %d pieces with "
              "%d bytes;"
              " not programmed",
            block, page, pieces, received.size(), PiecesPerFrame, FrameSize);
        return {reply(ProgramStatusReply, StatusFailed)};
    }
    checkFrame(block, page, received.data(), damaged);
    if (takeFailure(programFailures, block, page)) {
        ++counters.failedPrograms;
        return {reply(ProgramStatusReply, StatusFailed)};
    }
    if (takeFailure(silentFailures, block, page)) {
        ++counters.silentFaults;
        failProgram(block, page);
        return {reply(ProgramStatusReply, successStatus)};
    }

    std::unique_ptr<std::uint8_t[]> &stored = pages[pageIndex(block, page)];
    if (stored) {
        error("block %d page %d programmed a second time without an erase", block, page);
    } else {
        stored = std::make_unique<std::uint8_t[]>(FrameSize);
        std::fill_n(stored.get(), FrameSize, Erased);
    }
    // NAND cells can only go from 1 to 0 when programmed.
    for (int i = 0; i < FrameSize; ++i)
        stored[i] &= received[i];
    if (takeFailure(bitFlips, block, page)) {
        ++counters.silentFaults;
        stored[FrameHeadSize + FlippedByte] ^= 1;
    }
    ++counters.pagesProgrammed;
    return {reply(ProgramStatusReply, successStatus)};
}

std::vector<SimulatedUnit::Message> SimulatedUnit::resetNand(const std::uint8_t *message, std::size_t size)
{
    if (!lengthIs(CMD_RESET_NAND, size, ResetNandLength))
        return {};
    const std::uint8_t first = message[ResetFirstPosition];
    const std::uint8_t second = message[ResetSecondPosition];
    if (first != ResetArgument || second != ResetArgument)
        error("CMD_RESET_NAND with arguments %02X %02X, expected 02 02", first, second);
    imageSize = groups(message + ResetSizePosition, SizeGroups);
    if (imageSize == 0 || imageSize > ImageCapacity)
        error("CMD_RESET_NAND with image size %u; the NAND takes 1 to %u bytes", imageSize, ImageCapacity);
    if (imageSizeExpected && imageSize != expectedImageSize)
        error("CMD_RESET_NAND with image size %u, expected %u", imageSize, expectedImageSize);
    const std::uint8_t *code = message + ResetCodePosition;
    if (!std::equal(resetCode.begin(), resetCode.end(), code)) {
        ++counters.rejectedRequests;
        error("CMD_RESET_NAND with reset code %02X %02X %02X %02X, expected %02X %02X %02X %02X; ignored",
            code[0], code[1], code[2], code[3], resetCode[0], resetCode[1], resetCode[2], resetCode[3]);
        return {};
    }
    closeOpenPage();
    activeMode = true;
    ++counters.passesStarted;
    return {reply(ModeReply, ModeActive), reply(NandReadyReply)};
}

std::vector<SimulatedUnit::Message> SimulatedUnit::finish(std::size_t size)
{
    if (!lengthIs(CMD_FINISH, size, FinishLength))
        return {};
    if (pageOpen)
        error("CMD_FINISH while block %d page %d is open and not programmed", openBlock, openPage);
    closeOpenPage();
    activeMode = false;
    ++counters.passesFinished;
    return {reply(ModeReply, ModeIdle)};
}

void SimulatedUnit::checkFrame(int block, int page, const std::uint8_t *frame, bool damaged)
{
    // A frame damaged on its way in is the cable's fault, in its head as in its check bytes.
    if (damaged)
        return;
    // Block 0 takes only bad-block lists; every other block takes image data tagged with its image block.
    if (block == 0 && frame[0] != ListMarker) {
        error("list frame for block 0 page %d starts with %02X, expected A5", page, frame[0]);
    } else if (block != 0 && (frame[1] != frame[0] || frame[2] != frame[0])) {
        error("data frame for block %d page %d has head %02X %02X %02X; the three bytes differ", block, page,
            frame[0], frame[1], frame[2]);
    } else {
        for (int i = block == 0 ? 1 : DataFrameIndexBytes; i < FrameHeadSize; ++i) {
            if (frame[i] != Erased) {
                error("frame for block %d page %d has head byte %d = %02X, expected FF", block, page, i,
                    frame[i]);
                break;
            }
        }
    }
    for (int k = 0; k < SectorsPerPage; ++k) {
        const std::uint8_t *sector = frame + FrameHeadSize + k * SectorStride;
        const auto expected = checkBytes(sector);
        const std::uint8_t *got = sector + SectorSize;
        if (!std::equal(expected.begin(), expected.end(), got)) {
            ++counters.checkByteErrors;
            error("block %d page %d sector %d has check bytes %02X %02X %02X %02X, expected %02X %02X %02X "
                  "%02X",
                block, page, k, got[0], got[1], got[2], got[3], expected[0], expected[1], expected[2],
                expected[3]);
        }
    }
}

std::array<std::uint8_t, SimulatedUnit::CheckBytesPerSector> SimulatedUnit::checkBytes(
    const std::uint8_t *sector)
{
    std::uint8_t all = 0;
    unsigned lines = 0;
    for (int j = 0; j < SectorSize; ++j) {
        all ^= sector[j];
        if (std::bitset<BitsPerByte>(sector[j]).count() % 2 == 1)
            lines ^= (unsigned(SectorSize - 1 - j) << BitsPerByte) | unsigned(j);
    }
    std::array<std::uint8_t, CheckBytesPerSector> bytes{};
    bytes[SectorXorByte] = all;
    bytes[LowLineByte] = lines & ByteMask;
    bytes[HighLineByte] = (lines >> BitsPerByte) & ByteMask;
    bytes[FillerCheckByte] = Erased;
    return bytes;
}

bool SimulatedUnit::takeFailure(std::vector<Failure> &failures, int block, int page)
{
    for (Failure &failure : failures) {
        if (failure.block != block || (failure.page >= 0 && failure.page != page) || failure.timesLeft == 0)
            continue;
        if (failure.timesLeft > 0)
            --failure.timesLeft;
        return true;
    }
    return false;
}

void SimulatedUnit::closeOpenPage()
{
    pageOpen = false;
    openPageDamaged = false;
    openPieces = 0;
    openFrame.clear();
}

SimulatedUnit::Message SimulatedUnit::reply(std::uint8_t replyByte) const
{
    Message message(FrameHead.begin(), FrameHead.end());
    message.push_back(replyByte);
    message.push_back(SysExEnd);
    return message;
}

SimulatedUnit::Message SimulatedUnit::reply(std::uint8_t replyByte, std::uint8_t value) const
{
    Message message = reply(replyByte);
    message.insert(message.end() - 1, value);
    return message;
}

SimulatedUnit::Message SimulatedUnit::dataReply(std::uint8_t replyByte, const std::uint8_t *data)
{
    std::uint8_t byte10 = checksum(data, ReadPieceSize);
    if (dataChecksumNoise)
        byte10 = std::uint8_t(dataChecksumRandom() & SevenBits);
    else if (dataChecksumFill >= 0)
        byte10 = std::uint8_t(dataChecksumFill & SevenBits);
    Message message = reply(replyByte, byte10);
    message.pop_back();
    for (int g = 0; g < ReadPieceSize / GroupRawBytes; ++g) {
        std::uint8_t flags = 0;
        for (int j = 0; j < GroupRawBytes; ++j) {
            const std::uint8_t byte = data[g * GroupRawBytes + j];
            message.push_back(byte & SevenBits);
            if (byte & HighBit)
                flags |= 1 << j;
        }
        message.push_back(flags);
    }
    message.push_back(SysExEnd);
    return message;
}

void SimulatedUnit::error(const char *format, ...)
{
    char text[256];
    const int prefix = std::snprintf(text, sizeof text, "request %d: ", requestNumber);
    va_list arguments;
    va_start(arguments, format);
    std::vsnprintf(text + prefix, sizeof text - prefix, format, arguments);
    va_end(arguments);
    errorList.emplace_back(text);
}

bool SimulatedUnit::inNand(int block, int page)
{
    return block >= 0 && block < Blocks && page >= 0 && page < PagesPerBlock;
}

const std::uint8_t *SimulatedUnit::frame(int block, int page) const
{
    if (!inNand(block, page))
        return nullptr;
    const std::unique_ptr<std::uint8_t[]> &stored = pages[pageIndex(block, page)];
    return stored ? stored.get() : erasedFrame.data();
}

bool SimulatedUnit::programmed(int block, int page) const
{
    return inNand(block, page) && pages[pageIndex(block, page)];
}

std::vector<std::uint8_t> SimulatedUnit::pageData(int block, int page) const
{
    std::vector<std::uint8_t> data;
    if (!inNand(block, page))
        return data;
    const std::uint8_t *stored = frame(block, page);
    for (int k = 0; k < SectorsPerPage; ++k) {
        const std::uint8_t *sector = stored + FrameHeadSize + k * SectorStride;
        data.insert(data.end(), sector, sector + SectorSize);
    }
    return data;
}

int SimulatedUnit::eraseCount(int block) const
{
    return block >= 0 && block < Blocks ? blockErasures[block] : 0;
}

void SimulatedUnit::setSerial(std::uint32_t serial)
{
    serialNumber = serial;
}

void SimulatedUnit::setVersion(std::uint16_t value)
{
    version = value;
}

void SimulatedUnit::setInfoText(const std::string &text)
{
    infoText = text;
}

void SimulatedUnit::setResetCode(const ResetCode &code)
{
    resetCode = code;
}

void SimulatedUnit::expectImageSize(std::uint32_t size)
{
    imageSizeExpected = true;
    expectedImageSize = size;
}

void SimulatedUnit::setActive(bool active)
{
    activeMode = active;
}

void SimulatedUnit::setFactoryDefects(const std::vector<int> &blocks)
{
    defectBitmap.fill(0);
    for (int block : blocks) {
        if (block >= 0 && block < Blocks)
            defectBitmap[block / BitsPerByte] |= 1 << (block % BitsPerByte);
    }
}

void SimulatedUnit::storeFrame(int block, int page, const std::uint8_t *source)
{
    if (!inNand(block, page) || !source)
        return;
    std::unique_ptr<std::uint8_t[]> &stored = pages[pageIndex(block, page)];
    stored = std::make_unique<std::uint8_t[]>(FrameSize);
    std::copy_n(source, FrameSize, stored.get());
}

void SimulatedUnit::storeList(int page, std::int16_t factoryDefects, const std::vector<int> &badBlocks)
{
    std::vector<std::uint8_t> list(FrameSize, Erased);
    list[0] = ListMarker;
    std::uint8_t *sector = list.data() + FrameHeadSize;
    sector[0] = ListMarker;
    sector[1] = ListMarker;
    sector[ListCountOffset] = std::uint16_t(factoryDefects) & ByteMask;
    sector[ListCountOffset + 1] = std::uint16_t(factoryDefects) >> BitsPerByte;
    const std::size_t entries = std::min(badBlocks.size(), std::size_t(ListEntriesPerSector));
    for (std::size_t i = 0; i < entries; ++i) {
        std::uint8_t *entry = sector + ListEntriesOffset + ListEntrySize * i;
        entry[0] = std::uint16_t(badBlocks[i]) & ByteMask;
        entry[1] = std::uint16_t(badBlocks[i]) >> BitsPerByte;
    }
    for (int k = 0; k < SectorsPerPage; ++k) {
        std::uint8_t *data = list.data() + FrameHeadSize + k * SectorStride;
        const auto check = checkBytes(data);
        std::copy(check.begin(), check.end(), data + SectorSize);
    }
    storeFrame(0, page, list.data());
}

void SimulatedUnit::failErase(int block, int times)
{
    eraseFailures.push_back({block, -1, times});
}

void SimulatedUnit::failProgram(int block, int page, int times)
{
    programFailures.push_back({block, page, times});
}

void SimulatedUnit::flipStoredBit(int block, int page, int times)
{
    bitFlips.push_back({block, page, times});
}

void SimulatedUnit::failProgramSilently(int block, int page)
{
    silentFailures.push_back({block, page, 1});
}

void SimulatedUnit::injectReplyFault(Fault fault, int nth, bool every)
{
    faults.add(fault, nth, every);
}

void SimulatedUnit::injectDelay(int nth, int releaseAfterRequests, bool every)
{
    faults.add(Fault::Delay, nth, every, releaseAfterRequests);
}

void SimulatedUnit::injectCorruption(int nth, int position, std::uint8_t mask, bool every)
{
    faults.add(Fault::Corrupt, nth, every, 0, position, mask);
}

void SimulatedUnit::damagePiece(int nth)
{
    damages.push_back({CMD_PAGE_DATA, nth, GroupsPosition, 1});
}

bool SimulatedUnit::damageFits(RequestDamage what, int bit)
{
    switch (what) {
    case RequestDamage::EraseBlock:
        return bit >= 0 && bit < BlockGroups * GroupBits;
    case RequestDamage::PageAddress:
        return bit >= 0 && bit < GroupBits;
    case RequestDamage::PieceHighBit:
        return bit >= 0 && bit < PieceSize;
    }
    return false;
}

void SimulatedUnit::damageRequest(RequestDamage what, int nth, int bit)
{
    if (!damageFits(what, bit))
        return;
    switch (what) {
    case RequestDamage::EraseBlock:
        damages.push_back(
            {CMD_ERASE_BLOCK, nth, ArgumentPosition + bit / GroupBits, std::uint8_t(1 << bit % GroupBits)});
        break;
    case RequestDamage::PageAddress:
        damages.push_back({CMD_WRITE_PAGE, nth, ArgumentPosition + BlockGroups, std::uint8_t(1 << bit)});
        break;
    case RequestDamage::PieceHighBit:
        // Bit 7 of each byte travels in the flag byte that ends its group of four.
        damages.push_back({CMD_PAGE_DATA, nth,
            GroupsPosition + std::size_t(bit / GroupRawBytes) * GroupSize + GroupRawBytes,
            std::uint8_t(1 << bit % GroupRawBytes)});
        break;
    }
}

void SimulatedUnit::fillDataChecksumWith(std::uint8_t value)
{
    dataChecksumFill = value;
}

void SimulatedUnit::fillDataChecksumWithNoise(std::uint32_t seed)
{
    dataChecksumNoise = true;
    dataChecksumRandom.seed(seed);
}

void SimulatedUnit::answerSuccessWith(std::uint8_t value)
{
    successStatus = value;
}

void SimulatedUnit::silenceAfterRequest(int number)
{
    silenceAfter = number;
}

SimulatedUnit::Stats SimulatedUnit::stats() const
{
    Stats result = counters;
    result.repliesProduced = faults.produced();
    result.repliesLost = faults.lost();
    result.repliesDelayed = faults.held();
    result.repliesHeld = faults.stillHeld();
    result.repliesDuplicated = faults.duplicated();
    result.repliesCorrupted = faults.corrupted();
    result.repliesPrefixed = faults.prefixed();
    return result;
}
