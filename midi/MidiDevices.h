#pragma once

// The device objects behind the handles of MidiApi.h; internal to the MIDI layer.

#include "DeviceDirectory.h"
#include "InProcessDevice.h"
#include "JackClient.h"
#include "MidiApi.h"

#include <QSocketNotifier>

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include <rtmidi/RtMidi.h>

struct JackInbox;

struct MidiInDevice
{
    MidiInProc callback = nullptr;
    DWORD_PTR instance = 0;
    std::uint64_t inProcessId = 0;
    std::unique_ptr<RtMidiIn> rtmidi;
    DeviceDirectory::ErrorFlag rtmidiError;
    // On JACK a client of its own reassembles the messages in its cycle and puts them into the inbox; an
    // eventfd wakes the thread that opened the device, which delivers them from its event loop.
    JackClient jack;
    std::unique_ptr<JackInbox> inbox;

    std::mutex mutex;
    std::deque<MIDIHDR *> queue;
    bool started = false;
    bool cutOffLogged = false;

    ~MidiInDevice();

    // Fills the oldest queued buffers with one System Exclusive message and hands each back; without a
    // queued buffer the rest of the message is dropped. Anything but System Exclusive is ignored.
    void deliver(const std::uint8_t *bytes, std::size_t size);
};

// Whole messages from JACK's cycle to the thread that opened the input, woken through an eventfd that
// its event loop watches: no extra thread, and the cycle never waits.
struct JackInbox
{
    JackInbox();
    ~JackInbox();

    // In the cycle: false when the message does not fit, and then it is dropped.
    bool put(const std::uint8_t *bytes, std::size_t size);
    // On the opening thread: hands each message in to `deliver`.
    void takeAll(MidiInDevice &device);

    SpscRing messages{256 * 1024};
    int wake = -1;
    std::vector<std::uint8_t> scratch;
    std::unique_ptr<QSocketNotifier> notifier;
    std::atomic<bool> lost{false};
    unsigned loggedFaults = 0;
};

struct MidiOutDevice
{
    MidiOutProc callback = nullptr;
    DWORD_PTR instance = 0;
    std::uint64_t inProcessId = 0;
    std::unique_ptr<RtMidiOut> rtmidi;
    DeviceDirectory::ErrorFlag rtmidiError;
    // On JACK a client of its own takes the messages straight into its cycle, which hands them back.
    JackClient jack;

    // Elsewhere messages are sent on a thread of their own so that the caller never waits for the device.
    std::mutex mutex;
    std::condition_variable changed;
    std::deque<MIDIHDR *> queue;
    bool sending = false;
    bool stopping = false;
    std::thread sender;

    ~MidiOutDevice();

    void run();
    void transmit(const MIDIHDR &header);
};

// The in-process devices and which input has each of them open.
struct InProcessRegistry
{
    static void add(InProcessDevice *device);
    static void remove(InProcessDevice *device);
    static std::vector<MidiDeviceEntry> entries();
    static bool exists(std::uint64_t id);
    static void bindInput(std::uint64_t id, MidiInDevice *input);
    static void unbindInput(MidiInDevice *input);
    static bool send(const InProcessDevice *device, const std::uint8_t *bytes, std::size_t size);
    static void receive(std::uint64_t id, const std::uint8_t *bytes, std::size_t size);
    static bool refuse(std::uint64_t id, std::atomic<int> InProcessDevice::*counter);
};

// Steps that the input and the output operations share.
// Opens the ALSA sequencer port that the entry names, under this program's port name; false when the
// port is gone or the sequencer refuses.
bool openNamedPort(
    RtMidi &api, const MidiDeviceEntry &entry, const char *portName, const DeviceDirectory::ErrorFlag &flag);
MMRESULT checkOpenRequest(bool hasHandle, bool hasCallback, std::uint32_t flags);
MMRESULT prepareHeader(std::uint64_t inProcessId, MIDIHDR *header, unsigned headerSize,
    std::atomic<int> InProcessDevice::*refusal);
// Whether a prepared header may be queued: not while it is queued already.
MMRESULT queueableHeader(const MIDIHDR *header, unsigned headerSize);
MMRESULT unprepareHeader(MIDIHDR *header, unsigned headerSize);
