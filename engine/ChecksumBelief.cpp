#include "ChecksumBelief.h"

namespace {

// A unit that happens to match now and then, or whose constant equals the checksum of erased pages,
// does not reach this many matches on different checksums without a mismatch.
constexpr int MatchesBeforeBelief = 16;

} // namespace

void ChecksumBelief::reset()
{
    matches = 0;
    varied = false;
    mismatched = false;
}

bool ChecksumBelief::held() const
{
    return matches >= MatchesBeforeBelief && varied;
}

bool ChecksumBelief::refutes(bool matched, std::uint8_t checksum)
{
    if (!matched) {
        const bool wasHeld = held();
        matches = 0;
        varied = false;
        mismatched = true;
        return wasHeld;
    }
    if (matches == 0)
        firstMatched = checksum;
    varied = varied || checksum != firstMatched;
    if (matches < MatchesBeforeBelief)
        ++matches;
    return false;
}
