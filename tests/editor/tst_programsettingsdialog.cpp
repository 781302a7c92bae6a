#include "common/datarows.h"
#include "common/fakewindowservices.h"
#include "common/scriptedprompts.h"
#include "common/testfiles.h"
#include "editor/ui/programsettingsdialog.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QSettings>
#include <QTabWidget>
#include <QtTest>

class tst_ProgramSettingsDialog : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { isolateSettings(); }
    void init();
    void storedValuesOutsideTheListsStay();
    void loadDefaultsThenOk();
    void itemControlsFollowTheItem_data();
    void itemControlsFollowTheItem();
    void directoryRows_data();
    void directoryRows();

private:
    static void ok(QDialog &dialog)
    {
        QTest::mouseClick(child<QDialogButtonBox>(dialog, "buttonBox")->button(QDialogButtonBox::Ok),
                          Qt::LeftButton);
    }
    static void show(QDialog &dialog, const QString &group, const QString &item)
    {
        child<QComboBox>(dialog, "textSettingsCombo")->setCurrentText(group);
        auto *items = child<QListWidget>(dialog, "displayItemsList");
        items->setCurrentItem(items->findItems(item, Qt::MatchExactly).value(0));
    }
};

void tst_ProgramSettingsDialog::init()
{
    FakeWindowServices services;
    services.settingsStore().settings().remove(QString());
}

// A size outside 6 to 24 and a colour outside the named sixteen survive OK untouched, while the
// lists show their first size and "Custom"; "Custom..." takes any colour.
void tst_ProgramSettingsDialog::storedValuesOutsideTheListsStay()
{
    FakeWindowServices services;
    QSettings &store = services.settingsStore().settings();
    DisplayGroup output = DisplaySettings::defaultGroup(QStringLiteral("Output Window"));
    output.fontSize = 30;
    output.item(QStringLiteral("Messages"))->foreground = QColor(0x12, 0x34, 0x56);
    DisplaySettings::writeGroup(store, output);

    ScriptedPrompts prompts;
    prompts.colours << QColor(0x65, 0x43, 0x21);
    ProgramSettingsDialog dialog(&services, nullptr);
    show(dialog, QStringLiteral("Output Window"), QStringLiteral("Messages"));
    QCOMPARE(child<QComboBox>(dialog, "fontSizeCombo")->currentText(), QStringLiteral("6"));
    QCOMPARE(child<QComboBox>(dialog, "foregroundColourCombo")->currentText(),
             QStringLiteral("Custom"));
    show(dialog, QStringLiteral("Output Window"), QStringLiteral("Success"));
    QTest::mouseClick(child<QPushButton>(dialog, "foregroundCustomButton"), Qt::LeftButton);
    QCOMPARE(child<QComboBox>(dialog, "foregroundColourCombo")->currentText(),
             QStringLiteral("Custom"));
    ok(dialog);

    const DisplayGroup stored = DisplaySettings::readGroup(store, QStringLiteral("Output Window"));
    QCOMPARE(stored.fontSize, 30);
    QCOMPARE(stored.item(QStringLiteral("Messages"))->foreground, QColor(0x12, 0x34, 0x56));
    QCOMPARE(stored.item(QStringLiteral("Success"))->foreground, QColor(0x65, 0x43, 0x21));
}

// "Load Defaults" then OK stores the defaults table, "Selection" included; each group stores its
// own items, and the preferences take the dialog's defaults.
void tst_ProgramSettingsDialog::loadDefaultsThenOk()
{
    FakeWindowServices services;
    ProgramSettingsDialog dialog(&services, nullptr);
    show(dialog, QStringLiteral("Text Editor"), QStringLiteral("Text"));
    QTest::mouseClick(child<QPushButton>(dialog, "textSettingsDefaultsButton"), Qt::LeftButton);
    ok(dialog);
    QCOMPARE(dialog.result(), int(QDialog::Accepted));

    QSettings &store = services.settingsStore().settings();
    const DisplayGroup editor = DisplaySettings::readGroup(store, QStringLiteral("Text Editor"));
    QVERIFY(!editor.item(QStringLiteral("Selection"))->defaultBackground);
    QCOMPARE(editor.item(QStringLiteral("Selection"))->background, QColor(Qt::lightGray));
    const QList<QPair<QString, int>> counts = {{QStringLiteral("Text Editor"), 16},
                                               {QStringLiteral("Projects Tree"), 3},
                                               {QStringLiteral("Output Window"), 4}};
    for (const auto &[group, count] : counts) {
        store.beginGroup(group + QStringLiteral(" Display Settings"));
        QCOMPARE(store.beginReadArray(QStringLiteral("items")), count);
        store.endArray();
        store.endGroup();
    }
    store.beginGroup(QStringLiteral("Text Editor Display Settings"));
    // The editors' own defaults.
    QCOMPARE(store.value(QStringLiteral("Folding style")), QVariant(3));
    QCOMPARE(store.value(QStringLiteral("Tabs for indents")), QVariant(true));
    store.endGroup();
}

void tst_ProgramSettingsDialog::itemControlsFollowTheItem_data()
{
    QTest::addColumn<QString>("item");
    QTest::addColumn<bool>("styles");            // bold, italic, underline enabled
    QTest::addColumn<bool>("foregroundDefault"); // its "Default" box shown
    QTest::addColumn<bool>("background");        // the background list enabled
    QTest::newRow("text") << "Text" << true << false << true;
    QTest::newRow("caret: colours only") << "Caret" << false << false << true;
    QTest::newRow("selection: default colours") << "Selection" << false << true << false;
    addRow("call tips highlight: foreground only", "Call Tips Highlight", false, false, false);
}

void tst_ProgramSettingsDialog::itemControlsFollowTheItem()
{
    QFETCH(QString, item);
    QFETCH(bool, styles);
    QFETCH(bool, foregroundDefault);
    QFETCH(bool, background);
    FakeWindowServices services;
    ProgramSettingsDialog dialog(&services, nullptr);
    dialog.show();
    child<QTabWidget>(dialog, "tabWidget")->setCurrentIndex(1);
    show(dialog, QStringLiteral("Text Editor"), item);
    QCOMPARE(child<QCheckBox>(dialog, "boldCheckBox")->isEnabled(), styles);
    QCOMPARE(child<QCheckBox>(dialog, "underlineCheckBox")->isEnabled(), styles);
    QCOMPARE(child<QCheckBox>(dialog, "foregroundDefaultCheckBox")->isVisible(), foregroundDefault);
    QCOMPARE(child<QComboBox>(dialog, "backgroundColourCombo")->isEnabled(), background);
    // A stored store has no "Selection": both its colours are the widget's own until unticked.
    if (foregroundDefault) {
        auto *useDefault = child<QCheckBox>(dialog, "backgroundDefaultCheckBox");
        QVERIFY(useDefault->isChecked());
        QTest::mouseClick(useDefault, Qt::LeftButton, {}, QPoint(4, useDefault->height() / 2));
        QVERIFY(child<QComboBox>(dialog, "backgroundColourCombo")->isEnabled());
        QVERIFY(!dialog.groups().first().item(item)->defaultBackground);
    }
}

void tst_ProgramSettingsDialog::directoryRows_data()
{
    QTest::addColumn<QString>("row");
    QTest::addColumn<QString>("caption");
    QTest::addColumn<int>("setting"); // -1: the simulator installation
    QTest::newRow("compilers") << "compilers"
                               << "Compilers Configuration Files Directory"
                               << int(SettingsStore::Compilers);
    QTest::newRow("simulator") << "simulator"
                               << "Simulator Configuration Files Directory"
                               << int(SettingsStore::Simulator);
    addRow("syntax", "syntax", "Syntax Higlighting Files Directory", int(SettingsStore::Syntax));
    addRow("tools", "tools", "Tools Directory", int(SettingsStore::Tools));
    addRow("boards", "devBoards", "Development Boards Directory", int(SettingsStore::DevBoards));
    addRow("installation", "cirrane", "Cirrane Directory", -1);
    addRow("projects", "projects", "Projects Directory", int(SettingsStore::Projects));
}

// Each directory's browse button asks under its own caption and fills its own field; its
// default button puts the default back; OK stores the field in its own setting, but not one
// without its full path, nor one that does not exist unless the user keeps it.
void tst_ProgramSettingsDialog::directoryRows()
{
    QFETCH(QString, row);
    QFETCH(QString, caption);
    QFETCH(int, setting);
    FakeWindowServices services;
    ScriptedPrompts prompts;
    QTemporaryDir chosen;
    ProgramSettingsDialog dialog(&services, nullptr);
    auto *edit = dialog.findChild<QLineEdit *>(row + QStringLiteral("Edit"));
    const auto click = [&dialog](const QString &name) {
        dialog.findChild<QAbstractButton *>(name)->click();
    };
    click(row + QStringLiteral("DefaultButton"));
    if (setting >= 0)
        QCOMPARE(edit->text(), SettingsStore::defaultDirectory(SettingsStore::Directory(setting)));
    prompts.fileNames.enqueue(chosen.path());
    click(row + QStringLiteral("Button"));
    QCOMPARE(prompts.asked.last().title, caption);
    QCOMPARE(edit->text(), chosen.path());
    SettingsStore &store = services.settingsStore();
    const auto stored = [&] {
        return setting >= 0 ? store.directory(SettingsStore::Directory(setting))
                            : store.cirraneDirectory();
    };
    const QString before = stored();
    // "bin" is there, in the folder the program runs in.
    const QString runsIn = QDir::currentPath();
    QVERIFY(QDir(chosen.path()).mkpath(QStringLiteral("bin")) && QDir::setCurrent(chosen.path()));
    const auto back = qScopeGuard([&] { QDir::setCurrent(runsIn); });
    for (const QString &typed : {QStringLiteral("bin"), QStringLiteral("/no/such/folder")}) {
        edit->setText(typed);
        prompts.answers.enqueue(QMessageBox::No); // for the folder that does not exist
        ok(dialog);
        QVERIFY(dialog.result() != QDialog::Accepted && prompts.answers.isEmpty());
        QVERIFY(prompts.asked.last().text.contains(QLatin1Char('\n') + typed));
        QCOMPARE(stored(), before);
    }
    prompts.answers.clear();
    edit->setText(chosen.path());
    ok(dialog);
    QCOMPARE(stored(), chosen.path());
}

QTEST_MAIN(tst_ProgramSettingsDialog)
#include "tst_programsettingsdialog.moc"
