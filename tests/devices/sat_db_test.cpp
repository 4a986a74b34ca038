// The satellite database: C/N0 statistics, acquisition and stability counts,
// time to acquire with its statistics, the resets at a receiver restart and
// the stable-tracking count of the time-to-track test.
#include "bench/devices/sat_db.h"
#include "bench/devices/timing.h"

#include "tests/devices/satellite_bench.h"

using namespace bench;

namespace {

class SatDBTest : public test::SatelliteBench {
protected:
    // One epoch of tracking for each satellite, a second apart.
    void Track(std::initializer_list<int> ids, int16_t cn0, int epochs = 1) {
        for (int e = 0; e < epochs; ++e) {
            for (int id : ids) SatDB_Update(dev, static_cast<int16_t>(id), cn0);
            clock.AdvanceSeconds(1);
        }
    }
};

}  // namespace

TEST_F(SatDBTest, CN0StatisticsFollowTheSamplesOverTheRing) {
    dev.GGATimeText = "12:00:01.00";
    SatDB_Update(dev, 7, 40);
    const SatDBEntry& e = dev.Sats[7];
    EXPECT_EQ(e.MeanCN0, 40);
    EXPECT_EQ(e.MinCN0, 40);
    EXPECT_EQ(e.MaxCN0, 40);
    EXPECT_EQ(e.FirstSampleTime, "12:00:01.00");
    dev.GGATimeText = "12:00:02.00";
    SatDB_Update(dev, 7, 42);
    SatDB_Update(dev, 7, 38);
    EXPECT_EQ(e.MaxCN0, 42);
    EXPECT_EQ(e.MinCN0, 38);
    EXPECT_DOUBLE_EQ(e.MeanCN0, 40);
    EXPECT_EQ(e.FirstSampleTime, "12:00:01.00");
    EXPECT_EQ(e.CN0Count, 3);
    EXPECT_TRUE(e.SeenThisEpoch);

    // The mean covers the last ten samples only.
    for (int i = 0; i < 9; ++i) SatDB_Update(dev, 7, 30);
    EXPECT_DOUBLE_EQ(e.MeanCN0, (38 + 9 * 30) / 10.0);
    SatDB_Update(dev, 7, 30);
    EXPECT_DOUBLE_EQ(e.MeanCN0, 30);
    EXPECT_EQ(e.MaxCN0, 42);

    // After a count reset the first sample restarts min, max and mean; the
    // ring keeps its old slots, so the next mean still counts them.
    SatDB_ResetCN0Counts(dev);
    SatDB_Update(dev, 7, 50);
    EXPECT_EQ(e.MaxCN0, 50);
    EXPECT_EQ(e.MinCN0, 50);
    EXPECT_EQ(e.MeanCN0, 50);
    SatDB_Update(dev, 7, 44);
    EXPECT_DOUBLE_EQ(e.MeanCN0, CN0MeanEvaluation(dev, 2, 7));
    EXPECT_EQ(e.MinCN0, 44);
}

TEST_F(SatDBTest, ZeroCN0IsSeenButNotTracked) {
    SatDB_Reset(dev, clock.Now());
    Track({5}, 35, 4);
    ASSERT_EQ(dev.Sats[5].AcquiredEpochs, 4);
    SatDB_Update(dev, 5, 0);
    const SatDBEntry& e = dev.Sats[5];
    EXPECT_TRUE(e.SeenThisEpoch);
    EXPECT_EQ(e.CN0, 0);
    EXPECT_EQ(e.AcquiredEpochs, 0);
    EXPECT_EQ(e.TrackTime, 0);
    EXPECT_FALSE(e.T2AValid);
    EXPECT_EQ(e.CN0Count, 4) << "an untracked sample is no C/N0 sample";
    EXPECT_EQ(e.CN0Samples.size(), 4u);
}

TEST_F(SatDBTest, TimeToAcquireEntersTheStatisticsAtTheTenthStableEpoch) {
    const double restart = clock.Now();
    SatDB_Reset(dev, restart);
    clock.AdvanceSeconds(35);
    Track({12}, 33);
    const SatDBEntry& e = dev.Sats[12];
    EXPECT_TRUE(e.T2AValid);
    EXPECT_EQ(e.T2A, 35);
    Track({12}, 33, 8);
    EXPECT_EQ(e.AcquiredEpochs, 9);
    EXPECT_EQ(e.T2ASamples, 0) << "not at the 9th";
    Track({12}, 33);
    EXPECT_EQ(e.T2ASamples, 1) << "at the 10th";
    EXPECT_TRUE(e.T2AStatsDone);
    Track({12}, 33);
    EXPECT_EQ(e.T2ASamples, 1) << "not again at the 11th";
    EXPECT_EQ(e.T2AMin, 35) << "the first sample is below the initial 86400";
    EXPECT_EQ(e.T2AMax, 35);

    // Lost, then acquired again: measured from the same restart.
    SatDB_Update(dev, 12, 0);
    clock.AdvanceSeconds(50 - 46);
    Track({12}, 30, 10);
    EXPECT_EQ(e.T2A, 50);
    EXPECT_EQ(e.T2ASamples, 2);
    EXPECT_EQ(e.T2AMin, 35);
    EXPECT_EQ(e.T2AMax, 50);
    EXPECT_DOUBLE_EQ(e.T2AMean, 42.5);
}

TEST_F(SatDBTest, NoTimeToAcquireBeforeAnyRestart) {
    Track({3}, 40, 10);
    const SatDBEntry& e = dev.Sats[3];
    EXPECT_FALSE(e.T2AValid) << "nothing to measure from";
    EXPECT_EQ(e.T2ASamples, 0);
    EXPECT_EQ(e.T2AMin, 86400);
    EXPECT_EQ(e.T2UMin, 86400);
}

TEST_F(SatDBTest, SatelliteNumbersOutsideTheDatabaseChangeNothing) {
    SatDB_Update(dev, 0, 40);
    SatDB_Update(dev, 256, 40);
    SatDB_Update(dev, -3, 40);
    for (int id = 1; id <= 255; ++id) ASSERT_FALSE(dev.Sats[id].SeenThisEpoch) << id;
    EXPECT_FALSE(dev.Sats[0].SeenThisEpoch);
    auto lines = LogLines("SatDB_Update");
    ASSERT_EQ(lines.size(), 1u) << "reported once, the others counted";
    EXPECT_NE(lines[0].find("Subscript out of range (SatDB_Update)"), std::string::npos);
    dev.DeviceName = "ROOF";
    WriteCountedReports(dev);
    lines = LogLines("SatDB_Update");
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_NE(lines[1].find("Device ROOF: 2 more \"Subscript out of range (SatDB_Update)\""), std::string::npos)
        << lines[1];
}

TEST_F(SatDBTest, RestartRearmsWithoutTouchingFiguresOrColours) {
    SatDB_Reset(dev, clock.Now());
    clock.AdvanceSeconds(20);
    Track({9}, 41, 12);
    SatDBEntry& e = dev.Sats[9];
    e.FillColor = 0x123456;
    e.UsedEpochs = 4;
    e.T2UValid = true;
    e.EphValid = true;
    const double restart = clock.Now();
    SatDB_Reset(dev, restart);
    EXPECT_EQ(e.AcquiredEpochs, 0);
    EXPECT_FALSE(e.T2AValid);
    EXPECT_FALSE(e.T2AStatsDone);
    EXPECT_EQ(e.T2A, 0);
    EXPECT_TRUE(e.T2AArmed);
    EXPECT_TRUE(e.T2UArmed);
    EXPECT_TRUE(e.EphArmed);
    EXPECT_FALSE(e.EphValid);
    EXPECT_EQ(e.UsedEpochs, 0);
    EXPECT_FALSE(e.T2UValid);
    EXPECT_EQ(e.ReferenceTime, restart);
    EXPECT_EQ(e.FillColor, 0x123456u);
    EXPECT_EQ(e.CN0Count, 12);
    EXPECT_EQ(e.MaxCN0, 41);
    EXPECT_EQ(e.T2ASamples, 1);
    EXPECT_EQ(e.TrackTime, 12);
}

TEST_F(SatDBTest, StableTrackingCountsTrackedGpsSatellitesOnly) {
    SatDB_Reset(dev, clock.Now());
    Track({1, 2, 3, 70, 200}, 40, 5);
    Track({1, 2}, 40, 1);
    SatDB_Update(dev, 3, 0);  // lost
    EXPECT_EQ(StableTrackedCount(dev, 6), 2) << "threshold inclusive";
    EXPECT_EQ(StableTrackedCount(dev, 5), 2) << "a lost satellite does not count";
    EXPECT_EQ(StableTrackedCount(dev, 7), 0);
    EXPECT_EQ(StableTrackedCount(dev, 1), 2) << "ids above 32 are ignored, never-seen ids too";
    EXPECT_EQ(StableTrackedCount(dev, 0), 2);
    dev.TTTRKSats = 2;
    dev.TTTRKTime = 6;
    EXPECT_TRUE(TTTRKSatellitesReached(dev));
    dev.TTTRKTime = 7;
    EXPECT_FALSE(TTTRKSatellitesReached(dev));
    dev.TTTRKTime = 1;
    dev.TTTRKSats = 3;
    EXPECT_FALSE(TTTRKSatellitesReached(dev)) << "satellites 70 and 200 do not make up the third";
    SatDB_Reset(dev, clock.Now());
    dev.TTTRKSats = 0;
    EXPECT_FALSE(TTTRKSatellitesReached(dev)) << "a goal of none still wants a satellite tracked since the restart";
    EXPECT_EQ(TTTRKGoalMonotonicMs(dev), -1);
}

TEST_F(SatDBTest, TheGoalIsReachedWhenTheLastWantedSatelliteBeganItsRun) {
    SatDB_Reset(dev, clock.Now());
    const int64_t t0 = clock.MonotonicMs();
    // Satellite 5 first, 9 a second later, 12 two seconds after that.
    for (int epoch = 0; epoch < 6; ++epoch) {
        SatDB_Update(dev, 5, 40);
        if (epoch >= 1) SatDB_Update(dev, 9, 38);
        if (epoch >= 3) SatDB_Update(dev, 12, 36);
        clock.Advance(1000);
    }
    dev.TTTRKTime = 3;
    dev.TTTRKSats = 2;
    EXPECT_EQ(TTTRKGoalMonotonicMs(dev), t0 + 1000) << "the second satellite's first tracked epoch";
    dev.TTTRKSats = 3;
    EXPECT_EQ(TTTRKGoalMonotonicMs(dev), t0 + 3000);
    dev.TTTRKTime = 4;
    EXPECT_EQ(TTTRKGoalMonotonicMs(dev), -1) << "satellite 12 has three tracked epochs only";
}

TEST_F(SatDBTest, TableClearBlanksTheRowsButKeepsTheTrackTimer) {
    for (int r = 0; r < 32; ++r) {
        for (CellRow* column : {&dev.SatId, &dev.CN0Ave, &dev.CN0Max, &dev.CN0Min, &dev.Tim, &dev.T2U, &dev.T2DE,
                                &dev.EPH, &dev.AZ, &dev.EL, &dev.Cn0, &dev.TrackTimer})
            (*column)[r]->SetText("x");
        dev.SatBar[r]->SetTop(1000);
        dev.SatBar[r]->SetHeight(500);
        dev.TsRowId[r] = static_cast<int16_t>(r + 1);
        dev.TsRowCn0[r] = 40;
    }
    Track({4, 90}, 40, 3);
    SatTableClear(dev);
    for (int r = 0; r < 32; ++r) {
        for (CellRow* column : {&dev.SatId, &dev.CN0Ave, &dev.CN0Max, &dev.CN0Min, &dev.Tim, &dev.T2U, &dev.T2DE,
                                &dev.EPH, &dev.AZ, &dev.EL, &dev.Cn0})
            EXPECT_EQ((*column)[r]->Text(), "") << r;
        EXPECT_EQ(dev.TrackTimer[r]->Text(), "x");
        EXPECT_EQ(dev.SatBar[r]->Height(), 0);
        EXPECT_EQ(dev.SatBar[r]->Top(), 1500) << "the bar keeps its bottom edge";
        EXPECT_EQ(dev.TsRowId[r], 0);
        EXPECT_EQ(dev.TsRowCn0[r], 0);
    }
    EXPECT_EQ(dev.Sats[4].CN0Count, 0);
    EXPECT_EQ(dev.Sats[90].CN0Count, 0);
    EXPECT_TRUE(dev.Sats[90].CN0Samples.empty());
    EXPECT_EQ(dev.Sats[90].MaxCN0, 40);
}

TEST_F(SatDBTest, StatisticsResetCoversSatellitesOneToThirtyTwo) {
    SatDB_Reset(dev, clock.Now());
    clock.AdvanceSeconds(10);
    Track({4, 40}, 40, 10);
    ASSERT_EQ(dev.Sats[4].T2ASamples, 1);
    SatDB_ResetT2AT2UStatistics(dev);
    EXPECT_EQ(dev.Sats[4].T2ASamples, 0);
    EXPECT_EQ(dev.Sats[4].T2AMin, 86400);
    EXPECT_EQ(dev.Sats[4].T2AMax, 0);
    EXPECT_EQ(dev.Sats[4].T2AMean, 0);
    EXPECT_EQ(dev.Sats[40].T2ASamples, 1);
    SatDB_ResetTrackCounts(dev);
    EXPECT_EQ(dev.Sats[40].TrackTime, 0);
}

TEST_F(SatDBTest, RestartStartsTheDifferentialClockAgain) {
    dev.DiffOn = true;
    dev.DiffOnTime = 12.5;
    dev.SBASCount = 7;
    dev.SBASTime = 30;
    clock.AdvanceSeconds(3.25);
    DiffOnReset(dev, 46000.25);
    EXPECT_FALSE(dev.DiffOn);
    EXPECT_EQ(dev.DiffOnTime, 0);
    EXPECT_EQ(dev.SBASCount, 0);
    EXPECT_EQ(dev.SBASTime, 0);
    EXPECT_EQ(dev.DiffReference, 46000.25);
    clock.AdvanceSeconds(4.5);
    EXPECT_DOUBLE_EQ(ElapsedSecondsSince(dev.DiffClock, clock), 4.5);
}
