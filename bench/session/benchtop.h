#pragma once
// The bench's main window: a workspace of device windows under the menus,
// the option marks the rest of the bench reads, the status bar and the list
// of open device windows. It owns the session engine and is the one host
// the device windows and the configuration dialog report to.
//
// Object names: every menu and entry carries its control name ("opt",
// "exectest", "T300", "NmeaCRC" ...); the window list entries are "win1_0",
// "win1_1" ...; the workspace is "MDIArea", the status bar "StatusBar1" with
// the panels "StatusBar1_1" and "StatusBar1_2".
#include <QMainWindow>
#include <QPointer>

#include <array>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "bench/devices/bench_host.h"
#include "bench/devices/device_ops.h"
#include "bench/devices/system_log.h"
#include "bench/reports/report_commands.h"
#include "bench/instruments/ext_control_window.h"
#include "bench/instruments/labsat_window.h"
#include "bench/instruments/replay_window.h"
#include "bench/session/bench_state.h"
#include "bench/session/config_dialog.h"
#include "bench/session/fanout.h"
#include "bench/session/results_grid.h"
#include "bench/session/script_bench.h"
#include "bench/session/session_host.h"
#include "bench/session/session_platform.h"
#include "bench/session/small_dialogs.h"
#include "bench/session/test_engine.h"

class QAction;
class QLabel;
class QMdiArea;
class QMdiSubWindow;
class QMenu;

namespace platform {
class QtTimer;
}

namespace bench {

namespace sim {
class SimMng;
class SimScriptAdapter;
class SimWindow;
}  // namespace sim

class Results;

// Makes the device windows; the bench hands each the main window's host.
class DeviceWindowFactory {
public:
    virtual ~DeviceWindowFactory() = default;
    struct Made {
        QWidget* widget = nullptr;  // placed in the workspace, owned there
        DeviceOps* ops = nullptr;   // the same window's public operations
    };
    virtual Made CreateDeviceWindow(BenchHost& host) = 0;
};

// The windows that come with the instruments, the script panel, the replay
// and the report builders. A missing one makes its menu entry say so in the
// status bar.
struct BenchWindows {
    std::function<void()> showScriptPanel;       // "Command Panel"
    std::function<void()> showReplay;            // "Log Files Replay"
    std::function<void()> showSimulator;         // "Configure Simulator"
    std::function<void()> showLabSat;            // "LabSat Management"
    std::function<void(bool)> externalControl;   // "Extern Control" checked / cleared
    std::function<void()> generateExcelReport;   // "Generate Excel Report"
    std::function<void()> sensitivity;           // "Sensitivity"
    // The simulator connection from the configuration.
    std::function<void(const std::string&, const std::string&, int32_t)> simulatorSettings;
};

// How the program was started.
struct BenchtopOptions {
    // "--all-menus": the entries the bench normally hides stay visible.
    bool allMenus = false;
    // Where the programs installed with the bench are (navsift); empty: the
    // folder of the bench's own executable.
    std::string programsFolder;
};

class Benchtop : public QMainWindow, public TestingConfigHost, public session::IStatusBar {
    Q_OBJECT
public:
    // Loads the window: system log, hidden entries, configuration dialog,
    // maximum TTFF of 300 s.
    explicit Benchtop(DeviceWindowFactory& factory, QWidget* parent = nullptr, BenchtopOptions options = {});
    ~Benchtop() override;

    // --- start-up and status ---
    void StatusBarMessage(int16_t panel, const std::string& text) override;
    // Lasting conditions shown in panel 2 before its passing text, until
    // their key comes again with an empty text.
    void StatusBarNotice(const std::string& key, const std::string& text) override;
    // Panel 1 said on behalf of `source`; WithdrawStatus(source) empties it
    // once that no longer holds, unless something else has been said since.
    void StatusBarMessageOf(const std::string& source, const std::string& text);
    void WithdrawStatus(const std::string& source);
    std::string StatusText(int16_t panel) const;
    bool CheckDirectory(const std::string& path);
    void AddToMenu(const std::string& caption);
    void win1_Click(int index);
    // A menu caption as read, without its mnemonic marks.
    static QString PlainCaption(const QString& text);
    int16_t WindowMenuCount() const { return window_menu_count_; }
    int16_t MaxAcceptableTTFF() const { return state_.MaxAcceptableTTFF; }
    double FixAvailableTime() const { return state_.FixAvailableTime; }
    const std::string& ProgramFolder() const { return program_folder_; }
    const std::string& HelpFile() const { return help_file_; }

    // --- session ---
    void SystemConfigUpdate(const std::string& path) override;
    void InitializeDevices(const std::string& path) override;
    void SimulatorSettings(const std::string& type, const std::string& hostName, int32_t port) override;
    void exectest_Click();
    void StartTestSession(const std::string& name);
    void StopTestSession() { StopTesting_Click(); }
    void StopTesting_Click();
    // Asks first while a session runs.
    void NewTestSession_Click();
    void CloseAllWindows();
    // SIGTERM or SIGHUP (`name`): the session stops as closing the window
    // stops it, without asking, and the window closes.
    void StopForSignal(const std::string& name);
    bool SessionRunning() const { return engine_->SessionRunning(); }

    // --- options ---
    void SetMaxAcceptableTTFF(int16_t seconds);  // T120_Click .. T1000_Click
    void T120_Click() { SetMaxAcceptableTTFF(120); }
    void T180_Click() { SetMaxAcceptableTTFF(180); }
    void T240_Click() { SetMaxAcceptableTTFF(240); }
    void T300_Click() { SetMaxAcceptableTTFF(300); }
    void T500_Click() { SetMaxAcceptableTTFF(500); }
    void T600_Click() { SetMaxAcceptableTTFF(600); }
    void T700_Click() { SetMaxAcceptableTTFF(700); }
    void T800_Click() { SetMaxAcceptableTTFF(800); }
    void T900_Click() { SetMaxAcceptableTTFF(900); }
    void T1000_Click() { SetMaxAcceptableTTFF(1000); }
    bool GetCARSTestSessionStatus() const { return marks_.CARS_Test_Session; }
    bool GetTSMsgStatus() const { return marks_.TS_ON; }
    bool CheckDeviceEnabled(int slot) const { return fanout_->CheckDeviceEnabled(slot); }
    // The script command "MAKEKML".
    void MakeKML() { fanout_->MakeKML(); }

    // --- parts the rest of the bench reaches ---
    BenchHost& Host() { return *host_ptr_; }
    session::TestEngine& Engine() { return *engine_; }
    session::DeviceFanout& Fanout() { return *fanout_; }
    session::BenchState& State() { return state_; }
    session::SessionServices& Services() { return services_; }
    session::ResultsGrid& Grid() { return grid_; }
    BenchWindows& Windows() { return windows_; }
    session::ScriptPanelOwner& ScriptPanel() { return *script_panel_; }
    LabSatOwner& LabSat() { return *labsat_; }
    ExtControlOwner& ExternalControl() { return *ext_control_; }
    ReplayOwner& LogReplay() { return *replay_; }
    TestingConfig& ConfigDialog() { return *config_dialog_; }
    Coords& CoordsWindow();
    Results& ResultsWindow();
    // The report builders with their workbooks and progress window.
    reports::ReportCommands& Reports() { return *reports_; }
    TaskMonitor& TaskMonitorWindow();
    // The simulator's controller lives as long as this window; its window is
    // made the first time it is shown.
    sim::SimMng& Simulator() { return *sim_; }
    sim::SimWindow& SimulatorWindow();
    // The menu entry of that control name (nullptr when none).
    QAction* Entry(const std::string& name) const;
    QMenu* Menu(const std::string& name) const;
    DeviceOps* NmeaWindow(int slot) const { return state_.NmeaWindows[slot]; }
    DeviceOps* DebugWindow(int slot) const { return state_.DebugWindows[slot]; }
    QWidget* NmeaWidget(int slot) const { return nmea_widgets_[slot]; }
    QWidget* DebugWidget(int slot) const { return debug_widgets_[slot]; }
    QMdiArea* Workspace() const { return mdi_; }

    // How the help page is opened (the desktop's browser by default).
    void SetHelpOpener(std::function<bool(const std::string& file)> opener) { help_opener_ = std::move(opener); }

protected:
    void closeEvent(QCloseEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    // The host the device windows call; keeps the menus in step with
    // sessions that receivers start and stop.
    class MainHost final : public BenchHost {
    public:
        MainHost(Benchtop& top, session::SessionHost& inner) : top_(top), inner_(inner) {}
        bool GetTSMsgStatus() const override { return inner_.GetTSMsgStatus(); }
        bool NmeaCRCChecked() const override { return inner_.NmeaCRCChecked(); }
        bool NTCChecked() const override { return inner_.NTCChecked(); }
        bool GetCARSTestSessionStatus() const override { return inner_.GetCARSTestSessionStatus(); }
        bool TestSessionRunning() const override { return inner_.TestSessionRunning(); }
        void StopTestSession() override { top_.StopTestSession(); }
        void StartTestSession(const std::string& name) override { top_.StartTestSession(name); }
        void TestingChangePrimaryLogFile(const std::string& s) override { inner_.TestingChangePrimaryLogFile(s); }
        void DeviceSetVersionString(int16_t id, const std::string& v) override { inner_.DeviceSetVersionString(id, v); }
        void DeviceDisable(int16_t id) override { inner_.DeviceDisable(id); }
        void RestartSingleDevice(int16_t port) override { inner_.RestartSingleDevice(port); }
        void SetPCtoUTCDeltaTime(int32_t s) override { inner_.SetPCtoUTCDeltaTime(s); }
        int32_t GetPCtoUTCDeltaTime() const override { return inner_.GetPCtoUTCDeltaTime(); }
        void SetFixAvailableTime(double t) override { inner_.SetFixAvailableTime(t); }
        double FixAvailableTime() const override { return inner_.FixAvailableTime(); }
        int16_t MaxAcceptableTTFF() const override { return inner_.MaxAcceptableTTFF(); }
        void StatusBarMessage(int16_t panel, const std::string& text) override { top_.StatusBarMessage(panel, text); }
        void StatusBarNotice(const std::string& key, const std::string& text) override {
            top_.StatusBarNotice(key, text);
        }
        void FormatDeviceTTFFSheet(workbook::Application& excel, workbook::Worksheet& sheet, const std::string& name,
                                   int16_t n, int16_t limit) override {
            inner_.FormatDeviceTTFFSheet(excel, sheet, name, n, limit);
        }
        void CreateDeviceTTFFChart(workbook::Workbook& book, const std::string& device, const std::string& name,
                                   const std::string& data, int16_t r1, int16_t c1, int16_t r2, int16_t c2) override {
            inner_.CreateDeviceTTFFChart(book, device, name, data, r1, c1, r2, c2);
        }

    private:
        Benchtop& top_;
        session::SessionHost& inner_;
    };

    // Warnings of the engine go to the bench's prompt service, never waited on.
    class PromptWarner final : public session::IPrompter {
    public:
        void Warn(const std::string& title, const std::string& text) override;
    };

    // The report builders as the engine and the builders see the bench
    // (benchtop_reports.cpp).
    class ReportLink final : public session::IReportBuilder, public reports::ReportHost {
    public:
        explicit ReportLink(Benchtop& top) : top_(top) {}
        void BeginSessionReports() override;
        void CreateReportSheet(const std::string& base, const std::string& test) override;
        void ImportTestResults(const std::string& base, const std::string& test) override;
        int16_t MaxAcceptableTTFF() const override;
        reports::TypedPosition AntennaPosition() const override;

    private:
        Benchtop& top_;
    };
    void MakeReports();
    // The antenna position kept in the configuration (benchtop_reports.cpp):
    // a submitted one goes into "Config.dat" and the configuration dialog's
    // working copy; one that a loaded configuration holds into the dialog.
    void KeepAntennaPosition(const AntennaPosition& position);
    void ShowStoredAntenna(const SystemConfig& config);

    // Start-up (benchtop.cpp).
    void MDIForm_Load();
    void Benchtop_FormCfg();
    void MDIForm_Unload();
    void BuildWorkspace();
    void MakeInstruments();
    void MakeReplay();
    void SyncSessionControls();
    // Runs a menu command or callback: errors are reported, never passed to
    // the event loop.
    template <class F>
    void Handle(const char* procedure, F&& body) noexcept;
    // Device windows.
    DeviceWindowFactory::Made MakeWindow();
    void Forget(QWidget* widget);
    void BringToFront(QWidget* widget);
    // A new device window beside the others, or cascaded from them, wholly
    // inside the visible workspace. A live one may also open along the top
    // over the others' right parts (a replay window never covers the live
    // windows' title bars).
    void PlaceInView(QMdiSubWindow* sub, bool alongTop = true);
    // Window `index` of the `planned` ones a set-up opens: as PlaceInView
    // while they all fit cascaded at the least size that shows their
    // panels, else on a grid of offsets that gives each that size and
    // leaves the start of every title bar in reach.
    void PlaceSetUpWindow(QMdiSubWindow* sub, int index, int planned);
    // A replay device window, where it leaves the live ones' tables and
    // position panels in view (benchtop_placement.cpp).
    void PlaceReplayInView(QMdiSubWindow* sub);
    // A rectangle moved, and shrunk if it must be, to lie wholly inside view.
    static QRect FittedInto(const QRect& view, QRect at);
    void PlaceClearOfTables(QWidget& window);
    // What a window opened over the workspace should leave in view, in
    // screen coordinates, by weight.
    struct Obstacles {
        std::vector<QRect> menus, tables, titles, controls, windows;
        std::vector<std::vector<QRect>> bars;  // each title bar's parts in view
    };
    Obstacles ObstaclesAround(const QWidget& window) const;
    // The windows that open over the workspace: the results grid, the
    // replay's controls, the command panel and the instruments.
    std::vector<QWidget*> SessionWindows() const;
    void WatchForRoom(QWidget& window);
    void GrowBackShrunkWindows();
    static std::string Caption(QWidget* widget);
    void ResetWindowMenu();
    // The Window menu's entry of the results grid: shown once the grid has
    // a window, with a letter no device window's entry uses.
    void RefreshResultsEntry();

    // Menus (benchtop_menus.cpp).
    void BuildMenus();
    QAction* AddEntry(QMenu* menu, const char* name, const char* caption, bool checkable = false,
                      bool checked = false);
    QMenu* AddMenu(QMenu* parent, const char* name, const char* caption);
    QString WithMnemonic(const QString& caption, int index) const;
    void AddMenuBarKey();
    void MarkMaxTTFF(int16_t seconds);
    void PortTimeoutClicked(QAction* entry, bool enabled, int32_t ms);
    void NotAvailable(const char* caption);
    void NewW_Click();
    void PlayNmeaFile(bool start);
    void OpenTestSession_Click();
    void LoadConfig_Click();
    void NewTestSession();
    bool AskToStopSession(const char* question, const std::string& why);
    void StopSessionBecause(const std::string& why);
    void Hlp_Click();
    void HelpNotShown(const std::string& file, const std::string& why);
    // The results window, shown beside the device windows; activated only
    // when the user asks for it (from the Window menu).
    void ShowResultsWindow(bool activate = false);
    // The device slots the session runs (their columns show in the grid).
    std::array<bool, 4> SessionSlots() const;
    void AboutSW_Click();

    DeviceWindowFactory& factory_;
    BenchtopOptions options_;
    std::string program_folder_;
    std::string help_file_;

    // Engine and its surroundings.
    session::BenchState state_;
    session::SessionServices services_;
    session::DeviceOptionMarks marks_;
    session::ResultsGrid grid_;
    std::unique_ptr<platform::QtTimer> test_timer_, chrs_timer_, script_timer_;
    std::unique_ptr<session::LocalFileSystem> files_;
    session::SessionSpreadsheet spreadsheet_;
    std::unique_ptr<session::ClockSeededRandom> random_;
    session::QtScheduler scheduler_;
    std::unique_ptr<session::DetachedLauncher> launcher_;
    session::SystemLogSink log_sink_;
    PromptWarner warner_;
    // Before the engine, which calls it, so it goes after the engine.
    std::unique_ptr<sim::SimMng> sim_;
    std::unique_ptr<sim::SimScriptAdapter> sim_script_;
    std::unique_ptr<session::DeviceFanout> fanout_;
    std::unique_ptr<session::TestEngine> engine_;
    std::unique_ptr<session::SessionHost> session_host_;
    std::unique_ptr<MainHost> host_ptr_;
    std::unique_ptr<session::ScriptPanelOwner> script_panel_;
    BenchWindows windows_;
    std::unique_ptr<ReportLink> report_link_;
    std::unique_ptr<reports::ReportCommands> reports_;
    std::unique_ptr<LabSatOwner> labsat_;
    std::unique_ptr<ExtControlOwner> ext_control_;
    std::unique_ptr<ReplayOwner> replay_;
    std::string config_file_path_;  // the last "Open Test Session" file

    // Widgets.
    QMdiArea* mdi_ = nullptr;
    std::array<QLabel*, 2> panels_{};
    std::string panel2_text_;  // the passing text of panel 2
    std::string panel1_source_;  // who said panel 1's text ("" when nobody withdraws it)
    std::vector<std::pair<std::string, std::string>> notices_;  // key, text, oldest first
    void ShowPanel2();
    std::map<std::string, QAction*> entries_;
    std::map<std::string, QMenu*> menus_;
    std::vector<QAction*> win1_;
    int16_t window_menu_count_ = 0;
    QAction* results_separator_ = nullptr;
    QAction* results_entry_ = nullptr;  // "ResultsWindow", after the device windows
    TestingConfig* config_dialog_ = nullptr;
    QPointer<Coords> coords_;
    QPointer<Results> results_;
    bool results_placed_ = false;
    bool sim_placed_ = false;
    QPointer<frmAbout> about_;
    QPointer<TaskMonitor> task_monitor_;
    QPointer<sim::SimWindow> sim_window_;
    // Cleared when a window goes, whoever closes it.
    std::array<QWidget*, DeviceSlots> nmea_widgets_{}, debug_widgets_{};
    std::map<QWidget*, DeviceOps*> ops_of_;  // every device window made, extra ones too
    std::function<bool(const std::string&)> help_opener_;
    bool unloaded_ = false;
    bool shown_once_ = false;
};

template <class F>
void Benchtop::Handle(const char* procedure, F&& body) noexcept {
    try {
        body();
    } catch (...) {
        ErrorReport(procedure);
        ErrorMessageBox();
    }
    SyncSessionControls();
}

}  // namespace bench
