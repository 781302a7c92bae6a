#pragma once

#include "core/outputsink.h"
#include "core/ui/storeddisplayformats.h"
#include "editor/finddocument.h"
#include "editor/sourcetext.h"

#include <Qsci/qsciscintilla.h>

#include <QRegularExpression>

#include <functional>
#include <optional>

class MainServices;
class QMenu;

// One open source file: loads and saves it in the system's 8-bit encoding, asks before
// losing changes, highlights it (the C/C++ lexer, or the syntax-definition lexer chosen through
// the controller family's map file) and keeps the window's edit commands in step.
class SourceEditor : public QsciScintilla, public FindDocument
{
    Q_OBJECT

public:
    // When the display settings and highlighting are set up: at once, or once the editor is
    // first seen (shown, or made the current tab): a replace through a project opens hundreds
    // of tabs that the user may never look at.
    enum class SetUp { Now, WhenSeen };

    SourceEditor(MainServices *mainWindow, const QString &fileName, SetUp setUp = SetUp::Now);
    ~SourceEditor() override;

    void loadFile(const QString &fileName);
    bool saveFile(const QString &fileName);
    bool save();
    bool saveAs();
    bool maybeSave();
    bool canClose();
    void setCurrentFile(const QString &fileName);
    void setFileName(const QString &fileName);
    QString filePath() const override { return m_filePath; }
    QString displayName() const;
    QString tabTitle() const;
    bool refersTo(const QString &path) const override;
    // The file's path with symbolic links resolved; empty while the file does not exist.
    QString canonicalPath() const;
    // Unsaved changes, or an untitled document that was never saved.
    bool isDocumentModified() const { return isModified() || m_untitled; }
    // Takes the settings again (at once, or when the editor is first seen).
    void applySettings();
    // Sets up what still waits for the editor to be seen.
    void ensureSetUp();
    // Puts a new text in place of the whole document as one step to undo, keeping the cursor's
    // line and the view where they were.
    void replaceWholeText(const QString &text) override;
    // The position one character after (or before) a line and index, across line ends; the
    // same position at the document's end (or start).
    void stepPosition(int &line, int &index, bool forward) const override;
    void endAt(int &line, int &index) const override
    {
        lineIndexFromPosition(int(SendScintilla(SCI_GETLENGTH)), &line, &index);
    }

    // The document a search looks in.
    void cursorAt(int &line, int &index) const override { getCursorPosition(&line, &index); }
    bool hasSelection() const override { return hasSelectedText(); }
    void selectionStartAt(int &line, int &index) const override;
    bool findFirstMatch(const QString &text,
                        bool regex,
                        bool caseSensitive,
                        bool wholeWords,
                        bool wrap,
                        bool forward,
                        int line,
                        int index) override;
    bool findNextMatch() override;
    Replaced replaceMatch(const QString &text) override;
    QString wholeText() const override { return documentText(); }

    // A compiler's message at a line (counted from one): a mark in the margin beside it, which
    // moves with the line as it is edited and shows the message as its tool tip. A mark that
    // had moved before is placed where it had gone, and remembers the line the message gave.
    void addBuildMark(int line, MessageSeverity severity, const QString &text, int reported = 0);
    void clearBuildMarks();
    int buildMarkCount() const { return int(m_buildMarks.size()); }
    // The messages marked at a line (counted from one) as the line stands now.
    QStringList buildMarksAt(int line) const;
    // Where the mark of a message given for a line (counted from one) stands now, after the
    // lines above were edited; the line itself when no mark was made for it.
    int buildMarkLine(int reported) const;

    // Breakpoints at lines (counted from one): marks in a margin of their own, beside the text,
    // where a click sets or removes one; they move with the lines as the text is edited.
    void toggleBreakpoint(int line);
    void setBreakpointLines(const QList<int> &lines);
    QList<int> breakpointLines() const;
    // Before the editor closes without saving: its unsaved changes are undone.
    void dropChanges();
    // The text as a save would write it, in the file's encoding and line ends.
    QByteArray encodedText();
    // Where the debugger stopped the firmware: an arrow beside the line and the line coloured;
    // 0 removes it.
    void setExecutionLine(int line);
    int executionLine() const;

    // A build starts from the text as it stands (saved): its lines are followed as they are
    // edited meanwhile. When the build has given firmware, the debugger's lines (counted from
    // one) are those lines, wherever they have gone since; a build that failed leaves them those
    // of the firmware before.
    void markLinesBeingBuilt();
    void buildEnded(bool built);
    // Where a line of the text the firmware was built from stands now.
    int lineNowOf(int builtLine) const;
    // The line of the text the firmware was built from that a line stands for now: for a line
    // typed since, the first one below it that was there.
    int builtLineOf(int lineNow) const;
    // Where each line of the text the firmware was built from stands now (empty when the editor
    // knows no build), and the same given back to an editor of the file opened again.
    std::vector<int> builtLinesNow() const;
    void takeBuiltLines(const std::vector<int> &linesNow);
    // The digest of what the file held when last read or written here.
    const QByteArray &keptDigest() const { return m_diskDigest; }

    // The syntax file a map file names for a source file; empty when there is none.
    static QString resolveSyntaxFile(const QString &mapPath, const QString &fileName);

signals:
    // A breakpoint was set or removed here.
    void breakpointsChanged();
    // The file's lines are the editor's now: the text was written to the file, or read again
    // from it.
    void matchesFile();

public slots:
    void updateState();
    void documentWasModified(bool modified);
    void copyAvailabilityChanged(bool yes);
    void undoAvailabilityChanged(bool);

protected:
    void showEvent(QShowEvent *event) override;
    void contextMenuEvent(QContextMenuEvent *event) override;
    void closeEvent(QCloseEvent *event) override;
    bool viewportEvent(QEvent *event) override;

private:
    void setUp();
    void setUpDebugMargin();
    bool isSeen() const;
    // Whether the window's commands speak of this editor: the tab shown, or one on its own. The
    // others' changes (a save, a reading again, an undo step) leave the commands alone.
    bool isCommandsEditor() const;
    void applyColours();
    // The file as it stands on disk now: its digest, empty when it cannot be read.
    QByteArray diskDigest() const;
    void watchFile(const QByteArray &writtenOrRead);
    // Watches the file where it is named now.
    void watchPath();
    // Another program changed the file: read again at once when nothing here is unsaved,
    // otherwise as the user says.
    void fileChangedOnDisk();
    void reloadKeepingPlace();
    void forgetBuiltLines();
    // Makes a change of the whole text with the cursor's line and the view kept where they were.
    void keepingPlace(const std::function<void()> &change);
    QString documentText() const;
    // Selects the match of the search that starts first from a place in the text, or
    // backwards the last one that starts there or before (before it, when not from itself),
    // wrapping round when the search does; false when none.
    bool selectMatch(const QString &text, qsizetype from, bool fromItself);
    void setUpCppLexer();
    void setUpSyntaxLexer(const QString &syntaxFile);

    MainServices &m_mainWindow;
    StoredDisplayFormats m_formats;
    const SetUp m_setUpWhen;
    bool m_setUpPending = true;
    QMenu *m_contextMenu = nullptr;
    QString m_filePath;
    mutable QString m_canonicalPath;
    bool m_copyAvailable = false;
    bool m_untitled = false; // the editor cannot mark a document modified by itself
    // How the file was stored, so that a save writes it back the same way.
    SourceText m_stored;
    // The file as this editor last read or wrote it, to tell another program's change; the
    // file is watched for one.
    QByteArray m_diskDigest;
    QString m_watchedPath;
    bool m_askingAboutDisk = false;
    struct BuildMark
    {
        int handle;
        int reported; // the line the message gave
        MessageSeverity severity;
        QString text;
    };
    std::vector<BuildMark> m_buildMarks;
    void markLines(std::vector<int> &handles, int kind);
    void defineLineMark(int kind);
    void dropLineMarks(std::vector<int> &handles, int kind);
    // The handle of each line's invisible mark, as the firmware was built, and as the build
    // that runs takes it; the kind of mark of the first.
    std::vector<int> m_builtLines;
    std::vector<int> m_buildingLines;
    int m_builtKind = 0;
    bool m_debugMarginReady = false;
    // The search that Find Next goes on with.
    struct Search
    {
        QRegularExpression expression;
        bool regex = false;
        bool wrap = false;
        bool forward = true;
    } m_search;
};
