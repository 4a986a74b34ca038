#pragma once
// Tracking analysis of a long NMEA log (typically 24 hours): the log is cut
// into time windows on a grid from midnight, and each window gets its own
// per-satellite and per-epoch tables, report page, figures and chapter, while
// report-level tables gather all windows.
#include <cstdint>
#include <string>

#include "analysis/core/options.h"

namespace navsift {

// Length of a tracking window in seconds. 28800 unless -trange gives more
// than 0; set through set_tracking_window_length by the analyses that cut
// logs into windows.
extern int32_t tracking_window_length;
constexpr int32_t kDefaultTrackingWindow = 28800;
// 28800, or `trange` when that is above 0.
void set_tracking_window_length(int32_t trange);

// The last second of day of the window that starts at second of day `start`:
// the end of its step on a grid of `length` seconds from midnight, one step
// later when that would leave less than half a step (but never past the end
// of the day's last step).
int64_t tracking_window_end(int32_t start, int32_t length);

// -nmea LOG -trk: the window length from -trange, then the analysis of LOG
// with -e and -rtype.
int start_tracking_analysis(const OptionRecord& options);

// Whether the run ends with its chart workbooks (benchmarks leave them out to
// time the tables alone).
enum class TrackingCharts { All, None };

// The analysis of log_folder + log_name (log_folder empty or ending in a
// separator) into "<log_folder>report/tracking_analysis/", with the RINEX
// files of `rinex_folder` for the visibility. A report type of 0 to 4 picks
// the main report's layout and has the report typeset; below 0 writes the
// same files and typesets nothing. `matlab_requested` makes the missing
// plotting program a failure. 0 on success; 1 when the log cannot be read or
// an output cannot be made (each named on stderr); 2 for a report type above 4.
int tracking_analysis(const std::string& log_folder, const std::string& log_name, const std::string& rinex_folder,
                      int32_t report_type, bool matlab_requested = false,
                      TrackingCharts charts = TrackingCharts::All);

}  // namespace navsift
