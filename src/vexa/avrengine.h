#pragma once

#include "engine.h"

#include <QHash>
#include <QList>

#include <vector>

struct avr_t;
struct avr_irq_t;

// AVR controllers, simulated in this process by libsimavr.
class AvrEngine : public Engine
{
public:
    AvrEngine();
    ~AvrEngine() override;

    QString load(const QString &hexFile, const QString &device, double clockHz) override;
    bool isLoaded() const override { return m_avr != nullptr; }
    QStringList pins() const override;
    bool runUntil(std::uint64_t untilNs) override;
    std::uint64_t timeNs() const override;
    void reset() override;
    bool canDriveInputs() const override { return true; }
    void setInput(const QString &pin, bool level) override;
    bool canReceiveSerial() const override { return true; }
    QStringList serialPorts() const override;
    QStringList analogInputs() const override;
    void setAnalogInput(const QString &input, double volts) override;
    void sendSerial(int port, char byte) override;
    bool canDebug() const override { return m_avr != nullptr; }
    void setCodeBreakpoints(const QSet<std::uint32_t> &addresses) override;
    void setStepRange(std::uint32_t rangeStart, std::uint32_t rangeEnd) override;
    void clearStepRange() override;
    bool stepInstruction() override;
    std::uint32_t programCounter() const override;
    // r0..r31, SREG, SP (two bytes), PC (four bytes, a byte address).
    QByteArray registerBlock() const override;
    bool setRegisterBlock(const QByteArray &block) override;
    // Flash from 0, the data space (registers, I/O and SRAM) from 0x800000, the EEPROM from
    // 0x810000.
    QByteArray readMemory(std::uint32_t address, std::uint32_t length) const override;
    bool writeMemory(std::uint32_t address, const QByteArray &bytes) override;

private:
    struct PinHook
    {
        AvrEngine *engine;
        QString name;
        char port;
        int bit;
    };
    static void pinNotify(avr_irq_t *irq, std::uint32_t value, void *param);
    struct UartHook
    {
        AvrEngine *engine;
        int port;
    };
    static void uartNotify(avr_irq_t *irq, std::uint32_t value, void *param);
    void unload();
    void publishLevels();
    // Whether the run must stop before the instruction at pc.
    bool isDebugStop(std::uint32_t pc) const
    {
        if (m_rangeActive && (pc < m_rangeStart || pc >= m_rangeEnd))
            return true;
        return pc / 2 < m_breakAt.size() && m_breakAt[pc / 2];
    }
    // Why runUntil stopped, once the controller cannot go on.
    void noteStopState(int state);

    avr_t *m_avr = nullptr;
    QList<PinHook *> m_hooks;
    QList<UartHook *> m_uartHooks;
    QByteArray m_uarts; // the controller's UARTs, by their digits
    // What the board drives the input pins with: a reset of the controller leaves the circuit
    // around it as it was, so it is given again (the ADC keeps its voltages by itself).
    QHash<QString, bool> m_drivenPins;
    // The debugger's stops: one flag per program word, and the range a step stays in.
    std::vector<bool> m_breakAt;
    bool m_hasBreakpoints = false;
    bool m_rangeActive = false;
    std::uint32_t m_rangeStart = 0;
    std::uint32_t m_rangeEnd = 0;
};
