// Broadcast ephemerides from RINEX files, satellite orbits and visibility:
// packing against hand-computed bits, the reader on awkward files, and the
// orbit and look angles against a second implementation in Python.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <limits>
#include <set>
#include <sstream>

#include "analysis/analyses/ephemeris.h"
#include "analysis/analyses/orbit.h"
#include "analysis/analyses/rinex_nav.h"
#include "analysis/analyses/visibility.h"
#include "analysis/core/gps_time.h"
#include "analysis/core/text_util.h"
#include "tests/analysis/navsift_harness.h"
#include "tests/analysis/rinex_fixture.h"

namespace navsift_test {
namespace {

using namespace navsift;

const fs::path kHere = fs::path(FIXBENCH_SOURCE_DIR) / "tests/analysis";
const fs::path kGoldenDir = kHere / "golden";

constexpr int kWeekSat = 1485;  // 2008-06-22 .. 2008-06-28
constexpr int kWeekSun = 1486;  // from Sunday 2008-06-29
constexpr double kSaturday = 6 * 86400.0;

int32_t Gps(int y, int mo, int d, int h, int mi, int s) { return *calendar_to_gps(y, mo, d, h, mi, s); }
GpsTime AtSeconds(int64_t s) { return {static_cast<uint32_t>(s / 604800), static_cast<double>(s % 604800)}; }

packed_ephemeris Packed(const NavRecord& n)
{
    const std::string text = RecordText(n);
    // Through the real reader, so the text road is exercised too.
    RinexFile f;
    f.path = "memory";
    f.data = ByteStream::FromText(ShortHeader() + text);
    f.first_record = static_cast<int64_t>(ShortHeader().size());
    int64_t pos = 0;
    rinex_nav_record r;
    std::string problem;
    EXPECT_EQ(rinex_read_record(f, pos, r, problem), RecordRead::Record) << problem;
    packed_ephemeris p;
    EXPECT_TRUE(pack_ephemeris(r, p));
    return p;
}

// Saturday's file: a long header, ten satellites every two hours, one
// satellite's records out of time order, and one broken record.
std::string SaturdayFile()
{
    std::vector<NavRecord> recs;
    for (int h = 0; h < 24; h += 2) {
        for (int prn = 1; prn <= 10; ++prn) {
            recs.push_back(Orbit(prn, kWeekSat, kSaturday + h * 3600, 8, 6, 28, h));
        }
    }
    std::swap(recs[2 + 10], recs[2 + 20]);  // PRN 3: 04:00 before 02:00
    std::string text = LongHeader();
    for (std::size_t k = 0; k < recs.size(); ++k) {
        text += RecordText(recs[k]);
        if (k == 55) {
            // PRN 5 at 10:30 with a line cut short: never a mix of two orbits.
            std::string bad = RecordText(Orbit(5, kWeekSat, kSaturday + 10.5 * 3600, 8, 6, 28, 10, 30));
            const std::size_t line4 = bad.find('\n', bad.find('\n', bad.find('\n') + 1) + 1) + 1;
            bad.erase(line4 + 3 + 2 * 19, 2 * 19);
            text += bad;
        }
    }
    return text;
}

// Sunday's file: eight header lines; its first record is Saturday 22:00's
// carried over, so only the name tells the day. Toe 0 at midnight, and one
// 02:00 record labelled with the week of transmission.
std::string SundayFile()
{
    std::vector<NavRecord> recs;
    recs.push_back(Orbit(1, kWeekSat, kSaturday + 22 * 3600, 8, 6, 28, 22));
    for (int h = 0; h < 24; h += 2) {
        for (int prn = 1; prn <= 10; ++prn) {
            NavRecord r = Orbit(prn, kWeekSun, h * 3600, 8, 6, 29, h);
            if (h == 2 && prn == 4) {
                r.week = kWeekSat;
            }
            recs.push_back(r);
        }
    }
    return RinexText(ShortHeader(), recs);
}

class RinexFolder : public ::testing::Test {
protected:
    void SetUp() override
    {
        WriteFile(dir_ / "lab11800.08n", SaturdayFile());
        WriteFile(dir_ / "lab11810.08n", SundayFile());
        WriteFile(dir_ / "notes.txt", "not a navigation file\n");
    }
    std::string Folder() const { return dir_.path().string() + "/"; }
    ScratchDir dir_;
};

// ---------------------------------------------------------------- packing

TEST(RinexText, ExponentLettersAreFixedOnlyBetweenADigitAndASign)
{
    std::string line = "1.5D-03 2.0d+01 D+05 1D5 -.3D+1";
    rinex_fix_exponent(line);
    EXPECT_EQ(line, "1.5E-03 2.0E+01 D+05 1D5 -.3E+1");
}

TEST(PackedEphemeris, ScalesRoundingSignsAndSharedWords)
{
    NavRecord n = Orbit(7, kWeekSat, 511200, 8, 6, 27, 22);
    n.af0 = -std::ldexp(1.0, -31);
    n.crs = -0.015625;  // -0.5 units: away from zero
    n.crc = 0.015625;
    n.iodc = 1023 + 1024;  // wider than ten bits
    n.health = 63;
    packed_ephemeris p = Packed(n);
    EXPECT_EQ(ephemeris_field(p, EphField::af0), 4194303u);
    EXPECT_EQ(ephemeris_field(p, EphField::crs), 65535u);
    EXPECT_EQ(ephemeris_field(p, EphField::crc), 1u);
    EXPECT_EQ(ephemeris_field(p, EphField::toe), 31950u);
    EXPECT_EQ(ephemeris_field(p, EphField::toc), 31950u);
    EXPECT_EQ(ephemeris_field(p, EphField::iodc), 1023u);
    EXPECT_EQ(ephemeris_field(p, EphField::health), 1u);
    EXPECT_EQ(ephemeris_field(p, EphField::available), 1u);
    EXPECT_EQ(ephemeris_field(p, EphField::predicted), 0u);
    // af0 fills bits 0-21 of the last word, the flags sit above it.
    EXPECT_EQ(p.bytes[60], 0xFF);
    EXPECT_EQ(p.bytes[61], 0xFF);
    EXPECT_EQ(p.bytes[62], 0x3F | 0xC0);
    EXPECT_EQ(p.bytes[63], 0x02 | 0x04 | 0x01);
    // Crs -1 in sixteen bits, little-endian.
    EXPECT_EQ(p.bytes[16], 0xFF);
    EXPECT_EQ(p.bytes[17], 0xFF);

    packed_ephemeris q;
    set_ephemeris_field(q, EphField::iodc, 0x3FF);
    set_ephemeris_field(q, EphField::i_dot, 0x2AAA);
    set_ephemeris_field(q, EphField::agps_age_h, 0x81);
    const uint32_t word = q.bytes[8] | q.bytes[9] << 8 | q.bytes[10] << 16 | static_cast<uint32_t>(q.bytes[11]) << 24;
    EXPECT_EQ(word, 0x3FFu | 0x2AAAu << 10 | 0x81u << 24);
    set_ephemeris_field(q, EphField::i_dot, 0);
    EXPECT_EQ(ephemeris_field(q, EphField::iodc), 0x3FFu);
    EXPECT_EQ(ephemeris_field(q, EphField::agps_age_h), 0x81u);

    rinex_nav_record broken;
    broken.orbit[kSqrtA] = std::numeric_limits<double>::quiet_NaN();
    packed_ephemeris untouched;
    EXPECT_FALSE(pack_ephemeris(broken, untouched));
    broken.orbit[kSqrtA] = 1e300;
    EXPECT_FALSE(pack_ephemeris(broken, untouched));
}

TEST(PackedEphemeris, HexDumpPrintsEveryFieldUnsigned)
{
    ScratchDir dir;
    const packed_ephemeris p = Packed(Orbit(6, kWeekSun, 7200, 8, 6, 29, 2));
    std::string hex;
    for (uint8_t b : p.bytes) {
        hex += Format("%02x", b);
    }
    ASSERT_EQ(hex.size(), 128u);
    RunResult r = navsift_test::Run({NavsiftPath(), "-qnveph", hex}, dir.path());
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, ReadFile(kGoldenDir / "qnveph_full.txt"));
    // root_a is above 2^31 and must never print negative.
    ASSERT_GT(ephemeris_field(p, EphField::root_a), 0x80000000u);
    EXPECT_NE(r.out.find(Format("root_a = %u\r\n", ephemeris_field(p, EphField::root_a))), std::string::npos);

    // A short text leaves the missing bytes 0; a bad digit ends the text.
    r = navsift_test::Run({NavsiftPath(), "-qnveph", hex.substr(0, 16) + "ZZ" + hex.substr(18)}, dir.path());
    EXPECT_EQ(r.status, 0);
    EXPECT_NE(r.out.find("week = 1486\r\n"), std::string::npos);
    EXPECT_NE(r.out.find(Format("iode2 = %u\r\n", ephemeris_field(p, EphField::iode2))), std::string::npos);
    EXPECT_NE(r.out.find("iodc = 0\r\n"), std::string::npos);
    EXPECT_NE(r.out.find("root_a = 0\r\n"), std::string::npos);
    EXPECT_TRUE(fs::is_empty(dir.path()));
}

// ---------------------------------------------------------------- reader

TEST_F(RinexFolder, LongHeaderOutOfOrderRecordsAndABrokenRecord)
{
    ephemeris_table table;
    testing::internal::CaptureStderr();
    ephemeris_table_load(table, Gps(2008, 6, 28, 12, 0, 0), Folder());
    const std::string err = testing::internal::GetCapturedStderr();
    EXPECT_EQ(CountOf(err, "bad RINEX record at line"), 1) << err;
    EXPECT_NE(err.find("lab11800.08n"), std::string::npos);
    for (int prn = 1; prn <= 10; ++prn) {
        EXPECT_EQ(table.Count(prn), 12u) << prn;
    }
    EXPECT_EQ(table.Count(11), 0u);
    // PRN 3 at 03:00 runs on its 02:00 record although the file lists it
    // after 04:00.
    packed_ephemeris e;
    ASSERT_EQ(ephemeris_find(table, Gps(2008, 6, 28, 3, 0, 0), 3, e), 0);
    EXPECT_EQ(ephemeris_field(e, EphField::toe) * 16, kSaturday + 2 * 3600);
    EXPECT_EQ(ephemeris_field(e, EphField::iode1), 40u + 3 + 2);
    // The broken 10:30 record of PRN 5 was dropped, not mixed.
    ASSERT_EQ(ephemeris_find(table, Gps(2008, 6, 28, 11, 0, 0), 5, e), 0);
    EXPECT_EQ(ephemeris_field(e, EphField::toe) * 16, kSaturday + 10 * 3600);
}

TEST_F(RinexFolder, TheDayFileIsFoundByItsFirstRecordOrElseByItsName)
{
    ephemeris_table table;
    testing::internal::CaptureStdout();
    ephemeris_table_load(table, Gps(2008, 6, 29, 0, 0, 0), Folder());
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
    EXPECT_EQ(table.Count(1), 13u);  // the carried-over record too
    packed_ephemeris e;
    // Exactly at Sunday midnight the only earlier record is Saturday's.
    ASSERT_EQ(ephemeris_find(table, Gps(2008, 6, 29, 0, 0, 0), 1, e), 0);
    EXPECT_EQ(ephemeris_field(e, EphField::week), static_cast<uint32_t>(kWeekSat));
    EXPECT_EQ(ephemeris_find(table, Gps(2008, 6, 29, 0, 0, 0), 2, e), 1);

    testing::internal::CaptureStdout();
    ephemeris_table_load(table, Gps(2008, 7, 1, 0, 0, 0), Folder());
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "WARNING: RINEX file not found for 01/07/2008\r\n");
    EXPECT_EQ(table.Count(1), 0u);

    // Year 09: of three files, the one whose first record is 09 12 31.
    ScratchDir y09;
    WriteFile(y09 / "a.09n", RinexText(ShortHeader(), {Orbit(2, 1564, 345600, 9, 12, 30, 0)}));
    WriteFile(y09 / "b.09n", RinexText(LongHeader(), {Orbit(9, 1564, 432000, 9, 12, 31, 0)}));
    WriteFile(y09 / "c.10n", RinexText(ShortHeader(), {Orbit(4, 1564, 432000, 9, 12, 31, 0)}));
    std::string v3 = RinexText(ShortHeader(), {Orbit(5, 1564, 432000, 9, 12, 31, 0)});
    v3.replace(5, 4, "3.04");
    WriteFile(y09 / "0.09n", v3);
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    ephemeris_table_load(table, Gps(2009, 12, 31, 6, 0, 0), y09.path().string());
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
    EXPECT_NE(testing::internal::GetCapturedStderr().find("RINEX 3 not supported"), std::string::npos);
    EXPECT_EQ(table.Count(5), 0u);
    EXPECT_EQ(table.Count(9), 1u);
    EXPECT_EQ(table.Count(2), 0u);
    EXPECT_EQ(table.Count(4), 0u);
}

TEST(EphemerisTable, LatestRecordStrictlyBeforeTheTime)
{
    packed_ephemeris a, b, c, got;
    a.bytes[0] = 1;
    b.bytes[0] = 2;
    c.bytes[0] = 3;
    for (bool reversed : {false, true}) {
        ephemeris_table t;
        if (reversed) {
            t.Store(7, 14400, c);
            t.Store(7, 7200, b);
            t.Store(7, 100, a);
        } else {
            t.Store(7, 100, a);
            t.Store(7, 7200, b);
            t.Store(7, 14400, c);
        }
        ASSERT_EQ(t.Find(10800, 7, got), 0);
        EXPECT_EQ(got.bytes[0], 2);
        EXPECT_EQ(t.Find(100, 7, got), 1);
        ASSERT_EQ(t.Find(18000, 7, got), 0);
        EXPECT_EQ(got.bytes[0], 3);
        EXPECT_EQ(t.Find(18000, 8, got), 1);
        EXPECT_EQ(t.Find(18000, 33, got), 1);
    }
    ephemeris_table t;
    for (uint32_t k = 1; k <= 16; ++k) {
        packed_ephemeris e;
        e.bytes[0] = static_cast<uint8_t>(k);
        t.Store(1, k * 3600, e);
    }
    EXPECT_EQ(t.Count(1), 16u);
    ASSERT_EQ(t.Find(16 * 3600 + 1, 1, got), 0);
    EXPECT_EQ(got.bytes[0], 16);
    t.Store(1, 3600, c);  // the later record of a file wins
    ASSERT_EQ(t.Find(3601, 1, got), 0);
    EXPECT_EQ(got.bytes[0], 3);
}

// ---------------------------------------------------------------- geometry

TEST(Geometry, EllipsoidPointsAndLookAngles)
{
    ReceiverEcef eq = geodetic_to_ecef({0, 0, 0});
    EXPECT_DOUBLE_EQ(eq.position.x, 6378137.0);
    EXPECT_NEAR(eq.position.y, 0, 1e-9);
    EXPECT_NEAR(eq.position.z, 0, 1e-9);
    ReceiverEcef pole = geodetic_to_ecef({90, 0, 100});
    EXPECT_NEAR(pole.position.z, 6356752.314 + 100, 1e-3);
    // Height goes along the normal: 1000 m up at 45 degrees moves 1000 m.
    const ReceiverEcef lo = geodetic_to_ecef({45, 10, 0}), hi = geodetic_to_ecef({45, 10, 1000});
    EXPECT_NEAR(std::hypot(hi.position.x - lo.position.x, hi.position.y - lo.position.y,
                           hi.position.z - lo.position.z),
                1000.0, 1e-6);

    auto angles = [](const ReceiverEcef& rcv, double east, double north, double up) {
        const double sl = std::sin(rcv.latitude), cl = std::cos(rcv.latitude);
        const double so = std::sin(rcv.longitude), co = std::cos(rcv.longitude);
        SatState s;
        s.position = {rcv.position.x - so * east - sl * co * north + cl * co * up,
                      rcv.position.y + co * east - sl * so * north + cl * so * up,
                      rcv.position.z + cl * north + sl * up};
        look_angles(rcv, s);
        return s;
    };
    const ReceiverEcef munich = geodetic_to_ecef({48.1173, 11.5167, 545});
    EXPECT_GE(angles(munich, 0, 0, 2e7).elevation, 8999);
    // Whole degrees truncated toward zero, a negative one turned by 360.
    EXPECT_EQ(angles(munich, 1e3, 1e7, 0).azimuth, 0);
    EXPECT_EQ(angles(munich, 1e7, -1e5, 0).azimuth, 90);
    EXPECT_EQ(angles(munich, 1e5, -1e7, 0).azimuth, 179);
    EXPECT_EQ(angles(munich, -1e5, -1e7, 0).azimuth, 181);
    EXPECT_EQ(angles(munich, -1e7, 1e5, 0).azimuth, 271);
    EXPECT_EQ(angles(munich, 0, 1e7, 0).elevation, 0);
    EXPECT_EQ(angles(munich, 0, 1e7, 1e7 * std::tan(0.015 * M_PI / 180)).elevation, 1);
    EXPECT_EQ(angles(munich, -1, 1e7, 0).azimuth, 0);
    // At the pole every direction still has an east and a north.
    const SatState p = angles(pole, 1e6, 2e6, 3e7);
    EXPECT_TRUE(std::isfinite(p.elevation_deg));
    EXPECT_TRUE(std::isfinite(p.azimuth_deg));
}

// ---------------------------------------------------------------- orbit

TEST(Orbit, BrokenOrImpossibleEphemeridesAreRefusedAtOnce)
{
    Ephemeris e;
    packed_ephemeris p = Packed(Orbit(3, kWeekSun, 0, 8, 6, 29, 0));
    ASSERT_EQ(unpack_ephemeris(p, e), 0);  // toe 0 is the Sunday ephemeris
    SatState s;
    EXPECT_EQ(sat_track_state(ReceiverPosition{48, 11, 500}, {kWeekSun, 600}, p, s), 0);

    for (uint32_t week : {1349u, 3000u}) {
        packed_ephemeris w = p;
        set_ephemeris_field(w, EphField::week, week);
        EXPECT_EQ(unpack_ephemeris(w, e), 1) << week;
    }
    packed_ephemeris late = p;
    set_ephemeris_field(late, EphField::toe, 604800 / 16);
    late.toe_seconds = 604800;
    EXPECT_EQ(unpack_ephemeris(late, e), 1);
    late.toe_seconds = -1;  // the packed field alone
    EXPECT_EQ(unpack_ephemeris(late, e), 1);

    ASSERT_EQ(unpack_ephemeris(p, e), 0);
    Vec3 pos, vel, acc;
    double sin_e = 0;
    Ephemeris zero = e;
    zero.sqrt_a = 0;
    EXPECT_EQ(orbit_state(zero, {kWeekSun, 600}, pos, &vel, &acc, sin_e), 1);
    Ephemeris nan = e;
    nan.m0 = std::numeric_limits<double>::quiet_NaN();
    EXPECT_EQ(orbit_state(nan, {kWeekSun, 600}, pos, &vel, &acc, sin_e), 1);
    Ephemeris open_orbit = e;
    open_orbit.e = 1.0;
    EXPECT_EQ(orbit_state(open_orbit, {kWeekSun, 600}, pos, &vel, &acc, sin_e), 1);
    EXPECT_EQ(sat_track_state(ReceiverPosition{NAN, 11, 500}, {kWeekSun, 600}, p, s), 1);
}

TEST(Orbit, ClockCorrectionAcrossTheWeekEnd)
{
    Ephemeris e;
    e.toc = 604790;
    e.af0 = 1e-4;
    e.af1 = 1e-9;
    EXPECT_NEAR(sat_clock_correction(e, 5, 0), 1e-4 + 15e-9, 1e-18);
    e.toc = 10;
    EXPECT_NEAR(sat_clock_correction(e, 604795, 0), 1e-4 - 15e-9, 1e-18);
}

TEST(Orbit, VelocityIsTheDerivativeOfThePositionAndAccelerationIsSmall)
{
    const packed_ephemeris p = Packed(Orbit(6, kWeekSun, 7200, 8, 6, 29, 2));
    Ephemeris e;
    ASSERT_EQ(unpack_ephemeris(p, e), 0);
    for (double tow = 0; tow < 14400; tow += 977) {
        Vec3 pos, vel, acc, before, after, v0, v1;
        double sin_e = 0;
        ASSERT_EQ(orbit_state(e, {kWeekSun, tow}, pos, &vel, &acc, sin_e), 0);
        ASSERT_EQ(orbit_state(e, {kWeekSun, tow - 0.5}, before, &v0, nullptr, sin_e), 0);
        ASSERT_EQ(orbit_state(e, {kWeekSun, tow + 0.5}, after, &v1, nullptr, sin_e), 0);
        EXPECT_NEAR(vel.x, after.x - before.x, 1e-3) << tow;
        EXPECT_NEAR(vel.y, after.y - before.y, 1e-3) << tow;
        EXPECT_NEAR(vel.z, after.z - before.z, 1e-3) << tow;
        EXPECT_NEAR(acc.x, v1.x - v0.x, 1e-3) << tow;
        EXPECT_NEAR(acc.y, v1.y - v0.y, 1e-3) << tow;
        EXPECT_NEAR(acc.z, v1.z - v0.z, 1e-3) << tow;
        EXPECT_LT(std::fabs(acc.x) + std::fabs(acc.y) + std::fabs(acc.z), 1.5 * 3);
        const double r = std::hypot(pos.x, pos.y, pos.z);
        EXPECT_GT(r, 2.5e7);
        EXPECT_LT(r, 2.8e7);
    }
}

struct Query {
    int prn;
    int64_t seconds;
    ReceiverPosition where;
};

// Runs the Python implementation on a file and a list of queries.
std::vector<std::vector<std::string>> Reference(const fs::path& rinex, const std::vector<Query>& queries,
                                                const ScratchDir& dir)
{
    std::string input;
    for (const Query& q : queries) {
        const GpsTime t = AtSeconds(q.seconds);
        input += Format("%d %u %.3f %.9f %.9f %.4f\n", q.prn, t.week, t.tow, q.where.latitude, q.where.longitude,
                        q.where.height);
    }
    WriteFile(dir / "queries.txt", input);
    const RunResult r = navsift_test::Run({"sh", "-c", "python3 '" + (kHere / "gps_orbit_ref.py").string() + "' '" +
                                             rinex.string() + "' < queries.txt"},
                            dir.path());
    EXPECT_EQ(r.status, 0) << r.err;
    return WordRows(r.out);
}

TEST_F(RinexFolder, OrbitAndLookAnglesAgreeWithAnIndependentImplementation)
{
    const ReceiverPosition places[] = {
        {48.1173, 11.5167, 545}, {-33.9, 151.2, 40}, {0.5, -78.5, 2800}, {78.2, 15.6, 10}, {-77.8, 166.7, 0}};
    struct Day {
        const char* file;
        int32_t start;
    };
    const Day days[] = {{"lab11800.08n", Gps(2008, 6, 28, 0, 0, 0)}, {"lab11810.08n", Gps(2008, 6, 29, 0, 0, 0)}};
    int compared = 0, checked_visible = 0;
    for (const Day& day : days) {
        std::vector<Query> queries;
        for (int64_t s = day.start; s < day.start + 86400; s += 1013) {
            for (int prn = 1; prn <= 10; ++prn) {
                queries.push_back({prn, s, places[(s / 1013 + prn) % 5]});
            }
        }
        // Midnight itself and the week-labelled 02:00 record of PRN 4.
        queries.push_back({1, day.start, places[0]});
        queries.push_back({4, day.start + 3 * 3600, places[1]});
        const auto ref = Reference(dir_ / day.file, queries, dir_);
        ASSERT_EQ(ref.size(), queries.size());
        EphemerisSource source;
        source.SetFolder(Folder());
        testing::internal::CaptureStderr();
        for (std::size_t k = 0; k < queries.size(); ++k) {
            const Query& q = queries[k];
            const ephemeris_table& table = source.ForTime(static_cast<int32_t>(q.seconds));
            packed_ephemeris eph;
            const bool found = ephemeris_find(table, static_cast<uint32_t>(q.seconds), q.prn, eph) == 0;
            ASSERT_EQ(found, ref[k].size() > 4) << q.prn << " at " << q.seconds;
            if (!found) {
                continue;
            }
            SatState s;
            ASSERT_EQ(sat_track_state(q.where, AtSeconds(q.seconds), eph, s), 0);
            ASSERT_EQ(ref[k].size(), 12u);
            const double want[] = {std::stod(ref[k][3]), std::stod(ref[k][4]), std::stod(ref[k][5]),
                                   std::stod(ref[k][6]), std::stod(ref[k][7]), std::stod(ref[k][8]),
                                   std::stod(ref[k][9]), std::stod(ref[k][10]), std::stod(ref[k][11])};
            const std::string at = Format("PRN %d at %lld", q.prn, static_cast<long long>(q.seconds));
            EXPECT_NEAR(s.position.x, want[0], 1e-3) << at;
            EXPECT_NEAR(s.position.y, want[1], 1e-3) << at;
            EXPECT_NEAR(s.position.z, want[2], 1e-3) << at;
            EXPECT_NEAR(s.velocity.x, want[3], 1e-3) << at;
            EXPECT_NEAR(s.velocity.y, want[4], 1e-3) << at;
            EXPECT_NEAR(s.velocity.z, want[5], 1e-3) << at;
            EXPECT_NEAR(s.elevation_deg, want[6], 1e-6) << at;
            double daz = std::fabs(s.azimuth_deg - want[7]);
            daz = std::min(daz, 360 - daz);
            EXPECT_LT(daz, 1e-6) << at;
            EXPECT_NEAR(s.clock_correction, want[8], 1e-12) << at;
            checked_visible += want[6] > 0;
            ++compared;
        }
        testing::internal::GetCapturedStderr();
    }
    EXPECT_GT(compared, 1500);
    EXPECT_GT(checked_visible, 300);
}

// A reference time that is not a multiple of 16 s, as 8 of 44 records of a
// real IGS broadcast file give it (343800 s: Wednesday 23:30:00). The orbit
// runs from that time, not from the packed field's rounding of it, and the
// IODE listing shows it as the file gives it.
TEST_F(RinexFolder, AReferenceTimeOffTheSixteenSecondGridIsKeptAsTheFileGivesIt)
{
    std::vector<NavRecord> records;
    for (int prn = 1; prn <= 4; ++prn) {
        records.push_back(Orbit(prn, kWeekSun, 343800, 8, 7, 2, 23, 30));
    }
    WriteFile(dir_ / "lab11840.08n", RinexText(LongHeader(), records));
    std::vector<Query> queries;
    for (int prn = 1; prn <= 4; ++prn) {
        for (const int at : {Gps(2008, 7, 2, 23, 40, 0), Gps(2008, 7, 2, 23, 59, 59)}) {
            queries.push_back({prn, at, {-27.2, 153.0, 30}});
        }
    }
    const auto ref = Reference(dir_ / "lab11840.08n", queries, dir_);
    ASSERT_EQ(ref.size(), queries.size());
    EphemerisSource source;
    source.SetFolder(Folder());
    for (std::size_t k = 0; k < queries.size(); ++k) {
        const Query& q = queries[k];
        const ephemeris_table& table = source.ForTime(static_cast<int32_t>(q.seconds));
        packed_ephemeris eph;
        ASSERT_EQ(ephemeris_find(table, static_cast<uint32_t>(q.seconds), q.prn, eph), 0) << q.prn;
        SatState state;
        ASSERT_EQ(sat_track_state(q.where, AtSeconds(q.seconds), eph, state), 0);
        ASSERT_EQ(ref[k].size(), 12u);
        const double off = std::hypot(state.position.x - std::stod(ref[k][3]), state.position.y - std::stod(ref[k][4]),
                                      state.position.z - std::stod(ref[k][5]));
        EXPECT_LT(off, 1e-3) << "PRN " << q.prn << " at " << q.seconds << " is " << off << " m off";
    }

    const RunResult r = navsift_test::Run(
        {NavsiftPath(), "-iode", std::to_string(Gps(2008, 7, 2, 23, 50, 0)), "-e", Folder()}, dir_.path());
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("Sat 1 IODE: E64 - 23:30:00 02/07/2008\r\n"), std::string::npos) << r.out;
    EXPECT_EQ(CountOf(r.out, " - 23:30:00 02/07/2008\r\n"), 4) << r.out;
}

// A valid file whose header holds 250 comment lines is read; files that
// cannot be used are named with the reason when the day has no file.
TEST(RinexHeader, AHeaderOfAnyLengthIsReadAndAnUnusableFileSaysWhy)
{
    ScratchDir dir;
    std::string header = LongHeader();
    std::string comments;
    for (int k = 0; k < 250; ++k) {
        comments += Label("Station log line " + std::to_string(k), "COMMENT");
    }
    header.insert(header.find(Label("", "END OF HEADER")), comments);
    std::vector<NavRecord> records;
    for (int prn = 1; prn <= 5; ++prn) {
        records.push_back(Orbit(prn, kWeekSun, 3 * 86400 + 7200, 8, 7, 2, 2));
    }
    WriteFile(dir / "lab11840.08n", RinexText(header, records));
    RunResult r = navsift_test::Run(
        {NavsiftPath(), "-iode", std::to_string(Gps(2008, 7, 2, 3, 0, 0)), "-e", dir.path().string()}, dir.path());
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out.find("WARNING: RINEX file not found"), std::string::npos) << r.out;
    EXPECT_EQ(CountOf(r.out, " - 02:00:00 02/07/2008\r\n"), 5) << r.out;

    // The next day: one file whose header never ends, one that is no RINEX
    // file at all, and the day before's file.
    WriteFile(dir / "lab11850.08n", header.substr(0, header.find(Label("", "END OF HEADER"))));
    WriteFile(dir / "notes.08n", "not a navigation file\n");
    r = navsift_test::Run({NavsiftPath(), "-iode", std::to_string(Gps(2008, 7, 3, 3, 0, 0)), "-e", dir.path().string()},
                          dir.path());
    EXPECT_NE(r.out.find("WARNING: RINEX file not found for 03/07/2008"), std::string::npos) << r.out;
    EXPECT_NE(r.err.find("lab11850.08n: its header of 261 lines has no \"END OF HEADER\""), std::string::npos)
        << r.err;
    EXPECT_NE(r.err.find("notes.08n: not a RINEX file"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("lab11840.08n: its first record is of 02/07/08"), std::string::npos) << r.err;
}

// A real IGS broadcast file of 2018-01-01 with 10,000 broken records among
// its own (a value of an orbit line overwritten with stars, as a field that
// overflowed is written): every broken record is named once, at its own
// first line, and the good records give the same listing as the file
// without them. Reading is one pass over the file: the run is held to a
// processor time that counting lines from the start for each broken record
// (about a minute here) exceeds by far, so it fails rather than drags on.
TEST(RinexBroken, TenThousandBrokenRecordsAreEachNamedOnceInOnePass)
{
    const std::string real = ReadFile(kHere.parent_path() / "data/rinex/brdc0010.18n");
    const std::size_t body = real.find('\n', real.find("END OF HEADER")) + 1;
    ASSERT_NE(body, std::string::npos + 1);
    std::vector<std::string> records;
    {
        std::istringstream in(real.substr(body));
        std::string record;
        int n = 0;
        for (std::string line; std::getline(in, line);) {
            record += line + "\n";
            if (++n % 8 == 0) {
                records.push_back(record);
                record.clear();
            }
        }
        ASSERT_TRUE(record.empty());
    }
    ASSERT_EQ(records.size(), 416u);
    const int header_lines = CountOf(real.substr(0, body), "\n");

    constexpr int kBroken = 10000;
    std::string mixed = real.substr(0, body);
    std::set<int> broken_lines;
    int line = header_lines + 1;
    int made = 0;
    for (std::size_t i = 0; i < records.size(); ++i) {
        const int copies = kBroken / 416 + (static_cast<int>(i) < kBroken % 416 ? 1 : 0);
        for (int j = 0; j < copies; ++j, ++made) {
            // The damaged copy of the record, one of its seven orbit lines
            // in turn.
            std::vector<std::string> lines;
            std::istringstream in(records[i]);
            for (std::string l; std::getline(in, l);) {
                lines.push_back(l);
            }
            std::string& hit = lines[static_cast<std::size_t>(1 + made % 7)];
            hit.replace(3, 19, std::string(19, '*'));
            for (const std::string& l : lines) {
                mixed += l + "\n";
            }
            broken_lines.insert(line);
            line += 8;
        }
        mixed += records[i];
        line += 8;
    }
    ASSERT_EQ(made, kBroken);

    ScratchDir clean, dir;
    WriteFile(clean / "brdc0010.18n", real);
    WriteFile(dir / "brdc0010.18n", mixed);
    const std::string when = std::to_string(Gps(2018, 1, 1, 4, 0, 0));
    const RunResult expected =
        navsift_test::Run({NavsiftPath(), "-iode", when, "-e", clean.path().string()}, clean.path());
    ASSERT_EQ(expected.status, 0) << expected.err;
    ASSERT_EQ(CountOf(expected.out, "IODE: E"), 32) << expected.out;

    const RunResult r = navsift_test::Run(
        {"bash", "-c", "ulimit -t 20 && exec \"$@\"", "bash", NavsiftPath(), "-iode", when, "-e", dir.path().string()},
        dir.path());
    ASSERT_EQ(r.status, 0) << "stopped at its processor time bound, or failed";
    EXPECT_EQ(r.out, expected.out);
    std::set<int> named;
    int told = 0;
    const std::string prefix = "bad RINEX record at line ";
    for (std::size_t at = 0; (at = r.err.find(prefix, at)) != std::string::npos; at += prefix.size()) {
        named.insert(std::atoi(r.err.c_str() + at + prefix.size()));
        ++told;
    }
    EXPECT_EQ(told, kBroken);
    EXPECT_EQ(named, broken_lines);
    EXPECT_EQ(CountOf(r.err, "brdc0010.18n"), kBroken);
}

// ---------------------------------------------------------------- visibility

TEST_F(RinexFolder, VisibilityRowsAcrossMidnightAndAMissingDay)
{
    VisibilityFile file;
    ASSERT_TRUE(file.visibility_open(Folder(), Folder()));
    const ReceiverPosition munich{48.1173, 11.5167, 545};
    int64_t t = Gps(2008, 6, 28, 23, 58, 0);
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    std::vector<int> counts;
    ElevationMarks marks{};
    for (int k = 0; k < 5; ++k, t += 60) {
        counts.push_back(file.sat_visibility(munich, AtSeconds(t), marks));
    }
    // Two days on: no file, one warning, then rows of zeros.
    t = Gps(2008, 6, 30, 10, 0, 0);
    for (int k = 0; k < 3; ++k, t += 1) {
        EXPECT_EQ(file.sat_visibility(munich, AtSeconds(t), marks), 0);
        EXPECT_EQ(marks, ElevationMarks{});
    }
    // An epoch without GPS time gives a row that says so, no count, no
    // satellite marked, and tries no file.
    EXPECT_EQ(file.sat_visibility(munich, GpsTime{0, 0}, marks), navsift::kCountUnknown);
    EXPECT_EQ(marks, ElevationMarks{});
    EXPECT_EQ(file.NoTimeRows(), 1);
    const std::string out = testing::internal::GetCapturedStdout();
    testing::internal::GetCapturedStderr();
    file.Close();
    EXPECT_EQ(out, "WARNING: RINEX file not found for 30/06/2008\r\n");
    const std::string rows = ReadFile(dir_ / "sat_visibility.txt");
    EXPECT_EQ(rows.size(), 9u * 77);
    EXPECT_EQ(rows, ReadFile(kGoldenDir / "sat_visibility.txt"));
    EXPECT_GT(counts[0] + counts[1], 0);
}

TEST_F(RinexFolder, RowFlagsAndElevationMarksFollowTheIndependentAngles)
{
    EphemerisSource source;
    source.SetFolder(Folder());
    const ReceiverPosition where{-33.9, 151.2, 40};
    std::vector<Query> queries;
    const int32_t start = Gps(2008, 6, 28, 0, 30, 0);
    for (int32_t s = start; s < start + 86000; s += 3600) {
        for (int prn = 1; prn <= 32; ++prn) {
            queries.push_back({prn, s, where});
        }
    }
    const auto ref = Reference(dir_ / "lab11800.08n", queries, dir_);
    ASSERT_EQ(ref.size(), queries.size());
    testing::internal::CaptureStderr();
    for (std::size_t k = 0; k < queries.size(); k += 32) {
        ElevationMarks marks;
        std::string row;
        const int count = visibility_row(source, where, AtSeconds(queries[k].seconds), marks, row);
        ASSERT_EQ(row.size(), 77u);
        EXPECT_EQ(row.substr(0, 11), Format("%10d ", static_cast<int>(queries[k].seconds)));
        int want_count = 0;
        for (int prn = 1; prn <= 32; ++prn) {
            const auto& r = ref[k + static_cast<std::size_t>(prn) - 1];
            const double elev = r.size() == 12 ? std::stod(r[9]) : -90;
            const bool visible = std::trunc(elev * 100) > 0;
            want_count += visible;
            EXPECT_EQ(row.substr(11 + 2 * (prn - 1), 2), visible ? " 1" : " 0") << prn;
            EXPECT_EQ(marks[static_cast<std::size_t>(prn - 1)],
                      visible ? static_cast<int>(std::trunc(std::trunc(elev * 100) / 100.0 + 0.5)) : 0)
                << prn;
        }
        EXPECT_EQ(count, want_count);
    }
    testing::internal::GetCapturedStderr();
}

// The satellites of an epoch go through the orbit together: records that
// make no orbit (too small, refused for their week, too far out to be a
// satellite) sit among good ones, and each good satellite's mark is still
// its own.
TEST_F(RinexFolder, ImpossibleOrbitsAmongASatellitesEpochLeaveTheOthersTheirOwn)
{
    std::vector<NavRecord> recs;
    const std::set<int> tiny = {2, 9, 17}, old_week = {5, 12}, far_out = {7, 14, 23, 30};
    for (int h = 0; h < 24; h += 6) {
        for (int prn = 1; prn <= 32; ++prn) {
            NavRecord r = Orbit(prn, kWeekSun, 86400 + h * 3600, 8, 6, 30, h);
            if (tiny.count(prn)) {
                r.sqrt_a = Nearest(50.0, -19);
            } else if (old_week.count(prn)) {
                r.week = 1349;
            } else if (far_out.count(prn)) {
                r.sqrt_a = Nearest(8000.0, -19);
            }
            recs.push_back(r);
        }
    }
    WriteFile(dir_ / "lab11820.08n", RinexText(ShortHeader(), recs));
    const ReceiverPosition where{48.1173, 11.5167, 545};
    std::vector<Query> queries;
    const int32_t start = Gps(2008, 6, 30, 0, 10, 0);
    for (int32_t s = start; s < start + 86000; s += 2999) {
        for (int prn = 1; prn <= 32; ++prn) {
            queries.push_back({prn, s, where});
        }
    }
    const auto ref = Reference(dir_ / "lab11820.08n", queries, dir_);
    ASSERT_EQ(ref.size(), queries.size());
    EphemerisSource source;
    source.SetFolder(Folder());
    int good_visible = 0;
    for (std::size_t k = 0; k < queries.size(); k += 32) {
        ElevationMarks marks;
        std::string row;
        const int count = visibility_row(source, where, AtSeconds(queries[k].seconds), marks, row);
        int want_count = 0;
        for (int prn = 1; prn <= 32; ++prn) {
            const auto& r = ref[k + static_cast<std::size_t>(prn) - 1];
            ASSERT_EQ(r.size(), 12u) << prn;
            const bool broken = tiny.count(prn) || old_week.count(prn) || far_out.count(prn);
            const double elev = std::stod(r[9]);
            const bool visible = !broken && std::trunc(elev * 100) > 0;
            want_count += visible;
            good_visible += visible;
            const std::string at = Format("PRN %d at %d", prn, static_cast<int>(queries[k].seconds));
            EXPECT_EQ(row.substr(11 + 2 * (prn - 1), 2), visible ? " 1" : " 0") << at;
            EXPECT_EQ(marks[static_cast<std::size_t>(prn - 1)],
                      visible ? static_cast<int>(std::trunc(std::trunc(elev * 100) / 100.0 + 0.5)) : 0)
                << at;
        }
        EXPECT_EQ(count, want_count);
    }
    EXPECT_GT(good_visible, 100);
}

TEST_F(RinexFolder, IodeListingAndTheFixedVisibilityTest)
{
    RunResult r = navsift_test::Run({NavsiftPath(), "-iode", std::to_string(Gps(2008, 6, 29, 3, 0, 0)), "-e", Folder()},
                      dir_.path());
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, ReadFile(kGoldenDir / "iode_listing.txt"));

    // -v looks at 2008-06-30 10:00 whatever the week and time given, and
    // writes its row in the working folder.
    ScratchDir work;
    WriteFile(work / "lab11820.08n", RinexText(ShortHeader(), {Orbit(12, kWeekSun, 86400 + 8 * 3600, 8, 6, 30, 8)}));
    r = navsift_test::Run({NavsiftPath(), "-v", "-u", "1 2 48.1173 11.5167 545", "-e", work.path().string()}, work.path());
    EXPECT_EQ(r.status, 0) << r.err;
    const std::string row = ReadFile(work / "sat_visibility.txt");
    ASSERT_EQ(row.size(), 77u);
    EXPECT_EQ(row.substr(0, 11), " 898855200 ");

    r = navsift_test::Run({NavsiftPath(), "-v", "-u", "1 2 48.1"}, work.path());
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.err.find("-v needs"), std::string::npos);
}

}  // namespace
}  // namespace navsift_test
