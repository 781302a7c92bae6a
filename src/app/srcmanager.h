#pragma once

#include "core/commandstate.h"
#include "core/mainservices.h"
#include "core/recentlists.h"
#include "core/simulatorqueries.h"
#include "core/ui/commandactions.h"

#include "platform/settingsbackend.h"

#include <QMainWindow>
#include <QPointer>
#include <QStringList>

#include <memory>

class FindDialog;
class GotoLineDialog;
class HelpViewer;
class OutWindow;
class Print;
class ProgramFiles;
class SettingsStore;
class ProjectsManager;
class QActionGroup;
class QComboBox;
class QFileSystemWatcher;
class QLabel;
class QMenu;
class QTimer;
class SimulatedControllers;
class SimulatorInstallation;
class SourceEditor;
class SrcTabsHolder;

// The main window: owns the editor tabs, the projects pane and the output window, every
// command with its menus and toolbars, the recent lists and the settings store, and is the hub
// through which the rest of the program reaches all of these.
class SrcManager :
    public QMainWindow,
    public MainServices,
    public CommandState,
    public RecentLists,
    public SimulatorQueries
{
    Q_OBJECT

public:
    explicit SrcManager(QWidget *parent = nullptr, Qt::WindowFlags flags = Qt::WindowFlags());
    ~SrcManager() override;

    // The hub: each service comes from the object that does the work.
    OutputSink &output() override;
    EditorServices &editors() override;
    CommandState &commands() override { return *this; }
    RecentLists &recent() override { return *this; }
    ProjectQueries &projects() override;
    SimulatorQueries &simulator() override { return *this; }
    SettingsFiles &files() override;
    SettingsStore &settingsStore();
    // The help file: "../HELP/DYXSTUDIO.CHM" from the program's folder.
    static QString helpFile();
    HelpViewer *helpViewer() const { return m_help; }

    // Commands and the status bar.
    QWidget *mainWidget() override { return this; }
    const CommandActions *commandActions() const override { return &m_actions; }
    void showStatusMessage(const QString &text, int timeout) override;
    bool isAdvanced() const override { return m_advanced; }
    // The configuration chosen in the "Project" toolbar; "Debug" without a selector.
    QString selectedConfiguration() const override;
    void setStatusMessage(const QString &text) override;

    // The simulator suite.
    QString simulatorDirectory(bool forceDetect) override;
    // The registry search for the simulator suite; sets the "too old" flag.
    QString detectInstallation();
    bool simulatorTooOld() const;
    bool isSimulated(const QString &family, const QString &controller) const override;

    void setAdvanced(bool advanced) { m_advanced = advanced; }
    // Replaces the settings store by one at another scope (machine-wide compiler scans).
    void reopenSettings(Platform::SettingsScope scope);

    const CommandActions &actions() const { return m_actions; }
    SrcTabsHolder *tabs() const { return m_tabs; }
    // Printing, with its printer and print dialog, made on first use.
    Print *printing();
    // The find dialog, made on first use.
    FindDialog *findDialog();
    ProjectsManager *projectsManager() const { return m_projects; }
    OutWindow *outWindow() const { return m_outWindow; }
    QComboBox *configCombo() const { return m_configCombo; }
    QMenu *recentMenu() const { return m_recentMenu; }

    QStringList recentProjects() const { return m_recentProjects; }
    QStringList recentFiles() const { return m_recentFiles; }
    QStringList lastSessionFiles() const;

    // At start-up: finds the simulator installation, rescans the compilers when it moved, and
    // tells the user when there is none.
    // A start with no compiler recorded (the first) finds the installed ones.
    void detectCompilersOnFirstStart();
    void checkSimulatorInstallation();

    // Saves every open editor document without asking: the rescue after a crash.
    void saveAllEditors();
    // The system or the session ends the program: with no question, a running build stops,
    // the unsaved text of each tab is kept in a copy (its file stays as it was saved), the
    // project is saved (in a copy when another program wrote its file meanwhile) and the
    // session is kept as at a quit; the window then closes with no question.
    void endUnasked();
    bool isEndingUnasked() const { return m_endingUnasked; }
    // The desktop's session manager asks to keep the data before the session may end (at a
    // log-out, or to save the session). The unsaved work is kept in copies first, as at an end
    // by the system, should the session end before anything is answered; where the manager
    // lets the program ask, the questions of a close follow, and the copies go once they are
    // answered. False when the user cancelled: the session does not end.
    bool commitSessionData(bool mayAsk);
    // The program ends from within Qt while the window is open: the display went away (the X
    // server or the compositor ended without a log-out), and Qt calls exit(). What is unsaved
    // is kept in copies for the next start, and nothing else is done: the window can no longer
    // be drawn.
    void keepUnsavedWorkAtExit();
    // Names in the output the copies the last such end kept, and forgets them.
    void tellOfKeptCopies();
    // While the window is open, what is unsaved is kept in such copies too, again each time it
    // changed (every keptWorkIntervalMs at most), and they go once it is saved or dropped: an
    // end that nothing sees coming (the power cut, the program killed, the system out of
    // memory) loses at most the typing of that time. Also after the rescue of a crash.
    void keepUnsavedWorkMeanwhile();
    // Something was saved or dropped: copies that hold it go at once, not at the next interval,
    // so that an end in between does not offer them as unsaved work.
    void dropCopiesOfSavedWork();
    static constexpr int keptWorkIntervalMs = 30000;

public slots:
    void openFile();
    // Files a later start handed over: projects open as projects, other files in editors, and
    // the window comes to the front. They wait while a build runs or a dialog or question is
    // open, which may be working on the open project.
    void openHandedOver(const QStringList &paths);
    void updateState() override;
    void updateBuildTargets(const QString &currentTarget);
    void configComboIndexChanged(const QString &text);
    void newMRUFile(const QString &fileName) override;
    void newMRUProject(const QString &fileName) override;
    void abortBuild();
    void about();
    void help();
    void find();
    void findNext();
    void replace();
    void gotoLine();
    void print();
    // Opens the help file at its main page (contextId 0) or at a dialog's topic.
    void showHelp(const QString &path, int contextId, QWidget *over = nullptr);
    // "Editor Settings"; on OK every editor, the projects tree and the output window take
    // the new looks at once.
    void showProgramConfigurationDialog();
    void MRUMenuTriggered(QAction *action);
    void createMRUMenu();

protected:
    void closeEvent(QCloseEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    friend class SessionState;
    // Puts name first on a recent list of at most four, once, whatever its case.
    static void pushRecent(QStringList &list, const QString &name);

    void createDocks();
    void createActions();
    void createToolBars();
    void createStatusBar();
    void createMenus();
    bool canClose();
    // The title names the current file (with a mark while it is modified) and the project.
    void updateTitle();
    void updatePosition();
    // The debugging commands for the simulator's state; F5 and F10 change hands while the
    // firmware is paused.
    void updateDebugCommands();
    void openHandedOverWhenIdle();
    // A build still running ends with the window, and the compilers make started with it.
    void stopBuilds();
    // The tabs' unsaved changes dropped, the session is kept for the next start.
    void keepSession();
    // Each thing unsaved goes to a copy, named in the settings for the next start; projects
    // are saved where they are (a copy only when another program wrote the file meanwhile)
    // when saveProjects, else copied. The copies and what they keep, in pairs. A copy that
    // cannot be written is said to be lost when the program is ending.
    QStringList keepUnsavedCopies(bool saveProjects, bool ending = true);
    // Those kept meanwhile or for the session manager, once the work was saved or dropped.
    void forgetSessionCopies();
    // What is unsaved, in the tabs and the projects, as one digest.
    QByteArray unsavedWorkDigest() const;
    // No dialog, menu, build or catching up of the output under way: the projects may change.
    bool isIdle() const;
    // The open project's file is watched; another program's change is read when idle.
    void watchProjectFile();
    void readProjectAgainWhenIdle();

    std::unique_ptr<ProgramFiles> m_files;
    CommandActions m_actions;
    SrcTabsHolder *m_tabs = nullptr;
    ProjectsManager *m_projects = nullptr;
    OutWindow *m_outWindow = nullptr;
    QComboBox *m_configCombo = nullptr;
    QMenu *m_recentMenu = nullptr;
    QActionGroup *m_recentProjectsGroup = nullptr;
    QActionGroup *m_recentFilesGroup = nullptr;
    HelpViewer *m_help = nullptr;
    GotoLineDialog *m_gotoLineDialog = nullptr;
    FindDialog *m_findDialog = nullptr;
    Print *m_print = nullptr;
    std::unique_ptr<SimulatedControllers> m_simulatedControllers;
    std::unique_ptr<SimulatorInstallation> m_simulatorInstallation;
    QStringList m_recentProjects;
    QStringList m_recentFiles;
    // What this window put on the recent lists, oldest first: on close they go onto the lists
    // as stored then, which another window of the program may have written meanwhile.
    QStringList m_recentProjectsPushed;
    QStringList m_recentFilesPushed;
    bool m_advanced = false;
    bool m_endingUnasked = false;
    // Kept meanwhile or for the session manager: each path, then its copy.
    QStringList m_sessionCopies;
    QByteArray m_keptWork; // the unsaved work those copies hold, as a digest
    bool m_droppingCopies = false;
    // The unsaved work as it stood when the user answered the session manager's questions: a
    // close with nothing changed since asks them no more.
    QByteArray m_answeredWork;
    bool m_rebuildingTargets = false;
    // The current editor's line and column, in the status bar.
    QLabel *m_position = nullptr;
    QPointer<SourceEditor> m_watchedEditor;
    QStringList m_handedOver; // waiting to be opened
    QTimer *m_handOverRetry = nullptr;
    QFileSystemWatcher *m_projectWatch = nullptr;
    QString m_watchedProject;
    QTimer *m_projectRetry = nullptr;
};
