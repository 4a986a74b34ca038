#pragma once
// The charts of a test's TTFF distribution: the cumulative histogram over
// fixed time bins (work table AE:AF), the CDF over whole seconds (X:Y) and
// the TTFF of every trial with its average. Each adds one chart sheet after
// the last sheet and saves nothing.
#include <string>

#include "bench/reports/report_app.h"

namespace bench::reports {

// Fills column AD first (WriteValidTTFFColumn).
void CreateHistogramChart(ReportContext& ctx, const std::string& base, const std::string& sheet);
void CreateCDFChart(ReportContext& ctx, const std::string& base, const std::string& sheet);
void CreateTTFFChart(ReportContext& ctx, const std::string& base, const std::string& sheet);

}  // namespace bench::reports
