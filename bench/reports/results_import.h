#pragma once
// Report workbooks and the import of a results file into one of their
// sheets: the workbook base + ".xlsx" is made (or extended) one sheet per
// test, the results file is read as delimited text, its columns cleaned, its
// times and positions converted, and the report of the sheet is built.
#include <string>
#include <string_view>
#include <vector>

#include "bench/reports/report_app.h"

namespace bench::reports {

// Makes the workbook of `base` with one sheet `sheet` and saves it; when the
// workbook is already open, adds the sheet instead. A report file of that
// name that is not open (left by an earlier run) cannot be extended: that is
// an error, and the file is left as it is.
void CreateReportSheet(ReportContext& ctx, const std::string& base, const std::string& sheet);
// Adds `sheet` after the last sheet of the open workbook of `base`, saves.
void AddReportSheet(ReportContext& ctx, const std::string& base, const std::string& sheet);

// base + "_" + test + "_NMEA_Results.txt" into the sheet `test`, then the report.
void ImportTestResults(ReportContext& ctx, const std::string& base, const std::string& test);
// base + ".txt" into the sheet `sheet`, then the report.
void ImportResultsFile(ReportContext& ctx, const std::string& base, const std::string& sheet);
// The import of any results file into the active sheet `sheet` of the
// workbook of `base`; `altitudeHeader` is the header of column J.
void ImportResultsFrom(ReportContext& ctx, const std::string& base, const std::string& sheet,
                       const std::string& file, const std::string& altitudeHeader);

// The results file at `path` read into `ws` from A1 as delimited text
// (tabs, commas and blanks, runs counting as one), the query named `name`.
void ImportResultsText(workbook::Worksheet& ws, const std::string& path, const std::string& name);

// Degrees of an NMEA ddmm.mmmm (or dddmm.mmmm) value.
double NmeaToDegrees(double x);

// The clock text of an imported time cell: the number padded back to six
// digits before its decimals ("83015.5" -> "083015.5"), then hh:mm:ss.
std::string ImportedTimeText(const workbook::Value& time);

// A trial whose TTFF and number are whole but whose GGA is damaged (a wrong
// checksum, an impossible time or position, a cut line): the bench measured
// its TTFF, only its position is unusable.
struct DamagedFix {
    size_t index;  // into ResultsScan::lines
    long line;     // 1-based line number in the file
};

// A results file read line by line, its lines split where the text import
// splits them: the TTFF results lines it holds, and the numbers of the lines
// that are not such lines (left out of every report).
struct ResultsScan {
    std::string path;
    std::vector<std::string> lines;  // without their line ends, in file order
    std::vector<long> leftOut;       // 1-based line numbers
    // Lines of `lines` that stand for a trial with a damaged GGA: they hold
    // its TTFF and number only, and the report marks them as such.
    std::vector<DamagedFix> damaged;
    bool asIs = true;                // false: a byte order mark or blank lines were skipped, or a GGA dropped
};

// One TTFF results line as the bench writes it: the TTFF with a decimal
// point, TAB, "% " and the trial number, TAB, then the GGA sentence of the
// fix, or nothing for a trial that ended without one.
bool IsResultsLine(std::string_view line);

// Reads the file, skipping a byte order mark at its start and blank lines;
// throws BenchError when it is missing, cannot be read or holds no results
// line at all (the message names its lines).
ResultsScan CheckResultsLayout(const std::string& path);

// The left-out lines named by file and line number, one a line; the list
// stops after `most` lines with how many more there are.
std::string LeftOutText(const ResultsScan& scan, size_t most = 20);
// The same for the lines whose GGA is damaged.
std::string DamagedText(const ResultsScan& scan, size_t most = 20);

// The results lines of the scan into `ws` from A1 as `ImportResultsText`
// reads a file: the file itself when every line is a results line, else a
// copy holding only the results lines when anything was skipped.
void ImportResultsLines(workbook::Worksheet& ws, const ResultsScan& scan, const std::string& name);

// What the sheet, the system log and the end of the report say of the
// lines that were left out: T2 "Lines left out" and their count in U2; of
// the trials whose GGA is damaged: their time cell (column C) names the
// line, T3 "Damaged GGAs" and their count in U3; one log line for each kind
// naming the lines, and the same as notes of `ctx`. Call it once the
// sheet's header row is in place.
void NoteLeftOutLines(ReportContext& ctx, workbook::Worksheet& ws, const ResultsScan& scan,
                      const std::string& procedure);

// A trial row of a test sheet that ended with a fix: its time cell holds
// the fix's time, or names its damaged GGA. Only such a TTFF can count as a
// fix.
bool RowHasFix(workbook::Worksheet& ws, int row);
// A trial row with the position of its fix (column D): only such rows count
// in the position errors and the CEP.
bool RowHasPosition(workbook::Worksheet& ws, int row);

// A report workbook is built under a hidden name beside the report and
// takes the report's own name only once it is complete, so a report that
// fails leaves no file that looks like a report.
std::string UnfinishedReportFile(const std::string& reportFile);
// Saves the workbook of `base` under the report's own name and removes the
// unfinished file.
void PublishReport(ReportContext& ctx, const std::string& base);
// Removes the unfinished file of `base`, if any. Never throws.
void DiscardUnfinishedReport(ReportContext& ctx, const std::string& base) noexcept;

}  // namespace bench::reports
