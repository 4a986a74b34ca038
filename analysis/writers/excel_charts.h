#pragma once
// Workbooks of XY-scatter charts over the CSV tables the analyses write: the
// CSV is opened as a workbook, one chart sheet is added per chart and the
// result is saved as ".xlsx" beside it.
#include <cstdint>
#include <string>

namespace navsift {

// The "-excel" chart of a "global_info.csv": fix status and speed against
// time, saved as the path with ".xlsx" in place of its last four characters.
int excel_chart_from_workbook(const std::string& path);
// CN0 and frequency of one satellite file ("sat07.csv" gives "sat07.xlsx").
int excel_sat_charts(int32_t prn, const std::string& path);
// Speed, NCO, fix status and average CN0 of "global_info.csv", saved as
// "<folder>/<folder name>_global_info.xlsx".
//
// Each returns 0, or 1 with a message on stderr when the table cannot be read
// or charted or the workbook cannot be saved; callers that chart many files
// may go on after a failure.
int excel_global_info_charts(const std::string& path);

}  // namespace navsift
