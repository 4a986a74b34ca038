#pragma once
// -vel: a vehicle log (the receiver's NMEA log or a reference system's text
// log) becomes a speed and heading table and a vel file keyed by second.
#include "analysis/core/options.h"

namespace navsift {

// 0 when every log was handled, 1 when a log or output failed, 2 on a usage
// error.
int vel_extract(const OptionRecord& options);

}  // namespace navsift
