#include "common/datarows.h"
#include "common/testfiles.h"
#include "editor/syntaxmap.h"
#include "editor/syntaxrules.h"
#include "editor/syntaxscanner.h"
#include "smallassembler.h"

#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

class tst_Lexer : public QObject
{
    Q_OBJECT

private slots:
    void rules_data();
    void rules();
    void styling_data();
    void styling();
    void shippedSyntaxFiles_data();
    void shippedSyntaxFiles();
};

void tst_Lexer::rules_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<int>("slot");
    QTest::addColumn<QString>("pattern");
    QTest::newRow("repeated key is an alternation")
        << smallAssemblerRules << int(SyntaxRules::Keyword) << "(\\bmov\\b)|(\\badd\\b)";
    QTest::newRow("trailing $ takes the line break")
        << smallAssemblerRules << int(SyntaxRules::LineComment) << ";.*(\n\r?)|(\r\n?)";
    QTest::newRow("line without =") << "string\n" << int(SyntaxRules::String) << "string";
    addRow("value after the first =", "operator===\n", int(SyntaxRules::Operator), "==");
    addRow("longer key counts for its prefix", "stringy=x\n", int(SyntaxRules::String), "x");
    addRow("only comments and blanks", "# x\n\n   \n# keyword=y\n", int(SyntaxRules::Keyword), "");
    addRow("blanks around the line", "   macro=#if   \n", int(SyntaxRules::Macro), "#if");
}

void tst_Lexer::rules()
{
    QFETCH(QString, file);
    QFETCH(int, slot);
    QFETCH(QString, pattern);
    SyntaxRules rules;
    rules.parse(file, Qt::CaseInsensitive);
    QCOMPARE(rules.pattern(slot), pattern);
    QCOMPARE(rules.matches(slot), !pattern.isEmpty());
}

void tst_Lexer::styling_data()
{
    QTest::addColumn<QString>("rules");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("styles");
    QTest::newRow("keywords, operators, constants") << smallAssemblerRules << "mov r1, 12\nADD"
                                                    << "66600050440666";
    QTest::newRow("block comment across lines, then normal text")
        << smallAssemblerRules << "mov /* a\nb\nc\nd */ 1"
        << "6660111111111111104";
    QTest::newRow("string holding the comment opener, then a comment")
        << smallAssemblerRules << "\"/*\" ; c\nmov"
        << "333302222666";
    addRow("line comment takes its line break", smallAssemblerRules, ";x\nmov", "222666");
    QTest::newRow("earliest match wins, ties go to the lower rule")
        << "keyword=ab\nextensions=abc\noperator=b\n"
        << "xab"
        << "066";
    addRow("comment never closed", smallAssemblerRules, "1 /* mov\nadd", "401111111111");
    addRow("invalid rule never matches", "keyword=(\nconstant=[0-9]\n", "(1", "04");
    // Rules match minimally: "x*" matches nothing at all, and the scan must still move on.
    addRow("empty match cannot stall", "keyword=x*\nconstant=[0-9]\n", "a1xx", "0400");
    addRow("no rules", "", "mov 1", "00000");
    addRow("empty match at the very end", "constant=\\z\n", "ab", "00");
}

void tst_Lexer::styling()
{
    QFETCH(QString, rules);
    QFETCH(QString, text);
    QFETCH(QString, styles);
    SyntaxRules syntax;
    syntax.parse(rules, Qt::CaseInsensitive);
    QCOMPARE(styleString(SyntaxScanner(syntax).styleAll(text)), styles);
}

void tst_Lexer::shippedSyntaxFiles_data()
{
    QTest::addColumn<QString>("family"); // its map file names the syntax file
    QTest::addColumn<QString>("fileName");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QStringList>("assembler"); // the real tool that takes the sample
    QTest::addColumn<QStringList>("instructions");
    const QString avr = QStringLiteral("; blink\n\tldi r16, 0xFF ; all pins\n"
                                       "\tout 0x04, r16 // port B\nloop:\trjmp loop\n");
    const QString pic = QStringLiteral("; count\n\tlist p=16f877a\n\tcode\n"
                                       "\tmovlw 0x01\n\taddwf 0x20, f\n\tend\n");
    QTest::newRow("AVR") << "AVR"
                         << "blink.S" << avr
                         << QStringList{"avr-gcc",
                                        "-mmcu=atmega328p",
                                        "-c",
                                        "-x",
                                        "assembler-with-cpp"}
                         << QStringList{"ldi", "out", "rjmp"};
    for (const char *family : {"PIC12", "PIC16", "PIC18"}) {
        QTest::newRow(family) << family << "count.asm" << pic
                              << QStringList{"gpasm", "-c", "-p", "pic16f877a"}
                              << QStringList{"movlw", "addwf"};
    }
    const QStringList special{"movfw", "tstf", "skpz", "skpnc", "setc", "clrz", "bnz", "lgoto"};
    QTest::newRow("PIC16, gpasm's special mnemonics")
        << "PIC16"
        << "special.asm"
        << "; flags\n\tlist p=16f877a\n\tcode\nhere:\tmovfw 0x20\n\ttstf 0x20\n\tskpz\n"
           "\tskpnc\n\tsetc\n\tclrz\n\tbnz here\n\tlgoto here\n\tend\n"
        << QStringList{"gpasm", "-c", "-p", "pic16f877a"} << special;
    QTest::newRow("MCS51") << "MCS51"
                           << "toggle.asm"
                           << "; toggle P1\n\t.area CODE\nloop:\tmov a, #0x55\n\tcpl a\n"
                              "\tsjmp loop\n"
                           << QStringList{"sdas8051", "-o"} << QStringList{"mov", "cpl", "sjmp"};
    QTest::newRow("STM8") << "STM8"
                          << "loop.s"
                          << "; wait\n\t.area CODE\nloop:\tld a, #0x20\n\tjra loop\n"
                          << QStringList{"sdasstm8", "-o"} << QStringList{"ld", "jra"};
    QTest::newRow("Z80") << "Z80"
                         << "loop.asm"
                         << "; wait\n\t.area CODE\nloop:\tld a, #0x20\n\tdjnz loop\n"
                         << QStringList{"sdasz80", "-o"} << QStringList{"ld", "djnz"};
}

// Each family's map file leads to a syntax file that highlights a sample the real assembler
// takes: the comment on its first line ends with the line, and the instructions after it are
// instructions.
void tst_Lexer::shippedSyntaxFiles()
{
    QFETCH(QString, family);
    QFETCH(QString, fileName);
    QFETCH(QString, text);
    QFETCH(QStringList, assembler);
    QFETCH(QStringList, instructions);
    QTemporaryDir dir;
    const QString source = dir.filePath(fileName);
    QVERIFY(writeFile(source, text.toLatin1()));
    QProcess tool;
    tool.setWorkingDirectory(dir.path());
    tool.start(assembler.first(), assembler.mid(1) << fileName);
    QVERIFY(tool.waitForFinished(30000));
    QVERIFY2(tool.exitCode() == 0, tool.readAll().constData());

    const QString syntaxFile = SyntaxMap::syntaxFileFor(QStringLiteral(DYX_SOURCE_DIR
                                                                       "/data/syntax/")
                                                            + family + QStringLiteral(".MAP"),
                                                        source);
    QVERIFY2(QFileInfo::exists(syntaxFile), qPrintable(syntaxFile));
    SyntaxRules rules;
    rules.load(syntaxFile, Qt::CaseInsensitive);
    const QString styles = styleString(SyntaxScanner(rules).styleAll(text));
    const int firstLineEnd = int(text.indexOf(QLatin1Char('\n')));
    QCOMPARE(styles.left(firstLineEnd), QString(firstLineEnd, QLatin1Char('2')));
    for (const QString &instruction : std::as_const(instructions)) {
        const QRegularExpression word(QStringLiteral("\\b%1\\b").arg(instruction));
        for (auto it = word.globalMatch(text, firstLineEnd); it.hasNext();) {
            const QRegularExpressionMatch match = it.next();
            QCOMPARE(styles.mid(int(match.capturedStart()), int(match.capturedLength())),
                     QString(int(match.capturedLength()), QLatin1Char('6')));
        }
    }
}

QTEST_GUILESS_MAIN(tst_Lexer)
#include "tst_lexer.moc"
