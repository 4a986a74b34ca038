// Speed, course and the receiver family's proprietary sentences as received,
// and the differential, SBAS and time-to-track results the device reports.
#include "bench/devices/speed_sentences.h"

#include "bench/devices/sat_db.h"
#include "bench/devices/timing.h"
#include "bench/devices/tracking_results.h"
#include "tests/devices/satellite_bench.h"

using namespace bench;

namespace {

class SpeedSentences : public test::SatelliteBench {
protected:
    std::string Hold(int i) const { return dev.HoldPositionData[i]->Text(); }
    void Sbas(int signal) { Receive("$PQNVSBAS,0,124,0,0,0," + std::to_string(signal)); }
    // "$PQNVEPH" with six (satellite, status) pairs.
    void Eph(const std::vector<std::pair<int, std::string>>& pairs) {
        std::string body = "$PQNVEPH,0,0,0";
        for (size_t j = 0; j < 6; ++j)
            body += j < pairs.size() ? "," + std::to_string(pairs[j].first) + "," + pairs[j].second : ",0,";
        Receive(body);
    }
};

}  // namespace

TEST_F(SpeedSentences, SpeedAndCourseFromWhicheverCameLast) {
    Receive("$GPVTG,054.7,T,034.4,M,005.5,N,36,K");
    EXPECT_EQ(Label(6), "10 m/s");
    EXPECT_EQ(Label(7), "054.7 deg");
    Receive("$GPRMC,123519,A,4807.038,N,01131.000,E,10,084.4,230394,003.1,W");
    EXPECT_EQ(Label(6), "5.1 m/s") << "10 knots at 1853 m a mile";
    EXPECT_EQ(Label(7), "084.4 deg");
    Receive("$GPRMC,123519,A,4807.038,N,01131.000,E,100,1.0,230394,003.1,W");
    EXPECT_EQ(Label(6), "51.5 m/s") << "1853 m a mile shows 51.5; 1852 would show 51.4";
}

TEST_F(SpeedSentences, EmptySpeedLeavesTheLabelsSilentlyGarbledSpeedIsReported) {
    Receive("$GPVTG,054.7,T,034.4,M,005.5,N,36,K");
    Receive("$GPVTG,,T,,M,,N,,K");
    Receive("$GPRMC,123519,V,,,,,,,230394,,");
    EXPECT_EQ(Label(6), "10 m/s");
    EXPECT_EQ(Label(7), "054.7 deg");
    EXPECT_TRUE(LogLines("NMEA_VTG_Processing").empty());
    EXPECT_TRUE(LogLines("NMEA_RMC_Processing").empty());
    Receive("$GPRMC,123519,A,4807.038,N,01131.000,E,1O.2,084.4,230394,003.1,W");
    EXPECT_EQ(Label(6), "10 m/s");
    EXPECT_EQ(Label(7), "054.7 deg") << "the course waits for a readable speed";
    ASSERT_EQ(LogLines("NMEA_RMC_Processing").size(), 1u);
}

TEST_F(SpeedSentences, PositionHoldAndTheExtraValue) {
    Receive("$PQNVPOSHOLD,1,4807.038,N,01131.000,E,545.4");
    EXPECT_EQ(Hold(0), "ON");
    EXPECT_EQ(Hold(1), "48 7.038");
    EXPECT_EQ(Hold(2), "N");
    EXPECT_EQ(Hold(3), "11 31");
    EXPECT_EQ(Hold(4), "E");
    EXPECT_EQ(Hold(5), "545.4 m");
    Receive("$PQNVPOSHOLD,2,4000.000,S,00200.000,W,12");
    EXPECT_EQ(Hold(0), "ON") << "an unknown state keeps the label";
    EXPECT_EQ(Hold(1), "40 0");
    EXPECT_EQ(Hold(2), "S");
    EXPECT_EQ(Hold(5), "12 m");
    Receive("$PQNVPOSHOLD,0,,,,,");
    EXPECT_EQ(Hold(0), "OFF");
    EXPECT_EQ(Hold(5), "0 m");

    Receive("$PQNVTG,1,2,17.25,x");
    EXPECT_EQ(Label(13), "17.25");
}

TEST_F(SpeedSentences, EphemerisTimeIsTakenWhenTheStatusLeavesNotAvailable) {
    host.TsOn = true;
    dev.StartupString = "$PQNVRST";
    Receive("$PQNVRST,COLD");  // the restart arms the ephemeris times
    Receive("$GPGGA,120000.00,,,,,0,00,,,M,,M,,");
    Receive("$PQNVTS,0,6,0,0,0,40,0,0,0,0,0,0,0,0,0,0,0,0,0,1,30");
    Receive("$PQNVTS,0,14,0,0,0,38,0,0,0,0,0,0,0,0,0,0,0,0,0,1,30");
    clock.AdvanceSeconds(2);
    Receive("$GPGGA,120002.00,,,,,0,00,,,M,,M,,");
    ASSERT_EQ(dev.TsRowId[1], 14);
    const double acquired = dev.Sats[14].AcquiredTime;

    dev.EPH[1]->SetText("N/A");
    Eph({{14, "N/A"}, {99, "OK"}});
    clock.AdvanceSeconds(3);
    Eph({{14, "N/A"}});
    EXPECT_FALSE(dev.Sats[14].EphValid);
    clock.AdvanceSeconds(4);
    Eph({{14, "OK"}});
    EXPECT_EQ(dev.EPH[1]->Text(), "OK");
    EXPECT_TRUE(dev.Sats[14].EphValid);
    EXPECT_EQ(dev.Sats[14].EphTime, clock.Now());
    EXPECT_EQ(dev.Sats[14].T2E, MakeTimeDifference(clock.Now(), acquired));
    EXPECT_EQ(dev.Sats[14].T2E, 9);
    clock.AdvanceSeconds(5);
    Eph({{14, "GOOD"}});
    EXPECT_EQ(dev.EPH[1]->Text(), "GOOD");
    EXPECT_EQ(dev.Sats[14].T2E, 9) << "later texts do not take the time again";
    EXPECT_EQ(dev.EPH[0]->Text(), "") << "a satellite in no row changes nothing";

    // A row whose satellite is outside the database: shown, reported once,
    // and the pairs after it still read.
    dev.TsRowId[0] = 300;
    dev.EPH[0]->SetText("N/A");
    dev.EPH[1]->SetText("N/A");
    Eph({{300, "OK"}, {300, "OK"}, {14, "OK"}});
    EXPECT_EQ(dev.EPH[0]->Text(), "OK");
    EXPECT_EQ(dev.EPH[1]->Text(), "OK");
    EXPECT_EQ(LogLines("NMEA_EPH_Processing").size(), 1u);
}

TEST_F(SpeedSentences, SbasTimeToAcquireIsTheFirstOfTenInARow) {
    dev.StartupDelay = 1.5;
    DiffOnReset(dev, clock.Now(), clock.StampNow());
    for (int i = 0; i < 9; ++i) {
        clock.AdvanceSeconds(1);
        Sbas(40);
    }
    clock.AdvanceSeconds(1);
    Sbas(0);
    EXPECT_EQ(dev.SBASCount, 0);
    EXPECT_EQ(GetSBASTimeToAcquire(dev), 0);
    EXPECT_EQ(GetSBASSatID(dev), 124);
    for (int i = 0; i < 11; ++i) {
        clock.AdvanceSeconds(1);
        Sbas(38);
        if (i == 8) {
            EXPECT_EQ(dev.SBASTime, 0) << "not at the ninth";
        }
    }
    EXPECT_DOUBLE_EQ(dev.SBASFirstSeconds, 11);
    EXPECT_DOUBLE_EQ(GetSBASTimeToAcquire(dev), 12.5) << "the eleventh leaves it";

    // A differential reset starts the clock and the run again.
    ResetDiffONAvailability(dev, clock.Now(), clock.StampNow());
    EXPECT_EQ(GetSBASTimeToAcquire(dev), 0);
    clock.AdvanceSeconds(2);
    for (int i = 0; i < 10; ++i) Sbas(30);
    EXPECT_DOUBLE_EQ(GetSBASTimeToAcquire(dev), 3.5);
}

TEST_F(SpeedSentences, DifferentialFixIsTimedFromTheDifferentialClock) {
    dev.StartupString = "$PQNVRST";
    dev.StartupDelay = 2;
    Receive("$PQNVRST,WARM");
    clock.AdvanceSeconds(7.25);
    Receive("$GPGGA,120000.00,4807.038,N,01131.000,E,1,08,0.9,545.4,M,46.9,M,,");
    EXPECT_FALSE(GetDiffONAvailability(dev));
    const std::string diff = "$GPGGA,120001.00,4807.038,N,01131.000,E,2,08,0.9,545.4,M,46.9,M,,";
    Receive(diff);
    EXPECT_TRUE(GetDiffONAvailability(dev));
    EXPECT_DOUBLE_EQ(GetDiffONTime(dev), 9.25);
    EXPECT_EQ(GetDiffONGGAString(dev), test::Sentence(diff));

    Receive("$GPGGA,120002.00,4807.038,N,01131.000,E,1,08,0.9,545.4,M,46.9,M,,");
    clock.AdvanceSeconds(3);
    Receive(diff);
    EXPECT_DOUBLE_EQ(GetDiffONTime(dev), 12.25) << "a new entry is timed from the same clock";

    ResetDiffONAvailability(dev, clock.Now(), clock.StampNow());
    EXPECT_FALSE(GetDiffONAvailability(dev));
    EXPECT_EQ(GetDiffONTime(dev), 0);
    EXPECT_EQ(dev.DiffReference, clock.Now());
}

TEST_F(SpeedSentences, VersionTextGoesToTheMainWindow) {
    dev.DeviceID = 3;
    dev.StartupString = "EMU ";
    Receive("$PQNVRST,COLD,EMU 2.7.1");
    ASSERT_EQ(host.Versions.size(), 1u);
    EXPECT_EQ(host.Versions[0].first, 3);
    EXPECT_EQ(host.Versions[0].second.rfind("EMU 2.7.1", 0), 0u) << host.Versions[0].second;
}

TEST_F(SpeedSentences, TrackingQueriesCountStableGpsSatellites) {
    SatDB_Reset(dev, clock.Now());
    for (int e = 0; e < 5; ++e)
        for (int id : {2, 4, 6, 80}) SatDB_Update(dev, static_cast<int16_t>(id), 40, clock.StampNow());
    SatDB_Update(dev, 6, 0, clock.StampNow());
    EXPECT_EQ(DeviceGetNSatsStableTracking(dev, 5), 2);
    EXPECT_TRUE(DeviceGetNSatsTrackerAchieved(dev, 2, 5));
    EXPECT_FALSE(DeviceGetNSatsTrackerAchieved(dev, 3, 5));
    DeviceSetTTTRKSatsToCurrentStableTracked(dev, 5);
    EXPECT_EQ(DeviceGetTTTRKSatellitesN(dev), 2);
    dev.TrackedNow = 7;
    DeviceSetTTTRKSatsToCurrentTracked(dev);
    EXPECT_EQ(DeviceGetTTTRKSatellitesN(dev), 7);
    DeviceSetTTTRKParameters(dev, 4, 10);
    EXPECT_EQ(DeviceGetTTTRKSatellitesN(dev), 4);
    EXPECT_EQ(DeviceGetTTTRKTimeForStableTrack(dev), 10);
    DeviceSetTestMode(dev, 1);
    EXPECT_EQ(dev.TestMode, 1);

    dev.SignalOnSecond = 43210;
    EXPECT_EQ(DeviceGetSignalONUTCTimestamp(dev), 43210);
    Receive("$GPGGA,120005.00,,,,,0,00,,,M,,M,,");
    EXPECT_EQ(DeviceGetCurrentUTCSeconds(dev, true), -1) << "no fix yet";
    EXPECT_EQ(DeviceGetCurrentUTCSeconds(dev, false), 43205);
    Receive("$GPGGA,120006.00,4807.038,N,01131.000,E,1,08,0.9,545.4,M,46.9,M,,");
    EXPECT_EQ(DeviceGetCurrentUTCSeconds(dev, true), 43206);
}
