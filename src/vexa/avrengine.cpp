#include "avrengine.h"

#include "firmware/hexfile.h"

#include <QCoreApplication>
#include <QFileInfo>

#include <algorithm>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>

extern "C" {
#include <simavr/avr_acomp.h>
#include <simavr/avr_adc.h>
#include <simavr/avr_eeprom.h>
#include <simavr/avr_ioport.h>
#include <simavr/avr_uart.h>
#include <simavr/sim_avr.h>
#include <simavr/sim_core.h>
#include <simavr/sim_io.h>
}

static QString tr(const char *text)
{
    return QCoreApplication::translate("AvrEngine", text);
}

// The engine's own messages are of no use to the user; the states they lead to are reported.
static void quietLogger(avr_t *, const int, const char *, va_list) {}

// Where the compiler's tools put the EEPROM's contents in a firmware file.
static constexpr std::uint32_t eepromBase = 0x810000;

// Time is paced by the runner, not by the engine sleeping.
static void noSleep(avr_t *, avr_cycle_count_t) {}

// A timer event that does nothing but end a leap through sleep.
static avr_cycle_count_t wakeAtTarget(avr_t *, avr_cycle_count_t, void *)
{
    return 0;
}

AvrEngine::AvrEngine()
{
    avr_global_logger_set(quietLogger);
}

AvrEngine::~AvrEngine()
{
    unload();
}

void AvrEngine::unload()
{
    if (m_avr) {
        avr_terminate(m_avr);
        std::free(m_avr);
        m_avr = nullptr;
    }
    qDeleteAll(m_hooks);
    m_hooks.clear();
    qDeleteAll(m_uartHooks);
    m_uartHooks.clear();
    m_uarts.clear();
    m_drivenPins.clear();
}

QString AvrEngine::load(const QString &hexFile, const QString &device, double clockHz)
{
    unload();
    m_breakAt.clear();
    m_hasBreakpoints = false;
    m_rangeActive = false;
    m_error.clear();
    m_firmwareEnded = false;
    HexImage image = HexImage::read(hexFile);
    if (!image.error.isEmpty())
        return m_error = image.error;
    // The EEPROM's start values: kept in the firmware file above the flash (where the
    // compiler's tools place them), or in the EEPROM image the build writes beside it.
    HexImage eeprom;
    for (auto chunk = image.chunks.begin(); chunk != image.chunks.end();) {
        if (chunk->address < eepromBase) {
            ++chunk;
            continue;
        }
        eeprom.chunks.append({chunk->address - eepromBase, chunk->data});
        chunk = image.chunks.erase(chunk);
    }
    const QFileInfo firmware(hexFile);
    const QString eepFile = firmware.path() + QLatin1Char('/') + firmware.completeBaseName()
                            + QStringLiteral(".eep");
    if (eeprom.chunks.isEmpty() && QFileInfo::exists(eepFile)) {
        eeprom = HexImage::read(eepFile);
        if (!eeprom.error.isEmpty())
            return m_error = eeprom.error;
    }
    if (clockHz <= 0)
        return m_error = tr("The clock is not a frequency.");
    avr_t *avr = avr_make_mcu_by_name(device.toLower().toLatin1().constData());
    if (!avr)
        return m_error = tr("The AVR engine has no model of the controller %1.").arg(device);
    avr_init(avr);
    avr->frequency = std::uint32_t(clockHz);
    avr->sleep = noSleep;
    // A 5 V supply, the ADC's references tied to it.
    avr->vcc = avr->avcc = avr->aref = 5000;
    // Loading code beyond the flash would end the whole program: it is checked first.
    const std::uint32_t flashSize = avr->flashend + 1;
    if (image.endAddress() > flashSize) {
        avr_terminate(avr);
        std::free(avr);
        return m_error = tr("The firmware (%1 bytes) does not fit the %2 bytes of flash of the %3.")
                             .arg(image.endAddress())
                             .arg(flashSize)
                             .arg(device);
    }
    const std::uint32_t eepromSize = avr->e2end + 1;
    if (eeprom.endAddress() > eepromSize) {
        avr_terminate(avr);
        std::free(avr);
        return m_error = tr("The EEPROM contents (%1 bytes) do not fit the %2 bytes of EEPROM of "
                            "the %3.")
                             .arg(eeprom.endAddress())
                             .arg(eepromSize)
                             .arg(device);
    }
    for (const HexChunk &chunk : std::as_const(eeprom.chunks)) {
        avr_eeprom_desc_t contents{reinterpret_cast<std::uint8_t *>(
                                       const_cast<char *>(chunk.data.constData())),
                                   std::uint16_t(chunk.address),
                                   std::uint32_t(chunk.data.size())};
        avr_ioctl(avr, AVR_IOCTL_EEPROM_SET, &contents);
    }
    for (const HexChunk &chunk : image.chunks) {
        avr_loadcode(avr,
                     reinterpret_cast<std::uint8_t *>(const_cast<char *>(chunk.data.constData())),
                     std::uint32_t(chunk.data.size()),
                     chunk.address);
    }
    m_avr = avr;
    for (char port = 'A'; port <= 'L'; ++port) {
        for (int bit = 0; bit < 8; ++bit) {
            avr_irq_t *irq = avr_io_getirq(avr, AVR_IOCTL_IOPORT_GETIRQ(port), bit);
            if (!irq)
                break;
            auto *hook = new PinHook{this,
                                     QStringLiteral("P%1%2").arg(QChar(port)).arg(bit),
                                     port,
                                     bit};
            m_hooks.append(hook);
            avr_irq_register_notify(irq, pinNotify, hook);
        }
    }
    for (char uart = '0'; uart <= '3'; ++uart) {
        std::uint32_t flags = 0;
        if (avr_ioctl(avr, AVR_IOCTL_UART_GET_FLAGS(uart), &flags) != 0)
            continue;
        flags &= ~std::uint32_t(AVR_UART_FLAG_POLL_SLEEP | AVR_UART_FLAG_STDIO);
        avr_ioctl(avr, AVR_IOCTL_UART_SET_FLAGS(uart), &flags);
        auto *hook = new UartHook{this, int(m_uarts.size())};
        m_uartHooks.append(hook);
        m_uarts.append(uart);
        avr_irq_register_notify(avr_io_getirq(avr, AVR_IOCTL_UART_GETIRQ(uart), UART_IRQ_OUTPUT),
                                uartNotify,
                                hook);
    }
    publishLevels();
    return QString();
}

QStringList AvrEngine::pins() const
{
    QStringList names;
    for (const PinHook *hook : m_hooks)
        names.append(hook->name);
    return names;
}

void AvrEngine::pinNotify(avr_irq_t *, std::uint32_t value, void *param)
{
    auto *hook = static_cast<PinHook *>(param);
    if (hook->engine->pinChanged)
        hook->engine->pinChanged(hook->name, value != 0, hook->engine->timeNs());
}

QStringList AvrEngine::analogInputs() const
{
    QStringList inputs;
    if (!m_avr)
        return inputs;
    if (avr_io_getirq(m_avr, AVR_IOCTL_ADC_GETIRQ, ADC_IRQ_ADC0)) {
        for (int channel = 0; channel < 8; ++channel)
            inputs.append(QStringLiteral("ADC%1").arg(channel));
    }
    // The analog comparator's own inputs (it may compare with an ADC channel too).
    if (avr_io_getirq(m_avr, AVR_IOCTL_ACOMP_GETIRQ, ACOMP_IRQ_AIN0))
        inputs << QStringLiteral("AIN0") << QStringLiteral("AIN1");
    return inputs;
}

void AvrEngine::setAnalogInput(const QString &input, double volts)
{
    const int index = analogInputs().indexOf(input);
    if (index < 0)
        return;
    // Millivolts, as libsimavr takes them.
    const std::uint32_t millivolts = std::uint32_t(std::clamp(volts, 0.0, 5.0) * 1000.0 + 0.5);
    if (input.startsWith(QLatin1String("AIN"))) {
        avr_raise_irq(avr_io_getirq(m_avr,
                                    AVR_IOCTL_ACOMP_GETIRQ,
                                    ACOMP_IRQ_AIN0 + input.mid(3).toInt()),
                      millivolts);
        return;
    }
    const int channel = input.mid(3).toInt();
    avr_raise_irq(avr_io_getirq(m_avr, AVR_IOCTL_ADC_GETIRQ, ADC_IRQ_ADC0 + channel), millivolts);
    if (avr_irq_t *comparator = avr_io_getirq(m_avr,
                                              AVR_IOCTL_ACOMP_GETIRQ,
                                              ACOMP_IRQ_ADC0 + channel))
        avr_raise_irq(comparator, millivolts);
}

QStringList AvrEngine::serialPorts() const
{
    QStringList names;
    for (const char uart : m_uarts)
        names.append(QStringLiteral("UART") + QLatin1Char(uart));
    return names;
}

void AvrEngine::uartNotify(avr_irq_t *, std::uint32_t value, void *param)
{
    const auto *hook = static_cast<UartHook *>(param);
    if (hook->engine->serialOutput)
        hook->engine->serialOutput(hook->port, char(value));
}

// The levels of every pin as they are now: after a load or a reset the pins' own reports
// would keep what they showed before.
void AvrEngine::publishLevels()
{
    if (!m_avr || !pinChanged)
        return;
    for (const PinHook *hook : m_hooks) {
        avr_ioport_state_t state{};
        if (avr_ioctl(m_avr, AVR_IOCTL_IOPORT_GETSTATE(hook->port), &state) != 0)
            continue;
        const bool output = (state.ddr >> hook->bit) & 1;
        const bool level = ((output ? state.port : state.pin) >> hook->bit) & 1;
        pinChanged(hook->name, level, timeNs());
    }
}

std::uint64_t AvrEngine::timeNs() const
{
    if (!m_avr || m_avr->frequency == 0)
        return 0;
    const std::uint64_t cycles = m_avr->cycle;
    return std::uint64_t((long double) cycles * 1e9L / m_avr->frequency + 0.5L);
}

bool AvrEngine::runUntil(std::uint64_t untilNs)
{
    if (!m_avr)
        return false;
    // The first cycle at or after the time asked for.
    const std::uint64_t target = std::uint64_t(
        std::ceil((long double) untilNs * m_avr->frequency / 1e9L));
    if (m_avr->cycle >= target)
        return true;
    // A sleeping controller leaps to its next timer event: one at the target keeps it from
    // leaping past.
    avr_cycle_timer_register(m_avr, target - m_avr->cycle, wakeAtTarget, nullptr);
    m_debugStop = false;
    const bool debugStops = m_hasBreakpoints || m_rangeActive;
    while (m_avr->cycle < target) {
        const int state = avr_run(m_avr);
        if (state == cpu_Running || state == cpu_Sleeping) {
            if (debugStops && isDebugStop(m_avr->pc)) {
                m_debugStop = true;
                break;
            }
            continue;
        }
        noteStopState(state);
        avr_cycle_timer_cancel(m_avr, wakeAtTarget, nullptr);
        return false;
    }
    avr_cycle_timer_cancel(m_avr, wakeAtTarget, nullptr);
    return true;
}

void AvrEngine::noteStopState(int state)
{
    if (state == cpu_Crashed) {
        m_error = tr("The firmware crashed the controller at program address 0x%1.")
                      .arg(m_avr->pc, 4, 16, QLatin1Char('0'));
    } else if (state == cpu_Done) {
        m_error = tr("The firmware stopped the controller (sleep with interrupts off).");
        m_firmwareEnded = true;
    } else {
        m_error = tr("The controller stopped.");
    }
}

void AvrEngine::setCodeBreakpoints(const QSet<std::uint32_t> &addresses)
{
    m_breakAt.assign(m_avr ? (m_avr->flashend + 1) / 2 : 0, false);
    m_hasBreakpoints = false;
    for (const std::uint32_t address : addresses) {
        if (address / 2 < m_breakAt.size()) {
            m_breakAt[address / 2] = true;
            m_hasBreakpoints = true;
        }
    }
}

void AvrEngine::setStepRange(std::uint32_t rangeStart, std::uint32_t rangeEnd)
{
    m_rangeActive = true;
    m_rangeStart = rangeStart;
    m_rangeEnd = rangeEnd;
}

void AvrEngine::clearStepRange()
{
    m_rangeActive = false;
}

bool AvrEngine::stepInstruction()
{
    if (!m_avr)
        return false;
    m_debugStop = false;
    const int state = avr_run(m_avr);
    if (state == cpu_Running || state == cpu_Sleeping)
        return true;
    noteStopState(state);
    return false;
}

std::uint32_t AvrEngine::programCounter() const
{
    return m_avr ? m_avr->pc : 0;
}

QByteArray AvrEngine::registerBlock() const
{
    if (!m_avr)
        return {};
    QByteArray block(reinterpret_cast<const char *>(m_avr->data), 32);
    std::uint8_t sreg = 0;
    READ_SREG_INTO(m_avr, sreg);
    block.append(char(sreg));
    block.append(char(m_avr->data[R_SPL]));
    block.append(char(m_avr->data[R_SPH]));
    for (int shift = 0; shift < 32; shift += 8)
        block.append(char((m_avr->pc >> shift) & 0xff));
    return block;
}

bool AvrEngine::setRegisterBlock(const QByteArray &block)
{
    if (!m_avr || block.size() != 39)
        return false;
    const auto *bytes = reinterpret_cast<const std::uint8_t *>(block.constData());
    std::copy(bytes, bytes + 32, m_avr->data);
    SET_SREG_FROM(m_avr, bytes[32]);
    m_avr->data[R_SPL] = bytes[33];
    m_avr->data[R_SPH] = bytes[34];
    const std::uint32_t pc = bytes[35] | (bytes[36] << 8) | (bytes[37] << 16)
                             | (std::uint32_t(bytes[38]) << 24);
    if (pc > m_avr->flashend)
        return false;
    m_avr->pc = pc;
    return true;
}

namespace {
constexpr std::uint32_t dataBase = 0x800000;
} // namespace

QByteArray AvrEngine::readMemory(std::uint32_t address, std::uint32_t length) const
{
    if (!m_avr || length > 0x10000)
        return {};
    if (address < dataBase) {
        if (std::uint64_t(address) + length > std::uint64_t(m_avr->flashend) + 1)
            return {};
        return QByteArray(reinterpret_cast<const char *>(m_avr->flash + address), length);
    }
    if (address < eepromBase) {
        const std::uint32_t offset = address - dataBase;
        if (std::uint64_t(offset) + length > std::uint64_t(m_avr->ramend) + 1)
            return {};
        QByteArray bytes(reinterpret_cast<const char *>(m_avr->data + offset), length);
        // The status register lives in its flags while the controller runs.
        if (offset <= R_SREG && R_SREG < offset + length) {
            std::uint8_t sreg = 0;
            READ_SREG_INTO(m_avr, sreg);
            bytes[R_SREG - offset] = char(sreg);
        }
        return bytes;
    }
    const std::uint32_t offset = address - eepromBase;
    if (length == 0 || std::uint64_t(offset) + length > std::uint64_t(m_avr->e2end) + 1)
        return {};
    QByteArray bytes(int(length), '\0');
    avr_eeprom_desc_t eeprom{reinterpret_cast<std::uint8_t *>(bytes.data()),
                             std::uint16_t(offset),
                             length};
    if (avr_ioctl(m_avr, AVR_IOCTL_EEPROM_GET, &eeprom) != 0)
        return {};
    return bytes;
}

bool AvrEngine::writeMemory(std::uint32_t address, const QByteArray &bytes)
{
    const auto length = std::uint32_t(bytes.size());
    if (readMemory(address, length).size() != bytes.size())
        return false;
    const auto *data = reinterpret_cast<const std::uint8_t *>(bytes.constData());
    if (address < dataBase) {
        std::copy(data, data + length, m_avr->flash + address);
    } else if (address < eepromBase) {
        const std::uint32_t offset = address - dataBase;
        std::copy(data, data + length, m_avr->data + offset);
        if (offset <= R_SREG && R_SREG < offset + length)
            SET_SREG_FROM(m_avr, data[R_SREG - offset]);
    } else {
        avr_eeprom_desc_t eeprom{const_cast<std::uint8_t *>(data),
                                 std::uint16_t(address - eepromBase),
                                 length};
        avr_ioctl(m_avr, AVR_IOCTL_EEPROM_SET, &eeprom);
    }
    return true;
}

void AvrEngine::reset()
{
    if (!m_avr)
        return;
    avr_reset(m_avr);
    // The reset clears the port registers but not what the pins' inputs last passed on, which
    // would keep the same level from reaching them again.
    for (const PinHook *hook : std::as_const(m_hooks)) {
        const auto driven = m_drivenPins.constFind(hook->name);
        if (driven == m_drivenPins.cend())
            continue;
        avr_irq_t *irq = avr_io_getirq(m_avr, AVR_IOCTL_IOPORT_GETIRQ(hook->port), hook->bit);
        irq->value = *driven ? 0 : 1;
        avr_raise_irq(irq, *driven ? 1 : 0);
    }
    publishLevels();
}

void AvrEngine::setInput(const QString &pin, bool level)
{
    m_drivenPins.insert(pin, level);
    for (const PinHook *hook : std::as_const(m_hooks)) {
        if (hook->name == pin && m_avr)
            avr_raise_irq(avr_io_getirq(m_avr, AVR_IOCTL_IOPORT_GETIRQ(hook->port), hook->bit),
                          level ? 1 : 0);
    }
}

void AvrEngine::sendSerial(int port, char byte)
{
    if (m_avr && port >= 0 && port < m_uarts.size())
        avr_raise_irq(avr_io_getirq(m_avr, AVR_IOCTL_UART_GETIRQ(m_uarts.at(port)), UART_IRQ_INPUT),
                      std::uint8_t(byte));
}
