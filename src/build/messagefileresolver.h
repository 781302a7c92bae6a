#pragma once

#include <QHash>
#include <QString>
#include <QStringList>

// Finds the file a compiler message names. An absolute name is taken as it is; a relative one
// is looked up, in order, among the project's files by name (one that exists), relative to
// the project directory, and relative to the configuration's output directory, where make and
// the compilers run. The same few names come again and again: each is looked up once.
class MessageFileResolver
{
public:
    MessageFileResolver(const QStringList &projectFiles,
                        const QString &projectDirectory,
                        const QString &outputDirectory);

    // The existing file a relative name in a message means; empty when there is none.
    QString resolve(const QString &relativeName) const;

private:
    QStringList m_projectFiles;
    QString m_projectDirectory;
    QString m_outputDirectory;
    mutable QHash<QString, QString> m_resolved;
};
