#!/usr/bin/env python3
"""Writes tests/data/nmea/bundg-stay.log, the NMEA log of the end-to-end test of `trevalo run`.

It is made from the real recording bundg_zeus_9.log (a boat at about 10 km/h for 2.5 minutes;
BSD terms, see COPYING beside it): the first ARRIVE fixes of its track, then the position of the
next fix held still for STILL seconds (the boat moored: the same epoch repeated once a second,
speed 0 and no course), then the rest of its track moving on. Times run on one fix a second from the
recording's first fix, so the log is continuous. Each epoch is written as the receiver's own
GGA, GSA and RMC sentences (its position, dilutions and satellites), with the times rewritten
and the checksums computed again; the boat's other instruments are left out.

    scripts/make-stay-log.py [ARRIVE [STILL]] > tests/data/nmea/bundg-stay.log
"""
import datetime
import pathlib
import sys

SOURCE = pathlib.Path(__file__).resolve().parent.parent / "tests/data/nmea/bundg_zeus_9.log"


def checksum(body):
    value = 0
    for character in body:
        value ^= ord(character)
    return "%02X" % value


def sentence(fields):
    body = ",".join(fields)
    return "$%s*%s\r\n" % (body, checksum(body))


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
    fixes = list(epochs(SOURCE.read_text(encoding="latin-1").splitlines()))
    plan = fixes[:arrive] + [("still", fixes[arrive])] * still + fixes[arrive:]
    first = fixes[0][0]
    start = datetime.datetime.strptime(first[9] + first[1], "%d%m%y%H%M%S")
    out = sys.stdout
    out.write("# Made by scripts/make-stay-log.py %d %d from bundg_zeus_9.log (BSD terms, see\n"
              "# COPYING): %d fixes moving, the next position held still for %d s, then the\n"
              "# rest of the track moving on; one fix a second.\n" % (arrive, still, arrive, still))
    for second, entry in enumerate(plan):
        held = entry[0] == "still"
        rmc, gsa = entry[1] if held else entry
        rmc = list(rmc)
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
