#pragma once

#include "commandstate.h"
#include "editorservices.h"
#include "mainservices.h"
#include "projectqueries.h"
#include "recentlists.h"
#include "settingsfiles.h"
#include "settingsstore.h"
#include "silentoutput.h"
#include "simulatorqueries.h"

// The main window where there is none (a project read only to look at it, a test of one part):
// every output line goes nowhere, no editor is open and every one is saved, no project, no
// simulator suite, no window to parent a dialog; the settings are the defaults, held in memory
// and never read from or written to disk; XML files are read and written as usual.
class SilentServices :
    public MainServices,
    public EditorServices,
    public CommandState,
    public RecentLists,
    public ProjectQueries,
    public SimulatorQueries,
    public SettingsFiles
{
public:
    static SilentServices &instance();

    OutputSink &output() override { return SilentOutput::instance(); }
    EditorServices &editors() override { return *this; }
    CommandState &commands() override { return *this; }
    RecentLists &recent() override { return *this; }
    ProjectQueries &projects() override { return *this; }
    SimulatorQueries &simulator() override { return *this; }
    SettingsFiles &files() override { return *this; }

    void openFileAt(const QString &, int, int) override {}
    void closeEditor(const QString &) override {}
    bool saveEditor(const QString &, bool) override { return true; }
    void editorFileRenamed(const QString &, const QString &) override {}
    void openMessageAt(const QString &, int, int) override {}
    void buildStarts() override {}
    void buildEnded(bool) override {}
    void reopenIfLastSession(const QString &) override {}
    void setLastSessionFiles(const QStringList &) override {}
    QList<Place> placesOf(const QStringList &) const override { return {}; }
    void restorePlaces(const QList<Place> &) override {}
    QString modifiedEditorTitle(const QString &) const override { return QString(); }
    QStringList modifiedFiles() const override { return {}; }

    void updateState() override {}
    const CommandActions *commandActions() const override { return nullptr; }
    QString selectedConfiguration() const override { return QString(); }
    void setStatusMessage(const QString &) override {}
    void showStatusMessage(const QString &, int) override {}
    bool isAdvanced() const override { return false; }
    QWidget *mainWidget() override { return nullptr; }

    void newMRUProject(const QString &) override {}
    void newMRUFile(const QString &) override {}

    QString familyForFile(const QString &) const override { return QString(); }
    bool isProjectFile(const QString &) const override { return false; }
    QStringList currentProjectFiles() const override { return QStringList(); }
    void setFileModified(const QString &, bool) override {}

    QString simulatorDirectory(bool) override { return QString(); }
    bool isSimulated(const QString &, const QString &) const override { return false; }

    SettingsStore &settingsStore() override { return m_settings; }
    std::optional<QDomDocument> loadXml(const QString &path) override;
    bool saveXml(const QDomDocument &document,
                 const QString &path,
                 QString *errorString = nullptr) override;

private:
    SilentServices() = default;

    SettingsStore m_settings{Platform::SettingsScope::Detached};
};
