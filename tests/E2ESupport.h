#pragma once

#include <rtmidi/RtMidi.h>

#include <chrono>
#include <condition_variable>
#include <csignal>
#include <cstdint>
#include <fcntl.h>
#include <fstream>
#include <mutex>
#include <sstream>
#include <string>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

// tavrin-sim as a process of its own, its output in a log file. It dies with the test process and is
// stopped when the object goes away.
class SimProcess
{
public:
    SimProcess(const std::vector<std::string> &arguments, const std::string &logPath)
        : logPath(logPath)
    {
        std::vector<std::string> all{TAVRIN_SIM_PATH};
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

    // Waits for the unit to end by itself; kills it after a minute.
    int finish()
    {
        if (pid <= 0)
            return -1;
        int status = 0;
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
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

// The transport alone: RtMidi clients on the same JACK server, one sending a message of the size of a
// page piece and waiting for the other's short answer before sending the next.
class BareRoundTrip
{
public:
    BareRoundTrip()
        : answerOut(RtMidi::UNIX_JACK, "Answer")
        , answerIn(RtMidi::UNIX_JACK, "Answer")
        , probeOut(RtMidi::UNIX_JACK, "Probe")
        , probeIn(RtMidi::UNIX_JACK, "Probe")
    {
        answerOut.openVirtualPort("out");
        answerIn.ignoreTypes(false, true, true);
        answerIn.setCallback(
            [](double, std::vector<unsigned char> *, void *out) {
                static constexpr unsigned char ack[]
                    = {0xF0, 0x00, 0x11, 0x22, 0x0A, 0x00, 0x00, 0x00, 0x00, 0x2C, 0x00, 0xF7};
                static_cast<RtMidiOut *>(out)->sendMessage(ack, sizeof ack);
            },
            &answerOut);
        answerIn.openVirtualPort("in");
        probeIn.ignoreTypes(false, true, true);
        probeIn.setCallback(
            [](double, std::vector<unsigned char> *, void *self) {
                auto *trip = static_cast<BareRoundTrip *>(self);
                std::lock_guard<std::mutex> lock(trip->mutex);
                ++trip->answers;
                trip->answered.notify_one();
            },
            this);
        probeIn.openPort(portOf(probeIn, "Answer", ":out"));
        probeOut.openPort(portOf(probeOut, "Answer", ":in"));
    }

    // Round trips per second over `count` trips; 0 when an answer does not come.
    double perSecond(int count)
    {
        std::vector<unsigned char> piece(92, 0x55);
        piece.front() = 0xF0;
        piece.back() = 0xF7;
        const auto start = std::chrono::steady_clock::now();
        for (int i = 1; i <= count; ++i) {
            probeOut.sendMessage(&piece);
            std::unique_lock<std::mutex> lock(mutex);
            if (!answered.wait_for(lock, std::chrono::seconds(2), [&] { return answers >= i; }))
                return 0;
        }
        return count / std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    }

private:
    static unsigned portOf(RtMidi &api, const std::string &client, const std::string &port)
    {
        for (unsigned i = 0; i < api.getPortCount(); ++i) {
            const std::string name = api.getPortName(i);
            if (name.rfind(client, 0) == 0 && name.find(port) != std::string::npos)
                return i;
        }
        return api.getPortCount();
    }

    // The answer count outlives the clients whose threads update it.
    std::mutex mutex;
    std::condition_variable answered;
    int answers = 0;
    // Each output exists before the input whose callback sends on it.
    RtMidiOut answerOut;
    RtMidiIn answerIn;
    RtMidiOut probeOut;
    RtMidiIn probeIn;
};
