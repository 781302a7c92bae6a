#pragma once

// What tests of builds share: option values set as the options editor sets them.

#include "common/testfiles.h"

#include "build/buildproject.h"
#include "project/ui/project.h"

namespace WindowFlows {

// As the options editor leaves the active configuration when the user sets one value of an
// option and presses OK: settings every step of a tool holds come up, the value changes (or
// the option is added), and the settings go down to the steps again.
inline void setOption(Project &project,
                      const QString &tool,
                      const QString &name,
                      const QString &value,
                      const QString &id = QString())
{
    BuildProject *configuration = project.activeConfiguration();
    configuration->hoist(true);
    bool found = false;
    for (OptionSetting &setting : configuration->options()) {
        if (setting.tool == tool && setting.name == name) {
            setting.value = value;
            setting.isDefault = false;
            found = true;
        }
    }
    if (!found)
        configuration->options().append({name, tool, value, id, false});
    configuration->pushDown();
    configuration->hoist(false);
    project.setModified(true);
}

// A copy of the active configuration under another name, added to the project as the
// Configurations dialog adds one: it keeps the target, and so the output folder.
inline BuildProject *copyConfiguration(Project &project, const QString &name)
{
    auto *copy = new BuildProject(*project.activeConfiguration());
    copy->setName(name);
    project.addConfiguration(copy);
    project.setModified(true);
    return copy;
}

} // namespace WindowFlows
