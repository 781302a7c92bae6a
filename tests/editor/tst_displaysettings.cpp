#include "common/fakemainservices.h"
#include "core/ui/displaysettings.h"

#include <QSettings>
#include <QTemporaryDir>
#include <QtTest>

class tst_DisplaySettings : public QObject
{
    Q_OBJECT

private slots:
    void defaults_data();
    void defaults();
    void storedForm();
    void readingStartsFromDefaults();
    void format();
};

void tst_DisplaySettings::defaults_data()
{
    QTest::addColumn<QString>("group");
    QTest::addColumn<QString>("item");
    QTest::addColumn<QColor>("foreground");
    QTest::addColumn<QColor>("background");
    QTest::addColumn<QString>("flags"); // style and fixed flags in a compact form
    const QString editor = QStringLiteral("Text Editor");
    QTest::newRow("text") << editor << "Text" << QColor(Qt::black) << QColor(Qt::white) << "DD FF";
    QTest::newRow("comments") << editor << "Comments" << QColor(Qt::darkGreen) << QColor(Qt::white)
                              << "i DD FF";
    QTest::newRow("caret") << editor << "Caret" << QColor(Qt::black) << QColor(Qt::yellow)
                           << "DD FF c";
    QTest::newRow("selection") << editor << "Selection" << QColor(Qt::black)
                               << QColor(Qt::lightGray) << "D- -- c";
    QTest::newRow("call tips highlight")
        << editor << "Call Tips Highlight" << QColor(0, 0, 128) << QColor(Qt::white) << "DD FF c f";
    QTest::newRow("margins") << editor << "Margins" << QColor(Qt::black) << QColor(224, 224, 224)
                             << "DD FF";
    QTest::newRow("links") << "Output Window"
                           << "Links" << QColor(Qt::blue) << QColor(Qt::white) << "u DD FF";
    QTest::newRow("success") << "Output Window"
                             << "Success" << QColor(Qt::darkGreen) << QColor(Qt::white) << "DD FF";
}

static QString flagsOf(const DisplayItem &item)
{
    QString flags;
    if (item.bold)
        flags += QLatin1String("b ");
    if (item.italic)
        flags += QLatin1String("i ");
    if (item.underline)
        flags += QLatin1String("u ");
    flags += QLatin1Char(item.defaultForeground ? 'D' : '-');
    flags += QLatin1Char(item.defaultBackground ? 'D' : '-');
    flags += QLatin1Char(' ');
    flags += QLatin1Char(item.fixedForeground ? 'F' : '-');
    flags += QLatin1Char(item.fixedBackground ? 'F' : '-');
    if (item.coloursOnly)
        flags += QLatin1String(" c");
    if (item.foregroundOnly)
        flags += QLatin1String(" f");
    return flags;
}

void tst_DisplaySettings::defaults()
{
    QFETCH(QString, group);
    QFETCH(QString, item);
    QFETCH(QColor, foreground);
    QFETCH(QColor, background);
    QFETCH(QString, flags);
    const DisplayGroup defaults = DisplaySettings::defaultGroup(group);
    QCOMPARE(defaults.font.family(), QStringLiteral("Courier New"));
    QCOMPARE(defaults.fontSize, 10);
    const DisplayItem *entry = defaults.item(item);
    QVERIFY(entry);
    QCOMPARE(entry->foreground, foreground);
    QCOMPARE(entry->background, background);
    QCOMPARE(flagsOf(*entry), flags);
}

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
