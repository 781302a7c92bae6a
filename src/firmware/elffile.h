#pragma once

#include <QByteArray>
#include <QList>

#include <cstdint>

// Reads little-endian values and strings from a part of a file; a read past the part's end
// stops the reader (ok() false) and gives zero or nothing.
class ByteReader
{
public:
    ByteReader(const QByteArray &data, std::uint64_t from, std::uint64_t to);

    bool ok() const { return m_ok; }
    bool atEnd() const { return !m_ok || m_pos >= m_end; }
    qsizetype pos() const { return m_pos; }
    qsizetype end() const { return m_end; }

    std::uint64_t fixed(int bytes);
    std::uint64_t uleb(); // an unsigned LEB128 number
    QByteArray text();    // up to the next zero byte, which it passes
    void skip(std::uint64_t bytes);

private:
    bool take(qsizetype bytes);
    void fail();

    const QByteArray &m_data;
    qsizetype m_end;
    qsizetype m_pos;
    bool m_ok = true;
};

// A section of a 32-bit little-endian ELF file, as its section table describes it.
struct ElfSection
{
    static constexpr std::uint32_t noBits = 8; // takes no room in the file (.bss)

    QByteArray name;
    std::uint32_t type = 0;
    std::uint64_t offset = 0;
    std::uint64_t size = 0;

    // Whether its bytes are in the file, every one of them.
    bool inFile(const QByteArray &elf) const
    {
        return type != noBits && offset + size <= std::uint64_t(elf.size());
    }
};

// A segment of a 32-bit little-endian ELF file, as its program header table describes it.
struct ElfSegment
{
    static constexpr std::uint32_t loadable = 1;

    std::uint32_t type = 0;
    std::uint64_t offset = 0;  // in the file
    std::uint64_t address = 0; // where it is loaded (its physical address)
    std::uint64_t size = 0;    // its bytes in the file
};

// The segments of a 32-bit little-endian ELF file, in the order of its table; a file that is no
// such ELF file has none, and the table ends where the file does.
QList<ElfSegment> elfSegments(const QByteArray &elf);
// The sections of a 32-bit little-endian ELF file, in the order of its table; those whose
// name cannot be read are left out, and a file that is no such ELF file has none.
QList<ElfSection> elfSections(const QByteArray &elf);
// Whether the file is such an ELF file, and a linked one (an executable, not an object file).
bool isLinkedElf(const QByteArray &elf);
