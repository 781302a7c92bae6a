#pragma once

#include "simulator/debugsession.h"

#include <QStringList>

class BuildProject;

// What a project hands to the simulator: the design among its files, and from its active
// configuration the firmware and the controller that runs it.
class HandOffRequest
{
public:
    // Nothing is configured without an active configuration.
    static DebugTarget of(BuildProject *configuration,
                          const QString &projectDirectory,
                          const QStringList &files);
    // The Intel HEX file the configuration's build writes (known before its first build): its
    // last step's output, or, when that is another file (an absolute assembly's symbol file),
    // the HEX file of the same name beside it.
    static QString firmware(BuildProject &configuration, const QString &projectDirectory);
    // The project's design file (a project holds one at most); empty when there is none.
    static QString designFile(const QStringList &files);
};
