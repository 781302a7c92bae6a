#pragma once

class QAction;

// Every command of the main window. The window owns the actions; the panes and editors
// enable and disable them.
struct CommandActions
{
    QAction *openFile = nullptr;
    QAction *saveFile = nullptr;
    QAction *saveAllFiles = nullptr;
    QAction *closeFile = nullptr;
    QAction *printFile = nullptr;
    QAction *openSample = nullptr;
    QAction *newProject = nullptr;
    QAction *openProject = nullptr;
    QAction *saveProject = nullptr;
    QAction *saveProjectAs = nullptr;
    QAction *closeProject = nullptr;
    QAction *addExistingFile = nullptr;
    QAction *addNewFile = nullptr;
    QAction *addDesignFile = nullptr;
    QAction *createDesignFile = nullptr;
    QAction *removeFile = nullptr;
    QAction *projectSettings = nullptr;
    QAction *buildProject = nullptr;
    QAction *rebuildProject = nullptr;
    QAction *nextError = nullptr;
    QAction *previousError = nullptr;
    QAction *stopBuild = nullptr;
    QAction *cleanProject = nullptr;
    QAction *tidyProject = nullptr;
    QAction *cut = nullptr;
    QAction *copy = nullptr;
    QAction *paste = nullptr;
    QAction *undo = nullptr;
    QAction *redo = nullptr;
    QAction *find = nullptr;
    QAction *findNext = nullptr;
    QAction *replace = nullptr;
    QAction *gotoLine = nullptr;
    QAction *exit = nullptr;
    QAction *help = nullptr;
    QAction *about = nullptr;
    QAction *aboutQt = nullptr;
    QAction *compilersConfiguration = nullptr;
    QAction *editorConfiguration = nullptr;
    QAction *openDebugger = nullptr;
    QAction *startDebugging = nullptr;
    QAction *stopSimulation = nullptr;
    QAction *closeSimulator = nullptr;
    QAction *toggleBreakpoint = nullptr;
    QAction *continueDebugging = nullptr;
    QAction *pauseDebugging = nullptr;
    QAction *stepInto = nullptr;
    QAction *stepOver = nullptr;
    QAction *stepOut = nullptr;
    QAction *runToCursor = nullptr;
    QAction *rename = nullptr;
};
