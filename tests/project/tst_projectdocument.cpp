#include "build/buildproject.h"
#include "common/datarows.h"
#include "common/fakemainservices.h"
#include "common/testfiles.h"
#include "core/xmldocumentio.h"
#include "project/handoffrequest.h"
#include "project/projectdocument.h"
#include "toolchain/buildconfiglist.h"

#include <QTemporaryDir>
#include <QtTest>

// The ".dyxp" format without a window: what is read from which element, and the groups files
// take by their types.
class tst_ProjectDocument : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void reading_data();
    void reading();
    void defaultGroups_data();
    void defaultGroups();
    void handOff();

private:
    FakeMainServices m_services;
    std::unique_ptr<BuildConfigList> m_catalogue;
    QTemporaryDir m_dir;
};

void tst_ProjectDocument::initTestCase()
{
    m_services.settingsStore().setDirectory(SettingsStore::Compilers,
                                            QStringLiteral(DYX_TEST_DATA "/compilers"));
    m_catalogue = std::make_unique<BuildConfigList>(&m_services);
    QVERIFY(m_catalogue->load());
}

void tst_ProjectDocument::reading_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<bool>("read");
    QTest::addColumn<QString>("record"); // description; keywords; files as name|group
    QTest::addColumn<QStringList>("configurations");
    QTest::addColumn<QStringList>("lines");
    const QByteArray debug = "<CONFIGURATION NAME=\"D\" COMPILER=\"Test CC\" TARGET=\"D\">"
                             "<CONTROLLER FAMILY=\"F1\" TYPE=\"A\"/></CONFIGURATION>";
    QTest::newRow("not a project: an empty one")
        << QByteArray("<OTHER><FILES><FILE NAME=\"a.c\"/></FILES></OTHER>") << true << ";;"
        << QStringList() << QStringList();
    QTest::newRow("no configuration") << QByteArray("<PROJECT><FILES/></PROJECT>") << false
                                      << QString() << QStringList() << QStringList();
    QTest::newRow("unknown compiler")
        << QByteArray("<PROJECT><CONFIGURATION NAME=\"D\" COMPILER=\"Gone\"><CONTROLLER/>"
                      "</CONFIGURATION></PROJECT>")
        << false << QString() << QStringList()
        << QStringList{"error: Cannot find compiler Gone required for project."};
    QTest::newRow("one of two configurations reads")
        << "<PROJECT DESCRIPTION=\"d &amp; e\"><CONFIGURATION NAME=\"X\" COMPILER=\"Gone\"/>"
               + debug + "</PROJECT>"
        << true << "d & e;;" << QStringList{"D"}
        << QStringList{"error: Cannot find compiler Gone required for project."};
    QTest::newRow("missing attributes, other elements, order kept")
        << "<PROJECT><KEYWORDS><KEYWORD NAME=\"k2\"/><WORD NAME=\"w\"/><KEYWORD/></KEYWORDS>"
           "<FILES><FILE NAME=\"b.c\" GROUP=\"G\"/><DIR NAME=\"d\"/><FILE GROUP=\"H\"/>"
           "<FILE NAME=\"b.c\"/></FILES><FILES><FILE NAME=\"second.c\"/></FILES>"
               + debug + "</PROJECT>"
        << true << ";k2,;b.c|G,|H,b.c|" << QStringList{"D"} << QStringList();
}

void tst_ProjectDocument::reading()
{
    QFETCH(QByteArray, content);
    QFETCH(bool, read);
    QFETCH(QString, record);
    QFETCH(QStringList, configurations);
    QFETCH(QStringList, lines);
    QDomDocument document;
    QVERIFY(bool(document.setContent(content)));
    m_services.lines.clear();
    const std::optional<ProjectContents> contents = ProjectDocument::read(document,
                                                                          m_dir.filePath("p.dyxp"),
                                                                          &m_services,
                                                                          m_catalogue.get());
    QCOMPARE(bool(contents), read);
    QCOMPARE(m_services.lines, lines);
    if (!contents)
        return;
    QStringList files;
    for (const ProjectRecord::File &file : contents->record.files)
        files.append(file.path + QLatin1Char('|') + file.group);
    QCOMPARE(QStringList({contents->record.description,
                          contents->record.keywords.join(QLatin1Char(',')),
                          files.join(QLatin1Char(','))})
                 .join(QLatin1Char(';')),
             record);
    QStringList names;
    for (const auto &configuration : contents->configurations)
        names.append(configuration->name());
    QCOMPARE(names, configurations);
}

void tst_ProjectDocument::defaultGroups_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<bool>("compiler");
    QTest::addColumn<QString>("group");
    QTest::addColumn<QString>("icon");
    addRow("source", "/p/main.c", true, "Source Files", "project_source.png");
    addRow("suffix in capitals", "/p/START.S", true, "Source Files", "project_source.png");
    addRow("type without icon", "/p/led.h", true, "Header Files", "project_other.png");
    addRow("two words", "/p/a.ld", true, "Linker Script Files", "project_other.png");
    addRow("design", "/p/board.DSN", true, "Design Files", "project_design.png");
    addRow("unknown suffix", "/p/notes.txt", true, "Other Files", "project_other.png");
    addRow("no compiler", "/p/main.c", false, "Other Files", "project_other.png");
    addRow("design, no compiler", "/p/b.dsn", false, "Design Files", "project_design.png");
}

void tst_ProjectDocument::defaultGroups()
{
    QFETCH(QString, path);
    QFETCH(bool, compiler);
    QFETCH(QString, group);
    QFETCH(QString, icon);
    const BuildConfig *testCc = compiler ? m_catalogue->find(QStringLiteral("Test CC")) : nullptr;
    QVERIFY(!compiler || testCc);
    QCOMPARE(ProjectDocument::defaultGroup(path, testCc), group);
    QCOMPARE(ProjectDocument::iconName(path, testCc), icon);
}

// What the demo project hands to the simulator, known before its first build.
void tst_ProjectDocument::handOff()
{
    QVERIFY(copyTree(QStringLiteral(DYX_TEST_DATA "/projects/demo"), m_dir.path()));
    const QString path = m_dir.filePath(QStringLiteral("demo.dyxp"));
    const std::optional<QDomDocument> document = XmlDocumentIo::load(path, nullptr);
    QVERIFY(document);
    std::optional<ProjectContents> demo = ProjectDocument::read(*document,
                                                                path,
                                                                &m_services,
                                                                m_catalogue.get());
    QVERIFY(demo);
    QStringList files;
    for (const ProjectRecord::File &file : demo->record.files)
        files.append(m_dir.filePath(file.path));
    BuildProject &debug = *demo->configurations.front();
    debug.addFiles(files, true);
    const DebugTarget target = HandOffRequest::of(&debug, m_dir.path(), files);
    QVERIFY(target.configured);
    QCOMPARE(target.firmware, m_dir.filePath(QStringLiteral("Debug/Debug.hex")));
    QCOMPARE(QStringList({target.design, target.controller, target.family, target.clock}),
             QStringList({"", "A", "F1", "4MHz"}));
    files.insert(2, m_dir.filePath(QStringLiteral("board.DSN")));
    QCOMPARE(HandOffRequest::of(&debug, m_dir.path(), files).design, files.at(2));
    QVERIFY(!HandOffRequest::of(nullptr, m_dir.path(), files).configured);
}

QTEST_GUILESS_MAIN(tst_ProjectDocument)
#include "tst_projectdocument.moc"
