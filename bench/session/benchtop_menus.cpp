// The main window's menus: the commands that open the other windows, the
// session commands and the option entries whose marks are the bench's
// option flags. Every run starts from the marks set here.
#include "bench/session/benchtop.h"

#include <QAction>
#include <QCoreApplication>
#include <QFileInfo>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenu>
#include <QMenuBar>
#include <QProcess>
#include <QShortcut>

#include "bench/devices/system_log.h"
#include "bench/session/dialog_prompts.h"
#include "bench/session/results_window.h"
#include "platform/core/paths.h"
#include "platform/ui/prompts.h"

namespace bench {

namespace {
constexpr const char* kLoadConfigDuringSession =
    "A test session is running. Stop the session and load another configuration?";
}  // namespace

QAction* Benchtop::Entry(const std::string& name) const {
    auto it = entries_.find(name);
    return it == entries_.end() ? nullptr : it->second;
}

QMenu* Benchtop::Menu(const std::string& name) const {
    auto it = menus_.find(name);
    return it == menus_.end() ? nullptr : it->second;
}

QAction* Benchtop::AddEntry(QMenu* menu, const char* name, const char* caption, bool checkable, bool checked) {
    QAction* a = menu->addAction(QString::fromLatin1(caption));
    a->setObjectName(name);
    a->setCheckable(checkable);
    a->setChecked(checked);
    entries_[name] = a;
    return a;
}

QMenu* Benchtop::AddMenu(QMenu* parent, const char* name, const char* caption) {
    QMenu* m = parent ? parent->addMenu(QString::fromLatin1(caption)) : menuBar()->addMenu(QString::fromLatin1(caption));
    m->setObjectName(name);
    menus_[name] = m;
    return m;
}

void Benchtop::NotAvailable(const char* caption) {
    StatusBarMessage(1, std::string(caption) + ": not available in this build");
}

void Benchtop::BuildMenus() {
    menuBar()->setObjectName("MenuBar");
    auto on = [this](QAction* a, const char* procedure, auto fn) {
        connect(a, &QAction::triggered, this, [this, procedure, fn] { Handle(procedure, fn); });
    };
    // An option entry whose mark is copied where the bench reads it.
    auto mark = [this](QAction* a, bool* flag) {
        *flag = a->isChecked();
        connect(a, &QAction::toggled, this, [flag](bool checked) { *flag = checked; });
    };

    // --- Option ---
    QMenu* opt = AddMenu(nullptr, "opt", "&Option");
    on(AddEntry(opt, "NewW", "&New Nmea  Window"), "NewW_Click", [this] { NewW_Click(); });
    AddEntry(opt, "NewDebugWin", "New Debug &Window");
    on(AddEntry(opt, "CommPanel", "&Command Panel"), "CommPanel_Click", [this] {
        if (windows_.showScriptPanel) windows_.showScriptPanel(); else NotAvailable("Command Panel");
    });
    QAction* ext = AddEntry(opt, "ExtCtr", "E&xtern Control", true);
    mark(ext, &state_.Options.ExtCtr);
    on(ext, "ExtCtr_Click", [this, ext] {
        if (windows_.externalControl) windows_.externalControl(ext->isChecked()); else NotAvailable("Extern Control");
    });
    on(AddEntry(opt, "LogFileReplay", "&Log Files Replay"), "LogFileReplay_Click", [this] {
        if (windows_.showReplay) windows_.showReplay(); else NotAvailable("Log Files Replay");
    });
    QMenu* play = AddMenu(opt, "PlayNmeaFile", "&Play Nmea File");
    on(AddEntry(play, "Star", "&Start"), "Star_Click", [this] { PlayNmeaFile(true); });
    on(AddEntry(play, "Sto", "S&top"), "Sto_Click", [this] { PlayNmeaFile(false); });

    QMenu* testConfig = AddMenu(opt, "TestConfig", "&Testing Configuration");
    on(AddEntry(testConfig, "OpenTestSession", "&Open Test Session"), "OpenTestSession_Click",
       [this] { OpenTestSession_Click(); });
    on(AddEntry(testConfig, "ConfWindow", "&Config Window"), "ConfWindow_Click", [this] {
        config_dialog_->show();
        config_dialog_->raise();
    });
    on(AddEntry(testConfig, "LoadConfig", "&Load Config"), "LoadConfig_Click", [this] { LoadConfig_Click(); });
    on(AddEntry(testConfig, "SaveConfig", "&Save Config"), "SaveConfig_Click",
       [this] { config_dialog_->SaveConfigToFile(); });
    on(AddEntry(testConfig, "SaveAsConfig", "Save &As Config"), "SaveAsConfig_Click",
       [this] { config_dialog_->SaveAsConfigToFile(); });

    QAction* watchdog = AddEntry(opt, "DeviceWatchDogEn", "&Device Watch Dog Enabled", true);
    on(watchdog, "DeviceWatchDogEn_Click", [this, watchdog] { fanout_->SetWatchDogStatusOnDevices(watchdog->isChecked()); });

    QMenu* maxTtff = AddMenu(opt, "MaxATTFF", "&MaxAllowedTTFF");
    static constexpr int16_t kSeconds[] = {1000, 900, 800, 700, 600, 500, 300, 240, 180, 120};
    for (int16_t n : kSeconds) {
        const std::string name = "T" + std::to_string(n);
        // Each entry underlines a digit of its own.
        std::string caption = std::to_string(n) + " sec";
        caption.insert(n == 1000 || n == 240 || n == 120 ? 1 : 0, "&");
        QAction* a = AddEntry(maxTtff, name.c_str(), caption.c_str(), true);
        connect(a, &QAction::triggered, this, [this, n] { SetMaxAcceptableTTFF(n); });
    }

    QMenu* timeout = AddMenu(opt, "DevSerialPTimeout", "Device &Serial Port Timeout");
    struct TimeoutEntry {
        const char* name;
        const char* caption;
        bool enabled;
        int32_t ms;
    };
    static constexpr TimeoutEntry kTimeouts[] = {{"PortTimeoutDisabled", "&Disabled", false, 10},
                                                 {"SixtySecs", "&60 sec", true, 60000},
                                                 {"TenSecs", "&10 sec", true, 10000},
                                                 {"FiveSecs", "&5 sec", true, 5000},
                                                 {"TwoSecs", "&2 sec", true, 2000}};
    for (const TimeoutEntry& t : kTimeouts) {
        QAction* a = AddEntry(timeout, t.name, t.caption, true, t.ms == 10);
        connect(a, &QAction::triggered, this, [this, a, t] { PortTimeoutClicked(a, t.enabled, t.ms); });
    }

    mark(AddEntry(opt, "NTC", "Nmea T&ime Check", true), &marks_.NTC);
    mark(AddEntry(opt, "SBASTEST", "S&BAS Test", true), &state_.Options.SBASTEST);
    QAction* ggaTime = AddEntry(opt, "GGATimeCheck", "&GGA Time Check", true);
    on(ggaTime, "GGATimeCheck_Click", [this, ggaTime] { fanout_->SetGGATimeCheckOnDevices(ggaTime->isChecked()); });
    mark(AddEntry(opt, "GGASamp", "GGA S&ampling", true), &state_.Options.GGASamp);
    mark(AddEntry(opt, "TS_ON", "&Enable TS Msg", true), &marks_.TS_ON);
    mark(AddEntry(opt, "NmeaCRC", "NMEA C&RC ENABLED", true, true), &marks_.NmeaCRC);
    mark(AddEntry(opt, "CARS_Test_Session", "CARS Test Sessi&on", true), &marks_.CARS_Test_Session);

    // --- Testing ---
    QMenu* testing = AddMenu(nullptr, "TestingMenu", "&Testing");
    connect(testing, &QMenu::aboutToShow, this, [this] { SyncSessionControls(); });
    // Start and Stop answer their keys in every window of the bench (the
    // results grid, the instruments, the script panel), not only here.
    QAction* start = AddEntry(testing, "exectest", "&Start");
    start->setShortcut(QKeySequence(Qt::Key_F5));
    start->setShortcutContext(Qt::ApplicationShortcut);
    connect(start, &QAction::triggered, this, [this] { exectest_Click(); });
    QAction* stop = AddEntry(testing, "StopTesting", "S&top");
    stop->setShortcut(QKeySequence(Qt::SHIFT | Qt::Key_F5));
    stop->setShortcutContext(Qt::ApplicationShortcut);
    connect(stop, &QAction::triggered, this, [this] { StopTesting_Click(); });
    connect(AddEntry(testing, "NewTestSession", "&New Test Session"), &QAction::triggered, this,
            [this] { NewTestSession_Click(); });

    // --- ShowResults: the session workbook is written to files; nothing to show.
    QMenu* showRes = AddMenu(nullptr, "ShowRes", "Show&Results");
    AddEntry(showRes, "ShowExcel", "&Show Spread Sheet", true);

    // --- Sim Management ---
    QMenu* simMan = AddMenu(nullptr, "SimMan", "&Sim Management");
    on(AddEntry(simMan, "ConfigSim", "&Configure Simulator"), "ConfigSim_Click", [this] {
        if (windows_.showSimulator) windows_.showSimulator(); else NotAvailable("Configure Simulator");
    });
    AddEntry(simMan, "Sta", "&Start");

    // --- LabSat Management and getconf: menu-bar entries that are commands ---
    QAction* labsat = menuBar()->addAction("La&bSat Management");
    labsat->setObjectName("LabSatManagement");
    entries_["LabSatManagement"] = labsat;
    on(labsat, "LabSatManagement_Click", [this] {
        if (windows_.showLabSat) windows_.showLabSat(); else NotAvailable("LabSat Management");
    });
    QAction* gconf = menuBar()->addAction("&getconf");
    gconf->setObjectName("gconf");
    entries_["gconf"] = gconf;

    // --- Tool ---
    QMenu* tool = AddMenu(nullptr, "tool_menu", "Too&l");
    mark(AddEntry(tool, "ExelInterface", "&Excel Interface", true), &state_.Options.ExelInterface);
    QMenu* excelRep = AddMenu(tool, "ExcelRep", "Excel &Reports");
    mark(AddEntry(excelRep, "AutoRepGen", "&Automatic Report Generation", true), &state_.Options.AutoRepGen);
    on(AddEntry(excelRep, "Sensitivity", "&Sensitivity"), "Sensitivity_Click", [this] {
        if (windows_.sensitivity) windows_.sensitivity(); else NotAvailable("Sensitivity");
    });
    on(AddEntry(excelRep, "GenerateExcelReport", "&Generate Excel Report"), "GenerateExcelReport_Click", [this] {
        if (windows_.generateExcelReport) windows_.generateExcelReport(); else NotAvailable("Generate Excel Report");
    });
    on(AddEntry(tool, "SetAntennaCoordinates", "&Set Antenna Coordinates"), "SetAntennaCoordinates_Click", [this] {
        CoordsWindow().show();
        CoordsWindow().raise();
    });

    // --- Window: the device windows, listed as they are made ---
    QMenu* windows = AddMenu(nullptr, "OWindows", "&Window");
    QAction* first = windows->addAction("win1");
    first->setObjectName("win1_0");
    connect(first, &QAction::triggered, this, [this] { Handle("win1_Click", [this] { win1_Click(0); }); });
    win1_.push_back(first);
    // Below the device windows: the results grid, once it exists.
    results_separator_ = windows->addSeparator();
    results_entry_ = windows->addAction(QStringLiteral("Results"));
    results_entry_->setObjectName("ResultsWindow");
    connect(results_entry_, &QAction::triggered, this,
            [this] { Handle("ResultsWindow_Click", [this] { ShowResultsWindow(true); }); });
    RefreshResultsEntry();

    // --- ? ---
    QMenu* inf = AddMenu(nullptr, "inf", "&?");
    on(AddEntry(inf, "AboutSW", "&About"), "AboutSW_Click", [this] { AboutSW_Click(); });
    on(AddEntry(inf, "Hlp", "&Help"), "Hlp_Click", [this] { Hlp_Click(); });
    AddMenuBarKey();
}

// F10 opens the first menu, as on every desktop; Alt and Alt+letter are the
// menu bar's own.
void Benchtop::AddMenuBarKey() {
    auto* f10 = new QShortcut(QKeySequence(Qt::Key_F10), this);
    f10->setObjectName("MenuBarKey");
    connect(f10, &QShortcut::activated, this, [this] {
        for (QAction* a : menuBar()->actions()) {
            if (a->isVisible() && a->isEnabled()) {
                menuBar()->setFocus(Qt::ShortcutFocusReason);
                menuBar()->setActiveAction(a);
                return;
            }
        }
    });
}

bool Benchtop::MenuKey(const QKeySequence& key) {
    for (QAction* a : menuBar()->actions()) {
        if (!a->isVisible() || !a->isEnabled() || QKeySequence::mnemonic(a->text()) != key) continue;
        raise();
        activateWindow();
        if (a->menu())
            menuBar()->setActiveAction(a);
        else
            a->trigger();  // a menu-bar entry that is a command
        return true;
    }
    return false;
}

void Benchtop::MarkMaxTTFF(int16_t seconds) {
    for (int16_t n : {1000, 900, 800, 700, 600, 500, 300, 240, 180, 120})
        if (QAction* a = Entry("T" + std::to_string(n))) a->setChecked(n == seconds);
}

void Benchtop::PortTimeoutClicked(QAction* entry, bool enabled, int32_t ms) {
    // The click has already flipped the mark: a clear entry became checked.
    if (!entry->isChecked()) return;
    for (const char* name : {"PortTimeoutDisabled", "SixtySecs", "TenSecs", "FiveSecs", "TwoSecs"})
        if (QAction* a = Entry(name); a && a != entry) a->setChecked(false);
    Handle("DevSerialPTimeout_Click", [&] { fanout_->SetSerialPortTimeoutOnDevices(enabled, ms); });
}

void Benchtop::NewW_Click() {
    DeviceWindowFactory::Made made = MakeWindow();
    made.ops->SetDeviceType(0);
    made.ops->SetDeviceName("NMEA WINDOW");
    // No session holds it: its close box closes it.
    made.ops->DeviceSetClosable();
    made.widget->show();
}

void Benchtop::PlayNmeaFile(bool start) {
    QMdiSubWindow* active = mdi_->activeSubWindow();
    auto it = active ? ops_of_.find(active->widget()) : ops_of_.end();
    if (start) {
        const QString file = PickFileToOpen(this, "Open", "Nmea File (*.txt)|*.txt",
                                            QString::fromStdString(program_folder_));
        if (file.isEmpty()) return;
        if (it != ops_of_.end()) it->second->ReproduceInputFileStart(file.toStdString());
    } else if (it != ops_of_.end()) {
        it->second->ReproduceInputFileStop();
    }
}

void Benchtop::OpenTestSession_Click() {
    const QString file =
        PickFileToOpen(this, "Open", "Config File (*.dat)|*.dat", QString::fromStdString(program_folder_));
    if (file.isEmpty()) return;
    config_file_path_ = file.toStdString();
    InitializeDevices(config_file_path_);
}

void Benchtop::LoadConfig_Click() {
    if (!AskToStopSession(kLoadConfigDuringSession, "Load Config was chosen")) return;
    NewTestSession();
    config_dialog_->LoadConfigFromFile();
}

void Benchtop::AboutSW_Click() {
    if (!about_) about_ = new frmAbout(ProgramVersion{}, this);
    about_->show();
    about_->raise();
}

void Benchtop::Hlp_Click() {
    // The page goes with the program; a copy in the program folder wins.
    std::string file = help_file_;
    if (!QFileInfo(QString::fromStdString(file)).isFile())
        file = platform::JoinPath(QCoreApplication::applicationDirPath().toStdString(),
                                  QFileInfo(QString::fromStdString(help_file_)).fileName().toStdString());
    if (!QFileInfo(QString::fromStdString(file)).isFile()) {
        HelpNotShown(help_file_, "The help file was not found");
        return;
    }
    if (help_opener_) {
        if (!help_opener_(file)) HelpNotShown(file, "No browser could be started to show the help file");
        return;
    }
    // The desktop's opener is watched to its end: it may start and then find
    // no browser, which the user would otherwise never learn.
    auto* opener = new QProcess(this);
    connect(opener, &QProcess::errorOccurred, this, [this, opener, file](QProcess::ProcessError error) {
        if (error != QProcess::FailedToStart) return;
        HelpNotShown(file, "No browser could be started to show the help file");
        opener->deleteLater();
    });
    connect(opener, &QProcess::finished, this, [this, opener, file](int code, QProcess::ExitStatus status) {
        if (status != QProcess::NormalExit || code != 0)
            HelpNotShown(file, "No browser could be started to show the help file");
        opener->deleteLater();
    });
    opener->start("xdg-open", {QString::fromStdString(file)});
}

void Benchtop::HelpNotShown(const std::string& file, const std::string& why) {
    const std::string text = why + ":\n" + file;
    StatusBarMessage(1, "Help not available");
    SystemLogWrite("Help not available: " + why + ": " + file);
    platform::Prompts::Instance().Inform(text, "Help", platform::Icon::Warning);
}

}  // namespace bench
