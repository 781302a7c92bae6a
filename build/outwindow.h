#pragma once

#include <QDockWidget>
#include <QElapsedTimer>
#include <QTextCharFormat>

class MainServices;
class OutTextEdit;

// The output window: plain messages, errors, success notices and compiler messages as links
// to source lines, in the looks of the "Output Window" display settings.
class OutWindow : public QDockWidget
{
    Q_OBJECT

public:
    explicit OutWindow(MainServices *mainWindow, QWidget *parent = nullptr);

    void clear();
    void message(const QString &text);
    void error(const QString &text);
    void success(const QString &text);
    void link(const QString &file, int line, int column, const QString &text);
    void errorLink(const QString &file, int line, int column, const QString &text);
    void richText(const QString &html);

    // Reads the four formats and the link style from the display settings again.
    void applySettings();

    OutTextEdit *textView() const { return m_text; }
    // The text of the whole view, one paragraph a line.
    QString plainText() const;

    void openLinkTarget(const QString &file, int line, int column);

    // Scripting and CI: every line shown is also printed (messages, success notices and links
    // on standard output, errors on standard error, a link as "file:line:column: text").
    static void setEchoToConsole(bool echo);
    static bool echoesToConsole();

private:
    void appendText(const QTextCharFormat &format, const QString &text);
    void appendLink(const QTextCharFormat &format,
                    const QString &file,
                    int line,
                    int column,
                    const QString &text);
    void showNow();
    void updateExistingLinks();

    MainServices *m_mainWindow;
    OutTextEdit *m_text;
    QTextCharFormat m_messageFormat;
    QTextCharFormat m_errorFormat;
    QTextCharFormat m_linkFormat;
    QTextCharFormat m_successFormat;
    QString m_linkPrefix;
    QString m_linkSuffix;
    QElapsedTimer m_sinceShown;
};
