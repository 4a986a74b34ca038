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
// most `maxDegrees`, a sign before them allowed), whole minutes (0 to 59),
// the digits after the decimal point of the minutes (none for whole minutes)
// and the hemisphere chosen: `letters` holds the positive one and the
// negative one ("NS", "EW"), "" for none. Blanks around them do not count.
// Returns "" with the coordinate in signed decimal degrees in `out` and
// whether a sign or a letter gave its hemisphere in `sided`, or a message
// that says what is expected. A sign and a letter that disagree are refused.
std::string ReadTypedCoordinate(const std::string& degrees, const std::string& minutes, const std::string& decimals,
                                const std::string& hemisphere, const char* what, const char* letters, int maxDegrees,
                                double& out, bool& sided);

// A typed position read: signed degrees, and whether each coordinate came
// with its hemisphere. One without keeps the side of the fixes.
struct ReadPosition {
    double latitude = 0, longitude = 0;
    bool latitudeSided = false, longitudeSided = false;
};
// Both coordinates of a typed position (latitude to 90, longitude to 180);
// "" or the message of the first one that is no position. A hemisphere on
// one coordinate and none on the other is no position either; the message
// names the one without.
std::string ReadTypedPosition(const TypedPosition& p, ReadPosition& out);

}  // namespace bench::reports
