// The device window runs the restart scripts, the sampling and C/N0 files and
// the position window through its own controls and public operations.
#include "bench/devices/comm_window.h"
#include "bench/devices/pos_chart.h"
#include "platform/qt/bench_timer.h"
#include "tests/support/emulated_receiver.h"
#include "tests/support/fakes.h"
#include "tests/support/qt_app.h"

#include <QCheckBox>
#include <QPointer>

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>

using namespace bench;

TEST(DeviceWindowScripts, ScriptTimerRunsTheRestartScriptOnTheOpenPort) {
    test::TempHome home;
    test::EmulatedReceiver gps;
    gps.RegisterPort(11);
    test::FakeBenchHost host;
    CommWindow w(&host);
    w.SetDeviceComParams(11, 9600);
    w.OpenPort_Click();
    ASSERT_TRUE(w.Port().PortOpen());
    DeviceState& dev = w.State();
    w.ExecuteTest("OPUSHOT");  // the test machine starts the family's script
    ASSERT_TRUE(dev.Console.ScriptTimer->Enabled());
    dev.Console.ScriptTimer->SetInterval(10);  // the steps' own pace, shortened
    const std::string expect = "$PERDCOR,STOP*69\r\n$PERDCOR,START,HOT,UNAIDED*34\r\n";
    ASSERT_TRUE(test::WaitFor([&] { return gps.Received().size() >= expect.size(); }));
    test::Pump(30);
    EXPECT_EQ(gps.Received(), expect);
    EXPECT_TRUE(dev.GGAAsStartup);
    EXPECT_EQ(dev.TestState, 1) << "the restart is now awaited from the receiver";
    EXPECT_FALSE(dev.Console.ScriptTimer->Enabled());
}

TEST(DeviceWindowPosition, BoxOpensPlacesAndClosesThePositionWindow) {
    test::TempHome home;
    test::EnsureApp();
    test::FakeBenchHost host;
    auto* w = new CommWindow(&host);
    w->SetDeviceName("GPS3");
    DeviceState& dev = w->State();
    auto* box = w->findChild<QCheckBox*>("PosC");
    ASSERT_NE(box, nullptr);
    box->setChecked(true);
    auto* chart = dynamic_cast<PosChart*>(dev.PosChartWindow);
    ASSERT_NE(chart, nullptr);
    EXPECT_TRUE(dev.PosChartShown);
    EXPECT_EQ(chart->windowTitle().toStdString(), "GPS3POSITION WINDOW");
    EXPECT_TRUE(chart->isWindow());

    // The picture goes beside the secondary log, as PNG.
    chart->PosAddToChart(2455.05, "N", 856.556, "E", 0);
    chart->PosUpdatePlot();
    dev.SecondaryLogName = home.Path() + "/GPS3_TTFF_COLD_DEBUG_1.txt";
    w->DeviceSavePositionPicture();
    EXPECT_EQ(test::ReadFileBytes(home.Path() + "/GPS3_TTFF_COLD_DEBUG_1_pos.png").substr(1, 3), "PNG");

    // The user closes the plot: the device forgets it and the box clears.
    QPointer<PosChart> guard(chart);
    chart->close();
    EXPECT_EQ(dev.PosChartWindow, nullptr);
    EXPECT_FALSE(dev.PosChartShown);
    EXPECT_FALSE(box->isChecked());
    ASSERT_TRUE(test::WaitFor([&] { return guard.isNull(); }));
    std::filesystem::remove(home.Path() + "/GPS3_TTFF_COLD_DEBUG_1_pos.png");
    w->DeviceSavePositionPicture();  // closed: nothing saved
    EXPECT_FALSE(std::filesystem::exists(home.Path() + "/GPS3_TTFF_COLD_DEBUG_1_pos.png"));

    // Ticked again: a new window; the device window takes it along when it goes.
    box->setChecked(true);
    guard = dynamic_cast<PosChart*>(dev.PosChartWindow);
    ASSERT_FALSE(guard.isNull());
    box->setChecked(false);
    EXPECT_TRUE(guard.isNull());
    box->setChecked(true);
    guard = dynamic_cast<PosChart*>(dev.PosChartWindow);
    delete w;
    EXPECT_TRUE(guard.isNull());
}

// A receiver that keeps its fix through a restart, taken as restarted by its
// next GGA: that same GGA is the trial's fix, and nothing of it may be lost.
TEST(DeviceWindowTrial, FixInTheGgaThatShowsTheRestartIsKept) {
    test::TempHome home;
    test::EmulatedReceiver gps;
    gps.RegisterPort(12);
    test::FakeBenchHost host;
    CommWindow w(&host);
    w.SetDeviceComParams(12, 9600);
    w.OpenPort_Click();
    ASSERT_TRUE(w.Port().PortOpen());
    w.DeviceGGASamplingEnable();
    DeviceState& dev = w.State();
    auto gga = [](int second) {
        char body[96];
        std::snprintf(body, sizeof body, "$GPGGA,1200%02d.00,4807.038,N,01131.000,E,1,08,0.9,545.4,M,46.9,M,,",
                      second);
        return test::Sentence(body);
    };
    w.DeviceResetNGGAMessageCounter();
    w.DeviceSetGGAAsStartupStringEnabled(true);
    w.ExecuteTest("$PQNVCOLD");
    gps.Write(gga(1));  // still the old fix: passed over
    gps.Write(gga(2));  // the restart, and the fix
    ASSERT_TRUE(test::WaitFor([&] { return dev.GGACount >= 2; }));
    for (int s = 3; s <= 8; ++s) gps.Write(gga(s));
    ASSERT_TRUE(test::WaitFor([&] { return dev.GGACount >= 8; }));
    EXPECT_TRUE(w.IsTestCompleted());
    EXPECT_EQ(w.GetGGAFixString(), gga(2));
    EXPECT_EQ(w.DeviceGetGGAOnFixString(), gga(2)) << "the on-fix sample of the restart line";
    EXPECT_EQ(w.DeviceGetGGA05sFixString(), gga(7));
    EXPECT_EQ(std::get<double>(dev.FixRow[1]), 12 * 3600 + 2.0) << "the fix row";
    EXPECT_NEAR(std::get<double>(dev.AfterFixRow[0]), 48.1173, 1e-4) << "the row 5 s after the fix";
}
