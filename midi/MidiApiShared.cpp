#include "MidiDevices.h"

#include <rtmidi/RtMidi.h>

#include <algorithm>

namespace {

// The name without the client and port numbers that ALSA names end in ("Tavrin:out 128:0").
std::string withoutAddress(const std::string &name)
{
    const std::size_t space = name.rfind(' ');
    if (space == std::string::npos)
        return name;
    const std::string address = name.substr(space + 1);
    const std::size_t colon = address.find(':');
    const bool numbers = colon != std::string::npos && colon > 0 && colon + 1 < address.size()
        && address.find_first_not_of("0123456789:") == std::string::npos
        && address.find(':', colon + 1) == std::string::npos;
    return numbers ? name.substr(0, space) : name;
}

} // namespace

bool openNamedPort(
    RtMidi &api, const MidiDeviceEntry &entry, const char *portName, const DeviceDirectory::ErrorFlag &flag)
{
    try {
        std::vector<std::string> names;
        for (unsigned port = 0, count = api.getPortCount(); port < count; ++port)
            names.push_back(api.getPortName(port));
        auto found = std::find(names.begin(), names.end(), entry.name);
        // A device that went away and came back has the numbers that were free then; its row still
        // names it.
        if (found == names.end()) {
            found = std::find_if(names.begin(), names.end(),
                [&](const std::string &name) { return withoutAddress(name) == withoutAddress(entry.name); });
        }
        if (found == names.end())
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
