// The team activity report from issue-tracker exports: real CSV (quotes,
// commas and line breaks inside fields), LaTeX escaping, the document's
// bytes, and pdflatex started as a program, never through a shell.
#include <gtest/gtest.h>

#include <cstdlib>

#include "analysis/analyses/team_report.h"
#include "tests/analysis/navsift_harness.h"

namespace navsift_test {
namespace {

using navsift::CsvExport;

const fs::path kGoldenDir = fs::path(FIXBENCH_SOURCE_DIR) / "tests/analysis/golden";

TEST(TrackerExport, QuotedFieldsLineBreaksAndAwkwardHeaders)
{
    CsvExport t;
    // A byte-order mark, CR LF line ends, a quoted name, a comma, a line
    // break and a doubled quote inside quotes, and a blank line at the end.
    ASSERT_TRUE(navsift::csv_parse_export("\xEF\xBB\xBF" "ID,\"Status\",Summary,Description\r\n"
                                          "101,Open,\"Crash, at start\",\"line one\r\nline \"\"two\"\"\"\r\n"
                                          "102,Closed,Plain,\r\n"
                                          "\r\n",
                                          t));
    ASSERT_EQ(t.columns, (std::vector<std::string>{"ID", "Status", "Summary", "Description"}));
    ASSERT_EQ(t.rows.size(), 2u);
    EXPECT_EQ(t.rows[0], (std::vector<std::string>{"101", "Open", "Crash, at start", "line one\r\nline two"}));
    EXPECT_EQ(t.rows[1], (std::vector<std::string>{"102", "Closed", "Plain", ""}));
    EXPECT_EQ(navsift::csv_find_column(t, "Description"), 3);
    EXPECT_EQ(navsift::csv_find_column(t, "description"), -1);  // names are exact

    // Escaping and the cut at 1023 characters, never inside a character.
    EXPECT_EQ(navsift::csv_copy_field_latex("50% of C_code {x} #1 $2 & more"),
              "50\\% of C\\_code \\{x\\} \\#1 \\$2 \\& more");
    EXPECT_EQ(navsift::csv_copy_field_latex("C:\\tmp ~ ^"), "C:\\textbackslash{}tmp \\textasciitilde{} \\textasciicircum{}");
    const std::string long_text(1500, 'a');
    EXPECT_EQ(navsift::csv_copy_field_latex(long_text),
              std::string(1023, 'a') + " ... go on Vorta website for full text ...");
    std::string accents;
    for (int k = 0; k < 1100; ++k) {
        accents += "\xC3\xA9";  // e acute
    }
    const std::string cut = navsift::csv_copy_field_latex(accents);
    EXPECT_EQ(cut.substr(0, 2046), accents.substr(0, 2046));
    EXPECT_EQ(cut.substr(2046), " ... go on Vorta website for full text ...");
}

class TeamReport : public ::testing::Test {
protected:
    void SetUp() override
    {
        WriteFile(dir_ / "bugs.csv",
                  "ID,Status,Summary,Description\n"
                  "1001,Open,\"Fix lost after tunnel, 50% of runs\",\"Seen in C_code {x}\n\nsecond paragraph\"\n"
                  "1002,Closed,Path C:\\logs\\run,\"Tilde ~ and caret ^ and # and $\"\n");
        // Columns in another order, and the customer column missing.
        WriteFile(dir_ / "tasks.csv",
                  "Summary,Status,Original Submission,Artifact ID\n"
                  "Port the bench,Open,\"Qt \"\"6\"\" everywhere\",T-7\n");
        WriteFile(dir_ / "support.csv",
                  "Artifact ID,Status,Summary,Original Submission\r\n"
                  "S_1#2,Pending,\"Customer & co\",Needs an answer\r\n");
        // A pdflatex that records how it was started.
        fs::create_directories(dir_ / "bin");
        WriteFile(dir_ / "bin" / "pdflatex",
                  "#!/bin/sh\nprintf '%s|' \"$@\" >> \"$PWD/pdflatex-calls.txt\"; pwd >> \"$PWD/pdflatex-calls.txt\"\n"
                  "touch GPSTeamActivityReport.pdf\n");
        fs::permissions(dir_ / "bin" / "pdflatex", fs::perms::owner_all);
    }
    RunResult Report(const std::vector<std::string>& args, bool fake_pdflatex = true)
    {
        std::vector<std::string> argv = {"env"};
        if (fake_pdflatex) {
            argv.push_back("PATH=" + (dir_ / "bin").string() + ":" + std::getenv("PATH"));
        }
        argv.push_back(NavsiftPath());
        argv.insert(argv.end(), args.begin(), args.end());
        return navsift_test::Run(argv, dir_.path());
    }
    ScratchDir dir_;
};

TEST_F(TeamReport, DocumentBytesAndTheTypesettingCall)
{
    const RunResult r = Report({"-swbugs", "bugs.csv", "-tasks", "tasks.csv", "-support", "support.csv"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(ReadFile(dir_ / "GPSTeamActivityReport.tex"), ReadFile(kGoldenDir / "GPSTeamActivityReport.tex"));
    const std::string calls = ReadFile(dir_ / "pdflatex-calls.txt");
    EXPECT_NE(calls.find("-interaction=nonstopmode|GPSTeamActivityReport.tex|" + fs::canonical(dir_.path()).string()),
              std::string::npos)
        << calls;
}

TEST_F(TeamReport, MissingAndUnreadableExports)
{
    // Only the bugs: the other tables are left out.
    RunResult r = Report({"-swbugs", "bugs.csv"});
    EXPECT_EQ(r.status, 0) << r.err;
    std::string tex = ReadFile(dir_ / "GPSTeamActivityReport.tex");
    EXPECT_NE(tex.find("Software Bugs"), std::string::npos);
    EXPECT_EQ(tex.find("GPS Tasks"), std::string::npos);
    EXPECT_EQ(tex.find("Customers Support"), std::string::npos);

    // An export that is not there: named, nothing written, status 1.
    fs::remove(dir_ / "GPSTeamActivityReport.tex");
    r = Report({"-swbugs", "bugs.csv", "-tasks", "nowhere.csv"});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("navsift: nowhere.csv does not exist"), std::string::npos) << r.err;
    EXPECT_FALSE(fs::exists(dir_ / "GPSTeamActivityReport.tex"));

    // An export that cannot be read: named, the rest written, status 1.
    fs::create_directories(dir_ / "folder.csv");
    r = Report({"-swbugs", "bugs.csv", "-tasks", "folder.csv"});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("folder.csv"), std::string::npos) << r.err;
    tex = ReadFile(dir_ / "GPSTeamActivityReport.tex");
    EXPECT_NE(tex.find("Software Bugs"), std::string::npos);
    EXPECT_NE(tex.find("\\end{document}"), std::string::npos);

    // No export at all: nothing is written.
    fs::remove(dir_ / "GPSTeamActivityReport.tex");
    r = Report({"-csv", "x"});
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.err.find("no tracker export given"), std::string::npos);
    EXPECT_FALSE(fs::exists(dir_ / "GPSTeamActivityReport.tex"));
}

TEST_F(TeamReport, TypesetsWithTheRealPdflatex)
{
    if (navsift_test::Run({"sh", "-c", "command -v pdflatex"}, dir_.path()).status != 0) {
        GTEST_SKIP() << "pdflatex is not installed";
    }
    const RunResult r =
        Report({"-swbugs", "bugs.csv", "-tasks", "tasks.csv", "-support", "support.csv"}, /*fake_pdflatex=*/false);
    EXPECT_EQ(r.status, 0) << r.err << r.out;
    EXPECT_TRUE(fs::exists(dir_ / "GPSTeamActivityReport.pdf"));
    const std::string log = ReadFile(dir_ / "GPSTeamActivityReport.log");
    EXPECT_EQ(log.find("\n! "), std::string::npos) << log;
}

}  // namespace
}  // namespace navsift_test
