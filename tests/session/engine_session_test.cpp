// Whole sessions over fake receivers and a fake simulator, stepped by a fake
// clock: the calls the devices and the simulator see, the file names, the
// result lines, the grid and the status texts.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

#include "tests/session/session_harness.h"

namespace sessiontest {
namespace {

const std::string kStamp = "08-12-2026_12.00.00";
const std::string kFolder = "C:\\T_" + kStamp + "\\GPS1";

// A device's calls without the polling queries, which depend on tick counts.
std::vector<std::string> Actions(const fakes::FakeDeviceWindow& d) {
    std::vector<std::string> out;
    for (const auto& c : d.own_calls)
        if (c.rfind("IsTestCompleted", 0) != 0 && c.rfind("Get", 0) != 0) out.push_back(c);
    return out;
}

std::vector<std::string> Slice(const std::vector<std::string>& v, const std::string& from, size_t n) {
    auto it = std::find(v.begin(), v.end(), from);
    if (it == v.end()) return {};
    return std::vector<std::string>(it, it + static_cast<long>(std::min<size_t>(n, v.end() - it)));
}

TEST(EngineSession, ColdThreeTrialsRunsRestartCollectWaitAndEndsTheSession) {
    Harness h;
    auto& d = h.AddDevice(0, "GPS1");
    h.cfg.Devices[0].GLog = FlagSet;
    h.cfg.Devices[0].RLog = FlagSet;
    h.AddTest(0, "COLD", 3, 10, 20);
    h.random.values = {0.5};  // every wait 15 s
    d.fix_delay_ms = 5000;

    ASSERT_TRUE(h.Start());
    EXPECT_EQ(h.files.made, (std::vector<std::string>{"C:\\T_" + kStamp, kFolder}));
    ASSERT_GE(h.RunToEnd(), 0);

    // Set-up, three trials, and the test end in the order the files need.
    const auto a = Actions(d);
    const std::vector<std::string> setup = {
        "DeviceSetRestartCommand($PQNVCOLD)",
        "DeviceSetPrimaryLogFileBaseName(" + kFolder + "\\GPS1_TTFF_COLD_NMEA)",
        "DeviceStartPrimaryLogging(.txt)",
        "DeviceStartResultsLogging(.txt)",
        "DeviceResetT2AT2UStatistics()",
        "DeviceSetTestMode(0)",
        "DeviceSetTTTRKParameters(0,0)",
        "DeviceResetNGGAMessageCounter()",
        "DeviceSetGGAAsStartupStringEnabled(true)",
        "ExecuteTest($PQNVCOLD)"};
    EXPECT_EQ(std::vector<std::string>(a.begin(), a.begin() + static_cast<long>(setup.size())), setup);
    EXPECT_EQ(d.commands, (std::vector<std::string>{"$PQNVCOLD", "$PQNVCOLD", "$PQNVCOLD"}));
    const std::vector<std::string> end = {"DeviceLogT2AT2UToFile(3)", "DeviceLogT2AT2UStatistics()",
                                          "DeviceEndPrimaryLogging()", "DeviceEndSecondaryLogging()",
                                          "DeviceEndResultsLogging()"};
    EXPECT_EQ(std::vector<std::string>(a.end() - 5, a.end()), end);
    EXPECT_EQ(std::count(a.begin(), a.end(), "DeviceLogT2AT2UToFile(1)"), 1);
    EXPECT_EQ(std::count(a.begin(), a.end(), "DeviceLogT2AT2UToFile(2)"), 1);
    EXPECT_EQ(Slice(a, "DeviceLogResultsToFile(5\t% 2\t" + d.fix_gga + ")", 2),
              (std::vector<std::string>{"DeviceLogResultsToFile(5\t% 2\t" + d.fix_gga + ")",
                                        "DeviceLogFixGSAToFile(2)"}));

    // A trial starts 5 s (fix) + 15 s (wait) after the previous one.
    ASSERT_EQ(d.execute_ms.size(), 3u);
    for (int i = 1; i < 3; ++i) {
        const int64_t gap = d.execute_ms[i] - d.execute_ms[i - 1];
        EXPECT_GE(gap, 20000);
        EXPECT_LE(gap, 21500);
    }

    EXPECT_EQ(d.results_lines, (std::vector<std::string>{"5\t% 1\t" + d.fix_gga, "5\t% 2\t" + d.fix_gga,
                                                         "5\t% 3\t" + d.fix_gga}));
    EXPECT_EQ(h.grid.Cell(4, 1), "5");
    EXPECT_EQ(h.grid.Cell(6, 1), "5");
    EXPECT_EQ(h.grid.Cell(5, 0), "2");
    EXPECT_EQ(h.grid.Cell(0, 1), "5");
    EXPECT_EQ(h.grid.Caption(), "Results: n. 3 of 3");
    EXPECT_TRUE(h.status.Shown(1, "COLD Test Initialization"));
    EXPECT_TRUE(h.status.Shown(2, "TEST: COLD  ongoing 1 of 3"));
    EXPECT_TRUE(h.status.Shown(2, "TEST: COLD  - ongoing 3 of 3"));
    EXPECT_TRUE(h.status.Shown(1, "Waiting to start next test: 15"));
    EXPECT_EQ(h.status.panels[1], "Test Session Completed");
    EXPECT_FALSE(h.testTimer.Enabled());
    EXPECT_TRUE(h.log.lines.empty());
}

TEST(EngineSession, SyncColdStartsEachSeriesOnItsUtcSecondAndStepsUntilSixty) {
    Harness h;
    auto& d = h.AddDevice(0, "GPS1");
    h.cfg.Devices[0].GLog = FlagSet;
    h.cfg.Devices[0].RLog = FlagSet;
    h.AddTest(0, "SYNC_COLD", 1, 10, 15);
    d.fix_delay_ms = 3000;

    ASSERT_TRUE(h.Start());
    EXPECT_EQ(h.testTimer.Interval(), 200);
    ASSERT_GE(h.RunToEnd(), 0);

    // No receiver reports a fix: the PC clock (second 0 at the start, offset
    // 0) decides, so the series start on seconds 10, 25, 40 and 55.
    ASSERT_EQ(d.execute_ms.size(), 4u);
    const int64_t expected[] = {10, 25, 40, 55};
    for (int i = 0; i < 4; ++i) EXPECT_EQ(d.execute_ms[i] / 1000 % 60, expected[i]) << i;
    EXPECT_EQ(d.commands[0], "$PQNVCOLD");
    EXPECT_EQ(d.CallsCount("DeviceStartPrimaryLogging(_UTC10.txt)"), 1);
    EXPECT_EQ(d.CallsCount("DeviceChangePrimaryLogFile(_UTC25.txt)"), 1);
    EXPECT_EQ(d.CallsCount("DeviceChangeResultsLogFile(_UTC55.txt)"), 1);
    EXPECT_EQ(d.CallsCount("DeviceChangePrimaryLogFile(_UTC70.txt)"), 0);
    // Every series' single trial writes its T2A/T2U row.
    EXPECT_EQ(d.CallsCount("DeviceLogT2AT2UToFile(1)"), 4);
    EXPECT_TRUE(h.status.Shown(1, "Commands Synchronization on UTC second 40"));
    EXPECT_TRUE(h.status.Shown(1, "Waiting to start next test: 10"));
    EXPECT_EQ(h.status.panels[1], "Test Session Completed");
}

TEST(EngineSession, SyncWaitFollowsTheReceiversFixTimeWhileItIsFresh) {
    Harness h;
    auto& d = h.AddDevice(0, "GPS1");
    h.AddTest(0, "SYNC_HOT", 1, 30, 0);  // increment 0: one series
    d.fix_delay_ms = 2000;
    ASSERT_TRUE(h.Start());
    // The receivers' UTC runs 7 s ahead of the PC clock; the GGA processing
    // writes it at every tick.
    ASSERT_GE(h.Run([&] {
        h.fanout.SetFixAvailableTime(h.clock.Now() - std::floor(h.clock.Now()) + 7.0 / 86400.0);
        return !h.engine.SessionRunning();
    }),
              0);
    ASSERT_EQ(d.execute_ms.size(), 1u);
    EXPECT_EQ(d.execute_ms[0] / 1000 % 60, 23);
    EXPECT_EQ(d.commands[0], "$PQNVHOT");
}

TEST(EngineSession, SyncEntryWithSecondOutsideTheMinuteIsReportedAndSkipped) {
    Harness h;
    auto& d = h.AddDevice(0, "GPS1");
    h.cfg.Devices[0].RLog = FlagSet;  // a session that keeps its results
    h.AddTest(0, "SYNC_COLD", 2, 75, 5);
    h.AddTest(1, "HOT", 1);
    ASSERT_TRUE(h.Start());
    ASSERT_GE(h.RunToEnd(5000), 0);
    // It could not run: failed, and the session ends incomplete.
    ASSERT_EQ(h.log.lines.size(), 2u);
    EXPECT_NE(h.log.lines[0].find("Test entry 0 (SYNC_COLD) failed: UTC second 75 is outside 0..59"), std::string::npos)
        << h.log.lines[0];
    EXPECT_EQ(h.log.lines[1], "SESSION INCOMPLETE: 1 test entry failed");
    EXPECT_EQ(d.commands, (std::vector<std::string>{"$PQNVHOT"}));
}

TEST(EngineSession, FallingPowerSweepStepsTheSimulatorThroughEveryLevel) {
    Harness h;
    auto& d = h.AddDevice(0, "GPS1");
    h.cfg.Devices[0].GLog = FlagSet;
    h.cfg.Devices[0].RLog = FlagSet;
    TestEntry& t = h.AddTest(0, "COLD", 2);
    t.Simulator = FlagSet;
    t.StartPower = -130;
    t.EndPower = -150;
    t.PowerStep = -5;  // the sign of the step does not matter
    t.SimPower = -120;
    t.SimSetupTime = 30;
    d.fix_delay_ms = 4000;

    ASSERT_TRUE(h.Start());
    ASSERT_GE(h.RunToEnd(), 0);

    EXPECT_EQ(h.sim.powers, (std::vector<double>{-130, -135, -140, -145, -150}));
    EXPECT_EQ(h.Calls("SIM.")[0], "SIM.SimRestart(-130,0,0,0,0,30,-120,true)");
    EXPECT_EQ(h.Calls("SIM.")[1], "SIM.SimRestart(-135,0,0,0,0,30,-120,false)");
    EXPECT_EQ(d.executed, 10);
    // The restart of the receivers comes before the first simulator restart.
    EXPECT_LT(h.IndexOf("N0.DeviceSendSerialCommand($PQNVCOLD)"), h.IndexOf("SIM.SimRestart(-130,0,0,0,0,30,-120,true)"));
    EXPECT_EQ(d.CallsCount("DeviceStartPrimaryLogging(_PW-130.txt)"), 1);
    EXPECT_EQ(d.CallsCount("DeviceStartResultsLogging(_PW-130.txt)"), 1);

    // Per level: the last trial's row, then simulator, logs, statistics, grid.
    const int sim = h.IndexOf("SIM.SimRestart(-140,0,0,0,0,30,-120,false)");
    ASSERT_GT(sim, 0);
    EXPECT_EQ(h.calls[sim + 1], "N0.DeviceChangePrimaryLogFile(_PW-140.txt)");
    EXPECT_EQ(h.calls[sim + 2], "N0.DeviceLogT2AT2UStatistics()");
    EXPECT_EQ(h.calls[sim + 3], "N0.DeviceChangeResultsLogFile(_PW-140.txt)");
    EXPECT_EQ(d.CallsCount("DeviceLogT2AT2UToFile(2)"), 5);
    EXPECT_EQ(d.CallsCount("DeviceChangePrimaryLogFile(_PW-155.txt)"), 0);
    EXPECT_TRUE(h.status.Shown(1, "Simulator Configuration Completed - Current Power: -145"));
    EXPECT_TRUE(h.status.Shown(2, "TEST: COLD  - ongoing 2 of 2 - power level -150 range (-130 .. -150)"));
    EXPECT_EQ(h.status.panels[1], "Test Session Completed");
}

TEST(EngineSession, FractionalPowerStepsReachTheEndLevelAndNameFilesCleanly) {
    Harness h;
    auto& d = h.AddDevice(0, "GPS1");
    TestEntry& t = h.AddTest(0, "HOT", 1);
    t.Simulator = FlagSet;
    t.StartPower = -130;
    t.EndPower = -130.3;
    t.PowerStep = 0.1;
    d.fix_delay_ms = 1000;
    ASSERT_TRUE(h.Start());
    ASSERT_GE(h.RunToEnd(), 0);
    ASSERT_EQ(h.sim.powers.size(), 4u);
    EXPECT_EQ(d.CallsCount("DeviceChangePrimaryLogFile(_PW-130.1.txt)"), 1);
    EXPECT_EQ(d.CallsCount("DeviceChangePrimaryLogFile(_PW-130.3.txt)"), 1);
}

TEST(EngineSession, BadNcoRunsOneTestPerValueThenRestoresTheEntry) {
    Harness h;
    auto& a = h.AddDevice(0, "GPS1");
    auto& b = h.AddDevice(1, "GPS2");
    for (int s = 0; s < 2; ++s) {
        h.cfg.Devices[s].NcoStart = 100;
        h.cfg.Devices[s].NcoMax = 130;
        h.cfg.Devices[s].NcoStep = 10;
    }
    h.cfg.Devices[0].BadNcoC = "$PQNVNCO,1,2,500";
    h.cfg.Devices[1].BadNcoC = "$PQNVNCO,1";  // too few fields: the value is added
    h.AddTest(0, "BAD_NCO", 1);
    h.AddTest(1, "COLD", 1);
    a.fix_delay_ms = b.fix_delay_ms = 2000;

    ASSERT_TRUE(h.Start());
    ASSERT_GE(h.RunToEnd(), 0);

    EXPECT_EQ(a.commands, (std::vector<std::string>{"$PQNVNCO,1,2,100", "$PQNVNCO,1,2,110", "$PQNVNCO,1,2,120",
                                                    "$PQNVNCO,1,2,130", "$PQNVCOLD"}));
    EXPECT_EQ(b.commands, (std::vector<std::string>{"$PQNVNCO,1,100", "$PQNVNCO,1,110", "$PQNVNCO,1,120",
                                                    "$PQNVNCO,1,130", "$PQNVCOLD"}));
    EXPECT_EQ(a.CallsCount("DeviceSetPrimaryLogFileBaseName(C:\\T_" + kStamp +
                           "\\GPS1\\GPS1_TTFF_BAD_NCO_120_NMEA)"),
              1);
    EXPECT_EQ(h.state.RunConfig.Tests[0].Type, "BAD_NCO");
    EXPECT_FALSE(h.engine.NcoInitialised);
    EXPECT_EQ(h.state.MaxAcceptableTTFF, 600);
    EXPECT_EQ(a.CallsCount("SetDeviceMaxAcceptableTTFF(600)"), 4);
    EXPECT_TRUE(h.status.Shown(1, "BAD_NCO_130 Test Initialization"));
}

TEST(EngineSession, BadNcoWithoutAPositiveStepEndsAfterOneValue) {
    Harness h;
    auto& a = h.AddDevice(0, "GPS1");
    h.cfg.Devices[0].NcoStart = 100;
    h.cfg.Devices[0].NcoMax = 130;
    h.cfg.Devices[0].NcoStep = 0;
    h.cfg.Devices[0].BadNcoC = "$PQNVNCO,1,2,3";
    h.AddTest(0, "BAD_NCO", 1);
    ASSERT_TRUE(h.Start());
    ASSERT_GE(h.RunToEnd(20000), 0);
    EXPECT_EQ(a.commands, (std::vector<std::string>{"$PQNVNCO,1,2,100"}));
}

TEST(EngineSession, BadNcoWithNoEnabledDeviceEnds) {
    Harness h;
    h.AddTest(0, "BAD_NCO", 1);
    ASSERT_TRUE(h.Start());
    EXPECT_GE(h.RunToEnd(1000), 0);
    EXPECT_EQ(h.status.panels[1], "Test Session Completed");
}

TEST(EngineSession, StartAfterAStopInsideBadNcoBeginsAgainFromTheFirstValue) {
    Harness h;
    auto& a = h.AddDevice(0, "GPS1");
    h.cfg.Devices[0].NcoStart = 100;
    h.cfg.Devices[0].NcoMax = 130;
    h.cfg.Devices[0].NcoStep = 10;
    h.cfg.Devices[0].BadNcoC = "$PQNVNCO,1,2,3";
    h.AddTest(0, "BAD_NCO", 1);
    a.fix_delay_ms = 1000;
    ASSERT_TRUE(h.Start());
    ASSERT_GE(h.Run([&] { return a.executed == 2; }), 0);
    h.engine.StopSession("Stop was chosen");
    EXPECT_EQ(h.state.ActiveConfig.Tests[0].Type, "BAD_NCO");
    ASSERT_TRUE(h.engine.StartSession());
    ASSERT_GE(h.RunToEnd(), 0);
    EXPECT_EQ(a.commands, (std::vector<std::string>{"$PQNVNCO,1,2,100", "$PQNVNCO,1,2,110", "$PQNVNCO,1,2,100",
                                                    "$PQNVNCO,1,2,110", "$PQNVNCO,1,2,120", "$PQNVNCO,1,2,130"}));
}

TEST(EngineSession, OneTrialTestWritesItsRowsAndEndsWithoutAnotherTrial) {
    Harness h;
    auto& d = h.AddDevice(0, "GPS1");
    h.cfg.Devices[0].RLog = FlagSet;
    h.AddTest(0, "WARM", 1, 7, 7);
    d.fix_delay_ms = 35274;
    d.auto_ttff = true;
    ASSERT_TRUE(h.Start());
    ASSERT_GE(h.RunToEnd(), 0);
    EXPECT_EQ(d.executed, 1);
    ASSERT_EQ(d.results_lines.size(), 1u);
    EXPECT_EQ(d.results_lines[0], "35.27\t% 1\t" + d.fix_gga);
    EXPECT_EQ(d.CallsCount("DeviceLogT2AT2UToFile(1)"), 1);
    EXPECT_EQ(h.grid.Cell(4, 1), "35.27");
}

TEST(EngineSession, EmptyListCompletesAtOnce) {
    Harness h;
    auto& d = h.AddDevice(0, "GPS1");
    ASSERT_TRUE(h.Start());
    EXPECT_FALSE(h.engine.SessionRunning());
    EXPECT_EQ(h.status.panels[1], "Test Session Completed");
    EXPECT_EQ(d.executed, 0);
    EXPECT_FALSE(h.testTimer.Enabled());
}

TEST(EngineSession, DisabledEntriesAreSkippedAndUnknownTypesReported) {
    Harness h;
    auto& d = h.AddDevice(0, "GPS1");
    h.cfg.Devices[0].RLog = FlagSet;  // a session that keeps its results
    h.AddTest(0, "COLDSTART", 1);
    h.AddTest(2, "HOT", 1);
    h.AddTest(5, "WARM", 1);
    h.cfg.Tests[3].Type = "COLD";  // not enabled
    ASSERT_TRUE(h.Start());
    ASSERT_GE(h.RunToEnd(), 0);
    EXPECT_EQ(d.commands, (std::vector<std::string>{"$PQNVHOT", "$PQNVWARM"}));
    ASSERT_EQ(h.log.lines.size(), 2u);
    EXPECT_EQ(h.log.lines[0], "Test entry 0 (COLDSTART) failed: unknown test type \"COLDSTART\"");
    EXPECT_EQ(h.log.lines[1], "SESSION INCOMPLETE: 1 test entry failed");
    EXPECT_EQ(h.status.panels[2], "SESSION INCOMPLETE: 1 test entry failed");
}

TEST(EngineSession, APlainTestAfterAUtcTestDoesNotInheritItsSuffix) {
    Harness h;
    auto& d = h.AddDevice(0, "GPS1");
    h.cfg.Devices[0].GLog = FlagSet;
    h.cfg.Devices[0].RLog = FlagSet;
    h.AddTest(0, "SYNC_COLD", 1, 5, 0);
    h.AddTest(1, "COLD", 1);
    ASSERT_TRUE(h.Start());
    ASSERT_GE(h.RunToEnd(), 0);
    const auto a = Actions(d);
    const auto last_base = std::find(a.rbegin(), a.rend(),
                                     "DeviceSetPrimaryLogFileBaseName(" + kFolder + "\\GPS1_TTFF_COLD_NMEA)");
    ASSERT_NE(last_base, a.rend());
    EXPECT_EQ(*(last_base - 1), "DeviceStartPrimaryLogging(.txt)");
    EXPECT_EQ(*(last_base - 2), "DeviceStartResultsLogging(.txt)");
}

TEST(EngineSession, SilentReceiverIsDisabledAndTheSessionGoesOn) {
    Harness h;
    auto& a = h.AddDevice(0, "GPS1");
    auto& b = h.AddDevice(1, "GPS2");
    h.cfg.Devices[0].RLog = FlagSet;  // a session that keeps its results
    h.AddTest(0, "COLD", 2);
    a.fix_delay_ms = 5000;
    b.fix_delay_ms = -1;  // never answers
    ASSERT_TRUE(h.Start());
    ASSERT_GE(h.RunToEnd(), 0);
    ASSERT_EQ(h.log.lines.size(), 1u);
    EXPECT_NE(h.log.lines[0].find("GPS2"), std::string::npos);
    EXPECT_EQ(h.state.RunConfig.Devices[1].DevEN, FlagClear);
    EXPECT_EQ(a.executed, 2);
    EXPECT_EQ(b.executed, 1);
    // The trial ended only once the time limit (300 s + 60 s) had passed.
    EXPECT_GE(a.execute_ms[1] - a.execute_ms[0], 360000);
    EXPECT_EQ(a.results_lines.size(), 2u);
    // The trial it was taken out of is written as failed, as a lost port's
    // is; the next trial, which it is no part of, gets no line.
    ASSERT_EQ(b.results_lines.size(), 1u);
    EXPECT_EQ(b.results_lines[0], "-1\t% 1\t\r\n");
    // Out of the session, its own machine is stopped: a receiver that talks
    // again later is not sent its restart command again.
    EXPECT_EQ(b.CallsCount("SetNewTestMachineState(0)"), 1);
    // Its files are the session's still: its rows and statistics are
    // written with the others' and its logs end with theirs.
    EXPECT_EQ(b.CallsCount("DeviceLogT2AT2UToFile(1)"), 1);
    EXPECT_EQ(b.CallsCount("DeviceLogT2AT2UToFile(2)"), 0);
    EXPECT_EQ(b.CallsCount("DeviceLogT2AT2UStatistics()"), 1);
    EXPECT_EQ(b.CallsCount("DeviceEndResultsLogging()"), 1);
}

// A receiver from which nothing readable comes (a wrong baud rate, or no
// bytes at all) is taken out as soon as the longest acceptable TTFF has
// passed, not a minute later: no fix could come from it in time.
TEST(EngineSession, AReceiverWithNoReadableSentenceIsDisabledOnceTheLongestTtffHasPassed) {
    Harness h;
    auto& a = h.AddDevice(0, "GPS1");
    auto& b = h.AddDevice(1, "GPS2");
    h.AddTest(0, "COLD", 2);
    a.fix_delay_ms = 5000;
    b.fix_delay_ms = -1;
    b.heard = false;
    ASSERT_TRUE(h.Start());
    ASSERT_GE(h.RunToEnd(), 0);
    // Said once (beside the start's note that this harness keeps no files).
    std::vector<std::string> said;
    for (const std::string& line : h.log.lines)
        if (line.find("Device GPS2") != std::string::npos) said.push_back(line);
    ASSERT_EQ(said.size(), 1u) << ::testing::PrintToString(h.log.lines);
    EXPECT_NE(said[0].find("Device GPS2: no sentence could be read from it in the 300 s of trial 1 of COLD "
                           "(nothing received, or a wrong baud rate): disabled for this session"),
              std::string::npos)
        << said[0];
    EXPECT_EQ(h.state.RunConfig.Devices[1].DevEN, FlagClear);
    EXPECT_EQ(a.executed, 2);
    EXPECT_GE(a.execute_ms[1] - a.execute_ms[0], 300000);
    EXPECT_LT(a.execute_ms[1] - a.execute_ms[0], 310000) << "the trial ends with the longest TTFF";
    ASSERT_EQ(b.results_lines.size(), 1u);
    EXPECT_EQ(b.results_lines[0], "-1\t% 1\t\r\n");
}

TEST(EngineSession, StopEndsEverythingAndNothingMoreIsSent) {
    Harness h;
    auto& d = h.AddDevice(0, "GPS1");
    h.AddTest(0, "COLD", 5);
    d.fix_delay_ms = 60000;
    ASSERT_TRUE(h.Start());
    ASSERT_GE(h.Run([&] { return d.executed == 1; }), 0);
    EXPECT_FALSE(h.engine.StartSession());  // Start is refused while running
    h.fanout.SendChrsCommandToDevices(10, "$PQNVHOT");
    h.calls.clear();
    h.engine.StopSession("Stop was chosen");
    // The trial under way is written as failed in every file, then the
    // receiver's machine stops and its files end.
    EXPECT_EQ(h.calls, (std::vector<std::string>{"N0.IsTestCompleted()", "N0.DeviceLogResultsToFile(-1\t% 1\t\r\n)",
                                                 "N0.DeviceLogFixGSAToFile(1)", "N0.SetNewTestMachineState(0)",
                                                 "N0.DeviceLogT2AT2UToFile(1)", "N0.DeviceLogT2AT2UStatistics()",
                                                 "N0.DeviceEndPrimaryLogging()", "N0.DeviceEndSecondaryLogging()",
                                                 "N0.DeviceEndResultsLogging()"}));
    EXPECT_EQ(h.log.lines.back(), "Test session stopped: Stop was chosen during COLD test, trial 1 of 5; GPS1: failed (-1)");
    EXPECT_FALSE(h.testTimer.Enabled());
    EXPECT_FALSE(h.chrsTimer.Enabled());
    EXPECT_EQ(h.engine.TestState, 0);
    for (int i = 0; i < 2000; ++i) h.Tick();
    EXPECT_EQ(d.executed, 1);
    EXPECT_TRUE(h.engine.StartSession());
}

TEST(EngineSession, FolderThatCannotBeMadeWarnsAndDoesNotStart) {
    Harness h;
    auto& d = h.AddDevice(0, "GPS1");
    h.AddTest(0, "COLD", 1);
    h.files.failing.insert(kFolder);
    EXPECT_FALSE(h.Start());
    ASSERT_EQ(h.prompter.warnings.size(), 1u);
    EXPECT_EQ(h.prompter.warnings[0].first, "WARNING");
    EXPECT_FALSE(h.engine.SessionRunning());
    EXPECT_EQ(d.executed, 0);
    EXPECT_FALSE(h.testTimer.Enabled());
}

TEST(EngineSession, ConfigurationLoadedDuringASessionWaitsForTheNextStart) {
    Harness h;
    auto& d = h.AddDevice(0, "GPS1");
    h.AddTest(0, "COLD", 2);
    d.fix_delay_ms = 2000;
    ASSERT_TRUE(h.Start());
    h.fanout.DeviceDisable(0);
    SystemConfig later = h.cfg;
    later.Devices[0].LPath = "D:\\OTHER";
    h.engine.SystemConfigUpdate(later);  // still enables slot 0
    EXPECT_EQ(h.state.RunConfig.Devices[0].DevEN, FlagClear);
    EXPECT_EQ(h.state.RunConfig.Devices[0].LPath, kFolder);
    ASSERT_GE(h.RunToEnd(), 0);
    EXPECT_EQ(d.executed, 0);
    ASSERT_TRUE(h.engine.StartSession());
    EXPECT_EQ(h.state.RunConfig.Devices[0].LPath, "D:\\OTHER_" + h.engine.SessionStamp() + "\\GPS1");
}

TEST(EngineSession, AlmanacFileIsErasedAndLoadedBeforeTheFirstTrial) {
    Harness h;
    auto& d = h.AddDevice(0, "GPS1");
    TestEntry& t = h.AddTest(0, "COLD", 1);
    t.AlmanacFile = "C:\\alm.txt";
    h.files.files_with_data.insert("C:\\alm.txt");
    h.script.sending_for = 3;
    ASSERT_TRUE(h.Start());
    ASSERT_GE(h.RunToEnd(), 0);
    const int erase = h.IndexOf("N0.DeviceSendSerialCommand($PQNVCOLD,15)");
    const int load = h.IndexOf("SCRIPT.SendMessagesFromFile(100,C:\\alm.txt)");
    const int run = h.IndexOf("N0.ExecuteTest($PQNVCOLD)");
    ASSERT_GE(erase, 0);
    EXPECT_LT(erase, load);
    EXPECT_LT(load, run);
    EXPECT_EQ(d.executed, 1);
}

TEST(EngineSession, ScriptTestWaitsTwoSecondsAfterTheEraseUnlessStopped) {
    Harness h;
    h.AddDevice(0, "GPS1");
    TestEntry& t = h.AddTest(0, "SCRIPT", 0);
    t.AlmanacFile = "C:\\alm.txt";
    t.ScriptCount = 1;
    t.ScriptFiles[0] = "C:\\s\\one.scr";
    h.files.files_with_data.insert("C:\\alm.txt");
    h.script.existing.insert("C:\\s\\one.scr");
    ASSERT_TRUE(h.Start());
    ASSERT_EQ(h.scheduler.pending.size(), 1u);
    EXPECT_EQ(h.scheduler.pending[0].first, 2000);
    h.engine.StopSession("Stop was chosen");
    h.scheduler.RunAll();
    EXPECT_TRUE(h.Calls("SCRIPT.SendFromFile").empty());
    EXPECT_FALSE(h.scriptTimer.Enabled());

    ASSERT_TRUE(h.engine.StartSession());
    ASSERT_GE(h.RunToEnd(), 0);
    EXPECT_EQ(h.Calls("SCRIPT."),
              (std::vector<std::string>{"SCRIPT.SendFromFile(C:\\alm.txt)",
                                        "SCRIPT.LoadScript(C:\\s\\one.scr)", "SCRIPT.SetScriptName(one.scr)",
                                        "SCRIPT.ScriptRun()"}));
    EXPECT_TRUE(h.status.Shown(2, "TEST: SCRIPT ongoing one.scr"));
}

// The status bar's test line after the last trial, after the session and
// after Stop: no trial past the count, nothing ongoing once it ended.
TEST(EngineSession, TestLineNeverCountsPastTheTrialsAndEndsWithTheTest) {
    Harness h;
    h.AddDevice(0, "GPS1").fix_delay_ms = 1000;
    h.AddTest(0, "HOT", 2);
    ASSERT_TRUE(h.Start());
    ASSERT_GE(h.RunToEnd(), 0);
    EXPECT_TRUE(h.status.Shown(2, "TEST: HOT  - ongoing 2 of 2"));
    for (const auto& [panel, text] : h.status.history)
        EXPECT_EQ(text.find("ongoing 3 of 2"), std::string::npos) << text;
    EXPECT_EQ(h.status.panels[1], "Test Session Completed");
    EXPECT_EQ(h.status.panels[2], "") << "the session is over";

    Harness stopped;
    stopped.AddDevice(0, "GPS1").fix_delay_ms = 60000;
    stopped.AddTest(0, "COLD", 5);
    ASSERT_TRUE(stopped.Start());
    ASSERT_GE(stopped.Run([&] { return stopped.status.panels[2] == "TEST: COLD  ongoing 1 of 5"; }), 0);
    stopped.engine.StopSession("Stop was chosen");
    EXPECT_EQ(stopped.status.panels[2], "") << "a stopped test is not ongoing";
}

// A script after a test of two trials counts its own fixes, with no count
// of trials to pass.
TEST(EngineSession, ScriptCountsItsOwnTrialsWithoutACount) {
    Harness h;
    h.AddDevice(0, "GPS1").fix_delay_ms = 1000;
    h.AddTest(0, "COLD", 2);
    TestEntry& t = h.AddTest(1, "SCRIPT", 0);
    t.ScriptCount = 1;
    t.ScriptFiles[0] = "C:\\s\\one.scr";
    h.script.existing.insert("C:\\s\\one.scr");
    ASSERT_TRUE(h.Start());
    ASSERT_GE(h.Run([&] { return !h.Calls("SCRIPT.ScriptRun").empty(); }), 0);
    // What the script stepper does when a WAITFIX ends.
    h.fanout.IncrementTestDataTestNumber();
    h.fanout.IncrementResultsTestNumber();
    EXPECT_EQ(h.grid.Caption(), "Results: n. 1");
    h.fanout.IncrementTestDataTestNumber();
    h.fanout.IncrementResultsTestNumber();
    EXPECT_EQ(h.grid.Caption(), "Results: n. 2");
}

TEST(EngineSession, AutomaticReportsAreBuiltPerDeviceAndEntryAtTheEnd) {
    Harness h;
    h.AddDevice(0, "GPS1").fix_delay_ms = 1000;
    h.cfg.Devices[0].RLog = FlagSet;
    h.AddTest(0, "COLD", 1);
    h.AddTest(1, "HOT", 1);
    h.state.Options.AutoRepGen = true;
    ASSERT_TRUE(h.Start());
    ASSERT_GE(h.RunToEnd(), 0);
    EXPECT_EQ(h.reports.calls,
              (std::vector<std::string>{"CreateReportSheet(" + kFolder + "\\GPS1,COLD)",
                                        "ImportTestResults(" + kFolder + "\\GPS1,COLD)",
                                        "CreateReportSheet(" + kFolder + "\\GPS1,HOT)",
                                        "ImportTestResults(" + kFolder + "\\GPS1,HOT)"}));
}

}  // namespace
}  // namespace sessiontest

namespace sessiontest {
namespace {

// Between trials the grid's caption and the status bar count the same trial.
TEST(EngineSession, TheGridCaptionAndTheStatusBarCountTheSameTrial) {
    Harness h;
    auto& d = h.AddDevice(0, "GPS1");
    h.AddTest(0, "COLD", 3, 10, 20);
    h.random.values = {0.5};
    d.fix_delay_ms = 2000;
    ASSERT_TRUE(h.Start());
    auto trialOf = [](const std::string& text, const std::string& before) {
        const size_t at = text.find(before);
        return at == std::string::npos ? -1 : std::atoi(text.c_str() + at + before.size());
    };
    int compared = 0;
    ASSERT_GE(h.Run([&] {
        const int status = trialOf(h.status.panels[2], "ongoing ");
        const int caption = trialOf(h.grid.Caption(), "n. ");
        if (status > 0 && caption > 0) {
            EXPECT_EQ(caption, status) << h.grid.Caption() << " | " << h.status.panels[2];
            ++compared;
        }
        return !h.engine.SessionRunning();
    }), 0);
    EXPECT_GT(compared, 10);
}

}  // namespace
}  // namespace sessiontest
