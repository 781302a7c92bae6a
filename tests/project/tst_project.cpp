#include "build/buildproject.h"
#include "common/fakewindowservices.h"
#include "common/scriptedprompts.h"
#include "common/testfiles.h"
#include "project/ui/project.h"
#include "toolchain/buildconfig.h"
#include "toolchain/buildconfiglist.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTreeWidget>
#include <QtTest>

class tst_Project : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void unmodifiedSaveWritesNothing();
    void savedFileIsByteExact();
    void missingFileIsLoadedAndReported();
    void groupsAndNames();
    void refusedRenameIsUndone();
    void whatTheProjectFileCannotHoldStaysOut();
    void findFileForTool();
    void buildRefused_data();
    void buildRefused();

private:
    std::unique_ptr<Project> loadDemo();

    FakeWindowServices m_services;
    std::unique_ptr<BuildConfigList> m_catalogue;
    std::unique_ptr<QTemporaryDir> m_dir;
    QTreeWidget m_tree;
};

void tst_Project::initTestCase()
{
    isolateSettings();
    m_services.settingsStore().setDirectory(SettingsStore::Compilers,
                                            QStringLiteral(DYX_TEST_DATA "/compilers"));
    m_catalogue = std::make_unique<BuildConfigList>(&m_services);
    QVERIFY(m_catalogue->load());
}

// A fresh copy of the demo project for every test.
void tst_Project::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(copyTree(QStringLiteral(DYX_TEST_DATA "/projects/demo"), m_dir->path()));
    m_services.lines.clear();
}

std::unique_ptr<Project> tst_Project::loadDemo()
{
    auto project = std::make_unique<Project>(m_catalogue.get(), &m_services);
    if (!project->load(m_dir->filePath(QStringLiteral("demo.dyxp"))))
        return nullptr;
    project->buildTree(m_tree.invisibleRootItem());
    return project;
}

void tst_Project::unmodifiedSaveWritesNothing()
{
    auto project = loadDemo();
    QVERIFY(project);
    QCOMPARE(project->name(), QStringLiteral("demo"));
    QCOMPARE(project->fileCount(), 4);
    QVERIFY(!project->isModified());
    QVERIFY(QFile::remove(project->filePath()));
    QVERIFY(project->save());
    QVERIFY(!QFile::exists(project->filePath()));
}

void tst_Project::savedFileIsByteExact()
{
    auto project = loadDemo();
    QVERIFY(project);
    QFile(m_dir->filePath(QStringLiteral("src/extra.c"))).open(QIODevice::WriteOnly);
    QVERIFY(project->addFile(m_dir->filePath(QStringLiteral("src/extra.c"))));
    QVERIFY(project->isModified());
    QCOMPARE(project->rootItem()->text(0), QStringLiteral("*demo"));
    QVERIFY(project->save());
    QCOMPARE(project->rootItem()->text(0), QStringLiteral("demo"));
    const QByteArray written = readFile(project->filePath());
    const QByteArray expected = readFile(QStringLiteral(DYX_TEST_DATA "/projects/demo-saved.dyxp"));
    if (written != expected) {
        // Left beside the test for a look (or to become the new expected file).
        QFile actual(QStringLiteral("demo-saved.actual.dyxp"));
        if (actual.open(QIODevice::WriteOnly))
            actual.write(written);
    }
    QCOMPARE(written, expected);
    // And it reads back to the same project.
    Project again(m_catalogue.get(), &m_services);
    QVERIFY(again.load(project->filePath()));
    again.setModified(true);
    QVERIFY(again.save());
    QCOMPARE(readFile(project->filePath()), written);
}

void tst_Project::missingFileIsLoadedAndReported()
{
    QVERIFY(QFile::remove(m_dir->filePath(QStringLiteral("notes.txt"))));
    auto project = loadDemo();
    QVERIFY(project);
    QCOMPARE(m_services.lines,
             QStringList{"error: File '" + m_dir->filePath(QStringLiteral("notes.txt"))
                         + "' not found"});
    QVERIFY(!project->fileAt(3)->exists);
    QCOMPARE(project->fileAt(3)->item->icon(0).cacheKey() != 0, true);
}

void tst_Project::groupsAndNames()
{
    Project first(m_catalogue.get(), &m_services);
    Project second(m_catalogue.get(), &m_services);
    first.updateRootText();
    second.updateRootText();
    const int n = first.name().mid(7).toInt();
    QVERIFY(first.name().startsWith(QStringLiteral("Project")));
    QCOMPARE(second.name(), QStringLiteral("Project%1").arg(n + 1));

    auto project = loadDemo();
    QCOMPARE(project->groupCount(), 3);
    // The extension's letter case does not matter for the group.
    QCOMPARE(project->defaultGroup(QStringLiteral("/x/BOOT.S")), QStringLiteral("Source Files"));
    QCOMPARE(project->defaultGroup(QStringLiteral("/x/board.DSN")), QStringLiteral("Design Files"));
    QCOMPARE(project->defaultGroup(QStringLiteral("/x/readme")), QStringLiteral("Other Files"));
    project->renameGroup(0, QStringLiteral("Header Files"));
    QCOMPARE(project->groupName(0), QStringLiteral("Source Files"));
    project->renameGroup(0, QStringLiteral("Code"));
    QCOMPARE(project->fileGroup(0), QStringLiteral("Code"));
    QCOMPARE(project->classifyItem(project->rootItem()), 0);
    QCOMPARE(project->classifyItem(project->fileAt(0)->item), 2);
    QCOMPARE(project->classifyItem(project->fileAt(0)->item->parent()), 1);
    QCOMPARE(project->classifyItem(m_tree.invisibleRootItem()), -1);
}

void tst_Project::refusedRenameIsUndone()
{
    auto project = loadDemo();
    const QString main = m_dir->filePath(QStringLiteral("src/main.c"));
    const QString start = m_dir->filePath(QStringLiteral("src/start.c"));
    // The second configuration already knows a file of the new name, so it refuses.
    project->configuration(1)->addFile(start, true);
    project->renameFile(0, QStringLiteral("start.c"));
    QCOMPARE(project->filePathAt(0), main);
    QVERIFY(QFile::exists(main));
    QVERIFY(!QFile::exists(start));
    QVERIFY(project->configuration(0)->allFiles().contains(main));
    QCOMPARE(project->fileAt(0)->item->text(0), QStringLiteral("main.c"));

    project->configuration(1)->removeFile(start);
    project->renameFile(0, QStringLiteral("start.c"));
    QCOMPARE(project->filePathAt(0), start);
    QVERIFY(!QFile::exists(main));
    QVERIFY(project->configuration(1)->allFiles().contains(start));
    QVERIFY(m_services.lines.contains("renamed: " + main + " -> " + start));
}

// A control character in a name would make the saved project unreadable: such a file is not
// added, a rename to such a name is refused, and a description pasted with one is saved
// without it.
void tst_Project::whatTheProjectFileCannotHoldStaysOut()
{
    auto project = loadDemo();
    const int files = project->fileCount();
    const QString odd = m_dir->filePath(QStringLiteral("src/a\x01"
                                                       "b.c"));
    QFile(odd).open(QIODevice::WriteOnly);
    project->addFile(odd);
    QCOMPARE(project->fileCount(), files);
    QVERIFY(m_services.lines.contains(QStringLiteral("error: '%1' cannot be kept in a project: its "
                                                     "name holds a control character.")
                                          .arg(m_dir->filePath(QStringLiteral("src/a?b.c")))));
    // Add New File makes no file of such a name.
    ScriptedPrompts prompts;
    prompts.fileNames << m_dir->filePath(QStringLiteral("src/new\x02.c"));
    QVERIFY(!project->newFile());
    QVERIFY(prompts.fileNames.isEmpty()
            && !QFileInfo::exists(m_dir->filePath(QStringLiteral("src/new\x02.c"))));
    const QString main = project->filePathAt(0);
    project->renameFile(0, QStringLiteral("ma\x0Bin.c"));
    QCOMPARE(project->filePathAt(0), main);
    QVERIFY(QFile::exists(main));
    project->setDescription(QStringLiteral("page one\x0Cpage two \xFFFF\xD800 end"));
    project->setModified(true);
    QVERIFY(project->save());
    Project again(m_catalogue.get(), &m_services);
    QVERIFY(again.load(project->filePath()));
    QCOMPARE(again.description(), QStringLiteral("page onepage two  end"));
}

void tst_Project::findFileForTool()
{
    auto project = loadDemo();
    QCOMPARE(project->findFileForTool(QStringLiteral("LED.C")), 1);
    QCOMPARE(project->findFileForTool(m_dir->filePath(QStringLiteral("src/main.c"))), 0);
    QCOMPARE(project->findFileForTool(QStringLiteral("../src/main.c")), 0);
    QCOMPARE(project->findFileForTool(QStringLiteral("/elsewhere/main.c")), -1);
    QCOMPARE(project->familyForFile(m_dir->filePath(QStringLiteral("src/led.h"))),
             QStringLiteral("F1"));
}

void tst_Project::buildRefused_data()
{
    QTest::addColumn<bool>("compilerFound");
    QTest::addColumn<QStringList>("lines");
    QTest::newRow("no controller") << true
                                   << QStringList{"error: No controller family defined.",
                                                  "error: No controller defined.",
                                                  "error: Compilation failed. Check the Project "
                                                  "Settings."};
    // The fix of a compiler not found is not in the project: the line says where it is.
    QTest::newRow("compiler not found")
        << false
        << QStringList{"error: No controller family defined.",
                       "error: No controller defined.",
                       "error: The selected compiler 'Test CC' is not installed.",
                       "error: If it is installed, Config > Compilers Configuration > Check All "
                       "finds it.",
                       "error: Compilation failed. Check the Project Settings."};
}

// A build is refused before make runs, with each thing missing said.
void tst_Project::buildRefused()
{
    QFETCH(bool, compilerFound);
    QFETCH(QStringList, lines);
    m_catalogue->find(QStringLiteral("Test CC"))->setConfigured(compilerFound, m_dir->path());
    QVERIFY(replaceInFile(m_dir->filePath(QStringLiteral("demo.dyxp")),
                          "FAMILY=\"F1\" TYPE=\"A\"",
                          "FAMILY=\"\" TYPE=\"\""));
    auto project = loadDemo();
    QVERIFY(project);
    QVERIFY(!project->compile());
    QCOMPARE(m_services.lines.mid(m_services.lines.lastIndexOf(QStringLiteral("clear")) + 1)
                 .filter(QStringLiteral("error")),
             lines);
    QVERIFY(!QFile::exists(m_dir->filePath(QStringLiteral("Debug/Makefile"))));
}

QTEST_MAIN(tst_Project)
#include "tst_project.moc"
