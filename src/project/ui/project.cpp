#include "project.h"

#include "copyprojectfilesdialog.h"

#include "build/buildproject.h"
#include "build/buildrun.h"
#include "build/makefilewriter.h"
#include "core/commandstate.h"
#include "core/editorservices.h"
#include "core/mainservices.h"
#include "core/settingsfiles.h"
#include "core/settingsstore.h"
#include "core/simulatorqueries.h"
#include "core/ui/prompts.h"
#include "core/xmldocumentio.h"
#include "platform/boundedfile.h"
#include "platform/platformpaths.h"
#include "platform/wholefilewriter.h"
#include "project/handoffrequest.h"
#include "project/projectcopyplan.h"
#include "project/projectdocument.h"
#include "simulator/cirraneinterface.h"
#include "toolchain/buildconfig.h"
#include "toolchain/buildconfiglist.h"

#include <QDir>
#include <QDomDocument>
#include <QFile>
#include <QFileInfo>
#include <QSet>
#include <QTreeWidgetItem>

static int unsavedProjects = 0;

Project::Project(BuildConfigList *catalogue, MainServices *mainWindow)
    : m_mainWindow(servicesOf(mainWindow))
    , m_catalogue(catalogue)
    , m_buildRun(new BuildRun(&m_mainWindow, this))
{}

Project::~Project()
{
    if (m_loaded && !m_keepsOutput)
        m_mainWindow.output().clearOutput();
    for (const ProjectFile &file : m_files)
        m_mainWindow.editors().closeEditor(file.path);
    delete m_rootItem;
}

static QString extensionOf(const QString &path)
{
    return QFileInfo(path).suffix().toUpper();
}

QString Project::projectDirectory() const
{
    return m_filePath.isEmpty() ? QString() : QFileInfo(m_filePath).absolutePath();
}

void Project::refreshName()
{
    if (!m_filePath.isEmpty())
        m_name = QFileInfo(m_filePath).fileName().section(QLatin1Char('.'), 0, 0);
    else if (m_name.isEmpty())
        m_name = QStringLiteral("Project%1").arg(unsavedProjects++);
}

void Project::setModified(bool modified)
{
    m_modified = modified;
    updateRootText();
}

bool Project::load(const QString &path)
{
    m_loaded = false;
    const QString previousPath = m_filePath;
    m_filePath = QFileInfo(path).absoluteFilePath();
    const std::optional<QDomDocument> document = m_mainWindow.files().loadXml(m_filePath);
    if (!document) {
        m_filePath = previousPath;
        return false;
    }
    std::optional<ProjectContents> contents = ProjectDocument::read(*document,
                                                                    m_filePath,
                                                                    &m_mainWindow,
                                                                    m_catalogue);
    if (!contents) {
        m_filePath = previousPath;
        return false;
    }
    m_description = contents->record.description;
    m_keywords = contents->record.keywords;
    for (const ProjectRecord::File &file : contents->record.files)
        addFile(file.path, file.group);
    // Unfinished versions of the project's files that a crash left behind go.
    QSet<QString> folders{QFileInfo(m_filePath).absolutePath()};
    for (int i = 0; i < fileCount(); ++i)
        folders.insert(QFileInfo(filePathAt(i)).absolutePath());
    for (const QString &folder : std::as_const(folders))
        Platform::removeStrayVersions(folder);
    takeConfigurations(*contents);
    m_modified = false;
    m_upToDate = false;
    refreshName();
    updateRootText();
    m_loaded = true;
    m_diskPath = m_filePath;
    m_diskDigest = Platform::fileDigest(m_filePath, Platform::maxXmlFileBytes);
    return true;
}

void Project::takeConfigurations(ProjectContents &contents)
{
    m_configurations = std::move(contents.configurations);
    m_unread = std::move(contents.unread);
    for (const QString &name : m_unread.names()) {
        m_mainWindow.output().message(
            tr("The configuration %1 is not used here; saving the project keeps it in the file "
               "as it is.")
                .arg(name));
    }
    QStringList paths;
    paths.reserve(fileCount());
    for (const ProjectFile &file : m_files)
        paths.append(file.path);
    for (const auto &configuration : m_configurations)
        configuration->addFiles(paths, true);
}

QDomDocument Project::setConfigurationsAside()
{
    const BuildProject *active = activeConfiguration();
    m_activeAside = active ? active->name() : QString();
    const QDomDocument held = document();
    m_configurations.clear();
    m_unread = UnreadConfigurations();
    m_activeConfiguration = 0;
    return held;
}

void Project::readConfigurationsBack(const QDomDocument &held)
{
    ProjectContents contents;
    ProjectDocument::readConfigurations(held.documentElement(),
                                        m_filePath,
                                        &m_mainWindow,
                                        m_catalogue,
                                        contents);
    takeConfigurations(contents);
    for (int i = 0; i < configurationCount(); ++i) {
        if (m_configurations.at(i)->name() == m_activeAside) {
            m_activeConfiguration = i;
            break;
        }
    }
    m_upToDate = false;
    updateRootText();
}

bool Project::changedOnDisk() const
{
    if (m_diskPath != m_filePath || m_diskDigest.isEmpty())
        return false;
    const QByteArray now = Platform::fileDigest(m_filePath, Platform::maxXmlFileBytes);
    return !now.isEmpty() && now != m_diskDigest;
}

QDomDocument Project::document() const
{
    ProjectRecord record{m_description, m_keywords, {}};
    record.files.reserve(m_files.size());
    for (const ProjectFile &file : m_files)
        record.files.push_back({file.path, file.group});
    return ProjectDocument::write(record, m_configurations, m_filePath, &m_unread);
}

bool Project::writeCopy(const QString &path, QString *reason) const
{
    return m_mainWindow.files().saveXml(document(), path, reason);
}

bool Project::save()
{
    m_lastSaveError.clear();
    if (!m_modified)
        return true;
    if (m_filePath.isEmpty())
        return saveAs(true);
    if (changedOnDisk() && !saveOverNewerFile(m_mainWindow.commands().mainWidget(), m_filePath))
        return false;
    QString reason;
    const bool written = m_mainWindow.files().saveXml(document(), m_filePath, &reason);
    if (written) {
        m_diskPath = m_filePath;
        m_diskDigest = Platform::fileDigest(m_filePath, Platform::maxXmlFileBytes);
        m_modified = false;
        m_renamedSinceSave.clear();
        refreshName();
        updateRootText();
    } else {
        m_lastSaveError = tr("Cannot save project %1:\n%2.").arg(m_filePath, reason);
        m_mainWindow.output().error(m_lastSaveError);
    }
    return written;
}

bool Project::saveAs(bool copy)
{
    const QString start = m_filePath.isEmpty() ? m_name : m_filePath;
    if (start.isEmpty())
        return false;
    return saveAsPath(start, copy);
}

// Makes a folder with the folders above it that are missing, noting each one made, the
// outermost first, in made.
static bool makeFolder(const QString &folder, QStringList &made)
{
    QStringList missing;
    for (QString path = QDir::cleanPath(folder); !QFileInfo::exists(path);) {
        missing.prepend(path);
        const QString up = QFileInfo(path).absolutePath();
        if (up == path)
            break;
        path = up;
    }
    if (!QDir().mkpath(folder))
        return false;
    made += missing;
    return true;
}

// The project under a new name: with copy, in a folder of its own with a copy of every file,
// all its configurations pointing at the copies; without, the same project given a file name
// (a new project from the wizard).
bool Project::saveAsPath(const QString &suggestedPath, bool copy)
{
    QWidget *parent = m_mainWindow.commands().mainWidget();
    const QString proposed = m_filePath.isEmpty()
                                 ? QFileInfo(suggestedPath).completeBaseName()
                                 : QFileInfo(m_filePath).completeBaseName() + tr(" copy");
    CopyProjectFilesDialog dialog(&m_mainWindow, proposed, designFile(), !copy, parent);
    if (dialog.exec() != QDialog::Accepted || dialog.projectPath().isEmpty())
        return false;
    const QString chosen = dialog.projectPath();
    // The folders and copies made where nothing was, which a failure takes away again (a
    // folder only when nothing else is in it).
    QStringList created;
    const auto removeCreated = [&created] {
        for (auto made = created.crbegin(); made != created.crend(); ++made) {
            if (!QFile::remove(*made))
                QDir().rmdir(*made);
        }
    };
    // The project's own folder, even for a project without files.
    const QString folder = QFileInfo(chosen).absolutePath();
    if (!makeFolder(folder, created)) {
        m_mainWindow.output().error(tr("Could not create directory %1").arg(folder));
        return false;
    }
    if (!copy) {
        if (!designFileLocationAccepted(designFile(), QFileInfo(chosen).absolutePath())) {
            removeCreated();
            return false;
        }
    }
    QList<QPair<QString, QString>> copies;
    QSet<QString> kept;
    if (copy && !copyFilesFor(chosen, dialog.keepStructure(), copies, kept, created)) {
        removeCreated();
        return false;
    }
    const QString oldPath = m_filePath;
    const bool oldModified = m_modified;
    m_filePath = QFileInfo(chosen).absoluteFilePath();
    nameFilesAt(copies, false);
    setModified(true);
    if (!save()) {
        // Nothing follows the copies: the project and the tabs stay on the originals.
        m_mainWindow.output().error(tr("Could not save project"));
        m_filePath = oldPath;
        nameFilesAt(copies, true);
        setModified(oldModified);
        removeCreated();
        return false;
    }
    editorsFollow(copies, kept);
    refreshName();
    updateRootText();
    m_upToDate = false;
    return true;
}

// Copies every project file beside the chosen project file, flat or keeping the folders they
// sit in relative to one another; copies holds each file with its copy, kept the copies the
// user chose not to overwrite, created the folders and copies made where nothing was. False,
// with the reason said, when anything would be overwritten unasked or fails.
bool Project::copyFilesFor(const QString &projectPath,
                           bool keepStructure,
                           QList<QPair<QString, QString>> &copies,
                           QSet<QString> &kept,
                           QStringList &created)
{
    QWidget *parent = m_mainWindow.commands().mainWidget();
    OutputSink &output = m_mainWindow.output();
    QStringList files;
    for (const ProjectFile &file : std::as_const(m_files))
        files.append(file.path);
    const ProjectCopyPlan plan(files, projectPath, keepStructure);
    if (plan.outcome() == ProjectCopyPlan::WouldOverwrite) {
        Prompts::instance().message(QMessageBox::Warning,
                                    parent,
                                    tr("Error saving project"),
                                    tr("Error saving project"),
                                    QMessageBox::Ok,
                                    QMessageBox::Ok,
                                    plan.reason());
        return false;
    }
    if (plan.outcome() != ProjectCopyPlan::Ready) {
        output.error(plan.reason());
        return false;
    }
    const QList<QPair<QString, QString>> &pairs = plan.copies();

    bool overwriteAll = false;
    bool keepAll = false;
    for (const auto &[source, destination] : std::as_const(pairs)) {
        if (QFileInfo(source).absoluteFilePath() == QFileInfo(destination).absoluteFilePath())
            continue;
        const bool existed = QFileInfo::exists(destination);
        if (existed) {
            if (keepAll) {
                kept.insert(destination);
                continue;
            }
            if (!overwriteAll) {
                const QMessageBox::StandardButton answer = Prompts::instance().message(
                    QMessageBox::Question,
                    parent,
                    tr("File Exists"),
                    tr("Destination file %1 exists\nDdo you want to overwrite it?")
                        .arg(QDir::toNativeSeparators(destination)),
                    QMessageBox::Yes | QMessageBox::YesToAll | QMessageBox::No
                        | QMessageBox::NoToAll);
                if (answer == QMessageBox::No) {
                    kept.insert(destination);
                    continue;
                }
                if (answer == QMessageBox::NoToAll) {
                    keepAll = true;
                    kept.insert(destination);
                    continue;
                }
                overwriteAll = answer == QMessageBox::YesToAll;
            }
            if (!QFile::remove(destination)) {
                output.error(tr("Could not delete file %1").arg(destination));
                return false;
            }
        }
        const QString folder = QFileInfo(destination).absolutePath();
        if (!makeFolder(folder, created)) {
            output.error(tr("Could not create directory %1").arg(folder));
            return false;
        }
        // Only a regular file is copied: a FIFO would hold the copy for ever.
        if (!QFileInfo(source).isFile() || !QFile::copy(source, destination)) {
            output.error(tr("Could not copy file %1 to %2").arg(source, destination));
            return false;
        }
        if (!existed)
            created.append(destination);
    }

    copies = pairs;
    return true;
}

// The project and every configuration name the copies (or, back, the originals again), in the
// folder of the project file.
void Project::nameFilesAt(const QList<QPair<QString, QString>> &copies, bool back)
{
    for (const auto &[source, destination] : copies) {
        const QString from = back ? destination : source;
        const QString to = back ? source : destination;
        for (const auto &configuration : m_configurations)
            configuration->renameFile(from, to);
        m_unread.renameFile(from, to);
        for (ProjectFile &file : m_files) {
            if (file.path == from) {
                file.path = to;
                const QFileInfo info(to);
                file.exists = info.exists();
                file.canonical = info.canonicalFilePath();
            }
        }
    }
    // The firmware a build named is named again in the project's folder, which may be another
    // now: the project file would otherwise name the one of the project it was copied from.
    for (const auto &configuration : m_configurations) {
        configuration->setProjectDirectory(projectDirectory());
        if (configuration->root())
            MakefileWriter(*configuration).fillFileNames();
    }
}

// The open editors follow their files into the copy, and what they hold unsaved is saved
// there, so that the copy holds what the tabs show (a file the user chose to keep is left to
// the user to save over). The originals stay as they were last saved.
void Project::editorsFollow(const QList<QPair<QString, QString>> &copies, const QSet<QString> &kept)
{
    EditorServices &editors = m_mainWindow.editors();
    for (const auto &[source, destination] : copies) {
        if (QFileInfo(source).absoluteFilePath() == QFileInfo(destination).absoluteFilePath())
            continue;
        editors.editorFileRenamed(source, destination);
        if (!kept.contains(destination) && !editors.modifiedEditorTitle(destination).isEmpty()
            && !editors.saveEditor(destination, false))
            m_mainWindow.output().error(tr("Could not save file %1").arg(destination));
    }
}

bool Project::maybeSave()
{
    if (!m_modified)
        return true;
    const QMessageBox::StandardButton answer = Prompts::instance().message(
        QMessageBox::Warning,
        m_mainWindow.commands().mainWidget(),
        tr("Application"),
        tr("Project '%1' has been modified.\nDo you want to save your changes?").arg(m_name),
        QMessageBox::Save | QMessageBox::Discard | QMessageBox::Cancel);
    if (answer == QMessageBox::Save)
        return save();
    if (answer != QMessageBox::Discard)
        return false;
    undoRenamesSinceSave();
    return true;
}

// The project's changes are dropped: files renamed in the tree meanwhile take their old names
// again, which the project file names, rather than be missing from the project when it is
// opened again. A name taken meanwhile by another file keeps that file; the user is told where
// the renamed file is, as the project no longer lists it.
void Project::undoRenamesSinceSave()
{
    QStringList kept;
    for (auto renamed = m_renamedSinceSave.crbegin(); renamed != m_renamedSinceSave.crend();
         ++renamed) {
        const auto &[oldPath, newPath] = *renamed;
        if (QFileInfo::exists(oldPath) || !QFile::rename(newPath, oldPath)) {
            if (QFileInfo::exists(newPath)) {
                kept << tr("%1 (the project names it %2)")
                            .arg(QDir::toNativeSeparators(newPath), QFileInfo(oldPath).fileName());
            }
            continue;
        }
        m_mainWindow.editors().editorFileRenamed(newPath, oldPath);
        for (ProjectFile &file : m_files) {
            if (file.path == newPath)
                file.path = oldPath;
        }
    }
    m_renamedSinceSave.clear();
    if (!kept.isEmpty()) {
        Prompts::instance().message(QMessageBox::Warning,
                                    m_mainWindow.commands().mainWidget(),
                                    tr("Application"),
                                    tr("These files keep their new names, as their old names "
                                       "are taken by other files:\n%1")
                                        .arg(kept.join(QLatin1Char('\n'))));
    }
}

QByteArray Project::contents() const
{
    return document().toByteArray();
}

bool Project::saveWithFiles(bool ask)
{
    if (!(ask ? maybeSave() : save()))
        return false;
    for (const ProjectFile &file : m_files) {
        if (!m_mainWindow.editors().saveEditor(file.path, ask))
            return false;
    }
    return true;
}

bool Project::open()
{
    const QString directory = m_mainWindow.files().settingsStore().projectsDirectory();
    const QString path = Prompts::instance().openFileName(m_mainWindow.commands().mainWidget(),
                                                          tr("Open Project"),
                                                          directory,
                                                          tr("Project files (*.%1)").arg("dyxp"));
    if (path.isEmpty()) {
        updateRootText();
        return false;
    }
    return load(path);
}

bool Project::addFile(const QString &rawPath, const QString &group)
{
    QString path = rawPath;
    if (path.contains(QLatin1String("%CIRRANE_DIR%")))
        path.replace(QLatin1String("%CIRRANE_DIR%"),
                     m_mainWindow.simulator().simulatorDirectory(false));
    if (findFileForTool(path) >= 0)
        return false;
    if (extensionOf(path) == QLatin1String("DSN") && !designFile().isEmpty())
        return false;
    if (QFileInfo(path).isRelative())
        path = QDir::cleanPath(QDir(projectDirectory()).absoluteFilePath(path));
    if (!canBeKept(path))
        return false;
    ProjectFile file;
    file.path = QDir::fromNativeSeparators(path);
    file.group = group;
    const QFileInfo info(path);
    file.exists = info.exists();
    file.canonical = info.canonicalFilePath();
    if (!file.exists)
        m_mainWindow.output().error(tr("File '%1' not found").arg(path));
    m_files.push_back(file);
    if (m_configurationsLater) {
        m_configurationsLater->append(file.path);
    } else {
        for (const auto &configuration : m_configurations)
            configuration->addFile(file.path, true);
    }
    addFileItem(fileCount() - 1);
    emit treeChanged();
    m_upToDate = false;
    return true;
}

// Many files at once reach the configurations together, which take them in one go.
void Project::addingMany(const std::function<void()> &add)
{
    QStringList later;
    m_configurationsLater = &later;
    add();
    m_configurationsLater = nullptr;
    for (const auto &configuration : m_configurations)
        configuration->addFiles(later, true);
}

void Project::addFiles(const QStringList &paths)
{
    addingMany([&] {
        for (const QString &path : paths) {
            if (!QFileInfo(path).isDir()) {
                addFile(path);
                continue;
            }
            const QStringList files = sourcesIn(path);
            if (files.isEmpty())
                m_mainWindow.output().message(
                    tr("%1 holds no file of a type the compiler knows; nothing was added from it.")
                        .arg(QDir::toNativeSeparators(path)));
            for (const QString &file : files)
                addFile(file);
        }
    });
}

// The files a folder given to the project brings: those of a type the compiler knows (sources,
// headers, linker scripts) in it and in its folders, in name order. Hidden entries, the configurations' output folders (their generated
// assembler files would be taken for sources) and folders reached through a link are left out,
// and so is what lies past the first few thousand entries, should the folder be a whole disk.
QStringList Project::sourcesIn(const QString &folder) const
{
    const BuildProject *active = activeConfiguration();
    const BuildConfig *compiler = active ? active->compiler() : nullptr;
    QSet<QString> outputs;
    for (const auto &configuration : m_configurations)
        outputs.insert(QDir::cleanPath(configuration->outputDirectory()));
    constexpr int maxEntries = 20000;
    int seen = 0;
    QStringList files;
    const std::function<void(const QString &)> scan = [&](const QString &path) {
        const QFileInfoList entries = QDir(path).entryInfoList(QDir::Files | QDir::Dirs
                                                                   | QDir::NoDotAndDotDot,
                                                               QDir::Name);
        for (const QFileInfo &entry : entries) {
            if (++seen > maxEntries)
                return;
            if (entry.isDir()) {
                if (!entry.isSymLink() && !outputs.contains(entry.absoluteFilePath()))
                    scan(entry.absoluteFilePath());
            } else if (ProjectDocument::fileTypeOf(entry.absoluteFilePath(), compiler)) {
                files.append(entry.absoluteFilePath());
            }
        }
    };
    scan(QDir::cleanPath(QDir(projectDirectory()).absoluteFilePath(folder)));
    return files;
}

// Whether the project file can name the file; the user is told when not (it could not be read
// again).
bool Project::canBeKept(const QString &path) const
{
    if (XmlDocumentIo::canHold(path))
        return true;
    QString shown = path;
    for (QChar &c : shown) {
        if (!XmlDocumentIo::canHold(QStringView(&c, 1)))
            c = QLatin1Char('?');
    }
    m_mainWindow.output().error(
        tr("'%1' cannot be kept in a project: its name holds a control character.").arg(shown));
    return false;
}

bool Project::addFile(const QString &path)
{
    if (addFile(path, QString())) {
        m_modified = true;
        updateRootText();
    }
    m_upToDate = false;
    return true;
}

bool Project::designFileLocationAccepted(const QString &file) const
{
    // A project without a file has no folder yet: saving it asks then.
    if (m_filePath.isEmpty())
        return true;
    return designFileLocationAccepted(file, projectDirectory());
}

bool Project::designFileLocationAccepted(const QString &file, const QString &directory) const
{
    if (extensionOf(file) != QLatin1String("DSN"))
        return true;
    if (QFileInfo(file).absolutePath() == QFileInfo(directory).absoluteFilePath())
        return true;
    return Prompts::instance().message(QMessageBox::Warning,
                                       m_mainWindow.commands().mainWidget(),
                                       tr("DYX Studio"),
                                       tr("Are you sure you want the schematic file to be outside "
                                          "the project's directory?"),
                                       QMessageBox::Yes | QMessageBox::Cancel,
                                       QMessageBox::Cancel,
                                       tr("This is not recommended as it can cause problems "
                                          "locating the source code when debugging."))
           == QMessageBox::Yes;
}

bool Project::addExistingFiles()
{
    const QStringList paths = Prompts::instance().openFileNames(m_mainWindow.commands().mainWidget(),
                                                                tr("Open File"),
                                                                projectDirectory(),
                                                                tr("All files (*.*)"));
    bool added = false;
    addingMany([&] {
        for (const QString &path : paths) {
            if (path.isEmpty())
                continue;
            added = false;
            if (!designFileLocationAccepted(path))
                continue;
            added = addFile(path, QString());
            if (added) {
                m_modified = true;
                updateRootText();
            }
        }
    });
    m_upToDate = false;
    return added;
}

bool Project::newFile()
{
    const QString path = Prompts::instance().saveFileName(m_mainWindow.commands().mainWidget(),
                                                          tr("New File Name"),
                                                          projectDirectory(),
                                                          tr("All files (*.*)"));
    if (path.isEmpty())
        return false;
    if (!canBeKept(path))
        return false;
    if (extensionOf(path) == QLatin1String("DSN"))
        return newDesignFile(path);
    if (!QFileInfo::exists(path)) {
        // Made here and now: a link left at the name, pointing nowhere, is not followed.
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly | QIODevice::NewOnly)) {
            m_mainWindow.output().error(
                tr("Cannot create %1: %2.").arg(QDir::toNativeSeparators(path), file.errorString()));
            return false;
        }
        file.close();
    }
    if (!addFile(path))
        return false;
    // A new file is made to be written: it opens at once.
    m_mainWindow.editors().openFileAt(path);
    return true;
}

bool Project::newDesignFile(const QString &givenPath)
{
    QString path = givenPath;
    if (path.isEmpty()) {
        path = Prompts::instance().saveFileName(m_mainWindow.commands().mainWidget(),
                                                tr("New Design File Name"),
                                                projectDirectory(),
                                                tr("Design files (*.dsn)"));
        if (path.isEmpty())
            return false;
    }
    if (extensionOf(path) != QLatin1String("DSN") || !designFile().isEmpty())
        return false;
    if (!designFileLocationAccepted(path))
        return false;
    if (QFileInfo::exists(path) && !QFile::remove(path))
        return false;
    BuildProject *configuration = activeConfiguration();
    // The new design shows the firmware running: one that was never built is built first.
    if (configuration && !QFileInfo::exists(targetPath()))
        compile();
    {
        QFile design(path);
        if (!design.open(QIODevice::WriteOnly | QIODevice::NewOnly))
            return false;
    }
    CirraneInterface *simulator = m_simulatorLink;
    if (!simulator)
        return false;
    simulator->closeSimulator();
    simulator->updateDesign(path,
                            configuration ? configuration->controller() : QString(),
                            configuration ? configuration->family() : QString(),
                            targetPath(),
                            clock(),
                            true,
                            false);
    if (!simulator->launch(m_mainWindow.simulator().simulatorDirectory(false)))
        return false;
    return addFile(path);
}

bool Project::removeFile(int index)
{
    if (index < 0 || index >= fileCount())
        return false;
    const ProjectFile file = m_files.at(index);
    // Unsaved text in the file's editor is saved or dropped as the user says.
    if (!m_mainWindow.editors().saveEditor(file.path, true))
        return false;
    m_mainWindow.editors().closeEditor(file.path);
    delete file.item;
    m_files.erase(m_files.begin() + index);
    m_modified = true;
    updateRootText();
    m_upToDate = false;
    for (const auto &configuration : m_configurations)
        configuration->removeFile(file.path);
    m_unread.removeFile(file.path);
    return true;
}

void Project::forget()
{
    m_files.clear();
    m_loaded = false;
}

QString Project::filePathAt(int index) const
{
    return index >= 0 && index < fileCount() ? m_files.at(index).path : QString();
}

QString Project::relativeFilePath(int index) const
{
    const QString path = filePathAt(index);
    return path.isEmpty() ? QString() : QDir(projectDirectory()).relativeFilePath(path);
}

QString Project::fileGroup(int index) const
{
    return index >= 0 && index < fileCount() ? m_files.at(index).group : QString();
}

const ProjectFile *Project::fileAt(int index) const
{
    return index >= 0 && index < fileCount() ? &m_files.at(index) : nullptr;
}

QString Project::groupName(int index) const
{
    return index >= 0 && index < groupCount() ? m_groups.at(index).name : QString();
}

BuildProject *Project::configuration(int index) const
{
    return index >= 0 && index < configurationCount() ? m_configurations.at(index).get() : nullptr;
}

BuildProject *Project::activeConfiguration() const
{
    return configuration(m_activeConfiguration);
}

void Project::setActiveConfiguration(int index)
{
    if (index >= 0 && index < configurationCount())
        m_activeConfiguration = index;
}

void Project::replaceConfigurations(std::vector<std::unique_ptr<BuildProject>> configurations)
{
    if (configurations.empty())
        return;
    const BuildProject *before = activeConfiguration();
    const QString compiler = before ? before->compilerName() : QString();
    m_configurations = std::move(configurations);
    m_activeConfiguration = std::clamp(m_activeConfiguration, 0, configurationCount() - 1);
    // Another compiler knows other kinds of file: the files find their groups again.
    if (activeConfiguration()->compilerName() != compiler)
        regroup();
}

void Project::addConfiguration(BuildProject *configuration)
{
    m_configurations.emplace_back(configuration);
    QStringList paths;
    for (const ProjectFile &file : m_files)
        paths.append(file.path);
    configuration->addFiles(paths, true);
}

QString Project::family() const
{
    const BuildProject *c = activeConfiguration();
    return c ? c->family() : QString();
}

QString Project::controller() const
{
    const BuildProject *c = activeConfiguration();
    return c ? c->controller() : QString();
}

QString Project::compiler() const
{
    const BuildProject *c = activeConfiguration();
    return c ? c->compilerName() : QString();
}

QString Project::clock() const
{
    const BuildProject *c = activeConfiguration();
    return c ? c->clock() : QString();
}

QString Project::targetPath() const
{
    BuildProject *c = activeConfiguration();
    return c ? HandOffRequest::firmware(*c, projectDirectory()) : QString();
}

int Project::findFileForTool(const QString &path) const
{
    const BuildProject *c = activeConfiguration();
    if (!c)
        return -1;
    const QString output = projectDirectory() + QLatin1Char('/') + c->targetName();
    if (QFileInfo(path).isAbsolute()) {
        // Two names of one file match: compare the resolved paths (kept for the project's
        // files), which spares a file-system look-up per project file.
        const QFileInfo candidate(QDir(output), path);
        const QString wanted = QDir::cleanPath(candidate.absoluteFilePath());
        const QString wantedCanonical = candidate.canonicalFilePath();
        for (int i = 0; i < fileCount(); ++i) {
            const ProjectFile &file = m_files.at(i);
            if (file.path == wanted
                || (!wantedCanonical.isEmpty() && file.canonical == wantedCanonical))
                return i;
        }
        return -1;
    }
    const QString name = QFileInfo(path).fileName().toUpper();
    for (int i = 0; i < fileCount(); ++i) {
        const QString &filePath = m_files.at(i).path;
        if (filePath.mid(filePath.lastIndexOf(QLatin1Char('/')) + 1).toUpper() == name)
            return i;
    }
    return -1;
}

QString Project::familyForFile(const QString &path) const
{
    const BuildProject *c = activeConfiguration();
    if (!c)
        return QString();
    // The name as given first, then the file whatever links lead to it.
    const QStringList files = c->allFiles();
    const QString absolute = QFileInfo(path).absoluteFilePath();
    for (const QString &file : files) {
        if (file == absolute)
            return c->family();
    }
    const QFileInfo wanted(path);
    for (const QString &file : files) {
        if (QFileInfo(file) == wanted)
            return c->family();
    }
    return QString();
}

QString Project::designFile() const
{
    // A project holds one design at most, and every configuration holds every file; the
    // command states ask after every change, so no list is made for it.
    if (!activeConfiguration())
        return QString();
    for (const ProjectFile &file : m_files) {
        if (file.path.endsWith(QLatin1String(".dsn"), Qt::CaseInsensitive))
            return file.path;
    }
    return QString();
}

QString Project::defaultGroup(const QString &path) const
{
    const BuildProject *c = activeConfiguration();
    return ProjectDocument::defaultGroup(path, c ? c->compiler() : nullptr);
}

QString Project::iconName(const QString &path) const
{
    const BuildProject *c = activeConfiguration();
    return ProjectDocument::iconName(path, c ? c->compiler() : nullptr);
}
