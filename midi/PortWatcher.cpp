#include "PortWatcher.h"

#include "DeviceDirectory.h"
#include "JackServerLock.h"

#include <alsa/asoundlib.h>
#include <jack/jack.h>

#include <QCoreApplication>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstring>
#include <fcntl.h>
#include <mutex>
#include <poll.h>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

// A poll's time-out that ends at or just after `when`.
int pollTimeoutUntil(Clock::time_point when)
{
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(when - Clock::now()).count();
    return int(std::max<decltype(left)>(0, left) + 1);
}

// Starts with the program's client name, so that the listing leaves the watcher's port out.
std::string watcherName()
{
    return std::string(DeviceDirectory::clientName()) + " watcher";
}
constexpr std::chrono::milliseconds RetryInterval(1000);
// How long stop() waits for the thread before it leaves it to end by itself.
constexpr std::chrono::milliseconds StopWait(2000);
// A stopping server goes on telling each client of the others it removes. Closing a client then
// cancels libjack's notification thread inside a lock that is never released, and every later
// close hangs; so the clients of a stopped server are closed only once JACK has been quiet this long.
constexpr std::chrono::milliseconds ShutdownQuiet(1000);

// A sequencer client subscribed to the system's announce port.
class AlsaAnnouncements
{
public:
    AlsaAnnouncements() = default;
    ~AlsaAnnouncements() { close(); }

    AlsaAnnouncements(const AlsaAnnouncements &) = delete;
    AlsaAnnouncements &operator=(const AlsaAnnouncements &) = delete;

    bool isOpen() const { return sequencer; }

    void close()
    {
        if (sequencer)
            snd_seq_close(sequencer);
        sequencer = nullptr;
    }

    bool open()
    {
        if (snd_seq_open(&sequencer, "default", SND_SEQ_OPEN_INPUT, SND_SEQ_NONBLOCK) < 0) {
            sequencer = nullptr;
            return false;
        }
        snd_seq_set_client_name(sequencer, watcherName().c_str());
        // Writable for the system only: no other client can subscribe to it.
        const int port = snd_seq_create_simple_port(sequencer, "announce",
            SND_SEQ_PORT_CAP_WRITE | SND_SEQ_PORT_CAP_NO_EXPORT, SND_SEQ_PORT_TYPE_APPLICATION);
        if (port < 0
            || snd_seq_connect_from(sequencer, port, SND_SEQ_CLIENT_SYSTEM, SND_SEQ_PORT_SYSTEM_ANNOUNCE)
                < 0) {
            snd_seq_close(sequencer);
            sequencer = nullptr;
            return false;
        }
        return true;
    }

    void addDescriptors(std::vector<pollfd> &descriptors) const
    {
        if (!sequencer)
            return;
        const int count = snd_seq_poll_descriptors_count(sequencer, POLLIN);
        if (count <= 0)
            return;
        const std::size_t first = descriptors.size();
        descriptors.resize(first + std::size_t(count));
        snd_seq_poll_descriptors(sequencer, &descriptors[first], unsigned(count), POLLIN);
    }

    // Reads every pending announcement; true when a port appeared, went or changed. Clients that
    // come and go without ports (every listing makes one) are no change.
    bool portsChanged()
    {
        bool changed = false;
        while (sequencer) {
            snd_seq_event_t *event = nullptr;
            const int result = snd_seq_event_input(sequencer, &event);
            if (result == -ENOSPC) {
                // Announcements were lost while the queue was full; something changed.
                changed = true;
                continue;
            }
            if (result < 0 || !event)
                break;
            switch (event->type) {
            case SND_SEQ_EVENT_PORT_START:
            case SND_SEQ_EVENT_PORT_EXIT:
            case SND_SEQ_EVENT_PORT_CHANGE:
                changed = true;
                break;
            default:
                break;
            }
        }
        return changed;
    }

private:
    snd_seq_t *sequencer = nullptr;
};

} // namespace

struct PortWatcher::State
{
    explicit State(QObject *receiver)
        : receiver(receiver)
    {
    }
    ~State()
    {
        ::close(wakePipe[0]);
        ::close(wakePipe[1]);
    }

    void run();
    void wake()
    {
        const char byte = 0;
        // A full pipe wakes the thread as well.
        static_cast<void>(::write(wakePipe[1], &byte, 1));
    }
    void post(QEvent::Type type)
    {
        std::lock_guard<std::mutex> lock(receiving);
        if (receiver)
            QCoreApplication::postEvent(receiver, new QEvent(type));
    }
    // JACK's notification thread only notes what happened and wakes the watcher's thread.
    // Audio ports come and go with every sound a desktop makes; only MIDI ports change the lists.
    static void onJackPort(jack_port_id_t id, int, void *context)
    {
        auto *state = static_cast<State *>(context);
        const jack_port_t *port = jack_port_by_id(state->jackClient, id);
        if (port && std::strcmp(jack_port_type(port), JACK_DEFAULT_MIDI_TYPE) != 0)
            return;
        state->jackPortsChanged = true;
        state->wake();
    }
    static void onJackShutdown(void *state) { static_cast<State *>(state)->wake(); }
    static void onJackClient(const char *, int, void *state) { static_cast<State *>(state)->wake(); }

    std::mutex receiving;
    QObject *receiver; // under `receiving`; null once stop() has returned
    int wakePipe[2] = {-1, -1};
    std::atomic<bool> stopping{false};
    std::atomic<bool> finished{false};
    std::atomic<bool> jackPortsChanged{false};
    std::atomic<bool> changePosted{false};
    // Set before the client is activated, read by its notifications only.
    jack_client_t *jackClient = nullptr;
};

namespace {

// A JACK client that is told of every port registration and of the server's shutdown; the port lists
// are read through it.
class JackRegistrations
{
public:
    explicit JackRegistrations(PortWatcher::State &state)
        : notice{&PortWatcher::State::onJackShutdown, &state}
    {
    }
    ~JackRegistrations() { close(); }

    JackRegistrations(const JackRegistrations &) = delete;
    JackRegistrations &operator=(const JackRegistrations &) = delete;

    bool isOpen() const { return client; }

    bool open()
    {
        client = JackServerLock::openClient(watcherName(), &notice);
        if (!client)
            return false;
        static_cast<PortWatcher::State *>(notice.context)->jackClient = client;
        jack_set_port_registration_callback(client, &PortWatcher::State::onJackPort, notice.context);
        jack_set_client_registration_callback(client, &PortWatcher::State::onJackClient, notice.context);
        if (jack_activate(client) != 0) {
            close();
            return false;
        }
        JackServerLock::setListingClient(client);
        return true;
    }

    void close()
    {
        JackServerLock::closeClient(client);
        client = nullptr;
    }

private:
    JackServerLock::ShutdownNotice notice;
    jack_client_t *client = nullptr;
};

} // namespace

PortWatcher::~PortWatcher()
{
    stop();
}

void PortWatcher::start(QObject *window)
{
    if (thread.joinable())
        return;
    DeviceDirectory::silenceLibraries();
    auto fresh = std::make_shared<State>(window);
    if (pipe2(fresh->wakePipe, O_CLOEXEC | O_NONBLOCK) != 0)
        return;
    state = fresh;
    thread = std::thread([fresh] {
        fresh->run();
        fresh->finished = true;
    });
}

void PortWatcher::stop()
{
    if (!thread.joinable())
        return;
    state->stopping = true;
    state->wake();
    const auto deadline = Clock::now() + StopWait;
    while (!state->finished && Clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    {
        std::lock_guard<std::mutex> lock(state->receiving);
        state->receiver = nullptr;
    }
    if (state->finished) {
        thread.join();
    } else {
        qWarning("%s",
            qPrintable(QCoreApplication::translate("PortWatcher",
                "The MIDI system does not answer; the port watcher is left to stop by itself.")));
        thread.detach();
    }
    state.reset();
}

void PortWatcher::changesSeen()
{
    if (state)
        state->changePosted = false;
}

void PortWatcher::jackClientsClosed()
{
    JackServerLock::release();
}

bool PortWatcher::midiSystemRunning()
{
    return DeviceDirectory::available(MidiBackend::Alsa) || DeviceDirectory::available(MidiBackend::Jack);
}

void PortWatcher::State::run()
{
    AlsaAnnouncements alsa;
    JackRegistrations jack(*this);
    // The receiver lists the ports itself when it starts the watcher; only later arrivals are changes.
    bool firstAttempt = true;
    bool holdPosted = false;
    // While held and not yet posted: when the clients may be closed.
    Clock::time_point closeAfterHold = Clock::time_point::max();
    auto nextAttempt = Clock::now();
    while (!stopping) {
        bool changed = false;
        if (Clock::now() >= nextAttempt) {
            const bool alsaArrived = !alsa.isOpen() && alsa.open();
            const bool jackArrived = !jack.isOpen() && jack.open();
            changed = !firstAttempt && (alsaArrived || jackArrived);
            firstAttempt = false;
            nextAttempt = Clock::now() + RetryInterval;
        }

        std::vector<pollfd> descriptors{{wakePipe[0], POLLIN, 0}};
        alsa.addDescriptors(descriptors);
        const bool retrying = !alsa.isOpen() || !jack.isOpen();
        int timeout = retrying ? int(RetryInterval.count()) : -1;
        if (closeAfterHold != Clock::time_point::max())
            timeout = pollTimeoutUntil(closeAfterHold);
        const bool woken = poll(descriptors.data(), descriptors.size(), timeout) > 0;
        char drain[64];
        while (::read(wakePipe[0], drain, sizeof drain) > 0) { }

        // A sequencer in an error state would wake the poll at once, forever: it is opened afresh.
        const bool alsaFailed = std::any_of(descriptors.begin() + 1, descriptors.end(),
            [](const pollfd &d) { return d.revents & (POLLERR | POLLHUP | POLLNVAL); });
        if (alsaFailed) {
            qWarning("%s",
                qPrintable(QCoreApplication::translate(
                    "PortWatcher", "The ALSA sequencer reported an error; its port list is read again.")));
            alsa.close();
            changed = true;
        }
        changed = alsa.portsChanged() || changed;
        changed = jackPortsChanged.exchange(false) || changed;
        // Any of the program's clients may have been told of the shutdown first.
        if (!JackServerLock::held()) {
            holdPosted = false;
            closeAfterHold = Clock::time_point::max();
        } else if (!holdPosted && (woken || closeAfterHold == Clock::time_point::max())) {
            closeAfterHold = Clock::now() + ShutdownQuiet;
        } else if (!holdPosted && Clock::now() >= closeAfterHold) {
            // Closed here, never inside JACK's own callback.
            jack.close();
            post(JackServerStopped);
            changed = true;
            holdPosted = true;
            closeAfterHold = Clock::time_point::max();
        }
        if (changed && !changePosted.exchange(true))
            post(PortsChanged);
    }
}
