#include "common/fakewindowservices.h"
#include "common/scriptedprompts.h"
#include "common/testfiles.h"
#include "core/ui/commandactions.h"
#include "project/ui/project.h"
#include "project/ui/projectsmanager.h"
#include "project/ui/projecttreewidget.h"

#include <QAction>
#include <QFile>
#include <QMimeData>
#include <QTemporaryDir>
#include <QtTest>

class tst_ProjectsManager : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();
    void dragInsideTree();
    void dropFromOutside();
    void commandStates();

private:
    QString path(const char *name) const { return m_dir->filePath(QLatin1String(name)); }

    FakeWindowServices m_services;
    CommandActions m_actions;
    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<ProjectsManager> m_manager;
    std::unique_ptr<ScriptedPrompts> m_prompts;
};

void tst_ProjectsManager::initTestCase()
{
    isolateSettings();
    m_services.settingsStore().setDirectory(SettingsStore::Compilers,
                                            QStringLiteral(DYX_TEST_DATA "/compilers"));
    QAction **actionSlots[] = {&m_actions.openProject,     &m_actions.newProject,
                               &m_actions.openSample,      &m_actions.stopBuild,
                               &m_actions.addExistingFile, &m_actions.addNewFile,
                               &m_actions.addDesignFile,   &m_actions.createDesignFile,
                               &m_actions.removeFile,      &m_actions.saveProject,
                               &m_actions.saveProjectAs,   &m_actions.closeProject,
                               &m_actions.projectSettings, &m_actions.buildProject,
                               &m_actions.tidyProject,     &m_actions.cleanProject,
                               &m_actions.openDebugger,    &m_actions.startDebugging,
                               &m_actions.stopSimulation,  &m_actions.closeSimulator,
                               &m_actions.rename,          &m_actions.rebuildProject};
    for (QAction **slot : actionSlots)
        *slot = new QAction(this);
}

void tst_ProjectsManager::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(copyTree(QStringLiteral(DYX_TEST_DATA "/projects/demo"), m_dir->path()));
    m_prompts = std::make_unique<ScriptedPrompts>();
    m_manager = std::make_unique<ProjectsManager>(&m_services, &m_actions, nullptr);
    QVERIFY(m_manager->openProject(path("demo.dyxp"), false));
    m_services.lines.clear();
    m_services.modifiedEditors.clear();
    m_services.recentProjects.clear();
}

void tst_ProjectsManager::cleanup()
{
    m_manager.reset();
    m_prompts.reset();
}

void tst_ProjectsManager::dragInsideTree()
{
    Project *project = m_manager->currentProject();
    ProjectTreeWidget *tree = m_manager->tree();
    QMimeData data;
    data.setUrls({QUrl::fromLocalFile(path("notes.txt"))});
    const auto dragOnto = [&](QTreeWidgetItem *dragged, QTreeWidgetItem *target) {
        tree->setCurrentItem(dragged);
        return tree->dropData(target, &data, true);
    };
    QTreeWidgetItem *notes = project->fileAt(3)->item;
    // Onto a file: to that file's place in its group.
    QVERIFY(dragOnto(notes, project->fileAt(0)->item));
    QCOMPARE(project->fileGroup(0), QStringLiteral("Source Files"));
    // Onto the project's root item: back to its default group.
    QVERIFY(dragOnto(notes, project->rootItem()));
    QCOMPARE(project->fileGroup(3), QStringLiteral("Other Files"));
    // A group or the root cannot be dragged; nothing lands outside the items.
    QVERIFY(!dragOnto(project->rootItem(), notes));
    QVERIFY(!tree->dropData(nullptr, &data, false));
    // Onto a group: to its end.
    QVERIFY(dragOnto(project->fileAt(0)->item, project->fileAt(2)->item->parent()));
    QCOMPARE(project->filePathAt(2), path("src/main.c"));
    QCOMPARE(project->fileGroup(2), QStringLiteral("Header Files"));
    QVERIFY(project->save());
    const QByteArray text = readFile(project->filePath());
    QVERIFY(text.indexOf("lib öl/led.c") < text.indexOf("src/led.h"));
    QVERIFY(text.indexOf("src/led.h") < text.indexOf("src/main.c\" GROUP=\"Header Files\""));
    // Onto its own group: nothing moves and nothing is to be saved, also after a file was added
    // (the tree shows it among its group's files, the project lists it last).
    QVERIFY(writeFile(path("extra.c")));
    QVERIFY(project->addFile(path("extra.c")));
    QVERIFY(project->save());
    QVERIFY(dragOnto(project->fileAt(0)->item, project->fileAt(0)->item->parent()));
    QVERIFY(!project->isModified());
}

void tst_ProjectsManager::dropFromOutside()
{
    Project *project = m_manager->currentProject();
    for (const char *name : {"extra.c", "board.h"})
        QFile(path(name)).open(QIODevice::WriteOnly);
    auto *data = new QMimeData;
    data->setUrls({QUrl::fromLocalFile(path("extra.c")),
                   QUrl::fromLocalFile(path("board.h")),
                   QUrl::fromLocalFile(path("src/main.c"))});
    QVERIFY(m_manager->tree()->dropData(project->fileAt(2)->item->parent(), data, false));
    // Each lands in its own default group; the file already there is not added twice.
    QCOMPARE(project->fileCount(), 6);
    QCOMPARE(project->fileGroup(4), QStringLiteral("Source Files"));
    QCOMPARE(project->fileGroup(5), QStringLiteral("Header Files"));
    // A folder brings the files of the types the compiler knows, from its folders too; not
    // what is hidden, an output folder's generated files, or a folder reached through a link.
    for (const char *name : {"drivers/uart.c",
                             "drivers/b/spi.h",
                             "drivers/a.c",
                             "drivers/x.txt",
                             "drivers/.git/x.c",
                             "Debug/main.s",
                             "far/far.c",
                             "docs/x.txt"})
        QVERIFY(writeFile(path(name)));
    QVERIFY(QFile::link(path("far"), path("drivers/linked")));
    const auto dropped = [&](const QString &folder) {
        const int before = project->fileCount();
        data->setUrls({QUrl::fromLocalFile(folder)});
        if (!m_manager->tree()->dropData(project->rootItem(), data, false))
            return QStringList{QStringLiteral("refused")};
        QStringList added;
        for (int i = before; i < project->fileCount(); ++i)
            added << project->filePathAt(i);
        return added;
    };
    QCOMPARE(dropped(path("drivers")),
             QStringList({path("drivers/a.c"), path("drivers/b/spi.h"), path("drivers/uart.c")}));
    QCOMPARE(dropped(m_dir->path()), QStringList{path("far/far.c")});
    // A folder without such files adds nothing and says so.
    m_services.lines.clear();
    QCOMPARE(dropped(path("docs")), QStringList());
    QCOMPARE(m_services.lines.size(), 1);
    QVERIFY(m_services.lines.at(0).startsWith("message: " + path("docs") + " holds no file"));
    delete data;
}

void tst_ProjectsManager::commandStates()
{
    Project *project = m_manager->currentProject();
    m_manager->tree()->setCurrentItem(project->rootItem());
    m_manager->updateState();
    QVERIFY(!m_actions.saveProject->isEnabled());
    QVERIFY(m_actions.buildProject->isEnabled());
    QVERIFY(!m_actions.removeFile->isEnabled());
    QVERIFY(m_actions.addDesignFile->isEnabled());
    QVERIFY(!m_actions.stopBuild->isEnabled());
    m_manager->tree()->setCurrentItem(project->fileAt(0)->item);
    project->setModified(true);
    m_manager->updateState();
    QVERIFY(m_actions.saveProject->isEnabled());
    QVERIFY(m_actions.removeFile->isEnabled());
    QCOMPARE(project->rootItem()->text(0), QStringLiteral("*demo"));
    QVERIFY(project->rootItem()->font(0).bold());
    m_prompts->answers.enqueue(QMessageBox::Discard);
    m_manager->closeProject();
    m_manager->updateState();
    QVERIFY(!m_actions.buildProject->isEnabled());
    QVERIFY(m_actions.openProject->isEnabled());
}

QTEST_MAIN(tst_ProjectsManager)
#include "tst_projectsmanager.moc"
