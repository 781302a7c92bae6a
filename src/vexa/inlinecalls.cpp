#include "inlinecalls.h"

#include "firmware/elffile.h"

#include <QDir>
#include <QFileInfo>
#include <QHash>

#include <algorithm>

namespace {

// The ELF file's sections by name, those whose bytes are in the file.
QHash<QByteArray, ElfSection> sections(const QByteArray &elf)
{
    QHash<QByteArray, ElfSection> found;
    for (const ElfSection &section : elfSections(elf)) {
        if (section.size > 0 && section.inFile(elf))
            found.insert(section.name, section);
    }
    return found;
}

// The attributes and forms of the entries a unit's abbreviation codes stand for.
struct Abbreviation
{
    std::uint64_t tag = 0;
    QList<std::pair<std::uint64_t, std::uint64_t>> attributes;
};

QHash<std::uint64_t, Abbreviation> abbreviations(const QByteArray &elf,
                                                 const ElfSection &section,
                                                 std::uint64_t offset)
{
    QHash<std::uint64_t, Abbreviation> table;
    ByteReader r(elf, section.offset + offset, section.offset + section.size);
    while (!r.atEnd()) {
        const std::uint64_t code = r.uleb();
        if (code == 0)
            break;
        Abbreviation abbreviation;
        abbreviation.tag = r.uleb();
        r.skip(1); // whether it has children: the entries are read in order all the same
        for (;;) {
            const std::uint64_t attribute = r.uleb();
            const std::uint64_t form = r.uleb();
            if (!r.ok() || (attribute == 0 && form == 0))
                break;
            abbreviation.attributes.append({attribute, form});
        }
        table.insert(code, abbreviation);
    }
    return table;
}

struct Unit
{
    int version = 0;
    int addressSize = 0;
    const QByteArray *elf = nullptr;
    ElfSection strings;
};

// An attribute's value: a number, or text; false for a form this reader does not know.
bool readValue(
    ByteReader &r, const Unit &unit, std::uint64_t form, std::uint64_t *number, QByteArray *text)
{
    switch (form) {
    case 0x01: // address
        *number = r.fixed(unit.addressSize);
        return true;
    case 0x0b: // data and references of a fixed size
    case 0x0c:
    case 0x11:
        *number = r.fixed(1);
        return true;
    case 0x05:
    case 0x12:
        *number = r.fixed(2);
        return true;
    case 0x06:
    case 0x13:
    case 0x17:
        *number = r.fixed(4);
        return true;
    case 0x07:
    case 0x14:
    case 0x20:
        *number = r.fixed(8);
        return true;
    case 0x10: // a reference into another unit
        *number = r.fixed(unit.version <= 2 ? unit.addressSize : 4);
        return true;
    case 0x0f:
    case 0x15:
        *number = r.uleb();
        return true;
    case 0x0d:
        r.uleb(); // a signed number, skipped alike
        return true;
    case 0x08:
        *text = r.text();
        return true;
    case 0x0e: { // in the string section
        const std::uint64_t at = r.fixed(4);
        ByteReader strings(*unit.elf,
                           unit.strings.offset + at,
                           unit.strings.offset + unit.strings.size);
        *text = strings.text();
        return strings.ok();
    }
    case 0x0a:
        r.skip(r.fixed(1));
        return true;
    case 0x03:
        r.skip(r.fixed(2));
        return true;
    case 0x04:
        r.skip(r.fixed(4));
        return true;
    case 0x09:
    case 0x18:
        r.skip(r.uleb());
        return true;
    case 0x19: // present, without a value
        *number = 1;
        return true;
    default: // 0x16 (the form given in the entry) is never written by the compilers we run
        return false;
    }
}

// The files of a unit's line table, by their numbers from 1.
QStringList lineFiles(const QByteArray &elf,
                      const ElfSection &section,
                      std::uint64_t offset,
                      const QString &compiledIn)
{
    QStringList files;
    ByteReader length(elf, section.offset + offset, section.offset + section.size);
    const std::uint64_t size = length.fixed(4);
    if (!length.ok() || size == 0xffffffff)
        return files;
    ByteReader r(elf, std::uint64_t(length.pos()), std::uint64_t(length.pos()) + size);
    const std::uint64_t version = r.fixed(2);
    if (!r.ok() || version < 2 || version > 4)
        return files;
    r.skip(4 + 1 + (version >= 4 ? 1 : 0) + 3); // header length, instruction sizes, line rules
    const std::uint64_t opcodeBase = r.fixed(1);
    r.skip(opcodeBase > 0 ? opcodeBase - 1 : 0);
    const auto joined = [&compiledIn](const QString &folder, const QString &name) {
        if (QFileInfo(name).isAbsolute())
            return QDir::cleanPath(name);
        const QString base = QFileInfo(folder).isAbsolute() || folder.isEmpty()
                                 ? folder
                                 : compiledIn + QLatin1Char('/') + folder;
        return QDir::cleanPath(base.isEmpty() ? name : base + QLatin1Char('/') + name);
    };
    QStringList folders;
    while (r.ok()) {
        const QByteArray folder = r.text();
        if (folder.isEmpty())
            break;
        folders.append(QString::fromUtf8(folder));
    }
    while (r.ok()) {
        const QByteArray name = r.text();
        if (name.isEmpty())
            break;
        const std::uint64_t folder = r.uleb();
        r.uleb(); // time
        r.uleb(); // size
        files.append(joined(folder == 0 ? compiledIn : folders.value(qsizetype(folder - 1)),
                            QString::fromUtf8(name)));
    }
    return r.ok() ? files : QStringList();
}

// The lowest start of a list of address ranges, from the unit's base address.
std::uint64_t lowestOfRanges(const QByteArray &elf,
                             const ElfSection &section,
                             std::uint64_t offset,
                             const Unit &unit,
                             std::uint64_t base)
{
    ByteReader r(elf, section.offset + offset, section.offset + section.size);
    const std::uint64_t selectsBase = unit.addressSize >= 8
                                          ? ~std::uint64_t(0)
                                          : (std::uint64_t(1) << (8 * unit.addressSize)) - 1;
    std::uint64_t lowest = ~std::uint64_t(0);
    while (r.ok()) {
        const std::uint64_t begin = r.fixed(unit.addressSize);
        const std::uint64_t end = r.fixed(unit.addressSize);
        if (!r.ok() || (begin == 0 && end == 0))
            break;
        if (begin == selectsBase)
            base = end;
        else if (begin < end)
            lowest = std::min(lowest, base + begin);
    }
    return lowest;
}

} // namespace

QList<InlineCall> InlineCalls::read(const QByteArray &elf)
{
    QList<InlineCall> calls;
    const QHash<QByteArray, ElfSection> found = sections(elf);
    const ElfSection info = found.value(".debug_info");
    const ElfSection abbrev = found.value(".debug_abbrev");
    const ElfSection lines = found.value(".debug_line");
    const ElfSection ranges = found.value(".debug_ranges");
    Unit unit;
    unit.elf = &elf;
    unit.strings = found.value(".debug_str");
    ByteReader units(elf, info.offset, info.offset + info.size);
    while (!units.atEnd()) {
        const std::uint64_t size = units.fixed(4);
        if (!units.ok() || size == 0xffffffff)
            break; // 64-bit debugging information is not written for these controllers
        const std::uint64_t start = std::uint64_t(units.pos());
        units.skip(size);
        ByteReader r(elf, start, start + size);
        unit.version = int(r.fixed(2));
        const std::uint64_t abbrevOffset = r.fixed(4);
        unit.addressSize = int(r.fixed(1));
        if (!r.ok() || unit.version < 2 || unit.version > 4
            || (unit.addressSize != 2 && unit.addressSize != 4 && unit.addressSize != 8))
            continue;
        const QHash<std::uint64_t, Abbreviation> table = abbreviations(elf, abbrev, abbrevOffset);
        QString compiledIn;
        std::uint64_t lineTable = ~std::uint64_t(0);
        std::uint64_t base = 0;
        struct Pending
        {
            std::uint64_t file;
            std::uint64_t line;
            std::uint64_t address;
        };
        QList<Pending> pending;
        bool first = true;
        while (!r.atEnd()) {
            const std::uint64_t code = r.uleb();
            if (code == 0)
                continue;
            const auto abbreviation = table.constFind(code);
            if (abbreviation == table.cend())
                break;
            // The attributes that matter here; an address not given stays all ones.
            constexpr std::uint64_t none = ~std::uint64_t(0);
            std::uint64_t lowPc = none, entryPc = none, rangeList = none, lineList = none;
            std::uint64_t callFile = 0, callLine = 0;
            QByteArray compDir;
            bool known = true;
            for (const auto &[attribute, form] : abbreviation->attributes) {
                std::uint64_t number = 0;
                QByteArray text;
                if (!readValue(r, unit, form, &number, &text)) {
                    known = false;
                    break;
                }
                switch (attribute) {
                case 0x10:
                    lineList = number;
                    break;
                case 0x11:
                    lowPc = number;
                    break;
                case 0x1b:
                    compDir = text;
                    break;
                case 0x52:
                    entryPc = number;
                    break;
                case 0x55:
                    rangeList = number;
                    break;
                case 0x58:
                    callFile = number;
                    break;
                case 0x59:
                    callLine = number;
                    break;
                default:
                    break;
                }
            }
            if (!known || !r.ok())
                break;
            constexpr std::uint64_t compileUnit = 0x11, inlinedCall = 0x1d;
            if (first && abbreviation->tag == compileUnit) {
                compiledIn = QString::fromUtf8(compDir);
                lineTable = lineList;
                base = lowPc == none ? 0 : lowPc;
            } else if (abbreviation->tag == inlinedCall && callFile > 0 && callLine > 0) {
                std::uint64_t address = entryPc != none ? entryPc : lowPc;
                if (address == none && rangeList != none)
                    address = lowestOfRanges(elf, ranges, rangeList, unit, base);
                if (address <= 0xffffffff)
                    pending.append({callFile, callLine, address});
            }
            first = false;
        }
        if (pending.isEmpty() || lineTable == ~std::uint64_t(0))
            continue;
        const QStringList files = lineFiles(elf, lines, lineTable, compiledIn);
        for (const Pending &call : std::as_const(pending)) {
            if (call.file <= std::uint64_t(files.size()) && call.line <= 0x7fffffff)
                calls.append({files.at(qsizetype(call.file - 1)),
                              int(call.line),
                              std::uint32_t(call.address)});
        }
    }
    return calls;
}

bool InlineCalls::hasSourceLines(const QByteArray &elf)
{
    const QHash<QByteArray, ElfSection> found = sections(elf);
    // The older form (the compiler's plain -g): entries of 12 bytes, a line's with type 0x44.
    const ElfSection stabs = found.value(".stab");
    for (std::uint64_t entry = 0; entry + 12 <= stabs.size; entry += 12) {
        if (quint8(elf.at(qsizetype(stabs.offset + entry + 4))) == 0x44)
            return true;
    }
    const ElfSection lines = found.value(".debug_line");
    for (std::uint64_t offset = 0; offset + 4 <= lines.size;) {
        if (!lineFiles(elf, lines, offset, QString()).isEmpty())
            return true;
        ByteReader length(elf, lines.offset + offset, lines.offset + lines.size);
        const std::uint64_t size = length.fixed(4);
        if (!length.ok() || size == 0xffffffff)
            break;
        offset += 4 + size;
    }
    return false;
}

QList<std::uint32_t> InlineCalls::at(const QList<InlineCall> &calls, const QString &file, int line)
{
    const QString path = QDir::cleanPath(file);
    const QString name = QFileInfo(file).fileName();
    QList<std::uint32_t> byPath;
    QList<std::uint32_t> byName;
    for (const InlineCall &call : calls) {
        if (call.line != line)
            continue;
        if (call.file == path)
            byPath.append(call.address);
        else if (QFileInfo(call.file).fileName() == name)
            byName.append(call.address);
    }
    QList<std::uint32_t> addresses = byPath.isEmpty() ? byName : byPath;
    std::sort(addresses.begin(), addresses.end());
    addresses.erase(std::unique(addresses.begin(), addresses.end()), addresses.end());
    return addresses;
}
