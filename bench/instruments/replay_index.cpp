#include "bench/instruments/replay_index.h"

#include <QSaveFile>
#include <QString>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>
#include <vector>

#include <sys/types.h>

#include "bench/devices/device_paths.h"
#include "bench/devices/timing.h"
#include "platform/core/error.h"

namespace bench {

namespace {

constexpr int64_t kRecordSize = 12;
constexpr int64_t kHeaderSize = 4;

struct FileCloser {
    void operator()(std::FILE* f) const {
        if (f) std::fclose(f);
    }
};
using File = std::unique_ptr<std::FILE, FileCloser>;

QString Local(const std::string& path) { return QString::fromLocal8Bit(path.data(), static_cast<int>(path.size())); }

void PutU32(char* at, uint32_t v) {
    for (int i = 0; i < 4; ++i) at[i] = static_cast<char>((v >> (8 * i)) & 0xFF);
}

uint32_t GetU32(const unsigned char* at) {
    return static_cast<uint32_t>(at[0]) | static_cast<uint32_t>(at[1]) << 8 | static_cast<uint32_t>(at[2]) << 16 |
           static_cast<uint32_t>(at[3]) << 24;
}

void PutDouble(char* at, double d) {
    uint64_t bits = 0;
    std::memcpy(&bits, &d, sizeof bits);
    for (int i = 0; i < 8; ++i) at[i] = static_cast<char>((bits >> (8 * i)) & 0xFF);
}

double GetDouble(const unsigned char* at) {
    uint64_t bits = 0;
    for (int i = 0; i < 8; ++i) bits |= static_cast<uint64_t>(at[i]) << (8 * i);
    double d = 0;
    std::memcpy(&d, &bits, sizeof d);
    return d;
}

// The records an index file holds: its count, but no more than its bytes
// hold. A count past them is damage (CheckTimeIndex says so); no reader
// goes by it, so a damaged count can cost no more than the file itself.
int32_t HeldRecords(std::FILE* f) {
    unsigned char head[4];
    if (!f || std::fseek(f, 0, SEEK_SET) != 0 || std::fread(head, 1, 4, f) != 4) return 0;
    const auto n = static_cast<int32_t>(GetU32(head));
    if (n <= 0) return 0;
    if (std::fseek(f, 0, SEEK_END) != 0) return 0;
    const int64_t size = ::ftello(f);
    if (size < kHeaderSize || std::fseek(f, kHeaderSize, SEEK_SET) != 0) return 0;
    return static_cast<int32_t>(std::min<int64_t>(n, (size - kHeaderSize) / kRecordSize));
}

// An open index for lookups: the records it holds, read one at a time.
class IndexReader {
public:
    explicit IndexReader(const std::string& index)
        : file_(std::fopen(DeviceFilePath(index).c_str(), "rb")), count_(HeldRecords(file_.get())), name_(index) {}
    int32_t Count() const { return count_; }
    ReplayIndexRecord Record(int32_t n) {
        if (n < 1 || n > count_) {
            throw platform::BenchError(platform::err::BadArgument,
                                       "Record " + std::to_string(n) + " is not in the index " + name_);
        }
        unsigned char rec[kRecordSize];
        if (::fseeko(file_.get(), static_cast<off_t>(kHeaderSize + kRecordSize * (n - 1)), SEEK_SET) != 0 ||
            std::fread(rec, 1, kRecordSize, file_.get()) != kRecordSize) {
            throw platform::BenchError(platform::err::FileIo,
                                       "The index " + name_ + " ends before record " + std::to_string(n));
        }
        return {static_cast<int64_t>(GetU32(rec)), GetDouble(rec + 4)};
    }
    std::FILE* Handle() const { return file_.get(); }

private:
    File file_;
    int32_t count_ = 0;
    std::string name_;
};

std::string ErrnoText() { return std::strerror(errno); }

}  // namespace

std::string ReplayIndexName(const std::string& log) {
    return log.substr(0, log.size() >= 3 ? log.size() - 3 : 0) + "idx";
}

TimeIndexScanner::TimeIndexScanner(std::string pattern) : pattern_(std::move(pattern)) {}

void TimeIndexScanner::Feed(const char* data, size_t size, std::vector<ReplayIndexRecord>& out) {
    if (pattern_.empty()) {
        offset_ += static_cast<int64_t>(size);
        return;
    }
    const char first = pattern_[0];
    size_t i = 0;
    while (i < size) {
        switch (state_) {
            case State::Looking: {
                // Most bytes are skipped here: let memchr find the next candidate.
                const void* hit = std::memchr(data + i, first, size - i);
                if (!hit) {
                    i = size;
                    break;
                }
                i = static_cast<size_t>(static_cast<const char*>(hit) - data);
                start_ = offset_ + static_cast<int64_t>(i) + 1;
                matched_ = 1;
                ++i;
                state_ = matched_ == pattern_.size() ? State::Time : State::Matching;
                count_ = 0;
                separators_ = SeparatorsAfterPattern();
                break;
            }
            case State::Matching:
                if (data[i] == pattern_[matched_]) {
                    if (++matched_ == pattern_.size()) {
                        state_ = State::Time;
                        count_ = 0;
                        separators_ = SeparatorsAfterPattern();
                    }
                } else {
                    state_ = State::Looking;  // this byte is not tried as a start
                }
                ++i;
                break;
            case State::Time: {
                const char c = data[i];
                // Only the separator before the time field is skipped: a comma
                // after it ends the field, whose digits would otherwise run on
                // into the next field's.
                if (c == ',' && count_ == 0 && separators_ > 0) {
                    --separators_;
                    ++i;
                    break;
                }
                if (c < '0' || c > '9') {
                    // No time here. A "$" begins another sentence: look at it again.
                    state_ = State::Looking;
                    if (c != first) ++i;
                    break;
                }
                digits_[count_++] = c - '0';
                ++i;
                if (count_ == 6) {
                    state_ = State::Looking;
                    const int h = digits_[0] * 10 + digits_[1];
                    const int m = digits_[2] * 10 + digits_[3];
                    const int s = digits_[4] * 10 + digits_[5];
                    if (h < 24 && m < 60 && s < 60) out.push_back({start_, (h * 3600 + m * 60 + s) / 86400.0});
                }
                break;
            }
        }
    }
    offset_ += static_cast<int64_t>(size);
}

TimeIndexBuild BuildTimeIndex(const std::string& log, std::string_view pattern, IndexProgress* progress,
                              size_t block_size) {
    const std::string log_path = DeviceFilePath(log);
    const std::string index_path = DeviceFilePath(ReplayIndexName(log));
    File in(std::fopen(log_path.c_str(), "rb"));
    if (!in) throw platform::BenchError(platform::err::FileNotFound, "Cannot read the log " + log + ": " + ErrnoText());
    std::error_code ec;
    const auto length = static_cast<int64_t>(std::filesystem::file_size(log_path, ec));
    if (ec) throw platform::BenchError(platform::err::FileIo, "Cannot read the log " + log + ": " + ec.message());

    struct Hide {
        IndexProgress* p;
        ~Hide() {
            if (p) p->SetVisible(false);
        }
    } hide{progress};
    if (progress) {
        progress->SetRange(0, std::max<int64_t>(length - 1, 0));  // an empty log still gives a valid range
        progress->SetValue(0);
        progress->SetVisible(true);
    }

    QSaveFile out(Local(index_path));
    if (!out.open(QIODevice::WriteOnly)) {
        throw platform::BenchError(platform::err::FileIo,
                                   "Cannot write the index " + ReplayIndexName(log) + ": " + out.errorString().toStdString());
    }
    auto write = [&](const char* data, qint64 n) {
        if (out.write(data, n) != n) {
            throw platform::BenchError(platform::err::FileIo, "Cannot write the index " + ReplayIndexName(log) + ": " +
                                                                  out.errorString().toStdString());
        }
    };
    char head[4];
    PutU32(head, 0);
    write(head, 4);

    TimeIndexScanner scanner{std::string(pattern)};
    TimeIndexBuild result;
    std::vector<ReplayIndexRecord> found;
    std::string packed;
    std::vector<char> block(std::max<size_t>(block_size, 1));
    int64_t records = 0;
    for (;;) {
        const size_t got = std::fread(block.data(), 1, block.size(), in.get());
        if (got == 0) {
            if (std::ferror(in.get()))
                throw platform::BenchError(platform::err::FileIo, "Cannot read the log " + log + ": " + ErrnoText());
            break;
        }
        found.clear();
        scanner.Feed(block.data(), got, found);
        packed.clear();
        for (const ReplayIndexRecord& r : found) {
            if (r.Position > kMaxIndexedPosition || records == INT32_MAX) {
                result.Truncated = true;
                break;
            }
            char rec[kRecordSize];
            PutU32(rec, static_cast<uint32_t>(r.Position));
            PutDouble(rec + 4, r.Time);
            packed.append(rec, kRecordSize);
            ++records;
        }
        if (!packed.empty()) write(packed.data(), static_cast<qint64>(packed.size()));
        if (progress) progress->SetValue(scanner.Offset() - 1);
        if (result.Truncated) break;
    }
    result.Records = static_cast<int32_t>(records);
    PutU32(head, static_cast<uint32_t>(result.Records));
    if (!out.seek(0)) throw platform::BenchError(platform::err::FileIo, "Cannot write the index " + ReplayIndexName(log));
    write(head, 4);
    if (!out.commit()) {
        throw platform::BenchError(platform::err::FileIo, "Cannot write the index " + ReplayIndexName(log) + ": " +
                                                              out.errorString().toStdString());
    }
    return result;
}

int32_t ReadIndexCount(const std::string& index) { return IndexReader(index).Count(); }

ReplayIndexRecord ReadIndexRecord(const std::string& index, int32_t n) { return IndexReader(index).Record(n); }

double ReadIndexTime(const std::string& index, int32_t n) { return ReadIndexRecord(index, n).Time; }

ReplayTimeline::ReplayTimeline(const std::string& index) : name_(index) {
    IndexReader reader(index);
    const int32_t n = reader.Count();
    if (n <= 0) return;
    // Records are read in blocks, from the first one on.
    constexpr int32_t kBlock = 4096;
    std::vector<unsigned char> block(static_cast<size_t>(kRecordSize) * kBlock);
    records_.reserve(static_cast<size_t>(n));
    std::FILE* f = reader.Handle();
    while (static_cast<int32_t>(records_.size()) < n) {
        const int32_t want = std::min<int32_t>(kBlock, n - static_cast<int32_t>(records_.size()));
        const size_t got = std::fread(block.data(), kRecordSize, static_cast<size_t>(want), f);
        for (size_t i = 0; i < got; ++i) {
            const unsigned char* rec = block.data() + i * kRecordSize;
            records_.push_back({static_cast<int64_t>(GetU32(rec)), GetDouble(rec + 4)});
        }
        if (got < static_cast<size_t>(want)) break;
    }
    seconds_.reserve(records_.size());
    int64_t day = 0;
    int32_t previous = 0;
    for (size_t i = 0; i < records_.size(); ++i) {
        const int32_t of_day = SecondsOfDay(records_[i].Time);
        if (i == 0) {
            first_of_day_ = of_day;
        } else if (of_day < previous - 43200) {
            ++day;  // midnight: the time of day starts again
        }
        previous = of_day;
        seconds_.push_back(day * 86400 + of_day - first_of_day_);
    }
}

const ReplayIndexRecord& ReplayTimeline::Record(int32_t n) const {
    if (n < 1 || n > Count())
        throw platform::BenchError(platform::err::BadArgument,
                                   "Record " + std::to_string(n) + " is not in the index " + name_);
    return records_[static_cast<size_t>(n - 1)];
}

int64_t ReplayTimeline::Seconds(int32_t n) const {
    Record(n);
    return seconds_[static_cast<size_t>(n - 1)];
}

int32_t ReplayTimeline::Find(int64_t s) const {
    const int32_t n = Count();
    if (n == 0) return 0;
    auto at = [&](int32_t k) { return seconds_[static_cast<size_t>(k - 1)]; };
    // One record per second from the first one.
    int32_t k = static_cast<int32_t>(std::clamp<int64_t>(s, 1, n));
    if (s < at(k)) {
        while (s < at(k) && k > 1) --k;
    } else if (s > at(k)) {
        while (at(k) < s && k < n) ++k;
    }
    return k;
}

int64_t ReplayTimeline::SecondsOfTime(double t) const {
    if (records_.empty()) return 0;
    const int64_t s = ((SecondsOfDay(t) - first_of_day_) % 86400 + 86400) % 86400;
    const int64_t span = seconds_.back();
    if (s <= span) return s;
    // Outside the log: before its start or after its end, whichever is nearer.
    const int64_t before = 86400 - s;
    return before < s - span ? -before : s;
}

int64_t FindOffsetForTime(const std::string& index, double t, int64_t& next) {
    const ReplayTimeline timeline(index);
    const int32_t n = timeline.Count();
    if (n == 0) {
        next = 1;
        return 1;
    }
    const int32_t k = timeline.Find(timeline.SecondsOfTime(t));
    next = timeline.Record(k < n ? k + 1 : k).Position;
    return timeline.Record(k).Position;
}

std::string OtherGgaTalkers(const std::string& log, std::string_view pattern, int64_t limit) {
    File in(std::fopen(DeviceFilePath(log).c_str(), "rb"));
    if (!in) return {};
    // A sentence name is "$", two capital letters and "GGA"; the last bytes
    // of a block are kept so a name cut between two reads is still seen.
    constexpr size_t kName = 6;
    std::vector<std::string> found;
    std::string data;
    std::vector<char> block(1 << 20);
    int64_t read = 0;
    while (read < limit) {
        const size_t want = static_cast<size_t>(std::min<int64_t>(static_cast<int64_t>(block.size()), limit - read));
        const size_t got = std::fread(block.data(), 1, want, in.get());
        if (got == 0) break;
        read += static_cast<int64_t>(got);
        data.append(block.data(), got);
        for (size_t at = data.find("GGA"); at != std::string::npos; at = data.find("GGA", at + 1)) {
            if (at < 3 || data[at - 3] != '$') continue;
            const std::string name = data.substr(at - 3, kName);
            const auto upper = [](char c) { return c >= 'A' && c <= 'Z'; };
            if (!upper(name[1]) || !upper(name[2]) || name == pattern) continue;
            if (std::find(found.begin(), found.end(), name) == found.end()) found.push_back(name);
        }
        data.erase(0, data.size() > kName ? data.size() - (kName - 1) : 0);
    }
    std::string out;
    for (size_t k = 0; k < found.size(); ++k)
        out += (k == 0 ? "" : k + 1 == found.size() ? " and " : ", ") + found[k];
    return out;
}

int64_t LastSecondEnd(const std::string& log, int64_t position, std::string_view pattern, int64_t limit) {
    File in(std::fopen(DeviceFilePath(log).c_str(), "rb"));
    if (!in) throw platform::BenchError(platform::err::FileNotFound, "Cannot read the log " + log + ": " + ErrnoText());
    // From the byte after the second's own first one, so its own sentence is
    // not taken for the next.
    if (position < 1 || ::fseeko(in.get(), static_cast<off_t>(position), SEEK_SET) != 0)
        throw platform::BenchError(platform::err::FileIo, "Cannot read the log " + log + ": " + ErrnoText());
    std::vector<char> bytes(static_cast<size_t>(std::max<int64_t>(limit - 1, 0)));
    const size_t got = std::fread(bytes.data(), 1, bytes.size(), in.get());
    if (got < bytes.size() && std::ferror(in.get()))
        throw platform::BenchError(platform::err::FileIo, "Cannot read the log " + log + ": " + ErrnoText());
    TimeIndexScanner scanner{std::string(pattern)};
    std::vector<ReplayIndexRecord> found;
    scanner.Feed(bytes.data(), got, found);
    if (!found.empty()) return position + found.front().Position;
    return position + 1 + static_cast<int64_t>(got);
}

IndexCheck CheckTimeIndex(const std::string& log, const std::string& index) {
    namespace fs = std::filesystem;
    const fs::path ip = DeviceFilePath(index);
    std::error_code ec;
    if (!fs::is_regular_file(ip, ec)) return IndexCheck::Missing;
    const auto size = static_cast<int64_t>(fs::file_size(ip, ec));
    if (ec || size < kHeaderSize) return IndexCheck::Damaged;
    File f(std::fopen(ip.c_str(), "rb"));
    unsigned char head[4];
    if (!f || std::fread(head, 1, 4, f.get()) != 4) return IndexCheck::Damaged;
    const auto n = static_cast<int32_t>(GetU32(head));
    if (n < 0 || size < kHeaderSize + kRecordSize * static_cast<int64_t>(n)) return IndexCheck::Damaged;
    std::error_code log_ec, index_ec;
    const auto log_time = fs::last_write_time(DeviceFilePath(log), log_ec);
    const auto index_time = fs::last_write_time(ip, index_ec);
    if (!log_ec && !index_ec && index_time < log_time) return IndexCheck::Stale;
    return IndexCheck::Current;
}

}  // namespace bench
