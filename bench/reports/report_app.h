#pragma once
// The report builders' spreadsheet application and what the builders read
// from the bench: the maximum acceptable TTFF, the typed antenna position and
// the progress window. Every report operation reaches its workbook through
// `ReportContext`, by the base name (a full path without extension) that
// the caller passes.
#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "platform/workbook/workbook.h"

namespace bench::reports {

// Report workbooks are Office Open XML files.
inline constexpr const char* kReportExtension = ".xlsx";

// The antenna position as typed in the coordinates dialog: latitude degrees
// (a sign allowed), whole minutes and decimal digits of the minutes, then the
// same for the longitude; `use` is the dialog's check box; the hemisphere of
// each as chosen ("N" or "S", "E" or "W"), "" when none was.
struct TypedPosition {
    std::array<std::string, 6> parts;
    bool use = false;
    std::array<std::string, 2> hemispheres;
};

// What the builders read of the main window when they run.
class ReportHost {
public:
    virtual ~ReportHost() = default;
    virtual int16_t MaxAcceptableTTFF() const = 0;
    virtual TypedPosition AntennaPosition() const = 0;
};

// The progress window as the reports drive it.
class Progress {
public:
    virtual ~Progress() = default;
    virtual void Show() = 0;
    virtual void Hide() = 0;
    virtual void SetMax(float max) = 0;
    virtual void SetValue(float value) = 0;
};

class ReportContext {
public:
    // `programFolder` stands for the drive of stored paths ("C:\GPS_TEST\...").
    ReportContext(ReportHost& host, std::string programFolder, Progress* progress = nullptr)
        : host_(&host), programFolder_(std::move(programFolder)), progress_(progress) {}

    // ReportExcelApp: made on first use, kept until Quit.
    workbook::Application& App();
    bool HasApp() const { return app_ != nullptr; }
    // Closes every report workbook unsaved and drops the application.
    void QuitApp() { app_.reset(); }

    ReportHost& Host() const { return *host_; }
    Progress* Bar() const { return progress_; }
    void SetProgress(Progress* p) { progress_ = p; }

    // What a report leaves out (lines, positions, part of a curve), said
    // again where the report ends: the menu roads show them in their last
    // box. Taken, and so cleared, by the road that shows them.
    void AddNote(std::string note) { notes_.push_back(std::move(note)); }
    std::vector<std::string> TakeNotes() { return std::exchange(notes_, {}); }

    // The session's end builds its reports with the windows live: their
    // files are then written in the background (the menu roads, which show
    // or open the file next, save at once).
    void SetSavesInBackground(bool on) { background_ = on; }
    bool SavesInBackground() const { return background_; }

    // Where a stored name really is: "\" separators and drive prefixes mapped
    // into the program folder, made absolute.
    std::string MapPath(const std::string& stored) const;
    // The report workbook of a base: its mapped path with the extension.
    std::string ReportFile(const std::string& base) const;
    // The open report workbook of a base (Windows(caption).Activate); throws
    // ExcelError when it is not open.
    workbook::Workbook& Book(const std::string& base);
    // A worksheet of that workbook by name; throws when there is none.
    workbook::Worksheet& Sheet(const std::string& base, const std::string& sheet);

private:
    ReportHost* host_;
    std::string programFolder_;
    Progress* progress_;
    std::unique_ptr<workbook::Application> app_;
    std::vector<std::string> notes_;
    bool background_ = false;
};

// The number of trials a test sheet holds (its "TRIALS" cell U4).
int TrialsOf(workbook::Worksheet& ws);

// "COLD", "WARM" or "HOT" found in a file name, ignoring case; the last of
// the three that is found wins; "" when none is.
std::string StartTypeOf(const std::string& fileTitle);

// The colour index of a start type's charts: 3 HOT, 45 WARM, 33 COLD, 0 for
// any other sheet name (exact, case-sensitive).
int StartTypeColor(const std::string& sheet);
// The start-type look of a chart's plot area: a thin border and a light fill
// in the start type's colour; other sheet names keep the default look.
void ApplyStartTypeStyle(workbook::Chart& chart, const std::string& sheet);

// Sheet names hold at most 31 characters. A test sheet's chart sheets are
// named after it followed by their kind (" HISTOGRAMM", " CDF Chart",
// " CEP Chart", " TTFF Chart", " Position Chart", the longest 15
// characters). A name that would be too long is shortened in one way: the
// test sheet's name is cut and "~" with the sheet's number among the
// workbook's worksheets is put after it ("COLD_SatPW-140~1 HISTOGRAMM"). A
// test sheet of more than 16 characters gives all its chart sheets that
// shortened stem, so the five stay together and the number keeps them apart
// from those of any other test sheet.
inline constexpr std::size_t kMaxSheetName = 31;
inline constexpr std::size_t kLongestChartKind = 15;
// `name` when it has at most `room` characters, else its beginning, "~" and
// `number`, `room` characters in all.
std::string ShortenedSheetName(const std::string& name, int number, std::size_t room = kMaxSheetName);
// The name of the chart sheet of kind `kind` of test sheet `sheet`. Throws
// ExcelError when the workbook already holds it, before any chart is made.
std::string ChartSheetName(workbook::Workbook& wb, const std::string& sheet, const std::string& kind);
// The number of worksheets of `wb` up to and including `sheet` (1 for the
// first); for a name the workbook does not hold, the number the next
// worksheet gets.
int WorksheetNumber(const workbook::Workbook& wb, const std::string& sheet);

// A sheet name as a reference prefix, always quoted: "'COLD'".
std::string QuotedSheet(const std::string& sheet);

}  // namespace bench::reports
