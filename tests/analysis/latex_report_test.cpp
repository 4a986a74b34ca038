// The LaTeX sources of the reports: exact bytes against reviewed reference
// files for each figure layout, the chapter and the report head, and the
// satellite files' time spans.
#include <gtest/gtest.h>

#include "analysis/core/gps_time.h"
#include "analysis/writers/html_pages.h"
#include "analysis/writers/latex_report.h"
#include "tests/analysis/navsift_harness.h"

namespace navsift_test {
namespace {

const fs::path kGoldenDir = fs::path(FIXBENCH_SOURCE_DIR) / "tests/analysis/golden";

int32_t Gps(int year, int month, int day, int hour, int minute, int second)
{
    return *navsift::calendar_to_gps(year, month, day, hour, minute, second);
}

// Rows as the tracking analysis writes them ("%12d" first column).
std::string SatelliteRows(const std::vector<int>& times)
{
    std::string rows;
    for (int t : times) {
        char line[96];
        std::snprintf(line, sizeof line, "%12d,%12d,%12.1f\r\n", t, 7, 41.5);
        rows += line;
    }
    return rows;
}

// 22:00:00 to 23:59:59 on 5 May 2011, satellites present by their files.
struct Interval {
    int32_t start = Gps(2011, 5, 5, 22, 0, 0);
    int32_t end = Gps(2011, 5, 5, 23, 59, 59);
    ScratchDir dir;

    void Satellite(int prn, const std::vector<int>& times)
    {
        char name[16];
        std::snprintf(name, sizeof name, "sat%02d.csv", prn);
        WriteFile(dir / name, SatelliteRows(times));
    }
    std::string Figures(int mode)
    {
        EXPECT_TRUE(navsift::write_interval_figures(dir.path().string(), start, end, mode));
        const std::string name = mode == 0 ? "report_from_220000_05052011_to_235959_05052011.tex"
                                           : "report_" + std::to_string(mode) +
                                                 "_from_220000_05052011_to_235959_05052011.tex";
        return ReadFile(dir / name);
    }
};

TEST(LatexReport, FullLayoutGivesSixIntervalFiguresAndAPagePerSatellite)
{
    Interval in;
    in.Satellite(9, {in.start + 60, in.start + 61, in.start + 3599});
    in.Satellite(4, {});  // empty: absent
    EXPECT_EQ(in.Figures(0), ReadFile(kGoldenDir / "figures_mode0.tex"));

    // The derivative layout differs only in the last chart of a satellite.
    std::string expected = ReadFile(kGoldenDir / "figures_mode0.tex");
    const std::string mod = "Frequency Offset Mod 1000}]{\\includegraphics[width=0.48\\columnwidth,height=0.25\\textheight,"
                            "keepaspectratio]{"
                            "satdata_from_220000_05052011_to_235959_05052011/sat09_FrequencyMod1000.png}";
    const std::string derivative = "Frequency Offset Derivative}]{\\includegraphics[width=0.48\\columnwidth,height=0.25\\textheight,"
                                   "keepaspectratio]{"
                                   "satdata_from_220000_05052011_to_235959_05052011/sat09_DFrequency.png}";
    ASSERT_NE(expected.find(mod), std::string::npos);
    expected.replace(expected.find(mod), mod.size(), derivative);
    EXPECT_EQ(in.Figures(4), expected);
}

TEST(LatexReport, PairedLayoutPutsTwoSatellitesInAFigureAndClosesTheLastOne)
{
    Interval in;
    in.Satellite(2, {in.start});
    in.Satellite(5, {in.start + 10, in.start + 20});
    in.Satellite(7, {in.start + 30});
    EXPECT_EQ(in.Figures(3), ReadFile(kGoldenDir / "figures_mode3.tex"));
}

TEST(LatexReport, ShortLayoutsShowOnlyVisibilityAgainstTracking)
{
    Interval in;
    in.Satellite(12, {in.start});
    for (int mode : {1, 2}) {
        const std::string text = in.Figures(mode);
        EXPECT_EQ(CountOf(text, "\\begin{figure}[h]"), 1) << mode;
        EXPECT_EQ(CountOf(text, "{%d_sat_visibility_vs_tracked}"), 0);
        EXPECT_NE(text.find(std::to_string(in.start) + "_sat_visibility_vs_tracked}"), std::string::npos);
        EXPECT_EQ(CountOf(text, "\\begin{figure}"), CountOf(text, "\\end{figure}")) << mode;
        EXPECT_EQ(CountOf(text, "\\subfloat"), 2) << mode;
        EXPECT_NE(text.find(mode == 1 ? "sat12_TrackTimerDerivative.png}} \\\\ \r\n" : "sat12_Frequency.png}} \\\\ \r\n"),
                  std::string::npos)
            << text;
    }
}

TEST(LatexReport, LayoutsOutsideTheRangeAreRefusedWithoutAFile)
{
    Interval in;
    in.Satellite(3, {in.start});
    testing::internal::CaptureStderr();
    EXPECT_FALSE(navsift::write_interval_figures(in.dir.path().string(), in.start, in.end, -1));
    EXPECT_FALSE(navsift::write_interval_figures(in.dir.path().string(), in.start, in.end, 5));
    const std::string err = testing::internal::GetCapturedStderr();
    EXPECT_NE(err.find("report layout -1"), std::string::npos) << err;
    EXPECT_NE(err.find("report layout 5"), std::string::npos) << err;
    int tex_files = 0;
    for (const auto& entry : fs::directory_iterator(in.dir.path())) {
        tex_files += entry.path().extension() == ".tex";
    }
    EXPECT_EQ(tex_files, 0);

    navsift::OutFile report;
    ASSERT_TRUE(report.Create((in.dir / "main.tex").string()));
    testing::internal::CaptureStderr();
    EXPECT_FALSE(navsift::write_interval_chapter(report, in.start, in.end, -1));
    testing::internal::GetCapturedStderr();
    ASSERT_TRUE(report.Close());
    EXPECT_EQ(ReadFile(in.dir / "main.tex"), "");
}

TEST(LatexReport, ChapterEntryBookmarksTheIntervalAndInputsItsFigureFile)
{
    ScratchDir dir;
    navsift::OutFile report;
    ASSERT_TRUE(report.Create((dir / "main.tex").string()));
    const int32_t start = Gps(2011, 5, 5, 22, 0, 0);
    const int32_t end = Gps(2011, 5, 5, 23, 59, 59);
    EXPECT_TRUE(navsift::write_interval_chapter(report, start, end, 0));
    EXPECT_TRUE(navsift::write_interval_chapter(report, start, end, 2));
    ASSERT_TRUE(report.Close());
    const std::string bookmark =
        "\\chapter*{}\r\n\\pdfbookmark[0]{Data Captured Between 22:00:00 and 23:59:59 on 05/05/2011}"
        "{Data_Captured_Between_22:00:00_and_23:59:59_on_05/05/2011}\r\n";
    EXPECT_EQ(ReadFile(dir / "main.tex"),
              bookmark +
                  "\\input{satdata_from_220000_05052011_to_235959_05052011/"
                  "report_from_220000_05052011_to_235959_05052011}\r\n" +
                  bookmark +
                  "\\input{satdata_from_220000_05052011_to_235959_05052011/"
                  "report_2_from_220000_05052011_to_235959_05052011}\r\n");
}

TEST(LatexReport, ReportHeadAndTitlePageAndTheReportNames)
{
    ScratchDir dir;
    navsift::OutFile report;
    ASSERT_TRUE(navsift::open_tracking_report(report, dir.path().string(), 0));
    ASSERT_TRUE(report.Close());
    navsift::OutFile second;
    ASSERT_TRUE(navsift::open_tracking_report(second, dir.path().string(), 2));
    ASSERT_TRUE(second.Close());

    std::string text = ReadFile(dir / "tracking_analysis_report.tex");
    const std::string folder = fs::absolute(dir.path()).lexically_normal().string() + "/";
    const std::size_t at = text.find(folder);
    ASSERT_NE(at, std::string::npos) << "the logo folder is named absolutely";
    text.replace(at, folder.size(), "@REPORT_FOLDER@/");
    EXPECT_EQ(text, ReadFile(kGoldenDir / "report_head.tex"));
    EXPECT_EQ(ReadFile(dir / "tracking_analysis_report_2.tex"), ReadFile(dir / "tracking_analysis_report.tex"));
    // The logo the head and the title page show is put beside the report,
    // and a lab's own logo is kept.
    EXPECT_EQ(ReadFile(dir / "logo.png").substr(1, 3), "PNG");
    WriteFile(dir / "logo.png", "the lab's own");
    navsift::OutFile again;
    ASSERT_TRUE(navsift::open_tracking_report(again, dir.path().string(), 0));
    again.Close();
    EXPECT_EQ(ReadFile(dir / "logo.png"), "the lab's own");
}

TEST(LatexReport, ReportThatCannotBeCreatedIsReported)
{
    ScratchDir dir;
    navsift::OutFile report;
    testing::internal::CaptureStderr();
    EXPECT_FALSE(navsift::open_tracking_report(report, (dir / "missing").string(), 0));
    EXPECT_NE(testing::internal::GetCapturedStderr().find("missing/tracking_analysis_report.tex"), std::string::npos);
    EXPECT_FALSE(report.IsOpen());
}

TEST(LatexReport, FirstAndLastTimeOfASatelliteFile)
{
    ScratchDir dir;
    WriteFile(dir / "one.csv", SatelliteRows({1000}));
    WriteFile(dir / "three.csv", SatelliteRows({1000, 1001, 1003}) + "\r\n");
    WriteFile(dir / "junk.csv", "PRN,time\r\n" + SatelliteRows({5}));
    WriteFile(dir / "wide.csv", "123456789012,1\r\n");

    auto span = navsift::read_first_last_time((dir / "one.csv").string());
    ASSERT_TRUE(span);
    EXPECT_EQ(span->first, 1000);
    EXPECT_EQ(span->last, 1000);
    span = navsift::read_first_last_time((dir / "three.csv").string());
    ASSERT_TRUE(span);
    EXPECT_EQ(span->first, 1000);
    EXPECT_EQ(span->last, 1003);
    EXPECT_FALSE(navsift::read_first_last_time((dir / "junk.csv").string()));
    EXPECT_FALSE(navsift::read_first_last_time((dir / "none.csv").string()));
    span = navsift::read_first_last_time((dir / "wide.csv").string());
    ASSERT_TRUE(span);
    EXPECT_EQ(span->first, 1234567890);  // at most ten digits are read
}

TEST(LatexReport, InputTextIsEscapedAndTurnedIntoLatin1)
{
    EXPECT_EQ(navsift::LatexEscape("R&D 100% #1 a_b {x} $5 ~ ^ \\"),
              "R\\&D 100\\% \\#1 a\\_b \\{x\\} \\$5 \\textasciitilde{} \\textasciicircum{} \\textbackslash{}");
    EXPECT_EQ(navsift::LatexEscape("Zürich"), "Z\xfcrich");
    EXPECT_EQ(navsift::LatexEscape("a\tb\xe2\x82\xac"), "a?b?");  // the euro sign is not Latin-1
}

}  // namespace
}  // namespace navsift_test
