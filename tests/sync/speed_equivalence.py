#!/usr/bin/python3
"""A recording made with the machine's clock at speed 10 is the recording made
at speed 1: on the machine with every device condition, with computer audio
(both devices' clocks, jitter, stalls and pauses), the two files hold the
same number of frames (within one), last as long (within one frame), and the
beeps' offsets from their frames, as tools/avsync measures them, agree within
5 ms (the least, the median and the largest). The recorder's grabs, mixing
and encoding take the same processor time at any speed, so at speed 10 they
must take under a tenth of the machine time they take at speed 1: the
recordings are made at 5 frames a second of a small screen, which a busy
two-core machine encodes ten times as fast as they are made (at 15 frames a
second it drops frames). With --microphone the microphone alone is recorded
too; the recorder places its buffers by when the quickest of them arrived,
so its offsets move with how long the processor keeps the reader's thread
waiting, which counts ten times at speed 10 (on a busy machine they differ
by more than 5 ms from run to run).

usage: speed_equivalence.py EXE WORKDIR [--seconds S] [--speed X] [--machine NAME]
                            [--fps N] [--microphone]"""

import argparse
import json
import os
import subprocess
import sys

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)
import record_sync  # noqa: E402

AVSYNC = os.path.join(HERE, "..", "..", "tools", "avsync")
OFFSET_MS = 5.0


def video(path):
    """(frames, duration in s, frame duration in s) of the video stream."""
    probe = subprocess.run(["ffprobe", "-v", "error", "-select_streams", "v:0", "-count_packets",
                            "-show_entries", "stream=nb_read_packets,duration,avg_frame_rate",
                            "-of", "json", path], capture_output=True, text=True, check=True)
    stream = json.loads(probe.stdout)["streams"][0]
    num, den = (int(x) for x in stream["avg_frame_rate"].split("/"))
    return int(stream["nb_read_packets"]), float(stream["duration"]), den / num


def beeps(path):
    """Offset in ms of every measured beep, by the machine time it sounds at."""
    run = subprocess.run([AVSYNC, "--verbose", path], capture_output=True, text=True)
    if run.returncode != 0:
        raise RuntimeError(f"avsync {path}: {run.stderr.strip()}")
    found = {}
    for line in run.stdout.splitlines():
        if line.startswith("beep at machine"):
            machine = int(line.split()[3])
            found[machine] = float(line.split("offset ")[1].split()[0])
    return found


def summary(offsets):
    """(min, median, max) of the offsets, in ms; None without beeps."""
    values = sorted(offsets.values())
    if not values:
        return None
    return tuple(round(v, 1) for v in (values[0], values[len(values) // 2], values[-1]))


def compare(label, slow, fast):
    """The differences between two recordings, as lines; none when equal."""
    problems = []
    (n1, d1, f1), (n2, d2, _) = video(slow), video(fast)
    print(f"{label}: frames {n1} / {n2}, duration {d1:.3f} / {d2:.3f} s")
    if abs(n1 - n2) > 1:
        problems.append(f"{label}: {n1} frames at speed 1, {n2} at speed")
    if abs(d1 - d2) > f1 + 1e-6:
        problems.append(f"{label}: lasts {d1:.3f} s at speed 1, {d2:.3f} s at speed")
    b1, b2 = beeps(slow), beeps(fast)
    # Each run's machine time line starts at another moment, so the beeps
    # fall at other places in the recording: their offsets are compared as a
    # whole, by the median and the extremes.
    s1, s2 = summary(b1), summary(b2)
    print(f"{label}: offsets (min, median, max) {s1} ms at speed 1, {s2} ms at speed")
    if s1 is None or s2 is None or any(abs(x - y) > OFFSET_MS for x, y in zip(s1, s2)):
        problems.append(f"{label}: offsets {s1} ms at speed 1, {s2} ms at speed")
    return problems


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("exe")
    parser.add_argument("workdir")
    parser.add_argument("--seconds", type=float, default=10.0)
    parser.add_argument("--speed", type=float, default=10.0)
    parser.add_argument("--machine", default="everything")
    parser.add_argument("--fps", type=int, default=5)
    parser.add_argument("--microphone", action="store_true")
    args = parser.parse_args()
    machine = os.path.join(HERE, "machines", args.machine + ".json")
    problems = []
    for system_audio in (True, False) if args.microphone else (True,):
        kind = "system" if system_audio else "mic"
        files = []
        for speed in (1.0, args.speed):
            out = os.path.join(args.workdir, f"{args.machine}_{kind}_speed{speed:g}.mp4")
            replies = record_sync.record(args.exe, machine, out, args.seconds, system_audio, speed,
                                         args.fps)
            stop = (replies[1] or {}).get("success", {}) if len(replies) > 1 else {}
            if "videoError" in stop or "audioError" in stop:
                problems.append(f"{kind} at speed {speed:g}: stop reported {stop}")
            files.append(out)
        problems += compare(f"{args.machine} ({kind})", *files)
    for p in problems:
        print("FAILED:", p)
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main())
