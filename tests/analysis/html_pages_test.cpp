// The HTML pages of the tracking reports: exact bytes against reviewed
// reference pages, every link of a run's pages leading somewhere, and the
// satellite index page made by the real program beside a debug log.
#include <gtest/gtest.h>

#include <regex>

#include "analysis/core/gps_time.h"
#include "analysis/writers/html_pages.h"
#include "tests/analysis/navsift_harness.h"

namespace navsift_test {
namespace {

const fs::path kGoldenDir = fs::path(FIXBENCH_SOURCE_DIR) / "tests/analysis/golden";

int32_t Gps(int year, int month, int day, int hour, int minute, int second)
{
    return *navsift::calendar_to_gps(year, month, day, hour, minute, second);
}

// A satellite file as the tracking analysis writes it: one row a second.
std::string SatelliteRows(int first, int count)
{
    std::string rows;
    for (int k = 0; k < count; ++k) {
        rows += "  " + std::to_string(first + k) + ",   9,  1,  2,  3,  -1234,  5,  6,  7,  41.0\r\n";
    }
    return rows;
}

// Links of a page that lead nowhere: anchors missing from the page, files
// missing beside it (names compared with their exact case).
std::vector<std::string> DeadLinks(const fs::path& page)
{
    const std::string text = ReadFile(page);
    std::vector<std::string> dead;
    const std::regex href("<a href=\"([^\"]*)\">");
    for (auto it = std::sregex_iterator(text.begin(), text.end(), href); it != std::sregex_iterator(); ++it) {
        const std::string target = (*it)[1];
        if (target.rfind('#', 0) == 0) {
            const std::string name = target.substr(1);
            if (text.find("<a name=" + name + ">") == std::string::npos &&
                text.find("<a name=\"" + name + "\">") == std::string::npos) {
                dead.push_back(target);
            }
        } else if (target.find('\\') != std::string::npos || !fs::exists(page.parent_path() / target)) {
            dead.push_back(target);
        }
    }
    return dead;
}

TEST(HtmlPages, IntervalPageShowsOnlySatellitesWithDataUnderTheirOneSpelling)
{
    ScratchDir dir;
    WriteFile(dir / "sat09.csv", SatelliteRows(100, 2));
    WriteFile(dir / "sat05.csv", "");                     // empty: absent
    WriteFile(dir / "Sat12.csv", SatelliteRows(100, 2));  // another file, not satellite 12's
    const int32_t start = Gps(2010, 3, 1, 20, 0, 0);
    const int32_t end = Gps(2010, 3, 1, 23, 59, 59);
    ASSERT_TRUE(navsift::write_interval_report_page(dir.path().string(), start, end));

    const fs::path page = dir / "report_from_200000_01032010_to_235959_01032010.html";
    ASSERT_TRUE(fs::exists(page));
    EXPECT_EQ(ReadFile(page), ReadFile(kGoldenDir / "interval_page.html"));
}

TEST(HtmlPages, IntervalPageWithoutSatellitesKeepsTheTableAndThePositionSections)
{
    ScratchDir dir;
    const int32_t start = Gps(2011, 5, 5, 22, 0, 0);
    ASSERT_TRUE(navsift::write_interval_report_page(dir.path().string() + "/", start, start + 7199));
    const std::string page = ReadFile(dir / "report_from_220000_05052011_to_235959_05052011.html");
    EXPECT_EQ(CountOf(page, "<tr><td>Satellite "), 8);
    EXPECT_EQ(CountOf(page, "Satellite 32\n"), 1);
    EXPECT_EQ(CountOf(page, "<a href=\"#Sat"), 0);
    EXPECT_EQ(CountOf(page, "<a name=Sat"), 0);
    for (const char* anchor : {"<a name=3DPos>", "<a name=2DPos>", "<a name=Altitude>", "<a name=stat>"}) {
        EXPECT_EQ(CountOf(page, anchor), 1) << anchor;
    }
    EXPECT_EQ(CountOf(page, "<a href=\"../index.html\">Index</a>\n"), 4);
    EXPECT_EQ(page.substr(page.size() - 16), "</body>\n</html>\n");
}

TEST(HtmlPages, AWholeRunOfPagesHasNoDeadLink)
{
    ScratchDir dir;
    const fs::path report = dir / "report" / "tracking_analysis";
    fs::create_directories(report);
    navsift::IndexPage index;
    ASSERT_TRUE(index.open_index_page(report.string()));
    const int32_t day = Gps(2010, 3, 1, 0, 0, 0);
    const int32_t windows[2][2] = {{day + 72000, day + 86399}, {day + 86400, day + 86400 + 3599}};
    std::vector<fs::path> pages;
    for (const auto& w : windows) {
        const fs::path folder = report / navsift::interval_folder_name(w[0], w[1]);
        fs::create_directories(folder);
        WriteFile(folder / "sat03.csv", SatelliteRows(w[0], 3));
        WriteFile(folder / "sat31.csv", SatelliteRows(w[0], 1));
        ASSERT_TRUE(navsift::write_interval_report_page(folder.string(), w[0], w[1]));
        index.add_index_row(w[0], w[1]);
    }
    ASSERT_TRUE(index.Finish());
    EXPECT_EQ(ReadFile(report / "index.html"), ReadFile(kGoldenDir / "index_page.html"));

    EXPECT_EQ(DeadLinks(report / "index.html"), std::vector<std::string>{});
    for (const auto& w : windows) {
        const std::string name = navsift::interval_folder_name(w[0], w[1]);
        const fs::path page = report / name / ("report" + name.substr(7) + ".html");
        ASSERT_TRUE(fs::exists(page)) << page;
        EXPECT_EQ(DeadLinks(page), std::vector<std::string>{}) << page;
        EXPECT_EQ(CountOf(ReadFile(page), "<a name=Sat"), 2) << page;
    }
}

TEST(HtmlPages, AnIndexPageThatCannotBeCreatedIsReportedAndIgnoresRows)
{
    ScratchDir dir;
    navsift::IndexPage index;
    testing::internal::CaptureStderr();
    EXPECT_FALSE(index.open_index_page((dir / "no_such_folder").string()));
    index.add_index_row(1000000000, 1000003600);
    EXPECT_FALSE(index.Finish());
    const std::string err = testing::internal::GetCapturedStderr();
    EXPECT_NE(err.find("no_such_folder/index.html"), std::string::npos) << err;
    EXPECT_FALSE(fs::exists(dir / "no_such_folder"));
}

TEST(HtmlPages, SatelliteIndexPageOfADebugLogFromTheCommandLine)
{
    ScratchDir dir;
    fs::create_directories(dir / "logs" / "satdata");
    const std::string log = "debug log & <notes>.txt";
    WriteFile(dir / "logs" / log, "KALMAN \r\nGPS Week 1500 Time 3600\r\n");
    WriteFile(dir / "logs" / "satdata" / "sat03_CN0.emf", "x");
    WriteFile(dir / "logs" / "satdata" / "Sat20_CN0.emf", "x");  // not the name the page shows

    RunResult r = Navsift({"-d", (dir / "logs" / log).string(), "-r"}, dir.path());
    ASSERT_EQ(r.status, 0) << r.err;
    const fs::path page = dir / "logs" / "index.html";
    const std::string text = ReadFile(page);
    EXPECT_NE(text.find("<tr><td><a href=\"#Sat03\">Satellite  3</a>\n</td><td>Satellite 11\n"), std::string::npos);
    EXPECT_NE(text.find("<b><a name=Sat03>Satellite PRN  3</a></b>\n"), std::string::npos);
    EXPECT_NE(text.find("<img src=\"satdata/sat03_CN0.emf\" align=middle>\n"), std::string::npos);
    EXPECT_EQ(CountOf(text, "<a name=Sat"), 1);
    EXPECT_EQ(CountOf(text, "<br><a href=\"#INDEX\">Return To Index</a><br>\n"), 1);
    EXPECT_EQ(DeadLinks(page), std::vector<std::string>{});
    EXPECT_EQ(ReadFile(dir / "logs" / log), "KALMAN \r\nGPS Week 1500 Time 3600\r\n");

    // A log in the working folder, named without a folder, without a chart
    // beside it: a page would link nothing, so there is none, and the run
    // fails.
    WriteFile(dir / "plain.txt", "KALMAN \r\n");
    r = Navsift({"-d", "plain.txt", "-r"}, dir.path());
    EXPECT_EQ(r.status, 1) << r.err;
    EXPECT_NE(r.err.find("plain.txt: no satellite chart (satdata/satNN_CN0.emf) beside it"), std::string::npos) << r.err;
    EXPECT_FALSE(fs::exists(dir / "index.html"));

    // The same through -type, whose own word is the log type; the arguments
    // of other options are not the log either.
    fs::remove(dir / "logs" / "index.html");
    r = Navsift({"-type", "gps", "-e", dir.path().string(), (dir / "logs" / log).string(), "-r"}, dir.path());
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(fs::exists(dir / "logs" / "index.html"));
}

TEST(HtmlPages, SatelliteIndexPageNeverReplacesTheLogAndNeedsOne)
{
    ScratchDir dir;
    WriteFile(dir / "index.html", "a debug log under an unlucky name\r\n");
    RunResult r = Navsift({"-d", (dir / "index.html").string(), "-r"}, dir.path());
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("over the input"), std::string::npos) << r.err;
    EXPECT_EQ(ReadFile(dir / "index.html"), "a debug log under an unlucky name\r\n");

    r = Navsift({"-d", (dir / "missing.txt").string(), "-r"}, dir.path());
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("missing.txt"), std::string::npos) << r.err;
}

}  // namespace
}  // namespace navsift_test
