#include "settingsbackend.h"

#include <QSettings>

namespace Platform {

QString organizationName()
{
    return QStringLiteral("Morvellan Electronics");
}

QString applicationName()
{
    return QStringLiteral("DYX Studio");
}

static bool readNothing(QIODevice &, QSettings::SettingsMap &)
{
    return true;
}

static bool writeNothing(QIODevice &, const QSettings::SettingsMap &)
{
    return true;
}

std::unique_ptr<QSettings> createSettings(SettingsScope scope)
{
    if (scope == SettingsScope::Detached) {
        static const QSettings::Format inMemory = QSettings::registerFormat(QStringLiteral("none"),
                                                                            readNothing,
                                                                            writeNothing);
        // A name below a file, which no one can create: nothing is ever read or written.
        return std::make_unique<QSettings>(QStringLiteral("/dev/null/settings"), inMemory);
    }
    return std::make_unique<QSettings>(QSettings::NativeFormat,
                                       scope == SettingsScope::Machine ? QSettings::SystemScope
                                                                       : QSettings::UserScope,
                                       organizationName(),
                                       applicationName());
}

} // namespace Platform
