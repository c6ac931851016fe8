#include "JackServerLock.h"

#include "DeviceDirectory.h"

#include <jack/jack.h>

#include <QCoreApplication>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>

namespace {

std::mutex lock;
std::atomic<bool> onHold{false};
jack_client_t *listingClient = nullptr; // under `lock`
std::vector<jack_client_t *> closeOnRelease; // under `lock`
// Calls into libjack left behind past their limit that have not returned yet.
std::atomic<int> unfinished{0};
// A stopped (not dead) server never answers, and libjack then waits for it forever.
constexpr auto CallLimit = std::chrono::seconds(3);

void warn(const char *text)
{
    qWarning("%s", qPrintable(QCoreApplication::translate("JackServerLock", text)));
}

// Runs `call` on a thread of its own and waits at most `limit` for it; false when it is left behind,
// and then `late` runs on that thread once the call has returned, if ever.
bool withinLimit(std::function<void()> call, std::function<void()> late, std::chrono::milliseconds limit)
{
    struct Shared
    {
        std::mutex mutex;
        std::condition_variable done;
        bool returned = false;
        bool abandoned = false;
    };
    auto shared = std::make_shared<Shared>();
    std::thread([shared, call = std::move(call), late = std::move(late)] {
        call();
        std::unique_lock<std::mutex> guard(shared->mutex);
        shared->returned = true;
        if (shared->abandoned) {
            guard.unlock();
            late();
            --unfinished;
            return;
        }
        shared->done.notify_all();
    }).detach();
    std::unique_lock<std::mutex> guard(shared->mutex);
    if (shared->done.wait_for(guard, limit, [&] { return shared->returned; }))
        return true;
    shared->abandoned = true;
    ++unfinished;
    return false;
}

void onInfoShutdown(jack_status_t, const char *, void *context)
{
    onHold = true;
    if (auto *notice = static_cast<JackServerLock::ShutdownNotice *>(context))
        notice->notify(notice->context);
}

// While a call is left behind, libjack may hold its own locks for good: JACK counts as not running.
jack_client_t *openLocked(const std::string &name, JackServerLock::ShutdownNotice *notice)
{
    if (onHold || unfinished > 0)
        return nullptr;
    auto opened = std::make_shared<jack_client_t *>(nullptr);
    const bool answered = withinLimit(
        [opened, name, notice] {
            jack_status_t status;
            *opened = jack_client_open(name.c_str(), JackNoStartServer, &status);
            if (*opened)
                jack_on_info_shutdown(*opened, onInfoShutdown, notice);
        },
        [opened] {
            if (*opened)
                jack_client_close(*opened);
        },
        CallLimit);
    if (answered)
        return *opened;
    warn(QT_TRANSLATE_NOOP("JackServerLock",
        "The JACK server does not answer; it is treated as stopped until it answers again."));
    return nullptr;
}

// A close behind one left behind would only wait for the same lock: it is not waited for.
bool closeLocked(jack_client_t *client)
{
    const auto limit = unfinished > 0 ? std::chrono::milliseconds(0) : CallLimit;
    if (withinLimit([client] { jack_client_close(client); }, [] {}, limit))
        return true;
    warn(QT_TRANSLATE_NOOP("JackServerLock",
        "The JACK server does not answer; a client of it is left behind and closed when the server answers "
        "again."));
    return false;
}

} // namespace

jack_client_t *JackServerLock::openClient(const std::string &name, ShutdownNotice *notice)
{
    std::lock_guard<std::mutex> guard(lock);
    return openLocked(name, notice);
}

bool JackServerLock::closeClient(jack_client_t *client)
{
    if (!client)
        return true;
    std::lock_guard<std::mutex> guard(lock);
    if (client == listingClient)
        listingClient = nullptr;
    if (onHold) {
        closeOnRelease.push_back(client);
        return true;
    }
    return closeLocked(client);
}

bool JackServerLock::serverRunning()
{
    std::lock_guard<std::mutex> guard(lock);
    if (unfinished > 0)
        return false;
    if (listingClient || onHold)
        return listingClient && !onHold;
    jack_client_t *probe = openLocked(DeviceDirectory::probeName(), nullptr);
    return probe && closeLocked(probe);
}

bool JackServerLock::held()
{
    return onHold;
}

void JackServerLock::release()
{
    std::lock_guard<std::mutex> guard(lock);
    for (jack_client_t *client : closeOnRelease)
        closeLocked(client);
    closeOnRelease.clear();
    onHold = false;
}

std::vector<JackServerLock::Port> JackServerLock::ports(unsigned long flags)
{
    std::vector<Port> names;
    std::lock_guard<std::mutex> guard(lock);
    jack_client_t *client = listingClient ? listingClient : openLocked(DeviceDirectory::probeName(), nullptr);
    if (!client || onHold) {
        if (client && client != listingClient)
            closeLocked(client);
        return names;
    }
    if (const char **found = jack_get_ports(client, nullptr, JACK_DEFAULT_MIDI_TYPE, flags)) {
        std::vector<char> alias1(std::size_t(jack_port_name_size()), 0);
        std::vector<char> alias2(alias1.size());
        for (const char **port = found; *port; ++port) {
            char *aliases[2] = {alias1.data(), alias2.data()};
            const jack_port_t *handle = jack_port_by_name(client, *port);
            const int count = handle ? jack_port_get_aliases(handle, aliases) : 0;
            names.push_back({*port, {aliases, aliases + std::max(0, std::min(count, 2))}});
        }
        jack_free(static_cast<void *>(found));
    }
    if (client != listingClient)
        closeLocked(client);
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
