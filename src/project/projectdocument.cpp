#include "projectdocument.h"

#include "build/buildproject.h"
#include "core/xmlchildren.h"
#include "toolchain/buildconfig.h"

#include <QDir>
#include <QFileInfo>

std::optional<ProjectContents> ProjectDocument::read(const QDomDocument &document,
                                                     const QString &projectPath,
                                                     MainServices *services,
                                                     BuildConfigList *catalogue)
{
    ProjectContents contents;
    const QDomElement project = document.firstChildElement(QStringLiteral("PROJECT"));
    // A document of another kind reads as an empty project.
    if (project.isNull())
        return contents;
    ProjectRecord &record = contents.record;
    record.description = project.attribute(QStringLiteral("DESCRIPTION"));
    const QDomElement keywords = project.firstChildElement(QStringLiteral("KEYWORDS"));
    for (const QDomElement &k : childElements(keywords, QStringLiteral("KEYWORD")))
        record.keywords.append(k.attribute(QStringLiteral("NAME")));
    const QDomElement files = project.firstChildElement(QStringLiteral("FILES"));
    for (const QDomElement &f : childElements(files, QStringLiteral("FILE")))
        record.files.push_back(
            {f.attribute(QStringLiteral("NAME")), f.attribute(QStringLiteral("GROUP"))});
    readConfigurations(project, projectPath, services, catalogue, contents);
    if (contents.configurations.empty())
        return std::nullopt;
    return contents;
}

void ProjectDocument::readConfigurations(const QDomElement &project,
                                         const QString &projectPath,
                                         MainServices *services,
                                         BuildConfigList *catalogue,
                                         ProjectContents &contents)
{
    for (const QDomElement &c : childElements(project, QStringLiteral("CONFIGURATION"))) {
        auto configuration = std::make_unique<BuildProject>(services, catalogue);
        if (configuration->load(c, projectPath))
            contents.configurations.push_back(std::move(configuration));
        else
            contents.unread.add(c, projectPath);
    }
}

QDomDocument ProjectDocument::write(const ProjectRecord &record,
                                    const std::vector<std::unique_ptr<BuildProject>> &configurations,
                                    const QString &projectPath,
                                    const UnreadConfigurations *unread)
{
    QDomDocument document;
    document.appendChild(document.createProcessingInstruction(
        QStringLiteral("xml"), QStringLiteral("version='1.0' encoding='UTF-8' standalone='yes' ")));
    QDomElement project = document.createElement(QStringLiteral("PROJECT"));
    project.setAttribute(QStringLiteral("DESCRIPTION"), record.description);
    document.appendChild(project);
    QDomElement keywords = document.createElement(QStringLiteral("KEYWORDS"));
    for (const QString &keyword : record.keywords) {
        QDomElement element = document.createElement(QStringLiteral("KEYWORD"));
        element.setAttribute(QStringLiteral("NAME"), keyword);
        keywords.appendChild(element);
    }
    project.appendChild(keywords);
    QDomElement files = document.createElement(QStringLiteral("FILES"));
    const QDir base(QFileInfo(projectPath).absolutePath());
    for (const ProjectRecord::File &file : record.files) {
        QDomElement element = document.createElement(QStringLiteral("FILE"));
        element.setAttribute(QStringLiteral("NAME"), base.relativeFilePath(file.path));
        element.setAttribute(QStringLiteral("GROUP"), file.group);
        files.appendChild(element);
    }
    project.appendChild(files);
    for (const auto &configuration : configurations)
        configuration->save(document, &project, projectPath);
    if (unread)
        unread->write(document, project, projectPath);
    return document;
}

static QString extensionOf(const QString &path)
{
    return QFileInfo(path).suffix().toUpper();
}

const FileTypeRecord *ProjectDocument::fileTypeOf(const QString &path, const BuildConfig *compiler)
{
    if (!compiler)
        return nullptr;
    const QString extension = extensionOf(path);
    for (const FileTypeRecord &type : compiler->fileTypes()) {
        if (type.name.toUpper() == extension)
            return &type;
    }
    return nullptr;
}

QString ProjectDocument::defaultGroup(const QString &path, const BuildConfig *compiler)
{
    QString name = QStringLiteral("Other");
    if (extensionOf(path) == QLatin1String("DSN"))
        name = QStringLiteral("Design");
    else if (const FileTypeRecord *type = fileTypeOf(path, compiler))
        name = type->category;
    return tr("%1 Files").arg(name);
}

QString ProjectDocument::iconName(const QString &path, const BuildConfig *compiler)
{
    if (extensionOf(path) == QLatin1String("DSN"))
        return QStringLiteral("project_design.png");
    const FileTypeRecord *type = fileTypeOf(path, compiler);
    return type && !type->icon.isEmpty() ? type->icon : QStringLiteral("project_other.png");
}
