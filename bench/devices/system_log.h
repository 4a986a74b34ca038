#pragma once
// The system log of the run and the error convention of the bench.
//
// A routine "under an error trap" runs its body through Trapped(name, ...):
// the steps done before an error stay done, the error is written to the
// system log as "description (name)", and the caller goes on. Other routines
// let BenchError pass to their caller.
#include "platform/core/clock.h"

#include <cstdint>
#include <exception>
#include <string>
#include <string_view>

namespace bench {

struct DeviceState;

// Opens the run's log "SystemLogs/SystemLog_d-m-yyyy_h.m.s.txt" in the
// program folder (the folder is made when missing), appending when the name
// exists already. Platform notes go to the log while it is open. A folder or
// file that cannot be made is a BenchError to the caller.
void OpenSystemLog(const platform::Clock& clock = platform::SystemClock::Instance());
void CloseSystemLog();
bool SystemLogIsOpen();
// The path of the open log ("" when closed).
std::string SystemLogPath();

// "SystemLog_8-12-2026_7.6.1.txt" for that moment (no leading zeros).
std::string SystemLogFileName(double date_time);
// "08/12/2026 07:06:01": the date-time that starts each line.
std::string SystemLogDateTime(double date_time);

// -1 when the path is an existing folder, else 0 (also for a file).
int16_t IsDirectory(const std::string& path);

// One line: date-time, " : ", the text, CR LF; written through at once.
// Never throws: with the log closed or failing the line goes to stderr.
void SystemLogWrite(std::string_view text) noexcept;

// The pending error: what ErrorReport and ErrorMessageBox show.
struct PendingError {
    int Number = 0;  // 0: none
    std::string Description;
};
// The error an exception carries (BenchError keeps its own number).
PendingError ErrorOf(const std::exception_ptr& e);

// A file write that failed before and was reported then.
bool IsRepeatedWriteFailure(const std::exception_ptr& e) noexcept;

// Inside a catch block: writes "description (procedure)". Outside one (no
// error pending) writes nothing, nor for a repeated write failure. Never
// throws.
void ErrorReport(std::string_view procedure) noexcept;
void ErrorReport(std::string_view procedure, const std::exception_ptr& e) noexcept;

// Inside a catch block: shows "description number" in a box titled with the
// program's title, with an OK button (never waits). Nothing when no error is
// pending. Never throws.
void ErrorMessageBox() noexcept;
void ErrorMessageBox(const std::exception_ptr& e) noexcept;

// Runs body; on an error reports it under procedure and returns false.
template <class Body>
bool Trapped(std::string_view procedure, Body&& body) noexcept {
    try {
        body();
        return true;
    } catch (...) {
        ErrorReport(procedure);
        return false;
    }
}

// A report that a receiver can repeat on every line (an out-of-range id, a
// sentence too short for its fields): written to the system log the first
// time for this device window, only counted after that. Never throws.
void ReportOncePerWindow(DeviceState& dev, std::string_view text) noexcept;
// When the window closes: one line per such report that came again, saying
// how many times more, then the counts start afresh. Never throws.
void WriteCountedReports(DeviceState& dev) noexcept;

// Appends text and CR LF to the device's message box, caret at the end.
void OutputMsg(DeviceState& dev, std::string_view text) noexcept;

}  // namespace bench
