#include "SimOptions.h"

#include "SimulatedUnit.h"

#include <cerrno>
#include <cstdlib>
#include <functional>
#include <map>

namespace {

constexpr std::uint32_t MaxSerial = (1u << 28) - 1; // four 7-bit groups
constexpr std::uint32_t MaxVersion = (1u << 14) - 1; // two 7-bit groups
constexpr int MaxDropInterval = 1000000000;
constexpr std::size_t HexDigitsPerByte = 2;
constexpr int Hexadecimal = 16;
// A byte inside a System Exclusive message.
constexpr std::uint64_t MaxDataByte = 0x7F;
// The status that means failure, whatever a unit answers for success.
constexpr std::uint64_t FailedStatus = 0x02;
// Longer than a second would be a unit too slow for the updater's time-outs.
constexpr std::uint64_t MaxLatencyMs = 1000;

bool number(const std::string &text, std::uint64_t max, std::uint64_t &value)
{
    if (text.empty() || text.find_first_not_of("0123456789") != std::string::npos)
        return false;
    errno = 0;
    char *end = nullptr;
    const unsigned long long parsed = std::strtoull(text.c_str(), &end, 10);
    if (errno == ERANGE || *end != '\0' || parsed > max)
        return false;
    value = parsed;
    return true;
}

bool block(const std::string &text, int &value)
{
    std::uint64_t parsed = 0;
    if (!number(text, SimulatedUnit::Blocks - 1, parsed))
        return false;
    value = int(parsed);
    return true;
}

const std::map<std::string, ReplyFaults::Fault> &faultKinds()
{
    static const std::map<std::string, ReplyFaults::Fault> kinds{
        {"lose", ReplyFaults::Fault::Lose},
        {"delay", ReplyFaults::Fault::Delay},
        {"duplicate", ReplyFaults::Fault::Duplicate},
        {"corrupt", ReplyFaults::Fault::Corrupt},
        {"stray-idle", ReplyFaults::Fault::StrayIdle},
        {"cut-off", ReplyFaults::Fault::Unterminated},
        {"trail", ReplyFaults::Fault::Trail},
        {"damage-status", ReplyFaults::Fault::DamageStatus},
        {"flip-flag", ReplyFaults::Fault::FlipFlag},
    };
    return kinds;
}

const std::map<std::string, SimulatedUnit::RequestDamage> &damageKinds()
{
    static const std::map<std::string, SimulatedUnit::RequestDamage> kinds{
        {"erase", SimulatedUnit::RequestDamage::EraseBlock},
        {"page", SimulatedUnit::RequestDamage::PageAddress},
        {"bit7", SimulatedUnit::RequestDamage::PieceHighBit},
    };
    return kinds;
}

std::string blockRange()
{
    return "a block number from 0 to " + std::to_string(SimulatedUnit::Blocks - 1);
}

bool blockPage(const std::string &value, std::vector<std::pair<int, int>> &pages, std::string &problem)
{
    problem = "BLOCK:PAGE, with " + blockRange() + " and a page from 0 to "
        + std::to_string(SimulatedUnit::PagesPerBlock - 1);
    const std::size_t colon = value.find(':');
    int b = 0;
    std::uint64_t page = 0;
    if (colon == std::string::npos || !block(value.substr(0, colon), b)
        || !number(value.substr(colon + 1), SimulatedUnit::PagesPerBlock - 1, page))
        return false;
    pages.emplace_back(b, int(page));
    return true;
}

using Handler = std::function<bool(const std::string &value, SimOptions &options, std::string &problem)>;

// An option whose BLOCK:PAGE values go into one of the lists of pages.
Handler pageList(std::vector<std::pair<int, int>> SimOptions::*pages)
{
    return [pages](const std::string &value, SimOptions &o, std::string &problem) {
        return blockPage(value, o.*pages, problem);
    };
}

const std::map<std::string, Handler> &valueOptions()
{
    static const std::map<std::string, Handler> handlers{
        {"--state",
            [](const std::string &value, SimOptions &o, std::string &problem) {
                o.statePath = value;
                problem = "a file name";
                return !value.empty();
            }},
        {"--dump",
            [](const std::string &value, SimOptions &o, std::string &problem) {
                o.dumpPath = value;
                problem = "a file name";
                return !value.empty();
            }},
        {"--defects",
            [](const std::string &value, SimOptions &o, std::string &problem) {
                problem = "a comma-separated list of block numbers from 0 to "
                    + std::to_string(SimulatedUnit::Blocks - 1);
                std::size_t start = 0;
                for (;;) {
                    const std::size_t comma = value.find(',', start);
                    int b = 0;
                    if (!block(value.substr(start, comma - start), b))
                        return false;
                    o.defects.push_back(b);
                    if (comma == std::string::npos)
                        return true;
                    start = comma + 1;
                }
            }},
        {"--fail-erase",
            [](const std::string &value, SimOptions &o, std::string &problem) {
                problem = blockRange();
                int b = 0;
                if (!block(value, b))
                    return false;
                o.eraseFailures.push_back(b);
                return true;
            }},
        {"--fail-program", pageList(&SimOptions::programFailures)},
        {"--flip-bit", pageList(&SimOptions::flippedPages)},
        {"--weak-page", pageList(&SimOptions::weakPages)},
        {"--silent-fail", pageList(&SimOptions::silentFailures)},
        {"--drop-every",
            [](const std::string &value, SimOptions &o, std::string &problem) {
                problem = "a number from 1 to " + std::to_string(MaxDropInterval);
                std::uint64_t n = 0;
                if (!number(value, MaxDropInterval, n) || n == 0)
                    return false;
                o.dropEvery = int(n);
                return true;
            }},
        {"--fault",
            [](const std::string &value, SimOptions &o, std::string &problem) {
                problem = "KIND:N, with KIND lose, delay, duplicate, corrupt, stray-idle, cut-off, trail, "
                          "damage-status or flip-flag and N a reply number from 1 to "
                    + std::to_string(MaxDropInterval);
                const std::size_t colon = value.find(':');
                std::uint64_t n = 0;
                if (colon == std::string::npos || !number(value.substr(colon + 1), MaxDropInterval, n)
                    || n == 0)
                    return false;
                const auto kind = faultKinds().find(value.substr(0, colon));
                if (kind == faultKinds().end())
                    return false;
                o.replyFaults.emplace_back(kind->second, int(n));
                return true;
            }},
        {"--damage-piece",
            [](const std::string &value, SimOptions &o, std::string &problem) {
                problem = "a piece number from 1 to " + std::to_string(MaxDropInterval);
                std::uint64_t n = 0;
                if (!number(value, MaxDropInterval, n) || n == 0)
                    return false;
                o.damagedPieces.push_back(int(n));
                return true;
            }},
        {"--damage-request",
            [](const std::string &value, SimOptions &o, std::string &problem) {
                problem = "KIND:N:BIT, with KIND erase (BIT 0 to 13), page (BIT 0 to 6) or bit7 (BIT a byte "
                          "0 to 63) and N a request number from 1 to "
                    + std::to_string(MaxDropInterval);
                const std::size_t first = value.find(':');
                const std::size_t second = first == std::string::npos ? first : value.find(':', first + 1);
                std::uint64_t n = 0;
                std::uint64_t bit = 0;
                if (second == std::string::npos
                    || !number(value.substr(first + 1, second - first - 1), MaxDropInterval, n) || n == 0
                    || !number(value.substr(second + 1), MaxDataByte, bit))
                    return false;
                const auto kind = damageKinds().find(value.substr(0, first));
                if (kind == damageKinds().end() || !SimulatedUnit::damageFits(kind->second, int(bit)))
                    return false;
                o.damagedRequests.push_back({kind->second, int(n), int(bit)});
                return true;
            }},
        {"--checksum-byte",
            [](const std::string &value, SimOptions &o, std::string &problem) {
                problem = "a number from 0 to 127, or noise";
                o.checksumNoise = value == "noise";
                std::uint64_t n = 0;
                if (o.checksumNoise)
                    return true;
                if (!number(value, MaxDataByte, n))
                    return false;
                o.checksumByte = std::uint8_t(n);
                return true;
            }},
        {"--ok-status",
            [](const std::string &value, SimOptions &o, std::string &problem) {
                problem = "a number from 0 to 127 other than 2";
                std::uint64_t n = 0;
                if (!number(value, MaxDataByte, n) || n == FailedStatus)
                    return false;
                o.okStatus = std::uint8_t(n);
                return true;
            }},
        {"--latency",
            [](const std::string &value, SimOptions &o, std::string &problem) {
                problem = "a number of milliseconds from 1 to " + std::to_string(MaxLatencyMs);
                std::uint64_t n = 0;
                if (!number(value, MaxLatencyMs, n) || n == 0)
                    return false;
                o.latencyMs = int(n);
                return true;
            }},
        {"--seed",
            [](const std::string &value, SimOptions &o, std::string &problem) {
                problem = "a number from 0 to 4294967295";
                std::uint64_t n = 0;
                if (!number(value, UINT32_MAX, n))
                    return false;
                o.seed = std::uint32_t(n);
                return true;
            }},
        {"--unit-serial",
            [](const std::string &value, SimOptions &o, std::string &problem) {
                problem = "a number from 0 to " + std::to_string(MaxSerial);
                std::uint64_t n = 0;
                if (!number(value, MaxSerial, n))
                    return false;
                o.serial = std::uint32_t(n);
                return true;
            }},
        {"--unit-version",
            [](const std::string &value, SimOptions &o, std::string &problem) {
                problem = "a number from 0 to " + std::to_string(MaxVersion);
                std::uint64_t n = 0;
                if (!number(value, MaxVersion, n))
                    return false;
                o.version = std::uint16_t(n);
                return true;
            }},
        {"--reset-code",
            [](const std::string &value, SimOptions &o, std::string &problem) {
                problem = "eight hex digits, four bytes of 00 to 7F";
                std::array<std::uint8_t, 4> code{};
                if (value.size() != code.size() * HexDigitsPerByte
                    || value.find_first_not_of("0123456789ABCDEFabcdef") != std::string::npos)
                    return false;
                for (std::size_t i = 0; i < code.size(); ++i) {
                    const unsigned long byte = std::stoul(
                        value.substr(i * HexDigitsPerByte, HexDigitsPerByte), nullptr, Hexadecimal);
                    if (byte > MaxDataByte)
                        return false;
                    code[i] = std::uint8_t(byte);
                }
                o.resetCode = code;
                return true;
            }},
        {"--name",
            [](const std::string &value, SimOptions &o, std::string &problem) {
                o.name = value;
                problem = "a client name without a colon";
                return !value.empty() && value.find(':') == std::string::npos;
            }},
        {"--midi",
            [](const std::string &value, SimOptions &o, std::string &problem) {
                problem = "alsa or jack";
                if (value == "alsa")
                    o.midi = VirtualPort::Choice::Alsa;
                else if (value == "jack")
                    o.midi = VirtualPort::Choice::Jack;
                else
                    return false;
                return true;
            }},
    };
    return handlers;
}

} // namespace

bool SimOptions::parse(const std::vector<std::string> &arguments, SimOptions &options, std::string &error)
{
    options = SimOptions();
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        const std::string &argument = arguments[i];
        if (argument == "-h" || argument == "--help") {
            options.help = true;
            continue;
        }
        if (argument == "--version") {
            options.showVersion = true;
            continue;
        }
        std::string name = argument;
        std::optional<std::string> value;
        const std::size_t equals = argument.find('=');
        if (argument.rfind("--", 0) == 0 && equals != std::string::npos) {
            name = argument.substr(0, equals);
            value = argument.substr(equals + 1);
        }
        const auto handler = valueOptions().find(name);
        if (handler == valueOptions().end()) {
            error
                = argument.rfind('-', 0) == 0 ? "unknown option " + name : "unexpected argument " + argument;
            return false;
        }
        if (!value) {
            if (i + 1 == arguments.size()) {
                error = name + " needs a value";
                return false;
            }
            value = arguments[++i];
        }
        std::string expected;
        if (!handler->second(*value, options, expected)) {
            error = name;
            error += " takes " + expected + ", not \"" + *value + "\"";
            return false;
        }
    }
    return true;
}

std::string SimOptions::usage()
{
    return "Usage: tavrin-sim [OPTION]...\n"
           "A simulated Tavrin unit for Tavrin Update. It opens the MIDI ports \"Tavrin (simulated)\" (in "
           "and out)\n"
           "on the ALSA sequencer, or on a running JACK server where there is none, and answers the updater\n"
           "like a unit. It runs until it is interrupted (Ctrl+C or SIGTERM).\n"
           "\n"
           "  --state FILE             load the NAND from FILE at start; save it there after every finished\n"
           "                           pass and at exit (only programmed pages are kept)\n"
           "  --dump FILE              write the NAND's data area (1024 blocks x 64 pages x 2048 bytes) to\n"
           "                           FILE after every finished pass and at exit\n"
           "  --defects LIST           factory-defective blocks, e.g. 12,500 (the updater refuses more than "
           "3)\n"
           "  --fail-erase BLOCK       every erase of BLOCK fails (may be repeated)\n"
           "  --fail-program BLOCK:PAGE  every program of that page fails (may be repeated)\n"
           "  --flip-bit BLOCK:PAGE    the next program of that page stores bit 0 of byte 4 of its first\n"
           "                           sector flipped and says it succeeded (may be repeated)\n"
           "  --weak-page BLOCK:PAGE   the same at every program of that page (may be repeated)\n"
           "  --silent-fail BLOCK:PAGE\n"
           "                           the next program of that page leaves it erased and says it\n"
           "                           succeeded; later programs of it fail and say so (may be repeated)\n"
           "  --drop-every N           lose every Nth reply; with --seed, each reply with a chance of 1 in "
           "N\n"
           "  --seed N                 seed for losing replies at random\n"
           "  --fault KIND:N           reply N (counted from 1) is lost, delayed until the next request,\n"
           "                           duplicated, corrupted (bit 0 of its byte 11 flipped), preceded by a\n"
           "                           stray \"mode idle\" or by a copy of it cut off before its end; KIND "
           "is\n"
           "                           lose, delay, duplicate, corrupt, stray-idle or cut-off (may be "
           "repeated);\n"
           "                           trail: sent, and a copy of it just before the reply to the next\n"
           "                           request; damage-status: its status byte turned into another value\n"
           "                           (02 into 03, 00 into 01); flip-flag: bit 7 of its first data byte\n"
           "                           flipped in the flag byte, outside the checksum\n"
           "  --damage-piece N         CMD_PAGE_DATA number N (counted from 1) arrives damaged; the unit\n"
           "                           acknowledges it with status 02 (may be repeated)\n"
           "  --damage-request KIND:N:BIT\n"
           "                           request N of a kind (counted from 1) arrives with a bit flipped\n"
           "                           where no checksum covers it: erase: bit BIT of the block number of\n"
           "                           CMD_ERASE_BLOCK; page: bit BIT of the page number of CMD_WRITE_PAGE;\n"
           "                           bit7: bit 7 of data byte BIT of CMD_PAGE_DATA (may be repeated)\n"
           "  --checksum-byte N|noise  data replies carry N, or a random value, in byte 10 in place of\n"
           "                           their checksum\n"
           "  --ok-status V            the status value the unit answers for success (default 0; 2 is\n"
           "                           failure)\n"
           "  --latency MS             replies leave MS milliseconds late, as over USB\n"
           "  --unit-serial N          serial number the unit reports (default 190101)\n"
           "  --unit-version N         version the unit reports, minor * 256 + major (default 261: 5.01)\n"
           "  --reset-code HEX         reset code the unit expects, eight hex digits (default: the one\n"
           "                           Tavrin Update was built with); another one is an error\n"
           "  --midi alsa|jack         where to open the ports (default: ALSA where available, else JACK)\n"
           "  --name NAME              the ports' client name (default \"Tavrin (simulated)\"), so that\n"
           "                           several simulated units can run side by side\n"
           "  -h, --help               show this text\n"
           "      --version            show the version of Tavrin Update that tavrin-sim belongs to\n"
           "\n"
           "Exit status: 0 when no error was found in what the updater sent, 1 otherwise or when the ports "
           "or\n"
           "files cannot be used, 2 for bad arguments.\n";
}
