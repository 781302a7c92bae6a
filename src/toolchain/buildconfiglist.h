#pragma once

#include "buildrecords.h"

#include <QObject>

class BuildConfig;
class MainServices;

// Every compiler of the compilers directory, one configuration file each.
class BuildConfigList : public QObject
{
    Q_OBJECT

public:
    explicit BuildConfigList(MainServices *owner, QObject *parent = nullptr);
    ~BuildConfigList() override;

    // Reads every "*.xml" of the compilers directory again; false when there was none.
    bool load();

    BuildConfig *find(const QString &name) const;
    QStringList names(bool onlyConfigured = false) const;
    QStringList allSourceSuffixes() const;
    QList<FileTypeRecord> allFileTypes() const;
    // The compiler to propose for a controller and a project's files; empty when none fits.
    QString compilerFor(const QString &family,
                        const QString &controller,
                        const QStringList &files) const;

    const QList<BuildConfig *> &configurations() const { return m_configurations; }
    MainServices &owner() const { return m_owner; }

private:
    MainServices &m_owner;
    QList<BuildConfig *> m_configurations;
};
