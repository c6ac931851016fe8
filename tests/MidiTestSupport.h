#pragma once

#include "InProcessDevice.h"
#include "MidiEvent.h"
#include "MidiPort.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QObject>
#include <QString>

#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

using Bytes = std::vector<std::uint8_t>;

// The unit's reset code that the build was configured with, as four bytes.
inline Bytes configuredResetCode()
{
    const std::string digits = TAVRIN_RESET_CODE;
    Bytes code;
    for (std::size_t i = 0; i + 2 <= digits.size(); i += 2)
        code.push_back(std::uint8_t(std::stoul(digits.substr(i, 2), nullptr, 16)));
    return code;
}

// "54 41 56 52": bytes as the simulated unit names them.
inline std::string spacedHex(const Bytes &bytes)
{
    static const char digits[] = "0123456789ABCDEF";
    std::string text;
    for (std::uint8_t b : bytes) {
        if (!text.empty())
            text += ' ';
        text += digits[b >> 4];
        text += digits[b & 0x0F];
    }
    return text;
}

// Row of the first device whose name contains `name` in the port's input or output list, or -1.
inline int inputRow(MidiPort &port, const QString &name)
{
    for (unsigned i = 0; const char16_t *n = port.inputDeviceName(i); ++i) {
        if (QString::fromUtf16(n).contains(name))
            return int(i);
    }
    return -1;
}

inline int outputRow(MidiPort &port, const QString &name)
{
    for (unsigned i = 0; const char16_t *n = port.outputDeviceName(i); ++i) {
        if (QString::fromUtf16(n).contains(name))
            return int(i);
    }
    return -1;
}

inline std::unique_ptr<char[]> message(const Bytes &bytes)
{
    auto buffer = std::make_unique<char[]>(bytes.size());
    std::copy(bytes.begin(), bytes.end(), buffer.get());
    return buffer;
}

// Stands in for the window: takes each delivered buffer the way the window does (a fresh buffer is
// queued first, then the filled one is unprepared and released) and keeps the bytes.
class BufferCollector : public QObject
{
public:
    BufferCollector() = default;
    explicit BufferCollector(MidiPort &port) { watch(port); }

    // Becomes the port's receiver; a collector declared before its port outlives the port's posts.
    void watch(MidiPort &watched)
    {
        port = &watched;
        watched.setReceiver(this);
    }

    bool event(QEvent *e) override
    {
        if (e->type() != MidiEvent::MidiEventType)
            return QObject::event(e);
        MIDIHDR *header = static_cast<MidiEvent *>(e)->takeHeader();
        port->queueInputBuffer();
        received.emplace_back(header->lpData, header->lpData + header->dwBytesRecorded);
        port->unprepareInput(header);
        MidiPort::releaseInputBuffer(header);
        return true;
    }

    // Processes events until `count` buffers have arrived or a generous deadline passes.
    bool waitFor(std::size_t count, int milliseconds = 5000)
    {
        QElapsedTimer clock;
        clock.start();
        while (received.size() < count && clock.elapsed() < milliseconds)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        return received.size() >= count;
    }

    MidiPort *port = nullptr;
    std::vector<Bytes> received;
};

// An in-process device that records what the port sends it; it can hold each message until released,
// so that messages stay pending in the port's output.
class RecordingDevice : public InProcessDevice
{
public:
    using InProcessDevice::InProcessDevice;
    ~RecordingDevice() override
    {
        release();
        detach();
    }

    void hold()
    {
        std::lock_guard<std::mutex> lock(mutex);
        holding = true;
    }

    void release()
    {
        std::lock_guard<std::mutex> lock(mutex);
        holding = false;
        changed.notify_all();
    }

    std::vector<Bytes> messages()
    {
        std::lock_guard<std::mutex> lock(mutex);
        return received;
    }

    bool waitForMessages(std::size_t count)
    {
        std::unique_lock<std::mutex> lock(mutex);
        return changed.wait_for(lock, std::chrono::seconds(5), [&] { return received.size() >= count; });
    }

    bool echo = false;

protected:
    void receive(const std::uint8_t *bytes, std::size_t size) override
    {
        std::unique_lock<std::mutex> lock(mutex);
        received.emplace_back(bytes, bytes + size);
        changed.notify_all();
        changed.wait(lock, [this] { return !holding; });
        lock.unlock();
        if (echo)
            send(bytes, size);
    }

private:
    std::mutex mutex;
    std::condition_variable changed;
    std::vector<Bytes> received;
    bool holding = false;
};
