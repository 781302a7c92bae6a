#include "cirraneinterface.h"

#include "channel/vexachannel.h"
#include "core/commandstate.h"
#include "core/mainservices.h"
#include "platform/caseinsensitivepath.h"
#include "platform/platformpaths.h"
#include "platform/processgroup.h"
#include "platform/wholefilewriter.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSettings>
#include <QStandardPaths>
#include <QThread>
#include <QTimer>

#include <csignal>
#include <sys/stat.h>
#include <unistd.h>

// The time the simulator is given to stop a simulation, and to come up after its start.
static constexpr int settleMs = 500;
// How long a VEXA asked to close is given to end before the program goes on.
static constexpr int closeWaitMs = 2000;
// During a timed run VEXA says it is alive every second; an engine's slowest answer takes ten.
static constexpr int silenceLimitMs = 15000;

static QString webSiteLine()
{
    return CirraneInterface::tr("Visit the Morvellan Electronics web site to obtain a copy of "
                                "Cirrane.");
}

static QString handOffTemp()
{
    const QString temp = Platform::environmentValue(QStringLiteral("TEMP"));
    if (!temp.isEmpty())
        return temp;
    // Without TEMP, a folder of the user's own: the session's runtime folder, which Qt takes
    // only when it belongs to this user and no one else may enter it.
    const QString runtime = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    return runtime.isEmpty() ? QDir::tempPath() : runtime;
}

// The private folder of the hand-off file: below TEMP (the session's runtime folder without
// one), made new, readable by this user alone, named after this process. Those of processes
// that no longer run (killed before they could remove theirs) go first.
static QString handOffFolderTemplate()
{
    static const QRegularExpression leftover(QStringLiteral("^dyxstudio-(\\d+)-[A-Za-z0-9]{6}$"));
    const QDir temp(handOffTemp());
    for (const QString &name : temp.entryList({QStringLiteral("dyxstudio-*")}, QDir::Dirs)) {
        const QRegularExpressionMatch m = leftover.match(name);
        const QByteArray path = QFile::encodeName(temp.filePath(name));
        struct stat status
        {};
        if (m.hasMatch() && lstat(path.constData(), &status) == 0 && S_ISDIR(status.st_mode)
            && status.st_uid == geteuid() && Platform::processHasEnded(m.captured(1).toLongLong()))
            QDir(temp.filePath(name)).removeRecursively();
    }
    return temp.absoluteFilePath(
        QStringLiteral("dyxstudio-%1-XXXXXX").arg(QCoreApplication::applicationPid()));
}

CirraneInterface::CirraneInterface(MainServices *mainWindow, QObject *parent)
    : QObject(parent)
    , m_mainWindow(servicesOf(mainWindow))
    , m_handOffFolder(handOffFolderTemplate())
    , m_process(new QProcess)
    , m_channel(new VexaChannelClient(this))
{
    connect(m_process, &QProcess::errorOccurred, this, &CirraneInterface::processError);
    connect(m_process, &QProcess::finished, this, &CirraneInterface::processFinished);
    connect(m_channel, &VexaChannelClient::note, this, &CirraneInterface::noteReceived);
    m_handOffPath = m_handOffFolder.filePath(QStringLiteral("tandel.ini"));
}

CirraneInterface::~CirraneInterface()
{
    // Quitting stops the simulation and closes a simulator this object started; without one
    // there is nothing to wait for.
    if (m_process->state() != QProcess::NotRunning) {
        stopDebugging();
        closeSimulator();
    }
    // The simulator was asked to close; it is left to do so on its own.
    m_process->disconnect(this);
    if (m_process->state() != QProcess::NotRunning) {
        m_process->waitForFinished(2000);
    }
    if (m_process->state() == QProcess::NotRunning) {
        delete m_process;
    } else {
        // Deleting the process object would kill the simulator, which was only asked to close:
        // the object stays with the program.
        static auto *const stillRunning = new QList<QProcess *>;
        stillRunning->append(m_process);
    }
}

bool CirraneInterface::isRunning() const
{
    return m_process->state() == QProcess::Running;
}

void CirraneInterface::refreshCommands()
{
    m_mainWindow.commands().updateState();
}

// The simulator's main window: reachable only through the channel of the process this object
// started, and only when its title names VEXA.
bool CirraneInterface::findWindow()
{
    if (m_process->state() != QProcess::Running)
        return false;
    const qint64 pid = m_process->processId();
    if (pid <= 0)
        return false;
    if (!m_channel->connectTo(pid, 2000)) {
        // Said once for each start: every command after it would say it again.
        if (!m_channelTroubleShown)
            m_mainWindow.output().error(
                tr("VEXA cannot be reached: %1").arg(m_channel->errorString()));
        m_channelTroubleShown = true;
        return false;
    }
    const std::optional<QString> answer = m_channel->request(QStringLiteral("TITLE"), m_sendBound);
    if (!answer || !answer->startsWith(QLatin1String("TITLE ")))
        return false;
    const QString title = VexaChannel::unescape(answer->mid(6));
    if (title.isEmpty() || !title.contains(QLatin1String("VEXA")))
        return false;
    // What the simulator reports from now on (its errors, the firmware's serial output) goes
    // to the output window.
    if (!m_watching) {
        m_watching = m_channel->request(QStringLiteral("WATCH"), m_sendBound).has_value();
        if (m_watching)
            sendBreakpoints();
    }
    return true;
}

bool CirraneInterface::sendCommand(int code)
{
    if (!findWindow())
        return false;
    const std::optional<QString> answer = m_channel->request(QStringLiteral("SEND %1 %2 0")
                                                                 .arg(VexaChannel::commandMessage)
                                                                 .arg(code),
                                                             m_sendBound);
    return answer && answer->startsWith(QLatin1String("HANDLED"));
}

void CirraneInterface::bringToFront()
{
    if (findWindow())
        m_channel->request(QStringLiteral("FRONT"), m_sendBound);
}

void CirraneInterface::closeSimulator()
{
    if (!isRunning())
        return;
    sendCommand(VexaChannel::CloseProgram);
    // Gone before anything else is sent: a hand-off for the VEXA started next (a new design)
    // would reach the closing one, and fail.
    m_process->waitForFinished(closeWaitMs);
}

void CirraneInterface::stopDebugging()
{
    sendCommand(VexaChannel::StopSimulation);
    QThread::msleep(settleMs);
    m_debugging = false;
}

bool CirraneInterface::writeHandOff(const QString &designFile,
                                    const QString &device,
                                    const QString &family,
                                    const QString &program,
                                    const QString &clock,
                                    bool autorun,
                                    bool newDesign,
                                    bool quiet)
{
    keepHandOff(designFile, device, family, program, clock);
    m_handOffWritten = false;
    // The text is made by the settings code VEXA reads it with, in a file of its own, and
    // then written whole over the hand-off file, or not at all.
    const QString draft = m_handOffFolder.filePath(QStringLiteral("draft.ini"));
    QFile::remove(draft);
    {
        QSettings handOff(draft, QSettings::IniFormat);
        handOff.beginGroup(QStringLiteral("CIRRANE"));
        handOff.setValue(QStringLiteral("DESIGNFILE"), designFile);
        handOff.setValue(QStringLiteral("PROGRAM"), program);
        handOff.setValue(QStringLiteral("CLOCK"), clock);
        handOff.setValue(QStringLiteral("DEVICE"), device.toUpper());
        handOff.setValue(QStringLiteral("FAMILY"), family.toUpper());
        handOff.setValue(QStringLiteral("AUTORUN"),
                         autorun ? QStringLiteral("1") : QStringLiteral("0"));
        handOff.setValue(QStringLiteral("NEWDESIGN"),
                         newDesign ? QStringLiteral("1") : QStringLiteral("0"));
        handOff.endGroup();
    }
    QFile drafted(draft);
    const QByteArray text = drafted.open(QIODevice::ReadOnly) ? drafted.readAll() : QByteArray();
    drafted.close();
    QFile::remove(draft);
    bool whole = m_handOffFolder.isValid() && text.endsWith('\n');
    for (const char *key :
         {"AUTORUN=", "CLOCK=", "DESIGNFILE=", "DEVICE=", "FAMILY=", "NEWDESIGN=", "PROGRAM="})
        whole = whole && text.contains(QByteArray("\n") + key);
    QString reason = m_handOffFolder.isValid() ? tr("the text is incomplete")
                                               : m_handOffFolder.errorString();
    if (!whole || !Platform::writeWholeFile(m_handOffPath, text, &reason)) {
        m_mainWindow.output().error(
            tr("Cannot write the hand-off file %1: %2").arg(m_handOffPath, reason));
        return false;
    }
    m_handOffWritten = true;
    if (!sendCommand(VexaChannel::ReloadHandOff))
        return false;
    if (!quiet)
        m_mainWindow.output().success(tr("Sent program firmware to VEXA for simulation."));
    return true;
}

void CirraneInterface::updateDesign(const QString &designFile,
                                    const QString &device,
                                    const QString &family,
                                    const QString &program,
                                    const QString &clock,
                                    bool autorun,
                                    bool newDesign)
{
    writeHandOff(designFile, device, family, program, clock, autorun, newDesign, false);
}

void CirraneInterface::updateDesignQuietly(const QString &designFile,
                                           const QString &device,
                                           const QString &family,
                                           const QString &program,
                                           const QString &clock)
{
    writeHandOff(designFile, device, family, program, clock, false, false, true);
}

void CirraneInterface::keepHandOff(const QString &designFile,
                                   const QString &device,
                                   const QString &family,
                                   const QString &program,
                                   const QString &clock)
{
    m_designFile = designFile;
    m_device = device;
    m_family = family;
    m_program = program;
    m_clock = clock;
}

bool CirraneInterface::startDebugging()
{
    if (!isRunning())
        return m_debugging;
    stopDebugging();
    sendBreakpoints();
    m_debugging
        = writeHandOff(m_designFile, m_device, m_family, m_program, m_clock, true, false, false);
    return m_debugging;
}

QString CirraneInterface::noInstallationText()
{
    return tr("Cannot launch the design file as no Cirrane installation has been detected.\nIf "
              "you have a copy of Cirrane installed you can set the path from the Editor "
              "Configuration dialogue on the Config menu.\n")
           + webSiteLine();
}

bool CirraneInterface::launch(const QString &installationDirectory)
{
    m_installationDirectory = installationDirectory;
    stopDebugging();
    const auto fail = [this](const QString &text) {
        m_mainWindow.output().error(text);
        return false;
    };
    if (installationDirectory.isEmpty())
        return fail(noInstallationText());
    if (m_designFile.isEmpty())
        return fail(tr("No design file specified for the project."));
    if (m_device.isEmpty())
        return fail(tr("Microcontroller is not selected in the project properties."));
    if (m_program.isEmpty())
        return fail(tr("Compiled firmware file name is not set."));
    if (isRunning())
        return true;
    if (!m_handOffWritten)
        return fail(
            tr("VEXA is not started: the hand-off file %1 was not written.").arg(m_handOffPath));
    const QStringList arguments{QStringLiteral("/P:") + Platform::shortPathName(m_handOffPath)};
    const QString program = Platform::resolveCaseInsensitive(
        QDir(installationDirectory).absoluteFilePath(QStringLiteral("BIN/VEXA.EXE")));
    if (!QFile::exists(m_designFile))
        return fail(tr("Design file not found."));
    m_channel->disconnectFromServer();
    m_watching = false;
    m_channelTroubleShown = false;
    m_process->setWorkingDirectory(QFileInfo(m_designFile).absolutePath());
    // VEXA closes when this program ends, even when it is killed.
    Platform::endWithStarter(*m_process, SIGTERM);
    m_process->start(program, arguments);
    QThread::msleep(settleMs);
    while (m_process->state() == QProcess::Starting) {
        QThread::msleep(10);
        m_process->waitForStarted(0);
    }
    return isRunning();
}

void CirraneInterface::processError(QProcess::ProcessError error)
{
    if (error == QProcess::FailedToStart) {
        m_mainWindow.output().error(
            tr("Cannot launch VEXA as no Cirrane installation has been detected.\nIf you have "
               "a copy of Cirrane installed you can set the path from the Editor "
               "Configuration dialogue on the Config menu.\n")
            + webSiteLine());
    } else if (error == QProcess::Crashed) {
        m_mainWindow.output().error(tr("VEXA crashed."));
    }
    m_debugging = false;
    if (m_timedRun == TimedRun::Running)
        m_timedRun = TimedRun::Failed;
    refreshCommands();
}

void CirraneInterface::processFinished(int, QProcess::ExitStatus)
{
    m_debugging = false;
    setPaused(false);
    m_channel->disconnectFromServer();
    m_watching = false;
    if (m_timedRun == TimedRun::Running)
        m_timedRun = TimedRun::Failed;
    refreshCommands();
}

bool CirraneInterface::requestTimedRun(double seconds, const QString &traceFile)
{
    if (!findWindow())
        return false;
    const std::optional<QString> answer = m_channel->request(
        QStringLiteral("BATCH %1 %2").arg(seconds).arg(VexaChannel::escape(traceFile)), m_sendBound);
    if (!answer || !answer->startsWith(QLatin1String("HANDLED")))
        return false;
    m_timedRun = TimedRun::Running;
    m_testsPassed = m_testsFailed = 0;
    m_firmwareEnded = false;
    return true;
}

bool CirraneInterface::waitForTimedRun(int wallLimitMs)
{
    QElapsedTimer timer;
    timer.start();
    m_lastSign.start();
    m_channel->deliverNotes();
    while (m_timedRun == TimedRun::Running && timer.elapsed() < wallLimitMs) {
        QEventLoop loop;
        QTimer::singleShot(20, &loop, &QEventLoop::quit);
        loop.exec();
        // A VEXA that says nothing for this long has hung or been stopped: it is ended, and
        // its engines end with it.
        if (m_timedRun == TimedRun::Running && m_lastSign.elapsed() > silenceLimitMs) {
            m_mainWindow.output().error(
                tr("VEXA gave no sign of life for %1 s during the simulation; it was ended.")
                    .arg(silenceLimitMs / 1000));
            m_timedRun = TimedRun::Failed;
            m_process->kill();
            m_process->waitForFinished(2000);
        }
    }
    const bool finished = m_timedRun == TimedRun::Finished;
    if (m_timedRun == TimedRun::Running)
        m_mainWindow.output().error(tr("VEXA did not finish the simulation in time."));
    m_timedRun = TimedRun::None;
    return finished;
}

void CirraneInterface::noteReceived(const QString &kind, const QString &text)
{
    m_lastSign.start();
    static const QRegularExpression otherPort(QStringLiteral("^UART[0-9]$"));
    if (kind == QLatin1String("UART") || otherPort.match(kind).hasMatch()) {
        // The controller's first serial port is "UART", the others go by their names. A line
        // of the firmware's own tests links to the test.
        static const QRegularExpression testLine(
            QStringLiteral("^([^:]+):([0-9]{1,9}):([^:]*):(PASS|FAIL)(:.*)?$"));
        const QRegularExpressionMatch test = testLine.match(text);
        const QString shown = kind + QStringLiteral(": ") + text;
        if (!test.hasMatch()) {
            m_mainWindow.output().message(shown);
        } else {
            const QString named = test.captured(1);
            const QString inProject = QFileInfo(m_designFile).absoluteDir().filePath(named);
            const QString file = QFileInfo(named).isAbsolute() || !QFileInfo::exists(inProject)
                                     ? named
                                     : inProject;
            const int line = test.captured(2).toInt();
            if (test.captured(4) == QLatin1String("PASS")) {
                ++m_testsPassed;
                m_mainWindow.output().link(file, line, 0, shown);
            } else {
                ++m_testsFailed;
                m_mainWindow.output().errorLink(file, line, 0, shown);
            }
        }
    } else if (kind == QLatin1String("ERROR")) {
        m_mainWindow.output().error(QStringLiteral("VEXA: ") + text);
        if (m_timedRun == TimedRun::Running)
            m_timedRun = TimedRun::Failed;
    } else if (kind == QLatin1String("INFO")) {
        m_mainWindow.output().message(QStringLiteral("VEXA: ") + text);
    } else if (kind == QLatin1String("STOPPED")) {
        const int line = text.section(QLatin1Char(' '), 0, 0).toInt();
        const QString file = text.section(QLatin1Char(' '), 1);
        if (file.isEmpty())
            m_mainWindow.output().message(tr("VEXA stopped the firmware where it has no source."));
        else
            m_mainWindow.output().link(file,
                                       line,
                                       0,
                                       tr("VEXA stopped the firmware at %1, line %2.")
                                           .arg(QFileInfo(file).fileName())
                                           .arg(line));
        m_paused = true;
        emit debugStopped(file, line);
        refreshCommands();
    } else if (kind == QLatin1String("RUNNING")) {
        setPaused(false);
    } else if (kind == QLatin1String("ENDED")) {
        m_firmwareEnded = true;
        m_mainWindow.output().message(
            tr("The firmware ended the run at %1 s.").arg(text.toDouble(), 0, 'f', 3));
    } else if (kind == QLatin1String("FINISHED")) {
        m_mainWindow.output().success(tr("VEXA simulated %1 s.").arg(text.toDouble(), 0, 'f', 3));
        if (m_timedRun == TimedRun::Running)
            m_timedRun = TimedRun::Finished;
    }
}

void CirraneInterface::setPaused(bool paused)
{
    if (m_paused == paused)
        return;
    m_paused = paused;
    if (!paused)
        emit debugResumed();
    refreshCommands();
}

void CirraneInterface::setBreakpoints(const QList<std::pair<QString, int>> &breakpoints)
{
    m_breakpoints = breakpoints;
    if (isRunning() && m_watching)
        sendBreakpoints();
}

bool CirraneInterface::sendBreakpoints()
{
    if (!m_watching && !findWindow())
        return false;
    QStringList lines;
    for (const auto &[file, line] : std::as_const(m_breakpoints)) {
        if (!m_breakpointScope || m_breakpointScope(file))
            lines.append(QStringLiteral("%1 %2").arg(line).arg(file));
    }
    const std::optional<QString> answer = m_channel->request(QStringLiteral("BREAKS ")
                                                                 + VexaChannel::escape(
                                                                     lines.join(QLatin1Char('\n'))),
                                                             m_sendBound);
    return answer.has_value();
}

bool CirraneInterface::debugCommand(const QString &command, const QString &argument)
{
    if (!findWindow())
        return false;
    const std::optional<QString> answer = m_channel->request(
        QStringLiteral("DEBUG %1 %2").arg(command, VexaChannel::escape(argument)), m_sendBound);
    return answer && *answer == QLatin1String("HANDLED 1");
}
