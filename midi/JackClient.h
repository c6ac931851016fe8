#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>

#include <jack/ringbuffer.h>
#include <jack/types.h>

// A client of a running JACK server with a MIDI input port, an output port or both, on the JACK API
// itself: RtMidi's JACK output frees its ring buffer while its client may still be running a cycle that
// reads it. Each cycle first hands every received message to `received`, then sends the messages
// queued by send() in their order. Closing deactivates the client and waits out a running cycle
// before anything that the cycle reads is freed.
class JackClient
{
public:
    using Received = std::function<void(const std::uint8_t *bytes, std::size_t size)>;
    using Sent = std::function<void(std::uintptr_t token)>;

    JackClient() = default;
    ~JackClient();

    JackClient(const JackClient &) = delete;
    JackClient &operator=(const JackClient &) = delete;

    // An input port named `inputName` when that is not null, an output port named `outputName` when
    // that is not null. Both functions run on JACK's thread; `sent` may be empty. False when no server
    // is running or it refuses the client or a port; the client is closed again then.
    bool open(const std::string &clientName, const char *inputName, Received received, const char *outputName,
        Sent sent);
    void close();
    bool isOpen() const { return client != nullptr; }

    // Connects the output port to another client's input port, given by its full name.
    bool connectOutput(const std::string &port);

    // Queues one message for the next cycle; its token comes back through `sent` once the message has
    // left, or has been dropped because it can never fit into a cycle. False, and nothing queued, when
    // the queue is full. Called from one thread at a time.
    bool send(const std::uint8_t *bytes, std::size_t size, std::uintptr_t token = 0);
    // Whether messages are queued that no cycle has taken yet.
    bool pending() const;
    // Hands every queued message back through `sent` unsent; the cycle waits meanwhile.
    void discardPending();

private:
    static int onCycle(jack_nframes_t frames, void *self);
    void sendQueued(void *portBuffer);
    void discardQueued();

    Received received;
    Sent sent;
    jack_client_t *client = nullptr;
    jack_port_t *input = nullptr;
    jack_port_t *output = nullptr;
    // Held by each cycle; taken elsewhere, it keeps the cycle out.
    std::mutex cycle;
    // Each message as its length, its token and its bytes.
    jack_ringbuffer_t *outgoing = nullptr;
    // The messages written and taken so far. The writer counts each message once it is complete; the
    // cycle takes only counted ones, which orders everything the writer did before a message, such as
    // filling in its header, before the message's hand-back.
    std::atomic<std::uint64_t> written{0};
    std::uint64_t taken = 0; // under `cycle`
};
