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

    // For command lines, paths are quoted for the shell where they need it; for file names they
    // are left as they are.
    explicit TemplateExpander(const BuildProject &configuration, bool forCommands = true);

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
    // A line break in a name cannot be written into a Makefile line: it becomes a "?" wildcard
    // outside the quotes, which matches the existing file.
    static QString shellWord(const QString &path, bool doubleQuoted);
    // The same path written where the template itself has opened double quotes.
    static QString insideDoubleQuotes(const QString &path);
    // Whether shell text leaves a double-quoted string open, starting inside one or not.
    static bool endsInsideDoubleQuotes(const QString &text, bool startInside);
    // Text that must stay on one Makefile line: line breaks become blanks.
    static QString oneLine(QString text);
    // An existing file as a prerequisite of a make rule: characters make reads as syntax match
    // themselves through wildcards.
    static QString makeName(const QString &path);
    // A name for a file the build makes, without characters make or the shell would misread.
    static QString safeFileName(const QString &path);

private:
    bool resolve(const QString &name, const BuildNode *node, QString &value) const;
    bool resolveNodeVariable(const QString &name,
                             int flags,
                             QChar separator,
                             const BuildNode *node,
                             QString &value) const;
    bool resolveConfigurationVariable(const QString &name, int flags, QString &value) const;
    QString inputList(const BuildNode *node, int flags, QChar separator) const;
    QString expandOnce(const QString &text,
                       const BuildNode *node,
                       int depth,
                       bool insideQuotes) const;

    QString word(const QString &path) const;
    QString optionWords(const QString &text) const;

    const BuildProject &m_configuration;
    bool m_forCommands;
    // Whether the reference being resolved stands inside the template's own double quotes.
    mutable bool m_insideQuotes = false;
};
