#pragma once

#include <QByteArray>
#include <QString>

namespace Platform {

// Reads a whole file that the program parses, refusing what is no regular file (a FIFO would
// block for ever, a device such as /dev/zero never ends) and what is larger than maxBytes.
// False when the file cannot be read; refusal then says why, and stays empty when the file is
// merely missing or unreadable, which readError tells in the system's words.
bool readBoundedFile(const QString &path,
                     qint64 maxBytes,
                     QByteArray &data,
                     QString *refusal,
                     QString *readError = nullptr);

// The first count bytes of a regular file (all of a shorter one), refusing what readBoundedFile
// refuses but its size.
bool readFileStart(const QString &path, qint64 count, QByteArray &data);

// A digest of what readBoundedFile reads; empty when it cannot read the file.
QByteArray fileDigest(const QString &path, qint64 maxBytes);
// The digest of bytes as fileDigest makes it.
QByteArray bytesDigest(const QByteArray &bytes);

// Sizes suited to each kind of file.
constexpr qint64 maxXmlFileBytes = 16 * 1024 * 1024;
constexpr qint64 maxSyntaxFileBytes = 1024 * 1024;
constexpr qint64 maxSourceFileBytes = 256 * 1024 * 1024;
// What a compiler writes of its messages to a file of its own.
constexpr qint64 maxMessageFileBytes = 16 * 1024 * 1024;

} // namespace Platform
