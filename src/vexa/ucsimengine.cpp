#include "ucsimengine.h"

#include "firmware/hexfile.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QHash>
#include <QRegularExpression>

#include <algorithm>
#include <cmath>
#include <iterator>

static QString tr(const char *text)
{
    return QCoreApplication::translate("UcsimEngine", text);
}

// With a null prompt every command's answer ends with a zero byte.
static const QRegularExpression prompt(QStringLiteral("\\x00"));

// The answer to the ports' question ends with this and a prompt.
static const QRegularExpression portsDone(QStringLiteral("P3:[^\\x00]*\\x00"));
// A run ends with the place it stopped at, and a prompt.
static const QRegularExpression stopped(QStringLiteral("Stop at[^\\x00]*\\x00"));

UcsimEngine::~UcsimEngine()
{
    // The console terminal goes before the base class ends the program.
    stopProgram();
    m_console = &m_process;
}

// The cells whose changes s51 records, in the order it names them ('!' first): a write to a
// port's register and one to a single bit of it are seen by different cells.
struct RecordedCell
{
    enum Kind { Port, PortBit, PowerControl, InterruptEnables, InterruptsOn } kind;
    int port = 0;
    int bit = 0;
};

static const QList<RecordedCell> &recordedCells()
{
    static const QList<RecordedCell> cells = [] {
        QList<RecordedCell> list{{RecordedCell::PowerControl},
                                 {RecordedCell::InterruptEnables},
                                 {RecordedCell::InterruptsOn}};
        for (int port = 0; port < 4; ++port) {
            list.append({RecordedCell::Port, port});
            for (int bit = 0; bit < 8; ++bit)
                list.append({RecordedCell::PortBit, port, bit});
        }
        return list;
    }();
    return cells;
}

static QByteArray recordCommand(const RecordedCell &cell)
{
    const auto hex = [](int value) { return "0x" + QByteArray::number(value, 16); };
    QByteArray where;
    switch (cell.kind) {
    case RecordedCell::PowerControl:
        where = "sfr 0x87";
        break;
    case RecordedCell::InterruptEnables:
        where = "sfr 0xa8";
        break;
    case RecordedCell::InterruptsOn:
        where = "bits 0xaf";
        break;
    case RecordedCell::Port:
        where = "sfr " + hex(0x80 + 0x10 * cell.port);
        break;
    case RecordedCell::PortBit:
        where = "bits " + hex(0x80 + 0x10 * cell.port + cell.bit);
        break;
    }
    return "set hw vcd[0] add " + where + "\n";
}

QString UcsimEngine::load(const QString &hexFile, const QString &device, double clockHz)
{
    stopProgram();
    m_error.clear();
    m_levels.clear();
    m_pins.clear();
    m_timeNs = m_clocks = m_resetClocks = 0;
    m_running = m_ended = false;
    m_firmwareEnded = false;
    m_pendingChanges.clear();
    m_changePs = 0;
    m_pcon = m_ie = 0;
    std::fill(std::begin(m_outside), std::end(m_outside), 0xff);
    m_outsideChanged = false;
    m_checkSerialOften = false;
    m_typed.clear();
    m_runsSinceTyped = -1;
    m_breaks.clear();
    m_pc = 0;
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
    m_changes.close();
    m_changes.setFileName(m_work.filePath(QStringLiteral("changes.vcd")));
    QFile::remove(m_changes.fileName());
    // The console and the serial port are terminals of this program's own: nobody else can
    // reach them.
    QString problem;
    if (!m_terminal.openTerminal(&problem) || !m_serial.openTerminal(&problem))
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
                       QStringLiteral("in=%1,out=%1").arg(m_serial.terminalName())}))
        return m_error;
    // s51 runs in the engine's work folder: the files go by their plain names. It reads its
    // console a hundred bytes at a time and loses a line cut by a read, so the setting up is a
    // file of commands.
    QByteArray setup;
    for (const RecordedCell &cell : recordedCells())
        setup += recordCommand(cell);
    setup += "set hw vcd[0] output \"changes.vcd\"\n"
             "set hw vcd[0] start\n"
             // The end of each run: a change of a cell the firmware cannot see.
             "var vexa_end variables 0\n"
             "set hw vcd[0] new 1\n"
             "set hw vcd[1] add variables 0\n"
             "set hw vcd[1] break\n";
    QFile commands(m_work.filePath(QStringLiteral("setup.cmd")));
    if (!commands.open(QIODevice::WriteOnly | QIODevice::Truncate)
        || commands.write(setup) != setup.size() || !commands.flush()) {
        stopProgram();
        return m_error = tr("The commands for s51 cannot be written.");
    }
    commands.close();
    // The banner ends with the first prompt. The firmware, checked above, is loaded through the
    // console; s51 reports the load only on its own output, which it holds back in its buffers.
    static const QRegularExpression setUp(QStringLiteral("Break on events (\\w+)[^\\x00]*\\x00"));
    std::optional<QString> answer;
    if (!converse(QByteArray(), prompt) || !converse("file \"firmware.hex\"\n", prompt)
        || !(answer = converse("exec \"setup.cmd\"\n", setUp))) {
        stopProgram();
        return m_error;
    }
    if (setUp.match(*answer).captured(1) != QLatin1String("enabled")) {
        stopProgram();
        return m_error = tr("s51 cannot record the firmware's pins.");
    }
    for (int port = 0; port < 4; ++port) {
        for (int bit = 0; bit < 8; ++bit)
            m_pins.append(QStringLiteral("P%1.%2").arg(port).arg(bit));
    }
    m_loaded = true;
    if (!readPorts())
        return m_error;
    readChanges();
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

void UcsimEngine::readChanges()
{
    if (!m_changes.isOpen() && !m_changes.open(QIODevice::ReadOnly))
        return;
    m_pendingChanges += m_changes.readAll();
    const std::uint64_t resetNs = clocksToNs(m_resetClocks);
    int end;
    while ((end = m_pendingChanges.indexOf('\n')) >= 0) {
        const QByteArray line = m_pendingChanges.left(end).trimmed();
        m_pendingChanges.remove(0, end + 1);
        if (line.startsWith('#')) {
            m_changePs = line.mid(1).toULongLong();
            continue;
        }
        // "b01010101 !" or, for a bit, "1!": a value and the cell it belongs to.
        QByteArray bits;
        char id = 0;
        if (line.startsWith('b') && line.indexOf(' ') > 1 && line.indexOf(' ') + 2 == line.size()) {
            bits = line.mid(1, line.indexOf(' ') - 1);
            id = line.back();
        } else if (line.size() == 2 && (line.front() == '0' || line.front() == '1')) {
            bits = line.left(1);
            id = line.back();
        } else {
            continue;
        }
        const int index = id - '!';
        bool ok = false;
        const unsigned value = bits.toUInt(&ok, 2);
        if (!ok || index < 0 || index >= recordedCells().size() || m_ended)
            continue;
        const RecordedCell &cell = recordedCells().at(index);
        const std::uint64_t when = resetNs + (m_changePs + 500) / 1000;
        switch (cell.kind) {
        case RecordedCell::Port:
            for (int bit = 0; bit < 8; ++bit)
                setLevel(QStringLiteral("P%1.%2").arg(cell.port).arg(bit), (value >> bit) & 1, when);
            break;
        case RecordedCell::PortBit:
            setLevel(QStringLiteral("P%1.%2").arg(cell.port).arg(cell.bit), value & 1, when);
            break;
        case RecordedCell::PowerControl:
            // Idle or power down chosen with the interrupts off: nothing wakes the controller.
            // (s51 does not end an idle on an interrupt, so a bit already set is no choice.)
            if ((value & ~m_pcon & 0x03) && !(m_ie & 0x80)) {
                m_ended = true;
                m_endNs = when;
            }
            m_pcon = value;
            break;
        case RecordedCell::InterruptEnables:
            m_ie = value;
            break;
        case RecordedCell::InterruptsOn:
            m_ie = value ? (m_ie | 0x80) : (m_ie & 0x7f);
            break;
        }
    }
}

void UcsimEngine::readSerial()
{
    const QByteArray bytes = m_serial.readAll();
    if (serialOutput) {
        for (const char byte : bytes)
            serialOutput(0, byte);
    }
}

std::uint64_t UcsimEngine::clocksToNs(std::uint64_t clocks) const
{
    return std::uint64_t((long double) clocks * 1e9L / m_clockHz + 0.5L);
}

bool UcsimEngine::runUntil(std::uint64_t untilNs)
{
    if (!m_loaded)
        return false;
    if (!m_running) {
        // The first clock at or after the time asked for.
        std::uint64_t target = std::uint64_t(std::ceil((long double) untilNs * m_clockHz / 1e9L));
        if (m_clocks >= target)
            return true;
        if (m_runsSinceTyped >= 0 && ++m_runsSinceTyped > 2
            && (m_runsSinceTyped > 50 || (m_serial.unreadByTerminal() == 0 && receiverTaken())))
            m_runsSinceTyped = -1;
        const bool bytesWait = !m_typed.isEmpty() || m_runsSinceTyped >= 0;
        if (bytesWait != m_checkSerialOften) {
            if (!converse(bytesWait ? "set memory uart_0_cfg 1 1\n" : "set memory uart_0_cfg 1 0\n",
                          prompt))
                return false;
            m_checkSerialOften = bytesWait;
        }
        // Typed bytes reach s51 only once it looks for them often (bytes it finds while it
        // looks seldom overrun one another), and one at a time.
        if (!m_typed.isEmpty() && m_runsSinceTyped < 0) {
            m_serial.write(m_typed.left(1));
            m_typed.remove(0, 1);
            m_runsSinceTyped = 0;
        }
        // While bytes wait, a run ends after a millisecond, to give s51 the next one soon.
        if (m_checkSerialOften)
            target = std::min(target, m_clocks + std::uint64_t(m_clockHz / 1000) + 1);
        // The run's end, counted from its start in picoseconds, as a change of a cell in a
        // file that s51 plays back, stopping at it.
        const std::uint64_t endPs = std::uint64_t(
            std::ceil((long double) (target - m_clocks) * 1e12L / m_clockHz));
        QFile end(m_work.filePath(QStringLiteral("end.vcd")));
        if (!end.open(QIODevice::WriteOnly | QIODevice::Truncate)
            || end.write("$timescale 1ps $end\n$scope module vexa $end\n"
                         "$var wire 1 ! vexa_end $end\n$upscope $end\n$enddefinitions $end\n#"
                         + QByteArray::number(qulonglong(endPs)) + "\n1!\n")
                   < 0) {
            m_error = tr("The end of the run cannot be written for s51.");
            return false;
        }
        end.close();
        if (m_outsideChanged) {
            QByteArray ports;
            for (int port = 0; port < 4; ++port)
                ports += "set hw port[" + QByteArray::number(port) + "] "
                         + QByteArray::number(m_outside[port]) + "\n";
            static const QRegularExpression fourAnswers(QStringLiteral("(?:[^\\x00]*\\x00){4}"));
            if (!converse(ports, fourAnswers))
                return false;
            m_outsideChanged = false;
        }
        // One piece, so that s51 reads it whole.
        m_console->write("set hw vcd[1] stop\nset hw vcd[1] input \"end.vcd\"\n"
                         "set hw vcd[1] start\nrun\n");
        m_running = true;
        m_debugStop = false;
        m_runOutput.clear();
    }
    if (!waitFor(stopped, 2, m_runOutput)) {
        if (m_process.state() != QProcess::Running) {
            m_error = tr("The simulation engine s51 has stopped.");
            m_running = m_loaded = false;
            return false;
        }
        return true;
    }
    return completeRun();
}

bool UcsimEngine::completeRun()
{
    static const QRegularExpression ticks(QStringLiteral("Simulated (\\d+) ticks"));
    static const QRegularExpression invalid(
        QStringLiteral("Stop at 0x([0-9a-fA-F]+): \\(\\d+\\) Invalid instruction"));
    m_running = false;
    const QRegularExpressionMatch m = ticks.match(m_runOutput);
    if (!m.hasMatch()) {
        m_error = tr("s51 did not report its time.");
        return false;
    }
    m_clocks += m.captured(1).toULongLong();
    m_timeNs = std::max(m_timeNs, clocksToNs(m_clocks));
    readChanges();
    readSerial();
    static const QRegularExpression stopPlace(
        QStringLiteral("Stop at 0x([0-9a-fA-F]+): \\((\\d+)\\)"));
    if (const QRegularExpressionMatch place = stopPlace.match(m_runOutput); place.hasMatch()) {
        m_pc = place.captured(1).toUInt(nullptr, 16);
        // 104: a fetch breakpoint.
        m_debugStop = place.captured(2) == QLatin1String("104") && m_breaks.contains(m_pc);
    }
    if (m_ended) {
        m_error = tr("The firmware stopped the controller (idle or power down with interrupts "
                     "off).");
        m_firmwareEnded = true;
        m_timeNs = m_endNs;
        m_loaded = false;
        return false;
    }
    if (const QRegularExpressionMatch bad = invalid.match(m_runOutput); bad.hasMatch()) {
        m_error = tr("The firmware ran into an invalid instruction at program address 0x%1.")
                      .arg(bad.captured(1).right(4));
        return false;
    }
    return true;
}

void UcsimEngine::setInput(const QString &pin, bool level)
{
    static const QRegularExpression name(QStringLiteral("^P([0-3])\\.([0-7])$"));
    const QRegularExpressionMatch m = name.match(pin);
    if (!m.hasMatch())
        return;
    unsigned char &port = m_outside[m.captured(1).toInt()];
    const unsigned char bit = 1 << m.captured(2).toInt();
    port = level ? (port | bit) : (port & ~bit);
    // s51 is told before the next run: a command during a run would stop it.
    m_outsideChanged = true;
}

bool UcsimEngine::receiverTaken()
{
    static const QRegularExpression done(QStringLiteral("SCON:[^\\x00]*\\x00"));
    const std::optional<QString> answer = converse("get sfr 0x98\n", done);
    static const QRegularExpression scon(QStringLiteral("SCON:\\s+0b[01]+ 0x([0-9a-fA-F]{2})"));
    const QRegularExpressionMatch m = scon.match(answer.value_or(QString()));
    // Without an answer the bytes go on rather than wait for ever.
    return !m.hasMatch() || !(m.captured(1).toUInt(nullptr, 16) & 1);
}

void UcsimEngine::sendSerial(int port, char byte)
{
    if (port == 0 && m_loaded)
        m_typed.append(byte);
}

void UcsimEngine::reset()
{
    if (!m_loaded)
        return;
    halt();
    if (converse("reset\n", prompt)) {
        m_pc = 0; // the reset vector
        readChanges();
        m_resetClocks = m_clocks; // s51 counts its time again from its reset
        m_changePs = 0;
        readPorts();
    }
}

void UcsimEngine::halt()
{
    if (!m_running)
        return;
    m_console->write("stop\n");
    if (waitFor(stopped, 10000, m_runOutput))
        completeRun();
    m_running = false;
}

void UcsimEngine::setCodeBreakpoints(const QSet<std::uint32_t> &addresses)
{
    if (!m_loaded || addresses == m_breaks)
        return;
    halt();
    if (addresses.isEmpty()) {
        if (converse("delete\n", prompt))
            m_breaks.clear();
        return;
    }
    // All at once, from a file: the console loses lines of a long piece. The answer is done
    // with the last breakpoint's.
    QList<std::uint32_t> sorted(addresses.cbegin(), addresses.cend());
    std::sort(sorted.begin(), sorted.end());
    QByteArray commands = "delete\n";
    for (const std::uint32_t address : std::as_const(sorted))
        commands += "break 0x" + QByteArray::number(address, 16) + "\n";
    QFile file(m_work.filePath(QStringLiteral("breaks.cmd")));
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate)
        || file.write(commands) != commands.size() || !file.flush())
        return;
    file.close();
    const QRegularExpression last(
        QStringLiteral("Breakpoint \\d+ at 0x0*%1:[^\\x00]*\\x00").arg(sorted.last(), 0, 16));
    if (converse("exec \"breaks.cmd\"\n", last))
        m_breaks = addresses;
}

bool UcsimEngine::stepInstruction()
{
    if (!m_loaded)
        return false;
    halt();
    m_debugStop = false;
    static const QRegularExpression stepped(
        QStringLiteral("Stop at 0x([0-9a-fA-F]+):[^\\n]*stepped (\\d+) ticks[^\\x00]*\\x00"));
    const std::optional<QString> answer = converse("step\n", stepped);
    if (!answer)
        return false;
    const QRegularExpressionMatch m = stepped.match(*answer);
    m_pc = m.captured(1).toUInt(nullptr, 16);
    m_clocks += m.captured(2).toULongLong();
    m_timeNs = std::max(m_timeNs, clocksToNs(m_clocks));
    readChanges();
    readSerial();
    return true;
}

QByteArray UcsimEngine::readMemory(std::uint32_t address, std::uint32_t length) const
{
    const bool sfr = address >= sfrBase;
    const bool external = !sfr && address >= externalBase;
    const std::uint32_t start = address - (sfr ? sfrBase : external ? externalBase : 0);
    if (!m_loaded || length == 0 || length > 0x1000 || (sfr && start < 0x80)
        || std::uint64_t(start) + length > (external ? 0x10000u : 0x100u))
        return {};
    auto *self = const_cast<UcsimEngine *>(this);
    self->halt();
    const std::optional<QString> answer
        = self->converse(QByteArrayLiteral("dump ")
                             + (sfr        ? "sfr"
                                : external ? "xram"
                                           : "iram")
                             + " 0x" + QByteArray::number(start, 16) + " 0x"
                             + QByteArray::number(start + length - 1, 16) + "\n",
                         prompt);
    if (!answer)
        return {};
    // Rows of an address and the bytes from it, then the bytes as text; a named register on a
    // row of its own, with its value in binary, then in hex.
    static const QRegularExpression row(
        QStringLiteral("(?:^|\\n)0x([0-9a-fA-F]+)(?: \\w+:\\s+0b[01]+ 0x([0-9a-fA-F]{2})|\\s+((?:["
                       "0-9a-fA-F]{2} )*[0-9a-fA-F]{2}))"));
    QByteArray bytes(int(length), '\0');
    std::uint32_t filled = 0;
    for (auto it = row.globalMatch(*answer); it.hasNext();) {
        const QRegularExpressionMatch match = it.next();
        std::uint32_t at = match.captured(1).toUInt(nullptr, 16);
        const QString cells = match.captured(2).isEmpty() ? match.captured(3) : match.captured(2);
        for (const QString &cell : cells.split(QLatin1Char(' '), Qt::SkipEmptyParts)) {
            if (at >= start && at < start + length) {
                bytes[int(at - start)] = char(cell.toUInt(nullptr, 16));
                ++filled;
            }
            ++at;
        }
    }
    return filled == length ? bytes : QByteArray();
}

QList<std::pair<QString, std::uint32_t>> UcsimEngine::cpuRegisters() const
{
    auto *self = const_cast<UcsimEngine *>(this);
    self->halt();
    // The data pointer's halves come without their names.
    static const QRegularExpression done(QStringLiteral("\\n0x83[^\\x00]*\\x00"));
    const std::optional<QString> answer = self->converse("get sfr 0xe0 0xf0 0xd0 0x81 0x82 0x83\n",
                                                         done);
    if (!answer)
        return {};
    QList<std::pair<QString, std::uint32_t>> registers;
    static const QRegularExpression sfr(
        QStringLiteral("0x[0-9a-fA-F]{2} (\\w+):\\s+0b[01]+ 0x([0-9a-fA-F]{2})"));
    std::uint32_t psw = 0;
    for (auto it = sfr.globalMatch(*answer); it.hasNext();) {
        const QRegularExpressionMatch match = it.next();
        const std::uint32_t value = match.captured(2).toUInt(nullptr, 16);
        registers.append({match.captured(1), value});
        if (match.captured(1) == QLatin1String("PSW"))
            psw = value;
    }
    static const QRegularExpression pointer(
        QStringLiteral("\\n0x8([23])\\s+(?:0b[01]+ 0x)?([0-9a-fA-F]{2})"));
    for (auto it = pointer.globalMatch(*answer); it.hasNext();) {
        const QRegularExpressionMatch match = it.next();
        registers.append({match.captured(1) == QLatin1String("2") ? QStringLiteral("DPL")
                                                                  : QStringLiteral("DPH"),
                          match.captured(2).toUInt(nullptr, 16)});
    }
    // R0 to R7 of the bank PSW selects.
    const QByteArray bank = readMemory((psw >> 3 & 3) * 8, 8);
    for (int r = 0; r < bank.size(); ++r)
        registers.append({QStringLiteral("R%1").arg(r), std::uint8_t(bank.at(r))});
    registers.append({QStringLiteral("PC"), m_pc});
    return registers;
}
