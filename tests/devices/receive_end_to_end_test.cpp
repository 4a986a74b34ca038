// Sentences from an emulated receiver on a pseudo-terminal travel through the
// real serial port into the console, the decoder and the primary log.
#include "bench/devices/console.h"
#include "bench/devices/nmea.h"
#include "bench/devices/system_log.h"
#include "platform/comm/serial_port.h"
#include "platform/ui/prompts.h"
#include "tests/support/emulated_receiver.h"
#include "tests/support/fakes.h"
#include "tests/support/qt_app.h"

#include <algorithm>
#include <gtest/gtest.h>

using namespace bench;

namespace {

struct Bench {
    explicit Bench(int port_number) {
        dev.Host = &host;
        dev.Console.Port = &port;
        port.SetReceiveHandler([this] { CommPortRead(dev); });
        port.SetRThreshold(1);
        CommPortSetup(dev, static_cast<int16_t>(port_number), 9600);
        dev.MessageProcessing = [this](DeviceState& d, platform::Stamp) {
            const std::string& line = d.Console.Lines[d.Console.Current];
            lines.push_back(line);
            if (NMEA_Msg_Decoding(d.Host, line) == 0) names.push_back(NmeaFields[1]);
        };
    }
    test::FakeBenchHost host;
    platform::SerialPort port;
    DeviceState dev;
    std::vector<std::string> lines;
    std::vector<std::string> names;
};

}  // namespace

TEST(ReceiveEndToEnd, OddChunksArriveByteForByte) {
    test::TempHome home;
    test::EmulatedReceiver gps;
    gps.RegisterPort(4);
    Bench b(4);
    std::string primary = home.File("dev_NMEA.txt");
    b.dev.PrimaryFile.Open(primary);
    b.dev.PrimaryOpen = true;
    CommPortOpen(b.dev);

    std::string stream = test::Sentence("$GPGGA,123519,4807.038,N,01131.000,E,1,08,0.9,545.4,M,46.9,M,,") +
                         test::Sentence("$GPGSA,A,3,04,05,,09,12,,,24,,,,,2.5,1.3,2.1") +
                         "$GPRMC,bad checksum*00\r\n" + test::Sentence("$GPVTG,054.7,T,034.4,M,005.5,N,010.2,K") +
                         std::string("\x01\x02garbage\xff\r\n", 12) + test::Sentence("$PQNVTS,1,2");
    gps.WriteInChunks(stream, {7, 1, 13, 64, 3}, 2);
    ASSERT_TRUE(test::WaitFor([&] { return b.lines.size() == 6; }, 5000)) << b.lines.size();

    EXPECT_EQ(test::ReadFileBytes(primary), stream) << "the log is the stream, CR LF included";
    std::string joined;
    for (const auto& l : b.lines) joined += l;
    EXPECT_EQ(joined, stream);
    EXPECT_EQ(b.names, (std::vector<std::string>{"$GPGGA", "$GPGSA", "$GPVTG", "$PQNVTS"}));
    ConsoleRefresh(b.dev.Console);
    std::string shown = stream;
    const std::string_view odd = "\x01\x02garbage\xff";
    shown.replace(shown.find(odd), odd.size(), "\\x01\\x02garbage\\xFF");
    EXPECT_EQ(b.dev.Console.Label->Text(), shown) << "bytes outside printable ASCII shown as escapes";
    // Writes that arrive while the windows' thread is busy are handed over
    // together, so only the whole stream bounds one receive event.
    EXPECT_GT(b.dev.Console.LongestChunk, 0);
    EXPECT_LE(b.dev.Console.LongestChunk, static_cast<int32_t>(stream.size()));
}

TEST(ReceiveEndToEnd, CommandsReachTheReceiver) {
    test::TempHome home;
    test::EmulatedReceiver gps;
    gps.RegisterPort(2);
    std::string seen;
    gps.OnCommand("$PQNVCOLD", [&](test::EmulatedReceiver& r, const std::string& line) {
        seen = line;
        r.Write(test::Sentence("$PQNVVER,1.0"));
    });
    Bench b(2);
    CommPortOpen(b.dev);
    EXPECT_EQ(SendNmeaCommand(b.dev, "$PQNVCOLD"), "$PQNVCOLD*" + NMEA_Checksum("$PQNVCOLD"));
    SendHexBytes(b.dev, "B5620604");
    ASSERT_TRUE(test::WaitFor([&] { return !b.names.empty() && gps.Received().size() >= 11 + 2 + 128; }));
    EXPECT_EQ(seen, "$PQNVCOLD*" + NMEA_Checksum("$PQNVCOLD") + "\r\n");
    EXPECT_EQ(b.names[0], "$PQNVVER");
    std::string expect = seen + std::string("\xB5\x62\x06\x04", 4) + std::string(124, '\0');
    EXPECT_EQ(gps.Received(), expect);
}

TEST(ReceiveEndToEnd, ClosedAndReopenedPortKeepsReceiving) {
    test::TempHome home;
    test::EmulatedReceiver gps;
    gps.RegisterPort(1);
    Bench b(1);
    CommPortOpen(b.dev);
    gps.Write("$A*41\r\n");
    ASSERT_TRUE(test::WaitFor([&] { return b.lines.size() == 1; }));
    CommPortClose(b.dev);
    test::Pump(20);
    CommPortOpen(b.dev);
    gps.Write("$A*41\r\n");
    ASSERT_TRUE(test::WaitFor([&] { return b.lines.size() == 2; }));
    EXPECT_EQ(b.names.size(), 2u);
}

TEST(ReceiveEndToEnd, MissingPortIsShownInTheErrorBox) {
    test::TempHome home;
    test::EnsureApp();
    test::WriteFileBytes(home.File("ComPorts.txt"), "6 " + home.File("unplugged") + "\n");
    Bench b(6);
    auto& prompts = platform::Prompts::Instance();
    prompts.ClearAsked();
    try {
        CommPortOpen(b.dev);
        FAIL() << "opened a missing port";
    } catch (...) {
        ErrorMessageBox();
    }
    ASSERT_EQ(prompts.Asked().size(), 1u);
    const std::string& box = prompts.Asked()[0];
    EXPECT_EQ(box.rfind("Fixbench: Invalid port number", 0), 0u) << box;
    EXPECT_EQ(box.substr(box.size() - 5), " 8002") << box;
}

TEST(ReceiveEndToEnd, StreamingReceiverAnswersARestart) {
    test::TempHome home;
    test::EmulatedReceiver gps;
    gps.RegisterPort(3);
    auto cold = std::make_shared<bool>(false);
    gps.StartStream(
        [cold] { return test::Sentence(*cold ? "$GPGGA,000001,,,,,0,00,,,M,,M,," : "$GPGGA,120000,4807.038,N,01131.000,E,1,08,0.9,545.4,M,46.9,M,,"); },
        5);
    gps.OnCommand("$PQNVCOLD", [cold](test::EmulatedReceiver& r, const std::string&) {
        *cold = true;
        r.Write("RESTARTING\r\n");
    });
    Bench b(3);
    CommPortOpen(b.dev);
    ASSERT_TRUE(test::WaitFor([&] { return b.names.size() >= 3; }));
    SendNmeaCommand(b.dev, "$PQNVCOLD");
    ASSERT_TRUE(test::WaitFor([&] { return !b.lines.empty() && b.lines.back().find(",000001,") != std::string::npos; }));
    gps.StopStream();
    auto restart = std::find(b.lines.begin(), b.lines.end(), "RESTARTING\r\n");
    ASSERT_NE(restart, b.lines.end());
    for (auto it = restart + 1; it != b.lines.end(); ++it) EXPECT_NE(it->find(",000001,"), std::string::npos) << *it;
}
