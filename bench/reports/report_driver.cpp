#include "bench/reports/report_driver.h"

#include "bench/reports/position_chart.h"
#include "bench/reports/position_error.h"
#include "bench/reports/ttff_charts.h"
#include "bench/reports/ttff_statistics.h"

namespace bench::reports {

namespace {

using Step = void (*)(ReportContext&, const std::string&, const std::string&);

constexpr Step kSteps[] = {
    WriteAverageTTFF,     WriteMaxTTFF,      WriteMinTTFF,       WriteStDevTTFF,  WriteNoFixPercent,
    WriteReferencePosition, WriteLatitudeError, WriteLongitudeError, CreateHistogramChart, CreateCDFChart,
    CreateCEPChart,       CreateTTFFChart,   WriteCEPCircles,    WriteCEPTable,   CreatePositionChart,
};

}  // namespace

void BuildTestReport(ReportContext& ctx, const std::string& base, const std::string& sheet) {
    Progress* bar = ctx.Bar();
    if (bar) bar->SetMax(15);
    workbook::Workbook& wb = ctx.Book(base);
    ctx.Sheet(base, sheet).Select();
    WriteTrialsCount(ctx, base, sheet);
    // With no trial or a single one there is nothing to chart: the sheet keeps
    // its data and its count, saved so that closing it loses nothing.
    if (TrialsOf(ctx.Sheet(base, sheet)) <= 1) {
        wb.Save();
        return;
    }
    int value = 0;
    for (Step step : kSteps) {
        step(ctx, base, sheet);
        if (bar) bar->SetValue(static_cast<float>(++value));
    }
    ctx.Sheet(base, sheet).GetRange("A:AF").EntireColumn().AutoFit();
    ctx.Book(base).Save();
    if (bar) bar->Hide();
}

}  // namespace bench::reports
