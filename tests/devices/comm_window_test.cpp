// The device window driven as a user drives it, against a receiver on a
// pseudo-terminal.
#include "bench/devices/comm_window.h"
#include "bench/devices/sat_table_widget.h"
#include "platform/comm/serial_port.h"
#include "platform/core/error.h"
#include "platform/core/numtext.h"
#include "platform/qt/bench_timer.h"
#include "platform/ui/prompts.h"
#include "tests/support/emulated_receiver.h"
#include "tests/support/fakes.h"
#include "tests/support/qt_app.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMouseEvent>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPushButton>
#include <filesystem>
#include <gtest/gtest.h>

using namespace bench;
using test::ReadFileBytes;
using test::Sentence;
using test::WaitFor;

namespace {

template <class W>
W* Find(QWidget& window, const char* name) {
    W* w = window.findChild<W*>(name);
    if (!w) ADD_FAILURE() << "no control " << name;
    return w;
}

// Replaces what a line edit holds, key by key.
void TypeInto(QWidget* edit, const std::string& text) {
    QKeyEvent all(QEvent::KeyPress, Qt::Key_A, Qt::ControlModifier);
    QApplication::sendEvent(edit, &all);
    QKeyEvent del(QEvent::KeyPress, Qt::Key_Delete, Qt::NoModifier);
    QApplication::sendEvent(edit, &del);
    for (char c : text) {
        QKeyEvent key(QEvent::KeyPress, 0, Qt::NoModifier, QString(QChar(c)));
        QApplication::sendEvent(edit, &key);
    }
}

void Press(QWidget* w, QPoint at) {
    QMouseEvent e(QEvent::MouseButtonPress, QPointF(at), w->mapToGlobal(QPointF(at)), Qt::LeftButton, Qt::LeftButton,
                  Qt::NoModifier);
    QApplication::sendEvent(w, &e);
}

std::string Text(QLabel* l) { return l ? l->text().toStdString() : std::string(); }

const std::string kGga = Sentence("$GPGGA,120000.00,4807.0380,N,01131.0000,E,1,08,0.9,545.4,M,46.9,M,,");
const std::string kGsa = Sentence("$GPGSA,A,3,04,05,,09,12,,,24,,,,,2.5,1.3,2.1");

class CommWindowTest : public ::testing::Test {
protected:
    void SetUp() override {
        test::EnsureApp();
        platform::Prompts::Instance().ClearAsked();
        gps.RegisterPort(7);
        w = std::make_unique<CommWindow>(&host);
        w->SetDeviceName("GPS1");
    }
    // Port 7 typed into the window and opened with its button.
    void OpenByHand() {
        TypeInto(Find<QComboBox>(*w, "Combo1")->lineEdit(), "7");
        TypeInto(Find<QComboBox>(*w, "Combo2")->lineEdit(), "115200");
        Find<QPushButton>(*w, "OpenPort")->click();
    }
    QLabel* Console() { return Find<QLabel>(*w, "Label1"); }
    std::string Messages() { return Find<QPlainTextEdit>(*w, "OutputWin")->toPlainText().toStdString(); }

    test::TempHome home;
    test::EmulatedReceiver gps;
    test::FakeBenchHost host;
    std::unique_ptr<CommWindow> w;
};

}  // namespace

TEST_F(CommWindowTest, OpeningThePortShowsTheReceiverInTheConsole) {
    EXPECT_EQ(w->windowTitle().toStdString(), "GPS1 NMEA WINDOW");
    auto* open = Find<QPushButton>(*w, "OpenPort");
    auto* close = Find<QPushButton>(*w, "ClosePort");
    EXPECT_TRUE(open->isEnabled());
    EXPECT_FALSE(close->isEnabled());

    OpenByHand();
    ASSERT_TRUE(w->Port().PortOpen()) << platform::Prompts::Instance().Asked().size();
    EXPECT_EQ(w->Port().CommPort(), 7);
    EXPECT_EQ(w->Port().Settings(), "115200,n,8,1");
    EXPECT_FALSE(open->isEnabled());
    EXPECT_TRUE(close->isEnabled());

    gps.Write(kGga + kGsa);
    ASSERT_TRUE(WaitFor([&] { return Text(Console()).find("$GPGSA,A,3") != std::string::npos; }));
    EXPECT_EQ(Text(Console()).find("$GPGGA,120000.00"), 0u);
    EXPECT_EQ(Text(Console()).find('\r'), std::string::npos) << "CR is not shown";
    EXPECT_TRUE(WaitFor([&] { return Text(Find<QLabel>(*w, "StatusBar1_4")) != ""; }));
    EXPECT_GT(std::stoi(Text(Find<QLabel>(*w, "StatusBar1_4"))), 0) << "longest chunk";

    close->click();
    EXPECT_FALSE(w->Port().PortOpen());
    EXPECT_TRUE(open->isEnabled());
    EXPECT_FALSE(close->isEnabled());
    const std::string shown = Text(Console());
    gps.Write(Sentence("$GPRMC,after close"));
    test::Pump(100);
    EXPECT_EQ(Text(Console()), shown) << "a closed port shows nothing new";
}

TEST_F(CommWindowTest, AMissingPortIsShownInABoxAndLeavesTheButtons) {
    TypeInto(Find<QComboBox>(*w, "Combo1")->lineEdit(), "31999");  // not listed: /dev/ttyS31998
    Find<QPushButton>(*w, "OpenPort")->click();
    EXPECT_FALSE(w->Port().PortOpen());
    EXPECT_TRUE(Find<QPushButton>(*w, "OpenPort")->isEnabled());
    EXPECT_FALSE(Find<QPushButton>(*w, "ClosePort")->isEnabled());
    const auto& asked = platform::Prompts::Instance().Asked();
    ASSERT_FALSE(asked.empty()) << "the error box was shown";
    EXPECT_NE(asked.back().find("Fixbench"), std::string::npos) << asked.back();

    TypeInto(Find<QComboBox>(*w, "Combo1")->lineEdit(), "99999");  // beyond 16 bits
    Find<QPushButton>(*w, "OpenPort")->click();
    EXPECT_NE(platform::Prompts::Instance().Asked().back().find("6"), std::string::npos) << "overflow, number 6";
    EXPECT_FALSE(w->Port().PortOpen());
}

TEST_F(CommWindowTest, SetUpThroughOperationsThenOpened) {
    w->SetDeviceComParams(7, 4800);
    EXPECT_EQ(Find<QComboBox>(*w, "Combo1")->currentText().toStdString(), "7");
    EXPECT_EQ(Find<QComboBox>(*w, "Combo2")->currentText().toStdString(), "4800");
    EXPECT_FALSE(w->Port().PortOpen()) << "only OpenPort_Click opens";
    w->OpenPort_Click();
    EXPECT_TRUE(w->Port().PortOpen());
    EXPECT_EQ(w->Port().Settings(), "4800,n,8,1");

    auto* panel = Find<QGroupBox>(*w, "DataPanel");
    w->show();
    EXPECT_FALSE(panel->isVisible());
    w->DeviceEnableDataDecoding();
    EXPECT_TRUE(Find<QCheckBox>(*w, "Check1")->isChecked());
    EXPECT_TRUE(panel->isVisible());
    w->DeviceDisableDataDecoding();
    EXPECT_FALSE(panel->isVisible());

    w->DeviceSetProductVersionString("QNV 2.1");
    EXPECT_EQ(Text(Find<QLabel>(*w, "ProductVerString")), "QNV 2.1");
    w->hide();
}

TEST_F(CommWindowTest, DebugWindowPausesAndFilters) {
    w->SetDeviceType(1);
    EXPECT_EQ(w->windowTitle().toStdString(), "GPS1 DEBUG WINDOW");
    auto* check1 = Find<QCheckBox>(*w, "Check1");
    EXPECT_EQ(check1->text().toStdString(), "Filtering");
    w->show();
    auto* frame3 = Find<QGroupBox>(*w, "Frame3");
    EXPECT_FALSE(frame3->isVisible());
    w->DeviceSetSecondaryLogFileBaseName(home.File("GPS1_TTFF_COLD_DEBUG"));
    w->DeviceChangeSecondaryLogFile(".txt");
    OpenByHand();
    gps.Write("boot line\r\n");
    ASSERT_TRUE(WaitFor([&] { return Text(Console()).find("boot line") != std::string::npos; }));

    check1->click();
    EXPECT_EQ(w->State().Paused, 1);
    EXPECT_TRUE(frame3->isVisible());
    const std::string frozen = Text(Console());
    gps.Write("while paused\r\n");
    test::Pump(100);
    EXPECT_EQ(Text(Console()), frozen) << "a paused console is not redrawn";

    TypeInto(Find<QLineEdit>(*w, "Text1"), "TRACK");
    EXPECT_EQ(w->State().FilterText, "TRACK");
    Find<QCheckBox>(*w, "Filter_CheckBox")->click();
    EXPECT_TRUE(w->State().FilterOn);

    check1->click();
    EXPECT_EQ(w->State().Paused, 0);
    EXPECT_FALSE(frame3->isVisible());
    gps.Write("TRACK 5 ok\r\nother\r\n");
    EXPECT_TRUE(WaitFor([&] { return Text(Console()).find("TRACK 5 ok") != std::string::npos; }));
    const std::string all = "boot line\r\nwhile paused\r\nTRACK 5 ok\r\nother\r\n";
    EXPECT_TRUE(WaitFor([&] { return ReadFileBytes(home.File("GPS1_TTFF_COLD_DEBUG.txt")) == all; }))
        << "pause and filter change the view, never the log";
    w->DeviceEndSecondaryLogging();
    w->hide();
}

TEST_F(CommWindowTest, LogsAndResultsThroughThePublicOperations) {
    const std::string base = home.File("GPS1_TTFF_COLD_NMEA");
    w->DeviceSetPrimaryLogFileBaseName(base);
    w->DeviceStartPrimaryLogging("");
    EXPECT_EQ(w->DeviceGetPrimaryLogFileName(), base) << "an empty suffix opens the base itself";
    w->DeviceEndPrimaryLogging();
    w->DeviceStartPrimaryLogging(".txt");
    EXPECT_EQ(w->DeviceGetPrimaryLogFileName(), base + ".txt");
    w->DeviceSetSecondaryLogFileBaseName(home.File("GPS1_TTFF_COLD_DEBUG"));
    w->DeviceInitSecondaryLogging(".txt");
    EXPECT_FALSE(std::filesystem::exists(home.File("GPS1_TTFF_COLD_DEBUG.txt"))) << "init opens nothing";

    w->SetDeviceComParams(7, 9600);
    w->OpenPort_Click();
    const std::string stream = kGga + "$GPRMC,bad checksum*00\r\n" + kGsa;
    gps.Write(stream);
    ASSERT_TRUE(WaitFor([&] { return ReadFileBytes(base + ".txt") == stream; }))
        << ReadFileBytes(base + ".txt");

    w->DeviceStartResultsLogging(".txt");
    w->DeviceLogResultsToFile("35.5\t% 1\t" + kGga);
    w->DeviceLogT2AT2UToFile(1);
    w->DeviceLogFixGSAToFile(1);
    w->DeviceLogT2AT2UStatistics();
    w->DeviceEndResultsLogging();
    w->DeviceLogResultsToFile("after the end\r\n");  // skipped
    w->DeviceEndPrimaryLogging();
    gps.Write(kGga);
    test::Pump(100);

    EXPECT_EQ(ReadFileBytes(base + ".txt"), stream) << "nothing after the end";
    EXPECT_EQ(ReadFileBytes(base + "_Results.txt"), "35.5\t% 1\t" + kGga);
    for (const char* tail : {"_Results_Results_T2A.csv", "_Results_Results_GSA.txt",
                             "_Results_Results_T2A_T2U_Statistics.csv", "_Results_Results_T2U.csv"})
        EXPECT_TRUE(std::filesystem::exists(base + tail)) << tail;
    EXPECT_EQ(ReadFileBytes(base + "_Results_Results_GSA.txt"), "0\t% 1\t" + kGsa) << "the GSA after the fix GGA";

    w->DeviceSetPrimaryLogFileBaseName(home.File("missing/GPS1"));
    EXPECT_THROW(w->DeviceStartPrimaryLogging(".txt"), platform::BenchError) << "file errors reach the caller";
}

TEST_F(CommWindowTest, PortTimeoutReopensASilentPortAndRetriesAFailedReopen) {
    w->SetDeviceComParams(7, 9600);
    w->DeviceSetSerialPortTimeout(true, 100);
    test::Pump(250);
    EXPECT_EQ(Messages(), "") << "a closed port is left alone";

    w->OpenPort_Click();
    ASSERT_TRUE(WaitFor([&] { return Messages().find("PORT BROKEN EVENT") != std::string::npos; }));
    EXPECT_TRUE(w->Port().PortOpen()) << "reopened";
    gps.Write(kGga);
    EXPECT_TRUE(WaitFor([&] { return Text(Console()).find("$GPGGA") != std::string::npos; })) << "still receiving";

    // The adapter goes away: the reopen fails and is reported once, with
    // the error, and is tried again quietly at every tick.
    std::filesystem::remove(home.File("ComPorts.txt"));
    test::WriteFileBytes(home.File("ComPorts.txt"), "7 " + home.File("gone") + "\n");
    Find<QPlainTextEdit>(*w, "OutputWin")->clear();
    w->State().OutputWin->Clear();
    ASSERT_TRUE(WaitFor([&] { return Messages().find("PORT BROKEN EVENT") != std::string::npos; }));
    EXPECT_FALSE(w->Port().PortOpen());
    test::Pump(350);
    const std::string said = Messages();
    EXPECT_NE(said.find("No such file or directory"), std::string::npos) << said;
    EXPECT_EQ(said.find("PORT BROKEN EVENT", said.find("PORT BROKEN EVENT") + 1), std::string::npos)
        << "once, not at every tick: " << said;
    EXPECT_TRUE(w->DevicePortLost());
    test::WriteFileBytes(home.File("ComPorts.txt"), "7 " + gps.DevicePath() + "\n");
    ASSERT_TRUE(WaitFor([&] { return w->Port().PortOpen(); })) << "tried again until it opens";
    EXPECT_FALSE(w->DevicePortLost());
    w->ClosePort_Click();

    w->DeviceSetSerialPortTimeout(false, 100);
    w->State().OutputWin->Clear();
    test::Pump(250);
    EXPECT_EQ(Messages(), "") << "disabled: no more attempts";

    w->DeviceSetSerialPortTimeout(true, 0);
    EXPECT_FALSE(w->State().Console.PortTimeoutTimer->Enabled()) << "an interval of 0 is off";
}

TEST_F(CommWindowTest, WatchdogReportsASilentReceiverEveryInterval) {
    w->SetDeviceID(2);
    w->State().WatchDogTimer->SetInterval(60);
    w->State().WatchDogTimer->SetEnabled(true);
    ASSERT_TRUE(WaitFor([&] { return host.Disabled.size() >= 2; }));
    EXPECT_EQ(host.Disabled[0], 2);
    EXPECT_EQ(Text(Find<QLabel>(*w, "StatusBar1_1")), "DEVICE DISABLED");
    w->State().WatchDogTimer->SetEnabled(false);
}

TEST_F(CommWindowTest, ReplayOfARecordedLogFeedsConsoleAndLog) {
    std::string recorded;
    for (int i = 0; i < 2; ++i) recorded += kGga + kGsa;  // played at one GGA a second
    recorded += "last line without end";
    test::WriteFileBytes(home.File("rec.txt"), recorded);
    w->DeviceSetPrimaryLogFileBaseName(home.File("replayed"));
    w->DeviceStartPrimaryLogging(".txt");

    EXPECT_THROW(w->ReproduceInputFileStart(home.File("nothing.txt")), platform::BenchError);
    w->ReproduceInputFileStart(home.File("rec.txt"));
    w->ReproduceInputFileStart(home.File("rec.txt"));  // again: the first one is ended, not leaked
    EXPECT_TRUE(w->State().ReplayActive);
    ASSERT_TRUE(WaitFor([&] { return !w->State().ReplayActive; }, 4000));
    EXPECT_FALSE(w->State().ReplayFile.is_open());
    EXPECT_EQ(ReadFileBytes(home.File("replayed.txt")), recorded.substr(0, recorded.rfind('\n') + 1))
        << "every complete line logged once, as if received";
    EXPECT_NE(Text(Console()).find("last line without end"), std::string::npos);

    w->ReproduceInputFileStart(home.File("rec.txt"));
    w->ReproduceInputFileStop();
    EXPECT_FALSE(w->State().ReplayActive);
    EXPECT_FALSE(w->State().ReplayFile.is_open());
}

TEST_F(CommWindowTest, ByteRangeReplayIsOneBasedWithTheEndLeftOut) {
    test::WriteFileBytes(home.File("rec.txt"), "ABC\r\nDEF\r\nGHI\r\n");
    w->DeviceSetPrimaryLogFileBaseName(home.File("range"));
    w->DeviceStartPrimaryLogging(".txt");
    w->DeviceReplayFile(home.File("rec.txt"), 6, 11);
    EXPECT_EQ(ReadFileBytes(home.File("range.txt")), "DEF\r\n");
    w->DeviceReplayFile(home.File("rec.txt"), 11, 11);  // nothing
    w->DeviceReplayFile(home.File("rec.txt"), 11, 13);  // "GH": no line yet
    EXPECT_EQ(ReadFileBytes(home.File("range.txt")), "DEF\r\n");
    w->DeviceReplayFile(home.File("rec.txt"), 13, 99);  // stops at the end of the file
    EXPECT_EQ(ReadFileBytes(home.File("range.txt")), "DEF\r\nGHI\r\n");
    EXPECT_TRUE(w->State().Console.RefreshTimer->Enabled());
    EXPECT_THROW(w->DeviceReplayFile(home.File("none.txt"), 1, 2), platform::BenchError);
}

TEST_F(CommWindowTest, RowButtonsRestartStatisticsAndCellsKeepTheirTips) {
    DeviceState& d = w->State();
    for (auto& e : d.Sats) e.CN0Count = 7, e.TrackTime = 9;
    Find<QPushButton>(*w, "Command4_0")->click();
    Find<QPushButton>(*w, "Command4_4")->click();
    EXPECT_EQ(d.Sats[12].CN0Count, 7);
    EXPECT_EQ(d.Sats[12].TrackTime, 9);
    Find<QPushButton>(*w, "Command4_2")->click();
    EXPECT_EQ(d.Sats[12].CN0Count, 0);
    EXPECT_EQ(d.Sats[255].CN0Count, 0);
    EXPECT_EQ(d.Sats[12].TrackTime, 9);
    Find<QPushButton>(*w, "Command4_10")->click();
    EXPECT_EQ(d.Sats[200].TrackTime, 0);

    // Device code writes cells through the record; a press on one keeps its text as the tip.
    d.SatId[3]->SetText("17");
    d.AZ[3]->SetText("234");
    SatTableWidget& table = w->SatTable();
    Press(&table, table.CellRect(SatTableWidget::AZ, 3).center());
    EXPECT_EQ(table.CellTip(SatTableWidget::AZ, 3).toStdString(), "234");
    EXPECT_TRUE(table.CellTip(SatTableWidget::SatId, 3).isEmpty());
    EXPECT_EQ(Find<QPushButton>(*w, "Command4_7")->text().toStdString(), "IODE");
}

TEST_F(CommWindowTest, RtsFollowsItsPortNumber) {
    w->SetDeviceComParams(7, 9600);
    w->OpenPort_Click();
    w->SwitchRTSSignal(3, 1);
    EXPECT_FALSE(w->Port().RTSEnable()) << "another port";
    w->SwitchRTSSignal(7, 1);
    EXPECT_TRUE(w->Port().RTSEnable());
    w->SwitchRTSSignal(0, 0);
    EXPECT_FALSE(w->Port().RTSEnable()) << "port 0 means every window";
}

TEST_F(CommWindowTest, MessageBoxKeepsItsLastLines) {
    for (int i = 0; i < 6000; ++i) w->State().OutputWin->Append("line " + std::to_string(i) + "\r\n");
    auto* box = Find<QPlainTextEdit>(*w, "OutputWin");
    EXPECT_LE(box->blockCount(), CommWindow::kOutputLines);
    EXPECT_TRUE(box->toPlainText().endsWith("line 5999"));
    const std::string& kept = w->State().OutputWin->Text();
    EXPECT_LE(std::count(kept.begin(), kept.end(), '\n'), CommWindow::kOutputLines);
    EXPECT_GE(std::count(kept.begin(), kept.end(), '\n'), CommWindow::kOutputLines - 500);
    EXPECT_TRUE(kept.ends_with("line 5999\r\n"));
    Find<QPushButton>(*w, "Command2")->click();
    EXPECT_TRUE(box->toPlainText().isEmpty());
}

TEST_F(CommWindowTest, GeometryInTwips) {
    w->show();
    w->DeviceSetLeft(1500);
    w->DeviceSetTop(3000);
    EXPECT_NEAR(w->DeviceGetLeft(), 1500, 15);
    EXPECT_NEAR(w->DeviceGetTop(), 3000, 15);
    const double twips_per_pixel = 1440.0 / w->logicalDpiX();
    EXPECT_NEAR(w->DeviceGetWidth(), w->width() * twips_per_pixel, 1);
    EXPECT_NEAR(w->DeviceGetHeight(), w->height() * twips_per_pixel, 1);
    w->hide();
}

namespace {

// A receiver that restarts on "$PQNVCOLD": it announces itself, sends GGAs
// without a fix and then, when fix_after_ms is not negative, GGAs with a fix,
// each followed by a GSA.
struct RestartingReceiver {
    explicit RestartingReceiver(test::EmulatedReceiver& r) : gps(r) {
        gps.OnCommand("$PQNVCOLD", [this](test::EmulatedReceiver& rx, const std::string&) {
            rx.Write(Sentence("$PQNVVER,QNV 2.1"));
            epoch = 0;
            restarted = true;
        });
        gps.StartStream(
            [this]() -> std::string {
                if (!restarted) return {};
                ++epoch;
                const std::string t = "1200" + std::string(epoch < 10 ? "0" : "") + std::to_string(epoch) + ".00";
                const bool fix = fix_after_epochs >= 0 && epoch > fix_after_epochs;
                return Sentence("$GPGGA," + t + ",4807.0380,N,01131.0000,E," + (fix ? "1" : "0") +
                                ",08,0.9,545.4,M,46.9,M,,") +
                       Sentence("$GPGSA,A," + std::string(fix ? "3" : "1") + ",04,05,,09,12,,,24,,,,,2.5,1.3,2.1," +
                                std::to_string(epoch));
            },
            100);
    }
    test::EmulatedReceiver& gps;
    int epoch = 0;
    int fix_after_epochs = 3;
    bool restarted = false;
};

}  // namespace

TEST_F(CommWindowTest, RestartTestMeasuresTtffAndWritesItsResults) {
    RestartingReceiver rx(gps);
    const std::string base = home.File("GPS1_TTFF_COLD_NMEA");
    w->SetGPSStartupString("$PQNVVER");
    w->SetDeviceMaxAcceptableTTFF(300);
    w->SetDeviceComParams(7, 9600);
    w->OpenPort_Click();
    w->DeviceSetPrimaryLogFileBaseName(base);
    w->DeviceStartPrimaryLogging(".txt");
    w->DeviceStartResultsLogging(".txt");

    w->ExecuteTest("$PQNVCOLD");
    EXPECT_EQ(w->GetTestStatus(), 1) << "command sent";
    ASSERT_TRUE(WaitFor([&] { return w->IsTestCompleted(); }, 5000)) << Text(Find<QLabel>(*w, "StatusBar1_1"));
    EXPECT_EQ(w->GetTestStatus(), 0);
    const double ttff = w->GetTTFF();
    EXPECT_GT(ttff, 0.2);
    EXPECT_LT(ttff, 3.0);
    EXPECT_NE(Text(Find<QLabel>(*w, "StatusBar1_1")).find("FIX AVAILABLE TTFF"), std::string::npos);
    const std::string fix_gga = w->GetGGAFixString();
    EXPECT_EQ(fix_gga.find("$GPGGA,120004.00,"), 0u) << fix_gga;
    EXPECT_EQ(w->GetTotalTestFailure(), 0);
    EXPECT_NE(gps.Received().find("$PQNVCOLD*"), std::string::npos);

    // The main window's part of a trial's end.
    w->DeviceLogResultsToFile(platform::FormatFixed(platform::RoundDecimals(ttff, 2), 2) + "\t% 1\t" + fix_gga);
    w->DeviceLogT2AT2UToFile(1);
    w->DeviceLogFixGSAToFile(1);

    // A second trial never reaches a fix: nothing of the first one is reported.
    rx.fix_after_epochs = -1;
    w->SetDeviceMaxAcceptableTTFF(1);
    w->ExecuteTest("$PQNVCOLD");
    ASSERT_TRUE(WaitFor([&] { return w->IsTestCompleted(); }, 5000));
    EXPECT_NE(Text(Find<QLabel>(*w, "StatusBar1_1")).find("NO FIX AVAILABLE IN 1 s"), std::string::npos);
    EXPECT_TRUE(std::holds_alternative<std::monostate>(w->State().FixRow[1])) << "no position of the earlier fix";
    w->DeviceLogFixGSAToFile(2);
    w->DeviceEndResultsLogging();
    w->DeviceEndPrimaryLogging();

    EXPECT_EQ(ReadFileBytes(base + "_Results.txt").find(platform::FormatFixed(platform::RoundDecimals(ttff, 2), 2) +
                                                         "\t% 1\t$GPGGA,120004.00,"),
              0u);
    const std::string gsa = ReadFileBytes(base + "_Results_Results_GSA.txt");
    const std::string first = platform::NumberToText(ttff) + "\t% 1\t" +
                              Sentence("$GPGSA,A,3,04,05,,09,12,,,24,,,,,2.5,1.3,2.1,4");
    EXPECT_EQ(gsa.substr(0, first.size()), first) << "the first GSA after the fix GGA";
    EXPECT_TRUE(gsa.ends_with("\t% 2\t\r\n")) << gsa;
    EXPECT_NE(ReadFileBytes(base + "_Results_Results_T2A.csv").find("\r\n" + platform::NumberToText(ttff) + ",1,"),
              std::string::npos);
    const std::string log = ReadFileBytes(base + ".txt");
    EXPECT_NE(log.find(Sentence("$PQNVVER,QNV 2.1")), std::string::npos);
    EXPECT_NE(log.find(fix_gga), std::string::npos);
}

TEST_F(CommWindowTest, PositionChartOpensBesideTheWindowAndSavesItsPicture) {
    w->show();
    w->DeviceSetSecondaryLogFileBaseName(home.File("GPS1_TTFF_COLD_DEBUG"));
    w->DeviceSetSecondaryLogFileName(".txt");
    const std::string picture = home.File("GPS1_TTFF_COLD_DEBUG_pos.png");
    w->DeviceSavePositionPicture();
    EXPECT_FALSE(std::filesystem::exists(picture)) << "nothing while the chart is closed";

    auto* posc = Find<QCheckBox>(*w, "PosC");
    posc->click();
    ASSERT_TRUE(w->State().PosChartShown);
    QWidget* chart = nullptr;
    for (QWidget* top : QApplication::topLevelWidgets())
        if (top->objectName() == "PosChart" && top->isVisible()) chart = top;
    ASSERT_NE(chart, nullptr);
    EXPECT_EQ(chart->windowTitle().toStdString(), "GPS1POSITION WINDOW") << "no blank before POSITION";

    w->DeviceSavePositionPicture();
    EXPECT_TRUE(std::filesystem::exists(picture));
    // No secondary log: beside the primary log; no log at all: nowhere.
    w->DeviceSetSecondaryLogFileBaseName("");
    w->DeviceSetSecondaryLogFileName("");
    w->DeviceSavePositionPicture();
    w->DeviceSetPrimaryLogFileBaseName(home.File("GPS1_TTFF_COLD_NMEA"));
    w->DeviceSetPrimaryLogFileName(".txt");
    w->DeviceSavePositionPicture();
    EXPECT_TRUE(std::filesystem::exists(home.File("GPS1_TTFF_COLD_NMEA_pos.png")));
    EXPECT_FALSE(std::filesystem::exists("_pos.png")) << "never a picture without a folder";

    chart->close();  // its own close box: the window forgets it and the box clears
    EXPECT_FALSE(w->State().PosChartShown);
    EXPECT_FALSE(posc->isChecked());
    w->DeviceSavePositionPicture();  // no crash on a closed chart
    w->hide();
}

TEST_F(CommWindowTest, CloseBoxInTheWorkspaceOnlyMinimises) {
    QMdiArea area;
    CommWindow* raw = w.release();
    QMdiSubWindow* sub = area.addSubWindow(raw);
    area.show();
    sub->show();
    QPointer<CommWindow> alive(raw);
    sub->close();
    test::Pump(20);
    ASSERT_FALSE(alive.isNull()) << "the owner still holds the window";
    EXPECT_TRUE(sub->isMinimized());
    sub->showNormal();
    raw->DeviceSetLeft(300);
    const double twips_per_pixel = 1440.0 / raw->logicalDpiX();
    EXPECT_NEAR(sub->x() * twips_per_pixel, 300, twips_per_pixel) << "geometry is the sub-window's";
    EXPECT_NEAR(raw->DeviceGetLeft(), 300, 15);
}
