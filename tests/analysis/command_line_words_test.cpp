// What navsift makes of its command line, as a user types it: an option it
// does not know, no word at all, a question for its version; a folder named
// with or without its trailing separator; and inputs that hold nothing an
// analysis can read (maps of another linker, tables without rows).
#include <gtest/gtest.h>

#include "tests/analysis/navsift_harness.h"

namespace navsift_test {
namespace {

const std::string kPointer = "navsift -help lists the commands and their options\n";

TEST(CommandLineWords, AnOptionNavsiftDoesNotKnowIsRefusedByName)
{
    ScratchDir dir;
    WriteFile(dir / "drive_NMEA.txt", BuildLog(Walk(10)));
    const std::string before = FolderDigest(dir.path());
    // A mistyped option, one that begins like a known one, a spelling of
    // another, one that looks like a version question.
    for (const std::vector<std::string>& words : std::vector<std::vector<std::string>>{
             {"-nmea", "drive_NMEA.txt", "-kmll", "-name", "d"},
             {"-nmea", "drive_NMEA.txt", "-kml", "-name", "d", "-multicolour"},
             {"-foo", "drive_NMEA.txt"},
             {"drive_NMEA.txt", "GGA", "-lines", "2"},
             {"-nmea", "drive_NMEA.txt", "-kml", "-name", "d", "--colour", "red"}}) {
        const RunResult r = Navsift(words, dir.path());
        std::string unknown;
        for (const std::string& w : words) {
            if (w == "-kmll" || w == "-multicolour" || w == "-foo" || w == "-lines" || w == "--colour") {
                unknown = w;
            }
        }
        EXPECT_EQ(r.status, 2) << unknown;
        EXPECT_EQ(r.err, "unknown option " + unknown + "\n" + kPointer) << unknown;
        EXPECT_EQ(r.out, "") << unknown;
        EXPECT_EQ(FolderDigest(dir.path()), before) << unknown << " ran something";
    }
}

TEST(CommandLineWords, NoWordAtAllGivesTheHelpAndAStatusThatSaysNothingRan)
{
    ScratchDir dir;
    const RunResult help = Navsift({"-help"}, dir.path());
    ASSERT_EQ(help.status, 0);
    const RunResult r = Navsift({}, dir.path());
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.out, help.out);
    EXPECT_EQ(r.out.find("debugfile1 debugfile2"), std::string::npos);
    EXPECT_NE(r.out.find("-nmea LOG -kml -name NAME"), std::string::npos) << r.out;
    EXPECT_TRUE(fs::is_empty(dir.path()));
}

TEST(CommandLineWords, VersionIsAskedTheWaysOtherProgramsAreAsked)
{
    ScratchDir dir;
    for (const char* word : {"--version", "-version", "-VERSION"}) {
        const RunResult r = Navsift({word}, dir.path());
        EXPECT_EQ(r.status, 0) << word;
        EXPECT_EQ(r.out, "navsift ver. 3.0.1\n") << word;
        EXPECT_EQ(r.err, "") << word;
    }
    // -v is the visibility test, never the version.
    const RunResult v = Navsift({"-v"}, dir.path());
    EXPECT_EQ(v.status, 2);
    EXPECT_NE(v.err.find("-v needs -u"), std::string::npos) << v.err;
    EXPECT_TRUE(fs::is_empty(dir.path()));
}

// ------------------------------------------------------------ folders

struct Logs {
    ScratchDir dir;
    Logs()
    {
        fs::create_directories(dir / "tl");
        fs::create_directories(dir / "other");
        WriteFile(dir / "tl" / "a_NMEA.txt", BuildLog(Walk(8)));
        WriteFile(dir / "tl" / "b_NMEA.txt", BuildLog(Walk(8, 40000)));
        WriteFile(dir / "beside.txt", BuildLog(Walk(8, 50000)));
        WriteFile(dir / "other" / "a.log", BuildLog(Walk(8)));
        WriteFile(dir / "other" / "b.log", BuildLog(Walk(8)));
    }
};

TEST(CommandLineWords, EveryFolderRunNamesTheFolderItReadsAndWhatItTook)
{
    Logs logs;
    const fs::path& dir = logs.dir.path();
    RunResult r = Navsift({"-nmea", "tl/", "-kml", "-name", "all"}, dir);
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out.substr(0, r.out.find('\n') + 1), "Reading the folder tl/: 2 logs (*.txt)\n");
    EXPECT_TRUE(fs::exists(dir / "tl" / "all.kml"));

    // Without its separator the folder that holds it is read, and said.
    r = Navsift({"-nmea", "tl", "-kml", "-name", "all3"}, dir);
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out.substr(0, r.out.find('\n') + 1), "Reading the folder ./: 1 log (*.txt)\n");
    EXPECT_NE(r.err.find("note: tl is a folder; without its trailing \"/\" the folder that holds it, ./, is read "
                         "(write tl/ to read tl itself)"),
              std::string::npos)
        << r.err;
    EXPECT_TRUE(fs::exists(dir / "all3.kml"));

    // A folder of *.log files: its pattern and what it holds, and a failure.
    const std::string before = FolderDigest(dir);
    r = Navsift({"-nmea", "other/", "-kml", "-name", "x"}, dir);
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, "Reading the folder other/: no logs (*.txt) among its 2 entries\n");
    EXPECT_NE(r.err.find("produced nothing from other/"), std::string::npos) << r.err;
    EXPECT_EQ(FolderDigest(dir), before);

    // The TTFF folder analysis the same way: the note, the folder, and a
    // failure since the folder holds no TTFF log with its results.
    r = Navsift({"-nmea", "tl", "-ttff"}, dir);
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.out.find("Reading the folder ./: 1 log (*.txt)\n"), std::string::npos) << r.out;
    EXPECT_NE(r.err.find("note: tl is a folder"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("no TTFF or sensitivity log with its results file"), std::string::npos) << r.err;
    EXPECT_EQ(FolderDigest(dir), before);

    for (const std::vector<std::string>& words : std::vector<std::vector<std::string>>{
             {"-nmea", "tl/", "-startup"}, {"-vel", "tl/", "-speedpath", "out/"}, {"-gpx", "tl/", "-name", "g"},
             {"-compare", "tl/"}, {"-p", "tl/", "-kml"}}) {
        r = Navsift(words, dir);
        EXPECT_NE(r.out.find("Reading the folder tl/: "), std::string::npos) << words[0] << ": " << r.out;
    }

    // The tracking analysis tables one log: a folder is refused as one.
    const std::string before_trk = FolderDigest(dir);
    r = Navsift({"-nmea", "tl/", "-trk"}, dir);
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("tl/ is a folder: the tracking analysis reads one log (navsift -nmea tl/LOG -trk)"),
              std::string::npos)
        << r.err;
    EXPECT_EQ(FolderDigest(dir), before_trk);
}

// ------------------------------------------------------------ inputs without what is read

// Two real GNU ld map files, of two builds of one program.
TEST(CommandLineWords, MapsOfAnotherLinkerAreNamedWithTheLayoutTheyLack)
{
    ScratchDir dir;
    WriteFile(dir / "one.c", "int main(void) { return 0; }\n");
    WriteFile(dir / "two.c", "static char big[4000];\nint main(void) { big[3] = 1; return big[3]; }\n");
    for (const char* name : {"one", "two"}) {
        const RunResult cc =
            navsift_test::Run({"cc", std::string(name) + ".c", "-o", name, "-Wl,-Map=" + std::string(name) + ".map"}, dir.path());
        if (cc.status != 0) {
            GTEST_SKIP() << "no C compiler to make GNU ld maps: " << cc.err;
        }
    }
    ASSERT_NE(ReadFile(dir / "one.map").find("Linker script and memory map"), std::string::npos);
    const std::string before = FolderDigest(dir.path());
    const RunResult r = Navsift({"-size", "-b1", "one.map", "-b2", "two.map"}, dir.path());
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out.find("TOTAL"), std::string::npos) << r.out;
    for (const char* map : {"one.map", "two.map"}) {
        EXPECT_NE(r.err.find(std::string(map) + ": no \"Image component sizes\" listing: -size reads a linker map "
                                                "whose listing gives each object (.o) and library (.lib) as Code, "
                                                "RO, RW, ZI and DEBUG sizes and its name"),
                  std::string::npos)
            << r.err;
    }
    EXPECT_EQ(FolderDigest(dir.path()), before) << "no table of nothing";
}

const char* kGlobalInfoHeader =
    "time,timestamp,lat,lon,alt,hdop,fix,sv,used,vis,pdop,vdop,course,odo,speed,nco,cn0_ave,cn0_ave max,cn0_ave min\r\n";

TEST(CommandLineWords, ATableWithoutRowsGetsNoChart)
{
    ScratchDir dir;
    WriteFile(dir / "empty.csv", "");
    WriteFile(dir / "header.csv", kGlobalInfoHeader);
    WriteFile(dir / "names.csv", "name,colour,size\r\nann,red,small\r\nbob,blue,large\r\n");
    const std::string before = FolderDigest(dir.path());
    const std::pair<const char*, const char*> cases[] = {
        {"empty.csv", "empty.csv: it is empty"},
        {"header.csv", "header.csv: it holds a header line and no row"},
        {"names.csv", "names.csv: no row under its header holds a number in column B (the time) and in column G "
                      "(the fix status) or O (the speed)"},
    };
    for (const auto& [table, reason] : cases) {
        const RunResult r = Navsift({"-excel", table}, dir.path());
        EXPECT_EQ(r.status, 1) << table;
        EXPECT_NE(r.err.find(reason), std::string::npos) << r.err;
        EXPECT_EQ(FolderDigest(dir.path()), before) << table;
    }
}

// The chart's series of a global_info table of any name.
TEST(CommandLineWords, AGlobalInfoTableOfAnyNameIsCharted)
{
    ScratchDir dir;
    std::string table = kGlobalInfoHeader;
    for (int k = 1; k <= 5; ++k) {
        char line[200];
        std::snprintf(line, sizeof line, "%d,%d,45.1,9.2,120.0,0.9,%d,8,7,9,1.5,1.1,90.0,0,%.2f,-120,40.0,45.0,35.0\r\n",
                      k, 1000000 + k, k % 3, 0.5 * k);
        table += line;
    }
    WriteFile(dir / "drive.csv", table);
    const RunResult r = Navsift({"-excel", "drive.csv"}, dir.path());
    ASSERT_EQ(r.status, 0) << r.err;
    ASSERT_TRUE(fs::exists(dir / "drive.xlsx"));
    const RunResult chart = navsift_test::Run({"python3", "-c",
                                 "import sys,zipfile\n"
                                 "z=zipfile.ZipFile('drive.xlsx')\n"
                                 "print(''.join(z.read(n).decode() for n in z.namelist() if n.startswith('xl/charts/')))"},
                                dir.path());
    ASSERT_EQ(chart.status, 0) << chart.err;
    for (const char* ref : {"drive!$B$2:$B$6", "drive!$G$2:$G$6", "drive!$O$2:$O$6"}) {
        EXPECT_NE(chart.out.find(ref), std::string::npos) << ref << " not in the chart:\n" << chart.out.substr(0, 2000);
    }
}

}  // namespace
}  // namespace navsift_test
