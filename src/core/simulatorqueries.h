#pragma once

#include <QString>

// What the rest of the program asks of the simulator suite.
class SimulatorQueries
{
public:
    virtual ~SimulatorQueries() = default;

    // The suite's installation directory: the stored one, or the one the registry names
    // (always looked up with forceDetect); empty when there is none.
    virtual QString simulatorDirectory(bool forceDetect) = 0;
    virtual bool isSimulated(const QString &family, const QString &controller) const = 0;
};
