#include "editor/findstate.h"

#include <QtTest>

class tst_FindState : public QObject
{
    Q_OBJECT

private slots:
    void projectOrder_data();
    void projectOrder();
    void cameRound_data();
    void cameRound();
    void restartAt_data();
    void restartAt();
    void history();
};

void tst_FindState::projectOrder_data()
{
    QTest::addColumn<QStringList>("project");
    QTest::addColumn<QStringList>("open"); // in tab order
    QTest::addColumn<QStringList>("order");
    QTest::newRow("none open") << QStringList{"a", "b", "c"} << QStringList{}
                               << QStringList{"a", "b", "c"};
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

void tst_FindState::projectOrder()
{
    QFETCH(QStringList, project);
    QFETCH(QStringList, open);
    QFETCH(QStringList, order);
    QCOMPARE(FindState::projectOrder(project, open), order);
}

void tst_FindState::cameRound_data()
{
    QTest::addColumn<int>("mode");
    QTest::addColumn<int>("line");
    QTest::addColumn<int>("index");
    QTest::addColumn<bool>("round");
    // The first match was at line 3, index 4; the replace text is "abc".
    QTest::newRow("the first match again") << int(FindState::Find) << 3 << 4 << true;
    QTest::newRow("another line") << int(FindState::Find) << 2 << 4 << false;
    QTest::newRow("within a replacement, finding") << int(FindState::Find) << 3 << 6 << false;
    QTest::newRow("within a replacement") << int(FindState::Replace) << 3 << 6 << true;
    QTest::newRow("just after a replacement") << int(FindState::Replace) << 3 << 7 << false;
    QTest::newRow("before the first match") << int(FindState::ReplaceAll) << 3 << 3 << false;
}

void tst_FindState::cameRound()
{
    QFETCH(int, mode);
    QFETCH(int, line);
    QFETCH(int, index);
    QFETCH(bool, round);
    FindState state;
    state.replaceText = QStringLiteral("abc");
    QVERIFY(!state.cameRound(3, 4, FindState::Find)); // nothing recorded yet
    state.noteMatch(3, 4);
    state.noteMatch(9, 9); // the first stays the first
    QCOMPARE(state.cameRound(line, index, FindState::Mode(mode)), round);
}

void tst_FindState::restartAt_data()
{
    QTest::addColumn<int>("scope");
    QTest::addColumn<QStringList>("files");
    QTest::newRow("current document") << int(FindState::CurrentDocument) << QStringList{};
    QTest::newRow("all open documents, without the current")
        << int(FindState::AllOpenDocuments) << QStringList{"/p/a.c"};
    QTest::newRow("current project, open ones first")
        << int(FindState::CurrentProject) << QStringList{"/p/a.c", "/p/c.h"};
}

void tst_FindState::restartAt()
{
    QFETCH(int, scope);
    QFETCH(QStringList, files);
    FindState state;
    state.noteMatch(1, 1);
    state.firstCall = false;
    state.restartAt(QStringLiteral("/p/b.c"),
                    5,
                    2,
                    {"/p/b.c", "/p/a.c"},
                    FindState::Scope(scope),
                    {"/p/c.h", "/p/a.c", "/p/b.c"});
    QCOMPARE(state.files, files);
    QCOMPARE(state.startFile, QStringLiteral("/p/b.c"));
    QCOMPARE(QList<int>({state.line, state.index, state.firstMatchLine}), QList<int>({5, 2, -1}));
    QVERIFY(state.firstCall && state.inDocument && !state.restart);
}

void tst_FindState::history()
{
    QStringList history;
    QVERIFY(FindState::addToHistory(history, QStringLiteral("mov")));
    QVERIFY(!FindState::addToHistory(history, QStringLiteral("mov")));
    QVERIFY(!FindState::addToHistory(history, QString()));
    QVERIFY(FindState::addToHistory(history, QStringLiteral("MOV")));
    QCOMPARE(history, QStringList({"mov", "MOV"}));
}

QTEST_GUILESS_MAIN(tst_FindState)
#include "tst_findstate.moc"
