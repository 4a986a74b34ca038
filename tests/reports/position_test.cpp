// Position errors, the CEP curve and table, the circles and the scatter.
#include <tuple>
#include <vector>

#include "bench/reports/position_chart.h"
#include "bench/reports/position_error.h"
#include "tests/reports/report_bench.h"

namespace {

using namespace reptest;
namespace xl = workbook::xl;

class Position : public ReportTest {
protected:
    // Fixes every one `metres` north of the typed reference 45°28.3150' N, 9°11.4520' E.
    std::vector<Fix> AtDistance(const std::vector<double>& metres) {
        host.position = {{"45", "28", "3150", "9", "11", "4520"}, true, {}};
        std::vector<Fix> out;
        for (double m : metres) out.push_back(Fix{30, "083015", LatNorthOf(m), "0911.4520"});
        return out;
    }
};

TEST_F(Position, FixesThreePointFourMetresFromTheTypedReference) {
    workbook::Worksheet& ws = Report("p_COLD_NMEA_Results", AtDistance({3.4, 3.4, 3.4, 3.4}));
    EXPECT_EQ(ws.GetRange("M1").GetValue().Text(), "Latitude");
    EXPECT_NEAR(Num(ws, "M2"), 45 + 28.315 / 60, 1e-12);
    EXPECT_NEAR(Num(ws, "N2"), 9 + 11.452 / 60, 1e-12);
    // East and north of the reference through earth-centred coordinates.
    // Each fix in earth-centred coordinates, converted once as its degrees are.
    const double lat = (45 + 28.315 / 60) * std::numbers::pi / 180, e2 = 0.00669437999014;
    const double nu = 6378137 / std::sqrt(1 - e2 * std::sin(lat) * std::sin(lat));
    EXPECT_NEAR(Num(ws, "AP2"), nu * (1 - e2) * std::sin(lat) + 3.4 * std::cos(lat), 1e-3);
    EXPECT_EQ(Num(ws, "AS2"), 6378137) << "WGS 84";
    EXPECT_EQ(Formula(ws, "AS5"), "=SIN(RADIANS(M2))*COS(RADIANS(N2))");
    EXPECT_EQ(ws.GetRange("AR9").GetValue().Text(), "North offset [m]");
    EXPECT_EQ(Formula(ws, "O2"), "=$AS$4*AP2-$AS$5*AN2-$AS$6*AO2+$AS$9");
    EXPECT_EQ(Formula(ws, "P5"), "=$AS$7*AO5-$AS$8*AN5");
    EXPECT_EQ(Formula(ws, "Z2"), "=SQRT(POWER(O2,2)+POWER(P2,2))*(SQRT(POWER(O2,2)+POWER(P2,2))>=0.001)");
    EXPECT_NEAR(Num(ws, "O3"), 3.4, 1e-6);
    EXPECT_NEAR(Num(ws, "P3"), 0, 1e-6);
    EXPECT_EQ(ws.GetRange("Z7").GetValue().Text(), "MAX");
    EXPECT_EQ(Formula(ws, "Z8"), "=MAX(Z2:Z5)");
    EXPECT_NEAR(Num(ws, "Z8"), 3.4, 1e-6);
    // Radii 0 to 13, percentages 0 up to 3 m and 100 from 4 m.
    EXPECT_EQ(Num(ws, "AA15"), 13);
    EXPECT_TRUE(ws.GetRange("AA16").GetValue().IsEmpty());
    EXPECT_EQ(Formula(ws, "AB9"), "=COUNTIF(Z2:Z5,\"<=7\")/U4*100");
    EXPECT_EQ(Num(ws, "AB5"), 0);
    EXPECT_EQ(Num(ws, "AB6"), 100);
    workbook::Chart& cep = ChartOn("COLD CEP Chart");
    EXPECT_EQ(cep.SeriesCollection(1).XValuesRef().at(0).area, workbook::Area::Make(2, 27, 13, 27));
    EXPECT_NEAR(cep.Axes(xl::Category).MaximumScale(), 11.4, 1e-6);
    EXPECT_EQ(cep.Axes(xl::Category).MajorUnit(), 1);
    EXPECT_EQ(cep.Axes(xl::ValueAxis).MaximumScale(), 100);
    EXPECT_EQ(cep.Title(), "CEP(Circular Error Position) COLD Start");
    // The CEP table, interpolated between 3 m (0 %) and 4 m (100 %).
    const char* labels[] = {"CEP 50", "CEP 90", "CEP 95", "CEP 99", "CEP 100"};
    const double values[] = {3.5, 3.9, 3.95, 3.99, 4};
    for (int i = 0; i < 5; ++i) {
        EXPECT_EQ(ws.ValueAt(10 + i, 20).Text(), labels[i]);
        EXPECT_NEAR(ws.ValueAt(10 + i, 21).Number(), values[i], 1e-12) << labels[i];
        EXPECT_EQ(ws.EffectiveStyle(10 + i, 21).numberFormat.value_or(""), "#.0#");
    }
}

TEST_F(Position, CepBlockIsFramedThickWithoutAnInsideVerticalLine) {
    workbook::Worksheet& ws = Report("q_COLD_NMEA_Results", AtDistance({1, 2, 3}));
    for (int r = 4; r <= 14; ++r) {
        EXPECT_TRUE(ws.EffectiveStyle(r, 20).bold.value_or(false)) << "T" << r;
        EXPECT_EQ(ws.EffectiveStyle(r, 21).fillColorIndex.value_or(0), 6);
    }
    const workbook::Style t4 = ws.EffectiveStyle(4, 20);
    ASSERT_TRUE(t4.border[workbook::kLeft].has_value());
    EXPECT_EQ(t4.border[workbook::kLeft]->weight, xl::Thick);
    EXPECT_EQ(t4.border[workbook::kTop]->weight, xl::Thick);
    EXPECT_EQ(ws.EffectiveStyle(5, 20).border[workbook::kTop]->weight, xl::Thick) << "inside horizontal";
    const auto right = ws.EffectiveStyle(7, 20).border[workbook::kRight];
    EXPECT_TRUE(!right || right->lineStyle == xl::None) << "no line between labels and values";
    EXPECT_EQ(ws.EffectiveStyle(14, 21).border[workbook::kBottom]->weight, xl::Thick);
}

TEST_F(Position, CepAlreadyReachedAtRadiusZeroIsZero) {
    // A receiver that reports the same position every time.
    workbook::Worksheet& ws = Report("r_HOT_NMEA_Results", Ttffs({3, 4, 5}), "HOT");
    EXPECT_EQ(ws.GetRange("M1").GetValue().Text(), "Mean Latitude");
    // The mean of the earth-centred points, seen from the centre.
    EXPECT_EQ(Formula(ws, "M2"),
              "=DEGREES(ATAN2(SQRT(AVERAGE(AN2:AN4)^2+AVERAGE(AO2:AO4)^2),AVERAGE(AP2:AP4)/(1-$AS$3)))");
    EXPECT_EQ(Formula(ws, "N2"),
              "=IF(AVERAGE(AN2:AN4)^2+AVERAGE(AO2:AO4)^2>0,DEGREES(ATAN2(AVERAGE(AN2:AN4),AVERAGE(AO2:AO4))),0)");
    EXPECT_NEAR(Num(ws, "M2"), 48.1173, 1e-9);
    EXPECT_NEAR(Num(ws, "N2"), 11.516666666666667, 1e-9);
    for (int r = 10; r <= 14; ++r) EXPECT_EQ(ws.ValueAt(r, 21).Number(), 0) << "U" << r;
    EXPECT_TRUE(ws.ValueAt(14, 21).IsNumber());
    EXPECT_NO_THROW(ChartOn("HOT Position Chart")) << "the report runs to its end";
}

TEST_F(Position, MajorUnitOfTheCurveFollowsTheLargestError) {
    const std::pair<double, double> cases[] = {{30, 1}, {35, 2}, {75, 5}};
    for (auto [largest, unit] : cases) {
        SCOPED_TRACE(largest);
        const std::string name = "u" + std::to_string(static_cast<int>(largest)) + "_COLD_NMEA_Results";
        Report(name, AtDistance({1, largest - 1e-5}));
        EXPECT_EQ(ChartOn("COLD CEP Chart").Axes(xl::Category).MajorUnit(), unit);
    }
}

TEST_F(Position, TypedPositionIsDegreesWholeMinutesAndDecimalDigits) {
    // Latitude and longitude read as typed, with their hemisphere.
    auto lat = [](const char* d, const char* m, const char* f, const char* h, double& v, bool& sided) {
        return bench::reports::ReadTypedCoordinate(d, m, f, h, "latitude", "NS", 90, v, sided);
    };
    double v = 0;
    bool sided = true;
    EXPECT_EQ(lat("12", "5", "25", "", v, sided), "");
    EXPECT_DOUBLE_EQ(v, 12 + 5.25 / 60) << "one minute digit is five minutes";
    EXPECT_FALSE(sided) << "no hemisphere typed";
    EXPECT_EQ(lat("48", "07", "038", "N", v, sided), "");
    EXPECT_DOUBLE_EQ(v, 48 + 7.038 / 60);
    EXPECT_TRUE(sided);
    EXPECT_EQ(lat(" 45", "28 ", "", "", v, sided), "");
    EXPECT_DOUBLE_EQ(v, 45 + 28.0 / 60);
    // A sign or a letter gives the south; both agreeing is the south too.
    EXPECT_EQ(lat("-45", "28", "1", "", v, sided), "");
    EXPECT_DOUBLE_EQ(v, -(45 + 28.1 / 60));
    EXPECT_TRUE(sided);
    EXPECT_EQ(lat("45", "28", "1", "s", v, sided), "");
    EXPECT_DOUBLE_EQ(v, -(45 + 28.1 / 60));
    EXPECT_EQ(lat("- 0", "0", "003", "S", v, sided), "");
    EXPECT_DOUBLE_EQ(v, -0.003 / 60) << "south of the equator by less than a degree";
    EXPECT_EQ(lat("+10", "0", "", "", v, sided), "");
    EXPECT_DOUBLE_EQ(v, 10);
    EXPECT_TRUE(sided);
    EXPECT_NE(lat("-45", "28", "1", "N", v, sided).find("has both the sign \"-\" and the hemisphere N"),
              std::string::npos);
    EXPECT_NE(lat("45", "28", "1", "E", v, sided).find("it is N or S"), std::string::npos);
    EXPECT_EQ(bench::reports::ReadTypedCoordinate("179", "59", "9", "W", "longitude", "EW", 180, v, sided), "");
    EXPECT_DOUBLE_EQ(v, -(179 + 59.9 / 60));
    for (const auto& [d, m, f] : std::vector<std::tuple<const char*, const char*, const char*>>{
             {"4a", "28", "1"}, {"45", "", "1"}, {"45", "28", "1.5"}, {"45", "28", "0.3150"}, {"45", "60", ""},
             {"45", "128", ""}, {"90", "0", "1"}, {"", "28", "1"}, {"--45", "28", "1"}, {"-", "28", "1"},
             {"-90", "0", "1"}}) {
        SCOPED_TRACE(std::string(d) + " " + m + " " + f);
        EXPECT_NE(lat(d, m, f, "", v, sided), "");
    }
    EXPECT_EQ(lat("90", "0", "", "", v, sided), "");
    EXPECT_EQ(lat("-90", "0", "", "", v, sided), "");
    EXPECT_NE(bench::reports::ReadTypedCoordinate("180", "0", "5", "", "longitude", "EW", 180, v, sided), "");

    base = dir.File("t_COLD");
    wbtest::WriteFile(base + ".txt", ResultsText(Ttffs({10, 20, 30})));
    host.position = {{"45", "2x", "1", "9", "11", "1"}, true, {}};
    bench::reports::CreateReportSheet(ctx, base, "COLD");
    EXPECT_THROW(bench::reports::ImportResultsFile(ctx, base, "COLD"), platform::BenchError);
    workbook::Worksheet& ws = ctx.Sheet(base, "COLD");
    EXPECT_TRUE(ws.GetRange("M1").GetValue().IsEmpty()) << "nothing written from a bad position";
    EXPECT_TRUE(ws.GetRange("M2").GetValue().IsEmpty());
}

TEST_F(Position, CirclesFollowTheCepRadiiOnceTheTableIsWritten) {
    base = dir.File("v");
    bench::reports::CreateReportSheet(ctx, base, "COLD");
    workbook::Worksheet& ws = ctx.Sheet(base, "COLD");
    bench::reports::WriteCEPCircles(ctx, base, "COLD");
    EXPECT_EQ(Formula(ws, "AI2"), "=U10*SIN(2*PI()*AH2)");
    EXPECT_EQ(Formula(ws, "AL101"), "=U12*COS(2*PI()*AH101)");
    EXPECT_EQ(ws.GetRange("AI1").GetValue().Text(), "CIRCONFERENCE 50%");
    EXPECT_EQ(ws.GetRange("AK1").GetValue().Text(), "CIRCONFERENCE 95%");
    EXPECT_EQ(Num(ws, "AJ2"), 0) << "no CEP yet: the circle sits at the origin";
    ws.GetRange("U10").SetValue(workbook::Value(2.5));
    ws.GetRange("U12").SetValue(workbook::Value(4.0));
    EXPECT_NEAR(Num(ws, "AI2"), 2.5 * std::sin(2 * std::numbers::pi * 0.01), 1e-12);
    EXPECT_NEAR(Num(ws, "AJ2"), 2.5 * std::cos(2 * std::numbers::pi * 0.01), 1e-12);
    EXPECT_NEAR(Num(ws, "AI101"), 0, 1e-12);
    EXPECT_NEAR(Num(ws, "AJ101"), 2.5, 1e-12);
    EXPECT_NEAR(Num(ws, "AL51"), -4, 1e-12);
}

TEST_F(Position, ScatterHasThreeSeriesOnEqualScales) {
    // North errors from -2 to 7 m, east 0: the y data alone would scale differently from x.
    host.position = {{"45", "28", "3150", "9", "11", "4520"}, true, {}};
    std::vector<Fix> fixes;
    for (double m : {-2.0, 0.0, 3.0, 7.0}) fixes.push_back(Fix{30, "083015", LatNorthOf(m), "0911.4520"});
    Report("w_WARM_NMEA_Results", fixes, "WARM");
    workbook::Chart& c = ChartOn("WARM Position Chart");
    EXPECT_EQ(c.Type(), workbook::ChartType::XYScatter);
    ASSERT_EQ(c.SeriesCount(), 3);
    const char* names[] = {"Samples", "CEP 50", "CEP 95"};
    for (int i = 0; i < 3; ++i) EXPECT_EQ(c.SeriesCollection(i + 1).Name(), names[i]);
    EXPECT_EQ(c.SeriesCollection(1).XValuesRef().at(0).area, workbook::Area::Make(2, 16, 5, 16));
    EXPECT_EQ(c.SeriesCollection(1).ValuesRef().at(0).area, workbook::Area::Make(2, 15, 5, 15));
    EXPECT_EQ(c.SeriesCollection(3).XValuesRef().at(0).area, workbook::Area::Make(2, 37, 101, 37));
    EXPECT_EQ(c.SeriesCollection(1).lineStyle.value_or(0), xl::None);
    EXPECT_EQ(c.SeriesCollection(3).lineColorIndex.value_or(0), 10);
    EXPECT_EQ(c.SeriesCollection(3).markerSize.value_or(0), 4);
    const workbook::Axis& x = c.Axes(xl::Category);
    const workbook::Axis& y = c.Axes(xl::ValueAxis);
    EXPECT_EQ(x.MinimumScale(), y.MinimumScale());
    EXPECT_EQ(x.MaximumScale(), y.MaximumScale());
    EXPECT_LE(x.MinimumScale(), -2);
    EXPECT_GE(x.MaximumScale(), 7);
    EXPECT_TRUE(x.HasMajorGridlines());
    EXPECT_EQ(x.Title(), "longitude [m]");
    EXPECT_EQ(y.TitleFont().size.value_or(0), 12);
    EXPECT_EQ(c.PlotArea().width, c.PlotArea().height);
    EXPECT_EQ(c.PlotArea().left, 176);
}

TEST_F(Position, AWildFixCutsTheCurveShortButNeverTheCepRadii) {
    std::vector<double> metres;
    for (int i = 1; i <= 20; ++i) metres.push_back(i - 0.5);
    std::vector<Fix> fixes = AtDistance(metres);
    fixes[1].lat = "0000.0000";  // a fix with empty position fields
    workbook::Worksheet& ws = Report("x_COLD_NMEA_Results", fixes);
    // 19 fixes 0.5, 2.5, 3.5 ... 19.5 m away, one thousands of kilometres:
    // 5 % of the fixes for each whole metre from 3 m on.
    const double largest = Num(ws, "Z24");
    EXPECT_GT(largest, 4e6);
    EXPECT_NEAR(Num(ws, "U10"), 11, 1e-6) << "45 % within 10 m, 50 % within 11 m";
    EXPECT_NEAR(Num(ws, "U11"), 19, 1e-6);
    EXPECT_NEAR(Num(ws, "U12"), 20, 1e-6);
    EXPECT_NEAR(Num(ws, "U13"), std::ceil(largest) - 1 + 0.8, 1e-6) << "between 95 % and all of them";
    EXPECT_EQ(Num(ws, "U14"), std::ceil(largest)) << "the whole metre that holds every fix";
    // The curve: 0 to 30 m (the CEP 95 reached at 20 m, and 10 m more).
    EXPECT_EQ(Num(ws, "AA32"), 30);
    EXPECT_TRUE(ws.GetRange("AA33").GetValue().IsEmpty());
    EXPECT_EQ(Num(ws, "AB32"), 95);
    EXPECT_EQ(ws.GetRange("AC2").GetValue().Text().rfind(
                  "The CEP curve and its chart stop at 30 m: 1 of 20 fixes lies beyond it, the largest error ", 0),
              0u)
        << ws.GetRange("AC2").GetValue().Text();
    // The chart holds the whole curve, the CEP 95 and its 10 m with it.
    workbook::Chart& cep = ChartOn("COLD CEP Chart");
    EXPECT_EQ(cep.SeriesCollection(1).XValuesRef().at(0).area, workbook::Area::Make(2, 27, 32, 27));
    EXPECT_EQ(cep.Axes(xl::Category).MaximumScale(), 30);
    EXPECT_NO_THROW(ChartOn("COLD Position Chart"));
}

}  // namespace
