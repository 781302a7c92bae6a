#pragma once

#include <QString>

class SettingsStore;

// Where the simulator suite is installed: the directory the user stored, or the one its
// installer recorded in the registry.
class SimulatorInstallation
{
public:
    explicit SimulatorInstallation(SettingsStore &settings);

    // The registry search. Empty when nothing usable is recorded; an installation older
    // than 7.8 also gives empty and sets the "too old" flag.
    QString detectInstallation();
    // The directory to use; without forceDetect a stored one is taken as it is. A detected
    // directory counts only when it holds bin/vexa.exe.
    QString simulatorDirectory(bool forceDetect);

    bool tooOld() const { return m_tooOld; }

    static QString registryKey();

private:
    SettingsStore &m_settings;
    bool m_tooOld = false;
};
