#include "VirtualPort.h"

#include <rtmidi/RtMidi.h>

namespace {

constexpr unsigned char SysExStart = 0xF0;

} // namespace

VirtualPort::VirtualPort() = default;

VirtualPort::~VirtualPort()
{
    close();
}

bool VirtualPort::open(const std::string &clientName, Receiver onReceive, Choice choice)
{
    close();
    MidiBackend backend = MidiBackend::Jack;
    if (choice == Choice::Alsa
        || (choice == Choice::Automatic && DeviceDirectory::available(MidiBackend::Alsa)))
        backend = MidiBackend::Alsa;
    // RtMidi's JACK objects fail badly without a server, so its presence is checked first.
    if (!DeviceDirectory::available(backend)) {
        if (choice == Choice::Automatic)
            error = "neither the ALSA sequencer nor a JACK server is available";
        else
            error = backend == MidiBackend::Alsa ? "the ALSA sequencer cannot be opened"
                                                 : "no JACK server is running";
        return false;
    }

    const RtMidi::Api api = backend == MidiBackend::Alsa ? RtMidi::LINUX_ALSA : RtMidi::UNIX_JACK;
    receiver = std::move(onReceive);
    outputError = {};
    inputError = {};
    try {
        // The output exists before the input's thread can deliver a message that is answered at once.
        output = std::make_unique<RtMidiOut>(api, clientName);
        DeviceDirectory::silence(*output, outputError);
        output->openVirtualPort(OutputName);
        input = std::make_unique<RtMidiIn>(api, clientName);
        DeviceDirectory::silence(*input, inputError);
        input->ignoreTypes(false, true, true);
        input->setCallback(&VirtualPort::onMessage, this);
        input->openVirtualPort(InputName);
    } catch (const RtMidiError &e) {
        error = e.getMessage();
        close();
        return false;
    }
    if (outputError.raised || inputError.raised) {
        error = "the MIDI system refused the ports";
        close();
        return false;
    }
    openedBackend = backend;
    return true;
}

void VirtualPort::close()
{
    // The input goes first, and its thread with it: it may be delivering a message that is being answered.
    input.reset();
    // RtMidi's JACK output reads freed memory when destroyed with its port still open.
    if (output) {
        output->closePort();
        output.reset();
    }
    openedBackend = MidiBackend::InProcess;
}

bool VirtualPort::send(const std::uint8_t *bytes, std::size_t size)
{
    if (!output || !bytes || size == 0)
        return false;
    try {
        output->sendMessage(bytes, size);
    } catch (const RtMidiError &) {
        return false;
    }
    return !outputError.raised;
}

const char *VirtualPort::backendName(MidiBackend backend)
{
    switch (backend) {
    case MidiBackend::Alsa:
        return "ALSA sequencer";
    case MidiBackend::Jack:
        return "JACK";
    case MidiBackend::InProcess:
        break;
    }
    return "none";
}

void VirtualPort::onMessage(double, std::vector<unsigned char> *message, void *port)
{
    if (!message || message->empty() || message->front() != SysExStart)
        return;
    static_cast<VirtualPort *>(port)->receiver(message->data(), message->size());
}
