// The command language: every word's calls and arguments, the line syntax,
// the field conversions and what a bad line does.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "tests/instruments/script_fakes.h"
#include "tests/support/qt_app.h"

namespace {

using script_test::Calls;
using script_test::Rig;

struct WordCase {
    const char* line;
    Calls calls;
};

// Each word, as a test engineer writes it, and the exact calls it makes.
const std::vector<WordCase>& WordCases() {
    static const std::vector<WordCase> cases{
        {"SEND>$PQNVHOT", {"SendCommandToDevices($PQNVHOT)"}},
        {"SENDCHRS>20>$PQNVCOLD", {"SendChrsCommandToDevices(20,$PQNVCOLD)"}},
        {"SWITCHRTS>1", {"SwitchRTSSignalOnDevices(0,1)"}},
        {"SWITCHRTSONPORT>5>0", {"SwitchRTSSignalOnDevices(5,0)"}},
        {"SIMCHECKRESTART>", {"CheckSimulatorStatusEnd()"}},
        {"REACQUIRETESTON>", {"AcquiringTestStartOnDevices()"}},
        {"SIMCONNECT>labsim>15650", {"SimShow()", "SimConnect(labsim,15650)"}},
        {"SIMSCLOAD>C:\\scn\\open.scn", {"SimLoadScenario(C:\\scn\\open.scn)"}},
        {"SIMSTART>", {"SimStartScenario()"}},
        {"SIMAUTOSTART>-130.5>20>-140>2>True>5>-125",
         {"SimRestart(-130.5,20,-140,2,-1,5,-125,true)"}},
        {"SIMSTOP>", {"SimStopScenario()"}},
        {"SIMREWIND>", {"SimRewindScenario()"}},
        {"SIMSETPOWER>-130", {"SimSetPower(-130)"}},
        {"SIMINCREASEPOWER>1.5", {"SimIncreasePower(1.5)"}},
        {"SIMDECREASEPOWER>2", {"SimDecreasePower(2)"}},
        {"SIMSETSATPOWER>7>-142.25", {"SimSetSatPower(7,-142.25)"}},
        {"SIMINCREASESATPOWER>7>1", {"SimIncreaseSatPower(7,1)"}},
        {"SIMDECREASESATPOWER>7>3", {"SimDecreaseSatPower(7,3)"}},
        {"SIMSETCHPOWER>3>-10.5", {"SimSetChPower(-,3,-10.5)"}},
        {"SIMINCREASECHPOWER>4>0.5", {"SimIncreaseChPower(4,0.5)"}},
        {"SIMDECREASECHPOWER>4>0.5", {"SimDecreaseChPower(4,0.5)"}},
        {"SIMTURNSATONOFF>12>0", {"SimTurnSatONOFF(12,0)"}},
        {"SIMTURNCHONOFF>2>1", {"SimTurnChONOFF(-,2,1)"}},
        {"SIMTURNALLONOFF>0", {"SimTurnAllONOFF(-,0)"}},
        {"SAVEPOSPICTURE>", {"DeviceSavePosPicture()"}},
        {"WAITFIX>120", {"SetMaxAcceptableTTFFOnDevice(120)"}},
        {"WAITDIFF>", {"ResetDiffAvailability()"}},
        {"INITLOG>C:\\logs>night", {"InitLog(C:\\logs,night)"}},
        {"CHANGESECONDARYLOG>_b", {"TestingChangeSecondaryLogFile(_b.txt)"}},
        {"STOPLOG>", {"StopLog()"}},
        {"SENDEXTCONTROLCOMMAND>520abc", {"ExecuteExtCommand(520)"}},
        {"SENDEXTCONTROLCOMMAND>1.5", {"ExecuteExtCommand(1.5)"}},
        {"SENDEXTCONTROLCOMMAND>none", {"ExecuteExtCommand(0)"}},
        {"RESADDLINELABLE>4>after warm", {"AddLineLable(4,after warm)"}},
        {"MAKEKML>", {"MakeKML()"}},
        {"SENDMSGONPORT>6>$PQNVVER", {"SendMessageOnSerialPort(6,$PQNVVER)"}},
        // Lenient integers round halves to even.
        {"SIMTURNALLONOFF> 2.5", {"SimTurnAllONOFF(-,2)"}},
        {"SIMTURNALLONOFF>3.5", {"SimTurnAllONOFF(-,4)"}},
    };
    return cases;
}

TEST(ScriptLanguage, EveryWordCallsItsNeighbourWithItsArguments) {
    for (const WordCase& c : WordCases()) {
        SCOPED_TRACE(c.line);
        Rig rig;
        rig.P().ExecuteCommand(c.line);
        EXPECT_EQ(rig.calls, c.calls);
        EXPECT_TRUE(rig.log.lines.empty()) << rig.log.lines.front();
    }
}

TEST(ScriptLanguage, WordsThatChangeTheRunState) {
    Rig rig;
    auto& st = rig.P().State();
    rig.P().ExecuteCommand("WAITFIX>90");
    EXPECT_EQ(st.StepState, 2);
    EXPECT_EQ(st.WaitFixTimeout, 90);
    rig.P().ExecuteCommand("WAITUTCSEC>10");
    EXPECT_EQ(st.StepState, 5);
    EXPECT_EQ(st.TargetSecond, 10);
    rig.P().ExecuteCommand("WAITDIFF>");
    EXPECT_EQ(st.StepState, 4);
    rig.P().ExecuteCommand("DELAY>00:00:10");
    EXPECT_EQ(st.StepState, 1);
    EXPECT_NEAR((st.DelayEnd - rig.clock.Now()) * 86400.0, 10.0, 1e-3);
    st.StepState = 0;
    rig.sim.completed = false;
    rig.bench.simEnded = false;
    rig.P().ExecuteCommand("SIMCHECKRESTART>");
    EXPECT_EQ(st.StepState, 0) << "a simulator that has not ended is not restarted";
    rig.bench.simEnded = true;
    rig.P().ExecuteCommand("SIMCHECKRESTART>");
    EXPECT_EQ(st.StepState, 3);
    EXPECT_EQ(rig.calls.back(), "ExecuteSimulatorRestart()");
    rig.P().ExecuteCommand("END>");
    EXPECT_TRUE(st.EndFlag);
}

TEST(ScriptLanguage, LineSyntax) {
    Rig rig;
    // No ">": no command. Words are whole and case-sensitive; nothing is trimmed.
    for (const char* line : {"END", "send>X", " SEND>X", "SEND >X", "SENDX>1"}) {
        rig.P().ExecuteCommand(line);
        EXPECT_TRUE(rig.calls.empty()) << line;
        EXPECT_FALSE(rig.P().State().EndFlag) << line;
    }
    // Every such line is in the system log, so a typing slip does not pass unseen.
    EXPECT_EQ(rig.log.lines.size(), 5u);
    // Fields beyond those a word reads are ignored; blanks and quotes belong to the field.
    rig.P().ExecuteCommand("SEND>$PQNVHOT>junk");
    rig.P().ExecuteCommand("SEND> \"text string\"");
    rig.P().ExecuteCommand("SEND>");
    EXPECT_EQ(rig.calls, (Calls{"SendCommandToDevices($PQNVHOT)", "SendCommandToDevices( \"text string\")",
                                "SendCommandToDevices()"}));
    // Eleven fields at most: the twelfth is not part of A11.
    rig.calls.clear();
    rig.P().ExecuteCommand("RESADDLINELABLE>1>2>3>4>5>6>7>8>9>10>11>12");
    EXPECT_EQ(rig.calls, Calls{"AddLineLable(1,2)"});
    rig.calls.clear();
    rig.P().ExecuteCommand("CHANGESECONDARYLOG>1>2>3>4>5>6>7>8>9>10>11>12");
    EXPECT_EQ(rig.calls, Calls{"TestingChangeSecondaryLogFile(1.txt)"});
}

TEST(ScriptLanguage, BadFieldsAreLoggedWithTheLineAndNothingRuns) {
    struct Bad {
        const char* line;
        const char* field;
    };
    const std::vector<Bad> bad{
        {"SIMSETPOWER>", "A1"},                      // a real may not be empty
        {"SIMSETPOWER>-1,5", "A1"},                  // nor use a decimal comma
        {"SIMSETSATPOWER>3>abc", "A2"},
        {"SIMTURNALLONOFF>40000", "A1"},             // int out of 16 bits
        {"SWITCHRTS>256", "A1"},                     // byte out of range
        {"SWITCHRTSONPORT>3>-1", "A2"},
        {"SENDGENCMD>3>99999999999>X", "A2"},        // long out of 32 bits
        {"SIMAUTOSTART>1>2>3>4>yes>6>7", "A5"},      // flag
        {"DELAY>10", "A1"},                          // time
        {"DELAY>05/03/2011", "A1"},                  // a date would wait for decades
        {"DELAY>24:00:00", "A1"},
        {"WAITUTCSEC>75", "A1"},                     // no minute has that second
        {"OPENFILE>21>x", "A1"},
        {"OPENFILE>0>x", "A1"},
        // Numbers beyond any double: out of range, never an infinity or a
        // different number ("1e4294967297" once read as 10).
        {"SIMSETSATPOWER>1>1e400", "A2"},
        {"SIMSETPOWER>-1e400", "A1"},
        {"WAITFIX>1e4294967297", "A1"},
        {"SIMTURNALLONOFF>1e400", "A1"},
        {"RANDOMDELAY>1e999>1e999", "A1"},
        {"RANDOMDELAY>-1.7e308>1.7e308", "A2"},  // a span beyond any double, drawn at 0
        {"SENDEXTCONTROLCOMMAND>1e400", "A1"},
        // An interval that never ticks would send nothing.
        {"SENDCHRS>0>$PQNVX", "A1"},
        {"SENDCHRS>-5>$PQNVX", "A1"},
    };
    for (const Bad& b : bad) {
        SCOPED_TRACE(b.line);
        Rig rig;
        rig.P().ExecuteCommand(b.line);
        EXPECT_TRUE(rig.calls.empty());
        EXPECT_EQ(rig.P().State().StepState, 0);
        ASSERT_EQ(rig.log.lines.size(), 1u);
        EXPECT_NE(rig.log.lines[0].find(std::string("field ") + b.field), std::string::npos) << rig.log.lines[0];
        EXPECT_NE(rig.log.lines[0].find(b.line), std::string::npos) << rig.log.lines[0];
    }
    // Accepted forms of the same conversions.
    Rig rig;
    rig.P().ExecuteCommand("SIMAUTOSTART>1>2>3>4>false>6>7");
    rig.P().ExecuteCommand("SIMAUTOSTART>1>2>3>4>2>6>7");
    EXPECT_EQ(rig.calls, (Calls{"SimRestart(1,2,3,4,0,6,7,true)", "SimRestart(1,2,3,4,-1,6,7,true)"}));
    rig.P().ExecuteCommand("DELAY>0:2:5");
    EXPECT_NEAR((rig.P().State().DelayEnd - rig.clock.Now()) * 86400.0, 125.0, 1e-3);
    EXPECT_TRUE(rig.log.lines.empty());
}

TEST(ScriptLanguage, RandomDelayDrawsWholeSecondsBetweenItsLimits) {
    Rig rig;
    auto& st = rig.P().State();
    rig.random.values = {0.5};
    rig.P().ExecuteCommand("RANDOMDELAY>5>5");
    EXPECT_NEAR((st.DelayEnd - rig.clock.Now()) * 86400.0, 5.0, 1e-3);
    rig.random.values = {0.5};
    rig.P().ExecuteCommand("RANDOMDELAY>10>20");
    EXPECT_NEAR((st.DelayEnd - rig.clock.Now()) * 86400.0, 15.0, 1e-3);
    // Limits that give a negative delay wait nothing instead of failing.
    rig.random.values = {0.0};
    rig.P().ExecuteCommand("RANDOMDELAY>-30>-10");
    EXPECT_EQ(st.StepState, 1);
    EXPECT_NEAR((st.DelayEnd - rig.clock.Now()) * 86400.0, 0.0, 1e-3);
    // Longer than a day still counts in seconds.
    rig.random.values = {0.0};
    rig.P().ExecuteCommand("RANDOMDELAY>90000>90000");
    EXPECT_NEAR((st.DelayEnd - rig.clock.Now()) * 86400.0, 90000.0, 1e-2);
}

TEST(ScriptLanguage, RepeatCountsAndTheLogNamesTheyGive) {
    Rig rig;
    rig.P().SetLines({"REPEATSTART>3", "CHANGESECONDARYLOG>", "SEND>$PQNVHOT", "REPEATEND>"});
    std::vector<std::string> status;
    rig.P().changed = [&] {
        if (status.empty() || status.back() != rig.P().StatusText()) status.push_back(rig.P().StatusText());
    };
    rig.P().ScriptRun();
    for (int i = 0; i < 40 && !rig.P().GetScriptEndStatus(); ++i) rig.Tick();
    EXPECT_TRUE(rig.P().GetScriptEndStatus());
    EXPECT_EQ(rig.calls, (Calls{"TestingChangeSecondaryLogFile(3.txt)", "SendCommandToDevices($PQNVHOT)",
                                "TestingChangeSecondaryLogFile(2.txt)", "SendCommandToDevices($PQNVHOT)",
                                "TestingChangeSecondaryLogFile(1.txt)", "SendCommandToDevices($PQNVHOT)"}));
    EXPECT_EQ(status, (std::vector<std::string>{"", "Remaining Cycles 3", "Remaining Cycles 2", "Remaining Cycles 1",
                                                "Remaining Cycles 0"}));

    // Zero cycles run the block once and count down to -1.
    Rig once;
    once.P().SetLines({"REPEATSTART>0", "SEND>A", "REPEATEND>"});
    once.P().ScriptRun();
    for (int i = 0; i < 20 && !once.P().GetScriptEndStatus(); ++i) once.Tick();
    EXPECT_EQ(once.calls, Calls{"SendCommandToDevices(A)"});
    EXPECT_EQ(once.P().StatusText(), "Remaining Cycles -1");
}

TEST(ScriptLanguage, PerDeviceFilesAreNamedFromTheLogAndAppendedTo) {
    test::TempHome home;
    Rig rig(home.Path());
    rig.bench.logBase[0] = home.File("Dev1_TTFF_COLD_NMEA");
    rig.bench.logBase[2] = "C:\\Dev3_TTFF_COLD_NMEA";  // a stored path: made under the program folder
    rig.bench.logBase[1] = home.File("Dev2_TTFF_COLD_NMEA");  // not enabled
    const std::string f1 = home.File("Dev1_TTFF_COLD_FIX.txt");
    const std::string f3 = home.File("Dev3_TTFF_COLD_FIX.txt");
    test::WriteFileBytes(f1, "earlier\r\n");

    rig.P().ExecuteCommand("OPENFILE>3>FIX");
    rig.P().ExecuteCommand("WRITETOFILE>3>trial 1: ");
    rig.P().ExecuteCommand("WRITEGGATOFILE>3");
    rig.P().ExecuteCommand("CLOSEFILE>3");
    // Opened again: what was written stays, the new text goes after it.
    rig.P().ExecuteCommand("OPENFILE>3>FIX");
    rig.P().ExecuteCommand("OPENFILE>3>FIX");  // twice: the first handle is closed, not leaked
    rig.P().ExecuteCommand("WRITETOFILE>3>x");
    rig.P().ExecuteCommand("CLOSEFILE>3");

    EXPECT_EQ(test::ReadFileBytes(f1), "earlier\r\ntrial 1: $GPGGA,slot0*00\r\nx");
    EXPECT_EQ(test::ReadFileBytes(f3), "trial 1: $GPGGA,slot2*00\r\nx");
    EXPECT_FALSE(std::filesystem::exists(home.File("Dev2_TTFF_COLD_FIX.txt"))) << "a disabled device gets no file";
    EXPECT_TRUE(rig.log.lines.empty()) << rig.log.lines.front();

    // Slots never opened, and a device without a log name, are logged and skipped.
    rig.P().ExecuteCommand("WRITETOFILE>4>lost");
    rig.P().ExecuteCommand("CLOSEFILE>4");
    EXPECT_EQ(rig.log.lines.size(), 4u);
    rig.bench.logBase[0] = "";
    rig.P().ExecuteCommand("OPENFILE>5>Y");
    EXPECT_TRUE(rig.LogHas("no log name"));
}

TEST(ScriptLanguage, ProgramStartsAndMissingNeighbours) {
    Rig rig;
    rig.P().ExecuteCommand("DOSCMD>echo \xE9t\xE9 > out.txt");
    ASSERT_EQ(rig.launcher.started.size(), 1u);
    EXPECT_EQ(rig.launcher.started[0].first, "/bin/sh");
    // The field is Windows-1252 text; the shell gets it as UTF-8.
    EXPECT_EQ(rig.launcher.started[0].second, (std::vector<std::string>{"-c", "echo \xC3\xA9t\xC3\xA9 "}))
        << "the text stops at the next \">\"";
    EXPECT_TRUE(rig.LogHas("DOSCMD: echo"));
    rig.launcher.ok = false;
    rig.P().ExecuteCommand("DOSCMD>nothing-here");
    EXPECT_TRUE(rig.LogHas("DOSCMD could not start: nothing-here"));

    // A panel without a simulator or driver says so for each line that needs one.
    bench::instruments::ScriptPanelServices s;
    fakes::FakeSystemLog log;
    s.log = &log;
    s.clock = &rig.clock;
    bench::instruments::CommandPanel bare(s);
    bare.ExecuteCommand("SIMSTART>");
    bare.ExecuteCommand("SENDEXTCONTROLCOMMAND>520");
    bare.ExecuteCommand("SEND>$PQNVHOT");
    ASSERT_EQ(log.lines.size(), 3u);
    EXPECT_NE(log.lines[0].find("simulator window is not available"), std::string::npos) << log.lines[0];
    EXPECT_NE(log.lines[1].find("external-program driver is not available"), std::string::npos);
}

}  // namespace
