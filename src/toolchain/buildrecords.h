#pragma once

#include <QList>
#include <QString>
#include <QStringList>

#include <memory>
#include <vector>

class BuildProcess;
class QDomElement;

// A value for one command-line option: a compiler's default or a project's choice.
struct OptionSetting
{
    QString name;
    QString tool;
    QString value;
    QString id;
    bool isDefault = false;

    bool operator==(const OptionSetting &other) const
    {
        return name == other.name && tool == other.tool && value == other.value && id == other.id
               && isDefault == other.isDefault;
    }

    // The OPTION children of an element.
    static QList<OptionSetting> readAll(const QDomElement &parent);
};

// One value a choice option can take.
struct ChoiceRecord
{
    QString value;
    QString description;
    bool isDefault = false;
};

// An option a tool accepts.
struct OptionDefinition
{
    enum ParameterType { None = 0, Number = 1, String = 2, Choice = 3 };

    QString name;
    QString description;
    QString kind;
    QString tool;
    ParameterType type = None;
    QList<ChoiceRecord> choices;
    bool multiple = false;
    QString separator;
    QString id;
    // How the tool reads a number: 16 for hexadecimal digits (with or without "0x"); otherwise
    // decimal, or hexadecimal after "0x".
    int radix = 10;
};

// A variable a build sets (or extends) before it runs.
struct EnvironmentEntry
{
    QString name;
    QString value;
    QString separator;
    bool set = false;

    static QList<EnvironmentEntry> readAll(const QDomElement &parent);
    // The variable's value after this entry, given its value before.
    QString applyTo(const QString &current) const;
};

// A file a build step reads or writes, known by its suffix.
struct FileSpec
{
    QString pattern;
    QString name;   // file-name template; empty: named after the step's file
    QString option; // ties the file to an option setting of the same ID
    QList<OptionSetting> settings;
    // Of a temporary: Tidy leaves it (a later step reads it, or it is a product such as the
    // debugger's file); Clean removes it.
    bool keptByTidy = false;
};

struct ErrorFileRecord : FileSpec
{
    bool hideUnmatched = true;
};

// What one step produces, from which inputs, with which by-products.
struct OutputRecord : FileSpec
{
    // The suffix of the dependency file the compiler writes beside the output (the headers a
    // source includes, as make rules); empty when it writes none.
    QString dependencies;
    QList<FileSpec> inputs;
    QList<FileSpec> temporaries;
    QList<ErrorFileRecord> errorFiles;
};

struct MessageField
{
    QString name; // "FILENAME", "LINE" or "COLUMN"
    int position = 0;
    int offset = 0;

    bool operator==(const MessageField &o) const
    {
        return name == o.name && position == o.position && offset == o.offset;
    }
};

// How a tool's messages look: a regular expression and where its parts are.
struct MessageFormat
{
    QString value;
    QList<MessageField> fields;

    bool operator==(const MessageFormat &o) const { return value == o.value && fields == o.fields; }
};

struct ControllerRecord
{
    QString name;
    QList<OptionSetting> settings;
    QList<EnvironmentEntry> environment;
};

struct FamilyRecord
{
    QString name;
    QList<ControllerRecord> controllers;
};

struct FileTypeRecord
{
    QString name; // suffix without the dot
    QString description;
    QString category;
    bool source = false;
    QString icon;
};

// One step of a target's build: the file it makes, the process that makes it, and the steps
// that make its inputs.
struct BuildStepNode
{
    FileSpec output;
    BuildProcess *process = nullptr;
    BuildStepNode *parent = nullptr;
    std::vector<std::unique_ptr<BuildStepNode>> children;
};

struct TargetRecord
{
    QString name;
    FileSpec output;
    std::shared_ptr<BuildStepNode> root;
    QList<OptionSetting> settings;
    QList<EnvironmentEntry> environment;
};

// Attribute helpers shared by the readers of the compiler configuration.
namespace BuildXml {
// Boolean attributes are true only when written exactly "1".
bool flag(const QDomElement &element, const QString &attribute);
} // namespace BuildXml
