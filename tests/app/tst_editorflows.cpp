// Editing through the main window: go to line, print, the look of the editors, find and
// replace across documents, and help for where the user is.

#include "app/srcmanager.h"
#include "common/fakemainservices.h"
#include "common/scriptedprompts.h"
#include "common/sequence.h"
#include "common/testfiles.h"
#include "common/windowsuite.h"
#include "platform/wholefilewriter.h"

#include "app/helpviewer.h"
#include "build/ui/outtextedit.h"
#include "build/ui/outwindow.h"
#include "editor/findsession.h"
#include "editor/ui/finddialog.h"
#include "editor/ui/gotolinedialog.h"
#include "editor/ui/print.h"
#include "editor/ui/sourceeditor.h"
#include "editor/ui/srctabsholder.h"
#include "project/ui/project.h"
#include "project/ui/projectsmanager.h"
#include "simulator/cirraneinterface.h"

#include <QMenuBar>
#include <Qsci/qscilexer.h>
#include <Qsci/qscilexercpp.h>
#include <Qsci/qsciprinter.h>

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QDir>
#include <QDockWidget>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QProcess>
#include <QPushButton>
#include <QRadioButton>
#include <QRandomGenerator>
#include <QSet>
#include <QSettings>
#include <QTabBar>
#include <QTabWidget>
#include <QToolBar>
#include <QtTest>

#include <algorithm>
#include <functional>
#include <tuple>

class tst_EditorFlows : public QObject, private WindowSuite
{
    Q_OBJECT

private slots:
    void initTestCase() { isolateSettings(); }
    void init() { freshStart(); }
    void goToLine_data();
    void goToLine();
    void printToPdf();
    void selectionIsVisible();
    void editorSettingsReachEveryView();
    void helpOpensTheTopicOfWhereTheUserIs();
    void findWrapsInTheCurrentDocument();
    void desktopConventions();
    void breakpointsFollowTheirLines();
    void aStartReopensTabsWhereTheyWere();
    void randomEditsAndOtherProgramsNeverLoseText();
    void randomEditsKeepBreakpointsOnTheirLines();
    void randomReplaceAllKeepsTabsAndFilesAgreed();
};

void tst_EditorFlows::goToLine_data()
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
void tst_EditorFlows::goToLine()
{
    QFETCH(QString, typed);
    QFETCH(int, line);
    QFETCH(int, index);
    const QString path = m_dir->filePath(QStringLiteral("jump.asm"));
    QVERIFY(writeFile(path, "first\n\t\tsecond\n   \nlast"));
    const QString shorter = m_dir->filePath(QStringLiteral("short.asm"));
    QVERIFY(writeFile(shorter, "one\ntwo"));
    SrcManager window;
    QVERIFY(window.actions().gotoLine->isEnabled());
    window.editors().openFileAt(path);
    window.actions().gotoLine->trigger();
    auto *dialog = window.findChild<GotoLineDialog *>();
    QVERIFY(dialog && dialog->isVisible());
    QCOMPARE(child<QLabel>(dialog, "linesLabel")->text(), QStringLiteral("Line number (1 - 4)"));
    child<QLineEdit>(dialog, "lineEdit")->setText(typed);
    child<QDialogButtonBox>(dialog, "buttonBox")->button(QDialogButtonBox::Ok)->click();
    QVERIFY(!dialog->isVisible());
    int cursorLine = -1;
    int cursorIndex = -1;
    window.tabs()->currentEditor()->getCursorPosition(&cursorLine, &cursorIndex);
    QCOMPARE(cursorLine, line);
    QCOMPARE(cursorIndex, index);

    // A number left from a longer document is cut to a shorter one's lines.
    child<QLineEdit>(dialog, "lineEdit")->setText(QStringLiteral("4"));
    window.editors().openFileAt(shorter);
    window.actions().gotoLine->trigger();
    QCOMPARE(child<QLineEdit>(dialog, "lineEdit")->text(), QStringLiteral("2"));
    QCOMPARE(child<QLabel>(dialog, "linesLabel")->text(), QStringLiteral("Line number (1 - 2)"));
}

// "&Print File" through the print dialog, to a PDF file: the printed text is the file's.
void tst_EditorFlows::printToPdf()
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
    WindowFlows::onNextDialog(&window, [&title](QDialog *dialog) {
        title = dialog->windowTitle();
        dialog->accept();
    });
    window.actions().printFile->trigger();
    QCOMPARE(title, QStringLiteral("Print Document"));
    QVERIFY(QFileInfo(pdf).size() > 0);
    const auto printedLines = [&pdf] {
        QProcess text;
        text.start(QStringLiteral("pdftotext"), {QStringLiteral("-layout"), pdf, "-"});
        text.waitForFinished(30000);
        QStringList lines = QString::fromUtf8(text.readAllStandardOutput())
                                .remove(QLatin1Char('\f'))
                                .split(QLatin1Char('\n'));
        while (!lines.isEmpty() && lines.last().trimmed().isEmpty())
            lines.removeLast();
        return lines;
    };
    // The line number margin is on by default: each printed line is its number and its text.
    const QStringList printed = printedLines();
    const QStringList source = QString::fromUtf8(readFile(main)).split(QLatin1Char('\n'));
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
        WindowFlows::onNextDialog(&window, [](QDialog *dialog) {
            // The user chooses "Selection" among the pages to print.
            for (QRadioButton *range : dialog->findChildren<QRadioButton *>()) {
                if (range->text().remove(QLatin1Char('&')) == QLatin1String("Selection"))
                    range->click();
            }
            dialog->accept();
        });
        window.actions().printFile->trigger();
        const QStringList lines = printedLines();
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
    WindowFlows::onNextDialog(&window, [](QDialog *dialog) { dialog->accept(); });
    window.actions().printFile->trigger();
    QCOMPARE(prompts.asked.size(), 1);
    QCOMPARE(prompts.asked.first().text, QStringLiteral("The document could not be printed."));
    QVERIFY(prompts.asked.first().informativeText.contains(nowhere));
}

// With the default colours a selection, and what Find selects, shows: the selected text's
// pixels differ from the same text unselected.
void tst_EditorFlows::selectionIsVisible()
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
void tst_EditorFlows::editorSettingsReachEveryView()
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
    QString paper;      // the keywords' background chosen
    QList<bool> styles; // and whether bold, italic, underlined
    const auto useDialog = [&](QDialog *dialog) {
        title = dialog->windowTitle();
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
        // The editor's text four sizes up: 14 points; keywords bold, italic and underlined, on
        // the next background down the list.
        groups->setCurrentText(QStringLiteral("Text Editor"));
        size->setFocus();
        for (int i = 0; i < 4; ++i)
            QTest::keyClick(size, Qt::Key_Down);
        items->setCurrentItem(
            items->findItems(QStringLiteral("Keywords"), Qt::MatchExactly).first());
        styles.clear();
        for (const char *style : {"boldCheckBox", "italicCheckBox", "underlineCheckBox"}) {
            auto *box = static_cast<QCheckBox *>(child(style));
            box->click();
            styles << box->isChecked();
        }
        auto *background = static_cast<QComboBox *>(child("backgroundColourCombo"));
        background->setFocus();
        QTest::keyClick(background, Qt::Key_Down);
        paper = background->currentText();
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
    WindowFlows::onNextDialog(&window, useDialog);
    window.actions().editorConfiguration->trigger();
    QCOMPARE(title, QStringLiteral("Editor Settings"));
    QVERIFY(editor->marginWidth(1) > 0);
    QVERIFY(prompts.asked.isEmpty());
    QVERIFY(!window.settingsStore().settings().childGroups().contains(
        QStringLiteral("Output Window Display Settings")));

    accept = true;
    WindowFlows::onNextDialog(&window, useDialog);
    window.actions().editorConfiguration->trigger();
    QCOMPARE(prompts.asked.size(), 2);
    QVERIFY(prompts.asked.first().text.contains(missing));
    QCOMPARE(editor->marginWidth(1), 0);
    QCOMPARE(editor->lexer()->font(0).pointSize(), 14);
    const QFont keyword = editor->lexer()->font(QsciLexerCPP::Keyword);
    QCOMPARE(QList<bool>({keyword.bold(), keyword.italic(), keyword.underline()}), styles);
    QCOMPARE(styles, QList<bool>({true, true, true}));
    QCOMPARE(editor->lexer()->paper(QsciLexerCPP::Keyword), QColor(paper));
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

// F1 in the main window and "&Help" open the main page in the "Main" window; F1 in the find
// dialog opens its page in the "Popup" window, and the settings dialog's page follows its tab;
// the what's-this button does what F1 does; without a help file nothing opens.
void tst_EditorFlows::helpOpensTheTopicOfWhereTheUserIs()
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
    QTest::keyClick(child<QComboBox>(find, "findTextComboBox"), Qt::Key_F1);
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
    WindowFlows::onNextDialog(&window, [&](QDialog *dialog) {
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
    WindowFlows::onNextDialog(&window, [&topics, help](QDialog *dialog) {
        auto *tabs = child<QTabWidget>(dialog, "tabWidget");
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
void tst_EditorFlows::findWrapsInTheCurrentDocument()
{
    const QString path = m_dir->filePath(QStringLiteral("moves.asm"));
    QVERIFY(writeFile(path, "mov a\nnop\nmov b\nMOV c\n"));
    ScriptedPrompts prompts;
    SrcManager window;
    window.editors().openFileAt(path);
    SourceEditor *editor = window.tabs()->currentEditor();
    window.actions().find->trigger();
    auto *dialog = window.findChild<FindDialog *>();
    QVERIFY(dialog && dialog->isVisible());
    QCOMPARE(dialog->windowTitle(), QStringLiteral("Find"));
    child<QComboBox>(dialog, "findTextComboBox")->setEditText(QStringLiteral("mov"));
    QList<int> lines;
    for (int i = 0; i < 4; ++i) {
        child<QPushButton>(dialog, "findNextButton")->click();
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
    child<QCheckBox>(dialog, "matchCaseCheckBox")->click();
    window.actions().findNext->trigger();
    QCOMPARE(editor->selectedText(), QStringLiteral("mov"));
    window.actions().findNext->trigger();
    int line = -1;
    int index = -1;
    editor->getSelection(&line, &index, &line, &index);
    QCOMPARE(line, 2);
}

// The conventions of a desktop editor: the title names the file, its modified mark and the
// project; the status bar shows the cursor's line and column; Ctrl+W closes the tab; the View
// menu brings back a closed dock; the output's context menu clears it.
void tst_EditorFlows::desktopConventions()
{
    const QString projectPath = copyBoard(QStringLiteral("AVR Blinky"), QStringLiteral("b"));
    const QString path = m_dir->filePath(QStringLiteral("two.c"));
    QVERIFY(writeFile(path, "int a;\n\tint b;\n"));
    SrcManager window;
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    QVERIFY(openProject(window, projectPath));
    window.editors().openFileAt(path);
    QCOMPARE(window.windowTitle(), QStringLiteral("two.c - AVR Blinky - DYX Studio"));
    SourceEditor *editor = window.tabs()->currentEditor();
    editor->setCursorPosition(1, 1);
    editor->insert(QStringLiteral("x"));
    QCOMPARE(window.windowTitle(), QStringLiteral("two.c * - AVR Blinky - DYX Studio"));
    QTRY_COMPARE(child<QLabel>(window, "cursorPosition")->text(),
                 QStringLiteral("Line 2, Column 2"));
    window.tabs()->save();
    QCOMPARE(window.windowTitle(), QStringLiteral("two.c - AVR Blinky - DYX Studio"));

    const int tabs = window.tabs()->count();
    QTest::keyClick(editor, Qt::Key_W, Qt::ControlModifier);
    QCOMPARE(window.tabs()->count(), tabs - 1);

    QMenu *view = nullptr;
    for (QAction *menu : window.menuBar()->actions()) {
        if (menu->text() == QLatin1String("&View"))
            view = menu->menu();
    }
    QVERIFY(view);
    for (QDockWidget *dock : window.findChildren<QDockWidget *>()) {
        QVERIFY(view->actions().contains(dock->toggleViewAction()));
        if (!dock->features().testFlag(QDockWidget::DockWidgetClosable))
            continue;
        dock->close();
        QTRY_VERIFY(!dock->toggleViewAction()->isChecked());
        dock->toggleViewAction()->trigger();
        QVERIFY2(dock->isVisible(), qPrintable(dock->objectName()));
    }
    for (QToolBar *bar : window.findChildren<QToolBar *>())
        QVERIFY(view->actions().contains(bar->toggleViewAction()));

    auto *out = window.findChild<OutTextEdit *>();
    QVERIFY(!out->toPlainText().isEmpty());
    QMenu menu;
    out->fillContextMenu(menu);
    for (QAction *action : menu.actions()) {
        if (action->text() == QLatin1String("C&lear"))
            action->trigger();
    }
    QCOMPARE(out->toPlainText(), QString());
}

// Random sequences of editing beside other programs that write the same files (in place, or by
// putting a new file in the old one's place; one of them in ISO 8859-1 with CR LF line ends,
// which every save keeps): opening, typing, Replace All over the project,
// Save File, Save All Files, closing a tab with or without saving, and another program's
// change, read again at once into
// a tab without unsaved text and asked about otherwise. After every step each tab shows what
// the user typed or chose to read, marks exactly the text it has not saved (and Save File is
// offered exactly for such a tab when it is shown), each file holds
// what was last written to it, and exactly the questions due were asked: a save over another
// program's newer file is always asked, the program's own saves never. DYX_SEQUENCE_SEED and
// DYX_SEQUENCE_STEPS choose the sequence.
void tst_EditorFlows::randomEditsAndOtherProgramsNeverLoseText()
{
    RandomSequence sequence(20261208u, 200);

    const QString project = copyBoard(QStringLiteral("AVR Blinky"), QStringLiteral("board"));
    const QString folder = QFileInfo(project).absolutePath();
    const QString notes = m_dir->filePath(QStringLiteral("notes.txt")); // outside the project
    // Written by another program in ISO 8859-1 with CR LF line ends, which it keeps.
    QVERIFY(writeFile(notes,
                      "notes at 20 \xb0"
                      "C\r\n"));
    // And one in UTF-16 with its byte order mark.
    const QString wide = m_dir->filePath(QStringLiteral("wide.txt"));
    const auto utf16 = [](const QString &text) {
        return QByteArray(reinterpret_cast<const char *>(text.utf16()), text.size() * 2);
    };
    QVERIFY(writeFile(wide, "\xff\xfe" + utf16(QString::fromUtf8("\xe2\x82\xac 20 \xc2\xb5s\r\n"))));
    QStringList paths{folder + QStringLiteral("/main.c"),
                      folder + QStringLiteral("/led.c"),
                      notes,
                      wide};
    const auto decode = [&](const QString &path, const QByteArray &bytes) {
        if (path == wide)
            return QString::fromUtf16(reinterpret_cast<const char16_t *>(bytes.constData() + 2),
                                      (bytes.size() - 2) / 2);
        return path == notes ? QString::fromLatin1(bytes) : QString::fromUtf8(bytes);
    };
    const auto encode = [&](const QString &path, const QString &text) {
        if (path == wide)
            return "\xff\xfe" + utf16(text);
        return path == notes ? text.toLatin1() : text.toUtf8();
    };
    QMap<QString, QByteArray> disk; // what each file holds
    for (const QString &path : paths)
        disk.insert(path, readFile(path));
    QMap<QString, QString> tabs;     // what each open tab shows
    QMap<QString, QByteArray> bases; // what each tab was read from or saved as
    QStringList due;                 // the questions the step must ask, by their beginning
    ScriptedPrompts prompts;
    const auto name = [](const QString &path) { return QFileInfo(path).fileName(); };
    const auto modified = [&](const QString &path) {
        return encode(path, tabs.value(path)) != bases.value(path);
    };
    const auto stale = [&](const QString &path) { return bases.value(path) != disk.value(path); };
    // A save of a tab's text; one over another program's newer file is asked first.
    const auto save = [&](const QString &path, bool answer) { // answer: to that question
        if (!modified(path))
            return;
        if (stale(path)) {
            due << name(path)
                       + QStringLiteral(" has been changed on disk by another program since");
            prompts.answers << (answer ? QMessageBox::Save : QMessageBox::Cancel);
            if (!answer)
                return;
        }
        disk[path] = bases[path] = encode(path, tabs.value(path));
    };

    SrcManager window;
    QVERIFY(openProject(window, project));
    for (int step = 0; step < sequence.steps(); ++step) {
        const QStringList open = tabs.keys();
        const QString path = paths.at(sequence.bounded(int(paths.size())));
        const bool yes = sequence.bounded(2) == 0;
        due.clear();
        prompts.asked.clear();
        switch (sequence.bounded(11)) {
        case 0:
        case 1:
            window.editors().openFileAt(path);
            if (!tabs.contains(path)) {
                tabs.insert(path, decode(path, disk.value(path)));
                bases.insert(path, disk.value(path));
            }
            sequence.took(QStringLiteral("open ") + name(path));
            break;
        case 2:
        case 3: {
            if (!tabs.contains(path))
                continue;
            SourceEditor *editor = window.tabs()->findEditor(path);
            window.tabs()->activateFile(path);
            QTest::keyClick(editor, Qt::Key_End, Qt::ControlModifier);
            QTest::keyClicks(editor, QStringLiteral("// typed %1").arg(step));
            QTest::keyClick(editor, Qt::Key_Return);
            tabs[path] = editor->text();
            // New lines take the line ends the file has.
            if (path != paths.at(0) && path != paths.at(1)
                && tabs[path].count(QStringLiteral("\r\n")) != tabs[path].count('\n'))
                QFAIL(sequence.failure(QStringLiteral("a line end of its own")).constData());
            sequence.took(QStringLiteral("type in ") + name(path));
            break;
        }
        case 4:
            if (!tabs.contains(path))
                continue;
            window.tabs()->activateFile(path);
            save(path, yes);
            window.actions().saveFile->trigger();
            sequence.took(QStringLiteral("save %1 (%2)").arg(name(path), yes ? "yes" : "no"));
            break;
        case 5: { // Save All Files, then the second file renamed in the tree
            for (const QString &each : open)
                save(each, true);
            window.actions().saveAllFiles->trigger();
            const QString renamed = folder + QStringLiteral("/led %1.c").arg(step);
            QVERIFY(WindowFlows::renameInTree(window, paths.at(1), QFileInfo(renamed).fileName()));
            disk.insert(renamed, disk.take(paths.at(1)));
            if (tabs.contains(paths.at(1))) {
                tabs.insert(renamed, tabs.take(paths.at(1)));
                bases.insert(renamed, bases.take(paths.at(1)));
            }
            paths[1] = renamed;
            sequence.took(QStringLiteral("save all, rename to ") + name(renamed));
            break;
        }
        case 6:
            if (!tabs.contains(path))
                continue;
            window.tabs()->activateFile(path);
            if (modified(path)) {
                due << name(path) + QStringLiteral(" has been modified.");
                prompts.answers << (yes ? QMessageBox::Save : QMessageBox::Discard);
                if (yes)
                    save(path, true);
            }
            window.actions().closeFile->trigger();
            tabs.remove(path);
            bases.remove(path);
            sequence.took(QStringLiteral("close %1 (%2)").arg(name(path), yes ? "save" : "discard"));
            break;
        case 10: { // Replace All over the project: the document shown, then the project's files
            if (tabs.isEmpty())
                continue;
            const QString shown = window.tabs()->currentEditor()->filePath();
            const QString from = QStringLiteral("typed ");
            const QString to = QStringLiteral("changed ");
            int count = int(tabs.value(shown).count(from));
            tabs[shown].replace(from, to);
            for (const QString &each : paths.mid(0, 2)) { // the project's files here
                if (each == shown)
                    continue;
                const bool open = tabs.contains(each);
                const QString text = open ? tabs.value(each) : decode(each, disk.value(each));
                const int here = int(text.count(from));
                count += here;
                if (here > 0) {
                    bases.insert(each, open ? bases.value(each) : disk.value(each));
                    tabs.insert(each, QString(text).replace(from, to));
                } else if (open) { // a file the search passes without a match is closed
                    if (modified(each)) {
                        due << name(each) + QStringLiteral(" has been modified.");
                        prompts.answers << (yes ? QMessageBox::Save : QMessageBox::Discard);
                        if (yes)
                            save(each, true);
                    }
                    tabs.remove(each);
                    bases.remove(each);
                }
            }
            window.actions().replace->trigger();
            auto *dialog = window.findChild<FindDialog *>();
            child<QComboBox>(dialog, "findTextComboBox")->setEditText(from);
            child<QComboBox>(dialog, "replaceWithTextComboBox")->setEditText(to);
            child<QComboBox>(dialog, "lookInComboBox")->setCurrentIndex(2);
            child<QCheckBox>(dialog, "matchCaseCheckBox")->setChecked(true);
            due << QStringLiteral("Replaced %1 occurences").arg(count);
            child<QPushButton>(dialog, "replaceAllButton")->click();
            dialog->close();
            sequence.took(QStringLiteral("replace all in %1 (%2, %3)")
                              .arg(name(shown))
                              .arg(count)
                              .arg(yes ? "save" : "discard"));
            break;
        }
        default: { // another program writes the file
            const QString added = QStringLiteral("// other program %1").arg(step);
            const QByteArray text = path == wide
                                        ? disk.value(path)
                                              + utf16(added + QString::fromUtf8(" \xe2\x82\xac\r\n"))
                                    : path == notes
                                        ? disk.value(path) + added.toLatin1() + " \xb0\r\n"
                                        : disk.value(path) + added.toUtf8() + "\n";
            const bool inPlace = sequence.bounded(2) == 0;
            if (inPlace) {
                QFile file(path);
                QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
                QVERIFY(file.write(text) == text.size());
            } else {
                QVERIFY(Platform::writeWholeFile(path, text));
            }
            disk[path] = text;
            sequence.took(
                QStringLiteral("another program writes %1 %2%3")
                    .arg(name(path), inPlace ? "in place" : "anew")
                    .arg(tabs.contains(path) && modified(path) ? yes ? " (read)" : " (kept)" : ""));
            if (!tabs.contains(path))
                break;
            SourceEditor *editor = window.tabs()->findEditor(path);
            if (!modified(path)) { // read again at once
                tabs[path] = decode(path, text);
                bases[path] = text;
                QTRY_VERIFY2(editor->text() == tabs.value(path),
                             sequence.failure(editor->text()).constData());
                break;
            }
            due << name(path) + QStringLiteral(" has been changed on disk by another program.\n");
            prompts.answers << (yes ? QMessageBox::Yes : QMessageBox::No);
            QTRY_VERIFY2(prompts.answers.isEmpty(),
                         sequence.failure(QStringLiteral("not asked")).constData());
            if (yes) {
                tabs[path] = decode(path, text);
                bases[path] = text;
            }
            break;
        }
        }
        QCoreApplication::processEvents();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);

        QStringList asked;
        for (const ScriptedPrompts::Question &question : std::as_const(prompts.asked))
            asked << question.text;
        asked.sort(); // Save All asks in the tabs' order
        due.sort();
        bool asExpected = asked.size() == due.size() && prompts.answers.isEmpty();
        for (int i = 0; asExpected && i < asked.size(); ++i)
            asExpected = asked.at(i).startsWith(due.at(i));
        if (!asExpected)
            QFAIL(sequence.failure(asked.join(QLatin1Char('|'))).constData());
        QStringList openPaths = window.tabs()->openPaths();
        openPaths.sort();
        if (openPaths != tabs.keys())
            QFAIL(sequence.failure(openPaths.join(QLatin1Char(','))).constData());
        for (const QString &each : tabs.keys()) {
            SourceEditor *editor = window.tabs()->findEditor(each);
            if (editor->text() != tabs.value(each) || editor->isDocumentModified() != modified(each))
                QFAIL(sequence.failure(name(each) + QStringLiteral(": ") + editor->text())
                          .constData());
        }
        // Save File offered exactly when the tab shown has something to save.
        if (SourceEditor *shown = window.tabs()->currentEditor();
            shown && window.actions().saveFile->isEnabled() != modified(shown->filePath()))
            QFAIL(sequence.failure(QStringLiteral("Save File for ") + name(shown->filePath()))
                      .constData());
        for (const QString &each : paths) {
            if (readFile(each) != disk.value(each))
                QFAIL(sequence.failure(name(each) + QStringLiteral(" on disk")).constData());
        }
    }
    qInfo("%lld steps", qlonglong(sequence.done()));
}

// Quit and started again, the project opens with the configuration chosen in the selector, and
// its tabs with their cursors where they were, the tab that was current in front.
void tst_EditorFlows::aStartReopensTabsWhereTheyWere()
{
    const QString project = copyBoard(QStringLiteral("AVR Blinky"), QStringLiteral("again"));
    const QString folder = QFileInfo(project).absolutePath();
    auto window = std::make_unique<SrcManager>();
    QVERIFY(openProject(*window, project));
    // Line and column, from one: far into a long line, and near the start of a short one.
    const QList<std::tuple<QString, int, int>> places{{folder + QStringLiteral("/main.c"), 25, 40},
                                                      {folder + QStringLiteral("/led.c"), 3, 2}};
    for (const auto &[path, line, column] : places) {
        window->editors().openFileAt(path);
        window->tabs()->currentEditor()->setCursorPosition(line - 1, column - 1);
    }
    window->tabs()->activateFile(std::get<0>(places.first()));
    window->configCombo()->setCurrentText(QStringLiteral("Release"));
    QVERIFY(window->close());
    window = std::make_unique<SrcManager>();
    // The configuration chosen in the selector too.
    QCOMPARE(window->projectsManager()->currentProject()->activeConfiguration()->name(),
             QStringLiteral("Release"));
    QCOMPARE(window->configCombo()->currentText(), QStringLiteral("Release"));
    QCOMPARE(window->tabs()->openPaths().size(), 2);
    QCOMPARE(window->tabs()->currentEditor()->filePath(), std::get<0>(places.first()));
    for (const auto &[path, line, place] : places) {
        int row = -1;
        int column = -1;
        SourceEditor *editor = window->tabs()->findEditor(path);
        editor->getCursorPosition(&row, &column);
        QCOMPARE(row, line - 1);
        QCOMPARE(column, place - 1);
        // In view once shown, which the editors of a window being made are not yet: not
        // scrolled sideways for an editor of no width.
        QVERIFY(editor->firstVisibleLine() <= row && editor->firstVisibleLine() > row - 15);
        QCOMPARE(editor->SendScintilla(QsciScintillaBase::SCI_GETXOFFSET), 0L);
    }
}

// Breakpoints through Toggle Breakpoint while the file is edited, saved, closed and opened
// again, or changed by another program: a breakpoint stays with its line as lines are added
// before or after it, and when its line goes, it goes to the line the deletion leaves; toggling
// a line always turns it on or off, and the window's list holds every breakpoint once. The
// lines of the last build that gave firmware move the same way, for the debugger's stops.
void tst_EditorFlows::randomEditsKeepBreakpointsOnTheirLines()
{
    RandomSequence sequence(4u, 150);
    const QString project = copyBoard(QStringLiteral("AVR Blinky"), QStringLiteral("board"));
    const QString path = QFileInfo(project).absolutePath() + QStringLiteral("/main.c");
    ScriptedPrompts prompts;
    auto window = std::make_unique<SrcManager>();
    QVERIFY(openProject(*window, project));
    window->editors().openFileAt(path);
    QList<int> expected; // the lines with a breakpoint, from 1
    // Some lines of the last build that gave firmware, and where each stands now (as last
    // saved too); none before a build, nor after the program started again.
    QList<int> built;
    QList<int> builtNow;
    QList<int> builtSaved;
    // Marks after a change that takes the text between lines from and to (from 1) away and
    // puts added lines in its place, as the editor moves them: a line taken away leaves its
    // mark to the line where the change began; from a line's start, added lines push the
    // line's mark down with it. Breakpoints are one to a line.
    const auto move = [](QList<int> &marks, int from, int to, int added, bool atLineStart) {
        for (int &line : marks) {
            if (line > from && line <= to)
                line = from;
            else if (line > to || (atLineStart && line == from && to == from))
                line += added - (to - from);
        }
    };
    const auto moved = [&](int from, int to, int added, bool atLineStart) {
        move(expected, from, to, added, atLineStart);
        expected = QSet<int>(expected.cbegin(), expected.cend()).values();
        std::sort(expected.begin(), expected.end());
        move(builtNow, from, to, added, atLineStart);
    };
    // The changes since the file was saved, as they move the marks back when undone.
    QList<std::function<void()>> sinceSaved;
    for (int step = 0; step < sequence.steps(); ++step) {
        SourceEditor *editor = window->tabs()->currentEditor();
        const int count = editor->lines();
        const int line = 1 + sequence.bounded(count);
        switch (sequence.bounded(8)) {
        case 0:
        case 1: // Toggle Breakpoint on the cursor's line
            editor->setCursorPosition(line - 1, 0);
            window->actions().toggleBreakpoint->trigger();
            if (!expected.removeOne(line)) {
                expected << line;
                std::sort(expected.begin(), expected.end());
            }
            sequence.took(QStringLiteral("toggle %1").arg(line));
            break;
        case 2: { // lines typed at the start of a line, or at its end
            const int added = 1 + sequence.bounded(3);
            const bool atStart = sequence.bounded(2) == 0;
            const QString lines = QStringLiteral("x\n").repeated(added);
            const QString before = editor->text(line - 1);
            const int column = atStart ? 0 : int(before.size() - before.endsWith('\n'));
            editor->insertAt(atStart ? lines : lines.chopped(1).prepend(QLatin1Char('\n')),
                             line - 1,
                             column);
            moved(line, line, added, column == 0);
            // Undone in an empty file, everything goes, and the marks with it.
            const bool empty = editor->text() == lines
                               || editor->text() == lines.chopped(1).prepend('\n');
            if (empty)
                built.clear();
            sinceSaved << [&moved, &expected, line, added, empty] {
                moved(line, line + added, 0, false);
                if (empty)
                    expected.clear();
            };
            sequence.took(QStringLiteral("%1 lines at the %2 of %3")
                              .arg(added)
                              .arg(atStart ? "start" : "end")
                              .arg(line));
            break;
        }
        case 3: { // whole lines selected and deleted
            const int last = std::min(count - 1, line + sequence.bounded(3));
            if (last < line)
                continue;
            editor->setSelection(line - 1, 0, last, 0);
            const bool everything = editor->selectedText() == editor->text();
            QTest::keyClick(editor, Qt::Key_Delete);
            moved(line, last + 1, 0, true);
            if (everything) { // no line left to hold them
                expected.clear();
                built.clear();
            }
            sinceSaved << [&moved, line, last] { moved(line, line, last - line + 1, true); };
            sequence.took(QStringLiteral("delete lines %1 to %2").arg(line).arg(last));
            break;
        }
        case 4: { // a line joined to the one before it
            if (line < 2)
                continue;
            editor->setCursorPosition(line - 1, 0);
            const bool empty = editor->text(line - 2) == QLatin1String("\n");
            QTest::keyClick(editor, Qt::Key_Backspace);
            moved(line - 1, line, 0, false);
            sinceSaved << [&moved, line, empty] { moved(line - 1, line - 1, 1, empty); };
            sequence.took(QStringLiteral("join %1").arg(line));
            break;
        }
        case 5: // Save File, and now and then a build from the file as saved, which fails or
            // gives firmware
            window->actions().saveFile->trigger();
            sinceSaved.clear();
            builtSaved = builtNow;
            sequence.took(QStringLiteral("save"));
            if (sequence.bounded(2) == 0) {
                const bool gave = sequence.bounded(3) > 0;
                window->tabs()->buildStarts();
                window->tabs()->buildEnded(gave);
                if (gave) {
                    built = {1 + sequence.bounded(count), 1 + sequence.bounded(count), count};
                    builtNow = builtSaved = built;
                }
                sequence.took(gave ? QStringLiteral("built") : QStringLiteral("build failed"));
            }
            break;
        case 6: { // another program adds lines at a line's start, or takes whole lines away
            if (editor->isModified())
                continue;
            QStringList text = editor->text().split(QLatin1Char('\n'));
            const int last = std::min(count - 1, line + sequence.bounded(3));
            if (sequence.bounded(2) == 0) {
                const int added = 1 + sequence.bounded(3);
                for (int i = 0; i < added; ++i)
                    text.insert(line - 1, QStringLiteral("// elsewhere %1.%2").arg(step).arg(i));
                moved(line, line, added, true);
                sequence.took(QStringLiteral("%1 lines put at %2 elsewhere").arg(added).arg(line));
            } else {
                // Which of two equal lines went is anyone's guess.
                if (last < line || text.at(line - 1) == text.at(last)
                    || (line >= 2 && text.at(last - 1) == text.at(line - 2)))
                    continue;
                text.erase(text.begin() + line - 1, text.begin() + last);
                moved(line, last + 1, 0, true);
                sequence.took(QStringLiteral("lines %1 to %2 taken elsewhere").arg(line).arg(last));
            }
            const QString written = text.join(QLatin1Char('\n'));
            QVERIFY(writeFile(path, written.toUtf8()));
            QTRY_COMPARE(editor->text(), written);
            sinceSaved.clear();
            builtSaved = builtNow;
            break;
        }
        default: { // Close File or Close Project or quit, saving or dropping the changes, and
                   // open again (started again, the project reopens with its tabs)
            const bool save = sequence.bounded(2) == 0;
            const int what = sequence.bounded(3);
            if (editor->isDocumentModified())
                prompts.answers << (save ? QMessageBox::Save : QMessageBox::Discard);
            if (what == 0) {
                window->actions().closeProject->trigger();
                QVERIFY(openProject(*window, project));
            } else if (what == 1) {
                window->actions().closeFile->trigger();
            } else {
                QVERIFY(window->close());
                window.reset();
                window = std::make_unique<SrcManager>();
            }
            QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
            window->editors().openFileAt(path);
            // Dropped changes take the breakpoints back to the lines of the file as it is.
            for (auto change = sinceSaved.crbegin(); !save && change != sinceSaved.crend(); ++change)
                (*change)();
            sinceSaved.clear();
            if (what == 2) // a new program knows no build
                built.clear();
            builtNow = builtSaved = save ? builtNow : builtSaved;
            sequence.took(QStringLiteral("close %1 (%2) and open")
                              .arg(QStringList{"project", "file", "the program"}.at(what),
                                   save ? "save" : "discard"));
            break;
        }
        }
        SEQUENCE_CHECK(prompts.answers.isEmpty(), QStringLiteral("a question was not asked"));
        const QList<int> lines = window->tabs()->currentEditor()->breakpointLines();
        QStringList shown;
        for (const int each : lines)
            shown << QString::number(each);
        for (const int each : std::as_const(expected))
            shown << QStringLiteral("/%1").arg(each);
        // Element by element: two empty lists, one of them allocated, would be compared as
        // memory from a null pointer.
        SEQUENCE_CHECK(std::equal(lines.cbegin(), lines.cend(), expected.cbegin(), expected.cend()),
                       shown.join(QLatin1Char(',')));
        QList<std::pair<QString, int>> listed;
        for (const int each : std::as_const(expected))
            listed.append({path, each});
        SEQUENCE_CHECK(window->tabs()->breakpoints() == listed, shown.join(QLatin1Char(',')));
        for (int i = 0; i < built.size(); ++i) {
            const int now = window->tabs()->currentEditor()->lineNowOf(built.at(i));
            SEQUENCE_CHECK(now == builtNow.at(i),
                           QStringLiteral("line %1 as built is at %2, not %3")
                               .arg(built.at(i))
                               .arg(now)
                               .arg(builtNow.at(i)));
        }
    }
    qInfo("%lld steps", qlonglong(sequence.done()));
}

// Random sequences of Replace All in the current document, the open ones or the project, among
// files opened, typed in, saved and closed: after every step each file's text, in its tab or
// on disk, is what a plain replacement of the text gives (the letters found never meet those
// put in, so the direction of the search does not matter), the count says how many, the tabs
// are those open before and the project's files that changed, nothing is saved unasked, and
// the breakpoints set on first lines stay there.
void tst_EditorFlows::randomReplaceAllKeepsTabsAndFilesAgreed()
{
    RandomSequence sequence(1u, 40);
    const QString folder = m_dir->filePath(QStringLiteral("words"));
    QDir().mkpath(folder);
    QStringList files; // the project's, in its order
    QByteArray listed;
    QMap<QString, QString> disk;
    const QStringList words{"a", "ab", "ca", "b", "x", "xy", "yx", "y", "1", "-"};
    const auto someWords = [&](int count) {
        QString text;
        for (int i = 0; i < count; ++i)
            text += sequence.pick(words) + QLatin1Char(i % 5 == 4 ? '\n' : ' ');
        return text;
    };
    for (int i = 0; i < 5; ++i) {
        files << folder + QStringLiteral("/w%1.txt").arg(i);
        disk[files.last()] = someWords(12) + QLatin1Char('\n');
        QVERIFY(writeFile(files.last(), disk[files.last()].toUtf8()));
        listed += "<FILE NAME=\"w" + QByteArray::number(i) + ".txt\" GROUP=\"Other Files\"/>";
    }
    // A folder listed as a file: no text to search, no tab.
    QVERIFY(QDir(folder).mkdir(QStringLiteral("notafile.h")));
    listed += "<FILE NAME=\"notafile.h\" GROUP=\"Header Files\"/>";
    // And an object file, words and all: no text either.
    const QByteArray object("a b\0ab ca x\n", 12);
    QVERIFY(writeFile(folder + QStringLiteral("/w.o"), object));
    listed += "<FILE NAME=\"w.o\" GROUP=\"Other Files\"/>";
    const QString path = folder + QStringLiteral("/words.dyxp");
    QVERIFY(writeFile(path,
                      "<PROJECT><FILES>" + listed
                          + "</FILES><CONFIGURATION NAME=\"Debug\" COMPILER=\"GNU AVR GCC\" "
                            "TARGET=\"Debug\"><CONTROLLER FAMILY=\"AVR\" TYPE=\"ATmega328P\" "
                            "CLOCK=\"16MHz\"/></CONFIGURATION></PROJECT>"));
    QStringList tabs;                           // in tab order
    QMap<QString, QString> shown;               // what each tab shows
    QSet<QString> dirty;                        // tabs changed since they were opened or saved
    QList<std::pair<QString, int>> breakpoints; // on the first line of each file opened
    ScriptedPrompts prompts;
    SrcManager window;
    QVERIFY(openProject(window, path));
    window.actions().replace->trigger();
    auto *dialog = window.findChild<FindDialog *>();
    QVERIFY(dialog);
    for (int step = 0; step < sequence.steps(); ++step) {
        switch (sequence.bounded(7)) {
        case 0: { // open a file
            const QString file = sequence.pick(files);
            window.editors().openFileAt(file, 1);
            if (!tabs.contains(file)) {
                tabs << file;
                shown[file] = disk.value(file);
            }
            if (!breakpoints.contains({file, 1})) {
                window.actions().toggleBreakpoint->trigger();
                breakpoints.append({file, 1});
                std::sort(breakpoints.begin(), breakpoints.end());
            }
            sequence.took(QStringLiteral("open ") + QFileInfo(file).fileName());
            break;
        }
        case 1: { // type at a tab's end
            if (tabs.isEmpty())
                continue;
            const QString file = sequence.pick(tabs);
            SourceEditor *editor = window.tabs()->findEditor(file);
            const QString typed = someWords(3);
            editor->append(typed);
            shown[file] += typed;
            dirty.insert(file);
            sequence.took(QStringLiteral("type '%1' in %2").arg(typed, QFileInfo(file).fileName()));
            break;
        }
        case 2: // Save All Files
            window.actions().saveAllFiles->trigger();
            for (const QString &file : std::as_const(tabs))
                disk[file] = shown.value(file);
            dirty.clear();
            sequence.took(QStringLiteral("save all"));
            break;
        case 3: { // Close File, saving or not
            if (tabs.isEmpty())
                continue;
            const QString file = sequence.pick(tabs);
            const bool save = sequence.bounded(2);
            if (dirty.contains(file))
                prompts.answers << (save ? QMessageBox::Save : QMessageBox::Discard);
            window.tabs()->activateFile(file);
            window.actions().closeFile->trigger();
            if (save && dirty.contains(file))
                disk[file] = shown.value(file);
            dirty.remove(file);
            tabs.removeAll(file);
            shown.remove(file);
            sequence.took(QStringLiteral("close %1 (%2)")
                              .arg(QFileInfo(file).fileName(), save ? "save" : "discard"));
            break;
        }
        default: { // Replace All
            const int scope = sequence.bounded(3);
            if (scope != FindSession::CurrentProject && tabs.isEmpty())
                continue;
            const QString find = sequence.pick({"a", "ab", "ca", "b", "x", "xy", "yx"});
            // Letters of the other kind, or nothing.
            const QString replacement = find.contains(QLatin1Char('x'))
                                                || find.contains(QLatin1Char('y'))
                                            ? sequence.pick({"a", "ba", "", "1"})
                                            : sequence.pick({"x", "yx", "", "-"});
            // The search starts in the tab in front; the others of its scope follow (in the
            // project, each open one in tab order changes places with the next file from the
            // start), and each of those it leaves without a change is closed again, with the
            // question about its typed text.
            const QString front = tabs.isEmpty() ? QString() : sequence.pick(tabs);
            QStringList searched = scope == FindSession::AllOpenDocuments ? tabs : QStringList();
            if (scope == FindSession::CurrentProject) {
                searched = files;
                for (int at = 0; at < tabs.size(); ++at)
                    searched.swapItemsAt(searched.indexOf(tabs.at(at)), at);
            }
            searched.removeAll(front);
            if (!front.isEmpty())
                searched.prepend(front);
            int count = 0;
            QStringList answers;
            for (const QString &file : std::as_const(searched)) {
                const bool open = tabs.contains(file);
                const QString before = open ? shown.value(file) : disk.value(file);
                const int found = int(before.count(find));
                count += found;
                if (found > 0) {
                    if (!open)
                        tabs << file;
                    shown[file] = QString(before).replace(find, replacement);
                    dirty.insert(file);
                } else if (open && file != front) {
                    const bool save = sequence.bounded(2);
                    if (dirty.contains(file)) {
                        prompts.answers << (save ? QMessageBox::Save : QMessageBox::Discard);
                        answers << QFileInfo(file).fileName() + (save ? " saved" : " dropped");
                        if (save)
                            disk[file] = shown.value(file);
                    }
                    tabs.removeAll(file);
                    shown.remove(file);
                    dirty.remove(file);
                }
            }
            if (!front.isEmpty())
                window.tabs()->activateFile(front);
            prompts.asked.clear();
            window.show();
            child<QComboBox>(dialog, "findTextComboBox")->setEditText(find);
            child<QComboBox>(dialog, "replaceWithTextComboBox")->setEditText(replacement);
            // Another scope and back: a search from the start, whatever came before.
            child<QComboBox>(dialog, "lookInComboBox")->setCurrentIndex((scope + 1) % 3);
            child<QComboBox>(dialog, "lookInComboBox")->setCurrentIndex(scope);
            child<QPushButton>(dialog, "replaceAllButton")->click();
            sequence.took(QStringLiteral("replace '%1' by '%2' in %3 from %4 (%5; %6)")
                              .arg(find, replacement)
                              .arg(scope)
                              .arg(QFileInfo(front).fileName())
                              .arg(count)
                              .arg(answers.join(QLatin1Char(','))));
            const QString told = prompts.asked.value(prompts.asked.size() - 1).text;
            SEQUENCE_CHECK(told == QStringLiteral("Replaced %1 occurences").arg(count), told);
            break;
        }
        }
        QCoreApplication::processEvents();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        SEQUENCE_CHECK(prompts.answers.isEmpty(), QStringLiteral("a question was not asked"));
        SEQUENCE_CHECK(window.tabs()->openPaths() == tabs,
                       window.tabs()->openPaths().join(QLatin1Char(',')));
        for (const QString &file : std::as_const(tabs)) {
            const SourceEditor *editor = window.tabs()->findEditor(file);
            SEQUENCE_CHECK(editor->text() == shown.value(file)
                               && editor->isDocumentModified() == dirty.contains(file)
                               && editor->breakpointLines()
                                      == QList<int>(breakpoints.contains({file, 1}), 1),
                           file + QLatin1Char(' ') + editor->text());
        }
        QList<std::pair<QString, int>> listed = window.tabs()->breakpoints();
        std::sort(listed.begin(), listed.end());
        SEQUENCE_CHECK(listed == breakpoints, QStringLiteral("breakpoints"));
        for (const QString &file : std::as_const(files))
            SEQUENCE_CHECK(QString::fromUtf8(readFile(file)) == disk.value(file), file);
    }
    QCOMPARE(readFile(folder + QStringLiteral("/w.o")), object);
    qInfo("%lld steps", qlonglong(sequence.done()));
}

// Toggle Breakpoint wants an editor. A breakpoint follows its file renamed, and its line when
// another program changes the file while it is closed or while the program is not running.
// (Edits, saves, closing and opening again: randomEditsKeepBreakpointsOnTheirLines.)
void tst_EditorFlows::breakpointsFollowTheirLines()
{
    const QString path = m_dir->filePath(QStringLiteral("loop.c"));
    QVERIFY(writeFile(path, "int a;\nint b;\n"));
    SrcManager window;
    window.updateState();
    QVERIFY(!window.actions().toggleBreakpoint->isEnabled());
    window.editors().openFileAt(path, 2);
    window.updateState();
    QVERIFY(window.actions().toggleBreakpoint->isEnabled());
    window.actions().toggleBreakpoint->trigger();
    const QString renamed = m_dir->filePath(QStringLiteral("renamed.c"));
    QVERIFY(QFile::rename(path, renamed));
    window.editors().editorFileRenamed(path, renamed);
    const auto at = [&](int line) {
        return QList<std::pair<QString, int>>{{QFileInfo(renamed).absoluteFilePath(), line}};
    };
    QCOMPARE(window.tabs()->breakpoints(), at(2));
    // Another program changes the file while it is closed, or while the program is not
    // running: the breakpoint is on the line that holds its text when the file opens, and at
    // the next start.
    window.actions().closeFile->trigger();
    QVERIFY(writeFile(renamed, "// new\n\nint a;\nint b;\n"));
    window.editors().openFileAt(renamed);
    QCOMPARE(window.tabs()->currentEditor()->breakpointLines(), QList<int>{4});
    QCOMPARE(window.tabs()->breakpoints(), at(4));
    QVERIFY(window.close());
    QVERIFY(writeFile(renamed, "int b;\n"));
    SrcManager again;
    QCOMPARE(again.tabs()->breakpoints(), at(1));
}

QTEST_MAIN(tst_EditorFlows)
#include "tst_editorflows.moc"
