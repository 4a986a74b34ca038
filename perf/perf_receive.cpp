// The receive path as the bench runs it: the main window makes a device
// window from its configuration file and shows it (offscreen, with the
// system's fonts); a busy receiver's output (GGA, RMC, GSA, three GSV and
// VTG every second) is written to the window's pseudo-terminal as fast as
// the window takes it, from a thread of its own, while the window logs it.
// Timed from the first byte written until the primary log holds every byte
// and the window has decoded every GGA. Prints MB/s; a figure, no goal.
#include "bench/devices/comm_window.h"
#include "bench/session/benchtop.h"
#include "bench/session/config.h"
#include "bench/session/device_windows.h"
#include "perf/perf_process.h"
#include "platform/qt/program_folder.h"
#include "tests/support/busy_epoch.h"
#include "tests/support/qt_app.h"

#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <thread>

namespace {

uintmax_t FileSize(const std::string& path) {
    std::error_code ec;
    const uintmax_t n = std::filesystem::file_size(path, ec);
    return ec ? 0 : n;
}

}  // namespace

int main() {
    perf::DeclareGoals(0);
    test::EnsureAppWithScreen(1600, 1000);
    test::TempHome home;
    std::string stream;
    int epochs = 0;
    // Sixteen megabytes: a day of a busy receiver at 1 Hz is about 40.
    stream.reserve((16u << 20) + 4096);
    while (stream.size() < (16u << 20)) stream += test::BusyEpoch(epochs++);

    const int master = ::posix_openpt(O_RDWR | O_NOCTTY);
    if (master < 0 || ::grantpt(master) != 0 || ::unlockpt(master) != 0) {
        std::printf("receive path: no pseudo-terminal\n");
        return 1;
    }
    std::ofstream(platform::ProgramFile("ComPorts.txt"), std::ios::app) << "51 " << ::ptsname(master) << "\n";
    bench::SystemConfig cfg;
    cfg.Devices[0].DevEN = bench::FlagSet;
    cfg.Devices[0].DName = "BUSY";
    cfg.Devices[0].NmeaP = 51;
    cfg.Devices[0].NmeaB = 115200;
    const std::string config = home.File("Config.dat");
    bench::SaveSystemConfig(config, cfg);

    bench::CommWindowFactory factory;
    auto top = std::make_unique<bench::Benchtop>(factory);
    top->show();
    top->ConfigDialog().hide();
    top->InitializeDevices(config);
    auto* window = dynamic_cast<bench::CommWindow*>(top->NmeaWindow(0));
    if (window == nullptr || !window->isVisible() || !window->Port().PortOpen()) {
        std::printf("receive path: the device window is not shown or its port not open\n");
        ::close(master);
        return 1;
    }
    const std::string log = home.File("BUSY_NMEA.txt");
    window->DeviceSetPrimaryLogFileBaseName(home.File("BUSY_NMEA"));
    window->DeviceStartPrimaryLogging(".txt");
    test::Pump(200);
    const int32_t gga_before = window->State().GGACount;

    std::atomic<bool> failed{false};
    const auto t0 = std::chrono::steady_clock::now();
    std::thread writer([&] {
        const char* p = stream.data();
        size_t n = stream.size();
        while (n > 0) {
            const ssize_t w = ::write(master, p, std::min<size_t>(n, 4096));
            if (w > 0) {
                p += w;
                n -= static_cast<size_t>(w);
            } else if (w < 0 && errno != EINTR && errno != EAGAIN) {
                failed = true;
                return;
            }
        }
    });
    const bool complete = test::WaitFor(
        [&] { return FileSize(log) >= stream.size() && window->State().GGACount - gga_before >= epochs; }, 600000);
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    writer.join();
    const int32_t decoded = window->State().GGACount - gga_before;
    window->DeviceEndPrimaryLogging();
    top.reset();
    ::close(master);

    const double mb = static_cast<double>(stream.size()) / 1e6;
    const bool exact = test::ReadFileBytes(log) == stream;
    std::printf("receive path, a device window shown on a pseudo-terminal: %.1f MB in %.2f s = %.1f MB/s "
                "(%d of %d GGA decoded, primary log %s)\n",
                mb, seconds, complete ? mb / seconds : 0.0, decoded, epochs, exact ? "byte-exact" : "DIFFERS");
    return complete && exact && !failed ? 0 : 1;
}
