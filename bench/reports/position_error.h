#pragma once
// Position accuracy of a test sheet: the reference position (typed in the
// coordinates dialog, or the mean of the fixes), north and east errors in
// metres, the CEP curve with its chart sheet, and the CEP radii in the
// statistics block.
#include <string>

#include "bench/reports/report_app.h"

namespace bench::reports {

// Curves longer than this many metres are not drawn: one wild fix would
// otherwise make a table of millions of rows.
inline constexpr int kMaxCEPRadius = 65535;

void WriteReferencePosition(ReportContext& ctx, const std::string& base, const std::string& sheet);
void WriteLatitudeError(ReportContext& ctx, const std::string& base, const std::string& sheet);
void WriteLongitudeError(ReportContext& ctx, const std::string& base, const std::string& sheet);
void CreateCEPChart(ReportContext& ctx, const std::string& base, const std::string& sheet);
void WriteCEPTable(ReportContext& ctx, const std::string& base, const std::string& sheet);

// The typed position as ddmm.mmmm: degrees, minutes, "." and the decimals
// joined as typed. Throws BenchError naming the box when a part holds
// anything but digits (or the degrees or minutes are empty).
double TypedNmeaValue(const std::string& degrees, const std::string& minutes, const std::string& decimals,
                      const char* what);

}  // namespace bench::reports
