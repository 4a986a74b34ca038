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

// What a label draws from printable ASCII and line breaks only needs the
// console's own font.
bool PlainAscii(const QString& text) {
    for (QChar c : text)
        if (c != u'\n' && (c.unicode() < 0x20 || c.unicode() > 0x7E)) return false;
    return true;
}

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
    bool plain = true;
    const std::string log_path = home.File("BABBLE_NMEA.txt");
    auto written = [&] {
        std::error_code ec;
        const auto n = std::filesystem::file_size(log_path, ec);
        return ec ? uintmax_t{0} : n;
    };
    auto logged = [&] {
        longest_shown = std::max(longest_shown, label->text().size());
        plain = plain && PlainAscii(label->text());
        return !noisy.Sending() && written() >= noise.size();
    };
    // Read at far less than the port's speed, the noise would take minutes.
    ASSERT_TRUE(test::WaitFor(logged, 30000)) << written() << " of " << noise.size();
    test::Pump(100);
    longest_shown = std::max(longest_shown, label->text().size());

    // Thirty-five lines of a console, never megabytes of them.
    EXPECT_LE(longest_shown, ConsoleBuffer::kShown * (kShownLineChars + 8));
    EXPECT_GT(longest_shown, 0);
    EXPECT_TRUE(plain) << "every byte outside printable ASCII shown as an escape";
    EXPECT_EQ(LogLinesWith("Device BABBLE: port 41: a line longer than "), 1u) << test::ReadFileBytes(SystemLogPath());

    ASSERT_TRUE(test::WaitFor([&] { return wh.IsTestCompleted(); }, 10000)) << wh.State().Console.Status->PanelText(1);
    const double truth = (healthy.FixSentMs() - healthy.StartupSentMs()) / 1000.0;
    EXPECT_NEAR(wh.GetTTFF(), truth, test::kRealClockMargin);
    EXPECT_NEAR(wh.GetTTFF(), 1.5, test::kRealClockMargin);

    wn.DeviceEndPrimaryLogging();
    EXPECT_TRUE(test::ReadFileBytes(log_path) == noise) << "every byte, in order";
}

// Control bytes, NUL and bytes above 0x7E, in a line and in a line still
// arriving: the console shows each as its escape, the log keeps the bytes.
TEST(NoisyReceiver, BytesOutsidePrintableAsciiShowAsEscapesAndAreLoggedAsSent) {
    test::TempHome home;
    test::FakeBenchHost host;
    test::EmulatedReceiver gps;
    gps.RegisterPort(43);
    CommWindow w(&host);
    w.SetDeviceName("ODD");
    w.SetDeviceComParams(43, 115200);
    w.show();
    w.OpenPort_Click();
    ASSERT_TRUE(w.Port().PortOpen());
    w.DeviceSetPrimaryLogFileBaseName(home.File("ODD_NMEA"));
    w.DeviceStartPrimaryLogging(".txt");

    const std::string odd("A\0B\x01\t\x1b\x7f\x80\x9f\xa0\xe9\xff~ Z\r\n", 17);
    const std::string partial("$GP\0\x85", 5);
    const std::string sent = test::Sentence("$GPTXT,01,01,01,before") + odd + "\r\x0c\n" + partial;
    gps.Write(sent);
    auto* label = w.findChild<QLabel*>("Label1");
    ASSERT_NE(label, nullptr);
    const QString want = QString::fromLatin1(test::Sentence("$GPTXT,01,01,01,before").c_str()).remove(u'\r') +
                         "A\\x00B\\x01\\x09\\x1B\\x7F\\x80\\x9F\\xA0\\xE9\\xFF~ Z\n\\x0D\\x0C\n$GP\\x00\\x85";
    ASSERT_TRUE(test::WaitFor([&] { return label->text() == want; }, 5000)) << label->text().toStdString();
    EXPECT_TRUE(PlainAscii(label->text()));

    w.DeviceEndPrimaryLogging();
    EXPECT_TRUE(test::ReadFileBytes(home.File("ODD_NMEA.txt")) == sent.substr(0, sent.size() - partial.size()))
        << "the complete lines, byte for byte";
}
