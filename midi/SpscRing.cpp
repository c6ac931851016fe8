#include "SpscRing.h"

#include <algorithm>
#include <cstring>

namespace {

std::size_t powerOfTwoAtLeast(std::size_t bytes)
{
    std::size_t size = 1;
    while (size < bytes)
        size <<= 1;
    return size;
}

} // namespace

SpscRing::SpscRing(std::size_t minimumBytes)
    : bytes(powerOfTwoAtLeast(minimumBytes))
    , mask(bytes.size() - 1)
{
}

bool SpscRing::push(const void *head, std::size_t headBytes, const void *body, std::size_t bodyBytes)
{
    const std::size_t at = written.load(std::memory_order_relaxed);
    const std::size_t used = at - read.load(std::memory_order_acquire);
    if (headBytes + bodyBytes > bytes.size() - used)
        return false;
    copyIn(at, head, headBytes);
    copyIn(at + headBytes, body, bodyBytes);
    written.store(at + headBytes + bodyBytes, std::memory_order_release);
    return true;
}

std::size_t SpscRing::readable() const
{
    return written.load(std::memory_order_acquire) - read.load(std::memory_order_relaxed);
}

void SpscRing::peek(std::size_t offset, void *out, std::size_t count) const
{
    const std::size_t from = (read.load(std::memory_order_relaxed) + offset) & mask;
    const std::size_t first = std::min(count, bytes.size() - from);
    std::memcpy(out, bytes.data() + from, first);
    std::memcpy(static_cast<std::uint8_t *>(out) + first, bytes.data(), count - first);
}

void SpscRing::consume(std::size_t count)
{
    read.store(read.load(std::memory_order_relaxed) + count, std::memory_order_release);
}

void SpscRing::copyIn(std::size_t at, const void *from, std::size_t count)
{
    if (count == 0)
        return;
    const std::size_t to = at & mask;
    const std::size_t first = std::min(count, bytes.size() - to);
    std::memcpy(bytes.data() + to, from, first);
    std::memcpy(bytes.data(), static_cast<const std::uint8_t *>(from) + first, count - first);
}
