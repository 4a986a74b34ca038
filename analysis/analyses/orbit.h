#pragma once
// Satellite position, velocity and clock from a broadcast ephemeris by the
// GPS user algorithm, and the elevation and azimuth seen from a receiver.
#include <cstdint>

#include "analysis/analyses/ephemeris.h"

namespace navsift {

struct GpsTime {
    uint32_t week = 0;
    double tow = 0;  // seconds of the week
};

struct Vec3 {
    double x = 0, y = 0, z = 0;
};

// Latitude and longitude in degrees, height above the ellipsoid in metres.
struct ReceiverPosition {
    double latitude = 0, longitude = 0, height = 0;
};

// The receiver as the look angles need it: Earth-fixed position and the
// geodetic latitude and longitude (radians) that give its local "up".
struct ReceiverEcef {
    Vec3 position;
    double latitude = 0, longitude = 0;
    // The local axes, worked out once for all the satellites of an epoch.
    Vec3 east, north, up;
};

// SI units, angles in radians.
struct Ephemeris {
    double toc = 0, toe = 0, week = 0, tgd = 0, af0 = 0, af1 = 0, af2 = 0;
    double crs = 0, crc = 0, cis = 0, cus = 0, cuc = 0, cic = 0;
    double delta_n = 0, m0 = 0, e = 0, sqrt_a = 0, omega0 = 0, i0 = 0, omega = 0, omega_dot = 0, idot = 0;
};

struct SatState {
    Vec3 position, velocity, acceleration;
    double tow = 0;
    double clock_correction = 0;  // seconds
    double range = 0;             // metres
    double elevation_deg = 0;     // unrounded, for checks
    double azimuth_deg = 0;       // -180..180, unrounded
    int16_t elevation = 0;        // 0.01 degree, truncated toward zero
    int16_t azimuth = 0;          // whole degrees 0..359
};

// An ephemeris made ready once for every position taken from it: its
// elements, whether they describe an orbit at all, and the terms that do
// not change with the time.
struct OrbitElements {
    Ephemeris eph;
    bool usable = false;  // unpacked, finite, and a closed orbit
    double a = 0;                           // semi-major axis, m
    double n = 0;                           // corrected mean motion, rad/s
    double root_1_e2 = 0;                   // sqrt(1 - e^2)
    double sin_omega = 0, cos_omega = 0;    // argument of perigee
    double node_at_toe = 0, node_rate = 0;  // Earth-fixed node at toe, and its rate
};

OrbitElements prepare_orbit(const Ephemeris& eph);
// Unpacked first: not usable when unpack_ephemeris refuses it.
OrbitElements prepare_orbit(const packed_ephemeris& packed);

// Standard ellipsoid (WGS-84) conversion: the height is added along the
// ellipsoid normal.
ReceiverEcef geodetic_to_ecef(const ReceiverPosition& receiver);

// 0, or 1 when the week lies outside 1350..2999 or toe outside 0..604799 s.
int unpack_ephemeris(const packed_ephemeris& packed, Ephemeris& out);

// 0, or 1 for inputs that are not finite or not an orbit, a Kepler
// iteration that does not settle, or a state out of bounds. `velocity` and
// `acceleration` may be null.
int orbit_state(const OrbitElements& orbit, const GpsTime& t, Vec3& position, Vec3* velocity, Vec3* acceleration,
                double& sin_e);
int orbit_state(const Ephemeris& eph, const GpsTime& t, Vec3& position, Vec3* velocity, Vec3* acceleration,
                double& sin_e);

// Satellite clock correction in seconds.
double sat_clock_correction(const Ephemeris& eph, double tow, double sin_e);

// Range, elevation and azimuth, with "up" the ellipsoid normal at the
// receiver. Always 0.
int look_angles(const ReceiverEcef& receiver, SatState& state);

// The whole chain for one satellite: 0 when computed, 1 when a step fails.
int sat_track_state(const ReceiverPosition& receiver, const GpsTime& t, const packed_ephemeris& packed,
                    SatState& state);
// The same with the receiver already converted (the visibility rows reuse
// one conversion for 32 satellites), and with the ephemeris made ready.
int sat_track_state(const ReceiverEcef& receiver, const GpsTime& t, const packed_ephemeris& packed, SatState& state);
int sat_track_state(const ReceiverEcef& receiver, const GpsTime& t, const OrbitElements& orbit, SatState& state);
// The same for `count` satellites at once (all of an epoch): status[k] 0
// when states[k] was computed, 1 when a step failed for orbits[k] (which
// may be null: no ephemeris).
void sat_track_states(const ReceiverEcef& receiver, const GpsTime& t, const OrbitElements* const* orbits, int count,
                      SatState* states, uint8_t* status);

}  // namespace navsift
