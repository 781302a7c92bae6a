#include "build/buildproject.h"
#include "common/datarows.h"
#include "common/fakewindowservices.h"
#include "common/testfiles.h"
#include "project/ui/project.h"
#include "toolchain/buildconfiglist.h"
#include "toolchain/ui/configurationoptionsdialog.h"

#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTabWidget>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QtTest>

// The project options on a small compiler of one tool whose options are one of each kind, and
// a project that already sets two of them and one the tool does not define.
class tst_ConfigurationOptionsDialog : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void rowsAndTheAddList();
    void addedAndDeletedOptionsAreOffered();
    void numbersOnly_data();
    void numbersOnly();
    void optionWithAnIdStaysAndExplainsItself();
    void cancelAfterDefaults();
    void wheelScrollsTheTableNotAChoice();

private:
    static QStringList column(QTableWidget *table, int column)
    {
        QStringList texts;
        for (int row = 0; row < table->rowCount(); ++row) {
            const auto *choices = qobject_cast<QComboBox *>(table->cellWidget(row, column));
            texts.append(choices ? choices->currentText() : table->item(row, column)->text());
        }
        return texts;
    }
    static QStringList items(QComboBox *combo)
    {
        QStringList list;
        for (int i = 0; i < combo->count(); ++i)
            list.append(combo->itemText(i));
        return list;
    }
    std::unique_ptr<Project> open();

    QTemporaryDir m_dir;
    std::unique_ptr<FakeWindowServices> m_services;
    std::unique_ptr<BuildConfigList> m_catalogue;
};

static void put(const QString &path, const QByteArray &text)
{
    QVERIFY(writeFile(path, text));
}

void tst_ConfigurationOptionsDialog::initTestCase()
{
    isolateSettings();
    QDir().mkpath(m_dir.filePath(QStringLiteral("compilers")));
    put(m_dir.filePath(QStringLiteral("compilers/small.xml")),
        "<COMPILER NAME=\"Small\"><TOOL FILE=\"cat\" NAME=\"CC\">"
        "<OPTION NAME=\"-v\" DESC=\"Verbose\"/>"
        "<OPTION NAME=\"-n\" DESC=\"Count\" PARAM=\"NUMBER\"/>"
        "<OPTION NAME=\"-h\" DESC=\"Fill\" PARAM=\"NUMBER\" RADIX=\"16\"/>"
        "<OPTION NAME=\"-s \" DESC=\"Script\" PARAM=\"STRING\" ID=\"SCRIPT\"/>"
        "<OPTION NAME=\"-I\" DESC=\"Include folder\" PARAM=\"STRING\" MULTIPLE=\"1\"/>"
        "<OPTION NAME=\"-m\" DESC=\"Mode\" PARAM=\"CHOICE\"><PARAM VALUE=\"fast\"/>"
        "<PARAM VALUE=\"small\"/></OPTION>"
        "<OPTION NAME=\"-O\" DESC=\"Level\" PARAM=\"CHOICE\"><PARAM VALUE=\"1\"/>"
        "<PARAM VALUE=\"2\" DEFAULT=\"1\"/></OPTION></TOOL>"
        "<PROCESS TOOL=\"CC\" NAME=\"compile\" CMDLINE=\"cat %INFILE% > %OUTFILE%\">"
        "<FILE OUTPUT=\"o\" INPUT=\"c\"/></PROCESS>"
        "<FILE NAME=\"c\" CATEGORY=\"Source\" SOURCE=\"1\"/>"
        "<FAMILY NAME=\"F\"><CONTROLLER NAME=\"C1\"/><CONTROLLER NAME=\"C2\"/></FAMILY>"
        "<TARGET NAME=\"Debug\"><FILE OUTPUT=\"o\"/></TARGET></COMPILER>");
    put(m_dir.filePath(QStringLiteral("a.c")), "int a;\n");
    m_services = std::make_unique<FakeWindowServices>();
    m_services->settingsStore().setDirectory(SettingsStore::Compilers,
                                             m_dir.filePath(QStringLiteral("compilers")));
    m_services->simulated = {"F/C1", "F/C2"};
    m_catalogue = std::make_unique<BuildConfigList>(m_services.get());
    m_catalogue->load();
}

std::unique_ptr<Project> tst_ConfigurationOptionsDialog::open()
{
    put(m_dir.filePath(QStringLiteral("p.dyxp")),
        "<PROJECT><FILES><FILE NAME=\"a.c\" GROUP=\"Source Files\"/></FILES>"
        "<CONFIGURATION NAME=\"Debug\" COMPILER=\"Small\" TARGET=\"Debug\">"
        "<CONTROLLER FAMILY=\"F\" TYPE=\"C1\" CLOCK=\"20000000\"/>"
        "<OPTION NAME=\"-v\" TOOL=\"CC\"/><OPTION NAME=\"-O\" TOOL=\"CC\" VALUE=\"1\"/>"
        "<OPTION NAME=\"--odd\" TOOL=\"CC\" VALUE=\"x\"/></CONFIGURATION>"
        "<CONFIGURATION NAME=\"Release\" COMPILER=\"Small\" TARGET=\"Debug\">"
        "<CONTROLLER FAMILY=\"F\" TYPE=\"C1\"/></CONFIGURATION></PROJECT>");
    auto project = std::make_unique<Project>(m_catalogue.get(), m_services.get());
    if (!project->load(m_dir.filePath(QStringLiteral("p.dyxp"))))
        return nullptr;
    project->setActiveConfiguration(0);
    return project;
}

void tst_ConfigurationOptionsDialog::rowsAndTheAddList()
{
    const auto project = open();
    QVERIFY(project);
    ConfigurationOptionsDialog dialog(project.get(), 0, m_services.get(), nullptr);
    QCOMPARE(dialog.windowTitle(), QStringLiteral("Project Options"));
    QCOMPARE(items(child<QComboBox>(dialog, "configurationsCombo")),
             QStringList({"Debug (Active)", "Release"}));
    QCOMPARE(child<QLineEdit>(dialog, "toolChainEdit")->text(), QStringLiteral("Small"));
    QCOMPARE(child<QLineEdit>(dialog, "clockFrequency")->text(), QStringLiteral("20MHz"));
    QCOMPARE(items(child<QComboBox>(dialog, "controllerCombo")), QStringList({"C1", "C2"}));
    auto *table = child<QTableWidget>(dialog, "optionsTable");
    QCOMPARE(column(table, 1), QStringList({"-v", "-O", "--odd"}));
    QCOMPARE(column(table, 2), QStringList({"", "1", "x"}));
    QCOMPARE(column(table, 3), QStringList({"None", "Choice", "String"}));
    QCOMPARE(column(table, 0), QStringList({"Verbose", "Level", ""}));
    QVERIFY(table->isColumnHidden(0));
    // Used single options are not offered again; "-I" may be given many times.
    QCOMPARE(items(child<QComboBox>(dialog, "addComboBox")),
             QStringList({"Generic Option",
                          "-I Include folder",
                          "-h Fill",
                          "-m Mode",
                          "-n Count",
                          "-s  Script"}));
    QCOMPARE(child<QComboBox>(dialog, "addComboBox")->toolTip(),
             QStringLiteral("Generic Option allows arbitrary options to be created"));
    QCOMPARE(child<QTabWidget>(dialog, "settingsTabWidget")->count(), 2); // no Project tab
}

// An option without a default choice comes empty; a single option is offered while unused.
// (Adding, moving, deleting and values are tested through the main window with the other
// configuration work.)
void tst_ConfigurationOptionsDialog::addedAndDeletedOptionsAreOffered()
{
    const auto project = open();
    QVERIFY(project);
    ConfigurationOptionsDialog dialog(project.get(), 0, m_services.get(), nullptr);
    auto *table = child<QTableWidget>(dialog, "optionsTable");
    auto *add = child<QComboBox>(dialog, "addComboBox");
    add->setCurrentText(QStringLiteral("-m Mode"));
    QTest::mouseClick(child<QPushButton>(dialog, "addOptionButton"), Qt::LeftButton);
    QCOMPARE(column(table, 1).last(), QStringLiteral("-m"));
    QCOMPARE(column(table, 2).last(), QString());
    QVERIFY(!items(add).contains(QStringLiteral("-m Mode")));
    table->setCurrentCell(1, 1);
    QTest::mouseClick(child<QPushButton>(dialog, "deleteButton"), Qt::LeftButton);
    QCOMPARE(column(table, 1), QStringList({"-v", "--odd", "-m"}));
    QVERIFY(items(add).contains(QStringLiteral("-O Level")));
}

void tst_ConfigurationOptionsDialog::numbersOnly_data()
{
    QTest::addColumn<QString>("option");
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("kept");
    addRow("decimal", "-n Count", "12ab.5x", "12.5");
    addRow("hexadecimal after 0x", "-n Count", "0x1fzz", "0x1f");
    addRow("a tool that reads hexadecimal", "-h Fill", "3FfFg", "3FfF");
}

// A number option takes what its tool reads.
void tst_ConfigurationOptionsDialog::numbersOnly()
{
    QFETCH(QString, option);
    QFETCH(QString, typed);
    QFETCH(QString, kept);
    const auto project = open();
    QVERIFY(project);
    ConfigurationOptionsDialog dialog(project.get(), 0, m_services.get(), nullptr);
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    child<QTabWidget>(dialog, "settingsTabWidget")->setCurrentIndex(1);
    child<QComboBox>(dialog, "addComboBox")->setCurrentText(option);
    QTest::mouseClick(child<QPushButton>(dialog, "addOptionButton"), Qt::LeftButton);
    auto *table = child<QTableWidget>(dialog, "optionsTable");
    const int row = table->rowCount() - 1;
    table->setCurrentCell(row, 2);
    table->editItem(table->item(row, 2));
    auto *editor = table->findChild<QLineEdit *>();
    QVERIFY(editor);
    QTest::keyClicks(editor, typed);
    QCOMPARE(editor->text(), kept);
}

// An option naming a file of the step (an ID) whose name ends in a blank: its description
// shows, and after OK it is still there to edit.
void tst_ConfigurationOptionsDialog::optionWithAnIdStaysAndExplainsItself()
{
    const auto project = open();
    QVERIFY(project);
    {
        ConfigurationOptionsDialog dialog(project.get(), 0, m_services.get(), nullptr);
        auto *add = child<QComboBox>(dialog, "addComboBox");
        add->setCurrentText(QStringLiteral("-s  Script"));
        QCOMPARE(add->toolTip(), QStringLiteral("Script"));
        QTest::mouseClick(child<QPushButton>(dialog, "addOptionButton"), Qt::LeftButton);
        auto *table = child<QTableWidget>(dialog, "optionsTable");
        table->item(table->rowCount() - 1, 2)->setText(QStringLiteral("board.lkr"));
        QTest::mouseClick(child<QPushButton>(dialog, "okButton"), Qt::LeftButton);
    }
    ConfigurationOptionsDialog again(project.get(), 0, m_services.get(), nullptr);
    auto *table = child<QTableWidget>(again, "optionsTable");
    QVERIFY(column(table, 1).contains(QStringLiteral("-s ")));
    QVERIFY(column(table, 2).contains(QStringLiteral("board.lkr")));
    QVERIFY(column(table, 0).contains(QStringLiteral("Script")));
}

void tst_ConfigurationOptionsDialog::cancelAfterDefaults()
{
    const auto project = open();
    QVERIFY(project);
    const QList<OptionSetting> before = project->configuration(0)->options();
    ConfigurationOptionsDialog dialog(project.get(), 0, m_services.get(), nullptr);
    QTest::mouseClick(child<QPushButton>(dialog, "defaultsButton"), Qt::LeftButton);
    QCOMPARE(child<QTableWidget>(dialog, "optionsTable")->rowCount(), 0);
    QTest::mouseClick(child<QPushButton>(dialog, "cancelButton"), Qt::LeftButton);
    QCOMPARE(dialog.resultCode(), int(ConfigurationOptionsDialog::CancelResult));
    QCOMPARE(project->configuration(0)->options(), before);
}

// Scrolling the table with the wheel over a choice changes no option; a choice clicked into
// takes the wheel.
void tst_ConfigurationOptionsDialog::wheelScrollsTheTableNotAChoice()
{
    const auto project = open();
    QVERIFY(project);
    ConfigurationOptionsDialog dialog(project.get(), 0, m_services.get(), nullptr);
    child<QTabWidget>(dialog, "settingsTabWidget")->setCurrentIndex(1);
    auto *add = child<QComboBox>(dialog, "addComboBox");
    add->setCurrentText(QStringLiteral("-I Include folder"));
    auto *table = child<QTableWidget>(dialog, "optionsTable");
    while (table->rowCount() < 30)
        QTest::mouseClick(child<QPushButton>(dialog, "addOptionButton"), Qt::LeftButton);
    dialog.show();
    dialog.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&dialog));
    table->scrollToTop();
    auto *level = qobject_cast<QComboBox *>(table->cellWidget(1, 2));
    QVERIFY(level);
    // Through the window, as the mouse would: the window gives the focus the wheel may give.
    const auto turn = [&dialog, level] {
        const QPointF at = level->mapTo(&dialog, QPointF(5, 5));
        QWheelEvent wheel(at,
                          dialog.mapToGlobal(at),
                          QPoint(),
                          QPoint(0, -120),
                          Qt::NoButton,
                          Qt::NoModifier,
                          Qt::NoScrollPhase,
                          false);
        QApplication::sendEvent(dialog.windowHandle(), &wheel);
    };
    turn();
    QCOMPARE(level->currentText(), QStringLiteral("1"));
    level->setFocus();
    turn();
    QCOMPARE(level->currentText(), QStringLiteral("2"));
}

QTEST_MAIN(tst_ConfigurationOptionsDialog)
#include "tst_configurationoptionsdialog.moc"
