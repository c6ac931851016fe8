#include "DeviceDirectory.h"

#include "JackServerLock.h"
#include "MidiDevices.h"

#include <alsa/asoundlib.h>
#include <jack/jack.h>
#include <rtmidi/RtMidi.h>

#include <algorithm>
#include <cctype>
#include <unistd.h>

std::mutex DeviceDirectory::mutex;
std::vector<MidiDeviceEntry> DeviceDirectory::snapshots[2];

namespace {

void quietAlsa(const char *, int, const char *, int, const char *, ...) { }
void quietJack(const char *) { }

template <class Api> void appendAlsaPorts(std::vector<MidiDeviceEntry> &list)
{
    try {
        Api api(RtMidi::LINUX_ALSA, DeviceDirectory::clientName());
        DeviceDirectory::ErrorFlag flag;
        DeviceDirectory::silence(api, flag);
        const unsigned count = api.getPortCount();
        for (unsigned port = 0; port < count; ++port) {
            MidiDeviceEntry entry{MidiBackend::Alsa, api.getPortName(port)};
            if (!entry.name.empty() && !DeviceDirectory::isOwnPort(entry))
                list.push_back(std::move(entry));
        }
    } catch (const RtMidiError &) {
        // A backend that fails while listing contributes no device.
    }
}

// Copies are left out where the original can be opened instead.
void appendJackPorts(
    DeviceDirectory::Direction direction, bool alsaReachable, std::vector<MidiDeviceEntry> &list)
{
    // The program's inputs read from JACK's output ports, and its outputs write to JACK's input ports.
    const unsigned long flags = direction == DeviceDirectory::Inputs ? JackPortIsOutput : JackPortIsInput;
    for (JackServerLock::Port &port : JackServerLock::ports(flags)) {
        MidiDeviceEntry entry{MidiBackend::Jack, std::move(port.name), 0, std::move(port.aliases)};
        if (!DeviceDirectory::isOwnPort(entry) && !(alsaReachable && DeviceDirectory::isAlsaCopy(entry)))
            list.push_back(std::move(entry));
    }
}

// Bridges write an ALSA client's name with every character but letters and digits as '-'
// ("alsa_pcm:USB-MIDI-Interface/midi_capture_1"); names are compared in that form.
std::string bridgeSpelling(const std::string &name)
{
    std::string spelled = name;
    for (char &c : spelled) {
        if (!std::isalnum(static_cast<unsigned char>(c)))
            c = '-';
    }
    return spelled;
}

// The number after `marker` up to `end` in `text` ("client_20:" in "alsa:seq:default:client_20:capture_0",
// "[20]" in "a2j:Tavrin [20] (capture): out"); empty when there is none.
std::string numberAfter(const std::string &text, const std::string &marker, char end)
{
    const std::size_t start = text.find(marker);
    if (start == std::string::npos)
        return {};
    const std::size_t first = start + marker.size();
    const std::size_t last = text.find(end, first);
    if (last == std::string::npos || last == first
        || !std::all_of(text.begin() + long(first), text.begin() + long(last),
            [](char c) { return std::isdigit(static_cast<unsigned char>(c)); }))
        return {};
    return text.substr(first, last - first);
}

// The ALSA client that a JACK port is a copy of, by number where a bridge gives it (PipeWire's port
// path, a2j's name), else by name (jackd -X seq's alias); empty for a port of JACK's own.
std::string bridgedAlsaClient(const MidiDeviceEntry &entry)
{
    for (const std::string &alias : entry.aliases) {
        const std::string number = numberAfter(alias, ":client_", ':');
        if (!number.empty())
            return "alsa " + number;
    }
    const std::size_t colon = entry.name.find(':');
    const std::string number
        = numberAfter(entry.name.substr(colon == std::string::npos ? 0 : colon), " [", ']');
    if (!number.empty())
        return "alsa " + number;
    const std::string jackdPrefix = "alsa_pcm:";
    for (const std::string &alias : entry.aliases) {
        const std::size_t slash = alias.find('/');
        if (alias.rfind(jackdPrefix, 0) == 0 && slash != std::string::npos)
            return "alsa client "
                + bridgeSpelling(alias.substr(jackdPrefix.size(), slash - jackdPrefix.size()));
    }
    return {};
}

std::string jackClient(const std::string &name)
{
    return name.substr(0, name.find(':'));
}

} // namespace

// ALSA and JACK print every failed connection attempt on stderr; a machine without a MIDI system is
// normal for this program, so their messages are switched off once.
void DeviceDirectory::silenceLibraries()
{
    static std::once_flag once;
    std::call_once(once, [] {
        snd_lib_error_set_handler(quietAlsa);
        jack_set_error_function(quietJack);
        jack_set_info_function(quietJack);
    });
}

const char *DeviceDirectory::programName()
{
    return "Tavrin Update";
}

// Several updaters run side by side, one per unit; the process number tells their clients apart in
// the MIDI system, also on ALSA, which allows two clients of one name.
const char *DeviceDirectory::clientName()
{
    static const std::string name = std::string(programName()) + " " + std::to_string(getpid());
    return name.c_str();
}

std::string DeviceDirectory::probeName()
{
    return std::string(clientName()) + " probe";
}

// Ports of this program's clients, of this process and of others, are never offered: opening them would
// talk to an updater rather than a unit. Bridges copy them under a client of their own and keep the
// original client's name after a colon or a slash, in their name or an alias ("a2j:Tavrin Update 4711
// [129] (capture): in", "alsa_pcm:Tavrin-Update-4711/midi_capture_1").
bool DeviceDirectory::isOwnPort(const MidiDeviceEntry &entry)
{
    const std::string program = bridgeSpelling(programName());
    const auto names = [&](const std::string &text) {
        std::size_t start = 0;
        while (start <= text.size()) {
            const std::size_t end = std::min(text.find_first_of(":/", start), text.size());
            std::string piece = text.substr(start, end - start);
            piece.erase(0, std::min(piece.find_first_not_of(' '), piece.size()));
            if (bridgeSpelling(piece).rfind(program, 0) == 0)
                return true;
            start = end + 1;
        }
        return false;
    };
    return names(entry.name) || std::any_of(entry.aliases.begin(), entry.aliases.end(), names);
}

std::string DeviceDirectory::clientOf(const MidiDeviceEntry &entry)
{
    switch (entry.backend) {
    case MidiBackend::Alsa: {
        // "Client:Port 128:0": the number before the last colon.
        const std::string address = addressOf(entry);
        return "alsa " + address.substr(0, address.find(':'));
    }
    case MidiBackend::Jack: {
        const std::string bridged = bridgedAlsaClient(entry);
        return bridged.empty() ? "jack " + jackClient(entry.name) : bridged;
    }
    case MidiBackend::InProcess:
        return "device " + std::to_string(entry.inProcessId);
    }
    return entry.name;
}

bool DeviceDirectory::isAlsaCopy(const MidiDeviceEntry &entry)
{
    if (entry.backend != MidiBackend::Jack)
        return false;
    // PipeWire's bridge and a2j are copies by their client alone, whatever their names look like.
    const std::string client = jackClient(entry.name);
    return client == "Midi-Bridge" || client == "a2j" || !bridgedAlsaClient(entry).empty();
}

std::string DeviceDirectory::systemOf(const MidiDeviceEntry &entry)
{
    switch (entry.backend) {
    case MidiBackend::Alsa:
        return "alsa";
    case MidiBackend::Jack:
        return "jack";
    case MidiBackend::InProcess:
        break;
    }
    return "in-process";
}

std::string DeviceDirectory::addressOf(const MidiDeviceEntry &entry)
{
    switch (entry.backend) {
    case MidiBackend::Alsa: {
        // RtMidi ends each name with the port's "client:port".
        const std::size_t space = entry.name.rfind(' ');
        return space == std::string::npos ? entry.name : entry.name.substr(space + 1);
    }
    case MidiBackend::Jack:
        return entry.name;
    case MidiBackend::InProcess:
        break;
    }
    return std::to_string(entry.inProcessId);
}

bool DeviceDirectory::available(MidiBackend backend)
{
    silenceLibraries();
    switch (backend) {
    case MidiBackend::Alsa: {
        snd_seq_t *sequencer = nullptr;
        if (snd_seq_open(&sequencer, "default", SND_SEQ_OPEN_DUPLEX, SND_SEQ_NONBLOCK) < 0)
            return false;
        snd_seq_close(sequencer);
        return true;
    }
    case MidiBackend::Jack:
        return JackServerLock::serverRunning();
    case MidiBackend::InProcess:
        return true;
    }
    return false;
}

void DeviceDirectory::silence(RtMidi &api, ErrorFlag &flag)
{
    api.setErrorCallback(
        [](RtMidiError::Type type, const std::string &, void *data) {
            if (type != RtMidiError::WARNING && type != RtMidiError::DEBUG_WARNING)
                static_cast<ErrorFlag *>(data)->raised = true;
        },
        &flag);
}

std::vector<MidiDeviceEntry> DeviceDirectory::enumerate(Direction direction)
{
    std::vector<MidiDeviceEntry> list;
    const bool alsaReachable = available(MidiBackend::Alsa);
    if (alsaReachable) {
        if (direction == Inputs)
            appendAlsaPorts<RtMidiIn>(list);
        else
            appendAlsaPorts<RtMidiOut>(list);
    }
    appendJackPorts(direction, alsaReachable, list);
    for (MidiDeviceEntry &entry : InProcessRegistry::entries())
        list.push_back(std::move(entry));
    return list;
}

bool DeviceDirectory::entry(Direction direction, unsigned deviceId, Purpose purpose, MidiDeviceEntry &result)
{
    std::lock_guard<std::mutex> lock(mutex);
    std::vector<MidiDeviceEntry> &snapshot = snapshots[direction];
    if ((purpose == Listing && deviceId == 0) || snapshot.empty())
        snapshot = enumerate(direction);
    if (deviceId >= snapshot.size())
        return false;
    result = snapshot[deviceId];
    return true;
}
