#include "handoffrequest.h"

#include "build/buildproject.h"
#include "build/makefilewriter.h"

#include <QFileInfo>

DebugTarget HandOffRequest::of(BuildProject *configuration,
                               const QString &projectDirectory,
                               const QStringList &files)
{
    DebugTarget target;
    target.configured = configuration != nullptr;
    if (!configuration)
        return target;
    target.design = designFile(files);
    target.firmware = firmware(*configuration, projectDirectory);
    target.controller = configuration->controller();
    target.family = configuration->family();
    target.clock = configuration->clock();
    return target;
}

QString HandOffRequest::firmware(BuildProject &configuration, const QString &projectDirectory)
{
    configuration.setProjectDirectory(projectDirectory);
    // Named afresh: the project may be in another folder (Save Project As) since the last build
    // named its files.
    if (configuration.root() || configuration.createRoot(false))
        MakefileWriter(configuration).fillFileNames();
    if (!configuration.root())
        return QString();
    const QFileInfo root(configuration.root()->file);
    if (root.suffix().compare(QLatin1String("hex"), Qt::CaseInsensitive) == 0)
        return root.filePath();
    return root.path() + QLatin1Char('/') + root.completeBaseName() + QStringLiteral(".hex");
}

QString HandOffRequest::designFile(const QStringList &files)
{
    for (const QString &file : files) {
        if (file.endsWith(QLatin1String(".dsn"), Qt::CaseInsensitive))
            return file;
    }
    return QString();
}
