#pragma once
// The file writer counts a chart cache's points in 16 bits: past 65,535 cells
// (a whole day at 1 Hz) it would declare a wrapped count and number the
// points again from 0, and once a gap of empty cells spans a wrap the file
// would no longer tell where its points lie. Such a cache is left out of
// what the file writer writes and put into the saved file afterwards, with
// its true count and every point at its own index.
#include <cstdint>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "platform/workbook/address.h"

namespace workbook {

// One long cache: the cells of its area, and its points in order.
struct LongChartCache {
    uint64_t count = 0;
    std::vector<std::pair<uint64_t, uint64_t>> runs;  // the points' indices: first and length of each run
    std::vector<double> numbers;                     // per point
    std::vector<std::string> texts;                  // per point, once any point is a text
    void Add(uint64_t index, double number);
    void Add(uint64_t index, const std::string& text);

private:
    void Place(uint64_t index);
};
// Per reference, as ChartCacheKey makes it from the sheet's name in the file
// and the area.
using LongChartCaches = std::map<std::string, LongChartCache>;
std::string ChartCacheKey(const std::string& sheet, const Area& area);

// Puts each cache of `caches` into the chart parts of the .xlsx file at
// `path`, after the reference it was made from wherever that reference
// stands without a cache. Throws ExcelError when the file cannot be read or
// written back.
void AddLongChartCaches(const std::string& path, const LongChartCaches& caches);

}  // namespace workbook
