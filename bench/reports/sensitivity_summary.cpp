#include "bench/reports/sensitivity_summary.h"

#include <cmath>
#include <limits>

#include "platform/core/numtext.h"

namespace bench::reports {

namespace xl = workbook::xl;
using workbook::Value;
using workbook::Worksheet;

namespace {

constexpr const char* kResume = "Resume";

int OffsetOf(const std::string& block) {
    if (block == "HOT") return 0;
    if (block == "WARM") return 11;
    return 22;
}

std::string Col(int col) { return workbook::ColumnLetters(col); }

// A row whose Trials cell is empty or 0 takes the next level.
bool Free(Worksheet& ws, int row, int o) {
    const Value v = ws.ValueAt(row, 2 + o);
    return v.IsEmpty() || ((v.IsNumber() || v.IsBool()) && v.Number() == 0);
}

void FrameBlock(Worksheet& ws, int o, int r) {
    workbook::Range block = ws.GetRange(ws.Cells(1, 1 + o), ws.Cells(r + 1, 7 + o));
    block.Select();
    block.Borders(xl::DiagonalDown).SetLineStyle(xl::None);
    block.Borders(xl::DiagonalUp).SetLineStyle(xl::None);
    for (int edge = xl::EdgeLeft; edge <= xl::InsideHorizontal; ++edge) {
        block.Borders(edge).SetLineStyle(xl::Continuous);
        block.Borders(edge).SetWeight(xl::Medium);
    }
    block.SetHorizontalAlignment(xl::Center);
    block.Font().SetBold(true);
    block.AutoFit();
}

}  // namespace

void BuildSensitivitySummary(ReportContext& ctx, const std::string& base, const std::vector<LevelFile>& levels,
                             const std::map<std::string, double>& strengths) {
    Worksheet& ws = ctx.Sheet(base, kResume);
    const char* headers[] = {"CN0 [dB]", "Trials", "Average [s]", "Max [s]", "Min [s]", "St.Dev [s]", "No Fix [%]"};
    for (int o = 0; o <= 22; o += 11)
        for (int c = 0; c < 7; ++c) ws.GetRange(Col(c + 1) + "2").Offset(0, o).SetValue(Value(headers[c]));

    for (const LevelFile& l : levels) {
        const int o = OffsetOf(l.block);
        int r = 2;
        while (!Free(ws, r, o)) ++r;
        ws.Cells(1, 4 + o).SetValue(Value(l.block));
        // The level as its sheet names it: a half dB stays a half dB.
        ws.Cells(r, 1 + o).SetValue(Value(l.power + 0.0));
        const std::string ref = "=" + QuotedSheet(l.sheet) + "!U";
        for (int k = 0; k < 6; ++k) ws.Cells(r, 2 + o + k).SetFormula(ref + std::to_string(4 + k));
    }
    ws.Rows("1:2").Font().SetBold(true);
    ws.Rows("1:1").Font().SetSize(18);

    for (const char* block : kSummaryBlocks) {
        const int o = OffsetOf(block);
        if (ws.ValueAt(1, 4 + o).Text() != block) continue;
        const auto strength = strengths.find(block);
        if (strength == strengths.end()) continue;
        const std::string v = platform::NumberToText(strength->second);
        const std::string x = Col(1 + o);
        const int work = 8 + o;
        int r = 2;
        do {
            ++r;
            ws.Cells(r, work).SetFormula("=" + v + "-(MAX(" + x + ":" + x + ")-" + x + std::to_string(r) + ")");
        } while (!Free(ws, r + 1, o));
        ws.GetRange(ws.Cells(3, work), ws.Cells(r, work)).Copy();
        ws.GetRange(ws.Cells(3, 1 + o), ws.Cells(r, 1 + o)).PasteSpecialValues();
        ws.GetRange(ws.Cells(3, work), ws.Cells(r, work)).ClearContents();
        ws.GetRange(ws.Cells(3, 1 + o), ws.Cells(r, 7 + o)).Sort(ws.Cells(3, 1 + o), xl::Ascending);
        FrameBlock(ws, o, r);
        ws.GetRange(ws.Cells(1, 1 + o), ws.Cells(1, 7 + o)).SetMergeCells(true);
        ws.GetRange(ws.Cells(1, 1 + o), ws.Cells(r + 1, 7 + o)).AutoFit();
        ws.Cells(1, 1 + o).Interior().SetColorIndex(StartTypeColor(block));
    }

    for (const char* block : kSummaryBlocks) {
        const int o = OffsetOf(block);
        if (ws.ValueAt(1, 1 + o).IsEmpty())
            ws.GetRange(ws.Cells(1, 1 + o), ws.Cells(1, 11 + o)).EntireColumn().SetHidden(true);
    }
    ws.Rows("3:3").Insert(xl::ShiftDown);

    for (const char* block : kSummaryBlocks)
        if (ws.ValueAt(1, 1 + OffsetOf(block)).Text() == block) CreateSensitivityChart(ctx, base, block);
}

void CreateSensitivityChart(ReportContext& ctx, const std::string& base, const std::string& start) {
    Worksheet& ws = ctx.Sheet(base, kResume);
    const int c = 1 + OffsetOf(start);
    const std::string x = Col(c), y = Col(c + 2);
    // Only an empty cell ends the rows: a strength of 0 dB is a level.
    int r = 4;
    do {
        ++r;
    } while (!ws.ValueAt(r, c).IsEmpty());
    workbook::Chart& chart = ws.Parent().AddChart();
    chart.SetChartType(workbook::ChartType::XYScatterLines);
    const std::string rows = std::to_string(r);
    chart.SetSourceData(ws.GetRange(x + "4:" + x + rows + "," + y + "4:" + y + rows), xl::Columns);
    chart.Location(xl::LocationAsNewSheet, start);
    chart.SetTitle(start + " Start Sesitivity");
    workbook::Axis& cat = chart.Axes(xl::Category);
    workbook::Axis& val = chart.Axes(xl::ValueAxis);
    cat.SetTitle("CN0 [dB]");
    val.SetTitle("Average TTFF [s]");
    chart.SetHasLegend(false);
    val.TickLabelFont().SetFontStyle("Bold");
    cat.TickLabelFont().SetFontStyle("Bold");
    val.SetTickLabelNumberFormat("General");
    constexpr double kMajorUnit = 2;
    val.SetMajorUnit(kMajorUnit);
    cat.SetMinimumScale(ws.ValueAt(4, c).Number() - 2);
    // The lowest average shown, not only the strongest level's: a weaker
    // level may have fixed faster. Error values are no points.
    double lowest = std::numeric_limits<double>::infinity();
    for (int row = 4; row < r; ++row) {
        const Value avg = ws.ValueAt(row, c + 2);
        if (avg.IsNumber()) lowest = std::min(lowest, avg.Number());
    }
    // On a whole number of major units, so that every label is a whole number.
    if (std::isfinite(lowest)) val.SetMinimumScale(std::floor((lowest - 2) / kMajorUnit) * kMajorUnit);
}

}  // namespace bench::reports
