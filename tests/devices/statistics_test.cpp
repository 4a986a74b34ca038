// Running statistics, signal bars and file-name helpers.
#include "bench/devices/statistics.h"

#include "tests/support/qt_app.h"

#include <gtest/gtest.h>

using namespace bench;

TEST(RunningStatistics, MinMaxAndMean) {
    EXPECT_EQ(MinLong(86400, 35), 35);
    EXPECT_EQ(MinLong(35, 50), 35);
    EXPECT_EQ(MaxLong(0, 35), 35);
    EXPECT_EQ(MaxLong(-4, -9), -4);
    EXPECT_DOUBLE_EQ(RunningMean(0, 20, 1), 20);
    EXPECT_DOUBLE_EQ(RunningMean(20, 40, 2), 30);
    double mean = 0;
    int values[] = {12, 30, 45, 7, 33};
    for (int i = 0; i < 5; ++i) mean = RunningMean(mean, values[i], i + 1);
    EXPECT_NEAR(mean, 127.0 / 5, 1e-12);
}

TEST(SignalBar, GrowsUpwardFromAFixedBottom) {
    ControlView bar;
    bar.SetTop(2000);
    bar.SetHeight(100);
    SetBarLevel(&bar, 45);
    EXPECT_EQ(bar.Height(), 1530);
    EXPECT_EQ(bar.Top() + bar.Height(), 2100);
    EXPECT_TRUE(bar.Visible());
    SetBarLevel(&bar, 0);
    EXPECT_EQ(bar.Height(), 0);
    EXPECT_EQ(bar.Top(), 2100);
    SetBarLevel(&bar, 30000);  // garbled C/N0: held to the top of the scale
    EXPECT_EQ(bar.Height(), 99 * 34);
    EXPECT_EQ(bar.Top() + bar.Height(), 2100);
    SetBarLevel(&bar, -5);
    EXPECT_EQ(bar.Height(), 0);
    SetBarSolid(&bar);
    EXPECT_EQ(bar.FillStyle(), 0);
    SetBarHollow(&bar);
    EXPECT_EQ(bar.FillStyle(), 1);
    SetBarFillColor(&bar, 0x00FF00);
    SetBarBorderColor(&bar, 0x0000FF);
    EXPECT_EQ(bar.FillColor(), 0x00FF00u);
    EXPECT_EQ(bar.BorderColor(), 0x0000FFu);
    SetBarLevel(nullptr, 10);  // no bar bound: nothing happens
}

TEST(StatusPanels, TextPerPanel) {
    StatusBarView status;
    SetStatusPanelText(&status, 1, "SYSTEM RESTART");
    SetStatusPanelText(&status, 3, "12:00:00");
    EXPECT_EQ(status.PanelText(1), "SYSTEM RESTART");
    EXPECT_EQ(status.PanelText(3), "12:00:00");
    EXPECT_EQ(status.PanelText(2), "");
}

TEST(FileNames, BaseNameAndNameFromPath) {
    EXPECT_EQ(FileBaseName(""), "");
    EXPECT_EQ(FileBaseName("C:\\runs\\run.2.bin"), "run");
    EXPECT_EQ(FileBaseName("/data/labsat/scenario.bin"), "scenario");
    EXPECT_EQ(FileBaseName("C:\\runs.d\\noext"), "") << "a dot in a folder does not count";
    EXPECT_EQ(FileBaseName("plain.txt"), "plain");
    EXPECT_EQ(GetFileNameFromPath("C:\\scripts\\cold.txt"), "cold.txt");
    EXPECT_EQ(GetFileNameFromPath("/home/u/scripts/cold.txt"), "cold.txt");
    EXPECT_EQ(GetFileNameFromPath("bare"), "bare");
    EXPECT_EQ(GetFileNameFromPath("dir\\"), "");
}

TEST(FileNames, SizeOfARealFile) {
    test::TempHome home;
    test::WriteFileBytes(home.File("a.bin"), std::string(1234, 'x'));
    ASSERT_TRUE(FileSize(home.File("a.bin")).has_value());
    EXPECT_EQ(*FileSize(home.File("a.bin")), 1234);
    EXPECT_FALSE(FileSize(home.File("missing.bin")).has_value());
    EXPECT_FALSE(FileSize(home.Path()).has_value()) << "a folder has no file size";
}
