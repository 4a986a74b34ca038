#include "bench/devices/system_log.h"

#include "bench/devices/byte_log.h"
#include "bench/devices/device_state.h"
#include "platform/core/clock.h"
#include "platform/core/diagnostics.h"
#include "platform/core/error.h"
#include "platform/qt/program_folder.h"
#include "platform/ui/prompts.h"

#include <cmath>
#include <cstdio>
#include <new>
#include <stdexcept>
#include <sys/stat.h>

namespace bench {

namespace {

struct LogState {
    ByteLogFile file;
    const platform::Clock* clock = nullptr;
};

LogState& Log() {
    static LogState state;
    return state;
}

void ToStderr(std::string_view text) noexcept {
    std::fprintf(stderr, "system log: %.*s\n", static_cast<int>(text.size()), text.data());
}

}  // namespace

std::string SystemLogFileName(double date_time) {
    const platform::DateTimeParts p = platform::SplitDateSerial(date_time);
    char buf[96];
    std::snprintf(buf, sizeof buf, "SystemLog_%d-%d-%d_%d.%d.%d.txt", p.Day, p.Month, p.Year, p.Hour, p.Minute,
                  p.Second);
    return buf;
}

std::string SystemLogDateTime(double date_time) {
    const platform::DateTimeParts p = platform::SplitDateSerial(date_time);
    char buf[64];
    std::snprintf(buf, sizeof buf, "%02d/%02d/%04d %02d:%02d:%02d", p.Day, p.Month, p.Year, p.Hour, p.Minute,
                  p.Second);
    return buf;
}

int16_t IsDirectory(const std::string& path) {
    struct stat st {};
    return (::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) ? -1 : 0;
}

void OpenSystemLog(const platform::Clock& clock) {
    std::string folder = platform::ProgramFile("SystemLogs");
    if (IsDirectory(folder) == 0 && ::mkdir(folder.c_str(), 0755) != 0)
        throw platform::BenchError(platform::err::PathNotFound, "Path not found (" + folder + ")");
    LogState& log = Log();
    log.file.SetUntracked();
    log.file.Open(folder + "/" + SystemLogFileName(clock.Now()), ByteLogFile::Mode::Append);
    log.clock = &clock;
    platform::SetDiagnosticSink([](const std::string& text) { SystemLogWrite(text); });
}

void CloseSystemLog() {
    platform::SetDiagnosticSink({});
    Log().file.Close();
    Log().clock = nullptr;
}

bool SystemLogIsOpen() { return Log().file.IsOpen(); }

std::string SystemLogPath() { return Log().file.IsOpen() ? Log().file.Path() : std::string(); }

void SystemLogWrite(std::string_view text) noexcept {
    try {
        LogState& log = Log();
        if (!log.file.IsOpen()) {
            ToStderr(text);
            return;
        }
        const platform::Clock& clock = log.clock ? *log.clock : platform::SystemClock::Instance();
        const std::string stamp = SystemLogDateTime(clock.Now()) + " : ";
        // A text of several lines becomes one dated entry a line, so that
        // every line of the log says when it was written.
        std::string lines;
        size_t from = 0;
        while (from <= text.size()) {
            size_t end = text.find('\n', from);
            if (end == std::string_view::npos) end = text.size();
            std::string_view piece = text.substr(from, end - from);
            if (!piece.empty() && piece.back() == '\r') piece.remove_suffix(1);
            if (!piece.empty() || lines.empty()) {
                lines += stamp;
                lines += piece;
                lines += "\r\n";
            }
            from = end + 1;
        }
        log.file.Write(lines);
    } catch (...) {
        ToStderr(text);
    }
}

PendingError ErrorOf(const std::exception_ptr& e) {
    if (!e) return {};
    try {
        std::rethrow_exception(e);
    } catch (const platform::BenchError& b) {
        return {b.Number() != 0 ? b.Number() : platform::err::BadArgument, b.Description()};
    } catch (const std::bad_alloc&) {
        return {7, "Out of memory"};
    } catch (const std::out_of_range&) {
        return {9, "Subscript out of range"};
    } catch (const std::exception& x) {
        return {platform::err::BadArgument, x.what()};
    } catch (...) {
        return {platform::err::BadArgument, "Unknown error"};
    }
}

bool IsRepeatedWriteFailure(const std::exception_ptr& e) noexcept {
    if (!e) return false;
    try {
        std::rethrow_exception(e);
    } catch (const RepeatedWriteFailure&) {
        return true;
    } catch (...) {
        return false;
    }
}

void ErrorReport(std::string_view procedure, const std::exception_ptr& e) noexcept {
    try {
        if (IsRepeatedWriteFailure(e)) return;
        PendingError p = ErrorOf(e);
        if (p.Number == 0) return;
        SystemLogWrite(p.Description + " (" + std::string(procedure) + ")");
    } catch (...) {
        ToStderr(procedure);
    }
}

void ErrorReport(std::string_view procedure) noexcept { ErrorReport(procedure, std::current_exception()); }

void ErrorMessageBox(const std::exception_ptr& e) noexcept {
    try {
        PendingError p = ErrorOf(e);
        if (p.Number == 0) return;
        platform::Prompts::Instance().Inform(p.Description + " " + std::to_string(p.Number),
                                             platform::Prompts::kProgramTitle, platform::Icon::Critical);
    } catch (...) {
        ToStderr("error box could not be shown");
    }
}

void ErrorMessageBox() noexcept { ErrorMessageBox(std::current_exception()); }

void ReportOncePerWindow(DeviceState& dev, std::string_view text) noexcept {
    try {
        auto it = dev.CountedReports.find(text);
        if (it != dev.CountedReports.end()) {
            ++it->second;
            return;
        }
        dev.CountedReports.emplace(std::string(text), 0);
    } catch (...) {
        // Out of memory for the count: writing the line is still right.
    }
    SystemLogWrite(text);
}

void WriteCountedReports(DeviceState& dev) noexcept {
    try {
        for (const auto& [text, more] : dev.CountedReports) {
            if (more == 0) continue;
            SystemLogWrite("Device " + dev.DeviceName + ": " + std::to_string(more) + " more \"" + text +
                           "\" not written since the first");
        }
        dev.CountedReports.clear();
    } catch (...) {
        ToStderr("counted reports lost");
    }
}

void OutputMsg(DeviceState& dev, std::string_view text) noexcept {
    try {
        if (!dev.OutputWin) return;
        std::string line(text);
        line += "\r\n";
        dev.OutputWin->Append(line);
    } catch (...) {
        ToStderr(text);
    }
}

}  // namespace bench
