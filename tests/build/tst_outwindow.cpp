#include "build/ui/outtextedit.h"
#include "build/ui/outwindow.h"
#include "common/datarows.h"
#include "common/fakewindowservices.h"
#include "core/ui/displaysettings.h"

#include <QClipboard>
#include <QScrollBar>
#include <QtTest>

class tst_OutWindow : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { isolateSettings(); }
    void init();
    void parseLink_data();
    void parseLink();
    void linesAndFormats();
    void linkMarkup_data();
    void linkMarkup();
    void newLinkColourReachesExistingLinks();
    void mouseAndKeys();

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
    addRow("line and column", "/p/main.c#12.5", "/p/main.c", 12, 5);
    addRow("line only", "/p/main.c#7", "/p/main.c", 7, 0);
    addRow("a hash in the file's name", "/p/a#b.c#3.1", "/p/a#b.c", 3, 1);
    addRow("spaces", "/my dir/x y.asm#40.2", "/my dir/x y.asm", 40, 2);
    addRow("no hash", "/p/main.c", "", -1, 0);
    addRow("hash first", "#12.3", "", -1, 0);
    addRow("negative line", "/p/main.c#-1.4", "/p/main.c", -1, 4);
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
    window.richText(
        QStringLiteral("<span style='color: #FF0000'>Unsupported:<br>a &lt;1&gt;<br>b</span>"));
    QCOMPARE(window.plainText(),
             QStringLiteral("Building <all>\nmake: *** Error 1\nCompiled successfully.\n\n"
                            "expected '<' here\nnote: bold\nUnsupported:\na <1>\nb"));

    const OutTextEdit *view = window.textView();
    const auto colourOfLine = [view](int line) {
        return view->lineFormat(line).foreground().color();
    };
    QCOMPARE(colourOfLine(0), QColor(Qt::black));
    QCOMPARE(colourOfLine(1), QColor(Qt::red));
    QCOMPARE(colourOfLine(2), QColor(Qt::darkGreen));
    QCOMPARE(colourOfLine(7), QColor(0xff, 0, 0));
    const QTextCharFormat anchor = view->lineFormat(4);
    QVERIFY(anchor.isAnchor());
    QCOMPARE(anchor.anchorHref(), QStringLiteral("/p/main.c#4.2"));
    QVERIFY(view->lineFormat(5).isAnchor());
    QVERIFY(!view->lineFormat(6).isAnchor());

    window.clear();
    QCOMPARE(window.plainText(), QString());
    QCOMPARE(view->lineCount(), 0);
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
    window.link(QStringLiteral("/p/a.c"), 1, 2, QStringLiteral("warning"));
    window.message(QStringLiteral("plain"));
    const QTextCharFormat format = window.textView()->lineFormat(0);
    QVERIFY(format.isAnchor());
    QCOMPARE(format.fontItalic(), italic);
    QCOMPARE(format.fontWeight() > QFont::Normal, bold);
    QCOMPARE(format.fontUnderline(), underline);
    QCOMPARE(format.foreground().color(), QColor(0x11, 0x22, 0x33));
    QVERIFY(!window.textView()->lineFormat(1).fontUnderline());
}

void tst_OutWindow::newLinkColourReachesExistingLinks()
{
    FakeWindowServices services;
    OutWindow window(&services);
    window.link(QStringLiteral("/p/a.c"), 1, 2, QStringLiteral("old"));
    setLinks(false, false, true, QColor(0xaa, 0x00, 0xbb));
    window.applySettings();
    window.link(QStringLiteral("/p/a.c"), 2, 2, QStringLiteral("new"));
    for (int line = 0; line < window.textView()->lineCount(); ++line) {
        const QTextCharFormat format = window.textView()->lineFormat(line);
        QVERIFY(format.isAnchor());
        QCOMPARE(format.foreground().color(), QColor(0xaa, 0x00, 0xbb));
    }
}

// What a user does with the mouse and keys: a click on a link opens its file, a click beside
// it does not, a drag selects text that Ctrl+C copies, and a view scrolled up stays where it is
// while lines arrive.
void tst_OutWindow::mouseAndKeys()
{
    FakeWindowServices services;
    OutWindow window(&services);
    window.resize(500, 200);
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    OutTextEdit *view = window.textView();
    const QString file = QStringLiteral("/p/50%20 #1/main.c");
    window.message(QStringLiteral("Building"));
    window.link(file, 12, 3, QStringLiteral("main.c:12:3: error: x"));
    QCoreApplication::processEvents();
    const int lineHeight = view->fontMetrics().height();
    const QPoint onLink(10, 4 + lineHeight + lineHeight / 2);
    QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, QPoint(480, onLink.y()));
    QCOMPARE(services.openRequests.size(), 0);
    QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, onLink);
    QCOMPARE(services.openRequests.size(), 1);
    QCOMPARE(services.openRequests.first().path, file);
    QCOMPARE(services.openRequests.first().line, 12);

    // From the start of the first line to the middle of the second.
    QTest::mousePress(view->viewport(), Qt::LeftButton, {}, QPoint(1, 4 + lineHeight / 2));
    // Just after "main", the text starting four pixels in.
    const QPoint inLink(4 + view->fontMetrics().horizontalAdvance(QStringLiteral("main")) + 1,
                        onLink.y());
    QTest::mouseMove(view->viewport(), inLink);
    QTest::mouseRelease(view->viewport(), Qt::LeftButton, {}, inLink);
    QCOMPARE(services.openRequests.size(), 1);
    QCOMPARE(view->selectedText(), QStringLiteral("Building\nmain"));
    QApplication::clipboard()->clear();
    QTest::keyClick(view, Qt::Key_C, Qt::ControlModifier);
    QCOMPARE(QApplication::clipboard()->text(), view->selectedText());
    QTest::keyClick(view, Qt::Key_A, Qt::ControlModifier);
    QCOMPARE(view->selectedText(), window.plainText());

    for (int i = 0; i < 500; ++i)
        window.message(QStringLiteral("line %1").arg(i));
    QScrollBar *bar = view->verticalScrollBar();
    QTRY_VERIFY(bar->maximum() > 400);
    QCOMPARE(bar->value(), bar->maximum());
    bar->setValue(10);
    const int before = bar->maximum();
    for (int i = 0; i < 100; ++i)
        window.message(QStringLiteral("more %1").arg(i));
    QTRY_COMPARE(bar->maximum(), before + 100);
    QCOMPARE(bar->value(), 10);
    QCOMPARE(view->lineCount(), 602);

    // A firmware that writes on and on: the oldest lines go, a few at a time, and the first
    // line says how many went. The selection, the link and the view scrolled up stay with
    // their lines.
    const int kept = OutTextEdit::keptLines;
    while (view->lineCount() < kept)
        window.message(QStringLiteral("flood %1").arg(view->lineCount()));
    window.link(file, 7, 0, QStringLiteral("main.c:7: late"));
    window.richText(QStringLiteral("<b>bold</b> plain"));
    view->selectLine(kept - 3);
    const QString selected = view->selectedText();
    QCoreApplication::processEvents();
    bar->setValue(kept - 20);
    const QString top = view->lineText(bar->value());
    qint64 dropped = 0;
    for (int round = 0; round < 2; ++round) {
        const QString first = view->lineText(0);
        for (int i = 0; i < kept && view->lineText(0) == first; ++i)
            window.message(QStringLiteral("flood %1").arg(i));
        // The count is of all lines gone, so it grows from one round to the next.
        const qint64 now = view->lineText(0).section(QLatin1Char(' '), 0, 0).toLongLong();
        QVERIFY2(now > dropped, qPrintable(view->lineText(0)));
        dropped = now;
        QVERIFY2(view->lineText(0).endsWith(
                     QLatin1String(" earlier lines of the output are no longer kept.")),
                 qPrintable(view->lineText(0)));
        QCOMPARE(view->lineCount(), kept);
        QVERIFY(view->lineText(kept - 1).startsWith(QLatin1String("flood ")));
    }
    QCOMPARE(view->selectedText(), selected);
    QCOMPARE(view->lineText(bar->value()), top);
    const int link = view->linkLineFrom(0, true);
    QCOMPARE(view->lineLink(link), view->lineLink(view->linkLineFrom(link, false)));
    QCOMPARE(view->lineText(link), QStringLiteral("main.c:7: late"));
    QVERIFY(view->lineFormat(link + 1).font().bold());
    QVERIFY(!view->lineFormat(link + 2).font().bold());
    window.clear();
    window.message(QStringLiteral("after"));
    QCOMPARE(window.plainText(), QStringLiteral("after"));
}

QTEST_MAIN(tst_OutWindow)
#include "tst_outwindow.moc"
