#pragma once

#include "linetable.h"
#include "sourcedebugger.h"

#include <QSet>

class Engine;
class SimulationRun;

// Source-level debugging done here, over an engine that stops at instruction addresses and
// steps single instructions, with the build's line table and symbols: a breakpoint is the
// address of a line's code; a step runs instructions until a new line begins, over a call by
// a stop at its return address; Step Out counts the calls and returns it passes. The family
// says how its calls and returns look and where its files are.
class LineTableDebugger : public SourceDebugger
{
    Q_OBJECT
public:
    explicit LineTableDebugger(SimulationRun &run, QObject *parent = nullptr);
    // The engine runs on without the debugger's stops.
    ~LineTableDebugger() override;

    bool start(const QString &firmware,
               const QList<SourceBreakpoint> &breakpoints,
               bool run,
               QString *error) override;
    void setBreakpoints(const QList<SourceBreakpoint> &breakpoints) override;
    void resume() override;
    void pause() override;
    void stepInto() override { stepLine(false); }
    void stepOver() override { stepLine(true); }
    void stepOut() override;
    void runTo(const QString &file, int line) override;
    void refresh() override;

    const LineTable &lineTable() const { return m_table; }

protected:
    // Reads the build's debugging files beside the firmware; false, with the reason, when
    // there are none.
    virtual bool loadSymbols(const QString &firmware, LineTable *table, QString *error) = 0;
    // Whether the instruction there returns from a call (not from an interrupt).
    virtual bool isReturn(std::uint32_t address) const = 0;
    // For stepping single instructions: the length of the call instruction at an address (0
    // for another instruction), and the addresses of every instruction, in order (for the
    // calls and returns of Step Out).
    virtual int callLength(std::uint32_t address) const { return 0; }
    virtual QList<std::uint32_t> instructions() const { return {}; }
    // Whether a step lets the firmware run to the next line's start, through stops at the
    // starts of lines, rather than stepping single instructions (an engine slow to step).
    virtual bool stepsByRunning() const { return false; }
    // The addresses of the returns of a function's code.
    virtual QList<std::uint32_t> returnsIn(const LineTable::Function &function) const { return {}; }
    // The local variables of the function the firmware stopped in, with their values.
    virtual QList<DebugValue> localValues(const QString &function) const { return {}; }
    // What a watched symbol holds, read from the data memory.
    virtual QString valueOf(const LineTable::Symbol &symbol) const;
    // The variable a watched name stands for: a symbol by its name, or, where the debugging
    // information has the types, a member or an element of one ("where.x", "table[2]").
    virtual std::optional<LineTable::Symbol> watchedSymbol(const QString &name) const
    {
        return lineTable().symbol(name);
    }
    // The memory the memory view shows (the engine's data memory), and where in it a
    // variable's first byte lies ("&name").
    virtual QByteArray memoryAt(std::uint32_t address, std::uint32_t length) const;
    virtual std::uint32_t memoryAddress(const LineTable::Symbol &symbol) const
    {
        return symbol.address;
    }
    // How a register's value is shown.
    virtual QString registerText(std::uint32_t value) const;
    // The calls that led to the function the firmware stopped in, innermost first, from the
    // registers as the engine gives them; none where the stack cannot be read.
    virtual QList<DebugFrame> callers(
        std::uint32_t pc, const QList<std::pair<QString, std::uint32_t>> &registers) const
    {
        return {};
    }
    Engine *engine() const;
    QString device() const;
    // The build's symbols file beside the firmware, named as it with that suffix (".cod");
    // false, with the reason, when it is missing or older than the firmware.
    static bool symbolsBeside(const QString &firmware,
                              const QString &suffix,
                              QString *path,
                              QString *error);

private:
    enum class Goal { None, Continue, StepOver, StepOut, RunTo, StepLines, StepOutRunning };
    // Whether a line other than the one the step began on starts exactly there.
    bool beginsOtherLine(std::uint32_t address) const;
    QSet<std::uint32_t> returnStopsOf(const std::optional<LineTable::Function> &function) const;
    // Runs the firmware until one of the stops (the breakpoints' too).
    void runWith(const QSet<std::uint32_t> &stops, Goal goal);
    void debuggerStopped();
    void runStateChanged();
    // Steps single instructions until a new line begins; false when the controller stopped
    // or no line began within the bound (the run goes on through stops then).
    bool stepToNewLine(bool overCalls);
    void stepLine(bool overCalls);
    void stepOutFrom();
    // The steps of an engine slow to step: a run to the next line start (within the function
    // when over calls), or to the function's return.
    void runToNextLine(bool withinFunction);
    void runToReturn();
    // Pauses and tells of the stop; again: the stop already told of, asked for once more.
    void stopHere(const QString &reason, bool again = false);
    std::optional<std::uint32_t> addressOf(const QString &expression) const;

    SimulationRun &m_run;
    LineTable m_table;
    QList<SourceBreakpoint> m_breakpoints;
    QList<SourceBreakpoint> m_refused; // those without code, said already
    QSet<std::uint32_t> m_userStops;   // the breakpoints' addresses
    Goal m_goal = Goal::None;
    LineTable::Line m_origin;
    std::uint32_t m_returnAddress = 0;
    int m_depth = 0;
    QSet<std::uint32_t> m_callsAndReturns;
    QSet<std::uint32_t> m_returnStops;
    bool m_handlingStop = false;
};
