#include "registry.h"

#include "boundedfile.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>
#include <QUrl>

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
{
    if (!fileName.isEmpty()) {
        m_fileNames.append(fileName);
        return;
    }
    const QString chosen = defaultFileName();
    if (!chosen.isEmpty())
        m_fileNames.append(chosen);
    // A file named in the environment stands alone (tests isolate themselves with it).
    if (qEnvironmentVariableIsEmpty("DYX_REGISTRY")) {
        const QString installation = installationFileName();
        if (QFileInfo::exists(installation))
            m_fileNames.append(installation);
    }
}

QString IniRegistry::installationFileName()
{
    return QCoreApplication::applicationDirPath() + QStringLiteral("/../registry.ini");
}

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

namespace {

// A key path in the file's own form: "/" between keys, no "/" at either end.
QString normalizedKey(QString path)
{
    path.replace(QLatin1Char('\\'), QLatin1Char('/'));
    path = QUrl::fromPercentEncoding(path.toUtf8());
    const QStringList parts = path.split(QLatin1Char('/'), Qt::SkipEmptyParts);
    return parts.join(QLatin1Char('/'));
}

QString unquoted(QString value)
{
    value = value.trimmed();
    if (value.size() >= 2 && value.startsWith(QLatin1Char('"')) && value.endsWith(QLatin1Char('"')))
        value = value.mid(1, value.size() - 2);
    return value;
}

struct IniValue
{
    QString key;
    QString name;
    QString value;
};

// Reads every value with the key it belongs to. Section names and value names may both hold
// key paths, written with "\" or "/" and with "%20"-style escapes, as hand-written files and
// the toolkit's own INI writer produce them.
QList<IniValue> readValues(const QString &fileName);

// The values of every file, the first file's first.
QList<IniValue> readValues(const QStringList &fileNames)
{
    QList<IniValue> values;
    for (const QString &fileName : fileNames)
        values += readValues(fileName);
    return values;
}

QList<IniValue> readValues(const QString &fileName)
{
    QList<IniValue> values;
    QByteArray bytes;
    if (fileName.isEmpty()
        || !Platform::readBoundedFile(fileName, Platform::maxXmlFileBytes, bytes, nullptr))
        return values;
    QString section;
    const QStringList lines = QString::fromUtf8(bytes).split(QLatin1Char('\n'));
    for (const QString &rawLine : lines) {
        const QString line = rawLine.trimmed();
        if (line.isEmpty() || line.startsWith(QLatin1Char(';')) || line.startsWith(QLatin1Char('#')))
            continue;
        if (line.startsWith(QLatin1Char('[')) && line.endsWith(QLatin1Char(']'))) {
            section = normalizedKey(line.mid(1, line.size() - 2));
            if (section == QLatin1String("General"))
                section.clear();
            continue;
        }
        const int equals = line.indexOf(QLatin1Char('='));
        if (equals <= 0)
            continue;
        QString path = normalizedKey(line.left(equals).trimmed());
        if (!section.isEmpty())
            path = section + QLatin1Char('/') + path;
        const int slash = path.lastIndexOf(QLatin1Char('/'));
        QString value = unquoted(line.mid(equals + 1));
        // A relative folder is one beside the file that names it: an installation's own file
        // stays right when the installation is moved.
        if (path.mid(slash + 1) == QLatin1String("Path") && !value.isEmpty()
            && QDir::isRelativePath(value))
            value = QDir::cleanPath(QFileInfo(fileName).absoluteDir().absoluteFilePath(value));
        values.append({slash < 0 ? QString() : path.left(slash), path.mid(slash + 1), value});
    }
    return values;
}

} // namespace

QString IniRegistry::value(const QString &keyPath, const QString &name) const
{
    const QString key = normalizedKey(keyPath);
    for (const IniValue &entry : readValues(m_fileNames)) {
        if (entry.key == key && entry.name == name)
            return entry.value;
    }
    return QString();
}

QStringList IniRegistry::valueNames(const QString &keyPath) const
{
    const QString key = normalizedKey(keyPath);
    QStringList names;
    for (const IniValue &entry : readValues(m_fileNames)) {
        if (entry.key == key && !names.contains(entry.name))
            names.append(entry.name);
    }
    names.sort(Qt::CaseInsensitive);
    return names;
}

QStringList IniRegistry::subkeys(const QString &keyPath) const
{
    const QString key = normalizedKey(keyPath);
    const QString prefix = key.isEmpty() ? QString() : key + QLatin1Char('/');
    QStringList names;
    for (const IniValue &entry : readValues(m_fileNames)) {
        if (!entry.key.startsWith(prefix) || entry.key.size() == prefix.size() - 1)
            continue;
        const QString below = entry.key.mid(prefix.size());
        if (below.isEmpty())
            continue;
        const QString child = below.section(QLatin1Char('/'), 0, 0);
        if (!names.contains(child))
            names.append(child);
    }
    // The registry lists subkeys in alphabetical order.
    names.sort(Qt::CaseInsensitive);
    return names;
}
