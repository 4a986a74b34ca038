#pragma once
// The four small windows of the bench: the NCO range settings of one device
// slot, the reference antenna coordinates, the task monitor and the about
// box. Each is created once by its owner and kept.
//
// Object names: every control carries its design name; a member of a
// control array carries the name, "_" and its index ("Text1_3",
// "Command1_1").
#include <QDialog>
#include <QWidget>

#include "platform/qt/bench_window.h"

#include <array>
#include <cstdint>
#include <string>

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;

namespace bench {

// Receives the values confirmed in the NCO settings (the configuration
// dialog's working copy).
class NcoParametersSink {
public:
    virtual ~NcoParametersSink() = default;
    virtual void BadNCOParametersSetting(int device, int32_t start, int32_t max, int32_t step,
                                         const std::string& command) = 0;
};

// "NCO Range Settings": Min NCO, Max NCO, Step and Command of one slot.
class NCOSettings : public QDialog {
    Q_OBJECT
public:
    explicit NCOSettings(NcoParametersSink& sink, QWidget* parent = nullptr);

    // Shows the values of `device` (slot 0 to 3); `command` is Windows-1252.
    void DisplyNCOPar(int16_t device, int32_t start, int32_t max, int32_t step,
                      const std::string& command);
    // 0 confirms (the three numbers rounded halves to even); any index then
    // closes. Numbers that are not numbers or do not fit 32 bits are refused
    // with a warning and the window stays open.
    void Command1_Click(int index);
    void NCOWindowSetPos(int32_t a, int32_t b);
    int16_t Device() const { return device_; }

private:
    NcoParametersSink& sink_;
    int16_t device_ = 0;
    std::array<QLineEdit*, 4> text1_{};
};

// Reference antenna position for the position-error reports.
struct AntennaPosition {
    // Latitude then longitude: degrees (a sign allowed), minutes, digits
    // after the minutes' decimal point, as typed.
    std::array<std::string, 6> parts;
    bool use = false;  // the reports use this position
    // The hemisphere chosen for each: "N" or "S", "E" or "W"; "" for none.
    std::array<std::string, 2> hemispheres;
};

// "Antenna Position": six boxes "Text1".."Text6" (latitude whole degrees,
// a sign allowed, whole minutes and the digits after the minutes' decimal
// point, then the same for the longitude), the hemisphere of each in
// "Hemisphere_0" (blank, N, S) and "Hemisphere_1" (blank, E, W), check box
// "Check1" ("Validate": the reports use this position), "Command2" (preset
// site) and "Command1" ("submit": checks a typed position, hands it on,
// then hides; the values stay). Tab follows reading order; Enter presses the
// button that has the focus, and "submit" from anywhere else.
class Coords : public platform::BenchWindow {
    Q_OBJECT
public:
    explicit Coords(QWidget* parent = nullptr);
    void Command1_Click();
    void Command2_Click();
    // What the report builders read.
    AntennaPosition Position() const;
    // Shows a stored position in the boxes.
    void SetPosition(const AntennaPosition& p);
    // The preset site that Command2 fills in.
    static const AntennaPosition& PresetSite();

signals:
    // A position was submitted: the owner keeps it.
    void Submitted(const bench::AntennaPosition& position);

private:
    std::array<QLineEdit*, 6> text_{};
    std::array<QComboBox*, 2> hemisphere_{};
    QCheckBox* check1_ = nullptr;
};

// "Task Monitor": a frame counter that nothing advances yet.
class TaskMonitor : public platform::BenchWindow {
    Q_OBJECT
public:
    explicit TaskMonitor(QWidget* parent = nullptr);
    void TaskMonitorAddFrame() {}
    int16_t Counter() const { return counter_; }
    QSize ContentSize() const override;

protected:
    void showEvent(QShowEvent* event) override;

private:
    int16_t counter_ = 0;
};

struct ProgramVersion {
    int major = 1;
    int minor = 0;
    int revision = 0;
};

// "About Fix Bench": lblTitle and lblVersion ("release M.m.r").
class frmAbout : public QDialog {
    Q_OBJECT
public:
    explicit frmAbout(ProgramVersion version, QWidget* parent = nullptr);

private:
    QLabel* lblTitle_ = nullptr;
    QLabel* lblVersion_ = nullptr;
};

}  // namespace bench
