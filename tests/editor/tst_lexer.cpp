#include "common/fakemainservices.h"
#include "editor/qscilexercirrane.h"
#include "editor/syntaxrules.h"
#include "editor/syntaxscanner.h"

#include <Qsci/qsciscintilla.h>

#include <QRandomGenerator>
#include <QtTest>

class tst_Lexer : public QObject
{
    Q_OBJECT

private slots:
    void rules_data();
    void rules();
    void styling_data();
    void styling();
    void editsGiveTheStylesOfAFullRestyle_data();
    void editsGiveTheStylesOfAFullRestyle();
    void descriptions();

private:
    static QString styleString(const std::vector<unsigned char> &styles);
};

static const char asmRules[] = "# a small assembler\n"
                               "block_comment_open=/\\*\n"
                               "block_comment_close=\\*/\n"
                               "line_comment=;.*$\n"
                               "string=\"[^\"]*\"\n"
                               "constant=\\b[0-9]+\\b\n"
                               "operator=[,+]\n"
                               "keyword=\\bmov\\b\n"
                               "keyword=\\badd\\b\n"
                               "macro=#define\n";

// One digit per character: its style.
QString tst_Lexer::styleString(const std::vector<unsigned char> &styles)
{
    QString text;
    for (unsigned char style : styles)
        text += QChar(QLatin1Char('0' + style));
    return text;
}

void tst_Lexer::rules_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<int>("slot");
    QTest::addColumn<QString>("pattern");
    QTest::newRow("repeated key is an alternation") << asmRules << int(SyntaxRules::Keyword)
                                                    << "(\\bmov\\b)|(\\badd\\b)";
    QTest::newRow("trailing $ takes the line break")
        << asmRules << int(SyntaxRules::LineComment) << ";.*(\n\r?)|(\r\n?)";
    QTest::newRow("line without =") << "string\n" << int(SyntaxRules::String) << "string";
    QTest::newRow("value after the first =") << "operator===\n" << int(SyntaxRules::Operator)
                                             << "==";
    QTest::newRow("longer key counts for its prefix")
        << "stringy=x\n" << int(SyntaxRules::String) << "x";
    QTest::newRow("only comments and blanks") << "# x\n\n   \n# keyword=y\n"
                                              << int(SyntaxRules::Keyword) << "";
    QTest::newRow("blanks around the line") << "   macro=#if   \n" << int(SyntaxRules::Macro)
                                            << "#if";
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
    QTest::newRow("keywords, operators, constants")
        << asmRules << "mov r1, 12\nADD" << "66600050440666";
    QTest::newRow("block comment across lines, then normal text")
        << asmRules << "mov /* a\nb\nc\nd */ 1" << "6660111111111111104";
    QTest::newRow("string holding the comment opener, then a comment")
        << asmRules << "\"/*\" ; c\nmov" << "333302222666";
    QTest::newRow("line comment takes its line break") << asmRules << ";x\nmov" << "222666";
    QTest::newRow("earliest match wins, ties go to the lower rule")
        << "keyword=ab\nextensions=abc\noperator=b\n" << "xab" << "066";
    QTest::newRow("comment never closed") << asmRules << "1 /* mov\nadd" << "401111111111";
    QTest::newRow("invalid rule never matches") << "keyword=(\nconstant=[0-9]\n" << "(1" << "04";
    // Rules match minimally: "x*" matches nothing at all, and the scan must still move on.
    QTest::newRow("empty match cannot stall") << "keyword=x*\nconstant=[0-9]\n" << "a1xx"
                                              << "0400";
    QTest::newRow("no rules") << "" << "mov 1" << "00000";
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

void tst_Lexer::editsGiveTheStylesOfAFullRestyle_data()
{
    QTest::addColumn<int>("seed");
    for (int seed = 1; seed <= 6; ++seed)
        QTest::newRow(qPrintable(QStringLiteral("seed %1").arg(seed))) << seed;
}

static QString documentStyles(QsciScintilla &editor)
{
    const int length = int(editor.length());
    editor.SendScintilla(QsciScintillaBase::SCI_COLOURISE, 0, -1);
    QString styles;
    for (int i = 0; i < length; ++i)
        styles += QChar(QLatin1Char('0' + int(editor.SendScintilla(QsciScintillaBase::SCI_GETSTYLEAT, i))));
    return styles;
}

// Random edits anywhere in a document styled piece by piece end with the styles that a fresh
// scan of the final text gives.
void tst_Lexer::editsGiveTheStylesOfAFullRestyle()
{
    QFETCH(int, seed);
    QRandomGenerator random(seed);
    QTemporaryFile rules;
    QVERIFY(rules.open());
    rules.write(asmRules);
    rules.close();
    const QStringList pieces = {"mov r1, 2\n", "/* open\n", "close */", "\"s /* t\"", " ; c\n",
                                "add 7\n", "#define X\n", "\n", "  ", "*/", "/*"};
    QString text;
    for (int i = 0; i < 300; ++i)
        text += pieces.at(random.bounded(pieces.size()));

    QsciScintilla edited;
    auto *lexer = new QsciLexerCirrane(&edited);
    lexer->load(rules.fileName(), Qt::CaseInsensitive);
    edited.setLexer(lexer);
    edited.setText(text);
    documentStyles(edited);
    for (int edit = 0; edit < 40; ++edit) {
        const int length = int(edited.length());
        const int at = random.bounded(length + 1);
        if (random.bounded(3) == 0 && at < length) {
            edited.SendScintilla(QsciScintillaBase::SCI_DELETERANGE, at,
                                 qMin(length - at, 1 + int(random.bounded(12))));
        } else {
            const QByteArray piece = pieces.at(random.bounded(pieces.size())).toLatin1();
            edited.SendScintilla(QsciScintillaBase::SCI_INSERTTEXT, at, piece.constData());
        }
        // Style a part, as the editor does for what it shows, now and then.
        if (edit % 3 == 0) {
            const int from = random.bounded(int(edited.length()) + 1);
            edited.SendScintilla(QsciScintillaBase::SCI_COLOURISE, from,
                                 qMin(int(edited.length()), from + 200));
        }
    }
    const QString styles = documentStyles(edited);

    QsciScintilla fresh;
    auto *freshLexer = new QsciLexerCirrane(&fresh);
    freshLexer->load(rules.fileName(), Qt::CaseInsensitive);
    fresh.setLexer(freshLexer);
    fresh.setText(edited.text());
    QCOMPARE(styles, documentStyles(fresh));
    SyntaxRules syntax;
    syntax.load(rules.fileName(), Qt::CaseInsensitive);
    QCOMPARE(styles, styleString(SyntaxScanner(syntax).styleAll(edited.text())));
}

void tst_Lexer::descriptions()
{
    QsciLexerCirrane lexer;
    QCOMPARE(QString::fromLatin1(lexer.language()), QStringLiteral("CirraneParsedFile"));
    QCOMPARE(lexer.description(2), QStringLiteral("Comment"));
    QCOMPARE(lexer.description(8), QStringLiteral("Macro"));
    QVERIFY(lexer.description(9).isNull());
}

QTEST_MAIN(tst_Lexer)
#include "tst_lexer.moc"
