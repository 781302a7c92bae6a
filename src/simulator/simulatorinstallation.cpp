#include "simulatorinstallation.h"

#include "core/settingsstore.h"
#include "platform/caseinsensitivepath.h"
#include "platform/registry.h"

#include <QDir>
#include <QFileInfo>

SimulatorInstallation::SimulatorInstallation(SettingsStore &settings)
    : m_settings(settings)
{}

QString SimulatorInstallation::registryKey()
{
    return QStringLiteral("HKEY_LOCAL_MACHINE\\SOFTWARE\\Morvellan Electronics\\");
}

QString SimulatorInstallation::detectInstallation()
{
    m_tooOld = false;
    const Registry &registry = Registry::instance();
    QString key = registryKey();
    for (const QString &group : registry.subkeys(key)) {
        if (group.contains(QLatin1String("Cirrane Professional"))) {
            key += group + QLatin1Char('\\');
            break;
        }
    }
    // The suite keeps one group per version; the current and the previous major release.
    const QStringList versionGroups = registry.subkeys(key);
    for (const QString &wanted : {QStringLiteral("8"), QStringLiteral("7")}) {
        if (!versionGroups.contains(wanted))
            continue;
        const QString versionKey = key + wanted;
        const QStringList parts = registry.value(versionKey, QStringLiteral("Version"))
                                      .split(QLatin1Char('.'), Qt::SkipEmptyParts);
        bool majorOk = false;
        bool minorOk = false;
        const int major = parts.value(0).toInt(&majorOk);
        const int minor = parts.value(1).toInt(&minorOk);
        if (!majorOk || (major == 7 && !minorOk))
            return QString();
        if (major < 7 || (major == 7 && minor < 8)) {
            m_tooOld = true;
            return QString();
        }
        return registry.value(versionKey, QStringLiteral("Path"));
    }
    return QString();
}

QString SimulatorInstallation::simulatorDirectory(bool forceDetect)
{
    const QString stored = m_settings.cirraneDirectory();
    // One that was moved or removed is looked for again.
    if (!stored.isEmpty() && !forceDetect && QFileInfo(stored).isDir())
        return stored;
    const QString detected = detectInstallation();
    if (detected.isEmpty())
        return QString();
    QString result = stored;
    const QString vexa = Platform::resolveCaseInsensitive(
        QDir(detected).filePath(QStringLiteral("bin/vexa.exe")));
    if (QFileInfo::exists(vexa))
        result = QDir(detected).absolutePath();
    if (!forceDetect)
        m_settings.setCirraneDirectory(result);
    return result;
}
