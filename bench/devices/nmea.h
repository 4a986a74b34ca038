#pragma once
// NMEA sentence framing and checksum, and the routines that write commands to
// a device's port.
#include <array>
#include <cstdint>
#include <string>
#include <string_view>

namespace bench {

class BenchHost;
struct DeviceState;

// The fields of the last decoded line, shared by every device (one thread,
// read by the sentence processors right after decoding): element 0 the field
// count as decimal text, 1 the sentence name with its "$", then the fields.
inline constexpr int kNmeaFieldSlots = 31;
extern std::array<std::string, kNmeaFieldSlots> NmeaFields;

// Splits one received line (CR LF included) into NmeaFields: 0 decoded, -1
// rejected (no "*" while the TS option is off, a byte outside 0x20-0x7E
// before the "*", or a wrong checksum while checking is on). At most 30 fields; the 30th keeps the rest with its
// commas. With the TS option on the last field ends at the first "*", or
// before the line's trailing CR/LF when there is none. A null host means the
// options at start (TS off, checksum checking on).
int16_t NMEA_Msg_Decoding(const BenchHost* host, std::string_view line);

// XOR of the characters from the second to the last, as two upper-case
// hexadecimal digits ("41" for "$A", "00" for one character).
std::string NMEA_Checksum(std::string_view text);

// Each send routine writes only while the port is open, stopping the console
// refresh around the write, and returns its text either way. A send on a
// closed port leaves one system-log line per closed spell.

// text & "*" & checksum & CR LF; returns it less the CR LF. An empty text
// sends nothing and returns "".
std::string SendNmeaCommand(DeviceState& dev, std::string_view text);

// Hexadecimal text (two digits a byte, either case) sent as a 128-byte block,
// the bytes then zeros. An empty or one-digit text sends nothing. An odd
// number of digits, a pair that is not hexadecimal or more than 256 digits is
// a BenchError and nothing is sent. Returns the text.
std::string SendHexBytes(DeviceState& dev, std::string_view hex);

// The text as it is; returns it.
std::string SendChars(DeviceState& dev, std::string_view text);

// text & CR LF; returns that.
std::string SendMessageLine(DeviceState& dev, std::string_view text);

// The block SendHexBytes writes, without writing it (same errors; empty for
// an empty or one-digit text).
std::string HexCommandBytes(std::string_view hex);

}  // namespace bench
