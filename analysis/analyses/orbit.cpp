#include "analysis/analyses/orbit.h"

#include <algorithm>
#include <cmath>

namespace navsift {

namespace {

constexpr double kSqrtMu = 19964981.84322;         // sqrt(m^3/s^2)
constexpr double kMu = kSqrtMu * kSqrtMu;
constexpr double kEarthRate = 7.2921151467e-05;   // rad/s
constexpr double kRelativityF = -4.442807633e-10;  // s/sqrt(m)
constexpr double kUnpackPi = 3.1415926535898;
constexpr double kDegToRad = 0.017453292519943334;
constexpr double kRadToDeg = 1.0 / kDegToRad;
constexpr double kA2 = 40680631590769.0;           // semi-major axis squared, m^2
constexpr double kOneMinusE2 = 0.9933056200098735;
constexpr double kHalfWeek = 302400.0;
constexpr double kWeek = 604800.0;
constexpr int kKeplerRounds = 30;

double SignExtend(uint32_t bits, int width)
{
    if (width >= 32) {
        return static_cast<double>(static_cast<int32_t>(bits));
    }
    const uint32_t sign = 1u << (width - 1);
    return static_cast<double>(static_cast<int64_t>(bits ^ sign) - static_cast<int64_t>(sign));
}

double Signed(const packed_ephemeris& p, EphField f)
{
    return SignExtend(ephemeris_field(p, f), ephemeris_field_bits(f));
}

double Unsigned(const packed_ephemeris& p, EphField f)
{
    return static_cast<double>(ephemeris_field(p, f));
}

double FoldHalfWeek(double dt)
{
    while (dt > kHalfWeek) {
        dt -= kWeek;
    }
    while (dt < -kHalfWeek) {
        dt += kWeek;
    }
    return dt;
}

bool Finite(const Ephemeris& e)
{
    const double all[] = {e.toc, e.toe, e.week, e.tgd, e.af0, e.af1, e.af2, e.crs, e.crc, e.cis, e.cus, e.cuc,
                          e.cic, e.delta_n, e.m0, e.e, e.sqrt_a, e.omega0, e.i0, e.omega, e.omega_dot, e.idot};
    return std::all_of(std::begin(all), std::end(all), [](double v) { return std::isfinite(v); });
}

bool Within(const Vec3& v, double bound)
{
    return std::fabs(v.x) <= bound && std::fabs(v.y) <= bound && std::fabs(v.z) <= bound;
}

}  // namespace

ReceiverEcef geodetic_to_ecef(const ReceiverPosition& receiver)
{
    ReceiverEcef out;
    out.latitude = receiver.latitude * kDegToRad;
    out.longitude = receiver.longitude * kDegToRad;
    const double sin_lat = std::sin(out.latitude), cos_lat = std::cos(out.latitude);
    const double a = std::sqrt(kA2);
    const double e2 = 1.0 - kOneMinusE2;
    const double n = a / std::sqrt(1.0 - e2 * sin_lat * sin_lat);
    out.position.x = (n + receiver.height) * cos_lat * std::cos(out.longitude);
    out.position.y = (n + receiver.height) * cos_lat * std::sin(out.longitude);
    out.position.z = (n * kOneMinusE2 + receiver.height) * sin_lat;
    const double so = std::sin(out.longitude), co = std::cos(out.longitude);
    out.up = {cos_lat * co, cos_lat * so, sin_lat};
    out.east = {-so, co, 0.0};
    out.north = {-sin_lat * co, -sin_lat * so, cos_lat};
    return out;
}

int unpack_ephemeris(const packed_ephemeris& p, Ephemeris& e)
{
    const double pi = kUnpackPi;
    e.week = Unsigned(p, EphField::week);
    e.toe = Unsigned(p, EphField::toe) * 16.0;
    e.toc = Unsigned(p, EphField::toc) * 16.0;
    if (p.toe_seconds >= 0) {
        e.toe = e.toc = p.toe_seconds;  // the file's own time, not its 16-second rounding
    }
    e.tgd = Signed(p, EphField::tgd) * std::ldexp(1.0, -31);
    e.af0 = Signed(p, EphField::af0) * std::ldexp(1.0, -31);
    e.af1 = Signed(p, EphField::af1) * std::ldexp(1.0, -43);
    e.af2 = Signed(p, EphField::af2) * std::ldexp(1.0, -55);
    e.crs = Signed(p, EphField::crs) * std::ldexp(1.0, -5);
    e.crc = Signed(p, EphField::crc) * std::ldexp(1.0, -5);
    e.cis = Signed(p, EphField::cis) * std::ldexp(1.0, -29);
    e.cus = Signed(p, EphField::cus) * std::ldexp(1.0, -29);
    e.cuc = Signed(p, EphField::cuc) * std::ldexp(1.0, -29);
    e.cic = Signed(p, EphField::cic) * std::ldexp(1.0, -29);
    e.delta_n = Signed(p, EphField::motion_difference) * std::ldexp(1.0, -43) * pi;
    e.m0 = Unsigned(p, EphField::mean_anomaly) * std::ldexp(1.0, -31) * pi;
    e.e = Unsigned(p, EphField::eccentricity) * std::ldexp(1.0, -33);
    e.sqrt_a = Unsigned(p, EphField::root_a) * std::ldexp(1.0, -19);
    e.omega0 = Signed(p, EphField::omega_zero) * std::ldexp(1.0, -31) * pi;
    e.i0 = Signed(p, EphField::inclination) * std::ldexp(1.0, -31) * pi;
    e.omega = Signed(p, EphField::perigee) * std::ldexp(1.0, -31) * pi;
    e.omega_dot = Signed(p, EphField::omega_dot) * std::ldexp(1.0, -43) * pi;
    e.idot = Signed(p, EphField::i_dot) * std::ldexp(1.0, -43) * pi;
    if (e.week < 1350 || e.week > 2999) {
        return 1;
    }
    // Toe 0 is the regular Sunday-midnight ephemeris.
    if (e.toe < 0 || e.toe >= kWeek) {
        return 1;
    }
    return 0;
}

int orbit_state(const Ephemeris& eph, const GpsTime& t, Vec3& position, Vec3* velocity, Vec3* acceleration,
                double& sin_e)
{
    // A zeroed or half-read record would make the Kepler loop spin for ever
    // or the state meaningless.
    if (!Finite(eph) || !std::isfinite(t.tow) || eph.sqrt_a < 1000.0 || eph.e < 0.0 || eph.e >= 1.0) {
        return 1;
    }
    const double a = eph.sqrt_a * eph.sqrt_a;
    const double n = kSqrtMu / (a * eph.sqrt_a) + eph.delta_n;
    // Folded, since the week of some records is that of transmission.
    const double tk = FoldHalfWeek((static_cast<double>(t.week) - eph.week) * kWeek + (t.tow - eph.toe));
    const double m = eph.m0 + n * tk;
    // Newton's method: a few rounds reach full precision for any real
    // orbit; a bound keeps a broken record from spinning.
    double big_e = m;
    bool settled = false;
    for (int round = 0; round < kKeplerRounds; ++round) {
        const double step = (big_e - eph.e * std::sin(big_e) - m) / (1.0 - eph.e * std::cos(big_e));
        big_e -= step;
        if (std::fabs(step) <= 1e-13) {
            settled = true;
            break;
        }
    }
    if (!settled || !std::isfinite(big_e)) {
        return 1;
    }
    sin_e = std::sin(big_e);
    const double cos_e = std::cos(big_e);
    const double root_1_e2 = std::sqrt(1.0 - eph.e * eph.e);
    const double nu = std::atan2(root_1_e2 * sin_e, cos_e - eph.e);
    const double phi = nu + eph.omega;
    const double s2 = std::sin(2 * phi), c2 = std::cos(2 * phi);
    const double u = phi + eph.cus * s2 + eph.cuc * c2;
    const double r = a * (1.0 - eph.e * cos_e) + eph.crs * s2 + eph.crc * c2;
    const double i = eph.i0 + eph.cis * s2 + eph.cic * c2 + eph.idot * tk;
    const double omega_k = eph.omega0 + (eph.omega_dot - kEarthRate) * tk - kEarthRate * eph.toe;
    const double cos_u = std::cos(u), sin_u = std::sin(u);
    const double xp = r * cos_u, yp = r * sin_u;
    const double cos_o = std::cos(omega_k), sin_o = std::sin(omega_k);
    const double cos_i = std::cos(i), sin_i = std::sin(i);
    position.x = xp * cos_o - yp * cos_i * sin_o;
    position.y = xp * sin_o + yp * cos_i * cos_o;
    position.z = yp * sin_i;
    if (!Within(position, 30000000.0)) {
        return 1;
    }
    if (velocity == nullptr) {
        return 0;
    }
    const double one_minus = 1.0 - eph.e * cos_e;
    const double e_dot = n / one_minus;
    const double nu_dot = e_dot * root_1_e2 / one_minus;
    const double u_dot = nu_dot + 2 * nu_dot * (eph.cus * c2 - eph.cuc * s2);
    const double r_dot = a * eph.e * e_dot * sin_e + 2 * nu_dot * (eph.crs * c2 - eph.crc * s2);
    const double i_dot = eph.idot + 2 * nu_dot * (eph.cis * c2 - eph.cic * s2);
    const double xp_dot = r_dot * cos_u - r * u_dot * sin_u;
    const double yp_dot = r_dot * sin_u + r * u_dot * cos_u;
    const double omega_k_dot = eph.omega_dot - kEarthRate;
    Vec3& v = *velocity;
    v.x = xp_dot * cos_o - yp_dot * cos_i * sin_o + yp * sin_i * sin_o * i_dot - position.y * omega_k_dot;
    v.y = xp_dot * sin_o + yp_dot * cos_i * cos_o - yp * sin_i * cos_o * i_dot + position.x * omega_k_dot;
    v.z = yp_dot * sin_i + yp * cos_i * i_dot;
    if (!Within(v, 6000.0)) {
        return 1;
    }
    if (acceleration != nullptr) {
        // Two-body gravity seen from the rotating Earth: Coriolis and
        // centrifugal terms added.
        const double r2 = position.x * position.x + position.y * position.y + position.z * position.z;
        const double r3 = r2 * std::sqrt(r2);
        const double w = kEarthRate;
        acceleration->x = -kMu * position.x / r3 + 2 * w * v.y + w * w * position.x;
        acceleration->y = -kMu * position.y / r3 - 2 * w * v.x + w * w * position.y;
        acceleration->z = -kMu * position.z / r3;
    }
    return 0;
}

double sat_clock_correction(const Ephemeris& eph, double tow, double sin_e)
{
    const double dt = FoldHalfWeek(tow - eph.toc);
    return eph.af0 + eph.af1 * dt + eph.af2 * dt * dt + kRelativityF * eph.e * eph.sqrt_a * sin_e - eph.tgd;
}

int look_angles(const ReceiverEcef& receiver, SatState& state)
{
    const Vec3& up = receiver.up;
    const Vec3& east = receiver.east;
    const Vec3& north = receiver.north;
    Vec3 d{state.position.x - receiver.position.x, state.position.y - receiver.position.y,
           state.position.z - receiver.position.z};
    state.range = std::max(std::sqrt(d.x * d.x + d.y * d.y + d.z * d.z), 1e-5);
    d = {d.x / state.range, d.y / state.range, d.z / state.range};
    const double along_up = std::clamp(d.x * up.x + d.y * up.y + d.z * up.z, -1.0, 1.0);
    state.elevation_deg = std::asin(along_up) * kRadToDeg;
    state.elevation = static_cast<int16_t>(std::trunc(state.elevation_deg * 100.0));
    state.azimuth_deg =
        std::atan2(d.x * east.x + d.y * east.y + d.z * east.z, d.x * north.x + d.y * north.y + d.z * north.z) *
        kRadToDeg;
    int az = static_cast<int>(std::trunc(state.azimuth_deg));
    if (az < 0) {
        az += 360;
    }
    state.azimuth = static_cast<int16_t>(az);
    return 0;
}

int sat_track_state(const ReceiverEcef& receiver, const GpsTime& t, const packed_ephemeris& packed, SatState& state)
{
    Ephemeris eph;
    if (unpack_ephemeris(packed, eph) != 0) {
        return 1;
    }
    double sin_e = 0;
    if (orbit_state(eph, t, state.position, &state.velocity, &state.acceleration, sin_e) != 0) {
        return 1;
    }
    if (!Within(state.acceleration, 10.0)) {
        return 1;
    }
    state.tow = t.tow;
    state.clock_correction = sat_clock_correction(eph, t.tow, sin_e);
    return look_angles(receiver, state);
}

int sat_track_state(const ReceiverPosition& receiver, const GpsTime& t, const packed_ephemeris& packed,
                    SatState& state)
{
    // A broken position (from a garbled log line) makes no angles.
    if (!std::isfinite(receiver.latitude) || !std::isfinite(receiver.longitude) || !std::isfinite(receiver.height)) {
        return 1;
    }
    return sat_track_state(geodetic_to_ecef(receiver), t, packed, state);
}

}  // namespace navsift
