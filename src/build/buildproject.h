#pragma once

#include "buildnode.h"

#include "core/mainservices.h"

#include <QObject>
#include <QStringList>

class BuildConfig;
class BuildConfigList;
class MainServices;
class QDomDocument;
class QDomElement;

// One build configuration of a project: compiler, controller, clock and target, and the build
// tree that arranges the project's files under the target's build steps, each with its options.
class BuildProject : public QObject
{
    Q_OBJECT

public:
    BuildProject(MainServices *mainWindow, BuildConfigList *catalogue);
    BuildProject(const BuildProject &other);
    BuildProject &operator=(const BuildProject &other);
    ~BuildProject() override;

    void reset();

    QString name() const { return m_name; }
    void setName(const QString &name) { m_name = name; }
    QString family() const { return m_family; }
    QString controller() const { return m_controller; }
    QString clock() const { return m_clock; }
    void setClock(const QString &clock) { m_clock = clock; }
    QString targetName() const;
    QString compilerName() const;
    BuildConfig *compiler() const { return m_compiler; }
    const TargetRecord *selectedTarget() const { return m_selectedTarget; }
    QString projectDirectory() const { return m_projectDirectory; }
    void setProjectDirectory(const QString &path) { m_projectDirectory = path; }
    QString outputDirectory() const;
    MainServices &mainWindow() const { return *m_mainWindow; }
    // A configuration copied from a project of another window (a development board's) works
    // for this one.
    void setMainWindow(MainServices *mainWindow) { m_mainWindow = &servicesOf(mainWindow); }

    bool setCompiler(const QString &name, bool reapplyDefaults);
    bool setController(const QString &family, const QString &controller, bool reapplyDefaults);
    bool setTarget(const QString &name);

    bool addFile(const QString &path, bool applyDefaults);
    // Each of the files as addFile does, looking up which the tree already holds once.
    void addFiles(const QStringList &paths, bool applyDefaults);
    bool removeFile(const QString &path);
    bool renameFile(const QString &oldPath, const QString &newPath);
    QStringList allFiles() const;
    QStringList unassignedFiles() const { return m_unassigned; }

    BuildNode *root() const { return m_root.get(); }
    // Creates the root node for the selected target's root step; false when there is none.
    bool createRoot(bool applyDefaults);
    QList<OptionSetting> &options() { return m_options; }
    const QList<OptionSetting> &options() const { return m_options; }

    // The nodes of the build tree that stand for build steps, depth first.
    std::vector<BuildNode *> stepNodes() const;
    // Whether an option's text, as it reaches its tool, lets the tool act beyond the project:
    // run or load a program the text names (a wrapper, a plugin, another folder of the
    // compiler's own programs, a specs file, a file of further options) or write a file outside
    // the project's folder (a dependency file, a map, a listing), also through the linker,
    // assembler or preprocessor.
    static bool optionActsOutside(const QString &text);
    // The texts of this configuration's options that do so, each once.
    QStringList optionsActingOutside() const;

    // The value the compiler gives an option of a tool by default for this configuration's
    // target and controller, or a step gives its own; empty when none does.
    QString defaultValue(const QString &tool, const QString &name, const QString &id) const;
    // Back to the compiler's defaults: no configuration options, every step node with its
    // step's own settings and the defaults for its tool, hoisted.
    void restoreDefaults();

    // Moves configuration settings down to every step node they apply to.
    void pushDown();
    // Moves settings that every step node of a tool holds up to the configuration.
    void hoist(bool all);

    bool load(const QDomElement &element, const QString &projectFilePath);
    bool save(QDomDocument &document, QDomElement *parent, const QString &projectFilePath);

    // Error files of the last Makefile, with whether their unmatched lines are hidden.
    QStringList errorFiles;
    QList<bool> hideUnmatched;

private:
    void dissolveTree();
    void readdUnassigned(bool applyDefaults);
    QList<OptionSetting> defaultsFor(const QString &tool,
                                     const QString &family,
                                     const QString &controller) const;
    QList<OptionSetting> stepDefaults(const BuildStepNode *step) const;
    BuildNode *findLeaf(const QString &path) const;
    // Adds a file the configuration does not hold yet.
    bool place(const QString &path, bool applyDefaults);
    void overlay(QList<OptionSetting> &settings, const OptionSetting &setting) const;
    bool readTreeFile(const QDomElement &element, BuildNode *parent, const QString &baseDir);
    void swapDefaults(QList<OptionSetting> &settings,
                      const QString &tool,
                      const QString &oldFamily,
                      const QString &oldController,
                      const QString &newFamily,
                      const QString &newController) const;

    MainServices *m_mainWindow; // never null: the silent services where there is no window
    BuildConfigList *m_catalogue;
    BuildConfig *m_compiler = nullptr;
    QString m_name;
    QString m_family;
    QString m_controller;
    QString m_projectDirectory;
    QString m_clock;
    std::unique_ptr<BuildNode> m_root;
    QStringList m_unassigned;
    const TargetRecord *m_selectedTarget = nullptr;
    QString m_targetName;
    QList<OptionSetting> m_options;
    // The steps the last file added got, first the one put on attachedTo.
    struct AddedChain
    {
        BuildNode *attachedTo = nullptr;
        std::vector<BuildNode *> steps;
    };
    AddedChain m_lastChain;
};
