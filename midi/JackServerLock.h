#pragma once

#include <string>
#include <vector>

#include <jack/types.h>

// Every JACK client of the program is opened and closed here. libjack frees every client of a dead
// server at the next jack_client_open, under the feet of their owners; so each client is told of the
// server's shutdown, which holds JACK, and no client is opened while it is held. One lock covers the
// hold's check and every open, close and listing, so that none slips in between. A stopped server
// never answers: each open and close has a time limit, past which the call is left behind.
class JackServerLock
{
public:
    // Told on JACK's thread, after the hold is set; it must not lock or allocate.
    struct ShutdownNotice
    {
        void (*notify)(void *context);
        void *context;
    };

    // Null while JACK is held, when no server runs or it refuses the client; never starts a server.
    static jack_client_t *openClient(const std::string &name, ShutdownNotice *notice = nullptr);
    // False when the client is left behind in a server that does not answer; closed later if it does.
    // While JACK is held, the close waits for release(): closing a client while a stopping server
    // still tells it of others that it removes can hang libjack for good.
    static bool closeClient(jack_client_t *client);

    // Whether a server can be used right now: not while held.
    static bool serverRunning();

    // Held from a server's shutdown until the owners of its clients have closed them; the release
    // closes the clients whose close waited for it.
    static bool held();
    static void release();

    struct Port
    {
        std::string name;
        std::vector<std::string> aliases;
    };
    // The MIDI ports with these flags by full name and aliases, read through the listing client (a
    // long-lived one, such as the port watcher's) or else through a client opened for it.
    static std::vector<Port> ports(unsigned long flags);
    static void setListingClient(jack_client_t *client);

    // A listing client for a while, where none lists yet: polling the lists through a client opened
    // for each listing closes clients while others come and go, and libjack 1.9.21 can then hang for
    // good (a close cancels the client's notification thread inside a lock it never gives back).
    class Lister
    {
    public:
        explicit Lister(const std::string &name);
        ~Lister();
        Lister(const Lister &) = delete;
        Lister &operator=(const Lister &) = delete;

    private:
        jack_client_t *client = nullptr;
    };
};
