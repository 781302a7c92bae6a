#include "common/fakewindowservices.h"
#include "common/testfiles.h"
#include "project/ui/sampleproject.h"
#include "toolchain/buildconfiglist.h"

#include <QComboBox>
#include <QDir>
#include <QPushButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTextEdit>
#include <QtTest>

// The sample browser on an installation of its own: the three boards as samples in folders
// by family, one of them twice under the same name, and one sample that does not load.
class tst_SampleProject : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { isolateSettings(); }
    void withoutSamples_data();
    void withoutSamples();
    void samples();

private:
    static void copyBoard(const QString &board, const QString &to, const QString &name)
    {
        const QString origin = QStringLiteral(DYX_SOURCE_DIR "/data/devboards/") + board;
        QDir().mkpath(to);
        for (const QString &file : QDir(origin).entryList(QDir::Files)) {
            const QString target = file.endsWith(QLatin1String(".dyxp")) ? name + ".dyxp" : file;
            QFile::copy(origin + QLatin1Char('/') + file, to + QLatin1Char('/') + target);
        }
    }
};

void tst_SampleProject::withoutSamples_data()
{
    QTest::addColumn<bool>("installation");
    QTest::newRow("no installation") << false;
    QTest::newRow("no SAMPLES folder") << true;
}

void tst_SampleProject::withoutSamples()
{
    QFETCH(bool, installation);
    QTemporaryDir dir;
    FakeWindowServices services;
    services.settingsStore().setCirraneDirectory(installation ? dir.path() : QString());
    SampleProject dialog(&services, nullptr, nullptr);
    QVERIFY(dialog.listed().isEmpty());
    QCOMPARE(child<QComboBox>(dialog, "categoryComboBox")->count(), 1);
    QSignalSpy chosen(&dialog, &SampleProject::sampleChosen);
    QTest::mouseClick(child<QPushButton>(dialog, "okButton"), Qt::LeftButton);
    QCOMPARE(dialog.result(), int(QDialog::Accepted));
    QCOMPARE(chosen.count(), 0);
}

void tst_SampleProject::samples()
{
    QTemporaryDir dir;
    const QString samples = dir.filePath(QStringLiteral("SAMPLES"));
    copyBoard(QStringLiteral("AVR Blinky"),
              samples + QStringLiteral("/AVR/Blink"),
              QStringLiteral("Blink"));
    copyBoard(QStringLiteral("PIC16 Blinky"),
              samples + QStringLiteral("/PIC/Blink"),
              QStringLiteral("Blink"));
    copyBoard(QStringLiteral("8051 Blinky"),
              samples + QStringLiteral("/MCS51"),
              QStringLiteral("Lamp"));
    QDir().mkpath(samples + QStringLiteral("/Broken"));
    QVERIFY(writeFile(samples + QStringLiteral("/Broken/Broken.dyxp"), "<PROJECT><not closed"));

    FakeWindowServices services;
    services.settingsStore().setDirectory(SettingsStore::Compilers,
                                          QStringLiteral(DYX_SOURCE_DIR "/data/compilers"));
    services.settingsStore().setCirraneDirectory(dir.path());
    BuildConfigList catalogue(&services);
    catalogue.load();
    SampleProject dialog(&services, &catalogue, nullptr);
    QCOMPARE(dialog.listed(), QStringList({"Blink", "Lamp", "Blink"}));
    auto *families = child<QComboBox>(dialog, "controllerComboBox");
    QStringList familyNames;
    for (int i = 0; i < families->count(); ++i)
        familyNames.append(families->itemText(i));
    QCOMPARE(familyNames, QStringList({"All", "AVR", "MCS51", "PIC16"}));
    families->setCurrentText(QStringLiteral("PIC16"));
    QCOMPARE(dialog.listed(), QStringList({"Blink"}));
    // Either "Blink" shows and opens the first of that name.
    const QString summary = child<QTextEdit>(dialog, "projectInfoTextEdit")->toPlainText();
    QVERIFY2(summary.contains(QStringLiteral("Family: AVR")), qPrintable(summary));
    QSignalSpy chosen(&dialog, &SampleProject::sampleChosen);
    QTest::mouseClick(child<QPushButton>(dialog, "okButton"), Qt::LeftButton);
    QCOMPARE(chosen.count(), 1);
    QCOMPARE(chosen.first().first().toString(), samples + QStringLiteral("/AVR/Blink/Blink.dyxp"));
}

QTEST_MAIN(tst_SampleProject)
#include "tst_sampleproject.moc"
