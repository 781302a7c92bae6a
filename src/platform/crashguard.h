#pragma once

#include <QStringList>

#include <functional>

// What was known about a fatal signal when it arrived.
struct CrashReport
{
    int signal = 0;
    quintptr address = 0;
    QStringList backtrace;
};

// Guards regions of the run against fatal signals (SIGSEGV, SIGBUS, SIGILL, SIGFPE, SIGABRT).
// A signal raised inside a region returns control to the region's start; the filter runs
// first (it writes the dump and tells the user), then the region's handler. Regions nest: a
// signal reaches the innermost region that is running.
class CrashGuard
{
public:
    using Filter = std::function<void(const CrashReport &)>;

    // Runs body inside a guarded region. Returns true when body finished normally and false
    // when a fatal signal ended it, after filter and handler have run.
    static bool run(const std::function<void()> &body,
                    const Filter &filter,
                    const std::function<void()> &handler);

    // Writes a dump of this process to fileName: the signal, the faulting address, the
    // backtrace, the memory map and the comment. Always overwrites; false when the file
    // cannot be created or not all of it written (created then tells which).
    static bool writeDump(const QString &fileName,
                          const CrashReport &report,
                          const QString &comment,
                          bool *created = nullptr);
};
