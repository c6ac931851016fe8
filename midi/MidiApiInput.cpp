#include "MidiDevices.h"

#include <rtmidi/RtMidi.h>

#include <QCoreApplication>

#include <sys/eventfd.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <iterator>
#include <utility>

namespace {

constexpr std::uint8_t SysExStart = 0xF0;

// Each kind of fault in what JACK delivered is logged once per device.
const std::pair<unsigned, const char *> FaultTexts[] = {
    {SysExAssembler::Restarted,
        QT_TRANSLATE_NOOP("MidiPort",
            "A System Exclusive message from the MIDI input was cut off by the "
            "start of another and is dropped.")},
    {SysExAssembler::Aborted,
        QT_TRANSLATE_NOOP("MidiPort",
            "A System Exclusive message from the MIDI input was broken off by "
            "another MIDI message and is dropped.")},
    {SysExAssembler::Overflowed,
        QT_TRANSLATE_NOOP("MidiPort",
            "A System Exclusive message from the MIDI input is longer than 64 KiB "
            "and is dropped.")},
    {SysExAssembler::Lost,
        QT_TRANSLATE_NOOP("MidiPort",
            "Messages from the MIDI input arrived faster than they could be "
            "taken; some are dropped.")},
};

void rtmidiInput(double, std::vector<unsigned char> *message, void *device)
{
    if (message && !message->empty())
        static_cast<MidiInDevice *>(device)->deliver(message->data(), message->size());
}

bool openJackInput(MidiInDevice &device, const MidiDeviceEntry &entry)
{
    device.inbox = std::make_unique<JackInbox>();
    JackInbox *inbox = device.inbox.get();
    if (inbox->wake < 0)
        return false;
    MidiInDevice *self = &device;
    inbox->notifier = std::make_unique<QSocketNotifier>(inbox->wake, QSocketNotifier::Read);
    QObject::connect(
        inbox->notifier.get(), &QSocketNotifier::activated, [self] { self->inbox->takeAll(*self); });
    return device.jack.open(
               DeviceDirectory::clientName(), "in",
               [inbox](const std::uint8_t *bytes, std::size_t size) { inbox->put(bytes, size); }, nullptr,
               nullptr)
        && device.jack.connectTo(entry.name);
}

bool openRtMidiInput(MidiInDevice &device, const MidiDeviceEntry &entry)
{
    try {
        device.rtmidi = std::make_unique<RtMidiIn>(RtMidi::LINUX_ALSA, DeviceDirectory::clientName());
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
    // The backend's thread must be gone before the queue, its lock and the inbox are destroyed.
    rtmidi.reset();
    jack.close();
}

JackInbox::JackInbox()
    : wake(eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC))
    , scratch(JackClient::LongestReceived)
{
}

JackInbox::~JackInbox()
{
    notifier.reset();
    if (wake >= 0)
        ::close(wake);
}

bool JackInbox::put(const std::uint8_t *bytes, std::size_t size)
{
    const auto length = std::uint32_t(size);
    if (!messages.push(&length, sizeof length, bytes, size)) {
        lost = true;
        return false;
    }
    // Never blocks: a counter that cannot grow any more has its reader awake already.
    static_cast<void>(eventfd_write(wake, 1));
    return true;
}

void JackInbox::takeAll(MidiInDevice &device)
{
    eventfd_t count = 0;
    static_cast<void>(eventfd_read(wake, &count));
    std::uint32_t length = 0;
    while (messages.readable() >= sizeof length) {
        messages.peek(0, &length, sizeof length);
        messages.peek(sizeof length, scratch.data(), length);
        messages.consume(sizeof length + length);
        device.deliver(scratch.data(), length);
    }
    unsigned faults = device.jack.takeFaults() | (lost.exchange(false) ? SysExAssembler::Lost : 0U);
    faults &= ~loggedFaults;
    loggedFaults |= faults;
    for (const auto &[fault, text] : FaultTexts) {
        if (faults & fault)
            qWarning("%s", qPrintable(QCoreApplication::translate("MidiPort", text)));
    }
}

void MidiInDevice::deliver(const std::uint8_t *bytes, std::size_t size)
{
    if (size == 0 || bytes[0] != SysExStart)
        return;
    std::lock_guard<std::mutex> lock(mutex);
    if (!started)
        return;
    // RtMidi's ALSA input glues a message cut off before its end to the next one: only the last start
    // begins a whole message, and what comes before it is dropped.
    const auto lastStart
        = std::find(std::make_reverse_iterator(bytes + size), std::make_reverse_iterator(bytes), SysExStart);
    const auto cutOff = std::size_t(lastStart.base() - 1 - bytes);
    if (cutOff > 0) {
        if (!cutOffLogged)
            qWarning("%s", qPrintable(QCoreApplication::translate("MidiPort", FaultTexts[0].second)));
        cutOffLogged = true;
        bytes += cutOff;
        size -= cutOff;
    }
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
    } else if (!(entry.backend == MidiBackend::Jack ? openJackInput(*device, entry)
                                                    : openRtMidiInput(*device, entry))) {
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
    handle->jack.close();
    handle->callback(handle, MIM_CLOSE, handle->instance, 0, 0);
    delete handle;
    return MMSYSERR_NOERROR;
}

MMRESULT midiInUnprepareHeader(HMIDIIN handle, MIDIHDR *header, unsigned headerSize)
{
    return handle ? unprepareHeader(header, headerSize) : MMSYSERR_INVALHANDLE;
}
