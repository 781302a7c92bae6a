#pragma once

#include "processengine.h"

#include <QFile>
#include <QMap>
#include <QSet>

// PIC controllers, simulated by gpsim run as a console program. Every write to a port or to
// the serial transmitter is logged with its instruction cycle, so pin changes keep their
// exact time however the run is cut into steps.
class GpsimEngine : public ProcessEngine
{
public:
    QString load(const QString &hexFile, const QString &device, double clockHz) override;
    bool runUntil(std::uint64_t untilNs) override;
    void reset() override;
    // A button is a pull-up of gpsim's modules on its pin, its voltage 0 while pressed.
    bool canDriveInputs() const override { return true; }
    void setInput(const QString &pin, bool level) override;
    // Typed bytes go to the receive pin through a serial port of gpsim's modules, at the
    // speed the firmware set its own to.
    bool canReceiveSerial() const override { return !m_receivePin.isEmpty(); }
    void sendSerial(int port, char byte) override;
    // A voltage is a pull-up of gpsim's modules on the analog input's pin, at that voltage.
    QStringList analogInputs() const override { return m_analogPins.keys(); }
    void setAnalogInput(const QString &input, double volts) override;
    // Each step is a conversation with the program: long steps keep its cost small, and the
    // log keeps every write's own cycle however long the step.
    std::uint64_t sliceNs() const override { return 100000000; }
    // Debugging through gpsim's execution breaks and steps; addresses are program words, the
    // memory is the file registers of all banks.
    bool canDebug() const override { return m_loaded; }
    void setCodeBreakpoints(const QSet<std::uint32_t> &addresses) override;
    bool stepInstruction() override;
    std::uint32_t programCounter() const override { return m_pc; }
    QByteArray readMemory(std::uint32_t address, std::uint32_t length) const override;
    QList<std::pair<QString, std::uint32_t>> cpuRegisters() const override;

private:
    void readLog();
    // gpsim's breaks at program addresses, by number and address.
    QList<std::pair<int, std::uint32_t>> executionBreaks();
    // The file registers and W as gpsim dumps them; empty when it did not answer.
    QByteArray dumpRegisters(std::uint32_t *w) const;
    // At a SLEEP: false, with firmwareEnded(), when nothing could wake the controller.
    bool checkSleep();
    // Drives a pin through a pull-up module of its own, made the first time.
    void drivePin(const QString &pin, double volts);
    std::uint64_t cyclesToNs(std::uint64_t cycles) const;

    double m_clockHz = 0;
    std::uint64_t m_cycle = 0;
    QStringList m_ports;
    QFile m_log;
    QByteArray m_pending;
    std::uint64_t m_logCycle = 0;
    // gpsim's name of the serial port's receive pin ("portc7"); empty without a serial port.
    QString m_receivePin;
    bool m_uartMade = false;
    double m_uartBaud = 0;
    QStringList m_drivenPins;
    // The analog inputs ("AN0") of the part and the pins they are on ("RA0").
    QMap<QString, QString> m_analogPins;
    // The program addresses of the firmware's SLEEP instructions, where a run stops to look
    // whether anything could wake the controller; and whether the watchdog can.
    QList<std::uint32_t> m_sleeps;
    bool m_watchdogOn = false;
    bool m_hasPie2 = false;
    QSet<std::uint32_t> m_debugBreaks;
    std::uint32_t m_pc = 0;
    // The last dump of the registers, for as long as the controller has not run since (and
    // nothing drove its pins).
    mutable QByteArray m_dump;
    mutable std::uint32_t m_dumpW = 0;
    mutable std::optional<std::uint64_t> m_dumpCycle;
};
