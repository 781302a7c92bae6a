#pragma once

#include <QElapsedTimer>
#include <QObject>
#include <QProcess>
#include <QString>
#include <QTemporaryDir>

#include <functional>
#include <utility>

class MainServices;
class VexaChannelClient;

// The link to the simulator program VEXA: the hand-off file that names the design, the
// firmware and the controller, the program's start, and the numbered commands sent to the
// copy this object started (reload the hand-off file, stop the simulation, close).
class CirraneInterface : public QObject
{
    Q_OBJECT
public:
    explicit CirraneInterface(MainServices *mainWindow, QObject *parent = nullptr);
    ~CirraneInterface() override;

    bool isRunning() const;
    bool isDebugging() const { return m_debugging; }

    bool sendCommand(int code);
    void bringToFront();
    void closeSimulator();
    void stopDebugging();
    bool writeHandOff(const QString &designFile,
                      const QString &device,
                      const QString &family,
                      const QString &program,
                      const QString &clock,
                      bool autorun,
                      bool newDesign,
                      bool quiet);
    void updateDesign(const QString &designFile,
                      const QString &device,
                      const QString &family,
                      const QString &program,
                      const QString &clock,
                      bool autorun,
                      bool newDesign);
    void updateDesignQuietly(const QString &designFile,
                             const QString &device,
                             const QString &family,
                             const QString &program,
                             const QString &clock);
    // What the next start of debugging hands over, without telling VEXA yet.
    void keepHandOff(const QString &designFile,
                     const QString &device,
                     const QString &family,
                     const QString &program,
                     const QString &clock);
    bool startDebugging();
    bool launch(const QString &installationDirectory);

    // Source-level debugging. The breakpoints go to VEXA now when it runs, and whenever it
    // starts or starts debugging.
    void setBreakpoints(const QList<std::pair<QString, int>> &breakpoints);
    // Which files' breakpoints VEXA is given (those of the open project, not of files of other
    // projects set earlier); every file's when none is set.
    void setBreakpointScope(std::function<bool(const QString &file)> inScope)
    {
        m_breakpointScope = std::move(inScope);
    }
    // A debugging command (continue, pause, into, over, out; to with "<line> <file>"); false
    // when VEXA does not run or has no debugger for the firmware.
    bool debugCommand(const QString &command, const QString &argument = QString());
    // Whether VEXA's debugger holds the firmware stopped.
    bool isPaused() const { return m_paused; }

    // What the user is told when there is no simulator installation to start VEXA from.
    static QString noInstallationText();

    QString handOffPath() const { return m_handOffPath; }
    QString installationDirectory() const { return m_installationDirectory; }

    // How long a command may wait for the simulator's answer before it counts as not
    // delivered, in milliseconds.
    void setSendBound(int milliseconds) { m_sendBound = milliseconds; }

    // For scripted runs: the next simulation runs for the given simulated seconds as fast as
    // it can and then reports its end; with a trace file, every pin change is written to it.
    // Lines the firmware writes to its serial port appear in the output window meanwhile.
    bool requestTimedRun(double seconds, const QString &traceFile);
    // Waits, processing events, until a timed run ends, VEXA reports an error or goes away,
    // or wallLimitMs pass; a VEXA that gives no sign of life for a while is ended. True when
    // the run reached its end.
    bool waitForTimedRun(int wallLimitMs);
    // What the firmware said of its own tests since the timed run was asked for: lines of the
    // form FILE:LINE:NAME:PASS or FILE:LINE:NAME:FAIL[:message], shown as links to the line;
    // and whether it ended the run itself.
    int testsPassed() const { return m_testsPassed; }
    int testsFailed() const { return m_testsFailed; }
    bool firmwareEnded() const { return m_firmwareEnded; }

signals:
    // VEXA's debugger stopped the firmware at a line of a file (none where it knows no source),
    // or let it run on (also when VEXA went away).
    void debugStopped(const QString &file, int line);
    void debugResumed();

public slots:
    void processError(QProcess::ProcessError error);
    void processFinished(int exitCode, QProcess::ExitStatus status);

private:
    bool findWindow();
    void noteReceived(const QString &kind, const QString &text);
    void refreshCommands();
    bool sendBreakpoints();
    void setPaused(bool paused);

    MainServices &m_mainWindow;
    QString m_installationDirectory;
    QString m_designFile;
    QString m_device;
    QString m_family;
    QString m_program;
    QString m_clock;
    bool m_debugging = false;
    bool m_paused = false;
    QList<std::pair<QString, int>> m_breakpoints;
    std::function<bool(const QString &)> m_breakpointScope;
    // The hand-off file lives in a folder of this program's own (mode 0700, a new name each
    // run) inside TEMP: nothing another user planted there is read or written through.
    QTemporaryDir m_handOffFolder;
    QString m_handOffPath;
    // Whether the last hand-off was written whole: VEXA is told to read it, or started on it,
    // only then.
    bool m_handOffWritten = false;
    QProcess *m_process;
    VexaChannelClient *m_channel;
    int m_sendBound = 5000;
    bool m_watching = false;
    bool m_channelTroubleShown = false;
    // Since the last note from VEXA.
    QElapsedTimer m_lastSign;
    enum class TimedRun { None, Running, Finished, Failed } m_timedRun = TimedRun::None;
    int m_testsPassed = 0;
    int m_testsFailed = 0;
    bool m_firmwareEnded = false;
};
