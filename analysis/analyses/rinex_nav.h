#pragma once
// RINEX 2 GPS navigation files: finding the file of a day, reading its
// records, and the table of packed ephemerides that visibility asks for the
// latest ephemeris of a satellite before a time.
#include <array>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "analysis/analyses/ephemeris.h"
#include "analysis/analyses/orbit.h"
#include "analysis/core/byte_stream.h"

namespace navsift {

// In place: a "D" (or "d") that follows a digit and precedes "+" or "-"
// becomes "E", so the C library reads the exponent.
void rinex_fix_exponent(std::string& line);

// One navigation file held in memory, positioned after its header.
struct RinexFile {
    std::string path;
    ByteStream data;
    int64_t first_record = 0;  // byte position after "END OF HEADER"
    // After a broken record, the rest of its lines are skipped quietly.
    bool resyncing = false;
    // The line number of a byte position, counted on from the last one
    // asked for: records are read forward, so naming every broken record of
    // a file costs one pass over it.
    int64_t counted_to = 0;
    int counted_line = 1;
    // What finding the file's first record read: the records before it that
    // were broken, and the read that gave it (-1 when the file holds none).
    // The loader goes on from there instead of reading the file again.
    bool probed = false;
    std::vector<std::string> problems_before_first;
    int64_t resume_at = -1;
    bool resume_resyncing = false;
};

// Loads a file and finds the end of its header, however long; false when it
// cannot be read, does not begin as a RINEX file or its header never ends,
// with the reason in `why` when given.
bool rinex_open(const std::string& path, RinexFile& file, std::string* why = nullptr);

enum class RecordRead { Record, Broken, End };

// Reads the record at `position` (0 means the first one) and moves
// `position` past what was consumed. A record is taken only when its first
// line gives the satellite, epoch and clock terms and the next six lines
// four values each; otherwise the result is Broken, `problem` says where,
// and `position` is one line further so the caller can go on.
RecordRead rinex_read_record(RinexFile& file, int64_t& position, rinex_nav_record& out, std::string& problem);

// The file of the day of `gps_seconds` among `names` in `folder`: the first
// whose first record is dated that day, else one whose name carries that
// day of the year ("ssssdddf.yyn"). False when none matches.
// `reasons`, when given, receives why each file that was looked at would not
// do.
bool rinex_open_for_date(int32_t gps_seconds, const std::string& folder, const std::vector<std::string>& names,
                         RinexFile& file, std::vector<std::string>* reasons = nullptr);

// Every record of a day, per satellite, by clock epoch (GPS seconds), each
// made ready for the orbit when stored: a day's visibility asks for every
// satellite at every second.
class ephemeris_table {
public:
    void Clear();
    // An equal time replaces: the later record of the file wins.
    void Store(int32_t prn, uint32_t time, const packed_ephemeris& eph);
    // 0 and the latest ephemeris strictly before `time`; 1 when none.
    int Find(uint32_t time, int32_t prn, packed_ephemeris& out) const;
    // The same ephemeris made ready; null when none.
    const OrbitElements* FindOrbit(uint32_t time, int32_t prn) const;
    std::size_t Count(int32_t prn) const;

private:
    struct Record {
        uint32_t time;
        packed_ephemeris packed;
        OrbitElements orbit;
    };
    // The latest record strictly before `time`; null when none.
    const Record* Before(uint32_t time, int32_t prn) const;
    std::array<std::vector<Record>, 32> slots_;  // by time
};

// Clears the table and fills it from the day's file of `gps_seconds` in
// `folder` (the files "*.yyn" of that year are listed at each load, so a
// log crossing New Year finds its files). Prints the warning when there is
// no file; bad records are named on the error stream and left out.
void ephemeris_table_load(ephemeris_table& table, int32_t gps_seconds, const std::string& folder);

inline int ephemeris_find(const ephemeris_table& table, uint32_t time, int32_t prn, packed_ephemeris& out)
{
    return table.Find(time, prn, out);
}

}  // namespace navsift
