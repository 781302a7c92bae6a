#include "common/datarows.h"
#include "common/testfiles.h"
#include "editor/finddocument.h"
#include "editor/findsession.h"
#include "editor/findtarget.h"

#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

#include <map>
#include <memory>

// The search across documents without an editor: which documents it visits and in what order,
// which project files it opens and closes, when it knows it has come round, and what Replace
// and Replace All leave.
class tst_FindSession : public QObject
{
    Q_OBJECT

private slots:
    void projectOrder_data();
    void projectOrder();
    void history();
    void steps_data();
    void steps();
    void replaceAllCountsAndCloses();
    void filesLeavingTheScopeAreNotOpened();
};

namespace {

// A document searched as an editor searches it, forwards, for plain text (a case-sensitive
// substring); lines end with "\n".
class Document : public FindDocument
{
public:
    Document(const QString &path, const QString &text)
        : m_path(path)
        , m_text(text)
    {}

    QString filePath() const override { return m_path; }
    bool refersTo(const QString &path) const override { return path == m_path; }
    void cursorAt(int &line, int &index) const override { place(m_cursor, line, index); }
    bool hasSelection() const override { return m_selectionEnd > m_selectionStart; }
    void selectionStartAt(int &line, int &index) const override
    {
        place(m_selectionStart, line, index);
    }
    bool findFirstMatch(const QString &text,
                        bool regex,
                        bool caseSensitive,
                        bool wholeWords,
                        bool wrap,
                        bool forward,
                        int line,
                        int index) override
    {
        Q_ASSERT(caseSensitive && !wholeWords && forward);
        m_needle = text;
        m_regex = regex;
        m_wrap = wrap;
        return findFrom(offset(line, index));
    }
    bool findNextMatch() override { return findFrom(m_cursor); }
    Replaced replaceMatch(const QString &text) override
    {
        const Replaced replaced{m_selectionEnd - m_selectionStart, int(text.size())};
        m_text.replace(m_selectionStart, m_selectionEnd - m_selectionStart, text);
        m_cursor = m_selectionStart + int(text.size());
        m_selectionStart = m_selectionEnd = m_cursor;
        return replaced;
    }
    void stepPosition(int &line, int &index, bool forward) const override
    {
        place(qBound(0, offset(line, index) + (forward ? 1 : -1), int(m_text.size())), line, index);
    }
    void endAt(int &line, int &index) const override { place(int(m_text.size()), line, index); }
    QString wholeText() const override { return m_text; }
    void setCursor(int at) { m_cursor = m_selectionStart = m_selectionEnd = at; }
    void replaceWholeText(const QString &text) override { m_text = text; }

    // Where the search last stopped, as "line:index".
    QString selection() const
    {
        int line = 0;
        int index = 0;
        place(m_selectionStart, line, index);
        return QStringLiteral("%1:%2").arg(line).arg(index);
    }

private:
    bool findFrom(int from)
    {
        const QRegularExpression expression(m_regex ? m_needle
                                                    : QRegularExpression::escape(m_needle),
                                            QRegularExpression::MultilineOption);
        QRegularExpressionMatch match = expression.match(m_text, from);
        if (!match.hasMatch() && m_wrap)
            match = expression.match(m_text);
        if (!match.hasMatch())
            return false;
        m_selectionStart = int(match.capturedStart());
        m_selectionEnd = m_cursor = int(match.capturedEnd());
        return true;
    }
    int offset(int line, int index) const
    {
        int at = 0;
        for (int i = 0; i < line; ++i)
            at = int(m_text.indexOf(QLatin1Char('\n'), at)) + 1;
        return at + index;
    }
    void place(int at, int &line, int &index) const
    {
        const QString before = m_text.left(at);
        line = int(before.count(QLatin1Char('\n')));
        index = at - int(before.lastIndexOf(QLatin1Char('\n'))) - 1;
    }

    QString m_path;
    QString m_text;
    QString m_needle;
    bool m_regex = false;
    bool m_wrap = true;
    int m_cursor = 0;
    int m_selectionStart = 0;
    int m_selectionEnd = 0;
};

// Tabs over files on disk: opening one reads it, closing one forgets it.
class Tabs : public FindTarget
{
public:
    FindDocument *currentDocument() const override
    {
        return m_current.isEmpty() ? nullptr : m_open.at(m_current).get();
    }
    QStringList openDocumentPaths() const override { return m_order; }
    QStringList projectFiles() const override { return project; }
    FindDocument *openDocument(const QString &path) override
    {
        QFile file(path);
        if (!m_open.count(path)) {
            const QByteArray bytes = file.open(QIODevice::ReadOnly) ? file.readAll() : "\0";
            if (bytes.contains('\0')) // as the editor, which takes no such file
                return nullptr;
            m_open[path] = std::make_unique<Document>(path, QString::fromUtf8(bytes));
            m_order.append(path);
        }
        m_current = path;
        return m_open.at(path).get();
    }
    void closeDocument(const QString &path) override
    {
        closed.append(QFileInfo(path).fileName());
        m_open.erase(path);
        m_order.removeAll(path);
        if (m_current == path)
            m_current = m_order.isEmpty() ? QString() : m_order.last();
    }
    void beginManyChanges() override { ++batches; }
    void endManyChanges() override {}

    Document *document(const QString &path) const
    {
        return m_open.count(path) ? m_open.at(path).get() : nullptr;
    }

    QStringList project;
    QStringList closed;
    int batches = 0;

private:
    std::map<QString, std::unique_ptr<Document>> m_open;
    QStringList m_order;
    QString m_current;
};

} // namespace

void tst_FindSession::projectOrder_data()
{
    QTest::addColumn<QStringList>("project");
    QTest::addColumn<QStringList>("open"); // in tab order
    QTest::addColumn<QStringList>("order");
    addRow("none open", QStringList{"a", "b", "c"}, QStringList{}, QStringList{"a", "b", "c"});
    // c goes first and a takes its place; then b is second already.
    QTest::newRow("open ones first, in tab order")
        << QStringList{"a", "b", "c", "d"} << QStringList{"c", "b"}
        << QStringList{"c", "b", "a", "d"};
    QTest::newRow("displaced entries take the places")
        << QStringList{"a", "b", "c", "d"} << QStringList{"d", "c"}
        << QStringList{"d", "c", "b", "a"};
    QTest::newRow("open files outside the project")
        << QStringList{"a", "b"} << QStringList{"x", "b"} << QStringList{"b", "a"};
}

void tst_FindSession::projectOrder()
{
    QFETCH(QStringList, project);
    QFETCH(QStringList, open);
    QFETCH(QStringList, order);
    QCOMPARE(FindSession::projectOrder(project, open), order);
}

void tst_FindSession::history()
{
    QStringList history;
    QVERIFY(FindSession::addToHistory(history, QStringLiteral("mov")));
    QVERIFY(!FindSession::addToHistory(history, QStringLiteral("mov")));
    QVERIFY(!FindSession::addToHistory(history, QString()));
    QVERIFY(FindSession::addToHistory(history, QStringLiteral("MOV")));
    QCOMPARE(history, QStringList({"mov", "MOV"}));
}

// a.c is open in front (its text given, "|" where the cursor is), b.c and c.c are open behind
// it, and d.c, e.c and f.c are not; the project lists the six and a missing file. Each step is
// Find Next ("f") or Replace ("r") of the find text (a regular expression after "/"; after ";"
// the text the user typed next, for the later half of the steps). The stops are where the
// selection begins after each step, as "file line:index" (after a replacement, where it
// ends), or "-" for the end of the search, after which the next step starts afresh from the
// cursor. Open documents without a match are closed as the search passes them.
void tst_FindSession::steps_data()
{
    QTest::addColumn<QString>("start");
    QTest::addColumn<int>("scope");
    QTest::addColumn<QString>("find");
    QTest::addColumn<QString>("replace");
    QTest::addColumn<QString>("steps");
    QTest::addColumn<QString>("stops");
    QTest::addColumn<QStringList>("closed");
    QTest::addColumn<QString>("textOfA");
    const auto row = [](const char *name,
                        const QString &start,
                        FindSession::Scope scope,
                        const QString &find,
                        const QString &replace,
                        const QString &steps,
                        const QString &stops,
                        const QStringList &closed,
                        const QString &textOfA) {
        addRow(name, start, int(scope), find, replace, steps, stops, closed, textOfA);
    };
    // clang-format off
    row("the current document, round to its first match",
        "|ax\nx y\n", FindSession::CurrentDocument, "x", "", "ffff",
        "a.c 0:1,a.c 1:0,-,a.c 1:0", {}, "ax\nx y\n");
    row("all open documents, in tab order, then afresh from the cursor",
        "|ax\nx y\n", FindSession::AllOpenDocuments, "y", "", "fffff",
        "a.c 1:2,c.c 0:0,c.c 0:2,-,c.c 0:2", {"b.c"}, "ax\nx y\n");
    row("the project: the open ones first, files without a match closed",
        "|ax\nx y\n", FindSession::CurrentProject, "z", "", "fffffff",
        "c.c 1:0,e.c 0:1,e.c 0:3,f.c 0:0,f.c 0:1,-,f.c 0:1", {"b.c", "d.c"}, "ax\nx y\n");
    row("a missing project file is passed over",
        "|ax\nx y\n", FindSession::CurrentProject, "gone", "", "f",
        "-", {"b.c", "c.c", "d.c", "e.c", "f.c"}, "ax\nx y\n");
    row("a changed text starts afresh from the cursor",
        "|ax\nx y\n", FindSession::CurrentDocument, "x;y", "", "ffff",
        "a.c 0:1,a.c 1:0,a.c 1:2,-", {}, "ax\nx y\n");
    row("an empty match: the next search starts a character on",
        "|ax\nx y\n", FindSession::CurrentDocument, "/^", "", "fff",
        "a.c 0:0,a.c 1:0,-", {}, "ax\nx y\n");
    row("replace, the replacement the text twice: each match once",
        "|ax\nx y\n", FindSession::CurrentDocument, "x", "xx", "rrrf",
        "a.c 0:3,a.c 1:2,-,a.c 0:2", {}, "axx\nxx y\n");
    row("replace, the text inside its replacement: round at the first",
        "|ax\nx y\n", FindSession::CurrentDocument, "x", "yx", "rrr",
        "a.c 0:3,a.c 1:2,-", {}, "ayx\nyx y\n");
    row("replace by nothing, then find round",
        "|ax\nx y\n", FindSession::CurrentDocument, "x", "", "rrrf",
        "a.c 0:1,a.c 1:0,-,-", {}, "a\n y\n");
    row("replacements before the first match on its line move it",
        "x x |x\n", FindSession::CurrentDocument, "x", "xy", "rrrr",
        "a.c 0:6,a.c 0:2,a.c 0:5,-", {}, "xy xy xy\n");
    // clang-format on
}

void tst_FindSession::steps()
{
    QFETCH(QString, start);
    QFETCH(int, scope);
    QFETCH(QString, find);
    QFETCH(QString, replace);
    QFETCH(QString, steps);
    QFETCH(QString, stops);
    QFETCH(QStringList, closed);
    QFETCH(QString, textOfA);
    QTemporaryDir dir;
    const QList<QPair<QString, QString>> files = {{"a.c", QString(start).remove(QLatin1Char('|'))},
                                                  {"b.c", "nothing\n"},
                                                  {"c.c", "y y\nz\n"},
                                                  {"d.c", "\n"},
                                                  {"e.c", "az z\n"},
                                                  {"f.c", "zz"}};
    Tabs tabs;
    for (const auto &[name, text] : files) {
        QVERIFY(writeFile(dir.filePath(name), text.toUtf8()));
        tabs.project.append(dir.filePath(name));
    }
    tabs.project.insert(4, dir.filePath(QStringLiteral("gone.c")));
    QVERIFY(writeFile(dir.filePath(QStringLiteral("e.o")), QByteArray("az z\0", 5)));
    tabs.project.insert(5, dir.filePath(QStringLiteral("e.o")));
    for (const QString name : {"b.c", "c.c", "a.c"})
        QVERIFY(tabs.openDocument(dir.filePath(name)));
    tabs.document(dir.filePath(QStringLiteral("a.c")))->setCursor(int(start.indexOf('|')));
    FindSession session(tabs);
    FindSession::Options options;
    options.caseSensitive = true;
    options.regex = find.startsWith(QLatin1Char('/'));
    options.scope = FindSession::Scope(scope);
    options.replaceText = replace;
    const QStringList finds = find.mid(options.regex ? 1 : 0).split(QLatin1Char(';'));
    QStringList found;
    for (int i = 0; i < steps.size(); ++i) {
        options.findText = finds.value(i * finds.size() / int(steps.size()));
        const bool stopped = steps.at(i) == QLatin1Char('r') ? session.replaceNext(options)
                                                             : session.findNext(options);
        const auto *document = static_cast<const Document *>(tabs.currentDocument());
        found.append(stopped ? QFileInfo(document->filePath()).fileName() + QLatin1Char(' ')
                                   + document->selection()
                             : QStringLiteral("-"));
    }
    QCOMPARE(found.join(QLatin1Char(',')), stops);
    QCOMPARE(tabs.closed, closed);
    QCOMPARE(tabs.document(dir.filePath(QStringLiteral("a.c")))->wholeText(), textOfA);
}

void tst_FindSession::replaceAllCountsAndCloses()
{
    QTemporaryDir dir;
    Tabs tabs;
    for (const auto &[name, text] : QList<QPair<QString, QByteArray>>{{"a.c", "int i;\n"},
                                                                      {"b.c", "long l;\n"},
                                                                      {"c.c", "int j; int k;\n"}}) {
        QVERIFY(writeFile(dir.filePath(name), text));
        tabs.project.append(dir.filePath(name));
    }
    QVERIFY(tabs.openDocument(dir.filePath(QStringLiteral("c.c"))));
    FindSession session(tabs);
    FindSession::Options options;
    options.findText = QStringLiteral("int");
    options.replaceText = QStringLiteral("short");
    options.wholeWords = true;
    options.scope = FindSession::CurrentProject;
    QCOMPARE(session.replaceAll(options), 3);
    QCOMPARE(tabs.batches, 1);
    QCOMPARE(tabs.closed, QStringList{"b.c"});
    QCOMPARE(tabs.document(dir.filePath(QStringLiteral("c.c")))->wholeText(),
             QStringLiteral("short j; short k;\n"));
    QCOMPARE(tabs.document(dir.filePath(QStringLiteral("a.c")))->wholeText(),
             QStringLiteral("short i;\n"));
    options.findText.clear();
    QCOMPARE(session.replaceAll(options), 0);
}

// Files that leave the scope while a search goes on (a tab closed, another project opened) are
// not opened by its later steps.
void tst_FindSession::filesLeavingTheScopeAreNotOpened()
{
    QTemporaryDir dir;
    Tabs tabs;
    for (const char *name : {"a.c", "b.c", "c.c", "d.c"}) {
        QVERIFY(writeFile(dir.filePath(name), "x\n"));
        tabs.project.append(dir.filePath(name));
    }
    for (const char *name : {"a.c", "b.c", "c.c", "a.c"})
        QVERIFY(tabs.openDocument(dir.filePath(name)));
    FindSession session(tabs);
    FindSession::Options options;
    options.findText = QStringLiteral("x");
    options.caseSensitive = true;
    options.scope = FindSession::AllOpenDocuments;
    const auto stop = [&] {
        return session.findNext(options) ? QFileInfo(tabs.currentDocument()->filePath()).fileName()
                                         : QStringLiteral("-");
    };
    QCOMPARE(stop(), QStringLiteral("a.c"));
    tabs.closeDocument(dir.filePath(QStringLiteral("b.c")));
    QCOMPARE(stop(), QStringLiteral("c.c"));
    QVERIFY(!tabs.document(dir.filePath(QStringLiteral("b.c"))));
    options.scope = FindSession::CurrentProject;
    session.restartFromCursor();
    QCOMPARE(stop(), QStringLiteral("c.c"));
    tabs.project = QStringList{dir.filePath(QStringLiteral("e.c"))};
    QCOMPARE(stop(), QStringLiteral("-"));
    QVERIFY(!tabs.document(dir.filePath(QStringLiteral("b.c")))
            && !tabs.document(dir.filePath(QStringLiteral("d.c"))));
}

QTEST_GUILESS_MAIN(tst_FindSession)
#include "tst_findsession.moc"
