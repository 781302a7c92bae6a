#include "projectsmanager.h"

#include "project.h"

#include "project/handoffrequest.h"
#include "projecttreewidget.h"

#include "build/buildproject.h"
#include "core/commandstate.h"
#include "core/editorservices.h"
#include "core/mainservices.h"
#include "core/recentlists.h"
#include "core/settingsfiles.h"
#include "core/settingsstore.h"
#include "core/simulatorqueries.h"
#include "core/ui/busycursor.h"
#include "core/ui/commandactions.h"
#include "core/ui/prompts.h"
#include "platform/boundedfile.h"
#include "sampleproject.h"
#include "toolchain/buildconfiglist.h"
#include "toolchain/compilerscan.h"
#include "toolchain/ui/compilersdialog.h"
#include "toolchain/ui/configurationoptionsdialog.h"

#include "simulator/cirraneinterface.h"

#include <QAction>
#include <QContextMenuEvent>
#include <QDirIterator>
#include <QFileInfo>
#include <QMenu>

#include <utility>

ProjectsManager::ProjectsManager(MainServices *mainWindow, CommandActions *actions, QWidget *parent)
    : QDockWidget(parent)
    , m_mainWindow(servicesOf(mainWindow))
    , m_actions(actions)
    , m_catalogue(new BuildConfigList(&m_mainWindow, this))
    , m_tree(new ProjectTreeWidget(this))
    , m_simulator(new CirraneInterface(&m_mainWindow, this))
    , m_debug(*m_simulator, m_mainWindow.output(), [this] {
        return m_mainWindow.simulator().simulatorDirectory(false);
    })
{
    setObjectName(QStringLiteral("Projects"));
    setWindowTitle(tr("Project"));
    setFeatures(QDockWidget::DockWidgetMovable | QDockWidget::DockWidgetFloatable);
    m_tree->setColumnCount(1);
    m_tree->setHeaderHidden(true);
    setWidget(m_tree);
    m_topItem = m_tree->invisibleRootItem();
    m_topItem->setExpanded(true);
    connect(m_tree, &QTreeWidget::itemDoubleClicked, this, &ProjectsManager::itemDoubleClicked);
    connect(m_tree, &QTreeWidget::itemClicked, this, &ProjectsManager::itemClicked);
    connect(m_tree, &QTreeWidget::itemChanged, this, &ProjectsManager::itemChanged);
    m_catalogue->load();
    m_lastCurrent = currentProjectIndex();
    // Breakpoints belong to the session: VEXA gets those of the open project's files, of files
    // in its folder (one included by a source), and of files its firmware stopped in (a library
    // header stepped into), not those of other projects.
    m_simulator->setBreakpointScope([this](const QString &file) {
        const Project *project = currentProject();
        return isProjectFile(file)
               || (project
                   && (file.startsWith(project->projectDirectory() + QLatin1Char('/'))
                       || (m_firmwareOf == project->filePath()
                           && m_firmwareFiles.contains(QFileInfo(file).canonicalFilePath()))));
    });
    connect(m_simulator, &CirraneInterface::debugStopped, this, [this](const QString &file) {
        const Project *project = currentProject();
        if (!project || file.isEmpty())
            return;
        if (m_firmwareOf != project->filePath()) {
            m_firmwareOf = project->filePath();
            m_firmwareFiles.clear();
        }
        // Named as the build named it (through "..", a link): the same file as the tab's.
        if (const QString canonical = QFileInfo(file).canonicalFilePath(); !canonical.isEmpty())
            m_firmwareFiles.insert(canonical);
    });
}

ProjectsManager::~ProjectsManager()
{
    // Projects own items of the tree: they go while the tree is still there.
    m_projects.clear();
    // Quitting stops the simulation and closes the simulator this program started.
    delete m_simulator;
    m_simulator = nullptr;
}

QWidget *ProjectsManager::dialogParent() const
{
    return m_mainWindow.commands().mainWidget();
}

Project *ProjectsManager::project(int index) const
{
    return index >= 0 && index < projectCount() ? m_projects.at(index).get() : nullptr;
}

QString ProjectsManager::projectPath(int index) const
{
    const Project *p = project(index);
    return p ? p->filePath() : QString();
}

Project *ProjectsManager::projectForItem(const QTreeWidgetItem *item) const
{
    for (const auto &p : m_projects) {
        if (p->classifyItem(item) >= 0)
            return p.get();
    }
    return nullptr;
}

int ProjectsManager::currentProjectIndex() const
{
    const QTreeWidgetItem *current = m_tree->currentItem();
    for (int i = 0; i < projectCount(); ++i) {
        if (m_projects.at(i)->classifyItem(current) >= 0)
            return i;
    }
    return projectCount() > 0 ? 0 : -1;
}

int ProjectsManager::indexOfProject(const QString &path) const
{
    const QString absolute = QFileInfo(path).absoluteFilePath();
    for (int i = 0; i < projectCount(); ++i) {
        if (m_projects.at(i)->filePath() == absolute)
            return i;
    }
    return -1;
}

void ProjectsManager::trackCurrentProject()
{
    const int current = currentProjectIndex();
    if (current != m_lastCurrent)
        emit projectConfigurationChange(QString());
    m_lastCurrent = current;
}

void ProjectsManager::markCurrentProject()
{
    const int current = currentProjectIndex();
    for (int i = 0; i < projectCount(); ++i)
        m_projects.at(i)->setCurrent(i == current);
}

void ProjectsManager::applyDisplaySettings()
{
    for (const auto &p : m_projects)
        p->applyDisplayFormats();
    markCurrentProject();
}

void ProjectsManager::refresh()
{
    for (const auto &p : m_projects)
        p->applyDisplayFormats();
    markCurrentProject();
}

bool ProjectsManager::closeCheck(int index)
{
    Project *p = project(index);
    if (!p)
        return true;
    QStringList names;
    for (int i = 0; i < p->fileCount(); ++i) {
        const QString title = m_mainWindow.editors().modifiedEditorTitle(p->filePathAt(i));
        if (!title.isEmpty())
            names.append(title);
    }
    if (!names.isEmpty()) {
        const QMessageBox::StandardButton answer = Prompts::instance().message(
            QMessageBox::Warning,
            dialogParent(),
            tr("Application"),
            tr("Files %1 have been modified.\nDo you want to save your changes?")
                .arg(names.join(QStringLiteral(", "))),
            QMessageBox::Save | QMessageBox::Discard | QMessageBox::Cancel);
        if (answer == QMessageBox::Cancel)
            return false;
        if (answer == QMessageBox::Save) {
            for (int i = 0; i < p->fileCount(); ++i)
                m_mainWindow.editors().saveEditor(p->filePathAt(i), false);
        }
    }
    return p->maybeSave();
}

bool ProjectsManager::closeProject(int index)
{
    Project *p = project(index);
    if (!p || p->isBuilding())
        return false;
    if (!p->filePath().isEmpty())
        m_mainWindow.recent().newMRUProject(p->filePath());
    m_projects.erase(m_projects.begin() + index);
    trackCurrentProject();
    refresh();
    m_mainWindow.commands().updateState();
    return true;
}

bool ProjectsManager::closeOpenProject()
{
    const int current = currentProjectIndex();
    bool closed = true;
    if (current >= 0)
        closed = closeCheck(current) && closeProject(current);
    m_lastCurrent = currentProjectIndex();
    return closed;
}

// A project that is now the open one: its tree, its signals and the window's commands. One
// opened from a file given to the program gets its editors of the last session back; one
// opened (not made anew) is handed to a running VEXA.
void ProjectsManager::adoptProject(std::unique_ptr<Project> project, bool fromCommand, bool handOver)
{
    Project *adopted = project.get();
    m_projects.push_back(std::move(project));
    adopted->setSimulatorLink(m_simulator);
    connect(adopted, &Project::treeChanged, this, &ProjectsManager::updateState);
    connect(adopted, &Project::configurationSelected, this, &ProjectsManager::selectConfiguration);
    connect(adopted, &Project::makefileWritten, this, [this, adopted](const QString &directory) {
        clearUpToDate(directory, adopted);
    });
    if (fromCommand)
        adopted->reopenFiles();
    adopted->buildTree(m_topItem);
    m_tree->setCurrentItem(adopted->rootItem());
    refresh();
    itemClicked(adopted->rootItem(), 0);
    if (handOver)
        sendFirmware();
}

void ProjectsManager::closeProject()
{
    closeOpenProject();
}

// New Project, Open Project and Open Sample leave the open project as it is until the user has
// chosen another: Cancel in their dialogs changes nothing.
void ProjectsManager::newProject()
{
    auto project = std::make_unique<Project>(m_catalogue, &m_mainWindow);
    if (project->runNewProjectWizard())
        adoptChosen(std::move(project), false);
}

// A project the user chose takes the open one's place, unless it is open already or the user
// keeps the open one.
void ProjectsManager::adoptChosen(std::unique_ptr<Project> project, bool handOver)
{
    if (indexOfProject(project->filePath()) >= 0) {
        Prompts::instance().message(QMessageBox::Information,
                                    dialogParent(),
                                    tr("DYX Studio"),
                                    tr("Project %1 is already opened").arg(project->filePath()));
        project->forget();
        return;
    }
    if (!closeOpenProject()) {
        project->forget();
        return;
    }
    adoptProject(std::move(project), false, handOver);
}

void ProjectsManager::openSample()
{
    BusyCursor wait;
    if (m_mainWindow.simulator().simulatorDirectory(false).isEmpty()) {
        wait.restore();
        Prompts::instance().message(QMessageBox::Information,
                                    dialogParent(),
                                    tr("DYX Studio"),
                                    tr("No Cirrane Installation Detected."),
                                    QMessageBox::Ok,
                                    QMessageBox::Ok,
                                    tr("The sample projects are installed with Cirrane. Visit the "
                                       "Morvellan Electronics web site to obtain a copy."));
        return;
    }
    if (!m_catalogue)
        return;
    if (!m_samples) {
        m_samples = new SampleProject(&m_mainWindow, m_catalogue, dialogParent());
        connect(m_samples, &SampleProject::sampleChosen, this, [this](const QString &path) {
            const QString copy = copySample(path);
            if (copy.isEmpty())
                return;
            openProject(copy, false);
            // Said once the project open before is closed, which clears the output: a second
            // copy bears the same project name as the first.
            m_mainWindow.output().message(
                tr("Copied the sample to %1.").arg(QFileInfo(copy).absolutePath()));
        });
    }
    wait.restore();
    m_samples->exec();
}

namespace {

// Copies a folder's files and folders (links are passed over) into a new folder; false when a
// file cannot be copied.
bool copyFolder(const QString &from, const QString &to)
{
    if (!QDir().mkpath(to))
        return false;
    QDirIterator it(from,
                    QDir::Files | QDir::Dirs | QDir::NoDotAndDotDot | QDir::Hidden,
                    QDirIterator::Subdirectories);
    const QDir source(from);
    while (it.hasNext()) {
        const QFileInfo entry(it.next());
        if (entry.isSymLink())
            continue;
        const QString target = QDir(to).filePath(source.relativeFilePath(entry.filePath()));
        if (entry.isDir() ? !QDir().mkpath(target) : !QFile::copy(entry.filePath(), target))
            return false;
    }
    return true;
}

} // namespace

QString ProjectsManager::copySample(const QString &path)
{
    const QString projects = m_mainWindow.files().settingsStore().directory(SettingsStore::Projects);
    const QString parent = Prompts::instance().existingDirectory(dialogParent(),
                                                                 tr("Copy the Sample Into"),
                                                                 projects);
    if (parent.isEmpty())
        return {};
    const QFileInfo sample(path);
    const QString name = sample.dir().dirName();
    QString target = QDir(parent).filePath(name);
    for (int n = 2; QFileInfo::exists(target) || QFileInfo(target).isSymLink(); ++n)
        target = QDir(parent).filePath(QStringLiteral("%1 %2").arg(name).arg(n));
    if (!copyFolder(sample.absolutePath(), target)) {
        m_mainWindow.output().error(tr("Cannot copy the sample to %1.").arg(target));
        return {};
    }
    return QDir(target).filePath(sample.fileName());
}

bool ProjectsManager::openProject(const QString &path, bool quiet)
{
    if (indexOfProject(path) >= 0) {
        if (!quiet) {
            Prompts::instance().message(QMessageBox::Information,
                                        dialogParent(),
                                        tr("DYX Studio"),
                                        tr("Project %1 is already opened").arg(path));
        }
        return false;
    }
    if (!closeOpenProject())
        return false;
    bool loaded = false;
    {
        BusyCursor wait;
        auto p = std::make_unique<Project>(m_catalogue, &m_mainWindow);
        loaded = !path.isEmpty() && p->load(path);
        if (loaded)
            adoptProject(std::move(p), true, true);
        else if (!path.isEmpty())
            m_mainWindow.output().error(tr("Cannot open project %1").arg(path));
    }
    m_mainWindow.commands().updateState();
    return loaded;
}

bool ProjectsManager::readProjectAgain()
{
    Project *current = currentProject();
    if (!current || current->isBuilding() || !current->changedOnDisk())
        return false;
    const QString path = current->filePath();
    bool unsaved = current->isModified();
    for (int i = 0; i < current->fileCount() && !unsaved; ++i)
        unsaved = !m_mainWindow.editors().modifiedEditorTitle(current->filePathAt(i)).isEmpty();
    if (unsaved) {
        // Once for each version of the file (a program may write it in several steps).
        const QByteArray version = Platform::fileDigest(path, Platform::maxXmlFileBytes);
        if (std::exchange(m_versionToldOf, version) == version)
            return false;
        m_mainWindow.output().message(
            tr("%1 was changed by another program. The project has unsaved changes here and "
               "stays as it is; Save Project asks before writing over the file.")
                .arg(QDir::toNativeSeparators(path)));
        return false;
    }
    auto again = std::make_unique<Project>(m_catalogue, &m_mainWindow);
    if (!again->load(path)) {
        m_mainWindow.output().error(tr("%1 was changed by another program and cannot be read: "
                                       "the project stays as it was.")
                                        .arg(QDir::toNativeSeparators(path)));
        return false;
    }
    // The tabs of its files, with their places, open again as they were.
    const QString active = current->activeConfiguration() ? current->activeConfiguration()->name()
                                                          : QString();
    const QList<EditorServices::Place> places = m_mainWindow.editors().placesOf(
        currentProjectFiles());
    // What the last build said, and the marks it left in the files, stay.
    current->keepOutput();
    closeProject(currentProjectIndex());
    for (int i = 0; i < again->configurationCount(); ++i) {
        if (again->configuration(i)->name() == active)
            again->setActiveConfiguration(i);
    }
    QStringList open;
    for (const EditorServices::Place &place : places)
        open.append(place.path);
    m_mainWindow.editors().setLastSessionFiles(open);
    // A running VEXA keeps what it simulates until the next build or F5 hands it over.
    adoptProject(std::move(again), true, false);
    m_mainWindow.editors().setLastSessionFiles({});
    m_mainWindow.editors().restorePlaces(places);
    m_mainWindow.commands().updateState();
    m_mainWindow.output().message(tr("%1 was changed by another program and has been read again.")
                                      .arg(QDir::toNativeSeparators(path)));
    return true;
}

void ProjectsManager::openProject()
{
    auto project = std::make_unique<Project>(m_catalogue, &m_mainWindow);
    if (project->open())
        adoptChosen(std::move(project), true);
}

void ProjectsManager::saveProject()
{
    if (Project *p = currentProject(); p && !p->save() && !p->lastSaveError().isEmpty()) {
        Prompts::instance().message(QMessageBox::Warning,
                                    dialogParent(),
                                    tr("Application"),
                                    p->lastSaveError());
    }
    updateState();
}

void ProjectsManager::saveProjectAs()
{
    // A VEXA that runs goes on with the copy, as with a project opened: its design, changes
    // not saved yet included, and the copy's firmware once it is built. Without one there is
    // nothing to tell (and nothing to say about a missing simulator or design).
    if (Project *p = currentProject();
        p && p->saveAs(true) && m_simulator->isRunning() && !p->designFile().isEmpty())
        sendFirmware();
    // The window's title names the project, now the copy.
    m_mainWindow.commands().updateState();
}

void ProjectsManager::addFile()
{
    if (Project *p = currentProject())
        p->addExistingFiles();
    updateState();
}

void ProjectsManager::newFile()
{
    // A design file named here builds a firmware never built.
    whileBusy([this] {
        if (Project *p = currentProject())
            p->newFile();
    });
}

void ProjectsManager::removeFile()
{
    Project *p = currentProject();
    if (!p)
        return;
    const QTreeWidgetItem *item = m_tree->currentItem();
    // A file item's file, or every file of a group.
    QStringList paths;
    QString named;
    if (const int index = p->fileIndexForItem(item); index >= 0) {
        paths << p->filePathAt(index);
        named = tr("The file '") + p->relativeFilePath(index)
                + tr("' will be removed from the project.");
    } else if (const int group = p->groupIndexForItem(item); group >= 0) {
        QStringList names;
        for (int i = 0; i < p->fileCount(); ++i) {
            if (p->fileGroup(i) == p->groupName(group)) {
                paths << p->filePathAt(i);
                names << p->relativeFilePath(i);
            }
        }
        named = names.isEmpty()
                    ? tr("The group '%1' holds no file to remove.").arg(p->groupName(group))
                    : tr("The files of the group '%1' will be removed from the project: %2.")
                          .arg(p->groupName(group), names.join(QStringLiteral(", ")));
    }
    if (named.isEmpty())
        return;
    const QMessageBox::StandardButton answer = Prompts::instance().message(QMessageBox::Question,
                                                                           dialogParent(),
                                                                           tr("DYX Studio"),
                                                                           tr("Remove file."),
                                                                           QMessageBox::Ok
                                                                               | QMessageBox::Cancel,
                                                                           QMessageBox::Cancel,
                                                                           named);
    if (answer == QMessageBox::Ok) {
        // A file whose editor holds unsaved text is removed only once the user has said what
        // becomes of that text; Cancel keeps it, and the rest.
        for (const QString &path : std::as_const(paths)) {
            int index = 0;
            while (index < p->fileCount() && p->filePathAt(index) != path)
                ++index;
            if (!p->removeFile(index))
                break;
        }
    }
    updateState();
}

void ProjectsManager::renameItem()
{
    if (QTreeWidgetItem *item = m_tree->currentItem())
        m_tree->editItem(item, 0);
}

void ProjectsManager::itemClicked(QTreeWidgetItem *, int)
{
    m_mainWindow.commands().updateState();
    markCurrentProject();
    trackCurrentProject();
}

void ProjectsManager::itemDoubleClicked(QTreeWidgetItem *item, int)
{
    m_mainWindow.commands().updateState();
    Project *p = currentProject();
    if (!p)
        return;
    const int index = p->fileIndexForItem(item);
    if (index < 0)
        return;
    const QString path = p->filePathAt(index);
    // A design file belongs to the simulator, not to the editor; during a build, as Open
    // Debugger, it waits.
    const bool design = QFileInfo(path).suffix().toUpper() == QLatin1String("DSN");
    if (!design)
        m_mainWindow.editors().openFileAt(path);
    else if (!m_busy)
        debugOpen();
}

void ProjectsManager::itemChanged(QTreeWidgetItem *item, int)
{
    Project *p = currentProject();
    if (!p || !item)
        return;
    const int kind = p->classifyItem(item);
    // Renaming changes item texts itself; those changes are not new edits.
    const QSignalBlocker blocker(m_tree);
    if (kind == 1) {
        p->renameGroup(p->groupIndexForItem(item), item->text(0));
    } else if (kind == 2) {
        const int index = p->fileIndexForItem(item);
        const QString design = p->designFile();
        p->renameFile(index, p->typedFileName(index, item->text(0)));
        // VEXA goes on with the design under its new name, and saves it there.
        if (m_simulator->isRunning() && !design.isEmpty() && !p->designFile().isEmpty()
            && p->designFile() != design)
            sendFirmware();
    }
    // The window's title names the file shown, perhaps the one renamed.
    m_mainWindow.commands().updateState();
}

bool ProjectsManager::takeRunsSucceeded()
{
    const bool succeeded = m_runsSucceeded;
    m_runsSucceeded = true;
    return succeeded;
}

void ProjectsManager::whileBusy(const std::function<void()> &work)
{
    const bool wasBusy = std::exchange(m_busy, true);
    m_mainWindow.commands().updateState();
    work();
    m_busy = wasBusy;
    m_mainWindow.commands().updateState();
    if (!m_busy && m_compilersLater)
        readCompilersAgain();
}

bool ProjectsManager::runOnCurrentProject(bool (Project::*command)())
{
    bool done = false;
    whileBusy([&] {
        if (Project *p = currentProject())
            done = (p->*command)();
        else
            m_mainWindow.output().message(tr("No project selected."));
    });
    m_runsSucceeded = m_runsSucceeded && done;
    return done;
}

void ProjectsManager::compileProject()
{
    buildCurrentProject(&Project::compile);
}

void ProjectsManager::rebuildProject()
{
    buildCurrentProject(&Project::rebuild);
}

void ProjectsManager::followSelector(Project &project)
{
    // The last configuration of the selector's name wins.
    const QString selected = m_mainWindow.commands().selectedConfiguration();
    for (int i = 0; i < project.configurationCount(); ++i) {
        if (project.configuration(i)->name() == selected)
            project.setActiveConfiguration(i);
    }
}

bool ProjectsManager::buildBeforeSimulating()
{
    Project *p = currentProject();
    // Without a design or a simulator there is nothing to simulate; the commands say so.
    if (!p || p->designFile().isEmpty() || !m_debug.hasInstallation())
        return true;
    followSelector(*p);
    if (p->firmwareIsCurrent() || runOnCurrentProject(&Project::compile))
        return true;
    m_mainWindow.output().error(tr("The build failed: the simulator was not started."));
    return false;
}

void ProjectsManager::buildCurrentProject(bool (Project::*command)())
{
    if (Project *p = currentProject(); p)
        followSelector(*p);
    const bool built = runOnCurrentProject(command);
    Project *p = currentProject();
    if (!p)
        return;
    whileBusy([&] {
        if (!m_simulator->isRunning()) {
            // Only a firmware that was built has a simulation to start, in a design.
            if (built && !p->designFile().isEmpty())
                m_mainWindow.output().message(tr("Click the VEXA icon to launch the design file "
                                                 "in VEXA for simulation and debugging.\n"));
        } else {
            sendFirmware();
        }
    });
}

void ProjectsManager::newDesignFile()
{
    whileBusy([this] {
        if (Project *p = currentProject())
            p->newDesignFile(QString());
    });
}

// The current project as the simulator commands see it; null when there is none.
std::optional<DebugTarget> ProjectsManager::debugTarget() const
{
    const Project *p = currentProject();
    if (!p)
        return std::nullopt;
    QStringList files;
    for (int i = 0; i < p->fileCount(); ++i)
        files.append(p->filePathAt(i));
    return HandOffRequest::of(p->activeConfiguration(), p->projectDirectory(), files);
}

void ProjectsManager::sendFirmware()
{
    m_debug.sendFirmware(debugTarget());
    m_mainWindow.commands().updateState();
}

void ProjectsManager::debugOpen()
{
    if (buildBeforeSimulating())
        m_debug.open(debugTarget());
    updateState();
}

void ProjectsManager::debugRun()
{
    if (buildBeforeSimulating())
        m_debug.run(debugTarget());
    updateState();
}

void ProjectsManager::debugClose()
{
    m_debug.close();
    updateState();
}

void ProjectsManager::debugStop()
{
    m_debug.stop();
    updateState();
}

bool ProjectsManager::simulate(double seconds, const QString &traceFile)
{
    const bool finished = m_debug.simulate(debugTarget(), seconds, traceFile);
    updateState();
    return finished;
}

void ProjectsManager::cleanProject()
{
    runOnCurrentProject(&Project::clean);
}

void ProjectsManager::tidyProject()
{
    runOnCurrentProject(&Project::tidy);
}

void ProjectsManager::setFileModified(const QString &path, bool modified)
{
    for (const auto &p : m_projects)
        p->setFileModified(path, modified);
}

QString ProjectsManager::familyForFile(const QString &path) const
{
    for (const auto &p : m_projects) {
        const QString family = p->familyForFile(path);
        if (!family.isEmpty())
            return family;
    }
    const Project *current = currentProject();
    return current ? current->family() : QString();
}

QStringList ProjectsManager::currentProjectFiles() const
{
    QStringList files;
    if (const Project *p = currentProject()) {
        for (int i = 0; i < p->fileCount(); ++i)
            files.append(p->filePathAt(i));
    }
    return files;
}

bool ProjectsManager::isProjectFile(const QString &path) const
{
    for (const auto &p : m_projects) {
        for (int f = 0; f < p->fileCount(); ++f) {
            if (p->filePathAt(f) == path)
                return true;
        }
    }
    return false;
}

void ProjectsManager::clearUpToDate(const QString &directory, const Project *except)
{
    for (const auto &p : m_projects) {
        if (p.get() != except && p->projectDirectory() == directory)
            p->setUpToDate(false);
    }
}

void ProjectsManager::showCompilersDialog()
{
    whileBusy([this] {
        CompilersDialog dialog(m_catalogue, &m_mainWindow, dialogParent());
        dialog.exec();
    });
}

void ProjectsManager::projectSettings()
{
    Project *project = currentProject();
    if (!project || m_busy)
        return;
    ConfigurationOptionsDialog dialog(project,
                                      project->activeConfigurationIndex(),
                                      &m_mainWindow,
                                      dialogParent());
    // Other options or another controller: everything is built again.
    if (dialog.exec() == QDialog::Accepted)
        project->setRebuildAll(true);
    m_mainWindow.commands().updateState();
    const BuildProject *active = project->activeConfiguration();
    emit projectConfigurationChange(active ? active->name() : QString());
}

void ProjectsManager::readCompilersAgain()
{
    if (m_busy) {
        if (!std::exchange(m_compilersLater, true)) {
            m_mainWindow.output().message(
                tr("The compiler configuration files are read again when the build has ended."));
        }
        return;
    }
    m_compilersLater = false;
    whileBusy([this] {
        std::vector<QDomDocument> held;
        for (const auto &p : m_projects)
            held.push_back(p->setConfigurationsAside());
        m_catalogue->load();
        // Compilers met for the first time are detected; the others keep their directories.
        if (CompilerScan scan(m_catalogue); scan.checkUndetected())
            scan.save();
        for (std::size_t i = 0; i < m_projects.size(); ++i)
            m_projects.at(i)->readConfigurationsBack(held.at(i));
    });
    refresh();
    const Project *p = currentProject();
    const BuildProject *active = p ? p->activeConfiguration() : nullptr;
    emit projectConfigurationChange(active ? active->name() : QString());
}

void ProjectsManager::scanCompilers()
{
    CompilerScan scan(m_catalogue);
    scan.checkAll();
    scan.save();
}

void ProjectsManager::updateState()
{
    if (!m_actions || !m_actions->openProject)
        return;
    const CommandActions &a = *m_actions;
    for (QAction *action : {a.openProject, a.newProject, a.openSample})
        action->setEnabled(!m_busy);
    a.stopBuild->setEnabled(m_busy);
    const QList<QAction *> projectCommands = {a.addExistingFile,
                                              a.addNewFile,
                                              a.addDesignFile,
                                              a.createDesignFile,
                                              a.removeFile,
                                              a.saveProject,
                                              a.saveProjectAs,
                                              a.closeProject,
                                              a.projectSettings,
                                              a.buildProject,
                                              a.rebuildProject,
                                              a.tidyProject,
                                              a.cleanProject,
                                              a.openDebugger,
                                              a.startDebugging};
    for (QAction *action : projectCommands)
        action->setEnabled(false);
    Project *p = currentProject();
    if (!m_busy && p) {
        a.saveProject->setEnabled(p->isModified());
        for (QAction *action : {a.saveProjectAs,
                                a.closeProject,
                                a.projectSettings,
                                a.buildProject,
                                a.rebuildProject,
                                a.tidyProject,
                                a.cleanProject,
                                a.openDebugger,
                                a.startDebugging,
                                a.addExistingFile,
                                a.addNewFile}) {
            action->setEnabled(true);
        }
        const bool noDesign = p->designFile().isEmpty();
        a.addDesignFile->setEnabled(noDesign);
        a.createDesignFile->setEnabled(noDesign);
        const int kind = p->classifyItem(m_tree->currentItem());
        a.removeFile->setEnabled(kind == 1 || kind == 2);
    }
    // The simulator's own commands, while it runs.
    const bool simulatorUp = !m_busy && m_simulator->isRunning();
    a.stopSimulation->setEnabled(simulatorUp);
    a.closeSimulator->setEnabled(simulatorUp);
    for (const auto &each : m_projects)
        each->updateRootText();
}

void ProjectsManager::contextMenuEvent(QContextMenuEvent *event)
{
    showContextMenu(event);
}

void ProjectsManager::showContextMenu(QContextMenuEvent *event)
{
    m_mainWindow.commands().updateState();
    if (!m_contextMenu)
        m_contextMenu = new QMenu(this);
    m_contextMenu->clear();
    Project *p = currentProject();
    if (!p || !m_actions)
        return;
    const CommandActions &a = *m_actions;
    const int kind = p->classifyItem(m_tree->currentItem());
    if (kind == 2)
        m_contextMenu->addAction(a.removeFile);
    if (kind == 0 || kind == 1) {
        m_contextMenu->addActions(
            {a.addExistingFile, a.addNewFile, a.addDesignFile, a.createDesignFile});
    }
    if (kind == 1 || kind == 2)
        m_contextMenu->addAction(a.rename);
    m_contextMenu->addSeparator();
    m_contextMenu->addActions({a.saveProject, a.saveProjectAs, a.closeProject});
    m_contextMenu->addSeparator();
    m_contextMenu->addActions({a.projectSettings, a.buildProject, a.rebuildProject, a.cleanProject});
    m_contextMenu->popup(event->globalPos());
}
