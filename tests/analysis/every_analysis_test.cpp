// Every analysis of navsift, run as a user runs it, over logs shaped as real
// receivers write them (tests/data/shapes): what a run writes is compared with
// this test's own reading of the log, and a run that can make nothing of its
// input (a log of another talker, an empty one, a file that is no log) keeps
// the one rule of every run: it says why, naming the talker where another
// talker's positions are what the log holds, leaves no file behind, and ends
// with status 1.
#include <gtest/gtest.h>

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

const fs::path kShapes = fs::path(FIXBENCH_SOURCE_DIR) / "tests/data/shapes";

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
        if (s.f.empty() || s.f[0].size() != 5) {
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
    bool SoundHeight() const { return std::isfinite(height) && std::fabs(height) <= 100000; }
};

// What this test reads in a log: its $GP fixes in order, with the RMC of
// the same second.
struct Facts {
    std::vector<Sent> sentences;
    std::vector<Fix> fixes;  // $GPGGA with a fix, in order
    int gp_gga = 0;
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
        if (s.f[6] == "0" || s.f[6].empty()) {
            continue;
        }
        Fix fix;
        fix.latitude = Angle(s.f[2], s.f[3], 2);
        fix.longitude = Angle(s.f[4], s.f[5], 3);
        fix.height = std::strtod(s.f[9].c_str(), nullptr);
        fix.time = s.f[1].substr(0, 6);
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
    {"drive_no_vtg.txt", Shape::Gp},     {"survey_gn.txt", Shape::OtherTalker}, {"empty.txt", Shape::Empty},
    {"heights_off_earth.txt", Shape::Gp}, {"rmc_first.txt", Shape::Gp},        {"no_line_ends.txt", Shape::Gp},
    {"time_away.gpx", Shape::NotNmea},
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

RunResult Navsift(std::vector<std::string> args, const fs::path& cwd)
{
    args.insert(args.begin(), NavsiftPath());
    return Run(args, cwd);
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
        // Every point drawn is a fix of the log, and every fix with a height
        // on the earth is drawn.
        std::set<std::string> parsed, sound;
        for (const Fix& f : run.facts().fixes) {
            parsed.insert(Key(f.latitude, f.longitude));
            if (f.SoundHeight()) {
                sound.insert(Key(f.latitude, f.longitude));
            }
        }
        const std::string text = ReadFile(kml);
        static const std::regex kPoint("<Point>\r\n<coordinates>([-0-9.]+),([-0-9.]+),");
        std::set<std::string> drawn;
        for (std::sregex_iterator it(text.begin(), text.end(), kPoint), end; it != end; ++it) {
            const std::string key = (*it)[2].str() + "," + (*it)[1].str();
            EXPECT_EQ(parsed.count(key), 1u) << key << " is no fix of the log";
            drawn.insert(key);
        }
        for (const std::string& key : sound) {
            EXPECT_EQ(drawn.count(key), 1u) << "the fix " << key << " is not drawn";
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
        // An epoch's row (one may be lost where its epoch opens with the RMC).
        EXPECT_LE(rows.size(), static_cast<std::size_t>(run.facts().gp_gga));
        EXPECT_GE(rows.size() + 1, static_cast<std::size_t>(run.facts().gp_gga));
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
// VTG's where there is one, else the RMC's.
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
        const std::vector<std::string> rows = Lines(ReadFile(run.dir() / "logs" / "log_speed_heading.csv"));
        ASSERT_EQ(rows.size(), run.facts().fixes.size()) << "a header and a row per epoch after the first";
        const std::vector<VelRow> vel = VelRows(ReadFile(run.dir() / "log.vel"));
        ASSERT_EQ(vel.size(), run.facts().fixes.size() - 1);
        for (std::size_t k = 1; k < run.facts().fixes.size(); ++k) {
            const Fix& fix = run.facts().fixes[k];
            const Sent& rmc = run.facts().rmc_at.at(fix.time);
            const double kmh = std::stod(rmc.f[7]) * 1.852;
            EXPECT_NEAR(vel[k - 1].speed, kmh, 0.05) << fix.time;
            EXPECT_NEAR(vel[k - 1].heading, std::stod(rmc.f[8]), 0.05) << fix.time;
            EXPECT_NEAR(vel[k - 1].latitude, fix.latitude, 1e-7) << fix.time;
            EXPECT_NEAR(vel[k - 1].longitude, fix.longitude, 1e-7) << fix.time;
            char cell[32];
            std::snprintf(cell, sizeof cell, ",%3.1f,", kmh);
            EXPECT_NE(rows[k].find(cell), std::string::npos) << rows[k];
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
                                                 [](const Fix& f) { return f.SoundHeight(); })));
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
// log's first two fixes, its GGA as the results line holds it.
void WriteTtffPair(ShapeRun& run)
{
    std::string results;
    int trial = 0;
    int fix = 0;
    for (const Sent& s : run.facts().sentences) {
        if (s.type == "GGA" && s.f.size() > 6 && s.f[6] != "0" && (fix++ == 2 || fix == 6)) {
            results += std::to_string(20 + trial) + ".00\t% " + std::to_string(trial + 1) + "\t" + s.text + "\r\n";
            ++trial;
        }
    }
    WriteFile(run.dir() / "logs" / "Dev_TTFF_COLD_NMEA_Results.txt", results);
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

// The GPX track: every point is drawn or counted under the reason it was
// left out, and what is drawn is where the file puts it.
TEST(EveryAnalysis, GpxPointsAreDrawnOrCounted)
{
    ShapeRun run(kShapeFiles[6], "track.gpx");
    const std::string text = run.Text();
    static const std::regex kTrkpt("<trkpt lat=\"([-0-9.]+)\" lon=\"([-0-9.]+)\"");
    std::set<std::string> points;
    for (std::sregex_iterator it(text.begin(), text.end(), kTrkpt), end; it != end; ++it) {
        char key[64];
        std::snprintf(key, sizeof key, "%.6f,%.6f", std::stod((*it)[1].str()), std::stod((*it)[2].str()));
        points.insert(key);
    }
    ASSERT_EQ(points.size(), 5u);
    const RunResult r = run.Go({"-gpx", "logs/track.gpx", "-name", "g"});
    ASSERT_EQ(r.status, 0) << r.err;
    const std::string kml = ReadFile(run.dir() / "logs" / "g.kml");
    EXPECT_EQ(XmlProblem(run.dir() / "logs" / "g.kml"), "");
    static const std::regex kPoint("<Point>\r\n<coordinates>([-0-9.]+),([-0-9.]+),");
    std::set<std::string> drawn;
    for (std::sregex_iterator it(kml.begin(), kml.end(), kPoint), end; it != end; ++it) {
        const std::string key = (*it)[2].str() + "," + (*it)[1].str();
        EXPECT_EQ(points.count(key), 1u) << key;
        drawn.insert(key);
    }
    int left_out = 0;
    static const std::regex kLeft("(\\d+) track points? [^\\n]* left out");
    for (std::sregex_iterator it(r.out.begin(), r.out.end(), kLeft), end; it != end; ++it) {
        left_out += std::stoi((*it)[1].str());
    }
    EXPECT_EQ(drawn.size() + static_cast<std::size_t>(left_out), points.size()) << r.out;
}

}  // namespace
}  // namespace navsift_test
