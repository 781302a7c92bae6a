// The simulator commands through the main window, against a stand-in VEXA and the real one:
// what is handed over, what starts, what the output says.

#include "app/srcmanager.h"
#include "build/ui/outtextedit.h"
#include "build/ui/outwindow.h"
#include "common/fakemainservices.h"
#include "common/scriptedprompts.h"
#include "common/sequence.h"
#include "common/testfiles.h"
#include "common/windowsuite.h"
#include "core/settingsstore.h"
#include "editor/ui/sourceeditor.h"
#include "editor/ui/srctabsholder.h"
#include "project/ui/project.h"
#include "project/ui/projectsmanager.h"
#include "project/ui/projecttreewidget.h"
#include "simulator/cirraneinterface.h"

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QDirIterator>
#include <QListWidget>
#include <QPushButton>
#include <QSettings>
#include <QSignalSpy>
#include <QTimer>
#include <QTreeWidgetItem>
#include <QTreeWidgetItemIterator>
#include <QtTest>

#include <csignal>

class tst_SimulatorFlows : public QObject, private WindowSuite
{
    Q_OBJECT

private slots:
    void initTestCase() { isolateSettings(); }
    void init() { freshStart(); }
    void simulatorCommandsFollowTheProject();
    void debugCommandsDriveTheSimulator_data();
    void debugCommandsDriveTheSimulator();
    void simulatorTakesTheFirmwareAsEdited();
    void openingWithoutSimulatorSaysSo();
    void openSampleBuildsAndRunsInVexa();
    void debuggingThroughTheIdeAndVexa();
    void randomSimulatorWorkKeepsOneVexaInStep_data();
    void randomSimulatorWorkKeepsOneVexaInStep();

private:
    // A simulator installation in the test's folder whose VEXA is the real one.
    QString realInstallation();
};

// The simulator commands need a project; the design-file commands also need the project to
// have no design file yet.
void tst_SimulatorFlows::simulatorCommandsFollowTheProject()
{
    const QString path = copyBoard(QStringLiteral("AVR Blinky"), QStringLiteral("board"));
    SrcManager window;
    const CommandActions &a = window.actions();
    const QList<QAction *> simulator = {a.openDebugger, a.startDebugging};
    const auto check = [&](const QList<QAction *> &actions, bool enabled, const char *state) {
        window.updateState();
        for (QAction *action : actions)
            QVERIFY2(action->isEnabled() == enabled, qPrintable(action->text() + " " + state));
    };
    check(simulator + QList<QAction *>{a.createDesignFile}, false, "without a project");
    check({a.stopSimulation, a.closeSimulator}, false, "without a simulator");
    Project *project = openProject(window, path);
    QVERIFY(project);
    check(simulator, true, "with a project");
    // The board's project has its design file already.
    check({a.createDesignFile, a.addDesignFile}, false, "with a design file");
    window.editors().openFileAt(QFileInfo(path).absolutePath() + QStringLiteral("/main.c"));
    QTest::keyClicks(window.tabs()->currentEditor(), QStringLiteral("x"));
    for (QAction *action : {a.openProject,
                            a.buildProject,
                            a.saveFile,
                            a.addNewFile,
                            a.gotoLine,
                            a.printFile,
                            a.find,
                            a.findNext,
                            a.replace,
                            a.editorConfiguration,
                            a.compilersConfiguration,
                            a.projectSettings,
                            a.newProject,
                            a.openSample,
                            a.help})
        QVERIFY2(action->isEnabled(), qPrintable(action->text()));
}

void tst_SimulatorFlows::debugCommandsDriveTheSimulator_data()
{
    QTest::addColumn<QString>("title");
    QTest::addColumn<bool>("silent");
    QTest::addColumn<QStringList>("expected");
    QTest::addColumn<bool>("byDoubleClick"); // the design file's item instead of F5
    // F5 starts the simulator and brings it to the front; F10 stops any simulation and sends
    // the hand-off again with AUTORUN set; stop and close send their commands.
    QTest::newRow("a simulator window")
        << "VEXA - board" << false
        << QStringList{"FRONT", "SEND 2", "SEND 4 AUTORUN=1", "FRONT", "SEND 2", "SEND 3"} << false;
    QTest::newRow("double-click on the design file")
        << "VEXA - board" << false
        << QStringList{"FRONT", "SEND 2", "SEND 4 AUTORUN=1", "FRONT", "SEND 2", "SEND 3"} << true;
    // A window whose title does not name VEXA is never sent anything.
    QTest::newRow("another program's window") << "Simulator" << false << QStringList{} << false;
    // A simulator that never answers costs each command its bound, and the IDE goes on.
    QTest::newRow("a simulator that hangs") << "VEXA" << true << QStringList{} << false;
}

// The debug commands through the main window, against a stand-in simulator that logs what it
// is sent: the commands in order and the output lines the user sees.
void tst_SimulatorFlows::debugCommandsDriveTheSimulator()
{
    QFETCH(QString, title);
    QFETCH(bool, silent);
    QFETCH(QStringList, expected);
    QFETCH(bool, byDoubleClick);
    const QString path = copyBoard(QStringLiteral("AVR Blinky"), QStringLiteral("board"));
    useStandInSimulator(title, silent);
    SrcManager window;
    window.projectsManager()->simulatorLink()->setSendBound(300);
    QVERIFY(openProject(window, path));
    const CommandActions &a = window.actions();
    QVERIFY(a.openDebugger->isEnabled());
    // Breakpoints of the session: in the project's file, and in a file of another project;
    // the simulator is given the project's alone.
    const QString main = QFileInfo(path).absolutePath() + QStringLiteral("/main.c");
    const QString other
        = QFileInfo(copyBoard(QStringLiteral("8051 Blinky"), QStringLiteral("other"))).absolutePath()
          + QStringLiteral("/main.c");
    // A header outside both that the firmware stopped in (a library's) is the firmware's too.
    const QString header = m_dir->filePath(QStringLiteral("lib/delay.h"));
    QVERIFY(QDir().mkpath(QFileInfo(header).absolutePath()) && writeFile(header, "a\nb\nc\n"));
    emit window.projectsManager()->simulatorLink()->debugStopped(QFileInfo(header).absolutePath()
                                                                     + QStringLiteral(
                                                                         "/../lib/delay.h"),
                                                                 2);
    emit window.projectsManager()->simulatorLink()->debugResumed();
    QVERIFY(window.tabs()->closeFile(header, false));
    window.tabs()->restoreBreakpoints({{main, 28}, {other, 5}, {header, 3}});
    if (byDoubleClick) {
        Project *project = window.projectsManager()->currentProject();
        QTreeWidgetItem *design = nullptr;
        for (QTreeWidgetItemIterator it(project->rootItem()); *it; ++it) {
            if ((*it)->text(0) == QLatin1String("AVR Blinky.DSN"))
                design = *it;
        }
        QVERIFY(design);
        emit window.projectsManager()->tree()->itemDoubleClicked(design, 0);
        QVERIFY(!window.tabs()->currentEditor()); // not opened as text
    } else {
        a.openDebugger->trigger();
    }
    QVERIFY(window.projectsManager()->simulatorLink()->isRunning());
    a.startDebugging->trigger();
    QCOMPARE(window.projectsManager()->simulatorLink()->isDebugging(), expected.size() > 0);
    // Stop Simulation and Close Simulator in the Debug menu, while the simulator runs.
    window.updateState();
    QVERIFY(a.stopSimulation->isEnabled() && a.closeSimulator->isEnabled());
    a.stopSimulation->trigger();
    a.closeSimulator->trigger();
    const QString shown = output(window);
    QVERIFY2(shown.contains(QStringLiteral("Launched project design file in VEXA.")),
             qPrintable(shown));
    QCOMPARE(shown.contains(QStringLiteral("Debugging in VEXA started.")), expected.size() > 0);
    QVERIFY(shown.contains(QStringLiteral("Debugging stopped.")));
    QVERIFY(shown.contains(QStringLiteral("Closed VEXA.")));
    QCOMPARE(QString::fromUtf8(readFile(m_dir->filePath(QStringLiteral("stub.log"))))
                 .split(QLatin1Char('\n'), Qt::SkipEmptyParts),
             expected);
    const QStringList given = QString::fromUtf8(
                                  readFile(m_dir->filePath(QStringLiteral("stub.log.breaks"))))
                                  .split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    QCOMPARE(given.isEmpty(), expected.isEmpty());
    for (const QString &breakpoints : given)
        QCOMPARE(breakpoints, QStringLiteral("28 ") + main + QStringLiteral("|3 ") + header);
    // The hand-off file names the project's design, firmware and controller.
    QSettings handOff(window.projectsManager()->simulatorLink()->handOffPath(),
                      QSettings::IniFormat);
    QCOMPARE(handOff.value(QStringLiteral("CIRRANE/DESIGNFILE")).toString(),
             QFileInfo(path).absolutePath() + QStringLiteral("/AVR Blinky.DSN"));
    QCOMPARE(handOff.value(QStringLiteral("CIRRANE/DEVICE")).toString(),
             QStringLiteral("ATMEGA328P"));
    if (!expected.isEmpty())
        QTRY_VERIFY(!window.projectsManager()->simulatorLink()->isRunning());
}

// F5 and F10 hand over the firmware as the sources stand: never built, it is built first;
// nothing changed builds nothing; a file another program changed is built again. (Edits in the
// editor and failed builds are in the random sequence below.)
void tst_SimulatorFlows::simulatorTakesTheFirmwareAsEdited()
{
    const QString path = copyBoard(QStringLiteral("AVR Blinky"), QStringLiteral("board"));
    useStandInSimulator(QStringLiteral("VEXA - board"), false);
    SrcManager window;
    QVERIFY(openProject(window, path));
    const CommandActions &a = window.actions();
    const QString firmware = window.projectsManager()->currentProject()->targetPath();
    const QString compiled = QStringLiteral("Compiled successfully.");
    const auto runs = [this] {
        return QString::fromUtf8(readFile(m_dir->filePath(QStringLiteral("stub.log"))))
            .count(QStringLiteral("AUTORUN=1"));
    };
    // Never built: F5 builds first.
    a.openDebugger->trigger();
    QVERIFY2(output(window).contains(compiled), qPrintable(output(window)));
    QVERIFY(window.projectsManager()->simulatorLink()->isRunning());
    const QByteArray built = readFile(firmware);
    // Nothing changed: F10 runs it as it is.
    a.startDebugging->trigger();
    QCOMPARE(output(window).count(compiled), 1);
    QCOMPARE(runs(), 1);
    // A file changed by another program: make finds it newer than the firmware.
    const QString led = QFileInfo(path).absolutePath() + QStringLiteral("/led.c");
    QVERIFY(writeFile(led, readFile(led) + "\nint spare_led;\n"));
    QFile later(led);
    QVERIFY(later.open(QIODevice::ReadWrite)
            && later.setFileTime(QDateTime::currentDateTime().addSecs(2),
                                 QFileDevice::FileModificationTime));
    later.close();
    a.startDebugging->trigger();
    QVERIFY2(output(window).contains(QStringLiteral("led.c -o Debug/led.o")),
             qPrintable(output(window)));
    QVERIFY(readFile(firmware) != built);
    QCOMPARE(runs(), 2);
    a.closeSimulator->trigger();
}

// Opening a project without a simulator installation says so in the output window, and the
// project is open all the same; F5 says the same, and Open Sample asks nothing else.
void tst_SimulatorFlows::openingWithoutSimulatorSaysSo()
{
    const QString path = copyBoard(QStringLiteral("AVR Blinky"), QStringLiteral("board"));
    qputenv("DYX_REGISTRY", m_dir->filePath(QStringLiteral("no-registry.ini")).toLocal8Bit());
    SrcManager window;
    QVERIFY(openProject(window, path));
    const QString missing = QStringLiteral(
        "Cannot launch the design file as no Cirrane installation has been detected.");
    QCOMPARE(output(window).count(missing), 1);
    QVERIFY(window.projectsManager()->currentProject());
    // F5 says the same and starts nothing.
    window.actions().openDebugger->trigger();
    QCOMPARE(output(window).count(missing), 2);
    QVERIFY(!window.projectsManager()->simulatorLink()->isRunning());
    ScriptedPrompts prompts;
    window.actions().openSample->trigger();
    QCOMPARE(prompts.asked.size(), 1);
    QCOMPARE(prompts.asked.first().text, QStringLiteral("No Cirrane Installation Detected."));
    QCOMPARE(window.projectsManager()->projectCount(), 1);
    qunsetenv("DYX_REGISTRY");
}

// Open Sample through the window with a copy of the simulator suite the build lays out: the
// serial sample opens, builds with F7 and, run in VEXA, greets in the output window; opened
// again, it is a second copy, and the output says where.
void tst_SimulatorFlows::openSampleBuildsAndRunsInVexa()
{
    const QString installation = realInstallation();
    QVERIFY(!installation.isEmpty());
    // A read-only installation, as a system-wide one is.
    const auto setWritable = [&](bool writable) {
        QDirIterator folders(installation + QStringLiteral("/SAMPLES"),
                             QDir::Dirs | QDir::NoDotAndDotDot,
                             QDirIterator::Subdirectories);
        QStringList all{installation + QStringLiteral("/SAMPLES")};
        while (folders.hasNext())
            all.append(folders.next());
        for (const QString &folder : std::as_const(all))
            QFile::setPermissions(folder,
                                  QFile::ReadOwner | QFile::ExeOwner
                                      | (writable ? QFile::WriteOwner : QFile::Permissions()));
    };
    setWritable(false);
    const std::shared_ptr<void> restore(nullptr, [&](void *) { setWritable(true); });
    const QString projects = m_dir->filePath(QStringLiteral("projects"));
    QVERIFY(QDir().mkpath(projects));
    ScriptedPrompts prompts;
    prompts.fileNames << projects << projects;
    SrcManager window;
    window.projectsManager()->scanCompilers();
    QStringList listed;
    const auto chooseSerial = [&listed] {
        listed.clear();
        auto *dialog = qobject_cast<QDialog *>(QApplication::activeModalWidget());
        if (!dialog)
            return;
        auto *list = child<QListWidget>(dialog, "projectsListWidget");
        for (int i = 0; i < list->count(); ++i)
            listed.append(list->item(i)->text());
        const QList<QListWidgetItem *> serial = list->findItems(QStringLiteral("AVR Serial"),
                                                                Qt::MatchExactly);
        if (!serial.isEmpty())
            list->setCurrentItem(serial.first());
        QTest::mouseClick(child<QPushButton>(dialog, "okButton"), Qt::LeftButton);
        if (dialog->isVisible())
            dialog->reject();
    };
    QTimer::singleShot(0, &window, chooseSerial);
    window.actions().openSample->trigger();
    QVERIFY2(listed.contains(QStringLiteral("AVR Serial"))
                 && listed.contains(QStringLiteral("8051 Blinky")),
             qPrintable(listed.join(QLatin1String(", "))));
    // Opened as a copy in the folder chosen (the projects folder offered).
    Project *project = window.projectsManager()->currentProject();
    QVERIFY(project);
    QCOMPARE(project->filePath(), projects + QStringLiteral("/AVR Serial/AVR Serial.dyxp"));
    QCOMPARE(filesIn(projects + QStringLiteral("/AVR Serial")),
             filesIn(installation + QStringLiteral("/SAMPLES/AVR Serial")));
    window.actions().buildProject->trigger();
    QVERIFY2(output(window).contains(QStringLiteral("Compiled successfully.")),
             qPrintable(output(window)));
    QVERIFY(window.projectsManager()->simulate(0.1, QString()));
    QVERIFY2(output(window).contains(QStringLiteral("UART: Hello from the AVR")),
             qPrintable(output(window)));
    // The installation is as it was; a second opening makes a second copy.
    QVERIFY(!QFileInfo::exists(installation + QStringLiteral("/SAMPLES/AVR Serial/Debug")));
    QTimer::singleShot(0, &window, chooseSerial);
    window.actions().openSample->trigger();
    QCOMPARE(window.projectsManager()->currentProject()->filePath(),
             projects + QStringLiteral("/AVR Serial 2/AVR Serial.dyxp"));
    // Named by the same project name as the first, it says where it is.
    QVERIFY2(output(window).contains(
                 QStringLiteral("Copied the sample to %1/AVR Serial 2.").arg(projects)),
             qPrintable(output(window)));
}

QString tst_SimulatorFlows::realInstallation()
{
    const QString installation = m_dir->filePath(QStringLiteral("Cirrane"));
    if (!QDir().mkpath(installation + QStringLiteral("/BIN"))
        || !QFile::link(QStringLiteral(DYX_CIRRANE_DIR "/BIN/VEXA.EXE"),
                        installation + QStringLiteral("/BIN/VEXA.EXE"))
        || !copyTree(QStringLiteral(DYX_CIRRANE_DIR "/SAMPLES"), installation + "/SAMPLES"))
        return QString();
    qputenv("TEMP", m_dir->path().toLocal8Bit());
    SettingsStore store;
    store.setCirraneDirectory(installation);
    store.sync();
    return installation;
}

// A breakpoint set in the editor stops the board's firmware in the real VEXA at its line; the
// IDE opens and marks where it stopped, F5 and F10 continue and step while it is paused, and
// the steps go over the library's delay (built into its caller), into and out of the board's
// LED file, and on to the editor's line, the delay's too.
void tst_SimulatorFlows::debuggingThroughTheIdeAndVexa()
{
    QVERIFY(!realInstallation().isEmpty());
    const QString path = copyBoard(QStringLiteral("AVR Blinky"), QStringLiteral("board"));
    SrcManager window;
    window.projectsManager()->scanCompilers();
    QVERIFY(openProject(window, path));
    const CommandActions &a = window.actions();
    const QString main = QFileInfo(path).absolutePath() + QStringLiteral("/main.c");
    const int toggleLine = 28; // led_toggle(), then _delay_ms(500) on the next line
    QVERIFY(readFile(main).split('\n').value(toggleLine).contains("_delay_ms(500);"));
    window.editors().openFileAt(main, toggleLine);
    SourceEditor *editor = window.tabs()->currentEditor();
    a.toggleBreakpoint->trigger();
    QCOMPARE(editor->breakpointLines(), QList<int>{toggleLine});
    CirraneInterface *simulator = window.projectsManager()->simulatorLink();
    const std::shared_ptr<void> closeVexa(nullptr,
                                          [simulator](void *) { simulator->closeSimulator(); });
    window.updateState();
    QCOMPARE(a.startDebugging->shortcut(), QKeySequence(Qt::Key_F10));
    QVERIFY(!a.stepOver->isEnabled());

    // Open Debugger builds and starts VEXA, its debugger holding the firmware at its start:
    // no stop for the IDE, so F10 keeps starting. Start Debugging runs to the breakpoint.
    a.openDebugger->trigger();
    QTRY_VERIFY_WITH_TIMEOUT(simulator->isRunning(), 20000);
    // A build while VEXA runs hands it the firmware again, held at its start the same way.
    a.buildProject->trigger();
    QTest::qWait(1000);
    QVERIFY(!simulator->isPaused());
    QCOMPARE(a.startDebugging->shortcut(), QKeySequence(Qt::Key_F10));
    a.startDebugging->trigger();
    QTRY_VERIFY2_WITH_TIMEOUT(simulator->isPaused(), qPrintable(output(window)), 30000);
    QVERIFY2(output(window).contains(
                 QStringLiteral("VEXA stopped the firmware at main.c, line %1.").arg(toggleLine)),
             qPrintable(output(window)));
    QCOMPARE(window.tabs()->currentEditor()->filePath(), main);
    QCOMPARE(editor->executionLine(), toggleLine);
    QCOMPARE(a.continueDebugging->shortcut(), QKeySequence(Qt::Key_F5));
    QCOMPARE(a.stepOver->shortcut(), QKeySequence(Qt::Key_F10));
    QVERIFY(a.openDebugger->shortcut().isEmpty() && a.startDebugging->shortcut().isEmpty());
    QVERIFY(a.stepInto->isEnabled() && !a.pauseDebugging->isEnabled());
    // Lines typed above while paused: the firmware's lines are those it was built from, shown
    // where they have moved to, until the next build.
    int typed = 3;
    editor->insertAt(QStringLiteral("// noted\n// while\n// paused\n"), 0, 0);
    QCOMPARE(editor->executionLine(), toggleLine + typed);

    // The editor current once the firmware stopped again; null when it did not.
    QSignalSpy stops(simulator, &CirraneInterface::debugStopped);
    const auto stepAndWait = [&](QAction *action) -> SourceEditor * {
        const qsizetype before = stops.size();
        action->trigger();
        if (!QTest::qWaitFor([&] { return stops.size() > before; }, 10000))
            return nullptr;
        return window.tabs()->currentEditor();
    };
    // Over the call to the delay's line, and over the delay round to the loop's first line
    // again: never into the library's header.
    QCOMPARE(stepAndWait(a.stepOver), editor);
    QCOMPARE(editor->executionLine(), toggleLine + typed + 1);
    // The output's link to the stop (the last link) leads there too, not to the line's number.
    editor->setCursorPosition(0, 0);
    a.previousError->trigger();
    int cursorLine = 0;
    int cursorColumn = 0;
    editor->getCursorPosition(&cursorLine, &cursorColumn);
    QCOMPARE(cursorLine + 1, toggleLine + typed + 1);
    QCOMPARE(stepAndWait(a.stepOver), editor);
    QCOMPARE(editor->executionLine(), toggleLine + typed);
    // Into the board's LED file and out of it.
    SourceEditor *led = stepAndWait(a.stepInto);
    QVERIFY(led);
    QCOMPARE(QFileInfo(led->filePath()).fileName(), QStringLiteral("led.c"));
    QVERIFY(led->executionLine() > 0);
    // Closed and opened again while the firmware is paused there, it shows the mark again.
    const int ledLine = led->executionLine();
    const QString ledPath = led->filePath();
    QVERIFY(window.tabs()->closeFile(ledPath, false));
    window.editors().openFileAt(ledPath);
    led = window.tabs()->findEditor(ledPath);
    QCOMPARE(led->executionLine(), ledLine);
    QCOMPARE(stepAndWait(a.stepOut), editor);
    QVERIFY(editor->executionLine() - typed == toggleLine
            || editor->executionLine() - typed == toggleLine + 1);
    QCOMPARE(led->executionLine(), 0);
    // Run to Cursor, without the breakpoint: round the loop to the delay's line, which has no
    // code but the delay's.
    editor->setCursorPosition(toggleLine - 1 + typed, 0);
    a.toggleBreakpoint->trigger();
    QVERIFY(editor->breakpointLines().isEmpty());
    editor->setCursorPosition(toggleLine + typed, 0);
    window.updateState();
    QVERIFY(a.runToCursor->isEnabled());
    QCOMPARE(stepAndWait(a.runToCursor), editor);
    QCOMPARE(editor->executionLine(), toggleLine + typed + 1);
    // A breakpoint set again where the line has moved to stops the firmware on it, also when
    // the file was saved, closed and opened again meanwhile: the lines typed still move the
    // firmware's lines, for the breakpoints VEXA is given and for the mark.
    editor->setCursorPosition(toggleLine - 1 + typed, 0);
    a.toggleBreakpoint->trigger();
    QVERIFY(editor->save());
    QVERIFY(window.tabs()->closeFile(main, false));
    QVERIFY(window.tabs()->breakpointsAsBuilt().contains(std::pair{main, toggleLine}));
    window.editors().openFileAt(main);
    editor = window.tabs()->findEditor(main);
    QCOMPARE(editor->executionLine(), toggleLine + typed + 1);
    // And lines added above by another program (a checkout) while it is closed: once opened,
    // the firmware's lines are where the saved ones went.
    QVERIFY(window.tabs()->closeFile(main, false));
    QVERIFY(writeFile(main, "// checked\n// out\n" + readFile(main)));
    window.editors().openFileAt(main);
    editor = window.tabs()->findEditor(main);
    QCOMPARE(editor->executionLine(), toggleLine + typed + 3);
    typed += 2;
    QCOMPARE(stepAndWait(a.continueDebugging), editor);
    QCOMPARE(editor->executionLine(), toggleLine + typed);
    QCOMPARE(stops.last().at(1).toInt(), toggleLine); // as built
    a.toggleBreakpoint->trigger();
    QVERIFY(editor->breakpointLines().isEmpty());
    // Without a breakpoint the firmware runs on until paused; closing VEXA leaves no mark.
    a.continueDebugging->trigger();
    QTRY_VERIFY_WITH_TIMEOUT(!simulator->isPaused(), 10000);
    QTest::qWait(300);
    QVERIFY(!simulator->isPaused());
    window.updateState();
    QVERIFY(a.pauseDebugging->isEnabled());
    QCOMPARE(a.openDebugger->shortcut(), QKeySequence(Qt::Key_F5));
    a.pauseDebugging->trigger();
    QTRY_VERIFY_WITH_TIMEOUT(simulator->isPaused(), 10000);
    // The file renamed in the tree, Start Debugging from the menu: the firmware starts again
    // and stops at the breakpoint, in the file by its new name.
    window.tabs()->activateFile(main);
    editor->setCursorPosition(toggleLine - 1 + typed, 0);
    a.toggleBreakpoint->trigger();
    QVERIFY(WindowFlows::renameInTree(window, main, QStringLiteral("blink.c")));
    // Still paused in the delay: stepped on out of it, the stop shows in the file's tab by its
    // new name (the firmware was built with the old one).
    SourceEditor *stopped = nullptr;
    for (int i = 0; i < 4 && (!stopped || stopped->filePath().endsWith(QLatin1String(".h"))); ++i)
        stopped = stepAndWait(a.stepOver);
    QCOMPARE(stopped, editor);
    QVERIFY(editor->executionLine() - typed == toggleLine
            || editor->executionLine() - typed == toggleLine + 1);
    QCOMPARE(window.tabs()->count(), 3); // with the LED's file and the delay's header
    // Built again with the lines typed: the breakpoint is where the new build has it (not on
    // the greeting's line, which the line it had in the last build is now).
    a.startDebugging->trigger();
    QTRY_VERIFY2_WITH_TIMEOUT(output(window).contains(
                                  QStringLiteral("VEXA stopped the firmware at blink.c, line %1.")
                                      .arg(toggleLine + typed)),
                              qPrintable(output(window)),
                              30000);
    QCOMPARE(window.tabs()->currentEditor(), editor);
    QCOMPARE(editor->executionLine(), toggleLine + typed);
    // Stop Simulation ends the IDE's debugging, paused or running: its mark goes, and the stop
    // it makes is none the IDE shows, nor is the one before Start Debugging hands over again.
    const int stopsSaid = int(output(window).count(QStringLiteral("VEXA stopped the firmware")));
    a.stopSimulation->trigger();
    QTRY_VERIFY(!simulator->isPaused());
    QCOMPARE(editor->executionLine(), 0);
    a.toggleBreakpoint->trigger();
    QVERIFY(editor->breakpointLines().isEmpty());
    a.startDebugging->trigger();
    QTest::qWait(500);
    a.stopSimulation->trigger();
    a.startDebugging->trigger();
    QTest::qWait(1000);
    QCOMPARE(output(window).count(QStringLiteral("VEXA stopped the firmware")), stopsSaid);
    QVERIFY(!simulator->isPaused());
    QCOMPARE(a.startDebugging->shortcut(), QKeySequence(Qt::Key_F10));
    // Pause after a Stop: the IDE is shown where the firmware stands.
    a.stopSimulation->trigger();
    QVERIFY(a.pauseDebugging->isEnabled());
    a.pauseDebugging->trigger();
    QTRY_VERIFY_WITH_TIMEOUT(simulator->isPaused(), 10000);
    QCOMPARE(output(window).count(QStringLiteral("VEXA stopped the firmware")), stopsSaid + 1);
    // The design taken out of the project and a new one created while VEXA runs: VEXA closes
    // (the firmware's mark goes), is sent nothing more, and starts again on the new design,
    // which it fills with the board's parts.
    ScriptedPrompts prompts;
    Project *project = window.projectsManager()->currentProject();
    WindowFlows::clickInTree(window, project->designFile());
    prompts.answers << QMessageBox::Ok;
    a.removeFile->trigger();
    const QString second = QFileInfo(path).absolutePath() + QStringLiteral("/Second.DSN");
    prompts.fileNames << second;
    a.createDesignFile->trigger();
    QCOMPARE(project->designFile(), second);
    QVERIFY(simulator->isRunning());
    QCOMPARE(editor->executionLine(), 0);
    QTRY_VERIFY_WITH_TIMEOUT(QFileInfo(second).size() > 0, 20000);
    QVERIFY2(!output(window).contains(QStringLiteral("cannot be reached")),
             qPrintable(output(window)));
    // Saved elsewhere: VEXA goes on with the copy, which is not built yet. It says so as a
    // note, not an error, and keeps no firmware of the original's to run.
    const QString place = m_dir->filePath(QStringLiteral("elsewhere"));
    QVERIFY(QDir().mkpath(place));
    WindowFlows::saveProjectAs(window, prompts, place, QStringLiteral("copy"));
    const OutTextEdit *view = window.outWindow()->textView();
    const auto said = [view](OutTextEdit::Kind kind) {
        for (int i = 0; i < view->lineCount(); ++i) {
            if (view->lineKind(i) == kind && view->lineText(i).contains("does not exist: build"))
                return true;
        }
        return false;
    };
    QTRY_VERIFY2_WITH_TIMEOUT(said(OutTextEdit::Message), qPrintable(output(window)), 20000);
    QVERIFY(!said(OutTextEdit::Error));
    simulator->closeSimulator();
    QVERIFY(!simulator->isRunning());
}

// The stand-in simulators this test started that are alive now, found among all processes.
static QList<qint64> standInsAlive()
{
    QList<qint64> alive;
    const QString program = QFileInfo(QStringLiteral(DYX_VEXA_STUB)).canonicalFilePath();
    for (const QString &entry : QDir(QStringLiteral("/proc")).entryList(QDir::Dirs)) {
        const QString proc = QStringLiteral("/proc/") + entry;
        // The parent's id is the fourth field of stat, after the name in parentheses.
        const QByteArray stat = readFile(proc + QStringLiteral("/stat"));
        const QList<QByteArray> fields = stat.mid(stat.lastIndexOf(')') + 2).split(' ');
        if (QFileInfo(proc + QStringLiteral("/exe")).canonicalFilePath() == program
            && fields.value(1).toLongLong() == QCoreApplication::applicationPid())
            alive.append(entry.toLongLong());
    }
    return alive;
}

// Random sequences of the simulator commands among edits (good and broken), builds, another
// configuration, the project opened again or saved elsewhere, and the simulator closed behind
// the program's back: after every step exactly the commands due reached the simulator in
// their order, one simulator runs or none as the model says, debugging is on as it says, Stop
// and Close Simulation are offered while it runs, and the hand-off names the design and the
// firmware of the selected configuration, built from the sources as the editor shows them. A
// design created is empty, the project's, and run at once.
void tst_SimulatorFlows::randomSimulatorWorkKeepsOneVexaInStep_data()
{
    QTest::addColumn<quint32>("seed");
    QTest::newRow("the design renamed while VEXA runs") << 17u;
    QTest::newRow("saved elsewhere while VEXA runs") << 22u;
}

void tst_SimulatorFlows::randomSimulatorWorkKeepsOneVexaInStep()
{
    QFETCH(quint32, seed);
    RandomSequence sequence(seed, 30);
    QString path = copyBoard(QStringLiteral("AVR Blinky"), QStringLiteral("board"));
    QString folder = QFileInfo(path).absolutePath();
    QString main = folder + QStringLiteral("/main.c");
    const QString log = m_dir->filePath(QStringLiteral("stub.log"));
    useStandInSimulator(QStringLiteral("VEXA - board"), false);
    ScriptedPrompts prompts;
    SrcManager window;
    window.projectsManager()->scanCompilers();
    QVERIFY(openProject(window, path));
    CirraneInterface *link = window.projectsManager()->simulatorLink();
    const QList<qint64> earlier = standInsAlive(); // those of other tests, on their way out
    const CommandActions &a = window.actions();
    const QString original = QString::fromUtf8(readFile(main));
    // Whatever starts a build (a design created for a firmware never built among them), the
    // window is busy while it runs: Build and the selector are off.
    bool onWhileBuilding = false;
    QTimer poll;
    connect(&poll, &QTimer::timeout, &window, [&] {
        Project *project = window.projectsManager()->currentProject();
        if (project && project->isBuilding()
            && (a.buildProject->isEnabled() || window.configCombo()->isEnabled()))
            onWhileBuilding = true;
    });
    poll.start(2);
    bool running = false;
    bool debugging = false;
    bool broken = false;                                         // the editor's text does not build
    QString design = folder + QStringLiteral("/AVR Blinky.DSN"); // empty: none in the project
    int designs = 0;
    QString configuration = QStringLiteral("Debug");
    const auto firmware = [&] { return folder + QStringLiteral("/%1/%1.hex").arg(configuration); };
    // The firmware and the design the hand-off file names: opening hands over.
    QString handedOver = firmware();
    QString handedDesign = design;
    const auto named = [&] {
        handedOver = firmware();
        handedDesign = design;
    };
    QStringList expected; // what reached the simulator, in order
    // What the firmware hand-over sends a running simulator.
    const auto handOver = [&] {
        named();
        if (!running)
            return;
        expected << QStringLiteral("SEND 4 AUTORUN=%1").arg(debugging ? 1 : 0);
        if (debugging)
            expected << QStringLiteral("SEND 2") << QStringLiteral("SEND 4 AUTORUN=1");
    };
    // What a project opened (or saved elsewhere, or its design renamed) hands over: the
    // firmware, or, never built, the design alone (nothing is run).
    const auto handOverAsOpened = [&] {
        if (!design.isEmpty() && QFileInfo::exists(firmware())) {
            handOver();
        } else if (!design.isEmpty()) {
            if (running)
                expected << QStringLiteral("SEND 4 AUTORUN=0");
            named();
        }
    };
    for (int step = 0; step < sequence.steps(); ++step) {
        bool simulated = false; // F5 or F10 handed over the firmware as the sources stand
        switch (sequence.bounded(11)) {
        case 0:
        case 1: {                   // F5
            if (design.isEmpty()) { // nothing to hand over, and no build
                if (running && debugging)
                    expected << QStringLiteral("SEND 2");
                if (running)
                    expected << QStringLiteral("FRONT");
                debugging = false;
                a.openDebugger->trigger();
            } else if (broken) {
                a.openDebugger->trigger();
                SEQUENCE_CHECK(output(window).endsWith(
                                   "The build failed: the simulator was not started."),
                               output(window).right(200));
            } else {
                if (running) {
                    if (debugging)
                        expected << QStringLiteral("SEND 2");
                    debugging = false;
                    handOver();
                    expected << QStringLiteral("SEND 2");
                } else {
                    named();
                }
                running = simulated = true;
                expected << QStringLiteral("FRONT");
                a.openDebugger->trigger();
            }
            sequence.took(QStringLiteral("F5"));
            break;
        }
        case 2:
        case 3: { // F10
            if (design.isEmpty()) {
                if (running)
                    expected << QStringLiteral("FRONT");
            } else if (!broken) {
                if (!running)
                    expected << QStringLiteral("FRONT");
                named();
                running = debugging = simulated = true;
                expected << QStringLiteral("SEND 2") << QStringLiteral("SEND 4 AUTORUN=1")
                         << QStringLiteral("FRONT");
            }
            a.startDebugging->trigger();
            sequence.took(QStringLiteral("F10"));
            break;
        }
        case 4: // Stop Simulation or Close Simulator, from the Debug menu
            if (!running)
                continue;
            if (sequence.bounded(2)) {
                expected << QStringLiteral("SEND 2");
                debugging = false;
                a.stopSimulation->trigger();
                sequence.took(QStringLiteral("stop"));
            } else {
                expected << QStringLiteral("SEND 3");
                running = debugging = false;
                a.closeSimulator->trigger();
                sequence.took(QStringLiteral("close simulator"));
            }
            break;
        case 5: // the user closes the simulator's window
            if (!running)
                continue;
            for (const qint64 pid : standInsAlive())
                ::kill(pid_t(pid), SIGTERM);
            QTRY_VERIFY(!link->isRunning());
            running = debugging = false;
            sequence.took(QStringLiteral("simulator ends"));
            break;
        case 6: { // an edit, saved or not, that builds or does not
            window.editors().openFileAt(main);
            broken = sequence.bounded(3) == 0;
            window.tabs()->currentEditor()->setText(
                original + (broken ? QStringLiteral("int broken = ;\n") : QString())
                + QStringLiteral("// edit %1\n").arg(step));
            if (sequence.bounded(2))
                a.saveFile->trigger();
            sequence.took(broken ? QStringLiteral("broken edit") : QStringLiteral("edit"));
            break;
        }
        case 7: // F7 hands the firmware, built or not, over to a running simulator
            a.buildProject->trigger();
            if (design.isEmpty()) {
                // nothing to hand over
            } else if (running && QFileInfo::exists(firmware())) {
                handOver();
            } else if (running) {
                expected << QStringLiteral("SEND 4 AUTORUN=0");
                named();
            }
            sequence.took(QStringLiteral("F7"));
            break;
        case 8: { // Remove File on the design, or Create Design File when there is none
            Project *project = window.projectsManager()->currentProject();
            if (!design.isEmpty()) {
                WindowFlows::clickInTree(window, design);
                prompts.answers << QMessageBox::Ok;
                a.removeFile->trigger();
                SEQUENCE_CHECK(project->designFile().isEmpty(), project->designFile());
                design.clear();
                sequence.took(QStringLiteral("remove the design"));
                break;
            }
            // VEXA, if it runs, closes and starts again on the new design, running the
            // firmware as it was last built; after Clean, built first.
            if (sequence.bounded(2))
                a.cleanProject->trigger();
            design = folder + QStringLiteral("/Design %1.DSN").arg(++designs);
            prompts.fileNames << design;
            if (running)
                expected << QStringLiteral("SEND 3");
            running = true;
            debugging = false;
            named();
            a.createDesignFile->trigger();
            sequence.took(QStringLiteral("create a design"));
            // An empty design in the project, the firmware built unless it cannot be, running.
            SEQUENCE_CHECK(QFileInfo(design).size() == 0 && project->designFile() == design
                               && !a.createDesignFile->isEnabled()
                               && (broken || QFileInfo::exists(firmware())),
                           project->designFile());
            SEQUENCE_CHECK(QSettings(link->handOffPath(), QSettings::IniFormat)
                                   .value(QStringLiteral("CIRRANE/AUTORUN"))
                               == QStringLiteral("1"),
                           QStringLiteral("not running"));
            break;
        }
        case 9: { // Save Project As, or the design renamed in the tree: a running simulator
                  // goes on with the design where it is now
            if (!design.isEmpty() && sequence.bounded(2)) {
                const QString renamed = QStringLiteral("Renamed %1.DSN").arg(step);
                QVERIFY(WindowFlows::renameInTree(window, design, renamed));
                design = folder + QLatin1Char('/') + renamed;
                sequence.took(QStringLiteral("rename the design"));
            } else {
                const QString place = m_dir->filePath(QStringLiteral("copy %1").arg(step));
                QVERIFY(QDir().mkpath(place));
                WindowFlows::saveProjectAs(window, prompts, place, QStringLiteral("board"));
                folder = place + QStringLiteral("/board");
                path = folder + QStringLiteral("/board.dyxp");
                main = folder + QStringLiteral("/main.c");
                if (!design.isEmpty())
                    design = folder + QLatin1Char('/') + QFileInfo(design).fileName();
                sequence.took(QStringLiteral("save project as"));
            }
            if (running)
                handOverAsOpened();
            break;
        }
        default: { // the other configuration, or the project opened again
            if (sequence.bounded(2)) {
                configuration = configuration == QLatin1String("Debug") ? QStringLiteral("Release")
                                                                        : QStringLiteral("Debug");
                window.configCombo()->setCurrentText(configuration);
                sequence.took(QStringLiteral("select ") + configuration);
            } else {
                // Save for the typed text and for the project, if there is anything to save.
                prompts.answers << QMessageBox::Save << QMessageBox::Save;
                window.actions().closeProject->trigger();
                prompts.answers.clear();
                prompts.fileNames << path;
                configuration = QStringLiteral("Debug"); // as the saved project has it
                a.openProject->trigger();
                handOverAsOpened();
                broken = false; // what was typed was saved, and builds again
                window.editors().openFileAt(main);
                window.tabs()->currentEditor()->setText(original);
                sequence.took(QStringLiteral("reopen"));
            }
            break;
        }
        }
        QCoreApplication::processEvents();
        const QStringList sent = QString::fromUtf8(readFile(log))
                                     .split(QLatin1Char('\n'), Qt::SkipEmptyParts);
        SEQUENCE_CHECK(sent == expected, sent.join(QLatin1Char(',')));
        SEQUENCE_CHECK(!onWhileBuilding, QStringLiteral("Build or the selector on while building"));
        if (!running)
            QTRY_VERIFY(!link->isRunning());
        SEQUENCE_CHECK(link->isRunning() == running && link->isDebugging() == debugging,
                       QStringLiteral("running %1, debugging %2")
                           .arg(link->isRunning())
                           .arg(link->isDebugging()));
        QList<qint64> alive = standInsAlive();
        alive.removeIf([&](qint64 pid) { return earlier.contains(pid); });
        SEQUENCE_CHECK(alive.size() == (running ? 1 : 0), QString::number(alive.size()));
        SEQUENCE_CHECK(a.stopSimulation->isEnabled() == running
                           && a.closeSimulator->isEnabled() == running,
                       QStringLiteral("commands"));
        QSettings handOff(link->handOffPath(), QSettings::IniFormat);
        SEQUENCE_CHECK(handOff.value(QStringLiteral("CIRRANE/PROGRAM")).toString() == handedOver,
                       handOff.value(QStringLiteral("CIRRANE/PROGRAM")).toString());
        SEQUENCE_CHECK(handOff.value(QStringLiteral("CIRRANE/DESIGNFILE")) == handedDesign,
                       handOff.value(QStringLiteral("CIRRANE/DESIGNFILE")).toString());
        // What runs was built from the sources as they stand.
        const SourceEditor *editor = window.tabs()->findEditor(main);
        SEQUENCE_CHECK(!simulated
                           || ((!editor || readFile(main) == editor->text().toUtf8())
                               && QFileInfo(firmware()).lastModified()
                                      >= QFileInfo(main).lastModified()),
                       QStringLiteral("firmware older than its source"));
    }
    a.closeSimulator->trigger();
    qInfo("%lld steps", qlonglong(sequence.done()));
}

QTEST_MAIN(tst_SimulatorFlows)
#include "tst_simulatorflows.moc"
