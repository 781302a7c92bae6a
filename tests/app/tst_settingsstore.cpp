#include "common/datarows.h"
#include "common/fakemainservices.h"
#include "common/fulldisk.h"
#include "common/killpoints.h"
#include "common/testfiles.h"
#include "core/settingsstore.h"
#include "core/silentservices.h"
#include "core/xmldocumentio.h"

#include <QDir>
#include <QProcess>
#include <QSettings>
#include <QTemporaryDir>
#include <QThread>
#include <QtTest>

class tst_SettingsStore : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { isolateSettings(); }
    void storeLocation();
    void defaultDirectories_data();
    void defaultDirectories();
    void defaultsAreStoredLazily();
    void reopenAtMachineScopeKeepsGroup();
    void silentServicesLeaveTheUserSettingsAlone();
    void loadXml_data();
    void loadXml();
    void saveXml();
    void fullDiskKeepsTheSettings();
    void killedAtEveryWritePoint();
};

void tst_SettingsStore::storeLocation()
{
    SettingsStore store;
    store.setValue(QStringLiteral("MRUFiles"), QStringList{QStringLiteral("a.c")});
    store.sync();
    QCOMPARE(store.settings().group(), QStringLiteral("1"));
    QVERIFY2(store.settings().fileName().endsWith(
                 QStringLiteral("Morvellan Electronics/DYX Studio.conf")),
             qPrintable(store.settings().fileName()));
    QSettings raw(store.settings().fileName(), QSettings::IniFormat);
    QCOMPARE(raw.value(QStringLiteral("1/MRUFiles")).toStringList(), QStringList{"a.c"});
}

void tst_SettingsStore::defaultDirectories_data()
{
    QTest::addColumn<int>("which");
    QTest::addColumn<QStringList>("existing");
    QTest::addColumn<QString>("expected"); // relative to the program folder's parent
    QTest::newRow("compilers beside")
        << int(SettingsStore::Compilers) << QStringList{"compilers"} << "compilers";
    addRow("compilers missing stays at parent", int(SettingsStore::Compilers), QStringList{}, "");
    addRow("simulator", int(SettingsStore::Simulator), QStringList{"simulator"}, "simulator");
    QTest::newRow("syntax") << int(SettingsStore::Syntax) << QStringList{"syntax"} << "syntax";
    addRow("devboards", int(SettingsStore::DevBoards), QStringList{"devboards"}, "devboards");
    addRow("tools is the program folder", int(SettingsStore::Tools), QStringList{}, "bin");
}

void tst_SettingsStore::defaultDirectories()
{
    QFETCH(int, which);
    QFETCH(QStringList, existing);
    QFETCH(QString, expected);
    QTemporaryDir root;
    QDir dir(root.path());
    QVERIFY(dir.mkdir(QStringLiteral("bin")));
    for (const QString &name : existing)
        QVERIFY(dir.mkdir(name));
    const QString result = SettingsStore::defaultDirectory(SettingsStore::Directory(which),
                                                           dir.filePath(QStringLiteral("bin")));
    QCOMPARE(result, expected.isEmpty() ? dir.absolutePath() : dir.absoluteFilePath(expected));
}

// A directory left at its default is stored as no value, so that it follows the program
// wherever it is installed; a folder of one's own is stored as it is, and read if it is a
// full path.
void tst_SettingsStore::defaultsAreStoredLazily()
{
    SettingsStore store;
    store.settings().remove(QStringLiteral("Compilers"));
    const QString fallback = store.compilersDirectory(true);
    QVERIFY(!fallback.isEmpty());
    QCOMPARE(store.compilersDirectory(), fallback);
    QVERIFY(!store.settings().contains(QStringLiteral("Compilers")));

    store.setDirectory(SettingsStore::Compilers, QStringLiteral("/opt/compilers"));
    QCOMPARE(store.compilersDirectory(), QStringLiteral("/opt/compilers"));
    QCOMPARE(store.compilersDirectory(true), fallback);
    // Set back to the default, however written: no value again.
    store.setDirectory(SettingsStore::Compilers, fallback + QStringLiteral("/"));
    QVERIFY(!store.settings().contains(QStringLiteral("Compilers")));
    QCOMPARE(store.compilersDirectory(), fallback);
    // One stored without its full path (by hand, say) would be looked for wherever the program
    // runs: the default is read instead.
    store.settings().setValue(QStringLiteral("Compilers"), QStringLiteral("compilers"));
    QCOMPARE(store.compilersDirectory(), fallback);

    const QString projects = store.projectsDirectory();
    QVERIFY(projects.endsWith(QStringLiteral("/DYX Studio Projects")));
    QVERIFY(QDir(projects).exists());
    QVERIFY(!store.settings().contains(QStringLiteral("Projects")));
}

void tst_SettingsStore::reopenAtMachineScopeKeepsGroup()
{
    SettingsStore store;
    store.reopen(Platform::SettingsScope::Machine);
    QCOMPARE(store.scope(), Platform::SettingsScope::Machine);
    QCOMPARE(store.settings().group(), QStringLiteral("1"));
    QCOMPARE(store.settings().scope(), QSettings::SystemScope);
}

// Work done without a main window reads the defaults, not the user's settings, and what it
// changes stays in memory.
void tst_SettingsStore::silentServicesLeaveTheUserSettingsAlone()
{
    SettingsStore user;
    user.setDirectory(SettingsStore::Tools, QStringLiteral("/user/tools"));
    user.setValue(QStringLiteral("buildJobs"), 7);
    QVERIFY(user.sync());
    const QByteArray before = readFile(user.settings().fileName());
    QVERIFY(before.contains("/user/tools"));

    SettingsStore &silent = servicesOf(nullptr).files().settingsStore();
    QCOMPARE(silent.toolsDirectory(), SettingsStore::defaultDirectory(SettingsStore::Tools));
    QCOMPARE(silent.buildJobs(), std::max(1, QThread::idealThreadCount()));
    silent.setDirectory(SettingsStore::Tools, QStringLiteral("/silent/tools"));
    silent.setValue(QStringLiteral("MRUFiles"), QStringList{QStringLiteral("silent.c")});
    QVERIFY(silent.sync());
    QCOMPARE(silent.toolsDirectory(), QStringLiteral("/silent/tools"));

    QCOMPARE(readFile(user.settings().fileName()), before);
    QCOMPARE(SettingsStore().toolsDirectory(), QStringLiteral("/user/tools"));
}

void tst_SettingsStore::loadXml_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<bool>("loads");
    QTest::addColumn<QString>("line");
    addRow("well formed", QByteArray("<?xml version=\"1.0\"?>\n<A><B/></A>\n"), true, QString());
    QTest::newRow("unclosed tag") << QByteArray("<A>\n <B>\n</A>\n") << false
                                  << "message: Error opening list.xml: Opening and ending tag "
                                     "mismatch. at line 3, column 4\n";
    QTest::newRow("not xml")
        << QByteArray("hello") << false
        << "message: Error opening list.xml: Start tag expected. at line 1, column 1\n";
}

void tst_SettingsStore::loadXml()
{
    QFETCH(QByteArray, content);
    QFETCH(bool, loads);
    QFETCH(QString, line);
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("list.xml"));
    QVERIFY(writeFile(path, content));
    FakeMainServices services;
    const std::optional<QDomDocument> document = XmlDocumentIo::load(path, &services);
    QCOMPARE(document.has_value(), loads);
    QCOMPARE(services.lines, line.isEmpty() ? QStringList() : QStringList{line});
    // A file that cannot be read is no error worth a line.
    QVERIFY(!XmlDocumentIo::load(dir.filePath(QStringLiteral("none.xml")), &services));
    QCOMPARE(services.lines.size(), line.isEmpty() ? 0 : 1);
}

void tst_SettingsStore::saveXml()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("out.xml"));
    QDomDocument document;
    document.appendChild(
        document.createProcessingInstruction(QStringLiteral("xml"),
                                             QStringLiteral("version=\"1.0\" encoding=\"UTF-8\"")));
    QDomElement root = document.createElement(QStringLiteral("PROJECT"));
    root.setAttribute(QStringLiteral("NAME"), QStringLiteral("Grüße"));
    root.appendChild(document.createElement(QStringLiteral("FILES")));
    document.appendChild(root);
    QVERIFY(XmlDocumentIo::save(document, path));
    QCOMPARE(readFile(path),
             QByteArray("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                        "<PROJECT NAME=\"Gr\xc3\xbc\xc3\x9f"
                        "e\">\n <FILES/>\n</PROJECT>\n"));
    QVERIFY(!XmlDocumentIo::save(QDomDocument(), path));
    QVERIFY(!XmlDocumentIo::save(document, dir.filePath(QStringLiteral("no/such/dir.xml"))));
}

// A write cut short (a full disk: here a limit on the size of files) keeps the settings file
// as it was, every compiler and directory in it, and says so.
void tst_SettingsStore::fullDiskKeepsTheSettings()
{
    QByteArray before;
    QString path;
    {
        SettingsStore store;
        for (int i = 0; i < 60; ++i)
            store.setValue(QStringLiteral("kept%1").arg(i), QStringLiteral("a value to keep"));
        QVERIFY(store.sync());
        path = store.settings().fileName();
        before = readFile(path);
    }
    QVERIFY(before.size() > 1024); // beyond the limit below
    // Room for the file as it was, not for the new one.
    FullDisk full(rlim_t(before.size() + 100));
    QVERIFY(full.isActive());
    bool synced = true;
    {
        SettingsStore store;
        store.setValue(QStringLiteral("new"), QString(2000, QLatin1Char('x')));
        QTest::ignoreMessage(QtWarningMsg,
                             QRegularExpression(QStringLiteral("could not be written")));
        synced = store.sync();
        store.settings().remove(QStringLiteral("new")); // nothing left for the end to write
    }
    full.end();
    QVERIFY(!synced);
    QCOMPARE(readFile(path), before);
}

// The program killed at any step of writing its settings leaves them readable and whole, and
// no copy of them beside the file once it has run again.
void tst_SettingsStore::killedAtEveryWritePoint()
{
    QTemporaryDir work;
    const QString folder = work.filePath(QStringLiteral("config/Morvellan Electronics"));
    QDir().mkpath(folder);
    const QString path = folder + QStringLiteral("/DYX Studio.conf");
    QVERIFY(writeFile(path, "[1]\nkept=a value to keep\n"));
    int killed = 0;
    for (int step = 1; step < 200; ++step) {
        QProcess program;
        QProcessEnvironment environment = killedAtStep(step);
        environment.insert(QStringLiteral("XDG_CONFIG_HOME"),
                           work.filePath(QStringLiteral("config")));
        // What a killed writer leaves in its temporary folder stays here.
        environment.insert(QStringLiteral("TMPDIR"), work.path());
        program.setProcessEnvironment(environment);
        program.start(QStringLiteral(DYX_PROGRAM),
                      {QStringLiteral("--scan_compilers"), QStringLiteral("--quit")});
        // A lock left by a killed writer does not hold the next start off.
        QVERIFY(program.waitForFinished(20000));
        const QSettings settings(path, QSettings::IniFormat);
        QCOMPARE(settings.status(), QSettings::NoError);
        QVERIFY2(settings.value(QStringLiteral("1/kept")).toString()
                     == QLatin1String("a value to keep"),
                 qPrintable(QStringLiteral("killed at step %1").arg(step)));
        if (program.exitStatus() == QProcess::NormalExit)
            break;
        ++killed;
    }
    QVERIFY2(killed >= 3, qPrintable(QString::number(killed)));
    const QStringList left = QDir(folder).entryList({QStringLiteral("DYX Studio.conf.*")},
                                                    QDir::Files | QDir::Hidden);
    QVERIFY2(left.isEmpty() || left == QStringList{QStringLiteral("DYX Studio.conf.lock")},
             qPrintable(left.join(QLatin1Char(' '))));
}

QTEST_GUILESS_MAIN(tst_SettingsStore)
#include "tst_settingsstore.moc"
