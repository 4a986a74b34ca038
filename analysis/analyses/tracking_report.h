#pragma once
// The report around the tables of a tracking analysis: the HTML index page,
// the LaTeX report (and, for the NMEA analysis, one document per figure
// layout) and the plotting script, each given one entry per time window.
#include <cstdint>
#include <map>
#include <string>

#include "analysis/core/out_file.h"
#include "analysis/writers/html_pages.h"

namespace navsift {

class TrackingReport {
public:
    // The main report is "tracking_analysis_report.tex" (number 0) or
    // "tracking_analysis_report_N.tex", and draws its windows in `layout`;
    // with `documents` the four documents of layouts 1 to 4 are written too
    // (a main report numbered N is document N, made once). Creates the index
    // page, the reports and "satellite_tracking_analysis.m" in
    // `report_folder`; false (message printed) when one cannot be made.
    bool Open(const std::string& report_folder, int main_number, int layout, bool documents);

    // One window: its HTML page and figure files in `window_folder` (the
    // satellite files there must be closed), its index row, its chapters and
    // its script line. `note`, when not empty, goes under the index row.
    // False (message printed) when a page or figure file cannot be made.
    bool AddWindow(const std::string& window_folder, int32_t start, int32_t end, const std::string& note);

    // Ends the index page, the reports and the script; false (message
    // printed) when one of them could not be written whole.
    bool Finish();

    std::string MainReportName() const;
    std::string ScriptPath() const { return script_.Path(); }

private:
    std::string folder_;
    int main_number_ = 0;
    int layout_ = 0;
    IndexPage index_;
    std::map<int, OutFile> reports_;  // by document number
    OutFile script_;
};

// Report folder of a log folder: "<log folder>report/tracking_analysis/".
std::string TrackingReportFolder(const std::string& log_folder);

// Makes `folder` and the folders above it; false (message naming it) when it
// cannot be made.
bool MakeFolder(const std::string& folder);

// "hhmmss_ddmmyyyy" of a GPS time, and its second of day.
std::string StampOf(int32_t gps_seconds);
int32_t SecondOfDay(int32_t gps_seconds);

}  // namespace navsift
