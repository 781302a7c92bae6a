#include "crashguard.h"

#include <QDateTime>
#include <QFile>
#include <QStringList>

#include <csetjmp>
#include <csignal>
#include <cstring>
#include <execinfo.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace {

const int guardedSignals[] = {SIGSEGV, SIGBUS, SIGILL, SIGFPE, SIGABRT};
constexpr int maxFrames = 64;

struct PendingCrash
{
    int signal = 0;
    quintptr address = 0;
    void *frames[maxFrames];
    int frameCount = 0;
};

std::vector<sigjmp_buf *> regions;
PendingCrash pending;
bool handlersInstalled = false;

void onFatalSignal(int sig, siginfo_t *info, void *)
{
    if (regions.empty()) {
        // Nothing guards this point: let the system end the process as usual.
        signal(sig, SIG_DFL);
        raise(sig);
        return;
    }
    pending.signal = sig;
    pending.address = info ? reinterpret_cast<quintptr>(info->si_addr) : 0;
    pending.frameCount = backtrace(pending.frames, maxFrames);
    siglongjmp(*regions.back(), 1);
}

void installHandlers()
{
    if (handlersInstalled)
        return;
    handlersInstalled = true;
    // The first backtrace() loads the unwinder; do it now, not inside a signal handler.
    void *warmUp[2];
    backtrace(warmUp, 2);

    // A separate stack lets a stack overflow still reach the handler.
    static std::vector<char> altStack(1 << 16);
    stack_t ss;
    std::memset(&ss, 0, sizeof ss);
    ss.ss_sp = altStack.data();
    ss.ss_size = altStack.size();
    sigaltstack(&ss, nullptr);

    struct sigaction action;
    std::memset(&action, 0, sizeof action);
    action.sa_sigaction = onFatalSignal;
    action.sa_flags = SA_SIGINFO | SA_ONSTACK | SA_NODEFER;
    sigemptyset(&action.sa_mask);
    for (int sig : guardedSignals)
        sigaction(sig, &action, nullptr);
}

CrashReport takePendingReport()
{
    CrashReport report;
    report.signal = pending.signal;
    report.address = pending.address;
    char **symbols = backtrace_symbols(pending.frames, pending.frameCount);
    for (int i = 0; i < pending.frameCount; ++i) {
        report.backtrace.append(symbols ? QString::fromLocal8Bit(symbols[i])
                                        : QString::number(quintptr(pending.frames[i]), 16));
    }
    free(symbols);
    pending = PendingCrash();
    return report;
}

} // namespace

bool CrashGuard::run(const std::function<void()> &body,
                     const Filter &filter,
                     const std::function<void()> &handler)
{
    installHandlers();
    sigjmp_buf region;
    const std::size_t depth = regions.size();
    if (sigsetjmp(region, 1) == 0) {
        regions.push_back(&region);
        body();
        regions.resize(depth);
        return true;
    }
    // Back from a fatal signal: this region and any inner one it interrupted are over.
    regions.resize(depth);
    const CrashReport report = takePendingReport();
    if (filter)
        filter(report);
    if (handler)
        handler();
    return false;
}

bool CrashGuard::writeDump(const QString &fileName,
                           const CrashReport &report,
                           const QString &comment,
                           bool *created)
{
    // The dump goes where the program was started, which may be a folder an archive brought: a
    // link there of that name would have it written over a file elsewhere (the user's start
    // file), and a FIFO would hold the crashed program for ever. Only a plain file is written.
    const int descriptor = ::open(QFile::encodeName(fileName).constData(),
                                  O_WRONLY | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC,
                                  0644);
    struct stat status
    {};
    QFile file;
    const bool opened = descriptor >= 0 && ::fstat(descriptor, &status) == 0
                        && S_ISREG(status.st_mode) && ::ftruncate(descriptor, 0) == 0
                        && file.open(descriptor, QIODevice::WriteOnly, QFileDevice::AutoCloseHandle);
    if (created)
        *created = opened;
    if (!opened) {
        if (descriptor >= 0)
            ::close(descriptor);
        return false;
    }
    QByteArray text;
    text += "DYX Studio crash dump\n";
    text += "Time: " + QDateTime::currentDateTimeUtc().toString(Qt::ISODate).toLatin1() + '\n';
    text += "Process: " + QByteArray::number(qint64(getpid())) + '\n';
    text += "Signal: " + QByteArray::number(report.signal) + " ("
            + QByteArray(strsignal(report.signal)) + ")\n";
    text += "Address: 0x" + QByteArray::number(qulonglong(report.address), 16) + '\n';
    text += "Comment: " + comment.toLatin1() + '\n';
    text += "\nBacktrace:\n";
    for (const QString &frame : report.backtrace)
        text += "  " + frame.toLocal8Bit() + '\n';
    text += "\nMemory map:\n";
    QFile maps(QStringLiteral("/proc/self/maps"));
    if (maps.open(QIODevice::ReadOnly))
        text += maps.readAll();
    const bool written = file.write(text) == text.size() && file.flush();
    file.close();
    return written;
}
