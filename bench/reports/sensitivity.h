#pragma once
// The sensitivity report: the results files of a power-step series, one
// level sheet each (the TTFF and trial columns with the statistics block),
// in one workbook named after the first file. The summary sheet and charts
// are in sensitivity_summary.h.
#include <string>
#include <vector>

#include "bench/reports/report_app.h"

namespace bench::reports {

// One results file of the series as its name reads.
struct LevelFile {
    std::string path;   // as picked
    std::string title;  // the file name
    std::string level;  // the power level of the name as a number's text ("-130" for "-130.0")
    double power = 0;
    std::string start;  // start type of the level sheet: the last of COLD, WARM, HOT found, any case
    std::string block;  // the summary block: the type field of the name, upper-cased
    std::string sheet;  // level & start ("-130COLD")
};

// Reads a file name "<...>_<TYPE>_NMEA_Results_PW<level>.txt"; returns why
// it cannot be a level of the report, or "" with `out` filled.
std::string ParseLevelFile(const std::string& path, LevelFile& out);

// A power level (or UTC second) of a file name as a number's text, so that
// "-130", "-130.0" and "-130.00" are one level "-130". A text that is no
// number stays as written.
std::string LevelText(const std::string& written);
// A results file's log suffix with its levels written as LevelText gives
// them: "_SatPW-140.0_PW-130" gives "_SatPW-140_PW-130".
std::string NormalisedSuffix(const std::string& suffix);

// The report's name: the fields of the file name before its last four
// "_"-separated fields, joined ("R1_TTFF_COLD_NMEA_Results_PW-130.txt"
// gives "R1TTFF").
std::string SensitivityReportName(const std::string& title);

// The results file `file` into the active sheet `sheet` of the report
// `base`: only the TTFF (A) and the trial number (B) stay, A1 "TTFF [s]";
// saved, then the statistics.
void ImportSensitivityResults(ReportContext& ctx, const std::string& base, const std::string& file,
                              const std::string& sheet);
// The statistics block of a level sheet (none past TRIALS for one trial),
// framed, with the imported columns C:P hidden; saved.
void BuildSensitivityStatistics(ReportContext& ctx, const std::string& base, const std::string& sheet);

}  // namespace bench::reports
