#!/usr/bin/env python3
"""End-to-end: which display, which part of it and how many frames a second
a recording holds. The built bundle runs on a simulated machine with two
displays, each painted with a gradient that tells every pixel's place; the
"displays" reply, the second display whole and a region of it (checked on
decoded frames, with the cursor parked on the other display just beside it),
and the refusals of an unknown display and an empty region. Then one-display
recordings at 5 and 60 frames a second: frame counts, sample spacing and the
reported duration against the file's timestamps, with ffprobe.

usage: displays_and_rates.py EXE WORKDIR"""

import json
import os
import subprocess
import sys

import numpy as np

from bundle_run import Checker, call, error, run_bundle

PRIMARY = {"left": 0, "top": 0, "width": 320, "height": 240, "primary": True,
           "pattern": "gradient", "color": "#000020"}
SECOND = {"left": 320, "top": 0, "width": 256, "height": 192, "dpi": 144,
          "pattern": "gradient", "color": "#0000C0"}
# The cursor's hotspot is on the primary, two pixels left of the second
# display: its 32 x 32 image would cover the second display's left edge.
TWO_DISPLAYS = {"displays": [PRIMARY, SECOND],
                "cursor": {"visible": True, "x": 318, "y": 100}}
ONE_DISPLAY = {"screen": {"width": 320, "height": 240, "pattern": "animated"}}


def gradient(display, left, top, width, height):
    """What the machine paints on `display` in the given rectangle of it, RGB."""
    x = np.arange(left, left + width)
    y = np.arange(top, top + height)
    red = (x * 255 // (display["width"] - 1))[None, :].repeat(height, 0)
    green = (y * 255 // (display["height"] - 1))[:, None].repeat(width, 1)
    blue = np.full((height, width), int(display["color"][5:7], 16))
    return np.stack([red, green, blue], axis=2).astype(np.int16)


def decoded_frame(path, width, height, index):
    """Frame `index` of the file, RGB, height x width x 3."""
    raw = subprocess.run(["ffmpeg", "-v", "error", "-i", path, "-vf", f"select=eq(n\\,{index})",
                          "-frames:v", "1", "-f", "rawvideo", "-pix_fmt", "rgb24", "-"],
                         capture_output=True, check=True).stdout
    return np.frombuffer(raw, np.uint8).reshape(height, width, 3).astype(np.int16)


def number(value):
    """A reply's number: int64 values come back as {"int64": N}."""
    return value.get("int64") if isinstance(value, dict) else value


def video_packets(path):
    """(width, height, [(pts seconds, duration seconds)]) of the video stream."""
    probe = subprocess.run(["ffprobe", "-v", "error", "-select_streams", "v:0", "-show_entries",
                            "stream=width,height:packet=pts_time,duration_time", "-of", "json",
                            path], capture_output=True, text=True, check=True)
    data = json.loads(probe.stdout)
    stream = data["streams"][0]
    packets = sorted((float(p["pts_time"]), float(p["duration_time"])) for p in data["packets"])
    return stream["width"], stream["height"], packets


def check_displays(c, exe, workdir):
    whole = os.path.join(workdir, "second_display.mp4")
    region = os.path.join(workdir, "second_display_region.mp4")
    for stale in (whole, region):
        if os.path.exists(stale):
            os.remove(stale)
    replies = run_bundle(exe, workdir, "displays", TWO_DISPLAYS, [
        call("displays"),
        call("start", {"path": whole, "display": 1}),
        {"sleep_ms": 1000},
        call("stop"),
        call("start", {"path": region, "display": 1,
                       "region": {"left": 64, "top": 32, "width": 101, "height": 81}}),
        {"sleep_ms": 1000},
        call("stop"),
        call("start", {"path": whole, "display": 2}),
        call("start", {"path": whole, "display": 1,
                       "region": {"left": 256, "top": 0, "width": 10, "height": 10}}),
        {"close": True}])
    want_displays = [
        {"id": 0, "name": "\\\\.\\DISPLAY1", "left": 0, "top": 0, "width": 320, "height": 240,
         "primary": True, "dpi": 96},
        {"id": 1, "name": "\\\\.\\DISPLAY2", "left": 320, "top": 0, "width": 256, "height": 192,
         "primary": False, "dpi": 144}]
    c.check("displays reply", replies[0] == {"success": want_displays}, json.dumps(replies[0]))
    c.check("bad display", replies[5] == error("bad_argument",
                                                "display 2 is not one of the 2 displays"),
             json.dumps(replies[5]))
    c.check("empty region", replies[6] == error("bad_region",
                                                 "region lies outside the display (256 x 192)"),
             json.dumps(replies[6]))

    for name, path, reply, (left, top, width, height) in (
            ("second display", whole, replies[2], (0, 0, 256, 192)),
            ("region", region, replies[4], (64, 32, 100, 80))):
        stats = reply.get("success", {})
        c.check(f"{name}: stop reply size", (stats.get("width"), stats.get("height")) ==
                 (width, height), json.dumps(reply))
        file_width, file_height, packets = video_packets(path)
        c.check(f"{name}: file size", (file_width, file_height) == (width, height),
                 f"{file_width} x {file_height}")
        frame = decoded_frame(path, width, height, len(packets) // 2)
        want = gradient(SECOND, left, top, width, height)
        error_mean = float(np.abs(frame - want).mean())
        worst = int(np.abs(frame - want).max())
        print(f"{name}: {len(packets)} frames, mean error {error_mean:.2f}, worst {worst}")
        c.check(f"{name}: decoded frame is the display's gradient", error_mean < 4 and worst < 48,
                 f"mean {error_mean:.2f}, worst {worst}")
        if left == 0:
            # The cursor's image would start at the left edge, rows 100 to 131.
            edge = np.abs(frame[100:132, 0:30] - want[100:132, 0:30]).max()
            c.check(f"{name}: no cursor from the other display", edge < 48, f"worst {edge}")


def check_rates(c, exe, workdir):
    runs = {5: 2000, 60: 1500}
    paths = {fps: os.path.join(workdir, f"rate_{fps}.mp4") for fps in runs}
    steps = []
    for fps, sleep_ms in runs.items():
        if os.path.exists(paths[fps]):
            os.remove(paths[fps])
        steps += [call("start", {"path": paths[fps], "fps": fps}), {"sleep_ms": sleep_ms},
                  call("stop")]
    replies = run_bundle(exe, workdir, "rates", ONE_DISPLAY, steps + [{"close": True}])
    for n, (fps, sleep_ms) in enumerate(runs.items()):
        stats = {k: number(v) for k, v in replies[2 * n + 1].get("success", {}).items()}
        _, _, packets = video_packets(paths[fps])
        interval = 1.0 / fps
        gaps = np.diff([pts for pts, _ in packets])
        median_gap = float(np.median(gaps)) if len(gaps) else 0.0
        expected = sleep_ms / 1000.0 * fps
        print(f"{fps} fps: {len(packets)} frames in {stats.get('durationMs')} ms, "
              f"median spacing {median_gap * 1000:.2f} ms")
        c.check(f"{fps} fps: frames", 0.75 * expected <= len(packets) <= expected + 3,
                 f"{len(packets)} for about {expected:.0f}")
        c.check(f"{fps} fps: stop reply frames", stats.get("frames") == len(packets),
                 json.dumps(stats))
        c.check(f"{fps} fps: spacing", abs(median_gap - interval) < 0.0015,
                 f"{median_gap * 1000:.2f} ms")
        c.check(f"{fps} fps: timestamps increase", bool(np.all(gaps > 0)))
        end = packets[-1][0] + interval
        c.check(f"{fps} fps: durationMs", abs(stats.get("durationMs", 0) / 1000.0 - end) < 0.002,
                 f"{stats.get('durationMs')} ms against {end * 1000:.1f} ms")


def main():
    exe, workdir = os.path.abspath(sys.argv[1]), os.path.abspath(sys.argv[2])
    os.makedirs(workdir, exist_ok=True)
    c = Checker()
    check_displays(c, exe, workdir)
    check_rates(c, exe, workdir)
    return c.finish()


if __name__ == "__main__":
    sys.exit(main())
