#pragma once

#include <csignal>
#include <sys/resource.h>

// A full disk for as long as it lives: no file of this process may grow beyond the given size
// (writes past it come back short, without the signal that would end the process). The limit
// and the signal's handling are restored at the end of the scope.
class FullDisk
{
public:
    explicit FullDisk(rlim_t bytes)
    {
        getrlimit(RLIMIT_FSIZE, &m_old);
        m_oldHandler = std::signal(SIGXFSZ, SIG_IGN);
        rlimit full = m_old;
        full.rlim_cur = bytes;
        m_active = setrlimit(RLIMIT_FSIZE, &full) == 0;
    }
    ~FullDisk() { end(); }
    FullDisk(const FullDisk &) = delete;
    FullDisk &operator=(const FullDisk &) = delete;

    bool isActive() const { return m_active; }
    void end()
    {
        if (!m_ended) {
            setrlimit(RLIMIT_FSIZE, &m_old);
            std::signal(SIGXFSZ, m_oldHandler);
            m_ended = true;
        }
    }

private:
    rlimit m_old{};
    void (*m_oldHandler)(int) = nullptr;
    bool m_active = false;
    bool m_ended = false;
};
