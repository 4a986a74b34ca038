// The statistics block and the valid-TTFF column of a test sheet.
#include "tests/reports/report_bench.h"

namespace {

using namespace reptest;

class Statistics : public ReportTest {};

// 30 trials, three of them above 300 s.
std::vector<double> ThirtyTrials() {
    std::vector<double> v;
    for (int i = 0; i < 30; ++i) v.push_back(20 + i * 3.5);
    v[4] = 301;
    v[11] = 450.5;
    v[25] = 999;
    return v;
}

TEST_F(Statistics, ThirtyTrialsGiveTheBlockWithItsExactFormulasAndFormats) {
    const std::vector<double> t = ThirtyTrials();
    workbook::Worksheet& ws = Report("x_COLD_NMEA_Results", Ttffs(t));
    EXPECT_EQ(ws.GetRange("T4").GetValue().Text(), "TRIALS");
    EXPECT_EQ(Num(ws, "U4"), 30);
    const char* labels[] = {"AVERAGE", "MAX", "MIN", "ST_DEV", "% No Fix"};
    for (int i = 0; i < 5; ++i) EXPECT_EQ(ws.ValueAt(5 + i, 20).Text(), labels[i]);
    EXPECT_EQ(Formula(ws, "U5"), "=AVERAGE( AD2 : AD31)");
    EXPECT_EQ(Formula(ws, "U6"), "=IF(COUNT(AD2:AD31)>0,MAX(AD2:AD31),\"\")");
    EXPECT_EQ(Formula(ws, "U7"), "=IF(COUNT(AD2:AD31)>0,MIN(AD2:AD31),\"\")");
    EXPECT_EQ(Formula(ws, "U8"), "=STDEV(AD2:AD31)");
    EXPECT_EQ(Formula(ws, "U9"), "=(U4-COUNT(AD2:AD31))/U4*100");
    EXPECT_EQ(ws.GetRange("U5").NumberFormat(), "0.00");
    EXPECT_EQ(ws.GetRange("U8").NumberFormat(), "0.00");
    EXPECT_EQ(ws.GetRange("U9").NumberFormat(), "0.00");
    EXPECT_EQ(ws.GetRange("AD1").GetValue().Text(), "TTFF < 300 [s] ");

    // The valid values, packed in trial order, computed here independently.
    std::vector<double> valid;
    for (double v : t)
        if (v <= 300) valid.push_back(v);
    ASSERT_EQ(valid.size(), 27u);
    for (size_t k = 0; k < valid.size(); ++k) EXPECT_EQ(ws.ValueAt(static_cast<int>(k) + 2, 30).Number(), valid[k]);
    EXPECT_TRUE(ws.ValueAt(29, 30).IsEmpty());
    double sum = 0, mx = 0;
    for (double v : valid) sum += v, mx = std::max(mx, v);
    const double mean = sum / valid.size();
    double ss = 0;
    for (double v : valid) ss += (v - mean) * (v - mean);
    EXPECT_NEAR(Num(ws, "U5"), mean, 1e-9);
    EXPECT_EQ(Num(ws, "U6"), mx);
    EXPECT_EQ(Num(ws, "U7"), 20);
    EXPECT_NEAR(Num(ws, "U8"), std::sqrt(ss / (valid.size() - 1)), 1e-9);
    EXPECT_NEAR(Num(ws, "U9"), 10, 1e-12);
}

TEST_F(Statistics, TheLimitItselfIsValidAndTheBenchLimitIsReadWhenBuilt) {
    host.maxTtff = 120;
    workbook::Worksheet& ws = Report("y_COLD_NMEA_Results", Ttffs({120, 119.99, 120.01, 60}));
    EXPECT_EQ(Formula(ws, "U9"), "=(U4-COUNT(AD2:AD5))/U4*100");
    EXPECT_EQ(ws.GetRange("AD1").GetValue().Text(), "TTFF < 120 [s] ");
    EXPECT_EQ(ws.ValueAt(2, 30).Number(), 120) << "a TTFF equal to the limit is valid";
    EXPECT_EQ(ws.ValueAt(3, 30).Number(), 119.99);
    EXPECT_EQ(ws.ValueAt(4, 30).Number(), 60);
    EXPECT_NEAR(Num(ws, "U9"), 25, 1e-12) << "only 120.01 is above the limit";
}

TEST_F(Statistics, MeasureErrorsAreNoFixes) {
    // A device that cannot measure writes -1.
    workbook::Worksheet& ws = Report("e_COLD_NMEA_Results", Ttffs({-1, 30, 40, -1}));
    EXPECT_EQ(ws.ValueAt(2, 30).Number(), 30);
    EXPECT_EQ(ws.ValueAt(3, 30).Number(), 40);
    EXPECT_TRUE(ws.ValueAt(4, 30).IsEmpty());
    EXPECT_NEAR(Num(ws, "U5"), 35, 1e-12) << "the average is of real fixes";
    EXPECT_EQ(Num(ws, "U7"), 30) << "the minimum is of real fixes, not the error mark";
    EXPECT_NEAR(Num(ws, "U9"), 50, 1e-12) << "both error marks are trials without a fix";
}

TEST_F(Statistics, NoValidTrialShowsDivisionErrorsNeverNumbers) {
    workbook::Worksheet& ws = Report("n_COLD_NMEA_Results", Ttffs({301, 400, 500}));
    EXPECT_TRUE(ws.GetRange("U5").GetValue().IsError());
    EXPECT_TRUE(ws.GetRange("U8").GetValue().IsError());
    EXPECT_NEAR(Num(ws, "U9"), 100, 1e-12);
    // The charts and CEP are still made from what exists.
    EXPECT_NO_THROW(ChartOn("COLD CDF Chart"));
    EXPECT_NO_THROW(ChartOn("COLD Position Chart"));
    // No largest and no smallest time to first fix: empty, never 0 s.
    REQUIRE_OPENPYXL();
    const std::string file = Book().FullName();
    wbtest::FileView v = wbtest::ReadBack(file, dir.Path().string());
    for (const char* cell : {"COLD!U6", "COLD!U7"}) {
        EXPECT_TRUE(v.formulas.count(cell)) << cell;
        EXPECT_TRUE(v.cached[cell].empty() || v.cached[cell] == "None") << cell << " " << v.cached[cell];
    }
    REQUIRE_SSCONVERT();
    ExpectRecalculationAgrees(v, file, dir.Path().string(), 1e-6);
}

TEST_F(Statistics, HistogramSharesHaveAtMostThreeDecimalsAsTheirLabels) {
    REQUIRE_OPENPYXL();
    Report("h_COLD_NMEA_Results", Ttffs({26, 31, 300}));
    const std::string file = Book().FullName();
    wbtest::FileView v = wbtest::ReadBack(file, dir.Path().string());
    // One, two and three of three trials: the bars' labels show the cells.
    EXPECT_EQ(v.cached["COLD!AF3"], "33.333");
    EXPECT_EQ(v.cached["COLD!AF4"], "66.667");
    EXPECT_EQ(v.cached["COLD!AF22"], "100");
    REQUIRE_SSCONVERT();
    EXPECT_GT(ExpectRecalculationAgrees(v, file, dir.Path().string(), 1e-6), 50);
}

}  // namespace
