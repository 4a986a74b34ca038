// Restart sequences of the receiver families, stepped on the device's script
// timer, checked byte for byte at the receiver's end of a real
// pseudo-terminal. Binary frames are rebuilt here from their fields, with
// their checksums computed here, so a typo in the bench's frames shows.
#include "bench/devices/console.h"
#include "bench/devices/restart_scripts.h"
#include "bench/devices/system_log.h"
#include "bench/devices/test_machine.h"
#include "platform/comm/serial_port.h"
#include "platform/qt/bench_timer.h"
#include "tests/support/emulated_receiver.h"
#include "tests/support/fakes.h"
#include "tests/support/qt_app.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <initializer_list>
#include <string>
#include <vector>

using namespace bench;

namespace {

// What a binary command looks like on the wire: its bytes, then zeros up to
// the 128-byte block the binary sender always writes.
std::string Block(const std::string& frame) { return frame + std::string(128 - frame.size(), '\0'); }

std::string Bytes(std::initializer_list<int> values) {
    std::string out;
    for (int v : values) out += static_cast<char>(v);
    return out;
}

// Garmin packet: DLE, id, size, data, checksum (two's complement of the sum
// of id, size and data), DLE, ETX.
std::string GarminPacket(int id, std::initializer_list<int> data) {
    int sum = id + static_cast<int>(data.size());
    for (int d : data) sum += d;
    std::string p = Bytes({0x10, id, static_cast<int>(data.size())});
    for (int d : data) p += static_cast<char>(d);
    p += static_cast<char>((256 - (sum & 0xFF)) & 0xFF);
    return p + Bytes({0x10, 0x03});
}

// UBX CFG-RST: B5 62, class 06, id 04, length 4, clear mask (little-endian),
// reset mode 1, reserved 0, then the 8-bit Fletcher checksum of class..payload.
std::string UbxReset(int mask) {
    std::string body = Bytes({0x06, 0x04, 0x04, 0x00, mask & 0xFF, (mask >> 8) & 0xFF, 0x01, 0x00});
    uint8_t a = 0, b = 0;
    for (char c : body) {
        a = static_cast<uint8_t>(a + static_cast<uint8_t>(c));
        b = static_cast<uint8_t>(b + a);
    }
    return Bytes({0xB5, 0x62}) + body + Bytes({a, b});
}

const std::string kGarminHello = "$PGRMO,,G*00\r\n";

struct ScriptBench {
    explicit ScriptBench(int port_number) {
        gps.RegisterPort(port_number);
        dev.Console.Port = &port;
        dev.Console.ScriptTimer = &timer;
        CommPortSetup(dev, static_cast<int16_t>(port_number), 9600);
        CommPortOpen(dev);
        InstallRestartScript(dev, [this](DeviceState&, uint8_t e, platform::Stamp) { events.push_back(e); });
    }
    // One tick; then the bytes the receiver got from it (waits until `expect`
    // bytes arrived, or a short while when nothing is expected).
    std::string Step(size_t expect) {
        gps.ClearReceived();
        timer.Tick();
        if (expect == 0)
            test::Pump(30);
        else
            test::WaitFor([&] { return gps.Received().size() >= expect; });
        return gps.Received();
    }
    test::TempHome home;
    test::EmulatedReceiver gps;
    platform::SerialPort port;
    platform::ManualTimer timer{1000};
    DeviceState dev;
    std::vector<int> events;
};

std::string SystemLogText() { return test::ReadFileBytes(SystemLogPath()); }

struct OpusCase {
    const char* command;
    const char* start;
};

class OpusScript : public ::testing::TestWithParam<OpusCase> {};

}  // namespace

TEST_P(OpusScript, StopsThenStartsWithItsKind) {
    ScriptBench b(3);
    b.dev.TestCommand = GetParam().command;
    b.dev.GGACount = 7;
    b.timer.SetEnabled(true);

    EXPECT_EQ(b.Step(17), "$PERDCOR,STOP*69\r\n");
    EXPECT_TRUE(b.events.empty());
    EXPECT_FALSE(b.dev.GGAAsStartup);

    EXPECT_EQ(b.Step(std::string(GetParam().start).size()), GetParam().start);
    EXPECT_EQ(b.events, std::vector<int>{1});
    EXPECT_TRUE(b.dev.GGAAsStartup);
    EXPECT_EQ(b.dev.GGACount, 7) << "the script leaves the GGA counter alone: the next GGA is the restart";
    EXPECT_FALSE(b.timer.Enabled());
    EXPECT_EQ(b.timer.Interval(), 1000);
}

INSTANTIATE_TEST_SUITE_P(
    Kinds, OpusScript,
    ::testing::Values(OpusCase{"OPUSCOLDSIM", "$PERDCOR,START,SIMCOLD*4E\r\n"},
                      OpusCase{"OPUSCOLD", "$PERDCOR,START,COLD,UNAIDED*63\r\n"},
                      OpusCase{"OPUSWARM", "$PERDCOR,START,WARM,UNAIDED*6E\r\n"},
                      OpusCase{"OPUSHOT", "$PERDCOR,START,HOT,UNAIDED*34\r\n"},
                      OpusCase{"OPUSCOLDSIMX", "$PERDCOR,START,SIMCOLD*4E\r\n"}),
    [](const ::testing::TestParamInfo<OpusCase>& info) { return std::string(info.param.command); });

TEST(GarminScript, TestRestartSendsHelloKindFrameThenClosingFrame) {
    struct Case {
        const char* command;
        std::string frame;
    };
    for (const Case& c : {Case{"GARMINCOLD", GarminPacket(0x0A, {0x02, 0x02})},
                          Case{"GARMINWARM", GarminPacket(0x0A, {0x04, 0x02})},
                          Case{"GARMINHOT", GarminPacket(0x0A, {0x00, 0x02})}}) {
        SCOPED_TRACE(c.command);
        ScriptBench b(2);
        b.dev.TestCommand = c.command;
        b.timer.SetEnabled(true);
        EXPECT_EQ(b.Step(3 * kGarminHello.size()), kGarminHello + kGarminHello + kGarminHello);
        EXPECT_EQ(b.dev.ScriptStep, 1);
        EXPECT_EQ(b.Step(128), Block(c.frame));
        EXPECT_TRUE(b.events.empty());
        EXPECT_EQ(b.Step(128), Block(GarminPacket(0x0A, {0x26, 0x00})));
        EXPECT_EQ(b.events, std::vector<int>{1});
        EXPECT_TRUE(b.dev.GGAAsStartup);
        EXPECT_FALSE(b.timer.Enabled());
        EXPECT_FALSE(b.timer.Tick());
    }
}

TEST(GarminScript, StandaloneRestartTakesTheKindOfTheRestartCommand) {
    ScriptBench b(2);
    b.dev.TestCommand = "";
    b.dev.RestartCommand = "GARMINHOT";
    StartRestartCommandScript(b.dev);
    EXPECT_TRUE(b.timer.Enabled());
    EXPECT_TRUE(b.dev.RestartScriptPending);

    b.dev.TestState = 1;  // a device test awaits this restart
    EXPECT_EQ(b.Step(3 * kGarminHello.size()), kGarminHello + kGarminHello + kGarminHello);
    EXPECT_EQ(b.dev.ScriptStep, 3);
    EXPECT_EQ(b.Step(128), Block(GarminPacket(0x0A, {0x00, 0x02})));
    EXPECT_EQ(b.dev.ScriptStep, 2);
    EXPECT_EQ(b.Step(128), Block(GarminPacket(0x0A, {0x26, 0x00})));
    EXPECT_FALSE(b.dev.RestartScriptPending);
    EXPECT_EQ(b.events, std::vector<int>{1});
    EXPECT_TRUE(b.dev.GGAAsStartup);
    EXPECT_FALSE(b.timer.Enabled());
}

TEST(GarminScript, StandaloneRestartOfAnIdleDeviceStartsNoTest) {
    ScriptBench b(2);
    InstallRestartScript(b.dev);  // the device's own test machine
    b.dev.TestCommand = "GARMINCOLD";
    b.dev.RestartCommand = "GARMINWARM";
    b.dev.TickLimit = 10;
    StartRestartCommandScript(b.dev);
    b.Step(3 * kGarminHello.size());
    EXPECT_EQ(b.Step(128), Block(GarminPacket(0x0A, {0x04, 0x02})));
    EXPECT_EQ(b.Step(128), Block(GarminPacket(0x0A, {0x26, 0x00})));
    EXPECT_FALSE(b.timer.Enabled());
    EXPECT_EQ(b.dev.TestState, Idle);
    EXPECT_FALSE(b.dev.GGAAsStartup) << "the next GGA would start a test and a second, cold restart";
    EXPECT_EQ(b.Step(0), "");
}

TEST(UbloxScript, OneResetFrameAndTheTimerStops) {
    struct Case {
        const char* command;
        int mask;
    };
    for (const Case& c : {Case{"UBLOXCOLD", 0x07FF}, Case{"UBLOXWARM", 0x0001}, Case{"UBLOXHOT", 0x0000}}) {
        SCOPED_TRACE(c.command);
        ScriptBench b(5);
        b.dev.TestCommand = c.command;
        b.timer.SetEnabled(true);
        EXPECT_EQ(b.Step(128), Block(UbxReset(c.mask)));
        EXPECT_FALSE(b.timer.Enabled());
        EXPECT_TRUE(b.events.empty()) << "the UBLOX script feeds no event";
        EXPECT_FALSE(b.dev.GGAAsStartup);
        EXPECT_FALSE(b.dev.RestartScriptFinished);
    }
}

TEST(UbloxScript, FramesMatchTheHandComputedChecksums) {
    // Independent of the frame builder above: the checksum bytes as worked
    // out by hand.
    EXPECT_EQ(UbxReset(0x07FF).substr(10), Bytes({0x15, 0x77}));
    EXPECT_EQ(UbxReset(0x0001).substr(10), Bytes({0x10, 0x6A}));
    EXPECT_EQ(UbxReset(0x0000).substr(10), Bytes({0x0F, 0x66}));
    EXPECT_EQ(GarminPacket(0x0A, {0x02, 0x02})[5], static_cast<char>(0xF0));
    EXPECT_EQ(GarminPacket(0x0A, {0x26, 0x00})[5], static_cast<char>(0xCE));
}

TEST(HardwareReset, PulsesRtsOnAPseudoTerminalWithoutFailingAndSendsNoFrame) {
    ScriptBench b(6);
    OpenSystemLog();
    b.dev.HWReset = true;
    b.dev.TestCommand = "UBLOXCOLD";
    b.timer.SetInterval(2000);  // as the test machine arms it
    b.timer.SetEnabled(true);

    EXPECT_EQ(b.Step(0), "");
    EXPECT_TRUE(b.port.RTSEnable());
    EXPECT_EQ(b.timer.Interval(), 1000) << "the pulse lasts one 1 s step";
    EXPECT_TRUE(b.timer.Enabled());
    EXPECT_TRUE(b.events.empty());

    EXPECT_EQ(b.Step(0), "");
    EXPECT_FALSE(b.port.RTSEnable());
    EXPECT_EQ(b.events, std::vector<int>{1});
    EXPECT_FALSE(b.timer.Enabled());
    EXPECT_FALSE(b.dev.GGAAsStartup);
    EXPECT_TRUE(b.port.PortOpen());
    std::string log = SystemLogText();
    CloseSystemLog();
    EXPECT_EQ(log.find("ScriptTimer_Timer"), std::string::npos) << log;
}

TEST(HardwareReset, RtsIsDroppedWhenTheResetIsSwitchedOffMidPulse) {
    test::FakeSerialLink link;
    DeviceState dev;
    platform::ManualTimer timer{1000, true};
    std::vector<int> events;
    link.SetCommPort(4);
    link.SetPortOpen(true);
    dev.Console.Port = &link;
    dev.Console.ScriptTimer = &timer;
    InstallRestartScript(dev, [&](DeviceState&, uint8_t e, platform::Stamp) { events.push_back(e); });
    dev.HWReset = true;
    dev.TestCommand = "OPUSCOLD";
    timer.Tick();
    ASSERT_EQ(link.RtsChanges, std::vector<bool>{true});
    dev.HWReset = false;
    timer.Tick();
    EXPECT_EQ(link.RtsChanges, (std::vector<bool>{true, false}));
    EXPECT_EQ(events, std::vector<int>{1});
    EXPECT_FALSE(timer.Enabled());
    EXPECT_EQ(link.Written, "") << "the receiver is not restarted a second way";
}

TEST(HardwareReset, RtsLeftOnByTheUserIsNoPulseToEnd) {
    test::FakeSerialLink link;
    DeviceState dev;
    platform::ManualTimer timer{1000, true};
    std::vector<int> events;
    link.SetCommPort(4);
    link.SetPortOpen(true);
    dev.Console.Port = &link;
    dev.Console.ScriptTimer = &timer;
    InstallRestartScript(dev, [&](DeviceState&, uint8_t e, platform::Stamp) { events.push_back(e); });
    SwitchRTSSignal(dev, 0, 1);  // a script's SWITCHRTS, no reset in progress
    dev.TestCommand = "OPUSCOLD";
    timer.Tick();
    timer.Tick();
    EXPECT_EQ(link.Written, "$PERDCOR,STOP*69\r\n$PERDCOR,START,COLD,UNAIDED*63\r\n")
        << "the restart sends both its commands";
    EXPECT_EQ(link.RtsChanges, std::vector<bool>{true}) << "the user's RTS stays as set";
    EXPECT_EQ(events, std::vector<int>{1});
}

TEST(RestartScript, LowerCaseFamilySendsNothingAndKeepsTicking) {
    ScriptBench b(1);
    b.dev.TestCommand = "opuscold";
    b.dev.RestartCommand = "garminhot";
    b.timer.SetEnabled(true);
    for (int i = 0; i < 3; ++i) EXPECT_EQ(b.Step(0), "");
    EXPECT_TRUE(b.timer.Enabled());
    EXPECT_TRUE(b.events.empty());
}

TEST(RestartScript, UnknownKindSendsNothingAndIsLogged) {
    for (const char* command : {"OPUSLUKEWARM", "GARMINXYZ", "UBLOXTEPID", "GARMIN"}) {
        SCOPED_TRACE(command);
        ScriptBench b(7);
        OpenSystemLog();
        // A frame chosen by an earlier restart must not be sent again.
        b.dev.RestartFrameText = "100A020202F01003";
        b.dev.TestCommand = command;
        b.timer.SetEnabled(true);
        EXPECT_EQ(b.Step(0), "");
        EXPECT_EQ(b.Step(0), "");
        EXPECT_EQ(b.Step(0), "");
        EXPECT_FALSE(b.timer.Enabled());
        EXPECT_TRUE(b.events.empty());
        EXPECT_FALSE(b.dev.GGAAsStartup) << "no restart was sent, so none may be awaited";
        std::string log = SystemLogText();
        CloseSystemLog();
        EXPECT_NE(log.find(std::string("Unknown restart kind in \"") + command + "\""), std::string::npos) << log;
    }
}

TEST(RestartScript, StandaloneRestartWithUnknownKindIsRefusedToo) {
    ScriptBench b(7);
    b.dev.RestartCommand = "GARMINBOGUS";
    StartRestartCommandScript(b.dev);
    EXPECT_EQ(b.Step(0), "");
    EXPECT_FALSE(b.dev.RestartScriptPending);
    EXPECT_FALSE(b.timer.Enabled());
}

TEST(RestartScript, ARepeatedRestartStartsAgainFromTheFirstStep) {
    ScriptBench b(2);
    b.dev.TestCommand = "OPUSHOT";
    b.timer.SetEnabled(true);
    b.Step(17);
    b.Step(30);
    ASSERT_FALSE(b.timer.Enabled());
    ASSERT_TRUE(b.dev.RestartScriptFinished);
    // The test machine repeats the restart by enabling the timer again.
    b.timer.SetEnabled(true);
    EXPECT_EQ(b.Step(17), "$PERDCOR,STOP*69\r\n");
    EXPECT_EQ(b.Step(30), "$PERDCOR,START,HOT,UNAIDED*34\r\n");
    EXPECT_EQ(b.events, (std::vector<int>{1, 1}));
}

TEST(RestartScript, RunningScriptCalledAgainRestartsAtStepZero) {
    ScriptBench b(2);
    b.dev.TestCommand = "GARMINWARM";
    b.timer.SetEnabled(true);
    b.Step(3 * kGarminHello.size());
    b.Step(128);
    ASSERT_EQ(b.dev.ScriptStep, 2);
    StartRestartScriptAtFirstStep(b.dev);
    EXPECT_EQ(b.Step(3 * kGarminHello.size()), kGarminHello + kGarminHello + kGarminHello);
    EXPECT_TRUE(b.events.empty());
}

TEST(SwitchRts, OnlyThisPortOrPortZeroSwitchesTheLine) {
    test::FakeSerialLink link;
    DeviceState dev;
    link.SetCommPort(3);
    dev.Console.Port = &link;
    SwitchRTSSignal(dev, 4, 1);
    EXPECT_TRUE(link.RtsChanges.empty());
    SwitchRTSSignal(dev, 3, 1);
    SwitchRTSSignal(dev, 0, 0);
    SwitchRTSSignal(dev, 0, 7);
    EXPECT_EQ(link.RtsChanges, (std::vector<bool>{true, false, true}));
    DeviceState portless;
    portless.Console.Port = nullptr;
    SwitchRTSSignal(portless, 0, 1);  // no port: nothing to switch, no failure
}

TEST(RestartThroughTestMachine, HardwareResetFollowsTheTextCommandAndCountsOneTick) {
    ScriptBench b(9);
    InstallRestartScript(b.dev);  // feeding the device's own test machine
    b.dev.HWReset = true;
    b.dev.TestCommand = "$PQNVCOLD";
    b.dev.TickLimit = 10;
    b.gps.ClearReceived();
    DeviceTestMachine(b.dev, EvStart, platform::SystemClock::Instance().StampNow());
    ASSERT_TRUE(test::WaitFor([&] { return b.gps.Received().size() >= 14; }));
    EXPECT_EQ(b.gps.Received(), "$PQNVCOLD*1D\r\n");
    EXPECT_TRUE(b.timer.Enabled());
    EXPECT_EQ(b.timer.Interval(), 2000);

    EXPECT_EQ(b.Step(0), "");
    EXPECT_TRUE(b.port.RTSEnable());
    EXPECT_EQ(b.timer.Interval(), 1000);
    EXPECT_EQ(b.Step(0), "");
    EXPECT_FALSE(b.port.RTSEnable());
    EXPECT_FALSE(b.timer.Enabled());
    EXPECT_EQ(b.dev.TestState, CommandSent);
    EXPECT_EQ(b.dev.Ticks, 1) << "the pulse's start event counts as a tick while the restart is awaited";
}

TEST(RestartThroughTestMachine, GarminRestartIsRepeatedFromItsFirstStep) {
    ScriptBench b(9);
    InstallRestartScript(b.dev);
    b.dev.TestCommand = "GARMINHOT";
    b.dev.TickLimit = 10;
    DeviceTestMachine(b.dev, EvStart, platform::SystemClock::Instance().StampNow());
    ASSERT_TRUE(b.timer.Enabled());
    const std::string sequence[] = {kGarminHello + kGarminHello + kGarminHello,
                                    Block(GarminPacket(0x0A, {0x00, 0x02})),
                                    Block(GarminPacket(0x0A, {0x26, 0x00}))};
    for (const std::string& step : sequence) EXPECT_EQ(b.Step(step.size()), step);
    EXPECT_TRUE(b.dev.GGAAsStartup);
    EXPECT_EQ(b.dev.Ticks, 1);
    ASSERT_FALSE(b.timer.Enabled());

    // No restart seen for the rest of the tick limit: the machine restarts the
    // receiver again, and the script runs whole once more.
    for (int i = 0; i < 9; ++i) DeviceTestMachine(b.dev, EvTick, platform::SystemClock::Instance().StampNow());
    EXPECT_EQ(b.dev.Failures, 1);
    ASSERT_TRUE(b.timer.Enabled());
    for (const std::string& step : sequence) EXPECT_EQ(b.Step(step.size()), step);
}

TEST(HardwareReset, StandaloneRestartPulsesWithoutStartingATestAndLeavesNothingPending) {
    test::FakeSerialLink link;
    DeviceState dev;
    platform::ManualTimer timer{1000};
    link.SetCommPort(2);
    link.SetPortOpen(true);
    dev.Console.Port = &link;
    dev.Console.ScriptTimer = &timer;
    InstallRestartScript(dev);
    dev.HWReset = true;
    dev.RestartCommand = "GARMINHOT";
    dev.TestCommand = "GARMINCOLD";
    dev.TickLimit = 10;
    StartRestartCommandScript(dev);
    timer.Tick();
    timer.Tick();
    EXPECT_EQ(link.RtsChanges, (std::vector<bool>{true, false}));
    EXPECT_EQ(dev.TestState, Idle);
    EXPECT_FALSE(dev.RestartScriptPending);
    EXPECT_EQ(link.Written, "");

    // The next test restarts the receiver with the test's own kind.
    dev.HWReset = false;
    DeviceTestMachine(dev, EvStart, platform::SystemClock::Instance().StampNow());
    timer.Tick();
    link.Written.clear();
    timer.Tick();
    EXPECT_EQ(link.Written, Block(GarminPacket(0x0A, {0x02, 0x02})));
}
