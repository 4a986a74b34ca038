// Sessions whose devices fail part of a trial, whose entries need an
// instrument that is not there, or whose files cannot be written: each
// failure is reported once, nothing is repeated on the next tick, and the
// session reaches its end and says what it lost.
#include <gtest/gtest.h>

#include <algorithm>

#include "platform/core/error.h"
#include "tests/session/session_harness.h"

namespace sessiontest {
namespace {

int CallsStarting(const fakes::FakeDeviceWindow& d, const std::string& prefix) {
    return static_cast<int>(std::count_if(d.own_calls.begin(), d.own_calls.end(),
                                          [&](const std::string& c) { return c.rfind(prefix, 0) == 0; }));
}

int LinesWith(const std::vector<std::string>& lines, const std::string& what) {
    return static_cast<int>(std::count_if(lines.begin(), lines.end(),
                                          [&](const std::string& l) { return l.find(what) != std::string::npos; }));
}

void FailOn(fakes::FakeDeviceWindow& d, const std::string& prefix) {
    d.on_call = [prefix](const std::string& call) {
        if (call.rfind(prefix, 0) == 0) throw platform::BenchError(platform::err::FileIo, "Device I/O error (disk)");
    };
}

TEST(EngineFailures, FailingResultsWriteOfOneDeviceIsNeverRepeated) {
    Harness h;
    auto& a = h.AddDevice(0, "GPS1");
    auto& b = h.AddDevice(1, "GPS2");
    h.AddTest(0, "COLD", 3);
    a.fix_delay_ms = b.fix_delay_ms = 2000;
    FailOn(a, "DeviceLogResultsToFile");
    ASSERT_TRUE(h.Start());
    ASSERT_GE(h.RunToEnd(), 0) << "the session must not hang";
    EXPECT_EQ(b.results_lines.size(), 3u) << "one line per trial for the healthy device";
    EXPECT_EQ(a.CallsCount("DeviceLogResultsToFile(" + std::string("2\t% 1\t") + a.fix_gga + ")"), 1);
    EXPECT_EQ(CallsStarting(a, "DeviceLogResultsToFile"), 3) << "one attempt per trial";
    EXPECT_EQ(LinesWith(h.log.lines, "Device GPS1: Device I/O error (disk) (FixEventManagement)"), 3);
    EXPECT_EQ(a.executed, 3);
    EXPECT_EQ(b.executed, 3);
    EXPECT_EQ(h.status.panels[1], "Test Session Completed");
}

TEST(EngineFailures, DeviceWhoseTrialSetUpFailsIsNotRestartedAndRecordsAnError) {
    Harness h;
    auto& a = h.AddDevice(0, "GPS1");
    auto& b = h.AddDevice(1, "GPS2");
    h.cfg.Devices[0].PLog = FlagSet;
    h.AddTest(0, "COLD", 2, 5, 5);
    a.fix_delay_ms = b.fix_delay_ms = 3000;
    FailOn(a, "DeviceChangeSecondaryLogFile");
    ASSERT_TRUE(h.Start());
    ASSERT_GE(h.RunToEnd(), 0);
    EXPECT_EQ(a.executed, 0) << "a device whose set-up failed is not restarted";
    EXPECT_EQ(b.executed, 2);
    EXPECT_EQ(CallsStarting(a, "DeviceChangeSecondaryLogFile"), 2) << "once per trial, never per tick";
    EXPECT_EQ(LinesWith(h.log.lines, "(ExecuteTestOnDevices)"), 2);
    ASSERT_EQ(a.results_lines.size(), 2u);
    EXPECT_EQ(a.results_lines[0], "-1\t% 1\t\r\n");
    EXPECT_EQ(a.results_lines[1], "-1\t% 2\t\r\n");
    EXPECT_TRUE(h.status.Shown(1, "Time Measure ERROR!"));
    // The failed device does not hold the trial up until the silence limit.
    EXPECT_LT(b.execute_ms[1] - b.execute_ms[0], 20000);
}

TEST(EngineFailures, FailingWritesAtTheEndOfATestStillRunTheNextTest) {
    Harness h;
    auto& a = h.AddDevice(0, "GPS1");
    h.AddTest(0, "COLD", 1);
    h.AddTest(1, "HOT", 1);
    a.fix_delay_ms = 1000;
    a.on_call = [](const std::string& call) {
        if (call == "DeviceLogT2AT2UStatistics()" || call == "DeviceEndResultsLogging()")
            throw platform::BenchError(platform::err::FileIo, "Device I/O error (full)");
    };
    ASSERT_TRUE(h.Start());
    ASSERT_GE(h.RunToEnd(), 0) << "a failing write at test end must not stop the session";
    EXPECT_EQ(a.commands, (std::vector<std::string>{"$PQNVCOLD", "$PQNVHOT"}));
    EXPECT_EQ(a.CallsCount("DeviceEndPrimaryLogging()"), 2) << "the other logs are still closed";
    EXPECT_EQ(h.status.panels[1], "Test Session Completed");
}

TEST(EngineFailures, BadNcoWithoutACommandSendsNothingAndSaysSoOnce) {
    Harness h;
    auto& a = h.AddDevice(0, "GPS1");
    h.cfg.Devices[0].NcoStart = 100;
    h.cfg.Devices[0].NcoMax = 120;
    h.cfg.Devices[0].NcoStep = 10;
    h.cfg.Devices[0].BadNcoC = "";
    h.AddTest(0, "BAD_NCO", 1);
    a.fix_delay_ms = 1000;
    ASSERT_TRUE(h.Start());
    ASSERT_GE(h.RunToEnd(), 0);
    EXPECT_EQ(a.commands, (std::vector<std::string>{"", "", ""})) << "no \",100\" reaches the receiver";
    EXPECT_EQ(LinesWith(h.log.lines, "no NCO command"), 1);
}

TEST(EngineFailures, EntriesNeedingAMissingInstrumentAreSkippedAndCounted) {
    Harness h;
    h.services.simulator = nullptr;  // nothing connected
    auto& a = h.AddDevice(0, "GPS1");
    h.AddTest(0, "COLD", 1).Simulator = FlagSet;
    h.AddTest(1, "COLD", 1).LabSat = FlagSet;
    h.AddTest(2, "REACQUISITION", 1).Simulator = FlagSet;
    h.AddTest(3, "WARM", 1);
    a.fix_delay_ms = 1000;
    ASSERT_TRUE(h.Start());
    ASSERT_GE(h.RunToEnd(), 0);
    EXPECT_EQ(a.commands, (std::vector<std::string>{"$PQNVWARM"})) << "only the entry that can run runs";
    EXPECT_EQ(LinesWith(h.log.lines, "Test entry 0 (COLD) skipped: no simulator connected"), 1);
    EXPECT_EQ(LinesWith(h.log.lines, "Test entry 1 (COLD) skipped: no LabSat unit connected"), 1);
    EXPECT_EQ(LinesWith(h.log.lines, "Test entry 2 (REACQUISITION) skipped: no simulator connected"), 1);
    EXPECT_TRUE(h.status.Shown(1, "Test entry 0 (COLD) skipped: no simulator connected"));
    EXPECT_EQ(h.status.panels[2], "SESSION INCOMPLETE: 3 test entries skipped");
    ASSERT_EQ(h.prompter.warnings.size(), 1u);
    EXPECT_NE(h.prompter.warnings[0].second.find("3 test entries skipped"), std::string::npos);
}

TEST(EngineFailures, SimulatorThatIsNotReadySkipsItsEntries) {
    Harness h;
    h.sim.not_ready = "simulator not connected";
    auto& a = h.AddDevice(0, "GPS1");
    TestEntry& t = h.AddTest(0, "COLD", 1);
    t.Simulator = FlagSet;
    h.AddTest(1, "HOT", 1);
    a.fix_delay_ms = 1000;
    ASSERT_TRUE(h.Start());
    ASSERT_GE(h.RunToEnd(), 0);
    EXPECT_TRUE(h.sim.powers.empty()) << "the simulator is not driven";
    EXPECT_EQ(a.commands, (std::vector<std::string>{"$PQNVHOT"}));
    EXPECT_EQ(LinesWith(h.log.lines, "skipped: simulator not connected"), 1);
}

// One receiver disabled, the other's port lost: while the port time-out
// keeps trying to open the port again the receiver may come back and the
// trials go on; once nothing is trying, the session stops as a failure.
TEST(EngineFailures, SessionWithNoReceiverLeftStopsAsAFailure) {
    Harness h;
    auto& a = h.AddDevice(0, "GPS1");
    auto& b = h.AddDevice(1, "GPS2");
    h.AddTest(0, "COLD", 6, 5, 5);
    a.fix_delay_ms = b.fix_delay_ms = 2000;
    ASSERT_TRUE(h.Start());
    ASSERT_GE(h.Run([&] { return b.executed == 1; }), 0);
    b.port_lost = true;
    b.port_reopening = true;
    h.fanout.DeviceDisable(0);
    ASSERT_GE(h.Run([&] { return b.executed == 3; }), 0) << "a port that may come back keeps the session going";
    EXPECT_TRUE(h.engine.SessionRunning());
    b.port_reopening = false;
    ASSERT_GE(h.RunToEnd(), 0);
    EXPECT_EQ(b.executed, 3) << "no trial after the last receiver went";
    EXPECT_EQ(a.executed, 1);
    const std::string why = "No receiver left in the test session (GPS1 disabled, GPS2 port 1 lost)";
    EXPECT_EQ(LinesWith(h.log.lines, "No receiver left"), 1);
    EXPECT_EQ(LinesWith(h.log.lines, "Test session stopped: " + why + " during "), 1);
    EXPECT_EQ(h.status.panels[1], "Test Session FAILED: " + why);
    EXPECT_EQ(b.results_lines.size(), 3u) << "each trial it was part of is written";
}

TEST(EngineFailures, CleanSessionEndsWithoutAWarning) {
    Harness h;
    auto& a = h.AddDevice(0, "GPS1");
    h.AddTest(0, "COLD", 1);
    a.fix_delay_ms = 1000;
    ASSERT_TRUE(h.Start());
    ASSERT_GE(h.RunToEnd(), 0);
    EXPECT_TRUE(h.prompter.warnings.empty());
    EXPECT_EQ(h.status.panels[2].find("SESSION INCOMPLETE"), std::string::npos);
}

}  // namespace
}  // namespace sessiontest
