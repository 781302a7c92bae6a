#pragma once

#include <QDockWidget>

class BuildConfigList;
class MainServices;
class Project;
class QTreeWidget;
class QTreeWidgetItem;
struct CommandActions;

// The projects pane: holds the open project and runs the project commands of the window.
class ProjectsManager : public QDockWidget
{
    Q_OBJECT

public:
    ProjectsManager(MainServices *mainWindow, CommandActions *actions, QWidget *parent);

    int projectCount() const { return 0; }
    int currentProjectIndex() const { return -1; }
    // True while a build, clean or tidy command or the compilers dialog runs.
    bool isBusy() const { return m_busy; }

    QTreeWidget *tree() const { return m_tree; }
    BuildConfigList *catalogue() const { return m_catalogue; }

    // Detects every compiler of the catalogue and stores the outcome, as Check All followed
    // by OK in the compilers dialog would.
    void scanCompilers();
    // A project's items changed: the commands that depend on them may change too.
    void treeChanged(Project *project);

signals:
    void projectConfigurationChange(const QString &currentTarget);

public slots:
    // Enables the project commands for the current project and the pane's state.
    void updateState();

private:
    MainServices *m_mainWindow;
    CommandActions *m_actions;
    QTreeWidget *m_tree;
    BuildConfigList *m_catalogue;
    bool m_busy = false;
};
