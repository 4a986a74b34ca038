// Speed and heading extraction (-vel): the vel file's bytes and lookup, each
// log type through the real program on small hand-made logs, folder mode and
// the refusals that protect the inputs.
#include <gtest/gtest.h>

#include <cstring>
#include <random>

#include "analysis/core/vel_file.h"
#include "tests/analysis/navsift_harness.h"

namespace navsift_test {
namespace {

using navsift::VelFile;
using navsift::VelRecord;

std::string Golden(const std::string& name)
{
    return ReadFile(fs::path(FIXBENCH_SOURCE_DIR) / "tests/analysis/golden" / name);
}

VelFile Load(const fs::path& path)
{
    std::optional<VelFile> f = VelFile::Load(path.string());
    EXPECT_TRUE(f.has_value()) << path;
    return f.value_or(VelFile{});
}

std::vector<uint32_t> Keys(const VelFile& f)
{
    std::vector<uint32_t> keys;
    for (const VelRecord& r : f.records) {
        keys.push_back(r.key);
    }
    return keys;
}

// 2008-06-30 00:00:00 in GPS seconds.
constexpr uint32_t kMidnight = 898819200;

// One NMEA epoch: GGA, RMC, VTG, and optionally $PQNVTG and $PQNVODO.
struct Nmea {
    int sod = 36000;
    int quality = 1;
    bool rmc = true;
    double kmh = 41.5, course = 84.4;
    int tg_offset = -1;  // $PQNVTG GPS second = UTC + offset; -1 for none
    int odo_count = -1;  // odometer pulses; -1 for none
};

// `odo_first`: the odometer sentence opens each epoch, as odometer-paced
// logs write it.
std::string NmeaLog(const std::vector<Nmea>& epochs, bool odo_first = false)
{
    std::string log;
    char t[16];
    for (const Nmea& n : epochs) {
        std::snprintf(t, sizeof t, "%02d%02d%02d", n.sod / 3600 % 24, n.sod / 60 % 60, n.sod % 60);
        const std::string odo = n.odo_count < 0 ? std::string()
                                                : Sentence(std::string("PQNVODO,") + t + ",0,0,0,0,0,0,0,0,0," +
                                                           std::to_string(n.odo_count) + ",0");
        if (odo_first) {
            log += odo;
        }
        log += Sentence(std::string("GPGGA,") + t + ".00,4807.038,N,01131.000,E," + std::to_string(n.quality) +
                        ",08,0.9,545.4,M,46.9,M,,");
        if (n.rmc) {
            log += Sentence(std::string("GPRMC,") + t + ".00,A,4807.038,N,01131.000,E,022.4,084.4,300608,,,A");
        }
        char vtg[96];
        std::snprintf(vtg, sizeof vtg, "GPVTG,%.1f,T,,M,0.0,N,%.1f,K,A", n.course, n.kmh);
        log += Sentence(vtg);
        if (n.tg_offset >= 0) {
            // GPS week 1486 starts 2008-06-29 00:00:00
            const long tow = 86400L + n.sod + n.tg_offset;
            log += Sentence("PQNVTG,1486," + std::to_string(tow) + ".0,0,0,0,0");
        }
        if (!odo_first) {
            log += odo;
        }
    }
    return log;
}

TEST(VelFile, BytesAndLookup)
{
    ScratchDir dir;
    // Written by the program: first second 36000 (not recorded), then
    // records every second with 36003 missing.
    std::vector<Nmea> epochs;
    for (int s = 36000; s <= 36007; ++s) {
        if (s != 36003) {
            epochs.push_back({.sod = s, .kmh = 10.0 + s - 36000});
        }
    }
    WriteFile(dir / "drive.txt", NmeaLog(epochs));
    RunResult r = Navsift({"-vel", (dir / "drive.txt").string(), "-speedpath", (dir / "").string()}, dir.path());
    ASSERT_EQ(r.status, 0) << r.err;
    const std::string bytes = ReadFile(dir / "drive.vel");
    // The log's last epoch is recorded too.
    ASSERT_EQ(bytes.size(), 8u + 48u * 6u);
    auto u32 = [&](std::size_t at) {
        return static_cast<uint32_t>(static_cast<unsigned char>(bytes[at])) |
               static_cast<uint32_t>(static_cast<unsigned char>(bytes[at + 1])) << 8 |
               static_cast<uint32_t>(static_cast<unsigned char>(bytes[at + 2])) << 16 |
               static_cast<uint32_t>(static_cast<unsigned char>(bytes[at + 3])) << 24;
    };
    EXPECT_EQ(u32(0), kMidnight + 36000);
    EXPECT_EQ(u32(4), kMidnight + 36007);
    EXPECT_EQ(u32(8), kMidnight + 36001);
    EXPECT_EQ(u32(12), 0u);  // padding
    // speed 11.0 at offset 8 of the record: 0x4026000000000000 little-endian
    EXPECT_EQ(bytes.substr(16, 8), std::string("\0\0\0\0\0\0\x26\x40", 8));

    const VelFile f = Load(dir / "drive.vel");
    EXPECT_FALSE(f.partial_tail);
    EXPECT_EQ(Keys(f), (std::vector<uint32_t>{kMidnight + 36001, kMidnight + 36002, kMidnight + 36004,
                                              kMidnight + 36005, kMidnight + 36006, kMidnight + 36007}));
    EXPECT_FALSE(f.Lookup(kMidnight + 36000));  // the first second is never recorded
    EXPECT_FALSE(f.Lookup(kMidnight + 36003));  // the gap
    EXPECT_FALSE(f.Lookup(kMidnight + 35999));
    EXPECT_FALSE(f.Lookup(kMidnight + 36008));
    ASSERT_TRUE(f.Lookup(kMidnight + 36007));  // the last second, past where a gap-free file holds it
    EXPECT_DOUBLE_EQ(f.Lookup(kMidnight + 36007)->speed, 17.0);
    ASSERT_TRUE(f.Lookup(kMidnight + 36004));  // found by walking back over the gap
    EXPECT_DOUBLE_EQ(f.Lookup(kMidnight + 36004)->speed, 14.0);
    EXPECT_DOUBLE_EQ(f.Lookup(kMidnight + 36004)->heading, 84.4);
    EXPECT_NEAR(f.Lookup(kMidnight + 36004)->latitude, 48.1173, 1e-9);
    EXPECT_NEAR(f.Lookup(kMidnight + 36004)->longitude, 11.516667, 1e-6);
    EXPECT_DOUBLE_EQ(f.Lookup(kMidnight + 36004)->height, 545.4);

    // A trailing partial record is ignored; a file shorter than its header is not a vel file.
    WriteFile(dir / "cut.vel", bytes.substr(0, bytes.size() - 20));
    const VelFile cut = Load(dir / "cut.vel");
    EXPECT_TRUE(cut.partial_tail);
    EXPECT_EQ(cut.records.size(), 5u);
    EXPECT_FALSE(cut.Lookup(kMidnight + 36007));
    WriteFile(dir / "tiny.vel", bytes.substr(0, 5));
    EXPECT_FALSE(VelFile::Load((dir / "tiny.vel").string()));
}

TEST(VelFile, LookupAgreesWithAScanOverRandomGaps)
{
    std::mt19937 rng(24);
    for (int round = 0; round < 200; ++round) {
        VelFile f;
        f.first = 1000;
        uint32_t key = f.first;
        const int n = static_cast<int>(rng() % 30);
        for (int i = 0; i < n; ++i) {
            key += 1 + rng() % 4;
            f.records.push_back({key, static_cast<double>(i)});
        }
        f.last = key;
        for (uint32_t s = 990; s <= key + 5; ++s) {
            const VelRecord* want = nullptr;
            for (const VelRecord& r : f.records) {
                if (r.key == s) {
                    want = &r;
                }
            }
            const std::optional<VelRecord> got = f.Lookup(s);
            ASSERT_EQ(got.has_value(), want != nullptr) << "round " << round << " second " << s;
            if (want != nullptr) {
                EXPECT_EQ(got->speed, want->speed);
            }
        }
    }
}

TEST(VelExtract, NmeaTypes)
{
    ScratchDir dir;
    // gps: no $PQNVTG, so the CSV's time columns are the RMC's UTC time and
    // date, and GPS seconds of UTC + 15 s; a first epoch without a fix and
    // one without RMC are skipped before the first second.
    WriteFile(dir / "gps.txt", NmeaLog({{.sod = 36000, .quality = 0}, {.sod = 36001, .rmc = false},
                                        {.sod = 36002}, {.sod = 36003, .kmh = 50.25, .course = 359.9},
                                        {.sod = 36004}}));
    RunResult r = Navsift({"-vel", (dir / "gps.txt").string(), "-speedpath", (dir / "").string()}, dir.path());
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(ReadFile(dir / "gps_speed_heading.csv"),
              "time,date,gpstime,speed,heading\r\n10:00:03,30/06/2008,898855218,50.2,359.9\r\n"
              "10:00:04,30/06/2008,898855219,41.5,84.4\r\n");
    EXPECT_EQ(Load(dir / "gps.vel").first, kMidnight + 36002);
    EXPECT_EQ(Keys(Load(dir / "gps.vel")), (std::vector<uint32_t>{kMidnight + 36003, kMidnight + 36004}));

    // garnmea: the key is the $PQNVTG second less 15, the CSV shows that second.
    WriteFile(dir / "gn.txt", NmeaLog({{.sod = 36000, .tg_offset = 15}, {.sod = 36001, .tg_offset = 15},
                                       {.sod = 36002, .tg_offset = 15}}));
    r = Navsift({"-vel", (dir / "gn.txt").string(), "-type", "garnmea", "-speedpath", (dir / "").string()},
                dir.path());
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(ReadFile(dir / "gn_speed_heading.csv"),
              "time,date,gpstime,speed,heading\r\n10:00:16,30/06/2008,898855216,41.5,84.4\r\n"
              "10:00:17,30/06/2008,898855217,41.5,84.4\r\n");
    EXPECT_EQ(Keys(Load(dir / "gn.vel")), (std::vector<uint32_t>{kMidnight + 36001, kMidnight + 36002}));

    // nodate: midnight of -date plus the GGA second of day, over midnight.
    WriteFile(dir / "nd.txt", NmeaLog({{.sod = 86398, .rmc = false}, {.sod = 86399, .rmc = false},
                                       {.sod = 86400, .rmc = false}, {.sod = 86401, .rmc = false}}));
    r = Navsift({"-vel", (dir / "nd.txt").string(), "-type", "nodate", "-date", "30062008", "-speedpath",
                 (dir / "").string()},
                dir.path());
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(Keys(Load(dir / "nd.vel")),
              (std::vector<uint32_t>{kMidnight + 86399, kMidnight + 86400, kMidnight + 86401}));
    r = Navsift({"-vel", (dir / "nd.txt").string(), "-type", "nodate"}, dir.path());
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.err.find("-type nodate needs -date DDMMYYYY"), std::string::npos) << r.err;
}

TEST(VelExtract, OdometerSpeedsAndGaps)
{
    ScratchDir dir;
    // 10 pulses = 10 x 0.2 m x 3.6 = 7.2 km/h; the second record comes 3 s
    // after the previous one and records a third.
    const std::vector<Nmea> epochs = {{.sod = 36000, .odo_count = 10}, {.sod = 36001, .odo_count = 10},
                                      {.sod = 36004, .odo_count = 30}, {.sod = 36005, .odo_count = 10},
                                      {.sod = 36006, .odo_count = 10}};
    WriteFile(dir / "ref.txt", NmeaLog(epochs));
    WriteFile(dir / "old.txt", NmeaLog(epochs, true));
    for (const std::string type : {"ref", "old"}) {
        RunResult r = Navsift({"-vel", (dir / (type + ".txt")).string(), "-type", type, "-speedpath",
                               (dir / "").string()},
                              dir.path());
        ASSERT_EQ(r.status, 0) << r.err;
        const VelFile f = Load(dir / (type + ".vel"));
        ASSERT_EQ(f.records.size(), 4u) << type;
        EXPECT_NEAR(f.records[0].speed, 7.2, 1e-9) << type;
        EXPECT_NEAR(f.records[1].speed, 7.2, 1e-9) << type;  // 21.6 / 3
        EXPECT_NEAR(f.records[2].speed, 7.2, 1e-9) << type;
        EXPECT_NEAR(f.records[3].speed, 7.2, 1e-9) << type;
        r = Navsift({"-vel", (dir / (type + ".txt")).string(), "-type", type, "-odoscale", "0.1", "-speedpath",
                     (dir / "").string()},
                    dir.path());
        ASSERT_EQ(r.status, 0) << r.err;
        EXPECT_NEAR(Load(dir / (type + ".vel")).records[2].speed, 3.6, 1e-9) << type;
    }
    RunResult r = Navsift({"-vel", (dir / "ref.txt").string(), "-type", "ref", "-odoscale", "-1"}, dir.path());
    EXPECT_EQ(r.status, 2);
}

TEST(VelExtract, ReferenceLogTypes)
{
    ScratchDir dir;
    const std::string out = (dir / "").string();
    // gar: header skipped; -0.5 rad is 331.35 degrees; no position. The
    // last line lacks its line feed and is not used.
    WriteFile(dir / "gar.txt",
              "year,month,day,hour,min,sec,...\n"
              "2008,6,30,10,0,0,0,0,0,0,0,0,2.5,0,0,0,0,0,0,0.1,0,0\n"
              "2008,6,30,10,0,1,0,0,0,0,0,0,5.0,0,0,0,0,0,0,-0.5,0,0\n"
              "2008,6,30,10,0,2,0,0,0,0,0,0,6.0,0,0,0,0,0,0,1.0,0,0\n"
              "2008,6,30,10,0,3,0,0,0,0,0,0,7.0,0,0,0,0,0,0,1.0,0,0");
    // gvn52 and gvn52mm: the same lines, positions from fields 7/8 or 9/10.
    const std::string gvn =
        "6,30,2008,10,0,0,0.8,0.2,0.9,0.3,100.0,0,0,0,1.0,0,0.5\n"
        "6,30,2008,10,0,1,0.8,0.2,-0.9,-0.3,101.0,0,0,0,2.0,0,-0.5\n";
    WriteFile(dir / "gvn.txt", gvn);
    WriteFile(dir / "gvnmm.txt", gvn);
    // ecoh and ecos cross midnight of -date.
    WriteFile(dir / "ecoh.txt", "time,heading\n23:59:58,10.0\n23:59:59,20.5\n00:00:00,30.0\n00:00:01,40.0\n");
    WriteFile(dir / "ecos.txt", "time,x,speed\n23:59:58,a,10.0\n23:59:59,,20.5\n00:00:00,b,30.0\n00:00:01,c,40.0\n");

    struct Case {
        std::string log, type;
    };
    for (const Case& c : {Case{"gar", "gar"}, Case{"gvn", "gvn52"}, Case{"gvnmm", "gvn52mm"}, Case{"ecoh", "ecoh"},
                          Case{"ecos", "ecos"}}) {
        RunResult r = Navsift({"-vel", (dir / (c.log + ".txt")).string(), "-type", c.type, "-date", "29062008",
                               "-speedpath", out},
                              dir.path());
        ASSERT_EQ(r.status, 0) << c.type << r.err;
        EXPECT_EQ(ReadFile(dir / (c.log + "_speed_heading.csv")), Golden("vel_" + c.type + ".csv")) << c.type;
        EXPECT_NE(r.out.find("Processing line 1\r"), std::string::npos) << c.type;
    }
    const VelFile gar = Load(dir / "gar.vel");
    ASSERT_EQ(gar.records.size(), 2u);
    EXPECT_EQ(gar.first, kMidnight + 36000);
    EXPECT_NEAR(gar.records[0].heading, 331.35211, 1e-4);
    EXPECT_DOUBLE_EQ(gar.records[0].speed, 18.0);
    EXPECT_EQ(gar.records[0].latitude, 0.0);

    const VelFile gvn52 = Load(dir / "gvn.vel"), gvnmm = Load(dir / "gvnmm.vel");
    ASSERT_EQ(gvn52.records.size(), 1u);
    ASSERT_EQ(gvnmm.records.size(), 1u);
    EXPECT_NEAR(gvn52.records[0].latitude, 0.8 * 180 / 3.141592653589793, 1e-9);
    EXPECT_NEAR(gvn52.records[0].longitude, 0.2 * 180 / 3.141592653589793, 1e-9);
    EXPECT_NEAR(gvnmm.records[0].latitude, -0.9 * 180 / 3.141592653589793, 1e-9);
    EXPECT_NEAR(gvnmm.records[0].longitude, -0.3 * 180 / 3.141592653589793, 1e-9);
    EXPECT_DOUBLE_EQ(gvnmm.records[0].height, 101.0);

    // 2008-06-29 23:59:58 is the first second; the keys go on past midnight.
    const uint32_t day_before = kMidnight - 86400;
    for (const std::string name : {"ecoh", "ecos"}) {
        const VelFile f = Load(dir / (name + ".vel"));
        EXPECT_EQ(f.first, day_before + 86398) << name;
        EXPECT_EQ(Keys(f), (std::vector<uint32_t>{day_before + 86399, day_before + 86400, day_before + 86401}))
            << name;
        EXPECT_EQ(f.last, day_before + 86401) << name;
    }
    EXPECT_DOUBLE_EQ(Load(dir / "ecos.vel").records[0].speed, 20.5);  // empty text field
}

TEST(VelExtract, FoldersAndRefusals)
{
    ScratchDir dir;
    fs::create_directories(dir / "logs");
    fs::create_directories(dir / "out");
    const std::string log = NmeaLog({{.sod = 36000}, {.sod = 36001}, {.sod = 36002}});
    WriteFile(dir / "logs" / "a.txt", log);
    WriteFile(dir / "logs" / "b.TXT", log);
    WriteFile(dir / "logs" / "notes.doc", log);
    RunResult r = Navsift({"-vel", (dir / "logs" / "").string(), "-speedpath", (dir / "out" / "").string()},
                          dir.path());
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(fs::exists(dir / "out" / "a.vel"));
    EXPECT_TRUE(fs::exists(dir / "out" / "b.vel"));
    EXPECT_FALSE(fs::exists(dir / "out" / "notes.vel"));
    EXPECT_TRUE(fs::exists(dir / "logs" / "a_speed_heading.csv"));

    r = Navsift({"-vel", (dir / "logs" / "").string(), "-name", "all", "-speedpath", (dir / "out" / "").string()},
                dir.path());
    EXPECT_EQ(r.status, 0);
    EXPECT_NE(r.err.find("it keeps the last log's records"), std::string::npos) << r.err;
    EXPECT_EQ(Load(dir / "out" / "all.vel").records.size(), 2u);

    // A -name that leads out of the -speedpath folder is refused and
    // nothing is written there.
    fs::create_directories(dir / "out" / "deep");
    r = Navsift({"-vel", (dir / "logs" / "a.txt").string(), "-name", "../../escaped", "-speedpath",
                 (dir / "out" / "deep" / "").string()},
                dir.path());
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.err.find("folder separator"), std::string::npos) << r.err;
    EXPECT_FALSE(fs::exists(dir.path().parent_path() / "escaped.vel"));
    EXPECT_FALSE(fs::exists(dir / "escaped.vel"));

    // A log named .vel would be replaced by its own output.
    WriteFile(dir / "x.vel", log);
    r = Navsift({"-vel", (dir / "x.vel").string(), "-speedpath", (dir / "").string()}, dir.path());
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(ReadFile(dir / "x.vel"), log);

    // An output folder that does not exist: the CSV is still written.
    r = Navsift({"-vel", (dir / "logs" / "a.txt").string(), "-speedpath", (dir / "none" / "").string()}, dir.path());
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("cannot create"), std::string::npos);

    // No fix with a time: an empty CSV, no vel file, and a run that fails.
    WriteFile(dir / "nofix.txt", NmeaLog({{.sod = 36000, .quality = 0}, {.sod = 36001, .quality = 0}}));
    r = Navsift({"-vel", (dir / "nofix.txt").string(), "-speedpath", (dir / "").string()}, dir.path());
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(ReadFile(dir / "nofix_speed_heading.csv"), "");
    EXPECT_FALSE(fs::exists(dir / "nofix.vel"));
    EXPECT_NE(r.err.find("no fix with a time; no vel file"), std::string::npos) << r.err;
}

}  // namespace
}  // namespace navsift_test
