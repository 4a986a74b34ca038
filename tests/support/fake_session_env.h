#pragma once
// Recording stand-ins for the session engine's surroundings: clock, status
// bar, system log, folders, random numbers, prompts, script panel,
// report builders and program starts.
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "bench/session/session_ports.h"
#include "platform/core/clock.h"

namespace fakes {

// Local date-time and both millisecond clocks move together.
class FakeSessionClock : public platform::Clock {
public:
    explicit FakeSessionClock(double start_date = 46364.5) : start_(start_date) {}
    double Now() const override {
        return start_ + static_cast<double>(ms_ / 1000) / 86400.0;
    }
    int64_t UtcMs() const override { return utc0_ + ms_; }
    int64_t MonotonicMs() const override { return ms_; }
    void Advance(int64_t ms) { ms_ += ms; }

private:
    double start_;
    int64_t ms_ = 0;
    int64_t utc0_ = 1'700'000'000'000;
};

class FakeStatusBar : public bench::session::IStatusBar {
public:
    void StatusBarMessage(int16_t panel, const std::string& text) override {
        history.emplace_back(panel, text);
        panels[panel] = text;
    }
    bool Shown(int16_t panel, const std::string& text) const {
        for (const auto& h : history)
            if (h.first == panel && h.second == text) return true;
        return false;
    }
    std::vector<std::pair<int16_t, std::string>> history;
    std::map<int16_t, std::string> panels;
};

class FakeSystemLog : public bench::session::ISystemLog {
public:
    void WriteLine(const std::string& text) override { lines.push_back(text); }
    std::vector<std::string> lines;
};

class FakeFileSystem : public bench::session::IFileSystem {
public:
    bool MakeFolder(const std::string& path, std::string& error) override {
        made.push_back(path);
        if (failing.count(path)) {
            error = "permission denied";
            return false;
        }
        return true;
    }
    bool FileHasData(const std::string& path) override { return files_with_data.count(path) > 0; }
    std::string MapPath(const std::string& path) override { return "/mapped/" + path; }
    std::vector<std::string> made;
    std::set<std::string> failing;
    std::set<std::string> files_with_data;
};

// Returns the given values in turn, then the last one again.
class FakeRandom : public bench::session::IRandom {
public:
    double Next() override {
        if (values.empty()) return 0.0;
        const double v = values.front();
        if (values.size() > 1) values.pop_front();
        return v;
    }
    std::deque<double> values{0.0};
};

class FakeScheduler : public bench::session::IScheduler {
public:
    void SingleShot(int ms, std::function<void()> fn) override { pending.emplace_back(ms, std::move(fn)); }
    void RunAll() {
        auto p = std::move(pending);
        pending.clear();
        for (auto& f : p) f.second();
    }
    std::vector<std::pair<int, std::function<void()>>> pending;
};

class FakePrompter : public bench::session::IPrompter {
public:
    void Warn(const std::string& title, const std::string& text) override { warnings.emplace_back(title, text); }
    std::vector<std::pair<std::string, std::string>> warnings;
};

class FakeLauncher : public bench::session::IProcessLauncher {
public:
    std::string StartDetached(const std::string& program, const std::vector<std::string>& args) override {
        started.emplace_back(program, args);
        return ok ? std::string() : "not started";
    }
    bool ok = true;
    std::vector<std::pair<std::string, std::vector<std::string>>> started;
};

class FakeScriptPanel : public bench::session::IScriptPanel {
public:
    explicit FakeScriptPanel(std::vector<std::string>* calls) : calls_(calls) {}
    void SendMessagesFromFile(int16_t interval_ms, const std::string& file) override {
        Rec("SendMessagesFromFile(" + std::to_string(interval_ms) + "," + file + ")");
        sending_ticks = sending_for;
    }
    bool sendingFlag() override { return sending_ticks-- > 0; }
    void SendFromFile(const std::string& file) override { Rec("SendFromFile(" + file + ")"); }
    bool LoadScript(const std::string& file) override {
        Rec("LoadScript(" + file + ")");
        return existing.count(file) > 0;
    }
    void SetScriptName(const std::string& name) override { Rec("SetScriptName(" + name + ")"); }
    void ScriptRun() override {
        Rec("ScriptRun()");
        end_after_left = end_after;
    }
    bool GetScriptEndStatus() override { return end_after_left-- <= 0; }
    void ScriptStop() override { Rec("ScriptStop()"); }

    int sending_for = 2;
    int end_after = 1;
    std::set<std::string> existing;

private:
    void Rec(const std::string& s) {
        if (calls_) calls_->push_back("SCRIPT." + s);
    }
    std::vector<std::string>* calls_;
    int sending_ticks = 0;
    int end_after_left = 0;
};

class FakeReports : public bench::session::IReportBuilder {
public:
    void CreateReportSheet(const std::string& base, const std::string& test) override {
        calls.push_back("CreateReportSheet(" + base + "," + test + ")");
    }
    void ImportTestResults(const std::string& base, const std::string& test) override {
        calls.push_back("ImportTestResults(" + base + "," + test + ")");
    }
    std::vector<std::string> calls;
};

}  // namespace fakes
