#pragma once
// Static HTML pages of the tracking analyses: the index page of a run with one
// link per time interval, the report page of one interval, and the satellite
// index page of a debug log. The pages only point at the ".emf" charts that
// an outside plotting step makes beside them; a satellite is shown when its
// data file holds something.
#include <cstdint>
#include <string>

#include "analysis/core/out_file.h"

namespace navsift {

// "index.html" beside the debug log, linking the satellites whose chart
// "satdata/satNN_CN0.emf" exists there. False (message printed) when the log
// is missing, when the page would replace the log, or when it cannot be
// created.
bool write_satellite_index_page(const std::string& input_path);

// "report_from_S_to_E.html" in the interval folder (S and E the stamps of
// `start` and `end`), showing the satellites whose "satNN.csv" in that folder
// is not empty. The satellite files must be closed before this runs. False
// (message printed) when the page cannot be created.
bool write_interval_report_page(const std::string& folder, int32_t start, int32_t end);

// The index page of a run: opened at the start, one row per interval as the
// intervals close, finished at the end. A page that could not be created
// ignores rows, so the run goes on without it.
class IndexPage {
public:
    // Creates folder + "index.html" and writes its head; false (message
    // printed) when it cannot be created.
    bool open_index_page(const std::string& folder);
    // A link to the report page of the interval, in the order of the calls.
    void add_index_row(int32_t start, int32_t end);
    // A remark on the interval of the row before it.
    void add_index_note(const std::string& text);
    // Ends the page and closes it; false when it was not open or a write
    // failed (message printed).
    bool Finish();
    bool IsOpen() const { return out_.IsOpen(); }
    const std::string& Path() const { return out_.Path(); }

private:
    OutFile out_;
};

// "satdata_from_S_to_E": the folder name of an interval, shared by the
// writers and the analyses that make the folders.
std::string interval_folder_name(int32_t start, int32_t end);

// A folder text as a prefix for file names: "" stays "" (the working folder),
// anything else ends in "/".
std::string FolderPrefix(const std::string& folder);

}  // namespace navsift
