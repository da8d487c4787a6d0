#include "platform/StopSignals.h"

#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QSocketNotifier>
#include <cerrno>

namespace quellon {

namespace {

int gSignalFds[2] = {-1, -1};

// Only what is safe in a signal handler: one byte into a socket.
void onSignal(int) {
    const int saved = errno;
    const char c = 1;
    [[maybe_unused]] const ssize_t n = ::write(gSignalFds[0], &c, 1);
    errno = saved;
}

}  // namespace

void onStopSignals(std::function<void()> stop) {
    if (gSignalFds[0] >= 0 ||
        ::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0, gSignalFds) != 0)
        return;
    auto* notifier =
        new QSocketNotifier(gSignalFds[1], QSocketNotifier::Read, QCoreApplication::instance());
    QObject::connect(notifier, &QSocketNotifier::activated, notifier, [stop = std::move(stop)] {
        char buf[16];
        while (::read(gSignalFds[1], buf, sizeof buf) > 0) {
        }
        stop();
    });
    struct sigaction sa {};
    sa.sa_handler = onSignal;
    sigemptyset(&sa.sa_mask);
    sa.sa_flags = SA_RESTART;
    for (int sig : {SIGTERM, SIGINT, SIGHUP}) ::sigaction(sig, &sa, nullptr);
}

}  // namespace quellon
