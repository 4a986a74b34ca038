#!/usr/bin/env python3
"""The visibility benchmark's reference: the positions and look angles of
every GPS satellite at every second of a span, from a RINEX 2 navigation
file, by the GPS user algorithm as a plain numpy vectorisation (one array
over every satellite and second, on one core), written from the algorithm,
not from navsift's code.

Usage: visibility_numpy.py RINEX LAT LON HEIGHT FIRST LAST ELEVATIONS SAMPLES
FIRST and LAST are GPS seconds (since 1980-01-06). Writes to ELEVATIONS the
elevation in degrees of PRN 1..32 at each second, float64, one row of 32 per
second (NaN where no record of the satellite is older than the second);
to SAMPLES every 97th satellite-second as "prn seconds x y z elev azim".
Prints "positions N seconds S": how many were computed and the processor
seconds the computation took (reading the file and writing out excluded).
"""
import sys
import time

import numpy as np

MU = 3.986005e14
OMEGA_E = 7.2921151467e-5
A_WGS = 6378137.0
E2_WGS = 1.0 - 0.9933056200098735
WEEK = 604800.0
HALF_WEEK = 302400.0


def number(text):
    return float(text.strip().replace("D", "E").replace("d", "E") or "0")


def gps_seconds(yy, mm, dd, hh, mi, ss):
    year = yy + (2000 if yy < 80 else 1900)
    days_before = [0, 31, 59, 90, 120, 151, 181, 212, 243, 273, 304, 334]
    leap = year % 4 == 0 and (year % 100 != 0 or year % 400 == 0)
    days = (year - 1980) * 365 + (year - 1977) // 4 - (year - 1901) // 100 + (year - 1601) // 400
    days += days_before[mm - 1] + (1 if leap and mm > 2 else 0) + dd - 1
    return (days - 5) * 86400 + hh * 3600 + mi * 60 + int(ss)


NAMES = ["iode", "crs", "dn", "m0", "cuc", "e", "cus", "sqrta", "toe", "cic", "omega0", "cis",
         "i0", "crc", "omega", "omegadot", "idot", "l2", "week", "l2p"]


def read_records(path):
    with open(path, "r", encoding="latin-1") as f:
        lines = f.read().splitlines()
    k = 0
    while k < len(lines) and "END OF HEADER" not in lines[k]:
        k += 1
    k += 1
    records = []
    while k + 8 <= len(lines):
        first = lines[k]
        rec = {"prn": int(first[0:2]),
               "epoch": gps_seconds(int(first[3:5]), int(first[6:8]), int(first[9:11]),
                                    int(first[12:14]), int(first[15:17]), float(first[17:22]))}
        values = []
        for line in lines[k + 1:k + 6]:
            line = line.ljust(80)
            values += [number(line[c:c + 19]) for c in (3, 22, 41, 60)]
        rec.update(dict(zip(NAMES, values)))
        records.append(rec)
        k += 8
    return records


def main():
    rinex, lat, lon, height, first, last, elev_path, sample_path = sys.argv[1:9]
    records = read_records(rinex)
    first, last = int(first), int(last)
    lat, lon, height = np.radians(float(lat)), np.radians(float(lon)), float(height)
    # The records as columns, sorted by satellite and then by epoch.
    records.sort(key=lambda r: (r["prn"], r["epoch"]))
    col = {name: np.array([r[name] for r in records]) for name in NAMES + ["prn", "epoch"]}

    start = time.process_time()
    seconds = np.arange(first, last + 1, dtype=np.int64)
    # Every satellite at every second: the latest record strictly before it.
    t = np.repeat(seconds, 32)
    prn = np.tile(np.arange(1, 33), seconds.size)
    key = col["prn"].astype(np.int64) * (1 << 40) + col["epoch"].astype(np.int64)
    pick = np.searchsorted(key, prn * (1 << 40) + t, side="left") - 1
    have = (pick >= 0) & (col["prn"][np.maximum(pick, 0)] == prn)
    pick = pick[have]
    t = t[have]
    g = {name: col[name][pick] for name in NAMES}

    week = np.floor(t / WEEK)
    tow = t - week * WEEK
    tk = (week - g["week"]) * WEEK + (tow - g["toe"])
    tk = np.where(tk > HALF_WEEK, tk - WEEK, np.where(tk < -HALF_WEEK, tk + WEEK, tk))
    a = g["sqrta"] ** 2
    n = np.sqrt(MU / a ** 3) + g["dn"]
    m = g["m0"] + n * tk
    e = g["e"]
    big_e = m.copy()
    for _ in range(30):  # Newton's method, every satellite at once
        step = (big_e - e * np.sin(big_e) - m) / (1.0 - e * np.cos(big_e))
        big_e -= step
        if np.max(np.abs(step)) <= 1e-13:
            break
    sin_e, cos_e = np.sin(big_e), np.cos(big_e)
    nu = np.arctan2(np.sqrt(1.0 - e * e) * sin_e, cos_e - e)
    phi = nu + g["omega"]
    s2, c2 = np.sin(2 * phi), np.cos(2 * phi)
    u = phi + g["cus"] * s2 + g["cuc"] * c2
    r = a * (1.0 - e * cos_e) + g["crs"] * s2 + g["crc"] * c2
    inc = g["i0"] + g["cis"] * s2 + g["cic"] * c2 + g["idot"] * tk
    node = g["omega0"] + (g["omegadot"] - OMEGA_E) * tk - OMEGA_E * g["toe"]
    xp, yp = r * np.cos(u), r * np.sin(u)
    cos_node, sin_node, cos_inc = np.cos(node), np.sin(node), np.cos(inc)
    x = xp * cos_node - yp * cos_inc * sin_node
    y = xp * sin_node + yp * cos_inc * cos_node
    z = yp * np.sin(inc)

    # Look angles from the receiver, "up" along the ellipsoid normal.
    nrad = A_WGS / np.sqrt(1.0 - E2_WGS * np.sin(lat) ** 2)
    rx = (nrad + height) * np.cos(lat) * np.cos(lon)
    ry = (nrad + height) * np.cos(lat) * np.sin(lon)
    rz = (nrad * (1.0 - E2_WGS) + height) * np.sin(lat)
    dx, dy, dz = x - rx, y - ry, z - rz
    rng = np.sqrt(dx * dx + dy * dy + dz * dz)
    east = (-np.sin(lon) * dx + np.cos(lon) * dy) / rng
    north = (-np.sin(lat) * np.cos(lon) * dx - np.sin(lat) * np.sin(lon) * dy + np.cos(lat) * dz) / rng
    up = (np.cos(lat) * np.cos(lon) * dx + np.cos(lat) * np.sin(lon) * dy + np.sin(lat) * dz) / rng
    elev = np.degrees(np.arcsin(np.clip(up, -1.0, 1.0)))
    azim = np.degrees(np.arctan2(east, north))
    spent = time.process_time() - start

    table = np.full(seconds.size * 32, np.nan)
    table[np.flatnonzero(have)] = elev
    table.tofile(elev_path)
    with open(sample_path, "w") as out:
        prn_have = prn[have]
        for k in range(0, t.size, 97):
            out.write("%d %d %.6f %.6f %.6f %.12f %.12f\n"
                      % (prn_have[k], t[k], x[k], y[k], z[k], elev[k], azim[k]))
    print("positions %d seconds %.6f" % (t.size, spent))


if __name__ == "__main__":
    main()
