#pragma once

#include <cstdint>

// Byte 10 of a data reply is the unit's to fill: some units put the checksum of the data there, others
// a constant or anything at all. It is relied on only after it matched the data many times in a row on
// varied data, and no longer from its first mismatch.
class ChecksumBelief
{
public:
    void reset();
    // Takes the checksum of one reply; true when the checksum was relied on and does not match, so that
    // the reply is damaged.
    bool refutes(bool matched, std::uint8_t checksum);
    bool held() const;
    bool mismatchSeen() const { return mismatched; }

private:
    int matches = 0;
    std::uint8_t firstMatched = 0;
    bool varied = false;
    bool mismatched = false;
};
