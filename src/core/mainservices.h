#pragma once

#include "outputsink.h"

#include <QDomDocument>
#include <QTextCharFormat>

#include <optional>

class QWidget;
class SettingsStore;
struct CommandActions;

// The main window as the rest of the program sees it: output lines, settings, display
// formats, XML files and opening files in editors. Tests hand classes a recording fake.
class MainServices : public OutputSink
{
public:
    virtual QWidget *mainWidget() = 0;
    virtual SettingsStore &settingsStore() = 0;

    // XML files are read and written through the shared loader, which reports parse errors
    // as output lines.
    virtual std::optional<QDomDocument> loadXml(const QString &path) = 0;
    virtual bool saveXml(const QDomDocument &document,
                         const QString &path,
                         QString *errorString = nullptr)
        = 0;

    virtual QTextCharFormat displayFormat(const QString &group, const QString &item) const = 0;
    virtual bool usesDefaultColour(const QString &group,
                                   const QString &item,
                                   bool foreground) const = 0;

    // Opens path in an editor tab (or switches to it); a line of 0 or more also places the
    // cursor there and gives the editor the keyboard focus.
    virtual void openFileAt(const QString &path, int line = -1, int column = 0) = 0;

    // Editors of project files: close one (without asking), save one (asking first with ask;
    // true when there is none to save), follow a rename, and reopen a file that was open when
    // the program last closed.
    virtual void closeEditor(const QString &path) = 0;
    virtual bool saveEditor(const QString &path, bool ask) = 0;
    virtual void editorFileRenamed(const QString &oldPath, const QString &newPath) = 0;
    virtual void reopenIfLastSession(const QString &path) = 0;
    // The title the editor of path shows when it holds unsaved changes; empty otherwise.
    virtual QString modifiedEditorTitle(const QString &path) const = 0;
    virtual void updateState() = 0;
    // Puts a project on the recent-projects list.
    virtual void newMRUProject(const QString &fileName) = 0;
    // The configuration chosen in the "Project" toolbar.
    virtual QString selectedConfiguration() const = 0;
    // A lasting message in the status bar; empty clears it.
    virtual void setStatusMessage(const QString &text) = 0;

    // For editors: the window's commands, the controller family a file is built for, whether
    // a file belongs to an open project, the recent-files list, and their modified state.
    virtual const CommandActions *commandActions() const = 0;
    virtual QString familyForFile(const QString &path) const = 0;
    virtual bool isProjectFile(const QString &path) const = 0;
    virtual void newMRUFile(const QString &fileName) = 0;
    virtual void editorModificationChanged(const QString &path, bool modified) = 0;
    virtual void showStatusMessage(const QString &text, int timeout) = 0;

    virtual bool isAdvanced() const = 0;
    // The simulator suite's installation directory: the stored one, or the one the registry
    // names (always looked up with forceDetect); empty when there is none.
    virtual QString simulatorDirectory(bool forceDetect) = 0;
    virtual bool isSimulated(const QString &family, const QString &controller) const = 0;
};
