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

// Writes what a report leaves out, and why, to the system log and to the
// box that ends it.
void LeftOut(ReportContext& ctx, const std::string& sheet, const std::string& what) {
    SystemLogWrite("Report " + sheet + ": " + what + " (BuildTestReport)");
    ctx.AddNote(sheet + ": " + what + ".");
}

// The valid TTFFs the sheet's column AD holds.
int ValidTTFFs(workbook::Worksheet& ws) {
    int valid = 0;
    for (int r = 2; r <= TrialsOf(ws) + 1; ++r) valid += ws.ValueAt(r, 30).IsNumber();
    return valid;
}

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
    if (const int trials = TrialsOf(ctx.Sheet(base, sheet)); trials <= 1) {
        LeftOut(ctx, sheet,
                std::string(trials == 1 ? "one trial only" : "no trial") +
                    ": the report gives its TRIALS count alone, no AVERAGE, MAX, MIN, ST_DEV or % No Fix, no "
                    "position error or CEP 50 to CEP 100, and no histogram, CDF, CEP, TTFF or position chart");
        PublishReport(ctx, base);
        return;
    }
    // Without a single position there is no reference, no error and no CEP:
    // the CEP table keeps its labels with empty values.
    const bool positions = AnyTrialHasPosition(ctx.Sheet(base, sheet));
    if (!positions) {
        ctx.Sheet(base, sheet).GetRange("AA2").SetText("No CEP curve: no trial has a position");
        LeftOut(ctx, sheet,
                "no trial has a position: the report has no position error, no CEP 50 to CEP 100, and no CEP or "
                "position chart");
    }
    int value = 0;
    for (const DriverStep& step : kSteps) {
        if (positions || !step.needsPosition) step.run(ctx, base, sheet);
        if (bar) bar->SetValue(static_cast<float>(++value));
    }
    // The statistics of the valid fixes, and the charts of them, need some.
    const std::string limit = std::to_string(ctx.Host().MaxAcceptableTTFF());
    if (const int valid = ValidTTFFs(ctx.Sheet(base, sheet)); valid == 0)
        LeftOut(ctx, sheet,
                "no trial has a valid TTFF (a fix within " + limit +
                    " s): the report has no AVERAGE, MAX, MIN or ST_DEV, and its histogram, CDF and TTFF charts "
                    "show no fix");
    else if (valid == 1)
        LeftOut(ctx, sheet, "one trial only has a valid TTFF (a fix within " + limit + " s): the report has no ST_DEV");
    ctx.Sheet(base, sheet).GetRange("A:AF").EntireColumn().AutoFit();
    PublishReport(ctx, base);
    if (bar) bar->Hide();
}

}  // namespace bench::reports
