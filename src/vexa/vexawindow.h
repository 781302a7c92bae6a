#pragma once

#include "design.h"
#include "handoff.h"
#include "simulationrun.h"
#include "sourcedebugger.h"

#include <QMainWindow>

#include <memory>

class QAction;
class QComboBox;
class QGraphicsScene;
class QGraphicsView;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class SerialTerminal;
class VexaChannelServer;
class BoardItem;
class DebuggerPanel;

// The simulator's window: the design with the controller's pins, LEDs and buttons, a serial
// terminal, and the controls of its SimulationRun, which runs the firmware in real time, or,
// for a timed run asked for by the IDE, as fast as the engine can for a given simulated time.
class VexaWindow : public QMainWindow
{
    Q_OBJECT
public:
    explicit VexaWindow(const QString &handOffPath, QWidget *parent = nullptr);
    ~VexaWindow() override;

    // Answers the IDE's numbered commands.
    int command(int code);
    void setChannel(VexaChannelServer *channel) { m_channel = channel; }
    // Reads the hand-off file again: the design, the firmware, and whether to run at once.
    void reloadHandOff();
    // The next start is a timed run, with the design's timed inputs.
    void setTimedRun(double seconds, const QString &traceFile)
    {
        m_run.setTimedInputs(m_design.inputs);
        m_run.setTimedRun(seconds, traceFile);
    }

    // With a debugger attached, Run continues through it, and Stop leaves it paused.
    void run();
    void stop();
    // The source lines to stop at, for this firmware and the next ones.
    void setBreakpoints(const QList<SourceBreakpoint> &breakpoints);
    // A debugging command by name (continue, pause, into, over, out; to with "<line> <file>");
    // false when no debugger took it.
    bool debugCommand(const QString &command, const QString &argument);
    SourceDebugger *debugger() const { return m_debugger.get(); }
    DebuggerPanel *debuggerPanel() const { return m_debugPanel; }
    void resetController();
    bool isRunning() const { return m_run.isRunning(); }
    std::uint64_t simulatedNs() const { return m_run.timeNs(); }
    QString terminalText() const;
    bool pinLevel(const QString &pin) const { return m_run.pinLevel(pin); }
    // Closes without asking about changes to the design: they are saved (the IDE closes this
    // program, or the system or the ending of the IDE asks it to end).
    void closeUnasked()
    {
        m_askBeforeClosing = false;
        close();
    }
    // The session ending (the desktop's session manager asks to keep the data, or the display
    // went away and Qt ends the program with exit()): changes to the design are saved, as when
    // the window is closed unasked. At exit nothing is shown: the window can no longer be drawn.
    void keepDesign();
    void keepDesignAtExit();
    // Shows a problem in the messages, on the error output and to the IDE.
    void report(const QString &text);
    // Shows something the user should know in the messages and tells the IDE; not an error.
    void inform(const QString &text);

protected:
    void closeEvent(QCloseEvent *event) override;

private:
    void loadDesign(const QString &path, const QString &family);
    bool saveDesign();
    // Saves changes no one can be asked about (another design handed over, the window closed
    // unasked); when the design's own file cannot take them, they go to a file of their own in
    // this program's data folder, which is named.
    void saveDesignUnasked();
    // The design shown, in a file of its own in this program's data folder: its path, or
    // empty when it could not be written.
    QString keptDesignCopy() const;
    // What is said when a changed design could be kept nowhere.
    QString designLost() const;
    // Checks the design's pins against the controller's and shows it.
    void showDesign();
    // Whether the design shown differs from its file as last read or saved; the window's
    // title marks it.
    bool designChanged();
    void showDesignChanged();
    // Whether the file holds the design shown as it was read: it is the same file, a copy of
    // it or it renamed.
    bool holdsShownDesign(const QString &path) const;
    void rebuildBoard();
    void timedRunEnded(bool reachedEnd, std::uint64_t timeNs);
    void showSerialPorts();
    // Gives the design's voltages to the analog inputs they name.
    void applyVoltages();
    void adjustVoltage(const QString &partName);
    void updateStatus();
    // Attaches the family's debugger to the firmware just loaded, when it has debugging
    // information; otherwise runs (when run is set) as without one.
    void attachDebugger(bool run);
    void endDebugger();
    void debuggerStopped(const DebugStop &stop);
    // The IDE, when one watches, told that the firmware stopped at m_stoppedAt, or runs.
    void tellIde(bool stopped);
    void addPart(const QString &type);
    void removeSelectedParts();
    void partsMoved();

    QString m_handOffPath;
    HandOff m_handOff;
    Design m_design;
    bool m_designUsable = false; // false when the file could not be read: never saved over
    // A new design for an empty file behind a link: written there only when asked.
    bool m_newBehindLink = false;
    QByteArray m_savedForm; // the design as its file holds it, to tell changes by
    bool m_askBeforeClosing = true;
    SimulationRun m_run;
    VexaChannelServer *m_channel = nullptr;
    QGraphicsScene *m_scene;
    QGraphicsView *m_view;
    QList<BoardItem *> m_items;
    QPlainTextEdit *m_terminal;
    QLineEdit *m_terminalInput;
    QComboBox *m_terminalPort; // where typed text goes, when the controller has more than one
    QStringList m_serialPorts;
    SerialTerminal *m_serialTerminal = nullptr; // shows the ports' text in m_terminal
    QPlainTextEdit *m_messages;
    std::unique_ptr<SourceDebugger> m_debugger;
    // Run asked for after Stop, before the debugger told of the pause: it goes on once it has.
    bool m_resumeWhenPaused = false;
    // The IDE's Stop, before the debugger told of the pause it makes: no stop for the IDE.
    bool m_stopByIde = false;
    // Reset while paused at a stop the IDE was told of: the firmware held at its start again
    // is one too, since the IDE's debugging goes on from there.
    bool m_tellHeldStart = false;
    bool m_ideKnowsStop = false; // told of the last stop, and not of a run since
    // The debugger ran since its last stop: that stop shown again (a command it refused) is
    // one the IDE, told of the run, is told of again.
    bool m_ranSinceStop = false;
    QString m_stoppedAt; // the last stop, as the IDE is told it: "line file"
    QList<SourceBreakpoint> m_breakpoints;
    DebuggerPanel *m_debugPanel;
    QLabel *m_status;
    QAction *m_runAction;
    QAction *m_stopAction;
    QAction *m_resetAction;
    QAction *m_arrangeAction;
};
