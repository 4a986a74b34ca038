// Folders, files and random waits on the real machine.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <set>

#include "bench/session/session_platform.h"
#include "tests/support/fake_session_env.h"

namespace {

namespace fs = std::filesystem;
using bench::session::LocalFileSystem;

struct LocalFiles : ::testing::Test {
    fs::path root;
    void SetUp() override {
        root = fs::temp_directory_path() /
               ("fb_session_" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) + "_" +
                ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(root);
        fs::create_directories(root);
    }
    void TearDown() override { fs::remove_all(root); }
};

TEST_F(LocalFiles, StoredFoldersAreMadeWithTheirParentsUnderTheProgramFolder) {
    LocalFileSystem files(root.string());
    std::string why;
    ASSERT_TRUE(files.MakeFolder("C:\\GPS_TEST\\_8-12-2026_12.0.0\\GPS1", why)) << why;
    EXPECT_TRUE(fs::is_directory(root / "GPS_TEST" / "_8-12-2026_12.0.0" / "GPS1"));
    // Made already: still success.
    EXPECT_TRUE(files.MakeFolder("C:\\GPS_TEST\\_8-12-2026_12.0.0\\GPS1", why));
    EXPECT_EQ(files.MapPath("C:\\GPS_TEST\\a.txt"), (root / "GPS_TEST" / "a.txt").string());
}

TEST_F(LocalFiles, AFileInTheWayIsAFailureWithAReason) {
    LocalFileSystem files(root.string());
    std::ofstream(root / "blocked") << "x";
    std::string why;
    EXPECT_FALSE(files.MakeFolder((root / "blocked").string(), why));
    EXPECT_FALSE(why.empty());
    EXPECT_FALSE(files.MakeFolder((root / "blocked" / "deeper").string(), why));
}

TEST_F(LocalFiles, OnlyAFileWithAtLeastOneByteCounts) {
    LocalFileSystem files(root.string());
    std::ofstream(root / "empty.alm");
    std::ofstream(root / "one.alm") << "x";
    EXPECT_FALSE(files.FileHasData((root / "empty.alm").string()));
    EXPECT_TRUE(files.FileHasData((root / "one.alm").string()));
    EXPECT_FALSE(files.FileHasData((root / "missing.alm").string()));
    EXPECT_FALSE(files.FileHasData(root.string()));
}

TEST(ClockSeededRandom, DrawsInTheUnitIntervalAndDiffersBetweenRuns) {
    fakes::FakeSessionClock c1, c2;
    c2.Advance(1);
    bench::session::ClockSeededRandom r1(c1), r2(c2);
    std::set<double> seen;
    bool differ = false;
    for (int i = 0; i < 1000; ++i) {
        const double a = r1.Next(), b = r2.Next();
        ASSERT_GE(a, 0.0);
        ASSERT_LT(a, 1.0);
        differ = differ || a != b;
        seen.insert(a);
    }
    EXPECT_TRUE(differ);
    EXPECT_GT(seen.size(), 990u);
}

}  // namespace
