#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <string>

// A MIDI device that lives inside this process: while it exists it is listed as one input and one
// output device under its name, after the system's devices. Messages sent to its output arrive in
// receive(); messages it sends with send() fill the receive buffers of whichever input has it open.
// Tests and the simulated unit use it in place of hardware.
class InProcessDevice
{
public:
    explicit InProcessDevice(std::string name);
    virtual ~InProcessDevice();

    InProcessDevice(const InProcessDevice &) = delete;
    InProcessDevice &operator=(const InProcessDevice &) = delete;

    const std::string &name() const { return deviceName; }

    // Delivers one message to the input that has this device open, as the MIDI system would. Safe
    // from any thread, also from inside receive(). Returns false when no input has it open.
    bool send(const std::uint8_t *bytes, std::size_t size);

    // Makes the next N requests of the kind fail with an error result, for testing failure paths.
    std::atomic<int> refuseInputPrepare{0};
    std::atomic<int> refuseOutputPrepare{0};
    std::atomic<int> refuseLongMessage{0};
    std::atomic<int> refuseOutputOpen{0};

protected:
    // One message sent to this device's output, on the output's sending thread.
    virtual void receive(const std::uint8_t *bytes, std::size_t size) = 0;

    // Takes the device out of the lists and waits for a receive() in progress. A subclass calls it
    // first thing in its destructor, so that receive() never runs on a half-destroyed object.
    void detach();

private:
    friend struct InProcessRegistry;
    const std::string deviceName;
    std::uint64_t id = 0;
};
