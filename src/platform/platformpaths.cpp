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
    const QByteArray path = qgetenv("PATH");
    const QByteArray kept = absolutePathEntries(QString::fromLocal8Bit(path)).toLocal8Bit();
    if (kept != path)
        qputenv("PATH", kept);
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
