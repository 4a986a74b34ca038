#pragma once
// A clock that moves only when told: local date-time, UTC and the monotonic
// count advance together.
#include "platform/core/clock.h"

#include <cmath>
#include <cstdint>

namespace test {

class FakeClock : public platform::Clock {
public:
    // local: the local date-time at the start (days since 1899-12-30);
    // utc_ms: UTC at the start.
    explicit FakeClock(double local = 46365.5, int64_t utc_ms = 1'796'817'600'000) : local0_(local), utc0_(utc_ms) {}
    double Now() const override { return LocalAt(ms_); }
    double DateTimeAt(platform::Stamp at) const override { return LocalAt(ms_ - FloorDiv(MonotonicUs() - at.Us, 1000)); }
    int64_t UtcMs() const override { return utc0_ + ms_; }
    int64_t MonotonicMs() const override { return mono0_ + ms_; }
    void Advance(int64_t ms) { ms_ += ms; }
    void AdvanceSeconds(double s) { ms_ += static_cast<int64_t>(std::llround(s * 1000)); }
    // A wall-clock step (NTP, daylight saving): local and UTC jump, the
    // monotonic count does not.
    void StepWallClock(int64_t ms) {
        local0_ += static_cast<double>(ms) / 86400000.0;
        utc0_ += ms;
    }

private:
    // Whole seconds, as the local clock shows them, `ms` after the start.
    double LocalAt(int64_t ms) const {
        double secs = std::floor(local0_ * 86400.0 + 0.5) + static_cast<double>(FloorDiv(ms, 1000));
        return secs / 86400.0;
    }
    static int64_t FloorDiv(int64_t a, int64_t b) { return a >= 0 ? a / b : -((-a + b - 1) / b); }
    double local0_;
    int64_t utc0_;
    int64_t mono0_ = 5'000'000;
    int64_t ms_ = 0;
};

}  // namespace test
