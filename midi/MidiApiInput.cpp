#include "MidiDevices.h"

#include <rtmidi/RtMidi.h>

#include <algorithm>
#include <cstring>

namespace {

constexpr std::uint8_t SysExStart = 0xF0;

void rtmidiInput(double, std::vector<unsigned char> *message, void *device)
{
    if (message && !message->empty())
        static_cast<MidiInDevice *>(device)->deliver(message->data(), message->size());
}

bool openRtMidiInput(MidiInDevice &device, const MidiDeviceEntry &entry)
{
    try {
        device.rtmidi = std::make_unique<RtMidiIn>(rtmidiApi(entry.backend), DeviceDirectory::clientName());
    } catch (const RtMidiError &) {
        return false;
    }
    DeviceDirectory::silence(*device.rtmidi, device.rtmidiError);
    device.rtmidi->ignoreTypes(false, true, true);
    device.rtmidi->setCallback(rtmidiInput, &device);
    return openNamedPort(*device.rtmidi, entry, "in", device.rtmidiError);
}

} // namespace

MidiInDevice::~MidiInDevice()
{
    // The backend's thread must be gone before the queue and its lock are destroyed.
    rtmidi.reset();
}

void MidiInDevice::deliver(const std::uint8_t *bytes, std::size_t size)
{
    if (size == 0 || bytes[0] != SysExStart)
        return;
    std::lock_guard<std::mutex> lock(mutex);
    if (!started)
        return;
    for (std::size_t offset = 0; offset < size && !queue.empty();) {
        MIDIHDR *header = queue.front();
        queue.pop_front();
        const std::size_t piece = std::min<std::size_t>(size - offset, header->dwBufferLength);
        std::memcpy(header->lpData, bytes + offset, piece);
        header->dwBytesRecorded = std::uint32_t(piece);
        header->dwFlags = (header->dwFlags & ~MHDR_INQUEUE) | MHDR_DONE;
        offset += piece;
        callback(this, MIM_LONGDATA, instance, reinterpret_cast<DWORD_PTR>(header), 0);
    }
}

MMRESULT midiInOpen(
    HMIDIIN *handle, unsigned deviceId, MidiInProc callback, DWORD_PTR instance, std::uint32_t flags)
{
    if (const MMRESULT invalid = checkOpenRequest(handle, callback, flags))
        return invalid;
    MidiDeviceEntry entry;
    if (!DeviceDirectory::entry(DeviceDirectory::Inputs, deviceId, DeviceDirectory::Opening, entry))
        return MMSYSERR_BADDEVICEID;

    auto device = std::make_unique<MidiInDevice>();
    device->callback = callback;
    device->instance = instance;
    if (entry.backend == MidiBackend::InProcess) {
        if (!InProcessRegistry::exists(entry.inProcessId))
            return MMSYSERR_NODRIVER;
        device->inProcessId = entry.inProcessId;
        InProcessRegistry::bindInput(entry.inProcessId, device.get());
    } else if (!openRtMidiInput(*device, entry)) {
        return MMSYSERR_NODRIVER;
    }
    *handle = device.release();
    callback(*handle, MIM_OPEN, instance, 0, 0);
    return MMSYSERR_NOERROR;
}

MMRESULT midiInPrepareHeader(HMIDIIN handle, MIDIHDR *header, unsigned headerSize)
{
    if (!handle)
        return MMSYSERR_INVALHANDLE;
    return prepareHeader(handle->inProcessId, header, headerSize, &InProcessDevice::refuseInputPrepare);
}

MMRESULT midiInAddBuffer(HMIDIIN handle, MIDIHDR *header, unsigned headerSize)
{
    if (!handle)
        return MMSYSERR_INVALHANDLE;
    if (const MMRESULT refused = queueableHeader(header, headerSize))
        return refused;
    std::lock_guard<std::mutex> lock(handle->mutex);
    header->dwFlags = (header->dwFlags | MHDR_INQUEUE) & ~MHDR_DONE;
    header->dwBytesRecorded = 0;
    handle->queue.push_back(header);
    return MMSYSERR_NOERROR;
}

MMRESULT midiInStart(HMIDIIN handle)
{
    if (!handle)
        return MMSYSERR_INVALHANDLE;
    std::lock_guard<std::mutex> lock(handle->mutex);
    handle->started = true;
    return MMSYSERR_NOERROR;
}

MMRESULT midiInStop(HMIDIIN handle)
{
    if (!handle)
        return MMSYSERR_INVALHANDLE;
    std::lock_guard<std::mutex> lock(handle->mutex);
    handle->started = false;
    return MMSYSERR_NOERROR;
}

MMRESULT midiInReset(HMIDIIN handle)
{
    if (!handle)
        return MMSYSERR_INVALHANDLE;
    std::lock_guard<std::mutex> lock(handle->mutex);
    handle->started = false;
    while (!handle->queue.empty()) {
        MIDIHDR *header = handle->queue.front();
        handle->queue.pop_front();
        header->dwBytesRecorded = 0;
        header->dwFlags = (header->dwFlags & ~MHDR_INQUEUE) | MHDR_DONE;
        handle->callback(handle, MIM_LONGDATA, handle->instance, reinterpret_cast<DWORD_PTR>(header), 0);
    }
    return MMSYSERR_NOERROR;
}

MMRESULT midiInClose(HMIDIIN handle)
{
    if (!handle)
        return MMSYSERR_INVALHANDLE;
    {
        std::lock_guard<std::mutex> lock(handle->mutex);
        if (!handle->queue.empty())
            return MIDIERR_STILLPLAYING;
    }
    InProcessRegistry::unbindInput(handle);
    handle->rtmidi.reset();
    handle->callback(handle, MIM_CLOSE, handle->instance, 0, 0);
    delete handle;
    return MMSYSERR_NOERROR;
}

MMRESULT midiInUnprepareHeader(HMIDIIN handle, MIDIHDR *header, unsigned headerSize)
{
    return handle ? unprepareHeader(header, headerSize) : MMSYSERR_INVALHANDLE;
}
