#include "srcmanager.h"

#include "core/programfiles.h"
#include "core/settingsstore.h"
#include "core/silentoutput.h"
#include "core/ui/cirranedialog.h"
#include "core/ui/prompts.h"
#include "core/xmldocumentio.h"
#include "helpviewer.h"
#include "sessionstate.h"

#include "build/buildproject.h"
#include "build/ui/outwindow.h"
#include "editor/ui/finddialog.h"
#include "editor/ui/gotolinedialog.h"
#include "editor/ui/print.h"
#include "editor/ui/programsettingsdialog.h"
#include "editor/ui/sourceeditor.h"
#include "editor/ui/srctabsholder.h"
#include "platform/boundedfile.h"
#include "platform/caseinsensitivepath.h"
#include "platform/platformpaths.h"
#include "platform/wholefilewriter.h"
#include "project/ui/project.h"
#include "project/ui/projectsmanager.h"
#include "simulator/simulatedcontrollers.h"
#include "simulator/simulatorinstallation.h"
#include "toolchain/ui/configurationsdialog.h"

#include <QAction>
#include <QActionGroup>
#include <QApplication>
#include <QCloseEvent>
#include <QComboBox>
#include <QDir>
#include <QFileInfo>
#include <QFileSystemWatcher>
#include <QKeyEvent>
#include <QLabel>
#include <QMenu>
#include <QScreen>
#include <QSettings>
#include <QStatusBar>
#include <QTimer>
#include <QUrl>
#include <QWhatsThis>

#include <cstdio>
#include <functional>
#include <utility>

SrcManager::SrcManager(QWidget *parent, Qt::WindowFlags flags)
    : QMainWindow(parent, flags)
{
    m_files = std::make_unique<ProgramFiles>(*this, Platform::SettingsScope::User);
    m_simulatorInstallation = std::make_unique<SimulatorInstallation>(settingsStore());
    installEventFilter(this);
    // The what's-this mode is announced to the application.
    qApp->installEventFilter(this);
    // Without a window manager to maximize it, the window still opens at a usable size.
    if (const QScreen *screen = QGuiApplication::primaryScreen())
        resize(screen->availableSize() * 0.8);
    setWindowState(windowState() | Qt::WindowMaximized);
    m_position = new QLabel(this);
    m_position->setObjectName(QStringLiteral("cursorPosition"));
    createDocks();
    createActions();
    createToolBars();
    createStatusBar();
    createMenus();
    setWindowTitle(tr("DYX Studio"));
    connect(m_configCombo,
            &QComboBox::currentTextChanged,
            this,
            &SrcManager::configComboIndexChanged);
    SessionState(*this).restore();
    m_simulatedControllers = std::make_unique<SimulatedControllers>(this);
    m_simulatedControllers->load();
    auto *keepWork = new QTimer(this);
    keepWork->setObjectName(QStringLiteral("keepUnsavedWork"));
    keepWork->setInterval(keptWorkIntervalMs);
    connect(keepWork, &QTimer::timeout, this, &SrcManager::keepUnsavedWorkMeanwhile);
    keepWork->start();
    connect(m_tabs, &SrcTabsHolder::changesSavedOrDropped, this, &SrcManager::dropCopiesOfSavedWork);
    for (QAction *action : {m_actions.saveProject,
                            m_actions.saveProjectAs,
                            m_actions.closeProject,
                            m_actions.saveAllFiles})
        connect(action, &QAction::triggered, this, &SrcManager::dropCopiesOfSavedWork);
}

SrcManager::~SrcManager()
{
    // The docks reach back into the window while they go; take them down first.
    delete m_projects;
    m_projects = nullptr;
    delete m_outWindow;
    m_outWindow = nullptr;
}

void SrcManager::createDocks()
{
    setDockNestingEnabled(true);
    setTabPosition(Qt::AllDockWidgetAreas, QTabWidget::North);
    m_outWindow = new OutWindow(this, this);
    addDockWidget(Qt::BottomDockWidgetArea, m_outWindow);
    m_projects = new ProjectsManager(this, &m_actions, this);
    m_projects->setMinimumSize(200, 300);
    addDockWidget(Qt::LeftDockWidgetArea, m_projects);
    m_tabs = new SrcTabsHolder(this, this);
    m_tabs->setMinimumWidth(360);
    setCentralWidget(m_tabs);
    connect(m_tabs, &SrcTabsHolder::stateChanged, this, &SrcManager::updateState);
    // The compilers' messages mark the lines they name until the output is cleared.
    connect(m_outWindow, &OutWindow::sourceMarked, m_tabs, &SrcTabsHolder::addSourceMark);
    connect(m_outWindow, &OutWindow::cleared, m_tabs, &SrcTabsHolder::clearSourceMarks);
    connect(m_projects,
            &ProjectsManager::projectConfigurationChange,
            this,
            &SrcManager::updateBuildTargets);
}

void SrcManager::openHandedOver(const QStringList &paths)
{
    m_handedOver += paths;
    openHandedOverWhenIdle();
}

bool SrcManager::isIdle() const
{
    const Project *current = m_projects ? m_projects->currentProject() : nullptr;
    return !QApplication::activeModalWidget() && !QApplication::activePopupWidget()
           && !(m_projects && m_projects->isBusy()) && !(current && current->isBuilding())
           && !m_outWindow->isCatchingUp();
}

void SrcManager::watchProjectFile()
{
    const Project *current = m_projects ? m_projects->currentProject() : nullptr;
    const QString path = current ? current->filePath() : QString();
    if (path == m_watchedProject
        && (path.isEmpty() || (m_projectWatch && m_projectWatch->files().contains(path))))
        return;
    if (!m_projectWatch) {
        m_projectWatch = new QFileSystemWatcher(this);
        m_projectRetry = new QTimer(this);
        m_projectRetry->setSingleShot(true);
        m_projectRetry->setInterval(200);
        connect(m_projectRetry, &QTimer::timeout, this, &SrcManager::readProjectAgainWhenIdle);
        // A program writes a file in several steps: it is read once they have ended.
        connect(m_projectWatch, &QFileSystemWatcher::fileChanged, m_projectRetry, [this] {
            m_projectRetry->start();
        });
    }
    if (!m_projectWatch->files().isEmpty())
        m_projectWatch->removePaths(m_projectWatch->files());
    m_watchedProject = path;
    if (!path.isEmpty() && QFileInfo::exists(path))
        m_projectWatch->addPath(path);
}

void SrcManager::readProjectAgainWhenIdle()
{
    if (!isIdle()) {
        m_projectRetry->start();
        return;
    }
    if (m_projects)
        m_projects->readProjectAgain();
    // Another program's file put in place of the old one is watched anew.
    watchProjectFile();
}

void SrcManager::openHandedOverWhenIdle()
{
    if (m_handedOver.isEmpty())
        return;
    if (!isIdle()) {
        if (!m_handOverRetry) {
            m_handOverRetry = new QTimer(this);
            m_handOverRetry->setSingleShot(true);
            m_handOverRetry->setInterval(200);
            connect(m_handOverRetry, &QTimer::timeout, this, &SrcManager::openHandedOverWhenIdle);
        }
        m_handOverRetry->start();
        return;
    }
    const QStringList paths = std::exchange(m_handedOver, {});
    if (isMinimized())
        showNormal();
    raise();
    activateWindow();
    for (const QString &path : paths) {
        if (path.endsWith(QLatin1String(".dyxp"), Qt::CaseInsensitive))
            m_projects->openProject(Platform::resolveCaseInsensitive(path), false);
        else if (QFileInfo(path).isFile())
            m_tabs->openFileAt(path);
    }
}

OutputSink &SrcManager::output()
{
    return m_outWindow ? static_cast<OutputSink &>(*m_outWindow) : SilentOutput::instance();
}

EditorServices &SrcManager::editors()
{
    return *m_tabs;
}

ProjectQueries &SrcManager::projects()
{
    return *m_projects;
}

SettingsFiles &SrcManager::files()
{
    return *m_files;
}

SettingsStore &SrcManager::settingsStore()
{
    return m_files->settingsStore();
}

QStringList SrcManager::lastSessionFiles() const
{
    return m_tabs->lastSessionFiles();
}

void SrcManager::showStatusMessage(const QString &text, int timeout)
{
    statusBar()->showMessage(text, timeout);
}

void SrcManager::openFile()
{
    QString directory = settingsStore().projectsDirectory();
    if (const SourceEditor *editor = m_tabs->currentEditor();
        editor && QFileInfo::exists(editor->filePath()))
        directory = QFileInfo(editor->filePath()).absolutePath();
    const QString path = Prompts::instance().openFileName(this,
                                                          tr("Open File"),
                                                          directory,
                                                          tr("All files (*.*)"));
    if (!path.isEmpty())
        m_tabs->openFile(path);
}

bool SrcManager::isSimulated(const QString &family, const QString &controller) const
{
    return m_simulatedControllers && m_simulatedControllers->contains(family, controller);
}

void SrcManager::reopenSettings(Platform::SettingsScope scope)
{
    m_files->reopen(scope);
}

QString SrcManager::simulatorDirectory(bool forceDetect)
{
    return m_simulatorInstallation->simulatorDirectory(forceDetect);
}

QString SrcManager::detectInstallation()
{
    return m_simulatorInstallation->detectInstallation();
}

bool SrcManager::simulatorTooOld() const
{
    return m_simulatorInstallation->tooOld();
}

void SrcManager::detectCompilersOnFirstStart()
{
    QSettings &settings = settingsStore().settings();
    const bool recorded = settings.beginReadArray(QStringLiteral("compilers")) > 0;
    settings.endArray();
    if (!recorded && m_projects)
        m_projects->scanCompilers();
}

void SrcManager::checkSimulatorInstallation()
{
    // Compilers are scanned again when the directory differs from the one stored before.
    const QString old = settingsStore().cirraneDirectory();
    QString path = simulatorDirectory(false);
    if (path.isEmpty()) {
        path = simulatorDirectory(true);
        if (!path.isEmpty())
            settingsStore().setCirraneDirectory(path);
    }
    // Compiler detection can depend on where the simulator lives.
    if (path != old && m_projects)
        m_projects->scanCompilers();
    if (path.isEmpty()) {
        const QString text = simulatorTooOld()
                                 ? tr("Cirrane Detected but it is too old. Version 7.8 or later "
                                      "is required.")
                                 : tr("No Cirrane Installation Detected.");
        Prompts::instance().message(QMessageBox::Information,
                                    this,
                                    tr("DYX Studio"),
                                    text,
                                    QMessageBox::Ok,
                                    QMessageBox::Ok,
                                    tr("Visit the Morvellan Electronics web site to obtain a copy "
                                       "of Cirrane.\n If Cirrane is installed you may need to "
                                       "manually enter its path."));
    }
    updateState();
}

QString SrcManager::selectedConfiguration() const
{
    return m_configCombo ? m_configCombo->currentText() : QStringLiteral("Debug");
}

void SrcManager::setStatusMessage(const QString &text)
{
    if (text.isEmpty())
        statusBar()->clearMessage();
    else
        statusBar()->showMessage(text);
}

void SrcManager::saveAllEditors()
{
    m_tabs->saveAll();
}

void SrcManager::updateTitle()
{
    QStringList parts;
    if (const SourceEditor *editor = m_tabs->currentEditor()) {
        const QString name = QFileInfo(editor->filePath()).fileName();
        parts << (name.isEmpty() ? tr("Untitled") : name)
                     + (editor->isModified() ? QStringLiteral(" *") : QString());
    }
    if (const Project *project = m_projects ? m_projects->currentProject() : nullptr)
        parts << project->name();
    parts << tr("DYX Studio");
    setWindowTitle(parts.join(QStringLiteral(" - ")));
}

void SrcManager::updatePosition()
{
    int line = 0;
    int column = 0;
    SourceEditor *editor = m_tabs->currentEditor();
    if (editor)
        editor->getCursorPosition(&line, &column);
    m_position->setText(editor ? tr("Line %1, Column %2").arg(line + 1).arg(column + 1) : QString());
}

void SrcManager::updateState()
{
    watchProjectFile();
    const bool projectCurrent = m_projects && m_projects->currentProjectIndex() >= 0;
    const CommandActions &a = m_actions;
    if (m_tabs->currentEditor() != m_watchedEditor) {
        if (m_watchedEditor)
            disconnect(m_watchedEditor, nullptr, this, nullptr);
        m_watchedEditor = m_tabs->currentEditor();
        if (m_watchedEditor) {
            connect(m_watchedEditor,
                    &QsciScintilla::cursorPositionChanged,
                    this,
                    &SrcManager::updatePosition);
            connect(m_watchedEditor,
                    &QsciScintilla::modificationChanged,
                    this,
                    &SrcManager::updateTitle);
        }
    }
    updateTitle();
    updatePosition();
    if (SourceEditor *editor = m_tabs->currentEditor()) {
        editor->updateState();
    } else {
        for (QAction *action : {a.saveFile,
                                a.saveAllFiles,
                                a.closeFile,
                                a.cut,
                                a.copy,
                                a.paste,
                                a.undo,
                                a.redo,
                                a.printFile}) {
            action->setEnabled(false);
        }
        a.find->setEnabled(projectCurrent);
        a.replace->setEnabled(projectCurrent);
    }
    if (m_projects) {
        m_projects->updateState();
        updateDebugCommands();
    }
    const bool busy = m_projects && m_projects->isBusy();
    // The configuration being built stays the active one, and stays.
    if (m_configCombo)
        m_configCombo->setEnabled(!busy);
    if (m_recentProjectsGroup) {
        for (QAction *action : m_recentProjectsGroup->actions())
            action->setEnabled(!busy);
    }
}

void SrcManager::updateBuildTargets(const QString &currentTarget)
{
    if (!m_configCombo)
        return;
    // Refilling the selector must not act as if the user had picked an entry.
    m_rebuildingTargets = true;
    m_configCombo->clear();
    if (const Project *project = m_projects ? m_projects->currentProject() : nullptr) {
        for (int i = 0; i < project->configurationCount(); ++i)
            m_configCombo->addItem(project->configuration(i)->name());
    }
    m_configCombo->addItem(tr("Configurations..."));
    if (currentTarget.isEmpty()) {
        // The selector shows what a build would use.
        const Project *project = m_projects ? m_projects->currentProject() : nullptr;
        const bool valid = project && project->activeConfiguration();
        m_configCombo->setCurrentIndex(valid ? project->activeConfigurationIndex() : 0);
    } else {
        // Two configurations may share a name (a copy not yet renamed): of those, the active one.
        const Project *project = m_projects ? m_projects->currentProject() : nullptr;
        const BuildProject *active = project ? project->activeConfiguration() : nullptr;
        const int index = active && active->name() == currentTarget
                              ? project->activeConfigurationIndex()
                              : m_configCombo->findText(currentTarget,
                                                        Qt::MatchExactly | Qt::MatchCaseSensitive);
        if (index >= 0)
            m_configCombo->setCurrentIndex(index);
    }
    m_rebuildingTargets = false;
}

void SrcManager::configComboIndexChanged(const QString &text)
{
    if (m_rebuildingTargets || !m_projects || m_configCombo->currentIndex() < 0)
        return;
    if (text == tr("Configurations...")) {
        if (Project *project = m_projects->currentProject()) {
            ConfigurationsDialog dialog(project, this);
            // The list may have changed under the selector: it starts again at the first.
            if (dialog.exec() == QDialog::Accepted)
                project->setActiveConfiguration(0);
        }
        updateBuildTargets(QString());
        return;
    }
    if (Project *project = m_projects->currentProject())
        project->setActiveConfiguration(m_configCombo->currentIndex());
}

// Keeps a recent list: no entry twice whatever its letter case, newest first, at most four.
void SrcManager::pushRecent(QStringList &list, const QString &name)
{
    for (int i = list.size() - 1; i >= 0; --i) {
        if (list.at(i).compare(name, Qt::CaseInsensitive) == 0)
            list.removeAt(i);
    }
    if (!name.isEmpty())
        list.prepend(name);
    while (list.size() > 4)
        list.removeLast();
}

void SrcManager::newMRUFile(const QString &fileName)
{
    pushRecent(m_recentFiles, fileName);
    m_recentFilesPushed.append(fileName);
    createMRUMenu();
}

void SrcManager::newMRUProject(const QString &fileName)
{
    pushRecent(m_recentProjects, fileName);
    m_recentProjectsPushed.append(fileName);
    createMRUMenu();
}

void SrcManager::abortBuild()
{
    if (Project *project = m_projects ? m_projects->currentProject() : nullptr)
        project->abortBuild();
}

void SrcManager::about()
{
    Prompts::instance().about(this,
                              tr("About DYX Studio"),
                              tr("<h3>DYX Studio %1</h3>"
                                 "<p>A development environment for microcontroller firmware: "
                                 "projects, editor, compilers and the VEXA simulator.</p>")
                                  .arg(QApplication::applicationVersion()));
}

// The help file of the program's own installation, beside the folder the program lives in.
// Never one from the folder it was started in: a help file lying beside a downloaded project
// would be handed to the help file reader, which is no place for a stranger's file.
QString SrcManager::helpFile()
{
    return Platform::resolveCaseInsensitive(QDir(QCoreApplication::applicationDirPath())
                                                .filePath(QStringLiteral("../HELP/DYXSTUDIO.CHM")));
}

void SrcManager::showHelp(const QString &path, int contextId, QWidget *over)
{
    if (!m_help)
        m_help = new HelpViewer(this);
    m_help->showHelp(path, contextId, over);
}

void SrcManager::help()
{
    showHelp(helpFile(), 0);
}

// The find dialog for a search: a selection in the editor becomes the text to find.
static void prepareFind(FindDialog *dialog, SrcTabsHolder *tabs, bool replace)
{
    dialog->setReplaceMode(replace);
    if (const SourceEditor *editor = tabs->currentEditor(); editor && editor->hasSelectedText())
        dialog->setFindText(editor->selectedText());
    dialog->restartFromCursor();
    dialog->show();
    dialog->raise();
    dialog->activateWindow();
}

FindDialog *SrcManager::findDialog()
{
    if (!m_findDialog)
        m_findDialog = new FindDialog(m_tabs, this, this);
    return m_findDialog;
}

void SrcManager::find()
{
    prepareFind(findDialog(), m_tabs, false);
}

void SrcManager::replace()
{
    prepareFind(findDialog(), m_tabs, true);
}

void SrcManager::findNext()
{
    FindDialog *dialog = findDialog();
    dialog->setReplaceMode(false);
    if (m_tabs->currentEditor() && !dialog->findText().isEmpty()) {
        dialog->restartFromCursor();
        dialog->findNextClicked();
    }
}

void SrcManager::gotoLine()
{
    if (!m_gotoLineDialog)
        m_gotoLineDialog = new GotoLineDialog(m_tabs, this);
    m_gotoLineDialog->showForCurrentEditor();
}

void SrcManager::print()
{
    SourceEditor *editor = m_tabs->currentEditor();
    if (!editor)
        return;
    printing()->print(editor);
}

void SrcManager::showProgramConfigurationDialog()
{
    const QString compilers = settingsStore().compilersDirectory();
    const QString simulator = settingsStore().simulatorDirectory();
    ProgramSettingsDialog dialog(this, this);
    if (dialog.exec() != QDialog::Accepted)
        return;
    m_outWindow->applySettings();
    m_tabs->applySettingsToAll();
    m_projects->applyDisplaySettings();
    // What the new folders hold is used at once.
    if (settingsStore().simulatorDirectory() != simulator)
        m_simulatedControllers->load();
    if (settingsStore().compilersDirectory() != compilers)
        m_projects->readCompilersAgain();
}

Print *SrcManager::printing()
{
    if (!m_print)
        m_print = new Print(this);
    return m_print;
}

void SrcManager::createMRUMenu()
{
    if (!m_recentProjectsGroup) {
        m_recentProjectsGroup = new QActionGroup(this);
        m_recentProjectsGroup->setExclusive(false);
        m_recentFilesGroup = new QActionGroup(this);
        m_recentFilesGroup->setExclusive(false);
    }
    for (QAction *action : m_recentMenu->actions()) {
        m_recentMenu->removeAction(action);
        if (action->actionGroup())
            action->actionGroup()->removeAction(action);
        action->deleteLater();
    }
    // A menu reads "&" as the mark of the key that chooses the item; a path shows its own.
    const auto addPath = [this](const QString &path, QActionGroup *group, const QString &tip) {
        QAction *action = m_recentMenu->addAction(
            QString(path).replace(QLatin1Char('&'), QLatin1String("&&")));
        action->setData(path);
        action->setStatusTip(tip);
        group->addAction(action);
    };
    m_recentMenu->addAction(QIcon(QStringLiteral(":/images/project.png")), tr("Projects"));
    for (const QString &project : std::as_const(m_recentProjects))
        addPath(project, m_recentProjectsGroup, tr("Open the project"));
    m_recentMenu->addSeparator();
    m_recentMenu->addAction(QIcon(QStringLiteral(":/images/file_open.png")), tr("Files"));
    for (const QString &file : std::as_const(m_recentFiles))
        addPath(file, m_recentFilesGroup, tr("Open the file"));
}

void SrcManager::MRUMenuTriggered(QAction *action)
{
    if (!action)
        return;
    if (m_recentProjectsGroup && action->actionGroup() == m_recentProjectsGroup)
        m_projects->openProject(action->data().toString(), false);
    else if (m_recentFilesGroup && action->actionGroup() == m_recentFilesGroup)
        m_tabs->openFileAt(action->data().toString());
}

bool SrcManager::canClose()
{
    if (!m_projects || m_projects->projectCount() == 0)
        return m_tabs->canCloseAll();
    for (int i = 0; i < m_projects->projectCount(); ++i) {
        if (!m_projects->closeCheck(i))
            return false;
    }
    // Nothing typed goes without a question: files outside the project and untitled ones too.
    for (int i = 0; i < m_tabs->count(); ++i) {
        SourceEditor *editor = m_tabs->editorAt(i);
        if (editor
            && (editor->filePath().isEmpty() || !m_projects->isProjectFile(editor->filePath()))
            && !editor->maybeSave())
            return false;
    }
    return true;
}

void SrcManager::closeEvent(QCloseEvent *event)
{
    if (m_endingUnasked) {
        event->accept();
        return;
    }
    const bool answered = !m_answeredWork.isEmpty() && m_answeredWork == unsavedWorkDigest();
    m_answeredWork.clear();
    if (!answered && !canClose()) {
        event->ignore();
        return;
    }
    forgetSessionCopies();
    stopBuilds();
    keepSession();
    event->accept();
}

void SrcManager::stopBuilds()
{
    for (int i = 0; m_projects && i < m_projects->projectCount(); ++i)
        m_projects->project(i)->stopBuildNow();
}

void SrcManager::keepSession()
{
    // What is not saved now was dropped (or kept in a copy): the breakpoints kept for the next
    // start go back to the lines of the files as they are.
    for (int i = 0; i < m_tabs->count(); ++i) {
        if (SourceEditor *editor = m_tabs->editorAt(i))
            editor->dropChanges();
    }
    SessionState(*this).save();
}

void SrcManager::endUnasked()
{
    // Once, though a second signal may come while the output lets events through.
    if (std::exchange(m_endingUnasked, true))
        return;
    stopBuilds();
    // Those kept for the session manager are kept again, as they are now.
    forgetSessionCopies();
    keepUnsavedCopies(true);
    keepSession();
}

void SrcManager::keepUnsavedWorkAtExit()
{
    if (std::exchange(m_endingUnasked, true))
        return;
    forgetSessionCopies();
    keepUnsavedCopies(false);
}

bool SrcManager::commitSessionData(bool mayAsk)
{
    if (m_endingUnasked)
        return true;
    m_answeredWork.clear();
    forgetSessionCopies();
    m_sessionCopies = keepUnsavedCopies(false);
    if (!mayAsk)
        return true;
    const bool answered = canClose();
    forgetSessionCopies();
    // The session's end follows, and Qt closes the window then: what the user answered to keep
    // unsaved is not asked about again.
    if (answered)
        m_answeredWork = unsavedWorkDigest();
    return answered;
}

void SrcManager::keepUnsavedWorkMeanwhile()
{
    if (m_endingUnasked)
        return;
    const QByteArray work = unsavedWorkDigest();
    if (work == m_keptWork)
        return;
    forgetSessionCopies();
    m_sessionCopies = keepUnsavedCopies(false, false);
    m_keptWork = work;
}

void SrcManager::dropCopiesOfSavedWork()
{
    // Once after many saves (Save All), when they are done.
    if (m_sessionCopies.isEmpty() || std::exchange(m_droppingCopies, true))
        return;
    QTimer::singleShot(0, this, [this] {
        m_droppingCopies = false;
        keepUnsavedWorkMeanwhile();
    });
}

QByteArray SrcManager::unsavedWorkDigest() const
{
    QByteArray work;
    for (int i = 0; i < m_tabs->count(); ++i) {
        SourceEditor *editor = m_tabs->editorAt(i);
        if (editor && editor->isModified())
            work += editor->filePath().toUtf8() + '\0' + editor->encodedText() + '\0';
    }
    for (int i = 0; m_projects && i < m_projects->projectCount(); ++i) {
        const Project *project = m_projects->project(i);
        if (project->isModified())
            work += project->filePath().toUtf8() + '\0' + project->contents() + '\0';
    }
    return Platform::bytesDigest(work);
}

void SrcManager::forgetSessionCopies()
{
    m_keptWork.clear();
    if (m_sessionCopies.isEmpty())
        return;
    QSettings &store = settingsStore().settings();
    store.sync();
    QStringList kept = store.value(QStringLiteral("keptCopies")).toStringList();
    for (int i = 0; i + 1 < m_sessionCopies.size(); i += 2) {
        QFile::remove(m_sessionCopies.at(i + 1));
        for (int at = 0; at + 1 < kept.size(); at += 2) {
            if (kept.at(at) == m_sessionCopies.at(i)
                && kept.at(at + 1) == m_sessionCopies.at(i + 1)) {
                kept.remove(at, 2);
                break;
            }
        }
    }
    if (kept.isEmpty())
        store.remove(QStringLiteral("keptCopies"));
    else
        store.setValue(QStringLiteral("keptCopies"), kept);
    store.sync();
    m_sessionCopies.clear();
}

QStringList SrcManager::keepUnsavedCopies(bool saveProjects, bool ending)
{
    // Each thing unsaved goes to a copy under its own name, written by write.
    QStringList kept;
    const auto keep = [this, &kept, ending](const QString &path,
                                            const std::function<bool(const QString &)> &write) {
        const QString copy = Platform::keptCopyPath(QStringLiteral("unsaved files"),
                                                    QFileInfo(path).fileName());
        if (!copy.isEmpty() && write(copy))
            kept << path << copy;
        else if (ending)
            std::fprintf(stderr,
                         "%s\n",
                         qPrintable(tr("The unsaved changes to %1 are lost: they could not be "
                                       "kept in a copy.")
                                        .arg(path)));
    };
    for (int i = 0; i < m_tabs->count(); ++i) {
        SourceEditor *editor = m_tabs->editorAt(i);
        if (!editor || !editor->isModified()
            || (editor->filePath().isEmpty() && editor->length() == 0))
            continue;
        keep(editor->filePath().isEmpty() ? tr("Untitled") : editor->filePath(),
             [editor](const QString &copy) {
                 return Platform::writeWholeFile(copy, editor->encodedText());
             });
    }
    for (int i = 0; m_projects && i < m_projects->projectCount(); ++i) {
        // A project is saved where it is, since what it names was renamed or made on disk
        // already; a copy keeps it only when another program wrote the file meanwhile.
        Project *project = m_projects->project(i);
        if (!project->isModified()
            || (saveProjects && !project->filePath().isEmpty() && !project->changedOnDisk()
                && project->save()))
            continue;
        keep(project->filePath().isEmpty() ? project->name() + QStringLiteral(".dyxp")
                                           : project->filePath(),
             [project](const QString &copy) { return project->writeCopy(copy, nullptr); });
        if (saveProjects)
            project->setModified(false);
    }
    if (kept.isEmpty())
        return kept;
    // Another window ending at the same time adds its own.
    QSettings &store = settingsStore().settings();
    store.sync();
    store.setValue(QStringLiteral("keptCopies"),
                   store.value(QStringLiteral("keptCopies")).toStringList() + kept);
    store.sync();
    return kept;
}

void SrcManager::tellOfKeptCopies()
{
    QSettings &store = settingsStore().settings();
    store.sync();
    const QStringList kept = store.value(QStringLiteral("keptCopies")).toStringList();
    for (int i = 0; i + 1 < kept.size(); i += 2) {
        output().link(kept.at(i + 1),
                      1,
                      1,
                      tr("DYX Studio was ended by the system with unsaved changes to %1: they "
                         "are kept in %2")
                          .arg(QDir::toNativeSeparators(kept.at(i)),
                               QDir::toNativeSeparators(kept.at(i + 1))));
    }
    // Told in a window that stays (the output lets events through, an end among them); those
    // another window kept meanwhile stay to be told.
    if (kept.isEmpty() || m_endingUnasked)
        return;
    store.sync();
    const QStringList now = store.value(QStringLiteral("keptCopies")).toStringList();
    if (now.size() > kept.size() && now.mid(0, kept.size()) == kept)
        store.setValue(QStringLiteral("keptCopies"), now.mid(kept.size()));
    else
        store.remove(QStringLiteral("keptCopies"));
    store.sync();
}

// F1 anywhere: a dialog's own topic, or the main page. The what's-this button of a dialog
// shows its topic too, instead of the what's-this mode.
bool SrcManager::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() == QEvent::KeyPress && watched->isWidgetType()) {
        auto *key = static_cast<QKeyEvent *>(event);
        if (key->matches(QKeySequence::HelpContents)) {
            // The window the key was pressed in, whichever of its widgets had the keyboard;
            // the key goes no further, so that one press opens one help window.
            QWidget *top = static_cast<QWidget *>(watched)->window();
            auto *dialog = qobject_cast<CirraneDialog *>(top);
            showHelp(helpFile(), dialog ? dialog->helpContextId() : 0, dialog);
            return true;
        }
    } else if (event->type() == QEvent::EnterWhatsThisMode) {
        QWhatsThis::leaveWhatsThisMode();
        event->accept();
        if (auto *dialog = qobject_cast<CirraneDialog *>(QApplication::activeWindow()))
            showHelp(helpFile(), dialog->helpContextId(), dialog);
        return true;
    }
    return QMainWindow::eventFilter(watched, event);
}
