#pragma once

#include "PassReport.h"
#include "SimOptions.h"
#include "SimulatedUnit.h"
#include "VirtualPort.h"

#include <chrono>
#include <condition_variable>
#include <csignal>
#include <deque>
#include <mutex>
#include <ostream>
#include <random>
#include <string>

// The simulated unit as a program of its own: a SimulatedUnit behind virtual MIDI ports, with its NAND
// kept in a state file and a log of every pass. Requests are answered on the thread that calls serve(),
// never on the MIDI system's thread, which must not wait for files being written.
class StandaloneUnit
{
public:
    static constexpr const char *ClientName = "Tavrin (simulated)";

    StandaloneUnit(const SimOptions &options, std::ostream &log);

    // Loads the state, sets up the faults and the identity, and opens the ports. False when one of
    // them fails; the log says why.
    bool start();

    // Answers requests until `stop` is set, then closes the ports and saves the state and the dump.
    // Returns the exit status: 0 when no error was found in what the updater sent.
    int serve(const volatile std::sig_atomic_t &stop);

private:
    using Message = SimulatedUnit::Message;
    using Clock = std::chrono::steady_clock;

    void receive(const std::uint8_t *bytes, std::size_t size);
    void answer(const Message &request);
    void send(const std::vector<Message> &replies);
    void startPass(const SimulatedUnit::Stats &before);
    void endPass(const SimulatedUnit::Stats &now, PassReport::End end);
    void reportNewErrors();
    bool persist();
    void say(const std::string &line);

    const SimOptions options;
    std::ostream &log;
    SimulatedUnit unit;
    VirtualPort port;

    std::mutex inboxMutex;
    std::condition_variable arrived;
    std::deque<Message> inbox;

    bool randomLoss = false;
    std::mt19937 random;
    std::bernoulli_distribution loss;
    int randomLosses = 0;

    bool passOpen = false;
    int passNumber = 0;
    int passesFinished = 0;
    SimulatedUnit::Stats passStart;
    std::size_t passErrorsStart = 0;
    int passRandomLossesStart = 0;
    int passErrorsHidden = 0;
    Clock::time_point passClock;
    std::size_t errorsReported = 0;
    bool filesFailed = false;
};
