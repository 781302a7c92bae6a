#pragma once

#include "core/ui/commandactions.h"
#include "core/mainservices.h"

#include "platform/settingsbackend.h"

#include <QMainWindow>
#include <QStringList>

#include <memory>

class OutWindow;
class ProjectsManager;
class QActionGroup;
class QComboBox;
class QMenu;
class SimulatedControllers;
class SimulatorInstallation;
class SrcTabsHolder;

// The main window: owns the editor tabs, the projects pane and the output window, every
// command with its menus and toolbars, the recent lists and the settings store, and is the hub
// through which the rest of the program reaches all of these.
class SrcManager : public QMainWindow, public MainServices
{
    Q_OBJECT

public:
    explicit SrcManager(QWidget *parent = nullptr, Qt::WindowFlags flags = Qt::WindowFlags());
    ~SrcManager() override;

    // Output window services; each does nothing without an output window.
    void clearOutput() override;
    void message(const QString &text) override;
    void error(const QString &text) override;
    void success(const QString &text) override;
    void link(const QString &file, int line, int column, const QString &text) override;
    void errorLink(const QString &file, int line, int column, const QString &text) override;
    void richText(const QString &html) override;

    QWidget *mainWidget() override { return this; }
    SettingsStore &settingsStore() override { return *m_settings; }
    std::optional<QDomDocument> loadXml(const QString &path) override;
    bool saveXml(const QDomDocument &document,
                 const QString &path,
                 QString *errorString = nullptr) override;
    QTextCharFormat displayFormat(const QString &group, const QString &item) const override;
    bool usesDefaultColour(const QString &group,
                           const QString &item,
                           bool foreground) const override;
    void openFileAt(const QString &path, int line = -1, int column = 0) override;
    void closeEditor(const QString &path) override;
    bool saveEditor(const QString &path, bool ask) override;
    void editorFileRenamed(const QString &oldPath, const QString &newPath) override;
    void reopenIfLastSession(const QString &path) override;
    QString modifiedEditorTitle(const QString &path) const override;
    const CommandActions *commandActions() const override { return &m_actions; }
    QString familyForFile(const QString &path) const override;
    bool isProjectFile(const QString &path) const override;
    void editorModificationChanged(const QString &path, bool modified) override;
    void showStatusMessage(const QString &text, int timeout) override;
    bool isAdvanced() const override { return m_advanced; }
    QString simulatorDirectory(bool forceDetect) override;
    // The registry search for the simulator suite; sets the "too old" flag.
    QString detectInstallation();
    bool simulatorTooOld() const;
    bool isSimulated(const QString &family, const QString &controller) const override;

    void setAdvanced(bool advanced) { m_advanced = advanced; }
    // Replaces the settings store by one at another scope (machine-wide compiler scans).
    void reopenSettings(Platform::SettingsScope scope);

    // The configuration chosen in the "Project" toolbar; "Debug" without a selector.
    QString selectedConfiguration() const override;
    void setStatusMessage(const QString &text) override;

    const CommandActions &actions() const { return m_actions; }
    SrcTabsHolder *tabs() const { return m_tabs; }
    ProjectsManager *projectsManager() const { return m_projects; }
    OutWindow *outWindow() const { return m_outWindow; }
    SimulatedControllers *simulatedControllers() const { return m_simulatedControllers.get(); }
    QComboBox *configCombo() const { return m_configCombo; }
    QMenu *recentMenu() const { return m_recentMenu; }

    QStringList recentProjects() const { return m_recentProjects; }
    QStringList recentFiles() const { return m_recentFiles; }
    QStringList lastSessionFiles() const { return m_lastSessionFiles; }

    // At start-up: finds the simulator installation, rescans the compilers when it moved, and
    // tells the user when there is none.
    void checkSimulatorInstallation();

    // Saves every open editor document without asking: the rescue after a crash.
    void saveAllEditors();

public slots:
    void openFile();
    void updateState() override;
    void updateBuildTargets(const QString &currentTarget);
    void configComboIndexChanged(const QString &text);
    void newMRUFile(const QString &fileName) override;
    void newMRUProject(const QString &fileName) override;
    void abortBuild();
    void about();
    void help();
    void MRUMenuTriggered(QAction *action);
    void createMRUMenu();

protected:
    void closeEvent(QCloseEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    friend class SessionState;

    void createDocks();
    void createActions();
    void createToolBars();
    void createStatusBar();
    void createMenus();
    bool canClose();

    std::unique_ptr<SettingsStore> m_settings;
    CommandActions m_actions;
    SrcTabsHolder *m_tabs = nullptr;
    ProjectsManager *m_projects = nullptr;
    OutWindow *m_outWindow = nullptr;
    QComboBox *m_configCombo = nullptr;
    QMenu *m_recentMenu = nullptr;
    QActionGroup *m_recentProjectsGroup = nullptr;
    QActionGroup *m_recentFilesGroup = nullptr;
    // Commands whose dialogs and links are not built yet: held disabled, whatever the editor
    // or the projects pane ask of them.
    QActionGroup *m_withoutReceiver = nullptr;
    std::unique_ptr<SimulatedControllers> m_simulatedControllers;
    std::unique_ptr<SimulatorInstallation> m_simulatorInstallation;
    QStringList m_recentProjects;
    QStringList m_recentFiles;
    QStringList m_lastSessionFiles;
    bool m_advanced = false;
    bool m_rebuildingTargets = false;
};
