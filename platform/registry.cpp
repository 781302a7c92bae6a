#include "registry.h"

#include <QFileInfo>
#include <QSettings>
#include <QStandardPaths>

static std::unique_ptr<Registry> &registrySlot()
{
    static std::unique_ptr<Registry> registry;
    return registry;
}

const Registry &Registry::instance()
{
    std::unique_ptr<Registry> &slot = registrySlot();
    if (!slot)
        slot = std::make_unique<IniRegistry>();
    return *slot;
}

void Registry::setInstance(std::unique_ptr<Registry> registry)
{
    registrySlot() = std::move(registry);
}

IniRegistry::IniRegistry(const QString &fileName)
    : m_fileName(fileName.isEmpty() ? defaultFileName() : fileName)
{}

QString IniRegistry::defaultFileName()
{
    const QString fromEnvironment = QString::fromLocal8Bit(qgetenv("DYX_REGISTRY"));
    if (!fromEnvironment.isEmpty())
        return fromEnvironment;
    const QString relative = QStringLiteral("Morvellan Electronics/registry.ini");
    const QStringList dirs = QStandardPaths::standardLocations(
        QStandardPaths::GenericConfigLocation);
    for (const QString &dir : dirs) {
        const QString candidate = dir + QLatin1Char('/') + relative;
        if (QFileInfo::exists(candidate))
            return candidate;
    }
    return QString();
}

static QString groupPath(const QString &keyPath)
{
    QString path = keyPath;
    path.replace(QLatin1Char('\\'), QLatin1Char('/'));
    while (path.endsWith(QLatin1Char('/')))
        path.chop(1);
    return path;
}

// Runs a read on the key's group; a missing file reads as an empty registry.
template<typename Result, typename Read>
static Result readKey(const QString &fileName, const QString &keyPath, Read read)
{
    if (fileName.isEmpty() || !QFileInfo::exists(fileName))
        return Result();
    QSettings ini(fileName, QSettings::IniFormat);
    const QString group = groupPath(keyPath);
    if (!group.isEmpty())
        ini.beginGroup(group);
    return read(ini);
}

QString IniRegistry::value(const QString &keyPath, const QString &name) const
{
    return readKey<QString>(m_fileName, keyPath, [&name](QSettings &ini) {
        return ini.value(name).toString();
    });
}

QStringList IniRegistry::valueNames(const QString &keyPath) const
{
    return readKey<QStringList>(m_fileName, keyPath, [](QSettings &ini) {
        return ini.childKeys();
    });
}

QStringList IniRegistry::subkeys(const QString &keyPath) const
{
    return readKey<QStringList>(m_fileName, keyPath, [](QSettings &ini) {
        return ini.childGroups();
    });
}
