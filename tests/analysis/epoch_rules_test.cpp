// The rules every NMEA analysis takes from the epoch record and its readers,
// checked through the real navsift on real-shaped logs (tests/data) against
// a reading of the same logs made here: an epoch's speed and course from its
// VTG, else its RMC, else none; a position off the earth judged once, when
// its GGA is read; the GPS time of an epoch without "$PQNVTG" from its RMC
// (its sky computed by an independent implementation); every epoch kept
// whatever sentence opens it; and a speed file whose clock steps back.
#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <cstring>
#include <map>
#include <optional>
#include <regex>
#include <set>
#include <sstream>

#include "analysis/core/vel_file.h"
#include "tests/analysis/navsift_harness.h"

namespace navsift_test {
namespace {

fs::path DataFile(const std::string& name)
{
    return fs::path(FIXBENCH_SOURCE_DIR) / "tests/data" / name;
}

// Seconds from 1980-01-06 of a UTC date "ddmmyy" and time "hhmmss[.ss]",
// counted here with the standard calendar.
int64_t GpsSeconds(const std::string& ddmmyy, const std::string& hhmmss)
{
    using namespace std::chrono;
    const year_month_day day{year{2000 + std::stoi(ddmmyy.substr(4, 2))},
                             month{static_cast<unsigned>(std::stoi(ddmmyy.substr(2, 2)))},
                             std::chrono::day{static_cast<unsigned>(std::stoi(ddmmyy.substr(0, 2)))}};
    return (sys_days{day} - sys_days{1980y / January / 6}).count() * 86400 + std::stoi(hhmmss.substr(0, 2)) * 3600 +
           std::stoi(hhmmss.substr(2, 2)) * 60 + std::stoi(hhmmss.substr(4, 2));
}

// What the sentences of a log say, read here field by field.
struct LogEpochRead {
    int64_t utc = 0;  // GPS seconds of the RMC's UTC date and time
    double knots = NAN, course = NAN;
    double latitude = 0, longitude = 0, height = 0;
    bool fix = false;
};

double Degrees(const std::string& field, int degree_digits, const std::string& hemisphere)
{
    const double v = std::stod(field.substr(0, degree_digits)) + std::stod(field.substr(degree_digits)) / 60;
    return hemisphere == "S" || hemisphere == "W" ? -v : v;
}

// The RMCs of a log by their time, with the position of the GGA of the same
// second.
std::map<int64_t, LogEpochRead> ReadLog(const std::string& log)
{
    std::map<std::string, std::vector<std::string>> gga;  // by hhmmss
    std::map<int64_t, LogEpochRead> out;
    for (const std::string& line : TextLines(log)) {
        const std::string body = line.substr(0, line.find('*'));
        const std::vector<std::string> f = Split(body, ',');
        if (f[0] == "$GPGGA") {
            gga[f[1].substr(0, 6)] = f;
        } else if (f[0] == "$GPRMC" && f.size() > 9) {
            LogEpochRead e;
            e.utc = GpsSeconds(f[9], f[1]);
            if (f[2] == "A") {
                e.knots = f[7].empty() ? NAN : std::stod(f[7]);
                e.course = f[8].empty() ? NAN : std::stod(f[8]);
            }
            if (const auto g = gga.find(f[1].substr(0, 6)); g != gga.end() && g->second[6] != "0") {
                const std::vector<std::string>& p = g->second;
                e.fix = true;
                e.latitude = Degrees(p[2], 2, p[3]);
                e.longitude = Degrees(p[4], 3, p[5]);
                e.height = std::stod(p[9]);
            }
            out[e.utc] = e;
        }
    }
    return out;
}

double F64At(const std::string& raw, std::size_t offset)
{
    double v = 0;
    std::memcpy(&v, raw.data() + offset, sizeof v);
    return v;
}

constexpr std::size_t kRaw = 2312;
constexpr double kKmhPerKnot = 1.852;

// A car drive whose receiver sends no VTG: every reader of an epoch's speed
// and course takes the RMC's, in the tracking tables (text, CSV, raw), its
// chart workbook, the KML placemarks and the speed file; a second whose RMC
// tells no speed is an empty cell and NaN, never 0.
TEST(EpochRules, SpeedAndCourseComeFromTheRmcWhereTheLogHasNoVtg)
{
    ScratchDir dir;
    std::string log = ReadFile(DataFile("drive_without_vtg.txt"));
    // One RMC that tells no speed and course (23:55:00).
    const std::regex told(R"(\$(GPRMC,235500\.00,A,[^,]*,[NS],[^,]*,[EW]),[0-9.]+,[0-9.]+,([^*]*)\*[0-9A-F]{2}\r\n)");
    std::smatch m;
    ASSERT_TRUE(std::regex_search(log, m, told));
    log.replace(m.position(0), m.length(0), Sentence(m[1].str() + ",,," + m[2].str()));
    WriteFile(dir / "drive.txt", log);
    const std::map<int64_t, LogEpochRead> rmc = ReadLog(log);

    RunResult r = Navsift({"-nmea", (dir / "drive.txt").string(), "-trk", "-rtype", "-1"}, dir.path());
    ASSERT_EQ(r.status, 0) << r.err;
    const fs::path report = dir / "report" / "tracking_analysis";
    const std::vector<std::string> csv = TextLines(ReadFile(report / "global_info.csv"));
    const std::vector<std::vector<std::string>> txt = WordRows(ReadFile(report / "global_info.txt"));
    const std::string raw = ReadFile(report / "global_info.raw");
    ASSERT_EQ(csv.size(), 958u) << "a header and the 957 epochs with a fix";
    ASSERT_EQ(txt.size(), 957u);
    ASSERT_EQ(raw.size(), 957u * kRaw);
    int moving = 0, untold = 0;
    for (std::size_t k = 1; k < csv.size(); ++k) {
        const std::vector<std::string> c = Split(csv[k], ',');
        ASSERT_EQ(c.size(), 19u) << csv[k];
        const auto it = rmc.find(std::stoll(c[1]));
        ASSERT_NE(it, rmc.end()) << csv[k];
        const std::size_t at = (k - 1) * kRaw;
        if (std::isnan(it->second.knots)) {
            ++untold;
            EXPECT_EQ(c[14], "") << "a speed not told is an empty cell: " << csv[k];
            EXPECT_EQ(txt[k - 1][14], "NaN");
            EXPECT_TRUE(std::isnan(F64At(raw, at + 56)));
            EXPECT_TRUE(std::isnan(F64At(raw, at + 2304)));
            continue;
        }
        const double ms = it->second.knots * kKmhPerKnot / 3.6;
        moving += ms > 1 ? 1 : 0;
        EXPECT_NEAR(std::stod(c[14]), ms, 5e-7) << csv[k];
        EXPECT_NEAR(std::stod(txt[k - 1][14]), ms, 5e-4);
        EXPECT_NEAR(F64At(raw, at + 56), ms, 1e-9);
        EXPECT_NEAR(F64At(raw, at + 2288), it->second.knots * kKmhPerKnot, 1e-9);
        EXPECT_NEAR(F64At(raw, at + 2304), it->second.course, 1e-9);
    }
    EXPECT_EQ(untold, 1);
    EXPECT_GT(moving, 800) << "the drive reads as driving";

    // The speed chart of the workbook holds the same speeds.
    const RunResult points = navsift_test::Run(
        {"python3", "-c",
         "import re,sys,zipfile\n"
         "z=zipfile.ZipFile(sys.argv[1])\n"
         "for n in z.namelist():\n"
         "  x=z.read(n).decode()\n"
         "  if n.startswith('xl/charts/') and '>Speed<' in x:\n"
         "    y=x[x.index('<c:yVal>'):]\n"
         "    y=y[:y.index('</c:yVal>')]\n"
         "    print(' '.join(re.findall(r'<c:v>([^<]*)</c:v>',y)))\n",
         (report / "tracking_analysis_global_info.xlsx").string()},
        dir.path());
    ASSERT_EQ(points.status, 0) << points.err;
    const std::vector<std::vector<std::string>> chart = WordRows(points.out);
    ASSERT_EQ(chart.size(), 1u) << points.out;
    ASSERT_EQ(chart[0].size(), 956u) << "every told speed, the untold one a gap";
    double chart_max = 0, log_max = 0;
    for (const std::string& v : chart[0]) {
        chart_max = std::max(chart_max, std::stod(v));
    }
    for (const auto& [t, e] : rmc) {
        log_max = std::isnan(e.knots) ? log_max : std::max(log_max, e.knots * kKmhPerKnot / 3.6);
    }
    EXPECT_NEAR(chart_max, log_max, 1e-5);

    // Every placemark shows its RMC's speed and course.
    r = Navsift({"-nmea", (dir / "drive.txt").string(), "-kml", "-name", "drive"}, dir.path());
    ASSERT_EQ(r.status, 0) << r.err;
    const std::string kml = ReadFile(dir / "drive.kml");
    // The text of a placemark table cell after `label`.
    const auto cell = [](const std::string& mark, const std::string& label) {
        const std::size_t at = mark.find(label + "</td><td>");
        if (at == std::string::npos) {
            return std::string();
        }
        const std::size_t from = at + label.size() + 9;
        return mark.substr(from, mark.find("</td>", from) - from);
    };
    int marks = 0;
    for (std::size_t at = kml.find("UTC Date: "); at != std::string::npos; at = kml.find("UTC Date: ", at + 1)) {
        const std::string table = kml.substr(at, kml.find("</table>", at) - at);
        ++marks;
        const std::string date = cell(table, "UTC Date: "), time = cell(table, "UTC Time: ");
        const int64_t t = GpsSeconds(date.substr(0, 2) + date.substr(3, 2) + date.substr(8, 2),
                                     time.substr(0, 2) + time.substr(3, 2) + time.substr(6, 2));
        ASSERT_TRUE(rmc.count(t)) << date << " " << time;
        const LogEpochRead& e = rmc.at(t);
        if (std::isnan(e.knots)) {
            EXPECT_EQ(cell(table, "Speed: "), "no speed");
            EXPECT_EQ(cell(table, "Heading: "), "no heading ");
            continue;
        }
        char speed[32], course[32];
        std::snprintf(speed, sizeof speed, "%.1f km/h", e.knots * kKmhPerKnot);
        std::snprintf(course, sizeof course, "%3.1fdeg ", e.course);
        EXPECT_EQ(cell(table, "Speed: "), speed) << time;
        EXPECT_EQ(cell(table, "Heading: "), course) << time;
    }
    EXPECT_EQ(marks, 957) << "one marker per epoch";

    // The speed file: every record its RMC's speed and course.
    r = Navsift({"-vel", (dir / "drive.txt").string(), "-speedpath", (dir.path() / "").string()}, dir.path());
    ASSERT_EQ(r.status, 0) << r.err;
    const std::optional<navsift::VelFile> vel = navsift::VelFile::Load((dir / "drive.vel").string());
    ASSERT_TRUE(vel);
    EXPECT_EQ(vel->records.size(), 956u);
    for (const navsift::VelRecord& rec : vel->records) {
        const LogEpochRead& e = rmc.at(rec.key);
        if (std::isnan(e.knots)) {
            EXPECT_TRUE(std::isnan(rec.speed));
        } else {
            EXPECT_NEAR(rec.speed, e.knots * kKmhPerKnot, 1e-9);
            EXPECT_NEAR(rec.heading, e.course, 1e-9);
        }
    }
}

// GGA heights of 200 km, -150 km, inf and nan, a latitude past 90 and a
// longitude past 180, each with a good checksum: no analysis draws, writes
// or records them, and each run counts what it left out.
TEST(EpochRules, PositionsOffTheEarthAreJudgedOnceAndLeftOutByEveryAnalysis)
{
    ScratchDir dir;
    fs::copy_file(DataFile("heights_off_earth.txt"), dir / "high.txt");
    const std::string log = ReadFile(dir / "high.txt");
    // Read here: the GGAs whose position is on the earth.
    int on_earth = 0, off = 0;
    for (const std::string& line : TextLines(log)) {
        if (!line.starts_with("$GPGGA")) {
            continue;
        }
        const std::vector<std::string> f = Split(line.substr(0, line.find('*')), ',');
        const double lat = Degrees(f[2], 2, f[3]), lon = Degrees(f[4], 3, f[5]), h = std::stod(f[9]);
        const bool good = std::fabs(lat) <= 90 && std::fabs(lon) <= 180 && std::isfinite(h) && std::fabs(h) <= 1e5;
        (good ? on_earth : off) += 1;
    }
    ASSERT_EQ(off, 9);

    RunResult r = Navsift({"-nmea", (dir / "high.txt").string(), "-kml", "-name", "high"}, dir.path());
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(XmlProblem(dir / "high.kml"), "");
    const std::string kml = ReadFile(dir / "high.kml");
    const std::regex point(R"(<coordinates>(-?[0-9.]+),(-?[0-9.]+),([^<]*)</coordinates>)");
    int points = 0;
    for (auto it = std::sregex_iterator(kml.begin(), kml.end(), point); it != std::sregex_iterator(); ++it) {
        ++points;
        const double h = std::stod((*it)[3].str());
        EXPECT_TRUE(std::isfinite(h) && std::fabs(h) < 1000) << (*it)[0];
        EXPECT_LE(std::fabs(std::stod((*it)[2].str())), 90.0);
    }
    EXPECT_EQ(points, on_earth) << "each epoch once";
    EXPECT_EQ(kml.find("inf"), std::string::npos);
    EXPECT_EQ(kml.find("nan"), std::string::npos);
    EXPECT_NE(r.out.find("9 positions off the earth dropped"), std::string::npos) << r.out;
    const int read_back = GpsbabelTrackPoints(dir / "high.kml", dir.path());
    if (read_back >= 0) {
        EXPECT_EQ(read_back, on_earth);
    }

    r = Navsift({"-nmea", (dir / "high.txt").string(), "-trk", "-rtype", "-1"}, dir.path());
    ASSERT_EQ(r.status, 0) << r.err;
    const std::vector<std::string> csv = TextLines(ReadFile(dir / "report/tracking_analysis/global_info.csv"));
    ASSERT_EQ(csv.size(), 121u);
    int no_position = 0;
    for (std::size_t k = 1; k < csv.size(); ++k) {
        const std::vector<std::string> c = Split(csv[k], ',');
        const double h = std::stod(c[5]);
        EXPECT_TRUE(std::isfinite(h) && std::fabs(h) < 1000) << csv[k];
        if (c[6] == "0") {
            ++no_position;
            EXPECT_EQ(c[3] + c[4] + c[5], "0.0000000.0000000.000000") << "no position, never a wrong one: " << csv[k];
        }
    }
    EXPECT_EQ(no_position, 9);
    EXPECT_NE(r.out.find("9 positions off the earth left out"), std::string::npos) << r.out;

    r = Navsift({"-vel", (dir / "high.txt").string(), "-speedpath", (dir.path() / "").string()}, dir.path());
    ASSERT_EQ(r.status, 0) << r.err;
    const std::optional<navsift::VelFile> vel = navsift::VelFile::Load((dir / "high.vel").string());
    ASSERT_TRUE(vel);
    EXPECT_EQ(vel->records.size(), static_cast<std::size_t>(on_earth - 1)) << "all but the first second";
    for (const navsift::VelRecord& rec : vel->records) {
        EXPECT_TRUE(std::isfinite(rec.height) && std::fabs(rec.height) < 1000) << rec.key;
    }
    EXPECT_NE(r.err.find("9 epochs with a position off the earth have no record"), std::string::npos) << r.err;
}

// A log without "$PQNVTG": each epoch's sky is computed at its RMC's time
// (UTC + 15 s) and agrees with an independent implementation; where an
// epoch has no RMC, the visibility table says it has no time, the tables
// leave the count empty, and the run counts those epochs.
TEST(EpochRules, VisibilityOfALogWithoutReceiverTimeTakesTheRmcTime)
{
    ScratchDir dir;
    WriteFile(dir / "drive.txt", ReadFile(DataFile("drive_without_vtg.txt")));
    const std::map<int64_t, LogEpochRead> rmc = ReadLog(ReadFile(dir / "drive.txt"));
    const fs::path rinex = fs::path(FIXBENCH_SOURCE_DIR) / "tests/data/rinex";
    RunResult r = Navsift(
        {"-nmea", (dir / "drive.txt").string(), "-trk", "-rtype", "-1", "-e", rinex.string() + "/"}, dir.path());
    ASSERT_EQ(r.status, 0) << r.err;
    const fs::path report = dir / "report" / "tracking_analysis";
    std::map<int64_t, std::vector<std::string>> rows;  // by GPS second
    for (const auto& entry : fs::directory_iterator(report)) {
        if (entry.is_directory()) {
            for (const std::vector<std::string>& row : WordRows(ReadFile(entry.path() / "sat_visibility.txt"))) {
                ASSERT_EQ(row.size(), 33u);
                rows[std::stoll(row[0])] = row;
            }
        }
    }
    ASSERT_EQ(rows.size(), 957u) << "one row of its own time per epoch";
    // The counts in global_info are those of the rows.
    for (const std::string& line : TextLines(ReadFile(report / "global_info.csv"))) {
        const std::vector<std::string> c = Split(line, ',');
        if (c[0] == "gga msg counter") {
            continue;
        }
        const std::vector<std::string>& row = rows.at(std::stoll(c[1]) + 15);
        EXPECT_EQ(std::stoi(c[13]), std::count(row.begin() + 1, row.end(), "1")) << line;
    }
    // The rows of the new year (the day of the RINEX file), every 20 s,
    // against the independent sky.
    std::string queries;
    std::vector<std::pair<int64_t, int>> asked;
    int k = 0;
    for (const auto& [utc, e] : rmc) {
        const int64_t gps = utc + 15;
        if (!e.fix || gps < GpsSeconds("010118", "000000") || k++ % 20 != 0) {
            continue;
        }
        for (int prn = 1; prn <= 32; ++prn) {
            char q[128];
            std::snprintf(q, sizeof q, "%d %lld %lld %.9f %.9f %.3f\n", prn, static_cast<long long>(gps / 604800),
                          static_cast<long long>(gps % 604800), e.latitude, e.longitude, e.height);
            queries += q;
            asked.emplace_back(gps, prn);
        }
    }
    ASSERT_GT(asked.size(), 600u);
    WriteFile(dir / "queries.txt", queries);
    const fs::path ref = fs::path(FIXBENCH_SOURCE_DIR) / "tests/analysis/gps_orbit_ref.py";
    const RunResult sky = navsift_test::Run(
        {"sh", "-c", "python3 '" + ref.string() + "' '" + (rinex / "brdc0010.18n").string() + "' < queries.txt"},
        dir.path());
    ASSERT_EQ(sky.status, 0) << sky.err;
    const std::vector<std::vector<std::string>> answers = WordRows(sky.out);
    ASSERT_EQ(answers.size(), asked.size());
    int up = 0, compared = 0;
    for (std::size_t i = 0; i < asked.size(); ++i) {
        const auto [gps, prn] = asked[i];
        const std::vector<std::string>& row = rows.at(gps);
        if (answers[i].size() < 10) {
            EXPECT_EQ(row[static_cast<std::size_t>(prn)], "0") << gps << " PRN " << prn;
            continue;
        }
        const double elevation = std::stod(answers[i][9]);
        if (std::fabs(elevation) < 0.05) {
            continue;  // on the horizon: either answer is right
        }
        ++compared;
        up += elevation > 0 ? 1 : 0;
        EXPECT_EQ(row[static_cast<std::size_t>(prn)], elevation > 0 ? "1" : "0") << gps << " PRN " << prn;
    }
    EXPECT_GT(compared, 600);
    EXPECT_GT(up, 150) << "satellites above the horizon at that hour";

    // Three epochs whose RMC was lost: their rows say so.
    std::vector<LogEpoch> epochs = Walk(10, 36000);
    for (int e = 4; e <= 6; ++e) {
        epochs[static_cast<std::size_t>(e)].with_rmc = false;
    }
    fs::create_directories(dir / "lost");
    WriteFile(dir / "lost" / "lost.txt", BuildLog(epochs));
    r = Navsift({"-nmea", (dir / "lost" / "lost.txt").string(), "-trk", "-rtype", "-1", "-e", rinex.string() + "/"},
                dir.path());
    ASSERT_EQ(r.status, 0) << r.err;
    const fs::path lost = dir / "lost" / "report" / "tracking_analysis";
    std::string visibility;
    for (const auto& entry : fs::directory_iterator(lost)) {
        if (entry.is_directory()) {
            visibility += ReadFile(entry.path() / "sat_visibility.txt");
        }
    }
    const std::vector<std::vector<std::string>> vis = WordRows(visibility);
    ASSERT_EQ(vis.size(), 10u) << visibility;
    int no_time = 0;
    for (const std::vector<std::string>& row : vis) {
        if (row[0] == "no") {
            ++no_time;
            EXPECT_EQ(row[1], "time");
            continue;
        }
        EXPECT_EQ(std::stoll(row[0]), GpsSeconds("300608", "100000") + 15 + (&row - &vis[0])) << "the RMC's time";
    }
    EXPECT_EQ(no_time, 3);
    int empty = 0;
    for (const std::string& line : TextLines(ReadFile(lost / "global_info.csv"))) {
        empty += Split(line, ',')[13].empty() ? 1 : 0;
    }
    EXPECT_EQ(empty, 3) << "no count, never 0";
    int not_known = 0;
    for (const std::vector<std::string>& row : WordRows(ReadFile(lost / "global_info.txt"))) {
        not_known += row[13] == "NaN" ? 1 : 0;
    }
    EXPECT_EQ(not_known, 3);
    EXPECT_NE(r.out.find("3 epochs without a GPS time"), std::string::npos) << r.out;
}

// The TTFF analysis takes each epoch's sky at the same time as the tracking
// analysis: the receiver's own time, else the RMC's UTC + 15 s.
TEST(EpochRules, TtffVisibilityOfALogWithoutReceiverTimeTakesTheRmcTime)
{
    ScratchDir dir;
    fs::create_directories(dir / "logs");
    const std::string log = ReadFile(DataFile("drive_without_vtg.txt"));
    WriteFile(dir / "logs" / "Dev_TTFF_COLD_NMEA.txt", log);
    const std::map<int64_t, LogEpochRead> rmc = ReadLog(log);
    // A trial at the fix of 23:59:10 and one at 00:03:20, in the new year.
    std::string results;
    int trial = 0;
    for (const std::string& line : TextLines(log)) {
        if (line.starts_with("$GPGGA,235910.00,") || line.starts_with("$GPGGA,000320.00,")) {
            results += std::to_string(30 + trial) + ".00\t% " + std::to_string(trial + 1) + "\t" + line + "\r\n";
            ++trial;
        }
    }
    ASSERT_EQ(trial, 2);
    WriteFile(dir / "logs" / "Dev_TTFF_COLD_NMEA_Results.txt", results);
    const fs::path rinex = fs::path(FIXBENCH_SOURCE_DIR) / "tests/data/rinex";
    fs::copy(rinex, dir / "rinex");
    const RunResult r = Navsift({"-nmea", "logs/", "-ttff", "-e", "rinex/"}, dir.path());
    ASSERT_EQ(r.status, 0) << r.err;
    const std::vector<std::vector<std::string>> rows = WordRows(ReadFile(
        dir / "logs" / "report" / "ttff_analysis" / "COLD" / "sat_visibility_Dev_TTFF_COLD_NMEA_Results.txt"));
    // One row per epoch read, from the log's first one, in order.
    ASSERT_GT(rows.size(), 400u);
    auto epoch = rmc.begin();
    int up_in_new_year = 0;
    for (const std::vector<std::string>& row : rows) {
        ASSERT_EQ(row.size(), 33u);
        ASSERT_NE(epoch, rmc.end());
        EXPECT_EQ(std::stoll(row[0]), epoch->first + 15) << "the row of the epoch of UTC second " << epoch->first;
        if (epoch->first + 15 >= GpsSeconds("010118", "000000") && epoch->second.fix) {
            up_in_new_year += static_cast<int>(std::count(row.begin() + 1, row.end(), "1"));
        }
        ++epoch;
    }
    EXPECT_GT(up_in_new_year, 0) << "the day of the RINEX file has its sky";

    // Three epochs whose RMC was lost: their rows say so, and the run counts them.
    std::string lost;
    for (const std::string& line : TextLines(log)) {
        if (!line.starts_with("$GPRMC,235300.00,") && !line.starts_with("$GPRMC,235301.00,") &&
            !line.starts_with("$GPRMC,235302.00,")) {
            lost += line + "\r\n";
        }
    }
    WriteFile(dir / "logs" / "Dev_TTFF_COLD_NMEA.txt", lost);
    const RunResult again = Navsift({"-nmea", "logs/", "-ttff", "-e", "rinex/"}, dir.path());
    ASSERT_EQ(again.status, 0) << again.err;
    int no_time = 0;
    for (const std::vector<std::string>& row : WordRows(ReadFile(
             dir / "logs" / "report" / "ttff_analysis" / "COLD" / "sat_visibility_Dev_TTFF_COLD_NMEA_Results.txt"))) {
        no_time += row[0] == "no" ? 1 : 0;
    }
    EXPECT_EQ(no_time, 3);
    EXPECT_NE(again.out.find("Dev_TTFF_COLD_NMEA.txt: 3 epochs without a GPS time"), std::string::npos) << again.out;
}

// A receiver that opens each epoch with its RMC, a fix from the first
// epoch: the tracking tables hold every epoch, the first one too, as they do
// for the same log in GGA order.
TEST(EpochRules, EveryEpochIsKeptWhateverSentenceOpensIt)
{
    ScratchDir dir;
    const std::string log = ReadFile(DataFile("rmc_first_epochs.txt"));
    // The same epochs with the GGA first.
    std::string gga_first;
    std::string pending_rmc;
    for (const std::string& line : TextLines(log)) {
        if (line.starts_with("$GPRMC")) {
            pending_rmc = line + "\r\n";
        } else if (line.starts_with("$GPGGA")) {
            gga_first += line + "\r\n" + pending_rmc;
        } else {
            gga_first += line + "\r\n";
        }
    }
    fs::create_directories(dir / "rmc");
    fs::create_directories(dir / "gga");
    WriteFile(dir / "rmc" / "log.txt", log);
    WriteFile(dir / "gga" / "log.txt", gga_first);
    const std::map<int64_t, LogEpochRead> rmc = ReadLog(log);
    ASSERT_EQ(rmc.size(), 30u);
    for (const char* order : {"rmc", "gga"}) {
        const RunResult r = Navsift({"-nmea", (dir / order / "log.txt").string(), "-trk", "-rtype", "-1"}, dir.path());
        ASSERT_EQ(r.status, 0) << r.err;
        const std::vector<std::string> csv =
            TextLines(ReadFile(dir / order / "report/tracking_analysis/global_info.csv"));
        ASSERT_EQ(csv.size(), 31u) << order << ": a header and 30 epochs";
        std::set<int64_t> times;
        for (std::size_t k = 1; k < csv.size(); ++k) {
            times.insert(std::stoll(Split(csv[k], ',')[1]));
        }
        std::set<int64_t> want;
        for (const auto& [t, e] : rmc) {
            want.insert(t);
        }
        EXPECT_EQ(times, want) << order;
        EXPECT_EQ(CountOf(ReadFile(dir / order / "report/tracking_analysis/global_info.txt"), "\r\n"), 30) << order;
    }
}

// A receiver whose clock is set back mid-log (15:25 then 14:33): the speed
// file's header holds its smallest and largest second, the step back is
// said once with its line, and the comparison finds every record.
TEST(EpochRules, ASpeedFileWhoseTimeStepsBackHoldsItsWholeRange)
{
    ScratchDir dir;
    std::vector<LogEpoch> epochs = Walk(10, 15 * 3600 + 25 * 60);
    const std::vector<LogEpoch> after = Walk(10, 14 * 3600 + 33 * 60);
    epochs.insert(epochs.end(), after.begin(), after.end());
    const std::string log = BuildLog(epochs);
    fs::create_directories(dir / "cmp");
    WriteFile(dir / "clock.txt", log);
    const RunResult r =
        Navsift({"-vel", (dir / "clock.txt").string(), "-speedpath", (dir / "cmp").string() + "/"}, dir.path());
    ASSERT_EQ(r.status, 0) << r.err;
    const std::optional<navsift::VelFile> vel = navsift::VelFile::Load((dir / "cmp" / "clock.vel").string());
    ASSERT_TRUE(vel);
    ASSERT_EQ(vel->records.size(), 19u);
    const uint32_t early = static_cast<uint32_t>(GpsSeconds("300608", "143300"));
    const uint32_t late = static_cast<uint32_t>(GpsSeconds("300608", "152509"));
    EXPECT_EQ(vel->first, early);
    EXPECT_EQ(vel->last, late);
    const std::size_t at = log.find("$GPGGA,143300");
    const int line = 1 + static_cast<int>(std::count(log.begin(), log.begin() + static_cast<std::ptrdiff_t>(at), '\n'));
    EXPECT_EQ(CountOf(r.err, "steps back"), 1) << r.err;
    EXPECT_NE(r.err.find("line " + std::to_string(line) + ": the time steps back from 15:25:09 30/06/2008 to "
                         "14:33:00 30/06/2008"),
              std::string::npos)
        << r.err;

    fs::copy_file(dir / "cmp" / "clock.vel", dir / "cmp" / "copy.vel");
    const RunResult c = Navsift({"-compare", (dir / "cmp").string() + "/"}, dir.path());
    ASSERT_EQ(c.status, 0) << c.out << c.err;
    EXPECT_NE(c.out.find("Compare range from 143300_30062008 to 152509_30062008"), std::string::npos) << c.out;
    EXPECT_EQ(TextLines(ReadFile(dir / "cmp" / "compare.csv")).size(), 20u) << "a header and the 19 records";
}

}  // namespace
}  // namespace navsift_test
