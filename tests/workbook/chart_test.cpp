// Charts as the builders make them: source blocks and the series they give,
// series references, automatic scales, placement.
#include "platform/workbook/workbook.h"

#include <gtest/gtest.h>

#include <cmath>

using namespace workbook;

namespace {
struct Book {
    Application app;
    Workbook& wb = app.AddWorkbook();
    Worksheet& ws = wb.Worksheets(1);
    Book() { ws.SetName("COLD"); }
};
SheetArea Ref(const char* sheet, const char* a1) { return {sheet, ParseAddress(a1)[0]}; }
}  // namespace

TEST(ChartSource, TheShapesTheBuildersPlot) {
    Book b;
    Worksheet& ws = b.ws;
    // Histogram: text labels beside percentages.
    ws.GetRange("AE2:AE4").SetValues(Transpose(std::vector<Value>{"\xE2\x89\xA4" "25 sec", "\xE2\x89\xA4" "30 sec",
                                                                  "\xE2\x89\xA4" "35 sec"}));
    EXPECT_EQ(ws.GetRange("AE4").GetValue().Text(), "\xE2\x89\xA4" "35 sec");
    ws.GetRange("AF2:AF4").SetValues({{50}, {80}, {100}});
    Chart& hist = b.wb.AddChart();
    hist.SetChartType(ChartType::ColumnClustered);
    hist.SetSourceData(ws.GetRange("AE2:AF4"), xl::Columns);
    ASSERT_EQ(hist.SeriesCount(), 1);
    EXPECT_EQ(hist.SeriesCollection(1).ValuesRef()[0], Ref("COLD", "AF2:AF4"));
    EXPECT_EQ(hist.SeriesCollection(1).XValuesRef()[0], Ref("COLD", "AE2:AE4"));

    // CDF: x and y columns.
    for (int x = 0; x <= 5; ++x) {
        ws.Cells(x + 2, 24).SetValue(x);
        ws.Cells(x + 2, 25).SetValue(x / 5.0);
    }
    Chart& cdf = b.wb.AddChart();
    cdf.SetChartType(ChartType::XYScatterLines);
    cdf.SetSourceData(ws.GetRange("X2:Y7"));
    ASSERT_EQ(cdf.SeriesCount(), 1);
    EXPECT_EQ(cdf.SeriesCollection(1).XValuesRef()[0], Ref("COLD", "X2:X7"));
    EXPECT_EQ(cdf.SeriesCollection(1).YData().back(), 1.0);

    // TTFF: one column, the points counted 1..n.
    ws.GetRange("AD2:AD4").SetValues({{30.5}, {28}, {41}});
    Chart& ttff = b.wb.AddChart();
    ttff.SetChartType(ChartType::XYScatterLines);
    ttff.SetSourceData(ws.GetRange("AD2:AD4"), xl::Columns);
    ASSERT_EQ(ttff.SeriesCount(), 1);
    EXPECT_TRUE(ttff.SeriesCollection(1).XValuesRef().empty());
    EXPECT_EQ(ttff.SeriesCollection(1).XData(), (std::vector<double>{1, 2, 3}));

    // Sensitivity: two areas, strength against average.
    ws.GetRange("A4:A6").SetValues({{35}, {40}, {45}});
    ws.GetRange("C4:C6").SetValues({{90}, {60}, {30}});
    Chart& sens = b.wb.AddChart();
    sens.SetChartType(ChartType::XYScatterLines);
    sens.SetSourceData(ws.GetRange("A4:A7,C4:C7"), xl::Columns);
    ASSERT_EQ(sens.SeriesCount(), 1);
    EXPECT_EQ(sens.SeriesCollection(1).XData(), (std::vector<double>{35, 40, 45}));
    EXPECT_EQ(sens.SeriesCollection(1).YData(), (std::vector<double>{90, 60, 30}));
}

TEST(ChartSource, DeviceLineChartNamedByItsHeaderAndGrowingWithTrials) {
    Application app;
    Workbook& wb = app.AddWorkbook();
    Worksheet& data = wb.Worksheets(1);
    data.SetName("COLD_Data");
    data.GetRange("C1").SetValue("TTFF [s]");
    Chart& c = wb.AddChart();
    c.SetName("COLD_Chart");
    c.SetChartType(ChartType::Line);
    c.SetSourceData(data.GetRange(data.Cells(1, 3), data.Cells(11, 3)));
    ASSERT_EQ(c.SeriesCount(), 1);
    EXPECT_EQ(c.SeriesCollection(1).Name(), "TTFF [s]");
    EXPECT_EQ(c.SeriesCollection(1).ValuesRef()[0], Ref("COLD_Data", "C2:C11"));
    EXPECT_TRUE(c.SeriesCollection(1).YData().empty());
    for (int t = 1; t <= 4; ++t) data.Cells(t + 1, 3).SetValue(30.0 + t);
    EXPECT_EQ(c.SeriesCollection(1).YData().size(), 4u);
    EXPECT_EQ(wb.Sheets(2).Name(), "COLD_Chart");
    // The console tool's wizard: named roles over whole columns.
    data.GetRange("D1").SetValue("Speed");
    for (int r = 2; r <= 6; ++r) data.Cells(r, 4).SetValue(r * 2.0);
    Chart& w = wb.AddChart();
    w.SetChartType(ChartType::XYScatter);
    w.SetSourceData(data.GetRange("$C:$C,$D:$D"), true, true);
    ASSERT_EQ(w.SeriesCount(), 1);
    EXPECT_EQ(w.SeriesCollection(1).Name(), "Speed");
    EXPECT_EQ(w.SeriesCollection(1).ValuesRef()[0], Ref("COLD_Data", "D2:D6"));  // whole columns end at the last used row
}

TEST(ChartSeries, ReferenceTextsNamesAndTheirErrors) {
    Book b;
    b.ws.GetRange("B2").SetValue(1);
    b.ws.GetRange("U4").SetValue(30);
    b.ws.GetRange("U5").SetValue(42.5);
    Chart& c = b.wb.AddChart();
    c.SetChartType(ChartType::XYScatterLines);
    Series& avg = c.NewSeries();
    avg.SetName("AVERAGE");
    avg.SetXValues("=COLD!R2C2,COLD!R4C21");
    avg.SetValues("=COLD!R5C21,COLD!R5C21");
    EXPECT_EQ(avg.XData(), (std::vector<double>{1, 30}));
    EXPECT_EQ(avg.YData(), (std::vector<double>{42.5, 42.5}));
    Series& s = c.NewSeries();
    s.SetName("=\"Samples\"");
    s.SetXValues("=COLD!R2C16:R31C16");
    s.SetValues("='COLD'!$O$2:$O$31");
    EXPECT_EQ(s.Name(), "Samples");
    EXPECT_EQ(s.XValuesRef()[0], Ref("COLD", "P2:P31"));
    EXPECT_EQ(s.ValuesRef()[0], Ref("COLD", "O2:O31"));
    EXPECT_THROW(s.SetValues("=R2C16:R31C16"), ExcelError);  // no sheet
    EXPECT_THROW(s.SetValues("=COLD!Q"), ExcelError);
    EXPECT_THROW(s.SetValues("=HOT!R2C15:R31C15"), ExcelError);  // no such sheet
    s.SetValues("=cold!R2C15:R31C15");  // found ignoring case, kept in its own spelling
    EXPECT_EQ(s.ValuesRef()[0].sheet, "COLD");
    EXPECT_EQ(c.SeriesCount(), 2);
    EXPECT_THROW(c.SeriesCollection(3), ExcelError);
    // A reference to a cell names the series by that cell's text.
    b.ws.GetRange("Y1").SetValue("CDF");
    s.SetName("=COLD!$Y$1");
    EXPECT_EQ(s.Name(), "CDF");
}

TEST(ChartScale, AutomaticScaleCoversTheDataOnWholeSteps) {
    double mn, mx, major;
    AutoAxisScale(-3.2, 5.7, mn, mx, major);
    EXPECT_LE(mn, -3.2);
    EXPECT_GE(mx, 5.7);
    EXPECT_DOUBLE_EQ(std::remainder(mn, major), 0.0);
    EXPECT_DOUBLE_EQ(std::remainder(mx, major), 0.0);
    AutoAxisScale(50, 100, mn, mx, major);
    EXPECT_EQ(mn, 0);  // positive data spread widely start at zero
    AutoAxisScale(95, 100, mn, mx, major);
    EXPECT_GT(mn, 0);
    EXPECT_LE(mn, 95);
    AutoAxisScale(0, 0, mn, mx, major);
    EXPECT_LT(mn, mx);
}

TEST(ChartScale, EqualScalesFromTheAutomaticOnes) {
    Book b;
    const double east[] = {-4.0, 1.0, 5.5}, north[] = {-1.5, 3.0, 7.8};
    for (int i = 0; i < 3; ++i) {
        b.ws.Cells(i + 2, 16).SetValue(east[i]);
        b.ws.Cells(i + 2, 15).SetValue(north[i]);
    }
    Chart& c = b.wb.AddChart();
    c.SetChartType(ChartType::XYScatter);
    Series& s = c.NewSeries();
    s.SetXValues("=COLD!R2C16:R4C16");
    s.SetValues("=COLD!R2C15:R4C15");
    Axis& x = c.Axes(xl::Category);
    Axis& y = c.Axes(xl::ValueAxis);
    EXPECT_TRUE(x.MinimumScaleIsAuto());
    double xmin = x.MinimumScale(), ymin = y.MinimumScale();
    EXPECT_LE(xmin, -4.0);
    EXPECT_GE(y.MaximumScale(), 7.8);
    // The position chart's rule: both axes from the smaller minimum to the larger maximum.
    if (xmin <= ymin) y.SetMinimumScale(xmin);
    else x.SetMinimumScale(ymin);
    if (x.MaximumScale() >= y.MaximumScale()) y.SetMaximumScale(x.MaximumScale());
    else x.SetMaximumScale(y.MaximumScale());
    EXPECT_EQ(x.MinimumScale(), y.MinimumScale());
    EXPECT_EQ(x.MaximumScale(), y.MaximumScale());
    EXPECT_FALSE(x.MaximumScaleIsAuto() && y.MaximumScaleIsAuto());
    y.SetMinimumScaleIsAuto(true);
    EXPECT_TRUE(y.MinimumScaleIsAuto());
}

TEST(ChartPlacement, ChartSheetsAtTheEndAndEmbeddedCharts) {
    Book b;
    b.wb.AddWorksheet().SetName("Resume");
    Chart& c = b.wb.AddChart();
    EXPECT_EQ(b.wb.Sheets(b.wb.Count()).Name(), "Chart1");
    EXPECT_EQ(b.wb.ActiveChart(), &c);
    c.Location(xl::LocationAsNewSheet, "COLD CDF Chart");
    EXPECT_EQ(b.wb.Sheets(3).Name(), "COLD CDF Chart");
    EXPECT_EQ(c.Name(), "COLD CDF Chart");
    Chart& d = b.wb.AddChart();
    EXPECT_THROW(d.Location(xl::LocationAsNewSheet, "cold cdf chart"), ExcelError);
    d.Location(xl::LocationAsNewSheet, "COLD CEP Chart");
    EXPECT_EQ(b.wb.Count(), 4);
    // Onto a worksheet: the chart sheet goes away, the chart stays the same object.
    d.Location(xl::LocationAsObject, "Resume");
    EXPECT_EQ(b.wb.Count(), 3);
    EXPECT_FALSE(d.IsChartSheet());
    ASSERT_EQ(b.wb.Worksheets("Resume").Charts().size(), 1u);
    EXPECT_EQ(b.wb.Worksheets("Resume").Charts()[0].chart.get(), &d);
    d.Location(xl::LocationAsNewSheet, "HOT");
    EXPECT_TRUE(d.IsChartSheet());
    EXPECT_EQ(b.wb.Sheets(b.wb.Count()).Name(), "HOT");
    EXPECT_THROW(c.Location(7, "x"), ExcelError);
    EXPECT_THROW(b.wb.Worksheets("HOT"), ExcelError);  // a chart sheet, not a worksheet
}
