// Pushes a large generated NMEA stream through the receive path: the receive
// event reader, the console ring, sentence framing in a stand-in dispatcher
// and the primary log (written through line by line). Prints MB/s.
#include "bench/devices/console.h"
#include "bench/devices/nmea.h"
#include "perf/perf_process.h"
#include "tests/support/busy_epoch.h"
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
    for (int second = 0; out.size() < min_bytes; ++second) out += test::BusyEpoch(second);
    return out;
}

}  // namespace

int main() {
    perf::DeclareGoals(0);
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
    dev.MessageProcessing = [&](bench::DeviceState& d, platform::Stamp) {
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
