#pragma once
// NMEA logs to a KML track document: one log, the ".txt" logs of a folder, or
// those of each of its sub-folders.
#include "analysis/core/options.h"

namespace navsift {

// Writes folder-of(-nmea) + name_text + ".kml". 0 on success, 1 when the
// input cannot be read or the document cannot be written.
int kml_from_nmea(const OptionRecord& options);

}  // namespace navsift
