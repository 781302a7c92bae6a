#include "elffile.h"

#include <algorithm>

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

static bool isElf32LittleEndian(const QByteArray &elf)
{
    return elf.startsWith("\x7f"
                          "ELF\x01\x01");
}

bool isLinkedElf(const QByteArray &elf)
{
    constexpr std::uint64_t executable = 2;
    ByteReader type(elf, 16, 18);
    return isElf32LittleEndian(elf) && type.fixed(2) == executable && type.ok();
}

QList<ElfSegment> elfSegments(const QByteArray &elf)
{
    QList<ElfSegment> found;
    if (!isElf32LittleEndian(elf))
        return found;
    ByteReader header(elf, 28, 46);
    const std::uint64_t table = header.fixed(4);
    header.skip(10);
    const std::uint64_t entrySize = header.fixed(2);
    const std::uint64_t entries = header.fixed(2);
    constexpr std::uint64_t programHeaderSize = 32;
    if (!header.ok() || entrySize < programHeaderSize)
        return found;
    for (std::uint64_t i = 0; i < entries; ++i) {
        ByteReader r(elf, table + i * entrySize, table + i * entrySize + programHeaderSize);
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
    if (!isElf32LittleEndian(elf))
        return found;
    ByteReader header(elf, 32, 52);
    const std::uint64_t table = header.fixed(4);
    header.skip(10);
    const std::uint64_t entrySize = header.fixed(2);
    const std::uint64_t entries = header.fixed(2);
    const std::uint64_t namesIndex = header.fixed(2);
    constexpr std::uint64_t sectionHeaderSize = 40;
    if (!header.ok() || entrySize < sectionHeaderSize || namesIndex >= entries)
        return found;
    // Its name's place in the names section, and the rest.
    const auto entry = [&](std::uint64_t index, std::uint64_t *name) {
        ByteReader r(elf, table + index * entrySize, table + index * entrySize + sectionHeaderSize);
        *name = r.fixed(4);
        ElfSection section;
        section.type = std::uint32_t(r.fixed(4));
        r.skip(8);
        section.offset = r.fixed(4);
        section.size = r.fixed(4);
        return r.ok() ? section : ElfSection();
    };
    std::uint64_t unused = 0;
    ElfSection names = entry(namesIndex, &unused);
    if (!names.inFile(elf))
        return found;
    for (std::uint64_t i = 0; i < entries; ++i) {
        std::uint64_t name = 0;
        ElfSection section = entry(i, &name);
        ByteReader nameReader(elf, names.offset + name, names.offset + names.size);
        section.name = nameReader.text();
        if (nameReader.ok())
            found.append(section);
    }
    return found;
}
