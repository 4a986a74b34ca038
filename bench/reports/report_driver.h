#pragma once
// The report of one test sheet: statistics, position errors, charts and CEP
// in a fixed order of fifteen steps, shown on the progress bar, then the
// column widths and a save.
#include <string>

#include "bench/reports/report_app.h"

namespace bench::reports {

void BuildTestReport(ReportContext& ctx, const std::string& base, const std::string& sheet);

}  // namespace bench::reports
