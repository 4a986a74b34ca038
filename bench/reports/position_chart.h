#pragma once
// The position scatter of a test sheet: every fix's east and north error
// around the reference, with the CEP 50 and CEP 95 circles, on equal scales.
#include <string>

#include "bench/reports/report_app.h"

namespace bench::reports {

// AH:AL, rows 2 to 101: the circle points as formulas over U10 and U12.
void WriteCEPCircles(ReportContext& ctx, const std::string& base, const std::string& sheet);
// The chart sheet sheet + " Position Chart".
void CreatePositionChart(ReportContext& ctx, const std::string& base, const std::string& sheet);

}  // namespace bench::reports
