#pragma once

#include <QByteArray>
#include <QSet>
#include <QString>
#include <QStringList>

#include <cstdint>
#include <functional>
#include <memory>

// One simulated controller running a firmware. Time is in nanoseconds of simulated time from
// the last load. An engine reports pin changes, serial output and failures through the
// callbacks; it is driven from one thread.
class Engine
{
public:
    virtual ~Engine() = default;

    // Loads a firmware (a checked Intel HEX file) into a fresh controller. An empty result
    // means success; otherwise it says what went wrong, and nothing stays loaded.
    virtual QString load(const QString &hexFile, const QString &device, double clockHz) = 0;
    virtual bool isLoaded() const = 0;
    // The controller's port pins, "PB5", "RB0", "P1.0" and the like, in port order.
    virtual QStringList pins() const = 0;
    // Runs until the simulated time reaches untilNs, or the firmware stops the controller.
    // False when the controller can run no further (error() says why).
    virtual bool runUntil(std::uint64_t untilNs) = 0;
    virtual std::uint64_t timeNs() const = 0;
    // How much simulated time one call of runUntil should cover at most, so that the window
    // gets its turn often enough.
    virtual std::uint64_t sliceNs() const { return 1000000; }
    // How long the engine may take to come back with a run it was asked for, when it runs
    // apart from the caller: a paced run falls that far behind the wall clock without dropping
    // the lag.
    virtual std::uint64_t answerNs() const { return 0; }
    // Stops whatever the engine still runs on its own, when it runs apart from the caller.
    virtual void halt() {}
    // Restarts the firmware from its reset vector; time goes on counting.
    virtual void reset() = 0;
    // Drives an input pin from outside (a push button).
    virtual bool canDriveInputs() const { return false; }
    virtual void setInput(const QString &pin, bool level) {}
    // The controller's serial ports, by the names of its hardware ("UART0", "UART1"...); the
    // first is the one a new design's terminal shows.
    virtual QStringList serialPorts() const { return {QStringLiteral("UART0")}; }
    // The analog inputs a voltage can be given to ("ADC0"...), and the voltage of one, in volts
    // (the controller runs at 5 V, its ADC referred to it).
    virtual QStringList analogInputs() const { return {}; }
    virtual void setAnalogInput(const QString &input, double volts) {}
    // A byte typed into the serial terminal, for a port by its place in serialPorts().
    virtual bool canReceiveSerial() const { return false; }
    virtual void sendSerial(int port, char byte) {}
    // Debugging at the instruction level, for engines that offer it (the source-level debugger
    // works through these). Addresses are in the program memory's own units: bytes on the AVR
    // and the 8051, words on the PIC16.
    virtual bool canDebug() const { return false; }
    // runUntil stops before an instruction at one of these addresses, or, with a step range
    // set, before the first instruction outside [rangeStart, rangeEnd).
    virtual void setCodeBreakpoints(const QSet<std::uint32_t> &addresses) {}
    virtual void setStepRange(std::uint32_t rangeStart, std::uint32_t rangeEnd) {}
    virtual void clearStepRange() {}
    // Where the controller will execute next, and its working registers by name, for a
    // debugger whose engine offers no register block.
    virtual std::uint32_t programCounter() const { return 0; }
    virtual QList<std::pair<QString, std::uint32_t>> cpuRegisters() const { return {}; }
    // Runs one instruction (an interrupt's entry counts as one); false when the controller
    // can run no further.
    virtual bool stepInstruction() { return false; }
    // The registers in the order a debugger reads them, as raw little-endian bytes.
    virtual QByteArray registerBlock() const { return {}; }
    virtual bool setRegisterBlock(const QByteArray &block) { return false; }
    // Memory in the debugger's address space; empty when the range is not readable.
    virtual QByteArray readMemory(std::uint32_t address, std::uint32_t length) const { return {}; }
    virtual bool writeMemory(std::uint32_t address, const QByteArray &bytes) { return false; }
    // Whether the last runUntil ended early at a breakpoint or leaving the step range.
    bool stoppedForDebugger() const { return m_debugStop; }

    // The last failure, for the window and the IDE.
    QString error() const { return m_error; }
    // The firmware ended the run itself (on the AVR: sleep with interrupts off): runUntil said
    // it can run no further because the firmware chose so.
    bool firmwareEnded() const { return m_firmwareEnded; }
    std::function<void(const QString &pin, bool level, std::uint64_t timeNs)> pinChanged;
    // A byte the firmware sent on a port, by its place in serialPorts().
    std::function<void(int port, char byte)> serialOutput;

    // The engine for a family, or null when none simulates it.
    static std::unique_ptr<Engine> forFamily(const QString &family);
    // Parses a clock text such as "16MHz", "11.0592 MHz", "32768Hz" or "4000000"; 0 when it
    // is not one.
    static double parseClock(const QString &text);

protected:
    QString m_error;
    bool m_firmwareEnded = false;
    bool m_debugStop = false;
};
