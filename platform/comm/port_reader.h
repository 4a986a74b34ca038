#pragma once
// The reader of one open port: a thread that does nothing but wait for the
// port's bytes, read them as they arrive and stamp each chunk with the
// monotonic clock, so a busy GUI thread cannot move the moment a byte is
// known to have arrived. Chunks wait in order until the GUI thread takes
// them; the reader calls `wake` after every chunk and after a loss (on its
// own thread, so `wake` must only post, and coalesce as it likes). When the
// device goes away the reader stops reading and says why after the chunks it
// read before.
//
// The reader never closes the descriptor: its owner stops the reader first
// and closes it after.
#include "platform/core/clock.h"

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace platform {

struct ReceivedChunk {
    std::string Bytes;
    Stamp Arrived;  // when the read that got them returned
};

class PortReader {
public:
    // How reads become chunks. `EachRead`: every read is a chunk of its own
    // with its own stamp, and `wake` follows each. `Batched`, for a link
    // whose arrival moments nobody measures: a read joins the chunk still
    // waiting (up to kReadSize bytes), and `wake` comes at once after a
    // quiet spell but at most once per kBatchGapUs while bytes keep coming,
    // so a peer that writes a byte at a time wakes the taker a few hundred
    // times a second, not once a byte.
    enum class Chunks { EachRead, Batched };
    static constexpr size_t kReadSize = 64 * 1024;
    static constexpr int64_t kBatchGapUs = 10000;

    // Starts reading `fd` at once. `clock` stamps the chunks.
    PortReader(int fd, std::function<void()> wake, const Clock& clock = SystemClock::Instance(),
               Chunks chunks = Chunks::EachRead);
    // Stop() and the chunks not taken go with it.
    ~PortReader();
    // Ends the thread and waits for it; what it read stays to be taken.
    void Stop();
    PortReader(const PortReader&) = delete;
    PortReader& operator=(const PortReader&) = delete;

    // The chunks read so far, oldest first, as many as make up to
    // `max_bytes` (at least one); a reader held back by a full queue reads
    // on once it has room. `cut`, when given, tells whether chunks read
    // before this call were left (later ones come with a wake-up of their own).
    std::vector<ReceivedChunk> Take(size_t max_bytes = SIZE_MAX, bool* cut = nullptr);
    bool HasChunks() const;
    // "" while the device is there; once it went away, the cause ("the
    // device hung up", or the system's error text). Set after the last chunk.
    std::string Loss() const;

    // Bytes waiting before the reader holds back and leaves the rest to the
    // system's buffer (and so to the sender's flow), as a port that is not
    // read does: a receiver that babbles faster than the GUI thread decodes
    // costs no more memory than this.
    static constexpr size_t kMaxWaiting = 4u << 20;

private:
    void Run();
    void Wake();
    int fd_;
    Chunks mode_;
    int pipe_[2] = {-1, -1};  // wakes the thread from its wait
    std::function<void()> wake_;
    const Clock& clock_;
    mutable std::mutex mutex_;
    std::vector<ReceivedChunk> chunks_;
    size_t waiting_ = 0;
    std::string loss_;
    std::atomic<bool> stop_{false};
    std::atomic<bool> held_{false};  // waiting for the queue to drain
    std::thread thread_;
};

}  // namespace platform
