#pragma once

#include "platform/settingsbackend.h"

#include <QVariant>

#include <memory>

class QSettings;

// The program's persistent state. Every key lives under the group "1", which is opened when
// the store is created and stays open for its whole life.
// The most entries the program reads from an array of its settings: a settings file that
// claims more (hand-edited or damaged) costs no more than that to read.
constexpr int maxSettingsArray = 4096;

// The entries of an array to read, bounded.
inline int boundedArraySize(int size)
{
    return size < 0 ? 0 : size > maxSettingsArray ? maxSettingsArray : size;
}

class SettingsStore
{
public:
    enum Directory { Compilers, Tools, Simulator, Syntax, DevBoards, Projects };

    explicit SettingsStore(Platform::SettingsScope scope = Platform::SettingsScope::User);
    ~SettingsStore();

    // Replaces the store with a new one at the given scope and opens "1" again.
    void reopen(Platform::SettingsScope scope);
    Platform::SettingsScope scope() const { return m_scope; }

    QVariant value(const QString &key, const QVariant &defaultValue = QVariant()) const;
    void setValue(const QString &key, const QVariant &value);

    // The store itself, positioned in group "1", for arrays and nested groups.
    QSettings &settings() const { return *m_settings; }
    // Writes the settings; false (the previous file kept, and said on standard error) when
    // they could not be written whole.
    bool sync();

    // A directory setting; the default where none is stored, or with useDefault.
    QString directory(Directory which, bool useDefault = false);
    // Stores a directory; the default (or an empty path) is stored as no value at all.
    void setDirectory(Directory which, const QString &path);
    static QString directoryKey(Directory which);
    static QString defaultDirectory(Directory which);
    // The default in terms of the folder that holds the program.
    static QString defaultDirectory(Directory which, const QString &applicationDir);

    QString compilersDirectory(bool useDefault = false) { return directory(Compilers, useDefault); }
    QString toolsDirectory(bool useDefault = false) { return directory(Tools, useDefault); }
    QString simulatorDirectory(bool useDefault = false) { return directory(Simulator, useDefault); }
    QString syntaxDirectory(bool useDefault = false) { return directory(Syntax, useDefault); }
    QString projectsDirectory(bool useDefault = false) { return directory(Projects, useDefault); }
    // How many jobs make runs at once ("buildJobs"); as many as the machine has cores unless
    // set, and at least one.
    int buildJobs();

    // The simulator suite's installation directory as stored ("Cirrane"); finding it when
    // nothing is stored is the main window's business.
    QString cirraneDirectory() const;
    void setCirraneDirectory(const QString &path);

private:
    void open(Platform::SettingsScope scope);
    static void removeStrayCopies(const QString &settingsFile);
    class SyncFilter;

    Platform::SettingsScope m_scope;
    std::unique_ptr<QSettings> m_settings;
    std::unique_ptr<SyncFilter> m_filter;
};
