#include "hexfile.h"

#include "platform/boundedfile.h"

#include <QCoreApplication>

#include <algorithm>
#include <map>

static QString tr(const char *text)
{
    return QCoreApplication::translate("HexImage", text);
}

std::uint32_t HexImage::endAddress() const
{
    std::uint32_t end = 0;
    for (const HexChunk &chunk : chunks)
        end = std::max<std::uint32_t>(end, chunk.address + std::uint32_t(chunk.data.size()));
    return end;
}

HexImage HexImage::read(const QString &path)
{
    QByteArray text;
    QString why;
    // No firmware of an 8-bit controller comes near this; a bigger file is not one.
    if (!Platform::readBoundedFile(path, 64 * 1024 * 1024, text, &why, &why)) {
        HexImage image;
        image.error = tr("Cannot read the firmware file %1: %2").arg(path, why);
        return image;
    }
    HexImage image = parse(text);
    if (!image.error.isEmpty())
        image.error = tr("The firmware file %1 is not a valid Intel HEX file: %2")
                          .arg(path, image.error);
    return image;
}

static int hexValue(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    return -1;
}

HexImage HexImage::parse(const QByteArray &text)
{
    HexImage image;
    std::map<std::uint32_t, std::uint8_t> bytes;
    std::uint32_t base = 0;
    bool ended = false;
    int lineNumber = 0;
    for (QByteArray line : text.split('\n')) {
        ++lineNumber;
        line = line.trimmed();
        if (line.isEmpty())
            continue;
        if (ended) {
            image.error = tr("line %1 follows the end-of-file record").arg(lineNumber);
            return image;
        }
        if (line.at(0) != ':' || line.size() < 11 || (line.size() - 1) % 2 != 0) {
            image.error = tr("line %1 is not a record").arg(lineNumber);
            return image;
        }
        QByteArray record;
        for (int i = 1; i < line.size(); i += 2) {
            const int high = hexValue(line.at(i));
            const int low = hexValue(line.at(i + 1));
            if (high < 0 || low < 0) {
                image.error = tr("line %1 holds a character that is not hexadecimal").arg(lineNumber);
                return image;
            }
            record.append(char(high * 16 + low));
        }
        const auto byteAt = [&record](int i) { return std::uint8_t(record.at(i)); };
        const int count = byteAt(0);
        if (record.size() != count + 5) {
            image.error = tr("line %1 has the wrong length").arg(lineNumber);
            return image;
        }
        std::uint8_t sum = 0;
        for (const char c : record)
            sum = std::uint8_t(sum + std::uint8_t(c));
        if (sum != 0) {
            image.error = tr("line %1 has a bad checksum").arg(lineNumber);
            return image;
        }
        const std::uint32_t offset = (byteAt(1) << 8) | byteAt(2);
        switch (byteAt(3)) {
        case 0:
            for (int i = 0; i < count; ++i)
                bytes[base + offset + std::uint32_t(i)] = byteAt(4 + i);
            break;
        case 1:
            ended = true;
            break;
        case 2:
            if (count != 2) {
                image.error = tr("line %1 is a bad segment record").arg(lineNumber);
                return image;
            }
            base = ((byteAt(4) << 8) | byteAt(5)) << 4;
            break;
        case 4:
            if (count != 2) {
                image.error = tr("line %1 is a bad address record").arg(lineNumber);
                return image;
            }
            base = std::uint32_t((byteAt(4) << 8) | byteAt(5)) << 16;
            break;
        case 3:
        case 5:
            break; // start addresses: the controllers start at their reset vector
        default:
            image.error = tr("line %1 has an unknown record type").arg(lineNumber);
            return image;
        }
    }
    if (!ended) {
        image.error = bytes.empty() && lineNumber <= 1 ? tr("the file is empty")
                                                       : tr("the end-of-file record is missing "
                                                            "(the file is truncated)");
        return image;
    }
    for (const auto &[address, value] : bytes) {
        if (image.chunks.isEmpty()
            || image.chunks.last().address + std::uint32_t(image.chunks.last().data.size())
                   != address) {
            image.chunks.append(HexChunk{address, QByteArray()});
        }
        image.chunks.last().data.append(char(value));
    }
    return image;
}

QByteArray HexImage::flat() const
{
    QByteArray bytes(qsizetype(endAddress()), '\xff');
    for (const HexChunk &chunk : chunks)
        bytes.replace(chunk.address, chunk.data.size(), chunk.data);
    return bytes;
}
