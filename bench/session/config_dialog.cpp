// What the configuration dialog does: record to controls and back, the test
// list editor, files.
#include "bench/session/config_dialog.h"

#include "bench/session/dialog_prompts.h"
#include "platform/core/codepage.h"
#include "platform/core/error.h"
#include "platform/core/numtext.h"
#include "platform/comm/serial_port.h"
#include "platform/core/paths.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QFileInfo>
#include <QFrame>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QRadioButton>
#include <QScreen>
#include <QTabBar>
#include <QTabWidget>
#include <QTimer>

#include <algorithm>
#include <cmath>
#include <vector>

namespace bench {
namespace {

QString Show(const std::string& bytes) { return QString::fromStdString(platform::Cp1252ToUtf8(bytes)); }

// Typed text to the record's bytes; false when a character has no place in
// the code page.
bool Bytes(const QString& text, std::string& out) {
    bool lossless = true;
    out = platform::Utf8ToCp1252(text.toStdString(), &lossless);
    return lossless;
}

void SetComboText(QComboBox* box, const QString& text) {
    int i = box->findText(text);
    if (i < 0) {
        box->addItem(text);  // a value the file holds but the list does not offer
        i = box->count() - 1;
    }
    box->setCurrentIndex(i);
}

int16_t Flag(const QCheckBox* box) { return box->isChecked() ? FlagSet : FlagClear; }

// A device name as its files will be named: trimmed, and without regard to
// case, since results folders may sit on shares that ignore it.
QString NameKey(const QString& name) { return name.trimmed().toCaseFolded(); }

// One serial port an enabled slot will open.
struct PortUse {
    int slot = 0;
    QString name;
    bool debug = false;
    int number = 0;
    std::string path;

    QString Label() const {
        return QStringLiteral("Device %1 (%2) %3port %4")
            .arg(slot + 1)
            .arg(name, debug ? QStringLiteral("debug ") : QString())
            .arg(number);
    }
    bool SamePort(const PortUse& o) const { return number == o.number || path == o.path; }
};

PortUse MakePortUse(int slot, const QString& name, bool debug, int number) {
    return PortUse{slot, name, debug, number, platform::PortDevicePath(number)};
}

// Two enabled slots that would write into the same files or open the same
// port: the message naming both, else empty.
QString DeviceClash(const SystemConfig& c) {
    std::vector<PortUse> ports;
    for (int a = 0; a < DeviceSlots; ++a) {
        const DeviceConfig& da = c.Devices[static_cast<std::size_t>(a)];
        if (da.DevEN != FlagSet) continue;
        const QString na = Show(da.DName);
        for (int b = a + 1; b < DeviceSlots; ++b) {
            const DeviceConfig& db = c.Devices[static_cast<std::size_t>(b)];
            if (db.DevEN == FlagSet && NameKey(na) == NameKey(Show(db.DName)))
                return QStringLiteral("Device %1 (%2) and Device %3 (%4) have the same name: their logs and results "
                                      "would be written into the same files. Give each enabled device a name of its own.")
                    .arg(a + 1).arg(na).arg(b + 1).arg(Show(db.DName));
        }
        ports.push_back(MakePortUse(a, na, false, da.NmeaP));
        if (da.DebugEN == FlagSet) ports.push_back(MakePortUse(a, na, true, da.DebugP));
    }
    for (std::size_t i = 0; i < ports.size(); ++i)
        for (std::size_t j = i + 1; j < ports.size(); ++j)
            if (ports[i].SamePort(ports[j]))
                return QStringLiteral("%1 and %2 are the same serial port (%3). Give each enabled device a port of "
                                      "its own.")
                    .arg(ports[i].Label(), ports[j].Label(), QString::fromStdString(ports[i].path));
    return {};
}

// The ports the other enabled slots of the dialog will open.
template <class Controls>
std::vector<PortUse> OtherSlotsPorts(const Controls& dev, int d) {
    std::vector<PortUse> ports;
    for (int o = 0; o < DeviceSlots; ++o) {
        const auto& c = dev[static_cast<std::size_t>(o)];
        if (o == d || !c.devEN->isChecked()) continue;
        ports.push_back(MakePortUse(o, {}, false, c.nmeaP->currentText().toInt()));
        if (c.debugEN->isChecked()) ports.push_back(MakePortUse(o, {}, true, c.debugP->currentText().toInt()));
    }
    return ports;
}

// Leaves `box` alone unless its port is in `used`; then chooses the slot's
// own number, else the lowest free one.
void TakeFreePort(QComboBox* box, int d, bool debug, const std::vector<PortUse>& used) {
    auto taken = [&](int n) {
        const PortUse mine = MakePortUse(d, {}, debug, n);
        return std::any_of(used.begin(), used.end(), [&](const PortUse& p) { return p.SamePort(mine); });
    };
    if (!taken(box->currentText().toInt())) return;
    std::vector<int> candidates{d + 1};
    for (int k = 0; k < box->count(); ++k) candidates.push_back(box->itemText(k).toInt());
    for (int candidate : candidates) {
        if (candidate >= 1 && !taken(candidate)) {
            SetComboText(box, QString::number(candidate));
            return;
        }
    }
}

}  // namespace

TestingConfig::TestingConfig(TestingConfigHost& host, QWidget* parent) : QDialog(parent), host_(host) {
    BuildWidgets();
    ApplyControlDefaults();
}

TestingConfig::~TestingConfig() = default;

NCOSettings& TestingConfig::NcoSettingsWindow() {
    if (!nco_) nco_ = new NCOSettings(*this, this);
    return *nco_;
}

// ---- Window lifecycle ------------------------------------------------------

void TestingConfig::showEvent(QShowEvent* event) {
    if (!loaded_) {
        // A fresh load: the controls start from their initial values and the
        // program folder's configuration is read again.
        loaded_ = true;
        configFileName_.clear();
        ApplyControlDefaults();
        adjustSize();
        if (QScreen* screen = QGuiApplication::primaryScreen()) {
            const QRect area = screen->availableGeometry();
            move(area.center() - QPoint(width() / 2, height() / 2));
        }
        TestingConfig_FormCfg();
        Load_Command_Click();
        QDialog::showEvent(event);
        // The keyboard starts at the first control (the page tabs).
        tabs_->tabBar()->setFocus(Qt::TabFocusReason);
    } else {
        QDialog::showEvent(event);
    }
    // The control with the focus shows it from the start, not only after a
    // first Tab (hiding the dialog forgets it).
    setAttribute(Qt::WA_KeyboardFocusChange);
}

void TestingConfig::closeEvent(QCloseEvent* event) {
    loaded_ = false;
    QDialog::closeEvent(event);
}

void TestingConfig::reject() { Cancel_Command_Click(); }

void TestingConfig::CloseDialog() {
    loaded_ = false;
    hide();
}

void TestingConfig::Cancel_Command_Click() { CloseDialog(); }

bool TestingConfig::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::MouseButtonDblClick) {
        for (DeviceControls& c : dev_) {
            if (watched == c.title || watched == c.caption) {
                c.devEN->setChecked(true);
                return true;
            }
        }
    }
    return QDialog::eventFilter(watched, event);
}

// ---- Files -----------------------------------------------------------------

std::string TestingConfig::ConfigDatPath() const {
    return platform::JoinPath(ProgramFolder().toStdString(), "Config.dat");
}

bool TestingConfig::WriteConfig(const std::string& path) {
    const ConfigSaveResult saved = SaveSystemConfig(path, config_);
    if (!saved.ok) WarnUser(this, QString::fromStdString(saved.warning));
    return saved.ok;
}

void TestingConfig::Load_Command_Click() {
    ConfigLoadResult loaded = LoadSystemConfig(ConfigDatPath());
    // A file that is no configuration leaves the one the dialog holds.
    if (!loaded.refused) config_ = std::move(loaded.config);
    if (!loaded.warning.empty()) {
        // The log keeps the record; the person about to edit and save these
        // settings must know that part of them are defaults, not what was saved.
        ReportTrappedError(loaded.warning, "Load_Command_Click");
        // Shown once the dialog is up: a box opened while it is being shown
        // would end up beneath it.
        QTimer::singleShot(0, this, [this, text = QString::fromStdString(loaded.warning)] { WarnUser(this, text); });
    }
    ConfigPanelUpdate();
}

void TestingConfig::Save_Command_Click() {
    if (!ConfigStructureUpdate()) return;
    const std::string path = ConfigDatPath();
    if (!WriteConfig(path)) return;
    host_.InitializeDevices(path);
    CloseDialog();
}

void TestingConfig::SaveOnly_Command_Click() {
    if (!ConfigStructureUpdate()) return;
    const std::string path = ConfigDatPath();
    if (!WriteConfig(path)) return;
    host_.SystemConfigUpdate(path);
}

void TestingConfig::LoadConfigFromFile() {
    const QString name = PickFileToOpen(this, QStringLiteral("Open"), QStringLiteral("Config File (*.dat)|*.dat"),
                                        ProgramFolder());
    if (name.isEmpty()) return;
    ConfigLoadResult loaded = LoadSystemConfig(name.toStdString());
    if (!loaded.warning.empty()) ReportTrappedError(loaded.warning, "LoadConfigFromFile");
    if (loaded.refused) {
        WarnUser(this, QString::fromStdString(loaded.warning));
        return;
    }
    configFileName_ = name.toStdString();
    config_ = std::move(loaded.config);
    ConfigPanelUpdate();
    // A file cut short is loaded with what it holds whole, and says so.
    if (!loaded.warning.empty()) WarnUser(this, QString::fromStdString(loaded.warning));
}

void TestingConfig::SaveConfigToFile() {
    if (!ConfigStructureUpdate()) return;
    if (configFileName_.empty()) configFileName_ = ConfigDatPath();
    if (!WriteConfig(configFileName_)) return;
    if (configFileName_ != ConfigDatPath() && !WriteConfig(ConfigDatPath())) return;
    host_.SystemConfigUpdate(configFileName_);
}

void TestingConfig::SaveAsConfigToFile() {
    if (!ConfigStructureUpdate()) return;
    const QString name = PickFileToSave(this, QStringLiteral("Save"), QStringLiteral("Config File (*.dat)|*.dat"),
                                        ProgramFolder());
    if (name.isEmpty()) return;
    configFileName_ = name.toStdString();
    if (!WriteConfig(configFileName_)) return;
    if (configFileName_ != ConfigDatPath() && !WriteConfig(ConfigDatPath())) return;
    host_.SystemConfigUpdate(configFileName_);
}

void TestingConfig::BadNCOParametersSetting(int device, int32_t start, int32_t max, int32_t step,
                                            const std::string& command) {
    try {
        bench::BadNCOParametersSetting(config_, device, start, max, step, command);
    } catch (const platform::BenchError& e) {
        WarnUser(this, QString::fromStdString(e.Description()));
    }
}

// ---- Record and controls ---------------------------------------------------

bool TestingConfig::ConfigStructureUpdate() {
    SystemConfig next = config_;
    QString problem;
    auto text = [&problem](const QString& typed, std::string& out, const QString& what) {
        if (!Bytes(typed, out) && problem.isEmpty())
            problem = QStringLiteral("%1 contains characters that cannot be stored.").arg(what);
    };

    text(simulatorType_->currentText(), next.SimulatorType, QStringLiteral("Simulator Type"));
    text(simHostName_->text(), next.SimHostName, QStringLiteral("Host Name"));
    // A number beyond any double is a typing error to show, not a crash.
    auto number = [&problem](const QString& typed, const QString& what) {
        try {
            return platform::ReadLenient(typed.toStdString());
        } catch (const platform::BenchError&) {
            if (problem.isEmpty()) problem = QStringLiteral("%1 is out of range.").arg(what);
            return 0.0;
        }
    };
    const double port = platform::RoundHalfEven(number(simHostPort_->text(), QStringLiteral("The simulator port")));
    if (!(port >= 0 && port <= 65535))
        problem = QStringLiteral("The simulator port must be a number from 0 to 65535.");
    else
        next.SimHostPort = static_cast<int32_t>(port);

    for (int d = 0; d < DeviceSlots && problem.isEmpty(); ++d) {
        const DeviceControls& c = dev_[static_cast<std::size_t>(d)];
        DeviceConfig& dc = next.Devices[static_cast<std::size_t>(d)];
        if (!c.devEN->isChecked()) {
            dc.DevEN = FlagClear;
            continue;
        }
        const QString device = QStringLiteral("Device %1: ").arg(d + 1);
        dc.DevEN = FlagSet;
        text(c.dName->text().trimmed(), dc.DName, device + QStringLiteral("the name"));
        dc.DName = platform::Trim(dc.DName);
        // The name becomes a folder and part of every log file name.
        if (dc.DName.find_first_of("/\\,") != std::string::npos && problem.isEmpty())
            problem = device + QStringLiteral("the name cannot contain \"/\", \"\\\" or \",\".");
        text(c.lPath->text(), dc.LPath, device + QStringLiteral("the results folder"));
        dc.LPath = platform::Trim(dc.LPath);
        dc.NmeaP = static_cast<int16_t>(number(c.nmeaP->currentText(), device + QStringLiteral("the NMEA port")));
        dc.NmeaB = static_cast<int32_t>(number(c.nmeaB->currentText(), device + QStringLiteral("the NMEA baud rate")));
        dc.DebugP = static_cast<int16_t>(number(c.debugP->currentText(), device + QStringLiteral("the debug port")));
        dc.DebugB = static_cast<int32_t>(number(c.debugB->currentText(), device + QStringLiteral("the debug baud rate")));
        dc.DebugEN = Flag(c.debugEN);
        dc.AStart = Flag(c.aStart);
        dc.RLog = Flag(c.rLog);
        dc.GLog = Flag(c.gLog);
        dc.PLog = Flag(c.pLog);
        dc.HWRes = Flag(c.hwRes);
        text(c.coldC->text(), dc.ColdC, device + QStringLiteral("COLD Command"));
        text(c.warmC->text(), dc.WarmC, device + QStringLiteral("WARM Command"));
        text(c.hotC->text(), dc.HotC, device + QStringLiteral("HOT Command"));
        text(c.badPosC->text(), dc.BadPosC, device + QStringLiteral("BAD POSITION Command"));
        text(c.restartC->text(), dc.RestartC, device + QStringLiteral("RESTART"));
        text(c.startupS->text(), dc.StartupS, device + QStringLiteral("STARTUP String"));
        double delay = 0.0;
        if (!platform::TryReadStrict(c.startupD->text().toStdString(), delay) || !std::isfinite(delay)) {
            if (problem.isEmpty()) problem = device + QStringLiteral("Startup Delay (s) must be a number.");
        } else {
            dc.StartupD = delay;
        }
    }

    if (problem.isEmpty()) problem = DeviceClash(next);

    bench::SystemConfigReset(next);
    if (problem.isEmpty() && testList_->count() > TestSlots)
        problem = QStringLiteral("The test list holds %1 lines; at most %2 can be stored.").arg(testList_->count()).arg(TestSlots);
    for (int i = 0; i < testList_->count() && i < TestSlots && problem.isEmpty(); ++i) {
        std::string line;
        text(testList_->item(i)->text(), line, QStringLiteral("Test line %1").arg(i + 1));
        try {
            ParseTestLine(line, next.Tests[static_cast<std::size_t>(i)]);
        } catch (const platform::BenchError& e) {
            problem = QStringLiteral("Test line %1: %2.").arg(i + 1).arg(QString::fromStdString(e.Description()));
        }
        next.TestLines[static_cast<std::size_t>(i)] = line;
    }

    if (!problem.isEmpty()) {
        WarnUser(this, problem);
        return false;
    }
    config_ = std::move(next);
    host_.SimulatorSettings(config_.SimulatorType, config_.SimHostName, config_.SimHostPort);
    return true;
}

void TestingConfig::ConfigPanelUpdate() {
    filling_ = true;
    SetComboText(simulatorType_, Show(config_.SimulatorType));
    simHostName_->setText(Show(config_.SimHostName));
    simHostPort_->setText(QString::number(config_.SimHostPort));
    host_.SimulatorSettings(config_.SimulatorType, config_.SimHostName, config_.SimHostPort);
    for (int d = 0; d < DeviceSlots; ++d) {
        DeviceControls& c = dev_[static_cast<std::size_t>(d)];
        const DeviceConfig& dc = config_.Devices[static_cast<std::size_t>(d)];
        if (dc.DevEN != FlagSet) {
            c.devEN->setChecked(false);
            continue;
        }
        c.devEN->setChecked(true);
        c.dName->setText(Show(dc.DName));
        c.lPath->setText(Show(dc.LPath));
        SetComboText(c.nmeaP, QString::number(dc.NmeaP));
        SetComboText(c.nmeaB, QString::number(dc.NmeaB));
        SetComboText(c.debugP, QString::number(dc.DebugP));
        SetComboText(c.debugB, QString::number(dc.DebugB));
        c.debugEN->setChecked(dc.DebugEN == FlagSet);
        c.aStart->setChecked(dc.AStart == FlagSet);
        c.rLog->setChecked(dc.RLog == FlagSet);
        c.gLog->setChecked(dc.GLog == FlagSet);
        c.pLog->setChecked(dc.PLog == FlagSet);
        c.hwRes->setChecked(dc.HWRes == FlagSet);
        c.coldC->setText(Show(dc.ColdC));
        c.warmC->setText(Show(dc.WarmC));
        c.hotC->setText(Show(dc.HotC));
        c.badPosC->setText(Show(dc.BadPosC));
        c.restartC->setText(Show(dc.RestartC));
        c.startupS->setText(Show(dc.StartupS));
        c.startupD->setText(QString::fromStdString(platform::NumberToText(dc.StartupD)));
    }
    filling_ = false;
    // A loaded file replaces the list; it is never merged with the old one.
    testList_->clear();
    for (int i = 0; i < TestSlots; ++i)
        if (config_.Tests[static_cast<std::size_t>(i)].Enabled == FlagSet)
            testList_->addItem(Show(config_.TestLines[static_cast<std::size_t>(i)]));
}

void TestingConfig::GiveOwnNameAndPort(int d) {
    DeviceControls& me = dev_[static_cast<std::size_t>(d)];
    std::vector<QString> names;
    for (int o = 0; o < DeviceSlots; ++o) {
        const DeviceControls& c = dev_[static_cast<std::size_t>(o)];
        if (o != d && c.devEN->isChecked()) names.push_back(NameKey(c.dName->text()));
    }
    auto nameTaken = [&](const QString& n) { return std::find(names.begin(), names.end(), NameKey(n)) != names.end(); };
    // The slot's own number first ("Device3" on port 3), then the lowest free.
    if (nameTaken(me.dName->text())) {
        for (int k = 0; k <= 99; ++k) {
            const QString candidate = QStringLiteral("Device%1").arg(k == 0 ? d + 1 : k);
            if (!nameTaken(candidate)) {
                me.dName->setText(candidate);
                break;
            }
        }
    }
    TakeFreePort(me.nmeaP, d, false, OtherSlotsPorts(dev_, d));
}

void TestingConfig::GiveOwnDebugPort(int d) {
    if (filling_) return;
    const DeviceControls& me = dev_[static_cast<std::size_t>(d)];
    std::vector<PortUse> ports = OtherSlotsPorts(dev_, d);
    ports.push_back(MakePortUse(d, {}, false, me.nmeaP->currentText().toInt()));
    TakeFreePort(me.debugP, d, true, ports);
}

// ---- Test list editor -------------------------------------------------------

TestEditorValues TestingConfig::EditorValues() const {
    auto bytes = [](const QString& s) { return platform::Utf8ToCp1252(s.toStdString()); };
    TestEditorValues v;
    v.type = bytes(testType_->currentText());
    v.scenario = scenario_[1]->isChecked() ? ScenarioSimulator : scenario_[2]->isChecked() ? ScenarioLabSat : ScenarioRoof;
    for (std::size_t i = 0; i < testField_.size(); ++i) v.testField[i] = bytes(testField_[i]->text());
    v.ttff = testOption_[0]->isChecked();
    v.scriptFile = bytes(scriptFile_->text());
    v.almanacsFile = bytes(almanacsFile_->text());
    for (std::size_t i = 0; i < simData_.size(); ++i) v.simData[i] = bytes(simData_[i]->text());
    for (std::size_t i = 0; i < simOption_.size(); ++i) v.simOption[i] = simOption_[i]->isChecked();
    for (std::size_t i = 0; i < labSatData_.size(); ++i) v.labSatData[i] = bytes(labSatData_[i]->text());
    return v;
}

void TestingConfig::ShowEditorValues(const TestEditorValues& v) {
    SetComboText(testType_, Show(v.type));
    scenario_[static_cast<std::size_t>(v.scenario)]->setChecked(true);
    for (std::size_t i = 0; i < testField_.size(); ++i) testField_[i]->setText(Show(v.testField[i]));
    testOption_[v.ttff ? 0 : 1]->setChecked(true);
    scriptFile_->setText(Show(v.scriptFile));
    almanacsFile_->setText(Show(v.almanacsFile));
    for (std::size_t i = 0; i < simData_.size(); ++i) simData_[i]->setText(Show(v.simData[i]));
    for (std::size_t i = 0; i < simOption_.size(); ++i) simOption_[i]->setChecked(v.simOption[i]);
    // The bin file first: choosing it proposes a duration, which the line's
    // own value then replaces.
    for (std::size_t i = 0; i < labSatData_.size(); ++i) labSatData_[i]->setText(Show(v.labSatData[i]));
    LayoutEditor();
}

bool TestingConfig::BuildEditorLine(QString& line) {
    std::string problem;
    std::vector<QLineEdit*> boxes{scriptFile_, almanacsFile_};
    boxes.insert(boxes.end(), testField_.begin(), testField_.end());
    boxes.insert(boxes.end(), simData_.begin(), simData_.end());
    boxes.insert(boxes.end(), labSatData_.begin(), labSatData_.end());
    for (QLineEdit* box : boxes) {
        std::string ignored;
        if (!Bytes(box->text(), ignored)) problem = "A test field contains characters that cannot be stored.";
    }
    const TestEditorValues v = EditorValues();
    if (problem.empty()) problem = CheckTestEditorValues(v);
    if (!problem.empty()) {
        WarnUser(this, QString::fromStdString(problem));
        return false;
    }
    line = Show(BuildTestLine(v));
    return true;
}

bool TestingConfig::HasSelection() const {
    return testList_->currentRow() >= 0 && testList_->currentItem() && testList_->currentItem()->isSelected();
}

void TestingConfig::Add_Click() {
    if (testList_->count() >= TestSlots) {
        WarnUser(this, QStringLiteral("The test list is full: at most %1 tests.").arg(TestSlots));
        return;
    }
    QString line;
    if (BuildEditorLine(line)) testList_->addItem(line);
}

void TestingConfig::Insert_Click() {
    if (testList_->count() >= TestSlots) {
        WarnUser(this, QStringLiteral("The test list is full: at most %1 tests.").arg(TestSlots));
        return;
    }
    QString line;
    if (!BuildEditorLine(line)) return;
    testList_->insertItem(HasSelection() ? testList_->currentRow() : 0, line);
}

void TestingConfig::Replace_Click() {
    if (!HasSelection()) {
        WarnUser(this, QStringLiteral("Select the test line to replace."));
        return;
    }
    QString line;
    if (BuildEditorLine(line)) testList_->currentItem()->setText(line);
}

void TestingConfig::Remove_Click() {
    if (testList_->count() == 0) return;
    if (!HasSelection()) {
        WarnUser(this, QStringLiteral("Select the test line to remove."));
        return;
    }
    delete testList_->takeItem(testList_->currentRow());
    testList_->setCurrentRow(-1);
}

void TestingConfig::Clear_Click() {
    if (AskYesNo(this, QStringLiteral("WARNING"), QStringLiteral("Test list will be deleted! Are you sure?"), true))
        testList_->clear();
}

void TestingConfig::TestList_Click() {
    if (!HasSelection()) return;
    ShowEditorValues(EditorValuesFromLine(platform::Utf8ToCp1252(testList_->currentItem()->text().toStdString()),
                                          EditorValues()));
}

void TestingConfig::PickInto(QLineEdit* box, const QString& filter) {
    const QString name = PickFileToOpen(this, QStringLiteral("Insert"), filter, ProgramFolder());
    if (!name.isEmpty()) box->setText(name);
}

void TestingConfig::LabSatData0Changed() {
    // Propose a duration from the bin file's size, but only for a file that
    // is there: a half-typed path must not disturb the box.
    const std::string stored = platform::Utf8ToCp1252(labSatData_[0]->text().toStdString());
    const QFileInfo file(QString::fromStdString(platform::MapStoredPath(stored, ProgramFolder().toStdString())));
    if (stored.empty() || !file.isFile()) return;
    const double mib = static_cast<double>(file.size()) / 1024.0 / 1024.0;
    labSatData_[2]->setText(mib <= 2.0 ? QStringLiteral("0") : QString::number(static_cast<long long>(std::floor(mib / 2.0))));
}

}  // namespace bench
