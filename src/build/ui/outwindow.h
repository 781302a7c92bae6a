#pragma once

#include "core/outputsink.h"

#include <QDockWidget>
#include <QElapsedTimer>
#include <QTextCharFormat>

class MainServices;
class OutTextEdit;

// The output window: plain messages, errors, success notices and compiler messages as links
// to source lines, in the looks of the "Output Window" display settings.
class OutWindow : public QDockWidget, public OutputSink
{
    Q_OBJECT

public:
    explicit OutWindow(MainServices *mainWindow, QWidget *parent = nullptr);

    // True while a line written in the middle of a command lets the window repaint: whatever
    // runs then (a timer) is inside that command.
    bool isCatchingUp() const { return m_showing; }

    void clear();
    void clearOutput() override { clear(); }
    void message(const QString &text) override;
    void error(const QString &text) override;
    void success(const QString &text) override;
    void link(const QString &file, int line, int column, const QString &text) override;
    void errorLink(const QString &file, int line, int column, const QString &text) override;
    void richText(const QString &html) override;
    void markSource(const QString &file,
                    int line,
                    MessageSeverity severity,
                    const QString &text) override;

    // Goes to the next link line after the one gone to last (or the one before it), going
    // round: selects it and opens its file at its line. False when there is none.
    bool gotoLink(bool forward);

    // Reads the four formats and the link style from the display settings again.
    void applySettings();

    // The view, with every line written so far in it.
    OutTextEdit *textView();
    // The text of the whole view, one paragraph a line.
    QString plainText();

    // Opens the file a link names, where it is now, at the line and column.
    void openLinkTarget(const QString &file, int line, int column);

    // Scripting and CI: every line shown is also printed (messages, success notices and links
    // on standard output, errors on standard error, a link as "file:line:column: text").
    static void setEchoToConsole(bool echo);

signals:
    // A compiler's message marks a source line; the marks go with the lines.
    void sourceMarked(const QString &file, int line, MessageSeverity severity, const QString &text);
    void cleared();

private:
    void appendLink(bool isError,
                    const QString &file,
                    int line,
                    int column,
                    const QString &text,
                    bool plainText);
    void showNow();

    MainServices &m_mainWindow;
    OutTextEdit *m_text;
    QTextCharFormat m_messageFormat;
    QTextCharFormat m_errorFormat;
    QTextCharFormat m_linkFormat;
    QTextCharFormat m_successFormat;
    QElapsedTimer m_sinceShown;
    bool m_showing = false;
    int m_currentLink = -1;
};
