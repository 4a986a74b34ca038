// The sensitivity report from the main window's menu: the results files of a
// power-step series picked in the dialog, questions answered through the
// prompt service, the workbook checked against statistics computed here.
#include <QAction>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <numeric>

#include "bench/reports/report_commands.h"
#include "bench/reports/sensitivity.h"
#include "tests/reports/report_bench.h"
#include "tests/session/benchtop_fixture.h"
#include "tests/support/qt_app.h"

namespace {

namespace fs = std::filesystem;
using platform::Answer;
using reptest::ResultsText;
using reptest::Ttffs;

bool AskedContains(const std::string& what) {
    for (const std::string& q : platform::Prompts::Instance().Asked())
        if (q.find(what) != std::string::npos) return true;
    return false;
}

// The statistics block of a level, worked out here: valid TTFFs are 0..300.
struct Stats {
    double trials, average, max, min, stdev, noFix;
};
Stats StatsOf(const std::vector<double>& t) {
    std::vector<double> valid;
    for (double v : t)
        if (v >= 0 && v <= 300) valid.push_back(v);
    const double n = static_cast<double>(valid.size());
    const double mean = std::accumulate(valid.begin(), valid.end(), 0.0) / n;
    double ss = 0;
    for (double v : valid) ss += (v - mean) * (v - mean);
    const double above = static_cast<double>(std::count_if(t.begin(), t.end(), [](double v) { return v > 300; }));
    return {static_cast<double>(t.size()), mean, *std::max_element(valid.begin(), valid.end()),
            *std::min_element(t.begin(), t.end()), std::sqrt(ss / (n - 1)), above / static_cast<double>(t.size()) * 100};
}

class Sensitivity : public benchtop_test::BenchtopTest {
protected:
    void SetUp() override {
        BenchtopTest::SetUp();
        top = std::make_unique<bench::Benchtop>(factory, nullptr, bench::BenchtopOptions{true});
        top->show();
        top->Reports().SetOpener([this](const std::string& f) {
            opened.push_back(f);
            return true;
        });
    }
    std::string Level(const std::string& name, const std::vector<double>& ttffs) {
        const std::string file = home->File(name);
        wbtest::WriteFile(file, ResultsText(Ttffs(ttffs)));
        return file;
    }
    void Run() {
        QAction* entry = top->Entry("Sensitivity");
        ASSERT_TRUE(entry && entry->isVisible());
        entry->trigger();
        ASSERT_TRUE(test::WaitFor([&] { return !top->Reports().Busy(); }, 20000));
    }
    workbook::Workbook* Book(const std::string& file) {
        return top->Reports().Context().HasApp() ? top->Reports().Context().App().FindWindow(file) : nullptr;
    }
    std::vector<std::string> opened;
};

const std::vector<double> kCold130{31.5, 28.25, 40, 35.75}, kCold135{45, 52.5, 48}, kCold140{70.25, 66, 81.5, 77},
    kHot125{2.5, 3, 2.75}, kHot130{4.5, 5.25, 3.75};

TEST_F(Sensitivity, ASeriesGivesLevelSheetsAResumeAndAChartPerStartType) {
    auto& p = platform::Prompts::Instance();
    // Picked in no particular order: the report is the same whatever the clicks.
    p.QueueFileNames({Level("R1_TTFF_HOT_NMEA_Results_PW-130.txt", kHot130),
                      Level("R1_TTFF_COLD_NMEA_Results_PW-135.txt", kCold135),
                      Level("R1_TTFF_COLD_NMEA_Results_PW-140.txt", kCold140),
                      Level("R1_TTFF_HOT_NMEA_Results_PW-125.txt", kHot125),
                      Level("R1_TTFF_COLD_NMEA_Results_PW-130.txt", kCold130)});
    p.QueueText("40");  // HOT
    p.QueueText("45");  // COLD
    p.QueueAnswer(Answer::Yes);
    Run();
    EXPECT_TRUE(AskedContains("HOT: MAX Signal Strenght [dB  or dBm]"));
    EXPECT_TRUE(AskedContains("COLD: MAX Signal Strenght [dB  or dBm]"));
    EXPECT_FALSE(AskedContains("WARM: MAX")) << "no WARM files, no question";
    const std::string report = home->File("R1TTFF.xlsx");
    ASSERT_EQ(opened, std::vector<std::string>{report});
    workbook::Workbook* wb = Book(report);
    ASSERT_NE(wb, nullptr);
    std::vector<std::string> sheets;
    for (int i = 1; i <= wb->Count(); ++i) sheets.push_back(wb->Sheets(i).Name());
    EXPECT_EQ(sheets, (std::vector<std::string>{"-130COLD", "-135COLD", "-140COLD", "-125HOT", "-130HOT", "Resume",
                                                "HOT", "COLD"}));

    // A level sheet: TTFF and trial number kept, statistics, frame, C:P hidden.
    workbook::Worksheet& level = wb->Worksheets("-140COLD");
    EXPECT_EQ(level.ValueAt(1, 1).Text(), "TTFF [s]");
    for (size_t i = 0; i < kCold140.size(); ++i) {
        EXPECT_EQ(level.ValueAt(static_cast<int>(i) + 2, 1).Number(), kCold140[i]);
        EXPECT_EQ(level.ValueAt(static_cast<int>(i) + 2, 2).Number(), static_cast<double>(i + 1));
    }
    EXPECT_TRUE(level.ValueAt(2, 3).IsNumber()) << "the fix time is kept, hidden";
    EXPECT_TRUE(level.ValueAt(2, 4).IsEmpty()) << "the other sentence columns are gone";
    EXPECT_TRUE(level.ColumnHidden(3) && level.ColumnHidden(16) && !level.ColumnHidden(17));
    const workbook::Style frame = level.EffectiveStyle(9, 21);
    EXPECT_EQ(frame.fillColorIndex.value_or(0), 6);
    ASSERT_TRUE(frame.border[workbook::kBottom].has_value());
    EXPECT_EQ(frame.border[workbook::kBottom]->weight, workbook::xl::Thick);

    // "Resume": COLD strengths 35, 40, 45 from the weakest up, each row with
    // its own level's statistics.
    workbook::Worksheet& resume = wb->Worksheets("Resume");
    struct Row { double cn0; const char* sheet; const std::vector<double>* t; };
    const Row cold[] = {{35, "-140COLD", &kCold140}, {40, "-135COLD", &kCold135}, {45, "-130COLD", &kCold130}};
    const Row hot[] = {{35, "-130HOT", &kHot130}, {40, "-125HOT", &kHot125}};
    auto check = [&](int col, const Row& r, int row) {
        SCOPED_TRACE(r.sheet);
        const Stats s = StatsOf(*r.t);
        EXPECT_EQ(resume.ValueAt(row, col).Number(), r.cn0);
        EXPECT_FALSE(resume.Find(row, col)->HasFormula()) << "a value, not a formula";
        EXPECT_EQ(resume.GetRange(workbook::ColumnLetters(col + 1) + std::to_string(row)).Formula(),
                  "='" + std::string(r.sheet) + "'!U4");
        const double expected[] = {s.trials, s.average, s.max, s.min, s.stdev, s.noFix};
        for (int k = 0; k < 6; ++k) EXPECT_NEAR(resume.ValueAt(row, col + 1 + k).Number(), expected[k], 1e-9) << k;
    };
    for (int i = 0; i < 3; ++i) check(23, cold[i], 4 + i);
    for (int i = 0; i < 2; ++i) check(1, hot[i], 4 + i);
    EXPECT_TRUE(resume.ValueAt(3, 23).IsEmpty() && resume.ValueAt(7, 24).IsEmpty());
    EXPECT_EQ(resume.ValueAt(2, 23).Text(), "CN0 [dB]");
    EXPECT_EQ(resume.ValueAt(1, 23).Text(), "COLD") << "the title moved into the merged cell";
    EXPECT_EQ(resume.ValueAt(1, 1).Text(), "HOT");
    EXPECT_EQ(resume.EffectiveStyle(1, 23).fillColorIndex.value_or(0), 33);
    EXPECT_EQ(resume.EffectiveStyle(1, 1).fillColorIndex.value_or(0), 3);
    EXPECT_TRUE(resume.ColumnHidden(12) && resume.ColumnHidden(22)) << "no WARM block";
    EXPECT_FALSE(resume.ColumnHidden(1) || resume.ColumnHidden(23));

    auto* coldSheet = dynamic_cast<workbook::ChartSheet*>(&wb->Sheets("COLD"));
    ASSERT_NE(coldSheet, nullptr);
    workbook::Chart& chart = coldSheet->GetChart();
    EXPECT_EQ(chart.Type(), workbook::ChartType::XYScatterLines);
    EXPECT_EQ(chart.Title(), "COLD Start Sesitivity");
    EXPECT_FALSE(chart.HasLegend());
    ASSERT_EQ(chart.SeriesCount(), 1);
    EXPECT_EQ(chart.SeriesCollection(1).XValuesRef()[0].area.col1, 23);
    EXPECT_EQ(chart.SeriesCollection(1).ValuesRef()[0].area.col1, 25);
    EXPECT_EQ(chart.SeriesCollection(1).ValuesRef()[0].area.row1, 4);
    EXPECT_EQ(chart.Axes(workbook::xl::Category).MinimumScale(), 33);
    // The lowest average (33.875 s) less 2, down to a whole major unit.
    EXPECT_EQ(chart.Axes(workbook::xl::ValueAxis).MinimumScale(), 30);
    EXPECT_EQ(chart.Axes(workbook::xl::ValueAxis).MajorUnit(), 2);

    REQUIRE_OPENPYXL();
    wbtest::FileView f = wbtest::ReadBack(report, home->Path());
    EXPECT_EQ(f.sheets, sheets);
    EXPECT_EQ(f.kinds["HOT"], "Chartsheet");
    EXPECT_EQ(f.formulas["Resume!Y5"], "='-135COLD'!U5");
    EXPECT_NE(std::find(f.merges.begin(), f.merges.end(), "Resume!W1:AC1"), f.merges.end());
    if (!wbtest::HaveSsconvert()) GTEST_SKIP() << "gnumeric's ssconvert is missing";
    std::vector<std::string> cells;
    for (int row = 4; row <= 6; ++row)
        for (const char* c : {"X", "Y", "Z", "AA", "AB", "AC"}) cells.push_back("Resume!" + std::string(c) + std::to_string(row));
    const auto again = reptest::Recomputed(report, home->Path(), cells);
    for (int i = 0; i < 3; ++i) {
        const Stats s = StatsOf(*cold[i].t);
        const double expected[] = {s.trials, s.average, s.max, s.min, s.stdev, s.noFix};
        const char* cols[] = {"X", "Y", "Z", "AA", "AB", "AC"};
        for (int k = 0; k < 6; ++k) {
            const std::string cell = "Resume!" + std::string(cols[k]) + std::to_string(4 + i);
            ASSERT_EQ(again.count(cell), 1u) << cell;
            EXPECT_NEAR(wbtest::AsDouble(again.at(cell)), expected[k], 1e-9 * std::max(1.0, std::fabs(expected[k])))
                << cell;
        }
    }
}

TEST_F(Sensitivity, FewerThanThreeFilesAreRefusedAndNoQuitsTheApplication) {
    auto& p = platform::Prompts::Instance();
    p.QueueFileNames({Level("R2_TTFF_COLD_NMEA_Results_PW-130.txt", kCold130),
                      Level("R2_TTFF_COLD_NMEA_Results_PW-135.txt", kCold135)});
    Run();
    EXPECT_TRUE(AskedContains("You must select more then 2 files"));
    EXPECT_FALSE(fs::exists(home->File("R2TTFF.xlsx")));
    EXPECT_FALSE(AskedContains("MAX Signal"));

    p.QueueFileNames({home->File("R2_TTFF_COLD_NMEA_Results_PW-130.txt"),
                      home->File("R2_TTFF_COLD_NMEA_Results_PW-135.txt"),
                      Level("R2_TTFF_COLD_NMEA_Results_PW-140.txt", kCold140)});
    p.QueueText("-120.5");
    p.QueueAnswer(Answer::No);
    Run();
    ASSERT_TRUE(fs::exists(home->File("R2TTFF.xlsx")));
    EXPECT_FALSE(top->Reports().Context().HasApp()) << "No quits the report application";
    EXPECT_TRUE(opened.empty());
}

TEST_F(Sensitivity, UnreadableNamesAndLevelsWithoutAFixAreNamedAndLeftOut) {
    auto& p = platform::Prompts::Instance();
    p.QueueFileNames({Level("R3_TTFF_WARM_NMEA_Results_PW-130.txt", {20, 22, 24}),
                      Level("R3_TTFF_WARM_NMEA_Results_PWabc.txt", {20, 22}),
                      Level("R3_TTFF_WARM_NMEA_Results_PW-135.txt", {400, 500, -1}),
                      Level("R3_TTFF_WARM_NMEA_Results_PW-140.txt", {60}),
                      Level("R3_TTFF_WARM_NMEA_Results_PW-145.txt", {80, 90}),
                      home->File("R3_TTFF_WARM_NMEA_Results_PW-150.txt")});  // picked, then moved away
    p.QueueText("38");
    p.QueueAnswer(Answer::Yes);
    Run();
    EXPECT_TRUE(AskedContains("R3_TTFF_WARM_NMEA_Results_PW-150.txt: the file is missing (" +
                              home->File("R3_TTFF_WARM_NMEA_Results_PW-150.txt") + ")"));
    EXPECT_TRUE(AskedContains("R3_TTFF_WARM_NMEA_Results_PWabc.txt: the power level \"abc\" is not a number"));
    EXPECT_TRUE(AskedContains("R3_TTFF_WARM_NMEA_Results_PW-135.txt: no valid fix"));
    EXPECT_TRUE(AskedContains("R3_TTFF_WARM_NMEA_Results_PW-140.txt: one trial only"));
    workbook::Workbook* wb = Book(home->File("R3TTFF.xlsx"));
    ASSERT_NE(wb, nullptr);
    EXPECT_NE(wb->FindSheet("-135WARM"), nullptr) << "its trials still get their sheet";
    workbook::Worksheet& one = wb->Worksheets("-140WARM");
    EXPECT_EQ(one.ValueAt(4, 21).Number(), 1);
    EXPECT_TRUE(one.ValueAt(5, 21).IsEmpty()) << "one trial: nothing past TRIALS";
    EXPECT_FALSE(one.ColumnHidden(3));
    workbook::Worksheet& resume = wb->Worksheets("Resume");
    // Two levels in the WARM block: -145 (23 dB) and -130 (38 dB).
    EXPECT_EQ(resume.ValueAt(4, 12).Number(), 23);
    EXPECT_EQ(resume.ValueAt(5, 12).Number(), 38);
    EXPECT_EQ(resume.GetRange("M4").Formula(), "='-145WARM'!U4");
    EXPECT_TRUE(resume.ValueAt(6, 12).IsEmpty());
    EXPECT_EQ(resume.ValueAt(1, 12).Text(), "WARM");
}

TEST_F(Sensitivity, ASignalStrengthThatIsNoNumberBuildsNothing) {
    auto& p = platform::Prompts::Instance();
    const std::string report = home->File("R4TTFF.xlsx");
    wbtest::WriteFile(report, "an older report");
    p.QueueFileNames({Level("R4_TTFF_HOT_NMEA_Results_PW-130.txt", kHot130),
                      Level("R4_TTFF_HOT_NMEA_Results_PW-125.txt", kHot125),
                      Level("R4_TTFF_HOT_NMEA_Results_PW-120.txt", kHot125)});
    p.QueueAnswer(Answer::Yes);  // replace the older report
    p.QueueText("4O,5");
    Run();
    EXPECT_TRUE(AskedContains("\"4O,5\" is not a number"));
    EXPECT_EQ(test::ReadFileBytes(report), "an older report") << "nothing built, nothing deleted";
    EXPECT_FALSE(AskedContains("Test Session Completed"));
}

// The value (left) axis of each saved chart: "min major" as written.
std::string SavedValueAxis(const std::string& xlsx, const std::string& dir) {
    wbtest::WriteFile(dir + "/axis.py", R"PY(
import sys, zipfile, re
z = zipfile.ZipFile(sys.argv[1])
for n in sorted(z.namelist()):
    if re.match(r'xl/charts/chart\d+\.xml$', n):
        x = z.read(n).decode('utf-8')
        for v in re.findall(r'<c:valAx>.*?</c:valAx>', x, re.S):
            if '<c:axPos val="l"/>' not in v: continue
            lo = re.search(r'<c:min val="([^"]*)"', v)
            mu = re.search(r'<c:majorUnit val="([^"]*)"', v)
            print('%s %s' % (lo.group(1) if lo else '-', mu.group(1) if mu else '-'))
)PY");
    std::string out;
    EXPECT_EQ(wbtest::Run(wbtest::Python() + " " + dir + "/axis.py '" + xlsx + "'", out), 0);
    return out;
}

TEST_F(Sensitivity, TheAverageAxisStartsOnAWholeMajorUnit) {
    auto& p = platform::Prompts::Instance();
    // Averages 2.015 s, 24.5 s and 80.25 s.
    const std::vector<double> fast{2.01, 2.02, 2.01, 2.02}, mid{24, 25}, slow{80, 80.5};
    p.QueueFileNames({Level("R6_TTFF_HOT_NMEA_Results_PW-125.txt", fast),
                      Level("R6_TTFF_HOT_NMEA_Results_PW-130.txt", mid),
                      Level("R6_TTFF_HOT_NMEA_Results_PW-135.txt", slow)});
    p.QueueText("40");
    p.QueueAnswer(Answer::Yes);
    Run();
    const std::string report = home->File("R6TTFF.xlsx");
    workbook::Workbook* wb = Book(report);
    ASSERT_NE(wb, nullptr);
    auto* hot = dynamic_cast<workbook::ChartSheet*>(&wb->Sheets("HOT"));
    ASSERT_NE(hot, nullptr);
    const workbook::Axis& y = hot->GetChart().Axes(workbook::xl::ValueAxis);
    const double lowest = StatsOf(fast).average;
    ASSERT_NEAR(lowest, 2.015, 1e-12);
    // Below the lowest average less 2, by less than one major unit, on a whole unit.
    EXPECT_EQ(y.MajorUnit(), 2);
    EXPECT_EQ(y.MinimumScale(), 0);
    EXPECT_LE(y.MinimumScale(), lowest - 2);
    EXPECT_GT(y.MinimumScale(), lowest - 2 - y.MajorUnit());
    REQUIRE_OPENPYXL();
    EXPECT_EQ(SavedValueAxis(report, home->Path()), "0 2\n") << "whole labels 0, 2, 4 ... in the saved chart";
}

TEST_F(Sensitivity, ALevelWrittenTwoWaysIsOneSheetAndOneResumeRow) {
    auto& p = platform::Prompts::Instance();
    p.QueueFileNames({Level("R5_TTFF_COLD_NMEA_Results_PW-130.txt", kCold130),
                      Level("R5_TTFF_COLD_NMEA_Results_PW-130.0.txt", {90, 95, 99}),
                      Level("R5_TTFF_COLD_NMEA_Results_PW-135.txt", kCold135),
                      Level("R5_TTFF_COLD_NMEA_Results_PW-140.txt", kCold140)});
    p.QueueText("45");
    p.QueueAnswer(Answer::Yes);
    Run();
    EXPECT_TRUE(AskedContains("R5_TTFF_COLD_NMEA_Results_PW-130.0.txt: its level and start type repeat "
                              "R5_TTFF_COLD_NMEA_Results_PW-130.txt"));
    const std::string report = home->File("R5TTFF.xlsx");
    REQUIRE_OPENPYXL();
    wbtest::FileView f = wbtest::ReadBack(report, home->Path());
    EXPECT_EQ(f.sheets, (std::vector<std::string>{"-130COLD", "-135COLD", "-140COLD", "Resume", "COLD"}));
    // Rows 4..6 hold 35, 40 and 45 dB; nothing below them.
    const double cn0[] = {35, 40, 45};
    for (int i = 0; i < 3; ++i) EXPECT_EQ(wbtest::AsDouble(f.cached["Resume!W" + std::to_string(4 + i)]), cn0[i]);
    EXPECT_EQ(f.formulas.count("Resume!W7"), 0u);
    EXPECT_EQ(f.formulas.count("Resume!X7"), 0u);
    EXPECT_NEAR(wbtest::AsDouble(f.cached["Resume!Y6"]), StatsOf(kCold130).average, 1e-9)
        << "the -130 row: the file named as the bench names it";
    EXPECT_NEAR(wbtest::AsDouble(f.cached["Resume!Y5"]), StatsOf(kCold135).average, 1e-9);
}

TEST(SensitivityNames, LevelTypeAndReportNameFromTheFileName) {
    bench::reports::LevelFile l;
    EXPECT_EQ(bench::reports::ParseLevelFile("/x/R1_TTFF_cold_NMEA_Results_PW-130.txt", l), "");
    EXPECT_EQ(l.level, "-130");
    EXPECT_EQ(l.sheet, "-130COLD");
    EXPECT_EQ(l.block, "COLD") << "the type field in any case";
    EXPECT_EQ(bench::reports::ParseLevelFile("HOTBOX_TTFF_COLD_NMEA_Results_PW-132.5.txt", l), "");
    EXPECT_EQ(l.sheet, "-132.5HOT") << "the sheet takes the last type found in the name";
    EXPECT_EQ(l.block, "COLD");
    EXPECT_NE(bench::reports::ParseLevelFile("R1_COLD_Results_PW-130.txt", l), "");
    EXPECT_NE(bench::reports::ParseLevelFile("R1_TTFF_XX_NMEA_Results_PW-130.txt", l), "");
    EXPECT_NE(bench::reports::ParseLevelFile("R1_TTFF_COLD_NMEA_Results_PW.txt", l), "");
    EXPECT_EQ(bench::reports::SensitivityReportName("R1_TTFF_COLD_NMEA_Results_PW-130.txt"), "R1TTFF");
    EXPECT_EQ(bench::reports::SensitivityReportName("a_b_c_COLD_NMEA_Results_PW-1.txt"), "abc");
}

TEST_F(Sensitivity, AHalfDecibelLevelIsTheSameValueInItsSheetNameResumeRowAndChart) {
    auto& p = platform::Prompts::Instance();
    p.QueueFileNames({Level("R8_TTFF_COLD_NMEA_Results_PW-125.txt", kCold130),
                      Level("R8_TTFF_COLD_NMEA_Results_PW-130.txt", kCold135),
                      Level("R8_TTFF_COLD_NMEA_Results_PW-135.5.txt", kCold140)});
    p.QueueText("45");
    p.QueueAnswer(Answer::Yes);
    Run();
    workbook::Workbook* wb = Book(home->File("R8TTFF.xlsx"));
    ASSERT_NE(wb, nullptr);
    EXPECT_NE(wb->FindSheet("-135.5COLD"), nullptr);
    workbook::Worksheet& resume = wb->Worksheets("Resume");
    // 45 dB at -125, so -135.5 is 34.5 dB.
    EXPECT_EQ(resume.ValueAt(4, 23).Number(), 34.5);
    EXPECT_EQ(resume.GetRange("X4").Formula(), "='-135.5COLD'!U4");
    EXPECT_EQ(resume.ValueAt(5, 23).Number(), 40);
    EXPECT_EQ(resume.ValueAt(6, 23).Number(), 45);
    auto* cs = dynamic_cast<workbook::ChartSheet*>(&wb->Sheets("COLD"));
    ASSERT_NE(cs, nullptr);
    EXPECT_EQ(cs->GetChart().Axes(workbook::xl::Category).MinimumScale(), 32.5) << "the chart starts 2 dB below 34.5";
}

}  // namespace
