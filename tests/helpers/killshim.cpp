// Preloaded into a program under test, ends it with SIGKILL at the N-th step that puts data on
// disk (N from DYX_KILL_AT): a write to a regular file, a sync, a link or a rename. Without
// DYX_KILL_AT, or once the count is past, the program goes on undisturbed.
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <dlfcn.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

long stepsLeft()
{
    static long left = [] {
        const char *at = std::getenv("DYX_KILL_AT");
        return at ? std::atol(at) : -1L;
    }();
    return left;
}

void step()
{
    static long count = 0;
    if (stepsLeft() > 0 && ++count == stepsLeft())
        ::kill(::getpid(), SIGKILL);
}

template<typename Function>
Function next(const char *name)
{
    return reinterpret_cast<Function>(dlsym(RTLD_NEXT, name));
}

} // namespace

extern "C" {

ssize_t write(int fd, const void *data, size_t size)
{
    static const auto real = next<ssize_t (*)(int, const void *, size_t)>("write");
    struct stat status;
    const int saved = errno;
    if (fstat(fd, &status) == 0 && S_ISREG(status.st_mode))
        step();
    errno = saved;
    return real(fd, data, size);
}

int fsync(int fd)
{
    static const auto real = next<int (*)(int)>("fsync");
    step();
    return real(fd);
}

int fdatasync(int fd)
{
    static const auto real = next<int (*)(int)>("fdatasync");
    step();
    return real(fd);
}

int linkat(int fromFolder, const char *from, int toFolder, const char *to, int flags)
{
    static const auto real = next<int (*)(int, const char *, int, const char *, int)>("linkat");
    step();
    return real(fromFolder, from, toFolder, to, flags);
}

int rename(const char *from, const char *to)
{
    static const auto real = next<int (*)(const char *, const char *)>("rename");
    step();
    return real(from, to);
}

int renameat2(int fromFolder, const char *from, int toFolder, const char *to, unsigned flags)
{
    static const auto real = next<int (*)(int, const char *, int, const char *, unsigned)>(
        "renameat2");
    step();
    return real(fromFolder, from, toFolder, to, flags);
}
}
