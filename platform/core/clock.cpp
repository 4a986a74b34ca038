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

double SystemClock::Now() const {
    std::time_t t = std::time(nullptr);
    std::tm local{};
    localtime_r(&t, &local);
    // Local wall time expressed as if it were UTC, so the serial shows the
    // local clock's date and time.
    int64_t local_secs = static_cast<int64_t>(t) + local.tm_gmtoff;
    return DateSerialFromUnixSeconds(local_secs);
}

int64_t SystemClock::UtcMs() const {
    using namespace std::chrono;
    return duration_cast<milliseconds>(system_clock::now().time_since_epoch()).count();
}

int64_t SystemClock::MonotonicMs() const {
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

SystemClock& SystemClock::Instance() {
    static SystemClock clock;
    return clock;
}

}  // namespace platform
