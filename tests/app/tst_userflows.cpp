// What a user does through the main window, checked as the user would: the files on disk, the
// saved project, the output lines, the questions asked.

#include "app/srcmanager.h"
#include "common/fakemainservices.h"
#include "common/fulldisk.h"
#include "common/scriptedprompts.h"
#include "common/windowflows.h"
#include "core/settingsstore.h"

#include "app/helpviewer.h"
#include "build/buildproject.h"
#include "build/ui/outtextedit.h"
#include "build/ui/outwindow.h"
#include "editor/ui/finddialog.h"
#include "editor/ui/gotolinedialog.h"
#include "editor/ui/print.h"
#include "editor/ui/sourceeditor.h"
#include "editor/ui/srctabsholder.h"
#include "platform/wholefilewriter.h"
#include "project/ui/project.h"
#include "project/ui/projectsmanager.h"
#include "project/ui/projecttreewidget.h"
#include "simulator/cirraneinterface.h"

#include <Qsci/qscilexer.h>
#include <Qsci/qscilexercpp.h>
#include <Qsci/qsciprinter.h>

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDateTime>
#include <QDialogButtonBox>
#include <QDir>
#include <QDirIterator>
#include <QDomDocument>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPrintDialog>
#include <QProcess>
#include <QPushButton>
#include <QRadioButton>
#include <QSettings>
#include <QStandardItemModel>
#include <QTabBar>
#include <QTabWidget>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTimer>
#include <QToolButton>
#include <QTreeWidgetItem>
#include <QTreeWidgetItemIterator>
#include <QtTest>

#include <csignal>
#include <sys/resource.h>

using WindowFlows::readAll;
using WindowFlows::writeAll;

class tst_UserFlows : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void typingNeverRenamesFiles();
    void renameInTree_data();
    void renameInTree();
    void simulatorCommandsFollowTheProject();
    void debugCommandsDriveTheSimulator_data();
    void debugCommandsDriveTheSimulator();
    void createDesignFileStartsTheSimulator();
    void openingWithoutSimulatorSaysSo();
    void openSampleBuildsAndRunsInVexa();
    void closingAsksAboutEveryModifiedEditor();
    void fullDiskKeepsTheOldFiles();
    void newlineInFolderNameRunsNothing();
    void linkerScriptListedFirst();
    void smallControllersOverflow();
    void quittingStopsTheBuild();
    void goToLine_data();
    void goToLine();
    void printToPdf();
    void selectionIsVisible();
    void findWrapsInTheCurrentDocument();
    void editorSettingsReachEveryView();
    void helpOpensTheTopicOfWhereTheUserIs();
    void compilersDialogFindsTheInstalledCompilers();
    void projectSettingsChangeTheController();
    void configurationsFromTheSelector();
    void saveProjectAsCopiesTheProject();
    void removeFileKeepsUnsavedText_data();
    void cancelKeepsTheOpenProject_data();
    void cancelKeepsTheOpenProject();
    void anotherProgramsChangeIsNotLost();
    void removeFileKeepsUnsavedText();
    void newProjectWizard_data();
    void newProjectWizard();
    void openSampleWithoutAnInstallation();
    void replaceAllInTheProject();
    void findClosesProjectFilesWithoutAMatch();
    void headerChangesRebuildWhatIncludesThem_data();
    void headerChangesRebuildWhatIncludesThem();

private:
    // A copy of a demonstration board in a folder of its own; the path of its project file.
    QString copyBoard(const QString &board, const QString &folder);
    static QString output(SrcManager &window);
    static QStringList filesIn(const QString &directory);
    static QStringList projectFileNames(const QString &projectPath);
    Project *openProject(SrcManager &window, const QString &path);
    // A simulator installation whose VEXA is the test's stand-in, stored as the one to use.
    QString useStandInSimulator(const QString &title, bool silent);

    std::unique_ptr<QTemporaryDir> m_dir;
};

void tst_UserFlows::initTestCase()
{
    isolateSettings();
}

void tst_UserFlows::init()
{
    WindowFlows::freshSettings();
    m_dir = std::make_unique<QTemporaryDir>();
}

QString tst_UserFlows::copyBoard(const QString &board, const QString &folder)
{
    return WindowFlows::copyBoard(board, m_dir->filePath(folder));
}

QString tst_UserFlows::output(SrcManager &window)
{
    return WindowFlows::output(window);
}

QStringList tst_UserFlows::filesIn(const QString &directory)
{
    return QDir(directory).entryList(QDir::Files, QDir::Name);
}

// The NAME attributes of the FILES list, as the project file on disk has them.
QStringList tst_UserFlows::projectFileNames(const QString &projectPath)
{
    QFile file(projectPath);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    QDomDocument document;
    document.setContent(&file);
    QStringList names;
    const QDomNodeList files = document.documentElement()
                                   .firstChildElement(QStringLiteral("FILES"))
                                   .elementsByTagName(QStringLiteral("FILE"));
    for (int i = 0; i < files.count(); ++i)
        names.append(files.at(i).toElement().attribute(QStringLiteral("NAME")));
    return names;
}

Project *tst_UserFlows::openProject(SrcManager &window, const QString &path)
{
    return WindowFlows::openProject(window, path);
}

// Typing in a project file, building, typing again and closing without saving leaves every
// name on disk and in the project as it was.
void tst_UserFlows::typingNeverRenamesFiles()
{
    const QString path = copyBoard(QStringLiteral("AVR Blinky"), QStringLiteral("board"));
    const QString folder = QFileInfo(path).absolutePath();
    const QStringList namesBefore = filesIn(folder);
    const QStringList listedBefore = projectFileNames(path);
    ScriptedPrompts prompts;
    {
        SrcManager window;
        Project *project = openProject(window, path);
        QVERIFY(project);
        const QString main = folder + QStringLiteral("/main.c");
        window.editors().openFileAt(main);
        SourceEditor *editor = window.tabs()->currentEditor();
        QVERIFY(editor);
        QTest::keyClick(editor, Qt::Key_End, Qt::ControlModifier);
        QTest::keyClick(editor, Qt::Key_Return);
        QTest::keyClicks(editor, QStringLiteral("// x"));
        QTest::keyClick(editor, Qt::Key_Return);
        QVERIFY(editor->isDocumentModified());
        QVERIFY(!project->isModified());
        QCOMPARE(project->rootItem()->child(0)->child(0)->text(0), QStringLiteral("*main.c"));
        QCOMPARE(filesIn(folder), namesBefore);

        window.projectsManager()->compileProject();
        QVERIFY2(output(window).contains(QStringLiteral("Compiled successfully.")),
                 qPrintable(output(window)));
        QCOMPARE(project->rootItem()->child(0)->child(0)->text(0), QStringLiteral("main.c"));
        QTest::keyClicks(editor, QStringLiteral("// y"));
        QTest::keyClick(editor, Qt::Key_Return);
        prompts.answers.append({QMessageBox::Discard, QMessageBox::Discard});
        QVERIFY(window.close());
    }
    QStringList expected = namesBefore;
    QCOMPARE(filesIn(folder), expected);
    QCOMPARE(projectFileNames(path), listedBefore);
    QFile main(folder + QStringLiteral("/main.c"));
    QVERIFY(main.open(QIODevice::ReadOnly));
    const QByteArray text = main.readAll();
    QVERIFY(text.contains("// x") && !text.contains("// y"));

    SrcManager again;
    Project *reopened = openProject(again, path);
    QVERIFY(reopened);
    QCOMPARE(reopened->fileCount(), listedBefore.size());
}

void tst_UserFlows::renameInTree_data()
{
    QTest::addColumn<bool>("modified");   // main.c has unsaved changes in its editor
    QTest::addColumn<QString>("typed");   // what the user leaves in the item
    QTest::addColumn<QString>("newName"); // main.c's name after the edit
    QTest::newRow("plain rename") << false << "blink.c"
                                  << "blink.c";
    QTest::newRow("rename of a marked file") << true << "*blink.c"
                                             << "blink.c";
    QTest::newRow("mark left alone") << true << "*main.c"
                                     << "main.c";
    QTest::newRow("empty") << false << ""
                           << "main.c";
    QTest::newRow("into a folder") << false << "src/main.c"
                                   << "main.c";
    QTest::newRow("out of the folder") << false << "../main.c"
                                       << "main.c";
    QTest::newRow("parent") << false << ".."
                            << "main.c";
    QTest::newRow("existing file") << false << "led.c"
                                   << "main.c";
}

void tst_UserFlows::renameInTree()
{
    QFETCH(bool, modified);
    QFETCH(QString, typed);
    QFETCH(QString, newName);
    const QString path = copyBoard(QStringLiteral("AVR Blinky"), QStringLiteral("board"));
    const QString folder = QFileInfo(path).absolutePath();
    SrcManager window;
    Project *project = openProject(window, path);
    QVERIFY(project);
    const QString main = folder + QStringLiteral("/main.c");
    if (modified) {
        window.editors().openFileAt(main);
        QTest::keyClicks(window.tabs()->currentEditor(), QStringLiteral("x"));
    }
    QTreeWidgetItem *item = project->rootItem()->child(0)->child(0);
    item->setText(0, typed); // as the item's editor leaves it

    QCOMPARE(QFileInfo(project->filePathAt(0)).fileName(), newName);
    QCOMPARE(item->text(0), (modified ? QStringLiteral("*") : QString()) + newName);
    QVERIFY(QFileInfo::exists(folder + QLatin1Char('/') + newName));
    QCOMPARE(QFileInfo::exists(main), newName == QLatin1String("main.c"));
    QVERIFY(QFileInfo::exists(folder + QStringLiteral("/led.c")));
    if (newName != QLatin1String("main.c")) {
        QVERIFY(window.projectsManager()->currentProject()->save());
        QCOMPARE(projectFileNames(path).first(), newName);
    }
}

// The simulator commands need a project; the design-file commands also need the project to
// have no design file yet.
void tst_UserFlows::simulatorCommandsFollowTheProject()
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

QString tst_UserFlows::useStandInSimulator(const QString &title, bool silent)
{
    const QString installation = m_dir->filePath(QStringLiteral("Cirrane"));
    QDir().mkpath(installation + QStringLiteral("/BIN"));
    QFile::link(QStringLiteral(DYX_VEXA_STUB), installation + QStringLiteral("/BIN/VEXA.EXE"));
    qputenv("VEXA_STUB_LOG", m_dir->filePath(QStringLiteral("stub.log")).toLocal8Bit());
    qputenv("VEXA_STUB_TITLE", title.toLocal8Bit());
    qputenv("VEXA_STUB_SILENT", silent ? "1" : "0");
    qputenv("TEMP", m_dir->path().toLocal8Bit());
    SettingsStore store;
    store.setCirraneDirectory(installation);
    store.sync();
    return installation;
}

// Create Design File asks for the file's name, builds the firmware that is not built yet,
// starts the simulator on the new, empty design with the firmware running, and adds the file.
void tst_UserFlows::createDesignFileStartsTheSimulator()
{
    const QString path = copyBoard(QStringLiteral("AVR Blinky"), QStringLiteral("board"));
    const QString folder = QFileInfo(path).absolutePath();
    QFile::remove(folder + QStringLiteral("/AVR Blinky.DSN"));
    QByteArray project = readAll(path);
    project.replace(" <FILE NAME=\"AVR Blinky.DSN\" GROUP=\"Design\"/>\n", "");
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(project);
    file.close();
    useStandInSimulator(QStringLiteral("VEXA"), false);
    SrcManager window;
    window.projectsManager()->scanCompilers();
    QVERIFY(openProject(window, path));
    const CommandActions &a = window.actions();
    QVERIFY(a.createDesignFile->isEnabled());
    ScriptedPrompts prompts;
    const QString design = folder + QStringLiteral("/Board.DSN");
    prompts.fileNames << design;
    a.createDesignFile->trigger();
    QVERIFY2(window.projectsManager()->simulatorLink()->isRunning(), qPrintable(output(window)));
    QVERIFY(QFileInfo::exists(folder + QStringLiteral("/Debug/Debug.hex")));
    QCOMPARE(QFileInfo(design).size(), 0);
    QCOMPARE(window.projectsManager()->currentProject()->designFile(), design);
    QVERIFY(!a.createDesignFile->isEnabled());
    QSettings handOff(window.projectsManager()->simulatorLink()->handOffPath(),
                      QSettings::IniFormat);
    QCOMPARE(handOff.value(QStringLiteral("CIRRANE/DESIGNFILE")).toString(), design);
    QCOMPARE(handOff.value(QStringLiteral("CIRRANE/AUTORUN")).toString(), QStringLiteral("1"));
    window.projectsManager()->debugClose();
}

// Opening a project without a simulator installation says so in the output window, and the
// project is open all the same.
void tst_UserFlows::openingWithoutSimulatorSaysSo()
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
    qunsetenv("DYX_REGISTRY");
}

// Open Sample through the window with a copy of the simulator suite the build lays out: the
// serial sample opens, builds with F7 and, run in VEXA, greets in the output window.
void tst_UserFlows::openSampleBuildsAndRunsInVexa()
{
    const QString installation = m_dir->filePath(QStringLiteral("Cirrane"));
    QVERIFY(QDir().mkpath(installation + QStringLiteral("/BIN")));
    QVERIFY(QFile::link(QStringLiteral(DYX_CIRRANE_DIR "/BIN/VEXA.EXE"),
                        installation + QStringLiteral("/BIN/VEXA.EXE")));
    QDirIterator it(QStringLiteral(DYX_CIRRANE_DIR "/SAMPLES"),
                    QDir::Files,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString from = it.next();
        const QString to = installation + QStringLiteral("/SAMPLES/")
                           + QDir(QStringLiteral(DYX_CIRRANE_DIR "/SAMPLES")).relativeFilePath(from);
        QDir().mkpath(QFileInfo(to).absolutePath());
        QVERIFY(QFile::copy(from, to));
    }
    qputenv("TEMP", m_dir->path().toLocal8Bit());
    {
        SettingsStore store;
        store.setCirraneDirectory(installation);
        store.sync();
    }
    SrcManager window;
    window.projectsManager()->scanCompilers();
    QStringList listed;
    QTimer::singleShot(0, &window, [&listed] {
        auto *dialog = qobject_cast<QDialog *>(QApplication::activeModalWidget());
        if (!dialog)
            return;
        auto *list = dialog->findChild<QListWidget *>(QStringLiteral("projectsListWidget"));
        for (int i = 0; i < list->count(); ++i)
            listed.append(list->item(i)->text());
        const QList<QListWidgetItem *> serial = list->findItems(QStringLiteral("AVR Serial"),
                                                                Qt::MatchExactly);
        if (!serial.isEmpty())
            list->setCurrentItem(serial.first());
        QTest::mouseClick(dialog->findChild<QPushButton *>(QStringLiteral("okButton")),
                          Qt::LeftButton);
        if (dialog->isVisible())
            dialog->reject();
    });
    window.actions().openSample->trigger();
    QVERIFY2(listed.contains(QStringLiteral("AVR Serial"))
                 && listed.contains(QStringLiteral("8051 Blinky")),
             qPrintable(listed.join(QLatin1String(", "))));
    Project *project = window.projectsManager()->currentProject();
    QVERIFY(project);
    QCOMPARE(project->filePath(),
             installation + QStringLiteral("/SAMPLES/AVR Serial/AVR Serial.dyxp"));
    window.actions().buildProject->trigger();
    QVERIFY2(output(window).contains(QStringLiteral("Compiled successfully.")),
             qPrintable(output(window)));
    QVERIFY(window.projectsManager()->simulate(0.1, QString()));
    QVERIFY2(output(window).contains(QStringLiteral("UART: Hello from the AVR")),
             qPrintable(output(window)));
}

void tst_UserFlows::debugCommandsDriveTheSimulator_data()
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
void tst_UserFlows::debugCommandsDriveTheSimulator()
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
    window.projectsManager()->debugStop();
    window.projectsManager()->debugClose();
    const QString shown = output(window);
    QVERIFY2(shown.contains(QStringLiteral("Launched project design file in VEXA.")),
             qPrintable(shown));
    QCOMPARE(shown.contains(QStringLiteral("Debugging in VEXA started.")), expected.size() > 0);
    QVERIFY(shown.contains(QStringLiteral("Debugging stopped.")));
    QVERIFY(shown.contains(QStringLiteral("Closed VEXA.")));
    QCOMPARE(QString::fromUtf8(readAll(m_dir->filePath(QStringLiteral("stub.log"))))
                 .split(QLatin1Char('\n'), Qt::SkipEmptyParts),
             expected);
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

// "Configurations..." in the selector: Cancel leaves the selector on the active configuration;
// a copy of Debug renamed "Fast" with the Release target, chosen in the selector, builds into
// its target's folder.
void tst_UserFlows::configurationsFromTheSelector()
{
    const QString path = copyBoard(QStringLiteral("AVR Blinky"), QStringLiteral("board"));
    SrcManager window;
    Project *project = openProject(window, path);
    QVERIFY(project);
    QComboBox *selector = window.configCombo();
    QCOMPARE(selector->itemText(selector->count() - 1), QStringLiteral("Configurations..."));
    selector->setCurrentIndex(1);
    QCOMPARE(project->activeConfiguration()->name(), QStringLiteral("Release"));

    bool accept = false;
    QString title;
    const auto useDialog = [&] {
        auto *dialog = qobject_cast<QDialog *>(QApplication::activeModalWidget());
        if (!dialog)
            return;
        const std::shared_ptr<void> closeAnyway(nullptr, [dialog](void *) {
            if (dialog->isVisible())
                dialog->reject();
        });
        title = dialog->windowTitle();
        if (!accept)
            return;
        auto *table = dialog->findChild<QTableWidget *>(QStringLiteral("configurationsTable"));
        table->setCurrentCell(0, 0);
        QTest::mouseClick(dialog->findChild<QPushButton *>(QStringLiteral("copyButton")),
                          Qt::LeftButton);
        // The copy's name is open for typing.
        QWidget *editor = QApplication::focusWidget();
        if (auto *line = qobject_cast<QLineEdit *>(editor)) {
            line->selectAll();
            QTest::keyClicks(line, QStringLiteral("Fast"));
            QTest::keyClick(line, Qt::Key_Return);
        } else {
            table->item(2, 0)->setText(QStringLiteral("Fast"));
        }
        qobject_cast<QComboBox *>(table->cellWidget(2, 1))->setCurrentText(QStringLiteral("Release"));
        auto *buttons = dialog->findChild<QDialogButtonBox *>(QStringLiteral("buttonBox"));
        QTest::mouseClick(buttons->button(QDialogButtonBox::Ok), Qt::LeftButton);
    };
    QTimer::singleShot(0, &window, useDialog);
    selector->setCurrentIndex(selector->count() - 1);
    QCOMPARE(title, QStringLiteral("Configurations"));
    QCOMPARE(selector->currentText(), QStringLiteral("Release"));
    QCOMPARE(project->activeConfiguration()->name(), QStringLiteral("Release"));

    accept = true;
    QTimer::singleShot(0, &window, useDialog);
    selector->setCurrentIndex(selector->count() - 1);
    QStringList entries;
    for (int i = 0; i < selector->count(); ++i)
        entries.append(selector->itemText(i));
    QCOMPARE(entries, QStringList({"Debug", "Release", "Fast", "Configurations..."}));
    QCOMPARE(selector->currentText(), QStringLiteral("Debug"));
    selector->setCurrentIndex(2);
    window.projectsManager()->compileProject();
    QVERIFY2(output(window).contains(QStringLiteral("Compiled successfully.")),
             qPrintable(output(window)));
    const QString folder = QFileInfo(path).absolutePath();
    QVERIFY(QFileInfo::exists(folder + QStringLiteral("/Release/Makefile")));
    QVERIFY(!QFileInfo::exists(folder + QStringLiteral("/Debug/Makefile")));
    QVERIFY(readAll(path).contains("NAME=\"Fast\""));
}

void tst_UserFlows::closingAsksAboutEveryModifiedEditor()
{
    const QString path = copyBoard(QStringLiteral("AVR Blinky"), QStringLiteral("board"));
    const QString notes = m_dir->filePath(QStringLiteral("notes.txt"));
    QFile(notes).open(QIODevice::WriteOnly);
    ScriptedPrompts prompts;
    SrcManager window;
    QVERIFY(openProject(window, path));
    window.editors().openFileAt(notes);
    QTest::keyClicks(window.tabs()->currentEditor(), QStringLiteral("outside"));
    auto *untitled = new SourceEditor(&window, QString());
    window.tabs()->addTab(untitled, untitled->tabTitle());

    prompts.answers.append({QMessageBox::Save, QMessageBox::Cancel});
    QVERIFY(!window.close());
    QCOMPARE(prompts.asked.size(), 2);
    QVERIFY(prompts.asked.at(0).text.startsWith(QStringLiteral("notes.txt has been modified.")));
    QVERIFY(prompts.asked.at(1).text.startsWith(QStringLiteral("Untitled has been modified.")));
    QFile saved(notes);
    QVERIFY(saved.open(QIODevice::ReadOnly));
    QCOMPARE(saved.readAll(), QByteArray("outside"));

    prompts.asked.clear();
    prompts.answers.append({QMessageBox::Discard});
    QVERIFY(window.close());
    QCOMPARE(prompts.asked.size(), 1);
}

// A disk that fills up (here: a file size limit) never leaves a half-written file behind: the
// project, the Makefile and a source keep their last version, and the user is told.
void tst_UserFlows::fullDiskKeepsTheOldFiles()
{
    const QString path = copyBoard(QStringLiteral("AVR Blinky"), QStringLiteral("board"));
    const QString folder = QFileInfo(path).absolutePath();
    ScriptedPrompts prompts;
    SrcManager window;
    Project *project = openProject(window, path);
    QVERIFY(project);
    window.projectsManager()->compileProject();
    const auto contents = [](const QString &file) {
        QFile f(file);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    };
    const QByteArray projectBefore = contents(path);
    const QByteArray makefileBefore = contents(folder + QStringLiteral("/Debug/Makefile"));
    const QByteArray mainBefore = contents(folder + QStringLiteral("/main.c"));
    QVERIFY(!makefileBefore.isEmpty());
    window.editors().openFileAt(folder + QStringLiteral("/main.c"));
    // A Makefile that must change (the same one is not written again).
    project->activeConfiguration()->setClock(QStringLiteral("8MHz"));

    FullDisk full(64);
    QVERIFY(full.isActive());

    window.projectsManager()->compileProject();
    const QString buildOutput = output(window);
    QTest::keyClicks(window.tabs()->currentEditor(), QStringLiteral("x"));
    project->setDescription(QStringLiteral("changed"));
    project->setModified(true);
    window.actions().saveProject->trigger();
    const bool sourceSaved = window.tabs()->currentEditor()->save();

    full.end();

    QVERIFY(buildOutput.contains(QStringLiteral("Cannot create Makefile.")));
    QVERIFY(!buildOutput.contains(QStringLiteral("Compiled successfully.")));
    QVERIFY(!sourceSaved);
    QCOMPARE(contents(path), projectBefore);
    QCOMPARE(contents(folder + QStringLiteral("/Debug/Makefile")), makefileBefore);
    QCOMPARE(contents(folder + QStringLiteral("/main.c")), mainBefore);
    QVERIFY(filesIn(folder) == filesIn(m_dir->filePath(QStringLiteral("board"))));
    bool toldProject = false;
    for (const ScriptedPrompts::Question &question : std::as_const(prompts.asked))
        toldProject = toldProject
                      || question.text.startsWith(QStringLiteral("Cannot save project ") + path);
    QVERIFY(toldProject);
    QVERIFY(output(window).contains(QStringLiteral("Cannot save project ") + path));
}

// A folder name holding line breaks and make syntax stays a name: the build runs nothing the
// user did not write.
void tst_UserFlows::newlineInFolderNameRunsNothing()
{
    const QString folder = QStringLiteral("x\nexport Y != touch pwned\n#");
    const QString path = copyBoard(QStringLiteral("AVR Blinky"), folder);
    SrcManager window;
    QVERIFY(openProject(window, path));
    window.projectsManager()->compileProject();
    QVERIFY2(output(window).contains(QStringLiteral("Compiled successfully.")),
             qPrintable(output(window)));
    QDirIterator it(m_dir->path(), QDir::Files, QDirIterator::Subdirectories);
    while (it.hasNext())
        QVERIFY2(it.next().right(5) != QLatin1String("pwned"), qPrintable(it.filePath()));
    QVERIFY(!QFileInfo::exists(QStringLiteral("pwned")));
    QFile makefile(QFileInfo(path).absolutePath() + QStringLiteral("/Debug/Makefile"));
    QVERIFY(makefile.open(QIODevice::ReadOnly));
    for (const QByteArray &line : makefile.readAll().split('\n'))
        QVERIFY2(!line.startsWith("export") && !line.startsWith("#\n"), line.constData());
}

// A PIC project with its own linker script, listed before the sources: in the file list (the
// Release configuration's build follows it) and as a file read before the stored build tree
// (Debug). Both hand the script to gplink and build with the real tools.
void tst_UserFlows::linkerScriptListedFirst()
{
    const QString path = copyBoard(QStringLiteral("PIC16 Blinky"), QStringLiteral("pic"));
    const QString folder = QFileInfo(path).absolutePath();
    QVERIFY(QFile::copy(QStringLiteral("/usr/share/gputils/lkr/16f877a_g.lkr"),
                        folder + QStringLiteral("/board.lkr")));
    QVERIFY(writeAll(path, R"(<?xml version='1.0' encoding='UTF-8' standalone='yes' ?>
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
        const QByteArray makefile = readAll(folder + QLatin1Char('/') + target
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
void tst_UserFlows::smallControllersOverflow()
{
    const QString path = copyBoard(QStringLiteral("8051 Blinky"), QStringLiteral("mcs51"));
    const QString folder = QFileInfo(path).absolutePath();
    QByteArray project = readAll(path);
    QVERIFY(writeAll(path, project.replace("AT89S52", "AT89C2051")));
    QByteArray main = readAll(folder + QStringLiteral("/main.c"));
    QVERIFY(writeAll(folder + QStringLiteral("/main.c"),
                     main + "\n__code const unsigned char table[3000] = {1};\n"));
    SrcManager window;
    QVERIFY(openProject(window, path));
    window.projectsManager()->compileProject();
    const QString lines = output(window);
    QVERIFY2(lines.contains(QStringLiteral("?ASlink-Error-Insufficient ROM")), qPrintable(lines));
    QVERIFY(!lines.contains(QStringLiteral("Compiled successfully.")));
}

// Ctrl+Q during a build: the build stops (make and its compiler with it) before the window goes.
void tst_UserFlows::quittingStopsTheBuild()
{
    const QString path = copyBoard(QStringLiteral("AVR Blinky"), QStringLiteral("board"));
    const QString bin = m_dir->filePath(QStringLiteral("bin"));
    QVERIFY(QDir().mkpath(bin));
    const QString pidFile = m_dir->filePath(QStringLiteral("compiler.pid"));
    QVERIFY(writeAll(bin + QStringLiteral("/avr-gcc"),
                     QStringLiteral("#!/bin/sh\necho $$ > '%1'\nexec sleep 300\n")
                         .arg(pidFile)
                         .toUtf8()));
    QFile::setPermissions(bin + QStringLiteral("/avr-gcc"), QFile::ReadOwner | QFile::ExeOwner);
    const QByteArray oldPath = qgetenv("PATH");
    qputenv("PATH", bin.toLocal8Bit() + ':' + oldPath);
    SrcManager window;
    window.show();
    QVERIFY(openProject(window, path));
    qint64 sleeper = 0;
    QTimer quit;
    connect(&quit, &QTimer::timeout, &window, [&] {
        if (QFileInfo(pidFile).size() == 0)
            return;
        quit.stop();
        sleeper = readAll(pidFile).trimmed().toLongLong();
        window.actions().exit->trigger();
    });
    quit.start(20);
    window.projectsManager()->compileProject();
    qputenv("PATH", oldPath);
    QVERIFY(sleeper > 0);
    QVERIFY(!window.isVisible());
    QVERIFY(output(window).contains(QStringLiteral("Build aborted by user")));
    QTRY_VERIFY(::kill(pid_t(sleeper), 0) != 0
                || readAll(QStringLiteral("/proc/%1/stat").arg(sleeper)).contains(") Z"));
}

void tst_UserFlows::goToLine_data()
{
    QTest::addColumn<QString>("typed");
    QTest::addColumn<int>("line"); // where the cursor goes, from 0
    QTest::addColumn<int>("index");
    QTest::newRow("below the first line") << "0" << 0 << 0;
    QTest::newRow("after two tabs") << "2" << 1 << 2;
    QTest::newRow("blanks only: the editor places it") << "3" << 2 << 0;
    QTest::newRow("beyond the last line") << "99" << 3 << 0;
}

// "&Goto" on the current editor: to the line's first character that is not white space.
void tst_UserFlows::goToLine()
{
    QFETCH(QString, typed);
    QFETCH(int, line);
    QFETCH(int, index);
    const QString path = m_dir->filePath(QStringLiteral("jump.asm"));
    QVERIFY(writeAll(path, "first\n\t\tsecond\n   \nlast"));
    const QString shorter = m_dir->filePath(QStringLiteral("short.asm"));
    QVERIFY(writeAll(shorter, "one\ntwo"));
    SrcManager window;
    QVERIFY(window.actions().gotoLine->isEnabled());
    window.editors().openFileAt(path);
    window.actions().gotoLine->trigger();
    auto *dialog = window.findChild<GotoLineDialog *>();
    QVERIFY(dialog && dialog->isVisible());
    QCOMPARE(dialog->findChild<QLabel *>(QStringLiteral("linesLabel"))->text(),
             QStringLiteral("Line number (1 - 4)"));
    dialog->findChild<QLineEdit *>(QStringLiteral("lineEdit"))->setText(typed);
    dialog->findChild<QDialogButtonBox *>(QStringLiteral("buttonBox"))
        ->button(QDialogButtonBox::Ok)
        ->click();
    QVERIFY(!dialog->isVisible());
    int cursorLine = -1;
    int cursorIndex = -1;
    window.tabs()->currentEditor()->getCursorPosition(&cursorLine, &cursorIndex);
    QCOMPARE(cursorLine, line);
    QCOMPARE(cursorIndex, index);

    // A number left from a longer document is cut to a shorter one's lines.
    dialog->findChild<QLineEdit *>(QStringLiteral("lineEdit"))->setText(QStringLiteral("4"));
    window.editors().openFileAt(shorter);
    window.actions().gotoLine->trigger();
    QCOMPARE(dialog->findChild<QLineEdit *>(QStringLiteral("lineEdit"))->text(),
             QStringLiteral("2"));
    QCOMPARE(dialog->findChild<QLabel *>(QStringLiteral("linesLabel"))->text(),
             QStringLiteral("Line number (1 - 2)"));
}

// "&Print File" through the print dialog, to a PDF file: the printed text is the file's.
void tst_UserFlows::printToPdf()
{
    const QString path = copyBoard(QStringLiteral("AVR Blinky"), QStringLiteral("board"));
    const QString main = QFileInfo(path).absolutePath() + QStringLiteral("/main.c");
    const QString pdf = m_dir->filePath(QStringLiteral("main.pdf"));
    SrcManager window;
    window.editors().openFileAt(main);
    QsciPrinter &printer = window.printing()->printer();
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setOutputFileName(pdf);
    QString title;
    QTimer::singleShot(0, &window, [&title] {
        if (auto *dialog = qobject_cast<QDialog *>(QApplication::activeModalWidget())) {
            title = dialog->windowTitle();
            dialog->accept();
        }
    });
    window.actions().printFile->trigger();
    QCOMPARE(title, QStringLiteral("Print Document"));
    QVERIFY(QFileInfo(pdf).size() > 0);
    QProcess text;
    text.start(QStringLiteral("pdftotext"), {QStringLiteral("-layout"), pdf, QStringLiteral("-")});
    QVERIFY(text.waitForFinished(30000));
    // The line number margin is on by default: each printed line is its number and its text.
    QStringList printed = QString::fromUtf8(text.readAllStandardOutput())
                              .remove(QLatin1Char('\f'))
                              .split(QLatin1Char('\n'));
    while (!printed.isEmpty() && printed.last().trimmed().isEmpty())
        printed.removeLast();
    const QStringList source = QString::fromUtf8(readAll(main)).split(QLatin1Char('\n'));
    QCOMPARE(printed.size(), source.size());
    for (int i = 0; i < source.size(); ++i)
        QCOMPARE(printed.at(i).simplified(),
                 (QString::number(i + 1) + QLatin1Char(' ') + source.at(i)).simplified());

    // A selection prints its lines: ending at the end of line 4 or, as whole lines selected
    // downwards do, at the start of line 5; within one line; on the last line of text.
    SourceEditor *editor = window.tabs()->currentEditor();
    const int last = editor->lines() - 2;
    const struct
    {
        int fromLine, fromIndex, toLine, toIndex;
        int first, count; // the lines printed, counted from 0
    } selections[] = {
        {1, 0, 3, editor->lineLength(3) - 1, 1, 3},
        {1, 0, 4, 0, 1, 3},
        {2, 1, 2, 3, 2, 1},
        {last, 0, last, editor->lineLength(last), last, 1},
    };
    for (const auto &s : selections) {
        editor->setSelection(s.fromLine, s.fromIndex, s.toLine, s.toIndex);
        QTimer::singleShot(0, &window, [] {
            if (auto *dialog = qobject_cast<QPrintDialog *>(QApplication::activeModalWidget())) {
                // The user chooses "Selection" among the pages to print.
                for (QRadioButton *range : dialog->findChildren<QRadioButton *>()) {
                    if (range->text().remove(QLatin1Char('&')) == QLatin1String("Selection"))
                        range->click();
                }
                dialog->accept();
            }
        });
        window.actions().printFile->trigger();
        QProcess selection;
        selection.start(QStringLiteral("pdftotext"),
                        {QStringLiteral("-layout"), pdf, QStringLiteral("-")});
        QVERIFY(selection.waitForFinished(30000));
        QStringList lines = QString::fromUtf8(selection.readAllStandardOutput())
                                .remove(QLatin1Char('\f'))
                                .split(QLatin1Char('\n'));
        while (!lines.isEmpty() && lines.last().trimmed().isEmpty())
            lines.removeLast();
        QCOMPARE(lines.size(), s.count);
        for (int i = 0; i < s.count; ++i) {
            const int line = s.first + i;
            QCOMPARE(lines.at(i).simplified(),
                     (QString::number(line + 1) + QLatin1Char(' ') + source.at(line)).simplified());
        }
    }

    // A file that cannot be written (a folder holds its name; root may write anywhere else)
    // is said, not passed over.
    ScriptedPrompts prompts;
    const QString nowhere = pdf;
    QVERIFY(QFile::remove(pdf) && QDir().mkpath(pdf));
    QTimer::singleShot(0, &window, [] {
        if (auto *dialog = qobject_cast<QDialog *>(QApplication::activeModalWidget()))
            dialog->accept();
    });
    window.actions().printFile->trigger();
    QCOMPARE(prompts.asked.size(), 1);
    QCOMPARE(prompts.asked.first().text, QStringLiteral("The document could not be printed."));
    QVERIFY(prompts.asked.first().informativeText.contains(nowhere));
}

// With the default colours a selection, and what Find selects, shows: the selected text's
// pixels differ from the same text unselected.
void tst_UserFlows::selectionIsVisible()
{
    const QString path = copyBoard(QStringLiteral("AVR Blinky"), QStringLiteral("board"));
    SrcManager window;
    window.resize(900, 700);
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    window.editors().openFileAt(QFileInfo(path).absolutePath() + QStringLiteral("/main.c"));
    SourceEditor *editor = window.tabs()->currentEditor();
    QVERIFY(editor);
    const long start = editor->positionFromLineIndex(0, 0);
    const long end = editor->positionFromLineIndex(0, qMin(8, editor->lineLength(0) - 1));
    const QRect area(int(editor->SendScintilla(QsciScintilla::SCI_POINTXFROMPOSITION, 0, start)),
                     int(editor->SendScintilla(QsciScintilla::SCI_POINTYFROMPOSITION, 0, start)),
                     int(editor->SendScintilla(QsciScintilla::SCI_POINTXFROMPOSITION, 0, end)
                         - editor->SendScintilla(QsciScintilla::SCI_POINTXFROMPOSITION, 0, start)),
                     int(editor->SendScintilla(QsciScintilla::SCI_TEXTHEIGHT, 0)));
    QVERIFY(area.width() > 0 && area.height() > 0);
    const auto shot = [&] {
        QTest::qWait(50);
        return editor->viewport()->grab(area).toImage();
    };
    editor->setCursorPosition(5, 0);
    const QImage plain = shot();
    editor->setSelection(0, 0, 0, qMin(8, editor->lineLength(0) - 1));
    editor->setFocus();
    QVERIFY(plain != shot());
    // The Find dialog has the keyboard while the editor shows what it found.
    window.actions().find->trigger();
    QTRY_VERIFY(!editor->hasFocus());
    QVERIFY(plain != shot());
}

// "&Editor Configuration": a colour, a size, a preference and a directory changed in the dialog
// reach the open editor, the lines already in the output window and the settings store at once;
// a directory that does not exist is asked about first; Cancel changes nothing.
void tst_UserFlows::editorSettingsReachEveryView()
{
    const QString path = copyBoard(QStringLiteral("AVR Blinky"), QStringLiteral("board"));
    SrcManager window;
    QVERIFY(openProject(window, path));
    window.editors().openFileAt(QFileInfo(path).absolutePath() + QStringLiteral("/main.c"));
    SourceEditor *editor = window.tabs()->currentEditor();
    QVERIFY(editor);
    QVERIFY(editor->marginWidth(1) > 0);
    // What a new editor does before any preference is stored.
    const QsciScintilla::FoldStyle folding = editor->folding();
    const bool autoIndent = editor->autoIndent();
    const bool tabs = editor->indentationsUseTabs();
    QVERIFY(folding != QsciScintilla::NoFoldStyle);
    window.outWindow()->error(QStringLiteral("an error line"));
    ScriptedPrompts prompts;
    prompts.answers << QMessageBox::No << QMessageBox::Yes;
    const QString missing = m_dir->filePath(QStringLiteral("no such folder"));

    bool accept = true;
    QString title;
    const auto useDialog = [&] {
        auto *dialog = qobject_cast<QDialog *>(QApplication::activeModalWidget());
        if (!dialog)
            return;
        title = dialog->windowTitle();
        // A failed check leaves the dialog: close it, or the test waits for ever.
        const std::shared_ptr<void> closeAnyway(nullptr, [dialog](void *) {
            if (dialog->isVisible())
                dialog->reject();
        });
        const auto child = [dialog](const char *name) {
            return dialog->findChild<QWidget *>(QLatin1String(name));
        };
        auto *tabs = static_cast<QTabWidget *>(child("tabWidget"));
        tabs->setCurrentIndex(1);
        auto *groups = static_cast<QComboBox *>(child("textSettingsCombo"));
        auto *items = static_cast<QListWidget *>(child("displayItemsList"));
        auto *foreground = static_cast<QComboBox *>(child("foregroundColourCombo"));
        auto *size = static_cast<QComboBox *>(child("fontSizeCombo"));
        // Errors, red by default, one colour down the list: lime.
        groups->setCurrentText(QStringLiteral("Output Window"));
        items->setCurrentItem(items->findItems(QStringLiteral("Errors"), Qt::MatchExactly).first());
        QCOMPARE(foreground->currentText(), QStringLiteral("Red"));
        foreground->setFocus();
        QTest::keyClick(foreground, Qt::Key_Down);
        // The editor's text four sizes up: 14 points.
        groups->setCurrentText(QStringLiteral("Text Editor"));
        size->setFocus();
        for (int i = 0; i < 4; ++i)
            QTest::keyClick(size, Qt::Key_Down);
        tabs->setCurrentIndex(2);
        QTest::mouseClick(child("displayLineNumbersCheckBox"), Qt::LeftButton);
        tabs->setCurrentIndex(0);
        static_cast<QLineEdit *>(child("cirraneEdit"))->setText(missing);
        auto *buttons = static_cast<QDialogButtonBox *>(child("buttonBox"));
        QAbstractButton *button = buttons->button(accept ? QDialogButtonBox::Ok
                                                         : QDialogButtonBox::Cancel);
        // The first OK is answered No and leaves the dialog open on the directory.
        QTest::mouseClick(button, Qt::LeftButton);
        if (accept) {
            QVERIFY(dialog->isVisible());
            QCOMPARE(dialog->focusWidget(), child("cirraneEdit"));
            QTest::mouseClick(button, Qt::LeftButton);
        }
    };
    accept = false;
    QTimer::singleShot(0, &window, useDialog);
    window.actions().editorConfiguration->trigger();
    QCOMPARE(title, QStringLiteral("Editor Settings"));
    QVERIFY(editor->marginWidth(1) > 0);
    QVERIFY(prompts.asked.isEmpty());
    QVERIFY(!window.settingsStore().settings().childGroups().contains(
        QStringLiteral("Output Window Display Settings")));

    accept = true;
    QTimer::singleShot(0, &window, useDialog);
    window.actions().editorConfiguration->trigger();
    QCOMPARE(prompts.asked.size(), 2);
    QVERIFY(prompts.asked.first().text.contains(missing));
    QCOMPARE(editor->marginWidth(1), 0);
    QCOMPARE(editor->lexer()->font(0).pointSize(), 14);
    // OK changed what the user changed, and nothing else.
    QCOMPARE(editor->folding(), folding);
    QCOMPARE(editor->autoIndent(), autoIndent);
    QCOMPARE(editor->indentationsUseTabs(), tabs);
    const OutTextEdit *view = window.outWindow()->textView();
    QCOMPARE(view->lineFormat(view->lineCount() - 1).foreground().color(), QColor(Qt::green));
    QSettings &store = window.settingsStore().settings();
    QCOMPARE(store.value(QStringLiteral("Text Editor Display Settings/fontSize")).toInt(), 14);
    QCOMPARE(store.value(QStringLiteral("Text Editor Display Settings/Display line numbers")),
             QVariant(false));
    QCOMPARE(window.settingsStore().cirraneDirectory(), missing);
    // A new editor takes the same looks.
    window.editors().openFileAt(QFileInfo(path).absolutePath() + QStringLiteral("/led.c"));
    QCOMPARE(window.tabs()->currentEditor()->marginWidth(1), 0);
}

// "&Compilers Configuration" on a fresh store: Check All finds avr-gcc, gputils and sdcc and
// says so in the output window; OK stores them, and the AVR board builds at once.
void tst_UserFlows::compilersDialogFindsTheInstalledCompilers()
{
    const QString path = copyBoard(QStringLiteral("AVR Blinky"), QStringLiteral("board"));
    SrcManager window;
    QString title;
    QTimer::singleShot(0, &window, [&title] {
        auto *dialog = qobject_cast<QDialog *>(QApplication::activeModalWidget());
        if (!dialog)
            return;
        const std::shared_ptr<void> closeAnyway(nullptr, [dialog](void *) {
            if (dialog->isVisible())
                dialog->reject();
        });
        title = dialog->windowTitle();
        QTest::mouseClick(dialog->findChild<QPushButton *>(QStringLiteral("checkAllButton")),
                          Qt::LeftButton);
        QTest::mouseClick(dialog->findChild<QPushButton *>(QStringLiteral("saveButton")),
                          Qt::LeftButton);
    });
    window.actions().compilersConfiguration->trigger();
    QCOMPARE(title, QStringLiteral("Compilers"));
    const QString text = output(window);
    const QString found = text.section(QStringLiteral("Found:\n"), 1);
    for (const char *name : {"GNU AVR GCC", "GNU PIC Utilities", "SDCC"})
        QVERIFY2(found.contains(QLatin1String(name) + QStringLiteral(":\t/usr/bin")),
                 qPrintable(text));
    QVERIFY(window.projectsManager()->openProject(path, false));
    window.projectsManager()->compileProject();
    QVERIFY2(output(window).contains(QStringLiteral("Compiled successfully.")),
             qPrintable(output(window)));
}

// "&Project Settings" on the AVR board: another AVR part, 8 MHz and another optimisation
// level; the next build compiles every source again with the new flags, the Makefile follows
// and avr-gcc builds for the new part.
void tst_UserFlows::projectSettingsChangeTheController()
{
    const QString path = copyBoard(QStringLiteral("AVR Blinky"), QStringLiteral("board"));
    SrcManager window;
    QVERIFY(openProject(window, path));
    window.projectsManager()->compileProject();
    QVERIFY(output(window).contains(QStringLiteral("Compiled successfully.")));
    QString title;
    QTimer::singleShot(0, &window, [&title] {
        auto *dialog = qobject_cast<QDialog *>(QApplication::activeModalWidget());
        if (!dialog)
            return;
        const std::shared_ptr<void> closeAnyway(nullptr, [dialog](void *) {
            if (dialog->isVisible())
                dialog->reject();
        });
        title = dialog->windowTitle();
        auto *controller = dialog->findChild<QComboBox *>(QStringLiteral("controllerCombo"));
        controller->setCurrentIndex(controller->findText(QStringLiteral("ATmega168")));
        auto *clock = dialog->findChild<QLineEdit *>(QStringLiteral("clockFrequency"));
        clock->selectAll();
        QTest::keyClicks(clock, QStringLiteral("8MHz"));
        auto *table = dialog->findChild<QTableWidget *>(QStringLiteral("optionsTable"));
        for (int row = 0; row < table->rowCount(); ++row) {
            if (table->item(row, 1)->text() == QLatin1String("-O")) {
                auto *level = qobject_cast<QComboBox *>(table->cellWidget(row, 2));
                level->setCurrentIndex(level->findText(QStringLiteral("2")));
            }
        }
        QTest::mouseClick(dialog->findChild<QPushButton *>(QStringLiteral("okButton")),
                          Qt::LeftButton);
    });
    window.actions().projectSettings->trigger();
    QCOMPARE(title, QStringLiteral("Project Options"));
    window.projectsManager()->compileProject();
    const QString text = output(window);
    QVERIFY2(text.contains(QStringLiteral("Compiled successfully.")), qPrintable(text));
    // Both sources compiled again, though neither changed.
    const QStringList lines = text.split(QLatin1Char('\n'));
    for (const char *source : {" main.c ", " led.c "}) {
        QVERIFY2(std::any_of(lines.cbegin(),
                             lines.cend(),
                             [source](const QString &line) {
                                 return line.contains(QLatin1String(source))
                                        && line.contains(QStringLiteral(" -O2 "));
                             }),
                 qPrintable(text));
    }
    QVERIFY2(text.contains(QStringLiteral("-mmcu=atmega168")), qPrintable(text));
    QVERIFY2(text.contains(QStringLiteral("-DF_CPU=8000000UL")), qPrintable(text));
    QVERIFY2(text.contains(QStringLiteral("-O2 ")) && !text.contains(QStringLiteral("-Og ")),
             qPrintable(text));
    const QString makefile = QString::fromUtf8(
        readAll(QFileInfo(path).absolutePath() + QStringLiteral("/Debug/Makefile")));
    QVERIFY(makefile.contains(QStringLiteral("\nMCU = ATmega168\n")));
    QVERIFY(makefile.contains(QStringLiteral("\nCLOCK = 8000000\n")));
    QVERIFY(!makefile.contains(QStringLiteral("328")));
    QVERIFY(readAll(path).contains("TYPE=\"ATmega168\""));
}

// "Save Project As...": the copy goes to a folder of its own with every file, its project file
// names them beside it, it builds there, and the original stays as it was. A name taken
// already is asked about; Cancel there keeps the dialog open.
void tst_UserFlows::saveProjectAsCopiesTheProject()
{
    const QString path = copyBoard(QStringLiteral("AVR Blinky"), QStringLiteral("board"));
    const QString original = QFileInfo(path).absolutePath();
    const QByteArray originalProject = readAll(path);
    const QString place = m_dir->filePath(QStringLiteral("copies"));
    QDir().mkpath(place);
    ScriptedPrompts prompts;
    SrcManager window;
    QVERIFY(openProject(window, path));
    // Open tabs, one with unsaved text.
    window.editors().openFileAt(original + QStringLiteral("/led.c"));
    window.editors().openFileAt(original + QStringLiteral("/main.c"), 1);
    const QByteArray savedMain = readAll(original + QStringLiteral("/main.c"));
    QTest::keyClicks(window.tabs()->currentEditor(), QStringLiteral("/* typed */"));
    const QString typedMain = window.tabs()->currentEditor()->text();
    QString proposed;
    int round = 0;
    const auto useDialog = [&] {
        auto *dialog = qobject_cast<QDialog *>(QApplication::activeModalWidget());
        if (!dialog)
            return;
        const std::shared_ptr<void> closeAnyway(nullptr, [dialog](void *) {
            if (dialog->isVisible())
                dialog->reject();
        });
        auto *name = dialog->findChild<QLineEdit *>(QStringLiteral("projectNameEdit"));
        proposed = name->text();
        // Characters no file name may hold cannot be typed.
        name->clear();
        QTest::keyClicks(name, QStringLiteral("Blinky: 2?"));
        QCOMPARE(name->text(), QStringLiteral("Blinky 2"));
        prompts.fileNames << place;
        QTest::mouseClick(dialog->findChild<QPushButton *>(QStringLiteral("browseButton")),
                          Qt::LeftButton);
        QTest::mouseClick(dialog->findChild<QPushButton *>(QStringLiteral("okButton")),
                          Qt::LeftButton);
        if (round == 1)
            QVERIFY(dialog->isVisible()); // the name is taken, and the answer was Cancel
    };
    QTimer::singleShot(0, &window, useDialog);
    window.actions().saveProjectAs->trigger();
    QCOMPARE(proposed, QStringLiteral("AVR Blinky copy"));
    const QString copy = place + QStringLiteral("/Blinky 2");
    QCOMPARE(filesIn(copy),
             QStringList({"AVR Blinky.DSN", "Blinky 2.dyxp", "led.c", "led.h", "main.c"}));
    QCOMPARE(projectFileNames(copy + QStringLiteral("/Blinky 2.dyxp")),
             QStringList({"main.c", "led.c", "led.h", "AVR Blinky.DSN"}));
    QCOMPARE(readAll(path), originalProject);
    // The tabs edit the copies; the copy holds what the tab showed, the original what was saved.
    QCOMPARE(window.tabs()->openPaths(),
             QStringList({copy + QStringLiteral("/led.c"), copy + QStringLiteral("/main.c")}));
    QCOMPARE(QString::fromUtf8(readAll(copy + QStringLiteral("/main.c"))), typedMain);
    QCOMPARE(readAll(original + QStringLiteral("/main.c")), savedMain);
    QVERIFY(!window.tabs()->currentEditor()->isDocumentModified());
    QTest::keyClicks(window.tabs()->currentEditor(), QStringLiteral("/* later */"));
    window.actions().saveFile->trigger();
    QVERIFY(readAll(copy + QStringLiteral("/main.c")).contains("/* later */"));
    QCOMPARE(readAll(original + QStringLiteral("/main.c")), savedMain);
    // The copy stands alone: it builds with the original gone.
    QVERIFY(QDir(original).removeRecursively());
    window.projectsManager()->compileProject();
    QVERIFY2(output(window).contains(QStringLiteral("Compiled successfully.")),
             qPrintable(output(window)));
    QVERIFY(QFileInfo::exists(copy + QStringLiteral("/Debug/Debug.hex")));

    round = 1;
    prompts.answers << QMessageBox::Cancel;
    QTimer::singleShot(0, &window, useDialog);
    window.actions().saveProjectAs->trigger();
    QCOMPARE(prompts.asked.last().text,
             QStringLiteral("A project with the same name already exists"));
}

void tst_UserFlows::removeFileKeepsUnsavedText_data()
{
    QTest::addColumn<int>("answer"); // to the question about main.c's unsaved text
    QTest::addColumn<bool>("removed");
    QTest::addColumn<bool>("typedOnDisk");
    QTest::newRow("Cancel keeps the file and its text")
        << int(QMessageBox::Cancel) << false << false;
    QTest::newRow("Discard") << int(QMessageBox::Discard) << true << false;
    QTest::newRow("Save") << int(QMessageBox::Save) << true << true;
}

// Remove File on a file whose tab holds unsaved text asks what becomes of the text; on a group
// it names the group's files and removes them. Closing the project names modified files
// without the tab's mark.
void tst_UserFlows::removeFileKeepsUnsavedText()
{
    QFETCH(int, answer);
    QFETCH(bool, removed);
    QFETCH(bool, typedOnDisk);
    const QString path = copyBoard(QStringLiteral("AVR Blinky"), QStringLiteral("board"));
    const QString folder = QFileInfo(path).absolutePath();
    const QString main = folder + QStringLiteral("/main.c");
    ScriptedPrompts prompts;
    SrcManager window;
    QVERIFY(openProject(window, path));
    window.editors().openFileAt(main, 1);
    QTest::keyClicks(window.tabs()->currentEditor(), QStringLiteral("/* typed */"));
    Project *project = window.projectsManager()->currentProject();
    const int files = project->fileCount();
    auto *tree = window.projectsManager()->tree();
    // The user clicks the item in the projects pane.
    const auto click = [tree](QTreeWidgetItem *item) {
        tree->scrollToItem(item);
        QTest::mouseClick(tree->viewport(), Qt::LeftButton, {}, tree->visualItemRect(item).center());
    };
    click(project->fileAt(0)->item);
    QCOMPARE(project->filePathAt(0), main);
    prompts.answers << QMessageBox::Ok << QMessageBox::StandardButton(answer);
    window.actions().removeFile->trigger();
    QCOMPARE(prompts.asked.size(), 2);
    QCOMPARE(prompts.asked.at(0).informativeText,
             QStringLiteral("The file 'main.c' will be removed from the project."));
    QVERIFY(prompts.asked.at(1).text.startsWith(QStringLiteral("main.c has been modified.")));
    QCOMPARE(project->fileCount(), removed ? files - 1 : files);
    QCOMPARE(window.tabs()->openPaths().contains(main), !removed);
    QCOMPARE(readAll(main).contains("/* typed */"), typedOnDisk);
    if (!removed) {
        QVERIFY(window.tabs()->currentEditor()->text().contains(QStringLiteral("/* typed */")));
        prompts.asked.clear();
        prompts.answers << QMessageBox::Cancel;
        window.actions().closeProject->trigger();
        QCOMPARE(prompts.asked.first().text,
                 QStringLiteral("Files main.c have been modified.\n"
                                "Do you want to save your changes?"));
        return;
    }
    // The group of the remaining sources: its files go together.
    QTreeWidgetItem *group = project->fileAt(0)->item->parent();
    const QString groupName = group->text(0);
    QStringList inGroup;
    for (int i = 0; i < project->fileCount(); ++i) {
        if (project->fileGroup(i) == groupName)
            inGroup << project->relativeFilePath(i);
    }
    click(group);
    prompts.asked.clear();
    prompts.answers << QMessageBox::Ok;
    window.actions().removeFile->trigger();
    QCOMPARE(prompts.asked.first().informativeText,
             QStringLiteral("The files of the group '%1' will be removed from the project: %2.")
                 .arg(groupName, inGroup.join(QStringLiteral(", "))));
    QCOMPARE(project->fileCount(), files - 1 - inGroup.size());
}

void tst_UserFlows::cancelKeepsTheOpenProject_data()
{
    QTest::addColumn<QString>("command");
    QTest::newRow("New Project, cancelled") << "new";
    QTest::newRow("Open Project, cancelled") << "open";
    QTest::newRow("Open Project, the one open") << "same";
    QTest::newRow("Open Sample, cancelled") << "sample";
}

// Cancel in New Project, Open Project or Open Sample leaves the open project, its tabs and
// their unsaved text as they were; opening the open project again says so.
void tst_UserFlows::cancelKeepsTheOpenProject()
{
    QFETCH(QString, command);
    const QString path = copyBoard(QStringLiteral("AVR Blinky"), QStringLiteral("board"));
    const QString main = QFileInfo(path).absolutePath() + QStringLiteral("/main.c");
    ScriptedPrompts prompts;
    SrcManager window;
    QVERIFY(openProject(window, path));
    window.editors().openFileAt(main, 1);
    QTest::keyClicks(window.tabs()->currentEditor(), QStringLiteral("/* typed */"));
    QTimer::singleShot(0, &window, [] {
        if (auto *dialog = qobject_cast<QDialog *>(QApplication::activeModalWidget()))
            dialog->reject();
    });
    if (command == QLatin1String("new")) {
        window.actions().newProject->trigger();
    } else if (command == QLatin1String("sample")) {
        window.actions().openSample->trigger();
    } else {
        if (command == QLatin1String("same"))
            prompts.fileNames << path;
        window.actions().openProject->trigger();
    }
    QCOMPARE(window.projectsManager()->projectCount(), 1);
    QCOMPARE(window.projectsManager()->currentProject()->filePath(), path);
    QCOMPARE(window.tabs()->openPaths(), QStringList{main});
    QVERIFY(window.tabs()->currentEditor()->text().startsWith(QStringLiteral("/* typed */")));
    // Nothing asked about the unsaved text: nothing was closed.
    for (const auto &question : std::as_const(prompts.asked))
        QVERIFY2(!question.text.contains(QStringLiteral("modified")), qPrintable(question.text));
    if (command == QLatin1String("same"))
        QCOMPARE(prompts.asked.last().text,
                 QStringLiteral("Project %1 is already opened").arg(path));
}

// A file another program changes while it is open: read again at once when the tab holds no
// unsaved text; otherwise the user is asked, and a save never goes over the other program's
// version unasked.
void tst_UserFlows::anotherProgramsChangeIsNotLost()
{
    const QString path = copyBoard(QStringLiteral("AVR Blinky"), QStringLiteral("board"));
    const QString main = QFileInfo(path).absolutePath() + QStringLiteral("/main.c");
    ScriptedPrompts prompts;
    SrcManager window;
    QVERIFY(openProject(window, path));
    window.editors().openFileAt(main);
    SourceEditor *editor = window.tabs()->currentEditor();
    // Another program replaces the file, as a checkout or a generator does.
    QVERIFY(Platform::writeWholeFile(main, "int other_program(void);\n"));
    QTRY_COMPARE(editor->text(), QStringLiteral("int other_program(void);\n"));
    QVERIFY(!editor->isDocumentModified());
    QVERIFY(prompts.asked.isEmpty());

    // Typed text, then another change on disk: asked; No keeps the typed text.
    QTest::keyClicks(editor, QStringLiteral("/* typed */"));
    prompts.answers << QMessageBox::No;
    QVERIFY(Platform::writeWholeFile(main, "int second_change(void);\n"));
    QTRY_COMPARE(prompts.asked.size(), 1);
    QVERIFY(prompts.asked.first().text.contains(QStringLiteral("changed on disk")));
    QVERIFY(editor->text().contains(QStringLiteral("/* typed */")));
    // Saving asks before going over the newer file; Cancel leaves it.
    prompts.answers << QMessageBox::Cancel;
    window.actions().saveFile->trigger();
    QCOMPARE(prompts.asked.size(), 2);
    QCOMPARE(readAll(main), QByteArray("int second_change(void);\n"));
    prompts.answers << QMessageBox::Save;
    window.actions().saveFile->trigger();
    QVERIFY(readAll(main).contains("/* typed */"));
    // The program's own save is no change by another program.
    QTest::qWait(300);
    QCOMPARE(prompts.asked.size(), 3);
    QVERIFY(!editor->isDocumentModified());
}

void tst_UserFlows::newProjectWizard_data()
{
    QTest::addColumn<QString>("start");     // a board's name, "none" or "design"
    QTest::addColumn<int>("cancelAt");      // 0: finish; 1 or 2: Cancel on that page
    QTest::addColumn<QStringList>("files"); // the new project's files, as its file names them
    QTest::addColumn<QString>("clock");
    QTest::newRow("AVR board") << "AVR Blinky" << 0
                               << QStringList({"main.c", "led.c", "led.h", "AVR Blinky.DSN"})
                               << "16MHz";
    QTest::newRow("PIC16 board") << "PIC16 Blinky" << 0
                                 << QStringList({"main.asm", "delay.asm", "PIC16 Blinky.DSN"})
                                 << "4MHz";
    QTest::newRow("8051 board") << "8051 Blinky" << 0
                                << QStringList({"main.c", "delay.c", "delay.h", "8051 Blinky.DSN"})
                                << "11.0592MHz";
    QTest::newRow("nothing") << "none" << 0 << QStringList() << "4MHz";
    QTest::newRow("design file") << "design" << 0 << QStringList({"main.c", "board.DSN"}) << "4MHz";
    QTest::newRow("cancel on the first page") << "AVR Blinky" << 1 << QStringList() << "";
    QTest::newRow("cancel on the second page") << "none" << 2 << QStringList() << "";
}

// "&New Project": a board's project, nothing, or a design file and the files beside it; the
// finished project is saved in a folder of its own (beside the design file for that one) with
// "Debug" and "Release" at 4 MHz where the start had no clock, and builds with F7 at once.
// Cancel on either page leaves the projects pane as it was.
void tst_UserFlows::newProjectWizard()
{
    QFETCH(QString, start);
    QFETCH(int, cancelAt);
    QFETCH(QStringList, files);
    QFETCH(QString, clock);
    const QString projects = m_dir->filePath(QStringLiteral("projects"));
    QDir().mkpath(projects);
    const QString designFolder = m_dir->filePath(QStringLiteral("design"));
    QVERIFY(QDir().mkpath(designFolder + QStringLiteral("/sub")));
    QVERIFY(writeAll(designFolder + QStringLiteral("/board.DSN"), "schematic\n"));
    QVERIFY(writeAll(designFolder + QStringLiteral("/main.c"), "int main(void) { for (;;) ; }\n"));
    QVERIFY(writeAll(designFolder + QStringLiteral("/old.dyxp"), "<PROJECT/>"));
    QVERIFY(writeAll(designFolder + QStringLiteral("/sub/unused.c"), "int unused;\n"));
    {
        SettingsStore store;
        store.setDirectory(SettingsStore::Projects, projects);
        store.setDirectory(SettingsStore::DevBoards,
                           QFileInfo(QStringLiteral(DYX_PROGRAM)).absolutePath()
                               + QStringLiteral("/../devboards"));
        store.sync();
    }
    ScriptedPrompts prompts;
    prompts.fileNames << designFolder + QStringLiteral("/board.DSN");
    SrcManager window;
    window.projectsManager()->scanCompilers();
    const int before = window.projectsManager()->projectCount();

    QStringList seen;
    QTimer driver;
    driver.setInterval(20);
    QObject::connect(&driver, &QTimer::timeout, [&] {
        auto *dialog = qobject_cast<QDialog *>(QApplication::activeModalWidget());
        if (!dialog || !dialog->isVisible()
            || seen.contains(dialog->objectName() + QString::number(quintptr(dialog))))
            return;
        const QString name = dialog->objectName();
        seen.append(name + QString::number(quintptr(dialog)));
        // Clicked once this round is over: a button that opens the next dialog must not
        // hold this timer's round open.
        const auto click = [dialog](const char *button) {
            QMetaObject::invokeMethod(dialog->findChild<QPushButton *>(QLatin1String(button)),
                                      "click",
                                      Qt::QueuedConnection);
        };
        if (name == QLatin1String("DevBoardDialog")) {
            QCOMPARE(dialog->windowTitle(), QStringLiteral("New Project Wizard"));
            if (cancelAt == 1)
                return click("cancelButton");
            if (start.endsWith(QLatin1String("Blinky"))) {
                auto *boards = dialog->findChild<QListWidget *>(QStringLiteral("demoProjectsList"));
                boards->setCurrentItem(boards->findItems(start, Qt::MatchExactly).value(0));
            } else if (start == QLatin1String("none")) {
                dialog->findChild<QRadioButton *>(QStringLiteral("noneRadioButton"))
                    ->setChecked(true);
            } else {
                dialog->findChild<QRadioButton *>(QStringLiteral("designFileRadioButton"))
                    ->setChecked(true);
                dialog->findChild<QToolButton *>(QStringLiteral("designFileButton"))->click();
            }
            return click("nextButton");
        }
        if (name == QLatin1String("ControllerDialog")) {
            if (cancelAt == 2)
                return click("cancelButton");
            auto *family = dialog->findChild<QComboBox *>(QStringLiteral("controllerFamily"));
            if (family->currentText().isEmpty()) {
                family->setCurrentIndex(family->findText(QStringLiteral("AVR")));
                auto *controller = dialog->findChild<QComboBox *>(QStringLiteral("controller"));
                controller->setCurrentIndex(controller->findText(QStringLiteral("ATmega328P")));
            }
            return click("okButton");
        }
        if (name == QLatin1String("CopyProjectFilesDialog")) {
            dialog->findChild<QLineEdit *>(QStringLiteral("projectNameEdit"))
                ->setText(QStringLiteral("Fresh"));
            return click("okButton");
        }
    });
    driver.start();
    QVERIFY(window.actions().newProject->isEnabled());
    window.actions().newProject->trigger();
    driver.stop();
    if (cancelAt) {
        QCOMPARE(window.projectsManager()->projectCount(), before);
        QVERIFY(filesIn(projects).isEmpty()
                && QDir(projects).entryList(QDir::Dirs | QDir::NoDotAndDotDot).isEmpty());
        return;
    }
    QVERIFY2(window.projectsManager()->projectCount() == before + 1,
             qPrintable(seen.join(QLatin1Char(' ')) + QLatin1Char(' ') + output(window)));
    Project *project = window.projectsManager()->currentProject();
    QVERIFY(project);
    const QString folder = start == QLatin1String("design") ? designFolder
                                                            : projects + QStringLiteral("/Fresh");
    QCOMPARE(project->filePath(), folder + QStringLiteral("/Fresh.dyxp"));
    QCOMPARE(projectFileNames(project->filePath()), files);
    QStringList configurations;
    for (int i = 0; i < project->configurationCount(); ++i)
        configurations.append(project->configuration(i)->name() + QLatin1Char(' ')
                              + project->configuration(i)->clock());
    QCOMPARE(configurations, QStringList({"Debug " + clock, "Release " + clock}));
    if (start == QLatin1String("none"))
        return; // nothing to build
    window.projectsManager()->compileProject();
    QVERIFY2(output(window).contains(QStringLiteral("Compiled successfully.")),
             qPrintable(output(window)));
    // Firmware in the configuration's folder, whatever the compiler names it.
    QVERIFY(!QDir(folder + QStringLiteral("/Debug"))
                 .entryList({QStringLiteral("*.hex"), QStringLiteral("*.ihx")}, QDir::Files)
                 .isEmpty());
}

// "Open Sample" where no simulator suite is installed says so, and opens nothing.
void tst_UserFlows::openSampleWithoutAnInstallation()
{
    ScriptedPrompts prompts;
    SrcManager window;
    window.actions().openSample->trigger();
    QCOMPARE(prompts.asked.size(), 1);
    QCOMPARE(prompts.asked.first().text, QStringLiteral("No Cirrane Installation Detected."));
    QCOMPARE(window.projectsManager()->projectCount(), 0);
}

// F1 in the main window and "&Help" open the main page in the "Main" window; F1 in the find
// dialog opens its page in the "Popup" window, and the settings dialog's page follows its tab;
// the what's-this button does what F1 does; without a help file nothing opens.
void tst_UserFlows::helpOpensTheTopicOfWhereTheUserIs()
{
    SrcManager window;
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    window.showHelp(m_dir->filePath(QStringLiteral("DYXSTUDIO.CHM")), 0);
    QVERIFY(!window.helpViewer() || !window.helpViewer()->window(QStringLiteral("Main")));

    QTest::keyClick(&window, Qt::Key_F1);
    HelpViewer *help = window.helpViewer();
    QVERIFY(help && help->window(QStringLiteral("Main")));
    HelpWindow *main = help->window(QStringLiteral("Main"));
    QVERIFY(main->isVisible());
    QCOMPARE(main->topic(), QStringLiteral("/index.html"));
    QCOMPARE(main->windowTitle(), QStringLiteral("DYX Studio Help"));
    QVERIFY(main->browser()->toPlainText().contains(QStringLiteral("Getting started")));
    main->hide();
    window.actions().help->trigger();
    QVERIFY(main->isVisible());

    window.editors().openFileAt(m_dir->filePath(QStringLiteral("a.c")));
    window.actions().find->trigger();
    FindDialog *find = window.findChild<FindDialog *>();
    QVERIFY(find && find->isVisible());
    // F1 where the user types, in the find box: one window, in front of the dialog.
    QTest::keyClick(find->findChild<QComboBox *>(QStringLiteral("findTextComboBox")), Qt::Key_F1);
    HelpWindow *popup = help->window(QStringLiteral("Popup"));
    QVERIFY(popup && popup->isVisible());
    QCOMPARE(popup->topic(), QStringLiteral("/find.html"));
    QVERIFY(popup->browser()->toPlainText().contains(QStringLiteral("Replace All")));
    const auto shownHelpWindows = [] {
        int shown = 0;
        for (QWidget *top : QApplication::topLevelWidgets())
            shown += qobject_cast<HelpWindow *>(top) && top->isVisible();
        return shown;
    };
    main->hide();
    QCOMPARE(shownHelpWindows(), 1);
    QCOMPARE(popup->parentWidget(), find);
    find->hide();

    // A modal dialog's page opens in a window of the dialog's own, which answers while the
    // dialog stays open.
    QString modalTopic;
    QTimer::singleShot(0, &window, [&] {
        auto *dialog = qobject_cast<QDialog *>(QApplication::activeModalWidget());
        if (!dialog)
            return;
        QWidget *typing = dialog->findChild<QLineEdit *>();
        QTest::keyClick(typing ? typing : dialog, Qt::Key_F1);
        HelpWindow *shown = help->window(QStringLiteral("Popup"));
        if (shown && shown->isVisible() && shown->parentWidget() == dialog && dialog->isVisible()
            && shownHelpWindows() == 1)
            modalTopic = shown->topic();
        dialog->reject();
    });
    window.actions().compilersConfiguration->trigger();
    QCOMPARE(modalTopic, QStringLiteral("/compilers.html"));

    QString topics;
    QTimer::singleShot(0, &window, [&topics, help] {
        auto *dialog = qobject_cast<QDialog *>(QApplication::activeModalWidget());
        if (!dialog)
            return;
        auto *tabs = dialog->findChild<QTabWidget *>(QStringLiteral("tabWidget"));
        for (int tab = 0; tab < tabs->count(); ++tab) {
            tabs->setCurrentIndex(tab);
            QTest::keyClick(dialog, Qt::Key_F1);
            topics += help->window(QStringLiteral("Popup"))->topic() + QLatin1Char(' ');
        }
        // The what's-this button, on the last tab.
        QApplication::setActiveWindow(dialog);
        help->window(QStringLiteral("Popup"))
            ->browser()
            ->setSource(QUrl(QStringLiteral("chm:/index.html")));
        QEvent whatsThis(QEvent::EnterWhatsThisMode);
        QCoreApplication::sendEvent(qApp, &whatsThis);
        topics += help->window(QStringLiteral("Popup"))->topic();
        dialog->reject();
    });
    window.actions().editorConfiguration->trigger();
    QCOMPARE(topics,
             QStringLiteral("/settings_directories.html /settings_fonts.html "
                            "/settings_editor.html /settings_editor.html"));
}

// "&Find" and "Find &Next" in one document: every match in turn, then the search tells that it
// came round, and the next one starts again from the cursor.
void tst_UserFlows::findWrapsInTheCurrentDocument()
{
    const QString path = m_dir->filePath(QStringLiteral("moves.asm"));
    QVERIFY(writeAll(path, "mov a\nnop\nmov b\nMOV c\n"));
    ScriptedPrompts prompts;
    SrcManager window;
    window.editors().openFileAt(path);
    SourceEditor *editor = window.tabs()->currentEditor();
    window.actions().find->trigger();
    auto *dialog = window.findChild<FindDialog *>();
    QVERIFY(dialog && dialog->isVisible());
    QCOMPARE(dialog->windowTitle(), QStringLiteral("Find"));
    dialog->findChild<QComboBox *>(QStringLiteral("findTextComboBox"))
        ->setEditText(QStringLiteral("mov"));
    QList<int> lines;
    for (int i = 0; i < 4; ++i) {
        dialog->findChild<QPushButton *>(QStringLiteral("findNextButton"))->click();
        int line = -1;
        int index = -1;
        editor->getCursorPosition(&line, &index);
        lines.append(prompts.asked.isEmpty() ? line : -1);
    }
    QCOMPARE(lines, QList<int>({0, 2, 3, -1}));
    QCOMPARE(prompts.asked.size(), 1);
    QCOMPARE(prompts.asked.first().title, QStringLiteral("Find"));
    QCOMPARE(prompts.asked.first().text, QStringLiteral("Reached start of search"));

    // Matching case is another search: it starts again from the cursor.
    editor->setCursorPosition(0, 0);
    dialog->findChild<QCheckBox *>(QStringLiteral("matchCaseCheckBox"))->click();
    window.actions().findNext->trigger();
    QCOMPARE(editor->selectedText(), QStringLiteral("mov"));
    window.actions().findNext->trigger();
    int line = -1;
    int index = -1;
    editor->getSelection(&line, &index, &line, &index);
    QCOMPARE(line, 2);
}

// Replace all over the current project, from the projects pane to a build: every occurrence
// changes, nothing else does, and the count says how many.
void tst_UserFlows::replaceAllInTheProject()
{
    // Thirty sources that use PORTB, some more than once, one not at all, and the names
    // PORTB is part of left alone only because the text differs.
    const QString folder = m_dir->filePath(QStringLiteral("ports"));
    QDir().mkpath(folder);
    QByteArray files;
    QMap<QString, QByteArray> before;
    int occurrences = 0;
    for (int i = 0; i < 30; ++i) {
        const QString name = QStringLiteral("unit%1.c").arg(i);
        QByteArray text = "#include <avr/io.h>\n\nvoid unit" + QByteArray::number(i)
                          + "(void)\n{\n";
        for (int k = 0; k < i % 4; ++k)
            text += "    PORTB ^= " + QByteArray::number(1 << k) + ";\n";
        occurrences += i % 4;
        text += "    DDRD = PORTD;\n}\n";
        before[name] = text;
        files += "<FILE NAME=\"" + name.toUtf8() + "\" GROUP=\"Source Files\"/>";
    }
    before[QStringLiteral("main.c")] = "int main(void)\n{\n    for (;;)\n        ;\n}\n";
    files += "<FILE NAME=\"main.c\" GROUP=\"Source Files\"/>";
    for (auto it = before.cbegin(); it != before.cend(); ++it)
        QVERIFY(writeAll(folder + QLatin1Char('/') + it.key(), it.value()));
    const QString path = folder + QStringLiteral("/ports.dyxp");
    QVERIFY(writeAll(path,
                     "<PROJECT><FILES>" + files
                         + "</FILES><CONFIGURATION NAME=\"Debug\" COMPILER=\"GNU AVR GCC\" "
                           "TARGET=\"Debug\"><CONTROLLER FAMILY=\"AVR\" TYPE=\"ATmega328P\" "
                           "CLOCK=\"16MHz\"/></CONFIGURATION></PROJECT>"));

    ScriptedPrompts prompts;
    SrcManager window;
    QVERIFY(openProject(window, path));
    window.editors().openFileAt(folder + QStringLiteral("/main.c"));
    window.actions().replace->trigger();
    auto *dialog = window.findChild<FindDialog *>();
    QVERIFY(dialog);
    QCOMPARE(dialog->windowTitle(), QStringLiteral("Find / Replace"));
    dialog->findChild<QComboBox *>(QStringLiteral("findTextComboBox"))
        ->setEditText(QStringLiteral("PORTB"));
    dialog->findChild<QComboBox *>(QStringLiteral("replaceWithTextComboBox"))
        ->setEditText(QStringLiteral("PORTC"));
    dialog->findChild<QComboBox *>(QStringLiteral("lookInComboBox"))->setCurrentIndex(2);
    window.show();
    dialog->findChild<QPushButton *>(QStringLiteral("replaceAllButton"))->click();
    QCOMPARE(prompts.asked.size(), 1);
    QCOMPARE(prompts.asked.first().text, QStringLiteral("Replaced %1 occurences").arg(occurrences));

    // The tabs as the user sees them: one for each changed file, marked and closable, the last
    // one opened in front, each highlighted once it is looked at.
    QTabBar *bar = window.tabs()->tabBar();
    QVERIFY(bar->isVisible());
    QStringList changed{QStringLiteral("main.c")};
    for (int i = 0; i < 30; ++i) {
        if (i % 4 != 0)
            changed.append(QStringLiteral("*unit%1.c").arg(i));
    }
    QCOMPARE(bar->count(), changed.size());
    for (int i = 0; i < bar->count(); ++i) {
        QCOMPARE(bar->tabText(i), changed.at(i));
        QVERIFY(bar->tabButton(i, QTabBar::RightSide));
    }
    QCOMPARE(window.tabs()->currentIndex(), bar->count() - 1);
    for (int i : {bar->count() - 1, 1}) {
        window.tabs()->setCurrentIndex(i);
        QVERIFY(qobject_cast<QsciLexerCPP *>(window.tabs()->currentEditor()->lexer()));
    }

    window.actions().saveAllFiles->trigger();
    QCOMPARE(bar->tabText(1), QStringLiteral("unit1.c"));
    for (auto it = before.cbegin(); it != before.cend(); ++it) {
        QByteArray expected = it.value();
        QCOMPARE(readAll(folder + QLatin1Char('/') + it.key()), expected.replace("PORTB", "PORTC"));
    }
    window.projectsManager()->compileProject();
    QVERIFY2(output(window).contains(QStringLiteral("Compiled successfully.")),
             qPrintable(output(window)));
}

// Project files that hold no match are opened as the search reaches them and closed again.
void tst_UserFlows::findClosesProjectFilesWithoutAMatch()
{
    const QString path = copyBoard(QStringLiteral("AVR Blinky"), QStringLiteral("board"));
    const QString folder = QFileInfo(path).absolutePath();
    ScriptedPrompts prompts;
    SrcManager window;
    QVERIFY(openProject(window, path));
    window.editors().openFileAt(folder + QStringLiteral("/main.c"));
    window.actions().find->trigger();
    auto *dialog = window.findChild<FindDialog *>();
    dialog->findChild<QComboBox *>(QStringLiteral("findTextComboBox"))
        ->setEditText(QStringLiteral("PINB"));
    dialog->findChild<QComboBox *>(QStringLiteral("lookInComboBox"))->setCurrentIndex(2);
    dialog->findChild<QPushButton *>(QStringLiteral("findNextButton"))->click();
    QCOMPARE(window.tabs()->currentEditor()->filePath(), folder + QStringLiteral("/led.c"));
    QCOMPARE(window.tabs()->currentEditor()->selectedText(), QStringLiteral("PINB"));
    QCOMPARE(window.tabs()->openPaths(),
             QStringList({folder + QStringLiteral("/main.c"), folder + QStringLiteral("/led.c")}));
    dialog->findChild<QPushButton *>(QStringLiteral("findNextButton"))->click();
    // led.h holds none: it was opened and closed again; the search came round.
    QCOMPARE(window.tabs()->openPaths().size(), 2);
    QCOMPARE(prompts.asked.size(), 1);

    // With no editor open, the search takes the project's files from the first; one that is
    // no readable file leaves no tab behind.
    for (const QString &open : window.tabs()->openPaths())
        window.tabs()->closeFile(open, true);
    QDir(folder).mkdir(QStringLiteral("notafile.c"));
    window.projectsManager()->currentProject()->addFile(folder + QStringLiteral("/notafile.c"),
                                                        QStringLiteral("Source Files"));
    dialog->findChild<QPushButton *>(QStringLiteral("findNextButton"))->click();
    QVERIFY(window.tabs()->currentEditor());
    QCOMPARE(window.tabs()->currentEditor()->filePath(), folder + QStringLiteral("/led.c"));
    QCOMPARE(window.tabs()->currentEditor()->selectedText(), QStringLiteral("PINB"));
    for (const QString &open : window.tabs()->openPaths())
        window.tabs()->closeFile(open, true);
    window.actions().replace->trigger();
    dialog->findChild<QComboBox *>(QStringLiteral("replaceWithTextComboBox"))
        ->setEditText(QStringLiteral("PINB"));
    prompts.asked.clear();
    dialog->findChild<QPushButton *>(QStringLiteral("replaceAllButton"))->click();
    QCOMPARE(prompts.asked.size(), 1);
    QVERIFY2(prompts.asked.first().text != QStringLiteral("Replaced 0 occurences"),
             qPrintable(prompts.asked.first().text));
    QCOMPARE(window.tabs()->openPaths(), QStringList{folder + QStringLiteral("/led.c")});
}

void tst_UserFlows::headerChangesRebuildWhatIncludesThem_data()
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
    QTest::newRow("8051, a header one includes")
        << "8051 Blinky"
        << "board.h" << QStringList{"main.c"} << QStringList{"delay.c"};
}

// The compilers tell the build which headers each source includes: a changed header rebuilds
// exactly the sources that include it.
void tst_UserFlows::headerChangesRebuildWhatIncludesThem()
{
    QFETCH(QString, board);
    QFETCH(QString, header);
    QFETCH(QStringList, rebuilt);
    QFETCH(QStringList, kept);
    const QString path = copyBoard(board, QStringLiteral("board"));
    const QString folder = QFileInfo(path).absolutePath();
    QVERIFY(writeAll(folder + QStringLiteral("/board.h"), "#define BOARD 1\n"));
    QVERIFY(writeAll(folder + QStringLiteral("/main.c"),
                     "#include \"board.h\"\n" + readAll(folder + QStringLiteral("/main.c"))));
    SrcManager window;
    QVERIFY(openProject(window, path));
    window.projectsManager()->compileProject();
    QVERIFY2(output(window).contains(QStringLiteral("Compiled successfully.")),
             qPrintable(output(window)));
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
}

QTEST_MAIN(tst_UserFlows)
#include "tst_userflows.moc"
