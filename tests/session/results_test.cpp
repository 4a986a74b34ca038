// The results grid's statistics and the result lines of each kind of trial.
#include <gtest/gtest.h>

#include "tests/session/session_harness.h"

namespace sessiontest {
namespace {

using V = std::vector<std::string>;

TEST(ResultsGrid, RunningStatisticsPerDeviceColumn) {
    ResultsGrid g;
    g.UpdateCell(1, 0, 40);
    g.UpdateCell(2, 0, 20);
    g.UpdateCell(3, 0, 30);
    EXPECT_EQ(g.Cell(0, 1), "30");
    EXPECT_EQ(g.Cell(1, 1), "40");
    EXPECT_EQ(g.Cell(2, 1), "20");
    EXPECT_EQ(g.Cell(0, 0), "Ave (s)");
    EXPECT_EQ(g.Cell(2, 0), "Min (s)");
    EXPECT_EQ(g.Cell(5, 1), "20");
    EXPECT_EQ(g.Cell(3, 1), "");  // row 3 stays empty
    EXPECT_EQ(g.Cell(0, 2), "");  // other devices untouched
}

TEST(ResultsGrid, ErrorValuesAreShownButKeptOutOfTheStatistics) {
    ResultsGrid g;
    g.UpdateCell(1, 2, 10);
    g.UpdateCell(2, 2, -1);
    g.UpdateCell(3, 2, 20);
    EXPECT_EQ(g.Cell(5, 3), "-1");
    EXPECT_EQ(g.Cell(0, 3), "15");  // mean of its own two samples
    EXPECT_EQ(g.Cell(2, 3), "10");
    EXPECT_EQ(g.Cell(1, 3), "20");
}

TEST(ResultsGrid, LargeValuesNeverBecomeTheMinimum) {
    ResultsGrid g;
    g.UpdateCell(1, 0, 10000);
    g.UpdateCell(2, 0, 12000.5);
    EXPECT_EQ(g.Cell(2, 1), "10000");
    EXPECT_EQ(g.Cell(1, 1), "12000.5");
}

TEST(ResultsGrid, GrowsForLongTestsAndRejectsBadCells) {
    ResultsGrid g;
    g.UpdateCell(500, 3, 7.25);
    g.AddLineLable(500, "500");
    EXPECT_EQ(g.Cell(503, 4), "7.25");
    EXPECT_EQ(g.Cell(503, 0), "500");
    g.UpdateCell(0, 0, 99);
    g.UpdateCell(1, 4, 99);
    g.UpdateCell(1, -1, 99);
    EXPECT_EQ(g.Cell(0, 1), "");
    EXPECT_EQ(g.Cell(3, 1), "");
    g.ResetResultsWindow();
    EXPECT_EQ(g.Cell(503, 4), "");
    EXPECT_EQ(g.Cell(1, 0), "Max (s)");
    g.UpdateTest(3, 10);
    EXPECT_EQ(g.Caption(), "Results: n. 3 of 10");
}

struct CollectTest : ::testing::Test {
    Harness h;
    fakes::FakeDeviceWindow* a = nullptr;
    fakes::FakeDeviceWindow* b = nullptr;
    void SetUp() override {
        a = &h.AddDevice(0, "A");
        b = &h.AddDevice(1, "B");
        h.engine.SystemConfigUpdate(h.cfg);
    }
};

TEST_F(CollectTest, FixLinesGoSlotBySlotThenOneGsaLinePerDevice) {
    h.state.Run.Trial = 3;
    a->ttff = 35.274;
    b->ttff = 35.125;  // an exact binary half: rounds to even
    h.calls.clear();
    h.engine.FixEventManagement();
    EXPECT_EQ(a->results_lines, (V{"35.27\t% 3\t" + a->fix_gga}));
    EXPECT_EQ(b->results_lines, (V{"35.12\t% 3\t" + b->fix_gga}));
    const auto logs = h.CallsWith("Device");
    ASSERT_EQ(logs.size(), 4u);
    EXPECT_EQ(logs[0].substr(0, 26), "N0.DeviceLogResultsToFile(");
    EXPECT_EQ(logs[1].substr(0, 26), "N1.DeviceLogResultsToFile(");
    EXPECT_EQ(logs[2], "N0.DeviceLogFixGSAToFile(3)");
    EXPECT_EQ(logs[3], "N1.DeviceLogFixGSAToFile(3)");
    EXPECT_EQ(h.grid.Cell(6, 1), "35.27");
    EXPECT_EQ(h.grid.Cell(6, 2), "35.12");
}

TEST_F(CollectTest, NoFixIsReportedAndStillEndsItsLine) {
    h.state.Run.Trial = 2;
    a->ttff = -1;
    a->fix_gga = "";
    b->ttff = 12;
    b->fix_gga = "$GPGGA,1*00";  // no line end of its own
    h.engine.FixEventManagement();
    EXPECT_TRUE(h.status.Shown(1, "Time Measure ERROR!"));
    EXPECT_EQ(a->results_lines, (V{"-1\t% 2\t\r\n"}));
    EXPECT_EQ(b->results_lines, (V{"12\t% 2\t$GPGGA,1*00\r\n"}));
    EXPECT_EQ(h.grid.Cell(5, 1), "-1");
}

TEST_F(CollectTest, WorkbookGetsTheTtffWhenTheInterfaceIsOn) {
    h.state.Run.Trial = 1;
    a->ttff = 8.5;
    h.engine.FixEventManagement();
    EXPECT_EQ(a->CallsCount("DeviceSpreadSheetSetTTFFData(1,8.5)"), 0);
    h.state.Options.ExelInterface = true;
    h.engine.FixEventManagement();
    EXPECT_EQ(a->CallsCount("DeviceSpreadSheetSetTTFFData(1,8.5)"), 0)
        << "a test without a sheet of its own (REACQUISITION) writes into no earlier test's sheet";
    h.state.Run.DeviceSheet = true;
    h.engine.FixEventManagement();
    EXPECT_EQ(a->CallsCount("DeviceSpreadSheetSetTTFFData(1,8.5)"), 1);
}

TEST_F(CollectTest, TrackedLineCarriesSatellitesAndSignalOnTime) {
    h.state.Run.Trial = 4;
    a->ttff = 61.456;
    a->tttrk_sats = 6;
    a->signal_on_second = 3725;
    a->current_gga = "$GPGGA,CUR\r\n";
    h.engine.SatellitesTrackedEventManagement();
    EXPECT_EQ(a->results_lines, (V{"61.46\t6\t3725\t% 01:02:05% 4\t$GPGGA,CUR\r\n"}));
    EXPECT_TRUE(h.CallsWith("DeviceLogFixGSAToFile").empty());
}

TEST_F(CollectTest, SbasLineJoinsBothSentencesAndHandlesAMissingFix) {
    a->ttff = 30.123;
    a->fix_gga = "$GPGGA,FIX\r\n";
    a->diff_time = 95.5;
    a->diff_gga = "$GPGGA,DIFF\r\n";
    a->sbas_time = 80.25;
    b->fix_gga = "";  // no fix yet: no crash, one whole line
    b->diff_gga = "";
    h.engine.DiffONEventManagementFor(2);
    EXPECT_EQ(a->results_lines, (V{"30.123\t% 2\t$GPGGA,FIX SBAS 80.25 % 95.5\t% $GPGGA,DIFF\r\n"}));
    EXPECT_EQ(b->results_lines, (V{"0\t% 2\t SBAS 0 % 0\t% \r\n"}));
    EXPECT_EQ(h.grid.Cell(5, 1), "95.5");
}

TEST(SbasSession, DifferentialResultsAreRecordedUnderTheirOwnTrial) {
    Harness h;
    auto& d = h.AddDevice(0, "GPS1");
    h.AddTest(0, "COLD", 2);
    h.state.Options.SBASTEST = true;
    d.fix_delay_ms = 1000;
    d.diff_on = true;
    d.diff_time = 40;
    ASSERT_TRUE(h.Start());
    ASSERT_GE(h.RunToEnd(), 0);
    ASSERT_EQ(d.results_lines.size(), 2u);
    EXPECT_EQ(d.results_lines[0].substr(0, 7), "1\t% 1\t$");
    EXPECT_EQ(d.results_lines[1].substr(0, 7), "1\t% 2\t$");
    EXPECT_EQ(h.grid.Cell(5, 1), "40");
}

}  // namespace
}  // namespace sessiontest
