#!/usr/bin/env python3
"""Writes the seed inputs of the fuzz targets into fuzz/corpus/{zmk,cbl,cable_row,display}.

The seeds are small files that reach the interesting paths: valid files, empty ones, counts
at and past the limits, truncated records, odd values (NaN, infinities, limits of the
over-range texts) and damaged kind and section bytes. Run it again after changing it; the
output is the same every time.
"""
import math
import os
import struct

HERE = os.path.dirname(os.path.abspath(__file__))


def name(text):
    raw = text.encode("cp1251")[:14]
    return raw + b" " * (14 - len(raw))


def f32(value):
    return struct.pack("<f", value)


def section(cable, material, c, r, length, d):
    return name(cable) + bytes([material]) + f32(c) + f32(r) + f32(length) + bytes([d]) + b"\0" * 4


def record(title, kind, values=(), temp=40, sections=(), stored_sections=None, fill=0):
    rec = bytearray([fill]) * 256
    rec[0:14] = name(title)
    n = len(sections) if stored_sections is None else stored_sections
    rec[14] = (kind & 0x0F) | ((n & 0x0F) << 4)
    for offset, value in values:
        rec[offset:offset + 4] = f32(value)
    rec[59] = temp
    for i, s in enumerate(sections):
        rec[79 + 32 * i:79 + 32 * (i + 1)] = s
    return bytes(rec)


def zmk(records, count=None, header_fill=0):
    header = bytearray([header_fill]) * 32
    header[0] = len(records) if count is None else count
    return bytes(header) + b"".join(records)


def cable(title, material, c, r, d, reserved=0):
    return name(title) + bytes([material]) + f32(c) + f32(r) + bytes([reserved]) * 4 + bytes([d]) + bytes([reserved]) * 4


S1 = section("ТПП 10x2", 0, 45.6, 278.0, 12345.6, 40)
S2 = section("ТГ 50x2", 1, 50.0, 95.0, 234.5, 70)
FULL = section("ДЛИННОЕИМЯ1234", 7, 1e9, -3.0, 999999.9, 255)

RECORDS = [
    record("КАБЕЛЬ 1", 0, [(15, 10000.0)], 43, [S1]),
    record("КАБЕЛЬ 2", 1, [(19, -100.4)], 5, [S1, S2]),
    record("ЕМКОСТЬ", 2, [(23, -3500.0)], 0),
    record("ОБРЫВ", 3, [(15, 9999.96), (35, 60000.0)], 255, [S1, S2, FULL]),
    record("ИЗОЛЯЦИЯ", 4, [(39, 1000.0)]),
    record("ОТНОШЕНИЕ", 5, [(51, 0.4567), (55, 65000.0)]),
    record("ТРИ ПАРЫ", 6, [(23, 45.2), (27, 44.8), (31, 3000.0), (39, 25e6), (43, 15e6), (47, 0.0)], 45, [S1] * 5),
    record("НЕ ЧИСЛО", 5, [(51, math.nan), (55, math.nan)]),
    record("БЕСКОНЕЧНО", 6, [(23, math.inf), (27, -math.inf), (31, math.nan), (39, math.inf), (43, -math.inf),
                             (47, math.nan)]),
    record("ВИД 9", 9, [], 20, [S1], stored_sections=15, fill=0xFF),
    record("", 0, [(15, -0.04)], fill=0x98),
]


def write(folder, filename, data):
    path = os.path.join(HERE, "corpus", folder)
    os.makedirs(path, exist_ok=True)
    with open(os.path.join(path, filename), "wb") as out:
        out.write(data)


def main():
    write("zmk", "three_records", zmk(RECORDS[:3], header_fill=0x5A))
    write("zmk", "all_kinds", zmk(RECORDS))
    write("zmk", "count0", zmk([]))
    write("zmk", "count0_long", zmk([], header_fill=0x11) + b"\x01" * 40)
    write("zmk", "count200", zmk([RECORDS[6]] * 200))
    write("zmk", "count201", zmk([RECORDS[0]] * 201))
    write("zmk", "count255_short", zmk([RECORDS[0]] * 2, count=255))
    write("zmk", "truncated_record", zmk(RECORDS[:5], count=5)[:-1])
    write("zmk", "header_only_says_5", zmk([], count=5))
    write("zmk", "short_header", b"\x01" * 31)
    write("zmk", "empty", b"")

    write("cbl", "three", cable("ТПП 10x2", 0, 45.6, 12.34, 40) + cable("ТППа 20x2", 1, 46.0, 455.0, 53, 0xAB)
          + cable("", 7, 0.0, 0.0, 255))
    write("cbl", "100_bytes", (cable("А", 0, 1.0, 2.0, 3) * 4)[:100])
    write("cbl", "empty", b"")
    write("cbl", "31_bytes", b"\x20" * 31)
    write("cbl", "64_records", cable("МАКС", 0, 99999.9, 0.05, 1) * 64)
    write("cbl", "65_records", cable("ЛИШНИЙ", 0, 1.0, 1.0, 1) * 65)
    write("cbl", "odd_values", cable("НЕ ЧИСЛО", 2, math.nan, math.inf, 0) + cable("БОЛЬШОЕ", 0, 123456.0, -1e30, 100)
          + cable("МАЛОЕ", 0, 1e-30, -0.04, 99))

    rows = [cable("ТПП 10x2", 0, 45.6, 12.34, 40), cable("ТППа 20x2", 1, 46.0, 455.0, 53, 0xAB),
            cable("МАКС", 0, 99999.9, 0.05, 255), cable("НЕ ЧИСЛО", 2, math.nan, math.inf, 0),
            cable("БОЛЬШОЕ", 0, 123456.0, -1e30, 100), cable("МАЛОЕ", 0, 1e-30, -0.04, 99)]
    for i, row in enumerate(rows):
        write("cable_row", "row%d" % i, row)
    write("cable_row", "short", rows[0][:20])

    for i, rec in enumerate(RECORDS):
        write("display", "record%02d" % i, rec)
    write("display", "empty", b"")
    write("display", "short", RECORDS[6][:100])


if __name__ == "__main__":
    main()
