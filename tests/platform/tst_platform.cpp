#include "platform/caseinsensitivepath.h"
#include "platform/platformpaths.h"
#include "platform/registry.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

class tst_Platform : public QObject
{
    Q_OBJECT

private slots:
    void nativePath_data();
    void nativePath();
    void shortPathName();
    void commandShell();
    void caseInsensitivePath_data();
    void caseInsensitivePath();
    void iniRegistry();
};

void tst_Platform::nativePath_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<QString>("expected");
    QTest::newRow("plain") << "C:/a/b.c"
                           << "C:\\a\\b.c";
    QTest::newRow("double slash first") << "a//b/c"
                                        << "a\\b\\c";
    QTest::newRow("triple slash") << "a///b"
                                  << "a\\\\b";
    QTest::newRow("backslash kept") << "a\\b/c"
                                    << "a\\b\\c";
}

void tst_Platform::nativePath()
{
    QFETCH(QString, path);
    QFETCH(QString, expected);
    QCOMPARE(Platform::nativePath(path), expected);
}

void tst_Platform::shortPathName()
{
    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("with space.c"));
    QFile f(file);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.close();
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
    QTest::newRow("exact") << "BIN/VEXA.EXE"
                           << "BIN/VEXA.EXE";
    QTest::newRow("lower case") << "bin/vexa.exe"
                                << "BIN/VEXA.EXE";
    QTest::newRow("mixed") << "Samples/Avr/Blink.DYXP"
                           << "SAMPLES/avr/blink.dyxp";
    QTest::newRow("missing leaf kept") << "bin/other.exe"
                                       << "BIN/other.exe";
    QTest::newRow("missing dir stops") << "nothing/VEXA.EXE"
                                       << "nothing/VEXA.EXE";
}

void tst_Platform::caseInsensitivePath()
{
    QFETCH(QString, asked);
    QFETCH(QString, expected);
    QTemporaryDir dir;
    QVERIFY(QDir(dir.path()).mkpath(QStringLiteral("BIN")));
    QVERIFY(QDir(dir.path()).mkpath(QStringLiteral("SAMPLES/avr")));
    for (const char *name : {"BIN/VEXA.EXE", "SAMPLES/avr/blink.dyxp"}) {
        QFile f(dir.filePath(QLatin1String(name)));
        QVERIFY(f.open(QIODevice::WriteOnly));
    }
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
            "Version=1.0\n");
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
    QCOMPARE(IniRegistry(dir.filePath(QStringLiteral("none.ini"))).subkeys(vendor), QStringList());
}

QTEST_GUILESS_MAIN(tst_Platform)
#include "tst_platform.moc"
