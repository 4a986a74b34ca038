#pragma once
// The running time of an open-ended test as the status bar shows it.
#include <string>

namespace bench::session {

// "hh:mm:ss" of the real time elapsed since `start` (date-times in days), with
// no 12-hour wrap, so a day-long run shows its true length.
std::string RunningTimeText(double now, double start);

}  // namespace bench::session
