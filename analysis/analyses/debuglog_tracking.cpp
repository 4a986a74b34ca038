#include "analysis/analyses/debuglog_tracking.h"

#include <cctype>
#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "analysis/analyses/tracking_report.h"
#include "analysis/analyses/tracking_tables.h"
#include "analysis/analyses/visibility.h"
#include "analysis/core/byte_stream.h"
#include "analysis/core/folders.h"
#include "analysis/core/gps_time.h"
#include "analysis/core/run_outcome.h"
#include "analysis/core/text_util.h"
#include "analysis/writers/html_pages.h"

namespace navsift {

namespace {

constexpr int32_t kBlockSeconds = 14400;  // intervals stay inside 4-hour blocks of the day
constexpr int32_t kGapWarning = 3600;
constexpr int64_t kTimeJumpLimit = 172800;  // a row this far from the previous time has a broken time

bool Contains(const std::string& line, const char* text)
{
    return line.find(text) != std::string::npos;
}

std::string WithoutLineEnd(std::string line)
{
    while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) {
        line.pop_back();
    }
    return line;
}

struct TimeLine {
    int32_t week = 0;
    int32_t tow = 0;
    int32_t t = 0;
};

// "GPS Week %d Time %d" with both values in range.
bool ParseTimeLine(const std::string& line, TimeLine& out)
{
    int week = 0, tow = 0;
    if (std::sscanf(line.c_str(), "GPS Week %d Time %d", &week, &tow) != 2) {
        return false;
    }
    if (week < 1001 || week > 2999 || tow < 0 || tow > 604799) {
        return false;
    }
    out.week = week;
    out.tow = tow;
    out.t = static_cast<int32_t>(static_cast<int64_t>(week) * 604800 + tow);
    return true;
}

bool InWindow(const std::optional<GpsWindow>& w, int32_t t)
{
    return !w || (w->lower < t && t < w->upper && w->upper > 0);
}

// "<name> : degrees:minutes.fraction hemisphere". The fraction of the minute
// is read as written: "12.5" is 12.5 minutes whatever the number of digits.
bool ParseAngle(const std::string& line, const char* format, char negative, double& out)
{
    int degrees = 0, minutes = 0, fraction = 0, before = 0, after = 0;
    char hemisphere = 0;
    if (std::sscanf(line.c_str(), format, &degrees, &minutes, &before, &fraction, &after, &hemisphere) != 4) {
        return false;
    }
    int digits = 0;
    for (int k = before; k < after; ++k) {
        digits += std::isdigit(static_cast<unsigned char>(line[static_cast<std::size_t>(k)])) ? 1 : 0;
    }
    const double value = degrees + (minutes + fraction / std::pow(10.0, digits)) / 60.0;
    out = hemisphere == negative ? -value : value;
    return true;
}

struct SatLine {
    int prn = 0, status = 0, f3 = 0, f4 = 0, f5 = 0, f6 = 0;
    double f7 = 0;
    char letter = 0;
    double cn0 = 0;
};

// The nine fields of a satellite row; the number read.
int ParseSatLine(const std::string& line, SatLine& s)
{
    return std::sscanf(line.c_str(), "%3d%5d%8d%8d%7d%5d%lf%c%lf", &s.prn, &s.status, &s.f3, &s.f4, &s.f5, &s.f6,
                       &s.f7, &s.letter, &s.cn0);
}

class DebugLogRun {
public:
    DebugLogRun(ByteStream& log, std::string report_folder, std::string rinex_folder,
                const std::optional<GpsWindow>& window)
        : in_(log), report_folder_(std::move(report_folder)), rinex_folder_(std::move(rinex_folder)), window_(window)
    {
    }

    // Satellite rows written.
    std::size_t Rows() const { return rows_; }

    // Every interval to the end of the log; false when an output could not
    // be made.
    bool Intervals(TrackingReport& report)
    {
        int64_t from = 0;
        while (true) {
            int32_t t0 = 0;
            int64_t after_t0 = 0;
            if (!FindStart(from, t0, after_t0)) {
                return true;
            }
            bool log_ended = false;
            const int32_t end = ScanEnd(after_t0, t0, log_ended);
            const std::string folder = report_folder_ + interval_folder_name(t0, end) + "/";
            if (!OpenInterval(folder)) {
                return false;
            }
            const int64_t next = Process(after_t0, t0, end);
            bool ok = CloseInterval();
            std::string note;
            const int64_t block_end = static_cast<int64_t>(SecondOfDay(t0) / kBlockSeconds) * kBlockSeconds +
                                      kBlockSeconds - 1;
            if (log_ended && next < 0 && SecondOfDay(end) != block_end) {
                note = Format("The log ends at %s, before the end of this interval: the interval holds what the "
                              "log holds.",
                              StampOf(end).c_str());
                std::printf("%s\n", note.c_str());
            }
            ok = report.AddWindow(folder, t0, end, note) && ok;
            if (!ok) {
                return false;
            }
            if (next < 0) {
                return true;
            }
            from = next;
        }
    }

private:
    bool ReadLine(std::string& line, int64_t& at)
    {
        at = read_line(in_, line);
        return !line.empty();
    }

    // The first valid time line (in the window) after the next block
    // marker from `from`.
    bool FindStart(int64_t from, int32_t& t0, int64_t& after)
    {
        in_.Seek(from);
        std::string line;
        int64_t at = 0;
        bool marker = false;
        while (ReadLine(line, at)) {
            if (!marker) {
                marker = Contains(line, "KALMAN ");
                continue;
            }
            TimeLine tl;
            if (Contains(line, "GPS Week") && ParseTimeLine(line, tl) && InWindow(window_, tl.t)) {
                t0 = tl.t;
                after = in_.Tell();
                return true;
            }
        }
        return false;
    }

    // The last time of the interval that starts at t0: valid times up to the
    // end of t0's 4-hour block of that day, until time falls back. A time of
    // a later day ends it even at the same hour.
    int32_t ScanEnd(int64_t from, int32_t t0, bool& log_ended)
    {
        const int32_t block_end = SecondOfDay(t0) / kBlockSeconds * kBlockSeconds + kBlockSeconds - 1;
        const int64_t last_allowed = static_cast<int64_t>(t0) - SecondOfDay(t0) + block_end;
        in_.Seek(from);
        int32_t last = t0;
        std::string line;
        int64_t at = 0;
        log_ended = true;
        while (ReadLine(line, at)) {
            TimeLine tl;
            if (!Contains(line, "GPS Week") || !ParseTimeLine(line, tl) || !InWindow(window_, tl.t)) {
                continue;
            }
            if (tl.t > last_allowed || tl.t < last) {
                log_ended = false;
                break;
            }
            last = tl.t;
        }
        return last;
    }

    bool OpenInterval(const std::string& folder)
    {
        folder_ = folder;
        if (!MakeFolder(folder) || !CreateOrReport(pos_, folder + "pos.txt")) {
            return false;
        }
        for (int prn = 1; prn <= kMaxPrn; ++prn) {
            if (!CreateOrReport(sats_[static_cast<std::size_t>(prn - 1)], folder + Format("sat%02d.txt", prn))) {
                return false;
            }
        }
        if (!visibility_.visibility_open(folder, rinex_folder_)) {
            std::fprintf(stderr, "cannot create %s\n", visibility_.Path().c_str());
            return false;
        }
        marks_.fill(0);
        return true;
    }

    bool CloseInterval()
    {
        bool ok = CloseOrReport(pos_);
        for (OutFile& f : sats_) {
            ok = CloseOrReport(f) && ok;
        }
        visibility_.Close();
        if (!visibility_.Good()) {
            std::fprintf(stderr, "cannot write %s\n", visibility_.Path().c_str());
            ok = false;
        }
        return ok;
    }

    void WritePosition()
    {
        CalendarTime c;
        gps_to_calendar(position_time_, c);
        pos_.Printf("%d,%d,%d,%f,%f,0,%f,0,0,0\r\n", c.hour, c.minute, c.second, latitude_, longitude_, height_);
        position_ready_ = false;
    }

    // Latitude, longitude and height lines in a row. A group broken off is
    // dropped; a time line or block marker that broke it is handed back.
    void ReadPosition(const std::string& latitude_line, int32_t current, std::string& handed_back)
    {
        double lat = 0, lon = 0;
        if (!ParseAngle(latitude_line, "Lat : %d:%d.%n%d%n %c", 'S', lat)) {
            return;
        }
        std::string line;
        int64_t at = 0;
        const auto structural = [](const std::string& l) { return Contains(l, "KALMAN ") || Contains(l, "GPS Week"); };
        if (!ReadLine(line, at)) {
            return;
        }
        if (!Contains(line, "Lon :") || !ParseAngle(line, "Lon : %d:%d.%n%d%n %c", 'W', lon)) {
            if (structural(line)) {
                handed_back = line;
            }
            return;
        }
        if (!ReadLine(line, at)) {
            return;
        }
        int height = 0;
        if (!Contains(line, "Height :") || std::sscanf(line.c_str(), "Height : %d", &height) != 1) {
            if (structural(line)) {
                handed_back = line;
            }
            return;
        }
        latitude_ = lat;
        longitude_ = lon;
        height_ = height;
        position_time_ = current;
        position_ready_ = true;
    }

    // Writes the interval's rows from `from`. Returns where the next interval
    // begins (the block of the first time past `end`), or -1 at the end of
    // the log.
    int64_t Process(int64_t from, int32_t t0, int32_t end)
    {
        in_.Seek(from);
        int32_t current = t0;
        int32_t previous = t0;
        position_ready_ = false;
        bool outside_window = false;  // rows after a time outside the window are not taken
        int64_t last_marker = -1;
        int64_t last_time_line = from;
        std::string line;
        std::string handed_back;
        int64_t at = 0;
        while (true) {
            if (!handed_back.empty()) {
                line.swap(handed_back);
                handed_back.clear();
            } else if (!ReadLine(line, at)) {
                break;
            }
            if (Contains(line, "KALMAN ")) {
                block_seen_ = true;
                last_marker = at;
                continue;
            }
            if (Contains(line, "GPS Week")) {
                TimeLine tl;
                if (!ParseTimeLine(line, tl) || !block_seen_) {
                    continue;
                }
                if (!InWindow(window_, tl.t)) {
                    outside_window = true;
                    continue;
                }
                if (tl.t > end || tl.t < current || SecondOfDay(tl.t) < SecondOfDay(current)) {
                    if (position_ready_) {
                        WritePosition();
                    }
                    return last_marker > last_time_line ? last_marker : at;
                }
                last_time_line = at;
                outside_window = false;
                previous = current;
                current = tl.t;
                if (position_ready_) {
                    WritePosition();
                    visibility_.sat_visibility(ReceiverPosition{latitude_, longitude_, height_},
                                               GpsTime{static_cast<uint32_t>(tl.week), static_cast<double>(tl.tow)},
                                               marks_);
                }
                if (static_cast<int64_t>(current) - previous > kGapWarning) {
                    std::printf("WARMING TIME GAP: %s\n", WithoutLineEnd(line).c_str());
                }
                continue;
            }
            if (Contains(line, "Lat :")) {
                ReadPosition(line, current, handed_back);
                continue;
            }
            SatLine s;
            const int fields = ParseSatLine(line, s);
            const bool time_ok = current > 0 && static_cast<int64_t>(current) - previous < kTimeJumpLimit;
            if (fields == 9 && s.prn >= 1 && s.prn <= kMaxPrn && s.status == 10 && s.cn0 >= 0 && s.cn0 < 60 &&
                time_ok) {
                if (!outside_window) {
                    ++rows_;
                    run_produced();
                    sats_[static_cast<std::size_t>(s.prn - 1)].Printf(
                        "%10d%10d%10d%10d%10d%10d%10d%10.1f%10d%10.1f%10d\r\n", current, s.prn, 10, s.f3, s.f4, s.f5,
                        s.f6, s.f7, s.letter == 'D' ? 1 : 0, s.cn0, marks_[static_cast<std::size_t>(s.prn - 1)]);
                }
            } else if (static_cast<int64_t>(current) - previous >= kTimeJumpLimit) {
                std::printf("BAD time decoded!!\n");
            } else if (fields == 9) {
                std::printf("Bad Line: %s\n", WithoutLineEnd(line).c_str());
            }
        }
        if (position_ready_) {
            WritePosition();
        }
        return -1;
    }

    ByteStream& in_;
    std::string report_folder_;
    std::string rinex_folder_;
    std::optional<GpsWindow> window_;
    std::string folder_;
    SatelliteFiles sats_;
    OutFile pos_;
    VisibilityFile visibility_;
    ElevationMarks marks_{};
    bool block_seen_ = false;  // once a block marker was seen while processing
    bool position_ready_ = false;
    std::size_t rows_ = 0;
    int32_t position_time_ = 0;
    double latitude_ = 0, longitude_ = 0, height_ = 0;
};

// What a file lacks to be a debug log of this analysis ("" when nothing):
// the block markers, the time lines that place its rows, the satellite rows.
std::string WhatDebugLogLacks(ByteStream& in)
{
    bool marker = false, time_line = false, row = false;
    std::string line;
    in.Seek(0);
    while (!(marker && time_line && row)) {
        read_line(in, line);
        if (line.empty()) {
            break;
        }
        TimeLine tl;
        SatLine sat;
        marker = marker || Contains(line, "KALMAN ");
        time_line = time_line || (Contains(line, "GPS Week") && ParseTimeLine(line, tl));
        row = row || ParseSatLine(line, sat) == 9;
    }
    in.Seek(0);
    if (in.Size() == 0) {
        return "it is empty";
    }
    if (!marker) {
        return "not a debug log: no \"KALMAN \" block marker";
    }
    if (!time_line) {
        return "no \"GPS Week ... Time ...\" line that reads as a time";
    }
    if (!row) {
        return "no satellite row";
    }
    return {};
}

bool WholeNumber(const std::string& word, int32_t& out)
{
    if (word.empty()) {
        return false;
    }
    char* end = nullptr;
    errno = 0;
    const long long v = std::strtoll(word.c_str(), &end, 10);
    if (*end != '\0' || errno != 0 || v < INT32_MIN || v > INT32_MAX) {
        return false;
    }
    out = static_cast<int32_t>(v);
    return true;
}

}  // namespace

std::optional<GpsWindow> DebugLogWindow(const OptionRecord& options)
{
    GpsWindow w;
    if (options.words.size() <= 4 || !WholeNumber(options.words[3], w.upper) ||
        !WholeNumber(options.words[4], w.lower) || w.upper == 0) {
        return std::nullopt;
    }
    return w;
}

int debuglog_tracking_analysis(const std::string& log_path, const std::string& rinex_folder, int32_t report_type,
                               const std::optional<GpsWindow>& window)
{
    if (report_type > 4) {
        std::fprintf(stderr, "report type %d is not a report layout: give 0 to 4\n", report_type);
        return 2;
    }
    ByteStream in;
    if (!in.Open(log_path)) {
        std::fprintf(stderr, "cannot open %s\n", log_path.c_str());
        return 1;
    }
    if (const std::string lacks = WhatDebugLogLacks(in); !lacks.empty()) {
        run_input_lacks(log_path, lacks);
        return 0;
    }
    const std::string report_folder = TrackingReportFolder(SplitPath(log_path).folder);
    if (!MakeFolder(report_folder)) {
        return 1;
    }
    TrackingReport report;
    const int layout = report_type >= 0 ? report_type : 0;
    if (!report.Open(report_folder, 0, layout, false)) {
        report.Finish();
        return 1;
    }
    DebugLogRun run(in, report_folder, rinex_folder, window);
    int status = run.Intervals(report) ? 0 : 1;
    if (status == 0 && run.Rows() == 0) {
        run_input_lacks(log_path, window ? "no satellite row within the time window" : "no satellite row to take");
    }
    if (!report.Finish()) {
        status = 1;
    }
    return status;
}

int run_debuglog_tracking(const OptionRecord& options)
{
    const std::optional<std::string> log = DebugLogPath(options);
    if (!log) {
        std::fprintf(stderr, "navsift: name the debug log after -d\n");
        return 2;
    }
    return debuglog_tracking_analysis(*log, options.e_folder, options.rtype, DebugLogWindow(options));
}

}  // namespace navsift
