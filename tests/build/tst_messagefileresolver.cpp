#include "build/messagefileresolver.h"
#include "common/datarows.h"
#include "core/filemoves.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

class tst_MessageFileResolver : public QObject
{
    Q_OBJECT

private slots:
    void resolve_data();
    void resolve();
    void moves_data();
    void moves();
};

void tst_MessageFileResolver::resolve_data()
{
    QTest::addColumn<QString>("name");     // as a compiler message has it
    QTest::addColumn<QString>("expected"); // below the project directory; empty for none
    addRow("project file by name", "main.c", "src/main.c");
    addRow("project file by name, other folder", "lib/main.c", "src/main.c");
    addRow("project file missing on disk", "gone.c", "");
    addRow("relative to the project", "src/led.h", "src/led.h");
    addRow("project before output", "both.h", "both.h");
    addRow("only in the output directory", "gen.c", "Debug/gen.c");
    addRow("steps up are cleaned", "../first.last/src/led.h", "src/led.h");
    addRow("nowhere", "missing.c", "");
}

void tst_MessageFileResolver::resolve()
{
    QFETCH(QString, name);
    QFETCH(QString, expected);
    QTemporaryDir temporary;
    const QDir project(temporary.filePath(QStringLiteral("first.last")));
    for (const char *file :
         {"src/main.c", "src/led.h", "other/main.c", "both.h", "Debug/both.h", "Debug/gen.c"}) {
        const QString path = project.filePath(QLatin1String(file));
        QVERIFY(QDir().mkpath(QFileInfo(path).absolutePath()));
        QFile(path).open(QIODevice::WriteOnly);
    }
    const MessageFileResolver resolver({project.filePath(QStringLiteral("src/main.c")),
                                        project.filePath(QStringLiteral("gone.c"))},
                                       project.path(),
                                       project.filePath(QStringLiteral("Debug")));
    const QString wanted = expected.isEmpty() ? QString() : project.filePath(expected);
    QCOMPARE(resolver.resolve(name), wanted);
    // Asked again, the answer stays, even when the disk has changed since.
    QDir(temporary.path()).removeRecursively();
    QCOMPARE(resolver.resolve(name), wanted);
}

void tst_MessageFileResolver::moves_data()
{
    // Moves as "from>to" (a name alone: a new message names it), then the names asked for as
    // "name=where it is now".
    QTest::addColumn<QStringList>("moves");
    QTest::addColumn<QStringList>("asked");
    QTest::newRow("none") << QStringList{} << QStringList{"/p/a.c=/p/a.c"};
    QTest::newRow("renamed twice") << QStringList{"/p/a.c>/p/b.c", "/p/b.c>/p/c.c"}
                                   << QStringList{"/p/a.c=/p/c.c", "/p/x.c=/p/x.c"};
    addRow("named alike", QStringList{"/p/./src/../a.c>/q/a.c"}, QStringList{"/p/a.c=/q/a.c"});
    QTest::newRow("swapped by way of a third name")
        << QStringList{"/p/a.c>/p/t.c", "/p/b.c>/p/a.c", "/p/t.c>/p/b.c"}
        << QStringList{"/p/a.c=/p/b.c", "/p/b.c=/p/a.c"};
    QTest::newRow("back again") << QStringList{"/p/a.c>/p/b.c", "/p/b.c>/p/a.c", "/p/a.c>/p/c.c"}
                                << QStringList{"/p/a.c=/p/c.c"};
    // Another file at the old name, never named by a message, moved away: the name still
    // means the first.
    QTest::newRow("another file from the old name")
        << QStringList{"/p/a.c>/p/b.c", "/p/a.c>/p/c.c"} << QStringList{"/p/a.c=/p/b.c"};
    // A file that comes to be at the old name is meant by what names it from then on.
    QTest::newRow("a new file at the old name")
        << QStringList{"/p/a.c>/p/b.c", "/p/a.c", "/p/a.c>/p/c.c"}
        << QStringList{"/p/a.c=/p/c.c", "/p/b.c=/p/b.c"};
}

void tst_MessageFileResolver::moves()
{
    QFETCH(QStringList, moves);
    QFETCH(QStringList, asked);
    FileMoves files;
    for (const QString &move : std::as_const(moves)) {
        const QStringList ends = move.split(QLatin1Char('>'));
        if (ends.size() == 2)
            files.moved(ends.first(), ends.last());
        else
            files.arrived(move);
    }
    for (const QString &question : std::as_const(asked))
        QCOMPARE(files.now(question.section(QLatin1Char('='), 0, 0)),
                 question.section(QLatin1Char('='), 1));
}

QTEST_GUILESS_MAIN(tst_MessageFileResolver)
#include "tst_messagefileresolver.moc"
