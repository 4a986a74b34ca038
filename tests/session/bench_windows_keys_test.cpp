// The bench's windows that are not dialogs, by keyboard, on two emulated
// receivers: Enter presses the focused button (the script panel's command
// line and the simulator's boxes their default button), Alt+letter opens
// the main window's menus and types nothing, Escape closes a window as its
// close button does and asks first where that stops something, Ctrl+F4
// closes a workspace window, and the keys come back where they were after
// a file dialog.
#include <QComboBox>
#include <QGroupBox>
#include <QLineEdit>
#include <QListWidget>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenu>
#include <QPushButton>
#include <QTabWidget>

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>

#include "bench/instruments/command_panel_window.h"
#include "bench/instruments/ext_control_window.h"
#include "bench/instruments/labsat_window.h"
#include "bench/instruments/replay.h"
#include "bench/instruments/replay_window.h"
#include "bench/instruments/sim_mng.h"
#include "bench/instruments/sim_window.h"
#include "bench/session/device_windows.h"
#include "bench/session/results_window.h"
#include "bench/session/script_bench.h"
#include "tests/instruments/replay_logs.h"
#include "tests/session/benchtop_fixture.h"
#include "tests/session/keys_ui.h"
#include "tests/support/emulated_receiver.h"
#include "tests/support/fake_sim_server.h"

namespace benchtop_test {
namespace {

using keys_test::FocusName;
using keys_test::PressEnter;
using keys_test::TabTo;

class WindowKeys : public ::testing::Test {
protected:
    void SetUp() override {
        dialogs_test::ResetPrompts();
        home = std::make_unique<test::TempHome>();
    }
    void TearDown() override {
        top.reset();
        for (auto& r : rx) r.reset();
        dialogs_test::ResetPrompts();
    }
    // The main window with two receivers on pseudo-terminals, OK pressed.
    void OpenWithTwoReceivers() {
        bench::SystemConfig c;
        bench::SystemConfigReset(c);
        for (int s = 0; s < 2; ++s) {
            rx[s] = std::make_unique<test::EmulatedReceiver>();
            rx[s]->RegisterPort(7 + s);
            c.Devices[s].DevEN = bench::FlagSet;
            c.Devices[s].DName = "RCV" + std::to_string(s + 1);
            c.Devices[s].NmeaP = static_cast<int16_t>(7 + s);
            c.Devices[s].NmeaB = 9600;
        }
        bench::TestEditorValues v;
        v.type = "COLD";
        v.testField = {"3", "0", "0", "6", "10"};
        c.TestLines[0] = bench::BuildTestLine(v);
        bench::ParseTestLine(c.TestLines[0], c.Tests[0]);
        c.Tests[0].Enabled = bench::FlagSet;
        ASSERT_TRUE(bench::SaveSystemConfig(home->File("Config.dat"), c).ok);
        top = std::make_unique<bench::Benchtop>(factory, nullptr, bench::BenchtopOptions{});
        top->show();
        test::Pump(100);
        top->ConfigDialog().close();
        top->ConfigDialog().show();  // reads Config.dat afresh
        dialogs_test::Click(&top->ConfigDialog(), "Save_Command");
        test::Pump(100);
        ASSERT_NE(top->NmeaWidget(1), nullptr);
        keys_test::Focus(top.get());
    }
    // How many lines holding `text` each receiver got.
    std::vector<int> Got(const std::string& text) {
        std::vector<int> n;
        for (int s = 0; s < 2; ++s) {
            const std::vector<std::string> lines = rx[s]->ReceivedLines();
            n.push_back(static_cast<int>(std::count_if(lines.begin(), lines.end(), [&](const std::string& l) {
                return l.find(text) != std::string::npos;
            })));
        }
        return n;
    }
    bool GotEach(const std::string& text, int count) {
        return test::WaitFor([&] { return Got(text) == std::vector<int>{count, count}; }, 3000);
    }
    QWidget* ShowByEntry(const char* entry, std::function<QWidget*()> window) {
        top->findChild<QAction*>(entry)->trigger();
        test::Pump(50);
        QWidget* w = window();
        if (!w || !w->isVisible()) {
            ADD_FAILURE() << entry << " showed no window";
            return nullptr;
        }
        keys_test::Focus(w);
        return w;
    }
    QWidget* CommandPanel() {
        return ShowByEntry("CommPanel", [this] { return static_cast<QWidget*>(top->ScriptPanel().Window()); });
    }
    QWidget* Simulator() {
        return ShowByEntry("ConfigSim", [this] { return static_cast<QWidget*>(top->findChild<bench::sim::SimWindow*>()); });
    }
    QWidget* ReplayControls() {
        return ShowByEntry("LogFileReplay", [this] { return static_cast<QWidget*>(top->findChild<bench::ReplayWindow*>()); });
    }
    // Puts the keyboard on the control, as a click on it does.
    static void FocusOn(QWidget* window, const char* name) {
        auto* w = window->findChild<QWidget*>(name);
        ASSERT_NE(w, nullptr) << name;
        w->setFocus(Qt::MouseFocusReason);
        test::Pump(10);
        ASSERT_EQ(FocusName().toStdString(), name);
    }
    static void TypeChars(const QString& text) {
        for (QChar c : text) test::PressKey(0, Qt::NoModifier, QString(c));
    }

    std::unique_ptr<test::TempHome> home;
    std::array<std::unique_ptr<test::EmulatedReceiver>, 2> rx;
    bench::CommWindowFactory factory;
    std::unique_ptr<bench::Benchtop> top;
};

TEST_F(WindowKeys, EnterPressesTheFocusedButtonOfTheCommandPanelAndExecutesItsCommandLine) {
    OpenWithTwoReceivers();
    QWidget* panel = CommandPanel();
    ASSERT_NE(panel, nullptr);
    ASSERT_TRUE(TabTo("Command16")) << FocusName().toStdString();  // HOT
    PressEnter();
    EXPECT_TRUE(GotEach("$PQNVHOT", 1)) << "Enter on HOT sent no $PQNVHOT";
    // Space as before.
    test::PressKey(Qt::Key_Space, Qt::NoModifier, " ");
    EXPECT_TRUE(GotEach("$PQNVHOT", 2)) << "Space on HOT";
    EXPECT_TRUE(panel->isVisible());

    // A command typed into the command line, then Enter: Execute.
    FocusOn(panel, "CommandList");
    TypeChars("SEND>$PQNVWARM");
    PressEnter();
    EXPECT_TRUE(GotEach("$PQNVWARM", 1)) << "Enter in the command line did not execute it";
    EXPECT_EQ(Got("$PQNVHOT"), (std::vector<int>{2, 2})) << "Enter pressed another button too";
}

TEST_F(WindowKeys, EnterPressesAddAndDoneInTheReplay) {
    OpenWithTwoReceivers();
    QWidget* replay = ReplayControls();
    ASSERT_NE(replay, nullptr);
    const std::string log = home->File("drive.txt");
    test::WriteFileBytes(log, replay_test::MakeLog(36000, 3).bytes);
    platform::Prompts::Instance().QueueFileName(log);
    platform::Prompts::Instance().QueueAnswer(platform::Answer::Yes);  // build its index
    ASSERT_TRUE(TabTo("Command3")) << FocusName().toStdString();  // Add
    PressEnter();
    auto* list = replay->findChild<QListWidget*>("List1");
    ASSERT_EQ(list->count(), 1) << "Enter on Add added no log";
    ASSERT_TRUE(TabTo("Command6")) << FocusName().toStdString();  // Done
    PressEnter();
    EXPECT_TRUE(replay->findChild<QGroupBox*>("Frame2")->isVisible()) << "Enter on Done: no player";
    EXPECT_FALSE(replay->findChild<QGroupBox*>("Frame1")->isVisible());
}

TEST_F(WindowKeys, EnterInTheSimulatorsBoxesConnectsToTheHostTyped) {
    OpenWithTwoReceivers();
    test::FakeSimServer server;
    QWidget* sim = Simulator();
    ASSERT_NE(sim, nullptr);
    ASSERT_TRUE(TabTo("Combo1")) << FocusName().toStdString();
    keys_test::Retype("127.0.0.1");
    ASSERT_TRUE(TabTo("Text1")) << FocusName().toStdString();
    keys_test::Retype(QString::number(server.Port()));
    PressEnter();
    EXPECT_TRUE(test::WaitFor([&] { return server.Connections() == 1; }, 3000)) << "Enter in the port box: no Connect";
    EXPECT_TRUE(test::WaitFor([&] { return top->Simulator().GetSimConnectionStatus(); }, 3000));
    EXPECT_EQ(top->Simulator().HostBox(), "127.0.0.1");
}

TEST_F(WindowKeys, SpaceTicksAndEnterPressesTheButtonsOfLabSat) {
    OpenWithTwoReceivers();
    test::EmulatedReceiver relay;
    relay.RegisterPort(9);
    QWidget* labsat = ShowByEntry("LabSatManagement", [this] {
        return static_cast<QWidget*>(top->findChild<bench::LabSatMngWindow*>());
    });
    ASSERT_NE(labsat, nullptr);
    ASSERT_TRUE(TabTo("RemoteFlag")) << FocusName().toStdString();
    test::PressKey(Qt::Key_Space, Qt::NoModifier, " ");
    ASSERT_TRUE(top->LabSat().Control().RemoteFlag()) << "Space left Remote Control clear";
    ASSERT_TRUE(TabTo("Combo1")) << FocusName().toStdString();
    keys_test::Retype("9");
    // Enter in the port box is no button's: the line stays shut.
    PressEnter();
    EXPECT_FALSE(top->LabSat().Control().Port().PortOpen()) << "Enter in the port box opened the line";
    ASSERT_TRUE(TabTo("Command1")) << FocusName().toStdString();  // Start
    PressEnter();
    EXPECT_TRUE(top->LabSat().Control().Port().PortOpen()) << "Enter on Start opened no line";
    EXPECT_EQ(labsat->findChild<QPushButton*>("Command1")->text(), "Stop");
    PressEnter();
    EXPECT_FALSE(top->LabSat().Control().Port().PortOpen()) << "Enter on Stop left the line open";
    EXPECT_TRUE(labsat->isVisible());
}

TEST_F(WindowKeys, AltLetterOpensTheMainWindowsMenuAndNeverTypesIntoABox) {
    OpenWithTwoReceivers();
    QWidget* sim = Simulator();
    ASSERT_NE(sim, nullptr);
    FocusOn(sim, "Combo1");
    auto* host = sim->findChild<QComboBox*>("Combo1");
    const QString before = host->currentText();
    // "b" is no letter of a menu shown: nothing happens, three times.
    for (int i = 0; i < 3; ++i) test::PressKey(Qt::Key_B, Qt::AltModifier, "b");
    EXPECT_EQ(host->currentText(), before) << "Alt+B typed into the host box";
    EXPECT_EQ(QApplication::activePopupWidget(), nullptr);
    EXPECT_EQ(top->findChild<bench::LabSatMngWindow*>(), nullptr) << "a hidden menu's entry ran";
    // "t" is the Testing menu's.
    ASSERT_TRUE(test::PressKey(Qt::Key_T, Qt::AltModifier, "t"));
    EXPECT_EQ(QApplication::activePopupWidget(), top->Menu("TestingMenu")) << "Alt+T in the simulator window";
    EXPECT_EQ(host->currentText(), before);
    test::PressKey(Qt::Key_Escape);
    test::PressKey(Qt::Key_Escape);

    // The command line: a letter no menu has types nothing either.
    QWidget* panel = CommandPanel();
    ASSERT_NE(panel, nullptr);
    FocusOn(panel, "CommandList");
    auto* command = panel->findChild<QComboBox*>("CommandList");
    TypeChars("SEND>");
    test::PressKey(Qt::Key_Q, Qt::AltModifier, "q");
    EXPECT_EQ(command->currentText(), "SEND>") << "Alt+Q typed into the command line";
    ASSERT_TRUE(test::PressKey(Qt::Key_O, Qt::AltModifier, "o"));
    EXPECT_EQ(QApplication::activePopupWidget(), top->Menu("opt")) << "Alt+O in the command panel";
    test::PressKey(Qt::Key_Escape);
}

TEST_F(WindowKeys, EscapeClosesEveryToolWindowAsItsCloseButtonDoes) {
    OpenWithTwoReceivers();
    top->Grid().UpdateTest(1, 3);  // a session's first trial shows the grid
    test::Pump(50);
    std::vector<std::pair<const char*, QWidget*>> windows = {
        {"Command Panel", CommandPanel()},
        {"Simulator Management", Simulator()},
        {"LabSat Management", ShowByEntry("LabSatManagement", [this] { return static_cast<QWidget*>(top->findChild<bench::LabSatMngWindow*>()); })},
        {"Log Files Replay", ReplayControls()},
        {"Results", &top->ResultsWindow()},
        {"Antenna Position", ShowByEntry("SetAntennaCoordinates", [this] { return static_cast<QWidget*>(&top->CoordsWindow()); })},
    };
    top->TaskMonitorWindow().show();
    windows.emplace_back("Task Monitor", &top->TaskMonitorWindow());
    for (auto [name, window] : windows) {
        SCOPED_TRACE(name);
        ASSERT_NE(window, nullptr);
        window->show();
        keys_test::Focus(window);
        ASSERT_TRUE(test::PressKey(Qt::Key_Escape));
        EXPECT_FALSE(window->isVisible()) << "Escape left it open";
    }
    // Reopened, each is the same window (kept, not unloaded); Ctrl+F4
    // closes it too.
    EXPECT_EQ(CommandPanel(), windows[0].second);
    ASSERT_TRUE(test::PressKey(Qt::Key_F4, Qt::ControlModifier));
    EXPECT_FALSE(windows[0].second->isVisible()) << "Ctrl+F4 left the command panel open";

    // The external program's window closes as its close button does: gone,
    // and its menu entry cleared.
    QAction* ext = top->findChild<QAction*>("ExtCtr");
    ext->trigger();
    test::Pump(50);
    QWidget* extern_control = top->ExternalControl().Window();
    ASSERT_TRUE(extern_control && extern_control->isVisible());
    keys_test::Focus(extern_control);
    ASSERT_TRUE(test::PressKey(Qt::Key_Escape));
    EXPECT_TRUE(test::WaitFor([&] { return top->ExternalControl().Window() == nullptr; }, 2000));
    EXPECT_FALSE(ext->isChecked());
}

TEST_F(WindowKeys, EscapeAsksFirstWhereClosingStopsWhatIsUnderWayAndEnterKeepsIt) {
    OpenWithTwoReceivers();
    // A replay that plays.
    QWidget* replay = ReplayControls();
    ASSERT_NE(replay, nullptr);
    const std::string log = home->File("drive.txt");
    test::WriteFileBytes(log, replay_test::MakeLog(36000, 30).bytes);
    platform::Prompts::Instance().QueueFileName(log);
    platform::Prompts::Instance().QueueAnswer(platform::Answer::Yes);
    dialogs_test::Click(replay, "Command3");
    dialogs_test::Click(replay, "Command6");
    dialogs_test::Click(replay, "Play");
    ASSERT_TRUE(top->LogReplay().Control().Playing());
    keys_test::Focus(replay);
    {
        keys_test::BoxAnswer enter({{Qt::Key_Return, QStringLiteral("\r")}});
        ASSERT_TRUE(test::PressKey(Qt::Key_Escape));
        ASSERT_TRUE(enter.Answered()) << "closing a playing replay asked nothing";
        EXPECT_NE(enter.Text().indexOf("stops the replay"), -1) << enter.Text().toStdString();
    }
    EXPECT_TRUE(replay->isVisible()) << "Enter closed it";
    EXPECT_TRUE(top->LogReplay().Control().Playing()) << "Enter stopped the replay";

    // The external program that a running session sends its commands.
    QAction* ext = top->findChild<QAction*>("ExtCtr");
    ext->trigger();
    test::Pump(50);
    QWidget* extern_control = top->ExternalControl().Window();
    ASSERT_TRUE(extern_control && extern_control->isVisible());
    top->exectest_Click();
    ASSERT_TRUE(top->SessionRunning());
    keys_test::Focus(extern_control);
    {
        keys_test::BoxAnswer enter({{Qt::Key_Return, QStringLiteral("\r")}});
        ASSERT_TRUE(test::PressKey(Qt::Key_Escape));
        ASSERT_TRUE(enter.Answered()) << "closing Extern Control during a session asked nothing";
    }
    test::Pump(50);
    EXPECT_EQ(top->ExternalControl().Window(), extern_control) << "Enter closed it";
    EXPECT_TRUE(ext->isChecked());
    top->StopTesting_Click();
    // Nothing under way: it closes at once.
    keys_test::Focus(extern_control);
    ASSERT_TRUE(test::PressKey(Qt::Key_Escape));
    EXPECT_TRUE(test::WaitFor([&] { return top->ExternalControl().Window() == nullptr; }, 2000));
}

TEST_F(WindowKeys, CtrlF4ClosesTheWorkspaceWindowWithTheFocusAsItsCloseButtonDoes) {
    OpenWithTwoReceivers();
    QMdiArea* mdi = top->Workspace();
    const qsizetype live = mdi->subWindowList().size();
    top->findChild<QAction*>("NewW")->trigger();
    test::Pump(50);
    ASSERT_EQ(mdi->subWindowList().size(), live + 1);
    QMdiSubWindow* extra = mdi->subWindowList().back();
    mdi->setActiveSubWindow(extra);
    keys_test::Focus(top.get());
    extra->widget()->findChild<QWidget*>("Combo1")->setFocus(Qt::MouseFocusReason);
    test::Pump(10);
    ASSERT_TRUE(test::PressKey(Qt::Key_F4, Qt::ControlModifier));
    EXPECT_TRUE(test::WaitFor([&] { return mdi->subWindowList().size() == live; }, 2000))
        << "Ctrl+F4 left the New Nmea Window open";
    // A receiver's window is set aside, as its close button sets it.
    QMdiSubWindow* first = qobject_cast<QMdiSubWindow*>(top->NmeaWidget(0)->parentWidget());
    mdi->setActiveSubWindow(first);
    top->NmeaWidget(0)->findChild<QWidget*>("Combo1")->setFocus(Qt::MouseFocusReason);
    test::Pump(10);
    ASSERT_TRUE(test::PressKey(Qt::Key_F4, Qt::ControlModifier));
    EXPECT_TRUE(test::WaitFor([&] { return first->isMinimized(); }, 2000));
    EXPECT_NE(top->NmeaWidget(0), nullptr) << "the session's window was closed";
}

TEST_F(WindowKeys, ACancelledLoadConfigLeavesTheKeysInTheConfigurationPanel) {
    OpenWithTwoReceivers();
    {
        keys_test::DialogAnswer escape({{Qt::Key_Escape, QString()}});
        ASSERT_TRUE(keys_test::MenuKeys("otl"));  // Option > Testing Configuration > Load Config
        ASSERT_TRUE(escape.Answered()) << "no file dialog";
        EXPECT_EQ(escape.Title(), "Open");
    }
    test::Pump(50);
    bench::TestingConfig& dialog = top->ConfigDialog();
    ASSERT_TRUE(dialog.isVisible());
    EXPECT_EQ(QApplication::activeWindow(), &dialog) << "the keys went elsewhere";
    // Alt+T is the panel's Testing page, not the main window's menu over it.
    ASSERT_TRUE(test::PressKey(Qt::Key_T, Qt::AltModifier, "t"));
    EXPECT_EQ(QApplication::activePopupWidget(), nullptr) << "the main window's Testing menu opened";
    EXPECT_EQ(dialog.findChild<QTabWidget*>("TabStrip")->currentWidget()->objectName(), "TestingPage");
}

TEST_F(WindowKeys, AFileDialogGivesTheKeysBackToTheButtonThatOpenedIt) {
    OpenWithTwoReceivers();
    QWidget* panel = CommandPanel();
    ASSERT_NE(panel, nullptr);
    ASSERT_TRUE(TabTo("Command5")) << FocusName().toStdString();  // Load
    {
        keys_test::DialogAnswer escape({{Qt::Key_Escape, QString()}});
        PressEnter();
        ASSERT_TRUE(escape.Answered()) << "Enter on Load opened no dialog";
    }
    test::Pump(50);
    EXPECT_EQ(QApplication::activeWindow(), panel);
    EXPECT_EQ(FocusName(), "Command5");
}

TEST_F(WindowKeys, NcoRangeOpensOnItsFirstBoxAfterACancel) {
    OpenWithTwoReceivers();
    bench::TestingConfig& dialog = top->ConfigDialog();
    dialog.show();
    keys_test::Focus(&dialog);
    ASSERT_TRUE(TabTo("BadNCO_0")) << FocusName().toStdString();
    PressEnter();
    bench::NCOSettings& nco = dialog.NcoSettingsWindow();
    ASSERT_TRUE(test::WaitFor([&] { return nco.isVisible() && QApplication::activeWindow() == &nco; }, 2000))
        << "NCO Range did not take the keys";
    EXPECT_EQ(FocusName(), "Text1_0");
    ASSERT_TRUE(TabTo("Command1_1")) << FocusName().toStdString();  // Cancel
    PressEnter();
    ASSERT_FALSE(nco.isVisible());
    keys_test::Focus(&dialog);
    ASSERT_TRUE(TabTo("BadNCO_0")) << FocusName().toStdString();
    PressEnter();
    ASSERT_TRUE(test::WaitFor([&] { return nco.isVisible() && QApplication::activeWindow() == &nco; }, 2000));
    EXPECT_EQ(FocusName(), "Text1_0") << "reopened where the last one ended";
}

}  // namespace
}  // namespace benchtop_test

namespace benchtop_test {

// Under X the platform binds Ctrl+W, not Ctrl+F4, to closing a window of
// the workspace: the bench's own rule is what closes it there. The test makes
// the process's application on an X server of its own, with a window manager.
namespace {

// Whether a window manager runs on the display (ends of the file: Xlib).
bool WindowManagerRuns();

// A program started with DISPLAY set; killed and waited for at the end.
class Child {
public:
    bool Start(const std::vector<std::string>& argv, int out_fd = -1) {
        pid_ = ::fork();
        if (pid_ == 0) {
            if (out_fd >= 0) ::dup2(out_fd, 1);
            const int null = ::open("/dev/null", O_WRONLY);
            ::dup2(null, 2);
            if (out_fd < 0) ::dup2(null, 1);
            std::vector<char*> args;
            for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
            args.push_back(nullptr);
            ::execvp(args[0], args.data());
            ::_exit(127);
        }
        return pid_ > 0;
    }
    // False once the program has ended (it is reaped then).
    bool Alive() {
        if (pid_ <= 0) return false;
        if (::waitpid(pid_, nullptr, WNOHANG) == 0) return true;
        pid_ = -1;
        return false;
    }
    ~Child() {
        if (pid_ <= 0) return;
        ::kill(pid_, SIGTERM);
        ::waitpid(pid_, nullptr, 0);
    }

private:
    pid_t pid_ = -1;
};

TEST(WindowKeysUnderX, CtrlF4ClosesTheWorkspaceWindowWithTheFocus) {
    if (QCoreApplication::instance()) GTEST_SKIP() << "needs a process of its own, as ctest runs it";
    if (::system("command -v Xvfb >/dev/null && command -v openbox >/dev/null") != 0)
        GTEST_SKIP() << "Xvfb and openbox are needed";
    int pipe_fds[2];
    ASSERT_EQ(::pipe(pipe_fds), 0);
    Child server;
    ASSERT_TRUE(server.Start({"Xvfb", "-displayfd", std::to_string(pipe_fds[1]), "-screen", "0", "1280x800x24",
                              "-nolisten", "tcp"}));
    ::close(pipe_fds[1]);
    std::string number;
    char c = 0;
    while (::read(pipe_fds[0], &c, 1) == 1 && c != '\n') number += c;
    ::close(pipe_fds[0]);
    ASSERT_FALSE(number.empty()) << "Xvfb gave no display";
    ::setenv("DISPLAY", (":" + number).c_str(), 1);
    Child manager;
    ASSERT_TRUE(manager.Start({"openbox"}));
    // A window mapped while the manager starts may stay unmapped.
    // A busy machine can take long to start it: wait while it is alive.
    for (int i = 0; i < 1200 && manager.Alive() && !WindowManagerRuns(); ++i) ::usleep(100000);
    ASSERT_TRUE(WindowManagerRuns()) << (manager.Alive() ? "openbox did not start in 120 s" : "openbox ended at its start");
    ::setenv("QT_QPA_PLATFORM", "xcb", 1);
    ::setenv("FIXBENCH_UNATTENDED", "1", 1);  // no box waits for an answer
    test::EnsureApp();
    test::TempHome home;
    RecordingFactory factory;
    auto top = std::make_unique<bench::Benchtop>(factory);
    top->show();
    top->ConfigDialog().close();
    QMdiArea* mdi = top->Workspace();
    top->findChild<QAction*>("NewW")->trigger();
    ASSERT_EQ(mdi->subWindowList().size(), 1);
    // Asked again until the window manager (starting) gives it.
    ASSERT_TRUE(test::WaitFor([&] {
        if (QGuiApplication::focusWindow() == top->windowHandle()) return true;
        if (top->windowHandle() && top->windowHandle()->isExposed()) top->activateWindow();
        test::Pump(100);
        return false;
    }, 15000)) << "the main window never took the focus";
    mdi->setActiveSubWindow(mdi->subWindowList().front());
    mdi->subWindowList().front()->widget()->setFocus(Qt::MouseFocusReason);
    test::Pump(50);
    ASSERT_TRUE(test::PressKey(Qt::Key_F4, Qt::ControlModifier));
    EXPECT_TRUE(test::WaitFor([&] { return mdi->subWindowList().empty(); }, 3000)) << "Ctrl+F4 left it open";
    top.reset();
}

}  // namespace
}  // namespace benchtop_test

// Last: Xlib's macros would clash with the headers above.
#include <X11/Xatom.h>
#include <X11/Xlib.h>

namespace benchtop_test {
namespace {

bool WindowManagerRuns() {
    Display* d = XOpenDisplay(nullptr);
    if (!d) return false;
    const Atom check = XInternAtom(d, "_NET_SUPPORTING_WM_CHECK", False);
    Atom type = 0;
    int format = 0;
    unsigned long items = 0, after = 0;
    unsigned char* data = nullptr;
    const bool runs = XGetWindowProperty(d, DefaultRootWindow(d), check, 0, 1, False, XA_WINDOW, &type, &format,
                                         &items, &after, &data) == Success &&
                      items == 1;
    if (data) XFree(data);
    XCloseDisplay(d);
    return runs;
}

}  // namespace
}  // namespace benchtop_test
