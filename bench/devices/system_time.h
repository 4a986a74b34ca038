#pragma once
// A UTC stamp of the system clock with milliseconds, member by member as the
// restart and differential timers keep it.
#include <cstdint>

namespace bench {

struct SystemTime {
    int16_t Year = 0;
    int16_t Month = 0;
    int16_t DayOfWeek = 0;  // 0 = Sunday
    int16_t Day = 0;
    int16_t Hour = 0;
    int16_t Minute = 0;
    int16_t Second = 0;
    int16_t Milliseconds = 0;
    friend bool operator==(const SystemTime&, const SystemTime&) = default;
};

}  // namespace bench
