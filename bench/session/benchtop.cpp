// The main window: start-up, status bar, window list, device set-up and the
// session commands. The menus are built in benchtop_menus.cpp.
#include "bench/session/benchtop.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QFileInfo>
#include <QGuiApplication>
#include <QScreen>
#include <QLabel>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenu>
#include <QShowEvent>
#include <QStyle>
#include <QStatusBar>
#include <QTimer>
#include <QWindow>

#include <algorithm>
#include <cctype>
#include <cstdio>

#include "bench/devices/byte_log.h"
#include "bench/devices/system_log.h"
#include "bench/instruments/sim_mng.h"
#include "bench/instruments/sim_script.h"
#include "bench/instruments/sim_window.h"
#include "bench/session/results_window.h"
#include "platform/core/clock.h"
#include "platform/core/codepage.h"
#include "platform/core/paths.h"
#include "platform/comm/serial_port.h"
#include "platform/qt/bench_timer.h"
#include "platform/qt/owned_window.h"
#include "platform/qt/program_folder.h"
#include "platform/ui/prompts.h"

namespace bench {

namespace {

QString Latin1(const std::string& s) { return QString::fromLatin1(s.data(), static_cast<int>(s.size())); }

// The help page shipped beside the program.
constexpr const char* kHelpFileName = "fixbench.html";

constexpr const char* kNoDeviceEnabled =
    "No device is enabled: a test session needs at least one. Enable a device in the configuration "
    "(Testing > New Test Session) and press OK, then start again.";

// The source of the external program's status texts.
constexpr const char* kExternControl = "Extern Control";

constexpr const char* kStartWithoutResults = ".\n\nStart the test session anyway?";

constexpr const char* kCloseDuringSession =
    "A test session is running. Stop the session and close Fixbench?";
constexpr const char* kNewSessionDuringSession =
    "A test session is running. Stop the session and start a new one?";


QMdiSubWindow* SubWindowOf(QWidget* widget) {
    return widget ? qobject_cast<QMdiSubWindow*>(widget->parentWidget()) : nullptr;
}

// Runs once, when the watched window is first shown.
class FirstShowPlacer : public QObject {
public:
    FirstShowPlacer(QObject* parent, std::function<void()> place) : QObject(parent), place_(std::move(place)) {}
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Show && place_) {
            auto place = std::move(place_);
            place_ = nullptr;
            place();
        }
        return QObject::eventFilter(watched, event);
    }

private:
    std::function<void()> place_;
};

}  // namespace

void Benchtop::PromptWarner::Warn(const std::string& title, const std::string& text) {
    platform::Prompts::Instance().Inform(text, title, platform::Icon::Warning);
}

Benchtop::Benchtop(DeviceWindowFactory& factory, QWidget* parent, BenchtopOptions options)
    : QMainWindow(parent), factory_(factory), options_(options), program_folder_(platform::ProgramFolder()) {
    setObjectName("Benchtop");
    setWindowTitle("Fix Bench");
    // The device windows need all the room the screen has: nearly all of
    // it, from its top left (less the window's frame).
    QSize size(1500, 1000);
    if (QScreen* screen = QGuiApplication::primaryScreen()) {
        const QRect area = screen->availableGeometry();
        size = QSize(area.width() * 98 / 100, area.height() * 95 / 100);
        move(area.topLeft());
    }
    resize(size);

    test_timer_ = std::make_unique<platform::QtTimer>(500, false);
    chrs_timer_ = std::make_unique<platform::QtTimer>(10, false);
    script_timer_ = std::make_unique<platform::QtTimer>(1000, false);
    files_ = std::make_unique<session::LocalFileSystem>(program_folder_);
    random_ = std::make_unique<session::ClockSeededRandom>(platform::SystemClock::Instance());
    launcher_ = std::make_unique<session::DetachedLauncher>(
        !options_.programsFolder.empty() ? options_.programsFolder
                                         : QCoreApplication::applicationDirPath().toStdString());

    services_.clock = &platform::SystemClock::Instance();
    services_.status = this;
    services_.log = &log_sink_;
    services_.files = files_.get();
    services_.spreadsheet = &spreadsheet_;
    services_.prompter = &warner_;
    services_.random = random_.get();
    services_.launcher = launcher_.get();
    services_.results = &grid_;
    services_.testTimer = test_timer_.get();
    services_.chrsTimer = chrs_timer_.get();
    services_.scriptTimer = script_timer_.get();
    services_.scheduler = &scheduler_;
    MakeReports();
    MakeInstruments();

    sim::SimServices simServices;
    simServices.clock = &platform::SystemClock::Instance();
    simServices.mainStatus = this;
    simServices.log = [](const std::string& text) { SystemLogWrite(text); };
    simServices.warnUser = [](const std::string& text, const std::string& title) {
        platform::Prompts::Instance().Inform(text, title, platform::Icon::Warning);
    };
    sim_ = std::make_unique<sim::SimMng>(std::make_unique<sim::TcpSimTransport>(),
                                         std::make_unique<platform::QtTimer>(1000, false),
                                         std::make_unique<platform::QtTimer>(1000, false),
                                         std::make_unique<platform::QtTimer>(0, false), std::move(simServices));
    services_.simulator = sim_.get();
    windows_.showSimulator = [this] {
        // Placed when first shown, clear of the device windows' tables.
        if (!sim_placed_) {
            SimulatorWindow().adjustSize();
            PlaceClearOfTables(SimulatorWindow());
            sim_placed_ = true;
        }
        SimulatorWindow().show();
        SimulatorWindow().raise();
    };
    sim_script_ = std::make_unique<sim::SimScriptAdapter>(*sim_, [this] { windows_.showSimulator(); });
    windows_.simulatorSettings = [this](const std::string& type, const std::string& host, int32_t port) {
        sim_->SetSimType(type);
        sim_->SetSimName(type);
        sim_->SetSimHostName(host);
        sim_->SetSimHostPort(port);
    };

    fanout_ = std::make_unique<session::DeviceFanout>(state_, services_);
    engine_ = std::make_unique<session::TestEngine>(state_, *fanout_, services_);
    session_host_ = std::make_unique<session::SessionHost>(*engine_, marks_);
    host_ptr_ = std::make_unique<MainHost>(*this, *session_host_);
    script_panel_ = std::make_unique<session::ScriptPanelOwner>(*fanout_, *engine_, services_, program_folder_, this);
    script_panel_->simulatorScript = sim_script_.get();
    services_.script = script_panel_.get();
    // Clear of the device windows' tables, as the results grid.
    script_panel_->place = [this](QWidget& window) { PlaceClearOfTables(window); };
    windows_.showScriptPanel = [this] { script_panel_->Show(); };
    MakeReplay();
    // A session can end on a tick of either machine; Start follows it.
    test_timer_->SetTickHandler([this] {
        engine_->TestStateMachineTimer_Timer();
        SyncSessionControls();
    });
    script_timer_->SetTickHandler([this] {
        engine_->ScriptExecutionTimer_Timer();
        SyncSessionControls();
    });
    engine_->maxTtffChanged = [this](int16_t seconds) { MarkMaxTTFF(seconds); };
    // The engine's first use of the results grid creates its window, which
    // shows each trial's value as it arrives; a test starting afresh shows
    // it again if the user closed it.
    grid_.changed = [this] {
        if (!results_) ShowResultsWindow();
    };
    grid_.cleared = [this] {
        if (results_ && !results_->isVisible()) ShowResultsWindow();
    };

    BuildWorkspace();
    BuildMenus();
    // A log the disk refuses is shown at once and stays in view: a night's
    // session must not look clean until its end.
    WriteFailures::SetListener([this](const std::string& path, const std::string& cause) {
        StatusBarNotice("log " + path, "Log not written: " + path + " (" + cause + ")");
    });
    WriteFailures::SetWholeListener([this](const std::string& path) { StatusBarNotice("log " + path, ""); });
    MDIForm_Load();
}

Benchtop::~Benchtop() {
    WriteFailures::SetListener({});
    WriteFailures::SetWholeListener({});
    MDIForm_Unload();
    // Windows that draw this window's state go before it.
    delete results_.data();
    delete coords_.data();
    delete about_.data();
    delete task_monitor_.data();
    delete sim_window_.data();
    delete config_dialog_;
    config_dialog_ = nullptr;
}

// The LabSat unit and the external program: made on first use, kept for
// the life of the program. Their failures go to the system log and the
// status bar, never to a box that an unattended session would wait on.
void Benchtop::MakeInstruments() {
    auto report = [this](const std::string& text) {
        SystemLogWrite(text);
        StatusBarMessage(1, text);
    };
    labsat_ = std::make_unique<LabSatOwner>(
        this, [] { return std::make_unique<platform::SerialPort>(); },
        [report] { return std::make_unique<UnavailableLabSatBackend>(report); }, report);
    ext_control_ = std::make_unique<ExtControlOwner>(
        this, [] { return platform::MakeKeystrokeSink(); }, platform::SystemClock::Instance(),
        [](const std::string& program, const std::vector<std::string>& args) {
            return platform::StartProgram(program, args);
        },
        [this](const std::string& text) {
            SystemLogWrite(text);
            StatusBarMessageOf(kExternControl, text);
        });
    // A failure it no longer has (a program started since, keys that went,
    // its window closed) leaves the status bar.
    ext_control_->settled = [this] { WithdrawStatus(kExternControl); };
    services_.labsat = labsat_.get();
    services_.external = ext_control_.get();
    // Clear of the device windows' tables and of the other windows' title bars.
    labsat_->place = [this](QWidget& window) { PlaceClearOfTables(window); };
    ext_control_->place = [this](QWidget& window) { PlaceClearOfTables(window); };
    windows_.showLabSat = [this] { labsat_->Show(); };
    windows_.externalControl = [this](bool on) { ext_control_->SetShown(on); };
    ext_control_->closedByUser = [this] {
        if (QAction* entry = Entry("ExtCtr")) entry->setChecked(false);
    };
}

// The replay window: its device windows share the workspace with the live
// ones but stay out of the session's arrays and the Window menu.
void Benchtop::MakeReplay() {
    replay_ = std::make_unique<ReplayOwner>(
        this, host_ptr_.get(),
        [this](BenchHost& host) {
            DeviceWindowFactory::Made made = factory_.CreateDeviceWindow(host);
            QMdiSubWindow* sub = mdi_->addSubWindow(made.widget);
            sub->setAttribute(Qt::WA_DeleteOnClose);
            // A recording has no port to open (the live window holds it).
            made.ops->DeviceDisableOpenPort();
            made.ops->DeviceSetClosable();
            // Placed when shown, after the replay's own stacking: clear of
            // the live windows' tables and title bars, inside the workspace.
            sub->installEventFilter(new FirstShowPlacer(sub, [this, sub] { PlaceReplayInView(sub); }));
            return ReplayWindowMade{made.widget, made.ops};
        },
        [this](const std::string& text) {
            SystemLogWrite(text);
            StatusBarMessage(1, text);
        });
    // Placed before it is first shown: a window manager takes the place of
    // a window not yet mapped as its frame's, of one mapped as its client's.
    replay_->place = [this](QWidget& window) { PlaceClearOfTables(window); };
    windows_.showReplay = [this] { replay_->Show(); };
}

void Benchtop::closeEvent(QCloseEvent* event) {
    // Closing ends an unattended session and its trial: only when the user
    // says so, and the system log says where it stopped.
    if (!unloaded_ && !AskToStopSession(kCloseDuringSession, "the main window was closed")) {
        event->ignore();
        return;
    }
    MDIForm_Unload();
    if (config_dialog_) config_dialog_->hide();
    event->accept();
}

void Benchtop::showEvent(QShowEvent* event) {
    QMainWindow::showEvent(event);
    if (event->spontaneous() || shown_once_) return;
    shown_once_ = true;
    // The dialog opened before this window reached the screen, so a window
    // manager took it as a window of its own and buries it at the first
    // click here. Once this window is on the screen (next event-loop pass),
    // the manager is told again that this window owns it, and it comes to
    // the front. (Hidden and shown again, it could stay unmapped for good.)
    QTimer::singleShot(0, this, [this] {
        if (!config_dialog_ || !config_dialog_->isVisible()) return;
        platform::RestateOwner(*config_dialog_);
        config_dialog_->raise();
        config_dialog_->activateWindow();
    });
}

void Benchtop::MDIForm_Unload() {
    if (unloaded_) return;
    unloaded_ = true;
    // A session left running would keep restarting receivers with no window.
    engine_->StopSession("the main window was unloaded");
    // Device windows close their ports and files before the system log goes.
    CloseAllWindows();
    for (QMdiSubWindow* sub : mdi_->subWindowList()) delete sub;
    ops_of_.clear();
    CloseSystemLog();
}

void Benchtop::BuildWorkspace() {
    mdi_ = new QMdiArea(this);
    mdi_->setObjectName("MDIArea");
    mdi_->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    mdi_->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    setCentralWidget(mdi_);

    QStatusBar* bar = statusBar();
    bar->setObjectName("StatusBar1");
    for (int i = 0; i < 2; ++i) {
        panels_[i] = new QLabel(bar);
        panels_[i]->setObjectName(QString("StatusBar1_%1").arg(i + 1));
        panels_[i]->setTextFormat(Qt::PlainText);
        panels_[i]->setMinimumWidth(300);
        bar->addWidget(panels_[i], 1);
    }
}

void Benchtop::MDIForm_Load() {
    try {
        OpenSystemLog();
    } catch (const std::exception& e) {
        // The bench still runs; its lines go to stderr.
        std::fprintf(stderr, "system log not opened: %s\n", e.what());
    }
    Benchtop_FormCfg();
    // Set before the configuration dialog can create a device.
    state_.MaxAcceptableTTFF = 300;
    MarkMaxTTFF(300);
    config_dialog_ = new TestingConfig(*this, this);
    config_dialog_->setObjectName("TestingConfig");
    config_dialog_->setModal(false);
    config_dialog_->show();
    window_menu_count_ = 0;
    engine_->NcoInitialised = false;
    help_file_ = platform::JoinPath(program_folder_, kHelpFileName);
    SyncSessionControls();
}

void Benchtop::Benchtop_FormCfg() {
    if (options_.allMenus) return;
    static constexpr const char* kHidden[] = {
        "NewDebugWin", "ExtCtr", "PlayNmeaFile", "OpenTestSession", "ConfWindow", "NTC",
        "SBASTEST", "GGATimeCheck", "gconf", "SimMan", "ShowRes",
        "NewW", "DeviceWatchDogEn", "DevSerialPTimeout", "tool_menu", "GGASamp", "LabSatManagement"};
    for (const char* name : kHidden) {
        if (QMenu* m = Menu(name))
            m->menuAction()->setVisible(false);
        else if (QAction* a = Entry(name))
            a->setVisible(false);
    }
}

void Benchtop::SyncSessionControls() {
    const bool running = engine_ && engine_->SessionRunning();
    if (QAction* start = Entry("exectest")) start->setEnabled(!running);
}

// --- status bar and window list ---

void Benchtop::StatusBarMessage(int16_t panel, const std::string& text) {
    if (panel < 1 || panel > static_cast<int16_t>(panels_.size())) return;
    if (panel == 2) {
        panel2_text_ = text;
        ShowPanel2();
        return;
    }
    panel1_source_.clear();
    panels_[panel - 1]->setText(QString::fromStdString(platform::Cp1252ToUtf8(text)));
}

void Benchtop::StatusBarMessageOf(const std::string& source, const std::string& text) {
    StatusBarMessage(1, text);
    panel1_source_ = source;
}

void Benchtop::WithdrawStatus(const std::string& source) {
    if (source.empty() || panel1_source_ != source) return;
    StatusBarMessage(1, "");
}

void Benchtop::StatusBarNotice(const std::string& key, const std::string& text) {
    auto it = std::find_if(notices_.begin(), notices_.end(), [&](const auto& n) { return n.first == key; });
    if (text.empty()) {
        if (it != notices_.end()) notices_.erase(it);
    } else if (it != notices_.end()) {
        it->second = text;
    } else {
        notices_.emplace_back(key, text);
    }
    ShowPanel2();
}

void Benchtop::ShowPanel2() {
    std::string shown;
    for (const auto& n : notices_) shown += (shown.empty() ? "" : " | ") + n.second;
    if (!panel2_text_.empty()) shown += (shown.empty() ? "" : " | ") + panel2_text_;
    panels_[1]->setText(QString::fromStdString(platform::Cp1252ToUtf8(shown)));
}

std::string Benchtop::StatusText(int16_t panel) const {
    if (panel < 1 || panel > static_cast<int16_t>(panels_.size())) return {};
    return platform::Utf8ToCp1252(panels_[panel - 1]->text().toStdString());
}

bool Benchtop::CheckDirectory(const std::string& path) {
    try {
        return IsDirectory(platform::MapStoredPath(path, program_folder_)) == FlagSet;
    } catch (...) {
        return false;
    }
}

void Benchtop::AddToMenu(const std::string& caption) {
    QMenu* list = Menu("OWindows");
    if (window_menu_count_ >= static_cast<int16_t>(win1_.size())) {
        auto* a = new QAction(list);
        list->insertAction(results_separator_, a);
        a->setObjectName(QString("win1_%1").arg(window_menu_count_));
        const int index = window_menu_count_;
        connect(a, &QAction::triggered, this, [this, index] { Handle("win1_Click", [&] { win1_Click(index); }); });
        win1_.push_back(a);
    }
    win1_[window_menu_count_]->setText(WithMnemonic(Latin1(caption), window_menu_count_));
    win1_[window_menu_count_]->setVisible(true);
    ++window_menu_count_;
    RefreshResultsEntry();
}

void Benchtop::RefreshResultsEntry() {
    if (!results_entry_) return;
    results_entry_->setText(WithMnemonic(QStringLiteral("Results"), window_menu_count_));
    results_entry_->setVisible(results_ != nullptr);
    results_separator_->setVisible(results_ != nullptr && window_menu_count_ > 0);
}

// The caption with a letter underlined that no entry above it in the list
// uses; a "&" of the caption itself is shown as it is.
QString Benchtop::WithMnemonic(const QString& caption, int index) const {
    QString used;
    for (int i = 0; i < index && i < static_cast<int>(win1_.size()); ++i) {
        const QString t = win1_[i]->text();
        for (int k = 0; k + 1 < t.size(); ++k) {
            if (t[k] != '&') continue;
            if (t[k + 1] != '&') used += t[k + 1].toUpper();
            ++k;
        }
    }
    QString out = caption;
    out.replace('&', QStringLiteral("&&"));
    for (int k = 0; k < out.size(); ++k) {
        if (out[k] == '&') {
            ++k;
            continue;
        }
        if (out[k].isLetterOrNumber() && !used.contains(out[k].toUpper())) {
            out.insert(k, '&');
            break;
        }
    }
    return out;
}

QString Benchtop::PlainCaption(const QString& text) {
    QString out;
    for (int k = 0; k < text.size(); ++k) {
        if (text[k] == '&' && k + 1 < text.size()) ++k;
        out += text[k];
    }
    return out;
}

void Benchtop::win1_Click(int index) {
    if (index < 0 || index >= static_cast<int>(win1_.size())) return;
    const std::string chosen = PlainCaption(win1_[index]->text()).toLatin1().toStdString();
    for (int s = 0; s < DeviceSlots; ++s) {
        if (!fanout_->SlotEnabled(s)) continue;
        if (Caption(nmea_widgets_[s]) == chosen)
            BringToFront(nmea_widgets_[s]);
        else if (fanout_->DebugEnabled(s) && Caption(debug_widgets_[s]) == chosen)
            BringToFront(debug_widgets_[s]);
    }
}

std::string Benchtop::Caption(QWidget* widget) {
    return widget ? widget->windowTitle().toLatin1().toStdString() : std::string();
}

void Benchtop::BringToFront(QWidget* widget) {
    if (!widget) return;
    if (auto* sub = qobject_cast<QMdiSubWindow*>(widget->parentWidget())) {
        sub->showNormal();
        // Chosen from the list, it comes wholly into view wherever it was.
        sub->setGeometry(FittedInto(mdi_->viewport()->rect(), sub->geometry()));
        mdi_->setActiveSubWindow(sub);
        sub->raise();
    } else {
        widget->raise();
        widget->activateWindow();
    }
}

void Benchtop::ResetWindowMenu() {
    // The design-time element stays, empty and hidden; the rest go.
    for (size_t i = 1; i < win1_.size(); ++i) delete win1_[i];
    win1_.resize(1);
    win1_[0]->setText("win1");
    win1_[0]->setVisible(false);
    window_menu_count_ = 0;
    RefreshResultsEntry();
}

// --- device windows ---

DeviceWindowFactory::Made Benchtop::MakeWindow() {
    DeviceWindowFactory::Made made = factory_.CreateDeviceWindow(*host_ptr_);
    QMdiSubWindow* sub = mdi_->addSubWindow(made.widget);
    sub->setAttribute(Qt::WA_DeleteOnClose);
    ops_of_[made.widget] = made.ops;
    // A window closed by the user is no longer reached by any operation.
    QWidget* w = made.widget;
    connect(w, &QObject::destroyed, this, [this, w] { Forget(w); });
    return made;
}

void Benchtop::Forget(QWidget* widget) {
    ops_of_.erase(widget);
    for (int s = 0; s < DeviceSlots; ++s) {
        if (nmea_widgets_[s] == widget) {
            nmea_widgets_[s] = nullptr;
            state_.NmeaWindows[s] = nullptr;
        }
        if (debug_widgets_[s] == widget) {
            debug_widgets_[s] = nullptr;
            state_.DebugWindows[s] = nullptr;
        }
    }
}

void Benchtop::SystemConfigUpdate(const std::string& path) {
    Handle("SystemConfigUpdate", [&] {
        ConfigLoadResult loaded = LoadSystemConfig(path);
        if (!loaded.warning.empty()) SystemLogWrite(loaded.warning);
        if (loaded.refused) return;  // the active configuration stays
        engine_->SystemConfigUpdate(loaded.config);
        ShowStoredAntenna(loaded.config);
    });
}

void Benchtop::InitializeDevices(const std::string& path) {
    Handle("InitializeDevices", [&] {
        // Windows of an earlier set-up would hold the same ports: they go
        // first, with the session that uses them.
        ConfigLoadResult loaded = LoadSystemConfig(path);
        if (!loaded.warning.empty()) SystemLogWrite(loaded.warning);
        if (loaded.refused) {
            // Nothing to set up from: the session and its windows stay.
            StatusBarMessage(1, loaded.warning);
            return;
        }
        engine_->StopSession("the devices were set up again");
        CloseAllWindows();

        engine_->SystemConfigUpdate(loaded.config);
        ShowStoredAntenna(loaded.config);
        const SystemConfig& cfg = state_.ActiveConfig;

        // Every window of the set-up gets its place knowing how many follow.
        int planned = 0, placed = 0;
        for (const DeviceConfig& d : cfg.Devices)
            if (d.DevEN == FlagSet) planned += d.DebugEN == FlagSet ? 2 : 1;
        for (int slot = 0; slot < DeviceSlots; ++slot) {
            const DeviceConfig& d = cfg.Devices[slot];
            if (d.DevEN != FlagSet) continue;
            DeviceWindowFactory::Made nmea = MakeWindow();
            nmea_widgets_[slot] = nmea.widget;
            state_.NmeaWindows[slot] = nmea.ops;
            DeviceOps& w = *nmea.ops;
            w.SetDeviceType(0);
            w.DeviceSetTestMode(0);
            w.SetDeviceName(d.DName);
            w.SetDeviceID(static_cast<int16_t>(slot));
            w.SetDeviceComParams(d.NmeaP, d.NmeaB);
            w.SetGPSStartupString(d.StartupS);
            w.SetDeviceMaxAcceptableTTFF(state_.MaxAcceptableTTFF);
            w.DeviceSetHWResetEnabled(d.HWRes == FlagSet);
            w.DeviceSetTop(static_cast<float>(w.DeviceGetHeight()) * static_cast<float>(slot));
            w.DeviceSetLeft(0);
            nmea.widget->show();
            PlaceSetUpWindow(SubWindowOf(nmea.widget), placed++, planned);
            w.DeviceEnableDataDecoding();
            w.Check1_Click();
            w.OpenPort_Click();
            AddToMenu(Caption(nmea.widget));

            if (d.DebugEN == FlagSet) {
                DeviceWindowFactory::Made debug = MakeWindow();
                debug_widgets_[slot] = debug.widget;
                state_.DebugWindows[slot] = debug.ops;
                DeviceOps& g = *debug.ops;
                g.SetDeviceType(1);
                g.SetDeviceName(d.DName);
                g.SetDeviceComParams(d.DebugP, d.DebugB);
                g.DeviceSetTop(static_cast<float>(g.DeviceGetHeight()) * static_cast<float>(slot));
                g.DeviceSetLeft(static_cast<float>(g.DeviceGetWidth()));
                debug.widget->show();
                PlaceSetUpWindow(SubWindowOf(debug.widget), placed++, planned);
                g.OpenPort_Click();
                AddToMenu(Caption(debug.widget));
            }
        }
        if (results_) results_->ShowSlots(SessionSlots());
        StatusBarMessage(1, "");
    });
}

std::array<bool, 4> Benchtop::SessionSlots() const {
    std::array<bool, 4> in_session{};
    for (int s = 0; s < DeviceSlots; ++s) in_session[static_cast<size_t>(s)] = fanout_->SlotEnabled(s);
    return in_session;
}

void Benchtop::SimulatorSettings(const std::string& type, const std::string& hostName, int32_t port) {
    if (windows_.simulatorSettings) windows_.simulatorSettings(type, hostName, port);
}

void Benchtop::CloseAllWindows() {
    for (int s = 0; s < DeviceSlots; ++s) {
        for (QWidget** w : {&nmea_widgets_[s], &debug_widgets_[s]}) {
            QWidget* widget = *w;
            *w = nullptr;
            if (!widget) continue;
            ops_of_.erase(widget);
            // The sub-window goes with the device window inside it.
            if (auto* sub = qobject_cast<QMdiSubWindow*>(widget->parentWidget()))
                delete sub;
            else
                delete widget;
        }
        state_.NmeaWindows[s] = nullptr;
        state_.DebugWindows[s] = nullptr;
    }
    if (!win1_.empty()) ResetWindowMenu();
    // What was kept in view was about these windows' ports and logs.
    notices_.clear();
    ShowPanel2();
}

// --- session commands ---

void Benchtop::exectest_Click() {
    Handle("exectest_Click", [&] {
        if (engine_->SessionRunning()) return;
        // A session without a receiver would end at once as "completed".
        bool any = false;
        for (int s = 0; s < DeviceSlots; ++s) any = any || fanout_->SlotEnabled(s);
        if (!any) {
            SystemLogWrite("Test session not started: no device enabled");
            platform::Prompts::Instance().Inform(kNoDeviceEnabled, "WARNING", platform::Icon::Warning);
            return;
        }
        // Nothing to report on afterwards: said before the session runs. Enter
        // (and an unattended run) goes on as configured.
        if (const std::string none = engine_->ResultsNotKept(); !none.empty()) {
            const platform::Answer a = platform::Prompts::Instance().Ask(
                none + kStartWithoutResults, platform::Buttons::YesNo, "WARNING", platform::Icon::Question,
                platform::Answer::Yes);
            if (a != platform::Answer::Yes) {
                SystemLogWrite("Test session not started: " + none);
                return;
            }
        }
        engine_->StartSession();
    });
}

void Benchtop::StartTestSession(const std::string& name) {
    // The name comes from a receiver's sentence and becomes part of a folder
    // name: nothing in it may lead elsewhere.
    std::string safe = name;
    for (char& c : safe) {
        const unsigned char u = static_cast<unsigned char>(c);
        if (!(std::isalnum(u) && u < 0x80) && c != '.' && c != '_' && c != '-') c = '_';
    }
    Handle("StartTestSession", [&] { engine_->StartTestSession(safe); });
}

void Benchtop::StopTesting_Click() { StopSessionBecause("Stop was chosen"); }

// Ending an unattended session and its trial: only when the user says so.
// False (the session goes on) for any answer but Yes.
bool Benchtop::AskToStopSession(const char* question, const std::string& why) {
    if (!engine_->SessionRunning()) return true;
    // Enter keeps it running.
    const platform::Answer answer = platform::Prompts::Instance().Ask(
        question, platform::Buttons::YesNo, "WARNING", platform::Icon::Question, platform::Answer::No);
    if (answer != platform::Answer::Yes) return false;
    // It may have ended by itself while the question was up.
    if (engine_->SessionRunning()) StopSessionBecause(why);
    return true;
}

// The system log says where the session stopped, and the trial under way
// is written as failed rather than lost.
void Benchtop::StopSessionBecause(const std::string& why) {
    Handle("StopSession", [&] { engine_->StopSession(why); });
}

void Benchtop::StopForSignal(const std::string& name) {
    StopSessionBecause(name + " was received");
    SystemLogWrite("Fixbench closed: " + name + " was received");
    close();
}

void Benchtop::NewTestSession_Click() {
    if (!AskToStopSession(kNewSessionDuringSession, "New Test Session was chosen")) return;
    NewTestSession();
}

void Benchtop::NewTestSession() {
    Handle("NewTestSession_Click", [&] {
        engine_->StopSession("New Test Session was chosen");
        CloseAllWindows();
        // The old session's values and trial counter go with it. (Without
        // a window the grid was never written.)
        if (results_) grid_.ClearSession();
        config_dialog_->show();
        config_dialog_->raise();
    });
}

void Benchtop::SetMaxAcceptableTTFF(int16_t seconds) {
    Handle("MaxAllowedTTFF", [&] { engine_->SetMaxAcceptableTTFF(seconds); });
    MarkMaxTTFF(seconds);
}

Coords& Benchtop::CoordsWindow() {
    if (!coords_) {
        coords_ = new Coords(this);
        connect(coords_, &Coords::Submitted, this, [this](const AntennaPosition& p) {
            Handle("SetAntennaCoordinates", [&] { KeepAntennaPosition(p); });
        });
        // The position kept in the program folder's configuration, if any;
        // a damaged file is told by the configuration dialog.
        const ConfigLoadResult kept = LoadSystemConfig(platform::JoinPath(program_folder_, "Config.dat"));
        ShowStoredAntenna(kept.config);
    }
    return *coords_;
}

TaskMonitor& Benchtop::TaskMonitorWindow() {
    if (!task_monitor_) {
        task_monitor_ = new TaskMonitor(this);
    }
    return *task_monitor_;
}

Results& Benchtop::ResultsWindow() {
    if (!results_) {
        results_ = new Results(grid_, this);
        results_->ShowSlots(SessionSlots());
        results_placed_ = false;
        RefreshResultsEntry();
    }
    return *results_;
}

sim::SimWindow& Benchtop::SimulatorWindow() {
    if (!sim_window_) {
        sim_window_ = new sim::SimWindow(*sim_, this);
        sim_placed_ = false;
    }
    return *sim_window_;
}

void Benchtop::ShowResultsWindow(bool activate) {
    Results& window = ResultsWindow();
    // Placed when first shown, not when made, so that it avoids the session
    // windows open by then; before it is mapped (see the replay's).
    if (!results_placed_) {
        PlaceClearOfTables(window);
        results_placed_ = true;
    }
    if (activate) {  // chosen by the user
        window.show();
        window.raise();
        window.activateWindow();
        return;
    }
    // The keys stay in the window the session was started from. The window
    // asks not to be activated; where the platform activates it anyway (at
    // the first change of focus after showing it), the focus goes back.
    QPointer<QWidget> had = QApplication::activeWindow();
    const bool was_visible = window.isVisible();
    window.show();
    if (was_visible || !had || had == &window) return;
    auto watch = std::make_shared<QMetaObject::Connection>();
    *watch = connect(qApp, &QGuiApplication::focusWindowChanged, this,
                     [watch, had, shown = QPointer<QWidget>(&window)](QWindow* focus) {
                         QObject::disconnect(*watch);
                         if (had && shown && focus && focus == shown->windowHandle()) had->activateWindow();
                     });
    QTimer::singleShot(1000, this, [watch] { QObject::disconnect(*watch); });
}

}  // namespace bench
