// Saved files checked by independent readers: openpyxl reads sheet order,
// formulas, cached values, styles and chart parts; gnumeric recalculates
// every formula and must agree with the engine.
#include "platform/workbook/workbook.h"
#include "support.h"

#include <gtest/gtest.h>

#include <dlfcn.h>

#include <cmath>
#include <ctime>
#include <filesystem>
#include <map>
#include <set>
#include <sstream>

using namespace workbook;

namespace {

// A workbook holding every formula form the report and device sheets write.
struct ReportBook {
    Application app;
    Workbook& wb = app.AddWorkbook();
    std::vector<std::pair<Worksheet*, std::string>> formulaCells;

    void F(Worksheet& ws, const std::string& cell, const std::string& f) {
        ws.GetRange(cell).SetFormula(f);
        formulaCells.emplace_back(&ws, cell);
    }

    ReportBook() {
        Worksheet& s = wb.Worksheets(1);
        s.SetName("COLD");
        const int n = 12;
        for (int i = 0; i < n; ++i) {
            int r = i + 2;
            s.Cells(r, 1).SetValue(i == 5 ? 350.0 : 20.0 + i * 2.5);
            s.Cells(r, 2).SetValue(i + 1);
            s.Cells(r, 4).SetValue(48.1173 + i * 0.00001);
            s.Cells(r, 6).SetValue(11.5166 + (i % 3) * 0.00002);
        }
        s.GetRange("U4").SetValue(n);
        F(s, "U5", "=AVERAGE( AD2 : AD13)");
        F(s, "U6", "=MAX(AD2:AD13)");
        F(s, "U7", "=MIN(A2:A13)");
        F(s, "U8", "=STDEV(AD2:AD13)");
        F(s, "U9", "=COUNTIF(A2:A13,\">300\")/U4*100");
        s.GetRange("T9").SetFormula("% No Fix");
        s.GetRange("AD1").SetFormula("TTFF < 300 [s] ");
        int k = 2;
        for (int r = 2; r <= n + 1; ++r) {
            double v = s.Cells(r, 1).GetValue().Number();
            if (v <= 300) s.Cells(k++, 30).SetValue(v);
        }
        for (int x = 0; x <= 6; ++x) {
            s.Cells(x + 2, 24).SetValue(x * 10);
            F(s, "Y" + std::to_string(x + 2), "=COUNTIF(AD2:AD13,\"<=" + std::to_string(x * 10) + "\")/U4");
        }
        for (int i = 0; i < 3; ++i) {
            int bound = 25 + i * 10;
            s.Cells(i + 2, 31).SetValue("\xE2\x89\xA4" + std::to_string(bound) + " sec");
            F(s, "AF" + std::to_string(i + 2), "=COUNTIF(AD2:AD13,\"<=" + std::to_string(bound) + "  \")/U4*100");
        }
        F(s, "M2", "=AVERAGE( D2 : D13)");
        F(s, "N2", "=AVERAGE( F2 : F13)");
        for (int r = 2; r <= n + 1; ++r) {
            std::string R = std::to_string(r);
            F(s, "O" + R, "=(D" + R + " - M2)*6378198.133*(0.0174532925199433)");
            F(s, "P" + R, "=(F" + R + " - N2)*4819709.844*(0.0174532925199433)");
            F(s, "Z" + R, "=SQRT(POWER(O" + R + ",2)+POWER(P" + R + ",2))");
        }
        F(s, "Z16", "=MAX(Z2:Z13)");
        for (int kk = 0; kk <= 3; ++kk) {
            s.Cells(kk + 2, 27).SetValue(kk);
            F(s, "AB" + std::to_string(kk + 2), "=COUNTIF(Z2:Z13,\"<=" + std::to_string(kk) + "\")/U4*100");
        }
        s.GetRange("U10").SetValue(1.25);
        s.GetRange("U12").SetValue(2.5);
        for (int i = 1; i <= 4; ++i) {
            std::string R = std::to_string(i + 1);
            s.Cells(i + 1, 34).SetValue(i / 4.0);
            F(s, "AI" + R, "=U10*SIN(2*PI()*AH" + R + ")");
            F(s, "AJ" + R, "=U10*COS(2*PI()*AH" + R + ")");
            F(s, "AK" + R, "=U12*SIN(2*PI()*AH" + R + ")");
            F(s, "AL" + R, "=U12*COS(2*PI()*AH" + R + ")");
        }
        // A level sheet and the summary's cross-sheet and whole-column formulas.
        Worksheet& lvl = wb.AddWorksheet();
        lvl.SetName("-130COLD");
        lvl.GetRange("A2:A4").SetValues({{40.0}, {45.5}, {51.0}});
        lvl.GetRange("U4").SetValue(3);
        F(lvl, "U5", "=AVERAGE( AD2 : AD4)");  // no valid TTFF: an error value
        Worksheet& res = wb.AddWorksheet();
        res.SetName("Resume");
        res.GetRange("W3:W4").SetValues({{-130.0}, {-135.0}});
        F(res, "X3", "='-130COLD'!U4");
        F(res, "Y3", "='-130COLD'!U5");
        F(res, "Z3", "='-130COLD'!U6");
        F(res, "AD3", "=45-(MAX(W:W)-W3)");
        F(res, "AD4", "=-(MAX(W:W)-W4)");
        // The device sheet's R1C1 block.
        Worksheet& dev = wb.AddWorksheet();
        dev.SetName("COLD_Data");
        for (int t = 1; t <= 10; ++t) dev.Cells(t + 1, 3).SetValue(t == 3 ? 300.0 : 100.0 + t * 7);
        const char* heads[] = {"=COUNT(R", "=AVERAGE(R", "=MAX(R", "=MIN(R", "=STDEV(R", "=COUNTIF(R"};
        for (int i = 0; i < 6; ++i) {
            std::string f = std::string(heads[i]) + "2C3:R11C3" + (i == 5 ? ",\">=300\")" : ")");
            dev.Cells(i + 1, 2).SetFormulaR1C1(f);
            formulaCells.emplace_back(&dev, "B" + std::to_string(i + 1));
        }
    }
};

std::string Key(Worksheet* ws, const std::string& cell) { return ws->Name() + "!" + cell; }

void ExpectSame(const Value& engine, const std::string& file, const std::string& where) {
    if (engine.IsNumber()) {
        double f = wbtest::AsDouble(file);
        EXPECT_NEAR(f, engine.Number(), 1e-9 * std::max(1.0, std::fabs(engine.Number())))
            << where << " file=" << file;
    } else {
        EXPECT_EQ(file, engine.ToString()) << where;
    }
}

}  // namespace

TEST(SaveFile, OpenpyxlSeesSheetsFormulasAndCachedValues) {
    REQUIRE_OPENPYXL();
    wbtest::TempDir dir;
    ReportBook b;
    Worksheet& cold = b.wb.Worksheets("COLD");
    Chart& ttff = b.wb.AddChart();
    ttff.SetChartType(ChartType::XYScatterLines);
    ttff.SetSourceData(cold.GetRange("AD2:AD12"));  // no X values
    ttff.Location(xl::LocationAsNewSheet, "COLD TTFF Chart");
    b.wb.SaveAs(dir.File("R1TTFF"));
    EXPECT_EQ(b.wb.FullName(), dir.File("R1TTFF.xlsx"));
    ASSERT_TRUE(std::filesystem::exists(dir.File("R1TTFF.xlsx")));

    wbtest::FileView v = wbtest::ReadBack(dir.File("R1TTFF.xlsx"), dir.Path().string());
    ASSERT_GE(v.sheets.size(), 6u);
    EXPECT_EQ(std::vector<std::string>(v.sheets.begin(), v.sheets.begin() + 5),
              (std::vector<std::string>{"COLD", "-130COLD", "Resume", "COLD_Data", "COLD TTFF Chart"}));
    EXPECT_EQ(v.kinds["COLD TTFF Chart"], "Chartsheet");
    // The X values of that scatter come from a hidden helper sheet at the end.
    EXPECT_EQ(v.sheets.size(), 6u);
    EXPECT_EQ(v.states[v.sheets.back()], "hidden");
    ASSERT_EQ(v.chartParts.size(), 1u);
    EXPECT_NE(v.chartParts[0].find("_xvalues!$A$1:$A$11|COLD!$AD$2:$AD$12"), std::string::npos) << v.chartParts[0];
    // Formulas stored in A1 form without the blanks; the R1C1 block converted.
    EXPECT_EQ(v.formulas["COLD!U5"], "=AVERAGE(AD2:AD13)");
    EXPECT_EQ(v.formulas["COLD!AF2"], "=COUNTIF(AD2:AD13,\"<=25  \")/U4*100");
    EXPECT_EQ(v.formulas["COLD_Data!B1"], "=COUNT($C$2:$C$11)");
    EXPECT_EQ(v.formulas["Resume!X3"], "='-130COLD'!U4");
    EXPECT_EQ(v.formulas["COLD!AE2"], "\xE2\x89\xA4" "25 sec");
    EXPECT_EQ(v.formulas["COLD!T9"], "% No Fix");
    // Every formula carries the value the engine computed.
    for (auto& [ws, cell] : b.formulaCells) {
        std::string k = Key(ws, cell);
        ASSERT_TRUE(v.cached.count(k)) << k;
        ExpectSame(ws->GetRange(cell).GetValue(), v.cached[k], k);
    }
}

TEST(SaveFile, GnumericRecalculatesToTheEngineValues) {
    REQUIRE_OPENPYXL();
    REQUIRE_SSCONVERT();
    wbtest::TempDir dir;
    ReportBook b;
    b.wb.SaveAs(dir.File("report.xlsx"));
    wbtest::FileView v = wbtest::Recalculated(dir.File("report.xlsx"), dir.Path().string());
    ASSERT_FALSE(v.cached.empty());
    int compared = 0;
    for (auto& [ws, cell] : b.formulaCells) {
        std::string k = Key(ws, cell);
        ASSERT_TRUE(v.cached.count(k)) << k << " missing after recalculation";
        ExpectSame(ws->GetRange(cell).GetValue(), v.cached[k], k + " (gnumeric)");
        ++compared;
    }
    EXPECT_GT(compared, 60);
}

TEST(SaveFile, StylesHiddenColumnsAndMerges) {
    REQUIRE_OPENPYXL();
    wbtest::TempDir dir;
    Application app;
    Workbook& wb = app.AddWorkbook();
    Worksheet& ws = wb.Worksheets(1);
    ws.SetName("Resume");
    ws.GetRange("D1").SetValue("HOT");
    ws.Rows("1:2").Font().SetBold(true);
    ws.GetRange("A1:G1").Merge();
    ws.GetRange("A1").Interior().SetColorIndex(3);
    ws.GetRange("U5").SetValue(12.345);
    ws.GetRange("U5").SetNumberFormat("0.00");
    ws.GetRange("U10").SetValue(4);
    ws.GetRange("U10").SetNumberFormat("#.0#");
    Range block = ws.GetRange("T4:U5");
    block.Interior().SetColorIndex(6);
    for (int i : {xl::EdgeLeft, xl::EdgeTop, xl::EdgeBottom, xl::EdgeRight}) {
        block.Borders(i).SetLineStyle(xl::Continuous);
        block.Borders(i).SetWeight(xl::Thick);
    }
    ws.GetRange("T4").SetValue("TRIALS");
    ws.GetRange("B9").SetValue("black");
    ws.GetRange("B9").Interior().SetColorIndex(1);  // index 1 is black, not "no colour"
    ws.Columns("C:E").SetHidden(true);
    wb.SaveAs(dir.File("styles.xlsx"));
    wbtest::FileView v = wbtest::ReadBack(dir.File("styles.xlsx"), dir.Path().string());
    EXPECT_EQ(v.formulas["Resume!A1"], "HOT");
    EXPECT_EQ(std::count(v.merges.begin(), v.merges.end(), "Resume!A1:G1"), 1);
    EXPECT_EQ(v.fonts["Resume!A1"], "bold");
    EXPECT_EQ(v.fills["Resume!A1"], "FFFF0000");
    EXPECT_EQ(v.fills["Resume!U5"], "FFFFFF00");
    EXPECT_EQ(v.fills["Resume!B9"], "FF000000");
    EXPECT_EQ(v.numberFormats["Resume!U5"], "0.00");
    EXPECT_EQ(v.numberFormats["Resume!U10"], "#.0#");
    EXPECT_EQ(v.borders["Resume!T4"], "thick,thick,,");
    EXPECT_EQ(v.borders["Resume!U5"], ",,thick,thick");
    std::set<std::string> hidden(v.hiddenColumns.begin(), v.hiddenColumns.end());
    EXPECT_EQ(hidden, (std::set<std::string>{"Resume!C", "Resume!D", "Resume!E"}));
}

TEST(SaveFile, ChartPartsCarryTheirTypesAndReferences) {
    REQUIRE_OPENPYXL();
    wbtest::TempDir dir;
    ReportBook b;
    Worksheet& s = b.wb.Worksheets("COLD");
    Chart& hist = b.wb.AddChart();
    hist.SetChartType(ChartType::ColumnClustered);
    hist.SetSourceData(s.GetRange("AE2:AF4"));
    hist.Location(xl::LocationAsNewSheet, "COLD HISTOGRAMM");
    hist.SetHasLegend(false);
    hist.SeriesCollection(1).ApplyDataLabels();
    hist.SeriesCollection(1).dataLabelFont.SetFontStyle("Bold");
    Chart& pos = b.wb.AddChart();
    pos.SetChartType(ChartType::XYScatter);
    Series& samples = pos.NewSeries();
    samples.SetName("=\"Samples\"");
    samples.SetXValues("=COLD!R2C16:R13C16");
    samples.SetValues("=COLD!R2C15:R13C15");
    samples.markerStyle = xl::MarkerCircle;
    samples.markerSize = 5;
    samples.lineStyle = xl::None;
    Series& avg = pos.NewSeries();
    avg.SetName("AVERAGE");
    avg.SetXValues("=COLD!R2C2,COLD!R4C21");
    avg.SetValues("=COLD!R5C21,COLD!R5C21");
    avg.lineColorIndex = 3;
    avg.lineWeight = xl::Medium;
    avg.markerStyle = xl::MarkerDiamond;
    pos.Axes(xl::Category).SetHasMajorGridlines(true);
    pos.Axes(xl::Category).SetMinimumScale(-4);
    pos.PlotArea().borderColorIndex = 33;
    pos.PlotArea().fillColorIndex = 33;
    pos.PlotArea().fillVisible = true;
    pos.PlotArea().gradient = true;
    pos.Location(xl::LocationAsNewSheet, "COLD Position Chart");
    Worksheet& dev = b.wb.Worksheets("COLD_Data");
    dev.GetRange("C1").SetValue("TTFF [s]");
    Chart& line = b.wb.AddChart();
    line.SetChartType(ChartType::Line);
    line.SetSourceData(dev.GetRange(dev.Cells(1, 3), dev.Cells(11, 3)));
    line.Location(xl::LocationAsObject, "COLD_Data");  // on the worksheet itself
    b.wb.SaveAs(dir.File("charts.xlsx"));

    wbtest::FileView v = wbtest::ReadBack(dir.File("charts.xlsx"), dir.Path().string());
    ASSERT_EQ(v.chartParts.size(), 3u);
    std::string all;
    for (const auto& c : v.chartParts) all += c + "\n";
    EXPECT_NE(all.find("barChart|COLD!$AE$2:$AE$4|COLD!$AF$2:$AF$4"), std::string::npos) << all;
    EXPECT_NE(all.find("scatterChart|COLD!$P$2:$P$13|COLD!$O$2:$O$13|(COLD!$B$2,COLD!$U$4)|(COLD!$U$5,COLD!$U$5)"),
              std::string::npos)
        << all;
    EXPECT_NE(all.find("lineChart|COLD_Data!$C$1|COLD_Data!$C$2:$C$11"), std::string::npos) << all;
    EXPECT_EQ(v.kinds["COLD Position Chart"], "Chartsheet");
    EXPECT_EQ(v.kinds["COLD_Data"], "Worksheet");
}

TEST(SaveFile, ChartCachesOfLongSeriesDeclareTheirTrueCount) {
    // A whole day at 1 Hz and more: past what 16 bits count.
    wbtest::TempDir dir;
    Application app;
    Workbook& wb = app.AddWorkbook();
    Worksheet& s = wb.Worksheets(1);
    s.SetName("sat07");
    const int n = 86400;
    for (int r = 1; r <= n; ++r) {
        s.Cells(r, 1).SetValue(r);
        s.Cells(r, 2).SetValue(30.0 + r % 20);
    }
    s.Cells(1, 3).SetValue(5.5);
    Chart& day = wb.AddChart();
    day.SetChartType(ChartType::XYScatter);
    Series& cn0 = day.NewSeries();
    cn0.SetXValues("=sat07!R1C1:R86400C1");
    cn0.SetValues("=sat07!R1C2:R86400C2");
    Series& one = day.NewSeries();  // and a short one beside it
    one.SetXValues("=sat07!R1C3:R1C3");
    one.SetValues("=sat07!R1C3:R1C3");
    day.Location(xl::LocationAsNewSheet, "CN0 Chart");
    wb.SaveAs(dir.File("day.xlsx"));

    const std::string script = dir.File("count.py");
    wbtest::WriteFile(script, R"PY(
import sys, zipfile, re
z = zipfile.ZipFile(sys.argv[1])
if z.testzip() is not None: print('damaged', z.testzip())
for n in sorted(z.namelist()):
    if re.match(r'xl/charts/chart\d+\.xml$', n):
        x = z.read(n).decode('utf-8')
        for cache in re.findall(r'<c:numCache>(.*?)</c:numCache>', x, re.S):
            count = re.search(r'<c:ptCount val="(\d+)"/>', cache).group(1)
            idx = [int(i) for i in re.findall(r'<c:pt idx="(\d+)"', cache)]
            print(count, len(idx), max(idx) if idx else -1, len(set(idx)))
)PY");
    std::string out;
    ASSERT_EQ(wbtest::Run(wbtest::Python() + " " + script + " '" + dir.File("day.xlsx") + "'", out), 0);
    // Declared count, points, last index, distinct indices: x and y of the
    // day, then x and y of the single point.
    EXPECT_EQ(out, "86400 86400 86399 86400\n86400 86400 86399 86400\n1 1 0 1\n1 1 0 1\n");
}

TEST(SaveFile, ChartCachesPastTwoWrapsWithAGapKeepEveryPointInOrder) {
    // More than two wraps of the 16-bit count, with a stretch of empty cells
    // (no fix) across the first wrap, in two charts with a sheet between.
    wbtest::TempDir dir;
    Application app;
    Workbook& wb = app.AddWorkbook();
    Worksheet& s = wb.Worksheets(1);
    s.SetName("sat12");
    const int n = 140000;
    for (int r = 1; r <= n; ++r) {
        s.Cells(r, 1).SetValue(r);
        if (r < 65000 || r > 66500) s.Cells(r, 2).SetValue(20.0 + r % 30);
    }
    for (int k = 0; k < 2; ++k) {
        Chart& c = wb.AddChart();
        c.SetChartType(ChartType::XYScatter);
        Series& cn0 = c.NewSeries();
        cn0.SetXValues("=sat12!R1C1:R140000C1");
        cn0.SetValues("=sat12!R1C2:R140000C2");
        c.Location(xl::LocationAsNewSheet, k == 0 ? "First" : "Second");
    }
    wb.SaveAs(dir.File("long.xlsx"));

    const std::string script = dir.File("count.py");
    wbtest::WriteFile(script, R"PY(
import sys, zipfile, re
z = zipfile.ZipFile(sys.argv[1])
print('damaged' if z.testzip() is not None else 'whole')
for n in sorted(z.namelist()):
    if re.match(r'xl/charts/chart\d+\.xml$', n):
        x = z.read(n).decode('utf-8')
        for cache in re.findall(r'<c:numCache>(.*?)</c:numCache>', x, re.S):
            count = re.search(r'<c:ptCount val="(\d+)"/>', cache).group(1)
            idx = [int(i) for i in re.findall(r'<c:pt idx="(\d+)"', cache)]
            inorder = all(a < b for a, b in zip(idx, idx[1:]))
            print(count, len(idx), idx[-1], inorder, 65000 in idx, 66500 in idx)
)PY");
    std::string out;
    ASSERT_EQ(wbtest::Run(wbtest::Python() + " " + script + " '" + dir.File("long.xlsx") + "'", out), 0);
    // The check sums of the rewritten parts hold; x then y of each chart.
    EXPECT_EQ(out,
              "whole\n"
              "140000 140000 139999 True True True\n"
              "140000 138499 139999 True False True\n"
              "140000 140000 139999 True True True\n"
              "140000 138499 139999 True False True\n");
}

TEST(SaveFile, ChartCachesAcrossAGapOfMoreThanSixteenBitsKeepTheirTrueIndices) {
    // 10,000 points, 100,000 empty cells (a receiver off for a day), then
    // 30,000 points; a second series with its gap across two wraps; a third
    // whose only point lies past the first wrap.
    wbtest::TempDir dir;
    Application app;
    Workbook& wb = app.AddWorkbook();
    Worksheet& s = wb.Worksheets(1);
    s.SetName("sat 05");
    const int n = 140000;
    for (int r = 1; r <= n; ++r) {
        s.Cells(r, 1).SetValue(r);
        if (r <= 10000 || r > 110000) s.Cells(r, 2).SetValue(20.0 + r % 30);
        if (r == 1 || r > 131073) s.Cells(r, 3).SetValue(r * 0.5);
    }
    s.Cells(70000, 4).SetValue(9.25);
    Chart& c = wb.AddChart();
    c.SetChartType(ChartType::XYScatter);
    for (int col = 2; col <= 4; ++col) {
        Series& ser = c.NewSeries();
        ser.SetXValues("='sat 05'!R1C1:R140000C1");
        ser.SetValues("='sat 05'!R1C" + std::to_string(col) + ":R140000C" + std::to_string(col));
    }
    c.Location(xl::LocationAsNewSheet, "Gap");
    // A line over a day of labels, a few of them written, texts among numbers.
    for (int r : {1, 2, 3, 139998, 139999, 140000}) s.Cells(r, 5).SetValue(r == 2 ? Value(2.5) : Value("t<" + std::to_string(r) + "&"));
    Chart& labels = wb.AddChart();
    labels.SetChartType(ChartType::Line);
    Series& line = labels.NewSeries();
    line.SetXValues("='sat 05'!R1C5:R140000C5");
    line.SetValues("='sat 05'!R1C2:R140000C2");
    labels.Location(xl::LocationAsNewSheet, "Labels");
    wb.SaveAs(dir.File("gap.xlsx"));

    const std::string script = dir.File("gap.py");
    wbtest::WriteFile(script, R"PY(
import sys, zipfile, re
z = zipfile.ZipFile(sys.argv[1])
print('damaged' if z.testzip() is not None else 'whole')
for n in sorted(z.namelist()):
    if re.match(r'xl/charts/chart\d+\.xml$', n):
        x = z.read(n).decode('utf-8')
        for cache in re.findall(r'<c:numCache>(.*?)</c:numCache>', x, re.S):
            count = re.search(r'<c:ptCount val="(\d+)"/>', cache).group(1)
            pts = [(int(i), float(v)) for i, v in re.findall(r'<c:pt idx="(\d+)"><c:v>([^<]*)</c:v>', cache)]
            idx = [i for i, v in pts]
            inorder = all(a < b for a, b in zip(idx, idx[1:]))
            print(count, len(idx), idx[:2], idx[-2:], inorder, pts[-1][1])
        for cache in re.findall(r'<c:strCache>(.*?)</c:strCache>', x, re.S):
            count = re.search(r'<c:ptCount val="(\d+)"/>', cache).group(1)
            if count == '1': continue  # a series name
            print(count, re.findall(r'<c:pt idx="(\d+)"><c:v>([^<]*)</c:v>', cache))
)PY");
    std::string out;
    ASSERT_EQ(wbtest::Run(wbtest::Python() + " " + script + " '" + dir.File("gap.xlsx") + "'", out), 0);
    // x, then y of each series: count, points, first and last indices, in
    // order, the last point's value (row 140000 of column B, C; row 70000 of
    // D); then the line's values and its labels, escaped, at their rows.
    EXPECT_EQ(out,
              "whole\n"
              "140000 140000 [0, 1] [139998, 139999] True 140000.0\n"
              "140000 40000 [0, 1] [139998, 139999] True 40.0\n"
              "140000 140000 [0, 1] [139998, 139999] True 140000.0\n"
              "140000 8928 [0, 131073] [139998, 139999] True 70000.0\n"
              "140000 140000 [0, 1] [139998, 139999] True 140000.0\n"
              "140000 1 [69999] [69999] True 9.25\n"
              "140000 40000 [0, 1] [139998, 139999] True 40.0\n"
              "140000 [('0', 't&lt;1&amp;'), ('1', '2.5'), ('2', 't&lt;3&amp;'), ('139997', 't&lt;139998&amp;'), "
              "('139998', 't&lt;139999&amp;'), ('139999', 't&lt;140000&amp;')]\n");
}

TEST(SaveFile, EverySaveRebuildsTheFileAndLeavesNoTemporary) {
    REQUIRE_OPENPYXL();
    wbtest::TempDir dir;
    Application app;
    Workbook& wb = app.AddWorkbook();
    wb.Worksheets(1).SetName("COLD");
    wb.SaveAs(dir.File("R1.xlsx"));
    wb.AddWorksheet().SetName("HOT");
    wb.Worksheets("HOT").GetRange("A1").SetValue("second save");
    wb.Save();
    wbtest::FileView v = wbtest::ReadBack(dir.File("R1.xlsx"), dir.Path().string());
    EXPECT_EQ(v.sheets, (std::vector<std::string>{"COLD", "HOT"}));
    EXPECT_EQ(v.formulas["HOT!A1"], "second save");
    std::vector<std::string> files;
    for (const auto& e : std::filesystem::directory_iterator(dir.Path()))
        if (e.path().extension() != ".py") files.push_back(e.path().filename().string());
    EXPECT_EQ(files, (std::vector<std::string>{"R1.xlsx"}));
}

TEST(SaveFile, FailedSaveKeepsThePreviousFile) {
    wbtest::TempDir dir;
    Application app;
    Workbook& wb = app.AddWorkbook();
    wb.Worksheets(1).GetRange("A1").SetValue(1);
    try {
        wb.SaveAs(dir.File("no/such/folder/x.xlsx"));
        FAIL() << "saved into a missing folder";
    } catch (const ExcelError& e) {
        EXPECT_EQ(e.Operation(), "Save");
    }
    EXPECT_FALSE(wb.HasPath());
    wb.SaveAs(dir.File("keep.xlsx"));
    auto size = std::filesystem::file_size(dir.File("keep.xlsx"));
    // Block the temporary name: the save fails and the old file stays whole.
    std::filesystem::create_directories(dir.File(".keep.xlsx.tmp/inside"));
    wb.Worksheets(1).GetRange("B2").SetValue("lost");
    EXPECT_THROW(wb.Save(), ExcelError);
    EXPECT_EQ(std::filesystem::file_size(dir.File("keep.xlsx")), size);
    EXPECT_FALSE(wb.Saved());
}

TEST(SaveFile, AwkwardTextStaysReadable) {
    REQUIRE_OPENPYXL();
    wbtest::TempDir dir;
    Application app;
    Workbook& wb = app.AddWorkbook();
    Worksheet& ws = wb.Worksheets(1);
    ws.GetRange("A1").SetText(std::string("bad\x01" "byte\xff" " end"));
    ws.GetRange("A2").SetText("\xE2\x89\xA4" "300 sec");
    ws.GetRange("A3").SetText("=not a formula");
    wb.SaveAs(dir.File("text.xlsx"));
    wbtest::FileView v = wbtest::ReadBack(dir.File("text.xlsx"), dir.Path().string());
    EXPECT_EQ(v.formulas["Sheet1!A1"], "bad?byte\xEF\xBF\xBD end");
    EXPECT_EQ(v.formulas["Sheet1!A2"], "\xE2\x89\xA4" "300 sec");
    EXPECT_EQ(v.formulas["Sheet1!A3"], "=not a formula");
}

TEST(SaveFile, CsvWorkbookWithWizardChartSheets) {
    REQUIRE_OPENPYXL();
    wbtest::TempDir dir;
    std::string csv = dir.File("global_info.csv");
    std::string text = "gps,timestamp,c,d,e,f,fix,h,i,j,k,l,m,n,velocity\r\n";
    for (int t = 0; t < 20; ++t)
        text += "0," + std::to_string(1000 + t) + ",0,0,0,0,  " + std::to_string(t % 3) + ",0,0,0,0,0,0,0," +
                std::to_string(t * 0.5) + "\r\n";
    wbtest::WriteFile(csv, text);
    Application app;
    Workbook& wb = app.OpenCsv(csv);
    Worksheet& data = wb.ActiveWorksheet();
    Range src = data.GetRange("'global_info'!$B:$B,'global_info'!$G:$G,'global_info'!$O:$O");
    EXPECT_THROW(data.GetRange("'other'!$B:$B"), ExcelError);
    Chart& c = wb.AddChart();
    c.SetChartType(ChartType::XYScatter);
    c.SetSourceData(src, true, true);
    c.SetTitle("Speed vs Freq");
    c.Axes(xl::Category).SetTitle("Time [s]");
    c.Axes(xl::ValueAxis).SetTitle("Speed [m/s]");
    c.SetName("Speed vs Freq");
    ASSERT_EQ(c.SeriesCount(), 2);
    EXPECT_EQ(c.SeriesCollection(2).Name(), "velocity");
    EXPECT_EQ(c.SeriesCollection(2).YData().size(), 20u);
    wb.SaveAs(dir.File("global_info.xlsx"));
    wbtest::FileView v = wbtest::ReadBack(dir.File("global_info.xlsx"), dir.Path().string());
    EXPECT_EQ(v.sheets, (std::vector<std::string>{"global_info", "Speed vs Freq"}));
    EXPECT_EQ(v.kinds["Speed vs Freq"], "Chartsheet");
    ASSERT_EQ(v.chartParts.size(), 1u);
    EXPECT_NE(v.chartParts[0].find("global_info!$B$2:$B$21"), std::string::npos) << v.chartParts[0];
    EXPECT_NE(v.chartParts[0].find("global_info!$O$2:$O$21"), std::string::npos) << v.chartParts[0];
    EXPECT_EQ(v.cached["global_info!O21"], "9.5");
}

namespace {

// The parts of a saved workbook, each as its bytes, the document's dates
// (the times of saving) left out.
std::map<std::string, std::string> ZipParts(const std::string& xlsx) {
    std::map<std::string, std::string> parts;
    std::string list;
    wbtest::Run("unzip -Z1 '" + xlsx + "'", list);
    std::istringstream names(list);
    for (std::string name; std::getline(names, name);) {
        if (name.empty() || name == "docProps/core.xml") continue;
        wbtest::Run("unzip -p '" + xlsx + "' '" + name + "'", parts[name]);
    }
    return parts;
}

// A table of numbers, texts, quoted fields and blanks over `lines` lines.
std::string MixedTable(int lines) {
    std::string text = "time,name,\"quoted, field\",,cn0,extra\r\n";
    for (int t = 1; t < lines; ++t) {
        text += std::to_string(1000 + t) + "," + (t % 7 == 0 ? std::string() : "sat" + std::to_string(t % 5)) + ",\"" +
                std::to_string(t) + ",x\"," + (t % 4 == 0 ? "TRUE" : "") + "," + std::to_string(t * 0.25) + "," +
                (t % 3 == 0 ? "" : std::to_string(-t)) + (t == lines - 1 ? ",,9" : "") + "\r\n";
    }
    return text;
}

// The table opened whole or with only `held` columns, charted over A and E
// and saved as the chart workbooks save it.
void SaveChartedTable(const std::string& csv, int rowsPerSheet, const std::vector<bool>& held,
                      const std::string& xlsx) {
    Application app;
    Workbook& wb = held.empty() ? app.OpenCsv(csv, rowsPerSheet) : app.OpenCsv(csv, rowsPerSheet, held);
    Worksheet& data = wb.ActiveWorksheet();
    Chart& c = wb.AddChart();
    c.SetChartType(ChartType::XYScatter);
    c.SetSourceData(data.GetRange("$A:$A,$E:$E"), true, true);
    c.SetName("CN0 Chart");
    wb.SaveAsAndClose(xlsx);
}

}  // namespace

TEST(SaveFile, TableOpenedWithOnlyItsChartedColumnsSavesTheSameFile) {
    wbtest::TempDir dir;
    const std::string csv = dir.File("sat05.csv");
    wbtest::WriteFile(csv, MixedTable(70000));  // past a chart cache's 16-bit count
    const std::vector<bool> charted = {true, false, false, false, true};
    for (int rowsPerSheet : {1048576, 30000}) {
        SaveChartedTable(csv, rowsPerSheet, {}, dir.File("whole.xlsx"));
        SaveChartedTable(csv, rowsPerSheet, charted, dir.File("charted.xlsx"));
        const auto whole = ZipParts(dir.File("whole.xlsx")), part = ZipParts(dir.File("charted.xlsx"));
        ASSERT_GE(whole.size(), 8u) << "rows per sheet " << rowsPerSheet;
        ASSERT_EQ(whole.size(), part.size()) << "rows per sheet " << rowsPerSheet;
        for (const auto& [name, bytes] : whole) {
            ASSERT_TRUE(part.count(name)) << name;
            EXPECT_TRUE(part.at(name) == bytes) << name << " differs, rows per sheet " << rowsPerSheet;
        }
    }
    // The columns not held read as empty in the sheet; those held as read.
    Application app;
    Workbook& wb = app.OpenCsv(csv, kMaxRows, charted);
    Worksheet& data = wb.ActiveWorksheet();
    EXPECT_EQ(data.ValueAt(2, 1).Number(), 1001);
    EXPECT_EQ(data.ValueAt(2, 5).Number(), 0.25);
    EXPECT_TRUE(data.ValueAt(2, 2).IsEmpty());
    EXPECT_EQ(data.UsedArea(), (Area{1, 1, 70000, 8}));
    EXPECT_EQ(data.HeldArea(), (Area{1, 1, 70000, 5}));
}

TEST(SaveFile, TableChangedSinceItWasOpenedIsNotSavedWithOtherLines) {
    wbtest::TempDir dir;
    const std::string csv = dir.File("sat07.csv");
    wbtest::WriteFile(csv, MixedTable(50));
    Application app;
    Workbook& wb = app.OpenCsv(csv, kMaxRows, {true});
    wbtest::WriteFile(csv, MixedTable(20));
    try {
        wb.SaveAs(dir.File("sat07.xlsx"));
        ADD_FAILURE() << "saved from a table shortened since it was opened";
    } catch (const ExcelError& e) {
        EXPECT_NE(std::string(e.what()).find("changed since it was opened"), std::string::npos) << e.what();
    }
    EXPECT_FALSE(std::filesystem::exists(dir.File("sat07.xlsx")));
}

TEST(SaveFile, TableOfEveryLineEndSavesTheSameFileWithOnlyItsChartedColumns) {
    wbtest::TempDir dir;
    const std::string csv = dir.File("sat09.csv");
    // LF, CR LF and lone CR ends in turn, a doubled qualifier in a quoted
    // field, a CR LF split across the reader's first block and a last line
    // without an end.
    const char* const ends[] = {"\n", "\r\n", "\r"};
    const size_t block = size_t(1) << 20;
    std::string text = "time,name,note,x,cn0\r\n";
    int lines = 1;
    for (; text.size() < block - 100; ++lines)
        text += std::to_string(2000 + lines) + ",s" + std::to_string(lines % 9) +
                (lines % 5 == 0 ? ",\"say \"\"hi\"\", ok\"" : ",plain") + "," + std::to_string(lines % 3 == 0 ? 0 : lines) +
                "," + std::to_string(lines * 0.5) + ends[lines % 3];
    const int straddling = lines++;
    const std::string head = std::to_string(2000 + straddling) + ",pad,,1,";
    text += head + std::string(block - 1 - text.size() - head.size() - 1, ' ') + "7\r\n";
    ASSERT_EQ(text.size(), block + 1);
    ASSERT_EQ(text[block - 1], '\r');
    for (; lines < straddling + 20000; ++lines)
        text += std::to_string(2000 + lines) + ",t,\"a,b\",," + std::to_string(lines * 0.25) + ends[lines % 3];
    text += "99999,last,,,1.5";
    ++lines;
    wbtest::WriteFile(csv, text);

    SaveChartedTable(csv, kMaxRows, {}, dir.File("whole.xlsx"));
    SaveChartedTable(csv, kMaxRows, {true, false, false, false, true}, dir.File("charted.xlsx"));
    const auto whole = ZipParts(dir.File("whole.xlsx")), part = ZipParts(dir.File("charted.xlsx"));
    ASSERT_GE(whole.size(), 8u);
    ASSERT_EQ(whole.size(), part.size());
    for (const auto& [name, bytes] : whole) {
        ASSERT_TRUE(part.count(name)) << name;
        EXPECT_TRUE(part.at(name) == bytes) << name << " differs";
    }
    // Every line is one row, read as written.
    Application app;
    Worksheet& data = app.OpenCsv(csv).ActiveWorksheet();
    EXPECT_EQ(data.UsedArea(), (Area{1, 1, lines, 5}));
    EXPECT_EQ(data.ValueAt(6, 3).Text(), "say \"hi\", ok");
    EXPECT_EQ(data.ValueAt(7, 3).Text(), "plain");
    EXPECT_EQ(data.ValueAt(straddling + 1, 1).Number(), 2000 + straddling);
    EXPECT_EQ(data.ValueAt(straddling + 1, 5).Number(), 7);
    EXPECT_EQ(data.ValueAt(straddling + 2, 1).Number(), 2000 + straddling + 1);
    EXPECT_EQ(data.ValueAt(straddling + 2, 3).Text(), "a,b");
    EXPECT_EQ(data.ValueAt(lines, 1).Number(), 99999);
    EXPECT_EQ(data.ValueAt(lines, 5).Number(), 1.5);
    // The sheet written from the file holds the same rows.
    const std::string sheet = whole.at("xl/worksheets/sheet1.xml");
    EXPECT_NE(sheet.find("<c r=\"A" + std::to_string(lines) + "\""), std::string::npos);
    EXPECT_EQ(sheet.find("<c r=\"A" + std::to_string(lines + 1) + "\""), std::string::npos);
}

TEST(SaveFile, SheetNamesNeedingQuotesAndChartsWithoutSeries) {
    REQUIRE_OPENPYXL();
    wbtest::TempDir dir;
    Application app;
    Workbook& wb = app.AddWorkbook();
    Worksheet& ws = wb.Worksheets(1);
    ws.SetName("-130 COLD's");
    for (int i = 0; i < 5; ++i) {
        ws.Cells(i + 2, 1).SetValue(i);
        ws.Cells(i + 2, 3).SetValue(i * i);
    }
    ws.GetRange("C1").SetValue("squares");
    Chart& c = wb.AddChart();
    c.SetChartType(ChartType::XYScatterLines);
    c.SetSourceData(ws.GetRange("A1:A6,C1:C6"));
    c.Location(xl::LocationAsNewSheet, "HOT");
    wb.AddChart();  // never given data
    wb.SaveAs(dir.File("quotes.xlsx"));
    wbtest::FileView v = wbtest::ReadBack(dir.File("quotes.xlsx"), dir.Path().string());
    EXPECT_EQ(v.sheets, (std::vector<std::string>{"-130 COLD's", "HOT", "Chart2"}));
    ASSERT_EQ(v.chartParts.size(), 2u);
    EXPECT_NE(v.chartParts[0].find("'-130 COLD''s'!$C$1|'-130 COLD''s'!$A$2:$A$6|'-130 COLD''s'!$C$2:$C$6"),
              std::string::npos)
        << v.chartParts[0];
}

TEST(SaveFile, OneNameForOneOpenWorkbookAndTheViewerOnShow) {
    wbtest::TempDir dir;
    Application app;
    std::vector<std::string> shown;
    app.SetViewer([&](Application& a) {
        for (int i = 1; i <= a.WorkbookCount(); ++i) shown.push_back(a.Workbooks(i).FullName());
    });
    Workbook& first = app.AddWorkbook();
    first.SaveAs(dir.File("R1"));
    Workbook& second = app.AddWorkbook();
    EXPECT_THROW(second.SaveAs(dir.File("R1.xlsx")), ExcelError);
    first.Close();
    second.SaveAs(dir.File("R1.xlsx"));  // free once the first is closed
    EXPECT_EQ(app.FindWindow(dir.File("R1.xlsx")), &second);
    app.SetVisible(true);
    app.SetVisible(true);  // already visible: not shown twice
    EXPECT_EQ(shown, (std::vector<std::string>{dir.File("R1.xlsx")}));
}

namespace {

// The file of the loaded object that defines the function at `f`.
std::string DefinedIn(void* f) {
    Dl_info info{};
    return f != nullptr && dladdr(f, &info) != 0 && info.dli_fname != nullptr ? info.dli_fname : "";
}

// A sanitizer's runtime stands in front of the C library for some of its
// functions and hands each call on to it.
bool IsSanitizerRuntime(const std::string& file) {
    for (const char* runtime : {"libasan.so", "libtsan.so", "libubsan.so", "liblsan.so"})
        if (file.find(runtime) != std::string::npos) return true;
    return false;
}

}  // namespace

// The engine links into fixbench as well: saving must leave the C library's
// own functions to every other caller, and its results where they were.
TEST(SaveFile, SavingReplacesNoFunctionOfTheCLibrary) {
    wbtest::TempDir dir;
    Application app;
    Workbook& wb = app.AddWorkbook();
    wb.Worksheets(1).Cells(1, 1).SetValue(1.0);
    wb.SaveAs(dir.File("dated.xlsx"));
    void* libc = dlopen("libc.so.6", RTLD_NOW | RTLD_NOLOAD);
    ASSERT_NE(libc, nullptr);
    for (const char* name : {"gmtime", "localtime", "tmpfile", "rand", "srand", "time"}) {
        void* found = dlsym(RTLD_DEFAULT, name);
        if (found == dlsym(libc, name)) continue;
        // What the program defines itself is found before any library.
        EXPECT_TRUE(IsSanitizerRuntime(DefinedIn(found)))
            << name << " is not the C library's own but " << DefinedIn(found) << "'s";
    }
    dlclose(libc);
    const time_t t = 0;
    const struct tm* shared = std::gmtime(&t);
    ASSERT_NE(shared, nullptr);
    EXPECT_EQ(shared->tm_year, 70);
}

namespace {

// The chart parts of a saved file as stored, points and all.
std::string ChartXml(const std::string& xlsx) {
    std::string out;
    const int rc = wbtest::Run(wbtest::Python() +
                                   " -c \"import sys,zipfile; z=zipfile.ZipFile(sys.argv[1]); "
                                   "print(''.join(z.read(n).decode() for n in sorted(z.namelist()) "
                                   "if n.startswith('xl/charts/')))\" '" + xlsx + "'",
                               out);
    EXPECT_EQ(rc, 0) << xlsx;
    return out;
}

}  // namespace

TEST(SaveFile, ClosingOnceSavedWritesTheSameFileAsSavingAs) {
    REQUIRE_OPENPYXL();
    wbtest::TempDir dir;
    const std::string csv = dir.File("sat07.csv");
    std::string text;
    for (int t = 0; t < 40; ++t) {
        for (int c = 0; c < 13; ++c) text += (c ? "," : "") + std::to_string(c == 0 ? 1000 + t : t * 13 + c);
        text += "\r\n";
    }
    wbtest::WriteFile(csv, text);
    std::string saved[2];
    for (int closing = 0; closing < 2; ++closing) {
        Application app;
        Workbook& wb = app.OpenCsv(csv);
        Worksheet& data = wb.ActiveWorksheet();
        for (const char* columns : {"$A:$A,$J:$J", "$A:$A,$E:$E"}) {
            Chart& c = wb.AddChart();
            c.SetChartType(ChartType::XYScatter);
            c.SetSourceData(data.GetRange(columns), true, false);
        }
        saved[closing] = dir.File(closing ? "closed.xlsx" : "saved.xlsx");
        if (closing) {
            wb.SaveAsAndClose(saved[closing]);
            EXPECT_EQ(app.WorkbookCount(), 0);
        } else {
            wb.SaveAs(saved[closing]);
        }
    }
    // Every column is in the file, the charted ones and the others, and the
    // charts' points are those of their columns.
    const wbtest::FileView before = wbtest::ReadBack(saved[0], dir.Path().string());
    const wbtest::FileView after = wbtest::ReadBack(saved[1], dir.Path().string());
    EXPECT_EQ(after.cached.size(), 40u * 13u);
    EXPECT_EQ(after.cached, before.cached);
    EXPECT_EQ(after.sheets, before.sheets);
    const std::string charts = ChartXml(saved[1]);
    EXPECT_EQ(charts, ChartXml(saved[0]));
    EXPECT_NE(charts.find("<c:v>" + std::to_string(39 * 13 + 9) + "</c:v>"), std::string::npos);
}
