#!/usr/bin/env python3
"""Writes the seed corpus of both fuzz targets: the status reports the ORV sends (code, four
payload bytes, checksum) with typical payloads, and a few broken ones. Run from anywhere;
the files go to fuzz/corpus/<target>/ beside this script."""
import os

HERE = os.path.dirname(os.path.abspath(__file__))


def status(code, payload):
    body = [code] + [(payload >> shift) & 0xFF for shift in (24, 16, 8, 0)]
    return bytes(body + [sum(body) & 0xFF])


def version(major, minor):  # four decimal digits P1 P2 . P3 P4
    return (major // 10) << 24 | (major % 10) << 16 | (minor // 10) << 8 | minor % 10


VALID = {
    "charge": [(0x80, 0), (0x80, 1)],
    "sensitivity_min": [(0x81, 0), (0x81, 42), (0x81, 254)],
    "sensitivity_max": [(0x82, 1), (0x82, 201), (0x82, 255)],
    "inhibit": [(0x83, 100), (0x83, 2500), (0x83, 600000), (0x83, 0xFFFFFFFF)],
    "aux_delay": [(0x84, 0), (0x84, 150), (0x84, 5000)],
    "aux_sensor": [(0x85, 0), (0x85, 1)],
    "firmware": [(0x86, version(2, 7)), (0x86, version(2, 5)), (0x86, version(2, 0)),
                 (0x86, version(3, 0)), (0x86, 0x09090909)],
    "led": [(0x87, d) for d in (0, 4, 15, 30, 52, 100, 31)],
    "shots": [(0x88, 0), (0x88, 25), (0x88, 9999), (0x88, 0xFFFF)],
    "release": [(0x89, 1), (0x89, 3600)],
    "interval": [(0x8A, 1), (0x8A, 120)],
    "start_delay": [(0x8B, 1), (0x8B, 99), (0x8B, 150)],
    "inter_state": [(0x8C, s) for s in (1, 2, 3, 4, 0, 5)],
    "shot": [(0x8D, 0), (0x8D, 7), (0x8D, 0x7FFFFFFF), (0x8D, 0xFFFFFFFF)],
    "level": [(0x8E, 0), (0x8E, 4), (0x8E, 0xFF)],
    "prefocus": [(0x8F, 0), (0x8F, 1), (0x8F, 2)],
    "battery": [(0x90, 0), (0x90, 75), (0x90, 100)],
}


def corpus():
    files = {}
    for name, reports in VALID.items():
        files[name] = b"".join(status(c, p) for c, p in reports)
    # A connection's answers in the order the program asks for them.
    files["connection"] = b"".join(status(c, p) for c, p in [
        (0x86, version(2, 7)), (0x80, 0), (0x90, 64), (0x85, 0), (0x84, 150), (0x81, 42),
        (0x82, 201), (0x87, 30), (0x83, 2500), (0x8E, 3), (0x8F, 1), (0x8B, 10), (0x8A, 120),
        (0x88, 25), (0x89, 30)])
    files["series"] = b"".join(status(c, p) for c, p in [
        (0x8C, 2), (0x8D, 1), (0x8C, 3), (0x8C, 4), (0x8D, 2), (0x8C, 3), (0x8C, 1)])
    bad = bytearray(status(0x82, 127))
    bad[5] ^= 0x01
    files["invalid_checksum"] = bytes(bad)
    files["invalid_code_zero"] = bytes([0x00, 0x10, 0, 0, 0, 0x10])
    files["invalid_unknown_code"] = status(0x91, 0) + status(0xC0, 0x01020304)
    files["invalid_short"] = bytes([0x81, 0x00, 0x00])
    return files


def main():
    for target in ("fuzz_report", "fuzz_window"):
        folder = os.path.join(HERE, "corpus", target)
        os.makedirs(folder, exist_ok=True)
        for name, data in corpus().items():
            with open(os.path.join(folder, name), "wb") as f:
                f.write(data)


if __name__ == "__main__":
    main()
