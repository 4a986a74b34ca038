#pragma once
// A whole session engine over fake devices, a fake simulator and a fake
// clock; Run() ticks its timers until a condition holds.
#include <array>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "bench/session/fanout.h"
#include "bench/session/results_grid.h"
#include "bench/session/test_engine.h"
#include "platform/qt/bench_timer.h"
#include "tests/support/fake_device_window.h"
#include "tests/support/fake_session_env.h"
#include "tests/support/fake_simulator.h"

namespace sessiontest {

using namespace bench;
using namespace bench::session;

struct Harness {
    std::vector<std::string> calls;
    fakes::FakeSessionClock clock;
    fakes::FakeStatusBar status;
    fakes::FakeSystemLog log;
    fakes::FakeFileSystem files;
    fakes::FakePrompter prompter;
    fakes::FakeRandom random;
    fakes::FakeLauncher launcher;
    platform::ManualTimer testTimer{500}, chrsTimer{10}, scriptTimer{1000};
    fakes::FakeScheduler scheduler;
    fakes::FakeSimulator sim{&calls};
    fakes::FakeScriptPanel script{&calls};
    fakes::FakeReports reports;
    ResultsGrid grid;
    SessionServices services;
    BenchState state;
    std::unique_ptr<DeviceFanout> fanout_ptr;
    std::unique_ptr<TestEngine> engine_ptr;
    DeviceFanout& fanout;
    TestEngine& engine;
    SystemConfig cfg;
    std::array<std::unique_ptr<fakes::FakeDeviceWindow>, 4> nmea;
    std::array<std::unique_ptr<fakes::FakeDeviceWindow>, 4> debug;

    Harness() : fanout(Make()), engine(*engine_ptr) {
        for (auto& t : cfg.Tests) t.Enabled = FlagClear;
    }

    DeviceFanout& Make() {
        services.clock = &clock;
        services.status = &status;
        services.log = &log;
        services.files = &files;
        services.prompter = &prompter;
        services.random = &random;
        services.launcher = &launcher;
        services.results = &grid;
        services.testTimer = &testTimer;
        services.chrsTimer = &chrsTimer;
        services.scriptTimer = &scriptTimer;
        services.scheduler = &scheduler;
        services.simulator = &sim;
        services.script = &script;
        services.reports = &reports;
        fanout_ptr = std::make_unique<DeviceFanout>(state, services);
        engine_ptr = std::make_unique<TestEngine>(state, *fanout_ptr, services);
        return *fanout_ptr;
    }

    fakes::FakeDeviceWindow& AddDevice(int slot, const std::string& name, bool with_debug = false) {
        DeviceConfig& d = cfg.Devices[slot];
        d.DevEN = FlagSet;
        d.DName = name;
        d.LPath = "C:\\T";
        nmea[slot] = std::make_unique<fakes::FakeDeviceWindow>("N" + std::to_string(slot), &calls, &clock);
        state.NmeaWindows[slot] = nmea[slot].get();
        if (with_debug) {
            d.DebugEN = FlagSet;
            debug[slot] = std::make_unique<fakes::FakeDeviceWindow>("D" + std::to_string(slot), &calls, &clock);
            state.DebugWindows[slot] = debug[slot].get();
        }
        return *nmea[slot];
    }

    TestEntry& AddTest(int index, const std::string& type, int16_t trials, int16_t min_delay = 0,
                       int16_t max_delay = 0) {
        TestEntry& t = cfg.Tests[index];
        t.Enabled = FlagSet;
        t.Type = type;
        t.Trials = trials;
        t.MinDelay = min_delay;
        t.MaxDelay = max_delay;
        return t;
    }

    // Loads the configuration as the dialog's OK would.
    void Load() { engine.SystemConfigUpdate(cfg); }

    bool Start() {
        Load();
        return engine.StartSession();
    }

    // One round of the event loop: the clock moves by the state machine's
    // interval and every enabled timer fires once.
    void Tick() {
        clock.Advance(testTimer.Enabled() ? testTimer.Interval() : 100);
        testTimer.Tick();
        scriptTimer.Tick();
        chrsTimer.Tick();
        if (!scheduler.pending.empty()) scheduler.RunAll();
    }

    // Ticks until `done` holds; returns the ticks used, or -1 at the limit.
    int Run(const std::function<bool()>& done, int max_ticks = 200000) {
        for (int i = 0; i < max_ticks; ++i) {
            if (done()) return i;
            Tick();
        }
        return done() ? max_ticks : -1;
    }

    int RunToEnd(int max_ticks = 200000) {
        return Run([&] { return !engine.SessionRunning(); }, max_ticks);
    }

    // The calls whose text starts with `prefix`, in order.
    std::vector<std::string> Calls(const std::string& prefix) const {
        std::vector<std::string> out;
        for (const auto& c : calls)
            if (c.rfind(prefix, 0) == 0) out.push_back(c);
        return out;
    }
    // The calls that contain `what`, in order.
    std::vector<std::string> CallsWith(const std::string& what) const {
        std::vector<std::string> out;
        for (const auto& c : calls)
            if (c.find(what) != std::string::npos) out.push_back(c);
        return out;
    }
    // Position of the first call equal to `text` at or after `from`; -1 when absent.
    int IndexOf(const std::string& text, int from = 0) const {
        for (int i = from; i < static_cast<int>(calls.size()); ++i)
            if (calls[i] == text) return i;
        return -1;
    }
};

}  // namespace sessiontest
