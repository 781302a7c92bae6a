#include "build/messagefileresolver.h"

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
};

void tst_MessageFileResolver::resolve_data()
{
    QTest::addColumn<QString>("name");     // as a compiler message has it
    QTest::addColumn<QString>("expected"); // below the project directory; empty for none
    QTest::newRow("project file by name") << "main.c"
                                          << "src/main.c";
    QTest::newRow("project file by name, other folder") << "lib/main.c"
                                                        << "src/main.c";
    QTest::newRow("project file missing on disk") << "gone.c"
                                                  << "";
    QTest::newRow("relative to the project") << "src/led.h"
                                             << "src/led.h";
    QTest::newRow("project before output") << "both.h"
                                           << "both.h";
    QTest::newRow("only in the output directory") << "gen.c"
                                                  << "Debug/gen.c";
    QTest::newRow("steps up are cleaned") << "../first.last/src/led.h"
                                          << "src/led.h";
    QTest::newRow("nowhere") << "missing.c"
                             << "";
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

QTEST_GUILESS_MAIN(tst_MessageFileResolver)
#include "tst_messagefileresolver.moc"
