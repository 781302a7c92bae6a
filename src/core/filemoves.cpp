#include "filemoves.h"

#include <QDir>
#include <QFileInfo>

QString FileMoves::key(const QString &path)
{
    return QDir::cleanPath(QFileInfo(path).absoluteFilePath());
}

void FileMoves::moved(const QString &from, const QString &to)
{
    const QString fromKey = key(from);
    // The names that meant the file at from, and from itself unless its file had moved away
    // before (then the name means that file still).
    QStringList names = m_namedAs.take(fromKey);
    if (!m_now.contains(fromKey))
        names.append(fromKey);
    for (const QString &name : std::as_const(names))
        m_now.insert(name, to);
    m_namedAs[key(to)] += names;
}

void FileMoves::arrived(const QString &path)
{
    const auto it = m_now.find(key(path));
    if (it == m_now.end())
        return;
    m_namedAs[key(it.value())].removeOne(it.key());
    m_now.erase(it);
}

QString FileMoves::now(const QString &path) const
{
    return m_now.isEmpty() ? path : m_now.value(key(path), path);
}

void FileMoves::clear()
{
    m_now.clear();
    m_namedAs.clear();
}
