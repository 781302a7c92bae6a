// The build run on its own: make started on a configuration's Makefile, its lines turned into
// the output window's messages and links, its failures, crashes and aborts.
#include "build/buildmessageparser.h"
#include "build/buildproject.h"
#include "build/buildrun.h"
#include "build/makefilewriter.h"
#include "build/messagefileresolver.h"
#include "common/datarows.h"
#include "common/fakemainservices.h"
#include "common/testfiles.h"
#include "core/xmldocumentio.h"
#include "project/projectdocument.h"
#include "toolchain/buildconfig.h"
#include "toolchain/buildconfiglist.h"

#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

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
    void errorFilesAreTheProjects();
    void floodsAreCut_data();
    void floodsAreCut();
    void toolsFoundElsewhereAreNamed_data();
    void toolsFoundElsewhereAreNamed();
    void pathLeadsNowhereInTheProject();
    void toolsSpeakEnglish();

private:
    void writeMake(const QByteArray &script);
    // The demo project's first configuration with its Makefile written, and its files.
    bool loadDemo();
    bool build(BuildRun &run);

    FakeMainServices m_services;
    std::optional<ProjectContents> m_demo;
    QStringList m_files;
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
    // Where the system's cc, ld and as are, so that the PATH finds the compiler's own.
    m_catalogue->find(QStringLiteral("Test CC"))->setConfigured(true, QStringLiteral("/usr/bin"));
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
    const QString make = m_tools.filePath(QStringLiteral("make.exe"));
    QVERIFY(writeFile(make, "#!/bin/sh\n" + script));
    QFile::setPermissions(make, QFile::permissions(make) | QFileDevice::ExeOwner);
}

bool tst_BuildRun::loadDemo()
{
    const QString path = m_dir->filePath(QStringLiteral("demo.dyxp"));
    const std::optional<QDomDocument> document = XmlDocumentIo::load(path, nullptr);
    m_demo = document ? ProjectDocument::read(*document, path, &m_services, m_catalogue.get())
                      : std::nullopt;
    if (!m_demo)
        return false;
    m_files.clear();
    for (const ProjectRecord::File &file : m_demo->record.files)
        m_files.append(m_dir->filePath(file.path));
    BuildProject &configuration = *m_demo->configurations.front();
    configuration.addFiles(m_files, true);
    configuration.setProjectDirectory(m_dir->path());
    return MakefileWriter(configuration).write();
}

bool tst_BuildRun::build(BuildRun &run)
{
    BuildRun::Request request;
    request.configuration = m_demo->configurations.front().get();
    request.goal = request.configuration->targetName();
    request.projectFiles = m_files;
    request.hasSourceGroup = true;
    request.jobs = m_services.settingsStore().buildJobs();
    request.toolsDirectory = m_services.settingsStore().toolsDirectory();
    return run.run(request);
}

void tst_BuildRun::parse_data()
{
    QTest::addColumn<QString>("line");
    QTest::addColumn<QString>("file");
    QTest::addColumn<int>("lineNumber");
    QTest::addColumn<int>("column");
    addRow("absolute", "/abs/x.c:12:5: error: boom", "/abs/x.c", 12, 5);
    addRow("offset", "line-first 12 in /abs/y.c", "/abs/y.c", 11, 0);
    addRow("project file by name", "main.c:3:1: warning", "DIR/src/main.c", 3, 1);
    addRow("relative to the project", "src/led.h:7:2: note", "DIR/src/led.h", 7, 2);
    addRow("only in the output directory", "gen.c:1:1: error", "DIR/Debug/gen.c", 1, 1);
    addRow("blanks around the name", "  \tmain.c :4:4: x", "DIR/src/main.c", 4, 4);
    addRow("no such file", "missing.c:1:1: error", "", 0, 0);
    addRow("number too large", "main.c:99999999999:1: x", "", 0, 0);
    addRow("no message", "make: *** [all] Error 1", "", 0, 0);
}

void tst_BuildRun::parse()
{
    QFETCH(QString, line);
    QFETCH(QString, file);
    QFETCH(int, lineNumber);
    QFETCH(int, column);
    QVERIFY(loadDemo());
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
    const MessageFileResolver finder(m_files, dir, dir + QStringLiteral("/Debug"));
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
    QTest::addColumn<QStringList>("expected"); // the output lines
    QTest::newRow("success with a link on stdout and stderr")
        << QByteArray("echo \"main.c:2:3: warning: w\"\necho \"src/led.h:1:1: error: <e>\" >&2\n"
                      "printf 'partial'\n")
        << true
        << QStringList{"link: DIR/src/main.c:2:3: main.c:2:3: warning: w",
                       "errorLink: DIR/src/led.h:1:1: src/led.h:1:1: error: <e>",
                       "message: partial",
                       "message: Build finished: 1 error, 1 warning (T s)"};
    // As gcc writes them with -fdiagnostics-color=always.
    QTest::newRow("coloured messages")
        << QByteArray("printf '\\033[01m\\033[Kmain.c:2:3:\\033[m\\033[K "
                      "\\033[01;31m\\033[Kerror: \\033[m\\033[Kx\\a\\n' >&2\n")
        << true
        << QStringList{"errorLink: DIR/src/main.c:2:3: main.c:2:3: error: x",
                       "message: Build finished: 1 error, 0 warnings (T s)"};
    QTest::newRow("up to date") << QByteArray("echo \"make: Nothing to be done for 'Debug'.\"\n")
                                << true
                                << QStringList{
                                       "message: Already compiled, target is up to date.",
                                       "message: Build finished: 0 errors, 0 warnings (T s)"};
    QTest::newRow("up to date, make started as make.exe")
        << QByteArray("echo \"make.exe: Nothing to be done for 'Debug'.\"\n") << true
        << QStringList{"message: Already compiled, target is up to date.",
                       "message: Build finished: 0 errors, 0 warnings (T s)"};
    // A linker's messages name no file; on the error channel too they count.
    QTest::newRow("messages without a file")
        << QByteArray("echo \"ld-Warning-undefined x\" >&2\necho \"ld-Error-too big\" >&2\n")
        << true
        << QStringList{"error: ld-Warning-undefined x",
                       "error: ld-Error-too big",
                       "message: Build finished: 1 error, 1 warning (T s)"};
    QTest::newRow("matching line of a missing file")
        << QByteArray("echo \"nowhere.c:1:1: x\"\necho\necho >&2\nexit 2\n") << false
        << QStringList{"error: nowhere.c:1:1: x",
                       "message: Error code 2\n",
                       "message: Build failed: 1 error, 0 warnings (T s)"};
    QTest::newRow("crash") << QByteArray("kill -SEGV $$\n") << false
                           << QStringList{"message: Process seems to be crashed: Process crashed\n",
                                          "message: Build failed: 0 errors, 0 warnings (T s)"};
    QTest::newRow("arguments") << QByteArray("echo \"$@\"\n") << true
                               << QStringList{
                                      "message: --makefile=Debug/Makefile Debug",
                                      "message: Build finished: 0 errors, 0 warnings (T s)"};
    QTest::newRow("arguments of a parallel build")
        << QByteArray("echo \"$@\"\n") << true
        << QStringList{"message: -j3 --output-sync=target --makefile=Debug/Makefile Debug",
                       "message: Build finished: 0 errors, 0 warnings (T s)"};
    // Nothing is typed into a build: a tool that reads its input finds its end at once.
    QTest::newRow("a tool reading its input")
        << QByteArray("if timeout 5 cat >/dev/null; then echo ended; else echo waited; fi\n")
        << true
        << QStringList{"message: ended", "message: Build finished: 0 errors, 0 warnings (T s)"};
    QTest::newRow("no make") << QByteArray() << false
                             << QStringList{"message: make.exe does not exist in path "
                                            "'TOOLS/make.exe'"};
    // A tool that reports its failure and ends with 0 leaves make nothing to notice.
    QTest::newRow("success without the firmware")
        << QByteArray("echo \"error: cannot write\"\nrm -f Debug/Debug.hex\n") << false
        << QStringList{"message: error: cannot write",
                       "error: The build did not write DIR/Debug/Debug.hex.",
                       "message: Build failed: 0 errors, 0 warnings (T s)"};
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
    if (script.isEmpty())
        QFile::remove(m_tools.filePath(QStringLiteral("make.exe")));
    QVERIFY(loadDemo());
    m_services.lines.clear();
    BuildRun run(&m_services);
    QCOMPARE(build(run), succeeds);
    QVERIFY(!run.isRunning());
    QStringList lines = m_services.lines;
    for (QString &line : lines)
        line.replace(m_dir->path(), QStringLiteral("DIR"))
            .replace(m_tools.path(), "TOOLS")
            .replace(QRegularExpression(QStringLiteral("\\([0-9]+\\.[0-9]+ s\\)$")),
                     QStringLiteral("(T s)"));
    QCOMPARE(lines, expected);
}

// Error files lie where make runs, in the project: they are read from there, and a file of
// the same name where the program was started is left alone.
void tst_BuildRun::errorFilesAreTheProjects()
{
    QTemporaryDir elsewhere;
    QVERIFY(QDir(elsewhere.path()).mkpath(QStringLiteral("Debug")));
    const QString bystander = elsewhere.filePath(QStringLiteral("Debug/image.err"));
    QVERIFY(writeFile(bystander));
    writeMake("echo 'src/main.c:3:1: error: from the error file' > Debug/image.err\n"
              "echo 'unmatched' >> Debug/image.err\nexit 1\n");
    QVERIFY(loadDemo());
    BuildRun run(&m_services);
    const QString started = QDir::currentPath();
    QDir::setCurrent(elsewhere.path());
    const bool built = build(run);
    QDir::setCurrent(started);
    QVERIFY(!built);
    QVERIFY(QFileInfo::exists(bystander));
    QCOMPARE(m_services.lines,
             QStringList({QStringLiteral("errorLink: %1:3:1: src/main.c:3:1: error: from "
                                         "the error file")
                              .arg(m_dir->filePath(QStringLiteral("src/main.c"))),
                          QStringLiteral("message: unmatched"),
                          QStringLiteral("message: Error code 1\n"),
                          QStringLiteral("message: Build failed: 1 error, 0 warnings (%1 s)")
                              .arg(m_services.lines.last()
                                       .section(QLatin1Char('('), 1)
                                       .section(QLatin1Char(' '), 0, 0))}));
    // What make leaves there that is no file of messages, or one too large, is said: neither
    // waited on nor read to its end.
    for (const char *plant : {"mkfifo Debug/image.err\n", "truncate -s 17M Debug/image.err\n"}) {
        writeMake(QByteArray(plant) + "exit 1\n");
        m_services.lines.clear();
        QVERIFY(!build(run));
        QVERIFY2(m_services.lines.value(0).startsWith(
                     QStringLiteral("error: Cannot read the messages in %1: it ")
                         .arg(m_dir->filePath(QStringLiteral("Debug/image.err")))),
                 qPrintable(m_services.lines.join(QLatin1Char('\n'))));
    }
}

void tst_BuildRun::floodsAreCut_data()
{
    QTest::addColumn<QByteArray>("script");
    QTest::addColumn<int>("shown"); // lines shown before the run says it cuts the rest
    QTest::addColumn<QString>("first");
    addRow("lines", QByteArray("yes | head -n 1000002\n"), BuildRun::maxShownLines, "y");
    // Shown cut; the rest of it counts all the same.
    QTest::newRow("no line end") << QByteArray("head -c 70000000 /dev/zero | tr '\\0' x\n") << 1
                                 << QString(BuildRun::maxShownLineChars, QLatin1Char('x'))
                                        + QStringLiteral(" [%1 more not shown]")
                                              .arg(BuildRun::maxShownBytes
                                                   - BuildRun::maxShownLineChars);
}

// A tool that floods: the run shows as much as the output window keeps, says once that it cuts
// the rest, and ends as make does.
void tst_BuildRun::floodsAreCut()
{
    QFETCH(QByteArray, script);
    QFETCH(int, shown);
    QFETCH(QString, first);
    writeMake(script + "echo after\nexit 1\n");
    QVERIFY(loadDemo());
    m_services.lines.clear();
    BuildRun run(&m_services);
    QVERIFY(!build(run));
    const QStringList &lines = m_services.lines;
    QCOMPARE(lines.size(), shown + 3);
    QCOMPARE(lines.at(shown),
             QStringLiteral("error: The build writes more than the output window keeps (1000000 "
                            "lines or 64 MiB); the rest of its output is not shown."));
    QCOMPARE(lines.at(shown + 1), QStringLiteral("message: Error code 1\n"));
    QCOMPARE(lines.at(0), QStringLiteral("message: ") + first);
}

QTEST_MAIN(tst_BuildRun)
void tst_BuildRun::toolsFoundElsewhereAreNamed_data()
{
    QTest::addColumn<QStringList>("inDirectory"); // executables; "-" for no compiler directory
    QTest::addColumn<QStringList>("onPath"); // "=" for the PATH reaching the directory by a link
    QTest::addColumn<QStringList>("expected");
    const QStringList all{"cc", "ld", "hx", "as"};
    QTest::newRow("every tool in the compiler directory") << all << QStringList() << QStringList();
    QTest::newRow("the PATH reaches the directory through a link")
        << all << QStringList{"="} << QStringList();
    QTest::newRow("a file on the PATH that cannot run")
        << all << QStringList{"cc!"} << QStringList();
    QTest::newRow("a tool only on the PATH")
        << QStringList{"cc", "ld", "as"} << QStringList{"hx"}
        << QStringList{"hx is not in the compiler directory DIR: PATH/hx, found on the PATH, runs "
                       "instead."};
    QTest::newRow("tools of the same name first on the PATH")
        << all << QStringList{"as", "cc"}
        << QStringList{"PATH/cc, found first on the PATH, runs instead of DIR/cc of the compiler "
                       "directory.",
                       "PATH/as, found first on the PATH, runs instead of DIR/as of the compiler "
                       "directory."};
    QTest::newRow("no compiler directory")
        << QStringList{"-"} << all
        << QStringList{"The compiler directory DIR does not exist: the compiler's tools are "
                       "looked for on the PATH."};
}

// The Makefile names the compiler's tools as they are and the compiler directory comes last
// on the PATH: a build that runs tools other than the compiler directory's says so first.
void tst_BuildRun::toolsFoundElsewhereAreNamed()
{
    QFETCH(QStringList, inDirectory);
    QFETCH(QStringList, onPath);
    QFETCH(QStringList, expected);
    QTemporaryDir root;
    const QDir dir(root.filePath(QStringLiteral("compiler/bin")));
    const QDir path(root.filePath(QStringLiteral("elsewhere")));
    const auto place = [](const QDir &where, const QStringList &names) {
        where.mkpath(QStringLiteral("."));
        for (QString name : names) {
            const bool runs = !name.endsWith(QLatin1Char('!'));
            name.remove(QLatin1Char('!'));
            QVERIFY(writeFile(where.filePath(name), "#!/bin/sh\n"));
            if (runs)
                QFile::setPermissions(where.filePath(name), QFile::ReadOwner | QFile::ExeOwner);
        }
    };
    if (inDirectory != QStringList{"-"})
        place(dir, inDirectory);
    if (onPath == QStringList{"="})
        QVERIFY(QFile::link(dir.path(), path.path()));
    else
        place(path, onPath);
    BuildConfig &compiler = *m_catalogue->find(QStringLiteral("Test CC"));
    compiler.setConfigured(true, dir.path());
    const auto restore = qScopeGuard(
        [&] { compiler.setConfigured(true, QStringLiteral("/usr/bin")); });
    QProcessEnvironment environment;
    environment.insert(QStringLiteral("PATH"), path.path() + QDir::listSeparator() + dir.path());
    QStringList lines = BuildRun::toolsFoundElsewhere(compiler, environment);
    for (QString &line : lines)
        line.replace(dir.path(), QStringLiteral("DIR")).replace(path.path(), QStringLiteral("PATH"));
    QCOMPARE(lines, expected);

    // A build says so before make's first line. (Builds take the system's PATH, which finds
    // the system's cc, ld and as before any other directory.)
    if (inDirectory != QStringList{"-"})
        return;
    writeMake("echo made\n");
    QVERIFY(loadDemo());
    m_services.lines.clear();
    BuildRun run(&m_services);
    build(run);
    QVERIFY(m_services.lines.size() > 1);
    QCOMPARE(QString(m_services.lines.at(0)).replace(dir.path(), QStringLiteral("DIR")),
             QStringLiteral("message: ") + expected.first());
    QCOMPARE(m_services.lines.at(1), QStringLiteral("message: made"));
}

// make runs in the project's folder: where there is no PATH, the compiler directory is all of
// it; empty and relative entries, which would lead there, go; a compiler directory without its
// full path, which would lead there too, builds nothing.
void tst_BuildRun::pathLeadsNowhereInTheProject()
{
    const QByteArray path = qgetenv("PATH");
    qunsetenv("PATH");
    const auto restore = qScopeGuard([&] { qputenv("PATH", path); });
    writeMake("echo \"$PATH\"\n");
    QVERIFY(loadDemo());
    m_services.lines.clear();
    BuildRun run(&m_services);
    build(run); // the stand-in writes no firmware
    QCOMPARE(m_services.lines.value(0), QStringLiteral("message: /usr/bin"));
    qputenv("PATH", ":/opt/a::.:bin:/opt/b:");
    m_services.lines.clear();
    build(run);
    QCOMPARE(m_services.lines.value(0), QStringLiteral("message: /opt/a:/opt/b:/usr/bin"));
    qunsetenv("PATH");

    BuildConfig &compiler = *m_catalogue->find(QStringLiteral("Test CC"));
    compiler.setConfigured(true, QStringLiteral("bin"));
    const auto back = qScopeGuard([&] { compiler.setConfigured(true, QStringLiteral("/usr/bin")); });
    m_services.lines.clear();
    QVERIFY(!build(run));
    QCOMPARE(m_services.lines,
             QStringList{"error: The compiler directory bin is not a full path: set it in Config > "
                         "Compilers Configuration."});
}

// What make and the compilers say is read ("Nothing to be done", "error:"): they say it in
// English whatever the desktop speaks, also for a compiler whose configuration does not ask
// so; the desktop's characters stay.
void tst_BuildRun::toolsSpeakEnglish()
{
    const QByteArray all = qgetenv("LC_ALL");
    const QByteArray language = qgetenv("LANGUAGE");
    qputenv("LC_ALL", "de_DE.UTF-8");
    qputenv("LANGUAGE", "de");
    const auto restore = qScopeGuard([&] {
        all.isNull() ? qunsetenv("LC_ALL") : qputenv("LC_ALL", all);
        language.isNull() ? qunsetenv("LANGUAGE") : qputenv("LANGUAGE", language);
    });
    writeMake("echo \"$LC_ALL|$LC_CTYPE|$LC_MESSAGES\"\n");
    QVERIFY(loadDemo());
    m_services.lines.clear();
    BuildRun run(&m_services);
    build(run);
    QCOMPARE(m_services.lines.value(0), QStringLiteral("message: |de_DE.UTF-8|C"));
}

#include "tst_buildrun.moc"
