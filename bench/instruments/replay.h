#pragma once
// Replay of recorded NMEA logs into device windows, second by second, all
// logs kept at the same UTC time: the replay window's controller without its
// widgets. The timeline is the first log's time index; a record number picks
// a second, and each log feeds that second's bytes into its own device window.
// Seconds are placed on each log's own timeline, days counted across each
// midnight, so logs that run through midnight or for days replay in order;
// logs are matched by time of day, taking their starts as less than half a
// day apart.
//
// Changes to the file list take effect at the next "Done": the player works
// on the set of logs, indexes and windows that "Done" made.
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "bench/devices/bench_host.h"
#include "bench/devices/device_ops.h"

namespace platform {
class Timer;
}

namespace bench {

class IndexProgress;
class ReplayTimeline;

// Makes, shows and closes the device windows a replay feeds. A window may be
// closed by someone else (the main window unloading): IsOpen says so.
class ReplayDeviceWindows {
public:
    virtual ~ReplayDeviceWindows() = default;
    virtual DeviceOps* MakeReplayWindow() = 0;
    virtual void ShowReplayWindow(DeviceOps* window) = 0;
    virtual void CloseReplayWindow(DeviceOps* window) = 0;
    virtual bool IsOpen(DeviceOps* window) const = 0;
};

// What replay windows see of the main window: its option marks, read live,
// and its status bar. A replayed log must leave the live session alone: it
// neither starts nor stops sessions, disables or restarts devices, nor moves
// the values the main window keeps for its receivers.
class ReplayHost final : public BenchHost {
public:
    explicit ReplayHost(BenchHost* live) : live_(live) {}
    bool GetTSMsgStatus() const override { return live_ && live_->GetTSMsgStatus(); }
    bool NmeaCRCChecked() const override { return live_ ? live_->NmeaCRCChecked() : true; }
    bool NTCChecked() const override { return live_ && live_->NTCChecked(); }
    bool GetCARSTestSessionStatus() const override { return false; }
    void StopTestSession() override {}
    void StartTestSession(const std::string&) override {}
    void TestingChangePrimaryLogFile(const std::string&) override {}
    void DeviceSetVersionString(int16_t, const std::string&) override {}
    void DeviceDisable(int16_t) override {}
    void RestartSingleDevice(int16_t) override {}
    void SetPCtoUTCDeltaTime(int32_t seconds) override { pc_to_utc_ = seconds; }
    int32_t GetPCtoUTCDeltaTime() const override { return pc_to_utc_; }
    void SetFixAvailableTime(double t) override { fix_time_ = t; }
    double FixAvailableTime() const override { return fix_time_; }
    int16_t MaxAcceptableTTFF() const override { return live_ ? live_->MaxAcceptableTTFF() : 300; }
    void StatusBarMessage(int16_t panel, const std::string& text) override {
        if (live_) live_->StatusBarMessage(panel, text);
    }

private:
    BenchHost* live_;
    int32_t pc_to_utc_ = 0;
    double fix_time_ = 0;
};

class Replay {
public:
    static constexpr int kMaxLogs = 11;
    static constexpr int kMinInterval = 100;  // ms per record
    static constexpr int kMaxInterval = 2000;
    // Carries failures to the system log and the status bar.
    using Report = std::function<void(const std::string&)>;

    // The window loads: empty list, file list shown, timer off at 1000 ms.
    Replay(ReplayDeviceWindows& windows, platform::Timer& timer, std::string program_folder, Report report);
    ~Replay();
    Replay(const Replay&) = delete;
    Replay& operator=(const Replay&) = delete;

    // --- file list ---
    // "Add ": asks for a log, then adds it.
    void Command3_Click();
    // Adds a chosen log; offers to build its index when there is none.
    void AddLog(const std::string& file);
    // "Remove": the line `selected` (0-based; -1 when none is selected).
    void Command5_Click(int selected);
    // "Done": sets up the replay of the listed logs.
    void Command6_Click();
    // "Cancel" and "File List".
    void Command8_Click();
    void Command7_Click();

    // --- player ---
    void Play_Click();
    void Stop_Click();
    void Back_Click();
    void Forward_Click();
    void ReplayTimer_Timer();
    // The record slider was moved to `value`; nothing when it did not change.
    void Slider1_Change(int value);
    // The speed slider: the timer's interval in ms.
    void Slider2_Change(int value);
    // The window was closed: playing stops.
    void WindowClosed();

    // Creates, names and places one device window per log of the set-up.
    void InitDevicesForReplay();

    // --- state the window shows ---
    const std::vector<std::string>& List1() const { return list_; }
    const std::vector<std::string>& ReplayIndexNames() const { return index_names_; }
    int16_t ReplayLogCount() const { return static_cast<int16_t>(index_names_.size()); }
    const std::string& LastReplayFile() const { return last_file_; }
    bool FileListShown() const { return file_list_shown_; }
    // A set-up exists: the player controls work.
    bool PlayerReady() const { return !setup_.empty(); }
    bool Playing() const;
    int Slider1Value() const { return slider1_; }
    int Slider1Min() const { return slider1_min_; }
    int Slider1Max() const { return slider1_max_; }
    int Slider2Value() const { return slider2_; }
    const std::string& Text3() const { return text3_; }
    // The windows of the set-up, in list order of the logs replayed.
    std::vector<DeviceOps*> ReplayDeviceWindowList() const;

    // Where an index being built shows its progress.
    void SetProgress(IndexProgress* progress) { progress_ = progress; }
    // The state changed: redraw.
    std::function<void()> onChange;
    // After "Done" the replay window takes the focus.
    std::function<void()> takeFocus;

private:
    struct Log {
        std::string file;
        std::string index;
        int16_t id = 0;  // line of the list at "Done"
        DeviceOps* window = nullptr;
        std::string last_error;  // reported once until it changes
        std::string status;      // what its window's status bar says of the second
        // The bytes fed last: a second that a later time still maps to (the
        // log has not begun yet, or is in a gap) is not fed again.
        int64_t fed_from = 0, fed_to = 0;
        // Its index as read at "Done", on the log's own timeline.
        std::shared_ptr<const ReplayTimeline> timeline;
    };
    bool BuildIndex(const std::string& file);
    static std::string NoTimeToReplayBy(const std::string& file);
    void SayWhetherRecorded(Log& log, int64_t second, int32_t found);
    bool EnsureIndex(const std::string& file, const std::string& index, bool ask);
    void CloseSetup();
    void Step(int value);
    void Warn(const std::string& text);
    void Changed();

    ReplayDeviceWindows& windows_;
    platform::Timer& timer_;
    Report report_;
    IndexProgress* progress_ = nullptr;

    std::vector<std::string> list_;
    std::vector<std::string> index_names_;
    std::string last_file_;
    std::vector<Log> setup_;
    bool file_list_shown_ = true;
    int slider1_ = 0, slider1_min_ = 0, slider1_max_ = 0;
    int slider2_ = 1000;
    std::string text3_;
};

}  // namespace bench
