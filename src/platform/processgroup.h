#pragma once

#include <QtGlobal>

class QProcess;

namespace Platform {

// Starts a process as the leader of a process group of its own, so that everything it starts
// in turn (the compilers a make runs) can be stopped with it, and keeps watch over that group
// for as long as the object lives: when it goes, or the program ends in any way at all (even
// killed), whatever is left of the group is ended. Create it before the process starts.
class ProcessGroupWatch
{
public:
    explicit ProcessGroupWatch(QProcess &process);
    ~ProcessGroupWatch();

    ProcessGroupWatch(const ProcessGroupWatch &) = delete;
    ProcessGroupWatch &operator=(const ProcessGroupWatch &) = delete;

private:
    // The program holds the only writing end of a pipe; a watcher in the group waits for its
    // end of file.
    int m_readEnd = -1;
    int m_writeEnd = -1;
};

// The process is sent `signal` when the thread that starts it (the program's main thread)
// ends, however it ends (kill -9 included); one whose starter is already gone does not run.
// Set before the process starts; it replaces any other start-up step of the process.
void endWithStarter(QProcess &process, int signal);

// Whether no process with that id runs any more (one of another user's still runs).
bool processHasEnded(qint64 processId);

// Ends the process group that the process with this id leads, at once.
void killProcessGroup(qint64 processId);

// Asks the process group that the process with this id leads to end (make then removes what
// it was in the middle of making).
void stopProcessGroup(qint64 processId);

} // namespace Platform
