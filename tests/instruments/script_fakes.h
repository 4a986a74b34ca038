#pragma once
// The script panel's neighbours as recorders: every call the panel makes is
// written down as "Name(arg,arg)" in one shared list, in order, so a test
// compares what a line did with what it should do.
#include <cstdint>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "bench/instruments/command_panel.h"
#include "platform/core/numtext.h"
#include "platform/qt/bench_timer.h"
#include "tests/support/fake_clock.h"
#include "tests/support/fake_session_env.h"

namespace script_test {

using Calls = std::vector<std::string>;

inline std::string N(double v) { return platform::NumberToText(v); }

class FakeBench : public bench::instruments::ScriptBench {
public:
    explicit FakeBench(Calls& c) : c_(c) {}
    void SendCommandToDevices(const std::string& s) override { R("SendCommandToDevices(" + s + ")"); }
    void SendChrsCommandToDevices(int16_t ms, const std::string& s) override {
        R("SendChrsCommandToDevices(" + N(ms) + "," + s + ")");
    }
    void SwitchRTSSignalOnDevices(uint8_t a, uint8_t b) override {
        R("SwitchRTSSignalOnDevices(" + N(a) + "," + N(b) + ")");
    }
    void SendMessageOnSerialPort(int16_t p, const std::string& s) override {
        R("SendMessageOnSerialPort(" + N(p) + "," + s + ")");
    }
    void SendChrToDevices(const std::string& s) override { chars += s; }
    void DeviceSendMessage(const std::string& s) override { messages.push_back(s); }
    bool CheckSimulatorStatusEnd() override {
        R("CheckSimulatorStatusEnd()");
        return simEnded;
    }
    void ExecuteSimulatorRestart() override { R("ExecuteSimulatorRestart()"); }
    void AcquiringTestStartOnDevices() override { R("AcquiringTestStartOnDevices()"); }
    void DeviceSavePosPicture() override { R("DeviceSavePosPicture()"); }
    void SetMaxAcceptableTTFFOnDevice(int16_t s) override { R("SetMaxAcceptableTTFFOnDevice(" + N(s) + ")"); }
    void ResetDiffAvailability() override { R("ResetDiffAvailability()"); }
    bool TestEndEvent() override { return testEnded; }
    bool DiffAvailableEvent() override { return diffAvailable; }
    void IncrementTestDataTestNumber() override { R("IncrementTestDataTestNumber()"); }
    void IncrementResultsTestNumber() override { R("IncrementResultsTestNumber()"); }
    void FixEventManagement() override { R("FixEventManagement()"); }
    void DiffONEventManagement() override { R("DiffONEventManagement()"); }
    double FixAvailableTime() override { return fixTime; }
    void InitLog(const std::string& p, const std::string& n) override { R("InitLog(" + p + "," + n + ")"); }
    void TestingChangeSecondaryLogFile(const std::string& n) override { R("TestingChangeSecondaryLogFile(" + n + ")"); }
    void StopLog() override { R("StopLog()"); }
    void MakeKML() override { R("MakeKML()"); }
    bool CheckDeviceEnabled(int16_t slot) override { return enabled.count(slot) > 0; }
    std::string GetDevicePrimaryLogFileName(int16_t slot) override {
        return slot >= 0 && slot < 4 ? logBase[static_cast<size_t>(slot)] : "";
    }
    std::string GetDeviceCurrentGGAString(int16_t slot) override { return "$GPGGA,slot" + N(slot) + "*00\r\n"; }

    bool simEnded = false;
    bool testEnded = false;
    bool diffAvailable = false;
    double fixTime = 0;
    std::set<int16_t> enabled{0, 2};
    std::array<std::string, 4> logBase{};
    std::string chars;                  // every byte of SendChrToDevices, in order
    std::vector<std::string> messages;  // every DeviceSendMessage
    // Runs inside the next call that is recorded (a click while a step runs).
    std::function<void()> during;

private:
    void R(std::string s) {
        c_.push_back(std::move(s));
        if (during) {
            auto f = std::move(during);
            during = nullptr;
            f();
        }
    }
    Calls& c_;
};

class FakeSimulator : public bench::session::ISimulator, public bench::instruments::ScriptSimulator {
public:
    explicit FakeSimulator(Calls& c) : c_(c) {}
    void SimRestart(double a, int16_t b, double c, int16_t d, int16_t e, int16_t f, double g, bool h) override {
        R("SimRestart(" + N(a) + "," + N(b) + "," + N(c) + "," + N(d) + "," + N(e) + "," + N(f) + "," + N(g) + "," +
          (h ? "true" : "false") + ")");
    }
    bool IsSimMngCompleted() override { return completed; }
    int16_t GetSimStatus() override { return 0; }
    void Start_Command_Click() override {}
    void SimShow() override { R("SimShow()"); }
    void SimConnect(const std::string& h, const std::string& p) override { R("SimConnect(" + h + "," + p + ")"); }
    void SimLoadScenario(const std::string& p) override { R("SimLoadScenario(" + p + ")"); }
    void SimStartScenario() override { R("SimStartScenario()"); }
    void SimStopScenario() override { R("SimStopScenario()"); }
    void SimRewindScenario() override { R("SimRewindScenario()"); }
    void SimSetPower(double v) override { R("SimSetPower(" + N(v) + ")"); }
    void SimIncreasePower(double v) override { R("SimIncreasePower(" + N(v) + ")"); }
    void SimDecreasePower(double v) override { R("SimDecreasePower(" + N(v) + ")"); }
    void SimSetSatPower(int16_t s, double v) override { R("SimSetSatPower(" + N(s) + "," + N(v) + ")"); }
    void SimIncreaseSatPower(int16_t s, double v) override { R("SimIncreaseSatPower(" + N(s) + "," + N(v) + ")"); }
    void SimDecreaseSatPower(int16_t s, double v) override { R("SimDecreaseSatPower(" + N(s) + "," + N(v) + ")"); }
    void SimSetChPower(const std::string& t, int16_t c, double v) override {
        R("SimSetChPower(" + t + "," + N(c) + "," + N(v) + ")");
    }
    void SimIncreaseChPower(int16_t c, double v) override { R("SimIncreaseChPower(" + N(c) + "," + N(v) + ")"); }
    void SimDecreaseChPower(int16_t c, double v) override { R("SimDecreaseChPower(" + N(c) + "," + N(v) + ")"); }
    void SimTurnSatONOFF(int16_t s, int16_t o) override { R("SimTurnSatONOFF(" + N(s) + "," + N(o) + ")"); }
    void SimTurnChONOFF(const std::string& t, int16_t c, int16_t o) override {
        R("SimTurnChONOFF(" + t + "," + N(c) + "," + N(o) + ")");
    }
    void SimTurnAllONOFF(const std::string& t, int16_t o) override { R("SimTurnAllONOFF(" + t + "," + N(o) + ")"); }

    bool completed = false;

private:
    void R(std::string s) { c_.push_back(std::move(s)); }
    Calls& c_;
};

class FakeExternal : public bench::session::IExternalControl {
public:
    explicit FakeExternal(Calls& c) : c_(c) {}
    void SendExternCommand() override { c_.push_back("SendExternCommand()"); }
    void ExecuteExtCommand(const std::string& n) override { c_.push_back("ExecuteExtCommand(" + n + ")"); }

private:
    Calls& c_;
};

class FakeResults : public bench::instruments::ScriptResults {
public:
    explicit FakeResults(Calls& c) : c_(c) {}
    void AddLineLable(int16_t l, const std::string& t) override { c_.push_back("AddLineLable(" + N(l) + "," + t + ")"); }

private:
    Calls& c_;
};

// A panel with recording neighbours, hand-stepped timers and a fake clock.
struct Rig {
    Calls calls;
    test::FakeClock clock;
    FakeBench bench{calls};
    FakeSimulator sim{calls};
    FakeExternal external{calls};
    FakeResults results{calls};
    fakes::FakeSystemLog log;
    fakes::FakeLauncher launcher;
    fakes::FakeRandom random;
    platform::ManualTimer scriptTimer, lineTimer, byteTimer;
    std::vector<std::pair<std::string, std::string>> informed;
    std::unique_ptr<bench::instruments::CommandPanel> panel;

    explicit Rig(std::string folder = "/nonexistent") {
        bench::instruments::ScriptPanelServices s;
        s.clock = &clock;
        s.bench = &bench;
        s.simulator = &sim;
        s.simulatorScript = &sim;
        s.external = &external;
        s.results = &results;
        s.log = &log;
        s.launcher = &launcher;
        s.random = &random;
        s.programFolder = std::move(folder);
        s.scriptTimer = &scriptTimer;
        s.lineTimer = &lineTimer;
        s.byteTimer = &byteTimer;
        s.inform = [this](const std::string& t, const std::string& x) { informed.emplace_back(t, x); };
        panel = std::make_unique<bench::instruments::CommandPanel>(std::move(s));
    }
    bench::instruments::CommandPanel& P() { return *panel; }
    // One tick of the stepper after `ms` of the clock.
    bool Tick(int64_t ms = 200) {
        clock.Advance(ms);
        return scriptTimer.Tick();
    }
    bool LogHas(const std::string& part) const {
        for (const auto& l : log.lines)
            if (l.find(part) != std::string::npos) return true;
        return false;
    }
};

}  // namespace script_test
