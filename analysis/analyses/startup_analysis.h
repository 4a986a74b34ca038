#pragma once
// The bad-position start-up test: a receiver is powered up again and again
// while it holds a wrong position and time. Each power-up is a trial, cut
// from the logs by its first no-fix GGA; the trial's TTFF, first-fix
// position and the satellites visible from where it thought it was and from
// where it really was go into a data file, a plotting script and a LaTeX
// report.
#include <cstdint>
#include <string>
#include <vector>

#include "analysis/analyses/visibility.h"
#include "analysis/core/byte_stream.h"
#include "analysis/core/options.h"

namespace navsift {

struct startup_trial {
    double initial_latitude = 0, initial_longitude = 0, initial_height = 0;
    uint32_t start_gps_second = 0;
    int32_t start_week = 0;
    double start_tow = 0;
    int32_t start_field5 = 0;
    int32_t initial_sod = 0;
    double fix_latitude = 0, fix_longitude = 0, fix_height = 0;
    uint32_t end_gps_second = 0;
    int32_t end_week = 0;
    double end_tow = 0;
    int32_t end_field5 = 0;
    int32_t latest_sod = 0;
    int32_t gga_count = 0;
    ElevationMarks initial_visibility{};
    int32_t initial_visible_count = 0;
    ElevationMarks fix_visibility{};
    int32_t fix_visible_count = 0;
    int32_t fix_status = 0;
    int32_t initial_time_error = 0;
    // False when no "$PQNVTG" followed the first GGA: the trial has no time
    // base, so neither its TTFF nor its visibility means anything.
    bool has_start_time = false;
    // Seconds the receiver ran from the start "$PQNVTG" to the end one. Its
    // clock correction is no time that passed (that step is the time error),
    // so this is not the end second less the start second.
    int32_t elapsed_seconds = 0;
    // GGAs of the trial whose position was off the earth (read as none).
    int32_t positions_off_the_earth = 0;

    int32_t Ttff() const { return elapsed_seconds; }
};

// 0 with the stream at the start of the next GGA whose fix quality is 0;
// 1 when the log ends first. Calling it again finds the same sentence.
int seek_trial_start(ByteStream& in);
// Fills one trial from the current position: done at the first "$PQNVTG"
// after the GGA that turns from no fix to fix, at the end of the log, or at
// the next power-up (the stream is then left at its first sentence).
void read_startup_trial(ByteStream& in, startup_trial& trial);
// Ascending end second; equal keys keep their order.
void sort_trials(std::vector<startup_trial>& trials);
// PRNs visible in both lists (the elevations need not agree).
int count_common_satellites(const ElevationMarks& a, const ElevationMarks& b);
// Fills the visibility lists and counts of every trial; the rows go into
// `visibility` (its file in the report folder). Without a RINEX folder the
// lists stay empty.
void compute_trial_visibility(std::vector<startup_trial>& trials, VisibilityFile* visibility);

// The report's table cells.
std::string latitude_text(double degrees);
std::string longitude_text(double degrees);
// "%d," per marked PRN, dealt six to a part; part 1 of an empty list is "-".
// Whatever passes 18 PRNs stays in part 3.
struct SatelliteListParts {
    std::string part[3];
};
SatelliteListParts satellite_list_parts(const ElevationMarks& marks);
ElevationMarks common_marks(const ElevationMarks& a, const ElevationMarks& b);

// False (message printed) when a file cannot be created or written.
bool write_startup_data_file(const std::vector<startup_trial>& trials, const std::string& report_folder);
bool write_startup_table(const std::vector<startup_trial>& trials, const std::string& report_folder);

// "-nmea FOLDER -startup". 0, or 1 when an output could not be made.
int startup_analysis(const OptionRecord& options);

}  // namespace navsift
