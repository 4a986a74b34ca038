// A report saved onto a full disk: the user reads that the disk is full
// and which file could not be written. The disk is a small memory file
// system of its own, mounted in a private mount namespace, where this test
// runs itself once more.
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <vector>
#include <string>

#include "bench/reports/report_commands.h"
#include "platform/core/error.h"
#include "platform/ui/prompts.h"
#include "tests/reports/report_bench.h"
#include "tests/support/qt_app.h"

namespace {

using namespace reptest;

constexpr const char* kInside = "FIXBENCH_TEST_FULL_DISK";

class FullDisk : public ReportTest {
protected:
    // Runs the test named `name` again inside a private mount namespace on a
    // 64 KiB disk of its own; false (and skipped) when there is none here.
    bool RunOnASmallDisk(const std::string& name) {
        std::string out;
        if (wbtest::Run("unshare -Urm sh -c 'mount -t tmpfs -o size=64k tmpfs " + dir.Path().string() +
                            " && echo mounted'",
                        out) != 0 ||
            out.find("mounted") == std::string::npos)
            return false;
        const std::string mnt = dir.File("disk");
        std::filesystem::create_directories(mnt);
        const int rc = wbtest::Run("unshare -Urm sh -c 'mount -t tmpfs -o size=64k tmpfs " + mnt + " && " + kInside +
                                       "=" + mnt + " exec " + std::filesystem::read_symlink("/proc/self/exe").string() +
                                       " --gtest_filter=FullDisk." + name + "' 2>&1",
                                   out);
        EXPECT_EQ(rc, 0) << out;
        EXPECT_NE(out.find("[  PASSED  ] 1 test"), std::string::npos) << out;
        return true;
    }
    static void Free(const std::string& disk) { std::filesystem::remove(disk + "/filler"); }
    static void Fill(const std::string& disk) {
        std::ofstream fill(disk + "/filler", std::ios::binary);
        const std::string block(4096, 'x');
        for (int i = 0; i < 64 && fill; ++i) fill.write(block.data(), block.size()), fill.flush();
    }
};

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

// The same from the menu: the box says the disk is full and names the
// file, and ends there, without an error number.
TEST_F(FullDisk, TheMenuReportsBoxSaysTheDiskIsFullWithoutANumber) {
    const char* disk = std::getenv(kInside);
    if (!disk) {
        if (!RunOnASmallDisk("TheMenuReportsBoxSaysTheDiskIsFullWithoutANumber"))
            GTEST_SKIP() << "no private mount namespace here";
        return;
    }
    test::EnsureApp();
    const std::string file = std::string(disk) + "/RCV2_TTFF_COLD_NMEA_Results.txt";
    wbtest::WriteFile(file, ResultsText(Ttffs({30, 40, 50})));
    Fill(disk);
    bench::reports::ReportCommands commands(host, disk);
    auto& p = platform::Prompts::Instance();
    p.ClearAsked();
    p.QueueFileName(file);
    commands.GenerateExcelReport_Click();
    ASSERT_TRUE(test::WaitFor([&] { return !commands.Busy(); }, 20000));
    std::string box;
    for (const std::string& q : p.Asked())
        if (q.find("the disk is full") != std::string::npos) box = q;
    ASSERT_FALSE(box.empty()) << "no box says the disk is full";
    EXPECT_NE(box.find(std::string(disk) + "/"), std::string::npos) << "the file is named: " << box;
    EXPECT_NE(box.find("RCV2_TTFF_COLD_NMEA_Results"), std::string::npos) << "the file is named: " << box;
    EXPECT_EQ(box.substr(box.size() - std::string("the disk is full").size()), "the disk is full")
        << "nothing after it: " << box;
    EXPECT_EQ(box.find("1004"), std::string::npos) << box;
}

}  // namespace

namespace {

using namespace reptest;

// The disk filled to its last byte, then `leave` bytes given back.
void FillLeaving(const std::string& disk, size_t leave) {
    const std::string filler = disk + "/filler";
    {
        std::ofstream fill(filler, std::ios::binary | std::ios::app);
        const std::string block(4096, 'x');
        while (fill.write(block.data(), block.size()) && fill.flush()) {
        }
    }
    std::error_code ec;
    const auto size = std::filesystem::file_size(filler, ec);
    if (!ec) std::filesystem::resize_file(filler, size > leave ? size - leave : 0, ec);
}

// The box that tells a failed save, and every box, as asked.
std::string FailureBox(const std::vector<std::string>& asked) {
    for (const std::string& q : asked)
        if (q.find("cannot") != std::string::npos || q.find("disk is full") != std::string::npos) return q;
    return "";
}

}  // namespace

// A report that cannot be saved for want of room, on either menu road and
// whether the disk is full or a few kilobytes short: the box names the
// report the person asked for, not the hidden copy it is built in.
TEST_F(FullDisk, EitherMenusBoxNamesTheReportAskedForNotItsWorkingCopy) {
    const char* disk = std::getenv(kInside);
    if (!disk) {
        if (!RunOnASmallDisk("EitherMenusBoxNamesTheReportAskedForNotItsWorkingCopy"))
            GTEST_SKIP() << "no private mount namespace here";
        return;
    }
    test::EnsureApp();
    const std::string d(disk);
    const std::string results = d + "/FD_TTFF_COLD_NMEA_Results.txt";
    wbtest::WriteFile(results, ResultsText(Ttffs({30, 40, 50, 35, 45})));
    std::vector<std::string> levels;
    for (const char* level : {"-130", "-135", "-140"}) {
        levels.push_back(d + "/R1_TTFF_COLD_NMEA_Results_PW" + level + ".txt");
        wbtest::WriteFile(levels.back(), ResultsText(Ttffs({31.5, 28.25, 40, 35.75})));
    }
    bench::reports::ReportCommands commands(host, disk);
    auto& p = platform::Prompts::Instance();
    for (const size_t leave : {size_t{0}, size_t{4096}, size_t{6144}, size_t{8192}}) {
        SCOPED_TRACE(leave);
        FillLeaving(d, leave);
        p.ClearAsked();
        p.ClearQueue();
        p.QueueFileName(results);
        p.QueueAnswer(platform::Answer::No);
        commands.GenerateExcelReport_Click();
        ASSERT_TRUE(test::WaitFor([&] { return !commands.Busy(); }, 20000));
        const std::string menu = FailureBox(p.Asked());
        ASSERT_FALSE(menu.empty()) << "no box tells the failed save";
        EXPECT_NE(menu.find(d + "/FD_TTFF_COLD_NMEA_Results.xlsx"), std::string::npos) << menu;
        for (const std::string& q : p.Asked()) EXPECT_EQ(q.find("/.~"), std::string::npos) << q;

        p.ClearAsked();
        p.ClearQueue();
        p.QueueFileNames(levels);
        p.QueueText("45");
        p.QueueAnswer(platform::Answer::No);
        commands.Sensitivity_Click();
        ASSERT_TRUE(test::WaitFor([&] { return !commands.Busy(); }, 20000));
        const std::string sensitivity = FailureBox(p.Asked());
        ASSERT_FALSE(sensitivity.empty()) << "no box tells the failed save";
        EXPECT_NE(sensitivity.find(d + "/R1TTFF.xlsx"), std::string::npos) << sensitivity;
        for (const std::string& q : p.Asked()) EXPECT_EQ(q.find("/.~"), std::string::npos) << q;
        Free(d);
    }
}
