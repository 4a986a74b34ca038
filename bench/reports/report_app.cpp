#include "bench/reports/report_app.h"

#include <filesystem>

#include "platform/core/numtext.h"
#include "platform/core/paths.h"

namespace bench::reports {

namespace fs = std::filesystem;
using workbook::ExcelError;

workbook::Application& ReportContext::App() {
    if (!app_) app_ = std::make_unique<workbook::Application>();
    return *app_;
}

std::string ReportContext::MapPath(const std::string& stored) const {
    const std::string mapped = platform::MapStoredPath(stored, programFolder_);
    if (mapped.empty()) return mapped;
    // The same form the engine gives a saved workbook, so captions compare equal.
    return fs::absolute(fs::path(mapped)).lexically_normal().string();
}

std::string ReportContext::ReportFile(const std::string& base) const { return MapPath(base) + kReportExtension; }

workbook::Workbook& ReportContext::Book(const std::string& base) {
    return App().ActivateWindow(ReportFile(base));
}

workbook::Worksheet& ReportContext::Sheet(const std::string& base, const std::string& sheet) {
    workbook::Workbook& wb = Book(base);
    workbook::Sheet* s = wb.FindSheet(sheet);
    if (!s || s->kind() != workbook::Sheet::Kind::Worksheet)
        throw ExcelError("Sheets", "no worksheet \"" + sheet + "\" in " + wb.FullName());
    return static_cast<workbook::Worksheet&>(*s);
}

int TrialsOf(workbook::Worksheet& ws) {
    const workbook::Value v = ws.GetRange("U4").GetValue();
    return v.IsNumber() ? static_cast<int>(v.Number()) : 0;
}

std::string StartTypeOf(const std::string& fileTitle) {
    const std::string upper = platform::UpperCase(fileTitle);
    std::string start;
    for (const char* t : {"COLD", "WARM", "HOT"})
        if (upper.find(t) != std::string::npos) start = t;
    return start;
}

int StartTypeColor(const std::string& sheet) {
    if (sheet == "HOT") return 3;
    if (sheet == "WARM") return 45;
    if (sheet == "COLD") return 33;
    return 0;
}

void ApplyStartTypeStyle(workbook::Chart& chart, const std::string& sheet) {
    const int c = StartTypeColor(sheet);
    // Colour 0 is no colour: such charts keep the default plot area.
    if (c == 0) return;
    workbook::PlotAreaStyle& p = chart.PlotArea();
    p.borderColorIndex = c;
    p.borderWeight = workbook::xl::Thin;
    p.borderLineStyle = workbook::xl::Continuous;
    p.gradient = true;
    p.fillVisible = true;
    p.fillColorIndex = c;
}

std::string ShortenedSheetName(const std::string& name, int number, std::size_t room) {
    if (name.size() <= room) return name;
    const std::string tag = "~" + std::to_string(number);
    return name.substr(0, room > tag.size() ? room - tag.size() : 0) + tag;
}

int WorksheetNumber(const workbook::Workbook& wb, const std::string& sheet) {
    int number = 0;
    for (int i = 1; i <= wb.Count(); ++i) {
        const workbook::Sheet& s = wb.Sheets(i);
        if (s.kind() != workbook::Sheet::Kind::Worksheet) continue;
        ++number;
        if (platform::UpperCase(s.Name()) == platform::UpperCase(sheet)) return number;
    }
    return number + 1;
}

std::string ChartSheetName(workbook::Workbook& wb, const std::string& sheet, const std::string& kind) {
    const std::string name =
        ShortenedSheetName(sheet, WorksheetNumber(wb, sheet), kMaxSheetName - kLongestChartKind) + kind;
    // Checked before the chart is added: a refused name leaves no stray "ChartN" behind.
    if (const std::string why = workbook::SheetNameProblem(name); !why.empty())
        throw ExcelError("Location", "chart sheet name \"" + name + "\": " + why);
    if (wb.FindSheet(name)) throw ExcelError("Location", "the workbook already has a sheet \"" + name + "\"");
    return name;
}

std::string QuotedSheet(const std::string& sheet) {
    std::string out = "'";
    for (char ch : sheet) {
        out += ch;
        if (ch == '\'') out += '\'';
    }
    return out + "'";
}

}  // namespace bench::reports
