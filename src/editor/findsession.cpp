#include "findsession.h"

#include "finddocument.h"
#include "findtarget.h"
#include "textsearch.h"

#include <QFileInfo>
#include <QSet>

#include <algorithm>
#include <utility>

FindSession::FindSession(FindTarget &target)
    : m_target(target)
{}

void FindSession::restartFromCursor()
{
    m_restart = true;
    m_inDocument = true;
}

void FindSession::restartSearch(Scope scope)
{
    const FindDocument *document = m_target.currentDocument();
    const QString current = document ? document->filePath() : QString();
    m_firstMatchLine = -1;
    m_firstMatchIndex = -1;
    m_wrapped = false;
    m_firstReplacement = 0;
    m_firstCall = true;
    m_inDocument = true;
    m_restart = false;
    m_startFile = current;
    m_line = 0;
    m_index = 0;
    if (document)
        document->cursorAt(m_line, m_index);
    const QStringList openPaths = m_target.openDocumentPaths();
    switch (scope) {
    case CurrentDocument:
        m_files.clear();
        break;
    case AllOpenDocuments:
        m_files = openPaths;
        break;
    case CurrentProject:
        m_files = projectOrder(m_target.projectFiles(), openPaths);
        break;
    }
    m_files.removeAll(m_startFile);
    // With no document open, the search begins with the first file of its scope.
    if (!document)
        m_inDocument = false;
}

// Files that left the scope since the search began (a tab closed, another project opened) are
// no longer the search's to open.
void FindSession::dropFilesOutOfScope(Scope scope)
{
    if (m_files.isEmpty())
        return;
    const QStringList paths = scope == CurrentProject ? m_target.projectFiles()
                                                      : m_target.openDocumentPaths();
    const QSet<QString> inScope(paths.begin(), paths.end());
    m_files.removeIf([&inScope](const QString &file) { return !inScope.contains(file); });
}

// A project file that is missing or cannot be read has nothing to find in it, and opening it
// would leave an empty tab.
static bool isSearchable(const QString &path)
{
    const QFileInfo info(path);
    return info.isFile() && info.isReadable();
}

bool FindSession::takeNextFile(QString &taken)
{
    do {
        if (m_files.isEmpty())
            return false;
        taken = m_files.takeFirst();
        if (taken.isEmpty())
            return false;
    } while (!isSearchable(taken) || !m_target.openDocument(taken));
    enterDocument();
    m_firstCall = true;
    return true;
}

// Round the document since its first match, and back at that match's place, past it, or (down
// the text) reaching into it: that text was searched before, and what a replacement put there
// is not to be replaced again.
bool FindSession::cameRound(const FindDocument &document) const
{
    if (m_firstMatchLine < 0 || !m_wrapped)
        return false;
    const auto first = std::make_pair(m_firstMatchLine, m_firstMatchIndex);
    // Upwards the first match's replacement, which the search stays in front of, is behind it.
    if (!m_forward)
        return std::make_pair(m_line, m_index)
               <= std::make_pair(m_firstMatchLine,
                                 m_firstMatchIndex + std::max(0, m_firstReplacement - 1));
    int endLine = 0;
    int endIndex = 0;
    document.cursorAt(endLine, endIndex);
    return std::make_pair(m_line, m_index) >= first || std::make_pair(endLine, endIndex) > first;
}

void FindSession::enterDocument()
{
    m_firstMatchLine = -1;
    m_firstMatchIndex = -1;
    m_wrapped = false;
    m_firstReplacement = 0;
    m_line = 0;
    m_index = 0;
}

bool FindSession::nextMatch(const Options &options)
{
    if (options.findText != m_findText) {
        m_findText = options.findText;
        m_restart = true;
    }
    if (m_findText.isEmpty())
        return false;
    if (options.replaceText != m_replaceText) {
        m_replaceText = options.replaceText;
        m_restart = true;
    }
    if (!m_inDocument && m_files.isEmpty()) {
        // The last search ran out: the next one starts afresh.
        restartSearch(options.scope);
        return false;
    }
    m_regex = options.regex;
    m_caseSensitive = options.caseSensitive;
    m_wholeWords = options.wholeWords;
    m_forward = !options.backwards;
    if (m_restart)
        restartSearch(options.scope);
    else
        dropFilesOutOfScope(options.scope);
    QString taken;
    while (true) {
        if (!m_inDocument && !takeNextFile(taken))
            return false;
        FindDocument *document = m_target.currentDocument();
        if (!document)
            return false;
        if (!document->refersTo(m_startFile)) {
            enterDocument();
            m_startFile = document->filePath();
        }
        // After an empty match the next search starts a character on: it would find the same
        // empty match again.
        if (!m_firstCall && !document->hasSelection()) {
            int line = 0;
            int index = 0;
            document->cursorAt(line, index);
            if (line == m_line && index == m_index) {
                m_firstCall = true;
                document->stepPosition(m_line, m_index, m_forward);
                // At the document's end there is no character to go on from: the search goes
                // round to its start (upwards, from its start round to its end).
                if (line == m_line && index == m_index) {
                    m_line = 0;
                    m_index = 0;
                    if (!m_forward)
                        document->endAt(m_line, m_index);
                    m_wrapped = true;
                }
            }
        }
        // Where the search starts: a first search there and on, the next one past the match.
        const auto from = std::make_pair(m_line, m_index);
        const bool fromItself = m_firstCall;
        bool found = false;
        if (m_firstCall) {
            m_firstCall = false;
            found = document->findFirstMatch(m_findText,
                                             m_regex,
                                             m_caseSensitive,
                                             m_wholeWords,
                                             true,
                                             m_forward,
                                             m_line,
                                             m_index);
        } else {
            found = document->findNextMatch();
        }
        if (found && document->hasSelection())
            document->selectionStartAt(m_line, m_index);
        else if (found) // an empty match selects nothing: it is where the cursor stands
            document->cursorAt(m_line, m_index);
        const auto place = std::make_pair(m_line, m_index);
        if (found
            && (m_forward ? place < from || (!fromItself && place == from)
                          : place > from || (!fromItself && place == from)))
            m_wrapped = true;
        m_inDocument = found;
        if (!taken.isEmpty() && !found)
            m_target.closeDocument(taken);
        if (!found)
            continue;
        if (cameRound(*document)) {
            m_inDocument = false;
            continue;
        }
        break;
    }
    if (m_firstMatchLine < 0) {
        m_firstMatchLine = m_line;
        m_firstMatchIndex = m_index;
        m_wrapped = false;
    }
    return true;
}

bool FindSession::findNext(const Options &options)
{
    if (nextMatch(options))
        return true;
    restartFromCursor();
    return false;
}

bool FindSession::replaceNext(const Options &options)
{
    if (!nextMatch(options)) {
        restartFromCursor();
        return false;
    }
    FindDocument::Replaced replaced;
    if (FindDocument *document = m_target.currentDocument()) {
        // A search upwards leaves no groups for the replacement to use: the match is found
        // again forwards, from where it starts.
        if (m_regex && !m_forward)
            document->findFirstMatch(m_findText,
                                     m_regex,
                                     m_caseSensitive,
                                     m_wholeWords,
                                     false,
                                     true,
                                     m_line,
                                     m_index);
        replaced = document->replaceMatch(m_replaceText);
    }
    // What the replacement (its groups filled in) put in place of the match moves what follows
    // on the line; the search goes on after it.
    if (m_line == m_firstMatchLine && m_index == m_firstMatchIndex)
        m_firstReplacement = replaced.replacement;
    else if (m_line == m_firstMatchLine && m_index < m_firstMatchIndex)
        m_firstMatchIndex += replaced.replacement - replaced.matched;
    if (m_forward)
        m_index += replaced.replacement;
    m_firstCall = true;
    return true;
}

// Each document's replacements are one step to undo; project files without a match are closed
// again.
int FindSession::replaceAll(const Options &options)
{
    m_findText = options.findText;
    m_replaceText = options.replaceText;
    m_regex = options.regex;
    m_caseSensitive = options.caseSensitive;
    m_wholeWords = options.wholeWords;
    int count = 0;
    if (!m_findText.isEmpty()) {
        restartSearch(options.scope);
        const QRegularExpression expression = TextSearch::expression(m_findText,
                                                                     m_regex,
                                                                     m_caseSensitive,
                                                                     m_wholeWords);
        const auto replaceIn = [&](FindDocument *document) {
            QString text = document->wholeText();
            const int replaced = TextSearch::replaceAll(text, expression, m_replaceText, m_regex);
            if (replaced > 0)
                document->replaceWholeText(text);
            return replaced;
        };
        m_target.beginManyChanges();
        if (FindDocument *document = m_target.currentDocument())
            count += replaceIn(document);
        for (const QString &path : std::as_const(m_files)) {
            if (!isSearchable(path))
                continue;
            FindDocument *document = m_target.openDocument(path);
            if (!document)
                continue;
            const int replaced = replaceIn(document);
            count += replaced;
            if (replaced == 0)
                m_target.closeDocument(path);
        }
        m_target.endManyChanges();
    }
    restartFromCursor();
    return count;
}

QStringList FindSession::projectOrder(const QStringList &projectFiles, const QStringList &openPaths)
{
    QStringList order = projectFiles;
    int front = 0;
    for (const QString &open : openPaths) {
        const int at = int(order.indexOf(open));
        if (at < 0)
            continue;
        order.swapItemsAt(at, front);
        ++front;
    }
    return order;
}

bool FindSession::addToHistory(QStringList &history, const QString &text)
{
    if (text.isEmpty() || history.contains(text))
        return false;
    history.append(text);
    return true;
}
