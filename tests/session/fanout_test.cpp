// The per-device operations as the receivers see them: which windows are
// visited, in which order, with which texts and bytes.
#include <gtest/gtest.h>

#include "tests/session/session_harness.h"

namespace sessiontest {
namespace {

using V = std::vector<std::string>;

struct FanoutTest : ::testing::Test {
    Harness h;
    void Load() { h.engine.SystemConfigUpdate(h.cfg); }
    // Every character the windows were sent, per window tag.
    std::string CharsSentTo(const fakes::FakeDeviceWindow& d) {
        std::string out;
        for (const auto& c : d.own_calls)
            if (c.rfind("DeviceSendChar(", 0) == 0) out += c.substr(15, c.size() - 16);
        return out;
    }
};

TEST_F(FanoutTest, VisitsEnabledSlotsInOrderWithTheirDebugWindows) {
    h.AddDevice(0, "A", true);
    h.AddDevice(1, "B");
    h.AddDevice(2, "C", true);
    h.cfg.Devices[1].DevEN = FlagClear;
    h.cfg.Devices[2].DevEN = 1;  // only -1 means enabled
    h.AddDevice(3, "D");
    Load();
    for (auto* d : {h.nmea[0].get(), h.debug[0].get(), h.nmea[1].get(), h.nmea[2].get(), h.debug[2].get(),
                    h.nmea[3].get()})
        d->primary_base = "C:\\T\\X_TTFF_COLD_NMEA";
    h.fanout.TestingChangePrimaryLogFile("_PW-130.txt");
    h.fanout.TestingChangeResultsLogFile("_PW-130.txt");
    EXPECT_EQ(h.calls, (V{"N0.DeviceChangePrimaryLogFile(_PW-130.txt)", "D0.DeviceChangePrimaryLogFile(_PW-130.txt)",
                          "N3.DeviceChangePrimaryLogFile(_PW-130.txt)", "N0.DeviceChangeResultsLogFile(_PW-130.txt)",
                          "N3.DeviceChangeResultsLogFile(_PW-130.txt)"}));
}

TEST_F(FanoutTest, ASlotDisabledDuringAFanOutIsNotVisitedAnyMore) {
    auto& a = h.AddDevice(0, "A");
    auto& b = h.AddDevice(1, "B");
    auto& c = h.AddDevice(2, "C");
    Load();
    // A time-out inside slot 0's operation gives up on slot 1.
    a.on_call = [&](const std::string& call) {
        if (call == "DeviceEndPrimaryLogging()") h.fanout.DeviceDisable(1);
    };
    h.fanout.TestingEndPrimaryLogging();
    EXPECT_EQ(h.calls, (V{"N0.DeviceEndPrimaryLogging()", "N2.DeviceEndPrimaryLogging()"}));
    EXPECT_FALSE(h.fanout.CheckDeviceEnabled(1));

    // The trial end no longer waits for it.
    a.fix_delay_ms = c.fix_delay_ms = 0;
    b.fix_delay_ms = -1;
    h.fanout.SendCommandToDevices("$PQNVHOT");
    EXPECT_TRUE(h.fanout.TestEndEvent());
    EXPECT_TRUE(b.own_calls.empty());
}

TEST_F(FanoutTest, AggregatesAnswerForTheEnabledSlots) {
    EXPECT_TRUE(h.fanout.TestEndEvent());
    EXPECT_TRUE(h.fanout.DiffAvailableEvent());
    EXPECT_EQ(h.fanout.GetCurrentUTCSeconds(true), 0);

    auto& a = h.AddDevice(0, "A");
    auto& b = h.AddDevice(1, "B");
    auto& c = h.AddDevice(2, "C");
    Load();
    a.utc_seconds = -1;
    b.utc_seconds = 3600;
    c.utc_seconds = 7;
    EXPECT_EQ(h.fanout.GetCurrentUTCSeconds(true), 3600);
    b.utc_seconds = -5;
    c.utc_seconds = -2;
    EXPECT_EQ(h.fanout.GetCurrentUTCSeconds(false), -2);
    EXPECT_EQ(c.own_calls.back(), "DeviceGetCurrentUTCSeconds(false)");

    a.diff_on = true;
    b.diff_on = false;
    c.diff_on = true;
    EXPECT_FALSE(h.fanout.DiffAvailableEvent());
    b.diff_on = true;
    EXPECT_TRUE(h.fanout.DiffAvailableEvent());
}

TEST_F(FanoutTest, RestartCommandFollowsEachReceiverFamily) {
    const char* families[] = {"OPUSRESTART", "UBLOXRESTART", "GARMIN_GPS18", "garminRESTART"};
    for (int s = 0; s < 4; ++s) {
        h.AddDevice(s, "G" + std::to_string(s));
        h.cfg.Devices[s].RestartC = families[s];
    }
    Load();
    h.fanout.SendRestartCommandToDevice();
    EXPECT_EQ(h.calls, (V{"N0.DeviceSendSerialCommand($PERDCOR,STOP)",
                          "N0.DeviceSendSerialCommand($PERDCOR,START,SIMCOLD)",
                          "N1.DeviceSendBinaryCommand(B56206040400FF0701001577)",
                          "N2.DeviceExecuteRestartScript()", "N3.DeviceSendSerialCommand(garminRESTART)"}));
}

TEST_F(FanoutTest, TestCommandsMapTheThreeKeywordsExactly) {
    h.AddDevice(0, "A");
    h.cfg.Devices[0].HotC = "$PQNVHOT,1";
    Load();
    h.fanout.SendTestCommandToDevice("HOT");
    h.fanout.SendTestCommandToDevice("hot");
    h.fanout.SendTestCommandToDevice("COLD");
    h.fanout.SendTestCommandToDevice("$PQNVCOLD,15");
    EXPECT_EQ(h.calls, (V{"N0.DeviceSendSerialCommand($PQNVHOT,1)", "N0.DeviceSendSerialCommand(hot)",
                          "N0.DeviceSendSerialCommand($PQNVCOLD)", "N0.DeviceSendSerialCommand($PQNVCOLD,15)"}));
}

TEST_F(FanoutTest, ScriptCommandsStartTheDeviceMachines) {
    h.AddDevice(0, "A");
    h.AddDevice(2, "C");
    Load();
    h.fanout.SendCommandToDevices("$PQNVWARM");
    h.fanout.SwitchRTSSignalOnDevices(0, 1);
    EXPECT_EQ(h.calls, (V{"N0.ExecuteTest($PQNVWARM)", "N0.SetNewTestMachineState(2)", "N2.ExecuteTest($PQNVWARM)",
                          "N2.SetNewTestMachineState(2)", "N0.SwitchRTSSignal(0,1)", "N0.ExecuteTest(NULL)",
                          "N0.SetNewTestMachineState(2)", "N2.SwitchRTSSignal(0,1)", "N2.ExecuteTest(NULL)",
                          "N2.SetNewTestMachineState(2)"}));
}

TEST_F(FanoutTest, CharacterQueueSendsCommandChecksumAndLineEndOnePerTick) {
    auto& a = h.AddDevice(0, "A");
    auto& b = h.AddDevice(1, "B");
    Load();
    h.fanout.SendChrsCommandToDevices(25, "$PQNVCOLD");
    EXPECT_EQ(h.fanout.ChrsQueue(), "$PQNVCOLD*1D\r\n");
    EXPECT_EQ(h.chrsTimer.Interval(), 25);
    for (int i = 0; i < 14; ++i) {
        ASSERT_TRUE(h.chrsTimer.Enabled()) << i;
        h.chrsTimer.Tick();
    }
    EXPECT_EQ(CharsSentTo(a), "$PQNVCOLD*1D\r\n");
    EXPECT_EQ(CharsSentTo(b), "$PQNVCOLD*1D\r\n");
    EXPECT_TRUE(h.chrsTimer.Enabled());
    h.chrsTimer.Tick();  // the 15th tick stops the timer and sends nothing
    EXPECT_FALSE(h.chrsTimer.Enabled());
    EXPECT_EQ(CharsSentTo(a).size(), 14u);
}

TEST_F(FanoutTest, CharacterQueueWithoutDollarChecksumsEveryCharacter) {
    h.AddDevice(0, "A");
    Load();
    h.fanout.SendChrsCommandToDevices(10, "ABC");
    EXPECT_EQ(h.fanout.ChrsQueue(), "ABC*40\r\n");
}

TEST_F(FanoutTest, NewCharacterCommandReplacesTheQueueMidSend) {
    auto& a = h.AddDevice(0, "A");
    Load();
    h.fanout.SendChrsCommandToDevices(10, "$PQNVCOLD");
    for (int i = 0; i < 3; ++i) h.chrsTimer.Tick();
    h.fanout.SendChrsCommandToDevices(10, "$PQNVCOLD,15");
    for (int i = 0; i < 30; ++i) h.chrsTimer.Tick();
    EXPECT_EQ(CharsSentTo(a), "$PQ$PQNVCOLD,15*35\r\n");
}

TEST_F(FanoutTest, PortAddressedOperationsPickTheMatchingWindow) {
    h.AddDevice(0, "A", true);
    h.AddDevice(1, "B", true);
    h.cfg.Devices[0].NmeaP = 3;
    h.cfg.Devices[0].DebugP = 4;
    h.cfg.Devices[1].NmeaP = 4;  // same number as slot 0's debug port
    h.cfg.Devices[1].DebugP = 5;
    Load();
    h.fanout.SendMessageOnSerialPort(4, "HELLO");
    EXPECT_EQ(h.calls, (V{"D0.DeviceSendMsg(HELLO)", "N1.DeviceSendMsg(HELLO)"}));
    h.calls.clear();
    h.fanout.RestartSingleDevice(3);
    h.fanout.RestartSingleDevice(9);
    EXPECT_EQ(h.calls, (V{"N0.SwitchRTSSignal(3,1)", "N0.SwitchRTSSignal(3,0)"}));
}

TEST_F(FanoutTest, MakeKmlTracksTheLogActuallyWritten) {
    auto& a = h.AddDevice(0, "A");
    h.AddDevice(1, "B");
    Load();
    a.primary_name = "C:\\T\\GPS1_TTFF_COLD_NMEA_PW-130.txt";
    h.nmea[1]->primary_name = "C:\\T\\B_NMEA.txt";
    h.launcher.ok = false;  // the second start fails
    h.fanout.MakeKML();
    ASSERT_EQ(h.launcher.started.size(), 2u);
    EXPECT_EQ(h.launcher.started[0].first, "navsift");
    EXPECT_EQ(h.launcher.started[0].second,
              (V{"-nmea", "/mapped/C:\\T\\GPS1_TTFF_COLD_NMEA_PW-130.txt", "-kml", "-name", "GPS1_TTFF_COLD_NMEA_PW-130"}));
    EXPECT_EQ(h.launcher.started[1].second[4], "B_NMEA");
    EXPECT_EQ(h.log.lines.size(), 2u);
}

TEST_F(FanoutTest, LoggingSetUpNamesEveryFileOfATimeToTrackTest) {
    h.AddDevice(0, "GPS1", true);
    DeviceConfig& d = h.cfg.Devices[0];
    d.LPath = "C:\\S\\GPS1";
    d.GLog = d.PLog = d.RLog = FlagSet;
    TestEntry& t = h.AddTest(4, "COLD", 3);
    t.TttrkOption = 1;
    Load();
    h.state.Options.GGASamp = true;
    h.state.Run.Trial = 3;
    h.grid.UpdateCell(1, 0, 12);
    h.fanout.InitLogging(4, "");
    EXPECT_EQ(h.calls, (V{"N0.DeviceSetPrimaryLogFileBaseName(C:\\S\\GPS1\\GPS1_TTTR_COLD_NMEA)",
                          "N0.DeviceStartPrimaryLogging(.txt)",
                          "D0.DeviceSetPrimaryLogFileBaseName(C:\\S\\GPS1\\GPS1_TTTR_COLD_DEBUG)",
                          "D0.DeviceStartPrimaryLogging(.txt)",
                          "N0.DeviceSetSecondaryLogFileBaseName(C:\\S\\GPS1\\TTTR_COLD\\GPS1_TTTR_COLD_NMEA)",
                          "N0.DeviceInitSecondaryLogging(_3.txt)",
                          "D0.DeviceSetSecondaryLogFileBaseName(C:\\S\\GPS1\\TTTR_COLD\\GPS1_TTTR_COLD_DEBUG)",
                          "D0.DeviceInitSecondaryLogging(_3.txt)", "N0.DeviceStartResultsLogging(.txt)",
                          "N0.DeviceGGASamplingInit(C:\\S\\GPS1\\COLD_GGASampling\\)"}));
    EXPECT_EQ(h.files.made, (V{"C:\\S\\GPS1\\TTTR_COLD", "C:\\S\\GPS1\\COLD_GGASampling"}));
    EXPECT_EQ(h.grid.Cell(4, 1), "");  // the grid starts afresh
    EXPECT_TRUE(h.log.lines.empty());
}

TEST_F(FanoutTest, LoggingSetUpReportsAFailingSlotAndSetsUpTheOthers) {
    h.AddDevice(0, "GPS1");
    h.AddDevice(1, "GPS2");
    for (int s = 0; s < 2; ++s) {
        h.cfg.Devices[s].LPath = "C:\\S\\" + h.cfg.Devices[s].DName;
        h.cfg.Devices[s].PLog = h.cfg.Devices[s].RLog = FlagSet;
    }
    h.AddTest(0, "HOT", 1);
    Load();
    h.files.failing.insert("C:\\S\\GPS1\\TTFF_HOT");
    h.fanout.InitLogging(0, "");
    h.fanout.InitLogging(0, "");  // a second HOT test finds its folders: fine
    ASSERT_EQ(h.log.lines.size(), 2u);
    EXPECT_NE(h.log.lines[0].find("GPS1"), std::string::npos);
    EXPECT_NE(h.log.lines[0].find("(InitLogging)"), std::string::npos);
    EXPECT_EQ(h.nmea[0]->CallsCount("DeviceStartResultsLogging(.txt)"), 0);
    EXPECT_EQ(h.nmea[1]->CallsCount("DeviceStartResultsLogging(.txt)"), 2);
}

TEST_F(FanoutTest, ReplayLoggingUsesTheFirstEnabledSlotsFolder) {
    h.AddDevice(1, "GPS2", true);
    h.cfg.Devices[1].LPath = "C:\\S\\GPS2";
    h.cfg.Devices[1].GLog = FlagSet;
    h.cfg.Devices[0].LPath = "C:\\UNUSED";
    Load();
    h.fanout.InitNemaDebugLogging(0, "urban", "L0");
    EXPECT_EQ(h.files.made, (V{"C:\\S\\GPS2\\urban"}));
    EXPECT_EQ(h.calls, (V{"N1.DeviceSetPrimaryLogFileBaseName(C:\\S\\GPS2\\urban\\GPS2_urban_NMEA_)",
                          "N1.DeviceStartPrimaryLogging(L0.txt)",
                          "D1.DeviceSetPrimaryLogFileBaseName(C:\\S\\GPS2\\urban\\GPS2_urban_DEBUG_)",
                          "D1.DeviceStartPrimaryLogging(L0.txt)"}));
}

TEST_F(FanoutTest, ScriptLogSetUpNamesItsFolderWithTheStamp) {
    h.AddDevice(0, "GPS1");
    h.cfg.Devices[0].GLog = h.cfg.Devices[0].PLog = h.cfg.Devices[0].RLog = FlagSet;
    Load();
    h.fanout.InitLog("C:\\LOGS", "drive");
    const std::string f = "C:\\LOGS\\drive_08-12-2026_12.00.00";
    EXPECT_EQ(h.files.made, (V{f, f + "\\GPS1_drive"}));
    EXPECT_EQ(h.calls, (V{"N0.DeviceSetPrimaryLogFileBaseName(" + f + "\\GPS1_drive_NMEA)",
                          "N0.DeviceStartPrimaryLogging(.txt)",
                          "N0.DeviceSetSecondaryLogFileBaseName(" + f + "\\GPS1_drive\\drive_NMEA)",
                          "N0.DeviceInitSecondaryLogging(.txt)", "N0.DeviceStartResultsLogging(.txt)"}));
    h.calls.clear();
    h.fanout.StopLog();
    EXPECT_EQ(h.calls, (V{"N0.DeviceEndPrimaryLogging()", "N0.DeviceEndSecondaryLogging()",
                          "N0.DeviceEndResultsLogging()", "N0.DeviceSpreadSheetClose()"}));
}

TEST_F(FanoutTest, WorkbookSheetsAreNumberedFromOneAndSimulatorRestartRenamesLogs) {
    auto& gps1 = h.AddDevice(0, "GPS1");
    Load();
    h.fanout.DeviceAddNewSheet(0, "COLD", 20);
    gps1.primary_base = "C:\\T_1\\GPS1\\GPS1_TTFF_COLD_NMEA";
    h.state.Run.Trial = 4;
    h.fanout.ExecuteSimulatorRestart();
    EXPECT_EQ(h.calls, (V{"N0.AddNewDeviceSheet(1,COLD)", "N0.InitializeDeviceSheet(1,COLD,20)",
                          "SIM.SimRestart(100,0,0,0,0,0,0,true)", "N0.DeviceChangePrimaryLogFile(4.txt)",
                          "N0.DeviceChangeResultsLogFile(4.txt)"}));
    EXPECT_TRUE(h.status.Shown(1, "Simulator Configuration Ongoing"));
    EXPECT_EQ(gps1.primary_name, "C:\\T_1\\GPS1\\GPS1_TTFF_COLD_NMEA4.txt");
}

// A script's simulator restart in a session whose logs nothing set up: the
// logs go to the device folder of the session, never to the folder the
// program was started from; with no session they are not made, said once.
TEST_F(FanoutTest, LogsRenamedWithoutABaseGoToTheSessionDeviceFolderOrAreNotMade) {
    auto& gps1 = h.AddDevice(0, "GPS1", true);
    auto& gps2 = h.AddDevice(1, "GPS2");
    Load();
    h.state.Run.Trial = 0;
    h.fanout.ExecuteSimulatorRestart();
    h.fanout.TestingChangeSecondaryLogFile("_1.txt");
    EXPECT_EQ(h.calls, (V{"SIM.SimRestart(100,0,0,0,0,0,0,true)"}));
    EXPECT_EQ(h.log.lines,
              (V{"Device GPS1: log \"0.txt\" not made: no test session folder (TestingChangePrimaryLogFile)",
                 "Device GPS2: log \"0.txt\" not made: no test session folder (TestingChangePrimaryLogFile)"}));

    h.calls.clear();
    h.log.lines.clear();
    h.state.SessionRunning = true;
    h.state.RunConfig.Devices[0].LPath = "C:\\T_1\\GPS1";
    h.state.RunConfig.Devices[1].LPath = "C:\\T_1\\GPS2";
    h.fanout.ExecuteSimulatorRestart();
    EXPECT_EQ(h.calls, (V{"SIM.SimRestart(100,0,0,0,0,0,0,true)", "N0.DeviceSetPrimaryLogFileBaseName(C:\\T_1\\GPS1\\)",
                          "N0.DeviceChangePrimaryLogFile(0.txt)", "D0.DeviceSetPrimaryLogFileBaseName(C:\\T_1\\GPS1\\)",
                          "D0.DeviceChangePrimaryLogFile(0.txt)", "N1.DeviceSetPrimaryLogFileBaseName(C:\\T_1\\GPS2\\)",
                          "N1.DeviceChangePrimaryLogFile(0.txt)", "N0.DeviceChangeResultsLogFile(0.txt)",
                          "N1.DeviceChangeResultsLogFile(0.txt)"}));
    EXPECT_EQ(gps1.primary_name, "C:\\T_1\\GPS1\\0.txt");
    EXPECT_EQ(gps2.primary_name, "C:\\T_1\\GPS2\\0.txt");
    EXPECT_TRUE(h.log.lines.empty());
}

}  // namespace
}  // namespace sessiontest
