// The configuration dialog end to end: typed settings become "Config.dat"
// and the owner's calls; files load, save and save as.
#include "tests/session/dialogs_config_fixture.h"

#include "tests/support/keyboard.h"
#include "bench/devices/system_log.h"

#include <QDir>
#include <QFile>

#include <atomic>
#include <chrono>
#include <thread>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace bench;
using namespace dialogs_test;

namespace {

TEST_F(ConfigDialog, FirstStartShowsTheInitialControlsAndAnEmptyList) {
    Open();
    EXPECT_EQ(dlg->windowTitle(), "Testing Configuration Panel");
    EXPECT_FALSE(dlg->isModal());
    for (int d = 0; d < 4; ++d) {
        EXPECT_FALSE(Checked(QStringLiteral("DevEN_%1").arg(d)));
        EXPECT_TRUE(Find<QWidget>(dlg.get(), QStringLiteral("DevTitle_%1").arg(d))->isVisible());
        EXPECT_FALSE(Find<QWidget>(dlg.get(), QStringLiteral("DevPanel_%1").arg(d))->isVisible());
    }
    EXPECT_EQ(List()->count(), 0);
    EXPECT_TRUE(TakeAsked().empty()) << "a missing Config.dat is a first start, not an error";
}

TEST_F(ConfigDialog, TypedDevicesAndTestsReachTheFileAndTheOwner) {
    Open();
    Click(dlg.get(), "DevEN_0");
    EXPECT_TRUE(Find<QWidget>(dlg.get(), "DevPanel_0")->isVisible());
    EXPECT_FALSE(Find<QWidget>(dlg.get(), "DevTitle_0")->isVisible());
    Type(dlg.get(), "DName_0", "  Rover A ");
    Type(dlg.get(), "LPath_0", "D:\\Results\\");
    Choose(dlg.get(), "NmeaP_0", "5");
    Choose(dlg.get(), "NmeaB_0", "115200");
    Click(dlg.get(), "RLog_0");
    Type(dlg.get(), "StartupS_0", "$PQNVSTART");
    Type(dlg.get(), "ColdC_0", "$PQNVCOLD,1");
    Click(dlg.get(), "DevEN_2");
    Type(dlg.get(), "DName_2", "Base C");
    Click(dlg.get(), "DebugEN_2");
    Choose(dlg.get(), "DebugP_2", "12");
    Type(dlg.get(), "StartupD_2", "2.5");
    Click(dlg.get(), "HWRes_2");

    Page("Testing");
    Click(dlg.get(), "Add");  // the editor's initial cold start
    Choose(dlg.get(), "TestType", "SCRIPT");
    Type(dlg.get(), "ScriptFile", "scripts\\night.txt");
    Type(dlg.get(), "AlmanacsFile", "alm\\week.txt");
    Click(dlg.get(), "Add");
    Choose(dlg.get(), "TestType", "TRACK24H");
    Click(dlg.get(), "Scenario_2");
    const char* labsat[6] = {"d:\\bins\\city.bin", "30", "600", "3", "alm.txt", "12"};
    for (int i = 0; i < 6; ++i) Type(dlg.get(), QStringLiteral("LabSatData_%1").arg(i), QLatin1String(labsat[i]));
    Click(dlg.get(), "Add");
    Choose(dlg.get(), "TestType", "HOT");
    Click(dlg.get(), "Scenario_1");
    Click(dlg.get(), "TestOption_1");
    Type(dlg.get(), "TestField_0", "7");
    Type(dlg.get(), "SimData_1", "-130.5");
    Type(dlg.get(), "SimData_12", "urban.scn");
    Click(dlg.get(), "SimOption_0");
    Click(dlg.get(), "Add");
    ASSERT_EQ(List()->count(), 4);

    Page("General");
    Choose(dlg.get(), "SimulatorType", "Spirent GSS7700");
    Type(dlg.get(), "SimHostName", "simhost");
    Type(dlg.get(), "SimHostPort", "15650");
    host.calls.clear();
    Click(dlg.get(), "Save_Command");

    EXPECT_FALSE(dlg->isVisible()) << "OK closes the dialog";
    ASSERT_EQ(host.FileCalls(), std::vector<std::string>{"InitializeDevices " + ConfigDat()});
    EXPECT_EQ(host.calls.front(), "SimulatorSettings Spirent GSS7700|simhost|15650")
        << "the simulator window learns its settings before the devices are set up";
    const SystemConfig c = Saved();
    EXPECT_EQ(c.SimulatorType, "Spirent GSS7700");
    EXPECT_EQ(c.SimHostName, "simhost");
    EXPECT_EQ(c.SimHostPort, 15650);
    const DeviceConfig& a = c.Devices[0];
    EXPECT_EQ(a.DevEN, FlagSet);
    EXPECT_EQ(a.DName, "Rover A");
    EXPECT_EQ(a.LPath, "D:\\Results\\");
    EXPECT_EQ(a.NmeaP, 5);
    EXPECT_EQ(a.NmeaB, 115200);
    EXPECT_EQ(a.RLog, FlagSet);
    EXPECT_EQ(a.GLog, FlagClear);
    EXPECT_EQ(a.StartupS, "$PQNVSTART");
    EXPECT_EQ(a.ColdC, "$PQNVCOLD,1");
    EXPECT_EQ(a.WarmC, "$PQNVWARM");
    EXPECT_EQ(c.Devices[1].DevEN, FlagClear);
    const DeviceConfig& b = c.Devices[2];
    EXPECT_EQ(b.DName, "Base C");
    EXPECT_EQ(b.DebugEN, FlagSet);
    EXPECT_EQ(b.DebugP, 12);
    EXPECT_EQ(b.DebugB, 38400);
    EXPECT_DOUBLE_EQ(b.StartupD, 2.5);
    EXPECT_EQ(b.HWRes, FlagSet);

    EXPECT_EQ(c.TestLines[0], "COLD,0,50,15,45,6,10,-1,0,");
    EXPECT_EQ(c.Tests[0].Trials, 50);
    EXPECT_EQ(c.Tests[0].TttrkOption, 0);
    EXPECT_EQ(c.Tests[1].Type, "SCRIPT");
    EXPECT_EQ(c.Tests[1].ScriptFiles[0], "scripts\\night.txt");
    EXPECT_EQ(c.Tests[1].ScriptCount, 1);
    EXPECT_EQ(c.Tests[1].AlmanacFile, "alm\\week.txt");
    EXPECT_EQ(c.TestLines[2], "TRACK24H,2,d:\\bins\\city.bin,30,600,3,alm.txt,12");
    EXPECT_EQ(c.Tests[2].LabSat, FlagSet);
    EXPECT_EQ(c.Tests[2].LabSatDuration, 600);
    EXPECT_EQ(c.Tests[3].Type, "HOT");
    EXPECT_EQ(c.Tests[3].Trials, 7);
    EXPECT_EQ(c.Tests[3].TttrkOption, 1);
    EXPECT_EQ(c.Tests[3].Simulator, FlagSet);
    EXPECT_EQ(c.Tests[3].SimSetupTime, 90);
    EXPECT_DOUBLE_EQ(c.Tests[3].SimPower, -130.5);
    EXPECT_EQ(c.Tests[3].ScenarioFile, "urban.scn");
    EXPECT_EQ(c.Tests[3].Rewind, FlagSet);
    EXPECT_EQ(c.Tests[4].Enabled, FlagClear);
    EXPECT_EQ(dlg->WorkingCopy(), c);
}

TEST_F(ConfigDialog, ReopeningLoadsTheFileAfreshOverInitialControls) {
    Open();
    Click(dlg.get(), "DevEN_1");
    Type(dlg.get(), "DName_1", "Saved");
    AddTest("WARM");
    Click(dlg.get(), "Save_Command");
    ASSERT_FALSE(dlg->isVisible());

    Open();  // a new session shows the same dialog again
    EXPECT_TRUE(Checked("DevEN_1"));
    EXPECT_EQ(Text(dlg.get(), "DName_1"), "Saved");
    EXPECT_EQ(Lines(List()), std::vector<std::string>{"WARM,0,50,15,45,6,10,-1,0,"});
    // An edit left in a disabled slot does not survive the reload.
    Type(dlg.get(), "DName_1", "Scratch");
    Click(dlg.get(), "DevEN_1");
    Click(dlg.get(), "DevEN_3");
    Type(dlg.get(), "DName_3", "Typed, then disabled");
    Click(dlg.get(), "DevEN_3");
    Click(dlg.get(), "Cancel_Command");
    Open();
    EXPECT_EQ(Text(dlg.get(), "DName_1"), "Saved") << "Cancel stores nothing";
    EXPECT_EQ(Text(dlg.get(), "DName_3"), "Device4");
}

TEST_F(ConfigDialog, DisabledSlotKeepsItsStoredSettingsAndNcoValuesSurviveARebuild) {
    SystemConfig start;
    start.Devices[1].DName = "Parked";
    start.Devices[1].NmeaP = 9;
    BadNCOParametersSetting(start, 0, 100, 200, 10, "$PQNVNCO,1,2,");
    start.Devices[0].DevEN = FlagSet;
    ASSERT_TRUE(SaveSystemConfig(ConfigDat(), start).ok);
    Open();
    Click(dlg.get(), "Save_Command");
    const SystemConfig c = Saved();
    EXPECT_EQ(c.Devices[1].DName, "Parked");
    EXPECT_EQ(c.Devices[1].NmeaP, 9);
    EXPECT_EQ(c.Devices[0].NcoStart, 100);
    EXPECT_EQ(c.Devices[0].NcoStep, 10);
    EXPECT_EQ(c.Devices[0].BadNcoC, "$PQNVNCO,1,2,");
}

TEST_F(ConfigDialog, NcoRangeButtonEditsThatSlotOfTheWorkingCopy) {
    Open();
    Click(dlg.get(), "DevEN_2");
    Click(dlg.get(), "BadNCO_2");
    NCOSettings& nco = dlg->NcoSettingsWindow();
    ASSERT_TRUE(nco.isVisible());
    Type(&nco, "Text1_0", "100");
    Type(&nco, "Text1_1", "130");
    Type(&nco, "Text1_2", "2.5");
    Type(&nco, "Text1_3", "$PQNVNCO,1,2,");
    Click(&nco, "Command1_0");
    EXPECT_EQ(dlg->WorkingCopy().Devices[2].NcoStep, 2);
    Click(dlg.get(), "BadNCO_2");
    EXPECT_EQ(Text(&nco, "Text1_1"), "130") << "the dialog shows the slot's stored values";
    Type(&nco, "Text1_1", "999");
    Click(&nco, "Command1_1");
    Click(dlg.get(), "Save_Command");
    const DeviceConfig d = Saved().Devices[2];
    EXPECT_EQ(d.NcoStart, 100);
    EXPECT_EQ(d.NcoMax, 130);
    EXPECT_EQ(d.NcoStep, 2);
    EXPECT_EQ(d.BadNcoC, "$PQNVNCO,1,2,");
    EXPECT_EQ(Saved().Devices[1].NcoMax, 0);
}

TEST_F(ConfigDialog, SaveKeepsTheDialogOpenAndTellsTheOwner) {
    Open();
    AddTest("HOT");
    Click(dlg.get(), "SaveOnly_Command");
    EXPECT_TRUE(dlg->isVisible());
    EXPECT_EQ(host.FileCalls(), std::vector<std::string>{"SystemConfigUpdate " + ConfigDat()});
    EXPECT_EQ(Saved().TestLines[0], "HOT,0,50,15,45,6,10,-1,0,");
}

TEST_F(ConfigDialog, SaveAsWritesTheChosenFileAndConfigDatThenLoadReplacesTheList) {
    Open();
    AddTest("COLD");
    AddTest("WARM");
    const std::string other = home->File("bench2.dat");
    platform::Prompts::Instance().QueueFileName(other);
    dlg->SaveAsConfigToFile();
    EXPECT_EQ(dlg->ConfigFileName(), other);
    EXPECT_EQ(host.FileCalls(), std::vector<std::string>{"SystemConfigUpdate " + other});
    EXPECT_EQ(LoadSystemConfig(other).config.TestLines[1], "WARM,0,50,15,45,6,10,-1,0,");
    EXPECT_EQ(Saved().TestLines[1], "WARM,0,50,15,45,6,10,-1,0,");

    AddTest("HOT");
    platform::Prompts::Instance().QueueFileName(other);
    dlg->LoadConfigFromFile();
    EXPECT_EQ(Lines(List()), (std::vector<std::string>{"COLD,0,50,15,45,6,10,-1,0,", "WARM,0,50,15,45,6,10,-1,0,"}))
        << "a loaded file replaces the list";

    // Save writes the linked file, then Config.dat.
    AddTest("SYNC_COLD");
    host.calls.clear();
    dlg->SaveConfigToFile();
    EXPECT_EQ(host.FileCalls(), std::vector<std::string>{"SystemConfigUpdate " + other});
    EXPECT_EQ(LoadSystemConfig(other).config.Tests[2].Type, "SYNC_COLD");
    EXPECT_EQ(Saved().Tests[2].Type, "SYNC_COLD");
}

TEST_F(ConfigDialog, CancelledFileDialogsChangeNothing) {
    Open();
    AddTest("COLD");
    const std::string before = test::ReadFileBytes(ConfigDat());
    dlg->SaveAsConfigToFile();  // nothing queued: the dialog is cancelled
    dlg->LoadConfigFromFile();
    EXPECT_EQ(List()->count(), 1);
    EXPECT_EQ(dlg->ConfigFileName(), "");
    EXPECT_EQ(test::ReadFileBytes(ConfigDat()), before);
    EXPECT_TRUE(host.FileCalls().empty());
}

// The warnings among the questions asked (the file dialog is one too).
std::vector<std::string> Warnings(const std::vector<std::string>& asked) {
    std::vector<std::string> out;
    for (const std::string& a : asked)
        if (a.rfind("WARNING", 0) == 0) out.push_back(a);
    return out;
}

// Load Config with a file that is no configuration: refused with the place
// where it stops making sense; the dialog keeps its list and file.
TEST_F(ConfigDialog, AFileThatIsNoConfigurationChosenToLoadIsRefusedAndChangesNothing) {
    Open();
    AddTest("COLD");
    Click(dlg.get(), "SaveOnly_Command");
    const std::string noise = home->File("noise.dat");
    std::string bytes(24072, '\0');
    uint32_t x = 99;
    for (char& c : bytes) {
        x = x * 1103515245u + 12345u;
        c = static_cast<char>(x >> 24);
    }
    test::WriteFileBytes(noise, bytes);
    platform::Prompts::Instance().QueueFileName(noise);
    TakeAsked();
    dlg->LoadConfigFromFile();
    const std::vector<std::string> asked = Warnings(TakeAsked());
    ASSERT_EQ(asked.size(), 1u);
    EXPECT_EQ(asked[0].rfind("WARNING: Config file \"" + noise + "\" is not a configuration record: ", 0), 0u) << asked[0];
    EXPECT_NE(asked[0].find(" (byte "), std::string::npos) << asked[0];
    EXPECT_TRUE(asked[0].ends_with("; it is not loaded.")) << asked[0];
    EXPECT_EQ(Lines(List()), std::vector<std::string>{"COLD,0,50,15,45,6,10,-1,0,"});
    EXPECT_EQ(dlg->ConfigFileName(), "");
}

// Load Config with a file cut short: what it holds whole is loaded and shown,
// and the user is told where it ends.
TEST_F(ConfigDialog, ACutFileChosenToLoadKeepsEveryEntryItHoldsWhole) {
    SystemConfig c;
    c.Devices[0].DevEN = FlagSet;
    c.Devices[0].DName = "Roof";
    std::vector<std::string> lines;
    for (int i = 0; i < 100; ++i) {
        TestEditorValues v;
        v.type = i % 2 ? "HOT" : "WARM";
        v.testField = {std::to_string(i + 1), "1", "2", "6", "10"};
        c.TestLines[i] = BuildTestLine(v);
        ParseTestLine(c.TestLines[i], c.Tests[i]);
        lines.push_back(c.TestLines[i]);
    }
    const std::string cut = home->File("cut.dat");
    ASSERT_TRUE(SaveSystemConfig(cut, c).ok);
    const std::string bytes = test::ReadFileBytes(cut);
    test::WriteFileBytes(cut, bytes.substr(0, bytes.size() / 2));
    Open();
    platform::Prompts::Instance().QueueFileName(cut);
    TakeAsked();
    dlg->LoadConfigFromFile();
    const std::vector<std::string> asked = Warnings(TakeAsked());
    ASSERT_EQ(asked.size(), 1u);
    const size_t inside = asked[0].find(", inside Tests[");
    ASSERT_NE(inside, std::string::npos) << asked[0];
    const int kept = std::atoi(asked[0].c_str() + inside + 15);
    ASSERT_GT(kept, 10);
    EXPECT_EQ(Lines(List()), std::vector<std::string>(lines.begin(), lines.begin() + kept));
    EXPECT_EQ(Text(dlg.get(), "DName_0"), "Roof");
    EXPECT_EQ(dlg->ConfigFileName(), cut);
    Click(dlg.get(), "Save_Command");
    const SystemConfig saved = Saved();
    for (int i = 0; i < kept; ++i) EXPECT_EQ(saved.Tests[i], c.Tests[i]) << i;
    EXPECT_NE(saved.Tests[kept].Enabled, FlagSet);
}

TEST_F(ConfigDialog, DamagedConfigDatAtOpenIsLoggedAndShownToTheUser) {
    SystemConfig start;
    start.Devices[0].DevEN = FlagSet;
    start.Devices[0].DName = "Early";
    ASSERT_TRUE(SaveSystemConfig(ConfigDat(), start).ok);
    // Cut inside the second device: the first lies whole before it.
    test::WriteFileBytes(ConfigDat(), test::ReadFileBytes(ConfigDat()).substr(0, 300));
    OpenSystemLog();
    TakeAsked();
    Open();
    test::Pump(50);  // the warning comes once the dialog is up, above it
    const std::string log = test::ReadFileBytes(SystemLogPath());
    CloseSystemLog();
    EXPECT_NE(log.find("(Load_Command_Click)"), std::string::npos) << log;
    const std::vector<std::string> asked = TakeAsked();
    ASSERT_EQ(asked.size(), 1u) << "the user is told once";
    const std::string expected = "WARNING: Config file \"" + ConfigDat() + "\" ends at byte 300, inside Devices[1]";
    EXPECT_EQ(asked[0].rfind(expected, 0), 0u) << asked[0];
    EXPECT_TRUE(Checked("DevEN_0")) << "what was read whole is shown";
    EXPECT_EQ(Text(dlg.get(), "DName_0"), "Early");
}

// A FIFO named "Config.dat" must be refused without opening it: open() on a
// FIFO with no writer never returns. Should the dialog block all the same,
// the guard opens the writing end after a while, so the test fails, not hangs.
TEST_F(ConfigDialog, FifoConfigDatIsRefusedWithAMessageAndNeverBlocks) {
    ASSERT_EQ(::mkfifo(ConfigDat().c_str(), 0644), 0);
    std::atomic<bool> done{false};
    std::atomic<bool> unblocked{false};
    std::thread guard([&] {
        const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(3);
        while (!done && std::chrono::steady_clock::now() < until)
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        while (!done) {
            const int fd = ::open(ConfigDat().c_str(), O_WRONLY | O_NONBLOCK);
            if (fd >= 0) {
                unblocked = true;
                ::close(fd);
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
    });
    TakeAsked();
    Open();
    done = true;
    test::Pump(50);
    guard.join();
    EXPECT_FALSE(unblocked) << "the dialog blocked opening the FIFO";
    const std::vector<std::string> asked = TakeAsked();
    ASSERT_EQ(asked.size(), 1u);
    EXPECT_EQ(asked[0], "WARNING: Config file \"" + ConfigDat() +
                            "\" is not a regular file; it is not loaded.");
    EXPECT_EQ(List()->count(), 0);

    // Saving never puts a regular file in the FIFO's place.
    AddTest("COLD");
    TakeAsked();
    Click(dlg.get(), "SaveOnly_Command");
    EXPECT_TRUE(AnyStartsWith(TakeAsked(), "WARNING: Config file"));
    struct stat st {};
    ASSERT_EQ(::stat(ConfigDat().c_str(), &st), 0);
    EXPECT_TRUE(S_ISFIFO(st.st_mode));
    EXPECT_TRUE(host.FileCalls().empty());
}

TEST_F(ConfigDialog, RemovingEveryLineLeavesNoEnabledTestButKeepsTheOldTexts) {
    Open();
    AddTest("COLD");
    AddTest("HOT");
    Click(dlg.get(), "Save_Command");
    Open();
    Page("Testing");
    platform::Prompts::Instance().QueueAnswer(platform::Answer::Yes);
    Click(dlg.get(), "Clear");
    EXPECT_EQ(List()->count(), 0);
    Click(dlg.get(), "Save_Command");
    const SystemConfig c = Saved();
    for (const TestEntry& t : c.Tests) EXPECT_EQ(t.Enabled, FlagClear);
    EXPECT_EQ(c.TestLines[1], "HOT,0,50,15,45,6,10,-1,0,");
    Open();
    EXPECT_EQ(List()->count(), 0);
}

TEST_F(ConfigDialog, WriteFailureOnOkKeepsTheDialogAndTellsTheUser) {
    QFile::remove(QString::fromStdString(ConfigDat()));
    Open();
    ASSERT_TRUE(QDir().mkpath(QString::fromStdString(ConfigDat())));  // a folder where the file should be
    AddTest("COLD");
    TakeAsked();
    Click(dlg.get(), "Save_Command");
    EXPECT_TRUE(dlg->isVisible());
    EXPECT_TRUE(host.FileCalls().empty());
    EXPECT_TRUE(AnyStartsWith(TakeAsked(), "WARNING: "));
    EXPECT_EQ(List()->count(), 1);
}

}  // namespace

// Enter anywhere in the dialog is OK; Escape is Cancel.
TEST_F(ConfigDialog, EnterIsOkAndEscapeIsCancel) {
    Open();
    Click(dlg.get(), "DevEN_0");
    Type(dlg.get(), "DName_0", "Typed");
    test::Activate(dlg.get());
    Find<QLineEdit>(dlg.get(), "DName_0")->setFocus();
    ASSERT_TRUE(test::PressKey(Qt::Key_Return));
    EXPECT_FALSE(dlg->isVisible()) << "Enter closes the dialog as OK does";
    ASSERT_EQ(host.FileCalls(), std::vector<std::string>{"InitializeDevices " + ConfigDat()});
    EXPECT_EQ(Saved().Devices[0].DName, "Typed");

    Open();
    Type(dlg.get(), "DName_0", "Scratch");
    test::Activate(dlg.get());
    Find<QLineEdit>(dlg.get(), "DName_0")->setFocus();
    ASSERT_TRUE(test::PressKey(Qt::Key_Escape));
    EXPECT_FALSE(dlg->isVisible()) << "Escape closes it as Cancel does";
    EXPECT_EQ(host.FileCalls().size(), 1u) << "and stores nothing";
    EXPECT_EQ(Saved().Devices[0].DName, "Typed");
}

// Tab walks each page in the order it is read.
TEST_F(ConfigDialog, TabFollowsTheReadingOrderOfEachPage) {
    Open();
    Click(dlg.get(), "DevEN_0");
    test::Activate(dlg.get());
    // The names the focus visits from `first`, until it comes back to it.
    auto walk = [&](const char* first) {
        QWidget* start = Find<QWidget>(dlg.get(), first);
        start->setFocus(Qt::TabFocusReason);
        std::vector<std::string> seen{first};
        for (int i = 0; i < 80; ++i) {
            test::PressKey(Qt::Key_Tab);
            QWidget* now = QApplication::focusWidget();
            if (!now || now == start) break;
            seen.push_back(now->objectName().toStdString());
        }
        return seen;
    };
    EXPECT_EQ(walk("DevEN_0"),
              (std::vector<std::string>{"DevEN_0",   "DName_0",    "LPath_0",   "NmeaP_0",  "NmeaB_0",  "DebugEN_0",
                                        "DebugP_0",  "DebugB_0",   "ColdC_0",   "WarmC_0",  "HotC_0",   "RestartC_0",
                                        "BadPosC_0", "StartupS_0", "StartupD_0", "AStart_0", "RLog_0",  "GLog_0",
                                        "PLog_0",    "HWRes_0",    "BadNCO_0",  "DevEN_1",  "DevEN_2",  "DevEN_3",
                                        "Save_Command", "SaveOnly_Command", "Cancel_Command", "qt_tabwidget_tabbar"}));
    Page("Testing");
    Choose(dlg.get(), "TestType", "COLD");
    Click(dlg.get(), "Scenario_0");
    const std::vector<std::string> testing = walk("TestType");
    // The editor's fields before the buttons that take them, the list last.
    const std::vector<std::string> head(testing.begin(), testing.begin() + 2);
    EXPECT_EQ(head, (std::vector<std::string>{"TestType", "Scenario_0"}));
    auto at = [&](const char* name) {
        return std::find(testing.begin(), testing.end(), name) - testing.begin();
    };
    EXPECT_LT(at("TestField_0"), at("TestField_1"));
    EXPECT_LT(at("TestField_2"), at("AlmanacsFile"));
    EXPECT_LT(at("AlmCommand"), at("Add"));
    for (const char* b : {"Insert", "Replace", "Remove", "Clear"}) EXPECT_LT(at("Add"), at(b)) << b;
    EXPECT_LT(at("Clear"), at("TestList"));
    EXPECT_LT(at("TestList"), at("Save_Command"));
    EXPECT_LT(at("TestList"), static_cast<long>(testing.size()));
}
