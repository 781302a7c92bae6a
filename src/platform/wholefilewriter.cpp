#include "wholefilewriter.h"

#include "processgroup.h"

#include <QAtomicInt>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>

#include <cerrno>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace Platform {

namespace {

QString systemError()
{
    return QString::fromLocal8Bit(strerror(errno));
}

bool writeAll(int fd, const QByteArray &data)
{
    qint64 done = 0;
    while (done < data.size()) {
        const ssize_t put = ::write(fd, data.constData() + done, size_t(data.size() - done));
        if (put < 0 && errno == EINTR)
            continue;
        if (put <= 0) {
            if (put == 0)
                errno = ENOSPC;
            return false;
        }
        done += put;
    }
    return true;
}

// The name a new version has between being written and taking the file's place: hidden, and
// carrying the writer's process id, so that one left by a writer that was killed is known for
// what it is.
QString stagingName(const QString &fileName)
{
    static QAtomicInt counter;
    return QStringLiteral(".%1.dyxsave-%2-%3")
        .arg(fileName)
        .arg(QCoreApplication::applicationPid())
        .arg(counter.fetchAndAddRelaxed(1));
}

const QRegularExpression &stagingPattern()
{
    static const QRegularExpression pattern(QStringLiteral("^\\.(.+)\\.dyxsave-(\\d+)-\\d+$"));
    return pattern;
}

// In place, for a file in a folder the user may not create files in.
bool writeInPlace(const QString &path, const QByteArray &data, QString *errorString)
{
    const int fd = ::open(QFile::encodeName(path).constData(), O_WRONLY | O_TRUNC | O_CLOEXEC);
    const bool written = fd >= 0 && writeAll(fd, data) && fdatasync(fd) == 0;
    if (!written && errorString)
        *errorString = systemError();
    if (fd >= 0)
        ::close(fd);
    return written;
}

} // namespace

void removeStrayVersions(const QString &folder, const QString &fileName)
{
    // Read straight from the folder and matched on bytes: every save looks, and a project's
    // folder may hold hundreds of files.
    const QByteArray folderName = QFile::encodeName(folder);
    DIR *dir = ::opendir(folderName.constData());
    if (!dir)
        return;
    const QByteArray prefix = fileName.isEmpty() ? QByteArray(".")
                                                 : '.' + QFile::encodeName(fileName) + ".dyxsave-";
    while (const dirent *entry = ::readdir(dir)) {
        const QByteArray name(entry->d_name);
        if (!name.startsWith(prefix) || !name.contains(".dyxsave-"))
            continue;
        const QRegularExpressionMatch m = stagingPattern().match(QFile::decodeName(name));
        const qint64 writer = m.hasMatch() ? m.captured(2).toLongLong() : 0;
        // Only versions whose writer no longer runs: another copy of the program may be
        // writing this moment. Only files: a folder or a link of that name is left alone.
        struct stat st
        {};
        const QByteArray path = folderName + '/' + name;
        if (processHasEnded(writer) && ::lstat(path.constData(), &st) == 0 && S_ISREG(st.st_mode))
            ::unlink(path.constData());
    }
    ::closedir(dir);
}

bool writeWholeFile(const QString &path,
                    const QByteArray &data,
                    QString *errorString,
                    bool directWriteFallback)
{
    // A link is written through to its file, as an editor does; the link stays.
    QString target = path;
    const QFileInfo given(path);
    if (given.isSymLink())
        target = given.exists() ? given.canonicalFilePath() : given.symLinkTarget();
    const QFileInfo info(target);
    const QString folder = info.absolutePath();
    const QByteArray targetName = QFile::encodeName(info.absoluteFilePath());
    removeStrayVersions(folder, info.fileName());

    struct stat old
    {};
    const bool exists = ::stat(targetName.constData(), &old) == 0;
    if (exists && !S_ISREG(old.st_mode)) {
        if (errorString)
            *errorString = QCoreApplication::translate("Platform", "it is not a regular file");
        return false;
    }
    // A file the user edits that has other names (hard links), or is another user's, is written
    // in place where the user may write it: a new file in its place would leave the other names
    // on the old text, and would be this user's. One the user may not write is replaced, as the
    // folder allows. Files the program writes for itself are replaced: a file planted under
    // their name is not written through.
    if (directWriteFallback && exists && (old.st_nlink > 1 || old.st_uid != ::geteuid())
        && ::faccessat(AT_FDCWD, targetName.constData(), W_OK, AT_EACCESS) == 0)
        return writeInPlace(target, data, errorString);
    const QByteArray stagingPath = QFile::encodeName(
        QDir(folder).filePath(stagingName(info.fileName())));
    // The new version has no name until it is whole where the system allows it, so that a
    // crash leaves nothing behind.
    bool named = false;
    int fd = ::open(QFile::encodeName(folder).constData(), O_TMPFILE | O_WRONLY | O_CLOEXEC, 0666);
    if (fd < 0 && errno != EACCES && errno != EROFS && errno != ENOSPC && errno != EDQUOT) {
        fd = ::open(stagingPath.constData(),
                    O_CREAT | O_EXCL | O_WRONLY | O_NOFOLLOW | O_CLOEXEC,
                    0666);
        named = fd >= 0;
    }
    if (fd < 0) {
        if (directWriteFallback && exists && (errno == EACCES || errno == EROFS))
            return writeInPlace(target, data, errorString);
        if (errorString)
            *errorString = systemError();
        return false;
    }
    // The new version keeps the file's group, or the file is written in place (a group of
    // which this user is no member) where the user may; and its permissions.
    if (exists && ::fchown(fd, uid_t(-1), old.st_gid) != 0 && directWriteFallback
        && ::faccessat(AT_FDCWD, targetName.constData(), W_OK, AT_EACCESS) == 0) {
        ::close(fd);
        if (named)
            ::unlink(stagingPath.constData());
        return writeInPlace(target, data, errorString);
    }
    if (exists)
        fchmod(fd, old.st_mode & 07777);
    bool written = writeAll(fd, data) && fdatasync(fd) == 0;
    if (written && !named) {
        const QByteArray handle = "/proc/self/fd/" + QByteArray::number(fd);
        written = ::linkat(AT_FDCWD,
                           handle.constData(),
                           AT_FDCWD,
                           stagingPath.constData(),
                           AT_SYMLINK_FOLLOW)
                  == 0;
        named = written;
    }
    written = written && ::rename(stagingPath.constData(), targetName.constData()) == 0;
    const int reason = errno;
    ::close(fd);
    if (written)
        return true;
    if (named)
        ::unlink(stagingPath.constData());
    if (errorString) {
        errno = reason;
        *errorString = systemError();
    }
    return false;
}

} // namespace Platform
