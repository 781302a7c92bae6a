#pragma once

#include <QString>
#include <QStringList>

class BuildProject;
class QDir;
class QTextStream;
struct BuildNode;
class TemplateExpander;

// Writes the Makefile of a build configuration into its output directory: general options,
// tool flags, the processing tools, the build tree as a comment, one rule per build step, and
// the tidy and clean goals.
class MakefileWriter
{
public:
    explicit MakefileWriter(BuildProject &configuration);

    // False (with the reason in the output window) when the file cannot be written.
    bool write();
    // The file's text, as write() puts it in the file.
    bool generate(QString &text);
    // Names the files the steps make, as the Makefile will.
    bool fillFileNames();

    // The last build in the folder started at this time (ns since the epoch) and never ended:
    // its program was killed. write() removes every output it wrote, which may be half written.
    void setInterruptedBuild(qint64 startedNs) { m_interruptedNs = startedNs; }

    static QString makefilePath(const BuildProject &configuration);
    // make reads the dependency files the compilers write as part of the Makefile: each is read
    // and written again as a list of rules before make sees it, once for every change to it
    // (those another program brought along included, whatever their times say). What is no plain
    // file (a FIFO, a device, a link), or cannot be read, goes. write() does this; false when a
    // file could be neither checked nor removed.
    bool checkDependencyFiles();

private:
    bool writeGeneralOptions(QTextStream &out, const TemplateExpander &expander);
    bool writeProcessingTools(QTextStream &out);
    void writeTreeComment(QTextStream &out,
                          const TemplateExpander &expander,
                          const BuildNode *node,
                          const QString &indent);
    void writeRules(QTextStream &out, const TemplateExpander &expander);
    void writeTidy(QTextStream &out, const TemplateExpander &expander);
    // The temporaries of every step: all of them, those Tidy removes, or those it leaves.
    enum class Temporaries { All, Tidied, Kept };
    QStringList temporaryFiles(Temporaries which = Temporaries::All) const;
    void writeDependencies(QTextStream &out);
    QString ruleTarget(const TemplateExpander &expander, const BuildNode *node) const;
    void removeLinks(const QString &makefile);
    bool removeStaleOutputs(const QByteArray &oldMakefile, const QByteArray &newMakefile);
    void removeOutputsOfInterruptedBuild();
    // The dependency file as make needs it: its rules, with every name written again.
    static QString tidiedDependencies(const QString &content,
                                      const QDir &project,
                                      const QString &output);
    QString dependencyFile(const BuildNode *node) const;
    QStringList dependencyFiles() const;
    void writeClean(QTextStream &out, const TemplateExpander &expander);
    void collectErrorFiles(const TemplateExpander &expander);
    QString ruleInput(const TemplateExpander &expander, const QString &file) const;

    BuildProject &m_configuration;
    qint64 m_interruptedNs = -1;
};
