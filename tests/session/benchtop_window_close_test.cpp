// Closing the bench's windows with their close buttons, with real device
// windows: what closes, what is only set aside, and what the main window then
// says and does.
#include <QAction>
#include <QCoreApplication>
#include <QEvent>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QPointer>

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "bench/devices/comm_window.h"
#include "bench/session/benchtop.h"
#include "bench/session/config.h"
#include "bench/session/device_windows.h"
#include "tests/session/dialogs_ui.h"
#include "tests/support/qt_app.h"
#include "tests/support/two_receivers.h"

namespace {

constexpr const char* kMinimised = "minimised, not closed";

// Pending events, the deletions of closed windows among them.
void Settle() {
    test::Pump(50);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

class WindowClose : public ::testing::Test {
protected:
    void SetUp() override {
        dialogs_test::ResetPrompts();
        home = std::make_unique<test::TempHome>();
        top = std::make_unique<bench::Benchtop>(factory);
        top->show();
    }
    void TearDown() override {
        top.reset();
        dialogs_test::ResetPrompts();
    }
    QAction* Entry(const char* name) { return top->findChild<QAction*>(name); }

    std::unique_ptr<test::TempHome> home;
    bench::CommWindowFactory factory;
    std::unique_ptr<bench::Benchtop> top;
};

// Closing the Extern Control window is clearing its menu entry: no trial
// goes on asking for keys from a window that is gone.
TEST_F(WindowClose, ClosingTheExternControlWindowClearsItsEntry) {
    QAction* ext = Entry("ExtCtr");
    ASSERT_NE(ext, nullptr);
    ext->trigger();
    ASSERT_TRUE(ext->isChecked());
    QPointer<QWidget> window = top->findChild<QWidget*>("ExtControl");
    ASSERT_FALSE(window.isNull());
    ASSERT_TRUE(window->isVisible());

    EXPECT_TRUE(window->close());
    Settle();
    EXPECT_FALSE(ext->isChecked());
    EXPECT_FALSE(top->State().Options.ExtCtr) << "trials send no keys";
    EXPECT_TRUE(window.isNull()) << "unloaded, as clearing the entry unloads it";
    EXPECT_FALSE(top->ExternalControl().Made());

    // The next use starts afresh, and the entry follows it.
    ext->trigger();
    EXPECT_TRUE(ext->isChecked());
    QWidget* again = top->findChild<QWidget*>("ExtControl");
    ASSERT_NE(again, nullptr);
    EXPECT_TRUE(again->isVisible());
}

// A window no session holds closes; the main window says nothing about
// minimising it.
TEST_F(WindowClose, ANewNmeaWindowAndAReplayWindowJustClose) {
    const int before = static_cast<int>(top->Workspace()->subWindowList().size());
    Entry("NewW")->trigger();
    ASSERT_EQ(static_cast<int>(top->Workspace()->subWindowList().size()), before + 1);
    QPointer<QMdiSubWindow> sub = top->Workspace()->subWindowList().back();
    // Its name is its kind: the title says it once.
    EXPECT_EQ(sub->widget()->windowTitle().toStdString(), "NMEA WINDOW");
    EXPECT_EQ(sub->windowTitle().toStdString(), "NMEA WINDOW");
    EXPECT_TRUE(sub->close());
    Settle();
    EXPECT_TRUE(sub.isNull()) << "closed, not minimised";
    EXPECT_EQ(top->StatusText(2).find(kMinimised), std::string::npos) << top->StatusText(2);

    bench::DeviceOps* replay = top->LogReplay().MakeReplayWindow();
    top->LogReplay().ShowReplayWindow(replay);
    ASSERT_TRUE(top->LogReplay().IsOpen(replay));
    QPointer<QMdiSubWindow> replay_sub = top->Workspace()->subWindowList().back();
    EXPECT_TRUE(replay_sub->close());
    Settle();
    EXPECT_TRUE(replay_sub.isNull());
    EXPECT_FALSE(top->LogReplay().IsOpen(replay));
    EXPECT_EQ(top->StatusText(2).find(kMinimised), std::string::npos) << top->StatusText(2);
}

// The session's own device window is only set aside, and says so.
TEST_F(WindowClose, ASessionsDeviceWindowIsOnlyMinimised) {
    bench::SystemConfig c = test::TwoReceiverConfig(3, false);
    c.Devices[1].DevEN = bench::FlagClear;
    ASSERT_TRUE(bench::SaveSystemConfig(home->File("Config.dat"), c).ok);
    top.reset();
    top = std::make_unique<bench::Benchtop>(factory);
    top->show();
    dialogs_test::Click(&top->ConfigDialog(), "Save_Command");
    ASSERT_NE(top->NmeaWidget(0), nullptr);
    auto* sub = qobject_cast<QMdiSubWindow*>(top->NmeaWidget(0)->parentWidget());
    ASSERT_NE(sub, nullptr);
    EXPECT_FALSE(sub->close());
    EXPECT_TRUE(sub->isMinimized());
    EXPECT_NE(top->NmeaWindow(0), nullptr);
    EXPECT_NE(top->StatusText(2).find("RCV1 NMEA WINDOW minimised, not closed: the session needs it"),
              std::string::npos)
        << top->StatusText(2);
}

}  // namespace
