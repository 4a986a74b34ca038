#pragma once
// A log file written as bytes: every Write goes straight to the file (no
// buffering in the process), so a crash never loses a line already logged.
// Opening appends by default; errors are BenchError with file-error numbers.
//
// A write the file system refuses (a full disk) loses nothing at once: the
// bytes it did not take are kept whole and go first at the next write. Past
// a bound the kept lines are dropped whole, never a piece of a line: a line
// whose start is in the file and whose rest is dropped is cut back out of
// it, as is an unfinished line still held when the file closes. So a log
// line is never the splice of two and a log never ends in part of a line.
// Once per spell (when the file takes writes again, or is closed) the
// system log says how many lines and bytes were dropped, or that every held
// byte was written and the file is whole again.
//
// One receive event can complete hundreds of lines; while a Deferral lives,
// writes collect in memory and go out in one system call per file when it
// ends (FlushDeferred). Open, Close and destruction write what was collected
// first, and a crash signal writes it before the process dies, so the
// guarantee above holds.
#include "platform/core/error.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace bench {

struct CrashFlush;

// A failed write to a file whose previous write failed too: the first
// failure of the spell was reported, so reporters stay silent on this one.
class RepeatedWriteFailure : public platform::BenchError {
public:
    using platform::BenchError::BenchError;
};

// The files of a session (since Reset) that lost bytes, could not be opened
// or still hold bytes the file system refused: the session tells at its end
// which they are and how many lines each lost, so a session that lost data
// never looks like a clean one. A file whose held bytes all went out after
// all leaves the list again.
class WriteFailures {
public:
    // A write to this path failed. True when it was not failing already (the
    // first failure of a spell).
    static bool Note(const std::string& path);
    // Opening this path failed. True the first time.
    static bool NoteOpenFailure(const std::string& path);
    // Every byte this path held back was written.
    static void Whole(const std::string& path);
    // Lines of this path that will never be written (they add up).
    static void Lost(const std::string& path, int64_t lines);
    static size_t Count();
    static std::vector<std::string> Paths();
    // One text per file of Paths: the path and what it lost.
    static std::vector<std::string> Losses();
    static void Reset();
    // Told at once of the first failure of each spell, with the system's
    // cause (a window shows it); an empty function stops it.
    using Listener = std::function<void(const std::string& path, const std::string& cause)>;
    static void SetListener(Listener listener);
    // Told when a failed file is whole again: nothing of it was lost.
    using WholeListener = std::function<void(const std::string& path)>;
    static void SetWholeListener(WholeListener listener);
};

class ByteLogFile {
public:
    enum class Mode { Append, Truncate };

    ByteLogFile() = default;
    ~ByteLogFile();
    ByteLogFile(ByteLogFile&& other) noexcept;
    ByteLogFile& operator=(ByteLogFile&& other) noexcept;
    ByteLogFile(const ByteLogFile&) = delete;
    ByteLogFile& operator=(const ByteLogFile&) = delete;

    // Closes what was open first. A missing folder is error 76, a refused
    // open error 75.
    void Open(const std::string& path, Mode mode = Mode::Append);
    // Writes all bytes; error 52 when closed, 57 when the write fails (the
    // file stays open, and what it did not take goes first next time).
    void Write(std::string_view bytes);
    // Bytes a failed write left, still to go.
    size_t Unwritten() const { return backlog_.size(); }
    // The most unwritten bytes kept; beyond it whole lines are dropped.
    static constexpr size_t kMaxUnwritten = 1024 * 1024;
    // Writes what was collected, then closes. Idempotent.
    void Close() noexcept;
    bool IsOpen() const { return fd_ >= 0; }
    const std::string& Path() const { return path_; }
    // Failures of this file are left out of WriteFailures (the system log
    // itself).
    void SetUntracked() { tracked_ = false; }

    // Collects writes of every file until the outermost one ends.
    class Deferral {
    public:
        Deferral();
        ~Deferral();  // writes what is left; errors go to stderr
        Deferral(const Deferral&) = delete;
        Deferral& operator=(const Deferral&) = delete;
    };
    // Writes what every file collected; the first failure is thrown after
    // all files were tried (the failed bytes are dropped).
    static void FlushDeferred();
    // True while a Deferral lives.
    static bool Deferring();

private:
    friend struct CrashFlush;
    void FlushPending();  // throws on a failed write
    // Writes the kept bytes, then these; keeps what the file did not take.
    void Emit(std::string_view bytes);
    void KeepBounded();
    void NoteWritten(std::string_view written) noexcept;
    // Drops the held bytes from `keep` on, counting them.
    void DropHeldFrom(size_t keep) noexcept;
    void DropUnfinishedLine() noexcept;
    void EndSpell() noexcept;
    void ReportDropped() noexcept;
    void Unregister() noexcept;
    [[noreturn]] void ThrowWriteFailure(int error_number);
    int fd_ = -1;
    std::string path_;
    std::string pending_;
    bool registered_ = false;
    bool tracked_ = true;
    bool failing_ = false;  // in a spell of refused writes: the first was reported
    std::string backlog_;   // what failed writes left, oldest first
    size_t unfinished_ = 0;  // bytes of the file's last line that has no LF yet
    bool skipping_ = false;  // dropping the rest of a line already partly dropped
    bool lost_ = false;      // bytes were dropped since the file was opened
    int64_t dropped_lines_ = 0, dropped_bytes_ = 0;  // since the last report
};

}  // namespace bench
