#include "messagefileresolver.h"

#include <QDir>
#include <QFileInfo>

MessageFileResolver::MessageFileResolver(const QStringList &projectFiles,
                                         const QString &projectDirectory,
                                         const QString &outputDirectory)
    : m_projectFiles(projectFiles)
    , m_projectDirectory(projectDirectory)
    , m_outputDirectory(outputDirectory)
{}

QString MessageFileResolver::resolve(const QString &relativeName) const
{
    const auto known = m_resolved.constFind(relativeName);
    if (known != m_resolved.constEnd())
        return *known;
    QString &resolved = m_resolved[relativeName];
    const QString fileName = QFileInfo(relativeName).fileName();
    for (const QString &file : m_projectFiles) {
        if (QFileInfo(file).fileName() == fileName && QFileInfo::exists(file))
            return resolved = file;
    }
    for (const QString &directory : {m_projectDirectory, m_outputDirectory}) {
        if (directory.isEmpty())
            continue;
        const QFileInfo candidate(QDir(directory), relativeName);
        if (candidate.exists())
            return resolved = QDir::cleanPath(candidate.absoluteFilePath());
    }
    return resolved;
}
