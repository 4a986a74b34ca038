#pragma once
// Generated receiver output for the benchmarks.
#include <string>

namespace test {

// One second of a busy receiver with a fix, second `second` of a day that
// wraps at midnight: GGA, RMC, GSA, three GSV and VTG.
std::string BusyEpoch(int second);

}  // namespace test
