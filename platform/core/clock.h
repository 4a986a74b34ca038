#pragma once
// The one source of time for the bench: local date-time as days since
// 1899-12-30 (whole seconds), UTC in milliseconds, and a monotonic count for
// elapsed times. Tests inject a fake.
#include <compare>
#include <cstdint>

namespace platform {

// A moment on the monotonic clock, in microseconds: when a chunk of bytes
// arrived at a port, or when the bench did something. Elapsed times are the
// distance between two stamps; date-times and UTC of a stamp come from the
// clock that made it.
struct Stamp {
    int64_t Us = 0;
    friend auto operator<=>(const Stamp&, const Stamp&) = default;
};

class Clock {
public:
    virtual ~Clock() = default;
    // Local date-time, days since 1899-12-30 00:00, whole seconds.
    virtual double Now() const = 0;
    // UTC milliseconds since 1970-01-01.
    virtual int64_t UtcMs() const = 0;
    // Milliseconds on a clock that never jumps; for elapsed times.
    virtual int64_t MonotonicMs() const = 0;
    // The same clock in microseconds, the unit of a Stamp.
    virtual int64_t MonotonicUs() const { return MonotonicMs() * 1000; }
    Stamp StampNow() const { return Stamp{MonotonicUs()}; }
    // What Now() and UtcMs() read (or would have read) at a stamp of this
    // clock: the present readings less the stamp's age.
    virtual double DateTimeAt(Stamp at) const;
    virtual int64_t UtcMsAt(Stamp at) const;
};

class SystemClock final : public Clock {
public:
    double Now() const override;
    int64_t UtcMs() const override;
    int64_t MonotonicMs() const override;
    int64_t MonotonicUs() const override;
    double DateTimeAt(Stamp at) const override;
    int64_t UtcMsAt(Stamp at) const override;
    static SystemClock& Instance();
};

// Date-time helpers on the days-since-1899-12-30 representation.
double DateSerialFromUnixSeconds(int64_t unix_seconds);  // no time zone applied
int64_t UnixSecondsFromDateSerial(double date_serial);    // rounded to the second

struct CivilDate {
    int Year = 0;
    int Month = 0;  // 1..12
    int Day = 0;    // 1..31
};
// Proleptic Gregorian date of a day count since 1970-01-01.
CivilDate CivilFromDays(int64_t days_since_1970);

struct DateTimeParts {
    int Year = 0, Month = 0, Day = 0, Hour = 0, Minute = 0, Second = 0;
};
// Calendar parts of a date-time, rounded to the second.
DateTimeParts SplitDateSerial(double date_serial);

}  // namespace platform
