// The main window's commands, menus, toolbars and status bar.

#include "srcmanager.h"

#include "build/ui/outwindow.h"
#include "editor/ui/sourceeditor.h"
#include "editor/ui/srctabsholder.h"
#include "project/ui/projectsmanager.h"
#include "simulator/cirraneinterface.h"

#include <QAction>
#include <QActionGroup>
#include <QApplication>
#include <QComboBox>
#include <QDockWidget>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QStatusBar>
#include <QToolBar>

namespace {

struct CommandDefinition
{
    QAction *CommandActions::*slot;
    const char *text;
    const char *icon;
    const char *shortcut;
    const char *statusTip;
};

const CommandDefinition commandDefinitions[] = {
    {&CommandActions::openFile,
     QT_TRANSLATE_NOOP("SrcManager", "&Open File"),
     ":/images/file_open.png",
     QT_TRANSLATE_NOOP("SrcManager", "Ctrl+O"),
     QT_TRANSLATE_NOOP("SrcManager", "Open a file")},
    {&CommandActions::saveFile,
     QT_TRANSLATE_NOOP("SrcManager", "&Save File"),
     ":/images/file_save.png",
     QT_TRANSLATE_NOOP("SrcManager", "Ctrl+S"),
     QT_TRANSLATE_NOOP("SrcManager", "Save the file to disk")},
    {&CommandActions::saveAllFiles,
     QT_TRANSLATE_NOOP("SrcManager", "Save All Files"),
     ":/images/file_saveall.png",
     QT_TRANSLATE_NOOP("SrcManager", "Ctrl+Shift+S"),
     QT_TRANSLATE_NOOP("SrcManager", "Save all unsaved files")},
    {&CommandActions::closeFile,
     QT_TRANSLATE_NOOP("SrcManager", "&Close File"),
     ":/images/close.png",
     QT_TRANSLATE_NOOP("SrcManager", "Ctrl+F4"),
     QT_TRANSLATE_NOOP("SrcManager", "Close file")},
    {&CommandActions::printFile,
     QT_TRANSLATE_NOOP("SrcManager", "&Print File"),
     ":/images/file_print.png",
     QT_TRANSLATE_NOOP("SrcManager", "Ctrl+P"),
     QT_TRANSLATE_NOOP("SrcManager", "Print file")},
    {&CommandActions::openSample,
     QT_TRANSLATE_NOOP("SrcManager", "Open Sample"),
     ":/images/project_new.png",
     nullptr,
     QT_TRANSLATE_NOOP("SrcManager", "Open a sample project")},
    {&CommandActions::newProject,
     QT_TRANSLATE_NOOP("SrcManager", "&New Project"),
     ":/images/project_new.png",
     QT_TRANSLATE_NOOP("SrcManager", "Ctrl+Shift+N"),
     QT_TRANSLATE_NOOP("SrcManager", "Create a new project")},
    {&CommandActions::openProject,
     QT_TRANSLATE_NOOP("SrcManager", "&Open Project"),
     ":/images/project.png",
     QT_TRANSLATE_NOOP("SrcManager", "Ctrl+Shift+O"),
     QT_TRANSLATE_NOOP("SrcManager", "Open a project from disk")},
    {&CommandActions::saveProject,
     QT_TRANSLATE_NOOP("SrcManager", "&Save Project"),
     ":/images/file_save.png",
     QT_TRANSLATE_NOOP("SrcManager", "Ctrl+Alt+S"),
     QT_TRANSLATE_NOOP("SrcManager", "Save the project to disk")},
    {&CommandActions::saveProjectAs,
     QT_TRANSLATE_NOOP("SrcManager", "Save Project &As..."),
     ":/images/file_saveas.png",
     nullptr,
     QT_TRANSLATE_NOOP("SrcManager", "Save the project under a new name")},
    {&CommandActions::closeProject,
     QT_TRANSLATE_NOOP("SrcManager", "&Close Project"),
     ":/images/close.png",
     nullptr,
     QT_TRANSLATE_NOOP("SrcManager", "Close project")},
    {&CommandActions::addExistingFile,
     QT_TRANSLATE_NOOP("SrcManager", "&Add Existing File"),
     ":/images/file_add.png",
     nullptr,
     QT_TRANSLATE_NOOP("SrcManager", "Add existing file to the project")},
    {&CommandActions::addNewFile,
     QT_TRANSLATE_NOOP("SrcManager", "&Add New File"),
     ":/images/file_new.png",
     QT_TRANSLATE_NOOP("SrcManager", "Ctrl+N"),
     QT_TRANSLATE_NOOP("SrcManager", "Add a new file to the project")},
    {&CommandActions::addDesignFile,
     QT_TRANSLATE_NOOP("SrcManager", "&Add Design File"),
     ":/images/project_add_design.png",
     nullptr,
     QT_TRANSLATE_NOOP("SrcManager", "Add a design file to the project")},
    {&CommandActions::createDesignFile,
     QT_TRANSLATE_NOOP("SrcManager", "Create Design File"),
     ":/images/project_create_design.png",
     nullptr,
     QT_TRANSLATE_NOOP("SrcManager", "Create and add a design file to the project")},
    {&CommandActions::removeFile,
     QT_TRANSLATE_NOOP("SrcManager", "&Remove File"),
     ":/images/file_remove.png",
     nullptr,
     QT_TRANSLATE_NOOP("SrcManager", "Remove file from the project")},
    {&CommandActions::projectSettings,
     QT_TRANSLATE_NOOP("SrcManager", "&Project Settings"),
     ":/images/project_settings.png",
     nullptr,
     QT_TRANSLATE_NOOP("SrcManager", "Display project settings window")},
    {&CommandActions::buildProject,
     QT_TRANSLATE_NOOP("SrcManager", "&Build Project"),
     ":/images/build.png",
     QT_TRANSLATE_NOOP("SrcManager", "F7"),
     QT_TRANSLATE_NOOP("SrcManager", "Build current project")},
    {&CommandActions::rebuildProject,
     QT_TRANSLATE_NOOP("SrcManager", "R&ebuild Project"),
     nullptr,
     nullptr,
     QT_TRANSLATE_NOOP("SrcManager", "Clean the current project, then build it")},
    {&CommandActions::nextError,
     QT_TRANSLATE_NOOP("SrcManager", "Ne&xt Error"),
     nullptr,
     QT_TRANSLATE_NOOP("SrcManager", "F4"),
     QT_TRANSLATE_NOOP("SrcManager", "Go to the source line of the next compiler message")},
    {&CommandActions::previousError,
     QT_TRANSLATE_NOOP("SrcManager", "Pre&vious Error"),
     nullptr,
     QT_TRANSLATE_NOOP("SrcManager", "Shift+F4"),
     QT_TRANSLATE_NOOP("SrcManager", "Go to the source line of the previous compiler message")},
    {&CommandActions::stopBuild,
     QT_TRANSLATE_NOOP("SrcManager", "&Stop Build"),
     ":/images/stop_build.png",
     QT_TRANSLATE_NOOP("SrcManager", "Alt+F7"),
     QT_TRANSLATE_NOOP("SrcManager", "Abort current build")},
    {&CommandActions::cleanProject,
     QT_TRANSLATE_NOOP("SrcManager", "C&lean Project"),
     ":/images/clean.png",
     QT_TRANSLATE_NOOP("SrcManager", "F6"),
     QT_TRANSLATE_NOOP("SrcManager",
                       "Delete all output & intermediate files generated by compiler")},
    {&CommandActions::tidyProject,
     QT_TRANSLATE_NOOP("SrcManager", "&Tidy Project"),
     nullptr,
     nullptr,
     QT_TRANSLATE_NOOP("SrcManager", "Delete all intermediate files generated by compiler")},
    {&CommandActions::cut,
     QT_TRANSLATE_NOOP("SrcManager", "Cu&t"),
     ":/images/edit_cut.png",
     QT_TRANSLATE_NOOP("SrcManager", "Ctrl+X"),
     QT_TRANSLATE_NOOP("SrcManager", "Cut the current selection's contents to the clipboard")},
    {&CommandActions::copy,
     QT_TRANSLATE_NOOP("SrcManager", "&Copy"),
     ":/images/edit_copy.png",
     QT_TRANSLATE_NOOP("SrcManager", "Ctrl+C"),
     QT_TRANSLATE_NOOP("SrcManager", "Copy the current selection's contents to the clipboard")},
    {&CommandActions::paste,
     QT_TRANSLATE_NOOP("SrcManager", "&Paste"),
     ":/images/edit_paste.png",
     QT_TRANSLATE_NOOP("SrcManager", "Ctrl+V"),
     QT_TRANSLATE_NOOP("SrcManager", "Paste the clipboard's contents into the current selection")},
    {&CommandActions::undo,
     QT_TRANSLATE_NOOP("SrcManager", "&Undo"),
     ":/images/edit_undo.png",
     QT_TRANSLATE_NOOP("SrcManager", "Ctrl+Z"),
     QT_TRANSLATE_NOOP("SrcManager", "Undo last action")},
    {&CommandActions::redo,
     QT_TRANSLATE_NOOP("SrcManager", "&Redo"),
     ":/images/edit_redo.png",
     QT_TRANSLATE_NOOP("SrcManager", "Ctrl+Y"),
     QT_TRANSLATE_NOOP("SrcManager", "Redo last action")},
    {&CommandActions::find,
     QT_TRANSLATE_NOOP("SrcManager", "&Find"),
     ":/images/edit_search.png",
     QT_TRANSLATE_NOOP("SrcManager", "Ctrl+F"),
     QT_TRANSLATE_NOOP("SrcManager", "Find text")},
    {&CommandActions::findNext,
     QT_TRANSLATE_NOOP("SrcManager", "Find &Next"),
     ":/images/edit_search_next.png",
     QT_TRANSLATE_NOOP("SrcManager", "F3"),
     QT_TRANSLATE_NOOP("SrcManager", "Find next match")},
    {&CommandActions::replace,
     QT_TRANSLATE_NOOP("SrcManager", "&Replace"),
     ":/images/edit_replace.png",
     QT_TRANSLATE_NOOP("SrcManager", "Ctrl+H"),
     QT_TRANSLATE_NOOP("SrcManager", "Replace text")},
    {&CommandActions::gotoLine,
     QT_TRANSLATE_NOOP("SrcManager", "&Goto"),
     ":/images/edit_goto.png",
     QT_TRANSLATE_NOOP("SrcManager", "Ctrl+G"),
     QT_TRANSLATE_NOOP("SrcManager", "Goto line")},
    {&CommandActions::exit,
     QT_TRANSLATE_NOOP("SrcManager", "E&xit"),
     nullptr,
     QT_TRANSLATE_NOOP("SrcManager", "Ctrl+Q"),
     QT_TRANSLATE_NOOP("SrcManager", "Exit the application")},
    {&CommandActions::help,
     QT_TRANSLATE_NOOP("SrcManager", "&Help"),
     ":/images/help.png",
     nullptr,
     QT_TRANSLATE_NOOP("SrcManager", "Show the application's Help")},
    {&CommandActions::about,
     QT_TRANSLATE_NOOP("SrcManager", "&About"),
     ":/images/DYXStudio16.png",
     nullptr,
     QT_TRANSLATE_NOOP("SrcManager", "Show the application's About box")},
    {&CommandActions::aboutQt,
     QT_TRANSLATE_NOOP("SrcManager", "About &Qt"),
     nullptr,
     nullptr,
     QT_TRANSLATE_NOOP("SrcManager", "Show the Qt library's About box")},
    {&CommandActions::compilersConfiguration,
     QT_TRANSLATE_NOOP("SrcManager", "&Compilers Configuration"),
     ":/images/settings_compilers.png",
     nullptr,
     QT_TRANSLATE_NOOP("SrcManager", "Displays Compilers configuration dialog")},
    {&CommandActions::editorConfiguration,
     QT_TRANSLATE_NOOP("SrcManager", "&Editor Configuration"),
     ":/images/settings_program.png",
     nullptr,
     QT_TRANSLATE_NOOP("SrcManager", "Displays Editor configuration dialog")},
    {&CommandActions::openDebugger,
     QT_TRANSLATE_NOOP("SrcManager", "&Open Debugger"),
     ":/images/vexa.png",
     QT_TRANSLATE_NOOP("SrcManager", "F5"),
     QT_TRANSLATE_NOOP("SrcManager", "Opens VEXA window")},
    {&CommandActions::startDebugging,
     QT_TRANSLATE_NOOP("SrcManager", "&Start Debugging"),
     ":/images/vexa_run.png",
     QT_TRANSLATE_NOOP("SrcManager", "F10"),
     QT_TRANSLATE_NOOP("SrcManager", "Starts simulation in VEXA window")},
    {&CommandActions::stopSimulation,
     QT_TRANSLATE_NOOP("SrcManager", "S&top Simulation"),
     nullptr,
     QT_TRANSLATE_NOOP("SrcManager", "Shift+F5"),
     QT_TRANSLATE_NOOP("SrcManager", "Stops the simulation in the VEXA window")},
    {&CommandActions::closeSimulator,
     QT_TRANSLATE_NOOP("SrcManager", "&Close Simulator"),
     nullptr,
     nullptr,
     QT_TRANSLATE_NOOP("SrcManager", "Closes the VEXA window")},
    {&CommandActions::toggleBreakpoint,
     QT_TRANSLATE_NOOP("SrcManager", "Toggle &Breakpoint"),
     nullptr,
     QT_TRANSLATE_NOOP("SrcManager", "F9"),
     QT_TRANSLATE_NOOP("SrcManager", "Sets or removes a breakpoint at the cursor's line")},
    // Continue and Step Over take F5 and F10 while the firmware is paused (see updateState).
    {&CommandActions::continueDebugging,
     QT_TRANSLATE_NOOP("SrcManager", "&Continue"),
     nullptr,
     nullptr,
     QT_TRANSLATE_NOOP("SrcManager", "Lets the paused firmware run on")},
    {&CommandActions::pauseDebugging,
     QT_TRANSLATE_NOOP("SrcManager", "&Pause"),
     nullptr,
     QT_TRANSLATE_NOOP("SrcManager", "Pause"),
     QT_TRANSLATE_NOOP("SrcManager", "Stops the firmware where it is")},
    {&CommandActions::stepInto,
     QT_TRANSLATE_NOOP("SrcManager", "Step &Into"),
     nullptr,
     QT_TRANSLATE_NOOP("SrcManager", "F11"),
     QT_TRANSLATE_NOOP("SrcManager", "Runs to the next line, into a function called")},
    {&CommandActions::stepOver,
     QT_TRANSLATE_NOOP("SrcManager", "Step O&ver"),
     nullptr,
     nullptr,
     QT_TRANSLATE_NOOP("SrcManager", "Runs to the next line, over functions called")},
    {&CommandActions::stepOut,
     QT_TRANSLATE_NOOP("SrcManager", "Step O&ut"),
     nullptr,
     QT_TRANSLATE_NOOP("SrcManager", "Shift+F11"),
     QT_TRANSLATE_NOOP("SrcManager", "Runs until the function returns to its caller")},
    {&CommandActions::runToCursor,
     QT_TRANSLATE_NOOP("SrcManager", "Run to C&ursor"),
     nullptr,
     QT_TRANSLATE_NOOP("SrcManager", "Ctrl+F10"),
     QT_TRANSLATE_NOOP("SrcManager", "Runs until the firmware reaches the cursor's line")},
    {&CommandActions::rename,
     QT_TRANSLATE_NOOP("SrcManager", "&Rename"),
     nullptr,
     nullptr,
     QT_TRANSLATE_NOOP("SrcManager", "Rename")},
};

} // namespace

void SrcManager::createActions()
{
    for (const CommandDefinition &definition : commandDefinitions) {
        auto *action = new QAction(tr(definition.text), this);
        if (definition.icon)
            action->setIcon(QIcon(QLatin1String(definition.icon)));
        if (definition.shortcut)
            action->setShortcut(QKeySequence(tr(definition.shortcut)));
        action->setStatusTip(tr(definition.statusTip));
        m_actions.*definition.slot = action;
    }
    const CommandActions &a = m_actions;
    // Ctrl+W closes the tab, as in the desktop's other editors.
    a.closeFile->setShortcuts({a.closeFile->shortcut(), QKeySequence(tr("Ctrl+W"))});
    connect(a.stopBuild, &QAction::triggered, this, &SrcManager::abortBuild);
    connect(a.openFile, &QAction::triggered, this, &SrcManager::openFile);
    SrcTabsHolder *tabs = m_tabs;
    connect(a.saveFile, &QAction::triggered, tabs, &SrcTabsHolder::save);
    connect(a.saveAllFiles, &QAction::triggered, tabs, &SrcTabsHolder::saveAll);
    connect(a.closeFile, &QAction::triggered, tabs, &SrcTabsHolder::close);
    connect(a.cut, &QAction::triggered, tabs, &SrcTabsHolder::cut);
    connect(a.copy, &QAction::triggered, tabs, &SrcTabsHolder::copy);
    connect(a.paste, &QAction::triggered, tabs, &SrcTabsHolder::paste);
    connect(a.undo, &QAction::triggered, tabs, &SrcTabsHolder::undo);
    connect(a.redo, &QAction::triggered, tabs, &SrcTabsHolder::redo);
    connect(a.exit, &QAction::triggered, qApp, &QApplication::closeAllWindows);
    connect(a.about, &QAction::triggered, this, &SrcManager::about);
    connect(a.help, &QAction::triggered, this, &SrcManager::help);
    connect(a.aboutQt, &QAction::triggered, qApp, &QApplication::aboutQt);

    ProjectsManager *projects = m_projects;
    connect(a.openProject,
            &QAction::triggered,
            projects,
            qOverload<>(&ProjectsManager::openProject));
    connect(a.saveProject, &QAction::triggered, projects, &ProjectsManager::saveProject);
    connect(a.saveProjectAs, &QAction::triggered, projects, &ProjectsManager::saveProjectAs);
    connect(a.closeProject,
            &QAction::triggered,
            projects,
            qOverload<>(&ProjectsManager::closeProject));
    connect(a.addExistingFile, &QAction::triggered, projects, &ProjectsManager::addFile);
    connect(a.addDesignFile, &QAction::triggered, projects, &ProjectsManager::addFile);
    connect(a.addNewFile, &QAction::triggered, projects, &ProjectsManager::newFile);
    connect(a.removeFile, &QAction::triggered, projects, &ProjectsManager::removeFile);
    connect(a.rename, &QAction::triggered, projects, &ProjectsManager::renameItem);
    connect(a.buildProject, &QAction::triggered, projects, &ProjectsManager::compileProject);
    connect(a.cleanProject, &QAction::triggered, projects, &ProjectsManager::cleanProject);
    connect(a.rebuildProject, &QAction::triggered, projects, &ProjectsManager::rebuildProject);
    OutWindow *output = m_outWindow;
    connect(a.nextError, &QAction::triggered, output, [output] { output->gotoLink(true); });
    connect(a.previousError, &QAction::triggered, output, [output] { output->gotoLink(false); });
    connect(a.compilersConfiguration,
            &QAction::triggered,
            projects,
            &ProjectsManager::showCompilersDialog);
    connect(a.projectSettings, &QAction::triggered, projects, &ProjectsManager::projectSettings);
    connect(a.newProject, &QAction::triggered, projects, &ProjectsManager::newProject);
    connect(a.openSample, &QAction::triggered, projects, &ProjectsManager::openSample);
    connect(a.tidyProject, &QAction::triggered, projects, &ProjectsManager::tidyProject);

    connect(a.gotoLine, &QAction::triggered, this, &SrcManager::gotoLine);
    connect(a.find, &QAction::triggered, this, &SrcManager::find);
    connect(a.findNext, &QAction::triggered, this, &SrcManager::findNext);
    connect(a.replace, &QAction::triggered, this, &SrcManager::replace);
    connect(a.printFile, &QAction::triggered, this, &SrcManager::print);
    connect(a.editorConfiguration,
            &QAction::triggered,
            this,
            &SrcManager::showProgramConfigurationDialog);

    connect(a.createDesignFile, &QAction::triggered, projects, &ProjectsManager::newDesignFile);
    connect(a.openDebugger, &QAction::triggered, projects, &ProjectsManager::debugOpen);
    connect(a.startDebugging, &QAction::triggered, projects, &ProjectsManager::debugRun);
    connect(a.stopSimulation, &QAction::triggered, projects, &ProjectsManager::debugStop);
    connect(a.closeSimulator, &QAction::triggered, projects, &ProjectsManager::debugClose);
    connect(a.toggleBreakpoint, &QAction::triggered, tabs, &SrcTabsHolder::toggleBreakpoint);
    const auto debugCommand = [this](QAction *action, const QString &command) {
        connect(action, &QAction::triggered, this, [this, command] {
            m_projects->simulatorLink()->debugCommand(command);
        });
    };
    debugCommand(a.continueDebugging, QStringLiteral("continue"));
    debugCommand(a.pauseDebugging, QStringLiteral("pause"));
    debugCommand(a.stepInto, QStringLiteral("into"));
    debugCommand(a.stepOver, QStringLiteral("over"));
    debugCommand(a.stepOut, QStringLiteral("out"));
    connect(a.runToCursor, &QAction::triggered, this, [this] {
        SourceEditor *editor = m_tabs->currentEditor();
        if (!editor)
            return;
        int line = 0;
        int index = 0;
        editor->getCursorPosition(&line, &index);
        m_projects->simulatorLink()->debugCommand(QStringLiteral("to"),
                                                  QStringLiteral("%1 %2")
                                                      .arg(editor->builtLineOf(line + 1))
                                                      .arg(editor->filePath()));
    });
    connect(tabs, &SrcTabsHolder::breakpointsChanged, this, [this] {
        m_projects->simulatorLink()->setBreakpoints(m_tabs->breakpointsAsBuilt());
    });
    CirraneInterface *simulator = m_projects->simulatorLink();
    connect(simulator, &CirraneInterface::debugStopped, this, [this](const QString &file, int line) {
        m_tabs->showExecutionPoint(file, line);
        updateDebugCommands();
    });
    connect(simulator, &CirraneInterface::debugResumed, this, [this] {
        m_tabs->showExecutionPoint(QString(), 0);
        updateDebugCommands();
    });
}

void SrcManager::updateDebugCommands()
{
    const CommandActions &a = m_actions;
    const CirraneInterface *simulator = m_projects->simulatorLink();
    const bool paused = simulator->isPaused();
    for (QAction *action : {a.continueDebugging, a.stepInto, a.stepOver, a.stepOut})
        action->setEnabled(paused);
    a.runToCursor->setEnabled(paused && m_tabs->currentEditor());
    a.pauseDebugging->setEnabled(simulator->isRunning() && !paused);
    a.toggleBreakpoint->setEnabled(m_tabs->currentEditor() != nullptr);
    // F5 and F10 open the debugger and start debugging, except while the firmware is paused:
    // then they continue and step over.
    const auto keys = [this](const char *key, QAction *normal, QAction *paused, bool isPaused) {
        const QKeySequence sequence(tr(key));
        normal->setShortcut(isPaused ? QKeySequence() : sequence);
        paused->setShortcut(isPaused ? sequence : QKeySequence());
    };
    keys(QT_TR_NOOP("F5"), a.openDebugger, a.continueDebugging, paused);
    keys(QT_TR_NOOP("F10"), a.startDebugging, a.stepOver, paused);
}

void SrcManager::createToolBars()
{
    const CommandActions &a = m_actions;
    const auto addToolBar = [this](const QString &name, const QString &title) {
        QToolBar *bar = QMainWindow::addToolBar(title);
        bar->setObjectName(name);
        bar->setIconSize(QSize(16, 16));
        return bar;
    };
    QToolBar *file = addToolBar(QStringLiteral("File"), tr("File"));
    file->addActions({a.openFile, a.openProject, a.saveFile, a.printFile});

    QToolBar *project = addToolBar(QStringLiteral("Project"), tr("Project"));
    project->addActions({a.projectSettings, a.buildProject});
    m_configCombo = new QComboBox(project);
    m_configCombo->setObjectName(QStringLiteral("configCombo"));
    m_configCombo->setSizeAdjustPolicy(QComboBox::AdjustToContents);
    m_configCombo->setMinimumContentsLength(12);
    project->addWidget(m_configCombo);
    project->addActions({a.addNewFile, a.addExistingFile, a.removeFile});

    QToolBar *edit = addToolBar(QStringLiteral("Edit"), tr("Edit"));
    edit->addActions({a.cut, a.copy, a.paste, a.undo, a.redo});

    QToolBar *debug = addToolBar(QStringLiteral("Debug"), tr("Debug"));
    debug->addActions({a.openDebugger, a.startDebugging});
}

void SrcManager::createStatusBar()
{
    statusBar()->showMessage(tr("Ready"));
    statusBar()->addPermanentWidget(m_position);
}

void SrcManager::createMenus()
{
    const CommandActions &a = m_actions;
    const auto addMenu = [this](const QString &title, bool projectState) {
        QMenu *menu = menuBar()->addMenu(title);
        if (projectState)
            connect(menu, &QMenu::aboutToShow, m_projects, &ProjectsManager::updateState);
        else
            connect(menu, &QMenu::aboutToShow, this, &SrcManager::updateState);
        return menu;
    };

    QMenu *file = addMenu(tr("&File"), false);
    file->addActions(
        {a.newProject, a.openSample, a.saveProject, a.saveProjectAs, a.openProject, a.closeProject});
    file->addSeparator();
    file->addActions({a.openFile, a.saveFile, a.saveAllFiles, a.closeFile, a.printFile});
    file->addSeparator();
    m_recentMenu = file->addMenu(tr("Recently Opened..."));
    connect(m_recentMenu, &QMenu::triggered, this, &SrcManager::MRUMenuTriggered);
    file->addSeparator();
    file->addAction(a.exit);

    QMenu *project = addMenu(tr("&Project"), false);
    project->addActions(
        {a.addExistingFile, a.addNewFile, a.removeFile, a.addDesignFile, a.createDesignFile});
    project->addSeparator();
    project->addActions(
        {a.projectSettings, a.buildProject, a.rebuildProject, a.stopBuild, a.cleanProject});
    project->addSeparator();
    project->addActions({a.nextError, a.previousError});

    QMenu *edit = addMenu(tr("&Edit"), false);
    edit->addActions({a.undo, a.redo});
    edit->addSeparator();
    edit->addActions({a.cut, a.copy, a.paste});
    edit->addSeparator();
    edit->addActions({a.find, a.findNext, a.replace});
    edit->addSeparator();
    edit->addAction(a.gotoLine);

    // The docks and toolbars, to bring back one that was closed.
    QMenu *view = menuBar()->addMenu(tr("&View"));
    for (QDockWidget *dock : findChildren<QDockWidget *>())
        view->addAction(dock->toggleViewAction());
    view->addSeparator();
    for (QToolBar *bar : findChildren<QToolBar *>()) {
        bar->toggleViewAction()->setText(tr("%1 Toolbar").arg(bar->windowTitle()));
        view->addAction(bar->toggleViewAction());
    }

    QMenu *debug = addMenu(tr("&Debug"), true);
    debug->addActions({a.openDebugger, a.startDebugging});
    debug->addSeparator();
    debug->addActions({a.stopSimulation, a.closeSimulator});
    debug->addSeparator();
    debug->addActions({a.toggleBreakpoint,
                       a.continueDebugging,
                       a.pauseDebugging,
                       a.stepInto,
                       a.stepOver,
                       a.stepOut,
                       a.runToCursor});

    QMenu *config = addMenu(tr("&Config"), false);
    config->addActions({a.compilersConfiguration, a.editorConfiguration});

    menuBar()->addSeparator();
    QMenu *help = addMenu(tr("&Help"), false);
    help->addActions({a.help, a.about});
}
