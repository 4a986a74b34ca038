// -gpx through the real navsift on real-shaped tracks: a point takes its
// latitude, longitude, height and time from its own element wherever they
// stand in it, in any order and on any lines, as an XML parser reads them
// (Python's, here), and is left out only for what it lacks, counted under
// that reason.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <set>
#include <tuple>

#include "tests/analysis/navsift_harness.h"

namespace navsift_test {
namespace {

fs::path DataFile(const std::string& name)
{
    return fs::path(FIXBENCH_SOURCE_DIR) / "tests/data" / name;
}

// "hh:mm:ss lon,lat[,ele]" of a point, as the placemarks write it.
using Point = std::string;

// The track points an XML parser finds with a latitude, a longitude and a
// time, their height where they have one.
std::set<Point> ParsedPoints(const fs::path& gpx, const fs::path& work)
{
    const RunResult r = navsift_test::Run(
        {"python3", "-c",
         "import sys, xml.etree.ElementTree as ET\n"
         "for el in ET.parse(sys.argv[1]).getroot().iter():\n"
         "  if el.tag.split('}')[-1] != 'trkpt': continue\n"
         "  kids = {c.tag.split('}')[-1]: (c.text or '').strip() for c in el}\n"
         "  if 'lat' not in el.attrib or 'lon' not in el.attrib or not kids.get('time'): continue\n"
         "  t = kids['time'][11:19]\n"
         "  p = '%.6f,%.6f' % (float(el.attrib['lon']), float(el.attrib['lat']))\n"
         "  if kids.get('ele'): p += ',%.6f' % float(kids['ele'])\n"
         "  print(t, p)\n",
         gpx.string()},
        work);
    EXPECT_EQ(r.status, 0) << r.err;
    std::set<Point> out;
    for (const std::vector<std::string>& row : WordRows(r.out)) {
        if (row.size() == 2) {
            out.insert(row[0] + " " + row[1]);
        }
    }
    return out;
}

// The points the placemarks of a KML document show.
std::set<Point> DrawnPoints(const std::string& kml)
{
    std::set<Point> out;
    const std::string time_cell = "UTC Time: </td><td>";
    for (std::size_t at = kml.find(time_cell); at != std::string::npos; at = kml.find(time_cell, at + 1)) {
        const std::string time = kml.substr(at + time_cell.size(), 8);
        const std::size_t c = kml.find("<coordinates>", at) + 13;
        out.insert(time + " " + kml.substr(c, kml.find("</coordinates>", c) - c));
    }
    return out;
}

// An OsmAnd recording ("<hdop>" between "<ele>" and "<time>"), the same
// recording written on one line, and points laid out every way XML allows.
TEST(GpxReader, EveryPointTakesItsValuesFromItsOwnElementInAnyLayout)
{
    ScratchDir dir;
    const std::string osmand = ReadFile(DataFile("osmand_track.gpx"));
    std::string one_line;
    for (char c : osmand) {
        if (c != '\n') {
            one_line += c;
        }
    }
    WriteFile(dir / "osmand.gpx", osmand);
    WriteFile(dir / "oneline.gpx", one_line);
    WriteFile(dir / "mixed.gpx", ReadFile(DataFile("gpx_mixed_layouts.gpx")));
    for (const char* name : {"osmand", "oneline", "mixed"}) {
        SCOPED_TRACE(name);
        const fs::path gpx = dir / (std::string(name) + ".gpx");
        const RunResult r = Navsift({"-gpx", gpx.string(), "-name", name}, dir.path());
        ASSERT_EQ(r.status, 0) << r.err;
        const fs::path kml = dir / (std::string(name) + ".kml");
        EXPECT_EQ(XmlProblem(kml), "");
        const std::set<Point> parsed = ParsedPoints(gpx, dir.path());
        EXPECT_EQ(DrawnPoints(ReadFile(kml)), parsed);
        if (std::string(name) == "mixed") {
            EXPECT_EQ(parsed.size(), 7u);
            EXPECT_NE(r.out.find("1 track points without latitude or longitude dropped"), std::string::npos) << r.out;
            EXPECT_NE(r.out.find("1 track points without a time left out"), std::string::npos) << r.out;
            EXPECT_NE(r.out.find("1 track points without a height drawn on the ground"), std::string::npos) << r.out;
        } else {
            EXPECT_EQ(parsed.size(), 40u);
            EXPECT_EQ(r.out.find("left out"), std::string::npos) << "no point lacks anything: " << r.out;
            EXPECT_EQ(r.out.find("dropped"), std::string::npos) << r.out;
        }
        const int read_back = GpsbabelTrackPoints(kml, dir.path());
        if (read_back >= 0) {
            // The path holds every drawn point (a track of one point twice).
            EXPECT_GE(read_back, static_cast<int>(parsed.size()));
        }
    }
}

// A height beyond 100 km is a point off the earth, told apart from a point
// without a height, which is drawn on the ground.
TEST(GpxReader, APointOffTheEarthIsLeftOutForThatAndOneWithoutHeightIsDrawn)
{
    ScratchDir dir;
    WriteFile(dir / "t.gpx",
              "<gpx><trk><trkseg>\n"
              "<trkpt lat=\"45.1\" lon=\"13.6\"><time>2026-04-19T10:00:00Z</time><ele>250000</ele></trkpt>\n"
              "<trkpt lat=\"45.1\" lon=\"13.6\"><time>2026-04-19T10:00:01Z</time><ele/></trkpt>\n"
              "<trkpt lat=\"45.1\" lon=\"13.6\"><time>2026-04-19T10:00:02Z</time><ele>12.5</ele></trkpt>\n"
              "</trkseg></trk></gpx>\n");
    const RunResult r = Navsift({"-gpx", (dir / "t.gpx").string(), "-name", "t"}, dir.path());
    ASSERT_EQ(r.status, 0) << r.err;
    const std::set<Point> drawn = DrawnPoints(ReadFile(dir / "t.kml"));
    EXPECT_EQ(drawn, (std::set<Point>{"10:00:01 13.600000,45.100000", "10:00:02 13.600000,45.100000,12.500000"}));
    EXPECT_NE(r.out.find("1 track points with a position off the earth dropped"), std::string::npos)
        << r.out;
    EXPECT_NE(r.out.find("1 track points without a height drawn on the ground"), std::string::npos) << r.out;
}

}  // namespace
}  // namespace navsift_test
