#include "bench/reports/report_driver.h"

#include "bench/devices/system_log.h"
#include "bench/reports/position_chart.h"
#include "bench/reports/position_error.h"
#include "bench/reports/results_import.h"
#include "bench/reports/ttff_charts.h"
#include "bench/reports/ttff_statistics.h"

namespace bench::reports {

namespace {

using Step = void (*)(ReportContext&, const std::string&, const std::string&);

struct DriverStep {
    Step run;
    bool needsPosition;  // made only when some trial has a position
};

constexpr DriverStep kSteps[] = {
    {WriteAverageTTFF, false},       {WriteMaxTTFF, false},         {WriteMinTTFF, false},
    {WriteStDevTTFF, false},         {WriteNoFixPercent, false},    {WriteReferencePosition, true},
    {WriteLatitudeError, true},      {WriteLongitudeError, true},   {CreateHistogramChart, false},
    {CreateCDFChart, false},         {CreateCEPChart, true},        {CreateTTFFChart, false},
    {WriteCEPCircles, true},         {WriteCEPTable, false},        {CreatePositionChart, true},
};

bool AnyTrialHasPosition(workbook::Worksheet& ws) {
    const int n = TrialsOf(ws);
    for (int r = 2; r <= n + 1; ++r)
        if (RowHasPosition(ws, r)) return true;
    return false;
}

}  // namespace

void BuildTestReport(ReportContext& ctx, const std::string& base, const std::string& sheet) {
    Progress* bar = ctx.Bar();
    if (bar) bar->SetMax(15);
    ctx.Sheet(base, sheet).Select();
    WriteTrialsCount(ctx, base, sheet);
    // With no trial or a single one there is nothing to chart: the sheet keeps
    // its data and its count, saved so that closing it loses nothing.
    if (TrialsOf(ctx.Sheet(base, sheet)) <= 1) {
        PublishReport(ctx, base);
        return;
    }
    // Without a single position there is no reference, no error and no CEP:
    // the CEP table keeps its labels with empty values.
    const bool positions = AnyTrialHasPosition(ctx.Sheet(base, sheet));
    if (!positions) {
        ctx.Sheet(base, sheet).GetRange("AA2").SetText("No CEP curve: no trial has a position");
        SystemLogWrite("Report " + sheet +
                       ": no trial has a position, no position error and no CEP (BuildTestReport)");
        ctx.AddNote(sheet + ": no trial has a position: the report has no position error and no CEP.");
    }
    int value = 0;
    for (const DriverStep& step : kSteps) {
        if (positions || !step.needsPosition) step.run(ctx, base, sheet);
        if (bar) bar->SetValue(static_cast<float>(++value));
    }
    ctx.Sheet(base, sheet).GetRange("A:AF").EntireColumn().AutoFit();
    PublishReport(ctx, base);
    if (bar) bar->Hide();
}

}  // namespace bench::reports
