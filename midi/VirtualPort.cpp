#include "VirtualPort.h"

#include <jack/jack.h>
#include <jack/midiport.h>
#include <jack/ringbuffer.h>
#include <rtmidi/RtMidi.h>

#include <mutex>

namespace {

constexpr std::uint8_t SysExStart = 0xF0;
// Room for several hundred replies waiting for the next cycle.
constexpr std::size_t OutgoingBytes = 64 * 1024;
using Length = std::uint32_t;

} // namespace

struct VirtualPort::Jack
{
    VirtualPort *owner = nullptr;
    // Held by each cycle; taken once the client is inactive, it orders the last cycle before the close.
    std::mutex cycle;
    jack_client_t *client = nullptr;
    jack_port_t *in = nullptr;
    jack_port_t *out = nullptr;
    // Each message as its length, then its bytes; written by send(), read by the cycle.
    jack_ringbuffer_t *outgoing = nullptr;

    ~Jack()
    {
        if (client) {
            // Deactivation waits for a running cycle, so nothing reads the ring buffer afterwards.
            jack_deactivate(client);
            jack_client_close(client);
        }
        if (outgoing)
            jack_ringbuffer_free(outgoing);
    }
};

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
    outputError = {};
    inputError = {};
    try {
        // The output exists before the input's thread can deliver a message that is answered at once.
        output = std::make_unique<RtMidiOut>(RtMidi::LINUX_ALSA, clientName);
        DeviceDirectory::silence(*output, outputError);
        output->openVirtualPort(OutputName);
        input = std::make_unique<RtMidiIn>(RtMidi::LINUX_ALSA, clientName);
        DeviceDirectory::silence(*input, inputError);
        input->ignoreTypes(false, true, true);
        input->setCallback(&VirtualPort::onAlsaMessage, this);
        input->openVirtualPort(InputName);
    } catch (const RtMidiError &e) {
        error = e.getMessage();
        return false;
    }
    if (outputError.raised || inputError.raised) {
        error = "the ALSA sequencer refused the ports";
        return false;
    }
    return true;
}

bool VirtualPort::openJack(const std::string &clientName)
{
    jack = std::make_unique<Jack>();
    jack->owner = this;
    jack_status_t status;
    jack->client = jack_client_open(clientName.c_str(), JackNoStartServer, &status);
    if (!jack->client) {
        error = "the JACK server refused the client";
        return false;
    }
    jack->in = jack_port_register(jack->client, InputName, JACK_DEFAULT_MIDI_TYPE, JackPortIsInput, 0);
    jack->out = jack_port_register(jack->client, OutputName, JACK_DEFAULT_MIDI_TYPE, JackPortIsOutput, 0);
    jack->outgoing = jack_ringbuffer_create(OutgoingBytes);
    if (!jack->in || !jack->out || !jack->outgoing
        || jack_set_process_callback(jack->client, &VirtualPort::onJackCycle, jack.get()) != 0
        || jack_activate(jack->client) != 0) {
        error = "the JACK server refused the ports";
        return false;
    }
    return true;
}

void VirtualPort::close()
{
    // The input goes first, and its thread with it: it may be delivering a message that is being answered.
    input.reset();
    output.reset();
    if (jack && jack->client) {
        jack_deactivate(jack->client);
        std::lock_guard<std::mutex> lastCycle(jack->cycle);
    }
    jack.reset();
    openedBackend = MidiBackend::InProcess;
}

bool VirtualPort::send(const std::uint8_t *bytes, std::size_t size)
{
    if (!bytes || size == 0)
        return false;
    if (jack) {
        const Length length = Length(size);
        if (jack_ringbuffer_write_space(jack->outgoing) < sizeof length + size)
            return false;
        jack_ringbuffer_write(jack->outgoing, reinterpret_cast<const char *>(&length), sizeof length);
        jack_ringbuffer_write(jack->outgoing, reinterpret_cast<const char *>(bytes), size);
        return true;
    }
    if (!output)
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

void VirtualPort::deliver(const std::uint8_t *bytes, std::size_t size)
{
    if (size > 0 && bytes[0] == SysExStart)
        receiver(bytes, size);
}

void VirtualPort::onAlsaMessage(double, std::vector<unsigned char> *message, void *port)
{
    if (message)
        static_cast<VirtualPort *>(port)->deliver(message->data(), message->size());
}

// The cycle reaches its state through its argument: while the client is being closed, `jack` of the
// owner is already empty.
int VirtualPort::onJackCycle(std::uint32_t frames, void *state)
{
    Jack &jack = *static_cast<Jack *>(state);
    std::lock_guard<std::mutex> lock(jack.cycle);

    void *incoming = jack_port_get_buffer(jack.in, frames);
    const std::uint32_t events = jack_midi_get_event_count(incoming);
    for (std::uint32_t i = 0; i < events; ++i) {
        jack_midi_event_t event;
        if (jack_midi_event_get(&event, incoming, i) == 0)
            jack.owner->deliver(event.buffer, event.size);
    }

    void *outgoing = jack_port_get_buffer(jack.out, frames);
    jack_midi_clear_buffer(outgoing);
    // A message that does not fit into this cycle's buffer waits for the next; one that does not fit
    // into an empty buffer never will and is dropped.
    bool empty = true;
    Length length = 0;
    while (
        jack_ringbuffer_peek(jack.outgoing, reinterpret_cast<char *>(&length), sizeof length) == sizeof length
        && jack_ringbuffer_read_space(jack.outgoing) >= sizeof length + length) {
        jack_midi_data_t *room = jack_midi_event_reserve(outgoing, 0, length);
        if (!room && !empty)
            break;
        jack_ringbuffer_read_advance(jack.outgoing, sizeof length);
        if (room) {
            jack_ringbuffer_read(jack.outgoing, reinterpret_cast<char *>(room), length);
            empty = false;
        } else {
            jack_ringbuffer_read_advance(jack.outgoing, length);
        }
    }
    return 0;
}
