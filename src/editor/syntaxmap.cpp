#include "syntaxmap.h"

#include "platform/boundedfile.h"
#include "platform/caseinsensitivepath.h"

#include <QFile>
#include <QFileInfo>
#include <QTextStream>

QString SyntaxMap::syntaxFileFor(const QString &mapPath, const QString &fileName)
{
    const QString suffix = QFileInfo(mapPath).suffix().toUpper();
    if (suffix == QLatin1String("SYN"))
        return mapPath;
    if (suffix != QLatin1String("MAP"))
        return QString();
    const QString map = Platform::resolveCaseInsensitive(mapPath);
    QByteArray bytes;
    if (!Platform::readBoundedFile(map, Platform::maxSyntaxFileBytes, bytes, nullptr))
        return QString();
    const QString wanted = QFileInfo(fileName).suffix().toUpper();
    const QStringList lines = QString::fromLocal8Bit(bytes).split(QLatin1Char('\n'));
    for (const QString &raw : lines) {
        const QString line = raw.trimmed().toUpper();
        if (line.isEmpty() || line.startsWith(QLatin1Char('#')))
            continue;
        const int equals = line.indexOf(QLatin1Char('='));
        if (equals <= 0)
            continue;
        if (line.left(equals) == wanted) {
            return QFileInfo(map).absolutePath() + QLatin1Char('/') + line.mid(equals + 1);
        }
    }
    return QString();
}
