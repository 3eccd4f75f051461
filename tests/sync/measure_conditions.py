#!/usr/bin/python3
"""Records the timecode desktop under every device condition of machines/ and
prints tools/avsync's offsets per condition, for computer audio (loopback
mixed with the microphone) and for the microphone alone.

usage: measure_conditions.py EXE WORKDIR [--seconds S] [--limit MS] [NAME...]

NAME selects machine files (without .json); all by default. With --limit the
exit code is 1 when any beep of any recording is further than MS from its
frame, or when a recording cannot be measured."""

import argparse
import glob
import os
import subprocess
import sys

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)
import record_sync  # noqa: E402

AVSYNC = os.path.join(HERE, "..", "..", "tools", "avsync")
# Machines that only differ from another for computer audio: loopback pauses,
# and the machine where the microphone is what is heard in the mix.
COMPUTER_AUDIO_ONLY = {"loopback_pause", "everything_mic_heard"}


def offsets(path):
    run = subprocess.run([AVSYNC, "--verbose", path], capture_output=True, text=True)
    if run.returncode != 0:
        return None, run.stderr.strip()
    values = [float(line.split("offset ")[1].split()[0]) for line in run.stdout.splitlines()
              if line.startswith("beep at")]
    return values, run.stdout.strip().splitlines()[-1]


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("exe")
    parser.add_argument("workdir")
    parser.add_argument("names", nargs="*")
    parser.add_argument("--seconds", type=float, default=20.0)
    parser.add_argument("--limit", type=float)
    args = parser.parse_intermixed_args()
    names = args.names or sorted(os.path.splitext(os.path.basename(p))[0]
                                 for p in glob.glob(os.path.join(HERE, "machines", "*.json")))
    os.makedirs(args.workdir, exist_ok=True)
    failed = False
    for name in names:
        machine = os.path.join(HERE, "machines", name + ".json")
        for system_audio in (True, False):
            if not system_audio and name in COMPUTER_AUDIO_ONLY:
                continue
            label = f"{name} ({'computer audio' if system_audio else 'microphone'})"
            out = os.path.join(args.workdir, f"{name}_{'system' if system_audio else 'mic'}.mp4")
            try:
                record_sync.record(args.exe, machine, out, args.seconds, system_audio)
            except (RuntimeError, OSError, subprocess.TimeoutExpired) as e:
                print(f"{label}: recording failed: {e}")
                failed = True
                continue
            values, summary = offsets(out)
            print(f"{label}: {summary}", flush=True)
            if values is None or (args.limit is not None and
                                  max(abs(v) for v in values) > args.limit):
                failed = True
    return 1 if failed and args.limit is not None else 0


if __name__ == "__main__":
    sys.exit(main())
