// The configuration image against bytes composed by hand from the file
// layout: every field in order, little-endian, texts as count + bytes.
#include "bench/session/config.h"
#include "bench/session/test_line.h"

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

namespace {

// A typical session: two receivers in use, four tests, texts with bytes of
// the upper half of the code page.
SystemConfig TypicalSession() {
    SystemConfig c;
    c.SimulatorType = "Spirent GSS7700";
    c.SimHostName = "simlab-2";
    c.SimHostPort = 15650;

    DeviceConfig& a = c.Devices[0];
    a.DevEN = -1;
    a.DName = "Empf\xE4nger \xDC";  // "Empfänger Ü"
    a.NmeaP = 3;
    a.NmeaB = 115200;
    a.DebugEN = -1;
    a.DebugP = 4;
    a.AStart = -1;
    a.RLog = -1;
    a.BadNcoC = "$PQNVNCO";
    a.StartupS = "$PQNVCFG,\x80\x81";
    a.HWRes = -1;
    a.StartupD = 1.5;
    a.NcoStart = -2000;
    a.NcoMax = 2000;
    a.NcoStep = 250;

    DeviceConfig& b = c.Devices[1];
    b.DevEN = -1;
    b.DName = "Rx B";
    b.LPath = "/data/bench/";
    b.NmeaP = 2;
    b.NmeaB = 9600;
    b.GLog = -1;
    b.PLog = -1;
    b.RestartC = "B5620604";

    TestEntry& t0 = c.Tests[0];
    t0.Enabled = -1;
    t0.Type = "COLD";
    t0.Trials = 50;
    t0.MinDelay = 15;
    t0.MaxDelay = 45;
    t0.TttrkSats = 6;
    t0.TttrkTime = 10;
    c.TestLines[0] = "COLD,0,50,15,45,6,10,-1,0,";

    TestEntry& t1 = c.Tests[1];
    t1.Enabled = -1;
    t1.Type = "SCRIPT";
    t1.ScriptCount = 1;
    t1.ScriptFiles[0] = "C:\\scripts\\warm.txt";
    t1.AlmanacFile = "alm.txt";
    c.TestLines[1] = "SCRIPT,0,C:\\scripts\\warm.txt,alm.txt";

    TestEntry& t2 = c.Tests[2];
    t2.Enabled = -1;
    t2.Type = "REACQUISITION";
    t2.Simulator = -1;
    t2.SimSetupTime = 90;
    t2.SimPower = -130.0;
    t2.SimPowerRepeat = -130.0;
    t2.StartPower = -130.0;
    t2.EndPower = -160.0;
    t2.PowerStep = 0.1;
    t2.OffTime = 20;
    t2.FirstSatChannel = 1;
    t2.FirstSatPower = -140;
    t2.SingleSatChannel = 2;
    t2.SingleSatStartPower = -135.5;
    t2.SingleSatEndPower = -150.0;
    t2.SingleSatStep = 0.5;
    t2.ScenarioFile = "C:\\scn\\open_sky.scn";
    t2.Rewind = -1;
    t2.SingleSatEn = -1;
    t2.Reserved = -3;
    c.TestLines[2] = "REACQUISITION,1,90,-130,-130,-160,0.1,20,1,-140,2,-135.5,-150,0.5,"
                     "C:\\scn\\open_sky.scn,,1,0,1";

    TestEntry& t3 = c.Tests[3];
    t3.Enabled = -1;
    t3.Type = "TRACK24H";
    t3.LabSat = -1;
    t3.LabSatBinFile = "D:\\labsat\\caf\xE9.bin";
    t3.LabSatStart = 0;
    t3.LabSatDuration = 3600;
    t3.LabSatIterations = 2;
    t3.AlmanacFile = "alm2.txt";
    t3.LabSatAttenuation = 5;
    c.TestLines[3] = "TRACK24H,2,D:\\labsat\\caf\xE9.bin,0,3600,2,alm2.txt,5";
    return c;
}

// The same session, composed byte by byte from the file layout.
std::string TypicalSessionBytes() {
    Bytes f;
    f.raw({0x0F, 0x00}).s += "Spirent GSS7700";
    f.raw({0x08, 0x00}).s += "simlab-2";
    f.raw({0x22, 0x3D, 0x00, 0x00});  // 15650

    const std::string badPos = "$PQNVTEST,1001,0,4400.000,S,17500.000,E,100.0";
    // Device 0
    f.i16(-1).text("Empf\xE4nger \xDC").text("C:\\GPS_TEST\\").i16(3).i32(115200);
    f.i16(-1).i16(4).i32(38400).i16(-1).i16(-1).i16(0).i16(0);
    f.text("$PQNVCOLD").text("$PQNVWARM").text("$PQNVHOT").text(badPos).text("$PQNVNCO");
    f.text("$PQNVCOLD").text("$PQNVCFG,\x80\x81");
    f.i16(-1).f64(1.5).i32(-2000).i32(2000).i32(250);
    // Device 1
    f.i16(-1).text("Rx B").text("/data/bench/").i16(2).i32(9600);
    f.i16(0).i16(1).i32(38400).i16(0).i16(0).i16(-1).i16(-1);
    f.text("$PQNVCOLD").text("$PQNVWARM").text("$PQNVHOT").text(badPos).text("");
    f.text("B5620604").text("");
    f.i16(0).f64(0).i32(0).i32(0).i32(0);
    // Devices 2 and 3 keep the dialog's initial values.
    for (int d = 2; d < 4; ++d) {
        f.i16(0).text("Device1").text("C:\\GPS_TEST\\").i16(1).i32(57600);
        f.i16(0).i16(1).i32(38400).i16(0).i16(0).i16(0).i16(0);
        f.text("$PQNVCOLD").text("$PQNVWARM").text("$PQNVHOT").text(badPos).text("");
        f.text("$PQNVCOLD").text("");
        f.i16(0).f64(0).i32(0).i32(0).i32(0);
    }

    // The test entries: Enabled, Type, Trials, MinDelay, MaxDelay,
    // AlmanacWait, Simulator, SimSetupTime, EndPower, StartPower, FirstSatEn,
    // FirstSatPower, FirstSatChannel, PowerStep, ScriptCount, 30 script
    // files, SimPower, Rewind, TttrkOption, TttrkSats, TttrkTime,
    // SimPowerRepeat, Reserved, OffTime, SingleSatEn, SingleSat start, end,
    // step, SingleSatChannel, ScenarioFile, AlmanacFile, LabSat,
    // LabSatBinFile, LabSatStart, LabSatDuration, LabSatIterations,
    // LabSatAttenuation.
    auto scripts = [&](const std::string& first) {
        f.text(first);
        for (int i = 1; i < 30; ++i) f.text("");
    };
    // COLD on the roof antenna
    f.i16(-1).text("COLD").i16(50).i16(15).i16(45).i16(0).i16(0).i16(0).f64(0).f64(0);
    f.i16(0).i16(0).i16(0).f64(0).i16(0);
    scripts("");
    f.f64(0).i16(0).i16(0).i16(6).i16(10).f64(0).i16(0).i16(0).i16(0).f64(0).f64(0).f64(0);
    f.i16(0).text("").text("").i16(0).text("").i32(0).i32(0).i16(0).i16(0);
    // SCRIPT
    f.i16(-1).text("SCRIPT").i16(0).i16(0).i16(0).i16(0).i16(0).i16(0).f64(0).f64(0);
    f.i16(0).i16(0).i16(0).f64(0).i16(1);
    scripts("C:\\scripts\\warm.txt");
    f.f64(0).i16(0).i16(0).i16(0).i16(0).f64(0).i16(0).i16(0).i16(0).f64(0).f64(0).f64(0);
    f.i16(0).text("").text("alm.txt").i16(0).text("").i32(0).i32(0).i16(0).i16(0);
    // REACQUISITION on the simulator
    f.i16(-1).text("REACQUISITION").i16(0).i16(0).i16(0).i16(0).i16(-1).i16(90);
    f.f64(-160.0).f64(-130.0).i16(0).i16(-140).i16(1).f64(0.1).i16(0);
    scripts("");
    f.f64(-130.0).i16(-1).i16(0).i16(0).i16(0).f64(-130.0).i16(-3).i16(20).i16(-1);
    f.f64(-135.5).f64(-150.0).f64(0.5).i16(2);
    f.text("C:\\scn\\open_sky.scn").text("").i16(0).text("").i32(0).i32(0).i16(0).i16(0);
    // TRACK24H on the LabSat unit
    f.i16(-1).text("TRACK24H").i16(0).i16(0).i16(0).i16(0).i16(0).i16(0).f64(0).f64(0);
    f.i16(0).i16(0).i16(0).f64(0).i16(0);
    scripts("");
    f.f64(0).i16(0).i16(0).i16(0).i16(0).f64(0).i16(0).i16(0).i16(0).f64(0).f64(0).f64(0);
    f.i16(0).text("").text("alm2.txt").i16(-1).text("D:\\labsat\\caf\xE9.bin");
    f.i32(0).i32(3600).i16(2).i16(5);
    // 124 unused entries: 184 zero bytes each.
    f.s.append(124 * 184, '\0');

    f.text("COLD,0,50,15,45,6,10,-1,0,");
    f.text("SCRIPT,0,C:\\scripts\\warm.txt,alm.txt");
    f.text("REACQUISITION,1,90,-130,-130,-160,0.1,20,1,-140,2,-135.5,-150,0.5,"
           "C:\\scn\\open_sky.scn,,1,0,1");
    f.text("TRACK24H,2,D:\\labsat\\caf\xE9.bin,0,3600,2,alm2.txt,5");
    f.s.append(124 * 2, '\0');
    return f.s;
}

}  // namespace

TEST(ConfigImage, TypicalSessionMatchesTheHandComposedBytes) {
    const std::string golden = TypicalSessionBytes();
    const ConfigEncodeResult r = EncodeSystemConfig(TypicalSession());
    ASSERT_TRUE(r.ok);
    EXPECT_EQ(r.bytes.size(), golden.size());
    EXPECT_EQ(FirstDifference(r.bytes, golden), -1);

    const ConfigDecodeResult back = DecodeSystemConfig(golden);
    EXPECT_TRUE(back.complete);
    EXPECT_EQ(back.bytesUsed, golden.size());
    EXPECT_TRUE(back.config == TypicalSession());
    // The texts are the file's bytes, not a conversion of them.
    EXPECT_EQ(back.config.Devices[0].DName, "Empf\xE4nger \xDC");
    EXPECT_EQ(back.config.Devices[0].StartupS, "$PQNVCFG,\x80\x81");
    EXPECT_EQ(back.config.Tests[2].Reserved, -3);
    EXPECT_EQ(back.config.Tests[2].PowerStep, 0.1);
}

TEST(ConfigImage, TextCountsAreSixteenBitLittleEndian) {
    SystemConfig c;
    c.SimHostName = std::string(300, 'h');
    c.SimulatorType = std::string(MaxConfigTextBytes, 's');
    const ConfigEncodeResult r = EncodeSystemConfig(c);
    ASSERT_TRUE(r.ok);
    EXPECT_EQ(r.bytes.substr(0, 2), "\xFF\xFF");
    EXPECT_EQ(r.bytes.substr(2 + MaxConfigTextBytes, 2), "\x2C\x01");
    EXPECT_TRUE(DecodeSystemConfig(r.bytes).config == c);
}

TEST(ConfigImage, ATextTooLongForItsCountIsRefusedNotCut) {
    SystemConfig c;
    c.Tests[5].ScriptFiles[29] = std::string(MaxConfigTextBytes + 1, 'x');
    const ConfigEncodeResult r = EncodeSystemConfig(c);
    EXPECT_FALSE(r.ok);
    EXPECT_TRUE(r.bytes.empty());
    EXPECT_EQ(r.tooLongField, "Tests[5].ScriptFiles[29]");
    EXPECT_EQ(r.tooLongBytes, MaxConfigTextBytes + 1);
}

// The index of the element `array` the cut field lies in, or -1.
int CutIndex(const std::string& broken, const std::string& array) {
    if (broken.rfind(array + "[", 0) != 0) return -1;
    return std::atoi(broken.c_str() + array.size() + 1);
}

TEST(ConfigImage, AnImageCutAnywhereKeepsTheWholeEntriesAndDefaultsTheRest) {
    const std::string full = TypicalSessionBytes();
    const SystemConfig want = TypicalSession();
    // Field boundaries seen so far; every cut must land on the last one.
    std::size_t lastBoundary = 0;
    // Every byte through the devices and the filled tests, then a sample.
    for (std::size_t cut = 0; cut < full.size(); cut += cut < 3000 ? 1 : 13) {
        const ConfigDecodeResult d = DecodeSystemConfig(std::string_view(full).substr(0, cut));
        ASSERT_FALSE(d.complete) << cut;
        ASSERT_LE(d.bytesUsed, cut);
        ASSERT_GE(d.bytesUsed, lastBoundary) << cut;
        lastBoundary = d.bytesUsed;
        // A cut exactly between fields names no broken field.
        ASSERT_EQ(d.brokenField.empty(), d.bytesUsed == cut) << cut;
        if (cut % 7 != 0) continue;
        // Devices and entries before the one cut are whole; that one is none.
        const int device = CutIndex(d.brokenField, "Devices");
        const int test = CutIndex(d.brokenField, "Tests");
        const int line = CutIndex(d.brokenField, "TestLines");
        if (device < 0 && test < 0 && line < 0) continue;
        const int devices_whole = device >= 0 ? device : DeviceSlots;
        for (int i = 0; i < DeviceSlots; ++i)
            ASSERT_EQ(d.config.Devices[i], i < devices_whole ? want.Devices[i] : DeviceConfig{}) << cut << " " << i;
        const int tests_whole = test >= 0 ? test : device >= 0 ? 0 : TestSlots;
        for (int i = 0; i < TestSlots; ++i)
            ASSERT_EQ(d.config.Tests[i], i < tests_whole ? want.Tests[i] : TestEntry{}) << cut << " " << i;
        // A kept entry whose line went with the cut has it made again.
        const int lines_whole = line >= 0 ? line : 0;
        for (int i = 0; i < TestSlots; ++i) {
            const std::string expected = i < lines_whole ? want.TestLines[i]
                                         : d.config.Tests[i].Enabled == FlagSet ? TestLineFromEntry(want.Tests[i])
                                                                                : std::string();
            ASSERT_EQ(d.config.TestLines[i], expected) << cut << " " << i;
        }
    }
}

TEST(ConfigImage, ACutInsideADeviceTextNamesItAndDefaultsIt) {
    const std::string full = TypicalSessionBytes();
    // Device 1 starts after the simulator fields and device 0.
    const std::size_t dev0 = 2 + 15 + 2 + 8 + 4;
    const std::size_t dev0Size = 46 + 2 * 9 + 11 + 12 + 9 + 9 + 8 + 45 + 8 + 9 + 11;
    const std::size_t lpath = dev0 + dev0Size + 2 + 2 + 4;  // DevEN, DName "Rx B"
    ASSERT_EQ(full.substr(lpath, 2), std::string("\x0C\x00", 2));

    const ConfigDecodeResult d = DecodeSystemConfig(std::string_view(full).substr(0, lpath + 5));
    EXPECT_FALSE(d.complete);
    EXPECT_EQ(d.bytesUsed, lpath);
    EXPECT_EQ(d.brokenField, "Devices[1].LPath");
    EXPECT_EQ(d.config.Devices[0], TypicalSession().Devices[0]);
    EXPECT_EQ(d.config.Devices[1], DeviceConfig{}) << "half a device is none: it is not enabled";
    EXPECT_EQ(d.config.Tests[0], TestEntry{});
    EXPECT_EQ(d.config.SimulatorType, "Spirent GSS7700");

    // A count that runs past the end: the text is not half-taken.
    const ConfigDecodeResult e = DecodeSystemConfig(std::string_view(full).substr(0, lpath + 2 + 11));
    EXPECT_EQ(e.brokenField, "Devices[1].LPath");
    EXPECT_EQ(e.config.Devices[1].LPath, "C:\\GPS_TEST\\");

    // Half of a number is no number either.
    const ConfigDecodeResult g = DecodeSystemConfig(std::string_view(full).substr(0, 17 + 10 + 3));
    EXPECT_EQ(g.brokenField, "SimHostPort");
    EXPECT_EQ(g.config.SimHostPort, 15650) << "the default, not half a number";
}
