#include "build/buildmessageparser.h"
#include "build/buildproject.h"
#include "build/messagefileresolver.h"
#include "common/fakewindowservices.h"
#include "common/scriptedprompts.h"
#include "common/testfiles.h"
#include "project/ui/project.h"
#include "toolchain/buildconfig.h"
#include "toolchain/buildconfiglist.h"

#include <QDirIterator>
#include <QFile>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>

#include <csignal>

class tst_BuildRun : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void parse_data();
    void parse();
    void run_data();
    void run();
    void abortStopsEverythingMakeStarted();
    void prepareChecks();
    void errorFilesAreTheProjects();

private:
    void writeMake(const QByteArray &script);
    std::unique_ptr<Project> loadDemo();

    FakeWindowServices m_services;
    std::unique_ptr<BuildConfigList> m_catalogue;
    std::unique_ptr<QTemporaryDir> m_temporary;
    // The project's folder; the dot in its name is no suffix.
    std::unique_ptr<QDir> m_dir;
    QTemporaryDir m_tools;
};

void tst_BuildRun::initTestCase()
{
    m_services.settingsStore().setDirectory(SettingsStore::Compilers,
                                            QStringLiteral(DYX_TEST_DATA "/compilers"));
    m_services.settingsStore().setDirectory(SettingsStore::Tools, m_tools.path());
    m_catalogue = std::make_unique<BuildConfigList>(&m_services);
    QVERIFY(m_catalogue->load());
    m_catalogue->find(QStringLiteral("Test CC"))->setConfigured(true, m_tools.path());
}

void tst_BuildRun::init()
{
    m_temporary = std::make_unique<QTemporaryDir>();
    m_dir = std::make_unique<QDir>(m_temporary->filePath(QStringLiteral("first.last")));
    QVERIFY(copyTree(QStringLiteral(DYX_TEST_DATA "/projects/demo"), m_dir->path()));
    QDir().mkpath(m_dir->filePath(QStringLiteral("Debug")));
    QFile(m_dir->filePath(QStringLiteral("Debug/gen.c"))).open(QIODevice::WriteOnly);
    m_services.lines.clear();
    m_services.settingsStore().settings().setValue(QStringLiteral("buildJobs"), 1);
}

// make.exe in the tools directory: a shell script standing in for make.
void tst_BuildRun::writeMake(const QByteArray &script)
{
    QFile make(m_tools.filePath(QStringLiteral("make.exe")));
    QVERIFY(make.open(QIODevice::WriteOnly));
    make.write("#!/bin/sh\n" + script);
    make.close();
    make.setPermissions(make.permissions() | QFileDevice::ExeOwner);
}

std::unique_ptr<Project> tst_BuildRun::loadDemo()
{
    auto project = std::make_unique<Project>(m_catalogue.get(), &m_services);
    if (!project->load(m_dir->filePath(QStringLiteral("demo.dyxp"))))
        return nullptr;
    return project;
}

void tst_BuildRun::parse_data()
{
    QTest::addColumn<QString>("line");
    QTest::addColumn<QString>("file");
    QTest::addColumn<int>("lineNumber");
    QTest::addColumn<int>("column");
    QTest::newRow("absolute") << "/abs/x.c:12:5: error: boom"
                              << "/abs/x.c" << 12 << 5;
    QTest::newRow("offset") << "line-first 12 in /abs/y.c"
                            << "/abs/y.c" << 11 << 0;
    QTest::newRow("project file by name") << "main.c:3:1: warning"
                                          << "DIR/src/main.c" << 3 << 1;
    QTest::newRow("relative to the project") << "src/led.h:7:2: note"
                                             << "DIR/src/led.h" << 7 << 2;
    QTest::newRow("only in the output directory") << "gen.c:1:1: error"
                                                  << "DIR/Debug/gen.c" << 1 << 1;
    QTest::newRow("blanks around the name") << "  \tmain.c :4:4: x"
                                            << "DIR/src/main.c" << 4 << 4;
    QTest::newRow("no such file") << "missing.c:1:1: error"
                                  << "" << 0 << 0;
    QTest::newRow("number too large") << "main.c:99999999999:1: x"
                                      << "" << 0 << 0;
    QTest::newRow("no message") << "make: *** [all] Error 1"
                                << "" << 0 << 0;
}

void tst_BuildRun::parse()
{
    QFETCH(QString, line);
    QFETCH(QString, file);
    QFETCH(int, lineNumber);
    QFETCH(int, column);
    auto project = loadDemo();
    QVERIFY(project);
    BuildMessageParser parser;
    MessageFormat gcc{QStringLiteral("^([^:]+):([0-9]+):([0-9]+): (.*)$"),
                      {{QStringLiteral("FILENAME"), 1, 0},
                       {QStringLiteral("LINE"), 2, 0},
                       {QStringLiteral("COLUMN"), 3, 0}}};
    MessageFormat other{QStringLiteral("^line-first ([0-9]+) in (.*)$"),
                        {{QStringLiteral("LINE"), 1, -1}, {QStringLiteral("FILENAME"), 2, 0}}};
    parser.setFormats({gcc, other, gcc, {QString(), {}}});
    QCOMPARE(parser.formatCount(), 2);
    const QString dir = m_dir->path();
    QStringList files;
    for (int i = 0; i < project->fileCount(); ++i)
        files.append(project->filePathAt(i));
    const MessageFileResolver finder(files, dir, dir + QStringLiteral("/Debug"));
    const auto resolver = [&finder](const QString &name) { return finder.resolve(name); };
    BuildMessageParser::Position position;
    const bool parsed = parser.parse(line, resolver, position);
    QCOMPARE(parsed, !file.isEmpty());
    if (parsed) {
        QCOMPARE(position.file, QString(file).replace(QLatin1String("DIR"), dir));
        QCOMPARE(position.line, lineNumber);
        QCOMPARE(position.column, column);
    }
}

void tst_BuildRun::run_data()
{
    QTest::addColumn<QByteArray>("script");
    QTest::addColumn<bool>("succeeds");
    QTest::addColumn<QStringList>("expected"); // lines after the run's own start
    QTest::newRow("success with a link on stdout and stderr")
        << QByteArray("echo \"main.c:2:3: warning: w\"\necho \"src/led.h:1:1: error: <e>\" >&2\n"
                      "printf 'partial'\n")
        << true
        << QStringList{"link: DIR/src/main.c:2:3: main.c:2:3: warning: w",
                       "errorLink: DIR/src/led.h:1:1: src/led.h:1:1: error: <e>",
                       "message: partial",
                       "success: Compiled successfully.\n"};
    QTest::newRow("up to date") << QByteArray("echo \"make: Nothing to be done for 'Debug'.\"\n")
                                << true
                                << QStringList{"message: Already compiled, target is up to date.",
                                               "success: Compiled successfully.\n"};
    QTest::newRow("up to date, make started as make.exe")
        << QByteArray("echo \"make.exe: Nothing to be done for 'Debug'.\"\n") << true
        << QStringList{"message: Already compiled, target is up to date.",
                       "success: Compiled successfully.\n"};
    QTest::newRow("matching line of a missing file")
        << QByteArray("echo \"nowhere.c:1:1: x\"\necho\necho >&2\nexit 2\n") << false
        << QStringList{"error: nowhere.c:1:1: x", "message: Error code 2\n"};
    QTest::newRow("crash") << QByteArray("kill -SEGV $$\n") << false
                           << QStringList{
                                  "message: Process seems to be crashed: Process crashed\n"};
    QTest::newRow("arguments") << QByteArray("echo \"$@\"\n") << true
                               << QStringList{"message: --makefile=Debug/Makefile Debug",
                                              "success: Compiled successfully.\n"};
    QTest::newRow("arguments of a parallel build")
        << QByteArray("echo \"$@\"\n") << true
        << QStringList{"message: -j3 --output-sync=target --makefile=Debug/Makefile Debug",
                       "success: Compiled successfully.\n"};
    // A tool that reports its failure and ends with 0 leaves make nothing to notice.
    QTest::newRow("success without the firmware")
        << QByteArray("echo \"error: cannot write\"\nrm -f Debug/Debug.hex\n") << false
        << QStringList{"message: error: cannot write",
                       "error: The build did not write DIR/Debug/Debug.hex."};
}

void tst_BuildRun::run()
{
    QFETCH(QByteArray, script);
    QFETCH(bool, succeeds);
    QFETCH(QStringList, expected);
    // Like make, the stand-in makes each rule's target, inputs before what is made from them.
    writeMake(
        "for t in $(sed -n 's/^\\([^\\t#=]*\\):\\t.*/\\1/p' Debug/Makefile | tac); do\n"
        "  case $t in all|clean|Debug) ;; *) mkdir -p \"$(dirname \"$t\")\"; touch \"$t\";; esac\n"
        "done\n"
        + script);
    if (QByteArray(QTest::currentDataTag()).contains("parallel"))
        m_services.settingsStore().settings().setValue(QStringLiteral("buildJobs"), 3);
    auto project = loadDemo();
    QVERIFY(project);
    m_services.lines.clear();
    QCOMPARE(project->compile(), succeeds);
    QVERIFY(!project->isBuilding());
    const int start = m_services.lines.lastIndexOf(QStringLiteral("clear")) + 1;
    QStringList lines = m_services.lines.mid(start);
    lines.removeAll(QStringLiteral("saveEditor: ") + m_dir->filePath("src/main.c") + " 0");
    for (QString &line : lines)
        line.replace(m_dir->path(), QStringLiteral("DIR"));
    lines = lines.filter(QRegularExpression(QStringLiteral("^(?!saveEditor)")));
    QCOMPARE(lines, expected);
    QVERIFY(QFile::exists(m_dir->filePath(QStringLiteral("Debug/Makefile"))));
}

void tst_BuildRun::abortStopsEverythingMakeStarted()
{
    const QString pidFile = m_tools.filePath(QStringLiteral("child.pid"));
    writeMake(
        QStringLiteral("sleep 300 &\necho $! > '%1'\necho started\nwait\n").arg(pidFile).toUtf8());
    auto project = loadDemo();
    QVERIFY(project);
    QTimer poll;
    connect(&poll, &QTimer::timeout, [&] {
        if (m_services.lines.contains(QStringLiteral("message: started")))
            project->abortBuild();
    });
    poll.start(20);
    QElapsedTimer clock;
    clock.start();
    QVERIFY(!project->compile());
    QVERIFY(clock.elapsed() < 20000);
    QVERIFY(m_services.lines.contains(QStringLiteral("message: Build aborted by user\n")));
    QVERIFY(m_services.lines.filter(QStringLiteral("Error code")).isEmpty());
    QFile file(pidFile);
    QVERIFY(file.open(QIODevice::ReadOnly));
    const pid_t child = pid_t(file.readAll().trimmed().toLongLong());
    QVERIFY(child > 0);
    QTRY_VERIFY(::kill(child, 0) != 0); // the compiler make started has gone too
}

void tst_BuildRun::prepareChecks()
{
    writeMake("exit 0\n");
    QFile file(m_dir->filePath(QStringLiteral("demo.dyxp")));
    QVERIFY(file.open(QIODevice::ReadOnly));
    QByteArray text = file.readAll();
    file.close();
    text.replace("FAMILY=\"F1\" TYPE=\"A\"", "FAMILY=\"\" TYPE=\"\"");
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(text);
    file.close();
    auto project = loadDemo();
    QVERIFY(project);
    QVERIFY(!project->compile());
    QCOMPARE(m_services.lines.mid(m_services.lines.lastIndexOf(QStringLiteral("clear")) + 1)
                 .filter(QStringLiteral("error")),
             QStringList({"error: No controller family defined.",
                          "error: No controller defined.",
                          "error: Compilation failed. Check the Project Settings."}));

    QFile::remove(m_tools.filePath(QStringLiteral("make.exe")));
    project->setActiveConfiguration(1);
    m_services.lines.clear();
    QVERIFY(!project->compile());
    QVERIFY(m_services.lines.last().startsWith(
        QStringLiteral("message: make.exe does not exist in path '")));
}

// Error files lie where make runs, in the project: they are read from there, and a file of
// the same name where the program was started is left alone.
void tst_BuildRun::errorFilesAreTheProjects()
{
    QTemporaryDir elsewhere;
    QVERIFY(QDir(elsewhere.path()).mkpath(QStringLiteral("Debug")));
    QFile bystander(elsewhere.filePath(QStringLiteral("Debug/image.err")));
    QVERIFY(bystander.open(QIODevice::WriteOnly));
    bystander.close();
    writeMake("echo 'src/main.c:3:1: error: from the error file' > Debug/image.err\n"
              "echo 'unmatched' >> Debug/image.err\nexit 1\n");
    auto project = loadDemo();
    QVERIFY(project);
    const QString started = QDir::currentPath();
    QDir::setCurrent(elsewhere.path());
    const bool built = project->compile();
    QDir::setCurrent(started);
    QVERIFY(!built);
    QVERIFY(bystander.exists());
    const QStringList lines = m_services.lines.mid(m_services.lines.lastIndexOf("clear") + 1)
                                  .filter(QRegularExpression(QStringLiteral("^(?!saveEditor)")));
    QCOMPARE(lines,
             QStringList({QStringLiteral("errorLink: %1:3:1: src/main.c:3:1: error: from "
                                         "the error file")
                              .arg(m_dir->filePath(QStringLiteral("src/main.c"))),
                          QStringLiteral("message: unmatched"),
                          QStringLiteral("message: Error code 1\n")}));
}

QTEST_MAIN(tst_BuildRun)
#include "tst_buildrun.moc"
