#include "SimulatedDevice.h"

SimulatedDevice::SimulatedDevice(std::string name, const SimulatedUnit::ResetCode &resetCode)
    : InProcessDevice(std::move(name))
    , unit(resetCode)
{
}

SimulatedDevice::~SimulatedDevice()
{
    detach();
}

int SimulatedDevice::releaseHeld()
{
    std::vector<SimulatedUnit::Message> replies;
    {
        std::lock_guard<std::mutex> lock(unitMutex);
        replies = unit.releaseHeld();
    }
    return sendAll(replies);
}

void SimulatedDevice::receive(const std::uint8_t *bytes, std::size_t size)
{
    std::vector<SimulatedUnit::Message> replies;
    {
        std::lock_guard<std::mutex> lock(unitMutex);
        replies = unit.handle(bytes, size);
    }
    // Sent outside the lock: delivery may wake the receiving side, which may inspect the unit at once.
    sendAll(replies);
}

int SimulatedDevice::sendAll(const std::vector<SimulatedUnit::Message> &replies)
{
    int delivered = 0;
    for (const SimulatedUnit::Message &reply : replies) {
        if (send(reply.data(), reply.size()))
            ++delivered;
    }
    return delivered;
}
