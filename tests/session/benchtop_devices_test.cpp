// Device set-up from the configuration dialog, the window list, closing the
// windows, and the options that reach every device.
#include <QCoreApplication>
#include <QEvent>
#include <QLabel>

#include "tests/session/benchtop_fixture.h"

namespace benchtop_test {
namespace {

using dialogs_test::Click;

TEST_F(BenchtopTest, OkCreatesOneWindowPerEnabledSlotInOrder) {
    bench::SystemConfig c = Config({2});
    c.Devices[2].HWRes = bench::FlagSet;
    SetUpDevices(c);
    ASSERT_EQ(factory.made.size(), 1u) << "only slot 2 is enabled";
    EXPECT_FALSE(top->ConfigDialog().isVisible()) << "OK closes the dialog";
    EXPECT_EQ(CallsOf("W0"), (std::vector<std::string>{
                                 "SetDeviceType(0)", "DeviceSetTestMode(0)", "SetDeviceName(GPS3)", "SetDeviceID(2)",
                                 "SetDeviceComParams(3,9600)", "SetGPSStartupString($PQNVSTART)",
                                 "SetDeviceMaxAcceptableTTFF(300)", "DeviceSetHWResetEnabled(true)",
                                 "DeviceGetHeight()", "DeviceSetTop(2000)", "DeviceSetLeft(0)",
                                 "DeviceEnableDataDecoding()", "Check1_Click()", "OpenPort_Click()"}));
    EXPECT_EQ(top->NmeaWindow(2), factory.made[0]);
    EXPECT_EQ(top->NmeaWindow(0), nullptr);
    EXPECT_TRUE(factory.made[0]->isVisible());
    EXPECT_EQ(top->Workspace()->subWindowList().size(), 1);
    EXPECT_EQ(top->WindowMenuCount(), 1);
    EXPECT_EQ(bench::Benchtop::PlainCaption(Entry("win1_0")->text()), "GPS3 NMEA WINDOW");
    EXPECT_EQ(factory.hosts[0], &top->Host()) << "device windows report to the main window";
}

TEST_F(BenchtopTest, DebugPortGetsItsOwnWindowBesideTheDevice) {
    SetUpDevices(Config({0, 1}, true));
    ASSERT_EQ(factory.made.size(), 4u);
    // Made in order: slot 0 NMEA, slot 0 debug, slot 1 NMEA, slot 1 debug.
    EXPECT_EQ(CallsOf("W3"), (std::vector<std::string>{"SetDeviceType(1)", "SetDeviceName(GPS2)",
                                                       "SetDeviceComParams(12,115200)", "DeviceGetHeight()",
                                                       "DeviceSetTop(1000)", "DeviceGetWidth()",
                                                       "DeviceSetLeft(2000)", "OpenPort_Click()"}));
    EXPECT_EQ(top->DebugWindow(1), factory.made[3]);
    std::vector<std::string> list;
    for (int i = 0; i < top->WindowMenuCount(); ++i)
        list.push_back(bench::Benchtop::PlainCaption(Entry(("win1_" + std::to_string(i)).c_str())->text()).toStdString());
    EXPECT_EQ(list, (std::vector<std::string>{"GPS1 NMEA WINDOW", "GPS1 DEBUG WINDOW", "GPS2 NMEA WINDOW",
                                              "GPS2 DEBUG WINDOW"}));
}

TEST_F(BenchtopTest, WindowListBringsTheChosenWindowToTheFront) {
    SetUpDevices(Config({0, 1}, true));
    Trigger("win1_1");
    ASSERT_NE(top->Workspace()->activeSubWindow(), nullptr);
    EXPECT_EQ(top->Workspace()->activeSubWindow()->widget(), factory.made[1]);
    Trigger("win1_2");
    EXPECT_EQ(top->Workspace()->activeSubWindow()->widget(), factory.made[2]);
}

TEST_F(BenchtopTest, NewTestSessionClosesEveryWindowAndForgetsThem) {
    SetUpDevices(Config({0, 3}, true));
    ASSERT_EQ(top->Workspace()->subWindowList().size(), 4);
    Trigger("NewTestSession");
    EXPECT_TRUE(top->Workspace()->subWindowList().isEmpty());
    for (int s = 0; s < 4; ++s) {
        EXPECT_EQ(top->NmeaWindow(s), nullptr);
        EXPECT_EQ(top->DebugWindow(s), nullptr);
    }
    EXPECT_EQ(top->WindowMenuCount(), 0);
    for (QAction* a : top->Menu("OWindows")->actions()) EXPECT_FALSE(a->isVisible()) << a->text().toStdString();
    EXPECT_TRUE(top->ConfigDialog().isVisible()) << "the dialog comes back for the next session";
    // Nothing reaches a closed window.
    factory.calls.clear();
    Trigger("T120");
    EXPECT_TRUE(factory.calls.empty());
    // A second OK builds the list afresh.
    Click(&top->ConfigDialog(), "Save_Command");
    EXPECT_EQ(top->WindowMenuCount(), 4);
    EXPECT_EQ(bench::Benchtop::PlainCaption(Entry("win1_0")->text()), "GPS1 NMEA WINDOW");
}

TEST_F(BenchtopTest, OkAgainReplacesTheWindowsOfTheEarlierSetUp) {
    SetUpDevices(Config({0, 1}));
    top->ConfigDialog().show();
    Click(&top->ConfigDialog(), "Save_Command");
    EXPECT_EQ(factory.made.size(), 4u);
    EXPECT_EQ(top->Workspace()->subWindowList().size(), 2) << "no second window on the same port";
    EXPECT_EQ(top->WindowMenuCount(), 2);
    EXPECT_EQ(top->NmeaWindow(0), factory.made[2]);
}

TEST_F(BenchtopTest, WindowClosedByTheUserIsNoLongerReached) {
    SetUpDevices(Config({0, 1}));
    top->Workspace()->subWindowList().at(0)->close();
    // The event loop deletes the closed window.
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_EQ(top->NmeaWindow(0), nullptr);
    factory.calls.clear();
    Trigger("T180");
    EXPECT_EQ(factory.calls, (std::vector<std::string>{"W1.SetDeviceMaxAcceptableTTFF(180)"}));
}

TEST_F(BenchtopTest, MaximumTtffReachesEveryEnabledDevice) {
    SetUpDevices(Config({0, 2, 3}));
    factory.calls.clear();
    Trigger("T120");
    int checked = 0;
    for (const char* e : {"T1000", "T900", "T800", "T700", "T600", "T500", "T300", "T240", "T180", "T120"})
        checked += Entry(e)->isChecked();
    EXPECT_EQ(checked, 1);
    EXPECT_TRUE(Entry("T120")->isChecked());
    EXPECT_EQ(top->MaxAcceptableTTFF(), 120);
    EXPECT_EQ(factory.calls, (std::vector<std::string>{"W0.SetDeviceMaxAcceptableTTFF(120)",
                                                       "W1.SetDeviceMaxAcceptableTTFF(120)",
                                                       "W2.SetDeviceMaxAcceptableTTFF(120)"}));
    // The checked entry again does the same again.
    Trigger("T120");
    EXPECT_TRUE(Entry("T120")->isChecked());
    EXPECT_EQ(Count("W0.SetDeviceMaxAcceptableTTFF(120)"), 2);
    // The engine's own choice for some tests shows in the menu too.
    top->Engine().T600_Click();
    EXPECT_TRUE(Entry("T600")->isChecked());
    EXPECT_FALSE(Entry("T120")->isChecked());
}

TEST_F(BenchtopTest, DevicesMadeAfterAChangeGetTheNewMaximum) {
    Open();
    Trigger("T900");
    SetUpDevices(Config({1}));
    EXPECT_EQ(Count("W0.SetDeviceMaxAcceptableTTFF(900)"), 1);
}

TEST_F(BenchtopTest, PortTimeoutClickedTwiceSendsOnceAndClearsItsMark) {
    SetUpDevices(Config({0, 1}));
    factory.calls.clear();
    Trigger("FiveSecs");
    EXPECT_TRUE(Entry("FiveSecs")->isChecked());
    EXPECT_FALSE(Entry("PortTimeoutDisabled")->isChecked());
    Trigger("FiveSecs");
    for (const char* e : {"PortTimeoutDisabled", "SixtySecs", "TenSecs", "FiveSecs", "TwoSecs"})
        EXPECT_FALSE(Entry(e)->isChecked()) << e;
    EXPECT_EQ(factory.calls, (std::vector<std::string>{"W0.DeviceSetSerialPortTimeout(true,5000)",
                                                       "W1.DeviceSetSerialPortTimeout(true,5000)"}));
    factory.calls.clear();
    Trigger("PortTimeoutDisabled");
    EXPECT_EQ(Count("W1.DeviceSetSerialPortTimeout(false,10)"), 1);
}

TEST_F(BenchtopTest, HiddenDeviceTogglesReachEveryDevice) {
    SetUpDevices(Config({0, 1}));
    factory.calls.clear();
    Trigger("DeviceWatchDogEn");
    Trigger("GGATimeCheck");
    Trigger("GGATimeCheck");
    EXPECT_EQ(factory.calls, (std::vector<std::string>{
                                 "W0.DeviceSetWatchDogStatus(true)", "W1.DeviceSetWatchDogStatus(true)",
                                 "W0.DeviceSetGGATimeCheck(true)", "W1.DeviceSetGGATimeCheck(true)",
                                 "W0.DeviceSetGGATimeCheck(false)", "W1.DeviceSetGGATimeCheck(false)"}));
}

TEST_F(BenchtopTest, ExtraNmeaWindowStaysOutOfTheSession) {
    SetUpDevices(Config({0}));
    Trigger("NewW");
    ASSERT_EQ(factory.made.size(), 2u);
    EXPECT_EQ(CallsOf("W1"), (std::vector<std::string>{"SetDeviceType(0)", "SetDeviceName(NMEA WINDOW)"}));
    EXPECT_TRUE(factory.made[1]->isVisible());
    EXPECT_EQ(top->WindowMenuCount(), 1);
    factory.calls.clear();
    Trigger("T240");
    EXPECT_EQ(factory.calls, (std::vector<std::string>{"W0.SetDeviceMaxAcceptableTTFF(240)"}));
}

TEST_F(BenchtopTest, PlayNmeaFileDrivesTheActiveWindow) {
    SetUpDevices(Config({0, 1}));
    top->Workspace()->setActiveSubWindow(top->Workspace()->subWindowList().at(1));
    platform::Prompts::Instance().QueueFileName(home->File("log.txt"));
    Trigger("Star");
    Trigger("Sto");
    EXPECT_EQ(CallsOf("W1").back(), "ReproduceInputFileStop()");
    EXPECT_EQ(Count("W1.ReproduceInputFileStart(" + home->File("log.txt") + ")"), 1);
    EXPECT_EQ(Count("W0.ReproduceInputFileStop()"), 0);
}

TEST_F(BenchtopTest, OpenTestSessionSetsUpTheChosenFile) {
    Open();
    const std::string other = home->File("bench2.dat");
    ASSERT_TRUE(bench::SaveSystemConfig(other, Config({1, 2})).ok);
    platform::Prompts::Instance().QueueFileName(other);
    Trigger("OpenTestSession");
    EXPECT_EQ(top->WindowMenuCount(), 2);
    EXPECT_EQ(bench::Benchtop::PlainCaption(Entry("win1_1")->text()), "GPS3 NMEA WINDOW");
}

}  // namespace
}  // namespace benchtop_test
