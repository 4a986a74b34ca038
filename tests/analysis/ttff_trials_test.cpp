// The trials of a TTFF session as the bench runs them: a receiver that
// fixes again soon after a restart, so that one trial's fix lies within the
// epochs read after the trial before; and several receivers whose files of
// one start type lie in one folder, in whatever order it lists them.
#include <gtest/gtest.h>

#include <map>
#include <set>

#include "tests/analysis/navsift_harness.h"
#include "tests/analysis/qnv_logs.h"

namespace navsift_test {
namespace {

// 10:00:00 UTC on Saturday 2008-06-28; GPS time runs 14 s ahead.
constexpr int kFirstSod = 36000;
constexpr double kTowAtSod0 = 6 * 86400.0 + 14;

using Trial = QnvTrial;

// One epoch a second; each trial starts without a fix. `north` moves the
// receiver so that two devices' data tell apart.
std::vector<QnvEpoch> Session(const std::vector<Trial>& trials, double north = 0)
{
    return QnvSession(trials, kFirstSod, kTowAtSod0, [north](QnvEpoch& e) {
        e.latitude = 48.1 + north + 0.0001 * (e.sod - kFirstSod);
        e.longitude = 11.5 + 0.0001 * (e.sod - kFirstSod);
    });
}

// The bench's results line of a trial: its TTFF and the GGA of its fix.
std::string ResultsLine(int ttff, int trial, const QnvEpoch& fix)
{
    const std::string text = QnvEpochText(fix);
    const std::size_t gga = text.find("$GPGGA");
    return std::to_string(ttff) + ".00\t% " + std::to_string(trial) + "\t" +
           text.substr(gga, text.find("\r\n", gga) + 2 - gga);
}

std::string Results(const std::vector<Trial>& trials, const std::vector<QnvEpoch>& epochs)
{
    std::string out;
    std::size_t at = 0;
    int n = 0;
    for (const Trial& t : trials) {
        out += ResultsLine(t.no_fix, ++n, epochs[at + static_cast<std::size_t>(t.no_fix)]);
        at += static_cast<std::size_t>(t.no_fix + t.fixed);
    }
    return out;
}

// Writes one device's session of `trials` (its log and results file) into
// logs/ of `dir` under `test`'s names and runs the TTFF folder analysis.
RunResult RunTtffFolder(const ScratchDir& dir, const std::vector<Trial>& trials, const std::string& test)
{
    const std::vector<QnvEpoch> epochs = Session(trials);
    fs::create_directories(dir / "logs");
    WriteFile(dir / "logs" / ("Dev_TTFF_" + test + "_NMEA.txt"), QnvLog(epochs));
    WriteFile(dir / "logs" / ("Dev_TTFF_" + test + "_NMEA_Results.txt"), Results(trials, epochs));
    return Navsift({"-nmea", "logs/", "-ttff"}, dir.path());
}

int GpsSecond(int sod) { return static_cast<int>(1485 * 604800 + kTowAtSod0 + sod); }

// A receiver that fixes 3 s after its second restart, 4 s after its first
// fix: trial 2's fix is one of the 12 epochs read after trial 1's.
TEST(TtffTrials, AFixSoonAfterTheTrialBeforeIsFoundAndThatTrialStopsAtItsRestart)
{
    ScratchDir dir;
    const std::vector<Trial> trials = {{5, 4}, {3, 20}, {6, 15}};
    const RunResult r = RunTtffFolder(dir, trials, "COLD");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err.find("not found"), std::string::npos) << r.err;

    const fs::path out = dir / "logs" / "report" / "ttff_analysis" / "COLD";
    const std::vector<std::vector<std::string>> lines = WordRows(ReadFile(out / "fix_info_Dev_TTFF_COLD_NMEA_Results.txt"));
    ASSERT_EQ(lines.size(), 3u);
    // Each trial's fix epoch is its own.
    const int fix_sod[3] = {kFirstSod + 5, kFirstSod + 9 + 3, kFirstSod + 32 + 6};
    for (int k = 0; k < 3; ++k) {
        ASSERT_EQ(lines[k].size(), 39u) << k;
        EXPECT_EQ(lines[k][2], std::to_string(GpsSecond(fix_sod[k]))) << "trial " << k + 1;
    }
    // Trial 1's receiver was restarted at 10:00:09, before its 6th epoch
    // after the fix: what it shows after that is not trial 1's, so it is zero.
    for (std::size_t c = 14; c < 38; ++c) {
        EXPECT_EQ(std::stod(lines[0][c]), 0.0) << "column " << c + 1 << " of trial 1";
    }
    EXPECT_NE(r.err.find("trial 1: the next trial starts at 10:00:09, less than 12 epochs after the fix at 10:00:05"),
              std::string::npos)
        << r.err;
    // Trial 2 had all its 12 epochs before trial 3's restart.
    EXPECT_EQ(lines[1][14], std::to_string(GpsSecond(fix_sod[1] + 6)));
    EXPECT_EQ(lines[1][26], std::to_string(GpsSecond(fix_sod[1] + 12)));

    // Every epoch read has one row, counted in order, although the epochs
    // after a fix are read again for the next trial.
    const std::vector<std::vector<std::string>> rows =
        WordRows(ReadFile(out / "global_info_Dev_TTFF_COLD_NMEA_Results.txt"));
    ASSERT_FALSE(rows.empty());
    std::set<std::string> seconds;
    for (std::size_t k = 0; k < rows.size(); ++k) {
        EXPECT_TRUE(seconds.insert(rows[k][1]).second) << "a second written twice: " << rows[k][1];
        if (k > 0) {
            EXPECT_EQ(std::stoi(rows[k][0]), std::stoi(rows[k - 1][0]) + 1) << "row " << k;
        }
    }
}

// Given trial 2 alone, the analysis finds it where it finds it within the
// session: the fix is the same epoch either way.
TEST(TtffTrials, ATrialFoundAloneIsFoundTheSameWithinTheSession)
{
    ScratchDir dir;
    const std::vector<Trial> trials = {{5, 4}, {3, 20}};
    const std::vector<QnvEpoch> epochs = Session(trials);
    const std::string results = Results(trials, epochs);
    fs::create_directories(dir / "all");
    fs::create_directories(dir / "alone");
    for (const char* folder : {"all", "alone"}) {
        WriteFile(dir / folder / "Dev_TTFF_HOT_NMEA.txt", QnvLog(epochs));
    }
    WriteFile(dir / "all" / "Dev_TTFF_HOT_NMEA_Results.txt", results);
    WriteFile(dir / "alone" / "Dev_TTFF_HOT_NMEA_Results.txt", results.substr(results.find("\r\n") + 2));
    for (const char* folder : {"all/", "alone/"}) {
        const RunResult r = Navsift({"-nmea", folder, "-ttff"}, dir.path());
        ASSERT_EQ(r.status, 0) << folder << r.err;
    }
    const auto fix = [&](const char* folder, std::size_t line) {
        return WordRows(ReadFile(dir / folder / "report" / "ttff_analysis" / "HOT" /
                                 "fix_info_Dev_TTFF_HOT_NMEA_Results.txt"))
            .at(line);
    };
    const std::vector<std::string> within = fix("all", 1), alone = fix("alone", 0);
    EXPECT_EQ(within[2], std::to_string(GpsSecond(kFirstSod + 12)));
    EXPECT_EQ(std::vector<std::string>(within.begin() + 2, within.end()),
              std::vector<std::string>(alone.begin() + 2, alone.end()));
}

// Two receivers of one start type, named so that the folder lists them in
// one order and then the other: each file names the device of its data.
// A session stopped right after the receiver's last fix: that fix is the
// log's last epoch, and it is found and written like any other.
TEST(TtffTrials, AFixInTheLogsLastEpochIsFound)
{
    ScratchDir dir;
    const std::vector<Trial> trials = {{5, 15}, {4, 1}};
    const RunResult r = RunTtffFolder(dir, trials, "WARM");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err.find("not found"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("trial 2: the log ends less than 12 epochs after the fix at 10:00:24"), std::string::npos)
        << r.err;

    const fs::path out = dir / "logs" / "report" / "ttff_analysis" / "WARM";
    const std::vector<std::vector<std::string>> lines = WordRows(ReadFile(out / "fix_info_Dev_TTFF_WARM_NMEA_Results.txt"));
    ASSERT_EQ(lines.size(), 2u);
    ASSERT_EQ(lines[1].size(), 39u);
    EXPECT_EQ(lines[1][2], std::to_string(GpsSecond(kFirstSod + 24)));
    EXPECT_EQ(lines[1][6], "1") << "the fix epoch's fix quality";
    // The last epoch has its global_info row too, stamped with its RMC's
    // UTC second (GPS time runs 14 s ahead here).
    const std::vector<std::vector<std::string>> rows =
        WordRows(ReadFile(out / "global_info_Dev_TTFF_WARM_NMEA_Results.txt"));
    ASSERT_FALSE(rows.empty());
    EXPECT_EQ(rows.back()[1], std::to_string(GpsSecond(kFirstSod + 24) - 14));
}

TEST(TtffTrials, EachOutputFileIsNamedByTheDeviceAndTestOfItsData)
{
    for (const auto& devices : {std::vector<std::string>{"GPS1", "GPS2"}, std::vector<std::string>{"ZED", "ALPHA"}}) {
        ScratchDir dir;
        fs::create_directories(dir / "logs");
        const std::vector<Trial> trials = {{7, 20}};
        std::map<std::string, double> north;
        for (std::size_t d = 0; d < devices.size(); ++d) {
            north[devices[d]] = 0.01 * static_cast<double>(d + 1);
            const std::vector<QnvEpoch> epochs = Session(trials, north[devices[d]]);
            for (const char* suffix : {"", "_PW-130"}) {
                const std::string log = devices[d] + "_TTFF_COLD_NMEA" + suffix + ".txt";
                const std::string results = devices[d] + "_TTFF_COLD_NMEA_Results" + suffix + ".txt";
                WriteFile(dir / "logs" / log, QnvLog(epochs));
                WriteFile(dir / "logs" / results, Results(trials, epochs));
            }
        }
        WriteRinexSaturday(dir / "rinex");
        const RunResult with_rinex = Navsift({"-nmea", "logs/", "-e", "rinex/"}, dir.path());
        ASSERT_EQ(with_rinex.status, 0) << with_rinex.err;
        for (const std::string& device : devices) {
            SCOPED_TRACE(device);
            const double latitude = 48.1 + north[device] + 0.0007;  // its fix, 7 s in
            char lat[32];
            std::snprintf(lat, sizeof lat, "%.6f", latitude);
            for (const auto& [folder, suffix] : {std::pair<std::string, std::string>{"ttff_analysis", ""},
                                                 std::pair<std::string, std::string>{"sensitivity_analysis", "_PW-130"}}) {
                const fs::path out = dir / "logs" / "report" / folder / "COLD";
                const std::string stem = device + "_TTFF_COLD_NMEA_Results" + suffix + ".txt";
                const std::vector<std::vector<std::string>> fix = WordRows(ReadFile(out / ("fix_info_" + stem)));
                ASSERT_EQ(fix.size(), 1u) << stem;
                EXPECT_EQ(fix[0][3], lat) << "fix_info_" << stem << " holds another device's data";
                const std::vector<std::vector<std::string>> rows = WordRows(ReadFile(out / ("global_info_" + stem)));
                ASSERT_FALSE(rows.empty());
                EXPECT_EQ(rows.back()[3].substr(0, 5), std::string(lat).substr(0, 5)) << "global_info_" << stem;
                EXPECT_GT(fs::file_size(out / ("sat_visibility_" + stem)), 0u) << stem;
            }
        }
        // Nothing under a name that does not say whose it is.
        for (const fs::directory_entry& e : fs::recursive_directory_iterator(dir / "logs" / "report")) {
            const std::string name = e.path().filename().string();
            if (e.is_regular_file()) {
                EXPECT_TRUE(name.find(devices[0]) != std::string::npos || name.find(devices[1]) != std::string::npos)
                    << name;
            }
        }
    }
}

}  // namespace
}  // namespace navsift_test
