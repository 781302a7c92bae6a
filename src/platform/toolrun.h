#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

namespace Platform {

// What a short run of a tool that answers and ends (a version, a trial run) gave.
struct ToolRun
{
    bool started = false;
    // Ended by itself in time, neither killed nor crashed.
    bool finished = false;
    // Its standard output and error together, at most the bound asked for.
    QByteArray output;
};

// Runs the tool for at most timeoutMs. One that takes longer, or writes more than maxBytes
// (a tool that floods), is asked to end, then ended for good, and counts as not finished;
// what it wrote is never held beyond the bound. With handleEvents, events are handled whenever
// the tool keeps the program waiting a moment (for a caller that bears being re-entered).
ToolRun runTool(const QString &program,
                const QStringList &arguments,
                int timeoutMs,
                qint64 maxBytes,
                bool handleEvents = false);

// A line a program wrote (a compiler's message, a firmware's serial line) as a log shows it:
// without a terminal's escape sequences (colours, erasing, moving the cursor) and control
// characters but the tab. They reached the output window as boxes and letters, kept a
// coloured compiler message from being read as one, and went to the terminal that
// --print-output prints on as commands.
QString withoutTerminalControls(const QString &line);
// A control character: C0 but the tab, DEL, C1 (which some terminals obey in UTF-8 too).
bool isControlCharacter(QChar c);

} // namespace Platform
