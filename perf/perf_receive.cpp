// Pushes a large generated NMEA stream through the receive path: the receive
// event reader, the console ring, sentence framing in a stand-in dispatcher
// and the primary log (written through line by line). Prints MB/s.
#include "bench/devices/console.h"
#include "bench/devices/nmea.h"
#include "tests/support/emulated_receiver.h"
#include "tests/support/fakes.h"
#include "tests/support/qt_app.h"

#include <chrono>
#include <cstdio>
#include <string>

namespace {

std::string GeneratedLog(size_t min_bytes) {
    std::string out;
    out.reserve(min_bytes + 1024);
    int second = 0;
    char body[256];
    while (out.size() < min_bytes) {
        int h = second / 3600 % 24, m = second / 60 % 60, s = second % 60;
        std::snprintf(body, sizeof body, "$GPGGA,%02d%02d%02d.00,4807.%03d,N,01131.%03d,E,1,08,0.9,545.4,M,46.9,M,,", h,
                      m, s, second % 1000, (second * 7) % 1000);
        out += test::Sentence(body);
        std::snprintf(body, sizeof body, "$GPRMC,%02d%02d%02d.00,A,4807.038,N,01131.000,E,022.4,084.4,230394,003.1,W", h,
                      m, s);
        out += test::Sentence(body);
        out += test::Sentence("$GPGSA,A,3,04,05,,09,12,,,24,,,,,2.5,1.3,2.1");
        for (int k = 1; k <= 3; ++k) {
            std::snprintf(body, sizeof body, "$GPGSV,3,%d,11,%02d,03,111,00,04,15,270,00,06,01,010,00,13,06,292,%02d", k,
                          k * 5, 30 + second % 20);
            out += test::Sentence(body);
        }
        out += test::Sentence("$GPVTG,054.7,T,034.4,M,005.5,N,010.2,K");
        ++second;
    }
    return out;
}

}  // namespace

int main() {
    test::TempHome home;
    const std::string stream = GeneratedLog(256u << 20);
    const size_t chunk = 4096;

    test::FakeSerialLink port;
    bench::DeviceState dev;
    dev.Console.Port = &port;
    port.SetReceiveHandler([&] { bench::CommPortRead(dev); });
    port.SetRThreshold(1);
    port.SetPortOpen(true);
    size_t decoded = 0;
    dev.MessageProcessing = [&](bench::DeviceState& d) {
        if (bench::NMEA_Msg_Decoding(nullptr, d.Console.Lines[d.Console.Current]) == 0) ++decoded;
    };
    dev.PrimaryFile.Open(home.File("perf_NMEA.txt"));
    dev.PrimaryOpen = true;

    auto t0 = std::chrono::steady_clock::now();
    for (size_t pos = 0; pos < stream.size(); pos += chunk)
        port.Inject(std::string_view(stream).substr(pos, chunk));
    auto t1 = std::chrono::steady_clock::now();
    dev.PrimaryFile.Close();

    double seconds = std::chrono::duration<double>(t1 - t0).count();
    double mb = static_cast<double>(stream.size()) / 1e6;
    std::printf("receive path: %.1f MB in %.2f s = %.1f MB/s (%zu sentences decoded, primary log %s)\n", mb, seconds,
                mb / seconds, decoded,
                test::ReadFileBytes(home.File("perf_NMEA.txt")).size() == stream.size() ? "byte-exact" : "DIFFERS");
    return 0;
}
