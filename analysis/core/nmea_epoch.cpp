#include "analysis/core/nmea_epoch.h"

#include <cmath>
#include <cstdlib>
#include <limits>
#include <string>

#include "analysis/core/gps_time.h"
#include "analysis/core/text_util.h"

namespace navsift {

namespace {

// "hhmmss" at the start of a field; values not read stay 0.
void ScanTime(std::string_view field, int32_t& a, int32_t& b, int32_t& c)
{
    Scanner sc(field);
    sc.Int(a, 2) && sc.Int(b, 2) && sc.Int(c, 2);
}

// A field that holds a finite number, whole.
bool FieldNumber(std::string_view field, double& value)
{
    const std::string text(field);
    char* end = nullptr;
    const double v = std::strtod(text.c_str(), &end);
    if (text.empty() || end != text.c_str() + text.size() || !std::isfinite(v)) {
        return false;
    }
    value = v;
    return true;
}

double DegreesFrom(std::string_view field, int degree_digits, int32_t& degrees, double& minutes)
{
    Scanner sc(field);
    if (sc.Int(degrees, degree_digits)) {
        sc.Real(minutes);
    }
    return degrees + minutes / 60.0;
}

}  // namespace

void parse_gga(const NmeaFields& f, NmeaEpoch& e)
{
    {
        Scanner sc(f[1]);
        sc.Int(e.gga_hour, 2) && sc.Int(e.gga_minute, 2) && sc.Int(e.gga_second, 2) && sc.Literal('.') &&
            sc.Int(e.gga_fraction);
    }
    e.gga_sod = e.gga_hour * 3600 + e.gga_minute * 60 + e.gga_second;
    {
        int32_t sod = 0;
        e.gga_time_valid = field_time_of_day(f[1], sod);
    }
    // A GGA without a position (no fix yet) holds none: never the previous
    // epoch's position, and never a sign taken from an empty hemisphere.
    if (f[2].empty()) {
        e.gga_lat_deg = 0;
        e.gga_lat_min = 0;
        e.latitude = 0;
    } else {
        e.latitude = DegreesFrom(f[2], 2, e.gga_lat_deg, e.gga_lat_min);
        if (!f[3].starts_with('N')) {
            e.latitude = -e.latitude;
        }
    }
    if (f[4].empty()) {
        e.gga_lon_deg = 0;
        e.gga_lon_min = 0;
        e.longitude = 0;
    } else {
        e.longitude = DegreesFrom(f[4], 3, e.gga_lon_deg, e.gga_lon_min);
        if (!f[5].starts_with('E')) {
            e.longitude = -e.longitude;
        }
    }
    e.gga_ns = f[3].empty() ? 0 : f[3][0];
    e.gga_ew = f[5].empty() ? 0 : f[5][0];
    e.height = e.gga_altitude = FieldReal(f[9]);
    e.sats_used = FieldInt(f[7]);
    e.fix_quality = FieldInt(f[6]);
    // A checksummed sentence can still carry a damaged position ("9907.038",
    // a height of 200 km, "inf"): judged here, once, for every analysis. It
    // is no position, and the epoch no fix, rather than a point in space.
    e.gga_position_refused = !IsEarthPosition(e.latitude, e.longitude, e.height) || !(e.gga_lat_min < 60) ||
                             !(e.gga_lon_min < 60) || e.gga_lat_min < 0 || e.gga_lon_min < 0;
    if (e.gga_position_refused) {
        e.latitude = e.longitude = 0;
        e.height = e.gga_altitude = 0;
        e.gga_lat_deg = e.gga_lon_deg = 0;
        e.gga_lat_min = e.gga_lon_min = 0;
        e.fix_quality = 0;
    }
    ++e.gga_count;
    e.flags |= kHasGGA;
    e.gga_valid = 1;
}

namespace {

// "ddmmyy" as a real date.
bool FieldDate(std::string_view field, int32_t& day, int32_t& month, int32_t& year)
{
    Scanner sc(field);
    return sc.Int(day, 2) && sc.Int(month, 2) && sc.Int(year, 2) && year >= 0 &&
           calendar_to_gps(year + 2000, month, day, 0, 0, 0).has_value();
}

}  // namespace

int32_t rmc_gps_time(const NmeaFields& f)
{
    int32_t sod = 0, day = 0, month = 0, year = 0;
    // A date with a time that is no time is no moment of that date.
    if (!field_time_of_day(f[1], sod) || !FieldDate(f[9], day, month, year)) {
        return 0;
    }
    return calendar_to_gps(year + 2000, month, day, sod / 3600, sod / 60 % 60, sod % 60).value_or(0);
}

bool field_time_of_day(std::string_view field, int32_t& sod)
{
    int32_t h = 0, m = 0, s = 0;
    Scanner sc(field);
    if (!(sc.Int(h, 2) && sc.Int(m, 2) && sc.Int(s, 2)) || h < 0 || h > 23 || m < 0 || m > 59 || s < 0 || s > 60) {
        return false;
    }
    sod = h * 3600 + m * 60 + s;
    return true;
}

int32_t field_sod(const NmeaFields& f)
{
    int32_t h = 0, m = 0, s = 0;
    ScanTime(f[1], h, m, s);
    return h * 3600 + m * 60 + s;
}

int32_t tg_gps_seconds(const NmeaFields& f)
{
    int32_t week = 0;
    double tow = 0;
    Scanner(f[1]).Int(week);
    Scanner(f[2]).Real(tow);
    const double t = static_cast<double>(week) * kSecondsPerWeek + tow + 0.5;
    if (!(t < 2147483647.0 && t > -2147483648.0)) {
        return 0;
    }
    return static_cast<int32_t>(t);
}

void parse_rmc(const NmeaFields& f, NmeaEpoch& e)
{
    ScanTime(f[1], e.rmc_hour, e.rmc_minute, e.rmc_second);
    ScanTime(f[9], e.rmc_day, e.rmc_month, e.rmc_year);
    e.rmc_sod = e.rmc_hour * 3600 + e.rmc_minute * 60 + e.rmc_second;
    int32_t sod = 0, day = 0, month = 0, year = 0;
    e.rmc_time_valid = field_time_of_day(f[1], sod);
    e.rmc_date_valid = FieldDate(f[9], day, month, year);
    e.gps_time = rmc_gps_time(f);
    // A receiver warning ("V") leaves the speed and course untold.
    const bool valid = f[2] == "A";
    double knots = kUntold, course = kUntold;
    if (!valid || !FieldNumber(f[7], knots)) {
        knots = kUntold;
    }
    if (!valid || !FieldNumber(f[8], course)) {
        course = kUntold;
    }
    e.SetRmcMotion(knots, course);
    ++e.rmc_count;
    e.flags |= kHasRMC;
}

void parse_gsv(const NmeaFields& f, NmeaEpoch& e)
{
    e.flags |= kHasGSV;
    const int32_t msg = FieldInt(f[2]);
    if (msg == 1) {
        e.gsv.fill(GsvSatellite{});
        e.gsv_in_view = FieldInt(f[3]);
        e.gsv_total = FieldInt(f[1]);
        e.gsv_msg = 1;
        e.gsv_left = e.gsv_in_view;
        e.sats_in_view = e.gsv_in_view;
    } else if (msg == e.gsv_msg + 1 && e.gsv_msg > 0) {
        e.gsv_msg = msg;
    } else {
        return;  // out of order, repeated, or without its first message
    }
    int groups = 0;
    for (int g = 0; g < 4 && g < e.gsv_left; ++g) {
        const int base = 4 + 4 * g;
        const int32_t prn = FieldInt(f[base]);
        ++groups;
        if (prn < 1 || prn > kMaxPrn) {
            continue;
        }
        GsvSatellite& sat = e.gsv[prn - 1];
        sat.prn = prn;
        sat.elevation = FieldInt(f[base + 1]);
        sat.azimuth = FieldInt(f[base + 2]);
        sat.cn0 = FieldInt(f[base + 3]);
        sat.valid = 1;
    }
    e.gsv_left -= groups;
}

void parse_gsa(const NmeaFields& f, NmeaEpoch& e)
{
    e.gsa_mode = FieldInt(f[2]);
    e.pdop = FieldReal(f[15]);
    e.hdop = FieldReal(f[16]);
    e.vdop = FieldReal(f[17]);
    e.flags |= kHasGSA;
}

void parse_vtg(const NmeaFields& f, NmeaEpoch& e)
{
    e.flags |= kHasVTG;
    double kmh = kUntold, course = kUntold;
    if (!FieldNumber(f[7], kmh)) {
        kmh = kUntold;
    }
    if (!FieldNumber(f[1], course)) {
        course = kUntold;
    }
    e.SetVtgMotion(kmh, course);
}

double NmeaEpoch::SpeedKmh() const
{
    constexpr double kKmhPerKnot = 1.852;
    if (Has(kHasVTG) && !std::isnan(vtg_kmh_)) {
        return vtg_kmh_;
    }
    if (Has(kHasRMC) && !std::isnan(rmc_knots_)) {
        return rmc_knots_ * kKmhPerKnot;
    }
    return kUntold;
}

double NmeaEpoch::Course() const
{
    if (Has(kHasVTG) && !std::isnan(vtg_course_)) {
        return vtg_course_;
    }
    if (Has(kHasRMC) && !std::isnan(rmc_course_)) {
        return rmc_course_;
    }
    return kUntold;
}

std::optional<EpochGpsTime> epoch_gps_time(const NmeaEpoch& e)
{
    constexpr int32_t kGpsMinusUtc = 15;
    if (e.Has(kHasQnvTG) && e.tg_week > 0 && std::isfinite(e.tg_tow) && e.tg_tow >= 0 && e.tg_tow < kSecondsPerWeek) {
        return EpochGpsTime{e.tg_week, e.tg_tow};
    }
    if (e.Has(kHasRMC) && e.gps_time > 0 && e.gps_time <= INT32_MAX - kGpsMinusUtc) {
        const int32_t t = e.gps_time + kGpsMinusUtc;
        return EpochGpsTime{t / kSecondsPerWeek, static_cast<double>(t % kSecondsPerWeek)};
    }
    return std::nullopt;
}

void parse_qnv_tg(const NmeaFields& f, NmeaEpoch& e)
{
    e.tg_gps_time = tg_gps_seconds(f);
    gps_to_calendar(e.tg_gps_time, e.tg_year, e.tg_month, e.tg_day, e.tg_hour, e.tg_minute, e.tg_second);
    e.tg_week = FieldInt(f[1]);
    e.tg_tow = FieldReal(f[2]);
    e.tg_nco = FieldReal(f[6]);
    e.flags |= kHasQnvTG;
    ++e.tg_count;
    if (e.tg_seen == 0) {
        e.tg_seen = 1;
    } else {
        e.tg_gap = e.tg_gps_time - e.tg_prev_gps_time;
    }
    e.tg_prev_gps_time = e.tg_gps_time;
}

bool QnvTimeCheck::Trusted(int32_t tg_gps)
{
    constexpr int64_t kGpsMinusUtc = 15;
    constexpr int64_t kFewSeconds = 5;
    const int64_t rmc = rmc_;
    rmc_ = 0;
    return rmc <= 0 || std::llabs(int64_t{tg_gps} - rmc - kGpsMinusUtc) <= kFewSeconds;
}

void parse_qnv_ts(const NmeaFields& f, NmeaEpoch& e)
{
    if (!e.Has(kHasQnvTS)) {
        e.tracked_count = 0;
    }
    e.flags |= kHasQnvTS;
    const int32_t id = FieldInt(f[2]);
    if (id < 1 || id > kMaxPrn) {
        return;
    }
    TrackerChannel& ch = e.ts[id - 1];
    ch.id = id;
    ch.frequency = FieldReal(f[4]);
    ch.cn0 = FieldInt(f[6]);
    ch.timer_ms = FieldInt(f[7]);
    ch.valid = 1;
    ++e.tracked_count;
}

void parse_qnv_odo(const NmeaFields& f, NmeaEpoch& e, double odometer_scale)
{
    e.odo_sod = field_sod(f);
    e.odo_field10 = FieldInt(f[10]);
    e.odo_field11 = FieldInt(f[11]);
    e.odo_field12 = FieldInt(f[12]);
    e.odo_speed = static_cast<double>(static_cast<uint32_t>(e.odo_field11)) * odometer_scale * 3.6;
    e.flags |= kHasQnvOdo;
}

bool fold_epoch_sentence(SentenceCode code, const NmeaFields& f, NmeaEpoch& e, QnvTimeCheck& time_check)
{
    switch (code) {
    case kGGA: parse_gga(f, e); return true;
    case kRMC:
        time_check.SeeRmc(f);
        parse_rmc(f, e);
        return true;
    case kGSV: parse_gsv(f, e); return true;
    case kGSA: parse_gsa(f, e); return true;
    case kVTG: parse_vtg(f, e); return true;
    case kQnvTG:
        if (time_check.Trusted(tg_gps_seconds(f))) {
            parse_qnv_tg(f, e);
        }
        return true;
    case kQnvTS: parse_qnv_ts(f, e); return true;
    default: return false;
    }
}

namespace {

// "hhmmss" and its decimals (read to the millisecond) as milliseconds of
// the day; false when the field holds no time.
bool FieldMillisOfDay(std::string_view field, int64_t& ms)
{
    int32_t sod = 0;
    if (!field_time_of_day(field, sod)) {
        return false;
    }
    int64_t fraction = 0;
    if (field.size() > 6 && field[6] == '.') {
        int64_t scale = 100;
        for (std::size_t i = 7; i < field.size() && scale > 0; ++i, scale /= 10) {
            if (field[i] < '0' || field[i] > '9') {
                break;
            }
            fraction += (field[i] - '0') * scale;
        }
    }
    ms = int64_t{sod} * 1000 + fraction;
    return true;
}

// Shared body of the two epoch readers; `odo_boundary` picks the sentence
// that starts a new epoch.
int ReadEpoch(ByteStream& in, NmeaEpoch& e, bool odo_boundary, double odometer_scale)
{
    e = NmeaEpoch{};
    std::string sentence;
    NmeaFields f;
    // The UTC second of the epoch's first GGA or RMC that tells one. A GGA
    // and an RMC of different seconds never share an epoch: a log that
    // starts in the middle of a second, or loses a sentence, would otherwise
    // pair every speed and time with the next second's position.
    // At 5 or 10 Hz the epochs of one second differ in the fraction, which
    // therefore counts too: a lost GGA must not pair the RMCs after it with
    // the next tenth's position.
    QnvTimeCheck time_check;
    int64_t epoch_ms = -1;
    const auto other_second = [&](const NmeaFields& timed) {
        int64_t ms = 0;
        if (!FieldMillisOfDay(timed[1], ms)) {
            return false;
        }
        if (epoch_ms < 0) {
            epoch_ms = ms;
            return false;
        }
        return ms != epoch_ms;
    };
    while (!in.AtEnd()) {
        const int64_t start = read_nmea_sentence(in, sentence);
        if (nmea_tokenize(sentence, f) != 0) {
            continue;
        }
        const SentenceCode code = nmea_classify(f);
        switch (code) {
        case kGGA:
            if (!odo_boundary && (e.Has(kHasGGA) || other_second(f))) {
                in.Seek(start);
                return 0;
            }
            fold_epoch_sentence(kGGA, f, e, time_check);
            break;
        case kRMC:
            if (!odo_boundary && ((e.Has(kHasGGA) && e.Has(kHasRMC)) || other_second(f))) {
                in.Seek(start);
                return 0;
            }
            fold_epoch_sentence(kRMC, f, e, time_check);
            break;
        case kQnvOdo:
            if (odo_boundary && e.Has(kHasQnvOdo)) {
                in.Seek(start);
                return 0;
            }
            parse_qnv_odo(f, e, odometer_scale);
            break;
        default: fold_epoch_sentence(code, f, e, time_check); break;
        }
    }
    return 1;
}

}  // namespace

int nmea_read_epoch(ByteStream& in, NmeaEpoch& e, double odometer_scale)
{
    return ReadEpoch(in, e, false, odometer_scale);
}

int nmea_read_odo_epoch(ByteStream& in, NmeaEpoch& e, double odometer_scale)
{
    return ReadEpoch(in, e, true, odometer_scale);
}

int nmea_sync_start(ByteStream& in, int64_t& position, int& rmc_first, NmeaEpoch& e)
{
    // The first "$PQNVTG" read from the start has no previous one: its gap
    // is 0, never its whole GPS time.
    e.tg_seen = 0;
    e.tg_gap = 0;
    e.gga_count = e.rmc_count = e.tg_count = 0;
    struct Seen {
        bool any = false;
        int64_t first = 0;
    } gga, rmc;
    enum class Pending { None, Gga, Rmc } pending = Pending::None;
    int64_t pending_pos = 0;
    int32_t pending_sod = 0;
    std::string sentence;
    NmeaFields f;
    while (!in.AtEnd()) {
        const int64_t start = read_nmea_sentence(in, sentence);
        if (nmea_tokenize(sentence, f) != 0) {
            continue;
        }
        const SentenceCode code = nmea_classify(f);
        if (code != kGGA && code != kRMC) {
            continue;
        }
        const bool is_gga = code == kGGA;
        Seen& seen = is_gga ? gga : rmc;
        if (!seen.any) {
            seen = {true, start};
        }
        const int32_t sod = field_sod(f);
        const Pending other = is_gga ? Pending::Rmc : Pending::Gga;
        if (pending == other && pending_sod == sod) {
            position = pending_pos;
            rmc_first = is_gga ? 0 : 1;
            in.Seek(position);
            return 0;
        }
        pending = is_gga ? Pending::Gga : Pending::Rmc;
        pending_pos = start;
        pending_sod = sod;
    }
    if (rmc.any && !gga.any) {
        position = rmc.first;
        rmc_first = 0;
    } else if (rmc.any && gga.any) {
        position = rmc_first == 0 ? rmc.first : gga.first;
    } else if (gga.any) {
        position = gga.first;
        rmc_first = 1;
    } else {
        // Neither sentence: nothing to start from.
        position = in.Tell();
        return 1;
    }
    in.Seek(position);
    return 0;
}

int nmea_seek_first_fix(ByteStream& in, int64_t& position)
{
    std::string sentence;
    NmeaFields f;
    // The RMC read since the last GGA: in a log whose epochs open with the
    // RMC it begins the epoch of the GGA after it, and starting at the GGA
    // would lose that epoch.
    int64_t rmc_start = -1;
    int32_t rmc_sod = -1;
    NmeaEpoch gga;
    while (!in.AtEnd()) {
        const int64_t start = read_nmea_sentence(in, sentence);
        in.Forget();
        if (nmea_tokenize(sentence, f) != 0) {
            continue;
        }
        const SentenceCode code = nmea_classify(f);
        if (code == kRMC) {
            rmc_start = start;
            rmc_sod = -1;
            field_time_of_day(f[1], rmc_sod);
            continue;
        }
        if (code != kGGA) {
            continue;
        }
        // A fix as the GGA parser judges it: a position off the earth is none.
        parse_gga(f, gga);
        int32_t sod = -1;
        if (gga.fix_quality != 0) {
            position = rmc_start >= 0 && field_time_of_day(f[1], sod) && sod == rmc_sod ? rmc_start : start;
            return 0;
        }
        rmc_start = -1;
    }
    return 1;
}

void Cn0Settler::cn0_stabilise(int prn, int32_t reading, NmeaEpoch& e)
{
    if (prn < 1 || prn > kMaxPrn) {
        return;
    }
    State& s = sats_[prn - 1];
    double& stable = e.stable_cn0[prn - 1];
    switch (s.state) {
    case 0:
        s.previous = reading;
        s.count = 0;
        s.state = 1;
        break;
    case 1:
        if (reading > 0 && std::abs(reading - s.previous) <= 1) {
            ++s.count;
            if (s.count > 10) {
                stable = reading;
                s.count = 1;
                s.state = 2;
            }
        } else {
            s.count = 0;
        }
        s.previous = reading;
        break;
    default: {
        const double d = std::trunc(reading - stable);
        if (std::fabs(d) <= 1) {
            const double k = s.count;
            stable = stable * k / (k + 1) + reading / (k + 1);
            s.count = s.count + 1;
        }
        break;
    }
    }
}

void Cn0Settler::cn0_stabilise_all(NmeaEpoch& e)
{
    if (!enabled) {
        return;
    }
    for (int prn = 1; prn <= kMaxPrn; ++prn) {
        cn0_stabilise(prn, e.gsv[prn - 1].cn0, e);
    }
}

double stable_cn0_average(const NmeaEpoch& e)
{
    double mean = 0;
    int n = 0;
    for (double v : e.stable_cn0) {
        if (v > 0) {
            ++n;
            mean = n == 1 ? v : v / n + (n - 1) * mean / n;
        }
    }
    return mean;
}

bool IsEarthPosition(double latitude, double longitude)
{
    return std::fabs(latitude) <= 90 && std::fabs(longitude) <= 180;  // false for NaN too
}

bool IsEarthPosition(double latitude, double longitude, double height)
{
    constexpr double kMaxHeight = 100000;  // metres from the ground
    return IsEarthPosition(latitude, longitude) && std::fabs(height) <= kMaxHeight;
}

void SetRawGgaPosition(NmeaEpoch& e)
{
    if (!IsEarthPosition(e.latitude, e.longitude)) {
        // Never cast a value that does not fit: the fields hold no position.
        e.gga_lat_deg = e.gga_lon_deg = 0;
        e.gga_lat_min = e.gga_lon_min = 0;
        e.gga_ns = e.gga_ew = 0;
        return;
    }
    const double lat = std::fabs(e.latitude), lon = std::fabs(e.longitude);
    e.gga_lat_deg = static_cast<int32_t>(lat);
    e.gga_lat_min = (lat - e.gga_lat_deg) * 60;
    e.gga_lon_deg = static_cast<int32_t>(lon);
    e.gga_lon_min = (lon - e.gga_lon_deg) * 60;
    e.gga_ns = e.latitude < 0 ? 'S' : 'N';
    e.gga_ew = e.longitude < 0 ? 'W' : 'E';
}

}  // namespace navsift
