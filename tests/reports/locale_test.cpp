// Reports built while the process runs in a comma-decimal locale, as on a
// German lab PC, through the menu roads: the saved workbooks read back with
// openpyxl hold every number as the results files give it, their charts'
// points are their cells', and no part of the file writes a number with a
// comma.
#include <cmath>
#include <numeric>
#include <sstream>

#include "platform/core/numtext.h"
#include "tests/reports/menu_road.h"
#include "tests/reports/saved_charts.h"
#include "tests/support/comma_locale.h"

namespace {

using namespace reptest;
using platform::Answer;

using CommaLocaleReports = MenuRoadTest;

TEST_F(CommaLocaleReports, EveryNumberOfBothMenuReportsKeepsItsPoint) {
    REQUIRE_OPENPYXL();
    const std::vector<double> ttff{1.8, 2.6, 1.4, 33.25, 47.5, 302.75};
    std::vector<Fix> fixes = Ttffs(ttff);
    for (size_t i = 0; i < fixes.size(); ++i) fixes[i].lat = "4807.03" + std::to_string(i);
    const std::string menu = dir.File("RCV1_TTFF_COLD_NMEA_Results.txt");
    wbtest::WriteFile(menu, ResultsText(fixes));
    std::vector<std::string> levels;
    const std::vector<double> level[3] = {{31.5, 28.25, 40.75}, {45.5, 52.25, 48.5}, {70.25, 66.5, 81.5}};
    for (int i = 0; i < 3; ++i) {
        levels.push_back(dir.File("S1_TTFF_COLD_NMEA_Results_PW-" + std::to_string(130 + 5 * i) + ".txt"));
        wbtest::WriteFile(levels.back(), ResultsText(Ttffs(level[i])));
    }
    {
        test::CommaLocale comma;
        REQUIRE_COMMA_LOCALE(comma);
        auto& p = platform::Prompts::Instance();
        p.QueueFileName(menu);
        p.QueueAnswer(Answer::No);
        commands->GenerateExcelReport_Click();
        Wait();
        p.QueueFileNames(levels);
        p.QueueText("45,5");  // a comma typed for the strength is no number, here as anywhere
        commands->Sensitivity_Click();
        Wait();
        p.QueueFileNames(levels);
        p.QueueText("45.5");
        p.QueueAnswer(Answer::No);
        commands->Sensitivity_Click();
        Wait();
    }
    const std::string report = dir.File("RCV1_TTFF_COLD_NMEA_Results.xlsx");
    const std::string sensitivity = dir.File("S1TTFF.xlsx");
    for (const std::string& file : {report, sensitivity}) {
        SCOPED_TRACE(file);
        for (const std::string& c : CommaNumbers(file, dir.Path().string())) ADD_FAILURE() << c;
        for (const auto& [series, s] : ReadSavedCharts(file, dir.Path().string()).series) {
            EXPECT_EQ(s.differing, 0) << series;
            EXPECT_NE(s.yCount, "None") << series;
        }
    }
    // The cells as the results files give them, and their statistics.
    wbtest::FileView v = wbtest::ReadBack(report, dir.Path().string());
    for (size_t i = 0; i < ttff.size(); ++i) {
        const std::string row = std::to_string(i + 2);
        EXPECT_EQ(v.cached["COLD!A" + row], platform::NumberToText(ttff[i])) << row;
        EXPECT_NEAR(wbtest::AsDouble(v.cached["COLD!D" + row]), 48 + (7.03 + 0.001 * static_cast<double>(i)) / 60,
                    1e-12)
            << row;
    }
    const double mean = (1.8 + 2.6 + 1.4 + 33.25 + 47.5) / 5;
    EXPECT_NEAR(wbtest::AsDouble(v.cached["COLD!U5"]), mean, 1e-12);
    wbtest::FileView s = wbtest::ReadBack(sensitivity, dir.Path().string());
    EXPECT_NEAR(wbtest::AsDouble(s.cached["-130COLD!U5"]), (31.5 + 28.25 + 40.75) / 3, 1e-12);
    EXPECT_EQ(s.cached["Resume!W4"], "35.5") << "the weakest level, 10 below the strongest's 45.5";
    bool refused = false;
    for (const std::string& q : platform::Prompts::Instance().Asked())
        refused = refused || q.find("\"45,5\" is not a number") != std::string::npos;
    EXPECT_TRUE(refused) << "a strength typed with a comma";
}

}  // namespace
