#pragma once

#include "SysExAssembler.h"

#include <alsa/asoundlib.h>

#include <cstddef>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <thread>

// An input and an output port on one ALSA sequencer client, as a unit's USB-MIDI has them: programs
// that tell units apart by their client see the two as one unit. Received System Exclusive messages
// go whole to the receiver, on a thread of its own.
class AlsaPortPair
{
public:
    using Receiver = std::function<void(const std::uint8_t *bytes, std::size_t size)>;

    AlsaPortPair() = default;
    ~AlsaPortPair();
    AlsaPortPair(const AlsaPortPair &) = delete;
    AlsaPortPair &operator=(const AlsaPortPair &) = delete;

    bool open(
        const std::string &clientName, const char *inputName, const char *outputName, Receiver receiver);
    bool send(const std::uint8_t *bytes, std::size_t size);

private:
    void receive();

    snd_seq_t *sequencer = nullptr;
    int outputPort = -1;
    int stopEvent = -1;
    // alsa-lib's handle is not made for two threads at once: the receiving thread and senders take turns.
    std::mutex handle;
    Receiver receiver;
    SysExAssembler assembler{MaxMessage};
    std::thread thread;
    static constexpr std::size_t MaxMessage = 64 * 1024;
};
