// The main window's own windows as a person meets them: owned windows that
// stay above the main window, the results grid that appears with the first
// test, a Start that refuses to run without a receiver, and Help that says
// why it shows nothing.
#include <QApplication>
#include <QFontMetrics>
#include <QScreen>
#include <QTableWidget>
#include <QWindow>

#include <memory>

#include "bench/devices/system_log.h"
#include "bench/instruments/command_panel_window.h"
#include "bench/instruments/sim_window.h"
#include "bench/session/results_window.h"
#include "tests/session/benchtop_fixture.h"

namespace benchtop_test {
namespace {

using dialogs_test::TakeAsked;

// A window that a window manager keeps above the main window: of a dialog
// kind (a plain top-level window is stacked on its own) and owned by the
// main window.
void ExpectOwnedByMainWindow(QWidget* w, bench::Benchtop& top, const char* what) {
    SCOPED_TRACE(what);
    ASSERT_NE(w, nullptr);
    EXPECT_TRUE(w->isWindow());
    EXPECT_TRUE(w->windowType() == Qt::Dialog || w->windowType() == Qt::Tool) << w->windowType();
    ASSERT_NE(w->windowHandle(), nullptr);
    EXPECT_EQ(w->windowHandle()->transientParent(), top.windowHandle());
}

void ExpectOnScreen(QWidget* w, const char* what) {
    SCOPED_TRACE(what);
    const QRect area = w->screen()->availableGeometry();
    EXPECT_TRUE(area.contains(w->frameGeometry())) << "at " << w->x() << "," << w->y() << " size " << w->width()
                                                   << "x" << w->height();
}

bool LogHas(const std::string& text) {
    return test::ReadFileBytes(bench::SystemLogPath()).find(text) != std::string::npos;
}

}  // namespace

TEST_F(BenchtopTest, OwnedWindowsStayAboveTheMainWindow) {
    // The dialog opens with the main window, before the main window is on
    // screen: it must still be owned by it.
    auto made = std::make_unique<bench::Benchtop>(factory);
    ASSERT_TRUE(made->ConfigDialog().isVisible());
    top = std::move(made);
    Open();
    ExpectOwnedByMainWindow(&top->ConfigDialog(), *top, "configuration dialog");
    // Put up again once the main window is on screen: in front of it.
    EXPECT_TRUE(test::WaitFor([&] { return QApplication::activeWindow() == &top->ConfigDialog(); }, 1000))
        << "the main window came up over the configuration dialog";
    EXPECT_TRUE(top->ConfigDialog().isVisible());

    Trigger("SetAntennaCoordinates");
    ExpectOwnedByMainWindow(&top->CoordsWindow(), *top, "antenna coordinates");
    top->TaskMonitorWindow().show();
    ExpectOwnedByMainWindow(&top->TaskMonitorWindow(), *top, "task monitor");
    Trigger("AboutSW");
    ExpectOwnedByMainWindow(top->findChild<bench::frmAbout*>(), *top, "about box");
}

TEST_F(BenchtopTest, InstrumentWindowsStayAboveTheMainWindow) {
    Open();
    top->SimulatorWindow().show();
    ExpectOwnedByMainWindow(&top->SimulatorWindow(), *top, "simulator");
    top->LabSat().Show();
    ExpectOwnedByMainWindow(top->LabSat().Window(), *top, "LabSat");
    top->LogReplay().Show();
    ExpectOwnedByMainWindow(top->LogReplay().Window(), *top, "log replay");
    top->ScriptPanel().Show();
    ExpectOwnedByMainWindow(top->ScriptPanel().Window(), *top, "command panel");
    top->ExternalControl().SetShown(true);
    ExpectOwnedByMainWindow(top->ExternalControl().Window(), *top, "external control");
}

TEST_F(BenchtopTest, ResultsGridAppearsWhenTheFirstTestStarts) {
    bench::SystemConfig c = Config({0, 1});
    AddColdTest(c, 0, 3, 0, 0);
    SetUpDevices(c);
    EXPECT_EQ(top->findChild<bench::Results*>(), nullptr) << "no grid before a test";
    // A listener set before the window exists keeps hearing every change.
    auto heard = std::make_shared<int>(0);
    top->Grid().changed = [before = top->Grid().changed, heard] {
        if (before) before();
        ++*heard;
    };
    Trigger("exectest");
    ASSERT_TRUE(top->SessionRunning());
    auto* results = top->findChild<bench::Results*>();
    ASSERT_NE(results, nullptr) << "the engine's first use creates the window";
    EXPECT_TRUE(results->isVisible());
    ExpectOwnedByMainWindow(results, *top, "results grid");
    ExpectOnScreen(results, "results grid");

    // A value of a trial shows in the window as it arrives.
    top->Grid().UpdateCell(1, 1, 42.5);
    auto* grid = results->findChild<QTableWidget*>("MSFlexGrid1");
    ASSERT_NE(grid, nullptr);
    ASSERT_NE(grid->item(4, 2), nullptr);
    EXPECT_EQ(grid->item(4, 2)->text().toStdString(), "42.5");
    // A mean shows 3 decimals whole, bold as it is; the grid keeps it all.
    top->Grid().UpdateCell(2, 1, 43.3);
    top->Grid().UpdateCell(3, 1, 10.0 / 3);
    const QTableWidgetItem* mean = grid->item(0, 2);
    ASSERT_NE(mean, nullptr);
    EXPECT_EQ(mean->text().toStdString(), "29.711");
    EXPECT_EQ(top->Grid().Cell(0, 2), "29.7111111111111");
    EXPECT_GE(grid->columnWidth(2), QFontMetrics(mean->font()).horizontalAdvance(mean->text()) + 6);
    const int now = *heard;
    top->Grid().UpdateCell(4, 1, 7.0);
    EXPECT_EQ(*heard, now + 1) << "the window must not take the grid's listener for itself";

    // Closed by the user, it stays closed while the test runs and comes
    // back with the next test.
    results->close();
    top->Grid().UpdateCell(5, 1, 8.0);
    EXPECT_FALSE(results->isVisible());
    Trigger("StopTesting");
    Trigger("exectest");
    EXPECT_TRUE(results->isVisible());
    EXPECT_EQ(top->findChildren<bench::Results*>().size(), 1u) << "one grid for the life of the program";
    Trigger("StopTesting");
}

TEST_F(BenchtopTest, StartWithNoDeviceEnabledIsRefusedWithAWarning) {
    for (bool configured : {false, true}) {
        SCOPED_TRACE(configured ? "configuration without devices" : "no configuration applied");
        if (configured) {
            bench::SystemConfig c = Config({});
            AddColdTest(c, 0, 3, 0, 0);
            SetUpDevices(c);
        } else {
            Open();
        }
        TakeAsked();
        Trigger("exectest");
        EXPECT_FALSE(top->SessionRunning());
        EXPECT_NE(top->StatusText(1), "Test Session Completed") << "a failure shown as a success";
        const std::vector<std::string> asked = TakeAsked();
        ASSERT_EQ(asked.size(), 1u);
        EXPECT_EQ(asked[0].rfind("WARNING: No device is enabled", 0), 0u) << asked[0];
        EXPECT_TRUE(Entry("exectest")->isEnabled()) << "Start stays available";
        EXPECT_TRUE(LogHas("Test session not started: no device enabled"));
        top.reset();
    }
}

TEST_F(BenchtopTest, HelpSaysWhyNothingIsShown) {
    Open();
    std::vector<std::string> opened;
    bool browser = false;
    top->SetHelpOpener([&](const std::string& f) {
        opened.push_back(f);
        return browser;
    });
    TakeAsked();
    Trigger("Hlp");
    EXPECT_TRUE(opened.empty());
    std::vector<std::string> asked = TakeAsked();
    ASSERT_EQ(asked.size(), 1u);
    EXPECT_EQ(asked[0], "Help: The help file was not found:\n" + top->HelpFile());

    test::WriteFileBytes(home->File("fixbench.html"), "<html></html>");
    Trigger("Hlp");
    EXPECT_EQ(opened, (std::vector<std::string>{home->File("fixbench.html")}));
    asked = TakeAsked();
    ASSERT_EQ(asked.size(), 1u);
    EXPECT_EQ(asked[0], "Help: No browser could be started to show the help file:\n" + home->File("fixbench.html"));
    EXPECT_TRUE(LogHas("Help not available"));

    browser = true;
    Trigger("Hlp");
    EXPECT_TRUE(TakeAsked().empty()) << "a browser showed the page: nothing to say";
}

}  // namespace benchtop_test
