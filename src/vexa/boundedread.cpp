#include "boundedread.h"

#include <QCoreApplication>
#include <QFile>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

static QString tr(const char *text)
{
    return QCoreApplication::translate("BoundedRead", text);
}

bool readBoundedFile(const QString &path, qint64 maxBytes, QByteArray &data, QString *why)
{
    data.clear();
    // Opened without waiting for a writer, then looked at through the descriptor itself, so
    // that nothing swapped in between is read.
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        *why = QString::fromLocal8Bit(std::strerror(errno));
        return false;
    }
    struct stat status
    {};
    bool good = ::fstat(fd, &status) == 0;
    if (good && !S_ISREG(status.st_mode)) {
        *why = tr("it is not a regular file");
        good = false;
    } else if (good && status.st_size > maxBytes) {
        *why = tr("it is larger than %1 bytes").arg(maxBytes);
        good = false;
    }
    while (good && data.size() <= maxBytes) {
        char buffer[65536];
        const ssize_t got = ::read(fd, buffer, sizeof buffer);
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0) {
            *why = QString::fromLocal8Bit(std::strerror(errno));
            good = false;
        } else if (got == 0) {
            break;
        } else {
            data.append(buffer, int(got));
        }
    }
    ::close(fd);
    // A file that grows while it is read still stops at the bound.
    if (good && data.size() > maxBytes) {
        *why = tr("it is larger than %1 bytes").arg(maxBytes);
        good = false;
    }
    if (!good)
        data.clear();
    return good;
}
