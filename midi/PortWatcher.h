#pragma once

#include <QEvent>

#include <memory>
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

    // Events go to `receiver` until stop() returns.
    void start(QObject *receiver);
    // Never waits long: a thread stuck in a hung server is left to end by itself, posting nothing.
    void stop();

    // Called by the receiver before it lists the ports, so that a change from then on is posted again.
    void changesSeen();

    // After JackServerStopped: the receiver has closed every device it had open on that server, so JACK
    // may be used again (and a new server is looked for).
    static void jackClientsClosed();

    // Whether the ALSA sequencer or a JACK server can be reached right now.
    static bool midiSystemRunning();

    // What the watcher's thread shares; it lives as long as the thread.
    struct State;

private:
    std::shared_ptr<State> state;
    std::thread thread;
};
