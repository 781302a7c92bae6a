#include "elffile.h"

#include <algorithm>
#include <optional>

ByteReader::ByteReader(const QByteArray &data, std::uint64_t from, std::uint64_t to)
    : m_data(data)
    , m_end(qsizetype(std::min<std::uint64_t>(to, std::uint64_t(data.size()))))
    , m_pos(qsizetype(std::min<std::uint64_t>(from, std::uint64_t(m_end))))
{
    m_ok = from <= to && to <= std::uint64_t(data.size());
}

std::uint64_t ByteReader::fixed(int bytes)
{
    if (!take(bytes))
        return 0;
    std::uint64_t value = 0;
    for (int i = 0; i < bytes; ++i)
        value |= std::uint64_t(std::uint8_t(m_data.at(m_pos - bytes + i))) << (8 * i);
    return value;
}

std::uint64_t ByteReader::uleb()
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

QByteArray ByteReader::text()
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

void ByteReader::skip(std::uint64_t bytes)
{
    if (bytes > std::uint64_t(m_end - m_pos))
        fail();
    else
        m_pos += qsizetype(bytes);
}

bool ByteReader::take(qsizetype bytes)
{
    if (!m_ok || bytes > m_end - m_pos) {
        fail();
        return false;
    }
    m_pos += bytes;
    return true;
}

void ByteReader::fail()
{
    m_ok = false;
    m_pos = m_end;
}

namespace {

bool isElf32LittleEndian(const QByteArray &elf)
{
    return elf.startsWith("\x7f"
                          "ELF\x01\x01");
}

// One of the file's tables (of segments or of sections) as the file's header places it.
struct Table
{
    std::uint64_t start = 0;
    std::uint64_t entrySize = 0;
    std::uint64_t entries = 0;

    // The first bytes of an entry.
    ByteReader entry(const QByteArray &elf, std::uint64_t index, std::uint64_t bytes) const
    {
        return ByteReader(elf, start + index * entrySize, start + index * entrySize + bytes);
    }
};

// The table whose start the header gives at startAt, and its entries' size and number at
// sizesAt; none in a file that is no 32-bit little-endian ELF file, or with entries shorter
// than the bytes read of each.
std::optional<Table> table(const QByteArray &elf,
                           std::uint64_t startAt,
                           std::uint64_t sizesAt,
                           std::uint64_t bytes)
{
    ByteReader start(elf, startAt, startAt + 4);
    ByteReader sizes(elf, sizesAt, sizesAt + 4);
    const Table found{start.fixed(4), sizes.fixed(2), sizes.fixed(2)};
    if (!isElf32LittleEndian(elf) || !start.ok() || !sizes.ok() || found.entrySize < bytes)
        return std::nullopt;
    return found;
}

} // namespace

bool isLinkedElf(const QByteArray &elf)
{
    constexpr std::uint64_t executable = 2;
    ByteReader type(elf, 16, 18);
    return isElf32LittleEndian(elf) && type.fixed(2) == executable && type.ok();
}

QList<ElfSegment> elfSegments(const QByteArray &elf)
{
    QList<ElfSegment> found;
    constexpr std::uint64_t programHeaderSize = 32;
    const std::optional<Table> segments = table(elf, 28, 42, programHeaderSize);
    for (std::uint64_t i = 0; segments && i < segments->entries; ++i) {
        ByteReader r = segments->entry(elf, i, programHeaderSize);
        ElfSegment segment;
        segment.type = std::uint32_t(r.fixed(4));
        segment.offset = r.fixed(4);
        r.skip(4); // its virtual address
        segment.address = r.fixed(4);
        segment.size = r.fixed(4);
        if (!r.ok())
            break;
        found.append(segment);
    }
    return found;
}

QList<ElfSection> elfSections(const QByteArray &elf)
{
    QList<ElfSection> found;
    constexpr std::uint64_t sectionHeaderSize = 40;
    const std::optional<Table> sections = table(elf, 32, 46, sectionHeaderSize);
    ByteReader namesIndex(elf, 50, 52);
    const std::uint64_t namesEntry = namesIndex.fixed(2);
    if (!sections || !namesIndex.ok() || namesEntry >= sections->entries)
        return found;
    // Its name's place in the names section, and the rest.
    const auto entry = [&](std::uint64_t index, std::uint64_t *name) {
        ByteReader r = sections->entry(elf, index, sectionHeaderSize);
        *name = r.fixed(4);
        ElfSection section;
        section.type = std::uint32_t(r.fixed(4));
        r.skip(8);
        section.offset = r.fixed(4);
        section.size = r.fixed(4);
        return r.ok() ? section : ElfSection();
    };
    std::uint64_t unused = 0;
    const ElfSection names = entry(namesEntry, &unused);
    if (!names.inFile(elf))
        return found;
    for (std::uint64_t i = 0; i < sections->entries; ++i) {
        std::uint64_t name = 0;
        ElfSection section = entry(i, &name);
        ByteReader nameReader(elf, names.offset + name, names.offset + names.size);
        section.name = nameReader.text();
        if (nameReader.ok())
            found.append(section);
    }
    return found;
}
