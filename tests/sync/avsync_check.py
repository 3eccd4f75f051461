#!/usr/bin/python3
"""Checks tools/avsync: on files made here with a known offset between the
beeps and the timecode frames it must report that offset, on a file without
audio or without timecode it must refuse to measure, and on a short recording
made by the bundle on the timecode machine it must find every frame's time and
the beeps.

usage: avsync_check.py EXE WORKDIR"""

import os
import subprocess
import sys

import numpy as np

HERE = os.path.dirname(os.path.abspath(__file__))
AVSYNC = os.path.join(HERE, "..", "..", "tools", "avsync")
WIDTH, HEIGHT, FPS, RATE = 320, 180, 25, 48000
MACHINE_START_MS = 7_340_517  # the machine time of the file's first frame


def timecode_frame(machine_ms):
    frame = np.zeros((HEIGHT, WIDTH), dtype=np.uint8)
    for i in range(32):
        if (machine_ms >> (31 - i)) & 1:
            frame[:HEIGHT // 2, WIDTH * i // 32:WIDTH * (i + 1) // 32] = 255
    return frame


def make_file(path, seconds, offset_ms, audio=True, timecode=True, cut_ms=0.0):
    """Frames show machine time MACHINE_START_MS + pts; the beeps of machine
    time n x 1000 ms sound offset_ms late on the file's time line. With
    cut_ms, the second beep's first cut_ms are silent, as when the recorder
    wrote past a stalled device."""
    frames = b"".join(
        (timecode_frame(MACHINE_START_MS + k * 1000 // FPS) if timecode
         else np.full((HEIGHT, WIDTH), 128, np.uint8)).tobytes()
        for k in range(int(seconds * FPS)))
    raw_video = path + ".gray"
    with open(raw_video, "wb") as f:
        f.write(frames)
    cmd = ["ffmpeg", "-v", "error", "-y", "-f", "rawvideo", "-pix_fmt", "gray", "-s",
           f"{WIDTH}x{HEIGHT}", "-r", str(FPS), "-i", raw_video]
    if audio:
        t_ms = np.arange(int(seconds * RATE)) * 1000.0 / RATE
        machine = MACHINE_START_MS + t_ms - offset_ms
        beep = np.mod(machine, 1000.0) < 50.0
        second = np.floor(machine / 1000.0) == np.floor(MACHINE_START_MS / 1000.0) + 2
        beep &= ~(second & (np.mod(machine, 1000.0) < cut_ms))
        tone = 0.5 * np.sin(2 * np.pi * 1000.0 * t_ms / 1000.0) * beep
        raw_audio = path + ".f32"
        tone.astype(np.float32).tofile(raw_audio)
        cmd += ["-f", "f32le", "-ar", str(RATE), "-ac", "1", "-i", raw_audio, "-c:a", "aac"]
    cmd += ["-c:v", "libx264", "-pix_fmt", "yuv420p", path]
    subprocess.run(cmd, check=True)


def avsync(path):
    run = subprocess.run([AVSYNC, path], capture_output=True, text=True)
    return run.returncode, run.stdout + run.stderr


def main():
    exe, work = sys.argv[1], sys.argv[2]
    os.makedirs(work, exist_ok=True)
    failures = []

    # (offset, first ms lost of the second beep): a beep that lost its
    # start is left out, not measured late.
    for offset, cut in ((-120.0, 0.0), (0.0, 0.0), (45.0, 0.0), (0.0, 30.0)):
        path = os.path.join(work, f"known_{offset:+.0f}_cut{cut:.0f}.mp4")
        make_file(path, 3.2, offset, cut_ms=cut)
        code, text = avsync(path)
        words = text.split()
        if code != 0:
            failures.append(f"offset {offset}: exit {code}: {text}")
            continue
        beeps = int(words[words.index("beeps") + 1])
        values = [float(words[words.index(k) + 1]) for k in ("min", "median", "max")]
        if beeps != (2 if cut else 3) or any(abs(v - offset) > 2.0 for v in values):
            failures.append(f"offset {offset}: {text.strip()}")

    for name, audio, timecode in (("no_audio", False, True), ("no_timecode", True, False)):
        path = os.path.join(work, name + ".mp4")
        make_file(path, 1.0, 0.0, audio=audio, timecode=timecode)
        code, text = avsync(path)
        if code != 1 or "cannot measure" not in text:
            failures.append(f"{name}: want exit 1 and 'cannot measure', got {code}: {text}")

    recorded = os.path.join(work, "bundle_steady.mp4")
    run = subprocess.run([sys.executable, os.path.join(HERE, "record_sync.py"), exe,
                          os.path.join(HERE, "machines", "steady.json"), recorded, "2.5"],
                         capture_output=True, text=True)
    words = run.stdout.split()
    if run.returncode != 0 or "frames" not in words:
        failures.append(f"bundle recording: exit {run.returncode}: {run.stdout}{run.stderr}")
    elif int(words[words.index("frames") + 1]) < 20 or int(words[words.index("beeps") + 1]) < 2:
        failures.append(f"bundle recording: too little measured: {run.stdout.strip()}")

    for f in failures:
        print("FAIL", f)
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
