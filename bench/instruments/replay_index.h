#pragma once
// The time index of a recorded NMEA log: a small binary file beside the log
// ("Dev1_NMEA.txt" -> "Dev1_NMEA.idx") listing where each "$GPGGA" sentence
// begins and the UTC time of day it carries, so a replay can jump to a second.
//
// File layout, little-endian, fields back to back:
//   offset 0        4 bytes  record count N
//   4 + 12 k        4 bytes  1-based byte position of the sentence's "$"
//   8 + 12 k        8 bytes  IEEE double: time of day as a fraction of a day
//
// Positions are stored as unsigned 32-bit values: logs written by older
// benches never exceed 2 GiB, so they read the same, and logs up to 4 GiB
// can be indexed. Beyond that the index stops and says so.
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace bench {

// The index file of a log: the log's name less its last 3 characters, then "idx".
std::string ReplayIndexName(const std::string& log);

struct ReplayIndexRecord {
    int64_t Position = 0;  // 1-based
    double Time = 0;       // days; whole-day part 0
};

// The highest position the index format can hold.
constexpr int64_t kMaxIndexedPosition = 0xFFFFFFFFLL;

// A progress bar of the caller.
class IndexProgress {
public:
    virtual ~IndexProgress() = default;
    virtual void SetRange(int64_t minimum, int64_t maximum) = 0;
    virtual void SetValue(int64_t value) = 0;
    virtual void SetVisible(bool visible) = 0;
};

// Finds the pattern and the six time digits after it in a byte stream that
// may arrive in pieces of any size; the state carries over between pieces.
// The comma that separates the pattern from the time field is skipped (none
// when the pattern ends in one); the field must then begin with six digits of
// a valid time (hh < 24, mm < 60, ss < 60), else the sentence gets no record:
// a receiver without a fix sends an empty time field, and a field shorter
// than hhmmss is no time, whatever digits the next fields hold. A byte
// that breaks the pattern itself is not tried as a new start ("$$GPGGA" gives
// nothing), but a "$" in place of a time digit starts a new candidate, since
// a time field never holds one.
class TimeIndexScanner {
public:
    explicit TimeIndexScanner(std::string pattern);
    // `data` continues the stream; records found are appended to `out`.
    void Feed(const char* data, size_t size, std::vector<ReplayIndexRecord>& out);
    // Bytes fed so far.
    int64_t Offset() const { return offset_; }

private:
    enum class State { Looking, Matching, Time };
    std::string pattern_;
    State state_ = State::Looking;
    size_t matched_ = 0;
    int64_t start_ = 0;  // 1-based position of the candidate's first byte
    int SeparatorsAfterPattern() const { return !pattern_.empty() && pattern_.back() == ',' ? 0 : 1; }
    int digits_[6] = {};
    int count_ = 0;
    int separators_ = 0;  // commas still to skip before the time field
    int64_t offset_ = 0;
};

struct TimeIndexBuild {
    int32_t Records = 0;
    // The log is longer than the index can address; the records stop there.
    bool Truncated = false;
};

// Writes the index of `log` for sentences beginning with `pattern`. The index
// is written to a temporary file and renamed over the old one only when
// complete, so a failure leaves any earlier index as it was. A log that
// cannot be read, or an index that cannot be written, is a BenchError.
// `progress` (may be null) follows the read position.
TimeIndexBuild BuildTimeIndex(const std::string& log, std::string_view pattern, IndexProgress* progress,
                              size_t block_size = 1 << 20);

// Lookups. A missing, unreadable or empty index reads as N = 0; a record
// beyond what the file holds is a BenchError.
int32_t ReadIndexCount(const std::string& index);
double ReadIndexTime(const std::string& index, int32_t n);
ReplayIndexRecord ReadIndexRecord(const std::string& index, int32_t n);

// An index's records on the timeline of its log: seconds since the first
// record, a day added at each midnight (a time of day that falls back by
// more than half a day), so every second of a log that runs across midnight,
// or for days, has its own place.
class ReplayTimeline {
public:
    // Reads the whole index; a missing, unreadable or empty one has no records.
    explicit ReplayTimeline(const std::string& index);
    int32_t Count() const { return static_cast<int32_t>(records_.size()); }
    // Record n, 1-based (a BenchError outside 1..Count()).
    const ReplayIndexRecord& Record(int32_t n) const;
    // The timeline second of record n: 0 for record 1.
    int64_t Seconds(int32_t n) const;
    // Time of day of record 1 in seconds (0 with no records).
    int32_t FirstSecondOfDay() const { return first_of_day_; }
    // The record for timeline second `s`, starting from the guess of one
    // record per second: the first record at or after s when stepping
    // forward, the last at or before s when stepping back; record 1 for a
    // second before the log and the last record for one after it. 0 with no
    // records.
    int32_t Find(int64_t s) const;
    // The timeline second of time of day `t` (a date-time): its first
    // occurrence from record 1 on, or, when that lies past the log's end, the
    // nearer of "before the log" (negative) and "after it".
    int64_t SecondsOfTime(double t) const;

private:
    std::string name_;
    std::vector<ReplayIndexRecord> records_;
    std::vector<int64_t> seconds_;
    int32_t first_of_day_ = 0;
};

// The position of the record for time of day `t` on the log's timeline
// (ReplayTimeline::SecondsOfTime, then Find). `next` is the position of the
// following record, or the found record's own when it is the last. With no
// records both are 1.
int64_t FindOffsetForTime(const std::string& index, double t, int64_t& next);

// Where the second that begins at 1-based `position` of `log` ends (the
// 1-based position after its last byte) when no record of the index follows
// it: at the next sentence of `pattern` with a valid time, at the end of the
// log, or `limit` bytes on, whichever comes first. Reads at most `limit`
// bytes. A log that cannot be read is a BenchError.
int64_t LastSecondEnd(const std::string& log, int64_t position, std::string_view pattern, int64_t limit);

// The GGA sentences of other talkers than `pattern`'s ("$GNGGA", or
// "$GNGGA and $GLGGA") in the first `limit` bytes of `log`, for saying why a
// log gave no record; "" when there are none or the log cannot be read.
std::string OtherGgaTalkers(const std::string& log, std::string_view pattern, int64_t limit = 64LL << 20);

enum class IndexCheck {
    Current,  // present and whole, and not older than the log
    Missing,
    Damaged,  // shorter than its count says, or its count is negative
    Stale,    // older than its log
};
IndexCheck CheckTimeIndex(const std::string& log, const std::string& index);

}  // namespace bench
