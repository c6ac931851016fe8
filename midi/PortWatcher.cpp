#include "PortWatcher.h"

#include "DeviceDirectory.h"

#include <alsa/asoundlib.h>
#include <jack/jack.h>

#include <QCoreApplication>

#include <chrono>
#include <fcntl.h>
#include <poll.h>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

// Starts with the program's client name, so that the listing leaves the watcher's port out.
std::string watcherName()
{
    return std::string(DeviceDirectory::clientName()) + " watcher";
}
constexpr std::chrono::milliseconds RetryInterval(1000);

// A sequencer client subscribed to the system's announce port.
class AlsaAnnouncements
{
public:
    AlsaAnnouncements() = default;
    ~AlsaAnnouncements()
    {
        if (sequencer)
            snd_seq_close(sequencer);
    }

    AlsaAnnouncements(const AlsaAnnouncements &) = delete;
    AlsaAnnouncements &operator=(const AlsaAnnouncements &) = delete;

    bool isOpen() const { return sequencer; }

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

// A JACK client that is told of every port registration and of the server's shutdown.
class JackRegistrations
{
public:
    explicit JackRegistrations(PortWatcher &watcher)
        : watcher(watcher)
    {
    }
    ~JackRegistrations() { close(); }

    JackRegistrations(const JackRegistrations &) = delete;
    JackRegistrations &operator=(const JackRegistrations &) = delete;

    bool isOpen() const { return client; }

    bool open()
    {
        if (DeviceDirectory::jackHeld())
            return false;
        jack_status_t status;
        // Never starts a server: one that is not running is looked for again later.
        client = jack_client_open(watcherName().c_str(), JackNoStartServer, &status);
        if (!client)
            return false;
        jack_set_port_registration_callback(client, PortWatcher::onJackPort, &watcher);
        jack_on_shutdown(client, PortWatcher::onJackShutdown, &watcher);
        if (jack_activate(client) != 0) {
            close();
            return false;
        }
        return true;
    }

    void close()
    {
        if (client)
            jack_client_close(client);
        client = nullptr;
    }

private:
    PortWatcher &watcher;
    jack_client_t *client = nullptr;
};

PortWatcher::~PortWatcher()
{
    stop();
}

void PortWatcher::start(QObject *window)
{
    if (thread.joinable())
        return;
    DeviceDirectory::silenceLibraries();
    if (pipe2(wakePipe, O_CLOEXEC | O_NONBLOCK) != 0)
        return;
    receiver = window;
    stopping = false;
    thread = std::thread(&PortWatcher::run, this);
}

void PortWatcher::stop()
{
    if (!thread.joinable())
        return;
    stopping = true;
    wake();
    thread.join();
    ::close(wakePipe[0]);
    ::close(wakePipe[1]);
    wakePipe[0] = wakePipe[1] = -1;
}

void PortWatcher::changesSeen()
{
    changePosted = false;
}

void PortWatcher::jackClientsClosed()
{
    DeviceDirectory::holdJack(false);
}

bool PortWatcher::midiSystemRunning()
{
    return DeviceDirectory::available(MidiBackend::Alsa) || DeviceDirectory::available(MidiBackend::Jack);
}

void PortWatcher::wake()
{
    const char byte = 0;
    // A full pipe wakes the thread as well.
    static_cast<void>(::write(wakePipe[1], &byte, 1));
}

void PortWatcher::post(QEvent::Type type)
{
    QCoreApplication::postEvent(receiver, new QEvent(type));
}

void PortWatcher::onJackPort(std::uint32_t, int, void *watcher)
{
    auto *self = static_cast<PortWatcher *>(watcher);
    self->jackPortsChanged = true;
    self->wake();
}

void PortWatcher::onJackShutdown(void *watcher)
{
    DeviceDirectory::holdJack(true);
    auto *self = static_cast<PortWatcher *>(watcher);
    self->jackShutDown = true;
    self->wake();
}

void PortWatcher::run()
{
    AlsaAnnouncements alsa;
    JackRegistrations jack(*this);
    // The receiver lists the ports itself when it starts the watcher; only later arrivals are changes.
    bool firstAttempt = true;
    auto nextAttempt = std::chrono::steady_clock::now();
    while (!stopping) {
        bool changed = false;
        if (std::chrono::steady_clock::now() >= nextAttempt) {
            const bool alsaArrived = !alsa.isOpen() && alsa.open();
            const bool jackArrived = !jack.isOpen() && jack.open();
            changed = !firstAttempt && (alsaArrived || jackArrived);
            firstAttempt = false;
            nextAttempt = std::chrono::steady_clock::now() + RetryInterval;
        }

        std::vector<pollfd> descriptors{{wakePipe[0], POLLIN, 0}};
        alsa.addDescriptors(descriptors);
        const bool retrying = !alsa.isOpen() || !jack.isOpen();
        poll(descriptors.data(), descriptors.size(), retrying ? int(RetryInterval.count()) : -1);
        char drain[64];
        while (::read(wakePipe[0], drain, sizeof drain) > 0) { }

        changed = alsa.portsChanged() || changed;
        changed = jackPortsChanged.exchange(false) || changed;
        if (jackShutDown.exchange(false)) {
            // Closed here, never inside JACK's own callback.
            jack.close();
            post(JackServerStopped);
            changed = true;
        }
        if (changed && !changePosted.exchange(true))
            post(PortsChanged);
    }
}
