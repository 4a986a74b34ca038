#pragma once
// The "Resume" sheet of the sensitivity report: per start type (HOT in A:G,
// WARM in L:R, COLD in W:AC) one row per power level with its statistics by
// reference, the level turned into a signal strength from the strongest
// level's typed value, the rows sorted by strength, and a chart sheet of
// average TTFF against signal strength per start type.
#include <map>
#include <string>
#include <vector>

#include "bench/reports/report_app.h"
#include "bench/reports/sensitivity.h"

namespace bench::reports {

// The three blocks in their order on the sheet.
inline const char* const kSummaryBlocks[] = {"HOT", "WARM", "COLD"};

// Fills the active sheet "Resume" of the report `base` from `levels` (in
// list order); `strengths` holds the typed maximum signal strength of every
// block that has levels. Adds the chart sheets; saves nothing.
void BuildSensitivitySummary(ReportContext& ctx, const std::string& base, const std::vector<LevelFile>& levels,
                             const std::map<std::string, double>& strengths);

// The chart sheet `start` of a filled "Resume".
void CreateSensitivityChart(ReportContext& ctx, const std::string& base, const std::string& start);

}  // namespace bench::reports
