#pragma once

#include "GoldenPasses.h"
#include "MidiTestSupport.h"
#include "SimulatedDevice.h"
#include "UpdateEngine.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QStringList>
#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>
#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <set>
#include <sstream>
#include <string>
#include <tuple>
#include <vector>

// Everything here is worked out from the NAND and protocol layouts directly, without the engine's or
// the protocol library's code, so that a mistake cannot hide by being made twice.
namespace expect {

constexpr int Blocks = 1024;
constexpr int Pages = 64;
constexpr int PageBytes = 2048;
constexpr int FrameBytes = 2096;
constexpr int HeadBytes = 16;
constexpr int SectorBytes = 256;
constexpr int Stride = 260;
constexpr int BlockBytes = Pages * PageBytes;

inline Bytes checkBytes(const std::uint8_t *sector)
{
    std::uint8_t sum = 0;
    std::uint16_t positions = 0;
    for (int j = 0; j < SectorBytes; ++j) {
        sum ^= sector[j];
        if (__builtin_popcount(sector[j]) % 2)
            positions ^= std::uint16_t((255 - j) * 256 + j);
    }
    return {sum, std::uint8_t(positions & 0xFF), std::uint8_t(positions >> 8), 0xFF};
}

// A frame from its head and its 2048 data bytes, check bytes added.
inline Bytes frame(const Bytes &head, const Bytes &data)
{
    Bytes f(FrameBytes, 0xFF);
    std::copy(head.begin(), head.end(), f.begin());
    for (int k = 0; k < 8; ++k) {
        std::uint8_t *sector = f.data() + HeadBytes + k * Stride;
        std::copy_n(data.begin() + k * SectorBytes, SectorBytes, sector);
        const Bytes check = checkBytes(sector);
        std::copy(check.begin(), check.end(), sector + SectorBytes);
    }
    return f;
}

inline Bytes dataFrame(const Bytes &image, int imageBlock, int page)
{
    Bytes head(HeadBytes, 0xFF);
    head[0] = head[1] = head[2] = std::uint8_t(imageBlock & 0xFF);
    Bytes data(PageBytes, 0xFF);
    const std::size_t start = (std::size_t(imageBlock) * Pages + page) * PageBytes;
    for (std::size_t i = 0; i < PageBytes && start + i < image.size(); ++i)
        data[i] = image[start + i];
    return frame(head, data);
}

inline Bytes listFrame(int factoryDefects, const std::set<int> &bad)
{
    Bytes head(HeadBytes, 0xFF);
    head[0] = 0xA5;
    Bytes data(PageBytes, 0xFF);
    data[0] = data[1] = 0xA5;
    data[2] = std::uint8_t(factoryDefects & 0xFF);
    data[3] = std::uint8_t((factoryDefects >> 8) & 0xFF);
    int n = 0;
    for (int b : bad) {
        if (n == 101)
            break;
        data[4 + 2 * n] = std::uint8_t(b & 0xFF);
        data[5 + 2 * n] = std::uint8_t(b >> 8);
        ++n;
    }
    return frame(head, data);
}

inline Bytes request(std::uint8_t command, const Bytes &payload = {})
{
    Bytes m{0xF0, 0x00, 0x11, 0x22, 0x0A, 0x00, 0x00, 0x00, 0x00, command};
    for (std::uint8_t b : payload)
        m.push_back(b);
    m.push_back(0xF7);
    return m;
}

inline Bytes readFlash(int sector, int piece)
{
    return request(0x09,
        {0x7F, std::uint8_t(sector & 0x7F), std::uint8_t((sector >> 7) & 0x7F),
            std::uint8_t((sector >> 14) & 0x7F), std::uint8_t(piece)});
}

inline Bytes readDefects(int part)
{
    return request(0x08, {0x7F, std::uint8_t(part)});
}

inline Bytes eraseBlock(int block)
{
    return request(0x0A, {0x7F, std::uint8_t(block & 0x7F), std::uint8_t((block >> 7) & 0x7F)});
}

inline Bytes writePage(int block, int page)
{
    return request(
        0x0B, {0x7F, std::uint8_t(block & 0x7F), std::uint8_t((block >> 7) & 0x7F), std::uint8_t(page)});
}

inline Bytes pageData(const std::uint8_t *raw, int n)
{
    std::uint8_t sum = 0;
    for (int i = 0; i < n; ++i)
        sum = std::uint8_t(sum + raw[i]);
    Bytes payload{std::uint8_t(sum & 0x7F)};
    for (int g = 0; g < n; g += 4) {
        std::uint8_t flags = 0;
        for (int j = 0; j < 4; ++j) {
            payload.push_back(raw[g + j] & 0x7F);
            flags |= std::uint8_t((raw[g + j] >> 7) << j);
        }
        payload.push_back(flags);
    }
    return request(0x0C, payload);
}

// CMD_WRITE_PAGE, the 33 pieces of the frame and CMD_PROGRAM_PAGE.
inline std::vector<Bytes> pageRequests(int block, int page, const Bytes &frame)
{
    std::vector<Bytes> r{writePage(block, page)};
    for (int i = 0; i < 32; ++i)
        r.push_back(pageData(frame.data() + 64 * i, 64));
    r.push_back(pageData(frame.data() + 2048, 48));
    r.push_back(request(0x0D));
    return r;
}

inline Bytes resetNand(std::uint32_t size)
{
    Bytes payload{0x02, 0x02};
    for (int k = 0; k < 4; ++k)
        payload.push_back(std::uint8_t((size >> (7 * k)) & 0x7F));
    const Bytes code = configuredResetCode();
    payload.insert(payload.end(), code.begin(), code.end());
    return request(0x0E, payload);
}

inline Bytes reply(std::uint8_t code, const Bytes &payload = {})
{
    return request(code, payload);
}

// What a pass is expected to leave in the NAND: the pages that hold something; all others are erased.
struct Nand
{
    std::map<int, Bytes> written;

    static int index(int block, int page) { return block * Pages + page; }
    void set(int block, int page, const Bytes &frame) { written[index(block, page)] = frame; }
    void erase(int block)
    {
        written.erase(written.lower_bound(index(block, 0)), written.lower_bound(index(block + 1, 0)));
    }
};

// How the NAND looks before the pass and what goes wrong during it.
struct Scenario
{
    Bytes image{};
    std::vector<int> factoryDefects{};
    // Lists already stored in block 0, page by page: the factory defect count and the entries.
    std::vector<std::pair<int, std::vector<int>>> storedLists{};
    std::set<int> eraseFailures{};
    std::set<std::pair<int, int>> programFailures{};
    // Programs that say success: a flipped bit at the first or at every program, a page left erased.
    std::set<std::pair<int, int>> flippedOnce{};
    std::set<std::pair<int, int>> weakPages{};
    std::set<std::pair<int, int>> silentFailures{};
    // Rows that test something else run unverified, with the requests they always had.
    bool verify = false;
    // A page of zeros after the stored lists, as a list page damaged at its start leaves.
    bool otherPageAfterLists = false;
    // Requests damaged on their way in: the kind, which one of that kind and the bit.
    std::vector<std::tuple<SimulatedUnit::RequestDamage, int, int>> damagedRequests{};
    // Blocks whose next erase fails and says so.
    std::set<int> eraseFailuresOnce{};
};

// Entries ascend up to the padding, as the updater writes them; anything else has rotted.
inline bool listSound(const std::vector<int> &entries)
{
    int previous = -1;
    for (int b : entries) {
        if (b == 0xFFFF)
            return true;
        if (b > 1023 || b <= previous)
            return false;
        previous = b;
    }
    return true;
}

inline int imagePages(const Bytes &image)
{
    return int((image.size() + PageBytes - 1) / PageBytes);
}

// Places the image as the updater must: image block n in the n-th good block from block 1, and the
// lists in block 0. `block0` is block 0 as it was before the pass.
inline Nand expectedNand(const Scenario &s, const std::vector<Bytes> &block0, bool *outOfSpace = nullptr)
{
    Nand nand;
    for (int p = 0; p < Pages; ++p) {
        if (std::any_of(block0[p].begin(), block0[p].end(), [](std::uint8_t b) { return b != 0xFF; }))
            nand.set(0, p, block0[p]);
    }
    // A list page whose bit flipped keeps it, and the list goes to the next page; one that fails to
    // program stays erased.
    auto putList = [&](int page, const Bytes &frame) {
        while (s.programFailures.count({0, page}))
            ++page;
        if (s.flippedOnce.count({0, page})) {
            nand.set(0, page, frame);
            nand.written[Nand::index(0, page++)][16 + 4] ^= 1;
        }
        nand.set(0, page, frame);
        return page;
    };
    std::set<int> bad;
    int factoryCount = 0;
    const int pagesInUse = int(s.storedLists.size()) + (s.otherPageAfterLists ? 1 : 0);
    int listPage = pagesInUse - 1;
    // The newest sound list counts; after a rotten one the unit needs a sound list at the end.
    int sound = int(s.storedLists.size()) - 1;
    while (sound >= 0 && !listSound(s.storedLists[std::size_t(sound)].second))
        --sound;
    bool listAfter = s.otherPageAfterLists || sound + 1 < int(s.storedLists.size());
    if (sound >= 0) {
        factoryCount = s.storedLists[std::size_t(sound)].first;
        for (int b : s.storedLists[std::size_t(sound)].second) {
            if (b > 1023)
                break;
            bad.insert(b);
        }
        if (pagesInUse == Pages) {
            nand.erase(0);
            nand.set(0, 0, listFrame(factoryCount, bad));
            listPage = 0;
            listAfter = false;
        }
    } else {
        // No list, or none that is sound: the factory defect list takes its place, after the pages in
        // use while block 0 has room.
        bad.insert(s.factoryDefects.begin(), s.factoryDefects.end());
        factoryCount = int(bad.size());
        if (pagesInUse == 0 || pagesInUse == Pages) {
            nand.erase(0);
            listPage = putList(0, listFrame(factoryCount, bad));
        } else {
            listPage = putList(pagesInUse, listFrame(factoryCount, bad));
        }
        listAfter = false;
    }

    auto nextGood = [&](int from) {
        for (int b = from + 1; b < Blocks; ++b) {
            if (!bad.count(b))
                return b;
        }
        return Blocks;
    };
    const int pages = imagePages(s.image);
    const int imageBlocks = (pages + Pages - 1) / Pages;
    bool failed = false;
    int block = nextGood(0);
    for (int n = 0; n < imageBlocks && block < Blocks;) {
        if (s.eraseFailures.count(block)) {
            bad.insert(block);
            failed = true;
            block = nextGood(block);
            continue;
        }
        nand.erase(block);
        const int lastPage = std::min(Pages, pages - n * Pages);
        bool written = true;
        for (int p = 0; p < lastPage && written; ++p) {
            written = !s.programFailures.count({block, p}) && !s.silentFailures.count({block, p});
            if (written)
                nand.set(block, p, dataFrame(s.image, n, p));
            if (s.weakPages.count({block, p})) {
                // Retired with the flipped bit that its second program stored.
                nand.written[Nand::index(block, p)][16 + 4] ^= 1;
                written = false;
            }
        }
        if (!written) {
            bad.insert(block);
            failed = true;
            block = nextGood(block);
            continue;
        }
        if (++n < imageBlocks)
            block = nextGood(block);
    }
    if (outOfSpace)
        *outOfSpace = block >= Blocks;
    // The unit takes the last written page for its list, so one follows a page of other content.
    if (failed || listAfter)
        putList(listPage + 1, listFrame(factoryCount, bad));
    return nand;
}

// The first pages where the unit's NAND differs from the expected one, or an empty text.
inline std::string nandDifferences(SimulatedUnit &unit, const Nand &expected)
{
    const Bytes erased(FrameBytes, 0xFF);
    std::ostringstream out;
    int shown = 0;
    for (int b = 0; b < Blocks && shown < 5; ++b) {
        for (int p = 0; p < Pages && shown < 5; ++p) {
            const std::uint8_t *have = unit.frame(b, p);
            const auto it = expected.written.find(Nand::index(b, p));
            const Bytes &want = it == expected.written.end() ? erased : it->second;
            if (!std::equal(want.begin(), want.end(), have)) {
                const auto at = std::mismatch(want.begin(), want.end(), have).first - want.begin();
                out << "block " << b << " page " << p << " differs from byte " << at << "; ";
                ++shown;
            }
        }
    }
    return out.str();
}

inline Bytes patternImage(std::size_t size, std::uint32_t seed = 1)
{
    Bytes image(size);
    std::uint32_t x = seed;
    for (auto &byte : image) {
        x = x * 1664525u + 1013904223u;
        byte = std::uint8_t(x >> 24);
    }
    return image;
}

} // namespace expect

// A simulated unit that also keeps every request it receives, in order.
class RecordingUnit : public SimulatedDevice
{
public:
    using SimulatedDevice::SimulatedDevice;

    std::vector<Bytes> requests()
    {
        std::lock_guard<std::mutex> lock(recordMutex);
        return recorded;
    }

    void clearRequests()
    {
        std::lock_guard<std::mutex> lock(recordMutex);
        recorded.clear();
    }

    // Every request since the unit was made, whatever the test cleared.
    std::vector<Bytes> allRequests()
    {
        std::lock_guard<std::mutex> lock(recordMutex);
        return everything;
    }

protected:
    void receive(const std::uint8_t *bytes, std::size_t size) override
    {
        {
            std::lock_guard<std::mutex> lock(recordMutex);
            recorded.emplace_back(bytes, bytes + size);
            everything.emplace_back(bytes, bytes + size);
        }
        SimulatedDevice::receive(bytes, size);
    }

private:
    std::mutex recordMutex;
    std::vector<Bytes> recorded;
    std::vector<Bytes> everything;
};

// The engine, connected through the real MidiPort to a simulated unit, and what a face shows of its
// signals, as the window shows them. No clock runs: tests tick the countdown themselves.
class UpdateRig
{
public:
    static constexpr const char *DeviceName = "Tavrin (simulated)";

    UpdateRig()
    {
        QObject::connect(&engine, &UpdateEngine::logLine, [this](const QString &text) { heard << text; });
        QObject::connect(&engine, &UpdateEngine::deviceInfo,
            [this](const QString &shown, const QString &) { serial = shown; });
        QObject::connect(&engine, &UpdateEngine::passStarted, [this] {
            controlsFree = false;
            barShown = true;
        });
        QObject::connect(&engine, &UpdateEngine::progressValue, [this](int value) { bar = value; });
        QObject::connect(&engine, &UpdateEngine::controlsReleased, [this](int state) {
            shownState = state;
            controlsFree = true;
            barShown = false;
        });
    }

    ~UpdateRig()
    {
        engine.link.port.close();
#ifdef TAVRIN_GOLDEN_FILE
        if (recordGolden)
            golden::check(TAVRIN_GOLDEN_FILE, device.allRequests(), heard);
#endif
    }

    template <class F> auto unit(F f)
    {
        return device.withUnit(f);
    }

    SimulatedUnit::Stats stats()
    {
        return unit([](SimulatedUnit &u) { return u.stats(); });
    }

    std::vector<std::string> errors()
    {
        return unit([](SimulatedUnit &u) { return u.errors(); });
    }

    // Runs the event loop until `done` holds, or until the unit has gone this long without a request: a
    // sanitizer build on a loaded machine may take minutes for a pass, but keeps the requests coming.
    static constexpr int QuietMilliseconds = 10000;

    bool runUntil(const std::function<bool()> &done)
    {
        QElapsedTimer quiet;
        quiet.start();
        int requests = stats().requests;
        while (!done() && quiet.elapsed() < QuietMilliseconds) {
            QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
            const int now = stats().requests;
            if (now != requests) {
                requests = now;
                quiet.restart();
            }
        }
        return done();
    }

    // Handles whatever has already arrived; nothing further is on its way.
    void drain()
    {
        for (int i = 0; i < 3; ++i)
            QCoreApplication::processEvents();
    }

    bool connect()
    {
        if (engine.connectUnit(
                inputRow(engine.link.port, DeviceName), outputRow(engine.link.port, DeviceName)))
            shownState = Connecting;
        return runUntil([this] { return engine.connectionState == Connected; });
    }

    // Disconnect, as pressed in the window.
    void disconnect()
    {
        engine.disconnectUnit();
        shownState = Disconnected;
        controlsFree = true;
    }

    // Loads the image through a file in place of the embedded one.
    void useImage(const Bytes &image)
    {
        const QString path = dir.filePath(QStringLiteral("image%1.bin").arg(++images));
        QFile file(path);
        file.open(QIODevice::WriteOnly);
        file.write(reinterpret_cast<const char *>(image.data()), qint64(image.size()));
        file.close();
        engine.imagePath = path;
    }

    // Sets up the unit's NAND and faults and loads the scenario's image.
    void arrange(const expect::Scenario &s)
    {
        unit([&](SimulatedUnit &u) {
            u.setFactoryDefects(s.factoryDefects);
            for (std::size_t p = 0; p < s.storedLists.size(); ++p)
                u.storeList(int(p), std::int16_t(s.storedLists[p].first), s.storedLists[p].second);
            if (s.otherPageAfterLists)
                u.storeFrame(0, int(s.storedLists.size()), Bytes(expect::FrameBytes, 0).data());
            for (int block : s.eraseFailures)
                u.failErase(block);
            for (int block : s.eraseFailuresOnce)
                u.failErase(block, 1);
            for (const auto &page : s.programFailures)
                u.failProgram(page.first, page.second);
            for (const auto &page : s.flippedOnce)
                u.flipStoredBit(page.first, page.second);
            for (const auto &page : s.weakPages)
                u.flipStoredBit(page.first, page.second, -1);
            for (const auto &page : s.silentFailures)
                u.failProgramSilently(page.first, page.second);
            for (const auto &[what, nth, bit] : s.damagedRequests)
                u.damageRequest(what, nth, bit);
            block0Before.clear();
            for (int p = 0; p < expect::Pages; ++p)
                block0Before.emplace_back(u.frame(0, p), u.frame(0, p) + expect::FrameBytes);
            return 0;
        });
        useImage(s.image);
        verify = s.verify;
    }

    std::string nandDifferences(const expect::Scenario &s, bool *outOfSpace = nullptr)
    {
        expect::Nand expected = expect::expectedNand(s, block0Before, outOfSpace);
        return unit([&](SimulatedUnit &u) { return expect::nandDifferences(u, expected); });
    }

    // Update, as pressed in the window: only while connected and no pass runs.
    void pressUpdate()
    {
        if (!updateAllowed())
            return;
        controlsFree = false;
        bar = 0;
        engine.startPass(verify);
    }

    bool updateAllowed() const
    {
        return controlsFree && shownState == Connected;
    }

    // Runs until the controls come back: the unit reported idle, or the pass stopped.
    bool runPass()
    {
        return runUntil([this] { return controlsFree; });
    }

    // Runs until the controls come back, ticking the window's clock whenever the unit falls quiet, so
    // that time-outs and stall stops come at once rather than in real time.
    bool runPassTicking()
    {
        int seen = -1;
        int quiet = 0;
        for (int ticks = 0; !controlsFree;) {
            QEventLoop loop;
            QTimer::singleShot(2, &loop, &QEventLoop::quit);
            loop.exec();
            const SimulatedUnit::Stats now = stats();
            if (now.requests + now.repliesSent != seen) {
                seen = now.requests + now.repliesSent;
                quiet = 0;
            } else if (++quiet >= 3) {
                quiet = 0;
                tick(1);
                if (++ticks > 2000)
                    return false;
            }
        }
        drain();
        return true;
    }

    bool waitForReplies(int produced)
    {
        return runUntil([&] { return stats().repliesProduced >= produced; });
    }

    void tick(int times)
    {
        for (int i = 0; i < times; ++i)
            engine.tick();
    }

    // The log as the window shows it: a line that holds a line break counts as two.
    QStringList log() const
    {
        return heard.join(QLatin1Char('\n')).split(QLatin1Char('\n'));
    }

    RecordingUnit device{DeviceName};
    UpdateEngine engine;
    // Every log line, without the window's cap, and the rest of what the window would show.
    QStringList heard;
    QString serial;
    int shownState = Disconnected;
    bool controlsFree = true;
    bool barShown = false;
    int bar = 0;
    // The window's "Verify after writing".
    bool verify = false;
    // Off for passes whose requests depend on the build, such as those of the embedded image.
    bool recordGolden = true;

private:
    std::vector<Bytes> block0Before;
    QTemporaryDir dir;
    int images = 0;
};
