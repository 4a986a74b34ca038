#pragma once
// Which GPS satellites stand above a receiver's horizon at a time, by the
// broadcast ephemerides of that day: one row per epoch in
// "sat_visibility.txt", and the per-satellite elevations for the analyses.
// Also the "-qnveph", "-iode" and "-v" analyses.
#include <array>
#include <cstdint>
#include <cstdio>
#include <string>

#include "analysis/analyses/orbit.h"
#include "analysis/analyses/rinex_nav.h"
#include "analysis/core/gps_time.h"
#include "analysis/core/nmea_epoch.h"
#include "analysis/core/options.h"

namespace navsift {

// Elevation marks of PRN 1..32 (whole degrees, 0 when not visible).
using ElevationMarks = std::array<uint8_t, 32>;

// The day's ephemerides, loaded again whenever an epoch falls on another
// date.
class EphemerisSource {
public:
    void SetFolder(const std::string& rinex_folder);
    // The table for the date of `gps_seconds`; loads it when the date
    // changes (a missing day warns once per load, then answers nothing).
    const ephemeris_table& ForTime(int32_t gps_seconds);
    void Forget() { loaded_ = {}; }

private:
    std::string folder_;
    CalendarTime loaded_;  // year 0: nothing loaded
    ephemeris_table table_;
};

class VisibilityFile {
public:
    VisibilityFile() = default;
    VisibilityFile(const VisibilityFile&) = delete;
    VisibilityFile& operator=(const VisibilityFile&) = delete;
    ~VisibilityFile() { Close(); }

    // Creates `output_folder` + `file_name` ("sat_visibility.txt" unless a
    // caller keeps one file per power level); false when it cannot.
    bool visibility_open(const std::string& output_folder, const std::string& rinex_folder,
                         const std::string& file_name = "sat_visibility.txt");
    // Writes one row and returns how many satellites are above the horizon.
    // A time of week 0 is no time: the row says so, the marks are 0 and the
    // count is kCountUnknown.
    int sat_visibility(const ReceiverPosition& receiver, const GpsTime& t, ElevationMarks& elevation);
    // The same at the epoch's position and GPS time (epoch_gps_time: its
    // "$PQNVTG", else its RMC).
    int sat_visibility(const NmeaEpoch& e, ElevationMarks& elevation);
    // Rows written for epochs that told no time.
    int NoTimeRows() const { return no_time_rows_; }
    void Close();
    // Whether the day of `gps_seconds` has any ephemeris in the RINEX folder
    // (loading it, as a row of that day would).
    bool HasEphemerides(int32_t gps_seconds);
    const std::string& Path() const { return path_; }
    // False once a write has failed.
    bool Good() const { return good_; }

private:
    std::FILE* out_ = nullptr;
    std::string path_;
    bool good_ = true;
    int no_time_rows_ = 0;
    EphemerisSource source_;
};

// The visibility of one epoch without a file: the row's text (77 bytes) and
// the count; for week 0 (no time) a row that says so and kCountUnknown.
int visibility_row(EphemerisSource& source, const ReceiverPosition& receiver, const GpsTime& t,
                   ElevationMarks& elevation, std::string& row);

// "-iode": the ephemeris of every satellite at `gps_seconds`.
void iode_list(int32_t gps_seconds, const std::string& rinex_folder);

int run_ephemeris_dump(const OptionRecord& options);
int run_iode_listing(const OptionRecord& options);
int run_visibility_test(const OptionRecord& options);

}  // namespace navsift
