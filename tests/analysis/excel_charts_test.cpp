// Chart workbooks of the CSV tables: "-excel" run as a user runs it, and the
// tracking analysis' satellite and global_info charts, each workbook read
// back by openpyxl and recomputed by gnumeric.
#include <gtest/gtest.h>

#include <map>

#include "analysis/analyses/tracking_tables.h"
#include "analysis/core/text_util.h"
#include "analysis/writers/excel_charts.h"
#include "tests/analysis/navsift_harness.h"
#include "tests/workbook/support.h"

namespace navsift_test {
namespace {

// A global_info table: a header line, then rows with blank-padded fields as
// the tracking analysis pads them.
std::string GlobalInfo(int rows)
{
    std::string text = "time,timestamp,lat,lon,alt,hdop,fix,sv,used,vis,pdop,vdop,course,odo,speed,nco,cn0_ave,"
                       "cn0_ave max,cn0_ave min\r\n";
    for (int k = 1; k <= rows; ++k) {
        char line[256];
        std::snprintf(line, sizeof line,
                      "%d,%12d,45.1,9.2,120.0,0.9,%d,8,7,9,1.5,1.1,90.0,0,%6.2f,%d,%4.1f,%4.1f,%4.1f\r\n", k,
                      1000000 + k, k % 3, 0.5 * k, -120 + k, 40.0 + k, 45.0 + k, 35.0 + k);
        text += line;
    }
    return text;
}

TEST(ExcelCharts, ExcelCommandChartsGlobalInfoBesideIt)
{
    REQUIRE_OPENPYXL();
    REQUIRE_SSCONVERT();
    ScratchDir dir;
    WriteFile(dir / "global_info.csv", GlobalInfo(5));
    const RunResult r = Navsift({"-excel", (dir / "global_info.csv").string()}, dir.path());
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "Making Chart...Saving Workbook...");
    const std::string xlsx = (dir / "global_info.xlsx").string();
    ASSERT_TRUE(fs::exists(xlsx));

    const wbtest::FileView view = wbtest::ReadBack(xlsx, dir.path().string());
    EXPECT_EQ(view.sheets, (std::vector<std::string>{"global_info", "Speed vs Freq"}));
    EXPECT_EQ(view.kinds.at("Speed vs Freq"), "Chartsheet");
    ASSERT_EQ(view.chartParts.size(), 1u);
    // Fix status and speed against the time stamp, the header naming them.
    EXPECT_EQ(view.chartParts[0],
              "scatterChart|global_info!$G$1|global_info!$B$2:$B$6|global_info!$G$2:$G$6|"
              "global_info!$O$1|global_info!$B$2:$B$6|global_info!$O$2:$O$6");
    EXPECT_EQ(view.formulas.at("global_info!B6"), "1000005");
    EXPECT_EQ(wbtest::AsDouble(view.formulas.at("global_info!O3")), 1.0);

    const wbtest::FileView recalculated = wbtest::Recalculated(xlsx, dir.path().string());
    for (const char* cell : {"global_info!B2", "global_info!G4", "global_info!O6", "global_info!S5"}) {
        EXPECT_EQ(wbtest::AsDouble(recalculated.cached.at(cell)), wbtest::AsDouble(view.cached.at(cell))) << cell;
    }
}

TEST(ExcelCharts, ExcelCommandRefusesWhatItCannotChart)
{
    ScratchDir dir;
    WriteFile(dir / "report.xlsx", "PK\x03\x04 a workbook");
    RunResult r = Navsift({"-excel", (dir / "report.xlsx").string()}, dir.path());
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("unsupported workbook format"), std::string::npos) << r.err;
    EXPECT_FALSE(fs::exists(dir / "report..xlsx"));
    EXPECT_EQ(ReadFile(dir / "report.xlsx"), "PK\x03\x04 a workbook");

    r = Navsift({"-excel", (dir / "global_info.csv").string()}, dir.path());
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("global_info.csv does not exist"), std::string::npos) << r.err;

    r = Navsift({"-excel"}, dir.path());
    EXPECT_EQ(r.status, 2);
}

TEST(ExcelCharts, SatelliteChartsPlotEveryRowOfAHeaderlessFile)
{
    REQUIRE_OPENPYXL();
    ScratchDir dir;
    std::string rows;
    for (int k = 0; k < 4; ++k) {
        char line[160];
        std::snprintf(line, sizeof line, "%12d,%12d,%12d,%12d,%12d,%12d,%12d,%12d,%12d,%12.1f\r\n", 2000 + k, 7, 1, 1,
                      -1500 + k, 0, 0, 0, 0, 41.0 + k);
        rows += line;
    }
    WriteFile(dir / "sat07.csv", rows);
    testing::internal::CaptureStdout();
    EXPECT_EQ(navsift::excel_sat_charts(7, (dir / "sat07.csv").string()), 0);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "Making Charts...Saving Workbook...");

    const wbtest::FileView view = wbtest::ReadBack((dir / "sat07.xlsx").string(), dir.path().string());
    EXPECT_EQ(view.sheets, (std::vector<std::string>{"sat07", "Sat7 CN0 Chart", "Sat7 Freq Chart"}));
    EXPECT_EQ(view.chartParts, (std::vector<std::string>{"scatterChart|sat07!$A$1:$A$4|sat07!$J$1:$J$4",
                                                         "scatterChart|sat07!$A$1:$A$4|sat07!$E$1:$E$4"}));
    EXPECT_EQ(wbtest::AsDouble(view.formulas.at("sat07!J4")), 44.0);
}

// A table of more rows than a sheet holds (a 1 Hz run of more than twelve
// days) goes on in next sheets, each charted; here with sheets of two rows.
TEST(ExcelCharts, ATableLongerThanASheetGoesOnInTheNextSheets)
{
    REQUIRE_OPENPYXL();
    EXPECT_EQ(navsift::kSheetRows, 1048576);
    ScratchDir dir;
    std::string rows;
    for (int k = 0; k < 5; ++k) {
        char line[160];
        std::snprintf(line, sizeof line, "%12d,%12d,%12d,%12d,%12d,%12d,%12d,%12d,%12d,%12.1f\r\n", 2000 + k, 7, 1, 1,
                      -1500 + k, 0, 0, 0, 0, 41.0 + k);
        rows += line;
    }
    WriteFile(dir / "sat07.csv", rows);
    testing::internal::CaptureStdout();
    EXPECT_EQ(navsift::excel_sat_charts(7, (dir / "sat07.csv").string(), 2), 0);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "Making Charts...Saving Workbook...");
    wbtest::FileView view = wbtest::ReadBack((dir / "sat07.xlsx").string(), dir.path().string());
    EXPECT_EQ(view.sheets, (std::vector<std::string>{"sat07", "sat07 (2)", "sat07 (3)", "Sat7 CN0 Chart",
                                                     "Sat7 Freq Chart"}));
    ASSERT_EQ(view.chartParts.size(), 2u);
    EXPECT_EQ(view.chartParts[0], "scatterChart|sat07!$A$1:$A$2|sat07!$J$1:$J$2|'sat07 (2)'!$A$1:$A$2|"
                                  "'sat07 (2)'!$J$1:$J$2|'sat07 (3)'!$A$1|'sat07 (3)'!$J$1");
    EXPECT_EQ(wbtest::AsDouble(view.formulas.at("sat07 (3)!J1")), 45.0);

    // With a header line: the next sheets hold rows only, their series keep
    // the header's names.
    WriteFile(dir / "global_info.csv", GlobalInfo(3));
    testing::internal::CaptureStdout();
    EXPECT_EQ(navsift::excel_global_info_charts((dir / "global_info.csv").string(), 3), 0);
    testing::internal::GetCapturedStdout();
    const fs::path xlsx = dir / (dir.path().filename().string() + "_global_info.xlsx");
    view = wbtest::ReadBack(xlsx.string(), dir.path().string());
    EXPECT_EQ(view.sheets, (std::vector<std::string>{"global_info", "global_info (2)", "Speed Chart", "NCO Chart",
                                                     "Fix Status Chart", "CN0 Average"}));
    ASSERT_EQ(view.chartParts.size(), 4u);
    EXPECT_EQ(view.chartParts[0], "scatterChart|global_info!$O$1|global_info!$B$2:$B$3|global_info!$O$2:$O$3|"
                                  "global_info!$O$1|'global_info (2)'!$B$1|'global_info (2)'!$O$1");
}

TEST(ExcelCharts, GlobalInfoChartsAreNamedAfterTheirFolder)
{
    REQUIRE_OPENPYXL();
    ScratchDir dir;
    const fs::path folder = dir / "report" / "tracking_analysis";
    fs::create_directories(folder);
    WriteFile(folder / "global_info.csv", GlobalInfo(3));
    testing::internal::CaptureStdout();
    EXPECT_EQ(navsift::excel_global_info_charts((folder / "global_info.csv").string()), 0);
    testing::internal::GetCapturedStdout();

    const fs::path xlsx = folder / "tracking_analysis_global_info.xlsx";
    ASSERT_TRUE(fs::exists(xlsx));
    const wbtest::FileView view = wbtest::ReadBack(xlsx.string(), dir.path().string());
    EXPECT_EQ(view.sheets, (std::vector<std::string>{"global_info", "Speed Chart", "NCO Chart", "Fix Status Chart",
                                                     "CN0 Average"}));
    ASSERT_EQ(view.chartParts.size(), 4u);
    // The average CN0 with its maximum and minimum: three series on one time axis.
    EXPECT_EQ(view.chartParts[3],
              "scatterChart|global_info!$Q$1|global_info!$B$2:$B$4|global_info!$Q$2:$Q$4|"
              "global_info!$R$1|global_info!$B$2:$B$4|global_info!$R$2:$R$4|"
              "global_info!$S$1|global_info!$B$2:$B$4|global_info!$S$2:$S$4");
}

// The satellites' workbooks are built side by side; what the run prints and
// its status stay those of building them one after another, a workbook that
// cannot be saved included, whichever finishes first.
TEST(ExcelCharts, SatelliteWorkbooksOfARunReportInSatelliteOrder)
{
    ScratchDir dir;
    const std::map<int, int> rows_of = {{3, 30000}, {5, 200}, {7, 4000}, {9, 3}};
    for (const auto& [prn, count] : rows_of) {
        std::string rows;
        for (int k = 0; k < count; ++k) {
            char line[200];
            std::snprintf(line, sizeof line, "%12d,%12d,%12d,%12d,%12d,%12d,%12d,%12d,%12d,%12d,%12d,%12d,%12d\r\n",
                          2000 + k, prn, 1, 1, -1500 + k, 0, 0, 0, 0, 30 + k % 20, 0, 0, 0);
            rows += line;
        }
        WriteFile(dir / navsift::Format("sat%02d.csv", prn), rows);
    }
    fs::create_directory(dir / "sat05.xlsx");  // the workbook cannot take its place

    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    int status = 0;
    {
        // Built by navsift started once per workbook, three at a time, as a
        // tracking run builds them.
        navsift::ChartWorkbookQueue queue(3, navsift::ChartWorkbookQueue::kWorkbookBytes, NavsiftPath());
        status = navsift::cn0_analysis(dir.path().string() + "/", &queue);
        if (queue.Finish() != 0) {
            status = 1;
        }
    }
    const std::string out = testing::internal::GetCapturedStdout();
    const std::string err = testing::internal::GetCapturedStderr();

    EXPECT_EQ(status, 1);
    EXPECT_EQ(out,
              "CN0 Analysis:\r\n"
              "Sat 3 processing...Making Charts...Saving Workbook...done\r\n"
              "Sat 5 processing...Making Charts...Saving Workbook...\ndone\r\n"
              "Sat 7 processing...Making Charts...Saving Workbook...done\r\n"
              "Sat 9 processing...Making Charts...Saving Workbook...done\r\n");
    EXPECT_NE(err.find("sat05.csv"), std::string::npos) << err;
    EXPECT_EQ(err.find("sat07"), std::string::npos) << err;
    for (int prn : {3, 7, 9}) {
        EXPECT_TRUE(fs::is_regular_file(dir / navsift::Format("sat%02d.xlsx", prn))) << prn;
    }
    EXPECT_TRUE(fs::is_directory(dir / "sat05.xlsx"));
    EXPECT_NE(ReadFile(dir / "sat_cn0.csv").find("9,30\r\n9,31\r\n9,32\r\n"), std::string::npos);
}

}  // namespace
}  // namespace navsift_test

namespace navsift_test {
namespace {

// The CN0 list reads each satellite table in blocks: rows across a block's
// end and a last row without its line end are each listed once.
TEST(ExcelCharts, Cn0ListHoldsEveryRowOfALongTable)
{
    ScratchDir dir;
    std::string rows, expected;
    const int count = 20000;  // about 3 MB, several blocks
    for (int k = 0; k < count; ++k) {
        char line[200];
        std::snprintf(line, sizeof line, "%12d,%10d,%10d,%10d,%10d,%10d,%10d,%10d,%10d,%10d,%10d,%10d,%10d%s",
                      2000 + k, 4, 1, 1, -1500 + k, 0, 0, 0, 0, k % 61, 0, 0, 0, k + 1 < count ? "\r\n" : "");
        rows += line;
        expected += navsift::Format("4,%d\r\n", k % 61);
    }
    WriteFile(dir / "sat04.csv", rows);
    testing::internal::CaptureStdout();
    const int status = navsift::cn0_analysis(dir.path().string() + "/", false);
    testing::internal::GetCapturedStdout();
    EXPECT_EQ(status, 0);
    const std::string list = ReadFile(dir / "sat_cn0.csv");
    EXPECT_EQ(list, "1,0\r\n2,0\r\n3,0\r\n" + expected + list.substr(std::min(list.size(), 15 + expected.size())));
    EXPECT_NE(list.find("\r\n5,0\r\n"), std::string::npos);
}

}  // namespace
}  // namespace navsift_test
