#pragma once

#include "JackPeriod.h"
#include "MidiApi.h"

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>

class QObject;

// The one pair of MIDI devices of the program: lists the system's devices, opens one input and one
// output, keeps four receive buffers queued on the input and sends complete System Exclusive messages.
class MidiPort
{
public:
    static constexpr int QueuedInputBuffers = 4;
    static constexpr std::uint32_t InputBufferSize = 1024;

    MidiPort();
    ~MidiPort();

    MidiPort(const MidiPort &) = delete;
    MidiPort &operator=(const MidiPort &) = delete;

    // Zero-terminated UTF-16 full port name of a device, valid until the next call; null past the last.
    // Index 0 takes a fresh look at the MIDI system.
    const char16_t *inputDeviceName(unsigned index);
    const char16_t *outputDeviceName(unsigned index);
    // The MIDI system ("alsa", "jack", "in-process") and address of a device listed by the last look;
    // false when the number names none.
    static bool whereIs(bool input, unsigned index, std::string &system, std::string &address);

    bool open(int inputIndex, int outputIndex);
    // Whether the input and the output device of these numbers belong to one MIDI client, as the two
    // ports of one unit do; true when either number names no device.
    static bool sameClient(int inputIndex, int outputIndex);
    void close();
    // Whether a device that open() was asked for is a port of the JACK server.
    bool usesJack() const { return onJack; }
    // The period of the JACK server the output is on, and a request for another (see JackPeriod).
    JackPeriod jackPeriod() const { return midiOutJackPeriod(outHandle); }
    JackPeriod askJackPeriod(unsigned frames)
    {
        return midiAskJackPeriod(outHandle, inHandle.load(), frames);
    }

    // Takes ownership of the message in every case: a message that is not accepted is released here.
    bool sendLong(std::unique_ptr<char[]> bytes, std::uint32_t length);

    MMRESULT queueInputBuffer();
    MMRESULT unprepareInput(MIDIHDR *header);
    void setReceiver(QObject *window);

    // Releases a receive buffer (header and its data area) that has come back from the input.
    static void releaseInputBuffer(MIDIHDR *header);

    static void onInput(
        HMIDIIN handle, unsigned code, DWORD_PTR instance, DWORD_PTR param1, DWORD_PTR param2);
    static void onOutput(
        HMIDIOUT handle, unsigned code, DWORD_PTR instance, DWORD_PTR param1, DWORD_PTR param2);

    std::u16string inputName;
    std::u16string outputName;
    // Read on the notification thread while the GUI thread opens and closes.
    std::atomic<HMIDIIN> inHandle{nullptr};
    HMIDIOUT outHandle = nullptr;
    std::atomic<bool> closing{false};
    // Messages delivered so far; a request records it as it goes out, so that a reply can be told
    // from one that was already there.
    std::atomic<std::uint64_t> arrivals{0};
    QObject *receiver = nullptr;
    bool onJack = false;
};
