#include "platform/qt/termination_signals.h"

#include <QSocketNotifier>

#include <cerrno>
#include <csignal>

#include <fcntl.h>
#include <unistd.h>

namespace platform {

namespace {
constexpr int kSignals[] = {SIGTERM, SIGHUP};
// The write end, for the handler: a plain int, read once per signal.
volatile sig_atomic_t g_write_fd = -1;
struct sigaction g_previous[2];

void OnSignal(int signo) {
    const int saved = errno;
    const int fd = g_write_fd;
    if (fd >= 0) {
        const unsigned char byte = static_cast<unsigned char>(signo);
        // Async-signal-safe; a full pipe already holds a stop to act on.
        [[maybe_unused]] const ssize_t n = ::write(fd, &byte, 1);
    }
    errno = saved;
}

const char* SignalName(int signo) {
    switch (signo) {
    case SIGTERM: return "SIGTERM";
    case SIGHUP: return "SIGHUP";
    default: return "a signal";
    }
}
}  // namespace

TerminationSignals::TerminationSignals(std::function<void(const std::string&)> handler)
    : handler_(std::move(handler)) {
    if (g_write_fd >= 0) return;  // another instance has them
    if (::pipe2(fds_, O_NONBLOCK | O_CLOEXEC) != 0) return;
    g_write_fd = fds_[1];
    notifier_ = std::make_unique<QSocketNotifier>(fds_[0], QSocketNotifier::Read);
    connect(notifier_.get(), &QSocketNotifier::activated, this, [this] { Drain(); });
    struct sigaction sa {};
    sa.sa_handler = OnSignal;
    sigemptyset(&sa.sa_mask);
    sa.sa_flags = SA_RESTART;
    installed_ = true;
    for (size_t i = 0; i < std::size(kSignals); ++i)
        if (::sigaction(kSignals[i], &sa, &g_previous[i]) != 0) installed_ = false;
}

TerminationSignals::~TerminationSignals() {
    if (fds_[1] < 0) return;
    for (size_t i = 0; i < std::size(kSignals); ++i) ::sigaction(kSignals[i], &g_previous[i], nullptr);
    g_write_fd = -1;
    notifier_.reset();
    ::close(fds_[0]);
    ::close(fds_[1]);
}

void TerminationSignals::Drain() {
    unsigned char bytes[16];
    for (;;) {
        const ssize_t n = ::read(fds_[0], bytes, sizeof bytes);
        if (n <= 0) break;
        for (ssize_t i = 0; i < n; ++i)
            if (handler_) handler_(SignalName(bytes[i]));
    }
}

}  // namespace platform
