#pragma once
// Tracking analysis of a receiver's text debug log: each navigation block
// (a "KALMAN " line, the GPS time, the position, one row per tracked
// satellite) is cut into intervals of at most four hours of the day, with a
// position file and one file per satellite in each interval's folder, and the
// same HTML, LaTeX and plotting-script report as the NMEA tracking analysis.
#include <cstdint>
#include <optional>
#include <string>

#include "analysis/core/options.h"

namespace navsift {

// The optional time window of the command line: only GPS times strictly
// between `lower` and `upper` are taken.
struct GpsWindow {
    int32_t upper = 0;
    int32_t lower = 0;
};

// The third and fourth words of the command line as the window's upper and
// lower GPS time, when both are there and are whole numbers and the upper
// one is not 0; nothing otherwise.
std::optional<GpsWindow> DebugLogWindow(const OptionRecord& options);

// The analysis of `log_path` into "<its folder>report/tracking_analysis/"
// with the RINEX files of `rinex_folder`; the report draws its intervals in
// layout `report_type` (0 to 4; below 0 is layout 0). 0 on success, 1 when
// the log cannot be read or an output cannot be made (named on stderr), 2 for
// a report type above 4.
int debuglog_tracking_analysis(const std::string& log_path, const std::string& rinex_folder, int32_t report_type,
                               const std::optional<GpsWindow>& window);

// -d LOG (or -type TYPE LOG) without -r.
int run_debuglog_tracking(const OptionRecord& options);

}  // namespace navsift
