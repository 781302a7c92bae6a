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

// A terminal's escape sequences, followed a character at a time: ESC, then characters 0x20 to
// 0x2F, then one from 0x30 to 0x7E; or a control sequence, ESC [, then parameters 0x30 to 0x3F
// and characters 0x20 to 0x2F, then one from 0x40 to 0x7E.
class EscapeSequence
{
public:
    // Whether the character belongs to a sequence. One that cut a sequence short is itself.
    bool take(QChar c);
    // The last character of the control sequence the last character taken ended; null when it
    // ended none.
    QChar controlEnd() const { return m_controlEnd; }
    // Its parameters, as written ("1;32").
    QString parameters() const { return m_parameters; }

private:
    QString m_sequence; // begun and not yet ended; empty when none
    QChar m_controlEnd;
    QString m_parameters;
    static constexpr int maxChars = 64;
};

} // namespace Platform
