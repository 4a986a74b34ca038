// "Config.dat" on disk: first start, damaged files, saves that must never
// leave half a configuration behind.
#include "bench/session/config.h"
#include "bench/session/test_line.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <sys/stat.h>

using namespace bench;
namespace fs = std::filesystem;

namespace {

class ConfigFile : public ::testing::Test {
protected:
    void SetUp() override {
        std::string tmpl = (fs::temp_directory_path() / "config_file_XXXXXX").string();
        ASSERT_NE(::mkdtemp(tmpl.data()), nullptr);
        dir_ = tmpl;
    }
    void TearDown() override {
        std::error_code ec;
        fs::permissions(dir_, fs::perms::owner_all, fs::perm_options::add, ec);
        fs::remove_all(dir_, ec);
    }
    std::string Path(const std::string& name) const { return (dir_ / name).string(); }
    static std::string Slurp(const std::string& path) {
        std::ifstream in(path, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }
    static void Spit(const std::string& path, const std::string& bytes) {
        std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
    }
    std::size_t EntriesInFolder() const {
        return static_cast<std::size_t>(std::distance(fs::directory_iterator(dir_), fs::directory_iterator()));
    }
    fs::path dir_;
};

void Text(std::string& out, const std::string& t) {
    out.push_back(static_cast<char>(t.size() & 0xFF));
    out.push_back(static_cast<char>(t.size() >> 8));
    out += t;
}

// The file a first save of the untouched dialog writes, composed by hand,
// with the first device renamed to "Gerät 1" in the code page's bytes.
std::string DefaultFileWithRenamedDevice() {
    std::string f;
    Text(f, "Spirent STR4500");
    Text(f, "");
    f += std::string("\x22\x3D\x00\x00", 4);  // simulator port 15650
    for (int d = 0; d < 4; ++d) {
        f.append(2, '\0');
        Text(f, d == 0 ? "Ger\xE4t 1" : "Device1");
        Text(f, "C:\\GPS_TEST\\");
        f += std::string("\x01\x00" "\x00\xE1\x00\x00", 6);   // port 1, 57600 baud
        f += std::string("\x00\x00" "\x01\x00" "\x00\x96\x00\x00", 8);  // debug off, port 1, 38400
        f.append(8, '\0');                                    // four logging flags
        Text(f, "$PQNVCOLD");
        Text(f, "$PQNVWARM");
        Text(f, "$PQNVHOT");
        Text(f, "$PQNVTEST,1001,0,4400.000,S,17500.000,E,100.0");
        Text(f, "");
        Text(f, "$PQNVCOLD");
        Text(f, "");
        f.append(2 + 8 + 12, '\0');
    }
    f.append(128 * 184 + 128 * 2, '\0');
    return f;
}

}  // namespace

TEST_F(ConfigFile, AMissingFileReadsAsTheDefaultRecordAndIsNotCreated) {
    const ConfigLoadResult r = LoadSystemConfig(Path("Config.dat"));
    EXPECT_EQ(r.warning, "");
    EXPECT_TRUE(r.config == SystemConfig{});
    EXPECT_EQ(r.config.Devices[3].LPath, "C:\\GPS_TEST\\");
    EXPECT_FALSE(fs::exists(Path("Config.dat")));
}

TEST_F(ConfigFile, AnEmptyFileReadsAsTheDefaultRecordWithoutAWarning) {
    Spit(Path("Config.dat"), "");
    const ConfigLoadResult r = LoadSystemConfig(Path("Config.dat"));
    EXPECT_EQ(r.warning, "");
    EXPECT_TRUE(r.config == SystemConfig{});
    EXPECT_EQ(fs::file_size(Path("Config.dat")), 0u);
}

TEST_F(ConfigFile, TheDefaultRecordIsSavedAsTheHandComposedFile) {
    SystemConfig c;
    c.Devices[0].DName = "Ger\xE4t 1";
    const ConfigSaveResult s = SaveSystemConfig(Path("Config.dat"), c);
    ASSERT_TRUE(s.ok) << s.warning;
    const std::string expected = DefaultFileWithRenamedDevice();
    EXPECT_EQ(expected.size(), 24072u + 15 + 4 * (7 + 12 + 9 + 9 + 8 + 45 + 9));
    EXPECT_TRUE(Slurp(Path("Config.dat")) == expected);
    EXPECT_EQ(EntriesInFolder(), 1u);  // no temporary file left behind
}

TEST_F(ConfigFile, LoadingThenSavingReproducesTheFileByteForByte) {
    // A file the bench would not write itself: a NaN, a text with every
    // upper-half byte, and a reserved field set.
    std::string bytes = DefaultFileWithRenamedDevice();
    std::string upper;
    for (int b = 0x80; b < 0x100; ++b) upper.push_back(static_cast<char>(b));
    const std::size_t lines = bytes.size() - 128 * 2;
    bytes.replace(lines, 2, std::string(1, '\x80') + '\x00' + upper);
    const std::size_t tests = bytes.size() - 128 * 2 - upper.size() - 128 * 184;
    bytes.replace(tests + 16, 8, std::string("\x01\x00\x00\x00\x00\x00\xF8\x7F", 8));  // NaN EndPower
    bytes[tests + 184 * 9 + 132] = '\x2A';    // Reserved of entry 9
    Spit(Path("odd.dat"), bytes);

    const ConfigLoadResult r = LoadSystemConfig(Path("odd.dat"));
    ASSERT_EQ(r.warning, "");
    EXPECT_EQ(r.config.TestLines[0], upper);
    EXPECT_EQ(r.config.Tests[9].Reserved, 42);
    ASSERT_TRUE(SaveSystemConfig(Path("Config.dat"), r.config).ok);
    EXPECT_TRUE(Slurp(Path("Config.dat")) == bytes);
}

TEST_F(ConfigFile, AFileEndingInsideTheRecordWarnsAndIsLeftAlone) {
    const std::string whole = DefaultFileWithRenamedDevice();
    // Cut inside the second device's name.
    const std::size_t dev1 = 2 + 15 + 2 + 4 + (46 + 2 * 9 + 7 + 12 + 9 + 9 + 8 + 45 + 9);
    ASSERT_EQ(whole.substr(dev1 + 2, 2), std::string("\x07\x00", 2));
    const std::string cut = whole.substr(0, dev1 + 2 + 2 + 3);
    Spit(Path("short.dat"), cut);
    fs::last_write_time(Path("short.dat"), fs::file_time_type::clock::now() - std::chrono::hours(1));
    const auto stamp = fs::last_write_time(Path("short.dat"));

    const ConfigLoadResult r = LoadSystemConfig(Path("short.dat"));
    EXPECT_NE(r.warning.find("\"" + Path("short.dat") + "\""), std::string::npos) << r.warning;
    EXPECT_NE(r.warning.find("ends at byte " + std::to_string(cut.size())), std::string::npos) << r.warning;
    EXPECT_NE(r.warning.find("Devices[1].DName"), std::string::npos) << r.warning;
    // What was read whole is kept; the rest is the default.
    EXPECT_EQ(r.config.Devices[0].DName, "Ger\xE4t 1");
    EXPECT_EQ(r.config.Devices[1].DevEN, 0);
    EXPECT_EQ(r.config.Devices[1].DName, "Device1");
    EXPECT_EQ(r.config.Devices[1].NmeaB, 57600);
    // Reading never repairs or rewrites the file.
    EXPECT_TRUE(Slurp(Path("short.dat")) == cut);
    EXPECT_EQ(fs::last_write_time(Path("short.dat")), stamp);
}

// Bytes that are no configuration record are refused at the first field no
// record holds, with where it starts and what it holds; nothing is loaded.
TEST_F(ConfigFile, ValuesNoRecordHoldsRefuseTheFileWhereTheyStand) {
    const std::string whole = DefaultFileWithRenamedDevice();
    const std::size_t dev0 = 2 + 15 + 2 + 4;
    struct Case {
        std::string bytes;
        std::string says;
    };
    std::vector<Case> cases;
    std::string flag = whole;
    flag[dev0] = '\x05';
    cases.push_back({flag, "Devices[0].DevEN (byte " + std::to_string(dev0) + ") holds 5, which is no flag (-1 or 0)"});

    SystemConfig c;
    c.Tests[3].Type = "HOTT";
    cases.push_back({EncodeSystemConfig(c).bytes, "Tests[3].Type (byte "});
    SystemConfig script;
    script.Tests[0].ScriptCount = 31;
    cases.push_back({EncodeSystemConfig(script).bytes, "Tests[0].ScriptCount (byte "});
    SystemConfig control;
    control.Devices[1].LPath = "C:\\GPS\tTEST";
    cases.push_back({EncodeSystemConfig(control).bytes, "Devices[1].LPath (byte "});
    for (const Case& k : cases) {
        SCOPED_TRACE(k.says);
        Spit(Path("Config.dat"), k.bytes);
        const ConfigLoadResult r = LoadSystemConfig(Path("Config.dat"));
        EXPECT_TRUE(r.refused);
        EXPECT_EQ(r.warning.rfind("Config file \"" + Path("Config.dat") + "\" is not a configuration record: " + k.says, 0),
                  0u)
            << r.warning;
        EXPECT_TRUE(r.config == SystemConfig{});
    }
    EXPECT_NE(LoadSystemConfig(Path("Config.dat")).warning.find("control byte (0x09)"), std::string::npos);
}

// Cut in the middle of the test entries: every entry before the cut is kept
// with a line made again from it; the one cut and those after are defaults.
TEST_F(ConfigFile, AFileCutAmongTheEntriesKeepsEachEntryItHoldsWhole) {
    SystemConfig c;
    for (int i = 0; i < 100; ++i) {
        TestEditorValues v;
        v.type = i % 3 == 0 ? "COLD" : i % 3 == 1 ? "SCRIPT" : "REACQUISITION";
        v.scenario = i % 3 == 2 ? ScenarioSimulator : ScenarioRoof;
        v.testField = {std::to_string(i + 1), "2", "9", "5", "3"};
        v.ttff = i % 2 == 0;
        v.scriptFile = "C:\\scripts\\s" + std::to_string(i) + ".txt";
        v.simData = {"4", "-120", "-130", "-140", "2.5", "15", "0", "0", "0", "0", "0", "0", "", ""};
        v.simOption = {true, false, false};
        c.TestLines[i] = BuildTestLine(v);
        ParseTestLine(c.TestLines[i], c.Tests[i]);
    }
    const std::string image = EncodeSystemConfig(c).bytes;
    Spit(Path("Config.dat"), image.substr(0, image.size() / 2));
    const ConfigLoadResult r = LoadSystemConfig(Path("Config.dat"));
    EXPECT_FALSE(r.refused);
    const std::size_t inside = r.warning.find(", inside Tests[");
    ASSERT_NE(inside, std::string::npos) << r.warning;
    const int cut = std::atoi(r.warning.c_str() + inside + 15);
    ASSERT_GT(cut, 10);
    for (int i = 0; i < cut; ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(r.config.Tests[i], c.Tests[i]);
        TestEntry again;
        ParseTestLine(r.config.TestLines[i], again);
        EXPECT_EQ(again, c.Tests[i]) << r.config.TestLines[i];
    }
    EXPECT_EQ(r.config.Tests[cut], TestEntry{}) << "half an entry is none";
    EXPECT_EQ(r.config.TestLines[cut], "");
}

TEST_F(ConfigFile, AFileCutBetweenFieldsStillWarns) {
    SystemConfig c;
    c.SimHostName = "sim";
    c.SimHostPort = 15650;
    const std::string image = EncodeSystemConfig(c).bytes;
    Spit(Path("Config.dat"), image.substr(0, 2 + 15 + 2 + 3 + 4));  // just the simulator fields
    const ConfigLoadResult r = LoadSystemConfig(Path("Config.dat"));
    EXPECT_NE(r.warning.find("ends at byte 26"), std::string::npos) << r.warning;
    EXPECT_EQ(r.config.SimHostName, "sim");
    EXPECT_EQ(r.config.SimHostPort, 15650);
}

TEST_F(ConfigFile, ASaveOverALongerFileKeepsItsTailAndReadsBackExactly) {
    SystemConfig big;
    big.TestLines[127] = std::string(5000, 'L');
    ASSERT_TRUE(SaveSystemConfig(Path("Config.dat"), big).ok);
    const std::string old = Slurp(Path("Config.dat"));

    SystemConfig small;
    small.SimHostName = "rf-lab";
    const std::string image = EncodeSystemConfig(small).bytes;
    ASSERT_LT(image.size(), old.size());
    ASSERT_TRUE(SaveSystemConfig(Path("Config.dat"), small).ok);

    const std::string now = Slurp(Path("Config.dat"));
    EXPECT_EQ(now.size(), old.size());
    EXPECT_EQ(now.compare(0, image.size(), image), 0);
    EXPECT_EQ(now.compare(image.size(), std::string::npos, old, image.size(), std::string::npos), 0);

    const ConfigLoadResult r = LoadSystemConfig(Path("Config.dat"));
    EXPECT_EQ(r.warning, "");
    EXPECT_TRUE(r.config == small);
    EXPECT_EQ(EntriesInFolder(), 1u);
}

TEST_F(ConfigFile, ATooLongTextRefusesTheSaveAndKeepsTheOldFile) {
    SystemConfig good;
    good.Devices[2].DName = "kept";
    ASSERT_TRUE(SaveSystemConfig(Path("Config.dat"), good).ok);
    const std::string before = Slurp(Path("Config.dat"));

    SystemConfig bad = good;
    bad.Devices[2].StartupS = std::string(70000, 'S');
    const ConfigSaveResult s = SaveSystemConfig(Path("Config.dat"), bad);
    EXPECT_FALSE(s.ok);
    EXPECT_NE(s.warning.find("Devices[2].StartupS"), std::string::npos) << s.warning;
    EXPECT_NE(s.warning.find("70000"), std::string::npos) << s.warning;
    EXPECT_TRUE(Slurp(Path("Config.dat")) == before);
    EXPECT_EQ(EntriesInFolder(), 1u);
}

TEST_F(ConfigFile, ASaveThatCannotBeWrittenSaysSoAndLeavesNothingBehind) {
    const ConfigSaveResult missing = SaveSystemConfig(Path("no/such/folder/Config.dat"), SystemConfig{});
    EXPECT_FALSE(missing.ok);
    EXPECT_NE(missing.warning.find("no/such/folder/Config.dat"), std::string::npos) << missing.warning;

    // A folder standing where the file should be: the rename fails.
    fs::create_directory(Path("Config.dat"));
    const ConfigSaveResult blocked = SaveSystemConfig(Path("Config.dat"), SystemConfig{});
    EXPECT_FALSE(blocked.ok);
    EXPECT_FALSE(blocked.warning.empty());
    EXPECT_TRUE(fs::is_directory(Path("Config.dat")));
    EXPECT_EQ(EntriesInFolder(), 1u);
}

TEST_F(ConfigFile, AFolderInPlaceOfTheFileIsReportedNotReadAsDefaults) {
    fs::create_directory(Path("Config.dat"));
    const ConfigLoadResult r = LoadSystemConfig(Path("Config.dat"));
    EXPECT_NE(r.warning.find(Path("Config.dat")), std::string::npos) << r.warning;
    EXPECT_TRUE(r.config == SystemConfig{});
}

TEST_F(ConfigFile, ASaveKeepsTheFilesPermissions) {
    ASSERT_TRUE(SaveSystemConfig(Path("Config.dat"), SystemConfig{}).ok);
    fs::permissions(Path("Config.dat"), fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
    SystemConfig c;
    c.SimHostPort = 1;
    ASSERT_TRUE(SaveSystemConfig(Path("Config.dat"), c).ok);
    EXPECT_EQ(fs::status(Path("Config.dat")).permissions(),
              fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
    EXPECT_EQ(LoadSystemConfig(Path("Config.dat")).config.SimHostPort, 1);
}

TEST_F(ConfigFile, ASaveThroughALinkReplacesTheFileItPointsAt) {
    fs::create_directory(Path("shared"));
    ASSERT_TRUE(SaveSystemConfig(Path("shared/lab.dat"), SystemConfig{}).ok);
    fs::create_symlink(Path("shared/lab.dat"), Path("Config.dat"));
    SystemConfig c;
    c.SimHostName = "via-link";
    ASSERT_TRUE(SaveSystemConfig(Path("Config.dat"), c).ok);
    EXPECT_TRUE(fs::is_symlink(Path("Config.dat")));
    EXPECT_EQ(LoadSystemConfig(Path("shared/lab.dat")).config.SimHostName, "via-link");
    EXPECT_EQ(std::distance(fs::directory_iterator(Path("shared")), fs::directory_iterator()), 1);
}

// The antenna position kept with the configuration, in a block after the
// record: composed here by hand, checked against python's own CRC-32, and
// read by a bench that knows only the record (the record's decoder over
// the same bytes) and after such a bench saved over it.
namespace {

std::string AntennaBlock(int16_t use, const std::vector<std::string>& texts) {
    std::string body;
    body.push_back(static_cast<char>(use & 0xFF));
    body.push_back(static_cast<char>((use >> 8) & 0xFF));
    for (const std::string& t : texts) Text(body, t);
    return body;
}

// The CRC-32 of `bytes` as python's zlib computes it.
uint32_t PythonCrc32(const std::string& dir, const std::string& bytes) {
    const std::string in = dir + "/block.bin", out = dir + "/crc.txt";
    std::ofstream(in, std::ios::binary) << bytes;
    const std::string cmd = "python3 -c \"import zlib,sys; print(zlib.crc32(open(sys.argv[1],'rb').read()))\" " + in +
                            " > " + out;
    if (std::system(cmd.c_str()) != 0) return 0;
    std::ifstream r(out);
    unsigned long v = 0;
    r >> v;
    return static_cast<uint32_t>(v);
}

TEST_F(ConfigFile, AnAntennaPositionIsKeptAfterTheRecordAndAnOlderBenchReadsPastIt) {
    SystemConfig plain;
    plain.SimHostName = "rf-lab";
    const std::string record = EncodeSystemConfig(plain).bytes;

    SystemConfig withAntenna = plain;
    withAntenna.Antenna.Stored = true;
    withAntenna.Antenna.Use = FlagSet;
    withAntenna.Antenna.Parts = {"-10", "0", "5", "179", "59", "997"};
    withAntenna.Antenna.Hemispheres = {"S", "E"};
    ASSERT_TRUE(SaveSystemConfig(Path("Config.dat"), withAntenna).ok);
    const std::string file = Slurp(Path("Config.dat"));

    // The record as before, then the block.
    const std::string body = AntennaBlock(-1, {"-10", "0", "5", "179", "59", "997", "S", "E"});
    std::string expected = record + "FBANTPOS";
    expected.push_back(static_cast<char>(body.size() & 0xFF));
    expected.push_back(static_cast<char>(body.size() >> 8));
    expected += body;
    const uint32_t crc = PythonCrc32(dir_.string(), body);
    ASSERT_NE(crc, 0u) << "python3 computes the check";
    for (int i = 0; i < 4; ++i) expected.push_back(static_cast<char>((crc >> (8 * i)) & 0xFF));
    EXPECT_EQ(file, expected);

    const ConfigLoadResult r = LoadSystemConfig(Path("Config.dat"));
    EXPECT_EQ(r.warning, "");
    EXPECT_TRUE(r.config == withAntenna) << "read back whole";

    // A record without a position is written as before, byte for byte.
    EXPECT_EQ(EncodeSystemConfig(plain).bytes.size(), record.size());
    EXPECT_FALSE(LoadSystemConfig(Path("none.dat")).config.Antenna.Stored);

    // An older bench reads the record alone and stops where it ends.
    const ConfigDecodeResult older = DecodeSystemConfig(file.substr(0, record.size()));
    EXPECT_TRUE(older.complete);
    EXPECT_EQ(older.bytesUsed, record.size());
    EXPECT_FALSE(older.config.Antenna.Stored) << "a file from before has none";

    // An older bench saves over the file: its record written from the first
    // byte, the rest of the longer file left in place.
    auto olderSave = [&](const SystemConfig& c) {
        SystemConfig recordOnly = c;
        recordOnly.Antenna = {};
        std::string bytes = Slurp(Path("Config.dat"));
        const std::string image = EncodeSystemConfig(recordOnly).bytes;
        bytes.replace(0, std::min(bytes.size(), image.size()), image);
        Spit(Path("Config.dat"), bytes);
    };
    SystemConfig sameLength = plain;
    sameLength.SimHostName = "rf-lob";
    olderSave(sameLength);
    ConfigLoadResult kept = LoadSystemConfig(Path("Config.dat"));
    EXPECT_EQ(kept.warning, "");
    EXPECT_EQ(kept.config.SimHostName, "rf-lob");
    EXPECT_EQ(kept.config.Antenna, withAntenna.Antenna) << "the record kept its length: the block still follows it";

    SystemConfig longer = plain;
    longer.SimHostName = "rf-laboratory";
    olderSave(longer);
    ConfigLoadResult moved = LoadSystemConfig(Path("Config.dat"));
    EXPECT_EQ(moved.warning, "");
    EXPECT_EQ(moved.config.SimHostName, "rf-laboratory");
    EXPECT_FALSE(moved.config.Antenna.Stored) << "what is left of the block is no position";

    SystemConfig shorter = plain;
    shorter.SimHostName = "rf";
    ASSERT_TRUE(SaveSystemConfig(Path("Config.dat"), withAntenna).ok);
    olderSave(shorter);
    ConfigLoadResult cut = LoadSystemConfig(Path("Config.dat"));
    EXPECT_EQ(cut.config.SimHostName, "rf");
    EXPECT_FALSE(cut.config.Antenna.Stored);

    // This bench saving a record that carries the position writes it again.
    kept.config.Antenna = withAntenna.Antenna;
    ASSERT_TRUE(SaveSystemConfig(Path("Config.dat"), kept.config).ok);
    EXPECT_EQ(LoadSystemConfig(Path("Config.dat")).config.Antenna, withAntenna.Antenna);
}

TEST_F(ConfigFile, KeepingAnAntennaPositionLeavesTheRecordAndADamagedFileAsTheyAre) {
    SystemConfig c;
    c.Devices[1].DName = "Ger\xE4t 2";
    c.TestLines[0] = "COLD;3;1;1";
    ASSERT_TRUE(SaveSystemConfig(Path("Config.dat"), c).ok);
    const std::string before = Slurp(Path("Config.dat"));
    AntennaConfig a;
    a.Parts = {"0", "0", "006", "0", "0", "0"};
    a.Hemispheres = {"", "W"};
    ASSERT_TRUE(SaveAntennaPosition(Path("Config.dat"), a).ok);
    const std::string after = Slurp(Path("Config.dat"));
    EXPECT_EQ(after.compare(0, before.size(), before), 0) << "the record byte for byte";
    const ConfigLoadResult r = LoadSystemConfig(Path("Config.dat"));
    EXPECT_TRUE(r.config.Antenna.Stored);
    EXPECT_EQ(r.config.Antenna.Hemispheres[1], "W");
    EXPECT_EQ(r.config.Devices[1].DName, "Ger\xE4t 2");

    // A file cut inside its record is not overwritten with defaults.
    Spit(Path("cut.dat"), before.substr(0, 500));
    const ConfigSaveResult s = SaveAntennaPosition(Path("cut.dat"), a);
    EXPECT_FALSE(s.ok);
    EXPECT_NE(s.warning.find("not kept"), std::string::npos) << s.warning;
    EXPECT_EQ(Slurp(Path("cut.dat")), before.substr(0, 500));
}

}  // namespace
