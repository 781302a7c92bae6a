// Highlighting large files: a 1 MB assembler file styled by the syntax-definition lexer against
// a 1 MB C file styled by the built-in C/C++ lexer; and one keystroke in the middle of the
// assembler file against one at its end.
#include "benchratio.h"

#include "editor/ui/qscilexercirrane.h"

#include <Qsci/qscilexercpp.h>
#include <Qsci/qsciscintilla.h>

#include <QApplication>

namespace {

QString assemblerText()
{
    const QStringList lines = {"; counting loop\n",
                               "loop:   movlw   d'250'          ; outer count\n",
                               "        movwf   outer\n",
                               "        incf    PORTB, f\n",
                               "        btfss   STATUS, Z\n",
                               "        goto    loop\n",
                               "        banksel TRISB\n",
                               "        __CONFIG _HS_OSC & _WDT_OFF\n",
                               "        #include <p16f877a.inc>\n",
                               "table:  dt      \"hello\", 0x0d, 0x0a\n"};
    QString text;
    for (int i = 0; text.size() < (1 << 20); ++i)
        text += lines.at(i % lines.size());
    return text;
}

QString cText()
{
    const QStringList lines = {"/* a comment */\n",
                               "static int counter = 0x10;\n",
                               "int add(int a, int b) { return a + b; }\n",
                               "#define LIMIT 250\n",
                               "// line comment\n",
                               "const char *s = \"hello\";\n",
                               "for (int i = 0; i < 10; ++i) {}\n"};
    QString text;
    for (int i = 0; text.size() < (1 << 20); ++i)
        text += lines.at(i % lines.size());
    return text;
}

void styleAll(QsciScintilla &editor)
{
    editor.SendScintilla(QsciScintillaBase::SCI_COLOURISE, 0, -1);
}

QsciScintilla *assemblerEditor()
{
    static QsciScintilla *editor = [] {
        auto *e = new QsciScintilla;
        auto *lexer = new QsciLexerCirrane(e);
        lexer->load(QStringLiteral(DYX_SOURCE_DIR "/data/syntax/PICASM.SYN"), Qt::CaseInsensitive);
        e->setLexer(lexer);
        e->setText(assemblerText());
        styleAll(*e);
        return e;
    }();
    return editor;
}

void styleAssembler(benchmark::State &state)
{
    QsciScintilla editor;
    auto *lexer = new QsciLexerCirrane(&editor);
    lexer->load(QStringLiteral(DYX_SOURCE_DIR "/data/syntax/PICASM.SYN"), Qt::CaseInsensitive);
    editor.setLexer(lexer);
    const QString text = assemblerText();
    for (auto _ : state) {
        editor.setText(text);
        styleAll(editor);
    }
}

void styleC(benchmark::State &state)
{
    QsciScintilla editor;
    editor.setLexer(new QsciLexerCPP(&editor));
    const QString text = cText();
    for (auto _ : state) {
        editor.setText(text);
        styleAll(editor);
    }
}

// One character typed at a place, and the screenful of text around it styled again, as the
// editor does for what it shows.
void keystrokeAt(benchmark::State &state, bool middle)
{
    QsciScintilla *editor = assemblerEditor();
    for (auto _ : state) {
        const long length = editor->SendScintilla(QsciScintillaBase::SCI_GETLENGTH);
        const long at = middle ? length / 2 : length;
        editor->SendScintilla(QsciScintillaBase::SCI_INSERTTEXT, at, "x");
        const long line = editor->SendScintilla(QsciScintillaBase::SCI_LINEFROMPOSITION, at);
        const long from = editor->SendScintilla(QsciScintillaBase::SCI_POSITIONFROMLINE, line);
        editor->SendScintilla(QsciScintillaBase::SCI_COLOURISE, from, qMin(length + 1, at + 3000));
    }
}

void keystrokeInTheMiddle(benchmark::State &state)
{
    keystrokeAt(state, true);
}

void keystrokeAtTheEnd(benchmark::State &state)
{
    keystrokeAt(state, false);
}

} // namespace

BENCHMARK(styleAssembler)->Unit(benchmark::kMillisecond);
BENCHMARK(styleC)->Unit(benchmark::kMillisecond);
BENCHMARK(keystrokeInTheMiddle)->Unit(benchmark::kMicrosecond);
BENCHMARK(keystrokeAtTheEnd)->Unit(benchmark::kMicrosecond);

int main(int argc, char **argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    return runBenchmarksWithRatios(argc,
                                   argv,
                                   {{"styleAssembler", "styleC", 2.0},
                                    {"keystrokeInTheMiddle", "keystrokeAtTheEnd", 2.0}});
}
