#include "boundedfile.h"

#include <QCoreApplication>
#include <QCryptographicHash>
#include <QFile>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <memory>
#include <sys/stat.h>
#include <unistd.h>

namespace Platform {

namespace {

// Either refuses a file larger than maxBytes or, with cut, reads its first maxBytes.
bool readRegularFile(const QString &path,
                     qint64 maxBytes,
                     bool cut,
                     QByteArray &data,
                     QString *refusal,
                     QString *readError)
{
    data.clear();
    if (refusal)
        refusal->clear();
    const auto fail = [&data](QString *into, const QString &why) {
        if (into)
            *into = why;
        data.clear();
        return false;
    };
    const auto systemError = [] { return QString::fromLocal8Bit(std::strerror(errno)); };
    const auto tooLarge = [maxBytes] {
        return QCoreApplication::translate("Platform", "it is larger than %1 bytes").arg(maxBytes);
    };
    // Opened without waiting for a writer, then looked at through the descriptor itself, so
    // that nothing swapped in between (a FIFO, a link to a device) is read.
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return fail(readError, systemError());
    const std::shared_ptr<void> closing(nullptr, [fd](void *) { ::close(fd); });
    struct stat status
    {};
    if (::fstat(fd, &status) != 0)
        return fail(readError, systemError());
    if (!S_ISREG(status.st_mode))
        return fail(refusal, QCoreApplication::translate("Platform", "it is not a regular file"));
    if (status.st_size > maxBytes && !cut)
        return fail(refusal, tooLarge());
    // A file that grows while it is read still stops at the bound.
    while (data.size() <= maxBytes) {
        char buffer[65536];
        const ssize_t got = ::read(fd, buffer, sizeof buffer);
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0)
            return fail(readError, systemError());
        if (got == 0)
            return true;
        data.append(buffer, qsizetype(got));
    }
    if (cut) {
        data.truncate(qsizetype(maxBytes));
        return true;
    }
    return fail(refusal, tooLarge());
}

} // namespace

bool readBoundedFile(
    const QString &path, qint64 maxBytes, QByteArray &data, QString *refusal, QString *readError)
{
    return readRegularFile(path, maxBytes, false, data, refusal, readError);
}

bool readFileStart(const QString &path, qint64 count, QByteArray &data)
{
    return readRegularFile(path, count, true, data, nullptr, nullptr);
}

QByteArray fileDigest(const QString &path, qint64 maxBytes)
{
    QByteArray bytes;
    if (!readBoundedFile(path, maxBytes, bytes, nullptr))
        return QByteArray();
    return bytesDigest(bytes);
}

QByteArray bytesDigest(const QByteArray &bytes)
{
    return QCryptographicHash::hash(bytes, QCryptographicHash::Sha1);
}

} // namespace Platform
