#!/usr/bin/env python3
"""Reads a CSV export the way a spreadsheet script would: the csv module, ';' between fields,
UTF-8 behind a byte-order mark. Prints one line per row, cells joined by ' | '; a cell that is a
number with the given decimal separator is printed as '#' and the number it reads back to
(Python's shortest repr of the double), so the test sees what a program computes with."""
import csv
import re
import sys
from decimal import Decimal

path, separator = sys.argv[1], sys.argv[2]
with open(path, "rb") as f:
    raw = f.read()
if not raw.startswith(b"\xef\xbb\xbf"):
    sys.exit("no byte-order mark")
number = re.compile(r"^-?\d+(" + re.escape(separator) + r"\d+)?$")
with open(path, encoding="utf-8-sig", newline="") as f:
    for row in csv.reader(f, delimiter=";", quotechar='"', strict=True):
        cells = []
        for cell in row:
            if number.match(cell):
                cells.append("#" + repr(float(Decimal(cell.replace(separator, ".")))))
            else:
                cells.append(cell.replace("\n", "\\n"))
        print(" | ".join(cells))
