#pragma once
// A log file written as bytes: every Write goes straight to the file (no
// buffering in the process), so a crash never loses a line already logged.
// Opening appends by default; errors are BenchError with file-error numbers.
//
// One receive event can complete hundreds of lines; while a Deferral lives,
// writes collect in memory and go out in one system call per file when it
// ends (FlushDeferred). Open, Close and destruction write what was collected
// first, and a crash signal writes it before the process dies, so the
// guarantee above holds.
#include "platform/core/error.h"

#include <cstddef>
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

// The files whose writes or opening failed since Reset (a session start):
// the session tells at its end how many there were, so a session that lost
// data never looks like a clean one.
class WriteFailures {
public:
    // True at the first failure of this path.
    static bool Note(const std::string& path);
    static size_t Count();
    static std::vector<std::string> Paths();
    static void Reset();
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
    // file stays open for the next attempt).
    void Write(std::string_view bytes);
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
    void Unregister() noexcept;
    [[noreturn]] void ThrowWriteFailure(int error_number);
    int fd_ = -1;
    std::string path_;
    std::string pending_;
    bool registered_ = false;
    bool tracked_ = true;
    bool failing_ = false;  // the last write failed and was reported
};

}  // namespace bench
