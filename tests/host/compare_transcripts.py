#!/usr/bin/env python3
"""Compares two transcripts of one UI script run by two bundles, line by line.
They must be equal except for what the length of a recording decides: the
values of "durationMs", "frames" and "bytes" in a reply. Their types stay
compared, and such a reply's bytes are compared by length (the values are
fixed-width on the wire). Usage: compare_transcripts.py EXPECTED ACTUAL"""

import json
import sys

TIMED_KEYS = ("durationMs", "frames", "bytes")


def masked(value):
    """The value with its number hidden but its wire type kept."""
    if isinstance(value, dict):
        return {kind: "*" for kind in value}
    return "*"


def normalised(line):
    decoded = line.get("decoded")
    success = decoded.get("success") if isinstance(decoded, dict) else None
    if isinstance(success, dict) and any(key in success for key in TIMED_KEYS):
        for key in TIMED_KEYS:
            if key in success:
                success[key] = masked(success[key])
        line["reply"] = f"{len(line.get('reply', ''))} hex characters"
    return line


def read(path):
    with open(path) as f:
        return [normalised(json.loads(text)) for text in f if text.strip()]


def main():
    expected_path, actual_path = sys.argv[1:3]
    expected, actual = read(expected_path), read(actual_path)
    failures = []
    if not expected:
        failures.append(f"{expected_path} is empty")
    for number, (want, got) in enumerate(zip(expected, actual), start=1):
        if want != got:
            failures.append(f"line {number}:\n  expected {json.dumps(want)}\n  actual   {json.dumps(got)}")
    if len(expected) != len(actual):
        failures.append(f"{len(expected)} lines expected, {len(actual)} found")
    for failure in failures:
        print("FAILED:", failure)
    print("transcripts:", "equal" if not failures else "differ", f"({len(actual)} lines)")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
