#pragma once
// Windows-1252, the 8-bit code page of the texts the configuration file and
// the receivers' command strings carry. Texts stay as these bytes inside the
// bench; convert only where a person reads or types them.
#include <string>
#include <string_view>

namespace platform {

// Every byte has a character: the five bytes Windows-1252 leaves undefined
// (81, 8D, 8F, 90, 9D) become the control characters of the same number, so
// any byte string survives Cp1252ToUtf8 then Utf8ToCp1252 unchanged.
std::string Cp1252ToUtf8(std::string_view bytes);

// Characters the code page cannot hold, and bytes that are not valid UTF-8,
// become "?"; `lossless` (when given) tells whether that happened.
std::string Utf8ToCp1252(std::string_view utf8, bool* lossless = nullptr);

}  // namespace platform
