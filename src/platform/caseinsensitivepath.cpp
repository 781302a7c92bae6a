#include "caseinsensitivepath.h"

#include <QDir>
#include <QFileInfo>

namespace Platform {

static QString matchInDirectory(const QString &dir, const QString &name)
{
    const QDir d(dir.isEmpty() ? QStringLiteral(".") : dir);
    const QStringList entries = d.entryList(QDir::AllEntries | QDir::Hidden | QDir::System
                                            | QDir::NoDotAndDotDot);
    for (const QString &entry : entries) {
        if (entry.compare(name, Qt::CaseInsensitive) == 0)
            return entry;
    }
    return QString();
}

QString resolveCaseInsensitive(const QString &path)
{
    if (path.isEmpty() || QFileInfo::exists(path))
        return path;
    const bool absolute = path.startsWith(QLatin1Char('/'));
    const QStringList parts = path.split(QLatin1Char('/'), Qt::SkipEmptyParts);
    QString current = absolute ? QStringLiteral("/") : QString();
    bool resolving = true;
    for (const QString &part : parts) {
        QString next = part;
        if (resolving && part != QLatin1String(".") && part != QLatin1String("..")) {
            const QString candidate = current.isEmpty() || current.endsWith(QLatin1Char('/'))
                                          ? current + part
                                          : current + QLatin1Char('/') + part;
            if (!QFileInfo::exists(candidate)) {
                const QString found = matchInDirectory(current, part);
                if (found.isEmpty())
                    resolving = false; // nothing below a missing component can exist
                else
                    next = found;
            }
        }
        if (!current.isEmpty() && !current.endsWith(QLatin1Char('/')))
            current += QLatin1Char('/');
        current += next;
    }
    if (path.endsWith(QLatin1Char('/')) && !current.endsWith(QLatin1Char('/')))
        current += QLatin1Char('/');
    return current;
}

} // namespace Platform
