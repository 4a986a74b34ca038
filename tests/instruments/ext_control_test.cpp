// The external-program driver stepped by hand: the key groups of a numbered
// command and of the start-up sequence, one per tick, and the refusals that
// keep keys out of any window but the started program's.
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "bench/instruments/ext_control.h"
#include "bench/instruments/ext_control_window.h"
#include "tests/support/fake_clock.h"
#include "tests/support/qt_app.h"

namespace {

using bench::ExtControl;

// Keys as a list of groups: "activate 4242", "Tab x31", "text 520".
class RecordingSink : public platform::KeystrokeSink {
public:
    std::vector<std::string> log;
    std::string unavailable;
    bool window_shown = true;
    bool sends_fail = false;

    std::string Unavailable() const override { return unavailable; }
    bool Activate(int64_t pid, std::string& why) override {
        if (!unavailable.empty()) {
            why = unavailable;
            return false;
        }
        if (!window_shown) {
            why = "no window of process " + std::to_string(pid);
            return false;
        }
        log.push_back("activate " + std::to_string(pid));
        return true;
    }
    bool SendKey(const std::string& key, int count) override {
        log.push_back(key + " x" + std::to_string(count));
        return !sends_fail;
    }
    bool TypeText(const std::string& text) override {
        log.push_back("text " + text);
        return !sends_fail;
    }
};

struct Rig {
    RecordingSink keys;
    platform::ManualTimer timer{100};
    test::FakeClock clock;
    std::vector<std::pair<std::string, std::vector<std::string>>> started;
    std::vector<std::string> reports;
    platform::StartedProgram result{true, 4242, ""};
    ExtControl ext{keys, timer, clock,
                   [this](const std::string& p, const std::vector<std::string>& a) {
                       started.emplace_back(p, a);
                       return result;
                   },
                   [this](const std::string& r) { reports.push_back(r); }};

    // Ticks 100 ms at a time while the timer runs; the number of ticks.
    int RunTimer(int limit = 1000) {
        int n = 0;
        while (timer.Enabled() && n < limit) {
            clock.Advance(100);
            timer.Tick();
            ++n;
        }
        return n;
    }
    void Connect() {
        ext.SetProgramPath("\"/opt/station tools/remote.exe\" -c 3");
        ext.Command1_Click();
    }
};

TEST(ExtControl, ConnectStartsTheProgramWithoutAShellAndRunsTheStartUpSequence) {
    Rig rig;
    rig.Connect();
    ASSERT_EQ(rig.started.size(), 1u);
    EXPECT_EQ(rig.started[0].first, "/opt/station tools/remote.exe");
    EXPECT_EQ(rig.started[0].second, (std::vector<std::string>{"-c", "3"}));
    EXPECT_EQ(rig.ext.Label1(), "Extern Control ID : 4242");
    EXPECT_EQ(rig.ext.ProgramId(), 4242);
    EXPECT_EQ(rig.RunTimer(), 5) << "one key group per tick";
    const std::string a = "activate 4242";
    EXPECT_EQ(rig.keys.log, (std::vector<std::string>{a, "Tab x16", a, "Return x1", a, "Tab x27", a, "Return x1", a,
                                                      "Tab x13"}));
    EXPECT_EQ(rig.ext.Step(), 9);
}

TEST(ExtControl, ANumberedCommandIsTypedThenConfirmedThenTheFocusGoesBack) {
    Rig rig;
    rig.Connect();
    rig.RunTimer();
    rig.keys.log.clear();
    rig.ext.ExecuteExtCommand("520");
    EXPECT_TRUE(rig.keys.log.empty()) << "nothing at once";
    EXPECT_EQ(rig.RunTimer(), 4);
    const std::string a = "activate 4242";
    EXPECT_EQ(rig.keys.log, (std::vector<std::string>{a, "text 520", a, "Tab x1", a, "Return x1", a, "Tab x31"}));
    EXPECT_FALSE(rig.timer.Enabled());

    // A new command during a sequence starts over with its own number.
    rig.keys.log.clear();
    rig.ext.ExecuteExtCommand("510");
    rig.clock.Advance(100);
    rig.timer.Tick();
    rig.timer.Tick();
    rig.ext.ExecuteExtCommand("+1{TAB}");  // typed as it stands, no key notation
    rig.RunTimer();
    EXPECT_EQ(rig.keys.log, (std::vector<std::string>{a, "text 510", a, "Tab x1", a, "text +1{TAB}", a, "Tab x1", a,
                                                      "Return x1", a, "Tab x31"}));
}

TEST(ExtControl, SingleOperationsActivateTheProgramBeforeTheirKeys) {
    Rig rig;
    rig.Connect();
    rig.RunTimer();
    rig.keys.log.clear();
    rig.ext.JumpToPos(0);
    rig.ext.JumpToPos(-4);
    rig.ext.JumpToPos(3);
    rig.ext.SendExternCommand();
    rig.ext.JumpToSetCommandNumberStartup();
    rig.ext.Set510_Click();
    const std::string a = "activate 4242";
    EXPECT_EQ(rig.keys.log, (std::vector<std::string>{a, a, a, "Tab x3", a, "Return x1", a, "Tab x24", a,
                                                      "text 510"}));
    EXPECT_TRUE(rig.reports.empty());
}

TEST(ExtControl, NoKeyGoesAnywhereWhenTheProgramShowsNoWindow) {
    Rig rig;
    rig.keys.window_shown = false;
    rig.Connect();
    // The start-up sequence waits for the window, then gives up after 10 s.
    rig.RunTimer(99);
    EXPECT_TRUE(rig.timer.Enabled()) << "still waiting after 9.9 s";
    EXPECT_TRUE(rig.reports.empty());
    rig.RunTimer();
    EXPECT_FALSE(rig.timer.Enabled());
    EXPECT_TRUE(rig.keys.log.empty());
    ASSERT_EQ(rig.reports.size(), 1u);
    EXPECT_EQ(rig.reports[0], "Extern Control: no window of process 4242; key sequence stopped");
    EXPECT_EQ(rig.ext.Label1(), "External program window not found");

    // A window that opens late is still driven.
    rig.keys.window_shown = true;
    rig.ext.ExecuteExtCommand("7");
    rig.RunTimer();
    EXPECT_EQ(rig.keys.log.size(), 8u);

    rig.keys.window_shown = false;
    rig.reports.clear();
    rig.ext.Command2_Click();
    EXPECT_EQ(rig.reports, (std::vector<std::string>{"Extern Control: keys not sent: no window of process 4242"}));
}

TEST(ExtControl, CommandsBeforeAnyProgramAndFailedStartsSendNothing) {
    Rig rig;
    rig.ext.ExecuteExtCommand("520");
    EXPECT_FALSE(rig.timer.Enabled());
    rig.ext.PressCommandButton();
    EXPECT_TRUE(rig.keys.log.empty());
    EXPECT_EQ(rig.reports, (std::vector<std::string>{
                               "Extern Control: no program started; command 520 not sent",
                               "Extern Control: keys not sent: no program started (Connect first)"}));

    rig.reports.clear();
    rig.result = {false, 0, "program not found: remote.exe"};
    rig.ext.SetProgramPath("remote.exe");
    rig.ext.Command1_Click();
    EXPECT_EQ(rig.reports, (std::vector<std::string>{"Extern Control: the program was not started: program not found: remote.exe"}));
    EXPECT_EQ(rig.ext.Step(), 0);
    EXPECT_FALSE(rig.timer.Enabled());
}

TEST(ExtControl, WithoutAnXDisplayNothingIsStartedOrSent) {
    Rig rig;
    rig.keys.unavailable = "no X display (DISPLAY is not set)";
    rig.Connect();
    rig.ext.ExecuteExtCommand("520");
    rig.ext.SendExternCommand();
    EXPECT_TRUE(rig.started.empty());
    EXPECT_FALSE(rig.timer.Enabled());
    EXPECT_TRUE(rig.keys.log.empty());
    ASSERT_EQ(rig.reports.size(), 3u);
    EXPECT_EQ(rig.reports[0], "Extern Control: keystrokes cannot be sent here: no X display (DISPLAY is not set)");
}

TEST(ExtControl, KeysThatCannotBeSentStopTheSequence) {
    Rig rig;
    rig.Connect();
    rig.keys.sends_fail = true;
    EXPECT_EQ(rig.RunTimer(), 1);
    EXPECT_EQ(rig.ext.Step(), 0);
    EXPECT_EQ(rig.reports,
              (std::vector<std::string>{"Extern Control: the keys of step 5 could not be sent to process 4242; key sequence stopped"}));
}

TEST(ExtControlWindow, TheMenuToggleUnloadsTheWindowSoTheNextUseStartsAfresh) {
    test::EnsureApp();
    test::FakeClock clock;
    RecordingSink* sink = nullptr;
    std::vector<std::string> reports;
    int starts = 0;
    bench::ExtControlOwner owner(
        nullptr,
        [&] {
            auto s = std::make_unique<RecordingSink>();
            sink = s.get();
            return s;
        },
        clock,
        [&](const std::string&, const std::vector<std::string>&) {
            ++starts;
            return platform::StartedProgram{true, 900 + starts, ""};
        },
        [&](const std::string& r) { reports.push_back(r); });
    owner.UseTimer([] { return std::make_unique<platform::ManualTimer>(100); });
    EXPECT_FALSE(owner.Made());

    owner.SetShown(true);
    bench::ExtControlWindow* w = owner.Window();
    ASSERT_NE(w, nullptr);
    EXPECT_TRUE(w->isVisible());
    w->findChild<QLineEdit*>("Text1")->setText("/usr/bin/station");
    w->findChild<QPushButton*>("Command1")->click();
    EXPECT_EQ(w->findChild<QLabel*>("Label1")->text(), "Extern Control ID : 901");
    w->findChild<QPushButton*>("Command2")->click();
    EXPECT_EQ(sink->log, (std::vector<std::string>{"activate 901", "Return x1"}));

    owner.SetShown(false);
    EXPECT_EQ(owner.Window(), nullptr);
    EXPECT_FALSE(owner.Made());
    // A script's command after the unload reaches a fresh driver that has
    // no program yet.
    owner.ExecuteExtCommand("520");
    EXPECT_TRUE(owner.Made());
    EXPECT_EQ(owner.Control().ProgramId(), 0);
    EXPECT_EQ(owner.Control().ProgramPath(), "");
    EXPECT_EQ(reports.back(), "Extern Control: no program started; command 520 not sent");
}

}  // namespace
