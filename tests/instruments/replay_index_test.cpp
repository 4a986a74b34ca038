// The time index of a recorded log: its bytes against a file worked out by
// hand, the scanner across read boundaries and over broken sentences, the
// lookups, and what happens to an index when its log cannot be read.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <new>
#include <string>
#include <vector>

#include "bench/instruments/replay_index.h"
#include "platform/core/error.h"
#include "tests/instruments/replay_logs.h"
#include "tests/support/qt_app.h"

namespace {

namespace fs = std::filesystem;
using bench::BuildTimeIndex;
using bench::FindOffsetForTime;
using bench::IndexCheck;
using bench::ReadIndexCount;
using bench::ReadIndexRecord;
using bench::ReplayIndexName;

const fs::path kGoldenDir = fs::path(FIXBENCH_SOURCE_DIR) / "tests/instruments/golden";

class Progress : public bench::IndexProgress {
public:
    void SetRange(int64_t lo, int64_t hi) override { range = {lo, hi}; }
    void SetValue(int64_t v) override {
        if (v < last) backwards = true;
        last = v;
    }
    void SetVisible(bool v) override { shown.push_back(v); }
    std::pair<int64_t, int64_t> range{-1, -1};
    int64_t last = -1;
    bool backwards = false;
    std::vector<bool> shown;
};

std::string Le32(uint32_t v) {
    std::string s(4, '\0');
    for (int i = 0; i < 4; ++i) s[i] = static_cast<char>(v >> (8 * i));
    return s;
}

std::string Record(uint32_t pos, double t) {
    std::string s = Le32(pos);
    uint64_t bits;
    std::memcpy(&bits, &t, 8);
    for (int i = 0; i < 8; ++i) s += static_cast<char>(bits >> (8 * i));
    return s;
}

double Day(int h, int m, int s) { return (h * 3600 + m * 60 + s) / 86400.0; }

// Files left in a folder other than the ones named.
std::vector<std::string> Others(const std::string& folder, std::vector<std::string> keep) {
    std::vector<std::string> out;
    for (const auto& e : fs::directory_iterator(folder)) {
        const std::string n = e.path().filename().string();
        if (std::find(keep.begin(), keep.end(), n) == keep.end()) out.push_back(n);
    }
    return out;
}

TEST(ReplayIndex, NameReplacesTheLastThreeCharacters) {
    EXPECT_EQ(ReplayIndexName("/logs/Dev1_NMEA.txt"), "/logs/Dev1_NMEA.idx");
    EXPECT_EQ(ReplayIndexName("D:\\Logs\\Dev1_NMEA.log"), "D:\\Logs\\Dev1_NMEA.idx");
}

TEST(ReplayIndex, SmallLogGivesTheBytesWorkedOutByHandWhateverTheReadSize) {
    test::TempHome home;
    const std::string golden_log = test::ReadFileBytes((kGoldenDir / "replay_small_NMEA.txt").string());
    const std::string golden_idx = test::ReadFileBytes((kGoldenDir / "replay_small_NMEA.idx").string());
    ASSERT_FALSE(golden_log.empty());
    // The first record is the one of the format's own example: 12:35:19 at position 1.
    ASSERT_EQ(golden_idx.substr(4, 12), std::string("\x01\x00\x00\x00\xC2\x0B\xAB\x9F\xE9\xC8\xE0\x3F", 12));

    const std::string log = home.File("small_NMEA.txt");
    test::WriteFileBytes(log, golden_log);
    for (size_t block : {size_t{1}, size_t{7}, size_t{1024}, size_t{1} << 20}) {
        Progress p;
        const bench::TimeIndexBuild b = BuildTimeIndex(log, "$GPGGA", &p, block);
        EXPECT_EQ(b.Records, 4) << block;
        EXPECT_FALSE(b.Truncated);
        EXPECT_EQ(test::ReadFileBytes(home.File("small_NMEA.idx")), golden_idx) << "read size " << block;
        EXPECT_EQ(p.range.first, 0);
        EXPECT_EQ(p.range.second, static_cast<int64_t>(golden_log.size()) - 1);
        EXPECT_EQ(p.last, static_cast<int64_t>(golden_log.size()) - 1);
        EXPECT_FALSE(p.backwards);
        EXPECT_EQ(p.shown, (std::vector<bool>{true, false}));
    }
    EXPECT_TRUE(Others(home.Path(), {"small_NMEA.txt", "small_NMEA.idx"}).empty()) << "no temporary file is left";
}

TEST(ReplayIndex, SentencesOnBothSidesOfAReadBoundaryKeepTheirOwnPositions) {
    test::TempHome home;
    // About 1500 bytes; the GGA of the fifth second straddles byte 1024.
    // A header line of the right length puts one GGA across byte 1024.
    replay_test::Log made;
    bool straddles = false;
    for (int pad = 0; pad < 400 && !straddles; ++pad) {
        made = replay_test::MakeLog(36000, 8, 7.038, "$PQNVRST,BOOT" + std::string(pad, 'X') + "*00\r\n");
        for (const auto& e : made.epochs)
            straddles |= e.position < 1024 && e.position + static_cast<long long>(e.gga.size()) > 1030;
    }
    ASSERT_TRUE(straddles);
    ASSERT_GT(made.bytes.size(), 1024u);
    const std::string log = home.File("boundary.txt");
    test::WriteFileBytes(log, made.bytes);

    for (size_t block : {size_t{1024}, size_t{1} << 20}) {
        BuildTimeIndex(log, "$GPGGA", nullptr, block);
        const std::string idx = home.File("boundary.idx");
        ASSERT_EQ(ReadIndexCount(idx), 8);
        for (int k = 1; k <= 8; ++k) {
            const bench::ReplayIndexRecord r = ReadIndexRecord(idx, k);
            EXPECT_EQ(r.Position, made.epochs[k - 1].position) << k;
            EXPECT_EQ(r.Time, (36000 + k - 1) / 86400.0) << k;
        }
    }
}

TEST(ReplayIndex, LogsWithoutUsableSentencesGiveAnEmptyIndex) {
    test::TempHome home;
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"empty", ""},
        {"no_gga", replay_test::Sentence("GPRMC,123519.00,A,4807.038,N,01131.000,E,0.0,0.0,091226,,,A")},
        {"doubled", "$$GPGGA,123519.00,4807.038,N*00\r\n"},
        {"no_fix", "$GPGGA,,,,,,0,00,99.99,,,,,,*48\r\n$GPGGA,,,,,,0,00,,,,,,,*66\r\n"},
        {"bad_time", "$GPGGA,246000.00,4807.038,N*00\r\n$GPGGA,12a519,4807.038,N*00\r\n"},
        {"cut_short", "$GPGGA,12351"},
    };
    for (const auto& [name, bytes] : cases) {
        const std::string log = home.File(name + ".txt");
        test::WriteFileBytes(log, bytes);
        Progress p;
        EXPECT_EQ(BuildTimeIndex(log, "$GPGGA", &p).Records, 0) << name;
        EXPECT_EQ(test::ReadFileBytes(home.File(name + ".idx")), std::string(4, '\0')) << name;
        EXPECT_LE(p.range.first, p.range.second) << name;
    }
}

TEST(ReplayIndex, ATimeFieldShorterThanSixDigitsIsNoTimeWhateverFollows) {
    test::TempHome home;
    // Digits of the next fields would make 12:10:45 and 12:35:19 of them.
    const std::string short_time = "$GPGGA,1210,4528.123,N,00912.000,E,1,08,0.9,545.4,M,46.9,M,,*00\r\n";
    const std::string empty_time = "$GPGGA,,123519.00,N,00912.000,E,1,08,0.9,545.4,M,46.9,M,,*00\r\n";
    const std::string good = replay_test::Sentence("GPGGA,121046.00,4528.123,N,00912.000,E,1,08,0.9,545.4,M,46.9,M,,");
    const std::string bytes = short_time + empty_time + good;
    // However the log is read, in one piece or byte by byte.
    for (size_t block : {size_t{1}, size_t{7}, size_t{1} << 20}) {
        const std::string log = home.File("short.txt");
        test::WriteFileBytes(log, bytes);
        EXPECT_EQ(BuildTimeIndex(log, "$GPGGA", nullptr, block).Records, 1) << block;
        ASSERT_EQ(ReadIndexCount(home.File("short.idx")), 1) << block;
        EXPECT_EQ(ReadIndexRecord(home.File("short.idx"), 1).Position,
                  static_cast<int64_t>(short_time.size() + empty_time.size() + 1));
        EXPECT_EQ(ReadIndexRecord(home.File("short.idx"), 1).Time, Day(12, 10, 46));
    }
    // A pattern that carries its own comma skips none after it.
    const std::string log = home.File("comma.txt");
    test::WriteFileBytes(log, empty_time + good);
    EXPECT_EQ(BuildTimeIndex(log, "$GPGGA,", nullptr).Records, 1);
    EXPECT_EQ(ReadIndexRecord(home.File("comma.idx"), 1).Time, Day(12, 10, 46));
}

TEST(ReplayIndex, AGgaAfterABrokenOneIsStillFound) {
    test::TempHome home;
    // A receiver that restarts mid-sentence: the time field is cut by the
    // next sentence's "$".
    const std::string bytes = "$GPGGA,1235$GPGGA,123520.00,4807.038,N*00\r\n";
    const std::string log = home.File("restart.txt");
    test::WriteFileBytes(log, bytes);
    BuildTimeIndex(log, "$GPGGA", nullptr);
    ASSERT_EQ(ReadIndexCount(home.File("restart.idx")), 1);
    EXPECT_EQ(ReadIndexRecord(home.File("restart.idx"), 1).Position, 12);
    EXPECT_EQ(ReadIndexRecord(home.File("restart.idx"), 1).Time, Day(12, 35, 20));
}

TEST(ReplayIndex, ALogThatCannotBeReadLeavesTheOldIndexAlone) {
    test::TempHome home;
    const std::string old = "old index bytes";
    test::WriteFileBytes(home.File("gone.idx"), old);
    EXPECT_THROW(BuildTimeIndex(home.File("gone.txt"), "$GPGGA", nullptr), platform::BenchError);
    EXPECT_EQ(test::ReadFileBytes(home.File("gone.idx")), old);

    // A folder by the name of a log opens but cannot be read.
    fs::create_directory(home.File("folder.txt"));
    test::WriteFileBytes(home.File("folder.idx"), old);
    Progress p;
    try {
        BuildTimeIndex(home.File("folder.txt"), "$GPGGA", &p);
        ADD_FAILURE() << "a folder is not a log";
    } catch (const platform::BenchError& e) {
        EXPECT_NE(e.Description().find("folder.txt"), std::string::npos) << e.Description();
    }
    EXPECT_EQ(test::ReadFileBytes(home.File("folder.idx")), old);
    EXPECT_TRUE(p.shown.empty() || !p.shown.back()) << "the progress bar is hidden again";
    EXPECT_TRUE(Others(home.Path(), {"gone.idx", "folder.txt", "folder.idx"}).empty());
}

class Lookup : public ::testing::Test {
protected:
    std::string Index(const std::vector<std::pair<uint32_t, double>>& records) {
        std::string bytes = Le32(static_cast<uint32_t>(records.size()));
        for (const auto& [pos, t] : records) bytes += Record(pos, t);
        const std::string path = home.File("lookup.idx");
        test::WriteFileBytes(path, bytes);
        return path;
    }
    int64_t Find(const std::string& idx, double t, int64_t& next) { return FindOffsetForTime(idx, t, next); }
    test::TempHome home;
};

TEST_F(Lookup, FindsTheRecordOfATimeAndTheOneAfterIt) {
    const std::string idx = Index({{1, Day(10, 0, 0)}, {100, Day(10, 0, 1)}, {200, Day(10, 0, 3)}});
    int64_t next = 0;
    EXPECT_EQ(Find(idx, Day(10, 0, 0), next), 1);
    EXPECT_EQ(next, 100);
    EXPECT_EQ(Find(idx, Day(10, 0, 1), next), 100);
    EXPECT_EQ(next, 200);
    // In the gap, searching forward: the first record after it, which is the last.
    EXPECT_EQ(Find(idx, Day(10, 0, 2), next), 200);
    EXPECT_EQ(next, 200);
    // Before the log: record 1; after it: the last record.
    EXPECT_EQ(Find(idx, Day(9, 59, 0), next), 1);
    EXPECT_EQ(next, 100);
    EXPECT_EQ(Find(idx, Day(11, 0, 0), next), 200);
    EXPECT_EQ(next, 200);
}

TEST_F(Lookup, SteppingBackStopsAtTheLastRecordBeforeTheTime) {
    // A gap of five seconds after record 1: the one-per-second guess for
    // 10:00:03 lands on record 3 (10:00:06) and has to walk back.
    const std::string idx =
        Index({{1, Day(10, 0, 0)}, {50, Day(10, 0, 5)}, {90, Day(10, 0, 6)}, {130, Day(10, 0, 7)}});
    int64_t next = 0;
    EXPECT_EQ(Find(idx, Day(10, 0, 3), next), 1);
    EXPECT_EQ(next, 50);
    EXPECT_EQ(Find(idx, Day(10, 0, 6), next), 90);
    EXPECT_EQ(next, 130);
}

TEST_F(Lookup, ALogAcrossMidnightIsFoundOnBothSides) {
    const std::string idx =
        Index({{1, Day(23, 59, 58)}, {80, Day(23, 59, 59)}, {160, Day(0, 0, 0)}, {240, Day(0, 0, 1)}});
    int64_t next = 0;
    EXPECT_EQ(Find(idx, Day(23, 59, 59), next), 80);
    EXPECT_EQ(Find(idx, Day(0, 0, 0), next), 160);
    EXPECT_EQ(next, 240);
    EXPECT_EQ(Find(idx, Day(0, 0, 1), next), 240);
}

// A whole day of one record a second, from noon to noon: every second has
// its own place on the log's timeline, on both sides of midnight.
TEST(ReplayTimeline, ADayFromNoonToNoonFindsEverySecondOnItsOwnDay) {
    test::TempHome home;
    const replay_test::Log day = replay_test::MakeLog(43200, 86401);
    const std::string log = home.File("day.txt");
    test::WriteFileBytes(log, day.bytes);
    ASSERT_EQ(BuildTimeIndex(log, "$GPGGA", nullptr).Records, 86401);
    const std::string idx = home.File("day.idx");

    const bench::ReplayTimeline timeline(idx);
    ASSERT_EQ(timeline.Count(), 86401);
    EXPECT_EQ(timeline.FirstSecondOfDay(), 43200);
    for (int32_t k = 1; k <= 86401; ++k) {
        ASSERT_EQ(timeline.Seconds(k), k - 1) << k;
        ASSERT_EQ(timeline.Find(k - 1), k) << k;
        ASSERT_EQ(timeline.Record(k).Position, day.epochs[static_cast<size_t>(k - 1)].position) << k;
    }
    EXPECT_EQ(timeline.Find(-5), 1) << "before the log";
    EXPECT_EQ(timeline.Find(90000), 86401) << "after it";

    // By time of day: the first occurrence from the log's start.
    auto epoch_of = [&](int h, int m, int sec) {
        int64_t next = 0;
        const int64_t pos = FindOffsetForTime(idx, Day(h, m, sec), next);
        const auto it = std::find_if(day.epochs.begin(), day.epochs.end(),
                                     [&](const replay_test::Epoch& e) { return e.position == pos; });
        EXPECT_NE(it, day.epochs.end());
        const size_t i = static_cast<size_t>(it - day.epochs.begin());
        EXPECT_EQ(next, i + 1 < day.epochs.size() ? day.epochs[i + 1].position : pos);
        return it->second;
    };
    EXPECT_EQ(epoch_of(12, 0, 0), 43200);
    EXPECT_EQ(epoch_of(18, 30, 0), 66600);
    for (int sec = 55; sec <= 59; ++sec) EXPECT_EQ(epoch_of(23, 57, sec), 86275 + sec - 55);
    EXPECT_EQ(epoch_of(23, 59, 57), 86397);
    EXPECT_EQ(epoch_of(23, 59, 59), 86399);
    EXPECT_EQ(epoch_of(0, 0, 0), 86400);
    EXPECT_EQ(epoch_of(0, 3, 44), 86400 + 224);
    EXPECT_EQ(epoch_of(1, 55, 0), 86400 + 6900);
    EXPECT_EQ(epoch_of(6, 0, 0), 86400 + 21600);
    EXPECT_EQ(epoch_of(11, 59, 59), 86400 + 43199);
}

TEST_F(Lookup, TimesOutsideALogAcrossMidnightGoToTheNearerEnd) {
    const std::string idx =
        Index({{1, Day(23, 59, 58)}, {80, Day(23, 59, 59)}, {160, Day(0, 0, 0)}, {240, Day(0, 0, 1)}});
    int64_t next = 0;
    EXPECT_EQ(Find(idx, Day(23, 0, 0), next), 1);
    EXPECT_EQ(next, 80);
    EXPECT_EQ(Find(idx, Day(1, 0, 0), next), 240);
    EXPECT_EQ(next, 240);
    // A receiver's clock that steps back a little is no new day.
    const std::string back = Index({{1, Day(10, 0, 0)}, {50, Day(10, 0, 1)}, {90, Day(9, 59, 58)}, {130, Day(10, 0, 2)}});
    const bench::ReplayTimeline timeline(back);
    EXPECT_EQ(timeline.Seconds(3), -2);
    EXPECT_EQ(timeline.Seconds(4), 2);
    EXPECT_EQ(Find(back, Day(10, 0, 2), next), 130);
}

TEST_F(Lookup, PositionsPastTwoGibibytesReadBack) {
    const std::string idx = Index({{0x7FFFFFF0u, Day(1, 0, 0)}, {0xC0000000u, Day(1, 0, 1)}});
    int64_t next = 0;
    EXPECT_EQ(Find(idx, Day(1, 0, 0), next), 0x7FFFFFF0LL);
    EXPECT_EQ(next, 0xC0000000LL);
}

TEST_F(Lookup, AMissingOrEmptyIndexFindsNothingToReplay) {
    int64_t next = 0;
    EXPECT_EQ(ReadIndexCount(home.File("none.idx")), 0);
    EXPECT_EQ(Find(home.File("none.idx"), Day(10, 0, 0), next), 1);
    EXPECT_EQ(next, 1);
    EXPECT_FALSE(fs::exists(home.File("none.idx"))) << "a lookup never creates an index";
    const std::string idx = Index({});
    EXPECT_EQ(Find(idx, Day(10, 0, 0), next), 1);
    EXPECT_EQ(next, 1);
    EXPECT_THROW(bench::ReadIndexTime(idx, 1), platform::BenchError);
}

// An index whose count says more records than its bytes hold, as a copy cut
// short or a damaged disk leaves it: every reader keeps the records the
// file holds, the check calls it damaged, and nothing is allocated from the
// count.
TEST_F(Lookup, ACountPastTheFileIsDamageAndReadsAsTheRecordsItHolds) {
    const std::string log = home.File("lookup.txt");
    test::WriteFileBytes(log, "");
    for (const uint32_t count : {0x7FFFFFFFu, 0x10000000u, 3u}) {
        SCOPED_TRACE(count);
        const std::string idx = home.File("lookup.idx");
        test::WriteFileBytes(idx, Le32(count) + Record(57, Day(12, 35, 19)) + Record(900, Day(12, 35, 20)));
        fs::last_write_time(idx, fs::last_write_time(log) + std::chrono::seconds(5));
        EXPECT_EQ(bench::CheckTimeIndex(log, idx), IndexCheck::Damaged);
        try {
            EXPECT_EQ(ReadIndexCount(idx), 2);
            EXPECT_EQ(ReadIndexRecord(idx, 2).Position, 900);
            EXPECT_THROW(ReadIndexRecord(idx, 3), platform::BenchError);
            const bench::ReplayTimeline timeline(idx);
            EXPECT_EQ(timeline.Count(), 2);
            EXPECT_EQ(timeline.Seconds(2), 1);
            int64_t next = 0;
            EXPECT_EQ(Find(idx, Day(12, 35, 19), next), 57);
            EXPECT_EQ(next, 900);
            EXPECT_EQ(Find(idx, Day(23, 0, 0), next), 900);
            EXPECT_EQ(next, 900);
        } catch (const std::bad_alloc&) {
            ADD_FAILURE() << "allocated from the count";
        }
    }
    // A count past a file of the header alone: no records at all.
    const std::string bare = home.File("bare.idx");
    test::WriteFileBytes(bare, Le32(0x7FFFFFFFu));
    EXPECT_EQ(ReadIndexCount(bare), 0);
    EXPECT_EQ(bench::ReplayTimeline(bare).Count(), 0);
    int64_t next = 0;
    EXPECT_EQ(Find(bare, Day(1, 0, 0), next), 1);
}

TEST(ReplayIndex, CheckTellsMissingDamagedOutdatedAndCurrentApart) {
    test::TempHome home;
    const std::string log = home.File("check.txt");
    const std::string idx = home.File("check.idx");
    test::WriteFileBytes(log, replay_test::MakeLog(3600, 3).bytes);
    EXPECT_EQ(bench::CheckTimeIndex(log, idx), IndexCheck::Missing);

    BuildTimeIndex(log, "$GPGGA", nullptr);
    EXPECT_EQ(bench::CheckTimeIndex(log, idx), IndexCheck::Current);

    // The log grew after its index was made.
    fs::last_write_time(log, fs::last_write_time(idx) + std::chrono::seconds(5));
    EXPECT_EQ(bench::CheckTimeIndex(log, idx), IndexCheck::Stale);

    BuildTimeIndex(log, "$GPGGA", nullptr);
    const std::string whole = test::ReadFileBytes(idx);
    test::WriteFileBytes(idx, whole.substr(0, whole.size() - 1));  // cut in its last record
    fs::last_write_time(idx, fs::last_write_time(log) + std::chrono::seconds(5));
    EXPECT_EQ(bench::CheckTimeIndex(log, idx), IndexCheck::Damaged);
    test::WriteFileBytes(idx, "\x01");
    EXPECT_EQ(bench::CheckTimeIndex(log, idx), IndexCheck::Damaged);
}

}  // namespace
