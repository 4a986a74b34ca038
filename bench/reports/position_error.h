#pragma once
// Position accuracy of a test sheet: the reference position (typed in the
// coordinates dialog, or the mean of the fixes), north and east errors in
// metres, the CEP curve with its chart sheet, and the CEP radii in the
// statistics block.
#include <string>

#include "bench/reports/report_app.h"

namespace bench::reports {

// A CEP curve runs metre by metre to 10 m past the largest error. Past this
// largest error it runs to 10 m past the radius that holds 95 % of the
// fixes instead, in coarser steps if even that is longer than this many
// metres: one wild fix would otherwise make a table of millions of rows.
// The CEP radii of the statistics block never depend on the curve.
inline constexpr int kMaxCEPRadius = 65535;

void WriteReferencePosition(ReportContext& ctx, const std::string& base, const std::string& sheet);
void WriteLatitudeError(ReportContext& ctx, const std::string& base, const std::string& sheet);
void WriteLongitudeError(ReportContext& ctx, const std::string& base, const std::string& sheet);
void CreateCEPChart(ReportContext& ctx, const std::string& base, const std::string& sheet);
void WriteCEPTable(ReportContext& ctx, const std::string& base, const std::string& sheet);

// A coordinate as typed in the antenna-position dialog: whole degrees (at
// most `maxDegrees`), whole minutes (0 to 59) and the digits after the
// decimal point of the minutes (none for whole minutes); blanks around them
// do not count. Returns "" with the coordinate in decimal degrees in `out`,
// or a message that says what is expected. Nothing is read another way.
std::string ReadTypedCoordinate(const std::string& degrees, const std::string& minutes, const std::string& decimals,
                                const char* what, int maxDegrees, double& out);
// Both coordinates of a typed position (latitude to 90, longitude to 180);
// "" or the message of the first one that is no position.
std::string ReadTypedPosition(const TypedPosition& p, double& latitude, double& longitude);

}  // namespace bench::reports
