#include "bench/devices/byte_log.h"

#include "platform/core/error.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

namespace bench {

using platform::BenchError;

ByteLogFile::~ByteLogFile() { Close(); }

ByteLogFile::ByteLogFile(ByteLogFile&& other) noexcept : fd_(other.fd_), path_(std::move(other.path_)) {
    other.fd_ = -1;
}

ByteLogFile& ByteLogFile::operator=(ByteLogFile&& other) noexcept {
    if (this != &other) {
        Close();
        fd_ = other.fd_;
        path_ = std::move(other.path_);
        other.fd_ = -1;
    }
    return *this;
}

void ByteLogFile::Open(const std::string& path, Mode mode) {
    Close();
    int flags = O_WRONLY | O_CREAT | O_CLOEXEC | (mode == Mode::Append ? O_APPEND : O_TRUNC);
    int fd = ::open(path.c_str(), flags, 0644);
    if (fd < 0) {
        int e = errno;
        if (e == ENOENT || e == ENOTDIR)
            throw BenchError(platform::err::PathNotFound, "Path not found (" + path + ")");
        throw BenchError(75, "Path/File access error (" + path + ": " + std::strerror(e) + ")");
    }
    fd_ = fd;
    path_ = path;
}

void ByteLogFile::Write(std::string_view bytes) {
    if (fd_ < 0) throw BenchError(52, "Bad file name or number");
    const char* p = bytes.data();
    size_t left = bytes.size();
    while (left > 0) {
        ssize_t n = ::write(fd_, p, left);
        if (n < 0) {
            if (errno == EINTR) continue;
            throw BenchError(platform::err::FileIo,
                             "Device I/O error (" + path_ + ": " + std::strerror(errno) + ")");
        }
        p += n;
        left -= static_cast<size_t>(n);
    }
}

void ByteLogFile::Close() noexcept {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
}

}  // namespace bench
