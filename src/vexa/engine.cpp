#include "engine.h"

#include "avrengine.h"
#include "gpsimengine.h"
#include "ucsimengine.h"

#include <QRegularExpression>

std::unique_ptr<Engine> Engine::forFamily(const QString &family)
{
    const QString f = family.toUpper();
    if (f == QLatin1String("AVR"))
        return std::make_unique<AvrEngine>();
    if (f == QLatin1String("PIC16"))
        return std::make_unique<GpsimEngine>();
    if (f == QLatin1String("MCS51") || f == QLatin1String("8051"))
        return std::make_unique<UcsimEngine>();
    return nullptr;
}

double Engine::parseClock(const QString &text)
{
    static const QRegularExpression form(
        QStringLiteral("^\\s*([0-9]+(?:\\.[0-9]+)?)\\s*([kKmMgG]?)(?:[hH][zZ])?\\s*$"));
    const QRegularExpressionMatch match = form.match(text);
    if (!match.hasMatch())
        return 0;
    double value = match.captured(1).toDouble();
    const QString unit = match.captured(2).toLower();
    if (unit == QLatin1String("k"))
        value *= 1e3;
    else if (unit == QLatin1String("m"))
        value *= 1e6;
    else if (unit == QLatin1String("g"))
        value *= 1e9;
    return value;
}
