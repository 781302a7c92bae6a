#pragma once

#include "outputsink.h"

class CommandState;
class EditorServices;
class ProjectQueries;
class RecentLists;
class SettingsFiles;
class SimulatorQueries;

// The main window as a hub: it hands out the small services the rest of the program needs,
// each implemented by the object that does the work. Tests hand it a fake.
class MainServices
{
public:
    virtual ~MainServices() = default;

    virtual OutputSink &output() = 0;
    virtual EditorServices &editors() = 0;
    virtual CommandState &commands() = 0;
    virtual RecentLists &recent() = 0;
    virtual ProjectQueries &projects() = 0;
    virtual SimulatorQueries &simulator() = 0;
    virtual SettingsFiles &files() = 0;
};

// The main window a class is given, or where it is given none the silent one: the one place
// that asks whether there is a main window. A class that may be given none keeps the answer.
MainServices &servicesOf(MainServices *mainWindow);
