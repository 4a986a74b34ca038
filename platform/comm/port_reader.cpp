#include "platform/comm/port_reader.h"

#include <cerrno>
#include <chrono>
#include <cstring>
#include <fcntl.h>
#include <iterator>
#include <poll.h>
#include <pthread.h>
#include <sched.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>
#include <utility>

namespace platform {

namespace {

constexpr const char* kHungUp = "the device hung up";

// The kernel's sched_setattr record (glibc has no wrapper for it).
struct SchedAttr {
    uint32_t size = sizeof(SchedAttr);
    uint32_t policy = 0;  // SCHED_OTHER
    uint64_t flags = 0;
    int32_t nice = 0;
    uint32_t priority = 0;
    uint64_t runtime = 0;  // for SCHED_OTHER: the time slice asked for, in ns
    uint64_t deadline = 0;
    uint64_t period = 0;
};

// A reader works a few microseconds per wake-up and must wake when its bytes
// come, even on a machine busy with other work. Where the system allows it
// (the capability or the limit to), it runs at the lowest real-time
// priority, ahead of ordinary work, as time-keeping readers do; it cannot
// hog a processor, as it only waits, reads and stamps, and holds back when
// its queue is full. Otherwise it asks for a short time slice, which lets a
// scheduler that weighs slices (EEVDF) run it ahead of long-running work at
// the thread's own priority. Refused or unknown, it reads as any other.
void AskForPromptWakeUps() {
    SchedAttr fifo;
    fifo.policy = SCHED_FIFO;
    fifo.priority = 1;
    if (::syscall(SYS_sched_setattr, 0, &fifo, 0u) == 0) return;
    SchedAttr attr;
    errno = 0;
    const int nice = ::getpriority(PRIO_PROCESS, 0);
    if (errno != 0) return;
    attr.nice = nice;
    attr.runtime = 100'000;
    ::syscall(SYS_sched_setattr, 0, &attr, 0u);
}

int64_t SteadyUs() {
    return std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

}  // namespace

PortReader::PortReader(int fd, std::function<void()> wake, const Clock& clock, Chunks chunks)
    : fd_(fd), mode_(chunks), wake_(std::move(wake)), clock_(clock) {
    if (::pipe2(pipe_, O_CLOEXEC | O_NONBLOCK) != 0) {
        // Without its wake-up the thread could not be stopped: no thread,
        // and the port says why it hears nothing.
        loss_ = std::string("no reader for the port: ") + std::strerror(errno);
        pipe_[0] = pipe_[1] = -1;
        return;
    }
    thread_ = std::thread([this] { Run(); });
    // Named, so a look at the process tells its readers apart.
    pthread_setname_np(thread_.native_handle(), "port reader");
}

PortReader::~PortReader() {
    Stop();
    for (int& p : pipe_)
        if (p >= 0) ::close(std::exchange(p, -1));
}

void PortReader::Stop() {
    stop_ = true;
    Wake();
    if (thread_.joinable()) thread_.join();
}

void PortReader::Wake() {
    if (pipe_[1] < 0) return;
    const char b = 1;
    // A full pipe already holds a wake-up.
    [[maybe_unused]] const ssize_t n = ::write(pipe_[1], &b, 1);
}

std::vector<ReceivedChunk> PortReader::Take(size_t max_bytes, bool* cut) {
    std::vector<ReceivedChunk> out;
    {
        std::lock_guard lock(mutex_);
        size_t n = 0, bytes = 0;
        while (n < chunks_.size() && (n == 0 || bytes + chunks_[n].Bytes.size() <= max_bytes))
            bytes += chunks_[n++].Bytes.size();
        if (n == chunks_.size()) {
            out.swap(chunks_);
        } else {
            out.assign(std::make_move_iterator(chunks_.begin()), std::make_move_iterator(chunks_.begin() + n));
            chunks_.erase(chunks_.begin(), chunks_.begin() + n);
        }
        waiting_ -= bytes;
        if (cut) *cut = !chunks_.empty();
    }
    if (held_) Wake();  // room again
    return out;
}

bool PortReader::HasChunks() const {
    std::lock_guard lock(mutex_);
    return !chunks_.empty();
}

std::string PortReader::Loss() const {
    std::lock_guard lock(mutex_);
    return loss_;
}

void PortReader::Run() {
    AskForPromptWakeUps();
    std::string buffer(kReadSize, '\0');
    // A batched reader's wake-up that waits for its gap to pass.
    bool wake_owed = false;
    int64_t woken_at = INT64_MIN / 2;
    auto wake = [&] {
        wake_owed = false;
        woken_at = SteadyUs();
        wake_();
    };
    auto lost = [&](std::string cause) {
        {
            std::lock_guard lock(mutex_);
            loss_ = std::move(cause);
        }
        wake();
    };
    int idle_wakeups = 0;  // in a row, with neither bytes nor a loss
    while (!stop_) {
        // A descriptor that says "readable" and then has nothing, again and
        // again, must not keep a processor busy: the reader slows down.
        if (idle_wakeups > 100) ::poll(nullptr, 0, 10);
        bool held;
        {
            // Said under the lock: a Take that empties the queue right after
            // must see it, or its wake-up would be lost and the reader wait on.
            std::lock_guard lock(mutex_);
            held = waiting_ >= kMaxWaiting;
            held_ = held;
        }
        int timeout_ms = -1;
        if (wake_owed) {
            const int64_t left_us = woken_at + kBatchGapUs - SteadyUs();
            if (left_us <= 0) {
                wake();
            } else {
                timeout_ms = static_cast<int>((left_us + 999) / 1000);
            }
        }
        pollfd fds[2] = {{pipe_[0], POLLIN, 0}, {fd_, POLLIN, 0}};
        // Held back, only a wake-up is awaited: the port's own events would
        // come again and again while its bytes are left unread.
        const int r = ::poll(fds, held ? 1 : 2, timeout_ms);
        if (r < 0) {
            if (errno == EINTR) continue;
            lost(std::string("the port cannot be waited on: ") + std::strerror(errno));
            return;
        }
        if (fds[0].revents != 0) {
            char drain[64];
            while (::read(pipe_[0], drain, sizeof drain) > 0) {
            }
        }
        if (stop_) return;
        if (held) continue;
        const short ev = fds[1].revents;
        if (ev == 0) continue;
        ++idle_wakeups;
        if (ev & POLLNVAL) {
            lost("the port's descriptor is no longer valid");
            return;
        }
        if (ev & POLLIN) {
            const ssize_t n = ::read(fd_, buffer.data(), buffer.size());
            if (n > 0) {
                // Stamped when the read returns: the latest moment the
                // bytes can have arrived, a few microseconds after the last.
                const Stamp arrived = clock_.StampNow();
                const size_t got = static_cast<size_t>(n);
                {
                    std::lock_guard lock(mutex_);
                    waiting_ += got;
                    if (mode_ == Chunks::Batched && !chunks_.empty() && chunks_.back().Bytes.size() + got <= kReadSize) {
                        chunks_.back().Bytes.append(buffer.data(), got);
                        chunks_.back().Arrived = arrived;
                    } else {
                        chunks_.push_back(ReceivedChunk{buffer.substr(0, got), arrived});
                    }
                }
                idle_wakeups = 0;
                if (mode_ == Chunks::EachRead || SteadyUs() - woken_at >= kBatchGapUs)
                    wake();
                else
                    wake_owed = true;
                continue;
            }
            if (n < 0 && (errno == EAGAIN || errno == EINTR) && !(ev & (POLLHUP | POLLERR))) continue;
            // A terminal whose far end is gone reads as readable with
            // nothing to read, or fails.
            lost(n < 0 && errno != EAGAIN && errno != EINTR && errno != EIO ? std::strerror(errno) : kHungUp);
            return;
        }
        if (ev & (POLLHUP | POLLERR)) {
            lost(kHungUp);
            return;
        }
    }
}

}  // namespace platform
