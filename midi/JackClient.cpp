#include "JackClient.h"

#include "JackServerLock.h"

#include <jack/jack.h>
#include <jack/midiport.h>

#include <chrono>
#include <mutex>
#include <thread>
#include <vector>

namespace {

struct Head
{
    std::uint32_t length;
    std::uintptr_t token;
};

constexpr unsigned Shut = 1U << 31;
// The first cycle tells how long a message may be; a server that runs none within this is not usable.
constexpr auto FirstCycleWait = std::chrono::seconds(2);

// The gates of clients left behind, shut, for cycles that may still come: never freed, not even at exit,
// where a cycle of a server that resumes could still read them; reachable, so no leak is reported.
void keepForGood(std::unique_ptr<JackClient::Gate> gate)
{
    static std::mutex mutex;
    static auto *kept = new std::vector<std::unique_ptr<JackClient::Gate>>;
    std::lock_guard<std::mutex> lock(mutex);
    kept->push_back(std::move(gate));
}

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
    maxEventSize = 0;
    gate = std::make_unique<Gate>();
    gate->owner = this;
    client = JackServerLock::openClient(clientName);
    if (!client)
        return false;
    if (inputName)
        input = jack_port_register(client, inputName, JACK_DEFAULT_MIDI_TYPE, JackPortIsInput, 0);
    if (outputName)
        output = jack_port_register(client, outputName, JACK_DEFAULT_MIDI_TYPE, JackPortIsOutput, 0);
    gate->output = output;
    bool opened = (!inputName || input) && (!outputName || output)
        && jack_set_process_callback(client, &JackClient::onCycle, gate.get()) == 0
        && jack_activate(client) == 0;
    const auto deadline = std::chrono::steady_clock::now() + FirstCycleWait;
    while (opened && output && maxEventSize == 0) {
        opened = std::chrono::steady_clock::now() < deadline;
        std::this_thread::sleep_for(std::chrono::microseconds(200));
    }
    if (!opened)
        close();
    return opened;
}

void JackClient::close()
{
    if (client) {
        shut();
        discardQueued();
        collectSent();
        if (!JackServerLock::closeClient(client))
            keepForGood(std::move(gate));
    }
    client = nullptr;
    input = nullptr;
    output = nullptr;
}

bool JackClient::connectTo(const std::string &port)
{
    if (output)
        return jack_connect(client, jack_port_name(output), port.c_str()) == 0;
    return input && jack_connect(client, port.c_str(), jack_port_name(input)) == 0;
}

bool JackClient::send(const std::uint8_t *bytes, std::size_t size, std::uintptr_t token)
{
    if (!output || !bytes || size == 0 || size > longestSent())
        return false;
    Head head{};
    head.length = std::uint32_t(size);
    head.token = token;
    return outgoing.push(&head, sizeof head, bytes, size);
}

bool JackClient::pending() const
{
    return outgoing.readable() > 0;
}

void JackClient::discardPending()
{
    if (!client)
        return;
    shut();
    discardQueued();
    reopen();
    collectSent();
}

void JackClient::collectSent()
{
    std::uintptr_t token = 0;
    while (sentTokens.readable() >= sizeof token) {
        sentTokens.peek(0, &token, sizeof token);
        sentTokens.consume(sizeof token);
        sent(token);
    }
}

void JackClient::shut()
{
    gate->count.fetch_or(Shut, std::memory_order_acq_rel);
    // A cycle inside runs our own short code to its end; it never waits for anything.
    while (gate->count.load(std::memory_order_acquire) & ~Shut)
        std::this_thread::sleep_for(std::chrono::microseconds(100));
}

void JackClient::reopen()
{
    gate->count.fetch_and(~Shut, std::memory_order_acq_rel);
}

int JackClient::onCycle(jack_nframes_t frames, void *entry)
{
    Gate &gate = *static_cast<Gate *>(entry);
    void *outputBuffer = gate.output ? jack_port_get_buffer(gate.output, frames) : nullptr;
    if (outputBuffer)
        jack_midi_clear_buffer(outputBuffer);
    if (gate.count.fetch_add(1, std::memory_order_acq_rel) & Shut) {
        gate.missedInput = true;
        gate.count.fetch_sub(1, std::memory_order_release);
        return 0;
    }
    JackClient &jack = *gate.owner;
    if (jack.input)
        jack.receive(jack_port_get_buffer(jack.input, frames));
    if (outputBuffer) {
        jack.maxEventSize.store(jack_midi_max_event_size(outputBuffer), std::memory_order_release);
        jack.sendQueued(outputBuffer);
    }
    gate.count.fetch_sub(1, std::memory_order_release);
    return 0;
}

void JackClient::receive(void *portBuffer)
{
    // Pieces either side of a gap are never glued into one message.
    if (gate->missedInput || jack_midi_get_lost_event_count(portBuffer) > 0)
        assembler.interrupt();
    gate->missedInput = false;
    const std::uint32_t events = jack_midi_get_event_count(portBuffer);
    for (std::uint32_t i = 0; i < events; ++i) {
        jack_midi_event_t event;
        if (jack_midi_event_get(&event, portBuffer, i) == 0)
            assembler.feed(event.buffer, event.size, received);
    }
}

// A message that does not fit into this cycle's buffer waits for the next; send() refuses one that
// would not fit into an empty buffer.
void JackClient::sendQueued(void *portBuffer)
{
    Head head{};
    while (outgoing.readable() > 0) {
        outgoing.peek(0, &head, sizeof head);
        jack_midi_data_t *room = jack_midi_event_reserve(portBuffer, 0, head.length);
        if (!room)
            break;
        outgoing.peek(sizeof head, room, head.length);
        outgoing.consume(sizeof head + head.length);
        if (sent)
            sentTokens.push(&head.token, sizeof head.token);
    }
}

// Only while no cycle runs: this thread is the queue's reader then.
void JackClient::discardQueued()
{
    Head head{};
    while (outgoing.readable() > 0) {
        outgoing.peek(0, &head, sizeof head);
        outgoing.consume(sizeof head + head.length);
        if (sent)
            sent(head.token);
    }
}
