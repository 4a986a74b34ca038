#include "analysis/analyses/ephemeris.h"

#include <cctype>
#include <cmath>
#include <cstdio>
#include <iterator>
#include <optional>

#include "analysis/core/text_util.h"

namespace navsift {

namespace {

// Where a field lives: a little-endian word of `size` bytes at `offset`,
// and the field's bits within it.
struct FieldPlace {
    EphField field;
    const char* name;
    int offset;
    int size;
    int shift;
    int bits;
};

constexpr FieldPlace kPlaces[] = {
    {EphField::week, "week", 0, 2, 0, 16},
    {EphField::health, "health", 60, 4, 26, 1},
    {EphField::iodc, "iodc", 8, 4, 0, 10},
    {EphField::iode1, "iode1", 6, 1, 0, 8},
    {EphField::iode2, "iode2", 7, 1, 0, 8},
    {EphField::toc, "toc", 4, 2, 0, 16},
    {EphField::af2, "af2", 57, 1, 0, 8},
    {EphField::af1, "af1", 58, 2, 0, 16},
    {EphField::af0, "af0", 60, 4, 0, 22},
    {EphField::crs, "crs", 16, 2, 0, 16},
    {EphField::motion_difference, "motion_difference", 28, 2, 0, 16},
    {EphField::mean_anomaly, "mean_anomaly", 44, 4, 0, 32},
    {EphField::cuc, "cuc", 22, 2, 0, 16},
    {EphField::eccentricity, "eccentricity", 36, 4, 0, 32},
    {EphField::cus, "cus", 20, 2, 0, 16},
    {EphField::root_a, "root_a", 40, 4, 0, 32},
    {EphField::toe, "toe", 2, 2, 0, 16},
    {EphField::cic, "cic", 26, 2, 0, 16},
    {EphField::omega_zero, "omega_zero", 48, 4, 0, 32},
    {EphField::cis, "cis", 24, 2, 0, 16},
    {EphField::inclination, "inclination", 32, 4, 0, 32},
    {EphField::crc, "crc", 18, 2, 0, 16},
    {EphField::perigee, "perigee", 52, 4, 0, 32},
    {EphField::omega_dot, "omega_dot", 12, 4, 0, 24},
    {EphField::i_dot, "i_dot", 8, 4, 10, 14},
    {EphField::subframe1_available, "subframe1_available", 60, 4, 22, 1},
    {EphField::subframe2_available, "subframe2_available", 60, 4, 23, 1},
    {EphField::subframe3_available, "subframe3_available", 60, 4, 24, 1},
    {EphField::available, "available", 60, 4, 25, 1},
    {EphField::predicted, "predicted", 60, 4, 27, 1},
    {EphField::spare3, "spare3", 30, 2, 0, 16},
    {EphField::spare4, "spare4", 60, 4, 28, 4},
    {EphField::agps_age_h, "agps_age_h", 8, 4, 24, 8},
    {EphField::agps_ephems_n, "agps_ephems_n", 12, 4, 24, 2},
    {EphField::agps_t_distance_h, "agps_t_distance_h", 12, 4, 26, 6},
    {EphField::tgd, "tgd", 56, 1, 0, 8},
};

constexpr bool PlacesFollowTheFields()
{
    for (int k = 0; k < static_cast<int>(std::size(kPlaces)); ++k) {
        if (static_cast<int>(kPlaces[k].field) != k) {
            return false;
        }
    }
    return true;
}
static_assert(PlacesFollowTheFields(), "kPlaces is looked up by field number");

const FieldPlace& PlaceOf(EphField field)
{
    return kPlaces[static_cast<int>(field)];
}

uint32_t Mask(int bits)
{
    return bits >= 32 ? 0xFFFFFFFFu : ((1u << bits) - 1u);
}

uint32_t LoadWord(const packed_ephemeris& eph, int offset, int size)
{
    uint32_t v = 0;
    for (int k = size - 1; k >= 0; --k) {
        v = (v << 8) | eph.bytes[offset + k];
    }
    return v;
}

void StoreWord(packed_ephemeris& eph, int offset, int size, uint32_t v)
{
    for (int k = 0; k < size; ++k) {
        eph.bytes[offset + k] = static_cast<uint8_t>(v >> (8 * k));
    }
}

constexpr double kPackPi = 3.141592653589793;

// quantity / scale rounded half away from zero; nothing when it cannot be
// held in 64 bits (a broken field), since converting such a double to an
// integer is undefined.
std::optional<int64_t> Scaled(double quantity, double scale)
{
    const double x = quantity / scale;
    if (!std::isfinite(x) || std::fabs(x) > 9.0e18) {
        return std::nullopt;
    }
    return static_cast<int64_t>(x >= 0 ? std::trunc(x + 0.5) : std::trunc(x - 0.5));
}

std::optional<int64_t> Truncated(double value)
{
    if (!std::isfinite(value) || std::fabs(value) > 9.0e18) {
        return std::nullopt;
    }
    return static_cast<int64_t>(std::trunc(value));
}

}  // namespace

uint32_t ephemeris_field(const packed_ephemeris& eph, EphField field)
{
    const FieldPlace& p = PlaceOf(field);
    return (LoadWord(eph, p.offset, p.size) >> p.shift) & Mask(p.bits);
}

void set_ephemeris_field(packed_ephemeris& eph, EphField field, uint32_t value)
{
    const FieldPlace& p = PlaceOf(field);
    const uint32_t mask = Mask(p.bits) << p.shift;
    const uint32_t word = LoadWord(eph, p.offset, p.size);
    StoreWord(eph, p.offset, p.size, (word & ~mask) | ((value << p.shift) & mask));
}

int ephemeris_field_bits(EphField field)
{
    return PlaceOf(field).bits;
}

bool pack_ephemeris(const rinex_nav_record& r, packed_ephemeris& out)
{
    packed_ephemeris e;
    bool ok = true;
    auto put = [&](EphField f, std::optional<int64_t> v) {
        if (!v) {
            ok = false;
            return;
        }
        // Two's-complement bits of the value, cut to the field's width.
        set_ephemeris_field(e, f, static_cast<uint32_t>(static_cast<uint64_t>(*v)));
    };
    auto scaled = [&](EphField f, double quantity, int power_of_two) {
        put(f, Scaled(quantity, std::ldexp(1.0, power_of_two)));
    };
    auto angle = [&](EphField f, double radians, int power_of_two) {
        put(f, Scaled(radians / kPackPi, std::ldexp(1.0, power_of_two)));
    };
    const auto& o = r.orbit;
    put(EphField::week, Truncated(o[kGpsWeek]));
    scaled(EphField::toe, o[kToe], 4);
    scaled(EphField::toc, o[kToe], 4);
    e.toe_seconds = o[kToe];
    put(EphField::iode1, Truncated(o[kIode]));
    put(EphField::iode2, Truncated(o[kIode]));
    put(EphField::iodc, Truncated(o[kIodc]));
    angle(EphField::i_dot, o[kIdot], -43);
    angle(EphField::omega_dot, o[kOmegaDot], -43);
    scaled(EphField::crs, o[kCrs], -5);
    scaled(EphField::crc, o[kCrc], -5);
    scaled(EphField::cus, o[kCus], -29);
    scaled(EphField::cuc, o[kCuc], -29);
    scaled(EphField::cis, o[kCis], -29);
    scaled(EphField::cic, o[kCic], -29);
    angle(EphField::motion_difference, o[kDeltaN], -43);
    angle(EphField::inclination, o[kI0], -31);
    scaled(EphField::eccentricity, o[kEccentricity], -33);
    scaled(EphField::root_a, o[kSqrtA], -19);
    angle(EphField::mean_anomaly, o[kM0], -31);
    angle(EphField::omega_zero, o[kOmega0], -31);
    angle(EphField::perigee, o[kOmega], -31);
    scaled(EphField::tgd, o[kTgd], -31);
    scaled(EphField::af2, r.af2, -55);
    scaled(EphField::af1, r.af1, -43);
    scaled(EphField::af0, r.af0, -31);
    set_ephemeris_field(e, EphField::subframe1_available, 1);
    set_ephemeris_field(e, EphField::subframe2_available, 1);
    set_ephemeris_field(e, EphField::subframe3_available, 1);
    set_ephemeris_field(e, EphField::available, 1);
    put(EphField::health, Truncated(o[kSvHealth]));
    if (!ok) {
        return false;
    }
    out = e;
    return true;
}

std::string ephemeris_print_text(const packed_ephemeris& eph)
{
    std::string text = "************** QNV Ephem ******************\r\n\r\n";
    for (const FieldPlace& p : kPlaces) {
        if (p.field == EphField::tgd) {
            continue;
        }
        const uint32_t v = ephemeris_field(eph, p.field);
        // Unsigned, so 32-bit fields such as root_a never print negative.
        const bool hex = p.field == EphField::spare3 || p.field == EphField::spare4;
        AppendFormat(text, hex ? "%s = %x\r\n" : "%s = %u\r\n", p.name, v);
    }
    text += "*******************************************\r\n\r\n";
    return text;
}

void ephemeris_print(const packed_ephemeris& eph)
{
    const std::string text = ephemeris_print_text(eph);
    std::fwrite(text.data(), 1, text.size(), stdout);
}

packed_ephemeris ephemeris_from_hex(std::string_view text)
{
    packed_ephemeris eph;
    // Pairs of digits up to the first character that is not one; an odd
    // last digit and digits past the 64th byte are ignored.
    std::size_t k = 0;
    while (k < eph.bytes.size() && 2 * k + 1 < text.size() &&
           std::isxdigit(static_cast<unsigned char>(text[2 * k])) &&
           std::isxdigit(static_cast<unsigned char>(text[2 * k + 1]))) {
        uint32_t byte = 0;
        Scanner(text.substr(2 * k, 2)).Hex(byte, 2);
        eph.bytes[k] = static_cast<uint8_t>(byte);
        ++k;
    }
    return eph;
}

void ephemeris_dump_hex(std::string_view text)
{
    ephemeris_print(ephemeris_from_hex(text));
}

}  // namespace navsift
