#pragma once

#include <QString>
#include <QTextCharFormat>

// The fonts and colours of the display settings, by display group and item.
class DisplayFormats
{
public:
    virtual ~DisplayFormats() = default;

    virtual QTextCharFormat displayFormat(const QString &group, const QString &item) const = 0;
    // Whether the item keeps the system's colour for its foreground (or background).
    virtual bool usesDefaultColour(const QString &group,
                                   const QString &item,
                                   bool foreground) const = 0;
};
