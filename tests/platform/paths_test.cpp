#include "platform/core/paths.h"

#include <gtest/gtest.h>

using namespace platform;

TEST(StoredPaths, DrivePrefixesMapToTheProgramFolder) {
    EXPECT_EQ(MapStoredPath("C:\\GPS_TEST\\", "/opt/fixbench"), "/opt/fixbench/GPS_TEST/");
    EXPECT_EQ(MapStoredPath("C:\\GPS_TEST\\", "/opt/fixbench/"), "/opt/fixbench/GPS_TEST/");
    EXPECT_EQ(MapStoredPath("d:/Lab\\Results", "/home/lab/fb"), "/home/lab/fb/Lab/Results");
    EXPECT_EQ(MapStoredPath("C:\\", "/opt/fixbench"), "/opt/fixbench/");
    EXPECT_EQ(MapStoredPath("C:", "/opt/fixbench"), "/opt/fixbench");
    EXPECT_EQ(MapStoredPath("E:almanac.txt", "/opt/fixbench"), "/opt/fixbench/almanac.txt");
}

TEST(StoredPaths, LinuxAndRelativePathsKeepTheirText) {
    EXPECT_EQ(MapStoredPath("/data/gps tests/", "/opt/fixbench"), "/data/gps tests/");
    EXPECT_EQ(MapStoredPath("scripts\\cold.txt", "/opt/fixbench"), "scripts/cold.txt");
    EXPECT_EQ(MapStoredPath("", "/opt/fixbench"), "");
    // A colon later in the name is no drive.
    EXPECT_EQ(MapStoredPath("/srv/run_12:30/", "/opt/fixbench"), "/srv/run_12:30/");
    EXPECT_EQ(MapStoredPath("1:\\x", "/opt/fixbench"), "1:/x");
}

TEST(StoredPaths, StoredBytesBecomeUtf8Names) {
    // The configuration holds Windows-1252; Linux names are UTF-8.
    EXPECT_EQ(MapStoredPath("C:\\Tests\\M\xFCller\\", "/opt/fb"), "/opt/fb/Tests/M\xC3\xBCller/");
}

TEST(StoredPaths, JoinAddsOneSeparator) {
    EXPECT_EQ(JoinPath("/a/b", "c.txt"), "/a/b/c.txt");
    EXPECT_EQ(JoinPath("/a/b/", "c.txt"), "/a/b/c.txt");
    EXPECT_EQ(JoinPath("/a/b/", "/c.txt"), "/a/b/c.txt");
    EXPECT_EQ(JoinPath("", "c.txt"), "c.txt");
    EXPECT_EQ(JoinPath("/a", ""), "/a");
}
