#include "bench/devices/device_state.h"
#include "bench/devices/nmea.h"
#include "bench/devices/system_log.h"
#include "platform/core/error.h"
#include "platform/qt/bench_timer.h"
#include "tests/support/emulated_receiver.h"
#include "tests/support/fakes.h"
#include "tests/support/qt_app.h"

#include <gtest/gtest.h>

using namespace bench;
using test::FakeBenchHost;
using test::Sentence;

namespace {

std::vector<std::string> Fields() {
    int n = std::stoi(NmeaFields[0]);
    return std::vector<std::string>(NmeaFields.begin() + 1, NmeaFields.begin() + 1 + n);
}

bool AllEmpty() {
    for (const auto& f : NmeaFields)
        if (!f.empty()) return false;
    return true;
}

}  // namespace

TEST(NmeaChecksum, XorsFromTheSecondCharacter) {
    EXPECT_EQ(NMEA_Checksum("$A"), "41");
    EXPECT_EQ(NMEA_Checksum("$"), "00");
    EXPECT_EQ(NMEA_Checksum(""), "00");
    // A well-known sentence and its published checksum.
    EXPECT_EQ(NMEA_Checksum("$GPGGA,123519,4807.038,N,01131.000,E,1,08,0.9,545.4,M,46.9,M,,"), "47");
    EXPECT_EQ(NMEA_Checksum("$\x7f\x01"), "7E");  // upper-case hex digits
}

TEST(NmeaDecoding, SplitsFieldsUpToTheStar) {
    FakeBenchHost host;
    ASSERT_EQ(NMEA_Msg_Decoding(&host, Sentence("$GPGGA,,,,")), 0);
    EXPECT_EQ(NmeaFields[0], "5");
    EXPECT_EQ(Fields(), (std::vector<std::string>{"$GPGGA", "", "", "", ""}));

    ASSERT_EQ(NMEA_Msg_Decoding(&host, Sentence("$GPGGA,123519,4807.038,N,01131.000,E,1,08,0.9,545.4,M,46.9,M,,")),
              0);
    EXPECT_EQ(NmeaFields[0], "15");
    EXPECT_EQ(NmeaFields[2], "123519");
    EXPECT_EQ(NmeaFields[15], "");
    EXPECT_EQ(NmeaFields[16], "");
}

TEST(NmeaDecoding, CapsAtThirtyFieldsTheLastKeepingTheRest) {
    FakeBenchHost host;
    std::string body = "$PQNVX";
    for (int i = 1; i <= 40; ++i) body += "," + std::to_string(i);
    ASSERT_EQ(NMEA_Msg_Decoding(&host, Sentence(body)), 0);
    EXPECT_EQ(NmeaFields[0], "30");
    EXPECT_EQ(NmeaFields[29], "28");
    std::string rest;
    for (int i = 29; i <= 40; ++i) rest += (i > 29 ? "," : "") + std::to_string(i);
    EXPECT_EQ(NmeaFields[30], rest);
}

TEST(NmeaDecoding, CommasAfterTheStarAreNotFields) {
    FakeBenchHost host;
    host.CrcOn = false;
    ASSERT_EQ(NMEA_Msg_Decoding(&host, "$GPXYZ,1*00,2,3\r\n"), 0);
    EXPECT_EQ(NmeaFields[0], "2");
    EXPECT_EQ(NmeaFields[2], "1");
    EXPECT_EQ(NmeaFields[3], "");
}

TEST(NmeaDecoding, ChecksumRulesFollowTheOptions) {
    FakeBenchHost host;
    const std::string good = Sentence("$GPVTG,054.7,T,034.4,M,005.5,N,010.2,K");
    std::string bad = good;
    bad[bad.size() - 3] = bad[bad.size() - 3] == '0' ? '1' : '0';

    EXPECT_EQ(NMEA_Msg_Decoding(&host, good), 0);
    EXPECT_EQ(NMEA_Msg_Decoding(&host, bad), -1);
    EXPECT_TRUE(AllEmpty()) << "a rejected line leaves no field behind";
    EXPECT_EQ(NMEA_Msg_Decoding(&host, "$GPGGA,1,2\r\n"), -1) << "no star";
    EXPECT_EQ(NMEA_Msg_Decoding(&host, "$GPGGA,1,2*"), -1) << "star without digits";
    // Lower-case received digits are accepted.
    std::string cs = NMEA_Checksum("$GPZDA,x");
    std::string lc = cs;
    for (char& c : lc) c = static_cast<char>(std::tolower(c));
    EXPECT_EQ(NMEA_Msg_Decoding(&host, "$GPZDA,x*" + lc + "\r\n"), 0);

    host.CrcOn = false;
    EXPECT_EQ(NMEA_Msg_Decoding(&host, bad), 0);
    EXPECT_EQ(NMEA_Msg_Decoding(&host, "$GPGGA,1,2\r\n"), -1) << "the star is still needed with checking off";

    host.CrcOn = true;
    host.TsOn = true;
    EXPECT_EQ(NMEA_Msg_Decoding(&host, bad), 0) << "TS option turns checking off";
    // Without a star the last field ends before CR LF.
    ASSERT_EQ(NMEA_Msg_Decoding(&host, "$PQNVTS,1,2,3\r\n"), 0);
    EXPECT_EQ(NmeaFields[0], "4");
    EXPECT_EQ(NmeaFields[4], "3");
    // With a star the last field ends there: no checksum, no CR in it.
    ASSERT_EQ(NMEA_Msg_Decoding(&host, "$GPGSA,A,3,,2.1*3D\r\n"), 0);
    EXPECT_EQ(NmeaFields[0], "5");
    EXPECT_EQ(NmeaFields[5], "2.1");
    ASSERT_EQ(NMEA_Msg_Decoding(&host, "$PQNVTS,7\n"), 0);
    EXPECT_EQ(NmeaFields[2], "7");
}

TEST(NmeaDecoding, WithoutAHostUsesTheStartOptions) {
    EXPECT_EQ(NMEA_Msg_Decoding(nullptr, Sentence("$GPRMC,1")), 0);
    EXPECT_EQ(NMEA_Msg_Decoding(nullptr, "$GPRMC,1*00\r\n"), -1);
}

class SendTest : public ::testing::Test {
protected:
    void SetUp() override {
        test::EnsureApp();
        dev.Console.Port = &port;
        port.SetPortOpen(true);
    }
    test::TempHome home;
    test::FakeSerialLink port;
    DeviceState dev;
};

TEST_F(SendTest, NmeaCommandGetsChecksumAndCrLf) {
    EXPECT_EQ(SendNmeaCommand(dev, "$PQNVCOLD"), "$PQNVCOLD*" + NMEA_Checksum("$PQNVCOLD"));
    EXPECT_EQ(port.Written, "$PQNVCOLD*" + NMEA_Checksum("$PQNVCOLD") + "\r\n");
    EXPECT_EQ(SendNmeaCommand(dev, ""), "");
    EXPECT_EQ(port.Writes.size(), 1u) << "an empty command sends nothing";
}

TEST_F(SendTest, CharsAndLinesAreSentAsGiven) {
    EXPECT_EQ(SendChars(dev, std::string("A\0\xff", 3)), std::string("A\0\xff", 3));
    EXPECT_EQ(SendMessageLine(dev, "STOP"), "STOP\r\n");
    EXPECT_EQ(port.Written, std::string("A\0\xff", 3) + "STOP\r\n");
}

TEST_F(SendTest, HexCommandFillsA128ByteBlock) {
    const std::string hex = "B562060404000000020010";  // 11 bytes
    EXPECT_EQ(SendHexBytes(dev, hex + "6b"), hex + "6b");
    ASSERT_EQ(port.Writes.size(), 1u);
    const std::string& block = port.Writes[0];
    ASSERT_EQ(block.size(), 128u);
    const unsigned char expect[] = {0xB5, 0x62, 0x06, 0x04, 0x04, 0x00, 0x00, 0x00, 0x02, 0x00, 0x10, 0x6B};
    for (size_t i = 0; i < sizeof expect; ++i) EXPECT_EQ(static_cast<unsigned char>(block[i]), expect[i]) << i;
    EXPECT_EQ(block.substr(12), std::string(116, '\0'));
}

TEST_F(SendTest, BadHexIsAnErrorAndSendsNothing) {
    EXPECT_THROW(SendHexBytes(dev, "B56"), platform::BenchError) << "odd number of digits";
    EXPECT_THROW(SendHexBytes(dev, "B5G2"), platform::BenchError) << "not hexadecimal";
    EXPECT_THROW(SendHexBytes(dev, " B5"), platform::BenchError);
    EXPECT_THROW(SendHexBytes(dev, std::string(258, 'A')), platform::BenchError) << "129 bytes";
    EXPECT_TRUE(port.Writes.empty());
    EXPECT_EQ(SendHexBytes(dev, ""), "");
    EXPECT_EQ(SendHexBytes(dev, "F"), "F");
    EXPECT_TRUE(port.Writes.empty()) << "empty or one digit sends nothing";
    SendHexBytes(dev, std::string(256, 'f'));
    ASSERT_EQ(port.Writes.size(), 1u);
    EXPECT_EQ(port.Writes[0], std::string(128, '\xff'));
}

TEST_F(SendTest, ClosedPortReturnsTheTextAndLeavesOneLogLinePerSpell) {
    OpenSystemLog();
    port.SetPortOpen(false);
    EXPECT_EQ(SendNmeaCommand(dev, "$PQNVWARM"), "$PQNVWARM*" + NMEA_Checksum("$PQNVWARM"));
    EXPECT_EQ(SendChars(dev, "x"), "x");
    EXPECT_EQ(SendHexBytes(dev, "0102"), "0102");
    EXPECT_TRUE(port.Written.empty());
    port.SetPortOpen(true);
    SendChars(dev, "y");
    port.SetPortOpen(false);
    SendMessageLine(dev, "z");
    std::string log = test::ReadFileBytes(SystemLogPath());
    CloseSystemLog();
    EXPECT_EQ(port.Written, "y");
    size_t lines = 0;
    for (char c : log) lines += c == '\n';
    EXPECT_EQ(lines, 2u) << log;
    EXPECT_NE(log.find("(SendNmeaCommand)\r\n"), std::string::npos);
    EXPECT_NE(log.find("(SendMessageLine)\r\n"), std::string::npos);
}

TEST_F(SendTest, RefreshTimerIsLeftAsItWas) {
    dev.Console.RefreshTimer->SetEnabled(true);
    SendChars(dev, "a");
    EXPECT_TRUE(dev.Console.RefreshTimer->Enabled());
    dev.Console.RefreshTimer->SetEnabled(false);  // a paused debug window
    SendChars(dev, "b");
    EXPECT_FALSE(dev.Console.RefreshTimer->Enabled());
    port.FailWrites = true;
    dev.Console.RefreshTimer->SetEnabled(true);
    EXPECT_THROW(SendChars(dev, "c"), platform::BenchError);
    EXPECT_TRUE(dev.Console.RefreshTimer->Enabled()) << "a failed write must not leave the console frozen";
}
