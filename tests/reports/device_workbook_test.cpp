// A receiver's own workbook: the TTFF sheet and chart as laid out at the
// start of a test, the rows written trial by trial, and the file saved after
// each row, read back by openpyxl and recomputed by gnumeric.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>

#include "bench/devices/device_workbook.h"
#include "bench/devices/system_log.h"
#include "bench/reports/device_sheet.h"
#include "tests/reports/report_bench.h"
#include "tests/reports/saved_charts.h"
#include "tests/support/comma_locale.h"
#include "tests/support/fakes.h"
#include "tests/support/qt_app.h"

namespace {

namespace fs = std::filesystem;
using workbook::Value;

// The device side's host, laying sheets out with the report builders.
class LayoutHost : public test::FakeBenchHost {
public:
    void FormatDeviceTTFFSheet(workbook::Application& excel, workbook::Worksheet& sheet, const std::string& name,
                               int16_t n, int16_t limit) override {
        bench::reports::FormatDeviceTTFFSheet(excel, sheet, name, n, limit);
    }
    void CreateDeviceTTFFChart(workbook::Workbook& book, const std::string& device, const std::string& name,
                               const std::string& data, int16_t r1, int16_t c1, int16_t r2, int16_t c2) override {
        bench::reports::CreateDeviceTTFFChart(book, device, name, data, r1, c1, r2, c2);
    }
};

std::string Slurp(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

workbook::Chart& ChartSheet(workbook::Workbook& wb, const std::string& name) {
    auto* cs = dynamic_cast<workbook::ChartSheet*>(&wb.Sheets(name));
    if (!cs) throw std::runtime_error("no chart sheet " + name);
    return cs->GetChart();
}

TEST(DeviceTTFFSheet, LayoutFormulasAndStyleOfTenTrials) {
    workbook::Application app;
    workbook::Workbook& wb = app.AddWorkbook();
    workbook::Worksheet& ws = wb.AddWorksheet();
    bench::reports::FormatDeviceTTFFSheet(app, ws, "COLD", 10, 300);

    EXPECT_EQ(ws.Name(), "COLD_Data");
    const char* labels[] = {"TRIALS", "AVERAGE", "MAX", "MIN", "STD DEV", "% NO FIX"};
    for (int r = 1; r <= 6; ++r) EXPECT_EQ(ws.ValueAt(r, 1).Text(), labels[r - 1]);
    EXPECT_EQ(ws.GetRange("B1").FormulaR1C1(), "=COUNT(R2C3:R11C3)");
    EXPECT_EQ(ws.GetRange("B2").FormulaR1C1(), "=AVERAGE(R2C3:R11C3)");
    EXPECT_EQ(ws.GetRange("B3").FormulaR1C1(), "=MAX(R2C3:R11C3)");
    EXPECT_EQ(ws.GetRange("B4").FormulaR1C1(), "=MIN(R2C3:R11C3)");
    EXPECT_EQ(ws.GetRange("B5").FormulaR1C1(), "=STDEV(R2C3:R11C3)");
    EXPECT_EQ(ws.GetRange("B6").FormulaR1C1(), "=COUNTIF(R2C3:R11C3,\">=300\")");
    EXPECT_EQ(ws.GetRange("B1").Formula(), "=COUNT($C$2:$C$11)");

    const char* headers[] = {"TTFF [s]",       "onFix UTC",    "onFix Lat",     "onFix Lon",      "onFix Height",
                             "onFix TrkSats",  "onFix UsedSats", "onFix Status", "5sFix Lat",      "5sFix Lon",
                             "5sFix Height",   "5sFix TrkSats", "5sFix UsedSats", "5sFix Status",  "10sFix Lat",
                             "10sFix Lon",     "10sFix Height", "10sFix TrkSats", "10sFix UsedSats", "10sFix Status"};
    for (int c = 3; c <= 22; ++c) EXPECT_EQ(ws.ValueAt(1, c).Text(), headers[c - 3]) << c;
    EXPECT_TRUE(ws.ValueAt(1, 23).IsEmpty());

    // Before any trial the block counts nothing; a TTFF at the limit counts as no fix.
    EXPECT_EQ(ws.ValueAt(1, 2).Number(), 0);
    const double ttffs[] = {12.5, 300, 40.25, 301};
    for (int i = 0; i < 4; ++i) ws.Put(i + 2, 3, Value(ttffs[i]));
    EXPECT_EQ(ws.ValueAt(1, 2).Number(), 4);
    EXPECT_DOUBLE_EQ(ws.ValueAt(2, 2).Number(), (12.5 + 300 + 40.25 + 301) / 4);
    EXPECT_EQ(ws.ValueAt(3, 2).Number(), 301);
    EXPECT_EQ(ws.ValueAt(4, 2).Number(), 12.5);
    EXPECT_EQ(ws.ValueAt(6, 2).Number(), 2) << "300 and 301 are at or above the limit";

    for (const char* cell : {"A1", "B6", "A6", "B1"}) {
        const workbook::Style s = ws.EffectiveStyle(ws.GetRange(cell).Row(), ws.GetRange(cell).Column());
        EXPECT_EQ(s.fillColorIndex.value_or(0), 6) << cell;
        EXPECT_TRUE(s.bold.value_or(false)) << cell;
        ASSERT_TRUE(s.border[workbook::kLeft].has_value()) << cell;
        EXPECT_EQ(s.border[workbook::kLeft]->lineStyle, workbook::xl::Continuous);
        EXPECT_EQ(s.border[workbook::kLeft]->weight, workbook::xl::Medium) << "weight 3 is drawn as medium";
        EXPECT_EQ(s.border[workbook::kBottom]->lineStyle, workbook::xl::Continuous);
    }
    EXPECT_FALSE(ws.EffectiveStyle(1, 3).bold.value_or(false)) << "headers are not styled";
}

TEST(DeviceTTFFSheet, ChartFollowsTheRowsAsTheyAreWritten) {
    workbook::Application app;
    workbook::Workbook& wb = app.AddWorkbook();
    workbook::Worksheet& ws = wb.AddWorksheet();
    bench::reports::FormatDeviceTTFFSheet(app, ws, "COLD", 10, 300);
    bench::reports::CreateDeviceTTFFChart(wb, "RX1", "COLD", "COLD_Data", 1, 3, 11, 3);

    workbook::Chart& chart = ChartSheet(wb, "COLD_Chart");
    EXPECT_EQ(chart.Type(), workbook::ChartType::Line);
    EXPECT_EQ(chart.Title(), "RX1 COLD Start Results - TTFF");
    EXPECT_EQ(chart.Axes(workbook::xl::Category).Title(), "Trials");
    EXPECT_EQ(chart.Axes(workbook::xl::ValueAxis).Title(), "Time To First Fix [s]");
    EXPECT_EQ(chart.LegendPosition(), workbook::xl::LegendBottom);
    ASSERT_EQ(chart.SeriesCount(), 1);
    const workbook::Series& s = chart.SeriesCollection(1);
    EXPECT_EQ(s.Name(), "TTFF [s]");
    ASSERT_EQ(s.ValuesRef().size(), 1u);
    EXPECT_EQ(s.ValuesRef()[0].sheet, "COLD_Data");
    EXPECT_EQ(s.ValuesRef()[0].area.row1, 2);
    EXPECT_EQ(s.ValuesRef()[0].area.row2, 11);
    EXPECT_EQ(s.ValuesRef()[0].area.col1, 3);
    EXPECT_EQ(wb.Sheets(wb.Count()).Name(), "COLD_Chart") << "after every other sheet";

    ws.Put(2, 3, Value(31.5));
    ws.Put(3, 3, Value(42.0));
    const std::vector<double> y = s.YData();
    ASSERT_GE(y.size(), 2u);
    EXPECT_EQ(y[0], 31.5);
    EXPECT_EQ(y[1], 42.0);
}

class DeviceWorkbook : public ::testing::Test {
protected:
    void SetUp() override {
        dev.Host = &host;
        dev.DeviceName = "RCV1";
        dev.MaxTTFF = 300;
        app = std::make_shared<workbook::Application>();
        bench::OpenSystemLog();
    }
    void TearDown() override { bench::CloseSystemLog(); }

    // The values at the fix and after it, as the GGA processing leaves them.
    void FixValues(double utc, double lat, double lon) {
        dev.FixRow = {bench::CellValue(99.0), utc, lat, lon, 545.4, 0.0, 8.0, 1.0};
        for (int k = 0; k < 2; ++k) {
            const double d = k == 0 ? 5 : 10;
            dev.AfterFixRow[k * 6 + 0] = lat + d / 1e5;
            dev.AfterFixRow[k * 6 + 1] = lon;
            dev.AfterFixRow[k * 6 + 2] = 545.0 + d;
            dev.AfterFixRow[k * 6 + 3] = 0.0;
            dev.AfterFixRow[k * 6 + 4] = 9.0;
            dev.AfterFixRow[k * 6 + 5] = 1.0;
        }
    }
    workbook::Worksheet& Data(const std::string& name) { return dev.WorkbookRef->Worksheets(name); }

    test::TempHome home;
    LayoutHost host;
    bench::DeviceState dev;
    std::shared_ptr<workbook::Application> app;
};

TEST_F(DeviceWorkbook, NothingHappensWhileNoWorkbookIsOpen) {
    FixValues(30615, 48.1, 11.5);
    bench::AddNewDeviceSheet(dev);
    bench::InitializeDeviceSheet(dev, "COLD", 3);
    bench::DeviceSpreadSheetSetTTFFData(dev, 1, 12.5);
    bench::DeviceSpreadSheetWriteAfterFixData(dev, 1);
    bench::DeviceSpreadSheetSaveas(dev, home.Path(), "RCV1");
    bench::DeviceSpreadSheetClose(dev);
    EXPECT_FALSE(dev.WorkbookOpen);
    EXPECT_EQ(app->WorkbookCount(), 0);
    EXPECT_FALSE(fs::exists(home.File("RCV1.xlsx")));
}

TEST_F(DeviceWorkbook, TrialRowsGoToTheirRowsAndEachRowIsSaved) {
    bench::InitDeviceSpreadSheet(dev, app);
    workbook::Workbook* first = dev.WorkbookRef;
    auto other = std::make_shared<workbook::Application>();
    bench::InitDeviceSpreadSheet(dev, other);
    EXPECT_EQ(dev.WorkbookRef, first) << "a second start keeps the first workbook";
    EXPECT_EQ(dev.ExcelApp, app);
    EXPECT_EQ(other->WorkbookCount(), 0);

    const std::string file = home.File("session/RCV1/RCV1.xlsx");
    fs::create_directories(home.File("session/RCV1"));
    bench::DeviceSpreadSheetSaveas(dev, home.File("session/RCV1"), "RCV1");
    bench::WaitForWorkbookSaves();
    ASSERT_TRUE(fs::exists(file));

    bench::AddNewDeviceSheet(dev);
    bench::InitializeDeviceSheet(dev, "COLD", 3);
    ASSERT_NE(dev.WorkbookRef->FindSheet("COLD_Data"), nullptr);
    ASSERT_NE(dev.WorkbookRef->FindSheet("COLD_Chart"), nullptr);
    EXPECT_EQ(ChartSheet(*dev.WorkbookRef, "COLD_Chart").Title(), "RCV1 COLD Start Results - TTFF");

    FixValues(30615, 48.1172, 11.5166);
    bench::DeviceSpreadSheetSetTTFFData(dev, 1, 31.27);
    // Saved at once: a reader of the file sees trial 1 before trial 2 exists.
    bench::WaitForWorkbookSaves();
    if (wbtest::HaveOpenpyxl()) {
        wbtest::FileView f = wbtest::ReadBack(file, home.Path());
        EXPECT_EQ(wbtest::AsDouble(f.formulas["COLD_Data!C2"]), 31.27);
        EXPECT_EQ(f.formulas.count("COLD_Data!K2"), 0u) << "after-fix values come later";
    }
    bench::DeviceSpreadSheetWriteAfterFixData(dev, 1);
    FixValues(30700, 48.2, 11.6);
    bench::DeviceSpreadSheetSetTTFFData(dev, 2, -1);  // a failed trial, as its results line says

    workbook::Worksheet& ws = Data("COLD_Data");
    EXPECT_EQ(ws.ValueAt(2, 3).Number(), 31.27);
    EXPECT_EQ(ws.ValueAt(2, 4).Number(), 30615);
    EXPECT_EQ(ws.ValueAt(2, 5).Number(), 48.1172);
    EXPECT_EQ(ws.ValueAt(2, 6).Number(), 11.5166);
    EXPECT_EQ(ws.ValueAt(2, 7).Number(), 545.4);
    EXPECT_EQ(ws.ValueAt(2, 9).Number(), 8);
    EXPECT_EQ(ws.ValueAt(2, 10).Number(), 1);
    EXPECT_NEAR(ws.ValueAt(2, 11).Number(), 48.1172 + 5e-5, 1e-12);
    EXPECT_EQ(ws.ValueAt(2, 13).Number(), 550);
    EXPECT_EQ(ws.ValueAt(2, 19).Number(), 555);
    EXPECT_EQ(ws.ValueAt(2, 22).Number(), 1);
    EXPECT_TRUE(ws.ValueAt(2, 23).IsEmpty());
    EXPECT_EQ(ws.ValueAt(3, 3).Number(), -1);
    EXPECT_TRUE(ws.ValueAt(3, 11).IsEmpty());
    EXPECT_EQ(ws.ValueAt(1, 2).Number(), 2);

    // A second test of the same type gets sheets of its own.
    bench::AddNewDeviceSheet(dev);
    bench::InitializeDeviceSheet(dev, "COLD", 2);
    EXPECT_EQ(dev.WorksheetRef->Name(), "COLD_Data_2");
    EXPECT_EQ(ChartSheet(*dev.WorkbookRef, "COLD_Chart_2").SeriesCollection(1).ValuesRef()[0].sheet, "COLD_Data_2");
    bench::DeviceSpreadSheetSetTTFFData(dev, 1, 20);
    EXPECT_EQ(ws.ValueAt(2, 3).Number(), 31.27) << "the first test's rows stay";

    bench::DeviceSpreadSheetClose(dev);
    EXPECT_FALSE(dev.WorkbookOpen);
    EXPECT_EQ(dev.ExcelApp, app) << "the application stays";
    EXPECT_EQ(app->WorkbookCount(), 0);
    bench::DeviceSpreadSheetSetTTFFData(dev, 3, 5);  // closed: nothing, no error

    bench::WaitForWorkbookSaves();
    if (!wbtest::HaveOpenpyxl()) GTEST_SKIP() << "python3-openpyxl is missing";
    wbtest::FileView f = wbtest::ReadBack(file, home.Path());
    EXPECT_EQ(f.sheets, (std::vector<std::string>{"Sheet1", "COLD_Data", "COLD_Chart", "COLD_Data_2", "COLD_Chart_2"}));
    EXPECT_EQ(f.kinds["COLD_Chart"], "Chartsheet");
    EXPECT_EQ(f.formulas["COLD_Data!B1"], "=COUNT($C$2:$C$4)");
    EXPECT_EQ(f.formulas["COLD_Data!B6"], "=COUNTIF($C$2:$C$4,\">=300\")");
    EXPECT_EQ(wbtest::AsDouble(f.formulas["COLD_Data_2!C2"]), 20);
    EXPECT_EQ(f.fonts["COLD_Data!A1"], "bold");
    bool line = false;
    for (const std::string& c : f.chartParts)
        if (c.rfind("lineChart|", 0) == 0 && c.find("COLD_Data!$C$2:$C$4") != std::string::npos) line = true;
    EXPECT_TRUE(line) << "a line chart over the TTFF column";

    if (!wbtest::HaveSsconvert()) GTEST_SKIP() << "gnumeric's ssconvert is missing";
    const std::map<std::string, std::string> again = reptest::Recomputed(
        file, home.Path(), {"COLD_Data!B1", "COLD_Data!B2", "COLD_Data!B3", "COLD_Data!B4", "COLD_Data!B5",
                            "COLD_Data!B6"});
    EXPECT_EQ(wbtest::AsDouble(again.at("COLD_Data!B1")), 2);
    EXPECT_NEAR(wbtest::AsDouble(again.at("COLD_Data!B2")), (31.27 - 1) / 2, 1e-9);
    EXPECT_EQ(wbtest::AsDouble(again.at("COLD_Data!B3")), 31.27);
    EXPECT_EQ(wbtest::AsDouble(again.at("COLD_Data!B4")), -1);
    EXPECT_NEAR(wbtest::AsDouble(again.at("COLD_Data!B5")), std::sqrt(2 * std::pow((31.27 + 1) / 2, 2)), 1e-9);
    EXPECT_EQ(wbtest::AsDouble(again.at("COLD_Data!B6")), 0);
}

// A session run in a comma-decimal locale, as on a German lab PC: the
// receiver's workbook, saved in the background after each trial, holds its
// numbers as the receiver gave them, and openpyxl reads it.
TEST_F(DeviceWorkbook, RowsSavedUnderADecimalCommaKeepTheirPoints) {
    REQUIRE_OPENPYXL();
    const std::string file = home.File("RCV1.xlsx");
    {
        test::CommaLocale comma;
        REQUIRE_COMMA_LOCALE(comma);
        bench::InitDeviceSpreadSheet(dev, app);
        bench::DeviceSpreadSheetSaveas(dev, home.Path(), "RCV1");
        bench::AddNewDeviceSheet(dev);
        bench::InitializeDeviceSheet(dev, "COLD", 3);
        const double ttff[] = {1.8, 2.6, 1.4};
        for (int t = 1; t <= 3; ++t) {
            FixValues(30615.5 + t, 48.1173, 11.516667);
            dev.FixRow[0] = bench::CellValue(ttff[t - 1]);
            bench::DeviceSpreadSheetSetTTFFData(dev, t, ttff[t - 1]);
            bench::DeviceSpreadSheetWriteAfterFixData(dev, t);
        }
        bench::DeviceSpreadSheetClose(dev);
        bench::WaitForWorkbookSaves();
    }
    for (const std::string& c : reptest::CommaNumbers(file, home.Path())) ADD_FAILURE() << c;
    wbtest::FileView f = wbtest::ReadBack(file, home.Path());
    EXPECT_EQ(f.cached["COLD_Data!C2"], "1.8");
    EXPECT_EQ(f.cached["COLD_Data!C4"], "1.4");
    EXPECT_EQ(f.cached["COLD_Data!D3"], "30617.5");
    EXPECT_EQ(f.cached["COLD_Data!E2"], "48.1173");
    EXPECT_EQ(f.cached["COLD_Data!F2"], "11.516667");
    EXPECT_NEAR(wbtest::AsDouble(f.cached["COLD_Data!B2"]), (1.8 + 2.6 + 1.4) / 3, 1e-12);
    for (const auto& [series, s] : reptest::ReadSavedCharts(file, home.Path()).series) EXPECT_EQ(s.differing, 0) << series;
}

TEST_F(DeviceWorkbook, AFailedSaveIsOneLogLinePerTestAndTheRowsStay) {
    bench::InitDeviceSpreadSheet(dev, app);
    const std::string folder = home.File("gone");
    fs::create_directories(folder);
    bench::DeviceSpreadSheetSaveas(dev, folder, "RCV1");
    bench::WaitForWorkbookSaves();
    fs::remove_all(folder);  // the disk went away under the session

    bench::AddNewDeviceSheet(dev);
    bench::InitializeDeviceSheet(dev, "HOT", 3);
    FixValues(30615, 48.1, 11.5);
    for (int16_t t = 1; t <= 3; ++t) {
        bench::DeviceSpreadSheetSetTTFFData(dev, t, 2.5 * t);
        bench::DeviceSpreadSheetWriteAfterFixData(dev, t);
    }
    EXPECT_EQ(Data("HOT_Data").ValueAt(4, 3).Number(), 7.5);
    bench::WaitForWorkbookSaves();
    const std::string log = Slurp(bench::SystemLogPath());
    size_t count = 0;
    for (size_t at = log.find("RCV1: workbook not saved"); at != std::string::npos;
         at = log.find("RCV1: workbook not saved", at + 1))
        ++count;
    EXPECT_EQ(count, 1u) << log;
    EXPECT_NE(log.find("(test HOT_Data)"), std::string::npos) << log;

    // The folder is back: the next save writes everything kept so far.
    fs::create_directories(folder);
    bench::DeviceSpreadSheetClose(dev);
    bench::WaitForWorkbookSaves();
    ASSERT_TRUE(fs::exists(folder + "/RCV1.xlsx"));
    if (!wbtest::HaveOpenpyxl()) GTEST_SKIP() << "python3-openpyxl is missing";
    wbtest::FileView f = wbtest::ReadBack(folder + "/RCV1.xlsx", home.Path());
    EXPECT_EQ(wbtest::AsDouble(f.formulas["HOT_Data!C4"]), 7.5);
}

TEST_F(DeviceWorkbook, AWorkbookClosedWithItsApplicationIsNotWrittenThrough) {
    bench::InitDeviceSpreadSheet(dev, app);
    bench::AddNewDeviceSheet(dev);
    bench::InitializeDeviceSheet(dev, "WARM", 2);
    app->Quit();
    FixValues(30615, 48.1, 11.5);
    bench::DeviceSpreadSheetSetTTFFData(dev, 1, 3);  // no crash through a closed workbook
    EXPECT_FALSE(dev.WorkbookOpen);
    bench::InitDeviceSpreadSheet(dev, app);
    EXPECT_TRUE(dev.WorkbookOpen) << "a new workbook can be started";
}

}  // namespace
