#pragma once
// GPX track logs (of a reference receiver, say) to the same KML tracks as
// the NMEA logs, so that both can be compared on a map.
#include "analysis/core/byte_stream.h"
#include "analysis/core/nmea_epoch.h"
#include "analysis/core/options.h"

namespace navsift {

// Counts of the track points of one file that were left out, or drawn
// without a height.
struct GpxDropped {
    int without_position = 0;  // no latitude or longitude
    int without_time = 0;      // no "<time>", or one that reads as no time
    int outside_dates = 0;     // dated before 1981 or after 2099 (1901, say)
    int off_the_earth = 0;     // IsEarthPosition fails (a height beyond 100 km, a latitude past 90)
    int without_height = 0;    // drawn, clamped to the ground
};

// A GPX time "yyyy-mm-ddThh:mm:ss", with or without a fraction (dropped),
// and "Z", a zone offset ("+01:00", "-0530") or no zone (taken as UTC).
enum class GpxTimeRead { Ok, Unreadable, OutsideDates };
// `utc`: the moment in GPS seconds on the UTC scale (no leap seconds).
GpxTimeRead gpx_read_time(const std::string& text, int32_t& utc);

// Reads up to the next track point that can be drawn: a "<trkpt" element
// with "lat" and "lon" attributes and a "<time>" child, its attributes and
// children in any order and laid out over any lines, as XML allows; an
// "<ele>" child gives its height (a point without one has none). A point is
// left out only for what it lacks, counted under that reason. Fills the
// point's position, its GPS time (UTC + 15 s) with its calendar fields, and
// the flags that make the KML writer use that time. False at the end of the
// stream, with `point` untouched.
bool gpx_read_point(ByteStream& in, NmeaEpoch& point, GpxDropped& dropped);

// "-gpx FILE or FOLDER -name NAME": the KML document folder + NAME + ".kml".
int gpx_to_kml(const OptionRecord& options);

}  // namespace navsift
