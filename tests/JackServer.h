#pragma once

#include <string>
#include <sys/types.h>

// A private JACK server with the dummy driver for tests of real MIDI. It runs under a name of its own
// (JACK_DEFAULT_SERVER is set for this process), dies with the test process and is stopped when the
// object goes away.
class JackServer
{
public:
    JackServer();
    ~JackServer();

    JackServer(const JackServer &) = delete;
    JackServer &operator=(const JackServer &) = delete;

    bool running() const { return ready; }
    const std::string &name() const { return serverName; }

private:
    std::string serverName;
    pid_t server = -1;
    bool ready = false;
};
