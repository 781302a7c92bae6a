// Builds through the main window as a user makes them, with the real compilers: whatever came
// before (a configuration sharing the folder, a restart after a settings change, a project
// saved and opened again, options set before the first source), F7 gives the firmware the
// project describes, and a build that did not write it says so.

#include "app/srcmanager.h"
#include "build/buildproject.h"
#include "build/ui/outtextedit.h"
#include "build/ui/outwindow.h"
#include "common/fakemainservices.h"
#include "common/windowflows.h"
#include "core/settingsstore.h"
#include "core/ui/commandactions.h"
#include "project/ui/project.h"
#include "project/ui/projectsmanager.h"

#include <QApplication>
#include <QComboBox>
#include <QDialog>
#include <QDirIterator>
#include <QLineEdit>
#include <QPushButton>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>

using namespace WindowFlows;

class tst_BuildFlows : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void configurationsSharingAFolderBuildTheirOwn();
    void restartAfterSettingsRebuilds_data();
    void restartAfterSettingsRebuilds();
    void reopenedProjectBuildsEverySource();
    void optionsBeforeTheFirstSource();
    void shippedConfigurationsInRealUse_data();
    void shippedConfigurationsInRealUse();
    void absoluteAssemblyHandsOverItsHexFile();
    void hostileProjectsRunNothing_data();
    void hostileProjectsRunNothing();

private:
    QString copyBoard(const QString &board)
    {
        return WindowFlows::copyBoard(board, m_dir->filePath(QStringLiteral("board")));
    }
    static bool build(SrcManager &window);
    // The firmware the project gives when built from nothing: clean, then build.
    static QByteArray cleanBuild(SrcManager &window);

    std::unique_ptr<QTemporaryDir> m_dir;
};

void tst_BuildFlows::initTestCase()
{
    isolateSettings();
}

void tst_BuildFlows::init()
{
    WindowFlows::freshSettings();
    m_dir = std::make_unique<QTemporaryDir>();
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
    return readAll(window.projectsManager()->currentProject()->targetPath());
}

// A copy of "Debug" keeps its target and so its folder; built at -O2, it must not leave its
// objects for Debug to link, nor Debug its objects for the copy.
void tst_BuildFlows::configurationsSharingAFolderBuildTheirOwn()
{
    const QString path = copyBoard(QStringLiteral("AVR Blinky"));
    SrcManager window;
    Project *project = openProject(window, path);
    QVERIFY(project);
    QVERIFY2(build(window), qPrintable(output(window)));
    const QByteArray debug = readAll(project->targetPath());
    QVERIFY(!debug.isEmpty());

    copyConfiguration(*project, QStringLiteral("Fast"));
    window.projectsManager()->selectConfiguration(QStringLiteral("Debug"));
    QComboBox *selector = window.configCombo();
    selector->setCurrentIndex(selector->findText(QStringLiteral("Fast")));
    QCOMPARE(project->activeConfiguration()->name(), QStringLiteral("Fast"));
    setOption(*project, QStringLiteral("GCC"), QStringLiteral("-O"), QStringLiteral("2"));
    QVERIFY2(build(window), qPrintable(output(window)));
    QVERIFY2(output(window).contains(QStringLiteral(" -O2 ")), qPrintable(output(window)));
    const QByteArray fast = readAll(project->targetPath());
    QVERIFY(fast != debug);

    selector->setCurrentIndex(selector->findText(QStringLiteral("Debug")));
    QVERIFY2(build(window), qPrintable(output(window)));
    QCOMPARE(readAll(project->targetPath()), debug);
    selector->setCurrentIndex(selector->findText(QStringLiteral("Fast")));
    QVERIFY2(build(window), qPrintable(output(window)));
    QCOMPARE(readAll(project->targetPath()), fast);
    // Nothing changed since: nothing is made again.
    QVERIFY(build(window));
    QVERIFY2(output(window).contains(QStringLiteral("Already compiled, target is up to date.")),
             qPrintable(output(window)));
    // A build of another configuration than the selector shows (the Project Settings left it
    // active) brings the selector to it.
    project->setActiveConfiguration(0);
    QVERIFY(project->compile());
    QCOMPARE(selector->currentText(), QStringLiteral("Debug"));
}

void tst_BuildFlows::restartAfterSettingsRebuilds_data()
{
    QTest::addColumn<QString>("controller");
    QTest::addColumn<QString>("clock");
    QTest::addColumn<QString>("level");
    QTest::addColumn<QString>("seen"); // on the compiler's command lines after the restart
    QTest::newRow("an option") << ""
                               << ""
                               << "2"
                               << " -O2 ";
    QTest::newRow("the controller") << "ATmega168"
                                    << ""
                                    << ""
                                    << "-mmcu=atmega168";
    QTest::newRow("the clock") << ""
                               << "8MHz"
                               << ""
                               << "-DF_CPU=8000000UL";
}

// Project Settings changed and saved, the program closed and started again: F7 builds for the
// new settings, not "Already compiled".
void tst_BuildFlows::restartAfterSettingsRebuilds()
{
    QFETCH(QString, controller);
    QFETCH(QString, clock);
    QFETCH(QString, level);
    QFETCH(QString, seen);
    const QString path = copyBoard(QStringLiteral("AVR Blinky"));
    {
        SrcManager window;
        QVERIFY(openProject(window, path));
        QVERIFY2(build(window), qPrintable(output(window)));
        QTimer::singleShot(0, &window, [&] {
            auto *dialog = qobject_cast<QDialog *>(QApplication::activeModalWidget());
            if (!dialog)
                return;
            const std::shared_ptr<void> closeAnyway(nullptr, [dialog](void *) {
                if (dialog->isVisible())
                    dialog->reject();
            });
            if (!controller.isEmpty()) {
                auto *combo = dialog->findChild<QComboBox *>(QStringLiteral("controllerCombo"));
                combo->setCurrentIndex(combo->findText(controller));
            }
            if (!clock.isEmpty()) {
                auto *edit = dialog->findChild<QLineEdit *>(QStringLiteral("clockFrequency"));
                edit->selectAll();
                QTest::keyClicks(edit, clock);
            }
            auto *table = dialog->findChild<QTableWidget *>(QStringLiteral("optionsTable"));
            for (int row = 0; row < table->rowCount() && !level.isEmpty(); ++row) {
                if (table->item(row, 1)->text() == QLatin1String("-O")) {
                    auto *choice = qobject_cast<QComboBox *>(table->cellWidget(row, 2));
                    choice->setCurrentIndex(choice->findText(level));
                }
            }
            QTest::mouseClick(dialog->findChild<QPushButton *>(QStringLiteral("okButton")),
                              Qt::LeftButton);
        });
        window.actions().projectSettings->trigger();
        window.actions().saveProject->trigger();
    }
    SrcManager window;
    QVERIFY(openProject(window, path));
    QVERIFY2(build(window), qPrintable(output(window)));
    const QString text = output(window);
    QVERIFY2(!text.contains(QStringLiteral("Already compiled")), qPrintable(text));
    QVERIFY2(text.contains(seen), qPrintable(text));
    const QByteArray firmware = readAll(window.projectsManager()->currentProject()->targetPath());
    QCOMPARE(cleanBuild(window), firmware);
}

// Sources of every kind the compiler takes, saved and opened again: the same Makefile, and a
// build that compiles each with its own step (the assembler's "-x assembler-with-cpp" for ".s").
void tst_BuildFlows::reopenedProjectBuildsEverySource()
{
    const QString path = copyBoard(QStringLiteral("AVR Blinky"));
    const QString folder = QFileInfo(path).absolutePath();
    QVERIFY(writeAll(folder + QStringLiteral("/start.s"),
                     ".global start_value\nstart_value:\n ldi r24, 7\n ret\n"));
    QVERIFY(writeAll(folder + QStringLiteral("/io.S"),
                     "#include <avr/io.h>\n.global io_value\nio_value:\n"
                     " in r24, _SFR_IO_ADDR(PINB)\n ret\n"));
    QByteArray makefile;
    QByteArray firmware;
    {
        SrcManager window;
        Project *project = openProject(window, path);
        QVERIFY(project);
        QVERIFY(project->addFile(folder + QStringLiteral("/start.s")));
        QVERIFY(project->addFile(folder + QStringLiteral("/io.S")));
        QVERIFY2(build(window), qPrintable(output(window)));
        makefile = readAll(folder + QStringLiteral("/Debug/Makefile"));
        firmware = readAll(project->targetPath());
        QVERIFY2(makefile.contains("-x assembler-with-cpp -MMD -MP $(GCCFLAGS)  $(if "
                                   "$(CLOCK),-DF_CPU=$(CLOCK)UL) start.s"),
                 makefile.constData());
    }
    SrcManager window;
    QVERIFY(openProject(window, path));
    QCOMPARE(cleanBuild(window), firmware);
    QCOMPARE(readAll(folder + QStringLiteral("/Debug/Makefile")), makefile);
}

// Options set in Project Settings while the project has no source yet: sources added later
// still get what the target needs (the controller above all), with the user's option in place
// of the default one.
void tst_BuildFlows::optionsBeforeTheFirstSource()
{
    const QString folder = m_dir->filePath(QStringLiteral("empty"));
    QDir().mkpath(folder);
    const QString path = folder + QStringLiteral("/empty.dyxp");
    QVERIFY(writeAll(path,
                     "<PROJECT><FILES/><CONFIGURATION NAME=\"Debug\" COMPILER=\"GNU AVR GCC\" "
                     "TARGET=\"Debug\"><CONTROLLER FAMILY=\"AVR\" TYPE=\"ATmega328P\" "
                     "CLOCK=\"16MHz\"/></CONFIGURATION></PROJECT>"));
    QVERIFY(writeAll(folder + QStringLiteral("/main.c"),
                     "#include <avr/io.h>\nextern unsigned char io_value(void);\n"
                     "int main(void) { DDRB = io_value(); for (;;) {} }\n"));
    QVERIFY(writeAll(folder + QStringLiteral("/io.S"),
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
    QTest::newRow("avr-gcc, a name with a blank") << "AVR Blinky"
                                                  << "extra part.c" << QStringList() << "";
    QTest::newRow("gputils, a name with a blank") << "PIC16 Blinky"
                                                  << "extra part.asm" << QStringList() << "";
    QTest::newRow("sdcc, a name with a blank") << "8051 Blinky"
                                               << "extra part.c" << QStringList() << "";
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
    if (source.endsWith(QLatin1String(".c")))
        QVERIFY(writeAll(added, "unsigned char extra_value(void) { return 5; }\n"));
    else if (source.endsWith(QLatin1String(".asm")))
        QVERIFY(writeAll(added,
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
        QVERIFY(readAll(firmware).contains("FF3FFF3FFF3F"));
}

// gputils' absolute assembly ends in a symbol file; the simulator is given the HEX file it
// writes beside it.
void tst_BuildFlows::absoluteAssemblyHandsOverItsHexFile()
{
    const QString folder = m_dir->filePath(QStringLiteral("absolute"));
    QDir().mkpath(folder);
    const QString path = folder + QStringLiteral("/absolute.dyxp");
    QVERIFY(writeAll(path,
                     "<PROJECT><FILES><FILE NAME=\"blink.asm\" GROUP=\"Source Files\"/></FILES>"
                     "<CONFIGURATION NAME=\"Debug\" COMPILER=\"GNU PIC Utilities\" "
                     "TARGET=\"Absolute\"><CONTROLLER FAMILY=\"PIC16\" TYPE=\"PIC16F877A\" "
                     "CLOCK=\"4MHz\"/></CONFIGURATION></PROJECT>"));
    QVERIFY(writeAll(folder + QStringLiteral("/blink.asm"),
                     "        #include <p16f877a.inc>\n        #include \"step.inc\"\n"
                     "        org 0\nstart:  movlw STEP\n        addwf PORTB, f\n"
                     "        goto start\n        end\n"));
    QVERIFY(writeAll(folder + QStringLiteral("/step.inc"), "STEP equ 1\n"));
    SrcManager window;
    Project *project = openProject(window, path);
    QVERIFY(project);
    QVERIFY2(build(window), qPrintable(output(window)));
    QCOMPARE(project->targetPath(), folder + QStringLiteral("/Absolute/Debug.hex"));
    const QByteArray first = readAll(project->targetPath());
    QVERIFY(first.startsWith(":"));
    // The included file changed: the source is assembled again.
    QVERIFY(writeAll(folder + QStringLiteral("/step.inc"), "STEP equ 2\n"));
    QVERIFY2(build(window), qPrintable(output(window)));
    const QByteArray second = readAll(project->targetPath());
    QVERIFY(second != first);
    QCOMPARE(cleanBuild(window), second);
}

void tst_BuildFlows::hostileProjectsRunNothing_data()
{
    QTest::addColumn<QString>("clock");
    QTest::addColumn<QStringList>("option"); // tool, name, value
    QTest::addColumn<QString>("source");     // a file added to the project
    QTest::addColumn<QString>("result");     // a line of the output; "" for a build that works
    const QString notAFrequency = QStringLiteral("is not a frequency");
    QTest::newRow("a clock with a command")
        << "16000000;touch\tPWN;" << QStringList() << "" << notAFrequency;
    QTest::newRow("a clock with a make function")
        << "$(shell\ttouch\tPWN)" << QStringList() << "" << notAFrequency;
    QTest::newRow("an option name with a command")
        << "" << QStringList{"GCC", "-DX=1;touch PWN_o;", ""} << ""
        << "Error code";
    QTest::newRow("an option value in backquotes")
        << "" << QStringList{"GCC", "-DY=", "`touch PWN_b`"} << ""
        << "Error code";
    QTest::newRow("an option with a make function")
        << "" << QStringList{"GCC", "-DZ=$(shell touch PWN_m)", ""} << ""
        << "Error code";
    QTest::newRow("an option with a comment sign and quotes")
        << "" << QStringList{"GCC", "-DHASH=", "\"1#2\""} << ""
        << "";
    QTest::newRow("a source a compiler would read as its options")
        << "" << QStringList() << "@opts.c"
        << "";
    QTest::newRow("a source a compiler would read as an option") << "" << QStringList() << "-x.c"
                                                                 << "";
}

// A project file is data that users download and share: building it runs the compilers on its
// sources and nothing else, whatever its clock, options and file names hold.
void tst_BuildFlows::hostileProjectsRunNothing()
{
    QFETCH(QString, clock);
    QFETCH(QStringList, option);
    QFETCH(QString, source);
    QFETCH(QString, result);
    const QString path = copyBoard(QStringLiteral("AVR Blinky"));
    const QString folder = QFileInfo(path).absolutePath();
    // What gcc would read as its options from "@opts.c".
    QVERIFY(writeAll(folder + QStringLiteral("/opts.c"), "-fplugin=./evil.so\n"));
    SrcManager window;
    Project *project = openProject(window, path);
    QVERIFY(project);
    if (!clock.isEmpty())
        project->activeConfiguration()->setClock(clock);
    if (!option.isEmpty())
        setOption(*project, option[0], option[1], option[2]);
    if (!source.isEmpty()) {
        QVERIFY(writeAll(folder + QLatin1Char('/') + source, "int extra_value = 3;\n"));
        QVERIFY(project->addFile(folder + QLatin1Char('/') + source));
    }
    project->setModified(true);
    const bool built = build(window);
    const QString text = output(window);
    QStringList planted;
    QDirIterator files(m_dir->path(),
                       {QStringLiteral("PWN*")},
                       QDir::Files,
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

QTEST_MAIN(tst_BuildFlows)
#include "tst_buildflows.moc"
