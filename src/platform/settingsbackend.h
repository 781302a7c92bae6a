#pragma once

#include <QString>

#include <memory>

class QSettings;

namespace Platform {

// Detached: settings held in memory from their defaults, never read from or written to disk
// (for work done where there is no main window).
enum class SettingsScope { User, Machine, Detached };

// The program's native settings object: organization "Morvellan Electronics", application
// "DYX Studio", at user or machine (all users) scope.
std::unique_ptr<QSettings> createSettings(SettingsScope scope);

QString organizationName();
QString applicationName();

} // namespace Platform
