#include "platform/core/clock.h"

#include <chrono>
#include <cmath>
#include <ctime>

namespace platform {

namespace {
constexpr int64_t kUnixEpochDays = 25569;  // 1970-01-01 as days since 1899-12-30
}

double DateSerialFromUnixSeconds(int64_t unix_seconds) {
    return static_cast<double>(kUnixEpochDays) + static_cast<double>(unix_seconds) / 86400.0;
}

int64_t UnixSecondsFromDateSerial(double date_serial) {
    return static_cast<int64_t>(std::llround((date_serial - kUnixEpochDays) * 86400.0));
}

CivilDate CivilFromDays(int64_t days_since_1970) {
    const int64_t z = days_since_1970 + 719468;
    const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const int64_t doe = z - era * 146097;
    const int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    int64_t y = yoe + era * 400;
    const int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const int64_t mp = (5 * doy + 2) / 153;
    const int64_t d = doy - (153 * mp + 2) / 5 + 1;
    const int64_t m = mp < 10 ? mp + 3 : mp - 9;
    if (m <= 2) ++y;
    return {static_cast<int>(y), static_cast<int>(m), static_cast<int>(d)};
}

DateTimeParts SplitDateSerial(double date_serial) {
    const int64_t total = UnixSecondsFromDateSerial(date_serial);
    const int64_t days = total >= 0 ? total / 86400 : -((-total + 86399) / 86400);
    const int64_t secs = total - days * 86400;
    const CivilDate c = CivilFromDays(days);
    return {c.Year, c.Month, c.Day, static_cast<int>(secs / 3600), static_cast<int>(secs / 60 % 60),
            static_cast<int>(secs % 60)};
}

namespace {

int64_t FloorDiv(int64_t a, int64_t b) { return a >= 0 ? a / b : -((-a + b - 1) / b); }

// Local wall time of a UTC second, expressed as if it were UTC, so the
// serial shows the local clock's date and time.
double LocalDateSerial(std::time_t t) {
    std::tm local{};
    localtime_r(&t, &local);
    return DateSerialFromUnixSeconds(static_cast<int64_t>(t) + local.tm_gmtoff);
}

}  // namespace

int64_t Clock::UtcMsAt(Stamp at) const {
    return UtcMs() - FloorDiv(MonotonicUs() - at.Us, 1000);
}

double Clock::DateTimeAt(Stamp at) const {
    // The local clock runs a whole number of seconds off UTC, so the
    // fraction of the present second comes from UTC.
    const int64_t age_ms = FloorDiv(MonotonicUs() - at.Us, 1000);
    if (age_ms == 0) return Now();
    const int64_t local_ms = std::llround(Now() * 86400.0) * 1000 + (UtcMs() % 1000 + 1000) % 1000;
    return static_cast<double>(FloorDiv(local_ms - age_ms, 1000)) / 86400.0;
}

double SystemClock::Now() const { return LocalDateSerial(std::time(nullptr)); }

double SystemClock::DateTimeAt(Stamp at) const {
    return LocalDateSerial(static_cast<std::time_t>(FloorDiv(UtcMsAt(at), 1000)));
}

int64_t SystemClock::UtcMsAt(Stamp at) const {
    using namespace std::chrono;
    // One reading of each clock, as close together as they can be.
    const int64_t mono = MonotonicUs();
    const int64_t utc_us = duration_cast<microseconds>(system_clock::now().time_since_epoch()).count();
    return FloorDiv(utc_us - (mono - at.Us), 1000);
}

int64_t SystemClock::UtcMs() const {
    using namespace std::chrono;
    return duration_cast<milliseconds>(system_clock::now().time_since_epoch()).count();
}

int64_t SystemClock::MonotonicMs() const {
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

int64_t SystemClock::MonotonicUs() const {
    using namespace std::chrono;
    return duration_cast<microseconds>(steady_clock::now().time_since_epoch()).count();
}

SystemClock& SystemClock::Instance() {
    static SystemClock clock;
    return clock;
}

}  // namespace platform
