#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <vector>

// A byte ring for one writing thread and one reading thread, allocated once: neither side locks,
// allocates or waits, so JACK's real-time cycle may be either of them. Records go in whole: the reader
// sees a record only once all of its parts are in.
class SpscRing
{
public:
    explicit SpscRing(std::size_t minimumBytes);

    SpscRing(const SpscRing &) = delete;
    SpscRing &operator=(const SpscRing &) = delete;

    // Writer: appends a record of up to two parts; false, and nothing written, when it does not fit.
    bool push(const void *head, std::size_t headBytes, const void *body = nullptr, std::size_t bodyBytes = 0);

    // Reader: the bytes written and not yet consumed; copies some of them without consuming; consumes.
    std::size_t readable() const;
    void peek(std::size_t offset, void *out, std::size_t bytes) const;
    void consume(std::size_t bytes);

private:
    void copyIn(std::size_t at, const void *from, std::size_t bytes);

    std::vector<std::uint8_t> bytes;
    std::size_t mask;
    // Running totals; each side writes only its own and publishes it with release.
    std::atomic<std::size_t> written{0};
    std::atomic<std::size_t> read{0};
};
