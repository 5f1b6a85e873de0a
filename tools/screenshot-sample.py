#!/usr/bin/env python3
"""Writes a small herd as per-type DIF files (herd.101 .. herd.104) for the screenshot, when the
sample data set is not there. Usage: screenshot-sample.py OUT_DIR DEFS_DIR"""
import configparser
import os
import random
import sys

out, defs = sys.argv[1], sys.argv[2]
rng = random.Random(7)
os.makedirs(out, exist_ok=True)


def layout(code):
    versions = configparser.ConfigParser()
    versions.read(os.path.join(defs, "DIFVersion.ini"))
    version = versions["Version"][code]
    ini = configparser.ConfigParser()
    ini.read(os.path.join(defs, f"DIF{code}V{version}.ini"))
    fields = [v.split(",") for _, v in sorted(ini["Records"].items())]
    return version, fields


def put(line, start, width, text, right):
    text = text[:width]
    text = text.rjust(width) if right else text.ljust(width)
    return line[: start - 1] + text + line[start - 1 + width :]


def record(code, values):
    version, fields = layout(code)
    length = max(int(f[2]) + int(f[3]) - 1 for f in fields)
    line = " " * length
    for name, kind, start, width, *rest in fields:
        if name == "RecordType":
            value = code
        elif name == "VersionNo":
            value = version
        else:
            value = values.get(name)
        if value is None:
            continue
        if kind == "Float":
            value = str(round(float(value) * int(rest[0])))
        line = put(line, int(start), int(width), str(value), kind in ("Number", "Float"))
    return line


herd = "VIC04417"
cows = []
for i in range(60):
    cows.append({
        "HerdCode": herd,
        "CowID": str(101 + i * 3),
        "NationalID": f"HOLAUSF{400120000 + i * 37:012d}",
        "BirthDate": f"{2015 + i % 6}{1 + i % 12:02d}{1 + i % 27:02d}",
        "BreedCode": rng.choice(["HOL", "HOL", "JER", "XBR"]),
        "RegisteredName": rng.choice(["BRINDLE", "MEADOW", "CLOVER", "DAISY", "TANSY"])
        + f" {rng.randint(1, 99)}",
    })

files = {
    "101": [record("101", {
        "HerdCode": herd, "ProcessingCentreCode": "03", "RecordingCentreCode": "VIC",
        "OwnerName": "HARROWGATE PASTORAL CO", "AddressLine1": "1250 TENBY MOOR ROAD",
        "Town": "WEXCOMBE", "StateCode": "VIC", "Postcode": "3875",
        "RecordingStartDate": "20190701", "TestingScheme": "A", "PredominantBreed": "HOL",
        "CalvingPattern": "S", "MilkingsPerDay": "2", "HerdSize": "312",
        "FarmName": "BRINDLE FLATS", "TestIntervalDays": "35"})],
    "102": [record("102", c) for c in cows],
    "103": [],
    "104": [],
}
for c in cows:
    calving = f"2023{1 + rng.randint(6, 9):02d}{rng.randint(1, 28):02d}"
    lact = rng.randint(1, 6)
    files["103"].append(record("103", dict(c, CalvingDate=calving, LactationNumber=lact,
                                           DaysInMilk=rng.randint(120, 305))))
    for month in (11, 12):
        milk = rng.uniform(14, 42)
        files["104"].append(record("104", dict(
            c, TestDate=f"2023{month}{rng.randint(2, 6):02d}", CalvingDate=calving,
            LactationNumber=lact, DaysInMilk=rng.randint(20, 200), Milk=f"{milk:.1f}",
            FatPercent=f"{rng.uniform(3.2, 5.4):.2f}", ProteinPercent=f"{rng.uniform(2.9, 3.9):.2f}",
            LactosePercent=f"{rng.uniform(4.5, 5.1):.2f}",
            TotalSolidsPercent=f"{rng.uniform(12, 14.5):.2f}", CellCount=rng.randint(20, 900),
            MilkingsPerDay=2, MilkingsSampled=2, TestStatus="V", SamplingSession="A")))
for code, lines in files.items():
    with open(os.path.join(out, f"herd.{code}"), "w", newline="") as f:
        f.write("".join(l + "\r\n" for l in lines))
