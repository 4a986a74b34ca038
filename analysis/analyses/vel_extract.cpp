#include "analysis/analyses/vel_extract.h"

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <limits>
#include <optional>
#include <string>
#include <vector>

#include "analysis/core/byte_stream.h"
#include "analysis/core/folders.h"
#include "analysis/core/gps_time.h"
#include "analysis/core/nmea_epoch.h"
#include "analysis/core/out_file.h"
#include "analysis/core/run_outcome.h"
#include "analysis/core/text_util.h"
#include "analysis/core/vel_file.h"

namespace navsift {

namespace {

enum LogType : int32_t {
    kGps = 1, kRef = 2, kOld = 3, kGar = 4, kEcoh = 5, kEcos = 6, kGvn52 = 7, kGvn52mm = 8, kGarNmea = 9, kNoDate = 10,
};

constexpr double kPi = 3.141592653589793;
constexpr int32_t kUtcToGps = 15;
constexpr int32_t kDay = 86400;

double RadiansToHeading(double radians)
{
    double deg = radians * 180 / kPi;
    if (deg < 0) {
        deg += 360;
    }
    return deg;
}

// Keys from the second of day of logs without a date: a fall of more than
// half a day is the next day, so keys keep increasing over midnight.
class DayKeys {
public:
    explicit DayKeys(int64_t midnight) : midnight_(midnight) {}
    int64_t Key(int32_t second_of_day)
    {
        if (seen_ && second_of_day + kDay / 2 < previous_) {
            day_offset_ += kDay;
        }
        seen_ = true;
        previous_ = second_of_day;
        return midnight_ + day_offset_ + second_of_day;
    }

private:
    int64_t midnight_;
    int64_t day_offset_ = 0;
    int32_t previous_ = 0;
    bool seen_ = false;
};

// Fills what a reference line gives as the NMEA parsers would; a key of 0
// means the line held no usable time.
void FillFromKey(NmeaEpoch& e, int64_t key, double speed_kmh, double heading)
{
    e.fix_quality = 1;
    e.vtg_kmh = speed_kmh;
    e.vtg_ms = speed_kmh / 3.6;
    e.vtg_course = heading;
    if (key <= 0 || key + kUtcToGps > INT32_MAX) {
        return;
    }
    e.gps_time = static_cast<int32_t>(key);
    e.tg_gps_time = static_cast<int32_t>(key + kUtcToGps);
    gps_to_calendar(e.tg_gps_time, e.tg_year, e.tg_month, e.tg_day, e.tg_hour, e.tg_minute, e.tg_second);
}

int64_t CalendarKey(int n, int year, int month, int day, int hour, int minute, int second)
{
    if (n < 6) {
        return 0;
    }
    return calendar_to_gps(year, month, day, hour, minute, second).value_or(0);
}

struct Run {
    const OptionRecord& o;
    int32_t type = kGps;
    double odometer_scale = kDefaultOdometerScale;
    int64_t midnight = 0;
    int line_counter = 0;  // one count over the whole run
};

// One line of the reference log; 1 when the read met the end of the file
// before a line feed (that line is not used).
int NextLine(ByteStream& in, std::string& line, Run& run)
{
    read_line(in, line);
    if (line.empty() || line.back() != '\n') {
        return 1;
    }
    std::printf("Processing line %d\r", ++run.line_counter);
    return 0;
}

int ReadGarLine(ByteStream& in, NmeaEpoch& e, Run& run)
{
    e = NmeaEpoch{};
    std::string line;
    if (NextLine(in, line, run) != 0) {
        return 1;
    }
    int y = 0, mo = 0, d = 0, h = 0, mi = 0, s = 0, f7 = 0, f16 = 0;
    double f8to15[8] = {}, f17to22[6] = {};
    double* a = f8to15;
    double* b = f17to22;
    const int n = std::sscanf(line.c_str(), "%d,%d,%d,%d,%d,%d,%d,%lf,%lf,%lf,%lf,%lf,%lf,%lf,%lf,%d,%lf,%lf,%lf,%lf,%lf,%lf",
                              &y, &mo, &d, &h, &mi, &s, &f7, &a[0], &a[1], &a[2], &a[3], &a[4], &a[5], &a[6], &a[7],
                              &f16, &b[0], &b[1], &b[2], &b[3], &b[4], &b[5]);
    const double speed_ms = a[13 - 8], heading_rad = b[20 - 17];
    FillFromKey(e, CalendarKey(n, y, mo, d, h, mi, s), speed_ms * 3.6, n >= 20 ? RadiansToHeading(heading_rad) : 0);
    e.rmc_year = y % 100, e.rmc_month = mo, e.rmc_day = d, e.rmc_hour = h, e.rmc_minute = mi, e.rmc_second = s;
    e.flags |= 0x150;
    return 0;
}

int ReadGvn52Line(ByteStream& in, NmeaEpoch& e, Run& run, bool mm)
{
    e = NmeaEpoch{};
    std::string line;
    if (NextLine(in, line, run) != 0) {
        return 1;
    }
    int mo = 0, d = 0, y = 0, h = 0, mi = 0, s = 0, i13 = 0, i14 = 0;
    double f[6] = {}, f15 = 0, f16 = 0, f17 = 0;
    const int n = std::sscanf(line.c_str(), "%d,%d,%d,%d,%d,%d,%lf,%lf,%lf,%lf,%lf,%lf,%d,%d,%lf,%lf,%lf", &mo, &d, &y,
                              &h, &mi, &s, &f[0], &f[1], &f[2], &f[3], &f[4], &f[5], &i13, &i14, &f15, &f16, &f17);
    FillFromKey(e, CalendarKey(n, y, mo, d, h, mi, s), f15 * 3.6, n >= 17 ? RadiansToHeading(f17) : 0);
    e.rmc_year = y % 100, e.rmc_month = mo, e.rmc_day = d, e.rmc_hour = h, e.rmc_minute = mi, e.rmc_second = s;
    e.latitude = (mm ? f[2] : f[0]) * 180 / kPi;
    e.longitude = (mm ? f[3] : f[1]) * 180 / kPi;
    e.height = e.gga_altitude = f[4];
    SetRawGgaPosition(e);
    e.flags |= 0x151;
    return 0;
}

int ReadEcohLine(ByteStream& in, NmeaEpoch& e, Run& run, DayKeys& keys)
{
    e = NmeaEpoch{};
    std::string line;
    if (NextLine(in, line, run) != 0) {
        return 1;
    }
    int h = 0, mi = 0, s = 0;
    double heading = 0;
    const int n = std::sscanf(line.c_str(), "%d:%d:%d,%lf", &h, &mi, &s, &heading);
    FillFromKey(e, n >= 3 ? keys.Key(h * 3600 + mi * 60 + s) : 0, 0, heading);
    e.flags |= 0x110;
    return 0;
}

// "h:m:s,text,speed", split at the commas so that an empty text still
// leaves the speed readable.
int ReadEcosLine(ByteStream& in, NmeaEpoch& e, Run& run, DayKeys& keys)
{
    e = NmeaEpoch{};
    std::string line;
    if (NextLine(in, line, run) != 0) {
        return 1;
    }
    int h = 0, mi = 0, s = 0;
    const int n = std::sscanf(line.c_str(), "%d:%d:%d", &h, &mi, &s);
    double speed = 0;
    const std::size_t c1 = line.find(',');
    const std::size_t c2 = c1 == std::string::npos ? c1 : line.find(',', c1 + 1);
    if (c2 != std::string::npos) {
        std::sscanf(line.c_str() + c2 + 1, "%lf", &speed);
    }
    FillFromKey(e, n >= 3 ? keys.Key(h * 3600 + mi * 60 + s) : 0, speed, 0);
    e.flags |= 0x110;
    return 0;
}

// What LogReader::Next read.
enum class Read { Epoch, LastEpoch, End };

class LogReader {
public:
    LogReader(ByteStream& in, Run& run) : in_(in), run_(run), day_keys_(run.midnight) {}

    // Reads the next epoch and forms its key (nothing when it has no usable
    // time). The NMEA readers hand over the log's last epoch with the end of
    // the stream (LastEpoch); a reference log's line cut off by the end is
    // not used (End).
    Read Next(NmeaEpoch& e, std::optional<uint32_t>& key)
    {
        int status = 1;
        bool nmea = false;
        switch (run_.type) {
        case kGar: status = ReadGarLine(in_, e, run_); break;
        case kEcoh: status = ReadEcohLine(in_, e, run_, day_keys_); break;
        case kEcos: status = ReadEcosLine(in_, e, run_, day_keys_); break;
        case kGvn52: status = ReadGvn52Line(in_, e, run_, false); break;
        case kGvn52mm: status = ReadGvn52Line(in_, e, run_, true); break;
        case kOld: status = nmea_read_odo_epoch(in_, e, run_.odometer_scale); nmea = true; break;
        default: status = nmea_read_epoch(in_, e, run_.odometer_scale); nmea = true; break;
        }
        key.reset();
        if (status != 0 && !(nmea && e.flags != 0)) {
            return Read::End;
        }
        int64_t k = 0;
        switch (run_.type) {
        case kGarNmea: k = e.Has(kHasQnvTG) ? int64_t{e.tg_gps_time} - kUtcToGps : 0; break;
        case kNoDate: k = e.Has(kHasGGA) ? day_keys_.Key(e.gga_sod) : 0; break;
        case kGar: case kEcoh: case kEcos: case kGvn52: case kGvn52mm: k = e.gps_time; break;
        default: k = e.Has(kHasRMC) ? e.gps_time : 0; break;
        }
        if (k > 0 && k <= UINT32_MAX) {
            key = static_cast<uint32_t>(k);
        }
        return status == 0 ? Read::Epoch : Read::LastEpoch;
    }

private:
    ByteStream& in_;
    Run& run_;
    DayKeys day_keys_;
};

// The reference line readers give their position (or the zeros of none) on
// every line; the NMEA types have one only where the epoch holds a GGA fix.
bool PositionFromGga(int32_t type)
{
    return type != kGar && type != kEcoh && type != kEcos && type != kGvn52 && type != kGvn52mm;
}

bool SkipsHeader(int32_t type)
{
    return type == kGar || type == kEcoh || type == kEcos;
}

bool FromNmea(int32_t type)
{
    return PositionFromGga(type);
}

// The speed (km/h) and heading of an epoch. An NMEA epoch that tells none
// gives NaN, which the readers of the vel file leave out of speed and
// heading comparisons rather than take as standing still.
EpochMotion SourceMotion(int32_t type, const NmeaEpoch& e)
{
    if (!FromNmea(type)) {
        return {e.vtg_kmh, e.vtg_course};
    }
    EpochMotion m = epoch_motion(e);
    if (type == kRef || type == kOld) {
        m.kmh = e.Has(kHasQnvOdo) ? e.odo_speed : std::numeric_limits<double>::quiet_NaN();
    }
    return m;
}

// "time,date,gpstime," of a CSV row: the receiver clock's ("$PQNVTG", GPS
// time) where the epoch has it, else the RMC's UTC time and date (or the
// GGA's time) with GPS seconds of UTC + 15 s; a column the log tells
// nothing for is empty.
std::string CsvTime(const NmeaEpoch& e)
{
    if (e.Has(kHasQnvTG) && e.tg_gps_time > 0) {
        return Format("%02d:%02d:%02d,%02d/%02d/%04d,%u,", e.tg_hour, e.tg_minute, e.tg_second, e.tg_day, e.tg_month,
                      e.tg_year, static_cast<uint32_t>(e.tg_gps_time));
    }
    std::string out;
    if (e.Has(kHasRMC) && e.rmc_time_valid) {
        out = Format("%02d:%02d:%02d,", e.rmc_hour, e.rmc_minute, e.rmc_second);
        if (e.rmc_date_valid && e.gps_time > 0) {
            out += Format("%02d/%02d/%04d,%u,", e.rmc_day, e.rmc_month, e.rmc_year + 2000,
                          static_cast<uint32_t>(e.gps_time) + kUtcToGps);
        } else {
            out += ",,";
        }
        return out;
    }
    if (e.Has(kHasGGA) && e.gga_time_valid) {
        return Format("%02d:%02d:%02d,,,", e.gga_hour, e.gga_minute, e.gga_second);
    }
    return ",,,";
}

// "%3.1lf", or nothing for a value the log did not tell.
std::string CsvValue(double v)
{
    return std::isnan(v) ? std::string() : Format("%3.1lf", v);
}

// "Less its last 4 characters", only where that leaves a name.
std::string Stem(const std::string& name)
{
    return name.size() >= 5 ? name.substr(0, name.size() - 4) : name;
}

// One log; 0 or 1 (a failure). Its records count as the run's results.
int ExtractLog(Run& run, const std::string& folder, const std::string& name, const std::string& vel_path)
{
    const std::string log_path = folder + name;
    const std::string csv_path = folder + Stem(name) + "_speed_heading.csv";
    if (SameFile(vel_path, log_path) || SameFile(csv_path, log_path)) {
        std::fprintf(stderr, "%s: an output would replace its own input; nothing written\n", log_path.c_str());
        return 1;
    }
    ByteStream in;
    if (!in.Open(log_path)) {
        std::fprintf(stderr, "cannot open %s\n", log_path.c_str());
        return 1;
    }
    LogReader reader(in, run);
    NmeaEpoch e;
    std::optional<uint32_t> key;
    std::string header_line;
    if (SkipsHeader(run.type)) {
        read_line(in, header_line);
    }
    // The first epoch with a fix and a usable time gives the first second;
    // it is not itself recorded.
    bool found = false;
    Read got = Read::End;
    while ((got = reader.Next(e, key)) != Read::End) {
        if (e.fix_quality != 0 && key) {
            found = true;
            break;
        }
        if (got == Read::LastEpoch) {
            break;
        }
    }
    if (!found) {
        if (FromNmea(run.type)) {
            run_log_lacks(in, log_path, "no fix with a time; no vel file");
        } else {
            run_input_lacks(log_path, "no fix with a time; no vel file");
        }
        return 0;
    }
    OutFile csv;
    if (!csv.Create(csv_path)) {
        std::fprintf(stderr, "cannot create %s: %s\n", csv_path.c_str(), csv.Error().c_str());
        return 1;
    }
    const uint32_t first = *key;
    int status = 0;
    VelWriter vel;
    if (!vel.Create(vel_path, first)) {
        std::fprintf(stderr, "cannot create %s\n", vel_path.c_str());
        status = 1;
    }
    csv.Write("time,date,gpstime,speed,heading\r\n");
    uint32_t previous = first;
    int without_position = 0;
    int records = 0;
    // Every epoch after the first one, the log's last epoch too.
    while (got == Read::Epoch && (got = reader.Next(e, key)) != Read::End) {
        const EpochMotion motion = SourceMotion(run.type, e);
        double speed = motion.kmh;
        if ((run.type == kRef || run.type == kOld) && key && *key > previous + 1) {
            speed /= static_cast<double>(*key - previous);
        }
        csv.Write(CsvTime(e));
        csv.Write(CsvValue(speed) + "," + CsvValue(motion.course) + "\r\n");
        if (key) {
            // An epoch whose GGA was lost or had no fix holds no position:
            // it gets no record rather than one at 0,0, and every reader
            // of the file then takes that second as missing. Its speed
            // still covered its own second.
            if (!PositionFromGga(run.type) || (e.Has(kHasGGA) && e.fix_quality != 0)) {
                vel.Append({*key, speed, motion.course, e.latitude, e.longitude, e.height});
                ++records;
            } else {
                ++without_position;
            }
            previous = *key;
        }
    }
    std::fflush(stdout);
    if (without_position > 0) {
        std::fprintf(stderr, "%s: %d epochs without a position fix have no record in %s\n", log_path.c_str(),
                     without_position, vel_path.c_str());
    }
    if (records == 0) {
        std::fprintf(stderr, "%s: no fix with a time after the first one (the vel file's first second), no record in %s\n",
                     log_path.c_str(), vel_path.c_str());
    }
    run_produced(static_cast<std::size_t>(records));
    if (status == 0 && !vel.Finish()) {
        std::fprintf(stderr, "cannot write %s\n", vel_path.c_str());
        status = 1;
    }
    if (!csv.Close()) {
        std::fprintf(stderr, "cannot write %s: %s\n", csv_path.c_str(), csv.Error().c_str());
        status = 1;
    }
    return status;
}

}  // namespace

int vel_extract(const OptionRecord& o)
{
    Run run{o};
    run.type = o.ref_type;
    if (run.type == kEcoh || run.type == kEcos || run.type == kNoDate) {
        const std::optional<int32_t> midnight = calendar_to_gps(o.date_year, o.date_month, o.date_day, 0, 0, 0);
        if (o.date_day == 0 || !midnight) {
            std::fprintf(stderr, "-type %s needs -date DDMMYYYY\n", o.Arg(o.type).value_or("").c_str());
            return 2;
        }
        run.midnight = *midnight;
    }
    if (o.odoscale != 0) {
        if (!(o.odoscale_value > 0) || !std::isfinite(o.odoscale_value)) {
            std::fprintf(stderr, "-odoscale needs a positive number\n");
            return 2;
        }
        run.odometer_scale = o.odoscale_value;
    }
    const std::optional<std::string> arg = o.Arg(o.vel);
    if (!arg || arg->empty() || (*arg)[0] == '-') {
        std::fprintf(stderr, "-vel needs a log file or a folder\n");
        return 2;
    }
    // The records belong in the -speedpath folder, whatever -name says.
    if (!o.name_text.empty() && !IsPlainOutputName(o.name_text)) {
        return 2;
    }
    const std::string out_folder = SplitPath(o.speedpath_text).folder;
    PathParts input = SplitPath(*arg);
    std::vector<std::string> logs;
    std::error_code ec;
    if (std::filesystem::is_regular_file(*arg, ec)) {
        logs.push_back(input.name);
    } else {
        const RunFolder folder = read_run_folder(*arg, "*.txt");
        input.folder = folder.folder;
        logs = folder.entries.front().files;
        if (!o.name_text.empty() && logs.size() > 1) {
            std::fprintf(stderr, "with -name every log writes %s; it keeps the last log's records\n",
                         (out_folder + o.name_text + ".vel").c_str());
        }
    }
    int status = 0;
    for (const std::string& name : logs) {
        const std::string vel_path =
            out_folder + (o.name_text.empty() ? Stem(name) : o.name_text) + ".vel";
        status |= ExtractLog(run, input.folder, name, vel_path);
    }
    std::fflush(stdout);
    return status;
}

}  // namespace navsift
