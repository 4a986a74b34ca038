#pragma once
// Small text helpers shared by every analysis: a C-like field scanner with the
// exact widths of the log formats, printf-style formatting into std::string,
// the line reader and XML escaping.
#include <cstdarg>
#include <cstdint>
#include <string>
#include <string_view>

namespace navsift {

class ByteStream;

// Reads numbers out of one field the way the log formats were designed to be
// read ("%02d%lf", "%02d%02d%02d.%d"): blanks skipped before a number, an
// optional width counted from the sign, a failed conversion stops the scan
// and leaves the target untouched.
class Scanner {
public:
    explicit Scanner(std::string_view text) : p_(text.data()), end_(text.data() + text.size()) {}
    bool Int(int32_t& out, int width = 0);
    bool Real(double& out);
    bool Literal(char c);
    // Only hexadecimal digits, at most `width`.
    bool Hex(uint32_t& out, int width = 0);

private:
    void SkipBlanks();
    const char* p_;
    const char* end_;
};

// Whole-field conveniences: the value, or 0 when the field does not start
// with one.
int32_t FieldInt(std::string_view field);
double FieldReal(std::string_view field);

// "%.<precision>f" of a value: the digits printf gives, without its cost.
struct FixedText {
    char text[352];  // room for the largest double
    const char* c_str() const { return text; }
};
FixedText Fixed(double value, int precision);

// printf-style into a std::string (C locale, as the program never changes it).
std::string Format(const char* fmt, ...) __attribute__((format(printf, 1, 2)));
void AppendFormat(std::string& out, const char* fmt, ...) __attribute__((format(printf, 2, 3)));

// One line including its line feed, at most 2047 characters; returns the
// position where the line began. An empty result means the end of the stream.
int64_t read_line(ByteStream& in, std::string& line);

// Index of the first occurrence (case-sensitive), -1 when absent; an empty
// searched text is found at 0.
int find_substring_index(std::string_view text, std::string_view searched);

// Text placed inside XML elements: &, <, >, " and ' escaped.
std::string XmlEscape(std::string_view text);

// Comparison that ignores letter case, as file and option names are matched.
bool EqualsNoCase(std::string_view a, std::string_view b);

}  // namespace navsift
