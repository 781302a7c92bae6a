#pragma once

#include "core/projectqueries.h"
#include "simulator/debugsession.h"

#include <QDockWidget>
#include <QSet>
#include <QTextCharFormat>

#include <functional>
#include <memory>
#include <optional>
#include <vector>

class BuildConfigList;
class CirraneInterface;
class MainServices;
class Project;
class ProjectTreeWidget;
class QMenu;
class QTreeWidgetItem;
struct CommandActions;

// The projects pane: holds the open project, shows it in the tree and runs the project
// commands of the window. Opening or creating a project closes the open one first.
class SampleProject;

class ProjectsManager : public QDockWidget, public ProjectQueries
{
    Q_OBJECT

public:
    ProjectsManager(MainServices *mainWindow, CommandActions *actions, QWidget *parent);
    ~ProjectsManager() override;

    int projectCount() const { return int(m_projects.size()); }
    // Every project's tree items take the "Projects Tree" display settings again.
    void applyDisplaySettings();
    Project *project(int index) const;
    QString projectPath(int index) const;
    int currentProjectIndex() const;
    Project *currentProject() const { return project(currentProjectIndex()); }
    int indexOfProject(const QString &path) const;
    // The project whose items include item; null for none.
    Project *projectForItem(const QTreeWidgetItem *item) const;

    bool openProject(const QString &path, bool quiet);
    // The open project read again from its file, which another program changed, when nothing
    // of it is unsaved here: its tabs open again, each where it was. False, said in the output,
    // when it has unsaved changes (they stay, and Save Project asks before writing over the
    // file) or the file no longer reads (the project stays as it was).
    bool readProjectAgain();
    bool closeCheck(int index);
    bool closeProject(int index);
    void refresh();
    // What the editors ask of the open projects.
    void setFileModified(const QString &path, bool modified) override;
    QString familyForFile(const QString &path) const override;
    bool isProjectFile(const QString &path) const override;
    QStringList currentProjectFiles() const override;
    void clearUpToDate(const QString &directory, const Project *except = nullptr);
    void scanCompilers();
    // The compiler configuration files are read again (their folder changed), the compilers
    // never met before detected, and the open projects' configurations take the compilers the files now
    // describe. While a command runs (a build), when it has ended.
    void readCompilersAgain();
    // A project's items changed: the commands that depend on them may change too.
    void showContextMenu(QContextMenuEvent *event);
    // Shows configuration name in the window's selector.
    void selectConfiguration(const QString &name) { emit projectConfigurationChange(name); }
    // Whether every build, clean or tidy run since the last call succeeded.
    bool takeRunsSucceeded();

    // True while a build, clean or tidy command or the compilers dialog runs.
    bool isBusy() const { return m_busy; }
    CirraneInterface *simulatorLink() const { return m_simulator; }
    // For scripted runs: opens the debugger, starts debugging, lets the firmware run for the
    // given simulated seconds and closes the simulator. False when the simulation did not
    // start or did not reach its end.
    bool simulate(double seconds, const QString &traceFile);
    ProjectTreeWidget *tree() const { return m_tree; }
    BuildConfigList *catalogue() const { return m_catalogue; }

signals:
    void projectConfigurationChange(const QString &currentTarget);

public slots:
    void updateState();
    void newProject();
    // The simulator suite's sample projects; the one chosen opens.
    void openSample();
    void openProject();
    void saveProject();
    void saveProjectAs();
    void closeProject();
    void addFile();
    void newFile();
    void newDesignFile();
    void removeFile();
    void renameItem();
    void compileProject();
    void rebuildProject();
    void cleanProject();
    void tidyProject();
    void sendFirmware();
    void debugOpen();
    void debugClose();
    void debugRun();
    void debugStop();
    // "Compilers": where each compiler lives; OK stores it.
    void showCompilersDialog();
    // "Project Options" for the current project; after OK the next build rebuilds all.
    void projectSettings();
    void itemDoubleClicked(QTreeWidgetItem *item, int column);
    void itemClicked(QTreeWidgetItem *item, int column);
    void itemChanged(QTreeWidgetItem *item, int column);

protected:
    void contextMenuEvent(QContextMenuEvent *event) override;

private:
    bool closeOpenProject();
    void trackCurrentProject();
    void markCurrentProject();
    QWidget *dialogParent() const;
    bool runOnCurrentProject(bool (Project::*command)());
    // Busy, and the commands off, until the work ends; work done inside another command (a
    // dialog opened during a build) leaves the window busy for the other.
    void whileBusy(const std::function<void()> &work);
    // Samples stay as installed: the chosen one is copied, folder and all, into a folder the
    // user picks (the projects folder offered) under a name not yet taken. The copy's project
    // file; empty when the user cancelled or the copy failed.
    QString copySample(const QString &path);
    // A build of the current project in the configuration the selector shows, and what
    // follows it: the firmware to the simulator, or the hint to start it.
    void buildCurrentProject(bool (Project::*command)());
    // The configuration the selector shows becomes the project's active one.
    void followSelector(Project &project);
    // The simulator takes the firmware as the project stands: what changed is saved and built
    // first. False when that build failed.
    bool buildBeforeSimulating();
    std::optional<DebugTarget> debugTarget() const;
    void adoptProject(std::unique_ptr<Project> project, bool fromCommand, bool handOver);
    void adoptChosen(std::unique_ptr<Project> project, bool handOver);

    MainServices &m_mainWindow;
    CommandActions *m_actions;
    SampleProject *m_samples = nullptr;
    QMenu *m_contextMenu = nullptr;
    BuildConfigList *m_catalogue;
    ProjectTreeWidget *m_tree;
    QTreeWidgetItem *m_topItem;
    int m_lastCurrent = -1;
    std::vector<std::unique_ptr<Project>> m_projects;
    bool m_busy = false;
    bool m_compilersLater = false; // read again when the running command ends
    QByteArray m_versionToldOf;    // the project file's last version kept from unsaved changes
    CirraneInterface *m_simulator;
    // The files the firmware of that project stopped in.
    QString m_firmwareOf;
    QSet<QString> m_firmwareFiles;
    DebugSession m_debug;
    bool m_runsSucceeded = true;
};
