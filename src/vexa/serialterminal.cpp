#include "serialterminal.h"

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
            if (!m_lineOpen || m_column >= maxLineChars)
                startLine(port);
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
