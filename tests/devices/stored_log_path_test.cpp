// Log names built from the configuration keep its Windows form; the files
// must land in the program folder's tree, not in the working folder under
// a name full of backslashes.
#include "bench/devices/device_logs.h"
#include "tests/support/qt_app.h"

#include <QDir>
#include <filesystem>
#include <gtest/gtest.h>

using namespace bench;
using test::ReadFileBytes;

TEST(StoredLogPaths, SessionFolderNamesAreMappedIntoTheProgramFolder) {
    test::TempHome home;
    ASSERT_TRUE(QDir().mkpath(QString::fromStdString(home.File("GPS_TEST/_9-12-2026_9.5.3/GPS1"))));
    DeviceState dev;
    dev.PrimaryBaseName = "C:\\GPS_TEST\\_9-12-2026_9.5.3\\GPS1\\GPS1_TTFF_COLD_NMEA";
    dev.PrimaryLogName = dev.PrimaryBaseName + ".txt";
    StartPrimaryLog(dev);
    PutLogLine(dev.PrimaryFile, dev.PrimaryOpen, "$GPGGA,1*00\r\n");
    EndPrimaryLog(dev);
    dev.ResultsName = dev.PrimaryBaseName + "_Results.txt";
    StartResultsLogs(dev);
    PutLogLine(dev.ResultsFile, dev.ResultsOpen, "1.5\t% 1\t$GPGGA,2*00\r\n");
    EndResultsLogs(dev);

    const std::string base = home.File("GPS_TEST/_9-12-2026_9.5.3/GPS1/GPS1_TTFF_COLD_NMEA");
    EXPECT_EQ(ReadFileBytes(base + ".txt"), "$GPGGA,1*00\r\n");
    EXPECT_EQ(ReadFileBytes(base + "_Results.txt"), "1.5\t% 1\t$GPGGA,2*00\r\n");
    EXPECT_TRUE(std::filesystem::exists(base + "_Results_Results_T2A.csv"));
    EXPECT_FALSE(std::filesystem::exists(dev.PrimaryLogName)) << "nothing under the stored name itself";
}

TEST(StoredLogPaths, LinuxNamesAreUsedAsGiven) {
    test::TempHome home;
    DeviceState dev;
    dev.PrimaryLogName = home.File("plain_NMEA.txt");
    StartPrimaryLog(dev);
    PutLogLine(dev.PrimaryFile, dev.PrimaryOpen, "x\r\n");
    EndPrimaryLog(dev);
    EXPECT_EQ(ReadFileBytes(home.File("plain_NMEA.txt")), "x\r\n");
}
