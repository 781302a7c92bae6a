#include "mcsdebugger.h"

#include "engine.h"
#include "firmware/hexfile.h"
#include "ucsimengine.h"

#include <QFileInfo>
#include <QRegularExpression>

#include <algorithm>
#include <cstring>
#include <optional>

int McsDebugger::instructionLength(std::uint8_t opcode)
{
    // AJMP and ACALL in every row.
    if ((opcode & 0x0f) == 0x01)
        return 2;
    switch (opcode) {
    case 0x02: // LJMP
    case 0x10: // JBC bit, rel
    case 0x12: // LCALL
    case 0x20: // JB
    case 0x30: // JNB
    case 0x43: // ORL dir, #data
    case 0x53: // ANL dir, #data
    case 0x63: // XRL dir, #data
    case 0x75: // MOV dir, #data
    case 0x85: // MOV dir, dir
    case 0x90: // MOV DPTR, #data16
    case 0xb4: // CJNE A, #data, rel
    case 0xb5: // CJNE A, dir, rel
    case 0xb6:
    case 0xb7:
    case 0xd5: // DJNZ dir, rel
        return 3;
    default:
        break;
    }
    if (opcode >= 0xb8 && opcode <= 0xbf) // CJNE Rn, #data, rel
        return 3;
    switch (opcode) {
    case 0x05: // INC dir
    case 0x15: // DEC dir
    case 0x24: // ADD A, #data
    case 0x25:
    case 0x34:
    case 0x35:
    case 0x40: // JC
    case 0x42:
    case 0x44:
    case 0x45:
    case 0x50: // JNC
    case 0x52:
    case 0x54:
    case 0x55:
    case 0x60: // JZ
    case 0x62:
    case 0x64:
    case 0x65:
    case 0x70: // JNZ
    case 0x72:
    case 0x74: // MOV A, #data
    case 0x76:
    case 0x77:
    case 0x80: // SJMP
    case 0x82:
    case 0x86:
    case 0x87:
    case 0x92:
    case 0x94:
    case 0x95:
    case 0xa0:
    case 0xa2:
    case 0xa6:
    case 0xa7:
    case 0xb0:
    case 0xb2:
    case 0xc0: // PUSH
    case 0xc2:
    case 0xc5:
    case 0xd0: // POP
    case 0xd2:
    case 0xe5: // MOV A, dir
    case 0xf5: // MOV dir, A
        return 2;
    default:
        break;
    }
    if ((opcode >= 0x78 && opcode <= 0x7f) || (opcode >= 0x88 && opcode <= 0x8f)
        || (opcode >= 0xa8 && opcode <= 0xaf) || (opcode >= 0xd8 && opcode <= 0xdf))
        return 2; // MOV Rn, #data; MOV dir, Rn; MOV Rn, dir; DJNZ Rn, rel
    return 1;
}

bool McsDebugger::loadSymbols(const QString &firmware, LineTable *table, QString *error)
{
    QString cdb;
    if (!symbolsBeside(firmware, QStringLiteral(".cdb"), &cdb, error))
        return false;
    const QFileInfo hex(firmware);
    if (!table->readCdb(cdb, {QFileInfo(hex.path()).path(), hex.path()}, error))
        return false;
    m_code = HexImage::read(firmware).flat();
    return true;
}

std::uint8_t McsDebugger::byteAt(std::uint32_t address) const
{
    return address < std::uint32_t(m_code.size()) ? std::uint8_t(m_code.at(address)) : 0xff;
}

bool McsDebugger::isReturn(std::uint32_t address) const
{
    return byteAt(address) == 0x22; // RET; RETI ends an interrupt
}

QList<std::uint32_t> McsDebugger::returnsIn(const LineTable::Function &function) const
{
    QList<std::uint32_t> returns;
    for (std::uint32_t address = function.start; address <= function.end;
         address += std::uint32_t(instructionLength(byteAt(address)))) {
        if (isReturn(address))
            returns.append(address);
    }
    return returns;
}

// A character as C writes it between quotes: 'a', '\n', '\376'.
static QString escaped(std::uint8_t c, char quote)
{
    if (c >= 7 && c <= 13)
        return QStringLiteral("\\") + QLatin1Char("abtnvfr"[c - 7]);
    if (c == '\\' || c == quote)
        return QStringLiteral("\\") + QLatin1Char(char(c));
    if (c >= 0x20 && c < 0x7f)
        return QString(QLatin1Char(char(c)));
    return QStringLiteral("\\%1").arg(c, 3, 8, QLatin1Char('0'));
}

// The tag of a structure type ("point" of "STpoint:S"); empty for any other type.
static QString structureTag(const QString &type)
{
    static const QRegularExpression structure(QStringLiteral("^ST(\\w+):[US]$"));
    return structure.match(type).captured(1);
}

// Whether a variable of the space lies in memory: internal RAM (direct, indirect, the stack),
// external RAM, or code (constants).
static bool inMemory(QChar space)
{
    return !space.isNull() && QStringLiteral("EGBFACDI").contains(space);
}

QString McsDebugger::typedText(const QByteArray &bytes, const QString &type, int depth) const
{
    static const QRegularExpression array(QStringLiteral("^DA(\\d+)d,(ST\\w+:[US])$"));
    if (bytes.isEmpty() || depth > 8) // a structure that holds itself: only a file could say so
        return valueText(bytes, type);
    QStringList parts;
    if (const QString tag = structureTag(type); !tag.isEmpty()) {
        const QList<LineTable::Member> members = lineTable().structure(tag);
        for (const LineTable::Member &member : members) {
            if (member.offset < 0 || member.size <= 0 || member.offset + member.size > bytes.size())
                return valueText(bytes, type);
            parts.append(member.name + QStringLiteral(" = ")
                         + typedText(bytes.mid(member.offset, member.size), member.type, depth + 1));
        }
    } else if (const QRegularExpressionMatch m = array.match(type); m.hasMatch()) {
        const int count = m.captured(1).toInt();
        if (count <= 0 || bytes.size() % count != 0)
            return valueText(bytes, type);
        const qsizetype size = bytes.size() / count;
        for (int i = 0; i < count; ++i)
            parts.append(typedText(bytes.mid(i * size, size), m.captured(2), depth + 1));
    }
    if (parts.isEmpty())
        return valueText(bytes, type);
    return QLatin1Char('{') + parts.join(QStringLiteral(", ")) + QLatin1Char('}');
}

// The number the bytes make, least significant first (at most eight of them).
static std::uint64_t littleEndian(const QByteArray &bytes)
{
    std::uint64_t value = 0;
    for (int i = int(bytes.size()) - 1; i >= 0; --i)
        value = value << 8 | std::uint8_t(bytes.at(i));
    return value;
}

// A number of so many bits, as signed or unsigned.
static QString numberText(std::uint64_t value, int bits, bool isSigned)
{
    if (isSigned && bits < 64 && (value >> (bits - 1) & 1))
        return QString::number(qint64(value) - (qint64(1) << bits));
    return QString::number(value);
}

// An array of characters as a string up to its end, of numbers one by one ("DA40d,SC:S",
// "DA4d,SI:U"); empty for an array of anything else.
static QString arrayText(const QByteArray &bytes, const QString &type)
{
    static const QRegularExpression array(QStringLiteral("^DA(\\d+)d,(S[CSILF]:[US])$"));
    const QRegularExpressionMatch m = array.match(type);
    if (!m.hasMatch())
        return {};
    const QString element = m.captured(2);
    const int count = m.captured(1).toInt();
    if (element.startsWith(QLatin1String("SC"))) {
        QString text;
        for (const char c : bytes) {
            if (c == 0)
                break;
            text += escaped(std::uint8_t(c), '"');
        }
        return QLatin1Char('"') + text + QLatin1Char('"');
    }
    const int size = element.startsWith(QLatin1String("SS"))
                             || element.startsWith(QLatin1String("SI"))
                         ? 2
                         : 4;
    if (count <= 0 || bytes.size() != qsizetype(count) * size)
        return {};
    QStringList values;
    for (int i = 0; i < count; ++i)
        values.append(McsDebugger::valueText(bytes.mid(qsizetype(i) * size, size), element));
    return QLatin1Char('{') + values.join(QStringLiteral(", ")) + QLatin1Char('}');
}

// A pointer ("DG,SC:U"): the address, and the memory it points into; a generic one says which
// in its third byte. Empty for anything else.
static QString pointerText(const QByteArray &bytes, const QString &type)
{
    static const QRegularExpression pointer(QStringLiteral("^D([GCXDPI]),"));
    const QRegularExpressionMatch m = pointer.match(type);
    if (!m.hasMatch())
        return {};
    const char kind = m.captured(1).at(0).toLatin1();
    const qsizetype size = kind == 'G' ? 3 : kind == 'C' || kind == 'X' ? 2 : 1;
    if (bytes.size() != size)
        return {};
    const auto value = std::uint32_t(littleEndian(bytes));
    const std::uint32_t address = value & 0xffff;
    const std::uint32_t tag = kind == 'G' ? value >> 16 : 0;
    const char *space = "xdata";
    if (kind == 'C' || tag >= 0x80)
        space = "code";
    else if (kind == 'P' || tag >= 0x60)
        space = "pdata";
    else if (kind == 'D' || tag >= 0x40)
        space = "data";
    else if (kind == 'I')
        space = "idata";
    return QStringLiteral("0x%1 (%2)")
        .arg(address, 4, 16, QLatin1Char('0'))
        .arg(QLatin1String(space));
}

// A bit-field ("SB4$3:U"): three bits from bit 4 on of the bytes that hold it. Empty for
// anything else.
static QString bitFieldText(const QByteArray &bytes, const QString &type)
{
    static const QRegularExpression bitField(QStringLiteral("^SB(\\d+)\\$(\\d+):([US])$"));
    const QRegularExpressionMatch m = bitField.match(type);
    if (!m.hasMatch())
        return {};
    const int start = m.captured(1).toInt();
    const int width = m.captured(2).toInt();
    if (bytes.size() > 8 || width < 1 || start + width > int(bytes.size()) * 8)
        return McsDebugger::tr("<not readable>");
    std::uint64_t value = littleEndian(bytes);
    if (width < 64)
        value = value >> start & ((std::uint64_t(1) << width) - 1);
    return numberText(value, width, m.captured(3) == QLatin1String("S"));
}

QString McsDebugger::valueText(const QByteArray &bytes, const QString &type)
{
    if (bytes.isEmpty())
        return tr("<not readable>");
    for (const auto text : {arrayText, pointerText, bitFieldText}) {
        if (QString shown = text(bytes, type); !shown.isEmpty())
            return shown;
    }
    const QString base = type.section(QLatin1Char(':'), 0, 0);
    if (base == QLatin1String("SF") && bytes.size() == 4) {
        float value = 0;
        std::memcpy(&value, bytes.constData(), 4); // the 8051's floats are IEEE, LSB first
        return QString::number(double(value), 'g', 7);
    }
    static const QStringList scalars{QStringLiteral("SC"),
                                     QStringLiteral("SS"),
                                     QStringLiteral("SI"),
                                     QStringLiteral("SL"),
                                     QStringLiteral("SB"),
                                     QStringLiteral("SX")};
    if (!scalars.contains(base) || bytes.size() > 8) {
        QStringList cells;
        for (const char byte : bytes)
            cells.append(QStringLiteral("%1").arg(std::uint8_t(byte), 2, 16, QLatin1Char('0')));
        return QLatin1Char('{') + cells.join(QLatin1Char(' ')) + QLatin1Char('}');
    }
    const std::uint64_t value = littleEndian(bytes);
    const QString number = numberText(value,
                                      int(bytes.size()) * 8,
                                      type.endsWith(QLatin1String(":S")));
    if (base == QLatin1String("SC") && bytes.size() == 1) // a char: its number and itself
        return number + QStringLiteral(" '") + escaped(std::uint8_t(value), '\'')
               + QLatin1Char('\'');
    return number;
}

QByteArray McsDebugger::registerBank() const
{
    std::uint32_t psw = 0;
    for (const auto &[name, value] : engine()->cpuRegisters()) {
        if (name == QLatin1String("PSW"))
            psw = value;
    }
    return engine()->readMemory((psw >> 3 & 3) * 8, 8);
}

QByteArray McsDebugger::bytesOf(const LineTable::Symbol &symbol, const QByteArray &bank) const
{
    const QChar space = symbol.space;
    if (space == QLatin1Char('R')) {
        QByteArray bytes;
        for (const QString &reg : symbol.registers) {
            const int r = reg.mid(1).toInt();
            if (!reg.startsWith(QLatin1Char('r'), Qt::CaseInsensitive) || r < 0 || r >= bank.size())
                return {};
            bytes.append(bank.at(r));
        }
        return bytes;
    }
    if (inMemory(space))
        return memoryAt(memoryAddress(symbol), std::uint32_t(symbol.size));
    return {};
}

QByteArray McsDebugger::memoryAt(std::uint32_t address, std::uint32_t length) const
{
    if (address < codeBase)
        return engine()->readMemory(address, length);
    const std::uint64_t start = address - codeBase;
    if (length == 0 || length > 0x1000 || start + length > std::uint64_t(m_code.size()))
        return {};
    return m_code.mid(qsizetype(start), qsizetype(length));
}

std::uint32_t McsDebugger::memoryAddress(const LineTable::Symbol &symbol) const
{
    if (symbol.space == QLatin1Char('H')) // the bit-addressable bytes from 0x20 on
        return 0x20 + symbol.address / 8;
    if (symbol.space == QLatin1Char('I')) // a special function register
        return UcsimEngine::sfrBase + symbol.address;
    if (symbol.space == QLatin1Char('J')) // a bit of one: bit 0x93 is bit 3 of 0x90
        return UcsimEngine::sfrBase + (symbol.address & 0xf8);
    if (symbol.space == QLatin1Char('F') || symbol.space == QLatin1Char('A'))
        return UcsimEngine::externalBase + symbol.address;
    if (symbol.space == QLatin1Char('C') || symbol.space == QLatin1Char('D'))
        return codeBase + symbol.address;
    return symbol.address;
}

QString McsDebugger::valueOf(const LineTable::Symbol &symbol) const
{
    if (symbol.space.isNull()) // a number or an assembler symbol: one byte of internal RAM
        return LineTableDebugger::valueOf(symbol);
    if (symbol.space == QLatin1Char('H') || symbol.space == QLatin1Char('J')) {
        if (!symbol.placed)
            return tr("<not placed in the debugging information>");
        const QByteArray byte = memoryAt(memoryAddress(symbol), 1);
        return byte.size() == 1 ? QString::number(quint8(byte.at(0)) >> (symbol.address % 8) & 1)
                                : tr("<not readable>");
    }
    return typedText(bytesOf(symbol), symbol.type);
}

std::optional<LineTable::Symbol> McsDebugger::watchedSymbol(const QString &name) const
{
    if (!name.contains(QLatin1Char('.')) && !name.contains(QLatin1Char('[')))
        return LineTableDebugger::watchedSymbol(name);
    static const QRegularExpression variable(QStringLiteral("^\\s*(\\w+)"));
    // ".member" or "[index]", each from where the last one ended.
    static const QRegularExpression part(
        QStringLiteral("\\s*(?:\\.\\s*(\\w+)|\\[\\s*(\\d+)\\s*\\])\\s*"));
    static const QRegularExpression array(QStringLiteral("^DA(\\d+)d,(.+)$"));
    const QRegularExpressionMatch first = variable.match(name);
    if (!first.hasMatch())
        return std::nullopt;
    std::optional<LineTable::Symbol> symbol = lineTable().symbol(first.captured(1));
    qsizetype at = first.capturedLength();
    // Parts of a variable in memory, whose type the debugging file gives.
    if (!symbol || symbol->kind != LineTable::SymbolKind::Data || !inMemory(symbol->space))
        return std::nullopt;
    while (at < name.size()) {
        const QRegularExpressionMatch m = part.match(name,
                                                     at,
                                                     QRegularExpression::NormalMatch,
                                                     QRegularExpression::AnchorAtOffsetMatchOption);
        if (!m.hasMatch() || m.capturedLength() == 0)
            return std::nullopt;
        at += m.capturedLength();
        if (m.capturedLength(1) > 0) {
            const QString tag = structureTag(symbol->type);
            if (tag.isEmpty())
                return std::nullopt;
            const QList<LineTable::Member> members = lineTable().structure(tag);
            const auto member = std::find_if(members.cbegin(), members.cend(), [&](const auto &it) {
                return it.name == m.captured(1);
            });
            if (member == members.cend() || member->offset < 0 || member->size <= 0
                || member->offset + member->size > symbol->size)
                return std::nullopt;
            symbol->address += std::uint32_t(member->offset);
            symbol->size = member->size;
            symbol->type = member->type;
        } else {
            const QRegularExpressionMatch a = array.match(symbol->type);
            const int count = a.hasMatch() ? a.captured(1).toInt() : 0;
            bool ok = false;
            const int index = m.captured(2).toInt(&ok);
            if (count <= 0 || !ok || index >= count || symbol->size % count != 0)
                return std::nullopt;
            const int size = symbol->size / count;
            symbol->address += std::uint32_t(index * size);
            symbol->size = size;
            symbol->type = a.captured(2);
        }
    }
    symbol->name = name;
    return symbol;
}

QList<DebugValue> McsDebugger::localValues(const QString &function) const
{
    QList<DebugValue> values;
    const QList<LineTable::Symbol> locals = lineTable().locals(function);
    const bool inRegisters = std::any_of(locals.cbegin(), locals.cend(), [](const auto &local) {
        return !local.registers.isEmpty();
    });
    const QByteArray bank = inRegisters ? registerBank() : QByteArray();
    std::optional<std::optional<std::uint8_t>> frame; // looked for once, by the first on the stack
    for (LineTable::Symbol local : locals) {
        if (local.frameOffset) {
            if (!frame)
                frame = frameOf(function);
            if (!*frame) {
                values.append({local.name, tr("<not readable>")});
                continue;
            }
            local.address = std::uint32_t(**frame + *local.frameOffset) & 0xff;
        }
        if (local.space == QLatin1Char('H'))
            values.append({local.name, valueOf(local)});
        else if (local.space == QLatin1Char('R') && local.registers.isEmpty())
            values.append({local.name, tr("<optimized out>")});
        else
            values.append({local.name, typedText(bytesOf(local, bank), local.type)});
    }
    return values;
}

std::optional<std::uint8_t> McsDebugger::frameOf(const QString &function) const
{
    const std::uint32_t pc = engine()->programCounter();
    const std::optional<LineTable::Function> here = lineTable().functionOf(pc);
    if (!here || here->name != function)
        return std::nullopt;
    // The frame pointer's place is where the function's first instructions copy SP (0x81) to.
    std::uint32_t address = here->start;
    for (int i = 0; i < 8 && address < pc; ++i) {
        if (byteAt(address) == 0x85 && byteAt(address + 1) == 0x81) {
            if (address + 3 > pc)
                return std::nullopt;
            const QByteArray pointer = memoryAt(byteAt(address + 2), 1);
            if (pointer.size() != 1)
                return std::nullopt;
            return std::uint8_t(pointer.at(0));
        }
        address += std::uint32_t(instructionLength(byteAt(address)));
    }
    return std::nullopt;
}

bool McsDebugger::calls(std::uint32_t back, std::uint32_t target) const
{
    if (back >= 3 && byteAt(back - 3) == 0x12) // LCALL addr16
        return (std::uint32_t(byteAt(back - 2)) << 8 | byteAt(back - 1)) == target;
    if (back >= 2 && (byteAt(back - 2) & 0x1f) == 0x11) // ACALL addr11, in back's 2 KiB page
        return ((back & 0xf800) | std::uint32_t(byteAt(back - 2) & 0xe0) << 3 | byteAt(back - 1))
               == target;
    return false;
}

// The calls read off the internal RAM's stack: sdcc keeps a function's locals elsewhere, so the
// stack holds return addresses among the registers that functions and interrupts saved. Two
// bytes are taken as a return address when the instruction before the address they make calls
// the function the frame above is in; the walk ends where none does.
QList<DebugFrame> McsDebugger::callers(
    std::uint32_t pc, const QList<std::pair<QString, std::uint32_t>> &registers) const
{
    QList<DebugFrame> frames;
    int sp = -1;
    for (const auto &[name, value] : registers) {
        if (name == QLatin1String("SP"))
            sp = int(value);
    }
    std::optional<LineTable::Function> in = lineTable().functionOf(pc);
    if (sp < 1 || sp > 0xff || !in)
        return frames;
    const QByteArray stack = engine()->readMemory(0, std::uint32_t(sp) + 1);
    if (stack.size() != sp + 1)
        return frames;
    for (int at = sp; at >= 1 && in && frames.size() < 32; --at) {
        const std::uint32_t back = std::uint32_t(std::uint8_t(stack.at(at))) << 8
                                   | std::uint8_t(stack.at(at - 1));
        if (!calls(back, in->start))
            continue;
        DebugFrame frame;
        frame.address = back;
        frame.function = lineTable().functionAt(back);
        // The line of the call, which ends just before the return address.
        if (const auto line = lineTable().lineAt(back - 1)) {
            frame.file = line->file;
            frame.line = line->line;
        }
        frames.append(frame);
        in = lineTable().functionOf(back);
        --at; // the address's other byte
    }
    return frames;
}
