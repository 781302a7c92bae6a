#include "processgroup.h"

#include <QProcess>

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <sys/prctl.h>
#include <unistd.h>

namespace Platform {

namespace {

// Runs in the new group, forked from the process before it starts its program: only calls
// that are safe after a fork. It waits until the program lets go of the pipe (it closed it,
// or it died), then ends the whole group, itself included.
[[noreturn]] void watchGroup(int readEnd)
{
    const int highest = int(sysconf(_SC_OPEN_MAX) > 0 ? sysconf(_SC_OPEN_MAX) : 1024);
    for (int fd = 0; fd < highest && fd < 4096; ++fd) {
        if (fd != readEnd)
            close(fd);
    }
    char byte;
    while (read(readEnd, &byte, 1) != 0) {
        // Nothing is ever written: only an interruption or the end of file ends a read.
    }
    kill(-getpgrp(), SIGKILL);
    _exit(0);
}

} // namespace

ProcessGroupWatch::ProcessGroupWatch(QProcess &process)
{
    int ends[2];
    if (pipe2(ends, O_CLOEXEC) == 0) {
        m_readEnd = ends[0];
        m_writeEnd = ends[1];
    }
    const int readEnd = m_readEnd;
    const int writeEnd = m_writeEnd;
    process.setChildProcessModifier([readEnd, writeEnd] {
        setpgid(0, 0);
        if (readEnd < 0)
            return;
        if (fork() == 0) {
            close(writeEnd);
            watchGroup(readEnd);
        }
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

} // namespace Platform
