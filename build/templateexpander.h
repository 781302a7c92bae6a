#pragma once

#include <QString>

class BuildProject;
struct BuildNode;

// Fills the templates of a compiler configuration for one configuration of a project:
// "%NAME%" references to files of a build node (INFILE, OUTFILE, OPTIONS) and to the
// configuration (COMPILER, CLOCK, TARGET, BIN), with the flags _DOS, _SHORT, _QUOTED, _USCORE,
// _NAME and _DIR, and the paths in the forms a Makefile needs.
class TemplateExpander
{
public:
    enum Flag { Dos = 1, Short = 2, Quoted = 4, Underscore = 8 };

    explicit TemplateExpander(const BuildProject &configuration);

    // Expands a template for a node; without a node only configuration variables resolve.
    QString expand(const QString &text, const BuildNode *node) const;
    QString optionString(const QList<struct OptionSetting> &options,
                         const BuildNode *node,
                         int inputFlags = 0) const;

    QString relativeForm(const QString &path, int flags) const;
    QString absoluteForm(const QString &path, int flags) const;
    static QString clockInHertz(const QString &clock);

    // Paths from the project's files go into shell commands: one with characters the shell
    // or make would read as syntax is quoted, so that it stays a single, literal word.
    static QString shellWord(const QString &path, bool doubleQuoted);
    // A file name as a target or prerequisite of a make rule.
    static QString makeName(const QString &path);

private:
    bool resolve(const QString &name, const BuildNode *node, QString &value) const;
    bool resolveNodeVariable(const QString &name, int flags, QChar separator,
                             const BuildNode *node, QString &value) const;
    bool resolveConfigurationVariable(const QString &name, int flags, QString &value) const;
    QString inputList(const BuildNode *node, int flags, QChar separator) const;
    QString expandOnce(const QString &text, const BuildNode *node, int depth) const;

    const BuildProject &m_configuration;
};
