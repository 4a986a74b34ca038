#include "bench/reports/ttff_charts.h"

#include <vector>

#include "bench/reports/ttff_statistics.h"
#include "platform/core/numtext.h"

namespace bench::reports {

using workbook::Chart;
using workbook::ChartType;
using workbook::Value;
using workbook::Worksheet;
namespace xl = workbook::xl;

namespace {

constexpr int kColX = 24, kColY = 25, kColLabel = 31, kColPercent = 32;

// "≤" (U+2264) in UTF-8.
constexpr const char* kLessOrEqual = "\xE2\x89\xA4";

const std::vector<int>& BinBounds(const std::string& sheet) {
    static const std::vector<int> hot = {1,  2,  3,  4,  5,   6,   7,   8,   9,   10,  11,  12,  13,  14,
                                         15, 20, 25, 30, 35, 100, 125, 150, 175, 200, 225, 250, 275, 300};
    static const std::vector<int> other = {25, 30, 35, 40, 45, 50, 55, 60, 65, 70, 80,
                                           90, 100, 125, 150, 175, 200, 225, 250, 275, 300};
    return sheet == "HOT" ? hot : other;
}

double NumberAt(Worksheet& ws, int row, int col) { return ws.ValueAt(row, col).Number(); }

void BoldTicks(workbook::Axis& axis) { axis.TickLabelFont().bold = true; }

}  // namespace

void CreateHistogramChart(ReportContext& ctx, const std::string& base, const std::string& s) {
    Worksheet& ws = ctx.Sheet(base, s);
    const int n = TrialsOf(ws);
    ws.GetRange("AF1").SetFormula("HISTOGRAM");
    WriteValidTTFFColumn(ctx, base, s);

    const std::vector<int>& bounds = BinBounds(s);
    const int m = static_cast<int>(bounds.size());
    std::vector<Value> labels;
    for (int b : bounds) labels.emplace_back(std::string(kLessOrEqual) + std::to_string(b) + " sec");
    ws.GetRange("AE2:AE" + std::to_string(m + 1)).SetValues(workbook::Transpose(labels));
    const std::string last = std::to_string(n + 1);
    for (int i = 1; i <= m; ++i) {
        const std::string label = ws.ValueAt(i + 1, kColLabel).Text();
        // The label less its three-byte first character and " sec"'s last
        // three: the bound and one blank, then one more blank.
        const std::string bound = label.substr(3, label.size() - 6);
        // Three decimals, as the results grid shows a share: the bars'
        // labels show the cells.
        ws.Cells(i + 1, kColPercent)
            .SetFormula("=ROUND(COUNTIF(AD2:AD" + last + ",\"<=" + bound + " \")/U4*100,3)");
    }

    int k = 2;
    while (k <= m && NumberAt(ws, k, kColPercent) != 100) ++k;
    // One bin before the first non-zero bin; from row 2 when none is.
    int k0 = 2;
    while (k0 < k && NumberAt(ws, k0 + 1, kColPercent) == 0) ++k0;
    if (k0 >= k) k0 = 2;

    const std::string name = ChartSheetName(ws.Parent(), s, " HISTOGRAMM");
    Chart& chart = ws.Parent().AddChart();
    chart.SetChartType(ChartType::ColumnClustered);
    chart.SetSourceData(ws.GetRange("AE" + std::to_string(k0) + ":AF" + std::to_string(k)), xl::Columns);
    chart.Location(xl::LocationAsNewSheet, name);
    chart.SetTitle("Histogram " + s + " Start");
    workbook::Axis& x = chart.Axes(xl::Category);
    workbook::Axis& y = chart.Axes(xl::ValueAxis);
    x.SetTitle("time [s]");
    y.SetTitle("% of samples");
    chart.SetHasAxis(xl::Category, true);
    chart.SetHasAxis(xl::ValueAxis, true);
    chart.SetHasLegend(false);
    workbook::Series& series = chart.SeriesCollection(1);
    series.ApplyDataLabels();
    series.dataLabelFont.bold = true;
    x.categoryType = xl::Automatic;
    x.TickLabelFont().orientation = 45;
    BoldTicks(x);
    BoldTicks(y);
    y.SetMaximumScale(100);
    ApplyStartTypeStyle(chart, s);
}

void CreateCDFChart(ReportContext& ctx, const std::string& base, const std::string& s) {
    Worksheet& ws = ctx.Sheet(base, s);
    const int n = TrialsOf(ws);
    const int L = platform::RoundToInt16(NumberAt(ws, 6, 21) + 10);
    const std::string last = std::to_string(n + 1);
    for (int x = 0; x <= L; ++x) {
        ws.GetRange("Y1").SetFormula("CDF");
        ws.Cells(x + 2, kColX).SetValue(Value(static_cast<double>(x)));
        ws.Cells(x + 2, kColY)
            .SetFormula("=COUNTIF(AD2:AD" + last + ",\"<=" + platform::NumberToText(NumberAt(ws, x + 2, kColX)) +
                        "\")/U4");
    }
    const int end = L + 2;
    int r = 2;
    while (r <= end && NumberAt(ws, r, kColY) == 0) ++r;
    // Five rows of lead-in when the curve starts late; the whole table when
    // it starts early or never leaves zero.
    const int first = (r >= 7 && r <= end) ? r - 5 : 2;

    const std::string name = ChartSheetName(ws.Parent(), s, " CDF Chart");
    Chart& chart = ws.Parent().AddChart();
    chart.SetChartType(ChartType::XYScatterLines);
    chart.SetSourceData(ws.GetRange("X" + std::to_string(first) + ":Y" + std::to_string(end)), xl::Columns);
    chart.Location(xl::LocationAsNewSheet, name);
    chart.SetTitle("CDF " + s + " Start");
    workbook::Axis& x = chart.Axes(xl::Category);
    workbook::Axis& y = chart.Axes(xl::ValueAxis);
    x.SetTitle("time [s]");
    y.SetTitle("probability");
    chart.SetHasLegend(false);
    workbook::Series& series = chart.SeriesCollection(1);
    series.lineWeight = xl::Medium;
    series.markerSize = 5;
    y.SetMinimumScaleIsAuto(true);
    y.SetMaximumScale(1);
    y.SetMinorUnitIsAuto(true);
    y.SetMajorUnit(0.1);
    y.crosses = xl::Automatic;
    y.reversePlotOrder = false;
    y.scaleType = -4132;
    y.displayUnit = xl::None;
    x.SetMinimumScale(NumberAt(ws, first, kColX));
    x.SetMaximumScale(L);
    x.SetMinorUnit(1);
    x.SetMajorUnitIsAuto(true);
    for (workbook::Axis* a : {&y, &x}) {
        a->TickLabelFont().name = "Arial";
        a->TickLabelFont().bold = true;
        a->TickLabelFont().size = 10;
    }
    ApplyStartTypeStyle(chart, s);
}

void CreateTTFFChart(ReportContext& ctx, const std::string& base, const std::string& s) {
    Worksheet& ws = ctx.Sheet(base, s);
    ws.Select();
    const int n = TrialsOf(ws);

    const std::string name = ChartSheetName(ws.Parent(), s, " TTFF Chart");
    Chart& chart = ws.Parent().AddChart();
    chart.SetChartType(ChartType::XYScatterLines);
    chart.SetSourceData(ws.GetRange("AD2:AD" + std::to_string(n + 1)), xl::Columns);
    chart.NewSeries();
    workbook::Series& ttff = chart.SeriesCollection(1);
    ttff.SetName("TTFF [s]");
    ttff.lineWeight = xl::Medium;
    ttff.markerSize = 5;
    workbook::Series& average = chart.SeriesCollection(2);
    average.SetName("AVERAGE");
    const std::string q = QuotedSheet(s);
    // From the first trial number to the trial count, at the average.
    average.SetXValues("=" + q + "!R2C2," + q + "!R4C21");
    average.SetValues("=" + q + "!R5C21," + q + "!R5C21");
    average.lineColorIndex = 3;
    average.lineWeight = xl::Medium;
    average.lineStyle = xl::Continuous;
    average.markerBackgroundColorIndex = 3;
    average.markerForegroundColorIndex = 3;
    average.markerStyle = xl::MarkerDiamond;
    average.markerSize = 5;
    chart.Location(xl::LocationAsNewSheet, name);
    chart.SetTitle("TTFF " + s + " Start");
    workbook::Axis& x = chart.Axes(xl::Category);
    workbook::Axis& y = chart.Axes(xl::ValueAxis);
    x.SetTitle("samples");
    y.SetTitle("TTFF");
    BoldTicks(y);
    BoldTicks(x);
    x.SetMaximumScale(NumberAt(ws, 4, 21));
    x.SetMinimumScale(0);
    chart.SetLegendPosition(xl::LegendBottom);
    ApplyStartTypeStyle(chart, s);
}

}  // namespace bench::reports
