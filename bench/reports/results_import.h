#pragma once
// Report workbooks and the import of a results file into one of their
// sheets: the workbook base + ".xlsx" is made (or extended) one sheet per
// test, the results file is read as delimited text, its columns cleaned, its
// times and positions converted, and the report of the sheet is built.
#include <string>

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

// Throws BenchError when a line of the file is not a TTFF results line
// (TTFF, TAB, "% " and the trial number, TAB, sentence).
void CheckResultsLayout(const std::string& path);

}  // namespace bench::reports
