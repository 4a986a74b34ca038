// GPS time and calendar, folder listings, the line reader and substring
// search, as the analyses rely on them.
#include <gtest/gtest.h>

#include "analysis/core/byte_stream.h"
#include "analysis/core/folders.h"
#include "analysis/core/gps_time.h"
#include "analysis/core/text_util.h"
#include "tests/analysis/navsift_harness.h"

namespace navsift_test {
namespace {

using namespace navsift;

TEST(GpsTime, EveryDayRoundTripsAndDaysAre86400SecondsApart)
{
    const int lengths[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    int64_t previous = -1;
    int days = 0;
    // Up to the last whole year that 32-bit GPS seconds reach.
    for (int year = 1981; year <= 2047; ++year) {
        for (int month = 1; month <= 12; ++month) {
            const int len = lengths[month - 1] + (month == 2 && year % 4 == 0 ? 1 : 0);
            for (int day = 1; day <= len; ++day, ++days) {
                const auto start = calendar_to_gps(year, month, day, 0, 0, 0);
                const auto end = calendar_to_gps(year, month, day, 23, 59, 59);
                ASSERT_TRUE(start && end) << year << "-" << month << "-" << day;
                if (previous >= 0) {
                    ASSERT_EQ(*start - previous, 86400) << year << "-" << month << "-" << day;
                }
                previous = *start;
                CalendarTime t;
                ASSERT_FALSE(gps_to_calendar(*end, t));
                ASSERT_EQ(t.year, year);
                ASSERT_EQ(t.month, month);
                ASSERT_EQ(t.day, day);
                ASSERT_EQ(t.hour * 3600 + t.minute * 60 + t.second, 86399);
            }
        }
    }
    EXPECT_EQ(days, 24471);
}

TEST(GpsTime, KnownValuesAndRejectedDates)
{
    EXPECT_EQ(calendar_to_gps(2008, 6, 30, 10, 0, 0), 898855200);
    EXPECT_EQ(calendar_to_gps(8, 6, 30, 10, 0, 0), 898855200);
    EXPECT_EQ(calendar_to_gps(99, 12, 31, 0, 0, 0), calendar_to_gps(1999, 12, 31, 0, 0, 0));
    EXPECT_EQ(calendar_to_gps(1981, 1, 1, 0, 0, 0), 361 * 86400);
    EXPECT_EQ(*calendar_to_gps(2008, 3, 1, 0, 0, 0) - *calendar_to_gps(2008, 2, 29, 0, 0, 0), 86400);
    EXPECT_EQ(*calendar_to_gps(2009, 3, 1, 0, 0, 0) - *calendar_to_gps(2009, 2, 28, 0, 0, 0), 86400);
    EXPECT_FALSE(calendar_to_gps(2008, 13, 1, 0, 0, 0));
    EXPECT_FALSE(calendar_to_gps(2008, 0, 1, 0, 0, 0));
    EXPECT_FALSE(calendar_to_gps(2009, 2, 29, 0, 0, 0));
    EXPECT_FALSE(calendar_to_gps(2008, 4, 31, 0, 0, 0));
    EXPECT_FALSE(calendar_to_gps(2008, 4, 0, 0, 0, 0));

    std::string stamp;
    gps_time_stamp(898855200, stamp);
    EXPECT_EQ(stamp, "100000_30062008");
    CalendarTime t;
    EXPECT_TRUE(gps_to_calendar(0, t));  // before 1981: out of range
    EXPECT_EQ(t.year + t.month + t.day, 0);
    EXPECT_FALSE(gps_to_calendar(361 * 86400, t));
    EXPECT_EQ(t.year * 10000 + t.month * 100 + t.day, 19810101);
}

TEST(Folders, ListingsSkipDotfilesMatchEndingsInAnyCaseAndSortIgnoringCase)
{
    ScratchDir dir;
    for (const char* name : {"a.txt", "B.TXT", "notes.text", "x y&z.txt", "ab", ".hidden.txt", "README"}) {
        WriteFile(dir / name, "x");
    }
    fs::create_directories(dir / "logs");
    fs::create_directories(dir / "v1.2");
    fs::create_directories(dir / "old.txt");
    const std::string folder = dir.path().string() + "/";

    EXPECT_EQ(list_files(folder, "*.txt"), (std::vector<std::string>{"a.txt", "B.TXT", "x y&z.txt"}));
    EXPECT_EQ(list_files(folder, "*.*"), (std::vector<std::string>{"a.txt", "ab", "B.TXT", "logs", "notes.text",
                                                                    "old.txt", "README", "v1.2", "x y&z.txt"}));
    EXPECT_EQ(list_folders(folder), (std::vector<std::string>{"logs", "old.txt", "v1.2"}));
    EXPECT_EQ(std::distance(fs::directory_iterator(dir.path()), fs::directory_iterator()), 10)
        << "listing leaves no file behind";
    EXPECT_TRUE(list_files(folder + "absent/", "*.txt").empty());
}

TEST(Folders, PathsSplitAtEitherSeparator)
{
    EXPECT_EQ(SplitPath("D:\\t\\dev_NMEA.txt").folder, "D:\\t\\");
    EXPECT_EQ(SplitPath("D:\\t\\dev_NMEA.txt").name, "dev_NMEA.txt");
    EXPECT_EQ(SplitPath("/lab/t/dev_NMEA.txt").folder, "/lab/t/");
    EXPECT_EQ(SplitPath("dev_NMEA.txt").folder, "");
    EXPECT_EQ(SplitPath("logs/").name, "");
}

TEST(TextUtilities, LinesAreCutAt2047CharactersAndKeepTheirLineFeed)
{
    ByteStream in = ByteStream::FromText(std::string(3000, 'x') + "\nsecond\r\nlast");
    std::string line;
    EXPECT_EQ(read_line(in, line), 0);
    EXPECT_EQ(line.size(), 2047u);
    EXPECT_EQ(read_line(in, line), 2047);
    EXPECT_EQ(line, std::string(953, 'x') + "\n");
    read_line(in, line);
    EXPECT_EQ(line, "second\r\n");
    read_line(in, line);
    EXPECT_EQ(line, "last");
    EXPECT_TRUE(in.AtEnd());

    EXPECT_EQ(find_substring_index("$GPGGA,1", "$GPGGA"), 0);
    EXPECT_EQ(find_substring_index("ab", "abc"), -1);
    EXPECT_EQ(find_substring_index("xxabab", "ab"), 2);
    EXPECT_EQ(find_substring_index("abc", ""), 0);
}

}  // namespace
}  // namespace navsift_test
