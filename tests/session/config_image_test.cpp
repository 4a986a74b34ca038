// The configuration image against bytes composed by hand from the file
// layout: every field in order, little-endian, texts as count + bytes.
#include "bench/session/config.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <cstring>
#include <string>

using namespace bench;

namespace {

// Appends little-endian values the way the layout describes them.
struct Bytes {
    std::string s;
    Bytes& i16(int v) {
        const auto u = static_cast<uint16_t>(static_cast<int16_t>(v));
        s.push_back(static_cast<char>(u & 0xFF));
        s.push_back(static_cast<char>(u >> 8));
        return *this;
    }
    Bytes& i32(int32_t v) {
        const auto u = static_cast<uint32_t>(v);
        for (int i = 0; i < 4; ++i) s.push_back(static_cast<char>((u >> (8 * i)) & 0xFF));
        return *this;
    }
    Bytes& f64(double v) {
        const auto u = std::bit_cast<uint64_t>(v);
        for (int i = 0; i < 8; ++i) s.push_back(static_cast<char>((u >> (8 * i)) & 0xFF));
        return *this;
    }
    Bytes& text(const std::string& t) {
        i16(static_cast<int>(t.size()));
        s += t;
        return *this;
    }
    Bytes& raw(std::initializer_list<int> b) {
        for (int c : b) s.push_back(static_cast<char>(c));
        return *this;
    }
};

// A record whose every text is empty and every number zero.
SystemConfig AllTextsEmpty() {
    SystemConfig c;
    c.SimulatorType.clear();
    for (DeviceConfig& d : c.Devices) {
        d.DName.clear();
        d.LPath.clear();
        d.ColdC.clear();
        d.WarmC.clear();
        d.HotC.clear();
        d.BadPosC.clear();
        d.RestartC.clear();
        d.NmeaP = 0;
        d.NmeaB = 0;
        d.DebugP = 0;
        d.DebugB = 0;
    }
    return c;
}

// Offset of the first differing byte, or -1; keeps failure output readable.
long FirstDifference(const std::string& a, const std::string& b) {
    const std::size_t n = std::min(a.size(), b.size());
    for (std::size_t i = 0; i < n; ++i)
        if (a[i] != b[i]) return static_cast<long>(i);
    return a.size() == b.size() ? -1 : static_cast<long>(n);
}

int16_t At16(const std::string& b, std::size_t off) {
    return static_cast<int16_t>(static_cast<unsigned char>(b[off]) |
                                (static_cast<unsigned char>(b[off + 1]) << 8));
}
int32_t At32(const std::string& b, std::size_t off) {
    uint32_t u = 0;
    for (int i = 0; i < 4; ++i) u |= static_cast<uint32_t>(static_cast<unsigned char>(b[off + i])) << (8 * i);
    return static_cast<int32_t>(u);
}
double At64(const std::string& b, std::size_t off) {
    uint64_t u = 0;
    for (int i = 0; i < 8; ++i) u |= static_cast<uint64_t>(static_cast<unsigned char>(b[off + i])) << (8 * i);
    return std::bit_cast<double>(u);
}

}  // namespace

TEST(ConfigImage, AllEmptyRecordIs24072BytesWithEveryNumberAtItsOffset) {
    SystemConfig c = AllTextsEmpty();
    c.SimHostPort = 15650;
    DeviceConfig& d = c.Devices[2];
    d.DevEN = -1;
    d.NmeaP = 7;
    d.NmeaB = 115200;
    d.DebugEN = -1;
    d.DebugP = 8;
    d.DebugB = 38400;
    d.AStart = -1;
    d.RLog = 0;
    d.GLog = -1;
    d.PLog = -1;
    d.HWRes = -1;
    d.StartupD = 2.5;
    d.NcoStart = -100000;
    d.NcoMax = 70000;
    d.NcoStep = 33;
    TestEntry& t = c.Tests[127];
    t.Enabled = -1;
    t.Trials = 50;
    t.MinDelay = 15;
    t.MaxDelay = 45;
    t.AlmanacWait = -1;
    t.Simulator = -1;
    t.SimSetupTime = 90;
    t.EndPower = -160.5;
    t.StartPower = -130.25;
    t.FirstSatEn = -1;
    t.FirstSatPower = -140;
    t.FirstSatChannel = 3;
    t.PowerStep = 0.5;
    t.ScriptCount = 1;
    t.SimPower = -131.0;
    t.Rewind = -1;
    t.TttrkOption = 1;
    t.TttrkSats = 6;
    t.TttrkTime = 10;
    t.SimPowerRepeat = -131.0;
    t.Reserved = 0x1234;
    t.OffTime = 20;
    t.SingleSatEn = -1;
    t.SingleSatStartPower = -135.0;
    t.SingleSatEndPower = -155.0;
    t.SingleSatStep = 1.5;
    t.SingleSatChannel = 4;
    t.LabSat = -1;
    t.LabSatStart = 3600;
    t.LabSatDuration = -7;
    t.LabSatIterations = 3;
    t.LabSatAttenuation = 12;

    const ConfigEncodeResult r = EncodeSystemConfig(c);
    ASSERT_TRUE(r.ok);
    const std::string& b = r.bytes;
    ASSERT_EQ(b.size(), 24072u);

    EXPECT_EQ(At32(b, 4), 15650);
    const std::size_t dev = 8 + 2 * 64;
    EXPECT_EQ(At16(b, dev + 0), -1);
    EXPECT_EQ(At16(b, dev + 6), 7);
    EXPECT_EQ(At32(b, dev + 8), 115200);
    EXPECT_EQ(At16(b, dev + 12), -1);
    EXPECT_EQ(At16(b, dev + 14), 8);
    EXPECT_EQ(At32(b, dev + 16), 38400);
    EXPECT_EQ(At16(b, dev + 20), -1);
    EXPECT_EQ(At16(b, dev + 22), 0);
    EXPECT_EQ(At16(b, dev + 24), -1);
    EXPECT_EQ(At16(b, dev + 26), -1);
    EXPECT_EQ(At16(b, dev + 42), -1);
    EXPECT_EQ(At64(b, dev + 44), 2.5);
    EXPECT_EQ(At32(b, dev + 52), -100000);
    EXPECT_EQ(At32(b, dev + 56), 70000);
    EXPECT_EQ(At32(b, dev + 60), 33);

    const std::size_t te = 264 + 127 * 184;
    EXPECT_EQ(At16(b, te + 0), -1);
    EXPECT_EQ(At16(b, te + 4), 50);
    EXPECT_EQ(At16(b, te + 6), 15);
    EXPECT_EQ(At16(b, te + 8), 45);
    EXPECT_EQ(At16(b, te + 10), -1);
    EXPECT_EQ(At16(b, te + 12), -1);
    EXPECT_EQ(At16(b, te + 14), 90);
    EXPECT_EQ(At64(b, te + 16), -160.5);   // end power comes before start power
    EXPECT_EQ(At64(b, te + 24), -130.25);
    EXPECT_EQ(At16(b, te + 32), -1);
    EXPECT_EQ(At16(b, te + 34), -140);
    EXPECT_EQ(At16(b, te + 36), 3);
    EXPECT_EQ(At64(b, te + 38), 0.5);
    EXPECT_EQ(At16(b, te + 46), 1);
    EXPECT_EQ(At64(b, te + 108), -131.0);
    EXPECT_EQ(At16(b, te + 116), -1);
    EXPECT_EQ(At16(b, te + 118), 1);
    EXPECT_EQ(At16(b, te + 120), 6);
    EXPECT_EQ(At16(b, te + 122), 10);
    EXPECT_EQ(At64(b, te + 124), -131.0);
    EXPECT_EQ(At16(b, te + 132), 0x1234);
    EXPECT_EQ(At16(b, te + 134), 20);
    EXPECT_EQ(At16(b, te + 136), -1);
    EXPECT_EQ(At64(b, te + 138), -135.0);
    EXPECT_EQ(At64(b, te + 146), -155.0);
    EXPECT_EQ(At64(b, te + 154), 1.5);
    EXPECT_EQ(At16(b, te + 162), 4);
    EXPECT_EQ(At16(b, te + 168), -1);
    EXPECT_EQ(At32(b, te + 172), 3600);
    EXPECT_EQ(At32(b, te + 176), -7);
    EXPECT_EQ(At16(b, te + 180), 3);
    EXPECT_EQ(At16(b, te + 182), 12);
    // Flags are FF FF, numbers of value 1 are 01 00.
    EXPECT_EQ(b.substr(te + 12, 2), std::string("\xFF\xFF", 2));
    EXPECT_EQ(b.substr(te + 118, 2), std::string("\x01\x00", 2));
    EXPECT_EQ(b.substr(te + 46, 2), std::string("\x01\x00", 2));

    // Everything not set above is zero: the empty texts and the other slots.
    std::string blanked = b;
    for (std::size_t off : {std::size_t{4}}) std::memset(&blanked[off], 0, 4);
    std::memset(&blanked[dev], 0, 64);
    std::memset(&blanked[te], 0, 184);
    EXPECT_EQ(FirstDifference(blanked, std::string(24072, '\0')), -1);

    const ConfigDecodeResult back = DecodeSystemConfig(b);
    EXPECT_TRUE(back.complete);
    EXPECT_EQ(back.bytesUsed, 24072u);
    EXPECT_EQ(back.config, c);
}
