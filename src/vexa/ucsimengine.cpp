#include "ucsimengine.h"

#include "hexfile.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QHash>
#include <QRegularExpression>

static QString tr(const char *text)
{
    return QCoreApplication::translate("UcsimEngine", text);
}

// With a null prompt every command's answer ends with a zero byte.
static const QRegularExpression prompt(QStringLiteral("\\x00"));

// The answers to "state" and to the ports' question end with these and a prompt.
static const QRegularExpression stateDone(
    QStringLiteral("Total time since last reset[^\\x00]*\\x00"));
static const QRegularExpression portsDone(QStringLiteral("P3:[^\\x00]*\\x00"));
// A run ends with the place it stopped at, and a prompt.
static const QRegularExpression stopped(QStringLiteral("Stop at[^\\x00]*\\x00"));

UcsimEngine::~UcsimEngine()
{
    // The console terminal goes before the base class ends the program.
    stopProgram();
    m_console = &m_process;
}

QString UcsimEngine::load(const QString &hexFile, const QString &device, double clockHz)
{
    stopProgram();
    m_error.clear();
    m_levels.clear();
    m_pins.clear();
    m_timeNs = m_resetNs = 0;
    m_running = false;
    const HexImage image = HexImage::read(hexFile);
    if (!image.error.isEmpty())
        return m_error = image.error;
    if (clockHz <= 0)
        return m_error = tr("The clock is not a frequency.");
    // The parts s51's two cores model whole: the 8051 and the 8052 with their code memory.
    static const QHash<QString, std::uint32_t> codeSizes{
        {"8051", 4096},
        {"80C51", 4096},
        {"AT89C51", 4096},
        {"AT89S51", 4096},
        {"AT89C2051", 2048},
        {"AT89C4051", 4096},
        {"8052", 8192},
        {"80C52", 8192},
        {"AT89C52", 8192},
        {"AT89S52", 8192},
    };
    const QString d = device.toUpper();
    if (!codeSizes.contains(d))
        return m_error = tr("The 8051 engine has no model of the %1.").arg(device);
    const bool has8052 = d.endsWith(QLatin1String("52"));
    const std::uint32_t codeSize = codeSizes.value(d);
    if (image.endAddress() > codeSize) {
        return m_error = tr("The firmware (%1 bytes) does not fit the %2 bytes of code memory of "
                            "the %3.")
                             .arg(image.endAddress())
                             .arg(codeSize)
                             .arg(device);
    }
    m_clockHz = clockHz;
    // The console reads lines: the firmware goes to s51 by a name of the engine's own.
    const QString firmware = privateCopy(hexFile);
    if (firmware.isEmpty())
        return m_error;
    m_serial.close();
    m_serial.setFileName(m_work.filePath(QStringLiteral("serial.out")));
    // The console is a terminal of this program's own: nobody else can reach it.
    QString problem;
    if (!m_terminal.openTerminal(&problem))
        return m_error = problem;
    m_console = &m_terminal;
    if (!startProgram(QStringLiteral("s51"),
                      {QStringLiteral("-t"),
                       has8052 ? QStringLiteral("8052") : QStringLiteral("51"),
                       QStringLiteral("-X"),
                       QString::number(qint64(clockHz)),
                       QStringLiteral("-b"),
                       QStringLiteral("-P"),
                       QStringLiteral("-c"),
                       m_terminal.terminalName(),
                       QStringLiteral("-S"),
                       QStringLiteral("out=") + m_serial.fileName()}))
        return m_error;
    // The banner ends with the first prompt. The firmware, checked above, is loaded through the
    // console; s51 reports the load only on its own output, which it holds back in its buffers.
    if (!converse(QByteArray(), prompt)
        || !converse("file \"" + firmware.toLocal8Bit() + "\"\n", prompt)) {
        stopProgram();
        return m_error;
    }
    for (int port = 0; port < 4; ++port) {
        for (int bit = 0; bit < 8; ++bit)
            m_pins.append(QStringLiteral("P%1.%2").arg(port).arg(bit));
    }
    // A write to a port, whole or one bit, stops the run.
    for (int port = 0x80; port <= 0xb0; port += 0x10) {
        if (!converse("break sfr w 0x" + QByteArray::number(port, 16) + "\n", prompt))
            return m_error;
        for (int bit = 0; bit < 8; ++bit) {
            if (!converse("break bits w 0x" + QByteArray::number(port + bit, 16) + "\n", prompt))
                return m_error;
        }
    }
    m_loaded = true;
    if (!readPorts())
        return m_error;
    return QString();
}

bool UcsimEngine::readPorts()
{
    const std::optional<QString> answer = converse("get sfr 0x80 0x90 0xa0 0xb0\n", portsDone);
    if (!answer)
        return false;
    static const QRegularExpression line(
        QStringLiteral("0x([89ab])0 P([0-3]):\\s+0b[01]+ 0x([0-9a-fA-F]{2})"));
    for (auto it = line.globalMatch(*answer); it.hasNext();) {
        const QRegularExpressionMatch m = it.next();
        const unsigned value = m.captured(3).toUInt(nullptr, 16);
        for (int bit = 0; bit < 8; ++bit)
            setLevel(QStringLiteral("P%1.%2").arg(m.captured(2)).arg(bit),
                     (value >> bit) & 1,
                     m_timeNs);
    }
    return true;
}

void UcsimEngine::readSerial()
{
    if (!m_serial.isOpen() && !m_serial.open(QIODevice::ReadOnly))
        return;
    const QByteArray bytes = m_serial.readAll();
    if (serialOutput) {
        for (const char byte : bytes)
            serialOutput(0, byte);
    }
}

bool UcsimEngine::runUntil(std::uint64_t untilNs)
{
    if (!m_loaded)
        return false;
    // A run goes on in s51 while the window does its work: each call looks whether it has
    // stopped and never waits for it.
    if (!m_running) {
        if (m_timeNs >= untilNs)
            return true;
        m_console->write("run\n");
        m_running = true;
        m_stopAsked = false;
        m_runOutput.clear();
        m_runWall.start();
        // s51 runs a few times faster than real time: it is asked to stop once it has
        // probably covered the time wanted.
        m_runWallMs = qBound<qint64>(qint64(1),
                                     qint64(double(untilNs - m_timeNs) / 4e6),
                                     qint64(200));
    }
    if (!waitFor(stopped, 0, m_runOutput)) {
        if (m_process.state() != QProcess::Running) {
            m_error = tr("The simulation engine s51 has stopped.");
            m_running = m_loaded = false;
            return false;
        }
        if (!m_stopAsked && m_runWall.elapsed() >= m_runWallMs) {
            m_console->write("stop\n");
            m_stopAsked = true;
        } else if (m_stopAsked && m_runWall.elapsed() > m_runWallMs + 10000) {
            m_error = tr("The simulation engine s51 does not answer.");
            m_running = false;
            stopProgram();
            return false;
        }
        return true;
    }
    return completeRun();
}

// After a run has stopped: its time, and the ports when a write to one stopped it.
bool UcsimEngine::completeRun()
{
    static const QRegularExpression clocks(
        QStringLiteral("Total time since last reset= \\S+ sec \\((\\d+) clks\\)"));
    m_running = false;
    const std::optional<QString> state = converse("state\n", stateDone);
    if (!state)
        return false;
    const QRegularExpressionMatch total = clocks.match(*state);
    if (!total.hasMatch()) {
        m_error = tr("s51 did not report its time.");
        return false;
    }
    m_timeNs = std::max(m_timeNs,
                        std::uint64_t(total.captured(1).toDouble() * 1e9 / m_clockHz + 0.5)
                            + m_resetNs);
    if (m_runOutput.contains(QLatin1String("Event break")) && !readPorts())
        return false;
    readSerial();
    return true;
}

void UcsimEngine::reset()
{
    if (!m_loaded)
        return;
    halt();
    if (converse("reset\n", prompt)) {
        m_resetNs = m_timeNs; // the engine counts again from its reset
        readPorts();
    }
}

void UcsimEngine::halt()
{
    if (!m_running)
        return;
    if (!m_stopAsked)
        m_console->write("stop\n");
    if (waitFor(stopped, 10000, m_runOutput))
        completeRun();
    m_running = false;
}
