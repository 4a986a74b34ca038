// The histogram, CDF and TTFF charts with their work tables.
#include "bench/reports/ttff_charts.h"
#include "bench/reports/ttff_statistics.h"
#include "tests/reports/report_bench.h"

namespace {

using namespace reptest;
namespace xl = workbook::xl;

class Charts : public ReportTest {};

TEST_F(Charts, HistogramBinsDependOnTheStartTypeAndCriteriaKeepTheirBlanks) {
    workbook::Worksheet& hot = Report("a_HOT_NMEA_Results", Ttffs({2.5, 4, 30, 90}), "HOT");
    EXPECT_EQ(hot.GetRange("AF1").GetValue().Text(), "HISTOGRAM");
    EXPECT_EQ(hot.GetRange("AE2").GetValue().Text(), "\xE2\x89\xA4" "1 sec");
    EXPECT_EQ(hot.GetRange("AE29").GetValue().Text(), "\xE2\x89\xA4" "300 sec");
    EXPECT_TRUE(hot.GetRange("AE30").GetValue().IsEmpty()) << "28 bins for HOT";
    EXPECT_EQ(Formula(hot, "AF2"), "=ROUND(COUNTIF(AD2:AD5,\"<=1  \")/U4*100,3)");
    EXPECT_EQ(Formula(hot, "AF29"), "=ROUND(COUNTIF(AD2:AD5,\"<=300  \")/U4*100,3)");
    EXPECT_NEAR(Num(hot, "AF5"), 50, 1e-12) << "cumulative: 2.5 and 4 are at most 4 s";

    workbook::Worksheet& cold = Report("b_cold_NMEA_Results", Ttffs({26, 31, 300}), "COLD");
    EXPECT_EQ(cold.GetRange("AE22").GetValue().Text(), "\xE2\x89\xA4" "300 sec");
    EXPECT_TRUE(cold.GetRange("AE23").GetValue().IsEmpty()) << "21 bins otherwise";
    EXPECT_EQ(Formula(cold, "AF2"), "=ROUND(COUNTIF(AD2:AD4,\"<=25  \")/U4*100,3)");
}

TEST_F(Charts, HistogramRangeRunsFromTheBinBeforeTheFirstFixToTheFirstFullBin) {
    {
        // Every fix within the first bound: one column.
        Report("c_COLD_NMEA_Results", Ttffs({10, 12, 20}));
        workbook::Chart& h = ChartOn("COLD HISTOGRAMM");
        ASSERT_EQ(h.SeriesCount(), 1);
        EXPECT_EQ(h.SeriesCollection(1).ValuesRef().at(0).area, workbook::Area::Make(2, 32, 2, 32));
        EXPECT_EQ(h.Type(), workbook::ChartType::ColumnClustered);
        EXPECT_EQ(h.Title(), "Histogram COLD Start");
        EXPECT_EQ(h.Axes(xl::Category).Title(), "time [s]");
        EXPECT_EQ(h.Axes(xl::ValueAxis).Title(), "% of samples");
        EXPECT_FALSE(h.HasLegend());
        EXPECT_TRUE(h.SeriesCollection(1).dataLabels);
        EXPECT_EQ(h.Axes(xl::Category).TickLabelFont().orientation.value_or(0), 45);
        EXPECT_EQ(h.Axes(xl::ValueAxis).MaximumScale(), 100);
        EXPECT_EQ(h.PlotArea().borderColorIndex.value_or(0), 33);
    }
    {
        // Fixes from 41 s, one trial without a valid fix: 100 % is never
        // reached, so the chart runs to the last bin, from the 40 s bin.
        Report("d_WARM_NMEA_Results", Ttffs({41, 52, 77, 400}), "WARM");
        workbook::Chart& h = ChartOn("WARM HISTOGRAMM");
        EXPECT_EQ(h.SeriesCollection(1).ValuesRef().at(0).area, workbook::Area::Make(5, 32, 22, 32));
        EXPECT_EQ(h.PlotArea().borderColorIndex.value_or(0), 45);
    }
    {
        // Nothing at or below 300 s: the search stops in the table.
        Report("e_HOT_NMEA_Results", Ttffs({350, 400}), "HOT");
        workbook::Chart& h = ChartOn("HOT HISTOGRAMM");
        EXPECT_EQ(h.SeriesCollection(1).ValuesRef().at(0).area, workbook::Area::Make(2, 32, 29, 32));
    }
}

TEST_F(Charts, CdfTableEndsTenSecondsPastTheLargestFixRoundedHalfToEven) {
    workbook::Worksheet& ws = Report("f_COLD_NMEA_Results", Ttffs({12, 15, 23.5}));
    EXPECT_EQ(Num(ws, "U6"), 23.5);
    EXPECT_EQ(ws.GetRange("Y1").GetValue().Text(), "CDF");
    EXPECT_EQ(Num(ws, "X36"), 34) << "23.5 + 10 rounds to the even 34";
    EXPECT_TRUE(ws.GetRange("X37").GetValue().IsEmpty());
    EXPECT_EQ(Formula(ws, "Y16"), "=COUNTIF(AD2:AD4,\"<=14\")/U4");
    EXPECT_NEAR(Num(ws, "Y16"), 1.0 / 3, 1e-12);
    EXPECT_NEAR(Num(ws, "Y36"), 1, 1e-12);
    // The first non-zero row is 14 (x = 12): five rows of lead-in.
    workbook::Chart& c = ChartOn("COLD CDF Chart");
    ASSERT_EQ(c.SeriesCount(), 1);
    EXPECT_EQ(c.SeriesCollection(1).XValuesRef().at(0).area, workbook::Area::Make(9, 24, 36, 24));
    EXPECT_EQ(c.SeriesCollection(1).ValuesRef().at(0).area, workbook::Area::Make(9, 25, 36, 25));
    EXPECT_EQ(c.Axes(xl::Category).MinimumScale(), 7);
    EXPECT_EQ(c.Axes(xl::Category).MaximumScale(), 34);
    EXPECT_EQ(c.Axes(xl::ValueAxis).MaximumScale(), 1);
    EXPECT_EQ(c.Axes(xl::ValueAxis).MajorUnit(), 0.1);
    EXPECT_EQ(c.Title(), "CDF COLD Start");
    EXPECT_EQ(c.Axes(xl::ValueAxis).Title(), "probability");
    EXPECT_EQ(c.Axes(xl::ValueAxis).TickLabelFont().name.value_or(""), "Arial");
}

TEST_F(Charts, CdfThatStartsWithinFiveRowsOrNeverShowsTheWholeTable) {
    // First fix at 3 s: the first non-zero row is 5, too close for a lead-in.
    Report("g_COLD_NMEA_Results", Ttffs({3, 5}));
    workbook::Chart& c = ChartOn("COLD CDF Chart");
    EXPECT_EQ(c.SeriesCollection(1).XValuesRef().at(0).area.row1, 2);
    EXPECT_EQ(c.Axes(xl::Category).MinimumScale(), 0);

    // No valid fix at all.
    Report("h_HOT_NMEA_Results", Ttffs({500, 600}), "HOT");
    workbook::Chart& none = ChartOn("HOT CDF Chart");
    EXPECT_EQ(none.SeriesCollection(1).XValuesRef().at(0).area, workbook::Area::Make(2, 24, 12, 24));
}

TEST_F(Charts, TtffChartPlotsTheValidFixesWithTheAverageLine) {
    workbook::Worksheet& ws = Report("i_COLD_NMEA_Results", Ttffs({30, 500, 40, 50}));
    workbook::Chart& c = ChartOn("COLD TTFF Chart");
    ASSERT_EQ(c.SeriesCount(), 2);
    EXPECT_EQ(c.SeriesCollection(1).Name(), "TTFF [s]");
    EXPECT_EQ(c.SeriesCollection(1).ValuesRef().at(0).area, workbook::Area::Make(2, 30, 5, 30));
    EXPECT_EQ(c.SeriesCollection(1).YData(), (std::vector<double>{30, 40, 50}));
    const workbook::Series& avg = c.SeriesCollection(2);
    EXPECT_EQ(avg.Name(), "AVERAGE");
    ASSERT_EQ(avg.XValuesRef().size(), 2u);
    EXPECT_EQ(avg.XValuesRef()[0].area, workbook::Area::Cell(2, 2)) << "from the first trial number";
    EXPECT_EQ(avg.XValuesRef()[1].area, workbook::Area::Cell(4, 21)) << "to the trial count";
    EXPECT_EQ(avg.YData(), (std::vector<double>{40, 40}));
    EXPECT_EQ(avg.lineColorIndex.value_or(0), 3);
    EXPECT_EQ(avg.markerStyle.value_or(0), xl::MarkerDiamond);
    EXPECT_EQ(c.Axes(xl::Category).MaximumScale(), 4) << "x runs to U4 even with fewer points";
    EXPECT_EQ(c.Axes(xl::Category).MinimumScale(), 0);
    EXPECT_EQ(c.LegendPosition(), xl::LegendBottom);
    EXPECT_EQ(c.Title(), "TTFF COLD Start");
    (void)ws;
}

TEST_F(Charts, OtherSheetNamesKeepTheDefaultPlotAreaAndQuoteTheirReferences) {
    Report("j_NMEA_Results_x_cold", Ttffs({30, 40, 50}), "SYNC COLD");
    workbook::Chart& c = ChartOn("SYNC COLD TTFF Chart");
    EXPECT_FALSE(c.PlotArea().borderColorIndex.has_value());
    EXPECT_EQ(c.SeriesCollection(2).XValuesRef().at(0).sheet, "SYNC COLD");
    EXPECT_EQ(c.SeriesCollection(2).YData(), (std::vector<double>{40, 40}));
}

}  // namespace
