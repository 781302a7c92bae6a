#pragma once

#include "processengine.h"
#include "ptyconsole.h"

#include <QElapsedTimer>
#include <QFile>

// 8051 controllers, simulated by ucsim's s51 run as a console program, driven through the
// console it serves on a terminal of VEXA's own (on a pipe it holds its answers back). The firmware runs
// until it writes a port, where a breakpoint stops it, so every pin change has its exact
// time; a run that writes no port is stopped once enough time has passed. s51 notices a stop
// only about ten times a second, so a run can go on past the time asked for. The serial
// port's output goes to a file that is read after each run. A call never waits for a run:
// it starts one or looks whether the one going has stopped.
class UcsimEngine : public ProcessEngine
{
public:
    ~UcsimEngine() override;

    QString load(const QString &hexFile, const QString &device, double clockHz) override;
    bool runUntil(std::uint64_t untilNs) override;
    void reset() override;
    void halt() override;
    // A run that writes no port costs about a tenth of a second of the wall clock whatever its
    // length.
    std::uint64_t sliceNs() const override { return 400000000; }

private:
    // Asks for the four ports and takes their levels as of now.
    bool readPorts();
    bool completeRun();
    void readSerial();

    double m_clockHz = 0;
    QFile m_serial;
    std::uint64_t m_resetNs = 0;
    bool m_running = false;
    bool m_stopAsked = false;
    QString m_runOutput;
    QElapsedTimer m_runWall;
    qint64 m_runWallMs = 0;
    PtyConsole m_terminal;
};
