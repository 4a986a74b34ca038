#include "platform/comm/serial_port.h"
#include "tests/support/emulated_receiver.h"
#include "tests/support/qt_app.h"

#include "platform/qt/program_folder.h"

#include <gtest/gtest.h>

#include <QTimer>

#include <atomic>
#include <chrono>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <memory>
#include <pty.h>
#include <termios.h>
#include <thread>
#include <unistd.h>

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
        for (const ReceivedChunk& c : port.Input()) got += c.Bytes;
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
    EXPECT_TRUE(port.Input().empty());
    try {
        port.Output("x");
        FAIL();
    } catch (const BenchError& e) {
        EXPECT_EQ(e.Number(), err::PortNotOpen);
    }
}

// The GUI thread is held (a long layout, a slow X server) while the receiver
// writes: the bytes still carry the moment they came, not the moment the
// thread got to them.
TEST(SerialPortOnPty, BytesKeepTheMomentTheyArrivedWhileTheThreadIsHeld) {
    test::TempHome home;
    test::EmulatedReceiver gps;
    gps.RegisterPort(9);
    SerialPort port;
    port.SetCommPort(9);
    std::vector<ReceivedChunk> got;
    port.SetReceiveHandler([&] {
        for (ReceivedChunk& c : port.Input()) got.push_back(std::move(c));
    });
    port.SetRThreshold(1);
    port.SetPortOpen(true);
    const SystemClock& clock = SystemClock::Instance();
    const Stamp before = clock.StampNow();
    gps.Write("$GPTXT,held\r\n");
    const Stamp written = clock.StampNow();
    std::this_thread::sleep_for(std::chrono::milliseconds(600));
    const Stamp woken = clock.StampNow();
    ASSERT_TRUE(test::WaitFor([&] { return !got.empty(); })) << "waiting for the line written while the thread slept";
    std::string bytes;
    for (const ReceivedChunk& c : got) bytes += c.Bytes;
    EXPECT_EQ(bytes, "$GPTXT,held\r\n");
    EXPECT_GE(got.front().Arrived, before);
    EXPECT_LT(got.back().Arrived.Us - written.Us, (woken.Us - written.Us) / 2)
        << "stamped " << (got.back().Arrived.Us - written.Us) / 1000 << " ms after the write, the thread slept "
        << (woken.Us - written.Us) / 1000 << " ms";
}

// Each opening has one reader, which ends with it; a port that goes away
// with a delivery still queued for it gets nothing after.
TEST(SerialPortOnPty, ItsReaderEndsWithTheOpeningAndNothingReachesAPortThatIsGone) {
    test::TempHome home;
    test::EnsureApp();
    test::EmulatedReceiver gps;
    gps.RegisterPort(9);
    const int before = test::PortReaderThreads();
    auto port = std::make_unique<SerialPort>();
    port->SetCommPort(9);
    int deliveries = 0;
    port->SetReceiveHandler([&] {
        ++deliveries;
        port->Input();
    });
    port->SetRThreshold(1);
    port->SetPortOpen(true);
    EXPECT_EQ(test::PortReaderThreads(), before + 1);
    port->SetPortOpen(false);
    EXPECT_EQ(test::PortReaderThreads(), before) << "the reader ends when the port closes";
    port->SetPortOpen(true);
    EXPECT_EQ(test::PortReaderThreads(), before + 1);
    gps.Write("$GPTXT,one\r\n");
    ASSERT_TRUE(test::WaitFor([&] { return deliveries == 1; })) << "waiting for the first line";

    // Read while the thread is held, so its delivery waits in the queue.
    gps.Write("$GPTXT,two\r\n");
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    port.reset();
    EXPECT_EQ(test::PortReaderThreads(), before) << "the reader ends with its port";
    test::Pump(200);
    EXPECT_EQ(deliveries, 1) << "a delivery reached a port that was gone";
}

// A receiver that babbles megabytes while the GUI thread is busy elsewhere:
// the port hands them over in turns, so other events (a timer, a restart to
// send, another receiver's line) run between them, and every byte comes, in
// order. A handler that takes nothing is not called again and again.
TEST(SerialPortOnPty, ABabbleGatheredWhileTheThreadWasHeldComesInTurnsThatLetOtherEventsRun) {
    test::TempHome home;
    test::EnsureApp();
    int master = -1, slave = -1;
    char name[256] = {};
    struct termios raw {};
    cfmakeraw(&raw);
    ASSERT_EQ(::openpty(&master, &slave, name, &raw, nullptr), 0);
    {
        std::ofstream out(ProgramFile("ComPorts.txt"), std::ios::app);
        out << 9 << ' ' << name << '\n';
    }
    SerialPort port;
    port.SetCommPort(9);
    std::string got;
    int events = 0;
    bool taking = true;
    port.SetReceiveHandler([&] {
        ++events;
        if (!taking) return;
        for (ReceivedChunk& c : port.Input()) got += c.Bytes;
    });
    port.SetRThreshold(1);
    port.SetPortOpen(true);

    std::string babble(size_t{3} << 20, '\0');
    for (size_t i = 0; i < babble.size(); ++i) babble[i] = static_cast<char>('A' + i % 26);
    // Written from a thread of its own while this one sleeps, as a receiver
    // writes whatever the bench is doing.
    std::atomic<bool> written{false};
    std::thread writer([&] {
        for (size_t at = 0; at < babble.size();) {
            const ssize_t n = ::write(master, babble.data() + at, babble.size() - at);
            if (n > 0) at += static_cast<size_t>(n);
            else if (n < 0 && errno != EAGAIN && errno != EINTR) break;
        }
        written = true;
    });
    const auto held_until = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (!written && std::chrono::steady_clock::now() < held_until)
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    writer.join();
    ASSERT_TRUE(written) << "waiting for the writer to hand the babble to the terminal";

    // A timer posted now, behind the delivery already queued, fires before
    // the last of what was gathered is handed over.
    size_t got_when_timer_ran = 0;
    bool timer_ran = false;
    QTimer::singleShot(0, [&] {
        timer_ran = true;
        got_when_timer_ran = got.size();
    });
    ASSERT_TRUE(test::WaitFor([&] { return got.size() >= babble.size(); }, 30000))
        << "waiting for every byte: " << got.size() << " of " << babble.size();
    EXPECT_TRUE(got == babble) << "every byte, in order";
    ASSERT_TRUE(timer_ran);
    EXPECT_LT(got_when_timer_ran, babble.size() / 2)
        << "the timer waited for " << got_when_timer_ran << " bytes to be handed over in one go";

    // A handler that leaves the input where it is gets it with the next
    // bytes, not in an endless run of calls.
    taking = false;
    const std::string line = "$GPTXT,left\r\n";
    ASSERT_EQ(::write(master, line.data(), line.size()), static_cast<ssize_t>(line.size()));
    const int events_before = events;
    ASSERT_TRUE(test::WaitFor([&] { return events > events_before; })) << "waiting for the line's receive event";
    test::Pump(300);
    EXPECT_LE(events - events_before, 3) << "called again and again for input it does not take";
    port.SetPortOpen(false);
    ::close(master);
    ::close(slave);
}
