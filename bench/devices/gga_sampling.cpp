#include "bench/devices/gga_sampling.h"

#include "bench/devices/device_paths.h"
#include "bench/devices/device_state.h"
#include "bench/devices/system_log.h"
#include "platform/core/paths.h"

#include <array>

namespace bench {

namespace {

struct SampleFile {
    const char* name;
    const char* first_field;
    int count;  // GGA sentences after the fix
    std::string DeviceState::*sample;
};

constexpr std::array<SampleFile, 6> kFiles{{
    {"GGAOnFix.txt", "0", 0, &DeviceState::GGAOnFix},
    {"GGA05sFix.txt", "5", 5, &DeviceState::GGA05s},
    {"GGA10sFix.txt", "10", 10, &DeviceState::GGA10s},
    {"GGA15sFix.txt", "15", 15, &DeviceState::GGA15s},
    {"GGA30sFix.txt", "30", 30, &DeviceState::GGA30s},
    {"GGA60sFix.txt", "60", 60, &DeviceState::GGA60s},
}};
constexpr int kLastSample = 60;

void ClearSamples(DeviceState& dev) {
    for (const SampleFile& f : kFiles) (dev.*f.sample).clear();
}

}  // namespace

const char* GGASamplingFileName(int index) { return kFiles.at(static_cast<size_t>(index)).name; }

void GGASamplingInit(DeviceState& dev, const std::string& folder) {
    dev.SamplingOn = true;
    const std::string base = DeviceFilePath(folder);
    for (size_t i = 0; i < kFiles.size(); ++i) {
        dev.SamplingFiles[i].Close();
        dev.SamplingFiles[i].Open(platform::JoinPath(base, kFiles[i].name));
    }
}

void GGASamplingEnable(DeviceState& dev) { dev.SamplingOn = true; }

void GGASamplingLog(DeviceState& dev, int16_t trial) {
    bool any_open = false;
    for (const auto& f : dev.SamplingFiles) any_open = any_open || f.IsOpen();
    if (!any_open) {
        SystemLogWrite("GGA sampling files not open, trial " + std::to_string(trial) +
                       " not logged (DeviceGGASamplingLog)");
        return;
    }
    for (size_t i = 0; i < kFiles.size(); ++i) {
        const std::string& sample = dev.*kFiles[i].sample;
        std::string line = std::string(kFiles[i].first_field) + "\t% " + std::to_string(trial) + "\t" + sample;
        // A sample never taken still ends its line, so trials never share one.
        if (line.back() != '\n') line += "\r\n";
        if (dev.SamplingFiles[i].IsOpen()) dev.SamplingFiles[i].Write(line);
    }
    ClearSamples(dev);
}

void GGASamplingEnd(DeviceState& dev) {
    dev.SamplingOn = false;
    for (auto& f : dev.SamplingFiles) f.Close();
}

void EnableCN0Logging(DeviceState& dev, int16_t on) {
    if (on != -1) {
        dev.CN0Logging = false;
        dev.CN0File.Close();
        return;
    }
    dev.CN0File.Open(DeviceFilePath(dev.PrimaryBaseName + "_CN0.txt"));
    dev.CN0Logging = true;
}

void GGASampleTake(DeviceState& dev, const std::string& line) {
    if (!dev.SamplingOn) return;
    if (dev.SampleCounter == 0) ClearSamples(dev);
    for (const SampleFile& f : kFiles) {
        if (dev.SampleCounter != f.count) continue;
        dev.*f.sample = line;
        if (f.count == 0) dev.SampleCounting = true;
        if (f.count == kLastSample) {
            ++dev.SampleCounter;
            dev.SampleCounting = false;
        }
        return;
    }
}

void GGASamplingTake(DeviceState& dev, std::string_view line) {
    if (dev.SamplingOn) GGASampleTake(dev, std::string(line));
}

void CN0LogLine(DeviceState& dev) {
    if (!dev.CN0Logging) return;
    std::string line = dev.GGATimeText + ",";
    for (int id = 1; id <= 32; ++id) line += std::to_string(dev.Sats[static_cast<size_t>(id)].CN0) + ",";
    line += "\r\n";
    dev.CN0File.Write(line);
}

}  // namespace bench
