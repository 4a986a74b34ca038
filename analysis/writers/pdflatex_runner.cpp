#include "analysis/writers/pdflatex_runner.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <set>
#include <string_view>

#include "analysis/core/byte_stream.h"
#include "analysis/core/run_program.h"
#include "analysis/core/text_util.h"
#include "analysis/writers/html_pages.h"

namespace navsift {

namespace fs = std::filesystem;

namespace {

std::string TexFileName(const std::string& name)
{
    return fs::path(name).has_extension() ? name : name + ".tex";
}

// Every \input{x} or \include{x} of a source, outside comments.
std::vector<std::string> InputsOf(const std::string& text)
{
    std::vector<std::string> names;
    std::size_t line_start = 0;
    while (line_start < text.size()) {
        std::size_t line_end = text.find('\n', line_start);
        if (line_end == std::string::npos) {
            line_end = text.size();
        }
        const std::string_view line(text.data() + line_start, line_end - line_start);
        for (std::size_t at = 0; at < line.size(); ++at) {
            if (line[at] == '%' && (at == 0 || line[at - 1] != '\\')) {
                break;
            }
            for (std::string_view command : {"\\input{", "\\include{"}) {
                if (line.substr(at, command.size()) == command) {
                    const std::size_t open = at + command.size();
                    const std::size_t close = line.find('}', open);
                    if (close != std::string_view::npos) {
                        names.emplace_back(line.substr(open, close - open));
                    }
                }
            }
        }
        line_start = line_end + 1;
    }
    return names;
}

void CollectMissing(const std::string& prefix, const std::string& file, std::set<std::string>& seen,
                    std::vector<std::string>& missing, int depth)
{
    ByteStream in;
    if (depth > 16 || !seen.insert(file).second || !in.Open(prefix + file)) {
        return;
    }
    const std::string text(in.Data(), in.Size());
    for (const std::string& name : InputsOf(text)) {
        const std::string path = TexFileName(name);
        std::error_code ec;
        if (!fs::is_regular_file(prefix + path, ec)) {
            missing.push_back(name);
        } else {
            CollectMissing(prefix, path, seen, missing, depth + 1);
        }
    }
}

constexpr std::size_t kLogWidth = 79;

std::string Unterminated(std::string line)
{
    while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) {
        line.pop_back();
    }
    return line;
}

// The first error line pdflatex wrote to its log ("! ..."), or "".
std::string FirstError(const std::string& log_path)
{
    ByteStream in;
    if (!in.Open(log_path)) {
        return "";
    }
    std::string line;
    while (true) {
        read_line(in, line);
        if (line.empty()) {
            return "";
        }
        if (line.rfind("! ", 0) == 0) {
            // TeX folds its log at 79 characters: join the folded rest.
            std::string error = Unterminated(line);
            for (std::string next; error.size() % kLogWidth == 0;) {
                read_line(in, next);
                if (next.empty()) {
                    break;
                }
                error += Unterminated(next);
            }
            return error;
        }
    }
}

// Whether the pass's log says that references, outlines or table widths
// changed, so that another pass is needed.
bool AsksForRerun(const std::string& log_path)
{
    ByteStream in;
    if (!in.Open(log_path)) {
        return false;
    }
    const std::string_view text(in.Data(), in.Size());
    for (std::string_view asks : {"Rerun to get", "Rerun LaTeX", "rerun LaTeX", "Table widths have changed"}) {
        if (text.find(asks) != std::string_view::npos) {
            return true;
        }
    }
    return false;
}

}  // namespace

std::vector<std::string> missing_latex_inputs(const std::string& folder, const std::string& tex_name)
{
    std::set<std::string> seen;
    std::vector<std::string> missing;
    CollectMissing(FolderPrefix(folder), tex_name, seen, missing, 0);
    return missing;
}

int run_pdflatex(const std::string& folder, const std::string& tex_name, const LatexRun& how)
{
    const std::string prefix = FolderPrefix(folder);
    const std::string source = prefix + tex_name;
    std::error_code ec;
    if (!fs::is_regular_file(source, ec)) {
        std::fprintf(stderr, "pdflatex: there is no %s to typeset\n", source.c_str());
        return 1;
    }
    if (const auto missing = missing_latex_inputs(folder, tex_name); !missing.empty()) {
        for (const std::string& name : missing) {
            std::fprintf(stderr, "%s needs %s, which is missing (the plotting step makes it)\n", source.c_str(),
                         TexFileName(name).c_str());
        }
        std::fprintf(stderr, "%s is kept but not typeset\n", source.c_str());
        return 1;
    }
    const std::string stem = fs::path(tex_name).stem().string();
    const std::string log = prefix + stem + ".log";
    const std::string pdf = prefix + stem + ".pdf";
    const int most = std::max(how.passes, how.max_passes);
    int exit_code = 0;
    for (int pass = 1; pass <= most; ++pass) {
        // A PDF left by an earlier run must not pass for this one's.
        if (pass == 1) {
            fs::remove(pdf, ec);
        }
        const ProgramRun run = run_program({"pdflatex", "-interaction=nonstopmode", tex_name},
                                           folder.empty() ? "." : folder, how.timeout_seconds);
        if (run.outcome == ProgramRun::Outcome::NotFound) {
            std::fprintf(stderr,
                         "pdflatex is not installed (Debian package texlive-latex-base): %s is kept but not "
                         "typeset\n",
                         source.c_str());
            return 1;
        }
        if (run.outcome != ProgramRun::Outcome::Exited) {
            std::fprintf(stderr, "pdflatex on %s: %s; the source is kept\n", source.c_str(), run.error.c_str());
            return 1;
        }
        exit_code = run.exit_code;
        // Without a PDF another pass meets the same error.
        if (exit_code != 0 && !fs::is_regular_file(pdf, ec)) {
            break;
        }
        if (pass >= how.passes && !AsksForRerun(log)) {
            break;
        }
    }
    if (exit_code != 0) {
        const std::string error = FirstError(log);
        std::fprintf(stderr, "pdflatex found errors in %s (status %d)%s%s; see %s\n", source.c_str(), exit_code,
                     error.empty() ? "" : ": ", error.c_str(), log.c_str());
        return 1;
    }
    return 0;
}

}  // namespace navsift
