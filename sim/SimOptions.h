#pragma once

#include "ReplyFaults.h"
#include "SimulatedUnit.h"
#include "VirtualPort.h"

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

// The command line of tavrin-sim: where the NAND is kept, the faults to inject and the identity of the
// unit.
struct SimOptions
{
    static constexpr const char *DefaultName = "Tavrin (simulated)";

    // The MIDI client name, so that several simulated units can run side by side.
    std::string name = DefaultName;
    std::string statePath;
    std::string dumpPath;
    std::vector<int> defects;
    std::vector<int> eraseFailures;
    std::vector<std::pair<int, int>> programFailures; // block, page
    // Programs that say success and store a flipped bit (once, or every time), or leave the page erased.
    std::vector<std::pair<int, int>> flippedPages;
    std::vector<std::pair<int, int>> weakPages;
    std::vector<std::pair<int, int>> silentFailures;
    int dropEvery = 0;
    // Faults for single replies, counted from 1 in the order the unit produces them.
    std::vector<std::pair<ReplyFaults::Fault, int>> replyFaults;
    // Pieces of page data, counted from 1, damaged on their way in.
    std::vector<int> damagedPieces;
    std::optional<std::uint8_t> checksumByte;
    // Requests damaged on their way in where no checksum covers them: the kind, which one of that kind
    // (counted from 1) and the bit.
    struct DamagedRequest
    {
        SimulatedUnit::RequestDamage what;
        int nth;
        int bit;
        bool operator==(const DamagedRequest &other) const
        {
            return what == other.what && nth == other.nth && bit == other.bit;
        }
    };
    std::vector<DamagedRequest> damagedRequests;
    bool checksumNoise = false;
    std::optional<std::uint8_t> okStatus;
    int latencyMs = 0;
    std::optional<std::uint32_t> seed;
    std::optional<std::uint32_t> serial;
    std::optional<std::uint16_t> version;
    std::optional<std::array<std::uint8_t, 4>> resetCode;
    VirtualPort::Choice midi = VirtualPort::Choice::Automatic;
    bool help = false;
    bool showVersion = false;

    // Reads the arguments that follow the program name. On a bad argument returns false and says why.
    static bool parse(const std::vector<std::string> &arguments, SimOptions &options, std::string &error);
    static std::string usage();
};
