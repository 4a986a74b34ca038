#include "bench/reports/results_import.h"

#include <QDir>
#include <QTemporaryFile>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>

#include "bench/devices/background_saves.h"
#include "bench/devices/nmea.h"
#include "bench/devices/system_log.h"
#include "bench/devices/timing.h"
#include "bench/reports/report_driver.h"
#include "platform/core/error.h"
#include "platform/core/numtext.h"
#include "platform/workbook/xlsx_writer.h"

namespace bench::reports {

namespace fs = std::filesystem;
using workbook::ExcelError;
using workbook::Value;
using workbook::Worksheet;
namespace xl = workbook::xl;

namespace {

// Saves the report workbook of `base` under `path` (the report itself, or
// its unfinished copy), at once or in the background as the context says;
// `after` follows once the file is written (in the background: also when it
// failed, as the file's fate is then settled). A failure names the report,
// the file the person asked for, never its hidden copy.
void SaveReportFile(ReportContext& ctx, const std::string& base, workbook::Workbook& wb, const std::string& path,
                    std::function<void()> after = {}) {
    const std::string report = ctx.ReportFile(base);
    if (!ctx.SavesInBackground()) {
        wb.SaveAs(path, report);
        if (after) after();
        return;
    }
    SaveInBackground(wb.PrepareSaveAs(path, report), "Report " + report + " not saved: ", nullptr,
                     [after](bool) {
                         if (after) after();
                     });
}

}  // namespace

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
        SaveReportFile(ctx, base, wb, UnfinishedReportFile(file));
    } catch (...) {
        wb.Close();
        throw;
    }
    wb.SetCaption(file);
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
    // The finished sheets stay under the report's name until this one is done too.
    SaveReportFile(ctx, base, wb, UnfinishedReportFile(ctx.ReportFile(base)));
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

namespace {

bool IsDigitsField(std::string_view f) {
    if (f.empty()) return false;
    for (char c : f)
        if (c < '0' || c > '9') return false;
    return true;
}

// A number as the bench writes one: sign, digits and a decimal point only,
// so that the import's separators (comma, blank) cannot split it.
bool IsNumberField(std::string_view f) {
    if (f.empty()) return false;
    for (char c : f)
        if (!((c >= '0' && c <= '9') || c == '.' || c == '-')) return false;
    double v = 0;
    return platform::TryReadStrict(f, v);
}

std::vector<std::string_view> SplitAt(std::string_view s, char sep) {
    std::vector<std::string_view> out;
    size_t from = 0;
    for (;;) {
        const size_t at = s.find(sep, from);
        out.push_back(s.substr(from, at == std::string_view::npos ? std::string_view::npos : at - from));
        if (at == std::string_view::npos) return out;
        from = at + 1;
    }
}

// Whole digits (`fewest` to `most` of them), then optionally a point and
// more digits: "083015.000".
bool IsUnsignedDecimal(std::string_view f, size_t fewest, size_t most) {
    const size_t dot = f.find('.');
    const std::string_view whole = f.substr(0, dot);
    if (whole.size() < fewest || whole.size() > most || !IsDigitsField(whole)) return false;
    return dot == std::string_view::npos || f.size() == dot + 1 || IsDigitsField(f.substr(dot + 1));
}

int TwoDigits(std::string_view f, size_t at) { return (f[at] - '0') * 10 + (f[at + 1] - '0'); }

// hhmmss with optional decimals, a time of day (a leap second allowed).
bool IsTimeOfDay(std::string_view f) {
    return IsUnsignedDecimal(f, 6, 6) && TwoDigits(f, 0) < 24 && TwoDigits(f, 2) < 60 && TwoDigits(f, 4) <= 60;
}

// ddmm.mmmm (or dddmm.mmmm; a degree digit fewer, as some write it):
// whole minutes below 60, at most `maxDegrees`.
bool IsAngle(std::string_view f, size_t degreeDigits, int maxDegrees) {
    if (!IsUnsignedDecimal(f, degreeDigits + 1, degreeDigits + 2)) return false;
    double v = 0;
    if (!platform::TryReadStrict(f, v)) return false;
    const double degrees = std::floor(v / 100), minutes = v - degrees * 100;
    return minutes < 60 && degrees + minutes / 60 <= maxDegrees;
}

// "*hh" at the end must be the sentence's checksum; a sentence without one
// has nothing to check.
bool ChecksumHolds(std::string_view s) {
    const size_t star = s.find('*');
    if (star == std::string_view::npos) return true;
    if (s.size() != star + 3) return false;
    return platform::UpperCase(std::string(s.substr(star + 1))) == NMEA_Checksum(s.substr(0, star));
}

// The GGA of a fix: the fields up to the altitude are all there, so the
// import (which takes a run of separators as one) puts each in its column,
// and they hold what they name: a time of day, a position on the earth.
bool IsFixGGA(std::string_view s) {
    if (s.find(' ') != std::string_view::npos) return false;
    if (!ChecksumHolds(s)) return false;
    const std::vector<std::string_view> f = SplitAt(s, ',');
    if (f.size() < 11) return false;
    if (f[0].size() != 6 || f[0][0] != '$' || !f[0].ends_with("GGA")) return false;
    return IsTimeOfDay(f[1]) && IsAngle(f[2], 2, 90) && (f[3] == "N" || f[3] == "S") && IsAngle(f[4], 3, 180) &&
           (f[5] == "E" || f[5] == "W") && IsDigitsField(f[6]) && IsDigitsField(f[7]) && IsNumberField(f[8]) &&
           IsNumberField(f[9]);
}

// A line with nothing on it is no line of results, and no damaged one.
bool IsBlank(std::string_view line) { return line.find_first_not_of(" \t") == std::string_view::npos; }

constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";

// Line ends as the text import finds them: CR LF, a lone CR or a lone LF.
std::vector<std::string> TextLines(const std::string& text) {
    std::vector<std::string> lines;
    size_t pos = 0;
    while (pos < text.size()) {
        const size_t nl = text.find_first_of("\r\n", pos);
        lines.push_back(text.substr(pos, nl == std::string::npos ? std::string::npos : nl - pos));
        if (nl == std::string::npos) break;
        pos = (text[nl] == '\r' && nl + 1 < text.size() && text[nl + 1] == '\n') ? nl + 2 : nl + 1;
    }
    return lines;
}

constexpr const char* kLayout = "(TTFF, TAB, \"% \" and trial, TAB, GGA)";

}  // namespace

namespace {

// Printable text that the import reads as it stands (a quote would open a
// text field of the import).
bool IsPlainText(std::string_view s) {
    for (char c : s) {
        const auto u = static_cast<unsigned char>(c);
        if ((u < 0x20 && c != '\t') || u > 0x7E || c == '"') return false;
    }
    return true;
}

enum class LineKind { Results, DamagedFix, Other };

LineKind KindOf(std::string_view line) {
    const size_t t1 = line.find('\t');
    if (t1 == std::string_view::npos) return LineKind::Other;
    const size_t t2 = line.find('\t', t1 + 1);
    if (t2 == std::string_view::npos) return LineKind::Other;
    const std::string_view ttff = line.substr(0, t1), trial = line.substr(t1 + 1, t2 - t1 - 1),
                           gga = line.substr(t2 + 1);
    if (!IsPlainText(ttff) || !IsPlainText(trial) || !IsNumberField(ttff)) return LineKind::Other;
    if (!trial.starts_with("% ") || !IsDigitsField(trial.substr(2))) return LineKind::Other;
    if (gga.empty()) return LineKind::Results;
    if (IsPlainText(gga) && gga.find('\t') == std::string_view::npos && IsFixGGA(gga)) return LineKind::Results;
    return LineKind::DamagedFix;
}

std::string NamedLines(const std::string& path, const std::vector<long>& numbers, size_t most) {
    std::string out;
    const size_t shown = std::min(most, numbers.size());
    for (size_t i = 0; i < shown; ++i) {
        if (i) out += "\n";
        out += path + " line " + std::to_string(numbers[i]);
    }
    if (numbers.size() > shown) out += "\n... and " + std::to_string(numbers.size() - shown) + " more lines";
    return out;
}

}  // namespace

bool IsResultsLine(std::string_view line) { return KindOf(line) == LineKind::Results; }

ResultsScan CheckResultsLayout(const std::string& path) {
    std::error_code ec;
    if (!fs::exists(path, ec))
        throw platform::BenchError(platform::err::FileNotFound, "The results file " + path + " is missing");
    std::ifstream in(path, std::ios::binary);
    if (!in) throw platform::BenchError(platform::err::FileIo, "The results file " + path + " cannot be read");
    std::stringstream buf;
    buf << in.rdbuf();
    std::string text = buf.str();
    ResultsScan scan;
    scan.path = path;
    // An editor's byte order mark is not part of the first line.
    if (text.starts_with(kByteOrderMark)) {
        text.erase(0, kByteOrderMark.size());
        scan.asIs = false;
    }
    long number = 0;
    for (std::string& line : TextLines(text)) {
        ++number;
        switch (KindOf(line)) {
        case LineKind::Results:
            scan.lines.push_back(std::move(line));
            break;
        case LineKind::DamagedFix: {
            // The trial stays with its TTFF and number; the GGA goes.
            const size_t t2 = line.find('\t', line.find('\t') + 1);
            scan.damaged.push_back({scan.lines.size(), number});
            scan.lines.push_back(line.substr(0, t2 + 1));
            scan.asIs = false;
            break;
        }
        case LineKind::Other:
            if (IsBlank(line)) scan.asIs = false;
            else scan.leftOut.push_back(number);
            break;
        }
    }
    if (scan.lines.empty())
        throw platform::BenchError(platform::err::TypeMismatch,
                                   path + " holds no TTFF results line " + kLayout +
                                       (scan.leftOut.empty() ? std::string(": it is empty")
                                                             : ":\n" + LeftOutText(scan)));
    return scan;
}

std::string LeftOutText(const ResultsScan& scan, size_t most) { return NamedLines(scan.path, scan.leftOut, most); }

std::string DamagedText(const ResultsScan& scan, size_t most) {
    std::vector<long> numbers;
    for (const DamagedFix& d : scan.damaged) numbers.push_back(d.line);
    return NamedLines(scan.path, numbers, most);
}

void ImportResultsLines(Worksheet& ws, const ResultsScan& scan, const std::string& name) {
    if (scan.leftOut.empty() && scan.asIs) {
        ImportResultsText(ws, scan.path, name);
        return;
    }
    QTemporaryFile copy(QDir::tempPath() + "/fixbench-results-XXXXXX.txt");
    if (!copy.open())
        throw platform::BenchError(platform::err::FileIo, "Cannot write a temporary copy of " + scan.path);
    std::string text;
    for (const std::string& line : scan.lines) text += line + "\r\n";
    if (copy.write(text.data(), static_cast<qint64>(text.size())) != static_cast<qint64>(text.size()) ||
        !copy.flush())
        throw platform::BenchError(platform::err::FileIo, "Cannot write a temporary copy of " + scan.path);
    ImportResultsText(ws, copy.fileName().toStdString(), name);
}

void NoteLeftOutLines(ReportContext& ctx, Worksheet& ws, const ResultsScan& scan, const std::string& procedure) {
    if (!scan.leftOut.empty()) {
        ws.GetRange("T2").SetText("Lines left out");
        ws.GetRange("U2").SetValue(Value(static_cast<double>(scan.leftOut.size())));
        SystemLogWrite(std::to_string(scan.leftOut.size()) + " lines are not TTFF results lines " + kLayout +
                       " and are left out of the report: " + LeftOutText(scan, 10) + " (" + procedure + ")");
        ctx.AddNote("These lines are not TTFF results lines and are left out of the report:\n" + LeftOutText(scan));
    }
    if (!scan.damaged.empty()) {
        // The time cell says why the trial has no position; being filled, it
        // keeps the trial's TTFF among the fixes.
        for (const DamagedFix& d : scan.damaged)
            ws.Cells(static_cast<int>(d.index) + 2, 3).SetText("GGA damaged, line " + std::to_string(d.line));
        ws.GetRange("T3").SetText("Damaged GGAs");
        ws.GetRange("U3").SetValue(Value(static_cast<double>(scan.damaged.size())));
        SystemLogWrite(std::to_string(scan.damaged.size()) +
                       " lines carry a damaged GGA: their trials keep their TTFF and have no position in the "
                       "report: " +
                       DamagedText(scan, 10) + " (" + procedure + ")");
        ctx.AddNote("The GGA of these lines is damaged: their trials keep their TTFF and have no position in the "
                    "report:\n" +
                    DamagedText(scan));
    }
}

bool RowHasFix(Worksheet& ws, int row) { return !ws.ValueAt(row, 3).IsEmpty(); }

bool RowHasPosition(Worksheet& ws, int row) { return ws.ValueAt(row, 4).IsNumber(); }

std::string UnfinishedReportFile(const std::string& reportFile) {
    const fs::path p(reportFile);
    return (p.parent_path() / (".~" + p.filename().string())).string();
}

void PublishReport(ReportContext& ctx, const std::string& base) {
    workbook::Workbook& wb = ctx.Book(base);
    const std::string unfinished = UnfinishedReportFile(ctx.ReportFile(base));
    SaveReportFile(ctx, base, wb, ctx.ReportFile(base), [unfinished] {
        std::error_code ec;
        fs::remove(unfinished, ec);
    });
}

void DiscardUnfinishedReport(ReportContext& ctx, const std::string& base) noexcept {
    try {
        // Saves of it may still be on their way to the disk.
        if (ctx.SavesInBackground()) WaitForWorkbookSaves();
        std::error_code ec;
        fs::remove(UnfinishedReportFile(ctx.ReportFile(base)), ec);
    } catch (...) {
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
    const ResultsScan scan = CheckResultsLayout(path);
    Worksheet& ws = wb.ActiveWorksheet();

    ImportResultsLines(ws, scan, base + "_" + s);

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
    NoteLeftOutLines(ctx, ws, scan, "ImportResultsFile");
    // No save between the steps: the file under construction is discarded
    // when a step fails and replaced when the report is done, so a save here
    // would only be written to be thrown away.

    Worksheet& data = ctx.Sheet(base, s);
    // A TTFF of 0 is a measurement: only an empty TTFF cell ends the rows.
    // A trial that ended without a fix has no time and no position: its
    // cells stay empty rather than becoming midnight at 0, 0. Nor has one
    // whose GGA is damaged: its time cell names the line.
    int i = 2;
    do {
        if (RowHasPosition(data, i)) {
            const std::string time = ImportedTimeText(data.ValueAt(i, 3));
            workbook::Range c = data.Cells(i, 3);
            c.ClearContents();
            c.SetText(time);
            // South and west are negative, so that positions on either side
            // of the equator or a meridian compare.
            const double lat = NmeaToDegrees(data.ValueAt(i, 4).Number());
            const double lon = NmeaToDegrees(data.ValueAt(i, 6).Number());
            data.Cells(i, 4).SetValue(Value(data.ValueAt(i, 5).ToString() == "S" ? -lat : lat));
            data.Cells(i, 6).SetValue(Value(data.ValueAt(i, 7).ToString() == "W" ? -lon : lon));
        }
        ++i;
    } while (!data.ValueAt(i, 1).IsEmpty());

    BuildTestReport(ctx, base, s);
}

void ImportTestResults(ReportContext& ctx, const std::string& base, const std::string& test) {
    ImportResultsFrom(ctx, base, test, base + "_" + test + "_NMEA_Results.txt", "Antenna Altitude");
}

void ImportResultsFile(ReportContext& ctx, const std::string& base, const std::string& sheet) {
    ImportResultsFrom(ctx, base, sheet, base + ".txt", "Antenna Altitude [m]");
}

}  // namespace bench::reports
