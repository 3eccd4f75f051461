#!/usr/bin/python3
"""Records the timecode desktop under every device condition of machines/ and
prints tools/avsync's offsets per condition, for computer audio (loopback
mixed with the microphone) and for the microphone alone.

usage: measure_conditions.py EXE WORKDIR [--seconds S] [--speed X] [--limit MS]
                             [--computer-audio-only] [--fps N] [--frames-within PCT]
                             [--machines DIR] [NAME...]

NAME selects machine files (without .json); all by default. S is machine
time; --speed runs the machine's clock X times as fast as the wall clock.
A recording longer than ten minutes is measured ten minutes at a time. --fps
sets the recordings' frame rate (the recorder's default, 15, without it).
--frames-within fails a recording whose stop reply counts frames further
than PCT percent (and one frame) from seconds x rate. --machines reads the machine files
from DIR instead of machines/.
With --limit the exit code is 1 when any beep of any recording is further
than MS from its frame, when a recording cannot be measured, or when the
recorder reported an audio failure at the stop (dropped frames are printed)."""

import argparse
import glob
import math
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


PART_S = 600


def offsets(path, seconds):
    """Every beep's offset, and a summary line."""
    values = []
    for start in range(0, max(1, math.ceil(seconds)), PART_S):
        part = ["--from", str(start), "--seconds", str(PART_S)] if seconds > PART_S else []
        run = subprocess.run([AVSYNC, "--verbose", *part, path], capture_output=True, text=True)
        if run.returncode != 0:
            return None, run.stderr.strip()
        values += [float(line.split("offset ")[1].split()[0])
                   for line in run.stdout.splitlines() if line.startswith("beep at")]
    if not values:
        return None, "no beeps"
    ordered = sorted(values)
    return values, (f"beeps {len(values)}, offset ms: min {ordered[0]:+.1f} median "
                    f"{ordered[len(ordered) // 2]:+.1f} max {ordered[-1]:+.1f}")


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("exe")
    parser.add_argument("workdir")
    parser.add_argument("names", nargs="*")
    parser.add_argument("--seconds", type=float, default=20.0)
    parser.add_argument("--speed", type=float, default=1.0)
    parser.add_argument("--limit", type=float)
    parser.add_argument("--computer-audio-only", action="store_true")
    parser.add_argument("--fps", type=int)
    parser.add_argument("--frames-within", type=float)
    parser.add_argument("--machines", default=os.path.join(HERE, "machines"))
    args = parser.parse_intermixed_args()
    names = args.names or sorted(os.path.splitext(os.path.basename(p))[0]
                                 for p in glob.glob(os.path.join(args.machines, "*.json")))
    os.makedirs(args.workdir, exist_ok=True)
    failed = False
    for name in names:
        machine = os.path.join(args.machines, name + ".json")
        for system_audio in (True, False):
            if not system_audio and (name in COMPUTER_AUDIO_ONLY or args.computer_audio_only):
                continue
            label = f"{name} ({'computer audio' if system_audio else 'microphone'})"
            out = os.path.join(args.workdir, f"{name}_{'system' if system_audio else 'mic'}.mp4")
            try:
                replies = record_sync.record(args.exe, machine, out, args.seconds, system_audio,
                                             args.speed, args.fps)
            except (RuntimeError, OSError, subprocess.TimeoutExpired) as e:
                print(f"{label}: recording failed: {e}")
                failed = True
                continue
            values, summary = offsets(out, args.seconds)
            # Frames dropped because the encoder fell behind (the processor
            # does the same work at any speed) leave the offsets measurable;
            # an audio failure does not.
            stop = (replies[1] or {}).get("success", {}) if len(replies) > 1 else {}
            problems = {k: stop[k] for k in ("videoError", "audioError") if k in stop}
            if problems:
                summary += f"; stop reported {problems}"
                failed = failed or "audioError" in problems
            if args.frames_within is not None:
                expected = args.seconds * (args.fps or 15)
                frames = stop.get("frames", {})
                frames = frames.get("int64", frames.get("int32", 0))
                summary += f"; frames {frames} of {expected:.0f}"
                # The frames at both ends of the recorded time are in the file.
                if abs(frames - expected) > max(1.0, expected * args.frames_within / 100.0):
                    summary += f" (more than {args.frames_within} % off)"
                    failed = True
            print(f"{label}: {summary}", flush=True)
            if values is None or (args.limit is not None and
                                  max(abs(v) for v in values) > args.limit):
                failed = True
    return 1 if failed and args.limit is not None else 0


if __name__ == "__main__":
    sys.exit(main())
