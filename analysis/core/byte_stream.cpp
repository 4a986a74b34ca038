#include "analysis/core/byte_stream.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <mutex>
#include <utility>

namespace navsift {

namespace {

// How much is kept behind the read position (a sentence read again, an
// epoch gathered again) and how much is given back at once.
constexpr std::size_t kKeptBehind = 256u << 10;
constexpr std::size_t kForgetStep = 1u << 20;

std::size_t PageSize()
{
    static const std::size_t size = static_cast<std::size_t>(sysconf(_SC_PAGESIZE));
    return size;
}

// A mapped file that another program cuts short faults where its pages
// are gone. The mappings are listed here, and a fault inside one of them
// maps empty pages over the rest of it: the readers find a garbled tail
// (NUL bytes) and finish what they read, instead of the process dying.
constexpr int kGuardedMaps = 64;
std::atomic<std::uintptr_t> guarded_begin[kGuardedMaps];
std::atomic<std::uintptr_t> guarded_end[kGuardedMaps];

void OnBusError(int, siginfo_t* info, void*)
{
    const auto at = reinterpret_cast<std::uintptr_t>(info->si_addr);
    for (int k = 0; k < kGuardedMaps; ++k) {
        const std::uintptr_t begin = guarded_begin[k].load(), end = guarded_end[k].load();
        if (begin != 0 && at >= begin && at < end) {
            const std::uintptr_t page = at / PageSize() * PageSize();
            if (mmap(reinterpret_cast<void*>(page), end - page, PROT_READ, MAP_PRIVATE | MAP_ANONYMOUS | MAP_FIXED, -1,
                     0) != MAP_FAILED) {
                static const char kSaid[] = "navsift: a log was cut short while it was read; its lost end reads as "
                                            "empty bytes\n";
                [[maybe_unused]] const ssize_t n = write(2, kSaid, sizeof kSaid - 1);
                return;
            }
        }
    }
    // Not a mapped log: the fault is what it is.
    signal(SIGBUS, SIG_DFL);
}

// The slot of a mapping that is now guarded, or -1 when it cannot be.
int Guard(const void* map, std::size_t size)
{
    static std::once_flag installed;
    static bool handler = false;
    std::call_once(installed, [] {
        PageSize();  // known before a fault needs it
        struct sigaction action {};
        action.sa_sigaction = OnBusError;
        action.sa_flags = SA_SIGINFO;
        sigemptyset(&action.sa_mask);
        handler = sigaction(SIGBUS, &action, nullptr) == 0;
    });
    if (!handler) {
        return -1;
    }
    const auto begin = reinterpret_cast<std::uintptr_t>(map);
    for (int k = 0; k < kGuardedMaps; ++k) {
        std::uintptr_t free = 0;
        if (guarded_begin[k].compare_exchange_strong(free, begin)) {
            guarded_end[k].store(begin + size);
            return k;
        }
    }
    return -1;
}

void Unguard(int slot)
{
    if (slot >= 0) {
        guarded_end[slot].store(0);
        guarded_begin[slot].store(0);
    }
}

// The whole of a file read into `text`; false on a read error.
bool ReadAll(std::FILE* f, std::size_t expected, std::string& text)
{
    text.clear();
    text.reserve(expected);
    char chunk[1 << 16];
    std::size_t n;
    while ((n = std::fread(chunk, 1, sizeof chunk, f)) > 0) {
        text.append(chunk, n);
    }
    if (std::ferror(f)) {
        text.clear();
        return false;
    }
    return true;
}

}  // namespace

ByteStream::~ByteStream()
{
    Clear();
}

ByteStream::ByteStream(ByteStream&& other) noexcept
{
    *this = std::move(other);
}

ByteStream& ByteStream::operator=(ByteStream&& other) noexcept
{
    if (this == &other) {
        return *this;
    }
    Clear();
    text_ = std::move(other.text_);
    map_ = std::exchange(other.map_, nullptr);
    map_size_ = std::exchange(other.map_size_, 0);
    guard_ = std::exchange(other.guard_, -1);
    size_ = std::exchange(other.size_, 0);
    pos_ = std::exchange(other.pos_, 0);
    forgotten_ = std::exchange(other.forgotten_, 0);
    data_ = map_ != nullptr ? static_cast<const char*>(map_) : text_.data();
    other.text_.clear();
    other.data_ = "";
    return *this;
}

void ByteStream::Clear()
{
    if (map_ != nullptr) {
        Unguard(guard_);
        munmap(map_, map_size_);
    }
    guard_ = -1;
    map_ = nullptr;
    map_size_ = 0;
    // A destroyed buffer is given back, a cleared one may not be.
    std::string().swap(text_);
    data_ = "";
    size_ = 0;
    pos_ = 0;
    forgotten_ = 0;
}

bool ByteStream::Open(const std::string& path)
{
    Clear();
    std::error_code ec;
    // fopen succeeds on a folder on Linux; a folder is never a log.
    if (!std::filesystem::is_regular_file(path, ec)) {
        return false;
    }
    std::FILE* f = std::fopen(path.c_str(), "rbe");
    if (f == nullptr) {
        return false;
    }
    struct stat st {};
    bool ok = true;
    if (fstat(fileno(f), &st) == 0 && S_ISREG(st.st_mode) && st.st_size > 0) {
        // A file that grows while it is opened is still read to its end.
        std::size_t size = static_cast<std::size_t>(st.st_size);
        for (int tries = 0; tries < 3; ++tries) {
            void* map = mmap(nullptr, size, PROT_READ, MAP_PRIVATE, fileno(f), 0);
            if (map == MAP_FAILED) {
                break;
            }
            struct stat now {};
            if (fstat(fileno(f), &now) != 0 || static_cast<std::size_t>(now.st_size) < size) {
                // Shrunk meanwhile: the mapping's tail would fault.
                munmap(map, size);
                break;
            }
            if (static_cast<std::size_t>(now.st_size) > size) {
                munmap(map, size);
                size = static_cast<std::size_t>(now.st_size);
                continue;
            }
            // Unguarded, a mapping is not safe to read: the file is read
            // instead.
            guard_ = Guard(map, size);
            if (guard_ < 0) {
                munmap(map, size);
                break;
            }
            madvise(map, size, MADV_SEQUENTIAL);
            map_ = map;
            map_size_ = size;
            data_ = static_cast<const char*>(map);
            size_ = size;
            break;
        }
    }
    if (map_ == nullptr) {
        // Not mappable (a file of /proc, an empty file, a shrinking one):
        // read as it comes.
        std::rewind(f);
        ok = ReadAll(f, st.st_size > 0 ? static_cast<std::size_t>(st.st_size) : 0, text_);
        data_ = text_.data();
        size_ = text_.size();
    }
    std::fclose(f);
    if (!ok) {
        Clear();
    }
    return ok;
}

ByteStream ByteStream::FromText(std::string text)
{
    ByteStream s;
    s.text_ = std::move(text);
    s.data_ = s.text_.data();
    s.size_ = s.text_.size();
    return s;
}

void ByteStream::Seek(int64_t pos)
{
    if (pos < 0) {
        pos = 0;
    }
    pos_ = static_cast<std::size_t>(pos) > size_ ? size_ : static_cast<std::size_t>(pos);
    // What is read again comes back into the process: it may be given
    // back again once the reader has passed it.
    if (pos_ < forgotten_) {
        forgotten_ = pos_ / PageSize() * PageSize();
    }
}

void ByteStream::Forget()
{
    if (map_ == nullptr || pos_ < kKeptBehind) {
        return;
    }
    const std::size_t upto = (pos_ - kKeptBehind) / PageSize() * PageSize();
    if (upto < forgotten_ + kForgetStep) {
        return;
    }
    // The mapping is private and never written: its pages are the file's
    // own and are read in again if touched.
    madvise(static_cast<char*>(map_) + forgotten_, upto - forgotten_, MADV_DONTNEED);
    forgotten_ = upto;
}

}  // namespace navsift
