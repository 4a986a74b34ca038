#pragma once
// The simulator window: the operator's panel over the simulator controller.
// It owns only widgets: its buttons call the controller's operations and it
// redraws the controller's panels and boxes when they change.
//
// Object names: "Frame1" (host), "Combo1", "Text1", "Connect_Command";
// "Frame2" (simulation) with "Start_Command", "Stop_Command",
// "Status_Command", "Rewind_Command", "SetPower_Command",
// "AutoSetUp_Command", "Command1", "Text7", "Text10"; the status bar
// "StatusBar1" with "StatusBar1_1" .. "StatusBar1_3".
#include "platform/qt/bench_window.h"

#include <QElapsedTimer>

#include <array>

class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QTimer;

namespace bench::sim {

class SimMng;

class SimWindow final : public platform::BenchWindow {
    Q_OBJECT
public:
    SimWindow(SimMng& sim, QWidget* parent = nullptr);
    ~SimWindow() override;

    // Shows the controller's state (panels, boxes, frame caption).
    void Redraw();

    // The controller's changes are shown at the next turn of the event
    // loop, and while they keep coming (a flood of replies changes the
    // panels thousands of times a second) at most once per this many ms:
    // what a person can read, not what a screen could repaint.
    static constexpr int kRedrawGapMs = 40;

private:
    void RedrawSoon();
    template <class F>
    QPushButton* Button(const char* name, const char* caption, QWidget* parent, F&& body);

    SimMng& sim_;
    QGroupBox* frame1_ = nullptr;
    QComboBox* host_ = nullptr;
    QLineEdit* port_ = nullptr;
    QLineEdit* level_ = nullptr;       // Text7
    QLineEdit* auto_level_ = nullptr;  // Text10
    std::array<QLabel*, 3> panels_{};
    QTimer* redraw_ = nullptr;
    QElapsedTimer redrawn_;  // since the last redraw
};

}  // namespace bench::sim
