#pragma once

#include "core/commandstate.h"
#include "core/editorservices.h"
#include "core/mainservices.h"
#include "core/projectqueries.h"
#include "core/recentlists.h"
#include "core/settingsfiles.h"
#include "core/settingsstore.h"
#include "core/simulatorqueries.h"

#include <QHash>
#include <QStringList>

// Points the settings store at a fresh, empty location for the test process.
void isolateSettings();

// Isolates the settings before any member reads them.
struct IsolatedSettings
{
    IsolatedSettings() { isolateSettings(); }
};

// A main window for tests: it is every service itself, records every output line and every
// file it was asked to open, and keeps real settings in the test's own settings location.
class FakeMainServices :
    private IsolatedSettings,
    public MainServices,
    public OutputSink,
    public EditorServices,
    public CommandState,
    public RecentLists,
    public ProjectQueries,
    public SimulatorQueries,
    public SettingsFiles
{
public:
    OutputSink &output() override { return *this; }
    EditorServices &editors() override { return *this; }
    CommandState &commands() override { return *this; }
    RecentLists &recent() override { return *this; }
    ProjectQueries &projects() override { return *this; }
    SimulatorQueries &simulator() override { return *this; }
    SettingsFiles &files() override { return *this; }

    FakeMainServices();
    ~FakeMainServices() override;

    struct OpenRequest
    {
        QString path;
        int line;
        int column;
    };

    QStringList lines; // "message: text", "error: text", "link: file:line:column: text", ...
    QList<OpenRequest> openRequests;

    void clearOutput() override { lines.append(QStringLiteral("clear")); }
    void message(const QString &text) override;
    void error(const QString &text) override;
    void success(const QString &text) override;
    void link(const QString &file, int line, int column, const QString &text) override;
    void errorLink(const QString &file, int line, int column, const QString &text) override;
    void richText(const QString &html) override { lines.append(QStringLiteral("html: ") + html); }

    QWidget *mainWidget() override { return nullptr; }
    SettingsStore &settingsStore() override { return m_settings; }
    std::optional<QDomDocument> loadXml(const QString &path) override;
    bool saveXml(const QDomDocument &document,
                 const QString &path,
                 QString *errorString = nullptr) override;
    void openFileAt(const QString &path, int line, int column) override;
    void closeEditor(const QString &path) override { lines.append("closeEditor: " + path); }
    bool saveEditor(const QString &path, bool ask) override
    {
        lines.append(QStringLiteral("saveEditor: %1 %2").arg(path).arg(ask));
        return true;
    }
    void editorFileRenamed(const QString &oldPath, const QString &newPath) override
    {
        lines.append("renamed: " + oldPath + " -> " + newPath);
    }
    void openMessageAt(const QString &path, int line, int column) override
    {
        openFileAt(path, line, column);
    }
    void buildStarts() override {}
    void buildEnded(bool) override {}
    void reopenIfLastSession(const QString &) override {}
    void setLastSessionFiles(const QStringList &) override {}
    QList<Place> placesOf(const QStringList &) const override { return {}; }
    void restorePlaces(const QList<Place> &) override {}
    QString modifiedEditorTitle(const QString &path) const override
    {
        return modifiedEditors.value(path);
    }
    QStringList modifiedFiles() const override { return modifiedEditors.keys(); }
    void updateState() override { ++stateUpdates; }
    void newMRUProject(const QString &fileName) override { recentProjects.prepend(fileName); }
    QStringList recentProjects;
    QString selectedConfiguration() const override { return selected; }
    void setStatusMessage(const QString &text) override { statusMessages.append(text); }
    QString selected = QStringLiteral("Debug");
    QStringList statusMessages;
    QHash<QString, QString> modifiedEditors;
    int stateUpdates = 0;
    const CommandActions *commandActions() const override { return actions; }
    QString familyForFile(const QString &) const override { return family; }
    bool isProjectFile(const QString &path) const override { return projectFiles.contains(path); }
    QStringList currentProjectFiles() const override { return projectFiles; }
    void newMRUFile(const QString &fileName) override { recentFiles.prepend(fileName); }
    void setFileModified(const QString &path, bool modified) override
    {
        lines.append(QStringLiteral("modified: %1 %2").arg(path).arg(modified));
    }
    void showStatusMessage(const QString &text, int) override { statusMessages.append(text); }
    CommandActions *actions = nullptr;
    QString family;
    QStringList projectFiles;
    QStringList recentFiles;
    bool isAdvanced() const override { return advanced; }
    bool advanced = false;
    QString simulatorDirectory(bool) override { return m_settings.cirraneDirectory(); }
    // "FAMILY/CONTROLLER" of each controller the simulator runs, in any letter case.
    QStringList simulated;
    bool isSimulated(const QString &family, const QString &controller) const override
    {
        return simulated.contains(family + QLatin1Char('/') + controller, Qt::CaseInsensitive);
    }

private:
    mutable SettingsStore m_settings;
};
