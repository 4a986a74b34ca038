#include "analysis/analyses/team_report.h"

#include <cctype>
#include <cstdio>
#include <fstream>
#include <sstream>

#include "analysis/core/run_outcome.h"
#include "analysis/writers/latex_report.h"
#include "analysis/writers/pdflatex_runner.h"
#include "platform/core/codepage.h"

namespace navsift {

namespace {

// The tracker's pages are only named in the links, never contacted.
constexpr const char* kTrackerBase = "https://tracker.example.com";
constexpr const char* kDocument = "GPSTeamActivityReport.tex";
constexpr std::size_t kMaxFieldCharacters = 1023;
constexpr std::size_t kMaxIdentifier = 19;
constexpr std::size_t kMaxHeaderField = 1023;

bool IsContinuation(unsigned char c) { return (c & 0xC0) == 0x80; }

bool IsValidUtf8(std::string_view s)
{
    for (std::size_t k = 0; k < s.size();) {
        const unsigned char c = static_cast<unsigned char>(s[k]);
        std::size_t extra = 0;
        if (c < 0x80) {
            extra = 0;
        } else if (c >= 0xC2 && c <= 0xDF) {
            extra = 1;
        } else if ((c & 0xF0) == 0xE0) {
            extra = 2;
        } else if (c >= 0xF0 && c <= 0xF4) {
            extra = 3;
        } else {
            return false;
        }
        for (std::size_t j = 1; j <= extra; ++j) {
            if (k + j >= s.size() || !IsContinuation(static_cast<unsigned char>(s[k + j]))) {
                return false;
            }
        }
        k += extra + 1;
    }
    return true;
}

// An identifier goes into the link's address as it is when it is plain;
// anything else is percent-encoded (and the percent signs escaped for TeX).
std::string UrlPart(std::string_view id)
{
    std::string out;
    for (char ch : id) {
        const unsigned char c = static_cast<unsigned char>(ch);
        if (std::isalnum(c) || ch == '-') {
            out += ch;
        } else {
            char buf[8];
            std::snprintf(buf, sizeof buf, "\\%%%02X", c);
            out += buf;
        }
    }
    return out;
}

// Escapes the specials and keeps the rest as UTF-8; carriage returns go,
// other control characters become "?".
void AppendEscaped(std::string& out, std::string_view text)
{
    for (char ch : text) {
        if (AppendLatexSpecial(out, ch)) {
            continue;
        }
        const unsigned char c = static_cast<unsigned char>(ch);
        if (ch == '\r') {
            continue;
        }
        out += (c < 0x20 && ch != '\n' && ch != '\t') || c == 0x7f ? '?' : ch;
    }
}

// The first `limit` characters, never cutting a character in two.
std::string_view FirstCharacters(std::string_view text, std::size_t limit, bool& cut)
{
    std::size_t chars = 0;
    for (std::size_t k = 0; k < text.size(); ++k) {
        if (IsContinuation(static_cast<unsigned char>(text[k]))) {
            continue;
        }
        if (chars == limit) {
            cut = true;
            return text.substr(0, k);
        }
        ++chars;
    }
    cut = false;
    return text;
}

}  // namespace

std::size_t csv_split_field(std::string_view text, std::size_t pos, std::string& field, bool& ended_record)
{
    field.clear();
    ended_record = true;
    if (pos >= text.size()) {
        return 0;
    }
    std::size_t k = pos;
    if (text[k] == '"') {
        ++k;
        while (k < text.size()) {
            if (text[k] == '"') {
                if (k + 1 < text.size() && text[k + 1] == '"') {
                    k += 2;  // a doubled quote is dropped
                    continue;
                }
                ++k;
                break;
            }
            field += text[k++];
        }
    }
    // Up to the separator (after a closing quote, whatever stands there).
    while (k < text.size() && text[k] != ',' && text[k] != '\n') {
        field += text[k++];
    }
    if (!field.empty() && field.back() == '\r') {
        field.pop_back();
    }
    if (k < text.size()) {
        ended_record = text[k] == '\n';
        ++k;
    }
    return k - pos;
}

bool csv_parse_export(std::string_view text, CsvExport& out)
{
    out = {};
    if (text.substr(0, 3) == "\xEF\xBB\xBF") {
        text.remove_prefix(3);
    }
    std::size_t pos = 0;
    std::string field;
    bool ended = false;
    // The column names: a name that is too long ends them.
    while (pos < text.size()) {
        pos += csv_split_field(text, pos, field, ended);
        if (field.size() > kMaxHeaderField) {
            while (!ended && pos < text.size()) {
                pos += csv_split_field(text, pos, field, ended);
            }
            break;
        }
        out.columns.push_back(field);
        if (ended) {
            break;
        }
    }
    std::vector<std::string> row;
    while (pos < text.size()) {
        pos += csv_split_field(text, pos, field, ended);
        row.push_back(field);
        if (ended) {
            // A blank line is no issue.
            if (!(row.size() == 1 && row[0].empty())) {
                out.rows.push_back(std::move(row));
            }
            row.clear();
        }
    }
    if (!row.empty() && !(row.size() == 1 && row[0].empty())) {
        out.rows.push_back(std::move(row));
    }
    return !out.columns.empty();
}

bool csv_read_export(const std::string& path, CsvExport& out, std::string& error)
{
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        error = "cannot open " + path;
        return false;
    }
    std::ostringstream all;
    all << in.rdbuf();
    std::string text = all.str();
    if (!IsValidUtf8(text)) {
        text = platform::Cp1252ToUtf8(text);
    }
    if (!csv_parse_export(text, out)) {
        error = path + " holds no column names";
        return false;
    }
    return true;
}

int csv_find_column(const CsvExport& table, std::string_view name)
{
    for (std::size_t k = 0; k < table.columns.size(); ++k) {
        if (table.columns[k] == name) {
            return static_cast<int>(k);
        }
    }
    return -1;
}

std::string csv_copy_field_latex(std::string_view field)
{
    bool cut = false;
    const std::string_view shown = FirstCharacters(field, kMaxFieldCharacters, cut);
    std::string out;
    AppendEscaped(out, shown);
    if (cut) {
        out += " ... go on Vorta website for full text ...";
    }
    return out;
}

const IssueTable& SoftwareBugsTable()
{
    static const IssueTable t{"\\paragraph*{\\LARGE Software Bugs}\n", "\\begin{longtable}{m{2cm}m{2cm}m{8cm}m{14cm}}\n",
                              "ID & Status & Subject & Description \\\\ \n",
                              {"ID", "Status", "Summary", "Description"}, 2470};
    return t;
}

const IssueTable& TasksTable()
{
    static const IssueTable t{"\\paragraph*{\\LARGE GPS Tasks}\n", "\\begin{longtable}{m{2cm}m{2cm}m{8cm}m{14cm}}\n",
                              "ID & Status & Subject & Description \\\\ \n",
                              {"Artifact ID", "Status", "Summary", "Original Submission"}, 2469};
    return t;
}

const IssueTable& SupportTable()
{
    static const IssueTable t{"\\paragraph*{\\LARGE Customers Support}\n",
                              "\\begin{longtable}{m{2cm}m{2cm}m{2cm}m{6cm}m{14cm}}\n",
                              "ID & Status & Customer & Subject & Description \\\\ \n",
                              {"Artifact ID", "Status", "Customer", "Summary", "Original Submission"}, 3424};
    return t;
}

void latex_preamble(OutFile& doc)
{
    doc.Write("\\documentclass[a4paper,landscape, 10pt]{report}\r\n");
    doc.Write("\\usepackage[a4paper,landscape,top=2cm,bottom=2cm,left=1cm,right=1cm,bindingoffset=0cm]{geometry}\r\n");
    doc.Write("\\usepackage{graphicx}\r\n");
    doc.Write("\\usepackage{longtable}\r\n");
    doc.Write("\\usepackage{multirow}\r\n");
    doc.Write("\\usepackage{array}\r\n");
    doc.Write("\\usepackage[colorlinks=true,linkcolor=blue]{hyperref}\r\n");
    doc.Write("\\begin{document}\r\n");
    doc.Write("\\centering\n");
    doc.Write("\\chapter*{GPS Team Activity Report}\r\n");
}

void write_issue_table(OutFile& doc, const CsvExport& data, const IssueTable& table)
{
    doc.Write("\\centering\n");
    doc.Write(table.title);
    doc.Write("\\begin{center}\n");
    doc.Write(table.columns_spec);
    doc.Write("\\hline\r\n");
    doc.Write("\\hline\r\n");
    doc.Write(table.head);
    doc.Write("\\hline\r\n");
    std::vector<int> where;
    for (const char* name : table.columns) {
        where.push_back(csv_find_column(data, name));
    }
    for (const std::vector<std::string>& row : data.rows) {
        auto field = [&](std::size_t k) -> std::string_view {
            const int c = where[k];
            return c >= 0 && static_cast<std::size_t>(c) < row.size() ? std::string_view(row[static_cast<std::size_t>(c)])
                                                                       : std::string_view();
        };
        bool cut = false;
        const std::string_view id = FirstCharacters(field(0), kMaxIdentifier, cut);
        std::string line = "\\href{";
        line += kTrackerBase;
        line += "/tracker/?func=detail&aid=" + UrlPart(id) + "&atid=" + std::to_string(table.atid) +
                "&group_id=1120}{";
        AppendEscaped(line, id);
        line += "} & \n";
        for (std::size_t k = 1; k < table.columns.size(); ++k) {
            line += csv_copy_field_latex(field(k));
            line += k + 1 < table.columns.size() ? " & \n" : "\\\\ \\hline\r\n";
        }
        doc.Write(line);
    }
    doc.Write("\\end{longtable}\r\n");
    doc.Write("\\end{center}\n");
}

int team_activity_report(const OptionRecord& options)
{
    struct Source {
        Slot slot;
        const IssueTable& table;
    };
    const Source sources[] = {{options.swbugs, SoftwareBugsTable()},
                              {options.tasks, TasksTable()},
                              {options.support, SupportTable()}};
    if (!options.Arg(options.swbugs) && !options.Arg(options.tasks) && !options.Arg(options.support)) {
        std::fprintf(stderr, "no tracker export given (-swbugs, -tasks, -support)\n");
        return 2;
    }
    OutFile doc;
    if (!doc.Create(kDocument)) {
        std::fprintf(stderr, "cannot create %s: %s\n", kDocument, doc.Error().c_str());
        return 1;
    }
    int status = 0;
    std::size_t rows = 0;
    latex_preamble(doc);
    for (const Source& s : sources) {
        const auto path = options.Arg(s.slot);
        if (!path) {
            continue;  // an export not given has no table
        }
        CsvExport data;
        std::string error;
        if (!csv_read_export(*path, data, error)) {
            std::fprintf(stderr, "%s\n", error.c_str());
            status = 1;
            continue;
        }
        if (data.rows.empty()) {
            run_input_lacks(*path, "no issue row under its header");
        }
        rows += data.rows.size();
        write_issue_table(doc, data, s.table);
    }
    doc.Write("\\end{document}\r\n");
    if (!doc.Close()) {
        std::fprintf(stderr, "cannot write %s: %s\n", kDocument, doc.Error().c_str());
        return 1;
    }
    run_produced(rows);
    if (rows == 0) {
        return status;  // nothing to typeset
    }
    if (run_pdflatex("", kDocument) != 0) {
        status = 1;
    }
    return status;
}

}  // namespace navsift
