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

#include <array>

class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;

namespace bench::sim {

class SimMng;

class SimWindow final : public platform::BenchWindow {
    Q_OBJECT
public:
    SimWindow(SimMng& sim, QWidget* parent = nullptr);
    ~SimWindow() override;

    // Shows the controller's state (panels, boxes, frame caption).
    void Redraw();

private:
    template <class F>
    QPushButton* Button(const char* name, const char* caption, QWidget* parent, F&& body);

    SimMng& sim_;
    QGroupBox* frame1_ = nullptr;
    QComboBox* host_ = nullptr;
    QLineEdit* port_ = nullptr;
    QLineEdit* level_ = nullptr;       // Text7
    QLineEdit* auto_level_ = nullptr;  // Text10
    std::array<QLabel*, 3> panels_{};
};

}  // namespace bench::sim
