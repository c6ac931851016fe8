#pragma once

#include <QEvent>

#include <atomic>
#include <cstdint>
#include <thread>

class QObject;

// Tells the window when MIDI ports come and go: the ALSA sequencer's announcements and JACK's port
// registrations are watched on a thread of their own, and each burst of changes reaches the receiver
// as one posted PortsChanged event. A JACK server that shuts down is posted as JackServerStopped. A
// MIDI system that is not running (or stops) is looked for again every second.
class PortWatcher
{
public:
    static constexpr QEvent::Type PortsChanged = QEvent::Type(QEvent::User + 1);
    static constexpr QEvent::Type JackServerStopped = QEvent::Type(QEvent::User + 2);

    PortWatcher() = default;
    ~PortWatcher();

    PortWatcher(const PortWatcher &) = delete;
    PortWatcher &operator=(const PortWatcher &) = delete;

    // Events go to `receiver`, which must outlive the watcher's running.
    void start(QObject *receiver);
    void stop();

    // Called by the receiver before it lists the ports, so that a change from then on is posted again.
    void changesSeen();

    // After JackServerStopped: the receiver has closed every device it had open on that server, so JACK
    // may be used again (and a new server is looked for).
    static void jackClientsClosed();

    // Whether the ALSA sequencer or a JACK server can be reached right now.
    static bool midiSystemRunning();

private:
    friend class JackRegistrations;

    void run();
    void wake();
    void post(QEvent::Type type);
    // JACK's notification thread only notes what happened and wakes the watcher's thread.
    static void onJackPort(std::uint32_t port, int registered, void *watcher);
    static void onJackShutdown(void *watcher);

    QObject *receiver = nullptr;
    std::thread thread;
    // Wakes the thread out of its wait: written by stop() and by JACK's notification thread.
    int wakePipe[2] = {-1, -1};
    std::atomic<bool> stopping{false};
    std::atomic<bool> jackPortsChanged{false};
    std::atomic<bool> jackShutDown{false};
    std::atomic<bool> changePosted{false};
};
