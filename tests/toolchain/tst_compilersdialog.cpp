#include "common/fakewindowservices.h"
#include "common/scriptedprompts.h"
#include "common/testfiles.h"
#include "toolchain/buildconfig.h"
#include "toolchain/buildconfiglist.h"
#include "toolchain/compilerscan.h"
#include "toolchain/ui/compilersdialog.h"

#include <QDir>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QtTest>

// The compilers dialog on a catalogue of small configurations: one the fake compiler answers,
// one whose tool is missing, one too old for its tool and one of the simulator's maker.
class tst_CompilersDialog : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void table();
    void directoriesByHand_data();
    void directoriesByHand();
    void website();
    void manualFolderWithoutTheCompiler();
    void versionsOfTheShippedCompilers();

private:
    QLineEdit *directoryCell(CompilersDialog &dialog, int row)
    {
        return qobject_cast<QLineEdit *>(
            child<QTableWidget>(dialog, "compilersTable")->cellWidget(row, 3));
    }
    int rowOf(CompilersDialog &dialog, const QString &name)
    {
        auto *table = child<QTableWidget>(dialog, "compilersTable");
        for (int row = 0; row < table->rowCount(); ++row) {
            if (table->item(row, 0)->text() == name)
                return row;
        }
        return -1;
    }

    QTemporaryDir m_dir;
    std::unique_ptr<FakeWindowServices> m_services;
    std::unique_ptr<BuildConfigList> m_catalogue;
};

void tst_CompilersDialog::initTestCase()
{
    isolateSettings();
    const QString tool = QStringLiteral(DYX_FAKE_COMPILER);
    const QMap<QString, QString> files
        = {{"found.xml",
            QStringLiteral("<COMPILER NAME=\"Beta\" URL=\"https://beta.example/\">"
                           "<DETECT PATH=\"%1\" ARG=\"--print=ok\" STR=\"ok\"/></COMPILER>")
                .arg(tool)},
           {"missing.xml", "<COMPILER NAME=\"Alpha\"><DETECT PATH=\"/no/such/tool\"/></COMPILER>"},
           {"old.xml",
            QStringLiteral("<COMPILER NAME=\"Gamma\" VERSION=\"9\"><DETECT PATH=\"%1\" "
                           "DATE=\"2999-12-31\"/></COMPILER>")
                .arg(tool)},
           {"maker.xml", "<COMPILER NAME=\"Cirrane C\" URL=\"https://maker.example/\"/>"},
           {"tools.xml",
            "<COMPILER NAME=\"Delta\"><TOOL FILE=\"deltacc\" NAME=\"DCC\"/></COMPILER>"}};
    for (auto it = files.cbegin(); it != files.cend(); ++it)
        QVERIFY(writeFile(m_dir.filePath(it.key()), it.value().toUtf8()));
}

void tst_CompilersDialog::init()
{
    m_services = std::make_unique<FakeWindowServices>();
    m_services->settingsStore().settings().remove(QString());
    m_services->settingsStore().setDirectory(SettingsStore::Compilers, m_dir.path());
    m_catalogue = std::make_unique<BuildConfigList>(m_services.get());
    m_catalogue->load();
    m_services->lines.clear();
}

void tst_CompilersDialog::table()
{
    CompilersDialog dialog(m_catalogue.get(), m_services.get(), nullptr);
    QCOMPARE(dialog.windowTitle(), QStringLiteral("Compilers"));
    auto *table = child<QTableWidget>(dialog, "compilersTable");
    QCOMPARE(table->rowCount(), 5);
    QStringList headers;
    for (int column = 0; column < 5; ++column)
        headers.append(table->horizontalHeaderItem(column)->text());
    QCOMPARE(headers,
             QStringList({"Compiler", "Installed", "Config File", "Compiler Directory", "Version"}));
    QVERIFY(table->isColumnHidden(2));
    QCOMPARE(table->item(0, 0)->text(), QStringLiteral("Cirrane C"));
    QCOMPARE(table->item(0, 0)->foreground().color(), QColor(0, 0, 125));
    QCOMPARE(table->item(1, 0)->text(), QStringLiteral("Alpha"));
    QCOMPARE(table->item(1, 0)->toolTip(),
             QStringLiteral("Double click to visit compiler's website"));
    QCOMPARE(table->item(1, 1)->text(), QStringLiteral("No"));
    QCOMPARE(table->item(2, 2)->text(), m_dir.filePath(QStringLiteral("found.xml")));
}

void tst_CompilersDialog::directoriesByHand_data()
{
    QTest::addColumn<QString>("typed");  // typed into Alpha's cell, or "manual" for Manual...
    QTest::addColumn<bool>("accept");    // OK or Cancel
    QTest::addColumn<bool>("installed"); // Alpha afterwards
    QTest::newRow("typed, OK") << "/opt/alpha/bin" << true << true;
    QTest::newRow("typed, Cancel") << "/opt/alpha/bin" << false << false;
    QTest::newRow("Manual..., OK") << "manual" << true << true;
}

void tst_CompilersDialog::directoriesByHand()
{
    QFETCH(QString, typed);
    QFETCH(bool, accept);
    QFETCH(bool, installed);
    ScriptedPrompts prompts;
    CompilersDialog dialog(m_catalogue.get(), m_services.get(), nullptr);
    const int alpha = rowOf(dialog, QStringLiteral("Alpha"));
    QString expected = typed;
    if (typed == QLatin1String("manual")) {
        prompts.fileNames << m_dir.filePath(QStringLiteral("missing.xml"));
        child<QTableWidget>(dialog, "compilersTable")->setCurrentCell(alpha, 0);
        QTest::mouseClick(child<QPushButton>(dialog, "manualButton"), Qt::LeftButton);
        QCOMPARE(prompts.asked.first().title, QStringLiteral("Open File"));
        expected = m_dir.path();
    } else {
        directoryCell(dialog, alpha)->setText(typed);
    }
    QTest::mouseClick(child<QPushButton>(dialog, accept ? "saveButton" : "cancelButton"),
                      Qt::LeftButton);
    const BuildConfig *config = m_catalogue->find(QStringLiteral("Alpha"));
    QCOMPARE(config->isConfigured(), installed);
    QCOMPARE(config->compilerDirectory(), installed ? expected : QString());

    // Emptied again: not installed.
    CompilersDialog again(m_catalogue.get(), m_services.get(), nullptr);
    directoryCell(again, alpha)->clear();
    QTest::mouseClick(child<QPushButton>(again, "saveButton"), Qt::LeftButton);
    QVERIFY(!config->isConfigured());
}

void tst_CompilersDialog::website()
{
    ScriptedPrompts prompts;
    CompilersDialog dialog(m_catalogue.get(), m_services.get(), nullptr);
    auto *table = child<QTableWidget>(dialog, "compilersTable");
    const int beta = rowOf(dialog, QStringLiteral("Beta"));
    emit table->cellDoubleClicked(beta, 1); // not the compiler column
    emit table->cellDoubleClicked(rowOf(dialog, QStringLiteral("Alpha")), 0); // no web site
    QVERIFY(prompts.openedUrls.isEmpty());
    table->setCurrentCell(beta, 0);
    QTest::mouseClick(child<QPushButton>(dialog, "websiteButton"), Qt::LeftButton);
    QCOMPARE(prompts.openedUrls, QList<QUrl>({QUrl(QStringLiteral("https://beta.example/"))}));
}

// A folder chosen by hand that holds none of the compiler's programs is asked about.
void tst_CompilersDialog::manualFolderWithoutTheCompiler()
{
    ScriptedPrompts prompts;
    CompilersDialog dialog(m_catalogue.get(), m_services.get(), nullptr);
    const int delta = rowOf(dialog, QStringLiteral("Delta"));
    child<QTableWidget>(dialog, "compilersTable")->setCurrentCell(delta, 0);
    prompts.fileNames << m_dir.filePath(QStringLiteral("tools.xml"))
                      << m_dir.filePath(QStringLiteral("tools.xml"));
    prompts.answers << QMessageBox::No << QMessageBox::Yes;
    QTest::mouseClick(child<QPushButton>(dialog, "manualButton"), Qt::LeftButton);
    // The file dialog shows programs without a suffix, as compilers' programs are on Linux.
    const QString filter = prompts.filters.value(0);
    const QString patterns = filter.section(QLatin1Char('('), 1).section(QLatin1Char(')'), 0, 0);
    QVERIFY2(QDir::match(patterns.split(QLatin1Char(' ')), QStringLiteral("avr-gcc")),
             qPrintable(filter));
    QVERIFY(prompts.asked.last().text.contains(
        QStringLiteral("none of the programs of Delta (deltacc)")));
    QCOMPARE(directoryCell(dialog, delta)->text(), QString());
    QTest::mouseClick(child<QPushButton>(dialog, "manualButton"), Qt::LeftButton);
    QCOMPARE(directoryCell(dialog, delta)->text(), m_dir.path());
}

// The shipped configurations, detected: each compiler's version as its package's other tools
// give it.
void tst_CompilersDialog::versionsOfTheShippedCompilers()
{
    m_services->settingsStore().setDirectory(SettingsStore::Compilers,
                                             QStringLiteral(DYX_SOURCE_DIR "/data/compilers"));
    BuildConfigList catalogue(m_services.get());
    catalogue.load();
    CompilersDialog dialog(&catalogue, m_services.get(), nullptr);
    QTest::mouseClick(child<QPushButton>(dialog, "checkAllButton"), Qt::LeftButton);
    auto *table = child<QTableWidget>(dialog, "compilersTable");
    const auto said = [](const QString &program, const QString &argument) {
        QProcess tool;
        tool.setProcessChannelMode(QProcess::MergedChannels);
        tool.start(program, {argument});
        tool.waitForFinished();
        return QString::fromLocal8Bit(tool.readAll());
    };
    const QString gplink = said(QStringLiteral("gplink"), QStringLiteral("--version"));
    const QMap<QString, QString> expected
        = {{"GNU AVR GCC",
            said(QStringLiteral("avr-gcc"), QStringLiteral("-dumpversion")).trimmed()},
           {"GNU PIC Utilities",
            gplink.section(QLatin1Char('-'), 1).section(QLatin1Char(' '), 0, 0)},
           {"SDCC",
            said(QStringLiteral("sdcc"), QStringLiteral("-v"))
                .section(QLatin1Char('\n'), 0, 0)
                .section(QLatin1Char(' '), -3, -3)}};
    for (auto it = expected.cbegin(); it != expected.cend(); ++it) {
        const int row = rowOf(dialog, it.key());
        QVERIFY2(row >= 0, qPrintable(it.key()));
        QCOMPARE(table->item(row, 1)->text(), QStringLiteral("Yes"));
        QVERIFY2(!it.value().isEmpty(), qPrintable(it.key()));
        QCOMPARE(table->item(row, 4)->text(), it.value());
    }
    QCOMPARE(CompilerScan::versionIn(QStringLiteral("gpasm-1.5.2 #1325 (Jan 24 2022)")),
             QStringLiteral("1.5.2"));
    QCOMPARE(CompilerScan::versionIn(QStringLiteral("no version\nv2 of 3")), QString());
}

QTEST_MAIN(tst_CompilersDialog)
#include "tst_compilersdialog.moc"
