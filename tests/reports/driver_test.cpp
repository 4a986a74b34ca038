// The whole report of a test: sheet order, the early stop, and the saved
// file as two independent programs read and recompute it.
#include <cmath>
#include <cstdlib>

#include "bench/reports/report_driver.h"
#include "platform/core/error.h"
#include "tests/reports/report_bench.h"

namespace {

using namespace reptest;

class Driver : public ReportTest {
protected:
    // 30 trials, two without a valid fix, fixes scattered a few metres around.
    std::vector<Fix> ThirtyTrials() {
        std::vector<Fix> out;
        for (int i = 0; i < 30; ++i) {
            Fix f{12.0 + (i * 7 % 23) + 0.25 * (i % 4)};
            char lat[32], lon[32];
            std::snprintf(lat, sizeof lat, "4807.%04d", 380 + (i * 13 % 29));
            std::snprintf(lon, sizeof lon, "01131.%04d", 10 + (i * 17 % 31));
            f.lat = lat;
            f.lon = lon;
            out.push_back(f);
        }
        out[6].ttff = 340;
        out[21].ttff = 512.5;
        return out;
    }
};

TEST_F(Driver, ATestBecomesItsSheetAndFiveChartSheetsInOrder) {
    Report("rcv_COLD_NMEA_Results", ThirtyTrials());
    workbook::Worksheet& hot = Report("rcv_COLD_NMEA_Results", ThirtyTrials(), "HOT");
    EXPECT_EQ(SheetNames(), (std::vector<std::string>{"COLD", "COLD HISTOGRAMM", "COLD CDF Chart", "COLD CEP Chart",
                                                      "COLD TTFF Chart", "COLD Position Chart", "HOT",
                                                      "HOT HISTOGRAMM", "HOT CDF Chart", "HOT CEP Chart",
                                                      "HOT TTFF Chart", "HOT Position Chart"}));
    EXPECT_TRUE(Book().Saved());
    EXPECT_GT(hot.ColumnWidth(20), workbook::Worksheet::kStandardWidth - 1) << "columns fitted";
    EXPECT_GE(hot.ColumnWidth(31), 7.0) << "the bin labels fit";
}

TEST_F(Driver, OneTrialOrNoneStopsAfterTheCountAndIsSaved) {
    workbook::Worksheet& one = Report("one_COLD_NMEA_Results", Ttffs({25}));
    EXPECT_EQ(Num(one, "U4"), 1);
    EXPECT_EQ(one.GetRange("T4").GetValue().Text(), "TRIALS");
    EXPECT_TRUE(one.GetRange("U5").GetValue().IsEmpty());
    EXPECT_EQ(SheetNames(), std::vector<std::string>{"COLD"});
    EXPECT_TRUE(Book().Saved()) << "closing it must lose nothing";

    // A file without a line is refused: no sheet of zeros at midnight.
    EXPECT_THROW(Report("none_COLD_NMEA_Results", {}), platform::BenchError);
    EXPECT_TRUE(ctx.Sheet(base, "COLD").Empty());
}

TEST_F(Driver, SavedReportReadsBackAndRecomputesToTheSameValues) {
    REQUIRE_OPENPYXL();
    Report("saved_COLD_NMEA_Results", ThirtyTrials());
    const std::string file = Book().FullName();
    const std::string d = dir.Path().string();
    wbtest::FileView v = wbtest::ReadBack(file, d);
    // The TTFF chart's sample numbers live on a hidden helper sheet at the end.
    EXPECT_EQ(v.sheets, (std::vector<std::string>{"COLD", "COLD HISTOGRAMM", "COLD CDF Chart", "COLD CEP Chart",
                                                  "COLD TTFF Chart", "COLD Position Chart", "_xvalues"}));
    EXPECT_EQ(v.states["_xvalues"], "hidden");
    EXPECT_EQ(v.kinds["COLD CDF Chart"], "Chartsheet");
    EXPECT_EQ(v.formulas["COLD!U9"], "=(U4-COUNT(AD2:AD31))/U4*100");
    EXPECT_EQ(v.formulas["COLD!AF2"], "=ROUND(COUNTIF(AD2:AD31,\"<=25  \")/U4*100,3)");
    EXPECT_EQ(v.numberFormats["COLD!U5"], "0.00");
    EXPECT_EQ(v.numberFormats["COLD!U12"], "#.0#");
    EXPECT_EQ(v.fonts["COLD!A1"], "bold");
    EXPECT_EQ(v.formulas["COLD!AE2"], "\xE2\x89\xA4" "25 sec");
    ASSERT_EQ(v.chartParts.size(), 5u);
    EXPECT_EQ(v.chartParts[0].substr(0, 9), "barChart|") << v.chartParts[0];
    for (size_t i = 1; i < 5; ++i) EXPECT_EQ(v.chartParts[i].substr(0, 13), "scatterChart|") << v.chartParts[i];
    EXPECT_NE(v.chartParts[4].find("COLD!$P$2:$P$31"), std::string::npos) << v.chartParts[4];
    EXPECT_NE(v.chartParts[4].find("COLD!$AK$2:$AK$101"), std::string::npos) << v.chartParts[4];

    // Every formula's stored value is what gnumeric computes from the file.
    REQUIRE_SSCONVERT();
    EXPECT_GT(ExpectRecalculationAgrees(v, file, d, 1e-6), 500) << "statistics, errors, curves and circles all compared";
}

}  // namespace
