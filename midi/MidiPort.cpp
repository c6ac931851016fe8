#include "MidiPort.h"

#include "DeviceDirectory.h"
#include "MidiEvent.h"

#include <QCoreApplication>
#include <QString>

MidiPort::MidiPort() = default;

MidiPort::~MidiPort()
{
    close();
}

namespace {

const char16_t *deviceName(DeviceDirectory::Direction direction, unsigned index, std::u16string &name)
{
    MidiDeviceEntry entry;
    if (!DeviceDirectory::entry(direction, index, DeviceDirectory::Listing, entry))
        return nullptr;
    name = QString::fromStdString(entry.name).toStdU16String();
    return name.c_str();
}

bool isJackDevice(DeviceDirectory::Direction direction, int index)
{
    MidiDeviceEntry entry;
    return index >= 0 && DeviceDirectory::entry(direction, unsigned(index), DeviceDirectory::Opening, entry)
        && entry.backend == MidiBackend::Jack;
}

} // namespace

const char16_t *MidiPort::inputDeviceName(unsigned index)
{
    return deviceName(DeviceDirectory::Inputs, index, inputName);
}

const char16_t *MidiPort::outputDeviceName(unsigned index)
{
    return deviceName(DeviceDirectory::Outputs, index, outputName);
}

bool MidiPort::whereIs(bool input, unsigned index, std::string &system, std::string &address)
{
    MidiDeviceEntry entry;
    if (!DeviceDirectory::entry(input ? DeviceDirectory::Inputs : DeviceDirectory::Outputs, index,
            DeviceDirectory::Opening, entry))
        return false;
    system = DeviceDirectory::systemOf(entry);
    address = DeviceDirectory::addressOf(entry);
    return true;
}

bool MidiPort::open(int inputIndex, int outputIndex)
{
    close();
    closing = false;
    onJack = isJackDevice(DeviceDirectory::Inputs, inputIndex)
        || isJackDevice(DeviceDirectory::Outputs, outputIndex);

    bool inputOpened = false;
    HMIDIIN input = nullptr;
    if (midiInOpen(
            &input, unsigned(inputIndex), onInput, reinterpret_cast<DWORD_PTR>(this), CALLBACK_FUNCTION)
        == MMSYSERR_NOERROR) {
        inHandle = input;
        for (int i = 0; i < QueuedInputBuffers; ++i)
            queueInputBuffer();
        midiInStart(input);
        inputOpened = true;
    }
    const MMRESULT output = midiOutOpen(
        &outHandle, unsigned(outputIndex), onOutput, reinterpret_cast<DWORD_PTR>(this), CALLBACK_FUNCTION);
    return inputOpened && output == MMSYSERR_NOERROR;
}

bool MidiPort::sameClient(int inputIndex, int outputIndex)
{
    MidiDeviceEntry input;
    MidiDeviceEntry output;
    if (inputIndex < 0 || outputIndex < 0
        || !DeviceDirectory::entry(
            DeviceDirectory::Inputs, unsigned(inputIndex), DeviceDirectory::Opening, input)
        || !DeviceDirectory::entry(
            DeviceDirectory::Outputs, unsigned(outputIndex), DeviceDirectory::Opening, output))
        return true;
    return DeviceDirectory::clientOf(input) == DeviceDirectory::clientOf(output);
}

void MidiPort::close()
{
    if (HMIDIIN input = inHandle.load()) {
        // Set before the reset, so that the buffers it hands back are released, not delivered.
        closing = true;
        midiInStop(input);
        midiInReset(input);
        midiInClose(input);
        inHandle = nullptr;
    }
    if (outHandle) {
        midiOutReset(outHandle);
        midiOutClose(outHandle);
        outHandle = nullptr;
    }
    onJack = false;
}

bool MidiPort::sendLong(std::unique_ptr<char[]> bytes, std::uint32_t length)
{
    if (!outHandle || !bytes)
        return false;
    auto header = std::make_unique<MIDIHDR>();
    header->lpData = bytes.get();
    header->dwBufferLength = length;
    header->dwUser = reinterpret_cast<DWORD_PTR>(outHandle);
    if (midiOutPrepareHeader(outHandle, header.get(), sizeof(MIDIHDR)) != MMSYSERR_NOERROR)
        return false;
    if (midiOutLongMsg(outHandle, header.get(), sizeof(MIDIHDR)) != MMSYSERR_NOERROR) {
        midiOutUnprepareHeader(outHandle, header.get(), sizeof(MIDIHDR));
        return false;
    }
    // From here on onOutput releases both, possibly already.
    static_cast<void>(bytes.release());
    static_cast<void>(header.release());
    return true;
}

MMRESULT MidiPort::queueInputBuffer()
{
    HMIDIIN input = inHandle.load();
    if (closing || !input)
        return MMSYSERR_NOERROR;
    auto *header = new MIDIHDR{};
    header->lpData = new char[InputBufferSize]();
    header->dwBufferLength = InputBufferSize;
    MMRESULT result = midiInPrepareHeader(input, header, sizeof(MIDIHDR));
    if (result == MMSYSERR_NOERROR) {
        result = midiInAddBuffer(input, header, sizeof(MIDIHDR));
        if (result != MMSYSERR_NOERROR)
            midiInUnprepareHeader(input, header, sizeof(MIDIHDR));
    }
    if (result != MMSYSERR_NOERROR)
        releaseInputBuffer(header);
    return result;
}

MMRESULT MidiPort::unprepareInput(MIDIHDR *header)
{
    return midiInUnprepareHeader(inHandle.load(), header, sizeof(MIDIHDR));
}

void MidiPort::setReceiver(QObject *window)
{
    receiver = window;
}

void MidiPort::releaseInputBuffer(MIDIHDR *header)
{
    delete[] header->lpData;
    delete header;
}

void MidiPort::onInput(HMIDIIN handle, unsigned code, DWORD_PTR instance, DWORD_PTR param1, DWORD_PTR)
{
    auto *port = reinterpret_cast<MidiPort *>(instance);
    if (!port || code != MIM_LONGDATA || !param1)
        return;
    auto *header = reinterpret_cast<MIDIHDR *>(param1);
    const HMIDIIN current = port->inHandle.load();
    // A buffer that is not delivered is ours to release: it was allocated by queueInputBuffer.
    if ((current && current != handle) || port->closing || !port->receiver) {
        releaseInputBuffer(header);
        return;
    }
    QCoreApplication::postEvent(port->receiver, new MidiEvent(header, ++port->arrivals));
}

void MidiPort::onOutput(HMIDIOUT, unsigned code, DWORD_PTR, DWORD_PTR param1, DWORD_PTR)
{
    if (code != MOM_DONE || !param1)
        return;
    auto *header = reinterpret_cast<MIDIHDR *>(param1);
    midiOutUnprepareHeader(reinterpret_cast<HMIDIOUT>(header->dwUser), header, sizeof(MIDIHDR));
    delete[] header->lpData;
    delete header;
}
