#include "linetabledebugger.h"

#include "simulationrun.h"

#include <QFileInfo>

namespace {
// Instructions stepped one by one before a step lets the firmware run to the next line
// instead (a line that loops on itself, a delay).
constexpr int stepBound = 400;
} // namespace

LineTableDebugger::LineTableDebugger(SimulationRun &run, QObject *parent)
    : SourceDebugger(parent)
    , m_run(run)
{
    connect(&m_run, &SimulationRun::debuggerStop, this, &LineTableDebugger::debuggerStopped);
    connect(&m_run, &SimulationRun::stateChanged, this, &LineTableDebugger::runStateChanged);
}

LineTableDebugger::~LineTableDebugger()
{
    if (engine() && engine()->isLoaded())
        engine()->setCodeBreakpoints({});
}

Engine *LineTableDebugger::engine() const
{
    return m_run.engine();
}

bool LineTableDebugger::start(const QString &firmware,
                              const QList<SourceBreakpoint> &breakpoints,
                              bool run,
                              QString *error)
{
    if (!engine() || !engine()->canDebug()) {
        *error = tr("The engine of this controller cannot stop at instructions.");
        return false;
    }
    m_table = LineTable();
    if (!loadSymbols(firmware, &m_table, error))
        return false;
    if (m_table.isEmpty()) {
        *error = tr("The firmware's debugging information names no line with code.");
        return false;
    }
    // The calls and returns Step Out stops at, when it steps instructions.
    m_callsAndReturns.clear();
    if (!stepsByRunning()) {
        for (const std::uint32_t address : instructions()) {
            if (callLength(address) > 0 || isReturn(address))
                m_callsAndReturns.insert(address);
        }
    }
    setState(State::Paused);
    setBreakpoints(breakpoints);
    if (run)
        resume();
    else
        stopHere(QStringLiteral("attached"));
    return true;
}

void LineTableDebugger::setBreakpoints(const QList<SourceBreakpoint> &breakpoints)
{
    m_breakpoints = breakpoints;
    // Their addresses, once: the steps ask for them at every instruction.
    m_userStops.clear();
    // One without code is said once: the IDE sends all of them again at every change.
    QList<SourceBreakpoint> refused;
    for (const SourceBreakpoint &breakpoint : breakpoints) {
        if (const auto code = m_table.codeAt(breakpoint.file, breakpoint.line)) {
            m_userStops.insert(code->address);
            continue;
        }
        refused.append(breakpoint);
        if (!m_refused.contains(breakpoint))
            emit message(tr("No breakpoint at %1, line %2: the firmware has no code there.")
                             .arg(breakpoint.file)
                             .arg(breakpoint.line));
    }
    m_refused = refused;
    // A run going on takes them at once, with the stops of its step.
    if (state() == State::Running && m_goal == Goal::Continue)
        engine()->setCodeBreakpoints(m_userStops);
}

void LineTableDebugger::runWith(const QSet<std::uint32_t> &stops, Goal goal)
{
    m_goal = goal;
    engine()->setCodeBreakpoints(stops);
    setState(State::Running);
    // An engine may stop at once where it stands: the instruction there goes first.
    if (stops.contains(engine()->programCounter())) {
        if (!engine()->stepInstruction()) {
            stopHere(QStringLiteral("signal-received"));
            return;
        }
        if (stops.contains(engine()->programCounter())) {
            debuggerStopped();
            return;
        }
    }
    m_run.start();
}

void LineTableDebugger::runToNextLine(bool withinFunction)
{
    const std::uint32_t pc = engine()->programCounter();
    m_origin = m_table.lineAt(pc).value_or(LineTable::Line());
    const auto function = withinFunction ? m_table.functionOf(pc) : std::nullopt;
    QSet<std::uint32_t> stops = m_userStops;
    for (const LineTable::Line &line : m_table.lines()) {
        if ((line.line != m_origin.line || line.file != m_origin.file)
            && (!function || (line.address >= function->start && line.address <= function->end)))
            stops.insert(line.address);
    }
    // Leaving the function, the step ends in its caller.
    m_returnStops = returnStopsOf(function);
    runWith(stops + m_returnStops, Goal::StepLines);
}

QSet<std::uint32_t> LineTableDebugger::returnStopsOf(
    const std::optional<LineTable::Function> &function) const
{
    QSet<std::uint32_t> stops;
    if (function) {
        for (const std::uint32_t address : returnsIn(*function))
            stops.insert(address);
    }
    return stops;
}

void LineTableDebugger::runToReturn()
{
    m_returnStops = returnStopsOf(m_table.functionOf(engine()->programCounter()));
    if (m_returnStops.isEmpty()) {
        emit message(tr("The firmware is in no function it knows the end of: Step Out cannot "
                        "tell where it returns."));
        return;
    }
    runWith(m_userStops + m_returnStops, Goal::StepOutRunning);
}

void LineTableDebugger::resume()
{
    if (state() == State::Paused)
        runWith(m_userStops, Goal::Continue);
}

void LineTableDebugger::pause()
{
    if (state() == State::Running)
        m_run.stop();
}

void LineTableDebugger::runTo(const QString &file, int line)
{
    if (state() != State::Paused)
        return;
    const auto code = m_table.codeAt(file, line);
    if (!code) {
        emit message(
            tr("The firmware cannot run to %1, line %2: it has no code there.").arg(file).arg(line));
        return;
    }
    runWith(m_userStops + QSet<std::uint32_t>{code->address}, Goal::RunTo);
}

bool LineTableDebugger::stepToNewLine(bool overCalls)
{
    for (int i = 0; i < stepBound; ++i) {
        const std::uint32_t pc = engine()->programCounter();
        if (overCalls && callLength(pc) > 0) {
            // Over the call: to its return address, or to a breakpoint on the way.
            m_returnAddress = pc + std::uint32_t(callLength(pc));
            runWith(m_userStops + QSet<std::uint32_t>{m_returnAddress}, Goal::StepOver);
            return false;
        }
        if (!engine()->stepInstruction()) {
            stopHere(QStringLiteral("signal-received"));
            return false;
        }
        const std::uint32_t now = engine()->programCounter();
        if (beginsOtherLine(now) || (m_table.isLineStart(now) && now <= m_origin.address))
            return true;
        if (m_userStops.contains(now)) {
            stopHere(QStringLiteral("breakpoint-hit"));
            return false;
        }
    }
    // Still on the line: run to the start of any other line.
    QSet<std::uint32_t> stops = m_userStops;
    for (const LineTable::Line &line : m_table.lines()) {
        if (line.line != m_origin.line || line.file != m_origin.file)
            stops.insert(line.address);
    }
    runWith(stops, Goal::StepOver);
    return false;
}

bool LineTableDebugger::beginsOtherLine(std::uint32_t address) const
{
    const auto line = m_table.lineAt(address);
    return line && line->address == address
           && (line->line != m_origin.line || line->file != m_origin.file);
}

// Whether the symbols file the build wrote beside the firmware is there and not older.
bool LineTableDebugger::symbolsBeside(const QString &firmware,
                                      const QString &suffix,
                                      QString *path,
                                      QString *error)
{
    const QFileInfo hex(firmware);
    *path = hex.path() + QLatin1Char('/') + hex.completeBaseName() + suffix;
    if (!QFileInfo::exists(*path)) {
        *error = tr("The firmware has no debugging information: %1 is missing (a Debug "
                    "configuration builds with it).")
                     .arg(*path);
        return false;
    }
    if (QFileInfo(*path).lastModified() < hex.lastModified().addSecs(-2)) {
        *error = tr("The firmware's debugging information %1 is older than the firmware: "
                    "build the project again.")
                     .arg(*path);
        return false;
    }
    return true;
}

void LineTableDebugger::stepLine(bool overCalls)
{
    if (state() != State::Paused)
        return;
    if (stepsByRunning()) {
        runToNextLine(overCalls);
        return;
    }
    m_origin = m_table.lineAt(engine()->programCounter()).value_or(LineTable::Line());
    if (stepToNewLine(overCalls))
        stopHere(QStringLiteral("end-stepping-range"));
}

void LineTableDebugger::stepOut()
{
    if (state() != State::Paused)
        return;
    if (stepsByRunning()) {
        runToReturn();
        return;
    }
    m_depth = 0;
    stepOutFrom();
}

// At a call the depth grows, at a return it shrinks; the return at depth 0 is the routine's.
void LineTableDebugger::stepOutFrom()
{
    for (int i = 0; i < stepBound; ++i) {
        const std::uint32_t pc = engine()->programCounter();
        const bool returning = isReturn(pc) && m_depth == 0;
        if (callLength(pc) > 0)
            ++m_depth;
        else if (isReturn(pc))
            --m_depth;
        if (!engine()->stepInstruction()) {
            stopHere(QStringLiteral("signal-received"));
            return;
        }
        if (returning) {
            m_origin = LineTable::Line();
            m_origin.line = -1;
            stopHere(QStringLiteral("function-finished"));
            return;
        }
        const std::uint32_t now = engine()->programCounter();
        if (!m_callsAndReturns.contains(now)) {
            runWith(m_userStops + m_callsAndReturns, Goal::StepOut);
            return;
        }
    }
    runWith(m_userStops + m_callsAndReturns, Goal::StepOut);
}

void LineTableDebugger::debuggerStopped()
{
    if (state() != State::Running)
        return;
    m_handlingStop = true;
    const std::uint32_t pc = engine()->programCounter();
    const bool atBreakpoint = m_userStops.contains(pc);
    switch (m_goal) {
    case Goal::StepOver:
        if (pc == m_returnAddress && !atBreakpoint) {
            // Back from the call: on with the step from there.
            setState(State::Paused);
            if (beginsOtherLine(pc))
                stopHere(QStringLiteral("end-stepping-range"));
            else if (stepToNewLine(true))
                stopHere(QStringLiteral("end-stepping-range"));
            break;
        }
        setState(State::Paused);
        stopHere(atBreakpoint ? QStringLiteral("breakpoint-hit")
                              : QStringLiteral("end-stepping-range"));
        break;
    case Goal::StepOut:
        if (atBreakpoint) {
            setState(State::Paused);
            stopHere(QStringLiteral("breakpoint-hit"));
            break;
        }
        setState(State::Paused);
        stepOutFrom();
        break;
    case Goal::StepLines:
    case Goal::StepOutRunning:
        setState(State::Paused);
        if (m_returnStops.contains(pc) && !atBreakpoint) {
            // Out of the function, into its caller.
            if (!engine()->stepInstruction()) {
                stopHere(QStringLiteral("signal-received"));
                break;
            }
            stopHere(m_goal == Goal::StepLines ? QStringLiteral("end-stepping-range")
                                               : QStringLiteral("function-finished"));
            break;
        }
        stopHere(atBreakpoint ? QStringLiteral("breakpoint-hit")
                              : QStringLiteral("end-stepping-range"));
        break;
    case Goal::RunTo:
        setState(State::Paused);
        stopHere(atBreakpoint ? QStringLiteral("breakpoint-hit")
                              : QStringLiteral("location-reached"));
        break;
    default:
        setState(State::Paused);
        stopHere(QStringLiteral("breakpoint-hit"));
        break;
    }
    m_handlingStop = false;
}

void LineTableDebugger::runStateChanged()
{
    // Stopped by the user or by the firmware itself, not at one of the debugger's stops.
    if (m_handlingStop || state() != State::Running || m_run.isRunning())
        return;
    if (engine() && engine()->firmwareEnded()) {
        emit message(tr("The firmware ended the run."));
        setState(State::Ended);
        return;
    }
    setState(State::Paused);
    stopHere(QStringLiteral("signal-received"));
}

QString LineTableDebugger::registerText(std::uint32_t value) const
{
    return QStringLiteral("0x%1").arg(value, 2, 16, QLatin1Char('0'));
}

QString LineTableDebugger::valueOf(const LineTable::Symbol &symbol) const
{
    const QByteArray bytes = engine()->readMemory(symbol.address, 1);
    if (bytes.isEmpty())
        return tr("<not readable>");
    const auto value = std::uint8_t(bytes.at(0));
    return QStringLiteral("0x%1 (%2)").arg(value, 2, 16, QLatin1Char('0')).arg(value);
}

QString LineTableDebugger::device() const
{
    return m_run.device();
}

QByteArray LineTableDebugger::memoryAt(std::uint32_t address, std::uint32_t length) const
{
    return engine()->readMemory(address, length);
}

std::optional<std::uint32_t> LineTableDebugger::addressOf(const QString &expression) const
{
    QString text = expression.trimmed();
    if (text.startsWith(QLatin1Char('&')))
        text = text.mid(1).trimmed();
    if (const auto symbol = watchedSymbol(text))
        return memoryAddress(*symbol);
    bool ok = false;
    const std::uint32_t address = text.toUInt(&ok, 0);
    return ok ? std::optional<std::uint32_t>(address) : std::nullopt;
}

void LineTableDebugger::stopHere(const QString &reason, bool again)
{
    m_goal = Goal::None;
    engine()->setCodeBreakpoints(m_userStops);
    const bool running = state() == State::Running;
    setState(State::Paused);
    if (running)
        m_run.stop();
    DebugStop stop;
    stop.reason = reason;
    const std::uint32_t pc = engine()->programCounter();
    stop.where.address = pc;
    stop.where.function = m_table.functionAt(pc);
    if (const auto line = m_table.lineAt(pc)) {
        stop.where.file = line->file;
        stop.where.line = line->line;
    }
    stop.frames.append(stop.where);
    stop.locals = localValues(stop.where.function);
    const QList<std::pair<QString, std::uint32_t>> registers = engine()->cpuRegisters();
    for (const auto &[name, value] : registers)
        stop.registers.append({name, registerText(value)});
    stop.frames += callers(pc, registers);
    for (const QString &name : std::as_const(m_globals)) {
        const auto symbol = watchedSymbol(name);
        if (symbol && symbol->kind == LineTable::SymbolKind::Data) {
            stop.globals.append({name, valueOf(*symbol)});
        } else if (const auto address = addressOf(name)) {
            stop.globals.append({name, valueOf({name, *address, LineTable::SymbolKind::Data})});
        } else if (m_table.isUnplaced(name)) {
            stop.globals.append({name, tr("<not placed in the debugging information>")});
        } else {
            stop.globals.append({name, tr("<no such variable>")});
        }
    }
    if (!m_memoryAddress.isEmpty()) {
        if (const auto address = addressOf(m_memoryAddress)) {
            stop.memoryAddress = *address;
            stop.memory = memoryAt(*address, std::uint32_t(m_memoryLength));
            // Near the end of the memory: as much as there is.
            for (int length = m_memoryLength / 2; stop.memory.isEmpty() && length > 0; length /= 2)
                stop.memory = memoryAt(*address, std::uint32_t(length));
        }
        if (stop.memory.isEmpty())
            emit message(tr("The memory at %1 cannot be read.").arg(m_memoryAddress));
    }
    publish(stop, again);
}

void LineTableDebugger::refresh()
{
    if (state() == State::Paused)
        stopHere(QStringLiteral("attached"), true);
}
