#include "platform/core/codepage.h"

#include <array>
#include <cstdint>

namespace platform {

namespace {

// Characters of bytes 80 to 9F; the rest of the page equals Latin-1.
constexpr std::array<char32_t, 32> kHigh = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,
    0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

void AppendUtf8(std::string& out, char32_t c) {
    if (c < 0x80) {
        out.push_back(static_cast<char>(c));
    } else if (c < 0x800) {
        out.push_back(static_cast<char>(0xC0 | (c >> 6)));
        out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    } else {
        out.push_back(static_cast<char>(0xE0 | (c >> 12)));
        out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    }
}

// The byte of a character, or -1 when the page has none.
int ByteOf(char32_t c) {
    if (c < 0x80 || (c >= 0xA0 && c <= 0xFF)) return static_cast<int>(c);
    for (std::size_t i = 0; i < kHigh.size(); ++i)
        if (kHigh[i] == c) return static_cast<int>(0x80 + i);
    return -1;
}

// Decodes one UTF-8 sequence at `pos`; false (and one byte consumed) when
// the bytes there are not a valid, shortest-form scalar value.
bool NextChar(std::string_view s, std::size_t& pos, char32_t& c) {
    const auto b0 = static_cast<unsigned char>(s[pos]);
    std::size_t len;
    char32_t min;
    if (b0 < 0x80) {
        c = b0;
        ++pos;
        return true;
    } else if ((b0 & 0xE0) == 0xC0) {
        len = 2, min = 0x80, c = b0 & 0x1F;
    } else if ((b0 & 0xF0) == 0xE0) {
        len = 3, min = 0x800, c = b0 & 0x0F;
    } else if ((b0 & 0xF8) == 0xF0) {
        len = 4, min = 0x10000, c = b0 & 0x07;
    } else {
        ++pos;
        return false;
    }
    if (s.size() - pos < len) {
        ++pos;
        return false;
    }
    for (std::size_t i = 1; i < len; ++i) {
        const auto b = static_cast<unsigned char>(s[pos + i]);
        if ((b & 0xC0) != 0x80) {
            ++pos;
            return false;
        }
        c = (c << 6) | (b & 0x3F);
    }
    if (c < min || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) {
        ++pos;
        return false;
    }
    pos += len;
    return true;
}

}  // namespace

std::string Cp1252ToUtf8(std::string_view bytes) {
    std::string out;
    out.reserve(bytes.size());
    for (char ch : bytes) {
        const auto b = static_cast<unsigned char>(ch);
        AppendUtf8(out, (b >= 0x80 && b < 0xA0) ? kHigh[b - 0x80] : char32_t{b});
    }
    return out;
}

std::string Utf8ToCp1252(std::string_view utf8, bool* lossless) {
    std::string out;
    out.reserve(utf8.size());
    bool exact = true;
    std::size_t pos = 0;
    while (pos < utf8.size()) {
        char32_t c = 0;
        const int b = NextChar(utf8, pos, c) ? ByteOf(c) : -1;
        if (b < 0) {
            out.push_back('?');
            exact = false;
        } else {
            out.push_back(static_cast<char>(b));
        }
    }
    if (lossless) *lossless = exact;
    return out;
}

}  // namespace platform
