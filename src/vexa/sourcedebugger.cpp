#include "sourcedebugger.h"

#include "gdbdebugger.h"
#include "mcsdebugger.h"
#include "picdebugger.h"

std::unique_ptr<SourceDebugger> SourceDebugger::forFamily(const QString &family, SimulationRun &run)
{
    if (family.compare(QLatin1String("AVR"), Qt::CaseInsensitive) == 0)
        return std::make_unique<GdbDebugger>(run);
    if (family.compare(QLatin1String("PIC16"), Qt::CaseInsensitive) == 0)
        return std::make_unique<PicDebugger>(run);
    if (family.compare(QLatin1String("MCS51"), Qt::CaseInsensitive) == 0
        || family.compare(QLatin1String("8051"), Qt::CaseInsensitive) == 0)
        return std::make_unique<McsDebugger>(run);
    return nullptr;
}

QList<SourceBreakpoint> SourceBreakpoint::listFromText(const QString &text)
{
    QList<SourceBreakpoint> breakpoints;
    for (const QString &line : text.split(QLatin1Char('\n'), Qt::SkipEmptyParts)) {
        bool ok = false;
        const int number = line.section(QLatin1Char(' '), 0, 0).toInt(&ok);
        const QString file = line.section(QLatin1Char(' '), 1);
        if (ok && number > 0 && !file.isEmpty() && !breakpoints.contains({file, number}))
            breakpoints.append({file, number});
    }
    return breakpoints;
}

void SourceDebugger::markChanges(QList<DebugValue> &values, const QString &group)
{
    for (DebugValue &value : values) {
        const QString key = group + QLatin1Char('\n') + value.name;
        const auto last = m_valuesBefore.constFind(key);
        value.changed = last != m_valuesBefore.cend() && *last != value.value;
        m_lastValues.insert(key, value.value);
    }
}

void SourceDebugger::publish(DebugStop stop, bool again)
{
    if (!again) {
        m_valuesBefore = m_lastValues;
        m_memoryBefore = m_lastMemory;
        m_memoryAddressBefore = m_lastMemoryAddress;
    }
    stop.again = again;
    markChanges(stop.registers, QStringLiteral("registers"));
    markChanges(stop.locals, QStringLiteral("locals ") + stop.where.function);
    markChanges(stop.globals, QStringLiteral("globals"));
    if (stop.memoryAddress == m_memoryAddressBefore && m_memoryBefore.size() == stop.memory.size()) {
        for (int i = 0; i < stop.memory.size(); ++i) {
            if (stop.memory.at(i) != m_memoryBefore.at(i))
                stop.changedBytes.append(i);
        }
    }
    m_lastMemory = stop.memory;
    m_lastMemoryAddress = stop.memoryAddress;
    emit stopped(stop);
}
