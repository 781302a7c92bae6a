#pragma once

#include <QCoreApplication>
#include <QStringList>

class FindDocument;
class FindTarget;

// A find-and-replace search over the current document, the open documents or the current
// project's files. Project files are opened as the search reaches them and closed again when
// they hold no match; the search knows it has come round when it meets its first match again,
// and then starts afresh from the cursor at its next step.
class FindSession
{
public:
    enum Scope { CurrentDocument, AllOpenDocuments, CurrentProject };

    struct Options
    {
        QString findText;
        QString replaceText;
        bool regex = false;
        bool caseSensitive = false;
        bool wholeWords = false;
        bool backwards = false;
        Scope scope = CurrentDocument;
    };

    explicit FindSession(FindTarget &target);

    // The search starts afresh from the cursor at its next step.
    void restartFromCursor();
    // Selects the next match; false when there is nothing to find, or the search came round
    // to its first match or ran out of documents.
    bool findNext(const Options &options);
    // Replaces the next match; false as findNext.
    bool replaceNext(const Options &options);
    // Replaces every match of every document in the scope, each from its start to its end, the
    // current one first; returns how many.
    int replaceAll(const Options &options);

    // The project's files with the open ones moved to the front, in tab order: each takes the
    // next front place, and the file there takes its place.
    static QStringList projectOrder(const QStringList &projectFiles, const QStringList &openPaths);
    // Adds a text to a combo box's history unless it is empty or there already.
    static bool addToHistory(QStringList &history, const QString &text);

private:
    bool nextMatch(const Options &options);
    void restartSearch(Scope scope);
    void dropFilesOutOfScope(Scope scope);
    // The next document to search, opened; false when none is left.
    bool takeNextFile(QString &taken);
    // Whether the match the document shows lies where the search has been: it went round the
    // document's end since the first match and is back there.
    bool cameRound(const FindDocument &document) const;
    // The search goes on in another document: from its start, with no match found there yet.
    void enterDocument();

    FindTarget &m_target;
    QString m_findText;
    QString m_replaceText;
    bool m_regex = false;
    bool m_caseSensitive = false;
    bool m_wholeWords = false;
    bool m_forward = true;
    int m_line = 0;
    int m_index = 0;
    bool m_restart = true;
    bool m_inDocument = true;
    bool m_firstCall = true;
    QStringList m_files; // still to search
    QString m_startFile;
    int m_firstMatchLine = -1;
    int m_firstMatchIndex = -1;
    bool m_wrapped = false;     // the search went round the document's end since its first match
    int m_firstReplacement = 0; // the length of what replaced the first match
};
