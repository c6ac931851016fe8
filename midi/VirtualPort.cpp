#include "VirtualPort.h"

#include "AlsaPortPair.h"
#include "JackClient.h"

namespace {

constexpr std::uint8_t SysExStart = 0xF0;

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
    // Checked quietly first: the libraries print every failed attempt to reach a MIDI system.
    if (!DeviceDirectory::available(backend)) {
        if (choice == Choice::Automatic)
            error = "neither the ALSA sequencer nor a JACK server is available";
        else
            error = backend == MidiBackend::Alsa ? "the ALSA sequencer cannot be opened"
                                                 : "no JACK server is running";
        return false;
    }
    receiver = std::move(onReceive);
    if (!(backend == MidiBackend::Alsa ? openAlsa(clientName) : openJack(clientName))) {
        close();
        return false;
    }
    openedBackend = backend;
    return true;
}

bool VirtualPort::openAlsa(const std::string &clientName)
{
    alsa = std::make_unique<AlsaPortPair>();
    if (!alsa->open(clientName, InputName, OutputName,
            [this](const std::uint8_t *bytes, std::size_t size) { deliver(bytes, size); })) {
        error = "the ALSA sequencer refused the ports";
        return false;
    }
    return true;
}

bool VirtualPort::openJack(const std::string &clientName)
{
    jack = std::make_unique<JackClient>();
    if (!jack->open(
            clientName, InputName,
            [this](const std::uint8_t *bytes, std::size_t size) { deliver(bytes, size); }, OutputName,
            nullptr)) {
        error = "the JACK server refused the client or its ports";
        return false;
    }
    return true;
}

void VirtualPort::close()
{
    // Its thread ends with it: it may be delivering a message that is being answered.
    alsa.reset();
    // Stopped before the pointer changes: a running cycle may be answering through send().
    if (jack)
        jack->close();
    jack.reset();
    openedBackend = MidiBackend::InProcess;
}

bool VirtualPort::send(const std::uint8_t *bytes, std::size_t size)
{
    if (!bytes || size == 0)
        return false;
    if (jack)
        return jack->send(bytes, size);
    return alsa && alsa->send(bytes, size);
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

void VirtualPort::deliver(const std::uint8_t *bytes, std::size_t size)
{
    if (size > 0 && bytes[0] == SysExStart)
        receiver(bytes, size);
}
