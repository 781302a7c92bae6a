#pragma once

#include "processengine.h"

#include <QFile>

// PIC controllers, simulated by gpsim run as a console program. Every write to a port or to
// the serial transmitter is logged with its instruction cycle, so pin changes keep their
// exact time however the run is cut into steps.
class GpsimEngine : public ProcessEngine
{
public:
    QString load(const QString &hexFile, const QString &device, double clockHz) override;
    bool runUntil(std::uint64_t untilNs) override;
    void reset() override;
    // Each step is a conversation with the program: long steps keep its cost small, and the
    // log keeps every write's own cycle however long the step.
    std::uint64_t sliceNs() const override { return 100000000; }

private:
    void readLog();
    std::uint64_t cyclesToNs(std::uint64_t cycles) const;

    double m_clockHz = 0;
    std::uint64_t m_cycle = 0;
    QStringList m_ports;
    QFile m_log;
    QByteArray m_pending;
    std::uint64_t m_logCycle = 0;
};
