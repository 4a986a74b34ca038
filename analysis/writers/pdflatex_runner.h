#pragma once
// Typesetting a LaTeX report into PDF with TeX Live's pdflatex, run in the
// report's own folder so that its \input files and images resolve there.
#include <string>
#include <vector>

namespace navsift {

struct LatexRun {
    int passes = 2;              // a second pass settles page references
    int timeout_seconds = 600;   // per pass
};

// Typesets folder + tex_name. Returns 0 when every pass ended without error;
// otherwise 1, with a message that names the report and the reason (pdflatex
// missing, an \input file missing, errors in the source, no end in time).
// The sources are kept in every case.
int run_pdflatex(const std::string& folder, const std::string& tex_name, const LatexRun& how = {});

// The \input and \include files that a source and the sources it pulls in
// name but that do not exist (as the names appear in the source).
std::vector<std::string> missing_latex_inputs(const std::string& folder, const std::string& tex_name);

}  // namespace navsift
