// GGA sentences fed through the console and the dispatcher into GGA
// processing: fix detection and the restart test, values at and after the
// fix, the receiver-clock checks and what the window shows.
#include "bench/devices/console.h"
#include "bench/devices/dispatch.h"
#include "bench/devices/gga.h"
#include "bench/devices/system_log.h"
#include "bench/devices/test_machine.h"
#include "bench/devices/timing.h"
#include "tests/support/emulated_receiver.h"
#include "tests/support/fake_clock.h"
#include "tests/support/fakes.h"
#include "tests/support/qt_app.h"

#include <cstdio>
#include <gtest/gtest.h>

using namespace bench;

namespace {

std::string Gga(const std::string& time, const std::string& quality, const std::string& alt = "545.4",
                const std::string& used = "08") {
    return test::Sentence("$GPGGA," + time + ",4807.038,N,01131.000,E," + quality + "," + used + ",0.9," + alt +
                          ",M,46.9,M,,");
}

std::string Hms(int second_of_day, const char* fraction = ".00") {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%02d%02d%02d%s", second_of_day / 3600 % 24, second_of_day / 60 % 60,
                  second_of_day % 60, fraction);
    return buf;
}

struct GgaFeed : ::testing::Test {
    GgaFeed() {
        dev.Times = bench::StampClock(clock);
        dev.Host = &host;
        dev.Console.Port = &port;
        port.SetCommPort(7);
        port.SetPortOpen(true);
        dev.MaxTTFF = 300;
        InstallMessageProcessing(dev);
    }
    void Feed(const std::string& bytes) { ConsoleAddChars(dev, bytes, clock.StampNow()); }
    // One GGA a second of receiver time, the clocks moving along.
    void Second(int second_of_day, const std::string& quality, const std::string& alt = "545.4",
                const std::string& used = "08") {
        Feed(Gga(Hms(second_of_day), quality, alt, used));
        clock.Advance(1000);
    }
    void StartTest() {
        dev.TestCommand = "$PQNVCOLD";
        dev.Ticks = 0;
        dev.TickLimit = 10;
        DeviceTestMachine(dev, EvStop, clock.StampNow());
        DeviceTestMachine(dev, EvStart, clock.StampNow());
    }
    std::string Panel(int n) const { return dev.Console.Status->PanelText(n); }
    std::string Label(size_t i) const { return dev.PositionData[i]->Text(); }

    test::FakeClock clock;
    test::FakeBenchHost host;
    test::FakeSerialLink port;
    DeviceState dev;
};

double Cell(const CellValue& v) { return std::get<double>(v); }

}  // namespace

TEST_F(GgaFeed, FirstFixAfterTheRestartEndsTheTest) {
    dev.StartupString = "$PQNVRST";
    StartTest();
    Second(43200, "1");  // still running from before the restart
    Feed(test::Sentence("$PQNVRST,COLD"));
    EXPECT_EQ(dev.TestState, Running);
    for (int s = 43201; s < 43230; ++s) Second(s, "0");
    EXPECT_EQ(dev.TestState, Running);
    EXPECT_EQ(Panel(2), "FIX INVALID");
    clock.Advance(250);
    Feed(Gga(Hms(43230), "1"));
    EXPECT_TRUE(dev.TestCompleted);
    EXPECT_DOUBLE_EQ(dev.TTFF, 29.25);
    EXPECT_EQ(dev.FixGGA, Gga(Hms(43230), "1"));
    EXPECT_TRUE(dev.FixAvailable);
    EXPECT_TRUE(dev.FixSeen);
    EXPECT_EQ(Panel(2), "FIX AVAILABLE");
    EXPECT_DOUBLE_EQ(host.FixTime, 43230 / 86400.0);
    EXPECT_EQ(Cell(dev.FixRow[0]), 29.25);
    EXPECT_EQ(Cell(dev.FixRow[1]), 43230);
    EXPECT_NEAR(Cell(dev.FixRow[2]), 48.1173, 1e-4);
    EXPECT_NEAR(Cell(dev.FixRow[3]), 11.516667, 1e-6);
    EXPECT_EQ(Cell(dev.FixRow[4]), 545.4);
    EXPECT_EQ(Cell(dev.FixRow[5]), 0);
    EXPECT_EQ(Cell(dev.FixRow[6]), 8);
    EXPECT_EQ(Cell(dev.FixRow[7]), 1);
}

TEST_F(GgaFeed, FixLostAndRegained) {
    Second(100, "1");
    double fix_time = dev.FixPCTime;
    Second(101, "1");
    EXPECT_EQ(dev.FixPCTime, fix_time) << "a held fix is not a new fix";
    for (int s = 102; s < 107; ++s) Second(s, "1");
    Second(107, "0");
    EXPECT_FALSE(dev.FixAvailable);
    EXPECT_EQ(dev.FixLostSeconds, 7);
    EXPECT_EQ(Panel(2), "FIX INVALID");
    for (int s = 108; s < 111; ++s) Second(s, "0");
    Second(111, "6");  // any non-zero quality is a fix
    EXPECT_TRUE(dev.FixAvailable);
    EXPECT_EQ(dev.ReacqSeconds, 4);
    EXPECT_EQ(dev.FixGGA, Gga(Hms(111), "6"));
}

TEST_F(GgaFeed, ValuesFiveAndTenSecondsAfterAFixJustBeforeMidnight) {
    Second(86397, "1");  // 23:59:57
    EXPECT_EQ(dev.FixPlus5Second, 2);
    EXPECT_EQ(dev.FixPlus10Second, 7);
    Second(86398, "1");
    Second(86399, "1");
    Second(0, "1");
    Second(1, "1");
    EXPECT_TRUE(std::holds_alternative<std::monostate>(dev.AfterFixRow[0]));
    Second(2, "1", "600.5", "09");
    EXPECT_EQ(Cell(dev.AfterFixRow[2]), 600.5);
    EXPECT_EQ(Cell(dev.AfterFixRow[4]), 9);
    EXPECT_EQ(Cell(dev.AfterFixRow[5]), 1);
    for (int s = 3; s < 7; ++s) Second(s, "1");
    Second(7, "2", "601", "10");
    EXPECT_NEAR(Cell(dev.AfterFixRow[6]), 48.1173, 1e-4);
    EXPECT_EQ(Cell(dev.AfterFixRow[8]), 601);
    EXPECT_EQ(Cell(dev.AfterFixRow[9]), 0);
    EXPECT_EQ(Cell(dev.AfterFixRow[10]), 10);
    EXPECT_EQ(Cell(dev.AfterFixRow[11]), 2);
}

TEST_F(GgaFeed, TwoDimensionalFixWithoutAltitudeStillCountsAsAFix) {
    Second(500, "0");
    Second(501, "1", "", "");
    EXPECT_TRUE(std::holds_alternative<std::monostate>(dev.FixRow[4]));
    EXPECT_TRUE(std::holds_alternative<std::monostate>(dev.FixRow[6]));
    EXPECT_EQ(dev.PrevQuality, 1);
    EXPECT_EQ(Panel(2), "FIX AVAILABLE");
    EXPECT_DOUBLE_EQ(host.FixTime, 501 / 86400.0);
    EXPECT_EQ(Label(5), "0 m");
    double fix_time = dev.FixPCTime;
    for (int s = 502; s <= 506; ++s) Second(s, "1", "abc", "");
    EXPECT_EQ(dev.FixPCTime, fix_time) << "each later GGA is not taken as a new fix";
    EXPECT_TRUE(std::holds_alternative<std::monostate>(dev.AfterFixRow[2]));
    EXPECT_EQ(Cell(dev.AfterFixRow[5]), 1) << "the 5 s values were taken";
    EXPECT_DOUBLE_EQ(host.FixTime, 506 / 86400.0);
}

TEST_F(GgaFeed, PositionShownInTheWindow) {
    Second(45319, "2", "", "07");
    EXPECT_EQ(Panel(3), "12:35:19.00");
    EXPECT_EQ(Label(0), "12:35:19.00");
    EXPECT_EQ(Label(1), "48 7.038");
    EXPECT_EQ(Label(2), "N");
    EXPECT_EQ(Label(3), "11 31");
    EXPECT_EQ(Label(4), "E");
    EXPECT_EQ(Label(5), "0 m");
    EXPECT_EQ(Label(12), "07");
    EXPECT_EQ(Label(14), "DIFF");
    EXPECT_DOUBLE_EQ(dev.Latitude, 48 * 60 + 7.038);
    EXPECT_EQ(dev.LatHemisphere, "N");
    EXPECT_DOUBLE_EQ(dev.Longitude, 11 * 60 + 31.0);
    EXPECT_EQ(dev.LonHemisphere, "E");
    EXPECT_EQ(dev.UTCSeconds, 45319);
    EXPECT_EQ(dev.Quality, 2);
    Second(45320, "1", "12.5");
    EXPECT_EQ(Label(14), "");
    EXPECT_EQ(Label(5), "12.5 m");
}

TEST_F(GgaFeed, DifferentialFixTimedFromTheReceiverRestart) {
    dev.StartupString = "$PQNVRST";
    dev.StartupDelay = 1.5;
    Second(10, "2");
    Feed(test::Sentence("$PQNVRST,COLD"));
    EXPECT_FALSE(dev.DiffOn) << "a restart starts the differential measure again";
    Second(11, "1");
    clock.Advance(2'300);
    Second(14, "2");
    EXPECT_TRUE(dev.DiffOn);
    EXPECT_DOUBLE_EQ(dev.DiffOnTime, 4.8);
    EXPECT_EQ(dev.DiffOnGGA, Gga(Hms(14), "2"));
    dev.DiffOn = false;
    Second(15, "2");
    EXPECT_FALSE(dev.DiffOn) << "only entering quality 2 counts";
    Second(16, "1");
    Second(17, "2");
    EXPECT_TRUE(dev.DiffOn);
}

TEST_F(GgaFeed, GgaAsStartupPassesOverAFirstFixedSentence) {
    dev.GGAAsStartup = true;
    dev.GGACount = 0;
    StartTest();
    DeviceTestMachine(dev, EvStop, clock.StampNow());  // the restart script starts the test from the GGA
    Second(200, "1");
    EXPECT_TRUE(dev.GGAAsStartup);
    EXPECT_EQ(dev.TestState, Idle);
    clock.Advance(400);
    Second(201, "1");
    EXPECT_FALSE(dev.GGAAsStartup);
    EXPECT_TRUE(dev.TestCompleted) << "restart and fix in the same sentence";
    EXPECT_DOUBLE_EQ(dev.TTFF, 0);
    EXPECT_EQ(dev.TestState, Idle);
}

TEST_F(GgaFeed, GgaAsStartupTakesANoFixSentenceAtOnce) {
    dev.GGAAsStartup = true;
    StartTest();
    Second(300, "0");
    EXPECT_FALSE(dev.GGAAsStartup);
    EXPECT_EQ(dev.TestState, Running);
    for (int s = 301; s < 312; ++s) Second(s, "0");
    Second(312, "1");
    EXPECT_DOUBLE_EQ(dev.TTFF, 12);
}

TEST_F(GgaFeed, TimeToTrackTestsIgnoreTheFix) {
    dev.TestMode = 1;
    dev.StartupString = "$PQNVRST";
    StartTest();
    Feed(test::Sentence("$PQNVRST,COLD"));
    Second(10, "0");
    Second(11, "1");
    EXPECT_EQ(dev.TestState, Running);
    EXPECT_TRUE(dev.FixAvailable);
}

TEST_F(GgaFeed, ReacquisitionStartsTheClockAtTheSignalSecond) {
    dev.ReacqArmed = true;
    dev.SignalOnSecond = 1002;
    dev.TestCommand = "NULL";
    Second(1000, "1");
    Second(1001, "1");
    EXPECT_EQ(dev.TestState, Idle);
    Second(1002, "1");
    EXPECT_FALSE(dev.ReacqArmed);
    EXPECT_EQ(dev.TestState, Running) << "the held fix is not a new fix";
    Second(1003, "0");
    clock.Advance(500);
    Second(1004, "1");
    EXPECT_DOUBLE_EQ(dev.TTFF, 2.5);
}

TEST_F(GgaFeed, PCtoUTCOffsetRefreshedOnlyByAFullTime) {
    // The local clock reads 12:00:00 at the start.
    Feed(Gga("115950.00", "1"));
    EXPECT_EQ(dev.PCtoUTCDelta, 10);
    EXPECT_EQ(host.PCtoUTCDelta, 10);
    Feed(Gga("", "0"));
    EXPECT_EQ(dev.PCtoUTCDelta, 10);
    EXPECT_EQ(host.PCtoUTCDelta, 10);
    EXPECT_EQ(Label(0), "00:00:00");
}

TEST_F(GgaFeed, TimeCheckWarnsOnEveryStepThatIsNotOneSecond) {
    dev.GGATimeCheck = true;
    Feed(Gga("120058.00", "1"));  // the first checked GGA warns: nothing before it
    dev.OutputWin->Clear();
    Feed(Gga("120059.00", "1"));
    Feed(Gga("120100.00", "1"));
    EXPECT_EQ(dev.OutputWin->Text(), "") << "59 to 00 is one second";
    Feed(Gga("120101.20", "1"));
    dev.OutputWin->Clear();
    Feed(Gga("120102.20", "1"));
    EXPECT_EQ(dev.OutputWin->Text(), "WARNING GGA DELTA TIME: 1 - Happened at 12:01:02.20\r\n")
        << "2.20 - 1.20 is not exactly 1 in binary";
    dev.OutputWin->Clear();
    Feed(Gga("120102.40", "1"));
    EXPECT_EQ(dev.OutputWin->Text(), "WARNING GGA DELTA TIME: 0.2 - Happened at 12:01:02.40\r\n");
    dev.GGATimeCheck = false;
    dev.OutputWin->Clear();
    Feed(Gga("120110.00", "1"));
    EXPECT_EQ(dev.OutputWin->Text(), "");
}

TEST_F(GgaFeed, BlockedTimeRestartsTheReceiver) {
    host.NtcOn = true;
    for (int i = 0; i < 11; ++i) Feed(Gga("101010.00", "1"));
    EXPECT_TRUE(host.Restarted.empty());
    EXPECT_EQ(dev.BlockedCount, 10);
    Feed(Gga("101010.00", "1"));
    EXPECT_EQ(host.Restarted, (std::vector<int16_t>{7}));
    EXPECT_EQ(dev.OutputWin->Text(), "ALARM: TIME IS BLOCKED!\r\n");
    Feed(Gga("101010.00", "1"));
    EXPECT_EQ(host.Restarted.size(), 2u) << "every further repeat alarms again";
    Feed(Gga("101011.00", "1"));
    EXPECT_EQ(dev.BlockedCount, 0) << "a moving time clears the count";
    for (int i = 0; i < 5; ++i) Feed(Gga("101011.00", "1"));
    EXPECT_EQ(host.Restarted.size(), 2u);
    EXPECT_EQ(dev.BlockedCount, 5);
}

TEST_F(GgaFeed, BlockedTimeIsJudgedPerReceiver) {
    host.NtcOn = true;
    DeviceState other;
    other.Times = bench::StampClock(clock);
    other.Host = &host;
    InstallMessageProcessing(other);
    // Two receivers locked to the same UTC second repeat each other's time.
    for (int s = 0; s < 15; ++s) {
        Feed(Gga(Hms(600 + s), "1"));
        ConsoleAddChars(other, Gga(Hms(600 + s), "1"), clock.StampNow());
    }
    EXPECT_TRUE(host.Restarted.empty());
    EXPECT_EQ(dev.BlockedCount, 0);
    EXPECT_EQ(other.BlockedCount, 0);
}

TEST_F(GgaFeed, AfterFixTriggersArePerReceiver) {
    DeviceState other;
    other.Times = bench::StampClock(clock);
    other.Host = &host;
    InstallMessageProcessing(other);
    Feed(Gga(Hms(700), "1"));
    ConsoleAddChars(other, Gga(Hms(702), "1"), clock.StampNow());
    Feed(Gga(Hms(705), "1", "11"));
    EXPECT_EQ(Cell(dev.AfterFixRow[2]), 11);
    EXPECT_TRUE(std::holds_alternative<std::monostate>(other.AfterFixRow[2]));
    ConsoleAddChars(other, Gga(Hms(707), "1", "22"), clock.StampNow());
    EXPECT_EQ(Cell(other.AfterFixRow[2]), 22);
}

TEST_F(GgaFeed, SamplesTheFixAndLaterSentences) {
    dev.SamplingOn = true;
    Second(0, "0");  // sampling on before a fix takes this one as a start
    EXPECT_EQ(dev.GGAOnFix, Gga(Hms(0), "0"));
    Second(1, "1");
    EXPECT_EQ(dev.GGAOnFix, Gga(Hms(1), "1")) << "the fix starts the cycle afresh";
    for (int s = 2; s <= 70; ++s) Second(s, "1");
    EXPECT_EQ(dev.GGA05s, Gga(Hms(6), "1"));
    EXPECT_EQ(dev.GGA10s, Gga(Hms(11), "1"));
    EXPECT_EQ(dev.GGA15s, Gga(Hms(16), "1"));
    EXPECT_EQ(dev.GGA30s, Gga(Hms(31), "1"));
    EXPECT_EQ(dev.GGA60s, Gga(Hms(61), "1"));
    EXPECT_FALSE(dev.SampleCounting);
    EXPECT_EQ(dev.SampleCounter, 61);
}

TEST_F(GgaFeed, QualityBeyondSixteenBitsAbandonsTheRestOfThatSentence) {
    Second(800, "1");
    Second(801, "99999");
    EXPECT_EQ(dev.PrevQuality, 1) << "later steps skipped";
    EXPECT_EQ(Label(0), "00:13:20.00");
    EXPECT_EQ(dev.GGACount, 2);
    Second(802, "0");
    EXPECT_FALSE(dev.FixAvailable) << "the next sentence is processed normally";
}

TEST_F(GgaFeed, TimeTooShortForATimeOfDayAbandonsTheRestOfTheLine) {
    test::TempHome home;
    OpenSystemLog();
    Second(800, "0");
    const double fix_time_before = host.FixTime;
    Feed(Gga("1200", "1"));
    const std::string log = test::ReadFileBytes(SystemLogPath());
    CloseSystemLog();
    EXPECT_TRUE(dev.FixAvailable) << "the fix itself is registered before the time is converted";
    EXPECT_EQ(dev.PrevQuality, 0) << "later steps skipped";
    EXPECT_EQ(host.FixTime, fix_time_before) << "no made-up 12:00:00 fix time";
    EXPECT_EQ(Label(0), "00:13:20.00") << "the window keeps the last good time";
    EXPECT_NE(log.find("(NMEA_GGA_Processing)"), std::string::npos) << log;
    EXPECT_NE(log.find("1200"), std::string::npos) << log;
}

TEST_F(GgaFeed, ControlByteInsideAFieldRejectsTheLineButItIsLoggedAsReceived) {
    test::TempHome home;
    dev.PrimaryFile.Open(home.File("primary.txt"));
    dev.PrimaryOpen = true;
    // A NUL changes no XOR: the checksum of the clean sentence still matches.
    std::string clean = Gga(Hms(900), "1");
    std::string corrupt = clean;
    corrupt.insert(corrupt.find("4807.038") + 2, std::string(1, '\0'));
    std::string high = clean;
    high[high.find("01131")] = static_cast<char>(0xB0);
    high[high.find("*") + 1] = '0';  // keep it simple: checked below with checking off
    host.CrcOn = false;
    Feed(corrupt);
    Feed(high);
    EXPECT_EQ(dev.GGACount, 0) << "neither line is decoded";
    EXPECT_FALSE(dev.FixAvailable);
    host.CrcOn = true;
    Feed(clean);
    EXPECT_EQ(dev.GGACount, 1);
    dev.PrimaryFile.Close();
    EXPECT_EQ(test::ReadFileBytes(home.File("primary.txt")), corrupt + high + clean) << "every byte is logged";
}
