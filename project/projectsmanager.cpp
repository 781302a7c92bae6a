#include "projectsmanager.h"

#include "app/commandactions.h"
#include "app/mainservices.h"

#include "toolchain/buildconfiglist.h"
#include "toolchain/compilerscan.h"

#include <QAction>
#include <QTreeWidget>

ProjectsManager::ProjectsManager(MainServices *mainWindow, CommandActions *actions, QWidget *parent)
    : QDockWidget(parent)
    , m_mainWindow(mainWindow)
    , m_actions(actions)
    , m_tree(new QTreeWidget(this))
    , m_catalogue(new BuildConfigList(mainWindow, this))
{
    setObjectName(QStringLiteral("Projects"));
    setWindowTitle(tr("Project"));
    setFeatures(QDockWidget::DockWidgetMovable | QDockWidget::DockWidgetFloatable);
    m_tree->setColumnCount(1);
    m_tree->setHeaderHidden(true);
    m_tree->invisibleRootItem()->setExpanded(true);
    setWidget(m_tree);
    m_catalogue->load();
}

void ProjectsManager::treeChanged(Project *project)
{
    Q_UNUSED(project)
    updateState();
}

void ProjectsManager::scanCompilers()
{
    CompilerScan scan(m_catalogue);
    scan.checkAll();
    scan.save();
}

void ProjectsManager::updateState()
{
    if (!m_actions)
        return;
    const CommandActions &a = *m_actions;
    for (QAction *action : {a.openProject, a.newProject, a.openSample})
        action->setEnabled(!m_busy);
    a.stopBuild->setEnabled(m_busy);
    for (QAction *action : {a.addExistingFile,
                            a.addNewFile,
                            a.addDesignFile,
                            a.createDesignFile,
                            a.removeFile,
                            a.saveProject,
                            a.saveProjectAs,
                            a.closeProject,
                            a.projectSettings,
                            a.buildProject,
                            a.tidyProject,
                            a.cleanProject,
                            a.openDebugger,
                            a.startDebugging}) {
        action->setEnabled(false);
    }
    // The project commands come alive for a current project that is not building.
}
