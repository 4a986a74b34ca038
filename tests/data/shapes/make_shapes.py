#!/usr/bin/env python3
"""Writes the small real-shaped logs of this folder (run it here to remake them).

Each is modelled on what real receivers write; see README.md for what each one holds."""
import math


def sentence(body):
    x = 0
    for c in body.encode():
        x ^= c
    return "$%s*%02X\r\n" % (body, x)


def nmea_lat(deg):
    h = "N" if deg >= 0 else "S"
    deg = abs(deg)
    d = int(deg)
    return "%02d%07.4f" % (d, (deg - d) * 60), h


def nmea_lon(deg):
    h = "E" if deg >= 0 else "W"
    deg = abs(deg)
    d = int(deg)
    return "%03d%07.4f" % (d, (deg - d) * 60), h


def clock(sod):
    sod %= 86400
    return "%02d%02d%02d.00" % (sod // 3600, sod // 60 % 60, sod % 60)


def epochs(talker, count, first_sod, date, speeds, order, heights=None, vtg=True, start=(45.4642, 9.1900)):
    """One epoch a second: GGA, RMC, (VTG), GSA and the GSV of the GPS satellites, in `order`."""
    out = []
    lat, lon = start
    for k in range(count):
        sod = first_sod + k
        day = date[1] if sod >= 86400 else date[0]
        knots = speeds[k % len(speeds)]
        course = (30.0 + 7 * k) % 360
        # Moving at `knots` along `course`.
        metres = knots * 1852 / 3600
        lat += metres * math.cos(math.radians(course)) / 111320
        lon += metres * math.sin(math.radians(course)) / (111320 * math.cos(math.radians(lat)))
        la, ns = nmea_lat(lat)
        lo, ew = nmea_lon(lon)
        height = "%.1f" % (122.4 + 0.1 * k) if heights is None else heights(k)
        s = {
            "GGA": sentence("%sGGA,%s,%s,%s,%s,%s,1,09,0.9,%s,M,47.3,M,," % (talker, clock(sod), la, ns, lo, ew, height)),
            "RMC": sentence("%sRMC,%s,A,%s,%s,%s,%s,%.1f,%.1f,%s,,,A" % (talker, clock(sod), la, ns, lo, ew, knots,
                                                                        course, day)),
            "VTG": sentence("%sVTG,%.1f,T,,M,%.1f,N,%.1f,K,A" % (talker, course, knots, knots * 1.852)),
            "GSA": sentence("%sGSA,A,3,02,05,07,09,13,16,20,26,29,,,,1.7,0.9,1.4" % talker),
            "GSV": sentence("GPGSV,3,1,10,02,71,120,44,05,50,288,41,07,33,064,38,09,12,315,31") +
                   sentence("GPGSV,3,2,10,13,25,191,36,16,40,032,43,20,61,255,45,26,18,141,33") +
                   sentence("GPGSV,3,3,10,29,08,342,28,30,05,097,"),
        }
        for name in order:
            if name == "VTG" and not vtg:
                continue
            out.append(s[name])
    return "".join(out)


def write(name, text):
    with open(name, "w", newline="") as f:
        f.write(text)


# A car drive across midnight without VTG: its speed is in the RMC alone, up to 45 kn.
write("drive_no_vtg.txt", epochs("GP", 30, 86400 - 15, ("301226", "311226"), [0.0, 12.5, 31.0, 45.0, 38.2],
                                 ["GGA", "RMC", "GSA", "GSV"], vtg=False))
# A multi-constellation survey receiver: every position sentence of the $GN talker.
write("survey_gn.txt", epochs("GN", 20, 36000, ("150626", ""), [0.1], ["RMC", "VTG", "GGA", "GSA", "GSV"]))
write("empty.txt", "")
# Heights of 200 km, inf and nan among sound ones.
odd = {4: "200000.0", 9: "inf", 14: "nan"}
write("heights_off_earth.txt", epochs("GP", 20, 50000, ("010726", ""), [5.0],
                                      ["GGA", "RMC", "VTG", "GSA", "GSV"],
                                      heights=lambda k: odd.get(k, "%.1f" % (310.0 + k))))
# Each epoch opens with its RMC.
write("rmc_first.txt", epochs("GP", 12, 43200, ("020726", ""), [3.0], ["RMC", "GGA", "VTG", "GSA", "GSV"]))
# A raw capture: the sentences run together without line ends.
write("no_line_ends.txt", epochs("GP", 15, 61200, ("030726", ""), [20.0], ["GGA", "RMC", "VTG", "GSA", "GSV"])
      .replace("\r\n", ""))

# A GPX track whose points give <time> away from <ele>: after an <hdop> (as
# OsmAnd writes), two lines down, before <ele> on the same line.
gpx = """<?xml version="1.0" encoding="UTF-8"?>
<gpx version="1.1" creator="shapes" xmlns="http://www.topografix.com/GPX/1/1">
<trk><name>away</name><trkseg>
<trkpt lat="45.4642" lon="9.1900"><ele>122.4</ele><time>2026-07-04T10:00:00Z</time></trkpt>
<trkpt lat="45.4643" lon="9.1902">
<ele>122.6</ele>
<hdop>0.9</hdop>
<time>2026-07-04T10:00:01Z</time>
</trkpt>
<trkpt lat="45.4644" lon="9.1904">
<ele>122.8</ele>
<extensions><speed>3.1</speed></extensions>

<time>2026-07-04T10:00:02Z</time>
</trkpt>
<trkpt lat="45.4645" lon="9.1906"><time>2026-07-04T10:00:03Z</time><ele>123.0</ele></trkpt>
<trkpt lat="45.4646" lon="9.1908"><ele>123.2</ele><time>2026-07-04T10:00:04Z</time></trkpt>
</trkseg></trk>
</gpx>
"""
write("time_away.gpx", gpx)
