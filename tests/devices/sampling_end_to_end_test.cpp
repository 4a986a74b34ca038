// A receiver on a pseudo-terminal gets its fix; through the device window's
// receive path the GGA sampling files, the C/N0 log and the position plot
// record what it reported.
#include "bench/devices/comm_window.h"
#include "bench/devices/pos_chart.h"
#include "tests/support/emulated_receiver.h"
#include "tests/support/fakes.h"
#include "tests/support/qt_app.h"

#include <QCheckBox>

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

using namespace bench;

namespace {

std::string Gga(int second, int quality) {
    char body[120];
    std::snprintf(body, sizeof body, "$GPGGA,1200%02d,4055.0500,N,01416.5560,E,%d,05,1.1,40.0,M,46.9,M,,",
                  second, quality);
    return test::Sentence(body);
}

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> out;
    size_t start = 0;
    while (start < text.size()) {
        size_t lf = text.find('\n', start);
        if (lf == std::string::npos) lf = text.size() - 1;
        out.push_back(text.substr(start, lf + 1 - start));
        start = lf + 1;
    }
    return out;
}

}  // namespace

TEST(SamplingEndToEnd, FixSamplesCN0LinesAndPlotComeFromTheReceivedSentences) {
    test::TempHome home;
    test::EnsureApp();
    test::EmulatedReceiver gps;
    gps.RegisterPort(12);
    test::FakeBenchHost host;
    CommWindow w(&host);
    w.SetDeviceComParams(12, 9600);
    w.OpenPort_Click();
    ASSERT_TRUE(w.Port().PortOpen());
    w.DeviceEnableDataDecoding();
    std::filesystem::create_directories(home.Path() + "/T/COLD_GGASampling");
    w.DeviceGGASamplingInit("C:\\T\\COLD_GGASampling\\");
    w.DeviceSetPrimaryLogFileBaseName("C:\\T\\GPS1_TTFF_COLD_NMEA");
    w.DeviceEnableCN0Logging(-1);
    w.findChild<QCheckBox*>("PosC")->setChecked(true);
    ASSERT_NE(w.State().PosChartWindow, nullptr);

    // Two epochs without a fix, then 62 with one.
    std::vector<std::string> ggas;
    std::string stream;
    for (int i = 0; i < 64; ++i) {
        ggas.push_back(Gga(i % 60, i < 2 ? 0 : 1));
        stream += test::Sentence("$GPGSV,1,1,02,05,45,120,41,12,30,200,33");
        stream += ggas.back();
        stream += test::Sentence("$GPGSA,A,3,05,12,,,,,,,,,,,2.5,1.3,2.1");
    }
    gps.WriteInChunks(stream, {97, 300, 41}, 1);
    ASSERT_TRUE(test::WaitFor([&] { return w.State().GGACount >= 64 && !gps.Sending(); }, 5000))
        << w.State().GGACount;
    w.DeviceGGASamplingLog(1);
    w.DeviceGGASamplingEnd();
    w.DeviceEnableCN0Logging(0);

    const std::string folder = home.Path() + "/T/COLD_GGASampling/";
    EXPECT_EQ(test::ReadFileBytes(folder + "GGAOnFix.txt"), "0\t% 1\t" + ggas[2]);
    EXPECT_EQ(test::ReadFileBytes(folder + "GGA05sFix.txt"), "5\t% 1\t" + ggas[7]);
    EXPECT_EQ(test::ReadFileBytes(folder + "GGA30sFix.txt"), "30\t% 1\t" + ggas[32]);
    EXPECT_EQ(test::ReadFileBytes(folder + "GGA60sFix.txt"), "60\t% 1\t" + ggas[62]);

    auto cn0 = Lines(test::ReadFileBytes(home.Path() + "/T/GPS1_TTFF_COLD_NMEA_CN0.txt"));
    ASSERT_EQ(cn0.size(), 64u) << "one line per GGA";
    for (const std::string& line : cn0) {
        EXPECT_EQ(std::count(line.begin(), line.end(), ','), 33) << line;
        EXPECT_EQ(line.substr(line.size() - 3), ",\r\n");
    }
    EXPECT_EQ(cn0[10].substr(0, 9), "12:00:10,");
    // Satellite 5 is the 5th value, satellite 12 the 12th.
    std::vector<std::string> values;
    size_t start = 9;
    for (size_t comma; (comma = cn0[10].find(',', start)) != std::string::npos; start = comma + 1)
        values.push_back(cn0[10].substr(start, comma - start));
    ASSERT_EQ(values.size(), 32u);
    EXPECT_EQ(values[4], "41");
    EXPECT_EQ(values[11], "33");
    EXPECT_EQ(values[0], "0");

    auto* chart = dynamic_cast<PosChart*>(w.State().PosChartWindow);
    ASSERT_NE(chart, nullptr);
    EXPECT_EQ(chart->PlottedPoints(), 62) << "one point per GSA epoch with a fix";
    // 0.002' north of the reference: 3.7 m.
    EXPECT_NEAR(chart->Plot().MaxNorthError(), 3.7, 0.05);
}
