#include "platformpaths.h"

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

QString commandShell()
{
    const QString comSpec = environmentValue(QStringLiteral("ComSpec"));
    return comSpec.isEmpty() ? QStringLiteral("/bin/sh") : comSpec;
}

QString documentsFolder()
{
    return QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
}

} // namespace Platform
