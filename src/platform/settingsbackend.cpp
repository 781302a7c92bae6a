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

std::unique_ptr<QSettings> createSettings(SettingsScope scope)
{
    return std::make_unique<QSettings>(QSettings::NativeFormat,
                                       scope == SettingsScope::Machine ? QSettings::SystemScope
                                                                       : QSettings::UserScope,
                                       organizationName(),
                                       applicationName());
}

} // namespace Platform
