#pragma once

#include "sourcedebugger.h"

#include <QHash>
#include <QWidget>

class QAction;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QTextEdit;
class QTreeWidget;
class QTreeWidgetItem;

// The debugger's view in the simulator's window: its commands, where the firmware stopped
// (address, function, the source around the line), and what it holds there: call stack,
// local variables, watched globals, registers and a memory view, with the values that changed
// since the last stop in red.
class DebuggerPanel : public QWidget
{
    Q_OBJECT
public:
    explicit DebuggerPanel(QWidget *parent = nullptr);

    // The debugger shown, or none.
    void setDebugger(SourceDebugger *debugger);
    // Continue, Pause, Step Into, Step Over, Step Out, Run to Cursor.
    QList<QAction *> commands() const { return m_commands; }
    QString locationText() const;
    QTreeWidget *values() const { return m_values; }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void updateCommands();
    void showStop(const DebugStop &stop);
    void showSource(const QString &file, int line);
    void addWatch();
    void setMemory();
    // A group of values under its title, open as the user left it (at first, all but the
    // registers).
    QTreeWidgetItem *group(const QString &title, const QList<DebugValue> &values);
    // Takes which groups are open, and how far the values are scrolled, before they go.
    void clearValues();

    SourceDebugger *m_debugger = nullptr;
    QList<QAction *> m_commands;
    QAction *m_continue;
    QAction *m_pause;
    QLabel *m_location;
    QPlainTextEdit *m_source;
    QString m_sourceFile;
    // A stop's line waits to be brought to the middle of the view until the view is shown.
    bool m_centreWhenShown = false;
    QTreeWidget *m_values;
    QHash<QString, bool> m_open; // the groups by title
    int m_valuesScrolled = 0;
    QLineEdit *m_watch;
    QStringList m_watched; // kept for the next debugger
    QLineEdit *m_memoryAddress;
    QTextEdit *m_memory;
    static constexpr int memoryViewBytes = 64;
};
