// Runs the real program, as a user or a script would.
#include "common/datarows.h"
#include "common/testfiles.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QSettings>
#include <QTemporaryDir>
#include <QtTest>

#include <csignal>
#include <sys/stat.h>

class tst_Startup : public QObject
{
    Q_OBJECT

private slots:
    void quitOptions_data();
    void quitOptions();
    void conventions_data();
    void conventions();
    void refusedInputs_data();
    void refusedInputs();
    void malformedControllerList();
    void hugeSettingsArrays();
    void translationsComeWithTheProgram();
    void crashInEventLoop();
    void projectOnCommandLine_data();
    void projectOnCommandLine();
    void demoBoardsBuild_data();
    void demoBoardsBuild();
    void awkwardFileNamesBuild();
    void linkerErrorsAreErrors();
    void killedProgramTakesItsBuildAlong_data();
    void killedProgramTakesItsBuildAlong();
    void laterStartsHandOverTheirFiles();
    void endedBySystem_data();
    void endedBySystem();

private:
    struct Run
    {
        int exitCode = -1;
        QString out;
        QString err;
    };
    // The program run with its settings and working folder in home.
    Run run(const QTemporaryDir &home,
            const QStringList &arguments,
            const QStringList &extraEnvironment = {});
    // The program set up to start so, with "NAME=value" entries added to its environment.
    static void prepare(QProcess &process,
                        const QTemporaryDir &home,
                        const QStringList &extraEnvironment = {});
};

tst_Startup::Run tst_Startup::run(const QTemporaryDir &home,
                                  const QStringList &arguments,
                                  const QStringList &extraEnvironment)
{
    QProcess process;
    prepare(process, home, extraEnvironment);
    process.start(QStringLiteral(DYX_PROGRAM), arguments);
    Run result;
    if (!process.waitForFinished(60000)) {
        process.kill();
        process.waitForFinished();
        return result;
    }
    result.exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -2;
    result.out = QString::fromLocal8Bit(process.readAllStandardOutput());
    result.err = QString::fromLocal8Bit(process.readAllStandardError());
    return result;
}

void tst_Startup::prepare(QProcess &process,
                          const QTemporaryDir &home,
                          const QStringList &extraEnvironment)
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("XDG_CONFIG_HOME"), home.path());
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    environment.insert(QStringLiteral("HOME"), home.path());
    for (const QString &entry : extraEnvironment)
        environment.insert(entry.section(QLatin1Char('='), 0, 0),
                           entry.section(QLatin1Char('='), 1));
    process.setProcessEnvironment(environment);
    process.setWorkingDirectory(home.path());
}

static QString settingsFile(const QString &configHome)
{
    return configHome + QStringLiteral("/Morvellan Electronics/DYX Studio.conf");
}

void tst_Startup::quitOptions_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::newRow("--quit") << QStringList{"--quit"};
    QTest::newRow("capitals") << QStringList{"--QUIT"};
    QTest::newRow("short") << QStringList{"-q", "--advanced", "unknown-option"};
}

void tst_Startup::quitOptions()
{
    QFETCH(QStringList, arguments);
    QTemporaryDir home;
    const Run result = run(home, arguments);
    QCOMPARE(result.exitCode, 0);
    // The directories read while starting stay at their defaults, stored as no value: a copy
    // of these settings serves the program wherever it is installed.
    QSettings settings(settingsFile(home.path()), QSettings::IniFormat);
    for (const char *key : {"1/Compilers", "1/Simulator", "1/Syntax", "1/Tools", "1/Projects"})
        QVERIFY2(!settings.contains(QLatin1String(key)), key);
    // The window never showed, so no session was saved.
    QVERIFY(!settings.contains(QStringLiteral("1/geometry")));
}

void tst_Startup::conventions_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("out"); // what standard output holds
    QTest::addColumn<QString>("err"); // what standard error holds
    addRow("help", QStringList{"--help"}, 0, "Usage: dyxstudio", "");
    QTest::newRow("short help, before anything else")
        << QStringList{"--scan_compilers", "-h"} << 0 << "--print-output"
        << "";
    addRow("version", QStringList{"--version"}, 0, "DYX Studio 1.0.0\n", "");
    QTest::newRow("unknown option named") << QStringList{"--frobnicate", "--quit"} << 0 << ""
                                          << "unknown option '--frobnicate'";
}

// The habits of command-line programs: help, version, unknown options, failures in scripts.
void tst_Startup::conventions()
{
    QFETCH(QStringList, arguments);
    QFETCH(int, exitCode);
    QFETCH(QString, out);
    QFETCH(QString, err);
    QTemporaryDir home;
    const Run result = run(home, arguments);
    QCOMPARE(result.exitCode, exitCode);
    QVERIFY2(result.out.contains(out), qPrintable(result.out));
    QVERIFY2(result.err.contains(err), qPrintable(result.err));
    if (arguments.contains(QStringLiteral("--version")) || arguments.contains(QStringLiteral("-h"))
        || arguments.contains(QStringLiteral("--help"))) {
        // Answered before anything else: no settings were made.
        QVERIFY(!QFileInfo::exists(settingsFile(home.path())));
    }
}

void tst_Startup::refusedInputs_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QString>("message");
    addRow("a FIFO", "fifo", "it is not a regular file");
    addRow("a link to /dev/zero", "zero", "it is not a regular file");
    addRow("larger than a project can be", "huge", "it is larger than");
    addRow("nested 100,000 levels deep", "deep", "nested deeper than 256 levels");
}

// Files that would block, never end or take the parser for ever are refused with a message,
// and the script that asked fails.
void tst_Startup::refusedInputs()
{
    QFETCH(QString, kind);
    QFETCH(QString, message);
    QTemporaryDir home;
    const QString project = home.filePath(kind + QStringLiteral(".dyxp"));
    if (kind == QLatin1String("fifo")) {
        QCOMPARE(mkfifo(QFile::encodeName(project).constData(), 0600), 0);
    } else if (kind == QLatin1String("zero")) {
        QVERIFY(QFile::link(QStringLiteral("/dev/zero"), project));
    } else {
        QFile file(project);
        QVERIFY(file.open(QIODevice::WriteOnly));
        if (kind == QLatin1String("huge")) {
            QVERIFY(file.resize(17 * 1024 * 1024)); // sparse: no disk is spent on it
        } else {
            file.write(QByteArray("<PROJECT>").repeated(100000));
            file.write(QByteArray("</PROJECT>").repeated(100000));
        }
    }
    const Run result = run(home,
                           {QStringLiteral("--print-output"), project, QStringLiteral("--quit")});
    QCOMPARE(result.exitCode, 1);
    QVERIFY2(result.out.contains(message), qPrintable(result.out + result.err));
    QVERIFY2(result.err.contains(QStringLiteral("Cannot open project")), qPrintable(result.err));
}

void tst_Startup::malformedControllerList()
{
    QTemporaryDir home;
    QDir(home.path()).mkpath(QStringLiteral("lists"));
    QVERIFY(writeFile(home.filePath(QStringLiteral("lists/broken list.xml")),
                      "<SIMULATOR>\n  <FAMILY NAME=\"AVR\">\n</SIMULATOR>\n"));
    {
        QDir(home.path()).mkpath(QStringLiteral("Morvellan Electronics"));
        QSettings settings(settingsFile(home.path()), QSettings::IniFormat);
        settings.setValue(QStringLiteral("1/Simulator"), home.filePath(QStringLiteral("lists")));
    }
    const Run result = run(home, {QStringLiteral("--print-output"), QStringLiteral("--quit")});
    QCOMPARE(result.exitCode, 0);
    QVERIFY2(result.out.contains(QStringLiteral("Error opening broken list.xml: Opening and ending "
                                                "tag mismatch. at line 3, column 12\n")),
             qPrintable(result.out));
}

// A settings file that claims arrays of a hundred million entries (hand-edited or damaged)
// costs no more to read than one of a few thousand: the program starts and ends at once.
void tst_Startup::hugeSettingsArrays()
{
    QTemporaryDir home;
    {
        QDir(home.path()).mkpath(QStringLiteral("Morvellan Electronics"));
        QSettings settings(settingsFile(home.path()), QSettings::IniFormat);
        for (const char *array : {"compilers", "windows", "projects"})
            settings.setValue(QStringLiteral("1/%1/size").arg(QLatin1String(array)), 100000000);
    }
    const Run result = run(home, {QStringLiteral("--quit")});
    QCOMPARE(result.exitCode, 0);
}

// A translation file of one message: text of context given as translation.
static QByteArray translationFile(const QByteArray &context,
                                  const QByteArray &text,
                                  const QString &translation)
{
    quint32 hash = 0; // of the text, as the translator looks it up
    for (const char c : text) {
        hash = (hash << 4) + uchar(c);
        const quint32 high = hash & 0xf0000000;
        hash = (hash ^ (high >> 24)) & ~high;
    }
    QByteArray message;
    QDataStream out(&message, QIODevice::WriteOnly);
    out << quint8(3) << quint32(translation.size() * 2); // the translation, UTF-16
    for (const QChar c : translation)
        out << quint16(c.unicode());
    out << quint8(6) << quint32(text.size());
    out.writeRawData(text.constData(), int(text.size()));
    out << quint8(7) << quint32(context.size());
    out.writeRawData(context.constData(), int(context.size()));
    out << quint8(1); // its end
    QByteArray file = QByteArray::fromHex("3cb86418caef9c95cd211cbf60a1bddd");
    QDataStream blocks(&file, QIODevice::Append);
    blocks << quint8(0x42) << quint32(8) << std::max(hash, 1u) << quint32(0);
    blocks << quint8(0x69) << quint32(message.size());
    blocks.writeRawData(message.constData(), int(message.size()));
    return file;
}

// Translations come with the program, not from the folder it was started in: one that a
// downloaded project brought could make the program say anything, its question before
// options that run programs among it.
void tst_Startup::translationsComeWithTheProgram()
{
    QTemporaryDir home;
    QVERIFY(writeFile(home.filePath(QStringLiteral("SrcManager.qm")),
                      translationFile("CompilersDialog",
                                      "\nCompiler detection summary",
                                      QStringLiteral("Planted"))));
    const Run result = run(home, {"--scan_compilers", "--print-output", "--quit"});
    QVERIFY2(result.out.contains(QStringLiteral("Compiler detection summary"))
                 && !result.out.contains(QStringLiteral("Planted")),
             qPrintable(result.out));
}

void tst_Startup::crashInEventLoop()
{
    // The crash is planted: under the address sanitizer the program's own guard handles it, and
    // what it leaves behind on the way out is no leak.
    QTemporaryDir home;
    const auto crash = [&] {
        return run(home,
                   {},
                   {QStringLiteral("DYX_CRASH_IN_EVENT_LOOP=1"),
                    QStringLiteral("ASAN_OPTIONS=handle_segv=0:detect_leaks=0"),
                    QStringLiteral("DYX_AUTO_ANSWER=1")});
    };
    const Run result = crash();
    QCOMPARE(result.exitCode, 255);
    QVERIFY2(result.err.contains(QStringLiteral("Crash: Crashed, minidump created.")),
             qPrintable(result.err));
    const QString dump = home.filePath(QStringLiteral("minidump.dmp"));
    const QByteArray content = readFile(dump);
    QVERIFY(content.contains("Comment: Hello\n"));
    QVERIFY(content.contains("Signal: 11"));
    QVERIFY(content.contains("Memory map:"));

    // Where no dump file can be made there is nothing to tell of: a folder of its name, a link
    // to a file elsewhere (which stays as it was), a FIFO.
    const QString kept = home.filePath(QStringLiteral("kept.txt"));
    QVERIFY(QFile::remove(dump) && writeFile(kept, "the user's\n"));
    for (const char *planted : {"folder", "link", "fifo"}) {
        QDir(dump).removeRecursively();
        QFile::remove(dump);
        const QByteArray kind(planted);
        QVERIFY(kind == "folder" ? QDir().mkdir(dump)
                : kind == "link" ? QFile::link(kept, dump)
                                 : ::mkfifo(QFile::encodeName(dump), 0600) == 0);
        const Run silent = crash();
        QCOMPARE(silent.exitCode, 255);
        QVERIFY2(!silent.err.contains(QStringLiteral("Crash:")), qPrintable(kind + silent.err));
        QCOMPARE(readFile(kept), QByteArray("the user's\n"));
    }
}

void tst_Startup::projectOnCommandLine_data()
{
    QTest::addColumn<QString>("project");
    QTest::addColumn<QString>("error");
    addRow("demo, extension in capitals", "AVR Blinky/AVR Blinky.DYXP", "");
    addRow("missing", "nowhere/none.dyxp", "Cannot open project");
}

void tst_Startup::projectOnCommandLine()
{
    QFETCH(QString, project);
    QFETCH(QString, error);
    QTemporaryDir home;
    const QString devboards = QFileInfo(QStringLiteral(DYX_PROGRAM)).absolutePath()
                              + QStringLiteral("/../devboards/");
    const Run result = run(home,
                           {QStringLiteral("--print-output"),
                            devboards + project,
                            QStringLiteral("--quit")});
    // In a script, a project that does not open is a failure.
    QCOMPARE(result.exitCode, error.isEmpty() ? 0 : 1);
    if (error.isEmpty())
        QVERIFY2(!result.err.contains(QStringLiteral("Cannot open")), qPrintable(result.err));
    else
        QVERIFY2(result.err.contains(error), qPrintable(result.err));
}

void tst_Startup::demoBoardsBuild_data()
{
    QTest::addColumn<QString>("board");
    for (const char *board : {"AVR Blinky", "PIC16 Blinky", "8051 Blinky"})
        QTest::newRow(board) << board;
}

// The demonstration boards build with the real compilers, through the program's own build, from
// a first start that detects the compilers itself; Tidy and Clean leave the files beside the
// project alone.
void tst_Startup::demoBoardsBuild()
{
    QFETCH(QString, board);
    const QString firmware = QStringLiteral("Debug/Debug.hex");
    const bool isAvr = board.startsWith(QLatin1String("AVR"));
    // What the simulator debugs the firmware with; Tidy leaves it, Clean removes it.
    const QString debugInfo = isAvr ? QStringLiteral("/Debug/firmware.elf")
                              : board.startsWith(QLatin1String("PIC"))
                                  ? QStringLiteral("/Debug/Debug.cod")
                                  : QStringLiteral("/Debug/Debug.cdb");
    QTemporaryDir home;
    // A dot in a folder name is no suffix: nothing beside "first.last" may be touched.
    const QString target = home.filePath(QStringLiteral("first.last/") + board);
    QVERIFY(QDir().mkpath(target));
    QStringList bystanders;
    for (const char *suffix : {"map", "lst", "cod", "err", "o", "rel", "hex", "asm", "sym"}) {
        bystanders.append(home.filePath(QStringLiteral("first.") + QLatin1String(suffix)));
        QVERIFY(writeFile(bystanders.last()));
    }
    QVERIFY(copyTree(QStringLiteral(DYX_SOURCE_DIR "/data/devboards/") + board, target));
    const QString project = target + QLatin1Char('/') + board + QStringLiteral(".dyxp");

    // A first start, in a fresh home, finds the compilers itself.
    Run result = run(home,
                     {QStringLiteral("--print-output"),
                      project,
                      QStringLiteral("--build"),
                      QStringLiteral("--quit")});
    QVERIFY2(result.exitCode == 0, qPrintable(result.out + result.err));
    QVERIFY(result.out.contains(QStringLiteral("Compiled successfully.")));
    QVERIFY(QFileInfo(target + QLatin1Char('/') + firmware).size() > 0);
    // The Debug target's linker options reach the linker: it writes its map.
    QCOMPARE(QFileInfo::exists(target + QStringLiteral("/Debug/Debug.map")), !isAvr);

    const QByteArray debugged = readFile(target + debugInfo);
    QVERIFY(!debugged.isEmpty());

    // The real make, started as make.exe, on a tree with nothing to do.
    result = run(home,
                 {QStringLiteral("--print-output"),
                  project,
                  QStringLiteral("--build"),
                  QStringLiteral("--tidy"),
                  QStringLiteral("--quit")});
    QVERIFY2(result.out.contains(QStringLiteral("Already compiled, target is up to date.")),
             qPrintable(result.out + result.err));
    QVERIFY(!QFileInfo::exists(target + QStringLiteral("/Debug/Debug.map")));
    QVERIFY(QFileInfo::exists(target + QLatin1Char('/') + firmware));
    QCOMPARE(readFile(target + debugInfo), debugged);
    // After Tidy a source saved again builds: the link finds all it reads.
    QFile main(target + (board.startsWith(QLatin1String("PIC")) ? "/main.asm" : "/main.c"));
    QVERIFY(main.open(QIODevice::ReadWrite)
            && main.setFileTime(QDateTime::currentDateTime(), QFileDevice::FileModificationTime));
    main.close();
    result = run(home,
                 {QStringLiteral("--print-output"),
                  project,
                  QStringLiteral("--build"),
                  QStringLiteral("--quit")});
    QVERIFY2(result.out.contains(QStringLiteral("Compiled successfully.")),
             qPrintable(result.out + result.err));
    // With what the other sources gave it before Tidy.
    QCOMPARE(readFile(target + debugInfo).size(), debugged.size());
    result = run(home, {project, QStringLiteral("--clean"), QStringLiteral("--quit")});
    QCOMPARE(result.exitCode, 0);
    QVERIFY(!QFileInfo::exists(target + debugInfo));
    QVERIFY(!QFileInfo::exists(target + QLatin1Char('/') + firmware));
    for (const QString &bystander : std::as_const(bystanders))
        QVERIFY2(QFileInfo::exists(bystander), qPrintable(bystander));
    // Another configuration, chosen by name, builds into its own folder; a name the project
    // does not have fails the script.
    const QByteArray saved = readFile(project);
    result = run(home, {project, "--config=Release", "--build", "--quit"});
    QCOMPARE(result.exitCode, 0);
    QVERIFY(QFileInfo(target + QStringLiteral("/Release/Release.hex")).size() > 0);
    QVERIFY(!QFileInfo::exists(target + QLatin1Char('/') + firmware));
    result = run(home, {"--print-output", project, "--config=Relase", "--build", "--quit"});
    QCOMPARE(result.exitCode, 1);
    QVERIFY2((result.out + result.err).contains("No configuration named Relase."),
             qPrintable(result.out + result.err));
    QCOMPARE(readFile(project), saved);
    // Nor is another configuration built in its place.
    QVERIFY(!QFileInfo::exists(target + QLatin1Char('/') + firmware));
}

// Sources whose names make or the shell would read as syntax are built, and nothing in their
// names runs.
void tst_Startup::awkwardFileNamesBuild()
{
    QTemporaryDir home;
    const QString origin = QFileInfo(QStringLiteral(DYX_PROGRAM)).absolutePath()
                           + QStringLiteral("/../devboards/AVR Blinky/");
    QVERIFY(QDir(home.path()).mkpath(QStringLiteral("src dir")));
    for (const char *name : {"main.c", "led.h"})
        QVERIFY(QFile::copy(origin + QLatin1String(name), home.filePath(QLatin1String(name))));
    QVERIFY(QFile::copy(origin + QStringLiteral("led.c"),
                        home.filePath(QStringLiteral("src dir/led one.c"))));
    QVERIFY(writeFile(home.filePath(QStringLiteral("src dir/$(touch PWNED);x#1.c")),
                      "int weird(void) { return 1; }\n"));
    QVERIFY(replaceInFile(home.filePath(QStringLiteral("src dir/led one.c")),
                          "\"led.h\"",
                          "\"../led.h\""));
    const QString project = home.filePath(QStringLiteral("awkward.dyxp"));
    QVERIFY(
        writeFile(project,
                  "<PROJECT><FILES><FILE NAME=\"main.c\" GROUP=\"Source Files\"/>"
                  "<FILE NAME=\"src dir/led one.c\" GROUP=\"Source Files\"/>"
                  "<FILE NAME=\"src dir/$(touch PWNED);x#1.c\" GROUP=\"Source Files\"/>"
                  "</FILES><CONFIGURATION NAME=\"Debug\" COMPILER=\"GNU AVR GCC\" TARGET=\"Debug\">"
                  "<CONTROLLER FAMILY=\"AVR\" TYPE=\"ATmega328P\" CLOCK=\"8MHz\"/>"
                  "</CONFIGURATION></PROJECT>"));
    Run result = run(home,
                     {QStringLiteral("--scan_compilers"),
                      QStringLiteral("--print-output"),
                      project,
                      QStringLiteral("--build"),
                      QStringLiteral("--quit")});
    QVERIFY2(result.exitCode == 0, qPrintable(result.out + result.err));
    QVERIFY(QFileInfo(home.filePath(QStringLiteral("Debug/Debug.hex"))).size() > 0);
    // A second build finds everything up to date.
    result = run(home,
                 {QStringLiteral("--print-output"),
                  project,
                  QStringLiteral("--build"),
                  QStringLiteral("--quit")});
    QCOMPARE(result.exitCode, 0);
    QVERIFY2(!result.out.contains(QStringLiteral("avr-gcc -c")), qPrintable(result.out));
    QVERIFY(QDir(home.path()).entryList({QStringLiteral("PWNED")}, QDir::AllEntries).isEmpty());
    QVERIFY(QDir(home.filePath(QStringLiteral("src dir")))
                .entryList({QStringLiteral("PWNED")})
                .isEmpty());
}

void tst_Startup::killedProgramTakesItsBuildAlong_data()
{
    endedBySystem_data();
    QTest::newRow("SIGKILL") << int(SIGKILL);
}

// However the program ends during a build, make and the compiler it runs end with it, and what
// the compiler wrote of its object is no object: the next build builds.
void tst_Startup::killedProgramTakesItsBuildAlong()
{
    QFETCH(int, signal);
    QTemporaryDir home;
    const QString board = home.filePath(QStringLiteral("board"));
    QVERIFY(copyTree(QStringLiteral(DYX_SOURCE_DIR "/data/devboards/AVR Blinky"), board));
    // A compiler found on the PATH before the real one, that writes part of its object and
    // never finishes while the file "hang" is there.
    const QString bin = home.filePath(QStringLiteral("bin"));
    QVERIFY(QDir().mkpath(bin));
    const QString pidFile = home.filePath(QStringLiteral("compiler.pid"));
    const QString hang = home.filePath(QStringLiteral("hang"));
    const QString compiler = bin + QStringLiteral("/avr-gcc");
    QVERIFY(writeFile(hang));
    QVERIFY(writeFile(compiler,
                      // Two compile at once: each names itself whole, never half written.
                      QStringLiteral("#!/bin/sh\n[ -e '%2' ] || exec /usr/bin/avr-gcc \"$@\"\n"
                                     "for a; do [ \"$o\" = -o ] && out=$a; o=$a; done\n"
                                     "printf half > \"$out\"\n"
                                     "echo $$ > '%1.'$$ && mv '%1.'$$ '%1'\nexec sleep 300\n")
                          .arg(pidFile, hang)
                          .toUtf8()));
    QFile::setPermissions(compiler, QFile::permissions(compiler) | QFileDevice::ExeOwner);

    QProcess program;
    prepare(program, home, {QStringLiteral("PATH=") + bin + QLatin1Char(':') + qgetenv("PATH")});
    program.start(QStringLiteral(DYX_PROGRAM),
                  {QStringLiteral("--scan_compilers"),
                   board + QStringLiteral("/AVR Blinky.dyxp"),
                   QStringLiteral("--build"),
                   QStringLiteral("--quit")});
    QTRY_VERIFY_WITH_TIMEOUT(QFileInfo(pidFile).size() > 0, 30000);
    const qint64 sleeper = readFile(pidFile).trimmed().toLongLong();
    QVERIFY(!processEnded(sleeper));
    ::kill(pid_t(program.processId()), signal);
    QVERIFY(program.waitForFinished(10000));
    QTRY_VERIFY_WITH_TIMEOUT(processEnded(sleeper), 10000);
    QVERIFY(QFile::remove(hang));
    program.setArguments({board + QStringLiteral("/AVR Blinky.dyxp"),
                          QStringLiteral("--print-output"),
                          QStringLiteral("--build"),
                          QStringLiteral("--quit")});
    program.start();
    QVERIFY(program.waitForFinished(30000));
    const QString out = QString::fromLocal8Bit(program.readAll());
    QVERIFY2(program.exitCode() == 0 && out.contains(QStringLiteral("Compiled successfully.")),
             qPrintable(out));
}

void tst_Startup::endedBySystem_data()
{
    QTest::addColumn<int>("signal");
    QTest::newRow("SIGTERM") << int(SIGTERM);
    QTest::newRow("SIGHUP") << int(SIGHUP);
    QTest::newRow("SIGINT") << int(SIGINT);
}

// The session or the system ending the window (or its terminal closing) is a quit with no
// question, even with a question open before the window is up: the session is kept, and the
// program ends well. The copies an earlier such end kept are named, or kept to be named at the
// next start.
void tst_Startup::endedBySystem()
{
    QFETCH(int, signal);
    QTemporaryDir home;
    const QString board = home.filePath(QStringLiteral("board"));
    QVERIFY(copyTree(QStringLiteral(DYX_SOURCE_DIR "/data/devboards/AVR Blinky"), board));
    const QString project = board + QStringLiteral("/AVR Blinky.dyxp");
    {
        QSettings settings(settingsFile(home.path()), QSettings::IniFormat);
        settings.setValue(QStringLiteral("1/keptCopies"),
                          QStringList{board + QStringLiteral("/main.c"),
                                      home.filePath(QStringLiteral("main copy.c"))});
    }
    QProcess program;
    prepare(program, home);
    program.setProcessChannelMode(QProcess::MergedChannels);
    program.start(QStringLiteral(DYX_PROGRAM), {QStringLiteral("--print-output"), project});
    // The project open, the question that no simulator is installed is next.
    QString out;
    for (QDeadlineTimer deadline(30000);
         !out.contains(QStringLiteral("no Cirrane installation")) && !deadline.hasExpired();) {
        program.waitForReadyRead(100);
        out += QString::fromLocal8Bit(program.readAll());
    }
    QVERIFY2(out.contains(QStringLiteral("no Cirrane installation")), qPrintable(out));
    ::kill(pid_t(program.processId()), signal);
    QVERIFY(program.waitForFinished(10000));
    QCOMPARE(program.exitStatus(), QProcess::NormalExit);
    QCOMPARE(program.exitCode(), 0);
    QSettings settings(settingsFile(home.path()), QSettings::IniFormat);
    QCOMPARE(settings.value(QStringLiteral("1/projects/1/file")).toString(), project);
    // Named before the end came, or still to be named.
    out += QString::fromLocal8Bit(program.readAll());
    QVERIFY2(settings.value(QStringLiteral("1/keptCopies")).toStringList().size() == 2
                 || out.contains(QStringLiteral("main copy.c")),
             qPrintable(out));
}

// gplink's own complaints name no source line; they still show as errors.
void tst_Startup::linkerErrorsAreErrors()
{
    QTemporaryDir home;
    QVERIFY(copyTree(QStringLiteral(DYX_SOURCE_DIR "/data/devboards/PIC16 Blinky"), home.path()));
    const QString main = home.filePath(QStringLiteral("main.asm"));
    QVERIFY(replaceInFile(main, "extern  delay_250ms", "extern  delay_250ms, nowhere"));
    QVERIFY(replaceInFile(main, "call    delay_250ms", "call    nowhere"));
    const Run result = run(home,
                           {QStringLiteral("--scan_compilers"),
                            QStringLiteral("--print-output"),
                            home.filePath(QStringLiteral("PIC16 Blinky.dyxp")),
                            QStringLiteral("--build"),
                            QStringLiteral("--quit")});
    QCOMPARE(result.exitCode, 1);
    QVERIFY2(result.err.contains(
                 QStringLiteral("error: Missing definition for symbol \"nowhere\"")),
             qPrintable(result.out + result.err));
}

QTEST_GUILESS_MAIN(tst_Startup)
#include "tst_startup.moc"

// A second start with a file (as the file manager makes it) hands the file to the running
// window and ends at once; with an option it is a program of its own.
void tst_Startup::laterStartsHandOverTheirFiles()
{
    QTemporaryDir home;
    const QString devboards = QFileInfo(QStringLiteral(DYX_PROGRAM)).absolutePath()
                              + QStringLiteral("/../devboards/");
    QStringList projects;
    for (const QString &board : {QStringLiteral("AVR Blinky"), QStringLiteral("PIC16 Blinky")}) {
        QVERIFY(copyTree(devboards + board, home.filePath(board)));
        projects.append(home.filePath(board + QLatin1Char('/') + board + QStringLiteral(".dyxp")));
    }
    const QStringList environment = {QStringLiteral("DYX_AUTO_ANSWER=1"),
                                     QStringLiteral("DYX_REGISTRY=") + home.filePath("none.ini")};
    QProcess first;
    prepare(first, home, environment);
    first.setProcessChannelMode(QProcess::MergedChannels);
    first.start(QStringLiteral(DYX_PROGRAM), {QStringLiteral("--print-output"), projects[0]});
    const std::shared_ptr<void> end(nullptr, [&first](void *) {
        first.kill();
        first.waitForFinished();
    });
    // Opening a board's project without a simulator says so: once for each project opened.
    const QString opened = QStringLiteral("Cannot launch the design file");
    QString said;
    QTRY_VERIFY_WITH_TIMEOUT((said += QString::fromLocal8Bit(first.readAllStandardOutput()),
                              said.count(opened) == 1),
                             20000);
    // Until the window listens, a second start would run alone: it listens before it shows.
    QTRY_VERIFY_WITH_TIMEOUT((said += QString::fromLocal8Bit(first.readAllStandardOutput()),
                              said.contains(QStringLiteral("No Cirrane Installation"))),
                             20000);
    const Run second = run(home, {projects[1]}, environment);
    QCOMPARE(second.exitCode, 0);
    QVERIFY2(!(second.out + second.err).contains(opened), qPrintable(second.err));
    QTRY_VERIFY_WITH_TIMEOUT((said += QString::fromLocal8Bit(first.readAllStandardOutput()),
                              said.count(opened) == 2),
                             20000);
    QCOMPARE(first.state(), QProcess::Running);
    // With an option, a start of its own.
    const Run own = run(home,
                        {QStringLiteral("--new-window"),
                         QStringLiteral("--print-output"),
                         QStringLiteral("--quit"),
                         projects[1]},
                        environment);
    QCOMPARE(own.exitCode, 0);
    QVERIFY2(own.err.contains(opened), qPrintable(own.err));
}
