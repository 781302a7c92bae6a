#include "editor/syntaxrules.h"
#include "editor/syntaxscanner.h"
#include "editor/ui/qscilexercirrane.h"
#include "smallassembler.h"

#include <Qsci/qsciscintilla.h>

#include <QRandomGenerator>
#include <QTemporaryFile>
#include <QtTest>

// The highlighter in a real editor: styling piece by piece as the editor asks gives what a
// scan of the whole text gives.
class tst_QsciLexerCirrane : public QObject
{
    Q_OBJECT

private slots:
    void editsGiveTheStylesOfAFullRestyle_data();
    void editsGiveTheStylesOfAFullRestyle();
    void descriptions();
};

void tst_QsciLexerCirrane::editsGiveTheStylesOfAFullRestyle_data()
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
        styles += QChar(
            QLatin1Char('0' + int(editor.SendScintilla(QsciScintillaBase::SCI_GETSTYLEAT, i))));
    return styles;
}

// Random edits anywhere in a document styled piece by piece end with the styles that a fresh
// scan of the final text gives.
void tst_QsciLexerCirrane::editsGiveTheStylesOfAFullRestyle()
{
    QFETCH(int, seed);
    QRandomGenerator random(seed);
    QTemporaryFile rules;
    QVERIFY(rules.open());
    rules.write(smallAssemblerRules);
    rules.close();
    const QStringList pieces = {"mov r1, 2\n",
                                "/* open\n",
                                "close */",
                                "\"s /* t\"",
                                " ; c\n",
                                "add 7\n",
                                "#define X\n",
                                "\n",
                                "  ",
                                "*/",
                                "/*"};
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
            edited.SendScintilla(QsciScintillaBase::SCI_DELETERANGE,
                                 at,
                                 qMin(length - at, 1 + int(random.bounded(12))));
        } else {
            const QByteArray piece = pieces.at(random.bounded(pieces.size())).toLatin1();
            edited.SendScintilla(QsciScintillaBase::SCI_INSERTTEXT, at, piece.constData());
        }
        // Style a part, as the editor does for what it shows, now and then.
        if (edit % 3 == 0) {
            const int from = random.bounded(int(edited.length()) + 1);
            edited.SendScintilla(QsciScintillaBase::SCI_COLOURISE,
                                 from,
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

void tst_QsciLexerCirrane::descriptions()
{
    QsciLexerCirrane lexer;
    QCOMPARE(QString::fromLatin1(lexer.language()), QStringLiteral("CirraneParsedFile"));
    QCOMPARE(lexer.description(2), QStringLiteral("Comment"));
    QCOMPARE(lexer.description(8), QStringLiteral("Macro"));
    QVERIFY(lexer.description(9).isNull());
}

QTEST_MAIN(tst_QsciLexerCirrane)
#include "tst_qscilexercirrane.moc"
