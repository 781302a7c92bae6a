#include "picdebugger.h"

#include "firmware/hexfile.h"

#include "platform/boundedfile.h"

#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>
#include <QStandardPaths>

bool PicDebugger::loadSymbols(const QString &firmware, LineTable *table, QString *error)
{
    QString cod;
    if (!symbolsBeside(firmware, QStringLiteral(".cod"), &cod, error))
        return false;
    const QFileInfo hex(firmware);
    // The build names its sources relative to the project's folder, which holds the output
    // folder; or relative to the output folder itself.
    const QString project = QFileInfo(hex.path()).path();
    if (!table->readCod(cod, {project, hex.path()}, error))
        return false;
    table->readMap(hex.path() + QLatin1Char('/') + hex.completeBaseName() + QStringLiteral(".map"));
    addRegisterNames(table);
    // The program memory's bytes, two a word, below the configuration words at 0x2000.
    m_program = HexImage::read(firmware).flat().left(0x4000);
    return true;
}

void PicDebugger::addRegisterNames(LineTable *table) const
{
    static const QRegularExpression part(QStringLiteral("^PIC(\\w+)$"));
    const QRegularExpressionMatch named = part.match(device().toUpper());
    const QString assembler = QStandardPaths::findExecutable(QStringLiteral("gpasm"));
    if (!named.hasMatch() || assembler.isEmpty())
        return;
    const QString header = QDir(QFileInfo(assembler).canonicalPath())
                               .filePath(QStringLiteral("../share/gputils/header/p%1.inc")
                                             .arg(named.captured(1).toLower()));
    QByteArray text;
    if (!Platform::readBoundedFile(header, 1 << 20, text, nullptr))
        return;
    // The section of the register files (bank by bank), up to the next (the bits of each
    // register).
    static const QRegularExpression section(QStringLiteral("^;-+\\s*(.*?)\\s*-*$"));
    static const QRegularExpression equate(
        QStringLiteral("^(\\w+)\\s+EQU\\s+H'([0-9A-Fa-f]{1,4})'"));
    bool registers = false;
    for (const QByteArray &raw : text.split('\n')) {
        const QString line = QString::fromLatin1(raw).trimmed();
        if (const QRegularExpressionMatch m = section.match(line); m.hasMatch())
            registers = m.captured(1) == QLatin1String("Register Files")
                        || (registers && m.captured(1).startsWith(QLatin1String("Bank")));
        else if (const QRegularExpressionMatch m = equate.match(line);
                 registers && m.hasMatch() && !table->symbol(m.captured(1)))
            table->addSymbol(
                {m.captured(1), m.captured(2).toUInt(nullptr, 16), LineTable::SymbolKind::Data});
    }
}

std::uint32_t PicDebugger::word(std::uint32_t address) const
{
    if (2 * qsizetype(address) + 1 >= m_program.size())
        return 0x3fff; // erased
    return (std::uint8_t(m_program.at(2 * address))
            | std::uint8_t(m_program.at(2 * address + 1)) << 8)
           & 0x3fff;
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
    for (std::uint32_t address = 0; address < std::uint32_t(m_program.size() / 2); ++address)
        all.append(address);
    return all;
}
