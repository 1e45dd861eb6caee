#!/usr/bin/env python3
"""Writes the golden caches and camera files of this folder from the hand-computed values
below (see README.txt for the arithmetic). Nothing here computes a cell or an order: every key,
group and camera position is written down as worked out by hand."""
import struct
from pathlib import Path

HERE = Path(__file__).resolve().parent


def cache_record(lat, lon, direction, category, name, extra, ident, flag):
    raw = name if isinstance(name, bytes) else name.encode()
    return struct.pack("<4i52s3i", lat, lon, direction, category, raw.ljust(52, b"\0"), extra, ident, flag)


def camera_file(groups, cameras):
    """groups: (key, first, count); cameras: (lon_1e5, lat_1e5, name, direction, category)."""
    out = bytearray([100]) + struct.pack("<I", 11 + 12 * len(groups)) + b"Korva\0"
    for key, first, count in groups:
        out += struct.pack("<iII", key, first, count)
    for lon, lat, name, direction, category in cameras:
        out += bytes([200]) + struct.pack("<I", 73)
        out += struct.pack("<2i52s2i", lon, lat, name.encode().ljust(52, b"\0"), direction, category)
    return bytes(out)


CASES = {
    # key 132 << 16 | 2327 = 8653079
    "one_camera": (
        [cache_record(52370000, 4890000, 90, 1, "A10 Ring Noord", 7, 1001, 1)],
        [(8653079, 0, 1)],
        [(489000, 5237000, "A10 Ring Noord", 90, 1)],
    ),
    # both in cell (2327, 132); the second name carries bytes after its terminator
    "two_in_one_cell": (
        [cache_record(52370000, 4890000, 90, 1, "A10 Ring Noord", 7, 1001, 1),
         cache_record(52370900, 4890000, 270, 2, b"A10 Ring Zuid\0left-over", 8, 1002, 0)],
        [(8653079, 0, 2)],
        [(489000, 5237000, "A10 Ring Noord", 90, 1),
         (489000, 5237090, "A10 Ring Zuid", 270, 2)],
    ),
    # keys 4 << 16 = 262144 and 0xFFFC0000 = -262144
    "latitude_zero": (
        [cache_record(0, 100000, -1, 3, "Equator east", 0, 1, 1),
         cache_record(0, -100000, -2, 4, "Equator west", 0, 2, 1)],
        [(-262144, 0, 1), (262144, 1, 1)],
        [(-10000, 0, "Equator west", -2, 4),
         (10000, 0, "Equator east", -1, 3)],
    ),
    # latitude cells -22499 / 22500 -> 0 and 22499 / 22500 -> 0, both key 0
    "latitude_pm_22499": (
        [cache_record(-22499, 0, 45, 1, "South of the line", 0, 1, 1),
         cache_record(22499, 0, 405, 1, "North of the line", 0, 2, 1)],
        [(0, 0, 2)],
        [(0, -2249, "South of the line", 45, 1),
         (0, 2249, "North of the line", 405, 1)],
    ),
    # latitude cell -1505 (0xFFFFFA1F) hides the longitude cells 5580 and 5535: key -1505;
    # latitude cell -2: key -2. Exchange sort: i=0 keeps C1; i=1 swaps C2 and C3.
    "negative_cells": (
        [cache_record(-33870000, 151210000, 10, 1, "C1", 0, 1, 1),
         cache_record(-45000, 0, 20, 2, "C2", 0, 2, 1),
         cache_record(-33870000, 150000000, 30, 3, "C3", 0, 3, 1)],
        [(-1505, 0, 2), (-2, 2, 1)],
        [(15121000, -3387000, "C1", 10, 1),
         (15000000, -3387000, "C3", 30, 3),
         (0, -4500, "C2", 20, 2)],
    ),
    # keys 262144, 262144, 0: the exchange sort swaps A and C (i=0, j=2) and leaves B, so the
    # two cameras of cell 262144 come out as B, A
    "equal_keys_scrambled": (
        [cache_record(0, 100000, 1, 1, "A", 0, 1, 1),
         cache_record(0, 110000, 2, 1, "B", 0, 2, 1),
         cache_record(0, 0, 3, 1, "C", 0, 3, 1)],
        [(0, 0, 1), (262144, 1, 2)],
        [(0, 0, "C", 3, 1),
         (11000, 0, "B", 2, 1),
         (10000, 0, "A", 1, 1)],
    ),
}

for name, (records, groups, cameras) in CASES.items():
    (HERE / f"{name}.cache").write_bytes(b"".join(records))
    (HERE / f"{name}.mtc").write_bytes(camera_file(groups, cameras))
