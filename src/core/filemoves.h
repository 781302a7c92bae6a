#pragma once

#include <QHash>
#include <QString>
#include <QStringList>

// Where the files that messages named are now, after files were renamed or their project was
// saved as a copy: a name given before the moves leads to where its file went, through any
// number of moves, swaps among them included.
class FileMoves
{
public:
    void moved(const QString &from, const QString &to);
    // A file that comes to be at path afterwards: names given from now on mean that one.
    void arrived(const QString &path);
    // The path of the file a name given before the moves stands for now; the name itself
    // when its file never moved.
    QString now(const QString &path) const;
    bool isEmpty() const { return m_now.isEmpty(); }
    void clear();

private:
    static QString key(const QString &path);

    QHash<QString, QString> m_now;         // a name given, by key -> its file's path now
    QHash<QString, QStringList> m_namedAs; // a file's path now, by key -> the names given for it
};
