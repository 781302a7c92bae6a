#include "common/datarows.h"
#include "common/fakemainservices.h"
#include "common/testfiles.h"
#include "core/settingsstore.h"
#include "simulator/simulatedcontrollers.h"

#include <QTemporaryDir>
#include <QtTest>

class tst_SimulatedControllers : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { isolateSettings(); }
    void contains_data();
    void contains();
    void malformedListIsReportedAndSkipped();
};

void tst_SimulatedControllers::contains_data()
{
    QTest::addColumn<QString>("family");
    QTest::addColumn<QString>("controller");
    QTest::addColumn<bool>("simulated");
    QTest::newRow("listed") << "AVR"
                            << "ATmega328P" << true;
    QTest::newRow("any letter case") << "AVR"
                                     << "atmega328p" << true;
    addRow("family needs exact case", "avr", "ATmega328P", false);
    QTest::newRow("alias") << "AVR"
                           << "ATmega328" << true;
    QTest::newRow("alias of nameless controller") << "AVR"
                                                  << "Ghost" << false;
    QTest::newRow("second file merges") << "AVR"
                                        << "ATtiny85" << true;
    addRow("empty family name", "", "Orphan", true);
    addRow("unknown family", "PIC16", "ATmega328P", false);
    addRow("other extension ignored", "Z80", "Z84C00", false);
}

void tst_SimulatedControllers::contains()
{
    QFETCH(QString, family);
    QFETCH(QString, controller);
    QFETCH(bool, simulated);
    QTemporaryDir dir;
    QVERIFY(
        writeFile(dir.filePath(QStringLiteral("a.xml")),
                  "<SIMULATOR><FAMILY NAME=\"AVR\">"
                  "<CONTROLLER NAME=\"ATmega328P\"><ALIAS NAME=\"ATmega328\"/><ALIAS/></CONTROLLER>"
                  "<CONTROLLER><ALIAS NAME=\"Ghost\"/></CONTROLLER>"
                  "</FAMILY><FAMILY><CONTROLLER NAME=\"Orphan\"/></FAMILY></SIMULATOR>"));
    QVERIFY(writeFile(dir.filePath(QStringLiteral("b.xml")),
                      "<SIMULATOR><FAMILY NAME=\"AVR\"><CONTROLLER NAME=\"ATMEGA328P\"/>"
                      "<CONTROLLER NAME=\"ATtiny85\"/></FAMILY></SIMULATOR>"));
    QVERIFY(writeFile(
        dir.filePath(QStringLiteral("c.txt")),
        "<SIMULATOR><FAMILY NAME=\"Z80\"><CONTROLLER NAME=\"Z84C00\"/></FAMILY></SIMULATOR>"));
    FakeMainServices services;
    services.settingsStore().setDirectory(SettingsStore::Simulator, dir.path());
    SimulatedControllers catalogue(&services);
    catalogue.load();
    QCOMPARE(catalogue.contains(family, controller), simulated);
    // The same part listed twice in two spellings is one entry.
    QCOMPARE(catalogue.controllers(QStringLiteral("AVR"))
                 .filter(QStringLiteral("328P"), Qt::CaseInsensitive)
                 .size(),
             1);
    QVERIFY(services.lines.isEmpty());
}

void tst_SimulatedControllers::malformedListIsReportedAndSkipped()
{
    QTemporaryDir dir;
    QVERIFY(writeFile(dir.filePath(QStringLiteral("broken.xml")),
                      "<SIMULATOR><FAMILY NAME=\"AVR\">\n<CONTROLLER NAME=\"X\">\n</SIMULATOR>"));
    QVERIFY(writeFile(dir.filePath(QStringLiteral("good.xml")),
                      "<SIMULATOR><FAMILY NAME=\"PIC16\"><CONTROLLER NAME=\"PIC16F84A\"/>"
                      "</FAMILY></SIMULATOR>"));
    QVERIFY(writeFile(dir.filePath(QStringLiteral("other.xml")), "<LIST/>"));
    FakeMainServices services;
    services.settingsStore().setDirectory(SettingsStore::Simulator, dir.path());
    SimulatedControllers catalogue(&services);
    catalogue.load();
    QVERIFY(catalogue.contains(QStringLiteral("PIC16"), QStringLiteral("PIC16F84A")));
    QVERIFY(!catalogue.contains(QStringLiteral("AVR"), QStringLiteral("X")));
    QCOMPARE(services.lines.size(), 1);
    QVERIFY2(services.lines.first().startsWith(
                 QStringLiteral("message: Error opening broken.xml: ")),
             qPrintable(services.lines.first()));

    // Reloading from an empty directory forgets everything.
    services.settingsStore().setDirectory(SettingsStore::Simulator,
                                          dir.filePath(QStringLiteral("missing")));
    catalogue.load();
    QVERIFY(!catalogue.contains(QStringLiteral("PIC16"), QStringLiteral("PIC16F84A")));
}

QTEST_GUILESS_MAIN(tst_SimulatedControllers)
#include "tst_simulatedcontrollers.moc"
