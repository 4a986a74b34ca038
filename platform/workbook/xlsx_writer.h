#pragma once
// Writes a workbook as an Office Open XML file through libxlsxwriter.
#include <string>

namespace workbook {

class Workbook;

// Rebuilds the whole file from the model: written to a temporary name beside
// `path`, then renamed over it, so a failed save never leaves half a file.
// Formulas carry their computed values. Throws ExcelError on failure.
void WriteXlsx(const Workbook& wb, const std::string& path);
// The same for a workbook closed right after: the cells of columns that no
// chart refers to are let go once written.
void WriteXlsxAndRelease(Workbook& wb, const std::string& path);

}  // namespace workbook
