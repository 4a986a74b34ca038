// LabSat tests of a session stepped by a fake clock: the replay of each
// iteration through the LabSat unit, the logs around it, and what happens
// when the unit cannot be reached.
#include <gtest/gtest.h>

#include <algorithm>
#include <set>

#include "bench/instruments/labsat_control.h"
#include "tests/session/session_harness.h"
#include "tests/support/fakes.h"

namespace sessiontest {
namespace {

// The LabSat window as the engine sees it; each call lands in the harness's
// call list, so its order against the devices' calls is checked.
class RecordingLabSat : public ILabSat {
public:
    explicit RecordingLabSat(std::vector<std::string>* calls) : calls_(calls) {}
    bool LabSatSetBinFile(const std::string& f) override { return Rec("LabSatSetBinFile(" + f + ")"); }
    bool LabSatSetAttenuation(int16_t v) override { return Rec("LabSatSetAttenuation(" + std::to_string(v) + ")"); }
    bool LabSatSetStartTime(int32_t s) override { return Rec("LabSatSetStartTime(" + std::to_string(s) + ")"); }
    bool LabSatSetStartReplay() override { return Rec("LabSatSetStartReplay()"); }
    bool LabSatSetStopReplay() override { return Rec("LabSatSetStopReplay()"); }
    // One call that fails (the unit is not reached): the call of that text
    // after `pass_before_failing` successful ones.
    std::string failing;
    int pass_before_failing = 0;

private:
    bool Rec(const std::string& c) {
        calls_->push_back("LABSAT." + c);
        if (!failing.empty() && c == failing) return seen_++ != pass_before_failing;
        return true;
    }
    std::vector<std::string>* calls_;
    int seen_ = 0;
};

struct LabSatHarness : Harness {
    RecordingLabSat labsat{&calls};
    fakes::FakeDeviceWindow* dev = nullptr;
    LabSatHarness() {
        services.labsat = &labsat;
        dev = &AddDevice(0, "GPS1");
        cfg.Devices[0].GLog = FlagSet;
        cfg.Devices[0].RLog = FlagSet;
    }
    TestEntry& AddLabSat(int index, const std::string& type, int32_t duration, int16_t iterations) {
        TestEntry& t = AddTest(index, type, 1);
        t.LabSat = FlagSet;
        t.LabSatBinFile = "D:\\rec\\city_walk.bin";
        t.LabSatStart = 40000;  // past 32767 s: must reach the unit unchanged
        t.LabSatDuration = duration;
        t.LabSatIterations = iterations;
        t.LabSatAttenuation = 12;
        return t;
    }
    // The LabSat calls and the device calls that matter to a replay, in order.
    std::vector<std::string> Replay() const {
        std::vector<std::string> out;
        for (const auto& c : calls)
            if (c.rfind("LABSAT.", 0) == 0 || c.find("DeviceSendSerialCommand") != std::string::npos ||
                c.find("PrimaryLog") != std::string::npos)
                out.push_back(c);
        return out;
    }
    bool Logged(const std::string& part) const {
        return std::any_of(log.lines.begin(), log.lines.end(),
                           [&](const std::string& l) { return l.find(part) != std::string::npos; });
    }
};

const std::string kStamp = "08-12-2026_12.00.00";
const std::string kFolder = "C:\\T_" + kStamp + "\\GPS1\\city_walk";

TEST(LabSatSession, TwoReplaysRunInOrderEachStoppedOnlyAfterItsDuration) {
    LabSatHarness h;
    h.AddLabSat(0, "TRACK24H", 60, 2);
    ASSERT_TRUE(h.Start());

    // Record when each start and stop happened on the PC clock.
    std::vector<int64_t> starts, stops;
    size_t seen = 0;
    const int ticks = h.Run([&] {
        for (; seen < h.calls.size(); ++seen) {
            if (h.calls[seen] == "LABSAT.LabSatSetStartReplay()") starts.push_back(h.clock.MonotonicMs());
            if (h.calls[seen] == "LABSAT.LabSatSetStopReplay()") stops.push_back(h.clock.MonotonicMs());
        }
        return !h.engine.SessionRunning();
    });
    ASSERT_GE(ticks, 0) << "the session ends after the last replay";

    const std::vector<std::string> one = {
        "LABSAT.LabSatSetBinFile(D:\\rec\\city_walk.bin)", "LABSAT.LabSatSetAttenuation(12)",
        "LABSAT.LabSatSetStartTime(40000)", "LABSAT.LabSatSetStartReplay()", "LABSAT.LabSatSetStopReplay()"};
    std::vector<std::string> want = {"N0.DeviceSetPrimaryLogFileBaseName(" + kFolder + "\\GPS1_city_walk_NMEA_)",
                                     "N0.DeviceStartPrimaryLogging(L0.txt)", "N0.DeviceSendSerialCommand($PQNVCOLD)"};
    want.insert(want.end(), one.begin(), one.end());
    want.insert(want.end(), {"N0.DeviceEndPrimaryLogging()", "N0.DeviceChangePrimaryLogFile(L1.txt)",
                             "N0.DeviceSendSerialCommand($PQNVCOLD)"});
    want.insert(want.end(), one.begin(), one.end());
    want.insert(want.end(), {"N0.DeviceEndPrimaryLogging()", "N0.DeviceEndPrimaryLogging()"});
    EXPECT_EQ(h.Replay(), want);
    EXPECT_EQ(h.files.made.back(), kFolder);

    ASSERT_EQ(starts.size(), 2u);
    ASSERT_EQ(stops.size(), 2u);
    for (int i = 0; i < 2; ++i) {
        // Stopped at the first tick (1 s on a TRACK24H test) past 60 s.
        EXPECT_GT(stops[i] - starts[i], 60000) << "replay " << i;
        EXPECT_LE(stops[i] - starts[i], 62000) << "replay " << i;
    }
    // The countdown passes 0 and -1 before the stop, as the unit is stopped
    // only once the duration has passed.
    EXPECT_TRUE(h.status.Shown(1, "Labsat Running 59"));
    EXPECT_TRUE(h.status.Shown(1, "Labsat Running 0"));
    EXPECT_TRUE(h.status.Shown(1, "Labsat Running -1"));
    EXPECT_FALSE(h.status.Shown(1, "Labsat Running -2"));
    EXPECT_EQ(h.engine.Run().LabSatIteration, 2);
    // The test's results log closes with it.
    EXPECT_FALSE(h.CallsWith("N0.DeviceEndResultsLogging()").empty());
}

TEST(LabSatSession, AZeroIterationCountRunsOneReplayInsteadOfReplayingForever) {
    LabSatHarness h;
    h.AddLabSat(0, "TRACK24H", 5, 0);
    ASSERT_TRUE(h.Start());
    ASSERT_GE(h.RunToEnd(2000), 0);
    EXPECT_EQ(h.CallsWith("LabSatSetStartReplay").size(), 1u);
    EXPECT_EQ(h.CallsWith("LabSatSetStopReplay").size(), 1u);
}

TEST(LabSatSession, AnAcquisitionEntryAfterAnotherStartsItsIterationsAfresh) {
    LabSatHarness h;
    h.AddLabSat(0, "COLD", 3, 2);
    h.AddLabSat(1, "COLD", 3, 1);
    ASSERT_TRUE(h.Start());
    ASSERT_GE(h.RunToEnd(5000), 0);
    EXPECT_EQ(h.CallsWith("LabSatSetStartReplay").size(), 3u);
    // Each test opens the replay logs under the recording's name, from L0.
    EXPECT_EQ(h.CallsWith("DeviceStartPrimaryLogging(L0.txt)").size(), 2u);
}

TEST(LabSatSession, AnOperationThatDoesNotReachTheUnitFailsTheTestAndTheSessionGoesOn) {
    LabSatHarness h;
    h.AddLabSat(0, "TRACK24H", 5, 3);
    h.AddLabSat(1, "TRACK24H", 5, 1);
    h.labsat.failing = "LabSatSetStartReplay()";
    h.labsat.pass_before_failing = 1;  // the second replay's start is lost
    ASSERT_TRUE(h.Start());
    ASSERT_GE(h.RunToEnd(5000), 0);

    EXPECT_TRUE(h.Logged("LabSat test TRACK24H (D:\\rec\\city_walk.bin) failed: the replay was not started in replay 2"));
    EXPECT_TRUE(h.status.Shown(1, "LabSat test TRACK24H (D:\\rec\\city_walk.bin) failed: the replay was not started in replay 2"));
    // Nothing was counted or stopped for the replay that never started, and
    // no third replay of the failed test was tried.
    EXPECT_EQ(h.engine.Run().LabSatIteration, 1) << "iteration of the last test run";
    const auto starts = h.CallsWith("LabSatSetStartReplay");
    const auto stops = h.CallsWith("LabSatSetStopReplay");
    EXPECT_EQ(starts.size(), 3u) << "two of the first test, one of the second";
    EXPECT_EQ(stops.size(), 2u);
    // The failed test's logs were closed before the next test opened its own.
    const int fail_at = h.IndexOf("LABSAT.LabSatSetStartReplay()", h.IndexOf("LABSAT.LabSatSetStartReplay()") + 1);
    const int end_at = h.IndexOf("N0.DeviceEndPrimaryLogging()", fail_at);
    const int next_at = h.IndexOf("N0.DeviceStartPrimaryLogging(L0.txt)", fail_at);
    ASSERT_GE(end_at, 0);
    ASSERT_GE(next_at, 0);
    EXPECT_LT(end_at, next_at);
}

TEST(LabSatSession, AnEntryIsSkippedWhileTheUnitCannotBeReached) {
    LabSatHarness h;
    std::vector<std::string> reports;
    auto* port = new test::FakeSerialLink;
    bench::LabSatMng unit(
        std::unique_ptr<platform::SerialLink>(port),
        [&] { return std::make_unique<bench::UnavailableLabSatBackend>([&](const std::string& r) { reports.push_back(r); }); },
        [&](const std::string& r) { reports.push_back(r); });
    h.services.labsat = &unit;
    h.AddLabSat(0, "TRACK24H", 5, 1);
    // Local control does not exist on this platform.
    ASSERT_TRUE(h.Start());
    ASSERT_GE(h.RunToEnd(100), 0);
    EXPECT_TRUE(h.Logged("skipped: LabSat local control not available on this platform"));
    // Remote control with the line to the relay PC not opened.
    unit.SetRemoteFlag(true);
    ASSERT_TRUE(h.Start());
    ASSERT_GE(h.RunToEnd(100), 0);
    EXPECT_TRUE(h.Logged("skipped: LabSat remote port 1 not open (Remote Control)"));
    EXPECT_TRUE(port->Written.empty());
    EXPECT_TRUE(reports.empty()) << "nothing was tried";
    EXPECT_TRUE(h.CallsWith("$PQNVCOLD").empty());
    // Opened, the same entry runs.
    unit.Command1_Click();
    ASSERT_TRUE(h.Start());
    ASSERT_GE(h.RunToEnd(100), 0);
    EXPECT_EQ(port->Written.substr(0, 7), "SETBIN,");
    EXPECT_NE(port->Written.find("STOP\r\n"), std::string::npos);
}

TEST(LabSatSession, StopDuringAReplayStopsTheUnit) {
    LabSatHarness h;
    h.AddLabSat(0, "TRACK24H", 600, 1);
    ASSERT_TRUE(h.Start());
    ASSERT_GE(h.Run([&] { return h.engine.LabSatSubState == 5; }, 100), 0);
    for (int i = 0; i < 5; ++i) h.Tick();
    EXPECT_TRUE(h.CallsWith("LabSatSetStopReplay").empty());
    h.engine.StopSession("Stop was chosen");
    EXPECT_EQ(h.CallsWith("LabSatSetStopReplay").size(), 1u);
}

}  // namespace
}  // namespace sessiontest
