// The tracking analysis of text debug logs through the real program: a small
// log made by hand against reviewed outputs, the cut of intervals at 4-hour
// blocks and at a new day, the optional time window of the command line, and
// the rows and lines it refuses.
#include <gtest/gtest.h>

#include <algorithm>

#include "tests/analysis/navsift_harness.h"
#include "tests/analysis/rinex_fixture.h"

namespace navsift_test {
namespace {

const fs::path kGoldenDir = fs::path(FIXBENCH_SOURCE_DIR) / "tests/analysis/golden";

constexpr int kWeek = 1486;             // 2008-06-28 to 2008-07-04
constexpr int kMonday = 86400;          // 2008-06-30 00:00:00 in the week

std::string Row(int prn, int status, char letter, double cn0)
{
    char buf[96];
    std::snprintf(buf, sizeof buf, "%3d%5d%8d%8d%7d%5d%8.2f%c%6.1f\r\n", prn, status, 120, -35, 4800, 7, 12.25,
                  letter, cn0);
    return buf;
}

// One navigation block: marker, time, position, satellite rows.
std::string Block(int tow, const std::vector<std::string>& rows, const std::string& lat = "48:07.038 N",
                  const std::string& lon = "11:31.000 E", int height = 545)
{
    std::string b = "KALMAN update 3 meas\r\n";
    b += "GPS Week " + std::to_string(kWeek) + " Time " + std::to_string(tow) + "\r\n";
    b += "Lat : " + lat + "\r\n";
    b += "Lon : " + lon + "\r\n";
    b += "Height : " + std::to_string(height) + "\r\n";
    for (const std::string& r : rows) {
        b += r;
    }
    return b;
}

class DebugLogTracking : public ::testing::Test {
protected:
    RunResult Analyse(const std::string& log_text, std::vector<std::string> extra = {})
    {
        WriteFile(dir_ / "dev_DEBUG.txt", log_text);
        std::vector<std::string> argv = {NavsiftPath(), "-d", (dir_ / "dev_DEBUG.txt").string()};
        argv.insert(argv.end(), extra.begin(), extra.end());
        return navsift_test::Run(argv, dir_.path());
    }
    fs::path Report() const { return dir_ / "report" / "tracking_analysis"; }
    std::vector<std::string> Intervals() const
    {
        std::vector<std::string> names;
        for (const auto& entry : fs::directory_iterator(Report())) {
            if (entry.is_directory()) {
                names.push_back(entry.path().filename().string());
            }
        }
        std::sort(names.begin(), names.end());
        return names;
    }

    ScratchDir dir_;
};

TEST_F(DebugLogTracking, HandMadeLogGivesTheReviewedFilesAndMessages)
{
    // 03:59:40 to 04:00:10 on 2008-06-30 and a block 4000 s later: the
    // 4-hour block ends at 03:59:59; a refused status, a CN0 of 60, a
    // position group broken by a satellite row, a fraction of one digit, and
    // a row without the D letter.
    const int t = kMonday + 4 * 3600;
    std::string log = "debug log of run 7\r\n";
    log += Block(t - 20, {Row(20, 10, 'D', 41.5), Row(9, 10, 'D', 38.0)});
    log += Block(t - 10, {Row(20, 10, 'D', 42.0), Row(9, 11, 'D', 38.0), Row(14, 10, 'D', 60.0)}, "48:07.5 N",
                 "11:31.25 W", 550);
    log += "KALMAN update 3 meas\r\nGPS Week 1486 Time " + std::to_string(t) + "\r\nLat : 10:00.000 N\r\n" +
           Row(20, 10, 'D', 43.0) + Row(9, 10, ' ', 37.5);
    log += Block(t + 10, {Row(20, 10, 'D', 44.0)});
    log += Block(t + 4010, {Row(20, 10, 'D', 45.0)});
    // Orbits of that morning, so the rows carry elevation marks.
    std::vector<NavRecord> records;
    for (int prn = 1; prn <= 32; ++prn) {
        records.push_back(Orbit(prn, kWeek, kMonday + 2 * 3600, 8, 6, 30, 2));
    }
    WriteFile(dir_ / "lab11820.08n", RinexText(ShortHeader(), records));

    const RunResult r = Analyse(log, {"-e", dir_.path().string()});
    ASSERT_EQ(r.status, 0) << r.err;
    const std::string digest = FolderDigest(Report());
    if (std::getenv("NAVSIFT_WRITE_GOLDEN") != nullptr) {
        WriteFile(kGoldenDir / "debuglog_small.txt", digest);  // for review before it is committed
    }
    EXPECT_EQ(digest, ReadFile(kGoldenDir / "debuglog_small.txt"));
    EXPECT_EQ(CountOf(r.out, "Bad Line: " + Row(9, 11, 'D', 38.0).substr(0, 46)), 1) << r.out;
    EXPECT_EQ(CountOf(r.out, "Bad Line: "), 2) << r.out;
    EXPECT_EQ(CountOf(r.out, "WARMING TIME GAP: GPS Week 1486 Time " + std::to_string(t + 4010) + "\n"), 1)
        << r.out;
    EXPECT_EQ(r.out.find("BAD time"), std::string::npos);
}

TEST_F(DebugLogTracking, FourHourBlocksAndANewDayCutTheIntervals)
{
    // Every 10 minutes from 01:30 to 06:10, then 23:59:59 and 00:00:00 of
    // the next day.
    std::string log;
    for (int s = 5400; s <= 6 * 3600 + 600; s += 600) {
        log += Block(kMonday + s, {Row(5, 10, 'D', 40.0)});
    }
    log += Block(kMonday + 86399, {Row(5, 10, 'D', 40.0)});
    log += Block(kMonday + 86400, {Row(5, 10, 'D', 40.0)});
    const RunResult r = Analyse(log);
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(Intervals(), (std::vector<std::string>{
                               "satdata_from_000000_01072008_to_000000_01072008",
                               "satdata_from_013000_30062008_to_035000_30062008",
                               "satdata_from_040000_30062008_to_061000_30062008",
                               "satdata_from_235959_30062008_to_235959_30062008",
                           }));
    EXPECT_EQ(CountOf(ReadFile(Report() / Intervals()[1] / "sat05.txt"), "\r\n"), 15);
    EXPECT_EQ(CountOf(ReadFile(Report() / Intervals()[2] / "sat05.txt"), "\r\n"), 14);
    // Each block's position under its own time.
    EXPECT_EQ(ReadFile(Report() / Intervals()[3] / "pos.txt"), "23,59,59,48.117300,11.516667,0,545.000000,0,0,0\r\n");
    const std::string index = ReadFile(Report() / "index.html");
    EXPECT_EQ(CountOf(index, "<a href=\"satdata_from_"), 4);
    EXPECT_NE(index.find("The log ends at 000000_01072008"), std::string::npos);
    EXPECT_EQ(CountOf(ReadFile(Report() / "tracking_analysis_report.tex"), "\\input{satdata_from_"), 4);
}

TEST_F(DebugLogTracking, TimeWindowOfTheCommandLineOnlyWhenBothWordsAreNumbers)
{
    std::string log;
    for (int k = 0; k < 6; ++k) {
        log += Block(kMonday + 36000 + 60 * k, {Row(5, 10, 'D', 40.0)});
    }
    const int32_t base = kWeek * 604800 + kMonday + 36000;
    // Upper and lower bound: the second to the fourth block.
    RunResult r = Analyse(log, {std::to_string(base + 200), std::to_string(base + 30)});
    ASSERT_EQ(r.status, 0) << r.err;
    ASSERT_EQ(Intervals().size(), 1u);
    EXPECT_EQ(Intervals()[0], "satdata_from_100100_30062008_to_100300_30062008");
    EXPECT_EQ(CountOf(ReadFile(Report() / Intervals()[0] / "sat05.txt"), "\r\n"), 3)
        << "rows after a time outside the window are not taken";

    // Words that are options or missing give no window.
    fs::remove_all(dir_ / "report");
    r = Analyse(log, {"-e", dir_.path().string()});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(CountOf(ReadFile(Report() / Intervals()[0] / "sat05.txt"), "\r\n"), 6);
    fs::remove_all(dir_ / "report");
    r = Analyse(log, {"12345"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(CountOf(ReadFile(Report() / Intervals()[0] / "sat05.txt"), "\r\n"), 6);
}

TEST_F(DebugLogTracking, RefusedInputsAndOutputs)
{
    RunResult r = navsift_test::Run({NavsiftPath(), "-d", (dir_ / "none.txt").string()}, dir_.path());
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("none.txt"), std::string::npos);

    r = Analyse(Block(kMonday + 100, {Row(5, 10, 'D', 40.0)}), {"-rtype", "9"});
    EXPECT_EQ(r.status, 2);

    fs::remove_all(dir_ / "report");
    WriteFile(dir_ / "report", "in the way");
    r = Analyse(Block(kMonday + 100, {Row(5, 10, 'D', 40.0)}));
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("report/tracking_analysis"), std::string::npos) << r.err;

    // A block whose time jumps two days ahead of the previous one.
    fs::remove(dir_ / "report");
    std::string log = Block(kMonday + 100, {Row(5, 10, 'D', 40.0)});
    log += "KALMAN x\r\nGPS Week 1486 Time " + std::to_string(kMonday + 100 + 172800) + "\r\n" + Row(5, 10, 'D', 40.0);
    r = Analyse(log);
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(CountOf(r.out, "BAD time decoded!!\n"), 0) << "a new day starts a new interval instead";
}

}  // namespace
}  // namespace navsift_test
