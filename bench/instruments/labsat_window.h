#pragma once
// The LabSat window "LabSatMng" over its controller, and the one owner that
// makes both on first use and keeps them for the life of the program.
//
// Object names: "RemoteFlag" (Remote Control), "Frame2", "Combo1" (port
// number), "Command1" (Start/Stop of the port), "StatusBar1" with the panels
// "StatusBar1_1" and "StatusBar1_2", and the test buttons "SetBinTest",
// "SetStartTest", "SetAttTest", "StartTest", "StopTest".
#include <QPointer>

#include "platform/qt/bench_window.h"

#include <functional>
#include <memory>

#include "bench/instruments/labsat_control.h"

class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QPushButton;

namespace bench {

class LabSatMngWindow : public platform::BenchWindow {
    Q_OBJECT
public:
    LabSatMngWindow(LabSatMng& control, QWidget* parent = nullptr);
    void Redraw();

private:
    LabSatMng& control_;
    QCheckBox* remote_ = nullptr;
    QGroupBox* frame_ = nullptr;
    QComboBox* port_ = nullptr;
    QPushButton* open_ = nullptr;
    QLabel* panel1_ = nullptr;
    QLabel* panel2_ = nullptr;
};

// Reached by the session engine and the menu; makes the controller at the
// first operation and the window at the first Show.
class LabSatOwner final : public session::ILabSat {
public:
    using PortFactory = std::function<std::unique_ptr<platform::SerialLink>()>;
    LabSatOwner(QWidget* main_window, PortFactory make_port, LabSatMng::BackendFactory make_backend,
                LabSatMng::Report report);
    ~LabSatOwner() override;

    LabSatMng& Control();
    // Shows the window ("LabSat Management"), placed by the main window.
    LabSatMngWindow& Show();
    LabSatMngWindow* Window() const { return window_.data(); }
    bool Made() const { return control_ != nullptr; }

    bool LabSatSetBinFile(const std::string& file) override { return Control().LabSatSetBinFile(file); }
    bool LabSatSetAttenuation(int16_t value) override { return Control().LabSatSetAttenuation(value); }
    bool LabSatSetStartTime(int32_t seconds) override { return Control().LabSatSetStartTime(seconds); }
    bool LabSatSetStartReplay() override { return Control().LabSatSetStartReplay(); }
    bool LabSatSetStopReplay() override { return Control().LabSatSetStopReplay(); }
    std::string NotReadyReason() override { return Control().NotReadyReason(); }

private:
    QWidget* main_window_;
    PortFactory make_port_;
    LabSatMng::BackendFactory make_backend_;
    LabSatMng::Report report_;
    std::unique_ptr<LabSatMng> control_;
    QPointer<LabSatMngWindow> window_;
};

}  // namespace bench
