#!/usr/bin/env python3
"""Writes a combined DIF file of mixed record types for the load benchmark.

Every line follows the current layout of its record type (Defs/DIFVersion.ini and
Defs/DIF<type>V<version>.ini), with every field filled with a valid value, so each line
imports as one row. The mix leans on test-day records as real herd files do, and the types
are interleaved in file order. The output is the same for the same arguments.

usage: make-combined.py DEFS_DIR LINES OUT
"""
import configparser
import os
import random
import sys

# Share of each record type among the lines.
MIX = {
    "101": 1, "102": 8, "103": 10, "104": 50, "105": 2, "106": 3,
    "107": 10, "108": 5, "112": 3, "114": 3, "202": 3, "211": 2,
}


LETTERS = "ABCDEFGHJKLMNPRSTUVWXYZ0123456789"


def read_ini(path):
    parser = configparser.ConfigParser(interpolation=None)
    parser.optionxform = str.lower
    parser.read(path, encoding="latin-1")
    return parser


def layout(defs, code, version):
    ini = read_ini(os.path.join(defs, f"DIF{code}V{version}.ini"))
    section = next(s for s in ini.sections() if s.lower() == "records")
    fields = []
    for i in range(1, len(ini[section]) + 1):
        items = ini[section][f"{i:02d}"].split(",")
        fields.append((items[0].strip(), items[1].strip(), int(items[3]),
                       items[4].strip() if len(items) > 4 else ""))
    return fields


def value(rng, name, kind, width, herds):
    if name == "HerdCode":
        return rng.choice(herds).ljust(width)
    if kind == "String":
        return "".join(rng.choices(LETTERS, k=width))
    if kind == "Date":
        return f"{rng.randint(2015, 2024):04d}{rng.randint(1, 12):02d}{rng.randint(1, 28):02d}"
    digits = min(width, 9)
    return str(rng.randint(0, 10 ** (digits - 1) - 1)).rjust(width)


def main():
    defs, lines, out = sys.argv[1], int(sys.argv[2]), sys.argv[3]
    versions = read_ini(os.path.join(defs, "DIFVersion.ini"))["Version"]
    layouts = {code: layout(defs, code, versions[code]) for code in MIX}
    rng = random.Random(20240611)
    herds = [f"H{n:07d}" for n in range(40)]
    codes = list(MIX)
    weights = [MIX[c] for c in codes]
    with open(out, "w", encoding="latin-1", newline="") as f:
        for _ in range(lines):
            code = rng.choices(codes, weights)[0]
            parts = [code, versions[code]]
            for name, kind, width, _scale in layouts[code][2:]:
                parts.append(value(rng, name, kind, width, herds))
            f.write("".join(parts) + "\r\n")


if __name__ == "__main__":
    main()
