#include "JackServer.h"

#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

// The child gets `signal` when the test process dies, however it dies.
pid_t spawn(const char *const argv[], int signal)
{
    const pid_t pid = fork();
    if (pid == 0) {
        prctl(PR_SET_PDEATHSIG, signal);
        const int devnull = ::open("/dev/null", O_RDWR);
        dup2(devnull, STDOUT_FILENO);
        dup2(devnull, STDERR_FILENO);
        execvp(argv[0], const_cast<char *const *>(argv));
        _exit(127);
    }
    return pid;
}

constexpr int NamePool = 4;

// Takes the first free name of the pool; the lock goes with the process, however it ends.
int lockServerName(std::string &name)
{
    for (int slot = 0; slot < NamePool; ++slot) {
        const std::string candidate = "tavrin-test-" + std::to_string(slot);
        const int lock = ::open(("/tmp/" + candidate + ".lock").c_str(), O_CREAT | O_RDWR | O_CLOEXEC, 0600);
        if (lock >= 0 && flock(lock, LOCK_EX | LOCK_NB) == 0) {
            name = candidate;
            return lock;
        }
        if (lock >= 0)
            ::close(lock);
    }
    return -1;
}

int waitFor(pid_t pid)
{
    int status = 0;
    waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// Asks the server to stop and kills it when it has not stopped within three seconds.
void stop(pid_t pid)
{
    kill(pid, SIGTERM);
    for (int wait = 0; wait < 300; ++wait) {
        if (waitpid(pid, nullptr, WNOHANG) == pid)
            return;
        usleep(10000);
    }
    kill(pid, SIGKILL);
    waitpid(pid, nullptr, 0);
}

} // namespace

JackServer::JackServer()
    : nameLock(lockServerName(serverName))
{
    if (nameLock < 0)
        return;
    setenv("JACK_DEFAULT_SERVER", serverName.c_str(), 1);
    // Synchronous mode and a long client time-out: without them the dummy driver drops MIDI events
    // when the machine is busy.
    const char *const jackd[]
        = {"jackd", "-S", "-t", "100", "-d", "dummy", "-r", "48000", "-p", "16", nullptr};
    // Terminated rather than killed with a crashed test, so that it leaves JACK's registry.
    server = spawn(jackd, SIGTERM);
    const char *const wait[] = {"jack_wait", "-w", "-t", "5", nullptr};
    ready = server > 0 && waitFor(spawn(wait, SIGKILL)) == 0;
}

void JackServer::kill(int signal)
{
    if (server <= 0)
        return;
    ::kill(server, signal);
    waitpid(server, nullptr, 0);
    server = -1;
}

void JackServer::signal(int signal)
{
    if (server > 0)
        ::kill(server, signal);
}

JackServer::~JackServer()
{
    if (server > 0)
        stop(server);
    if (nameLock >= 0) {
        ::close(nameLock);
        unsetenv("JACK_DEFAULT_SERVER");
    }
}
