#pragma once

#include "engine.h"

#include <QList>

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

    avr_t *m_avr = nullptr;
    QList<PinHook *> m_hooks;
    QList<UartHook *> m_uartHooks;
    QByteArray m_uarts; // the controller's UARTs, by their digits
};
