#include "bench/reports/ttff_statistics.h"

#include "bench/reports/results_import.h"

namespace bench::reports {

using workbook::Value;
using workbook::Worksheet;

namespace {

std::string Last(Worksheet& ws) { return std::to_string(TrialsOf(ws) + 1); }

// One statistic: the label left of its anchor, the formula in it, and its
// number format when it has one.
void WriteStatistic(Worksheet& ws, const char* anchor, const std::string& label, const std::string& formula,
                    const char* format) {
    workbook::Range cell = ws.GetRange(anchor);
    cell.SetFormula(formula);
    if (format) cell.SetNumberFormat(format);
    cell.Offset(0, -1).SetText(label);
}

}  // namespace

void WriteTrialsCount(ReportContext& ctx, const std::string& base, const std::string& sheet) {
    Worksheet& ws = ctx.Sheet(base, sheet);
    // A TTFF of 0 is a measurement: only an empty cell ends the trials.
    int i = 0;
    do {
        ++i;
    } while (!ws.ValueAt(i + 1, 1).IsEmpty());
    workbook::Range u4 = ws.GetRange("U4");
    u4.Offset(0, -1).SetText("TRIALS");
    u4.SetValue(Value(static_cast<double>(i - 1)));
}

void WriteAverageTTFF(ReportContext& ctx, const std::string& base, const std::string& sheet) {
    Worksheet& ws = ctx.Sheet(base, sheet);
    WriteStatistic(ws, "U5", "AVERAGE", "=AVERAGE( AD2 : AD" + Last(ws) + ")", "0.00");
}

void WriteMaxTTFF(ReportContext& ctx, const std::string& base, const std::string& sheet) {
    Worksheet& ws = ctx.Sheet(base, sheet);
    // No valid fix has no largest time: the cell stays empty, not 0.
    const std::string valid = "AD2:AD" + Last(ws);
    WriteStatistic(ws, "U6", "MAX", "=IF(COUNT(" + valid + ")>0,MAX(" + valid + "),\"\")", nullptr);
}

void WriteMinTTFF(ReportContext& ctx, const std::string& base, const std::string& sheet) {
    Worksheet& ws = ctx.Sheet(base, sheet);
    // Over the valid fixes: a failed trial's -1 is no time to first fix.
    const std::string valid = "AD2:AD" + Last(ws);
    WriteStatistic(ws, "U7", "MIN", "=IF(COUNT(" + valid + ")>0,MIN(" + valid + "),\"\")", nullptr);
}

void WriteStDevTTFF(ReportContext& ctx, const std::string& base, const std::string& sheet) {
    Worksheet& ws = ctx.Sheet(base, sheet);
    WriteStatistic(ws, "U8", "ST_DEV", "=STDEV(AD2:AD" + Last(ws) + ")", "0.00");
}

void WriteNoFixPercent(ReportContext& ctx, const std::string& base, const std::string& sheet) {
    Worksheet& ws = ctx.Sheet(base, sheet);
    workbook::Range u9 = ws.GetRange("U9");
    // The label goes in through Formula; it holds no "=", so it stays text.
    u9.Offset(0, -1).SetFormula("% No Fix");
    // Every trial that is not a valid fix of column AD: over the limit, a
    // time-out or failure without a fix, a negative error mark.
    u9.SetFormula("=(U4-COUNT(AD2:AD" + Last(ws) + "))/U4*100");
    u9.SetNumberFormat("0.00");
}

void WriteValidTTFFColumn(ReportContext& ctx, const std::string& base, const std::string& sheet) {
    Worksheet& ws = ctx.Sheet(base, sheet);
    const int n = TrialsOf(ws);
    ws.GetRange("AD1").SetFormula("TTFF < " + std::to_string(ctx.Host().MaxAcceptableTTFF()) + " [s] ");
    int k = 1;
    for (int r = 2; r <= n + 1; ++r) {
        const Value v = ws.ValueAt(r, 1);
        const double limit = ctx.Host().MaxAcceptableTTFF();
        // A negative TTFF is the device's "time measure error" mark, and a
        // trial without the GGA of a fix timed out or failed: neither is a fix.
        if (!v.IsNumber() || v.Number() < 0 || v.Number() > limit || !RowHasFix(ws, r)) continue;
        ++k;
        ws.Cells(k, 30).SetValue(Value(v.Number()));
    }
}

}  // namespace bench::reports
