#include "firmwaresize.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSet>

#include <limits>

namespace {

struct ControllerMemory
{
    const char *name;
    qint64 program; // bytes; words for the PIC12 and PIC16 families
    qint64 data;    // bytes of RAM for variables
};

// From the data sheets; the test holds them against the compilers' own device files.
const ControllerMemory controllerTable[] = {
    {"ATmega328P", 32768, 2048},  {"ATmega328", 32768, 2048},   {"ATmega168", 16384, 1024},
    {"ATmega168P", 16384, 1024},  {"ATmega88", 8192, 1024},     {"ATmega48", 4096, 512},
    {"ATmega8", 8192, 1024},      {"ATmega16", 16384, 1024},    {"ATmega32", 32768, 2048},
    {"ATmega64", 65536, 4096},    {"ATmega128", 131072, 4096},  {"ATmega644P", 65536, 4096},
    {"ATmega1280", 131072, 8192}, {"ATmega2560", 262144, 8192}, {"ATmega32U4", 32768, 2560},
    {"ATtiny13", 1024, 64},       {"ATtiny13A", 1024, 64},      {"ATtiny25", 2048, 128},
    {"ATtiny45", 4096, 256},      {"ATtiny85", 8192, 512},      {"ATtiny84", 8192, 512},
    {"ATtiny2313", 2048, 128},

    {"PIC12F675", 1024, 64},      {"PIC12F629", 1024, 64},      {"PIC12F683", 2048, 128},
    {"PIC16F84A", 1024, 68},      {"PIC16F84", 1024, 68},       {"PIC16F628A", 2048, 224},
    {"PIC16F648A", 4096, 256},    {"PIC16F877A", 8192, 368},    {"PIC16F877", 8192, 368},
    {"PIC16F876A", 8192, 368},    {"PIC16F887", 8192, 368},     {"PIC16F886", 8192, 368},
    {"PIC16F88", 4096, 368},      {"PIC16F690", 4096, 256},     {"PIC16F1827", 4096, 384},
    {"PIC16F1938", 16384, 1024},  {"PIC18F452", 32768, 1536},   {"PIC18F4520", 32768, 1536},
    {"PIC18F4550", 32768, 2048},  {"PIC18F2550", 32768, 2048},  {"PIC18F25K22", 32768, 1536},
    {"PIC18F45K22", 32768, 1536},

    {"AT89C51", 4096, 128},       {"AT89C52", 8192, 256},       {"AT89S51", 4096, 128},
    {"AT89S52", 8192, 256},       {"AT89C2051", 2048, 128},     {"AT89C4051", 4096, 128},
    {"80C51", 4096, 128},         {"80C52", 8192, 256},         {"DS89C430", 16384, 256},
};

// The families whose program memory holds words, two bytes of the HEX file each.
bool wordAddressed(const QString &family)
{
    return family.compare(QLatin1String("PIC12"), Qt::CaseInsensitive) == 0
           || family.compare(QLatin1String("PIC16"), Qt::CaseInsensitive) == 0;
}

QByteArray readHead(const QString &path, qint64 limit)
{
    QFile file(path);
    if (!QFileInfo(path).isFile() || !file.open(QIODevice::ReadOnly))
        return {};
    return file.read(limit);
}

int hexValue(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    return -1;
}

quint32 littleEndian(const QByteArray &bytes, qint64 at, int size)
{
    quint32 value = 0;
    for (int i = size - 1; i >= 0; --i)
        value = (value << 8) | quint8(bytes.at(at + i));
    return value;
}

} // namespace

qint64 FirmwareSize::hexProgramUnits(const QByteArray &hex, bool words, qint64 limit)
{
    QSet<qint64> used;
    quint32 base = 0;
    bool any = false;
    for (const QByteArray &rawLine : hex.split('\n')) {
        const QByteArray line = rawLine.trimmed();
        if (line.isEmpty())
            continue;
        if (line.at(0) != ':' || line.size() < 11 || line.size() % 2 == 0)
            return -1;
        QByteArray record;
        for (int i = 1; i + 1 < line.size(); i += 2) {
            const int high = hexValue(line.at(i));
            const int low = hexValue(line.at(i + 1));
            if (high < 0 || low < 0)
                return -1;
            record.append(char(high * 16 + low));
        }
        const int count = quint8(record.at(0));
        if (record.size() != count + 5)
            return -1;
        any = true;
        const quint32 offset = (quint8(record.at(1)) << 8) | quint8(record.at(2));
        const int type = quint8(record.at(3));
        if (type == 0) {
            for (int i = 0; i < count; ++i) {
                const qint64 address = qint64(base) + offset + i;
                if (address < limit)
                    used.insert(words ? address / 2 : address);
            }
        } else if (type == 1) {
            break;
        } else if (type == 2 && count == 2) {
            base = ((quint8(record.at(4)) << 8) | quint8(record.at(5))) << 4;
        } else if (type == 4 && count == 2) {
            base = quint32((quint8(record.at(4)) << 8) | quint8(record.at(5))) << 16;
        }
    }
    return any ? used.size() : -1;
}

qint64 FirmwareSize::elfDataBytes(const QByteArray &elf)
{
    // A linked (executable) 32-bit little-endian ELF file: its section headers and their
    // names. An object file's sections are only a part of the firmware's.
    if (elf.size() < 52
        || !elf.startsWith("\x7f"
                           "ELF")
        || elf.at(4) != 1 || elf.at(5) != 1 || littleEndian(elf, 0x10, 2) != 2)
        return -1;
    const qint64 headers = littleEndian(elf, 0x20, 4);
    const int entrySize = int(littleEndian(elf, 0x2e, 2));
    const int count = int(littleEndian(elf, 0x30, 2));
    const int namesIndex = int(littleEndian(elf, 0x32, 2));
    if (entrySize < 40 || namesIndex >= count || headers + qint64(count) * entrySize > elf.size())
        return -1;
    const qint64 names = littleEndian(elf, headers + qint64(namesIndex) * entrySize + 16, 4);
    qint64 total = -1;
    for (int i = 0; i < count; ++i) {
        const qint64 header = headers + qint64(i) * entrySize;
        const qint64 nameAt = names + littleEndian(elf, header, 4);
        if (nameAt >= elf.size())
            continue;
        const QByteArray name(elf.constData() + nameAt,
                              int(qstrnlen(elf.constData() + nameAt, uint(elf.size() - nameAt))));
        if (name == ".data" || name == ".bss" || name == ".noinit")
            total = qMax<qint64>(total, 0) + littleEndian(elf, header + 20, 4);
    }
    return total;
}

qint64 FirmwareSize::gplinkMapDataBytes(const QString &map)
{
    if (!map.contains(QLatin1String("Section Info")))
        return -1;
    // "      DELAY_DATA      udata   0x000070       data   0x000002"
    static const QRegularExpression
        row(QStringLiteral("^\\s*\\S+\\s+\\S+\\s+0x[0-9a-fA-F]+\\s+data\\s+0x([0-9a-fA-F]+)\\s*$"),
            QRegularExpression::MultilineOption);
    qint64 total = 0;
    for (auto it = row.globalMatch(map); it.hasNext();)
        total += it.next().captured(1).toLongLong(nullptr, 16);
    return total;
}

qint64 FirmwareSize::sdccMemDataBytes(const QString &summary, qint64 *external)
{
    if (!summary.startsWith(QLatin1String("Internal RAM layout:")))
        return -1;
    // "0x00:|0|0|0|0|0|0|0|0|a|a|a|a|Q|Q| | |": a cell for each byte; S is the stack.
    static const QRegularExpression gridRow(QStringLiteral("^0x[0-9a-fA-F]+:\\|(.*)\\|\\s*$"),
                                            QRegularExpression::MultilineOption);
    qint64 used = 0;
    for (auto it = gridRow.globalMatch(summary); it.hasNext();) {
        for (const QString &cell : it.next().captured(1).split(QLatin1Char('|'))) {
            if (!cell.trimmed().isEmpty() && cell != QLatin1String("S"))
                ++used;
        }
    }
    // "   EXTERNAL RAM     0x0001   0x0010       16    65536"; without a start it is unused.
    static const QRegularExpression
        externalRow(QStringLiteral(
                        "^\\s*(PAGED EXT\\. RAM|EXTERNAL RAM)\\s+0x[0-9a-fA-F]+\\s+0x[0-9a-fA-F]+"
                        "\\s+([0-9]+)"),
                    QRegularExpression::MultilineOption);
    qint64 outside = 0;
    for (auto it = externalRow.globalMatch(summary); it.hasNext();)
        outside += it.next().captured(2).toLongLong();
    if (external)
        *external = outside;
    return used;
}

bool FirmwareSize::controllerMemory(const QString &controller, qint64 &program, qint64 &data)
{
    for (const ControllerMemory &known : controllerTable) {
        if (controller.compare(QLatin1String(known.name), Qt::CaseInsensitive) == 0) {
            program = known.program;
            data = known.data;
            return true;
        }
    }
    return false;
}

FirmwareSize FirmwareSize::measure(const QString &firmware,
                                   const QStringList &madeFrom,
                                   const QString &family,
                                   const QString &controller)
{
    FirmwareSize size;
    size.programInWords = wordAddressed(family);
    controllerMemory(controller, size.programMemory, size.dataMemory);
    // Beyond the program memory lie configuration words and EEPROM data.
    qint64 limit = std::numeric_limits<qint64>::max();
    if (size.programInWords)
        limit = 2 * (size.programMemory > 0 ? size.programMemory : 0x2000);
    else if (family.compare(QLatin1String("PIC18"), Qt::CaseInsensitive) == 0)
        limit = size.programMemory > 0 ? size.programMemory : 0x200000;
    // A firmware file of many megabytes is no firmware of these controllers.
    const qint64 readLimit = 64 << 20;
    size.program = hexProgramUnits(readHead(firmware, readLimit), size.programInWords, limit);

    QStringList reports = madeFrom;
    const QFileInfo info(firmware);
    for (const char *suffix : {".map", ".mem"})
        reports.append(info.path() + QLatin1Char('/') + info.completeBaseName()
                       + QLatin1String(suffix));
    for (const QString &report : std::as_const(reports)) {
        if (report == firmware)
            continue;
        const QByteArray content = readHead(report, readLimit);
        qint64 found = elfDataBytes(content);
        if (found < 0)
            found = gplinkMapDataBytes(QString::fromLatin1(content));
        if (found < 0)
            found = sdccMemDataBytes(QString::fromLatin1(content), &size.externalData);
        if (found >= 0) {
            size.data = found;
            break;
        }
    }
    return size;
}

QString FirmwareSize::text() const
{
    const auto share = [](qint64 used, qint64 whole) {
        return whole > 0 ? QCoreApplication::translate("FirmwareSize", " (%1% of %2)")
                               .arg(QString::number(100.0 * double(used) / double(whole), 'f', 1))
                               .arg(whole)
                         : QString();
    };
    QString line;
    if (program >= 0) {
        line = (programInWords
                    ? QCoreApplication::translate("FirmwareSize", "Program memory: %1 words%2.")
                    : QCoreApplication::translate("FirmwareSize", "Program memory: %1 bytes%2."))
                   .arg(program)
                   .arg(share(program, programMemory));
    }
    if (data >= 0) {
        if (!line.isEmpty())
            line += QLatin1Char(' ');
        line += QCoreApplication::translate("FirmwareSize", "Data memory: %1 bytes%2.")
                    .arg(data)
                    .arg(share(data, dataMemory));
        if (externalData > 0)
            line += QLatin1Char(' ')
                    + QCoreApplication::translate("FirmwareSize", "External RAM: %1 bytes.")
                          .arg(externalData);
    }
    return line;
}
