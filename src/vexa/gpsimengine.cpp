#include "gpsimengine.h"

#include "firmware/hexfile.h"

#include <QCoreApplication>
#include <QHash>
#include <QRegularExpression>

#include <algorithm>
#include <cmath>

static QString tr(const char *text)
{
    return QCoreApplication::translate("GpsimEngine", text);
}

// The ports of the controllers this engine is offered for, and how many pins each has.
// The ports of the parts whose pins the engine shows, from bit 0 up; none for another part.
static QList<QPair<QString, int>> portsOf(const QString &device)
{
    static const QHash<QString, QList<QPair<QString, int>>> ports{
        {"PIC16F84", {{"A", 5}, {"B", 8}}},
        {"PIC16F84A", {{"A", 5}, {"B", 8}}},
        {"PIC16F628A", {{"A", 8}, {"B", 8}}},
        {"PIC16F648A", {{"A", 8}, {"B", 8}}},
        {"PIC16F88", {{"A", 8}, {"B", 8}}},
        {"PIC16F876A", {{"A", 6}, {"B", 8}, {"C", 8}}},
        {"PIC16F886", {{"A", 8}, {"B", 8}, {"C", 8}}},
        {"PIC16F877", {{"A", 6}, {"B", 8}, {"C", 8}, {"D", 8}, {"E", 3}}},
        {"PIC16F877A", {{"A", 6}, {"B", 8}, {"C", 8}, {"D", 8}, {"E", 3}}},
        {"PIC16F887", {{"A", 8}, {"B", 8}, {"C", 8}, {"D", 8}, {"E", 3}}},
    };
    return ports.value(device.toUpper());
}

// gpsim's name of the pin where the serial port of a part receives; none for a part without one.
static QString receivePinOf(const QString &device)
{
    const QString d = device.toUpper();
    if (d == QLatin1String("PIC16F628A") || d == QLatin1String("PIC16F648A"))
        return QStringLiteral("portb1");
    if (d == QLatin1String("PIC16F88"))
        return QStringLiteral("portb2");
    if (d.startsWith(QLatin1String("PIC16F87")) || d.startsWith(QLatin1String("PIC16F88")))
        return QStringLiteral("portc7");
    return QString();
}

// The analog inputs of a part (of its ADC and its comparators) and their pins.
static QMap<QString, QString> analogPinsOf(const QString &device)
{
    const QString d = device.toUpper();
    QMap<QString, QString> pins;
    const auto add = [&pins](const QStringList &list) {
        for (int i = 0; i < list.size(); ++i) {
            if (!list.at(i).isEmpty())
                pins.insert(QStringLiteral("AN%1").arg(i), list.at(i));
        }
    };
    const QStringList portA{"RA0", "RA1", "RA2", "RA3", "RA5"};
    const QStringList portE{"RE0", "RE1", "RE2"};
    const QStringList portB{"RB2", "RB3", "RB1", "RB4", "RB0", "RB5"}; // AN8 to AN13
    if (d == QLatin1String("PIC16F877A") || d == QLatin1String("PIC16F877"))
        add(portA + portE);
    else if (d == QLatin1String("PIC16F876A"))
        add(portA);
    else if (d == QLatin1String("PIC16F887"))
        add(portA + portE + portB);
    else if (d == QLatin1String("PIC16F886"))
        add(portA + QStringList{"", "", ""} + portB);
    else if (d == QLatin1String("PIC16F88"))
        add({"RA0", "RA1", "RA2", "RA3", "RA4", "RB6", "RB7"});
    else if (d == QLatin1String("PIC16F628A") || d == QLatin1String("PIC16F648A"))
        add({"RA0", "RA1", "RA2", "RA3"}); // the comparators' inputs
    return pins;
}

// gpsim's name of a pin: "portb0" for RB0.
static QByteArray gpsimPin(const QString &pin)
{
    return "port" + pin.mid(1, 1).toLower().toLatin1() + pin.mid(2).toLatin1();
}

static const QRegularExpression cyclesAnswer(QStringLiteral("(\\d+) = 0x[0-9A-Fa-f]+\\s"));

QString GpsimEngine::load(const QString &hexFile, const QString &device, double clockHz)
{
    stopProgram();
    m_error.clear();
    m_levels.clear();
    m_pins.clear();
    m_ports.clear();
    m_cycle = m_logCycle = m_timeNs = 0;
    m_pending.clear();
    m_receivePin.clear();
    m_sleeps.clear();
    m_watchdogOn = false;
    m_firmwareEnded = false;
    m_uartMade = false;
    m_uartBaud = 0;
    m_drivenPins.clear();
    m_analogPins.clear();
    m_debugBreaks.clear();
    m_pc = 0;
    m_dumpCycle.reset();
    const HexImage image = HexImage::read(hexFile);
    if (!image.error.isEmpty())
        return m_error = image.error;
    if (clockHz <= 0)
        return m_error = tr("The clock is not a frequency.");
    if (portsOf(device).isEmpty())
        return m_error = tr("The PIC16 engine has no model of the pins of the %1.").arg(device);
    m_clockHz = clockHz;
    // The engine is given a copy of its own: a name that starts with "-" or holds a line break
    // must not become an option or a console command.
    const QString firmware = privateCopy(hexFile);
    if (firmware.isEmpty())
        return m_error;
    QString processor = device.toLower();
    if (processor.startsWith(QLatin1String("pic")))
        processor = QLatin1Char('p') + processor.mid(3);
    // gpsim knows some parts only by the name of the one they revise (the PIC16F84A is a
    // PIC16F84 made smaller, with the same memory and instructions).
    if (processor == QLatin1String("p16f84a"))
        processor = QStringLiteral("p16f84");
    if (!startProgram(QStringLiteral("gpsim"),
                      {QStringLiteral("-i"),
                       QStringLiteral("-S"),
                       QStringLiteral("disable"),
                       QStringLiteral("-p"),
                       processor,
                       firmware}))
        return m_error;
    m_log.close();
    m_log.setFileName(m_work.filePath(QStringLiteral("writes.log")));
    QByteArray setup = "frequency " + QByteArray::number(qint64(clockHz)) + "\nlog on "
                       + m_log.fileName().toLocal8Bit() + "\n";
    for (const auto &[port, count] : portsOf(device)) {
        m_ports.append(QStringLiteral("port") + port.toLower());
        setup += "log w port" + port.toLower().toLatin1() + "\n";
        for (int bit = 0; bit < count; ++bit)
            m_pins.append(QStringLiteral("R%1%2").arg(port).arg(bit));
    }
    // The SLEEP instructions (0x0063) in program memory, and the watchdog's enable bit in the
    // configuration word at 0x2007 (bit 3 on the PIC16F88x, bit 2 on the others).
    const QString part = device.toUpper();
    const int watchdogBit = part.startsWith(QLatin1String("PIC16F88"))
                                    && part != QLatin1String("PIC16F88")
                                ? 3
                                : 2;
    m_watchdogOn = true;
    for (const HexChunk &chunk : image.chunks) {
        for (qsizetype i = chunk.address % 2; i + 1 < chunk.data.size(); i += 2) {
            const std::uint32_t word = std::uint8_t(chunk.data.at(i))
                                       | std::uint8_t(chunk.data.at(i + 1)) << 8;
            const std::uint32_t address = (chunk.address + std::uint32_t(i)) / 2;
            if (address < 0x2000 && word == 0x0063)
                m_sleeps.append(address);
            else if (address == 0x2007)
                m_watchdogOn = word & (1u << watchdogBit);
        }
    }
    m_hasPie2 = part.startsWith(QLatin1String("PIC16F87"))
                || part.startsWith(QLatin1String("PIC16F88"));
    for (const std::uint32_t address : std::as_const(m_sleeps))
        setup += "break e " + QByteArray::number(address) + "\n";
    setup += "log w txreg\nmodule library libgpsim_modules\ncycles\n";
    const std::optional<QString> answer = converse(setup, cyclesAnswer);
    if (!answer)
        return m_error;
    for (const char *marker : {"failed to open program file",
                               "does not contain processor",
                               "is not a valid processor",
                               "Colon missing",
                               "Checksum error",
                               "No cpu has been selected"}) {
        if (answer->contains(QLatin1String(marker))) {
            stopProgram();
            return m_error = tr("gpsim cannot load the firmware for the %1.").arg(device);
        }
    }
    m_loaded = true;
    m_receivePin = receivePinOf(device);
    m_analogPins = analogPinsOf(device);
    for (const QString &pin : std::as_const(m_pins))
        setLevel(pin, false, 0);
    return QString();
}

void GpsimEngine::setInput(const QString &pin, bool level)
{
    drivePin(pin, level ? 5.0 : 0.0);
}

void GpsimEngine::setAnalogInput(const QString &input, double volts)
{
    if (m_analogPins.contains(input))
        drivePin(m_analogPins.value(input), std::clamp(volts, 0.0, 5.0));
}

void GpsimEngine::drivePin(const QString &pin, double volts)
{
    if (!m_loaded || !m_pins.contains(pin))
        return;
    const QByteArray name = pin.toLatin1();
    m_dumpCycle.reset(); // the port reads the pin's new level
    QByteArray commands;
    if (!m_drivenPins.contains(pin)) {
        commands += "module load pullup in_" + name + "\nnode n_" + name + "\nattach n_" + name
                    + " " + gpsimPin(pin) + " in_" + name + ".pin\n";
        m_drivenPins.append(pin);
    }
    commands += "in_" + name + ".voltage = " + QByteArray::number(volts, 'f', 4) + "\ncycles\n";
    converse(commands, cyclesAnswer);
}

void GpsimEngine::sendSerial(int port, char byte)
{
    if (!m_loaded || port != 0 || m_receivePin.isEmpty())
        return;
    m_dumpCycle.reset();
    QByteArray commands;
    if (!m_uartMade) {
        commands += "module load usart vexa_uart\nnode n_uart\nattach n_uart "
                    + m_receivePin.toLatin1() + " vexa_uart.TXPIN\n";
        m_uartMade = true;
    }
    // The speed the firmware set: SPBRG (and SPBRGH with BRG16) divides the clock by 64, 16
    // or 4 times its value plus one.
    const std::optional<QString> registers = converse(commands
                                                          + "spbrg\ntxsta\nbaudctl\n"
                                                            "spbrgh\ncycles\n",
                                                      cyclesAnswer);
    if (!registers)
        return;
    const auto value = [&registers](const char *name) {
        const QRegularExpression re(
            QStringLiteral("%1 = 0x([0-9A-Fa-f]+)").arg(QLatin1String(name)));
        return registers->contains(re) ? re.match(*registers).captured(1).toUInt(nullptr, 16) : 0u;
    };
    const bool brgh = value("txsta") & 0x04;
    const bool brg16 = value("baudctl") & 0x08;
    const unsigned divisor = brg16 ? (value("spbrgh") << 8 | value("spbrg")) : value("spbrg");
    const double baud = m_clockHz
                        / ((brg16 ? (brgh ? 4 : 16) : (brgh ? 16 : 64)) * (divisor + 1.0));
    QByteArray send;
    if (baud != m_uartBaud) {
        send += "vexa_uart.txbaud = " + QByteArray::number(qRound(baud)) + "\n";
        m_uartBaud = baud;
    }
    send += "vexa_uart.tx = " + QByteArray::number(int((unsigned char) byte)) + "\ncycles\n";
    converse(send, cyclesAnswer);
}

std::uint64_t GpsimEngine::cyclesToNs(std::uint64_t cycles) const
{
    // One instruction cycle is four oscillator periods.
    return std::uint64_t((long double) cycles * 4e9L / m_clockHz + 0.5L);
}

bool GpsimEngine::runUntil(std::uint64_t untilNs)
{
    if (!m_loaded)
        return false;
    // The first instruction cycle at or after the time asked for.
    const std::uint64_t target = std::uint64_t(std::ceil((long double) untilNs * m_clockHz / 4e9L));
    if (target > m_cycle) {
        // The run stops one cycle past a cycle break, and a break at or before the present is
        // refused: the last cycle is a step.
        const QByteArray run = target > m_cycle + 1
                                   ? "break c " + QByteArray::number(target - 1) + "\nrun\n"
                                   : QByteArray("step 1\n");
        const std::optional<QString> answer = converse(run + "pc\ncycles\n", cyclesAnswer);
        if (!answer)
            return false;
        const QRegularExpressionMatch match = cyclesAnswer.match(*answer);
        m_cycle = match.captured(1).toULongLong();
        static const QRegularExpression pcAnswer(QStringLiteral("pc = 0x([0-9A-Fa-f]+)"));
        m_pc = pcAnswer.match(*answer).captured(1).toUInt(nullptr, 16);
        readLog();
        m_timeNs = std::max(m_timeNs, cyclesToNs(m_cycle));
        m_debugStop = false;
        if (answer->contains(QLatin1String("Hit a Breakpoint")) && m_debugBreaks.contains(m_pc)) {
            // The run's own cycle break stays set and ends a later run early, which goes on
            // from there. Cleared, it would go on all the same, unseen, and when its cycle
            // came it would take away the break that had its number by then (the one at a
            // call's return for a step over it).
            m_debugStop = true;
            return true;
        }
        if (answer->contains(QLatin1String("Hit a Breakpoint")) && !checkSleep())
            return false;
    }
    m_timeNs = std::max(m_timeNs, cyclesToNs(m_cycle));
    return true;
}

bool GpsimEngine::checkSleep()
{
    if (m_watchdogOn)
        return true;
    const std::optional<QString> answer = converse(QByteArray("reg(0x0b)\nreg(0x8c)\n")
                                                       + (m_hasPie2 ? "reg(0x8d)\n" : "")
                                                       + "cycles\n",
                                                   cyclesAnswer);
    if (!answer)
        return false;
    const auto value = [&answer](const char *address) {
        const QRegularExpression re(
            QStringLiteral("\\(\\$%1\\)\\] = \\$([0-9A-Fa-f]+)").arg(QLatin1String(address)));
        return re.match(*answer).captured(1).toUInt(nullptr, 16);
    };
    const unsigned intcon = value("0b");
    // What wakes a sleeping PIC16 besides the watchdog: an enabled external or port-change
    // interrupt, or an enabled peripheral one, whether or not interrupts are taken.
    const bool wakes = (intcon & 0x18)
                       || ((intcon & 0x40) && (value("8c") || (m_hasPie2 && value("8d"))));
    if (wakes)
        return true;
    m_error = tr("The firmware stopped the controller (sleep with nothing to wake it).");
    m_firmwareEnded = true;
    return false;
}

void GpsimEngine::readLog()
{
    if (!m_log.isOpen() && !m_log.open(QIODevice::ReadOnly))
        return;
    m_pending += m_log.readAll();
    static const QRegularExpression header(QStringLiteral("0x([0-9A-Fa-f]{16}) p"));
    static const QRegularExpression wrote(QStringLiteral("Wrote: 0x([0-9A-Fa-f]+) to (\\w+)\\("));
    int end;
    while ((end = m_pending.indexOf('\n')) >= 0) {
        const QString line = QString::fromLatin1(m_pending.left(end));
        m_pending.remove(0, end + 1);
        // A source-line prefix can stand before the cycle: the pattern is not anchored.
        if (const QRegularExpressionMatch h = header.match(line); h.hasMatch()) {
            m_logCycle = h.captured(1).toULongLong(nullptr, 16);
            continue;
        }
        const QRegularExpressionMatch w = wrote.match(line);
        if (!w.hasMatch())
            continue;
        const QString reg = w.captured(2).toLower();
        const unsigned value = w.captured(1).toUInt(nullptr, 16);
        const std::uint64_t when = cyclesToNs(m_logCycle);
        if (reg == QLatin1String("txreg")) {
            if (serialOutput)
                serialOutput(0, char(value));
        } else if (m_ports.contains(reg)) {
            const QString port = reg.mid(4).toUpper();
            for (int bit = 0; bit < 8; ++bit) {
                const QString pin = QStringLiteral("R%1%2").arg(port).arg(bit);
                if (m_pins.contains(pin))
                    setLevel(pin, (value >> bit) & 1, when);
            }
        }
    }
}

void GpsimEngine::reset()
{
    if (!m_loaded)
        return;
    m_dumpCycle.reset();
    if (converse("reset\ncycles\n", cyclesAnswer)) {
        m_pc = 0; // the reset vector
        readLog();
        for (const QString &pin : std::as_const(m_pins))
            setLevel(pin, false, m_timeNs);
    }
}

QList<std::pair<int, std::uint32_t>> GpsimEngine::executionBreaks()
{
    QList<std::pair<int, std::uint32_t>> found;
    const std::optional<QString> answer = converse("break\ncycles\n", cyclesAnswer);
    if (!answer)
        return found;
    // "0: p16f877a Execution at line_0004(0x4)".
    static const QRegularExpression row(
        QStringLiteral("(?:^|\\n)\\s*(\\d+): \\S+ Execution at [^\\n]*\\(0x([0-9A-Fa-f]+)\\)"));
    for (auto it = row.globalMatch(*answer); it.hasNext();) {
        const QRegularExpressionMatch match = it.next();
        found.append({match.captured(1).toInt(), match.captured(2).toUInt(nullptr, 16)});
    }
    return found;
}

void GpsimEngine::setCodeBreakpoints(const QSet<std::uint32_t> &addresses)
{
    if (!m_loaded || addresses == m_debugBreaks)
        return;
    QByteArray commands;
    QSet<std::uint32_t> present;
    for (const auto &[number, address] : executionBreaks()) {
        // The breaks at SLEEP instructions are the engine's own.
        if (m_sleeps.contains(address))
            continue;
        if (addresses.contains(address))
            present.insert(address);
        else
            commands += "clear " + QByteArray::number(number) + "\n";
    }
    for (const std::uint32_t address : addresses) {
        if (!present.contains(address) && !m_sleeps.contains(address))
            commands += "break e " + QByteArray::number(address) + "\n";
    }
    m_debugBreaks = addresses;
    if (!commands.isEmpty())
        converse(commands + "cycles\n", cyclesAnswer);
}

bool GpsimEngine::stepInstruction()
{
    if (!m_loaded)
        return false;
    m_debugStop = false;
    const std::optional<QString> answer = converse("step 1\npc\ncycles\n", cyclesAnswer);
    if (!answer)
        return false;
    m_cycle = cyclesAnswer.match(*answer).captured(1).toULongLong();
    static const QRegularExpression pcAnswer(QStringLiteral("pc = 0x([0-9A-Fa-f]+)"));
    m_pc = pcAnswer.match(*answer).captured(1).toUInt(nullptr, 16);
    readLog();
    m_timeNs = std::max(m_timeNs, cyclesToNs(m_cycle));
    return true;
}

QByteArray GpsimEngine::dumpRegisters(std::uint32_t *w) const
{
    // A stop's registers, its watched ones and its memory view come from one dump.
    if (m_dumpCycle == m_cycle) {
        if (w)
            *w = m_dumpW;
        return m_dump;
    }
    auto *self = const_cast<GpsimEngine *>(this);
    const std::optional<QString> answer = self->converse("dump r\ncycles\n", cyclesAnswer);
    if (!answer)
        return {};
    // Rows of sixteen registers, "--" where there is none; then the working register.
    static const QRegularExpression row(
        QStringLiteral("(?:^|\\n)([0-9a-fA-F]{4}):((?:\\s+(?:[0-9a-fA-F]{2}|--)){16})"));
    QByteArray registers;
    for (auto it = row.globalMatch(*answer); it.hasNext();) {
        const QRegularExpressionMatch match = it.next();
        const qsizetype at = qsizetype(match.captured(1).toUInt(nullptr, 16));
        if (registers.size() < at + 16)
            registers.resize(at + 16, '\0');
        const QStringList cells = match.captured(2).split(QLatin1Char(' '), Qt::SkipEmptyParts);
        for (int i = 0; i < cells.size(); ++i)
            registers[at + i] = char(cells.at(i).toUInt(nullptr, 16));
    }
    static const QRegularExpression working(QStringLiteral("\\bW\\s*=\\s*([0-9a-fA-F]+)"));
    m_dumpW = working.match(*answer).captured(1).toUInt(nullptr, 16);
    if (w)
        *w = m_dumpW;
    m_dump = registers;
    m_dumpCycle = m_cycle;
    return registers;
}

QByteArray GpsimEngine::readMemory(std::uint32_t address, std::uint32_t length) const
{
    const QByteArray registers = dumpRegisters(nullptr);
    if (length == 0 || std::uint64_t(address) + length > std::uint64_t(registers.size()))
        return {};
    return registers.mid(address, length);
}

QList<std::pair<QString, std::uint32_t>> GpsimEngine::cpuRegisters() const
{
    std::uint32_t w = 0;
    const QByteArray registers = dumpRegisters(&w);
    if (registers.size() < 0x0c)
        return {};
    const auto at = [&registers](int address) {
        return std::uint32_t(std::uint8_t(registers.at(address)));
    };
    return {{QStringLiteral("W"), w},
            {QStringLiteral("PC"), m_pc},
            {QStringLiteral("STATUS"), at(0x03)},
            {QStringLiteral("FSR"), at(0x04)},
            {QStringLiteral("PCLATH"), at(0x0a)},
            {QStringLiteral("INTCON"), at(0x0b)}};
}
