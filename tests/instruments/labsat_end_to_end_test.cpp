// A LabSat session on the real clock: the bench's main window with two
// receivers on pseudo-terminals and the LabSat window in remote mode on a
// third, standing for the serial line to the relay PC.
#include <QAction>
#include <QComboBox>
#include <QDirIterator>
#include <QFileInfo>

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "bench/devices/system_log.h"
#include "bench/session/benchtop.h"
#include "bench/session/config.h"
#include "bench/session/device_windows.h"
#include "bench/session/test_line.h"
#include "tests/session/dialogs_ui.h"
#include "tests/support/qt_app.h"
#include "tests/support/scripted_receiver.h"
#include "tests/support/two_receivers.h"

namespace {

// Every file under `root`, by name, with its bytes.
std::map<std::string, std::string> FilesUnder(const std::string& root) {
    std::map<std::string, std::string> out;
    QDirIterator it(QString::fromStdString(root), QDir::Files, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        out[QFileInfo(path).fileName().toStdString()] = test::ReadFileBytes(path.toStdString());
    }
    return out;
}

int Count(const std::string& text, const std::string& what) {
    int n = 0;
    for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
    return n;
}

// Two receivers on ports 3 and 4, the relay PC's line on port 7, and one
// COLD entry replaying "D:\\rec\\city.bin" `iterations` times for
// `duration` seconds each, in remote mode with the line opened.
struct LabSatBench {
    test::TempHome home;
    std::vector<std::unique_ptr<test::ScriptedReceiver>> receivers;
    std::unique_ptr<test::EmulatedReceiver> relay = std::make_unique<test::EmulatedReceiver>();
    bench::CommWindowFactory factory;
    std::unique_ptr<bench::Benchtop> top;

    void SetUp(const std::string& duration, const std::string& iterations) {
        dialogs_test::ResetPrompts();
        for (int port : {3, 4}) {
            test::ScriptedReceiver::Script s;
            s.fix_delays_ms = {300};
            s.epoch_ms = 250;
            receivers.push_back(std::make_unique<test::ScriptedReceiver>(s));
            receivers.back()->RegisterPort(port);
        }
        relay->RegisterPort(7);

        bench::SystemConfig c = test::TwoReceiverConfig(3);
        for (int s = 0; s < 2; ++s) {
            c.Devices[s].ColdC = "$PQNVCOLD";
        }
        bench::TestEditorValues v;
        v.type = "COLD";
        v.scenario = bench::ScenarioLabSat;
        v.testField = {"1", "0", "0", "6", "10"};
        // Bin file, start offset, duration (s), iterations, almanacs, attenuation.
        v.labSatData = {"D:\\rec\\city.bin", "30", duration, iterations, "", "12"};
        test::SetFirstTest(c, bench::BuildTestLine(v));
        ASSERT_TRUE(bench::SaveSystemConfig(home.File("Config.dat"), c).ok);

        top = std::make_unique<bench::Benchtop>(factory);
        top->show();
        dialogs_test::Click(&top->ConfigDialog(), "Save_Command");
        ASSERT_NE(top->NmeaWindow(1), nullptr);

        // The operator opens the LabSat window, switches to remote control and
        // opens the line to the relay PC.
        top->findChild<QAction*>("LabSatManagement")->trigger();
        QWidget* labsat = top->findChild<QWidget*>("LabSatMng");
        ASSERT_NE(labsat, nullptr);
        dialogs_test::Click(labsat, "RemoteFlag");
        labsat->findChild<QComboBox*>("Combo1")->setCurrentText("7");
        dialogs_test::Click(labsat, "Command1");
        ASSERT_TRUE(top->LabSat().Control().Port().PortOpen());
        for (auto& r : receivers) r->ClearReceived();
    }
    void Start() {
        top->findChild<QAction*>("exectest")->trigger();
        ASSERT_TRUE(top->SessionRunning());
    }
    ~LabSatBench() { top.reset(); }
};

TEST(LabSatEndToEnd, TwoRemoteReplaysDriveTheRelayLineAndLogEachIteration) {
    LabSatBench b;
    ASSERT_NO_FATAL_FAILURE(b.SetUp("1", "2"));
    auto& top = b.top;
    auto& receivers = b.receivers;
    auto& relay = *b.relay;
    auto& home = b.home;
    ASSERT_NO_FATAL_FAILURE(b.Start());
    ASSERT_TRUE(test::WaitFor([&] { return !top->SessionRunning(); }, 30000)) << top->StatusText(1);
    test::Pump(100);

    const std::string one = "SETBIN,D:\\rec\\city.bin\r\nSETATTENUATION,12\r\nSETSTART,30\r\nSTART\r\nSTOP\r\n";
    EXPECT_EQ(relay.Received(), one + one);
    for (auto& r : receivers) EXPECT_EQ(Count(r->Received(), "$PQNVCOLD"), 2) << "one cold start per replay";
    EXPECT_EQ(top->StatusText(1), "Test Session Completed");

    // One primary log per receiver and replay, under the recording's name,
    // each holding what its receiver sent during that replay.
    const auto files = FilesUnder(home.File("GPS_TEST"));
    for (const char* name : {"RCV1_city_NMEA_L0.txt", "RCV1_city_NMEA_L1.txt", "RCV2_city_NMEA_L0.txt",
                             "RCV2_city_NMEA_L1.txt"}) {
        ASSERT_TRUE(files.count(name)) << name;
        EXPECT_GE(Count(files.at(name), "$GPGGA"), 2) << name;
    }
    // What a receiver sent appears in its logs once, in order.
    const std::string logged = files.at("RCV1_city_NMEA_L0.txt") + files.at("RCV1_city_NMEA_L1.txt");
    EXPECT_NE(receivers[0]->Sent().find(files.at("RCV1_city_NMEA_L1.txt").substr(0, 60)), std::string::npos);
    EXPECT_EQ(Count(logged, "$PQNVRST,COLD"), 2) << "each replay's log begins with its receiver's restart";
    const std::string syslog = test::ReadFileBytes(bench::SystemLogPath());
    EXPECT_EQ(syslog.find("LabSat"), std::string::npos) << syslog;
    EXPECT_EQ(top->StatusText(2).find("SESSION INCOMPLETE"), std::string::npos) << top->StatusText(2);
}

TEST(LabSatEndToEnd, ARelayLineThatClosesMidReplayFailsTheEntryAndTheSessionSaysSo) {
    LabSatBench b;
    ASSERT_NO_FATAL_FAILURE(b.SetUp("3", "2"));
    auto& top = b.top;
    ASSERT_NO_FATAL_FAILURE(b.Start());
    // The relay PC's end of the line goes away once the first replay runs.
    ASSERT_TRUE(test::WaitFor([&] { return b.relay->Received().find("START\r\n") != std::string::npos; }, 20000))
        << top->StatusText(1);
    const std::string relayed = b.relay->Received();
    b.relay.reset();
    ASSERT_TRUE(test::WaitFor([&] { return !top->SessionRunning(); }, 30000)) << top->StatusText(1);
    test::Pump(100);

    EXPECT_EQ(relayed, "SETBIN,D:\\rec\\city.bin\r\nSETATTENUATION,12\r\nSETSTART,30\r\nSTART\r\n");
    for (auto& r : b.receivers) EXPECT_EQ(Count(r->Received(), "$PQNVCOLD"), 1) << "no second replay";
    const std::string failure = "LabSat test COLD (D:\\rec\\city.bin) failed: the replay was not stopped in replay 1";
    const std::string syslog = test::ReadFileBytes(bench::SystemLogPath());
    EXPECT_NE(syslog.find(failure), std::string::npos) << syslog;
    // The line was found gone when it went, not only when the stop was due.
    const size_t lost = syslog.find("LabSat remote port 7 lost (");
    EXPECT_LT(lost, syslog.find(failure)) << syslog;
    EXPECT_NE(syslog.find("LabSat remote port 7 closed: STOP not sent"), std::string::npos) << syslog;
    // The session's end counts the failed entry, and the failure stays in
    // view after the session's closing text.
    EXPECT_EQ(top->StatusText(2), "SESSION INCOMPLETE: 1 test entry failed");
    EXPECT_NE(syslog.find("SESSION INCOMPLETE: 1 test entry failed"), std::string::npos) << syslog;
    EXPECT_EQ(top->StatusText(1), "Test Session INCOMPLETE: 1 test entry failed - " + failure);
}

}  // namespace
