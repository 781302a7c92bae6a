#pragma once

#include "editor/syntaxrules.h"
#include "editor/syntaxscanner.h"

#include <Qsci/qscilexercustom.h>

#include <climits>
#include <vector>

// The lexer of source files that have no built-in one: its whole language comes from a syntax
// definition file. Styles are those of a scan of the whole document from its start; after an
// edit the scan goes on from the last line start before it whose state is still good, and
// only as far as the editor needs styles.
class QsciLexerCirrane : public QsciLexerCustom
{
    Q_OBJECT

public:
    explicit QsciLexerCirrane(QObject *parent = nullptr);

    const char *language() const override;
    QString description(int style) const override;
    void styleText(int start, int end) override;
    void setEditor(QsciScintilla *editor) override;
    int styleBitsNeeded() const override { return 5; }

    void load(const QString &fileName, Qt::CaseSensitivity caseSensitivity);
    const SyntaxRules &rules() const { return m_rules; }

private slots:
    void documentModified(int position,
                          int modificationType,
                          const char *text,
                          int length,
                          int linesAdded,
                          int line,
                          int foldNow,
                          int foldPrev,
                          int token,
                          int annotationLinesAdded);

private:
    QString documentText() const;
    bool restartFrom(const QString &text, int from, SyntaxScanner::State &state) const;
    void forgetFrom(int position);

    SyntaxRules m_rules;
    std::vector<SyntaxScanner::State> m_checkpoints; // in position order
    int m_dirtyFrom = INT_MAX;
};
