#include "picdebugger.h"

#include "hexfile.h"

#include <QFileInfo>

bool PicDebugger::loadSymbols(const QString &firmware, LineTable *table, QString *error)
{
    const QFileInfo hex(firmware);
    const QString base = hex.path() + QLatin1Char('/') + hex.completeBaseName();
    const QString cod = base + QStringLiteral(".cod");
    if (!QFileInfo::exists(cod)) {
        *error = tr("The firmware has no debugging information: %1 is missing.").arg(cod);
        return false;
    }
    if (QFileInfo(cod).lastModified() < hex.lastModified().addSecs(-2)) {
        *error = tr("The firmware's debugging information %1 is older than the firmware: "
                    "build the project again.")
                     .arg(cod);
        return false;
    }
    // The build names its sources relative to the project's folder, which holds the output
    // folder; or relative to the output folder itself.
    const QString project = QFileInfo(hex.path()).path();
    if (!table->readCod(cod, {project, hex.path()}, error))
        return false;
    table->readMap(base + QStringLiteral(".map"));
    const HexImage image = HexImage::read(firmware);
    m_program.clear();
    for (const HexChunk &chunk : image.chunks) {
        for (qsizetype i = 0; i + 1 < chunk.data.size(); i += 2) {
            const std::uint32_t address = (chunk.address + std::uint32_t(i)) / 2;
            if (address >= 0x2000)
                break;
            if (m_program.size() <= qsizetype(address))
                m_program.resize(address + 1, 0x3fff);
            m_program[address] = std::uint16_t(std::uint8_t(chunk.data.at(i))
                                               | std::uint8_t(chunk.data.at(i + 1)) << 8);
        }
    }
    return true;
}

std::uint32_t PicDebugger::word(std::uint32_t address) const
{
    return address < std::uint32_t(m_program.size()) ? m_program.at(address) : 0x3fff;
}

int PicDebugger::callLength(std::uint32_t address) const
{
    // CALL k: 10 0kkk kkkk kkkk.
    return (word(address) & 0x3800) == 0x2000 ? 1 : 0;
}

bool PicDebugger::isReturn(std::uint32_t address) const
{
    // RETURN, and RETLW k (11 01xx kkkk kkkk); RETFIE returns from an interrupt.
    const std::uint32_t w = word(address);
    return w == 0x0008 || (w & 0x3c00) == 0x3400;
}

QList<std::uint32_t> PicDebugger::instructions() const
{
    QList<std::uint32_t> all;
    for (std::uint32_t address = 0; address < std::uint32_t(m_program.size()); ++address)
        all.append(address);
    return all;
}
