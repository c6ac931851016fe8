#pragma once

#include "BuildInfo.h"
#include "ReplyFaults.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <random>
#include <string>
#include <vector>

// A model of the Tavrin: takes the updater's System Exclusive requests one at a time, carries them out
// on a NAND held in memory and returns the replies to send. Everything it receives is checked; what is
// wrong is listed in errors(). Faults of the NAND and of the reply path can be injected. Not thread-safe.
class SimulatedUnit
{
public:
    static constexpr int Blocks = 1024, PagesPerBlock = 64, FrameSize = 2096, PageDataSize = 2048;
    static constexpr int FrameHeadSize = 16, SectorsPerPage = 8, SectorSize = 256, CheckBytesPerSector = 4;
    static constexpr int SectorStride = SectorSize + CheckBytesPerSector;
    static constexpr int PiecesPerFrame = 33, PieceSize = 64, LastPieceSize = 48;
    static constexpr int ReadPieceSize = 64, ReadPiecesPerSector = SectorSize / ReadPieceSize;
    static constexpr int DefectParts = 2, DefectPartSize = 64;
    static constexpr int ListEntriesPerSector = 126;
    static constexpr std::uint8_t Erased = 0xFF, ListMarker = 0xA5;

    using Message = std::vector<std::uint8_t>;
    using ResetCode = std::array<std::uint8_t, 4>;
    using Fault = ReplyFaults::Fault;
    // The code of the unit that the program is built for.
    static constexpr ResetCode DefaultResetCode = BuildInfo::ResetCode;

    explicit SimulatedUnit(const ResetCode &resetCode = DefaultResetCode);

    // The replies to send now for one request, faults applied (held replies released by it first).
    std::vector<Message> handle(const std::uint8_t *message, std::size_t size);
    // Every reply that a delay is still holding back, in the order they were produced.
    std::vector<Message> releaseHeld();

    // The 2096 bytes stored in a page (all 0xFF when erased); null for a page outside the NAND.
    const std::uint8_t *frame(int block, int page) const;
    bool programmed(int block, int page) const;
    // The 2048 data bytes of a page, check bytes and head stripped; empty outside the NAND.
    std::vector<std::uint8_t> pageData(int block, int page) const;
    int eraseCount(int block) const;

    void setSerial(std::uint32_t serial);
    void setVersion(std::uint16_t version);
    void setInfoText(const std::string &text);
    void setResetCode(const ResetCode &code);
    // Makes a CMD_RESET_NAND with another image size an error.
    void expectImageSize(std::uint32_t size);
    // The unit is idle until a CMD_RESET_NAND; NAND commands while idle are errors.
    void setActive(bool active);
    bool active() const { return activeMode; }

    void setFactoryDefects(const std::vector<int> &blocks);
    // Puts a frame into a page as if the page had been erased and then programmed with it.
    void storeFrame(int block, int page, const std::uint8_t *frame);
    // Stores a bad-block list frame in page `page` of block 0, entries in the order given (at most 126).
    void storeList(int page, std::int16_t factoryDefects, const std::vector<int> &badBlocks);

    // times = -1: every time; otherwise the next `times` attempts fail. page = -1: every page of the block.
    void failErase(int block, int times = -1);
    void failProgram(int block, int page, int times = -1);
    // Silent faults: the status says success all the same. The page is stored with bit 0 of byte 4 of
    // its first sector flipped, as a weak cell does, at the next `times` programs (-1: at every one);
    // or the next program leaves it erased, and later programs of it fail and say so.
    void flipStoredBit(int block, int page, int times = 1);
    void failProgramSilently(int block, int page);

    // Replies are counted from 1. A Delay holds the reply until releaseHeld(); a Corrupt replaces the
    // reply byte with one the updater does not know.
    void injectReplyFault(Fault fault, int nth, bool every = false);
    // Holds the reply until releaseAfterRequests further requests have arrived, then sends it first.
    void injectDelay(int nth, int releaseAfterRequests, bool every = false);
    // XORs the reply byte at position with mask (kept 7-bit between F0 and F7), e.g. position 11 and
    // mask 01 flips bit 0 of the first data byte of a data reply.
    void injectCorruption(int nth, int position, std::uint8_t mask, bool every = false);
    // The nth CMD_PAGE_DATA (counted from 1) arrives with bit 0 of its first data byte flipped, as if
    // damaged on the cable: the unit finds the checksum wrong and acknowledges the piece with 02.
    void damagePiece(int nth);
    // The nth request of one kind (counted from 1) arrives with one bit flipped where no checksum covers
    // it: bit `bit` (0 to 13) of the block number of a CMD_ERASE_BLOCK, bit `bit` (0 to 6) of the page
    // number of a CMD_WRITE_PAGE, or bit 7 of data byte `bit` (0 to 63) of a CMD_PAGE_DATA. The unit
    // carries out what arrives.
    enum class RequestDamage { EraseBlock, PageAddress, PieceHighBit };
    static bool damageFits(RequestDamage what, int bit);
    void damageRequest(RequestDamage what, int nth, int bit);
    // Byte 10 of every data reply carries this value in place of the checksum of its data, or a value
    // drawn at random from a generator seeded with `seed`; the protocol does not evaluate it.
    void fillDataChecksumWith(std::uint8_t value);
    void fillDataChecksumWithNoise(std::uint32_t seed);
    // The status value the unit answers for success: any but 02 (default 00).
    void answerSuccessWith(std::uint8_t value);
    // Requests after this one (counted from 1) are neither carried out nor answered; -1 lifts it.
    void silenceAfterRequest(int requestNumber);

    const std::vector<std::string> &errors() const { return errorList; }
    void clearErrors() { errorList.clear(); }

    struct Stats
    {
        static constexpr int CommandValues = 128;
        std::array<int, CommandValues>
            requestsByCommand{}; // index: command byte of a request with a sound frame
        int requests = 0;
        int rejectedRequests = 0; // malformed, unknown or refused: not carried out, not answered
        int silencedRequests = 0;
        int pieces = 0;
        int pagesProgrammed = 0;
        int failedPrograms = 0;
        int erases = 0;
        int failedErases = 0;
        int repliesProduced = 0;
        int repliesSent = 0;
        int repliesLost = 0;
        int repliesDelayed = 0; // ever held back
        int repliesHeld = 0; // held back right now
        int repliesDuplicated = 0;
        int repliesCorrupted = 0;
        int repliesPrefixed = 0; // a stray status or a cut-off copy went in front
        int passesStarted = 0; // accepted CMD_RESET_NAND
        int passesFinished = 0; // CMD_FINISH
        int checksumErrors = 0; // pieces whose checksum does not match their data
        int requestsDamaged = 0; // damaged on their way in by damagePiece() or damageRequest()
        int checkByteErrors = 0; // sectors whose check bytes do not match their data
        int silentFaults = 0; // programs that said success and stored something else
    };
    Stats stats() const;

    std::uint32_t lastImageSize() const { return imageSize; }

    // "CMD_ERASE_BLOCK" and so on for the command bytes that the unit knows, "unknown command" otherwise.
    static const char *commandName(std::uint8_t command);

private:
    struct Failure
    {
        int block;
        int page;
        int timesLeft;
    };

    std::vector<Message> process(const std::uint8_t *message, std::size_t size);
    bool frameIsSound(const std::uint8_t *message, std::size_t size);
    bool lengthIs(std::uint8_t command, std::size_t size, std::size_t expected);
    bool argumentMarkerPresent(std::uint8_t command, const std::uint8_t *message);
    void requireActive(std::uint8_t command);

    std::vector<Message> identify();
    std::vector<Message> readDefects(const std::uint8_t *message, std::size_t size);
    std::vector<Message> readFlash(const std::uint8_t *message, std::size_t size);
    std::vector<Message> eraseBlock(const std::uint8_t *message, std::size_t size);
    std::vector<Message> writePage(const std::uint8_t *message, std::size_t size);
    std::vector<Message> pageDataPiece(const std::uint8_t *message, std::size_t size);
    std::vector<Message> programPage(std::size_t size);
    std::vector<Message> resetNand(const std::uint8_t *message, std::size_t size);
    std::vector<Message> finish(std::size_t size);

    // A frame is only the updater's fault, head and check bytes, when it arrived undamaged.
    void checkFrame(int block, int page, const std::uint8_t *frame, bool damaged);
    bool takeFailure(std::vector<Failure> &failures, int block, int page);
    void closeOpenPage();

    Message reply(std::uint8_t replyByte) const;
    Message reply(std::uint8_t replyByte, std::uint8_t value) const;
    Message dataReply(std::uint8_t replyByte, const std::uint8_t *data);

    void error(const char *format, ...) __attribute__((format(printf, 2, 3)));

    static std::size_t pageIndex(int block, int page) { return std::size_t(block) * PagesPerBlock + page; }
    static bool inNand(int block, int page);
    static std::array<std::uint8_t, CheckBytesPerSector> checkBytes(const std::uint8_t *sector);

    // Only programmed pages have storage of their own; erased ones read as erasedFrame.
    std::vector<std::unique_ptr<std::uint8_t[]>> pages;
    std::vector<std::uint8_t> erasedFrame;
    std::vector<int> blockErasures;
    std::array<std::uint8_t, DefectParts * DefectPartSize> defectBitmap{};

    ResetCode resetCode;
    std::uint32_t serialNumber = 190101;
    std::uint16_t version = 261;
    std::string infoText = "TAVRIN SIM";
    bool activeMode = false;
    std::uint32_t imageSize = 0;
    bool imageSizeExpected = false;
    std::uint32_t expectedImageSize = 0;

    bool pageOpen = false;
    int openBlock = 0;
    int openPage = 0;
    int openPieces = 0;
    bool openPageDamaged = false; // a request for the open page was damaged on its way in
    std::vector<std::uint8_t> openFrame;

    std::vector<Failure> eraseFailures;
    std::vector<Failure> programFailures;
    std::vector<Failure> bitFlips;
    std::vector<Failure> silentFailures;
    ReplyFaults faults;
    int requestNumber = 0;
    int silenceAfter = -1;
    int dataChecksumFill = -1; // -1: the true checksum
    struct Damage
    {
        std::uint8_t command;
        int nth;
        std::size_t position;
        std::uint8_t mask;
    };
    std::vector<Damage> damages;
    std::array<int, Stats::CommandValues> requestsOfCommand{};
    bool requestDamagedHere = false; // the damage is the cable's, not the updater's
    bool dataChecksumNoise = false;
    std::minstd_rand dataChecksumRandom;
    std::uint8_t successStatus = 0x00;

    Stats counters;
    std::vector<std::string> errorList;
};
