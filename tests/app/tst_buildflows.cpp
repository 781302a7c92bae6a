// Builds through the main window as a user makes them, with the real compilers: whatever came
// before (options set before the first source, a header changed), F7 gives the firmware the
// project describes, and a build that did not write it says so; folder names that are no
// commands, the linker script's place, memory overflows, quitting during a build. Sequences of
// settings changes, configuration copies and restarts against a clean build are the build
// sequences' own.

#include "app/srcmanager.h"
#include "build/buildproject.h"
#include "build/ui/outtextedit.h"
#include "build/ui/outwindow.h"
#include "common/datarows.h"
#include "common/fakemainservices.h"
#include "common/scriptedprompts.h"
#include "common/testfiles.h"
#include "common/windowsuite.h"
#include "core/settingsstore.h"
#include "core/ui/commandactions.h"
#include "editor/ui/sourceeditor.h"
#include "editor/ui/srctabsholder.h"
#include "project/ui/project.h"
#include "project/ui/projectsmanager.h"

#include <QComboBox>
#include <QDialog>
#include <QDirIterator>
#include <QLineEdit>
#include <QLockFile>
#include <QProcess>
#include <QPushButton>
#include <QScopeGuard>
#include <QTableWidget>
#include <QTimer>
#include <QTreeWidgetItem>
#include <QTreeWidgetItemIterator>
#include <QtTest>

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>

using namespace WindowFlows;

namespace {

// The programs of folder are found first on the PATH until the returned guard goes.
[[nodiscard]] auto programsFirst(const QString &folder)
{
    const QByteArray searched = qgetenv("PATH");
    qputenv("PATH", folder.toLocal8Bit() + ':' + searched);
    return qScopeGuard([searched] { qputenv("PATH", searched); });
}

} // namespace

class tst_BuildFlows : public QObject, private WindowSuite
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void optionsBeforeTheFirstSource();
    void shippedConfigurationsInRealUse_data();
    void shippedConfigurationsInRealUse();
    void absoluteAssemblyHandsOverItsHexFile();
    void hostileProjectsRunNothing_data();
    void hostileProjectsRunNothing();
    void optionsActingOutsideAreAskedFor();
    void outputFolderOutsideIsAskedFor();
    void dependencyFilesBroughtAlongRunNothing_data();
    void dependencyFilesBroughtAlongRunNothing();
    void linksWhereTheBuildWritesAreNotFollowed_data();
    void linksWhereTheBuildWritesAreNotFollowed();
    void whatIsNoLockStopsNoBuild_data();
    void whatIsNoLockStopsNoBuild();
    void linkerScriptListedFirst();
    void smallControllersOverflow();
    void stoppingTheBuild();
    void windowStaysBusyThroughTheBuild();
    void headerChangesRebuildWhatIncludesThem_data();
    void headerChangesRebuildWhatIncludesThem();
    void messagesMarkAndLeadToTheirLines_data();
    void messagesMarkAndLeadToTheirLines();

private:
    using WindowSuite::copyBoard;
    QString copyBoard(const QString &board) { return copyBoard(board, QStringLiteral("board")); }
    static bool build(SrcManager &window);
    // The firmware the project gives when built from nothing: clean, then build.
    static QByteArray cleanBuild(SrcManager &window);
};

void tst_BuildFlows::initTestCase()
{
    isolateSettings();
}

void tst_BuildFlows::init()
{
    freshStart();
}

bool tst_BuildFlows::build(SrcManager &window)
{
    window.actions().buildProject->trigger();
    return output(window).contains(QStringLiteral("Compiled successfully."));
}

QByteArray tst_BuildFlows::cleanBuild(SrcManager &window)
{
    window.actions().cleanProject->trigger();
    if (!build(window))
        return QByteArray("(the clean build failed)");
    return readFile(window.projectsManager()->currentProject()->targetPath());
}

// Options set in Project Settings while the project has no source yet: sources added later
// still get what the target needs (the controller above all), with the user's option in place
// of the default one.
void tst_BuildFlows::optionsBeforeTheFirstSource()
{
    const QString folder = m_dir->filePath(QStringLiteral("empty"));
    QDir().mkpath(folder);
    const QString path = folder + QStringLiteral("/empty.dyxp");
    QVERIFY(writeFile(path,
                      "<PROJECT><FILES/><CONFIGURATION NAME=\"Debug\" COMPILER=\"GNU AVR GCC\" "
                      "TARGET=\"Debug\"><CONTROLLER FAMILY=\"AVR\" TYPE=\"ATmega328P\" "
                      "CLOCK=\"16MHz\"/></CONFIGURATION></PROJECT>"));
    QVERIFY(writeFile(folder + QStringLiteral("/main.c"),
                      "#include <avr/io.h>\nextern unsigned char io_value(void);\n"
                      "int main(void) { DDRB = io_value(); for (;;) {} }\n"));
    QVERIFY(writeFile(folder + QStringLiteral("/io.S"),
                      "#include <avr/io.h>\n.global io_value\nio_value:\n"
                      " in r24, _SFR_IO_ADDR(PINB)\n ret\n"));
    SrcManager window;
    Project *project = openProject(window, path);
    QVERIFY(project);
    setOption(*project, QStringLiteral("GCC"), QStringLiteral("-O"), QStringLiteral("2"));
    QVERIFY(project->addFile(folder + QStringLiteral("/main.c")));
    QVERIFY(project->addFile(folder + QStringLiteral("/io.S")));
    QVERIFY2(build(window), qPrintable(output(window)));
    const QStringList lines = output(window).split(QLatin1Char('\n'));
    for (const char *source : {" main.c ", " io.S ", "firmware.elf"}) {
        const QStringList commands = lines.filter(QLatin1String(source));
        QVERIFY2(!commands.isEmpty(), source);
        QVERIFY2(commands.first().contains(QStringLiteral("-mmcu=atmega328p"))
                     && commands.first().contains(QStringLiteral(" -O2 "))
                     && !commands.first().contains(QStringLiteral("-Og")),
                 qPrintable(commands.first()));
    }
}

void tst_BuildFlows::shippedConfigurationsInRealUse_data()
{
    QTest::addColumn<QString>("board");
    QTest::addColumn<QString>("source");     // added to the project, "" for none
    QTest::addColumn<QStringList>("option"); // tool, name, value, ID
    QTest::addColumn<QString>("error");      // the line a failed build ends with; "" builds
    addRow("avr-gcc, a name with a blank", "AVR Blinky", "extra part.c", QStringList(), "");
    addRow("gputils, a name with a blank", "PIC16 Blinky", "extra part.asm", QStringList(), "");
    addRow("sdcc, a name with a blank", "8051 Blinky", "extra part.c", QStringList(), "");
    // The linker names no file: five symbols defined twice (the start-up code's two, main and
    // its debugging labels) and one undefined, which it calls a warning.
    addRow("sdcc's linker messages",
           "8051 Blinky",
           "main again.c",
           QStringList(),
           "Build failed: 5 errors, 1 warning (");
    QTest::newRow("gplink's script, listed and set as an option")
        << "PIC16 Blinky"
        << "board.lkr" << QStringList{"GPLINK", "-s ", "", "SCRIPT"} << "";
    QTest::newRow("gplink's fill, hexadecimal")
        << "PIC16 Blinky"
        << "" << QStringList{"GPLINK", "-f ", "3fff", ""} << "";
    // gplink reads 16383 as hexadecimal, refuses it, writes nothing and ends with 0.
    QTest::newRow("gplink ends with 0 and writes nothing")
        << "PIC16 Blinky"
        << "" << QStringList{"GPLINK", "-f ", "16383", ""} << "The build did not write %1.";
}

void tst_BuildFlows::shippedConfigurationsInRealUse()
{
    QFETCH(QString, board);
    QFETCH(QString, source);
    QFETCH(QStringList, option);
    QFETCH(QString, error);
    const QString path = copyBoard(board);
    const QString folder = QFileInfo(path).absolutePath();
    const QString added = folder + QLatin1Char('/') + source;
    if (source.contains(QLatin1String("again")))
        QVERIFY(writeFile(added, "void nowhere(void);\nvoid main(void) { nowhere(); }\n"));
    else if (source.endsWith(QLatin1String(".c")))
        QVERIFY(writeFile(added, "unsigned char extra_value(void) { return 5; }\n"));
    else if (source.endsWith(QLatin1String(".asm")))
        QVERIFY(writeFile(added,
                          "        #include <p16f877a.inc>\n        global extra\n"
                          "EXTRA CODE\nextra:\n        retlw 5\n        end\n"));
    else if (source.endsWith(QLatin1String(".lkr")))
        QVERIFY(QFile::copy(QStringLiteral("/usr/share/gputils/lkr/16f877a_g.lkr"), added));
    SrcManager window;
    Project *project = openProject(window, path);
    QVERIFY(project);
    if (!source.isEmpty())
        QVERIFY(project->addFile(added));
    if (!option.isEmpty())
        setOption(*project, option[0], option[1], option[2], option[3]);
    const bool built = build(window);
    const QString text = output(window);
    const QString firmware = project->targetPath();
    if (!error.isEmpty()) {
        QVERIFY2(!built, qPrintable(text));
        QVERIFY2(text.contains(error.arg(QDir::toNativeSeparators(firmware))), qPrintable(text));
        return;
    }
    QVERIFY2(built, qPrintable(text));
    QVERIFY(QFileInfo(firmware).size() > 0);
    if (source.endsWith(QLatin1String(".lkr")))
        QCOMPARE(text.count(QStringLiteral(" -s ")), 1);
    if (!option.isEmpty() && option[1] == QLatin1String("-f "))
        QVERIFY(readFile(firmware).contains("FF3FFF3FFF3F"));
}

// gputils' absolute assembly ends in a symbol file; the simulator is given the HEX file it
// writes beside it.
void tst_BuildFlows::absoluteAssemblyHandsOverItsHexFile()
{
    const QString folder = m_dir->filePath(QStringLiteral("absolute"));
    QDir().mkpath(folder);
    const QString path = folder + QStringLiteral("/absolute.dyxp");
    QVERIFY(writeFile(path,
                      "<PROJECT><FILES><FILE NAME=\"blink.asm\" GROUP=\"Source Files\"/></FILES>"
                      "<CONFIGURATION NAME=\"Debug\" COMPILER=\"GNU PIC Utilities\" "
                      "TARGET=\"Absolute\"><CONTROLLER FAMILY=\"PIC16\" TYPE=\"PIC16F877A\" "
                      "CLOCK=\"4MHz\"/></CONFIGURATION></PROJECT>"));
    QVERIFY(writeFile(folder + QStringLiteral("/blink.asm"),
                      "        #include <p16f877a.inc>\n        #include \"step.inc\"\n"
                      "        org 0\nstart:  movlw STEP\n        addwf PORTB, f\n"
                      "        goto start\n        end\n"));
    QVERIFY(writeFile(folder + QStringLiteral("/step.inc"), "STEP equ 1\n"));
    SrcManager window;
    Project *project = openProject(window, path);
    QVERIFY(project);
    QVERIFY2(build(window), qPrintable(output(window)));
    QCOMPARE(project->targetPath(), folder + QStringLiteral("/Absolute/Debug.hex"));
    const QByteArray first = readFile(project->targetPath());
    QVERIFY(first.startsWith(":"));
    // The included file changed: the source is assembled again.
    QVERIFY(writeFile(folder + QStringLiteral("/step.inc"), "STEP equ 2\n"));
    QVERIFY2(build(window), qPrintable(output(window)));
    const QByteArray second = readFile(project->targetPath());
    QVERIFY(second != first);
    QCOMPARE(cleanBuild(window), second);
}

void tst_BuildFlows::hostileProjectsRunNothing_data()
{
    QTest::addColumn<QString>("clock");
    QTest::addColumn<QStringList>("option"); // tool, name, value
    QTest::addColumn<QString>("source");     // a file added to the project
    QTest::addColumn<QString>("result");     // a line of the output; "" for a build that works
    QTest::addColumn<QString>("folderName"); // the project's folder
    QTest::addColumn<QString>("target");     // the configuration's output folder
    const QString notAFrequency = QStringLiteral("is not a frequency");
    QTest::newRow("a clock with a command")
        << "16000000;touch\tPWN;" << QStringList() << "" << notAFrequency << "board"
        << "";
    QTest::newRow("a clock with a make function")
        << "$(shell\ttouch\tPWN)" << QStringList() << "" << notAFrequency << "board"
        << "";
    QTest::newRow("an option name with a command")
        << "" << QStringList{"GCC", "-DX=1;touch PWN_o;", ""} << ""
        << "Error code"
        << "board"
        << "";
    QTest::newRow("an option value in backquotes")
        << "" << QStringList{"GCC", "-DY=", "`touch PWN_b`"} << ""
        << "Error code"
        << "board"
        << "";
    QTest::newRow("an option with a make function")
        << "" << QStringList{"GCC", "-DZ=$(shell touch PWN_m)", ""} << ""
        << "Error code"
        << "board"
        << "";
    QTest::newRow("an option with a comment sign and quotes")
        << "" << QStringList{"GCC", "-DHASH=", "\"1#2\""} << ""
        << ""
        << "board"
        << "";
    // An option that makes the compiler run a program of its choosing waits for the user's
    // leave, which a window nobody looks at never gives.
    QTest::newRow("an option that makes the compiler run a program")
        << "" << QStringList{"GCC", "-wrapper", " /bin/sh,-c,touch${IFS}PWN_w"} << ""
        << "outside the project (-wrapper /bin/sh,-c,touch${IFS}PWN_w)"
        << "board"
        << "";
    // A megabyte of one is named cut short.
    QTest::newRow("a long option that makes the compiler run programs")
        << "" << QStringList{"GCC", "-B", QString(1 << 20, QLatin1Char('x'))} << ""
        << QStringLiteral("(-B") + QString(158, QLatin1Char('x')) + QChar(0x2026) + ")"
        << "board"
        << "";
    QTest::newRow("an option that makes the compiler write outside the project")
        << "" << QStringList{"GCC", "-MF", " ../PWN_d.d"} << ""
        << "outside the project (-MF ../PWN_d.d)"
        << "board"
        << "";
    QTest::newRow("a source a compiler would read as its options")
        << "" << QStringList() << "@opts.c"
        << ""
        << "board"
        << "";
    QTest::newRow("a source a compiler would read as an option") << "" << QStringList() << "-x.c"
                                                                 << ""
                                                                 << "board"
                                                                 << "";
    // Line breaks and make syntax in the name of the project's folder.
    QTest::newRow("a folder name with make syntax") << "" << QStringList() << ""
                                                    << ""
                                                    << "x\nexport Y != touch PWN_f\n#"
                                                    << "";
    // An output folder no compiler names, outside the project: nothing is made there.
    QTest::newRow("a target outside the project") << "" << QStringList() << ""
                                                  << "Cannot select build target."
                                                  << "board"
                                                  << "../PWN_target";
}

// A project file is data that users download and share: building it runs the compilers on its
// sources and nothing else, whatever its clock, options, file names and folder hold.
void tst_BuildFlows::hostileProjectsRunNothing()
{
    QFETCH(QString, clock);
    QFETCH(QStringList, option);
    QFETCH(QString, source);
    QFETCH(QString, result);
    QFETCH(QString, folderName);
    QFETCH(QString, target);
    const QString path = copyBoard(QStringLiteral("AVR Blinky"), folderName);
    const QString folder = QFileInfo(path).absolutePath();
    // What gcc would read as its options from "@opts.c".
    QVERIFY(writeFile(folder + QStringLiteral("/opts.c"), "-fplugin=./evil.so\n"));
    SrcManager window;
    Project *project = openProject(window, path);
    QVERIFY(project);
    if (!clock.isEmpty())
        project->activeConfiguration()->setClock(clock);
    if (!target.isEmpty())
        project->activeConfiguration()->setTarget(target);
    if (!option.isEmpty())
        setOption(*project, option[0], option[1], option[2]);
    if (!source.isEmpty()) {
        QVERIFY(writeFile(folder + QLatin1Char('/') + source, "int extra_value = 3;\n"));
        QVERIFY(project->addFile(folder + QLatin1Char('/') + source));
    }
    project->setModified(true);
    const bool built = build(window);
    const QString text = output(window);
    QStringList planted;
    QDirIterator files(m_dir->path(),
                       {QStringLiteral("PWN*")},
                       QDir::Files | QDir::Dirs | QDir::NoDotAndDotDot,
                       QDirIterator::Subdirectories);
    while (files.hasNext())
        planted.append(files.next());
    planted += QDir::current().entryList({QStringLiteral("PWN*")});
    QVERIFY2(planted.isEmpty(),
             qPrintable(planted.join(QLatin1Char(' ')) + QLatin1Char('\n') + text));
    if (result.isEmpty())
        QVERIFY2(built, qPrintable(text));
    else
        QVERIFY2(!built && text.contains(result), qPrintable(text));
}

void tst_BuildFlows::dependencyFilesBroughtAlongRunNothing_data()
{
    QTest::addColumn<QString>("name");           // in the output folder
    QTest::addColumn<QByteArray>("planted");     // as that file
    QTest::addColumn<bool>("olderThanMakefile"); // as an archive can have it
    QTest::addColumn<qint64>("size");            // made that long, when more than 0
    QTest::newRow("a rule with a make function, older than the Makefile")
        << "main.d" << QByteArray("Debug/main.o: main.c $(shell touch PWN)\n") << true << qint64(0);
    QTest::newRow("no rule, a make function")
        << "main.d" << QByteArray("$(shell touch PWN)\n") << false << qint64(0);
    QTest::newRow("no rule, a variable set by a command, older than the Makefile")
        << "main.d" << QByteArray("X != touch PWN\n") << true << qint64(0);
    // Too large to be read: it goes, and its object is made again with a list of its own.
    QTest::newRow("a make function, then more than is read")
        << "main.d" << QByteArray("$(shell touch PWN)\n") << false << qint64(17 << 20);
    // make's own rules would check the missing file out of a version file beside it, or in an
    // RCS or SCCS folder, and read what that gives.
    QTest::newRow("a version file of it, in place of it")
        << "main.d,v" << QByteArray("$(shell touch PWN)\n") << false << qint64(0);
    // make looks for a missing one in its include folders too: here one that MAKEFLAGS names.
    QTest::newRow("a file of its name in one of make's include folders")
        << "../include/Debug/main.d" << QByteArray("$(shell touch PWN)\n") << false << qint64(0);
}

// make reads the dependency files the compilers write as part of the Makefile. A project folder
// shared with its build output brings its own along, with the times it was given: neither the
// question whether the firmware is current (before a hand-off) nor a build runs what they say.
void tst_BuildFlows::dependencyFilesBroughtAlongRunNothing()
{
    QFETCH(QString, name);
    QFETCH(QByteArray, planted);
    QFETCH(bool, olderThanMakefile);
    QFETCH(qint64, size);
    const QString path = copyBoard(QStringLiteral("AVR Blinky"));
    const QString folder = QFileInfo(path).absolutePath();
    // A checkout program that gives the file as its version file holds it.
    const QString tools = m_dir->filePath(QStringLiteral("version-control"));
    QVERIFY(QDir().mkpath(tools));
    const QString checkout = tools + QStringLiteral("/co");
    QVERIFY(writeFile(checkout, "#!/bin/sh\ncp \"$1\" \"$2\"\n"));
    QVERIFY(QFile::setPermissions(checkout, QFile::ReadOwner | QFile::ExeOwner));
    const auto restore = programsFirst(tools);
    const QByteArray makeFlags = qgetenv("MAKEFLAGS");
    qputenv("MAKEFLAGS", "-I" + QFile::encodeName(folder) + "/include");
    const auto restoreFlags = qScopeGuard([&] { qputenv("MAKEFLAGS", makeFlags); });
    SrcManager window;
    Project *project = openProject(window, path);
    QVERIFY(project && build(window));
    const QString dependencies = folder + QStringLiteral("/Debug/main.d");
    const auto plant = [&] {
        const QString file = folder + QStringLiteral("/Debug/") + name;
        QFile::remove(dependencies);
        return writeFile(file, planted) && (size == 0 || QFile::resize(file, size));
    };
    QVERIFY(plant());
    const auto setTime = [](const QString &file, int years) {
        QFile f(file);
        return f.open(QIODevice::ReadWrite)
               && f.setFileTime(QDateTime::currentDateTime().addYears(years),
                                QFileDevice::FileModificationTime);
    };
    if (olderThanMakefile) {
        QVERIFY(setTime(dependencies, -1));
        QVERIFY(setTime(folder + QStringLiteral("/Debug/Makefile"), 1));
    }
    project->firmwareIsCurrent();
    QVERIFY(!QFileInfo::exists(folder + QStringLiteral("/PWN")));
    QVERIFY(plant());
    if (olderThanMakefile)
        QVERIFY(setTime(dependencies, -1));
    const bool built = build(window);
    QVERIFY(!QFileInfo::exists(folder + QStringLiteral("/PWN")));
    if (size > 0)
        QVERIFY2(built && output(window).contains(QStringLiteral(" main.c -o ")),
                 qPrintable(output(window)));
    // What it names stops the build at worst; a build from nothing writes it anew.
    const QByteArray firmware = cleanBuild(window);
    QVERIFY2(firmware == readFile(project->targetPath()), qPrintable(output(window)));
    QVERIFY(!readFile(dependencies).contains("PWN"));
}

// In the window, an option that lets the compiler run programs it names (or write outside the
// project) is asked about: Cancel builds nothing, Build builds, and the option is not asked
// about again for that project, but is for another.
void tst_BuildFlows::optionsActingOutsideAreAskedFor()
{
    const QString path = copyBoard(QStringLiteral("AVR Blinky"), QStringLiteral("asked"));
    ScriptedPrompts prompts;
    SrcManager window;
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    Project *project = openProject(window, path);
    QVERIFY(project);
    const QString option = QStringLiteral("-B") + m_dir->filePath(QStringLiteral("no-programs"));
    setOption(*project, QStringLiteral("GCC"), option, QString());
    prompts.answers << QMessageBox::Cancel;
    QVERIFY(!build(window));
    QVERIFY(prompts.answers.isEmpty() && prompts.asked.last().text.endsWith(option));
    QVERIFY2(output(window).contains(QStringLiteral("Not built")), qPrintable(output(window)));
    prompts.answers << QMessageBox::Yes;
    QVERIFY2(build(window), qPrintable(output(window)));
    QVERIFY(prompts.answers.isEmpty());
    const qsizetype asked = prompts.asked.size();
    window.actions().rebuildProject->trigger();
    QVERIFY2(output(window).contains(QStringLiteral("Compiled successfully.")),
             qPrintable(output(window)));
    QCOMPARE(prompts.asked.size(), asked);
    SrcManager another;
    another.show();
    Project *downloaded = openProject(another,
                                      copyBoard(QStringLiteral("AVR Blinky"),
                                                QStringLiteral("downloaded")));
    QVERIFY(downloaded);
    setOption(*downloaded, QStringLiteral("GCC"), option, QString());
    prompts.answers << QMessageBox::Cancel;
    QVERIFY(!build(another));
    QCOMPARE(prompts.asked.size(), asked + 1);
}

// An output folder that is a link out of the project, as an archive can bring along: the build
// would write and remove files in a folder of the user's.
void tst_BuildFlows::outputFolderOutsideIsAskedFor()
{
    const QString path = copyBoard(QStringLiteral("AVR Blinky"), QStringLiteral("linked"));
    const QString folder = QFileInfo(path).absolutePath();
    const QDir elsewhere(m_dir->filePath(QStringLiteral("elsewhere")));
    QVERIFY(elsewhere.mkpath(QStringLiteral(".")));
    QVERIFY(QFile::link(elsewhere.path(), folder + QStringLiteral("/Debug")));
    ScriptedPrompts prompts;
    SrcManager window;
    Project *project = openProject(window, path);
    QVERIFY(project);
    // Unasked, from the command line; then Cancel in the window.
    QVERIFY(!build(window));
    QVERIFY2(output(window).contains(QStringLiteral("Not built: the project builds in a folder "
                                                    "outside the project")),
             qPrintable(output(window)));
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    prompts.answers << QMessageBox::Cancel;
    QVERIFY(!build(window));
    QVERIFY(prompts.answers.isEmpty() && prompts.asked.last().text.endsWith(elsewhere.path()));
    QCOMPARE(elsewhere.entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
             QStringList());
    // Allowed once, it builds there and asks no more.
    prompts.answers << QMessageBox::Yes;
    QVERIFY2(build(window), qPrintable(output(window)));
    QVERIFY(elsewhere.exists(QStringLiteral("Debug.hex")));
    const qsizetype asked = prompts.asked.size();
    QVERIFY2(build(window), qPrintable(output(window)));
    QCOMPARE(prompts.asked.size(), asked);
    // A link within the project's folder is the project's own.
    QVERIFY(QFile::remove(folder + QStringLiteral("/Debug")));
    QVERIFY(QDir(folder).mkpath(QStringLiteral("build/debug")));
    QVERIFY(QFile::link(QStringLiteral("build/debug"), folder + QStringLiteral("/Debug")));
    QVERIFY2(build(window), qPrintable(output(window)));
    QCOMPARE(prompts.asked.size(), asked);
    QVERIFY(QFileInfo::exists(folder + QStringLiteral("/build/debug/Debug.hex")));
}

// Links where the build writes its files, as an archive can bring them along: the build writes
// files of its own there and leaves the files the links lead to as they were.
void tst_BuildFlows::linksWhereTheBuildWritesAreNotFollowed_data()
{
    QTest::addColumn<QString>("board");
    QTest::addColumn<QStringList>("names"); // in the output folder
    QTest::newRow("outputs") << "AVR Blinky"
                             << QStringList{"Makefile",
                                            "main.o",
                                            "main.d",
                                            "firmware.elf",
                                            "Debug.hex",
                                            ".dyxstudio-build.lock"};
    addRow("temporaries", "PIC16 Blinky", QStringList{"main.lst", "Debug.map", "Debug.cod"});
}

void tst_BuildFlows::linksWhereTheBuildWritesAreNotFollowed()
{
    QFETCH(QString, board);
    QFETCH(QStringList, names);
    const QString path = copyBoard(board);
    const QString folder = QFileInfo(path).absolutePath();
    QVERIFY(QDir(folder).mkpath(QStringLiteral("Debug")));
    QVERIFY(QDir(m_dir->path()).mkpath(QStringLiteral("elsewhere")));
    for (const QString &name : names) {
        const QString file = m_dir->filePath(QStringLiteral("elsewhere/") + name);
        QVERIFY(writeFile(file, "a file of the user's\n"));
        QVERIFY(QFile::link(file, folder + QStringLiteral("/Debug/") + name));
    }
    SrcManager window;
    QVERIFY(openProject(window, path));
    QVERIFY2(build(window), qPrintable(output(window)));
    for (const QString &name : names) {
        QCOMPARE(readFile(m_dir->filePath(QStringLiteral("elsewhere/") + name)),
                 QByteArray("a file of the user's\n"));
        const QFileInfo written(folder + QStringLiteral("/Debug/") + name);
        // The build's lock is gone with the build.
        QVERIFY2(name.endsWith(".lock") ? !written.exists() && !written.isSymLink()
                                        : written.isFile() && !written.isSymLink(),
                 qPrintable(name));
    }
}

void tst_BuildFlows::whatIsNoLockStopsNoBuild_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<bool>("built");
    QTest::newRow("a FIFO") << "fifo" << true;
    QTest::newRow("an empty folder") << "folder" << true;
    QTest::newRow("a folder with a file in it") << "full folder" << false;
}

// What an archive can bring where the build keeps its lock: a FIFO would hold the window for
// ever, a folder or a file of another kind would stop every build as "another build". Each is
// no lock, and goes; a folder with something in it is named and left alone.
void tst_BuildFlows::whatIsNoLockStopsNoBuild()
{
    QFETCH(QString, kind);
    QFETCH(bool, built);
    const QString path = copyBoard(QStringLiteral("AVR Blinky"));
    const QString lock = QFileInfo(path).absolutePath()
                         + QStringLiteral("/Debug/.dyxstudio-build.lock");
    QVERIFY(QDir().mkpath(QFileInfo(lock).absolutePath()));
    if (kind == QLatin1String("fifo"))
        QCOMPARE(mkfifo(QFile::encodeName(lock).constData(), 0600), 0);
    else
        QVERIFY(QDir().mkpath(lock));
    if (kind == QLatin1String("full folder"))
        QVERIFY(writeFile(lock + QStringLiteral("/kept"), "kept"));
    SrcManager window;
    QVERIFY(openProject(window, path));
    QCOMPARE(build(window), built);
    if (!built) {
        QVERIFY2(output(window).contains(lock + QStringLiteral(" is no lock of a build")),
                 qPrintable(output(window)));
        QCOMPARE(readFile(lock + QStringLiteral("/kept")), QByteArray("kept"));
    }
}

// A PIC project with its own linker script, listed before the sources: in the file list (the
// Release configuration's build follows it) and as a file read before the stored build tree
// (Debug). Both hand the script to gplink and build with the real tools.
void tst_BuildFlows::linkerScriptListedFirst()
{
    const QString path = copyBoard(QStringLiteral("PIC16 Blinky"), QStringLiteral("pic"));
    const QString folder = QFileInfo(path).absolutePath();
    QVERIFY(QFile::copy(QStringLiteral("/usr/share/gputils/lkr/16f877a_g.lkr"),
                        folder + QStringLiteral("/board.lkr")));
    QVERIFY(writeFile(path, R"(<?xml version='1.0' encoding='UTF-8' standalone='yes' ?>
<PROJECT DESCRIPTION="">
 <KEYWORDS/>
 <FILES>
  <FILE NAME="board.lkr" GROUP="Linker Script Files"/>
  <FILE NAME="main.asm" GROUP="Source Files"/>
  <FILE NAME="delay.asm" GROUP="Source Files"/>
 </FILES>
 <CONFIGURATION NAME="Debug" COMPILER="GNU PIC Utilities" TARGET="Debug">
  <CONTROLLER FAMILY="PIC16" TYPE="PIC16F877A" CLOCK="4MHz"/>
  <FILE NAME="board.lkr"/>
  <FILE TOOL="GPLINK">
   <FILE TOOL="GPASM"><FILE NAME="main.asm"/></FILE>
   <FILE TOOL="GPASM"><FILE NAME="delay.asm"/></FILE>
  </FILE>
  <OPTION NAME="-p" VALUE="pic16f877a" TOOL="GPASM" DEFAULT="1"/>
  <OPTION NAME="-O" VALUE="0" TOOL="GPLINK" DEFAULT="1"/>
  <OPTION NAME="-m" TOOL="GPLINK" DEFAULT="1"/>
 </CONFIGURATION>
 <CONFIGURATION NAME="Release" COMPILER="GNU PIC Utilities" TARGET="Release">
  <CONTROLLER FAMILY="PIC16" TYPE="PIC16F877A" CLOCK="4MHz"/>
 </CONFIGURATION>
</PROJECT>
)"));
    SrcManager window;
    Project *project = openProject(window, path);
    QVERIFY(project);
    for (int index : {0, 1}) {
        window.configCombo()->setCurrentIndex(index);
        const QString target = project->activeConfiguration()->name();
        window.projectsManager()->compileProject();
        QVERIFY2(output(window).contains(QStringLiteral("Compiled successfully.")),
                 qPrintable(output(window)));
        const QByteArray makefile = readFile(folder + QLatin1Char('/') + target
                                             + QStringLiteral("/Makefile"));
        // Listed first, the script stands apart from the objects after it.
        const QByteArray script = index == 0 ? "Debug/delay.o -s \"board.lkr\"\n"
                                             : " -s \"board.lkr\" Release/main.o ";
        QVERIFY2(makefile.contains(script), makefile.constData());
        QVERIFY(QFileInfo(folder + QLatin1Char('/') + target + QLatin1Char('/') + target
                          + QStringLiteral(".hex"))
                    .size()
                > 0);
    }
}

// The 8051 parts know their memory sizes: code that does not fit a small part fails to link.
void tst_BuildFlows::smallControllersOverflow()
{
    const QString path = copyBoard(QStringLiteral("8051 Blinky"), QStringLiteral("mcs51"));
    const QString folder = QFileInfo(path).absolutePath();
    QByteArray project = readFile(path);
    QVERIFY(writeFile(path, project.replace("AT89S52", "AT89C2051")));
    QByteArray main = readFile(folder + QStringLiteral("/main.c"));
    QVERIFY(writeFile(folder + QStringLiteral("/main.c"),
                      main + "\n__code const unsigned char table[3000] = {1};\n"));
    SrcManager window;
    QVERIFY(openProject(window, path));
    window.projectsManager()->compileProject();
    const QString lines = output(window);
    QVERIFY2(lines.contains(QStringLiteral("?ASlink-Error-Insufficient ROM")), qPrintable(lines));
    QVERIFY(!lines.contains(QStringLiteral("Compiled successfully.")));
    // A failed build has no firmware for the simulator: no word of it.
    QVERIFY(!lines.contains(QStringLiteral("Click the VEXA icon")));
}

// Stop Build during a build: the compiler goes with make, and what it wrote of its object is no
// object, so the next build compiles it again and builds. Ctrl+Q during a build: the build stops
// (make and its compiler with it) before the window goes.
void tst_BuildFlows::stoppingTheBuild()
{
    const QString path = copyBoard(QStringLiteral("AVR Blinky"), QStringLiteral("board"));
    const QString folder = QFileInfo(path).absolutePath();
    const QString bin = m_dir->filePath(QStringLiteral("bin"));
    QVERIFY(QDir().mkpath(bin));
    // While the file "hang" is there, the compiler writes part of its object and waits.
    const QString hang = m_dir->filePath(QStringLiteral("hang"));
    const QString pidFile = m_dir->filePath(QStringLiteral("compiler.pid"));
    QVERIFY(writeFile(bin + QStringLiteral("/avr-gcc"),
                      QStringLiteral("#!/bin/sh\n[ -e '%1' ] || exec /usr/bin/avr-gcc \"$@\"\n"
                                     "for a; do [ \"$o\" = -o ] && out=$a; o=$a; done\n"
                                     "printf half > \"$out\"\necho $$ > '%2.new'\n"
                                     "mv '%2.new' '%2'\nexec sleep 300\n")
                          .arg(hang, pidFile)
                          .toUtf8()));
    QFile::setPermissions(bin + QStringLiteral("/avr-gcc"), QFile::ReadOwner | QFile::ExeOwner);
    QVERIFY(writeFile(hang));
    const auto restorePath = programsFirst(bin);
    SrcManager window;
    window.show();
    QVERIFY(openProject(window, path));
    const CommandActions &a = window.actions();
    // Once the compiler hangs: its process id, and what the user does then.
    qint64 sleeper = 0;
    std::function<void()> meanwhile;
    QTimer poll;
    connect(&poll, &QTimer::timeout, &window, [&] {
        if (!QFileInfo::exists(pidFile))
            return;
        poll.stop();
        sleeper = readFile(pidFile).trimmed().toLongLong();
        meanwhile();
    });
    const auto ended = [&] {
        return ::kill(pid_t(sleeper), 0) != 0
               || readFile(QStringLiteral("/proc/%1/stat").arg(sleeper)).contains(") Z");
    };
    meanwhile = [&] {
        QVERIFY(a.stopBuild->isEnabled() && !a.buildProject->isEnabled());
        // Compiler files chosen in Editor Configuration meanwhile wait for the build's end.
        window.projectsManager()->readCompilersAgain();
        QTest::keyClick(&window, Qt::Key_F7, Qt::AltModifier);
    };
    poll.start(20);
    a.buildProject->trigger();
    QVERIFY(sleeper > 0);
    QVERIFY(output(window).contains(QStringLiteral("Build aborted by user"))
            && !output(window).contains(QStringLiteral("Error code"))
            && !output(window).contains(QStringLiteral("Terminated")));
    const qsizetype told = output(window).indexOf(
        QStringLiteral("read again when the build has ended"));
    QVERIFY(told >= 0 && told < output(window).indexOf(QStringLiteral("Build aborted by user")));
    QTRY_VERIFY(ended());
    QVERIFY(!a.stopBuild->isEnabled() && a.buildProject->isEnabled());
    QVERIFY(readFile(folder + QStringLiteral("/Debug/main.o")) != "half"
            && readFile(folder + QStringLiteral("/Debug/led.o")) != "half");
    QVERIFY(QFile::remove(hang));
    a.buildProject->trigger();
    QVERIFY2(output(window).contains(QStringLiteral("Compiled successfully.")),
             qPrintable(output(window)));

    // Ctrl+Q in the middle of the next one.
    QVERIFY(writeFile(hang) && QFile::remove(pidFile));
    sleeper = 0;
    meanwhile = [&] { a.exit->trigger(); };
    poll.start(20);
    a.rebuildProject->trigger();
    QVERIFY(sleeper > 0);
    QVERIFY(!window.isVisible());
    QVERIFY(output(window).contains(QStringLiteral("Build aborted by user")));
    QTRY_VERIFY(ended());
}

// While a build runs the window answers, but nothing in it starts another run or changes the
// configuration being built: the selector waits, the Compilers dialog leaves the build's
// commands off, and a double click on the design starts no simulation. A source typed in and
// saved meanwhile is no failure of the build; the user is told, and the next build takes it in.
// Lines typed meanwhile are no lines of the firmware the build gives.
void tst_BuildFlows::windowStaysBusyThroughTheBuild()
{
    const QString path = copyBoard(QStringLiteral("AVR Blinky"));
    const QString main = QFileInfo(path).absolutePath() + QStringLiteral("/main.c");
    // The firmware's HEX file a second late: main.c is saved once it has been compiled.
    const QString bin = m_dir->filePath(QStringLiteral("bin"));
    QVERIFY(QDir().mkpath(bin));
    QVERIFY(writeFile(bin + QStringLiteral("/avr-objcopy"),
                      "#!/bin/sh\nsleep 1\nexec /usr/bin/avr-objcopy \"$@\"\n"));
    QFile::setPermissions(bin + QStringLiteral("/avr-objcopy"), QFile::ReadOwner | QFile::ExeOwner);
    const QByteArray oldPath = qgetenv("PATH");
    qputenv("PATH", bin.toLocal8Bit() + ':' + oldPath);
    SrcManager window;
    window.show();
    Project *project = openProject(window, path);
    QVERIFY(project);
    SrcManager other; // a second window on the project
    QVERIFY(openProject(other, path));
    const QString led = QFileInfo(path).absolutePath() + QStringLiteral("/led.c");
    window.editors().openFileAt(led);
    window.editors().openFileAt(main);
    const CommandActions &a = window.actions();
    QStringList wrong;
    QTimer poll;
    connect(&poll, &QTimer::timeout, &window, [&] {
        if (!QFileInfo::exists(QFileInfo(path).absolutePath() + "/Debug/firmware.elf"))
            return;
        poll.stop();
        if (!project->isBuilding())
            wrong << QStringLiteral("not building");
        if (window.configCombo()->isEnabled())
            wrong << QStringLiteral("selector");
        WindowFlows::onNextDialog(&window, [](QDialog *) {});
        a.compilersConfiguration->trigger();
        for (QAction *action : {a.buildProject, a.openDebugger, a.closeProject, a.projectSettings}) {
            if (action->isEnabled())
                wrong << action->text();
        }
        for (QTreeWidgetItemIterator it(project->rootItem()); *it; ++it) {
            if ((*it)->text(0).endsWith(QLatin1String(".DSN")))
                emit window.projectsManager()->tree()->itemDoubleClicked(*it, 0);
        }
        window.tabs()->currentEditor()->append(QStringLiteral("int typed_meanwhile;\n"));
        a.saveFile->trigger();
        // A line typed at the top of led.c, and a breakpoint on the line that was the first.
        SourceEditor *ledEditor = window.tabs()->findEditor(led);
        ledEditor->insertAt(QStringLiteral("// typed while it builds\n"), 0, 0);
        ledEditor->toggleBreakpoint(2);
        // The other window runs no make in the same folder meanwhile.
        other.actions().buildProject->trigger();
        if (!output(other).contains(QStringLiteral("Another build in %1/Debug is running")
                                        .arg(QFileInfo(path).absolutePath()))
            || output(other).contains(QStringLiteral("avr-gcc")))
            wrong << output(other);
    });
    poll.start(5);
    a.buildProject->trigger();
    qputenv("PATH", oldPath);
    const QString text = output(window);
    QVERIFY2(wrong.isEmpty(), qPrintable(wrong.join(QLatin1String(", "))));
    QVERIFY2(text.contains(QStringLiteral("avr-gcc -c"))
                 && text.count(QStringLiteral("Compiled successfully.")) == 1
                 && text.contains(main + QStringLiteral(" was saved while the build ran"))
                 && !text.contains(QStringLiteral("Cannot launch"))
                 && !text.contains(QStringLiteral("The build failed")),
             qPrintable(text));
    QVERIFY(a.buildProject->isEnabled() && window.configCombo()->isEnabled());
    // The firmware was built from led.c as it was when the build started.
    QCOMPARE(window.tabs()->breakpointsAsBuilt(), (QList<std::pair<QString, int>>{{led, 1}}));
    a.buildProject->trigger();
    QCOMPARE(window.tabs()->breakpointsAsBuilt(), (QList<std::pair<QString, int>>{{led, 2}}));
    QVERIFY2(output(window).contains(QStringLiteral(" main.c -o Debug/main.o"))
                 && output(window).contains(QStringLiteral(" led.c -o Debug/led.o"))
                 && !output(window).contains(QStringLiteral("was saved while")),
             qPrintable(output(window)));
    // A build that fails leaves the lines of the firmware before.
    window.tabs()->findEditor(led)->insertAt(QStringLiteral("#error not now\n"), 0, 0);
    a.buildProject->trigger();
    QVERIFY(!output(window).contains(QStringLiteral("Compiled successfully.")));
    QCOMPARE(window.tabs()->breakpointsAsBuilt(), (QList<std::pair<QString, int>>{{led, 2}}));

    // The other window builds once the first has ended, also after a program holding the
    // folder was killed in the middle of its build.
    SourceEditor *ledEditor = window.tabs()->findEditor(led);
    ledEditor->setSelection(0, 0, 1, 0);
    ledEditor->removeSelectedText();
    QVERIFY(window.tabs()->saveEditor(led, false));
    // Closed, and changed by another program: the next build has its breakpoint on its line.
    window.editors().openFileAt(led);
    a.closeFile->trigger();
    QVERIFY(!window.tabs()->findEditor(led));
    QVERIFY(writeFile(led, "// checked out\n\n" + readFile(led)));
    a.buildProject->trigger();
    QCOMPARE(window.tabs()->breakpointsAsBuilt(), (QList<std::pair<QString, int>>{{led, 4}}));
    const auto killedInItsBuild = [&] { // leaves its lock
        const pid_t killed = fork();
        if (killed == 0) {
            QLockFile held(QFileInfo(path).absolutePath()
                           + QStringLiteral("/Debug/.dyxstudio-build.lock"));
            ::_exit(held.tryLock() ? 0 : 1);
        }
        int status = 0;
        return ::waitpid(killed, &status, 0) == killed && WIFEXITED(status)
               && WEXITSTATUS(status) == 0;
    };
    QVERIFY(killedInItsBuild());
    other.actions().buildProject->trigger();
    QVERIFY2(output(other).contains(QStringLiteral("Compiled successfully.")),
             qPrintable(output(other)));
    // And with the lock of a build on another machine, copied with the folder.
    QVERIFY(
        writeFile(QFileInfo(path).absolutePath() + QStringLiteral("/Debug/.dyxstudio-build.lock"),
                  "1\ndyxstudio\nanother-machine.example\n"));
    other.actions().buildProject->trigger();
    QVERIFY2(output(other).contains(QStringLiteral("Compiled successfully.")),
             qPrintable(output(other)));
    // The firmware a killed build may have been writing is not handed over as it is.
    QVERIFY(other.projectsManager()->currentProject()->firmwareIsCurrent());
    QVERIFY(killedInItsBuild());
    QVERIFY(!other.projectsManager()->currentProject()->firmwareIsCurrent());
}

void tst_BuildFlows::headerChangesRebuildWhatIncludesThem_data()
{
    QTest::addColumn<QString>("board");
    QTest::addColumn<QString>("header");
    QTest::addColumn<QStringList>("rebuilt"); // the sources compiled again, no others
    QTest::addColumn<QStringList>("kept");
    QTest::newRow("AVR, a header all include")
        << "AVR Blinky"
        << "led.h" << QStringList{"main.c", "led.c"} << QStringList{};
    QTest::newRow("AVR, a header one includes")
        << "AVR Blinky"
        << "board.h" << QStringList{"main.c"} << QStringList{"led.c"};
    // make's own characters in its name, which the compiler writes into main.c's list as they are
    QTest::newRow("8051, a header one includes")
        << "8051 Blinky"
        << "board (a=b%c:d;e).h" << QStringList{"main.c"} << QStringList{"delay.c"};
}

// The compilers tell the build which headers each source includes: a changed header rebuilds
// exactly the sources that include it, and one that is no more stops nothing.
void tst_BuildFlows::headerChangesRebuildWhatIncludesThem()
{
    QFETCH(QString, board);
    QFETCH(QString, header);
    QFETCH(QStringList, rebuilt);
    QFETCH(QStringList, kept);
    const QString path = copyBoard(board, QStringLiteral("board"));
    const QString folder = QFileInfo(path).absolutePath();
    const QString own = header == QLatin1String("led.h") ? QStringLiteral("board.h") : header;
    const QByteArray main = readFile(folder + QStringLiteral("/main.c"));
    QVERIFY(writeFile(folder + QLatin1Char('/') + own, "#define BOARD 1\n"));
    QVERIFY(writeFile(folder + QStringLiteral("/main.c"),
                      "#include \"" + own.toUtf8() + "\"\n" + main));
    SrcManager window;
    QVERIFY(openProject(window, path));
    window.projectsManager()->compileProject();
    QVERIFY2(output(window).contains(QStringLiteral("Compiled successfully.")),
             qPrintable(output(window)));
    // Built, with a design file: the simulator can take it.
    QVERIFY(output(window).contains(QStringLiteral("Click the VEXA icon")));
    // A FIFO where the compiler lists main.c's headers, which make would wait on for ever: the
    // question before a hand-off does not ask make, and the build makes the list again.
    QString list = folder + QStringLiteral("/Debug/main.d");
    if (!QFileInfo::exists(list))
        list = folder + QStringLiteral("/main.d");
    QVERIFY(QFile::remove(list));
    QCOMPARE(mkfifo(QFile::encodeName(list).constData(), 0600), 0);
    QElapsedTimer asked;
    asked.start();
    QVERIFY(!window.projectsManager()->currentProject()->firmwareIsCurrent());
    QVERIFY2(asked.elapsed() < 5000, qPrintable(QString::number(asked.elapsed())));
    window.projectsManager()->compileProject();
    QVERIFY2(output(window).contains(QStringLiteral(" main.c -o ")), qPrintable(output(window)));
    QVERIFY(QFileInfo(list).isFile());
    QFile changed(folder + QLatin1Char('/') + header);
    QVERIFY(changed.open(QIODevice::ReadWrite));
    QVERIFY(changed.setFileTime(QDateTime::currentDateTime().addSecs(60),
                                QFileDevice::FileModificationTime));
    changed.close();
    window.projectsManager()->compileProject();
    const QString lines = output(window);
    QVERIFY2(lines.contains(QStringLiteral("Compiled successfully.")), qPrintable(lines));
    for (const QString &source : std::as_const(rebuilt))
        QVERIFY2(lines.contains(QLatin1Char(' ') + source + QStringLiteral(" -o ")),
                 qPrintable(lines));
    for (const QString &source : std::as_const(kept))
        QVERIFY2(!lines.contains(QLatin1Char(' ') + source + QStringLiteral(" -o ")),
                 qPrintable(lines));
    // Typed into and not saved, the header is no part of the build, and the output says so;
    // the firmware is no longer taken as current by a hand-off.
    QVERIFY(changed.open(QIODevice::ReadWrite));
    QVERIFY(changed.setFileTime(QDateTime::currentDateTime().addSecs(-60),
                                QFileDevice::FileModificationTime));
    changed.close();
    QVERIFY(window.projectsManager()->currentProject()->firmwareIsCurrent());
    window.editors().openFileAt(folder + QLatin1Char('/') + own);
    SourceEditor *typed = window.tabs()->currentEditor();
    typed->insertAt(QStringLiteral("#error not saved\n"), 0, 0);
    QVERIFY(!window.projectsManager()->currentProject()->firmwareIsCurrent());
    window.projectsManager()->compileProject();
    QVERIFY2(output(window).contains(
                 own + QStringLiteral(" has unsaved changes, which this build does not see."))
                 && output(window).contains(QStringLiteral("Compiled successfully.")),
             qPrintable(output(window)));
    typed->undo();
    QVERIFY(!typed->isModified());

    // The other source renamed in the tree to a name whose output keeps its name: the list of
    // what it included names the old source, which is no more.
    Project *project = window.projectsManager()->currentProject();
    const QString other = board.startsWith(QLatin1String("AVR")) ? QStringLiteral("led.c")
                                                                 : QStringLiteral("delay.c");
    for (int i = 0; i < project->fileCount(); ++i) {
        if (project->relativeFilePath(i) == other)
            project->fileAt(i)->item->setText(0,
                                              QFileInfo(other).baseName() + QStringLiteral(".v2.c"));
    }
    const QString renamed = QFileInfo(other).baseName() + QStringLiteral(".v2.c");
    QVERIFY(QFileInfo::exists(folder + QLatin1Char('/') + renamed));
    window.projectsManager()->compileProject();
    const QString again = output(window);
    QVERIFY2(again.contains(QStringLiteral("Compiled successfully."))
                 && again.contains(QLatin1Char(' ') + renamed + QStringLiteral(" -o ")),
             qPrintable(again));
    QVERIFY(QFile::remove(folder + QLatin1Char('/') + own));
    QVERIFY(writeFile(folder + QStringLiteral("/main.c"), main));
    QVERIFY2(build(window), qPrintable(output(window)));
}

QTEST_MAIN(tst_BuildFlows)
#include "tst_buildflows.moc"

void tst_BuildFlows::messagesMarkAndLeadToTheirLines_data()
{
    QTest::addColumn<QString>("board");
    QTest::addColumn<QString>("file");
    QTest::addColumn<QByteArray>("broken"); // put in place of the last line
    QTest::addColumn<QList<int>>("errors"); // the lines of the errors, then of the warnings
    QTest::addColumn<QList<int>>("warnings");
    QTest::addColumn<QList<int>>("visits"); // the lines F4 goes to, in turn
    QTest::addColumn<QString>("link");      // the first error's line and column (0: none given)
    QTest::addColumn<int>("column");        // where its link puts the cursor, from one
    // The column of a message counts bytes; the editor counts characters.
    const QByteArray c
        = "int spare(void)\n{\n    int unused;\n    return /* \xc3\xa4 */ undeclared_name;\n}\n";
    // gcc adds a note (no error) to the error and warns of the missing return at the end; sdcc
    // names the unused variable where it gives up on the function.
    QTest::newRow("avr-gcc") << "AVR Blinky"
                             << "main.c" << c << QList<int>{36} << QList<int>{35, 37}
                             << QList<int>{36, 36, 35, 37} << "36.21" << 20;
    // Told to colour them, gcc writes its messages in escape sequences.
    QTest::newRow("avr-gcc, coloured") << "AVR Blinky"
                                       << "main.c" << c << QList<int>{36} << QList<int>{35, 37}
                                       << QList<int>{36, 36, 35, 37} << "36.21" << 20;
    QTest::newRow("gputils") << "PIC16 Blinky"
                             << "main.asm"
                             << QByteArray("        tris    PORTB\n        goto    nowhere\n"
                                           "        END\n")
                             << QList<int>{26} << QList<int>{25} << QList<int>{25, 26} << "26.0"
                             << 1;
    QTest::newRow("sdcc") << "8051 Blinky"
                          << "main.c" << c << QList<int>{16} << QList<int>{16} << QList<int>{16, 16}
                          << "16.0" << 1;
}

// A build with errors: each message marks its line in the editor, with the message as its
// text; F4 and Shift+F4 go round the messages, opening each at its line, and an error's link
// in the output opens its line and column; the closing line counts them. Rebuild after the fix: no marks, and the code size the compiler's own tools
// give, with the controller's share.
void tst_BuildFlows::messagesMarkAndLeadToTheirLines()
{
    QFETCH(QString, board);
    QFETCH(QString, file);
    QFETCH(QByteArray, broken);
    QFETCH(QList<int>, errors);
    QFETCH(QList<int>, warnings);
    QFETCH(QList<int>, visits);
    QFETCH(QString, link);
    QFETCH(int, column);
    const QString path = copyBoard(board);
    const QString source = QFileInfo(path).absolutePath() + QLatin1Char('/') + file;
    const QByteArray original = readFile(source);
    QByteArray lines = original.trimmed();
    lines = lines.left(lines.lastIndexOf('\n') + 1) + broken;
    if (file.endsWith(QLatin1String(".c")))
        lines = original + broken;
    QVERIFY(writeFile(source, lines));

    SrcManager window;
    Project *project = openProject(window, path);
    QVERIFY(project);
    if (QByteArray(QTest::currentDataTag()).contains("coloured"))
        setOption(*project, QStringLiteral("GCC"), "-fdiagnostics-color=always", QString());
    QVERIFY(!build(window));
    const QString text = output(window);
    const auto counted = [](int n, const char *one, const char *many) {
        return n == 1 ? QString::fromLatin1(one) : QString::fromLatin1(many).arg(n);
    };
    const QString closing = QStringLiteral("Build failed: %1, %2 (")
                                .arg(counted(int(errors.size()), "1 error", "%1 errors"),
                                     counted(int(warnings.size()), "1 warning", "%1 warnings"));
    QVERIFY2(text.contains(closing), qPrintable(text));

    // F4 opens the file at the first message's line; the marks are there.
    const CommandActions &a = window.actions();
    a.nextError->trigger();
    SourceEditor *editor = window.tabs()->currentEditor();
    QVERIFY(editor && editor->refersTo(source));
    int line = 0;
    int index = 0;
    editor->getCursorPosition(&line, &index);
    QCOMPARE(line + 1, visits.first());
    QCOMPARE(editor->buildMarkCount(), int(errors.size() + warnings.size()));
    // Set up as when seen (folding takes a margin): a margin of width shows both marks.
    editor->ensureSetUp();
    bool shown = false;
    for (int margin = 0; margin < editor->margins(); ++margin)
        shown = shown
                || (editor->marginWidth(margin) > 0 && (editor->marginMarkerMask(margin) & 3) == 3);
    QVERIFY(shown);
    for (int error : errors) {
        QVERIFY(editor->markersAtLine(error - 1) & 1);
        QVERIFY2(editor->buildMarksAt(error)
                     .join(QLatin1Char(' '))
                     .contains(QStringLiteral("rror"), Qt::CaseInsensitive),
                 qPrintable(editor->buildMarksAt(error).join(QLatin1Char('|'))));
    }
    for (int warning : warnings) {
        QVERIFY(editor->markersAtLine(warning - 1) & 2);
        QVERIFY(editor->buildMarksAt(warning)
                    .join(QLatin1Char(' '))
                    .contains(QStringLiteral("arning"), Qt::CaseInsensitive));
    }
    // Round the end both ways.
    a.previousError->trigger();
    editor->getCursorPosition(&line, &index);
    QCOMPARE(line + 1, visits.last());
    for (int visit : visits) {
        a.nextError->trigger();
        editor->getCursorPosition(&line, &index);
        QCOMPARE(line + 1, visit);
    }
    // The first error's link, clicked in the output window.
    QString href;
    const OutTextEdit *view = window.outWindow()->textView();
    for (int i = view->lineCount() - 1; i >= 0; --i) {
        if (view->lineFormat(i).isAnchor() && view->lineText(i).contains(QStringLiteral("rror")))
            href = view->lineFormat(i).anchorHref();
    }
    QCOMPARE(href, source + QLatin1Char('#') + link);
    editor->setCursorPosition(0, 0);
    window.outWindow()->textView()->anchorClicked(QUrl(href));
    QCOMPARE(window.tabs()->currentEditor(), editor);
    editor->getCursorPosition(&line, &index);
    QCOMPARE(QStringLiteral("%1.%2").arg(line + 1).arg(index + 1),
             link.section(QLatin1Char('.'), 0, 0) + QLatin1Char('.') + QString::number(column));
    // Read again after another program added a line at the start: the marks go down with their
    // lines, there too when the file is closed and opened again, and back up when the other
    // program takes the line away.
    const QByteArray saved = readFile(source);
    const auto markedBelow = [&](int by) {
        for (int marked : errors + warnings)
            QVERIFY2(!editor->buildMarksAt(marked + by).isEmpty(),
                     qPrintable(QString::number(marked)));
        QCOMPARE(editor->buildMarkCount(), int(errors.size() + warnings.size()));
    };
    QVERIFY(writeFile(source, "\n" + saved));
    QTRY_COMPARE(editor->lines(), lines.count('\n') + 2);
    markedBelow(1);
    QCOMPARE(editor->buildMarksAt(1), QStringList());
    a.closeFile->trigger();
    window.editors().openFileAt(source);
    editor = window.tabs()->currentEditor();
    markedBelow(1);
    QVERIFY(writeFile(source, saved));
    QTRY_COMPARE(editor->lines(), lines.count('\n') + 1);
    markedBelow(0);
    // A line typed above moves the marks with their lines.
    const int first = std::min(errors.first(), warnings.first());
    editor->insertAt(QStringLiteral("\n"), 0, 0);
    QVERIFY(editor->buildMarksAt(first).isEmpty());
    QVERIFY(!editor->buildMarksAt(first + 1).isEmpty());
    // The link leads to its mark there, and onto its line when the line is cut short of the
    // message's column.
    const int moved = errors.first(); // counted from zero, the line it went to
    editor->setSelection(moved, 0, moved, int(editor->text(moved).size()) - 1);
    editor->removeSelectedText();
    window.outWindow()->textView()->anchorClicked(QUrl(href));
    editor->getCursorPosition(&line, &index);
    QCOMPARE(line, moved);
    QCOMPARE(index, 0);

    // Fixed in the editor, then Rebuild: saved, cleaned, built, the marks gone.
    editor->setText(QString::fromLocal8Bit(original));
    a.rebuildProject->trigger();
    const QString rebuilt = output(window);
    QVERIFY2(rebuilt.contains(QStringLiteral("Cleaned."))
                 && rebuilt.contains(QStringLiteral("Compiled successfully."))
                 && rebuilt.contains(QStringLiteral("Build finished: 0 errors, 0 warnings (")),
             qPrintable(rebuilt));
    QCOMPARE(readFile(source), original);
    QCOMPARE(editor->buildMarkCount(), 0);

    // The code size as the tools count it.
    const QString hex = project->targetPath();
    const auto run = [](const QString &program, const QStringList &arguments) {
        QProcess tool;
        tool.start(program, arguments);
        tool.waitForFinished();
        return QString::fromLocal8Bit(tool.readAllStandardOutput());
    };
    QString expected;
    if (board.startsWith(QLatin1String("AVR"))) {
        const QString elf = QFileInfo(hex).absolutePath() + QStringLiteral("/firmware.elf");
        const QString sizes = run(QStringLiteral("avr-size"),
                                  {QStringLiteral("-C"), QStringLiteral("--mcu=atmega328p"), elf});
        const QRegularExpression full(
            QStringLiteral("(Program|Data): +([0-9]+) bytes \\(([0-9.]+)% Full"));
        auto it = full.globalMatch(sizes);
        const QRegularExpressionMatch program = it.next();
        const QRegularExpressionMatch data = it.next();
        expected = QStringLiteral("Program memory: %1 bytes (%2% of 32768). Data memory: %3 bytes "
                                  "(%4% of 2048).")
                       .arg(program.captured(2),
                            program.captured(3),
                            data.captured(2),
                            data.captured(3));
    } else {
        // objdump reads a HEX file as one section for each run of bytes.
        const QString sections
            = run(QStringLiteral("objdump"),
                  {QStringLiteral("-h"), QStringLiteral("-b"), QStringLiteral("ihex"), hex});
        const QRegularExpression section(QStringLiteral("\\.sec[0-9]+ +([0-9a-f]+) +([0-9a-f]+)"));
        qint64 bytes = 0;
        for (auto it = section.globalMatch(sections); it.hasNext();) {
            const QRegularExpressionMatch match = it.next();
            // Past the PIC16's program memory lie its configuration words.
            if (match.captured(2).toLongLong(nullptr, 16) < 0x4000)
                bytes += match.captured(1).toLongLong(nullptr, 16);
        }
        const bool pic = board.startsWith(QLatin1String("PIC"));
        const qint64 units = pic ? bytes / 2 : bytes;
        expected = (pic ? QStringLiteral("Program memory: %1 words (%2% of 8192). Data memory: 2 "
                                         "bytes (0.5% of 368).")
                        : QStringLiteral("Program memory: %1 bytes (%2% of 8192). Data memory: "))
                       .arg(units)
                       .arg(QString::number(100.0 * double(units) / 8192, 'f', 1));
    }
    QVERIFY2(rebuilt.contains(expected), qPrintable(expected + QLatin1Char('\n') + rebuilt));
}
