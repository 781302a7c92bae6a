#include "common/fakemainservices.h"
#include "core/ui/displaysettings.h"

#include <QSettings>
#include <QTemporaryDir>
#include <QtTest>

class tst_DisplaySettings : public QObject
{
    Q_OBJECT

private slots:
    void storedForm();
    void readingStartsFromDefaults();
    void format();
};

void tst_DisplaySettings::storedForm()
{
    QTemporaryDir dir;
    QSettings store(dir.filePath(QStringLiteral("s.ini")), QSettings::IniFormat);
    DisplayGroup tree = DisplaySettings::defaultGroup(QStringLiteral("Projects Tree"));
    tree.items[1].bold = true;
    tree.items[1].foreground = QColor(0x12, 0x34, 0x56);
    tree.fontSize = 30;
    DisplaySettings::writeGroup(store, tree);
    DisplaySettings::writeGroup(store, DisplaySettings::defaultGroup(QStringLiteral("Text Editor")));

    store.beginGroup(QStringLiteral("Projects Tree Display Settings"));
    QCOMPARE(store.value(QStringLiteral("items/size")).toInt(), 3);
    QCOMPARE(store.value(QStringLiteral("items/2/name")).toString(), QStringLiteral("Groups"));
    QCOMPARE(store.value(QStringLiteral("items/2/foreground")).toString(),
             QStringLiteral("#123456"));
    QVERIFY(!store.contains(QStringLiteral("items/2/default_foreground")));
    store.endGroup();
    // Only items with a "Default" choice store its flags.
    store.beginGroup(QStringLiteral("Text Editor Display Settings"));
    const int selection = 11 + 1;
    QCOMPARE(store.value(QStringLiteral("items/%1/name").arg(selection)).toString(),
             QStringLiteral("Selection"));
    QCOMPARE(store.value(QStringLiteral("items/%1/default_background").arg(selection)).toBool(),
             false);
    store.endGroup();

    const DisplayGroup read = DisplaySettings::readGroup(store, QStringLiteral("Projects Tree"));
    QCOMPARE(read.fontSize, 30);
    QCOMPARE(read.items[1].foreground, QColor(0x12, 0x34, 0x56));
    QVERIFY(read.items[1].bold);
    QVERIFY(!read.items[0].bold);
}

void tst_DisplaySettings::readingStartsFromDefaults()
{
    QTemporaryDir dir;
    QSettings store(dir.filePath(QStringLiteral("s.ini")), QSettings::IniFormat);
    // A store that knows only "Text" uses the widget's colours for the selection, not the
    // light gray of the defaults.
    store.beginGroup(QStringLiteral("Text Editor Display Settings"));
    store.beginWriteArray(QStringLiteral("items"));
    store.setArrayIndex(0);
    store.setValue(QStringLiteral("name"), QStringLiteral("Text"));
    store.setValue(QStringLiteral("foreground"), QStringLiteral("not a colour"));
    store.endArray();
    store.setValue(QStringLiteral("fontSize"), QStringLiteral("large"));
    store.endGroup();
    const DisplayGroup group = DisplaySettings::readGroup(store, QStringLiteral("Text Editor"));
    QCOMPARE(group.fontSize, 10);
    QCOMPARE(group.item(QStringLiteral("Text"))->foreground, QColor(Qt::black));
    QVERIFY(DisplaySettings::usesDefaultColour(group, QStringLiteral("Selection"), false));
    QVERIFY(DisplaySettings::usesDefaultColour(group, QStringLiteral("No such item"), true));
}

void tst_DisplaySettings::format()
{
    DisplayGroup group = DisplaySettings::defaultGroup(QStringLiteral("Output Window"));
    group.fontSize = 14;
    group.item(QStringLiteral("Errors"))->bold = true;
    const QTextCharFormat errors = DisplaySettings::format(group, QStringLiteral("Errors"));
    QCOMPARE(errors.font().pointSize(), 14);
    QCOMPARE(errors.fontWeight(), int(QFont::Bold));
    QCOMPARE(errors.foreground().color(), QColor(Qt::red));
    QCOMPARE(errors.background().color(), QColor(Qt::white));
    const QTextCharFormat unknown = DisplaySettings::format(group, QStringLiteral("Nothing"));
    QCOMPARE(unknown.font().pointSize(), 14);
    QVERIFY(!unknown.hasProperty(QTextFormat::ForegroundBrush));
}

QTEST_MAIN(tst_DisplaySettings)
#include "tst_displaysettings.moc"
