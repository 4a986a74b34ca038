#pragma once
// Clock arithmetic the engine's waits and texts need, on date-times counted
// in days since 1899-12-30.
#include <cstdint>
#include <string>

namespace bench::session {

// Whole seconds between the clock times of two date-times on a 24-hour
// circle (at most 12 hours).
int32_t MakeTimeDifference(double later, double earlier);
// "hh:mm:ss" of a number of seconds; hours may exceed 24.
std::string MakeTimeStringFromSeconds(int32_t seconds);
// Seconds of the time of day, 0 to 86399.
int32_t SecondsOfDay(double date_time);
// Second of the minute, 0 to 59.
int SecondOfDateTime(double date_time);
// "hh:mm:ss" of the real time elapsed since `start` (no 12-hour wrap).
std::string RunningTimeText(double now, double start);

}  // namespace bench::session
