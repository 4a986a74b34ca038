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

namespace {

// An X server of its own on a display it picks; DISPLAY points there while
// the object lives.
class Xvfb {
public:
    bool Start(std::string& why) {
        const QString exe = QStandardPaths::findExecutable("Xvfb");
        if (exe.isEmpty()) {
            why = "Xvfb is not installed";
            return false;
        }
        proc_.start(exe, {"-displayfd", "1", "-screen", "0", "1024x768x24", "-nolisten", "tcp"});
        if (!proc_.waitForStarted(5000)) {
            why = "Xvfb did not start";
            return false;
        }
        std::string number;
        test::WaitFor([&] {
            number += proc_.readAllStandardOutput().toStdString();
            return number.find('\n') != std::string::npos;
        }, 10000);
        if (number.find('\n') == std::string::npos) {
            why = "Xvfb gave no display number";
            return false;
        }
        number.erase(number.find('\n'));
        if (const char* d = std::getenv("DISPLAY")) previous_ = d, had_previous_ = true;
        ::setenv("DISPLAY", (":" + number).c_str(), 1);
        return true;
    }
    ~Xvfb() {
        if (had_previous_)
            ::setenv("DISPLAY", previous_.c_str(), 1);
        else
            ::unsetenv("DISPLAY");
        if (proc_.state() != QProcess::NotRunning) {
            proc_.terminate();
            proc_.waitForFinished(5000);
        }
    }

private:
    QProcess proc_;
    std::string previous_;
    bool had_previous_ = false;
};

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
    Xvfb x;
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

}  // namespace
