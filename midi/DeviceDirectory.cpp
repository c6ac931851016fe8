#include "DeviceDirectory.h"

#include "JackServerLock.h"
#include "MidiDevices.h"

#include <alsa/asoundlib.h>
#include <jack/jack.h>
#include <rtmidi/RtMidi.h>

#include <QString>

#include <algorithm>
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
            std::string name = api.getPortName(port);
            if (!name.empty() && !DeviceDirectory::isOwnPort(name))
                list.push_back({MidiBackend::Alsa, std::move(name), 0});
        }
    } catch (const RtMidiError &) {
        // A backend that fails while listing contributes no device.
    }
}

void appendJackPorts(DeviceDirectory::Direction direction, std::vector<MidiDeviceEntry> &list)
{
    // The program's inputs read from JACK's output ports, and its outputs write to JACK's input ports.
    const unsigned long flags = direction == DeviceDirectory::Inputs ? JackPortIsOutput : JackPortIsInput;
    for (std::string &port : JackServerLock::ports(flags)) {
        if (!DeviceDirectory::isOwnPort(port))
            list.push_back({MidiBackend::Jack, std::move(port), 0});
    }
}

std::u16string utf16Name(const std::string &utf8)
{
    // Truncation to the record's width may cut a surrogate pair; the name is only for display.
    return QString::fromStdString(utf8).toStdU16String();
}

template <class Caps>
MMRESULT deviceCaps(DeviceDirectory::Direction direction, unsigned deviceId, Caps *caps, unsigned capsSize)
{
    if (!caps || capsSize < sizeof(Caps))
        return MMSYSERR_INVALPARAM;
    MidiDeviceEntry entry;
    if (!DeviceDirectory::entry(direction, deviceId, DeviceDirectory::Listing, entry))
        return MMSYSERR_BADDEVICEID;
    const std::u16string name = utf16Name(entry.name);
    std::fill(std::begin(caps->szPname), std::end(caps->szPname), u'\0');
    std::copy_n(name.begin(), std::min<std::size_t>(name.size(), MAXPNAMELEN - 1), caps->szPname);
    return MMSYSERR_NOERROR;
}

} // namespace

MMRESULT midiInGetDevCapsW(unsigned deviceId, MIDIINCAPSW *caps, unsigned capsSize)
{
    return deviceCaps(DeviceDirectory::Inputs, deviceId, caps, capsSize);
}

MMRESULT midiOutGetDevCapsW(unsigned deviceId, MIDIOUTCAPSW *caps, unsigned capsSize)
{
    return deviceCaps(DeviceDirectory::Outputs, deviceId, caps, capsSize);
}

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
// talk to an updater rather than a unit. Bridges such as a2j copy them under a client of their own and
// keep the original name after it ("a2j:Tavrin Update 4711 [129] (capture): in"), so a copy is
// recognised by the name that follows the bridge's client.
bool DeviceDirectory::isOwnPort(const std::string &name)
{
    const std::string program = programName();
    const std::size_t colon = name.find(':');
    return name.rfind(program, 0) == 0
        || (colon != std::string::npos && name.compare(colon + 1, program.size(), program) == 0);
}

std::string DeviceDirectory::clientOf(const MidiDeviceEntry &entry)
{
    const std::string &name = entry.name;
    switch (entry.backend) {
    case MidiBackend::Alsa: {
        // "Client:Port 128:0": the number before the last colon.
        const std::size_t space = name.rfind(' ');
        const std::size_t colon = name.rfind(':');
        if (space == std::string::npos || colon == std::string::npos || colon < space)
            return name;
        return "alsa " + name.substr(space + 1, colon - space - 1);
    }
    case MidiBackend::Jack: {
        // "client:port"; a bridge names the bridged client and its number in brackets after its own
        // ("a2j:Tavrin [130] (capture): out").
        const std::size_t colon = name.find(':');
        const std::size_t bracket = name.find("] ", colon == std::string::npos ? 0 : colon);
        if (bracket != std::string::npos)
            return "jack " + name.substr(0, bracket + 1);
        return "jack " + name.substr(0, colon);
    }
    case MidiBackend::InProcess:
        return "device " + std::to_string(entry.inProcessId);
    }
    return name;
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
    if (available(MidiBackend::Alsa)) {
        if (direction == Inputs)
            appendAlsaPorts<RtMidiIn>(list);
        else
            appendAlsaPorts<RtMidiOut>(list);
    }
    appendJackPorts(direction, list);
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
