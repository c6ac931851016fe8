#include "PassReport.h"

#include <cstdarg>
#include <cstdio>

namespace {

constexpr std::size_t ListedBadBlocks = 20;

std::string format(const char *pattern, ...) __attribute__((format(printf, 1, 2)));

std::string format(const char *pattern, ...)
{
    char text[512];
    va_list arguments;
    va_start(arguments, pattern);
    std::vsnprintf(text, sizeof text, pattern, arguments);
    va_end(arguments);
    return text;
}

const char *ending(PassReport::End end)
{
    switch (end) {
    case PassReport::End::Finished:
        return "finished";
    case PassReport::End::Abandoned:
        return "abandoned for a new CMD_RESET_NAND";
    case PassReport::End::Interrupted:
        return "not finished at exit";
    }
    return "";
}

std::string badBlocks(const NandCheck::List &list)
{
    if (list.page < 0)
        return "block 0 holds no bad-block list";
    std::string text = format("bad blocks in the list in block 0 page %d: ", list.page);
    if (list.badBlocks.empty())
        return text + "none";
    for (std::size_t i = 0; i < list.badBlocks.size() && i < ListedBadBlocks; ++i)
        text += (i ? ", " : "") + std::to_string(list.badBlocks[i]);
    if (list.badBlocks.size() > ListedBadBlocks)
        text += format(" and %zu more", list.badBlocks.size() - ListedBadBlocks);
    return text;
}

} // namespace

std::vector<std::string> PassReport::lines(const Figures &f)
{
    std::vector<std::string> out;
    for (int command = 0; command < SimulatedUnit::Stats::CommandValues; ++command) {
        const int count = f.after.requestsByCommand[command] - f.before.requestsByCommand[command];
        if (count > 0)
            out.push_back(format(
                "pass %d: %-16s %7d", f.number, SimulatedUnit::commandName(std::uint8_t(command)), count));
    }

    const int requests = f.after.requests - f.before.requests;
    const int checksums = f.after.checksumErrors - f.before.checksumErrors;
    const int checkBytes = f.after.checkByteErrors - f.before.checkByteErrors;
    out.push_back(
        format("pass %d %s after %.1f s: %d pages programmed, %d failed; %d blocks erased, %d failed; %s",
            f.number, ending(f.end), f.seconds, f.after.pagesProgrammed - f.before.pagesProgrammed,
            f.after.failedPrograms - f.before.failedPrograms, f.after.erases - f.before.erases,
            f.after.failedErases - f.before.failedErases, badBlocks(f.list).c_str()));
    out.push_back(
        format("pass %d: %d requests (%.0f/s), %d replies lost; errors: %d in checksums, %d in check "
               "bytes, %d others",
            f.number, requests, f.seconds > 0 ? requests / f.seconds : 0.0,
            f.after.repliesLost - f.before.repliesLost + f.randomLosses, checksums, checkBytes,
            f.errors - checksums - checkBytes));
    return out;
}
