#pragma once
// An input file held in memory with a read position. The readers seek back
// and read a sentence again, and the analyses pass over a log several times,
// so byte offsets must be cheap to go back to.
//
// A regular file is mapped rather than copied: a log of days or weeks would
// otherwise sit whole in the process. A reader that walks it forward tells
// the stream what lies behind it (Forget), and those pages leave the
// process; read again, they come back from the file. A file cut short
// while it is mapped reads as empty bytes past its new end.
#include <cstdint>
#include <string>

namespace navsift {

class ByteStream {
public:
    ByteStream() = default;
    ~ByteStream();
    ByteStream(const ByteStream&) = delete;
    ByteStream& operator=(const ByteStream&) = delete;
    ByteStream(ByteStream&& other) noexcept;
    ByteStream& operator=(ByteStream&& other) noexcept;

    // Loads a whole file; false (and an empty stream) when it cannot be read
    // or is not a regular file.
    bool Open(const std::string& path);
    static ByteStream FromText(std::string text);

    bool AtEnd() const { return pos_ >= size_; }
    int64_t Tell() const { return static_cast<int64_t>(pos_); }
    void Seek(int64_t pos);
    // Next byte as 0..255, or -1 at the end.
    int Get() { return pos_ < size_ ? static_cast<unsigned char>(data_[pos_++]) : -1; }

    const char* Data() const { return data_; }
    std::size_t Size() const { return size_; }
    std::size_t Pos() const { return pos_; }
    void Advance(std::size_t n) { pos_ += n; }

    // The bytes well before the read position are not needed soon: their
    // pages are given back. Nothing changes for the readers (the bytes stay
    // where they were); only reading them again costs a little.
    void Forget();

private:
    void Clear();

    const char* data_ = "";
    std::size_t size_ = 0;
    std::size_t pos_ = 0;
    std::string text_;          // what FromText and an unmappable file hold
    void* map_ = nullptr;       // the file's mapping, when it is mapped
    std::size_t map_size_ = 0;
    int guard_ = -1;             // its slot among the guarded mappings
    std::size_t forgotten_ = 0;  // bytes from the start already given back
};

}  // namespace navsift
