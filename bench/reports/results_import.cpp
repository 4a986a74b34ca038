#include "bench/reports/results_import.h"

#include <cmath>
#include <filesystem>
#include <fstream>

#include "bench/devices/timing.h"
#include "bench/reports/report_driver.h"
#include "platform/core/error.h"
#include "platform/core/numtext.h"

namespace bench::reports {

namespace fs = std::filesystem;
using workbook::ExcelError;
using workbook::Value;
using workbook::Worksheet;
namespace xl = workbook::xl;

void CreateReportSheet(ReportContext& ctx, const std::string& base, const std::string& sheet) {
    const std::string file = ctx.ReportFile(base);
    workbook::Application& app = ctx.App();
    if (app.FindWindow(file)) {
        AddReportSheet(ctx, base, sheet);
        return;
    }
    std::error_code ec;
    if (fs::exists(file, ec))
        throw ExcelError("CreateReportSheet", "the report " + file +
                                                  " exists from an earlier run and cannot be extended; move it away "
                                                  "or build the report again from its results file");
    // The name is checked before a workbook is made, so a refused name leaves nothing behind.
    if (const std::string why = workbook::SheetNameProblem(sheet); !why.empty())
        throw ExcelError("CreateReportSheet", "sheet name \"" + sheet + "\": " + why);
    workbook::Workbook& wb = app.AddWorkbook();
    try {
        wb.Sheets(1).Select();
        wb.Sheets("Sheet1").SetName(sheet);
        wb.SaveAs(ctx.MapPath(base));
    } catch (...) {
        wb.Close();
        throw;
    }
    wb.SetCaption(wb.FullName());
}

void AddReportSheet(ReportContext& ctx, const std::string& base, const std::string& sheet) {
    workbook::Workbook& wb = ctx.Book(base);
    if (const std::string why = workbook::SheetNameProblem(sheet); !why.empty())
        throw ExcelError("AddReportSheet", "sheet name \"" + sheet + "\": " + why);
    if (wb.FindSheet(sheet)) throw ExcelError("AddReportSheet", "the workbook already has a sheet \"" + sheet + "\"");
    workbook::Worksheet& ws = wb.AddWorksheet();
    ws.SetName(sheet);
    wb.Sheets(sheet).Select();
    const int count = wb.Count();
    wb.Sheets(sheet).MoveAfter(wb.Sheets(count));
    wb.Save();
}

double NmeaToDegrees(double x) {
    const double a = std::floor(x);
    const double q = a / 100;
    const double d = std::floor(q);
    const double r = q - d;
    return d + (r * 100) / 60 + (x - a) / 60;
}

std::string ImportedTimeText(const Value& time) {
    std::string text;
    if (time.IsEmpty()) {
        text = "000000";
    } else if (time.IsNumber() && time.Number() < 100000) {
        // The import read the time as a number and lost its leading zeros.
        const std::string digits = platform::NumberToText(time.Number());
        const size_t dot = digits.find('.');
        std::string whole = digits.substr(0, dot);
        const std::string decimals = dot == std::string::npos ? "" : digits.substr(dot);
        if (whole.size() < 6) whole.insert(0, 6 - whole.size(), '0');
        text = whole + decimals;
    } else {
        text = time.ToString();
    }
    return MakeTimeFromGGAString(text);
}

void CheckResultsLayout(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) throw platform::BenchError(platform::err::FileNotFound, "File not found: " + path);
    std::string line;
    long number = 0;
    while (std::getline(in, line)) {
        ++number;
        const size_t tab = line.find('\t');
        if (tab == std::string::npos) continue;
        // Only TTFF lines carry "%" after the first TAB; time-to-track and
        // SBAS lines would put text into the number columns.
        if (line.compare(tab + 1, 1, "%") != 0)
            throw platform::BenchError(platform::err::TypeMismatch,
                                       path + " line " + std::to_string(number) +
                                           " is not a TTFF results line (TTFF, TAB, \"% \" and trial, TAB, GGA)");
    }
}

void ImportResultsText(Worksheet& ws, const std::string& path, const std::string& name) {
    workbook::QueryTable& qt = ws.AddQueryTable("TEXT;" + path, ws.GetRange("A1"));
    qt.name = name;
    qt.fieldNames = true;
    qt.rowNumbers = false;
    qt.fillAdjacentFormulas = false;
    qt.preserveFormatting = true;
    qt.refreshOnFileOpen = false;
    qt.refreshStyle = 1;
    qt.savePassword = false;
    qt.saveData = true;
    qt.adjustColumnWidth = true;
    qt.refreshPeriod = 0;
    qt.textFilePromptOnRefresh = false;
    qt.textFilePlatform = 437;
    qt.textFileStartRow = 1;
    qt.textFileParseType = 1;
    qt.textFileTextQualifier = 1;
    qt.textFileConsecutiveDelimiter = true;
    qt.textFileTabDelimiter = true;
    qt.textFileSemicolonDelimiter = false;
    qt.textFileCommaDelimiter = true;
    qt.textFileSpaceDelimiter = true;
    qt.textFileColumnDataTypes.assign(17, 1);
    qt.textFileTrailingMinusNumbers = true;
    qt.Refresh(false);
}

void ImportResultsFrom(ReportContext& ctx, const std::string& base, const std::string& s, const std::string& file,
                       const std::string& altitudeHeader) {
    workbook::Workbook& wb = ctx.Book(base);
    const std::string path = ctx.MapPath(file);
    CheckResultsLayout(path);
    Worksheet& ws = wb.ActiveWorksheet();

    ImportResultsText(ws, path, base + "_" + s);

    ws.GetRange("B:B,D:D,N:N,O:O,P:P,Q:Q,J:J").Delete(xl::ShiftToLeft);
    ws.Rows("1:1").Insert(xl::ShiftDown);
    ws.GetRange("A1").SetText("TTFF [s]");
    ws.GetRange("B1").SetText("Test Number");
    ws.GetRange("C1").SetText("UTC Time");
    ws.GetRange("D1").SetText("Latitude");
    ws.GetRange("F1").SetText("Longitude");
    ws.GetRange("H1").SetText("N. Of Satellites");
    ws.GetRange("I1").SetText("D.O.P.");
    ws.GetRange("J1").SetText(altitudeHeader);
    ws.Rows("1:1").Font().SetBold(true);
    wb.Save();

    Worksheet& data = ctx.Sheet(base, s);
    // Row 2 is converted even when the file held no line. A TTFF of 0 is a
    // measurement: only an empty TTFF cell ends the rows.
    int i = 2;
    do {
        const std::string time = ImportedTimeText(data.ValueAt(i, 3));
        workbook::Range c = data.Cells(i, 3);
        c.ClearContents();
        c.SetText(time);
        data.Cells(i, 4).SetValue(Value(NmeaToDegrees(data.ValueAt(i, 4).Number())));
        data.Cells(i, 6).SetValue(Value(NmeaToDegrees(data.ValueAt(i, 6).Number())));
        ++i;
    } while (!data.ValueAt(i, 1).IsEmpty());
    wb.Save();

    BuildTestReport(ctx, base, s);
}

void ImportTestResults(ReportContext& ctx, const std::string& base, const std::string& test) {
    ImportResultsFrom(ctx, base, test, base + "_" + test + "_NMEA_Results.txt", "Antenna Altitude");
}

void ImportResultsFile(ReportContext& ctx, const std::string& base, const std::string& sheet) {
    ImportResultsFrom(ctx, base, sheet, base + ".txt", "Antenna Altitude [m]");
}

}  // namespace bench::reports
