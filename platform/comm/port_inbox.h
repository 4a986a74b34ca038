#pragma once
// The GUI thread's end of a port reader (port_reader.h). What the reader
// read waits here, in order, until the GUI thread takes it in bounded
// shares. However many chunks come meanwhile, at most one delivery is on its
// way to the GUI thread: it takes whatever arrived while that thread was
// busy in one turn, so the thread's work follows the bytes rather than the
// number of arrivals. When the reader's device goes away, that is told after
// the last byte read before it was taken.
//
// Lives on the GUI thread; only the reader's wake-up comes from its thread.
#include "platform/comm/port_reader.h"

#include <QSocketNotifier>

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace platform {

class PortInbox {
public:
    // `receive` runs when input waits, once for whatever came meanwhile, and
    // again as long as each run takes some and more waits (one that takes
    // nothing is not called again until new input comes). `lost` runs once
    // per reading, with the reader's cause, after all it read was taken.
    PortInbox(std::function<void()> receive, std::function<void(const std::string& cause)> lost);
    // Stops the reader; deliveries still queued go with it.
    ~PortInbox();
    PortInbox(const PortInbox&) = delete;
    PortInbox& operator=(const PortInbox&) = delete;

    // A reader of its own on `fd`, which stays the caller's to close once
    // Stop() returned.
    void Start(int fd, PortReader::Chunks chunks = PortReader::Chunks::EachRead);
    // Ends the reader and waits for it; what it read stays to be taken.
    void Stop();
    bool Reading() const { return reader_ != nullptr; }
    // Drops what waits.
    void Discard();

    // The chunks waiting, oldest first, as many as make up to `max_bytes`
    // (at least one); none when nothing waits.
    std::vector<ReceivedChunk> Take(size_t max_bytes = kShareBytes);
    bool Waiting() const;
    // A delivery to the GUI thread, unless one is on its way; from any thread.
    void Post();

    // Bytes one delivery takes at most by default.
    static constexpr size_t kShareBytes = 64 * 1024;

private:
    void Deliver();

    int wake_fd_ = -1;                           // the reader's wake-ups
    std::unique_ptr<QSocketNotifier> notifier_;  // ... land here, on the GUI thread
    std::unique_ptr<PortReader> reader_;
    std::atomic<bool> posted_{false};
    std::vector<ReceivedChunk> left_;  // taken from the reader, not yet by the owner
    bool loss_told_ = false;           // this reading's loss was passed on
    uint64_t takes_ = 0;               // calls of Take() that took something
    bool cut_ = false;                 // the last Take() left what had come before it
    std::function<void()> receive_;
    std::function<void(const std::string&)> lost_;
};

}  // namespace platform
