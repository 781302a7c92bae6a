#include "processgroup.h"

#include <QProcess>

#include <csignal>
#include <unistd.h>

namespace Platform {

void startsOwnProcessGroup(QProcess &process)
{
    process.setChildProcessModifier([] { setpgid(0, 0); });
}

void killProcessGroup(qint64 processId)
{
    if (processId > 0)
        ::kill(-pid_t(processId), SIGKILL);
}

} // namespace Platform
