#include "BuildInfo.h"
#include "SimOptions.h"
#include "StandaloneUnit.h"

#include <csignal>
#include <iostream>
#include <pthread.h>

namespace {

volatile std::sig_atomic_t stopRequested = 0;

void requestStop(int)
{
    stopRequested = 1;
}

} // namespace

int main(int argc, char *argv[])
{
    SimOptions options;
    std::string error;
    if (!SimOptions::parse(std::vector<std::string>(argv + 1, argv + argc), options, error)) {
        std::cerr << "tavrin-sim: " << error << "\nTry 'tavrin-sim --help'.\n";
        return 2;
    }
    if (options.help) {
        std::cout << SimOptions::usage();
        return 0;
    }
    if (options.showVersion) {
        std::cout << "tavrin-sim " << BuildInfo::Version << '\n';
        return 0;
    }

    struct sigaction action = {};
    action.sa_handler = requestStop;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
    // The MIDI system's threads, started while the ports open, inherit the blocked signals; so the stop
    // request reaches this thread, which saves the NAND.
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGINT);
    sigaddset(&stopSignals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);

    StandaloneUnit unit(options, std::cout);
    const bool started = unit.start();
    pthread_sigmask(SIG_UNBLOCK, &stopSignals, nullptr);
    if (!started)
        return 1;
    return unit.serve(stopRequested);
}
