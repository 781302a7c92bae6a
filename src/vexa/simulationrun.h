#pragma once

#include "design.h"
#include "engine.h"
#include "handoff.h"
#include "vcdwriter.h"

#include <QHash>
#include <QObject>
#include <QTimer>

#include <cstdint>
#include <functional>
#include <memory>

// A simulation as it runs, apart from any window: the engine of the controller's family with
// its firmware, paced to the wall clock, or, for a timed run asked for by the IDE, flat out to
// the simulated time asked for, with the pins traced to a file; the pins' levels, and the
// serial output of each port in lines (a line left without its end is given as it stands once
// the port has been quiet for a quarter of a simulated second, and when the run stops). A turn
// never takes more than a few milliseconds, so that the window around it keeps answering.
class SimulationRun : public QObject
{
    Q_OBJECT

public:
    using EngineMaker = std::function<std::unique_ptr<Engine>(const QString &family)>;
    // Monotonic nanoseconds of the wall clock.
    using Clock = std::function<qint64()>;

    explicit SimulationRun(QObject *parent = nullptr,
                           EngineMaker makeEngine = &Engine::forFamily,
                           Clock wallClock = Clock());
    ~SimulationRun() override;

    // Stops, and loads the hand-off's firmware on the engine of its family (kept from the last
    // load when the family is the same); false, with the problem said, when there is no such
    // engine or the firmware does not load. A firmware not built yet leaves no firmware
    // loaded; when the hand-off does not ask for a run, that is a notice, not a problem.
    bool load(const HandOff &handOff);
    Engine *engine() const { return m_engine.get(); }
    // The controller of the last hand-off loaded ("PIC16F877A").
    QString device() const { return m_device; }
    bool isLoaded() const { return m_engine && m_engine->isLoaded(); }
    // The next start runs flat out for so many simulated seconds, tracing the pins to a file
    // when one is named, and then stops and says how it ended.
    void setTimedRun(double seconds, const QString &traceFile);
    // What a timed run gives the firmware on its way, at times counted from its start.
    void setTimedInputs(const QList<TimedInput> &inputs) { m_inputs = inputs; }
    bool isTimedRunPending() const { return m_timedPending; }
    // A timed run asked for ends unrun: it did not reach its end.
    void abandonTimedRun();

    void start();
    void stop();
    // Restarts the firmware; the pacing starts again from now.
    void reset();
    bool isRunning() const { return m_timer.isActive(); }
    std::uint64_t timeNs() const { return m_engine ? m_engine->timeNs() : 0; }
    // Simulated time against wall time over the last quarter second of the run.
    double speed() const { return isRunning() ? m_speed : 0.0; }
    bool pinLevel(const QString &pin) const { return m_levels.value(pin); }

    // One turn of the run (the timer's).
    void tick();

    // A firmware that writes a status line again and again, each ended with "\r" only, or that
    // never ends a line, still gives lines of this length at most.
    static constexpr int maxSerialLineBytes = 1024;

signals:
    void pinChanged(const QString &pin, bool level);
    // Serial output of a port (by its place in the engine's serialPorts()) as it comes.
    void serialText(int port, const QString &text);
    // Each line of a port's serial output, once ended ("\n", "\r" or the two together), left,
    // or as long as maxSerialLineBytes; without terminal controls.
    void serialLine(int port, const QString &line);
    void problem(const QString &text);
    void notice(const QString &text);
    // A timed run ended: at its end, or not (a failure, a stop, a trace cut short).
    void timedRunEnded(bool reachedEnd, std::uint64_t timeNs);
    // A timed run goes on (about once a second of wall time).
    void alive(std::uint64_t timeNs);
    // The firmware ended a timed run itself, before its time: the run ends there.
    void firmwareEnded(std::uint64_t timeNs);
    // The run stopped where the debugger asked it to (a breakpoint, the end of a step range);
    // stateChanged follows.
    void debuggerStop();
    // Started, stopped, or the speed changed.
    void stateChanged();

private:
    void finishTimedRun(bool reachedEnd);
    // Gives the engine the timed inputs whose time has come.
    void applyDueInputs();
    std::uint64_t nextInputNs() const;
    void onPinChanged(const QString &pin, bool level, std::uint64_t timeNs);
    void onSerialByte(int port, char byte);
    // Gives the port's line as it stands, and starts another; a character still arriving goes
    // on into it unless the line is given whole.
    void giveLine(int port, bool whole = true);
    // Gives the lines left without their end: all of them, or those quiet for a while.
    void flushSerial(bool all);

    EngineMaker m_makeEngine;
    Clock m_clock;
    std::unique_ptr<Engine> m_engine;
    QString m_engineFamily;
    QString m_device;
    QTimer m_timer;
    QHash<QString, bool> m_levels;
    struct SerialPort
    {
        QByteArray line;
        QByteArray arriving; // the bytes of a character not yet whole
        std::uint64_t lastByteNs = 0;
        char lineEnd = 0; // the line end that came last, if one did
    };
    QList<SerialPort> m_serial;
    VcdWriter m_trace;
    // Pacing: simulated time against the wall clock since the run began.
    qint64 m_wallStartNs = 0;
    std::uint64_t m_runStartNs = 0;
    qint64 m_aliveNs = 0;
    qint64 m_speedWallNs = 0;
    std::uint64_t m_speedStartNs = 0;
    double m_speed = 0;
    // A timed run: as fast as possible up to its end, then reported.
    double m_timedSeconds = 0;
    QString m_traceFile;
    bool m_timedPending = false;
    bool m_timedActive = false;
    std::uint64_t m_timedEndNs = 0;
    std::uint64_t m_timedStartNs = 0;
    QList<TimedInput> m_inputs;
    qsizetype m_nextInput = 0;
};
