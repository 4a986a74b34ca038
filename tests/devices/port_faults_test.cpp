// A device window whose receiver misbehaves for a long time: sentences that
// are out of range on every line, a pseudo-terminal that goes away in the
// middle of a trial, a receiver that falls silent under the watchdog. The
// system log must say each thing once, never a line per sentence or tick.
#include "bench/devices/comm_window.h"
#include "bench/devices/system_log.h"
#include "bench/devices/test_machine.h"
#include "platform/comm/serial_port.h"
#include "platform/qt/bench_timer.h"
#include "tests/support/emulated_receiver.h"
#include "tests/support/fakes.h"
#include "tests/support/qt_app.h"
#include "tests/support/restarting_receiver.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <fcntl.h>
#include <memory>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

using namespace bench;

namespace {

// The system log's lines that contain `what`.
std::vector<std::string> LogLinesWith(const std::string& what) {
    std::vector<std::string> out;
    const std::string log = test::ReadFileBytes(SystemLogPath());
    size_t start = 0;
    while (start < log.size()) {
        size_t lf = log.find('\n', start);
        if (lf == std::string::npos) lf = log.size();
        const std::string line = log.substr(start, lf - start);
        if (line.find(what) != std::string::npos) out.push_back(line);
        start = lf + 1;
    }
    return out;
}

// The same, without the one line a pseudo-terminal's missing RTS line gives
// every port it opens.
std::vector<std::string> LogLinesWithoutRts(const std::string& what) {
    std::vector<std::string> out;
    for (const std::string& line : LogLinesWith(what))
        if (line.find("RTS line not available") == std::string::npos) out.push_back(line);
    return out;
}


struct SystemLogOpen {
    SystemLogOpen() { OpenSystemLog(); }
    ~SystemLogOpen() { CloseSystemLog(); }
};

// A GSA cut after its satellites (no dilutions) and a GSV whose second
// satellite is numbered past the database: what some receivers send on
// every epoch.
const std::string kShortGsa = test::Sentence("$GPGSA,A,3,04,05");
const std::string kGsv300 = test::Sentence("$GPGSV,1,1,03,07,45,180,40,300,45,180,40,09,45,180,41");

}  // namespace

TEST(DevicePortFaults, OutOfRangeSentencesAreReportedOncePerWindowAndCountedAtClose) {
    test::TempHome home;
    SystemLogOpen log;
    test::FakeBenchHost host;
    test::EmulatedReceiver gps1, gps2;
    gps1.RegisterPort(21);
    gps2.RegisterPort(22);
    auto w1 = std::make_unique<CommWindow>(&host);
    auto w2 = std::make_unique<CommWindow>(&host);
    w1->SetDeviceName("ROOF");
    w2->SetDeviceName("BENCH");
    w1->SetDeviceComParams(21, 9600);
    w2->SetDeviceComParams(22, 9600);
    w1->OpenPort_Click();
    w2->OpenPort_Click();
    ASSERT_TRUE(w1->Port().PortOpen());
    ASSERT_TRUE(w2->Port().PortOpen());

    std::string epochs;
    for (int i = 0; i < 6; ++i) epochs += kShortGsa + kGsv300;
    gps1.Write(epochs);
    gps2.Write(kShortGsa + kGsv300);
    ASSERT_TRUE(test::WaitFor([&] { return w1->State().Sats[9].CN0Count >= 6 && w2->State().Sats[9].CN0Count >= 1; }));

    EXPECT_EQ(LogLinesWith("Subscript out of range (NMEA_GSA_Processing)").size(), 2u) << "one per window";
    EXPECT_EQ(LogLinesWith("Subscript out of range (SatDB_Update)").size(), 2u) << "one per window";
    EXPECT_TRUE(LogLinesWith(" more ").empty()) << "the counts wait for the window to close";

    w1.reset();
    const std::vector<std::string> gsa = LogLinesWith("Device ROOF: 5 more \"Subscript out of range (NMEA_GSA_Processing)\"");
    const std::vector<std::string> gsv = LogLinesWith("Device ROOF: 5 more \"Subscript out of range (SatDB_Update)\"");
    EXPECT_EQ(gsa.size(), 1u);
    EXPECT_EQ(gsv.size(), 1u);
    w2.reset();
    EXPECT_TRUE(LogLinesWithoutRts("Device BENCH:").empty()) << "nothing came twice from the second window";
}

// The process at the far end of the receiver's pseudo-terminal is killed in
// the middle of a trial, just after the bench's thread made an unrelated
// system call that failed (so errno says nothing about the port): the window
// says so once, stops polling the port, keeps every byte received in its
// log, fails the trial at once, and a time-out that keeps trying to reopen
// it says so once.
TEST(DevicePortFaults, APortWhoseFarEndIsKilledMidTrialIsReportedOnceAndItsLogKeptWhole) {
    test::TempHome home;
    SystemLogOpen log;
    test::FakeBenchHost host;
    auto gps = std::make_unique<test::EmulatedReceiver>();
    gps->RegisterPort(23);
    gps->RelayThroughChildProcess();
    const std::string path = gps->DevicePath();
    // Held open to the end, so the terminal's number is not handed to a test
    // running beside this one while the window keeps trying to reopen it.
    struct Hold {
        int fd;
        ~Hold() { if (fd >= 0) ::close(fd); }
    } hold{::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK)};
    ASSERT_GE(hold.fd, 0);
    CommWindow w(&host);
    w.SetDeviceName("ROVER");
    w.SetDeviceComParams(23, 9600);
    w.OpenPort_Click();
    ASSERT_TRUE(w.Port().PortOpen());
    DeviceState& dev = w.State();
    w.DeviceSetPrimaryLogFileBaseName(home.File("ROVER_TTFF_COLD_NMEA"));
    w.DeviceStartPrimaryLogging(".txt");
    w.ExecuteTest("$PQNVCOLD");
    ASSERT_FALSE(w.DevicePortLost());

    const std::string sent = test::Sentence("$GPGGA,120001.00,,,,,0,00,,,M,,M,,") +
                             test::Sentence("$GPGGA,120002.00,,,,,0,00,,,M,,M,,") + "$GPGGA,1200";
    gps->Write(sent);
    ASSERT_TRUE(test::WaitFor([&] { return dev.Console.Lines[dev.Console.Current] == "$GPGGA,1200"; }));
    test::Pump(50);  // nothing more is on its way
    const long reads_before = test::ReadCallsOfThisThread();
    gps->KillRelayProcess();  // the receiver goes away
    ASSERT_NE(::mkdir(home.Path().c_str(), 0700), 0);
    ASSERT_EQ(errno, EEXIST);

    ASSERT_TRUE(test::WaitFor([&] { return w.DevicePortLost(); }, 3000)) << "the loss is seen at once";
    EXPECT_FALSE(w.Port().PortOpen());
    test::Pump(500);
    EXPECT_LT(test::ReadCallsOfThisThread() - reads_before, 200)
        << "the lost port is not read over and over, before its loss is seen or after";
    EXPECT_FALSE(w.IsTestCompleted()) << "a lost receiver has no fix to report";
    const std::vector<std::string> lost = LogLinesWith("Device ROVER: port 23 lost (" + path + ": ");
    ASSERT_EQ(lost.size(), 1u) << test::ReadFileBytes(SystemLogPath());
    EXPECT_NE(lost[0].find(": the device hung up)"), std::string::npos) << lost[0];
    ASSERT_FALSE(host.StatusMessages.empty());
    // The time-out is off: nothing would open the port again, and both say so.
    EXPECT_EQ(host.StatusMessages.back(),
              std::make_pair(int16_t{2}, "Device ROVER: port 23 (" + path +
                                             ") lost, not opened again (the time-out is off): Open Port"));
    EXPECT_NE(lost[0].find("; it is not opened again while the port time-out is off: press Open Port in its window"),
              std::string::npos)
        << lost[0];
    EXPECT_EQ(dev.Console.Status->PanelText(1), "PORT LOST");

    EXPECT_EQ(test::ReadFileBytes(home.File("ROVER_TTFF_COLD_NMEA.txt")), sent)
        << "every byte received, the unfinished line too";

    // The time-out's reopening fails at every tick: said once, with the cause.
    w.DeviceSetSerialPortTimeout(true, 100);
    test::Pump(1000);
    const std::vector<std::string> reopen = LogLinesWith("Device ROVER: port 23 cannot be opened again (" + path);
    EXPECT_EQ(reopen.size(), 1u) << test::ReadFileBytes(SystemLogPath());
    EXPECT_TRUE(LogLinesWith("Invalid port number").empty()) << "the cause, not a wrong port number";
    EXPECT_EQ(LogLinesWithoutRts("Device ROVER:").size(), 2u);
    EXPECT_TRUE(w.DevicePortLost());

    // A receiver on the same port number again: the port opens at the next
    // tick, which closes the episode.
    test::EmulatedReceiver back;
    test::WriteFileBytes(home.File("ComPorts.txt"), "23 " + back.DevicePath() + "\n");
    ASSERT_TRUE(test::WaitFor([&] { return w.Port().PortOpen(); }, 3000));
    EXPECT_FALSE(w.DevicePortLost());
    EXPECT_EQ(LogLinesWith("Device ROVER: port 23 (" + back.DevicePath() + ") open again").size(), 1u);
}

// A receiver lost and back, twice, by the two roads that open a port again:
// the time-out's retry (the device path made again) and the open button (as
// the main window presses it). While lost, the window says "PORT LOST"
// whatever the test does, and the unsent restart names device and port.
// Each time the port is back, the same log goes on: what was received
// before, the line the loss cut ended, then the lines heard again, with one
// system-log line for each gap.
TEST(DevicePortFaults, APortLostAndOpenAgainLogsIntoTheSameFileByEveryRoad) {
    test::TempHome home;
    SystemLogOpen log;
    test::FakeBenchHost host;
    auto gps = std::make_unique<test::EmulatedReceiver>();
    gps->RegisterPort(25);
    const std::string path = gps->DevicePath();
    struct Hold {
        int fd;
        ~Hold() { if (fd >= 0) ::close(fd); }
    } hold{::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK)};
    ASSERT_GE(hold.fd, 0);
    CommWindow w(&host);
    w.SetDeviceName("ROVER");
    w.SetDeviceComParams(25, 9600);
    w.OpenPort_Click();
    ASSERT_TRUE(w.Port().PortOpen());
    DeviceState& dev = w.State();
    w.DeviceSetPrimaryLogFileBaseName(home.File("ROVER_TTFF_COLD_NMEA"));
    w.DeviceStartPrimaryLogging(".txt");
    const std::string file = home.File("ROVER_TTFF_COLD_NMEA.txt");
    w.ExecuteTest("$PQNVCOLD");

    const std::string before = test::Sentence("$GPGGA,120001.00,,,,,0,00,,,M,,M,,") + "$GPGSV,1,1,0";
    gps->Write(before);
    ASSERT_TRUE(test::WaitFor([&] { return dev.Console.Lines[dev.Console.Current] == "$GPGSV,1,1,0"; }));
    test::Pump(50);
    gps.reset();  // unplugged
    ASSERT_TRUE(test::WaitFor([&] { return w.DevicePortLost(); }, 3000));

    // The trial's ticks go on while the port is lost; one of them sends the
    // restart again.
    for (int i = 0; i < 12; ++i) w.SetNewTestMachineState(EvTick);
    EXPECT_EQ(dev.Console.Status->PanelText(1), "PORT LOST");
    EXPECT_EQ(LogLinesWith("Device ROVER: port 25 (" + path + ") lost, command not sent (SendNmeaCommand)").size(), 1u)
        << test::ReadFileBytes(SystemLogPath());
    EXPECT_TRUE(LogLinesWith("Port closed").empty());

    // Back through the time-out, on another terminal.
    test::EmulatedReceiver second;
    test::WriteFileBytes(home.File("ComPorts.txt"), "25 " + second.DevicePath() + "\n");
    w.DeviceSetSerialPortTimeout(true, 100);
    ASSERT_TRUE(test::WaitFor([&] { return w.Port().PortOpen(); }, 3000));
    EXPECT_FALSE(w.DevicePortLost());
    EXPECT_EQ(dev.Console.Status->PanelText(1), "PORT OPEN AGAIN");
    const std::string middle = test::Sentence("$GPGGA,120101.00,,,,,0,00,,,M,,M,,") +
                               test::Sentence("$GPGGA,120102.00,,,,,0,00,,,M,,M,,");
    second.Write(middle);
    ASSERT_TRUE(test::WaitFor([&] { return test::ReadFileBytes(file).size() >= before.size() + 2 + middle.size(); }));
    EXPECT_EQ(test::ReadFileBytes(file), before + "\r\n" + middle);
    EXPECT_EQ(LogLinesWith("Device ROVER: port 25 (" + second.DevicePath() +
                           ") open again; logging goes on after the gap in " + file)
                  .size(),
              1u)
        << test::ReadFileBytes(SystemLogPath());

    // Lost again; back by the open button, the time-out off.
    w.DeviceSetSerialPortTimeout(false, 100);
    test::Pump(100);
    {
        test::EmulatedReceiver gone;
        test::WriteFileBytes(home.File("ComPorts.txt"), "25 " + gone.DevicePath() + "\n");
        w.ClosePort_Click();
        w.OpenPort_Click();
        ASSERT_TRUE(w.Port().PortOpen());
    }
    ASSERT_TRUE(test::WaitFor([&] { return w.DevicePortLost(); }, 3000));
    test::EmulatedReceiver third;
    test::WriteFileBytes(home.File("ComPorts.txt"), "25 " + third.DevicePath() + "\n");
    w.OpenPort_Click();
    ASSERT_TRUE(w.Port().PortOpen());
    EXPECT_FALSE(w.DevicePortLost());
    const std::string after = test::Sentence("$GPGGA,120201.00,,,,,0,00,,,M,,M,,");
    third.Write(after);
    const std::string whole = before + "\r\n" + middle + after;
    ASSERT_TRUE(test::WaitFor([&] { return test::ReadFileBytes(file).size() >= whole.size(); }));
    EXPECT_EQ(test::ReadFileBytes(file), whole) << "nothing was cut by the second loss";
    EXPECT_EQ(LogLinesWith("Device ROVER: port 25 (" + third.DevicePath() +
                           ") open again; logging goes on after the gap in " + file)
                  .size(),
              1u)
        << test::ReadFileBytes(SystemLogPath());
    EXPECT_EQ(LogLinesWith("open again").size(), 2u);
}

TEST(DevicePortFaults, WatchdogDisableIsWrittenToTheSystemLogOncePerSilence) {
    test::TempHome home;
    SystemLogOpen log;
    test::FakeBenchHost host;
    test::EmulatedReceiver gps;
    gps.RegisterPort(24);
    CommWindow w(&host);
    w.SetDeviceName("MAST");
    w.SetDeviceID(2);
    w.SetDeviceComParams(24, 9600);
    w.OpenPort_Click();
    ASSERT_TRUE(w.Port().PortOpen());
    w.DeviceSetWatchDogStatus(true);
    w.State().WatchDogTimer->SetInterval(100);
    const std::string gga = test::Sentence("$GPGGA,120001.00,,,,,0,00,,,M,,M,,");
    gps.Write(gga);  // starts the watchdog
    ASSERT_TRUE(test::WaitFor([&] { return host.Disabled.size() >= 3; }, 3000));
    EXPECT_EQ(LogLinesWith("Device MAST: no line for 0.1 s, DEVICE DISABLED").size(), 1u)
        << test::ReadFileBytes(SystemLogPath());
    EXPECT_EQ(host.Disabled.front(), 2);

    gps.Write(gga);  // heard again, then silent again: a new report
    const size_t before = host.Disabled.size();
    ASSERT_TRUE(test::WaitFor([&] { return host.Disabled.size() >= before + 2; }, 3000));
    EXPECT_EQ(LogLinesWith("DEVICE DISABLED").size(), 2u);
}

// A receiver that never answers its restart command: after the sixth
// unanswered command the device is disabled, which the system log says once
// however long the receiver goes on sending.
TEST(DevicePortFaults, DisableForUnansweredRestartsIsWrittenToTheSystemLogOnce) {
    test::TempHome home;
    SystemLogOpen log;
    test::FakeBenchHost host;
    test::RestartingReceiver gps({.gga_interval_ms = 10, .ignore_commands = 1000});
    gps.RegisterPort(25);
    CommWindow w(&host);
    w.SetDeviceName("RCV2");
    w.SetDeviceID(1);
    w.SetGPSStartupString("$PQNVRST");
    w.SetDeviceComParams(25, 115200);
    w.OpenPort_Click();
    ASSERT_TRUE(w.Port().PortOpen());
    w.ExecuteTest("$PQNVCOLD");
    // Ten GGAs a time-out: the sixth comes after sixty, then three more.
    ASSERT_TRUE(test::WaitFor([&] { return host.Disabled.size() >= 4; }, 5000));
    EXPECT_EQ(host.Disabled.front(), 1);
    EXPECT_EQ(gps.CommandsSeen(), 6) << "no command after the sixth time-out";
    EXPECT_EQ(LogLinesWith("Device RCV2: no answer to 6 restart commands, DEVICE DISABLED").size(), 1u)
        << test::ReadFileBytes(SystemLogPath());
    EXPECT_EQ(w.State().Console.Status->PanelText(1), "DEVICE DISABLED");
}
