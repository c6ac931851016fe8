#include "JackServer.h"
#include "MainWindow.h"
#include "StandaloneUnit.h"
#include "VirtualPort.h"
#include "WindowDriver.h"

#include <QApplication>

#include <jack/jack.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <sstream>
#include <thread>
#include <vector>

// Round trips of whole updates of the embedded image through the window and its MidiPort, over a
// private JACK server, against the simulated unit answering within the JACK cycle; beside them, a bare
// JACK client that sends its next request within the cycle in which the answer arrives, which is as
// fast as JACK carries round trips. Three runs of each, taken in turn; the medians and their ratio.
// Each run also times a verified update (every page read back) beside the unverified one.

namespace {

constexpr int Runs = 3;
constexpr auto HostSeconds = std::chrono::seconds(5);
// An update is given up after this long without a reply.
constexpr int QuietMilliseconds = 60000;

bool connectPorts(const std::vector<std::pair<const char *, const char *>> &connections)
{
    jack_client_t *client = jack_client_open("Patch", JackNoStartServer, nullptr);
    if (!client)
        return false;
    bool connected = true;
    for (const auto &connection : connections)
        connected = connected && jack_connect(client, connection.first, connection.second) == 0;
    jack_client_close(client);
    return connected;
}

// The bare host: its cycle takes each answer and sends the next request, a page piece's size, in the
// same cycle; the answering side acknowledges each request in its own cycle, as the unit does.
class InCycleHost
{
public:
    bool open()
    {
        static constexpr std::uint8_t ack[]
            = {0xF0, 0x00, 0x11, 0x22, 0x0A, 0x00, 0x00, 0x00, 0x00, 0x2C, 0x00, 0xF7};
        piece.assign(92, 0x55);
        piece.front() = 0xF0;
        piece.back() = 0xF7;
        return answer.open(
                   "Answer", [this](const std::uint8_t *, std::size_t) { answer.send(ack, sizeof ack); },
                   VirtualPort::Choice::Jack)
            && host.open(
                "Host",
                [this](const std::uint8_t *, std::size_t) {
                    ++answers;
                    if (running)
                        host.send(piece.data(), piece.size());
                },
                VirtualPort::Choice::Jack)
            && connectPorts({{"Host:out", "Answer:in"}, {"Answer:out", "Host:in"}});
    }

    // Round trips per second over a few seconds; the answer still under way settles before it returns.
    double perSecond()
    {
        answers = 0;
        running = true;
        const auto start = std::chrono::steady_clock::now();
        host.send(piece.data(), piece.size());
        std::this_thread::sleep_for(HostSeconds);
        const int count = answers;
        const auto end = std::chrono::steady_clock::now();
        running = false;
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        return count / std::chrono::duration<double>(end - start).count();
    }

private:
    std::vector<std::uint8_t> piece;
    std::atomic<bool> running{false};
    std::atomic<int> answers{0};
    VirtualPort answer;
    VirtualPort host;
};

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

} // namespace

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    JackServer server;
    if (!server.running()) {
        std::fprintf(stderr, "jackd did not start\n");
        return 1;
    }

    SimOptions options;
    options.midi = VirtualPort::Choice::Jack;
    std::ostringstream unitLog;
    StandaloneUnit unit(options, unitLog);
    if (!unit.start()) {
        std::fprintf(stderr, "%s", unitLog.str().c_str());
        return 1;
    }
    volatile std::sig_atomic_t stopUnit = 0;
    int unitStatus = 0;
    std::thread serving([&] { unitStatus = unit.serve(stopUnit); });

    InCycleHost host;
    const QString unitName = StandaloneUnit::ClientName;
    bool ready = host.open() && WindowDriver::waitForDevice(unitName, 5000);
    int status = ready ? 0 : 1;
    {
        MainWindow window;
        window.init();
        WindowDriver driver(window);
        ready = ready && driver.selectPorts(unitName) && driver.connectUnit(10000);
        std::vector<double> hostRates, windowRates, unverifiedSeconds, verifiedSeconds;
        auto runPass = [&](int run, bool verify) {
            window.VerifyCheckBox->setChecked(verify);
            const WindowDriver::Pass pass = driver.runUpdate(QuietMilliseconds);
            if (!pass.completed || pass.retries > 0) {
                std::fprintf(stderr, "run %d: the %s update did not complete cleanly (%d retries)\n", run,
                    verify ? "verified" : "unverified", pass.retries);
                status = 1;
            }
            (verify ? verifiedSeconds : unverifiedSeconds).push_back(pass.milliseconds / 1000.0);
            return pass;
        };
        for (int run = 1; ready && status == 0 && run <= Runs; ++run) {
            hostRates.push_back(host.perSecond());
            const WindowDriver::Pass pass = runPass(run, false);
            const WindowDriver::Pass verified = runPass(run, true);
            if (status != 0)
                break;
            windowRates.push_back(pass.replies * 1000.0 / double(std::max<qint64>(1, pass.milliseconds)));
            std::printf("run %d: in-cycle host %.0f round trips/s; window %.0f round trips/s (%d in %.1f s); "
                        "ratio %.3f; verified: %d in %.1f s, %.2f times as long\n",
                run, hostRates.back(), windowRates.back(), pass.replies, pass.milliseconds / 1000.0,
                windowRates.back() / hostRates.back(), verified.replies, verifiedSeconds.back(),
                verifiedSeconds.back() / unverifiedSeconds.back());
            std::fflush(stdout);
        }
        if (!ready) {
            std::fprintf(stderr, "the ports or the unit did not come up\n");
            status = 1;
        } else if (windowRates.size() == std::size_t(Runs)) {
            std::printf("median of %d: in-cycle host %.0f round trips/s; window %.0f round trips/s; "
                        "ratio %.3f\n",
                Runs, median(hostRates), median(windowRates), median(windowRates) / median(hostRates));
            std::printf("median of %d: unverified update %.1f s, verified %.1f s: %.2f times as long\n", Runs,
                median(unverifiedSeconds), median(verifiedSeconds),
                median(verifiedSeconds) / median(unverifiedSeconds));
        }
        window.engine.link.port.close();
    }
    stopUnit = 1;
    serving.join();
    if (unitStatus != 0) {
        std::fprintf(stderr, "the simulated unit found errors:\n%s", unitLog.str().c_str());
        status = 1;
    }
    return status;
}
