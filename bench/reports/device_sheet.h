#pragma once
// The live TTFF sheet of a receiver's own workbook: the statistics block
// (formulas over the TTFF column, so it follows as trials are written), the
// headers of the per-trial rows, and a line chart sheet bound to the TTFF
// column. Laid out at the start of a test, before any trial; nothing is saved.
#include <cstdint>
#include <string>

#include "platform/workbook/workbook.h"

namespace bench::reports {

// Names `sheet` name + "_Data" (name + "_Data_2" ... when a test of that name
// already has its sheet in the workbook), writes the labels and formulas of
// A1:B6 over C2:C(n+1), styles them, and writes the 20 headers into C1:V1.
void FormatDeviceTTFFSheet(workbook::Application& excel, workbook::Worksheet& sheet, const std::string& name,
                           int16_t n, int16_t limit);

// A chart sheet name + "_Chart" (made unique the same way) plotting the
// cells (firstRow, firstColumn)..(lastRow, lastColumn) of `dataSheetName`.
void CreateDeviceTTFFChart(workbook::Workbook& book, const std::string& deviceName, const std::string& name,
                           const std::string& dataSheetName, int16_t firstRow, int16_t firstColumn, int16_t lastRow,
                           int16_t lastColumn);

}  // namespace bench::reports
