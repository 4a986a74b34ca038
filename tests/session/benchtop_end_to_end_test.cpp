// The bench as a test engineer drives it, on two emulated receivers behind
// pseudo-terminals: fill the configuration dialog, OK, see the device windows,
// start a session and see each receiver get its restart command.
#include <QDir>
#include <QLabel>

#include <cstdlib>
#include <QTabWidget>

#include "bench/devices/comm_window.h"
#include "platform/comm/serial_port.h"
#include "platform/core/paths.h"
#include "platform/qt/program_folder.h"
#include "bench/session/device_windows.h"
#include "tests/session/benchtop_fixture.h"
#include "tests/support/emulated_receiver.h"

namespace benchtop_test {
namespace {

using dialogs_test::Choose;
using dialogs_test::Click;
using dialogs_test::Type;

class BenchOnReceivers : public ::testing::Test {
protected:
    void SetUp() override {
        dialogs_test::ResetPrompts();
        home = std::make_unique<test::TempHome>();
        for (int i = 0; i < 2; ++i) {
            rx[i] = std::make_unique<test::EmulatedReceiver>();
            rx[i]->RegisterPort(7 + i);
            // A receiver with a fix, ten epochs a second.
            rx[i]->StartStream({test::Sentence("$GPGGA,120000.00,4530.1000,N,00912.2000,E,1,08,0.9,120.0,M,47.0,M,,")},
                               100);
        }
        top = std::make_unique<bench::Benchtop>(factory);
        top->show();
    }
    void TearDown() override {
        top.reset();
        for (auto& r : rx) r.reset();
        dialogs_test::ResetPrompts();
    }
    QWidget* Dialog() { return &top->ConfigDialog(); }
    void Page(const char* caption) {
        auto* tabs = dialogs_test::Find<QTabWidget>(Dialog(), "TabStrip");
        for (int i = 0; i < tabs->count(); ++i)
            if (tabs->tabText(i).remove(QLatin1Char('&')) == QLatin1String(caption)) tabs->setCurrentIndex(i);
    }
    // Two receivers and one COLD test of `trials` with no wait between trials.
    void FillDialog(int trials) {
        Page("Device");
        const char* names[2] = {"ROOF1", "ROOF2"};
        const char* cold[2] = {"$PQNVCOLD", "$PQNVCOLD,2"};
        for (int d = 0; d < 2; ++d) {
            Click(Dialog(), QStringLiteral("DevEN_%1").arg(d));
            Type(Dialog(), QStringLiteral("DName_%1").arg(d), names[d]);
            Choose(Dialog(), QStringLiteral("NmeaP_%1").arg(d), QString::number(7 + d));
            Choose(Dialog(), QStringLiteral("NmeaB_%1").arg(d), "9600");
            Type(Dialog(), QStringLiteral("ColdC_%1").arg(d), cold[d]);
        }
        Page("Testing");
        Choose(Dialog(), "TestType", "COLD");
        Click(Dialog(), "Scenario_0");
        Type(Dialog(), "TestField_0", QString::number(trials));
        Type(Dialog(), "TestField_1", "0");
        Type(Dialog(), "TestField_2", "0");
        Click(Dialog(), "Add");
    }
    QString Console(int slot) {
        auto* label = top->NmeaWidget(slot)->findChild<QLabel*>("Label1");
        return label ? label->text() : QString();
    }
    bench::CommWindow* Window(int slot) { return dynamic_cast<bench::CommWindow*>(top->NmeaWindow(slot)); }

    std::unique_ptr<test::TempHome> home;
    std::array<std::unique_ptr<test::EmulatedReceiver>, 2> rx;
    bench::CommWindowFactory factory;
    std::unique_ptr<bench::Benchtop> top;
};

TEST_F(BenchOnReceivers, OkOpensBothReceiversAndRestartCommandsArriveByteForByte) {
    ASSERT_TRUE(top->ConfigDialog().isVisible());
    FillDialog(2);
    Type(Dialog(), "RestartC_1", "UBLOXRESTART");
    Click(Dialog(), "Save_Command");

    ASSERT_EQ(top->Workspace()->subWindowList().size(), 2);
    ASSERT_NE(Window(0), nullptr);
    ASSERT_NE(Window(1), nullptr);
    EXPECT_EQ(top->WindowMenuCount(), 2);
    EXPECT_EQ(bench::Benchtop::PlainCaption(top->findChild<QAction*>("win1_0")->text()), "ROOF1 NMEA WINDOW");
    EXPECT_EQ(bench::Benchtop::PlainCaption(top->findChild<QAction*>("win1_1")->text()), "ROOF2 NMEA WINDOW");
    EXPECT_EQ(Window(0)->State().MaxTTFF, 300);
    // Both windows show what their receivers send.
    ASSERT_TRUE(test::WaitFor([&] { return Console(0).contains("$GPGGA") && Console(1).contains("$GPGGA"); }, 3000));

    rx[0]->ClearReceived();
    rx[1]->ClearReceived();
    // The restart the engine sends before a simulator restart, per family.
    top->Fanout().SendRestartCommandToDevice();
    // UBX CFG-RST, cold start, in the 128-byte block binary commands travel in.
    std::string ubx("\xB5\x62\x06\x04\x04\x00\xFF\x07\x01\x00\x15\x77", 12);
    ubx.resize(128, '\0');
    ASSERT_TRUE(test::WaitFor([&] { return rx[0]->Received().size() >= 14 && rx[1]->Received().size() >= 128; }, 3000));
    EXPECT_EQ(rx[0]->Received(), "$PQNVCOLD*1D\r\n");
    EXPECT_EQ(rx[1]->Received(), ubx);
}

TEST_F(BenchOnReceivers, StartSendsEachReceiverItsColdStart) {
    FillDialog(2);
    Click(Dialog(), "Save_Command");
    ASSERT_NE(Window(1), nullptr);
    ASSERT_TRUE(test::WaitFor([&] { return Console(0).contains("$GPGGA") && Console(1).contains("$GPGGA"); }, 3000));
    rx[0]->ClearReceived();
    rx[1]->ClearReceived();
    top->findChild<QAction*>("exectest")->trigger();
    ASSERT_TRUE(top->SessionRunning());
    ASSERT_TRUE(test::WaitFor([&] { return !rx[0]->ReceivedLines().empty() && !rx[1]->ReceivedLines().empty(); },
                              4000));
    EXPECT_EQ(rx[0]->ReceivedLines().front(), "$PQNVCOLD*1D\r\n");
    EXPECT_EQ(rx[1]->ReceivedLines().front(), test::Sentence("$PQNVCOLD,2"));
    top->findChild<QAction*>("StopTesting")->trigger();
}

TEST_F(BenchOnReceivers, KmlRequestMakesATrackBesideEachReceiversLog) {
    const char* old = std::getenv("PATH");
    const std::string old_path = old ? old : "";
    ::setenv("PATH", (std::string(FIXBENCH_BUILD_DIR_DEFAULT) + "/analysis:" + old_path).c_str(), 1);
    FillDialog(3);
    Page("Device");
    Click(Dialog(), "GLog_0");
    Click(Dialog(), "GLog_1");
    Click(Dialog(), "Save_Command");
    ASSERT_NE(Window(1), nullptr);
    top->findChild<QAction*>("exectest")->trigger();
    const std::string log0 = Window(0)->DeviceGetPrimaryLogFileName();
    const std::string log1 = Window(1)->DeviceGetPrimaryLogFileName();
    ASSERT_TRUE(log0.size() > 4 && log0.find("ROOF1_TTFF_COLD_NMEA") != std::string::npos) << log0;
    // A few fixes in each log, then the script command's request.
    auto folderOf = [](const std::string& stored) {
        QDir dir(QString::fromStdString(platform::MapStoredPath(stored, platform::ProgramFolder())));
        return dir.absolutePath().section('/', 0, -2).toStdString();
    };
    const std::string kml0 = folderOf(log0) + "/ROOF1_TTFF_COLD_NMEA.kml";
    const std::string kml1 = folderOf(log1) + "/ROOF2_TTFF_COLD_NMEA.kml";
    // The track is drawn from a log that holds a few fixes.
    auto fixes = [&](const std::string& stored) {
        const std::string log = test::ReadFileBytes(platform::MapStoredPath(stored, platform::ProgramFolder()));
        int n = 0;
        for (size_t at = log.find(",1,08,"); at != std::string::npos; at = log.find(",1,08,", at + 1)) ++n;
        return n;
    };
    ASSERT_TRUE(test::WaitFor([&] { return fixes(log0) >= 8 && fixes(log1) >= 8; }, 10000))
        << "waiting for 8 fixes in each log: " << fixes(log0) << " and " << fixes(log1);
    top->MakeKML();
    const bool made = test::WaitFor([&] {
        return test::ReadFileBytes(kml0).find("</kml>") != std::string::npos &&
               test::ReadFileBytes(kml1).find("</kml>") != std::string::npos;
    }, 5000);
    ::setenv("PATH", old_path.c_str(), 1);
    top->findChild<QAction*>("StopTesting")->trigger();
    ASSERT_TRUE(made) << kml0;
    EXPECT_NE(test::ReadFileBytes(kml0).find("ROOF1_TTFF_COLD_NMEA"), std::string::npos) << "the track is named after its log";
}

TEST_F(BenchOnReceivers, StopLeavesTheReceiversAlone) {
    FillDialog(3);
    Click(Dialog(), "Save_Command");
    ASSERT_NE(Window(1), nullptr);
    top->findChild<QAction*>("exectest")->trigger();
    ASSERT_TRUE(top->SessionRunning());
    EXPECT_FALSE(top->findChild<QAction*>("exectest")->isEnabled());
    test::Pump(300);
    top->findChild<QAction*>("StopTesting")->trigger();
    EXPECT_FALSE(top->SessionRunning());
    EXPECT_TRUE(top->findChild<QAction*>("exectest")->isEnabled());
    rx[0]->ClearReceived();
    rx[1]->ClearReceived();
    test::Pump(1500);  // more than ten epochs: a device still waiting would send again
    EXPECT_EQ(rx[0]->Received(), "");
    EXPECT_EQ(rx[1]->Received(), "");
}

TEST_F(BenchOnReceivers, MaximumTtffMenuReachesEveryDeviceWindow) {
    FillDialog(1);
    Click(Dialog(), "Save_Command");
    ASSERT_NE(Window(1), nullptr);
    top->findChild<QAction*>("T700")->trigger();
    EXPECT_EQ(Window(0)->State().MaxTTFF, 700);
    EXPECT_EQ(Window(1)->State().MaxTTFF, 700);
}

TEST_F(BenchOnReceivers, NewTestSessionClosesThePortsForTheNextSetUp) {
    FillDialog(1);
    Click(Dialog(), "Save_Command");
    ASSERT_EQ(top->Workspace()->subWindowList().size(), 2);
    top->findChild<QAction*>("NewTestSession")->trigger();
    EXPECT_TRUE(top->Workspace()->subWindowList().isEmpty());
    // The same ports open again at once for the next OK.
    Click(Dialog(), "Save_Command");
    ASSERT_NE(Window(0), nullptr);
    EXPECT_TRUE(test::WaitFor([&] { return Console(0).contains("$GPGGA"); }, 3000));
    EXPECT_TRUE(platform::Prompts::Instance().Asked().empty() ||
                !dialogs_test::AnyStartsWith(platform::Prompts::Instance().Asked(), "Fixbench"))
        << "no port error";
}

}  // namespace
}  // namespace benchtop_test
