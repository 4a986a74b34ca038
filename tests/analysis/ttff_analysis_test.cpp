// The TTFF and sensitivity analyses: the bench's names as a table, a folder
// of generated logs with their results files (both sentence orders give the
// same bytes, compared with reviewed copies), and the faults of real logs:
// a missing sentence at a fix, a log cut short, power levels and devices
// side by side, look-alike results names.
#include <gtest/gtest.h>

#include <cstdlib>

#include <sstream>

#include <set>

#include "analysis/analyses/ttff_analysis.h"
#include "analysis/core/text_util.h"
#include "tests/analysis/navsift_harness.h"
#include "tests/analysis/qnv_logs.h"

namespace navsift_test {
namespace {

using namespace navsift;

const fs::path kGolden = fs::path(FIXBENCH_SOURCE_DIR) / "tests/analysis/golden";

// ------------------------------------------------------------ names

TEST(TtffNames, KindsResultsNamesStartTypesAndOutputs)
{
    EXPECT_EQ(classify_log_name("Dev_TTFF_HOT_NMEA.txt", false).kind, LogKind::Ttff);
    const LogName pw = classify_log_name("Dev_TTFF_COLD_NMEA_PW-130.txt", false);
    EXPECT_EQ(pw.kind, LogKind::Sensitivity);
    EXPECT_EQ(pw.power_level, -130);
    EXPECT_EQ(classify_log_name("Dev_TTFF_HOT_NMEA_Results.txt", false).kind, LogKind::None);
    EXPECT_EQ(classify_log_name("Dev_TTFF_COLD_NMEA_Results_PW-130.txt", false).kind, LogKind::None);
    EXPECT_EQ(classify_log_name("Dev_TTFF_SYNC_HOT_NMEA_UTC30.txt", false).kind, LogKind::None);
    EXPECT_EQ(classify_log_name("Dev_TTFF_COLD_NMEA_SatPW-150_PW-130.txt", false).kind, LogKind::None);
    EXPECT_EQ(classify_log_name("Dev_TTFF_HOT_nmea.txt", false).kind, LogKind::None) << "case-sensitive";
    EXPECT_EQ(classify_log_name("Site_TRACK24H_NMEA.txt", true).kind, LogKind::Tracking);
    EXPECT_EQ(classify_log_name("Site_TRACK24H_NMEA.txt", false).kind, LogKind::Ttff);

    EXPECT_EQ(results_name_of("Dev_TTFF_HOT_NMEA.txt", classify_log_name("Dev_TTFF_HOT_NMEA.txt", false)),
              "Dev_TTFF_HOT_NMEA_Results.txt");
    EXPECT_EQ(results_name_of("Dev_TTFF_COLD_NMEA_PW-130.txt", pw), "Dev_TTFF_COLD_NMEA_Results_PW-130.txt");

    EXPECT_EQ(start_type_of("Dev_TTFF_HOT_NMEA.txt"), "HOT");
    EXPECT_EQ(start_type_of("Dev_TTFF_WARM_NMEA.txt"), "WARM");
    EXPECT_EQ(start_type_of("Dev_TTFF_COLD_NMEA_PW-130.txt"), "COLD");
    EXPECT_EQ(start_type_of("HOT_box_TTFF_COLD_NMEA.txt"), "COLD") << "the key holds _NMEA";
    EXPECT_EQ(start_type_of("Dev_TTFF_BAD_POSITION_NMEA.txt"), "BAD_POSITION");
    EXPECT_EQ(start_type_of("Dev_TTTR_TUNNELREACQUIRE_NMEA.txt"), "TUNNELREACQUIRE");
    EXPECT_EQ(start_type_of("odd_NMEA.txt"), "OTHER");

    EXPECT_EQ(output_folder_of("logs/", classify_log_name("a_HOT_NMEA.txt", false), "HOT"),
              "logs/report/ttff_analysis/HOT/");
    EXPECT_EQ(output_folder_of("", pw, "COLD"), "report/sensitivity_analysis/COLD/");

    // Named by the device and test of their data.
    PairOutputs o = pair_output_names("Dev_TTFF_HOT_NMEA_Results.txt");
    EXPECT_EQ(o.global_info, "global_info_Dev_TTFF_HOT_NMEA_Results.txt");
    EXPECT_EQ(o.fix_info, "fix_info_Dev_TTFF_HOT_NMEA_Results.txt");
    EXPECT_EQ(o.visibility, "sat_visibility_Dev_TTFF_HOT_NMEA_Results.txt");
    o = pair_output_names("Dev_TTFF_COLD_NMEA_Results_PW-130.txt");
    EXPECT_EQ(o.visibility, "sat_visibility_Dev_TTFF_COLD_NMEA_Results_PW-130.txt");
    o = pair_output_names("GPS2_TTFF_HOT_NMEA_Results.txt");
    EXPECT_EQ(o.fix_info, "fix_info_GPS2_TTFF_HOT_NMEA_Results.txt");
    o = pair_output_names("Dev_TTFF_BAD_NCO_NMEA_Results.txt");
    EXPECT_EQ(o.global_info, "Dev_TTFF_BAD_NCO_NMEA_Results_global_info.txt");
    EXPECT_EQ(o.fix_info, "Dev_TTFF_BAD_NCO_NMEA_Results_fix_info.txt");

    const std::vector<std::string> listed = {"a_dev_TTFF_COLD_NMEA_Results.txt", "dev_TTFF_COLD_NMEA_Results.txt",
                                             "x_other_HOT_NMEA_Results.txt"};
    EXPECT_EQ(find_results_file(listed, "dev_TTFF_COLD_NMEA_Results.txt"), "dev_TTFF_COLD_NMEA_Results.txt");
    EXPECT_EQ(find_results_file(listed, "other_HOT_NMEA_Results.txt"), "x_other_HOT_NMEA_Results.txt");
    EXPECT_EQ(find_results_file(listed, "GPS1_TTFF_HOT_NMEA_Results.txt"), "");
}

// ------------------------------------------------------------ a folder of logs

// Second of day 36000 is 10:00:00 UTC on Saturday 2008-06-28; GPS time runs
// 14 s ahead.
constexpr double kTowAtSod0 = 6 * 86400.0 + 14;

using TrialPlan = QnvTrial;

// One epoch a second from 36000; the receiver walks north-east while it has
// a fix, and its satellites' CN0 wander by a dB-Hz.
std::vector<QnvEpoch> SessionEpochs(const std::vector<TrialPlan>& plan, bool rmc_first)
{
    return QnvSession(plan, 36000, kTowAtSod0, [rmc_first](QnvEpoch& e) {
        const int sod = e.sod;
        e.latitude = 48.1173 + 0.00001 * (sod - 36000);
        e.longitude = 11.5167 + 0.00002 * (sod - 36000);
        e.altitude = 540 + (sod - 36000) % 7;
        e.rmc_first = rmc_first;
        e.sats = {{3, 40 + sod % 2}, {5, 38}, {6, 44 - sod % 2}, {7, 35}, {8, 31 + sod % 3}};
    });
}

// The bench's results line: TTFF, trial, and the GGA of the fix.
std::string ResultsLine(const std::string& ttff, int trial, const QnvEpoch& fix_epoch)
{
    const std::string text = QnvEpochText(fix_epoch);
    const std::size_t gga = text.find("$GPGGA");
    return ttff + "\t% " + std::to_string(trial) + "\t" + text.substr(gga, text.find("\r\n", gga) + 2 - gga);
}

// Three trials: a fix after 35 s, a timeout, a fix after 41 s.
const std::vector<TrialPlan> kPlan = {{35, 20}, {21, 0}, {41, 24}};

std::string ResultsOf(const std::vector<QnvEpoch>& epochs)
{
    return ResultsLine("35.20", 1, epochs[35]) + ResultsLine("300.00", 2, epochs[55 + 20]) +
           ResultsLine("41.00", 3, epochs[76 + 41]);
}

std::vector<std::string> Lines(const std::string& text)
{
    std::vector<std::string> out;
    for (std::size_t at = 0; at < text.size();) {
        const std::size_t end = text.find("\r\n", at);
        if (end == std::string::npos) {
            out.push_back(text.substr(at));
            break;
        }
        out.push_back(text.substr(at, end + 2 - at));
        at = end + 2;
    }
    return out;
}

int Values(const std::string& line)
{
    int n = 0;
    bool in_word = false;
    for (char c : line) {
        const bool blank = c == ' ' || c == '\r' || c == '\n';
        n += !blank && !in_word;
        in_word = !blank;
    }
    return n;
}

class TtffFolder : public ::testing::Test {
protected:
    void SetUp() override { WriteRinexSaturday(dir_ / "rinex"); }

    void WritePair(const std::string& log_name, const std::string& results_name, const std::string& log,
                   const std::string& results)
    {
        fs::create_directories(dir_ / "logs");
        WriteFile(dir_ / "logs" / log_name, log);
        WriteFile(dir_ / "logs" / results_name, results);
    }

    RunResult Navsift(std::vector<std::string> extra)
    {
        std::vector<std::string> argv = {NavsiftPath(), "-nmea", "logs/"};
        argv.insert(argv.end(), extra.begin(), extra.end());
        return navsift_test::Run(argv, dir_.path());
    }

    std::string Out(const std::string& sub, const std::string& name) const
    {
        return ReadFile(dir_ / "logs" / "report" / sub / name);
    }

    ScratchDir dir_;
};

TEST_F(TtffFolder, FixInfoAndGlobalInfoOfBothSentenceOrdersMatchTheReviewedFiles)
{
    for (const bool rmc_first : {false, true}) {
        SCOPED_TRACE(rmc_first ? "RMC-led" : "GGA-led");
        const std::vector<QnvEpoch> epochs = SessionEpochs(kPlan, rmc_first);
        WritePair("Dev_TTFF_HOT_NMEA.txt", "Dev_TTFF_HOT_NMEA_Results.txt", QnvLog(epochs), ResultsOf(epochs));
        WriteFile(dir_ / "logs" / "notes.txt", "not a log\n");
        const RunResult r = Navsift({"-ttff", "-e", "rinex/"});
        EXPECT_EQ(r.status, 0) << r.err;
        EXPECT_EQ(r.out, "Reading the folder logs/: 3 logs (*.txt)\nDev_TTFF_HOT_NMEA.txt\nProcessing Dev_TTFF_HOT_NMEA.txt...\n");
        const std::string fix_info = Out("ttff_analysis/HOT", "fix_info_Dev_TTFF_HOT_NMEA_Results.txt");
        if (std::getenv("NAVSIFT_WRITE_GOLDEN") != nullptr && !rmc_first) {
            // For review before it is committed.
            WriteFile(kGolden / "ttff_fix_info.txt", fix_info);
            WriteFile(kGolden / "ttff_global_info.txt", Out("ttff_analysis/HOT", "global_info_Dev_TTFF_HOT_NMEA_Results.txt"));
        }
        EXPECT_EQ(fix_info, ReadFile(kGolden / "ttff_fix_info.txt"));
        EXPECT_EQ(Out("ttff_analysis/HOT", "global_info_Dev_TTFF_HOT_NMEA_Results.txt"),
                  ReadFile(kGolden / "ttff_global_info.txt"));
        for (const std::string& line : Lines(fix_info)) {
            EXPECT_EQ(Values(line), 39) << line;
        }
        // The timeout's line: trial and TTFF, then zeros in every column
        // the last value.
        const std::vector<std::string> lines = Lines(fix_info);
        ASSERT_EQ(lines.size(), 3u);
        EXPECT_EQ(lines[1].substr(0, 21), "         2    300.000");
        EXPECT_EQ(lines[1].size(), lines[0].size());
        // The row of every epoch read, and a visibility row with it.
        const std::string rows = Out("ttff_analysis/HOT", "sat_visibility_Dev_TTFF_HOT_NMEA_Results.txt");
        EXPECT_EQ(rows.size() % 77, 0u);
        EXPECT_GT(rows.size() / 77, 100u);
        fs::remove_all(dir_ / "logs");
    }
}

// A receiver at 27 S 153 E, and one at 27 S 153 W, whose garbled altitude
// puts it a million metres and more below the ellipsoid: the latitude, the
// longitude and the height fill their columns, and a reader that splits the
// lines at blanks still gets all 39 values of fix_info and all 19 of
// global_info, the positions among them.
TEST_F(TtffFolder, SouthernAndFarEasternOrWesternPositionsStayApartFromTheirNeighbours)
{
    for (const double lon : {153.052328, -153.052328}) {
        std::vector<QnvEpoch> epochs = SessionEpochs(kPlan, false);
        for (QnvEpoch& e : epochs) {
            e.latitude = -27.210867;
            e.longitude = lon;
            e.altitude = lon > 0 ? -99999.9 : 99999.9;  // about the greatest heights on the earth
        }
        WritePair("Dev_TTFF_HOT_NMEA.txt", "Dev_TTFF_HOT_NMEA_Results.txt", QnvLog(epochs), ResultsOf(epochs));
        const RunResult r = Navsift({"-ttff"});
        EXPECT_EQ(r.status, 0) << r.err;
        const std::vector<std::string> lines = Lines(Out("ttff_analysis/HOT", "fix_info_Dev_TTFF_HOT_NMEA_Results.txt"));
        ASSERT_EQ(lines.size(), 3u);
        for (const std::string& line : lines) {
            EXPECT_EQ(Values(line), 39) << line;
        }
        for (const std::size_t k : {0u, 2u}) {
            std::istringstream words(lines[k]);
            std::vector<double> v;
            for (double x; words >> x;) {
                v.push_back(x);
            }
            ASSERT_EQ(v.size(), 39u) << lines[k];
            for (const std::size_t at : {3u, 15u, 27u}) {
                EXPECT_NEAR(v[at], -27.210867, 1e-5) << lines[k];
                EXPECT_NEAR(v[at + 1], lon, 1e-5) << lines[k];
            }
        }
        const std::string global_info = Out("ttff_analysis/HOT", "global_info_Dev_TTFF_HOT_NMEA_Results.txt");
        const std::vector<std::vector<std::string>> rows = WordRows(global_info);
        ASSERT_GT(rows.size(), 10u);
        int fixed = 0;
        for (const std::vector<std::string>& row : rows) {
            ASSERT_EQ(row.size(), 19u) << global_info;
            if (row[6] != "0") {
                ++fixed;
                EXPECT_NEAR(std::stod(row[3]), -27.210867, 1e-5);
                EXPECT_NEAR(std::stod(row[4]), lon, 1e-5);
                EXPECT_EQ(row[5], lon > 0 ? "-99999.900" : "99999.900");
            }
        }
        EXPECT_GT(fixed, 10);
        fs::remove_all(dir_ / "logs");
    }
}

TEST_F(TtffFolder, AMaximumTtffTurnsSlowerTrialsIntoZeroLines)
{
    const std::vector<QnvEpoch> epochs = SessionEpochs(kPlan, false);
    WritePair("Dev_TTFF_HOT_NMEA.txt", "Dev_TTFF_HOT_NMEA_Results.txt", QnvLog(epochs), ResultsOf(epochs));
    const RunResult r = Navsift({"-ttff", "-maxttff", "40", "-e", "rinex/"});
    EXPECT_EQ(r.status, 0) << r.err;
    const std::vector<std::string> lines = Lines(Out("ttff_analysis/HOT", "fix_info_Dev_TTFF_HOT_NMEA_Results.txt"));
    const std::vector<std::string> golden = Lines(ReadFile(kGolden / "ttff_fix_info.txt"));
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(lines[0], golden[0]);
    EXPECT_EQ(lines[1], golden[1]);
    EXPECT_EQ(lines[2], "         3     41.000" + lines[1].substr(21));
}

TEST_F(TtffFolder, AFixEpochMissingFromTheLogLosesOnlyItsOwnTrial)
{
    std::vector<QnvEpoch> epochs = SessionEpochs(kPlan, true);
    const std::string results = ResultsOf(epochs);
    epochs[35].rmc = false;  // the RMC that leads the first fix epoch is lost
    WritePair("Dev_TTFF_HOT_NMEA.txt", "Dev_TTFF_HOT_NMEA_Results.txt", QnvLog(epochs), results);
    const RunResult r = Navsift({"-ttff", "-e", "rinex/"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.err.find("trial 1: fix time 10:00:35 not found in the log"), std::string::npos) << r.err;
    const std::vector<std::string> lines = Lines(Out("ttff_analysis/HOT", "fix_info_Dev_TTFF_HOT_NMEA_Results.txt"));
    const std::vector<std::string> golden = Lines(ReadFile(kGolden / "ttff_fix_info.txt"));
    ASSERT_EQ(lines.size(), 3u);
    // Marked: the fix epoch's GPS second is -1.
    EXPECT_EQ(lines[0].substr(0, 34), "         1     35.200           -1");
    EXPECT_EQ(Values(lines[0]), 39);
    EXPECT_EQ(lines[2], golden[2]) << "the later trial is analysed as before";
}

TEST_F(TtffFolder, AResultsLineWithoutFixTimeIsMarkedAndTheRestGoOn)
{
    const std::vector<QnvEpoch> epochs = SessionEpochs(kPlan, false);
    std::string results = ResultsOf(epochs);
    const std::size_t time = results.find("$GPGGA,") + 7;
    results.erase(time, results.find(',', time) - time);  // "$GPGGA,,4807..."
    WritePair("Dev_TTFF_HOT_NMEA.txt", "Dev_TTFF_HOT_NMEA_Results.txt", QnvLog(epochs), results);
    const RunResult r = Navsift({"-ttff", "-e", "rinex/"});
    EXPECT_NE(r.err.find("trial 1: the results line holds no fix time"), std::string::npos) << r.err;
    const std::vector<std::string> lines = Lines(Out("ttff_analysis/HOT", "fix_info_Dev_TTFF_HOT_NMEA_Results.txt"));
    const std::vector<std::string> golden = Lines(ReadFile(kGolden / "ttff_fix_info.txt"));
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(lines[0].substr(0, 34), "         1     35.200           -1");
    EXPECT_EQ(lines[2], golden[2]);
}

TEST_F(TtffFolder, ALogCutShortCompletesItsLineAndMarksTheTrialsAfterIt)
{
    const std::vector<QnvEpoch> all = SessionEpochs(kPlan, false);
    // The log ends five epochs after the first fix.
    const std::vector<QnvEpoch> cut(all.begin(), all.begin() + 35 + 6);
    WritePair("Dev_TTFF_HOT_NMEA.txt", "Dev_TTFF_HOT_NMEA_Results.txt", QnvLog(cut), ResultsOf(all));
    const RunResult r = Navsift({"-ttff"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.err.find("trial 1: the log ends less than 12 epochs after the fix"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("trial 3: fix time 10:01:57 not found in the log"), std::string::npos) << r.err;
    const std::vector<std::string> lines = Lines(Out("ttff_analysis/HOT", "fix_info_Dev_TTFF_HOT_NMEA_Results.txt"));
    ASSERT_EQ(lines.size(), 3u);
    for (const std::string& line : lines) {
        EXPECT_EQ(Values(line), 39) << line;
        EXPECT_EQ(line.substr(line.size() - 2), "\r\n");
    }
    // The fix epoch is there; what the log lacks is zero.
    EXPECT_EQ(lines[0].substr(22, 12), Format("%12d", static_cast<int>(1485 * 604800 + kTowAtSod0 + 36035)));
    EXPECT_EQ(lines[1].substr(0, 34), "         2    300.000            0") << "a timeout stays a timeout";
    EXPECT_EQ(lines[2].substr(0, 34), "         3     41.000           -1");
}

TEST_F(TtffFolder, AFixTimeAfterTheEndOfTheLogDoesNotUseUpTheTrialsAfterIt)
{
    const std::vector<QnvEpoch> epochs = SessionEpochs(kPlan, false);
    // Trial 1's line names a fix an hour after the log ends (a bench whose
    // clock was wrong); trial 3's fix is in the log.
    QnvEpoch late = epochs[35];
    late.sod = epochs.back().sod + 3600;
    const std::string results =
        ResultsLine("35.20", 1, late) + ResultsLine("300.00", 2, epochs[55 + 20]) + ResultsLine("41.00", 3, epochs[76 + 41]);
    WritePair("Dev_TTFF_HOT_NMEA.txt", "Dev_TTFF_HOT_NMEA_Results.txt", QnvLog(epochs), results);
    const RunResult r = Navsift({"-ttff"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.err.find("trial 1: fix time 11:02:20 not found in the log"), std::string::npos) << r.err;
    EXPECT_EQ(r.err.find("after the end of the log"), std::string::npos) << r.err;
    const std::vector<std::string> lines = Lines(Out("ttff_analysis/HOT", "fix_info_Dev_TTFF_HOT_NMEA_Results.txt"));
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(lines[0].substr(0, 34), "         1     35.200           -1");
    EXPECT_EQ(lines[2].substr(0, 34),
              Format("         3     41.000 %12d", static_cast<int>(1485 * 604800 + kTowAtSod0 + 36000 + 76 + 41)));
    // Every epoch has its one global_info row, the first without a gap.
    const std::vector<std::string> rows = Lines(Out("ttff_analysis/HOT", "global_info_Dev_TTFF_HOT_NMEA_Results.txt"));
    std::set<std::string> seconds;
    for (const std::string& row : rows) {
        EXPECT_TRUE(seconds.insert(row.substr(10, 13)).second) << "written twice: " << row;
    }
    ASSERT_FALSE(rows.empty());
    EXPECT_EQ(rows[0].substr(23, 13), "            0");
}

TEST_F(TtffFolder, ALogEndingInItsFixEpochStillGivesEveryTrialItsLine)
{
    const std::vector<QnvEpoch> all = SessionEpochs(kPlan, true);
    const std::vector<QnvEpoch> cut(all.begin(), all.begin() + 36);  // the fix epoch is the last
    WritePair("Dev_TTFF_HOT_NMEA.txt", "Dev_TTFF_HOT_NMEA_Results.txt", QnvLog(cut), ResultsOf(all));
    const RunResult r = Navsift({"-ttff"});
    EXPECT_EQ(r.status, 0) << r.err;
    const std::vector<std::string> lines = Lines(Out("ttff_analysis/HOT", "fix_info_Dev_TTFF_HOT_NMEA_Results.txt"));
    ASSERT_EQ(lines.size(), 3u);
    // The fix epoch is in the log, as its last epoch: trial 1 has its fix
    // columns; the trials after it are not in the log.
    EXPECT_EQ(lines[0].substr(0, 34), "         1     35.200    898682449");
    EXPECT_NE(r.err.find("trial 1: the log ends less than 12 epochs after the fix at 10:00:35"), std::string::npos)
        << r.err;
    for (const std::string& line : lines) {
        EXPECT_EQ(Values(line), 39) << line;
    }
}

TEST_F(TtffFolder, PowerLevelsAndDevicesKeepTheirOwnFiles)
{
    const std::vector<QnvEpoch> epochs = SessionEpochs(kPlan, false);
    const std::string log = QnvLog(epochs), results = ResultsOf(epochs);
    WritePair("Dev_TTFF_COLD_NMEA_PW-130.txt", "Dev_TTFF_COLD_NMEA_Results_PW-130.txt", log, results);
    WritePair("Dev_TTFF_COLD_NMEA_PW-140.txt", "Dev_TTFF_COLD_NMEA_Results_PW-140.txt", log, results);
    WritePair("GPS1_TTFF_HOT_NMEA.txt", "GPS1_TTFF_HOT_NMEA_Results.txt", log, results);
    WritePair("GPS2_TTFF_HOT_NMEA.txt", "GPS2_TTFF_HOT_NMEA_Results.txt", log, results);
    WriteFile(dir_ / "logs" / "GPS3_TTFF_WARM_NMEA.txt", log);  // no results file
    const RunResult r = Navsift({"-e", "rinex/"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.err.find("GPS3_TTFF_WARM_NMEA.txt: no results file GPS3_TTFF_WARM_NMEA_Results.txt; skipped"),
              std::string::npos)
        << r.err;
    EXPECT_NE(r.out.find("GPS3_TTFF_WARM_NMEA.txt\n"), std::string::npos);
    EXPECT_EQ(r.out.find("Processing GPS3"), std::string::npos);
    const fs::path cold = dir_ / "logs" / "report" / "sensitivity_analysis" / "COLD";
    for (const char* level : {"-130", "-140"}) {
        const std::string x = std::string("Dev_TTFF_COLD_NMEA_Results_PW") + level + ".txt";
        EXPECT_EQ(ReadFile(cold / ("fix_info_" + x)), ReadFile(kGolden / "ttff_fix_info.txt")) << level;
        EXPECT_TRUE(fs::exists(cold / ("global_info_" + x))) << level;
        EXPECT_GT(fs::file_size(cold / ("sat_visibility_" + x)), 77u * 100) << level;
    }
    const fs::path hot = dir_ / "logs" / "report" / "ttff_analysis" / "HOT";
    EXPECT_EQ(ReadFile(hot / "fix_info_GPS1_TTFF_HOT_NMEA_Results.txt"), ReadFile(kGolden / "ttff_fix_info.txt"));
    EXPECT_EQ(ReadFile(hot / "fix_info_GPS2_TTFF_HOT_NMEA_Results.txt"), ReadFile(kGolden / "ttff_fix_info.txt"));
    EXPECT_TRUE(fs::exists(hot / "sat_visibility_GPS2_TTFF_HOT_NMEA_Results.txt"));
}

TEST_F(TtffFolder, TheExactResultsNameWinsOverALookAlike)
{
    const std::vector<QnvEpoch> epochs = SessionEpochs(kPlan, false);
    WritePair("dev_TTFF_COLD_NMEA.txt", "dev_TTFF_COLD_NMEA_Results.txt", QnvLog(epochs), ResultsOf(epochs));
    WriteFile(dir_ / "logs" / "a_dev_TTFF_COLD_NMEA_Results.txt", ResultsLine("77.00", 1, epochs[35]));
    const RunResult r = Navsift({"-ttff"});
    EXPECT_EQ(r.status, 0) << r.err;
    const std::string fix_info = Out("ttff_analysis/COLD", "fix_info_dev_TTFF_COLD_NMEA_Results.txt");
    EXPECT_EQ(fix_info.substr(0, 21), "         1     35.200");
    EXPECT_EQ(CountOf(fix_info, "\r\n"), 3);
}

TEST_F(TtffFolder, OtherTestTypesGetAFolderOfTheirOwn)
{
    const std::vector<QnvEpoch> epochs = SessionEpochs(kPlan, false);
    WritePair("Dev_TTFF_BAD_NCO_NMEA.txt", "Dev_TTFF_BAD_NCO_NMEA_Results.txt", QnvLog(epochs), ResultsOf(epochs));
    const RunResult r = Navsift({"-ttff"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.err.find("not a HOT, WARM or COLD start; its outputs go under BAD_NCO"), std::string::npos) << r.err;
    EXPECT_EQ(Out("ttff_analysis/BAD_NCO", "Dev_TTFF_BAD_NCO_NMEA_Results_fix_info.txt").substr(0, 21),
              "         1     35.200");
    EXPECT_TRUE(fs::exists(dir_ / "logs" / "report" / "ttff_analysis" / "BAD_NCO" /
                           "Dev_TTFF_BAD_NCO_NMEA_Results_global_info.txt"));
}

TEST_F(TtffFolder, TrackingLogsGoToTheTrackingAnalysisOnlyWithoutTtff)
{
    const std::vector<QnvEpoch> epochs = SessionEpochs(kPlan, false);
    WritePair("Site_TRACK24H_NMEA.txt", "Site_TRACK24H_NMEA_Results.txt", QnvLog(epochs), ResultsOf(epochs));
    RunResult r = Navsift({"-rtype", "-1"});
    EXPECT_EQ(r.out.find("Processing Site_TRACK24H_NMEA.txt"), std::string::npos) << r.out;
    EXPECT_FALSE(fs::exists(dir_ / "logs" / "report" / "ttff_analysis"));
    EXPECT_TRUE(fs::exists(dir_ / "logs" / "report" / "tracking_analysis")) << r.out << r.err;

    r = Navsift({"-ttff"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("Processing Site_TRACK24H_NMEA.txt...\n"), std::string::npos) << r.out;
    EXPECT_TRUE(fs::exists(dir_ / "logs" / "report" / "ttff_analysis" / "OTHER" /
                           "Site_TRACK24H_NMEA_Results_fix_info.txt"));
}

TEST_F(TtffFolder, AResultsFileThatCannotBeWrittenFailsTheRun)
{
    const std::vector<QnvEpoch> epochs = SessionEpochs(kPlan, false);
    WritePair("Dev_TTFF_HOT_NMEA.txt", "Dev_TTFF_HOT_NMEA_Results.txt", QnvLog(epochs), ResultsOf(epochs));
    fs::create_directories(dir_ / "logs" / "report" / "ttff_analysis" / "HOT" / "fix_info_Dev_TTFF_HOT_NMEA_Results.txt");
    const RunResult r = Navsift({"-ttff"});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("cannot create logs/report/ttff_analysis/HOT/fix_info_Dev_TTFF_HOT_NMEA_Results.txt"),
              std::string::npos)
        << r.err;
}

}  // namespace
}  // namespace navsift_test
