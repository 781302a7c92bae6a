#pragma once

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QObject>
#include <QString>
#include <QStringList>

#include <cstdint>
#include <memory>

class SimulationRun;

// A line of a source file the firmware should stop at.
struct SourceBreakpoint
{
    QString file; // absolute
    int line = 0;
    // The breakpoints the IDE sends: one "<line> <file>" a line.
    static QList<SourceBreakpoint> listFromText(const QString &text);
    bool operator==(const SourceBreakpoint &other) const
    {
        return file == other.file && line == other.line;
    }
};

struct DebugFrame
{
    QString function;
    QString file; // absolute; empty where the debugger knows no source
    int line = 0;
    std::uint32_t address = 0;
};

struct DebugValue
{
    QString name;
    QString value;
    bool changed = false; // since the last stop
};

// What the firmware holds where it stopped.
struct DebugStop
{
    QString reason; // what the debugger said: "breakpoint-hit", "end-stepping-range"...
    DebugFrame where;
    QList<DebugFrame> frames; // innermost first
    QList<DebugValue> registers;
    QList<DebugValue> locals;
    QList<DebugValue> globals;
    std::uint32_t memoryAddress = 0;
    QByteArray memory;
    QList<int> changedBytes; // offsets into memory
    // The same stop asked for again (a variable watched, the memory shown elsewhere): its marks
    // of what changed are those of the stop itself.
    bool again = false;
};

Q_DECLARE_METATYPE(DebugStop)

// Source-level debugging of the simulated firmware: breakpoints on source lines, stepping by
// lines, and the values where it stopped. The debugger controls the run: while it is attached,
// the firmware runs when the debugger lets it.
class SourceDebugger : public QObject
{
    Q_OBJECT
public:
    enum class State { Off, Starting, Running, Paused, Ended };

    using QObject::QObject;

    // The debugger of a family's engine, or null when there is none.
    static std::unique_ptr<SourceDebugger> forFamily(const QString &family, SimulationRun &run);

    // Starts on the firmware's debugging information, which the build wrote beside the
    // firmware file; false, with the reason, when there is none or the debugger cannot start.
    // Once attached the firmware stays paused at its start unless run is true; the breakpoints
    // are in before it runs.
    virtual bool start(const QString &firmware,
                       const QList<SourceBreakpoint> &breakpoints,
                       bool run,
                       QString *error)
        = 0;

    State state() const { return m_state; }
    bool isPaused() const { return m_state == State::Paused; }

    // Replaces the breakpoints (also while the firmware runs).
    virtual void setBreakpoints(const QList<SourceBreakpoint> &breakpoints) = 0;
    virtual void resume() = 0;
    virtual void pause() = 0;
    virtual void stepInto() = 0;
    virtual void stepOver() = 0;
    virtual void stepOut() = 0;
    virtual void runTo(const QString &file, int line) = 0;
    // Global variables shown at every stop, and the memory shown from an address (an
    // expression the debugger evaluates, such as "&counter" or "0x800100").
    void setWatchedGlobals(const QStringList &names) { m_globals = names; }
    QStringList watchedGlobals() const { return m_globals; }
    void setMemoryView(const QString &address, int length)
    {
        m_memoryAddress = address;
        m_memoryLength = length;
    }
    QString memoryAddress() const { return m_memoryAddress; }
    // Asks for the values again, as at a stop (after the watched globals changed).
    virtual void refresh() = 0;

signals:
    void stateChanged(SourceDebugger::State state);
    void stopped(const DebugStop &stop);
    // Something the user should read: a breakpoint on a line without code, a step refused.
    void message(const QString &text);

protected:
    // Marks what changed since the last stop (registers, the function's locals, globals,
    // memory bytes) and tells of the stop.
    void publish(DebugStop stop, bool again = false);

    void setState(State state)
    {
        if (m_state == state)
            return;
        m_state = state;
        emit stateChanged(state);
    }

    QStringList m_globals;
    QString m_memoryAddress;
    int m_memoryLength = 64;

private:
    void markChanges(QList<DebugValue> &values, const QString &group);

    State m_state = State::Off;
    // The values at the last stop, and at the one before, which the last stop's marks compare
    // with.
    QHash<QString, QString> m_lastValues;
    QHash<QString, QString> m_valuesBefore;
    QByteArray m_lastMemory;
    std::uint32_t m_lastMemoryAddress = 0;
    QByteArray m_memoryBefore;
    std::uint32_t m_memoryAddressBefore = 0;
};
