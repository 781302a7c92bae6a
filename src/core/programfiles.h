#pragma once

#include "settingsfiles.h"

#include "platform/settingsbackend.h"

#include <memory>

class MainServices;

// The program's settings store and its XML files; parse errors go to the hub's output.
class ProgramFiles : public SettingsFiles
{
public:
    ProgramFiles(MainServices &mainWindow, Platform::SettingsScope scope);
    ~ProgramFiles() override;

    SettingsStore &settingsStore() override { return *m_settings; }
    std::optional<QDomDocument> loadXml(const QString &path) override;
    bool saveXml(const QDomDocument &document,
                 const QString &path,
                 QString *errorString = nullptr) override;
    // Opens the store anew for the other scope (user or machine).
    void reopen(Platform::SettingsScope scope);

private:
    MainServices &m_mainWindow;
    std::unique_ptr<SettingsStore> m_settings;
};
