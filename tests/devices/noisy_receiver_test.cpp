// A receiver at the wrong baud rate sends bytes without line feeds as fast
// as its port goes. Its window must log every byte as it came, show only a
// bounded amount of it, and leave the bench free to time another receiver.
#include "bench/devices/comm_window.h"
#include "bench/devices/console.h"
#include "bench/devices/system_log.h"
#include "platform/comm/serial_port.h"
#include "tests/support/emulated_receiver.h"
#include "tests/support/fakes.h"
#include "tests/support/qt_app.h"
#include "tests/support/restarting_receiver.h"

#include <gtest/gtest.h>

#include <QLabel>

#include <algorithm>
#include <filesystem>
#include <cstdint>
#include <string>
#include <vector>

using namespace bench;

namespace {

struct SystemLogOpen {
    SystemLogOpen() { OpenSystemLog(); }
    ~SystemLogOpen() { CloseSystemLog(); }
};

size_t LogLinesWith(const std::string& what) {
    const std::string log = test::ReadFileBytes(SystemLogPath());
    size_t n = 0;
    for (size_t at = log.find(what); at != std::string::npos; at = log.find(what, at + 1)) ++n;
    return n;
}

}  // namespace

TEST(NoisyReceiver, NoiseIsLoggedWholeShownBoundedAndTheOtherReceiverIsTimed) {
    test::TempHome home;
    SystemLogOpen log;
    test::FakeBenchHost host;
    test::EmulatedReceiver noisy;
    noisy.RegisterPort(41);
    test::RestartingReceiver healthy({.fix_delay_ms = 1500, .gga_interval_ms = 100});
    healthy.RegisterPort(42);

    CommWindow wn(&host), wh(&host);
    wn.SetDeviceName("BABBLE");
    wh.SetDeviceName("STEADY");
    wn.SetDeviceID(0);
    wh.SetDeviceID(1);
    wn.SetGPSStartupString("$PQNVRST");
    wh.SetGPSStartupString("$PQNVRST");
    wh.SetDeviceMaxAcceptableTTFF(300);
    wn.SetDeviceComParams(41, 115200);
    wh.SetDeviceComParams(42, 115200);
    wn.show();
    wh.show();
    wn.OpenPort_Click();
    wh.OpenPort_Click();
    ASSERT_TRUE(wn.Port().PortOpen());
    ASSERT_TRUE(wh.Port().PortOpen());
    wn.DeviceSetPrimaryLogFileBaseName(home.File("BABBLE_NMEA"));
    wn.DeviceStartPrimaryLogging(".txt");
    ASSERT_TRUE(test::WaitFor([&] { return wh.State().GGACount >= 3; }));

    // The line feed at the end completes the last of it.
    const std::string noise = test::LineFreeNoise(size_t{3} << 20) + "\r\n";
    noisy.Write(noise);
    wh.ExecuteTest("$PQNVCOLD");

    auto* label = wn.findChild<QLabel*>("Label1");
    ASSERT_NE(label, nullptr);
    qsizetype longest_shown = 0;
    const std::string log_path = home.File("BABBLE_NMEA.txt");
    auto written = [&] {
        std::error_code ec;
        const auto n = std::filesystem::file_size(log_path, ec);
        return ec ? uintmax_t{0} : n;
    };
    auto logged = [&] {
        longest_shown = std::max(longest_shown, label->text().size());
        return !noisy.Sending() && written() >= noise.size();
    };
    // Read at far less than the port's speed, the noise would take minutes.
    ASSERT_TRUE(test::WaitFor(logged, 30000)) << written() << " of " << noise.size();
    test::Pump(100);
    longest_shown = std::max(longest_shown, label->text().size());

    // Thirty-five lines of a console, never megabytes of them.
    EXPECT_LE(longest_shown, ConsoleBuffer::kShown * (kShownLineBytes + 8));
    EXPECT_GT(longest_shown, 0);
    EXPECT_EQ(LogLinesWith("Device BABBLE: port 41: a line longer than "), 1u) << test::ReadFileBytes(SystemLogPath());

    ASSERT_TRUE(test::WaitFor([&] { return wh.IsTestCompleted(); }, 10000)) << wh.State().Console.Status->PanelText(1);
    const double truth = (healthy.FixSentMs() - healthy.StartupSentMs()) / 1000.0;
    EXPECT_NEAR(wh.GetTTFF(), truth, test::kRealClockMargin);
    EXPECT_NEAR(wh.GetTTFF(), 1.5, test::kRealClockMargin);

    wn.DeviceEndPrimaryLogging();
    EXPECT_TRUE(test::ReadFileBytes(log_path) == noise) << "every byte, in order";
}
