#include "build/buildproject.h"
#include "common/datarows.h"
#include "common/fakewindowservices.h"
#include "common/scriptedprompts.h"
#include "common/testfiles.h"
#include "project/ui/project.h"
#include "toolchain/buildconfig.h"
#include "toolchain/buildconfiglist.h"
#include "toolchain/ui/controllerdialog.h"

#include <QCheckBox>
#include <QComboBox>
#include <QPushButton>
#include <QTemporaryDir>
#include <QtTest>

// The project settings dialog on the shipped compiler configurations and the AVR board: the
// simulator runs three AVR parts and one 8051, and which compilers are installed varies.
class tst_ControllerDialog : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { isolateSettings(); }
    void init();
    void clockDisplay_data();
    void clockDisplay();
    void choices_data();
    void choices();
    void cancelAndNotInstalled();
    void backChangesNothing();
    void configurationsWithoutTargetFollowTheFirst();

private:
    static QStringList items(QComboBox *combo)
    {
        QStringList list;
        for (int i = 0; i < combo->count(); ++i)
            list.append(combo->itemText(i));
        return list;
    }
    void install(const QStringList &compilers);
    std::unique_ptr<Project> openBoard();

    QTemporaryDir m_dir;
    std::unique_ptr<FakeWindowServices> m_services;
    std::unique_ptr<BuildConfigList> m_catalogue;
};

void tst_ControllerDialog::init()
{
    m_services = std::make_unique<FakeWindowServices>();
    m_services->settingsStore().settings().remove(QString());
    m_services->settingsStore().setDirectory(SettingsStore::Compilers,
                                             QStringLiteral(DYX_SOURCE_DIR "/data/compilers"));
    m_services->simulated = {"AVR/ATmega328P", "AVR/ATmega168", "avr/attiny85", "MCS51/AT89S52"};
    m_catalogue = std::make_unique<BuildConfigList>(m_services.get());
    m_catalogue->load();
}

void tst_ControllerDialog::install(const QStringList &compilers)
{
    for (const QString &name : compilers)
        m_catalogue->find(name)->setConfigured(true, QStringLiteral("/usr/bin"));
}

std::unique_ptr<Project> tst_ControllerDialog::openBoard()
{
    const QString folder = m_dir.filePath(QString::number(QDateTime::currentMSecsSinceEpoch()));
    copyTree(QStringLiteral(DYX_SOURCE_DIR "/data/devboards/AVR Blinky"), folder);
    auto project = std::make_unique<Project>(m_catalogue.get(), m_services.get());
    if (!project->load(folder + QStringLiteral("/AVR Blinky.dyxp")))
        return nullptr;
    return project;
}

void tst_ControllerDialog::clockDisplay_data()
{
    QTest::addColumn<QString>("clock");
    QTest::addColumn<QString>("shown");
    addRow("megahertz", "20000000", "20MHz");
    addRow("kilohertz", "4000", "4KHz");
    addRow("gigahertz", "1000000000", "1GHz");
    addRow("hertz", "32768", "32768Hz");
    addRow("zero", "0", "0Hz");
    addRow("two zeros", "1843200", "1843200Hz");
    addRow("four zeros", "110000", "110KHz");
    addRow("with its unit", "16MHz", "16MHz");
}

void tst_ControllerDialog::clockDisplay()
{
    QFETCH(QString, clock);
    QFETCH(QString, shown);
    QCOMPARE(ControllerDialog::clockDisplay(clock), shown);
}

void tst_ControllerDialog::choices_data()
{
    QTest::addColumn<QStringList>("installed");
    QTest::addColumn<bool>("simulatorOnly");
    QTest::addColumn<QStringList>("families");
    QTest::addColumn<QStringList>("controllers"); // of AVR
    QTest::addColumn<QStringList>("compilers");   // of the board's ATmega328P
    QTest::addColumn<bool>("complete");
    // The board's own choice stays in sight, though nothing offers it.
    QTest::newRow("nothing installed") << QStringList() << false << QStringList() << QStringList()
                                       << QStringList({"GNU AVR GCC (Not Installed)"}) << true;
    QTest::newRow("everything the simulator runs")
        << QStringList() << true << QStringList({"AVR", "MCS51"})
        << QStringList({"ATmega168", "ATmega328P", "ATtiny85"})
        << QStringList({"GNU AVR GCC (Not Installed)"}) << true;
    QTest::newRow("avr-gcc installed")
        << QStringList({"GNU AVR GCC"}) << false << QStringList({"AVR"})
        << QStringList({"ATmega168", "ATmega328P", "ATtiny85"}) << QStringList({"GNU AVR GCC"})
        << true;
}

void tst_ControllerDialog::choices()
{
    QFETCH(QStringList, installed);
    QFETCH(bool, simulatorOnly);
    QFETCH(QStringList, families);
    QFETCH(QStringList, controllers);
    QFETCH(QStringList, compilers);
    QFETCH(bool, complete);
    install(installed);
    const auto project = openBoard();
    QVERIFY(project);
    ControllerDialog dialog(project.get(), m_catalogue.get(), m_services.get(), nullptr);
    QCOMPARE(dialog.windowTitle(), QStringLiteral("AVR Blinky Project Settings"));
    child<QCheckBox>(dialog, "simulatorOnly")->setChecked(simulatorOnly);
    QCOMPARE(items(child<QComboBox>(dialog, "controllerFamily")), families);
    QCOMPARE(items(child<QComboBox>(dialog, "controller")), controllers);
    QCOMPARE(items(child<QComboBox>(dialog, "compiler")), compilers);
    // What the project asks for stays in sight.
    QCOMPARE(child<QComboBox>(dialog, "controllerFamily")->currentText(), QStringLiteral("AVR"));
    QCOMPARE(child<QComboBox>(dialog, "controller")->currentText(), QStringLiteral("ATmega328P"));
    QCOMPARE(child<QPushButton>(dialog, "okButton")->isEnabled(), complete);
    QCOMPARE(child<QPushButton>(dialog, "compilersPushButton")->isEnabled(), !compilers.isEmpty());
    QVERIFY(!child<QPushButton>(dialog, "nextButton")->isVisibleTo(&dialog));

    // Without a project nothing is asked for: with nothing installed nothing can be chosen.
    ControllerDialog empty(nullptr, m_catalogue.get(), m_services.get(), nullptr);
    QCOMPARE(empty.windowTitle(), QStringLiteral("Controller Selection"));
    if (installed.isEmpty() && !simulatorOnly) {
        QCOMPARE(child<QComboBox>(empty, "controllerFamily")->count(), 0);
        QVERIFY(!child<QPushButton>(empty, "okButton")->isEnabled());
        QVERIFY(!child<QPushButton>(empty, "nextButton")->isEnabled());
        QVERIFY(!child<QPushButton>(empty, "compilersPushButton")->isEnabled());
    }
}

// Cancel changes nothing; OK with a compiler that is not installed asks, and Cancel there
// keeps the dialog open with nothing written.
void tst_ControllerDialog::cancelAndNotInstalled()
{
    const auto project = openBoard();
    QVERIFY(project);
    const QByteArray before = readFile(project->filePath());
    {
        ControllerDialog dialog(project.get(), m_catalogue.get(), m_services.get(), nullptr);
        dialog.show();
        child<QCheckBox>(dialog, "simulatorOnly")->setChecked(true);
        child<QComboBox>(dialog, "controller")->setCurrentText(QStringLiteral("ATtiny85"));
        ScriptedPrompts prompts;
        prompts.answers << QMessageBox::Cancel;
        QTest::mouseClick(child<QPushButton>(dialog, "okButton"), Qt::LeftButton);
        QCOMPARE(prompts.asked.size(), 1);
        QCOMPARE(prompts.asked.first().text,
                 QStringLiteral("The selected compiler is not installed."));
        QCOMPARE(prompts.asked.first().informativeText, QStringLiteral("Do you want to proceed?"));
        QVERIFY(dialog.isVisible());
        QTest::mouseClick(child<QPushButton>(dialog, "cancelButton"), Qt::LeftButton);
        QCOMPARE(dialog.resultCode(), int(ControllerDialog::CancelResult));
    }
    QCOMPARE(project->configuration(0)->controller(), QStringLiteral("ATmega328P"));
    QCOMPARE(readFile(project->filePath()), before);
}

// Back, on the wizard's page, leaves the project as it was and says so to the wizard.
void tst_ControllerDialog::backChangesNothing()
{
    install({QStringLiteral("GNU AVR GCC")});
    const auto project = openBoard();
    QVERIFY(project);
    ControllerDialog dialog(project.get(), m_catalogue.get(), m_services.get(), nullptr);
    dialog.setWizardPage(true);
    child<QComboBox>(dialog, "controller")->setCurrentText(QStringLiteral("ATtiny85"));
    QTest::mouseClick(child<QPushButton>(dialog, "backButton"), Qt::LeftButton);
    QCOMPARE(dialog.resultCode(), int(ControllerDialog::BackResult));
    QCOMPARE(dialog.result(), int(QDialog::Accepted));
    QCOMPARE(project->configuration(0)->controller(), QStringLiteral("ATmega328P"));
}

void tst_ControllerDialog::configurationsWithoutTargetFollowTheFirst()
{
    install({QStringLiteral("GNU AVR GCC")});
    const auto project = openBoard();
    QVERIFY(project);
    auto *bare = new BuildProject(m_services.get(), m_catalogue.get());
    bare->setName(QStringLiteral("Bare"));
    project->addConfiguration(bare);
    ControllerDialog dialog(project.get(), m_catalogue.get(), m_services.get(), nullptr);
    dialog.setWizardPage(true);
    QTest::mouseClick(child<QPushButton>(dialog, "nextButton"), Qt::LeftButton);
    QCOMPARE(dialog.resultCode(), int(ControllerDialog::NextResult));
    const BuildProject *first = project->configuration(0);
    for (int i = 1; i < project->configurationCount(); ++i) {
        const BuildProject *other = project->configuration(i);
        QCOMPARE(other->compilerName(), first->compilerName());
        QCOMPARE(other->family(), first->family());
        QCOMPARE(other->controller(), first->controller());
        QCOMPARE(other->clock(), first->clock());
    }
    QCOMPARE(project->configuration(project->configurationCount() - 1)->name(),
             QStringLiteral("Bare"));
}

QTEST_MAIN(tst_ControllerDialog)
#include "tst_controllerdialog.moc"
