#include "toolrun.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QProcess>

namespace Platform {

namespace {

// The steps between which events are handled, and the time an asked tool has to end.
constexpr int waitStep = 250;
constexpr int killGrace = 1000;

} // namespace

ToolRun runTool(const QString &program,
                const QStringList &arguments,
                int timeoutMs,
                qint64 maxBytes,
                bool handleEvents)
{
    ToolRun run;
    QProcess process;
    process.setProcessChannelMode(QProcess::MergedChannels);
    const QDeadlineTimer deadline(timeoutMs);
    process.start(program, arguments);
    while (!run.started && !deadline.hasExpired()) {
        run.started = process.waitForStarted(int(qMin<qint64>(waitStep, deadline.remainingTime())));
        if (!run.started && process.error() == QProcess::FailedToStart)
            break;
        if (!run.started && handleEvents)
            QCoreApplication::processEvents();
    }
    if (!run.started) {
        process.kill();
        process.waitForFinished(killGrace);
        return run;
    }
    process.closeWriteChannel();
    // Read as it comes, so that no more than a pipe's worth waits beyond the bound.
    bool flooded = false;
    while (process.state() != QProcess::NotRunning && !deadline.hasExpired() && !flooded) {
        if (!process.waitForReadyRead(int(qMin<qint64>(waitStep, deadline.remainingTime())))
            && process.state() != QProcess::NotRunning && handleEvents)
            QCoreApplication::processEvents();
        run.output += process.read(maxBytes + 1 - run.output.size());
        flooded = run.output.size() > maxBytes;
    }
    if (process.state() != QProcess::NotRunning) {
        process.terminate();
        if (!process.waitForFinished(killGrace)) {
            process.kill();
            process.waitForFinished(killGrace);
        }
    } else if (!flooded) {
        run.output += process.read(maxBytes + 1 - run.output.size());
        flooded = run.output.size() > maxBytes;
        run.finished = !flooded && process.exitStatus() == QProcess::NormalExit;
    }
    run.output.truncate(int(maxBytes));
    return run;
}

} // namespace Platform
