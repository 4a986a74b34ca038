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

TEST(LabSatEndToEnd, TwoRemoteReplaysDriveTheRelayLineAndLogEachIteration) {
    dialogs_test::ResetPrompts();
    test::TempHome home;
    std::vector<std::unique_ptr<test::ScriptedReceiver>> receivers;
    for (int port : {3, 4}) {
        test::ScriptedReceiver::Script s;
        s.fix_delays_ms = {300};
        s.epoch_ms = 250;
        receivers.push_back(std::make_unique<test::ScriptedReceiver>(s));
        receivers.back()->RegisterPort(port);
    }
    test::EmulatedReceiver relay;
    relay.RegisterPort(7);

    bench::SystemConfig c = test::TwoReceiverConfig(3);
    for (int s = 0; s < 2; ++s) {
        c.Devices[s].ColdC = "$PQNVCOLD";
    }
    bench::TestEditorValues v;
    v.type = "COLD";
    v.scenario = bench::ScenarioLabSat;
    v.testField = {"1", "0", "0", "6", "10"};
    // Bin file, start offset, duration (s), iterations, almanacs, attenuation.
    v.labSatData = {"D:\\rec\\city.bin", "30", "1", "2", "", "12"};
    test::SetFirstTest(c, bench::BuildTestLine(v));
    ASSERT_TRUE(bench::SaveSystemConfig(home.File("Config.dat"), c).ok);

    bench::CommWindowFactory factory;
    auto top = std::make_unique<bench::Benchtop>(factory);
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
    top->findChild<QAction*>("exectest")->trigger();
    ASSERT_TRUE(top->SessionRunning());
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
    top.reset();
}

}  // namespace
