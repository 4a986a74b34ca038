// The device window as a person sees it on a 1600 x 1000 desktop: every
// panel in view at the opening size and after "Standard Layout", panels
// that keep their width whatever the receiver sends, and status texts shown
// whole.
#include "bench/devices/comm_window.h"
#include "bench/devices/statistics.h"
#include "tests/support/fakes.h"
#include "tests/support/qt_app.h"

#include <QCheckBox>
#include <QCoreApplication>
#include <QEvent>
#include <QGroupBox>
#include <QLabel>
#include <QMainWindow>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QPushButton>
#include <QScrollArea>
#include <QScrollBar>

#include <gtest/gtest.h>

using namespace bench;

namespace {

constexpr const char* kPanels[] = {"Frame1",  "Frame2",           "DataPanel",  "SatTable",
                                   "OutputWin", "ProductVerString", "StatusBar1"};

// The panels the window shows without scrolling: each lies wholly inside
// the part of the window on view, and nothing is scrolled away.
void ExpectEveryPanelInView(CommWindow& w, const char* when) {
    SCOPED_TRACE(when);
    test::Pump(30);
    auto* scroll = w.findChild<QScrollArea*>();
    ASSERT_NE(scroll, nullptr);
    EXPECT_FALSE(scroll->verticalScrollBar()->isVisible()) << "the window needs scrolling";
    EXPECT_FALSE(scroll->horizontalScrollBar()->isVisible()) << "the window needs scrolling";
    const QRect view(scroll->viewport()->mapTo(&w, QPoint(0, 0)), scroll->viewport()->size());
    for (const char* name : kPanels) {
        auto* panel = w.findChild<QWidget*>(name);
        ASSERT_NE(panel, nullptr) << name;
        const QRect at(panel->mapTo(&w, QPoint(0, 0)), panel->size());
        EXPECT_TRUE(w.rect().contains(at)) << name << " outside the window";
        if (std::string(name) != "StatusBar1") { EXPECT_TRUE(view.contains(at)) << name << " scrolled out of view"; }
        EXPECT_GT(panel->width(), 20) << name;
    }
}

// Counts the paint events a widget gets.
class Paints : public QObject {
public:
    explicit Paints(QWidget* widget) { widget->installEventFilter(this); }
    int Count() const { return count_; }
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() == QEvent::Paint) ++count_;
        return false;
    }

private:
    int count_ = 0;
};

class CommWindowLayout : public ::testing::Test {
protected:
    void SetUp() override {
        if (!test::EnsureAppWithScreen(1600, 1000))
            GTEST_SKIP() << "needs a 1600 x 1000 desktop: run this test on its own (as ctest does)";
    }
    test::TempHome home;
    test::FakeBenchHost host;
};

}  // namespace

TEST_F(CommWindowLayout, OpeningSizeAndStandardLayoutShowEveryPanel) {
    CommWindow w(&host);
    w.SetDeviceType(0);
    w.SetDeviceName("GPS1");
    w.show();
    w.DeviceEnableDataDecoding();  // the main window ticks it after showing the window
    ExpectEveryPanelInView(w, "opening size");
    EXPECT_LE(w.frameGeometry().width(), 1600);
    EXPECT_LE(w.frameGeometry().height(), 1000);

    w.resize(500, 300);
    test::Pump(30);
    auto* scroll = w.findChild<QScrollArea*>();
    EXPECT_TRUE(scroll->verticalScrollBar()->isVisible()) << "a smaller window scrolls";
    w.findChild<QPushButton*>("Command3")->click();
    ExpectEveryPanelInView(w, "after Standard Layout");
}

TEST_F(CommWindowLayout, DebugWindowShowsItsFilterWithoutScrolling) {
    CommWindow w(&host);
    w.SetDeviceType(1);
    w.SetDeviceName("GPS1");
    w.show();
    w.findChild<QCheckBox*>("Check1")->click();
    ASSERT_TRUE(w.findChild<QGroupBox*>("Frame3")->isVisible());
    ExpectEveryPanelInView(w, "filter shown");
}

TEST_F(CommWindowLayout, InTheMainWindowsWorkspaceTheOpeningSizeFits) {
    QMainWindow top;
    auto* area = new QMdiArea(&top);
    top.setCentralWidget(area);
    top.resize(1500, 950);
    top.show();
    auto* w = new CommWindow(&host);
    QMdiSubWindow* sub = area->addSubWindow(w);
    // The order the main window uses: kind and name, then place and show.
    w->SetDeviceType(0);
    w->SetDeviceName("GPS1");
    const int32_t height_before_show = w->DeviceGetHeight();
    w->DeviceSetTop(0);
    w->DeviceSetLeft(0);
    sub->show();
    w->DeviceEnableDataDecoding();
    ExpectEveryPanelInView(*w, "in the workspace");
    EXPECT_TRUE(area->viewport()->rect().contains(sub->geometry())) << "the sub-window fits the workspace";
    EXPECT_NEAR(w->DeviceGetHeight(), height_before_show, 15) << "the height stacked by is the height shown";
}

TEST_F(CommWindowLayout, TextsNeitherWrapNorMovePanels) {
    CommWindow w(&host);
    w.SetDeviceType(0);
    w.SetDeviceName("GPS1");
    auto* console = w.findChild<QWidget*>("Frame2");
    auto* data = w.findChild<QWidget*>("DataPanel");
    auto* version = w.findChild<QLabel*>("ProductVerString");
    ASSERT_NE(console, nullptr);
    // The console's first paint settles the first layout (a pixel moves
    // there), and a busy machine paints late: measure once it was painted
    // and what it left to do is done.
    const Paints console_paints(console);
    w.show();
    w.DeviceEnableDataDecoding();
    ASSERT_TRUE(test::WaitFor([&] { return console_paints.Count() > 0; }, 20000))
        << "waited for the console's first paint";
    QCoreApplication::sendPostedEvents();
    const QRect console_at = console->geometry();
    const QRect data_at = data->geometry();

    // A long product version: one line, the console where it was.
    w.DeviceSetProductVersionString("QNV RECEIVER FIRMWARE 12.34.5678 BUILD 2026-11-30 BOARD REV C SERIAL 00012345");
    test::Pump(30);
    EXPECT_EQ(console->geometry(), console_at);
    EXPECT_LE(version->height(), version->fontMetrics().height() + 4) << "wrapped";

    // Positions of very different lengths through the receive path.
    const std::string file = home.File("epochs.txt");
    test::WriteFileBytes(file,
                         "$GPGGA,1,0,N,0,E,1,4,1,1,M,,M,,*00\r\n"
                         "$GPGGA,235959.12345,8959.99999999,S,17959.99999999,W,2,12,99.99,-12345.678,M,46.9,M,,*00\r\n");
    w.DeviceReplayFile(file, 1, 10000);
    test::Pump(30);
    EXPECT_EQ(data->geometry(), data_at) << "the position panel changed width with its texts";
    EXPECT_EQ(console->geometry(), console_at);

    // The longest status of a running test, whole in the first panel.
    const std::string longest = "TEST RUNNING: 1000 -> WAITING FOR 12 TRACKED SATELLITES";
    SetStatusPanelText(w.State().Console.Status, 1, longest);
    test::Pump(30);
    auto* panel = w.findChild<QLabel*>("StatusBar1_1");
    ASSERT_NE(panel, nullptr);
    EXPECT_EQ(panel->text().toStdString(), longest);
    EXPECT_GE(panel->contentsRect().width(), panel->fontMetrics().horizontalAdvance(panel->text()));
}
