// Session commands from the Testing menu, the configuration files through
// the Option menu, and the KML request, as the user and the scripts use them.
#include <QDir>
#include <QFileInfo>
#include <QProcess>

#include <algorithm>
#include <cstdlib>
#include <filesystem>

#include "bench/devices/system_log.h"
#include "tests/session/benchtop_fixture.h"

namespace benchtop_test {
namespace {

using dialogs_test::Click;
using dialogs_test::TakeAsked;

std::vector<std::string> SessionFolders(const std::string& parent) {
    std::vector<std::string> out;
    for (const QString& d : QDir(QString::fromStdString(parent)).entryList(QDir::Dirs | QDir::NoDotAndDotDot))
        out.push_back(d.toStdString());
    return out;
}

TEST_F(BenchtopTest, StartRunsTheTestListAndIsDisabledUntilStop) {
    bench::SystemConfig c = Config({0, 1});
    AddColdTest(c, 0, 3, 0, 0);
    ASSERT_EQ(c.Tests[0].Trials, 3);
    SetUpDevices(c);
    Trigger("exectest");
    ASSERT_TRUE(top->SessionRunning());
    EXPECT_FALSE(Entry("exectest")->isEnabled()) << "no second start while a session runs";
    // Each device gets a folder in the session folder beside the configured one.
    const std::vector<std::string> sessions = SessionFolders(home->File("GPS_TEST"));
    ASSERT_EQ(sessions.size(), 1u);
    EXPECT_EQ(sessions[0].rfind("_", 0), 0u) << sessions[0];
    for (const char* d : {"GPS1", "GPS2"})
        EXPECT_TRUE(QFileInfo(QString::fromStdString(home->File("GPS_TEST/" + sessions[0] + "/" + d))).isDir()) << d;
    EXPECT_TRUE(test::WaitFor([&] { return Count("W0.ExecuteTest($PQNVCOLD)") > 0 && Count("W1.ExecuteTest($PQNVCOLD)") > 0; },
                              3000))
        << "the first trial restarts both receivers";

    factory.calls.clear();
    Trigger("StopTesting");
    EXPECT_FALSE(top->SessionRunning());
    EXPECT_TRUE(Entry("exectest")->isEnabled());
    for (const char* w : {"W0", "W1"}) {
        const std::string tag(w);
        EXPECT_EQ(Count(tag + ".SetNewTestMachineState(0)"), 1) << "the device's own test machine stops too";
        EXPECT_EQ(Count(tag + ".DeviceEndPrimaryLogging()"), 1);
        EXPECT_EQ(Count(tag + ".DeviceEndResultsLogging()"), 1);
    }
    EXPECT_EQ(Count("W0.DeviceSpreadSheetClose()"), 0) << "no workbook without the Excel option";
    factory.calls.clear();
    test::Pump(700);
    EXPECT_EQ(Count("W0.ExecuteTest($PQNVCOLD)"), 0) << "nothing more is sent after Stop";
}

TEST_F(BenchtopTest, AnEntryOnASimulatorThatCannotBeConnectedFailsAndTheSessionGoesOn) {
    // The bench as delivered, with no simulator host configured.
    bench::SystemConfig c = Config({0});
    bench::TestEditorValues sim;
    sim.scenario = bench::ScenarioSimulator;
    sim.testField = {"1", "0", "0", "6", "10"};
    c.TestLines[0] = bench::BuildTestLine(sim);
    bench::ParseTestLine(c.TestLines[0], c.Tests[0]);
    c.Tests[0].Enabled = bench::FlagSet;
    ASSERT_EQ(c.Tests[0].Simulator, bench::FlagSet);
    AddColdTest(c, 2, 1, 0, 0);
    SetUpDevices(c);
    factory.made[0]->fix_delay_ms = 200;
    TakeAsked();

    Trigger("exectest");
    ASSERT_TRUE(test::WaitFor([&] { return !top->SessionRunning(); }, 8000)) << "the session must not hang";
    const std::string log = test::ReadFileBytes(bench::SystemLogPath());
    EXPECT_NE(log.find("Test entry 0 (COLD) failed: the simulator is not connected"), std::string::npos) << log;
    EXPECT_EQ(Count("W0.ExecuteTest($PQNVCOLD)"), 1) << "only the roof-antenna entry restarts the receiver";
    EXPECT_EQ(top->StatusText(1), "Test Session INCOMPLETE: 1 test entry failed") << "not every entry ran";
    EXPECT_EQ(top->StatusText(2), "SESSION INCOMPLETE: 1 test entry failed");
    const std::vector<std::string> asked = TakeAsked();
    EXPECT_EQ(std::count_if(asked.begin(), asked.end(),
                            [](const std::string& a) { return a.find("1 test entry failed") != std::string::npos; }),
              1);
}

TEST_F(BenchtopTest, StartThatCannotMakeItsFolderWarnsAndDoesNotRun) {
    bench::SystemConfig c = Config({0});
    c.Devices[0].LPath = "C:\\blocked\\inner";
    AddColdTest(c, 0, 1, 0, 0);
    test::WriteFileBytes(home->File("blocked"), "a file where a folder should go");
    SetUpDevices(c);
    TakeAsked();
    Trigger("exectest");
    EXPECT_FALSE(top->SessionRunning());
    EXPECT_TRUE(Entry("exectest")->isEnabled());
    const std::vector<std::string> asked = TakeAsked();
    EXPECT_TRUE(dialogs_test::AnyStartsWith(asked, "WARNING: Cannot create the session folder"))
        << (asked.empty() ? "nothing asked" : asked[0]);
    EXPECT_EQ(Count("W0.ExecuteTest($PQNVCOLD)"), 0);
}

TEST_F(BenchtopTest, SessionsStartedByAReceiverKeepTheMenuInStep) {
    bench::SystemConfig c = Config({0});
    AddColdTest(c, 0, 2, 0, 0);
    SetUpDevices(c);
    factory.hosts[0]->StartTestSession("CARS7");
    EXPECT_TRUE(top->SessionRunning());
    EXPECT_FALSE(Entry("exectest")->isEnabled());
    const std::vector<std::string> sessions = SessionFolders(home->File("GPS_TEST"));
    ASSERT_EQ(sessions.size(), 1u);
    EXPECT_EQ(sessions[0].rfind("_CARS7_", 0), 0u) << sessions[0];
    factory.hosts[0]->StopTestSession();
    EXPECT_FALSE(top->SessionRunning());
    EXPECT_TRUE(Entry("exectest")->isEnabled());
}

TEST_F(BenchtopTest, SessionNameFromAReceiverCannotLeaveTheResultsFolder) {
    bench::SystemConfig c = Config({0});
    AddColdTest(c, 0, 1, 0, 0);
    SetUpDevices(c);
    factory.hosts[0]->StartTestSession("../..\\up/Run 1");
    ASSERT_TRUE(top->SessionRunning());
    const std::vector<std::string> sessions = SessionFolders(home->File("GPS_TEST"));
    ASSERT_EQ(sessions.size(), 1u);
    EXPECT_EQ(sessions[0].rfind("_.._.._up_Run_1_", 0), 0u) << sessions[0];
    EXPECT_EQ(SessionFolders(home->Path()), (std::vector<std::string>{"GPS_TEST", "SystemLogs"}));
    top->StopTesting_Click();
}

TEST_F(BenchtopTest, SaveAsThenSaveWriteTheDialogsConfiguration) {
    WriteConfigDat(Config({0}));
    Open();
    const std::string other = home->File("roof.dat");
    platform::Prompts::Instance().QueueFileName(other);
    Trigger("SaveAsConfig");
    bench::SystemConfig saved = bench::LoadSystemConfig(other).config;
    EXPECT_EQ(saved.Devices[0].DevEN, bench::FlagSet);
    EXPECT_EQ(saved.Devices[0].DName, "GPS1");
    EXPECT_EQ(top->State().ActiveConfig.Devices[0].DName, "GPS1") << "the bench reads what was saved";

    dialogs_test::Type(&top->ConfigDialog(), "DName_0", "ROOF");
    Trigger("SaveConfig");
    EXPECT_EQ(bench::LoadSystemConfig(other).config.Devices[0].DName, "ROOF") << "Save goes to the file chosen last";
    EXPECT_EQ(bench::LoadSystemConfig(home->File("Config.dat")).config.Devices[0].DName, "ROOF");
    EXPECT_EQ(top->State().ActiveConfig.Devices[0].DName, "ROOF");
}

TEST_F(BenchtopTest, LoadConfigClosesTheSessionAndFillsTheDialog) {
    SetUpDevices(Config({0}));
    ASSERT_EQ(top->WindowMenuCount(), 1);
    bench::SystemConfig other = Config({1});
    other.Devices[1].DName = "LOADED";
    const std::string file = home->File("loaded.dat");
    ASSERT_TRUE(bench::SaveSystemConfig(file, other).ok);
    platform::Prompts::Instance().QueueFileName(file);
    Trigger("LoadConfig");
    EXPECT_TRUE(top->Workspace()->subWindowList().isEmpty());
    EXPECT_EQ(top->WindowMenuCount(), 0);
    EXPECT_TRUE(top->ConfigDialog().isVisible());
    EXPECT_EQ(dialogs_test::Text(&top->ConfigDialog(), "DName_1"), "LOADED");
    // OK then sets up the loaded devices.
    Click(&top->ConfigDialog(), "Save_Command");
    EXPECT_EQ(top->WindowMenuCount(), 1);
    EXPECT_EQ(bench::Benchtop::PlainCaption(Entry("win1_0")->text()), "LOADED NMEA WINDOW");
}

// --- MAKEKML ---

class MakeKmlTest : public BenchtopTest {
protected:
    void SetUp() override {
        BenchtopTest::SetUp();
        if (const char* p = std::getenv("PATH")) old_path = p;
        // No navsift anywhere but where a test puts one.
        ::setenv("PATH", home->File("nothing-here").c_str(), 1);
        // The bench as installed: its programs in a folder of their own.
        bench::BenchtopOptions options;
        options.programsFolder = Programs();
        top = std::make_unique<bench::Benchtop>(factory, nullptr, options);
    }
    std::string Programs() const { return home->File("programs"); }
    void TearDown() override {
        ::setenv("PATH", old_path.c_str(), 1);
        BenchtopTest::TearDown();
    }
    // A navsift that writes each argument in brackets, one run a line
    // (after `mark`).
    void FakeNavsift(const std::string& folder, const std::string& mark = "") {
        QDir().mkpath(QString::fromStdString(folder));
        const std::string path = folder + "/navsift";
        test::WriteFileBytes(path, "#!/bin/sh\nprintf '" + mark + "' >> '" + Calls() +
                                       ".part'\nfor a in \"$@\"; do printf '[%s]' \"$a\"; done >> '" + Calls() +
                                       ".part'\nprintf '\\n' >> '" + Calls() + ".part'\n");
        std::filesystem::permissions(path, std::filesystem::perms::owner_all);
    }
    std::string Calls() const { return home->File("navsift-calls.txt"); }
    std::vector<std::string> RunLines() const {
        std::vector<std::string> out;
        std::string all = test::ReadFileBytes(Calls() + ".part");
        size_t start = 0;
        for (size_t nl; (nl = all.find('\n', start)) != std::string::npos; start = nl + 1)
            out.push_back(all.substr(start, nl - start));
        std::sort(out.begin(), out.end());
        return out;
    }
    std::string old_path;
};

TEST_F(MakeKmlTest, StartsNavsiftOncePerEnabledDeviceWithItsCurrentLog) {
    SetUpDevices(Config({0, 2}));
    FakeNavsift(Programs());
    const std::string log0 = home->File("run 1/GPS1_TTFF_COLD_NMEA_PW-130.txt");
    const std::string log2 = home->File("run 1/GPS3_TTFF_COLD_NMEA.txt");
    factory.made[0]->primary_name = log0;
    factory.made[1]->primary_name = log2;
    top->MakeKML();
    ASSERT_TRUE(test::WaitFor([&] { return RunLines().size() == 2; }, 3000));
    EXPECT_EQ(RunLines(), (std::vector<std::string>{
                              "[-nmea][" + log0 + "][-kml][-name][GPS1_TTFF_COLD_NMEA_PW-130]",
                              "[-nmea][" + log2 + "][-kml][-name][GPS3_TTFF_COLD_NMEA]"}));
}

// The navsift installed with the bench, not another one the PATH finds first.
TEST_F(MakeKmlTest, NavsiftBesideTheBenchComesBeforeTheOneOnThePath) {
    SetUpDevices(Config({0}));
    FakeNavsift(Programs(), "beside");
    const std::string bin = home->File("bin");
    FakeNavsift(bin, "path");
    ::setenv("PATH", bin.c_str(), 1);
    factory.made[0]->primary_name = home->File("GPS1_NMEA.txt");
    top->MakeKML();
    ASSERT_TRUE(test::WaitFor([&] { return RunLines().size() == 1; }, 3000));
    EXPECT_EQ(RunLines()[0], "beside[-nmea][" + home->File("GPS1_NMEA.txt") + "][-kml][-name][GPS1_NMEA]");
}

TEST_F(MakeKmlTest, NavsiftIsFoundOnThePathWhenNotBesideTheBench) {
    SetUpDevices(Config({1}));
    const std::string bin = home->File("bin");
    FakeNavsift(bin);
    ::setenv("PATH", bin.c_str(), 1);
    factory.made[0]->primary_name = home->File("GPS2_NMEA.txt");
    top->MakeKML();
    ASSERT_TRUE(test::WaitFor([&] { return RunLines().size() == 1; }, 3000));
    EXPECT_EQ(RunLines()[0], "[-nmea][" + home->File("GPS2_NMEA.txt") + "][-kml][-name][GPS2_NMEA]");
}

TEST_F(MakeKmlTest, NavsiftThatCannotStartIsWrittenToTheSystemLog) {
    SetUpDevices(Config({0, 1}));
    factory.made[0]->primary_name = home->File("GPS1_NMEA.txt");
    factory.made[1]->primary_name = home->File("GPS2_NMEA.txt");
    top->MakeKML();
    const std::string log = test::ReadFileBytes(bench::SystemLogPath());
    // Where it looked, so the person knows where to put it.
    const std::string where = ": cannot start navsift: not found beside the bench (" + Programs() +
                              "/navsift) nor on the PATH (" + home->File("nothing-here") + ") (MakeKML)";
    EXPECT_NE(log.find("Device GPS1" + where), std::string::npos) << log;
    EXPECT_NE(log.find("Device GPS2" + where), std::string::npos) << log;
}

// The bench as built finds the navsift built with it without help from the
// PATH: it stands beside fixbench.
TEST(BuiltPrograms, NavsiftStandsBesideFixbench) {
    const std::string folder = std::string(FIXBENCH_BUILD_DIR_DEFAULT) + "/bench";
    const QFileInfo beside(QString::fromStdString(folder + "/navsift"));
    ASSERT_TRUE(beside.isFile() && beside.isExecutable()) << folder << " has no navsift";
    QProcess navsift;
    navsift.start(beside.filePath(), {"-help"});
    ASSERT_TRUE(navsift.waitForFinished(10000));
    EXPECT_NE(navsift.readAllStandardOutput().indexOf("-kml"), -1) << "not the console tool";
}

}  // namespace
}  // namespace benchtop_test
