#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

#include <cstdint>

// An Intel HEX firmware file, read whole and checked before anything of it is loaded: every
// record's form and checksum, and the end-of-file record.
struct HexChunk
{
    std::uint32_t address = 0;
    QByteArray data;
};

struct HexImage
{
    QList<HexChunk> chunks; // contiguous runs in ascending address order
    QString error;          // empty when the file is good

    std::uint32_t endAddress() const; // one past the highest address used
    // The image from address 0 to its end, unused bytes erased (0xff).
    QByteArray flat() const;
    static HexImage read(const QString &path);
    static HexImage parse(const QByteArray &text);
};
