#include "InProcessDevice.h"

#include "MidiDevices.h"

#include <algorithm>

namespace {

struct Registration
{
    InProcessDevice *device;
    std::uint64_t id;
    MidiInDevice *input; // the input that has the device open, if any
};

// Lock order: receiving, then registry, then an input device's own lock.
std::mutex receiving;
std::mutex registry;
std::vector<Registration> registrations;
std::uint64_t lastId = 0;

Registration *find(std::uint64_t id)
{
    auto it = std::find_if(
        registrations.begin(), registrations.end(), [id](const Registration &r) { return r.id == id; });
    return it == registrations.end() ? nullptr : &*it;
}

} // namespace

InProcessDevice::InProcessDevice(std::string name)
    : deviceName(std::move(name))
{
    InProcessRegistry::add(this);
}

InProcessDevice::~InProcessDevice()
{
    detach();
}

void InProcessDevice::detach()
{
    InProcessRegistry::remove(this);
}

bool InProcessDevice::send(const std::uint8_t *bytes, std::size_t size)
{
    return InProcessRegistry::send(this, bytes, size);
}

void InProcessRegistry::add(InProcessDevice *device)
{
    std::lock_guard<std::mutex> lock(registry);
    device->id = ++lastId;
    registrations.push_back({device, device->id, nullptr});
}

void InProcessRegistry::remove(InProcessDevice *device)
{
    std::lock_guard<std::mutex> waitForReceive(receiving);
    std::lock_guard<std::mutex> lock(registry);
    registrations.erase(std::remove_if(registrations.begin(), registrations.end(),
                            [device](const Registration &r) { return r.device == device; }),
        registrations.end());
}

std::vector<MidiDeviceEntry> InProcessRegistry::entries()
{
    std::lock_guard<std::mutex> lock(registry);
    std::vector<MidiDeviceEntry> list;
    list.reserve(registrations.size());
    for (const Registration &r : registrations)
        list.push_back({MidiBackend::InProcess, r.device->name(), r.id});
    return list;
}

bool InProcessRegistry::exists(std::uint64_t id)
{
    std::lock_guard<std::mutex> lock(registry);
    return find(id) != nullptr;
}

void InProcessRegistry::bindInput(std::uint64_t id, MidiInDevice *input)
{
    std::lock_guard<std::mutex> lock(registry);
    if (Registration *r = find(id))
        r->input = input;
}

void InProcessRegistry::unbindInput(MidiInDevice *input)
{
    std::lock_guard<std::mutex> lock(registry);
    for (Registration &r : registrations) {
        if (r.input == input)
            r.input = nullptr;
    }
}

bool InProcessRegistry::send(const InProcessDevice *device, const std::uint8_t *bytes, std::size_t size)
{
    // Delivering under the registry lock keeps the input from being closed halfway through.
    std::lock_guard<std::mutex> lock(registry);
    Registration *r = find(device->id);
    if (!r || !r->input)
        return false;
    r->input->deliver(bytes, size);
    return true;
}

void InProcessRegistry::receive(std::uint64_t id, const std::uint8_t *bytes, std::size_t size)
{
    std::lock_guard<std::mutex> waitForReceive(receiving);
    InProcessDevice *device = nullptr;
    {
        std::lock_guard<std::mutex> lock(registry);
        if (Registration *r = find(id))
            device = r->device;
    }
    if (device)
        device->receive(bytes, size);
}

bool InProcessRegistry::refuse(std::uint64_t id, std::atomic<int> InProcessDevice::*counter)
{
    std::lock_guard<std::mutex> lock(registry);
    Registration *r = find(id);
    if (!r)
        return true;
    std::atomic<int> &left = r->device->*counter;
    int expected = left.load();
    while (expected > 0) {
        if (left.compare_exchange_weak(expected, expected - 1))
            return true;
    }
    return false;
}
