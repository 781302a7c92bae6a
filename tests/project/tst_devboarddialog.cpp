#include "common/fakewindowservices.h"
#include "common/scriptedprompts.h"
#include "common/testfiles.h"
#include "project/ui/devboarddialog.h"
#include "toolchain/buildconfiglist.h"

#include <QComboBox>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QTextEdit>
#include <QTreeWidget>
#include <QtTest>

// The wizard's first page on the shipped boards, on an empty boards folder, and on a design
// file's folder.
class tst_DevBoardDialog : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { isolateSettings(); }
    void boards_data();
    void boards();
    void designFileFolder();

private:
};

void tst_DevBoardDialog::boards_data()
{
    QTest::addColumn<QString>("folder");
    QTest::addColumn<QStringList>("categories");
    QTest::addColumn<QStringList>("boards");
    QTest::newRow("shipped") << QStringLiteral(DYX_SOURCE_DIR "/data/devboards")
                             << QStringList({"8051", "AVR", "Assembler", "LED", "PIC"})
                             << QStringList({"8051 Blinky", "AVR Blinky", "PIC16 Blinky"});
    QTest::newRow("empty") << "" << QStringList() << QStringList();
}

void tst_DevBoardDialog::boards()
{
    QFETCH(QString, folder);
    QFETCH(QStringList, categories);
    QFETCH(QStringList, boards);
    QTemporaryDir empty;
    FakeWindowServices services;
    services.settingsStore().setDirectory(SettingsStore::Compilers,
                                          QStringLiteral(DYX_SOURCE_DIR "/data/compilers"));
    services.settingsStore().setDirectory(SettingsStore::DevBoards,
                                          folder.isEmpty() ? empty.path() : folder);
    BuildConfigList catalogue(&services);
    catalogue.load();
    DevBoardDialog dialog(&services, &catalogue, nullptr);
    QCOMPARE(dialog.windowTitle(), QStringLiteral("New Project Wizard"));
    auto *combo = child<QComboBox>(dialog, "demoProjectComboBox");
    QCOMPARE(combo->itemText(0), QStringLiteral("All"));
    QCOMPARE(dialog.categories(), categories);
    QCOMPARE(dialog.boardNames(), boards);
    if (!boards.isEmpty()) {
        combo->setCurrentText(QStringLiteral("PIC"));
        QCOMPARE(dialog.boardNames(), QStringList({"PIC16 Blinky"}));
        child<QListWidget>(dialog, "demoProjectsList")->setCurrentRow(0);
        QVERIFY(dialog.selectedBoard());
        QVERIFY(!child<QTextEdit>(dialog, "configurationDescription")->toPlainText().isEmpty());
    }
}

// The folder beside a design file: sources checked, the project file shown without a box,
// subfolders unread until opened; Next only for an existing ".DSN".
void tst_DevBoardDialog::designFileFolder()
{
    QTemporaryDir dir;
    QDir().mkpath(dir.filePath(QStringLiteral("sub")));
    for (const char *name : {"board.DSN", "main.c", "notes.txt", "old.dyxp", "sub/x.c"})
        QVERIFY(writeFile(dir.filePath(QLatin1String(name))));
    FakeWindowServices services;
    services.settingsStore().setDirectory(SettingsStore::Compilers,
                                          QStringLiteral(DYX_SOURCE_DIR "/data/compilers"));
    BuildConfigList catalogue(&services);
    catalogue.load();
    DevBoardDialog dialog(&services, &catalogue, nullptr);
    child<QRadioButton>(dialog, "designFileRadioButton")->setChecked(true);
    auto *next = child<QPushButton>(dialog, "nextButton");
    auto *edit = child<QLineEdit>(dialog, "designFileEdit");
    edit->setText(dir.filePath(QStringLiteral("main.c")));
    QVERIFY(!next->isEnabled());
    edit->setText(dir.filePath(QStringLiteral("board.DSN")));
    QVERIFY(next->isEnabled());
    const QTreeWidgetItem *top = child<QTreeWidget>(dialog, "directoryViewTreeWidget")
                                     ->topLevelItem(0);
    QStringList shown;
    for (int i = 0; i < top->childCount(); ++i) {
        const QTreeWidgetItem *item = top->child(i);
        shown.append(item->text(0)
                     + (item->flags() & Qt::ItemIsUserCheckable
                            ? (item->checkState(0) == Qt::Checked ? " [x]" : " [ ]")
                            : ""));
    }
    QCOMPARE(shown, QStringList({"main.c [x]", "old.dyxp (Project File)", "sub [ ]"}));
    QTest::mouseClick(next, Qt::LeftButton);
    QCOMPARE(dialog.page(), int(DevBoardDialog::NextPage));
    QCOMPARE(dialog.filesToAdd(),
             QStringList({dir.filePath(QStringLiteral("main.c")),
                          dir.filePath(QStringLiteral("board.DSN"))}));
}

QTEST_MAIN(tst_DevBoardDialog)
#include "tst_devboarddialog.moc"
