#pragma once
// Writes a workbook as an Office Open XML file through libxlsxwriter.
#include <memory>
#include <string>

namespace workbook {

class Workbook;

// Rebuilds the whole file from the model: written to a temporary name beside
// `path`, then renamed over it, so a failed save never leaves half a file.
// Formulas carry their computed values. Throws ExcelError on failure, which
// names `shownAs` when it is given (the file a working copy stands for),
// else `path`.
void WriteXlsx(const Workbook& wb, const std::string& path, const std::string& shownAs = {});
// The same for a workbook closed right after: the cells of columns that no
// chart refers to are let go once written.
void WriteXlsxAndRelease(Workbook& wb, const std::string& path);

// A save in two steps, so that the slow one can leave the thread that owns
// the workbook: PrepareXlsx reads the whole model into the file writer
// (cells, formats, charts and their points), after which the workbook may
// change or go; Finish then writes the file (compression, disk, rename) on
// any thread. One not finished leaves no file behind.
class PreparedXlsx {
public:
    struct Parts;
    explicit PreparedXlsx(std::unique_ptr<Parts> parts);
    ~PreparedXlsx();
    PreparedXlsx(const PreparedXlsx&) = delete;
    PreparedXlsx& operator=(const PreparedXlsx&) = delete;
    std::string Path() const;
    void Finish();  // throws ExcelError, as WriteXlsx does

private:
    std::unique_ptr<Parts> parts_;
};

std::unique_ptr<PreparedXlsx> PrepareXlsx(const Workbook& wb, const std::string& path,
                                          const std::string& shownAs = {});

}  // namespace workbook
