// Start-up as the user sees it: the splash, the main window with its menus
// and marks, the configuration dialog, the status bar and the window list.
#include <QApplication>
#include <QDir>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QPointer>
#include <QProcess>

#include "bench/devices/system_log.h"
#include "bench/session/splash.h"
#include "platform/ui/prompts.h"
#include "tests/session/benchtop_fixture.h"

namespace benchtop_test {
namespace {

using dialogs_test::Find;

// The captions of `entries` (and of their submenus) in reading order.
void Captions(const QList<QAction*>& entries, std::vector<std::string>& out) {
    for (QAction* a : entries) {
        if (a->isSeparator()) continue;
        out.push_back(bench::Benchtop::PlainCaption(a->text()).toStdString());
        if (a->menu()) Captions(a->menu()->actions(), out);
    }
}

// What --all-menus brings into view is what `fixbench --help` says it does:
// every menu it adds to the bar and everything in the Tool menu.
TEST_F(BenchtopTest, HelpNamesTheMenusAndToolEntriesThatAllMenusShows) {
    Open();
    std::vector<std::string> shown;
    for (QAction* a : top->menuBar()->actions())
        if (!a->isVisible()) shown.push_back(bench::Benchtop::PlainCaption(a->text()).toStdString());
    ASSERT_GE(shown.size(), 5u) << "the bench hides its menus at start-up";
    Captions(top->Menu("tool_menu")->actions(), shown);

    QProcess bench;
    bench.start(QString(FIXBENCH_BUILD_DIR_DEFAULT) + "/bench/fixbench", {"--help"});
    ASSERT_TRUE(bench.waitForFinished(10000));
    // The text is wrapped: compared with its line breaks and indents as blanks.
    const QString text = QString::fromLocal8Bit(bench.readAllStandardOutput()).simplified();
    for (const std::string& caption : shown)
        EXPECT_TRUE(text.contains(QString::fromStdString(caption))) << caption << " is not in:\n" << text.toStdString();
    EXPECT_TRUE(text.contains("~/.local/share/fixbench")) << "where the program folder is";
}

TEST_F(BenchtopTest, SplashShowsReleaseThenHandsOverToTheMainWindow) {
    QPointer<bench::frmSplash> splash = new bench::frmSplash(bench::ProgramVersion{2, 10, 7}, [this] { Open(); });
    splash->show();
    EXPECT_EQ(Find<QLabel>(splash, "lblVersion")->text(), "release 2.10.7");
    EXPECT_EQ(Find<QLabel>(splash, "lblProductName")->text(), "Fix Bench");
    EXPECT_FALSE(top) << "the main window waits for the first tick";

    ASSERT_TRUE(test::WaitFor([&] { return top && top->isVisible(); }, 3000));
    EXPECT_TRUE(test::WaitFor([&] { return splash.isNull(); }, 1000)) << "the splash unloads itself";
    EXPECT_TRUE(top->ConfigDialog().isVisible()) << "the configuration dialog opens with the main window";
    EXPECT_FALSE(top->ConfigDialog().isModal()) << "the dialog leaves the main window usable";
}

TEST_F(BenchtopTest, ProgramStartsIntoItsMainWindowAndKeepsRunning) {
    QProcess bench;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("QT_QPA_PLATFORM", "offscreen");
    env.insert("FIXBENCH_HOME", QString::fromStdString(home->Path()));
    bench.setProcessEnvironment(env);
    bench.start(QString(FIXBENCH_BUILD_DIR_DEFAULT) + "/bench/fixbench", {});
    ASSERT_TRUE(bench.waitForStarted(3000));
    // The main window opens the run's system log when it loads, after the splash.
    const QDir logs(QString::fromStdString(home->File("SystemLogs")));
    EXPECT_TRUE(test::WaitFor([&] { return !logs.entryList(QDir::Files).isEmpty(); }, 5000));
    EXPECT_EQ(bench.state(), QProcess::Running);
    bench.kill();
    bench.waitForFinished(3000);
}

TEST_F(BenchtopTest, MenuBarShowsOptionTestingWindowAndHelpOnly) {
    Open();
    // The window list stays: device windows are reached through it.
    EXPECT_EQ(VisibleMenuTitles(), (std::vector<std::string>{"Option", "Testing", "Window", "?"}));
    for (const char* hidden : {"NewDebugWin", "ExtCtr", "OpenTestSession", "ConfWindow", "NTC", "SBASTEST",
                               "GGATimeCheck", "NewW", "DeviceWatchDogEn", "GGASamp", "gconf", "LabSatManagement"})
        EXPECT_FALSE(Entry(hidden)->isVisible()) << hidden;
    for (const char* hidden : {"PlayNmeaFile", "DevSerialPTimeout", "SimMan", "ShowRes", "tool_menu"})
        EXPECT_FALSE(top->Menu(hidden)->menuAction()->isVisible()) << hidden;
    // What the user does see under Option, in order.
    std::vector<std::string> seen;
    for (QAction* a : top->Menu("opt")->actions())
        if (a->isVisible()) seen.push_back(bench::Benchtop::PlainCaption(a->text()).toStdString());
    EXPECT_EQ(seen, (std::vector<std::string>{"Command Panel", "Log Files Replay", "Testing Configuration",
                                              "MaxAllowedTTFF", "Enable TS Msg", "NMEA CRC ENABLED",
                                              "CARS Test Session"}));
    std::vector<std::string> testing;
    for (QAction* a : top->Menu("TestingMenu")->actions()) testing.push_back(bench::Benchtop::PlainCaption(a->text()).toStdString());
    EXPECT_EQ(testing, (std::vector<std::string>{"Start", "Stop", "New Test Session"}));
    EXPECT_EQ(bench::Benchtop::PlainCaption(Entry("NewW")->text()), "New Nmea  Window");
}

TEST_F(BenchtopTest, OptionMarksStartAsDesigned) {
    Open();
    EXPECT_EQ(top->MaxAcceptableTTFF(), 300);
    for (const char* e : {"T1000", "T900", "T800", "T700", "T600", "T500", "T300", "T240", "T180", "T120"})
        EXPECT_EQ(Entry(e)->isChecked(), std::string(e) == "T300") << e;
    EXPECT_TRUE(Entry("NmeaCRC")->isChecked());
    EXPECT_TRUE(Entry("PortTimeoutDisabled")->isChecked());
    for (const char* e : {"TS_ON", "CARS_Test_Session", "ExtCtr", "NTC", "SBASTEST", "GGATimeCheck", "GGASamp",
                          "DeviceWatchDogEn", "ExelInterface", "AutoRepGen", "ShowExcel", "SixtySecs", "TwoSecs"})
        EXPECT_FALSE(Entry(e)->isChecked()) << e;
    // Device code reads the same marks.
    EXPECT_TRUE(top->Host().NmeaCRCChecked());
    EXPECT_FALSE(top->Host().GetTSMsgStatus());
    EXPECT_EQ(top->Host().MaxAcceptableTTFF(), 300);
}

TEST_F(BenchtopTest, OptionTogglesReachWhatDeviceCodeReads) {
    Open();
    Trigger("NmeaCRC");
    EXPECT_FALSE(Entry("NmeaCRC")->isChecked());
    EXPECT_FALSE(top->Host().NmeaCRCChecked()) << "checksums are no longer checked";
    Trigger("TS_ON");
    EXPECT_TRUE(top->GetTSMsgStatus());
    EXPECT_TRUE(top->Host().GetTSMsgStatus());
    Trigger("CARS_Test_Session");
    EXPECT_TRUE(top->GetCARSTestSessionStatus());
    EXPECT_TRUE(top->Host().GetCARSTestSessionStatus());
    Trigger("CARS_Test_Session");
    EXPECT_FALSE(top->Host().GetCARSTestSessionStatus());
    // Hidden options keep working where the engine reads them.
    Entry("ExelInterface")->trigger();
    EXPECT_TRUE(top->State().Options.ExelInterface);
    Entry("NTC")->trigger();
    EXPECT_TRUE(top->Host().NTCChecked());
}

TEST_F(BenchtopTest, SystemLogIsOpenWhileTheMainWindowLives) {
    Open();
    ASSERT_TRUE(bench::SystemLogIsOpen());
    const std::string log = bench::SystemLogPath();
    EXPECT_EQ(log.rfind(home->Path() + "/SystemLogs/SystemLog_", 0), 0u) << log;
    top->close();
    EXPECT_FALSE(bench::SystemLogIsOpen()) << "closing the main window closes the log";
}

TEST_F(BenchtopTest, StatusLinesGoToTheirPanels) {
    Open();
    auto* panel1 = Find<QLabel>(top.get(), "StatusBar1_1");
    auto* panel2 = Find<QLabel>(top.get(), "StatusBar1_2");
    top->Host().StatusBarMessage(2, "TEST: COLD ongoing");
    top->Host().StatusBarMessage(1, "Simulator Configuration Ongoing");
    EXPECT_EQ(panel2->text(), "TEST: COLD ongoing");
    EXPECT_EQ(panel1->text(), "Simulator Configuration Ongoing");
    top->StatusBarMessage(1, "");
    EXPECT_EQ(panel1->text(), "");
    top->StatusBarMessage(1, "Ger\xE4t 5\x80");  // device names are Windows-1252 bytes
    EXPECT_EQ(panel1->text(), QString::fromUtf8("Gerät 5€"));
    EXPECT_EQ(top->StatusText(1), "Ger\xE4t 5\x80");
    top->StatusBarMessage(7, "nowhere");  // no such panel: ignored
    EXPECT_EQ(panel2->text(), "TEST: COLD ongoing");
}

TEST_F(BenchtopTest, WindowListGrowsByOneEntryPerCaption) {
    Open();
    top->AddToMenu("A NMEA WINDOW");
    top->AddToMenu("B NMEA WINDOW");
    top->AddToMenu("B DEBUG WINDOW");
    EXPECT_EQ(top->WindowMenuCount(), 3);
    EXPECT_EQ(bench::Benchtop::PlainCaption(Entry("win1_0")->text()), "A NMEA WINDOW");
    EXPECT_EQ(bench::Benchtop::PlainCaption(Entry("win1_1")->text()), "B NMEA WINDOW");
    EXPECT_EQ(bench::Benchtop::PlainCaption(Entry("win1_2")->text()), "B DEBUG WINDOW");
    for (const char* e : {"win1_0", "win1_1", "win1_2"}) EXPECT_TRUE(Entry(e)->isVisible());
}

TEST_F(BenchtopTest, CheckDirectoryTellsFoldersFromFilesAndMissingPaths) {
    Open();
    QDir(QString::fromStdString(home->Path())).mkpath("GPS_TEST/run");
    test::WriteFileBytes(home->File("GPS_TEST/file.txt"), "x");
    EXPECT_TRUE(top->CheckDirectory("C:\\GPS_TEST\\run"));
    EXPECT_TRUE(top->CheckDirectory(home->Path()));
    EXPECT_FALSE(top->CheckDirectory("C:\\GPS_TEST\\file.txt"));
    EXPECT_FALSE(top->CheckDirectory("C:\\GPS_TEST\\missing"));
    EXPECT_FALSE(top->CheckDirectory(""));
}

TEST_F(BenchtopTest, BuildShipsTheHelpPageBesideTheProgram) {
    const std::string page = test::ReadFileBytes(std::string(FIXBENCH_BUILD_DIR_DEFAULT) + "/bench/fixbench.html");
    ASSERT_FALSE(page.empty()) << "fixbench.html is copied next to fixbench";
    for (const char* topic : {"Option", "Testing", "Config.dat", "ComPorts.txt", "SystemLogs", "navsift"})
        EXPECT_NE(page.find(topic), std::string::npos) << topic;
}

TEST_F(BenchtopTest, AboutAndCoordinatesWindowsOpenFromTheirEntries) {
    Open();
    Trigger("AboutSW");
    auto* about = top->findChild<bench::frmAbout*>();
    ASSERT_NE(about, nullptr);
    EXPECT_TRUE(about->isVisible());
    Trigger("SetAntennaCoordinates");
    EXPECT_TRUE(top->CoordsWindow().isVisible());
    Trigger("AboutSW");
    EXPECT_EQ(top->findChildren<bench::frmAbout*>().size(), 1) << "one about box, kept";
}

TEST_F(BenchtopTest, EntriesWhoseWindowsAreMissingSaySoInTheStatusBar) {
    Open();
    platform::Prompts::Instance().ClearAsked();
    Trigger("Sensitivity");
    EXPECT_NE(top->StatusText(1), "Sensitivity: not available in this build");
    ASSERT_FALSE(platform::Prompts::Instance().Asked().empty());
    EXPECT_EQ(platform::Prompts::Instance().Asked().back().rfind("Sensitivity: ", 0), 0u)
        << "the sensitivity report asks for its files";
    Trigger("ConfigSim");
    EXPECT_NE(top->findChild<QWidget*>("SimMng"), nullptr) << "the simulator window exists now";
    int shown = 0;
    top->Windows().showReplay = [&] { ++shown; };
    Trigger("LogFileReplay");
    EXPECT_EQ(shown, 1);
}

TEST_F(BenchtopTest, HiddenEntriesStillWorkWhenReached) {
    Open();
    top->ConfigDialog().close();
    Trigger("ConfWindow");
    EXPECT_TRUE(top->ConfigDialog().isVisible());
    Trigger("ConfigSim");
    QWidget* sim = top->findChild<QWidget*>("SimMng");
    ASSERT_NE(sim, nullptr);
    EXPECT_TRUE(sim->isVisible());
    Trigger("LabSatManagement");
    QWidget* labsat = top->findChild<QWidget*>("LabSatMng");
    ASSERT_NE(labsat, nullptr);
    EXPECT_TRUE(labsat->isVisible());
    Trigger("Sensitivity");
    EXPECT_NE(top->StatusText(1), "Sensitivity: not available in this build");
    Trigger("gconf");
    Trigger("Sta");
    Trigger("NewDebugWin");
    EXPECT_EQ(top->Workspace()->subWindowList().size(), 0) << "entries that do nothing make nothing";

    std::vector<bool> external;
    top->Windows().externalControl = [&](bool on) { external.push_back(on); };
    Trigger("ExtCtr");
    Trigger("ExtCtr");
    EXPECT_EQ(external, (std::vector<bool>{true, false})) << "shown when checked, unloaded when cleared";
    for (const char* e : {"SBASTEST", "GGASamp", "AutoRepGen"}) Trigger(e);
    EXPECT_TRUE(top->State().Options.SBASTEST);
    EXPECT_TRUE(top->State().Options.GGASamp);
    EXPECT_TRUE(top->State().Options.AutoRepGen);
    EXPECT_FALSE(top->State().Options.ExtCtr);
}

}  // namespace
}  // namespace benchtop_test
