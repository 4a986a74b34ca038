#pragma once
// The speed and heading file: an 8-byte header {u32 first second, u32 last
// second} and 48-byte records {u32 key, 4 zero bytes, f64 speed km/h, heading
// degrees, latitude, longitude, height}, all little-endian. Read and written
// field by field so that the bytes never depend on the compiler's layout.
#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>
#include <vector>

namespace navsift {

struct VelRecord {
    uint32_t key = 0;
    double speed = 0, heading = 0, latitude = 0, longitude = 0, height = 0;
};

constexpr std::size_t kVelHeaderSize = 8;
constexpr std::size_t kVelRecordSize = 48;

void AppendVelHeader(std::string& out, uint32_t first, uint32_t last);
void AppendVelRecord(std::string& out, const VelRecord& record);
// Decodes the 48 bytes at `bytes`.
VelRecord DecodeVelRecord(const unsigned char* bytes);

// Writes a file record by record; the header's last second is settled when
// the file is finished.
class VelWriter {
public:
    VelWriter() = default;
    ~VelWriter();
    VelWriter(const VelWriter&) = delete;
    VelWriter& operator=(const VelWriter&) = delete;

    // Creates `path` with the header {first, first}, so that a file that
    // never gets a record is still a valid, empty range. False on failure.
    bool Create(const std::string& path, uint32_t first);
    void Append(const VelRecord& record);
    // Rewrites the header with the smallest and the largest second (of the
    // first second and the records: a log whose clock was set back mid-log
    // has its records out of order) and closes; false when anything failed
    // to reach the disk.
    bool Finish();

private:
    std::FILE* file_ = nullptr;
    uint32_t first_ = 0, last_ = 0;
    bool failed_ = false;
};

// The logs that tell no position (the reference types without one) write
// its three values as zeros: that is no place on the earth to draw or compare.
inline bool VelHasPosition(const VelRecord& r)
{
    return !(r.latitude == 0 && r.longitude == 0 && r.height == 0);
}

// A record's position on or near the earth (IsEarthPosition): anything else
// is a damaged record, no place to draw or compare.
bool VelOnTheEarth(const VelRecord& r);

// A whole file in memory, looked up by second.
struct VelFile {
    uint32_t first = 0, last = 0;
    std::vector<VelRecord> records;
    bool partial_tail = false;  // bytes after the last whole record were ignored
    // The records in order of their keys, the first of equal keys first;
    // Load fills it only for a file whose keys step back somewhere.
    std::vector<std::size_t> by_key;

    // Nothing when the file cannot be read or is shorter than its header.
    static std::optional<VelFile> Load(const std::string& path);

    // The record keyed `second`. In a file in order of time the search
    // starts where a gap-free file would hold it and walks towards it, so
    // gaps and the missing first record are tolerated; it never leaves the
    // records held. A file out of order is searched through `by_key`.
    std::optional<VelRecord> Lookup(uint32_t second) const;
};

}  // namespace navsift
