// GGA sampling files and the C/N0 log, read back byte for byte from real
// files. GGA sentences go through the GGA processing, which counts them
// from the fix and takes the samples.
#include "bench/devices/device_state.h"
#include "bench/devices/gga.h"
#include "bench/devices/gga_sampling.h"
#include "bench/devices/nmea.h"
#include "bench/devices/system_log.h"
#include "platform/core/error.h"
#include "tests/support/emulated_receiver.h"
#include "tests/support/qt_app.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

using namespace bench;

namespace {

std::string Gga(int second, int quality) {
    char body[96];
    std::snprintf(body, sizeof body, "$GPGGA,1200%02d.00,4055.0480,N,01416.5560,E,%d,08,0.9,45.0,M,46.9,M,,",
                  second % 60, quality);
    return test::Sentence(body);
}

// One GGA sentence through the GGA processing, as the dispatcher hands it
// over: a quality from 0 to non-zero is the fix that starts a cycle.
void FeedGga(DeviceState& dev, const std::string& line) {
    ASSERT_EQ(NMEA_Msg_Decoding(nullptr, line), 0) << line;
    NMEA_GGA_Processing(dev, line, platform::SystemClock::Instance().StampNow());
}

// Feeds n sentences after a fix sentence; returns them all (fix first).
std::vector<std::string> FixThenSentences(DeviceState& dev, int n, int first_second = 0) {
    std::vector<std::string> sent;
    for (int i = 0; i <= n; ++i) {
        sent.push_back(Gga(first_second + i, 1));
        FeedGga(dev, sent.back());
    }
    return sent;
}

const std::vector<std::string> kNames = {"GGAOnFix.txt",  "GGA05sFix.txt", "GGA10sFix.txt",
                                         "GGA15sFix.txt", "GGA30sFix.txt", "GGA60sFix.txt"};
const std::vector<std::string> kFirst = {"0", "5", "10", "15", "30", "60"};
const std::vector<int> kCounts = {0, 5, 10, 15, 30, 60};

}  // namespace

TEST(GGASampling, TrialLineInEachFileHoldsTheSentenceAtItsCount) {
    test::TempHome home;
    DeviceState dev;
    std::string folder = home.Path() + "/COLD_GGASampling/";
    std::filesystem::create_directory(folder);
    GGASamplingInit(dev, folder);
    EXPECT_TRUE(dev.SamplingOn);

    auto sent = FixThenSentences(dev, 70);
    GGASamplingLog(dev, 3);
    GGASamplingEnd(dev);
    EXPECT_FALSE(dev.SamplingOn);
    for (size_t i = 0; i < kNames.size(); ++i) {
        SCOPED_TRACE(kNames[i]);
        EXPECT_EQ(test::ReadFileBytes(folder + kNames[i]), kFirst[i] + "\t% 3\t" + sent[kCounts[i]]);
    }
    EXPECT_EQ(GGASamplingFileName(0), std::string("GGAOnFix.txt"));
}

TEST(GGASampling, UntakenSamplesEndTheirLineAndAreNeverLoggedTwice) {
    test::TempHome home;
    DeviceState dev;
    GGASamplingInit(dev, home.Path() + "/");
    auto first = FixThenSentences(dev, 12);  // 15, 30 and 60 not reached
    GGASamplingLog(dev, 1);
    // Trial 2 never gets a fix: nothing of trial 1 may reappear under it.
    for (int i = 0; i < 3; ++i) FeedGga(dev, Gga(i, 0));
    GGASamplingLog(dev, 2);
    auto third = FixThenSentences(dev, 60, 20);
    GGASamplingLog(dev, 3);
    GGASamplingEnd(dev);

    EXPECT_EQ(test::ReadFileBytes(home.File("GGA10sFix.txt")),
              "10\t% 1\t" + first[10] + "10\t% 2\t\r\n" + "10\t% 3\t" + third[10]);
    EXPECT_EQ(test::ReadFileBytes(home.File("GGA30sFix.txt")),
              "30\t% 1\t\r\n30\t% 2\t\r\n30\t% 3\t" + third[30]);
    EXPECT_EQ(test::ReadFileBytes(home.File("GGAOnFix.txt")),
              "0\t% 1\t" + first[0] + "0\t% 2\t\r\n" + "0\t% 3\t" + third[0]);
}

TEST(GGASampling, ExistingFilesAreAppendedTo) {
    test::TempHome home;
    test::WriteFileBytes(home.File("GGA05sFix.txt"), "5\t% 9\tEARLIER RUN\r\n");
    DeviceState dev;
    GGASamplingInit(dev, home.Path() + "/");
    auto sent = FixThenSentences(dev, 5);
    GGASamplingLog(dev, 1);
    GGASamplingEnd(dev);
    EXPECT_EQ(test::ReadFileBytes(home.File("GGA05sFix.txt")), "5\t% 9\tEARLIER RUN\r\n5\t% 1\t" + sent[5]);
}

TEST(GGASampling, ANewFixStartsTheCycleAgain) {
    DeviceState dev;
    GGASamplingEnable(dev);
    auto first = FixThenSentences(dev, 20);  // OnFix..15 of the first fix
    ASSERT_EQ(dev.GGA15s, first[15]);
    // The fix is lost and regained: the cycle starts from the new fix.
    FeedGga(dev, Gga(30, 0));
    auto second = FixThenSentences(dev, 8, 31);
    EXPECT_EQ(dev.GGAOnFix, second[0]);
    EXPECT_EQ(dev.GGA05s, second[5]);
    EXPECT_EQ(dev.GGA10s, "");
    EXPECT_EQ(dev.GGA15s, "") << "a sample of the earlier cycle would be mixed into this one";
}

TEST(GGASampling, CountingStopsAfterTheSixtiethSentence) {
    DeviceState dev;
    GGASamplingEnable(dev);
    auto sent = FixThenSentences(dev, 200);
    EXPECT_EQ(dev.GGA60s, sent[60]);
    EXPECT_FALSE(dev.SampleCounting);
    EXPECT_EQ(dev.SampleCounter, 61);
    EXPECT_EQ(dev.GGAOnFix, sent[0]);
}

TEST(GGASampling, SamplingSwitchedOnStartsACycleAtTheNextSentenceWithoutAFix) {
    DeviceState dev;
    GGASamplingEnable(dev);
    std::vector<std::string> sent;
    for (int i = 0; i < 6; ++i) {
        sent.push_back(Gga(i, 0));
        FeedGga(dev, sent.back());
    }
    EXPECT_EQ(dev.GGAOnFix, sent[0]);
    EXPECT_EQ(dev.GGA05s, sent[5]);
}

TEST(GGASampling, NothingIsKeptWhileSamplingIsOff) {
    DeviceState dev;
    FixThenSentences(dev, 61);
    EXPECT_EQ(dev.GGAOnFix, "");
    EXPECT_EQ(dev.GGA60s, "");
}

TEST(GGASampling, LoggingWithTheFilesClosedWritesNothingAndIsNoted) {
    test::TempHome home;
    OpenSystemLog();
    DeviceState dev;
    FixThenSentences(dev, 5);
    GGASamplingLog(dev, 4);  // never opened
    GGASamplingInit(dev, home.Path() + "/");
    GGASamplingEnd(dev);
    GGASamplingLog(dev, 5);  // closed again
    std::string log = test::ReadFileBytes(SystemLogPath());
    CloseSystemLog();
    EXPECT_NE(log.find("trial 4 not logged"), std::string::npos) << log;
    EXPECT_NE(log.find("trial 5 not logged"), std::string::npos) << log;
    EXPECT_EQ(test::ReadFileBytes(home.File("GGAOnFix.txt")), "");
}

TEST(GGASampling, MissingFolderIsAnError) {
    test::TempHome home;
    DeviceState dev;
    EXPECT_THROW(GGASamplingInit(dev, home.Path() + "/no/such/folder/"), platform::BenchError);
}

TEST(CN0Log, OneLinePerGGAWithTheCurrentCN0OfSatellites1To32) {
    test::TempHome home;
    DeviceState dev;
    dev.PrimaryBaseName = home.Path() + "/GPS1_TTFF_COLD_NMEA";
    EnableCN0Logging(dev, -1);
    EXPECT_TRUE(dev.CN0Logging);

    dev.GGATimeText = "12:00:01";
    CN0LogLine(dev);
    dev.Sats[1].CN0 = 45;
    dev.Sats[17].CN0 = 38;
    dev.Sats[32].CN0 = 21;
    dev.Sats[33].CN0 = 50;  // beyond the table: not logged
    dev.GGATimeText = "12:00:02.50";
    CN0LogLine(dev);
    EnableCN0Logging(dev, 0);
    EXPECT_FALSE(dev.CN0Logging);
    CN0LogLine(dev);  // off: nothing

    std::string zeros;
    for (int i = 0; i < 32; ++i) zeros += "0,";
    std::string second = "12:00:02.50,45,";
    for (int id = 2; id <= 32; ++id) second += id == 17 ? "38," : id == 32 ? "21," : "0,";
    EXPECT_EQ(test::ReadFileBytes(home.File("GPS1_TTFF_COLD_NMEA_CN0.txt")),
              "12:00:01," + zeros + "\r\n" + second + "\r\n");
}

TEST(CN0Log, OnlyMinusOneSwitchesTheLogOn) {
    test::TempHome home;
    DeviceState dev;
    dev.PrimaryBaseName = home.Path() + "/dev";
    EnableCN0Logging(dev, -1);
    dev.GGATimeText = "01:02:03";
    CN0LogLine(dev);
    EnableCN0Logging(dev, 1);  // 1 is not true here: it closes the log
    EXPECT_FALSE(dev.CN0Logging);
    EXPECT_FALSE(dev.CN0File.IsOpen());
    CN0LogLine(dev);
    std::string text = test::ReadFileBytes(home.File("dev_CN0.txt"));
    EXPECT_EQ(text.find("01:02:03,"), 0u);
    EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 1);
}

TEST(CN0Log, EnablingTwiceKeepsOneLogAndAppendsToAnEarlierRun) {
    test::TempHome home;
    test::WriteFileBytes(home.File("dev_CN0.txt"), "earlier\r\n");
    DeviceState dev;
    EnableCN0Logging(dev, 0);  // off while never on: nothing happens
    dev.PrimaryBaseName = home.Path() + "/dev";
    EnableCN0Logging(dev, -1);
    EnableCN0Logging(dev, -1);
    dev.GGATimeText = "00:00:00";
    CN0LogLine(dev);
    EnableCN0Logging(dev, 0);
    std::string text = test::ReadFileBytes(home.File("dev_CN0.txt"));
    EXPECT_EQ(text.rfind("earlier\r\n00:00:00,0,", 0), 0u) << text;
    EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 2);
}

