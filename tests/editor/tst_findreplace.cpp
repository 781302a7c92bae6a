// Find and replace against a reference computed on the text alone: seeded random patterns
// (plain, whole word, either case, regular expressions with groups and empty matches), random
// replace texts and documents, through the real main window's Find / Replace dialog.
// DYX_REPLACE_CASES and DYX_REPLACE_SEED run more, or others.
#include "app/srcmanager.h"
#include "common/fakemainservices.h"
#include "common/scriptedprompts.h"
#include "common/testfiles.h"
#include "common/windowflows.h"
#include "editor/ui/finddialog.h"
#include "editor/ui/sourceeditor.h"
#include "editor/ui/srctabsholder.h"

#include <QCheckBox>
#include <QComboBox>
#include <QPushButton>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QtTest>

class tst_FindReplace : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { isolateSettings(); }
    void replaceAllEqualsTheReference();
    void emptyMatchesEnd();
    void replaceUpwardsKeepsGroups();
};

namespace {

struct Case
{
    QString document;
    QString find;      // as the user types it
    QString reference; // the same search as a Qt expression, written independently
    QString replace;
    bool canMatchNothing = false; // an empty match is possible
    bool regex = false;
    bool caseSensitive = false;
    bool wholeWords = false;
};

QString pick(QRandomGenerator &random, const QStringList &from)
{
    return from.at(random.bounded(int(from.size())));
}

// A regular expression from a small grammar, written both ways: the editor's syntax and Qt's.
// Matches never reach over a line end in either.
void randomExpression(QRandomGenerator &random, Case &c)
{
    const int atoms = 1 + random.bounded(3);
    int groups = 0;
    c.canMatchNothing = true;
    if (random.bounded(4) == 0) {
        c.find += QLatin1Char('^');
        c.reference += QStringLiteral("(?:(?<![^\\r\\n])(?!(?<=\\r)\\n))");
    } else if (random.bounded(5) == 0) {
        c.find += QStringLiteral("\\<");
        c.reference += QStringLiteral("\\b(?=\\w)");
    }
    for (int i = 0; i < atoms; ++i) {
        static const QList<QPair<QString, QString>> kinds = {
            {QStringLiteral("a"), QStringLiteral("a")},
            {QStringLiteral("B"), QStringLiteral("B")},
            {QStringLiteral("_"), QStringLiteral("_")},
            {QStringLiteral("."), QStringLiteral("[^\\r\\n]")},
            {QStringLiteral("[ab]"), QStringLiteral("[ab]")},
            {QStringLiteral("[^a]"), QStringLiteral("[^a\\r\\n]")},
            {QStringLiteral("\\w"), QStringLiteral("\\w")},
            {QStringLiteral("\\d"), QStringLiteral("\\d")},
            {QStringLiteral("("), QStringLiteral("\\(")},
        };
        const auto &atom = kinds.at(random.bounded(int(kinds.size())));
        QString find = atom.first;
        QString reference = atom.second;
        const int quantifier = random.bounded(5);
        if (quantifier != 0)
            c.canMatchNothing = false;
        if (quantifier == 0) {
            find += QLatin1Char('*');
            reference += QLatin1Char('*');
        } else if (quantifier == 1) {
            find += QLatin1Char('+');
            reference += QLatin1Char('+');
        }
        if (random.bounded(3) == 0) {
            find = QStringLiteral("\\(") + find + QStringLiteral("\\)");
            reference = QLatin1Char('(') + reference + QLatin1Char(')');
            ++groups;
        }
        c.find += find;
        c.reference += reference;
    }
    if (random.bounded(4) == 0) {
        c.find += QLatin1Char('$');
        c.reference += QStringLiteral("(?=[\\r\\n]|\\z)");
    }
    c.replace = pick(random, {QString(), QStringLiteral("<"), QStringLiteral("z>")});
    for (int g = 1; g <= groups; ++g) {
        if (random.bounded(2))
            c.replace += QStringLiteral("\\%1").arg(g);
    }
    c.replace += pick(random, {QString(), QStringLiteral(">")});
}

// An editor in the window on an empty file of its own.
SourceEditor *openScratch(SrcManager &window, const QTemporaryDir &work)
{
    const QString file = work.filePath(QStringLiteral("doc.txt"));
    QFile(file).open(QIODevice::WriteOnly);
    window.editors().openFileAt(file);
    return window.tabs()->currentEditor();
}

Case randomCase(QRandomGenerator &random)
{
    Case c;
    const int lines = 1 + random.bounded(5);
    const QString lineEnd = random.bounded(3) == 0 ? QStringLiteral("\r\n") : QStringLiteral("\n");
    for (int l = 0; l < lines; ++l) {
        const int words = random.bounded(5);
        for (int w = 0; w < words; ++w) {
            c.document += pick(random,
                               {QStringLiteral("ab"),
                                QStringLiteral("Ab1"),
                                QStringLiteral("b_a"),
                                QStringLiteral("aa"),
                                QStringLiteral("x(1)"),
                                QStringLiteral("B.")});
            c.document += pick(random, {QStringLiteral(" "), QString(), QStringLiteral("  ")});
        }
        if (l + 1 < lines || random.bounded(2))
            c.document += lineEnd;
    }
    c.caseSensitive = random.bounded(2);
    c.regex = random.bounded(2);
    // A first character the editor's own text() would drop as a byte order mark.
    if (!c.regex && random.bounded(8) == 0)
        c.document.prepend(QChar(0xFEFF));
    if (c.regex) {
        randomExpression(random, c);
    } else {
        c.find = pick(random,
                      {QStringLiteral("a"),
                       QStringLiteral("ab"),
                       QStringLiteral("b"),
                       QStringLiteral("A"),
                       QStringLiteral("."),
                       QStringLiteral("(1"),
                       QStringLiteral("aa")});
        c.wholeWords = random.bounded(2);
        c.replace
            = pick(random,
                   {QString(), QStringLiteral("X"), QStringLiteral("\\1"), QStringLiteral("abab")});
    }
    return c;
}

// Plain text, found left to right without overlaps, by hand.
int plainReference(QString &text, const Case &c)
{
    const Qt::CaseSensitivity cs = c.caseSensitive ? Qt::CaseSensitive : Qt::CaseInsensitive;
    const auto isWord = [&text](qsizetype at) {
        return at >= 0 && at < text.size()
               && (text.at(at).isLetterOrNumber() || text.at(at) == '_');
    };
    int count = 0;
    for (qsizetype from = 0; (from = text.indexOf(c.find, from, cs)) >= 0;) {
        if (c.wholeWords && (isWord(from - 1) || isWord(from + c.find.size()))) {
            ++from;
            continue;
        }
        text.replace(from, c.find.size(), c.replace);
        from += c.replace.size();
        ++count;
    }
    return count;
}

} // namespace

void tst_FindReplace::replaceAllEqualsTheReference()
{
    const int cases = qEnvironmentVariableIsSet("DYX_REPLACE_CASES")
                          ? qEnvironmentVariableIntValue("DYX_REPLACE_CASES")
                          : 300;
    const quint32 seed = qEnvironmentVariableIsSet("DYX_REPLACE_SEED")
                             ? quint32(qEnvironmentVariableIntValue("DYX_REPLACE_SEED"))
                             : 2026;
    QRandomGenerator random(seed);
    ScriptedPrompts prompts;
    SrcManager window;
    QTemporaryDir work;
    SourceEditor *editor = openScratch(window, work);
    QVERIFY(editor);
    window.actions().replace->trigger();
    auto *dialog = window.findChild<FindDialog *>();
    QVERIFY(dialog);
    auto *findBox = child<QComboBox>(dialog, "findTextComboBox");
    auto *replaceBox = child<QComboBox>(dialog, "replaceWithTextComboBox");
    for (int n = 0; n < cases; ++n) {
        const Case c = randomCase(random);
        const QString where = QStringLiteral(
                                  "seed %1, case %2: find \"%3\" replace \"%4\" in \"%5\"")
                                  .arg(seed)
                                  .arg(n)
                                  .arg(c.find, c.replace, QString(c.document).replace('\n', "\\n"));
        editor->setText(c.document);
        editor->setCursorPosition(0, 0);
        findBox->setEditText(c.find);
        replaceBox->setEditText(c.replace);
        child<QCheckBox>(dialog, "regexCheckBox")->setChecked(c.regex);
        child<QCheckBox>(dialog, "matchCaseCheckBox")->setChecked(c.caseSensitive);
        child<QCheckBox>(dialog, "wholeWordsCheckBox")->setChecked(c.wholeWords);
        QString expected = c.document;
        int count = 0;
        if (c.regex) {
            const QRegularExpression reference(c.reference,
                                               c.caseSensitive
                                                   ? QRegularExpression::NoPatternOption
                                                   : QRegularExpression::CaseInsensitiveOption);
            QVERIFY2(reference.isValid(), qPrintable(where));
            for (auto it = reference.globalMatch(expected); it.hasNext(); it.next())
                ++count;
            // Qt writes a group in a replacement as the editor does, \1.
            expected.replace(reference, c.replace);
            // The editor's own search finds the first match where the reference does (its
            // empty matches follow rules of their own).
            const QRegularExpressionMatch first = reference.match(c.document);
            const bool found = editor->findFirst(c.find, true, c.caseSensitive, false, false);
            QVERIFY2(c.canMatchNothing || found == first.hasMatch(), qPrintable(where));
            if (found && !c.canMatchNothing) {
                int line = 0, index = 0, endLine = 0, endIndex = 0;
                editor->getSelection(&line, &index, &endLine, &endIndex);
                QCOMPARE(editor->selectedText(), first.captured());
                QCOMPARE(editor->positionFromLineIndex(line, index),
                         editor->positionFromLineIndex(0, 0)
                             + c.document.left(first.capturedStart()).toUtf8().size());
            }
            editor->setCursorPosition(0, 0);
        } else {
            count = plainReference(expected, c);
        }
        prompts.asked.clear();
        child<QPushButton>(dialog, "replaceAllButton")->click();
        QCOMPARE(prompts.asked.size(), 1);
        QVERIFY2(prompts.asked.first().text == QStringLiteral("Replaced %1 occurences").arg(count),
                 qPrintable(where + QStringLiteral(" said ") + prompts.asked.first().text));
        QVERIFY2(editor->wholeText() == expected,
                 qPrintable(where + QStringLiteral(" gave \"") + editor->wholeText() + "\""));
        // One step to undo.
        if (count > 0) {
            editor->undo();
            QVERIFY2(editor->wholeText() == c.document, qPrintable(where));
        }
    }
}

// Find with expressions that match nothing but a place comes round to where it began and says
// so (Replace All with them is among the random cases above).
void tst_FindReplace::emptyMatchesEnd()
{
    ScriptedPrompts prompts;
    SrcManager window;
    QTemporaryDir work;
    SourceEditor *editor = openScratch(window, work);
    QVERIFY(editor);
    editor->setText(QStringLiteral("ab\ncd\n\nef"));
    window.actions().find->trigger();
    auto *dialog = window.findChild<FindDialog *>();
    child<QCheckBox>(dialog, "regexCheckBox")->setChecked(true);
    for (const QString &pattern : {QStringLiteral("^"), QStringLiteral("$"), QStringLiteral("x*")}) {
        editor->setCursorPosition(0, 0);
        child<QComboBox>(dialog, "findTextComboBox")->setEditText(pattern);
        prompts.asked.clear();
        int clicks = 0;
        while (prompts.asked.isEmpty() && clicks < 50) {
            child<QPushButton>(dialog, "findNextButton")->click();
            ++clicks;
        }
        QVERIFY2(!prompts.asked.isEmpty(), qPrintable(pattern));
        QCOMPARE(prompts.asked.first().text, QStringLiteral("Reached start of search"));
    }
}

// Replace with "Search Upwards" fills the groups in as Replace downwards does.
void tst_FindReplace::replaceUpwardsKeepsGroups()
{
    ScriptedPrompts prompts;
    SrcManager window;
    QTemporaryDir work;
    SourceEditor *editor = openScratch(window, work);
    QVERIFY(editor);
    editor->setText(QStringLiteral("key1 key2\nkey3\n"));
    editor->setCursorPosition(1, 4);
    window.actions().replace->trigger();
    auto *dialog = window.findChild<FindDialog *>();
    child<QCheckBox>(dialog, "regexCheckBox")->setChecked(true);
    child<QCheckBox>(dialog, "backwardsCheckBox")->setChecked(true);
    child<QComboBox>(dialog, "findTextComboBox")->setEditText(QStringLiteral("key\\([0-9]\\)"));
    child<QComboBox>(dialog, "replaceWithTextComboBox")->setEditText(QStringLiteral("<\\1>"));
    for (int i = 0; i < 3; ++i)
        child<QPushButton>(dialog, "replaceButton")->click();
    QCOMPARE(editor->text(), QStringLiteral("<1> <2>\n<3>\n"));
}

QTEST_MAIN(tst_FindReplace)
#include "tst_findreplace.moc"
