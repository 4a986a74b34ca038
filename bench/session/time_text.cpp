#include "bench/session/time_text.h"

#include <cmath>
#include <cstdio>

namespace bench::session {

int32_t SecondsOfDay(double date_time) {
    const double frac = date_time - std::floor(date_time);
    int32_t s = static_cast<int32_t>(std::llround(frac * 86400.0));
    return s >= 86400 ? s - 86400 : s;
}

int SecondOfDateTime(double date_time) { return SecondsOfDay(date_time) % 60; }

int32_t MakeTimeDifference(double later, double earlier) {
    const double d = std::fabs(later - earlier);
    int32_t s = SecondsOfDay(d);
    if (s > 43200) s = 86400 - s;
    return s;
}

std::string MakeTimeStringFromSeconds(int32_t seconds) {
    const int32_t h = seconds / 3600;
    const int32_t m = (seconds - 3600 * h) / 60;
    const int32_t r = seconds - 3600 * h - 60 * m;
    char buf[48];
    std::snprintf(buf, sizeof buf, "%02d:%02d:%02d", static_cast<int>(h), static_cast<int>(m),
                  static_cast<int>(r));
    return buf;
}

std::string RunningTimeText(double now, double start) {
    const double s = std::max(0.0, (now - start) * 86400.0);
    return MakeTimeStringFromSeconds(static_cast<int32_t>(std::llround(s)));
}

}  // namespace bench::session
