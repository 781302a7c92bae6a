#include "platformpaths.h"

#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

namespace Platform {

QString shortPathName(const QString &path)
{
    if (path.isEmpty() || !QFileInfo::exists(path))
        return QString();
    return path;
}

QString nativePath(const QString &path)
{
    QString result = path;
    result.replace(QLatin1String("//"), QLatin1String("/"));
    result.replace(QLatin1Char('/'), QLatin1Char('\\'));
    return result;
}

QString environmentValue(const QString &name)
{
    return QString::fromLocal8Bit(qgetenv(name.toLocal8Bit().constData()));
}

QString absolutePathEntries(const QString &path)
{
    QStringList kept;
    for (const QString &entry : path.split(QDir::listSeparator(), Qt::SkipEmptyParts)) {
        if (QDir::isAbsolutePath(entry))
            kept.append(entry);
    }
    return kept.join(QDir::listSeparator());
}

void dropRelativePathEntries()
{
    // The dynamic loader takes an empty entry of LD_LIBRARY_PATH for the folder too, as a
    // start file's "LD_LIBRARY_PATH=$LD_LIBRARY_PATH:/opt/lib" leaves one: every program,
    // make first, would load a library the folder brings along (libc.so.6). With no entry
    // left the variable goes: an empty PATH is one empty entry, and a missing one the system's.
    for (const char *name : {"PATH", "LD_LIBRARY_PATH"}) {
        if (!qEnvironmentVariableIsSet(name))
            continue;
        const QByteArray value = qgetenv(name);
        const QByteArray kept = absolutePathEntries(QString::fromLocal8Bit(value)).toLocal8Bit();
        if (kept.isEmpty())
            qunsetenv(name);
        else if (kept != value)
            qputenv(name, kept);
    }
}

QString commandShell()
{
    const QString comSpec = environmentValue(QStringLiteral("ComSpec"));
    return comSpec.isEmpty() ? QStringLiteral("/bin/sh") : comSpec;
}

QString documentsFolder()
{
    return QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
}

QString keptCopyPath(const QString &folderName, const QString &fileName)
{
    const QDir folder(QStandardPaths::writableLocation(QStandardPaths::AppLocalDataLocation)
                      + QLatin1Char('/') + folderName);
    if (!folder.mkpath(QStringLiteral(".")))
        return QString();
    const QFileInfo own(fileName);
    const QString stem = own.completeBaseName() + QLatin1Char(' ')
                         + QDateTime::currentDateTime().toString(
                             QStringLiteral("yyyy-MM-dd hh-mm-ss"));
    const QString suffix = own.suffix().isEmpty() ? QString() : QLatin1Char('.') + own.suffix();
    QString kept = folder.filePath(stem + suffix);
    for (int n = 2; QFileInfo::exists(kept) || QFileInfo(kept).isSymLink(); ++n)
        kept = folder.filePath(QStringLiteral("%1 (%2)%3").arg(stem).arg(n).arg(suffix));
    return kept;
}

} // namespace Platform
