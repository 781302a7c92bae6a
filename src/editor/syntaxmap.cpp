#include "syntaxmap.h"

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
    QFile map(Platform::resolveCaseInsensitive(mapPath));
    if (!map.open(QIODevice::ReadOnly | QIODevice::Text))
        return QString();
    const QString wanted = QFileInfo(fileName).suffix().toUpper();
    QTextStream in(&map);
    while (!in.atEnd()) {
        const QString line = in.readLine().trimmed().toUpper();
        if (line.isEmpty() || line.startsWith(QLatin1Char('#')))
            continue;
        const int equals = line.indexOf(QLatin1Char('='));
        if (equals <= 0)
            continue;
        if (line.left(equals) == wanted) {
            return QFileInfo(map.fileName()).absolutePath() + QLatin1Char('/')
                   + line.mid(equals + 1);
        }
    }
    return QString();
}
