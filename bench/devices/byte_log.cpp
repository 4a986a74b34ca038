#include "bench/devices/byte_log.h"

#include "bench/devices/system_log.h"

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
#include <utility>
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

// What the file took of n bytes; err holds the cause when it took fewer.
size_t WriteSome(int fd, const char* p, size_t n, int& err) noexcept {
    size_t done = 0;
    while (done < n) {
        ssize_t w = ::write(fd, p + done, n - done);
        if (w < 0) {
            if (errno == EINTR) continue;
            err = errno;
            return done;
        }
        if (w == 0) {
            err = ENOSPC;
            return done;
        }
        done += static_cast<size_t>(w);
    }
    return done;
}

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

// One file of the session that failed.
struct FailedFile {
    std::string path;
    bool failing = false;      // holds bytes the file system refused
    bool open_failed = false;  // could not be opened
    bool lost = false;         // dropped bytes
    int64_t lost_lines = 0;
};

std::vector<FailedFile>& FailedFiles() {
    static std::vector<FailedFile> files;
    return files;
}

FailedFile* FindFailed(const std::string& path) {
    for (FailedFile& f : FailedFiles())
        if (f.path == path) return &f;
    return nullptr;
}

FailedFile& FailedEntry(const std::string& path) {
    if (FailedFile* f = FindFailed(path)) return *f;
    FailedFiles().push_back(FailedFile{path});
    return FailedFiles().back();
}

WriteFailures::Listener& FailureListener() {
    static WriteFailures::Listener listener;
    return listener;
}

WriteFailures::WholeListener& WholeAgainListener() {
    static WriteFailures::WholeListener listener;
    return listener;
}

int64_t LineEnds(std::string_view bytes) {
    return static_cast<int64_t>(std::count(bytes.begin(), bytes.end(), '\n'));
}

// Told outside the write, so a listener that fails cannot lose the bytes.
void TellFirstFailure(const std::string& path, const std::string& cause) noexcept {
    try {
        if (FailureListener()) FailureListener()(path, cause);
    } catch (...) {
    }
}

}  // namespace

bool WriteFailures::Note(const std::string& path) {
    FailedFile& f = FailedEntry(path);
    return !std::exchange(f.failing, true);
}

bool WriteFailures::NoteOpenFailure(const std::string& path) {
    FailedFile& f = FailedEntry(path);
    return !std::exchange(f.open_failed, true);
}

void WriteFailures::Whole(const std::string& path) {
    FailedFile* f = FindFailed(path);
    if (!f) return;
    f->failing = false;
    if (f->lost || f->open_failed) return;
    std::vector<FailedFile>& all = FailedFiles();
    all.erase(all.begin() + (f - all.data()));
    try {
        if (WholeAgainListener()) WholeAgainListener()(path);
    } catch (...) {
    }
}

void WriteFailures::Lost(const std::string& path, int64_t lines) {
    FailedFile& f = FailedEntry(path);
    f.failing = false;
    f.lost = true;
    f.lost_lines += lines;
}

size_t WriteFailures::Count() { return FailedFiles().size(); }

std::vector<std::string> WriteFailures::Paths() {
    std::vector<std::string> paths;
    for (const FailedFile& f : FailedFiles()) paths.push_back(f.path);
    return paths;
}

std::vector<std::string> WriteFailures::Losses() {
    std::vector<std::string> texts;
    for (const FailedFile& f : FailedFiles()) {
        if (f.lost)
            texts.push_back(f.path + ": " + std::to_string(f.lost_lines) + (f.lost_lines == 1 ? " line" : " lines") +
                            " lost");
        else if (f.open_failed)
            texts.push_back(f.path + ": could not be opened");
        else
            texts.push_back(f.path + ": held-back bytes not written yet");
    }
    return texts;
}

void WriteFailures::Reset() { FailedFiles().clear(); }
void WriteFailures::SetListener(Listener listener) { FailureListener() = std::move(listener); }
void WriteFailures::SetWholeListener(WholeListener listener) { WholeAgainListener() = std::move(listener); }

// The first failure of a spell is reported; while the file keeps failing
// the rest are repeats. A write that goes through ends the spell.
void ByteLogFile::ThrowWriteFailure(int error_number) {
    const std::string cause = std::strerror(error_number);
    const std::string text = "Device I/O error (" + path_ + ": " + cause + ")";
    if (tracked_ && WriteFailures::Note(path_)) TellFirstFailure(path_, cause);
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
            if (!f || f->fd_ < 0) continue;
            if (!f->backlog_.empty()) WriteAll(f->fd_, f->backlog_.data(), f->backlog_.size());
            if (!f->pending_.empty()) WriteAll(f->fd_, f->pending_.data(), f->pending_.size());
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
        backlog_ = std::move(other.backlog_);
        other.backlog_.clear();
        unfinished_ = std::exchange(other.unfinished_, 0);
        skipping_ = other.skipping_;
        lost_ = other.lost_;
        dropped_lines_ = std::exchange(other.dropped_lines_, 0);
        dropped_bytes_ = std::exchange(other.dropped_bytes_, 0);
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
    Emit(bytes);
}

void ByteLogFile::Emit(std::string_view bytes) {
    if (skipping_) {
        // The rest of a line whose start was dropped goes with it.
        const size_t lf = bytes.find('\n');
        const size_t cut = lf == std::string_view::npos ? bytes.size() : lf + 1;
        dropped_bytes_ += static_cast<int64_t>(cut);
        if (lf != std::string_view::npos) skipping_ = false;
        bytes.remove_prefix(cut);
    }
    // Nothing to write says nothing of the disk: a spell goes on.
    if (backlog_.empty() && bytes.empty()) return;
    int err = 0;
    if (!backlog_.empty()) {
        const size_t n = WriteSome(fd_, backlog_.data(), backlog_.size(), err);
        NoteWritten(std::string_view(backlog_).substr(0, n));
        backlog_.erase(0, n);
        if (!backlog_.empty()) {
            backlog_.append(bytes);
            KeepBounded();
            ThrowWriteFailure(err);
        }
    }
    const size_t n = WriteSome(fd_, bytes.data(), bytes.size(), err);
    NoteWritten(bytes.substr(0, n));
    if (n < bytes.size()) {
        backlog_.assign(bytes.substr(n));
        KeepBounded();
        ThrowWriteFailure(err);
    }
    // Everything held went out; a line still being dropped keeps the spell
    // open, so its drop is told once, with the rest.
    if (failing_ && !skipping_) EndSpell();
}

void ByteLogFile::NoteWritten(std::string_view written) noexcept {
    if (written.empty()) return;
    const size_t lf = written.rfind('\n');
    unfinished_ = lf == std::string_view::npos ? unfinished_ + written.size() : written.size() - lf - 1;
}

// Past the bound, everything after the rest of the line the file already
// began is dropped. When even that rest cannot be kept, the line's start
// goes out of the file too.
void ByteLogFile::KeepBounded() {
    if (backlog_.size() <= kMaxUnwritten) return;
    size_t keep = 0;
    if (unfinished_ > 0) {
        const size_t lf = backlog_.find('\n');
        // A line longer than the bound is no line to keep whole.
        keep = lf == std::string::npos || lf + 1 > kMaxUnwritten ? 0 : lf + 1;
    }
    DropHeldFrom(keep);
    if (keep == 0) DropUnfinishedLine();
}

// A dropped line counts once, where its first dropped byte is; a line whose
// end is not among them is dropped on to its LF.
void ByteLogFile::DropHeldFrom(size_t keep) noexcept {
    const std::string_view gone = std::string_view(backlog_).substr(keep);
    if (gone.empty()) return;
    dropped_lines_ += LineEnds(gone) + (gone.back() != '\n' ? 1 : 0);
    dropped_bytes_ += static_cast<int64_t>(gone.size());
    if (gone.back() != '\n') skipping_ = true;
    backlog_.resize(keep);
    lost_ = true;
}

// The file's last line will never be finished: it is cut back to the end of
// the line before, so no later line is written onto it and the file does
// not end in part of a line. Where a file cannot be cut, the line is ended
// instead, before anything else is written.
void ByteLogFile::DropUnfinishedLine() noexcept {
    if (unfinished_ == 0 || fd_ < 0) return;
    const off_t end = ::lseek(fd_, 0, SEEK_END);
    if (end >= static_cast<off_t>(unfinished_) && ::ftruncate(fd_, end - static_cast<off_t>(unfinished_)) == 0) {
        dropped_bytes_ += static_cast<int64_t>(unfinished_);
        unfinished_ = 0;
        lost_ = true;
        return;
    }
    backlog_.insert(0, "\r\n");
}

void ByteLogFile::EndSpell() noexcept {
    failing_ = false;
    if (dropped_bytes_ > 0) {
        ReportDropped();
        return;
    }
    try {
        const std::string text =
            "All held-back bytes written to " + path_ + (lost_ ? std::string() : ": the file is whole again");
        if (tracked_) {
            SystemLogWrite(text);
            WriteFailures::Whole(path_);
        } else {
            std::fprintf(stderr, "%s\n", text.c_str());
        }
    } catch (...) {
    }
}

void ByteLogFile::ReportDropped() noexcept {
    try {
        const int64_t lines = dropped_lines_;
        const std::string text = std::to_string(lines) + " lines (" + std::to_string(dropped_bytes_) +
                                 " bytes) not written to " + path_ + ": the file did not take them";
        dropped_lines_ = 0;
        dropped_bytes_ = 0;
        // The system log's own file cannot report through itself.
        if (tracked_) {
            SystemLogWrite(text);
            WriteFailures::Lost(path_, lines);
        } else {
            std::fprintf(stderr, "%s\n", text.c_str());
        }
    } catch (...) {
    }
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
        if (tracked_ && WriteFailures::NoteOpenFailure(path)) TellFirstFailure(path, std::strerror(e));
        if (e == ENOENT || e == ENOTDIR)
            throw BenchError(platform::err::PathNotFound, "Path not found (" + path + ")");
        throw BenchError(75, "Path/File access error (" + path + ": " + std::strerror(e) + ")");
    }
    fd_ = fd;
    path_ = path;
    failing_ = false;
    unfinished_ = 0;
    skipping_ = false;
    lost_ = false;
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
    if (!pending_.empty()) {
        // What was collected goes first, this after it, whatever fails.
        pending_.append(bytes);
        FlushPending();
        return;
    }
    Emit(bytes);
}

void ByteLogFile::Close() noexcept {
    try {
        FlushPending();
        if (!backlog_.empty() && fd_ >= 0) Emit({});
    } catch (const std::exception& e) {
        std::fprintf(stderr, "log write failed: %s\n", e.what());
    }
    if (!backlog_.empty()) {
        // The last chance is gone: what is left is lost, and a line the file
        // began goes with it.
        DropHeldFrom(0);
        DropUnfinishedLine();
        backlog_.clear();
    }
    skipping_ = false;
    if (dropped_bytes_ > 0) ReportDropped();
    failing_ = false;
    Unregister();
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
}

}  // namespace bench
