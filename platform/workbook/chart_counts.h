#pragma once
// The file writer counts a chart cache's points in 16 bits: past 65,535 cells
// (a whole day at 1 Hz) it declares a wrapped count and numbers the points
// again from 0. Once a gap of empty cells spans a wrap, the file alone no
// longer tells where its points lie; the writer of the caches knows, and
// this puts the true count and numbers into a saved file.
#include <cstdint>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "platform/workbook/address.h"

namespace workbook {

// One cache as it was written: the cells of its area, and where the points
// it holds lie among them (runs of first index and length, in order).
struct ChartCacheLayout {
    uint64_t count = 0;
    std::vector<std::pair<uint64_t, uint64_t>> runs;
};
// Per reference, as ChartCacheKey makes it from the sheet and area.
using ChartCacheLayouts = std::map<std::string, ChartCacheLayout>;
std::string ChartCacheKey(const std::string& sheet, const Area& area);

// Rewrites the chart parts of the .xlsx file at `path` so that every cache
// over a reference of `layouts` declares its true count and numbers its
// points where they lie. Throws ExcelError when the file cannot be read or
// written back.
void WidenChartCacheCounts(const std::string& path, const ChartCacheLayouts& layouts);

}  // namespace workbook
