#pragma once

#include "core/outputsink.h"

#include <QDockWidget>
#include <QElapsedTimer>
#include <QTextCharFormat>

#include <vector>

class QTimer;

class MainServices;
class OutTextEdit;

// The output window: plain messages, errors, success notices and compiler messages as links
// to source lines, in the looks of the "Output Window" display settings.
class OutWindow : public QDockWidget, public OutputSink
{
    Q_OBJECT

public:
    explicit OutWindow(MainServices *mainWindow, QWidget *parent = nullptr);

    void clear();
    void clearOutput() override { clear(); }
    void message(const QString &text) override;
    void error(const QString &text) override;
    void success(const QString &text) override;
    void link(const QString &file, int line, int column, const QString &text) override;
    void errorLink(const QString &file, int line, int column, const QString &text) override;
    void richText(const QString &html) override;

    // Reads the four formats and the link style from the display settings again.
    void applySettings();

    // The view, with every line written so far in it.
    OutTextEdit *textView();
    // The text of the whole view, one paragraph a line.
    QString plainText();

    void openLinkTarget(const QString &file, int line, int column);

    // Scripting and CI: every line shown is also printed (messages, success notices and links
    // on standard output, errors on standard error, a link as "file:line:column: text").
    static void setEchoToConsole(bool echo);
    static bool echoesToConsole();

private:
    // A paragraph waiting to go into the view: lines are put in in batches, which keeps a
    // fast compiler's output from costing more than the compiler.
    struct Pending
    {
        QTextCharFormat format;
        QString text;
        bool html = false;
    };
    void queue(Pending paragraph);
    void appendLink(const QTextCharFormat &format,
                    const QString &file,
                    int line,
                    int column,
                    const QString &text,
                    bool plainText);
    void flush();
    void showNow();
    void updateExistingLinks();

    MainServices *m_mainWindow;
    OutTextEdit *m_text;
    std::vector<Pending> m_pending;
    QTimer *m_flushTimer;
    QTextCharFormat m_messageFormat;
    QTextCharFormat m_errorFormat;
    QTextCharFormat m_linkFormat;
    QTextCharFormat m_successFormat;
    QString m_linkPrefix;
    QString m_linkSuffix;
    QElapsedTimer m_sinceShown;
};
