#include "platform/comm/port_inbox.h"

#include <QSocketNotifier>

#include <sys/eventfd.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <iterator>
#include <stdexcept>
#include <utility>

namespace platform {

PortInbox::PortInbox(std::function<void()> receive, std::function<void(const std::string&)> lost)
    : receive_(std::move(receive)), lost_(std::move(lost)) {
    // The reader wakes the GUI thread through a descriptor rather than
    // Qt's event queue: the order of the two is then one the kernel gives,
    // which the thread sanitizer also sees.
    wake_fd_ = ::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    if (wake_fd_ < 0) throw std::runtime_error("no wake-up descriptor for a port reader");
}

PortInbox::~PortInbox() {
    Stop();
    notifier_.reset();
    ::close(wake_fd_);
}

void PortInbox::Start(int fd, PortReader::Chunks chunks) {
    Stop();
    loss_told_ = false;
    // Made at the first reading, when the GUI thread's event loop is there.
    if (!notifier_) {
        notifier_ = std::make_unique<QSocketNotifier>(wake_fd_, QSocketNotifier::Read);
        QObject::connect(notifier_.get(), &QSocketNotifier::activated, notifier_.get(), [this] {
            uint64_t count = 0;
            while (::read(wake_fd_, &count, sizeof count) < 0 && errno == EINTR) {
            }
            Deliver();
        });
    }
    // Called on the reader's thread: one delivery posted at a time, taking
    // whatever arrived meanwhile.
    reader_ = std::make_unique<PortReader>(fd, [this] { Post(); }, SystemClock::Instance(), chunks);
}

void PortInbox::Stop() {
    if (!reader_) return;
    reader_->Stop();
    for (ReceivedChunk& c : reader_->Take()) left_.push_back(std::move(c));
    reader_.reset();
}

void PortInbox::Discard() {
    left_.clear();
    if (reader_) reader_->Take();
}

bool PortInbox::Waiting() const { return !left_.empty() || (reader_ && reader_->HasChunks()); }

void PortInbox::Post() {
    if (posted_.exchange(true)) return;
    const uint64_t one = 1;
    while (::write(wake_fd_, &one, sizeof one) < 0 && errno == EINTR) {
    }
}

void PortInbox::Deliver() {
    posted_ = false;
    if (Waiting()) {
        const uint64_t takes = takes_;
        if (receive_) receive_();
        // What one delivery left is taken at the next, after other events
        // had their turn, as long as the owner takes input at all (one that
        // does not must not spin this thread). Bytes that came while it was
        // taken come with the reader's own wake-up.
        if (takes_ != takes && cut_) {
            Post();
            return;
        }
    }
    // The loss comes after every byte read before it.
    if (!reader_ || loss_told_) return;
    const std::string cause = reader_->Loss();
    if (cause.empty()) return;
    loss_told_ = true;
    if (lost_) lost_(cause);
}

std::vector<ReceivedChunk> PortInbox::Take(size_t max_bytes) {
    // A peer that babbles faster than its bytes are handled must not hold
    // the GUI thread for long: one take is a bounded share, and the rest
    // comes at the next.
    std::vector<ReceivedChunk> out;
    size_t bytes = 0;
    size_t n = 0;
    while (n < left_.size() && (n == 0 || bytes + left_[n].Bytes.size() <= max_bytes)) bytes += left_[n++].Bytes.size();
    out.assign(std::make_move_iterator(left_.begin()), std::make_move_iterator(left_.begin() + static_cast<long>(n)));
    left_.erase(left_.begin(), left_.begin() + static_cast<long>(n));
    // Whether this take left bytes that had come before it.
    bool cut = false;
    if (reader_ && left_.empty() && (out.empty() || bytes < max_bytes)) {
        std::vector<ReceivedChunk> more = reader_->Take(out.empty() ? max_bytes : max_bytes - bytes, &cut);
        if (out.empty() || (!more.empty() && bytes + more.front().Bytes.size() <= max_bytes))
            for (ReceivedChunk& c : more) out.push_back(std::move(c));
        else
            left_.insert(left_.begin(), std::make_move_iterator(more.begin()), std::make_move_iterator(more.end()));
    } else if (reader_) {
        cut = reader_->HasChunks();
    }
    if (!out.empty()) ++takes_;
    cut_ = cut || !left_.empty();
    return out;
}

}  // namespace platform
