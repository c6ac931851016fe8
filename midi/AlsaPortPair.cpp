#include "AlsaPortPair.h"

#include <cerrno>
#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <vector>

AlsaPortPair::~AlsaPortPair()
{
    if (thread.joinable()) {
        const std::uint64_t one = 1;
        if (write(stopEvent, &one, sizeof one) == sizeof one)
            thread.join();
        else
            thread.detach();
    }
    if (stopEvent >= 0)
        ::close(stopEvent);
    if (sequencer)
        snd_seq_close(sequencer);
}

bool AlsaPortPair::open(
    const std::string &clientName, const char *inputName, const char *outputName, Receiver onReceive)
{
    constexpr unsigned type = SND_SEQ_PORT_TYPE_MIDI_GENERIC | SND_SEQ_PORT_TYPE_APPLICATION;
    if (snd_seq_open(&sequencer, "default", SND_SEQ_OPEN_DUPLEX, SND_SEQ_NONBLOCK) < 0) {
        sequencer = nullptr;
        return false;
    }
    snd_seq_set_client_name(sequencer, clientName.c_str());
    snd_seq_set_input_buffer_size(sequencer, MaxMessage);
    snd_seq_set_output_buffer_size(sequencer, MaxMessage);
    outputPort = snd_seq_create_simple_port(
        sequencer, outputName, SND_SEQ_PORT_CAP_READ | SND_SEQ_PORT_CAP_SUBS_READ, type);
    const int inputPort = snd_seq_create_simple_port(
        sequencer, inputName, SND_SEQ_PORT_CAP_WRITE | SND_SEQ_PORT_CAP_SUBS_WRITE, type);
    stopEvent = eventfd(0, EFD_CLOEXEC);
    if (outputPort < 0 || inputPort < 0 || stopEvent < 0)
        return false;
    receiver = std::move(onReceive);
    thread = std::thread(&AlsaPortPair::receive, this);
    return true;
}

bool AlsaPortPair::send(const std::uint8_t *bytes, std::size_t size)
{
    snd_seq_event_t event;
    snd_seq_ev_clear(&event);
    snd_seq_ev_set_source(&event, outputPort);
    snd_seq_ev_set_subs(&event);
    snd_seq_ev_set_direct(&event);
    snd_seq_ev_set_sysex(&event, unsigned(size), const_cast<std::uint8_t *>(bytes));
    std::lock_guard<std::mutex> lock(handle);
    // The sequencer's pool is full only while a reader lags behind; the message waits for room.
    int sent;
    while ((sent = snd_seq_event_output_direct(sequencer, &event)) == -EAGAIN)
        usleep(1000);
    return sent >= 0;
}

void AlsaPortPair::receive()
{
    std::vector<pollfd> fds;
    {
        std::lock_guard<std::mutex> lock(handle);
        fds.resize(std::size_t(snd_seq_poll_descriptors_count(sequencer, POLLIN)) + 1);
        snd_seq_poll_descriptors(sequencer, fds.data() + 1, unsigned(fds.size() - 1), POLLIN);
    }
    fds[0] = {stopEvent, POLLIN, 0};
    std::vector<std::uint8_t> pieces;
    for (;;) {
        if (poll(fds.data(), fds.size(), -1) < 0 && errno != EINTR)
            return;
        if (fds[0].revents & POLLIN)
            return;
        pieces.clear();
        {
            std::lock_guard<std::mutex> lock(handle);
            snd_seq_event_t *event = nullptr;
            int result;
            while ((result = snd_seq_event_input(sequencer, &event)) >= 0 || result == -ENOSPC) {
                if (result == -ENOSPC)
                    assembler.interrupt(); // events were lost: the message under way is not whole
                else if (event->type == SND_SEQ_EVENT_SYSEX) {
                    const auto *data = static_cast<const std::uint8_t *>(event->data.ext.ptr);
                    pieces.insert(pieces.end(), data, data + event->data.ext.len);
                }
            }
        }
        // Outside the lock: the receiver may answer at once through send().
        assembler.feed(pieces.data(), pieces.size(), receiver);
    }
}
