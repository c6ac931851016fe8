#pragma once

#include "DeviceDirectory.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

class AlsaPortPair;
class JackClient;

// A pair of ports that other programs connect to, as they would to a device: an input "in" and an
// output "out" under a client name of our own. Opened on the ALSA sequencer where it is available,
// otherwise on a running JACK server. For programs that play a unit, such as the simulated Tavrin.
class VirtualPort
{
public:
    // Called on the backend's thread with each System Exclusive message received, whole; other MIDI
    // messages are dropped. On JACK that thread is the cycle, so that a simulated unit answers within
    // it as the unit's own firmware would.
    using Receiver = std::function<void(const std::uint8_t *bytes, std::size_t size)>;

    enum class Choice { Automatic, Alsa, Jack };

    static constexpr const char *InputName = "in";
    static constexpr const char *OutputName = "out";

    VirtualPort();
    ~VirtualPort();

    VirtualPort(const VirtualPort &) = delete;
    VirtualPort &operator=(const VirtualPort &) = delete;

    // False when the chosen backend is not running or refuses the ports; errorText() says why.
    bool open(const std::string &clientName, Receiver receiver, Choice choice = Choice::Automatic);
    void close();
    bool isOpen() const { return alsa || jack; }

    // Sends one complete message; called from one thread at a time.
    bool send(const std::uint8_t *bytes, std::size_t size);

    MidiBackend backend() const { return openedBackend; }
    static const char *backendName(MidiBackend backend);
    const std::string &errorText() const { return error; }

private:
    bool openAlsa(const std::string &clientName);
    bool openJack(const std::string &clientName);
    void deliver(const std::uint8_t *bytes, std::size_t size);

    Receiver receiver;
    // Both ports on one ALSA sequencer client, as a unit's are.
    std::unique_ptr<AlsaPortPair> alsa;
    // JACK directly: this port is closed while messages are in flight.
    std::unique_ptr<JackClient> jack;
    MidiBackend openedBackend = MidiBackend::InProcess;
    std::string error;
};
