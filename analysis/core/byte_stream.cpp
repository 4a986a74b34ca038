#include "analysis/core/byte_stream.h"

#include <cstdio>
#include <filesystem>

namespace navsift {

bool ByteStream::Open(const std::string& path)
{
    data_.clear();
    pos_ = 0;
    std::error_code ec;
    // fopen succeeds on a folder on Linux; a folder is never a log.
    if (!std::filesystem::is_regular_file(path, ec)) {
        return false;
    }
    std::FILE* f = std::fopen(path.c_str(), "rb");
    if (f == nullptr) {
        return false;
    }
    // The size known beforehand spares the copies of a growing buffer; a
    // file that grows meanwhile is still read to its end.
    if (const std::uintmax_t size = std::filesystem::file_size(path, ec); !ec) {
        data_.reserve(static_cast<std::size_t>(size));
    }
    char chunk[1 << 16];
    std::size_t n;
    bool ok = true;
    while ((n = std::fread(chunk, 1, sizeof chunk, f)) > 0) {
        data_.append(chunk, n);
    }
    if (std::ferror(f)) {
        ok = false;
        data_.clear();
    }
    std::fclose(f);
    return ok;
}

ByteStream ByteStream::FromText(std::string text)
{
    ByteStream s;
    s.data_ = std::move(text);
    return s;
}

void ByteStream::Seek(int64_t pos)
{
    if (pos < 0) {
        pos = 0;
    }
    pos_ = static_cast<std::size_t>(pos) > data_.size() ? data_.size() : static_cast<std::size_t>(pos);
}

}  // namespace navsift
