#pragma once
// An input file held in memory with a read position. The readers seek back
// and read a sentence again, and the analyses pass over a log several times,
// so byte offsets must be cheap to go back to.
#include <cstdint>
#include <string>

namespace navsift {

class ByteStream {
public:
    ByteStream() = default;
    // Loads a whole file; false (and an empty stream) when it cannot be read
    // or is not a regular file.
    bool Open(const std::string& path);
    static ByteStream FromText(std::string text);

    bool AtEnd() const { return pos_ >= data_.size(); }
    int64_t Tell() const { return static_cast<int64_t>(pos_); }
    void Seek(int64_t pos);
    // Next byte as 0..255, or -1 at the end.
    int Get() { return pos_ < data_.size() ? static_cast<unsigned char>(data_[pos_++]) : -1; }

    const char* Data() const { return data_.data(); }
    std::size_t Size() const { return data_.size(); }
    std::size_t Pos() const { return pos_; }
    void Advance(std::size_t n) { pos_ += n; }

private:
    std::string data_;
    std::size_t pos_ = 0;
};

}  // namespace navsift
