#include "MidiDevices.h"

#include <rtmidi/RtMidi.h>

namespace {

void finish(MidiOutDevice &device, MIDIHDR *header)
{
    header->dwFlags = (header->dwFlags & ~MHDR_INQUEUE) | MHDR_DONE;
    device.callback(&device, MOM_DONE, device.instance, reinterpret_cast<DWORD_PTR>(header), 0);
}

// The messages that have left are handed back on the caller's thread, at its next call.
bool openJackOutput(MidiOutDevice &device, const MidiDeviceEntry &entry)
{
    MidiOutDevice *self = &device;
    return device.jack.open(DeviceDirectory::clientName(), nullptr, nullptr, "out",
               [self](std::uintptr_t token) { finish(*self, reinterpret_cast<MIDIHDR *>(token)); })
        && device.jack.connectTo(entry.name);
}

bool openRtMidiOutput(MidiOutDevice &device, const MidiDeviceEntry &entry)
{
    try {
        device.rtmidi = std::make_unique<RtMidiOut>(RtMidi::LINUX_ALSA, DeviceDirectory::clientName());
    } catch (const RtMidiError &) {
        return false;
    }
    DeviceDirectory::silence(*device.rtmidi, device.rtmidiError);
    return openNamedPort(*device.rtmidi, entry, "out", device.rtmidiError);
}

} // namespace

MidiOutDevice::~MidiOutDevice()
{
    {
        std::lock_guard<std::mutex> lock(mutex);
        stopping = true;
    }
    changed.notify_all();
    if (sender.joinable())
        sender.join();
}

void MidiOutDevice::run()
{
    std::unique_lock<std::mutex> lock(mutex);
    for (;;) {
        changed.wait(lock, [this] { return stopping || !queue.empty(); });
        if (stopping)
            return;
        MIDIHDR *header = queue.front();
        queue.pop_front();
        sending = true;
        lock.unlock();
        transmit(*header);
        finish(*this, header);
        lock.lock();
        sending = false;
        changed.notify_all();
    }
}

void MidiOutDevice::transmit(const MIDIHDR &header)
{
    const auto *bytes = reinterpret_cast<const std::uint8_t *>(header.lpData);
    if (inProcessId) {
        InProcessRegistry::receive(inProcessId, bytes, header.dwBufferLength);
        return;
    }
    try {
        rtmidi->sendMessage(bytes, header.dwBufferLength);
    } catch (const RtMidiError &) {
        // A message the backend could not take is lost like one lost on the cable.
    }
}

MMRESULT midiOutOpen(
    HMIDIOUT *handle, unsigned deviceId, MidiOutProc callback, DWORD_PTR instance, std::uint32_t flags)
{
    if (const MMRESULT invalid = checkOpenRequest(handle, callback, flags))
        return invalid;
    MidiDeviceEntry entry;
    if (!DeviceDirectory::entry(DeviceDirectory::Outputs, deviceId, DeviceDirectory::Opening, entry))
        return MMSYSERR_BADDEVICEID;

    auto device = std::make_unique<MidiOutDevice>();
    device->callback = callback;
    device->instance = instance;
    if (entry.backend == MidiBackend::InProcess) {
        if (InProcessRegistry::refuse(entry.inProcessId, &InProcessDevice::refuseOutputOpen))
            return MMSYSERR_NODRIVER;
        device->inProcessId = entry.inProcessId;
    } else if (!(entry.backend == MidiBackend::Jack ? openJackOutput(*device, entry)
                                                    : openRtMidiOutput(*device, entry))) {
        return MMSYSERR_NODRIVER;
    }
    if (!device->jack.isOpen())
        device->sender = std::thread(&MidiOutDevice::run, device.get());
    *handle = device.release();
    callback(*handle, MOM_OPEN, instance, 0, 0);
    return MMSYSERR_NOERROR;
}

MMRESULT midiOutPrepareHeader(HMIDIOUT handle, MIDIHDR *header, unsigned headerSize)
{
    if (!handle)
        return MMSYSERR_INVALHANDLE;
    return prepareHeader(handle->inProcessId, header, headerSize, &InProcessDevice::refuseOutputPrepare);
}

MMRESULT midiOutLongMsg(HMIDIOUT handle, MIDIHDR *header, unsigned headerSize)
{
    if (!handle)
        return MMSYSERR_INVALHANDLE;
    if (const MMRESULT refused = queueableHeader(header, headerSize))
        return refused;
    if (handle->inProcessId
        && InProcessRegistry::refuse(handle->inProcessId, &InProcessDevice::refuseLongMessage))
        return MMSYSERR_ERROR;
    if (handle->jack.isOpen()) {
        handle->jack.collectSent();
        // One that cannot fit into a cycle would be lost on the way.
        if (header->dwBufferLength > handle->jack.longestSent())
            return MMSYSERR_INVALPARAM;
        header->dwFlags = (header->dwFlags | MHDR_INQUEUE) & ~MHDR_DONE;
        if (handle->jack.send(reinterpret_cast<const std::uint8_t *>(header->lpData), header->dwBufferLength,
                reinterpret_cast<std::uintptr_t>(header)))
            return MMSYSERR_NOERROR;
        // The queue is full: the cycles have not run for a long while.
        header->dwFlags &= ~MHDR_INQUEUE;
        return MMSYSERR_ERROR;
    }
    {
        std::lock_guard<std::mutex> lock(handle->mutex);
        header->dwFlags = (header->dwFlags | MHDR_INQUEUE) & ~MHDR_DONE;
        handle->queue.push_back(header);
    }
    handle->changed.notify_all();
    return MMSYSERR_NOERROR;
}

MMRESULT midiOutReset(HMIDIOUT handle)
{
    if (!handle)
        return MMSYSERR_INVALHANDLE;
    handle->jack.discardPending();
    std::deque<MIDIHDR *> pending;
    {
        std::unique_lock<std::mutex> lock(handle->mutex);
        pending.swap(handle->queue);
        handle->changed.wait(lock, [handle] { return !handle->sending; });
    }
    for (MIDIHDR *header : pending)
        finish(*handle, header);
    return MMSYSERR_NOERROR;
}

MMRESULT midiOutClose(HMIDIOUT handle)
{
    if (!handle)
        return MMSYSERR_INVALHANDLE;
    handle->jack.collectSent();
    if (handle->jack.pending())
        return MIDIERR_STILLPLAYING;
    {
        std::lock_guard<std::mutex> lock(handle->mutex);
        if (!handle->queue.empty() || handle->sending)
            return MIDIERR_STILLPLAYING;
    }
    // No cycle hands a message back after the close notification.
    handle->jack.close();
    handle->callback(handle, MOM_CLOSE, handle->instance, 0, 0);
    delete handle;
    return MMSYSERR_NOERROR;
}

MMRESULT midiOutUnprepareHeader(HMIDIOUT handle, MIDIHDR *header, unsigned headerSize)
{
    return handle ? unprepareHeader(header, headerSize) : MMSYSERR_INVALHANDLE;
}
