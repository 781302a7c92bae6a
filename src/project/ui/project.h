#pragma once

#include "build/configuredproject.h"
#include "project/unreadconfigurations.h"

#include <QHash>
#include <QList>
#include <QLockFile>
#include <QObject>
#include <QPair>
#include <QSet>
#include <QStringList>

#include <functional>
#include <memory>
#include <vector>

class BuildConfigList;
struct ProjectContents;
class CirraneInterface;
class BuildRun;
class BuildProject;
class MainServices;
class QDomDocument;
class QTextEdit;
class QTreeWidgetItem;

// One file of a project.
struct ProjectFile
{
    QString path; // absolute, with "/" separators
    QString group;
    QTreeWidgetItem *item = nullptr;
    bool exists = false;
    QString canonical;   // the resolved path when it was added; empty for a missing file
    bool marked = false; // its open editor has unsaved changes: the item shows a leading "*"
};

struct ProjectGroup
{
    QString name;
    QTreeWidgetItem *item = nullptr;
};

// One firmware project: its files in named groups, its build configurations, and the reading
// and writing of its ".dyxp" file. It also keeps its items in the projects tree in step.
class Project : public QObject, public ConfiguredProject
{
    Q_OBJECT

public:
    Project(BuildConfigList *catalogue, MainServices *mainWindow);
    ~Project() override;

    bool load(const QString &path);
    bool save() override;
    bool saveAs(bool copy) override;
    bool saveAsPath(const QString &suggestedPath, bool copy);
    bool maybeSave();
    bool saveWithFiles(bool ask);
    bool open();
    // The new project wizard on this fresh project: true when the user finished it and the
    // project is saved with its configurations and files.
    bool runNewProjectWizard();

    bool addFile(const QString &path, const QString &group);
    bool addFile(const QString &path);
    // Each of the paths as addFile(path) adds it; a folder adds the files in it
    // of a type the compiler knows.
    void addFiles(const QStringList &paths);
    bool addExistingFiles();
    bool newFile();
    bool newDesignFile(const QString &path);
    // Removes the file at that index; false when there is none, or when its editor holds
    // unsaved text and the user cancelled.
    bool removeFile(int index);
    // Lets go of a project that is not kept (one already open under another object): its end
    // then leaves the editors and the output window alone.
    void forget();
    // Its end leaves the output window as it is (the same project read again takes its place).
    void keepOutput() { m_keepsOutput = true; }
    void renameFile(int index, const QString &newName);
    void renameGroup(int index, const QString &newName);
    void moveItem(QTreeWidgetItem *fileItem, QTreeWidgetItem *targetItem);
    void regroup();

    // The tree: the project's items under parentItem.
    void buildTree(QTreeWidgetItem *parentItem);
    // The link to VEXA a new design file is started in.
    void setSimulatorLink(CirraneInterface *link) { m_simulatorLink = link; }
    QTreeWidgetItem *rootItem() const { return m_rootItem; }
    int classifyItem(const QTreeWidgetItem *item) const;
    int fileIndexForItem(const QTreeWidgetItem *item) const;
    int groupIndexForItem(const QTreeWidgetItem *item) const;
    void setCurrent(bool current);
    void applyDisplayFormats();
    void setFileModified(const QString &path, bool modified);
    // The text the project itself gives a file's item: its name, behind "*" while marked.
    QString fileItemText(int index) const;
    // The file name a user typed over a file's item, without the unsaved-changes mark.
    QString typedFileName(int index, const QString &itemText) const;
    void updateRootText();
    void describe(QTextEdit *textEdit) const;
    void reopenFiles();

    QString name() const override { return m_name; }
    QString filePath() const { return m_filePath; }
    QString projectDirectory() const;
    QString description() const override { return m_description; }
    void setDescription(const QString &description) override { m_description = description; }
    QStringList keywords() const override { return m_keywords; }
    void setKeywords(const QStringList &keywords) override { m_keywords = keywords; }
    bool isModified() const { return m_modified; }
    void setModified(bool modified) override;
    bool isLoaded() const { return m_loaded; }
    // Why the last save of the project file failed; empty when the user chose not to save over
    // another program's version.
    QString lastSaveError() const { return m_lastSaveError; }
    // A build, clean or tidy of this project is running.
    bool isBuilding() const;

    // Build, clean and tidy run make on the active configuration's Makefile; each is false
    // when it was refused, failed or was stopped.
    bool compile();
    // Clean, then build: every output made again.
    bool rebuild();
    // Whether the firmware is what a build would make now: nothing unsaved, the Makefile as it
    // would be written, and make finding nothing to do.
    bool firmwareIsCurrent();
    // The files in the project's folder (or below it) whose editors hold unsaved text.
    QStringList unsavedFilesOfFolder() const;
    bool clean();
    bool tidy();
    // Asks a running build to stop.
    void abortBuild();
    // Ends a running make and the compilers it started at once, before the run loop next looks;
    // the run then reports the abort.
    void stopBuildNow();
    void setRebuildAll(bool rebuildAll) { m_rebuildAll = rebuildAll; }
    bool prepare();
    bool run(const QString &goal);
    // Whether another program wrote the project file since it was read or saved here.
    bool changedOnDisk() const;
    // Writes the project as it is here to path, its files named as from its own folder; the
    // project itself stays as it is, unsaved or not.
    bool writeCopy(const QString &path, QString *reason) const;
    // The project file's text for the project as it is here.
    QByteArray contents() const;
    // Makes the active configuration's target and says so when it is made.
    bool buildTarget();
    // Whether the active configuration's options that let its tools run other programs or
    // write outside the project may reach them: allowed before on this machine, or now by the
    // user in the window.
    bool toolOptionsAllowed();
    // A build, clean or tidy wrote the Makefile since the file list last changed.
    bool isUpToDate() const { return m_upToDate; }
    void setUpToDate(bool upToDate) { m_upToDate = upToDate; }

    int fileCount() const { return int(m_files.size()); }
    QString filePathAt(int index) const;
    QString relativeFilePath(int index) const;
    QString fileGroup(int index) const;
    const ProjectFile *fileAt(int index) const;
    int groupCount() const { return int(m_groups.size()); }
    QString groupName(int index) const;
    int findFileForTool(const QString &path) const;
    QString familyForFile(const QString &path) const;
    QString designFile() const;

    int configurationCount() const override { return int(m_configurations.size()); }
    BuildProject *configuration(int index) const override;
    QStringList unusedConfigurationNames() const override { return m_unread.names(); }
    void replaceConfigurations(std::vector<std::unique_ptr<BuildProject>> configurations) override;
    BuildProject *activeConfiguration() const;
    int activeConfigurationIndex() const { return m_activeConfiguration; }
    void setActiveConfiguration(int index);
    // Takes ownership.
    void addConfiguration(BuildProject *configuration);
    QString family() const;
    QString controller() const;
    QString compiler() const;
    QString clock() const;
    QString targetPath() const;

    BuildConfigList *catalogue() const { return m_catalogue; }
    // Before the catalogue reads its compiler files again: the configurations as the project
    // file would hold them, no longer used until read back.
    QDomDocument setConfigurationsAside();
    // After: each configuration takes the compiler of its name as the catalogue has it now, or
    // stays in the file unread. What was unsaved stays so, and nothing else becomes unsaved.
    void readConfigurationsBack(const QDomDocument &held);

    // The default group of a file: by its type in the active compiler.
    QString defaultGroup(const QString &path) const;
    QString iconName(const QString &path) const;

signals:
    // Files or groups were added, removed, renamed or moved.
    void treeChanged();
    // A build of the configuration of that name begins: the window's selector shows it.
    void configurationSelected(const QString &name);
    // A Makefile was written into the folder: other projects there must build afresh.
    void makefileWritten(const QString &directory);

public slots:
    void readyReadStandardOutput();
    void readyReadStandardError();

private:
    // The project file's content for the project as it is here.
    QDomDocument document() const;
    void refreshName();
    // Configurations just read: the project's files go to them, and the output names those
    // that are not used here.
    void takeConfigurations(ProjectContents &contents);
    bool hasSourceGroup() const;
    QTreeWidgetItem *groupItem(const QString &name);
    void addFileItem(int index);
    QStringList sourcesIn(const QString &folder) const;
    bool designFileLocationAccepted(const QString &file) const;
    bool designFileLocationAccepted(const QString &file, const QString &directory) const;
    bool copyFilesFor(const QString &projectPath,
                      bool keepStructure,
                      QList<QPair<QString, QString>> &copies,
                      QSet<QString> &kept,
                      QStringList &created);
    bool canBeKept(const QString &path) const;
    void undoRenamesSinceSave();
    bool takeBuildLock(const BuildProject &configuration, qint64 &interruptedNs);
    bool outputFolderAllowed(const BuildProject &configuration);
    bool leaveGiven(const QStringList &acting,
                    const QString &question,
                    const QString &refused,
                    const QString &refusedUnasked);
    void nameFilesAt(const QList<QPair<QString, QString>> &copies, bool back);
    void editorsFollow(const QList<QPair<QString, QString>> &copies, const QSet<QString> &kept);
    // The files, groups, description and keywords of another project, as this one's.
    void adoptFiles(const Project &other);
    void resynchronise();
    void addingMany(const std::function<void()> &add);

    MainServices &m_mainWindow;
    CirraneInterface *m_simulatorLink = nullptr;
    QStringList *m_configurationsLater = nullptr; // files for the configurations, while adding many
    QTreeWidgetItem *m_parentItem = nullptr;
    QTreeWidgetItem *m_rootItem = nullptr;
    std::vector<ProjectGroup> m_groups;
    bool m_modified = false;
    // The files renamed on disk since the project file was last written, old name and new: the
    // project file names them by their old names until it is written again.
    QList<QPair<QString, QString>> m_renamedSinceSave;
    QString m_filePath;
    QString m_name;
    QString m_description;
    QStringList m_keywords;
    std::vector<ProjectFile> m_files;
    BuildConfigList *m_catalogue;
    bool m_upToDate = false;
    std::vector<std::unique_ptr<BuildProject>> m_configurations;
    UnreadConfigurations m_unread;
    QString m_activeAside; // the active configuration while they are set aside
    int m_activeConfiguration = 0;
    bool m_loaded = true;
    bool m_keepsOutput = false;
    QString m_lastSaveError;
    // The project file as this project last read or wrote it, so that another program's later
    // version (another window's save, a checkout) is not saved over unasked.
    QString m_diskPath;
    QByteArray m_diskDigest;
    bool m_rebuildAll = false;
    BuildRun *m_buildRun; // owned as a child
    // Held from the Makefile's writing to make's end, in the configuration's output folder: a
    // second window or a build from the command line does not run make there at the same time.
    std::unique_ptr<QLockFile> m_buildLock;
};
