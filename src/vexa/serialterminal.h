#ifndef VEXA_SERIALTERMINAL_H
#define VEXA_SERIALTERMINAL_H

#include "platform/toolrun.h"

#include <QHash>
#include <QObject>
#include <QStringList>
#include <QTimer>
#include <QVector>

class QPlainTextEdit;

// What the firmware writes on its serial ports, shown in a view as a terminal shows it. A line
// feed starts a new line; a carriage return takes what follows back to the start of the line,
// over what the line held (a status line the firmware writes again and again stays one line,
// and "\r\n" ends a line as "\n" does), and a backspace goes back a character. Escape sequences
// show nothing; of them, erasing the screen or the line and moving along the line are
// followed. A line longer than maxLineChars goes on in a new one, as
// a terminal wraps it: a firmware that never ends a line keeps the view quick. With more than
// one port each line begins with its port's name. What arrives during one turn of the event loop
// is shown at once.
class SerialTerminal : public QObject
{
    Q_OBJECT

public:
    explicit SerialTerminal(QPlainTextEdit &view, QObject *parent = nullptr);

    // The controller's ports; a line from another port than the open line's starts a new one.
    void setPorts(const QStringList &ports);
    void append(int port, const QString &text);
    // Empties the view, and what is still to be shown.
    void clear();
    // What waits is shown now.
    void flush();

    static constexpr int maxLineChars = 1024;

private:
    QString prefix(int port) const;
    // The open line (the view's last) ends; the next character starts another.
    void endLine();
    void controlSequence(int port, QChar end, const QString &parameters);

    QPlainTextEdit &m_view;
    QStringList m_ports;
    QVector<QPair<int, QString>> m_waiting; // by port, in the order they came
    QTimer m_show;
    // The view's last line as it will be shown, where the next character goes in it, and the
    // lines ended since the last flush, each with its line end.
    QString m_line;
    int m_column = 0;
    bool m_lineOpen = false;
    int m_linePort = -1;
    QString m_ended;
    bool m_lastLineChanged = false;
    QHash<int, Platform::EscapeSequence> m_escapes; // by port
};

#endif // VEXA_SERIALTERMINAL_H
