#pragma once

#include <QStringList>

// Where a find-and-replace search stands: the texts and options of the last search, the
// documents still to search, and the first match found in the current document, by which the
// search knows that it has come round to where it began.
struct FindState
{
    enum Mode { Find, Replace, ReplaceAll };
    enum Scope { CurrentDocument, AllOpenDocuments, CurrentProject };

    QString findText;
    QString replaceText;
    bool regex = false;
    bool caseSensitive = false;
    bool wholeWords = false;
    bool wrap = true;
    bool forward = true;
    bool show = true;
    int line = 0;
    int index = 0;
    bool restart = true;
    bool inDocument = true;
    bool firstCall = true;
    QStringList files;
    QStringList openPaths;
    QString startFile;
    int startLine = 0;
    int startIndex = 0;
    int firstMatchLine = -1;
    int firstMatchIndex = -1;

    // Starts afresh at a document and a cursor position: the files still to search follow from
    // the scope (the project's files with the open ones first, in tab order).
    void restartAt(const QString &currentFile,
                   int cursorLine,
                   int cursorIndex,
                   const QStringList &openEditorPaths,
                   Scope scope,
                   const QStringList &projectFiles);
    // Whether a match at (matchLine, matchIndex) is the first match again: the search has come
    // round. A replacement may have moved the first match by up to the replace text's length.
    bool cameRound(int matchLine, int matchIndex, Mode mode) const;
    // The search goes on in another document: from its start, with no match found there yet.
    void enterDocument();
    // Records a match as the document's first unless one is recorded.
    void noteMatch(int matchLine, int matchIndex);

    // The project's files with the open ones moved to the front, in tab order: each takes the
    // next front place, and the file there takes its place.
    static QStringList projectOrder(const QStringList &projectFiles, const QStringList &openPaths);
    // Adds a text to a combo box's history unless it is empty or there already.
    static bool addToHistory(QStringList &history, const QString &text);
};
