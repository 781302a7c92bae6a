#pragma once

#include <QCoreApplication>
#include <QString>

#include <functional>
#include <optional>

class CirraneInterface;
class OutputSink;

// What the simulator commands need of a project: its design, its firmware and the controller
// that runs it.
struct DebugTarget
{
    bool configured = false; // the project has an active configuration
    QString design;          // empty: none added
    QString firmware;
    QString controller;
    QString family;
    QString clock;
};

// The simulator commands on the current project, over the projects pane's link to VEXA: hand
// the firmware and design over, open VEXA, run, stop, close, and run for a time. No target is
// "no project". Each says what came of it in the output and returns whether it did its part.
class DebugSession
{
    Q_DECLARE_TR_FUNCTIONS(DebugSession)

public:
    DebugSession(CirraneInterface &simulator,
                 OutputSink &output,
                 std::function<QString()> installation);

    // Hands the firmware, design and controller to VEXA; false when something is missing.
    bool sendFirmware(const std::optional<DebugTarget> &target);
    // Hands them over and starts VEXA on the design; false when VEXA was not launched.
    bool open(const std::optional<DebugTarget> &target);
    // Whether there is a simulator installation to start VEXA from.
    bool hasInstallation() const { return !m_installation().isEmpty(); }
    // Starts debugging, opening VEXA first when it is not running.
    bool run(const std::optional<DebugTarget> &target);
    void stop();
    void close();
    // Opens VEXA, runs the firmware for so many simulated seconds (tracing the pins to a file
    // when one is named), then stops and closes VEXA; true when the run ended in time.
    bool simulate(const std::optional<DebugTarget> &target,
                  double seconds,
                  const QString &traceFile);

private:
    // Whether the target has all a hand-off needs; the output says what is missing.
    bool ready(const std::optional<DebugTarget> &target);

    CirraneInterface &m_simulator;
    OutputSink &m_output;
    std::function<QString()> m_installation;
};
