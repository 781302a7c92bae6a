#pragma once

#include <QList>
#include <QString>
#include <QStringList>

// The editors as the projects see them: open a file at a place, close, save and rename the
// editor of a file, reopen what was open last time, and ask whether one holds unsaved changes.
class EditorServices
{
public:
    virtual ~EditorServices() = default;

    // Opens path in an editor tab (or switches to it) and gives it the keyboard; a line of 0 or
    // more also places the cursor there (compilers count both from one).
    virtual void openFileAt(const QString &path, int line = -1, int column = 0) = 0;
    // Closes the editor of path without asking.
    virtual void closeEditor(const QString &path) = 0;
    // Saves the editor of path, asking first with ask; true when there is none to save.
    virtual bool saveEditor(const QString &path, bool ask) = 0;
    virtual void editorFileRenamed(const QString &oldPath, const QString &newPath) = 0;
    // Opens the file a message of the last build names, where it is now (after renames and
    // copies of its project since), at the line the message's mark has moved to with the text
    // (the line given where it made no mark).
    virtual void openMessageAt(const QString &path, int line, int column) = 0;
    // A build starts from the files as their editors show them (it saved them); when it has
    // given firmware, the debugger's lines are theirs as they were at the start, wherever they
    // have gone since; a build that failed leaves those of the firmware before.
    virtual void buildStarts() = 0;
    virtual void buildEnded(bool built) = 0;
    // Reopens path when it was open as the program last closed, or is among the files given.
    virtual void reopenIfLastSession(const QString &path) = 0;
    virtual void setLastSessionFiles(const QStringList &paths) = 0;
    // Where a file's tab stands: its cursor (line and column from one), and whether it is the
    // current tab.
    struct Place
    {
        QString path;
        int line = 1;
        int column = 1;
        bool current = false;
    };
    // The places of those of the files that have tabs, in tab order.
    virtual QList<Place> placesOf(const QStringList &paths) const = 0;
    // Puts the tabs of the places' files back as they were: each cursor where it was and in
    // view (also in an editor not laid out yet), the current one in front.
    virtual void restorePlaces(const QList<Place> &places) = 0;
    // The file's name as its editor shows it (without the tab's mark) when the editor holds
    // unsaved changes; empty otherwise.
    virtual QString modifiedEditorTitle(const QString &path) const = 0;
    // The files whose editors hold unsaved changes, in tab order.
    virtual QStringList modifiedFiles() const = 0;
};
