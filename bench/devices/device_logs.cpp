#include "bench/devices/device_logs.h"

#include "bench/devices/device_paths.h"
#include "platform/core/numtext.h"

#include <filesystem>
#include <system_error>

namespace bench {

namespace {

constexpr const char* kCrLf = "\r\n";

std::array<int16_t, kT2AT2UColumns> MakeColumns() {
    std::array<int16_t, kT2AT2UColumns> c{};
    size_t i = 0;
    for (int s = 1; s <= 32; ++s) c[i++] = static_cast<int16_t>(s);
    for (int s = 65; s <= 95; ++s) c[i++] = static_cast<int16_t>(s);
    for (int s = 193; s <= 202; ++s) c[i++] = static_cast<int16_t>(s);
    return c;
}

// A file that does not exist yet, or holds nothing, is new: it needs its header.
bool IsNewFile(const std::string& path) {
    std::error_code ec;
    if (!std::filesystem::exists(path, ec)) return true;
    auto size = std::filesystem::file_size(path, ec);
    return ec || size == 0;
}

// A failed trial's lines carry what its results line carries: the error
// value and no measurement (its TTFF and satellites would be another trial's).
constexpr const char* kFailedTrial = "-1";

std::string Row(const DeviceState& dev, int16_t trial, bool t2u) {
    std::string row = (dev.TrialFailed ? std::string(kFailedTrial) : platform::NumberToText(dev.TTFF)) + "," +
                      std::to_string(trial);
    for (int16_t id : T2AT2UColumnSet()) {
        const SatDBEntry& e = dev.Sats[static_cast<size_t>(id)];
        row += ",";
        if (dev.TrialFailed) continue;
        if (!t2u && e.T2AValid && e.T2AStatsDone) row += std::to_string(e.T2A);
        if (t2u && e.T2UValid && e.T2UStatsDone) row += std::to_string(e.T2U);
    }
    return row + kCrLf;
}

// The five results files in their order, with the names to open.
struct Group {
    ByteLogFile* files[5];
    std::string names[5];
};

Group ResultsGroup(DeviceState& dev, const ResultsNames& n) {
    return Group{{&dev.ResultsFile, &dev.T2AFile, &dev.GSAFile, &dev.StatisticsFile, &dev.T2UFile},
                 {n.Results, n.T2A, n.GSA, n.Statistics, n.T2U}};
}

void CloseResults(DeviceState& dev) {
    dev.ResultsOpen = false;
    dev.ResultsFile.Close();
    dev.T2AFile.Close();
    dev.GSAFile.Close();
    dev.StatisticsFile.Close();
    dev.T2UFile.Close();
}

// Opens the group or nothing of it; the tables get their header when new.
void OpenResults(DeviceState& dev, const ResultsNames& names) {
    CloseResults(dev);
    Group g = ResultsGroup(dev, names);
    const bool new_t2a = IsNewFile(DeviceFilePath(names.T2A));
    const bool new_t2u = IsNewFile(DeviceFilePath(names.T2U));
    try {
        for (int i = 0; i < 5; ++i) g.files[i]->Open(DeviceFilePath(g.names[i]));
        if (new_t2a) dev.T2AFile.Write(T2AT2UHeader());
        if (new_t2u) dev.T2UFile.Write(T2AT2UHeader());
    } catch (...) {
        CloseResults(dev);
        throw;
    }
    dev.ResultsOpen = true;
}

}  // namespace

const std::array<int16_t, kT2AT2UColumns>& T2AT2UColumnSet() {
    static const auto columns = MakeColumns();
    return columns;
}

std::string T2AT2UHeader() {
    std::string h = "TTFF,Test N";
    for (int16_t id : T2AT2UColumnSet()) h += "," + std::to_string(id);
    return h + kCrLf;
}

ResultsNames ResultsFileNames(const std::string& results_name) {
    std::string b = platform::Left(results_name, static_cast<long>(results_name.size()) - 4);
    return ResultsNames{results_name, b + "_Results_T2A.csv", b + "_Results_GSA.txt",
                        b + "_Results_T2A_T2U_Statistics.csv", b + "_Results_T2U.csv"};
}

void StartPrimaryLog(DeviceState& dev) {
    EndPrimaryLog(dev);
    dev.PrimaryFile.Open(DeviceFilePath(dev.PrimaryLogName));
    dev.PrimaryOpen = true;
}

// The new log opens before the old one closes: a name that cannot be made
// leaves the old log taking the lines.
void ChangePrimaryLog(DeviceState& dev, const std::string& suffix) {
    ByteLogFile next;
    next.Open(DeviceFilePath(dev.PrimaryBaseName + suffix));
    EndPrimaryLog(dev);
    dev.PrimaryFile = std::move(next);
    dev.PrimaryOpen = true;
}

void EndPrimaryLog(DeviceState& dev) {
    if (!dev.PrimaryOpen) return;
    dev.PrimaryOpen = false;
    dev.PrimaryFile.Close();
}

void ChangeSecondaryLog(DeviceState& dev, const std::string& suffix) {
    ByteLogFile next;
    next.Open(DeviceFilePath(dev.SecondaryBaseName + suffix));
    EndSecondaryLog(dev);
    dev.SecondaryFile = std::move(next);
    dev.SecondaryOpen = true;
}

void EndSecondaryLog(DeviceState& dev) {
    if (!dev.SecondaryOpen) return;
    dev.SecondaryOpen = false;
    dev.SecondaryFile.Close();
}

void StartResultsLogs(DeviceState& dev) { OpenResults(dev, ResultsFileNames(dev.ResultsName)); }

void ChangeResultsLogs(DeviceState& dev, const std::string& suffix) {
    if (!dev.ResultsOpen) return;
    const std::string& r = dev.ResultsName;
    std::string b = platform::Left(r, static_cast<long>(r.size()) - 4);
    OpenResults(dev, ResultsNames{dev.PrimaryBaseName + "_Results" + suffix, b + "_Results_T2A" + suffix,
                                  b + "_Results_GSA" + suffix, b + "_Results_T2A_T2U_Statistics" + suffix,
                                  b + "_Results_T2U" + suffix});
}

void EndResultsLogs(DeviceState& dev) {
    if (!dev.ResultsOpen) return;
    CloseResults(dev);
}

void PutLogLine(ByteLogFile& file, bool open, std::string_view text) {
    if (open) file.Write(text);
}

std::string T2ARow(const DeviceState& dev, int16_t trial) { return Row(dev, trial, false); }
std::string T2URow(const DeviceState& dev, int16_t trial) { return Row(dev, trial, true); }

void LogT2AT2ULine(DeviceState& dev, int16_t trial) {
    if (!dev.ResultsOpen) return;
    dev.T2AFile.Write(T2ARow(dev, trial));
    dev.T2UFile.Write(T2URow(dev, trial));
}

std::string FixGSALine(const DeviceState& dev, int16_t trial) {
    std::string gsa = dev.TrialFailed ? std::string() : dev.FixGSA;
    while (!gsa.empty() && (gsa.back() == '\r' || gsa.back() == '\n')) gsa.pop_back();
    // One line per trial, whatever the kept text ends with.
    const std::string ttff = dev.TrialFailed ? std::string(kFailedTrial) : platform::NumberToText(dev.TTFF);
    return ttff + "\t% " + std::to_string(trial) + "\t" + gsa + kCrLf;
}

void LogFixGSALine(DeviceState& dev, int16_t trial) {
    if (!dev.ResultsOpen) return;
    dev.GSAFile.Write(FixGSALine(dev, trial));
}

std::string T2AT2UStatisticsBlock(const DeviceState& dev) {
    std::string s = "%SatID,T2Asamp,T2Aave,T2Amax,T2Amin,T2Usamp,T2Uave,T2Umax,T2Umin";
    s += kCrLf;
    using platform::NumberToText;
    for (int id = 1; id <= 32; ++id) {
        const SatDBEntry& e = dev.Sats[static_cast<size_t>(id)];
        if (e.T2ASamples <= 0) continue;
        s += std::to_string(id) + "," + std::to_string(e.T2ASamples) + "," + NumberToText(e.T2AMean) + "," +
             std::to_string(e.T2AMax) + "," + std::to_string(e.T2AMin) + "," + std::to_string(e.T2USamples) + "," +
             NumberToText(e.T2UMean) + "," + std::to_string(e.T2UMax) + "," + std::to_string(e.T2UMin) + kCrLf;
    }
    return s;
}

void LogT2AT2UStatistics(DeviceState& dev) {
    if (!dev.ResultsOpen) return;
    dev.StatisticsFile.Write(T2AT2UStatisticsBlock(dev));
}

}  // namespace bench

namespace bench {

namespace {
// "$GPGSA,..." of any talker.
bool IsGSASentence(std::string_view line) { return line.size() >= 6 && line[0] == '$' && line.substr(3, 3) == "GSA"; }
}  // namespace

void ClearTrialRecords(DeviceState& dev) {
    // A trial that ends without a fix must not hand on the last trial's GGA.
    dev.FixGGA.clear();
    dev.FixGSA.clear();
    dev.FixRow = {};
    dev.AfterFixRow = {};
    // Snapshots follow this trial's fix only: the last trial's times to come
    // would otherwise fill this trial's row during its search.
    dev.FixPlus5Second = -1;
    dev.FixPlus10Second = -1;
    for (std::string* s : {&dev.GGAOnFix, &dev.GGA05s, &dev.GGA10s, &dev.GGA15s, &dev.GGA30s, &dev.GGA60s}) s->clear();
    dev.SampleCounting = false;
}

void TrialKeeper::Before(const DeviceState& dev) {
    restart_time_ = dev.RestartTime;
    restart_stamp_ = dev.RestartStamp;
    fix_gga_ = dev.FixGGA;
}

void TrialKeeper::After(DeviceState& dev, const std::string& line) {
    // The records themselves were cleared when the restart was seen.
    if (dev.RestartTime != restart_time_ || dev.RestartStamp != restart_stamp_) awaiting_gsa_ = false;
    if (dev.FixGGA != fix_gga_ && dev.FixGGA == line) {
        awaiting_gsa_ = dev.FixGSA.empty();  // the trial's first fix only
        return;
    }
    if (awaiting_gsa_ && IsGSASentence(line)) {
        dev.FixGSA = line;
        awaiting_gsa_ = false;
    }
}

}  // namespace bench
