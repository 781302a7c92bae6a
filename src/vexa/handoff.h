#pragma once

#include <QString>

// What the IDE handed over in its hand-off file.
struct HandOff
{
    QString designFile;
    QString program;
    QString clock;
    QString device;
    QString family;
    bool autorun = false;
    bool newDesign = false;

    static bool read(const QString &path, HandOff *handOff, QString *error);
};
