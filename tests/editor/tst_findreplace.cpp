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
        c.reference += QStringLiteral("(?<![\\p{L}\\p{N}_])(?=[\\p{L}\\p{N}_])");
    }
    for (int i = 0; i < atoms; ++i) {
        static const QList<QPair<QString, QString>> kinds = {
            {QStringLiteral("a"), QStringLiteral("a")},
            {QStringLiteral("B"), QStringLiteral("B")},
            {QStringLiteral("_"), QStringLiteral("_")},
            {QStringLiteral("."), QStringLiteral("[^\\r\\n]")},
            {QStringLiteral("[ab]"), QStringLiteral("[ab]")},
            {QStringLiteral("[^a]"), QStringLiteral("[^a\\r\\n]")},
            {QStringLiteral("\\w"), QStringLiteral("[\\p{L}\\p{N}_]")},
            {QStringLiteral("\u00e4"), QStringLiteral("\u00e4")},
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
        // Not between the two characters of a CR LF.
        c.reference += QStringLiteral("(?=[\\r\\n]|\\z)(?!(?<=\\r)\\n)");
    }
    c.replace = pick(random,
                     {QString(), QStringLiteral("<"), QString::fromUtf8("z\xf0\x9f\x98\x80>")});
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
    c.document = QLatin1String(""); // empty, and no null text that no expression matches
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
                                QStringLiteral("B."),
                                QStringLiteral("\u00c4b\u00df"),
                                QStringLiteral("b\u00e4"),
                                QStringLiteral("a\U0001F600b")});
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
                       QStringLiteral("aa"),
                       QStringLiteral("\u00e4")});
        c.wholeWords = random.bounded(2);
        c.replace = pick(random,
                         {QString(),
                          QStringLiteral("X"),
                          QStringLiteral("\\1"),
                          QStringLiteral("abab"),
                          QStringLiteral("\U0001F600a")});
    }
    return c;
}

// Plain text, found left to right without overlaps, by hand; where each match starts.
int plainReference(QString &text, const Case &c, QList<qsizetype> &starts)
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
        starts.append(from + count * (c.find.size() - c.replace.size()));
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
        QList<qsizetype> starts;
        if (c.regex) {
            const QRegularExpression reference(c.reference,
                                               c.caseSensitive
                                                   ? QRegularExpression::NoPatternOption
                                                   : QRegularExpression::CaseInsensitiveOption);
            QVERIFY2(reference.isValid(), qPrintable(where));
            // Left to right, no match inside a CR LF; \1 in the replacement is the group.
            expected.clear();
            qsizetype copied = 0;
            for (auto it = reference.globalMatch(c.document); it.hasNext();) {
                const QRegularExpressionMatch m = it.next();
                const qsizetype at = m.capturedStart();
                if (at > 0 && c.document.mid(at - 1, 2) == QLatin1String("\r\n"))
                    continue;
                starts.append(at);
                expected += c.document.mid(copied, at - copied);
                for (int i = 0; i < c.replace.size(); ++i) {
                    const bool group = c.replace.at(i) == '\\' && i + 1 < c.replace.size();
                    expected += group ? m.captured(c.replace.at(++i).digitValue())
                                      : QString(c.replace.at(i));
                }
                copied = m.capturedEnd();
            }
            expected += c.document.mid(copied);
            count = int(starts.size());
        } else {
            count = plainReference(expected, c, starts);
        }
        // Find Next goes from match to match as the reference does, in bytes of the editor's
        // text, and then comes round.
        editor->setCursorPosition(0, 0);
        prompts.asked.clear();
        QList<qsizetype> found;
        for (int click = 0; click <= count && prompts.asked.isEmpty(); ++click) {
            child<QPushButton>(dialog, "findNextButton")->click();
            int line = 0, index = 0, endLine = 0, endIndex = 0;
            editor->getSelection(&line, &index, &endLine, &endIndex);
            if (line < 0) // an empty match selects nothing
                editor->getCursorPosition(&line, &index);
            if (prompts.asked.isEmpty())
                found.append(editor->positionFromLineIndex(line, index));
        }
        for (qsizetype &start : starts)
            start = editor->wholeText().left(start).toUtf8().size();
        QVERIFY2(found == starts, qPrintable(where));
        // Upwards from the end, text that cannot overlap itself is found at the same places.
        if (!c.regex && c.find != QLatin1String("aa")) {
            child<QCheckBox>(dialog, "backwardsCheckBox")->setChecked(true);
            int line = 0, index = 0;
            editor->endAt(line, index);
            editor->setCursorPosition(line, index);
            prompts.asked.clear();
            found.clear();
            for (int click = 0; click <= count && prompts.asked.isEmpty(); ++click) {
                child<QPushButton>(dialog, "findNextButton")->click();
                int endLine = 0, endIndex = 0;
                editor->getSelection(&line, &index, &endLine, &endIndex);
                if (prompts.asked.isEmpty())
                    found.prepend(editor->positionFromLineIndex(line, index));
            }
            child<QCheckBox>(dialog, "backwardsCheckBox")->setChecked(false);
            QVERIFY2(found == starts, qPrintable(where + QStringLiteral(" upwards")));
        }
        editor->setCursorPosition(0, 0);
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
        // Replace, one match at a time from the start, gives what Replace All gives, where
        // what a match is does not hang on what stands beside it (which a replacement changes).
        const bool contextFree = c.regex ? !c.canMatchNothing
                                               && !c.find.contains(QRegularExpression("[$^]|\\\\<"))
                                         : !c.wholeWords;
        if (!contextFree)
            continue;
        editor->setText(c.document);
        editor->setCursorPosition(0, 0);
        prompts.asked.clear();
        int replaced = 0;
        while (prompts.asked.isEmpty() && replaced <= count) {
            child<QPushButton>(dialog, "replaceButton")->click();
            replaced += prompts.asked.isEmpty() ? 1 : 0;
        }
        QVERIFY2(replaced == count && editor->wholeText() == expected,
                 qPrintable(where + QStringLiteral(" one at a time gave \"") + editor->wholeText()
                            + "\""));
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
    for (const QString &pattern : {QStringLiteral("^"),
                                   QStringLiteral("$"),
                                   QStringLiteral("x*"),
                                   QStringLiteral("^e*"),
                                   QStringLiteral("d*$")})
        for (const bool upwards : {false, true}) {
            child<QCheckBox>(dialog, "backwardsCheckBox")->setChecked(upwards);
            editor->setCursorPosition(upwards ? 3 : 0, upwards ? 2 : 0);
            child<QComboBox>(dialog, "findTextComboBox")->setEditText(pattern);
            prompts.asked.clear();
            int clicks = 0;
            while (prompts.asked.isEmpty() && clicks < 50) {
                child<QPushButton>(dialog, "findNextButton")->click();
                ++clicks;
            }
            QVERIFY2(!prompts.asked.isEmpty(), qPrintable(pattern + (upwards ? " upwards" : "")));
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
    // Downwards, round the end, a match that reaches into what was replaced is not replaced.
    child<QCheckBox>(dialog, "backwardsCheckBox")->setChecked(false);
    child<QComboBox>(dialog, "findTextComboBox")->setEditText(QStringLiteral(".\\(\\d\\)"));
    child<QComboBox>(dialog, "replaceWithTextComboBox")->setEditText(QStringLiteral("\\1>"));
    editor->setText(QStringLiteral("x(1)"));
    editor->setCursorPosition(0, 0);
    prompts.asked.clear();
    for (int i = 0; i < 2; ++i)
        child<QPushButton>(dialog, "replaceButton")->click();
    QCOMPARE(editor->text(), QStringLiteral("x1>)"));
    QCOMPARE(prompts.asked.size(), 1);
    // Upwards, round the start, what replaced the first match is not replaced again.
    child<QCheckBox>(dialog, "regexCheckBox")->setChecked(false);
    child<QCheckBox>(dialog, "backwardsCheckBox")->setChecked(true);
    child<QComboBox>(dialog, "findTextComboBox")->setEditText(QStringLiteral("a"));
    child<QComboBox>(dialog, "replaceWithTextComboBox")->setEditText(QStringLiteral("aa"));
    editor->setText(QStringLiteral("a b a"));
    editor->setCursorPosition(0, 5);
    prompts.asked.clear();
    for (int i = 0; i < 3; ++i)
        child<QPushButton>(dialog, "replaceButton")->click();
    QCOMPARE(editor->text(), QStringLiteral("aa b aa"));
    QCOMPARE(prompts.asked.size(), 1);
}

QTEST_MAIN(tst_FindReplace)
#include "tst_findreplace.moc"
