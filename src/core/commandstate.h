#pragma once

#include <QString>

class QWidget;
struct CommandActions;

// The main window's commands and status bar, and the window itself as the parent of dialogs.
class CommandState
{
public:
    virtual ~CommandState() = default;

    // Enables and disables the commands for the state of the editor and the projects.
    virtual void updateState() = 0;
    virtual const CommandActions *commandActions() const = 0;
    // The configuration chosen in the "Project" toolbar.
    virtual QString selectedConfiguration() const = 0;
    // A lasting message in the status bar; empty clears it.
    virtual void setStatusMessage(const QString &text) = 0;
    // A message in the status bar for timeout milliseconds.
    virtual void showStatusMessage(const QString &text, int timeout) = 0;
    // Whether the dialogs show their advanced controls.
    virtual bool isAdvanced() const = 0;
    // The parent of dialogs and message boxes; null without a window.
    virtual QWidget *mainWidget() = 0;
};
