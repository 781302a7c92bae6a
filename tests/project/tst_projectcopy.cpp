#include "build/buildproject.h"
#include "common/datarows.h"
#include "common/fakewindowservices.h"
#include "common/scriptedprompts.h"
#include "common/testfiles.h"
#include "project/ui/project.h"
#include "toolchain/buildconfiglist.h"

#include <QCheckBox>
#include <QDir>
#include <QDirIterator>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>

#include <sys/stat.h>

// Copies of a project whose files sit in three sibling folders: flat or keeping the folders,
// into a place that already holds some of them.
class tst_ProjectCopy : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { isolateSettings(); }
    void copies_data();
    void copies();

private:
    static void put(const QString &path, const QByteArray &text)
    {
        QDir().mkpath(QFileInfo(path).absolutePath());
        QVERIFY(writeFile(path, text));
    }
    static QStringList tree(const QString &root)
    {
        QStringList files;
        for (QDirIterator it(root, QDir::Files, QDirIterator::Subdirectories); it.hasNext();)
            files.append(QDir(root).relativeFilePath(it.next()));
        files.sort();
        return files;
    }
};

void tst_ProjectCopy::copies_data()
{
    QTest::addColumn<bool>("keepStructure");
    QTest::addColumn<QString>("existing"); // a file already in the copy's folder
    QTest::addColumn<bool>("saved");
    QTest::addColumn<QStringList>("files"); // the copy's folder afterwards
    QTest::addColumn<bool>("fifo");         // lib/b.c a FIFO, as an archive can hold one
    QTest::newRow("keeping folders")
        << true << "" << true << QStringList({"New.dyxp", "inc/c.h", "lib/b.c", "src/a.c"})
        << false;
    addRow("flat", false, "", true, QStringList({"New.dyxp", "a.c", "b.c", "c.h"}), false);
    QTest::newRow("a destination exists, No keeps it")
        << true << "src/a.c" << true << QStringList({"New.dyxp", "inc/c.h", "lib/b.c", "src/a.c"})
        << false;
    addRow("a name in the folder: refused", true, "a.c", false, QStringList({"a.c"}), false);
    // What was copied before is taken away again.
    addRow("a FIFO: refused, not waited on", true, "", false, QStringList(), true);
}

void tst_ProjectCopy::copies()
{
    QFETCH(bool, keepStructure);
    QFETCH(QString, existing);
    QFETCH(bool, saved);
    QFETCH(QStringList, files);
    QFETCH(bool, fifo);
    QTemporaryDir dir;
    const QString root = dir.filePath(QStringLiteral("project"));
    put(root + QStringLiteral("/src/a.c"), "int a;\n");
    if (fifo) {
        QDir().mkpath(root + QStringLiteral("/lib"));
        QCOMPARE(::mkfifo(QFile::encodeName(root + QStringLiteral("/lib/b.c")).constData(), 0600),
                 0);
    } else {
        put(root + QStringLiteral("/lib/b.c"), "int b;\n");
    }
    put(root + QStringLiteral("/inc/c.h"), "extern int a;\n");
    put(root + QStringLiteral("/p.dyxp"),
        "<PROJECT><FILES><FILE NAME=\"src/a.c\" GROUP=\"Source Files\"/>"
        "<FILE NAME=\"lib/b.c\" GROUP=\"Source Files\"/><FILE NAME=\"inc/c.h\" "
        "GROUP=\"Header Files\"/></FILES><CONFIGURATION NAME=\"Debug\" COMPILER=\"GNU AVR GCC\" "
        "TARGET=\"Debug\"><CONTROLLER FAMILY=\"AVR\" TYPE=\"ATmega328P\"/></CONFIGURATION>"
        "</PROJECT>");
    const QString place = dir.filePath(QStringLiteral("place"));
    const QString copy = place + QStringLiteral("/New");
    if (!existing.isEmpty())
        put(copy + QLatin1Char('/') + existing, "old\n");

    FakeWindowServices services;
    services.settingsStore().setDirectory(SettingsStore::Compilers,
                                          QStringLiteral(DYX_SOURCE_DIR "/data/compilers"));
    services.settingsStore().setDirectory(SettingsStore::Projects, place);
    BuildConfigList catalogue(&services);
    catalogue.load();
    Project project(&catalogue, &services);
    QVERIFY(project.load(root + QStringLiteral("/p.dyxp")));
    ScriptedPrompts prompts;
    prompts.answers << QMessageBox::No;
    QTimer::singleShot(0, [keepStructure] {
        auto *dialog = qobject_cast<QDialog *>(QApplication::activeModalWidget());
        QVERIFY(dialog);
        child<QLineEdit>(dialog, "projectNameEdit")->setText(QStringLiteral("New"));
        child<QCheckBox>(dialog, "keepStructure")->setChecked(keepStructure);
        child<QPushButton>(dialog, "okButton")->click();
    });
    QCOMPARE(project.saveAs(true), saved);
    QCOMPARE(tree(copy), files);
    if (fifo) {
        QVERIFY(services.lines.last().contains(QStringLiteral("Could not copy file")));
        QVERIFY(!QFileInfo::exists(copy)); // nor the folders made for the copies
        QCOMPARE(project.filePath(), root + QStringLiteral("/p.dyxp"));
        return;
    }
    if (!saved) {
        QCOMPARE(prompts.asked.last().informativeText,
                 QStringLiteral("Cannot save project copy as files in the target directory "
                                "would be overwritten."));
        QCOMPARE(project.filePath(), root + QStringLiteral("/p.dyxp"));
        return;
    }
    QCOMPARE(project.filePath(), copy + QStringLiteral("/New.dyxp"));
    // Every file and every configuration names the copies.
    for (const QString &file : project.configuration(0)->allFiles())
        QVERIFY2(file.startsWith(copy + QLatin1Char('/')), qPrintable(file));
    QCOMPARE(readFile(copy + (keepStructure ? QStringLiteral("/src/a.c") : QStringLiteral("/a.c"))),
             existing.isEmpty() ? QByteArray("int a;\n") : QByteArray("old\n"));
    QCOMPARE(prompts.asked.size(), existing.isEmpty() ? 0 : 1);
    if (!existing.isEmpty())
        QCOMPARE(prompts.asked.first().title, QStringLiteral("File Exists"));
}

QTEST_MAIN(tst_ProjectCopy)
#include "tst_projectcopy.moc"
