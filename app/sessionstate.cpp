#include "sessionstate.h"

#include "settingsstore.h"
#include "srcmanager.h"

#include "editor/srctabsholder.h"
#include "project/projectsmanager.h"

#include <QCoreApplication>
#include <QSettings>

SessionState::SessionState(SrcManager &window)
    : m_window(window)
{}

void SessionState::save()
{
    QSettings &store = m_window.settingsStore().settings();
    store.setValue(QStringLiteral("geometry"), m_window.saveGeometry());
    store.setValue(QStringLiteral("state"), m_window.saveState());

    const QStringList projectPaths; // paths of the projects open at close
    store.beginWriteArray(QStringLiteral("projects"), int(projectPaths.size()));
    for (int i = 0; i < projectPaths.size(); ++i) {
        store.setArrayIndex(i);
        store.setValue(QStringLiteral("file"), projectPaths.at(i));
    }
    store.endArray();
    for (const QString &path : projectPaths)
        m_window.newMRUProject(path);

    const QStringList openFiles = m_window.tabs()->openPaths();
    for (const QString &path : openFiles)
        m_window.newMRUFile(path);

    store.setValue(QStringLiteral("MRUProjects"), m_window.m_recentProjects);
    store.setValue(QStringLiteral("MRUFiles"), m_window.m_recentFiles);

    store.beginWriteArray(QStringLiteral("windows"), int(openFiles.size()));
    for (int i = 0; i < openFiles.size(); ++i) {
        store.setArrayIndex(i);
        store.setValue(QStringLiteral("name"), openFiles.at(i));
    }
    store.endArray();
    store.sync();
}

void SessionState::restore()
{
    QSettings &store = m_window.settingsStore().settings();
    m_window.m_lastSessionFiles.clear();
    const int windowCount = store.beginReadArray(QStringLiteral("windows"));
    for (int i = 0; i < windowCount; ++i) {
        store.setArrayIndex(i);
        m_window.m_lastSessionFiles.append(store.value(QStringLiteral("name")).toString());
    }
    store.endArray();

    // At most one project is open at a time: only the first stored one is reopened, and an
    // empty list still yields one (empty) path, which opens nothing.
    QStringList projectPaths;
    const int projectCount = store.beginReadArray(QStringLiteral("projects"));
    for (int i = 0; i < projectCount; ++i) {
        store.setArrayIndex(i);
        projectPaths.append(store.value(QStringLiteral("file")).toString());
    }
    store.endArray();
    if (projectPaths.isEmpty())
        projectPaths.append(QString());
    const QString lastProject = projectPaths.first();
    Q_UNUSED(lastProject)

    m_window.m_recentProjects = store.value(QStringLiteral("MRUProjects")).toStringList();
    m_window.m_recentFiles = store.value(QStringLiteral("MRUFiles")).toStringList();
    m_window.createMRUMenu();

    m_window.m_lastSessionFiles.clear();

    const QByteArray state = store.value(QStringLiteral("state")).toByteArray();
    if (state.isEmpty())
        return;
    const QByteArray geometry = store.value(QStringLiteral("geometry")).toByteArray();
    if (!geometry.isEmpty()) {
        m_window.restoreGeometry(geometry);
        QCoreApplication::processEvents();
        m_window.restoreState(state);
        QCoreApplication::processEvents();
    }
}
