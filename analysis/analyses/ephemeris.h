#pragma once
// The receiver's 64-byte packed broadcast ephemeris: packed from a RINEX
// navigation record with the broadcast scale factors, read back field by
// field, printed, and rebuilt from hexadecimal text. The layout is explicit
// (byte offsets and bit positions, little-endian), never a struct overlay.
#include <array>
#include <cstdint>
#include <string>
#include <string_view>

namespace navsift {

// One navigation record of a RINEX 2 GPS file (8 text lines).
struct rinex_nav_record {
    int32_t prn = 0;
    int32_t year = 0, month = 0, day = 0, hour = 0, minute = 0;  // two-digit year
    double second = 0;
    double af0 = 0, af1 = 0, af2 = 0;
    // Lines 2 to 8, four a line, in file order.
    std::array<double, 28> orbit{};
};

// Positions of the orbit values in rinex_nav_record::orbit.
enum OrbitValue : int {
    kIode = 0, kCrs, kDeltaN, kM0,
    kCuc, kEccentricity, kCus, kSqrtA,
    kToe, kCic, kOmega0, kCis,
    kI0, kCrc, kOmega, kOmegaDot,
    kIdot, kL2Codes, kGpsWeek, kL2PFlag,
    kSvAccuracy, kSvHealth, kTgd, kIodc,
    kTransmissionTime, kFitInterval, kSpare1, kSpare2,
};

struct packed_ephemeris {
    std::array<uint8_t, 64> bytes{};
    // The reference time (Toe, seconds of the week) as the navigation file
    // gives it: the 16-second field cannot hold a time such as 343800 s, and
    // rounding it moves the satellite by kilometres. Negative when the bytes
    // are all there is (a dump given in hexadecimal).
    double toe_seconds = -1;
};

// Every field of the packed layout, in the order of the printed dump.
enum class EphField {
    week, health, iodc, iode1, iode2, toc, af2, af1, af0, crs, motion_difference, mean_anomaly, cuc,
    eccentricity, cus, root_a, toe, cic, omega_zero, cis, inclination, crc, perigee, omega_dot, i_dot,
    subframe1_available, subframe2_available, subframe3_available, available, predicted, spare3, spare4,
    agps_age_h, agps_ephems_n, agps_t_distance_h, tgd,
};

// The field's bits as an unsigned number (no sign extension).
uint32_t ephemeris_field(const packed_ephemeris& eph, EphField field);
// Stores the low bits of `value` that the field holds; the rest of the
// word is left alone.
void set_ephemeris_field(packed_ephemeris& eph, EphField field, uint32_t value);
// The field's width in bits.
int ephemeris_field_bits(EphField field);

// Packs with the broadcast scale factors. False (and nothing usable) when a
// value is not finite or too large to scale: a broken record must not reach
// the orbit code.
bool pack_ephemeris(const rinex_nav_record& record, packed_ephemeris& out);

// The "-qnveph" dump of one ephemeris on standard output.
std::string ephemeris_print_text(const packed_ephemeris& eph);
void ephemeris_print(const packed_ephemeris& eph);
// Bytes from up to 128 hexadecimal digits; missing bytes are 0. Printed.
packed_ephemeris ephemeris_from_hex(std::string_view text);
void ephemeris_dump_hex(std::string_view text);

}  // namespace navsift
