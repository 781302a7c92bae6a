#pragma once

#include <QHash>
#include <QStringList>

class MainServices;
class SettingsFiles;

// The controllers the simulator can run, read from the simulator's controller lists.
// Family names compare exactly; controller names ignore letter case.
class SimulatedControllers
{
public:
    explicit SimulatedControllers(MainServices *mainWindow);
    virtual ~SimulatedControllers();

    // Reads every "*.xml" list of the simulator directory again.
    void load();
    // Adds the controllers of one list.
    void loadFile(const QString &path);

    void add(const QString &family, const QString &name);
    bool contains(const QString &family, const QString &name) const;

    QStringList families() const { return m_catalogue.keys(); }
    QStringList controllers(const QString &family) const { return m_catalogue.value(family); }

private:
    SettingsFiles &m_files;
    QHash<QString, QStringList> m_catalogue;
};
