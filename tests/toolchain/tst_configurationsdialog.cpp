#include "build/buildproject.h"
#include "common/fakewindowservices.h"
#include "common/testfiles.h"
#include "project/ui/project.h"
#include "toolchain/buildconfiglist.h"
#include "toolchain/ui/configurationsdialog.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QDir>
#include <QPushButton>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QtTest>

// The configurations of the AVR board (Debug and Release, avr-gcc's targets Debug and Release).
// Renaming, copying and deleting are tested through the main window with the other project work.
class tst_ConfigurationsDialog : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void unknownTargetAndReject();

private:
    std::unique_ptr<Project> openBoard();
    static QStringList names(const Project &project)
    {
        QStringList list;
        for (int i = 0; i < project.configurationCount(); ++i)
            list.append(project.configuration(i)->name() + QLatin1Char('/')
                        + project.configuration(i)->targetName());
        return list;
    }
    void press(QDialog &dialog, QDialogButtonBox::StandardButton which)
    {
        QTest::mouseClick(child<QDialogButtonBox>(dialog, "buttonBox")->button(which),
                          Qt::LeftButton);
    }

    QTemporaryDir m_dir;
    std::unique_ptr<FakeWindowServices> m_services;
    std::unique_ptr<BuildConfigList> m_catalogue;
};

void tst_ConfigurationsDialog::initTestCase()
{
    isolateSettings();
    m_services = std::make_unique<FakeWindowServices>();
    m_services->settingsStore().setDirectory(SettingsStore::Compilers,
                                             QStringLiteral(DYX_SOURCE_DIR "/data/compilers"));
    m_catalogue = std::make_unique<BuildConfigList>(m_services.get());
    m_catalogue->load();
}

std::unique_ptr<Project> tst_ConfigurationsDialog::openBoard()
{
    const QString origin = QStringLiteral(DYX_SOURCE_DIR "/data/devboards/AVR Blinky");
    for (const QString &name : QDir(origin).entryList(QDir::Files)) {
        QFile::remove(m_dir.filePath(name));
        QFile::copy(origin + QLatin1Char('/') + name, m_dir.filePath(name));
    }
    auto project = std::make_unique<Project>(m_catalogue.get(), m_services.get());
    if (!project->load(m_dir.filePath(QStringLiteral("AVR Blinky.dyxp"))))
        return nullptr;
    return project;
}

// A target the compiler does not have shows as its first; Cancel changes nothing at all.
void tst_ConfigurationsDialog::unknownTargetAndReject()
{
    const auto project = openBoard();
    QVERIFY(project);
    project->configuration(1)->setTarget(QStringLiteral("Nightly"));
    {
        ConfigurationsDialog dialog(project.get(), nullptr);
        auto *table = child<QTableWidget>(dialog, "configurationsTable");
        QCOMPARE(table->horizontalHeaderItem(0)->text(), QStringLiteral("Configuration"));
        QCOMPARE(table->horizontalHeaderItem(1)->text(), QStringLiteral("Target"));
        table->item(0, 0)->setText(QStringLiteral("Renamed"));
        press(dialog, QDialogButtonBox::Cancel);
    }
    QCOMPARE(names(*project), QStringList({"Debug/Debug", "Release/Nightly"}));
    ConfigurationsDialog dialog(project.get(), nullptr);
    auto *table = child<QTableWidget>(dialog, "configurationsTable");
    QCOMPARE(qobject_cast<QComboBox *>(table->cellWidget(1, 1))->currentText(),
             QStringLiteral("Debug"));
    press(dialog, QDialogButtonBox::Ok);
    QCOMPARE(names(*project), QStringList({"Debug/Debug", "Release/Debug"}));
}

QTEST_MAIN(tst_ConfigurationsDialog)
#include "tst_configurationsdialog.moc"
