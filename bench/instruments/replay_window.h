#pragma once
// The replay window "Log Files Replay" over its controller, and the one owner
// that makes both on first use and keeps them for the life of the program.
//
// Object names: the file list "Frame1" with "List1", "Command3" (Add),
// "Command5" (Remove), "Command6" (Done), "Command8" (Cancel) and
// "ProgressBar1"; the player "Frame2" with "Play", "Stop", "Back" (<),
// "Forward" (>), "Slider1" (record), "Slider2" (ms per record), "Text3" (UTC
// time) and "Command7" (File List).
#include <QPointer>

#include "platform/qt/bench_window.h"

#include <functional>
#include <map>
#include <memory>

#include "bench/instruments/replay.h"
#include "bench/instruments/replay_index.h"

class QGroupBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QProgressBar;
class QPushButton;
class QSlider;

namespace platform {
class QtTimer;
}

namespace bench {

class ReplayWindow : public platform::BenchWindow, private IndexProgress {
    Q_OBJECT
public:
    explicit ReplayWindow(Replay& control, QWidget* parent = nullptr);
    ~ReplayWindow() override;
    void Redraw();

protected:
    void closeEvent(QCloseEvent* event) override;
    std::string CloseQuestion() const override;

private:
    // The progress bar while an index is built; it is repainted at once,
    // since the build runs before the event loop gets control back.
    void SetRange(int64_t minimum, int64_t maximum) override;
    void SetValue(int64_t value) override;
    void SetVisible(bool visible) override;
    template <class F>
    void Handle(const char* name, F&& body) noexcept;

    Replay& control_;
    int64_t progress_scale_ = 1;
    QGroupBox* frame1_ = nullptr;
    QGroupBox* frame2_ = nullptr;
    QListWidget* list_ = nullptr;
    QProgressBar* progress_ = nullptr;
    QPushButton* play_ = nullptr;
    QPushButton* stop_ = nullptr;
    QPushButton* back_ = nullptr;
    QPushButton* forward_ = nullptr;
    QSlider* slider1_ = nullptr;
    QSlider* slider2_ = nullptr;
    QLineEdit* text3_ = nullptr;
    QLabel* interval_ = nullptr;  // the speed in words
};

// A device window made for a replay: the widget to show and its operations.
struct ReplayWindowMade {
    QWidget* widget = nullptr;
    DeviceOps* ops = nullptr;
};

class ReplayOwner final : public ReplayDeviceWindows {
public:
    // `make` makes a device window reporting to the given host (placed in the
    // main window's workspace by the caller when it has one); `live_host` is
    // the main window's, whose options the replay windows follow.
    using MakeWindow = std::function<ReplayWindowMade(BenchHost& host)>;
    ReplayOwner(QWidget* main_window, BenchHost* live_host, MakeWindow make, Replay::Report report);
    ~ReplayOwner() override;

    Replay& Control();
    // Shows the window ("Log Files Replay"), placed by the main window.
    ReplayWindow& Show();
    ReplayWindow* Window() const { return window_.data(); }
    bool Made() const { return control_ != nullptr; }

    DeviceOps* MakeReplayWindow() override;
    void ShowReplayWindow(DeviceOps* window) override;
    void CloseReplayWindow(DeviceOps* window) override;
    bool IsOpen(DeviceOps* window) const override;
    // The widget of a replay device window (null once closed).
    QWidget* WidgetOf(DeviceOps* window) const;

private:
    QWidget* main_window_;
    ReplayHost host_;
    MakeWindow make_;
    Replay::Report report_;
    std::map<DeviceOps*, QPointer<QWidget>> widgets_;
    std::unique_ptr<platform::QtTimer> timer_;
    std::unique_ptr<Replay> control_;
    QPointer<ReplayWindow> window_;
};

}  // namespace bench
