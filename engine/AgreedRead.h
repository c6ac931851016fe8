#pragma once

#include "ChecksumBelief.h"

#include <QByteArray>

#include <cstdint>

// Decides when a read from the unit is believed. Replies carry no address, so a late copy of an earlier
// answer can pass for the answer to the next request: a read is believed when two reads of the same
// thing in a row agree, so that a shifted answer meets a disagreement and is read again. The checksum a
// data reply carries rejects a read only once the unit has shown that it fills it.
class AgreedRead
{
public:
    enum Verdict {
        Believed,
        ReadAgain, // the first read of something: the second one must agree
        Rejected, // a disagreement or a failed checksum: read again, and count it as a retry
    };

    // A new pass: nothing read yet, and nothing known about the unit's checksums.
    void startPass();
    // The next read is of something else.
    void forget() { kept.clear(); }
    // A read sequence of known bytes starts: a read equal to them may be believed at once again.
    void startSequence();
    // Answers in this sequence may be shifted by one: every read needs a second that agrees.
    void suspectShift();
    bool shiftSuspected() const { return shifted; }
    // With expected bytes, a first read equal to them is believed at once unless a shift is suspected:
    // a damaged answer would have to equal them by chance. Otherwise only two agreeing reads show what
    // the unit holds.
    Verdict offer(
        const std::uint8_t *data, int count, std::uint8_t checksum, const std::uint8_t *expected = nullptr);
    bool checksumMismatchSeen() const { return belief.mismatchSeen(); }

private:
    QByteArray kept;
    ChecksumBelief belief;
    bool shifted = false;
};
