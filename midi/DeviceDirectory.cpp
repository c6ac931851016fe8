#include "DeviceDirectory.h"

#include "JackServerLock.h"
#include "MidiDevices.h"

#include <alsa/asoundlib.h>
#include <jack/jack.h>
#include <rtmidi/RtMidi.h>

#include <QString>

#include <algorithm>

std::mutex DeviceDirectory::mutex;
std::vector<MidiDeviceEntry> DeviceDirectory::snapshots[2];

namespace {

void quietAlsa(const char *, int, const char *, int, const char *, ...) { }
void quietJack(const char *) { }

// Ports of this program's own clients are never offered: opening them would talk to itself. JACK
// numbers clients of the same name ("Tavrin Update-01"), so the name is compared as a prefix.
bool isOwnPort(const std::string &name)
{
    return name.rfind(DeviceDirectory::clientName(), 0) == 0;
}

template <class Api> void appendAlsaPorts(std::vector<MidiDeviceEntry> &list)
{
    try {
        Api api(RtMidi::LINUX_ALSA, DeviceDirectory::clientName());
        DeviceDirectory::ErrorFlag flag;
        DeviceDirectory::silence(api, flag);
        const unsigned count = api.getPortCount();
        for (unsigned port = 0; port < count; ++port) {
            std::string name = api.getPortName(port);
            if (!name.empty() && !isOwnPort(name))
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
        if (!isOwnPort(port))
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

const char *DeviceDirectory::clientName()
{
    return "Tavrin Update";
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
