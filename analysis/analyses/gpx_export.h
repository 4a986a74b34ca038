#pragma once
// GPX track logs (of a reference receiver, say) to the same KML tracks as
// the NMEA logs, so that both can be compared on a map.
#include "analysis/core/byte_stream.h"
#include "analysis/core/nmea_epoch.h"
#include "analysis/core/options.h"

namespace navsift {

// Counts of track points left out of one file.
struct GpxDropped {
    int without_position = 0;  // no latitude or longitude
    int without_height_or_time = 0;
    int off_the_earth = 0;  // latitude outside -90..90 or longitude outside -180..180
};

// Reads lines up to the next complete track point: "<trkpt" with "lat" and
// "lon" (in any order), "<ele>" on that line or the next, and "<time>" on
// that line or the next. Fills the point's position, its GPS time (UTC +
// 15 s) with its calendar fields, and the flags that make the KML writer
// use that time. False at the end of the stream, with `point` untouched.
bool gpx_read_point(ByteStream& in, NmeaEpoch& point, GpxDropped& dropped);

// "-gpx FILE or FOLDER -name NAME": the KML document folder + NAME + ".kml".
int gpx_to_kml(const OptionRecord& options);

}  // namespace navsift
