#pragma once

#include <QString>

#include <memory>

class QSettings;

namespace Platform {

enum class SettingsScope { User, Machine };

// The program's native settings object: organization "Morvellan Electronics", application
// "DYX Studio", at user or machine (all users) scope.
std::unique_ptr<QSettings> createSettings(SettingsScope scope);

QString organizationName();
QString applicationName();

} // namespace Platform
