#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <vector>

// Puts System Exclusive messages back together from the pieces a MIDI system may cut them into (JACK
// allows a message to span events and cycles; bridges such as a2j do it), in a buffer allocated once,
// so that it can run inside JACK's real-time cycle. Real-time bytes inside a message are skipped; any
// other message is not System Exclusive and is left out. What went wrong is collected as faults for a
// thread that may log.
class SysExAssembler
{
public:
    enum Fault : unsigned {
        // A start byte arrived inside a message: the message so far is dropped and a new one starts.
        Restarted = 1,
        // Another status byte arrived inside a message: the message is dropped.
        Aborted = 2,
        // A message outgrew the buffer: it is dropped up to the next start byte.
        Overflowed = 4,
        // The reader could not take a whole message.
        Lost = 8,
    };

    explicit SysExAssembler(std::size_t capacity);

    // Takes the next bytes as they came; each completed message goes to `complete` while this runs.
    template <class Complete> void feed(const std::uint8_t *bytes, std::size_t size, Complete &&complete)
    {
        for (std::size_t i = 0; i < size; ++i) {
            if (take(bytes[i]))
                complete(message.data(), length);
        }
    }

    // Pieces were missed: the message under way can no longer be whole.
    void interrupt();
    void note(Fault fault) { faults.fetch_or(fault, std::memory_order_relaxed); }
    // The faults since the last call.
    unsigned takeFaults() { return faults.exchange(0, std::memory_order_relaxed); }

private:
    // True when `byte` completed a message.
    bool take(std::uint8_t byte);

    enum class State { Idle, Collecting, Dropping };
    std::vector<std::uint8_t> message;
    std::size_t length = 0;
    State state = State::Idle;
    std::atomic<unsigned> faults{0};
};
