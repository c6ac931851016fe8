#include "MainWindow.h"
#include "SimulatedDevice.h"

#include <benchmark/benchmark.h>

#include <QCoreApplication>
#include <QElapsedTimer>

#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <vector>

namespace {

constexpr const char *DeviceName = "Tavrin (benchmark)";

double peakResidentMiB()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss / 1024.0;
}

double residentMiB()
{
    long pages = 0, resident = 0;
    if (FILE *statm = std::fopen("/proc/self/statm", "r")) {
        if (std::fscanf(statm, "%ld %ld", &pages, &resident) != 2)
            resident = 0;
        std::fclose(statm);
    }
    return double(resident) * double(sysconf(_SC_PAGESIZE)) / (1024.0 * 1024.0);
}

int row(MidiPort &port, bool input)
{
    for (unsigned i = 0;; ++i) {
        const char16_t *name = input ? port.inputDeviceName(i) : port.outputDeviceName(i);
        if (!name)
            return -1;
        if (QString::fromUtf16(name) == QLatin1String(DeviceName))
            return int(i);
    }
}

bool runUntil(const std::function<bool()> &done)
{
    QElapsedTimer clock;
    clock.start();
    while (!done() && clock.elapsed() < 120000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    return done();
}

// One whole update of the embedded image, through the window, the MidiPort and the simulated unit,
// with the unit answering at once. Each iteration is one pass; the NAND holds a list in page 0, so
// every pass does the same work.
void WholeUpdate(benchmark::State &state)
{
    SimulatedDevice device(DeviceName);
    device.withUnit([](SimulatedUnit &u) {
        u.storeList(0, 0, {});
        return 0;
    });
    MainWindow window;
    window.init();
    // The engine's own pace, as measured before read-back came; jack_update_bench times both kinds.
    window.VerifyCheckBox->setChecked(false);
    window.MidiInList->setCurrentRow(row(window.engine.link.port, true));
    window.MidiOutList->setCurrentRow(row(window.engine.link.port, false));
    window.ConnectButton->click();
    if (!runUntil([&] { return window.connectionState == Connected; })) {
        state.SkipWithError("the simulated unit did not answer");
        return;
    }

    auto requests = [&] { return device.withUnit([](SimulatedUnit &u) { return u.stats().requests; }); };
    const int before = requests();
    // Resident memory after each pass; the log reaches its cap in the first passes, then it stays flat.
    std::vector<double> resident;
    for (auto _ : state) {
        window.TransferButton->click();
        if (!runUntil([&] { return window.ConnectButton->isEnabled(); })) {
            state.SkipWithError("the pass did not end");
            break;
        }
        resident.push_back(residentMiB());
    }
    const int roundTrips = requests() - before;
    const bool clean = device.withUnit([](SimulatedUnit &u) { return u.errors().empty(); });
    window.engine.link.port.close();
    if (!clean)
        state.SkipWithError("the simulated unit recorded errors");

    const auto half = resident.begin() + std::ptrdiff_t(resident.size() / 2);
    state.counters["round_trips"] = benchmark::Counter(roundTrips, benchmark::Counter::kAvgIterations);
    state.counters["round_trips_per_s"] = benchmark::Counter(roundTrips, benchmark::Counter::kIsRate);
    state.counters["peak_RSS_MiB"] = peakResidentMiB();
    if (!resident.empty()) {
        state.counters["RSS_first_pass_MiB"] = resident.front();
        state.counters["RSS_max_first_half_MiB"] = *std::max_element(resident.begin(), half + 1);
        state.counters["RSS_max_second_half_MiB"] = *std::max_element(half, resident.end());
    }
}
BENCHMARK(WholeUpdate)->Unit(benchmark::kMillisecond)->UseRealTime()->MeasureProcessCPUTime()->Iterations(12);

} // namespace
