#include "processgroup.h"

#include <QProcess>

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <sys/prctl.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace Platform {

namespace {

// The watcher: a shell in the new group that reads its input, the pipe, until the program lets
// go of it (closed it, or died), then ends the whole group, itself included. Nothing is ever
// written: only the end of file ends the reading.
const char *const watcherArguments[] = {"sh",
                                        "-c",
                                        "while read -r _; do :; done; kill -s KILL 0",
                                        nullptr};
const char *const noEnvironment[] = {nullptr};

// Runs between the fork of the process and the start of its program: only calls that are
// safe there. The watcher starts by vfork and exec, so that no copy of the program's memory
// lives beside it while the build runs (one did: every page the program wrote meanwhile was
// copied, and a build with nothing to do took half as long again).
void startWatcher(int readEnd)
{
    if (vfork() != 0)
        return;
    // Between vfork and exec the child shares the memory of the process: system calls only.
    if (dup2(readEnd, STDIN_FILENO) < 0)
        _exit(127);
    const int null = open("/dev/null", O_WRONLY);
    if (null < 0 || dup2(null, STDOUT_FILENO) < 0 || dup2(null, STDERR_FILENO) < 0)
        _exit(127);
    // Nothing else open: neither make's pipes nor the program's files.
    if (syscall(SYS_close_range, 3U, ~0U, 0U) != 0) {
        for (int fd = 3; fd < 4096; ++fd)
            close(fd);
    }
    execve("/bin/sh",
           const_cast<char *const *>(watcherArguments),
           const_cast<char *const *>(noEnvironment));
    _exit(127);
}

} // namespace

ProcessGroupWatch::ProcessGroupWatch(QProcess &process)
{
    int ends[2];
    if (pipe2(ends, O_CLOEXEC) == 0) {
        m_readEnd = ends[0];
        m_writeEnd = ends[1];
    }
    // Both ends close on exec: the process's program holds neither, the watcher only what it
    // reads from.
    const int readEnd = m_readEnd;
    process.setChildProcessModifier([readEnd] {
        setpgid(0, 0);
        if (readEnd >= 0)
            startWatcher(readEnd);
    });
}

ProcessGroupWatch::~ProcessGroupWatch()
{
    if (m_readEnd >= 0)
        close(m_readEnd);
    if (m_writeEnd >= 0)
        close(m_writeEnd);
}

void endWithStarter(QProcess &process, int signal)
{
    const pid_t starter = getpid();
    process.setChildProcessModifier([starter, signal] {
        prctl(PR_SET_PDEATHSIG, signal);
        if (getppid() != starter)
            _exit(127);
    });
}

bool processHasEnded(qint64 processId)
{
    return processId > 0 && ::kill(pid_t(processId), 0) != 0 && errno == ESRCH;
}

void killProcessGroup(qint64 processId)
{
    if (processId > 0)
        ::kill(-pid_t(processId), SIGKILL);
}

void stopProcessGroup(qint64 processId)
{
    if (processId > 0)
        ::kill(-pid_t(processId), SIGTERM);
}

} // namespace Platform
