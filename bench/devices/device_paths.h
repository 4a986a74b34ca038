#pragma once
// Names of files a device writes arrive in the stored Windows form
// ("C:\GPS_TEST\GPS1_COLD_NMEA") from the configuration, or as Linux paths
// (a replayed log chosen in a dialog). This gives the path the file is
// really made at.
#include <string>

namespace bench {

// A name with a "\" or a drive prefix is mapped into the program folder
// (platform::MapStoredPath); any other name is used as it is.
std::string DeviceFilePath(const std::string& name);

}  // namespace bench
