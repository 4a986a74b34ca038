// Speed and heading comparison, classification, merge and position KML
// (-compare, -ref, -merge, -p -kml): the classifier on its own, then the real
// program on vel files written here byte by byte and on vel files that -vel
// made from generated drives.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <map>
#include <sstream>

#include "analysis/analyses/speed_compare.h"
#include "analysis/core/vel_file.h"
#include "tests/analysis/navsift_harness.h"

namespace navsift_test {
namespace {

using navsift::DrivingClass;
using navsift::DrivingClassifier;
using navsift::VelRecord;

// 2008-06-30 00:00:00 in GPS seconds.
constexpr uint32_t kMidnight = 898819200;
// 10:00:00 that day.
constexpr uint32_t kTen = kMidnight + 36000;

void WriteVel(const fs::path& path, uint32_t first, uint32_t last, const std::vector<VelRecord>& records)
{
    std::string bytes;
    navsift::AppendVelHeader(bytes, first, last);
    for (const VelRecord& r : records) {
        navsift::AppendVelRecord(bytes, r);
    }
    WriteFile(path, bytes);
}

// Records first+1 .. last (the first second is never recorded), leaving out
// `missing`; speed `base` + index, heading 10 x index.
std::vector<VelRecord> Records(uint32_t first, uint32_t last, double base, std::vector<uint32_t> missing = {})
{
    std::vector<VelRecord> out;
    for (uint32_t k = first + 1; k <= last; ++k) {
        if (std::find(missing.begin(), missing.end(), k) != missing.end()) {
            continue;
        }
        const double i = k - first;
        out.push_back({k, base + i, 10 * i, 48.0 + i / 1000, 11.5 + i / 1000, 500 + i});
    }
    return out;
}

std::vector<std::string> Lines(const std::string& text)
{
    std::vector<std::string> out;
    std::size_t at = 0;
    while (at < text.size()) {
        std::size_t end = text.find("\r\n", at);
        if (end == std::string::npos) {
            end = text.size();
        }
        out.push_back(text.substr(at, end - at));
        at = end + 2;
    }
    return out;
}

std::vector<std::string> Cells(const std::string& line)
{
    std::vector<std::string> out;
    std::stringstream s(line);
    std::string cell;
    while (std::getline(s, cell, ',')) {
        out.push_back(cell);
    }
    return out;
}

std::vector<DrivingClass> Classify(DrivingClassifier c, const std::vector<std::pair<double, double>>& seconds)
{
    std::vector<DrivingClass> out;
    for (const auto& [speed, heading] : seconds) {
        out.push_back(c.Classify(speed, heading));
    }
    return out;
}

constexpr DrivingClass S = DrivingClass::Straight, T = DrivingClass::Turning, P = DrivingClass::Stop,
                       N = DrivingClass::None;

TEST(DrivingClassifier, ClassesFromSpeedAndHeading)
{
    // hth 10, turntime 3, vth 5: the first moving second gets no class; a
    // turn lasts until the fourth quiet second in a row, that one included.
    EXPECT_EQ(Classify({10, 3, 5}, {{5, 0},     {20, 90},  {20, 95},  {20, 120}, {20, 121}, {20, 135},
                                    {20, 136},  {20, 137}, {20, 138}, {20, 139}, {20, 140}, {20, 141}}),
              (std::vector<DrivingClass>{P, N, S, T, T, T, T, T, T, T, S, S}));

    // A stop inside a turn keeps the state and the previous heading: the
    // change is measured against the last moving second.
    EXPECT_EQ(Classify({10, 3, 5}, {{20, 0}, {20, 30}, {0, 200}, {20, 35}, {20, 36}, {20, 37}, {20, 38}, {20, 39}}),
              (std::vector<DrivingClass>{N, T, P, T, T, T, T, S}));

    // Crossing north is a change of 2 degrees, not 358; a full swing the
    // other way round is still a turn.
    EXPECT_EQ(Classify({10, 3, 5}, {{20, 359}, {20, 1}, {20, 3}, {20, 345}, {20, 346}}),
              (std::vector<DrivingClass>{N, S, S, T, T}));
    EXPECT_DOUBLE_EQ(navsift::HeadingChange(359, 1), 2);
    EXPECT_DOUBLE_EQ(navsift::HeadingChange(10, 190), 180);
    EXPECT_DOUBLE_EQ(navsift::HeadingChange(0, 720.5), 0.5);
}

TEST(SpeedCompare, WithoutReferenceLinesFilesUp)
{
    ScratchDir dir;
    // a: 10:00:00 .. 10:00:05 without 10:00:03; b: 10:00:01 .. 10:00:06.
    WriteVel(dir / "a.vel", kTen, kTen + 5, Records(kTen, kTen + 5, 20, {kTen + 3}));
    WriteVel(dir / "b.vel", kTen + 1, kTen + 6, Records(kTen + 1, kTen + 6, 30));
    WriteFile(dir / "notes.txt", "not a vel file\n");
    const RunResult r = Navsift({"-compare", dir.path().string()}, dir.path());
    ASSERT_EQ(r.status, 0) << r.err;
    // Range 10:00:01 .. 10:00:05: b has no record of its first second, a
    // lacks 10:00:03; the last second of the range is found in both.
    EXPECT_EQ(r.out,
              "Reading the folder " + dir.path().string() + "/: 2 vel files (*.vel)\n"
              "Compare range from 100001_30062008 to 100005_30062008\r\n"
              "timestamp " + std::to_string(kTen + 1) + " not found in b.vel\r\n"
              "timestamp " + std::to_string(kTen + 3) + " not found in a.vel\r\n");
    const std::string t2 = std::to_string(kTen + 2), t4 = std::to_string(kTen + 4), t5 = std::to_string(kTen + 5);
    EXPECT_EQ(ReadFile(dir / "compare.csv"),
              "gps timestamp,a.vel speed,b.vel speed,a.vel heading,b.vel heading,a.vel Lat,b.vel Lat,a.vel Lon,"
              "b.vel Lon,a.vel Height,b.vel Height\r\n" +
                  t2 + ",22.0,31.0,20.0,10.0,48.002000,48.001000,11.502000,11.501000,502.000000,501.000000\r\n" +
                  t4 + ",24.0,33.0,40.0,30.0,48.004000,48.003000,11.504000,11.503000,504.000000,503.000000\r\n" +
                  t5 + ",25.0,34.0,50.0,40.0,48.005000,48.004000,11.505000,11.504000,505.000000,504.000000\r\n");
}

TEST(SpeedCompare, RangeNotFoundAndTooManyFiles)
{
    ScratchDir dir;
    WriteVel(dir / "a.vel", kTen, kTen + 5, Records(kTen, kTen + 5, 20));
    WriteVel(dir / "b.vel", kTen + 5, kTen + 9, Records(kTen + 5, kTen + 9, 20));
    RunResult r = Navsift({"-compare", dir.path().string()}, dir.path());
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, "Reading the folder " + dir.path().string() + "/: 2 vel files (*.vel)\n"
                     "Compare range not found 100005_30062008 to 100005_30062008\r\n");
    EXPECT_FALSE(fs::exists(dir / "compare.csv"));

    // 17 files: the first 16 in listing order are compared, and a warning
    // says so.
    ScratchDir many;
    for (int i = 0; i < 17; ++i) {
        char name[16];
        std::snprintf(name, sizeof name, "f%02d.vel", i);
        WriteVel(many / name, kTen, kTen + 3, Records(kTen, kTen + 3, i));
    }
    r = Navsift({"-compare", many.path().string() + "/"}, many.path());
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.err.find("only the first 16 .vel files are compared"), std::string::npos) << r.err;
    const std::vector<std::string> lines = Lines(ReadFile(many / "compare.csv"));
    ASSERT_EQ(lines.size(), 4u);  // header and 10:00:01 .. 10:00:03
    EXPECT_EQ(Cells(lines[0]).size(), 1u + 5u * 16u);
    EXPECT_EQ(lines[0].find("f16.vel"), std::string::npos);

    // Usage errors.
    EXPECT_EQ(Navsift({"-compare"}, dir.path()).status, 2);
    EXPECT_EQ(Navsift({"-compare", dir.path().string(), "-ref"}, dir.path()).status, 2);
}

TEST(SpeedCompare, ReferenceClassesTablesRecordsAndKml)
{
    ScratchDir dir;
    // The reference: 10:00:00 header, records from 10:00:01: stopped for
    // two seconds, then moving; heading 90 then a turn of 30 degrees.
    std::vector<VelRecord> ref;
    const double speeds[] = {0, 0, 40, 40, 40, 40, 40, 40, 40, 40};
    const double headings[] = {90, 90, 90, 90, 120, 122, 123, 124, 125, 126};
    for (int i = 0; i < 10; ++i) {
        ref.push_back({kTen + 1 + i, speeds[i], headings[i], 48.1 + i * 1e-4, 11.5 + i * 1e-4, 500});
    }
    WriteVel(dir / "ref.vel.data", kTen, kTen + 10, ref);
    fs::create_directory(dir / "cmp");
    std::vector<VelRecord> dut = ref;
    for (VelRecord& r : dut) {
        r.speed += 1.25;
        r.latitude += 1e-5;
    }
    WriteVel(dir / "cmp" / "dut_x.vel", kTen, kTen + 10, dut);
    // A record file of an earlier run must not reach this run's KML.
    fs::create_directories(dir / "cmp" / "compare_10_2_5");
    WriteFile(dir / "cmp" / "compare_10_2_5" / "old_straight.dat", std::string(480, '\0'));

    const RunResult r = Navsift({"-compare", (dir / "cmp").string(), "-ref", (dir / "ref.vel.data").string(), "-hth",
                                 "10", "-turntime", "2", "-vth", "5"},
                                dir.path());
    ASSERT_EQ(r.status, 0) << r.err;
    const std::string reading = "Reading the folder " + (dir / "cmp").string() + "/: 1 vel file (*.vel)\n";
    ASSERT_EQ(r.out.substr(0, reading.size()), reading);
    EXPECT_EQ(r.out.substr(reading.size(), 58), "Compare range from 100000_30062008 to 100010_30062008\r\ntim");
    EXPECT_NE(r.out.find("Comparing Timestamp: " + std::to_string(kTen + 10) + "\r"), std::string::npos);
    const fs::path out = dir / "cmp" / "compare_10_2_5";
    const std::string folder = (dir / "cmp").string() + "/compare_10_2_5/";
    EXPECT_EQ(ReadFile(out / "compare.m"),
              "speed_analysis_compare('" + folder + "','" + folder + "compare_straight.csv','dut_x','Refer');\r\n");

    const std::string header =
        "utc_timestamp,utc_hour,utc_minute,utc_second,dut_x_speed,Refer_speed,dut_x_heading,Refer_heading,dut_x_Lat,"
        "Refer_Lat,dut_x_Lon,Refer_Lon,dut_x_Height,Refer_Height";
    std::map<std::string, std::vector<std::string>> tables;
    for (const char* name : {"compare", "compare_straight", "compare_turning", "compare_accelerating", "compare_stop"}) {
        tables[name] = Lines(ReadFile(out / (std::string(name) + ".csv")));
        ASSERT_FALSE(tables[name].empty()) << name;
        EXPECT_EQ(tables[name][0], header) << name;
    }
    // 10:00:01 .. 10:00:10: stop, stop, first moving (no class), straight,
    // turn (120), turning x4 with small changes: the third quiet second
    // (10:00:08) ends the turn, then straight.
    EXPECT_EQ(tables["compare"].size(), 11u);
    EXPECT_EQ(tables["compare_stop"].size(), 3u);
    EXPECT_EQ(tables["compare_straight"].size(), 4u);
    EXPECT_EQ(tables["compare_turning"].size(), 5u);
    EXPECT_EQ(tables["compare_accelerating"].size(), 1u);
    EXPECT_EQ(tables["compare"][1], std::to_string(kTen + 1) +
                                        ",10,0,1,1.250000,0.000000,90.000000,90.000000,48.100010,48.100000,11.500000,"
                                        "11.500000,500.000000,500.000000");
    // The stop table keeps its speeds and headings to a tenth; its positions
    // are as precise as every other table's.
    EXPECT_EQ(tables["compare_stop"][1], std::to_string(kTen + 1) +
                                             ",10,0,1,1.2,0.0,90.0,90.0,48.100010,48.100000,11.500000,11.500000,"
                                             "500.000000,500.000000");
    EXPECT_EQ(Cells(tables["compare_turning"][1])[0], std::to_string(kTen + 5));
    EXPECT_EQ(Cells(tables["compare_turning"][3])[0], std::to_string(kTen + 7));
    EXPECT_EQ(Cells(tables["compare_straight"][1])[0], std::to_string(kTen + 4));
    EXPECT_EQ(Cells(tables["compare_straight"][2])[0], std::to_string(kTen + 9));

    // Record files: one record per class row for every file; the records are
    // the files' own.
    for (const char* file : {"dut_x", "Refer"}) {
        EXPECT_EQ(fs::file_size(out / (std::string(file) + "_stop.dat")), 2u * 48u) << file;
        EXPECT_EQ(fs::file_size(out / (std::string(file) + "_straight.dat")), 3u * 48u) << file;
        EXPECT_EQ(fs::file_size(out / (std::string(file) + "_turning.dat")), 4u * 48u) << file;
        EXPECT_EQ(fs::file_size(out / (std::string(file) + "_accelerating.dat")), 0u) << file;
    }
    const std::string dat = ReadFile(out / "dut_x_turning.dat");
    const VelRecord first_turning = navsift::DecodeVelRecord(reinterpret_cast<const unsigned char*>(dat.data()));
    EXPECT_EQ(first_turning.key, kTen + 5);
    EXPECT_DOUBLE_EQ(first_turning.speed, 41.25);

    // The KML: per file a folder of four class folders, one placemark per
    // class record, UTC times of the records themselves.
    const std::string kml = ReadFile(out / "compare_positions.kml");
    EXPECT_EQ(XmlProblem(out / "compare_positions.kml"), "");
    EXPECT_NE(kml.find("<Folder>\r\n<name>dut_x</name>\r\n<Folder>\r\n<name>straight</name>\r\n<Placemark>"),
              std::string::npos);
    EXPECT_NE(kml.find("<Folder>\r\n<name>Refer</name>\r\n"), std::string::npos);
    EXPECT_NE(kml.find("<name>accelerating</name>\r\n</Folder>\r\n<Folder>\r\n<name>stop</name>"), std::string::npos);
    EXPECT_EQ(CountOf(kml, "<Point>"), 2 * (2 + 3 + 4));
    EXPECT_NE(kml.find("<tr><td>UTC Time: </td><td>10:00:05</td></tr>"), std::string::npos);
    EXPECT_NE(kml.find("<tr><td>Latitude: </td><td>48 6.006 N</td></tr>"), std::string::npos);
    EXPECT_EQ(CountOf(kml, "<color>ffff0000</color>"), 7);  // the first file in blue
    EXPECT_EQ(CountOf(kml, "<color>ff00ff00</color>"), 7);  // the reference in green
    const int points = GpsbabelTrackPoints(out / "compare_positions.kml", dir.path());

    // A second run whose range is empty fails and writes nothing: the first
    // run's files stay as it left them.
    const std::string first_run = FolderDigest(out) + ReadFile(out / "compare_positions.kml");
    WriteVel(dir / "late.vel.data", kTen + 20, kTen + 30, {});
    const RunResult none = Navsift({"-compare", (dir / "cmp").string(), "-ref", (dir / "late.vel.data").string(),
                                    "-hth", "10", "-turntime", "2", "-vth", "5"},
                                   dir.path());
    EXPECT_EQ(none.status, 1);
    EXPECT_EQ(none.out, "Reading the folder " + (dir / "cmp").string() + "/: 1 vel file (*.vel)\n"
                        "Compare range not found 100020_30062008 to 100010_30062008\r\n");
    EXPECT_EQ(FolderDigest(out) + ReadFile(out / "compare_positions.kml"), first_run);

    // gpsbabel reads the first run's classified positions back.
    if (points < 0) {
        GTEST_SKIP() << "gpsbabel is not available to read the KML back";
    }
    EXPECT_EQ(points, 2 * (2 + 3 + 4));
}

// A generated drive: (speed km/h, heading) per second from 10:00:00.
std::vector<std::pair<double, double>> Drive()
{
    std::vector<std::pair<double, double>> d;
    for (int i = 0; i < 10; ++i) d.push_back({0.0, 90});                      // stopped
    for (int i = 0; i < 30; ++i) d.push_back({50.0 + (i % 3) * 0.5, 90});     // straight east
    for (int i = 1; i <= 10; ++i) d.push_back({30.0, 90 + 15.0 * i});         // turn to 240
    for (int i = 0; i < 20; ++i) d.push_back({50.0, 240});                    // straight
    for (int i = 1; i <= 7; ++i) d.push_back({40.0, 240 + 15.0 * i});         // turn to 345
    for (int i = 1; i <= 20; ++i) d.push_back({45.0, std::fmod(345 + 2.0 * i, 360)});  // north, crossing 0
    for (int i = 0; i < 10; ++i) d.push_back({0.0, 25});                      // stopped
    return d;
}

std::string DriveLog(double speed_offset)
{
    std::string log;
    double lat = 48.1, lon = 11.5;
    const auto drive = Drive();
    for (std::size_t i = 0; i < drive.size(); ++i) {
        const auto [kmh, course] = drive[i];
        const double metres = kmh / 3.6;
        lat += metres * std::cos(course * M_PI / 180) / 111320;
        lon += metres * std::sin(course * M_PI / 180) / (111320 * std::cos(lat * M_PI / 180));
        const int sod = 36000 + static_cast<int>(i);
        char t[32], pos[64], vtg[96];
        std::snprintf(t, sizeof t, "%02d%02d%02d.00", sod / 3600, sod / 60 % 60, sod % 60);
        std::snprintf(pos, sizeof pos, "%02d%07.4f,N,%03d%07.4f,E", static_cast<int>(lat),
                      (lat - static_cast<int>(lat)) * 60, static_cast<int>(lon), (lon - static_cast<int>(lon)) * 60);
        log += Sentence(std::string("GPGGA,") + t + "," + pos + ",1,08,0.9,545.4,M,46.9,M,,");
        log += Sentence(std::string("GPRMC,") + t + ",A," + pos + ",0.0,0.0,300608,,,A");
        std::snprintf(vtg, sizeof vtg, "GPVTG,%.1f,T,,M,0.0,N,%.1f,K,A", course, kmh + speed_offset);
        log += Sentence(vtg);
    }
    return log;
}

TEST(SpeedCompare, KnownSpeedOffsetFoundInEveryClass)
{
    ScratchDir dir;
    // One drive logged by a reference and by a receiver whose speed reads
    // 2.5 km/h high; -vel makes both vel files.
    fs::create_directory(dir / "dut");
    WriteFile(dir / "reference.txt", DriveLog(0));
    WriteFile(dir / "dut" / "receiver.txt", DriveLog(2.5));
    for (const fs::path& log : {dir / "reference.txt", dir / "dut" / "receiver.txt"}) {
        const RunResult r = Navsift({"-vel", log.string(), "-speedpath", log.parent_path().string() + "/"}, dir.path());
        ASSERT_EQ(r.status, 0) << r.err;
    }
    const RunResult r = Navsift({"-compare", (dir / "dut").string(), "-ref", (dir / "reference.vel").string(), "-hth",
                                 "10", "-turntime", "3", "-vth", "3"},
                                dir.path());
    ASSERT_EQ(r.status, 0) << r.err;
    const fs::path out = dir / "dut" / "compare_10_3_3";
    std::map<std::string, int> rows;
    for (const char* cls : {"straight", "turning", "stop"}) {
        const std::vector<std::string> lines = Lines(ReadFile(out / ("compare_" + std::string(cls) + ".csv")));
        ASSERT_GT(lines.size(), 1u) << cls;
        EXPECT_EQ(Cells(lines[0])[4], "receiver_speed");
        EXPECT_EQ(Cells(lines[0])[5], "Refer_speed");
        double sum = 0;
        for (std::size_t i = 1; i < lines.size(); ++i) {
            const std::vector<std::string> c = Cells(lines[i]);
            const double offset = std::stod(c[4]) - std::stod(c[5]);
            sum += offset;
            EXPECT_NEAR(offset, 2.5, 1e-9) << cls << " " << lines[i];
        }
        rows[cls] = static_cast<int>(lines.size()) - 1;
        EXPECT_NEAR(sum / rows[cls], 2.5, 1e-9) << cls;
    }
    // The first second has no record, the log's last one has: 9 + 10 stop
    // seconds; turns of 10 and 7 seconds, each followed by 4 quiet turning
    // seconds; crossing north is no turn.
    EXPECT_EQ(rows["stop"], 9 + 10);
    EXPECT_EQ(rows["turning"], 10 + 4 + 7 + 4);
    EXPECT_EQ(rows["straight"], 30 - 1 + 20 - 4 + 20 - 4);

    // The classified positions read back by gpsbabel: one point per record.
    EXPECT_EQ(XmlProblem(out / "compare_positions.kml"), "");
    const int points = GpsbabelTrackPoints(out / "compare_positions.kml", dir.path());
    if (points < 0) {
        GTEST_SKIP() << "gpsbabel is not available to read the KML back";
    }
    EXPECT_EQ(points, 2 * (rows["stop"] + rows["turning"] + rows["straight"]));
}

TEST(SpeedMerge, HeadingOfOneFileSpeedOfAnother)
{
    ScratchDir dir;
    std::vector<VelRecord> heading = Records(kTen, kTen + 6, 0, {kTen + 4});
    std::vector<VelRecord> speed = Records(kTen + 2, kTen + 8, 70);
    WriteVel(dir / "h.vel", kTen, kTen + 6, heading);
    WriteVel(dir / "s.vel", kTen + 2, kTen + 8, speed);
    fs::create_directory(dir / "out");
    RunResult r = Navsift({"-merge", "-heading", (dir / "h.vel").string(), "-speed", (dir / "s.vel").string(), "-out",
                           (dir / "out" / "").string()},
                          dir.path());
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "timestamp " + std::to_string(kTen + 2) + " not found in speed file\r\ntimestamp " +
                         std::to_string(kTen + 4) + " not found in heading file\r\n");
    const fs::path merged = dir / "out" / "Out_T_100002_30062008_100006_30062008.vel";
    ASSERT_TRUE(fs::exists(merged));
    EXPECT_FALSE(fs::exists(dir / "out" / "out.vel"));
    const std::optional<navsift::VelFile> m = navsift::VelFile::Load(merged.string());
    ASSERT_TRUE(m);
    EXPECT_EQ(m->first, kTen + 2);
    EXPECT_EQ(m->last, kTen + 6);
    ASSERT_EQ(m->records.size(), 3u);  // 10:00:03, 10:00:05, 10:00:06
    EXPECT_EQ(m->records[0].key, kTen + 3);
    EXPECT_DOUBLE_EQ(m->records[0].speed, 71);    // speed file, index 1
    EXPECT_DOUBLE_EQ(m->records[0].heading, 30);  // heading file, index 3
    EXPECT_DOUBLE_EQ(m->records[0].latitude, 48.003);
    EXPECT_EQ(m->records[2].key, kTen + 6);
    EXPECT_DOUBLE_EQ(m->records[2].speed, 74);
    EXPECT_DOUBLE_EQ(m->records[2].heading, 60);

    // A second merge over the same range leaves the first one as it is.
    WriteFile(merged, "keep");
    r = Navsift({"-merge", "-heading", (dir / "h.vel").string(), "-speed", (dir / "s.vel").string(), "-out",
                 (dir / "out" / "").string()},
                dir.path());
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("cannot rename"), std::string::npos) << r.err;
    EXPECT_EQ(ReadFile(merged), "keep");
    EXPECT_TRUE(fs::exists(dir / "out" / "out.vel"));

    // An output that names an input is refused, and the input kept.
    const std::string before = ReadFile(dir / "h.vel");
    fs::copy_file(dir / "h.vel", dir / "out.vel");
    r = Navsift({"-merge", "-heading", (dir / "out.vel").string(), "-speed", (dir / "s.vel").string(), "-out",
                 (dir / "").string()},
                dir.path());
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("would replace the input"), std::string::npos) << r.err;
    EXPECT_EQ(ReadFile(dir / "out.vel"), before);
    fs::copy_file(dir / "h.vel", dir / "Out_T_100002_30062008_100006_30062008.vel");
    r = Navsift({"-merge", "-heading", (dir / "s.vel").string(), "-speed",
                 (dir / "Out_T_100002_30062008_100006_30062008.vel").string(), "-out", (dir / "x_").string()},
                dir.path());
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("would replace the input"), std::string::npos) << r.err;
    EXPECT_FALSE(fs::exists(dir / "x_out.vel"));

    // Files without a common second: no merged file.
    WriteVel(dir / "late.vel", kTen + 20, kTen + 25, Records(kTen + 20, kTen + 25, 0));
    r = Navsift({"-merge", "-heading", (dir / "h.vel").string(), "-speed", (dir / "late.vel").string(), "-out",
                 (dir / "late_").string()},
                dir.path());
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, "Input files are not compatible. Merging fail\r\n");
    EXPECT_FALSE(fs::exists(dir / "late_out.vel"));

    // A missing input or option.
    EXPECT_EQ(Navsift({"-merge", "-heading", (dir / "h.vel").string(), "-speed", (dir / "s.vel").string()}, dir.path())
                  .status,
              2);
    r = Navsift({"-merge", "-heading", (dir / "nope.vel").string(), "-speed", (dir / "s.vel").string(), "-out",
                 (dir / "n_").string()},
                dir.path());
    EXPECT_EQ(r.status, 1);
    EXPECT_FALSE(fs::exists(dir / "n_out.vel"));
}

TEST(PositionsKml, RecordsWithAPositionOffTheEarthAreDroppedAndCounted)
{
    ScratchDir dir;
    std::vector<VelRecord> records = Records(kTen, kTen + 6, 0);
    records[1].latitude = 1e300;
    records[2].latitude = std::nan("");
    records[3].longitude = 400;
    records[4].latitude = -95.5;
    WriteVel(dir / "damaged.vel", kTen, kTen + 6, records);
    const RunResult r = Navsift({"-p", dir.path().string(), "-kml"}, dir.path());
    ASSERT_EQ(r.status, 0) << r.err;
    const std::string kml = ReadFile(dir / "positions.kml");
    EXPECT_EQ(XmlProblem(dir / "positions.kml"), "");
    EXPECT_EQ(CountOf(kml, "<Point>"), 2) << kml;
    EXPECT_EQ(kml.find("nan"), std::string::npos);
    EXPECT_EQ(kml.find("1e+300"), std::string::npos);
    EXPECT_EQ(kml.find("2147483648"), std::string::npos);
    EXPECT_NE(r.out.find("4 records with a position off the earth dropped"), std::string::npos) << r.out;
}

// The same damaged records compared with a sound file, with and without a
// reference: compare.csv and the class tables leave those positions empty,
// and the message counts them, as the drawing of the positions does.
TEST(SpeedCompare, PositionsOffTheEarthAreLeftOutOfTheTablesAndCounted)
{
    ScratchDir dir;
    std::vector<VelRecord> damaged = Records(kTen, kTen + 6, 0);
    damaged[1].latitude = 1e300;
    damaged[2].latitude = std::nan("");
    damaged[3].longitude = 400;
    damaged[4].latitude = -95.5;
    WriteVel(dir / "damaged.vel", kTen, kTen + 6, damaged);
    WriteVel(dir / "sound.vel", kTen, kTen + 6, Records(kTen, kTen + 6, 10));
    WriteVel(dir / "reference.ref", kTen, kTen + 6, Records(kTen, kTen + 6, 20));
    const auto check = [](const std::string& table, const std::string& what) {
        for (const char* bad : {"nan", "1000000000", "400.", "-95.5", "inf"}) {
            EXPECT_EQ(table.find(bad), std::string::npos) << what << " holds " << bad << ":\n" << table;
        }
    };
    RunResult r = Navsift({"-compare", (dir / "").string()}, dir.path());
    ASSERT_EQ(r.status, 0) << r.err;
    const std::vector<std::string> rows = Lines(ReadFile(dir / "compare.csv"));
    ASSERT_EQ(rows.size(), 7u);  // the header, then 10:00:01 .. 10:00:06
    check(ReadFile(dir / "compare.csv"), "compare.csv");
    // The second of the latitude 1e300: speeds and headings stay, the
    // damaged file's position cells are empty, the sound file's are not.
    const std::vector<std::string> cells = Cells(rows[2]);
    ASSERT_EQ(cells.size(), 11u) << rows[2];
    EXPECT_EQ(cells[1], "2.0");
    EXPECT_EQ(cells[5], "");
    EXPECT_EQ(cells[6], "48.002000");
    EXPECT_EQ(cells[9], "");
    EXPECT_NE(r.out.find("4 positions off the earth left out of"), std::string::npos) << r.out;

    r = Navsift({"-compare", (dir / "").string(), "-ref", (dir / "reference.ref").string(), "-vth", "1", "-hth", "5",
                 "-turntime", "2"},
                dir.path());
    ASSERT_EQ(r.status, 0) << r.err;
    for (const char* table : {"compare.csv", "compare_straight.csv", "compare_turning.csv", "compare_stop.csv"}) {
        check(ReadFile(dir / "compare_5_2_1" / table), table);
    }
    EXPECT_NE(r.out.find("4 positions off the earth left out of"), std::string::npos) << r.out;
}

// A reference system's log that tells no position (speed and heading only)
// through -vel: its records hold zeros for the position, which the drawing
// leaves out and the comparison leaves empty, never a point at 0,0.
TEST(PositionsKml, AReferenceLogWithoutPositionsIsNeitherDrawnNorComparedAtZero)
{
    ScratchDir dir;
    fs::create_directories(dir / "vel");
    std::string gar = "year,month,day,hour,minute,second,...\n";
    for (int s = 0; s < 8; ++s) {
        gar += "2008,6,30,10,0," + std::to_string(s) + ",0,0,0,0,0,0,11.1,0,0,0,0,0,0,0.5,0,0\n";
    }
    WriteFile(dir / "gar.txt", gar);
    RunResult r = Navsift({"-vel", (dir / "gar.txt").string(), "-type", "gar", "-speedpath", (dir / "vel/").string()},
                          dir.path());
    ASSERT_EQ(r.status, 0) << r.err;
    ASSERT_TRUE(fs::exists(dir / "vel" / "gar.vel"));
    WriteVel(dir / "vel" / "rx.vel", kTen - 1, kTen + 8, Records(kTen - 1, kTen + 8, 40));

    r = Navsift({"-p", (dir / "vel/").string(), "-kml"}, dir.path());
    ASSERT_EQ(r.status, 0) << r.err;
    const std::string kml = ReadFile(dir / "vel" / "positions.kml");
    EXPECT_EQ(kml.find("<coordinates>0.000000,0.000000"), std::string::npos);
    EXPECT_EQ(kml.find("\r\n0.000000,0.000000"), std::string::npos);
    EXPECT_NE(r.out.find("records without a position left out"), std::string::npos) << r.out;

    r = Navsift({"-compare", (dir / "vel/").string()}, dir.path());
    ASSERT_EQ(r.status, 0) << r.err;
    const std::vector<std::string> rows = Lines(ReadFile(dir / "vel" / "compare.csv"));
    ASSERT_GT(rows.size(), 2u);
    for (std::size_t k = 1; k < rows.size(); ++k) {
        const std::vector<std::string> cells = Cells(rows[k]);
        ASSERT_EQ(cells.size(), 11u) << rows[k];
        EXPECT_EQ(cells[1], "40.0") << "the reference's speed is compared";  // gar.vel: 11.1 m/s
        EXPECT_EQ(cells[5], "") << rows[k];
        EXPECT_EQ(cells[7], "") << rows[k];
        EXPECT_EQ(cells[9], "") << rows[k];
        EXPECT_NE(cells[6], "") << rows[k];
    }
}

TEST(PositionsKml, FolderOfVelFilesAsTracks)
{
    ScratchDir dir;
    WriteVel(dir / "alpha.vel", kTen, kTen + 4, Records(kTen, kTen + 4, 0));
    WriteVel(dir / "beta.vel", kTen, kTen + 2, Records(kTen, kTen + 2, 0));
    RunResult r = Navsift({"-p", dir.path().string(), "-kml"}, dir.path());
    ASSERT_EQ(r.status, 0) << r.err;
    const std::string kml = ReadFile(dir / "positions.kml");
    EXPECT_EQ(XmlProblem(dir / "positions.kml"), "");
    EXPECT_NE(kml.find("<Document>\r\n<name>positions</name>"), std::string::npos);
    EXPECT_NE(kml.find("<Folder>\r\n<name>alpha (BLUE)</name>\r\n<Placemark>"), std::string::npos);
    EXPECT_NE(kml.find("<Folder>\r\n<name>beta (GREEN)</name>\r\n"), std::string::npos);
    EXPECT_EQ(CountOf(kml, "<Point>"), 4 + 2);
    EXPECT_EQ(CountOf(kml, "<styleUrl>#S00</styleUrl>"), 1);
    EXPECT_EQ(CountOf(kml, "<styleUrl>#P00</styleUrl>"), 2);
    EXPECT_EQ(CountOf(kml, "<styleUrl>#E00</styleUrl>"), 1);
    EXPECT_EQ(CountOf(kml, "<name>Path</name>"), 2);
    const int points = GpsbabelTrackPoints(dir / "positions.kml", dir.path());

    // -name names the document; -split cuts each track at the same time.
    WriteFile(dir / "split.txt", "10:00:03 30/06/2008\r\n");
    r = Navsift({"-p", dir.path().string() + "/", "-kml", "-name", "drive", "-split", (dir / "split.txt").string()},
                dir.path());
    ASSERT_EQ(r.status, 0) << r.err;
    const std::string split = ReadFile(dir / "drive.kml");
    EXPECT_EQ(XmlProblem(dir / "drive.kml"), "");
    EXPECT_EQ(CountOf(split, "<name>10:00:01 30/06/2008</name>"), 2);
    EXPECT_EQ(CountOf(split, "<name>10:00:03 30/06/2008</name>"), 1);  // beta ends at 10:00:02
    EXPECT_EQ(CountOf(split, "<name>Path</name>"), 3);

    // Usage and a folder without vel files.
    EXPECT_EQ(Navsift({"-p", "-kml"}, dir.path()).status, 2);
    ScratchDir empty;
    r = Navsift({"-p", empty.path().string(), "-kml"}, empty.path());
    EXPECT_EQ(r.status, 1);
    EXPECT_FALSE(fs::exists(empty / "positions.kml"));

    if (points < 0) {
        GTEST_SKIP() << "gpsbabel is not available to read the KML back";
    }
    EXPECT_EQ(points, 4 + 2);
}

}  // namespace
}  // namespace navsift_test
