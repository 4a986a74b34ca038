#include "analysis/analyses/tracking_tables.h"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <string_view>
#include <vector>

#include "analysis/core/byte_stream.h"
#include "analysis/core/text_util.h"
#include "analysis/writers/excel_charts.h"

namespace navsift {

namespace {

// "%*d" without printf's cost: the satellite rows run to millions a day.
void AppendInt(std::string& out, int64_t value, int width)
{
    char digits[24];
    const auto [end, ec] = std::to_chars(digits, digits + sizeof digits, value);
    const int n = static_cast<int>(end - digits);
    if (n < width) {
        out.append(static_cast<std::size_t>(width - n), ' ');
    }
    out.append(digits, static_cast<std::size_t>(n));
}

// "%*.*f", with one spelling for a value that is not a number, so that
// Matlab and the workbooks read it whatever the C library prints.
void AppendReal(std::string& out, double value, int width, int precision)
{
    const char* text = nullptr;
    FixedText fixed;
    if (std::isnan(value)) {
        text = "NaN";
    } else {
        fixed = Fixed(value, precision);
        text = fixed.c_str();
    }
    const int n = static_cast<int>(std::strlen(text));
    if (n < width) {
        out.append(static_cast<std::size_t>(width - n), ' ');
    }
    out.append(text, static_cast<std::size_t>(n));
}

// A real value of the log as a whole number, truncated toward zero; values
// beyond the 32-bit range (a garbled field) are held at its ends.
int32_t Truncated(double value)
{
    if (std::isnan(value)) {
        return 0;
    }
    if (value >= 2147483647.0) {
        return INT32_MAX;
    }
    if (value <= -2147483648.0) {
        return INT32_MIN;
    }
    return static_cast<int32_t>(value);
}

void AppendSatRow(std::string& row, int32_t time, int32_t prn, int32_t timer, int32_t frequency, int32_t cn0,
                  int32_t elevation, int32_t azimuth, int32_t mark)
{
    AppendInt(row, time, 12);
    const int32_t columns[12] = {prn, 10, timer, frequency, 0, 0, 0, 0, cn0, elevation, azimuth, mark};
    for (int32_t v : columns) {
        row += ',';
        AppendInt(row, v, 10);
    }
    row += "\r\n";
}

int32_t Timestamp(const NmeaEpoch& e)
{
    if (e.Has(kHasRMC)) {
        return e.gps_time;
    }
    if (e.Has(kHasQnvTG)) {
        return e.tg_gps_time - 15;
    }
    return 0;
}

int32_t FixStatus(const NmeaEpoch& e)
{
    if (e.Has(kHasGSA)) {
        return e.gsa_mode;
    }
    return e.fix_quality != 0 ? 3 : 1;
}

int32_t TrackedSats(const NmeaEpoch& e)
{
    return e.Has(kHasQnvTS) ? e.tracked_count : 0;
}

void WriteRows(SatelliteFiles& files, const SatRows& rows)
{
    for (int k = 0; k < kMaxPrn; ++k) {
        files[static_cast<std::size_t>(k)].Write(rows.row[static_cast<std::size_t>(k)]);
    }
}

}  // namespace

void format_sat_rows(const NmeaEpoch& e, const ElevationMarks& marks, bool from_ts, SatRows& out)
{
    for (int k = 0; k < kMaxPrn; ++k) {
        std::string& row = out.row[static_cast<std::size_t>(k)];
        row.clear();
        const GsvSatellite& sat = e.gsv[static_cast<std::size_t>(k)];
        // -1: whether it was visible is not known (the epoch told no time).
        const int32_t mark = e.sats_visible == kCountUnknown ? -1 : marks[static_cast<std::size_t>(k)];
        if (from_ts) {
            const TrackerChannel& ch = e.ts[static_cast<std::size_t>(k)];
            if (ch.valid != 0) {
                AppendSatRow(row, e.gps_time, k + 1, ch.timer_ms / 1000, Truncated(ch.frequency), ch.cn0,
                             sat.elevation, sat.azimuth, mark);
            }
        } else if (sat.valid != 0 && sat.cn0 > 0) {
            AppendSatRow(row, e.gps_time, k + 1, 0, 0, sat.cn0, sat.elevation, sat.azimuth, mark);
        }
    }
}

void clear_sat_marks(NmeaEpoch& e, bool from_ts)
{
    if (from_ts) {
        for (TrackerChannel& ch : e.ts) {
            ch.valid = 0;
        }
    } else {
        for (GsvSatellite& sat : e.gsv) {
            sat.valid = 0;
        }
    }
}

void write_sat_rows_from_gsv(SatelliteFiles& files, const ElevationMarks& marks, bool clear, NmeaEpoch& e)
{
    SatRows rows;
    format_sat_rows(e, marks, false, rows);
    WriteRows(files, rows);
    if (clear) {
        clear_sat_marks(e, false);
    }
}

void write_sat_rows_from_ts(SatelliteFiles& files, const ElevationMarks& marks, bool clear, NmeaEpoch& e)
{
    SatRows rows;
    format_sat_rows(e, marks, true, rows);
    WriteRows(files, rows);
    if (clear) {
        clear_sat_marks(e, true);
    }
}

std::string global_info_txt_row(const NmeaEpoch& e)
{
    // A blank goes before every column after the first: a height of a
    // million metres below the ellipsoid, a longitude of -180 or a large
    // NCO fills its width, and a reader that splits at blanks must still
    // get every value.
    std::string row;
    row.reserve(240);
    const auto integer = [&row](int64_t v, int width) {
        row += ' ';
        AppendInt(row, v, width);
    };
    const auto real = [&row](double v, int width, int precision) {
        row += ' ';
        AppendReal(row, v, width, precision);
    };
    // A count that could not be had reads as no number, never as none.
    const auto count = [&](int32_t v, int width) {
        if (v == kCountUnknown) {
            real(kUntold, width, 0);
        } else {
            integer(v, width);
        }
    };
    AppendInt(row, e.gga_count, 10);
    integer(Timestamp(e), 12);
    integer(e.tg_gap, 12);
    real(e.latitude, 12, 6);
    real(e.longitude, 12, 6);
    real(e.height, 12, 3);
    integer(e.fix_quality, 10);
    integer(FixStatus(e), 10);
    real(e.pdop, 10, 3);
    real(e.hdop, 10, 3);
    real(e.vdop, 10, 3);
    integer(e.sats_used, 10);
    integer(TrackedSats(e), 10);
    count(e.sats_visible, 10);
    real(e.SpeedMs(), 10, 3);
    real(e.tg_nco, 10, 3);
    real(e.cn0_avg, 10, 3);
    real(e.cn0_max, 10, 3);
    real(e.cn0_min, 10, 3);
    row += "\r\n";
    return row;
}

std::string global_info_csv_row(const NmeaEpoch& e)
{
    std::string row;
    row.reserve(200);
    const auto integer = [&row](int32_t v, bool comma = true) {
        AppendInt(row, v, 0);
        if (comma) {
            row += ',';
        }
    };
    const auto real = [&row](double v, bool comma = true) {
        AppendReal(row, v, 0, 6);
        if (comma) {
            row += ',';
        }
    };
    const auto untold_or_real = [&](double v) {
        if (std::isnan(v)) {
            row += ',';
        } else {
            real(v);
        }
    };
    const auto untold_or_integer = [&](int32_t v) {
        if (v == kCountUnknown) {
            row += ',';
        } else {
            integer(v);
        }
    };
    integer(e.gga_count);
    integer(Timestamp(e));
    integer(e.tg_gap);
    real(e.latitude);
    real(e.longitude);
    real(e.height);
    integer(e.fix_quality);
    integer(FixStatus(e));
    real(e.pdop);
    real(e.hdop);
    real(e.vdop);
    integer(e.sats_used);
    integer(TrackedSats(e));
    // A sheet's empty cell: what was not told (no speed, no visibility
    // without a time) is a gap in a chart, never a 0 drawn as a value.
    untold_or_integer(e.sats_visible);
    untold_or_real(e.SpeedMs());
    real(e.tg_nco);
    real(e.cn0_avg);
    real(e.cn0_max);
    real(e.cn0_min, false);
    row += "\r\n";
    return row;
}

void write_global_info_txt(OutFile& out, bool clear, NmeaEpoch& e)
{
    if (e.gga_valid == 0) {
        return;
    }
    out.Write(global_info_txt_row(e));
    if (clear) {
        e.gga_valid = 0;
    }
}

void write_global_info_csv(OutFile& out, NmeaEpoch& e)
{
    if (e.gga_valid != 0) {
        out.Write(global_info_csv_row(e));
    }
    e.gga_valid = 0;
}

void update_cn0_average(NmeaEpoch& e)
{
    double sum = 0;
    int heard = 0;
    for (const GsvSatellite& sat : e.gsv) {
        if (sat.cn0 > 0) {
            sum += sat.cn0;
            ++heard;
        }
    }
    if (heard == 0) {
        e.cn0_avg = std::nan("");
        return;
    }
    const double mean = sum / heard;
    e.cn0_avg = mean;
    if (e.cn0_stat_count == 0) {
        e.cn0_max = e.cn0_min = mean;
    } else {
        if (e.cn0_max < mean) {
            e.cn0_max = mean;
        }
        if (e.cn0_min > mean) {
            e.cn0_min = mean;
        }
    }
    ++e.cn0_stat_count;
}

namespace {

void PutI32(unsigned char* at, int32_t v)
{
    const auto u = static_cast<uint32_t>(v);
    for (int k = 0; k < 4; ++k) {
        at[k] = static_cast<unsigned char>(u >> (8 * k));
    }
}

void PutF64(unsigned char* at, double v)
{
    uint64_t u = 0;
    std::memcpy(&u, &v, sizeof u);
    for (int k = 0; k < 8; ++k) {
        at[k] = static_cast<unsigned char>(u >> (8 * k));
    }
}

}  // namespace

void pack_epoch_record(const NmeaEpoch& e, unsigned char (&out)[kRawEpochSize])
{
    std::memset(out, 0, sizeof out);
    unsigned char* p = out;
    PutI32(p + 0, static_cast<int32_t>(e.flags));
    PutI32(p + 4, e.gps_time);
    PutI32(p + 8, e.rmc_sod);
    PutI32(p + 12, e.gga_sod);
    PutI32(p + 16, e.gga_count);
    PutI32(p + 20, e.rmc_count);
    PutI32(p + 24, e.tg_count);
    PutI32(p + 28, e.gga_valid);
    PutF64(p + 32, e.latitude);
    PutF64(p + 40, e.longitude);
    PutF64(p + 48, e.height);
    PutF64(p + 56, e.SpeedMs());
    PutI32(p + 64, e.gsa_mode);
    PutI32(p + 68, e.fix_quality);
    PutF64(p + 72, e.pdop);
    PutF64(p + 80, e.hdop);
    PutF64(p + 88, e.vdop);
    PutI32(p + 96, e.sats_used);
    PutI32(p + 100, e.sats_visible);
    PutI32(p + 104, e.sats_in_view);
    PutI32(p + 108, e.tracked_count);
    PutI32(p + 112, e.tg_gps_time);
    PutI32(p + 120, e.tg_prev_gps_time);
    PutI32(p + 128, e.tg_week);  // 132..135 reserved
    PutF64(p + 136, e.tg_tow);
    PutF64(p + 144, e.tg_nco);
    PutI32(p + 156, e.tg_gap);
    PutI32(p + 164, e.tg_seen);
    PutI32(p + 168, e.tg_hour);
    PutI32(p + 172, e.tg_minute);
    PutI32(p + 176, e.tg_second);
    PutI32(p + 184, e.tg_day);
    PutI32(p + 188, e.tg_month);
    PutI32(p + 192, e.tg_year);
    PutI32(p + 200, e.gsv_msg);
    PutI32(p + 204, e.gsv_total);
    PutI32(p + 208, e.gsv_in_view);
    PutI32(p + 212, e.gsv_left);
    PutI32(p + 216, e.cn0_stat_count);
    PutF64(p + 224, e.cn0_max);
    PutF64(p + 232, e.cn0_min);
    PutF64(p + 240, e.cn0_avg);
    for (int k = 0; k < kMaxPrn; ++k) {
        PutF64(p + 248 + 8 * k, e.stable_cn0[static_cast<std::size_t>(k)]);
        const GsvSatellite& g = e.gsv[static_cast<std::size_t>(k)];
        unsigned char* gp = p + 504 + 20 * k;
        PutI32(gp + 0, g.prn);
        PutI32(gp + 4, g.cn0);
        PutI32(gp + 8, g.elevation);
        PutI32(gp + 12, g.azimuth);
        PutI32(gp + 16, g.valid);
        const TrackerChannel& c = e.ts[static_cast<std::size_t>(k)];
        unsigned char* cp = p + 1144 + 32 * k;
        PutI32(cp + 0, c.id);
        PutF64(cp + 8, c.frequency);
        PutI32(cp + 16, c.cn0);
        PutI32(cp + 20, c.timer_ms);
        PutI32(cp + 24, c.valid);
    }
    PutI32(p + 2168, e.odo_field12);
    PutI32(p + 2172, e.odo_sod);
    PutI32(p + 2176, e.odo_field10);
    PutI32(p + 2180, e.odo_field11);
    PutF64(p + 2184, e.odo_speed);
    PutI32(p + 2192, e.gga_hour);
    PutI32(p + 2196, e.gga_minute);
    PutI32(p + 2200, e.gga_second);
    PutI32(p + 2204, e.gga_fraction);
    PutI32(p + 2208, e.gga_lat_deg);
    PutF64(p + 2216, e.gga_lat_min);
    PutI32(p + 2224, e.gga_lon_deg);
    PutF64(p + 2232, e.gga_lon_min);
    p[2240] = static_cast<unsigned char>(e.gga_ns);
    p[2241] = static_cast<unsigned char>(e.gga_ew);
    PutF64(p + 2248, e.gga_altitude);
    PutI32(p + 2256, e.rmc_hour);
    PutI32(p + 2260, e.rmc_minute);
    PutI32(p + 2264, e.rmc_second);
    PutI32(p + 2272, e.rmc_day);
    PutI32(p + 2276, e.rmc_month);
    PutI32(p + 2280, e.rmc_year);
    // The epoch's speed and course, from wherever its sentences told them.
    PutF64(p + 2288, e.SpeedKmh());
    PutF64(p + 2296, e.SpeedMs());
    PutF64(p + 2304, e.Course());
}

namespace {

constexpr int kCn0Bins = 60;
constexpr std::size_t kBlockBytes = 1u << 20;

// A satellite row: 13 whole numbers, the first 12 wide, the others 10, comma
// separated. False when the line is not one.
bool ScanSatRow(std::string_view line, int32_t (&v)[13])
{
    Scanner sc(line);
    if (!sc.Int(v[0], 12)) {
        return false;
    }
    for (int k = 1; k < 13; ++k) {
        if (!sc.Literal(',') || !sc.Int(v[k], 10)) {
            return false;
        }
    }
    return true;
}

template <typename Say>
bool Finish(OutFile& out, const Say& say)
{
    if (!out.Close()) {
        say(stderr, Format("cannot write %s: %s\n", out.Path().c_str(), out.Error().c_str()));
        return false;
    }
    return true;
}

}  // namespace

int cn0_analysis(const std::string& report_folder, bool charts)
{
    if (!charts) {
        return cn0_analysis(report_folder, nullptr);
    }
    ChartWorkbookQueue queue;
    const int status = cn0_analysis(report_folder, &queue);
    return queue.Finish() != 0 ? 1 : status;
}

int cn0_analysis(const std::string& report_folder, ChartWorkbookQueue* charts)
{
    // With workbooks still being built, every text goes through their queue
    // so that it comes out after what they print.
    const auto say = [charts](std::FILE* stream, std::string text) {
        if (charts != nullptr) {
            charts->Print(stream, std::move(text));
        } else {
            std::fputs(text.c_str(), stream);
        }
    };
    say(stdout, "CN0 Analysis:\r\n");
    int status = 0;
    OutFile list;
    if (!list.Create(report_folder + "sat_cn0.csv")) {
        say(stderr, Format("cannot create %s: %s\n", list.Path().c_str(), list.Error().c_str()));
        return 1;
    }
    std::array<std::array<int64_t, kCn0Bins>, kMaxPrn> matrix{};
    std::string text;
    for (int prn = 1; prn <= kMaxPrn; ++prn) {
        const std::string name = report_folder + Format("sat%02d.csv", prn);
        // Read in blocks, not loaded whole: the workbooks being built in
        // child processes meanwhile would each keep a copy of a whole table.
        std::FILE* in = std::fopen(name.c_str(), "rb");
        std::vector<char> block(kBlockBytes);
        std::size_t kept = in == nullptr ? 0 : std::fread(block.data(), 1, block.size(), in);
        if (kept == 0) {
            if (in != nullptr) {
                std::fclose(in);
            }
            list.Write(Format("%d,%d\r\n", prn, 0));
            continue;
        }
        say(stdout, Format("Sat %d processing...", prn));
        text.clear();
        // Line by line: a day's table holds 86400 rows.
        const auto scan = [&](std::string_view line) {
            int32_t v[13];
            if (ScanSatRow(line, v)) {
                const int32_t cn0 = v[9];
                AppendInt(text, prn, 0);
                text += ',';
                AppendInt(text, cn0, 0);
                text += "\r\n";
                if (cn0 >= 0) {
                    ++matrix[static_cast<std::size_t>(prn - 1)]
                            [static_cast<std::size_t>(cn0 < kCn0Bins ? cn0 : kCn0Bins - 1)];
                }
            }
        };
        for (;;) {
            const std::string_view data(block.data(), kept);
            std::size_t at = 0;
            for (std::size_t end; (end = data.find('\n', at)) != std::string_view::npos; at = end + 1) {
                scan(data.substr(at, end + 1 - at));
            }
            // The unfinished line moves to the front, the block grows for a
            // line longer than itself.
            std::memmove(block.data(), block.data() + at, kept - at);
            kept -= at;
            if (kept == block.size()) {
                block.resize(2 * block.size());
            }
            const std::size_t n = std::fread(block.data() + kept, 1, block.size() - kept, in);
            if (n == 0) {
                break;
            }
            kept += n;
            if (text.size() > kBlockBytes) {
                list.Write(text);
                text.clear();
            }
        }
        std::fclose(in);
        if (kept > 0) {
            scan(std::string_view(block.data(), kept));
        }
        list.Write(text);
        if (charts != nullptr) {
            charts->SatCharts(prn, name);
        }
        say(stdout, "done\r\n");
    }
    if (!Finish(list, say)) {
        status = 1;
    }
    OutFile out;
    if (!out.Create(report_folder + "sat_cn0_matrix.csv")) {
        say(stderr, Format("cannot create %s: %s\n", out.Path().c_str(), out.Error().c_str()));
        return 1;
    }
    std::string m = " ";
    for (int prn = 1; prn <= kMaxPrn; ++prn) {
        AppendFormat(m, ",%d", prn);
    }
    m += "\r\n";
    for (int bin = 0; bin < kCn0Bins; ++bin) {
        AppendInt(m, bin, 0);
        for (int prn = 1; prn <= kMaxPrn; ++prn) {
            m += ',';
            AppendInt(m, matrix[static_cast<std::size_t>(prn - 1)][static_cast<std::size_t>(bin)], 0);
        }
        m += "\r\n";
    }
    m += "\r\n";
    out.Write(m);
    if (!Finish(out, say)) {
        status = 1;
    }
    return status;
}

}  // namespace navsift
