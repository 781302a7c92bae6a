#pragma once

#include "processengine.h"
#include "ptyconsole.h"

#include <QFile>
#include <QSet>

// 8051 controllers, simulated by ucsim's s51 run as a console program, driven through the
// console it serves on a terminal of VEXA's own (on a pipe it holds its answers back). s51
// records every change of the ports, and of PCON and IE, with its time in a change file of
// its own, so the firmware runs without a stop at each pin change; each run is given an end
// at a time, where s51 stops after the instruction that reaches it, so a run ends within one
// instruction of the time asked for. s51 answers a command only about ten times a second, so
// every run is one command and covers much time. The serial port is a second terminal.
// A call never waits long for a run: it starts one or looks whether the one going has ended.
class UcsimEngine : public ProcessEngine
{
public:
    ~UcsimEngine() override;

    QString load(const QString &hexFile, const QString &device, double clockHz) override;
    bool runUntil(std::uint64_t untilNs) override;
    void reset() override;
    void halt() override;
    std::uint64_t sliceNs() const override { return 1000000000; }
    // s51 answers a command only about ten times a second.
    std::uint64_t answerNs() const override { return 250000000; }
    bool canDriveInputs() const override { return true; }
    void setInput(const QString &pin, bool level) override;
    bool canReceiveSerial() const override { return true; }
    void sendSerial(int port, char byte) override;
    // Debugging through s51's fetch breakpoints and steps; the memory is the internal RAM
    // from 0, the external RAM from 0x10000 and the special function registers (0x80 to 0xff)
    // from 0x20000.
    bool canDebug() const override { return m_loaded; }
    void setCodeBreakpoints(const QSet<std::uint32_t> &addresses) override;
    bool stepInstruction() override;
    std::uint32_t programCounter() const override { return m_pc; }
    QByteArray readMemory(std::uint32_t address, std::uint32_t length) const override;
    QList<std::pair<QString, std::uint32_t>> cpuRegisters() const override;
    static constexpr std::uint32_t externalBase = 0x10000;
    static constexpr std::uint32_t sfrBase = 0x20000;

private:
    // Asks for the four ports and takes their levels as of now.
    bool readPorts();
    // After a run has stopped: its time, the changes it recorded, the serial output, and
    // whether the firmware ended the run.
    bool completeRun();
    void readChanges();
    void readSerial();
    std::uint64_t clocksToNs(std::uint64_t clocks) const;

    double m_clockHz = 0;
    PtyConsole m_terminal;
    PtyConsole m_serial;
    QFile m_changes;
    QByteArray m_pendingChanges;
    // Clocks since the load, and at the last reset, from which s51 counts its own time.
    std::uint64_t m_clocks = 0;
    std::uint64_t m_resetClocks = 0;
    bool m_running = false;
    QString m_runOutput;
    // The time of the change being read (since the last reset, in picoseconds), the values of
    // PCON and IE as of then, and when the firmware ended the run.
    std::uint64_t m_changePs = 0;
    unsigned m_pcon = 0;
    unsigned m_ie = 0;
    std::uint64_t m_endNs = 0;
    bool m_ended = false;
    // What the circuit outside drives the ports' pins to (a pin held low by a button), and
    // whether s51 has still to be told.
    unsigned char m_outside[4] = {0xff, 0xff, 0xff, 0xff};
    bool m_outsideChanged = false;
    // Whether s51 looks for serial input at every cycle (which slows it tenfold) rather than
    // about ten times a second: while typed bytes wait.
    bool m_checkSerialOften = false;
    // Typed bytes not yet given to s51. s51 may take every byte on its terminal at once and
    // lose all but the first, so they go one at a time: the next once three runs have passed
    // since the last, s51 has read it and the firmware has taken it from the receiver (RI
    // clear); or after fifty runs, as a wire would overrun a receiver nobody reads, so that a
    // firmware that never reads does not keep the runs short for ever.
    QByteArray m_typed;
    int m_runsSinceTyped = -1; // -1: none on its way
    bool receiverTaken();
    QSet<std::uint32_t> m_breaks;
    std::uint32_t m_pc = 0;
};
