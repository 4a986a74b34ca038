// Epoch boundaries, the values each sentence parser produces, the start
// search and the CN0 settling filter.
#include <gtest/gtest.h>

#include <cmath>

#include "analysis/core/byte_stream.h"
#include "analysis/core/nmea_epoch.h"
#include "tests/analysis/navsift_harness.h"

namespace navsift_test {
namespace {

using namespace navsift;

const std::string kGga1 = Sentence("GPGGA,100000.00,4807.038,S,01131.000,W,1,08,0.9,545.4,M,46.9,M,,");
const std::string kRmc1 = Sentence("GPRMC,100000.00,A,4807.038,S,01131.000,W,022.4,084.4,300608,003.1,W");
const std::string kGga2 = Sentence("GPGGA,100001.00,4807.038,N,01131.000,E,2,07,0.9,546.0,M,46.9,M,,");
const std::string kRmc2 = Sentence("GPRMC,100001.00,A,4807.038,N,01131.000,E,022.4,084.4,300608,003.1,W");
const std::string kGsv1 = Sentence("GPGSV,3,1,11,03,03,111,30,04,15,270,31,06,01,010,32,13,06,292,33");
const std::string kGsv2 = Sentence("GPGSV,3,2,11,14,25,170,34,16,57,208,39,18,67,296,40,40,40,246,41");
const std::string kGsv3 = Sentence("GPGSV,3,3,11,22,42,067,42,24,14,311,43,27,05,244,44");

NmeaFields Fields(const std::string& sentence)
{
    NmeaFields f;
    EXPECT_EQ(nmea_tokenize(sentence, f), 0) << sentence;
    return f;
}

TEST(EpochReader, AnEpochEndsAtTheNextGgaOrAtAnRmcAfterBoth)
{
    const std::string log = kGga1 + kRmc1 + kGsv1 + kGsv2 + kGsv3 + kGga2 + kRmc2;
    ByteStream in = ByteStream::FromText(log);
    NmeaEpoch e;
    ASSERT_EQ(nmea_read_epoch(in, e), 0);
    EXPECT_EQ(e.flags, kHasGGA | kHasRMC | kHasGSV);
    EXPECT_EQ(e.gga_count, 1);
    EXPECT_EQ(e.rmc_count, 1);
    EXPECT_EQ(e.sats_in_view, 11);
    EXPECT_EQ(in.Tell(), static_cast<int64_t>(log.find(kGga2)) + 1);
    ASSERT_EQ(nmea_read_epoch(in, e), 1);
    EXPECT_EQ(e.fix_quality, 2);
    EXPECT_EQ(e.gga_sod, 36001);

    // RMC first: the second RMC starts the next epoch.
    ByteStream rmc_first = ByteStream::FromText(kRmc1 + kGga1 + kRmc2 + kGga2);
    ASSERT_EQ(nmea_read_epoch(rmc_first, e), 0);
    EXPECT_EQ(e.flags, kHasGGA | kHasRMC);
    EXPECT_EQ(e.rmc_sod, 36000);
    ASSERT_EQ(nmea_read_epoch(rmc_first, e), 1);
    EXPECT_EQ(e.rmc_sod, 36001);
    EXPECT_EQ(e.gga_sod, 36001);

    ByteStream empty = ByteStream::FromText("nothing here\r\n");
    EXPECT_EQ(nmea_read_epoch(empty, e), 1);
    EXPECT_EQ(e.flags, 0u);
}

TEST(EpochReader, OdometerSentencesBoundTheOdometerEpochs)
{
    const std::string odo1 = Sentence("PQNVODO,100000,0,0,0,0,0,0,0,0,7,50,9");
    const std::string odo2 = Sentence("PQNVODO,100001,0,0,0,0,0,0,0,0,8,-1,9");
    ByteStream in = ByteStream::FromText(odo1 + kGga1 + kGga2 + kRmc1 + odo2 + kGga1);
    NmeaEpoch e;
    ASSERT_EQ(nmea_read_odo_epoch(in, e), 0);
    EXPECT_EQ(e.gga_count, 2);
    EXPECT_EQ(e.odo_sod, 36000);
    EXPECT_EQ(e.odo_field10, 7);
    EXPECT_EQ(e.odo_field12, 9);
    EXPECT_NEAR(e.odo_speed, 50 * 0.2 * 3.6, 1e-9);
    ASSERT_EQ(nmea_read_odo_epoch(in, e, 0.5), 1);
    EXPECT_NEAR(e.odo_speed, 4294967295.0 * 0.5 * 3.6, 1.0);  // the count is unsigned
}

TEST(SentenceParsers, PositionTimeAndDilutions)
{
    NmeaEpoch e;
    parse_gga(Fields(kGga1), e);
    EXPECT_NEAR(e.latitude, -48.1173, 5e-5);
    EXPECT_NEAR(e.longitude, -11.516667, 5e-6);
    EXPECT_EQ(e.gga_lat_deg, 48);
    EXPECT_DOUBLE_EQ(e.gga_lat_min, 7.038);
    EXPECT_EQ(e.gga_lon_deg, 11);
    EXPECT_EQ(e.gga_ns, 'S');
    EXPECT_DOUBLE_EQ(e.height, 545.4);
    EXPECT_EQ(e.sats_used, 8);
    EXPECT_EQ(e.gga_valid, 1);

    NmeaEpoch no_hemisphere;
    parse_gga(Fields(Sentence("GPGGA,100000,4807.038,,01131.000,,0,,,,M,,M,,")), no_hemisphere);
    EXPECT_LT(no_hemisphere.latitude, 0);
    EXPECT_EQ(no_hemisphere.gga_ns, 0);

    // A GGA without a position, parsed into a record that still holds the
    // last fix, holds no position: not the old one, and not a negated one.
    parse_gga(Fields(Sentence("GPGGA,100001,,,,,0,00,,,M,,M,,")), e);
    EXPECT_EQ(e.latitude, 0);
    EXPECT_FALSE(std::signbit(e.latitude));
    EXPECT_EQ(e.longitude, 0);
    EXPECT_FALSE(std::signbit(e.longitude));
    EXPECT_EQ(e.gga_lat_deg, 0);
    EXPECT_EQ(e.gga_lon_min, 0);
    parse_gga(Fields(kGga1), e);

    parse_rmc(Fields(kRmc1), e);
    EXPECT_EQ(e.gps_time, 898855200);
    EXPECT_EQ(e.rmc_year, 8);
    NmeaEpoch bad_date;
    parse_rmc(Fields(Sentence("GPRMC,100000,A,,,,,,,301308,,")), bad_date);
    EXPECT_EQ(bad_date.gps_time, 0) << "month 13 is no date";
    EXPECT_TRUE(bad_date.Has(kHasRMC));

    parse_gsa(Fields(Sentence("GPGSA,A,3,04,05,,09,12,,,24,,,,,2.5,1.3,2.1")), e);
    EXPECT_EQ(e.gsa_mode, 3);
    EXPECT_DOUBLE_EQ(e.pdop + e.hdop + e.vdop, 2.5 + 1.3 + 2.1);
    NmeaEpoch short_gsa;
    parse_gsa(Fields(Sentence("GPGSA,A,2")), short_gsa);
    EXPECT_EQ(short_gsa.vdop, 0);

    parse_vtg(Fields(Sentence("GPVTG,054.7,T,034.4,M,005.5,N,036.0,K")), e);
    EXPECT_DOUBLE_EQ(e.SpeedKmh(), 36.0);
    EXPECT_DOUBLE_EQ(e.SpeedMs(), 10.0);
    EXPECT_DOUBLE_EQ(e.Course(), 54.7);
}

TEST(SentenceParsers, SatellitesInViewComeInOrderOnly)
{
    NmeaEpoch e;
    parse_gsv(Fields(kGsv1), e);
    parse_gsv(Fields(kGsv3), e);  // message 2 missing
    EXPECT_EQ(e.gsv[21].valid, 0);
    parse_gsv(Fields(kGsv2), e);  // follows message 1
    EXPECT_EQ(e.gsv[15].cn0, 39);
    EXPECT_EQ(e.gsv[39 % 32].valid, 0) << "PRN 40 is not stored";
    parse_gsv(Fields(kGsv3), e);
    EXPECT_EQ(e.gsv[21].cn0, 42);
    EXPECT_EQ(e.gsv[26].elevation, 5);
    EXPECT_EQ(e.gsv_left, 0);
    EXPECT_TRUE(e.Has(kHasGSV));

    NmeaEpoch three;
    parse_gsv(Fields(Sentence("GPGSV,1,1,03,01,10,100,20,02,20,200,30,03,30,300,40,04,40,40,50")), three);
    EXPECT_EQ(three.gsv[2].cn0, 40);
    EXPECT_EQ(three.gsv[3].valid, 0) << "only as many groups as announced";

    NmeaEpoch orphan;
    parse_gsv(Fields(kGsv2), orphan);
    EXPECT_EQ(orphan.gsv[15].valid, 0);
}

TEST(SentenceParsers, ReceiverTimingAndTrackerSentences)
{
    NmeaFields f = Fields(Sentence("PQNVTG,1500,123.4,0,0,0,-12.25"));
    EXPECT_EQ(tg_gps_seconds(f), 907200123);
    EXPECT_EQ(tg_gps_seconds(Fields(Sentence("PQNVTG,1500,123.5"))), 907200124);

    NmeaEpoch e;
    parse_qnv_tg(f, e);
    EXPECT_EQ(e.tg_seen, 1);
    EXPECT_EQ(e.tg_gap, 0);
    EXPECT_DOUBLE_EQ(e.tg_nco, -12.25);
    EXPECT_EQ(e.tg_week, 1500);
    parse_qnv_tg(Fields(Sentence("PQNVTG,1500,125.0")), e);
    EXPECT_EQ(e.tg_gap, 2);
    parse_qnv_tg(Fields(Sentence("PQNVTG,1500,126.0")), e);
    EXPECT_EQ(e.tg_gap, 1);
    EXPECT_EQ(e.tg_count, 3);
    // 1500 weeks and 126 s: 2008-10-05 00:02:06.
    EXPECT_EQ(e.tg_year * 10000 + e.tg_month * 100 + e.tg_day, 20081005);
    EXPECT_EQ(e.tg_minute * 60 + e.tg_second, 126);

    parse_qnv_ts(Fields(Sentence("PQNVTS,0,7,0,1575.42,0,41,1200")), e);
    parse_qnv_ts(Fields(Sentence("PQNVTS,0,33,0,1575.42,0,41,1200")), e);
    parse_qnv_ts(Fields(Sentence("PQNVTS,0,9,0,-3.5,0,38,800")), e);
    EXPECT_EQ(e.tracked_count, 2);
    EXPECT_EQ(e.ts[6].cn0, 41);
    EXPECT_EQ(e.ts[8].timer_ms, 800);
    EXPECT_DOUBLE_EQ(e.ts[8].frequency, -3.5);
}

TEST(StartSearch, FirstPairOfEqualSecondsAndFirstFix)
{
    NmeaEpoch e;
    int64_t pos = -1;
    int rmc_first = 0;
    // A GGA alone, then an RMC and GGA of the same second: the pair starts
    // with the RMC.
    std::string log = kGga2 + kRmc1 + kGga1 + kRmc2;
    ByteStream in = ByteStream::FromText(log);
    ASSERT_EQ(nmea_sync_start(in, pos, rmc_first, e), 0);
    EXPECT_EQ(pos, static_cast<int64_t>(log.find(kRmc1)) + 1);
    EXPECT_EQ(rmc_first, 0);
    EXPECT_EQ(in.Tell(), pos);

    log = kRmc2 + kGga1 + kRmc1;
    in = ByteStream::FromText(log);
    ASSERT_EQ(nmea_sync_start(in, pos, rmc_first, e), 0);
    EXPECT_EQ(pos, static_cast<int64_t>(log.find(kGga1)) + 1);
    EXPECT_EQ(rmc_first, 1);

    in = ByteStream::FromText(kRmc1 + kRmc2);
    rmc_first = 1;
    ASSERT_EQ(nmea_sync_start(in, pos, rmc_first, e), 0);
    EXPECT_EQ(pos, 1);
    EXPECT_EQ(rmc_first, 0);

    log = kGsv1 + kGga1 + kRmc2;  // both seen, never paired: the caller's preference
    in = ByteStream::FromText(log);
    rmc_first = 1;
    ASSERT_EQ(nmea_sync_start(in, pos, rmc_first, e), 0);
    EXPECT_EQ(pos, static_cast<int64_t>(log.find(kGga1)) + 1);
    in.Seek(0);
    rmc_first = 0;
    ASSERT_EQ(nmea_sync_start(in, pos, rmc_first, e), 0);
    EXPECT_EQ(pos, static_cast<int64_t>(log.find(kRmc2)) + 1);

    in = ByteStream::FromText(kGsv1 + kGga2);
    ASSERT_EQ(nmea_sync_start(in, pos, rmc_first, e), 0);
    EXPECT_EQ(rmc_first, 1);

    in = ByteStream::FromText(kGsv1 + kGsv2);
    EXPECT_EQ(nmea_sync_start(in, pos, rmc_first, e), 1);
    EXPECT_TRUE(in.AtEnd());

    const std::string nofix = Sentence("GPGGA,100000,,,,,0,00,,,M,,M,,");
    log = nofix + kRmc1 + nofix + kGga2;
    in = ByteStream::FromText(log);
    pos = -1;
    ASSERT_EQ(nmea_seek_first_fix(in, pos), 0);
    EXPECT_EQ(pos, static_cast<int64_t>(log.rfind(kGga2)) + 1);
    in = ByteStream::FromText(nofix + nofix);
    pos = -1;
    EXPECT_EQ(nmea_seek_first_fix(in, pos), 1);
    EXPECT_EQ(pos, -1);
}

TEST(Cn0Settling, SettlesAfterElevenSmallStepsThenRefinesItsMean)
{
    Cn0Settler settler;
    NmeaEpoch e;
    const int readings[] = {40, 40, 41, 40, 41, 41, 40, 40, 41, 40, 40};
    for (int r : readings) {
        settler.cn0_stabilise(5, r, e);
        ASSERT_EQ(e.stable_cn0[4], 0);
    }
    settler.cn0_stabilise(5, 40, e);  // the 12th reading
    EXPECT_EQ(e.stable_cn0[4], 40);
    settler.cn0_stabilise(5, 43, e);  // too far: ignored
    EXPECT_EQ(e.stable_cn0[4], 40);
    settler.cn0_stabilise(5, 41, e);
    EXPECT_DOUBLE_EQ(e.stable_cn0[4], 40.5);
    settler.cn0_stabilise(33, 40, e);  // no such satellite: no harm

    // A jump starts the count again.
    Cn0Settler other;
    NmeaEpoch f;
    for (int k = 0; k < 8; ++k) other.cn0_stabilise(1, 30, f);
    other.cn0_stabilise(1, 35, f);
    for (int k = 0; k < 10; ++k) other.cn0_stabilise(1, 35, f);
    EXPECT_EQ(f.stable_cn0[0], 0);
    other.cn0_stabilise(1, 35, f);
    EXPECT_EQ(f.stable_cn0[0], 35);

    f.stable_cn0[2] = 45;
    EXPECT_DOUBLE_EQ(stable_cn0_average(f), 40);
    EXPECT_EQ(stable_cn0_average(NmeaEpoch{}), 0);

    // The switch governs the GSV pass.
    Cn0Settler off;
    NmeaEpoch g;
    g.gsv[0].cn0 = 40;
    for (int k = 0; k < 12; ++k) off.cn0_stabilise_all(g);
    EXPECT_EQ(g.stable_cn0[0], 0);
    off.enabled = true;
    for (int k = 0; k < 12; ++k) off.cn0_stabilise_all(g);
    EXPECT_EQ(g.stable_cn0[0], 40);
    EXPECT_EQ(g.stable_cn0[1], 0) << "no reading of 0 settles";
}

}  // namespace
}  // namespace navsift_test
