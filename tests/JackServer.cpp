#include "JackServer.h"

#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

pid_t spawn(const char *const argv[], bool dieWithParent)
{
    const pid_t pid = fork();
    if (pid == 0) {
        if (dieWithParent)
            prctl(PR_SET_PDEATHSIG, SIGKILL);
        const int devnull = ::open("/dev/null", O_RDWR);
        dup2(devnull, STDOUT_FILENO);
        dup2(devnull, STDERR_FILENO);
        execvp(argv[0], const_cast<char *const *>(argv));
        _exit(127);
    }
    return pid;
}

int waitFor(pid_t pid)
{
    int status = 0;
    waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

} // namespace

JackServer::JackServer()
    : serverName("tavrin-test-" + std::to_string(getpid()))
{
    setenv("JACK_DEFAULT_SERVER", serverName.c_str(), 1);
    // Synchronous mode and a long client time-out: without them the dummy driver drops MIDI events
    // when the machine is busy.
    const char *const jackd[]
        = {"jackd", "-S", "-t", "100", "-d", "dummy", "-r", "48000", "-p", "16", nullptr};
    server = spawn(jackd, true);
    const char *const wait[] = {"jack_wait", "-w", "-t", "5", nullptr};
    ready = server > 0 && waitFor(spawn(wait, true)) == 0;
}

JackServer::~JackServer()
{
    if (server > 0) {
        kill(server, SIGTERM);
        waitFor(server);
    }
    unsetenv("JACK_DEFAULT_SERVER");
}
