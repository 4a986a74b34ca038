#include "platform/core/numtext.h"

#include "platform/core/error.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <limits>

namespace platform {
namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

// Length of the decimal number at the start of s (after optional sign):
// digits, at most one ".", an exponent only when digits follow it.
size_t ScanNumber(std::string_view s, bool& any_digit) {
    size_t i = 0;
    any_digit = false;
    if (i < s.size() && (s[i] == '+' || s[i] == '-')) ++i;
    while (i < s.size() && std::isdigit(static_cast<unsigned char>(s[i]))) { ++i; any_digit = true; }
    if (i < s.size() && s[i] == '.') {
        ++i;
        while (i < s.size() && std::isdigit(static_cast<unsigned char>(s[i]))) { ++i; any_digit = true; }
    }
    if (any_digit && i < s.size() && (s[i] == 'e' || s[i] == 'E')) {
        size_t j = i + 1;
        if (j < s.size() && (s[j] == '+' || s[j] == '-')) ++j;
        size_t k = j;
        while (k < s.size() && std::isdigit(static_cast<unsigned char>(s[k]))) ++k;
        if (k > j) i = k;
    }
    return i;
}

// The common short number (at most 15 significant digits and 22 decimals,
// no exponent) is exact as an integer over an exact power of ten, so one
// division rounds it just as strtod would; false for any other, left to
// the full reading.
bool ParseShort(std::string_view s, double& out) {
    static constexpr double kPow10[23] = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,  1e8,  1e9,  1e10, 1e11,
                                          1e12, 1e13, 1e14, 1e15, 1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};
    size_t i = 0;
    const size_t n = s.size();
    bool neg = false;
    if (i < n && (s[i] == '+' || s[i] == '-')) { neg = s[i] == '-'; ++i; }
    uint64_t m = 0;
    bool any = false;
    int significant = 0;
    int64_t shift = 0;
    bool after_point = false;
    for (; i < n; ++i) {
        const char c = s[i];
        if (c >= '0' && c <= '9') {
            any = true;
            if (m != 0 || c != '0') {
                if (++significant > 15) return false;
                m = m * 10 + static_cast<uint64_t>(c - '0');
            }
            if (after_point) ++shift;
        } else if (c == '.' && !after_point) {
            after_point = true;
        } else {
            break;
        }
    }
    if (i != n || !any) return false;  // an exponent, or no number: the full reading
    if (m == 0) {
        out = neg ? -0.0 : 0.0;
        return true;
    }
    if (shift > 22) return false;
    const double v = static_cast<double>(m) / kPow10[shift];
    out = neg ? -v : v;
    return true;
}

// strtod is locale-dependent; the scanned digits are recomposed as
// "<digits>e<exponent>", which has no decimal mark to misread. The exponent
// is read with saturation: text beyond any double's range must not wrap
// around into an ordinary number. False when the magnitude is beyond the
// largest double (out of range); a value too small for a double reads as 0.
bool ParseC(std::string_view s, double& out) {
    if (ParseShort(s, out)) return true;
    size_t i = 0;
    bool neg = false;
    if (i < s.size() && (s[i] == '+' || s[i] == '-')) { neg = s[i] == '-'; ++i; }
    std::string digits;
    int64_t point_shift = 0;
    bool after_point = false;
    for (; i < s.size(); ++i) {
        const char c = s[i];
        if (std::isdigit(static_cast<unsigned char>(c))) {
            // Leading zeros carry no value; dropping them keeps the text short.
            if (!(digits.empty() && c == '0')) digits.push_back(c);
            if (after_point) ++point_shift;
        } else if (c == '.' && !after_point) {
            after_point = true;
        } else {
            break;
        }
    }
    // Far past any exponent a double can take, whatever the digits: larger
    // exponents saturate here and still read as out of range or as 0.
    constexpr int64_t kExponentCap = 1'000'000'000;
    int64_t exp10 = 0;
    if (i < s.size() && (s[i] == 'e' || s[i] == 'E')) {
        size_t j = i + 1;
        bool exp_neg = false;
        if (j < s.size() && (s[j] == '+' || s[j] == '-')) { exp_neg = s[j] == '-'; ++j; }
        for (; j < s.size() && std::isdigit(static_cast<unsigned char>(s[j])); ++j)
            exp10 = std::min<int64_t>(exp10 * 10 + (s[j] - '0'), kExponentCap);
        if (exp_neg) exp10 = -exp10;
    }
    if (digits.empty()) {
        out = neg ? -0.0 : 0.0;
        return true;
    }
    int64_t e = exp10 - point_shift;
    e = std::clamp<int64_t>(e, -kExponentCap, kExponentCap);
    const std::string canon = digits + 'e' + std::to_string(e);
    const double v = std::strtod(canon.c_str(), nullptr);
    if (std::isinf(v)) return false;
    out = neg ? -v : v;
    return true;
}

[[noreturn]] void OutOfRange() { throw BenchError(err::Overflow, "Overflow"); }

}  // namespace

double ReadLenient(std::string_view text) {
    size_t i = 0;
    while (i < text.size() && IsBlank(text[i])) ++i;
    std::string_view rest = text.substr(i);
    bool any = false;
    size_t n = ScanNumber(rest, any);
    if (!any) return 0.0;
    double v = 0;
    if (!ParseC(rest.substr(0, n), v)) OutOfRange();
    return v;
}

namespace {
enum class Strict { Number, NotANumber, OutOfRange };

Strict ReadStrictAs(std::string_view text, double& out) {
    size_t b = 0, e = text.size();
    while (b < e && IsBlank(text[b])) ++b;
    while (e > b && IsBlank(text[e - 1])) --e;
    std::string_view t = text.substr(b, e - b);
    if (ParseShort(t, out)) return Strict::Number;
    bool any = false;
    size_t n = ScanNumber(t, any);
    if (!any || n != t.size()) return Strict::NotANumber;
    double v = 0;
    if (!ParseC(t, v)) return Strict::OutOfRange;
    out = v;
    return Strict::Number;
}
}  // namespace

bool TryReadStrict(std::string_view text, double& out) { return ReadStrictAs(text, out) == Strict::Number; }

double ReadStrict(std::string_view text) {
    double v = 0;
    switch (ReadStrictAs(text, v)) {
    case Strict::Number: return v;
    case Strict::OutOfRange: OutOfRange();
    case Strict::NotANumber: break;
    }
    throw BenchError(err::TypeMismatch, "Type mismatch");
}

double RoundHalfEven(double x) {
    if (!std::isfinite(x)) return x;
    return std::nearbyint(x);  // default rounding mode is to-nearest-even
}

int16_t RoundToInt16(double x) {
    double r = RoundHalfEven(x);
    if (!(r >= -32768.0 && r <= 32767.0)) throw BenchError(err::Overflow, "Overflow");
    return static_cast<int16_t>(r);
}

int32_t RoundToInt32(double x) {
    double r = RoundHalfEven(x);
    if (!(r >= -2147483648.0 && r <= 2147483647.0)) throw BenchError(err::Overflow, "Overflow");
    return static_cast<int32_t>(r);
}

double RoundDecimals(double x, int decimals) {
    if (!std::isfinite(x)) return x;
    // Go through the 15-significant-digit text so 2.675 (stored as
    // 2.67499999...) rounds as the decimal the user sees.
    double scale = std::pow(10.0, decimals);
    // Past 15 digits there is no fraction left to round (and the text of the
    // largest doubles reads back beyond their range).
    if (!(std::fabs(x * scale) < 1e15)) return x;
    double scaled = ReadLenient(NumberToText(x * scale));
    return RoundHalfEven(scaled) / scale;
}

namespace {
// `x` in `significant` digits at most, laid out as NumberToText does.
std::string DigitsToText(double x, int significant) {
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.*e", significant - 1, x);
    // Split mantissa digits and exponent, then lay out without exponent for
    // ordinary magnitudes.
    std::string s(buf);
    bool neg = s[0] == '-';
    if (neg) s.erase(0, 1);
    size_t epos = s.find('e');
    int exp10 = std::atoi(s.c_str() + epos + 1);
    std::string digits;
    for (size_t i = 0; i < epos; ++i)
        if (std::isdigit(static_cast<unsigned char>(s[i]))) digits.push_back(s[i]);
    while (digits.size() > 1 && digits.back() == '0') digits.pop_back();
    std::string out;
    if (exp10 >= 15 || exp10 < -15) {
        out = digits.substr(0, 1);
        if (digits.size() > 1) out += "." + digits.substr(1);
        char eb[16];
        std::snprintf(eb, sizeof eb, "E%+03d", exp10);
        out += eb;
    } else if (exp10 >= 0) {
        if (static_cast<int>(digits.size()) <= exp10 + 1) {
            out = digits + std::string(exp10 + 1 - digits.size(), '0');
        } else {
            out = digits.substr(0, exp10 + 1) + "." + digits.substr(exp10 + 1);
        }
    } else {
        out = "0." + std::string(-exp10 - 1, '0') + digits;
    }
    return neg ? "-" + out : out;
}
}  // namespace

std::string NumberToText(double x) {
    if (std::isnan(x)) return "NaN";
    if (std::isinf(x)) return x < 0 ? "-Inf" : "Inf";
    if (x == 0) return "0";
    std::string out = DigitsToText(x, 15);
    // Next to the largest double, 15 digits round past it and the text would
    // read back as an overflow: those few take the digits they need.
    if (std::fabs(x) > 1.797693134862e308) {
        double back = 0;
        for (int significant = 16; significant <= 17 && !TryReadStrict(out, back); ++significant)
            out = DigitsToText(x, significant);
    }
    return out;
}

std::string FormatFixed(double x, int decimals) {
    if (!std::isfinite(x)) return NumberToText(x);
    // Build from an integer count of the last decimal so no locale can
    // change the decimal mark.
    char buf[512];
    std::snprintf(buf, sizeof buf, "%.*f", decimals, x);
    std::string s(buf);
    for (char& c : s)
        if (c == ',') c = '.';
    return s;
}

std::string Mid(std::string_view s, long start, long len) {
    if (start < 1) start = 1;
    if (static_cast<size_t>(start) > s.size()) return {};
    size_t from = static_cast<size_t>(start - 1);
    if (len < 0) return std::string(s.substr(from));
    return std::string(s.substr(from, static_cast<size_t>(len)));
}

std::string Left(std::string_view s, long len) {
    if (len <= 0) return {};
    return std::string(s.substr(0, static_cast<size_t>(len)));
}

std::string Right(std::string_view s, long len) {
    if (len <= 0) return {};
    if (static_cast<size_t>(len) >= s.size()) return std::string(s);
    return std::string(s.substr(s.size() - static_cast<size_t>(len)));
}

long InStr(long start, std::string_view s, std::string_view what) {
    if (start < 1) start = 1;
    if (static_cast<size_t>(start) > s.size() + 1) return 0;
    if (what.empty()) return start;
    size_t p = s.find(what, static_cast<size_t>(start - 1));
    return p == std::string_view::npos ? 0 : static_cast<long>(p + 1);
}

long InStrRev(std::string_view s, std::string_view what) {
    if (what.empty()) return static_cast<long>(s.size());
    size_t p = s.rfind(what);
    return p == std::string_view::npos ? 0 : static_cast<long>(p + 1);
}

std::string UpperCase(std::string_view s) {
    std::string r(s);
    for (char& c : r)
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    return r;
}

std::string Trim(std::string_view s) {
    size_t b = 0, e = s.size();
    while (b < e && (s[b] == ' ' || s[b] == '\t')) ++b;
    while (e > b && (s[e - 1] == ' ' || s[e - 1] == '\t')) --e;
    return std::string(s.substr(b, e - b));
}

}  // namespace platform
