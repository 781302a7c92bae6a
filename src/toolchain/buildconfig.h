#pragma once

#include "buildrecords.h"

#include <QObject>

class BuildProcess;
class BuildTool;
class MainServices;

// What detection found out about a compiler's installation.
struct DetectionResult
{
    QString directory;
    bool found = false;
    int tooOld = 0;
    QString version;
};

// One compiler as its configuration file describes it: tools, build steps, controller
// families, targets, file types and messages. Whether it is installed, and where, is kept in
// the settings beside it.
class BuildConfig : public QObject
{
    Q_OBJECT

public:
    explicit BuildConfig(MainServices *owner, QObject *parent = nullptr);
    ~BuildConfig() override;

    // Reads a compiler configuration file; false only when it cannot be read or parsed.
    bool load(const QString &path);

    QString name() const { return m_name; }
    QString version() const { return m_version; }
    QString url() const { return m_url; }
    QString file() const { return m_file; }

    QString toolFile(const QString &toolName) const;
    const BuildTool *tool(const QString &toolName) const;
    QStringList toolNames() const;
    QList<BuildProcess *> processesProducing(const QString &pattern) const;
    QStringList sourceSuffixes() const;
    QList<OptionSetting> defaultSettings(const QString &target,
                                         const QString &family,
                                         const QString &controller,
                                         const QString &tool) const;
    QList<EnvironmentEntry> environment(const QString &family,
                                        const QString &controller,
                                        const QString &targetName) const;

    const QList<FamilyRecord> &families() const { return m_families; }
    const QList<TargetRecord> &targets() const { return m_targets; }
    const QList<BuildTool *> &tools() const { return m_tools; }
    const QList<BuildProcess *> &processes() const { return m_processes; }
    const QList<FileTypeRecord> &fileTypes() const { return m_fileTypes; }

    QStringList targetNames() const;
    const TargetRecord *findTarget(const QString &name) const;
    int familyIndex(const QString &family) const;
    int controllerIndex(const QString &family, const QString &controller) const;
    bool supports(const QString &family, const QString &controller) const;
    QStringList controllerNames(const QString &family) const;

    // The installation state stored in the settings' "compilers" array.
    bool isConfigured() const;
    QString compilerDirectory() const;
    // Whether detection (or the compilers dialog) has stored a result for it.
    bool isDetected() const;
    void setConfigured(bool configured, const QString &directory);

    // Looks for the compiler on this machine with the DETECT rules of its file.
    DetectionResult detect() const;

private:
    void readFamilies(const QDomElement &compiler);
    void readTargets(const QDomElement &compiler);
    void buildTree(TargetRecord &target);
    void addSteps(BuildStepNode *slot, std::shared_ptr<BuildStepNode> &root, const FileSpec &wanted);

    MainServices &m_owner;
    QString m_file;
    QString m_name;
    QString m_version;
    QString m_url;
    QList<BuildTool *> m_tools;
    QList<BuildProcess *> m_processes;
    QList<FamilyRecord> m_families;
    QList<TargetRecord> m_targets;
    QList<FileTypeRecord> m_fileTypes;
};
