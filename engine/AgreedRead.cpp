#include "AgreedRead.h"

#include "Packing.h"

#include <algorithm>

void AgreedRead::startPass()
{
    startSequence();
    belief.reset();
}

void AgreedRead::startSequence()
{
    kept.clear();
    shifted = false;
}

void AgreedRead::suspectShift()
{
    kept.clear();
    shifted = true;
}

AgreedRead::Verdict AgreedRead::offer(
    const std::uint8_t *data, int count, std::uint8_t checksum, const std::uint8_t *expected)
{
    if (count <= 0 || belief.refutes(checksum == dataChecksum(data, count), checksum)) {
        kept.clear();
        return Rejected;
    }
    // After a read that differed, one equal to the expected bytes may be the late answer that follows a
    // shifted one: the two disagree.
    if (expected && !shifted && kept.isEmpty() && std::equal(data, data + count, expected)) {
        kept.clear();
        return Believed;
    }
    const QByteArray read(reinterpret_cast<const char *>(data), count);
    if (kept.isEmpty()) {
        kept = read;
        return ReadAgain;
    }
    if (read == kept) {
        kept.clear();
        return Believed;
    }
    kept = read;
    return Rejected;
}
