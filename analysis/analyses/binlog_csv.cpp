#include "analysis/analyses/binlog_csv.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <cstring>
#include <vector>

#include "analysis/core/gps_time.h"
#include "analysis/core/run_outcome.h"
#include "analysis/core/text_util.h"

namespace navsift {

namespace {

using Payload = std::array<uint8_t, kBinlogPayload>;

uint16_t U16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | p[1] << 8); }
uint32_t U32(const uint8_t* p)
{
    return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 | static_cast<uint32_t>(p[2]) << 16 |
           static_cast<uint32_t>(p[3]) << 24;
}
double F64(const uint8_t* p)
{
    uint64_t bits = 0;
    for (int k = 7; k >= 0; --k) {
        bits = bits << 8 | p[k];
    }
    double v;
    std::memcpy(&v, &bits, sizeof v);
    return v;
}

struct Header {
    uint16_t size = 0;
    bool check_ok = false;
    bool Good() const { return check_ok && size == kBinlogPayload; }
};

Header Decode(const uint8_t* h)
{
    return {U16(h), static_cast<uint8_t>(h[0] ^ h[1] ^ h[2]) == h[3]};
}

// Exactly `n` bytes at the current position, or false (end of file or a
// short tail).
bool ReadExactly(std::FILE* f, uint8_t* into, std::size_t n, std::size_t& got)
{
    got = std::fread(into, 1, n, f);
    return got == n;
}

// The solution fields that time and place the samples of the next block.
struct Solution {
    uint32_t week = 0;
    double tow = 0;
    uint32_t cpu_time = 0;
    double latitude = 0, longitude = 0, height = 0, vel_north = 0, vel_east = 0, vel_vert = 0;
};

Solution SolutionOf(const Payload& p)
{
    Solution s;
    s.week = U32(&p[0]);
    s.tow = F64(&p[4]);
    s.cpu_time = U32(&p[16]);
    s.latitude = F64(&p[56]);
    s.longitude = F64(&p[64]);
    s.height = F64(&p[72]);
    s.vel_north = F64(&p[80]);
    s.vel_east = F64(&p[88]);
    s.vel_vert = F64(&p[96]);
    return s;
}

int FixStatusOf(const Payload& p) { return static_cast<int8_t>(p[20]); }

void AppendInt(std::string& out, int64_t v)
{
    char buf[24];
    auto [end, ec] = std::to_chars(buf, buf + sizeof buf, v);
    out.append(buf, end);
}

void AppendReal(std::string& out, double v)
{
    out += Fixed(v, 6).c_str();
}

// Rows are gathered and written in large pieces: a day of blocks makes
// millions of them.
class TableOut {
public:
    explicit TableOut(std::FILE* f) : f_(f) { text_.reserve(kFlushAt + 8192); }
    std::string& Text() { return text_; }
    void MaybeFlush()
    {
        if (text_.size() >= kFlushAt) {
            Flush();
        }
    }
    void Flush()
    {
        if (!text_.empty() && std::fwrite(text_.data(), 1, text_.size(), f_) != text_.size()) {
            failed_ = true;
        }
        text_.clear();
    }
    bool Failed() const { return failed_; }

private:
    static constexpr std::size_t kFlushAt = 1 << 20;
    std::FILE* f_;
    std::string text_;
    bool failed_ = false;
};

// Text of the columns that are the same for every sample of a block.
struct BlockTexts {
    std::string week;  // ",week,"
    std::string utc;   // ",y,m,d,h,mi,s,"
    std::string tail;  // ",fix,lat,lon,h,vn,ve,vu,cpu\n"
};

BlockTexts TextsOf(const Solution& prev, int fix_status)
{
    BlockTexts t;
    t.week = ",";
    AppendInt(t.week, static_cast<int32_t>(prev.week));
    t.week += ",";
    // The solution's second, less the fixed GPS-UTC offset; a broken time
    // gives zeros rather than an undefined conversion.
    CalendarTime utc;
    const double seconds = static_cast<double>(prev.week) * 604800.0 + std::trunc(prev.tow) - 15.0;
    if (std::isfinite(seconds) && seconds >= 0 && seconds <= 2147483647.0) {
        gps_to_calendar(static_cast<int32_t>(seconds), utc);
    }
    t.utc = ",";
    for (int32_t v : {utc.year, utc.month, utc.day, utc.hour, utc.minute, utc.second}) {
        AppendInt(t.utc, v);
        t.utc += ",";
    }
    t.tail = ",";
    AppendInt(t.tail, fix_status);
    constexpr double kDegrees = 180.0 / 3.141592653589793;
    for (double v : {prev.latitude * kDegrees, prev.longitude * kDegrees, prev.height, prev.vel_north,
                     prev.vel_east, prev.vel_vert}) {
        t.tail += ",";
        AppendReal(t.tail, v);
    }
    t.tail += ",";
    AppendInt(t.tail, prev.cpu_time);
    t.tail += "\n";
    return t;
}

// Reads one block at the file position: its header, then its payload.
enum class BlockRead { Good, End, Truncated, BadCheck, BadSize };

BlockRead ReadBlock(std::FILE* f, Payload& payload, int64_t& start)
{
    start = std::ftell(f);
    uint8_t h[4];
    std::size_t got = 0;
    if (!ReadExactly(f, h, 4, got)) {
        return got == 0 ? BlockRead::End : BlockRead::Truncated;
    }
    const Header header = Decode(h);
    if (!header.check_ok) {
        return BlockRead::BadCheck;
    }
    if (header.size != kBinlogPayload) {
        return BlockRead::BadSize;
    }
    return ReadExactly(f, payload.data(), payload.size(), got) ? BlockRead::Good : BlockRead::Truncated;
}

}  // namespace

int binlog_resync(std::FILE* file, int64_t& position)
{
    // Damaged stretches can be long: scan a buffered window rather than
    // seeking and reading four bytes at every offset. The window reaches a
    // block past its last candidate, so the second header is in it when the
    // file has one.
    constexpr int64_t kScan = 1 << 20;
    constexpr int64_t kReach = kBinlogBlock + 4;
    std::vector<uint8_t> window(static_cast<std::size_t>(kScan + kReach));
    for (int64_t base = position;; base += kScan) {
        if (std::fseek(file, static_cast<long>(base), SEEK_SET) != 0) {
            return 1;
        }
        const int64_t have = static_cast<int64_t>(std::fread(window.data(), 1, window.size(), file));
        // Candidates need their own four bytes in the file.
        const int64_t candidates = std::min(kScan, have - 3);
        for (int64_t k = 0; k < candidates; ++k) {
            if (!Decode(&window[static_cast<std::size_t>(k)]).Good()) {
                continue;
            }
            // A second good header a block further, inside the file.
            if (k + kReach > have || !Decode(&window[static_cast<std::size_t>(k + kBinlogBlock)]).Good()) {
                continue;
            }
            position = base + k;
            std::fseek(file, static_cast<long>(position), SEEK_SET);
            return 0;
        }
        if (have < static_cast<int64_t>(window.size())) {
            return 1;  // the end of the file is in this window
        }
    }
}

int binlog_convert(const std::string& input, std::FILE* out, std::FILE* messages)
{
    std::FILE* f = std::fopen(input.c_str(), "rb");
    if (f == nullptr) {
        std::fprintf(messages, "cannot open %s\n", input.c_str());
        return 1;
    }
    int64_t start = 0;
    if (binlog_resync(f, start) != 0) {
        std::fclose(f);
        std::fprintf(messages, "no block found in %s\n", input.c_str());
        return 1;
    }
    TableOut table(out);
    int status = 0;
    int64_t block_start = start;
    auto stopped = [&](const char* why) {
        table.Flush();
        std::fprintf(messages, "%s: %s at byte offset %lld\n", input.c_str(), why,
                     static_cast<long long>(block_start));
        status = 1;
    };

    // Up to the first block with a fix; damaged headers are stepped over.
    Payload current{}, previous{};
    bool ended = false;
    while (FixStatusOf(current) < 2) {
        const BlockRead r = ReadBlock(f, current, block_start);
        if (r == BlockRead::Good || r == BlockRead::BadCheck || r == BlockRead::BadSize) {
            continue;  // after a damaged header the next one is tried four bytes on
        }
        if (r == BlockRead::Truncated) {
            stopped("truncated block");
        }
        ended = true;
        break;
    }

    // The block after the fix is the first whose solution times samples.
    BlockRead r = ended ? BlockRead::End : ReadBlock(f, previous, block_start);
    // The header goes with the first sample: a log without one gives no table.
    const auto header = [&table]() {
        table.Text() +=
            "Sample,CPU Time,GPS time Week,GPS time tow,UTC year,UTC month,UTC day,UTC hour,UTC min,UTC sec,Odo "
            "Counter,GyroV,GyroSupply,Vcc,Ground,FixStatus,Latitude,Longitude,Height,VelNorth,VelEast,VelVert,"
            "GPSCPUTime\n";
    };
    int64_t sample = 0;
    while (!ended) {
        if (r != BlockRead::Good) {
            if (sample == 0) {
                header();
            }
            if (r == BlockRead::BadCheck) {
                table.Text() += "Wrong Header Found!\n";
                stopped("wrong header");
            } else if (r == BlockRead::BadSize) {
                table.Text() += "Wrong Data Block Size!\n";
                stopped("wrong block size");
            } else if (r == BlockRead::Truncated) {
                stopped("truncated block");
            }
            break;
        }
        r = ReadBlock(f, current, block_start);
        if (r != BlockRead::Good) {
            continue;  // reported at the top
        }
        const Solution prev = SolutionOf(previous);
        const BlockTexts texts = TextsOf(prev, FixStatusOf(current));
        const uint32_t count = std::min<uint32_t>(U32(&current[2612]), kBinlogMaxSamples);
        double tow = prev.tow;
        uint32_t last_tick = 0;
        std::string& text = table.Text();
        for (uint32_t i = 0; i < count; ++i) {
            const uint32_t tick = U32(&current[2616 + 4 * i]);
            if (i > 0) {
                tow += static_cast<uint32_t>(tick - last_tick) / 1023000.0;
            }
            last_tick = tick;
            const uint8_t* s = &current[2704 + 8 * i];
            if (sample == 0) {
                header();
            }
            AppendInt(text, ++sample);
            text += ",";
            AppendInt(text, tick);
            text += texts.week;
            AppendReal(text, tow);
            text += texts.utc;
            AppendInt(text, U16(&current[2880 + 2 * i]));
            for (int k = 0; k < 4; ++k) {
                text += ",";
                AppendInt(text, U16(s + 2 * k));
            }
            text += texts.tail;
        }
        table.MaybeFlush();
        previous = current;
    }
    table.Flush();
    std::fclose(f);
    if (table.Failed()) {
        std::fprintf(messages, "cannot write the table of %s\n", input.c_str());
        return 1;
    }
    run_produced(static_cast<std::size_t>(sample));
    if (sample == 0 && status == 0) {
        run_input_lacks(input, "no sample after a block with a fix");
    }
    return status;
}

int binlog_to_csv(const OptionRecord& options)
{
    const auto input = options.Arg(options.binary);
    if (!input) {
        std::fprintf(stderr, "-binary needs a file\n");
        return 2;
    }
    const int status = binlog_convert(*input, stdout, stderr);
    std::fflush(stdout);
    return status;
}

}  // namespace navsift
