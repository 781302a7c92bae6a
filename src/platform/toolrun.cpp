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

QString withoutTerminalControls(const QString &line)
{
    if (std::none_of(line.begin(), line.end(), isControlCharacter))
        return line;
    QString text;
    text.reserve(line.size());
    EscapeSequence escape;
    for (const QChar c : line) {
        if (!escape.take(c) && !isControlCharacter(c))
            text += c;
    }
    return text;
}

bool EscapeSequence::take(QChar c)
{
    m_controlEnd = QChar();
    const char16_t u = c.unicode();
    if (m_sequence.isEmpty()) {
        if (u != 0x1B)
            return false;
        m_sequence = c;
        return true;
    }
    if (m_sequence.size() == 1 && c == QLatin1Char('[')) {
        m_sequence += c;
        return true;
    }
    const bool control = m_sequence.size() > 1 && m_sequence.at(1) == QLatin1Char('[');
    const char16_t lastInside = control ? 0x3F : 0x2F;
    if (u >= 0x20 && u <= lastInside) {
        if (m_sequence.size() < maxChars)
            m_sequence += c;
        return true;
    }
    m_parameters = m_sequence.mid(2);
    m_sequence.clear();
    if (u > lastInside && u <= 0x7E) {
        if (control)
            m_controlEnd = c;
        return true;
    }
    return false;
}

} // namespace Platform
