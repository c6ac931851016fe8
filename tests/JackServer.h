#pragma once

#include <string>
#include <sys/types.h>

// A private JACK server with the dummy driver for tests of real MIDI. It runs under a name of its own
// (JACK_DEFAULT_SERVER is set for this process), dies with the test process and is stopped when the
// object goes away. JACK keeps at most eight servers in its registry and reclaims the entry of a
// killed server only when a server of the same name starts, so names come from a small pool, each
// held by a lock for as long as its server runs.
class JackServer
{
public:
    JackServer();
    ~JackServer();

    JackServer(const JackServer &) = delete;
    JackServer &operator=(const JackServer &) = delete;

    bool running() const { return ready; }
    // Ends the server with `signal` at once, as a crash (SIGKILL) or a user (SIGTERM) would.
    void kill(int signal);
    // Sends `signal` and goes on, as for stopping the server (SIGSTOP) and letting it go on (SIGCONT).
    void signal(int signal);
    const std::string &name() const { return serverName; }

private:
    std::string serverName;
    int nameLock = -1;
    pid_t server = -1;
    bool ready = false;
};
