#include "build/ui/outtextedit.h"
#include "build/ui/outwindow.h"
#include "common/fakewindowservices.h"
#include "editor/ui/displaysettings.h"

#include <QSettings>
#include <QTextBlock>
#include <QtTest>

class tst_OutWindow : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { isolateSettings(); }
    void init();
    void parseLink_data();
    void parseLink();
    void followLink_data();
    void followLink();
    void linesAndFormats();
    void linkMarkup_data();
    void linkMarkup();
    void newLinkColourReachesExistingLinks();

private:
    void setLinks(bool italic, bool bold, bool underline, const QColor &colour);
};

void tst_OutWindow::init()
{
    FakeWindowServices services;
    services.settingsStore().settings().remove(QStringLiteral("Output Window Display Settings"));
}

void tst_OutWindow::setLinks(bool italic, bool bold, bool underline, const QColor &colour)
{
    FakeWindowServices services;
    DisplayGroup group = DisplaySettings::defaultGroup(QStringLiteral("Output Window"));
    DisplayItem *links = group.item(QStringLiteral("Links"));
    links->italic = italic;
    links->bold = bold;
    links->underline = underline;
    links->foreground = colour;
    DisplaySettings::writeGroup(services.settingsStore().settings(), group);
}

void tst_OutWindow::parseLink_data()
{
    QTest::addColumn<QString>("link");
    QTest::addColumn<QString>("file");
    QTest::addColumn<int>("line");
    QTest::addColumn<int>("column");
    QTest::newRow("line and column") << "/p/main.c#12.5"
                                     << "/p/main.c" << 12 << 5;
    QTest::newRow("line only") << "/p/main.c#7"
                               << "/p/main.c" << 7 << 0;
    QTest::newRow("first hash splits") << "/p/a#b.c#3.1"
                                       << "/p/a" << 0 << 0;
    QTest::newRow("spaces") << "/my dir/x y.asm#40.2"
                            << "/my dir/x y.asm" << 40 << 2;
    QTest::newRow("no hash") << "/p/main.c"
                             << "" << -1 << 0;
    QTest::newRow("hash first") << "#12.3"
                                << "" << -1 << 0;
    QTest::newRow("negative line") << "/p/main.c#-1.4"
                                   << "/p/main.c" << -1 << 4;
}

void tst_OutWindow::parseLink()
{
    QFETCH(QString, link);
    QFETCH(QString, file);
    QFETCH(int, line);
    QFETCH(int, column);
    const OutTextEdit::Target target = OutTextEdit::parseLink(link);
    if (file.isEmpty()) {
        QVERIFY(target.file.isEmpty() || target.line < 0);
        return;
    }
    QCOMPARE(target.file, file);
    QCOMPARE(target.line, line);
    QCOMPARE(target.column, column);
}

void tst_OutWindow::followLink_data()
{
    QTest::addColumn<QString>("url");
    QTest::addColumn<int>("opened");
    QTest::newRow("line and column") << "/src/main.c#3.9" << 1;
    QTest::newRow("line") << "/src/main.c#3" << 1;
    QTest::newRow("negative line") << "/src/main.c#-3.9" << 0;
    QTest::newRow("no position") << "/src/main.c" << 0;
}

void tst_OutWindow::followLink()
{
    QFETCH(QString, url);
    QFETCH(int, opened);
    FakeWindowServices services;
    OutWindow window(&services);
    window.textView()->anchorClicked(QUrl(url));
    QCOMPARE(services.openRequests.size(), opened);
    if (opened) {
        QCOMPARE(services.openRequests.first().path, QStringLiteral("/src/main.c"));
        QCOMPARE(services.openRequests.first().line, 3);
    }
}

void tst_OutWindow::linesAndFormats()
{
    FakeWindowServices services;
    OutWindow window(&services);
    QCOMPARE(window.objectName(), QStringLiteral("Output Window"));
    QCOMPARE(window.windowTitle(), QStringLiteral("Output"));
    window.message(QStringLiteral("Building <all>"));
    window.error(QStringLiteral("make: *** Error 1"));
    window.success(QStringLiteral("Compiled successfully.\n"));
    window.errorLink(QStringLiteral("/p/main.c"), 4, 2, QStringLiteral("expected '<' here"));
    window.link(QStringLiteral("/p/main.c"), 5, 0, QStringLiteral("note: <b>bold</b>"));
    QCOMPARE(window.plainText(),
             QStringLiteral("Building <all>\nmake: *** Error 1\nCompiled successfully.\n\n"
                            "expected '<' here\nnote: bold"));

    const QTextDocument *document = window.textView()->document();
    const auto colourOfBlock = [document](int block) {
        return document->findBlockByNumber(block).begin().fragment().charFormat().foreground().color();
    };
    QCOMPARE(colourOfBlock(0), QColor(Qt::black));
    QCOMPARE(colourOfBlock(1), QColor(Qt::red));
    QCOMPARE(colourOfBlock(2), QColor(Qt::darkGreen));
    const QTextCharFormat anchor = document->findBlockByNumber(4).begin().fragment().charFormat();
    QVERIFY(anchor.isAnchor());
    QCOMPARE(anchor.anchorHref(), QStringLiteral("/p/main.c#4.2"));

    window.clear();
    QCOMPARE(window.plainText(), QString());
}

void tst_OutWindow::linkMarkup_data()
{
    QTest::addColumn<bool>("italic");
    QTest::addColumn<bool>("bold");
    QTest::addColumn<bool>("underline");
    QTest::newRow("plain") << false << false << false;
    QTest::newRow("italic bold underlined") << true << true << true;
    QTest::newRow("bold") << false << true << false;
}

void tst_OutWindow::linkMarkup()
{
    QFETCH(bool, italic);
    QFETCH(bool, bold);
    QFETCH(bool, underline);
    setLinks(italic, bold, underline, QColor(0x11, 0x22, 0x33));
    FakeWindowServices services;
    OutWindow window(&services);
    QCOMPARE(window.textView()->document()->defaultStyleSheet(),
             QStringLiteral("a { text-decoration: %1; color: #112233 }")
                 .arg(underline ? QStringLiteral("underline") : QStringLiteral("none")));
    window.link(QStringLiteral("/p/a.c"), 1, 2, QStringLiteral("warning"));
    const QTextCharFormat format
        = window.textView()->document()->begin().begin().fragment().charFormat();
    QVERIFY(format.isAnchor());
    QCOMPARE(format.fontItalic(), italic);
    QCOMPARE(format.fontWeight() > QFont::Normal, bold);
    QCOMPARE(format.foreground().color(), QColor(0x11, 0x22, 0x33));
}

void tst_OutWindow::newLinkColourReachesExistingLinks()
{
    FakeWindowServices services;
    OutWindow window(&services);
    window.link(QStringLiteral("/p/a.c"), 1, 2, QStringLiteral("old"));
    setLinks(false, false, true, QColor(0xaa, 0x00, 0xbb));
    window.applySettings();
    window.link(QStringLiteral("/p/a.c"), 2, 2, QStringLiteral("new"));
    for (QTextBlock block = window.textView()->document()->begin(); block.isValid();
         block = block.next()) {
        const QTextCharFormat format = block.begin().fragment().charFormat();
        QVERIFY(format.isAnchor());
        QCOMPARE(format.foreground().color(), QColor(0xaa, 0x00, 0xbb));
    }
}

QTEST_MAIN(tst_OutWindow)
#include "tst_outwindow.moc"
