#pragma once
// LaTeX sources of the tracking and start-up reports: the preamble and title
// page, the start-up introduction, the figure file of one tracking interval
// and the chapter that pulls it into the main report. The ".png" charts they
// name come from an outside plotting step; pdflatex_runner.h typesets.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "analysis/core/out_file.h"

namespace navsift {

// Text from input files (names, labels, titles) made safe for the sources:
// the LaTeX specials are escaped and the text is turned into Latin-1, the
// encoding the preamble declares (characters it lacks become "?").
std::string LatexEscape(std::string_view utf8);
// Appends the escaped form of a LaTeX special character; false (nothing
// appended) for any other byte.
bool AppendLatexSpecial(std::string& out, char ch);

// Creates folder + file_name and writes the preamble up to
// "\begin{document}". Puts the report logo ("logo.png") beside it unless one
// is there already. False (message printed) when the file cannot be created.
bool write_latex_preamble(OutFile& report, const std::string& file_name, const std::string& folder,
                          const std::string& title);
void write_latex_title_page(OutFile& report, const std::string& title);
// The introduction and session table of the start-up test.
void write_startup_introduction(OutFile& report);

// "tracking_analysis_report.tex" (number 0) or
// "tracking_analysis_report_N.tex" in `folder`, with preamble and title page.
bool open_tracking_report(OutFile& report, const std::string& folder, int number);

// The first and last time (the first column of the lines) of a satellite
// file; nothing when the file cannot be read or its first line holds no time.
struct TimeSpan {
    int32_t first = 0;
    int32_t last = 0;
};
std::optional<TimeSpan> read_first_last_time(const std::string& file_name);

// The layouts of an interval's figures: 0 all charts, 1 CN0 and tracking,
// 2 CN0 and frequency, 3 CN0 only two satellites a page, 4 as 0 with the
// frequency derivative.
constexpr bool IsLayoutMode(int mode) { return mode >= 0 && mode <= 4; }

// The figure file of one interval ("report_from_S_to_E.tex", or
// "report_M_from_S_to_E.tex" for layout M) in the interval folder, over the
// satellites whose "satNN.csv" there holds data. False (message printed) for
// a layout outside 0..4 (no file is written) or a file that cannot be made.
bool write_interval_figures(const std::string& interval_folder, int32_t start, int32_t end, int mode);

// The chapter of one interval in the main report: its bookmark and the
// \input of the figure file of layout `number`. False (message printed, no
// text written) for a layout outside 0..4.
bool write_interval_chapter(OutFile& report, int32_t start, int32_t end, int number);

}  // namespace navsift
