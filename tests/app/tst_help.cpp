#include "app/chmfile.h"
#include "app/helpviewer.h"
#include "app/srcmanager.h"
#include "common/datarows.h"
#include "common/testfiles.h"

#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

#include <sys/stat.h>

// The help file as the build compiles it from data/help, read back through the viewer's reader;
// every expectation below comes from data/help/dyxstudio.hhp and the pages themselves.
class tst_Help : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void topics_data();
    void topics();
    void windowTypes();
    void contents();
    void notHelp_data();
    void notHelp();
    void placement_data();
    void placement();
    void onlyTheInstallationsHelpFile();

private:
    std::unique_ptr<ChmFile> m_file;
};

void tst_Help::initTestCase()
{
    m_file = ChmFile::open(QStringLiteral(DYX_HELP_FILE));
    QVERIFY(m_file);
}

void tst_Help::topics_data()
{
    QTest::addColumn<int>("contextId");
    QTest::addColumn<QString>("topic");
    QTest::addColumn<QString>("heading");
    addRow("main page", 0, "/index.html", "DYX Studio Help");
    QTest::newRow("settings: directories") << 3 << "/settings_directories.html"
                                           << "Editor Settings: Directories";
    addRow("project settings", 21, "/project_options.html", "Project Options");
    addRow("new project: controller", 23, "/controller.html", "New Project: Controller Selection");
    addRow("open sample", 26, "/samples.html", "Open Sample");
    addRow("no such id", 7, "", "");
}

void tst_Help::topics()
{
    QFETCH(int, contextId);
    QFETCH(QString, topic);
    QFETCH(QString, heading);
    const QString found = contextId ? m_file->topicForContext(contextId) : m_file->defaultTopic();
    QCOMPARE(found, topic);
    if (!topic.isEmpty())
        QVERIFY(m_file->read(topic).contains(("<h1>" + heading + "</h1>").toUtf8()));
}

void tst_Help::windowTypes()
{
    const auto main = m_file->windowType(QStringLiteral("Main"));
    QVERIFY(main);
    QCOMPARE(main->caption, QStringLiteral("DYX Studio Help"));
    QCOMPARE(main->rect.size(), QSize(900, 680));
    QCOMPARE(main->contents, QStringLiteral("/contents.hhc"));
    const auto popup = m_file->windowType(QStringLiteral("Popup"));
    QVERIFY(popup);
    QCOMPARE(popup->rect.size(), QSize(560, 420));
    QVERIFY(!m_file->windowType(QStringLiteral("Sidebar")));
    // The pages' style sheet and a missing object.
    QVERIFY(m_file->read(QStringLiteral("help.css")).contains("font-family"));
    QVERIFY(m_file->read(QStringLiteral("/no such page.html")).isEmpty());
}

void tst_Help::contents()
{
    const QList<ChmFile::ContentsEntry> top = m_file->contents();
    QCOMPARE(top.size(), 9);
    QCOMPARE(top.first().topic, QStringLiteral("/index.html"));
    const ChmFile::ContentsEntry &dialogs = top.last();
    QCOMPARE(dialogs.name, QStringLiteral("Dialogs"));
    QVERIFY(dialogs.topic.isEmpty());
    QCOMPARE(dialogs.children.size(), 12);
    // Every entry names a page the file holds.
    std::function<void(const QList<ChmFile::ContentsEntry> &)> check =
        [&](const QList<ChmFile::ContentsEntry> &entries) {
            for (const ChmFile::ContentsEntry &entry : entries) {
                QVERIFY2(entry.topic.isEmpty() || m_file->contains(entry.topic),
                         qPrintable(entry.name));
                check(entry.children);
            }
        };
    check(top);
}

void tst_Help::notHelp_data()
{
    QTest::addColumn<QString>("kind");
    QTest::newRow("missing") << "missing";
    QTest::newRow("text file") << "text";
    QTest::newRow("folder") << "folder";
    QTest::newRow("pipe") << "pipe";
}

void tst_Help::notHelp()
{
    QFETCH(QString, kind);
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("DYXSTUDIO.CHM"));
    if (kind == QLatin1String("text")) {
        QVERIFY(writeFile(path, "ITSF but not really\n"));
    } else if (kind == QLatin1String("folder")) {
        QVERIFY(QDir().mkpath(path));
    } else if (kind == QLatin1String("pipe")) {
        QCOMPARE(mkfifo(QFile::encodeName(path).constData(), 0600), 0);
    }
    QVERIFY(!ChmFile::open(path));
}

void tst_Help::placement_data()
{
    QTest::addColumn<QRect>("defined");
    QTest::addColumn<qreal>("scale");
    QTest::addColumn<QRect>("active");
    QTest::addColumn<QRect>("expected");
    const QRect defined(0, 0, 600, 400);
    addRow("96 dpi, on the screen", defined, 1.0, QRect(), QRect(660, 340, 600, 400));
    QTest::newRow("96 dpi, on the active window")
        << defined << 1.0 << QRect(100, 100, 400, 300) << QRect(0, 50, 600, 400);
    QTest::newRow("144 dpi") << defined << 1.5 << QRect() << QRect(510, 240, 900, 600);
    // 0.8 of 1920 x 1080: 1536 x 864.
    QTest::newRow("larger than the screen")
        << QRect(0, 0, 1800, 1000) << 1.0 << QRect() << QRect(192, 108, 1536, 864);
}

void tst_Help::placement()
{
    QFETCH(QRect, defined);
    QFETCH(qreal, scale);
    QFETCH(QRect, active);
    QFETCH(QRect, expected);
    QCOMPARE(HelpViewer::placement(defined, scale, QRect(0, 0, 1920, 1080), active), expected);
}

// A help file planted where the program is started from (beside a downloaded project) is not
// read: the help comes from the installation.
void tst_Help::onlyTheInstallationsHelpFile()
{
    QTemporaryDir dir;
    QVERIFY(QDir().mkpath(dir.filePath(QStringLiteral("HELP"))));
    QVERIFY(QDir().mkpath(dir.filePath(QStringLiteral("project"))));
    QVERIFY(writeFile(dir.filePath(QStringLiteral("HELP/DYXSTUDIO.CHM")), "ITSF crafted"));
    const QString before = QDir::currentPath();
    QVERIFY(QDir::setCurrent(dir.filePath(QStringLiteral("project"))));
    const QString file = SrcManager::helpFile();
    QDir::setCurrent(before);
    QCOMPARE(QFileInfo(file).canonicalFilePath(),
             QFileInfo(QCoreApplication::applicationDirPath()
                       + QStringLiteral("/../HELP/DYXSTUDIO.CHM"))
                 .canonicalFilePath());
    QVERIFY(QFileInfo::exists(file));
}

QTEST_MAIN(tst_Help)
#include "tst_help.moc"
