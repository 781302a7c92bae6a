#include "processgroup.h"

#include <QProcess>

#include <csignal>
#include <sys/prctl.h>
#include <unistd.h>

namespace Platform {

void startsOwnProcessGroup(QProcess &process)
{
    process.setChildProcessModifier([] {
        setpgid(0, 0);
        // Should the program die, even by SIGKILL, the child is told to end: GNU make passes
        // SIGTERM on to the compilers it runs.
        prctl(PR_SET_PDEATHSIG, SIGTERM);
    });
}

void killProcessGroup(qint64 processId)
{
    if (processId > 0)
        ::kill(-pid_t(processId), SIGKILL);
}

} // namespace Platform
