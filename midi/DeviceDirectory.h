#pragma once

#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

class RtMidi;

// Where a numbered device lives.
enum class MidiBackend { Alsa, Jack, InProcess };

struct MidiDeviceEntry
{
    MidiBackend backend;
    std::string name; // full port name as the backend reports it
    std::uint64_t inProcessId = 0;
    // A JACK port's aliases: a bridge's copy of an ALSA port names the original there.
    std::vector<std::string> aliases{};
};

// The numbered device lists: the ALSA sequencer's ports, then JACK's, then the in-process devices. A
// JACK copy of an ALSA port (PipeWire's MIDI bridge, jackd -X seq, a2j) is left out while the sequencer
// can be reached: the port is opened there, without a graph cycle per message.
// A listing always starts at index 0, so listing index 0 takes a fresh snapshot; the other indices and
// the open calls use that snapshot, so a number means the device that was listed under it.
class DeviceDirectory
{
public:
    enum Direction { Inputs, Outputs };
    enum Purpose { Listing, Opening };

    // The entry behind a device number; false when the number names no device.
    static bool entry(Direction direction, unsigned deviceId, Purpose purpose, MidiDeviceEntry &result);

    // The name that all clients of this program start with, in every process.
    static const char *programName();
    // The client name under which this process appears in the MIDI system, unique per process.
    static const char *clientName();
    // The short-lived client that looks at a JACK server.
    static std::string probeName();

    // Whether a port belongs to this program, in any process, also as a bridge's copy.
    static bool isOwnPort(const MidiDeviceEntry &entry);

    // The MIDI client that a port belongs to, for telling whether an input and an output are one unit:
    // on ALSA its sequencer client number, on JACK its client name; a bridge's copy stands for the ALSA
    // client that its name or aliases give; in this process the device.
    static std::string clientOf(const MidiDeviceEntry &entry);
    // Whether a JACK port is a bridge's copy of an ALSA sequencer port.
    static bool isAlsaCopy(const MidiDeviceEntry &entry);
    // The MIDI system ("alsa", "jack", "in-process") and the port's address there: the sequencer's
    // client:port, JACK's full name, the device's number.
    static std::string systemOf(const MidiDeviceEntry &entry);
    static std::string addressOf(const MidiDeviceEntry &entry);

    // Switches off the messages that ALSA and JACK print on stderr.
    static void silenceLibraries();

    // Whether the backend can be used right now (never while JACK is held); checked quietly (no
    // messages on stderr).
    static bool available(MidiBackend backend);

    // Silences an RtMidi object's own error printing and remembers whether an error occurred.
    struct ErrorFlag
    {
        bool raised = false;
    };
    static void silence(RtMidi &api, ErrorFlag &flag);

private:
    static std::vector<MidiDeviceEntry> enumerate(Direction direction);
    static std::mutex mutex;
    static std::vector<MidiDeviceEntry> snapshots[2];
};
