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
// kept in a state file and a log of every pass. Requests are answered at once on the MIDI system's
// thread, so a reply can leave in the same cycle; that thread must not wait for files or the log, so the
// thread that calls serve() writes both, and answers the requests that arrive meanwhile.
class StandaloneUnit
{
public:
    static constexpr const char *ClientName = SimOptions::DefaultName;

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

    bool prepare();
    void receive(const std::uint8_t *bytes, std::size_t size);
    void answer(const Message &request);
    void completePasses();
    void answerLate();
    void send(const std::vector<Message> &replies);
    void startPass(const SimulatedUnit::Stats &before);
    void endPass(const SimulatedUnit::Stats &now, PassReport::End end);
    void reportNewErrors();
    bool persist();
    void say(const std::string &line);
    void writeLog();

    const SimOptions options;
    std::ostream &log;
    VirtualPort port;

    // Lock order: unitMutex, then inboxMutex.
    std::mutex unitMutex; // the unit, the pass bookkeeping and sending
    SimulatedUnit unit;
    bool finishPending = false; // a pass ended: files first, then its replies
    std::vector<Message> heldReplies;

    std::mutex inboxMutex;
    std::condition_variable arrived;
    bool deferring = false; // requests wait in the inbox until the files are written
    std::deque<Message> inbox;
    // With a latency, every request waits here and is answered by serve()'s thread when it is due.
    std::deque<std::pair<Clock::time_point, Message>> lateRequests;
    std::deque<std::string> lines;

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
