// The test-list line: what the editor writes and what the engine gets.
#include "bench/session/test_line.h"

#include "platform/core/error.h"

#include <gtest/gtest.h>

using namespace bench;

namespace {

TestEntry Parse(const std::string& line, TestEntry start = {}) {
    ParseTestLine(line, start);
    return start;
}

std::string SimFields() {
    // Setup, power, start, end, step, off, channel, channel power, single
    // channel, its start, end, step, scenario file, almanac file, options.
    return "120,-130.5,-125,-145,-2.5,30,4,-128,7,-130,-150,-1,scn\\a.scn,alm.txt,1,0,1";
}

TEST(TestLine, ColdOnTheRoofReadsTheAcquisitionSection) {
    const TestEntry t = Parse("COLD,0,50,15,45,6,10,-1,0,");
    EXPECT_EQ(t.Enabled, FlagSet);
    EXPECT_EQ(t.Type, "COLD");
    EXPECT_EQ(t.Trials, 50);
    EXPECT_EQ(t.MinDelay, 15);
    EXPECT_EQ(t.MaxDelay, 45);
    EXPECT_EQ(t.TttrkSats, 6);
    EXPECT_EQ(t.TttrkTime, 10);
    EXPECT_EQ(t.TttrkOption, 0);
    EXPECT_EQ(t.AlmanacFile, "");
    EXPECT_EQ(t.Simulator, FlagClear);
    EXPECT_EQ(t.LabSat, FlagClear);

    EXPECT_EQ(Parse("COLD,0,50,15,45,6,10,0,-1,").TttrkOption, 1);
}

TEST(TestLine, ScriptLineTakesItsFileAndTheAlmanac) {
    const TestEntry t = Parse("SCRIPT,0,scripts\\night.txt,alm\\week.txt");
    EXPECT_EQ(t.ScriptFiles[0], "scripts\\night.txt");
    EXPECT_EQ(t.ScriptCount, 1);
    EXPECT_EQ(t.AlmanacFile, "alm\\week.txt");
}

TEST(TestLine, SimulatorSectionStartsAfterTheScenarioForTypesWithoutAcquisition) {
    const TestEntry t = Parse("TRACK24H,1," + SimFields());
    EXPECT_EQ(t.Simulator, FlagSet);
    EXPECT_EQ(t.SimSetupTime, 120);
    EXPECT_DOUBLE_EQ(t.SimPower, -130.5);
    EXPECT_DOUBLE_EQ(t.SimPowerRepeat, -130.5);
    EXPECT_DOUBLE_EQ(t.StartPower, -125);
    EXPECT_DOUBLE_EQ(t.EndPower, -145);
    EXPECT_DOUBLE_EQ(t.PowerStep, -2.5);
    EXPECT_EQ(t.OffTime, 30);
    EXPECT_EQ(t.FirstSatChannel, 4);
    EXPECT_EQ(t.FirstSatPower, -128);
    EXPECT_EQ(t.SingleSatChannel, 7);
    EXPECT_DOUBLE_EQ(t.SingleSatStartPower, -130);
    EXPECT_DOUBLE_EQ(t.SingleSatEndPower, -150);
    EXPECT_DOUBLE_EQ(t.SingleSatStep, -1);
    EXPECT_EQ(t.ScenarioFile, "scn\\a.scn");
    EXPECT_EQ(t.AlmanacFile, "alm.txt");
    EXPECT_EQ(t.Rewind, FlagSet);
    EXPECT_EQ(t.FirstSatEn, FlagClear);
    EXPECT_EQ(t.SingleSatEn, FlagSet);
    EXPECT_EQ(t.Trials, 0) << "no acquisition section in a TRACK24H line";
}

TEST(TestLine, LabSatSectionAfterTheAcquisitionSection) {
    const TestEntry t = Parse("HOT,2,10,5,9,6,10,-1,0,d:\\bins\\x.bin,100,3600,2,alm.txt,12");
    EXPECT_EQ(t.Trials, 10);
    EXPECT_EQ(t.LabSat, FlagSet);
    EXPECT_EQ(t.LabSatBinFile, "d:\\bins\\x.bin");
    EXPECT_EQ(t.LabSatStart, 100);
    EXPECT_EQ(t.LabSatDuration, 3600);
    EXPECT_EQ(t.LabSatIterations, 2);
    EXPECT_EQ(t.AlmanacFile, "alm.txt");
    EXPECT_EQ(t.LabSatAttenuation, 12);
}

TEST(TestLine, UnknownScenarioReadsOnlyTypeAndTypeSection) {
    TestEntry before;
    before.AlmanacFile = "old.txt";
    before.SimSetupTime = 77;
    const TestEntry t = Parse("WARM,3,20,1,2,3,4,-1,0,x.txt", before);
    EXPECT_EQ(t.Type, "WARM");
    EXPECT_EQ(t.Trials, 20);
    EXPECT_EQ(t.Simulator, FlagClear);
    EXPECT_EQ(t.LabSat, FlagClear);
    EXPECT_EQ(t.AlmanacFile, "old.txt");
    EXPECT_EQ(t.SimSetupTime, 77);
}

TEST(TestLine, NumbersAreLeadingNumbersRoundedHalfToEven) {
    EXPECT_EQ(Parse("COLD,0,2.5,3.5,x,6s,,-1,0,").Trials, 2);
    EXPECT_EQ(Parse("COLD,0,2.5,3.5,x,6s,,-1,0,").MinDelay, 4);
    EXPECT_EQ(Parse("COLD,0,2.5,3.5,x,6s,,-1,0,").MaxDelay, 0);
    EXPECT_EQ(Parse("COLD,0,2.5,3.5,x,6s,,-1,0,").TttrkSats, 6);
}

TEST(TestLine, OverflowNamesTheFieldAndLeavesTheEntryAlone) {
    TestEntry t;
    t.Trials = 9;
    try {
        ParseTestLine("COLD,0,40000,15,45,6,10,-1,0,", t);
        FAIL() << "40000 trials accepted";
    } catch (const platform::BenchError& e) {
        EXPECT_EQ(e.Number(), platform::err::Overflow);
        EXPECT_NE(e.Description().find("Number"), std::string::npos) << e.Description();
    }
    EXPECT_EQ(t.Trials, 9);
    EXPECT_EQ(t.Enabled, FlagClear);
}

TEST(TestLine, SplitTakesAtMost128CommasAndDropsOneTrailingComma) {
    EXPECT_EQ(SplitTestLine("")[0], "");
    auto f = SplitTestLine("A,B,");
    EXPECT_EQ(f[1], "B");
    EXPECT_EQ(f[2], "");
    std::string line = "F0";
    for (int i = 1; i <= 130; ++i) line += "," + std::to_string(i);
    line += ",";
    f = SplitTestLine(line);
    EXPECT_EQ(f[127], "127");
    EXPECT_EQ(f[128], "128,129,130") << "the rest, less one trailing comma";
}

TEST(TestLine, EditorLinesParseBackToWhatWasTyped) {
    TestEditorValues v;
    EXPECT_EQ(BuildTestLine(v), "COLD,0,50,15,45,6,10,-1,0,");
    v.type = "SYNC_HOT";
    v.scenario = ScenarioSimulator;
    v.ttff = false;
    v.simData = {"90", "-130", "-125", "-140", "-5", "20", "3", "-129", "8", "-131", "-141", "-2", "a.scn", "b.txt"};
    v.simOption = {false, true, true};
    const std::string line = BuildTestLine(v);
    EXPECT_EQ(line, "SYNC_HOT,1,50,15,45,6,10,0,-1,90,-130,-125,-140,-5,20,3,-129,8,-131,-141,-2,a.scn,b.txt,0,1,1");
    const TestEntry t = Parse(line);
    EXPECT_EQ(t.TttrkOption, 1);
    EXPECT_EQ(t.FirstSatEn, FlagSet);
    EXPECT_EQ(t.Rewind, FlagClear);
    const TestEditorValues back = EditorValuesFromLine(line, TestEditorValues{});
    EXPECT_EQ(BuildTestLine(back), line);
    EXPECT_FALSE(back.ttff);

    TestEditorValues s;
    s.type = "SCRIPT";
    s.scriptFile = "s.txt";
    s.almanacsFile = "a.txt";
    EXPECT_EQ(BuildTestLine(s), "SCRIPT,0,s.txt,a.txt");
    TestEditorValues l;
    l.type = "BAD_NCO";
    l.scenario = ScenarioLabSat;
    l.labSatData = {"x.bin", "0", "60", "1", "", "5"};
    EXPECT_EQ(BuildTestLine(l), "BAD_NCO,2,50,15,45,6,10,-1,0,x.bin,0,60,1,,5");
}

TEST(TestLine, BadNcoAndReacquisitionCarryTheirOwnTrialsAndStillReadOlderLines) {
    TestEntry stale;
    stale.Trials = 99;
    stale.MinDelay = 7;
    const TestEntry fresh = Parse("BAD_NCO,0,20,5,10,6,10,-1,0,alm.txt", stale);
    EXPECT_EQ(fresh.Trials, 20);
    EXPECT_EQ(fresh.MinDelay, 5);
    EXPECT_EQ(fresh.AlmanacFile, "alm.txt");
    const TestEntry older = Parse("BAD_NCO,0,alm.txt", stale);
    EXPECT_EQ(older.Trials, 99) << "an older line has no trials of its own";
    EXPECT_EQ(older.AlmanacFile, "alm.txt");

    const TestEntry reacq = Parse("REACQUISITION,1,3,10,20,6,10,0,-1," + SimFields(), stale);
    EXPECT_EQ(reacq.Trials, 3);
    EXPECT_EQ(reacq.TttrkOption, 1);
    EXPECT_EQ(reacq.SimSetupTime, 120);
    EXPECT_EQ(reacq.SingleSatEn, FlagSet);
    const TestEntry reacqOlder = Parse("REACQUISITION,1," + SimFields(), stale);
    EXPECT_EQ(reacqOlder.Trials, 99);
    EXPECT_EQ(reacqOlder.SimSetupTime, 120);
    EXPECT_EQ(reacqOlder.ScenarioFile, "scn\\a.scn");
    EXPECT_EQ(EditorValuesFromLine("REACQUISITION,1," + SimFields(), TestEditorValues{}).simData[0], "120");
}

TEST(TestLine, EditorValuesThatCannotBecomeALineAreNamed) {
    TestEditorValues v;
    EXPECT_EQ(CheckTestEditorValues(v), "");
    v.almanacsFile = "alm,1.txt";
    EXPECT_NE(CheckTestEditorValues(v).find("comma"), std::string::npos);
    v.almanacsFile.clear();
    v.testField[2] = "99999";
    EXPECT_NE(CheckTestEditorValues(v).find("Max Delay"), std::string::npos);
    v.testField[2] = "45";
    v.scenario = ScenarioLabSat;
    v.labSatData[1] = "3000000000";
    EXPECT_NE(CheckTestEditorValues(v).find("Start Time"), std::string::npos);
}

}  // namespace
