#pragma once

#include "outputsink.h"

class CommandState;
class DisplayFormats;
class EditorServices;
class ProjectQueries;
class RecentLists;
class SettingsFiles;
class SimulatorQueries;

// The main window as a hub: it hands out the small services the rest of the program needs,
// each implemented by the object that does the work. A class keeps the hub and asks for the
// services it uses; tests hand it a fake.
class MainServices
{
public:
    virtual ~MainServices() = default;

    virtual OutputSink &output() = 0;
    virtual EditorServices &editors() = 0;
    virtual CommandState &commands() = 0;
    virtual RecentLists &recent() = 0;
    virtual DisplayFormats &formats() = 0;
    virtual ProjectQueries &projects() = 0;
    virtual SimulatorQueries &simulator() = 0;
    virtual SettingsFiles &files() = 0;
};

// The output of a main window; without one, every line goes nowhere.
OutputSink &outputOf(MainServices *mainWindow);
