// Every analysis of navsift, run as a user runs it, over logs shaped as real
// receivers write them (tests/data/shapes): what a run writes is compared with
// this test's own reading of the log, and a run that can make nothing of its
// input (a log of another talker, an empty one, a file that is no log) keeps
// the one rule of every run: it says why, naming the talker where another
// talker's positions are what the log holds, leaves no file behind, and ends
// with status 1.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <functional>
#include <map>
#include <regex>
#include <set>
#include <sstream>

#include "tests/analysis/navsift_harness.h"

namespace navsift_test {
namespace {

const fs::path kShapes = fs::path(FIXBENCH_SOURCE_DIR) / "tests/data";

// ------------------------------------------------------------ this test's reading

struct Sent {
    std::string talker;  // "GP", "GN", ...
    std::string type;    // "GGA", "RMC", ...
    std::vector<std::string> f;  // f[0] is the address
    std::string text;            // "$...*hh" without line end
};

// The sentences whose checksum holds, cut at "$" whatever the line ends.
std::vector<Sent> ReadSentences(const std::string& log)
{
    std::vector<Sent> out;
    std::size_t at = log.find('$');
    while (at != std::string::npos) {
        const std::size_t next = log.find('$', at + 1);
        std::string piece = log.substr(at, next == std::string::npos ? std::string::npos : next - at);
        while (!piece.empty() && (piece.back() == '\n' || piece.back() == '\r')) {
            piece.pop_back();
        }
        at = next;
        const std::size_t star = piece.find('*');
        if (star == std::string::npos || star + 3 != piece.size()) {
            continue;
        }
        unsigned sum = 0;
        for (std::size_t k = 1; k < star; ++k) {
            sum ^= static_cast<unsigned char>(piece[k]);
        }
        if (std::strtoul(piece.substr(star + 1).c_str(), nullptr, 16) != sum) {
            continue;
        }
        Sent s;
        s.text = piece;
        std::stringstream fields(piece.substr(1, star - 1));
        for (std::string f; std::getline(fields, f, ',');) {
            s.f.push_back(f);
        }
        if (piece[star - 1] == ',') {
            s.f.push_back("");
        }
        // Any address: a maker's long one ("PSTMANTENNASTATUS") is a
        // sentence like the others.
        if (s.f.empty() || s.f[0].size() < 3) {
            continue;
        }
        s.talker = s.f[0].substr(0, 2);
        s.type = s.f[0].substr(2);
        out.push_back(std::move(s));
    }
    return out;
}

double Angle(const std::string& text, const std::string& hemisphere, int degree_digits)
{
    if (text.size() < static_cast<std::size_t>(degree_digits)) {
        return NAN;
    }
    const double v = std::stod(text.substr(0, degree_digits)) + std::stod(text.substr(degree_digits)) / 60.0;
    return hemisphere == "S" || hemisphere == "W" ? -v : v;
}

struct Fix {
    double latitude = 0, longitude = 0, height = 0;
    std::string time;  // hhmmss
    // A position on the earth: what every analysis takes as a fix.
    bool OnTheEarth() const
    {
        return std::fabs(latitude) <= 90 && std::fabs(longitude) <= 180 && std::isfinite(height) &&
               std::fabs(height) <= 100000;
    }
};

// What this test reads in a log: its $GP fixes in order, with the RMC of
// the same second.
struct Facts {
    std::vector<Sent> sentences;
    std::vector<Fix> fixes;  // $GPGGA with a fix on the earth, in order
    int off_the_earth = 0;   // $GPGGA with a fix whose position is off the earth
    std::vector<std::string> off_the_earth_times;
    int gp_gga = 0;
    // The times of every $GPGGA in order, and the index among them of the
    // first one with a fix on the earth (-1 when none): the analyses that
    // read epochs start there.
    std::vector<std::string> gga_times;
    int first_fix_gga = -1;
    std::set<std::string> position_talkers;
    std::map<std::string, Sent> rmc_at;  // $GPRMC by hhmmss
    std::size_t bytes = 0;
};

Facts Read(const std::string& log)
{
    Facts facts;
    facts.bytes = log.size();
    facts.sentences = ReadSentences(log);
    for (const Sent& s : facts.sentences) {
        if (s.type == "GGA" || s.type == "RMC") {
            facts.position_talkers.insert(s.talker);
        }
        if (s.talker != "GP") {
            continue;
        }
        if (s.type == "RMC" && s.f.size() > 9) {
            facts.rmc_at[s.f[1].substr(0, 6)] = s;
        }
        if (s.type != "GGA" || s.f.size() < 10) {
            continue;
        }
        ++facts.gp_gga;
        facts.gga_times.push_back(s.f[1].substr(0, 6));
        if (s.f[6] == "0" || s.f[6].empty()) {
            continue;
        }
        Fix fix;
        fix.latitude = Angle(s.f[2], s.f[3], 2);
        fix.longitude = Angle(s.f[4], s.f[5], 3);
        fix.height = std::strtod(s.f[9].c_str(), nullptr);
        fix.time = s.f[1].substr(0, 6);
        if (!fix.OnTheEarth()) {
            ++facts.off_the_earth;
            facts.off_the_earth_times.push_back(fix.time);
            continue;
        }
        if (facts.first_fix_gga < 0) {
            facts.first_fix_gga = facts.gp_gga - 1;
        }
        facts.fixes.push_back(fix);
    }
    return facts;
}

// "lat,lon" to six decimals, as KML and the tables write them.
std::string Key(double latitude, double longitude)
{
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.6f,%.6f", latitude, longitude);
    return buf;
}

std::vector<std::string> Lines(const std::string& text)
{
    std::vector<std::string> out;
    std::stringstream in(text);
    for (std::string line; std::getline(in, line);) {
        if (!line.empty() && line.back() == '\r') {
            line.pop_back();
        }
        if (!line.empty()) {
            out.push_back(line);
        }
    }
    return out;
}

// The .vel file's records as (second, speed, heading, latitude, longitude).
struct VelRow {
    uint32_t second;
    double speed, heading, latitude, longitude;
};
std::vector<VelRow> VelRows(const std::string& bytes)
{
    std::vector<VelRow> out;
    for (std::size_t at = 8; at + 48 <= bytes.size(); at += 48) {
        VelRow r;
        std::memcpy(&r.second, bytes.data() + at, 4);
        std::memcpy(&r.speed, bytes.data() + at + 8, 8);
        std::memcpy(&r.heading, bytes.data() + at + 16, 8);
        std::memcpy(&r.latitude, bytes.data() + at + 24, 8);
        std::memcpy(&r.longitude, bytes.data() + at + 32, 8);
        out.push_back(r);
    }
    return out;
}

// ------------------------------------------------------------ the shapes

struct Shape {
    const char* file;
    enum Kind { Gp, OtherTalker, Empty, NotNmea } kind;
};

constexpr Shape kShapeFiles[] = {
    {"shapes/drive_no_vtg.txt", Shape::Gp},
    {"shapes/survey_gn.txt", Shape::OtherTalker},
    {"shapes/empty.txt", Shape::Empty},
    {"shapes/heights_off_earth.txt", Shape::Gp},
    {"shapes/rmc_first.txt", Shape::Gp},
    {"shapes/no_line_ends.txt", Shape::Gp},
    {"shapes/time_away.gpx", Shape::NotNmea},
    {"drive_without_vtg.txt", Shape::Gp},
    {"heights_off_earth.txt", Shape::Gp},
    {"rmc_first_epochs.txt", Shape::Gp},
    {"no_line_ends.txt", Shape::Gp},
    {"osmand_track.gpx", Shape::NotNmea},
    {"gpx_mixed_layouts.gpx", Shape::NotNmea},
};

// Why a log gave an NMEA analysis nothing, as the run must say it.
std::string NmeaReason(const Shape& shape)
{
    switch (shape.kind) {
    case Shape::OtherTalker: return "no $GP sentence: its positions come from the $GN talker";
    case Shape::Empty: return "it is empty";
    case Shape::NotNmea: return "it holds no NMEA sentence";
    default: return "";
    }
}

// One analysis over one shape, in a folder of its own.
class ShapeRun {
public:
    explicit ShapeRun(const Shape& shape, const std::string& as = "log.txt") : shape_(shape), name_(as)
    {
        text_ = ReadFile(kShapes / shape.file);
        facts_ = Read(text_);
        fs::create_directories(dir_ / "logs");
        WriteFile(dir_ / "logs" / name_, text_);
    }

    const Facts& facts() const { return facts_; }
    const Shape& shape() const { return shape_; }
    const fs::path& dir() const { return dir_.path(); }
    std::string Log() const { return "logs/" + name_; }
    const std::string& Text() const { return text_; }

    RunResult Go(const std::vector<std::string>& args)
    {
        before_ = FolderDigest(dir_.path());
        result_ = Navsift(args, dir_.path());
        return result_;
    }

    // The run made nothing: its reason said, status 1, no file left.
    void ExpectNothing(const std::string& reason, const std::string& what)
    {
        SCOPED_TRACE(std::string(shape_.file) + " " + what);
        EXPECT_EQ(result_.status, 1) << result_.out << result_.err;
        EXPECT_NE(result_.err.find(reason), std::string::npos) << "no \"" << reason << "\" in:\n" << result_.err;
        EXPECT_EQ(FolderDigest(dir_.path()), before_) << "a run that made nothing left files";
    }

private:
    Shape shape_;
    std::string name_;
    std::string text_;
    Facts facts_;
    ScratchDir dir_;
    std::string before_;
    RunResult result_;
};

// ------------------------------------------------------------ positions

TEST(EveryAnalysis, KmlTracksHoldTheLogsOwnFixes)
{
    for (const Shape& shape : kShapeFiles) {
        ShapeRun run(shape);
        const RunResult r = run.Go({"-nmea", run.Log(), "-kml", "-name", "track"});
        if (run.facts().fixes.empty()) {
            run.ExpectNothing(NmeaReason(shape), "-kml");
            continue;
        }
        SCOPED_TRACE(shape.file);
        ASSERT_EQ(r.status, 0) << r.err;
        const fs::path kml = run.dir() / "logs" / "track.kml";
        EXPECT_EQ(XmlProblem(kml), "");
        // Every point drawn is a fix of the log on the earth, and every such
        // fix is drawn.
        std::set<std::string> parsed;
        for (const Fix& f : run.facts().fixes) {
            parsed.insert(Key(f.latitude, f.longitude));
        }
        const std::string text = ReadFile(kml);
        static const std::regex kPoint("<Point>\r\n<coordinates>([-0-9.]+),([-0-9.]+),");
        std::set<std::string> drawn;
        for (std::sregex_iterator it(text.begin(), text.end(), kPoint), end; it != end; ++it) {
            const std::string key = (*it)[2].str() + "," + (*it)[1].str();
            EXPECT_EQ(parsed.count(key), 1u) << key << " is no fix of the log";
            drawn.insert(key);
        }
        for (const std::string& key : parsed) {
            EXPECT_EQ(drawn.count(key), 1u) << "the fix " << key << " is not drawn";
        }
        if (run.facts().off_the_earth > 0) {
            EXPECT_NE(r.out.find(std::to_string(run.facts().off_the_earth) + " positions off the earth"),
                      std::string::npos)
                << "the run counts what it left out:\n" << r.out;
        }
    }
}

TEST(EveryAnalysis, TrackingTablesRowEveryGgaEpoch)
{
    for (const Shape& shape : kShapeFiles) {
        ShapeRun run(shape);
        const RunResult r = run.Go({"-nmea", run.Log(), "-trk", "-rtype", "-1"});
        if (run.facts().gp_gga == 0) {
            run.ExpectNothing(NmeaReason(shape), "-trk");
            continue;
        }
        SCOPED_TRACE(shape.file);
        ASSERT_EQ(r.status, 0) << r.err;
        const std::vector<std::vector<std::string>> rows =
            WordRows(ReadFile(run.dir() / "logs" / "report" / "tracking_analysis" / "global_info.txt"));
        // An epoch's row, whatever sentence opens the epoch, from the
        // epoch of the first fix on (from the log's start when it has none).
        const int first = std::max(run.facts().first_fix_gga, 0);
        EXPECT_EQ(rows.size(), static_cast<std::size_t>(run.facts().gp_gga - first));
        std::set<std::string> parsed;
        for (const Fix& f : run.facts().fixes) {
            parsed.insert(Key(f.latitude, f.longitude));
        }
        for (const std::vector<std::string>& row : rows) {
            ASSERT_GE(row.size(), 7u);
            if (row[6] != "0") {
                EXPECT_EQ(parsed.count(row[3] + "," + row[4]), 1u) << row[3] << "," << row[4];
            }
        }
    }
}

// The speed and course of every epoch after the first fix, in km/h: the
// VTG's where there is one, else the RMC's. The table has a row for every
// epoch (it holds no position, and an epoch whose position was refused still
// told its speed); the .vel file a record for every fix on the earth.
TEST(EveryAnalysis, SpeedTablesAndVelFilesHoldEveryEpochAfterTheFirstFix)
{
    for (const Shape& shape : kShapeFiles) {
        ShapeRun run(shape);
        const RunResult r = run.Go({"-vel", run.Log(), "-speedpath", (run.dir() / "").string()});
        if (run.facts().fixes.size() < 2) {
            run.ExpectNothing(NmeaReason(shape), "-vel");
            continue;
        }
        SCOPED_TRACE(shape.file);
        ASSERT_EQ(r.status, 0) << r.err;
        const Facts& facts = run.facts();
        const std::vector<std::string> rows = Lines(ReadFile(run.dir() / "logs" / "log_speed_heading.csv"));
        const std::size_t first = static_cast<std::size_t>(facts.first_fix_gga);
        ASSERT_EQ(rows.size(), facts.gga_times.size() - first) << "a header and a row per epoch after the first fix";
        for (std::size_t k = 1; k < rows.size(); ++k) {
            const std::string& time = facts.gga_times[first + k];
            const auto rmc = facts.rmc_at.find(time);
            ASSERT_NE(rmc, facts.rmc_at.end()) << time;
            ASSERT_EQ(rows[k].substr(0, 9), time.substr(0, 2) + ":" + time.substr(2, 2) + ":" + time.substr(4, 2) + ",");
            // time,date,gpstime,speed,heading: the speed to its one
            // decimal (a VTG's km/h may round the other way than the RMC's
            // knots), none where the receiver did not tell it.
            std::vector<std::string> cells;
            std::stringstream in(rows[k]);
            for (std::string c; std::getline(in, c, ',');) {
                cells.push_back(c);
            }
            ASSERT_GE(cells.size(), 4u) << rows[k];
            if (rmc->second.f[2] == "A") {
                EXPECT_NEAR(std::stod(cells[3]), std::stod(rmc->second.f[7]) * 1.852, 0.06) << rows[k];
            } else {
                EXPECT_EQ(cells[3], "") << rows[k];
            }
        }
        const std::vector<VelRow> vel = VelRows(ReadFile(run.dir() / "log.vel"));
        ASSERT_EQ(vel.size(), facts.fixes.size() - 1);
        if (facts.off_the_earth > 0) {
            EXPECT_NE(r.err.find(std::to_string(facts.off_the_earth) + " epochs with a position off the earth"),
                      std::string::npos)
                << "the run counts what it left out:\n" << r.err;
        }
        for (std::size_t k = 1; k < facts.fixes.size(); ++k) {
            const Fix& fix = facts.fixes[k];
            const Sent& rmc = facts.rmc_at.at(fix.time);
            const double kmh = std::stod(rmc.f[7]) * 1.852;
            EXPECT_NEAR(vel[k - 1].speed, kmh, 0.05) << fix.time;
            EXPECT_NEAR(vel[k - 1].heading, std::stod(rmc.f[8]), 0.05) << fix.time;
            EXPECT_NEAR(vel[k - 1].latitude, fix.latitude, 1e-7) << fix.time;
            EXPECT_NEAR(vel[k - 1].longitude, fix.longitude, 1e-7) << fix.time;
        }
    }
}

// The .vel files a log gives, drawn, compared and merged; a log that gives
// none leaves those runs a folder without a .vel file.
TEST(EveryAnalysis, VelFileAnalysesOfEachLog)
{
    for (const Shape& shape : kShapeFiles) {
        ShapeRun run(shape);
        fs::create_directories(run.dir() / "vel");
        Navsift({"-vel", run.Log(), "-speedpath", (run.dir() / "vel" / "").string()}, run.dir());
        const std::size_t records = VelRows(fs::exists(run.dir() / "vel" / "log.vel")
                                                ? ReadFile(run.dir() / "vel" / "log.vel")
                                                : std::string()).size();
        RunResult r = run.Go({"-p", "vel/", "-kml"});
        if (records == 0) {
            run.ExpectNothing("produced nothing from vel/", "-p");
            EXPECT_NE(r.out.find("Reading the folder vel/: no vel files (*.vel)"), std::string::npos) << r.out;
            r = run.Go({"-compare", "vel/"});
            run.ExpectNothing("no vel files in vel/", "-compare");
            continue;
        }
        SCOPED_TRACE(shape.file);
        ASSERT_EQ(r.status, 0) << r.err;
        EXPECT_EQ(CountOf(ReadFile(run.dir() / "vel" / "positions.kml"), "<Point>"),
                  static_cast<int>(std::count_if(run.facts().fixes.begin() + 1, run.facts().fixes.end(),
                                                 [](const Fix& f) { return f.OnTheEarth(); })));
        fs::copy_file(run.dir() / "vel" / "log.vel", run.dir() / "vel" / "copy.vel");
        r = run.Go({"-compare", "vel/"});
        ASSERT_EQ(r.status, 0) << r.err;
        EXPECT_EQ(Lines(ReadFile(run.dir() / "vel" / "compare.csv")).size(), records + 1);
        fs::create_directories(run.dir() / "merged");
        r = run.Go({"-merge", "-heading", "vel/log.vel", "-speed", "vel/copy.vel", "-out", "merged/"});
        ASSERT_EQ(r.status, 0) << r.err;
        std::size_t merged = 0;
        for (const fs::directory_entry& e : fs::directory_iterator(run.dir() / "merged")) {
            merged += VelRows(ReadFile(e.path())).size();
        }
        EXPECT_EQ(merged, records);
    }
}

// ------------------------------------------------------------ the bench's folders

// A TTFF log of the bench with its results file: a trial at each of the
// given fixes of the log, its GGA as the results line holds it.
void WriteTtffTrials(ShapeRun& run, const std::vector<std::string>& fix_times)
{
    std::string results;
    int trial = 0;
    for (const std::string& time : fix_times) {
        for (const Sent& s : run.facts().sentences) {
            if (s.type == "GGA" && s.f.size() > 1 && s.f[1].substr(0, 6) == time) {
                results += std::to_string(20 + trial) + ".00\t% " + std::to_string(trial + 1) + "\t" + s.text + "\r\n";
                ++trial;
                break;
            }
        }
    }
    WriteFile(run.dir() / "logs" / "Dev_TTFF_COLD_NMEA_Results.txt", results);
}

// A trial at each of the log's third and sixth fix on the earth; in a log
// of another talker, at its third and sixth GGA with a fix.
void WriteTtffPair(ShapeRun& run)
{
    std::vector<std::string> fix_times;
    for (const Fix& f : run.facts().fixes) {
        fix_times.push_back(f.time);
    }
    if (fix_times.empty()) {
        for (const Sent& s : run.facts().sentences) {
            if (s.type == "GGA" && s.f.size() > 6 && s.f[6] != "0" && !s.f[6].empty()) {
                fix_times.push_back(s.f[1].substr(0, 6));
            }
        }
    }
    std::vector<std::string> times;
    for (std::size_t k : {2u, 5u}) {
        if (k < fix_times.size()) {
            times.push_back(fix_times[k]);
        }
    }
    WriteTtffTrials(run, times);
}

TEST(EveryAnalysis, TtffFolderRunsFindEachTrialsFixInTheLog)
{
    for (const char* analysis : {"-ttff", ""}) {
        for (const Shape& shape : kShapeFiles) {
            ShapeRun run(shape, "Dev_TTFF_COLD_NMEA.txt");
            WriteTtffPair(run);
            std::vector<std::string> args = {"-nmea", "logs/"};
            if (*analysis != '\0') {
                args.push_back(analysis);
            }
            const RunResult r = run.Go(args);
            if (run.facts().fixes.empty()) {
                run.ExpectNothing(shape.kind == Shape::OtherTalker ? NmeaReason(shape) : "no trial line",
                                  std::string("-nmea logs/ ") + analysis);
                continue;
            }
            SCOPED_TRACE(std::string(shape.file) + " " + analysis);
            ASSERT_EQ(r.status, 0) << r.err;
            EXPECT_NE(r.out.find("Reading the folder logs/: 2 logs (*.txt)\n"), std::string::npos) << r.out;
            const std::vector<std::vector<std::string>> lines = WordRows(ReadFile(
                run.dir() / "logs" / "report" / "ttff_analysis" / "COLD" / "fix_info_Dev_TTFF_COLD_NMEA_Results.txt"));
            // The trials at the log's third and sixth fix: the second within
            // the first one's 12 epochs, and found all the same.
            ASSERT_EQ(lines.size(), 2u);
            for (std::size_t k = 0; k < lines.size(); ++k) {
                ASSERT_EQ(lines[k].size(), 39u);
                const Fix& fix = run.facts().fixes[k == 0 ? 2 : 5];
                EXPECT_EQ(lines[k][3] + "," + lines[k][4], Key(fix.latitude, fix.longitude)) << "trial " << k + 1;
            }
        }
    }
}

// A trial whose fix GGA reports a position off the earth has no fix there:
// its line is marked as not found rather than filled from the refused
// position, and the trials around it keep their fixes.
TEST(EveryAnalysis, TtffTrialsAtAPositionOffTheEarthAreNotFound)
{
    for (const Shape& shape : kShapeFiles) {
        ShapeRun run(shape, "Dev_TTFF_COLD_NMEA.txt");
        if (run.facts().off_the_earth_times.empty()) {
            continue;
        }
        SCOPED_TRACE(shape.file);
        const std::vector<Fix>& fixes = run.facts().fixes;
        const std::string& off = run.facts().off_the_earth_times.front();
        // A trial before it, and one a few fixes after it.
        const auto after = std::find_if(fixes.begin(), fixes.end(), [&](const Fix& f) { return f.time > off; });
        ASSERT_GE(fixes.end() - after, 4);
        ASSERT_LT(fixes[1].time, off);
        const Fix& later = after[2];
        WriteTtffTrials(run, {fixes[1].time, off, later.time});
        const RunResult r = run.Go({"-nmea", "logs/", "-ttff"});
        ASSERT_EQ(r.status, 0) << r.err;
        const std::vector<std::vector<std::string>> lines = WordRows(ReadFile(
            run.dir() / "logs" / "report" / "ttff_analysis" / "COLD" / "fix_info_Dev_TTFF_COLD_NMEA_Results.txt"));
        ASSERT_EQ(lines.size(), 3u);
        for (const std::vector<std::string>& line : lines) {
            ASSERT_EQ(line.size(), 39u);
        }
        EXPECT_EQ(lines[0][3] + "," + lines[0][4], Key(fixes[1].latitude, fixes[1].longitude));
        EXPECT_EQ(lines[1][2], "-1") << "trial 2 is marked as not found";
        EXPECT_EQ(lines[1][3] + "," + lines[1][4], "0.000000,0.000000");
        EXPECT_EQ(lines[2][3] + "," + lines[2][4], Key(later.latitude, later.longitude));
        // Said as what it is: the fix GGA is there, off the earth.
        const std::string hms = off.substr(0, 2) + ":" + off.substr(2, 2) + ":" + off.substr(4, 2);
        EXPECT_NE(r.err.find("trial 2: fix time " + hms + " is a GGA with a position off the earth, no fix"),
                  std::string::npos)
            << r.err;
        // And counted among the epochs the run left out, at least that one.
        const std::size_t told = r.out.find(" positions off the earth left out");
        ASSERT_NE(told, std::string::npos) << r.out;
        const std::size_t from = r.out.rfind(' ', told - 1) + 1;
        EXPECT_GE(std::stoi(r.out.substr(from, told - from)), 1) << r.out;
    }
}

TEST(EveryAnalysis, StartupFolderRunsNeedPowerUpTrials)
{
    // None of the shapes is a power-up test: a GGA without a fix followed by
    // the receiver's "$PQNVTG" time.
    for (const Shape& shape : kShapeFiles) {
        ShapeRun run(shape);
        run.Go({"-nmea", "logs/", "-startup"});
        run.ExpectNothing("no trials found", "-startup");
        if (shape.kind != Shape::Gp) {
            run.ExpectNothing(NmeaReason(shape), "-startup");
        }
    }
}

TEST(EveryAnalysis, RenamedLogsTakeTheTimeOfTheirFirstFix)
{
    for (const Shape& shape : kShapeFiles) {
        ShapeRun run(shape);
        const RunResult r = run.Go({"-rename", "-nmea", "logs/"});
        if (run.facts().fixes.empty()) {
            run.ExpectNothing(NmeaReason(shape), "-rename");
            continue;
        }
        SCOPED_TRACE(shape.file);
        ASSERT_EQ(r.status, 0) << r.err;
        const Fix& first = run.facts().fixes.front();
        const Sent& rmc = run.facts().rmc_at.at(first.time);
        const std::string name = "NMEALOG_" + rmc.f[9] + "_" + first.time + ".txt";
        EXPECT_EQ(ReadFile(run.dir() / "logs" / name), run.Text()) << name;
        EXPECT_FALSE(fs::exists(run.dir() / "logs" / "log.txt"));
    }
}

TEST(EveryAnalysis, ResultListsTakeTheirGpsGgaLines)
{
    for (const Shape& shape : kShapeFiles) {
        ShapeRun run(shape);
        std::string list;
        int trial = 0;
        for (const Sent& s : run.facts().sentences) {
            if (s.type == "GGA") {
                list += "35.2\t% " + std::to_string(++trial) + "\t" + s.text + "\r\n";
            }
        }
        WriteFile(run.dir() / "logs" / "list.txt", list);
        const RunResult r = run.Go({"-results", "logs/list.txt", "-date", "30062008"});
        if (run.facts().gp_gga == 0) {
            run.ExpectNothing(list.empty() ? "it is empty" : NmeaReason(shape), "-results");
            continue;
        }
        SCOPED_TRACE(shape.file);
        ASSERT_EQ(r.status, 0) << r.err;
        const std::vector<std::string> rows = Lines(ReadFile(run.dir() / "logs" / "list.csv"));
        ASSERT_EQ(rows.size(), static_cast<std::size_t>(run.facts().gp_gga));
        EXPECT_EQ(rows[0].substr(0, 7), "35.2,1,");
    }
}

// ------------------------------------------------------------ one log, one answer

TEST(EveryAnalysis, TimeStepsNeedTheReceiversOwnTime)
{
    for (const Shape& shape : kShapeFiles) {
        ShapeRun run(shape);
        const RunResult r = run.Go({"-nmea", run.Log(), "-time"});
        // Said once, not as a warning on every epoch.
        run.ExpectNothing(shape.kind == Shape::Gp ? "no \"$PQNVTG\" sentence" : NmeaReason(shape), "-time");
        EXPECT_EQ(r.out.find("GPSTimeGap"), std::string::npos) << r.out;
    }
}

TEST(EveryAnalysis, ConvertedLogsHoldEverySentenceOnItsLine)
{
    for (const Shape& shape : kShapeFiles) {
        ShapeRun run(shape);
        const RunResult r = run.Go({"-conv", run.Log(), "-o", "out.txt"});
        if (run.facts().sentences.empty()) {
            run.ExpectNothing(NmeaReason(shape), "-conv");
            continue;
        }
        SCOPED_TRACE(shape.file);
        ASSERT_EQ(r.status, 0) << r.err;
        const std::vector<std::string> lines = Lines(ReadFile(run.dir() / "out.txt"));
        ASSERT_EQ(lines.size(), run.facts().sentences.size());
        for (std::size_t k = 0; k < lines.size(); ++k) {
            EXPECT_EQ(lines[k], run.facts().sentences[k].text);
        }
    }
}

TEST(EveryAnalysis, TheSearchFindsItsWordOrSaysThatNoLineHoldsIt)
{
    for (const Shape& shape : kShapeFiles) {
        ShapeRun run(shape);
        const RunResult r = run.Go({run.Log(), "GGA"});
        // A line is read in pieces of at most 2047 bytes.
        int holding = 0;
        const std::string& text = run.Text();
        for (std::size_t at = 0; at < text.size();) {
            const std::size_t lf = text.find('\n', at);
            const std::size_t end = std::min(lf == std::string::npos ? text.size() : lf + 1, at + 2047);
            holding += text.substr(at, end - at).find("GGA") != std::string::npos ? 1 : 0;
            at = end;
        }
        if (holding == 0) {
            run.ExpectNothing("no line holds \"GGA\"", "search");
        } else {
            SCOPED_TRACE(shape.file);
            EXPECT_EQ(r.status, 0) << r.err;
            EXPECT_EQ(CountOf(r.out, "00:00:00 on 00/00/0000> "), holding);
        }
        // Satellite lines begin with their number: no log has one.
        run.Go({run.Log(), "GGA", "-c"});
        run.ExpectNothing("no satellite line", "-c");
    }
}

TEST(EveryAnalysis, InputsOfAnotherKindAreNamedWithWhatTheyLack)
{
    for (const Shape& shape : kShapeFiles) {
        ShapeRun run(shape);
        run.Go({"-d", run.Log()});
        run.ExpectNothing(shape.kind == Shape::Empty ? "it is empty" : "not a debug log: no \"KALMAN \" block marker",
                          "-d");
        run.Go({"-d", run.Log(), "-r"});
        run.ExpectNothing("no satellite chart (satdata/satNN_CN0.emf) beside it", "-d -r");
        run.Go({"-size", "-b1", run.Log(), "-b2", run.Log()});
        run.ExpectNothing(shape.kind == Shape::Empty ? "it is empty" : "no \"Image component sizes\" listing", "-size");
        run.Go({"-excel", run.Log()});
        run.ExpectNothing("unsupported workbook format", "-excel");
        run.Go({"-binary", run.Log()});
        run.ExpectNothing("no block found", "-binary");
        if (shape.kind != Shape::NotNmea) {
            run.Go({"-gpx", run.Log(), "-name", "g"});
            run.ExpectNothing("no track point could be drawn", "-gpx");
        }
    }
}

// The GPX tracks: every point is drawn or counted under the reason it was
// left out, and what is drawn is where the file puts it.
TEST(EveryAnalysis, GpxPointsAreDrawnOrCounted)
{
    for (const Shape& shape : kShapeFiles) {
        if (shape.kind != Shape::NotNmea) {
            continue;
        }
        SCOPED_TRACE(shape.file);
        ShapeRun run(shape, "track.gpx");
        const std::string text = run.Text();
        // A point's latitude and longitude are attributes of its start tag,
        // in either order, quoted either way, on any of its lines.
        static const std::regex kLat("\\blat\\s*=\\s*[\"']([-0-9.]+)[\"']");
        static const std::regex kLon("\\blon\\s*=\\s*[\"']([-0-9.]+)[\"']");
        std::set<std::string> points;
        int elements = 0;
        for (std::size_t at = text.find("<trkpt"); at != std::string::npos; at = text.find("<trkpt", at + 1)) {
            ++elements;
            const std::string tag = text.substr(at, text.find('>', at) - at);
            std::smatch lat, lon;
            if (std::regex_search(tag, lat, kLat) && std::regex_search(tag, lon, kLon)) {
                points.insert(Key(std::stod(lat[1].str()), std::stod(lon[1].str())));
            }
        }
        ASSERT_GT(elements, 0);
        const RunResult r = run.Go({"-gpx", "logs/track.gpx", "-name", "g"});
        ASSERT_EQ(r.status, 0) << r.err;
        const std::string kml = ReadFile(run.dir() / "logs" / "g.kml");
        EXPECT_EQ(XmlProblem(run.dir() / "logs" / "g.kml"), "");
        static const std::regex kPoint("<Point>\r\n<coordinates>([-0-9.]+),([-0-9.]+)[,<]");
        // The track's first and last points are drawn again as its start and
        // end: the places drawn, each once. (No two points of these files
        // share a place.)
        std::set<std::string> drawn;
        for (std::sregex_iterator it(kml.begin(), kml.end(), kPoint), end; it != end; ++it) {
            const std::string key = (*it)[2].str() + "," + (*it)[1].str();
            EXPECT_EQ(points.count(key), 1u) << key;
            drawn.insert(key);
        }
        int left_out = 0;
        static const std::regex kLeft("(\\d+) track points? [^\\n]* (left out|dropped)");
        for (std::sregex_iterator it(r.out.begin(), r.out.end(), kLeft), end; it != end; ++it) {
            left_out += std::stoi((*it)[1].str());
        }
        EXPECT_EQ(static_cast<int>(drawn.size()) + left_out, elements) << r.out;
    }
}

}  // namespace
}  // namespace navsift_test
