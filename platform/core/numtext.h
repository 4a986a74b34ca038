#pragma once
// Number reading, rounding and number-to-text: the one set of helpers every
// module uses. Always the C locale ("." decimals) whatever the user's locale.
#include <cstdint>
#include <string>
#include <string_view>

namespace platform {

// Lenient reading: leading blanks skipped, the leading decimal number taken
// (sign, digits, one ".", optional exponent), text without one gives 0.
// This is how every NMEA field is read. A number beyond the range of a
// double ("1e400") is BenchError(err::Overflow), never an infinity; one too
// small for a double reads as 0.
double ReadLenient(std::string_view text);

// Strict reading: the whole text (blanks around it allowed) must be a number,
// else BenchError(err::TypeMismatch); beyond the range of a double,
// BenchError(err::Overflow). An empty text is not a number.
double ReadStrict(std::string_view text);

// Tries a strict read; false when the text is not a number or is out of range.
bool TryReadStrict(std::string_view text, double& out);

// Round to the nearest integer, halves to the even neighbour.
double RoundHalfEven(double x);
// The same into 16 or 32 bits; BenchError(err::Overflow) outside the range.
int16_t RoundToInt16(double x);
int32_t RoundToInt32(double x);

// Round to a number of decimals, halves to even, as the results files show
// TTFF values ("%.2f" after rounding).
double RoundDecimals(double x, int decimals);

// Number-to-text: at most 15 significant digits, no trailing zeros, no
// exponent for ordinary magnitudes ("32.623", "-0.5", "300"). These texts end
// up in file names and result lines.
std::string NumberToText(double x);

// Fixed decimals in the C locale ("%.*f").
std::string FormatFixed(double x, int decimals);

// 1-based text positions. Mid(s, start, len) takes len characters from the
// 1-based start (the rest when len < 0); out of range gives "".
std::string Mid(std::string_view s, long start, long len = -1);
std::string Left(std::string_view s, long len);
std::string Right(std::string_view s, long len);
// Position (1-based) of `what` in `s` searching from the 1-based `start`;
// 0 when not found. An empty `what` gives `start` (when start <= len + 1).
long InStr(long start, std::string_view s, std::string_view what);
inline long InStr(std::string_view s, std::string_view what) { return InStr(1, s, what); }
// Position of the last occurrence; 0 when not found.
long InStrRev(std::string_view s, std::string_view what);

std::string UpperCase(std::string_view s);
std::string Trim(std::string_view s);

}  // namespace platform
