#include "bench/reports/device_sheet.h"

#include <vector>

namespace bench::reports {

using workbook::Value;
namespace xl = workbook::xl;

namespace {

// Light blue, where the spreadsheet would draw its preset "daybreak" gradient.
constexpr int kPlotAreaColor = 41;

}  // namespace

void FormatDeviceTTFFSheet(workbook::Application&, workbook::Worksheet& sheet, const std::string& name, int16_t n,
                           int16_t limit) {
    sheet.Activate();
    // A test type listed twice in a session gets a sheet of its own each time.
    sheet.SetName(sheet.Parent().UniqueSheetName(name + "_Data"));

    sheet.GetRange("A1:A6").SetValues(workbook::Transpose(std::vector<Value>{
        Value("TRIALS"), Value("AVERAGE"), Value("MAX"), Value("MIN"), Value("STD DEV"), Value("% NO FIX")}));
    const std::string range = "R2C3:R" + std::to_string(n + 1) + "C3";
    sheet.GetRange("B1").SetFormulaR1C1("=COUNT(" + range + ")");
    sheet.GetRange("B2").SetFormulaR1C1("=AVERAGE(" + range + ")");
    sheet.GetRange("B3").SetFormulaR1C1("=MAX(" + range + ")");
    sheet.GetRange("B4").SetFormulaR1C1("=MIN(" + range + ")");
    sheet.GetRange("B5").SetFormulaR1C1("=STDEV(" + range + ")");
    sheet.GetRange("B6").SetFormulaR1C1("=COUNTIF(" + range + ",\">=" + std::to_string(limit) + "\")");

    workbook::Range block = sheet.GetRange("A1:B6");
    block.Select();
    block.Interior().SetColorIndex(6);
    block.Interior().SetPattern(xl::Solid);
    block.Font().SetBold(true);
    block.Borders(xl::DiagonalDown).SetLineStyle(xl::None);
    block.Borders(xl::DiagonalUp).SetLineStyle(xl::None);
    for (int edge = xl::EdgeLeft; edge <= xl::InsideHorizontal; ++edge) {
        workbook::BorderRef b = block.Borders(edge);
        b.SetLineStyle(xl::Continuous);
        b.SetWeight(3);  // no weight of its own: drawn as medium
        b.SetColorIndex(xl::Automatic);
    }

    std::vector<Value> headers;
    for (const char* h : {"TTFF [s]", "onFix UTC", "onFix Lat", "onFix Lon", "onFix Height", "onFix TrkSats",
                          "onFix UsedSats", "onFix Status", "5sFix Lat", "5sFix Lon", "5sFix Height",
                          "5sFix TrkSats", "5sFix UsedSats", "5sFix Status", "10sFix Lat", "10sFix Lon",
                          "10sFix Height", "10sFix TrkSats", "10sFix UsedSats", "10sFix Status"})
        headers.emplace_back(h);
    sheet.GetRange("C1:V1").SetRowValues(headers);
}

void CreateDeviceTTFFChart(workbook::Workbook& book, const std::string& deviceName, const std::string& name,
                           const std::string& dataSheetName, int16_t firstRow, int16_t firstColumn, int16_t lastRow,
                           int16_t lastColumn) {
    const std::string chartName = book.UniqueSheetName(name + "_Chart");
    workbook::Chart& chart = book.AddChart();
    chart.SetName(chartName);
    chart.SetChartType(workbook::ChartType::Line);
    workbook::Worksheet& data = book.Worksheets(dataSheetName);
    chart.SetSourceData(data.GetRange(data.Cells(firstRow, firstColumn), data.Cells(lastRow, lastColumn)));
    chart.SetTitle(deviceName + " " + name + " Start Results - TTFF");
    chart.Axes(xl::Category).SetTitle("Trials");
    chart.Axes(xl::ValueAxis).SetTitle("Time To First Fix [s]");
    workbook::PlotAreaStyle& plot = chart.PlotArea();
    plot.gradient = true;
    plot.fillVisible = true;
    plot.fillColorIndex = kPlotAreaColor;
    chart.SetLegendPosition(xl::LegendBottom);
}

}  // namespace bench::reports
