#include "bench/reports/sensitivity.h"

#include <filesystem>

#include "bench/reports/results_import.h"
#include "bench/reports/ttff_statistics.h"
#include "platform/core/numtext.h"

namespace bench::reports {

namespace fs = std::filesystem;
namespace xl = workbook::xl;

namespace {

std::vector<std::string> Fields(const std::string& title) {
    std::vector<std::string> f(1);
    for (char c : title) {
        if (c == '_') f.emplace_back();
        else f.back() += c;
    }
    return f;
}

}  // namespace

std::string ParseLevelFile(const std::string& path, LevelFile& out) {
    const std::string title = fs::path(path).filename().string();
    const std::vector<std::string> f = Fields(title);
    if (f.size() < 5) return "the name has fewer than four \"_\"";
    const std::string& last = f.back();
    const std::string upperLast = platform::UpperCase(last);
    if (last.size() < 7 || upperLast.compare(0, 2, "PW") != 0 || upperLast.compare(last.size() - 4, 4, ".TXT") != 0)
        return "the name does not end in \"PW\", a power level and \".txt\"";
    LevelFile l;
    l.path = path;
    l.title = title;
    const std::string written = last.substr(2, last.size() - 6);
    if (!platform::TryReadStrict(written, l.power)) return "the power level \"" + written + "\" is not a number";
    l.level = LevelText(written);
    l.start = StartTypeOf(title);
    if (l.start.empty()) return "the name holds no start type (COLD, WARM or HOT)";
    l.block = platform::UpperCase(f[f.size() - 4]);
    if (l.block != "HOT" && l.block != "WARM" && l.block != "COLD")
        return "the field \"" + f[f.size() - 4] + "\" is not a start type (COLD, WARM or HOT)";
    l.sheet = l.level + l.start;
    out = l;
    return "";
}

std::string LevelText(const std::string& written) {
    double v = 0;
    if (!platform::TryReadStrict(written, v)) return written;
    // + 0.0 turns -0 into 0.
    return platform::NumberToText(v + 0.0);
}

std::string NormalisedSuffix(const std::string& suffix) {
    const std::vector<std::string> f = Fields(suffix);
    std::string out = f[0];
    for (size_t i = 1; i < f.size(); ++i) {
        std::string field = f[i];
        for (const char* mark : {"SatPW", "PW", "UTC"}) {
            const std::string m = mark;
            if (field.compare(0, m.size(), m) != 0) continue;
            field = m + LevelText(field.substr(m.size()));
            break;
        }
        out += "_" + field;
    }
    return out;
}

std::string SensitivityReportName(const std::string& title) {
    const std::vector<std::string> f = Fields(title);
    std::string name = f[0];
    for (size_t i = 1; i + 4 < f.size(); ++i) name += f[i];
    return name;
}

void ImportSensitivityResults(ReportContext& ctx, const std::string& base, const std::string& file,
                              const std::string& sheet) {
    workbook::Workbook& wb = ctx.Book(base);
    const std::string path = ctx.MapPath(file);
    const ResultsScan scan = CheckResultsLayout(path);
    workbook::Worksheet& ws = wb.ActiveWorksheet();
    ImportResultsLines(ws, scan, path + sheet);
    // The fix time stays (in a hidden column): a trial without one had no fix.
    ws.GetRange("B:B,D:D,F:Q").Delete(xl::ShiftToLeft);
    ws.Rows("1:1").Insert(xl::ShiftDown);
    ws.GetRange("A1").SetText("TTFF [s]");
    NoteLeftOutLines(ctx, ws, scan, "ImportSensitivityResults");
    wb.Save();
    BuildSensitivityStatistics(ctx, base, sheet);
}

void BuildSensitivityStatistics(ReportContext& ctx, const std::string& base, const std::string& sheet) {
    workbook::Workbook& wb = ctx.Book(base);
    wb.Sheets(sheet).Select();
    WriteTrialsCount(ctx, base, sheet);
    workbook::Worksheet& ws = ctx.Sheet(base, sheet);
    if (ws.GetRange("T4").Offset(0, 1).GetValue().Number() == 1) return;
    WriteAverageTTFF(ctx, base, sheet);
    WriteMaxTTFF(ctx, base, sheet);
    WriteMinTTFF(ctx, base, sheet);
    WriteStDevTTFF(ctx, base, sheet);
    WriteNoFixPercent(ctx, base, sheet);
    WriteValidTTFFColumn(ctx, base, sheet);
    ws.Columns("A:AF").AutoFit();
    ws.GetRange("T4:T12").Font().SetBold(true);
    workbook::Range block = ws.GetRange("T4:U9");
    block.Interior().SetColorIndex(6);
    block.Interior().SetPattern(xl::Solid);
    for (int edge : {xl::EdgeLeft, xl::EdgeTop, xl::EdgeBottom, xl::EdgeRight, xl::InsideHorizontal}) {
        block.Borders(edge).SetLineStyle(xl::Continuous);
        block.Borders(edge).SetWeight(xl::Thick);
    }
    ws.GetRange("C:P").EntireColumn().SetHidden(true);
    wb.Save();
}

}  // namespace bench::reports
