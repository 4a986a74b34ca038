// Where the device windows open in the main window's workspace, on two
// emulated receivers: each wholly in view at 1600 x 1000 and 1280 x 800 with
// every panel readable, brought back into view from the Window menu, and
// replay windows that leave the live ones reachable and cannot open a port.
#include <QGroupBox>
#include <QGuiApplication>
#include <QScreen>
#include <QPushButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QTableWidget>

#include "bench/devices/comm_window.h"
#include "bench/session/device_windows.h"
#include "bench/session/results_window.h"
#include "bench/instruments/command_panel_window.h"
#include "bench/instruments/labsat_window.h"
#include "bench/instruments/replay_window.h"
#include "bench/instruments/sim_window.h"
#include "bench/session/script_bench.h"
#include "platform/ui/prompts.h"
#include "tests/instruments/replay_logs.h"
#include "tests/session/benchtop_fixture.h"
#include "tests/session/placement_checks.h"
#include "tests/support/emulated_receiver.h"

namespace benchtop_test {
namespace {

using placement_test::AllTablesInView;
using placement_test::ExpectEveryTitleBarInReach;
using placement_test::Global;

constexpr const char* kPanels[] = {"Frame1", "Frame2", "DataPanel", "SatTable", "OutputWin", "ProductVerString"};

class BenchWorkspace : public ::testing::Test {
protected:
    // The desktop the bench runs on (its screen less nothing).
    virtual QSize Desktop() const { return {1600, 1000}; }
    void SetUp() override {
        const QSize desk = Desktop();
        if (!test::EnsureAppWithScreen(desk.width(), desk.height()) ||
            QGuiApplication::primaryScreen()->geometry().size() != desk)
            GTEST_SKIP() << "needs a " << desk.width() << " x " << desk.height()
                         << " desktop: run this test on its own (as ctest does)";
        dialogs_test::ResetPrompts();
        home = std::make_unique<test::TempHome>();
    }
    void TearDown() override {
        top.reset();
        for (auto& r : rx) r.reset();
        dialogs_test::ResetPrompts();
    }
    // The main window at this size (as on a screen of it, less the panel;
    // 0: as it opens by itself), with two (or `count`) receivers enabled
    // and OK pressed.
    void OpenWithTwoReceivers(int width, int height) { OpenWithReceivers(2, width, height); }
    void OpenWithReceivers(int count, int width, int height) {
        for (int i = 0; i < count; ++i)
            if (!rx[i]) {
                rx[i] = std::make_unique<test::EmulatedReceiver>();
                rx[i]->RegisterPort(7 + i);
            }
        bench::SystemConfig c;
        bench::SystemConfigReset(c);
        for (int s = 0; s < count; ++s) {
            c.Devices[s].DevEN = bench::FlagSet;
            c.Devices[s].DName = "RCV" + std::to_string(s + 1);
            c.Devices[s].NmeaP = static_cast<int16_t>(7 + s);
            c.Devices[s].NmeaB = 9600;
        }
        ASSERT_TRUE(bench::SaveSystemConfig(home->File("Config.dat"), c).ok);
        top = std::make_unique<bench::Benchtop>(factory);
        if (width > 0) top->resize(width, height);
        top->show();
        EXPECT_TRUE(test::Settle()) << "the windows never settled: they still moved after 60 s of events";
        top->ConfigDialog().close();
        top->ConfigDialog().show();  // reads Config.dat afresh
        dialogs_test::Click(&top->ConfigDialog(), "Save_Command");
        EXPECT_TRUE(test::Settle()) << "the windows never settled: they still moved after 60 s of events";
        for (int s = 0; s < count; ++s) ASSERT_NE(top->NmeaWidget(s), nullptr);
    }
    QMdiSubWindow* Sub(QWidget* w) { return qobject_cast<QMdiSubWindow*>(w->parentWidget()); }
    QRect View() { return top->Workspace()->viewport()->rect(); }
    void ExpectWhollyInView(QWidget* w, const char* what) {
        SCOPED_TRACE(what);
        QMdiSubWindow* sub = Sub(w);
        ASSERT_NE(sub, nullptr);
        EXPECT_TRUE(View().contains(sub->geometry()))
            << "at " << sub->x() << "," << sub->y() << " size " << sub->width() << "x" << sub->height() << " in "
            << View().width() << "x" << View().height();
    }
    // Every panel lies inside the part of the window on view, not scrolled away.
    void ExpectEveryPanelReadable(QWidget* w, const char* what) {
        SCOPED_TRACE(what);
        auto* scroll = w->findChild<QScrollArea*>();
        ASSERT_NE(scroll, nullptr);
        EXPECT_FALSE(scroll->verticalScrollBar()->isVisible()) << "the window needs scrolling";
        EXPECT_FALSE(scroll->horizontalScrollBar()->isVisible()) << "the window needs scrolling";
        const QRect view(scroll->viewport()->mapTo(w, QPoint(0, 0)), scroll->viewport()->size());
        for (const char* name : kPanels) {
            auto* panel = w->findChild<QWidget*>(name);
            ASSERT_NE(panel, nullptr) << name;
            EXPECT_TRUE(panel->isVisible()) << name;
            const QRect at(panel->mapTo(w, QPoint(0, 0)), panel->size());
            EXPECT_TRUE(view.contains(at)) << name << " cut or scrolled out of view";
        }
    }

    // The later window leaves the left end of the earlier one's title bar
    // (its icon and the start of its caption) uncovered.
    void ExpectTitleBarInReach(QWidget* earlier, QWidget* later) {
        const QRect e = Sub(earlier)->geometry();
        EXPECT_FALSE(Sub(later)->geometry().intersects(QRect(e.topLeft(), QSize(40, 24))))
            << Sub(later)->x() << "," << Sub(later)->y();
    }

    // "Log Files Replay" from the menu, `logs` recorded logs added through its
    // open dialog (their indexes built), then "Done": the replay's device
    // windows, in the order of their logs.
    std::vector<QWidget*> ReplayLogs(int logs) {
        std::vector<QWidget*> live;
        for (QMdiSubWindow* sub : top->Workspace()->subWindowList()) live.push_back(sub->widget());
        top->findChild<QAction*>("LogFileReplay")->trigger();
        EXPECT_TRUE(test::Settle()) << "the windows never settled: they still moved after 60 s of events";
        auto* replay = top->findChild<bench::ReplayWindow*>();
        if (!replay) return {};
        for (int i = 0; i < logs; ++i) {
            const std::string path = home->File("replay" + std::to_string(i) + ".txt");
            test::WriteFileBytes(path, replay_test::MakeLog(36000 + i, 3).bytes);
            platform::Prompts::Instance().QueueFileName(path);
            platform::Prompts::Instance().QueueAnswer(platform::Answer::Yes);
            dialogs_test::Click(replay, "Command3");
        }
        dialogs_test::Click(replay, "Command6");
        EXPECT_TRUE(test::Settle()) << "the windows never settled: they still moved after 60 s of events";
        std::vector<QWidget*> made;
        for (QMdiSubWindow* sub : top->Workspace()->subWindowList())
            if (std::find(live.begin(), live.end(), sub->widget()) == live.end()) made.push_back(sub->widget());
        return made;
    }
    // The parts of a live window (in the workspace's coordinates) that no
    // other live window covers.
    QRegion LiveInView(QWidget* w, const char* part) {
        QWidget* p = w->findChild<QWidget*>(part);
        QRegion in_view = QRegion(QRect(p->mapTo(top->Workspace()->viewport(), QPoint(0, 0)), p->size())) & View();
        bool above = false;
        for (QMdiSubWindow* sub : top->Workspace()->subWindowList(QMdiArea::StackingOrder)) {
            if (above && (sub->widget() == top->NmeaWidget(0) || sub->widget() == top->NmeaWidget(1)))
                in_view -= sub->geometry();
            above = above || sub == Sub(w);
        }
        return in_view;
    }
    bool Covers(QWidget* replay, QWidget* live, const char* part) {
        return LiveInView(live, part).intersects(Sub(replay)->geometry());
    }
    // One or two recorded logs replayed: every replay window wholly in view
    // with every panel readable, and every title bar, live or replayed, left
    // where it can be grabbed: its start, or a piece past its buttons.
    std::vector<QWidget*> ExpectReplaysInViewAndTitleBarsInReach(int logs) {
        std::vector<QWidget*> made = ReplayLogs(logs);
        EXPECT_EQ(made.size(), static_cast<size_t>(logs));
        std::vector<QWidget*> windows{top->NmeaWidget(0), top->NmeaWidget(1)};
        for (QWidget* w : made) {
            ExpectWhollyInView(w, "replay window");
            ExpectEveryPanelReadable(w, "replay window");
            windows.push_back(w);
        }
        ExpectTitleBarsInReach(windows);
        return made;
    }
    // Every title bar, live or replayed, left where it can be grabbed: its
    // start, or a piece past its buttons.
    // Whether the start of `w`'s title bar, or a piece past its buttons, is
    // left uncovered by the windows above it.
    bool TitleBarInReach(QWidget* w) {
        const QRect g = Sub(w)->geometry();
        const int bar = w->y();
        QRegion left(QRect(g.topLeft(), QSize(40, bar)));
        QRegion right(QRect(QPoint(g.right() + 1 - 40 - 3 * bar, g.top()), QSize(40, bar)));
        bool above = false;
        for (QMdiSubWindow* sub : top->Workspace()->subWindowList(QMdiArea::StackingOrder)) {
            if (above) {
                left -= sub->geometry();
                right -= sub->geometry();
            }
            above = above || sub == Sub(w);
        }
        return (left.rectCount() == 1 && left.boundingRect().width() == 40) ||
               (right.rectCount() == 1 && right.boundingRect().width() == 40);
    }
    void ExpectTitleBarsInReach(const std::vector<QWidget*>& windows) {
        for (QWidget* w : windows)
            EXPECT_TRUE(TitleBarInReach(w)) << Sub(w)->windowTitle().toStdString() << ": title bar out of reach at "
                                            << Sub(w)->x() << "," << Sub(w)->y();
    }
    // Four receivers: each device window, as it opens and when brought to
    // the front from the Window menu, wholly in view with every panel
    // readable (its console gives up lines first), and every title bar in
    // reach.
    void ExpectFourReceiversWhole(QSize screen) {
        OpenWithReceivers(4, screen.width() - 10, screen.height() - 60);
        std::vector<QWidget*> windows;
        for (int s = 0; s < 4; ++s) windows.push_back(top->NmeaWidget(s));
        for (int s = 0; s < 4; ++s) {
            const std::string name = "RCV" + std::to_string(s + 1) + " as opened";
            ExpectWhollyInView(windows[s], name.c_str());
            ExpectEveryPanelReadable(windows[s], name.c_str());
        }
        ExpectTitleBarsInReach(windows);
        for (int s = 0; s < 4; ++s) {
            const std::string name = "RCV" + std::to_string(s + 1) + " from the Window menu";
            top->findChild<QAction*>(QString("win1_%1").arg(s))->trigger();
            EXPECT_TRUE(test::Settle()) << "the windows never settled: they still moved after 60 s of events";
            ASSERT_EQ(top->Workspace()->activeSubWindow(), Sub(windows[s])) << name;
            ExpectWhollyInView(windows[s], name.c_str());
            ExpectEveryPanelReadable(windows[s], name.c_str());
        }
    }

    std::unique_ptr<test::TempHome> home;
    std::array<std::unique_ptr<test::EmulatedReceiver>, 4> rx;
    bench::CommWindowFactory factory;
    std::unique_ptr<bench::Benchtop> top;
};

TEST_F(BenchWorkspace, DeviceWindowsOpenWhollyInViewWithEveryPanelReadable) {
    for (QSize screen : {QSize(1600, 1000), QSize(1280, 800)}) {
        SCOPED_TRACE(std::to_string(screen.width()) + "x" + std::to_string(screen.height()));
        // Less a desktop panel and the window's frame.
        OpenWithTwoReceivers(screen.width() - 10, screen.height() - 60);
        ExpectWhollyInView(top->NmeaWidget(0), "RCV1");
        ExpectWhollyInView(top->NmeaWidget(1), "RCV2");
        ExpectEveryPanelReadable(top->NmeaWidget(0), "RCV1");
        ExpectEveryPanelReadable(top->NmeaWidget(1), "RCV2");
        // Each title bar stays in reach.
        ExpectTitleBarInReach(top->NmeaWidget(0), top->NmeaWidget(1));
        top.reset();
    }
}

TEST_F(BenchWorkspace, TheWindowMenuBringsAWindowWhollyIntoView) {
    OpenWithTwoReceivers(1270, 740);
    ASSERT_TRUE(top->Menu("OWindows")->menuAction()->isVisible()) << "the plain menus list the windows";
    QMdiSubWindow* second = Sub(top->NmeaWidget(1));
    second->move(View().width() - 40, View().height() - 10);  // only a corner left in view
    top->Workspace()->setActiveSubWindow(Sub(top->NmeaWidget(0)));

    QAction* entry = top->findChild<QAction*>("win1_1");
    ASSERT_NE(entry, nullptr);
    ASSERT_EQ(bench::Benchtop::PlainCaption(entry->text()), "RCV2 NMEA WINDOW");
    entry->trigger();
    EXPECT_TRUE(test::Settle()) << "the windows never settled: they still moved after 60 s of events";
    EXPECT_EQ(top->Workspace()->activeSubWindow(), second);
    ExpectWhollyInView(top->NmeaWidget(1), "RCV2 after the menu");
}

TEST_F(BenchWorkspace, ReplayWindowsLeaveTheLiveOnesInReachAndOpenNoPort) {
    OpenWithTwoReceivers(1590, 940);
    const QRect live[2] = {Sub(top->NmeaWidget(0))->geometry(), Sub(top->NmeaWidget(1))->geometry()};
    // As the replay opens its windows: made, kind and name, stacked from
    // the top left, shown.
    std::vector<QWidget*> replays;
    for (int i = 0; i < 2; ++i) {
        bench::DeviceOps* ops = top->LogReplay().MakeReplayWindow();
        ops->SetDeviceType(0);
        ops->SetDeviceName("REPLAY" + std::to_string(i) + ".txt");
        ops->DeviceSetTop(0);
        ops->DeviceSetLeft(0);
        top->LogReplay().ShowReplayWindow(ops);
        ops->DeviceEnableDataDecoding();
        replays.push_back(dynamic_cast<QWidget*>(ops));
    }
    EXPECT_TRUE(test::Settle()) << "the windows never settled: they still moved after 60 s of events";
    for (QWidget* w : replays) {
        ASSERT_NE(w, nullptr);
        ExpectWhollyInView(w, "replay window");
        const QRect at = Sub(w)->geometry();
        // The live windows' title bars (where they are grabbed) stay uncovered.
        for (const QRect& l : live) EXPECT_FALSE(at.intersects(QRect(l.topLeft(), QSize(l.width(), 24))));
        auto* open = w->findChild<QPushButton*>("OpenPort");
        ASSERT_NE(open, nullptr);
        EXPECT_FALSE(open->isEnabled()) << "a replay window has no port to open";
        w->findChild<QPushButton*>("ClosePort")->click();
        EXPECT_FALSE(open->isEnabled()) << "closing does not offer a port either";
    }
}

class LaptopWorkspace : public BenchWorkspace {
protected:
    QSize Desktop() const override { return {1366, 768}; }
};

TEST_F(LaptopWorkspace, BothReceiversShowTheirWholeTablesAndPositionPanels) {
    // Less a desktop panel and the window's frame.
    OpenWithTwoReceivers(1366 - 10, 768 - 60);
    for (int pass = 0; pass < 2; ++pass) {
        SCOPED_TRACE(pass == 0 ? "first OK" : "second OK");
        ExpectWhollyInView(top->NmeaWidget(0), "RCV1");
        ExpectWhollyInView(top->NmeaWidget(1), "RCV2");
        ExpectEveryPanelReadable(top->NmeaWidget(0), "RCV1");
        ExpectEveryPanelReadable(top->NmeaWidget(1), "RCV2");
        ExpectTitleBarInReach(top->NmeaWidget(0), top->NmeaWidget(1));
        // A new session's OK places them the same way.
        top->ConfigDialog().show();
        dialogs_test::Click(&top->ConfigDialog(), "Save_Command");
        EXPECT_TRUE(test::Settle()) << "the windows never settled: they still moved after 60 s of events";
    }
}

TEST_F(LaptopWorkspace, TheResultsGridOpensOverTheConsoleNotTheTables) {
    OpenWithTwoReceivers(1366 - 10, 768 - 60);
    QWidget* front = top->Workspace()->subWindowList(QMdiArea::StackingOrder).back()->widget();
    top->Grid().UpdateTest(1, 3);  // a session's first trial shows the grid
    EXPECT_TRUE(test::Settle()) << "the windows never settled: they still moved after 60 s of events";
    bench::Results& results = top->ResultsWindow();
    ASSERT_TRUE(results.isVisible());
    const QRect at = results.frameGeometry();
    auto global = [](QWidget* w) { return QRect(w->mapToGlobal(QPoint(0, 0)), w->size()); };
    for (const char* name : {"SatTable", "DataPanel"})
        EXPECT_FALSE(at.intersects(global(front->findChild<QWidget*>(name)))) << "covers " << name;
    // (The console and the port buttons beside it.)
    EXPECT_TRUE(at.intersects(global(front->findChild<QWidget*>("Frame2"))) ||
                at.intersects(global(front->findChild<QWidget*>("Frame1"))))
        << "no room elsewhere: over the console";
    EXPECT_TRUE(QGuiApplication::primaryScreen()->availableGeometry().contains(at));
}

// The tables and position panels of the device windows a person can see.
std::vector<std::pair<std::string, QRect>> TablesInView(bench::Benchtop& top) {
    std::vector<std::pair<std::string, QRect>> parts;
    for (int s = 0; s < 2; ++s)
        for (const char* name : {"SatTable", "DataPanel"})
            if (QWidget* part = top.NmeaWidget(s)->findChild<QWidget*>(name); !part->visibleRegion().isEmpty())
                parts.emplace_back("RCV" + std::to_string(s + 1) + " " + name,
                                   QRect(part->mapToGlobal(QPoint(0, 0)), part->size()));
    return parts;
}


// The replay's controls and then the results grid: neither covers a table
// or the other's buttons, and both stay on the screen. `room`: the screen
// has room for both apart.
void ExpectReplayAndResultsApart(bench::Benchtop& top, bool room) {
    top.findChild<QAction*>("LogFileReplay")->trigger();
    EXPECT_TRUE(test::Settle()) << "the windows never settled: they still moved after 60 s of events";
    auto* replay = top.findChild<bench::ReplayWindow*>();
    ASSERT_NE(replay, nullptr);
    top.Grid().UpdateTest(1, 3);  // a session's first trial shows the grid
    EXPECT_TRUE(test::Settle()) << "the windows never settled: they still moved after 60 s of events";
    bench::Results& results = top.ResultsWindow();
    ASSERT_TRUE(results.isVisible());
    const QRect r = replay->frameGeometry(), g = results.frameGeometry();
    SCOPED_TRACE(::testing::Message() << "replay at " << r.x() << "," << r.y() << " " << r.width() << "x"
                                      << r.height() << ", results at " << g.x() << "," << g.y() << " " << g.width()
                                      << "x" << g.height());
    if (room) { EXPECT_FALSE(r.intersects(g)); }
    for (QPushButton* button : replay->findChildren<QPushButton*>()) {
        if (button->isVisible()) {
            EXPECT_FALSE(g.intersects(Global(button))) << "covers " << button->text().toStdString();
        }
    }
    // Most of each stays in view.
    const QRect both = r.intersected(g);
    EXPECT_LT(both.width() * both.height() * 2, std::min(r.width() * r.height(), g.width() * g.height()));
    for (const auto& [name, at] : TablesInView(top)) {
        EXPECT_FALSE(r.intersects(at)) << "the replay covers " << name;
        EXPECT_FALSE(g.intersects(at)) << "the results cover " << name;
    }
    EXPECT_FALSE(g.intersects(Global(top.menuWidget()))) << "covers the menus";
    const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
    EXPECT_TRUE(screen.contains(r) && screen.contains(g));
}

// The Command Panel from the menu: clear of every table and panel in view
// when there is room; else over the front window's console, not its
// position panel.
void ExpectCommandPanelClearOfTables(bench::Benchtop& top, bool room) {
    QWidget* front = top.Workspace()->subWindowList(QMdiArea::StackingOrder).back()->widget();
    top.findChild<QAction*>("CommPanel")->trigger();
    EXPECT_TRUE(test::Settle()) << "the windows never settled: they still moved after 60 s of events";
    QWidget* panel = top.ScriptPanel().Window();
    ASSERT_NE(panel, nullptr);
    ASSERT_TRUE(panel->isVisible());
    const QRect at = panel->frameGeometry();
    for (const auto& [name, part] : TablesInView(top)) {
        if (room || name.find("DataPanel") != std::string::npos) {
            EXPECT_FALSE(at.intersects(part)) << "covers " << name;
        }
    }
    if (!room) { EXPECT_TRUE(at.intersects(Global(front->findChild<QWidget*>("Frame2")))) << "over the console"; }
    EXPECT_FALSE(at.intersects(Global(top.menuWidget()))) << "covers the menus";
    EXPECT_TRUE(QGuiApplication::primaryScreen()->availableGeometry().contains(at));
}

TEST_F(LaptopWorkspace, TheReplayControlsAndTheResultsGridDoNotBuryEachOther) {
    OpenWithTwoReceivers(1366 - 10, 768 - 60);
    ExpectReplayAndResultsApart(*top, false);
}

// Two device windows fill the workspace: the console's room takes one of
// them (the grid keeps its statistics and trials readable and leaves the
// title bars in reach), and they overlap without burying each other.
TEST_F(BenchWorkspace, TheReplayControlsAndTheResultsGridDoNotBuryEachOther) {
    OpenWithTwoReceivers(0, 0);
    ExpectReplayAndResultsApart(*top, false);
}


TEST_F(LaptopWorkspace, TheCommandPanelOpensOverTheConsoleNotThePositionPanel) {
    OpenWithTwoReceivers(1366 - 10, 768 - 60);
    ExpectCommandPanelClearOfTables(*top, false);
}

TEST_F(BenchWorkspace, TheCommandPanelOpensClearOfTheTables) {
    OpenWithTwoReceivers(0, 0);
    ExpectCommandPanelClearOfTables(*top, true);
}

TEST_F(LaptopWorkspace, TheReplayWindowOpensClearOfTheLiveTables) {
    OpenWithTwoReceivers(1366 - 10, 768 - 60);
    QWidget* front = top->Workspace()->subWindowList(QMdiArea::StackingOrder).back()->widget();
    top->findChild<QAction*>("LogFileReplay")->trigger();
    EXPECT_TRUE(test::Settle()) << "the windows never settled: they still moved after 60 s of events";
    auto* replay = top->findChild<bench::ReplayWindow*>();
    ASSERT_NE(replay, nullptr);
    const QRect at = replay->frameGeometry();
    auto global = [](QWidget* w) { return QRect(w->mapToGlobal(QPoint(0, 0)), w->size()); };
    for (int s = 0; s < 2; ++s)
        for (const char* name : {"SatTable", "DataPanel"}) {
            QWidget* w = top->NmeaWidget(s);
            if (w == front || w->findChild<QWidget*>(name)->visibleRegion().isEmpty() == false) {
                EXPECT_FALSE(at.intersects(global(w->findChild<QWidget*>(name)))) << "covers RCV" << s + 1 << " " << name;
            }
        }
    EXPECT_TRUE(QGuiApplication::primaryScreen()->availableGeometry().contains(at));
}

TEST_F(LaptopWorkspace, ReplayWindowsShowEveryPanelAndLeaveEveryTitleBarInReach) {
    OpenWithTwoReceivers(0, 0);
    ExpectReplaysInViewAndTitleBarsInReach(2);
}

class WideWorkspace : public BenchWorkspace {
protected:
    QSize Desktop() const override { return {1920, 1080}; }
};

TEST_F(WideWorkspace, TheMainWindowTakesTheScreenAndDeviceWindowsItsWidth) {
    OpenWithTwoReceivers(0, 0);
    const QRect area = QGuiApplication::primaryScreen()->availableGeometry();
    EXPECT_GE(top->width(), area.width() * 95 / 100) << "the main window uses the screen's width";
    EXPECT_LE(top->x(), area.left() + 20) << "from its left";
    const QRect first = Sub(top->NmeaWidget(0))->geometry();
    const QRect second = Sub(top->NmeaWidget(1))->geometry();
    EXPECT_EQ(first.left(), 0);
    EXPECT_GE(second.right(), View().right() - 2) << "the second uses the free width before it overlaps";
    ExpectEveryPanelReadable(top->NmeaWidget(1), "RCV2");
}

TEST_F(BenchWorkspace, ReplayWindowsShowEveryPanelAndLeaveEveryTitleBarInReach) {
    OpenWithTwoReceivers(0, 0);
    // The live windows fill the workspace: a replay window covers part of
    // their tables, but leaves some of each in view.
    for (QWidget* w : ExpectReplaysInViewAndTitleBarsInReach(2))
        for (int s = 0; s < 2; ++s) {
            QRegion left = LiveInView(top->NmeaWidget(s), "SatTable") - Sub(w)->geometry();
            EXPECT_FALSE(left.isEmpty()) << "hides all of RCV" << s + 1 << "'s table";
        }
}

TEST_F(WideWorkspace, ReplayWindowsShowEveryPanelAndLeaveEveryTitleBarInReach) {
    OpenWithTwoReceivers(0, 0);
    // No place leaves both tables whole: it covers as little as it can, so
    // none of what the front window leaves of the back one.
    QWidget* back = top->Workspace()->subWindowList(QMdiArea::StackingOrder).front()->widget();
    for (QWidget* w : ExpectReplaysInViewAndTitleBarsInReach(1))
        for (const char* part : {"SatTable", "DataPanel"}) EXPECT_FALSE(Covers(w, back, part)) << part;
}

class HugeWorkspace : public BenchWorkspace {
protected:
    QSize Desktop() const override { return {3840, 2160}; }
};

TEST_F(HugeWorkspace, ReplayWindowsOpenClearOfTheLiveTablesAndPanelsAndOfEachOther) {
    OpenWithTwoReceivers(0, 0);
    const std::vector<QWidget*> made = ExpectReplaysInViewAndTitleBarsInReach(2);
    for (size_t i = 0; i < made.size(); ++i) {
        for (int s = 0; s < 2; ++s)
            for (const char* part : {"SatTable", "DataPanel"})
                EXPECT_FALSE(Covers(made[i], top->NmeaWidget(s), part)) << "replay " << i << " covers RCV" << s + 1 << " " << part;
        if (i > 0)
            for (const char* part : {"SatTable", "DataPanel"}) {
                QWidget* p = made[0]->findChild<QWidget*>(part);
                EXPECT_FALSE(Sub(made[i])->geometry().intersects(QRect(p->mapTo(top->Workspace()->viewport(), QPoint()), p->size())))
                    << "covers the first replay's " << part;
            }
        // With room for it, at its own size: its console keeps every line.
        EXPECT_EQ(Sub(made[i])->size(), Sub(top->NmeaWidget(0))->size());
    }
}

TEST_F(BenchWorkspace, FourReceiversEachShowTheirWholeTableAndPositionPanel) {
    ExpectFourReceiversWhole({1600, 1000});
}

TEST_F(LaptopWorkspace, FourReceiversEachShowTheirWholeTableAndPositionPanel) {
    ExpectFourReceiversWhole({1366, 768});
}

class SmallLaptopWorkspace : public BenchWorkspace {
protected:
    QSize Desktop() const override { return {1280, 800}; }
};

TEST_F(SmallLaptopWorkspace, FourReceiversEachShowTheirWholeTableAndPositionPanel) {
    ExpectFourReceiversWhole({1280, 800});
}

// The main window a window manager gives on a 1280x800 screen leaves room
// for three device windows a title bar apart: the fourth shares the first
// one's place, so only the first window's title bar is out of reach (it is
// reached from the Window menu), never those of the windows between.
TEST_F(SmallLaptopWorkspace, FourReceiversInTheRoomOfThreeHideOnlyTheFirstTitleBar) {
    OpenWithReceivers(4, 1254, 760);
    std::vector<QWidget*> windows;
    for (int s = 0; s < 4; ++s) windows.push_back(top->NmeaWidget(s));
    for (int s = 0; s < 4; ++s) {
        const std::string name = "RCV" + std::to_string(s + 1);
        ExpectWhollyInView(windows[s], name.c_str());
        ExpectEveryPanelReadable(windows[s], name.c_str());
    }
    ASSERT_FALSE(TitleBarInReach(windows[0])) << "the room holds four places: this test no longer sees the crowd";
    ExpectTitleBarsInReach({windows[1], windows[2], windows[3]});
}

// The simulator and LabSat windows and then the command panel, from their
// menu entries over four receivers: each covers no table or position panel
// in view and not the menus, stays on the screen, and every title bar
// stays in reach.
// `tables_third`: the screen has room for the third clear of the tables
// too (else it covers as little of them as it can, its own title bar and
// the others' in reach).
void ExpectInstrumentsClearOfTablesAndTitleBars(bench::Benchtop& top, bool tables_third = true) {
    std::vector<QWidget*> opened;
    for (const char* entry : {"ConfigSim", "LabSatManagement", "CommPanel"}) {
        SCOPED_TRACE(entry);
        top.findChild<QAction*>(entry)->trigger();
        EXPECT_TRUE(test::Settle()) << "the windows never settled: they still moved after 60 s of events";
        QWidget* w = std::string(entry) == "ConfigSim"          ? top.findChild<bench::sim::SimWindow*>()
                     : std::string(entry) == "LabSatManagement" ? static_cast<QWidget*>(top.findChild<bench::LabSatMngWindow*>())
                                                                : top.ScriptPanel().Window();
        ASSERT_NE(w, nullptr);
        ASSERT_TRUE(w->isVisible());
        opened.push_back(w);
        const QRect at = w->frameGeometry();
        SCOPED_TRACE(::testing::Message() << "at " << at.x() << "," << at.y() << " " << at.width() << "x" << at.height());
        if (opened.size() < 3 || tables_third) {
            for (const auto& [name, part] : AllTablesInView(top)) {
                EXPECT_FALSE(at.intersects(part)) << "covers " << name;
            }
        }
        EXPECT_FALSE(at.intersects(Global(top.menuWidget()))) << "covers the menus";
        EXPECT_TRUE(QGuiApplication::primaryScreen()->availableGeometry().contains(at)) << "off the screen";
        ExpectEveryTitleBarInReach(top, opened);
    }
}

TEST_F(LaptopWorkspace, InstrumentWindowsOpenClearOfTablesAndTitleBars) {
    OpenWithReceivers(4, 1366 - 10, 768 - 60);
    ExpectInstrumentsClearOfTablesAndTitleBars(*top);
}

TEST_F(SmallLaptopWorkspace, InstrumentWindowsOpenClearOfTablesAndTitleBars) {
    OpenWithReceivers(4, 1280 - 10, 800 - 60);
    ExpectInstrumentsClearOfTablesAndTitleBars(*top, false);
}

TEST_F(SmallLaptopWorkspace, TheCommandPanelAloneOpensOverTheConsoleClearOfTheTables) {
    OpenWithReceivers(4, 1280 - 10, 800 - 60);
    QWidget* front = top->Workspace()->subWindowList(QMdiArea::StackingOrder).back()->widget();
    top->findChild<QAction*>("CommPanel")->trigger();
    EXPECT_TRUE(test::Settle()) << "the windows never settled: they still moved after 60 s of events";
    QWidget* panel = top->ScriptPanel().Window();
    ASSERT_TRUE(panel && panel->isVisible());
    const QRect at = panel->frameGeometry();
    for (const auto& [name, part] : AllTablesInView(*top)) EXPECT_FALSE(at.intersects(part)) << "covers " << name;
    EXPECT_TRUE(at.intersects(Global(front->findChild<QWidget*>("Frame2")))) << "over the console";
    ExpectEveryTitleBarInReach(*top, {panel});
}

TEST_F(BenchWorkspace, InstrumentWindowsOpenClearOfTablesAndTitleBars) {
    OpenWithReceivers(2, 0, 0);
    ExpectInstrumentsClearOfTablesAndTitleBars(*top);
}

// The grid shows the column of every device of the session whole, its
// statistics and three trials, without scrolling sideways.
void ExpectEveryDeviceColumn(bench::Results& results, int devices) {
    auto* table = results.findChild<QTableWidget*>("MSFlexGrid1");
    ASSERT_NE(table, nullptr);
    SCOPED_TRACE(::testing::Message() << "grid " << results.width() << "x" << results.height());
    EXPECT_FALSE(table->horizontalScrollBar()->isVisible()) << "scrolls sideways";
    for (int c = 1; c <= devices; ++c) {
        EXPECT_FALSE(table->isColumnHidden(c)) << "Device " << c;
        const int x = table->columnViewportPosition(c);
        EXPECT_TRUE(x >= 0 && x + table->columnWidth(c) <= table->viewport()->width()) << "Device " << c << " cut";
    }
    const int last = 3 + 3;  // the third trial
    EXPECT_LE(table->rowViewportPosition(last) + table->rowHeight(last), table->viewport()->height())
        << "fewer than three trials in view";
}

TEST_F(LaptopWorkspace, TheResultsGridShowsEveryDeviceColumnWithFourReceivers) {
    OpenWithReceivers(4, 1366 - 10, 768 - 60);
    top->Grid().UpdateTest(1, 3);  // a session's first trial shows the grid
    EXPECT_TRUE(test::Settle()) << "the windows never settled: they still moved after 60 s of events";
    bench::Results& results = top->ResultsWindow();
    ASSERT_TRUE(results.isVisible());
    ExpectEveryDeviceColumn(results, 4);
    const QRect at = results.frameGeometry();
    for (const auto& [name, part] : AllTablesInView(*top)) EXPECT_FALSE(at.intersects(part)) << "covers " << name;
    ExpectEveryTitleBarInReach(*top, {&results});
}

// The command panel open before Start: the grid still shows every device
// column, and grows back towards its own size once the panel is closed.
TEST_F(BenchWorkspace, TheResultsGridShowsEveryColumnBesideTheCommandPanelAndGrowsBackWhenItCloses) {
    OpenWithReceivers(4, 0, 0);
    top->findChild<QAction*>("CommPanel")->trigger();
    EXPECT_TRUE(test::Settle()) << "the windows never settled: they still moved after 60 s of events";
    QWidget* panel = top->ScriptPanel().Window();
    ASSERT_TRUE(panel && panel->isVisible());
    top->Grid().UpdateTest(1, 3);
    EXPECT_TRUE(test::Settle()) << "the windows never settled: they still moved after 60 s of events";
    bench::Results& results = top->ResultsWindow();
    ASSERT_TRUE(results.isVisible());
    ExpectEveryDeviceColumn(results, 4);
    ExpectEveryTitleBarInReach(*top, {panel, &results});
    const QSize opened = results.size();
    panel->close();
    EXPECT_TRUE(test::Settle()) << "the windows never settled: they still moved after 60 s of events";
    EXPECT_TRUE(results.isVisible());
    EXPECT_GT(results.width(), opened.width()) << "not grown back";
    EXPECT_GT(results.height(), opened.height()) << "not grown back";
    EXPECT_LE(results.width(), results.OwnSize().width());
    const QRect at = results.frameGeometry();
    for (const auto& [name, part] : AllTablesInView(*top)) EXPECT_FALSE(at.intersects(part)) << "covers " << name;
    ExpectEveryDeviceColumn(results, 4);
}

// A crowded session: four receivers, the first brought to the front, the
// instruments, the command panel and the replay's controls opened, then
// Start: every title bar stays in reach, the grid shows every device
// column, and nothing covers the menus.
void ExpectCrowdedBenchInReach(bench::Benchtop& top) {
    top.findChild<QAction*>("win1_0")->trigger();
    EXPECT_TRUE(test::Settle()) << "the windows never settled: they still moved after 60 s of events";
    std::vector<QWidget*> opened;
    for (const char* entry : {"ConfigSim", "LabSatManagement", "CommPanel", "LogFileReplay"}) {
        top.findChild<QAction*>(entry)->trigger();
        EXPECT_TRUE(test::Settle()) << "the windows never settled: they still moved after 60 s of events";
    }
    opened = {top.findChild<bench::sim::SimWindow*>(), top.findChild<bench::LabSatMngWindow*>(),
              top.ScriptPanel().Window(), top.findChild<bench::ReplayWindow*>()};
    top.Grid().UpdateTest(1, 3);
    EXPECT_TRUE(test::Settle()) << "the windows never settled: they still moved after 60 s of events";
    opened.push_back(&top.ResultsWindow());
    for (QWidget* w : opened) {
        ASSERT_TRUE(w && w->isVisible());
        const QRect at = w->frameGeometry();
        SCOPED_TRACE(::testing::Message() << w->windowTitle().toStdString() << " at " << at.x() << "," << at.y() << " "
                                          << at.width() << "x" << at.height());
        EXPECT_FALSE(at.intersects(Global(top.menuWidget()))) << "covers the menus";
        EXPECT_TRUE(QGuiApplication::primaryScreen()->availableGeometry().contains(at)) << "off the screen";
    }
    ExpectEveryTitleBarInReach(top, opened);
    ExpectEveryDeviceColumn(top.ResultsWindow(), 4);
}

TEST_F(LaptopWorkspace, ACrowdedBenchLeavesEveryTitleBarInReach) {
    OpenWithReceivers(4, 1366 - 10, 768 - 60);
    ExpectCrowdedBenchInReach(*top);
}

TEST_F(SmallLaptopWorkspace, ACrowdedBenchLeavesEveryTitleBarInReach) {
    OpenWithReceivers(4, 1280 - 10, 800 - 60);
    ExpectCrowdedBenchInReach(*top);
}

TEST_F(BenchWorkspace, ACrowdedBenchLeavesEveryTitleBarInReach) {
    OpenWithReceivers(4, 1600 - 10, 1000 - 60);
    ExpectCrowdedBenchInReach(*top);
}

}  // namespace
}  // namespace benchtop_test
