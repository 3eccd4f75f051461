#!/usr/bin/env python3
"""The contact sheet tool on short files made with FFmpeg: a recording with
stereo audio, one with two frames and no audio, a truncated file and a missing
one. A sheet must be a PNG of the expected width whose height grows with the
rows of frames and the audio channels; a bad input must fail with one line
naming the file and write nothing.

usage: contact_sheet_test.py TOOL WORKDIR"""

import os
import struct
import subprocess
import sys


def make_inputs(workdir):
    with_audio = os.path.join(workdir, "with_audio.mp4")
    subprocess.run(["ffmpeg", "-v", "error", "-y",
                    "-f", "lavfi", "-i", "testsrc2=size=160x120:rate=10:duration=1",
                    "-f", "lavfi", "-i", "sine=frequency=440:sample_rate=48000:duration=1",
                    "-ac", "2", "-c:a", "aac", "-pix_fmt", "yuv420p", with_audio], check=True)
    two_frames = os.path.join(workdir, "two_frames.mp4")
    subprocess.run(["ffmpeg", "-v", "error", "-y",
                    "-f", "lavfi", "-i", "testsrc2=size=160x120:rate=10:duration=0.2",
                    "-pix_fmt", "yuv420p", two_frames], check=True)
    truncated = os.path.join(workdir, "truncated.mp4")
    with open(with_audio, "rb") as source, open(truncated, "wb") as out:
        out.write(source.read(2000))
    return with_audio, two_frames, truncated, os.path.join(workdir, "missing.mp4")


def png_size(path):
    """Width and height from the PNG header, or None when it is not a PNG."""
    with open(path, "rb") as f:
        header = f.read(24)
    if len(header) < 24 or header[:8] != b"\x89PNG\r\n\x1a\n" or header[12:16] != b"IHDR":
        return None
    return struct.unpack(">II", header[16:24])


def main():
    tool, workdir = sys.argv[1:3]
    os.makedirs(workdir, exist_ok=True)
    with_audio, two_frames, truncated, missing = make_inputs(workdir)
    failures = []

    sizes = {}
    for name, source in [("with_audio", with_audio), ("two_frames", two_frames)]:
        sheet = os.path.join(workdir, name + ".png")
        if os.path.exists(sheet):
            os.remove(sheet)
        run = subprocess.run([tool, source, sheet], capture_output=True, text=True)
        size = png_size(sheet) if os.path.exists(sheet) else None
        if run.returncode != 0 or size is None:
            failures.append(f"{name}: exit {run.returncode}, sheet {size}: {run.stderr.strip()}")
            continue
        sizes[name] = size
        print(f"{name}: {sheet} {size[0]}x{size[1]}")
    if len(sizes) == 2:
        # Three rows of frames and two channels against one row and a note.
        if sizes["with_audio"][0] != 1600 or sizes["two_frames"][0] != 1600:
            failures.append(f"sheet widths {sizes}")
        if not sizes["with_audio"][1] > sizes["two_frames"][1] + 500:
            failures.append(f"sheet heights {sizes}")

    for name, source in [("truncated", truncated), ("missing", missing)]:
        sheet = os.path.join(workdir, name + ".png")
        run = subprocess.run([tool, source, sheet], capture_output=True, text=True)
        lines = run.stderr.strip().splitlines()
        if run.returncode == 0 or os.path.exists(sheet) or len(lines) != 1 or \
                not lines[0].startswith(f"contact-sheet: {source}: "):
            failures.append(f"{name}: exit {run.returncode}, stderr {run.stderr!r}")

    for failure in failures:
        print("FAILED:", failure)
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
