#pragma once

#include "InProcessDevice.h"
#include "SimulatedUnit.h"

#include <mutex>
#include <string>
#include <utility>
#include <vector>

// A simulated unit behind an in-process MIDI device: every message sent to the device is handed to
// the unit, and the unit's replies come back through the device's input.
class SimulatedDevice : public InProcessDevice
{
public:
    explicit SimulatedDevice(std::string name = "Tavrin Simulator",
        const SimulatedUnit::ResetCode &resetCode = SimulatedUnit::DefaultResetCode);
    ~SimulatedDevice() override;

    // Runs f(SimulatedUnit &) while no message is being handled, for inspection and fault set-up.
    template <class F> auto withUnit(F f) -> decltype(f(std::declval<SimulatedUnit &>()))
    {
        std::lock_guard<std::mutex> lock(unitMutex);
        return f(unit);
    }

    // Sends every reply the unit is holding back; returns how many reached an open input.
    int releaseHeld();

protected:
    void receive(const std::uint8_t *bytes, std::size_t size) override;

private:
    int sendAll(const std::vector<SimulatedUnit::Message> &replies);

    std::mutex unitMutex;
    SimulatedUnit unit;
};
