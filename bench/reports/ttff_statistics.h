#pragma once
// The TTFF statistics block of a test sheet (T4:U9) and its valid-TTFF
// column AD. Each writer takes the report's base name and the sheet name and
// reads the trial count from U4 and the maximum acceptable TTFF from the
// bench when it runs. The statistics are formulas, so they follow later
// changes of column AD.
#include <string>

#include "bench/reports/report_app.h"

namespace bench::reports {

// T4 "TRIALS", U4 = the number of TTFF cells A2, A3, ... before the first
// empty one.
void WriteTrialsCount(ReportContext& ctx, const std::string& base, const std::string& sheet);
void WriteAverageTTFF(ReportContext& ctx, const std::string& base, const std::string& sheet);
void WriteMaxTTFF(ReportContext& ctx, const std::string& base, const std::string& sheet);
void WriteMinTTFF(ReportContext& ctx, const std::string& base, const std::string& sheet);
void WriteStDevTTFF(ReportContext& ctx, const std::string& base, const std::string& sheet);
void WriteNoFixPercent(ReportContext& ctx, const std::string& base, const std::string& sheet);
// AD1 "TTFF < N [s] ", then the TTFFs from 0 to N packed from AD2.
void WriteValidTTFFColumn(ReportContext& ctx, const std::string& base, const std::string& sheet);

}  // namespace bench::reports
