#pragma once

#include "EngineTestSupport.h"
#include "JackServerLock.h"
#include "MainWindow.h"
#include "VirtualPort.h"
#include "WindowDriver.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>

#include <jack/jack.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <fcntl.h>
#include <fstream>
#include <memory>
#include <mutex>
#include <sstream>
#include <string>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <utility>
#include <vector>

// tavrin-sim (or another program) as a process of its own, its output in a log file. It dies with the
// test process and is stopped when the object goes away.
class SimProcess
{
public:
    SimProcess(const std::vector<std::string> &arguments, const std::string &logPath,
        const char *program = TAVRIN_SIM_PATH)
        : logPath(logPath)
    {
        std::vector<std::string> all{program};
        all.insert(all.end(), arguments.begin(), arguments.end());
        std::vector<char *> argv;
        for (std::string &argument : all)
            argv.push_back(argument.data());
        argv.push_back(nullptr);
        pid = fork();
        if (pid == 0) {
            prctl(PR_SET_PDEATHSIG, SIGKILL);
            const int log = ::open(logPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
            dup2(log, STDOUT_FILENO);
            dup2(log, STDERR_FILENO);
            execv(argv[0], argv.data());
            _exit(127);
        }
    }

    ~SimProcess() { stop(); }

    SimProcess(const SimProcess &) = delete;
    SimProcess &operator=(const SimProcess &) = delete;

    // Asks the unit to save and quit, as Ctrl+C or a shutdown would, and kills it if it does not; its
    // exit status, or -1 when it had to be killed. A unit that quits closes its JACK clients, so the
    // server keeps no trace of it.
    int stop(int signal = SIGTERM)
    {
        if (pid > 0)
            kill(pid, signal);
        return finish();
    }

    void signal(int signal) const { kill(pid, signal); }

    // Waits for the process to end by itself; kills it after five minutes, which a whole batch update
    // under a sanitizer may take (a unit that goes silent ends it after 10 s).
    int finish()
    {
        if (pid <= 0)
            return -1;
        int status = 0;
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::minutes(5);
        while (waitpid(pid, &status, WNOHANG) == 0) {
            if (std::chrono::steady_clock::now() > deadline) {
                kill(pid, SIGKILL);
                waitpid(pid, &status, 0);
                pid = -1;
                return -1;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        pid = -1;
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }

    std::string log() const
    {
        std::ifstream file(logPath);
        std::ostringstream text;
        text << file.rdbuf();
        return text.str();
    }

private:
    std::string logPath;
    pid_t pid = -1;
};

// Connects pairs of JACK ports, each given as (from, to) by full name.
inline bool connectJackPorts(const std::vector<std::pair<const char *, const char *>> &connections)
{
    jack_client_t *client = JackServerLock::openClient("Patch");
    if (!client)
        return false;
    bool connected = true;
    for (const auto &connection : connections)
        connected = connected && jack_connect(client, connection.first, connection.second) == 0;
    JackServerLock::closeClient(client);
    return connected;
}

// The transport alone: a bare JACK client sends a message of the size of a page piece to a JACK client
// that answers within the cycle, as tavrin-sim does, and waits for the short answer before the next.
class BareRoundTrip
{
public:
    BareRoundTrip()
    {
        echo.open(
            "Answer",
            [this](const std::uint8_t *, std::size_t) {
                static constexpr std::uint8_t ack[]
                    = {0xF0, 0x00, 0x11, 0x22, 0x0A, 0x00, 0x00, 0x00, 0x00, 0x2C, 0x00, 0xF7};
                echo.send(ack, sizeof ack);
            },
            VirtualPort::Choice::Jack);
        probe.open(
            "Probe",
            [this](const std::uint8_t *, std::size_t) {
                std::lock_guard<std::mutex> lock(mutex);
                ++answers;
                answered.notify_one();
            },
            VirtualPort::Choice::Jack);
        connectJackPorts({{"Probe:out", "Answer:in"}, {"Answer:out", "Probe:in"}});
    }

    // Round trips per second over `count` trips; 0 when an answer does not come.
    double perSecond(int count)
    {
        std::vector<unsigned char> piece(92, 0x55);
        piece.front() = 0xF0;
        piece.back() = 0xF7;
        const auto start = std::chrono::steady_clock::now();
        for (int i = 1; i <= count; ++i) {
            probe.send(piece.data(), piece.size());
            std::unique_lock<std::mutex> lock(mutex);
            if (!answered.wait_for(lock, std::chrono::seconds(2), [&] { return answers >= i; }))
                return 0;
        }
        return count / std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    }

private:
    // The answer count outlives the clients whose cycles update it.
    std::mutex mutex;
    std::condition_variable answered;
    int answers = 0;
    VirtualPort echo;
    VirtualPort probe;
};

inline Bytes embeddedImage()
{
    QFile file(QStringLiteral(":/data/resourcesNAND.bin"));
    if (!file.open(QIODevice::ReadOnly))
        return {};
    const QByteArray bytes = file.readAll();
    return Bytes(bytes.begin(), bytes.end());
}

inline Bytes readFile(const std::string &path)
{
    QFile file(QString::fromStdString(path));
    if (!file.open(QIODevice::ReadOnly))
        return {};
    const QByteArray bytes = file.readAll();
    return Bytes(bytes.begin(), bytes.end());
}

// The expected NAND's data area in the layout of tavrin-sim's dump: 2048 bytes per page, block by block,
// 0xFF in pages that are not written.
inline Bytes dataArea(const expect::Nand &nand)
{
    Bytes area(std::size_t(expect::Blocks) * expect::BlockBytes, 0xFF);
    for (const auto &page : nand.written) {
        for (int k = 0; k < 8; ++k) {
            const auto sector = page.second.begin() + expect::HeadBytes + k * expect::Stride;
            std::copy_n(sector, expect::SectorBytes,
                area.begin() + std::size_t(page.first) * expect::PageBytes + k * expect::SectorBytes);
        }
    }
    return area;
}

// Where two data areas first differ, or an empty text when they are equal.
inline std::string firstDifference(const Bytes &dump, const Bytes &expected)
{
    if (dump.size() != expected.size())
        return "the dump has " + std::to_string(dump.size()) + " bytes, expected "
            + std::to_string(expected.size());
    const auto at = std::mismatch(dump.begin(), dump.end(), expected.begin()).first - dump.begin();
    if (std::size_t(at) == dump.size())
        return {};
    return "block " + std::to_string(at / expect::BlockBytes) + " page "
        + std::to_string(at % expect::BlockBytes / expect::PageBytes) + " differs at byte "
        + std::to_string(at % expect::PageBytes);
}

inline std::vector<Bytes> erasedBlock()
{
    return std::vector<Bytes>(expect::Pages, Bytes(expect::FrameBytes, 0xFF));
}

// Tests that drive the window through updates against tavrin-sim on one MIDI system ("alsa", "jack").
class SimulatedUnitTest : public testing::Test
{
protected:
    explicit SimulatedUnitTest(const char *midi)
        : midi(midi)
    {
    }

    static constexpr int PortsMilliseconds = 30000;
    static constexpr int ConnectMilliseconds = 30000;
    // The pass is given up when no reply came for this long; the window itself stops after 10 s of silence.
    static constexpr int QuietMilliseconds = 60000;

    static QString unitPorts() { return QStringLiteral("Tavrin (simulated)"); }

    std::string path(const char *name) const { return dir.filePath(QString::fromLatin1(name)).toStdString(); }

    // Starts tavrin-sim and waits until its ports are listed.
    std::unique_ptr<SimProcess> startUnit(std::vector<std::string> arguments)
    {
        arguments.insert(arguments.end(), {"--midi", midi, "--dump", path("nand.bin")});
        auto unit = std::make_unique<SimProcess>(arguments, path("sim.log"));
        if (!WindowDriver::waitForDevice(unitPorts(), PortsMilliseconds))
            ADD_FAILURE() << "the simulated unit's ports did not appear:\n" << unit->log();
        return unit;
    }

    // A window that lists the unit's ports, driven through its buttons through one complete update.
    // Updates that test something else keep the requests they always had; read-back runs once per MIDI
    // system, in verifiedUpdateAroundSilentFaults().
    WindowDriver::Pass update(MainWindow &window, SimProcess &unit, bool verify = false)
    {
        window.init();
        window.VerifyCheckBox->setChecked(verify);
        WindowDriver driver(window);
        EXPECT_TRUE(driver.selectPorts(unitPorts()));
        EXPECT_TRUE(driver.connectUnit(ConnectMilliseconds)) << unit.log();
        if (driver.connectAttempts > 1)
            std::printf("connected at attempt %d\n", driver.connectAttempts);
        const WindowDriver::Pass pass = driver.runUpdate(QuietMilliseconds);
        std::printf("update over %s: %d replies in %.1f s, %.0f round trips/s, %d retries\n", midi,
            pass.replies, pass.milliseconds / 1000.0,
            pass.replies * 1000.0 / std::max<qint64>(1, pass.milliseconds), pass.retries);
        return pass;
    }

    // Two blocks and a few pages: a pass of under two seconds over real MIDI.
    static Bytes smallImage()
    {
        return expect::patternImage(2 * expect::BlockBytes + 5 * expect::PageBytes + 77);
    }

    QString writeImage(const Bytes &image)
    {
        QFile file(dir.filePath(QStringLiteral("image.bin")));
        if (!file.open(QIODevice::WriteOnly))
            ADD_FAILURE() << "cannot write " << file.fileName().toStdString();
        file.write(reinterpret_cast<const char *>(image.data()), qint64(image.size()));
        return file.fileName();
    }

    // A complete update of the small image on a unit whose program of the image's middle page fails,
    // then a second on the saved NAND, whose programs no longer fail: the updater reads the list in page 1
    // that names the failed block, writes the image around it again and adds no list. Both dumps are
    // compared whole.
    void updateAroundAFailedProgramThenOnTheSavedState()
    {
        expect::Scenario scenario;
        scenario.image = smallImage();
        const QString imageFile = writeImage(scenario.image);
        const int middle = expect::imagePages(scenario.image) / 2;
        const int failedBlock = 1 + middle / expect::Pages;
        const int failedPage = middle % expect::Pages;
        scenario.programFailures = {{failedBlock, failedPage}};
        const Bytes expectedArea = dataArea(expect::expectedNand(scenario, erasedBlock()));
        {
            auto unit = startUnit({"--state", path("state.bin"), "--fail-program",
                std::to_string(failedBlock) + ":" + std::to_string(failedPage)});
            MainWindow window;
            window.engine.imagePath = imageFile;
            ASSERT_TRUE(update(window, *unit).completed);
            EXPECT_EQ(unit->stop(SIGINT), 0) << unit->log();
            EXPECT_EQ(firstDifference(readFile(path("nand.bin")), expectedArea), "");
        }

        auto unit = startUnit({"--state", path("state.bin")});
        MainWindow window;
        window.engine.imagePath = imageFile;
        ASSERT_TRUE(update(window, *unit).completed);
        EXPECT_EQ(unit->stop(), 0) << unit->log();
        EXPECT_EQ(window.engine.bblPage, 1);
        EXPECT_EQ(window.engine.badBlocks[failedBlock], 1);
        EXPECT_FALSE(window.engine.newBadBlocks);
        EXPECT_EQ(firstDifference(readFile(path("nand.bin")), expectedArea), "");
    }

    // tavrin-update --batch --json on the ports that carry `name`, without a display; verified or not.
    std::unique_ptr<SimProcess> startBatch(const std::string &name, const std::string &logName, bool verify)
    {
        unsetenv("DISPLAY");
        unsetenv("QT_QPA_PLATFORM");
        std::vector<std::string> arguments{"--batch", "--json", "--in", name, "--out", name};
        if (!verify)
            arguments.emplace_back("--no-verify");
        return std::make_unique<SimProcess>(arguments, path(logName.c_str()), TAVRIN_UPDATE_PATH);
    }

    // The JSON events in a batch run's output, in their order.
    static std::vector<QJsonObject> events(const std::string &log)
    {
        std::vector<QJsonObject> result;
        std::istringstream lines(log);
        for (std::string line; std::getline(lines, line);) {
            const QJsonDocument event = QJsonDocument::fromJson(QByteArray::fromStdString(line));
            if (event.isObject())
                result.push_back(event.object());
        }
        return result;
    }

    // A verified update of two blocks and a few pages on a unit whose status replies hide two faults: a
    // bit of block 1 flips once, and a program in block 2 leaves its page erased. The read-back writes
    // block 1 again in place and retires block 2; the dump is compared whole.
    void verifiedUpdateAroundSilentFaults()
    {
        expect::Scenario scenario;
        scenario.image = smallImage();
        scenario.silentFailures = {{2, 30}};
        auto unit = startUnit({"--flip-bit", "1:10", "--silent-fail", "2:30"});
        MainWindow window;
        window.engine.imagePath = writeImage(scenario.image);
        ASSERT_TRUE(update(window, *unit, true).completed);
        EXPECT_EQ(unit->stop(), 0) << unit->log();
        EXPECT_TRUE(window.LogText->toPlainText().contains(QStringLiteral(" blocks, verified, ")));
        EXPECT_EQ(firstDifference(
                      readFile(path("nand.bin")), dataArea(expect::expectedNand(scenario, erasedBlock()))),
            "");
    }

    const char *midi;
    QTemporaryDir dir;
};
