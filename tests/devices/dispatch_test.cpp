// Received lines through the console into the sentence dispatcher: restart
// recognition, the watchdog, the epoch grouping of GSV and GSA, the GGA
// counter, replay pacing and test-drive control.
#include "bench/devices/console.h"
#include "bench/devices/dispatch.h"
#include "bench/devices/system_log.h"
#include "bench/devices/test_machine.h"
#include "platform/qt/bench_timer.h"
#include "tests/support/emulated_receiver.h"
#include "tests/support/fake_clock.h"
#include "tests/support/fakes.h"
#include "tests/support/qt_app.h"

#include <gtest/gtest.h>

using namespace bench;

namespace {

const std::string kGga = test::Sentence("$GPGGA,120000.00,4807.038,N,01131.000,E,1,08,0.9,545.4,M,46.9,M,,");
const std::string kGsv = test::Sentence("$GPGSV,1,1,01,05,40,120,44");
const std::string kGsa = test::Sentence("$GPGSA,A,3,05,,,,,,,,,,,,2.5,1.3,2.1");
const std::string kRmc = test::Sentence("$GPRMC,120000.00,A,4807.038,N,01131.000,E,0.0,0.0,091226,,");

struct Dispatch : ::testing::Test {
    Dispatch() {
        dev.Clock = &clock;
        dev.Host = &host;
        dev.Console.Port = &port;
        port.SetPortOpen(true);
        dev.DeviceID = 1;
        dev.MaxTTFF = 300;
        InstallMessageProcessing(dev);
    }
    void Feed(const std::string& bytes) { ConsoleAddChars(dev, bytes); }
    platform::ManualTimer& Timer(platform::Timer* t) { return static_cast<platform::ManualTimer&>(*t); }

    test::FakeClock clock;
    test::FakeBenchHost host;
    test::FakeSerialLink port;
    DeviceState dev;
};

}  // namespace

TEST_F(Dispatch, StartupTextRestartsTheTestEvenWithABadChecksum) {
    dev.StartupString = "GPS RESTARTED";
    dev.TestCommand = "$PQNVCOLD";
    DeviceTestMachine(dev, EvStart);
    dev.PrevQuality = 1;
    Feed("$PQNVTXT,GPS RESTARTED v2.1*00\r\n");
    EXPECT_EQ(dev.TestState, Running);
    EXPECT_EQ(dev.PrevQuality, 0);
    ASSERT_EQ(host.Versions.size(), 1u);
    EXPECT_EQ(host.Versions[0].first, 1);
    EXPECT_EQ(host.Versions[0].second, "GPS RESTARTED v2.1*00") << "no line end in the version";
    EXPECT_EQ(dev.Console.Status->PanelText(1), "SYSTEM RESTART");
}

TEST_F(Dispatch, PlainTextStartupLineIsRecognised) {
    dev.StartupString = "Booting";
    dev.TestCommand = "$PQNVCOLD";
    DeviceTestMachine(dev, EvStart);
    Feed("Booting\r\n");
    EXPECT_EQ(dev.TestState, Running);
}

TEST(StartupVersion, TextFromTheStartupToTheLineEnd) {
    EXPECT_EQ(VersionFromStartupLine("$PQNVTXT,GPS RESTARTED v2.1*00\r\n", 9), "GPS RESTARTED v2.1*00");
    EXPECT_EQ(VersionFromStartupLine("Booting\n", 0), "Booting");
    EXPECT_EQ(VersionFromStartupLine("Booting v3\r\r\n", 8), "v3");
    EXPECT_EQ(VersionFromStartupLine("cut line", 4), "lin") << "a line without its end loses its last character";
    EXPECT_EQ(VersionFromStartupLine("", 0), "");
}

TEST_F(Dispatch, NoStartupTextNoRestart) {
    dev.TestCommand = "$PQNVCOLD";
    DeviceTestMachine(dev, EvStart);
    Feed("Booting\r\n");
    Feed(kGga);
    EXPECT_EQ(dev.TestState, CommandSent);
    EXPECT_TRUE(host.Versions.empty());
}

TEST_F(Dispatch, WatchdogRestartsOnEveryLineEvenARejectedOne) {
    auto& dog = Timer(dev.WatchDogTimer);
    dev.WatchDogOn = true;
    dog.SetEnabled(true);
    int restarts = dog.Restarts();
    Feed("$GPGGA,bad*00\r\n");
    EXPECT_TRUE(dog.Enabled());
    EXPECT_EQ(dog.Restarts(), restarts + 1);
    EXPECT_EQ(dev.GSAStatistics[0], 0) << "a rejected line is not dispatched";
    Feed(kGga);
    EXPECT_EQ(dog.Restarts(), restarts + 2);
    dev.WatchDogOn = false;
    Feed(kGga);
    EXPECT_FALSE(dog.Enabled());
}

TEST_F(Dispatch, GgaCountsAndClosesTheEpochWithoutARefresh) {
    Feed(kGga);
    Feed(kGga);
    EXPECT_EQ(dev.GSAStatistics[0], 2);
    EXPECT_EQ(dev.DataStatistics[0]->Text(), "2");
    EXPECT_EQ(dev.GGACount, 2);
    Feed(kGsv);
    Feed(kGsa);
    EXPECT_TRUE(dev.GSVSeen);
    EXPECT_TRUE(dev.GSASeen);
    EXPECT_TRUE(dev.GSAThisLine);
    Feed(kGga);
    EXPECT_FALSE(dev.GSVSeen) << "a GGA opens the next epoch";
    EXPECT_FALSE(dev.GSASeen);
    EXPECT_FALSE(dev.GSAThisLine);
    EXPECT_EQ(dev.TrackedNow, 0) << "the table was never refreshed";
}

TEST_F(Dispatch, EpochIsClosedByTheFirstOtherSentence) {
    for (const auto& l : {kGga, kGsv, kGsa, kGsv, kGsa}) Feed(l);
    EXPECT_TRUE(dev.GSVSeen && dev.GSASeen);
    EXPECT_EQ(dev.TrackedNow, 0);
    Feed(kRmc);
    EXPECT_FALSE(dev.GSVSeen);
    EXPECT_FALSE(dev.GSASeen);
    EXPECT_FALSE(dev.GSVThisLine);
    EXPECT_EQ(dev.TrackedNow, 1) << "refreshed at the RMC";
}

TEST_F(Dispatch, TrackingTestEndsWhenTheTableReachesItsGoal) {
    dev.StartupString = "$PQNVRST";
    dev.TestMode = 1;
    dev.TTTRKSats = 1;
    dev.TTTRKTime = 3;
    dev.TestCommand = "$PQNVCOLD";
    DeviceTestMachine(dev, EvStart);
    Feed(test::Sentence("$PQNVRST,COLD"));
    ASSERT_EQ(dev.TestState, Running);
    for (int epoch = 0; epoch < 10 && !dev.TestCompleted; ++epoch) {
        clock.Advance(2000);  // a receiver at 0.5 Hz
        for (const auto& l : {kGga, kGsv, kGsa, kRmc}) Feed(l);
    }
    ASSERT_TRUE(dev.TestCompleted);
    EXPECT_EQ(dev.TestState, Idle);
    EXPECT_DOUBLE_EQ(dev.TTFF, 2) << "three tracked epochs from the first, 2 s after the restart";
    EXPECT_EQ(dev.Console.Status->PanelText(1), "TRACKED 1 SATS FOR 3s IN: 2 s");
}

TEST_F(Dispatch, TrackStatusOptionSwitchesTheSatelliteSource) {
    host.TsOn = true;
    Feed(kGsv);
    EXPECT_FALSE(dev.GSVSeen) << "GSV ignored while TS is on";
    Feed(test::Sentence("$PQNVGSA,A,3,05"));
    EXPECT_TRUE(dev.GSASeen) << "any talker's GSA";
    host.TsOn = false;
    Feed(kGsv);
    EXPECT_TRUE(dev.GSVSeen);
}

TEST_F(Dispatch, ReplayAdvancesOneGgaPerTick) {
    auto& replay = Timer(dev.Console.ReplayTimer);
    replay.SetEnabled(true);
    Feed(kGga);
    EXPECT_TRUE(replay.Enabled()) << "a live window leaves the replay timer alone";
    dev.ReplayActive = true;
    Feed(kRmc);
    EXPECT_TRUE(replay.Enabled());
    Feed(kGga);
    EXPECT_FALSE(replay.Enabled());
}

TEST_F(Dispatch, TestDriveSentenceMovesTheLogs) {
    Feed(test::Sentence("$PQNVCARS,3,7"));
    EXPECT_EQ(host.Calls, (std::vector<std::string>{"TestingChangePrimaryLogFile _TESTDRIVE_3_LOOP_7.txt"}));
    host.Calls.clear();
    host.CarsOn = true;
    Feed(test::Sentence("$PQNVCARS,3,7"));
    EXPECT_EQ(host.Calls, (std::vector<std::string>{"StopTestSession", "StartTestSession _TD_3_L_7"}));
}

TEST_F(Dispatch, TestDriveNamesFromTheReceiverAreMadeSafe) {
    Feed(test::Sentence("$PQNVCARS,../../etc/x,a b:c"));
    ASSERT_EQ(host.Calls.size(), 1u);
    EXPECT_EQ(host.Calls[0], "TestingChangePrimaryLogFile _TESTDRIVE_.._.._etc_x_LOOP_a_b_c.txt");
    EXPECT_EQ(SafeNamePart("Run-1.b_2"), "Run-1.b_2");
    EXPECT_EQ(SafeNamePart("a\\b\r"), "a_b_");
}

TEST_F(Dispatch, TestDriveSentenceWithoutASessionMakesNoFile) {
    test::TempHome home;
    OpenSystemLog();
    host.SessionOn = false;
    Feed(test::Sentence("$PQNVCARS,3,7"));
    const std::string log = test::ReadFileBytes(SystemLogPath());
    CloseSystemLog();
    EXPECT_TRUE(host.Calls.empty()) << "no log is moved";
    EXPECT_NE(log.find("ignored: $PQNVCARS,3,7*"), std::string::npos) << log;
}

TEST_F(Dispatch, TestDriveNamesAreCutToSixtyFourCharacters) {
    Feed(test::Sentence("$PQNVCARS," + std::string(300, 'A') + ",7"));
    ASSERT_EQ(host.Calls.size(), 1u);
    EXPECT_EQ(host.Calls[0], "TestingChangePrimaryLogFile _TESTDRIVE_" + std::string(64, 'A') + "_LOOP_7.txt");
}

TEST_F(Dispatch, OtherSentencesDoNotTouchTheTest) {
    dev.TestCommand = "$PQNVCOLD";
    DeviceTestMachine(dev, EvStart);
    for (const auto& l : {kGsv, kGsa, kRmc}) Feed(l);
    EXPECT_EQ(dev.Ticks, 0) << "only GGA ticks the test";
    Feed(test::Sentence("$GPGGA,120001.00,,,,,0,00,,,M,,M,,"));
    EXPECT_EQ(dev.Ticks, 1);
    Feed(kGga);
    EXPECT_EQ(dev.Ticks, 3) << "a fix before the restart is one more tick";
}
