// The external driver against a real program under a real X server (Xvfb):
// the program receives exactly the keys of the start-up sequence and of a
// numbered command, in its own widgets.
#include <QProcess>
#include <QStandardPaths>

#include <gtest/gtest.h>

#include <csignal>
#include <cstdlib>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "bench/instruments/ext_control.h"
#include "platform/core/clock.h"
#include "platform/process/keystrokes.h"
#include "platform/process/program_start.h"
#include "tests/support/qt_app.h"
#include "tests/support/xvfb.h"

namespace {

// What the stand-in program logs for a run of keys, from its own layout:
// a tab chain of eight (the field "Number", "Execute", "B2" .. "B7").
struct TargetModel {
    std::vector<std::string> chain{"Number", "Execute", "B2", "B3", "B4", "B5", "B6", "B7"};
    size_t pos = 0;
    std::string field;
    std::vector<std::string> log;
    void Tabs(int n) {
        for (int i = 0; i < n; ++i) {
            log.push_back("Tab @" + chain[pos]);
            pos = (pos + 1) % chain.size();
        }
    }
    void Enter() {
        log.push_back("Return @" + chain[pos]);
        if (pos == 1) log.push_back("execute " + field);
        if (pos > 1) log.push_back("pressed " + chain[pos]);
    }
    void Type(const std::string& text) {
        for (char c : text) {
            log.push_back(std::string(1, c) + " @" + chain[pos]);
            if (pos == 0) field += c;
        }
    }
};

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> out;
    std::istringstream in(text);
    for (std::string l; std::getline(in, l);) out.push_back(l);
    return out;
}

TEST(ExtControlX11, TheProgramReceivesExactlyTheStartUpAndCommandKeys) {
    test::EnsureApp();
    test::Xvfb x;
    std::string why;
    if (!x.Start(why)) GTEST_SKIP() << "needs an X server: " << why;

    test::TempHome home;
    const std::string log = home.File("keys.txt");
    std::unique_ptr<platform::KeystrokeSink> keys = platform::MakeKeystrokeSink();
    ASSERT_EQ(keys->Unavailable(), "");
    platform::QtTimer timer(100, false);
    std::vector<std::string> reports;
    bench::ExtControl ext(*keys, timer, platform::SystemClock::Instance(),
                          [](const std::string& p, const std::vector<std::string>& a) { return platform::StartProgram(p, a); },
                          [&](const std::string& r) { reports.push_back(r); });
    ext.SetProgramPath(std::string(KEY_TARGET_PROGRAM) + " -platform xcb --log \"" + log + "\"");
    ext.Command1_Click();
    ASSERT_GT(ext.ProgramId(), 0) << (reports.empty() ? "" : reports[0]);
    const int64_t pid = ext.ProgramId();
    struct Kill {
        int64_t pid;
        ~Kill() { ::kill(static_cast<pid_t>(pid), SIGTERM); }
    } kill_target{pid};

    EXPECT_TRUE(test::WaitFor([&] { return !timer.Enabled(); }, 15000)) << "start-up sequence";
    EXPECT_EQ(ext.Step(), 9);
    ext.ExecuteExtCommand("520");
    EXPECT_TRUE(test::WaitFor([&] { return !timer.Enabled(); }, 5000)) << "numbered command";
    EXPECT_TRUE(reports.empty()) << reports.front();

    TargetModel want;
    want.Tabs(16);
    want.Enter();
    want.Tabs(27);
    want.Enter();
    want.Tabs(13);
    want.Type("520");
    want.Tabs(1);
    want.Enter();
    want.Tabs(31);
    test::WaitFor([&] { return Lines(test::ReadFileBytes(log)).size() >= want.log.size(); }, 5000);
    test::Pump(200);  // nothing more may arrive
    const std::vector<std::string> got = Lines(test::ReadFileBytes(log));
    EXPECT_EQ(got, want.log);
    // The command reached the program's own field and button.
    EXPECT_NE(std::find(got.begin(), got.end(), "execute 520"), got.end());
}

// Windows destroyed while the driver walks the window tree (a dialog closing,
// a program ending elsewhere on the desktop) are passed over: the search
// goes on, finds the program's window, and the keys still reach it.
TEST(ExtControlX11, WindowsThatComeAndGoDuringTheSearchArePassedOver) {
    test::EnsureApp();
    test::Xvfb x;
    std::string why;
    if (!x.Start(why)) GTEST_SKIP() << "needs an X server: " << why;

    QProcess churn;
    churn.start(WINDOW_CHURN_PROGRAM, {});
    ASSERT_TRUE(churn.waitForStarted(5000));
    std::string said;
    ASSERT_TRUE(test::WaitFor([&] {
        said += churn.readAllStandardOutput().toStdString();
        return said.find("churning") != std::string::npos;
    }, 10000)) << "the windows never started to come and go";

    test::TempHome home;
    const std::string log = home.File("keys.txt");
    std::unique_ptr<platform::KeystrokeSink> keys = platform::MakeKeystrokeSink();
    ASSERT_EQ(keys->Unavailable(), "");
    const platform::StartedProgram target =
        platform::StartProgram(KEY_TARGET_PROGRAM, {"-platform", "xcb", "--log", log});
    ASSERT_TRUE(target.ok) << target.error;
    struct Kill {
        int64_t pid;
        ~Kill() { ::kill(static_cast<pid_t>(pid), SIGTERM); }
    } kill_target{target.pid};

    // Searched for again and again while its window is still being made.
    int searches = 0;
    ASSERT_TRUE(test::WaitFor([&] {
        ++searches;
        return keys->Activate(target.pid, why);
    }, 30000)) << why << " after " << searches << " searches";
    // Found every time from then on, whatever vanishes meanwhile.
    int found = 0;
    for (int i = 0; i < 100; ++i) found += keys->Activate(target.pid, why) ? 1 : 0;
    EXPECT_EQ(found, 100) << why;
    // The vanishing windows' own process, and a process with no window at all.
    for (int i = 0; i < 50; ++i) keys->Activate(static_cast<int64_t>(churn.processId()), why);
    EXPECT_FALSE(keys->Activate(0x7FFFFFF0, why));
    EXPECT_EQ(why, "no window of process " + std::to_string(0x7FFFFFF0));
    EXPECT_EQ(churn.state(), QProcess::Running) << "the windows kept coming and going throughout";

    ASSERT_TRUE(keys->Activate(target.pid, why)) << why;
    ASSERT_TRUE(keys->SendKey("Tab", 1));
    ASSERT_TRUE(test::WaitFor([&] { return !Lines(test::ReadFileBytes(log)).empty(); }, 5000));
    EXPECT_EQ(Lines(test::ReadFileBytes(log)), std::vector<std::string>{"Tab @Number"});
    churn.kill();
    churn.waitForFinished(5000);
}

}  // namespace
