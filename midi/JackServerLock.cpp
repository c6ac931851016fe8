#include "JackServerLock.h"

#include "DeviceDirectory.h"

#include <jack/jack.h>

#include <atomic>
#include <mutex>

namespace {

std::mutex lock;
std::atomic<bool> onHold{false};
jack_client_t *listingClient = nullptr; // under `lock`

void onInfoShutdown(jack_status_t, const char *, void *context)
{
    onHold = true;
    if (auto *notice = static_cast<JackServerLock::ShutdownNotice *>(context))
        notice->notify(notice->context);
}

jack_client_t *openLocked(const std::string &name, JackServerLock::ShutdownNotice *notice)
{
    if (onHold)
        return nullptr;
    jack_status_t status;
    jack_client_t *client = jack_client_open(name.c_str(), JackNoStartServer, &status);
    if (client)
        jack_on_info_shutdown(client, onInfoShutdown, notice);
    return client;
}

} // namespace

jack_client_t *JackServerLock::openClient(const std::string &name, ShutdownNotice *notice)
{
    std::lock_guard<std::mutex> guard(lock);
    return openLocked(name, notice);
}

void JackServerLock::closeClient(jack_client_t *client)
{
    if (!client)
        return;
    std::lock_guard<std::mutex> guard(lock);
    if (client == listingClient)
        listingClient = nullptr;
    jack_client_close(client);
}

bool JackServerLock::serverRunning()
{
    std::lock_guard<std::mutex> guard(lock);
    if (listingClient || onHold)
        return listingClient && !onHold;
    jack_client_t *probe = openLocked(DeviceDirectory::probeName(), nullptr);
    if (probe)
        jack_client_close(probe);
    return probe != nullptr;
}

bool JackServerLock::held()
{
    return onHold;
}

void JackServerLock::release()
{
    onHold = false;
}

std::vector<std::string> JackServerLock::ports(unsigned long flags)
{
    std::vector<std::string> names;
    std::lock_guard<std::mutex> guard(lock);
    jack_client_t *client = listingClient ? listingClient : openLocked(DeviceDirectory::probeName(), nullptr);
    if (!client || onHold) {
        if (client && client != listingClient)
            jack_client_close(client);
        return names;
    }
    if (const char **found = jack_get_ports(client, nullptr, JACK_DEFAULT_MIDI_TYPE, flags)) {
        for (const char **port = found; *port; ++port)
            names.emplace_back(*port);
        jack_free(static_cast<void *>(found));
    }
    if (client != listingClient)
        jack_client_close(client);
    return names;
}

void JackServerLock::setListingClient(jack_client_t *client)
{
    std::lock_guard<std::mutex> guard(lock);
    listingClient = client;
}

JackServerLock::Lister::Lister(const std::string &name)
{
    std::lock_guard<std::mutex> guard(lock);
    if (listingClient)
        return;
    client = openLocked(name, nullptr);
    listingClient = client;
}

JackServerLock::Lister::~Lister()
{
    closeClient(client);
}
