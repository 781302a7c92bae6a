#include "findstate.h"

void FindState::restartAt(const QString &currentFile,
                          int cursorLine,
                          int cursorIndex,
                          const QStringList &openEditorPaths,
                          Scope scope,
                          const QStringList &projectFiles)
{
    firstMatchLine = -1;
    firstMatchIndex = -1;
    firstCall = true;
    inDocument = true;
    restart = false;
    startFile = currentFile;
    startLine = currentFile.isEmpty() ? 0 : cursorLine;
    startIndex = currentFile.isEmpty() ? 0 : cursorIndex;
    openPaths = openEditorPaths;
    switch (scope) {
    case CurrentDocument:
        files.clear();
        break;
    case AllOpenDocuments:
        files = openPaths;
        break;
    case CurrentProject:
        files = projectOrder(projectFiles, openPaths);
        break;
    }
    files.removeAll(startFile);
    line = startLine;
    index = startIndex;
}

bool FindState::cameRound(int matchLine, int matchIndex, Mode mode) const
{
    if (firstMatchLine < 0 || matchLine != firstMatchLine)
        return false;
    if (matchIndex == firstMatchIndex)
        return true;
    return mode != Find && matchIndex >= firstMatchIndex
           && matchIndex < firstMatchIndex + int(replaceText.size());
}

void FindState::enterDocument()
{
    firstMatchLine = -1;
    firstMatchIndex = -1;
    line = 0;
    index = 0;
}

void FindState::noteMatch(int matchLine, int matchIndex)
{
    if (firstMatchLine >= 0)
        return;
    firstMatchLine = matchLine;
    firstMatchIndex = matchIndex;
}

QStringList FindState::projectOrder(const QStringList &projectFiles, const QStringList &openPaths)
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

bool FindState::addToHistory(QStringList &history, const QString &text)
{
    if (text.isEmpty() || history.contains(text))
        return false;
    history.append(text);
    return true;
}
