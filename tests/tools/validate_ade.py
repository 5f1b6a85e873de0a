#!/usr/bin/env python3
"""Validates JSON files against the ICAR ADE collection schemas (JSON Schema draft 7).

    validate_ade.py SCHEMA_DIR COLLECTION FILE [COLLECTION FILE ...]

SCHEMA_DIR holds the schemas' collections/, resources/, types/ and enums/ folders, which refer
to each other by relative paths; COLLECTION names a schema of collections/ without ".json"
(icarAnimalCoreCollection). Each file must be strict JSON in UTF-8 (no NaN, no key twice in an
object) and valid against its schema, date-time values included (RFC 3339). Prints one line per
fault and "FILE: N members valid" per good file; exits 1 on any fault, 2 on bad usage or missing
schemas.
"""
import datetime
import json
import pathlib
import re
import sys
import warnings

import jsonschema

DATE_TIME = re.compile(
    r"(\d{4})-(\d{2})-(\d{2})[Tt](\d{2}):(\d{2}):(\d{2})(\.\d+)?([Zz]|[+-](\d{2}):(\d{2}))")


def format_checker():
    checker = jsonschema.FormatChecker()

    # Checked here: without an optional module jsonschema would let any text pass as date-time.
    @checker.checks("date-time", raises=ValueError)
    def date_time(value):
        if not isinstance(value, str):
            return True
        m = DATE_TIME.fullmatch(value)
        if not m:
            raise ValueError(f"{value!r} is not an RFC 3339 date-time")
        datetime.date(int(m[1]), int(m[2]), int(m[3]))
        if int(m[4]) > 23 or int(m[5]) > 59 or int(m[6]) > 60:
            raise ValueError(f"{value!r} has no such time")
        return True

    return checker


def strict_pairs(pairs):
    keys = [k for k, _ in pairs]
    if len(keys) != len(set(keys)):
        raise ValueError(f"a key appears twice in one object: {keys}")
    return dict(pairs)


def no_constant(name):
    raise ValueError(f"{name} is not JSON")


def main(argv):
    if len(argv) < 4 or len(argv) % 2 != 0:
        print(__doc__, file=sys.stderr)
        return 2
    root = pathlib.Path(argv[1]).resolve()
    if not (root / "collections").is_dir():
        print(f"validate_ade: no ICAR ADE schemas in {root}", file=sys.stderr)
        return 2
    checker = format_checker()
    faults = 0
    for collection, path in zip(argv[2::2], argv[3::2]):
        schema_path = root / "collections" / f"{collection}.json"
        schema = json.loads(schema_path.read_text(encoding="utf-8"))
        with warnings.catch_warnings():
            # RefResolver is what Debian 12's jsonschema has; newer ones still take it.
            warnings.simplefilter("ignore", DeprecationWarning)
            resolver = jsonschema.RefResolver(base_uri=schema_path.as_uri(), referrer=schema)
            validator = jsonschema.Draft7Validator(schema, resolver=resolver,
                                                   format_checker=checker)
            try:
                text = pathlib.Path(path).read_bytes().decode("utf-8")
                data = json.loads(text, object_pairs_hook=strict_pairs,
                                  parse_constant=no_constant)
            except (ValueError, OSError) as e:
                print(f"{path}: not strict UTF-8 JSON: {e}")
                faults += 1
                continue
            errors = sorted(validator.iter_errors(data), key=lambda e: list(e.absolute_path))
        for e in errors[:20]:
            where = "/".join(str(p) for p in e.absolute_path)
            print(f"{path}: at /{where}: {e.message}")
        faults += len(errors)
        if not errors:
            print(f"{path}: {len(data.get('member', []))} members valid")
    return 1 if faults else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
