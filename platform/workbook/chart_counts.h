#pragma once
// The file writer counts a chart cache's points in 16 bits: past 65,535 points
// (a whole day at 1 Hz) it declares a wrapped count and numbers the points
// again from 0. This puts the true count and numbers into a saved file.
#include <string>
#include <string_view>

namespace workbook {

// Rewrites the chart parts of the .xlsx file at `path` so that every cache
// declares its true point count and numbers its points in order. Throws
// ExcelError when the file cannot be read or written back.
void WidenChartCacheCounts(const std::string& path);

}  // namespace workbook
