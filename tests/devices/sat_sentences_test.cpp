// Satellite sentences as a receiver sends them: GSV and GSA into the
// database, the epoch's satellite table, the track-status rows of the
// proprietary source, and the time-to-track goal the table signals.
#include "bench/devices/sat_sentences.h"

#include "bench/devices/sat_db.h"
#include "bench/devices/test_machine.h"
#include "tests/devices/satellite_bench.h"

#include <cstdio>

using namespace bench;

namespace {

struct Sv {
    int id;
    int cn0;
    int el = 45;
    int az = 180;
};

std::string Two(int v) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "%02d", v);
    return buf;
}

// One GSV message of a group.
std::string Gsv(int msg, int total, int in_view, const std::vector<Sv>& svs) {
    std::string body = "$GPGSV," + std::to_string(total) + "," + std::to_string(msg) + "," + Two(in_view);
    for (const Sv& s : svs)
        body += "," + Two(s.id) + "," + Two(s.el) + "," + std::to_string(s.az) + "," + (s.cn0 ? Two(s.cn0) : "");
    return body;
}

// A standard GSA: twelve slots and the three dilutions.
std::string Gsa(int fix, const std::vector<int>& ids, const std::string& dops = "2.5,1.3,2.1") {
    std::string body = "$GPGSA,A," + std::to_string(fix);
    for (int i = 0; i < 12; ++i) body += "," + (i < static_cast<int>(ids.size()) ? Two(ids[i]) : std::string());
    return body + "," + dops;
}

// A "$PQNVTS" row: satellite, C/N0 and the two colour numbers.
std::string Ts(int id, int cn0, int f21 = 1, int f22 = 30) {
    std::string body = "$PQNVTS,0," + std::to_string(id) + ",0,0,0," + std::to_string(cn0);
    for (int k = 8; k <= 20; ++k) body += ",0";
    return body + "," + std::to_string(f21) + "," + std::to_string(f22);
}

const std::string kGga = "$GPGGA,120000.00,4807.038,N,01131.000,E,1,08,0.9,545.4,M,46.9,M,,";

class SatSentences : public test::SatelliteBench {
protected:
    // One epoch as most receivers send it: GGA, GSA, the GSV group, RMC
    // (which closes the satellite epoch). A second apart.
    void Epoch(const std::vector<Sv>& svs, const std::vector<int>& used = {}) {
        clock.AdvanceSeconds(1);
        Receive(gga);
        Receive(Gsa(3, used));
        const int total = std::max<int>(1, (static_cast<int>(svs.size()) + 3) / 4);
        for (int m = 0; m < total; ++m) {
            std::vector<Sv> part(svs.begin() + std::min<size_t>(svs.size(), m * 4),
                                 svs.begin() + std::min<size_t>(svs.size(), m * 4 + 4));
            Receive(Gsv(m + 1, total, static_cast<int>(svs.size()), part));
        }
        Receive("$GPRMC,120000.00,A,4807.038,N,01131.000,E,0.0,0.0,091226,,");
    }
    std::string gga = kGga;
    // The satellite ids shown in the table's rows.
    std::vector<int> Rows() const {
        std::vector<int> ids;
        for (int r = 0; r < 32; ++r)
            if (!dev.SatId[r]->Text().empty()) ids.push_back(std::stoi(dev.SatId[r]->Text()));
        return ids;
    }
};

class RecordingPlot : public PositionWindowView {
public:
    std::vector<std::string> Points;
    int Updates = 0;
    void PosAddToChart(double lat, const std::string& ns, double lon, const std::string& ew, int16_t series) override {
        Points.push_back(std::to_string(lat) + ns + std::to_string(lon) + ew + std::to_string(series));
    }
    void PosUpdatePlot() override { ++Updates; }
    void SetFormPosition(int16_t, int16_t) override {}
    void SetFormName(const std::string&) override {}
    void PosChartSave(const std::string&) override {}
};

}  // namespace

TEST_F(SatSentences, GsvReadsOnlyTheSatellitesOfItsMessage) {
    // Message 3 of 3 with 9 in view carries one satellite; padding after it is not read.
    Decode(Gsv(3, 3, 9, {{14, 39, 33, 287}, {15, 40, 10, 20}}));
    NMEA_GSV_Processing(dev, clock.StampNow());
    EXPECT_TRUE(dev.Sats[14].SeenThisEpoch);
    EXPECT_EQ(dev.Sats[14].CN0, 39);
    EXPECT_EQ(dev.Sats[14].Elevation, 33);
    EXPECT_EQ(dev.Sats[14].Azimuth, 287);
    EXPECT_FALSE(dev.Sats[15].SeenThisEpoch);

    // More messages than satellites: nothing to read.
    Decode(Gsv(3, 3, 8, {{16, 40}}));
    NMEA_GSV_Processing(dev, clock.StampNow());
    EXPECT_FALSE(dev.Sats[16].SeenThisEpoch);
}

TEST_F(SatSentences, GsvColoursFollowTheConstellation) {
    Decode(Gsv(1, 1, 4, {{5, 40}, {70, 35}, {195, 30}, {120, 30}}));
    NMEA_GSV_Processing(dev, clock.StampNow());
    EXPECT_EQ(dev.Sats[5].FillColor, RGBColor(0, 0, 255));
    EXPECT_EQ(dev.Sats[70].FillColor, RGBColor(0, 192, 0));
    EXPECT_EQ(dev.Sats[70].BorderColor, RGBColor(0, 192, 0));
    EXPECT_EQ(dev.Sats[195].FillColor, RGBColor(255, 128, 0));
    EXPECT_EQ(dev.Sats[120].BorderColor, RGBColor(0, 0, 255));
}

TEST_F(SatSentences, GsvSatelliteOutsideTheDatabaseIsReportedOnceAndSkipped) {
    Decode(Gsv(1, 1, 3, {{7, 40}, {300, 40}, {9, 41}}));
    NMEA_GSV_Processing(dev, clock.StampNow());
    EXPECT_TRUE(dev.Sats[7].SeenThisEpoch);
    EXPECT_TRUE(dev.Sats[9].SeenThisEpoch) << "the satellites after it are still read";
    EXPECT_EQ(LogLines("SatDB_Update").size(), 1u);
    EXPECT_TRUE(LogLines("NMEA_GSV_Processing").empty());
}

TEST_F(SatSentences, GsaMarksTheUsedSatellitesAndShowsTheFix) {
    RecordingPlot plot;
    dev.PosChartWindow = &plot;
    dev.PosChartShown = true;
    dev.Quality = 1;
    dev.Latitude = 2887.038;
    dev.LatHemisphere = "N";
    dev.Longitude = 691;
    dev.LonHemisphere = "E";
    Decode(Gsa(3, {4, 5, 9, 12, 24}));
    NMEA_GSA_Processing(dev, line, clock.StampNow());
    for (int id : {4, 5, 9, 12, 24}) EXPECT_TRUE(dev.Sats[id].UsedThisEpoch) << id;
    EXPECT_FALSE(dev.Sats[6].UsedThisEpoch);
    EXPECT_EQ(Label(8), "2.5");
    EXPECT_EQ(Label(9), "1.3");
    EXPECT_EQ(Label(10), "2.1");
    EXPECT_EQ(Label(11), "3D FIX");
    EXPECT_EQ(dev.GSAStatistics[1], 1);
    EXPECT_EQ(dev.DataStatistics[1]->Text(), "1");
    ASSERT_EQ(plot.Points.size(), 1u);
    EXPECT_EQ(plot.Points[0], std::to_string(2887.038) + "N" + std::to_string(691.0) + "E0");
    EXPECT_EQ(plot.Updates, 1);

    Decode(Gsa(1, {}));
    NMEA_GSA_Processing(dev, line, clock.StampNow());
    EXPECT_EQ(Label(11), "NO FIX");
    EXPECT_EQ(dev.GSAStatistics[3], 1);
    EXPECT_EQ(dev.DataStatistics[3]->Text(), "1");
    EXPECT_EQ(plot.Points.size(), 2u);

    Decode(Gsa(2, {70, 3}));
    NMEA_GSA_Processing(dev, line, clock.StampNow());
    EXPECT_EQ(Label(11), "2D FIX");
    EXPECT_EQ(dev.DataStatistics[2]->Text(), "1");
    EXPECT_EQ(dev.Sats[70].FillColor, RGBColor(128, 255, 128));
    EXPECT_EQ(dev.Sats[3].FillColor, RGBColor(0, 255, 255));
}

TEST_F(SatSentences, PlotTakesOnlyPositionsOfGgaWithAFix) {
    RecordingPlot plot;
    dev.PosChartWindow = &plot;
    dev.PosChartShown = true;
    Epoch({{5, 40}}, {5});
    ASSERT_EQ(plot.Points.size(), 1u);
    EXPECT_EQ(plot.Points[0], std::to_string(2887.038) + "N" + std::to_string(691.0) + "E0");

    // Fix lost: empty position fields, quality 0; and a GGA claiming a fix
    // with its position missing (a line cut by a port reopen).
    gga = "$GPGGA,120001.00,,,,,0,00,99.9,,M,,M,,";
    Epoch({{5, 40}}, {5});
    gga = "$GPGGA,120002.00,,,,,1,08,0.9,,M,,M,,";
    Epoch({{5, 40}}, {5});
    EXPECT_EQ(plot.Points.size(), 1u) << "no point at 0 N 0 E";

    gga = kGga;
    Epoch({{5, 40}}, {5});
    EXPECT_EQ(plot.Points.size(), 2u) << "the fix back: plotted again";
}

TEST_F(SatSentences, ShortGsaLosesOnlyItsDilutions) {
    Label(8);
    dev.PositionData[8]->SetText("old");
    Decode("$GPGSA,A,3,04,05");
    NMEA_GSA_Processing(dev, line, clock.StampNow());
    EXPECT_EQ(Label(8), "old");
    EXPECT_EQ(Label(11), "3D FIX") << "the fix type is still shown";
    EXPECT_EQ(LogLines("NMEA_GSA_Processing").size(), 1u);
}

TEST_F(SatSentences, TimeToUseIsTakenAtTheFirstUseAndSampledAtTheTenth) {
    SatDB_Reset(dev, clock.Now());
    clock.AdvanceSeconds(20);
    SatDB_Update(dev, 11, 40, clock.StampNow());  // acquired 20 s after the restart
    clock.AdvanceSeconds(6);
    for (int i = 1; i <= 12; ++i) {
        Decode(Gsa(3, {11}));
        NMEA_GSA_Processing(dev, line, clock.StampNow());
        const SatDBEntry& e = dev.Sats[11];
        if (i == 1) {
            EXPECT_TRUE(e.T2UValid);
            EXPECT_EQ(e.T2U, 6);
        }
        EXPECT_EQ(e.T2USamples, i >= 10 ? 1 : 0) << i;
        clock.AdvanceSeconds(1);
    }
    EXPECT_EQ(dev.Sats[11].T2UMin, 6);
    EXPECT_EQ(dev.Sats[11].T2UMax, 6);
    EXPECT_DOUBLE_EQ(dev.Sats[11].T2UMean, 6);
}

TEST_F(SatSentences, EpochTableShowsTheSatellitesSeenAndBlanksTheRest) {
    SatDB_Reset(dev, clock.Now());
    std::vector<Sv> eight;
    for (int id : {2, 5, 7, 12, 15, 20, 25, 29}) eight.push_back({id, 30 + id % 10, 10 + id, 100 + id});
    Epoch(eight, {5});
    Epoch(eight, {5, 7, 15});
    ASSERT_EQ(Rows(), (std::vector<int>{2, 5, 7, 12, 15, 20, 25, 29}));
    EXPECT_EQ(Label(15), "8");
    EXPECT_EQ(dev.TrackedNow, 8);
    // Row 1 is satellite 5: used, so solid with its time to use; used in
    // the epoch it was acquired in, which the GSA reports before the GSV.
    EXPECT_EQ(dev.SatBar[1]->FillStyle(), 0);
    EXPECT_EQ(Caption(dev.T2U, 1), "0");
    EXPECT_EQ(Caption(dev.T2U, 2), "1") << "satellite 7: acquired in the first epoch, used in the second";
    EXPECT_EQ(dev.SatBar[3]->FillStyle(), 1) << "satellite 12 is not used: hollow";
    EXPECT_EQ(Caption(dev.T2U, 3), "");
    EXPECT_EQ(dev.SatBar[1]->Height(), 35 * 34);
    EXPECT_EQ(Caption(dev.Cn0, 1), "35");
    EXPECT_EQ(dev.Cn0[1]->Top(), dev.SatBar[1]->Top() - dev.Cn0[1]->Height() - 50);
    EXPECT_EQ(Caption(dev.EL, 1), "15");
    EXPECT_EQ(Caption(dev.AZ, 1), "105");
    EXPECT_EQ(Caption(dev.TrackTimer, 1), "2");
    EXPECT_EQ(Caption(dev.Tim, 1), "1") << "acquired a second after the restart";
    EXPECT_EQ(Caption(dev.CN0Ave, 1), "35");
    EXPECT_FALSE(dev.Sats[5].SeenThisEpoch);
    EXPECT_FALSE(dev.Sats[5].UsedThisEpoch);

    // Then only three: rows 3 to 7 lose bars and numbers but keep T2A and T2U.
    Epoch({{2, 30}, {5, 35}, {7, 37}}, {5});
    EXPECT_EQ(Rows(), (std::vector<int>{2, 5, 7}));
    EXPECT_EQ(Label(15), "3");
    for (int r = 3; r <= 7; ++r) {
        EXPECT_EQ(dev.SatBar[r]->Height(), 0) << r;
        EXPECT_EQ(dev.SatBar[r]->FillColor(), RGBColor(0, 0, 255));
        EXPECT_EQ(Caption(dev.Cn0, r), "");
        EXPECT_EQ(Caption(dev.CN0Max, r), "");
        EXPECT_EQ(Caption(dev.TrackTimer, r), "");
        EXPECT_FALSE(Caption(dev.Tim, r).empty()) << r;
    }
    EXPECT_EQ(Caption(dev.T2U, 4), "1") << "satellite 15's row is empty now but keeps its time to use";
    EXPECT_EQ(Caption(dev.T2U, 2), "") << "satellite 7 is shown, not used";
    EXPECT_EQ(dev.Sats[12].CN0, 0);
    EXPECT_EQ(dev.Sats[12].AcquiredEpochs, 0);
}

TEST_F(SatSentences, EpochsEndingAtTheNextGgaDoNotRebuildTheTable) {
    Receive(kGga);
    Receive(Gsa(3, {}));
    Receive(Gsv(1, 1, 1, {{8, 40}}));
    Receive(kGga);
    EXPECT_EQ(Rows(), std::vector<int>{});
    Receive(Gsa(3, {}));
    Receive(Gsv(1, 1, 1, {{8, 40}}));
    Receive("$GPVTG,0.0,T,,M,0.0,N,0.0,K");
    EXPECT_EQ(Rows(), std::vector<int>{8});
}

TEST_F(SatSentences, SatelliteAppearingLateIsAcquiredWhenItAppears) {
    SatDB_Reset(dev, clock.Now());
    for (int e = 1; e <= 15; ++e) {
        std::vector<Sv> svs = {{3, 40}};
        if (e >= 6) svs.push_back({17, 33});
        Epoch(svs);
    }
    const SatDBEntry& late = dev.Sats[17];
    EXPECT_EQ(late.T2A, 6);
    EXPECT_EQ(late.AcquiredEpochs, 10);
    EXPECT_EQ(late.T2ASamples, 1);
    EXPECT_DOUBLE_EQ(late.T2AMean, 6);
    EXPECT_EQ(dev.Sats[3].T2AMean, 1);
    dev.TTTRKSats = 2;
    dev.TTTRKTime = 11;
    EXPECT_FALSE(TTTRKSatellitesReached(dev)) << "never-seen epochs do not count as tracked";
}

TEST_F(SatSentences, MoreThanThirtyTwoSatellitesFillTheTableTrackedFirst) {
    SatDB_Reset(dev, clock.Now());
    std::vector<Sv> many;
    for (int id = 1; id <= 32; ++id) many.push_back({id, id <= 6 ? 0 : 40});  // 1..6 searched, not tracked
    for (int id = 65; id <= 72; ++id) many.push_back({id, 35});
    StartTrackingTest(30, 1);
    Epoch(many);
    std::vector<int> expected;
    for (int id = 7; id <= 32; ++id) expected.push_back(id);
    for (int id = 65; id <= 70; ++id) expected.push_back(id);
    EXPECT_EQ(Rows(), expected);
    EXPECT_EQ(Label(15), "40");
    EXPECT_EQ(dev.TrackedNow, 26) << "tracked GPS satellites, as the goal counts them";
    for (int id = 1; id <= 255; ++id) ASSERT_FALSE(dev.Sats[id].SeenThisEpoch) << id;
    EXPECT_EQ(dev.Sats[72].TrackTime, 1) << "satellites past the table are still counted";
    EXPECT_EQ(dev.TestState, Running) << "26 GPS satellites tracked, 30 wanted";
    dev.TTTRKSats = 26;
    Epoch(many);
    EXPECT_EQ(dev.TestState, Idle) << "the goal is still checked with a full table";
    EXPECT_TRUE(dev.TestCompleted);
}

TEST_F(SatSentences, TrackingGoalEndsOnlyARunningTimeToTrackTest) {
    gga = "$GPGGA,120000.00,,,,,0,00,,,M,,M,,";  // no fix: only the goal can end the test
    StartTrackingTest(2, 3, 0);
    for (int e = 0; e < 4; ++e) Epoch({{1, 40}, {2, 40}});
    EXPECT_EQ(dev.TestState, Running) << "a time-to-first-fix test ends at the fix";
    dev.TestMode = -1;  // a flag written as true is a time-to-track test as well
    Epoch({{1, 40}, {2, 40}});
    EXPECT_EQ(dev.TestState, Idle);
    EXPECT_TRUE(dev.TestCompleted);
    EXPECT_EQ(dev.Console.Status->PanelText(1).rfind("TRACKED 2 SATS FOR 3s IN: ", 0), 0u)
        << dev.Console.Status->PanelText(1);
}

TEST_F(SatSentences, TrackStatusRowsCloseTheirEpochAtTheNextGga) {
    host.TsOn = true;
    StartTrackingTest(3, 4);
    for (int e = 1; e <= 4; ++e) {
        clock.AdvanceSeconds(1);
        Receive(kGga);
        Receive(Ts(21, 44, 1, 20));
        Receive(Ts(3, 38, 0, 20));
        Receive(Ts(9, 40, 1, 100));
        Receive(Gsa(3, {21, 3}));
        Receive(Gsv(1, 1, 1, {{30, 40}}));  // ignored while the track-status source is on
        if (e == 1) {
            // Within the epoch the rows carry the sentence's colour.
            EXPECT_EQ(dev.SatBar[0]->FillColor(), RGBColor(255, 0, 0));
            EXPECT_EQ(dev.SatBar[2]->FillColor(), RGBColor(255, 0, 255));
            EXPECT_EQ(dev.SatBar[0]->FillStyle(), 0);
        }
        EXPECT_EQ(dev.TestState, Running) << "the epoch is still open";
    }
    Receive(kGga);  // closes the fourth epoch
    EXPECT_EQ(Rows(), (std::vector<int>{21, 3, 9})) << "rows in the order of the track-status lines";
    EXPECT_EQ(dev.Sats[21].AcquiredEpochs, 4);
    EXPECT_EQ(dev.Sats[9].TrackTime, 4);
    EXPECT_FALSE(dev.Sats[30].SeenThisEpoch);
    EXPECT_EQ(dev.Sats[30].TrackTime, 0);
    EXPECT_EQ(dev.TsRowCounter, 0);
    EXPECT_EQ(dev.TsRowId[1], 3);
    EXPECT_EQ(dev.TsRowCn0[1], 38);
    EXPECT_EQ(dev.TsRowId[3], 0);
    EXPECT_EQ(dev.SatBar[1]->BorderColor(), RGBColor(0, 0, 255)) << "F(21) = 0 draws blue";
    EXPECT_EQ(dev.SatBar[2]->FillColor(), RGBColor(255, 0, 255));
    EXPECT_EQ(dev.SatBar[0]->FillStyle(), 0) << "used";
    EXPECT_EQ(dev.SatBar[2]->FillStyle(), 1) << "not used";
    EXPECT_EQ(dev.TestState, Idle) << "three satellites tracked for four epochs";
}

TEST_F(SatSentences, TrackStatusBeyondTheTableIsReportedOncePerEpoch) {
    host.TsOn = true;
    for (int e = 0; e < 2; ++e) {
        Receive(kGga);
        for (int id = 1; id <= 35; ++id) Receive(Ts(id, 40));
    }
    Receive(kGga);
    EXPECT_EQ(LogLines("NMEA_TS_Processing").size(), 2u);
    EXPECT_EQ(Rows().size(), 32u);
    EXPECT_EQ(dev.Sats[35].TrackTime, 2) << "the rows past the table still count";
    EXPECT_EQ(Label(15), "35");
}
