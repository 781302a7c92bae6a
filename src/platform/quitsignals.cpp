#include "quitsignals.h"

#include <QObject>
#include <QSocketNotifier>

#include <csignal>
#include <fcntl.h>
#include <unistd.h>

namespace {

int quitPipe[2] = {-1, -1};

extern "C" void wakeOnQuitSignal(int)
{
    const char byte = 'q';
    [[maybe_unused]] const ssize_t written = write(quitPipe[1], &byte, 1);
}

} // namespace

void Platform::onQuitSignals(QObject *context, std::function<void()> then)
{
    if (quitPipe[0] < 0 && pipe2(quitPipe, O_CLOEXEC | O_NONBLOCK) != 0)
        return;
    auto *notifier = new QSocketNotifier(quitPipe[0], QSocketNotifier::Read, context);
    QObject::connect(notifier, &QSocketNotifier::activated, context, [then = std::move(then)] {
        char bytes[16];
        while (read(quitPipe[0], bytes, sizeof bytes) > 0) {
        }
        then();
    });
    struct sigaction action
    {};
    action.sa_handler = wakeOnQuitSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (const int signal : {SIGTERM, SIGHUP, SIGINT})
        sigaction(signal, &action, nullptr);
}
