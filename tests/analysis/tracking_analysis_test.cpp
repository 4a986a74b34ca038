// The tracking analysis of NMEA logs, run as a user runs it: small logs made
// by hand against reviewed reference outputs, the faults of cutting windows
// (a skipped second, no "$PQNVTG", a new day), the report types and the
// outside programs, outputs that cannot be made, and a whole day of log
// checked against counts made here from the log's own description.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <map>
#include <set>

#include "analysis/analyses/tracking_analysis.h"
#include "analysis/analyses/tracking_tables.h"
#include "tests/analysis/navsift_harness.h"
#include "tests/analysis/rinex_fixture.h"

namespace navsift_test {
namespace {

const fs::path kGoldenDir = fs::path(FIXBENCH_SOURCE_DIR) / "tests/analysis/golden";

struct Sat {
    int prn, elevation, azimuth, cn0;
};
struct Channel {
    int id;
    double frequency;
    int cn0, timer_ms;
};

// One second of receiver output. Days count from 2008-06-30 (a Monday).
struct TrackEpoch {
    int utc = 0;  // seconds from 2008-06-30 00:00:00 UTC
    std::vector<Sat> sats;
    std::vector<Channel> channels;  // "$PQNVTS" lines
    bool gga = true, rmc = true, tg = true, ephemeris = false;
    int quality = 1;
    bool rmc_first = false;  // some receivers start an epoch with the RMC
    std::string position = "4807.0380,N,01131.0000,E";
    std::string altitude = "545.4";
    std::string nco = "12.5";  // the last field of "$PQNVTG"
};

constexpr int kWeek = 1486;  // GPS week of 2008-06-30
constexpr int kMondayTow = 86400;  // its first second in the week
constexpr int kGpsMinusUtc = 15;

std::string Hms(int utc)
{
    const int sod = ((utc % 86400) + 86400) % 86400;
    char buf[32];
    std::snprintf(buf, sizeof buf, "%02d%02d%02d.00", sod / 3600, (sod / 60) % 60, sod % 60);
    return buf;
}

std::string Date(int utc)
{
    const int day = 30 + utc / 86400;  // June 30, then July
    char buf[16];
    if (day == 30) {
        std::snprintf(buf, sizeof buf, "300608");
    } else {
        std::snprintf(buf, sizeof buf, "%02d0708", day - 30);
    }
    return buf;
}

TrackEpoch At(int utc, std::vector<Sat> sats)
{
    TrackEpoch e;
    e.utc = utc;
    e.sats = std::move(sats);
    return e;
}

std::string BuildTrackLog(const std::vector<TrackEpoch>& epochs)
{
    std::string log;
    for (const TrackEpoch& e : epochs) {
        const std::string pos = e.quality != 0 ? e.position : ",,,";
        const std::string gga = e.gga ? Sentence("GPGGA," + Hms(e.utc) + "," + pos + "," +
                                                 std::to_string(e.quality) + ",08,0.9," + e.altitude + ",M,46.9,M,,")
                                      : "";
        const std::string rmc =
            e.rmc ? Sentence("GPRMC," + Hms(e.utc) + ",A," + pos + ",022.4,084.4," + Date(e.utc) + ",003.1,W") : "";
        log += e.rmc_first ? rmc + gga : gga + rmc;
        log += Sentence("GPGSA,A,3,04,05,,09,12,,,24,,,,,2.5,1.3,2.1");
        const int messages = std::max<int>(1, (static_cast<int>(e.sats.size()) + 3) / 4);
        for (int m = 0; m < messages; ++m) {
            std::string body = "GPGSV," + std::to_string(messages) + "," + std::to_string(m + 1) + "," +
                               std::to_string(e.sats.size());
            for (std::size_t k = 4 * m; k < e.sats.size() && k < 4 * static_cast<std::size_t>(m) + 4; ++k) {
                char group[40];
                std::snprintf(group, sizeof group, ",%02d,%02d,%03d,%02d", e.sats[k].prn, e.sats[k].elevation,
                              e.sats[k].azimuth, e.sats[k].cn0);
                body += group;
            }
            log += Sentence(body);
        }
        if (e.tg) {
            const int tow = kMondayTow + e.utc + kGpsMinusUtc;
            log += Sentence("PQNVTG," + std::to_string(kWeek + tow / 604800) + "," + std::to_string(tow % 604800) +
                            ".000,0,0,0," + e.nco);
        }
        for (const Channel& c : e.channels) {
            char body[96];
            std::snprintf(body, sizeof body, "PQNVTS,0,%d,0,%.3f,0,%d,%d", c.id, c.frequency, c.cn0, c.timer_ms);
            log += Sentence(body);
        }
        if (e.ephemeris) {
            log += Sentence("PQNVEPHEM,4,1487,a1b2c3");
        }
    }
    return log;
}

void WriteRinexForJune30(const fs::path& folder)
{
    std::vector<NavRecord> records;
    for (int prn = 1; prn <= 32; ++prn) {
        records.push_back(Orbit(prn, 1486, 86400 + 8 * 3600, 8, 6, 30, 8));
    }
    WriteFile(folder / "lab11820.08n", RinexText(ShortHeader(), records));
}

// Twenty-seven seconds from 07:59:50 UTC (08:00:05 GPS), each led by its
// RMC, with 10-second windows: the analysis starts at the epoch of the first
// fix, its RMC, so no epoch is left out; the first two have no CN0; satellite 9 lost for four seconds and
// found again, the second 08:00:19 GPS missing (the end of the first
// window), two epochs with tracker channels, one without GGA, a CN0 of 75,
// an ephemeris line, and a log that stops inside its third window.
std::vector<TrackEpoch> HandMadeLog()
{
    std::vector<TrackEpoch> log;
    for (int k = 0; k < 28; ++k) {
        if (k == 14) {
            continue;
        }
        TrackEpoch e;
        e.utc = 7 * 3600 + 59 * 60 + 50 + k;
        e.sats = {{4, 15, 270, 38}, {5, 25, 170, 41}, {9, 57, 208, 39 + k % 3}, {12, 67, 296, 40}};
        e.rmc_first = true;
        if (k <= 1) {
            for (Sat& s : e.sats) {
                s.cn0 = 0;
            }
        }
        if (k >= 5 && k <= 8) {
            e.sats.erase(e.sats.begin() + 2);
        }
        if (k == 20 || k == 21) {
            e.channels = {{4, 1234.9, 37, 61999}, {9, -250.7, 40, 12500}};
        }
        if (k == 22) {
            e.gga = false;
        }
        if (k == 23) {
            e.sats[0].cn0 = 75;
        }
        e.ephemeris = k == 24;
        log.push_back(e);
    }
    return log;
}

class TrackingAnalysis : public ::testing::Test {
protected:
    fs::path Log(const std::vector<TrackEpoch>& epochs, const std::string& name = "dev_NMEA.txt")
    {
        const fs::path log = dir_ / name;
        WriteFile(log, BuildTrackLog(epochs));
        return log;
    }
    RunResult Analyse(const fs::path& log, std::vector<std::string> extra = {"-rtype", "-1"})
    {
        std::vector<std::string> argv = {NavsiftPath(), "-nmea", log.string(), "-trk"};
        argv.insert(argv.end(), extra.begin(), extra.end());
        return navsift_test::Run(argv, dir_.path());
    }
    fs::path Report() const { return dir_ / "report" / "tracking_analysis"; }
    std::vector<std::string> Windows() const
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
    int Lines(const fs::path& file) const { return CountOf(ReadFile(file), "\r\n"); }

    ScratchDir dir_;
};

TEST_F(TrackingAnalysis, HandMadeLogGivesTheReviewedTablesWindowByWindow)
{
    const fs::path log = Log(HandMadeLog());
    WriteRinexForJune30(dir_.path());
    const RunResult r = Analyse(log, {"-trange", "10", "-rtype", "-1", "-e", dir_.path().string()});
    ASSERT_EQ(r.status, 0) << r.err;
    const std::string digest = FolderDigest(Report());
    if (std::getenv("NAVSIFT_WRITE_GOLDEN") != nullptr) {
        WriteFile(kGoldenDir / "tracking_small.txt", digest);  // for review before it is committed
    }
    EXPECT_EQ(digest, ReadFile(kGoldenDir / "tracking_small.txt"));
    EXPECT_NE(r.out.find("Processed GGA sentences:          1\r"), std::string::npos);
    EXPECT_NE(r.out.find("CN0 Analysis:\r\n"), std::string::npos);
    EXPECT_NE(r.out.find("Sat 9 processing..."), std::string::npos);

    // One raw record per written epoch (27), with the fields where readers
    // look for them.
    const std::string raw = ReadFile(Report() / "global_info.raw");
    ASSERT_EQ(raw.size(), 27u * navsift::kRawEpochSize);
    const auto i32 = [&raw](std::size_t record, std::size_t offset) {
        int32_t v = 0;
        std::memcpy(&v, raw.data() + record * navsift::kRawEpochSize + offset, 4);
        return v;
    };
    EXPECT_EQ(i32(0, 128), kWeek);
    EXPECT_EQ(i32(0, 112), kWeek * 604800 + kMondayTow + 8 * 3600 + 5) << "GPS time of the first epoch";
    EXPECT_EQ(raw[2240], 'N');
    EXPECT_EQ(raw[2241], 'E');
    EXPECT_EQ(i32(23, 0) & 0x10000000, 0x10000000) << "the epoch of the ephemeris line is marked";
    EXPECT_EQ(i32(1, 16), 2) << "GGA count of the second epoch";
    for (std::size_t reserved : {116u, 124u, 132u, 152u, 160u, 180u, 196u, 220u, 2212u, 2228u, 2268u, 2284u}) {
        EXPECT_EQ(i32(5, reserved), 0) << reserved;
    }

    // The report sources name every window in every layout.
    const std::string main = ReadFile(Report() / "tracking_analysis_report.tex");
    for (const std::string& w : Windows()) {
        const std::string stamps = w.substr(std::string("satdata_from_").size());
        EXPECT_NE(main.find("\\input{" + w + "/report_from_" + stamps + "}"), std::string::npos) << w;
        for (int n = 1; n <= 4; ++n) {
            EXPECT_TRUE(fs::exists(Report() / w / ("report_" + std::to_string(n) + "_from_" + stamps + ".tex")));
            EXPECT_NE(ReadFile(Report() / ("tracking_analysis_report_" + std::to_string(n) + ".tex"))
                          .find("\\input{" + w + "/report_" + std::to_string(n) + "_from_" + stamps + "}"),
                      std::string::npos);
        }
    }
    EXPECT_TRUE(main.ends_with("\\end{document}\r\n"));
}

TEST_F(TrackingAnalysis, WindowsFollowTheGridFromMidnightAndTrange)
{
    using navsift::tracking_window_end;
    EXPECT_EQ(tracking_window_end(3600, 28800), 28799);
    EXPECT_EQ(tracking_window_end(20000, 28800), 57599);
    EXPECT_EQ(tracking_window_end(80000, 28800), 86399);
    EXPECT_EQ(tracking_window_end(28000, 28800), 57599) << "less than half a step is joined to the next";
    EXPECT_EQ(tracking_window_end(3600, 3600), 7199);
    navsift::set_tracking_window_length(0);
    EXPECT_EQ(navsift::tracking_window_length, 28800);
    navsift::set_tracking_window_length(-5);
    EXPECT_EQ(navsift::tracking_window_length, 28800);
    navsift::set_tracking_window_length(3600);
    EXPECT_EQ(navsift::tracking_window_length, 3600);
    navsift::set_tracking_window_length(0);

    // Hour windows over 02:30 to 05:10 UTC (GPS 15 s later).
    std::vector<TrackEpoch> epochs;
    for (int t = 2 * 3600 + 1800; t <= 5 * 3600 + 600; t += 60) {
        epochs.push_back(At(t, {{7, 40, 100, 44}}));
    }
    const RunResult r = Analyse(Log(epochs), {"-trange", "3600", "-rtype", "-1"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(Windows(), (std::vector<std::string>{
                             "satdata_from_023015_30062008_to_035915_30062008",
                             "satdata_from_040015_30062008_to_045915_30062008",
                             "satdata_from_050015_30062008_to_051015_30062008",
                         }));
}

TEST_F(TrackingAnalysis, LogWithoutQnvtgIsCutByRmcTimeAndANewDayEndsAWindow)
{
    // No "$PQNVTG" at all, 23:59:50 to 00:00:09: the day change ends the
    // first window, and the second is not folded into it.
    std::vector<TrackEpoch> epochs;
    for (int t = 86400 - 10; t < 86400 + 10; ++t) {
        TrackEpoch e = At(t, {{7, 40, 100, 44}, {8, 30, 200, 35}});
        e.tg = false;
        epochs.push_back(e);
    }
    const RunResult r = Analyse(Log(epochs));
    ASSERT_EQ(r.status, 0) << r.err;
    ASSERT_EQ(Windows(), (std::vector<std::string>{
                             "satdata_from_000000_01072008_to_000009_01072008",
                             "satdata_from_235950_30062008_to_235959_30062008",
                         }));
    EXPECT_EQ(Lines(Report() / Windows()[1] / "sat07.csv"), 10);
    EXPECT_EQ(Lines(Report() / Windows()[0] / "sat07.csv"), 10);
    EXPECT_EQ(Lines(Report() / "sat08.csv"), 20);
    EXPECT_EQ(Lines(Report() / "global_info.txt"), 20);
    // Without "$PQNVTG" the timestamp is the RMC time and the gap 0.
    const int first = kWeek * 604800 + kMondayTow + 86400 - 10;
    EXPECT_NE(ReadFile(Report() / "global_info.csv").find("\r\n1," + std::to_string(first) + ",0,"),
              std::string::npos);
}

TEST_F(TrackingAnalysis, ASkippedSecondOrALostQnvtgNeverFoldsTheRestIntoOneWindow)
{
    // Ten-second windows; the second at the end of the first window (GPS
    // 08:00:19) lost its "$PQNVTG", and a whole second is missing later.
    std::vector<TrackEpoch> epochs;
    for (int k = 0; k < 40; ++k) {
        if (k == 27) {
            continue;
        }
        TrackEpoch e = At(8 * 3600 - 10 + k, {{7, 40, 100, 44}});
        e.tg = k != 14;
        epochs.push_back(e);
    }
    const RunResult r = Analyse(Log(epochs), {"-trange", "10", "-rtype", "-1"});
    ASSERT_EQ(r.status, 0) << r.err;
    const std::vector<std::string> windows = Windows();
    ASSERT_EQ(windows, (std::vector<std::string>{
                           "satdata_from_080005_30062008_to_080018_30062008",
                           "satdata_from_080020_30062008_to_080029_30062008",
                           "satdata_from_080030_30062008_to_080039_30062008",
                           "satdata_from_080040_30062008_to_080044_30062008",
                       }));
    // The second without "$PQNVTG" opens the second window; nothing is
    // dropped at either window end.
    const int expected[] = {14, 11, 9, 5};
    int total = 0;
    for (std::size_t k = 0; k < windows.size(); ++k) {
        const int rows = Lines(Report() / windows[k] / "sat07.csv");
        EXPECT_EQ(rows, expected[k]) << windows[k];
        total += rows;
    }
    EXPECT_EQ(total, 39) << "every epoch is in exactly one window";
    EXPECT_EQ(Lines(Report() / "sat07.csv"), 39);
}

TEST_F(TrackingAnalysis, LogWithoutFixStartsAtItsFirstGgaRmcPair)
{
    std::vector<TrackEpoch> epochs;
    for (int k = 0; k < 5; ++k) {
        TrackEpoch e = At(36000 + k, {{7, 40, 100, 44}});
        e.quality = 0;
        epochs.push_back(e);
    }
    const RunResult r = Analyse(Log(epochs));
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("NO FIX detected in the input file!\r\n"), std::string::npos);
    EXPECT_EQ(Lines(Report() / "sat07.csv"), 5);
    // GGA fix status 0; the fix status is the GSA mode.
    EXPECT_EQ(CountOf(ReadFile(Report() / "global_info.txt"), "          0          3      2.500"), 5);
}

// A receiver that reports itself at 27 S on the date line, at the greatest
// height still on the earth (100 km), with a large NCO: each of these values
// fills its column, and a reader that splits global_info at blanks must
// still find all nineteen values, these among them.
TEST_F(TrackingAnalysis, ValuesThatFillTheirColumnsStayApartInGlobalInfo)
{
    for (const std::string altitude : {"-99999.999", "99999.999"}) {
        std::vector<TrackEpoch> epochs;
        for (int k = 0; k < 6; ++k) {
            TrackEpoch e = At(36000 + k, {{7, 40, 100, 44}});
            e.position = "2712.6520,S,18000.0000,W";
            e.altitude = altitude;
            e.nco = "-1234567.500";
            epochs.push_back(e);
        }
        const RunResult r = Analyse(Log(epochs));
        ASSERT_EQ(r.status, 0) << r.err;
        std::vector<fs::path> tables = {Report() / "global_info.txt"};
        for (const std::string& w : Windows()) {
            tables.push_back(Report() / w / "global_info.txt");
        }
        ASSERT_EQ(tables.size(), 2u);
        for (const fs::path& table : tables) {
            const std::vector<std::vector<std::string>> rows = WordRows(ReadFile(table));
            ASSERT_EQ(rows.size(), 6u) << table;
            for (const std::vector<std::string>& row : rows) {
                ASSERT_EQ(row.size(), 19u) << table << ": " << ReadFile(table);
                EXPECT_NEAR(std::stod(row[3]), -27.21087, 1e-5);
                EXPECT_EQ(row[4], "-180.000000");
                EXPECT_EQ(row[5], altitude);
                EXPECT_EQ(row[15], "-1234567.500");
            }
        }
        fs::remove_all(dir_ / "report");
    }
}

TEST_F(TrackingAnalysis, ReportTypesChooseTheMainReportAndWhatIsTypeset)
{
    const fs::path bin = dir_ / "bin";
    fs::create_directories(bin);
    FakeProgram(bin / "pdflatex", "pwd >> \"" + (dir_ / "calls.txt").string() +
                                      "\"\nfor a in \"$@\"; do printf '[%s]' \"$a\" >> \"" +
                                      (dir_ / "calls.txt").string() + "\"; done\necho >> \"" +
                                      (dir_ / "calls.txt").string() + "\"\n");
    PathOverride path(bin.string() + ":/usr/bin:/bin");
    std::vector<TrackEpoch> epochs;
    for (int k = 0; k < 5; ++k) {
        epochs.push_back(At(36000 + k, {{7, 40, 100, 44}}));
    }
    const fs::path log = Log(epochs);

    RunResult r = Analyse(log, {"-rtype", "-1"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_FALSE(fs::exists(dir_ / "calls.txt")) << "a negative report type typesets nothing";
    EXPECT_TRUE(fs::exists(Report() / "tracking_analysis_report.tex"));
    EXPECT_EQ(r.err.find("matlab"), std::string::npos);

    r = Analyse(log, {"-rtype", "2"});
    ASSERT_EQ(r.status, 0) << r.err;
    const std::string calls = ReadFile(dir_ / "calls.txt");
    EXPECT_EQ(CountOf(calls, "tracking_analysis_report_2.tex]"), 2) << calls;
    EXPECT_EQ(CountOf(calls, fs::canonical(Report()).string() + "\n"), 2) << "run in the report folder";
    EXPECT_NE(r.err.find("satellite_tracking_analysis.m was written but not run"), std::string::npos);
    // Report 2 is document 2: one file, its chapter once.
    EXPECT_EQ(CountOf(ReadFile(Report() / "tracking_analysis_report_2.tex"), "\\chapter*{}"), 1);

    r = Analyse(log, {"-rtype", "0", "-runmatlab"});
    EXPECT_EQ(r.status, 1) << "the plotting program was asked for and is missing";

    r = Analyse(log, {"-rtype", "7"});
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.err.find("report type 7"), std::string::npos);
}

TEST_F(TrackingAnalysis, OutputsThatCannotBeMadeAreNamedAndFail)
{
    std::vector<TrackEpoch> epochs;
    for (int k = 0; k < 5; ++k) {
        epochs.push_back(At(36000 + k, {{7, 40, 100, 44}}));
    }
    const fs::path log = Log(epochs);
    WriteFile(dir_ / "report", "a file where the report folder goes");
    RunResult r = Analyse(log);
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("report/tracking_analysis"), std::string::npos) << r.err;

    fs::remove(dir_ / "report");
    fs::create_directories(Report() / "global_info.csv");  // a folder in the table's place
    r = Analyse(log);
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("global_info.csv"), std::string::npos) << r.err;

    r = Analyse(dir_ / "missing_NMEA.txt");
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("missing_NMEA.txt"), std::string::npos);
}

TEST_F(TrackingAnalysis, WholeDayMatchesCountsMadeFromTheLogsDescription)
{
    // 24 hours at 1 Hz from 10:00:00 UTC with four satellites, each heard in
    // its own hours, and a five-minute hole in the log at 20:00 UTC.
    const std::vector<int> prns = {2, 11, 17, 31};
    std::map<int, int> expected_rows;
    std::string log;
    int epochs = 0;
    for (int t = 10 * 3600; t < 34 * 3600; ++t) {
        if (t >= 20 * 3600 && t < 20 * 3600 + 300) {
            continue;
        }
        TrackEpoch e = At(t, {});
        for (std::size_t k = 0; k < prns.size(); ++k) {
            // Satellite k is heard for 7 hours of every 12, starting 3k
            // hours after midnight.
            const int hour = (t / 3600 - 3 * static_cast<int>(k) + 24) % 12;
            if (hour < 7) {
                e.sats.push_back({prns[k], 30, 100, 30 + static_cast<int>(k)});
                ++expected_rows[prns[k]];
            }
        }
        log += BuildTrackLog({e});
        ++epochs;
    }
    WriteFile(dir_ / "day_NMEA.txt", log);
    const RunResult r = Analyse(dir_ / "day_NMEA.txt");
    ASSERT_EQ(r.status, 0) << r.err;

    // GPS time runs 15 s ahead: 10:00:15 to 10:00:14 the next day. Windows
    // end at 15:59:59, 23:59:59, 07:59:59 and the end of the log.
    const std::vector<std::string> windows = Windows();
    EXPECT_EQ(windows, (std::vector<std::string>{
                           "satdata_from_000000_01072008_to_075959_01072008",
                           "satdata_from_080000_01072008_to_100014_01072008",
                           "satdata_from_100015_30062008_to_155959_30062008",
                           "satdata_from_160000_30062008_to_235959_30062008",
                       }));
    for (int prn = 1; prn <= 32; ++prn) {
        char name[32];
        std::snprintf(name, sizeof name, "sat%02d.csv", prn);
        int window_rows = 0;
        for (const std::string& w : windows) {
            window_rows += Lines(Report() / w / name);
        }
        EXPECT_EQ(Lines(Report() / name), expected_rows[prn]) << prn;
        EXPECT_EQ(window_rows, expected_rows[prn]) << prn;
    }
    EXPECT_EQ(Lines(Report() / "global_info.txt"), epochs);
    EXPECT_EQ(Lines(Report() / "global_info.csv"), epochs + 1);
    // The histogram counts every row under its CN0.
    const std::string matrix = ReadFile(Report() / "sat_cn0_matrix.csv");
    std::string row30 = "30";
    for (int prn = 1; prn <= 32; ++prn) {
        row30 += "," + std::to_string(prn == 2 ? expected_rows[2] : 0);
    }
    EXPECT_NE(matrix.find("\r\n" + row30 + "\r\n"), std::string::npos);
    EXPECT_NE(ReadFile(Report() / "index.html").find("The log ends at 100014_01072008"), std::string::npos);
}

TEST_F(TrackingAnalysis, DamagedTimeSentencesOfAWholeDayAreNotTrustedAndAreCountedOnce)
{
    // GPS 00:00:00 to 23:59:59 of 2008-07-01 at 1 Hz: three 8-hour windows.
    // Ten "$PQNVTG" were damaged on the serial line (five lost a byte, five
    // had a digit changed) and one more, written without a checksum, has a
    // wrong week.
    const std::vector<int> lost_byte = {4000, 20000, 30001, 51234, 70000};
    const std::vector<int> changed_digit = {9000, 28000, 40000, 61000, 86000};
    const int no_checksum = 45000;
    std::string log;
    for (int k = 0; k < 86400; ++k) {
        std::string text = BuildTrackLog({At(86400 - kGpsMinusUtc + k, {{7, 40, 100, 44}})});
        const std::size_t tg = text.find("$PQNVTG,") + 8;  // the week's first digit
        if (std::find(lost_byte.begin(), lost_byte.end(), k) != lost_byte.end()) {
            text.erase(tg + (k % 2 == 0 ? 0 : 6), 1);  // a week or a time-of-week digit
        } else if (std::find(changed_digit.begin(), changed_digit.end(), k) != changed_digit.end()) {
            char& digit = text[tg + 5 + k % 3];
            digit = digit == '9' ? '1' : static_cast<char>(digit + 1);
        } else if (k == no_checksum) {
            const std::size_t star = text.find('*', tg);
            text.erase(star, 3);
            text[tg + 3] = '9';  // week 1489
        }
        log += text;
    }
    WriteFile(dir_ / "day_NMEA.txt", log);
    const RunResult r = Analyse(dir_ / "day_NMEA.txt");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(Windows(), (std::vector<std::string>{
                             "satdata_from_000000_01072008_to_075959_01072008",
                             "satdata_from_080000_01072008_to_155959_01072008",
                             "satdata_from_160000_01072008_to_235959_01072008",
                         }));
    EXPECT_EQ(CountOf(r.err, "$PQNVTG"), 1) << r.err;
    EXPECT_NE(r.err.find("day_NMEA.txt: 11 \"$PQNVTG\" sentence(s) with a failed checksum or a time that disagrees "
                         "with their RMC not used for time"),
              std::string::npos)
        << r.err;
    // Every second is in exactly one window, stamped with its own time.
    int rows = 0;
    for (const std::string& w : Windows()) {
        rows += Lines(Report() / w / "sat07.csv");
    }
    EXPECT_EQ(rows, 86400);
    EXPECT_EQ(Lines(Report() / "global_info.txt"), 86400);
    // A window's first row has no time before it: its gap is 0.
    EXPECT_EQ(ReadFile(Report() / "global_info.txt").substr(23, 13), std::string(12, ' ') + "0");
    for (const std::string& w : Windows()) {
        EXPECT_EQ(ReadFile(Report() / w / "global_info.txt").substr(23, 13), std::string(12, ' ') + "0") << w;
    }
}

}  // namespace
}  // namespace navsift_test
