#include "sourcedebugger.h"

#include "gdbdebugger.h"

std::unique_ptr<SourceDebugger> SourceDebugger::forFamily(const QString &family, SimulationRun &run)
{
    if (family.compare(QLatin1String("AVR"), Qt::CaseInsensitive) == 0)
        return std::make_unique<GdbDebugger>(run);
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
