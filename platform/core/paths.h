#pragma once
// Folders and files named in stored settings are written the Windows way
// ("C:\GPS_TEST\") and stay so in the configuration; this maps them to the
// Linux path where files are actually made.
#include <string>
#include <string_view>

namespace platform {

// Maps a stored path (Windows-1252 bytes, as the configuration holds it) to
// a Linux path in UTF-8: "\" becomes "/", a drive prefix ("C:\", "d:/",
// "C:") becomes the program folder, absolute Linux paths and relative paths
// keep their text. A trailing separator is kept. Empty stays empty.
// "C:\GPS_TEST\" with program folder "/opt/fb" gives "/opt/fb/GPS_TEST/".
std::string MapStoredPath(std::string_view stored, std::string_view programFolder);

// `folder` + "/" + `name`, without doubling a separator already there.
std::string JoinPath(std::string_view folder, std::string_view name);

}  // namespace platform
