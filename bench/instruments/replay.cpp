#include "bench/instruments/replay.h"

#include <algorithm>
#include <exception>
#include <filesystem>

#include "bench/devices/device_paths.h"
#include "bench/devices/system_log.h"
#include "bench/devices/timing.h"
#include "bench/instruments/command_panel.h"
#include "bench/instruments/replay_index.h"
#include "platform/core/error.h"
#include "platform/qt/bench_timer.h"
#include "platform/ui/prompts.h"

namespace bench {

namespace {

constexpr const char* kPattern = "$GPGGA";
// The logs the open dialog offers: a receiver's log is named as its logger
// likes, and any file may be one.
constexpr const char* kLogFilter = "NMEA logs (*.txt *.log *.nmea);;All files (*)";
// The most a log's last second feeds: far more than any receiver writes in
// a second, and fed in a moment.
constexpr int64_t kLastSecondBytes = 64 * 1024;

std::string ErrorText(const std::exception_ptr& e) {
    PendingError p = ErrorOf(e);
    return p.Description;
}

// The folder the open dialog starts in.
std::string DialogFolder(const std::string& last) {
    std::error_code ec;
    if (std::filesystem::is_directory(last, ec)) return last;
    return std::filesystem::path(last).parent_path().string();
}

}  // namespace

Replay::Replay(ReplayDeviceWindows& windows, platform::Timer& timer, std::string program_folder, Report report)
    : windows_(windows), timer_(timer), report_(std::move(report)), last_file_(std::move(program_folder)) {
    timer_.SetEnabled(false);
    timer_.SetInterval(slider2_);
    timer_.SetTickHandler([this] { ReplayTimer_Timer(); });
}

Replay::~Replay() {
    timer_.SetEnabled(false);
    timer_.SetTickHandler(nullptr);
    CloseSetup();
}

void Replay::Changed() {
    if (onChange) onChange();
}

void Replay::Warn(const std::string& text) { platform::Prompts::Instance().Inform(text, "WARNING", platform::Icon::Warning); }

// --- file list ---

void Replay::Command3_Click() {
    if (list_.size() >= kMaxLogs) {
        // The replay keeps at most this many windows side by side.
        Warn("At most " + std::to_string(kMaxLogs) + " logs can be replayed together.");
        return;
    }
    const std::string f =
        platform::Prompts::Instance().OpenFileName("Open", DialogFolder(last_file_), kLogFilter);
    if (f.empty()) return;
    AddLog(f);
}

void Replay::AddLog(const std::string& file) {
    if (list_.size() >= kMaxLogs) {
        Warn("At most " + std::to_string(kMaxLogs) + " logs can be replayed together.");
        return;
    }
    const std::string index = ReplayIndexName(file);
    if (index == file) {
        // Building it would write the index over the log itself.
        Warn("The file " + file + " is named as a time index: it cannot be replayed.");
        return;
    }
    last_file_ = file;
    list_.push_back(file);
    index_names_.push_back(index);
    Changed();
    if (EnsureIndex(file, index, true) && ReadIndexCount(index) == 0) Warn(file + " has " + NoTimeToReplayBy(file) + ".");
    Changed();
}

// Why a log whose index holds no record cannot be replayed, naming the
// talker its fixes come from when that is not the one the index reads.
std::string Replay::NoTimeToReplayBy(const std::string& file) {
    const std::string others = OtherGgaTalkers(file, kPattern);
    std::string text = std::string("no time to replay by: it holds no ") + kPattern + " sentence with a time";
    if (!others.empty()) text += " (its fixes are " + others + " sentences)";
    return text;
}

// True when the log has a usable index afterwards. A missing index is built
// when the user agrees; a damaged or outdated one is rebuilt, since its
// positions no longer match the log.
bool Replay::EnsureIndex(const std::string& file, const std::string& index, bool ask) {
    switch (CheckTimeIndex(file, index)) {
        case IndexCheck::Current:
            return true;
        case IndexCheck::Missing: {
            if (!ask) return false;
            const platform::Answer a = platform::Prompts::Instance().Ask(
                "The " + index + " file is not available. Do you want to create it?", platform::Buttons::YesNo,
                "Warning", platform::Icon::Warning);
            if (a != platform::Answer::Yes) return false;
            return BuildIndex(file);
        }
        case IndexCheck::Damaged:
            report_("The time index " + index + " is damaged: rebuilding it");
            return BuildIndex(file);
        case IndexCheck::Stale:
            report_("The time index " + index + " is older than its log: rebuilding it");
            return BuildIndex(file);
    }
    return false;
}

bool Replay::BuildIndex(const std::string& file) {
    try {
        const TimeIndexBuild b = BuildTimeIndex(file, kPattern, progress_);
        if (b.Truncated) {
            Warn("The log " + file + " is longer than its time index can address: only its first 4 GiB replay.");
        }
        return true;
    } catch (...) {
        const std::string text = ErrorText(std::current_exception());
        report_(text);
        Warn(text);
        return false;
    }
}

void Replay::Command5_Click(int selected) {
    if (selected < 0 || selected >= static_cast<int>(list_.size())) return;
    instruments::CommandPanel::ListRemove(list_, static_cast<int16_t>(selected));
    instruments::CommandPanel::ListRemove(index_names_, static_cast<int16_t>(selected));
    Changed();
}

void Replay::Command6_Click() {
    if (list_.empty()) {
        Warn("Add the logs to replay first.");
        return;
    }
    // Each log needs an index with at least one second in it; a log without
    // one is left out and said so, the others still replay.
    std::vector<Log> logs;
    std::string left_out;
    for (size_t i = 0; i < list_.size(); ++i) {
        const std::string& f = list_[i];
        const std::string& x = index_names_[i];
        if (!EnsureIndex(f, x, true)) {
            left_out += "\n" + f + " (no time index)";
            continue;
        }
        auto timeline = std::make_shared<const ReplayTimeline>(x);
        if (timeline->Count() == 0) {
            left_out += "\n" + f + " (" + NoTimeToReplayBy(f) + ")";
            continue;
        }
        Log log;
        log.file = f;
        log.index = x;
        log.id = static_cast<int16_t>(i);
        log.timeline = std::move(timeline);
        logs.push_back(std::move(log));
    }
    if (!left_out.empty()) Warn("These logs are not replayed:" + left_out);
    if (logs.empty()) {
        Changed();
        return;
    }

    // The windows of an earlier set-up would go on decoding and writing
    // their C/N0 logs beside the logs: they go first.
    timer_.SetEnabled(false);
    CloseSetup();
    setup_ = std::move(logs);
    file_list_shown_ = false;
    slider1_min_ = 1;
    slider1_max_ = setup_[0].timeline->Count();
    slider1_ = 0;
    InitDevicesForReplay();
    // The windows start at the first second of the first log.
    Step(1);
    Changed();
    if (takeFocus) takeFocus();
}

void Replay::Command8_Click() {
    file_list_shown_ = false;
    Changed();
}

void Replay::Command7_Click() {
    file_list_shown_ = true;
    Changed();
}

void Replay::InitDevicesForReplay() {
    for (size_t i = 0; i < setup_.size(); ++i) {
        Log& log = setup_[i];
        DeviceOps* w = windows_.MakeReplayWindow();
        log.window = w;
        w->SetDeviceType(0);
        w->SetDeviceName(log.file);
        w->SetDeviceID(log.id);
        // Two columns: 0 and 1 in the first row, 2 and 3 in the second ...
        if (i % 2 == 0) {
            w->DeviceSetTop(static_cast<float>(w->DeviceGetHeight()) * static_cast<float>(i / 2));
            w->DeviceSetLeft(0);
        } else {
            DeviceOps* left = setup_[i - 1].window;
            w->DeviceSetTop(static_cast<float>(left->DeviceGetTop()));
            w->DeviceSetLeft(static_cast<float>(left->DeviceGetWidth()));
        }
        windows_.ShowReplayWindow(w);
        // With the satellite table and position panel in view, as a live receiver's.
        w->DeviceEnableDataDecoding();
        w->DeviceSetPrimaryLogFileBaseName(log.file.substr(0, log.file.size() >= 4 ? log.file.size() - 4 : 0));
        w->DeviceEnableCN0Logging(-1);
    }
}

void Replay::CloseSetup() {
    for (Log& log : setup_) {
        if (log.window && windows_.IsOpen(log.window)) windows_.CloseReplayWindow(log.window);
        log.window = nullptr;
    }
    setup_.clear();
}

// --- player ---

bool Replay::Playing() const { return timer_.Enabled(); }

void Replay::Play_Click() {
    if (!PlayerReady()) return;
    timer_.SetEnabled(true);
    Changed();
}

void Replay::Stop_Click() {
    timer_.SetEnabled(false);
    Changed();
}

void Replay::WindowClosed() { Stop_Click(); }

void Replay::Back_Click() {
    if (PlayerReady() && slider1_ > slider1_min_) Slider1_Change(slider1_ - 1);
}

void Replay::Forward_Click() {
    if (PlayerReady() && slider1_ < slider1_max_) Slider1_Change(slider1_ + 1);
}

void Replay::ReplayTimer_Timer() {
    if (PlayerReady() && slider1_ < slider1_max_) Slider1_Change(slider1_ + 1);
}

void Replay::Slider1_Change(int value) {
    if (!PlayerReady()) return;
    value = std::clamp(value, slider1_min_, slider1_max_);
    if (value == slider1_) return;
    Step(value);
    Changed();
}

void Replay::Slider2_Change(int value) {
    value = std::clamp(value, kMinInterval, kMaxInterval);
    if (value == slider2_) return;
    slider2_ = value;
    timer_.SetInterval(value);
    Changed();
}

// Every log replays the second of record `value` of the first log: the
// same second of the day, on the day of each log that matches the first
// log's timeline.
void Replay::Step(int value) {
    slider1_ = value;
    const ReplayTimeline& first = *setup_[0].timeline;
    const int64_t at = first.Seconds(value);
    text3_ = MakeTimeStringFromSeconds(SecondsOfDay(first.Record(value).Time));
    for (Log& log : setup_) {
        if (!log.window || !windows_.IsOpen(log.window)) continue;
        try {
            const ReplayTimeline& own = *log.timeline;
            // Where this log's start lies from the first log's, within half a day.
            int64_t offset = (first.FirstSecondOfDay() - own.FirstSecondOfDay()) % 86400;
            if (offset >= 43200) offset -= 86400;
            if (offset < -43200) offset += 86400;
            const int64_t second = at + offset;
            const int32_t n = own.Count();
            const int32_t k = own.Find(second);
            SayWhetherRecorded(log, second, k);
            const int64_t pos = own.Record(k).Position;
            int64_t next = pos;
            if (k < n) {
                next = own.Record(k + 1).Position;
            } else if (own.Seconds(k) == second) {
                // The last record, only when it is this very second, so a
                // finished log does not repeat its tail while the others go
                // on; and no more of the log than one second's worth.
                next = LastSecondEnd(log.file, pos, kPattern, kLastSecondBytes);
            }
            if (pos == log.fed_from && next == log.fed_to) continue;
            log.window->DeviceReplayFile(log.file, pos, next);
            log.fed_from = pos;
            log.fed_to = next;
            log.last_error.clear();
        } catch (...) {
            const std::string text = "Log Files Replay: " + log.file + ": " + ErrorText(std::current_exception());
            if (text != log.last_error) report_(text);
            log.last_error = text;
        }
    }
}

// A window whose log has no record for the second the timeline stands at
// still shows an earlier (or later) one: its status bar says so until the
// log has the second.
void Replay::SayWhetherRecorded(Log& log, int64_t second, int32_t found) {
    const ReplayTimeline& own = *log.timeline;
    std::string text;
    if (own.Seconds(found) != second) {
        const auto time_of = [&](int64_t s) {
            return MakeTimeStringFromSeconds(static_cast<int32_t>(((own.FirstSecondOfDay() + s) % 86400 + 86400) % 86400));
        };
        text = "No record for " + time_of(second) + " in this log";
        if (second < 0)
            text += " (it starts at " + time_of(0) + ")";
        else if (second > own.Seconds(own.Count()))
            text += " (it ends at " + time_of(own.Seconds(own.Count())) + ")";
    }
    if (text == log.status) return;
    log.status = text;
    log.window->DeviceSetReplayStatus(text);
}

std::vector<DeviceOps*> Replay::ReplayDeviceWindowList() const {
    std::vector<DeviceOps*> out;
    for (const Log& log : setup_)
        if (log.window && windows_.IsOpen(log.window)) out.push_back(log.window);
    return out;
}

}  // namespace bench
