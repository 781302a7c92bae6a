#include "common/datarows.h"
#include "common/fakewindowservices.h"
#include "common/scriptedprompts.h"
#include "common/sequence.h"
#include "common/testfiles.h"
#include "core/ui/commandactions.h"
#include "editor/syntaxrules.h"
#include "editor/ui/qscilexercirrane.h"
#include "editor/ui/sourceeditor.h"
#include "editor/ui/srctabsholder.h"

#include <QTabBar>
#include <Qsci/qscilexercpp.h>

#include <QAction>
#include <QFile>
#include <QPointer>
#include <QTemporaryDir>
#include <QtTest>

#include <linux/capability.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

class tst_SourceEditor : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void loadAndSave();
    void savingKeepsTheFileOnFailure();
    void missingFileIsUntitled();
    void specialFilesAreRefused();
    void randomFilesEditedAndBackAreSavedAsTheyWere();
    void closeAsks_data();
    void closeAsks();
    void syntaxFileFromMap_data();
    void syntaxFileFromMap();
    void lexerBySuffix_data();
    void lexerBySuffix();
    void tabs();
    void bytesAndLineEndsSurvive_data();
    void bytesAndLineEndsSurvive();
    void latin1FileGainingOtherCharacters();
    void savesInAFolderItCannotWrite();
    void lexersGoWithTheirEditor();
    void everyCStyleHasTheEditorFont();

private:
    QString write(const QString &name, const QByteArray &content);

    FakeWindowServices m_services;
    CommandActions m_actions;
    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<ScriptedPrompts> m_prompts;
};

void tst_SourceEditor::initTestCase()
{
    QAction **all[] = {&m_actions.saveFile,
                       &m_actions.saveAllFiles,
                       &m_actions.closeFile,
                       &m_actions.printFile,
                       &m_actions.find,
                       &m_actions.replace,
                       &m_actions.cut,
                       &m_actions.copy,
                       &m_actions.paste,
                       &m_actions.undo,
                       &m_actions.redo,
                       &m_actions.gotoLine};
    for (QAction **action : all)
        *action = new QAction(this);
    m_services.actions = &m_actions;
}

void tst_SourceEditor::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    m_prompts = std::make_unique<ScriptedPrompts>();
    m_services.lines.clear();
    m_services.recentFiles.clear();
    m_services.settingsStore().setDirectory(SettingsStore::Syntax, m_dir->path());
}

QString tst_SourceEditor::write(const QString &name, const QByteArray &content)
{
    const QString path = m_dir->filePath(name);
    QFile file(path);
    if (file.open(QIODevice::WriteOnly))
        file.write(content);
    return path;
}

void tst_SourceEditor::loadAndSave()
{
    const QString path = write(QStringLiteral("main.c"), "int x; /* caf\xc3\xa9 */\n");
    SourceEditor editor(&m_services, path);
    QCOMPARE(editor.objectName(), QStringLiteral("SourceFile.") + path);
    QCOMPARE(editor.text(), QStringLiteral("int x; /* café */\n"));
    QVERIFY(!editor.isModified());
    QCOMPARE(editor.tabTitle(), QStringLiteral("main.c"));
    // Not modified: nothing is written, not even under another name.
    QVERIFY(editor.saveFile(m_dir->filePath(QStringLiteral("other.c"))));
    QVERIFY(!QFile::exists(m_dir->filePath(QStringLiteral("other.c"))));
    editor.append(QStringLiteral("int y;\n"));
    QVERIFY(editor.isModified());
    QCOMPARE(editor.tabTitle(), QStringLiteral("*main.c"));
    QVERIFY(m_actions.saveFile->isEnabled());
    QVERIFY(editor.save());
    QCOMPARE(readFile(path), QByteArray("int x; /* caf\xc3\xa9 */\nint y;\n"));
    QVERIFY(!editor.isModified());
    QVERIFY(m_services.statusMessages.contains(QStringLiteral("File saved")));
}

void tst_SourceEditor::savingKeepsTheFileOnFailure()
{
    const QString path = write(QStringLiteral("a.asm"), "old\n");
    write(QStringLiteral("plain"), "a file, not a folder\n");
    SourceEditor editor(&m_services, path);
    editor.append(QStringLiteral("new\n"));
    QVERIFY(!editor.saveFile(m_dir->filePath(QStringLiteral("plain/a.asm"))));
    QVERIFY(editor.isModified());
    QCOMPARE(editor.filePath(), path);
    QCOMPARE(m_prompts->asked.size(), 1);
    QCOMPARE(m_prompts->asked.first().title, QStringLiteral("Application"));
    QVERIFY(m_prompts->asked.first().text.startsWith(
        QStringLiteral("Cannot write file ") + m_dir->filePath(QStringLiteral("plain/a.asm"))
        + QStringLiteral(":\n")));
    QCOMPARE(readFile(path), QByteArray("old\n"));
}

void tst_SourceEditor::missingFileIsUntitled()
{
    SourceEditor editor(&m_services, m_dir->filePath(QStringLiteral("none.c")));
    QCOMPARE(m_services.lines, QStringList{"message: File name is empty or file not found."});
    QCOMPARE(editor.filePath(), QString());
    QCOMPARE(editor.windowTitle(), QStringLiteral("Untitled[*]"));
    QVERIFY(editor.isDocumentModified());
    // Saving asks for a name; cancelling keeps everything.
    QVERIFY(!editor.save());
    m_prompts->fileNames.enqueue(m_dir->filePath(QStringLiteral("named.c")));
    QVERIFY(editor.save());
    QCOMPARE(editor.filePath(), m_dir->filePath(QStringLiteral("named.c")));
}

// A FIFO would block the editor for ever, and a device never ends: neither is read. An object
// file would be shown up to its first NUL, and saved so.
void tst_SourceEditor::specialFilesAreRefused()
{
    const QString fifo = m_dir->filePath(QStringLiteral("pipe.asm"));
    QCOMPARE(mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    const QString object = m_dir->filePath(QStringLiteral("main.o"));
    const QByteArray objectBytes("\x7F"
                                 "ELF\x01\x01\0\0 code\n",
                                 14);
    QVERIFY(writeFile(object, objectBytes));
    for (const QString &path : {fifo, QStringLiteral("/dev/zero"), object}) {
        m_services.lines.clear();
        SourceEditor editor(&m_services, path);
        QCOMPARE(editor.filePath(), QString());
        QCOMPARE(m_services.lines,
                 QStringList{QStringLiteral("error: Cannot open %1: %2.")
                                 .arg(path,
                                      path == object ? "it holds binary data, not text"
                                                     : "it is not a regular file")});
    }
    QCOMPARE(readFile(object), objectBytes);
    SyntaxRules rules;
    rules.load(fifo, Qt::CaseInsensitive);
    QVERIFY(!rules.matches(SyntaxRules::Keyword));
}

// Whatever a file holds (UTF-8 with or without its mark, ISO 8859-1 that starts as that mark
// does, UTF-16 either way round, any line ends), a character typed into it and taken out again
// saves it byte for byte as it was.
void tst_SourceEditor::randomFilesEditedAndBackAreSavedAsTheyWere()
{
    RandomSequence sequence(20261209u, 300);
    const QList<QByteArray> leads{"", "", "\xEF\xBB\xBF", "\xFF\xFE", "\xFE\xFF"};
    const QList<QByteArray> pieces{"a",
                                   "\r",
                                   "\n",
                                   "\r\n",
                                   "\t",
                                   "\xC3\xA9",
                                   "\xE9",
                                   "\xFF",
                                   "\xC3",
                                   "\x7F",
                                   "\xEF\xBB\xBF",
                                   "\xE2\x80\xA8",
                                   "\xF0\x9F\x98\x80",
                                   "\xC2\x85"};
    const QString path = m_dir->filePath(QStringLiteral("any.c"));
    for (int step = 0; step < sequence.steps(); ++step) {
        QByteArray bytes = leads.at(sequence.bounded(int(leads.size())));
        for (int n = sequence.bounded(10); n > 0; --n)
            bytes += pieces.at(sequence.bounded(int(pieces.size())));
        sequence.took(QString::fromLatin1(bytes.toHex(' ')));
        QVERIFY(writeFile(path, bytes));
        SourceEditor editor(&m_services, path);
        SEQUENCE_CHECK(editor.filePath() == path, QStringLiteral("not opened"));
        const int line = sequence.bounded(editor.lines());
        editor.setCursorPosition(line, sequence.bounded(2) ? 0 : editor.lineLength(line));
        editor.insert(QStringLiteral("x"));
        QVERIFY(editor.save());
        editor.undo();
        QVERIFY(editor.save());
        SEQUENCE_CHECK(readFile(path) == bytes, QString::fromLatin1(readFile(path).toHex(' ')));
    }
}

void tst_SourceEditor::closeAsks_data()
{
    QTest::addColumn<int>("answer");
    QTest::addColumn<bool>("closes");
    QTest::addColumn<bool>("written");
    QTest::newRow("save") << int(QMessageBox::Save) << true << true;
    QTest::newRow("discard") << int(QMessageBox::Discard) << true << false;
    QTest::newRow("cancel") << int(QMessageBox::Cancel) << false << false;
}

void tst_SourceEditor::closeAsks()
{
    QFETCH(int, answer);
    QFETCH(bool, closes);
    QFETCH(bool, written);
    const QString path = write(QStringLiteral("loose.s"), "nop\n");
    SourceEditor editor(&m_services, path);
    editor.append(QStringLiteral("ret\n"));
    m_prompts->answers.enqueue(QMessageBox::StandardButton(answer));
    QCOMPARE(editor.canClose(), closes);
    QCOMPARE(m_prompts->asked.first().text,
             QStringLiteral("loose.s has been modified.\nDo you want to save your changes?"));
    // A file of no project goes on the recent list, whatever the answer.
    QCOMPARE(m_services.recentFiles, QStringList{path});
    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(file.readAll().contains("ret"), written);
}

void tst_SourceEditor::syntaxFileFromMap_data()
{
    QTest::addColumn<QByteArray>("map");
    QTest::addColumn<QString>("file");
    QTest::addColumn<QString>("syntax"); // relative to the map's folder; empty for none
    addRow("blanks and lower case", QByteArray("  asm=picasm.syn  \n"), "x.ASM", "PICASM.SYN");
    addRow("first match wins", QByteArray("# c\nS=A.SYN\nS=B.SYN\n"), "x.s", "A.SYN");
    addRow("blanks around =", QByteArray("ASM = A.SYN\n"), "x.asm", "");
    addRow("no =", QByteArray("ASM\n=ASM\n"), "x.asm", "");
    addRow("other suffix", QByteArray("ASM=A.SYN\n"), "x.inc", "");
}

void tst_SourceEditor::syntaxFileFromMap()
{
    QFETCH(QByteArray, map);
    QFETCH(QString, file);
    QFETCH(QString, syntax);
    const QString mapPath = write(QStringLiteral("PIC16.MAP"), map);
    QCOMPARE(SourceEditor::resolveSyntaxFile(mapPath, file),
             syntax.isEmpty() ? QString() : m_dir->path() + QLatin1Char('/') + syntax);
    QCOMPARE(SourceEditor::resolveSyntaxFile(QStringLiteral("/any/where.syn"), file),
             QStringLiteral("/any/where.syn"));
    QCOMPARE(SourceEditor::resolveSyntaxFile(m_dir->filePath(QStringLiteral("NONE.MAP")), file),
             QString());
}

void tst_SourceEditor::lexerBySuffix_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<bool>("cpp");
    QTest::newRow("c") << "a.c" << true;
    QTest::newRow("upper-case C") << "b.C" << true;
    QTest::newRow("hpp") << "c.hpp" << true;
    QTest::newRow("assembler") << "d.asm" << false;
    QTest::newRow("no suffix") << "Makefile" << false;
}

void tst_SourceEditor::lexerBySuffix()
{
    QFETCH(QString, name);
    QFETCH(bool, cpp);
    write(QStringLiteral("PIC16.MAP"), "ASM=PICASM.SYN\n");
    write(QStringLiteral("PICASM.SYN"), "keyword=\\bmovlw\\b\n");
    m_services.family = QStringLiteral("PIC16");
    SourceEditor editor(&m_services, write(name, "movlw 1\n"));
    QCOMPARE(qobject_cast<QsciLexerCPP *>(editor.lexer()) != nullptr, cpp);
    auto *cirrane = qobject_cast<QsciLexerCirrane *>(editor.lexer());
    QCOMPARE(cirrane != nullptr, !cpp);
    if (cirrane)
        QCOMPARE(cirrane->rules().matches(SyntaxRules::Keyword),
                 name.endsWith(QLatin1String("asm")));
    // Keywords take the display settings' colour.
    const int keyword = cpp ? int(QsciLexerCPP::Keyword) : 6;
    QCOMPARE(editor.lexer()->color(keyword), QColor(Qt::blue));
}

void tst_SourceEditor::tabs()
{
    SrcTabsHolder tabs(&m_services, nullptr);
    const QString a = write(QStringLiteral("a.c"), "a\n");
    const QString b = write(QStringLiteral("b.c"), "b\n");
    tabs.openFile(a);
    tabs.openFile(b);
    tabs.openFile(m_dir->path() + QStringLiteral("/./a.c")); // another spelling of a
    QCOMPARE(tabs.count(), 2);
    QCOMPARE(tabs.currentIndex(), 0);
    tabs.tabBar()->moveTab(0, 1);
    QCOMPARE(tabs.openPaths(), QStringList({b, a}));
    tabs.findEditor(a)->append(QStringLiteral("more\n"));
    tabs.findEditor(b)->append(QStringLiteral("more\n"));
    tabs.updateTabTitles();
    QCOMPARE(tabs.tabText(1), QStringLiteral("*a.c"));
    // A name with an ampersand shows as it is (the tab bar draws "&&" as "&").
    tabs.openFile(write(QStringLiteral("R&D.c"), "x\n"));
    QCOMPARE(QAction(tabs.tabText(2)).iconText(), QStringLiteral("R&D.c"));
    tabs.closeFile(m_dir->filePath(QStringLiteral("R&D.c")), false);
    m_prompts->answers.enqueue(QMessageBox::Cancel);
    QVERIFY(!tabs.closeFile(a, false));
    QCOMPARE(tabs.count(), 2);
    // canCloseAll stops at the first Cancel: one question only.
    m_prompts->asked.clear();
    m_prompts->answers.enqueue(QMessageBox::Cancel);
    QVERIFY(!tabs.canCloseAll());
    QCOMPARE(m_prompts->asked.size(), 1);
    tabs.saveAll();
    QVERIFY(!tabs.findEditor(a)->isModified());
    QVERIFY(tabs.closeFile(a, false));
    QVERIFY(tabs.closeFile(b, true));
    QCOMPARE(tabs.count(), 0);
    QVERIFY(tabs.closeFile(QString(), false));

    // A link followed after lines were typed and a build failed: a build's note (which has no
    // mark) names its line as that build read it; a line of the firmware (where the debugger
    // stopped) moves with the lines typed since the build that gave the firmware.
    const QString c = write(QStringLiteral("c.c"), QByteArray("x\n").repeated(30));
    tabs.openFile(c);
    tabs.buildStarts();
    tabs.buildEnded(true);
    SourceEditor *editor = tabs.findEditor(c);
    editor->insertAt(QStringLiteral("// one\n// two\n"), 0, 0);
    QVERIFY(editor->save());
    tabs.buildStarts();
    tabs.addSourceMark(c, 10, MessageSeverity::Note, QStringLiteral("c.c:10: note: here"));
    tabs.buildEnded(false);
    for (const auto &[given, shown] : {std::pair{10, 10}, std::pair{5, 7}}) {
        tabs.openMessageAt(c, given, 0);
        int line = 0;
        int column = 0;
        editor->getCursorPosition(&line, &column);
        QCOMPARE(line + 1, shown);
    }
}

void tst_SourceEditor::bytesAndLineEndsSurvive_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<int>("lines");
    QTest::addColumn<QByteArray>("lineEnd"); // what Return adds to the file
    addRow("Latin-1 comment",
           QByteArray("; 25 \xb0"
                      "C, 5 \xb5s\nnop\n"),
           3,
           QByteArray("\n"));
    QTest::newRow("CRLF") << QByteArray("nop\r\nnop\r\n") << 3 << QByteArray("\r\n");
    QTest::newRow("CR only") << QByteArray("nop\rnop\rnop\r") << 4 << QByteArray("\r");
}

// A file opened and saved keeps every byte (the encodings in detail: tst_sourcetext); a new
// line takes the file's own line end.
void tst_SourceEditor::bytesAndLineEndsSurvive()
{
    QFETCH(QByteArray, bytes);
    QFETCH(int, lines);
    QFETCH(QByteArray, lineEnd);
    const QString path = write(QStringLiteral("a.asm"), bytes);
    SourceEditor editor(&m_services, path);
    QCOMPARE(editor.lines(), lines);
    editor.insertAt(QStringLiteral("x"), 0, 0);
    editor.SendScintilla(QsciScintillaBase::SCI_DELETERANGE, 0, 1);
    QVERIFY(editor.save());
    QCOMPARE(readFile(path), bytes);
    QTest::keyClick(&editor, Qt::Key_End, Qt::ControlModifier);
    QTest::keyClick(&editor, Qt::Key_Return);
    QVERIFY(editor.save());
    QCOMPARE(readFile(path), bytes + lineEnd);
}

// Characters ISO 8859-1 cannot hold are not dropped: the file becomes UTF-8, and says so.
void tst_SourceEditor::latin1FileGainingOtherCharacters()
{
    const QString path = write(QStringLiteral("a.asm"),
                               "; 25 \xb0"
                               "C\n");
    SourceEditor editor(&m_services, path);
    editor.insertAt(QStringLiteral("\u20ac"), 0, 0);
    QVERIFY(editor.save());
    QCOMPARE(readFile(path),
             QByteArray("\xe2\x82\xac; 25 \xc2\xb0"
                        "C\n"));
    QCOMPARE(m_services.lines.filter(QStringLiteral("saved as UTF-8")).size(), 1);
}

// Root reads and writes any folder; without the override its permissions hold as for a user.
static bool setDacOverride(bool on)
{
    __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
    __user_cap_data_struct data[2]{};
    if (syscall(SYS_capget, &header, data) != 0)
        return false;
    for (int capability : {CAP_DAC_OVERRIDE, CAP_DAC_READ_SEARCH}) {
        const unsigned bit = 1u << (capability % 32);
        if (on)
            data[capability / 32].effective |= bit & data[capability / 32].permitted;
        else
            data[capability / 32].effective &= ~bit;
    }
    return syscall(SYS_capset, &header, data) == 0;
}

void tst_SourceEditor::savesInAFolderItCannotWrite()
{
    const QString path = write(QStringLiteral("main.asm"), "old\n");
    QFile::setPermissions(m_dir->path(), QFile::ReadOwner | QFile::ExeOwner);
    QVERIFY(setDacOverride(false));
    SourceEditor editor(&m_services, path);
    editor.append(QStringLiteral("new\n"));
    const bool saved = editor.save();
    setDacOverride(true);
    QFile::setPermissions(m_dir->path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    QVERIFY(saved);
    QCOMPARE(readFile(path), QByteArray("old\nnew\n"));
    QVERIFY(m_prompts->asked.isEmpty());

    // Another user's file this user may not write, in a folder this user may: saved as before,
    // a file of this user's in its place.
    QVERIFY(::chown(QFile::encodeName(path).constData(), 65534, 65534) == 0);
    QVERIFY(setDacOverride(false));
    editor.append(QStringLiteral("newer\n"));
    const bool savedOver = editor.save();
    setDacOverride(true);
    QVERIFY(savedOver);
    QCOMPARE(readFile(path), QByteArray("old\nnew\nnewer\n"));
}

void tst_SourceEditor::lexersGoWithTheirEditor()
{
    const QString path = write(QStringLiteral("a.c"), "int x;\n");
    auto *editor = new SourceEditor(&m_services, path);
    QPointer<QsciLexer> cpp = editor->lexer();
    QVERIFY(cpp);
    editor->setFileName(m_dir->filePath(QStringLiteral("a.asm")));
    editor->applySettings();
    QVERIFY(!cpp);
    QPointer<QsciLexer> syntax = editor->lexer();
    QVERIFY(syntax);
    delete editor;
    QVERIFY(!syntax);
}

void tst_SourceEditor::everyCStyleHasTheEditorFont()
{
    SourceEditor editor(&m_services, write(QStringLiteral("a.c"), "#if 0 // x\n#endif\n"));
    QsciLexer *lexer = editor.lexer();
    const QString family = editor.font().family();
    for (int style = 0; style < 128; ++style) {
        if (!lexer->description(style).isEmpty())
            QVERIFY2(lexer->font(style).family() == family, qPrintable(lexer->description(style)));
    }
}

QTEST_MAIN(tst_SourceEditor)
#include "tst_sourceeditor.moc"
