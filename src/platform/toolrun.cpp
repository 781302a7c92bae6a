#include "toolrun.h"

#include <algorithm>

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

bool isControlCharacter(QChar c)
{
    const char16_t u = c.unicode();
    return (u < 0x20 && u != '\t') || (u >= 0x7F && u <= 0x9F);
}

// ESC, then characters 0x20 to 0x2F, then one from 0x30 to 0x7E; ESC [ (a control sequence),
// then parameters 0x30 to 0x3F and those 0x20 to 0x2F, then one from 0x40 to 0x7E.
QString withoutTerminalControls(const QString &line)
{
    if (std::none_of(line.begin(), line.end(), isControlCharacter))
        return line;
    QString text;
    text.reserve(line.size());
    for (qsizetype at = 0; at < line.size(); ++at) {
        const char16_t c = line.at(at).unicode();
        if (c == 0x1B) {
            qsizetype end = at + 1;
            const bool sequence = end < line.size() && line.at(end) == QLatin1Char('[');
            end += sequence ? 1 : 0;
            const char16_t lastInside = sequence ? 0x3F : 0x2F;
            while (end < line.size() && line.at(end).unicode() >= 0x20
                   && line.at(end).unicode() <= lastInside)
                ++end;
            // What ends it goes with it; one cut short by another character ends there.
            if (end < line.size() && line.at(end).unicode() > lastInside
                && line.at(end).unicode() <= 0x7E)
                ++end;
            at = end - 1;
            continue;
        }
        if (isControlCharacter(QChar(c)))
            continue;
        text += QChar(c);
    }
    return text;
}

} // namespace Platform
