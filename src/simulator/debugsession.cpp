#include "debugsession.h"

#include "cirraneinterface.h"

#include "core/outputsink.h"

#include <QFileInfo>

DebugSession::DebugSession(CirraneInterface &simulator,
                           OutputSink &output,
                           std::function<QString()> installation)
    : m_simulator(simulator)
    , m_output(output)
    , m_installation(std::move(installation))
{}

bool DebugSession::ready(const std::optional<DebugTarget> &target)
{
    if (!target) {
        m_output.message(tr("No project selected."));
        return false;
    }
    if (m_installation().isEmpty()) {
        m_output.error(CirraneInterface::noInstallationText());
        return false;
    }
    if (!target->configured) {
        m_output.error(tr("No project configurations defined."));
        return false;
    }
    if (target->design.isEmpty()) {
        m_output.message(tr("Use the Add Design File command to associate your VEXA schematic "
                            "with the project."));
        return false;
    }
    if (target->firmware.isEmpty()) {
        m_output.error(tr("Compiled firmware file name is not set."));
        return false;
    }
    if (target->controller.isEmpty() || target->family.isEmpty()) {
        m_output.error(tr("Microcontroller is not selected in the project properties."));
        return false;
    }
    if (target->clock.isEmpty()) {
        m_output.error(tr("Clock is not set in project properties."));
        return false;
    }
    return true;
}

bool DebugSession::sendFirmware(const std::optional<DebugTarget> &target)
{
    if (!ready(target))
        return false;
    if (QFileInfo::exists(target->firmware)) {
        m_simulator.updateDesign(target->design,
                                 target->controller,
                                 target->family,
                                 target->firmware,
                                 target->clock,
                                 m_simulator.isDebugging(),
                                 false);
        if (m_simulator.isDebugging())
            m_simulator.startDebugging();
    } else {
        m_simulator.updateDesignQuietly(target->design,
                                        target->controller,
                                        target->family,
                                        target->firmware,
                                        target->clock);
    }
    return true;
}

bool DebugSession::open(const std::optional<DebugTarget> &target)
{
    if (m_simulator.isDebugging())
        stop();
    bool launched = false;
    if (!target) {
        m_output.message(tr("No project selected."));
    } else if (sendFirmware(target)) {
        if (!QFileInfo::exists(target->firmware))
            m_output.error(tr("Program firmware has not been compiled in this configuration."));
        else
            m_output.success(tr("Sent program firmware to VEXA for simulation."));
        launched = m_simulator.launch(m_installation());
        if (launched)
            m_output.success(tr("Launched project design file in VEXA."));
        else
            m_output.error(tr("Failed to launch project design file in VEXA."));
    }
    m_simulator.bringToFront();
    return launched;
}

bool DebugSession::run(const std::optional<DebugTarget> &target)
{
    bool handedOver = true;
    if (!m_simulator.isRunning()) {
        open(target);
    } else {
        // A VEXA that runs already runs the firmware of the configuration selected now, which
        // may not be the one handed over last.
        handedOver = ready(target);
        if (handedOver)
            m_simulator.keepHandOff(target->design,
                                    target->controller,
                                    target->family,
                                    target->firmware,
                                    target->clock);
    }
    const bool started = handedOver && m_simulator.isRunning() && m_simulator.startDebugging();
    if (started)
        m_output.message(tr("Debugging in VEXA started."));
    m_simulator.bringToFront();
    return started;
}

void DebugSession::stop()
{
    m_simulator.stopDebugging();
    m_output.message(tr("Debugging stopped."));
}

void DebugSession::close()
{
    m_simulator.closeSimulator();
    m_output.message(tr("Closed VEXA."));
}

bool DebugSession::simulate(const std::optional<DebugTarget> &target,
                            double seconds,
                            const QString &traceFile)
{
    if (!target) {
        m_output.message(tr("No project selected."));
        return false;
    }
    open(target);
    if (!m_simulator.isRunning())
        return false;
    bool finished = false;
    if (!m_simulator.requestTimedRun(seconds, traceFile)) {
        m_output.error(tr("VEXA does not answer."));
    } else {
        run(target);
        // However slow the engine, a run that takes ten times its length plus a minute has
        // stopped making progress.
        finished = m_simulator.isDebugging()
                   && m_simulator.waitForTimedRun(int(seconds * 10000) + 60000);
        // A firmware that tests itself passes when no test failed and it ended the run.
        const int passed = m_simulator.testsPassed();
        const int failed = m_simulator.testsFailed();
        if (passed + failed > 0) {
            const bool ended = m_simulator.firmwareEnded();
            if (!ended)
                m_output.error(tr("The firmware did not end the run within %1 s.").arg(seconds));
            const QString summary
                = tr("Firmware tests: %1 passed, %2 failed.").arg(passed).arg(failed);
            if (failed == 0 && ended)
                m_output.success(summary);
            else
                m_output.error(summary);
            finished = finished && failed == 0 && ended;
        }
    }
    stop();
    close();
    return finished;
}
