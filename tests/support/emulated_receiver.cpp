#include "tests/support/emulated_receiver.h"
#include "tests/support/busy_epoch.h"

#include "bench/devices/nmea.h"
#include "platform/qt/program_folder.h"
#include "tests/support/qt_app.h"

#include <QSocketNotifier>
#include <QTimer>
#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <fstream>
#include <csignal>
#include <poll.h>
#include <pty.h>
#include <stdexcept>
#include <sys/socket.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

namespace test {

std::string Sentence(std::string_view body) {
    return std::string(body) + "*" + bench::NMEA_Checksum(body) + "\r\n";
}

std::string BusyEpoch(int second) {
    std::string out;
    char body[256];
    const int h = second / 3600 % 24, m = second / 60 % 60, s = second % 60;
    std::snprintf(body, sizeof body, "$GPGGA,%02d%02d%02d.00,4807.%03d,N,01131.%03d,E,1,08,0.9,545.4,M,46.9,M,,", h, m,
                  s, second % 1000, (second * 7) % 1000);
    out += Sentence(body);
    std::snprintf(body, sizeof body, "$GPRMC,%02d%02d%02d.00,A,4807.038,N,01131.000,E,022.4,084.4,230394,003.1,W", h, m,
                  s);
    out += Sentence(body);
    out += Sentence("$GPGSA,A,3,04,05,,09,12,,,24,,,,,2.5,1.3,2.1");
    for (int k = 1; k <= 3; ++k) {
        std::snprintf(body, sizeof body, "$GPGSV,3,%d,11,%02d,03,111,00,04,15,270,00,06,01,010,00,13,06,292,%02d", k,
                      k * 5, 30 + second % 20);
        out += Sentence(body);
    }
    out += Sentence("$GPVTG,054.7,T,034.4,M,005.5,N,010.2,K");
    return out;
}

long ReadCallsOfThisThread() {
    std::ifstream io("/proc/thread-self/io");
    std::string key;
    long value = 0;
    while (io >> key >> value)
        if (key == "syscr:") return value;
    return -1;
}

EmulatedReceiver::EmulatedReceiver() {
    EnsureApp();
    char name[256] = {};
    struct termios raw {};
    cfmakeraw(&raw);
    if (::openpty(&master_, &slave_, name, &raw, nullptr) != 0)
        throw std::runtime_error("openpty failed");
    path_ = name;
    // The slave stays open here too, so the terminal lives while the bench
    // closes and reopens its port; raw so no byte is translated.
    ::tcsetattr(slave_, TCSANOW, &raw);
    ::fcntl(master_, F_SETFL, ::fcntl(master_, F_GETFL) | O_NONBLOCK);
    ::fcntl(master_, F_SETFD, FD_CLOEXEC);
    ::fcntl(slave_, F_SETFD, FD_CLOEXEC);
    WatchMaster();
    piece_timer_ = std::make_unique<QTimer>();
    piece_timer_->setSingleShot(true);
    QObject::connect(piece_timer_.get(), &QTimer::timeout, [this] {
        piece_timer_running_ = false;
        NextPiece();
    });
    stream_timer_ = std::make_unique<QTimer>();
    stream_timer_->setTimerType(Qt::PreciseTimer);
    QObject::connect(stream_timer_.get(), &QTimer::timeout, [this] {
        if (stream_next_) {
            std::string s = stream_next_();
            if (!s.empty()) Write(s);
        }
    });
}

void EmulatedReceiver::WatchMaster() {
    read_notifier_ = std::make_unique<QSocketNotifier>(master_, QSocketNotifier::Read);
    QObject::connect(read_notifier_.get(), &QSocketNotifier::activated, [this] { ReadInput(); });
    write_notifier_ = std::make_unique<QSocketNotifier>(master_, QSocketNotifier::Write);
    write_notifier_->setEnabled(false);
    QObject::connect(write_notifier_.get(), &QSocketNotifier::activated, [this] { Flush(); });
}

namespace {

// Writes all of bytes to a blocking descriptor; false when it is gone.
bool WriteAll(int fd, const char* bytes, ssize_t n) {
    while (n > 0) {
        ssize_t w = ::write(fd, bytes, static_cast<size_t>(n));
        if (w < 0 && errno == EINTR) continue;
        if (w <= 0) return false;
        bytes += w;
        n -= w;
    }
    return true;
}

// The relay process: system calls only (it was forked from a threaded
// process), until either side goes away.
[[noreturn]] void Relay(int master, int sock) {
    ::fcntl(master, F_SETFL, ::fcntl(master, F_GETFL) & ~O_NONBLOCK);
    char buf[4096];
    for (;;) {
        pollfd fds[2] = {{master, POLLIN, 0}, {sock, POLLIN, 0}};
        if (::poll(fds, 2, -1) < 0) {
            if (errno == EINTR) continue;
            ::_exit(1);
        }
        for (int i = 0; i < 2; ++i) {
            if (!(fds[i].revents & (POLLIN | POLLHUP | POLLERR))) continue;
            ssize_t n = ::read(fds[i].fd, buf, sizeof buf);
            if (n < 0 && errno == EINTR) continue;
            // The master reads EIO while no one has the terminal open: wait.
            if (n < 0 && i == 0 && errno == EIO) {
                ::usleep(20000);
                continue;
            }
            if (n <= 0 || !WriteAll(fds[1 - i].fd, buf, n)) ::_exit(0);
        }
    }
}

}  // namespace

void EmulatedReceiver::RelayThroughChildProcess() {
    if (relay_pid_ > 0 || master_ < 0) return;
    int sv[2];
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, sv) != 0) throw std::runtime_error("socketpair failed");
    const pid_t pid = ::fork();
    if (pid < 0) throw std::runtime_error("fork failed");
    if (pid == 0) {
        // Only the master and the socket stay open in the child, so no other
        // terminal or socket of the test lives on in it.
        const int m = ::fcntl(master_, F_DUPFD, 1000);
        const int s = ::fcntl(sv[1], F_DUPFD, m + 1);
        ::close_range(3, static_cast<unsigned>(m - 1), 0);
        ::close_range(static_cast<unsigned>(m + 1), static_cast<unsigned>(s - 1), 0);
        ::close_range(static_cast<unsigned>(s + 1), ~0U, 0);
        Relay(m, s);
    }
    relay_pid_ = pid;
    ::close(sv[1]);
    read_notifier_.reset();
    write_notifier_.reset();
    ::close(master_);
    master_ = sv[0];
    ::fcntl(master_, F_SETFL, ::fcntl(master_, F_GETFL) | O_NONBLOCK);
    WatchMaster();
}

void EmulatedReceiver::KillRelayProcess() {
    if (relay_pid_ <= 0) return;
    ::kill(relay_pid_, SIGKILL);
    ::waitpid(relay_pid_, nullptr, 0);
    relay_pid_ = -1;
    // Gone with the process: nothing is sent or read from here on.
    StopStream();
    pieces_.clear();
    outgoing_.clear();
    read_notifier_.reset();
    write_notifier_.reset();
    ::close(master_);
    master_ = -1;
}

EmulatedReceiver::~EmulatedReceiver() {
    KillRelayProcess();
    read_notifier_.reset();
    write_notifier_.reset();
    if (master_ >= 0) ::close(master_);
    if (slave_ >= 0) ::close(slave_);
}

void EmulatedReceiver::RegisterPort(int number) {
    std::ofstream out(platform::ProgramFile("ComPorts.txt"), std::ios::app);
    out << number << ' ' << path_ << '\n';
}

void EmulatedReceiver::Write(std::string_view bytes) {
    pieces_.push_back({std::string(bytes), 0});
    NextPiece();
}

void EmulatedReceiver::WriteInChunks(std::string_view bytes, std::vector<size_t> sizes, int gap_ms) {
    if (sizes.empty()) sizes = {bytes.size()};
    size_t pos = 0, k = 0;
    while (pos < bytes.size()) {
        size_t n = std::max<size_t>(1, sizes[k++ % sizes.size()]);
        pieces_.push_back({std::string(bytes.substr(pos, n)), gap_ms});
        pos += n;
    }
    NextPiece();
}

bool EmulatedReceiver::Sending() const { return !outgoing_.empty() || !pieces_.empty(); }

void EmulatedReceiver::NextPiece() {
    if (master_ < 0) {
        pieces_.clear();
        return;
    }
    if (!outgoing_.empty() || piece_timer_running_ || pieces_.empty()) return;
    Piece& p = pieces_.front();
    if (p.delay_ms > 0) {
        // Wait the gap before this piece goes out.
        piece_timer_running_ = true;
        piece_timer_->start(p.delay_ms);
        p.delay_ms = 0;
        return;
    }
    outgoing_ = std::move(p.bytes);
    pieces_.pop_front();
    Flush();
}

void EmulatedReceiver::Flush() {
    while (!outgoing_.empty()) {
        ssize_t n = ::write(master_, outgoing_.data(), outgoing_.size());
        if (n < 0) {
            if (errno == EINTR) continue;
            if (errno == EAGAIN) {
                write_notifier_->setEnabled(true);
                return;
            }
            outgoing_.clear();  // terminal gone
            break;
        }
        outgoing_.erase(0, static_cast<size_t>(n));
    }
    write_notifier_->setEnabled(false);
    if (!pieces_.empty()) {
        // Let the bench read this piece before the next one goes out.
        if (pieces_.front().delay_ms <= 0) pieces_.front().delay_ms = 1;
        NextPiece();
    }
}

void EmulatedReceiver::StartStream(std::function<std::string()> next, int interval_ms) {
    stream_next_ = std::move(next);
    stream_timer_->start(interval_ms);
}

void EmulatedReceiver::StartStream(std::vector<std::string> sentences, int interval_ms) {
    auto list = std::make_shared<std::vector<std::string>>(std::move(sentences));
    auto index = std::make_shared<size_t>(0);
    StartStream(
        [list, index]() -> std::string {
            if (list->empty()) return {};
            return (*list)[(*index)++ % list->size()];
        },
        interval_ms);
}

void EmulatedReceiver::StopStream() {
    stream_timer_->stop();
    stream_next_ = nullptr;
}

std::vector<std::string> EmulatedReceiver::ReceivedLines() const {
    std::vector<std::string> lines;
    size_t start = 0;
    while (start < received_.size()) {
        size_t lf = received_.find('\n', start);
        size_t end = lf == std::string::npos ? received_.size() : lf + 1;
        lines.push_back(received_.substr(start, end - start));
        start = end;
    }
    return lines;
}

void EmulatedReceiver::OnCommand(std::string match, CommandReaction reaction) {
    commands_.emplace_back(std::move(match), std::move(reaction));
}

void EmulatedReceiver::OnBytes(BytesReaction reaction) { byte_reactions_.push_back(std::move(reaction)); }

void EmulatedReceiver::ReadInput() {
    char buf[4096];
    for (;;) {
        ssize_t n = ::read(master_, buf, sizeof buf);
        if (n <= 0) {
            if (n < 0 && errno == EINTR) continue;
            if (n == 0 && relay_pid_ > 0) {
                read_notifier_->setEnabled(false);  // the relay process ended
                return;
            }
            if (n < 0 && errno == EIO) {
                // No one has the terminal open; stop polling until written to.
                read_notifier_->setEnabled(false);
                QTimer::singleShot(20, [this] {
                    if (read_notifier_) read_notifier_->setEnabled(true);
                });
            }
            return;
        }
        std::string_view chunk(buf, static_cast<size_t>(n));
        received_.append(chunk);
        for (auto& r : byte_reactions_) r(*this, chunk);
        for (char c : chunk) {
            line_.push_back(c);
            if (c != '\n') continue;
            std::string line = std::move(line_);
            line_.clear();
            for (size_t i = 0; i < commands_.size(); ++i)
                if (line.find(commands_[i].first) != std::string::npos) commands_[i].second(*this, line);
        }
    }
}

std::string LineFreeNoise(size_t n) {
    std::string out(n, '\0');
    uint32_t x = 2463534242u;
    for (char& c : out) {
        x ^= x << 13;
        x ^= x >> 17;
        x ^= x << 5;
        const auto b = static_cast<unsigned char>(x >> 24);
        c = static_cast<char>(b == '\n' ? 0x0B : b);
    }
    return out;
}

}  // namespace test
