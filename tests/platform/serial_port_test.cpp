#include "platform/comm/serial_port.h"
#include "tests/support/emulated_receiver.h"
#include "tests/support/qt_app.h"

#include <gtest/gtest.h>

using namespace platform;

TEST(PortNumbers, ComPortsFileMapsNumbersElseTtyS) {
    test::TempHome home;
    EXPECT_EQ(PortDevicePath(1), "/dev/ttyS0");
    EXPECT_EQ(PortDevicePath(12), "/dev/ttyS11");
    test::WriteFileBytes(home.File("ComPorts.txt"),
                         "# bench ports\r\n3 /dev/ttyUSB0\r\n\r\n 4\t/dev/serial/by-id/usb-GPS one\r\nx /dev/null\n12\n");
    EXPECT_EQ(PortDevicePath(3), "/dev/ttyUSB0");
    EXPECT_EQ(PortDevicePath(4), "/dev/serial/by-id/usb-GPS one");
    EXPECT_EQ(PortDevicePath(12), "/dev/ttyS11") << "a number without a path is not a mapping";
    EXPECT_EQ(PortDevicePath(5), "/dev/ttyS4");
}

TEST(PortSettings, TextIsCheckedWhenSet) {
    PortSettings s = ParsePortSettings("115200,n,8,1");
    EXPECT_EQ(s.baud, 115200);
    EXPECT_EQ(s.parity, 'n');
    EXPECT_EQ(s.data_bits, 8);
    EXPECT_EQ(s.stop_bits, 1);
    EXPECT_EQ(ParsePortSettings("4800,E,7,2").parity, 'e');
    for (const char* bad : {"", "9600", "9600,n,8", "fast,n,8,1", "9600,x,8,1", "9600,n,9,1", "9600,n,8,3", "-1,n,8,1"}) {
        try {
            ParsePortSettings(bad);
            ADD_FAILURE() << bad;
        } catch (const BenchError& e) {
            EXPECT_EQ(e.Number(), err::InvalidPropertyValue) << bad;
        }
    }
    SerialPort port;
    EXPECT_THROW(port.SetSettings("9600;n;8;1"), BenchError);
    EXPECT_EQ(port.Settings(), "9600,n,8,1") << "a refused text changes nothing";
}

TEST(SerialPortOnPty, MissingPortIsAnErrorTheBoxCanShow) {
    test::TempHome home;
    test::EnsureApp();
    test::WriteFileBytes(home.File("ComPorts.txt"), "7 " + home.File("no-such-tty") + "\n");
    SerialPort port;
    port.SetCommPort(7);
    try {
        port.SetPortOpen(true);
        FAIL() << "opened a missing device";
    } catch (const BenchError& e) {
        EXPECT_EQ(e.Number(), err::PortNotFound);
        EXPECT_NE(e.Description().find("no-such-tty"), std::string::npos) << e.Description();
    }
    EXPECT_FALSE(port.PortOpen());
}

TEST(SerialPortOnPty, ReadsWritesAndIgnoresRts) {
    test::TempHome home;
    test::EmulatedReceiver gps;
    gps.RegisterPort(9);
    SerialPort port;
    port.SetCommPort(9);
    port.SetSettings("4800,n,8,1");
    port.SetRTSEnable(true);  // remembered, applied at open; a pty has no RTS
    std::string got;
    int events = 0;
    port.SetReceiveHandler([&] {
        ++events;
        got += port.Input();
    });
    port.SetPortOpen(true);
    ASSERT_TRUE(port.PortOpen());
    EXPECT_THROW(port.SetPortOpen(true), BenchError);
    EXPECT_THROW(port.SetCommPort(3), BenchError) << "number cannot change while open";
    EXPECT_NO_THROW(port.SetRTSEnable(false));
    EXPECT_NO_THROW(port.SetRTSEnable(true));

    port.Output(std::string("\0\r\n\x7f\xff", 5));
    port.Output("$X\r\n");
    ASSERT_TRUE(test::WaitFor([&] { return gps.Received().size() == 9; }));
    EXPECT_EQ(gps.Received(), std::string("\0\r\n\x7f\xff$X\r\n", 9)) << "no byte translated";

    port.SetRThreshold(0);
    gps.Write("silent\r\n");
    test::Pump(50);
    EXPECT_EQ(events, 0) << "no receive event while the threshold is 0";
    port.SetRThreshold(1);
    gps.Write(std::string("\r\r\n\x00!", 5));
    ASSERT_TRUE(test::WaitFor([&] { return got.size() == 13; }));
    EXPECT_EQ(got, std::string("silent\r\n\r\r\n\x00!", 13));

    port.SetPortOpen(false);
    EXPECT_FALSE(port.PortOpen());
    EXPECT_EQ(port.Input(), "");
    try {
        port.Output("x");
        FAIL();
    } catch (const BenchError& e) {
        EXPECT_EQ(e.Number(), err::PortNotOpen);
    }
}
