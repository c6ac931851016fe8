#include "MidiTestSupport.h"
#include "SimulatedDevice.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

namespace {

using Replies = std::vector<Bytes>;

Bytes operator+(Bytes a, const Bytes &b)
{
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

Bytes repeat(std::size_t count, std::uint8_t value)
{
    return Bytes(count, value);
}

const Bytes Head{0xF0, 0x00, 0x11, 0x22, 0x0A, 0x00, 0x00, 0x00, 0x00};
const Bytes End{0xF7};

Bytes sysex(std::uint8_t command, const Bytes &payload = {})
{
    return Head + Bytes{command} + payload + End;
}

const Bytes Identify = sysex(0x00);
const Bytes ResetNand = sysex(0x0E, Bytes{0x02, 0x02, 0x68, 0x07, 0x00, 0x00} + configuredResetCode());
const Bytes Finish = sysex(0x0F);
const Bytes ProgramPage = sysex(0x0D);
const Bytes WriteReady = sysex(0x2B);
const Bytes NandReady = sysex(0x2E);
const Bytes ModeActive = sysex(0x43, {0x01});
const Bytes ModeIdle = sysex(0x43, {0x00});
const Bytes EraseOk = sysex(0x2A, {0x00});
const Bytes EraseFailed = sysex(0x2A, {0x02});
const Bytes ProgramOk = sysex(0x2D, {0x00});
const Bytes ProgramFailed = sysex(0x2D, {0x02});
const Bytes DataAck = sysex(0x2C, {0x00});

Bytes eraseBlock(int block)
{
    return sysex(0x0A, {0x7F, std::uint8_t(block & 0x7F), std::uint8_t(block >> 7)});
}

Bytes writePage(int block, int page)
{
    return sysex(0x0B, {0x7F, std::uint8_t(block & 0x7F), std::uint8_t(block >> 7), std::uint8_t(page)});
}

Bytes readFlash(int address, int piece)
{
    return sysex(0x09,
        {0x7F, std::uint8_t(address & 0x7F), std::uint8_t((address >> 7) & 0x7F), std::uint8_t(address >> 14),
            std::uint8_t(piece)});
}

Bytes readDefects(int part)
{
    return sysex(0x08, {0x7F, std::uint8_t(part)});
}

// Four raw bytes as five: the low seven bits of each, then their top bits in the flag byte.
Bytes packed(const Bytes &raw)
{
    Bytes out;
    for (std::size_t g = 0; g < raw.size(); g += 4) {
        std::uint8_t flags = 0;
        for (std::size_t j = 0; j < 4; ++j) {
            out.push_back(raw[g + j] & 0x7F);
            flags |= (raw[g + j] >> 7) << j;
        }
        out.push_back(flags);
    }
    return out;
}

Bytes pageData(const Bytes &raw)
{
    unsigned sum = 0;
    for (std::uint8_t byte : raw)
        sum += byte;
    return sysex(0x0C, Bytes{std::uint8_t(sum & 0x7F)} + packed(raw));
}

// A data frame for image block 1: head 01 01 01, then eight sectors with their check bytes.
Bytes dataFrame(const std::vector<Bytes> &sectors, const std::vector<Bytes> &checks)
{
    Bytes frame = Bytes{0x01, 0x01, 0x01} + repeat(13, 0xFF);
    for (std::size_t k = 0; k < 8; ++k)
        frame = frame + sectors[k] + checks[k];
    return frame;
}

Bytes sectorWith(std::vector<std::pair<int, std::uint8_t>> bytes, std::uint8_t fill = 0x00)
{
    Bytes sector(256, fill);
    for (auto [position, value] : bytes)
        sector[position] = value;
    return sector;
}

const Bytes Erased = repeat(256, 0xFF);
const Bytes ErasedCheck{0x00, 0x00, 0x00, 0xFF};

Bytes erasedDataFrame()
{
    return dataFrame(std::vector<Bytes>(8, Erased), std::vector<Bytes>(8, ErasedCheck));
}

class Unit
{
public:
    Unit() { unit.setActive(true); }

    Replies send(const Bytes &request) { return unit.handle(request.data(), request.size()); }

    // Opens the page, sends the first `pieces` of the frame's 33 pieces as the updater does and programs
    // it; returns every reply in order.
    Replies writeFrame(int block, int page, const Bytes &frame, int pieces = 33)
    {
        Replies replies = send(writePage(block, page));
        for (int i = 0; i < pieces; ++i) {
            const std::size_t offset = 64 * std::size_t(i);
            const std::size_t length = std::min<std::size_t>(64, frame.size() - offset);
            const Replies acks
                = send(pageData(Bytes(frame.begin() + offset, frame.begin() + offset + length)));
            replies.insert(replies.end(), acks.begin(), acks.end());
        }
        const Replies status = send(ProgramPage);
        replies.insert(replies.end(), status.begin(), status.end());
        return replies;
    }

    Bytes stored(int block, int page) const
    {
        const std::uint8_t *frame = unit.frame(block, page);
        return Bytes(frame, frame + SimulatedUnit::FrameSize);
    }

    SimulatedUnit unit;
};

TEST(SimulatedUnitAnswers, EachCommandGetsItsReply)
{
    struct Case
    {
        const char *name;
        Bytes request;
        Replies replies;
    };
    const std::vector<Case> cases{
        {"identify", Identify,
            {{0xF0, 0x00, 0x11, 0x22, 0x0A, 0x15, 0x4D, 0x0B, 0x00, 0x20, 0x05, 0x02, 0x56, 0x31, 0x7F,
                0xF7}}},
        {"reset", ResetNand, {ModeActive, NandReady}},
        {"finish", Finish, {ModeIdle}},
        {"erase of the last block", sysex(0x0A, {0x7F, 0x7F, 0x07}), {EraseOk}},
        {"write of the last page", sysex(0x0B, {0x7F, 0x7F, 0x07, 0x3F}), {WriteReady}},
        {"empty piece", sysex(0x0C, {0x00}), {sysex(0x2C, {0x02})}},
        {"unknown command", sysex(0x21), {}},
    };
    for (const Case &c : cases) {
        Unit sim;
        sim.unit.setSerial(190101);
        sim.unit.setVersion(261);
        sim.unit.setInfoText("V1");
        EXPECT_EQ(sim.send(c.request), c.replies) << c.name;
    }
}

TEST(SimulatedUnitAnswers, DefectListComesAsABitmapInTwoParts)
{
    Unit sim;
    sim.unit.setFactoryDefects({0, 9, 511, 512, 1023});
    const Bytes firstGroups
        = Bytes{0x01, 0x02, 0x00, 0x00, 0x00} + repeat(70, 0x00) + Bytes{0x00, 0x00, 0x00, 0x00, 0x08};
    const Bytes secondGroups
        = Bytes{0x01, 0x00, 0x00, 0x00, 0x00} + repeat(70, 0x00) + Bytes{0x00, 0x00, 0x00, 0x00, 0x08};
    EXPECT_EQ(sim.send(readDefects(0)), Replies{sysex(0x28, Bytes{0x03} + firstGroups)});
    EXPECT_EQ(sim.send(readDefects(1)), Replies{sysex(0x28, Bytes{0x01} + secondGroups)});
    EXPECT_TRUE(sim.unit.errors().empty());
}

TEST(SimulatedUnitAnswers, StoredListReadsBackFromItsPage)
{
    Unit sim;
    sim.unit.storeList(5, 2, {7, 300, 1023});
    const Bytes firstPiece
        = Bytes{0x25, 0x25, 0x02, 0x00, 0x03, 0x07, 0x00, 0x2C, 0x01, 0x00, 0x7F, 0x03, 0x7F, 0x7F, 0x0D};
    Bytes erasedGroups;
    for (int g = 0; g < 13; ++g)
        erasedGroups = erasedGroups + Bytes{0x7F, 0x7F, 0x7F, 0x7F, 0x0F};
    EXPECT_EQ(sim.send(readFlash(5 * 8, 0)), Replies{sysex(0x29, Bytes{0x4C} + firstPiece + erasedGroups)});
    const Bytes allErased{0x7F, 0x7F, 0x7F, 0x7F, 0x0F};
    EXPECT_EQ(sim.send(readFlash(5 * 8, 3)),
        Replies{sysex(0x29, Bytes{0x40} + erasedGroups + allErased + allErased + allErased)});

    const Bytes sector
        = Bytes{0xA5, 0xA5, 0x02, 0x00, 0x07, 0x00, 0x2C, 0x01, 0xFF, 0x03} + repeat(246, 0xFF);
    Bytes expected = Bytes{0xA5} + repeat(15, 0xFF) + sector + Bytes{0xD4, 0x07, 0x07, 0xFF};
    for (int k = 1; k < 8; ++k)
        expected = expected + Erased + ErasedCheck;
    EXPECT_EQ(sim.stored(0, 5), expected);
    EXPECT_TRUE(sim.unit.programmed(0, 5));
    EXPECT_FALSE(sim.unit.programmed(0, 6));
}

const std::vector<Bytes> PatternSectors{
    sectorWith({}),
    sectorWith({{0, 0x01}}),
    sectorWith({{5, 0x07}}),
    sectorWith({{0, 0x03}}),
    sectorWith({{1, 0x01}, {2, 0x01}}),
    sectorWith({{255, 0x80}}),
    Erased,
    Erased,
};
const std::vector<Bytes> PatternChecks{
    {0x00, 0x00, 0x00, 0xFF},
    {0x01, 0x00, 0xFF, 0xFF},
    {0x07, 0x05, 0xFA, 0xFF},
    {0x03, 0x00, 0x00, 0xFF},
    {0x00, 0x03, 0x03, 0xFF},
    {0x80, 0xFF, 0x00, 0xFF},
    {0x00, 0x00, 0x00, 0xFF},
    {0x00, 0x00, 0x00, 0xFF},
};

Replies pageAnswers(const Bytes &last)
{
    Replies replies{WriteReady};
    replies.insert(replies.end(), 33, DataAck);
    replies.push_back(last);
    return replies;
}

TEST(SimulatedUnitNand, WrittenPageReadsBackSectorBySector)
{
    Unit sim;
    const Bytes frame = dataFrame(PatternSectors, PatternChecks);
    EXPECT_EQ(sim.writeFrame(3, 5, frame), pageAnswers(ProgramOk));
    EXPECT_TRUE(sim.unit.errors().empty()) << sim.unit.errors().front();
    EXPECT_TRUE(sim.unit.programmed(3, 5));
    EXPECT_EQ(sim.stored(3, 5), frame);

    Bytes data;
    for (const Bytes &sector : PatternSectors)
        data = data + sector;
    EXPECT_EQ(sim.unit.pageData(3, 5), data);

    const int firstSector = (3 * 64 + 5) * 8;
    EXPECT_EQ(sim.send(readFlash(firstSector + 2, 0)),
        Replies{sysex(0x29,
            Bytes{0x07, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x07, 0x00, 0x00, 0x00} + repeat(70, 0x00))});
    EXPECT_EQ(sim.send(sysex(0x09, {0x7F, 0x2D, 0x0C, 0x00, 0x03})),
        Replies{sysex(0x29, repeat(80, 0x00) + Bytes{0x08})});
}

TEST(SimulatedUnitNand, CheckBytesOfEverySectorAreVerified)
{
    for (std::size_t pattern = 0; pattern < PatternSectors.size(); ++pattern) {
        std::vector<Bytes> sectors(8, Erased);
        std::vector<Bytes> checks(8, ErasedCheck);
        sectors[6] = PatternSectors[pattern];
        checks[6] = PatternChecks[pattern];
        Unit sound;
        EXPECT_EQ(sound.writeFrame(2, 0, dataFrame(sectors, checks)), pageAnswers(ProgramOk)) << pattern;
        EXPECT_TRUE(sound.unit.errors().empty()) << pattern;

        for (int byte = 0; byte < 4; ++byte) {
            const Bytes right = PatternChecks[pattern];
            Bytes wrong = right;
            wrong[byte] ^= 0x01;
            checks[6] = wrong;
            Unit faulty;
            faulty.writeFrame(2, 0, dataFrame(sectors, checks));
            checks[6] = right;
            char expected[160];
            std::snprintf(expected, sizeof expected,
                "request 35: block 2 page 0 sector 6 has check bytes %02X %02X %02X %02X, expected %02X "
                "%02X %02X %02X",
                wrong[0], wrong[1], wrong[2], wrong[3], right[0], right[1], right[2], right[3]);
            EXPECT_EQ(faulty.unit.errors(), std::vector<std::string>{expected})
                << pattern << " byte " << byte;
        }
    }
}

TEST(SimulatedUnitNand, EraseReturnsTheWholeBlockToOnes)
{
    Unit sim;
    const Bytes frame = dataFrame(PatternSectors, PatternChecks);
    sim.writeFrame(4, 0, frame);
    sim.writeFrame(4, 63, frame);
    sim.writeFrame(5, 0, frame);
    EXPECT_EQ(sim.send(eraseBlock(4)), Replies{EraseOk});
    EXPECT_EQ(sim.stored(4, 0), repeat(2096, 0xFF));
    EXPECT_EQ(sim.stored(4, 63), repeat(2096, 0xFF));
    EXPECT_FALSE(sim.unit.programmed(4, 0));
    EXPECT_FALSE(sim.unit.programmed(4, 63));
    EXPECT_EQ(sim.stored(5, 0), frame);
    EXPECT_EQ(sim.unit.eraseCount(4), 1);
    EXPECT_EQ(sim.unit.eraseCount(5), 0);

    EXPECT_EQ(sim.writeFrame(4, 0, frame), pageAnswers(ProgramOk));
    EXPECT_TRUE(sim.unit.errors().empty());
}

TEST(SimulatedUnitNand, SecondProgramWithoutEraseOnlyClearsBitsAndIsAnError)
{
    Unit sim;
    std::vector<Bytes> sectors(8, Erased);
    std::vector<Bytes> checks(8, ErasedCheck);
    sectors[0] = sectorWith({{0, 0x0F}}, 0xFF);
    checks[0] = {0xF0, 0x00, 0x00, 0xFF};
    sim.writeFrame(2, 3, dataFrame(sectors, checks));
    sectors[0] = sectorWith({{0, 0xF0}}, 0xFF);
    checks[0] = {0x0F, 0x00, 0x00, 0xFF};
    EXPECT_EQ(sim.writeFrame(2, 3, dataFrame(sectors, checks)), pageAnswers(ProgramOk));

    sectors[0] = sectorWith({{0, 0x00}}, 0xFF);
    checks[0] = {0x00, 0x00, 0x00, 0xFF};
    EXPECT_EQ(sim.stored(2, 3), dataFrame(sectors, checks));
    EXPECT_EQ(sim.unit.errors(),
        std::vector<std::string>{"request 70: block 2 page 3 programmed a second time without an erase"});
}

// Each case: requests sent in turn to an active unit, the replies to the last one and the one error recorded.
TEST(SimulatedUnitChecks, FaultyRequestsAreRecorded)
{
    struct Case
    {
        std::vector<Bytes> requests;
        Replies replies;
        std::string error;
    };
    const Bytes ones = packed(repeat(64, 0xFF));
    const Bytes code = configuredResetCode();
    const auto reset = [&code](const Bytes &arguments) { return sysex(0x0E, arguments + code); };
    Bytes wrongCode = code;
    wrongCode[3] ^= 0x01;
    const Replies refused{sysex(0x2C, {0x02})};
    const Replies ready{ModeActive, NandReady};
    const std::vector<Case> cases{
        {{{0xF0, 0x01, 0x11, 0x22, 0x0A, 0x00, 0x00, 0x00, 0x00, 0x00, 0xF7}}, {},
            "request 1: wrong frame head: byte 1 is 01, expected 00"},
        {{{0xF0, 0x00, 0x11, 0x22, 0x0B, 0x00, 0x00, 0x00, 0x00, 0x00, 0xF7}}, {},
            "request 1: wrong frame head: byte 4 is 0B, expected 0A"},
        {{{0xF0, 0x00, 0x11, 0x22, 0x0A, 0x01, 0x00, 0x00, 0x00, 0x00, 0xF7}}, {},
            "request 1: wrong frame head: byte 5 is 01, expected 00"},
        {{{0xF0, 0x00, 0x11, 0x22, 0x0A, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00}}, {},
            "request 1: message does not end with F7 (last byte 00)"},
        {{sysex(0x0A, {0x7F, 0x85, 0x00})}, {}, "request 1: byte 11 is 85: bit 7 set inside the message"},
        {{{0xF0, 0xF7}}, {}, "request 1: message of 2 bytes is too short for a request"},
        {{Bytes{}}, {}, "request 1: message of 0 bytes is too short for a request"},
        {{sysex(0x00, {0x00})}, {}, "request 1: CMD_IDENTIFY of 12 bytes, expected 11"},
        {{sysex(0x0A, {0x00, 0x01, 0x00})}, {},
            "request 1: CMD_ERASE_BLOCK without the argument marker 7F (byte 10 is 00)"},
        {{eraseBlock(1024)}, {}, "request 1: CMD_ERASE_BLOCK of block 1024 lies outside the NAND"},
        {{writePage(1, 64)}, {}, "request 1: CMD_WRITE_PAGE of block 1 page 64 lies outside the NAND"},
        {{readFlash(0, 4)}, {}, "request 1: CMD_READ_FLASH of sector 0 piece 4 lies outside the NAND"},
        {{readFlash(524288, 0)}, {},
            "request 1: CMD_READ_FLASH of sector 524288 piece 0 lies outside the NAND"},
        {{readDefects(2)}, {}, "request 1: CMD_READ_DEFECTS of part 2; the defect list has parts 0 and 1"},
        {{sysex(0x10)}, {}, "request 1: unknown command byte 10"},
        {{writePage(1, 0), sysex(0x0C, Bytes{0x41} + ones)}, refused,
            "request 2: CMD_PAGE_DATA checksum is 41, the 64 data bytes give 40"},
        {{writePage(1, 0), sysex(0x0C, {0x7E, 0x00, 0x00, 0x7F, 0x7F, 0x05})}, refused,
            "request 2: piece 0 of block 1 page 0 carries 4 bytes, expected 64"},
        {{writePage(1, 0), sysex(0x0C, Bytes{0x40} + Bytes(ones.begin(), ones.end() - 1) + Bytes{0x1F})},
            refused, "request 2: CMD_PAGE_DATA group 15 has flag byte 1F with bits 4 to 6 set"},
        {{writePage(1, 0), sysex(0x0C, {0x00, 0x01, 0x02})}, {},
            "request 2: CMD_PAGE_DATA of 14 bytes does not hold whole groups of 5"},
        {{sysex(0x0C, Bytes{0x40} + ones)}, refused,
            "request 1: CMD_PAGE_DATA without an open page (no CMD_WRITE_PAGE before it)"},
        {{ProgramPage}, {ProgramFailed},
            "request 1: CMD_PROGRAM_PAGE without an open page (no CMD_WRITE_PAGE before it)"},
        {{writePage(1, 0), Finish}, {ModeIdle},
            "request 2: CMD_FINISH while block 1 page 0 is open and not programmed"},
        {{sysex(0x0E, Bytes{0x02, 0x02, 0x68, 0x07, 0x00, 0x00} + wrongCode)}, {},
            "request 1: CMD_RESET_NAND with reset code " + spacedHex(wrongCode) + ", expected "
                + spacedHex(code) + "; ignored"},
        {{reset({0x01, 0x02, 0x68, 0x07, 0x00, 0x00})}, ready,
            "request 1: CMD_RESET_NAND with arguments 01 02, expected 02 02"},
        {{reset({0x02, 0x02, 0x00, 0x00, 0x00, 0x00})}, ready,
            "request 1: CMD_RESET_NAND with image size 0; the NAND takes 1 to 134086656 bytes"},
        {{reset({0x02, 0x02, 0x01, 0x00, 0x78, 0x3F})}, ready,
            "request 1: CMD_RESET_NAND with image size 134086657; the NAND takes 1 to 134086656 bytes"},
    };
    for (const Case &c : cases) {
        Unit sim;
        Replies replies;
        for (const Bytes &request : c.requests)
            replies = sim.send(request);
        EXPECT_EQ(replies, c.replies) << c.error;
        EXPECT_EQ(sim.unit.errors(), std::vector<std::string>{c.error});
    }
}

TEST(SimulatedUnitChecks, ResetCodeAndImageSizeAreTheTestsToChoose)
{
    SimulatedUnit unit({0x01, 0x02, 0x03, 0x04});
    unit.expectImageSize(3915345);
    const Bytes reset = sysex(0x0E, {0x02, 0x02, 0x50, 0x7C, 0x6E, 0x01, 0x01, 0x02, 0x03, 0x04});
    EXPECT_EQ(unit.handle(reset.data(), reset.size()), (Replies{ModeActive, NandReady}));
    EXPECT_EQ(unit.lastImageSize(), 3915344u);
    EXPECT_EQ(unit.errors(),
        std::vector<std::string>{"request 1: CMD_RESET_NAND with image size 3915344, expected 3915345"});
}

TEST(SimulatedUnitChecks, NandCommandsWhileIdleAreRecordedButCarriedOut)
{
    SimulatedUnit unit;
    const Bytes erase = eraseBlock(1);
    EXPECT_EQ(unit.handle(erase.data(), erase.size()), Replies{EraseOk});
    EXPECT_EQ(unit.errors(),
        std::vector<std::string>{
            "request 1: CMD_ERASE_BLOCK while the unit is idle (no CMD_RESET_NAND before it)"});
    EXPECT_EQ(unit.handle(ResetNand.data(), ResetNand.size()), (Replies{ModeActive, NandReady}));
    EXPECT_EQ(unit.handle(Finish.data(), Finish.size()), Replies{ModeIdle});
    EXPECT_FALSE(unit.active());
}

TEST(SimulatedUnitChecks, FaultyProgramsAreRecorded)
{
    struct Case
    {
        const char *name;
        int block;
        Bytes frame;
        int pieces;
        Bytes status;
        bool programmed;
        std::string error;
    };
    Bytes otherHead = erasedDataFrame();
    otherHead[1] = 0x02;
    Bytes headFill = erasedDataFrame();
    headFill[15] = 0x00;
    const std::vector<Case> cases{
        {"a piece missing", 1, erasedDataFrame(), 32, ProgramFailed, false,
            "request 34: CMD_PROGRAM_PAGE of block 1 page 0 after 32 pieces with 2048 bytes, expected 33 "
            "pieces with "
            "2096 bytes; not programmed"},
        {"data head bytes differ", 1, otherHead, 33, ProgramOk, true,
            "request 35: data frame for block 1 page 0 has head 01 02 01; the three bytes differ"},
        {"head not filled with ones", 1, headFill, 33, ProgramOk, true,
            "request 35: frame for block 1 page 0 has head byte 15 = 00, expected FF"},
        {"data frame in block 0", 0, erasedDataFrame(), 33, ProgramOk, true,
            "request 35: list frame for block 0 page 0 starts with 01, expected A5"},
    };
    for (const Case &c : cases) {
        Unit sim;
        EXPECT_EQ(sim.writeFrame(c.block, 0, c.frame, c.pieces).back(), c.status) << c.name;
        EXPECT_EQ(sim.unit.programmed(c.block, 0), c.programmed) << c.name;
        EXPECT_EQ(sim.unit.errors(), std::vector<std::string>{c.error}) << c.name;
    }
}

TEST(SimulatedUnitFaults, EraseFailuresFollowTheirSchedule)
{
    struct Case
    {
        int failingBlock, times, erasedBlock;
        Replies statuses;
    };
    const std::vector<Case> cases{
        {5, -1, 5, {EraseFailed, EraseFailed, EraseFailed}},
        {5, 2, 5, {EraseFailed, EraseFailed, EraseOk}},
        {5, -1, 6, {EraseOk, EraseOk, EraseOk}},
    };
    for (const Case &c : cases) {
        Unit sim;
        sim.unit.failErase(c.failingBlock, c.times);
        Replies statuses;
        for (int i = 0; i < 3; ++i)
            statuses.push_back(sim.send(eraseBlock(c.erasedBlock)).front());
        EXPECT_EQ(statuses, c.statuses) << c.failingBlock << " " << c.times << " " << c.erasedBlock;
        EXPECT_EQ(
            sim.unit.eraseCount(c.erasedBlock), int(std::count(statuses.begin(), statuses.end(), EraseOk)));
        EXPECT_TRUE(sim.unit.errors().empty());
    }
}

TEST(SimulatedUnitFaults, ProgramFailuresFollowTheirSchedule)
{
    struct Case
    {
        int block, page, times;
        std::vector<std::pair<int, int>> writes;
        Replies statuses;
    };
    const std::vector<Case> cases{
        {2, 3, 1, {{2, 3}, {2, 3}}, {ProgramFailed, ProgramOk}},
        {2, 3, -1, {{2, 3}, {2, 4}}, {ProgramFailed, ProgramOk}},
        {2, -1, -1, {{2, 0}, {2, 63}, {3, 0}}, {ProgramFailed, ProgramFailed, ProgramOk}},
    };
    for (const Case &c : cases) {
        Unit sim;
        sim.unit.failProgram(c.block, c.page, c.times);
        Replies statuses;
        for (auto [block, page] : c.writes) {
            statuses.push_back(sim.writeFrame(block, page, erasedDataFrame()).back());
            EXPECT_EQ(sim.unit.programmed(block, page), statuses.back() == ProgramOk);
        }
        EXPECT_EQ(statuses, c.statuses) << c.block << " " << c.page << " " << c.times;
        EXPECT_TRUE(sim.unit.errors().empty());
    }
}

TEST(SimulatedUnitFaults, RepliesAreLostHeldDuplicatedOrCorrupted)
{
    using Fault = SimulatedUnit::Fault;
    const Bytes identity = Unit().send(Identify).front();
    const std::vector<Bytes> requests{Identify, eraseBlock(1), readDefects(0), Finish};
    const Bytes NoDefects = sysex(0x28, repeat(81, 0x00));
    struct Case
    {
        const char *name;
        std::function<void(SimulatedUnit &)> inject;
        std::vector<Replies> replies;
        Replies heldAtEnd;
        int lost, delayed, duplicated, corrupted;
    };
    const std::vector<Case> cases{
        {"none", [](SimulatedUnit &) {}, {{identity}, {EraseOk}, {NoDefects}, {ModeIdle}}, {}, 0, 0, 0, 0},
        {"second lost", [](SimulatedUnit &unit) { unit.injectReplyFault(Fault::Lose, 2); },
            {{identity}, {}, {NoDefects}, {ModeIdle}}, {}, 1, 0, 0, 0},
        {"every second lost", [](SimulatedUnit &unit) { unit.injectReplyFault(Fault::Lose, 2, true); },
            {{identity}, {}, {NoDefects}, {}}, {}, 2, 0, 0, 0},
        {"third duplicated", [](SimulatedUnit &unit) { unit.injectReplyFault(Fault::Duplicate, 3); },
            {{identity}, {EraseOk}, {NoDefects, NoDefects}, {ModeIdle}}, {}, 0, 0, 1, 0},
        {"second held until released", [](SimulatedUnit &unit) { unit.injectReplyFault(Fault::Delay, 2); },
            {{identity}, {}, {NoDefects}, {ModeIdle}}, {EraseOk}, 0, 1, 0, 0},
        {"second held for one request", [](SimulatedUnit &unit) { unit.injectDelay(2, 1); },
            {{identity}, {}, {EraseOk, NoDefects}, {ModeIdle}}, {}, 0, 1, 0, 0},
        {"first held for three requests", [](SimulatedUnit &unit) { unit.injectDelay(1, 3); },
            {{}, {EraseOk}, {NoDefects}, {identity, ModeIdle}}, {}, 0, 1, 0, 0},
        {"second with an unknown reply byte",
            [](SimulatedUnit &unit) { unit.injectReplyFault(Fault::Corrupt, 2); },
            {{identity}, {sysex(0x3A, {0x00})}, {NoDefects}, {ModeIdle}}, {}, 0, 0, 0, 1},
        {"second with its status flipped", [](SimulatedUnit &unit) { unit.injectCorruption(2, 10, 0x02); },
            {{identity}, {EraseFailed}, {NoDefects}, {ModeIdle}}, {}, 0, 0, 0, 1},
        {"corruption kept to seven bits", [](SimulatedUnit &unit) { unit.injectCorruption(4, 10, 0x81); },
            {{identity}, {EraseOk}, {NoDefects}, {sysex(0x43, {0x01})}}, {}, 0, 0, 0, 1},
        {"corrupted and duplicated",
            [](SimulatedUnit &unit) {
                unit.injectReplyFault(Fault::Corrupt, 3);
                unit.injectReplyFault(Fault::Duplicate, 3);
            },
            {{identity}, {EraseOk}, {sysex(0x38, repeat(81, 0x00)), sysex(0x38, repeat(81, 0x00))},
                {ModeIdle}},
            {}, 0, 0, 1, 1},
        {"second trailing into the next request",
            [](SimulatedUnit &unit) { unit.injectReplyFault(Fault::Trail, 2); },
            {{identity}, {EraseOk}, {EraseOk, NoDefects}, {ModeIdle}}, {}, 0, 0, 1, 0},
        {"second with a damaged status",
            [](SimulatedUnit &unit) { unit.injectReplyFault(Fault::DamageStatus, 2); },
            {{identity}, {sysex(0x2A, {0x01})}, {NoDefects}, {ModeIdle}}, {}, 0, 0, 0, 1},
        {"third with a flipped flag bit",
            [](SimulatedUnit &unit) { unit.injectReplyFault(Fault::FlipFlag, 3); },
            {{identity}, {EraseOk},
                {sysex(0x28, Bytes{0x00, 0x00, 0x00, 0x00, 0x00, 0x01} + repeat(75, 0x00))}, {ModeIdle}},
            {}, 0, 0, 0, 1},
        {"second behind a stray idle status",
            [](SimulatedUnit &unit) { unit.injectReplyFault(Fault::StrayIdle, 2); },
            {{identity}, {ModeIdle, EraseOk}, {NoDefects}, {ModeIdle}}, {}, 0, 0, 0, 0},
        {"third behind a copy cut off before its end",
            [](SimulatedUnit &unit) { unit.injectReplyFault(Fault::Unterminated, 3); },
            {{identity}, {EraseOk}, {Bytes(NoDefects.begin(), NoDefects.end() - 1), NoDefects}, {ModeIdle}},
            {}, 0, 0, 0, 0},
    };
    for (const Case &c : cases) {
        Unit sim;
        c.inject(sim.unit);
        for (std::size_t i = 0; i < requests.size(); ++i)
            EXPECT_EQ(sim.send(requests[i]), c.replies[i]) << c.name << ", request " << i + 1;
        EXPECT_EQ(sim.unit.releaseHeld(), c.heldAtEnd) << c.name;
        const SimulatedUnit::Stats stats = sim.unit.stats();
        EXPECT_EQ(stats.repliesProduced, 4) << c.name;
        EXPECT_EQ(stats.repliesLost, c.lost) << c.name;
        EXPECT_EQ(stats.repliesDelayed, c.delayed) << c.name;
        EXPECT_EQ(stats.repliesDuplicated, c.duplicated) << c.name;
        EXPECT_EQ(stats.repliesCorrupted, c.corrupted) << c.name;
        std::size_t sent = c.heldAtEnd.size();
        for (const Replies &replies : c.replies)
            sent += replies.size();
        EXPECT_EQ(stats.repliesSent, int(sent)) << c.name;
        EXPECT_TRUE(sim.unit.errors().empty()) << c.name;
    }
}

TEST(SimulatedUnitFaults, FlippedDataBitChangesTheReadByte)
{
    Unit sim;
    sim.unit.injectCorruption(1, 11, 0x01);
    Bytes groups = Bytes{0x7E, 0x7F, 0x7F, 0x7F, 0x0F};
    for (int g = 1; g < 16; ++g)
        groups = groups + Bytes{0x7F, 0x7F, 0x7F, 0x7F, 0x0F};
    EXPECT_EQ(sim.send(readFlash(0, 0)), Replies{sysex(0x29, Bytes{0x40} + groups)});

    // A unit that fills the checksum byte some other way.
    sim.unit.fillDataChecksumWith(0x15);
    groups[0] = 0x7F;
    EXPECT_EQ(sim.send(readFlash(0, 0)), Replies{sysex(0x29, Bytes{0x15} + groups)});
}

TEST(SimulatedUnitFaults, SilencedUnitNeitherActsNorAnswers)
{
    Unit sim;
    sim.unit.silenceAfterRequest(2);
    EXPECT_EQ(sim.send(eraseBlock(1)), Replies{EraseOk});
    EXPECT_EQ(sim.send(writePage(1, 0)), Replies{WriteReady});
    EXPECT_EQ(sim.send(eraseBlock(1)), Replies{});
    EXPECT_EQ(sim.send(Finish), Replies{});
    EXPECT_TRUE(sim.unit.active());
    EXPECT_EQ(sim.unit.eraseCount(1), 1);
    EXPECT_EQ(sim.unit.stats().silencedRequests, 2);

    sim.unit.silenceAfterRequest(-1);
    EXPECT_EQ(sim.send(Finish), Replies{ModeIdle});
}

TEST(SimulatedUnitFaults, StatisticsCountRequestsByKind)
{
    Unit sim;
    sim.send(ResetNand);
    sim.send(eraseBlock(1));
    sim.writeFrame(1, 0, erasedDataFrame());
    sim.writeFrame(1, 1, erasedDataFrame());
    sim.send(sysex(0x21));
    sim.send({0xF0, 0xF7});
    sim.send(Finish);
    const SimulatedUnit::Stats stats = sim.unit.stats();
    std::array<int, 128> byCommand{};
    byCommand[0x0A] = 1;
    byCommand[0x0B] = 2;
    byCommand[0x0C] = 66;
    byCommand[0x0D] = 2;
    byCommand[0x0E] = 1;
    byCommand[0x0F] = 1;
    byCommand[0x21] = 1;
    EXPECT_EQ(stats.requestsByCommand, byCommand);
    EXPECT_EQ(stats.requests, 75);
    EXPECT_EQ(stats.rejectedRequests, 2);
    EXPECT_EQ(stats.pieces, 66);
    EXPECT_EQ(stats.pagesProgrammed, 2);
    EXPECT_EQ(stats.erases, 1);
    EXPECT_EQ(stats.repliesSent, 2 + 1 + 2 * 35 + 1);
}

class SimulatedDeviceTest : public testing::Test
{
protected:
    static constexpr const char *Name = "Tavrin under test";

    bool open() { return port.open(inputRow(port, Name), outputRow(port, Name)); }
    bool send(const Bytes &request) { return port.sendLong(message(request), std::uint32_t(request.size())); }

    template <class F> bool waitUntil(F done)
    {
        QElapsedTimer clock;
        clock.start();
        while (!device.withUnit(done) && clock.elapsed() < 5000)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        return device.withUnit(done);
    }

    SimulatedDevice device{Name};
    MidiPort port;
    BufferCollector window{port};
};

TEST_F(SimulatedDeviceTest, RepliesReachTheInputThatHasTheDeviceOpen)
{
    device.withUnit([](SimulatedUnit &unit) {
        unit.setSerial(190101);
        unit.setVersion(261);
        unit.setInfoText("V1");
    });
    ASSERT_TRUE(open());
    ASSERT_TRUE(send(Identify));
    ASSERT_TRUE(send(ResetNand));
    ASSERT_TRUE(window.waitFor(3));
    EXPECT_EQ(window.received,
        (Replies{
            {0xF0, 0x00, 0x11, 0x22, 0x0A, 0x15, 0x4D, 0x0B, 0x00, 0x20, 0x05, 0x02, 0x56, 0x31, 0x7F, 0xF7},
            ModeActive, NandReady}));
    EXPECT_TRUE(device.withUnit([](SimulatedUnit &unit) { return unit.active() && unit.errors().empty(); }));
}

TEST_F(SimulatedDeviceTest, HeldReplyArrivesWhenReleased)
{
    device.withUnit([](SimulatedUnit &unit) { unit.injectReplyFault(SimulatedUnit::Fault::Delay, 1); });
    ASSERT_TRUE(open());
    ASSERT_TRUE(send(eraseBlock(7)));
    ASSERT_TRUE(waitUntil([](SimulatedUnit &unit) { return unit.stats().repliesDelayed == 1; }));
    EXPECT_TRUE(window.received.empty());
    EXPECT_EQ(device.releaseHeld(), 1);
    ASSERT_TRUE(window.waitFor(1));
    EXPECT_EQ(window.received, Replies{EraseOk});
}

TEST_F(SimulatedDeviceTest, UnitCanBeInspectedWhileRequestsArrive)
{
    constexpr int Requests = 40;
    ASSERT_TRUE(open());
    device.withUnit([](SimulatedUnit &unit) { unit.setActive(true); });
    // One request at a time, as the updater works, while this thread keeps looking at the unit.
    for (int i = 0; i < Requests; ++i) {
        ASSERT_TRUE(send(eraseBlock(i)));
        QElapsedTimer clock;
        clock.start();
        while (window.received.size() <= std::size_t(i) && clock.elapsed() < 5000) {
            device.withUnit([](SimulatedUnit &unit) { return unit.stats().erases; });
            QCoreApplication::processEvents();
        }
    }
    EXPECT_EQ(window.received, Replies(Requests, EraseOk));
    EXPECT_EQ(device.withUnit([](SimulatedUnit &unit) { return unit.stats().erases; }), Requests);
}

} // namespace
