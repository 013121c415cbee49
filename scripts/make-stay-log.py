#!/usr/bin/env python3
"""Writes tests/data/nmea/bundg-stay.log, the NMEA log of the end-to-end test of `trevalo run`.

It is made from two real recordings (BSD terms, see COPYING beside them). bundg_zeus_9.log, a
boat at about 10 km/h for 2.5 minutes, gives the journey: the first ARRIVE fixes of its track,
then STILL seconds moored at the position of the next fix, then the rest of its track moving on,
sailed PASSES times over, each pass shifted to begin where the one before ended (so the boat
keeps going away from the mooring for as long as the SDK needs to see it leave).
A receiver at rest is never perfectly still: the moored fixes wander as the still part of
ublox-8.log does (a u-blox receiver standing for 70 s), repeated over and over, each of its
fixes' offset east and north from that log's first fix added to the mooring, with speed 0 and
no course, as that receiver reports at rest. Times run on one fix a second from the boat's first
fix, so the log is continuous. Each epoch is written as the boat receiver's GGA, GSA and RMC
sentences (its dilutions and satellites), with the times and positions rewritten and the
checksums computed again; the boat's other instruments are left out.

    scripts/make-stay-log.py [ARRIVE [STILL [PASSES]]] > tests/data/nmea/bundg-stay.log
"""
import datetime
import math
import pathlib
import sys

NMEA = pathlib.Path(__file__).resolve().parent.parent / "tests/data/nmea"
SOURCE = NMEA / "bundg_zeus_9.log"
STILL_SOURCE = NMEA / "ublox-8.log"


def checksum(body):
    value = 0
    for character in body:
        value ^= ord(character)
    return "%02X" % value


def sentence(fields):
    body = ",".join(fields)
    return "$%s*%s\r\n" % (body, checksum(body))


def degrees(value, hemisphere, digits):
    result = int(value[:digits]) + float(value[digits:]) / 60.0
    return -result if hemisphere in "SW" else result


def nmea_angle(value, positive, negative, digits):
    hemisphere = positive if value >= 0 else negative
    value = abs(value)
    whole = int(value)
    return "%0*d%07.4f" % (digits, whole, (value - whole) * 60.0), hemisphere


def wander(lines):
    """Offsets (metres east, north) of a still receiver's fixes from its first fix."""
    fixes = []
    for line in lines:
        start = line.find("$")
        if start < 0 or line[start + 3:start + 6] != "RMC":
            continue
        fields = line[start:].strip().split("*")[0].split(",")
        if len(fields) > 6 and fields[2] == "A":
            fixes.append((degrees(fields[3], fields[4], 2), degrees(fields[5], fields[6], 3)))
    latitude, longitude = fixes[0]
    north = 111320.0
    east = north * math.cos(math.radians(latitude))
    return [((b - longitude) * east, (a - latitude) * north) for a, b in fixes]


def epochs(lines):
    """The recording's fixes: each RMC with the GSA before it."""
    gsa = None
    for line in lines:
        if not line.startswith("$"):
            continue
        fields = line.strip().split("*")[0][1:].split(",")
        if fields[0] == "GPGSA":
            gsa = fields
        elif fields[0] == "GPRMC" and fields[2] == "A" and gsa:
            yield fields, gsa


def main():
    arrive = int(sys.argv[1]) if len(sys.argv) > 1 else 60
    still = int(sys.argv[2]) if len(sys.argv) > 2 else 600
    passes = int(sys.argv[3]) if len(sys.argv) > 3 else 1
    fixes = list(epochs(SOURCE.read_text(encoding="latin-1").splitlines()))
    offsets = wander(STILL_SOURCE.read_text(encoding="latin-1").splitlines())
    onward = fixes[arrive:]
    # A pass is shifted by what the track covers from its first fix to one past its last (the
    # step of the last second repeated), so passes join without a jump.
    def position(fix):
        rmc = fix[0]
        return degrees(rmc[3], rmc[4], 2), degrees(rmc[5], rmc[6], 3)

    start_lat, start_lng = position(onward[0])
    end_lat, end_lng = position(onward[-1])
    before_lat, before_lng = position(onward[-2])
    shift = (2 * end_lat - before_lat - start_lat, 2 * end_lng - before_lng - start_lng)
    plan = fixes[:arrive] + [("still", fixes[arrive])] * still
    for number in range(passes):
        plan += [("pass", fix, number) for fix in onward]
    first = fixes[0][0]
    start = datetime.datetime.strptime(first[9] + first[1], "%d%m%y%H%M%S")
    out = sys.stdout
    out.write("# Made by scripts/make-stay-log.py %d %d %d from bundg_zeus_9.log and ublox-8.log\n"
              "# (BSD terms, see COPYING): %d fixes moving, %d s moored wandering as the still\n"
              "# u-blox does, then the rest of the track moving on, %d times; one fix a second.\n"
              % (arrive, still, passes, arrive, still, passes))
    moored = 0
    for second, entry in enumerate(plan):
        held = entry[0] == "still"
        shifted = entry[0] == "pass"
        rmc, gsa = entry[1] if held or shifted else entry
        rmc = list(rmc)
        if shifted and entry[2] > 0:
            latitude = degrees(rmc[3], rmc[4], 2) + entry[2] * shift[0]
            longitude = degrees(rmc[5], rmc[6], 3) + entry[2] * shift[1]
            rmc[3], rmc[4] = nmea_angle(latitude, "N", "S", 2)
            rmc[5], rmc[6] = nmea_angle(longitude, "E", "W", 3)
        if held:
            east, north = offsets[moored % len(offsets)]
            moored += 1
            latitude = degrees(rmc[3], rmc[4], 2) + north / 111320.0
            longitude = degrees(rmc[5], rmc[6], 3) + east / (
                111320.0 * math.cos(math.radians(latitude)))
            rmc[3], rmc[4] = nmea_angle(latitude, "N", "S", 2)
            rmc[5], rmc[6] = nmea_angle(longitude, "E", "W", 3)
        when = start + datetime.timedelta(seconds=second)
        rmc[1] = when.strftime("%H%M%S")
        rmc[9] = when.strftime("%d%m%y")
        if held:
            # A receiver at rest reports no speed and, like the u-blox of ublox-8.log, no course.
            rmc[7] = "0.0"
            rmc[8] = ""
        hdop = gsa[16]
        gga = ["GPGGA", rmc[1], rmc[3], rmc[4], rmc[5], rmc[6], "1", "12", hdop, "-4", "M",
               "46.8", "M", "", ""]
        out.write(sentence(gga))
        out.write(sentence(gsa))
        out.write(sentence(rmc))


if __name__ == "__main__":
    main()
