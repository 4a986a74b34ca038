// The log and result files of a device, byte for byte on disk.
#include "bench/devices/device_logs.h"
#include "platform/core/error.h"
#include "tests/support/qt_app.h"

#include <filesystem>
#include <gtest/gtest.h>

using namespace bench;
using test::ReadFileBytes;

namespace {

class DeviceLogs : public ::testing::Test {
protected:
    std::string Base() const { return home.File("GPS1_TTFF_COLD_NMEA"); }
    test::TempHome home;
    DeviceState dev;
};

size_t Count(const std::string& s, char c) { return static_cast<size_t>(std::count(s.begin(), s.end(), c)); }

}  // namespace

TEST_F(DeviceLogs, ResultsFilesCarryTheDoubledResultsNameAndTableHeaders) {
    dev.ResultsName = Base() + "_Results.txt";
    StartResultsLogs(dev);
    ASSERT_TRUE(dev.ResultsOpen);
    for (const char* tail : {"_Results.txt", "_Results_Results_T2A.csv", "_Results_Results_GSA.txt",
                             "_Results_Results_T2A_T2U_Statistics.csv", "_Results_Results_T2U.csv"})
        EXPECT_TRUE(std::filesystem::exists(Base() + tail)) << tail;

    std::string header = ReadFileBytes(Base() + "_Results_Results_T2A.csv");
    EXPECT_EQ(header.rfind("TTFF,Test N,1,2,3,", 0), 0u) << header;
    EXPECT_NE(header.find(",32,65,"), std::string::npos) << "1-32 then 65";
    EXPECT_NE(header.find(",94,95,193,"), std::string::npos) << "95 is the last of the middle group";
    EXPECT_TRUE(header.ends_with(",201,202\r\n")) << header;
    EXPECT_EQ(Count(header, ','), 1u + 73u);
    EXPECT_EQ(ReadFileBytes(Base() + "_Results_Results_T2U.csv"), header);
    EXPECT_EQ(ReadFileBytes(Base() + "_Results.txt"), "") << "the results file has no header";
    EXPECT_EQ(ReadFileBytes(Base() + "_Results_Results_GSA.txt"), "");
}

TEST_F(DeviceLogs, ReopeningAppendsAndNeverRepeatsAHeader) {
    dev.ResultsName = Base() + "_Results.txt";
    StartResultsLogs(dev);
    dev.TTFF = 31.25;
    PutLogLine(dev.ResultsFile, dev.ResultsOpen, "31.25\t% 1\t$GPGGA,a\r\n");
    LogT2AT2ULine(dev, 1);
    StartResultsLogs(dev);  // open again while open: closed first, nothing lost
    PutLogLine(dev.ResultsFile, dev.ResultsOpen, "40\t% 2\t$GPGGA,b\r\n");
    LogT2AT2ULine(dev, 2);
    EndResultsLogs(dev);

    EXPECT_EQ(ReadFileBytes(Base() + "_Results.txt"), "31.25\t% 1\t$GPGGA,a\r\n40\t% 2\t$GPGGA,b\r\n");
    std::string t2a = ReadFileBytes(Base() + "_Results_Results_T2A.csv");
    EXPECT_EQ(t2a.find("TTFF,Test N"), 0u);
    EXPECT_EQ(t2a.find("TTFF,Test N", 1), std::string::npos) << "one header";
    EXPECT_NE(t2a.find("\r\n31.25,1,"), std::string::npos);
    EXPECT_NE(t2a.find("\r\n31.25,2,"), std::string::npos);
}

TEST_F(DeviceLogs, ChangingTheResultsSuffixNamesCompanionsFromTheStoredName) {
    dev.PrimaryBaseName = Base();
    dev.ResultsName = Base() + "_Results_PW-130.txt";
    ChangeResultsLogs(dev, "_PW-135.txt");
    EXPECT_FALSE(dev.ResultsOpen) << "only while the results files are open";
    EXPECT_FALSE(std::filesystem::exists(Base() + "_Results_PW-135.txt"));

    StartResultsLogs(dev);
    ChangeResultsLogs(dev, "_PW-135.txt");
    ASSERT_TRUE(dev.ResultsOpen);
    EXPECT_EQ(dev.ResultsName, Base() + "_Results_PW-130.txt") << "the stored name stays";
    const std::string b = Base() + "_Results_PW-130";
    EXPECT_TRUE(std::filesystem::exists(Base() + "_Results_PW-135.txt"));
    for (const char* tail : {"_Results_T2A_PW-135.txt", "_Results_GSA_PW-135.txt",
                             "_Results_T2A_T2U_Statistics_PW-135.txt", "_Results_T2U_PW-135.txt"})
        EXPECT_TRUE(std::filesystem::exists(b + tail)) << tail;
    EXPECT_EQ(ReadFileBytes(b + "_Results_T2A_PW-135.txt"), T2AT2UHeader()) << "a new table gets its header";

    PutLogLine(dev.ResultsFile, dev.ResultsOpen, "x\r\n");
    EndResultsLogs(dev);
    EXPECT_EQ(ReadFileBytes(Base() + "_Results_PW-135.txt"), "x\r\n");
    EXPECT_EQ(ReadFileBytes(Base() + "_Results_PW-130.txt"), "") << "the old file was closed, not written";
}

TEST_F(DeviceLogs, AFailedOpenLeavesNoResultsFileOpen) {
    dev.ResultsName = Base() + "_Results.txt";
    // A folder where the statistics file should be: the fourth open fails.
    std::filesystem::create_directory(Base() + "_Results_Results_T2A_T2U_Statistics.csv");
    EXPECT_THROW(StartResultsLogs(dev), platform::BenchError);
    EXPECT_FALSE(dev.ResultsOpen);
    for (ByteLogFile* f : {&dev.ResultsFile, &dev.T2AFile, &dev.GSAFile, &dev.StatisticsFile, &dev.T2UFile})
        EXPECT_FALSE(f->IsOpen());
    // Nothing is written anywhere while the group is closed.
    LogFixGSALine(dev, 1);
    LogT2AT2ULine(dev, 1);
    EXPECT_EQ(ReadFileBytes(Base() + "_Results_Results_GSA.txt"), "");
}

TEST_F(DeviceLogs, TableRowsHoldOnlyStableValues) {
    dev.ResultsName = Base() + "_Results.txt";
    StartResultsLogs(dev);
    dev.TTFF = 35.123;
    SatDBEntry& stable = dev.Sats[2];
    stable.T2A = 12, stable.T2AValid = true, stable.T2AStatsDone = true;
    stable.T2U = 15, stable.T2UValid = true, stable.T2UStatsDone = true;
    SatDBEntry& young = dev.Sats[3];  // measured, not yet 10 epochs
    young.T2A = 20, young.T2AValid = true, young.T2AStatsDone = false;
    SatDBEntry& sbas = dev.Sats[202];
    sbas.T2A = 7, sbas.T2AValid = true, sbas.T2AStatsDone = true;
    dev.Sats[96].T2A = 9, dev.Sats[96].T2AValid = true, dev.Sats[96].T2AStatsDone = true;  // no column

    LogT2AT2ULine(dev, 4);
    std::string t2a = ReadFileBytes(Base() + "_Results_Results_T2A.csv").substr(T2AT2UHeader().size());
    std::string want = "35.123,4,,12,";
    for (int i = 3; i < 73; ++i) want += ",";
    want += "7\r\n";
    EXPECT_EQ(t2a, want);
    std::string t2u = ReadFileBytes(Base() + "_Results_Results_T2U.csv").substr(T2AT2UHeader().size());
    want = "35.123,4,,15";
    for (int i = 2; i < 73; ++i) want += ",";
    EXPECT_EQ(t2u, want + "\r\n");
}

TEST_F(DeviceLogs, GsaAtFixIsOneWholeLinePerTrial) {
    dev.ResultsName = Base() + "_Results.txt";
    StartResultsLogs(dev);
    dev.TTFF = 42.5;
    dev.FixGSA = "$GPGSA,A,3,04,05,,,,,,,,,,,2.5,1.3,2.1*39\r\n";
    LogFixGSALine(dev, 1);
    dev.FixGSA.clear();  // a trial without a fix
    dev.TTFF = 300;
    LogFixGSALine(dev, 2);
    dev.FixGSA = "$GPGSA,A,2*00";  // kept without its line end
    LogFixGSALine(dev, 3);
    EXPECT_EQ(ReadFileBytes(Base() + "_Results_Results_GSA.txt"),
              "42.5\t% 1\t$GPGSA,A,3,04,05,,,,,,,,,,,2.5,1.3,2.1*39\r\n"
              "300\t% 2\t\r\n"
              "300\t% 3\t$GPGSA,A,2*00\r\n");
}

TEST_F(DeviceLogs, StatisticsBlockListsSatellitesWithSamples) {
    dev.ResultsName = Base() + "_Results.txt";
    StartResultsLogs(dev);
    SatDBEntry& a = dev.Sats[5];
    a.T2ASamples = 2, a.T2AMean = 30.5, a.T2AMax = 31, a.T2AMin = 30;
    a.T2USamples = 1, a.T2UMean = 40, a.T2UMax = 40, a.T2UMin = 40;
    SatDBEntry& b = dev.Sats[17];
    b.T2ASamples = 3, b.T2AMean = 10.0 / 3, b.T2AMax = 5, b.T2AMin = 2;
    dev.Sats[40].T2ASamples = 4;  // beyond 32: not listed
    LogT2AT2UStatistics(dev);
    LogT2AT2UStatistics(dev);
    const std::string block =
        "%SatID,T2Asamp,T2Aave,T2Amax,T2Amin,T2Usamp,T2Uave,T2Umax,T2Umin\r\n"
        "5,2,30.5,31,30,1,40,40,40\r\n"
        "17,3,3.33333333333333,5,2,0,0,0,86400\r\n";
    // Entries start with no minimum sample (86400) once the satellite
    // database sets it; a zeroed entry shows 0.
    std::string got = ReadFileBytes(Base() + "_Results_Results_T2A_T2U_Statistics.csv");
    std::string want_zero_min = block;
    want_zero_min.replace(want_zero_min.find(",86400\r\n"), 8, ",0\r\n");
    EXPECT_TRUE(got == block + block || got == want_zero_min + want_zero_min) << got;
}

TEST_F(DeviceLogs, PrimaryAndSecondaryLogsOpenSwitchAndEnd) {
    dev.PrimaryBaseName = Base();
    dev.PrimaryLogName = Base() + ".txt";
    StartPrimaryLog(dev);
    dev.PrimaryFile.Write("one\r\n");
    ChangePrimaryLog(dev, "_UTC_3600.txt");
    EXPECT_EQ(dev.PrimaryLogName, Base() + ".txt") << "the stored name stays";
    dev.PrimaryFile.Write("two\r\n");
    EndPrimaryLog(dev);
    EndPrimaryLog(dev);  // not open: nothing
    EXPECT_FALSE(dev.PrimaryOpen);
    EXPECT_EQ(ReadFileBytes(Base() + ".txt"), "one\r\n");
    EXPECT_EQ(ReadFileBytes(Base() + "_UTC_3600.txt"), "two\r\n");

    StartPrimaryLog(dev);
    StartPrimaryLog(dev);  // open again: still one file, appended
    dev.PrimaryFile.Write("three\r\n");
    EndPrimaryLog(dev);
    EXPECT_EQ(ReadFileBytes(Base() + ".txt"), "one\r\nthree\r\n");

    dev.SecondaryBaseName = home.File("GPS1_TTFF_COLD_DEBUG");
    ChangeSecondaryLog(dev, ".txt");
    EXPECT_TRUE(dev.SecondaryOpen);
    EndSecondaryLog(dev);
    EXPECT_TRUE(std::filesystem::exists(home.File("GPS1_TTFF_COLD_DEBUG.txt")));

    // A new log that cannot be opened leaves the old one taking the lines.
    StartPrimaryLog(dev);
    dev.PrimaryBaseName = home.File("no such folder/x");
    EXPECT_THROW(ChangePrimaryLog(dev, ".txt"), platform::BenchError);
    EXPECT_TRUE(dev.PrimaryOpen);
    dev.PrimaryFile.Write("four\r\n");
    EndPrimaryLog(dev);
    EXPECT_EQ(ReadFileBytes(Base() + ".txt"), "one\r\nthree\r\nfour\r\n");
}

TEST_F(DeviceLogs, StoredWindowsNamesAreMadeInTheProgramFolder) {
    // Folders from the configuration keep their stored form; the files land
    // under the program folder.
    std::filesystem::create_directory(home.File("GPS_TEST"));
    dev.PrimaryBaseName = "C:\\GPS_TEST\\GPS1_TTFF_COLD_NMEA";
    dev.PrimaryLogName = dev.PrimaryBaseName + ".txt";
    dev.ResultsName = dev.PrimaryBaseName + "_Results.txt";
    StartPrimaryLog(dev);
    StartResultsLogs(dev);
    dev.PrimaryFile.Write("$GPGGA\r\n");
    EndPrimaryLog(dev);
    EndResultsLogs(dev);
    EXPECT_EQ(dev.PrimaryLogName, "C:\\GPS_TEST\\GPS1_TTFF_COLD_NMEA.txt") << "the stored name is kept";
    EXPECT_EQ(ReadFileBytes(home.File("GPS_TEST/GPS1_TTFF_COLD_NMEA.txt")), "$GPGGA\r\n");
    EXPECT_EQ(ReadFileBytes(home.File("GPS_TEST/GPS1_TTFF_COLD_NMEA_Results_Results_T2U.csv")), T2AT2UHeader());
}
