#include "bench/reports/position_error.h"

#include <algorithm>
#include <cmath>
#include <numbers>
#include <vector>

#include "bench/devices/system_log.h"
#include "bench/reports/results_import.h"
#include "platform/core/error.h"
#include "platform/core/numtext.h"

namespace bench::reports {

using platform::NumberToText;
using workbook::Chart;
using workbook::Value;
using workbook::Worksheet;
namespace xl = workbook::xl;

namespace {

constexpr int kColD = 4, kColF = 6, kColZ = 26, kColAA = 27, kColAB = 28, kColAC = 29;
// The fix in earth-centred coordinates, one column each for X, Y and Z.
constexpr int kColX = 40;
// The local frame at the reference: labels, then values (AR, AS).
constexpr int kColFrame = 44;
constexpr const char* kEarthHeaders[] = {"Earth X [m]", "Earth Y [m]", "Earth Z [m]"};

// The constants and the east-north plane at the reference, in cells of
// their own (labels in AR, values in AS) so that the formulas of each trial
// are short: WGS 84 (the datum of the GGA positions), then the rotation of
// earth-centred coordinates into the plane and the north of the
// reference's own point.
constexpr const char* kSemiMajor = "$AS$2";
constexpr const char* kE2 = "$AS$3";

// The radius of curvature in the prime vertical at the latitude `lat`
// (radians: a cell or an expression).
std::string PrimeVertical(const std::string& lat) {
    return std::string(kSemiMajor) + "/SQRT(1-" + kE2 + "*SIN(" + lat + ")^2)";
}

void WriteLocalFrame(Worksheet& ws) {
    const std::string sinLat = "SIN(RADIANS(M2))", cosLat = "COS(RADIANS(M2))";
    const std::string sinLon = "SIN(RADIANS(N2))", cosLon = "COS(RADIANS(N2))";
    const std::pair<const char*, std::string> rows[] = {
        {"Local frame", ""},
        {"Semi-major axis [m]", "6378137"},
        {"Eccentricity squared", "0.00669437999014"},
        {"cos(lat)", "=" + cosLat},
        {"sin(lat)*cos(lon)", "=" + sinLat + "*" + cosLon},
        {"sin(lat)*sin(lon)", "=" + sinLat + "*" + sinLon},
        {"cos(lon)", "=" + cosLon},
        {"sin(lon)", "=" + sinLon},
        {"North offset [m]", "=" + PrimeVertical("RADIANS(M2)") + "*" + kE2 + "*" + sinLat + "*" + cosLat}};
    for (int i = 0; i < 9; ++i) {
        ws.Cells(i + 1, kColFrame).SetText(rows[i].first);
        const std::string& v = rows[i].second;
        if (v.empty()) continue;
        if (v[0] == '=') ws.Cells(i + 1, kColFrame + 1).SetFormula(v);
        else ws.Cells(i + 1, kColFrame + 1).SetValue(Value(platform::ReadStrict(v)));
    }
}

std::string EarthColumn(int axis, int n) {
    const std::string c = workbook::ColumnLetters(kColX + axis);
    return c + "2:" + c + std::to_string(n + 1);
}

// Earth-centred X, Y and Z (metres, on the WGS 84 ellipsoid) of each fix,
// from its signed degrees. They are the fix's position as D and F are,
// converted once like them: plain numbers, so that a long test does not
// carry three more formulas a trial.
void WriteEarthCoordinates(Worksheet& ws, int n) {
    WriteLocalFrame(ws);
    for (int a = 0; a < 3; ++a) ws.Cells(1, kColX + a).SetText(kEarthHeaders[a]);
    constexpr double a = 6378137.0, e2 = 0.00669437999014, rad = std::numbers::pi / 180;
    for (int i = 2; i <= n + 1; ++i) {
        if (!RowHasPosition(ws, i)) continue;
        const double lat = ws.ValueAt(i, kColD).Number() * rad, lon = ws.ValueAt(i, kColF).Number() * rad;
        const double nu = a / std::sqrt(1 - e2 * std::sin(lat) * std::sin(lat));
        ws.Cells(i, kColX).SetValue(Value(nu * std::cos(lat) * std::cos(lon)));
        ws.Cells(i, kColX + 1).SetValue(Value(nu * std::cos(lat) * std::sin(lon)));
        ws.Cells(i, kColX + 2).SetValue(Value(nu * (1 - e2) * std::sin(lat)));
    }
}

// A typed position without hemispheres (typed before the dialog took them)
// lies on the side of the fixes: north or south as their mean latitude,
// east or west as is nearer to their mean direction (which holds across
// 180 degrees as well).
void SideOfTheFixes(Worksheet& ws, int n, double& lat, double& lon) {
    double sumLat = 0, sumSin = 0, sumCos = 0;
    for (int i = 2; i <= n + 1; ++i) {
        if (!RowHasPosition(ws, i)) continue;
        sumLat += ws.ValueAt(i, kColD).Number();
        const double l = ws.ValueAt(i, kColF).Number() * std::numbers::pi / 180.0;
        sumSin += std::sin(l);
        sumCos += std::cos(l);
    }
    if (sumLat < 0) lat = -lat;
    const double e = lon * std::numbers::pi / 180.0;
    // Cosine of the angle to the fixes' mean direction, up to a factor:
    // the larger is the nearer side.
    if (std::cos(e) * sumCos - std::sin(e) * sumSin > std::cos(e) * sumCos + std::sin(e) * sumSin)
        lon = -lon;
}

bool IsDigits(const std::string& s) {
    for (char c : s)
        if (c < '0' || c > '9') return false;
    return true;
}

// The horizontal errors of the trials that have a position, smallest first.
std::vector<double> SortedErrors(Worksheet& ws, int n) {
    std::vector<double> errors;
    for (int i = 2; i <= std::max(2, n + 1); ++i) {
        if (!RowHasPosition(ws, i)) continue;
        const Value e = ws.ValueAt(i, kColZ);
        if (e.IsNumber()) errors.push_back(e.Number());
    }
    std::sort(errors.begin(), errors.end());
    return errors;
}

// The CEP curve as the sheet defines it, at every whole metre however far
// it reaches: the share in percent of the fixes within radius k, computed
// as the sheet's COUNTIF(...)/fixes*100 is. The CEP radii are read from it
// without a table, so that one wild fix costs no radius.
class CepCurve {
public:
    explicit CepCurve(const std::vector<double>& sortedErrors) : e_(sortedErrors) {}
    double Share(double k) const {
        const auto within = std::upper_bound(e_.begin(), e_.end(), k) - e_.begin();
        return static_cast<double>(within) / static_cast<double>(e_.size()) * 100;
    }
    // The first whole-metre radius whose share is `level` or more; the
    // share changes only at the radii just above the errors.
    double Reach(double level) const {
        if (Share(0) >= level) return 0;
        for (double e : e_)
            if (const double k = std::ceil(e); Share(k) >= level) return k;
        return std::ceil(e_.back());
    }
    // The radius of `level`, interpolated between the whole metre below its
    // reach and the reach; 0 when the level holds at radius 0 already.
    double Radius(double level) const {
        const double k = Reach(level);
        if (k == 0) return 0;
        const double below = Share(k - 1), at = Share(k);
        return (k - 1) + (k - (k - 1)) * (level - below) / (at - below);
    }

private:
    const std::vector<double>& e_;
};

// Radius steps of a curve that would be too long at whole metres: 2, 5, 10,
// 20, 50 ... metres.
double NextStep(double step) {
    const double decade = std::pow(10, std::floor(std::log10(step) + 1e-9));
    const double m = step / decade;
    return (m < 1.5 ? 2 : m < 3.5 ? 5 : 10) * decade;
}

// A distance for a person: at most two decimals.
std::string Metres(double x) { return NumberToText(std::round(x * 100) / 100) + " m"; }

}  // namespace

std::string ReadTypedCoordinate(const std::string& degrees, const std::string& minutes, const std::string& decimals,
                                const std::string& hemisphere, const char* what, const char* letters, int maxDegrees,
                                double& out, bool& sided) {
    std::string d = platform::Trim(degrees);
    const std::string m = platform::Trim(minutes), f = platform::Trim(decimals);
    // A sign before the degrees is the hemisphere as well: "-" south or west.
    char sign = 0;
    if (!d.empty() && (d[0] == '-' || d[0] == '+')) {
        sign = d[0];
        d = platform::Trim(d.substr(1));
    }
    const bool digits = !d.empty() && d.size() <= 3 && IsDigits(d) && !m.empty() && m.size() <= 2 && IsDigits(m) &&
                        IsDigits(f);
    const double deg = digits ? platform::ReadStrict(d) : 0;
    const double min = digits ? platform::ReadStrict(m + "." + (f.empty() ? "0" : f)) : 0;
    const std::string typed = std::string("The antenna ") + what + " \"" + degrees + "\" \"" + minutes + "\" \"" +
                              decimals + "\"";
    if (!digits || min >= 60 || deg + min / 60 > maxDegrees) {
        const std::string max = std::to_string(maxDegrees);
        return typed + " is not a position: type the whole degrees (0 to " + max + ", with \"-\" or " +
               letters[1] + " for the " + (letters[0] == 'N' ? "south" : "west") +
               "), the whole minutes (0 to 59) and only the digits after the decimal point of the minutes (for " +
               "48 degrees 7.038 minutes type 48, 7 and 038).";
    }
    const std::string h = platform::UpperCase(platform::Trim(hemisphere));
    if (!h.empty() && h != std::string(1, letters[0]) && h != std::string(1, letters[1]))
        return typed + " has the hemisphere \"" + hemisphere + "\": it is " + letters[0] + " or " + letters[1] + ".";
    const bool negative = sign == '-' || h == std::string(1, letters[1]);
    if (sign && !h.empty() && (sign == '-') != (h == std::string(1, letters[1])))
        return typed + " " + h + " has both the sign \"" + std::string(1, sign) + "\" and the hemisphere " + h +
               ": type one of them, or both the same.";
    out = (negative ? -1 : 1) * (deg + min / 60);
    sided = sign != 0 || !h.empty();
    return "";
}

std::string ReadTypedPosition(const TypedPosition& p, ReadPosition& out) {
    std::string why = ReadTypedCoordinate(p.parts[0], p.parts[1], p.parts[2], p.hemispheres[0], "latitude", "NS", 90,
                                          out.latitude, out.latitudeSided);
    if (why.empty())
        why = ReadTypedCoordinate(p.parts[3], p.parts[4], p.parts[5], p.hemispheres[1], "longitude", "EW", 180,
                                  out.longitude, out.longitudeSided);
    // One coordinate with its hemisphere says the position is typed as it
    // is: the other one's side cannot be guessed from the fixes then, as
    // they may lie on either side of it.
    if (why.empty() && out.latitudeSided != out.longitudeSided) {
        const bool latitude = !out.latitudeSided;
        const int at = latitude ? 0 : 3;
        why = std::string("The antenna ") + (latitude ? "latitude" : "longitude") + " \"" + p.parts[at] + "\" \"" +
              p.parts[at + 1] + "\" \"" + p.parts[at + 2] + "\" has no hemisphere, while the " +
              (latitude ? "longitude" : "latitude") + " has one: give the " + (latitude ? "latitude" : "longitude") +
              " its hemisphere too (" + (latitude ? "N or S, or \"-\" for the south" : "E or W, or \"-\" for the west") +
              ").";
    }
    return why;
}

void WriteReferencePosition(ReportContext& ctx, const std::string& base, const std::string& s) {
    Worksheet& ws = ctx.Sheet(base, s);
    const int n = TrialsOf(ws);
    const TypedPosition pos = ctx.Host().AntennaPosition();
    if (pos.use) {
        // Both read before either is written: a bad box leaves the sheet as it was.
        ReadPosition typed;
        if (const std::string why = ReadTypedPosition(pos, typed); !why.empty())
            throw platform::BenchError(platform::err::TypeMismatch, why);
        double lat = typed.latitude, lon = typed.longitude;
        // Used as typed; only a position typed without hemispheres is put
        // on the side of the fixes (one with a single one is refused).
        if (!typed.latitudeSided) SideOfTheFixes(ws, n, lat, lon);
        WriteEarthCoordinates(ws, n);
        ws.GetRange("M1").SetText("Latitude");
        ws.GetRange("N1").SetText("Longitude");
        ws.GetRange("M2").SetValue(Value(lat));
        ws.GetRange("N2").SetValue(Value(lon));
        return;
    }
    WriteEarthCoordinates(ws, n);
    // The mean of the fixes is the mean of their earth-centred points, seen
    // from the earth's centre: right at the poles and across 180 degrees,
    // where averaged degrees are not.
    const std::string x = "AVERAGE(" + EarthColumn(0, n) + ")", y = "AVERAGE(" + EarthColumn(1, n) + ")",
                      z = "AVERAGE(" + EarthColumn(2, n) + ")";
    ws.GetRange("M1").SetText("Mean Latitude");
    ws.GetRange("M2").SetFormula("=DEGREES(ATAN2(SQRT(" + x + "^2+" + y + "^2)," + z + "/(1-" + kE2 + ")))");
    ws.GetRange("N1").SetText("Mean Longitude");
    // Straight above a pole every longitude is as good: 0.
    ws.GetRange("N2").SetFormula("=IF(" + x + "^2+" + y + "^2>0,DEGREES(ATAN2(" + x + "," + y + ")),0)");
}

// North and east errors: the fix's earth-centred point less the
// reference's, turned into the east-north plane at the reference. The
// reference's own point is folded into the north offset.
void WriteLatitudeError(ReportContext& ctx, const std::string& base, const std::string& s) {
    Worksheet& ws = ctx.Sheet(base, s);
    const int n = TrialsOf(ws);
    ws.GetRange("O1").SetText("Latitude Error [m]");
    for (int i = 2; i <= n + 1; ++i) {
        if (!RowHasPosition(ws, i)) continue;
        const std::string R = std::to_string(i);
        ws.Cells(i, 15).SetFormula("=$AS$4*AP" + R + "-$AS$5*AN" + R + "-$AS$6*AO" + R + "+$AS$9");
    }
}

void WriteLongitudeError(ReportContext& ctx, const std::string& base, const std::string& s) {
    Worksheet& ws = ctx.Sheet(base, s);
    const int n = TrialsOf(ws);
    ws.GetRange("P1").SetText("Longitude Error [m]");
    for (int i = 2; i <= n + 1; ++i) {
        if (!RowHasPosition(ws, i)) continue;
        const std::string R = std::to_string(i);
        ws.Cells(i, 16).SetFormula("=$AS$7*AO" + R + "-$AS$8*AN" + R);
    }
}

void CreateCEPChart(ReportContext& ctx, const std::string& base, const std::string& s) {
    Worksheet& ws = ctx.Sheet(base, s);
    const int n = TrialsOf(ws);
    // One error per trial row; the trial count bounds the rows, not a gap in
    // the trial numbers.
    const int r = std::max(2, n + 1);
    int positions = 0;
    for (int i = 2; i <= r; ++i) {
        if (!RowHasPosition(ws, i)) continue;
        ++positions;
        const std::string R = std::to_string(i);
        const std::string error = "SQRT(POWER(O" + R + ",2)+POWER(P" + R + ",2))";
        // Below a millimetre an error is the rounding of the mean, not a
        // distance: it is 0, whichever program computes the mean.
        ws.Cells(i, kColZ).SetFormula("=" + error + "*(" + error + ">=0.001)");
    }
    ws.Cells(r + 2, kColZ).SetText("MAX");
    ws.Cells(r + 3, kColZ).SetFormula("=MAX(Z2:Z" + std::to_string(r) + ")");
    const Value largest = ws.ValueAt(r + 3, kColZ);
    ws.Cells(1, kColAB).SetText("CEP");
    if (!largest.IsNumber()) {
        const std::string what = largest.ToString();
        ws.Cells(2, kColAA).SetText("No CEP curve: largest error " + what);
        SystemLogWrite("Report " + s + ": no CEP curve, largest position error " + what + " (CreateCEPChart)");
        ctx.AddNote(s + ": no CEP curve, the largest position error is " + what + ".");
        return;
    }
    // The curve runs 10 m past the largest error. When that is too long to
    // tabulate metre by metre (one wild fix), it runs 10 m past the radius
    // that holds 95 % of the fixes, in coarser steps if even that is too
    // long; the CEP radii do not depend on it.
    double M = largest.Number() + 10, step = 1;
    const bool stopsShort = largest.Number() > kMaxCEPRadius;
    if (stopsShort) {
        const std::vector<double> errors = SortedErrors(ws, n);
        M = CepCurve(errors).Reach(95) + 10;
        while (std::ceil(M / step) > kMaxCEPRadius) step = NextStep(step);
    }
    // A curve cut short ends on a step at or past its 10 m margin.
    const int top = static_cast<int>(stopsShort ? std::ceil(M / step) : std::floor(M));
    const std::string last = std::to_string(n + 1);
    // The shares are of the trials that have a position.
    const std::string fixes = positions == n ? std::string("U4") : "COUNT(Z2:Z" + last + ")";
    for (int k = 0; k <= top; ++k) {
        ws.Cells(k + 2, kColAA).SetValue(Value(k * step));
        ws.Cells(k + 2, kColAB)
            .SetFormula("=COUNTIF(Z2:Z" + last + ",\"<=" + NumberToText(ws.ValueAt(k + 2, kColAA).Number()) +
                        "\")/" + fixes + "*100");
    }
    // What lies past the curve's last radius is said where the curve is,
    // and in the box that ends the report; nothing is said when nothing does.
    const double end = top * step;
    if (largest.Number() > end) {
        const std::vector<double> errors = SortedErrors(ws, n);
        const auto beyond = errors.end() - std::upper_bound(errors.begin(), errors.end(), end);
        const std::string where = NumberToText(end) + " m" +
                                  (step > 1 ? ", in steps of " + NumberToText(step) + " m" : std::string());
        const std::string what = std::to_string(beyond) + " of " + std::to_string(errors.size()) +
                                 (beyond == 1 ? " fixes lies beyond it" : " fixes lie beyond it") +
                                 ", the largest error " + Metres(largest.Number());
        ws.Cells(2, kColAC).SetText("The CEP curve and its chart stop at " + where + ": " + what);
        SystemLogWrite("Report " + s + ": the CEP curve and its chart stop at " + where + "; " + what +
                       " (CreateCEPChart)");
        ctx.AddNote(s + ": the CEP curve and its chart stop at " + where + "; " + what + ".");
    }

    const std::string name = ChartSheetName(ws.Parent(), s, " CEP Chart");
    Chart& chart = ws.Parent().AddChart();
    chart.SetChartType(workbook::ChartType::XYScatterLines);
    // Metre by metre the chart leaves out the last two metres of the 10 m
    // margin; a curve cut short is charted whole, so that its chart holds
    // the CEP 95 whatever its step.
    const int chartRows = stopsShort ? top + 2 : top;
    chart.SetSourceData(ws.GetRange("AA2:AB" + std::to_string(chartRows)), xl::Columns);
    chart.Location(xl::LocationAsNewSheet, name);
    chart.SetTitle("CEP(Circular Error Position) " + s + " Start");
    workbook::Axis& x = chart.Axes(xl::Category);
    workbook::Axis& y = chart.Axes(xl::ValueAxis);
    x.SetTitle("radius[m]");
    y.SetTitle("Probability %");
    chart.SetHasLegend(false);
    workbook::Series& series = chart.SeriesCollection(1);
    series.lineWeight = xl::Medium;
    series.markerSize = 5;
    y.SetMaximumScale(100);
    y.SetMajorUnit(10);
    y.displayUnit = xl::None;
    y.TickLabelFont().bold = true;
    x.TickLabelFont().bold = true;
    x.SetMinimumScale(0);
    double major = M <= 40 ? 1 : M <= 80 ? 2 : 5;
    // A curve cut short may still span kilometres: about twenty labels.
    if (stopsShort)
        while (major * 20 < M) major = NextStep(major);
    x.SetMajorUnit(major);
    x.SetMinorUnit(step);
    x.SetMaximumScale(stopsShort ? end : M - 2);
    ApplyStartTypeStyle(chart, s);
}

void WriteCEPTable(ReportContext& ctx, const std::string& base, const std::string& s) {
    Worksheet& ws = ctx.Sheet(base, s);
    // From the errors themselves, as the whole-metre curve gives them, so
    // that they are there however far one fix lies.
    const std::vector<double> errors = SortedErrors(ws, TrialsOf(ws));
    const CepCurve curve(errors);
    struct Level {
        double percent;
        const char* label;
    };
    static constexpr Level kLevels[] = {{50, "CEP 50"}, {90, "CEP 90"}, {95, "CEP 95"}, {99, "CEP 99"}};
    for (int i = 0; i < 4; ++i) {
        workbook::Range value = ws.Cells(10 + i, 21);
        value.Offset(0, -1).SetText(kLevels[i].label);
        if (errors.empty()) value.ClearContents();
        else value.SetValue(Value(curve.Radius(kLevels[i].percent)));
    }
    // The smallest whole-metre radius that holds every fix.
    ws.GetRange("T14").SetText("CEP 100");
    if (errors.empty()) ws.GetRange("U14").ClearContents();
    else ws.GetRange("U14").SetValue(Value(curve.Reach(100)));

    ws.GetRange("T4:T14").Font().SetBold(true);
    workbook::Range block = ws.GetRange("T4:U14");
    block.Interior().SetColorIndex(6);
    block.Interior().SetPattern(xl::Solid);
    for (int edge : {xl::EdgeLeft, xl::EdgeTop, xl::EdgeBottom, xl::EdgeRight, xl::InsideHorizontal}) {
        block.Borders(edge).SetLineStyle(xl::Continuous);
        block.Borders(edge).SetWeight(xl::Thick);
    }
    ws.GetRange("U10:U14").SetNumberFormat("#.0#");
}

}  // namespace bench::reports
