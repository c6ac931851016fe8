#pragma once

#include "SpscRing.h"
#include "SysExAssembler.h"

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include <jack/types.h>

// A client of a running JACK server with a MIDI input port, an output port or both, on the JACK API
// itself. JACK's cycle is real-time: it only moves bytes between the ports and rings allocated at open,
// and never locks, allocates, frees or calls Qt. Each cycle first reassembles the received System
// Exclusive messages and hands each whole one to `received`, then sends the messages queued by send()
// in their order; the token of each message that has left is handed back later, on the thread that
// calls collectSent().
class JackClient
{
public:
    // Runs inside the cycle: it must not lock, allocate or wait either.
    using Received = std::function<void(const std::uint8_t *bytes, std::size_t size)>;
    using Sent = std::function<void(std::uintptr_t token)>;

    // Room for the longest System Exclusive message taken in.
    static constexpr std::size_t LongestReceived = 64 * 1024;

    JackClient() = default;
    ~JackClient();

    JackClient(const JackClient &) = delete;
    JackClient &operator=(const JackClient &) = delete;

    // An input port named `inputName` when that is not null, an output port named `outputName` when
    // that is not null. False when no server is running, it refuses the client or a port, or it runs
    // no cycle; the client is closed again then.
    bool open(const std::string &clientName, const char *inputName, Received received, const char *outputName,
        Sent sent);
    // Waits for a cycle under way to finish before it stops the client: JACK cancels its thread at any
    // instruction, so none may be in our code then. A server that does not answer within its limit has
    // the client left behind, its cycle kept out for good.
    void close();
    bool isOpen() const { return client != nullptr; }
    // For the calls about the server rather than the ports; null while closed.
    jack_client_t *handle() const { return client; }

    // Connects the output port to another client's input port, or else another client's output port to
    // the input port; the other port is given by its full name.
    bool connectTo(const std::string &port);

    // The longest message that fits into one cycle's port buffer.
    std::size_t longestSent() const { return maxEventSize.load(std::memory_order_acquire); }
    // Queues one message for the next cycle. False, and nothing queued, when it can never fit into a
    // cycle or the queue is full. Called from one thread at a time.
    bool send(const std::uint8_t *bytes, std::size_t size, std::uintptr_t token = 0);
    // Whether messages are queued that no cycle has taken yet.
    bool pending() const;
    // Hands every queued message back unsent; the cycle leaves the queue alone meanwhile.
    void discardPending();
    // Hands back, through `sent`, every message that has left.
    void collectSent();

    // The reassembly's faults since the last call (SysExAssembler::Fault).
    unsigned takeFaults() { return assembler.takeFaults(); }

    // What a cycle reads before it knows whether it may go on; it outlives a client left behind, whose
    // cycle may run again once its server answers.
    struct Gate
    {
        JackClient *owner;
        jack_port_t *output = nullptr;
        // The cycles inside, and whether the gate is shut.
        std::atomic<unsigned> count{0};
        // Set by a cycle that found the gate shut: the message under way lost pieces.
        bool missedInput = false;
    };

private:
    static int onCycle(jack_nframes_t frames, void *self);
    void receive(void *portBuffer);
    void sendQueued(void *portBuffer);
    void discardQueued();
    // Keeps the cycle out of everything but clearing its output: it returns once no cycle is inside.
    void shut();
    void reopen();

    Received received;
    Sent sent;
    jack_client_t *client = nullptr;
    jack_port_t *input = nullptr;
    jack_port_t *output = nullptr;
    std::unique_ptr<Gate> gate;
    std::atomic<std::size_t> maxEventSize{0};
    // Each message as its head and its bytes; the tokens of the messages that have left.
    SpscRing outgoing{64 * 1024};
    SpscRing sentTokens{64 * 1024};
    SysExAssembler assembler{LongestReceived};
};
