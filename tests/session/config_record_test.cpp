// The operations on the configuration record itself.
#include "bench/session/config.h"

#include "platform/core/error.h"

#include <gtest/gtest.h>

using namespace bench;

namespace {

// An entry with every field away from its default.
TestEntry Busy(int i) {
    TestEntry t;
    t.Enabled = -1;
    t.Type = "SYNC_WARM";
    t.Trials = static_cast<int16_t>(10 + i);
    t.MinDelay = 5;
    t.MaxDelay = 2;
    t.AlmanacWait = -1;
    t.Simulator = -1;
    t.SimSetupTime = 90;
    t.EndPower = -150;
    t.StartPower = -130;
    t.FirstSatEn = -1;
    t.FirstSatPower = -140;
    t.FirstSatChannel = 1;
    t.PowerStep = 1;
    t.ScriptCount = 1;
    t.ScriptFiles[0] = "a.txt";
    t.ScriptFiles[29] = "z.txt";
    t.SimPower = -125;
    t.Rewind = -1;
    t.TttrkOption = 1;
    t.TttrkSats = 4;
    t.TttrkTime = 30;
    t.SimPowerRepeat = -125;
    t.Reserved = 9;
    t.OffTime = 15;
    t.SingleSatEn = -1;
    t.SingleSatStartPower = -130;
    t.SingleSatEndPower = -145;
    t.SingleSatStep = 0.5;
    t.SingleSatChannel = 3;
    t.ScenarioFile = "s.scn";
    t.AlmanacFile = "alm.txt";
    t.LabSat = -1;
    t.LabSatBinFile = "x.bin";
    t.LabSatStart = 60;
    t.LabSatDuration = 120;
    t.LabSatIterations = 4;
    t.LabSatAttenuation = 6;
    return t;
}

}  // namespace

TEST(ConfigRecord, ResetClearsOnlyTheScenarioFlagsAndFilesOfEveryEntry) {
    SystemConfig c;
    c.Devices[1].DevEN = -1;
    c.Devices[1].DName = "kept";
    for (int i = 0; i < TestSlots; ++i) {
        c.Tests[i] = Busy(i);
        c.TestLines[i] = "line " + std::to_string(i);
    }
    SystemConfig expected = c;
    for (TestEntry& t : expected.Tests) {
        t.Enabled = 0;
        t.AlmanacWait = 0;
        t.Simulator = 0;
        t.FirstSatEn = 0;
        t.SingleSatEn = 0;
        t.LabSat = 0;
        t.AlmanacFile = "";
        t.LabSatBinFile = "";
    }
    SystemConfigReset(c);
    EXPECT_TRUE(c == expected);
    EXPECT_EQ(c.Tests[127].ScenarioFile, "s.scn");
    EXPECT_EQ(c.Tests[127].Trials, 137);
    EXPECT_EQ(c.TestLines[127], "line 127");
}

TEST(ConfigRecord, NcoSettingsGoToTheirSlotOnly) {
    SystemConfig c;
    BadNCOParametersSetting(c, 2, -500, 1500, 100, "$PQNVNCO,");
    EXPECT_EQ(c.Devices[2].NcoStart, -500);
    EXPECT_EQ(c.Devices[2].NcoMax, 1500);
    EXPECT_EQ(c.Devices[2].NcoStep, 100);
    EXPECT_EQ(c.Devices[2].BadNcoC, "$PQNVNCO,");
    SystemConfig others = SystemConfig{};
    others.Devices[2] = c.Devices[2];
    EXPECT_TRUE(c == others);

    for (int slot : {-1, 4}) {
        try {
            BadNCOParametersSetting(c, slot, 1, 2, 3, "x");
            ADD_FAILURE() << "slot " << slot << " accepted";
        } catch (const platform::BenchError& e) {
            EXPECT_EQ(e.Number(), platform::err::BadArgument);
        }
    }
    EXPECT_TRUE(c == others);
}
