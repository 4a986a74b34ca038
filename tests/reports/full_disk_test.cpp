// A report saved onto a full disk: the user reads that the disk is full
// and which file could not be written. The disk is a small memory file
// system of its own, mounted in a private mount namespace, where this test
// runs itself once more.
#include <cstdlib>
#include <fstream>
#include <string>

#include "platform/core/error.h"
#include "tests/reports/report_bench.h"

namespace {

using namespace reptest;

constexpr const char* kInside = "FIXBENCH_TEST_FULL_DISK";

class FullDisk : public ReportTest {};

TEST_F(FullDisk, ASaveOntoAFullDiskSaysSoAndNamesTheFile) {
    const char* disk = std::getenv(kInside);
    if (!disk) {
        std::string out;
        if (wbtest::Run("unshare -Urm sh -c 'mount -t tmpfs -o size=64k tmpfs " + dir.Path().string() +
                            " && echo mounted'",
                        out) != 0 ||
            out.find("mounted") == std::string::npos)
            GTEST_SKIP() << "no private mount namespace here: " << out;
        const std::string mnt = dir.File("disk");
        std::filesystem::create_directories(mnt);
        const int rc = wbtest::Run("unshare -Urm sh -c 'mount -t tmpfs -o size=64k tmpfs " + mnt + " && " + kInside +
                                       "=" + mnt + " exec " + std::filesystem::read_symlink("/proc/self/exe").string() +
                                       " --gtest_filter=FullDisk.ASaveOntoAFullDiskSaysSoAndNamesTheFile' 2>&1",
                                   out);
        EXPECT_EQ(rc, 0) << out;
        EXPECT_NE(out.find("[  PASSED  ] 1 test"), std::string::npos) << out;
        return;
    }
    // Inside: the disk is filled to its last byte, then a report is started on it.
    {
        std::ofstream fill(std::string(disk) + "/filler", std::ios::binary);
        const std::string block(4096, 'x');
        for (int i = 0; i < 64 && fill; ++i) fill.write(block.data(), block.size()), fill.flush();
    }
    base = std::string(disk) + "/RCV1_TTFF_COLD_NMEA_Results";
    try {
        bench::reports::CreateReportSheet(ctx, base, "COLD");
        ADD_FAILURE() << "the save onto a full disk succeeded";
    } catch (const platform::BenchError& e) {
        const std::string what = e.what();
        EXPECT_NE(what.find("the disk is full"), std::string::npos) << what;
        EXPECT_NE(what.find(std::string(disk) + "/"), std::string::npos) << "the file is named: " << what;
        EXPECT_NE(what.find("RCV1_TTFF_COLD_NMEA_Results"), std::string::npos) << "the file is named: " << what;
        EXPECT_EQ(what.find("ZIP_ERRNO"), std::string::npos) << what;
    }
}

}  // namespace
