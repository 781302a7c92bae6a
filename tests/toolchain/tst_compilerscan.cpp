#include "common/fakemainservices.h"
#include "common/testfiles.h"
#include "toolchain/buildconfig.h"
#include "toolchain/buildconfiglist.h"
#include "toolchain/compilerscan.h"

#include <QSettings>
#include <QTemporaryDir>
#include <QtTest>

class tst_CompilerScan : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { isolateSettings(); }
    void checkAllAndSave();
    void emptyCatalogue();
    void setConfiguredKeepsOthers();
};

static void put(const QTemporaryDir &dir, const QString &name, const QString &content)
{
    QVERIFY(writeFile(dir.filePath(name), content.toUtf8()));
}

void tst_CompilerScan::checkAllAndSave()
{
    QTemporaryDir dir;
    const QString tool = QStringLiteral(DYX_FAKE_COMPILER);
    const QString toolDir = QFileInfo(tool).absolutePath();
    put(dir,
        "found.xml",
        QStringLiteral("<COMPILER NAME=\"Beta\"><DETECT PATH=\"%1\" ARG=\"--print=ok\" STR=\"ok\"/>"
                       "</COMPILER>")
            .arg(tool));
    put(dir, "missing.xml", "<COMPILER NAME=\"Alpha\"><DETECT PATH=\"/no/such/tool\"/></COMPILER>");
    put(dir,
        "old.xml",
        QStringLiteral(
            "<COMPILER NAME=\"Gamma\" VERSION=\"9\"><DETECT PATH=\"%1\" DATE=\"2999-12-31\"/>"
            "</COMPILER>")
            .arg(tool));
    put(dir, "maker1.xml", "<COMPILER NAME=\"Cirrane A\"/>");
    put(dir, "maker2.xml", "<COMPILER NAME=\"cirrane B\"/>");
    FakeMainServices services;
    services.settingsStore().setDirectory(SettingsStore::Compilers, dir.path());
    BuildConfigList catalogue(&services);
    catalogue.load();
    services.lines.clear();

    CompilerScan scan(&catalogue);
    QStringList order;
    for (const CompilerScan::Row &row : scan.rows())
        order.append(row.name);
    // The maker's compilers first, in reverse sorted order; the rest sorted.
    QCOMPARE(order, QStringList({"cirrane B", "Cirrane A", "Alpha", "Beta", "Gamma"}));

    scan.checkAll();
    QCOMPARE(services.lines,
             QStringList(
                 {"clear",
                  "message: Detecting compiler cirrane B",
                  "message: Detecting compiler Cirrane A",
                  "message: Detecting compiler Alpha",
                  "message: Detecting compiler Beta",
                  "message: Detecting compiler Gamma",
                  "message: \nCompiler detection summary",
                  "message: Not Found:",
                  "message: cirrane B:\t",
                  "message: Cirrane A:\t",
                  "message: Alpha:\t",
                  "message: Found:",
                  "message: Beta:\t" + toolDir,
                  "html: <span style='color: #FF0000; font-size: 10pt'>Unsupported Versions:<br>"
                  "Gamma:\t"
                      + toolDir + "\n\tVersion 9 or later required<br></span>"}));
    QCOMPARE(scan.rows().at(4).directory, QStringLiteral("Compiler too old"));
    QVERIFY(!scan.rows().at(4).installed);

    // A directory typed by hand makes a compiler installed.
    scan.rows()[2].directory = QStringLiteral("/opt/alpha/bin");
    scan.rows()[2].installed = true;
    scan.save();
    QVERIFY(catalogue.find(QStringLiteral("beta"))->isConfigured());
    QCOMPARE(catalogue.find(QStringLiteral("Beta"))->compilerDirectory(), toolDir);
    QCOMPARE(catalogue.find(QStringLiteral("Alpha"))->compilerDirectory(),
             QStringLiteral("/opt/alpha/bin"));
    QVERIFY(!catalogue.find(QStringLiteral("Gamma"))->isConfigured());
    QCOMPARE(catalogue.find(QStringLiteral("Gamma"))->compilerDirectory(), QString());
    QCOMPARE(services.settingsStore().settings().value(QStringLiteral("compilers/5/dir")).toString(),
             QStringLiteral("Compiler too old"));
    QCOMPARE(catalogue.names(true), QStringList({"Beta", "Alpha"})); // load order
}

void tst_CompilerScan::emptyCatalogue()
{
    FakeMainServices services;
    BuildConfigList catalogue(&services);
    CompilerScan scan(&catalogue);
    scan.checkAll();
    QCOMPARE(services.lines, QStringList({"clear", "message: \nCompiler detection summary"}));
}

void tst_CompilerScan::setConfiguredKeepsOthers()
{
    QTemporaryDir dir;
    put(dir, "x.xml", "<COMPILER NAME=\"X\"/>");
    put(dir, "y.xml", "<COMPILER NAME=\"Y\"/>");
    FakeMainServices services;
    QSettings &settings = services.settingsStore().settings();
    settings.remove(QStringLiteral("compilers"));
    services.settingsStore().setDirectory(SettingsStore::Compilers, dir.path());
    BuildConfigList catalogue(&services);
    catalogue.load();
    catalogue.find(QStringLiteral("X"))->setConfigured(true, QStringLiteral("/x"));
    catalogue.find(QStringLiteral("Y"))->setConfigured(true, QStringLiteral("/y"));
    catalogue.find(QStringLiteral("X"))->setConfigured(false, QStringLiteral("/x2"));
    QCOMPARE(settings.value(QStringLiteral("compilers/size")).toInt(), 2);
    QVERIFY(!catalogue.find(QStringLiteral("X"))->isConfigured());
    QCOMPARE(catalogue.find(QStringLiteral("X"))->compilerDirectory(), QString());
    QCOMPARE(catalogue.find(QStringLiteral("Y"))->compilerDirectory(), QStringLiteral("/y"));
}

QTEST_GUILESS_MAIN(tst_CompilerScan)
#include "tst_compilerscan.moc"
