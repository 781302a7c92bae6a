#include "qscilexercirrane.h"

#include <Qsci/qsciscintilla.h>

#include <algorithm>

QsciLexerCirrane::QsciLexerCirrane(QObject *parent)
    : QsciLexerCustom(parent)
{}

const char *QsciLexerCirrane::language() const
{
    return "CirraneParsedFile";
}

QString QsciLexerCirrane::description(int style) const
{
    switch (SyntaxScanner::Style(style)) {
    case SyntaxScanner::Default:
        return tr("Default");
    case SyntaxScanner::BlockComment:
    case SyntaxScanner::LineComment:
        return tr("Comment");
    case SyntaxScanner::String:
        return tr("String");
    case SyntaxScanner::Constant:
        return tr("Constant");
    case SyntaxScanner::Operator:
        return tr("Operator");
    case SyntaxScanner::Keyword:
        return tr("Keyword");
    case SyntaxScanner::Extensions:
        return tr("Extensions");
    case SyntaxScanner::Macro:
        return tr("Macro");
    }
    return QString();
}

void QsciLexerCirrane::load(const QString &fileName, Qt::CaseSensitivity caseSensitivity)
{
    m_rules.load(fileName, caseSensitivity);
    m_checkpoints.clear();
    m_dirtyFrom = INT_MAX;
}

void QsciLexerCirrane::setEditor(QsciScintilla *newEditor)
{
    if (editor())
        disconnect(editor(), &QsciScintillaBase::SCN_MODIFIED, this, nullptr);
    QsciLexerCustom::setEditor(newEditor);
    m_checkpoints.clear();
    if (newEditor) {
        connect(newEditor,
                &QsciScintillaBase::SCN_MODIFIED,
                this,
                &QsciLexerCirrane::documentModified);
    }
}

void QsciLexerCirrane::documentModified(
    int position, int modificationType, const char *, int, int, int, int, int, int, int)
{
    if (modificationType
        & (QsciScintillaBase::SC_MOD_INSERTTEXT | QsciScintillaBase::SC_MOD_DELETETEXT))
        forgetFrom(position);
}

// States at or after a changed position describe text that is no longer there.
void QsciLexerCirrane::forgetFrom(int position)
{
    m_dirtyFrom = std::min(m_dirtyFrom, position);
    const auto first = std::lower_bound(m_checkpoints.begin(),
                                        m_checkpoints.end(),
                                        position,
                                        [](const SyntaxScanner::State &s, int p) {
                                            return s.pos < p;
                                        });
    m_checkpoints.erase(first, m_checkpoints.end());
}

QString QsciLexerCirrane::documentText() const
{
    QsciScintilla *e = editor();
    const long length = e->SendScintilla(QsciScintillaBase::SCI_GETLENGTH);
    const char *bytes = reinterpret_cast<const char *>(
        e->SendScintilla(QsciScintillaBase::SCI_GETCHARACTERPOINTER));
    // One character per byte, so that positions in the text are positions in the document.
    return QString::fromLatin1(bytes, length);
}

// Takes the last saved state that the text before from still supports. Its rules' next
// matches are searched again from where they were searched, since the text they looked at may
// have changed; if one of them now lies before the state, the scan up to it would have gone
// differently, and an earlier state is tried.
bool QsciLexerCirrane::restartFrom(const QString &text, int from, SyntaxScanner::State &state) const
{
    const SyntaxScanner scanner(m_rules);
    // Keep a line between the state and the change: a match can reach into the next line.
    int limit = from;
    for (int lines = 0; lines < 2 && limit > 0; ++lines)
        limit = int(text.lastIndexOf(QLatin1Char('\n'), limit - 1));
    for (auto it = m_checkpoints.rbegin(); it != m_checkpoints.rend(); ++it) {
        if (it->pos > limit || it->pos <= 0)
            continue;
        SyntaxScanner::State candidate = *it;
        bool usable = true;
        for (int slot = 1; slot < SyntaxRules::slotCount && usable; ++slot) {
            SyntaxScanner::Slot &s = candidate.next[slot];
            if (!s.searched)
                continue;
            s = scanner.search(text, slot, s.searchStart);
            usable = s.position < 0 || s.position >= candidate.pos;
        }
        if (usable) {
            state = candidate;
            return true;
        }
    }
    return false;
}

void QsciLexerCirrane::styleText(int start, int end)
{
    if (!editor())
        return;
    const QString text = documentText();
    const SyntaxScanner scanner(m_rules);
    std::vector<unsigned char> styles(text.size());
    SyntaxScanner::State state;
    const int from = std::min(start, m_dirtyFrom);
    if (!restartFrom(text, from, state)) {
        m_checkpoints.clear();
        state = scanner.begin(text, styles);
        startStyling(0);
        for (int i = 0; i < state.pos; ++i)
            setStyling(1, 0);
    }
    forgetFrom(state.pos);
    // The scan records its states where they are kept, which keep their room from one styling
    // to the next.
    const int stop = scanner.scan(text,
                                  state,
                                  styles,
                                  m_checkpoints,
                                  end,
                                  [](const SyntaxScanner::State &) { return true; });
    m_dirtyFrom = INT_MAX;

    startStyling(state.pos);
    int runStart = state.pos;
    for (int i = state.pos; i <= stop; ++i) {
        if (i == stop || styles[i] != styles[runStart]) {
            if (i > runStart)
                setStyling(i - runStart, styles[runStart]);
            runStart = i;
        }
    }
}
