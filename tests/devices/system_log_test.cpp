#include "bench/devices/device_state.h"
#include "bench/devices/system_log.h"
#include "platform/core/error.h"
#include "platform/ui/prompts.h"
#include "tests/support/qt_app.h"

#include <gtest/gtest.h>

using namespace bench;

namespace {

class FixedClock : public platform::Clock {
public:
    double now = 0;
    double Now() const override { return now; }
    int64_t UtcMs() const override { return 0; }
    int64_t MonotonicMs() const override { return 0; }
};

// 8 December 2026 07:06:01 as days since 1899-12-30.
const double kMoment = 46364.0 + (7 * 3600 + 6 * 60 + 1) / 86400.0;

class SystemLogTest : public ::testing::Test {
protected:
    void SetUp() override {
        test::EnsureApp();
        clock.now = kMoment;
    }
    void TearDown() override { CloseSystemLog(); }
    std::string Log() { return test::ReadFileBytes(SystemLogPath()); }
    test::TempHome home;
    FixedClock clock;
};

int Routine(int fail_at, std::vector<int>& done) {
    int result = 0;
    Trapped("Routine", [&] {
        for (int step = 1; step <= 3; ++step) {
            if (step == fail_at) throw platform::BenchError(9, "Subscript out of range");
            done.push_back(step);
            result = step;
        }
    });
    return result;
}

}  // namespace

TEST_F(SystemLogTest, NamedAfterTheMomentWithoutLeadingZeros) {
    EXPECT_EQ(SystemLogFileName(kMoment), "SystemLog_8-12-2026_7.6.1.txt");
    EXPECT_EQ(SystemLogFileName(46023.0 + 0.5), "SystemLog_1-1-2026_12.0.0.txt");
    EXPECT_EQ(SystemLogDateTime(kMoment), "08/12/2026 07:06:01");
    OpenSystemLog(clock);
    EXPECT_EQ(SystemLogPath(), home.File("SystemLogs/SystemLog_8-12-2026_7.6.1.txt"));
}

TEST_F(SystemLogTest, ErrorReportWritesOnlyAPendingError) {
    OpenSystemLog(clock);
    ErrorReport("X");
    EXPECT_EQ(Log(), "");
    std::vector<int> done;
    EXPECT_EQ(Routine(2, done), 1) << "the partial result is returned";
    EXPECT_EQ(done, std::vector<int>{1}) << "steps before the error stay done";
    EXPECT_EQ(Routine(0, done), 3);
    try {
        throw std::out_of_range("vector");
    } catch (...) {
        ErrorReport("SatDB_Update");
    }
    EXPECT_EQ(Log(), "08/12/2026 07:06:01 : Subscript out of range (Routine)\r\n"
                     "08/12/2026 07:06:01 : Subscript out of range (SatDB_Update)\r\n");
}

TEST_F(SystemLogTest, ReopenedWithinTheSameSecondAppends) {
    OpenSystemLog(clock);
    SystemLogWrite("first run");
    CloseSystemLog();
    OpenSystemLog(clock);
    SystemLogWrite("second run");
    EXPECT_EQ(Log(), "08/12/2026 07:06:01 : first run\r\n08/12/2026 07:06:01 : second run\r\n");
}

TEST_F(SystemLogTest, WritingNeverThrows) {
    EXPECT_NO_THROW(SystemLogWrite("before the log is open"));
    EXPECT_NO_THROW(ErrorReport("Nothing"));
    try {
        throw platform::BenchError(57, "Device I/O error");
    } catch (...) {
        EXPECT_NO_THROW(ErrorReport("Closed"));
    }
}

TEST_F(SystemLogTest, UnwritableProgramFolderIsAnErrorToTheCaller) {
    test::WriteFileBytes(home.File("SystemLogs"), "a file where the folder should be");
    EXPECT_THROW(OpenSystemLog(clock), platform::BenchError);
    EXPECT_FALSE(SystemLogIsOpen());
}

TEST(IsDirectoryTest, OnlyAnExistingFolderCounts) {
    test::TempHome home;
    test::WriteFileBytes(home.File("f.txt"), "x");
    EXPECT_EQ(IsDirectory(home.Path()), -1);
    EXPECT_EQ(IsDirectory(home.File("f.txt")), 0);
    EXPECT_EQ(IsDirectory(home.File("missing")), 0);
}

TEST(ErrorMessageBoxTest, ShowsDescriptionAndNumberWithoutWaiting) {
    test::EnsureApp();
    auto& prompts = platform::Prompts::Instance();
    prompts.ClearAsked();
    ErrorMessageBox();
    EXPECT_TRUE(prompts.Asked().empty()) << "no pending error, no box";
    try {
        throw platform::BenchError(8002, "Invalid port number");
    } catch (...) {
        ErrorMessageBox();
    }
    ASSERT_EQ(prompts.Asked().size(), 1u);
    EXPECT_EQ(prompts.Asked()[0], "Fixbench: Invalid port number 8002");
}

TEST(OutputMsgTest, AppendsLinesToTheMessageBox) {
    DeviceState dev;
    OutputMsg(dev, "PORT BROKEN EVENT");
    OutputMsg(dev, "WARNING: GGA TIME");
    EXPECT_EQ(dev.OutputWin->Text(), "PORT BROKEN EVENT\r\nWARNING: GGA TIME\r\n");
}

TEST(DeviceStateTest, FreshRecordIsClearedWithTheFilterDefaults) {
    DeviceState dev;
    EXPECT_EQ(dev.FilterText, "KALMAN");
    EXPECT_FALSE(dev.FilterOn);
    EXPECT_EQ(dev.Paused, 0);
    EXPECT_EQ(dev.Console.Current, 0);
    EXPECT_EQ(dev.Console.Scroll->Value(), 255);
    for (int id = 1; id <= 255; ++id) {
        const SatDBEntry& e = dev.Sats[id];
        EXPECT_TRUE(e.CN0 == 0 && e.TrackTime == 0 && e.T2AMin == 86400 && !e.T2AArmed && e.AcquiredTime == 0) << id;
    }
    for (const auto* row : {&dev.SatBar, &dev.TrackTimer})
        for (auto* cell : *row) EXPECT_NE(cell, nullptr);
    EXPECT_FALSE(dev.PrimaryFile.IsOpen());
    EXPECT_FALSE(dev.PortTimeoutEnabled);
}
