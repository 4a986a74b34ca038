#include "bench/devices/byte_log.h"

#include "platform/core/error.h"
#include "platform/core/paths.h"
#include "platform/qt/program_folder.h"

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>
#include <vector>

namespace bench {

using platform::BenchError;

namespace {

constexpr size_t kMaxPending = 256 * 1024;
constexpr int kFatalSignals[] = {SIGSEGV, SIGBUS, SIGFPE, SIGILL, SIGABRT};

int& DeferralDepth() {
    static int depth = 0;
    return depth;
}

// Files holding collected bytes. Fixed storage so the crash handler never
// meets a vector in the middle of growing.
struct PendingFiles {
    static constexpr size_t kMax = 256;
    ByteLogFile* files[kMax] = {};
    size_t count = 0;
};
PendingFiles& Pending() {
    static PendingFiles p;
    return p;
}

struct SavedAction {
    int sig;
    struct sigaction action;
};
SavedAction g_saved[std::size(kFatalSignals)];

bool WriteAll(int fd, const char* p, size_t left) noexcept {
    while (left > 0) {
        ssize_t n = ::write(fd, p, left);
        if (n < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        p += n;
        left -= static_cast<size_t>(n);
    }
    return true;
}

std::vector<std::string>& FailedPaths() {
    static std::vector<std::string> paths;
    return paths;
}

}  // namespace

bool WriteFailures::Note(const std::string& path) {
    std::vector<std::string>& p = FailedPaths();
    if (std::find(p.begin(), p.end(), path) != p.end()) return false;
    p.push_back(path);
    return true;
}

size_t WriteFailures::Count() { return FailedPaths().size(); }
std::vector<std::string> WriteFailures::Paths() { return FailedPaths(); }
void WriteFailures::Reset() { FailedPaths().clear(); }

// The first failure of a spell is reported; while the file keeps failing
// the rest are repeats. A write that goes through ends the spell.
void ByteLogFile::ThrowWriteFailure(int error_number) {
    const std::string text = "Device I/O error (" + path_ + ": " + std::strerror(error_number) + ")";
    if (tracked_) WriteFailures::Note(path_);
    if (failing_) throw RepeatedWriteFailure(platform::err::FileIo, text);
    failing_ = true;
    throw BenchError(platform::err::FileIo, text);
}

// Reached from the crash handler: only write(2) on what is already there.
struct CrashFlush {
    static void Run() noexcept {
        PendingFiles& p = Pending();
        for (size_t i = 0; i < p.count && i < PendingFiles::kMax; ++i) {
            ByteLogFile* f = p.files[i];
            if (f && f->fd_ >= 0 && !f->pending_.empty()) WriteAll(f->fd_, f->pending_.data(), f->pending_.size());
        }
    }
};

namespace {

void OnFatalSignal(int sig) {
    CrashFlush::Run();
    for (const SavedAction& s : g_saved)
        if (s.sig == sig) ::sigaction(sig, &s.action, nullptr);
    ::raise(sig);
}

void InstallCrashFlush() {
    static bool installed = false;
    if (installed) return;
    installed = true;
    for (size_t i = 0; i < std::size(kFatalSignals); ++i) {
        struct sigaction sa {};
        sa.sa_handler = OnFatalSignal;
        sigemptyset(&sa.sa_mask);
        g_saved[i].sig = kFatalSignals[i];
        ::sigaction(kFatalSignals[i], &sa, &g_saved[i].action);
    }
}

}  // namespace

ByteLogFile::~ByteLogFile() { Close(); }

ByteLogFile::ByteLogFile(ByteLogFile&& other) noexcept {
    *this = std::move(other);
}

ByteLogFile& ByteLogFile::operator=(ByteLogFile&& other) noexcept {
    if (this != &other) {
        Close();
        try {
            other.FlushPending();
        } catch (...) {
        }
        other.Unregister();
        fd_ = other.fd_;
        path_ = std::move(other.path_);
        tracked_ = other.tracked_;
        failing_ = other.failing_;
        other.fd_ = -1;
    }
    return *this;
}

void ByteLogFile::Unregister() noexcept {
    if (!registered_) return;
    PendingFiles& p = Pending();
    for (size_t i = 0; i < p.count; ++i)
        if (p.files[i] == this) {
            p.files[i] = p.files[p.count - 1];
            p.files[--p.count] = nullptr;
            break;
        }
    registered_ = false;
}

void ByteLogFile::FlushPending() {
    if (pending_.empty()) return;
    std::string bytes;
    bytes.swap(pending_);
    if (fd_ < 0) return;
    if (!WriteAll(fd_, bytes.data(), bytes.size())) ThrowWriteFailure(errno);
    failing_ = false;
}

ByteLogFile::Deferral::Deferral() {
    InstallCrashFlush();
    ++DeferralDepth();
}

ByteLogFile::Deferral::~Deferral() {
    if (--DeferralDepth() > 0) return;
    try {
        FlushDeferred();
    } catch (const std::exception& e) {
        std::fprintf(stderr, "log write failed: %s\n", e.what());
    }
}

bool ByteLogFile::Deferring() { return DeferralDepth() > 0; }

void ByteLogFile::FlushDeferred() {
    PendingFiles& p = Pending();
    std::exception_ptr first;
    while (p.count > 0) {
        ByteLogFile* f = p.files[p.count - 1];
        f->Unregister();
        try {
            f->FlushPending();
        } catch (...) {
            if (!first) first = std::current_exception();
        }
    }
    if (first) std::rethrow_exception(first);
}

namespace {

// Names built from the configuration keep its Windows form
// ("C:\GPS_TEST\_stamp\GPS1\..."); the file is made where that maps to.
// Names that are already Linux paths stay as they are.
std::string FilePath(const std::string& name) {
    const bool stored = name.find('\\') != std::string::npos ||
                        (name.size() >= 2 && name[1] == ':' &&
                         ((name[0] >= 'A' && name[0] <= 'Z') || (name[0] >= 'a' && name[0] <= 'z')));
    return stored ? platform::MapStoredPath(name, platform::ProgramFolder()) : name;
}

}  // namespace

void ByteLogFile::Open(const std::string& name, Mode mode) {
    Close();  // what was collected belongs to the file it was written to
    const std::string path = FilePath(name);
    int flags = O_WRONLY | O_CREAT | O_CLOEXEC | (mode == Mode::Append ? O_APPEND : O_TRUNC);
    int fd = ::open(path.c_str(), flags, 0644);
    if (fd < 0) {
        int e = errno;
        if (tracked_) WriteFailures::Note(path);
        if (e == ENOENT || e == ENOTDIR)
            throw BenchError(platform::err::PathNotFound, "Path not found (" + path + ")");
        throw BenchError(75, "Path/File access error (" + path + ": " + std::strerror(e) + ")");
    }
    fd_ = fd;
    path_ = path;
    failing_ = false;
}

void ByteLogFile::Write(std::string_view bytes) {
    if (fd_ < 0) throw BenchError(52, "Bad file name or number");
    if (DeferralDepth() > 0 && pending_.size() + bytes.size() <= kMaxPending) {
        if (!registered_) {
            PendingFiles& p = Pending();
            if (p.count < PendingFiles::kMax) {
                p.files[p.count++] = this;
                registered_ = true;
            }
        }
        if (registered_) {
            pending_.append(bytes);
            return;
        }
    }
    FlushPending();
    if (!WriteAll(fd_, bytes.data(), bytes.size())) ThrowWriteFailure(errno);
    failing_ = false;
}

void ByteLogFile::Close() noexcept {
    try {
        FlushPending();
    } catch (const std::exception& e) {
        std::fprintf(stderr, "log write failed: %s\n", e.what());
    }
    Unregister();
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
}

}  // namespace bench
