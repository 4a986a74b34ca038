#pragma once
// The team activity report: the issue tracker's CSV exports (software bugs,
// tasks, customer support) as long tables of one LaTeX document,
// "GPSTeamActivityReport.tex" in the working folder, typeset with pdflatex.
#include <string>
#include <string_view>
#include <vector>

#include "analysis/core/options.h"
#include "analysis/core/out_file.h"

namespace navsift {

// One export read whole: its column names and its rows of fields.
struct CsvExport {
    std::vector<std::string> columns;
    std::vector<std::vector<std::string>> rows;
};

// One field of CSV text from `pos`: a field that starts with a quote runs to
// the next lone quote (a doubled quote inside is dropped) and may hold
// commas and line breaks; another ends at a comma or the line end. Returns
// the characters consumed, separator included; 0 at the end of the text.
// `ended_record` tells whether a line end (or the text's end) followed.
std::size_t csv_split_field(std::string_view text, std::size_t pos, std::string& field, bool& ended_record);

// Reads an export: a UTF-8 byte-order mark is dropped, text that is not
// UTF-8 is taken as Windows-1252, the first record names the columns, and
// empty records are skipped. False (reason in `error`) when it cannot be read.
bool csv_read_export(const std::string& path, CsvExport& out, std::string& error);
bool csv_parse_export(std::string_view text, CsvExport& out);

// Index of the column of exactly this name, or -1.
int csv_find_column(const CsvExport& table, std::string_view name);

// A field as document text: LaTeX specials escaped, at most 1023 characters
// and then " ... go on Vorta website for full text ...".
std::string csv_copy_field_latex(std::string_view field);

// Which export, and how its table looks.
struct IssueTable {
    const char* title;
    const char* columns_spec;
    const char* head;
    std::vector<const char*> columns;  // the identifier first
    int atid;
};
const IssueTable& SoftwareBugsTable();
const IssueTable& TasksTable();
const IssueTable& SupportTable();

void latex_preamble(OutFile& doc);
void write_issue_table(OutFile& doc, const CsvExport& data, const IssueTable& table);

// "-swbugs", "-tasks", "-support" (and "-csv"): the report.
int team_activity_report(const OptionRecord& options);

}  // namespace navsift
