#include "bench/reports/position_error.h"

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

constexpr double kMetresPerRadianLat = 6378198.133;
constexpr double kMetresPerRadianLon = 4819709.844;
constexpr int kColB = 2, kColZ = 26, kColAA = 27, kColAB = 28;

std::string DegreeFactor() { return NumberToText(std::numbers::pi / 180.0); }

void WriteError(ReportContext& ctx, const std::string& base, const std::string& s, const char* column,
                const char* header, const char* source, const char* reference, double metresPerRadian) {
    Worksheet& ws = ctx.Sheet(base, s);
    const int n = TrialsOf(ws);
    ws.GetRange(std::string(column) + "1").SetText(header);
    const std::string tail = " - " + std::string(reference) + ")*" + NumberToText(metresPerRadian) + "*(" +
                             DegreeFactor() + ")";
    const int col = workbook::ColumnNumber(column);
    // A trial without a fix has no position, hence no error.
    for (int i = 2; i <= n + 1; ++i)
        if (RowHasFix(ws, i)) ws.Cells(i, col).SetFormula("=(" + std::string(source) + std::to_string(i) + tail);
}

bool IsDigits(const std::string& s) {
    for (char c : s)
        if (c < '0' || c > '9') return false;
    return true;
}

// The last row of the CEP curve table (0 when the sheet has none).
int CurveEnd(Worksheet& ws) {
    int r = 2;
    while (ws.ValueAt(r, kColAA).IsNumber()) ++r;
    return r - 1;
}

}  // namespace

std::string ReadTypedCoordinate(const std::string& degrees, const std::string& minutes, const std::string& decimals,
                                const char* what, int maxDegrees, double& out) {
    const std::string d = platform::Trim(degrees), m = platform::Trim(minutes), f = platform::Trim(decimals);
    const bool digits = !d.empty() && d.size() <= 3 && IsDigits(d) && !m.empty() && m.size() <= 2 && IsDigits(m) &&
                        IsDigits(f);
    const double deg = digits ? platform::ReadStrict(d) : 0;
    const double min = digits ? platform::ReadStrict(m + "." + (f.empty() ? "0" : f)) : 0;
    if (!digits || min >= 60 || deg + min / 60 > maxDegrees) {
        const std::string max = std::to_string(maxDegrees);
        return std::string("The antenna ") + what + " \"" + degrees + "\" \"" + minutes + "\" \"" + decimals +
               "\" is not a position: type the whole degrees (0 to " + max +
               "), the whole minutes (0 to 59) and only the digits after the decimal point of the minutes (for " +
               "48 degrees 7.038 minutes type 48, 7 and 038).";
    }
    out = deg + min / 60;
    return "";
}

std::string ReadTypedPosition(const TypedPosition& p, double& latitude, double& longitude) {
    std::string why = ReadTypedCoordinate(p.parts[0], p.parts[1], p.parts[2], "latitude", 90, latitude);
    if (why.empty()) why = ReadTypedCoordinate(p.parts[3], p.parts[4], p.parts[5], "longitude", 180, longitude);
    return why;
}

void WriteReferencePosition(ReportContext& ctx, const std::string& base, const std::string& s) {
    Worksheet& ws = ctx.Sheet(base, s);
    const int n = TrialsOf(ws);
    const TypedPosition pos = ctx.Host().AntennaPosition();
    if (pos.use) {
        // Both read before either is written: a bad box leaves the sheet as it was.
        double lat = 0, lon = 0;
        if (const std::string why = ReadTypedPosition(pos, lat, lon); !why.empty())
            throw platform::BenchError(platform::err::TypeMismatch, why);
        ws.GetRange("M1").SetText("Latitude");
        ws.GetRange("N1").SetText("Longitude");
        ws.GetRange("M2").SetValue(Value(lat));
        ws.GetRange("N2").SetValue(Value(lon));
        return;
    }
    const std::string last = std::to_string(n + 1);
    ws.GetRange("M1").SetText("Mean Latitude");
    ws.GetRange("M2").SetFormula("=AVERAGE( D2 : D" + last + ")");
    ws.GetRange("N1").SetText("Mean Longitude");
    ws.GetRange("N2").SetFormula("=AVERAGE( F2 : F" + last + ")");
}

void WriteLatitudeError(ReportContext& ctx, const std::string& base, const std::string& s) {
    WriteError(ctx, base, s, "O", "Latitude Error [m]", "D", "M2", kMetresPerRadianLat);
}

void WriteLongitudeError(ReportContext& ctx, const std::string& base, const std::string& s) {
    WriteError(ctx, base, s, "P", "Longitude Error [m]", "F", "N2", kMetresPerRadianLon);
}

void CreateCEPChart(ReportContext& ctx, const std::string& base, const std::string& s) {
    Worksheet& ws = ctx.Sheet(base, s);
    const int n = TrialsOf(ws);
    // One error per trial row; the trial count bounds the rows, not a gap in
    // the trial numbers.
    const int r = std::max(2, n + 1);
    int positions = 0;
    for (int i = 2; i <= r; ++i) {
        if (!RowHasFix(ws, i)) continue;
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
    if (!largest.IsNumber() || !(largest.Number() <= kMaxCEPRadius)) {
        const std::string what = largest.IsNumber() ? NumberToText(largest.Number()) + " m" : largest.ToString();
        ws.Cells(2, kColAA).SetText("No CEP curve: largest error " + what);
        SystemLogWrite("Report " + s + ": no CEP curve, largest position error " + what + " (CreateCEPChart)");
        return;
    }
    const double M = largest.Number() + 10;
    const int top = static_cast<int>(std::floor(M));
    const std::string last = std::to_string(n + 1);
    // The shares are of the trials that have a position.
    const std::string fixes = positions == n ? std::string("U4") : "COUNT(Z2:Z" + last + ")";
    for (int k = 0; k <= top; ++k) {
        ws.Cells(k + 2, kColAA).SetValue(Value(static_cast<double>(k)));
        ws.Cells(k + 2, kColAB)
            .SetFormula("=COUNTIF(Z2:Z" + last + ",\"<=" + NumberToText(ws.ValueAt(k + 2, kColAA).Number()) +
                        "\")/" + fixes + "*100");
    }

    const std::string name = ChartSheetName(ws.Parent(), s, " CEP Chart");
    Chart& chart = ws.Parent().AddChart();
    chart.SetChartType(workbook::ChartType::XYScatterLines);
    chart.SetSourceData(ws.GetRange("AA2:AB" + std::to_string(top)), xl::Columns);
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
    x.SetMajorUnit(M <= 40 ? 1 : M <= 80 ? 2 : 5);
    x.SetMinorUnit(1);
    x.SetMaximumScale(M - 2);
    ApplyStartTypeStyle(chart, s);
}

void WriteCEPTable(ReportContext& ctx, const std::string& base, const std::string& s) {
    Worksheet& ws = ctx.Sheet(base, s);
    const int end = CurveEnd(ws);
    struct Level {
        double percent;
        const char* label;
    };
    static constexpr Level kLevels[] = {{50, "CEP 50"}, {90, "CEP 90"}, {95, "CEP 95"}, {99, "CEP 99"}};
    // The curve read once: the writes below change no cell of it, but each
    // would have its shares computed again over every trial.
    std::vector<double> shares, radii;
    for (int row = 2; row <= end; ++row) {
        shares.push_back(ws.ValueAt(row, kColAB).Number());
        radii.push_back(ws.ValueAt(row, kColAA).Number());
    }
    auto percent = [&](int row) { return shares[static_cast<size_t>(row - 2)]; };
    auto radius = [&](int row) { return radii[static_cast<size_t>(row - 2)]; };
    int row99 = 2;
    for (int i = 0; i < 4; ++i) {
        const double L = kLevels[i].percent;
        workbook::Range value = ws.Cells(10 + i, 21);
        value.Offset(0, -1).SetText(kLevels[i].label);
        int r = 2;
        while (r <= end && percent(r) < L) ++r;
        if (i == 3) row99 = r;
        if (r > end) {
            // The curve never reaches the level (no curve, or no valid row).
            value.ClearContents();
            continue;
        }
        // Reached at radius 0: nothing below to interpolate from.
        const double cep = r == 2 ? radius(2)
                                  : radius(r - 1) + (radius(r) - radius(r - 1)) * (L - percent(r - 1)) /
                                                        (percent(r) - percent(r - 1));
        value.SetValue(Value(cep));
    }
    ws.GetRange("T14").SetText("CEP 100");
    int r = row99;
    while (r <= end && percent(r) < 100) ++r;
    if (r <= end) ws.GetRange("U14").SetValue(Value(radius(r)));
    else ws.GetRange("U14").ClearContents();

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
