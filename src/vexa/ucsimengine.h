#pragma once

#include "processengine.h"

#include <QFile>
#include <QTcpSocket>

// 8051 controllers, simulated by ucsim's s51 run as a console program. The firmware runs in
// short steps through its console, which it serves on a local TCP port (on a pipe it
// gives no prompts to wait for); after each step the ports are read, so a pin change is placed within a fraction
// of a millisecond. The serial port's output goes to a file that is read after each step.
class UcsimEngine : public ProcessEngine
{
public:
    QString load(const QString &hexFile, const QString &device, double clockHz) override;
    bool runUntil(std::uint64_t untilNs) override;
    void reset() override;

private:
    void readPorts(const QString &answer);
    void readSerial();

    double m_clockHz = 0;
    double m_nsPerInstruction = 1000;
    QFile m_serial;
    std::uint64_t m_resetNs = 0;
    QTcpSocket m_consoleSocket;
};
