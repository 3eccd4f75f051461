#!/usr/bin/env python3
"""compare_transcripts.py hides only a recording's timing: each case changes
one thing in a transcript and says whether the comparison must still pass."""

import copy
import json
import os
import subprocess
import sys
import tempfile
import unittest

HERE = os.path.dirname(os.path.abspath(__file__))
REGISTRARS = [{"registrar": name, "log": "plugin registered"} for name in ("A", "B")]
STOP = {"channel": "morl_desktop/recorder", "request": "07 04 73 74 6f 70 00",
        "reply": "00 0d 03 07 05 62 79 74 65 73 04 f1 a8 00 00 00 00 00 00",
        "decoded": {"success": {"bytes": {"int64": 43249}, "durationMs": {"int64": 346},
                                "frames": {"int64": 5}, "path": "a.mp4"}}}
BASE = REGISTRARS + [STOP]


def stop_with(**success):
    line = copy.deepcopy(STOP)
    line["decoded"]["success"].update(success)
    return line


CASES = [
    # (what changed, actual transcript, passes)
    ("nothing", BASE, True),
    ("timing values and their bytes",
     REGISTRARS + [dict(stop_with(bytes={"int64": 1}, durationMs={"int64": 9}, frames={"int64": 0}),
                        reply=STOP["reply"].replace("f1 a8", "01 00"))], True),
    ("plugin order", REGISTRARS[::-1] + [STOP], False),
    ("a line missing", BASE[1:], False),
    ("a line more", BASE + [STOP], False),
    ("timing value's wire type", REGISTRARS + [stop_with(frames={"int32": 5})], False),
    ("a value that is not timing", REGISTRARS + [stop_with(path="b.mp4")], False),
    ("reply length", REGISTRARS + [dict(STOP, reply=STOP["reply"] + " 00")], False),
    ("success became error",
     REGISTRARS + [dict(STOP, decoded={"error": {"code": "not_recording"}})], False),
]


def write(directory, name, lines):
    path = os.path.join(directory, name)
    with open(path, "w") as f:
        f.writelines(json.dumps(line) + "\n" for line in lines)
    return path


def compare(directory, expected, actual):
    run = subprocess.run([sys.executable, os.path.join(HERE, "compare_transcripts.py"),
                          write(directory, "expected.jsonl", expected),
                          write(directory, "actual.jsonl", actual)],
                         stdout=subprocess.PIPE, text=True)
    return run.returncode == 0


class CompareTranscripts(unittest.TestCase):
    def test_only_timing_is_hidden(self):
        with tempfile.TemporaryDirectory() as directory:
            for what, actual, passes in CASES:
                with self.subTest(what):
                    self.assertEqual(compare(directory, BASE, actual), passes)

    def test_two_empty_transcripts_differ(self):
        with tempfile.TemporaryDirectory() as directory:
            self.assertFalse(compare(directory, [], []))


if __name__ == "__main__":
    unittest.main()
