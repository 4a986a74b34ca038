#!/usr/bin/env python3
"""Writes the real-shaped logs and tracks of tests/data (see README.md).

They are made here in the shape real receivers and programs write them, with
the quirks the analyses met in real files; run again, it writes the same
bytes.
"""
import math
import os
import random

HERE = os.path.dirname(os.path.abspath(__file__))


def sentence(body):
    x = 0
    for c in body.encode("ascii"):
        x ^= c
    return "$%s*%02X" % (body, x)


def angle(deg, digits):
    a = abs(deg)
    whole = int(a)
    return "%0*d%07.4f" % (digits, whole, (a - whole) * 60.0)


def lat_text(lat):
    return angle(lat, 2) + ("," + ("S" if lat < 0 else "N"))


def lon_text(lon):
    return angle(lon, 3) + ("," + ("W" if lon < 0 else "E"))


def hms(sod):
    sod %= 86400
    return "%02d%02d%02d.00" % (sod // 3600, sod // 60 % 60, sod % 60)


def ddmmyy(day, month, year):
    return "%02d%02d%02d" % (day, month, year % 100)


def gsv(sats):
    out = []
    total = (len(sats) + 3) // 4
    for m in range(total):
        body = "GPGSV,%d,%d,%02d" % (total, m + 1, len(sats))
        for prn, el, az, cn0 in sats[4 * m:4 * m + 4]:
            body += ",%02d,%02d,%03d,%02d" % (prn, el, az, cn0)
        out.append(sentence(body))
    return out


def sky(rng, k):
    base = [(2, 61, 40), (5, 34, 110), (12, 18, 300), (15, 72, 200),
            (21, 45, 250), (24, 12, 80), (25, 29, 160), (29, 55, 330)]
    return [(p, el, az, max(20, min(50, 30 + el // 3 + rng.randint(-2, 2))))
            for p, el, az in base[:k]]


def write(name, text, newline="\r\n"):
    with open(os.path.join(HERE, name), "wb") as f:
        f.write(newline.join(text).encode("ascii") + (newline.encode("ascii") if newline else b""))


def drive_without_vtg():
    """A car drive of 16 minutes across midnight and the new year whose
    receiver sends no VTG: speed (knots) and course only in the RMC."""
    rng = random.Random(54)
    lines = []
    lat, lon = 45.4642, 9.1900
    course = 72.0
    speed = 0.0  # knots
    start = 23 * 3600 + 52 * 60
    for k in range(960):
        sod = start + k
        day, month, year = (31, 12, 2017) if sod < 86400 else (1, 1, 2018)
        fix = k >= 3
        # Stop at a light, pull away, cruise up to 45 kn, brake, turn.
        if k < 20 or 400 <= k < 430:
            target = 0.0
        elif k < 300:
            target = 45.0 if k > 120 else 28.0
        elif k < 400:
            target = 12.0
        else:
            target = 38.0
        speed += max(-2.0, min(1.5, target - speed))
        speed = max(0.0, speed)
        if speed > 1:
            course = (course + (3.0 if 300 <= k < 330 else rng.uniform(-0.8, 0.8))) % 360
        metres = speed * 1852 / 3600
        lat += metres * math.cos(math.radians(course)) / 111320
        lon += metres * math.sin(math.radians(course)) / (111320 * math.cos(math.radians(lat)))
        alt = 120.0 + 8 * math.sin(k / 90)
        pos = lat_text(lat) + "," + lon_text(lon) if fix else ",,,"
        lines.append(sentence("GPGGA,%s,%s,%d,%02d,%.1f,%s,M,47.2,M,," %
                              (hms(sod), pos, 1 if fix else 0, 9 if fix else 0, 0.9 if fix else 99.9,
                               "%.1f" % alt if fix else "")))
        lines.append(sentence("GPGSA,A,%d,02,05,12,15,21,24,25,29,,,,,1.6,0.9,1.3" % (3 if fix else 1)))
        lines += gsv(sky(rng, 8))
        if fix:
            lines.append(sentence("GPRMC,%s,A,%s,%.1f,%.1f,%s,2.1,E,A" %
                                  (hms(sod), pos, speed, course, ddmmyy(day, month, year))))
        else:
            lines.append(sentence("GPRMC,%s,V,,,,,,,%s,,,N" % (hms(sod), ddmmyy(day, month, year))))
    write("drive_without_vtg.txt", lines)


def heights_off_the_earth():
    """A standing receiver whose GGA now and then reports a height of
    200 km, inf or nan, or a latitude or longitude past the poles."""
    rng = random.Random(2)
    lines = []
    lat, lon = 46.0569, 14.5058
    bad_height = {20: "200000.0", 21: "200000.0", 22: "200000.0", 40: "inf", 41: "inf", 60: "nan",
                  70: "-150000.0"}
    bad_lat = {80: "9107.0380,N"}
    bad_lon = {90: "18230.0000,E"}
    for k in range(120):
        sod = 10 * 3600 + k
        la = bad_lat.get(k, lat_text(lat + 0.00001 * math.sin(k)))
        lo = bad_lon.get(k, lon_text(lon + 0.00001 * math.cos(k)))
        alt = bad_height.get(k, "%.1f" % (298.0 + rng.uniform(-1, 1)))
        lines.append(sentence("GPGGA,%s,%s,%s,1,08,1.1,%s,M,46.1,M,," % (hms(sod), la, lo, alt)))
        lines.append(sentence("GPRMC,%s,A,%s,%s,0.1,0.0,%s,,,A" % (hms(sod), la, lo, ddmmyy(9, 5, 2026))))
        lines.append(sentence("GPVTG,0.0,T,,M,0.1,N,0.2,K,A"))
        lines.append(sentence("GPGSA,A,3,02,05,12,15,21,24,25,29,,,,,1.9,1.1,1.5"))
        lines += gsv(sky(rng, 6))
    write("heights_off_earth.txt", lines)


def rmc_first_epochs():
    """A receiver that opens every epoch with its RMC, then GGA, GSA, GSV
    and VTG; a fix from the first epoch on."""
    rng = random.Random(8)
    lines = []
    lat, lon = 51.5007, -0.1246
    for k in range(30):
        sod = 8 * 3600 + 15 * 60 + k
        pos = lat_text(lat + k * 0.00003) + "," + lon_text(lon + k * 0.00002)
        kn = 5.0 + k * 0.2
        lines.append(sentence("GPRMC,%s,A,%s,%.2f,%.1f,%s,,,A" % (hms(sod), pos, kn, 25.0 + k, ddmmyy(10, 2, 2026))))
        lines.append(sentence("GPGGA,%s,%s,1,07,1.2,%.1f,M,45.4,M,," % (hms(sod), pos, 21.0 + 0.1 * k)))
        lines.append(sentence("GPGSA,A,3,02,05,12,15,21,24,25,,,,,,2.1,1.2,1.7"))
        lines += gsv(sky(rng, 7))
        lines.append(sentence("GPVTG,%.1f,T,,M,%.2f,N,%.2f,K,A" % (25.0 + k, kn, kn * 1.852)))
    write("rmc_first_epochs.txt", lines)


def no_line_ends():
    """A raw capture of a receiver's port: the sentences run together
    without CR LF, with the maker's long-addressed and text sentences
    among them."""
    rng = random.Random(3)
    lines = []
    lat, lon = 43.7696, 11.2558
    for k in range(300):
        sod = 14 * 3600 + 30 * 60 + k
        pos = lat_text(lat + k * 0.00001) + "," + lon_text(lon + k * 0.00001)
        lines.append(sentence("GPGGA,%s,%s,1,09,0.8,%.1f,M,48.0,M,," % (hms(sod), pos, 52.0 + 0.05 * k)))
        lines.append(sentence("GPRMC,%s,A,%s,2.3,45.0,%s,,,A" % (hms(sod), pos, ddmmyy(21, 6, 2026))))
        lines.append(sentence("GPVTG,45.0,T,,M,2.3,N,4.3,K,A"))
        lines.append(sentence("GPGSA,A,3,02,05,12,15,21,24,25,29,,,,,1.4,0.8,1.1"))
        lines += gsv(sky(rng, 8))
        if k % 50 == 0:
            lines.append(sentence("PSTMANTENNASTATUS,0"))
            lines.append(sentence("GPTXT,01,01,02,ANTSTATUS=OK"))
    write("no_line_ends.txt", lines, newline="")


OSMAND_HEAD = """<?xml version='1.0' encoding='UTF-8' standalone='yes' ?>
<gpx version="1.1" creator="OsmAnd~ 4.6.3" xmlns="http://www.topografix.com/GPX/1/1" xmlns:osmand="https://osmand.net" xmlns:xsi="http://www.w3.org/2001/XMLSchema-instance" xsi:schemaLocation="http://www.topografix.com/GPX/1/1 http://www.topografix.com/GPX/1/1/gpx.xsd">
  <metadata>
    <name>2026-04-18_09-12_Sat</name>
    <time>2026-04-18T07:30:41Z</time>
  </metadata>
  <trk>
    <name>2026-04-18_09-12_Sat</name>
    <trkseg>"""


def osmand_track():
    """An OsmAnd recording: "<hdop>" between "<ele>" and "<time>"."""
    rng = random.Random(18)
    out = [OSMAND_HEAD]
    lat, lon = 46.0511, 14.5051
    for k in range(40):
        sec = 12 * 60 + 5 + 2 * k
        lat += 0.00004
        lon += 0.00003 * math.cos(k / 5)
        out.append('      <trkpt lat="%.7f" lon="%.7f">' % (lat, lon))
        out.append("        <ele>%.1f</ele>" % (295.3 + 0.2 * k))
        out.append("        <hdop>%.1f</hdop>" % rng.uniform(3, 6))
        out.append("        <time>2026-04-18T07:%02d:%02dZ</time>" % (sec // 60, sec % 60))
        out.append("        <extensions>")
        out.append("          <osmand:speed>%.1f</osmand:speed>" % rng.uniform(1, 2))
        out.append("        </extensions>")
        out.append("      </trkpt>")
    out.append("    </trkseg>\n  </trk>\n</gpx>")
    write("osmand_track.gpx", out, newline="\n")


def gpx_mixed_layouts():
    """Track points as XML allows them: "<time>" before "<ele>" on one line,
    "<ele>" after "<time>", a "<time>" two lines down, attributes on lines
    of their own and in either order, and points lacking a time, a height
    or a longitude."""
    p = []
    p.append('<?xml version="1.0" encoding="UTF-8"?>')
    p.append('<gpx version="1.1" creator="mixed" xmlns="http://www.topografix.com/GPX/1/1">')
    p.append('<trk><name>mixed</name><trkseg>')
    # 1: time before ele on the same line
    p.append('<trkpt lat="45.1000" lon="13.6000"><time>2026-04-19T10:00:00Z</time><ele>10.5</ele></trkpt>')
    # 2: ele after time on lines of their own
    p.append('<trkpt lat="45.1001" lon="13.6001">')
    p.append('  <time>2026-04-19T10:00:01Z</time>')
    p.append('  <ele>11.0</ele>')
    p.append('</trkpt>')
    # 3: time two lines below ele
    p.append('<trkpt lat="45.1002" lon="13.6002">')
    p.append('  <ele>11.5</ele>')
    p.append('  <sat>9</sat>')
    p.append('  <hdop>0.9</hdop>')
    p.append('  <time>2026-04-19T10:00:02Z</time>')
    p.append('</trkpt>')
    # 4: attributes on lines of their own, lon first
    p.append('<trkpt')
    p.append('    lon="13.6003"')
    p.append("    lat='45.1003'>")
    p.append('  <ele>12.0</ele><time>2026-04-19T10:00:03Z</time></trkpt>')
    # 5: no time: left out for that
    p.append('<trkpt lat="45.1004" lon="13.6004"><ele>12.5</ele></trkpt>')
    # 6: no height: drawn on the ground
    p.append('<trkpt lat="45.1005" lon="13.6005">')
    p.append('  <time>2026-04-19T10:00:05Z</time>')
    p.append('</trkpt>')
    # 7: no longitude: left out for that
    p.append('<trkpt lat="45.1006"><ele>13.0</ele><time>2026-04-19T10:00:06Z</time></trkpt>')
    # 8: everything on one line with a comment between
    p.append('<trkpt lat="45.1007" lon="13.6007"><!-- fix --><ele>13.5</ele><time>2026-04-19T10:00:07Z</time></trkpt>')
    # 9: the element name written with blanks before its end
    p.append('<trkpt lat="45.1008" lon="13.6008" >')
    p.append('  <ele >14.0</ele >')
    p.append('  <time >2026-04-19T10:00:08Z</time >')
    p.append('</trkpt >')
    p.append('</trkseg></trk></gpx>')
    write("gpx_mixed_layouts.gpx", p, newline="\n")


if __name__ == "__main__":
    drive_without_vtg()
    heights_off_the_earth()
    rmc_first_epochs()
    no_line_ends()
    osmand_track()
    gpx_mixed_layouts()
