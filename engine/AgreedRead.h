#pragma once

#include <QByteArray>

#include <cstdint>

// Decides when a read from the unit is believed. Replies carry no address, so a late copy of an earlier
// answer can pass for the answer to the next request: a read is believed only when two reads of the same
// thing in a row agree, so that a shifted answer meets a disagreement and is read again. Once any reply
// of the pass has carried a matching checksum, the unit is known to fill it, and a read whose checksum
// does not match is never believed.
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
    Verdict offer(const std::uint8_t *data, int count, std::uint8_t checksum);
    // A read-back of bytes that are known: a read equal to them with a sound checksum is believed at
    // once, since a damaged or shifted answer would have to equal them by chance. A difference goes to
    // offer(), so that only two agreeing reads show that the NAND holds something else.
    bool equals(const std::uint8_t *data, int count, std::uint8_t checksum, const std::uint8_t *expected);
    bool checksumsFilled() const { return checksumSeen; }

private:
    QByteArray kept;
    bool checksumSeen = false;
};
