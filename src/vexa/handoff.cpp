#include "handoff.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QSettings>

bool HandOff::read(const QString &path, HandOff *handOff, QString *error)
{
    if (!QFileInfo::exists(path)) {
        *error = QCoreApplication::translate("HandOff", "The hand-off file %1 does not exist.")
                     .arg(path);
        return false;
    }
    // Only a regular file of a sane size: a FIFO or a device would hold VEXA for ever.
    const QFileInfo info(path);
    if (!info.isFile() || info.size() > 1024 * 1024) {
        *error = QCoreApplication::translate("HandOff", "The hand-off file %1 cannot be read.")
                     .arg(path);
        return false;
    }
    QSettings file(path, QSettings::IniFormat);
    file.beginGroup(QStringLiteral("CIRRANE"));
    handOff->designFile = file.value(QStringLiteral("DESIGNFILE")).toString();
    handOff->program = file.value(QStringLiteral("PROGRAM")).toString();
    handOff->clock = file.value(QStringLiteral("CLOCK")).toString();
    handOff->device = file.value(QStringLiteral("DEVICE")).toString();
    handOff->family = file.value(QStringLiteral("FAMILY")).toString();
    handOff->autorun = file.value(QStringLiteral("AUTORUN")).toString() == QLatin1String("1");
    handOff->newDesign = file.value(QStringLiteral("NEWDESIGN")).toString() == QLatin1String("1");
    if (file.status() != QSettings::NoError) {
        *error = QCoreApplication::translate("HandOff", "The hand-off file %1 cannot be read.")
                     .arg(path);
        return false;
    }
    return true;
}
