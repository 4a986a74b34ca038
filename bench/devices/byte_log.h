#pragma once
// A log file written as bytes: every Write goes straight to the file (no
// buffering in the process), so a crash never loses a line already logged.
// Opening appends by default; errors are BenchError with file-error numbers.
#include <string>
#include <string_view>

namespace bench {

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
    // Idempotent.
    void Close() noexcept;
    bool IsOpen() const { return fd_ >= 0; }
    const std::string& Path() const { return path_; }

private:
    int fd_ = -1;
    std::string path_;
};

}  // namespace bench
