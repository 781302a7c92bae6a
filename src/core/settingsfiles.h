#pragma once

#include <QDomDocument>
#include <QString>

#include <optional>

class SettingsStore;

// The settings store, and XML files read and written through the shared loader, which reports
// parse errors as output lines.
class SettingsFiles
{
public:
    virtual ~SettingsFiles() = default;

    virtual SettingsStore &settingsStore() = 0;
    virtual std::optional<QDomDocument> loadXml(const QString &path) = 0;
    // Writes every byte or keeps the old file; errorString then says why.
    virtual bool saveXml(const QDomDocument &document,
                         const QString &path,
                         QString *errorString = nullptr)
        = 0;
};
