// The KML export driven as the bench and users start it: real navsift runs on
// generated logs, the documents checked byte for byte, by an XML parser and
// by gpsbabel reading the tracks back.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstring>
#include <functional>
#include <regex>

#include "tests/analysis/navsift_harness.h"

namespace navsift_test {
namespace {

// A compiler cache may pass this file's name relative to the build folder.
const fs::path kGoldenDir = fs::path(FIXBENCH_SOURCE_DIR) / "tests/analysis/golden";

// A log that starts without a fix, then three fixes with speed and course.
std::string BenchLog()
{
    std::vector<LogEpoch> epochs = Walk(4, 35999);
    epochs[0].quality = 0;
    for (LogEpoch& e : epochs) {
        e.with_vtg = true;
    }
    return BuildLog(epochs);
}

std::string Format2(const char* fmt, int a, int b, int c)
{
    char buf[32];
    std::snprintf(buf, sizeof buf, fmt, a, b, c);
    return buf;
}

void ExpectSoundKml(const fs::path& kml, int fixes, const fs::path& work)
{
    ASSERT_TRUE(fs::exists(kml)) << kml;
    EXPECT_EQ(XmlProblem(kml), "") << kml;
    EXPECT_EQ(GpsbabelTrackPoints(kml, work), fixes) << kml;
    const std::string text = ReadFile(kml);
    EXPECT_EQ(text.find("<coordinates>0.000000,0.000000"), std::string::npos) << "a point at 0,0";
    EXPECT_EQ(text.find('\0'), std::string::npos);
}

// The time folders and markers of a split document in order: "[hh:mm:ss"
// opens a time folder, S/P/E and the second of the marker's time follow,
// "]" closes a folder.
std::string SplitOutline(const std::string& kml)
{
    static const std::regex kEvent(
        "<name>(\\d\\d:\\d\\d:\\d\\d) \\d\\d/\\d\\d/\\d{4}</name>|<styleUrl>#([SPE])\\d\\d</styleUrl>[^]*?"
        "UTC Time: </td><td>\\d\\d:\\d\\d:(\\d\\d)|</Folder>");
    std::string outline;
    for (std::sregex_iterator it(kml.begin(), kml.end(), kEvent), end; it != end; ++it) {
        const std::smatch& m = *it;
        if (m[1].matched) {
            outline += "[" + m[1].str() + " ";
        } else if (m[2].matched) {
            outline += m[2].str() + m[3].str() + " ";
        } else {
            outline += "] ";
        }
    }
    return outline;
}

TEST(KmlExport, BenchCommandLineWritesTheGoldenTrackBesideTheLog)
{
    ScratchDir dir;
    fs::create_directories(dir / "logs");
    fs::create_directories(dir / "elsewhere");
    const fs::path log = dir / "logs" / "dev1_TTFF_COLD_NMEA.txt";
    WriteFile(log, BenchLog());

    // An absolute path after -nmea, started from another folder.
    const RunResult r = Navsift({"-nmea", log.string(), "-kml", "-name", "dev1_TTFF_COLD_NMEA"}, dir / "elsewhere");
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "Processing \\dev1_TTFF_COLD_NMEA.txt ... Nmea File Recognized \n");
    const fs::path kml = dir / "logs" / "dev1_TTFF_COLD_NMEA.kml";
    EXPECT_EQ(ReadFile(kml), ReadFile(kGoldenDir / "bench_track.kml"));
    EXPECT_TRUE(fs::is_empty(dir / "elsewhere")) << "nothing may be left in the working folder";
    ExpectSoundKml(kml, 3, dir.path());
}

TEST(KmlExport, LostFixesAreLeftOutOfTheTrack)
{
    ScratchDir dir;
    std::vector<LogEpoch> epochs = Walk(12);
    epochs[4].quality = 0;  // a tunnel
    epochs[5].quality = 0;
    epochs[11].quality = 0;  // and no fix at the very end
    WriteFile(dir / "drive.txt", BuildLog(epochs));

    const RunResult r = Navsift({"-nmea", (dir / "drive.txt").string(), "-kml", "-name", "drive"}, dir.path());
    EXPECT_EQ(r.status, 0) << r.err;
    const std::string kml = ReadFile(dir / "drive.kml");
    EXPECT_EQ(CountOf(kml, "<Point>"), 9);
    ExpectSoundKml(dir / "drive.kml", 9, dir.path());
}

TEST(KmlExport, ALogWithoutAnyFixWritesNoDocumentAndFails)
{
    ScratchDir dir;
    WriteFile(dir / "cold.txt", BuildLog(Walk(8, 100, 0)));
    const RunResult r = Navsift({"-nmea", (dir / "cold.txt").string(), "-kml", "-name", "cold"}, dir.path());
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.out.find("No fix found"), std::string::npos) << r.out;
    EXPECT_NE(r.err.find("cold.txt: no $GPGGA with a fix"), std::string::npos) << r.err;
    EXPECT_FALSE(fs::exists(dir / "cold.kml"));
}

TEST(KmlExport, SplitTimesCutTheTrackIntoTimeFolders)
{
    ScratchDir dir;
    WriteFile(dir / "day.txt", BuildLog(Walk(20, 36000)));
    // Two times inside the log, one before it (no cut) and a junk line.
    WriteFile(dir / "splits.txt", "09:00:00 30/06/2008\r\n10:00:05 30/06/2008\r\nnot a time\r\n10:00:12 30/06/2008\r\n");

    const RunResult r = Navsift(
        {"-nmea", (dir / "day.txt").string(), "-kml", "-name", "day", "-split", (dir / "splits.txt").string()},
        dir.path());
    EXPECT_EQ(r.status, 0) << r.err;
    const std::string kml = ReadFile(dir / "day.kml");
    // The epoch that reaches a split time ends one part and starts the
    // next, so the parts join without a gap.
    EXPECT_EQ(SplitOutline(kml),
              "[10:00:00 S00 P01 P02 P03 P04 E05 ] "
              "[10:00:05 S05 P06 P07 P08 P09 P10 P11 E12 ] "
              "[10:00:12 S12 P13 P14 P15 P16 P17 P18 E19 ] ] ");
    EXPECT_EQ(CountOf(kml, "<name>Path</name>"), 3);
    ExpectSoundKml(dir / "day.kml", 22, dir.path());
}

TEST(KmlExport, EachFixAfterALostFixTakesOneSplitTimeAtMost)
{
    ScratchDir dir;
    std::vector<LogEpoch> epochs = Walk(16, 36000);
    for (int k = 4; k < 10; ++k) {
        epochs[k].quality = 0;  // two split times pass while the fix is lost
    }
    WriteFile(dir / "gap.txt", BuildLog(epochs));
    WriteFile(dir / "splits.txt", "10:00:05 30/06/2008\r\n10:00:07 30/06/2008\r\n");

    const RunResult r = Navsift(
        {"-nmea", (dir / "gap.txt").string(), "-kml", "-name", "gap", "-split", (dir / "splits.txt").string()},
        dir.path());
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(SplitOutline(ReadFile(dir / "gap.kml")),
              "[10:00:00 S00 P01 P02 P03 E10 ] [10:00:10 S10 E11 ] [10:00:11 S11 P12 P13 P14 E15 ] ] ");
    ExpectSoundKml(dir / "gap.kml", 12, dir.path());
}

TEST(KmlExport, SplitTimesWithLostFixesAndOneFixLogsStayWellFormed)
{
    ScratchDir dir;
    fs::create_directories(dir / "set");
    std::vector<LogEpoch> epochs = Walk(10, 36000);
    for (int k = 3; k < 10; ++k) {
        epochs[k].quality = 0;  // only three fixes, all before the split
    }
    WriteFile(dir / "set" / "a.txt", BuildLog(epochs));
    std::vector<LogEpoch> one = Walk(8, 36020, 0);
    one[7].quality = 1;  // a single fix as the last epoch
    WriteFile(dir / "set" / "b.txt", BuildLog(one));
    WriteFile(dir / "splits.txt", "10:00:05 30/06/2008\r\n10:00:21 30/06/2008\r\n");

    const RunResult r = Navsift({"-nmea", (dir / "set").string() + "/", "-kml", "-name", "set", "-split",
                                 (dir / "splits.txt").string()},
                                dir.path());
    EXPECT_EQ(r.status, 0) << r.err;
    ExpectSoundKml(dir / "set" / "set.kml", 4, dir.path());
}

TEST(KmlExport, NamesWithMarkupCharactersAreEscaped)
{
    ScratchDir dir;
    const fs::path log = dir / "R&D <bench>.txt";
    WriteFile(log, BuildLog(Walk(5)));
    const RunResult r = Navsift({"-nmea", log.string(), "-kml", "-name", "R&D \"x\"", "-usefname"}, dir.path());
    EXPECT_EQ(r.status, 0) << r.err;
    const fs::path kml = dir / "R&D \"x\".kml";
    const std::string text = ReadFile(kml);
    EXPECT_NE(text.find("<name>R&amp;D &quot;x&quot;</name>"), std::string::npos);
    EXPECT_NE(text.find("<name>R&amp;D &lt;bench&gt;.txt</name>"), std::string::npos);
    ExpectSoundKml(kml, 5, dir.path());
}

TEST(KmlExport, FolderOfFoldersWithMulticolorRotatesFifteenColours)
{
    ScratchDir dir;
    fs::create_directories(dir / "campaign");
    for (int k = 0; k < 16; ++k) {
        char name[16];
        std::snprintf(name, sizeof name, "run%02d", k);
        fs::create_directories(dir / "campaign" / name);
        WriteFile(dir / "campaign" / name / "log.TXT", BuildLog(Walk(3, 36000 + 10 * k)));
    }
    WriteFile(dir / "campaign" / "run03" / "notes.txt", "no sentences here\r\n");

    const RunResult r =
        Navsift({"-nmea", (dir / "campaign").string() + "/", "-kml", "-name", "all", "-multicolor"}, dir.path());
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("Processing \\run03\\notes.txt ... Nmea File NOT Recognized\n"), std::string::npos);
    const std::string kml = ReadFile(dir / "campaign" / "all.kml");
    EXPECT_NE(kml.find("<name>run00 (BLUE)</name>"), std::string::npos);
    EXPECT_NE(kml.find("<name>run01 (GREEN)</name>"), std::string::npos);
    EXPECT_NE(kml.find("<name>run09 (DARK READ)</name>"), std::string::npos);
    EXPECT_NE(kml.find("<name>run14 (BLACK)</name>"), std::string::npos);
    EXPECT_NE(kml.find("<name>run15 (BLUE)</name>"), std::string::npos);
    // Each track keeps its own line colour.
    EXPECT_NE(kml.find("<Style id=\"L02\">\r\n<LineStyle>\r\n<color>ff00ff00</color>"), std::string::npos);
    EXPECT_NE(kml.find("<styleUrl>#L16</styleUrl>"), std::string::npos);
    ExpectSoundKml(dir / "campaign" / "all.kml", 48, dir.path());
}

TEST(KmlExport, FixedColourAndUnknownColourInFolderMode)
{
    ScratchDir dir;
    fs::create_directories(dir / "c" / "a");
    fs::create_directories(dir / "c" / "b");
    WriteFile(dir / "c" / "a" / "x.txt", BuildLog(Walk(3)));
    WriteFile(dir / "c" / "b" / "y.txt", BuildLog(Walk(4)));

    RunResult r = Navsift({"-nmea", (dir / "c").string() + "/", "-kml", "-name", "g", "-color", "green"}, dir.path());
    EXPECT_EQ(r.status, 0);
    std::string kml = ReadFile(dir / "c" / "g.kml");
    EXPECT_EQ(CountOf(kml, "<color>ff00ff00</color>"), 14);
    EXPECT_EQ(CountOf(kml, " (green)</name>"), 2);
    ExpectSoundKml(dir / "c" / "g.kml", 7, dir.path());

    // A colour that names nothing must not draw an invisible track.
    r = Navsift({"-nmea", (dir / "c").string() + "/", "-kml", "-name", "p", "-color", "pink"}, dir.path());
    EXPECT_EQ(r.status, 0);
    EXPECT_NE(r.err.find("pink"), std::string::npos);
    kml = ReadFile(dir / "c" / "p.kml");
    EXPECT_EQ(CountOf(kml, "<color>00000000</color>"), 0);
    EXPECT_EQ(CountOf(kml, " (RED)</name>"), 2);
}

TEST(KmlExport, WithoutRmcTheReceiverClockDatesTheTrack)
{
    ScratchDir dir;
    std::vector<LogEpoch> epochs = Walk(6);
    std::string log;
    for (int k = 0; k < 6; ++k) {
        epochs[k].with_rmc = false;
        // GPS week 1500, second 123 + k: 2008-10-05 00:02:03 GPS, 00:01:48 UTC.
        log += BuildLog({epochs[k]}) + Sentence("PQNVTG," + std::to_string(1500) + "," + std::to_string(123 + k) +
                                                ".0,0,0,0,1.5");
    }
    WriteFile(dir / "tg.txt", log);
    const RunResult r = Navsift({"-nmea", (dir / "tg.txt").string(), "-kml", "-name", "tg"}, dir.path());
    EXPECT_EQ(r.status, 0) << r.err;
    const std::string kml = ReadFile(dir / "tg.kml");
    EXPECT_NE(kml.find("<name>TRK_05/10/2008_00:02:03</name>"), std::string::npos);
    EXPECT_NE(kml.find("<td>05/10/2008</td></tr><tr><td>UTC Time: </td><td>00:01:48</td>"), std::string::npos);
    ExpectSoundKml(dir / "tg.kml", 6, dir.path());
}

// A fix a second, each GGA at its second and its RMC with the time text
// `rmc_time` gives for that second.
std::string TimedLog(int seconds, const std::function<std::string(int)>& rmc_time)
{
    std::string log;
    for (int k = 0; k < seconds; ++k) {
        char t[16];
        const int sod = 36000 + k;
        std::snprintf(t, sizeof t, "%02d%02d%02d.00", sod / 3600, sod / 60 % 60, sod % 60);
        char lat[16];
        std::snprintf(lat, sizeof lat, "48%07.4f", 7.038 + k * 0.01);
        log += Sentence(std::string("GPGGA,") + t + "," + lat + ",N,01131.000,E,1,08,0.9,545.4,M,46.9,M,,");
        log += Sentence("GPRMC," + rmc_time(k) + ",A," + lat + ",N,01131.000,E,022.4,084.4,300608,,");
    }
    return log;
}

std::vector<std::string> PlacemarkTimes(const std::string& kml)
{
    static const std::regex kWhen("UTC Date: </td><td>([^<]*)</td></tr><tr><td>UTC Time: </td><td>([^<]*)</td>");
    std::vector<std::string> out;
    for (std::sregex_iterator it(kml.begin(), kml.end(), kWhen), end; it != end; ++it) {
        out.push_back((*it)[1].str() + " " + (*it)[2].str());
    }
    return out;
}

// A damaged RMC time (".1") is no time: never midnight of its date, in the
// KML or in the speed file. The epoch keeps its GGA's time and its date.
TEST(KmlExport, ATimeThatIsNoTimeIsNeverMidnight)
{
    ScratchDir dir;
    WriteFile(dir / "dev_NMEA.txt", TimedLog(8, [](int k) {
                  return k == 4 ? std::string(".1") : Format2("%02d%02d%02d.00", 10, 0, k);
              }));
    RunResult r = Navsift({"-nmea", (dir / "dev_NMEA.txt").string(), "-kml", "-name", "dev"}, dir.path());
    ASSERT_EQ(r.status, 0) << r.err;
    const std::vector<std::string> times = PlacemarkTimes(ReadFile(dir / "dev.kml"));
    ASSERT_FALSE(times.empty());
    for (const std::string& when : times) {
        EXPECT_EQ(when.find("00:00:00"), std::string::npos) << when;
    }
    EXPECT_NE(std::find(times.begin(), times.end(), "30/06/2008 10:00:04"), times.end());

    r = Navsift({"-vel", (dir / "dev_NMEA.txt").string(), "-speedpath", (dir / "").string()}, dir.path());
    ASSERT_EQ(r.status, 0) << r.err;
    const std::string vel = ReadFile(dir / "dev_NMEA.vel");
    for (std::size_t at = 8; at + 48 <= vel.size(); at += 48) {
        uint32_t key = 0;
        std::memcpy(&key, vel.data() + at, 4);  // little-endian, as this machine
        EXPECT_NE(key, 898819200u) << "a record at midnight of 30/06/2008";
    }
}

// Each RMC three seconds ahead of its GGA: no epoch pairs the two, so the
// placemarks and the track folder tell the GGA's time and say that they have
// no date, rather than 00/00/0000.
TEST(KmlExport, APlacemarkWithoutADateSaysSo)
{
    ScratchDir dir;
    WriteFile(dir / "dev_NMEA.txt",
              TimedLog(8, [](int k) { return Format2("%02d%02d%02d.00", 10, 0, k + 3); }));
    const RunResult r = Navsift({"-nmea", (dir / "dev_NMEA.txt").string(), "-kml", "-name", "dev"}, dir.path());
    ASSERT_EQ(r.status, 0) << r.err;
    const std::string kml = ReadFile(dir / "dev.kml");
    EXPECT_EQ(kml.find("00/00/0000"), std::string::npos);
    EXPECT_NE(kml.find("<name>TRK_no date_10:00:00</name>"), std::string::npos);
    const std::vector<std::string> times = PlacemarkTimes(kml);
    ASSERT_GE(times.size(), 7u);
    EXPECT_EQ(times[0], "no date 10:00:00");
    EXPECT_EQ(times[1], "no date 10:00:01");
    EXPECT_EQ(times[2], "no date 10:00:02");
    EXPECT_EQ(XmlProblem(dir / "dev.kml"), "");
}

TEST(KmlExport, AFolderWithoutItsSeparatorTakesItsParentFolder)
{
    ScratchDir dir;
    fs::create_directories(dir / "inner");
    WriteFile(dir / "top.txt", BuildLog(Walk(6)));
    WriteFile(dir / "inner" / "deep.txt", BuildLog(Walk(2)));
    const RunResult r = Navsift({"-nmea", (dir / "inner").string(), "-kml", "-name", "t"}, dir.path());
    EXPECT_EQ(r.status, 0) << r.err;
    // Which folder is read, and why, is said.
    EXPECT_EQ(r.out, "Reading the folder " + dir.path().string() + "/: 1 log (*.txt)\n"
                     "Processing \\top.txt ... Nmea File Recognized \n");
    EXPECT_NE(r.err.find("note: " + (dir / "inner").string() + " is a folder; without its trailing \"/\" the folder "
                         "that holds it, " + dir.path().string() + "/, is read"),
              std::string::npos)
        << r.err;
    ExpectSoundKml(dir / "t.kml", 6, dir.path());
}

TEST(KmlExport, FourExportsAtOnceInOneFolder)
{
    ScratchDir dir;
    std::vector<std::vector<std::string>> runs;
    for (int k = 0; k < 4; ++k) {
        const std::string stem = "dev" + std::to_string(k) + "_TTFF_COLD_NMEA";
        WriteFile(dir / (stem + ".txt"), BuildLog(Walk(300 + 50 * k, 36000 + 1000 * k)));
        runs.push_back({NavsiftPath(), "-nmea", (dir / (stem + ".txt")).string(), "-kml", "-name", stem});
    }
    const std::vector<RunResult> results = RunTogether(runs, dir.path());
    for (int k = 0; k < 4; ++k) {
        EXPECT_EQ(results[k].status, 0) << results[k].err;
        const fs::path kml = dir / ("dev" + std::to_string(k) + "_TTFF_COLD_NMEA.kml");
        ExpectSoundKml(kml, 300 + 50 * k, dir.path());
        // The same bytes as a run on its own.
        ScratchDir alone;
        fs::copy_file(dir / ("dev" + std::to_string(k) + "_TTFF_COLD_NMEA.txt"), alone / "solo.txt");
        Navsift({"-nmea", (alone / "solo.txt").string(), "-kml", "-name", "dev" + std::to_string(k) + "_TTFF_COLD_NMEA"},
                alone.path());
        EXPECT_EQ(ReadFile(kml), ReadFile(alone / ("dev" + std::to_string(k) + "_TTFF_COLD_NMEA.kml")));
    }
}

TEST(KmlExport, AMissingLogCreatesNothingAndFails)
{
    ScratchDir dir;
    RunResult r = Navsift({"-nmea", (dir / "absent" / "dev_NMEA.txt").string(), "-kml", "-name", "dev"}, dir.path());
    EXPECT_EQ(r.status, 1);
    EXPECT_FALSE(r.err.empty());
    EXPECT_TRUE(fs::is_empty(dir.path()));

    // A document that cannot be created is reported, not silently lost.
    WriteFile(dir / "dev_NMEA.txt", BuildLog(Walk(6)));
    fs::create_directories(dir / "dev.kml");
    r = Navsift({"-nmea", (dir / "dev_NMEA.txt").string(), "-kml", "-name", "dev"}, dir.path());
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("cannot create"), std::string::npos);

    // The export needs both its log and its name.
    r = Navsift({"-kml", "-name", "x"}, dir.path());
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("-nmea"), std::string::npos);
    r = Navsift({"-kml", "-nmea", (dir / "dev_NMEA.txt").string()}, dir.path());
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("-name"), std::string::npos);
    EXPECT_FALSE(fs::exists(dir / ".kml"));

    // A file that is not a log is named as such, and the run fails without
    // a document.
    WriteFile(dir / "text.txt", "$GPGGA,garbled\r\nhello\r\n");
    r = Navsift({"-nmea", (dir / "text.txt").string(), "-kml", "-name", "text"}, dir.path());
    EXPECT_EQ(r.out, "Processing \\text.txt ... Nmea File NOT Recognized\n");
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("text.txt: it holds no NMEA sentence"), std::string::npos) << r.err;
    EXPECT_FALSE(fs::exists(dir / "text.kml"));
}

TEST(KmlExport, ALogThatIsNotThereIsAnErrorNeverAFolderWalk)
{
    ScratchDir dir;
    fs::create_directories(dir / "session" / "dev1");
    // The folder holds the bench's other text files and a sub-folder of logs.
    WriteFile(dir / "session" / "dev1_TTFF_COLD_Results.txt", "1,35.2,1\r\n");
    WriteFile(dir / "session" / "dev2_TTFF_COLD_NMEA.txt", BuildLog(Walk(6)));
    WriteFile(dir / "session" / "dev1" / "old.txt", BuildLog(Walk(6)));
    const auto before = fs::recursive_directory_iterator(dir.path());
    const int entries = static_cast<int>(std::distance(before, fs::recursive_directory_iterator()));

    RunResult r = Navsift(
        {"-nmea", (dir / "session" / "dev1_TTFF_COLD_NMEA.txt").string(), "-kml", "-name", "dev1"}, dir.path());
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("dev1_TTFF_COLD_NMEA.txt"), std::string::npos) << r.err;
    EXPECT_EQ(r.out, "");

    // Something that is there but is no file (a pipe would block the read).
    ASSERT_EQ(::mkfifo((dir / "session" / "pipe.txt").c_str(), 0600), 0);
    r = Navsift({"-nmea", (dir / "session" / "pipe.txt").string(), "-kml", "-name", "pipe"}, dir.path());
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("pipe.txt"), std::string::npos) << r.err;
    fs::remove(dir / "session" / "pipe.txt");

    const auto after = fs::recursive_directory_iterator(dir.path());
    EXPECT_EQ(static_cast<int>(std::distance(after, fs::recursive_directory_iterator())), entries)
        << "nothing may be written";

    // From the top folder a missing log once drew every top-level folder.
    const std::string stem = "navsift_absent_" + std::to_string(::getpid());
    r = Navsift({"-nmea", "/" + stem + "_NMEA.txt", "-kml", "-name", stem}, dir.path());
    EXPECT_EQ(r.status, 1);
    EXPECT_FALSE(fs::exists("/" + stem + ".kml"));
    fs::remove("/" + stem + ".kml");
}

TEST(KmlExport, ANameThatLeadsOutOfTheLogFolderIsRefused)
{
    ScratchDir dir;
    fs::create_directories(dir / "a" / "b" / "logs");
    const fs::path log = dir / "a" / "b" / "logs" / "dev_NMEA.txt";
    WriteFile(log, BuildLog(Walk(6)));
    for (const std::string name : {"../../x", "sub/x", "..\\x", "/tmp/x"}) {
        const RunResult r = Navsift({"-nmea", log.string(), "-kml", "-name", name}, dir.path());
        EXPECT_EQ(r.status, 1) << name;
        EXPECT_NE(r.err.find("separator"), std::string::npos) << r.err;
    }
    EXPECT_FALSE(fs::exists(dir / "a" / "x.kml"));
    EXPECT_FALSE(fs::exists(dir / "a" / "b" / "logs" / "..\\x.kml"));
    EXPECT_EQ(std::distance(fs::directory_iterator(dir / "a" / "b" / "logs"), fs::directory_iterator()), 1);
}

TEST(KmlExport, HugeNumbersInAFixArePositionsOffTheEarthAndAreDropped)
{
    ScratchDir dir;
    std::string log = BuildLog(Walk(3, 36000));
    // Fields hundreds of digits long pass the checksum: a height that long
    // (far beyond 100 km), a latitude or longitude that long, or past 90 or
    // 180 degrees, is no position.
    const std::string digits(300, '7');
    log += Sentence("GPGGA,100003.00,4807.1000,N,01131.0000,E,1,08,0.9," + digits + ".5,M,46.9,M,,");
    log += Sentence("GPRMC,100003.00,A,4807.1000,N,01131.0000,E,022.4,084.4,300608,003.1,W");
    log += Sentence("GPGGA,100004.00,48" + digits + ".5,N,011" + digits + ".5,E,1,08,0.9,5.5,M,46.9,M,,");
    log += Sentence("GPRMC,100004.00,A,4807.1000,N,01131.0000,E,022.4,084.4,300608,003.1,W");
    log += Sentence("GPGGA,100005.00,9907.038,N,01131.0000,E,1,08,0.9,5.5,M,46.9,M,,");
    log += Sentence("GPRMC,100005.00,A,4807.1000,N,01131.0000,E,022.4,084.4,300608,003.1,W");
    log += Sentence("GPGGA,100006.00,4807.038,N,40000.0000,E,1,08,0.9,5.5,M,46.9,M,,");
    log += Sentence("GPRMC,100006.00,A,4807.1000,N,01131.0000,E,022.4,084.4,300608,003.1,W");
    log += BuildLog(Walk(2, 36007));
    WriteFile(dir / "wild.txt", log);

    const RunResult r = Navsift({"-nmea", (dir / "wild.txt").string(), "-kml", "-name", "wild"}, dir.path());
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(XmlProblem(dir / "wild.kml"), "");
    const std::string kml = ReadFile(dir / "wild.kml");
    EXPECT_EQ(CountOf(kml, "<Placemark>"), 6);  // five markers and the path
    EXPECT_FALSE(std::regex_search(kml, std::regex("[0-9]{300}"))) << "a height off the earth";
    EXPECT_FALSE(std::regex_search(kml, std::regex("<coordinates>[0-9]{4,}"))) << "a point off the earth";
    EXPECT_EQ(kml.find("99.1"), std::string::npos);
    EXPECT_EQ(kml.find("400.0"), std::string::npos);
    EXPECT_NE(r.out.find("4 positions off the earth dropped"), std::string::npos) << r.out;
}

TEST(KmlExport, SentencesWithControlBytesLeaveNoPointOffTheTrack)
{
    ScratchDir dir;
    std::string log = BuildLog(Walk(10, 36000));
    // A NUL inside the fifth latitude: the checksum still matches.
    std::size_t at = 0;
    for (int k = 0; k < 5; ++k) {
        at = log.find("$GPGGA,", at + 1);
    }
    log.insert(log.find(',', at + 7) + 3, 1, '\0');
    WriteFile(dir / "nul.txt", log);

    const RunResult r = Navsift({"-nmea", (dir / "nul.txt").string(), "-kml", "-name", "nul"}, dir.path());
    EXPECT_EQ(r.status, 0) << r.err;
    const std::string kml = ReadFile(dir / "nul.kml");
    static const std::regex kPoint("<coordinates>([-0-9.]+),([-0-9.]+),");
    int points = 0;
    for (std::sregex_iterator it(kml.begin(), kml.end(), kPoint), end; it != end; ++it) {
        ++points;
        const double lon = std::stod((*it)[1].str()), lat = std::stod((*it)[2].str());
        EXPECT_NEAR(lat, 48.1178, 0.001) << "a point off the track";
        EXPECT_NEAR(lon, 11.5176, 0.002) << "a point off the track";
    }
    EXPECT_EQ(points, 9);
    ExpectSoundKml(dir / "nul.kml", 9, dir.path());
}

}  // namespace
}  // namespace navsift_test
