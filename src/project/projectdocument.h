#pragma once

#include "unreadconfigurations.h"

#include <QCoreApplication>
#include <QDomDocument>
#include <QString>
#include <QStringList>

#include <memory>
#include <optional>
#include <vector>

class BuildConfig;
class BuildConfigList;
class BuildProject;
struct FileTypeRecord;
class MainServices;

// What a ".dyxp" file says of a project, apart from its build configurations.
struct ProjectRecord
{
    struct File
    {
        QString path; // as the file names it: relative to the project's folder, or absolute
        QString group;
    };
    QString description;
    QStringList keywords;
    std::vector<File> files;
};

// A project read from its file: the record and the build configurations it holds.
struct ProjectContents
{
    ProjectRecord record;
    std::vector<std::unique_ptr<BuildProject>> configurations;
    UnreadConfigurations unread; // those that do not load here
};

// The ".dyxp" format: a PROJECT element with its description, KEYWORDS, FILES and one
// CONFIGURATION element per build configuration.
class ProjectDocument
{
    Q_DECLARE_TR_FUNCTIONS(Project)

public:
    // Nothing when the project names no configuration that loads; a document without a
    // PROJECT element reads as an empty project.
    static std::optional<ProjectContents> read(const QDomDocument &document,
                                               const QString &projectPath,
                                               MainServices *services,
                                               BuildConfigList *catalogue);
    // The CONFIGURATION elements of a PROJECT element: those that load, and those that do not.
    static void readConfigurations(const QDomElement &project,
                                   const QString &projectPath,
                                   MainServices *services,
                                   BuildConfigList *catalogue,
                                   ProjectContents &contents);
    // The files' absolute paths are written relative to the project's folder.
    static QDomDocument write(const ProjectRecord &record,
                              const std::vector<std::unique_ptr<BuildProject>> &configurations,
                              const QString &projectPath,
                              const UnreadConfigurations *unread = nullptr);

    // The group a file goes in by default: by the first type of its suffix the compiler
    // declares ("Source Files", "Header Files"...), "Design Files" for a design.
    static QString defaultGroup(const QString &path, const BuildConfig *compiler);
    // The icon of a file in the projects tree, by the same rule.
    static QString iconName(const QString &path, const BuildConfig *compiler);
    // The first type the compiler declares for the file's suffix; null when none.
    static const FileTypeRecord *fileTypeOf(const QString &path, const BuildConfig *compiler);
};
