// The windows that open over the main window's workspace (the results grid,
// the command panel, the simulator, LabSat, Extern Control, the task monitor
// and the replay's controls with the device window of a replayed log),
// opened in many orders over two and four receivers at the screen sizes of
// the lab's machines. Each opens on the screen, clear of the menus, with
// every title bar still in reach; where the screen has room for it at the
// size of its contents it covers no satellite table, position panel,
// results grid or title bar; else it sits over a device window's console.
#include <QAbstractButton>
#include <QGroupBox>
#include <QGuiApplication>
#include <QScreen>
#include <QStyle>
#include <QTableWidget>

#include <array>
#include <map>
#include <functional>
#include <numeric>
#include <optional>

#include "bench/instruments/command_panel_window.h"
#include "bench/instruments/ext_control_window.h"
#include "bench/instruments/labsat_window.h"
#include "bench/instruments/replay_window.h"
#include "bench/instruments/sim_window.h"
#include "bench/session/device_windows.h"
#include "bench/session/results_window.h"
#include "bench/session/script_bench.h"
#include "tests/instruments/replay_logs.h"
#include "tests/session/benchtop_fixture.h"
#include "tests/session/placement_checks.h"
#include "tests/support/emulated_receiver.h"

namespace benchtop_test {
namespace {

using placement_test::ExpectEveryTitleBarInReach;
using placement_test::Global;

enum class Win { Results, CommandPanel, Simulator, LabSat, ExternControl, TaskMonitor, Replay };
constexpr std::array<Win, 7> kWindows = {Win::Results,       Win::CommandPanel, Win::Simulator, Win::LabSat,
                                         Win::ExternControl, Win::TaskMonitor,  Win::Replay};

const char* Name(Win w) {
    switch (w) {
        case Win::Results: return "Results";
        case Win::CommandPanel: return "Command Panel";
        case Win::Simulator: return "Simulator Management";
        case Win::LabSat: return "LabSat Management";
        case Win::ExternControl: return "Extern Control";
        case Win::TaskMonitor: return "Task Monitor";
        case Win::Replay: return "Log Files Replay";
    }
    return "";
}

// Each window first, last and after each other one: the turns of one order
// and of its reverse.
std::vector<std::vector<Win>> Orders() {
    std::vector<std::vector<Win>> orders;
    for (bool reversed : {false, true}) {
        std::vector<Win> base(kWindows.begin(), kWindows.end());
        if (reversed) std::reverse(base.begin(), base.end());
        for (size_t k = 0; k < base.size(); ++k) {
            std::vector<Win> o(base.begin() + static_cast<std::ptrdiff_t>(k), base.end());
            o.insert(o.end(), base.begin(), base.begin() + static_cast<std::ptrdiff_t>(k));
            orders.push_back(std::move(o));
        }
    }
    return orders;
}

std::string Describe(const QRect& r) {
    return std::to_string(r.width()) + "x" + std::to_string(r.height()) + "+" + std::to_string(r.x()) + "+" +
           std::to_string(r.y());
}

// Something a window must leave in view when it can.
struct Part {
    std::string name;
    QRect at;  // screen coordinates
};

// The order in which the top-level windows came to the front, as a window
// manager stacks them: shown or activated last is on top.
class Stacking : public QObject {
public:
    void Watch() { qApp->installEventFilter(this); }
    ~Stacking() override {
        if (qApp) qApp->removeEventFilter(this);
    }
    bool eventFilter(QObject* watched, QEvent* event) override {
        if ((event->type() == QEvent::Show || event->type() == QEvent::WindowActivate) && watched->isWidgetType() &&
            static_cast<QWidget*>(watched)->isWindow())
            raised_[watched] = ++count_;
        return false;
    }
    // `windows` bottom first.
    std::vector<QWidget*> Sorted(std::vector<QWidget*> windows) const {
        std::stable_sort(windows.begin(), windows.end(), [this](QWidget* a, QWidget* b) { return Raised(a) < Raised(b); });
        return windows;
    }

private:
    int64_t Raised(QObject* w) const {
        auto it = raised_.find(w);
        return it == raised_.end() ? 0 : it->second;
    }
    std::map<QObject*, int64_t> raised_;
    int64_t count_ = 0;
};

class WindowOrder : public ::testing::Test {
protected:
    struct Desk {
        int width, height, scale;
    };
    virtual Desk Screen() const = 0;
    void SetUp() override {
        const Desk d = Screen();
        if (!test::EnsureAppWithScreen(d.width, d.height, d.scale) ||
            QGuiApplication::primaryScreen()->geometry().size() != QSize(d.width / d.scale, d.height / d.scale))
            GTEST_SKIP() << "needs a " << d.width << " x " << d.height << " desktop at scale " << d.scale
                         << ": run this test on its own (as ctest does)";
        dialogs_test::ResetPrompts();
        stacking.Watch();
        home = std::make_unique<test::TempHome>();
        const std::string log = home->File("replay.txt");
        test::WriteFileBytes(log, replay_test::MakeLog(36000, 3).bytes);
    }
    void TearDown() override {
        top.reset();
        for (auto& r : rx) r.reset();
        dialogs_test::ResetPrompts();
    }

    // A bench as it opens by itself, with `count` receivers and OK pressed.
    void OpenBench(int count) {
        top.reset();
        bench::SystemConfig c;
        bench::SystemConfigReset(c);
        for (int s = 0; s < count; ++s) {
            if (!rx[s]) {
                rx[s] = std::make_unique<test::EmulatedReceiver>();
                rx[s]->RegisterPort(7 + s);
            }
            c.Devices[s].DevEN = bench::FlagSet;
            c.Devices[s].DName = "RCV" + std::to_string(s + 1);
            c.Devices[s].NmeaP = static_cast<int16_t>(7 + s);
            c.Devices[s].NmeaB = 9600;
        }
        ASSERT_TRUE(bench::SaveSystemConfig(home->File("Config.dat"), c).ok);
        factory.taskMonitor = [this] { top->TaskMonitorWindow().show(); };
        top = std::make_unique<bench::Benchtop>(factory);
        top->show();
        Settled();
        top->ConfigDialog().close();
        top->ConfigDialog().show();  // reads Config.dat afresh
        dialogs_test::Click(&top->ConfigDialog(), "Save_Command");
        Settled();
        for (int s = 0; s < count; ++s) ASSERT_NE(top->NmeaWidget(s), nullptr);
    }

    // Opens the window as the engineer (or the session) does.
    QWidget* Open(Win w) {
        switch (w) {
            case Win::Results:
                top->Grid().UpdateTest(1, 3);  // a session's first trial shows the grid
                Settled();
                return &top->ResultsWindow();
            case Win::CommandPanel:
                top->findChild<QAction*>("CommPanel")->trigger();
                Settled();
                return top->ScriptPanel().Window();
            case Win::Simulator:
                top->findChild<QAction*>("ConfigSim")->trigger();
                Settled();
                return top->findChild<bench::sim::SimWindow*>();
            case Win::LabSat:
                top->findChild<QAction*>("LabSatManagement")->trigger();
                Settled();
                return top->LabSat().Window();
            case Win::ExternControl:
                top->findChild<QAction*>("ExtCtr")->trigger();
                Settled();
                return top->ExternalControl().Window();
            case Win::TaskMonitor: {
                // The front device window's "Task Monitor" button.
                QWidget* front = top->Workspace()->subWindowList(QMdiArea::StackingOrder).back()->widget();
                dialogs_test::Click(front, "Command5");
                Settled();
                return &top->TaskMonitorWindow();
            }
            case Win::Replay: {
                top->findChild<QAction*>("LogFileReplay")->trigger();
                Settled();
                auto* replay = top->findChild<bench::ReplayWindow*>();
                if (!replay) return nullptr;
                platform::Prompts::Instance().QueueFileName(home->File("replay.txt"));
                platform::Prompts::Instance().QueueAnswer(platform::Answer::Yes);  // its index built
                dialogs_test::Click(replay, "Command3");
                dialogs_test::Click(replay, "Command6");
                Settled();
                return replay;
            }
        }
        return nullptr;
    }

    static int TitleHeight(const QWidget& w) { return w.style()->pixelMetric(QStyle::PM_TitleBarHeight) + 8; }

    // What `window` must leave in view, of the device windows (live and
    // replayed) and of the windows behind it: tables, position panels, the
    // results grid and title bars, where nothing in front of them hides
    // them already. `in_front`: the windows in front of it (a window shown
    // without the keys stays behind the one that keeps them).
    std::vector<Part> ToLeaveInView(QWidget* window, const std::vector<QWidget*>& stack_order,
                                    std::vector<QRect>& in_front) {
        std::vector<Part> parts;
        const auto at = std::find(stack_order.begin(), stack_order.end(), window);
        QRegion front_of_it;
        for (auto it = at + 1; it < stack_order.end(); ++it)
            if ((*it)->isVisible()) {
                in_front.push_back((*it)->frameGeometry());
                front_of_it += (*it)->frameGeometry();
            }
        const QList<QMdiSubWindow*> stack = top->Workspace()->subWindowList(QMdiArea::StackingOrder);
        const QRegion view(Global(top->Workspace()->viewport()));
        for (qsizetype i = 0; i < stack.size(); ++i) {
            QMdiSubWindow* sub = stack[i];
            if (!sub->isVisible() || sub->isMinimized()) continue;
            // (What another window over the workspace covers is its own to
            // leave in view, wherever it goes.)
            QRegion above;
            for (qsizetype j = i + 1; j < stack.size(); ++j)
                if (stack[j]->isVisible() && !stack[j]->isMinimized()) above += Global(stack[j]);
            auto add = [&](const std::string& name, const QRect& r) {
                for (const QRect& p : (QRegion(r) & view) - above) parts.push_back({name, p});
            };
            const std::string title = sub->windowTitle().toStdString();
            for (const char* name : {"SatTable", "DataPanel"})
                if (QWidget* p = sub->widget()->findChild<QWidget*>(name); p && p->isVisible())
                    add(title + " " + name, Global(p));
            add(title + " title bar", QRect(sub->mapToGlobal(QPoint(0, 0)), QSize(sub->width(), sub->widget()->y())));
        }
        for (auto it = stack_order.begin(); it < at; ++it) {
            QWidget* w = *it;
            if (!w->isVisible()) continue;
            QRegion front;
            for (auto j = it + 1; j < stack_order.end(); ++j)
                if (*j != window && (*j)->isVisible()) front += (*j)->frameGeometry();
            const std::string title = w->windowTitle().toStdString();
            const QRect f = w->frameGeometry();
            for (const QRect& p : QRegion(QRect(f.topLeft(), QSize(f.width(), TitleHeight(*w)))) - front)
                parts.push_back({title + " title bar", p});
            if (auto* grid = w->findChild<QTableWidget*>("MSFlexGrid1"); grid && grid->isVisible())
                for (const QRect& p : QRegion(Global(grid)) - front) parts.push_back({"the results grid", p});
        }
        return parts;
    }

    // Where each title bar among `parts` is grabbed (the start of its
    // caption, the piece before its buttons), where nothing covers it yet.
    static std::vector<Part> ReachPieces(const std::vector<Part>& parts) {
        std::map<std::string, QRegion> bars;
        for (const Part& p : parts)
            if (p.name.find("title bar") != std::string::npos) bars[p.name] += p.at;
        std::vector<Part> pieces;
        for (const auto& [name, bar] : bars) {
            const QRect whole = bar.boundingRect();
            const int h = whole.height();
            for (const QRect& piece : {QRect(whole.topLeft(), QSize(40, h)),
                                       QRect(QPoint(whole.right() + 1 - 40 - 3 * h, whole.top()), QSize(40, h))})
                if ((QRegion(piece) - bar).isEmpty()) pieces.push_back({name + " (where it is grabbed)", piece});
        }
        return pieces;
    }

    // Whether a place of this size on the screen covers none of `parts`
    // and not the menus, its own title bar left in view of `in_front`.
    bool RoomFor(QSize size, const std::vector<Part>& parts, const std::vector<QRect>& in_front) {
        const QRect area = QGuiApplication::primaryScreen()->availableGeometry();
        const QRect menus = Global(top->menuWidget());
        for (int y = area.top(); y + size.height() <= area.bottom() + 1; y += 5)
            for (int x = area.left(); x + size.width() <= area.right() + 1; x += 5) {
                const QRect r(QPoint(x, y), size);
                if (r.intersects(menus)) continue;
                const int h = TitleHeight(*top);
                const QRect start(r.topLeft(), QSize(40, h)), end(QPoint(r.right() + 1 - 40 - 3 * h, r.top()), QSize(40, h));
                auto hidden = [&](const QRect& piece) {
                    return std::any_of(in_front.begin(), in_front.end(), [&](const QRect& f) { return f.intersects(piece); });
                };
                if (hidden(start) && hidden(end)) continue;
                if (std::none_of(parts.begin(), parts.end(), [&](const Part& p) { return r.intersects(p.at); }))
                    return true;
            }
        return false;
    }

    void ExpectPlaced(Win kind, QWidget* w, const std::vector<QWidget*>& opened) {
        const QRect at = w->frameGeometry();
        SCOPED_TRACE(std::string(Name(kind)) + " at " + Describe(at));
        const QRect area = QGuiApplication::primaryScreen()->availableGeometry();
        EXPECT_TRUE(area.contains(at)) << "off the screen " << Describe(area);
        EXPECT_FALSE(at.intersects(Global(top->menuWidget()))) << "covers the menus";
        auto* own = dynamic_cast<platform::BenchWindow*>(w);
        ASSERT_NE(own, nullptr);
        const std::vector<QWidget*> stack_order = stacking.Sorted(opened);
        std::vector<QRect> in_front;
        const std::vector<Part> parts = ToLeaveInView(w, stack_order, in_front);
        const QSize contents = own->ContentSize();
        const QSize frame(8, TitleHeight(*w));
        // Where there is room for it, no window in front of it hides it.
        std::vector<Part> whole = parts;
        for (const QRect& f : in_front) whole.push_back({"a window in front of it", f});
        if (RoomFor(contents + frame, whole, in_front)) {
            EXPECT_EQ(w->size(), contents) << "room for it whole, yet not sized to its contents";
            for (const Part& p : whole) {
                EXPECT_FALSE(at.intersects(p.at)) << "room elsewhere, yet it covers " << p.name << " " << Describe(p.at);
            }
        } else {
            // Short of room: every title bar stays in reach (below) and, at
            // the size it took, it covers no table, position panel or
            // results grid where it can, else no position panel or grid.
            std::vector<Part> read, first;
            for (const Part& p : parts) {
                if (p.name.find("title bar") != std::string::npos) continue;
                read.push_back(p);
                if (p.name.find("SatTable") == std::string::npos) first.push_back(p);
            }
            const std::vector<Part> pieces = ReachPieces(parts);
            auto with_pieces = [&](std::vector<Part> v) {
                v.insert(v.end(), pieces.begin(), pieces.end());
                return v;
            };
            const std::vector<Part>* must = RoomFor(at.size() + frame, with_pieces(read), in_front)    ? &read
                                            : RoomFor(at.size() + frame, with_pieces(first), in_front) ? &first
                                                                                                       : nullptr;
            if (must)
                for (const Part& p : *must) {
                    EXPECT_FALSE(at.intersects(p.at)) << "it could have left " << p.name << " " << Describe(p.at)
                                                      << " in view";
                }
        }
        // Opened, it is no larger than its contents.
        EXPECT_LE(w->height(), contents.height()) << "taller than its contents";
        EXPECT_LE(w->width(), contents.width()) << "wider than its contents";
        ExpectEveryTitleBarInReach(*top, stack_order);
    }

    // A window already open when device windows opened beneath it covers
    // none of the position panels, where a place of its size leaves them
    // and every title bar in view.
    void ExpectOffThePanels(Win kind, QWidget* w, const std::vector<QWidget*>& opened) {
        const QRect at = w->frameGeometry();
        SCOPED_TRACE(std::string(Name(kind)) + " at " + Describe(at) + ", after the replay opened");
        const std::vector<QWidget*> stack_order = stacking.Sorted(opened);
        std::vector<QRect> in_front;
        const std::vector<Part> parts = ToLeaveInView(w, stack_order, in_front);
        std::vector<Part> panels;
        for (const Part& p : parts)
            if (p.name.find("DataPanel") != std::string::npos) panels.push_back(p);
        std::vector<Part> must = panels;
        for (const Part& p : ReachPieces(parts)) must.push_back(p);
        if (!RoomFor(at.size() + QSize(8, TitleHeight(*w)), must, in_front)) return;
        for (const Part& p : panels) {
            EXPECT_FALSE(at.intersects(p.at)) << "it could have left " << p.name << " " << Describe(p.at) << " in view";
        }
    }

    void OpenInEveryOrder(int receivers) {
        for (const std::vector<Win>& order : Orders()) {
            std::string names;
            for (Win w : order) names += std::string(names.empty() ? "" : ", ") + Name(w);
            SCOPED_TRACE(std::to_string(receivers) + " receivers, in the order " + names);
            OpenBench(receivers);
            if (HasFatalFailure()) return;
            std::vector<QWidget*> opened;
            for (Win kind : order) {
                QWidget* w = Open(kind);
                ASSERT_TRUE(w && w->isVisible()) << Name(kind) << " did not open";
                opened.push_back(w);
                ExpectPlaced(kind, w, opened);
                // The replay's device windows open beneath the windows
                // already open, which move off what they now cover.
                if (kind == Win::Replay)
                    for (size_t i = 0; i + 1 < opened.size(); ++i) ExpectOffThePanels(order[i], opened[i], opened);
            }
            if (HasFailure()) return;  // one order's report is enough to read
        }
    }

    // The bench lays its windows out over several turns of the event loop,
    // which a loaded machine spreads over more time: each check waits until
    // no window moves any more.
    void Settled() {
        if (!test::Settle()) ADD_FAILURE() << "the windows never settled: they still moved after 60 s of events";
    }

    Stacking stacking;
    std::unique_ptr<test::TempHome> home;
    std::array<std::unique_ptr<test::EmulatedReceiver>, 4> rx;
    bench::CommWindowFactory factory;
    std::unique_ptr<bench::Benchtop> top;
};

struct SmallLaptop : WindowOrder {
    Desk Screen() const override { return {1280, 800, 1}; }
};
struct Laptop : WindowOrder {
    Desk Screen() const override { return {1366, 768, 1}; }
};
struct Wide : WindowOrder {
    Desk Screen() const override { return {1920, 1080, 1}; }
};
struct DenseLaptop : WindowOrder {
    Desk Screen() const override { return {2560, 1600, 2}; }
};

TEST_F(SmallLaptop, WindowsOpenedInEveryOrderOverTwoReceivers) { OpenInEveryOrder(2); }
TEST_F(SmallLaptop, WindowsOpenedInEveryOrderOverFourReceivers) { OpenInEveryOrder(4); }
TEST_F(Laptop, WindowsOpenedInEveryOrderOverTwoReceivers) { OpenInEveryOrder(2); }
TEST_F(Laptop, WindowsOpenedInEveryOrderOverFourReceivers) { OpenInEveryOrder(4); }
TEST_F(Wide, WindowsOpenedInEveryOrderOverTwoReceivers) { OpenInEveryOrder(2); }
TEST_F(Wide, WindowsOpenedInEveryOrderOverFourReceivers) { OpenInEveryOrder(4); }
TEST_F(DenseLaptop, WindowsOpenedInEveryOrderOverTwoReceivers) { OpenInEveryOrder(2); }
TEST_F(DenseLaptop, WindowsOpenedInEveryOrderOverFourReceivers) { OpenInEveryOrder(4); }

}  // namespace
}  // namespace benchtop_test
