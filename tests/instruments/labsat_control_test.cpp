// The LabSat window's controller and window: the exact lines of remote mode
// on a real pseudo-terminal, the relay side cutting lines out of whatever
// chunks arrive, the local server made once, and the honest refusal of the
// local server on this platform.
#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "bench/instruments/labsat_control.h"
#include "bench/instruments/labsat_window.h"
#include "tests/support/emulated_receiver.h"
#include "tests/support/fakes.h"
#include "tests/support/qt_app.h"

namespace {

using bench::LabSatBackend;
using bench::LabSatMng;

// The replay unit's server as a list of property settings.
class RecordingBackend : public LabSatBackend {
public:
    explicit RecordingBackend(std::vector<std::string>* sets) : sets_(sets) {}
    bool SetRepFile(const std::string& p) override { return Set("RepFile=" + p); }
    bool SetSkipTime(double s) override { return Set("SetSkipTime=" + Num(s)); }
    bool SetAttenuation(double v) override { return Set("SetAttenuation=" + Num(v)); }
    bool StartReplay() override { return Set("StartReplay=True"); }
    bool StopReplay() override { return Set("StopReplay=True"); }

private:
    static std::string Num(double v) {
        std::string s = std::to_string(v);
        s.erase(s.find_last_not_of('0') + 1);
        if (s.back() == '.') s.pop_back();
        return s;
    }
    bool Set(const std::string& s) {
        sets_->push_back(s);
        return true;
    }
    std::vector<std::string>* sets_;
};

// A controller over a port of the test's choice, with its server settings,
// the number of servers made and its reports recorded.
struct Rig {
    std::vector<std::string> sets;
    std::vector<std::string> reports;
    int servers = 0;
    platform::SerialLink* port = nullptr;
    std::unique_ptr<LabSatMng> mng;

    explicit Rig(std::unique_ptr<platform::SerialLink> link = std::make_unique<test::FakeSerialLink>()) {
        port = link.get();
        mng = std::make_unique<LabSatMng>(
            std::move(link),
            [this] {
                ++servers;
                return std::make_unique<RecordingBackend>(&sets);
            },
            [this](const std::string& r) { reports.push_back(r); });
    }
    test::FakeSerialLink& Fake() { return *static_cast<test::FakeSerialLink*>(port); }
    void OpenRemote(int16_t number) {
        mng->SetRemoteFlag(true);
        mng->SetPortNumber(number);
        mng->Command1_Click();
    }
};

TEST(LabSatRemote, OperationsWriteTheExactLinesToTheRelayPort) {
    test::EnsureApp();
    test::TempHome home;
    test::EmulatedReceiver relay;
    relay.RegisterPort(7);
    Rig rig(std::make_unique<platform::SerialPort>());
    rig.OpenRemote(7);
    ASSERT_TRUE(rig.port->PortOpen());
    EXPECT_EQ(rig.port->Settings(), "115200,n,8,1");
    EXPECT_EQ(rig.mng->Command1Caption(), "Stop");

    EXPECT_TRUE(rig.mng->LabSatSetBinFile("D:\\rec\\city walk.bin"));
    EXPECT_TRUE(rig.mng->LabSatSetStartTime(25));
    EXPECT_TRUE(rig.mng->LabSatSetStartTime(40000));
    EXPECT_TRUE(rig.mng->LabSatSetAttenuation(-3));
    EXPECT_TRUE(rig.mng->LabSatSetStartReplay());
    EXPECT_TRUE(rig.mng->LabSatSetStopReplay());
    const std::string want =
        "SETBIN,D:\\rec\\city walk.bin\r\nSETSTART,25\r\nSETSTART,40000\r\nSETATTENUATION,-3\r\nSTART\r\nSTOP\r\n";
    EXPECT_TRUE(test::WaitFor([&] { return relay.Received().size() >= want.size(); }));
    EXPECT_EQ(relay.Received(), want);
    EXPECT_TRUE(rig.sets.empty()) << "remote mode never touches the local server";
    EXPECT_EQ(rig.servers, 0);

    rig.mng->Command1_Click();
    EXPECT_FALSE(rig.port->PortOpen());
    EXPECT_EQ(rig.mng->Command1Caption(), "Start");
}

TEST(LabSatRelay, TheRelayPortRunsLinesArrivingInOddPieces) {
    test::EnsureApp();
    test::TempHome home;
    test::EmulatedReceiver sender;  // the first bench PC at the other end
    sender.RegisterPort(5);
    Rig rig(std::make_unique<platform::SerialPort>());
    rig.mng->SetPortNumber(5);
    rig.mng->Command1_Click();
    ASSERT_TRUE(rig.port->PortOpen());
    sender.WriteInChunks("SETBIN,/data/rec.bin\r\nSETSTART,25\r\nSETATTENUATION,12\r\nSTART\r\nSTOP\r\n", {1, 3, 7, 2}, 1);
    EXPECT_TRUE(test::WaitFor([&] { return rig.sets.size() >= 5; }, 5000));
    EXPECT_EQ(rig.sets, (std::vector<std::string>{"RepFile=/data/rec.bin", "SetSkipTime=25", "SetAttenuation=12",
                                                  "StartReplay=True", "StopReplay=True"}));
    EXPECT_EQ(rig.mng->Panel(2), "STOP");
    EXPECT_TRUE(rig.reports.empty());
}

// A start offset or attenuation line without its value sets nothing: the
// replay keeps the offset it was given, and the relay says why.
TEST(LabSatRelay, ALineWithoutItsValueSetsNothingAndIsSaid) {
    test::EnsureApp();
    test::TempHome home;
    test::EmulatedReceiver sender;
    sender.RegisterPort(5);
    Rig rig(std::make_unique<platform::SerialPort>());
    rig.mng->SetPortNumber(5);
    rig.mng->Command1_Click();
    ASSERT_TRUE(rig.port->PortOpen());
    sender.Write("SETSTART,25\r\nSETSTART,\r\nSETATTENUATION, \r\nSTART\r\n");
    ASSERT_TRUE(test::WaitFor([&] { return rig.sets.size() >= 2 && rig.reports.size() >= 2; }, 5000))
        << rig.sets.size() << " set, " << rig.reports.size() << " reports";
    EXPECT_EQ(rig.sets, (std::vector<std::string>{"SetSkipTime=25", "StartReplay=True"}));
    EXPECT_EQ(rig.reports, (std::vector<std::string>{"LabSat relay: line \"SETSTART,\" has no value; ignored",
                                                     "LabSat relay: line \"SETATTENUATION, \" has no value; ignored"}));
}

TEST(LabSatRemote, ALineThatCannotBeSentIsReportedAndFails) {
    Rig rig;
    EXPECT_EQ(rig.mng->NotReadyReason(), "") << "a local server that takes the properties";
    rig.mng->SetRemoteFlag(true);
    // Port never opened.
    EXPECT_EQ(rig.mng->NotReadyReason(), "LabSat remote port 1 not open (Remote Control)");
    EXPECT_FALSE(rig.mng->LabSatSetStartReplay());
    EXPECT_EQ(rig.reports, (std::vector<std::string>{"LabSat remote port 1 closed: START not sent"}));
    EXPECT_TRUE(rig.Fake().Written.empty());

    rig.reports.clear();
    rig.mng->Command1_Click();
    ASSERT_TRUE(rig.port->PortOpen());
    EXPECT_EQ(rig.mng->NotReadyReason(), "");
    rig.Fake().FailWrites = true;
    EXPECT_FALSE(rig.mng->LabSatSetBinFile("a.bin"));
    ASSERT_EQ(rig.reports.size(), 1u);
    EXPECT_EQ(rig.reports[0].rfind("LabSat remote port 1: SETBIN,a.bin not sent (", 0), 0u) << rig.reports[0];
}

TEST(LabSatRemote, APortThatCannotOpenLeavesTheButtonOnStart) {
    Rig rig;
    rig.Fake().Exists = false;
    rig.OpenRemote(9);
    EXPECT_FALSE(rig.port->PortOpen());
    EXPECT_EQ(rig.mng->Command1Caption(), "Start");
}

TEST(LabSatLocal, TheServerIsMadeOnceAndTakesEachPropertyWithItsValue) {
    Rig rig;
    EXPECT_EQ(rig.servers, 0) << "made on first use only";
    EXPECT_TRUE(rig.mng->LabSatSetBinFile("c:\\prova.bin"));
    EXPECT_TRUE(rig.mng->LabSatSetStartTime(10));
    EXPECT_TRUE(rig.mng->LabSatSetAttenuation(1));
    EXPECT_TRUE(rig.mng->LabSatSetStartReplay());
    EXPECT_TRUE(rig.mng->LabSatSetStopReplay());
    rig.mng->RunRemoteLine("STOP");
    EXPECT_EQ(rig.sets, (std::vector<std::string>{"RepFile=c:\\prova.bin", "SetSkipTime=10", "SetAttenuation=1",
                                                  "StartReplay=True", "StopReplay=True", "StopReplay=True"}));
    EXPECT_EQ(rig.servers, 1) << "operations and relayed lines share one server";
}

TEST(LabSatLocal, ThisPlatformRefusesEveryLocalOperationAndSaysSo) {
    std::vector<std::string> reports;
    auto report = [&](const std::string& r) { reports.push_back(r); };
    LabSatMng mng(std::make_unique<test::FakeSerialLink>(),
                  [&] { return std::make_unique<bench::UnavailableLabSatBackend>(report); }, report);
    EXPECT_FALSE(mng.LabSatSetBinFile("c:\\prova.bin"));
    EXPECT_FALSE(mng.LabSatSetStartTime(40000));
    EXPECT_FALSE(mng.LabSatSetAttenuation(12));
    EXPECT_FALSE(mng.LabSatSetStartReplay());
    EXPECT_FALSE(mng.LabSatSetStopReplay());
    const std::string p = "LabSat local control not available on this platform: ";
    EXPECT_EQ(mng.NotReadyReason(), "LabSat local control not available on this platform");
    EXPECT_EQ(reports, (std::vector<std::string>{p + "RepFile=c:\\prova.bin", p + "SetSkipTime=40000",
                                                 p + "SetAttenuation=12", p + "StartReplay=True",
                                                 p + "StopReplay=True"}));
}

TEST(LabSatRelay, LinesAreCutOutOfAnyChunksAndRunInOrder) {
    Rig rig;
    rig.mng->Command1_Click();
    test::FakeSerialLink& port = rig.Fake();
    // Two lines in one event, then one split over three.
    port.Inject("SETBIN,/data/rec.bin\r\nSETSTART,25\r\nSETATT");
    EXPECT_EQ(rig.sets, (std::vector<std::string>{"RepFile=/data/rec.bin", "SetSkipTime=25"}));
    port.Inject("ENUATION,1");
    port.Inject("2,\r");
    EXPECT_EQ(rig.sets.size(), 2u) << "nothing runs before the LF";
    port.Inject("\nSTART\n");  // a line ended by LF alone keeps its last character
    EXPECT_EQ(rig.sets, (std::vector<std::string>{"RepFile=/data/rec.bin", "SetSkipTime=25", "SetAttenuation=12",
                                                  "StartReplay=True"}));
    EXPECT_EQ(rig.mng->Panel(1), "START");
    EXPECT_EQ(rig.mng->Panel(2), "START");
    EXPECT_TRUE(rig.reports.empty());
}

TEST(LabSatRelay, BadLinesAreReportedAndIgnoredWithoutStoppingTheRelay) {
    Rig rig;
    rig.mng->Command1_Click();
    test::FakeSerialLink& port = rig.Fake();
    port.Inject("SETSTART,abc\r\nSETATTENUATION,\r\nPLAY,1\r\n");
    EXPECT_TRUE(rig.sets.empty());
    ASSERT_EQ(rig.reports.size(), 3u);
    EXPECT_EQ(rig.reports[0], "LabSat relay: \"abc\" is not a number; line \"SETSTART,abc\" ignored");
    EXPECT_EQ(rig.reports[2], "LabSat relay: unknown command in line \"PLAY,1\" ignored");

    // A line with no end: dropped once it passes 4 KiB, up to its LF; the
    // next line runs.
    rig.reports.clear();
    port.Inject(std::string(3000, 'X'));
    port.Inject(std::string(3000, 'Y'));
    EXPECT_EQ(rig.reports.size(), 1u);
    port.Inject(std::string(50000, 'Z'));
    port.Inject("Z\r\nSTOP\r\n");
    EXPECT_EQ(rig.reports.size(), 1u) << "one report per dropped line";
    EXPECT_EQ(rig.sets, (std::vector<std::string>{"StopReplay=True"}));
    // The longest line that fits still runs.
    port.Inject("SETBIN," + std::string(4096 - 7, 'p') + "\r\n");
    ASSERT_EQ(rig.sets.size(), 2u);
    EXPECT_EQ(rig.sets[1].size(), std::string("RepFile=").size() + 4096 - 7);
}

// A value beyond any double is no number, never an infinity or the small
// number its exponent once wrapped around to (10 for "1e4294967297").
TEST(LabSatRelay, NumbersBeyondADoubleAreRefusedNotWrapped) {
    Rig rig;
    rig.mng->Command1_Click();
    rig.Fake().Inject("SETSTART,1e4294967297\r\nSETATTENUATION,1e400\r\n");
    EXPECT_TRUE(rig.sets.empty());
    ASSERT_EQ(rig.reports.size(), 2u);
    EXPECT_EQ(rig.reports[0], "LabSat relay: \"1e4294967297\" is not a number; line \"SETSTART,1e4294967297\" ignored");
}

TEST(LabSatRelay, PathsKeepTheirCommasAndEmptyLinesSetNothing) {
    Rig rig;
    rig.mng->RunRemoteLine("");
    EXPECT_EQ(rig.servers, 1) << "the server is made even for an empty line";
    EXPECT_TRUE(rig.sets.empty());
    EXPECT_EQ(rig.mng->Panel(1), "");
    rig.mng->RunRemoteLine("SETBIN,D:\\rec\\run 3, north,2.bin");
    rig.mng->RunRemoteLine("SETBIN,D:\\rec\\a.bin,");
    rig.mng->RunRemoteLine("stop");  // words are case-sensitive
    EXPECT_EQ(rig.sets, (std::vector<std::string>{"RepFile=D:\\rec\\run 3, north,2.bin", "RepFile=D:\\rec\\a.bin"}));
    EXPECT_EQ(rig.reports.size(), 1u);
}

TEST(LabSatRelay, FieldsSplitAtCommasUpToElevenTheLastKeepingTheRest) {
    auto f = bench::SplitRemoteFields("A,B,,D");
    EXPECT_EQ(f[0], "A");
    EXPECT_EQ(f[1], "B");
    EXPECT_EQ(f[2], "");
    EXPECT_EQ(f[3], "D");
    f = bench::SplitRemoteFields("0,1,2,3,4,5,6,7,8,9,10,11,12,");
    EXPECT_EQ(f[9], "9");
    EXPECT_EQ(f[10], "10,11,12");
    f = bench::SplitRemoteFields("SETSTART,");
    EXPECT_EQ(f[0], "SETSTART");
    EXPECT_EQ(f[1], "");
}

TEST(LabSatWindow, TheFrameFollowsTheCheckBoxAndThePanelsShowTheRelayedLine) {
    test::EnsureApp();
    Rig rig;
    bench::LabSatMngWindow w(*rig.mng);
    rig.mng->onChange = [&] { w.Redraw(); };
    w.show();
    auto* remote = w.findChild<QCheckBox*>("RemoteFlag");
    auto* frame = w.findChild<QGroupBox*>("Frame2");
    auto* open = w.findChild<QPushButton*>("Command1");
    ASSERT_TRUE(remote && frame && open);
    EXPECT_FALSE(frame->isEnabled()) << "on load the frame matches the clear box";
    remote->click();
    EXPECT_TRUE(frame->isEnabled());
    EXPECT_TRUE(rig.mng->RemoteFlag());
    open->click();
    EXPECT_EQ(open->text(), "Stop");
    w.findChild<QPushButton*>("SetStartTest")->click();
    w.findChild<QPushButton*>("SetBinTest")->click();
    EXPECT_EQ(rig.Fake().Written, "SETSTART,10\r\nSETBIN,c:\\prova.bin\r\n");
    rig.Fake().Inject("SETATTENUATION,4\r\n");
    EXPECT_EQ(w.findChild<QLabel*>("StatusBar1_1")->text(), "SETATTENUATION");
    EXPECT_EQ(w.findChild<QLabel*>("StatusBar1_2")->text(), "SETATTENUATION,4");
    remote->click();
    EXPECT_FALSE(frame->isEnabled());
    w.findChild<QPushButton*>("StopTest")->click();
    EXPECT_EQ(rig.sets, (std::vector<std::string>{"SetAttenuation=4", "StopReplay=True"}));
}

}  // namespace
