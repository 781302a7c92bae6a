#include "processengine.h"

#include "channel/vexachannel.h"
#include "platform/processgroup.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QRegularExpression>

#include <csignal>

static QString tr(const char *text)
{
    return QCoreApplication::translate("ProcessEngine", text);
}

static QString workFolderTemplate()
{
    const QString name = QStringLiteral("work-%1-XXXXXX").arg(QCoreApplication::applicationPid());
    const QString folder = VexaChannel::privateFolder();
    return QDir(folder.isEmpty() ? QDir::tempPath() : folder).filePath(name);
}

ProcessEngine::ProcessEngine()
    : m_work(workFolderTemplate())
{}

ProcessEngine::~ProcessEngine()
{
    stopProgram();
}

bool ProcessEngine::startProgram(const QString &program, const QStringList &arguments)
{
    stopProgram();
    m_programName = program;
    m_process.setProcessChannelMode(QProcess::MergedChannels);
    m_process.setWorkingDirectory(m_work.path());
    // The engine ends with this program, even when it is killed.
    Platform::endWithStarter(m_process, SIGKILL);
    m_process.start(program, arguments);
    if (!m_process.waitForStarted(5000)) {
        m_error = tr("The simulation engine %1 cannot be started: %2")
                      .arg(program, m_process.errorString());
        return false;
    }
    return true;
}

QString ProcessEngine::privateCopy(const QString &firmware)
{
    const QString copy = m_work.filePath(QStringLiteral("firmware.hex"));
    QFile::remove(copy);
    if (!m_work.isValid() || !QFile::copy(firmware, copy)) {
        m_error = tr("The firmware %1 cannot be copied for the simulation engine.").arg(firmware);
        return QString();
    }
    return copy;
}

void ProcessEngine::stopProgram()
{
    m_loaded = false;
    if (m_process.state() == QProcess::NotRunning)
        return;
    if (m_console != &m_process && m_console->isOpen()) {
        m_console->write("kill\n");
        m_console->waitForBytesWritten(200);
    }
    m_process.write("quit\n");
    m_process.closeWriteChannel();
    if (!m_process.waitForFinished(1000)) {
        m_process.kill();
        m_process.waitForFinished(1000);
    }
}

std::optional<QString> ProcessEngine::converse(const QByteArray &commands,
                                               const QRegularExpression &done,
                                               int boundMs)
{
    if (m_process.state() != QProcess::Running) {
        m_error = tr("The simulation engine %1 has stopped.").arg(m_programName);
        return std::nullopt;
    }
    m_console->write(commands);
    QString output;
    if (waitFor(done, boundMs, output))
        return output;
    if (m_process.state() != QProcess::Running) {
        m_error = tr("The simulation engine %1 has stopped.").arg(m_programName);
        return std::nullopt;
    }
    m_error = tr("The simulation engine %1 does not answer (last said: %2).")
                  .arg(m_programName,
                       QString(output.right(160)).replace(QChar(0), QLatin1Char(' ')).simplified());
    m_process.kill();
    m_process.waitForFinished(1000);
    m_loaded = false;
    return std::nullopt;
}

bool ProcessEngine::waitFor(const QRegularExpression &done, int boundMs, QString &output)
{
    QElapsedTimer timer;
    timer.start();
    // Without an event loop turning, only a wait moves what arrived into the buffer.
    m_console->waitForReadyRead(0);
    for (;;) {
        output += QString::fromLocal8Bit(m_console->readAll());
        if (done.match(output).hasMatch())
            return true;
        const qint64 left = boundMs - timer.elapsed();
        if (left <= 0 || m_process.state() != QProcess::Running)
            return false;
        m_console->waitForReadyRead(int(qMin<qint64>(left, 100)));
    }
}

void ProcessEngine::setLevel(const QString &pin, bool level, std::uint64_t timeNs)
{
    const auto it = m_levels.find(pin);
    if (it != m_levels.end() && it.value() == level)
        return;
    m_levels.insert(pin, level);
    if (pinChanged)
        pinChanged(pin, level, timeNs);
}
