// Projects through the main window, checked as the user would: the files on disk, the saved
// project, the tree, the tabs, the questions asked.

#include "app/srcmanager.h"
#include "common/fakemainservices.h"
#include "common/fulldisk.h"
#include "common/scriptedprompts.h"
#include "common/sequence.h"
#include "common/testfiles.h"
#include "common/windowsuite.h"
#include "core/settingsstore.h"

#include "build/buildproject.h"
#include "build/makefilewriter.h"
#include "editor/ui/sourceeditor.h"
#include "editor/ui/srctabsholder.h"
#include "project/ui/project.h"
#include "project/ui/projectsmanager.h"
#include "project/ui/projecttreewidget.h"
#include "toolchain/buildconfig.h"
#include "toolchain/buildconfiglist.h"
#include "toolchain/ui/controllerdialog.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QDir>
#include <QLineEdit>
#include <QListWidget>
#include <QMimeData>
#include <QPushButton>
#include <QRadioButton>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QTabWidget>
#include <QTableWidget>
#include <QTimer>
#include <QToolButton>
#include <QTreeWidgetItem>
#include <QtTest>

#include <Qsci/qscilexer.h>

class tst_ProjectFlows : public QObject, private WindowSuite
{
    Q_OBJECT

private slots:
    void initTestCase() { isolateSettings(); }
    void init() { freshStart(); }
    void closingAsksAboutEveryModifiedEditor();
    void fullDiskKeepsTheOldFiles();
    void anotherWindowsSaveIsNotSavedOver();
    void addNewFileMakesNoFileElsewhere();
    void saveProjectAsThatCannotBeDoneChangesNothing_data();
    void saveProjectAsThatCannotBeDoneChangesNothing();
    void discardedRenamesAreUndone();
    void unreadConfigurationsStayInTheFile();
    void anotherCompilersFolderIsReadAtOnce();
    void projectFileChangedElsewhereIsReadAgain();
    void endedBySystemKeepsUnsavedWork();
    void sessionManagerHasUnsavedWorkKept();
    void unsavedWorkIsKeptMeanwhile();
    void handedOverProjectWaitsForTheDialog();
    void cancelKeepsTheOpenProject_data();
    void cancelKeepsTheOpenProject();
    void newProjectWizard_data();
    void newProjectWizard();
    void randomWorkKeepsDiskTabsAndProjectAgreed_data();
    void randomWorkKeepsDiskTabsAndProjectAgreed();
    void randomConfigurationWorkKeepsListSelectorAndBuilds();
    void randomWorkAcrossRestartsKeepsTheSession();
};

void tst_ProjectFlows::closingAsksAboutEveryModifiedEditor()
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
    QCOMPARE(readFile(notes), QByteArray("outside"));

    prompts.asked.clear();
    prompts.answers.append({QMessageBox::Discard});
    QVERIFY(window.close());
    QCOMPARE(prompts.asked.size(), 1);
}

// Add New File at a name where a link points elsewhere, to nothing yet: the file is not made
// there, and the user is told; nothing is added.
void tst_ProjectFlows::addNewFileMakesNoFileElsewhere()
{
    const QString path = copyBoard(QStringLiteral("AVR Blinky"), QStringLiteral("board"));
    const QString link = QFileInfo(path).absolutePath() + QStringLiteral("/new.c");
    const QString elsewhere = m_dir->filePath(QStringLiteral("elsewhere.c"));
    QVERIFY(QFile::link(elsewhere, link));
    ScriptedPrompts prompts;
    SrcManager window;
    Project *project = openProject(window, path);
    QVERIFY(project);
    const int files = project->fileCount();
    prompts.fileNames << link;
    window.actions().addNewFile->trigger();
    QVERIFY(!QFileInfo::exists(elsewhere));
    QCOMPARE(project->fileCount(), files);
    QVERIFY(window.tabs()->openPaths().isEmpty());
    QVERIFY2(output(window).contains(QStringLiteral("Cannot create ") + link),
             qPrintable(output(window)));
}

// A source renamed twice in the tree, typed in and saved, then the project closed with Discard:
// the project file names it by its first name, so it takes that name again, with what was typed.
void tst_ProjectFlows::discardedRenamesAreUndone()
{
    const QString path = copyBoard(QStringLiteral("AVR Blinky"), QStringLiteral("board"));
    const QString folder = QFileInfo(path).absolutePath();
    ScriptedPrompts prompts;
    SrcManager window;
    Project *project = openProject(window, path);
    QVERIFY(project);
    window.editors().openFileAt(folder + QStringLiteral("/led.c"));
    QVERIFY(WindowFlows::renameInTree(window, folder + QStringLiteral("/led.c"), "lamp.c"));
    QVERIFY(WindowFlows::renameInTree(window, folder + QStringLiteral("/lamp.c"), "light.c"));
    QVERIFY(QFileInfo::exists(folder + QStringLiteral("/light.c")));
    window.tabs()->currentEditor()->insertAt(QStringLiteral("// typed\n"), 0, 0);
    window.actions().saveFile->trigger();
    prompts.answers << QMessageBox::Discard;
    window.actions().closeProject->trigger();
    QVERIFY(prompts.answers.isEmpty() && window.tabs()->openPaths().isEmpty());
    QStringList listed = projectFileNames(path) << QFileInfo(path).fileName();
    listed.sort();
    QCOMPARE(filesIn(folder), listed);
    QVERIFY(readFile(folder + QStringLiteral("/led.c")).startsWith("// typed\n"));
    QVERIFY(openProject(window, path));
    window.actions().buildProject->trigger();
    QVERIFY2(output(window).contains(QStringLiteral("Compiled successfully.")),
             qPrintable(output(window)));
    // The first name taken meanwhile by another file: the renamed file stays, and is named.
    QVERIFY(WindowFlows::renameInTree(window, folder + QStringLiteral("/led.c"), "lamp.c"));
    QVERIFY(writeFile(folder + QStringLiteral("/led.c"), "// another\n"));
    prompts.answers << QMessageBox::Discard;
    window.actions().closeProject->trigger();
    QVERIFY(readFile(folder + QStringLiteral("/lamp.c")).startsWith("// typed\n"));
    QVERIFY(prompts.asked.last().text.endsWith(folder
                                               + QStringLiteral("/lamp.c (the project "
                                                                "names it led.c)")));
}

// The shape of an element: its tag, attributes in order of name and children, without the
// blanks between them.
static QString shape(const QDomElement &element)
{
    QStringList attributes;
    const QDomNamedNodeMap map = element.attributes();
    for (int i = 0; i < map.count(); ++i)
        attributes << map.item(i).nodeName() + QLatin1Char('=') + map.item(i).nodeValue();
    attributes.sort();
    QString text = element.tagName() + QLatin1Char('[') + attributes.join(QLatin1Char(','))
                   + QLatin1Char(']');
    for (QDomElement child = element.firstChildElement(); !child.isNull();
         child = child.nextSiblingElement())
        text += QLatin1Char('(') + shape(child) + QLatin1Char(')');
    return text;
}

// The configuration named name in a project file, or in a piece of XML.
static QString configurationShape(const QByteArray &xml, const QString &name)
{
    QDomDocument document;
    document.setContent(xml);
    QDomElement element = document.documentElement();
    if (element.tagName() == QLatin1String("PROJECT"))
        element = element.firstChildElement(QStringLiteral("CONFIGURATION"));
    while (!element.isNull() && element.attribute(QStringLiteral("NAME")) != name)
        element = element.nextSiblingElement(QStringLiteral("CONFIGURATION"));
    return element.isNull() ? QString() : shape(element);
}

// A configuration whose compiler this machine does not have is not used here, but saving the
// project keeps it in the file: its sources follow a rename and removals in the tree, and the
// copies of Save Project As.
void tst_ProjectFlows::unreadConfigurationsStayInTheFile()
{
    const QString path = copyBoard(QStringLiteral("AVR Blinky"), QStringLiteral("board"));
    const QString folder = QFileInfo(path).absolutePath();
    const QByteArray elsewhere = R"(<CONFIGURATION NAME="BoardB" COMPILER="Other CC" TARGET="B">
  <CONTROLLER FAMILY="ARM" TYPE="M0" CLOCK="48MHz"/>
  <FILE NAME="B/b.hex" TOOL="HEX"><OPTION NAME="-x"/>
   <FILE NAME="B/b.elf" TOOL="LD">
    <FILE NAME="B/main.o" TOOL="CC"><FILE NAME="main.c"/></FILE>
    <FILE NAME="B/led.o" TOOL="CC"><OPTION NAME="-O" VALUE="2"/><FILE NAME="led.c"/></FILE>
   </FILE>
  </FILE>
  <FILE NAME="led.h"/>
  <OPTION NAME="-g" TOOL="CC"/>
 </CONFIGURATION>)";
    QVERIFY(writeFile(path, readFile(path).replace("</PROJECT>", elsewhere + "\n</PROJECT>")));
    ScriptedPrompts prompts;
    SrcManager window;
    QVERIFY(openProject(window, path));
    QVERIFY2(output(window).contains(
                 QStringLiteral("Cannot find compiler Other CC required for project.\n"
                                "The configuration BoardB is not used here; saving the project "
                                "keeps it in the file as it is.")),
             qPrintable(output(window)));
    // No configuration here takes its name.
    WindowFlows::onNextDialog(&window, [&](QDialog *dialog) {
        auto *table = dialog->findChild<QTableWidget *>(QStringLiteral("configurationsTable"));
        table->item(0, 0)->setText(QStringLiteral("BoardB"));
        QCOMPARE(table->item(0, 0)->text(), QStringLiteral("Debug"));
    });
    window.configCombo()->setCurrentText(QStringLiteral("Configurations..."));
    QVERIFY(WindowFlows::renameInTree(window, folder + QStringLiteral("/led.c"), "lamp.c"));
    for (const char *name : {"/main.c", "/led.h"}) {
        WindowFlows::clickInTree(window, folder + QLatin1String(name));
        prompts.answers << QMessageBox::Ok;
        window.actions().removeFile->trigger();
    }
    window.actions().saveProject->trigger();
    const QByteArray expected = R"(<CONFIGURATION NAME="BoardB" COMPILER="Other CC" TARGET="B">
  <CONTROLLER FAMILY="ARM" TYPE="M0" CLOCK="48MHz"/>
  <FILE NAME="B/b.hex" TOOL="HEX"><OPTION NAME="-x"/>
   <FILE NAME="B/b.elf" TOOL="LD">
    <FILE NAME="B/led.o" TOOL="CC"><OPTION NAME="-O" VALUE="2"/><FILE NAME="lamp.c"/></FILE>
   </FILE>
  </FILE>
  <OPTION NAME="-g" TOOL="CC"/>
 </CONFIGURATION>)";
    const QString board = QStringLiteral("BoardB");
    QVERIFY(!configurationShape(expected, board).isEmpty());
    QCOMPARE(configurationShape(readFile(path), board), configurationShape(expected, board));
    QVERIFY(!configurationShape(readFile(path), QStringLiteral("Debug")).isEmpty());
    const QString place = m_dir->filePath(QStringLiteral("copies"));
    QVERIFY(QDir().mkpath(place));
    WindowFlows::saveProjectAs(window, prompts, place, QStringLiteral("copy"));
    const QString copy = place + QStringLiteral("/copy/copy.dyxp");
    QCOMPARE(window.projectsManager()->currentProject()->filePath(), copy);
    QCOMPARE(configurationShape(readFile(copy), board), configurationShape(expected, board));
}

// Another folder of compiler configuration files chosen in Editor Configuration is read at
// once: the compilers it describes are detected, and the open project's configurations take
// them (or wait, unread, in the file), its unsaved changes kept.
void tst_ProjectFlows::anotherCompilersFolderIsReadAtOnce()
{
    const QString path = copyBoard(QStringLiteral("AVR Blinky"), QStringLiteral("board"));
    const QString folder = QFileInfo(path).absolutePath();
    QVERIFY(writeFile(path,
                      readFile(path).replace("</PROJECT>",
                                             R"(<CONFIGURATION NAME="Other" COMPILER="Other CC"
 TARGET="Release"><CONTROLLER FAMILY="AVR" TYPE="ATmega328P" CLOCK="16MHz"/></CONFIGURATION>
</PROJECT>)")));
    ScriptedPrompts prompts;
    SrcManager window;
    Project *project = openProject(window, path);
    QVERIFY(project);
    // Two folders: the shipped avr-gcc and a copy of it named otherwise; the copy alone.
    const QByteArray avr = readFile(window.settingsStore().compilersDirectory()
                                    + QStringLiteral("/gnu-avr-gcc.xml"));
    const QByteArray other = QByteArray(avr).replace("NAME=\"GNU AVR GCC\"", "NAME=\"Other CC\"");
    QVERIFY(other != avr);
    const QString both = m_dir->filePath(QStringLiteral("both"));
    const QString one = m_dir->filePath(QStringLiteral("one"));
    QVERIFY(writeFile(both + QStringLiteral("/avr.xml"), avr)
            && writeFile(both + QStringLiteral("/other.xml"), other)
            && writeFile(one + QStringLiteral("/other.xml"), other));
    const auto choose = [&](const QString &compilers) {
        WindowFlows::onNextDialog(&window, [&](QDialog *dialog) {
            dialog->findChild<QLineEdit *>(QStringLiteral("compilersEdit"))->setText(compilers);
            dialog->findChild<QDialogButtonBox *>()->button(QDialogButtonBox::Ok)->click();
        });
        window.actions().editorConfiguration->trigger();
    };
    const auto selector = [&] {
        QStringList entries;
        for (int i = 0; i < window.configCombo()->count(); ++i)
            entries << window.configCombo()->itemText(i);
        return entries;
    };
    QCOMPARE(selector(), (QStringList{"Debug", "Release", "Configurations..."}));
    QVERIFY(WindowFlows::renameInTree(window, folder + QStringLiteral("/led.c"), "lamp.c"));
    QVERIFY(project->isModified());
    // A directory set by hand in the Compilers dialog stays.
    const auto avrDirectory = [&] {
        return window.projectsManager()->catalogue()->find("GNU AVR GCC")->compilerDirectory();
    };
    window.projectsManager()->catalogue()->find("GNU AVR GCC")->setConfigured(true, "/bin");

    choose(both);
    QCOMPARE(avrDirectory(), QStringLiteral("/bin"));
    QCOMPARE(selector(), (QStringList{"Debug", "Release", "Other", "Configurations..."}));
    QVERIFY(project->isModified());
    QVERIFY2(output(window).contains(QStringLiteral("Other CC:")), qPrintable(output(window)));
    window.configCombo()->setCurrentText(QStringLiteral("Other"));
    window.actions().buildProject->trigger();
    QVERIFY2(output(window).contains(QStringLiteral("Compiled successfully.")),
             qPrintable(output(window)));
    QVERIFY(QFileInfo::exists(folder + QStringLiteral("/Release/lamp.o")));

    choose(one);
    QCOMPARE(selector(), (QStringList{"Other", "Configurations..."}));
    QVERIFY2(output(window).contains(
                 QStringLiteral("Cannot find compiler GNU AVR GCC required for project.")),
             qPrintable(output(window)));
    window.actions().saveProject->trigger();
    QVERIFY(!project->isModified());
    for (const char *name : {"Debug", "Release", "Other"})
        QVERIFY2(!configurationShape(readFile(path), QLatin1String(name)).isEmpty(), name);
}

// The project file changed by another program (a checkout): with nothing unsaved here it is read
// again, its tabs as they were, the last build's output and marks kept, and the build takes the
// new file list; with unsaved changes, or when the file no longer reads, the project stays as it
// is and the output says why.
void tst_ProjectFlows::projectFileChangedElsewhereIsReadAgain()
{
    const QString path = copyBoard(QStringLiteral("AVR Blinky"), QStringLiteral("board"));
    const QString folder = QFileInfo(path).absolutePath();
    ScriptedPrompts prompts;
    SrcManager window;
    QVERIFY(writeFile(folder + QStringLiteral("/main.c"),
                      readFile(folder + QStringLiteral("/main.c")) + "#warning looked at\n"));
    QVERIFY(openProject(window, path));
    window.editors().openFileAt(folder + QStringLiteral("/main.c"), 20, 5);
    window.editors().openFileAt(folder + QStringLiteral("/led.c"), 3);
    window.actions().buildProject->trigger();
    QVERIFY(output(window).contains(QStringLiteral("looked at")));
    QVERIFY(writeFile(folder + QStringLiteral("/extra.c"), "int extra_value = 3;\n"));
    const QByteArray withExtra = readFile(path).replace(
        "<FILE NAME=\"main.c\"",
        "<FILE NAME=\"extra.c\" GROUP=\"Source Files\"/><FILE NAME=\"main.c\"");
    QVERIFY(writeFile(path, withExtra));
    QTRY_COMPARE(window.projectsManager()->currentProject()->fileCount(), 5);
    QVERIFY(output(window).contains(QStringLiteral("has been read again")));
    // What the last build said stays, and so does its mark in the file.
    QVERIFY(output(window).contains(QStringLiteral("looked at")));
    QCOMPARE(window.tabs()->findEditor(folder + QStringLiteral("/main.c"))->buildMarkCount(), 1);
    QCOMPARE(window.tabs()->openPaths(),
             QStringList({folder + QStringLiteral("/main.c"), folder + QStringLiteral("/led.c")}));
    QCOMPARE(window.tabs()->currentEditor()->filePath(), folder + QStringLiteral("/led.c"));
    int line = 0;
    int column = 0;
    window.tabs()->findEditor(folder + QStringLiteral("/main.c"))->getCursorPosition(&line, &column);
    QCOMPARE(line, 19);
    QCOMPARE(column, 4);
    window.actions().buildProject->trigger();
    QVERIFY2(output(window).contains(QStringLiteral("Compiled successfully.")),
             qPrintable(output(window)));
    QVERIFY(QFileInfo::exists(folder + QStringLiteral("/Debug/extra.o")));

    // Changes here: they stay, and so does the project.
    Project *project = window.projectsManager()->currentProject();
    project->setModified(true);
    QVERIFY(
        writeFile(path,
                  readFile(path).replace("<FILE NAME=\"extra.c\" GROUP=\"Source Files\"/>", "")));
    QTRY_VERIFY(output(window).contains(QStringLiteral("has unsaved changes here")));
    QCOMPARE(window.projectsManager()->currentProject(), project);
    QCOMPARE(project->fileCount(), 5);
    // Said once for a version, however often the file is written with it.
    QVERIFY(writeFile(path, readFile(path)));
    QTest::qWait(500);
    QCOMPARE(output(window).count(QStringLiteral("has unsaved changes here")), 1);
    // A file that no longer reads leaves the project as it was.
    project->setModified(false);
    QVERIFY(writeFile(path, "<PROJECT>"));
    QTRY_VERIFY(output(window).contains(QStringLiteral("cannot be read")));
    QCOMPARE(window.projectsManager()->currentProject(), project);
    QCOMPARE(project->fileCount(), 5);
}

// The system ends the program (SIGTERM, a hang-up): nothing is asked; a tab's unsaved text goes
// to a copy and its file stays as saved; the project, whose file was renamed on disk already,
// is saved; the next start names the copies of both windows once.
void tst_ProjectFlows::endedBySystemKeepsUnsavedWork()
{
    const QString path = copyBoard(QStringLiteral("AVR Blinky"), QStringLiteral("board"));
    const QString folder = QFileInfo(path).absolutePath();
    const QString main = folder + QStringLiteral("/main.c");
    const QByteArray mainBefore = readFile(main);
    ScriptedPrompts prompts;
    {
        SrcManager other; // a second window, ended at the same time
        other.editors().openFileAt(folder + QStringLiteral("/led.h"));
        other.tabs()->currentEditor()->insertAt(QStringLiteral("// other\n"), 0, 0);
        SrcManager window;
        QVERIFY(openProject(window, path));
        window.editors().openFileAt(folder + QStringLiteral("/gone.c")); // an empty untitled tab
        window.editors().openFileAt(main);
        window.tabs()->currentEditor()->insertAt(QStringLiteral("// typed\n"), 0, 0);
        QVERIFY(WindowFlows::renameInTree(window, folder + QStringLiteral("/led.c"), "lamp.c"));
        other.endUnasked();
        window.endUnasked();
        QVERIFY(window.close() && other.close());
    }
    QVERIFY(prompts.asked.isEmpty());
    QCOMPARE(readFile(main), mainBefore);
    QVERIFY(projectFileNames(path).contains(QStringLiteral("lamp.c")));
    const QStringList kept = SettingsStore().settings().value("keptCopies").toStringList();
    QCOMPARE(kept.size(), 4);
    QCOMPARE(kept.at(2), main);
    QCOMPARE(readFile(kept.at(3)), "// typed\n" + mainBefore);

    SrcManager next;
    next.tellOfKeptCopies();
    QVERIFY2(output(next).contains(QStringLiteral("unsaved changes to %1: they are kept in %2")
                                       .arg(main, kept.last())),
             qPrintable(output(next)));
    next.tellOfKeptCopies();
    QCOMPARE(output(next).count(kept.last()), 1);
    QCOMPARE(output(next).count(kept.at(1)), 1);
}

// The desktop's session manager asks to keep the data before a log-out: what is unsaved goes
// to a copy first. Where the manager lets the program ask, the questions of a close follow:
// Cancel keeps the session going, and an answer leaves no copy. Where it does not, the copy
// stays for the next start, and the tab as it was, until a close that asked.
void tst_ProjectFlows::sessionManagerHasUnsavedWorkKept()
{
    const QString path = copyBoard(QStringLiteral("AVR Blinky"), QStringLiteral("board"));
    const QString main = QFileInfo(path).absolutePath() + QStringLiteral("/main.c");
    const QByteArray typed = "// typed\n" + readFile(main);
    const auto kept = [] { return SettingsStore().settings().value("keptCopies").toStringList(); };
    ScriptedPrompts prompts;
    SrcManager window;
    QVERIFY(openProject(window, path));
    window.editors().openFileAt(main);
    window.tabs()->currentEditor()->insertAt(QStringLiteral("// typed\n"), 0, 0);
    for (const auto answer : {QMessageBox::Cancel, QMessageBox::Discard}) {
        prompts.answers << answer;
        QCOMPARE(window.commitSessionData(true), answer != QMessageBox::Cancel);
        QVERIFY(prompts.answers.isEmpty() && kept().isEmpty());
        QVERIFY(window.tabs()->currentEditor()->isModified());
    }
    QVERIFY(window.commitSessionData(false));
    const QStringList copies = kept();
    QCOMPARE(copies.size(), 2);
    QCOMPARE(copies.first(), main);
    QCOMPARE(readFile(copies.last()), typed);
    QVERIFY(window.tabs()->currentEditor()->isModified() && readFile(main) != typed);
    prompts.answers << QMessageBox::Save;
    QVERIFY(window.close());
    QVERIFY(prompts.answers.isEmpty() && kept().isEmpty() && !QFileInfo::exists(copies.last()));
    QCOMPARE(readFile(main), typed);

    // Answered Discard, then closed by the session's end with nothing typed since: not asked
    // again. Typed since, it is.
    for (const bool typedSince : {true, false}) {
        SrcManager ending;
        QVERIFY(openProject(ending, path));
        ending.editors().openFileAt(main);
        ending.tabs()->currentEditor()->insertAt(QStringLiteral("// dropped\n"), 0, 0);
        prompts.answers << QMessageBox::Discard;
        QVERIFY(ending.commitSessionData(true));
        if (typedSince)
            ending.tabs()->currentEditor()->insertAt(QStringLiteral("// more\n"), 0, 0);
        const qsizetype asked = prompts.asked.size();
        prompts.answers << QMessageBox::Discard;
        QVERIFY(ending.close());
        QCOMPARE(prompts.asked.size(), asked + (typedSince ? 1 : 0));
        prompts.answers.clear();
    }
    QCOMPARE(readFile(main), typed);
}

// While the window is open, what is unsaved is kept in copies, which follow the typing and go
// once it is saved or dropped; a program killed leaves them to the next start.
void tst_ProjectFlows::unsavedWorkIsKeptMeanwhile()
{
    const QString path = copyBoard(QStringLiteral("AVR Blinky"), QStringLiteral("board"));
    const QString main = QFileInfo(path).absolutePath() + QStringLiteral("/main.c");
    const QByteArray saved = readFile(main);
    const auto kept = [] { return SettingsStore().settings().value("keptCopies").toStringList(); };
    const auto keptHolds = [&](const QByteArray &text) {
        const QStringList copies = kept();
        return copies.size() == 2 && copies.first() == main && readFile(copies.last()) == text;
    };
    ScriptedPrompts prompts;
    auto window = std::make_unique<SrcManager>();
    const auto typeSoon = [&](const QString &text) {
        window->findChild<QTimer *>(QStringLiteral("keepUnsavedWork"))->start(1);
        window->tabs()->currentEditor()->insertAt(text, 0, 0);
    };
    QVERIFY(openProject(*window, path));
    window->editors().openFileAt(main);
    typeSoon(QStringLiteral("// one\n"));
    QTRY_VERIFY(keptHolds("// one\n" + saved));
    const QDir copies = QFileInfo(kept().last()).absoluteDir();
    const qsizetype others = copies.entryList(QDir::Files).size() - 1; // of earlier ends
    const auto copiesLeft = [&] { return copies.entryList(QDir::Files).size() - others; };
    typeSoon(QStringLiteral("// two\n"));
    QTRY_VERIFY(keptHolds("// two\n// one\n" + saved));
    QCOMPARE(copiesLeft(), 1);
    // Saved, or undone to what is saved: the copy goes at once, not at the next interval.
    const auto untimed = [&] {
        window->findChild<QTimer *>(QStringLiteral("keepUnsavedWork"))->stop();
    };
    untimed();
    window->actions().saveFile->trigger();
    QTRY_VERIFY(kept().isEmpty());
    QCOMPARE(copiesLeft(), 0);
    typeSoon(QStringLiteral("// undone\n"));
    QTRY_VERIFY(keptHolds("// undone\n// two\n// one\n" + saved));
    untimed();
    window->actions().undo->trigger();
    QTRY_VERIFY(kept().isEmpty());
    QCOMPARE(copiesLeft(), 0);
    typeSoon(QStringLiteral("// three\n"));
    QTRY_VERIFY(keptHolds("// three\n// two\n// one\n" + saved));
    prompts.answers << QMessageBox::Discard;
    QVERIFY(window->close());
    QVERIFY(kept().isEmpty());
    QCOMPARE(copiesLeft(), 0);

    window = std::make_unique<SrcManager>();
    QVERIFY(openProject(*window, path));
    window->editors().openFileAt(main);
    typeSoon(QStringLiteral("// four\n"));
    QTRY_VERIFY(keptHolds("// four\n// two\n// one\n" + saved));
    window.reset(); // as if killed: nothing closes
    SrcManager next;
    next.tellOfKeptCopies();
    QVERIFY2(output(next).contains(QStringLiteral("unsaved changes to ") + main),
             qPrintable(output(next)));
    QVERIFY(kept().isEmpty());
}

// Save Project As that cannot be done: the project file cannot be written (a folder has its
// name) after the files were copied, or two files of one name would be copied flat into one. The
// project, its configuration and the tabs stay on the originals, what a tab held unsaved is
// still unsaved there, and nothing is left where the copy was to go.
void tst_ProjectFlows::saveProjectAsThatCannotBeDoneChangesNothing_data()
{
    QTest::addColumn<bool>("flat");
    QTest::addColumn<QString>("said");
    QTest::newRow("a folder has the project file's name") << false << "Could not save project";
    QTest::newRow("two files of one name, copied flat")
        << true << "main.c have the same name and would be copied to one file";
}

void tst_ProjectFlows::saveProjectAsThatCannotBeDoneChangesNothing()
{
    QFETCH(bool, flat);
    QFETCH(QString, said);
    const QString path = copyBoard(QStringLiteral("AVR Blinky"), QStringLiteral("board"));
    const QString folder = QFileInfo(path).absolutePath();
    const QString main = folder + QStringLiteral("/main.c");
    const QByteArray mainBefore = readFile(main);
    const QString place = m_dir->filePath(QStringLiteral("copies"));
    if (!flat)
        QVERIFY(QDir().mkpath(place + QStringLiteral("/copy/copy.dyxp")));
    ScriptedPrompts prompts;
    SrcManager window;
    Project *project = openProject(window, path);
    QVERIFY(project);
    if (flat) {
        const QString other = folder + QStringLiteral("/tests/main.c");
        QVERIFY(QDir().mkpath(folder + QStringLiteral("/tests")) && writeFile(other, "int t;\n"));
        QVERIFY(project->addFile(other));
    }
    window.editors().openFileAt(main);
    QTest::keyClicks(window.tabs()->currentEditor(), QStringLiteral("/* typed */"));
    const QString typed = window.tabs()->currentEditor()->text();
    if (!flat)
        prompts.answers << QMessageBox::Yes; // over the folder of that name
    WindowFlows::onNextDialog(&window, [&](QDialog *dialog) {
        child<QLineEdit>(dialog, "projectNameEdit")->setText(QStringLiteral("copy"));
        child<QCheckBox>(dialog, "keepStructure")->setChecked(!flat);
        prompts.fileNames << place;
        child<QPushButton>(dialog, "browseButton")->click();
        child<QPushButton>(dialog, "okButton")->click();
    });
    window.actions().saveProjectAs->trigger();
    QVERIFY2(output(window).contains(said), qPrintable(output(window)));
    QCOMPARE(project->filePath(), path);
    QStringList files;
    for (int i = 0; i < project->fileCount(); ++i)
        files << project->filePathAt(i);
    QVERIFY2(files.contains(main), qPrintable(files.join(QLatin1Char(','))));
    QCOMPARE(window.tabs()->openPaths(), QStringList{main});
    SourceEditor *editor = window.tabs()->currentEditor();
    QVERIFY(editor->text() == typed && editor->isDocumentModified());
    QCOMPARE(readFile(main), mainBefore);
    // Nor are copies left where the project could not go.
    QCOMPARE(QDir(place + QStringLiteral("/copy")).entryList(QDir::Files), QStringList());
    // The build takes the originals, with what the tab holds.
    window.actions().buildProject->trigger();
    QVERIFY2(output(window).contains(QStringLiteral("Compiled successfully.")),
             qPrintable(output(window)));
    QVERIFY(readFile(main).startsWith("/* typed */"));
    QVERIFY(QFileInfo::exists(folder + QStringLiteral("/Debug/main.o")));
    QVERIFY(!readFile(path).contains("copies"));
}

// A later start hands a project over while Project Settings is open on this one: it opens when
// the dialog has closed, and what the dialog changed is asked about and saved first. One handed
// over during a build opens when the build has ended.
void tst_ProjectFlows::handedOverProjectWaitsForTheDialog()
{
    const QString path = copyBoard(QStringLiteral("AVR Blinky"), QStringLiteral("board"));
    const QString other = copyBoard(QStringLiteral("PIC16 Blinky"), QStringLiteral("other"));
    ScriptedPrompts prompts;
    SrcManager window;
    window.projectsManager()->scanCompilers();
    QVERIFY(openProject(window, path));
    const auto openNow = [&] { return window.projectsManager()->currentProject()->filePath(); };
    QString during;
    WindowFlows::onNextDialog(&window, [&](QDialog *dialog) {
        window.openHandedOver({other});
        QCoreApplication::processEvents();
        during = openNow();
        auto *clock = child<QLineEdit>(dialog, "clockFrequency");
        clock->selectAll();
        QTest::keyClicks(clock, QStringLiteral("8MHz"));
        QTest::mouseClick(child<QPushButton>(dialog, "okButton"), Qt::LeftButton);
    });
    prompts.answers << QMessageBox::Save;
    window.actions().projectSettings->trigger();
    QCOMPARE(during, path);
    QTRY_COMPARE(openNow(), other);
    QCOMPARE(window.projectsManager()->projectCount(), 1);
    QVERIFY(prompts.answers.isEmpty());
    QVERIFY(readFile(path).contains("CLOCK=\"8MHz\""));

    QTimer::singleShot(0, &window, [&] {
        window.openHandedOver({path});
        during = openNow();
    });
    window.actions().buildProject->trigger();
    // (Not the output: the project handed over may have opened and cleared it by now.)
    QVERIFY(QFileInfo(QFileInfo(other).absolutePath() + QStringLiteral("/Debug/Debug.hex")).size()
            > 0);
    QCOMPARE(during, other);
    QTRY_COMPARE(openNow(), path);
    QCOMPARE(window.projectsManager()->projectCount(), 1);
}

// A disk that fills up (here: a file size limit) never leaves a half-written file behind: the
// project, the Makefile and a source keep their last version, and the user is told.
void tst_ProjectFlows::fullDiskKeepsTheOldFiles()
{
    const QString path = copyBoard(QStringLiteral("AVR Blinky"), QStringLiteral("board"));
    const QString folder = QFileInfo(path).absolutePath();
    ScriptedPrompts prompts;
    SrcManager window;
    Project *project = openProject(window, path);
    QVERIFY(project);
    window.projectsManager()->compileProject();
    const auto contents = readFile;
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

// Two windows on one project (the second started with --new-window): what one saved is not
// saved over by the other unasked, whether by Save Project, a build or closing the project;
// Cancel keeps the file and the changes not saved, Save writes them.
void tst_ProjectFlows::anotherWindowsSaveIsNotSavedOver()
{
    const QString path = copyBoard(QStringLiteral("AVR Blinky"), QStringLiteral("board"));
    const QString folder = QFileInfo(path).absolutePath();
    for (const char *name : {"first.c", "second.c"})
        QVERIFY(writeFile(folder + QLatin1Char('/') + QLatin1String(name), "int x;\n"));
    ScriptedPrompts prompts;
    SrcManager first;
    SrcManager second;
    Project *ours = openProject(first, path);
    Project *theirs = openProject(second, path);
    QVERIFY(ours && theirs);
    QVERIFY(theirs->addFile(folder + QStringLiteral("/second.c")));
    second.actions().saveProject->trigger();
    QVERIFY(projectFileNames(path).contains(QStringLiteral("second.c")));
    QVERIFY(prompts.asked.isEmpty());
    const QByteArray saved = readFile(path);
    QVERIFY(ours->addFile(folder + QStringLiteral("/first.c")));
    const auto asked = [&] {
        const bool newer = !prompts.asked.isEmpty()
                           && prompts.asked.first().text
                                  == QFileInfo(path).fileName()
                                         + QStringLiteral(" has been changed on disk by another "
                                                          "program since it was read or saved "
                                                          "here.\nSave over the newer file?");
        const bool once = prompts.asked.size() == 1;
        prompts.asked.clear();
        return newer && once;
    };
    // Cancel, three ways: nothing written, nothing else asked, the project still modified.
    prompts.answers << QMessageBox::Cancel;
    first.actions().saveProject->trigger();
    QVERIFY(asked());
    prompts.answers << QMessageBox::Cancel;
    first.actions().buildProject->trigger();
    QVERIFY(asked());
    QVERIFY(output(first).contains(QStringLiteral("Project must be saved before compilation")));
    QVERIFY(!output(first).contains(QStringLiteral("Compiled")));
    prompts.answers << QMessageBox::Save << QMessageBox::Cancel;
    first.actions().closeProject->trigger();
    QVERIFY(prompts.asked.size() == 2 && (prompts.asked.removeFirst(), asked()));
    QCOMPARE(first.projectsManager()->currentProject(), ours);
    QCOMPARE(readFile(path), saved);
    QVERIFY(ours->isModified());
    // Save: this window's project as it stands, and its own later saves go unasked.
    prompts.answers << QMessageBox::Save;
    first.actions().saveProject->trigger();
    QVERIFY(asked());
    QVERIFY(projectFileNames(path).contains(QStringLiteral("first.c"))
            && !projectFileNames(path).contains(QStringLiteral("second.c")));
    QVERIFY(ours->removeFile(ours->fileCount() - 1));
    first.actions().saveProject->trigger();
    QVERIFY(prompts.asked.isEmpty() && !ours->isModified());
    // Now the other window is the one behind.
    theirs->setModified(true);
    prompts.answers << QMessageBox::Cancel;
    second.actions().saveProject->trigger();
    QVERIFY(asked());
}

void tst_ProjectFlows::cancelKeepsTheOpenProject_data()
{
    QTest::addColumn<QString>("command");
    QTest::newRow("New Project, cancelled") << "new";
    QTest::newRow("Open Project, cancelled") << "open";
    QTest::newRow("Open Project, the one open") << "same";
    QTest::newRow("Open Sample, cancelled") << "sample";
}

// Cancel in New Project, Open Project or Open Sample leaves the open project, its tabs and
// their unsaved text as they were; opening the open project again says so.
void tst_ProjectFlows::cancelKeepsTheOpenProject()
{
    QFETCH(QString, command);
    const QString path = copyBoard(QStringLiteral("AVR Blinky"), QStringLiteral("board"));
    const QString main = QFileInfo(path).absolutePath() + QStringLiteral("/main.c");
    ScriptedPrompts prompts;
    SrcManager window;
    QVERIFY(openProject(window, path));
    window.editors().openFileAt(main, 1);
    QTest::keyClicks(window.tabs()->currentEditor(), QStringLiteral("/* typed */"));
    WindowFlows::onNextDialog(&window, [](QDialog *) {});
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

void tst_ProjectFlows::newProjectWizard_data()
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
void tst_ProjectFlows::newProjectWizard()
{
    QFETCH(QString, start);
    QFETCH(int, cancelAt);
    QFETCH(QStringList, files);
    QFETCH(QString, clock);
    const QString projects = m_dir->filePath(QStringLiteral("projects"));
    QDir().mkpath(projects);
    const QString designFolder = m_dir->filePath(QStringLiteral("design"));
    QVERIFY(QDir().mkpath(designFolder + QStringLiteral("/sub")));
    QVERIFY(writeFile(designFolder + QStringLiteral("/board.DSN"), "schematic\n"));
    QVERIFY(writeFile(designFolder + QStringLiteral("/main.c"), "int main(void) { for (;;) ; }\n"));
    QVERIFY(writeFile(designFolder + QStringLiteral("/old.dyxp"), "<PROJECT/>"));
    QVERIFY(writeFile(designFolder + QStringLiteral("/sub/unused.c"), "int unused;\n"));
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
                auto *boards = child<QListWidget>(dialog, "demoProjectsList");
                boards->setCurrentItem(boards->findItems(start, Qt::MatchExactly).value(0));
            } else if (start == QLatin1String("none")) {
                child<QRadioButton>(dialog, "noneRadioButton")->setChecked(true);
            } else {
                child<QRadioButton>(dialog, "designFileRadioButton")->setChecked(true);
                child<QToolButton>(dialog, "designFileButton")->click();
            }
            return click("nextButton");
        }
        if (name == QLatin1String("ControllerDialog")) {
            if (cancelAt == 2)
                return click("cancelButton");
            auto *family = child<QComboBox>(dialog, "controllerFamily");
            if (family->currentText().isEmpty()) {
                family->setCurrentIndex(family->findText(QStringLiteral("AVR")));
                auto *controller = child<QComboBox>(dialog, "controller");
                controller->setCurrentIndex(controller->findText(QStringLiteral("ATmega328P")));
            }
            return click("okButton");
        }
        if (name == QLatin1String("CopyProjectFilesDialog")) {
            child<QLineEdit>(dialog, "projectNameEdit")->setText(QStringLiteral("Fresh"));
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

// Random sequences of ordinary work on a project's files: opening, typing, saving one or all,
// closing a file, Add New File, Remove File (saving or dropping the typed text) and adding it
// back, renaming files and groups in the tree, dragging files between groups, building, Save
// Project, Save Project As and closing and opening the project again. After every step the
// project lists the files it should in their groups, the tabs edit exactly the files they
// should and show what was typed, each file on disk holds what was last saved, the tree marks
// exactly the files with unsaved text and the project with changes not saved, the title names
// the file shown and the project, a folder left behind by Save Project As or a file taken
// out of the project is never written again, and F4 leads to a message's file where it is now.
// A failed check names the seed and the step; its message is made only then.

void tst_ProjectFlows::randomWorkKeepsDiskTabsAndProjectAgreed_data()
{
    QTest::addColumn<quint32>("seed");
    QTest::newRow("empties a group, renames it") << 20u;
    QTest::newRow("names refused, a file's text dropped") << 11u;
    QTest::newRow("saved with a line above its mark, opened again") << 36u;
}

void tst_ProjectFlows::randomWorkKeepsDiskTabsAndProjectAgreed()
{
    QFETCH(quint32, seed);
    RandomSequence sequence(seed, 100);

    QString projectPath = copyBoard(QStringLiteral("AVR Blinky"), QStringLiteral("board"));
    QString folder = QFileInfo(projectPath).absolutePath();
    const QString design = QStringLiteral("AVR Blinky.DSN");
    QStringList files = projectFileNames(projectPath); // as the project lists them
    QMap<QString, QByteArray> disk;                    // what each listed file holds on disk
    for (const QString &name : std::as_const(files))
        disk.insert(name, readFile(folder + QLatin1Char('/') + name));
    QMap<QString, QString> groups;              // the group of each listed file
    QMap<QString, QString> tabs;                // the text each open tab shows
    QMap<QString, QByteArray> untouchable;      // files nothing may write any more
    QStringList copies;                         // the folders Save Project As made
    QStringList left;                           // the folders it left behind
    QSet<QString> takenOut;                     // files taken out of the project, where they are
    bool unsaved = false;                       // the project has changes its file does not hold
    const auto sorted = [](QStringList names) { // the order is the tree's business
        names.sort();
        return names;
    };
    const auto path = [&folder](const QString &name) { return folder + QLatin1Char('/') + name; };
    const auto modified = [&](const QString &name) {
        return tabs.contains(name) && tabs.value(name).toUtf8() != disk.value(name);
    };
    const auto modifiedTabs = [&] {
        QStringList names = tabs.keys();
        names.removeIf([&](const QString &name) { return !modified(name); });
        return names;
    };
    const auto saved = [&](const QStringList &names) { // saved as the tabs show them
        for (const QString &name : names)
            disk[name] = tabs.value(name).toUtf8();
    };

    ScriptedPrompts prompts;
    SrcManager window;
    Project *project = openProject(window, projectPath);
    QVERIFY(project);
    const auto itemOf = [&](const QString &name) -> QTreeWidgetItem * {
        for (int i = 0; i < project->fileCount(); ++i) {
            if (project->relativeFilePath(i) == name)
                return project->fileAt(i)->item;
        }
        return nullptr;
    };
    const auto groupOf = [&](const QString &name) { // where the project put a file it took
        return project->groupName(project->groupIndexForItem(itemOf(name)->parent()));
    };
    for (const QString &name : std::as_const(files))
        groups.insert(name, groupOf(name));
    int made = 0;
    for (int step = 0; step < sequence.steps(); ++step) {
        QStringList sources = files;
        sources.removeAll(design);
        const QStringList open = tabs.keys();
        switch (sequence.bounded(18)) {
        case 0:
        case 1: { // open a file of the project
            const QString name = sequence.pick(sources);
            window.editors().openFileAt(path(name));
            if (!tabs.contains(name))
                tabs.insert(name, QString::fromUtf8(disk.value(name)));
            sequence.took(QStringLiteral("open ") + name);
            break;
        }
        case 2:
        case 3:
        case 4: { // type a line at the start or the end of an open file
            if (open.isEmpty())
                continue;
            const QString name = sequence.pick(open);
            window.tabs()->activateFile(path(name));
            SourceEditor *editor = window.tabs()->currentEditor();
            QVERIFY(editor && editor->filePath() == path(name));
            // Every third a line the compiler warns of, for F4 below.
            const QString typed = QStringLiteral("%1 typed %2")
                                      .arg(step % 3 ? QStringLiteral("//")
                                                    : QStringLiteral("#warning"))
                                      .arg(step);
            // At the start, the marks of the last build move down a line with the text.
            const bool atStart = step % 2;
            if (atStart) {
                QTest::keyClick(editor, Qt::Key_Home, Qt::ControlModifier);
                QTest::keyClick(editor, Qt::Key_Return);
                QTest::keyClick(editor, Qt::Key_Up);
                QTest::keyClicks(editor, typed);
            } else {
                QTest::keyClick(editor, Qt::Key_End, Qt::ControlModifier);
                QTest::keyClick(editor, Qt::Key_Return);
                QTest::keyClicks(editor, typed);
            }
            SEQUENCE_CHECK(atStart ? editor->text().startsWith(typed + QLatin1Char('\n'))
                                   : editor->text().endsWith(typed),
                           editor->text());
            tabs[name] = editor->text();
            sequence.took(QStringLiteral("type in ") + name);
            break;
        }
        case 5: { // Save File on one tab
            if (open.isEmpty())
                continue;
            const QString name = sequence.pick(open);
            window.tabs()->activateFile(path(name));
            window.actions().saveFile->trigger();
            saved({name});
            sequence.took(QStringLiteral("save ") + name);
            break;
        }
        case 6: // Save All Files
            window.actions().saveAllFiles->trigger();
            saved(open);
            sequence.took(QStringLiteral("save all"));
            break;
        case 7: { // Add New File
            const QString name = QStringLiteral("new %1.c").arg(++made);
            prompts.fileNames << path(name);
            window.actions().addNewFile->trigger();
            files.append(name);
            groups.insert(name, groupOf(name));
            disk.insert(name, QByteArray());
            tabs.insert(name, QString());
            unsaved = true;
            sequence.took(QStringLiteral("add ") + name);
            break;
        }
        case 8: { // Remove File on a file or a group, an answer for each file's typed text
            const bool group = sequence.bounded(3) == 0;
            const QStringList marked = modifiedTabs();
            QTreeWidgetItem *item = group ? project->rootItem()->child(
                                        sequence.bounded(project->rootItem()->childCount()))
                                          : itemOf(sequence.pick(
                                              marked.isEmpty() || sequence.bounded(2) ? sources
                                                                                      : marked));
            QStringList named; // in the project's order, as the question names them
            for (int i = 0; i < project->fileCount(); ++i) {
                if (project->fileAt(i)->item == item || project->fileAt(i)->item->parent() == item)
                    named << project->relativeFilePath(i);
            }
            QStringList rest = sources;
            for (const QString &name : std::as_const(named))
                rest.removeAll(name);
            if (rest.isEmpty())
                continue; // a source stays to work on
            const QString groupName = group ? project->groupName(project->groupIndexForItem(item))
                                            : QString();
            auto *tree = window.projectsManager()->tree();
            tree->scrollToItem(item);
            tree->clearSelection(); // a click on a selected item would start to rename it
            QTest::mouseClick(tree->viewport(),
                              Qt::LeftButton,
                              {},
                              tree->visualItemRect(item).center());
            const bool ok = sequence.bounded(6) != 0;
            prompts.asked.clear();
            prompts.answers << (ok ? QMessageBox::Ok : QMessageBox::Cancel);
            QStringList answers;
            for (const QString &name : std::as_const(named)) {
                if (!ok)
                    break;
                const QMessageBox::StandardButton answer
                    = QList{QMessageBox::Save, QMessageBox::Discard, QMessageBox::Cancel}.at(
                        sequence.bounded(3));
                if (modified(name)) {
                    prompts.answers << answer;
                    answers << QStringLiteral("%1 %2").arg(name).arg(int(answer));
                    if (answer == QMessageBox::Save)
                        saved({name});
                    if (answer == QMessageBox::Cancel)
                        break; // it stays, and the files after it
                }
                files.removeAll(name);
                groups.remove(name);
                tabs.remove(name);
                untouchable.insert(path(name), disk.take(name));
                takenOut.insert(path(name));
                unsaved = true;
            }
            window.actions().removeFile->trigger();
            const QString question
                = !group ? QStringLiteral("The file '%1' will be removed from the project.")
                               .arg(named.value(0))
                  : named.isEmpty()
                      ? QStringLiteral("The group '%1' holds no file to remove.").arg(groupName)
                      : QStringLiteral("The files of the group '%1' will be removed from the "
                                       "project: %2.")
                            .arg(groupName, named.join(QStringLiteral(", ")));
            SEQUENCE_CHECK(prompts.asked.value(0).informativeText == question,
                           prompts.asked.value(0).informativeText);
            sequence.took(QStringLiteral("remove %1 (%2%3)")
                              .arg(named.join(QLatin1Char(',')),
                                   ok ? "ok " : "cancel ",
                                   answers.join(QLatin1Char(' '))));
            break;
        }
        case 9: { // rename in the tree's item editor; a save may come while it is open
            const QStringList marked = modifiedTabs();
            const QString name = sequence.pick(marked.isEmpty() || sequence.bounded(2) ? sources
                                                                                       : marked);
            const bool saveMeanwhile = sequence.bounded(2) == 0;
            // Left as it was, a new name (with the mark of unsaved text, if the item shows
            // it), or one refused: no name, another folder's, a file's there already.
            const QString fresh
                = QStringLiteral("renamed %1.%2").arg(++made).arg(QFileInfo(name).suffix());
            QStringList others = files;
            others.removeAll(name);
            const QStringList refused{QString(),
                                      "sub/" + fresh,
                                      "../" + fresh,
                                      "..",
                                      sequence.pick(others)};
            const int choice = sequence.bounded(8);
            const QString typed = choice == 0  ? name
                                  : choice < 3 ? refused.at(sequence.bounded(refused.size()))
                                  : choice == 3 && modified(name) && !saveMeanwhile
                                      ? QLatin1Char('*') + fresh
                                      : fresh;
            const bool keep = typed != fresh && !typed.startsWith(QLatin1Char('*'));
            const QString renamed = keep ? name : fresh;
            auto *tree = window.projectsManager()->tree();
            QTreeWidgetItem *item = itemOf(name);
            tree->scrollToItem(item);
            tree->editItem(item, 0);
            auto *line = tree->viewport()->findChild<QLineEdit *>();
            SEQUENCE_CHECK(line && line->text() == name, name);
            if (saveMeanwhile) {
                window.actions().saveAllFiles->trigger();
                saved(open);
            }
            line->selectAll();
            QTest::keyClick(line, Qt::Key_Backspace);
            QTest::keyClicks(line, typed);
            QTest::keyClick(line, Qt::Key_Return);
            QCoreApplication::processEvents(); // the editor hands its text over queued
            files[files.indexOf(name)] = renamed;
            groups.insert(renamed, groups.take(name));
            disk.insert(renamed, disk.take(name));
            if (tabs.contains(name))
                tabs.insert(renamed, tabs.take(name));
            SEQUENCE_CHECK(keep || !QFileInfo::exists(path(name)), name);
            SEQUENCE_CHECK(typed == name || !keep
                               || output(window).contains(
                                   QStringLiteral("Cannot rename '%1' to '%2'").arg(name, typed)),
                           output(window));
            unsaved = unsaved || !keep;
            sequence.took(QStringLiteral("rename %1 to '%2'%3")
                              .arg(name, typed, saveMeanwhile ? " (saved meanwhile)" : ""));
            break;
        }
        case 10: { // Build Project saves the project and every file of it first
            window.projectsManager()->compileProject();
            saved(open);
            unsaved = false;
            sequence.took(QStringLiteral("build"));
            // A copy builds from its own files only.
            const QByteArray makefile = readFile(path(QStringLiteral("Debug/Makefile")));
            for (const QString &other : std::as_const(left))
                SEQUENCE_CHECK(!makefile.contains(QFile::encodeName(other + '/')), other);
            SEQUENCE_CHECK(sorted(projectFileNames(projectPath)) == sorted(files),
                           projectFileNames(projectPath).join(QLatin1Char(',')));
            break;
        }
        case 11: // Save Project
            window.actions().saveProject->trigger();
            SEQUENCE_CHECK(sorted(projectFileNames(projectPath)) == sorted(files),
                           projectFileNames(projectPath).join(QLatin1Char(',')));
            unsaved = false;
            sequence.took(QStringLiteral("save project"));
            break;
        case 12: { // Save Project As: the tabs go on in the copy with what they showed
            const QString place = m_dir->filePath(QStringLiteral("copies %1").arg(++made));
            const QString name = QStringLiteral("Copy %1").arg(made);
            QDir().mkpath(place);
            for (const QString &file : QDir(folder).entryList(QDir::Files))
                untouchable.insert(path(file), readFile(path(file)));
            // Once in a while first the name of an earlier copy, in its place: Cancel to
            // the question keeps the dialog open.
            const QString taken = copies.isEmpty() || sequence.bounded(2) ? QString()
                                                                          : sequence.pick(copies);
            WindowFlows::onNextDialog(&window, [&](QDialog *dialog) {
                auto *edit = child<QLineEdit>(dialog, "projectNameEdit");
                SEQUENCE_CHECK(edit->text() == QFileInfo(projectPath).completeBaseName() + " copy",
                               edit->text());
                const auto choose = [&](const QString &chosen, const QString &where) {
                    edit->clear();
                    QTest::keyClicks(edit, chosen + QStringLiteral(":?")); // never in a name
                    prompts.fileNames << where;
                    QTest::mouseClick(child<QPushButton>(dialog, "browseButton"), Qt::LeftButton);
                    QTest::mouseClick(child<QPushButton>(dialog, "okButton"), Qt::LeftButton);
                };
                if (!taken.isEmpty()) {
                    prompts.answers << QMessageBox::Cancel;
                    choose(QFileInfo(taken).fileName(), QFileInfo(taken).absolutePath());
                    SEQUENCE_CHECK(dialog->isVisible()
                                       && prompts.asked.last().text
                                              == "A project with the same name already exists",
                                   prompts.asked.last().text);
                }
                choose(name, place);
            });
            window.actions().saveProjectAs->trigger();
            left << folder;
            folder = place + QLatin1Char('/') + name;
            copies << folder;
            projectPath = path(name + QStringLiteral(".dyxp"));
            saved(open);
            SEQUENCE_CHECK(sorted(projectFileNames(projectPath)) == sorted(files),
                           projectFileNames(projectPath).join(QLatin1Char(',')));
            unsaved = false;
            sequence.took(QStringLiteral("save project as %1%2")
                              .arg(name, taken.isEmpty() ? "" : " (after " + taken + ")"));
            break;
        }
        case 13: { // Close File, saving or dropping the typed text
            if (open.isEmpty())
                continue;
            const QString name = sequence.pick(open);
            const bool save = sequence.bounded(2) == 0;
            window.tabs()->activateFile(path(name));
            if (modified(name))
                prompts.answers << (save ? QMessageBox::Save : QMessageBox::Discard);
            window.actions().closeFile->trigger();
            if (modified(name) && save)
                saved({name});
            tabs.remove(name);
            sequence.took(QStringLiteral("close %1 (%2)").arg(name, save ? "save" : "discard"));
            break;
        }
        case 14: { // Add Existing File: a file taken out of the project earlier
            QStringList removed;
            for (auto file = untouchable.cbegin(); file != untouchable.cend(); ++file) {
                const QFileInfo info(file.key());
                if (info.absolutePath() == folder && info.suffix() != QLatin1String("dyxp"))
                    removed << info.fileName();
            }
            if (removed.isEmpty())
                continue;
            const QString name = sequence.pick(removed);
            prompts.fileNames << path(name);
            window.actions().addExistingFile->trigger();
            files.append(name);
            groups.insert(name, groupOf(name));
            disk.insert(name, untouchable.take(path(name)));
            takenOut.remove(path(name));
            unsaved = true;
            sequence.took(QStringLiteral("add back ") + name);
            break;
        }
        case 15: { // a file dragged onto a group of the tree
            const QString name = sequence.pick(files);
            QTreeWidgetItem *target = project->rootItem()->child(
                sequence.bounded(project->rootItem()->childCount()));
            const QString group = project->groupName(project->groupIndexForItem(target));
            auto *tree = window.projectsManager()->tree();
            tree->setCurrentItem(itemOf(name));
            QMimeData data;
            data.setUrls({QUrl::fromLocalFile(path(name))});
            QVERIFY(tree->dropData(target, &data, true));
            unsaved = unsaved || groups.value(name) != group; // onto its own group: no move
            groups[name] = group;
            sequence.took(QStringLiteral("move %1 to %2").arg(name, group));
            break;
        }
        case 16: { // a group renamed in its item's editor
            QTreeWidgetItem *item = project->rootItem()->child(
                sequence.bounded(project->rootItem()->childCount()));
            const QString group = project->groupName(project->groupIndexForItem(item));
            const QString renamed = QStringLiteral("Group %1").arg(++made);
            auto *tree = window.projectsManager()->tree();
            tree->editItem(item, 0);
            auto *line = tree->viewport()->findChild<QLineEdit *>();
            SEQUENCE_CHECK(line && line->text() == group, group);
            line->selectAll();
            QTest::keyClicks(line, renamed);
            QTest::keyClick(line, Qt::Key_Return);
            for (QString &value : groups) {
                if (value == group) { // a group without files is in no project file
                    value = renamed;
                    unsaved = true;
                }
            }
            sequence.took(QStringLiteral("rename group %1 to %2").arg(group, renamed));
            break;
        }
        default: { // close the project, saving or dropping the typed text, and open it again
            const bool save = sequence.bounded(2) == 0;
            const QStringList typedIn = modifiedTabs();
            QStringList titles; // the question names them as the project lists them
            for (int i = 0; i < project->fileCount(); ++i) {
                if (typedIn.contains(project->relativeFilePath(i)))
                    titles << QFileInfo(project->filePathAt(i)).fileName();
            }
            if (!typedIn.isEmpty()) { // Cancel first: the project stays, the text too
                prompts.answers << QMessageBox::Cancel;
                window.actions().closeProject->trigger();
                SEQUENCE_CHECK(window.projectsManager()->projectCount() == 1
                                   && modifiedTabs() == typedIn
                                   && window.tabs()->findEditor(path(typedIn.first()))->text()
                                          == tabs.value(typedIn.first()),
                               QStringLiteral("cancelled"));
                prompts.answers << (save ? QMessageBox::Save : QMessageBox::Discard);
            }
            if (unsaved)
                prompts.answers << QMessageBox::Save;
            prompts.asked.clear();
            window.actions().closeProject->trigger();
            SEQUENCE_CHECK(typedIn.isEmpty()
                               || prompts.asked.value(0).text
                                      == QStringLiteral("Files %1 have been modified.\nDo you "
                                                        "want to save your changes?")
                                             .arg(titles.join(QStringLiteral(", "))),
                           prompts.asked.value(0).text);
            SEQUENCE_CHECK(prompts.answers.isEmpty(), QStringLiteral("unasked"));
            QCOMPARE(window.projectsManager()->projectCount(), 0);
            if (save)
                saved(typedIn);
            tabs.clear();
            project = openProject(window, projectPath);
            QVERIFY(project);
            unsaved = false;
            sequence.took(QStringLiteral("close (%1) and open").arg(save ? "save" : "discard"));
            break;
        }
        }
        // F4 goes to the marked line a message of the last build names (a warning typed, or an
        // error of a header renamed away), in the file as it is called and kept now (renamed,
        // or copied by Save Project As), or in one taken out of the project. A tab it opens is
        // closed again: the model's tabs stay.
        const OutTextEdit *view = window.outWindow()->textView();
        bool linked = false;
        for (int i = 0; i < view->lineCount() && !linked; ++i)
            linked = view->lineKind(i) == OutTextEdit::Link
                     || view->lineKind(i) == OutTextEdit::ErrorLink;
        if (linked) {
            window.actions().nextError->trigger();
            SourceEditor *shown = window.tabs()->currentEditor();
            int line = 0;
            int index = 0;
            if (shown)
                shown->getCursorPosition(&line, &index);
            const QString name = shown ? QDir(folder).relativeFilePath(shown->filePath())
                                       : QString();
            const bool outside = shown && takenOut.contains(shown->filePath());
            const QStringList marks = shown ? shown->buildMarksAt(line + 1) : QStringList();
            // The line holds what the message is about: the warning typed, or the include of
            // the header that is gone.
            static const QRegularExpression warned(QStringLiteral("#warning typed \\d+"));
            static const QRegularExpression missing(
                QStringLiteral("fatal error: (.*): No such file"));
            const QString text = shown ? shown->text(line).trimmed() : QString();
            const QRegularExpressionMatch warning = warned.match(marks.value(0));
            const QRegularExpressionMatch header = missing.match(marks.value(0));
            const bool about = warning.hasMatch()  ? text == warning.captured()
                               : header.hasMatch() ? text.contains(
                                     QLatin1Char('"') + header.captured(1) + QLatin1Char('"'))
                                                   : !text.startsWith(QLatin1String("#warning"));
            SEQUENCE_CHECK(shown && (files.contains(name) || outside) && !marks.isEmpty() && about,
                           shown ? QStringLiteral("%1 line %2: %3")
                                       .arg(shown->filePath())
                                       .arg(line + 1)
                                       .arg(marks.join(QLatin1Char('|')))
                                 : QStringLiteral("nothing opened"));
            if (!tabs.contains(name) || outside)
                window.tabs()->closeFile(shown->filePath(), false);
        }

        // As the event loop would between two commands: queued calls run, closed tabs go.
        QCoreApplication::processEvents();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        SEQUENCE_CHECK(prompts.answers.isEmpty() && prompts.fileNames.isEmpty(),
                       QStringLiteral("a question was not asked"));

        QStringList listed;
        for (int i = 0; i < project->fileCount(); ++i) {
            listed << project->relativeFilePath(i);
            SEQUENCE_CHECK(project->fileGroup(i) == groups.value(listed.last()),
                           listed.last() + QLatin1Char(' ') + project->fileGroup(i));
            const QString mark = modified(project->relativeFilePath(i)) ? QStringLiteral("*")
                                                                        : QString();
            SEQUENCE_CHECK(project->fileAt(i)->item->text(0)
                               == mark + QFileInfo(project->filePathAt(i)).fileName(),
                           project->fileAt(i)->item->text(0));
        }
        SEQUENCE_CHECK(sorted(listed) == sorted(files), listed.join(QLatin1Char(',')));
        QStringList expectedTabs;
        for (const QString &name : tabs.keys())
            expectedTabs << path(name);
        QStringList openPaths = window.tabs()->openPaths();
        openPaths.sort();
        expectedTabs.sort();
        SEQUENCE_CHECK(openPaths == expectedTabs, openPaths.join(QLatin1Char(',')));
        // The project's item marks changes its file does not hold yet (typing is none).
        SEQUENCE_CHECK(project->rootItem()->text(0)
                           == (unsaved ? QStringLiteral("*") : QString())
                                  + QFileInfo(projectPath).completeBaseName(),
                       project->rootItem()->text(0));
        // The title names the file shown, whether it has unsaved text, and the project.
        QString title = QFileInfo(projectPath).completeBaseName() + QStringLiteral(" - DYX Studio");
        if (const SourceEditor *shown = window.tabs()->currentEditor()) {
            const QString name = QDir(folder).relativeFilePath(shown->filePath());
            title.prepend(name + (modified(name) ? QStringLiteral(" * - ") : QStringLiteral(" - ")));
        }
        SEQUENCE_CHECK(window.windowTitle() == title, window.windowTitle());
        for (auto tab = tabs.cbegin(); tab != tabs.cend(); ++tab) {
            SourceEditor *editor = window.tabs()->findEditor(path(tab.key()));
            SEQUENCE_CHECK(editor->text() == tab.value(), tab.key());
            SEQUENCE_CHECK(editor->isDocumentModified() == modified(tab.key()), tab.key());
        }
        for (auto file = disk.cbegin(); file != disk.cend(); ++file)
            SEQUENCE_CHECK(readFile(path(file.key())) == file.value(), file.key());
        // The project file names every file, firmware included, in the project's own folder,
        // never in one it was copied from.
        const QByteArray projectText = readFile(projectPath);
        SEQUENCE_CHECK(!projectText.contains("NAME=\"../") && !projectText.contains("NAME=\"/"),
                       QString::fromUtf8(projectText));
        // No file beside them: no backup, no name the user never gave.
        QStringList expectedFiles = files + QStringList{QFileInfo(projectPath).fileName()};
        for (auto file = untouchable.cbegin(); file != untouchable.cend(); ++file) {
            SEQUENCE_CHECK(readFile(file.key()) == file.value(), file.key());
            if (QFileInfo(file.key()).absolutePath() == folder)
                expectedFiles << QFileInfo(file.key()).fileName();
        }
        expectedFiles.sort();
        SEQUENCE_CHECK(filesIn(folder) == expectedFiles, filesIn(folder).join(QLatin1Char(',')));
    }
    qInfo("%lld steps", qlonglong(sequence.done()));
}

// The build configurations through the selector, the configurations dialog (copies, deletes,
// names the user types, good and refused, targets chosen) and the project settings (the clock,
// options added, deleted, moved and given other values), saved or not, the project closed and
// opened again, builds with the real compiler. After every step the project's configurations,
// the selector and the project's mark agree with what the user did; the options table shows
// what the user left in it, and the project settings show a configuration's options as they
// were accepted; a build makes its target's Makefile with the active configuration's clock and
// the same firmware for the same target and clock; a reopened project writes the Makefiles it
// wrote before it was closed.
void tst_ProjectFlows::randomConfigurationWorkKeepsListSelectorAndBuilds()
{
    RandomSequence sequence(4u, 100);
    struct Configuration
    {
        QString name;
        QString target;
        QString clock;
        QString options;     // as the project settings show them; empty until they have
        bool edited = false; // options the sequence chose, which the compiler may refuse
        // What the project tells without a dialog.
        bool operator==(const Configuration &other) const
        {
            return name == other.name && target == other.target && clock == other.clock;
        }
    };
    const QStringList targets{QStringLiteral("Debug"), QStringLiteral("Release")};
    const QMap<QString, QString> hertz{{QStringLiteral("1MHz"), QStringLiteral("1000000")},
                                       {QStringLiteral("8MHz"), QStringLiteral("8000000")},
                                       {QStringLiteral("16MHz"), QStringLiteral("16000000")},
                                       {QStringLiteral("20MHz"), QStringLiteral("20000000")}};
    const QString path = copyBoard(QStringLiteral("AVR Blinky"), QStringLiteral("board"));
    const QString folder = QFileInfo(path).absolutePath();
    ScriptedPrompts prompts;
    SrcManager window;
    Project *project = openProject(window, path);
    QVERIFY(project);
    QComboBox *selector = window.configCombo();
    const auto actual = [&] {
        QList<Configuration> list;
        for (int i = 0; i < project->configurationCount(); ++i) {
            const BuildProject *configuration = project->configuration(i);
            list.append({configuration->name(),
                         configuration->targetName(),
                         ControllerDialog::clockDisplay(configuration->clock()),
                         {}});
        }
        return list;
    };
    const auto describe = [](const QList<Configuration> &list) {
        QStringList texts;
        for (const Configuration &configuration : list)
            texts << configuration.name + QLatin1Char('/') + configuration.target + QLatin1Char('/')
                         + configuration.clock;
        return texts.join(QStringLiteral(", "));
    };
    QList<Configuration> configurations = actual(); // what the user made of them
    QList<Configuration> saved = configurations;    // what the project file holds
    int active = 0;
    bool unsaved = false;
    QMap<QString, QByteArray> firmware; // by target and clock
    int made = 0;
    // A name to type: a new one, one of another script, one refused, or another row's.
    const auto nameToType = [&](const QList<Configuration> &rows) {
        switch (sequence.bounded(6)) {
        case 0:
            return QStringLiteral("Fast_%1").arg(++made);
        case 1:
            return QString::fromUtf8("Débogage%1").arg(++made);
        case 2:
            return QStringLiteral("with space");
        case 3:
            return QStringLiteral("a-b");
        case 4:
            return QString();
        default:
            return rows.at(sequence.bounded(int(rows.size()))).name;
        }
    };
    // What the table keeps of a name typed into a row.
    const auto typedName = [](QList<Configuration> &rows, int row, const QString &typed) {
        static const QRegularExpression word(QStringLiteral("^\\w+$"),
                                             QRegularExpression::UseUnicodePropertiesOption);
        for (int other = 0; other < rows.size(); ++other) {
            if (other != row && rows.at(other).name == typed)
                return;
        }
        if (word.match(typed).hasMatch())
            rows[row].name = typed;
    };
    // Types into the name editor open on a row and ends with Return.
    const auto typeName = [](QTableWidget *table, int row, const QString &typed) {
        auto *line = qobject_cast<QLineEdit *>(table->indexWidget(table->model()->index(row, 0)));
        if (!line)
            return false;
        line->selectAll();
        QTest::keyClick(line, Qt::Key_Backspace);
        line->insert(typed); // as typed, letters beyond ASCII too
        QTest::keyClick(line, Qt::Key_Return);
        QCoreApplication::processEvents(); // the editor hands its text over queued
        return true;
    };

    // The options of the tool the project settings show: name and value, a tab between.
    const auto tableRows = [](QTableWidget *table) {
        QStringList rows;
        for (int row = 0; row < table->rowCount(); ++row) {
            const auto *choices = qobject_cast<QComboBox *>(table->cellWidget(row, 2));
            rows << table->item(row, 1)->text() + QLatin1Char('\t')
                        + (choices ? choices->currentText() : table->item(row, 2)->text());
        }
        return rows;
    };
    // Every tool's options of the configuration the project settings show, one a line.
    const auto shownOptions = [&](QDialog *dialog) {
        auto *tools = child<QComboBox>(dialog, "toolComboBox");
        const int was = tools->currentIndex();
        QStringList rows;
        for (int tool = 0; tool < tools->count(); ++tool) {
            tools->setCurrentIndex(tool);
            for (const QString &row : tableRows(child<QTableWidget>(dialog, "optionsTable")))
                rows << tools->itemText(tool) + QLatin1Char(' ') + row;
        }
        tools->setCurrentIndex(was);
        rows.removeDuplicates(); // the same option twice is passed once
        return rows.join(QLatin1Char('\n'));
    };

    for (int step = 0; step < sequence.steps(); ++step) {
        switch (sequence.bounded(8)) {
        case 0:
        case 1: { // "Configurations..." in the selector: a few changes, then OK or Cancel
            QList<Configuration> rows = configurations;
            QStringList did;
            QString wrong; // what the table showed that it should not have
            const bool ok = sequence.bounded(4) != 0;
            WindowFlows::onNextDialog(&window, [&](QDialog *dialog) {
                auto *table = child<QTableWidget>(dialog, "configurationsTable");
                auto *remove = child<QPushButton>(dialog, "deleteButton");
                for (int left = 1 + sequence.bounded(4); left > 0 && wrong.isEmpty(); --left) {
                    const int row = sequence.bounded(int(rows.size()));
                    switch (sequence.bounded(4)) {
                    case 0: { // copy a row and name the copy straight away
                        table->setCurrentCell(row, 0);
                        QTest::mouseClick(child<QPushButton>(dialog, "copyButton"), Qt::LeftButton);
                        rows.append(rows.at(row));
                        const QString typed = nameToType(rows);
                        if (!typeName(table, int(rows.size()) - 1, typed))
                            wrong = QStringLiteral("the copy's name is not open for typing");
                        typedName(rows, int(rows.size()) - 1, typed);
                        did << QStringLiteral("copy %1 as '%2'").arg(row).arg(typed);
                        break;
                    }
                    case 1: // delete a row; the last one cannot go
                        if (remove->isEnabled() != (rows.size() > 1))
                            wrong = QStringLiteral("Delete enabled with %1").arg(rows.size());
                        if (rows.size() < 2)
                            continue;
                        table->setCurrentCell(row, 0);
                        QTest::mouseClick(remove, Qt::LeftButton);
                        rows.removeAt(row);
                        did << QStringLiteral("delete %1").arg(row);
                        break;
                    case 2: { // rename a row
                        const QString typed = nameToType(rows);
                        table->setCurrentCell(row, 0);
                        table->editItem(table->item(row, 0));
                        if (!typeName(table, row, typed))
                            wrong = QStringLiteral("the name is not open for typing");
                        typedName(rows, row, typed);
                        did << QStringLiteral("rename %1 '%2'").arg(row).arg(typed);
                        break;
                    }
                    default: { // another target from the row's list
                        const QString target = sequence.pick(targets);
                        auto *list = qobject_cast<QComboBox *>(table->cellWidget(row, 1));
                        list->setCurrentIndex(list->findText(target));
                        if (rows.at(row).target != target) // its steps start afresh
                            rows[row].options.clear();
                        rows[row].target = target;
                        did << QStringLiteral("target %1 %2").arg(row).arg(target);
                        break;
                    }
                    }
                    QList<Configuration> shown;
                    for (int i = 0; i < table->rowCount(); ++i) {
                        auto *list = qobject_cast<QComboBox *>(table->cellWidget(i, 1));
                        shown.append({table->item(i, 0)->text(),
                                      list->currentText(),
                                      rows.value(i).clock,
                                      {}});
                    }
                    if (wrong.isEmpty() && shown != rows)
                        wrong = QStringLiteral("the table shows ") + describe(shown);
                }
                auto *buttons = child<QDialogButtonBox>(dialog, "buttonBox");
                QTest::mouseClick(buttons->button(ok ? QDialogButtonBox::Ok
                                                     : QDialogButtonBox::Cancel),
                                  Qt::LeftButton);
            });
            selector->setCurrentIndex(selector->count() - 1);
            if (ok) {
                configurations = rows;
                active = 0;
                unsaved = true;
            }
            sequence.took(QStringLiteral("configurations: %1, %2")
                              .arg(did.join(QStringLiteral(", ")), ok ? "OK" : "Cancel"));
            SEQUENCE_CHECK(wrong.isEmpty(), wrong);
            break;
        }
        case 2: // another configuration in the selector
            active = sequence.bounded(int(configurations.size()));
            selector->setCurrentIndex(active);
            sequence.took(QStringLiteral("select %1").arg(active));
            break;
        case 3: { // the project settings: a configuration's clock and options, OK or Cancel
            const int which = sequence.bounded(int(configurations.size()));
            const QString clock = sequence.bounded(2) ? sequence.pick(hertz.keys()) : QString();
            const bool ok = sequence.bounded(4) != 0;
            QStringList did;
            QString shown;
            QString options;
            QString wrong; // the table of options other than the user left it
            WindowFlows::onNextDialog(&window, [&](QDialog *dialog) {
                child<QComboBox>(dialog, "configurationsCombo")->setCurrentIndex(which);
                shown = shownOptions(dialog);
                if (!clock.isEmpty()) {
                    auto *edit = child<QLineEdit>(dialog, "clockFrequency");
                    edit->selectAll();
                    QTest::keyClicks(edit, clock);
                }
                auto *tools = child<QComboBox>(dialog, "toolComboBox");
                auto *table = child<QTableWidget>(dialog, "optionsTable");
                QMap<QString, QStringList> edited; // each tool's options as the user left them
                for (int left = sequence.bounded(6); left > 0 && wrong.isEmpty(); --left) {
                    if (edited.isEmpty() || sequence.bounded(3) == 0) // mostly on one tool
                        tools->setCurrentIndex(sequence.bounded(tools->count()));
                    QStringList rows = edited.value(tools->currentText(), tableRows(table));
                    const int row = rows.isEmpty() ? -1 : sequence.bounded(int(rows.size()));
                    table->setCurrentCell(row, 1);
                    const int action = sequence.bounded(7);
                    if (action >= 5) { // Defaults or another controller: every tool's afresh
                        auto *controllers = child<QComboBox>(dialog, "controllerCombo");
                        if (action == 5)
                            QTest::mouseClick(child<QPushButton>(dialog, "defaultsButton"),
                                              Qt::LeftButton);
                        else
                            controllers->setCurrentIndex(sequence.bounded(controllers->count()));
                        did << (action == 5
                                    ? QStringLiteral("defaults")
                                    : QStringLiteral("controller ") + controllers->currentText());
                        edited.clear();
                        rows = tableRows(table);
                    } else if (action == 0) { // an option the list offers, with its default
                        auto *offered = child<QComboBox>(dialog, "addComboBox");
                        offered->setCurrentIndex(1 + sequence.bounded(offered->count() - 1));
                        did << QStringLiteral("add ") + offered->currentData().toString();
                        QTest::mouseClick(child<QPushButton>(dialog, "addOptionButton"),
                                          Qt::LeftButton);
                        rows << tableRows(table).value(rows.size()); // the last of its tool
                    } else if (action < 4 && row >= 0) {
                        const char *button[] = {"deleteButton", "upButton", "downButton"};
                        did << QStringLiteral("%1 %2").arg(button[action - 1]).arg(row);
                        QTest::mouseClick(child<QPushButton>(dialog, button[action - 1]),
                                          Qt::LeftButton);
                        const int other = action == 2 ? row - 1 : row + 1;
                        if (action == 1)
                            rows.removeAt(row);
                        else if (other >= 0 && other < rows.size())
                            rows.swapItemsAt(row, other);
                    } else if (row >= 0) { // another value
                        QString value;
                        if (auto *choices = qobject_cast<QComboBox *>(table->cellWidget(row, 2))) {
                            choices->setCurrentIndex(sequence.bounded(choices->count()));
                            value = choices->currentText();
                        } else if (table->item(row, 3)->text() == QLatin1String("Number")) {
                            value = QString::number(sequence.bounded(4));
                            table->item(row, 2)->setText(value);
                        } else {
                            continue;
                        }
                        rows[row] = rows.at(row).section(QLatin1Char('\t'), 0, 0) + '\t' + value;
                        did << QStringLiteral("value %1 %2").arg(row).arg(value);
                    }
                    edited.insert(tools->currentText(), rows);
                    if (tableRows(table) != rows)
                        wrong = tableRows(table).join(QLatin1Char(',')) + QStringLiteral(" for ")
                                + rows.join(QLatin1Char(','));
                }
                options = shownOptions(dialog);
                QTest::mouseClick(child<QPushButton>(dialog, ok ? "okButton" : "cancelButton"),
                                  Qt::LeftButton);
            });
            window.actions().projectSettings->trigger();
            const QString expected = configurations.at(which).options;
            if (ok) {
                if (!clock.isEmpty())
                    configurations[which].clock = clock;
                configurations[which].options = options;
                configurations[which].edited = configurations.at(which).edited || !did.isEmpty();
                unsaved = true;
            }
            sequence.took(QStringLiteral("settings of %1: %2 %3 (%4)")
                              .arg(which)
                              .arg(clock, did.join(QStringLiteral(", ")), ok ? "OK" : "Cancel"));
            SEQUENCE_CHECK(wrong.isEmpty(), wrong);
            SEQUENCE_CHECK(expected.isEmpty() || shown == expected,
                           shown + QStringLiteral("\ninstead of\n") + expected);
            break;
        }
        case 4: // Save Project
            window.actions().saveProject->trigger();
            saved = configurations;
            unsaved = false;
            sequence.took(QStringLiteral("save project"));
            break;
        case 5: { // closed, saving or dropping the changes, and opened again
            const bool save = sequence.bounded(2) == 0;
            if (unsaved)
                prompts.answers << (save ? QMessageBox::Save : QMessageBox::Discard);
            if (save || !unsaved)
                saved = configurations;
            // The Makefile of each configuration the file holds, as a build would write it.
            const auto makefile = [&](int i) {
                QString text;
                project->configuration(i)->setProjectDirectory(folder);
                MakefileWriter(*project->configuration(i)).generate(text);
                return text;
            };
            QStringList makefiles;
            for (int i = 0; i < saved.size() && (save || !unsaved); ++i)
                makefiles << makefile(i);
            window.actions().closeProject->trigger();
            SEQUENCE_CHECK(window.projectsManager()->projectCount() == 0, QStringLiteral("open"));
            project = openProject(window, path);
            QVERIFY(project);
            configurations = saved;
            active = 0;
            unsaved = false;
            sequence.took(QStringLiteral("close (%1) and open").arg(save ? "save" : "discard"));
            for (int i = 0; i < makefiles.size(); ++i)
                SEQUENCE_CHECK(makefiles.at(i) == makefile(i), saved.at(i).name);
            break;
        }
        default: { // Build Project, which saves the project first
            window.actions().buildProject->trigger();
            saved = configurations;
            unsaved = false;
            // It builds the configuration of the selector's name, the last of two that share it.
            for (int i = 0; i < configurations.size(); ++i) {
                if (configurations.at(i).name == configurations.at(active).name)
                    active = i;
            }
            const Configuration &built = configurations.at(active);
            sequence.took(QStringLiteral("build %1").arg(built.name));
            // Options the sequence chose may be more than the compiler takes.
            SEQUENCE_CHECK(built.edited
                               || output(window).contains(QStringLiteral("Compiled successfully.")),
                           output(window));
            const QString makefile = readFile(folder + QLatin1Char('/') + built.target
                                              + QStringLiteral("/Makefile"));
            SEQUENCE_CHECK(makefile.contains(QStringLiteral("TARGET = ") + built.target + '\n')
                               && makefile.contains(QStringLiteral("CLOCK = ")
                                                    + hertz.value(built.clock) + '\n'),
                           makefile);
            if (built.edited)
                break;
            const QString key = built.target + QLatin1Char('/') + built.clock;
            const QByteArray hex = readFile(project->targetPath());
            SEQUENCE_CHECK(!hex.isEmpty() && firmware.value(key, hex) == hex, key);
            firmware.insert(key, hex);
            break;
        }
        }
        QCoreApplication::processEvents();
        SEQUENCE_CHECK(prompts.answers.isEmpty(), QStringLiteral("a question was not asked"));
        SEQUENCE_CHECK(actual() == configurations, describe(actual()));
        SEQUENCE_CHECK(project->activeConfigurationIndex() == active,
                       QString::number(project->activeConfigurationIndex()));
        QStringList entries;
        for (int i = 0; i < selector->count(); ++i)
            entries << selector->itemText(i);
        QStringList names;
        for (const Configuration &configuration : std::as_const(configurations))
            names << configuration.name;
        SEQUENCE_CHECK(entries == names + QStringList{QStringLiteral("Configurations...")},
                       entries.join(QLatin1Char(',')));
        SEQUENCE_CHECK(selector->currentIndex() == active, selector->currentText());
        SEQUENCE_CHECK(project->rootItem()->text(0)
                           == (unsaved ? QStringLiteral("*") : QString())
                                  + QFileInfo(path).completeBaseName(),
                       project->rootItem()->text(0));
    }
    qInfo("%lld steps", qlonglong(sequence.done()));
}

// Random sequences of work on a project's files and files beside it, with the project closed
// and opened again and the program quit (saving or dropping what was typed) and started again.
// After every step the tabs, in their order, show what was typed and the files on disk what
// was saved; a start reopens the project that was open and those of its files that were open,
// in the project's order, and none of the files beside it, which are the recent files instead,
// the last tab first.
void tst_ProjectFlows::randomWorkAcrossRestartsKeepsTheSession()
{
    RandomSequence sequence(2u, 60);
    QString projectPath = copyBoard(QStringLiteral("AVR Blinky"), QStringLiteral("board"));
    const QString folder = QFileInfo(projectPath).absolutePath();
    int copies = 0;
    QStringList inProject; // the project's sources, in its order
    for (const char *name : {"main.c", "led.c", "led.h"})
        inProject << folder + QLatin1Char('/') + QLatin1String(name);
    QStringList beside;
    for (const char *name : {"notes.txt", "other.c", "extra.h"}) {
        beside << m_dir->filePath(QLatin1String(name));
        QVERIFY(writeFile(beside.last(), QByteArray(name) + '\n'));
    }
    QMap<QString, QByteArray> disk;
    for (const QString &file : inProject + beside)
        disk.insert(file, readFile(file));
    QStringList tabs;             // in tab order
    QMap<QString, QString> typed; // the text of the tabs with unsaved text
    QStringList recent;           // the recent files, newest first
    bool projectOpen = true;
    bool lineNumbers = true; // as on a first start
    QString fontSize;        // the editor's text, once the settings showed it
    const auto pushRecent = [&](const QString &file) {
        recent.removeAll(file);
        recent.prepend(file);
        while (recent.size() > 4)
            recent.removeLast();
    };
    // What becomes of the typed text of the tabs named, as answered.
    const auto answered = [&](const QStringList &files, bool save) {
        for (const QString &file : files) {
            if (save && typed.contains(file))
                disk[file] = typed.value(file).toUtf8();
            typed.remove(file);
        }
    };
    ScriptedPrompts prompts;
    auto window = std::make_unique<SrcManager>();
    QVERIFY(openProject(*window, projectPath));
    for (int step = 0; step < sequence.steps(); ++step) {
        switch (sequence.bounded(10)) {
        case 0:
        case 1: { // open a file, of the project while it is open
            const QString file = sequence.pick(projectOpen && sequence.bounded(2) ? inProject
                                                                                  : beside);
            window->editors().openFileAt(file);
            if (!tabs.contains(file))
                tabs << file;
            sequence.took(QStringLiteral("open ") + QFileInfo(file).fileName());
            break;
        }
        case 2:
        case 3: { // type in a tab
            if (tabs.isEmpty())
                continue;
            const QString file = sequence.pick(tabs);
            SourceEditor *editor = window->tabs()->findEditor(file);
            editor->append(QStringLiteral("// typed %1\n").arg(step));
            typed[file] = editor->text();
            sequence.took(QStringLiteral("type in ") + QFileInfo(file).fileName());
            break;
        }
        case 4: { // Close File
            if (tabs.isEmpty())
                continue;
            const QString file = sequence.pick(tabs);
            const bool save = sequence.bounded(2);
            if (typed.contains(file))
                prompts.answers << (save ? QMessageBox::Save : QMessageBox::Discard);
            window->tabs()->activateFile(file);
            window->actions().closeFile->trigger();
            answered({file}, save);
            tabs.removeAll(file);
            if (!inProject.contains(file) || !projectOpen)
                pushRecent(file);
            sequence.took(QStringLiteral("close ") + QFileInfo(file).fileName());
            break;
        }
        case 5: { // Close Project, or open it again; or Save Project As
            if (projectOpen && sequence.bounded(3) == 0) {
                // The copy holds every file as its tab shows it; the tabs go on in the copy.
                const QString place = m_dir->filePath(QStringLiteral("copies %1").arg(++copies));
                const QString name = QStringLiteral("Copy %1").arg(copies);
                QDir().mkpath(place);
                WindowFlows::saveProjectAs(*window, prompts, place, name);
                projectPath = place + QLatin1Char('/') + name + QLatin1Char('/') + name
                              + QStringLiteral(".dyxp");
                for (QString &file : inProject) {
                    const QString copy = QFileInfo(projectPath).absolutePath() + QLatin1Char('/')
                                         + QFileInfo(file).fileName();
                    disk[copy] = typed.value(file, disk.value(file)).toUtf8();
                    typed.remove(file);
                    if (tabs.contains(file))
                        tabs[tabs.indexOf(file)] = copy;
                    file = copy;
                }
                sequence.took(QStringLiteral("save project as ") + name);
                break;
            }
            if (projectOpen) {
                const bool save = sequence.bounded(2);
                QStringList open = tabs;
                open.removeIf([&](const QString &file) { return !inProject.contains(file); });
                if (std::any_of(open.cbegin(), open.cend(), [&](const QString &file) {
                        return typed.contains(file);
                    }))
                    prompts.answers << (save ? QMessageBox::Save : QMessageBox::Discard);
                window->actions().closeProject->trigger();
                answered(open, save);
                for (const QString &file : std::as_const(open))
                    tabs.removeAll(file);
                sequence.took(save ? QStringLiteral("close project (save)")
                                   : QStringLiteral("close project (discard)"));
            } else {
                QVERIFY(openProject(*window, projectPath));
                sequence.took(QStringLiteral("open project"));
            }
            projectOpen = !projectOpen;
            break;
        }
        case 6: { // Editor Configuration: the text's size and the line numbers, OK or Cancel
            bool accept = false;
            QString size;
            bool numbers = false;
            WindowFlows::onNextDialog(window.get(), [&](QDialog *dialog) {
                auto *pages = child<QTabWidget>(dialog, "tabWidget");
                pages->setCurrentIndex(1);
                child<QComboBox>(dialog, "textSettingsCombo")
                    ->setCurrentText(QStringLiteral("Text Editor"));
                auto *sizes = child<QComboBox>(dialog, "fontSizeCombo");
                SEQUENCE_CHECK(fontSize.isEmpty() || sizes->currentText() == fontSize,
                               sizes->currentText());
                sizes->setFocus();
                const int moves = sequence.bounded(5) - 2;
                for (int i = 0; i < std::abs(moves); ++i)
                    QTest::keyClick(sizes, moves > 0 ? Qt::Key_Down : Qt::Key_Up);
                size = sizes->currentText();
                pages->setCurrentIndex(2);
                auto *box = child<QCheckBox>(dialog, "displayLineNumbersCheckBox");
                SEQUENCE_CHECK(box->isChecked() == lineNumbers, QStringLiteral("line numbers"));
                if (sequence.bounded(2))
                    QTest::mouseClick(box, Qt::LeftButton);
                numbers = box->isChecked();
                accept = sequence.bounded(4) != 0;
                QTest::mouseClick(child<QDialogButtonBox>(dialog, "buttonBox")
                                      ->button(accept ? QDialogButtonBox::Ok
                                                      : QDialogButtonBox::Cancel),
                                  Qt::LeftButton);
            });
            window->actions().editorConfiguration->trigger();
            if (accept) {
                fontSize = size;
                lineNumbers = numbers;
            }
            sequence.took(QStringLiteral("settings: %1 points, line numbers %2 (%3)")
                              .arg(size)
                              .arg(numbers)
                              .arg(accept ? "OK" : "Cancel"));
            break;
        }
        default: { // quit, answering every question alike, and start again
            const bool save = sequence.bounded(2);
            for (int i = 0; i < 8; ++i)
                prompts.answers << (save ? QMessageBox::Save : QMessageBox::Discard);
            prompts.asked.clear();
            QVERIFY(window->close());
            prompts.answers.clear();
            // Each file with typed text was named in a question, and no other.
            QStringList named;
            for (const QString &file : tabs) {
                for (const ScriptedPrompts::Question &question : std::as_const(prompts.asked)) {
                    if (question.text.contains(QFileInfo(file).fileName()))
                        named << file;
                }
            }
            named.removeDuplicates();
            named.sort();
            QStringList due = typed.keys();
            SEQUENCE_CHECK(named == due, named.join(QLatin1Char(',')));
            answered(tabs, save);
            for (const QString &file : std::as_const(tabs)) {
                if (!projectOpen || !inProject.contains(file))
                    pushRecent(file);
            }
            QStringList reopened;
            for (const QString &file : std::as_const(inProject)) {
                if (projectOpen && tabs.contains(file))
                    reopened << file;
            }
            tabs = reopened;
            sequence.took(save ? QStringLiteral("quit (save) and start")
                               : QStringLiteral("quit (discard) and start"));
            window.reset();
            window = std::make_unique<SrcManager>();
            SEQUENCE_CHECK(window->recentFiles() == recent,
                           window->recentFiles().join(QLatin1Char(',')));
            SEQUENCE_CHECK(!projectOpen || window->recentProjects().value(0) == projectPath,
                           window->recentProjects().join(QLatin1Char(',')));
            break;
        }
        }
        QCoreApplication::processEvents();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        SEQUENCE_CHECK(prompts.answers.isEmpty(), QStringLiteral("a question was not asked"));
        SEQUENCE_CHECK(window->projectsManager()->projectCount() == (projectOpen ? 1 : 0),
                       QStringLiteral("projects"));
        SEQUENCE_CHECK(window->tabs()->openPaths() == tabs,
                       window->tabs()->openPaths().join(QLatin1Char(',')));
        for (const QString &file : std::as_const(tabs)) {
            const SourceEditor *editor = window->tabs()->findEditor(file);
            SEQUENCE_CHECK(editor->text() == typed.value(file, QString::fromUtf8(disk.value(file)))
                               && editor->isDocumentModified() == typed.contains(file),
                           file);
            // Every tab, when looked at, looks as the settings say, also after a start.
            window->tabs()->activateFile(file);
            SEQUENCE_CHECK((editor->marginWidth(1) > 0) == lineNumbers
                               && (fontSize.isEmpty() || !editor->lexer()
                                   || editor->lexer()->font(0).pointSize() == fontSize.toInt()),
                           QStringLiteral("%1: margin %2, %3 points")
                               .arg(file)
                               .arg(editor->marginWidth(1))
                               .arg(editor->lexer() ? editor->lexer()->font(0).pointSize() : 0));
        }
        for (auto file = disk.cbegin(); file != disk.cend(); ++file)
            SEQUENCE_CHECK(readFile(file.key()) == file.value(), file.key());
    }
    prompts.answers << QMessageBox::Discard << QMessageBox::Discard << QMessageBox::Discard
                    << QMessageBox::Discard;
    window.reset();
    qInfo("%lld steps", qlonglong(sequence.done()));
}

QTEST_MAIN(tst_ProjectFlows)
#include "tst_projectflows.moc"
