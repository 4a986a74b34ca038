// The bad-position start-up analysis: trials cut from generated logs of two
// receivers, merged and ordered, with visibility from a hand-made RINEX day;
// the data file, the LaTeX table and the script compared byte for byte with
// reviewed copies; the trial reader and the table cells on their own.
#include <gtest/gtest.h>

#include <tuple>

#include "analysis/analyses/startup_analysis.h"
#include "analysis/core/byte_stream.h"
#include "tests/analysis/navsift_harness.h"
#include "tests/analysis/qnv_logs.h"

namespace navsift_test {
namespace {

using namespace navsift;

const fs::path kGolden = fs::path(FIXBENCH_SOURCE_DIR) / "tests/analysis/golden";
constexpr double kTen = 554400;  // Saturday 2008-06-28 10:00:00 GPS, week 1485

// The wrong position the receiver starts from, and where it really is.
constexpr double kInitialLat = 45 + 59.9996 / 60, kInitialLon = -7.25, kInitialAlt = 120.0;
constexpr double kFixLat = 48.1173, kFixLon = 11.5167, kFixAlt = 545.4;

// A trial: `no_fix` epochs at the initial position from time of week `tow`,
// then `fixed` epochs at the real one.
std::vector<QnvEpoch> Trial(double tow, int sod, int no_fix, int fixed)
{
    std::vector<QnvEpoch> out;
    for (int k = 0; k < no_fix + fixed; ++k) {
        QnvEpoch e;
        e.sod = sod + k;
        e.tow = tow + k;
        e.quality = k < no_fix ? 0 : 1;
        e.latitude = k < no_fix ? kInitialLat : kFixLat;
        e.longitude = k < no_fix ? kInitialLon : kFixLon;
        e.altitude = k < no_fix ? kInitialAlt : kFixAlt;
        out.push_back(e);
    }
    return out;
}

std::vector<QnvEpoch> Join(std::vector<QnvEpoch> a, const std::vector<QnvEpoch>& b)
{
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

class StartupFolder : public ::testing::Test {
protected:
    void SetUp() override
    {
        fs::create_directories(dir_ / "logs");
        // Receiver A: a trial that fixes after 42 s, then one that never
        // fixes before the log ends.
        WriteFile(dir_ / "logs" / "DevA_TTFF_BAD_POSITION_NMEA.txt",
                  QnvLog(Join(Trial(kTen, 35986, 42, 4), Trial(kTen + 100, 36086, 10, 0))));
        // Receiver B, earlier: its time jumps by 3000 s before the fix.
        std::vector<QnvEpoch> b = Trial(kTen - 5000, 30986, 5, 2);
        for (int k = 3; k < 7; ++k) {
            b[k].tow += 3000;
            b[k].tracking = true;  // it sets its clock from a satellite it hears
        }
        WriteFile(dir_ / "logs" / "DevB_TTFF_BAD_POSITION_NMEA.txt", QnvLog(b));
        // The bench's results file beside them: fixes only, so no trial.
        std::string results;
        for (int k = 0; k < 8; ++k) {
            QnvEpoch e;
            e.quality = 1;
            e.sod = 36000 + k;
            const std::string text = QnvEpochText(e);
            results += "12.00\t% " + std::to_string(k + 1) + "\t" + text.substr(0, text.find("\r\n") + 2);
        }
        WriteFile(dir_ / "logs" / "DevA_TTFF_BAD_POSITION_NMEA_Results.txt", results);
        WriteFile(dir_ / "logs" / "notes.txt", "not a log\n");
        WriteRinexSaturday(dir_ / "rinex");
    }

    fs::path Report() const { return dir_ / "logs" / "report" / "startup_analysis"; }

    ScratchDir dir_;
};

TEST_F(StartupFolder, TrialsOfTwoLogsAreMergedInTimeOrderWithTheirVisibility)
{
    const RunResult r = navsift_test::Run({NavsiftPath(), "-nmea", "logs/", "-startup", "-e", "rinex/"}, dir_.path());
    EXPECT_EQ(r.status, 0) << r.err;
    // Console: per log its trials, then the data file's and the table's
    // lines in sorted order.
    EXPECT_EQ(r.out,
              "Reading the folder logs/: 4 logs (*.txt)\n"
              "DevA_TTFF_BAD_POSITION_NMEA.txt processing... TTFF = 42s\n TTFF = 9s\n"
              "DevA_TTFF_BAD_POSITION_NMEA_Results.txt processing... no trial\n"
              "DevB_TTFF_BAD_POSITION_NMEA.txt processing... TTFF = 5s\n"
              "1 > 898680405 ttff 5\r\n2 > 898682442 ttff 42\r\n3 > 898682509 ttff 9\r\n"
              "1 > 898680405 ttff 5\r\n2 > 898682442 ttff 42\r\n3 > 898682509 ttff 9\r\n");
    EXPECT_NE(r.err.find("startup_analysis.m was written but not run"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("TTFF_bad_position.tex and POS_bad_position.tex"), std::string::npos) << r.err;

    const std::string data = ReadFile(Report() / "nmea_startup_analysis_data.txt");
    EXPECT_EQ(data, ReadFile(kGolden / "startup_data.txt"));
    // Ten-digit GPS seconds do not run into their neighbours.
    const std::vector<std::vector<std::string>> rows = WordRows(data);
    ASSERT_EQ(rows.size(), 3u);
    for (const std::vector<std::string>& row : rows) {
        ASSERT_EQ(row.size(), 16u);
    }
    EXPECT_EQ(rows[0][1], "898677400");
    EXPECT_EQ(rows[0][2], "3000") << "the clock's step is the time error";
    EXPECT_EQ(rows[0][14], "5") << "and no part of the TTFF";
    EXPECT_EQ(ReadFile(Report() / "nmea_startup_analysis_data.tex"), ReadFile(kGolden / "startup_table.tex"));
    // The plotting call, with no line end.
    EXPECT_EQ(ReadFile(Report() / "startup_analysis.m"),
              "bad_position('logs/report/startup_analysis/nmea_startup_analysis_data.txt',600);");
    // One visibility row per position looked at: three initial, two fixes.
    EXPECT_EQ(ReadFile(Report() / "sat_visibility.txt").size(), 5u * 77);

    const std::string main = ReadFile(Report() / "startup_analysis_report.tex");
    EXPECT_NE(main.find("Nuvi 1690 Bad Position Startup"), std::string::npos);
    EXPECT_EQ(main.substr(main.find("\\input{")),
              "\\input{title_page.tex}\r\n\\input{introduction_page.tex}\r\n\\input{TTFF_bad_position.tex}\r\n"
              "\\input{POS_bad_position.tex}\r\n\\input{nmea_startup_analysis_data.tex}\r\n\\end{document}\r\n");
    EXPECT_NE(ReadFile(Report() / "title_page.tex").find("Nuvi 1690 Bad Position Startup"), std::string::npos);
    EXPECT_NE(ReadFile(Report() / "introduction_page.tex").find("wrong postion"), std::string::npos);
    // Nothing pretends the plotting step has run.
    EXPECT_FALSE(fs::exists(Report() / "TTFF_bad_position.tex"));
    EXPECT_FALSE(fs::exists(Report() / "POS_bad_position.tex"));
}

TEST_F(StartupFolder, WithoutRinexTheListsAreEmptyAndTheCountsZero)
{
    const RunResult r = navsift_test::Run({NavsiftPath(), "-nmea", "logs/", "-startup"}, dir_.path());
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.err.find("no RINEX folder"), std::string::npos) << r.err;
    const std::string data = ReadFile(Report() / "nmea_startup_analysis_data.txt");
    ASSERT_EQ(CountOf(data, "\r\n"), 3);
    // Counts and common count are columns 11-13.
    for (const std::vector<std::string>& row : WordRows(data)) {
        ASSERT_EQ(row.size(), 16u);
        EXPECT_EQ(row[10] + row[11] + row[12], "000");
    }
    const std::string table = ReadFile(Report() / "nmea_startup_analysis_data.tex");
    EXPECT_NE(table.find("& 46 00.000 N & 48 07.038 N & - & - & - & \\multirow{3}*{1}"), std::string::npos) << table;
    EXPECT_FALSE(fs::exists(Report() / "sat_visibility.txt"));
}

TEST_F(StartupFolder, AnOutputThatCannotBeCreatedFailsTheRun)
{
    // A folder where the data file should go: the create fails even for root.
    fs::create_directories(Report() / "nmea_startup_analysis_data.txt");
    const RunResult r = navsift_test::Run({NavsiftPath(), "-nmea", "logs/", "-startup"}, dir_.path());
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("cannot create logs/report/startup_analysis/nmea_startup_analysis_data.txt"),
              std::string::npos)
        << r.err;
    // The other outputs are still written.
    EXPECT_TRUE(fs::exists(Report() / "nmea_startup_analysis_data.tex"));
}

TEST_F(StartupFolder, AQuoteInTheFolderCannotEndTheScriptsText)
{
    fs::rename(dir_ / "logs", dir_ / "it's logs");
    const RunResult r = navsift_test::Run({NavsiftPath(), "-nmea", "it's logs/", "-startup"}, dir_.path());
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(ReadFile(dir_ / "it's logs" / "report" / "startup_analysis" / "startup_analysis.m"),
              "bad_position('it''s logs/report/startup_analysis/nmea_startup_analysis_data.txt',600);");
}

// ------------------------------------------------------------ trial reader

TEST(StartupTrials, ReaderCutsTrialsAtTheFixAndMeasuresTheTimeStep)
{
    // $PQNVTG seconds 500, 501, 502, 3502, 3503 in one trial.
    std::vector<QnvEpoch> epochs = Trial(500, 100, 5, 1);
    for (int k = 3; k < 6; ++k) {
        epochs[k].tow += 2999;
        epochs[k].tracking = true;
    }
    epochs.push_back(epochs.back());
    epochs.back().tow += 1;
    epochs.back().sod += 1;
    ByteStream in = ByteStream::FromText(QnvLog(epochs));
    ASSERT_EQ(seek_trial_start(in), 0);
    const int64_t at = in.Tell();
    ASSERT_EQ(seek_trial_start(in), 0) << "a second call finds the same sentence";
    EXPECT_EQ(in.Tell(), at);
    startup_trial t;
    read_startup_trial(in, t);
    EXPECT_TRUE(t.has_start_time);
    EXPECT_EQ(t.start_gps_second, 500u + 1485u * 604800u);
    EXPECT_EQ(t.end_gps_second, 3504u + 1485u * 604800u);
    EXPECT_EQ(t.initial_time_error, 2999);
    EXPECT_EQ(t.Ttff(), 5) << "five seconds ran; the clock's step is the time error";
    EXPECT_EQ(t.fix_status, 1);
    EXPECT_EQ(t.gga_count, 6);
    EXPECT_EQ(t.start_field5, 7);
    EXPECT_NEAR(t.initial_latitude, kInitialLat, 1e-9);
    EXPECT_NEAR(t.initial_longitude, kInitialLon, 1e-9);
    EXPECT_NEAR(t.fix_latitude, kFixLat, 1e-6);
    EXPECT_EQ(t.initial_sod, 100);
    EXPECT_EQ(t.latest_sod, 105);
    // The fixed epoch after the trial is no new trial.
    EXPECT_EQ(seek_trial_start(in), 1);
}

TEST(StartupTrials, TimeStepsBackwardsGiveANegativeErrorAndTtff)
{
    std::vector<QnvEpoch> epochs = Trial(10000, 100, 4, 1);
    epochs[2].tow = 9000;
    epochs[2].tracking = true;
    epochs[3].tow = 9001;
    epochs[4].tow = 9002;
    ByteStream in = ByteStream::FromText(QnvLog(epochs));
    ASSERT_EQ(seek_trial_start(in), 0);
    startup_trial t;
    read_startup_trial(in, t);
    EXPECT_EQ(t.initial_time_error, -1002);
    EXPECT_EQ(t.Ttff(), 4) << "the step back is no time that ran";
}

TEST_F(StartupFolder, TrialsWithoutReceiverTimeAreReportedAndSkipped)
{
    std::vector<QnvEpoch> no_time = Trial(kTen, 36000, 5, 3);
    for (QnvEpoch& e : no_time) {
        e.tg = false;
    }
    fs::remove(dir_ / "logs" / "DevB_TTFF_BAD_POSITION_NMEA.txt");
    WriteFile(dir_ / "logs" / "DevC_TTFF_BAD_POSITION_NMEA.txt", QnvLog(no_time));
    const RunResult r = navsift_test::Run({NavsiftPath(), "-nmea", "logs/", "-startup", "-e", "rinex/"}, dir_.path());
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.err.find("DevC_TTFF_BAD_POSITION_NMEA.txt: trial without $PQNVTG skipped"), std::string::npos)
        << r.err;
    const std::string data = ReadFile(Report() / "nmea_startup_analysis_data.txt");
    EXPECT_EQ(CountOf(data, "\r\n"), 2) << "only receiver A's two trials";
    // The RINEX day is still found: the first trial's time is real.
    const std::string rows = ReadFile(Report() / "sat_visibility.txt");
    EXPECT_EQ(rows.substr(0, 11), " 898682400 ") << rows;
    EXPECT_NE(rows.substr(11, 64).find('1'), std::string::npos) << rows;
}

// One power-up of a receiver whose clock starts 2,999 s ahead: `before_set`
// seconds until it sets its clock from a satellite it hears, `after_set`
// more without a fix, then `fixed` seconds with one. With nothing after
// `before_set` it never hears a satellite.
std::vector<QnvEpoch> PowerUp(double true_tow, int sod, int before_set, int after_set, int fixed)
{
    const int total = before_set + after_set + fixed;
    std::vector<QnvEpoch> out = Trial(true_tow, sod, before_set + after_set, fixed);
    for (int k = 0; k < total; ++k) {
        QnvEpoch& e = out[static_cast<std::size_t>(k)];
        e.week = 1745;  // 2013: GPS seconds of ten digits
        e.tow += k < before_set ? 2999 : 0;
        e.tracking = before_set < total && k + 1 >= before_set;
    }
    return out;
}

TEST(StartupSession, ClockErrorsAndATrialThatNeverFixesGiveEachPowerUpItsOwnRow)
{
    ScratchDir dir;
    fs::create_directories(dir / "logs");
    // Five power-ups with 480 s off between them; the second sets its clock
    // but never fixes, the fourth never hears a satellite.
    std::vector<QnvEpoch> log;
    double tow = kTen;
    int sod = 36000;
    for (const auto& [before, after, fixed] :
         std::vector<std::tuple<int, int, int>>{{4, 30, 5}, {4, 200, 0}, {6, 40, 5}, {150, 0, 0}, {3, 20, 5}}) {
        log = Join(log, PowerUp(tow, sod, before, after, fixed));
        tow += before + after + fixed + 480;
        sod += before + after + fixed + 480;
    }
    WriteFile(dir / "logs" / "Dev_TTFF_BAD_POSITION_NMEA.txt", QnvLog(log));
    const RunResult r = navsift_test::Run({NavsiftPath(), "-nmea", "logs/", "-startup"}, dir.path());
    EXPECT_EQ(r.status, 0) << r.err;
    const std::vector<std::vector<std::string>> rows =
        WordRows(ReadFile(dir / "logs" / "report" / "startup_analysis" / "nmea_startup_analysis_data.txt"));
    ASSERT_EQ(rows.size(), 5u) << r.out;
    EXPECT_EQ(rows[0][1], std::to_string(1745 * 604800 + static_cast<int>(kTen) + 2999));
    // Trial, time error, fix status, TTFF, time-out. Rows go by their last
    // second, and the receiver that never heard a satellite ended on a clock
    // 2,999 s ahead: its row comes last.
    const std::vector<std::vector<std::string>> want = {
        {"1", "-2999", "1", "34", "0"},
        {"2", "-2999", "0", "0", "203"},
        {"3", "-2999", "1", "46", "0"},
        {"4", "-2999", "1", "23", "0"},
        {"5", "0", "0", "0", "149"},
    };
    for (std::size_t k = 0; k < rows.size(); ++k) {
        ASSERT_EQ(rows[k].size(), 16u);
        EXPECT_EQ((std::vector<std::string>{rows[k][0], rows[k][2], rows[k][13], rows[k][14], rows[k][15]}), want[k])
            << "row " << k + 1;
    }
}

// ------------------------------------------------------------ table cells

ElevationMarks Marks(std::initializer_list<std::pair<int, int>> prn_elevation)
{
    ElevationMarks m{};
    for (const auto& [prn, elevation] : prn_elevation) {
        m[static_cast<std::size_t>(prn - 1)] = static_cast<uint8_t>(elevation);
    }
    return m;
}

ElevationMarks FirstPrns(int n)
{
    ElevationMarks m{};
    for (int k = 0; k < n; ++k) {
        m[static_cast<std::size_t>(k)] = static_cast<uint8_t>(10 + k);
    }
    return m;
}

TEST(StartupTable, AnglesRoundToTheThousandthOfAMinuteWithTheirLetters)
{
    EXPECT_EQ(latitude_text(45 + 59.9996 / 60), "46 00.000 N");
    EXPECT_EQ(latitude_text(48.1173), "48 07.038 N");
    EXPECT_EQ(latitude_text(-33.5), "33 30.000 S");
    EXPECT_EQ(longitude_text(11.5167), "011 31.002 E");
    EXPECT_EQ(longitude_text(-122.0 - 25.0004 / 60), "122 25.000 W");
    EXPECT_EQ(longitude_text(0), "000 00.000 E");
}

TEST(StartupTable, SatelliteListsAreDealtSixToAPartAndNothingIsLost)
{
    SatelliteListParts p = satellite_list_parts(ElevationMarks{});
    EXPECT_EQ(p.part[0], "-");
    EXPECT_EQ(p.part[1], "");
    EXPECT_EQ(p.part[2], "");
    p = satellite_list_parts(FirstPrns(6));
    EXPECT_EQ(p.part[0], "1,2,3,4,5,6,");
    EXPECT_EQ(p.part[1], "");
    p = satellite_list_parts(FirstPrns(14));
    EXPECT_EQ(p.part[1], "7,8,9,10,11,12,");
    EXPECT_EQ(p.part[2], "13,14,");
    p = satellite_list_parts(FirstPrns(20));
    EXPECT_EQ(p.part[2], "13,14,15,16,17,18,19,20,");
}

TEST(StartupTable, CommonSatellitesAreThoseVisibleFromBothWhateverTheirElevation)
{
    const ElevationMarks initial = Marks({{1, 30}, {5, 12}});
    const ElevationMarks fix = Marks({{1, 45}, {5, 12}, {7, 3}});
    EXPECT_EQ(count_common_satellites(initial, fix), 2);
    EXPECT_EQ(satellite_list_parts(common_marks(initial, fix)).part[0], "1,5,");
    EXPECT_EQ(count_common_satellites(initial, ElevationMarks{}), 0);
}

}  // namespace
}  // namespace navsift_test
