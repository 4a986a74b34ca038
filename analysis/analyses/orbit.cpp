#include "analysis/analyses/orbit.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>

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

// Into -302400..302400 s by whole weeks; at once, however far off.
double FoldHalfWeek(double dt)
{
    if (dt > kHalfWeek) {
        dt -= kWeek * std::ceil((dt - kHalfWeek) / kWeek);
    } else if (dt < -kHalfWeek) {
        dt += kWeek * std::ceil((-kHalfWeek - dt) / kWeek);
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

OrbitElements prepare_orbit(const Ephemeris& eph)
{
    OrbitElements o;
    o.eph = eph;
    // A zeroed or half-read record would make the Kepler loop spin for ever
    // or the state meaningless.
    o.usable = Finite(eph) && eph.sqrt_a >= 1000.0 && eph.e >= 0.0 && eph.e < 1.0;
    if (!o.usable) {
        return o;
    }
    o.a = eph.sqrt_a * eph.sqrt_a;
    o.n = kSqrtMu / (o.a * eph.sqrt_a) + eph.delta_n;
    o.root_1_e2 = std::sqrt(1.0 - eph.e * eph.e);
    o.sin_omega = std::sin(eph.omega);
    o.cos_omega = std::cos(eph.omega);
    o.node_at_toe = eph.omega0 - kEarthRate * eph.toe;
    o.node_rate = eph.omega_dot - kEarthRate;
    return o;
}

OrbitElements prepare_orbit(const packed_ephemeris& packed)
{
    Ephemeris eph;
    if (unpack_ephemeris(packed, eph) != 0) {
        OrbitElements refused;
        refused.eph = eph;
        return refused;
    }
    return prepare_orbit(eph);
}

namespace {

// The satellites of an epoch go through the orbit side by side, a block of
// lanes at a time, so that the compiler can give each operation to every
// lane at once: the sines, cosines and arc tangents are therefore this
// file's own, written without branches (a library call would stop that),
// to the last bits of a double over the angles an orbit meets.
constexpr int kLanes = 8;

// Pi/2 in two parts: the first with its low bits zero, so that n times it is
// exact for every n this code meets, the second the rest.
constexpr long double kPiHalfExact = 1.5707963267948966192313216916397514L;
constexpr double kPiHalfHi = std::bit_cast<double>(std::bit_cast<uint64_t>(1.5707963267948966) & ~uint64_t{0xFFFFF});
constexpr double kPiHalfLo = static_cast<double>(kPiHalfExact - static_cast<long double>(kPiHalfHi));
constexpr double kTwoOverPi = 0.63661977236758134308;
constexpr double kPi = 3.14159265358979323846;
// Adding it rounds a double below 2^51 to a whole number, which then stands
// in the low bits of the sum.
constexpr double kRoundingShift = 6755399441055744.0;  // 1.5 * 2^52

// 1 / k!, for the series.
constexpr double InverseFactorial(int k)
{
    double f = 1;
    for (int i = 2; i <= k; ++i) {
        f *= i;
    }
    return 1.0 / f;
}

[[gnu::always_inline]] inline void SinCos(double x, double& sin_x, double& cos_x)
{
    const double shifted = x * kTwoOverPi + kRoundingShift;
    const double n = shifted - kRoundingShift;
    uint64_t quadrant = 0;
    std::memcpy(&quadrant, &shifted, sizeof quadrant);
    // |r| <= pi/4, where the series below reach full precision.
    const double r = (x - n * kPiHalfHi) - n * kPiHalfLo;
    const double z = r * r;
    const double s =
        r + r * z *
                (-InverseFactorial(3) +
                 z * (InverseFactorial(5) +
                      z * (-InverseFactorial(7) +
                           z * (InverseFactorial(9) +
                                z * (-InverseFactorial(11) +
                                     z * (InverseFactorial(13) +
                                          z * (-InverseFactorial(15) + z * InverseFactorial(17))))))));
    const double c =
        1.0 + z * (-InverseFactorial(2) +
                   z * (InverseFactorial(4) +
                        z * (-InverseFactorial(6) +
                             z * (InverseFactorial(8) +
                                  z * (-InverseFactorial(10) +
                                       z * (InverseFactorial(12) +
                                            z * (-InverseFactorial(14) + z * InverseFactorial(16))))))));
    const bool swap = (quadrant & 1) != 0;
    const double a = swap ? c : s;
    const double b = swap ? s : c;
    sin_x = (quadrant & 2) != 0 ? -a : a;
    cos_x = ((quadrant + 1) & 2) != 0 ? -b : b;
}

[[gnu::always_inline]] inline double Atan2(double y, double x)
{
    const double ax = std::fabs(x), ay = std::fabs(y);
    const double big = ax > ay ? ax : ay;
    const double small = ax > ay ? ay : ax;
    const double t = small / (big > 0 ? big : 1.0);  // both 0: 0
    // From t in 0..1 to within tan(pi/16) of 0, by the arc tangents of
    // tan(pi/8) and of 1.
    const double step = t > 0.66817863791929891 ? 2.0 : t > 0.19891236737965800 ? 1.0 : 0.0;
    const double base = step == 2.0 ? 1.0 : step == 1.0 ? 0.41421356237309504880 : 0.0;
    const double u = (t - base) / (1.0 + t * base);
    const double z = u * u;
    // atan(u) = u (1 - z/3 + z^2/5 - ...), to the term that no longer counts.
    const double series =
        1.0 + z * (-1.0 / 3 +
                   z * (1.0 / 5 +
                        z * (-1.0 / 7 +
                             z * (1.0 / 9 +
                                  z * (-1.0 / 11 +
                                       z * (1.0 / 13 +
                                            z * (-1.0 / 15 +
                                                 z * (1.0 / 17 + z * (-1.0 / 19 + z * (1.0 / 21 - z / 23))))))))));
    double angle = step * (kPi / 8) + u * series;
    angle = ay > ax ? kPi / 2 - angle : angle;
    angle = x < 0 ? kPi - angle : angle;
    return y < 0 ? -angle : angle;
}

struct Receiver {
    double x, y, z;
    Vec3 east, north, up;
};

// Range, elevation and azimuth (degrees, unrounded) of a satellite at
// (x, y, z), with "up" the ellipsoid normal at the receiver.
[[gnu::always_inline]] inline void LookAngles(const Receiver& rcv, double x, double y, double z, double& range,
                                              double& elevation, double& azimuth)
{
    const double dx = x - rcv.x, dy = y - rcv.y, dz = z - rcv.z;
    const double along_east = dx * rcv.east.x + dy * rcv.east.y + dz * rcv.east.z;
    const double along_north = dx * rcv.north.x + dy * rcv.north.y + dz * rcv.north.z;
    const double along_up = dx * rcv.up.x + dy * rcv.up.y + dz * rcv.up.z;
    const double length = std::sqrt(dx * dx + dy * dy + dz * dz);
    range = length > 1e-5 ? length : 1e-5;
    elevation = Atan2(along_up, std::sqrt(along_east * along_east + along_north * along_north)) * kRadToDeg;
    azimuth = Atan2(along_east, along_north) * kRadToDeg;
}

// One block of satellites at one time: what goes in, per lane, and what
// comes out.
struct Block {
    double e[kLanes], m[kLanes], a[kLanes], n[kLanes], root_1_e2[kLanes], sin_omega[kLanes], cos_omega[kLanes];
    double cus[kLanes], cuc[kLanes], crs[kLanes], crc[kLanes], cis[kLanes], cic[kLanes];
    double i0[kLanes], idot[kLanes], tk[kLanes], node_at_toe[kLanes], node_rate[kLanes];
    double px[kLanes], py[kLanes], pz[kLanes], vx[kLanes], vy[kLanes], vz[kLanes], ax[kLanes], ay[kLanes],
        az[kLanes];
    double sin_e[kLanes], range[kLanes], elevation[kLanes], azimuth[kLanes];
    double settled[kLanes];  // 1 when Kepler's equation was solved
};

// Every lane of `b` at once; compiled once for each kind of vector unit
// below.
[[gnu::always_inline]] inline void OrbitLanes(Block& b, Receiver rcv)
{
    // Newton's method: a few rounds reach full precision for any real
    // orbit; a bound keeps a broken record from spinning.
    double big_e[kLanes];
    for (int k = 0; k < kLanes; ++k) {
        big_e[k] = b.m[k];
        b.settled[k] = 0;
    }
    for (int round = 0; round < kKeplerRounds; ++round) {
        for (int k = 0; k < kLanes; ++k) {
            double s, c;
            SinCos(big_e[k], s, c);
            const double step = (big_e[k] - b.e[k] * s - b.m[k]) / (1.0 - b.e[k] * c);
            big_e[k] -= step;
            b.settled[k] = b.settled[k] != 0 || std::fabs(step) <= 1e-13 ? 1.0 : 0.0;
        }
        bool all = true;
        for (int k = 0; k < kLanes; ++k) {
            all = all && b.settled[k] != 0;
        }
        if (all) {
            break;
        }
    }
    for (int k = 0; k < kLanes; ++k) {
        double sin_e, cos_e;
        SinCos(big_e[k], sin_e, cos_e);
        b.sin_e[k] = sin_e;
        const double e = b.e[k], tk = b.tk[k];
        // The true anomaly's sine and cosine straight from the eccentric
        // anomaly's, then turned on by the argument of perigee.
        const double one_minus = 1.0 - e * cos_e;
        const double sin_nu = b.root_1_e2[k] * sin_e / one_minus;
        const double cos_nu = (cos_e - e) / one_minus;
        const double sin_phi = sin_nu * b.cos_omega[k] + cos_nu * b.sin_omega[k];
        const double cos_phi = cos_nu * b.cos_omega[k] - sin_nu * b.sin_omega[k];
        const double s2 = 2.0 * sin_phi * cos_phi, c2 = (cos_phi - sin_phi) * (cos_phi + sin_phi);
        double sin_du, cos_du;
        SinCos(b.cus[k] * s2 + b.cuc[k] * c2, sin_du, cos_du);
        const double sin_u = sin_phi * cos_du + cos_phi * sin_du;
        const double cos_u = cos_phi * cos_du - sin_phi * sin_du;
        const double r = b.a[k] * one_minus + b.crs[k] * s2 + b.crc[k] * c2;
        double sin_i, cos_i, sin_o, cos_o;
        SinCos(b.i0[k] + b.cis[k] * s2 + b.cic[k] * c2 + b.idot[k] * tk, sin_i, cos_i);
        SinCos(b.node_at_toe[k] + b.node_rate[k] * tk, sin_o, cos_o);
        const double xp = r * cos_u, yp = r * sin_u;
        const double x = xp * cos_o - yp * cos_i * sin_o;
        const double y = xp * sin_o + yp * cos_i * cos_o;
        const double z = yp * sin_i;
        b.px[k] = x;
        b.py[k] = y;
        b.pz[k] = z;
        // The time derivatives of the above.
        const double e_dot = b.n[k] / one_minus;
        const double nu_dot = e_dot * b.root_1_e2[k] / one_minus;
        const double u_dot = nu_dot + 2 * nu_dot * (b.cus[k] * c2 - b.cuc[k] * s2);
        const double r_dot = b.a[k] * e * e_dot * sin_e + 2 * nu_dot * (b.crs[k] * c2 - b.crc[k] * s2);
        const double i_dot = b.idot[k] + 2 * nu_dot * (b.cis[k] * c2 - b.cic[k] * s2);
        const double xp_dot = r_dot * cos_u - r * u_dot * sin_u;
        const double yp_dot = r_dot * sin_u + r * u_dot * cos_u;
        const double node_dot = b.node_rate[k];
        const double vx = xp_dot * cos_o - yp_dot * cos_i * sin_o + yp * sin_i * sin_o * i_dot - y * node_dot;
        const double vy = xp_dot * sin_o + yp_dot * cos_i * cos_o - yp * sin_i * cos_o * i_dot + x * node_dot;
        const double vz = yp_dot * sin_i + yp * cos_i * i_dot;
        b.vx[k] = vx;
        b.vy[k] = vy;
        b.vz[k] = vz;
        // Two-body gravity seen from the rotating Earth: Coriolis and
        // centrifugal terms added. The rotations keep the radius r.
        const double r3 = std::fabs(r) * r * r;
        const double w = kEarthRate;
        b.ax[k] = -kMu * x / r3 + 2 * w * vy + w * w * x;
        b.ay[k] = -kMu * y / r3 - 2 * w * vx + w * w * y;
        b.az[k] = -kMu * z / r3;
        LookAngles(rcv, x, y, z, b.range[k], b.elevation[k], b.azimuth[k]);
    }
}

void OrbitBlockPlain(Block& b, Receiver rcv) { OrbitLanes(b, rcv); }
__attribute__((target("avx2,fma"))) void OrbitBlockAvx2(Block& b, Receiver rcv) { OrbitLanes(b, rcv); }
__attribute__((target("avx512f,avx512dq,avx2,fma"))) void OrbitBlockAvx512(Block& b, Receiver rcv)
{
    OrbitLanes(b, rcv);
}

// The widest the processor has, chosen at the first call (not by the
// loader: its choice runs before a sanitizer's runtime is ready).
void OrbitBlock(Block& b, Receiver rcv)
{
    using Lanes = void (*)(Block&, Receiver);
    static const Lanes chosen = [] {
        __builtin_cpu_init();
        if (__builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512dq")) {
            return &OrbitBlockAvx512;
        }
        if (__builtin_cpu_supports("avx2") && __builtin_cpu_supports("fma")) {
            return &OrbitBlockAvx2;
        }
        return &OrbitBlockPlain;
    }();
    chosen(b, rcv);
}

// What a lane answers.
struct LaneState {
    bool orbit = false;     // Kepler solved and the position within its bounds
    bool velocity = false;  // within its bounds
    bool acceleration = false;
};

// The satellites of `orbits` (any count) at `t`, a block at a time: `take`
// gets each with its lane's answer and, where that holds an orbit, the block
// and lane that hold its state. Those without a usable orbit take no lane;
// a block's lanes left over go through it on a harmless orbit.
template <typename Take>
void ForEachState(const Receiver& rcv, const GpsTime& t, const OrbitElements* const* orbits, int count, Take take)
{
    static const OrbitElements kIdle = [] {
        Ephemeris idle;
        idle.sqrt_a = 5153.7;
        idle.week = 1500;
        return prepare_orbit(idle);
    }();
    Block b;
    int at = 0;
    while (at < count) {
        int index[kLanes];
        int used = 0;
        for (; at < count && used < kLanes; ++at) {
            const OrbitElements* given = orbits[at];
            if (given != nullptr && given->usable && std::isfinite(t.tow)) {
                index[used++] = at;
            } else {
                take(at, LaneState{}, b, 0);
            }
        }
        if (used == 0) {
            break;
        }
        for (int k = 0; k < kLanes; ++k) {
            const OrbitElements& o = k < used ? *orbits[index[k]] : kIdle;
            const Ephemeris& eph = o.eph;
            // Folded, since the week of some records is that of transmission.
            const double tk =
                k < used ? FoldHalfWeek((static_cast<double>(t.week) - eph.week) * kWeek + (t.tow - eph.toe)) : 0;
            b.e[k] = eph.e;
            b.m[k] = eph.m0 + o.n * tk;
            b.a[k] = o.a;
            b.n[k] = o.n;
            b.root_1_e2[k] = o.root_1_e2;
            b.sin_omega[k] = o.sin_omega;
            b.cos_omega[k] = o.cos_omega;
            b.cus[k] = eph.cus;
            b.cuc[k] = eph.cuc;
            b.crs[k] = eph.crs;
            b.crc[k] = eph.crc;
            b.cis[k] = eph.cis;
            b.cic[k] = eph.cic;
            b.i0[k] = eph.i0;
            b.idot[k] = eph.idot;
            b.tk[k] = tk;
            b.node_at_toe[k] = o.node_at_toe;
            b.node_rate[k] = o.node_rate;
        }
        OrbitBlock(b, rcv);
        for (int k = 0; k < used; ++k) {
            LaneState lane;
            const Vec3 p{b.px[k], b.py[k], b.pz[k]}, v{b.vx[k], b.vy[k], b.vz[k]}, a{b.ax[k], b.ay[k], b.az[k]};
            lane.orbit = b.settled[k] != 0 && std::isfinite(b.sin_e[k]) && Within(p, 30000000.0);
            lane.velocity = Within(v, 6000.0);
            lane.acceleration = Within(a, 10.0);
            take(index[k], lane, b, k);
        }
    }
}

Receiver ReceiverOf(const ReceiverEcef& r)
{
    return {r.position.x, r.position.y, r.position.z, r.east, r.north, r.up};
}

// The whole-degree and 0.01-degree counts of the unrounded angles.
void CountAngles(SatState& state)
{
    state.elevation = static_cast<int16_t>(std::trunc(state.elevation_deg * 100.0));
    int az = static_cast<int>(std::trunc(state.azimuth_deg));
    if (az < 0) {
        az += 360;
    }
    state.azimuth = static_cast<int16_t>(az);
}

}  // namespace

int orbit_state(const OrbitElements& orbit, const GpsTime& t, Vec3& position, Vec3* velocity, Vec3* acceleration,
                double& sin_e)
{
    const OrbitElements* one = &orbit;
    int result = 1;
    ForEachState(Receiver{}, t, &one, 1, [&](int, const LaneState& lane, const Block& b, int k) {
        if (!lane.orbit) {
            return;
        }
        position = {b.px[k], b.py[k], b.pz[k]};
        sin_e = b.sin_e[k];
        if (velocity != nullptr) {
            if (!lane.velocity) {
                return;
            }
            *velocity = {b.vx[k], b.vy[k], b.vz[k]};
            if (acceleration != nullptr) {
                *acceleration = {b.ax[k], b.ay[k], b.az[k]};
            }
        }
        result = 0;
    });
    return result;
}

int orbit_state(const Ephemeris& eph, const GpsTime& t, Vec3& position, Vec3* velocity, Vec3* acceleration,
                double& sin_e)
{
    return orbit_state(prepare_orbit(eph), t, position, velocity, acceleration, sin_e);
}

double sat_clock_correction(const Ephemeris& eph, double tow, double sin_e)
{
    const double dt = FoldHalfWeek(tow - eph.toc);
    return eph.af0 + eph.af1 * dt + eph.af2 * dt * dt + kRelativityF * eph.e * eph.sqrt_a * sin_e - eph.tgd;
}

int look_angles(const ReceiverEcef& receiver, SatState& state)
{
    LookAngles(ReceiverOf(receiver), state.position.x, state.position.y, state.position.z, state.range,
               state.elevation_deg, state.azimuth_deg);
    CountAngles(state);
    return 0;
}

void sat_track_states(const ReceiverEcef& receiver, const GpsTime& t, const OrbitElements* const* orbits, int count,
                      SatState* states, uint8_t* status)
{
    ForEachState(ReceiverOf(receiver), t, orbits, count,
                 [&](int i, const LaneState& lane, const Block& b, int k) {
                     status[i] = 1;
                     if (!lane.orbit || !lane.velocity || !lane.acceleration) {
                         return;
                     }
                     SatState& s = states[i];
                     s.position = {b.px[k], b.py[k], b.pz[k]};
                     s.velocity = {b.vx[k], b.vy[k], b.vz[k]};
                     s.acceleration = {b.ax[k], b.ay[k], b.az[k]};
                     s.tow = t.tow;
                     s.clock_correction = sat_clock_correction(orbits[i]->eph, t.tow, b.sin_e[k]);
                     s.range = b.range[k];
                     s.elevation_deg = b.elevation[k];
                     s.azimuth_deg = b.azimuth[k];
                     CountAngles(s);
                     status[i] = 0;
                 });
}

int sat_track_state(const ReceiverEcef& receiver, const GpsTime& t, const OrbitElements& orbit, SatState& state)
{
    const OrbitElements* one = &orbit;
    uint8_t status = 1;
    sat_track_states(receiver, t, &one, 1, &state, &status);
    return status;
}

int sat_track_state(const ReceiverEcef& receiver, const GpsTime& t, const packed_ephemeris& packed, SatState& state)
{
    return sat_track_state(receiver, t, prepare_orbit(packed), state);
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
