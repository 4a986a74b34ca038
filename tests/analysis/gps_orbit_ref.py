#!/usr/bin/env python3
"""A second, independent computation of GPS satellite positions and look
angles from a RINEX 2 navigation file, written from the GPS user algorithm
(not from navsift's code), for navsift's tests and benchmark to compare with.

Usage: gps_orbit_ref.py RINEX_FILE < queries
Each query line: "prn week tow lat_deg lon_deg height_m".
Each answer line: "prn week tow x y z vx vy vz elev_deg azim_deg clock_s",
or "prn week tow none" when the file has no record of that satellite before
the time. The velocity is a numerical derivative of the positions.
"""
import math
import sys

MU = 3.986005e14
OMEGA_E = 7.2921151467e-5
F_REL = -4.442807633e-10
PI = 3.1415926535898
A_WGS = 6378137.0
E2_WGS = 1.0 - 0.9933056200098735
HALF_WEEK = 302400.0
WEEK = 604800.0


def number(text):
    return float(text.strip().replace("D", "E").replace("d", "E"))


def gps_seconds(yy, mm, dd, hh, mi, ss):
    year = yy + (2000 if yy < 80 else 1900)
    days_before = [0, 31, 59, 90, 120, 151, 181, 212, 243, 273, 304, 334]
    leap = year % 4 == 0 and (year % 100 != 0 or year % 400 == 0)
    days = (year - 1980) * 365 + (year - 1977) // 4 - (year - 1901) // 100 + (year - 1601) // 400
    days += days_before[mm - 1] + (1 if leap and mm > 2 else 0) + dd - 1
    return (days - 5) * 86400 + hh * 3600 + mi * 60 + int(ss)


def read_records(path):
    with open(path, "r", encoding="latin-1") as f:
        lines = f.read().splitlines()
    k = 0
    while k < len(lines) and "END OF HEADER" not in lines[k][60:]:
        k += 1
    k += 1
    records = []
    while k + 8 <= len(lines):
        block = lines[k:k + 8]
        first = block[0]
        try:
            rec = {
                "prn": int(first[0:2]),
                "epoch": gps_seconds(int(first[3:5]), int(first[6:8]), int(first[9:11]),
                                     int(first[12:14]), int(first[15:17]), float(first[17:22])),
                "af0": number(first[22:41]), "af1": number(first[41:60]), "af2": number(first[60:79]),
            }
            values = []
            for line in block[1:7]:
                line = line.ljust(80)
                values += [number(line[c:c + 19]) for c in (3, 22, 41, 60)]
        except (ValueError, IndexError):
            # A broken record: the next one starts at the next record line.
            k += 1
            while k < len(lines) and not (lines[k][:2].strip().isdigit() and lines[k][22:41].strip()):
                k += 1
            continue
        names = ["iode", "crs", "dn", "m0", "cuc", "e", "cus", "sqrta", "toe", "cic", "omega0", "cis",
                 "i0", "crc", "omega", "omegadot", "idot", "l2", "week", "l2p", "acc", "health", "tgd", "iodc"]
        rec.update(dict(zip(names, values)))
        records.append(rec)
        k += 8
    return records


def fold(dt):
    while dt > HALF_WEEK:
        dt -= WEEK
    while dt < -HALF_WEEK:
        dt += WEEK
    return dt


def position(r, tow):
    a = r["sqrta"] ** 2
    n = math.sqrt(MU / a ** 3) + r["dn"]
    tk = fold(tow - r["toe"])
    m = r["m0"] + n * tk
    e = r["e"]
    big_e = m
    for _ in range(50):  # Newton's method
        step = (big_e - e * math.sin(big_e) - m) / (1.0 - e * math.cos(big_e))
        big_e -= step
        if abs(step) < 1e-15:
            break
    nu = math.atan2(math.sqrt(1 - e * e) * math.sin(big_e), math.cos(big_e) - e)
    phi = nu + r["omega"]
    du = r["cus"] * math.sin(2 * phi) + r["cuc"] * math.cos(2 * phi)
    dr = r["crs"] * math.sin(2 * phi) + r["crc"] * math.cos(2 * phi)
    di = r["cis"] * math.sin(2 * phi) + r["cic"] * math.cos(2 * phi)
    u = phi + du
    rad = a * (1 - e * math.cos(big_e)) + dr
    inc = r["i0"] + di + r["idot"] * tk
    om = r["omega0"] + (r["omegadot"] - OMEGA_E) * tk - OMEGA_E * r["toe"]
    xp, yp = rad * math.cos(u), rad * math.sin(u)
    x = xp * math.cos(om) - yp * math.cos(inc) * math.sin(om)
    y = xp * math.sin(om) + yp * math.cos(inc) * math.cos(om)
    z = yp * math.sin(inc)
    dt = fold(tow - r["toe"])
    clock = (r["af0"] + r["af1"] * dt + r["af2"] * dt * dt
             + F_REL * e * r["sqrta"] * math.sin(big_e) - r["tgd"])
    return (x, y, z), clock


def receiver_ecef(lat, lon, h):
    phi, lam = math.radians(lat), math.radians(lon)
    n = A_WGS / math.sqrt(1 - E2_WGS * math.sin(phi) ** 2)
    return ((n + h) * math.cos(phi) * math.cos(lam),
            (n + h) * math.cos(phi) * math.sin(lam),
            (n * (1 - E2_WGS) + h) * math.sin(phi)), phi, lam


def look(rcv, phi, lam, sat):
    d = [s - r for s, r in zip(sat, rcv)]
    # East, north and up of the ellipsoid normal at the receiver.
    e = -math.sin(lam) * d[0] + math.cos(lam) * d[1]
    n = (-math.sin(phi) * math.cos(lam) * d[0] - math.sin(phi) * math.sin(lam) * d[1]
         + math.cos(phi) * d[2])
    u = (math.cos(phi) * math.cos(lam) * d[0] + math.cos(phi) * math.sin(lam) * d[1]
         + math.sin(phi) * d[2])
    elev = math.degrees(math.atan2(u, math.hypot(e, n)))
    azim = math.degrees(math.atan2(e, n))
    return elev, azim


def main():
    records = read_records(sys.argv[1])
    out = []
    for line in sys.stdin:
        if not line.strip():
            continue
        prn, week, tow, lat, lon, h = line.split()
        prn, week, tow = int(prn), int(week), float(tow)
        t = week * WEEK + tow
        chosen = None
        for r in records:
            if r["prn"] == prn and r["epoch"] < int(t):
                if chosen is None or r["epoch"] >= chosen["epoch"]:
                    chosen = r
        if chosen is None:
            out.append("%d %d %.3f none" % (prn, week, tow))
            continue
        (p, clock) = position(chosen, tow)
        (p1, _) = position(chosen, tow + 0.5)
        (p0, _) = position(chosen, tow - 0.5)
        v = [b - a for a, b in zip(p0, p1)]
        rcv, phi, lam = receiver_ecef(float(lat), float(lon), float(h))
        elev, azim = look(rcv, phi, lam, p)
        out.append("%d %d %.3f %.6f %.6f %.6f %.9f %.9f %.9f %.12f %.12f %.15e"
                   % (prn, week, tow, p[0], p[1], p[2], v[0], v[1], v[2], elev, azim, clock))
    sys.stdout.write("\n".join(out) + "\n")


if __name__ == "__main__":
    main()
