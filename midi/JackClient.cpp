#include "JackClient.h"

#include <jack/jack.h>
#include <jack/midiport.h>

namespace {

// Room for several hundred messages waiting for the next cycle.
constexpr std::size_t OutgoingBytes = 64 * 1024;

struct Head
{
    std::uint32_t length;
    std::uintptr_t token;
};

} // namespace

JackClient::~JackClient()
{
    close();
}

bool JackClient::open(const std::string &clientName, const char *inputName, Received onReceived,
    const char *outputName, Sent onSent)
{
    close();
    received = std::move(onReceived);
    sent = std::move(onSent);
    jack_status_t status;
    client = jack_client_open(clientName.c_str(), JackNoStartServer, &status);
    if (!client)
        return false;
    if (inputName)
        input = jack_port_register(client, inputName, JACK_DEFAULT_MIDI_TYPE, JackPortIsInput, 0);
    if (outputName) {
        output = jack_port_register(client, outputName, JACK_DEFAULT_MIDI_TYPE, JackPortIsOutput, 0);
        outgoing = jack_ringbuffer_create(OutgoingBytes);
    }
    if ((inputName && !input) || (outputName && (!output || !outgoing))
        || jack_set_process_callback(client, &JackClient::onCycle, this) != 0 || jack_activate(client) != 0) {
        close();
        return false;
    }
    return true;
}

void JackClient::close()
{
    if (client) {
        // Deactivation stops the cycles; the lock waits for one that is still running.
        jack_deactivate(client);
        std::lock_guard<std::mutex> lastCycle(cycle);
        discardQueued();
        jack_client_close(client);
    }
    client = nullptr;
    input = nullptr;
    output = nullptr;
    if (outgoing)
        jack_ringbuffer_free(outgoing);
    outgoing = nullptr;
}

bool JackClient::connectOutput(const std::string &port)
{
    return output && jack_connect(client, jack_port_name(output), port.c_str()) == 0;
}

bool JackClient::send(const std::uint8_t *bytes, std::size_t size, std::uintptr_t token)
{
    if (!outgoing || !bytes || size == 0 || size > UINT32_MAX)
        return false;
    Head head{};
    head.length = std::uint32_t(size);
    head.token = token;
    if (jack_ringbuffer_write_space(outgoing) < sizeof head + size)
        return false;
    jack_ringbuffer_write(outgoing, reinterpret_cast<const char *>(&head), sizeof head);
    jack_ringbuffer_write(outgoing, reinterpret_cast<const char *>(bytes), size);
    written.fetch_add(1, std::memory_order_release);
    return true;
}

bool JackClient::pending() const
{
    return outgoing && jack_ringbuffer_read_space(outgoing) > 0;
}

void JackClient::discardPending()
{
    std::lock_guard<std::mutex> lock(cycle);
    discardQueued();
}

int JackClient::onCycle(jack_nframes_t frames, void *self)
{
    JackClient &jack = *static_cast<JackClient *>(self);
    std::lock_guard<std::mutex> lock(jack.cycle);
    if (jack.input) {
        void *incoming = jack_port_get_buffer(jack.input, frames);
        const std::uint32_t events = jack_midi_get_event_count(incoming);
        for (std::uint32_t i = 0; i < events; ++i) {
            jack_midi_event_t event;
            if (jack_midi_event_get(&event, incoming, i) == 0)
                jack.received(event.buffer, event.size);
        }
    }
    if (jack.output)
        jack.sendQueued(jack_port_get_buffer(jack.output, frames));
    return 0;
}

// A message that does not fit into this cycle's buffer waits for the next; one that does not fit into an
// empty buffer never will and is dropped. Only the messages counted as written are taken: the count is
// what orders their writing before their reading.
void JackClient::sendQueued(void *portBuffer)
{
    jack_midi_clear_buffer(portBuffer);
    bool empty = true;
    for (const std::uint64_t count = written.load(std::memory_order_acquire); taken < count; ++taken) {
        Head head{};
        jack_ringbuffer_peek(outgoing, reinterpret_cast<char *>(&head), sizeof head);
        jack_midi_data_t *room = jack_midi_event_reserve(portBuffer, 0, head.length);
        if (!room && !empty)
            break;
        jack_ringbuffer_read_advance(outgoing, sizeof head);
        if (room) {
            jack_ringbuffer_read(outgoing, reinterpret_cast<char *>(room), head.length);
            empty = false;
        } else {
            jack_ringbuffer_read_advance(outgoing, head.length);
        }
        if (sent)
            sent(head.token);
    }
}

void JackClient::discardQueued()
{
    for (const std::uint64_t count = written.load(std::memory_order_acquire); taken < count; ++taken) {
        Head head{};
        jack_ringbuffer_read(outgoing, reinterpret_cast<char *>(&head), sizeof head);
        jack_ringbuffer_read_advance(outgoing, head.length);
        if (sent)
            sent(head.token);
    }
}
