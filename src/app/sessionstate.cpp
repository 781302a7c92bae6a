#include "sessionstate.h"

#include "core/settingsstore.h"
#include "srcmanager.h"

#include "build/buildproject.h"
#include "editor/ui/sourceeditor.h"
#include "editor/ui/srctabsholder.h"
#include "project/ui/project.h"
#include "project/ui/projectsmanager.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QSettings>

SessionState::SessionState(SrcManager &window)
    : m_window(window)
{}

void SessionState::save()
{
    QSettings &store = m_window.settingsStore().settings();
    store.setValue(QStringLiteral("geometry"), m_window.saveGeometry());
    store.setValue(QStringLiteral("state"), m_window.saveState());

    QStringList projectPaths;
    ProjectsManager *projects = m_window.projectsManager();
    for (int i = 0; i < projects->projectCount(); ++i)
        projectPaths.append(projects->projectPath(i));
    store.beginWriteArray(QStringLiteral("projects"), int(projectPaths.size()));
    for (int i = 0; i < projectPaths.size(); ++i) {
        store.setArrayIndex(i);
        store.setValue(QStringLiteral("file"), projectPaths.at(i));
        // The configuration chosen in the selector is the one chosen at the next start too.
        const BuildProject *active = projects->project(i)->activeConfiguration();
        store.setValue(QStringLiteral("configuration"), active ? active->name() : QString());
    }
    store.endArray();
    for (const QString &path : projectPaths)
        m_window.newMRUProject(path);

    const QStringList openFiles = m_window.tabs()->openPaths();
    for (const QString &path : openFiles) {
        bool inProject = false;
        for (int i = 0; i < projects->projectCount() && !inProject; ++i) {
            const Project *project = projects->project(i);
            for (int f = 0; f < project->fileCount() && !inProject; ++f)
                inProject = project->filePathAt(f) == path;
        }
        if (!inProject)
            m_window.newMRUFile(path);
    }

    // Another window of the program may have closed since this one read the lists: its entries
    // stay, below those of this window.
    store.sync();
    const auto merged = [&store](const QString &key, const QStringList &pushed) {
        QStringList list = store.value(key).toStringList();
        for (const QString &name : pushed)
            SrcManager::pushRecent(list, name);
        return list;
    };
    m_window.m_recentProjects = merged(QStringLiteral("MRUProjects"),
                                       m_window.m_recentProjectsPushed);
    m_window.m_recentFiles = merged(QStringLiteral("MRUFiles"), m_window.m_recentFilesPushed);
    store.setValue(QStringLiteral("MRUProjects"), m_window.m_recentProjects);
    store.setValue(QStringLiteral("MRUFiles"), m_window.m_recentFiles);

    // Each tab with where its cursor was, and the tab that was current, for the files that
    // open again at the next start.
    const QList<EditorServices::Place> places = m_window.tabs()->placesOf(openFiles);
    store.beginWriteArray(QStringLiteral("windows"), int(places.size()));
    QString current;
    for (int i = 0; i < places.size(); ++i) {
        store.setArrayIndex(i);
        store.setValue(QStringLiteral("name"), places.at(i).path);
        store.setValue(QStringLiteral("line"), places.at(i).line);
        store.setValue(QStringLiteral("column"), places.at(i).column);
        if (places.at(i).current)
            current = places.at(i).path;
    }
    store.endArray();
    store.setValue(QStringLiteral("currentWindow"), current);

    // The breakpoints stay for the next start, of open files and of files closed meanwhile.
    const QList<std::pair<QString, int>> breakpoints = m_window.tabs()->breakpoints();
    store.beginWriteArray(QStringLiteral("breakpoints"), int(breakpoints.size()));
    for (int i = 0; i < breakpoints.size(); ++i) {
        store.setArrayIndex(i);
        store.setValue(QStringLiteral("file"), breakpoints.at(i).first);
        store.setValue(QStringLiteral("line"), breakpoints.at(i).second);
        store.setValue(QStringLiteral("text"),
                       m_window.tabs()->breakpointText(breakpoints.at(i).first,
                                                       breakpoints.at(i).second));
    }
    store.endArray();
    store.sync();
}

void SessionState::restore()
{
    QSettings &store = m_window.settingsStore().settings();
    QStringList lastSessionFiles;
    QList<EditorServices::Place> places;
    const int windowCount = boundedArraySize(store.beginReadArray(QStringLiteral("windows")));
    for (int i = 0; i < windowCount; ++i) {
        store.setArrayIndex(i);
        lastSessionFiles.append(store.value(QStringLiteral("name")).toString());
        places.append({lastSessionFiles.last(),
                       store.value(QStringLiteral("line")).toInt(),
                       store.value(QStringLiteral("column")).toInt(),
                       false});
    }
    store.endArray();
    const QString current = store.value(QStringLiteral("currentWindow")).toString();
    for (EditorServices::Place &place : places)
        place.current = !current.isEmpty() && place.path == current;
    m_window.tabs()->setLastSessionFiles(lastSessionFiles);

    // Breakpoints of files that are still there.
    QList<std::pair<QString, int>> breakpoints;
    QStringList texts;
    const int breakpointCount = boundedArraySize(
        store.beginReadArray(QStringLiteral("breakpoints")));
    for (int i = 0; i < breakpointCount; ++i) {
        store.setArrayIndex(i);
        const QString file = store.value(QStringLiteral("file")).toString();
        const int line = store.value(QStringLiteral("line")).toInt();
        if (line > 0 && QFileInfo(file).isAbsolute() && QFileInfo::exists(file)) {
            breakpoints.append({file, line});
            texts.append(store.value(QStringLiteral("text")).toString());
        }
    }
    store.endArray();
    m_window.tabs()->restoreBreakpoints(breakpoints, texts);

    // At most one project is open at a time: only the first stored one is reopened, and an
    // empty list still yields one (empty) path, which opens nothing.
    QStringList projectPaths;
    QString configuration;
    const int projectCount = boundedArraySize(store.beginReadArray(QStringLiteral("projects")));
    for (int i = 0; i < projectCount; ++i) {
        store.setArrayIndex(i);
        projectPaths.append(store.value(QStringLiteral("file")).toString());
        if (i == 0)
            configuration = store.value(QStringLiteral("configuration")).toString();
    }
    store.endArray();
    if (projectPaths.isEmpty())
        projectPaths.append(QString());
    m_window.m_recentProjects = store.value(QStringLiteral("MRUProjects")).toStringList();
    m_window.m_recentFiles = store.value(QStringLiteral("MRUFiles")).toStringList();
    m_window.createMRUMenu();

    // While the project loads, its files that were open last time open again.
    ProjectsManager *projects = m_window.projectsManager();
    if (projects->openProject(projectPaths.first(), false) && !configuration.isEmpty()) {
        // The last of that name, as the selector takes it.
        Project *project = projects->currentProject();
        for (int i = 0; project && i < project->configurationCount(); ++i) {
            if (project->configuration(i)->name() == configuration)
                project->setActiveConfiguration(i);
        }
        m_window.updateBuildTargets(configuration);
    }
    // Each reopened file where its cursor was, and the tab that was current in front.
    m_window.tabs()->restorePlaces(places);

    m_window.tabs()->setLastSessionFiles({});

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
