#include "serialterminal.h"

#include <algorithm>

#include <QPlainTextEdit>
#include <QTextCursor>

SerialTerminal::SerialTerminal(QPlainTextEdit &view, QObject *parent)
    : QObject(parent)
    , m_view(view)
{
    m_show.setSingleShot(true);
    m_show.setInterval(0);
    connect(&m_show, &QTimer::timeout, this, &SerialTerminal::flush);
}

void SerialTerminal::setPorts(const QStringList &ports)
{
    flush();
    m_ports = ports;
    // The next character starts a line of its own, with its port's name.
    if (m_lineOpen)
        endLine();
}

void SerialTerminal::append(int port, const QString &text)
{
    if (!m_waiting.isEmpty() && m_waiting.last().first == port)
        m_waiting.last().second += text;
    else
        m_waiting.append({port, text});
    if (!m_show.isActive())
        m_show.start();
}

void SerialTerminal::clear()
{
    m_show.stop();
    m_waiting.clear();
    m_view.clear();
    m_line.clear();
    m_ended.clear();
    m_column = 0;
    m_lineOpen = false;
    m_linePort = -1;
    m_lastLineChanged = false;
    m_escapes.clear();
}

QString SerialTerminal::prefix(int port) const
{
    return m_ports.size() > 1 ? QLatin1Char('[') + m_ports.value(port) + QStringLiteral("] ")
                              : QString();
}

void SerialTerminal::endLine()
{
    m_ended += m_line + QLatin1Char('\n');
    m_line.clear();
    m_column = 0;
    m_lineOpen = false;
    m_lastLineChanged = true;
}

// Those a view of lines can follow: erasing the screen (the view) or the line, and moving along
// the line. Colours, other lines and modes are not shown.
void SerialTerminal::controlSequence(int port, QChar end, const QString &parameters)
{
    const QStringList numbers = parameters.split(QLatin1Char(';'));
    const auto number = [&numbers](int i, int fallback) {
        bool ok = false;
        const int n = numbers.value(i).toInt(&ok);
        return ok ? n : fallback;
    };
    const int start = int(prefix(port).size());
    const auto moveTo = [&](qint64 column) {
        m_column = int(std::clamp<qint64>(column, start, maxLineChars - 1));
    };
    const int n = number(0, 0);
    switch (end.unicode()) {
    case 'J': // the screen: from the cursor on (0), or all of it (2, 3)
        if (n >= 2) {
            m_view.clear();
            m_ended.clear();
            m_line.truncate(start);
        } else if (n == 0) {
            m_line.truncate(std::max(m_column, start));
        }
        break;
    case 'K': // the line: from the cursor on (0), up to it (1), all of it (2)
        if (n == 0) {
            m_line.truncate(std::max(m_column, start));
        } else if (n == 1) {
            for (int i = start; i <= m_column && i < m_line.size(); ++i)
                m_line[i] = QLatin1Char(' ');
        } else {
            m_line.truncate(start);
        }
        break;
    case 'C':
        moveTo(qint64(m_column) + std::max(n, 1));
        break;
    case 'D':
        moveTo(qint64(m_column) - std::max(n, 1));
        break;
    case 'G':
        moveTo(qint64(start) + std::max(n, 1) - 1);
        break;
    case 'H':
    case 'f':
        moveTo(qint64(start) + std::max(number(1, 1), 1) - 1);
        break;
    default:
        return;
    }
    m_lastLineChanged = true;
}

void SerialTerminal::flush()
{
    m_show.stop();
    const auto startLine = [this](int port) {
        if (m_lineOpen)
            endLine();
        m_line = prefix(port);
        m_column = int(m_line.size());
        m_lineOpen = true;
        m_linePort = port;
        m_lastLineChanged = true;
    };
    for (const auto &[port, text] : std::as_const(m_waiting)) {
        for (const QChar c : text) {
            if (m_lineOpen && port != m_linePort && m_ports.size() > 1)
                endLine();
            if (c == QLatin1Char('\r')) {
                if (m_lineOpen)
                    m_column = int(prefix(port).size());
                continue;
            }
            // A backspace goes back a character (a firmware's line editing writes "\b \b").
            if (c == QLatin1Char('\b')) {
                if (m_lineOpen && m_column > prefix(port).size())
                    --m_column;
                continue;
            }
            if (c == QLatin1Char('\n')) {
                if (!m_lineOpen)
                    startLine(port);
                endLine();
                continue;
            }
            Platform::EscapeSequence &escape = m_escapes[port];
            if (escape.take(c)) {
                const QChar end = escape.controlEnd();
                // A move along the line opens one; a colour alone does not.
                if (!m_lineOpen && QStringLiteral("CDGHf").contains(end))
                    startLine(port);
                if (end != QChar())
                    controlSequence(port, end, escape.parameters());
                continue;
            }
            // Other controls (a bell, a NUL) show nothing.
            if (Platform::isControlCharacter(c))
                continue;
            if (!m_lineOpen || m_column >= maxLineChars)
                startLine(port);
            if (m_column > m_line.size())
                m_line += QString(m_column - m_line.size(), QLatin1Char(' '));
            if (m_column < m_line.size())
                m_line[m_column] = c;
            else
                m_line += c;
            ++m_column;
            m_lastLineChanged = true;
        }
    }
    m_waiting.clear();
    if (!m_lastLineChanged)
        return;
    // The view's last line, and the lines ended since, in one change.
    QTextCursor cursor(m_view.document());
    cursor.movePosition(QTextCursor::End);
    cursor.movePosition(QTextCursor::StartOfBlock, QTextCursor::KeepAnchor);
    cursor.insertText(m_ended + m_line);
    m_ended.clear();
    m_lastLineChanged = false;
    m_view.moveCursor(QTextCursor::End);
    m_view.ensureCursorVisible();
}
