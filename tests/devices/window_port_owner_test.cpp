// What a device window tells the person at the bench about itself: whose
// port could not be opened, and why its close button only sets it aside.
#include "bench/devices/comm_window.h"
#include "bench/devices/system_log.h"
#include "platform/comm/serial_port.h"
#include "platform/ui/prompts.h"
#include "tests/support/emulated_receiver.h"
#include "tests/support/fakes.h"
#include "tests/support/qt_app.h"

#include <QMdiArea>
#include <QMdiSubWindow>
#include <QPointer>

#include <gtest/gtest.h>

#include <fstream>
#include <memory>
#include <string>

using namespace bench;

namespace {

struct SystemLogOpen {
    SystemLogOpen() { OpenSystemLog(); }
    ~SystemLogOpen() { CloseSystemLog(); }
};

// Two port numbers listed for one receiver: the second window finds the
// port held by the first, as by any other program.
TEST(DeviceWindowPort, APortHeldElsewhereIsNamedWithItsDevice) {
    test::TempHome home;
    test::EnsureApp();
    SystemLogOpen log;
    test::FakeBenchHost host;
    test::EmulatedReceiver gps;
    gps.RegisterPort(3);
    gps.RegisterPort(4);
    auto& prompts = platform::Prompts::Instance();
    prompts.ClearAsked();

    CommWindow holder(&host);
    holder.SetDeviceName("ROVER");
    holder.SetDeviceComParams(3, 9600);
    holder.OpenPort_Click();
    ASSERT_TRUE(holder.Port().PortOpen());
    ASSERT_TRUE(prompts.Asked().empty());

    CommWindow second(&host);
    second.SetDeviceType(1);
    second.SetDeviceName("BASE");
    second.SetDeviceComParams(4, 9600);
    second.OpenPort_Click();
    EXPECT_FALSE(second.Port().PortOpen());
    ASSERT_EQ(prompts.Asked().size(), 1u);
    const std::string box = prompts.Asked()[0];
    const std::string expected = "Fixbench: Device BASE, debug port 4: Port not available (" + gps.DevicePath() + ": ";
    EXPECT_EQ(box.rfind(expected, 0), 0u) << box;
    EXPECT_EQ(box.substr(box.size() - 5), " 8010") << box;
    // The system log names the device too.
    const std::string lines = test::ReadFileBytes(SystemLogPath());
    EXPECT_NE(lines.find("Device BASE, debug port 4: Port not available ("), std::string::npos) << lines;
    EXPECT_NE(lines.find("(OpenPort_Click)"), std::string::npos) << lines;
    prompts.ClearAsked();
}

// A pseudo-terminal has no RTS line: said once per port, with the device
// and the port, whether the line is set at the opening or by a reset.
TEST(DeviceWindowPort, AMissingRtsLineIsNamedWithItsDeviceAndPort) {
    test::TempHome home;
    test::EnsureApp();
    SystemLogOpen log;
    test::FakeBenchHost host;
    test::EmulatedReceiver rover_gps, base_gps;
    rover_gps.RegisterPort(3);
    base_gps.RegisterPort(4);

    CommWindow rover(&host);
    rover.SetDeviceType(0);
    rover.SetDeviceName("ROVER");
    rover.SetDeviceComParams(3, 9600);
    rover.OpenPort_Click();
    ASSERT_TRUE(rover.Port().PortOpen());
    CommWindow base(&host);
    base.SetDeviceType(1);
    base.SetDeviceName("BASE");
    base.SetDeviceComParams(4, 9600);
    base.OpenPort_Click();
    ASSERT_TRUE(base.Port().PortOpen());
    rover.SwitchRTSSignal(3, 1);
    rover.SwitchRTSSignal(3, 0);
    base.SwitchRTSSignal(4, 1);

    const std::string lines = test::ReadFileBytes(SystemLogPath());
    const std::string r = "Device ROVER: port 3 (" + rover_gps.DevicePath() + "): RTS line not available";
    const std::string b = "Device BASE: debug port 4 (" + base_gps.DevicePath() + "): RTS line not available";
    const size_t at = lines.find(r);
    EXPECT_NE(at, std::string::npos) << lines;
    EXPECT_EQ(lines.find(r, at + 1), std::string::npos) << "said once: " << lines;
    EXPECT_NE(lines.find(b), std::string::npos) << lines;
    EXPECT_EQ(lines.find("RTS line not available on"), std::string::npos) << lines;
}

// The port held by another window of the bench: the box names that window
// instead of the system's word on the lock.
TEST(DeviceWindowPort, APortHeldByAnotherWindowOfTheBenchNamesThatWindow) {
    test::TempHome home;
    test::EnsureApp();
    SystemLogOpen log;
    test::FakeBenchHost host;
    test::EmulatedReceiver gps;
    gps.RegisterPort(3);
    gps.RegisterPort(4);
    auto& prompts = platform::Prompts::Instance();
    prompts.ClearAsked();

    CommWindow holder(&host);
    holder.SetDeviceType(0);
    holder.SetDeviceName("ROVER");
    holder.SetDeviceComParams(3, 9600);
    holder.OpenPort_Click();
    ASSERT_TRUE(holder.Port().PortOpen());

    CommWindow second(&host);
    second.SetDeviceType(0);
    second.SetDeviceName("REPLAY");
    second.SetDeviceComParams(4, 9600);
    second.OpenPort_Click();
    EXPECT_FALSE(second.Port().PortOpen());
    ASSERT_EQ(prompts.Asked().size(), 1u);
    const std::string box = prompts.Asked()[0];
    EXPECT_NE(box.find("Port not available (" + gps.DevicePath() + ": held by ROVER NMEA WINDOW)"), std::string::npos)
        << box;

    // Once the holder lets it go, the port opens.
    holder.ClosePort_Click();
    prompts.ClearAsked();
    second.OpenPort_Click();
    EXPECT_TRUE(second.Port().PortOpen());
    EXPECT_TRUE(prompts.Asked().empty());
    prompts.ClearAsked();
}

// The close button of a device window in the main window's workspace.
TEST(DeviceWindowClose, CloseButtonMinimisesAndSaysWhy) {
    test::TempHome home;
    test::EnsureApp();
    test::FakeBenchHost host;
    QMdiArea area;
    area.resize(1200, 900);
    area.show();
    QPointer<CommWindow> w = new CommWindow(&host);
    w->SetDeviceName("ROVER");
    w->SetDeviceType(0);
    QMdiSubWindow* sub = area.addSubWindow(w);
    sub->show();
    ASSERT_TRUE(sub->close() == false) << "the window is not closed";
    ASSERT_FALSE(w.isNull());
    EXPECT_TRUE(sub->isMinimized());
    ASSERT_FALSE(host.StatusMessages.empty());
    EXPECT_EQ(host.StatusMessages.back(),
              std::make_pair(int16_t{2}, std::string("ROVER NMEA WINDOW minimised, not closed: the session needs it "
                                                     "(Testing > New Test Session closes it)")));
}

}  // namespace
