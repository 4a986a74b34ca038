#include "analysis/core/out_file.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdarg>
#include <cstring>
#include <filesystem>
#include <utility>

#include "analysis/core/run_outcome.h"

namespace navsift {

OutFile::~OutFile()
{
    if (file_ != nullptr) {
        std::fclose(file_);
    }
}

OutFile::OutFile(OutFile&& other) noexcept
    : file_(std::exchange(other.file_, nullptr)),
      path_(std::move(other.path_)),
      error_(std::move(other.error_)),
      failed_(other.failed_)
{
}

OutFile& OutFile::operator=(OutFile&& other) noexcept
{
    if (this != &other) {
        if (file_ != nullptr) {
            std::fclose(file_);
        }
        file_ = std::exchange(other.file_, nullptr);
        path_ = std::move(other.path_);
        error_ = std::move(other.error_);
        failed_ = other.failed_;
    }
    return *this;
}

bool OutFile::Create(const std::string& path)
{
    if (file_ != nullptr) {
        Close();
    }
    path_ = path;
    failed_ = false;
    error_.clear();
    std::error_code ec;
    if (std::filesystem::is_directory(path, ec)) {
        error_ = "it is a folder";
        return false;
    }
    file_ = open_output(path, "wb");
    if (file_ == nullptr) {
        error_ = std::strerror(errno);
        return false;
    }
    // Tables of a whole day run to hundreds of megabytes: larger writes cost
    // far fewer system calls than the default buffer's.
    std::setvbuf(file_, nullptr, _IOFBF, 1 << 16);
    return true;
}

void OutFile::Write(std::string_view text)
{
    if (file_ == nullptr || text.empty()) {
        return;
    }
    if (std::fwrite(text.data(), 1, text.size(), file_) != text.size() && !failed_) {
        failed_ = true;
        error_ = std::strerror(errno);
    }
}

void OutFile::Printf(const char* fmt, ...)
{
    if (file_ == nullptr) {
        return;
    }
    va_list args;
    va_start(args, fmt);
    const int n = std::vfprintf(file_, fmt, args);
    va_end(args);
    if (n < 0 && !failed_) {
        failed_ = true;
        error_ = std::strerror(errno);
    }
}

bool OutFile::Close()
{
    if (file_ == nullptr) {
        return false;
    }
    if (std::fclose(file_) != 0 && !failed_) {
        failed_ = true;
        error_ = std::strerror(errno);
    }
    file_ = nullptr;
    return !failed_;
}

bool SameFile(const std::string& a, const std::string& b)
{
    std::error_code ec;
    return std::filesystem::equivalent(a, b, ec) && !ec;
}

bool CreateOrReport(OutFile& out, const std::string& path)
{
    if (!out.Create(path)) {
        std::fprintf(stderr, "cannot create %s: %s\n", path.c_str(), out.Error().c_str());
        return false;
    }
    return true;
}

bool CloseOrReport(OutFile& out)
{
    if (!out.IsOpen()) {
        return true;
    }
    if (!out.Close()) {
        std::fprintf(stderr, "cannot write %s: %s\n", out.Path().c_str(), out.Error().c_str());
        return false;
    }
    return true;
}

bool RenameNoReplace(const std::string& from, const std::string& to, std::string& error)
{
    if (renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) {
        return true;
    }
    if (errno != EINVAL && errno != ENOSYS) {
        error = std::strerror(errno);
        return false;
    }
    // A file system without the no-replace rename: a hard link fails when
    // the target exists, just the same.
    if (::link(from.c_str(), to.c_str()) != 0) {
        error = std::strerror(errno);
        return false;
    }
    ::unlink(from.c_str());
    return true;
}

}  // namespace navsift
