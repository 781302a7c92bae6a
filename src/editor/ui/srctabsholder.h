#pragma once

#include "core/editorservices.h"
#include "core/filemoves.h"
#include "core/outputsink.h"
#include "editor/findtarget.h"

#include <QHash>
#include <QMap>
#include <QPointer>
#include <QStringList>
#include <QTabWidget>

class MainServices;
class SourceEditor;

// The main window's central tab widget: one source editor per open file.
class SrcTabsHolder : public QTabWidget, public EditorServices, public FindTarget
{
    Q_OBJECT

public:
    SrcTabsHolder(MainServices *mainWindow, QWidget *parent);

    void openFile(const QString &path);
    void activateFile(const QString &path);
    bool closeFile(const QString &path, bool force);
    SourceEditor *findEditor(const QString &path) const;
    SourceEditor *currentEditor() const;
    SourceEditor *editorAt(int index) const;
    // The file paths of the open editors, in tab order.
    QStringList openPaths() const;
    void updateTabTitles();
    bool canCloseAll();
    void applySettingsToAll();
    // Between the two, files open, close, are saved and become current without the tabs being
    // laid out and repainted for each: a replace through a whole project opens hundreds.
    void beginManyChanges() override;
    void endManyChanges() override;

    // The documents a search runs over.
    FindDocument *currentDocument() const override;
    QStringList openDocumentPaths() const override { return openPaths(); }
    QStringList projectFiles() const override;
    FindDocument *openDocument(const QString &path) override;
    void closeDocument(const QString &path) override { closeFile(path, false); }

    // What the projects ask of the editors.
    void openFileAt(const QString &path, int line = -1, int column = 0) override;
    void closeEditor(const QString &path) override { closeFile(path, true); }
    bool saveEditor(const QString &path, bool ask) override;
    void editorFileRenamed(const QString &oldPath, const QString &newPath) override;
    void openMessageAt(const QString &path, int line, int column) override;
    void buildStarts() override;
    void buildEnded(bool built) override;
    void reopenIfLastSession(const QString &path) override;
    QString modifiedEditorTitle(const QString &path) const override;
    QStringList modifiedFiles() const override;
    // The files open when the program last closed, to reopen with their projects.
    void setLastSessionFiles(const QStringList &paths) override { m_lastSessionFiles = paths; }
    QList<Place> placesOf(const QStringList &paths) const override;
    void restorePlaces(const QList<Place> &places) override;
    QStringList lastSessionFiles() const { return m_lastSessionFiles; }

    // The compilers' messages of the last build, shown in the margin of each file's editor,
    // now and when the file is opened later.
    void addSourceMark(const QString &path, int line, MessageSeverity severity, const QString &text);
    void clearSourceMarks();

    // Breakpoints, by file, for this session: those of open files as their editors show them
    // now, those of files closed since as they were then.
    QList<std::pair<QString, int>> breakpoints() const;
    // The same by the lines of the text the firmware was built from, for its debugger.
    QList<std::pair<QString, int>> breakpointsAsBuilt() const;
    // The text a breakpoint's line holds (without the blanks around it), or held when its file
    // was last seen.
    QString breakpointText(const QString &path, int line) const;
    // The breakpoints a session left, of files that are not open, with the texts of their
    // lines: their editors show them when the files open.
    void restoreBreakpoints(const QList<std::pair<QString, int>> &breakpoints,
                            const QStringList &texts = {});
    // Sets or removes a breakpoint at the current editor's line.
    void toggleBreakpoint();
    // Where the debugger stopped the firmware: the file opens at the line, which is marked;
    // an empty path removes the mark.
    void showExecutionPoint(const QString &path, int line);

signals:
    // The current tab changed: the window's commands need their enabled states again.
    void stateChanged();
    void breakpointsChanged();
    // A file's changes were saved, undone or dropped with its tab: what was kept of them in a
    // copy is no longer unsaved.
    void changesSavedOrDropped();

public slots:
    void saveAll();
    void closeTab(int index);
    void onCurrentChanged(int index);
    void cut();
    void copy();
    void paste();
    void undo();
    void redo();
    void save();
    void close();

private:
    int m_manyChanges = 0;
    bool m_barWasShown = true;
    QList<QPointer<SourceEditor>> m_madeCurrent; // opened among many changes, in turn
    int indexOf(const QString &path) const;
    // Breakpoints of files not open go to the lines holding their texts in the files on disk.
    void followClosedFiles();

    MainServices &m_mainWindow;
    QStringList m_lastSessionFiles;
    struct SourceMark
    {
        QString path;
        int reported; // the line the message gave
        int line;     // where it stands in the file as last saved
        MessageSeverity severity;
        QString text;
    };
    std::vector<SourceMark> m_sourceMarks;
    QMap<QString, QList<int>> m_breakpoints;
    QHash<QString, QStringList> m_breakpointTexts; // of those lines, in the same order
    // Files saved and closed since the last build: where each line the firmware was built from
    // stands in the file as last saved, and the digest and the lines of what was saved.
    struct KeptLines
    {
        std::vector<int> lines;
        QByteArray digest;
        QStringList text;
    };
    QHash<QString, KeptLines> m_builtLinesKept;
    bool m_firmwareBuilt = false; // a build gave firmware, from the files as they were
    QString m_executionPath;
    int m_executionLine = 0; // as the firmware was built
    // Files renamed or copied since the last build: its messages, their marks and the stops of
    // its firmware name them as they were called.
    FileMoves m_moves;
};
