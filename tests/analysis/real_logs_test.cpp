// Logs written by real receivers (the gpsd project's regression logs) run
// through the real navsift and checked against gpsbabel's reading of the
// same logs or against the sentences themselves: speeds and times of the
// speed extraction, the comparison of seconds without a speed, the log's
// last epoch, the conversion of logs with other text between the sentences,
// and logs whose talker is not read.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <map>
#include <sstream>

#include "analysis/core/vel_file.h"
#include "tests/analysis/navsift_harness.h"

namespace navsift_test {
namespace {

using navsift::VelFile;
using navsift::VelRecord;

fs::path RealFile(const std::string& name)
{
    return fs::path(FIXBENCH_SOURCE_DIR) / "tests/data/real" / name;
}

bool GpsbabelRuns()
{
    return Run({"gpsbabel", "-V"}, fs::temp_directory_path()).status == 0;
}

// gpsbabel's reading of an NMEA log, its times in UTC.
struct BabelPoint {
    double latitude = 0, longitude = 0, altitude = 0, speed_ms = 0;
    std::string date, time;  // "2007/12/18", "21:26:14.879"
};
std::vector<BabelPoint> BabelNmea(const fs::path& log, const fs::path& work)
{
    const fs::path out = work / "babel.csv";
    const RunResult r =
        Run({"gpsbabel", "-t", "-i", "nmea", "-f", log.string(), "-o", "unicsv,utc=0", "-F", out.string()}, work);
    EXPECT_EQ(r.status, 0) << r.err;
    std::vector<BabelPoint> points;
    const std::vector<std::string> lines = TextLines(ReadFile(out));
    if (lines.empty()) {
        return points;
    }
    const std::vector<std::string> names = Split(lines[0], ',');
    std::map<std::string, std::size_t> column;
    for (std::size_t k = 0; k < names.size(); ++k) {
        column[names[k]] = k;
    }
    for (std::size_t i = 1; i < lines.size(); ++i) {
        const std::vector<std::string> c = Split(lines[i], ',');
        BabelPoint p;
        p.latitude = std::stod(c.at(column.at("Latitude")));
        p.longitude = std::stod(c.at(column.at("Longitude")));
        p.altitude = std::stod(c.at(column.at("Altitude")));
        p.speed_ms = std::stod(c.at(column.at("Speed")));
        p.date = c.at(column.at("Date"));
        p.time = c.at(column.at("Time"));
        points.push_back(p);
    }
    return points;
}

// GPS seconds (no leap seconds) of a UTC date "yyyy/mm/dd" and time
// "hh:mm:ss[.fff]", counted here with the standard calendar.
uint32_t GpsSeconds(const std::string& date, const std::string& time)
{
    using namespace std::chrono;
    const year_month_day day{year{std::stoi(date.substr(0, 4))}, month{static_cast<unsigned>(std::stoi(date.substr(5, 2)))},
                             std::chrono::day{static_cast<unsigned>(std::stoi(date.substr(8, 2)))}};
    const auto days = (sys_days{day} - sys_days{1980y / January / 6}).count();
    return static_cast<uint32_t>(days * 86400 + std::stoi(time.substr(0, 2)) * 3600 +
                                 std::stoi(time.substr(3, 2)) * 60 + std::stoi(time.substr(6, 2)));
}

// The course field (8) of each RMC of a log by its "hhmmss" time, as text.
std::map<std::string, std::string> RmcCourses(const std::string& log)
{
    std::map<std::string, std::string> out;
    for (const std::string& line : TextLines(log)) {
        if (line.rfind("$GPRMC,", 0) == 0) {
            const std::vector<std::string> f = Split(line, ',');
            out[f.at(1).substr(0, 6)] = f.at(8);
        }
    }
    return out;
}

std::string Hhmmss(const std::string& babel_time)
{
    return babel_time.substr(0, 2) + babel_time.substr(3, 2) + babel_time.substr(6, 2);
}

VelFile LoadVel(const fs::path& path)
{
    std::optional<VelFile> f = VelFile::Load(path.string());
    EXPECT_TRUE(f.has_value()) << path;
    return f.value_or(VelFile{});
}

// A receiver that writes GGA and RMC but no VTG, moving at first, then
// standing with an empty course field, and whose log ends on a fix: every
// epoch with a fix after the first one is recorded, the last one too, with
// the RMC's speed and course, where gpsbabel finds it.
TEST(RealLogs, SpeedAndCourseOfALogWithoutVtgComeFromItsRmc)
{
    if (!GpsbabelRuns()) {
        GTEST_SKIP() << "gpsbabel is not available";
    }
    ScratchDir dir;
    fs::copy_file(RealFile("motorola-t805.log"), dir / "drive.txt");
    const RunResult r = Navsift({"-vel", (dir / "drive.txt").string(), "-speedpath", (dir / "").string()}, dir.path());
    ASSERT_EQ(r.status, 0) << r.err;
    const std::vector<BabelPoint> babel = BabelNmea(dir / "drive.txt", dir.path());
    ASSERT_EQ(babel.size(), 16u);
    const VelFile vel = LoadVel(dir / "drive.vel");
    // The first fix is the file's first second and has no record.
    EXPECT_EQ(vel.first, GpsSeconds(babel.front().date, babel.front().time));
    ASSERT_EQ(vel.records.size(), babel.size() - 1);
    EXPECT_EQ(vel.last, GpsSeconds(babel.back().date, babel.back().time));
    const std::map<std::string, std::string> courses = RmcCourses(ReadFile(dir / "drive.txt"));
    int moving = 0, without_course = 0;
    for (std::size_t k = 1; k < babel.size(); ++k) {
        const BabelPoint& p = babel[k];
        const VelRecord& rec = vel.records[k - 1];
        EXPECT_EQ(rec.key, GpsSeconds(p.date, p.time)) << p.time;
        // gpsbabel writes m/s to two decimals.
        EXPECT_NEAR(rec.speed, p.speed_ms * 3.6, 0.02) << p.time;
        EXPECT_NEAR(rec.latitude, p.latitude, 1e-6) << p.time;
        EXPECT_NEAR(rec.longitude, p.longitude, 1e-6) << p.time;
        EXPECT_NEAR(rec.height, p.altitude, 1e-6) << p.time;
        const std::string& course = courses.at(Hhmmss(p.time));
        if (course.empty()) {
            // No course in the RMC: none in the record, never a course of 0.
            EXPECT_TRUE(std::isnan(rec.heading)) << p.time << " " << rec.heading;
            ++without_course;
        } else {
            EXPECT_DOUBLE_EQ(rec.heading, std::stod(course)) << p.time;
        }
        moving += rec.speed > 1 ? 1 : 0;
    }
    EXPECT_EQ(moving, 2);  // 0.78 kn at 237.9 degrees and 1.25 kn at 21.0 degrees
    EXPECT_EQ(without_course, 13);
}

// The same log drawn with -kml: each placemark tells its epoch's RMC speed
// (knots to km/h) and course, "no heading" where the RMC gives none, never
// the 0 km/h and 0 degrees of a VTG that was not there.
TEST(RealLogs, PlacemarksOfALogWithoutVtgTellItsRmcSpeedAndCourse)
{
    ScratchDir dir;
    fs::copy_file(RealFile("motorola-t805.log"), dir / "drive.txt");
    const RunResult r = Navsift({"-nmea", (dir / "drive.txt").string(), "-kml", "-name", "drive"}, dir.path());
    ASSERT_EQ(r.status, 0) << r.err;
    std::map<std::string, std::pair<std::string, std::string>> rmc;  // hhmmss -> knots, course
    for (const std::string& line : TextLines(ReadFile(dir / "drive.txt"))) {
        if (line.rfind("$GPRMC,", 0) == 0) {
            const std::vector<std::string> f = Split(line, ',');
            rmc[f.at(1).substr(0, 6)] = {f.at(7), f.at(8)};
        }
    }
    const std::string kml = ReadFile(dir / "drive.kml");
    const std::string time_key = "<td>UTC Time: </td><td>";
    int placemarks = 0, moving = 0, without_course = 0;
    for (std::size_t at = kml.find(time_key); at != std::string::npos; at = kml.find(time_key, at + 1)) {
        const std::string t = kml.substr(at + time_key.size(), 8);
        const std::string hhmmss = t.substr(0, 2) + t.substr(3, 2) + t.substr(6, 2);
        ASSERT_EQ(rmc.count(hhmmss), 1u) << t;
        const auto& [knots, course] = rmc.at(hhmmss);
        const auto cell = [&](const std::string& key) {
            const std::size_t from = kml.find(key, at) + key.size();
            return kml.substr(from, kml.find("</td>", from) - from);
        };
        char speed[32];
        std::snprintf(speed, sizeof speed, "%.1f km/h", std::stod(knots) * 1.852);
        EXPECT_EQ(cell("<td>Speed: </td><td>"), speed) << t;
        if (course.empty()) {
            EXPECT_EQ(cell("<td>Heading: </td><td>"), "no heading ") << t;
            ++without_course;
        } else {
            char heading[32];
            std::snprintf(heading, sizeof heading, "%.1fdeg ", std::stod(course));
            EXPECT_EQ(cell("<td>Heading: </td><td>"), heading) << t;
        }
        moving += std::stod(knots) > 0 ? 1 : 0;
        ++placemarks;
    }
    EXPECT_EQ(placemarks, 16);
    EXPECT_EQ(moving, 3);
    EXPECT_EQ(without_course, 13);
}

// The CSV's time columns are each epoch's own UTC time and date (its RMC's)
// and GPS seconds (UTC + 15 s), as gpsbabel reads them, never zeros.
TEST(RealLogs, CsvTimesOfALogWithoutQnvTimeAreItsRmcTimes)
{
    if (!GpsbabelRuns()) {
        GTEST_SKIP() << "gpsbabel is not available";
    }
    ScratchDir dir;
    fs::copy_file(RealFile("motorola-t805.log"), dir / "drive.txt");
    const RunResult r = Navsift({"-vel", (dir / "drive.txt").string(), "-speedpath", (dir / "").string()}, dir.path());
    ASSERT_EQ(r.status, 0) << r.err;
    const std::vector<BabelPoint> babel = BabelNmea(dir / "drive.txt", dir.path());
    ASSERT_EQ(babel.size(), 16u);
    const std::vector<std::string> rows = TextLines(ReadFile(dir / "drive_speed_heading.csv"));
    ASSERT_FALSE(rows.empty());
    EXPECT_EQ(rows[0], "time,date,gpstime,speed,heading");
    std::map<std::string, std::vector<std::string>> by_time;
    for (std::size_t i = 1; i < rows.size(); ++i) {
        const std::vector<std::string> c = Split(rows[i], ',');
        ASSERT_EQ(c.size(), 5u) << rows[i];
        EXPECT_NE(c[0], "00:00:00") << rows[i];
        by_time[c[0]] = c;
    }
    // Every fix after the first, the last one too, has its row; epochs
    // without a fix have theirs as well.
    EXPECT_EQ(rows.size(), 1 + 17u);
    for (std::size_t k = 1; k < babel.size(); ++k) {
        const BabelPoint& p = babel[k];
        ASSERT_EQ(by_time.count(p.time.substr(0, 8)), 1u) << p.time;
        const std::vector<std::string>& c = by_time[p.time.substr(0, 8)];
        EXPECT_EQ(c[1], p.date.substr(8, 2) + "/" + p.date.substr(5, 2) + "/" + p.date.substr(0, 4));
        EXPECT_EQ(c[2], std::to_string(GpsSeconds(p.date, p.time) + 15));
        EXPECT_NEAR(std::stod(c[3]), p.speed_ms * 3.6, 0.06) << p.time;
    }
}


// A log that ends on a fix: its last epoch is recorded, as the KML draws it
// and gpsbabel reads it.
TEST(RealLogs, TheLastEpochOfALogEndingOnAFixIsRecorded)
{
    ScratchDir dir;
    fs::copy_file(RealFile("nokia-ld-4w.log"), dir / "walk.txt");
    RunResult r = Navsift({"-vel", (dir / "walk.txt").string(), "-speedpath", (dir / "").string()}, dir.path());
    ASSERT_EQ(r.status, 0) << r.err;
    r = Navsift({"-nmea", (dir / "walk.txt").string(), "-kml", "-name", "walk"}, dir.path());
    ASSERT_EQ(r.status, 0) << r.err;
    // The KML's point placemarks and its end marker: every fix epoch.
    const std::string kml = ReadFile(dir / "walk.kml");
    std::vector<std::string> drawn;
    const std::string key = "UTC Time: </td><td>";
    for (std::size_t at = kml.find(key); at != std::string::npos; at = kml.find(key, at + 1)) {
        const std::string t = kml.substr(at + key.size(), 8);
        if (drawn.empty() || drawn.back() != t) {
            drawn.push_back(t);
        }
    }
    ASSERT_EQ(drawn.size(), 19u);
    const VelFile vel = LoadVel(dir / "walk.vel");
    ASSERT_EQ(vel.records.size(), drawn.size() - 1);
    for (std::size_t k = 1; k < drawn.size(); ++k) {
        const uint32_t second = vel.records[k - 1].key % 86400;
        char hms[16];
        std::snprintf(hms, sizeof hms, "%02u:%02u:%02u", second / 3600, second / 60 % 60, second % 60);
        EXPECT_EQ(hms, drawn[k]);
    }
    EXPECT_EQ(vel.last, vel.records.back().key);
    if (GpsbabelRuns()) {
        const std::vector<BabelPoint> babel = BabelNmea(dir / "walk.txt", dir.path());
        ASSERT_EQ(babel.size(), drawn.size());
        EXPECT_EQ(vel.last, GpsSeconds(babel.back().date, babel.back().time));
    }
}

// "$GPRMC" with the sentence's checksum recomputed after an edit.
std::string WithChecksum(const std::string& sentence)
{
    const std::size_t star = sentence.find('*');
    unsigned x = 0;
    for (std::size_t i = 1; i < star; ++i) {
        x ^= static_cast<unsigned char>(sentence[i]);
    }
    char tail[4];
    std::snprintf(tail, sizeof tail, "%02X", x);
    return sentence.substr(0, star + 1) + tail;
}

// The reference's RMC gives a receiver warning ("V") at two seconds where
// its GGA still has a fix: those seconds tell no speed. The comparison
// leaves them out of the speed and heading columns and out of every class,
// rather than count them as standing still.
TEST(RealLogs, SecondsWithoutASpeedAreNoStandstillInTheComparison)
{
    ScratchDir dir;
    fs::create_directories(dir / "dut");
    const std::string log = ReadFile(RealFile("motorola-t805.log"));
    WriteFile(dir / "dut" / "receiver.txt", log);
    std::string reference;
    int warned = 0;
    for (const std::string& line : TextLines(log)) {
        std::string l = line;
        if (l.rfind("$GPRMC,212618.000,A,", 0) == 0 || l.rfind("$GPRMC,212621.000,A,", 0) == 0) {
            l[18] = 'V';
            l = WithChecksum(l);
            ++warned;
        }
        reference += l + "\r\n";
    }
    ASSERT_EQ(warned, 2);
    WriteFile(dir / "reference.txt", reference);
    for (const fs::path& log_path : {dir / "reference.txt", dir / "dut" / "receiver.txt"}) {
        const RunResult r =
            Navsift({"-vel", log_path.string(), "-speedpath", log_path.parent_path().string() + "/"}, dir.path());
        ASSERT_EQ(r.status, 0) << r.err;
    }
    const VelFile ref = LoadVel(dir / "reference.vel");
    std::vector<uint32_t> untold;
    for (const VelRecord& rec : ref.records) {
        if (std::isnan(rec.speed)) {
            untold.push_back(rec.key);
        }
    }
    ASSERT_EQ(untold.size(), 2u);

    RunResult r = Navsift({"-compare", (dir / "dut").string(), "-ref", (dir / "reference.vel").string(), "-hth", "10",
                           "-turntime", "3", "-vth", "1"},
                          dir.path());
    ASSERT_EQ(r.status, 0) << r.err;
    const fs::path out = dir / "dut" / "compare_10_3_1";
    // utc_timestamp,utc_hour,utc_minute,utc_second, then speeds, headings ...
    // of receiver and Reference.
    std::map<std::string, std::vector<std::string>> all;
    for (const std::string& line : TextLines(ReadFile(out / "compare.csv"))) {
        const std::vector<std::string> c = Split(line, ',');
        all[c[1] + ":" + c[2] + ":" + c[3]] = c;
    }
    for (const std::string t : {"21:26:18", "21:26:21"}) {
        ASSERT_EQ(all.count(t), 1u) << t;
        EXPECT_EQ(all[t][4], "0.000000") << t;  // the receiver's own speed
        EXPECT_EQ(all[t][5], "") << t;          // the reference's: none
        EXPECT_EQ(all[t][7], "") << t;          // nor its heading
    }
    std::string classified;
    for (const char* cls : {"straight", "turning", "accelerating", "stop"}) {
        classified += ReadFile(out / ("compare_" + std::string(cls) + ".csv"));
    }
    EXPECT_EQ(classified.find(",21,26,18,"), std::string::npos);
    EXPECT_EQ(classified.find(",21,26,21,"), std::string::npos);
    // The seconds around them, standing with a speed of 0, are stops.
    EXPECT_NE(classified.find(",21,26,22,"), std::string::npos);

    // Without a reference the same cells are empty in the side-by-side table.
    fs::copy_file(dir / "reference.vel", dir / "dut" / "reference.vel");
    r = Navsift({"-compare", (dir / "dut").string()}, dir.path());
    ASSERT_EQ(r.status, 0) << r.err;
    int seen = 0;
    for (const std::string& line : TextLines(ReadFile(dir / "dut" / "compare.csv"))) {
        const std::vector<std::string> c = Split(line, ',');
        if (c[0] == std::to_string(untold[0]) || c[0] == std::to_string(untold[1])) {
            // gps timestamp, receiver speed, reference speed, receiver heading, reference heading
            EXPECT_EQ(c[1], "0.0") << line;
            EXPECT_EQ(c[2], "") << line;
            EXPECT_EQ(c[4], "") << line;
            ++seen;
        }
    }
    EXPECT_EQ(seen, 2);
    EXPECT_EQ(ReadFile(dir / "dut" / "compare.csv").find("nan"), std::string::npos);

    // Drawn, those seconds say they have no speed, never "nan km/h".
    r = Navsift({"-p", (dir / "dut").string(), "-kml"}, dir.path());
    ASSERT_EQ(r.status, 0) << r.err;
    const std::string kml = ReadFile(dir / "dut" / "positions.kml");
    EXPECT_EQ(kml.find("nan"), std::string::npos);
    EXPECT_EQ(CountOf(kml, "<td>Speed: </td><td>no speed</td>"), 2);
}

// Whether a line is one whole sentence: "$", an address, fields and a
// checksum that holds.
bool WholeSentence(const std::string& line)
{
    if (line.size() < 7 || line[0] != '$' || line[line.size() - 3] != '*') {
        return false;
    }
    unsigned x = 0;
    for (std::size_t i = 1; i + 3 < line.size(); ++i) {
        const unsigned char c = static_cast<unsigned char>(line[i]);
        if (c < 0x20 || c > 0x7e || c == '$' || c == '*') {
            return false;
        }
        x ^= c;
    }
    char sum[4];
    std::snprintf(sum, sizeof sum, "%02X", x);
    return line.compare(line.size() - 2, 2, sum) == 0;
}

// gpsbabel's points of a log, less their numbers.
std::vector<std::string> BabelRows(const fs::path& log, const fs::path& work)
{
    const fs::path out = work / "rows.csv";
    Run({"gpsbabel", "-t", "-i", "nmea", "-f", log.string(), "-o", "unicsv,utc=0", "-F", out.string()}, work);
    std::vector<std::string> rows;
    for (const std::string& line : TextLines(ReadFile(out))) {
        rows.push_back(line.substr(line.find(',') + 1));
    }
    return rows;
}

// An AIS receiver's log (AIS lines between the sentences, comment lines at
// its head) and a receiver's log with binary bytes between sentences: the
// converted log holds each sentence on a line of its own, whole, and nothing
// else, and gpsbabel reads from it every point it reads from the log.
TEST(RealLogs, ConversionWritesEverySentenceOnItsOwnLineAndNothingBetween)
{
    ScratchDir dir;
    for (const std::string name : {"ait250.log", "ublox-8.log"}) {
        fs::copy_file(RealFile(name), dir / name);
        const RunResult r = Navsift({"-conv", name, "-o", name + ".txt"}, dir.path());
        ASSERT_EQ(r.status, 0) << name << r.err;
        const std::string out = ReadFile(dir / (name + ".txt"));
        ASSERT_TRUE(out.ends_with("\r\n")) << name;
        int lines = 0, whole = 0;
        std::size_t from = 0;
        while (from < out.size()) {
            const std::size_t end = out.find("\r\n", from);
            ASSERT_NE(end, std::string::npos);
            const std::string line = out.substr(from, end - from);
            EXPECT_EQ(line.find_first_of("\r\n"), std::string::npos);
            ++lines;
            whole += WholeSentence(line) ? 1 : 0;
            from = end + 2;
        }
        // The log's lines that are sentences, counted here.
        int sentences = 0;
        for (const std::string& line : TextLines(ReadFile(dir / name))) {
            const std::size_t dollar = line.find('$');
            sentences += dollar != std::string::npos && WholeSentence(line.substr(dollar)) ? 1 : 0;
        }
        EXPECT_EQ(out.find('!'), std::string::npos) << name;
        EXPECT_EQ(out.find('#'), std::string::npos) << name;
        EXPECT_EQ(whole, sentences) << name;
        // ublox-8's last line is cut off before its checksum: it is written
        // as it stands, on a line of its own.
        EXPECT_EQ(lines, sentences + (name == "ublox-8.log" ? 1 : 0)) << name;
        EXPECT_NE(r.out.find("Converted Sentences: " + std::to_string(lines) + "\r"), std::string::npos);

        if (GpsbabelRuns()) {
            const std::vector<std::string> before = BabelRows(dir / name, dir.path());
            const std::vector<std::string> after = BabelRows(dir / (name + ".txt"), dir.path());
            ASSERT_GT(before.size(), 1u) << name;
            for (const std::string& row : before) {
                EXPECT_NE(std::find(after.begin(), after.end(), row), after.end()) << name << ": " << row;
            }
            // The RMC behind binary bytes at ublox-8's head reads only once
            // it stands on a line of its own.
            EXPECT_EQ(after.size(), before.size() + (name == "ublox-8.log" ? 1 : 0)) << name;
        }
    }
}

// The log up to and including the epoch of RMC time `last` ("212614").
std::string LogUpTo(const std::string& log, const std::string& last)
{
    std::string out;
    for (const std::string& line : TextLines(log)) {
        out += line + "\r\n";
        if (line.rfind("$GPRMC," + last, 0) == 0) {
            break;
        }
    }
    return out;
}

// Runs that produce nothing say why and fail: a receiver log of the $GN
// talker (which is not read) given to -kml and -vel, a log cut short after
// its first fix, folders where no log gives anything, and the visibility
// test with RINEX files of other days only.
TEST(RealLogs, RunsThatProduceNothingSayWhyAndFail)
{
    ScratchDir dir;
    fs::create_directories(dir / "gn");
    fs::copy_file(RealFile("ublox-8.log"), dir / "gn" / "ublox.txt");
    const std::string gn_log = (dir / "gn" / "ublox.txt").string();
    RunResult r = Navsift({"-nmea", gn_log, "-kml", "-name", "ublox"}, dir.path());
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.out.find("Nmea File NOT Recognized"), std::string::npos) << r.out;
    EXPECT_NE(r.err.find(gn_log + ": no $GP sentence: its positions come from the $GN talker"), std::string::npos)
        << r.err;
    EXPECT_FALSE(fs::exists(dir / "gn" / "ublox.kml"));
    r = Navsift({"-vel", gn_log, "-speedpath", (dir / "").string()}, dir.path());
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find(gn_log + ": no $GP sentence: its positions come from the $GN talker"), std::string::npos)
        << r.err;
    EXPECT_FALSE(fs::exists(dir / "ublox.vel"));
    // A folder of such logs gives nothing either.
    r = Navsift({"-nmea", (dir / "gn" / "").string(), "-kml", "-name", "all"}, dir.path());
    EXPECT_EQ(r.status, 1) << r.out;
    EXPECT_FALSE(fs::exists(dir / "gn" / "all.kml"));
    r = Navsift({"-vel", (dir / "gn" / "").string(), "-speedpath", (dir / "").string()}, dir.path());
    EXPECT_EQ(r.status, 1) << r.err;

    // One log of the folder that gives a track is enough.
    const std::string motorola = ReadFile(RealFile("motorola-t805.log"));
    WriteFile(dir / "gn" / "motorola.txt", motorola);
    r = Navsift({"-nmea", (dir / "gn" / "").string(), "-kml", "-name", "all"}, dir.path());
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(CountOf(ReadFile(dir / "gn" / "all.kml"), "<name>TRK_"), 1);
    r = Navsift({"-vel", (dir / "gn" / "").string(), "-speedpath", (dir / "").string()}, dir.path());
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(fs::exists(dir / "motorola.vel"));

    // A log cut short after its first fix has no second to record; after
    // its second fix, one.
    WriteFile(dir / "first.txt", LogUpTo(motorola, "212614"));
    r = Navsift({"-vel", (dir / "first.txt").string(), "-speedpath", (dir / "").string()}, dir.path());
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("no fix with a time after the first one"), std::string::npos) << r.err;
    WriteFile(dir / "second.txt", LogUpTo(motorola, "212615"));
    r = Navsift({"-vel", (dir / "second.txt").string(), "-speedpath", (dir / "").string()}, dir.path());
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(LoadVel(dir / "second.vel").records.size(), 1u);

    // The visibility test of 30 June 2008 with a station's file of 2005.
    fs::create_directories(dir / "rinex");
    fs::copy_file(RealFile("07590920.05n"), dir / "rinex" / "07590920.05n");
    r = Navsift({"-v", "-u", "1 2 48.1173 11.5167 545", "-e", (dir / "rinex").string()}, dir.path());
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("no usable RINEX navigation file for 30/06/2008"), std::string::npos) << r.err;
    EXPECT_FALSE(fs::exists(dir / "sat_visibility.txt"));
}

// The log with the GGA altitude of some seconds replaced, its checksum
// recomputed.
std::string WithAltitudes(const std::string& log, const std::map<std::string, std::string>& altitudes)
{
    std::string out;
    for (const std::string& line : TextLines(log)) {
        std::string l = line;
        for (const auto& [time, altitude] : altitudes) {
            if (l.rfind("$GPGGA," + time, 0) == 0) {
                std::vector<std::string> f = Split(l.substr(0, l.find('*')), ',');
                f.at(9) = altitude;
                std::string joined;
                for (std::size_t k = 0; k < f.size(); ++k) {
                    joined += (k == 0 ? "" : ",") + f[k];
                }
                l = WithChecksum(joined + "*00");
            }
        }
        out += l + "\r\n";
    }
    return out;
}

// A receiver that reports a height of 200 km for one second: the GGA reader
// takes it as no position, so the speed extraction writes no record of it
// and says so. A vel file damaged to heights of inf: neither position is
// drawn by -p -kml nor in compare_positions.kml, as compare.csv leaves them
// out, and each drawing counts them; gpsbabel reads back one point per
// record drawn.
TEST(RealLogs, PositionsOffTheEarthAreLeftOutOfEveryDrawingAndCounted)
{
    ScratchDir dir;
    fs::create_directories(dir / "dut");
    const std::string motorola = ReadFile(RealFile("motorola-t805.log"));
    WriteFile(dir / "reference.txt", motorola);
    WriteFile(dir / "dut" / "high.txt", WithAltitudes(motorola, {{"212622", "200000.0"}}));
    for (const fs::path& log_path : {dir / "reference.txt", dir / "dut" / "high.txt"}) {
        const RunResult r =
            Navsift({"-vel", log_path.string(), "-speedpath", log_path.parent_path().string() + "/"}, dir.path());
        ASSERT_EQ(r.status, 0) << r.err;
        if (log_path.filename() == "high.txt") {
            EXPECT_NE(r.err.find("1 epochs with a position off the earth have no record"), std::string::npos)
                << r.err;
        }
    }
    // Damaged records: the heights of the 11th and 12th records made inf.
    std::string bytes = ReadFile(dir / "dut" / "high.vel");
    const std::string inf("\0\0\0\0\0\0\xf0\x7f", 8);
    for (const std::size_t k : {10u, 11u}) {
        bytes.replace(navsift::kVelHeaderSize + k * navsift::kVelRecordSize + 40, 8, inf);
    }
    WriteFile(dir / "dut" / "high.vel", bytes);
    const VelFile high = LoadVel(dir / "dut" / "high.vel");
    ASSERT_EQ(high.records.size(), 14u);
    int off = 0;
    for (const VelRecord& rec : high.records) {
        off += std::isinf(rec.height) || rec.height == 200000.0 ? 1 : 0;
    }
    ASSERT_EQ(off, 2);

    RunResult r = Navsift({"-p", (dir / "dut").string(), "-kml"}, dir.path());
    ASSERT_EQ(r.status, 0) << r.err;
    const std::string kml = ReadFile(dir / "dut" / "positions.kml");
    EXPECT_EQ(XmlProblem(dir / "dut" / "positions.kml"), "");
    EXPECT_EQ(kml.find(",200000."), std::string::npos);
    EXPECT_EQ(kml.find("inf"), std::string::npos);
    EXPECT_NE(r.out.find("2 records with a position off the earth dropped"), std::string::npos) << r.out;
    const int drawn = GpsbabelTrackPoints(dir / "dut" / "positions.kml", dir.path());
    if (drawn >= 0) {
        EXPECT_EQ(drawn, 12);
    }

    r = Navsift({"-compare", (dir / "dut").string(), "-ref", (dir / "reference.vel").string(), "-hth", "10",
                 "-turntime", "3", "-vth", "1"},
                dir.path());
    ASSERT_EQ(r.status, 0) << r.err;
    const fs::path out = dir / "dut" / "compare_10_3_1";
    const std::string classes = ReadFile(out / "compare_positions.kml");
    EXPECT_EQ(XmlProblem(out / "compare_positions.kml"), "");
    EXPECT_EQ(classes.find(",200000."), std::string::npos);
    EXPECT_EQ(classes.find("inf"), std::string::npos);
    EXPECT_NE(r.out.find("2 positions off the earth left out of"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("records with a position off the earth dropped"), std::string::npos) << r.out;
    // Both files' classified seconds, less the two damaged positions.
    int classified = 0;
    for (const char* cls : {"straight", "turning", "accelerating", "stop"}) {
        classified += static_cast<int>(TextLines(ReadFile(out / ("compare_" + std::string(cls) + ".csv"))).size()) - 1;
    }
    const int points = GpsbabelTrackPoints(out / "compare_positions.kml", dir.path());
    if (points >= 0) {
        EXPECT_EQ(points, 2 * classified - 2);
    }
}

// compare.csv without a reference writes each position to the millionth of
// a degree, as gpsbabel reads it from the log, not to a tenth (11 km).
TEST(RealLogs, ComparedPositionsKeepSixDecimals)
{
    if (!GpsbabelRuns()) {
        GTEST_SKIP() << "gpsbabel is not available";
    }
    ScratchDir dir;
    fs::create_directories(dir / "dut");
    const std::string motorola = ReadFile(RealFile("motorola-t805.log"));
    WriteFile(dir / "dut" / "a.txt", motorola);
    WriteFile(dir / "dut" / "b.txt", motorola);
    for (const char* name : {"a.txt", "b.txt"}) {
        const RunResult r = Navsift({"-vel", (dir / "dut" / name).string(), "-speedpath", (dir / "dut" / "").string()},
                                    dir.path());
        ASSERT_EQ(r.status, 0) << r.err;
    }
    const RunResult r = Navsift({"-compare", (dir / "dut").string()}, dir.path());
    ASSERT_EQ(r.status, 0) << r.err;
    std::map<uint32_t, BabelPoint> babel;
    for (const BabelPoint& p : BabelNmea(dir / "dut" / "a.txt", dir.path())) {
        babel[GpsSeconds(p.date, p.time)] = p;
    }
    const std::vector<std::string> rows = TextLines(ReadFile(dir / "dut" / "compare.csv"));
    ASSERT_EQ(rows.size(), 1 + 15u);
    for (std::size_t i = 1; i < rows.size(); ++i) {
        // gps timestamp, 2 speeds, 2 headings, 2 latitudes, 2 longitudes, 2 heights
        const std::vector<std::string> c = Split(rows[i], ',');
        ASSERT_EQ(c.size(), 11u);
        const BabelPoint& p = babel.at(static_cast<uint32_t>(std::stoul(c[0])));
        char lat[32], lon[32];
        std::snprintf(lat, sizeof lat, "%.6f", p.latitude);
        std::snprintf(lon, sizeof lon, "%.6f", p.longitude);
        EXPECT_EQ(c[5], lat) << rows[i];
        EXPECT_EQ(c[6], lat) << rows[i];
        EXPECT_EQ(c[7], lon) << rows[i];
        EXPECT_EQ(c[8], lon) << rows[i];
        EXPECT_NEAR(std::stod(c[9]), p.altitude, 1e-6) << rows[i];
    }
}

// -h gives the help as -help does; a progress line names a file of the
// folder itself with one separator before it; a RINEX 3 file (a station's
// file given a later version) is named once however often it is looked at.
TEST(RealLogs, HelpProgressLinesAndOneWordOnRinex3)
{
    ScratchDir dir;
    RunResult help = Navsift({"-help"}, dir.path());
    RunResult h = Navsift({"-h"}, dir.path());
    EXPECT_EQ(h.status, 0) << h.err;
    EXPECT_EQ(h.err, "");
    EXPECT_EQ(h.out, help.out);
    EXPECT_NE(h.out.find("-nmea LOG -kml -name NAME"), std::string::npos) << h.out;

    fs::create_directories(dir / "runs" / "day1");
    fs::copy_file(RealFile("motorola-t805.log"), dir / "drive.txt");
    fs::copy_file(RealFile("motorola-t805.log"), dir / "runs" / "day1" / "drive.txt");
    RunResult r = Navsift({"-nmea", (dir / "drive.txt").string(), "-kml", "-name", "drive"}, dir.path());
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "Processing \\drive.txt ... Nmea File Recognized \n");
    r = Navsift({"-nmea", (dir / "runs" / "").string(), "-kml", "-name", "runs"}, dir.path());
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "Reading the folder " + (dir / "runs" / "").string() +
                         ": 1 log (*.txt) in 1 sub-folder\nProcessing \\day1\\drive.txt ... Nmea File Recognized \n");
    fs::copy_file(RealFile("track-with-less-sec-time.gpx"), dir / "watch.gpx");
    r = Navsift({"-gpx", (dir / "watch.gpx").string(), "-name", "watch"}, dir.path());
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "Processing \\watch.gpx ... ");

    // A file named as the 30 June 2008 file, of RINEX version 3.04.
    fs::create_directories(dir / "rinex");
    std::string rinex3 = ReadFile(RealFile("07590920.05n"));
    ASSERT_EQ(rinex3.substr(0, 9), "     2.10");
    rinex3.replace(0, 9, "     3.04");
    WriteFile(dir / "rinex" / "lab11820.08n", rinex3);
    r = Navsift({"-v", "-u", "1 2 48.1173 11.5167 545", "-e", (dir / "rinex").string()}, dir.path());
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(CountOf(r.err, "RINEX 3"), 1) << r.err;
    EXPECT_NE(r.err.find("RINEX 3 not supported: " + (dir / "rinex" / "lab11820.08n").string()), std::string::npos)
        << r.err;
}

}  // namespace
}  // namespace navsift_test
