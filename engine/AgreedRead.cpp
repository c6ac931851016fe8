#include "AgreedRead.h"

#include "Packing.h"

#include <algorithm>

void AgreedRead::startPass()
{
    kept.clear();
    checksumSeen = false;
}

bool AgreedRead::equals(
    const std::uint8_t *data, int count, std::uint8_t checksum, const std::uint8_t *expected)
{
    const bool matched = count > 0 && checksum == dataChecksum(data, count);
    checksumSeen = checksumSeen || matched;
    if (count <= 0 || (checksumSeen && !matched) || !std::equal(data, data + count, expected))
        return false;
    kept.clear();
    return true;
}

AgreedRead::Verdict AgreedRead::offer(const std::uint8_t *data, int count, std::uint8_t checksum)
{
    const bool matched = count > 0 && checksum == dataChecksum(data, count);
    checksumSeen = checksumSeen || matched;
    if (count <= 0 || (checksumSeen && !matched)) {
        kept.clear();
        return Rejected;
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
