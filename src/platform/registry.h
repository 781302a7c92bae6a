#pragma once

#include <QString>
#include <QStringList>

#include <memory>

// Read-only access to the system registry, where installers record where they put things.
// Key paths are written the Windows way ("HKEY_LOCAL_MACHINE\SOFTWARE\Vendor\Product").
class Registry
{
public:
    virtual ~Registry() = default;

    // The named value of a key; empty when the key or the value is missing.
    virtual QString value(const QString &keyPath, const QString &name) const = 0;
    // The names of the values a key holds.
    virtual QStringList valueNames(const QString &keyPath) const = 0;
    // The names of the subkeys directly below a key.
    virtual QStringList subkeys(const QString &keyPath) const = 0;

    // The registry of this machine. Tests may install their own; passing null restores it.
    static const Registry &instance();
    static void setInstance(std::unique_ptr<Registry> registry);
};

// Linux stand-in: an INI file in which each key is a group whose path is the key path with
// "\" read as "/". The file is $DYX_REGISTRY when set, else "registry.ini" in the
// "Morvellan Electronics" folder of the user's, then the system's, configuration directories,
// read before the machine-wide "registry.ini" of the installation (beside the program's bin/
// folder), which its installer writes: the first file that has a value gives it.
class IniRegistry : public Registry
{
public:
    explicit IniRegistry(const QString &fileName = QString());

    QString value(const QString &keyPath, const QString &name) const override;
    QStringList valueNames(const QString &keyPath) const override;
    QStringList subkeys(const QString &keyPath) const override;

    QString fileName() const { return m_fileNames.value(0); }
    static QString defaultFileName();
    // The installation's own file.
    static QString installationFileName();

private:
    QStringList m_fileNames;
};
