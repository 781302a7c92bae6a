#pragma once

#include <QByteArray>
#include <QObject>
#include <QSet>
#include <QString>

#include <cstdint>

class QLocalServer;
class QLocalSocket;
class SimulationRun;

// The simulated controller as a debugger's remote target: the remote serial protocol over a
// local socket in the user's private folder, one debugger at a time. Continuing runs the
// simulation paced as ever (the window, pins and terminal go on as without a debugger) until
// it stops at a breakpoint, at the end of a step range, on the debugger's interrupt or by
// itself; stepping runs one instruction at once.
class GdbRemoteStub : public QObject
{
    Q_OBJECT
public:
    explicit GdbRemoteStub(SimulationRun &run, QObject *parent = nullptr);
    ~GdbRemoteStub() override;

    // Listens on a new socket in the private folder; false, with the reason, when it cannot.
    bool listen(QString *error);
    QString socketPath() const;
    // Whether the debugger has let the firmware run and not yet been told it stopped.
    bool isRunning() const { return m_running; }

    // One packet's answer, for the protocol's tests; empty means "not supported".
    QByteArray answer(const QByteArray &packet);

signals:
    // The debugger let the firmware run, or was told that it stopped.
    void runningChanged(bool running);

private:
    void acceptDebugger();
    void readInput();
    void send(const QByteArray &payload);
    void resume(bool step, std::uint32_t rangeStart = 0, std::uint32_t rangeEnd = 0);
    void runStopped();
    QByteArray stopReply() const;

    SimulationRun &m_run;
    QLocalServer *m_server;
    QLocalSocket *m_debugger = nullptr;
    QByteArray m_input;
    bool m_acknowledge = true;
    bool m_running = false;
    bool m_interrupted = false;
    QSet<std::uint32_t> m_breakpoints;
};
