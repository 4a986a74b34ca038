#pragma once
// Positions of vel files as KML tracks: the records of a file become epochs
// and placemarks (-p with -kml, and the classified positions of -compare).
#include <cstdint>
#include <string>
#include <vector>

#include "analysis/core/nmea_epoch.h"
#include "analysis/core/options.h"
#include "analysis/core/vel_file.h"
#include "analysis/writers/kml_writer.h"

namespace navsift {

// The epoch that a placemark shows for a record: its time as a "$PQNVTG"
// time, position, speed and heading.
void vel_record_to_epoch(const VelRecord& record, NmeaEpoch& e);

// One track of all `records` in style set `set`: start, points, end, each
// record placed once. With split times, the track is cut into folders named
// by time; the split times count from the track's own first record.
void kml_from_vel(KmlWriter& kml, const std::vector<VelRecord>& records, int set,
                  const std::vector<uint32_t>* splits);

// A folder argument as a prefix: "/" added when it names a folder without
// one.
std::string FolderArgument(const std::string& argument);

// The name of a file less its last 4 characters.
std::string VelShortName(const std::string& name);

// -p FOLDER -kml [-name NAME]: every vel file of the folder as a track in
// NAME.kml ("positions.kml" without -name). 0, 1 on a failure, 2 on a usage
// error.
int positions_kml(const OptionRecord& o);

}  // namespace navsift
