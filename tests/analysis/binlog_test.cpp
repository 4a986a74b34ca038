// The binary debug log to CSV, as a user runs it: logs built block by block
// here, byte for byte, including damaged and truncated ones.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "analysis/core/gps_time.h"
#include "tests/analysis/navsift_harness.h"

namespace navsift_test {
namespace {

const fs::path kGoldenDir = fs::path(FIXBENCH_SOURCE_DIR) / "tests/analysis/golden";

struct Sample {
    uint32_t tick = 0;
    uint16_t gyro = 0, supply = 0, vcc = 0, ground = 0, odo = 0;
};

struct Block {
    uint32_t week = 1500;
    double tow = 345600.0;
    uint32_t cpu = 0;
    int8_t fix = 2;
    double lat = 0.8399, lon = 0.2010, height = 545.5, vn = 1.25, ve = -0.5, vu = 0.0625;
    std::vector<Sample> samples;
    uint32_t count = UINT32_MAX;  // the sample count written; the list's size when not set
    uint16_t size = 2924;
    bool bad_check = false;
};

void Put(std::string& b, std::size_t at, const void* v, std::size_t n) { std::memcpy(&b[at], v, n); }
template <typename T>
void PutLE(std::string& b, std::size_t at, T v)
{
    static_assert(std::is_trivially_copyable_v<T>);
    unsigned char bytes[sizeof(T)];
    std::memcpy(bytes, &v, sizeof v);  // this machine is little-endian, as the log is
    Put(b, at, bytes, sizeof bytes);
}

std::string Bytes(const Block& k)
{
    std::string b(2928, '\0');
    PutLE<uint16_t>(b, 0, k.size);
    b[2] = 0x5A;
    b[3] = static_cast<char>((b[0] ^ b[1] ^ b[2]) ^ (k.bad_check ? 1 : 0));
    const std::size_t p = 4;
    PutLE<uint32_t>(b, p + 0, k.week);
    PutLE<double>(b, p + 4, k.tow);
    PutLE<uint32_t>(b, p + 16, k.cpu);
    PutLE<int8_t>(b, p + 20, k.fix);
    PutLE<double>(b, p + 56, k.lat);
    PutLE<double>(b, p + 64, k.lon);
    PutLE<double>(b, p + 72, k.height);
    PutLE<double>(b, p + 80, k.vn);
    PutLE<double>(b, p + 88, k.ve);
    PutLE<double>(b, p + 96, k.vu);
    PutLE<uint32_t>(b, p + 2612, k.count == UINT32_MAX ? static_cast<uint32_t>(k.samples.size()) : k.count);
    for (std::size_t i = 0; i < k.samples.size() && i < 22; ++i) {
        const Sample& s = k.samples[i];
        PutLE<uint32_t>(b, p + 2616 + 4 * i, s.tick);
        PutLE<uint16_t>(b, p + 2704 + 8 * i, s.gyro);
        PutLE<uint16_t>(b, p + 2706 + 8 * i, s.supply);
        PutLE<uint16_t>(b, p + 2708 + 8 * i, s.vcc);
        PutLE<uint16_t>(b, p + 2710 + 8 * i, s.ground);
        PutLE<uint16_t>(b, p + 2880 + 2 * i, s.odo);
    }
    return b;
}

std::vector<Sample> Burst(uint32_t first_tick, int n, uint32_t step = 46500)
{
    std::vector<Sample> out;
    for (int i = 0; i < n; ++i) {
        Sample s;
        s.tick = first_tick + static_cast<uint32_t>(i) * step;
        s.gyro = static_cast<uint16_t>(2000 + i);
        s.supply = static_cast<uint16_t>(3300 - i);
        s.vcc = 5000;
        s.ground = static_cast<uint16_t>(i % 3);
        s.odo = static_cast<uint16_t>(100 + 2 * i);
        out.push_back(s);
    }
    return out;
}

const char* const kHeaderLine =
    "Sample,CPU Time,GPS time Week,GPS time tow,UTC year,UTC month,UTC day,UTC hour,UTC min,UTC sec,Odo Counter,"
    "GyroV,GyroSupply,Vcc,Ground,FixStatus,Latitude,Longitude,Height,VelNorth,VelEast,VelVert,GPSCPUTime\n";

// The rows the format gives, worked out here with printf itself.
std::string ExpectedRows(const Block& prev, const Block& cur, int& number)
{
    navsift::CalendarTime utc;
    navsift::gps_to_calendar(static_cast<int32_t>(prev.week * 604800.0 + std::trunc(prev.tow) - 15), utc);
    std::string out;
    double tow = prev.tow;
    const std::size_t n = std::min<std::size_t>(cur.samples.size(), 22);
    for (std::size_t i = 0; i < n; ++i) {
        if (i > 0) {
            tow += static_cast<uint32_t>(cur.samples[i].tick - cur.samples[i - 1].tick) / 1023000.0;
        }
        const Sample& s = cur.samples[i];
        char line[512];
        std::snprintf(line, sizeof line,
                      "%d,%u,%d,%lf,%d,%d,%d,%d,%d,%d,%d,%d,%d,%d,%d,%d,%lf,%lf,%lf,%lf,%lf,%lf,%u\n", ++number,
                      s.tick, static_cast<int>(prev.week), tow, utc.year, utc.month, utc.day, utc.hour, utc.minute,
                      utc.second, s.odo, s.gyro, s.supply, s.vcc, s.ground, cur.fix,
                      prev.lat * 180 / 3.141592653589793, prev.lon * 180 / 3.141592653589793, prev.height, prev.vn,
                      prev.ve, prev.vu, prev.cpu);
        out += line;
    }
    return out;
}

RunResult Convert(const ScratchDir& dir, const std::string& bytes)
{
    WriteFile(dir / "debug.bin", bytes);
    return navsift_test::Run({NavsiftPath(), "-binary", "debug.bin"}, dir.path());
}

TEST(BinaryLog, RowsFromTheFixOnTimedByTheBlockBefore)
{
    ScratchDir dir;
    std::vector<Block> blocks(6);
    blocks[0].fix = 0;
    blocks[1].fix = 1;
    blocks[2].fix = 3;  // the fix
    blocks[2].samples = Burst(100, 5);
    blocks[3].tow = 345600.9;  // the first block whose solution times samples
    blocks[3].cpu = 4294960000u;
    blocks[3].samples = Burst(7000, 3);
    blocks[4].tow = 345601.9;
    blocks[4].cpu = 1023000;
    blocks[4].fix = 2;
    // The tick counter wraps: 4294967000 then 296 is a step of 592 ticks.
    blocks[4].samples = {Sample{4294967000u, 1, 2, 3, 4, 5}, Sample{296, 6, 7, 8, 9, 10}};
    blocks[5].tow = 345602.9;
    blocks[5].fix = -1;
    blocks[5].lat = -0.7;
    blocks[5].lon = -1.2;
    blocks[5].samples = Burst(50000, 30);  // more than a block holds
    blocks[5].count = 30;
    std::string bytes = "\x01\x02\x03";  // garbage before the first block
    for (const Block& b : blocks) {
        bytes += Bytes(b);
    }
    const RunResult r = Convert(dir, bytes);
    EXPECT_EQ(r.status, 0) << r.err;
    int number = 0;
    std::string want = kHeaderLine;
    want += ExpectedRows(blocks[3], blocks[4], number);
    want += ExpectedRows(blocks[4], blocks[5], number);
    EXPECT_EQ(r.out, want);
    EXPECT_EQ(number, 2 + 22);
    EXPECT_EQ(r.out, ReadFile(kGoldenDir / "binlog.csv"));
    // The UTC of week 1500 (from Sunday 2008-10-05), 345600 s less 15 s.
    EXPECT_NE(r.out.find(",1500,345600.900000,2008,10,8,23,59,45,5,1,2,3,4,2,"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find(",345600.900579,"), std::string::npos);
}

TEST(BinaryLog, BlocksAfterAMegabyteOfDamageAreFoundWhereverTheyStart)
{
    // The search reads the file a window at a time: a first block that
    // starts just before, at or after a window's end is found all the same,
    // and a lone good-looking header in the damage is passed over.
    ScratchDir dir;
    std::vector<Block> blocks(4);
    blocks[0].fix = 3;
    blocks[1].tow = 345600.9;
    blocks[1].samples = Burst(7000, 3);
    blocks[2].tow = 345601.9;
    blocks[2].fix = 2;
    blocks[2].samples = Burst(9000, 4);
    blocks[3].samples = Burst(1, 1);
    std::string good;
    for (const Block& b : blocks) {
        good += Bytes(b);
    }
    const RunResult clean = Convert(dir, good);
    ASSERT_EQ(clean.status, 0) << clean.err;
    ASSERT_GT(clean.out.size(), std::string(kHeaderLine).size());
    const std::string lone = Bytes(blocks[3]).substr(0, 4);
    for (const std::size_t damage : {std::size_t{1} << 20, (std::size_t{1} << 20) - 7, (std::size_t{1} << 20) + 3,
                                     (std::size_t{1} << 20) - 2930, (std::size_t{2} << 20) + 1}) {
        std::string bytes(damage, '\x5a');
        bytes.replace(damage / 2, 4, lone);  // a header with no block a block later
        const RunResult r = Convert(dir, bytes + good);
        EXPECT_EQ(r.status, 0) << damage << r.err;
        EXPECT_EQ(r.out, clean.out) << damage;
    }
}

TEST(BinaryLog, DamageEndsTheTableWithItsMessageAndOffset)
{
    ScratchDir dir;
    Block fix;
    fix.samples = Burst(1, 2);
    Block data = fix;
    auto log = [&](const Block& last) { return Bytes(fix) + Bytes(fix) + Bytes(data) + Bytes(data) + Bytes(last); };

    Block bad_check = data;
    bad_check.bad_check = true;
    RunResult r = Convert(dir, log(bad_check) + Bytes(data));
    EXPECT_EQ(r.status, 1);
    int number = 0;
    std::string rows = ExpectedRows(data, data, number);
    rows += ExpectedRows(data, data, number);
    EXPECT_EQ(r.out, kHeaderLine + rows + "Wrong Header Found!\n");
    EXPECT_NE(r.err.find("wrong header at byte offset " + std::to_string(4 * 2928)), std::string::npos) << r.err;

    Block bad_size = data;
    bad_size.size = 2900;
    r = Convert(dir, log(bad_size) + Bytes(data));
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, kHeaderLine + rows + "Wrong Data Block Size!\n");

    // A truncated last block: the rows before it, once, and an end.
    std::string cut = log(data);
    cut.resize(cut.size() - 1000);
    r = Convert(dir, cut);
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, kHeaderLine + rows);
    EXPECT_NE(r.err.find("truncated block at byte offset " + std::to_string(4 * 2928)), std::string::npos) << r.err;

    // A tail of garbage after whole blocks ends the table at the garbage.
    std::string garbage;
    for (int k = 0; k < 1250; ++k) {
        garbage += "\x11\x22\x33\x44";
    }
    r = Convert(dir, log(data) + garbage);
    EXPECT_EQ(r.status, 1);
    std::string more = rows;
    more += ExpectedRows(data, data, number);
    EXPECT_EQ(r.out, kHeaderLine + more + "Wrong Header Found!\n");
    EXPECT_NE(r.err.find("wrong header at byte offset " + std::to_string(5 * 2928)), std::string::npos) << r.err;
}

TEST(BinaryLog, NoFixNoBlockAndNoFile)
{
    ScratchDir dir;
    Block nofix;
    nofix.fix = 1;
    nofix.samples = Burst(1, 4);
    // Blocks without a fix give no sample: no table, and the run fails.
    RunResult r = Convert(dir, Bytes(nofix) + Bytes(nofix) + Bytes(nofix));
    EXPECT_EQ(r.status, 1) << r.err;
    EXPECT_EQ(r.out, "");
    EXPECT_NE(r.err.find("no sample after a block with a fix"), std::string::npos) << r.err;

    r = Convert(dir, Bytes(nofix));  // one block: no second header to trust it
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, "");
    EXPECT_NE(r.err.find("no block found"), std::string::npos);

    r = Convert(dir, "");
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, "");

    r = navsift_test::Run({NavsiftPath(), "-binary", "missing.bin"}, dir.path());
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("navsift: missing.bin does not exist"), std::string::npos);
}

}  // namespace
}  // namespace navsift_test
