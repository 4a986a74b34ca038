#pragma once
// Typesetting a LaTeX report into PDF with TeX Live's pdflatex, run in the
// report's own folder so that its \input files and images resolve there.
#include <string>
#include <vector>

namespace navsift {

struct LatexRun {
    int passes = 2;              // at least: the second settles page references ("Page 3 of 12")
    int timeout_seconds = 600;   // per pass
    int max_passes = 3;          // while the log asks for a rerun
};

// Typesets folder + tex_name, pass after pass until its references settle:
// `passes` times, and again while pdflatex's log asks for a rerun, up to
// `max_passes`. Errors that still give a PDF (a picture that is not there)
// do not stop the passes. Returns 0 when the last pass ended without error;
// otherwise 1, with a message that names the report and the reason (pdflatex
// missing, an \input file missing, errors in the source, no end in time).
// The sources are kept in every case.
int run_pdflatex(const std::string& folder, const std::string& tex_name, const LatexRun& how = {});

// The \input and \include files that a source and the sources it pulls in
// name but that do not exist (as the names appear in the source).
std::vector<std::string> missing_latex_inputs(const std::string& folder, const std::string& tex_name);

}  // namespace navsift
