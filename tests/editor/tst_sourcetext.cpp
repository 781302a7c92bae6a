#include "common/datarows.h"
#include "editor/linemap.h"
#include "editor/sourcetext.h"

#include <QtTest>

// A source file read and written again is the same file, whatever its encoding and line ends;
// a character the file's encoding cannot store makes it UTF-8 rather than being lost. Lines keep
// their marks through another program's changes.
class tst_SourceText : public QObject
{
    Q_OBJECT

private slots:
    void readAndWrittenAgain_data();
    void readAndWrittenAgain();
    void latin1FileGainsACharacterItCannotHold();
    void bytesHoldingANulAreRefused();
    void linesChangedElsewhere_data();
    void linesChangedElsewhere();
    void marksFollowTheTextOfTheirLines_data();
    void marksFollowTheTextOfTheirLines();
};

using LineEnd = SourceText::LineEnd;
Q_DECLARE_METATYPE(std::optional<LineEnd>)

void tst_SourceText::readAndWrittenAgain_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("latin1");
    QTest::addColumn<bool>("byteOrderMark");
    QTest::addColumn<std::optional<LineEnd>>("lineEnds");
    addRow("plain", QByteArray("a\nb\n"), "a\nb\n", false, false, std::optional(LineEnd::Unix));
    QTest::newRow("UTF-8") << QByteArray("\xC2\xB5s\r\n") << QString::fromUtf8("\xC2\xB5s\r\n")
                           << false << false << std::optional(LineEnd::Windows);
    QTest::newRow("byte order mark") << QByteArray("\xEF\xBB\xBFx\ry\r") << "x\ry\r" << false
                                     << true << std::optional(LineEnd::Mac);
    // 0xB5 alone is no UTF-8: the file is ISO 8859-1, byte for byte.
    QTest::newRow("ISO 8859-1") << QByteArray("\xB5s = 1;\r\n\n\r\n")
                                << QString::fromUtf8("\xC2\xB5s = 1;\r\n\n\r\n") << true << false
                                << std::optional(LineEnd::Windows);
    QTest::newRow("cut UTF-8 sequence") << QByteArray("x\xC3") << QString::fromUtf8("x\xC3\x83")
                                        << true << false << std::optional<LineEnd>();
    // A byte order mark of UTF-16 or UTF-32 keeps the file in that encoding, characters
    // beyond ISO 8859-1 and all; its line ends are counted in characters, not bytes.
    QTest::newRow("UTF-16 big-endian")
        << QByteArray("\xFE\xFF\x20\xAC\0\r\0\n\0\r", 10) << QString::fromUtf8("\xE2\x82\xAC\r\n\r")
        << false << true << std::optional(LineEnd::Windows);
    QTest::newRow("UTF-32 little-endian") << QByteArray("\xFF\xFE\0\0x\0\0\0\n\0\0\0", 12) << "x\n"
                                          << false << true << std::optional(LineEnd::Unix);
    // Not whole in UTF-16: the bytes as they are.
    QTest::newRow("a byte order mark of UTF-16 and an odd byte")
        << QByteArray("\xFF\xFEx") << QString::fromUtf8("\xC3\xBF\xC3\xBEx") << true << false
        << std::optional<LineEnd>();
    addRow("no line break", QByteArray("x"), "x", false, false, std::optional<LineEnd>());
    QTest::newRow("empty") << QByteArray() << "" << false << false << std::optional<LineEnd>();
    QTest::newRow("as many CR LF as CR") << QByteArray("a\r\nb\rc") << "a\r\nb\rc" << false << false
                                         << std::optional(LineEnd::Windows);
    QTest::newRow("mixed: most win") << QByteArray("a\r\nb\r\nc\nd\r") << "a\r\nb\r\nc\nd\r"
                                     << false << false << std::optional(LineEnd::Windows);
}

void tst_SourceText::readAndWrittenAgain()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QString, text);
    QFETCH(bool, latin1);
    QFETCH(bool, byteOrderMark);
    QFETCH(std::optional<LineEnd>, lineEnds);
    SourceText stored;
    QCOMPARE(stored.decode(bytes), text);
    QCOMPARE(stored.isLatin1(), latin1);
    QCOMPARE(stored.hasByteOrderMark(), byteOrderMark);
    QVERIFY(stored.lineEnds() == lineEnds);
    bool becameUtf8 = true;
    QCOMPARE(stored.encode(text, &becameUtf8), bytes);
    QVERIFY(!becameUtf8);
}

void tst_SourceText::latin1FileGainsACharacterItCannotHold()
{
    SourceText stored;
    QCOMPARE(stored.decode("\xE9t\xE9\n"), QString::fromUtf8("\xC3\xA9t\xC3\xA9\n"));
    bool becameUtf8 = false;
    // Still ISO 8859-1 while the text fits.
    QCOMPARE(stored.encode(QString::fromUtf8("\xC3\xA9t\xC3\xA9!\n"), &becameUtf8),
             QByteArray("\xE9t\xE9!\n"));
    QVERIFY(!becameUtf8);
    QCOMPARE(stored.encode(QString::fromUtf8("\xE2\x82\xAC\xC3\xA9\n"), &becameUtf8),
             QByteArray("\xE2\x82\xAC\xC3\xA9\n"));
    QVERIFY(becameUtf8);
    QVERIFY(!stored.isLatin1());
    // From then on the file is UTF-8.
    QCOMPARE(stored.encode(QString::fromUtf8("\xC3\xA9"), &becameUtf8), QByteArray("\xC3\xA9"));
    QVERIFY(!becameUtf8);
}

// A file holding a NUL is no text (the editor would hold nothing past it, and save that): it is
// refused, and what was read before stays as it was.
void tst_SourceText::bytesHoldingANulAreRefused()
{
    SourceText stored;
    QVERIFY(stored.decode("\xB5\r\n"));
    for (const QByteArray &bytes : {QByteArray("ab\0cd\n", 6),
                                    QByteArray("\xB5\0", 2),
                                    QByteArray("\xEF\xBB\xBF\0", 4),
                                    QByteArray("\xFF\xFEx\0\0\0", 6),
                                    QByteArray("\xFF\xFE\0\0x\0\0\0y", 9)}) {
        QVERIFY2(!stored.decode(bytes), bytes.toHex().constData());
        QVERIFY(stored.isLatin1());
        QVERIFY(stored.lineEnds() == LineEnd::Windows);
    }
}

// Where a line went when another program changed the file: letters stand for lines, and the
// result for each line of the old version, from 0.
void tst_SourceText::linesChangedElsewhere_data()
{
    QTest::addColumn<QString>("before");
    QTest::addColumn<QString>("after");
    QTest::addColumn<QList<int>>("lines");
    addRow("lines added above", "abc", "xyabc", QList<int>{2, 3, 4});
    addRow("lines taken away go to the line after", "abcd", "ad", QList<int>{0, 1, 1, 1});
    addRow("a changed line keeps its place", "abc", "aBc", QList<int>{0, 1, 2});
    addRow("a line moved within the change", "axyzb", "azyqxb", QList<int>{0, 4, 2, 1, 5});
    addRow("equal lines keep their distance", "axxb", "aqb", QList<int>{0, 1, 1, 2});
    addRow("a line that was there twice", "axyxzb", "aqxwb", QList<int>{0, 1, 2, 3, 3, 4});
    addRow("all taken away", "ab", "", QList<int>{0, 0});
    addRow("all new", "ab", "cdef", QList<int>{0, 1});
}

void tst_SourceText::linesChangedElsewhere()
{
    QFETCH(QString, before);
    QFETCH(QString, after);
    QFETCH(QList<int>, lines);
    const auto split = [](const QString &letters) {
        QStringList list;
        for (const QChar letter : letters)
            list << letter;
        return list.isEmpty() ? QStringList{QString()} : list;
    };
    const LineMap map(split(before), split(after));
    QList<int> mapped;
    for (int line = 0; line < lines.size(); ++line)
        mapped << map.map(line);
    QCOMPARE(mapped, lines);
}

// Marks (from 1) of lines whose texts alone are known, in a text now made of the lines given,
// separated by "|".
void tst_SourceText::marksFollowTheTextOfTheirLines_data()
{
    QTest::addColumn<QList<int>>("lines");
    QTest::addColumn<QStringList>("texts");
    QTest::addColumn<QString>("now");
    QTest::addColumn<QList<int>>("expected");
    addRow("still there", QList<int>{2}, QStringList{"b"}, "a|b|c", QList<int>{2});
    addRow("lines added above", QList<int>{2}, QStringList{"b"}, "x|y|a|b|c", QList<int>{4});
    addRow("the nearest of two", QList<int>{3}, QStringList{"b"}, "b|q|q|q|q|b", QList<int>{1});
    addRow("blanks around do not count", QList<int>{1}, QStringList{"b"}, "a|  b\r", QList<int>{2});
    addRow("gone: it stays", QList<int>{2}, QStringList{"b"}, "a|c", QList<int>{2});
    addRow("a blank line's stays", QList<int>{2}, QStringList{""}, "x|a||b", QList<int>{2});
    addRow("no text known", QList<int>{2}, QStringList(), "x|a|b", QList<int>{2});
    addRow("two come together", QList<int>{1, 3}, QStringList{"b", "b"}, "q|b|q", QList<int>{2});
}

void tst_SourceText::marksFollowTheTextOfTheirLines()
{
    QFETCH(QList<int>, lines);
    QFETCH(QStringList, texts);
    QFETCH(QString, now);
    QFETCH(QList<int>, expected);
    QCOMPARE(LineMap::followTexts(lines, texts, now.split(QLatin1Char('|'))), expected);
}

QTEST_GUILESS_MAIN(tst_SourceText)
#include "tst_sourcetext.moc"
