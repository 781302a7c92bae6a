#include "ptyconsole.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

PtyConsole::~PtyConsole()
{
    close();
}

bool PtyConsole::openTerminal(QString *error)
{
    close();
    const auto fail = [this, error](const char *step) {
        *error
            = QCoreApplication::translate("PtyConsole",
                                          "No terminal is free for the engine's console (%1: %2).")
                  .arg(QLatin1String(step), QString::fromLocal8Bit(strerror(errno)));
        close();
        return false;
    };
    m_controller = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (m_controller < 0)
        return fail("posix_openpt");
    if (grantpt(m_controller) != 0 || unlockpt(m_controller) != 0)
        return fail("unlockpt");
    char name[128];
    if (ptsname_r(m_controller, name, sizeof name) != 0)
        return fail("ptsname");
    m_terminal = ::open(name, O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (m_terminal < 0)
        return fail("open");
    // The system lets the terminal's group write to it; nobody but this user may.
    if (fchmod(m_terminal, S_IRUSR | S_IWUSR) != 0)
        return fail("fchmod");
    termios raw{};
    if (tcgetattr(m_terminal, &raw) != 0)
        return fail("tcgetattr");
    cfmakeraw(&raw);
    if (tcsetattr(m_terminal, TCSANOW, &raw) != 0)
        return fail("tcsetattr");
    const int flags = fcntl(m_controller, F_GETFL);
    if (flags < 0 || fcntl(m_controller, F_SETFL, flags | O_NONBLOCK) != 0)
        return fail("fcntl");
    m_terminalName = QFile::decodeName(name);
    return QIODevice::open(QIODevice::ReadWrite | QIODevice::Unbuffered);
}

void PtyConsole::close()
{
    if (isOpen())
        QIODevice::close();
    if (m_terminal >= 0)
        ::close(m_terminal);
    if (m_controller >= 0)
        ::close(m_controller);
    m_terminal = m_controller = -1;
    m_terminalName.clear();
}

qint64 PtyConsole::bytesAvailable() const
{
    int waiting = 0;
    if (m_controller >= 0 && ioctl(m_controller, FIONREAD, &waiting) != 0)
        waiting = 0;
    return QIODevice::bytesAvailable() + waiting;
}

qint64 PtyConsole::unreadByTerminal() const
{
    int waiting = 0;
    if (m_terminal < 0 || ioctl(m_terminal, FIONREAD, &waiting) != 0)
        return 0;
    return waiting;
}

bool PtyConsole::waitForReadyRead(int msecs)
{
    if (m_controller < 0)
        return false;
    pollfd watched{m_controller, POLLIN, 0};
    int ready;
    do {
        ready = poll(&watched, 1, msecs < 0 ? -1 : msecs);
    } while (ready < 0 && errno == EINTR);
    return ready > 0 && (watched.revents & POLLIN);
}

bool PtyConsole::waitForBytesWritten(int)
{
    // Every write is on its way to the terminal when writeData returns.
    return m_controller >= 0;
}

qint64 PtyConsole::readData(char *data, qint64 maxSize)
{
    if (m_controller < 0)
        return -1;
    ssize_t got;
    do {
        got = ::read(m_controller, data, size_t(maxSize));
    } while (got < 0 && errno == EINTR);
    // Nothing there yet (or nobody on the terminal side) reads as nothing.
    return got < 0 ? 0 : qint64(got);
}

qint64 PtyConsole::writeData(const char *data, qint64 maxSize)
{
    if (m_controller < 0)
        return -1;
    // Commands are short; a terminal whose reader stalls for a second takes no more.
    QElapsedTimer timer;
    timer.start();
    qint64 done = 0;
    while (done < maxSize) {
        const ssize_t put = ::write(m_controller, data + done, size_t(maxSize - done));
        if (put > 0) {
            done += put;
            continue;
        }
        if (put < 0 && errno != EAGAIN && errno != EINTR)
            return done > 0 ? done : -1;
        const qint64 left = 1000 - timer.elapsed();
        if (left <= 0)
            break;
        pollfd watched{m_controller, POLLOUT, 0};
        poll(&watched, 1, int(left));
    }
    return done;
}
