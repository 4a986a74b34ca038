// Typesetting the reports: the writers' sources compiled by TeX Live's
// pdflatex, and the runner's behaviour when pdflatex fails, hangs, is
// missing, or a source it needs is missing; the matlab stand-in.
#include <gtest/gtest.h>

#include <cstdlib>

#include "analysis/core/gps_time.h"
#include "analysis/writers/html_pages.h"
#include "analysis/writers/latex_report.h"
#include "analysis/writers/matlab_standin.h"
#include "analysis/writers/pdflatex_runner.h"
#include "tests/analysis/navsift_harness.h"

namespace navsift_test {
namespace {

// A 1 x 1 grey PNG standing for every chart of the plotting step.
const std::string kTinyPng(
    "\x89PNG\r\n\x1a\n\0\0\0\rIHDR\0\0\0\x01\0\0\0\x01\x08\x00\0\0\0\x3a\x7e\x9b\x55\0\0\0\x0a"
    "IDAT\x08\xd7\x63\x68\x00\x00\x00\x82\x00\x81\xdd\x43\x6a\xf4\0\0\0\0IEND\xae\x42\x60\x82",
    67);

bool HavePdflatex()
{
    return Run({"sh", "-c", "command -v pdflatex"}, fs::temp_directory_path()).status == 0;
}

#define REQUIRE_PDFLATEX() \
    if (!HavePdflatex()) GTEST_SKIP() << "pdflatex is not installed here (tools/bootstrap installs TeX Live)"

void Images(const fs::path& folder, int prn)
{
    for (const char* chart : {"CN0", "PWDistrib", "TrackTimerDerivative", "SatElevation", "Frequency",
                              "FrequencyMod1000", "DFrequency"}) {
        char name[64];
        std::snprintf(name, sizeof name, "sat%02d_%s.png", prn, chart);
        WriteFile(folder / name, kTinyPng);
    }
}

// A tracking report as the analyses lay it out: two intervals with three
// satellites each, every layout, charts in place.
void WriteTrackingReport(const fs::path& report, int32_t day)
{
    const int32_t windows[2][2] = {{day + 3600, day + 7199}, {day + 7200, day + 10799}};
    navsift::OutFile main;
    ASSERT_TRUE(navsift::open_tracking_report(main, report.string(), 0));
    std::vector<navsift::OutFile> documents(5);
    for (int n = 1; n <= 4; ++n) {
        ASSERT_TRUE(navsift::open_tracking_report(documents[n], report.string(), n));
    }
    for (const auto& w : windows) {
        const fs::path folder = report / navsift::interval_folder_name(w[0], w[1]);
        fs::create_directories(folder);
        for (int prn : {2, 17, 32}) {
            char name[16];
            std::snprintf(name, sizeof name, "sat%02d.csv", prn);
            WriteFile(folder / name, std::to_string(w[0]) + ",1\r\n" + std::to_string(w[1]) + ",1\r\n");
            Images(folder, prn);
        }
        for (const char* chart : {"sat_visibility", "sat_visibility_vs_tracking", "gps_fix_status",
                                  "sat_used_track_visible", "gps_dops", "gps_dops_zoom"}) {
            WriteFile(folder / (std::string(chart) + ".png"), kTinyPng);
        }
        for (int mode = 0; mode <= 4; ++mode) {
            ASSERT_TRUE(navsift::write_interval_figures(folder.string(), w[0], w[1], mode));
        }
        ASSERT_TRUE(navsift::write_interval_chapter(main, w[0], w[1], 0));
        for (int n = 1; n <= 4; ++n) {
            ASSERT_TRUE(navsift::write_interval_chapter(documents[n], w[0], w[1], n));
        }
    }
    main.Write("\\end{document}\r\n");
    ASSERT_TRUE(main.Close());
    for (int n = 1; n <= 4; ++n) {
        documents[n].Write("\\end{document}\r\n");
        ASSERT_TRUE(documents[n].Close());
    }
}

TEST(Typesetting, TrackingReportsOfEveryLayoutCompile)
{
    REQUIRE_PDFLATEX();
    ScratchDir dir;
    const fs::path report = dir / "report" / "tracking_analysis";
    fs::create_directories(report);
    WriteTrackingReport(report, *navsift::calendar_to_gps(2011, 5, 5, 0, 0, 0));

    EXPECT_EQ(navsift::run_pdflatex(report.string(), "tracking_analysis_report.tex"), 0);
    EXPECT_GT(fs::file_size(report / "tracking_analysis_report.pdf"), 1000u);
    for (int n = 1; n <= 4; ++n) {
        const std::string name = "tracking_analysis_report_" + std::to_string(n);
        EXPECT_EQ(navsift::run_pdflatex(report.string(), name + ".tex", {1, 300}), 0) << name;
        EXPECT_TRUE(fs::exists(report / (name + ".pdf"))) << name;
    }
    // The second pass resolved the page count of the footer.
    EXPECT_EQ(ReadFile(report / "tracking_analysis_report.log").find("Rerun to get"), std::string::npos);
}

TEST(Typesetting, StartUpReportWithTitlesFromInputFilesCompiles)
{
    REQUIRE_PDFLATEX();
    ScratchDir dir;
    navsift::OutFile main;
    // A title made of a file name with the characters TeX treats specially.
    ASSERT_TRUE(navsift::write_latex_preamble(main, "startup_analysis_report.tex", dir.path().string(),
                                              "Nuvi_1690 R&D #2 100% {bad} ~pos^ \\ Zürich"));
    navsift::OutFile title;
    ASSERT_TRUE(title.Create((dir / "title_page.tex").string()));
    navsift::write_latex_title_page(title, "Nuvi_1690 R&D #2 100% {bad} ~pos^ \\ Zürich");
    ASSERT_TRUE(title.Close());
    navsift::OutFile intro;
    ASSERT_TRUE(intro.Create((dir / "introduction_page.tex").string()));
    navsift::write_startup_introduction(intro);
    ASSERT_TRUE(intro.Close());
    for (const char* name : {"title_page.tex", "introduction_page.tex"}) {
        main.Printf("\\input{%s}\r\n", name);
    }
    main.Write("\\end{document}\r\n");
    ASSERT_TRUE(main.Close());

    EXPECT_EQ(navsift::run_pdflatex(dir.path().string(), "startup_analysis_report.tex"), 0);
    EXPECT_TRUE(fs::exists(dir / "startup_analysis_report.pdf"));
}

TEST(Typesetting, MissingInputIsNamedAndTheSourceKept)
{
    ScratchDir dir;
    const std::string source = "\\documentclass{article}\r\n\\begin{document}\r\n\\input{TTFF_bad_position.tex}\r\n"
                               "% \\input{commented_out}\r\n\\input{POS_bad_position}\r\n\\end{document}\r\n";
    WriteFile(dir / "startup_analysis_report.tex", source);
    WriteFile(dir / "POS_bad_position.tex", "\\input{nested_table}\r\n");
    EXPECT_EQ(navsift::missing_latex_inputs(dir.path().string(), "startup_analysis_report.tex"),
              (std::vector<std::string>{"TTFF_bad_position.tex", "nested_table"}));

    testing::internal::CaptureStderr();
    EXPECT_EQ(navsift::run_pdflatex(dir.path().string(), "startup_analysis_report.tex"), 1);
    const std::string err = testing::internal::GetCapturedStderr();
    EXPECT_NE(err.find("TTFF_bad_position.tex, which is missing"), std::string::npos) << err;
    EXPECT_NE(err.find("nested_table.tex, which is missing"), std::string::npos) << err;
    EXPECT_EQ(ReadFile(dir / "startup_analysis_report.tex"), source);
    EXPECT_FALSE(fs::exists(dir / "startup_analysis_report.log")) << "pdflatex ran anyway";
}

TEST(Typesetting, ErrorsInTheSourceAreReportedWithTheirFirstLine)
{
    REQUIRE_PDFLATEX();
    ScratchDir dir;
    const std::string source = "\\documentclass{article}\r\n\\usepackage{graphicx}\r\n\\begin{document}\r\n"
                               "\\includegraphics{a_chart_with_a_name_long_enough_to_be_folded_in_the_log/no_such_chart.png}\r\n\\undefinedcommand\r\n\\end{document}\r\n";
    WriteFile(dir / "broken.tex", source);
    testing::internal::CaptureStderr();
    EXPECT_EQ(navsift::run_pdflatex(dir.path().string(), "broken.tex", {2, 120}), 1);
    const std::string err = testing::internal::GetCapturedStderr();
    EXPECT_NE(err.find("pdflatex found errors in"), std::string::npos) << err;
    EXPECT_NE(err.find("no_such_chart.png' not found"), std::string::npos) << err;
    EXPECT_NE(err.find("broken.log"), std::string::npos) << err;
    EXPECT_EQ(ReadFile(dir / "broken.tex"), source);
}

TEST(Typesetting, PdflatexIsStartedWithoutShellInTheReportFolderWithoutInput)
{
    ScratchDir dir;
    const fs::path bin = dir / "bin";
    const fs::path report = dir / "my report; rm -rf x";
    fs::create_directories(bin);
    fs::create_directories(report);
    WriteFile(report / "r.tex", "\\end\r\n");
    // Records its arguments and folder, and whether it could read anything.
    FakeProgram(bin / "pdflatex",
                "for a in \"$@\"; do printf '[%s]' \"$a\" >> calls.txt; done\n"
                "printf ' %s' \"$(pwd)\" >> calls.txt\n"
                "if read line; then echo ' input' >> calls.txt; else echo ' no-input' >> calls.txt; fi\n");
    PathOverride path(bin.string() + ":/usr/bin:/bin");
    EXPECT_EQ(navsift::run_pdflatex(report.string(), "r.tex"), 0);
    const std::string call = "[-interaction=nonstopmode][r.tex] " + report.string() + " no-input\n";
    EXPECT_EQ(ReadFile(report / "calls.txt"), call + call);
}

TEST(Typesetting, FailedHungAndMissingPdflatexGiveAFailureAndKeepTheSource)
{
    ScratchDir dir;
    const fs::path bin = dir / "bin";
    fs::create_directories(bin);
    WriteFile(dir / "r.tex", "\\relax\r\n");

    {
        FakeProgram(bin / "pdflatex", "echo '! Emergency stop.' > r.log\nexit 1\n");
        PathOverride path(bin.string() + ":/usr/bin:/bin");
        testing::internal::CaptureStderr();
        EXPECT_EQ(navsift::run_pdflatex(dir.path().string(), "r.tex"), 1);
        const std::string err = testing::internal::GetCapturedStderr();
        EXPECT_NE(err.find("(status 1): ! Emergency stop."), std::string::npos) << err;
    }
    {
        FakeProgram(bin / "pdflatex", "exec sleep 30\n");
        PathOverride path(bin.string() + ":/usr/bin:/bin");
        testing::internal::CaptureStderr();
        const auto began = std::chrono::steady_clock::now();
        EXPECT_EQ(navsift::run_pdflatex(dir.path().string(), "r.tex", {2, 1}), 1);
        EXPECT_LT(std::chrono::steady_clock::now() - began, std::chrono::seconds(10));
        const std::string err = testing::internal::GetCapturedStderr();
        EXPECT_NE(err.find("did not finish within 1 s"), std::string::npos) << err;
    }
    {
        PathOverride path((dir / "empty").string());
        testing::internal::CaptureStderr();
        EXPECT_EQ(navsift::run_pdflatex(dir.path().string(), "r.tex"), 1);
        const std::string err = testing::internal::GetCapturedStderr();
        EXPECT_NE(err.find("pdflatex is not installed"), std::string::npos) << err;
    }
    testing::internal::CaptureStderr();
    EXPECT_EQ(navsift::run_pdflatex(dir.path().string(), "absent.tex"), 1);
    EXPECT_NE(testing::internal::GetCapturedStderr().find("absent.tex"), std::string::npos);
    EXPECT_EQ(ReadFile(dir / "r.tex"), "\\relax\r\n");
}

TEST(MatlabStandIn, SaysThePlotsAreMissingAndFailsOnlyWhenAskedFor)
{
    testing::internal::CaptureStderr();
    EXPECT_EQ(navsift::matlab_not_available("/r/satellite_tracking_analysis.m", false), 0);
    EXPECT_EQ(navsift::matlab_not_available("/r/satellite_tracking_analysis.m", true), 1);
    const std::string err = testing::internal::GetCapturedStderr();
    EXPECT_EQ(CountOf(err, "matlab is not available here: /r/satellite_tracking_analysis.m was written but not run"),
              2)
        << err;
}

}  // namespace
}  // namespace navsift_test
