#include "inlinecalls.h"

#include <QDir>
#include <QFileInfo>
#include <QHash>

#include <algorithm>

namespace {

// Reads little-endian values and strings from a part of a file; a read past the part's end
// stops the reader (ok() false) and gives zero or nothing.
class Reader
{
public:
    Reader(const QByteArray &data, std::uint64_t from, std::uint64_t to)
        : m_data(data)
        , m_end(qsizetype(std::min<std::uint64_t>(to, std::uint64_t(data.size()))))
        , m_pos(qsizetype(std::min<std::uint64_t>(from, std::uint64_t(m_end))))
    {
        m_ok = from <= to && to <= std::uint64_t(data.size());
    }

    bool ok() const { return m_ok; }
    bool atEnd() const { return !m_ok || m_pos >= m_end; }
    qsizetype pos() const { return m_pos; }
    qsizetype end() const { return m_end; }

    std::uint64_t fixed(int bytes)
    {
        if (!take(bytes))
            return 0;
        std::uint64_t value = 0;
        for (int i = 0; i < bytes; ++i)
            value |= std::uint64_t(std::uint8_t(m_data.at(m_pos - bytes + i))) << (8 * i);
        return value;
    }

    std::uint64_t uleb()
    {
        std::uint64_t value = 0;
        for (int shift = 0;; shift += 7) {
            if (!take(1))
                return 0;
            const std::uint8_t byte = std::uint8_t(m_data.at(m_pos - 1));
            if (shift < 64)
                value |= std::uint64_t(byte & 0x7f) << shift;
            if (!(byte & 0x80))
                return value;
        }
    }

    void sleb() { uleb(); } // only ever skipped

    QByteArray text()
    {
        const qsizetype zero = m_data.indexOf('\0', m_pos);
        if (!m_ok || zero < 0 || zero >= m_end) {
            fail();
            return QByteArray();
        }
        const QByteArray value = m_data.mid(m_pos, zero - m_pos);
        m_pos = zero + 1;
        return value;
    }

    void skip(std::uint64_t bytes)
    {
        if (bytes > std::uint64_t(m_end - m_pos))
            fail();
        else
            m_pos += qsizetype(bytes);
    }

private:
    bool take(qsizetype bytes)
    {
        if (!m_ok || bytes > m_end - m_pos) {
            fail();
            return false;
        }
        m_pos += bytes;
        return true;
    }
    void fail()
    {
        m_ok = false;
        m_pos = m_end;
    }

    const QByteArray &m_data;
    qsizetype m_end;
    qsizetype m_pos;
    bool m_ok = true;
};

struct Section
{
    std::uint64_t offset = 0;
    std::uint64_t size = 0;
};

// The ELF file's sections by name.
QHash<QByteArray, Section> sections(const QByteArray &elf)
{
    QHash<QByteArray, Section> found;
    if (!elf.startsWith("\x7f"
                        "ELF\x01\x01"))
        return found;
    Reader header(elf, 32, 52);
    const std::uint64_t table = header.fixed(4);
    header.skip(10);
    const std::uint64_t entrySize = header.fixed(2);
    const std::uint64_t entries = header.fixed(2);
    const std::uint64_t namesIndex = header.fixed(2);
    constexpr std::uint64_t sectionHeaderSize = 40;
    if (!header.ok() || entrySize < sectionHeaderSize || namesIndex >= entries)
        return found;
    const auto entry = [&](std::uint64_t index, std::uint64_t *name) {
        Reader r(elf, table + index * entrySize, table + index * entrySize + sectionHeaderSize);
        *name = r.fixed(4);
        const std::uint64_t type = r.fixed(4);
        r.skip(8);
        Section section{r.fixed(4), r.fixed(4)};
        constexpr std::uint64_t withoutData = 8;
        if (!r.ok() || type == withoutData
            || section.offset + section.size > std::uint64_t(elf.size()))
            section = Section();
        return section;
    };
    std::uint64_t unused = 0;
    const Section names = entry(namesIndex, &unused);
    for (std::uint64_t i = 0; i < entries; ++i) {
        std::uint64_t name = 0;
        const Section section = entry(i, &name);
        Reader nameReader(elf, names.offset + name, names.offset + names.size);
        const QByteArray text = nameReader.text();
        if (section.size > 0 && nameReader.ok())
            found.insert(text, section);
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
                                                 const Section &section,
                                                 std::uint64_t offset)
{
    QHash<std::uint64_t, Abbreviation> table;
    Reader r(elf, section.offset + offset, section.offset + section.size);
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
    Section strings;
};

// An attribute's value: a number, or text; false for a form this reader does not know.
bool readValue(
    Reader &r, const Unit &unit, std::uint64_t form, std::uint64_t *number, QByteArray *text)
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
        r.sleb();
        return true;
    case 0x08:
        *text = r.text();
        return true;
    case 0x0e: { // in the string section
        const std::uint64_t at = r.fixed(4);
        Reader strings(*unit.elf, unit.strings.offset + at, unit.strings.offset + unit.strings.size);
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
                      const Section &section,
                      std::uint64_t offset,
                      const QString &compiledIn)
{
    QStringList files;
    Reader length(elf, section.offset + offset, section.offset + section.size);
    const std::uint64_t size = length.fixed(4);
    if (!length.ok() || size == 0xffffffff)
        return files;
    Reader r(elf, std::uint64_t(length.pos()), std::uint64_t(length.pos()) + size);
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
                             const Section &section,
                             std::uint64_t offset,
                             const Unit &unit,
                             std::uint64_t base)
{
    Reader r(elf, section.offset + offset, section.offset + section.size);
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
    const QHash<QByteArray, Section> found = sections(elf);
    const Section info = found.value(".debug_info");
    const Section abbrev = found.value(".debug_abbrev");
    const Section lines = found.value(".debug_line");
    const Section ranges = found.value(".debug_ranges");
    Unit unit;
    unit.elf = &elf;
    unit.strings = found.value(".debug_str");
    Reader units(elf, info.offset, info.offset + info.size);
    while (!units.atEnd()) {
        const std::uint64_t size = units.fixed(4);
        if (!units.ok() || size == 0xffffffff)
            break; // 64-bit debugging information is not written for these controllers
        const std::uint64_t start = std::uint64_t(units.pos());
        units.skip(size);
        Reader r(elf, start, start + size);
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
