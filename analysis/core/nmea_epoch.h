#pragma once
// What the sentences of one epoch (one fix time) said, the parsers that fill
// it from the fields of a sentence, and the readers that go through a log one
// epoch at a time.
#include <array>
#include <cstdint>
#include <limits>
#include <optional>
#include <string_view>

#include "analysis/core/byte_stream.h"
#include "analysis/core/nmea_reader.h"

namespace navsift {

// Which sentences an epoch holds.
enum EpochFlag : uint32_t {
    kHasGGA = 0x2,
    kHasGSA = 0x4,
    kHasVTG = 0x10,
    kHasRMC = 0x40,
    kHasQnvTG = 0x100,
    kHasQnvTS = 0x200,
    kHasGSV = 0x80000,
    kHasQnvEphem = 0x10000000,
    kHasQnvAlmanac = 0x20000000,
    kHasQnvOdo = 0x40000000,
};

struct GsvSatellite {
    int32_t prn = 0, cn0 = 0, elevation = 0, azimuth = 0, valid = 0;
};

struct TrackerChannel {
    int32_t id = 0;
    double frequency = 0;
    int32_t cn0 = 0, timer_ms = 0, valid = 0;
};

constexpr int kMaxPrn = 32;

// A value the log did not tell.
inline constexpr double kUntold = std::numeric_limits<double>::quiet_NaN();
// A count that could not be had (the visible satellites of an epoch that
// tells no time), written as no number rather than as 0.
constexpr int32_t kCountUnknown = -1;

struct NmeaEpoch {
    uint32_t flags = 0;
    int32_t gps_time = 0;  // GPS seconds of the RMC date and time
    int32_t rmc_sod = 0, gga_sod = 0;
    // The sentence's time field read as a time of day ("hhmmss"); a field
    // such as ".1" is no time, and its zeros are no midnight.
    bool rmc_time_valid = false, gga_time_valid = false;
    // The RMC date field read as a real date.
    bool rmc_date_valid = false;
    int32_t gga_count = 0, rmc_count = 0, tg_count = 0;
    int32_t gga_valid = 0;
    double latitude = 0, longitude = 0, height = 0;  // degrees (S, W negative), metres
    // False for a track point that gave no height: it is drawn on the ground.
    bool height_known = true;
    int32_t gsa_mode = 0, fix_quality = 0;
    double pdop = 0, hdop = 0, vdop = 0;
    int32_t sats_used = 0, sats_visible = 0, sats_in_view = 0, tracked_count = 0;
    int32_t tg_gps_time = 0, tg_prev_gps_time = 0, tg_week = 0;
    double tg_tow = 0, tg_nco = 0;
    int32_t tg_gap = 0, tg_seen = 0;
    int32_t tg_hour = 0, tg_minute = 0, tg_second = 0, tg_day = 0, tg_month = 0, tg_year = 0;
    int32_t gsv_msg = 0, gsv_total = 0, gsv_in_view = 0, gsv_left = 0;
    int32_t cn0_stat_count = 0;
    double cn0_max = 0, cn0_min = 0, cn0_avg = 0;
    std::array<double, kMaxPrn> stable_cn0{};
    std::array<GsvSatellite, kMaxPrn> gsv{};      // index PRN - 1
    std::array<TrackerChannel, kMaxPrn> ts{};     // index tracker id - 1
    int32_t odo_field12 = 0, odo_sod = 0, odo_field10 = 0, odo_field11 = 0;
    double odo_speed = 0;  // km/h
    int32_t gga_hour = 0, gga_minute = 0, gga_second = 0, gga_fraction = 0;
    int32_t gga_lat_deg = 0;
    double gga_lat_min = 0;
    int32_t gga_lon_deg = 0;
    double gga_lon_min = 0;
    char gga_ns = 0, gga_ew = 0;
    // The last GGA gave a position off the earth (IsEarthPosition, or minutes
    // past 60): it was taken as no position (zeros) and no fix.
    bool gga_position_refused = false;
    double gga_altitude = 0;
    int32_t rmc_hour = 0, rmc_minute = 0, rmc_second = 0;
    int32_t rmc_day = 0, rmc_month = 0, rmc_year = 0;  // two-digit year

    bool Has(uint32_t flag) const { return (flags & flag) != 0; }

    // The speed over ground and course (degrees, true) of the epoch: its
    // VTG's, else its RMC's (the same quantities, the speed in knots); NaN
    // for what neither told, never a speed of 0 that reads as standing
    // still. Only what the epoch's own sentences told counts (their flags),
    // so a value left from an earlier epoch is never taken.
    double SpeedKmh() const;
    double SpeedMs() const { return SpeedKmh() / 3.6; }
    double Course() const;
    // What a VTG told (NaN for an empty field); the readers of other logs
    // (a reference log, a vel record) tell theirs the same way, with the VTG
    // flag set.
    void SetVtgMotion(double kmh, double course)
    {
        vtg_kmh_ = kmh;
        vtg_course_ = course;
    }
    // What a valid ("A") RMC told, the speed in knots (NaN for an empty field
    // or a receiver warning).
    void SetRmcMotion(double knots, double course)
    {
        rmc_knots_ = knots;
        rmc_course_ = course;
    }

private:
    double vtg_kmh_ = kUntold, vtg_course_ = kUntold;
    double rmc_knots_ = kUntold, rmc_course_ = kUntold;
};

// The odometer's counts-to-metres scale unless the speed extraction sets
// another.
constexpr double kDefaultOdometerScale = 0.2;

void parse_gga(const NmeaFields& f, NmeaEpoch& e);
void parse_rmc(const NmeaFields& f, NmeaEpoch& e);
void parse_gsv(const NmeaFields& f, NmeaEpoch& e);
void parse_gsa(const NmeaFields& f, NmeaEpoch& e);
void parse_vtg(const NmeaFields& f, NmeaEpoch& e);
void parse_qnv_tg(const NmeaFields& f, NmeaEpoch& e);
void parse_qnv_ts(const NmeaFields& f, NmeaEpoch& e);
void parse_qnv_odo(const NmeaFields& f, NmeaEpoch& e, double odometer_scale = kDefaultOdometerScale);

// GPS seconds of RMC field 1 (time) and field 9 (date); 0 when the date is
// not a real date.
int32_t rmc_gps_time(const NmeaFields& f);
// "hhmmss" at the start of a field as a second of day; false when the field
// holds no such time.
bool field_time_of_day(std::string_view field, int32_t& sod);
// Second of day of field 1 ("hhmmss").
int32_t field_sod(const NmeaFields& f);
// GPS seconds of field 1 (week) and field 2 (time of week), rounded.
int32_t tg_gps_seconds(const NmeaFields& f);

// The raw GGA degree and minute fields and the hemisphere letters of a
// position that came from elsewhere: degrees and minutes of the absolute
// value, the letter from the sign, as GGA writes them.
void SetRawGgaPosition(NmeaEpoch& e);

// A position on the earth: latitude within -90..90 and longitude within
// -180..180 degrees, and (with a height) a finite height within 100 km of
// the ground (room for an aircraft). Anything else a receiver or a file
// reports is damaged: no place to draw, write, average or compare.
bool IsEarthPosition(double latitude, double longitude);
bool IsEarthPosition(double latitude, double longitude, double height);

// The GPS time of an epoch: its "$PQNVTG" week and time of week, else its
// RMC's UTC date and time + 15 s (the fixed offset used wherever only UTC is
// known); nothing when the epoch tells neither.
struct EpochGpsTime {
    int32_t week = 0;
    double tow = 0;
};
std::optional<EpochGpsTime> epoch_gps_time(const NmeaEpoch& e);

// Whether a "$PQNVTG" may give the time: when its epoch has an RMC read
// before it (UTC, 15 s behind GPS time), the two agree within a few seconds
// (a leap second or two, or the RMC of the epoch before). A damaged digit in
// a sentence without a checksum would otherwise be taken as the time.
class QnvTimeCheck {
public:
    void SeeRmc(const NmeaFields& f) { rmc_ = rmc_gps_time(f); }
    bool Trusted(int32_t tg_gps);

private:
    int32_t rmc_ = 0;
};

// Folds one sentence of an epoch into `e`, as every reader of epochs does:
// GGA, RMC (which `time_check` sees), GSV, GSA, VTG, "$PQNVTG" (taken only
// when `time_check` trusts it) and "$PQNVTS". False for any other sentence,
// which the caller handles or leaves.
bool fold_epoch_sentence(SentenceCode code, const NmeaFields& f, NmeaEpoch& e, QnvTimeCheck& time_check);

// Reads the next epoch into `e` (cleared first). 0 when it stopped at the
// start of the next epoch, which the stream then stands at; 1 at the end.
int nmea_read_epoch(ByteStream& in, NmeaEpoch& e, double odometer_scale = kDefaultOdometerScale);
// The same with "$PQNVODO" sentences as the epoch boundary.
int nmea_read_odo_epoch(ByteStream& in, NmeaEpoch& e, double odometer_scale = kDefaultOdometerScale);

// Puts the stream at the first GGA/RMC pair of equal UTC second. `rmc_first`
// comes in as the preference when no pair exists and goes out as 0 when the
// pair starts with the RMC, 1 when with the GGA. Returns 1 (stream at its
// end) when the rest of the log holds neither sentence.
int nmea_sync_start(ByteStream& in, int64_t& position, int& rmc_first, NmeaEpoch& e);

// Stores the position where the epoch of the first GGA with a fix begins:
// that GGA, or the RMC of the same second right before it in a log whose
// epochs open with the RMC. 1 (nothing stored) when there is none. The
// stream is left where the search stopped.
int nmea_seek_first_fix(ByteStream& in, int64_t& position);

// Per-satellite CN0 settling: a reading settles after 11 steps in a row of at
// most 1 dB-Hz, then later readings within 1 dB-Hz refine its mean.
class Cn0Settler {
public:
    void cn0_stabilise(int prn, int32_t reading, NmeaEpoch& e);
    // Runs for PRN 1..32 on the GSV table when enabled.
    void cn0_stabilise_all(NmeaEpoch& e);
    bool enabled = false;

private:
    struct State {
        int state = 0;
        int32_t previous = 0;
        int32_t count = 0;
    };
    std::array<State, kMaxPrn> sats_{};
};

// Running mean of the settled CN0 values above 0 (0 when none).
double stable_cn0_average(const NmeaEpoch& e);

}  // namespace navsift
