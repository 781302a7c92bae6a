#pragma once

#include "buildconfig.h"

class DetectionParameters;
class MainServices;
class QDomElement;

// Finds an installed compiler with the DETECT and CHECK rules of its configuration file:
// paths built from parameters, registry look-ups, and a short trial run of the executable.
class CompilerDetector
{
public:
    explicit CompilerDetector(MainServices *owner);

    DetectionResult detect(const QString &configurationFile) const;

    // One DETECT or CHECK rule.
    DetectionResult locate(DetectionParameters parameters) const;
    // Whether the executable at path (or the PATH parameter) is there, new enough, and prints
    // what the rule expects when run with its argument.
    DetectionResult check(const QString &path, const DetectionParameters &parameters) const;

    // The limits of a trial run: its time, and what it may write (one that floods fails).
    static constexpr int trialMs = 9000;
    static constexpr qint64 trialOutputBytes = 1024 * 1024;

private:
    DetectionResult searchRegistry(const QString &key,
                                   int depth,
                                   const QString &text,
                                   bool everyLevel,
                                   bool byKey,
                                   const DetectionParameters &parameters) const;
    QString simulatorDirectory() const;

    MainServices &m_owner;
};
