#pragma once

#include "gdbmi.h"
#include "inlinecalls.h"
#include "sourcedebugger.h"

#include <QHash>
#include <QProcess>
#include <QSet>

#include <functional>
#include <memory>

class GdbRemoteStub;
struct HexImage;
class SimulationRun;

// Source-level debugging through a GDB for the controller (avr-gdb), started on the firmware's
// ELF file and attached to the simulation through a remote stub on a private socket; it is
// driven through its machine interface and ends with this object, or with the program however
// it ends.
class GdbDebugger : public SourceDebugger
{
    Q_OBJECT
public:
    GdbDebugger(SimulationRun &run, QObject *parent = nullptr);
    ~GdbDebugger() override;

    // The debugger program, found on the search path; empty when it is not installed.
    static QString program();
    // The symbols are the ELF file the firmware was made from, beside it under the same name.
    bool start(const QString &firmware,
               const QList<SourceBreakpoint> &breakpoints,
               bool run,
               QString *error) override;

    // Whether the ELF file loads exactly the firmware image into program memory.
    static bool elfHoldsImage(const QByteArray &elf, const HexImage &image);

    void setBreakpoints(const QList<SourceBreakpoint> &breakpoints) override;
    void resume() override;
    void pause() override;
    void stepInto() override;
    void stepOver() override;
    void stepOut() override;
    void runTo(const QString &file, int line) override;
    void refresh() override;

private:
    using Answer = std::function<void(const MiRecord &)>;
    void command(const QString &line, Answer answer = Answer());
    void readOutput();
    void handle(const MiRecord &record);
    void applyBreakpoints();
    // A command that sets or deletes breakpoints: the firmware runs on only once all are done.
    void breakpointCommand(const QString &line, const Answer &answer = Answer());
    // A breakpoint at a source line (once: deleted when it is reached).
    void insertAtLine(const QString &file,
                      int line,
                      bool once,
                      const Answer &inserted,
                      const std::function<void(const QString &)> &refused);
    void execute(const QString &line);
    // A step or run, from where the firmware has no source for the first.
    void stepLine(const QString &line);
    // The stop where the firmware stands, collected again: asked for again (values read
    // afresh), or a stop of its own (a step that moved no instruction, into a built-in call).
    void showFrame(const QString &reason, bool again);
    // The answer to a command that runs the firmware: a refusal leaves it where it stopped.
    Answer refusal();
    void collectStop(const QString &reason, const QVariantMap &frame);
    void finishStop();
    static DebugFrame frameFrom(const QVariant &frame);

    SimulationRun &m_run;
    std::unique_ptr<GdbRemoteStub> m_stub;
    QProcess m_gdb;
    QByteArray m_output;
    int m_nextToken = 1;
    QHash<int, Answer> m_answers;
    QList<SourceBreakpoint> m_breakpoints;
    QList<int> m_breakpointNumbers;
    int m_breakpointRound = 0;
    int m_breakpointCommands = 0;
    QList<std::function<void()>> m_afterBreakpoints;
    QList<InlineCall> m_inlineCalls;
    // The breakpoints set where a built-in function's code starts, and the thread of a stop at
    // one (empty for any other stop).
    QSet<int> m_callSiteBreakpoints;
    QString m_callerThread;
    bool m_resumeAfterStop = false;
    QStringList m_registerNames;
    DebugStop m_stop;
    bool m_refreshing = false; // the stop being collected is the last one asked for again
    // A step from where the firmware has no source goes on an instruction at a time until it
    // has, at most this many more.
    int m_instructionsToSource = 0;
};
