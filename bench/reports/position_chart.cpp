#include "bench/reports/position_chart.h"

#include <algorithm>
#include <cmath>

#include "platform/core/numtext.h"

namespace bench::reports {

using workbook::Chart;
using workbook::Value;
using workbook::Worksheet;
namespace xl = workbook::xl;

void WriteCEPCircles(ReportContext& ctx, const std::string& base, const std::string& s) {
    Worksheet& ws = ctx.Sheet(base, s);
    ws.GetRange("AI1").SetText("CIRCONFERENCE 50%");
    ws.GetRange("AK1").SetText("CIRCONFERENCE 95%");
    for (int i = 1; i <= 100; ++i) {
        const int row = i + 1;
        const std::string R = std::to_string(row);
        ws.Cells(row, 34).SetValue(Value(i / 100.0));
        ws.Cells(row, 35).SetFormula("=U10*SIN(2*PI()*AH" + R + ")");
        ws.Cells(row, 36).SetFormula("=U10*COS(2*PI()*AH" + R + ")");
        ws.Cells(row, 37).SetFormula("=U12*SIN(2*PI()*AH" + R + ")");
        ws.Cells(row, 38).SetFormula("=U12*COS(2*PI()*AH" + R + ")");
    }
}

void CreatePositionChart(ReportContext& ctx, const std::string& base, const std::string& s) {
    Worksheet& ws = ctx.Sheet(base, s);
    const int n = TrialsOf(ws);
    const std::string q = "=" + QuotedSheet(s);
    const std::string last = std::to_string(n + 1);

    const std::string name = ChartSheetName(ws.Parent(), s, " Position Chart");
    Chart& chart = ws.Parent().AddChart();
    chart.SetChartType(workbook::ChartType::XYScatter);
    workbook::Series& samples = chart.NewSeries();
    workbook::Series& cep50 = chart.NewSeries();
    workbook::Series& cep95 = chart.NewSeries();
    samples.SetName("=\"Samples\"");
    samples.SetXValues(q + "!R2C16:R" + last + "C16");
    samples.SetValues(q + "!R2C15:R" + last + "C15");
    samples.markerStyle = xl::MarkerCircle;
    samples.markerSize = 5;
    samples.lineStyle = xl::None;
    cep50.SetName("=\"CEP 50\"");
    cep50.SetXValues(q + "!R2C35:R101C35");
    cep50.SetValues(q + "!R2C36:R101C36");
    cep50.markerStyle = xl::MarkerCircle;
    cep50.markerSize = 2;
    cep50.lineStyle = xl::Continuous;
    cep95.SetName("=\"CEP 95\"");
    cep95.SetXValues(q + "!R2C37:R101C37");
    cep95.SetValues(q + "!R2C38:R101C38");
    cep95.markerStyle = xl::MarkerCircle;
    cep95.markerSize = 4;
    cep95.lineStyle = xl::Continuous;
    cep95.lineColorIndex = 10;
    cep95.lineWeight = xl::Medium;
    cep95.markerBackgroundColorIndex = 10;
    cep95.markerForegroundColorIndex = 10;
    chart.Location(xl::LocationAsNewSheet, name);
    chart.SetTitle("Positioning Error");
    workbook::Axis& x = chart.Axes(xl::Category);
    workbook::Axis& y = chart.Axes(xl::ValueAxis);
    x.SetTitle("longitude [m]");
    y.SetTitle("latitude [m]");
    y.TitleFont().size = 12;
    x.TitleFont().size = 12;
    x.SetHasMajorGridlines(true);

    workbook::PlotAreaStyle& plot = chart.PlotArea();
    plot.width = plot.height;
    // Both axes over one range, so a metre east is as long as a metre north:
    // what either axis would show, and at least a metre either side (fixes
    // at one spot differ by rounding only), in one step whose whole
    // multiples are the ticks, labelled to its decimals (a viewer adding the
    // step up from 1.2000000000000002 would read 0.1999999999992).
    double lo = 0, hi = 0, step = 1;
    workbook::AutoAxisScale(std::min({x.MinimumScale(), y.MinimumScale(), -1.0}),
                            std::max({x.MaximumScale(), y.MaximumScale(), 1.0}), lo, hi, step);
    const int decimals = std::max(0, static_cast<int>(-std::floor(std::log10(step) + 1e-9)));
    const std::string labels = decimals == 0 ? "0" : "0." + std::string(static_cast<size_t>(decimals), '0');
    for (workbook::Axis* a : {&x, &y}) {
        a->SetMinimumScale(platform::RoundDecimals(lo, decimals));
        a->SetMaximumScale(platform::RoundDecimals(hi, decimals));
        a->SetMajorUnit(step);
        a->SetTickLabelNumberFormat(labels);
    }
    plot.left = 176;
    plot.top = 23;
    ApplyStartTypeStyle(chart, s);
}

}  // namespace bench::reports
