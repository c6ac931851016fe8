#include "JackServer.h"
#include "MidiTestSupport.h"

#include "JackClient.h"
#include "JackServerLock.h"
#include "VirtualPort.h"

#include <jack/jack.h>
#include <jack/thread.h>
#include <pthread.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <mutex>
#include <random>
#include <thread>

// Allocations on the threads that libjack starts are counted while `countingJackAllocations` is set;
// the sanitizers bring allocators of their own, so the count is taken without them.
#if !defined(__SANITIZE_ADDRESS__) && !defined(__SANITIZE_THREAD__)
#define TAVRIN_COUNTS_ALLOCATIONS 1
extern "C" void *__libc_malloc(std::size_t);
extern "C" void *__libc_calloc(std::size_t, std::size_t);
extern "C" void *__libc_realloc(void *, std::size_t);
extern "C" void __libc_free(void *);
#endif

namespace {

std::atomic<bool> countingJackAllocations{false};
std::atomic<int> jackAllocations{0};

#ifdef TAVRIN_COUNTS_ALLOCATIONS
thread_local bool startedByJack = false;

void noteAllocation()
{
    if (startedByJack && countingJackAllocations)
        ++jackAllocations;
}

// Every thread of libjack, the real-time cycle among them, starts here and is marked.
int markedJackThread(
    pthread_t *thread, const pthread_attr_t *attributes, void *(*run)(void *), void *argument)
{
    struct Start
    {
        void *(*run)(void *);
        void *argument;
    };
    auto *start = new Start{run, argument};
    return pthread_create(
        thread, attributes,
        [](void *data) -> void * {
            const Start begin = *static_cast<Start *>(data);
            delete static_cast<Start *>(data);
            startedByJack = true;
            return begin.run(begin.argument);
        },
        start);
}
#endif

} // namespace

#ifdef TAVRIN_COUNTS_ALLOCATIONS
extern "C" void *malloc(std::size_t size)
{
    noteAllocation();
    return __libc_malloc(size);
}
extern "C" void *calloc(std::size_t count, std::size_t size)
{
    noteAllocation();
    return __libc_calloc(count, size);
}
extern "C" void *realloc(void *old, std::size_t size)
{
    noteAllocation();
    return __libc_realloc(old, size);
}
extern "C" void free(void *memory)
{
    if (memory)
        noteAllocation();
    __libc_free(memory);
}
#endif

namespace {

// Another JACK client, "Echo", that sends every System Exclusive message straight back within the JACK
// cycle in which it arrives, and keeps a copy.
class EchoClient
{
public:
    EchoClient()
    {
        port.open(
            "Echo",
            [this](const std::uint8_t *bytes, std::size_t size) {
                port.send(bytes, size);
                std::lock_guard<std::mutex> lock(mutex);
                received.emplace_back(bytes, bytes + size);
            },
            VirtualPort::Choice::Jack);
    }

    std::vector<Bytes> messages()
    {
        std::lock_guard<std::mutex> lock(mutex);
        return received;
    }

private:
    std::mutex mutex;
    std::vector<Bytes> received;
    // Closed first: its cycle uses the others.
    VirtualPort port;
};

class JackMidiTest : public testing::Test
{
protected:
    static void SetUpTestSuite() { server = new JackServer; }
    static void TearDownTestSuite()
    {
        delete server;
        server = nullptr;
    }

    void SetUp() override { ASSERT_TRUE(server->running()) << "jackd did not start"; }

    static JackServer *server;
};

JackServer *JackMidiTest::server = nullptr;

const QString EchoIn = QStringLiteral("Echo:in");
const QString EchoOut = QStringLiteral("Echo:out");

Bytes randomSysEx(std::mt19937 &random)
{
    Bytes bytes(std::uniform_int_distribution<std::size_t>(3, 92)(random));
    for (auto &b : bytes)
        b = std::uint8_t(random() & 0x7F);
    bytes.front() = 0xF0;
    bytes.back() = 0xF7;
    return bytes;
}

TEST_F(JackMidiTest, OtherClientsPortsAreListedAndOwnPortsAreNot)
{
    EchoClient echo;
    MidiPort port;
    EXPECT_GE(inputRow(port, EchoOut), 0);
    EXPECT_GE(outputRow(port, EchoIn), 0);
    ASSERT_TRUE(port.open(inputRow(port, EchoOut), outputRow(port, EchoIn)));
    EXPECT_EQ(inputRow(port, "Tavrin Update"), -1);
    EXPECT_EQ(outputRow(port, "Tavrin Update"), -1);
}

// Ports as PipeWire's MIDI bridge and jackd -X seq name their copies of ALSA ports, the original only in
// their aliases: each input pairs with the output of its own ALSA client, and the program's own copy is
// never listed. Copies are listed only where no ALSA sequencer can be reached.
TEST_F(JackMidiTest, BridgedCopiesPairByTheirAlsaClientAndOwnCopiesAreNotListed)
{
    jack_client_t *bridge = jack_client_open("Bridge", JackNoStartServer, nullptr);
    ASSERT_NE(bridge, nullptr);
    const struct
    {
        const char *name;
        unsigned long flags;
        const char *alias;
    } ports[] = {
        {"Tavrin:(capture_1) out", JackPortIsOutput, "alsa:seq:default:client_130:capture_1"},
        {"Tavrin:(playback_0) in", JackPortIsInput, "alsa:seq:default:client_130:playback_0"},
        {"Twin:(playback_0) in", JackPortIsInput, "alsa:seq:default:client_131:playback_0"},
        {"midi_capture_1", JackPortIsOutput, "alsa_pcm:Tavrin-A/midi_capture_1"},
        {"midi_playback_1", JackPortIsInput, "alsa_pcm:Tavrin-A/midi_playback_1"},
        {"midi_playback_2", JackPortIsInput, "alsa_pcm:Tavrin-B/midi_playback_1"},
        {"midi_capture_3", JackPortIsOutput, "alsa_pcm:Tavrin-Update-99/midi_capture_1"},
    };
    for (const auto &port : ports) {
        jack_port_t *registered
            = jack_port_register(bridge, port.name, JACK_DEFAULT_MIDI_TYPE, port.flags, 0);
        ASSERT_NE(registered, nullptr) << port.name;
        jack_port_set_alias(registered, port.alias);
    }
    const bool copiesListed = !DeviceDirectory::available(MidiBackend::Alsa);
    const struct
    {
        const char *input;
        const char *output;
        bool sameUnit;
    } pairs[] = {
        {"Bridge:Tavrin:(capture_1) out", "Bridge:Tavrin:(playback_0) in", true},
        {"Bridge:Tavrin:(capture_1) out", "Bridge:Twin:(playback_0) in", false},
        {"Bridge:midi_capture_1", "Bridge:midi_playback_1", true},
        {"Bridge:midi_capture_1", "Bridge:midi_playback_2", false},
    };
    MidiPort port;
    for (const auto &pair : pairs) {
        const int input = inputRow(port, pair.input);
        const int output = outputRow(port, pair.output);
        EXPECT_EQ(input >= 0 && output >= 0, copiesListed) << pair.input << " / " << pair.output;
        if (copiesListed)
            EXPECT_EQ(MidiPort::sameClient(input, output), pair.sameUnit)
                << pair.input << " / " << pair.output;
    }
    EXPECT_EQ(inputRow(port, "Bridge:midi_capture_3"), -1);
    jack_client_close(bridge);
}

TEST_F(JackMidiTest, ThousandSysExRoundTripsArriveByteExact)
{
    EchoClient echo;
    // The window outlives the port that posts to it.
    BufferCollector window;
    MidiPort port;
    window.watch(port);
    ASSERT_TRUE(port.open(inputRow(port, EchoOut), outputRow(port, EchoIn)));

    std::mt19937 random(7);
    std::vector<Bytes> sent;
    QElapsedTimer clock;
    clock.start();
    for (std::size_t i = 1; i <= 1000; ++i) {
        sent.push_back(randomSysEx(random));
        ASSERT_TRUE(port.sendLong(message(sent.back()), std::uint32_t(sent.back().size())));
        ASSERT_TRUE(window.waitFor(i)) << "message " << i << " lost";
    }
    const double seconds = clock.nsecsElapsed() / 1e9;
    EXPECT_EQ(window.received, sent);
    RecordProperty("round_trips_per_second", int(1000 / seconds));
    std::printf("JACK SysEx round trips: %.0f/s\n", 1000 / seconds);
}

// A client of the test's own that sends every System Exclusive message straight back within the cycle
// in which it arrives, with nothing but the client's own rings.
bool openBareEcho(JackClient &client)
{
    return client.open(
        "Echo", "in", [&client](const std::uint8_t *bytes, std::size_t size) { client.send(bytes, size); },
        "out", nullptr);
}

// Messages in pieces, as bridges send them, arrive whole; one longer than a cycle can carry is refused
// rather than reported as sent. Meanwhile neither the port's cycles nor the echo's allocate or free.
TEST_F(JackMidiTest, PiecesArriveWholeOversizeIsRefusedAndTheCyclesNeverAllocate)
{
#ifdef TAVRIN_COUNTS_ALLOCATIONS
    jack_set_thread_creator(markedJackThread);
#endif
    JackClient echo;
    ASSERT_TRUE(openBareEcho(echo));
    BufferCollector window;
    MidiPort port;
    window.watch(port);
    ASSERT_TRUE(port.open(inputRow(port, EchoOut), outputRow(port, EchoIn)));
    const Bytes ping{0xF0, 0x01, 0x02, 0xF7};
    ASSERT_TRUE(port.sendLong(message(ping), std::uint32_t(ping.size())));
    ASSERT_TRUE(window.waitFor(1));

    countingJackAllocations = true;
    for (std::size_t i = 2; i <= 300; ++i) {
        ASSERT_TRUE(port.sendLong(message(ping), std::uint32_t(ping.size())));
        ASSERT_TRUE(window.waitFor(i));
    }
    countingJackAllocations = false;
    EXPECT_EQ(jackAllocations, 0);

    for (const Bytes &piece : std::vector<Bytes>{{0xF0, 0x01}, {0x02, 0xF8}, {0xF7}})
        ASSERT_TRUE(echo.send(piece.data(), piece.size()));
    ASSERT_TRUE(window.waitFor(301));
    EXPECT_EQ(window.received.back(), ping);

    const Bytes oversize(echo.longestSent() + 1, 0x01);
    EXPECT_FALSE(port.sendLong(message(oversize), std::uint32_t(oversize.size())));
    port.close();
#ifdef TAVRIN_COUNTS_ALLOCATIONS
    jack_set_thread_creator(pthread_create);
#endif
}

// A peer that sends a System Exclusive message in every cycle, from a thread of its own.
class Flood
{
public:
    Flood()
    {
        opened = client.open(
            "Echo", "in", [](const std::uint8_t *, std::size_t) {}, "out", nullptr);
        sender = std::thread([this] {
            const Bytes ping{0xF0, 0x03, 0x04, 0xF7};
            while (running) {
                client.send(ping.data(), ping.size());
                std::this_thread::sleep_for(std::chrono::microseconds(300));
            }
        });
    }
    ~Flood()
    {
        running = false;
        sender.join();
    }

    JackClient client;
    bool opened = false;

private:
    std::atomic<bool> running{true};
    std::thread sender;
};

// The port opened and closed hundreds of times while a peer floods it, and the server killed half-way:
// the port refuses to open while the dead server's clients are still open (libjack would free them at
// the next open), and opens again on the next server. The sanitizers watch every client's memory.
// TAVRIN_STRESS_OPENS raises the count for a longer run by hand (2,000 take minutes).
TEST_F(JackMidiTest, OpenCloseUnderAFloodSurvivesTheServersDeath)
{
    const char *opens = std::getenv("TAVRIN_STRESS_OPENS");
    const int rounds = std::max(200, opens ? std::atoi(opens) : 0);
    const Bytes ping{0xF0, 0x01, 0x02, 0xF7};
    BufferCollector window;
    MidiPort port;
    window.watch(port);
    auto flood = std::make_unique<Flood>();
    ASSERT_TRUE(flood->opened);
    int input = inputRow(port, EchoOut), output = outputRow(port, EchoIn);
    std::thread kill;
    int opened = 0, openedAfterRestart = 0;
    bool restarted = false;
    for (int round = 0; round < rounds; ++round) {
        if (round == rounds / 2)
            kill = std::thread([] {
                delete server;
                server = nullptr;
            });
        if (port.open(input, output)) {
            ++opened;
            openedAfterRestart += restarted;
            port.sendLong(message(ping), std::uint32_t(ping.size()));
            QCoreApplication::processEvents();
        }
        port.close();
        if (JackServerLock::held()) {
            // As the window does: every client of the dead server closed, then a new server.
            kill.join();
            flood.reset();
            JackServerLock::release();
            server = new JackServer;
            ASSERT_TRUE(server->running());
            flood = std::make_unique<Flood>();
            ASSERT_TRUE(flood->opened);
            input = inputRow(port, EchoOut);
            output = outputRow(port, EchoIn);
            restarted = true;
        }
    }
    ASSERT_TRUE(restarted) << "the server's death was never noticed";
    EXPECT_GT(openedAfterRestart, rounds / 4);
    EXPECT_GT(opened, rounds * 3 / 4);
    QCoreApplication::removePostedEvents(&window);
}

TEST_F(JackMidiTest, RepeatedOpenCloseAndDestructionIsClean)
{
    EchoClient echo;
    const Bytes ping{0xF0, 0x01, 0x02, 0xF7};
    BufferCollector window;
    for (int cycle = 0; cycle < 30; ++cycle) {
        MidiPort port;
        window.watch(port);
        ASSERT_TRUE(port.open(inputRow(port, EchoOut), outputRow(port, EchoIn)));
        port.sendLong(message(ping), std::uint32_t(ping.size()));
        port.sendLong(message(ping), std::uint32_t(ping.size()));
        if (cycle % 2)
            port.close();
    }
    QCoreApplication::removePostedEvents(&window);
}

// Hands back every message that the output is done with, and notices one handed back after the close.
struct Completions
{
    static void onOutput(HMIDIOUT, unsigned code, DWORD_PTR instance, DWORD_PTR param1, DWORD_PTR)
    {
        auto &self = *reinterpret_cast<Completions *>(instance);
        if (code != MOM_DONE)
            return;
        std::lock_guard<std::mutex> lock(self.mutex);
        self.done.push_back(reinterpret_cast<MIDIHDR *>(param1));
        self.afterClose += self.closed;
    }

    std::mutex mutex;
    std::vector<MIDIHDR *> done;
    bool closed = false;
    int afterClose = 0;
};

// Hundreds of outputs closed while their messages are queued, in the cycle and on their way to the echo:
// each message is handed back exactly once before the close returns and never after it, and what the
// echo receives is whole and in order. The sanitizers see that no cycle touches a closed output.
TEST_F(JackMidiTest, ClosingWithMessagesInFlightHandsEachBackOnceAndNothingAfter)
{
    EchoClient echo;
    const int device = outputRow(*std::make_unique<MidiPort>(), EchoIn);
    ASSERT_GE(device, 0);
    std::mt19937 random(11);
    std::vector<Bytes> sent;
    for (int cycle = 0; cycle < 200; ++cycle) {
        Completions completions;
        HMIDIOUT output = nullptr;
        ASSERT_EQ(midiOutOpen(&output, unsigned(device), &Completions::onOutput,
                      reinterpret_cast<DWORD_PTR>(&completions), CALLBACK_FUNCTION),
            MMSYSERR_NOERROR);
        std::vector<std::pair<MIDIHDR, Bytes>> messages(std::uniform_int_distribution<int>(1, 40)(random));
        for (auto &[header, bytes] : messages) {
            bytes = randomSysEx(random);
            header = MIDIHDR{};
            header.lpData = reinterpret_cast<char *>(bytes.data());
            header.dwBufferLength = std::uint32_t(bytes.size());
            // Not asserted: the output must be closed before `completions` goes.
            EXPECT_EQ(midiOutPrepareHeader(output, &header, sizeof header), MMSYSERR_NOERROR);
            EXPECT_EQ(midiOutLongMsg(output, &header, sizeof header), MMSYSERR_NOERROR);
            sent.push_back(bytes);
        }
        // Closed at once, within a cycle or a few cycles later.
        std::this_thread::sleep_for(
            std::chrono::microseconds(std::uniform_int_distribution<int>(0, 700)(random)));
        midiOutReset(output);
        ASSERT_EQ(midiOutClose(output), MMSYSERR_NOERROR);
        std::lock_guard<std::mutex> lock(completions.mutex);
        completions.closed = true;
        std::vector<MIDIHDR *> expected;
        for (auto &message : messages)
            expected.push_back(&message.first);
        std::sort(expected.begin(), expected.end());
        std::sort(completions.done.begin(), completions.done.end());
        ASSERT_EQ(completions.done, expected) << "cycle " << cycle;
        ASSERT_EQ(completions.afterClose, 0);
        for (MIDIHDR *header : expected)
            EXPECT_EQ(header->dwFlags & MHDR_INQUEUE, 0U);
    }
    // What arrived is a sequence of whole messages in the order sent, with the ones dropped at a close
    // left out.
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    const std::vector<Bytes> arrived = echo.messages();
    auto next = sent.begin();
    for (const Bytes &bytes : arrived) {
        next = std::find(next, sent.end(), bytes);
        ASSERT_NE(next, sent.end()) << "a message arrived broken or out of order";
        ++next;
    }
    EXPECT_GT(arrived.size(), 0U);
}

} // namespace
