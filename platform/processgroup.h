#pragma once

#include <QtGlobal>

class QProcess;

namespace Platform {

// Starts the process as the leader of a process group of its own, so that everything it
// starts in turn (the compilers a make runs) can be stopped with it. The process is sent
// SIGTERM when the program ends, however it ends.
void startsOwnProcessGroup(QProcess &process);
// Ends the process group that the process with this id leads, at once.
void killProcessGroup(qint64 processId);

} // namespace Platform
