#include "MidiDevices.h"

#include <rtmidi/RtMidi.h>

#include <algorithm>

bool openNamedPort(
    RtMidi &api, const MidiDeviceEntry &entry, const char *portName, const DeviceDirectory::ErrorFlag &flag)
{
    try {
        // The listed name carries the ALSA sequencer address (client:port), so the port opened is the
        // one that was listed, never another unit of the same name; a name that fits two ports is
        // refused rather than guessed.
        std::vector<std::string> names;
        for (unsigned port = 0, count = api.getPortCount(); port < count; ++port)
            names.push_back(api.getPortName(port));
        const auto found = std::find(names.begin(), names.end(), entry.name);
        if (found == names.end() || std::count(names.begin(), names.end(), entry.name) > 1)
            return false;
        api.openPort(unsigned(found - names.begin()), portName);
        return !flag.raised;
    } catch (const RtMidiError &) {
    }
    return false;
}

MMRESULT checkOpenRequest(bool hasHandle, bool hasCallback, std::uint32_t flags)
{
    if (!hasHandle || !hasCallback)
        return MMSYSERR_INVALPARAM;
    return flags == CALLBACK_FUNCTION ? MMSYSERR_NOERROR : MMSYSERR_INVALFLAG;
}

MMRESULT prepareHeader(std::uint64_t inProcessId, MIDIHDR *header, unsigned headerSize,
    std::atomic<int> InProcessDevice::*refusal)
{
    if (!header || headerSize < sizeof(MIDIHDR) || !header->lpData || header->dwBufferLength == 0)
        return MMSYSERR_INVALPARAM;
    if (inProcessId && InProcessRegistry::refuse(inProcessId, refusal))
        return MMSYSERR_ERROR;
    header->dwFlags |= MHDR_PREPARED;
    return MMSYSERR_NOERROR;
}

MMRESULT queueableHeader(const MIDIHDR *header, unsigned headerSize)
{
    if (!header || headerSize < sizeof(MIDIHDR))
        return MMSYSERR_INVALPARAM;
    if (!(header->dwFlags & MHDR_PREPARED))
        return MIDIERR_UNPREPARED;
    return header->dwFlags & MHDR_INQUEUE ? MIDIERR_STILLPLAYING : MMSYSERR_NOERROR;
}

MMRESULT unprepareHeader(MIDIHDR *header, unsigned headerSize)
{
    if (!header || headerSize < sizeof(MIDIHDR))
        return MMSYSERR_INVALPARAM;
    if (header->dwFlags & MHDR_INQUEUE)
        return MIDIERR_STILLPLAYING;
    header->dwFlags &= ~MHDR_PREPARED;
    return MMSYSERR_NOERROR;
}
