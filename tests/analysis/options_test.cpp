// The command line: what each option sets, which analysis a line selects,
// and how the program answers on its console.
#include <gtest/gtest.h>

#include <algorithm>
#include <regex>

#include "analysis/core/dispatch.h"
#include "analysis/core/options.h"
#include "tests/analysis/navsift_harness.h"

namespace navsift_test {
namespace {

using navsift::AnalysisId;
using navsift::OptionRecord;

OptionRecord Parse(std::vector<std::string> words, int expected_status = 0)
{
    words.insert(words.begin(), "navsift");
    OptionRecord rec;
    EXPECT_EQ(navsift::parse_options(words, rec), expected_status);
    return rec;
}

AnalysisId Select(std::vector<std::string> words)
{
    return navsift::select_analysis(Parse(std::move(words)));
}

TEST(Options, NamesAreWholeAndCaseInsensitiveAndPointAtTheNextWord)
{
    EXPECT_EQ(Parse({"-KML"}).kml, 2u);
    EXPECT_EQ(Parse({"x", "/kml"}).kml, 3u);
    EXPECT_EQ(Parse({"-nmea", "a.txt", "-Kml"}).nmea, 2u);
    // A later repetition wins.
    EXPECT_EQ(Parse({"-nmea", "a", "-nmea", "b"}).Arg(Parse({"-nmea", "a", "-nmea", "b"}).nmea), "b");
    // -h asks for the help and sets nothing.
    const OptionRecord help = Parse({"-h"});
    EXPECT_EQ(help.b1 + help.b2 + help.heading + help.hth + help.multicolor + help.merge, 0u);
}

TEST(Options, AbsolutePathsAreNeverOptions)
{
    const OptionRecord rec =
        Parse({"-nmea", "/projects/lab/dev_NMEA.txt", "-kml", "-name", "dev", "/usr/x", "/srv/y", "/data/z"});
    EXPECT_EQ(rec.p + rec.u + rec.s + rec.type + rec.v + rec.e, 0u);
    EXPECT_EQ(navsift::select_analysis(rec), AnalysisId::KmlFromNmea);
    EXPECT_EQ(rec.name_text, "dev");
}

TEST(Options, OneLetterOptionsAreWholeNamesToo)
{
    OptionRecord rec = Parse({"-l", "5", "-s", "x", "-d", "log.txt", "-U", "1 2 3 4 5"});
    EXPECT_EQ(rec.l, 2u);
    EXPECT_EQ(rec.s, 4u);
    EXPECT_EQ(rec.type, 6u);
    EXPECT_EQ(rec.u, 8u);
    EXPECT_EQ(rec.u_text, "1 2 3 4 5");
    rec = Parse({"-a", "-c", "-g", "-i", "-n", "-r", "-t", "-v"});
    EXPECT_NE(rec.a * rec.c * rec.g * rec.i * rec.n * rec.r * rec.t * rec.v, 0u);
}

TEST(Options, ValuesAreReadFromTheFollowingWord)
{
    OptionRecord rec = Parse({});
    EXPECT_EQ(rec.maxttff, 300);
    EXPECT_EQ(rec.kml_color, 0u);
    rec = Parse({"-date", "05062009", "-maxttff", "120", "-trange", "3600", "-rtype", "-1", "-ctype", "1",
                 "-hth", "10", "-vth", "3", "-turntime", "7", "-odoscale", "0.25"});
    EXPECT_EQ(rec.date_day, 5);
    EXPECT_EQ(rec.date_month, 6);
    EXPECT_EQ(rec.date_year, 2009);
    EXPECT_EQ(rec.maxttff, 120);
    EXPECT_EQ(rec.trange, 3600);
    EXPECT_EQ(rec.rtype, -1);
    EXPECT_EQ(rec.ctype, 1);
    EXPECT_EQ(rec.hth + rec.vth + rec.turntime, 20);
    EXPECT_DOUBLE_EQ(rec.odoscale_value, 0.25);
    EXPECT_NE(rec.odoscale, 0u);

    EXPECT_EQ(Parse({"-color", "Blue"}).kml_color, 0xffff0000u);
    EXPECT_EQ(Parse({"-color", "orange"}).kml_color, 0xff00aaffu);
    const OptionRecord pink = Parse({"-color", "pink"});
    EXPECT_EQ(pink.kml_color, 0u);
    EXPECT_EQ(pink.color, 2u);

    EXPECT_EQ(Parse({"-type", "gvn52mm"}).ref_type, 8);
    EXPECT_EQ(Parse({"-type", "NODATE"}).ref_type, 10);
    EXPECT_EQ(Parse({"-type", "other"}).ref_type, 0);

    EXPECT_EQ(Parse({"-e", "/data/rinex"}).e_folder, "/data/rinex/");
    EXPECT_EQ(Parse({"-e", "/data/rinex/"}).e_folder, "/data/rinex/");
    EXPECT_EQ(Parse({"-e", "C:\\logs\\"}).e_folder, "C:\\logs\\");
    // Whole words, blanks included.
    EXPECT_EQ(Parse({"-name", "my track"}).name_text, "my track");
}

TEST(Options, SplitFileTimesAndMissingFiles)
{
    ScratchDir dir;
    std::string lines;
    for (int k = 0; k < 130; ++k) {
        char line[64];
        std::snprintf(line, sizeof line, "%02d:%02d:00 30/06/2008\r\n", k / 60, k % 60);
        lines += line;
        if (k % 40 == 0) {
            lines += "garbage line\r\n12:00:00 31/02/2008\r\n";  // not a time; not a date
        }
    }
    WriteFile(dir / "splits.txt", lines);
    const OptionRecord rec = Parse({"-split", (dir / "splits.txt").string()});
    ASSERT_EQ(rec.split_count, 130);
    ASSERT_EQ(rec.split_times.size(), 130u);
    EXPECT_EQ(rec.split_times[0], 898819200u);  // 2008-06-30 00:00:00
    EXPECT_EQ(rec.split_times[129], 898819200u + 2 * 3600 + 9 * 60);

    Parse({"-split", (dir / "absent.txt").string()}, 1);
}

TEST(Options, PrecedenceOfTheAnalyses)
{
    EXPECT_EQ(Select({"-nmea", "a", "-kml", "-trk"}), AnalysisId::KmlFromNmea);
    EXPECT_EQ(Select({"-vel", "v", "-nmea", "n"}), AnalysisId::TtffFolderAnalysis);
    EXPECT_EQ(Select({"-vel", "v"}), AnalysisId::SpeedHeadingExtraction);
    EXPECT_EQ(Select({"-p", "ref.txt", "-kml"}), AnalysisId::ReferenceKml);
    EXPECT_EQ(Select({"-excel", "w", "-results", "r"}), AnalysisId::ResultsConversion);
    EXPECT_EQ(Select({"-binary", "b", "-csv", "c"}), AnalysisId::BinaryConversion);
    EXPECT_EQ(Select({"-swbugs", "s", "-rename"}), AnalysisId::TeamReport);
    EXPECT_EQ(Select({"-nmea", "n", "-startup", "-ttff"}), AnalysisId::StartupAnalysis);
    EXPECT_EQ(Select({"-nmea", "n", "-ttff", "-trk"}), AnalysisId::TtffAnalysis);
    EXPECT_EQ(Select({"-nmea", "n", "-trk", "-time"}), AnalysisId::TrackingAnalysis);
    EXPECT_EQ(Select({"-nmea", "n", "-time"}), AnalysisId::TimeStepCheck);
    EXPECT_EQ(Select({"-iode", "1", "-nmea", "n"}), AnalysisId::IodeListing);
    EXPECT_EQ(Select({"-conv", "c", "-v"}), AnalysisId::LogConversion);
    EXPECT_EQ(Select({"-v", "-d", "log"}), AnalysisId::VisibilityTest);
    EXPECT_EQ(Select({"-d", "log", "-r"}), AnalysisId::SatelliteIndexPage);
    EXPECT_EQ(Select({"-type", "gps", "-size"}), AnalysisId::DebugLogTracking);
    EXPECT_EQ(Select({"-size", "-b1", "x", "-b2", "y"}), AnalysisId::MapComparison);
    EXPECT_EQ(Select({"log.txt", "-f", "A", "-s", "B"}), AnalysisId::DebugLogSearch);
}

TEST(CommandLine, HelpAmongOtherWordsAndNumericValues)
{
    ScratchDir dir;
    // -help among other words prints the help and the run goes on to the
    // default action, the search, where the words after the log are searched
    // as text.
    WriteFile(dir / "debug.log", "line\nthe qq word\n");
    const std::string help = Navsift({"-help"}, dir.path()).out;
    const std::string program = NavsiftPath();
    RunResult r = Navsift({"debug.log", "-help", "qq"}, dir.path());
    EXPECT_EQ(r.out, help + program + " ver. 3.0.1\n00:00:00 on 00/00/0000> the qq word\n\r");
    EXPECT_EQ(r.status, 0) << r.err;

    r = Navsift({"debug.log", "qq", "-n"}, dir.path());
    EXPECT_EQ(r.out.find("ver."), std::string::npos);

    // A negative value of a numeric option is its value, not an option.
    r = Navsift({"debug.log", "qq", "-n", "-rtype", "-1", "-maxttff", "-5", "-odoscale", "-0.5"}, dir.path());
    EXPECT_EQ(r.err.find("unknown option"), std::string::npos) << r.err;
    EXPECT_EQ(r.status, 0) << r.err;
}

TEST(CommandLine, AMissingLogFolderIsAnErrorAndNothingIsMade)
{
    ScratchDir dir;
    const fs::path missing = dir / "no" / "such" / "dir";
    for (const std::vector<std::string>& extra : std::vector<std::vector<std::string>>{{"-ttff"}, {}, {"-startup"}}) {
        std::vector<std::string> words = {"-nmea", missing.string() + "/"};
        words.insert(words.end(), extra.begin(), extra.end());
        const RunResult r = Navsift(words, dir.path());
        EXPECT_EQ(r.status, 1) << words.size();
        EXPECT_NE(r.err.find("navsift: the folder " + missing.string() + "/ does not exist"), std::string::npos) << r.err;
        EXPECT_FALSE(fs::exists(dir / "no")) << "nothing is created for a folder that is not there";
    }
}

// Every analysis that reads a log, a folder of logs or a file named on the
// command line: one that is not there is named, nothing is read or written,
// and the run fails, even when the folder around a mistyped name holds other
// logs.
TEST(CommandLine, AMissingInputIsNamedAndNothingIsProcessed)
{
    ScratchDir dir;
    const fs::path logs = dir / "logs";
    fs::create_directories(logs);
    WriteFile(logs / "drive_NMEA.txt", BuildLog(Walk(12)));
    WriteFile(logs / "other_NMEA.txt", BuildLog(Walk(12, 40000)));
    const std::string before = FolderDigest(dir.path());
    const std::string gone = (dir / "gone").string() + "/";
    const std::string typo = (logs / "drvie_NMEA.txt").string();
    const std::vector<std::vector<std::string>> runs = {
        {"-vel", gone},
        {"-vel", typo, "-speedpath", (dir / "").string()},
        {"-rename", "-nmea", gone},
        {"-rename", "-nmea", typo},
        {"-nmea", typo, "-kml", "-name", "track"},
        {"-nmea", typo, "-ttff"},
        {"-nmea", typo, "-trk", "-rtype", "-1"},
        {"-nmea", typo, "-time"},
        {"-nmea", typo},
        {"-gpx", (logs / "track.gpx").string(), "-name", "track"},
        {"-conv", typo, "-o", (dir / "out.txt").string()},
        {"-results", (logs / "drive_NMEA_Results.txt").string(), "-date", "30062008"},
        {"-compare", gone},
        {"-p", gone, "-kml"},
        {"-merge", "-heading", (dir / "h.vel").string(), "-speed", (dir / "s.vel").string(), "-out",
         (dir / "").string()},
        {"-binary", (logs / "debug.bin").string()},
        {"-nmea", (logs / "").string(), "-ttff", "-e", gone},
        {"-iode", "898855200", "-e", gone},
        {"-swbugs", (logs / "bugs.csv").string()},
        {"-size", "-b1", (logs / "a.map").string(), "-b2", (logs / "b.map").string()},
        {"-d", (logs / "debug.txt").string()},
    };
    for (const std::vector<std::string>& words : runs) {
        const RunResult r = Navsift(words, dir.path());
        EXPECT_EQ(r.status, 1) << words[0] << " " << words[1];
        EXPECT_NE(r.err.find("does not exist"), std::string::npos) << words[0] << " " << words[1] << ": " << r.err;
        EXPECT_EQ(FolderDigest(dir.path()), before) << words[0] << " " << words[1] << " wrote something";
    }
}

// The options of every command the README describes.
std::vector<std::string> ReadmeOptions()
{
    const std::string readme = ReadFile(fs::path(FIXBENCH_SOURCE_DIR) / "README.md");
    static const std::regex kSpan("`([^`]*)`");
    static const std::regex kOption("(^|[\\s\\[])(-[A-Za-z][A-Za-z0-9]*)");
    std::vector<std::string> out;
    for (std::sregex_iterator it(readme.begin(), readme.end(), kSpan), end; it != end; ++it) {
        const std::string span = (*it)[1].str();
        if (!span.starts_with("navsift") && !span.starts_with("-")) {
            continue;
        }
        for (std::sregex_iterator o(span.begin(), span.end(), kOption); o != end; ++o) {
            if (std::find(out.begin(), out.end(), (*o)[2].str()) == out.end()) {
                out.push_back((*o)[2].str());
            }
        }
    }
    return out;
}

// Asked for help the way users ask programs for it: the commands and the
// options of each, as the README lists them, and a successful run that
// reads nothing.
TEST(CommandLine, HelpListsTheCommandsAndOptionsOfTheReadme)
{
    ScratchDir dir;
    const std::vector<std::string> options = ReadmeOptions();
    ASSERT_GT(options.size(), 40u);
    for (const char* word : {"-help", "--help", "-?", "-HELP", "/?"}) {
        const RunResult r = Navsift({word}, dir.path());
        EXPECT_EQ(r.status, 0) << word;
        EXPECT_EQ(r.err, "") << word;
        EXPECT_EQ(r.out.find("Extracts the satellite parameters"), std::string::npos) << word;
        for (const std::string& option : options) {
            const std::regex listed("(^|[\\s\\[])" + option + "([^A-Za-z0-9]|$)");
            EXPECT_TRUE(std::regex_search(r.out, listed)) << word << " does not list " << option;
        }
    }
    EXPECT_TRUE(fs::is_empty(dir.path()));
}

TEST(CommandLine, AMissingArgumentIsAUsageError)
{
    ScratchDir dir;
    for (const char* option : {"-nmea", "-name", "-color", "-e", "-u", "-split", "-maxttff", "-d"}) {
        const RunResult r = Navsift({"-kml", option}, dir.path());
        EXPECT_EQ(r.status, 2) << option;
        EXPECT_EQ(r.err, std::string("option ") + option +
                             " needs an argument\nnavsift -help lists the commands and their options\n");
        EXPECT_EQ(r.out, "");
    }
    EXPECT_TRUE(fs::is_empty(dir.path()));
}

TEST(CommandLine, TheFolderOfALogIsAnalysedAndNoAnalysisIsMissing)
{
    // -nmea names the working folder: a folder without logs is said to have
    // no trials, not a "not available" answer, and the run fails.
    ScratchDir dir;
    const RunResult r = Navsift({"-nmea", "./", "-startup"}, dir.path());
    EXPECT_EQ(r.status, 1) << r.err;
    EXPECT_NE(r.err.find("no trials found"), std::string::npos) << r.err;
    EXPECT_EQ(r.err.find("not available in this build"), std::string::npos) << r.err;
    EXPECT_TRUE(fs::is_empty(dir.path()));
}

TEST(CommandLine, ResultsFolderOfALogAndAMissingInput)
{
    ScratchDir dir;
    WriteFile(dir / "dev_DEBUG.txt", "x\n");
    RunResult r = Navsift({(dir / "dev_DEBUG.txt").string(), "-acq"}, dir.path());
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(fs::is_directory(dir / "dev_DEBUG_results"));

    r = Navsift({"nothing_here.txt", "-acq"}, dir.path());
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("cannot open nothing_here.txt"), std::string::npos);
    EXPECT_FALSE(fs::exists(dir / "nothing_here_results"));
}

}  // namespace
}  // namespace navsift_test
