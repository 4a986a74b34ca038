// GPX tracks to KML, the small log commands (-conv, -rename, -results,
// -nmea -time) and the debug-log search, run as a user runs navsift.
#include <algorithm>
#include <gtest/gtest.h>

#include <sstream>

#include "tests/analysis/navsift_harness.h"

namespace navsift_test {
namespace {

std::string Trkpt(double lat, double lon, double ele, const std::string& time)
{
    char buf[256];
    std::snprintf(buf, sizeof buf, "<trkpt lat=\"%.6f\" lon=\"%.6f\"><ele>%.1f</ele><time>%s</time></trkpt>\n", lat,
                  lon, ele, time.c_str());
    return buf;
}

std::string Gpx(const std::string& points)
{
    return "<?xml version=\"1.0\"?>\n<gpx version=\"1.1\" creator=\"lab\">\n<trk><trkseg>\n" + points +
           "</trkseg></trk>\n</gpx>\n";
}

// The styles of the placemarks in document order ("S00", "P00", ...).
std::vector<std::string> Markers(const std::string& kml)
{
    std::vector<std::string> out;
    const std::string key = "</name>\r\n<styleUrl>#";
    for (std::size_t at = kml.find(key); at != std::string::npos; at = kml.find(key, at + 1)) {
        out.push_back(kml.substr(at + key.size(), 3));
    }
    return out;
}

TEST(GpxToKml, TracksMarkersTimesAndGaps)
{
    ScratchDir dir;
    WriteFile(dir / "ref.gpx", Gpx(Trkpt(48.1173, 11.5167, 545.0, "2008-06-30T10:00:00Z") +
                                   Trkpt(48.1174, 11.5169, 545.5, "2008-06-30T10:00:01Z") +
                                   // lon before lat, and a fraction of a second
                                   "<trkpt lon=\"11.517100\" lat=\"48.117500\"><ele>546.0</ele>"
                                   "<time>2008-06-30T10:00:02.400Z</time></trkpt>\n"));
    RunResult r = Navsift({"-gpx", (dir / "ref.gpx").string(), "-name", "ref"}, dir.path());
    ASSERT_EQ(r.status, 0) << r.err;
    const std::string kml = ReadFile(dir / "ref.kml");
    EXPECT_EQ(XmlProblem(dir / "ref.kml"), "");
    EXPECT_EQ(kml, ReadFile(fs::path(FIXBENCH_SOURCE_DIR) / "tests/analysis/golden" / "gpx_track.kml"));
    EXPECT_EQ(CountOf(kml, "<name>TRK_30/06/2008_10:00:15</name>"), 1);
    EXPECT_EQ(Markers(kml), (std::vector<std::string>{"S00", "P00", "P00", "P00", "E00", "L01"}));
    EXPECT_NE(kml.find("<td>UTC Time: </td><td>10:00:00</td>"), std::string::npos);
    EXPECT_NE(kml.find("<td>UTC Time: </td><td>10:00:02</td>"), std::string::npos);
    EXPECT_NE(kml.find("<td>Latitude: </td><td>48 7.038 N</td>"), std::string::npos) << kml;
    // The path holds each point once.
    const std::size_t path = kml.find("<LineString>");
    ASSERT_NE(path, std::string::npos);
    EXPECT_EQ(CountOf(kml.substr(path), "\r\n11.5"), 3);

    // GPSBabel reading the same GPX finds the same points.
    const RunResult babel =
        navsift_test::Run({"gpsbabel", "-t", "-i", "gpx", "-f", "ref.gpx", "-o", "unicsv", "-F", "babel.csv"}, dir.path());
    if (babel.status != 0) {
        GTEST_SKIP() << "gpsbabel is not available: " << babel.err;
    }
    std::istringstream csv(ReadFile(dir / "babel.csv"));
    std::string line;
    std::getline(csv, line);  // column names
    int points = 0;
    while (std::getline(csv, line)) {
        double lat = 0, lon = 0;
        int no = 0;
        ASSERT_EQ(std::sscanf(line.c_str(), "%d,%lf,%lf", &no, &lat, &lon), 3) << line;
        char coord[64];
        std::snprintf(coord, sizeof coord, "<coordinates>%.6f,%.6f,", lon, lat);
        EXPECT_NE(kml.find(coord), std::string::npos) << coord;
        ++points;
    }
    EXPECT_EQ(points, 3);
}

TEST(GpxToKml, AMinuteAndASecondApartAndPointsLeftOut)
{
    ScratchDir dir;
    WriteFile(dir / "gap.gpx", Gpx(Trkpt(1, 2, 3, "2008-06-30T10:00:00Z") + Trkpt(1, 2, 3, "2008-06-30T10:01:01Z") +
                                   Trkpt(1, 2, 3, "2008-06-30T10:02:01Z")));
    RunResult r = Navsift({"-gpx", (dir / "gap.gpx").string(), "-name", "gap"}, dir.path());
    ASSERT_EQ(r.status, 0) << r.err;
    std::string kml = ReadFile(dir / "gap.kml");
    EXPECT_EQ(CountOf(kml, "<name>TRK_"), 2);  // 61 s starts a track, 60 s does not

    // <ele> on the next line is read, and so is one two lines on; a point
    // without latitude is counted; southern and western points say so.
    WriteFile(dir / "odd.gpx",
              Gpx("<trkpt lat=\"-33.5\" lon=\"-70.25\">\n<ele>10</ele>\n<time>2008-06-30T10:00:00Z</time>\n</trkpt>\n"
                  "<trkpt lat=\"-33.6\" lon=\"-70.25\">\n\n<ele>10</ele><time>2008-06-30T10:00:01Z</time>\n</trkpt>\n"
                  "<trkpt lon=\"-70.25\"><ele>10</ele><time>2008-06-30T10:00:02Z</time></trkpt>\n" +
                  Trkpt(-33.7, -70.25, 10, "2008-06-30T10:00:03Z")));
    r = Navsift({"-gpx", (dir / "odd.gpx").string(), "-name", "odd"}, dir.path());
    ASSERT_EQ(r.status, 0) << r.err;
    kml = ReadFile(dir / "odd.kml");
    EXPECT_EQ(CountOf(kml, "<coordinates>-70.250000,-33.600000,10.000000</coordinates>"), 1);
    EXPECT_EQ(CountOf(kml, "<coordinates>-70.250000,-33.500000,"), 2);
    EXPECT_NE(kml.find("<td>33 30.000 S</td>"), std::string::npos) << kml;
    EXPECT_NE(kml.find("<td> 70 15.000 W</td>"), std::string::npos);
    EXPECT_NE(r.out.find("1 track points without latitude or longitude dropped"), std::string::npos) << r.out;

    // A folder without GPX files: its sub-folders' ".txt" files are read.
    fs::create_directories(dir / "runs" / "day1");
    WriteFile(dir / "runs" / "day1" / "a.txt", Gpx(Trkpt(1, 2, 3, "2008-06-30T10:00:00Z")));
    r = Navsift({"-gpx", (dir / "runs").string() + "/", "-name", "all"}, dir.path());
    ASSERT_EQ(r.status, 0) << r.err;
    kml = ReadFile(dir / "runs" / "all.kml");
    EXPECT_NE(kml.find("<name>day1</name>"), std::string::npos);
    EXPECT_EQ(XmlProblem(dir / "runs" / "all.kml"), "");

    // A file that is not there is an error, never a walk of its folder.
    r = Navsift({"-gpx", (dir / "missing.gpx").string(), "-name", "none"}, dir.path());
    EXPECT_EQ(r.status, 1);
    EXPECT_FALSE(fs::exists(dir / "none.kml"));
}

// The distinct one-point <coordinates> of the placemarks, in order of first
// appearance (a point's marker and the point itself show it twice).
std::vector<std::string> Coordinates(const std::string& kml)
{
    std::vector<std::string> out;
    const std::string key = "<coordinates>";
    for (std::size_t at = kml.find(key); at != std::string::npos; at = kml.find(key, at + 1)) {
        const std::string c = kml.substr(at, kml.find("</coordinates>", at) - at);
        if (c.find('\n') == std::string::npos && std::find(out.begin(), out.end(), c) == out.end()) {
            out.push_back(c);
        }
    }
    return out;
}

TEST(GpxToKml, AnyLineLengthAndAnyLineEndGiveTheSamePoints)
{
    ScratchDir dir;
    std::string points;
    for (int k = 0; k < 300; ++k) {
        char time[32];
        std::snprintf(time, sizeof time, "2008-06-30T10:%02d:%02dZ", k / 60, k % 60);
        points += Trkpt(48.1 + k * 1e-5, 11.5 + k * 2e-5, 500 + k, time);
    }
    const std::string lf = Gpx(points);
    std::string one_line, cr, crlf;
    for (const char c : lf) {
        if (c == '\n') {
            cr += '\r';
            crlf += "\r\n";
        } else {
            one_line += c;
            cr += c;
            crlf += c;
        }
    }
    ASSERT_GT(one_line.size(), 20000u) << "far longer than any line buffer";
    std::vector<std::string> expected;
    for (const auto& [name, text] : std::vector<std::pair<std::string, std::string>>{
             {"lf", lf}, {"one_line", one_line}, {"cr", cr}, {"crlf", crlf}}) {
        WriteFile(dir / (name + ".gpx"), text);
        const RunResult r = Navsift({"-gpx", (dir / (name + ".gpx")).string(), "-name", name}, dir.path());
        ASSERT_EQ(r.status, 0) << name << r.err;
        const std::vector<std::string> got = Coordinates(ReadFile(dir / (name + ".kml")));
        EXPECT_EQ(got.size(), 300u) << name;
        if (expected.empty()) {
            expected = got;
        }
        EXPECT_EQ(got, expected) << name;
    }
    ASSERT_EQ(expected.size(), 300u);
    EXPECT_NE(expected.back().find("11.505980,48.102990,"), std::string::npos) << expected.back();

    // GPSBabel reads the file without line breaks to the same points.
    const RunResult babel = navsift_test::Run(
        {"gpsbabel", "-t", "-i", "gpx", "-f", "one_line.gpx", "-o", "unicsv", "-F", "babel.csv"}, dir.path());
    if (babel.status != 0) {
        GTEST_SKIP() << "gpsbabel is not available: " << babel.err;
    }
    std::istringstream csv(ReadFile(dir / "babel.csv"));
    std::string line;
    std::getline(csv, line);
    std::size_t k = 0;
    while (std::getline(csv, line) && k < expected.size()) {
        double lat = 0, lon = 0;
        int no = 0;
        ASSERT_EQ(std::sscanf(line.c_str(), "%d,%lf,%lf", &no, &lat, &lon), 3) << line;
        char coord[64];
        std::snprintf(coord, sizeof coord, "<coordinates>%.6f,%.6f,", lon, lat);
        EXPECT_EQ(expected[k++].rfind(coord, 0), 0u) << coord;
    }
    EXPECT_EQ(k, 300u);
}

// Each placemark's UTC time and coordinates, in document order.
std::vector<std::pair<std::string, std::string>> TimedPoints(const std::string& kml)
{
    std::vector<std::pair<std::string, std::string>> out;
    const std::string time_key = "UTC Time: </td><td>", coord_key = "<Point>\r\n<coordinates>";
    for (std::size_t at = kml.find(time_key); at != std::string::npos; at = kml.find(time_key, at + 1)) {
        const std::size_t c = kml.find(coord_key, at) + coord_key.size();
        out.emplace_back(kml.substr(at + time_key.size(), 8), kml.substr(c, kml.find(',', kml.find(',', c) + 1) - c));
    }
    return out;
}

// A GPX file written on one line, as some loggers write it: a track point
// without a time has no time (it is left out), and the point
// after it keeps its own time and place.
TEST(GpxToKml, APointWithoutATimeTakesNoOtherPointsTimeOnOneLine)
{
    ScratchDir dir;
    std::string points;
    for (int k = 0; k < 6; ++k) {
        char time[32];
        std::snprintf(time, sizeof time, "2008-06-30T10:00:%02dZ", k);
        std::string p = Trkpt(48.1 + k * 1e-4, 11.5 + k * 1e-4, 500, time);
        if (k == 2) {
            p = p.substr(0, p.find("<time>")) + "</trkpt>\n";
        }
        points += p;
    }
    std::string one_line = Gpx(points);
    std::erase(one_line, '\n');
    WriteFile(dir / "one.gpx", one_line);
    const RunResult r = Navsift({"-gpx", (dir / "one.gpx").string(), "-name", "one"}, dir.path());
    ASSERT_EQ(r.status, 0) << r.err;
    std::vector<std::pair<std::string, std::string>> got = TimedPoints(ReadFile(dir / "one.kml"));
    // Start, point markers from the first to the last, end.
    got.erase(std::unique(got.begin(), got.end()), got.end());
    const std::vector<std::pair<std::string, std::string>> want = {{"10:00:00", "11.500000,48.100000"},
                                                                   {"10:00:01", "11.500100,48.100100"},
                                                                   {"10:00:03", "11.500300,48.100300"},
                                                                   {"10:00:04", "11.500400,48.100400"},
                                                                   {"10:00:05", "11.500500,48.100500"}};
    EXPECT_EQ(got, want);

    // GPSBabel reads the same five timed points (and the one without time).
    const RunResult babel = navsift_test::Run(
        {"gpsbabel", "-t", "-i", "gpx", "-f", "one.gpx", "-o", "unicsv", "-F", "babel.csv"}, dir.path());
    if (babel.status != 0) {
        GTEST_SKIP() << "gpsbabel is not available: " << babel.err;
    }
    EXPECT_EQ(CountOf(ReadFile(dir / "babel.csv"), "\n"), 7) << ReadFile(dir / "babel.csv");
}

TEST(GpxToKml, PositionsOffTheEarthAreDroppedAndCounted)
{
    ScratchDir dir;
    WriteFile(dir / "bad.gpx", Gpx(Trkpt(48.1, 11.5, 500, "2008-06-30T10:00:00Z") +
                                   "<trkpt lat=\"1e300\" lon=\"11.5\"><ele>1</ele><time>2008-06-30T10:00:01Z</time></trkpt>\n"
                                   "<trkpt lat=\"95.5\" lon=\"11.5\"><ele>1</ele><time>2008-06-30T10:00:02Z</time></trkpt>\n"
                                   "<trkpt lat=\"48.1\" lon=\"400\"><ele>1</ele><time>2008-06-30T10:00:03Z</time></trkpt>\n"
                                   "<trkpt lat=\"nan\" lon=\"11.5\"><ele>1</ele><time>2008-06-30T10:00:04Z</time></trkpt>\n" +
                                   Trkpt(-90, 180, 500, "2008-06-30T10:00:05Z")));
    const RunResult r = Navsift({"-gpx", (dir / "bad.gpx").string(), "-name", "bad"}, dir.path());
    ASSERT_EQ(r.status, 0) << r.err;
    const std::string kml = ReadFile(dir / "bad.kml");
    EXPECT_EQ(XmlProblem(dir / "bad.kml"), "");
    EXPECT_EQ(Coordinates(kml).size(), 2u) << kml;
    EXPECT_EQ(kml.find("2147483648"), std::string::npos);
    EXPECT_EQ(kml.find("nan"), std::string::npos);
    EXPECT_NE(r.out.find("3 track points with a position off the earth dropped"), std::string::npos)
        << r.out;
    EXPECT_NE(r.out.find("1 track points without latitude or longitude dropped"), std::string::npos) << r.out;
}

TEST(LogCommands, ConversionOneSentenceALineAndRegrouped)
{
    ScratchDir dir;
    // A sentence broken over two lines is joined where its checksum holds;
    // every sentence ends its line, the last one too.
    WriteFile(dir / "in.txt", "junk$GPGGA,1*00\r\n$GPRMC,2\n*55$PQNVTG,3*22\r$GPGSA,4*33");
    RunResult r = Navsift({"-conv", "in.txt", "-o", "out.txt"}, dir.path());
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(ReadFile(dir / "out.txt"), "$GPGGA,1*00\r\n$GPRMC,2*55\r\n$PQNVTG,3*22\r\n$GPGSA,4*33\r\n");
    EXPECT_NE(r.out.find("Converted Sentences: 4\r"), std::string::npos);

    r = Navsift({"-conv", "in.txt"}, dir.path());
    EXPECT_EQ(r.status, 2);
    r = Navsift({"-conv", "in.txt", "-o", "./in.txt"}, dir.path());
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(ReadFile(dir / "in.txt").substr(0, 4), "junk");

    const std::string rmc1 = Sentence("GPRMC,100000.00,A,4055.0481,N,01140.0000,E,0.0,0.0,300608,,");
    const std::string rmc2 = Sentence("GPRMC,100001.00,A,4055.0481,N,01140.0000,E,0.0,0.0,300608,,");
    const std::string gga3 = Sentence("GPGGA,100000.00,4055.048,N,01140.0000,E,1,08,0.9,5.0,M,46.9,M,,");
    const std::string gga4 = Sentence("GPGGA,100000.00,4055.0481,N,01140.0000,E,1,08,0.9,5.0,M,46.9,M,,");
    const std::string gsa = Sentence("GPGSA,A,3,04,05,,,,,,,,,,,2.5,1.3,2.1");
    const std::string other = Sentence("GPZDA,100000.00,30,06,2008,,");
    WriteFile(dir / "g.txt", "x" + rmc1 + gga3 + gga4 + gsa + other + rmc1 + gga4 + rmc2 + gsa);
    r = Navsift({"-conv", "g.txt", "-ctype", "1"}, dir.path());
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, rmc1 + gga4 + gsa + rmc2 + gsa);
}

TEST(LogCommands, AFileWithoutAnySentenceIsNotConverted)
{
    // A binary debug log given by mistake: "$" bytes, but no sentence.
    ScratchDir dir;
    std::string binary;
    for (int k = 0; k < 20000; ++k) {
        binary += static_cast<char>((k * 7919 + k / 13) % 256);
    }
    binary += "$\x01\x02$GP\x80GA,";
    WriteFile(dir / "bin.dat", binary);
    RunResult r = Navsift({"-conv", "bin.dat", "-o", "out.txt"}, dir.path());
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("bin.dat: it holds no NMEA sentence; nothing converted"), std::string::npos) << r.err;
    EXPECT_FALSE(fs::exists(dir / "out.txt"));
    r = Navsift({"-conv", "bin.dat", "-ctype", "1"}, dir.path());
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, "");

    // One sentence among the bytes is enough to convert.
    WriteFile(dir / "mixed.dat", binary + "$GPGGA,1*00\r\n");
    r = Navsift({"-conv", "mixed.dat", "-o", "out.txt"}, dir.path());
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_NE(ReadFile(dir / "out.txt").find("$GPGGA,1*00"), std::string::npos);
}

// An AIS receiver's log ("!AIVDM" lines, no "$") given to -conv: the
// reader's 2047-byte pieces of it are no sentences, even where one happens
// to begin with "AIVDM,".
TEST(LogCommands, AnAisLogHoldsNoSentenceAndPiecesOfTextAreNotConverted)
{
    ScratchDir dir;
    const std::string line = "!AIVDM,1,1,,B,15MvqR0P00G?pdDE`>o<0?vN0<0k,0*4B\r\n";
    // The first line's length puts a "!" at byte 2046, so that the second
    // piece begins "AIVDM,".
    const std::size_t lines_before = 2000 / line.size();
    const std::size_t first = 2046 - lines_before * line.size();
    std::string ais = "!AIVDM,1,1,,A," + std::string(first - 21, '1') + ",0*00\r\n";
    ASSERT_EQ(ais.size(), first);
    for (int k = 0; k < 1400; ++k) {
        ais += line;
    }
    ASSERT_EQ(ais.substr(2047, 6), "AIVDM,");
    WriteFile(dir / "ais.txt", ais);
    RunResult r = Navsift({"-conv", "ais.txt", "-o", "out.txt"}, dir.path());
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("ais.txt: it holds no NMEA sentence; nothing converted"), std::string::npos) << r.err;
    EXPECT_EQ(r.out.find("Converted Sentences"), std::string::npos) << r.out;
    EXPECT_FALSE(fs::exists(dir / "out.txt"));
    r = Navsift({"-conv", "ais.txt", "-ctype", "1"}, dir.path());
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, "");

    // A line far longer than a sentence between two sentences is no part of
    // either.
    const std::string gga = Sentence("GPGGA,100000.00,4055.0481,N,01140.0000,E,1,08,0.9,5.0,M,46.9,M,,");
    const std::string rmc = Sentence("GPRMC,100000.00,A,4055.0481,N,01140.0000,E,0.0,0.0,300608,,");
    WriteFile(dir / "long.txt", gga + std::string(3000, 'A') + "\r\n" + rmc);
    r = Navsift({"-conv", "long.txt", "-o", "out.txt"}, dir.path());
    ASSERT_EQ(r.status, 0) << r.err;
    const std::string out = ReadFile(dir / "out.txt");
    EXPECT_EQ(out, gga + rmc);
    EXPECT_NE(r.out.find("Converted Sentences: 2\r"), std::string::npos);
    EXPECT_EQ(r.out.find("Converted Sentences: 3\r"), std::string::npos);
}

TEST(LogCommands, RenameByFirstFixTimeNeverOverwrites)
{
    ScratchDir dir;
    fs::create_directories(dir / "logs" / "sub");
    std::vector<LogEpoch> epochs = Walk(8, 6 * 3600 + 41 * 60 + 5);
    for (LogEpoch& e : epochs) {
        e.date = "081226";
    }
    WriteFile(dir / "logs" / "first run.txt", BuildLog(epochs));
    WriteFile(dir / "logs" / "second.txt", BuildLog(epochs));  // the same time
    WriteFile(dir / "logs" / "notes.txt", "not a log\n");
    const RunResult r = Navsift({"-rename", "-nmea", (dir / "logs").string() + "/"}, dir.path());
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(fs::exists(dir / "logs" / "NMEALOG_081226_064105.txt"));
    EXPECT_TRUE(fs::exists(dir / "logs" / "notes.txt"));
    EXPECT_TRUE(fs::exists(dir / "logs" / "sub"));
    EXPECT_NE(r.out.find("target exists, not renamed"), std::string::npos) << r.out;
    // Both logs are still there, one of them under its old name.
    EXPECT_EQ(fs::exists(dir / "logs" / "first run.txt") + fs::exists(dir / "logs" / "second.txt"), 1);
}

TEST(LogCommands, ResultListsAndTimeSteps)
{
    ScratchDir dir;
    WriteFile(dir / "res.txt", "35.2\t% 3\t" + Sentence("GPGGA,100000.00,4807.038,N,01131.000,E,1,08,0.9,545.4,M,,M,,") +
                                   "no result here\n" + "12.25\t% 4\t" +
                                   Sentence("GPGGA,100005.00,4807.038,N,01131.000,E,1,08,0.9,545.4,M,,M,,"));
    RunResult r = Navsift({"-results", "res.txt", "-date", "30062008"}, dir.path());
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(ReadFile(dir / "res.csv"), "35.2,3,898855200\n12.2,4,898855205\n");
    r = Navsift({"-results", "res.csv", "-date", "30062008"}, dir.path());
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(ReadFile(dir / "res.csv"), "35.2,3,898855200\n12.2,4,898855205\n");

    // Steps of the receiver's clock: 1000, 999, 1001, 998, 1002 ms, from
    // 10:00:15 GPS of 2008-06-30, the time its RMC tells.
    const double tows[] = {122415.0, 122416.0, 122416.999, 122418.0, 122418.998, 122420.0};
    const int timers[] = {5000, 6000, 6999, 8000, 8000, 9100};  // sat 7: equal, then 1100 ms
    std::string log;
    std::vector<LogEpoch> epochs = Walk(6);
    for (int k = 0; k < 6; ++k) {
        char tg[64], ts[64];
        std::snprintf(tg, sizeof tg, "PQNVTG,1486,%.3f,0,0,0,1.5", tows[k]);
        std::snprintf(ts, sizeof ts, "PQNVTS,0,7,0,1.0,0,40,%d", timers[k]);
        log += BuildLog({epochs[static_cast<std::size_t>(k)]}) + Sentence(tg) + Sentence(ts);
    }
    WriteFile(dir / "t.txt", log);
    r = Navsift({"-nmea", "t.txt", "-time"}, dir.path());
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(CountOf(r.out, "WARNING: ") - CountOf(r.out, "TRK TIME WARNING: "), 2) << r.out;
    EXPECT_EQ(r.out.find("INCONSISTENT"), std::string::npos);  // its epoch was reported already
    EXPECT_NE(r.out.find("GPSTimeGap 998 ms\r\n"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("GPSTimeGap 1002 ms\r\n"), std::string::npos);
    EXPECT_NE(r.out.find("TRK TIME WARNING: 10:00:05 Sat 07 GPSTimeGap  1002 Timer       9100       8000 "
                         "TrkTimeGap 1100 ms\r\n"),
              std::string::npos)
        << r.out;
}

TEST(LogSearch, StampsLinesAfterAndUpToAMarker)
{
    ScratchDir dir;
    WriteFile(dir / "debug.log",
              "boot\n"
              "KALMAN | 10:00:05  on  30/06/2008\n"
              "ERROR one\n"
              "a\n"
              "b\n"
              "LMS | 10:00:06  on  30/06/2008\n"
              "ERROR two\n"
              "ERROR three\n"
              "START x\n"
              "KALMAN | 10:00:15  on  30/06/2008\n"
              "DONE y\n"
              "KALMAN | 23:59:58  on  30/06/2008\n"
              "START again\n"
              "KALMAN | 00:00:03  on  01/07/2008\n"
              "DONE end\n");
    RunResult r = Navsift({"debug.log", "ERROR", "-n"}, dir.path());
    // -n stamps with $GPGGA times, of which this log has none.
    EXPECT_EQ(r.status, 0);
    r = Navsift({"debug.log", "ERROR"}, dir.path());
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("10:00:05 on 30/06/2008> ERROR one\n\r"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("10:00:06 on 30/06/2008> ERROR three\n\r"), std::string::npos);

    r = Navsift({"debug.log", "ERROR", "-l", "2"}, dir.path());
    EXPECT_NE(r.out.find("ERROR one\n\ra\nb\n"), std::string::npos) << r.out;

    r = Navsift({"debug.log", "ERROR", "-a"}, dir.path());
    EXPECT_EQ(CountOf(r.out, "> ERROR"), 2) << r.out;  // two and three share a second

    r = Navsift({"debug.log", "two", "-end", "DONE"}, dir.path());
    EXPECT_NE(r.out.find("> ERROR two\n\rERROR three\nSTART x\nKALMAN | 10:00:15  on  30/06/2008\nDONE y\n"),
              std::string::npos)
        << r.out;
    EXPECT_EQ(r.out.find("START again"), std::string::npos);

    r = Navsift({"debug.log", "-f", "START", "-s", "DONE"}, dir.path());
    EXPECT_NE(r.out.find("1 > 10:00:15 on 30/06/2008> START > DONE : 8 s\n"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("2 > 00:00:03 on 01/07/2008> START > DONE : 4 s\n"), std::string::npos);
}

TEST(LogSearch, NmeaTimesAndTheDroppingCheck)
{
    ScratchDir dir;
    std::string log;
    for (int sod : {36000, 36001, 36003, 86399, 0}) {
        log += BuildLog({Walk(1, sod)[0]});
    }
    WriteFile(dir / "n.txt", log);
    const RunResult r = Navsift({"n.txt", "$GPGGA", "-n", "-g"}, dir.path());
    ASSERT_EQ(r.status, 0) << r.err;
    // The first match (the check starts from 0), the skipped second, the
    // jump to the end of the day; midnight itself goes on counting.
    EXPECT_EQ(CountOf(r.out, "NMEA dropping check: "), 3) << r.out;
    EXPECT_NE(r.out.find("NMEA dropping check: 10:00:03 on 00/00/0000> ERROR\r\n"), std::string::npos);
}

TEST(LogSearch, ALogCutRightAfterTheGgaTagIsSearchedToItsEnd)
{
    // The receiver's log was being written when it was copied: its last line
    // is the bare tag, with no line end.
    ScratchDir dir;
    WriteFile(dir / "cut.txt", BuildLog({Walk(1, 36000)[0]}) + "$GPGGA");
    const RunResult r = Navsift({"cut.txt", "GPGGA", "-n"}, dir.path());
    EXPECT_EQ(r.status, 0) << r.err;
    // Both matches are printed, the cut one with the last time read.
    EXPECT_EQ(CountOf(r.out, "36000,"), 2) << r.out;
    EXPECT_NE(r.out.find("36000,100000"), std::string::npos) << r.out;
}

}  // namespace
}  // namespace navsift_test
