#pragma once

#include "buildrecords.h"

#include <QObject>

class MainServices;
class QDomElement;

// One executable of a compiler, addressed by its name or any alias, with the options it takes.
class BuildTool : public QObject
{
    Q_OBJECT

public:
    explicit BuildTool(MainServices *owner, QObject *parent = nullptr);

    // False for an option of an unknown parameter type (reported); the caller drops the tool.
    bool load(const QDomElement &element);

    QString file() const { return m_file; }
    QStringList names() const { return m_names; }
    const QList<OptionDefinition> &options() const { return m_options; }
    bool hasName(const QString &name) const { return m_names.contains(name); }
    // The definition with this ID; null when there is none.
    const OptionDefinition *optionWithId(const QString &id) const;

private:
    MainServices &m_owner;
    QString m_file;
    QStringList m_names;
    QList<OptionDefinition> m_options;
};
