#include "tests/support/threaded_receiver.h"

#include "platform/qt/program_folder.h"
#include "tests/support/emulated_receiver.h"
#include "tests/support/qt_app.h"

#include <QCoreApplication>
#include <QSocketNotifier>
#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <deque>
#include <fcntl.h>
#include <fstream>
#include <memory>
#include <mutex>
#include <poll.h>
#include <pty.h>
#include <sys/eventfd.h>
#include <stdexcept>
#include <termios.h>
#include <unistd.h>

namespace test {

namespace {
class GuiWorkPump;
GuiWorkPump& GuiPump();
}  // namespace

int64_t ThreadedReceiver::SteadyUs() {
    using namespace std::chrono;
    return duration_cast<microseconds>(steady_clock::now().time_since_epoch()).count();
}

ThreadedReceiver::ThreadedReceiver(Plan plan) : plan_(std::move(plan)), fix_delay_ms_(plan_.fix_delay_ms) {
    EnsureApp();
    GuiPump();
    char name[256] = {};
    struct termios raw {};
    cfmakeraw(&raw);
    if (::openpty(&master_, &slave_, name, &raw, nullptr) != 0) throw std::runtime_error("openpty failed");
    path_ = name;
    // The slave stays open here too, so the terminal lives while the bench
    // closes and reopens its port.
    ::tcsetattr(slave_, TCSANOW, &raw);
    ::fcntl(master_, F_SETFL, ::fcntl(master_, F_GETFL) | O_NONBLOCK);
    ::fcntl(master_, F_SETFD, FD_CLOEXEC);
    ::fcntl(slave_, F_SETFD, FD_CLOEXEC);
    if (::pipe2(wake_, O_CLOEXEC | O_NONBLOCK) != 0) throw std::runtime_error("pipe failed");
    thread_ = std::thread([this] { Run(); });
}

ThreadedReceiver::~ThreadedReceiver() {
    stop_ = true;
    const char b = 1;
    [[maybe_unused]] ssize_t n = ::write(wake_[1], &b, 1);
    thread_.join();
    for (int fd : {master_, slave_, wake_[0], wake_[1]})
        if (fd >= 0) ::close(fd);
}

void ThreadedReceiver::RegisterPort(int number) {
    std::ofstream out(platform::ProgramFile("ComPorts.txt"), std::ios::app);
    out << number << ' ' << path_ << '\n';
}

void ThreadedReceiver::SetBeforeStartup(std::function<void()> hook) {
    std::lock_guard lock(mutex_);
    before_startup_ = std::move(hook);
}

void ThreadedReceiver::SetBeforeFix(std::function<void()> hook) {
    std::lock_guard lock(mutex_);
    before_fix_ = std::move(hook);
}

std::vector<double> ThreadedReceiver::WrittenTtffs() const {
    std::lock_guard lock(mutex_);
    return ttffs_;
}

double ThreadedReceiver::WrittenTtff() const {
    const int64_t start = startup_us_, fix = fix_us_;
    if (start < 0 || fix < start) return -1;
    return static_cast<double>(fix - start) / 1e6;
}

// A receiver's UART sends whether or not anyone listens: what the terminal
// cannot take now is dropped rather than waited for.
void ThreadedReceiver::Send(const std::string& bytes) {
    size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(master_, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return;
        done += static_cast<size_t>(n);
    }
}

std::string ThreadedReceiver::Gga() const {
    using namespace std::chrono;
    const auto ms = duration_cast<milliseconds>(system_clock::now().time_since_epoch()).count();
    const long long day_ms = ms % 86'400'000;
    char time[16];
    std::snprintf(time, sizeof time, "%02lld%02lld%02lld.%02lld", day_ms / 3'600'000, day_ms / 60'000 % 60,
                  day_ms / 1000 % 60, day_ms % 1000 / 10);
    const std::string t(time);
    if (has_fix_) return Sentence("$GPGGA," + t + ",4807.038,N,01131.000,E,1,08,0.9,545.4,M,46.9,M,,");
    return Sentence("$GPGGA," + t + ",,,,,0,00,99.9,,M,,M,,");
}

void ThreadedReceiver::Run() {
    const int64_t period_us = static_cast<int64_t>(plan_.gga_interval_ms) * 1000;
    int64_t next_gga = SteadyUs() + period_us;
    int64_t fix_at = -1;
    std::string line;
    auto hook = [this](const std::function<void()> ThreadedReceiver::*which) {
        std::function<void()> h;
        {
            std::lock_guard lock(mutex_);
            h = this->*which;
        }
        if (h) h();
    };
    while (!stop_) {
        const int64_t now = SteadyUs();
        int64_t until = next_gga;
        if (fix_at >= 0) until = std::min(until, fix_at);
        const int timeout_ms = static_cast<int>(std::max<int64_t>(0, (until - now + 999) / 1000));
        pollfd fds[2] = {{wake_[0], POLLIN, 0}, {master_, POLLIN, 0}};
        if (::poll(fds, 2, timeout_ms) < 0 && errno != EINTR) return;
        if (stop_) return;
        if (fds[1].revents & POLLIN) {
            char buf[4096];
            const ssize_t n = ::read(master_, buf, sizeof buf);
            for (ssize_t i = 0; i < n; ++i) {
                line.push_back(buf[i]);
                if (buf[i] != '\n') continue;
                if (line.find(plan_.command) != std::string::npos) {
                    hook(&ThreadedReceiver::before_startup_);
                    has_fix_ = false;
                    fix_us_ = -1;
                    // Timed as the write begins: the bench's reader, woken
                    // by it, may take this thread's processor as it returns.
                    startup_us_ = SteadyUs();
                    Send(Sentence(plan_.startup));
                    ++restarts_;
                    fix_at = startup_us_ + static_cast<int64_t>(fix_delay_ms_) * 1000;
                }
                line.clear();
            }
        } else if (fds[1].revents & (POLLHUP | POLLERR)) {
            // No one has the terminal open but this receiver: wait a little.
            ::poll(nullptr, 0, 5);
        }
        const int64_t t = SteadyUs();
        if (fix_at >= 0 && t >= fix_at) {
            fix_at = -1;
            hook(&ThreadedReceiver::before_fix_);
            has_fix_ = true;
            const std::string fix = Gga();
            fix_us_ = SteadyUs();
            Send(fix);
            std::lock_guard lock(mutex_);
            ttffs_.push_back(static_cast<double>(fix_us_ - startup_us_) / 1e6);
        }
        if (t >= next_gga) {
            Send(Gga());
            next_gga = std::max(next_gga + period_us, t + 1);
        }
    }
}

namespace {

// Work for the GUI thread waits here under a mutex and is announced on an
// event descriptor the GUI thread watches: a hand-over through Qt's event
// queue is ordered in code the thread sanitizer does not see.
class GuiWorkPump {
public:
    GuiWorkPump() : fd_(::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC)) {
        if (fd_ < 0) throw std::runtime_error("eventfd failed");
        notifier_ = new QSocketNotifier(fd_, QSocketNotifier::Read, QCoreApplication::instance());
        QObject::connect(notifier_, &QSocketNotifier::activated, notifier_, [this] { RunAll(); });
    }

    void Post(std::function<void()> work) {
        {
            std::lock_guard lock(mutex_);
            work_.push_back(std::move(work));
        }
        const uint64_t one = 1;
        (void)!::write(fd_, &one, sizeof one);
    }

private:
    void RunAll() {
        uint64_t count = 0;
        (void)!::read(fd_, &count, sizeof count);
        for (;;) {
            std::function<void()> next;
            {
                std::lock_guard lock(mutex_);
                if (work_.empty()) return;
                next = std::move(work_.front());
                work_.pop_front();
            }
            next();
        }
    }

    int fd_;
    QSocketNotifier* notifier_ = nullptr;
    std::mutex mutex_;
    std::deque<std::function<void()>> work_;
};

// Made on the GUI thread, by the first receiver's constructor.
GuiWorkPump& GuiPump() {
    static GuiWorkPump* pump = new GuiWorkPump;  // lives as long as the application
    return *pump;
}

}  // namespace

bool RunOnGuiThreadAndWaitForItToBegin(std::function<void()> work, int timeout_ms) {
    auto begun = std::make_shared<std::atomic<bool>>(false);
    GuiPump().Post([begun, work = std::move(work)] {
        begun->store(true);
        work();
    });
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
    while (!begun->load()) {
        if (std::chrono::steady_clock::now() > end) return false;
        std::this_thread::sleep_for(std::chrono::microseconds(200));
    }
    return true;
}

bool HoldGuiThread(int ms) {
    return RunOnGuiThreadAndWaitForItToBegin([ms] { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); });
}

}  // namespace test
