#pragma once
// An output file of an analysis: created in binary mode (so "\r\n" reaches the
// disk as written), every create checked, and a write or close failure kept
// so that the caller learns of it once, at the end.
#include <cstdio>
#include <string>
#include <string_view>

namespace navsift {

class OutFile {
public:
    OutFile() = default;
    ~OutFile();
    OutFile(const OutFile&) = delete;
    OutFile& operator=(const OutFile&) = delete;
    OutFile(OutFile&& other) noexcept;
    OutFile& operator=(OutFile&& other) noexcept;

    // Creates (or empties) `path`; false when it cannot be created, with the
    // reason in Error(). A file already open is closed first.
    bool Create(const std::string& path);
    bool IsOpen() const { return file_ != nullptr; }
    const std::string& Path() const { return path_; }

    // Writes nothing while no file is open, so a caller that reported a failed
    // create can go on without testing every line.
    void Write(std::string_view text);
    void Printf(const char* fmt, ...) __attribute__((format(printf, 2, 3)));

    // Closes; false when the file was not open or anything failed to reach it.
    bool Close();
    // The reason of the last failure ("" when none).
    const std::string& Error() const { return error_; }

private:
    std::FILE* file_ = nullptr;
    std::string path_;
    std::string error_;
    bool failed_ = false;
};

// Create and Close that name the file and the reason on stderr when they
// fail ("cannot create PATH: reason", "cannot write PATH: reason"). A file
// that was never opened closes as true: it has nothing to lose.
bool CreateOrReport(OutFile& out, const std::string& path);
bool CloseOrReport(OutFile& out);

// The same file, by its identity on the disk (links and different spellings
// of one path agree). False when either does not exist.
bool SameFile(const std::string& a, const std::string& b);

// Renames `from` to `to` unless `to` already exists, which is left as it is.
// False on failure, with the reason in `error`.
bool RenameNoReplace(const std::string& from, const std::string& to, std::string& error);

}  // namespace navsift
