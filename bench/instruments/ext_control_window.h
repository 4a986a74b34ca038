#pragma once
// The external-program window "ExtControl" over its controller, and the one
// owner that makes them on first use and unloads them when the menu entry
// is cleared, so that the next use starts afresh.
//
// Object names: "Text1" (program and arguments), "Command1" (Connect),
// "Label1" (program id), "Command2" (Send), and the test buttons "SendTab",
// "SendCom", "Set520", "JumpToCom", "Set510", "Sartup".
#include <QPointer>
#include <QWidget>

#include <functional>
#include <memory>

#include "bench/instruments/ext_control.h"

class QLabel;
class QLineEdit;

namespace bench {

class ExtControlWindow : public QWidget {
    Q_OBJECT
public:
    ExtControlWindow(ExtControl& control, QWidget* parent = nullptr);
    void Redraw();
    // The window was closed (its close button): as clearing the menu entry.
    std::function<void()> onClosed;

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    ExtControl& control_;
    QLineEdit* path_ = nullptr;
    QLabel* label_ = nullptr;
};

class ExtControlOwner final : public session::IExternalControl {
public:
    using SinkFactory = std::function<std::unique_ptr<platform::KeystrokeSink>()>;
    ExtControlOwner(QWidget* main_window, SinkFactory make_sink, const platform::Clock& clock,
                    ExtControl::Starter start, ExtControl::Report report);
    ~ExtControlOwner() override;

    ExtControl& Control();
    ExtControlWindow& Show();
    // Window and controller go; program id, step and path start afresh.
    void Unload();
    // The menu entry "Extern Control" checked or cleared.
    // Told when the user closes the window itself, so the menu entry clears.
    std::function<void()> closedByUser;
    void SetShown(bool on) {
        if (on)
            Show();
        else
            Unload();
    }
    ExtControlWindow* Window() const { return window_.data(); }
    // What the controller reported no longer holds; also when it is unloaded.
    std::function<void()> settled;
    // Where the window opens (before it is shown); by default inside the
    // main window near its right edge.
    std::function<void(QWidget&)> place;
    bool Made() const { return control_ != nullptr; }
    // The controller's Timer1 (for tests that step it).
    platform::Timer* Timer1() const { return timer_.get(); }
    // Tests step Timer1 by hand when the owner is given one.
    void UseTimer(std::function<std::unique_ptr<platform::Timer>()> make_timer) { make_timer_ = std::move(make_timer); }

    void SendExternCommand() override { Control().SendExternCommand(); }
    void ExecuteExtCommand(const std::string& number) override { Control().ExecuteExtCommand(number); }

private:
    QWidget* main_window_;
    SinkFactory make_sink_;
    const platform::Clock& clock_;
    ExtControl::Starter start_;
    ExtControl::Report report_;
    std::function<std::unique_ptr<platform::Timer>()> make_timer_;
    std::unique_ptr<platform::KeystrokeSink> sink_;
    std::unique_ptr<platform::Timer> timer_;
    std::unique_ptr<ExtControl> control_;
    QPointer<ExtControlWindow> window_;
};

}  // namespace bench
