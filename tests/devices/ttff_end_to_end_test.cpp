// A restart test end to end through a real serial port: the bench sends the
// restart command to an emulated receiver on a pseudo-terminal, recognises
// its start-up text, and times the first fix of its GGA stream on the real
// clock.
#include "bench/devices/console.h"
#include "bench/devices/dispatch.h"
#include "bench/devices/nmea.h"
#include "bench/devices/system_log.h"
#include "bench/devices/test_machine.h"
#include "platform/comm/serial_port.h"
#include "platform/core/numtext.h"
#include "tests/support/fakes.h"
#include "tests/support/qt_app.h"
#include "tests/support/restarting_receiver.h"

#include <cmath>
#include <gtest/gtest.h>

using namespace bench;

namespace {

struct Bench {
    explicit Bench(int port_number) {
        dev.Host = &host;
        dev.DeviceID = 0;
        dev.Console.Port = &port;
        dev.StartupString = "$PQNVRST";
        dev.MaxTTFF = 300;
        port.SetReceiveHandler([this] { CommPortRead(dev); });
        port.SetRThreshold(1);
        CommPortSetup(dev, static_cast<int16_t>(port_number), 115200);
        InstallMessageProcessing(dev);
        CommPortOpen(dev);
    }
    // What the window does for each trial.
    void Execute(const std::string& command) {
        dev.TestCommand = command;
        dev.Ticks = 0;
        dev.TickLimit = 10;
        DeviceTestMachine(dev, EvStop, platform::SystemClock::Instance().StampNow());
        DeviceTestMachine(dev, EvStart, platform::SystemClock::Instance().StampNow());
    }
    test::FakeBenchHost host;
    platform::SerialPort port;
    DeviceState dev;
};

const std::string kCold = "$PQNVCOLD*" + NMEA_Checksum("$PQNVCOLD") + "\r\n";

int Count(const std::vector<std::string>& lines, const std::string& what) {
    int n = 0;
    for (const auto& l : lines) n += l == what;
    return n;
}

}  // namespace

TEST(TtffEndToEnd, MeasuresTheReceiversFixDelay) {
    test::TempHome home;
    test::RestartingReceiver gps({.fix_delay_ms = 700, .gga_interval_ms = 50});
    gps.RegisterPort(5);
    Bench b(5);
    ASSERT_TRUE(test::WaitFor([&] { return b.dev.GGACount >= 2; }));
    EXPECT_TRUE(b.dev.FixAvailable) << "the receiver runs with a fix before the restart";
    b.Execute("$PQNVCOLD");
    ASSERT_TRUE(test::WaitFor([&] { return b.dev.TestCompleted; }, 5000)) << b.dev.Console.Status->PanelText(1);
    EXPECT_EQ(Count(gps.ReceivedLines(), kCold), 1);
    EXPECT_EQ(gps.Restarts(), 1);
    EXPECT_NEAR(b.dev.TTFF, 0.7, test::kRealClockMargin);
    double sent = (gps.FixSentMs() - gps.StartupSentMs()) / 1000.0;
    EXPECT_NEAR(b.dev.TTFF, sent, test::kRealClockMargin);
    EXPECT_EQ(b.dev.Console.Status->PanelText(1), "FIX AVAILABLE TTFF: " + platform::NumberToText(b.dev.TTFF) + " s");
    EXPECT_NE(b.dev.FixGGA.find(",1,08,"), std::string::npos) << b.dev.FixGGA;
    ASSERT_EQ(b.host.Versions.size(), 1u);
    EXPECT_EQ(b.host.Versions[0].second, "$PQNVRST,COLD,EMU 1.0*" + NMEA_Checksum("$PQNVRST,COLD,EMU 1.0"));
}

TEST(TtffEndToEnd, StartupDelayIsAddedToTheMeasuredTime) {
    test::TempHome home;
    test::RestartingReceiver gps({.fix_delay_ms = 400, .gga_interval_ms = 50});
    gps.RegisterPort(6);
    Bench b(6);
    b.dev.StartupDelay = 2;
    b.Execute("$PQNVCOLD");
    ASSERT_TRUE(test::WaitFor([&] { return b.dev.TestCompleted; }, 5000));
    EXPECT_NEAR(b.dev.TTFF, 2.4, test::kRealClockMargin);
    EXPECT_NEAR(b.dev.EndElapsed, 0.4, test::kRealClockMargin);
}

TEST(TtffEndToEnd, UnansweredCommandIsRepeatedUntilTheReceiverRestarts) {
    test::TempHome home;
    test::RestartingReceiver gps({.fix_delay_ms = 300, .gga_interval_ms = 20, .ignore_commands = 2});
    gps.RegisterPort(7);
    Bench b(7);
    b.Execute("$PQNVCOLD");
    ASSERT_TRUE(test::WaitFor([&] { return b.dev.TestCompleted; }, 5000)) << b.dev.Console.Status->PanelText(1);
    EXPECT_EQ(Count(gps.ReceivedLines(), kCold), 3);
    EXPECT_EQ(b.dev.Failures, 2);
    EXPECT_TRUE(b.host.Disabled.empty());
    EXPECT_NEAR(b.dev.TTFF, 0.3, test::kRealClockMargin) << "timed from the restart the repeat brought";
}

TEST(TtffEndToEnd, SilentReceiverIsDisabledAfterSixRepeats) {
    test::TempHome home;
    test::RestartingReceiver gps({.gga_interval_ms = 10, .ignore_commands = 1000});
    gps.RegisterPort(8);
    bench::OpenSystemLog();
    Bench b(8);
    b.dev.DeviceName = "RCV1";
    b.Execute("$PQNVCOLD");
    ASSERT_TRUE(test::WaitFor([&] { return !b.host.Disabled.empty(); }, 5000)) << b.dev.Failures;
    const std::string log_path = bench::SystemLogPath();
    bench::CloseSystemLog();
    EXPECT_NE(test::ReadFileBytes(log_path).find("Device RCV1: no answer to 6 restart commands, DEVICE DISABLED"),
              std::string::npos)
        << "the disabling is in the system log, not only in the window";
    EXPECT_EQ(b.host.Disabled[0], 0);
    EXPECT_EQ(b.dev.Failures, 6);
    EXPECT_EQ(b.dev.Console.Status->PanelText(1), "DEVICE DISABLED");
    test::Pump(50);
    EXPECT_EQ(Count(gps.ReceivedLines(), kCold), 6) << "the first command and five repeats";
    EXPECT_FALSE(b.dev.TestCompleted);
}

TEST(TtffEndToEnd, NoFixEndsTheTestAtTheMaximum) {
    test::TempHome home;
    test::RestartingReceiver gps({.gga_interval_ms = 100, .fixes = false});
    gps.RegisterPort(9);
    Bench b(9);
    b.dev.MaxTTFF = 1;
    b.Execute("$PQNVCOLD");
    ASSERT_TRUE(test::WaitFor([&] { return b.dev.TestCompleted; }, 5000)) << b.dev.Console.Status->PanelText(1);
    EXPECT_EQ(b.dev.TTFF, 2) << "the first tick past one whole second";
    EXPECT_EQ(b.dev.Console.Status->PanelText(1), "NO FIX AVAILABLE IN 1 s");
    EXPECT_FALSE(b.dev.FixAvailable);
    EXPECT_EQ(b.dev.FixGGA, "");
}

TEST(TtffEndToEnd, AFixAfterTheTimeOutAndTheNextTrialsTimeOutLogNoGGA) {
    test::TempHome home;
    test::RestartingReceiver gps({.fix_delay_ms = 200, .gga_interval_ms = 100});
    gps.RegisterPort(11);
    Bench b(11);
    b.dev.MaxTTFF = 1;
    b.Execute("$PQNVCOLD");
    ASSERT_TRUE(test::WaitFor([&] { return b.dev.TestCompleted; }, 5000));
    ASSERT_NE(b.dev.FixGGA, "") << "the first trial fixed";

    // The next trial's fix comes only after its time-out.
    auto plan = gps.GetPlan();
    plan.fix_delay_ms = 2600;
    gps.SetPlan(plan);
    b.dev.TestCompleted = false;
    b.Execute("$PQNVCOLD");
    ASSERT_TRUE(test::WaitFor([&] { return b.dev.TestCompleted; }, 5000));
    EXPECT_EQ(b.dev.Console.Status->PanelText(1), "NO FIX AVAILABLE IN 1 s");
    EXPECT_EQ(b.dev.FixGGA, "") << "the first trial's GGA is not this trial's";
    ASSERT_FALSE(gps.HasFix());
    ASSERT_TRUE(test::WaitFor([&] { return gps.HasFix(); }, 5000)) << "the late fix goes out";
    ASSERT_TRUE(test::WaitFor([&] { return b.dev.CurrentGGA.find(",1,") != std::string::npos; }, 5000))
        << "and is received: " << b.dev.CurrentGGA;
    EXPECT_EQ(b.dev.FixGGA, "") << "a fix after the time-out is not this trial's";
}

TEST(TtffEndToEnd, TrialsInARowEachMeasureTheirOwnRestart) {
    test::TempHome home;
    test::RestartingReceiver gps({.fix_delay_ms = 200, .gga_interval_ms = 30});
    gps.RegisterPort(10);
    Bench b(10);
    for (int delay : {200, 900, 500}) {
        auto plan = gps.GetPlan();
        plan.fix_delay_ms = delay;
        gps.SetPlan(plan);
        b.Execute("$PQNVCOLD");
        ASSERT_TRUE(test::WaitFor([&] { return b.dev.TestCompleted; }, 5000));
        EXPECT_NEAR(b.dev.TTFF, delay / 1000.0, test::kRealClockMargin);
    }
    EXPECT_EQ(gps.Restarts(), 3);
}
