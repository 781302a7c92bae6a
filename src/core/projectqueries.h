#pragma once

#include <QStringList>

// What the editors ask of the open projects.
class ProjectQueries
{
public:
    virtual ~ProjectQueries() = default;

    // The controller family a file is built for: the family of the first open project whose
    // active configuration builds it, else that of the current project.
    virtual QString familyForFile(const QString &path) const = 0;
    virtual bool isProjectFile(const QString &path) const = 0;
    // The current project's files, in project order; none without a project.
    virtual QStringList currentProjectFiles() const = 0;
    // The editor of path gained or lost unsaved changes: the project tree marks the file.
    virtual void setFileModified(const QString &path, bool modified) = 0;
};
