// GPX files written by other programs (the gpxpy project's test files) turned
// into KML by the real navsift and read back by gpsbabel: points without a
// height, times with a zone offset, and files with nothing to draw.
#include <gtest/gtest.h>

#include <sstream>

#include "tests/analysis/navsift_harness.h"

namespace navsift_test {
namespace {

fs::path RealFile(const std::string& name)
{
    return fs::path(FIXBENCH_SOURCE_DIR) / "tests/data/real" / name;
}

// The rows gpsbabel writes as unicsv (times in UTC), less the header, each
// split at its commas; nothing when gpsbabel cannot run.
std::vector<std::vector<std::string>> Babel(const std::string& format, const fs::path& file, const fs::path& work)
{
    const fs::path out = work / "babel.csv";
    fs::remove(out);
    const RunResult r =
        Run({"gpsbabel", "-t", "-i", format, "-f", file.string(), "-o", "unicsv,utc=0", "-F", out.string()}, work);
    std::vector<std::vector<std::string>> rows;
    if (r.status != 0) {
        return rows;
    }
    std::istringstream lines(ReadFile(out));
    std::string line;
    std::getline(lines, line);
    while (std::getline(lines, line)) {
        if (!line.empty() && line.back() == '\r') {
            line.pop_back();
        }
        std::vector<std::string> cells;
        std::stringstream s(line);
        for (std::string cell; std::getline(s, cell, ',');) {
            cells.push_back(cell);
        }
        if (!line.empty() && line.back() == ',') {
            cells.emplace_back();
        }
        rows.push_back(cells);
    }
    return rows;
}

bool GpsbabelRuns()
{
    return Run({"gpsbabel", "-V"}, fs::temp_directory_path()).status == 0;
}

// Each placemark of a point: its UTC date, time and coordinates, in order.
struct Placemark {
    std::string date, time, coordinates;
};
std::vector<Placemark> Placemarks(const std::string& kml)
{
    std::vector<Placemark> out;
    const std::string date_key = "UTC Date: </td><td>", time_key = "UTC Time: </td><td>",
                      coord_key = "<Point>\r\n<coordinates>";
    for (std::size_t at = kml.find(date_key); at != std::string::npos; at = kml.find(date_key, at + 1)) {
        Placemark p;
        p.date = kml.substr(at + date_key.size(), kml.find('<', at + date_key.size()) - at - date_key.size());
        const std::size_t t = kml.find(time_key, at) + time_key.size();
        p.time = kml.substr(t, kml.find('<', t) - t);
        const std::size_t c = kml.find(coord_key, at) + coord_key.size();
        p.coordinates = kml.substr(c, kml.find('<', c) - c);
        out.push_back(p);
    }
    return out;
}

// "2013/05/18" as the placemarks show it.
std::string BabelDate(const std::string& d)
{
    return d.substr(8, 2) + "/" + d.substr(5, 2) + "/" + d.substr(0, 4);
}

// A track of gpsxpy's with heights on its first and last point only: every
// point is drawn, those without a height on the ground, and gpsbabel reads
// back from the KML the points and heights it reads from the GPX.
TEST(RealGpx, PointsWithoutAHeightAreDrawnOnTheGround)
{
    if (!GpsbabelRuns()) {
        GTEST_SKIP() << "gpsbabel is not available";
    }
    ScratchDir dir;
    fs::copy_file(RealFile("first_and_last_elevation.gpx"), dir / "track.gpx");
    const RunResult r = Navsift({"-gpx", (dir / "track.gpx").string(), "-name", "track"}, dir.path());
    ASSERT_EQ(r.status, 0) << r.out << r.err;
    EXPECT_NE(r.out.find("8 track points without a height drawn on the ground"), std::string::npos) << r.out;
    EXPECT_EQ(XmlProblem(dir / "track.kml"), "");

    // No,Latitude,Longitude,Altitude,Date,Time
    const auto gpx = Babel("gpx", dir / "track.gpx", dir.path());
    ASSERT_EQ(gpx.size(), 10u);
    const std::string kml = ReadFile(dir / "track.kml");
    const std::vector<Placemark> marks = Placemarks(kml);
    for (const auto& row : gpx) {
        ASSERT_EQ(row.size(), 6u);
        // lon,lat then the height only where the GPX has one.
        bool found = false;
        for (const Placemark& p : marks) {
            const bool same_point = p.coordinates.rfind(row[2], 0) == 0 &&
                                    p.coordinates.find("," + row[1]) != std::string::npos;
            if (same_point && p.time == row[5] && p.date == BabelDate(row[4])) {
                found = true;
                EXPECT_EQ(std::count(p.coordinates.begin(), p.coordinates.end(), ','), row[3].empty() ? 1 : 2)
                    << p.coordinates;
            }
        }
        EXPECT_TRUE(found) << row[1] << " " << row[2] << " " << row[5];
    }
    // Each of those 8 points is a track of its own: a start and an end marker.
    EXPECT_EQ(CountOf(kml, "<td>Elevation: </td><td>no height</td>"), 16);

    // gpsbabel reads the KML's tracks back: the same points, the same heights.
    const auto back = Babel("kml", dir / "track.kml", dir.path());
    ASSERT_EQ(back.size(), gpx.size());
    for (std::size_t k = 0; k < gpx.size(); ++k) {
        EXPECT_EQ(back[k][1], gpx[k][1]) << k;
        EXPECT_EQ(back[k][2], gpx[k][2]) << k;
        EXPECT_EQ(back[k][3], gpx[k][3]) << k;
    }
}

// A file whose points are all dated 1901 (before GPS time began): nothing
// can be drawn, the run says how many points it left out and why, fails, and
// leaves no empty document behind.
TEST(RealGpx, AFileOfPointsDatedBeforeGpsTimeDrawsNothingAndFails)
{
    ScratchDir dir;
    fs::copy_file(RealFile("Mojstrovka.gpx"), dir / "old.gpx");
    const RunResult r = Navsift({"-gpx", (dir / "old.gpx").string(), "-name", "old"}, dir.path());
    EXPECT_EQ(r.status, 1) << r.out << r.err;
    EXPECT_NE(r.out.find("184 track points dated before 1981 or after 2099 left out"), std::string::npos) << r.out;
    EXPECT_NE(r.err.find((dir / "old.gpx").string() + ": no track point could be drawn"), std::string::npos)
        << r.err;
    EXPECT_FALSE(fs::exists(dir / "old.kml"));
    if (GpsbabelRuns()) {
        const auto gpx = Babel("gpx", dir / "old.gpx", dir.path());
        ASSERT_EQ(gpx.size(), 184u);
        EXPECT_EQ(gpx.front()[4], "1901/12/13");
    }

    // One point of today among them is drawn, and the run succeeds.
    std::string text = ReadFile(dir / "old.gpx");
    const std::size_t first = text.find("1901-12-13T20:45:52");
    ASSERT_NE(first, std::string::npos);
    text.replace(first, 19, "2010-12-14T06:17:04");
    WriteFile(dir / "one.gpx", text);
    const RunResult one = Navsift({"-gpx", (dir / "one.gpx").string(), "-name", "one"}, dir.path());
    EXPECT_EQ(one.status, 0) << one.err;
    EXPECT_NE(one.out.find("183 track points dated before 1981 or after 2099 left out"), std::string::npos);
    // Its start, point and end markers.
    EXPECT_EQ(Placemarks(ReadFile(dir / "one.kml")).size(), 3u);
}

// A sports watch's times carry a zone offset ("+01:00"): they are shown in
// UTC, as gpsbabel reads them, also where the offset moves them into
// another day and year.
TEST(RealGpx, TimesWithAZoneOffsetAreShownInUtc)
{
    if (!GpsbabelRuns()) {
        GTEST_SKIP() << "gpsbabel is not available";
    }
    ScratchDir dir;
    fs::copy_file(RealFile("track-with-less-sec-time.gpx"), dir / "watch.gpx");
    std::string shifted = ReadFile(dir / "watch.gpx");
    for (const auto& [from, to] : {std::pair<std::string, std::string>{"2015-12-11T15:43:13.000+01:00",
                                                                         "2015-12-31T20:00:00-05:30"},
                                   {"2015-12-11T15:43:13.994+01:00", "2015-12-31T20:00:01.5-05:30"}}) {
        const std::size_t at = shifted.find(from);
        ASSERT_NE(at, std::string::npos);
        shifted.replace(at, from.size(), to);
    }
    WriteFile(dir / "west.gpx", shifted);
    for (const std::string name : {"watch", "west"}) {
        const RunResult r = Navsift({"-gpx", (dir / (name + ".gpx")).string(), "-name", name}, dir.path());
        ASSERT_EQ(r.status, 0) << r.err;
        const auto gpx = Babel("gpx", dir / (name + ".gpx"), dir.path());
        ASSERT_EQ(gpx.size(), 2u);
        const std::vector<Placemark> marks = Placemarks(ReadFile(dir / (name + ".kml")));
        ASSERT_FALSE(marks.empty());
        for (const Placemark& p : marks) {
            bool found = false;
            for (const auto& row : gpx) {
                // gpsbabel keeps the fraction of a second; the placemarks do not.
                found = found || (p.date == BabelDate(row[4]) && p.time == row[5].substr(0, 8));
            }
            EXPECT_TRUE(found) << name << ": " << p.date << " " << p.time;
        }
        EXPECT_EQ(marks.front().time, gpx.front()[5].substr(0, 8));
    }
    // The track folder is named in GPS time (UTC + 15 s).
    EXPECT_NE(ReadFile(dir / "watch.kml").find("<name>TRK_11/12/2015_14:43:28</name>"), std::string::npos);
    EXPECT_NE(ReadFile(dir / "west.kml").find("<name>TRK_01/01/2016_01:30:15</name>"), std::string::npos);
}

}  // namespace
}  // namespace navsift_test
