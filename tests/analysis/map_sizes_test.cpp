// Two linker maps compared as a user runs it: the printed table, the three
// CSV files that each run appends to, and the refusals.
#include <gtest/gtest.h>

#include <cstdio>

#include "tests/analysis/navsift_harness.h"

namespace navsift_test {
namespace {

const fs::path kGoldenDir = fs::path(FIXBENCH_SOURCE_DIR) / "tests/analysis/golden";

std::string Map(const std::string& listing)
{
    return "Memory map of the image\n"
           "    Load Region LR_1 (Base: 0x00000000, Size: 0x00012000)\n"
           "      0x00000000   0x00000100   Code   RO   1   * !!!main  boot.o\n"
           "\n"
           "==============================================================================\n"
           "\n"
           "Image component sizes\n"
           "\n"
           "      Code    RO Data    RW Data    ZI Data      Debug   Object Name\n"
           "\n" +
           listing +
           "\n"
           "    ----------------------------------------------------------------------\n";
}

// In the first build: nav.o grows, dbg.o changes only its debug
// information, old.o exists only here, a ".o" line that is no entry, and a
// library whose name holds ".o" (so the object pass reads it too).
const std::string kFirst = Map("      1200        100         16        400       3000   nav.o\n"
                               "       300          0          0          0       1200   dbg.o\n"
                               "       100         10          0          0         50   old.o\n"
                               "        64          0          0          0          0   same.o\n"
                               "    see page 3 of nav.o for details\n"
                               "      5000        200         32        900       8000   math.olib.lib\n"
                               "      7000        300         40       1000       9000   rtos.lib\n");
const std::string kSecond = Map("      1000        100         16        300       2900   nav.o\n"
                                "       300          0          0          0       1000   dbg.o\n"
                                "        64          0          0          0          0   same.o\n"
                                "        80          8          0          0         40   new.o\n"
                                "      5100        200         32        900       8000   math.olib.lib\n"
                                "      6500        300         40       1000       9100   rtos.lib\n");

TEST(MapSizes, TablesAndTheThreeFilesEachRunAppendsTo)
{
    ScratchDir dir;
    WriteFile(dir / "a.map", kFirst);
    WriteFile(dir / "b.map", kSecond);
    RunResult r = navsift_test::Run({NavsiftPath(), "-size", "-b1", "a.map", "-b2", "b.map"}, dir.path());
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, ReadFile(kGoldenDir / "map_compare.txt"));
    // dbg.o only changed its debug size: not listed, but in the total.
    EXPECT_EQ(r.out.find("dbg.o"), std::string::npos);
    char total[128];
    std::snprintf(total, sizeof total, "%40s %10d %10d %10d %10d %10d\n", "TOTAL", 100, 0, 0, 100, 300);
    EXPECT_NE(r.out.find(total), std::string::npos) << r.out;
    const std::string versus = ReadFile(dir / "a_vs_b.csv");
    EXPECT_EQ(versus, ReadFile(kGoldenDir / "map_a_vs_b.csv"));
    EXPECT_EQ(ReadFile(dir / "a.csv"), ReadFile(kGoldenDir / "map_a.csv"));
    EXPECT_EQ(ReadFile(dir / "b.csv"), ReadFile(kGoldenDir / "map_b.csv"));
    // The per-map files end their blocks with the difference totals too.
    EXPECT_NE(ReadFile(dir / "b.csv").find(",,,,,\n100,0,0,100,300,TOTAL\n"), std::string::npos);

    // A second run appends both blocks again.
    r = navsift_test::Run({NavsiftPath(), "-size", "-b1", "a.map", "-b2", "b.map"}, dir.path());
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(ReadFile(dir / "a_vs_b.csv"), versus + versus);
}

TEST(MapSizes, FoldersAndRefusals)
{
    ScratchDir dir;
    fs::create_directories(dir / "v1");
    fs::create_directories(dir / "v2");
    WriteFile(dir / "v1" / "fw.map", kFirst);
    WriteFile(dir / "v2" / "fw2.map", kSecond);
    RunResult r = navsift_test::Run({NavsiftPath(), "-size", "-b1", "v1/fw.map", "-b2", "v2/fw2.map"}, dir.path());
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(fs::exists(dir / "v1" / "fw_vs_fw2.csv"));
    EXPECT_TRUE(fs::exists(dir / "v1" / "fw.csv"));
    EXPECT_TRUE(fs::exists(dir / "v2" / "fw2.csv"));

    ScratchDir empty;
    WriteFile(empty / "a.map", kFirst);
    r = navsift_test::Run({NavsiftPath(), "-size", "-b1", "a.map"}, empty.path());
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.err.find("-size needs -b1 and -b2"), std::string::npos);
    r = navsift_test::Run({NavsiftPath(), "-size", "-b1", "a.map", "-b2", "missing.map"}, empty.path());
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("navsift: missing.map does not exist"), std::string::npos);
    // A map named like one of the tables is never appended to.
    WriteFile(empty / "a_vs_b.csv", kSecond);
    r = navsift_test::Run({NavsiftPath(), "-size", "-b1", "a.map", "-b2", "a_vs_b.csv"}, empty.path());
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(ReadFile(empty / "a_vs_b.csv"), kSecond);
    std::vector<std::string> files;
    for (const auto& e : fs::directory_iterator(empty.path())) {
        files.push_back(e.path().filename().string());
    }
    EXPECT_EQ(files.size(), 2u);
}

}  // namespace
}  // namespace navsift_test
