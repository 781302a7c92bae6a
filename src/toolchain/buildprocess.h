#pragma once

#include "buildrecords.h"

#include <QObject>

class MainServices;
class QDomElement;

// One build step: the tool that runs, its command-line template, the files it turns into
// which, and how its messages look.
class BuildProcess : public QObject
{
    Q_OBJECT

public:
    explicit BuildProcess(MainServices *owner, QObject *parent = nullptr);

    // False without TOOL or CMDLINE, or for a message field without a numeric POSITION.
    bool load(const QDomElement &element);

    QString tool() const { return m_tool; }
    QString name() const { return m_name; }
    QString commandLine() const { return m_commandLine; }
    const QList<OutputRecord> &outputs() const { return m_outputs; }
    const QList<MessageFormat> &messages() const { return m_messages; }
    QStringList preProcessCommands() const { return m_preProcess; }
    QStringList postProcessCommands() const { return m_postProcess; }

    // The step takes all of its inputs in one command.
    bool takesAllInputs() const { return m_commandLine.contains(QLatin1String("%INFILES")); }

    bool produces(const QString &pattern, bool caseSensitive) const;
    // The first output of that pattern; only the pattern when there is none.
    FileSpec output(const QString &pattern, bool caseSensitive) const;
    // The whole output record of that pattern (inputs, temporaries, error files); null if none.
    const OutputRecord *outputRecord(const QString &pattern, bool caseSensitive) const;
    QList<FileSpec> inputsFor(const QString &pattern, bool caseSensitive) const;
    QList<FileSpec> temporariesFor(const QString &pattern, bool caseSensitive) const;
    QList<ErrorFileRecord> errorFilesFor(const QString &pattern, bool caseSensitive) const;
    // The suffix of the dependency file written with an output of this pattern; empty for none.
    QString dependenciesFor(const QString &pattern, bool caseSensitive) const;
    // Which option goes with files of this pattern.
    QString fileOption(const QString &pattern, bool caseSensitive) const;

private:
    QString m_tool;
    QString m_name;
    QString m_commandLine;
    QList<OutputRecord> m_outputs;
    QList<MessageFormat> m_messages;
    QStringList m_preProcess;
    QStringList m_postProcess;
};
