#include "analysis/core/text_util.h"

#include <cctype>
#include <charconv>
#include <cstdio>
#include <cstring>
#include <limits>

#include "analysis/core/byte_stream.h"
#include "platform/core/numtext.h"

namespace navsift {

void Scanner::SkipBlanks()
{
    while (p_ < end_ && (*p_ == ' ' || (*p_ >= '\t' && *p_ <= '\r'))) {
        ++p_;
    }
}

bool Scanner::Int(int32_t& out, int width)
{
    SkipBlanks();
    const char* q = p_;
    const char* limit = (width > 0 && end_ - q > width) ? q + width : end_;
    bool negative = false;
    if (q < limit && (*q == '-' || *q == '+')) {
        negative = *q == '-';
        ++q;
    }
    const char* digits = q;
    int64_t value = 0;
    while (q < limit && *q >= '0' && *q <= '9') {
        if (value < (int64_t{1} << 40)) {
            value = value * 10 + (*q - '0');
        }
        ++q;
    }
    if (q == digits) {
        return false;
    }
    if (negative) {
        value = -value;
    }
    if (value > std::numeric_limits<int32_t>::max()) {
        value = std::numeric_limits<int32_t>::max();
    } else if (value < std::numeric_limits<int32_t>::min()) {
        value = std::numeric_limits<int32_t>::min();
    }
    out = static_cast<int32_t>(value);
    p_ = q;
    return true;
}

bool Scanner::Real(double& out)
{
    SkipBlanks();
    const char* q = p_;
    bool negative = false;
    if (q < end_ && (*q == '-' || *q == '+')) {
        negative = *q == '-';
        ++q;
        if (q < end_ && (*q == '-' || *q == '+')) {
            return false;
        }
    }
    double value = 0;
    auto [next, ec] = std::from_chars(q, end_, value, std::chars_format::general);
    if (ec != std::errc() && ec != std::errc::result_out_of_range) {
        return false;
    }
    out = negative ? -value : value;
    p_ = next;
    return true;
}

bool Scanner::Literal(char c)
{
    if (std::isspace(static_cast<unsigned char>(c))) {
        SkipBlanks();
        return true;
    }
    if (p_ < end_ && *p_ == c) {
        ++p_;
        return true;
    }
    return false;
}

bool Scanner::Hex(uint32_t& out, int width)
{
    SkipBlanks();
    const char* q = p_;
    const char* limit = (width > 0 && end_ - q > width) ? q + width : end_;
    uint32_t value = 0;
    while (q < limit && std::isxdigit(static_cast<unsigned char>(*q))) {
        const char c = *q;
        const uint32_t d = c <= '9' ? c - '0' : (c | 0x20) - 'a' + 10;
        value = value * 16 + d;
        ++q;
    }
    if (q == p_) {
        return false;
    }
    out = value;
    p_ = q;
    return true;
}

int32_t FieldInt(std::string_view field)
{
    int32_t v = 0;
    Scanner(field).Int(v);
    return v;
}

double FieldReal(std::string_view field)
{
    double v = 0;
    Scanner(field).Real(v);
    return v;
}

FixedText Fixed(double value, int precision)
{
    FixedText out;
    auto [end, ec] = std::to_chars(out.text, out.text + sizeof out.text - 1, value, std::chars_format::fixed,
                                   precision);
    if (ec != std::errc()) {
        std::snprintf(out.text, sizeof out.text, "%.*f", precision, value);
    } else {
        *end = '\0';
    }
    return out;
}

static void AppendV(std::string& out, const char* fmt, va_list args)
{
    char buf[512];
    va_list copy;
    va_copy(copy, args);
    const int n = std::vsnprintf(buf, sizeof buf, fmt, copy);
    va_end(copy);
    if (n < 0) {
        return;
    }
    if (static_cast<std::size_t>(n) < sizeof buf) {
        out.append(buf, static_cast<std::size_t>(n));
        return;
    }
    const std::size_t old = out.size();
    out.resize(old + static_cast<std::size_t>(n) + 1);
    std::vsnprintf(out.data() + old, static_cast<std::size_t>(n) + 1, fmt, args);
    out.resize(old + static_cast<std::size_t>(n));
}

std::string Format(const char* fmt, ...)
{
    std::string out;
    va_list args;
    va_start(args, fmt);
    AppendV(out, fmt, args);
    va_end(args);
    return out;
}

void AppendFormat(std::string& out, const char* fmt, ...)
{
    va_list args;
    va_start(args, fmt);
    AppendV(out, fmt, args);
    va_end(args);
}

int64_t read_line(ByteStream& in, std::string& line)
{
    constexpr std::size_t kMaxLine = 2047;
    const int64_t start = in.Tell();
    line.clear();
    const char* p = in.Data() + in.Pos();
    std::size_t avail = in.Size() - in.Pos();
    if (avail > kMaxLine) {
        avail = kMaxLine;
    }
    const void* lf = std::memchr(p, '\n', avail);
    const std::size_t n = lf ? static_cast<std::size_t>(static_cast<const char*>(lf) - p) + 1 : avail;
    line.assign(p, n);
    in.Advance(n);
    return start;
}

int find_substring_index(std::string_view text, std::string_view searched)
{
    const std::size_t at = text.find(searched);
    return at == std::string_view::npos ? -1 : static_cast<int>(at);
}

std::string XmlEscape(std::string_view text)
{
    std::string out;
    out.reserve(text.size());
    for (char c : text) {
        switch (c) {
        case '&': out += "&amp;"; break;
        case '<': out += "&lt;"; break;
        case '>': out += "&gt;"; break;
        case '"': out += "&quot;"; break;
        case '\'': out += "&apos;"; break;
        default:
            // Control characters are not allowed in XML 1.0 text.
            out += (static_cast<unsigned char>(c) < 0x20 && c != '\t' && c != '\n' && c != '\r') ? '?' : c;
        }
    }
    return out;
}

bool EqualsNoCase(std::string_view a, std::string_view b)
{
    return a.size() == b.size() && platform::UpperCase(a) == platform::UpperCase(b);
}

}  // namespace navsift
