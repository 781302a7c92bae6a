#include "firmwaresize.h"

#include "firmware/elffile.h"
#include "firmware/hexfile.h"
#include "platform/boundedfile.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QRegularExpression>

#include <algorithm>
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

// The whole file, or nothing when it cannot be read or is too large for any firmware of these
// controllers or any report of their builds.
QByteArray readReport(const QString &path)
{
    QByteArray bytes;
    Platform::readBoundedFile(path, 64 << 20, bytes, nullptr);
    return bytes;
}

} // namespace

qint64 FirmwareSize::hexProgramUnits(const QByteArray &hex, bool words, qint64 limit)
{
    const HexImage image = HexImage::parse(hex);
    if (!image.error.isEmpty())
        return -1;
    qint64 units = 0;
    qint64 lastWord = -1; // a word whose first byte was counted already
    for (const HexChunk &chunk : image.chunks) {
        const qint64 end = std::min<qint64>(chunk.address + chunk.data.size(), limit);
        for (qint64 address = chunk.address; address < end; ++address) {
            if (words && address / 2 == lastWord)
                continue;
            ++units;
            lastWord = address / 2;
        }
    }
    return units;
}

qint64 FirmwareSize::elfDataBytes(const QByteArray &elf)
{
    // A linked file's sections: an object file's are only a part of the firmware's.
    if (!isLinkedElf(elf))
        return -1;
    qint64 total = -1;
    for (const ElfSection &section : elfSections(elf)) {
        if (section.name == ".data" || section.name == ".bss" || section.name == ".noinit")
            total = qMax<qint64>(total, 0) + qint64(section.size);
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
    size.program = hexProgramUnits(readReport(firmware), size.programInWords, limit);

    QStringList reports = madeFrom;
    const QFileInfo info(firmware);
    for (const char *suffix : {".map", ".mem"})
        reports.append(info.path() + QLatin1Char('/') + info.completeBaseName()
                       + QLatin1String(suffix));
    for (const QString &report : std::as_const(reports)) {
        if (report == firmware)
            continue;
        // Of what the firmware was made from, only a linked ELF file (its header's first 18
        // bytes tell) is read whole: a source turned into the firmware at once can be megabytes.
        QByteArray start;
        if (!report.endsWith(QLatin1String(".map"), Qt::CaseInsensitive)
            && !report.endsWith(QLatin1String(".mem"), Qt::CaseInsensitive)
            && !(Platform::readFileStart(report, 18, start) && isLinkedElf(start)))
            continue;
        const QByteArray content = readReport(report);
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
