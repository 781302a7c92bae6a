#include "common/datarows.h"
#include "common/killpoints.h"
#include "common/testfiles.h"
#include "platform/caseinsensitivepath.h"
#include "platform/platformpaths.h"
#include "platform/registry.h"
#include "platform/wholefilewriter.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

class tst_Platform : public QObject
{
    Q_OBJECT

private slots:
    void nativePath_data();
    void nativePath();
    void absolutePathEntries_data();
    void absolutePathEntries();
    void shortPathName();
    void commandShell();
    void caseInsensitivePath_data();
    void caseInsensitivePath();
    void iniRegistry();
    void wholeFileWriter_data();
    void wholeFileWriter();
    void killedAtEveryWritePoint();
};

namespace {
QByteArray contentsOf(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("(unreadable)");
}

QStringList entriesOf(const QString &folder)
{
    return QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::System
                                  | QDir::NoDotAndDotDot);
}
} // namespace

void tst_Platform::nativePath_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<QString>("expected");
    addRow("plain", "C:/a/b.c", "C:\\a\\b.c");
    QTest::newRow("double slash first") << "a//b/c"
                                        << "a\\b\\c";
    QTest::newRow("triple slash") << "a///b"
                                  << "a\\\\b";
    addRow("backslash kept", "a\\b/c", "a\\b\\c");
}

void tst_Platform::nativePath()
{
    QFETCH(QString, path);
    QFETCH(QString, expected);
    QCOMPARE(Platform::nativePath(path), expected);
}

// Empty and relative PATH entries lead to the folder a program runs in.
void tst_Platform::absolutePathEntries_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<QString>("expected");
    addRow("absolute ones stay", "/usr/bin:/bin", "/usr/bin:/bin");
    addRow("empty ones go", ":/usr/bin::/bin:", "/usr/bin:/bin");
    addRow("relative ones go", ".:/usr/bin:bin:../x:~/y", "/usr/bin");
    addRow("nothing left", ".:", "");
}

void tst_Platform::absolutePathEntries()
{
    QFETCH(QString, path);
    QFETCH(QString, expected);
    QCOMPARE(Platform::absolutePathEntries(path), expected);
    // The variables programs are started with, the loader's too; with nothing left, none.
    const QByteArray saved = qgetenv("LD_LIBRARY_PATH");
    const bool wasSet = qEnvironmentVariableIsSet("LD_LIBRARY_PATH");
    qputenv("LD_LIBRARY_PATH", path.toLocal8Bit());
    Platform::dropRelativePathEntries();
    QCOMPARE(qEnvironmentVariableIsSet("LD_LIBRARY_PATH"), !expected.isEmpty());
    QCOMPARE(qgetenv("LD_LIBRARY_PATH"), expected.toLocal8Bit());
    wasSet ? qputenv("LD_LIBRARY_PATH", saved) : qunsetenv("LD_LIBRARY_PATH");
}

void tst_Platform::shortPathName()
{
    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("with space.c"));
    QVERIFY(writeFile(file));
    QCOMPARE(Platform::shortPathName(file), file);
    QCOMPARE(Platform::shortPathName(dir.filePath(QStringLiteral("missing.c"))), QString());
}

void tst_Platform::commandShell()
{
    qunsetenv("ComSpec");
    QCOMPARE(Platform::commandShell(), QStringLiteral("/bin/sh"));
    qputenv("ComSpec", "/bin/bash");
    QCOMPARE(Platform::commandShell(), QStringLiteral("/bin/bash"));
    QCOMPARE(Platform::environmentValue(QStringLiteral("ComSpec")), QStringLiteral("/bin/bash"));
    qunsetenv("ComSpec");
}

void tst_Platform::caseInsensitivePath_data()
{
    QTest::addColumn<QString>("asked");
    QTest::addColumn<QString>("expected");
    addRow("exact", "BIN/VEXA.EXE", "BIN/VEXA.EXE");
    addRow("lower case", "bin/vexa.exe", "BIN/VEXA.EXE");
    addRow("mixed", "Samples/Avr/Blink.DYXP", "SAMPLES/avr/blink.dyxp");
    addRow("missing leaf kept", "bin/other.exe", "BIN/other.exe");
    addRow("missing dir stops", "nothing/VEXA.EXE", "nothing/VEXA.EXE");
}

void tst_Platform::caseInsensitivePath()
{
    QFETCH(QString, asked);
    QFETCH(QString, expected);
    QTemporaryDir dir;
    QVERIFY(QDir(dir.path()).mkpath(QStringLiteral("BIN")));
    QVERIFY(QDir(dir.path()).mkpath(QStringLiteral("SAMPLES/avr")));
    for (const char *name : {"BIN/VEXA.EXE", "SAMPLES/avr/blink.dyxp"})
        QVERIFY(writeFile(dir.filePath(QLatin1String(name))));
    QCOMPARE(Platform::resolveCaseInsensitive(dir.path() + QLatin1Char('/') + asked),
             dir.path() + QLatin1Char('/') + expected);
}

void tst_Platform::iniRegistry()
{
    QTemporaryDir dir;
    const QString fileName = dir.filePath(QStringLiteral("registry.ini"));
    QFile f(fileName);
    QVERIFY(f.open(QIODevice::WriteOnly));
    // Written as an installer would, by hand, with Windows key paths as section names.
    f.write("[HKEY_LOCAL_MACHINE\\SOFTWARE\\Morvellan Electronics\\Cirrane Professional 8\\8]\n"
            "Version=8.1\n"
            "Path=/opt/cirrane 8\n"
            "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Morvellan Electronics\\Cirrane Lite\\1]\n"
            "Version=1.0\nPath=lite/../CIRRANE\n");
    f.close();
    IniRegistry registry(fileName);
    const QString vendor = QStringLiteral("HKEY_LOCAL_MACHINE\\SOFTWARE\\Morvellan Electronics\\");
    QCOMPARE(registry.subkeys(vendor),
             QStringList(
                 {QStringLiteral("Cirrane Lite"), QStringLiteral("Cirrane Professional 8")}));
    const QString key = vendor + QStringLiteral("Cirrane Professional 8\\8");
    QCOMPARE(registry.value(key, QStringLiteral("Path")), QStringLiteral("/opt/cirrane 8"));
    QCOMPARE(registry.value(key, QStringLiteral("Missing")), QString());
    QCOMPARE(registry.valueNames(key),
             QStringList({QStringLiteral("Path"), QStringLiteral("Version")}));
    QCOMPARE(registry.subkeys(key), QStringList());
    // A relative folder lies beside the file, as an installation's own file names its suite.
    QCOMPARE(registry.value(vendor + QStringLiteral("Cirrane Lite\\1"), QStringLiteral("Path")),
             dir.filePath(QStringLiteral("CIRRANE")));
    QCOMPARE(IniRegistry(dir.filePath(QStringLiteral("none.ini"))).subkeys(vendor), QStringList());
}

void tst_Platform::wholeFileWriter_data()
{
    QTest::addColumn<QString>("situation");
    QTest::addColumn<bool>("written");
    QTest::newRow("a new file") << "new" << true;
    QTest::newRow("a file whose permissions are kept") << "permissions" << true;
    QTest::newRow("a link, written through") << "link" << true;
    // One file with its names and its owner, not a new one.
    QTest::newRow("a file of two names") << "second name" << true;
    QTest::newRow("another user's file") << "owner" << true;
    QTest::newRow("a file of another group") << "group" << true;
    QTest::newRow("a full file system") << "full" << false;
    QTest::newRow("a folder, not a file") << "folder" << false;
}

// Written whole where it can be; where it cannot, the file stays as it was and nothing is
// left beside it.
void tst_Platform::wholeFileWriter()
{
    QFETCH(QString, situation);
    QFETCH(bool, written);
    QTemporaryDir work;
    QString folder = work.filePath(QStringLiteral("f"));
    QDir().mkpath(folder);
    const QByteArray old = "the version before\n";
    const QByteArray now = QByteArray("the new version, longer than the old\n").repeated(200);
    QString path = folder + QStringLiteral("/file.c");
    QString target = path;
    if (situation == QLatin1String("full")) {
        if (geteuid() != 0)
            QSKIP("Only root can mount a small file system.");
        QVERIFY(mount("tmpfs", folder.toLocal8Bit().constData(), "tmpfs", 0, "size=16k") == 0);
        QVERIFY(writeFile(path, old));
        // Fill what is left.
        writeFile(folder + QStringLiteral("/filler"), QByteArray(64 * 1024, 'x'));
    } else if (situation == QLatin1String("permissions")) {
        QVERIFY(writeFile(path, old));
        QVERIFY(chmod(path.toLocal8Bit().constData(), 0640) == 0);
    } else if (situation == QLatin1String("link")) {
        target = work.filePath(QStringLiteral("elsewhere.c"));
        QVERIFY(writeFile(target, old));
        QVERIFY(QFile::link(target, path));
    } else if (situation == QLatin1String("folder")) {
        QDir().mkpath(path);
    } else if (situation == QLatin1String("second name")) {
        target = work.filePath(QStringLiteral("other name.c"));
        QVERIFY(writeFile(target, old));
        QVERIFY(::link(target.toLocal8Bit().constData(), path.toLocal8Bit().constData()) == 0);
    } else if (situation == QLatin1String("owner") || situation == QLatin1String("group")) {
        if (geteuid() != 0)
            QSKIP("Only root can give a file to another user or group.");
        QVERIFY(writeFile(path, old));
        QVERIFY(chown(path.toLocal8Bit().constData(), situation == "owner" ? 65534 : 0, 65534) == 0);
    }
    const QStringList before = entriesOf(folder);
    QString reason;
    const bool done = Platform::writeWholeFile(path, now, &reason, true); // as the editor
    const QStringList after = entriesOf(folder);
    const QByteArray contents = contentsOf(target);
    if (situation == QLatin1String("full"))
        umount(folder.toLocal8Bit().constData());
    QCOMPARE(done, written);
    QCOMPARE(reason.isEmpty(), written);
    if (situation != QLatin1String("new"))
        QCOMPARE(after, before);
    if (written)
        QCOMPARE(contents, now);
    else if (situation == QLatin1String("full"))
        QCOMPARE(contents, old);
    if (situation == QLatin1String("permissions")) {
        struct stat status
        {};
        QVERIFY(stat(path.toLocal8Bit().constData(), &status) == 0);
        QCOMPARE(status.st_mode & 0777, mode_t(0640));
    }
    if (situation == QLatin1String("link"))
        QVERIFY(QFileInfo(path).isSymLink());
    if (situation == QLatin1String("owner") || situation == QLatin1String("group")) {
        struct stat status
        {};
        QVERIFY(stat(path.toLocal8Bit().constData(), &status) == 0);
        QVERIFY(status.st_uid == (situation == "owner" ? 65534 : 0) && status.st_gid == 65534);
    }
}

// A writer killed at any of its steps leaves the file as it was or as it was to become,
// never cut short; an unfinished version it left goes with the next write of that file.
void tst_Platform::killedAtEveryWritePoint()
{
    QTemporaryDir work;
    const QString path = work.filePath(QStringLiteral("main.c"));
    const QByteArray old = "int old;\n";
    const QByteArray now = QByteArray("int now;\n").repeated(5000);
    QVERIFY(writeFile(path, old));
    // A user's file that only looks like an unfinished version stays.
    const QString lookalike = work.filePath(QStringLiteral(".main.c.dyxsave-notes"));
    QVERIFY(writeFile(lookalike, "mine"));
    const auto runWriter = [&](const QByteArray &text, int killAt) {
        QProcess writer;
        writer.setProcessEnvironment(killedAtStep(killAt));
        writer.start(QStringLiteral(DYX_WHOLE_WRITE), {path, QString::fromUtf8(text)});
        writer.waitForFinished(20000);
        return writer.exitStatus() == QProcess::NormalExit ? writer.exitCode() : -1;
    };
    int killed = 0;
    for (int step = 1; step < 100; ++step) {
        const int code = runWriter(now, step);
        const QByteArray contents = contentsOf(path);
        QVERIFY2(contents == old || contents == now,
                 qPrintable(
                     QStringLiteral("killed at step %1: %2 bytes").arg(step).arg(contents.size())));
        if (code == 0) {
            QCOMPARE(contents, now);
            break;
        }
        QCOMPARE(code, -1);
        ++killed;
        // The next write takes the old version back and removes what the killed one left.
        QCOMPARE(runWriter(old, 0), 0);
        QCOMPARE(contentsOf(path), old);
        QCOMPARE(entriesOf(work.path()),
                 QStringList({QStringLiteral(".main.c.dyxsave-notes"), QStringLiteral("main.c")}));
    }
    // A write, a sync, a link and a rename at the least.
    QVERIFY2(killed >= 4, qPrintable(QString::number(killed)));
}

QTEST_GUILESS_MAIN(tst_Platform)
#include "tst_platform.moc"
