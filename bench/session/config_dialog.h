#pragma once
// "Testing Configuration Panel": the dialog in which the test engineer sets
// up a session (simulator connection, four receiver slots, the test list).
// It owns a working copy of the configuration, turns its controls into the
// record and back, stores the record in files and tells its owner which
// file to read.
//
// Object names: every control carries its design name; a member of a
// control array, and each of the four device slots' controls, carries the
// name, "_" and its index: "DevEN_0", "DName_3", "TestField_2",
// "Scenario_1", "TestOption_0", "SimData_12", "SimOption_2",
// "LabSatData_5", "BadNCO_1". Per slot also "DevTitle_d" (the big
// "DEVICE d+1" panel), "DevCaption_d" (its caption) and "DevPanel_d" (the
// settings). Buttons: "Save_Command" (OK), "SaveOnly_Command" ("Save"),
// "Cancel_Command"; pages "DevicePage", "TestingPage", "GeneralPage" in
// the tab widget "TabStrip"; editor panels "AcquisitionPanel",
// "ScriptPanel", "RoofPanel", "SimulatorPanel", "LabSatPanel".
#include <QDialog>

#include <array>
#include <cstdint>
#include <string>

#include "bench/session/config.h"
#include "bench/session/small_dialogs.h"
#include "bench/session/test_line.h"

class QCheckBox;
class QComboBox;
class QFrame;
class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;
class QRadioButton;
class QTabWidget;
class QWidget;

namespace bench {

// What the dialog needs of its owner, the main window.
class TestingConfigHost {
public:
    virtual ~TestingConfigHost() = default;
    // OK: the configuration was written to `path`; read it and set the
    // devices up.
    virtual void InitializeDevices(const std::string& path) = 0;
    // "Save", Save and Save As: the configuration in `path` changed and the
    // dialog stays open. A session that is running keeps its folders and
    // devices; the owner applies the file at the next start.
    virtual void SystemConfigUpdate(const std::string& path) = 0;
    // The simulator connection to hand to the simulator window (its type,
    // host name, port and name, in that order), at every rebuild of the
    // record.
    virtual void SimulatorSettings(const std::string& type, const std::string& hostName, int32_t port) = 0;
};

class TestingConfig : public QDialog, public NcoParametersSink {
    Q_OBJECT
public:
    explicit TestingConfig(TestingConfigHost& host, QWidget* parent = nullptr);
    ~TestingConfig() override;

    // Reads the program folder's "Config.dat" into the working copy and the
    // controls; a damaged file goes to the system log.
    void Load_Command_Click();
    // OK: rebuild, write "Config.dat", hand it to InitializeDevices, close.
    // A refused rebuild or a failed write keeps the dialog open.
    void Save_Command_Click();
    // The "Save" button: rebuild, write "Config.dat", SystemConfigUpdate.
    void SaveOnly_Command_Click();
    void Cancel_Command_Click();
    // Controls into the working copy. Refuses with a warning, changing
    // nothing, when a control holds what the record cannot take.
    bool ConfigStructureUpdate();
    // Working copy into the controls; the test list is replaced.
    void ConfigPanelUpdate();
    // "Open" file dialog; the chosen file replaces the working copy.
    void LoadConfigFromFile();
    void SaveConfigToFile();
    void SaveAsConfigToFile();
    void TestingConfig_FormCfg() {}
    void SystemConfigReset() { bench::SystemConfigReset(config_); }
    void BadNCOParametersSetting(int device, int32_t start, int32_t max, int32_t step,
                                 const std::string& command) override;

    const SystemConfig& WorkingCopy() const { return config_; }
    // The antenna position kept with the configuration; no control edits it.
    void SetAntenna(const AntennaConfig& antenna) { config_.Antenna = antenna; }
    const std::string& ConfigFileName() const { return configFileName_; }
    // The NCO settings window, created on first use.
    NCOSettings& NcoSettingsWindow();

protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void reject() override;  // Esc: as Cancel
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    struct DeviceControls {
        QCheckBox* devEN = nullptr;
        QFrame* title = nullptr;
        QLabel* caption = nullptr;
        QFrame* panel = nullptr;
        QLineEdit *dName = nullptr, *lPath = nullptr, *coldC = nullptr, *warmC = nullptr, *hotC = nullptr,
                  *badPosC = nullptr, *restartC = nullptr, *startupS = nullptr, *startupD = nullptr;
        QComboBox *nmeaP = nullptr, *nmeaB = nullptr, *debugP = nullptr, *debugB = nullptr;
        QCheckBox *aStart = nullptr, *debugEN = nullptr, *rLog = nullptr, *gLog = nullptr, *pLog = nullptr,
                  *hwRes = nullptr;
        QPushButton* badNCO = nullptr;
    };

    // Building the widgets (config_dialog_layout.cpp).
    void BuildWidgets();
    QWidget* BuildDevicePage();
    QFrame* BuildDevicePanel(int d);
    QWidget* BuildTestingPage();
    QWidget* BuildGeneralPage();
    void ApplyControlDefaults();
    void SetReadingOrder();
    void LayoutEditor();
    void DevENToggled(int d);
    // A slot the user enables, or whose debug port is switched on, gets a
    // name and ports no other enabled slot uses.
    void GiveOwnNameAndPort(int d);
    void GiveOwnDebugPort(int d);

    // Behaviour (config_dialog.cpp).
    TestEditorValues EditorValues() const;
    void ShowEditorValues(const TestEditorValues& v);
    bool BuildEditorLine(QString& line);
    bool HasSelection() const;
    void Add_Click();
    void Insert_Click();
    void Replace_Click();
    void Remove_Click();
    void Clear_Click();
    void TestList_Click();
    void PickInto(QLineEdit* box, const QString& filter);
    void LabSatData0Changed();
    bool WriteConfig(const std::string& path);
    std::string ConfigDatPath() const;
    void CloseDialog();

    TestingConfigHost& host_;
    SystemConfig config_;
    std::string configFileName_;
    bool loaded_ = false;
    bool filling_ = false;  // controls being set from the record, not by the user
    NCOSettings* nco_ = nullptr;  // child window, made on first use

    QTabWidget* tabs_ = nullptr;
    std::array<DeviceControls, DeviceSlots> dev_{};
    QComboBox* simulatorType_ = nullptr;
    QLineEdit* simHostName_ = nullptr;
    QLineEdit* simHostPort_ = nullptr;
    QListWidget* testList_ = nullptr;
    QComboBox* testType_ = nullptr;
    std::array<QRadioButton*, 3> scenario_{};
    QWidget* panelRow_ = nullptr;
    QFrame* acquisitionPanel_ = nullptr;
    QFrame* scriptPanel_ = nullptr;
    std::array<QFrame*, 3> scenarioPanel_{};
    std::array<QLineEdit*, AcquisitionFields> testField_{};
    QLabel* minDelayLabel_ = nullptr;
    QLabel* maxDelayLabel_ = nullptr;
    QLabel* satsLabel_ = nullptr;
    QLabel* timeLabel_ = nullptr;
    std::array<QRadioButton*, 2> testOption_{};
    QLineEdit* scriptFile_ = nullptr;
    QLineEdit* almanacsFile_ = nullptr;
    std::array<QLineEdit*, SimDataFields> simData_{};
    std::array<QCheckBox*, SimOptionFields> simOption_{};
    std::array<QLineEdit*, LabSatDataFields> labSatData_{};
};

}  // namespace bench
