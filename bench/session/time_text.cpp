#include "bench/session/time_text.h"

#include <algorithm>
#include <cmath>

#include "bench/devices/timing.h"

namespace bench::session {

std::string RunningTimeText(double now, double start) {
    const double s = std::max(0.0, (now - start) * 86400.0);
    return MakeTimeStringFromSeconds(static_cast<int32_t>(std::llround(s)));
}

}  // namespace bench::session
