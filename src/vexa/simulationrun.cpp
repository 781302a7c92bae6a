#include "simulationrun.h"

#include "platform/toolrun.h"

#include <cmath>
#include <limits>
#include <utility>

#include <QElapsedTimer>
#include <QFileInfo>

namespace {

qint64 monotonicNs()
{
    static QElapsedTimer clock = [] {
        QElapsedTimer started;
        started.start();
        return started;
    }();
    return clock.nsecsElapsed();
}

// The work one turn may take, and the longest lag a paced run catches up rather than drops.
constexpr qint64 turnBudgetNs = 8000000;
constexpr std::uint64_t dropLagNs = 100000000;
// How long a port stays quiet before a line without its end is given as it stands.
constexpr std::uint64_t serialIdleNs = 250000000;

// Serial bytes as text: UTF-8 where they form it (a firmware built from UTF-8 sources writes
// "°" as two bytes), every other byte as ISO 8859-1 (as one of Latin-1 sources writes it). The
// bytes taken go; a character still arriving stays, unless the bytes are taken whole.
QString takeSerialText(QByteArray &bytes, bool whole)
{
    QString text;
    qsizetype at = 0;
    while (at < bytes.size()) {
        const auto lead = uchar(bytes.at(at));
        const int length = lead < 0xC2   ? 1
                           : lead < 0xE0 ? 2
                           : lead < 0xF0 ? 3
                           : lead < 0xF5 ? 4
                                         : 1;
        qsizetype next = at + 1;
        while (next < bytes.size() && next < at + length && (uchar(bytes.at(next)) & 0xC0) == 0x80)
            ++next;
        if (length > 1 && next == bytes.size() && next < at + length && !whole)
            break;
        const QByteArray sequence = bytes.mid(at, length);
        const QString character = QString::fromUtf8(sequence);
        if (length > 1 && next == at + length && character.toUtf8() == sequence) {
            text += character;
            at = next;
        } else {
            text += QChar::fromLatin1(bytes.at(at));
            ++at;
        }
    }
    bytes.remove(0, at);
    return text;
}

} // namespace

SimulationRun::SimulationRun(QObject *parent, EngineMaker makeEngine, Clock wallClock)
    : QObject(parent)
    , m_makeEngine(std::move(makeEngine))
    , m_clock(wallClock ? std::move(wallClock) : Clock(&monotonicNs))
{
    connect(&m_timer, &QTimer::timeout, this, &SimulationRun::tick);
}

SimulationRun::~SimulationRun()
{
    m_trace.close(timeNs());
}

bool SimulationRun::load(const HandOff &handOff)
{
    stop();
    m_device = handOff.device;
    if (m_engineFamily != handOff.family.toUpper() || !m_engine) {
        m_engine = m_makeEngine(handOff.family);
        m_engineFamily = handOff.family.toUpper();
        if (m_engine) {
            m_engine->pinChanged = [this](const QString &pin, bool level, std::uint64_t t) {
                onPinChanged(pin, level, t);
            };
            m_engine->serialOutput = [this](int port, char byte) { onSerialByte(port, byte); };
        }
    }
    m_levels.clear();
    m_serial.clear();
    if (!m_engine) {
        emit problem(tr("No simulation engine simulates the %1 family (controller %2).")
                         .arg(handOff.family, handOff.device));
        return false;
    }
    if (handOff.program.isEmpty() || !QFileInfo::exists(handOff.program)) {
        // The engine still holds the firmware of the last hand-off, which a run must not take
        // for this one's.
        m_engine.reset();
        m_engineFamily.clear();
        const QString text = tr("The firmware %1 does not exist: build the project first.")
                                 .arg(handOff.program);
        if (handOff.autorun || m_timedPending)
            emit problem(text);
        else
            emit notice(text);
        return false;
    }
    const QString failure = m_engine->load(handOff.program,
                                           handOff.device,
                                           Engine::parseClock(handOff.clock));
    if (!failure.isEmpty()) {
        emit problem(failure);
        return false;
    }
    return true;
}

void SimulationRun::setTimedRun(double seconds, const QString &traceFile)
{
    m_timedSeconds = seconds;
    m_traceFile = traceFile;
    m_timedPending = seconds > 0;
}

void SimulationRun::abandonTimedRun()
{
    if (m_timedPending || m_timedActive)
        finishTimedRun(false);
}

void SimulationRun::start()
{
    if (!isLoaded()) {
        emit problem(tr("There is no firmware loaded to run."));
        abandonTimedRun();
        return;
    }
    if (m_timedPending) {
        m_timedPending = false;
        m_timedActive = true;
        m_timedStartNs = m_engine->timeNs();
        m_timedEndNs = m_timedStartNs + std::uint64_t(std::llround(m_timedSeconds * 1e9));
        m_nextInput = 0;
        if (!m_traceFile.isEmpty()) {
            QString error;
            if (!m_trace.open(m_traceFile, m_device, m_engine->pins(), &error)) {
                emit problem(error);
                finishTimedRun(false);
                return;
            }
            for (auto it = m_levels.cbegin(); it != m_levels.cend(); ++it)
                m_trace.change(it.key(), it.value(), m_engine->timeNs());
        }
    }
    m_wallStartNs = m_clock();
    m_aliveNs = m_wallStartNs;
    m_runStartNs = m_engine->timeNs();
    m_speedWallNs = m_wallStartNs;
    m_speedStartNs = m_runStartNs;
    m_timer.start(m_timedActive ? 0 : 10);
    emit stateChanged();
}

void SimulationRun::stop()
{
    m_timer.stop();
    if (m_engine)
        m_engine->halt();
    flushSerial(true);
    if (m_timedActive)
        finishTimedRun(false);
    emit stateChanged();
}

void SimulationRun::reset()
{
    if (!m_engine)
        return;
    m_engine->reset();
    m_runStartNs = m_engine->timeNs();
    m_wallStartNs = m_clock();
}

void SimulationRun::tick()
{
    if (!m_engine)
        return;
    const qint64 turnStart = m_clock();
    const auto inBudget = [&] { return m_clock() - turnStart < turnBudgetNs; };
    bool ok = true;
    if (m_timedActive) {
        while (ok && m_engine->timeNs() < m_timedEndNs && inBudget()) {
            applyDueInputs();
            ok = m_engine->runUntil(
                std::min({m_timedEndNs, m_engine->timeNs() + m_engine->sliceNs(), nextInputNs()}));
        }
        if (ok)
            applyDueInputs();
    } else {
        std::uint64_t due = m_runStartNs + std::uint64_t(turnStart - m_wallStartNs);
        // A lag of more than a tenth of a second, beyond what the engine takes to answer, is
        // dropped, not caught up.
        if (due > m_engine->timeNs() + dropLagNs + 2 * m_engine->answerNs()) {
            m_runStartNs = m_engine->timeNs();
            m_wallStartNs = turnStart;
            due = m_engine->timeNs();
        }
        while (ok && m_engine->timeNs() < due && inBudget()) {
            const std::uint64_t before = m_engine->timeNs();
            ok = m_engine->runUntil(std::min(due, before + m_engine->sliceNs()));
            if (m_engine->timeNs() == before || m_engine->stoppedForDebugger())
                break;
        }
    }
    flushSerial(!ok);
    const qint64 now = m_clock();
    if (ok && m_engine->stoppedForDebugger()) {
        m_timer.stop();
        flushSerial(true);
        emit debuggerStop();
    } else if (!ok && m_timedActive && m_engine->firmwareEnded()) {
        m_timer.stop();
        m_engine->halt();
        emit firmwareEnded(m_engine->timeNs());
        finishTimedRun(true);
    } else if (!ok) {
        m_timer.stop();
        m_engine->halt();
        emit problem(m_engine->error());
        if (m_timedActive)
            finishTimedRun(false);
    } else if (m_timedActive && m_engine->timeNs() >= m_timedEndNs) {
        m_timer.stop();
        m_engine->halt();
        finishTimedRun(true);
    } else if (m_timedActive && now - m_aliveNs >= 1000000000) {
        // The IDE waits for the run's end; this tells it the run goes on.
        emit alive(m_engine->timeNs());
        m_aliveNs = now;
    }
    // The speed changes a few times a second: saying it on every turn would cost the window
    // more than the simulation.
    if (now - m_speedWallNs >= 250000000 || !isRunning()) {
        m_speed = double(m_engine->timeNs() - m_speedStartNs)
                  / double(std::max<qint64>(1, now - m_speedWallNs));
        m_speedWallNs = now;
        m_speedStartNs = m_engine->timeNs();
        emit stateChanged();
    }
}

std::uint64_t SimulationRun::nextInputNs() const
{
    if (m_nextInput >= m_inputs.size())
        return std::numeric_limits<std::uint64_t>::max();
    return m_timedStartNs + std::uint64_t(std::llround(m_inputs.at(m_nextInput).seconds * 1e9));
}

void SimulationRun::applyDueInputs()
{
    while (m_nextInput < m_inputs.size() && nextInputNs() <= m_engine->timeNs()
           && nextInputNs() < m_timedEndNs) {
        const TimedInput &input = m_inputs.at(m_nextInput++);
        if (!input.pin.isEmpty()) {
            if (!m_engine->canDriveInputs())
                emit problem(tr("This controller's pins take no input in this simulator."));
            else
                m_engine->setInput(input.pin, input.level);
            continue;
        }
        const int port = int(m_engine->serialPorts().indexOf(input.uart));
        if (port < 0 || !m_engine->canReceiveSerial()) {
            emit problem(tr("The serial port %1 takes no input in this simulator.").arg(input.uart));
            continue;
        }
        for (const char byte : input.text)
            m_engine->sendSerial(port, byte);
    }
}

void SimulationRun::finishTimedRun(bool reachedEnd)
{
    m_timedActive = false;
    m_timedPending = false;
    flushSerial(true);
    const std::uint64_t now = timeNs();
    QString traceProblem;
    if (!m_trace.close(now, &traceProblem)) {
        // A run whose trace is cut short has not done what it was asked.
        emit problem(traceProblem);
        reachedEnd = false;
    }
    emit timedRunEnded(reachedEnd, now);
}

void SimulationRun::onPinChanged(const QString &pin, bool level, std::uint64_t timeNs)
{
    m_levels.insert(pin, level);
    m_trace.change(pin, level, timeNs);
    emit pinChanged(pin, level);
}

void SimulationRun::onSerialByte(int port, char byte)
{
    if (port < 0)
        return;
    if (port >= m_serial.size())
        m_serial.resize(port + 1);
    SerialPort &serial = m_serial[port];
    serial.lastByteNs = timeNs();
    serial.arriving.append(byte);
    if (const QString text = takeSerialText(serial.arriving, false); !text.isEmpty())
        emit serialText(port, text);
    if (byte == '\r' || byte == '\n') {
        // "\r\n" (or "\n\r") ends one line.
        const char before = std::exchange(serial.lineEnd, byte);
        if (before != 0 && before != byte) {
            serial.lineEnd = 0;
            return;
        }
        giveLine(port);
        return;
    }
    serial.lineEnd = 0;
    serial.line.append(byte);
    if (serial.line.size() >= maxSerialLineBytes)
        giveLine(port, false);
}

void SimulationRun::giveLine(int port, bool whole)
{
    SerialPort &serial = m_serial[port];
    // Quiet: what came of a character is all there is of it.
    if (whole && !serial.arriving.isEmpty())
        emit serialText(port, takeSerialText(serial.arriving, true));
    emit serialLine(port, Platform::withoutTerminalControls(takeSerialText(serial.line, whole)));
}

void SimulationRun::flushSerial(bool all)
{
    for (int port = 0; port < m_serial.size(); ++port) {
        SerialPort &serial = m_serial[port];
        if (serial.line.isEmpty() || (!all && timeNs() - serial.lastByteNs < serialIdleNs))
            continue;
        giveLine(port);
    }
}
