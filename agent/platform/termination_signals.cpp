#include "platform/termination_signals.h"

#include <fcntl.h>
#include <pthread.h>
#include <sys/socket.h>
#include <unistd.h>
#include <cerrno>
#include <csignal>

namespace qv {

namespace {
int gWriteFd = -1;

sigset_t terminationSet() {
    sigset_t set;
    sigemptyset(&set);
    for (int sig : {SIGTERM, SIGINT, SIGHUP}) sigaddset(&set, sig);
    return set;
}

// Async-signal-safe: one byte into the socket; the main loop does the rest.
void onSignal(int) {
    const int saved = errno;
    const char byte = 1;
    [[maybe_unused]] auto n = ::write(gWriteFd, &byte, 1);
    errno = saved;
}
}  // namespace

void holdTerminationSignals() {
    const sigset_t set = terminationSet();
    ::pthread_sigmask(SIG_BLOCK, &set, nullptr);
}

TerminationSignals::TerminationSignals() {
    const sigset_t held = terminationSet();
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0, fds_) != 0) {
        ::pthread_sigmask(SIG_UNBLOCK, &held, nullptr);
        return;
    }
    gWriteFd = fds_[0];
    notifier_ = std::make_unique<QSocketNotifier>(fds_[1], QSocketNotifier::Read);
    connect(notifier_.get(), &QSocketNotifier::activated, this, [this] {
        char buffer[16];
        while (::read(fds_[1], buffer, sizeof buffer) > 0) {
        }
        emit terminationRequested();
    });
    struct sigaction action = {};
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (int sig : {SIGTERM, SIGINT, SIGHUP}) ::sigaction(sig, &action, nullptr);
    // A signal held back since start-up is handled now, by the handler just installed.
    ::pthread_sigmask(SIG_UNBLOCK, &held, nullptr);
}

TerminationSignals::~TerminationSignals() {
    struct sigaction action = {};
    action.sa_handler = SIG_DFL;
    for (int sig : {SIGTERM, SIGINT, SIGHUP}) ::sigaction(sig, &action, nullptr);
    gWriteFd = -1;
    notifier_.reset();
    for (int fd : fds_)
        if (fd >= 0) ::close(fd);
}

}  // namespace qv
