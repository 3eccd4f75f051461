#!/usr/bin/env python3
"""End-to-end: recordings through what users' machines do to the screen, on
simulated machines whose timeline changes them mid-recording at clock speed 3. One table of fault classes, each recorded by the built bundle and
checked on its replies and its decoded frames:

- the screen cannot be read for a stretch (the secure desktop of a UAC prompt
  or the lock screen, and reads of the screen failing for a range of calls:
  BitBlt, or the duplication's AcquireNextFrame on a machine with a GPU) with
  the cursor moving: the time line is kept with the last picture repeated unchanged (no
  trail of cursors), capture resumes, and "videoError" says for how long;
- the recorded display changes resolution: the file keeps its size and shows
  the display fitted with its aspect kept, black bars beside it, no error;
- the recorded display is unplugged and comes back: black frames while it is
  gone, its picture again after, "videoError" says for how long;
- a region no longer on its display: black frames and "videoError";
- a capture far below its rate, and a microphone that delivers nothing for
  more than 2 s: the condition in "status" while recording and in "stop".

Every status before a fault carries neither "videoError" nor "audioError".

usage: video_faults.py EXE WORKDIR"""

import json
import os
import re
import subprocess
import sys

import numpy as np

from bundle_run import Checker, call, held_seconds, run_bundle

SPEED = 3
FPS = 15
ANIMATED = {"width": 320, "height": 240, "pattern": "animated"}
PRIMARY = {"left": 0, "top": 0, "width": 320, "height": 240, "primary": True,
           "pattern": "gradient", "color": "#0000C0"}
SECOND = {"left": 320, "top": 0, "width": 256, "height": 192, "pattern": "gradient",
          "color": "#0000C0"}
MOVING_CURSOR = {"visible": True, "x": 160, "y": 120, "moving": True}
# The call that reads the screen: the GDI grabber's on a machine without a
# GPU, the duplication's where there is one.
SCREEN_READ = ("BitBlt" if os.environ.get("MORL_E2E_GPU") == "none"
               else "IDXGIOutputDuplication::AcquireNextFrame")
# Where the GPU duplicates the screen, a recording keeps duplicating through
# a secure desktop, failing reads and a display that changed size (its
# video processor fitting the new size into the frame); a display or region
# that went away leaves it to GDI, which draws the black frames.
KEEPS_DUPLICATING = ("frozen", "bars above and below", "bars left and right")


def capture_during(kind):
    on_gpu = os.environ.get("MORL_E2E_GPU") != "none"
    return "duplication" if on_gpu and kind in KEEPS_DUPLICATING else "gdi"


# Faults are placed on the machine's time from the process start; the
# recording starts within the first two seconds of it (two thirds of a second
# of wall time) and runs for RECORD_MS.
FAULT_AT, FAULT_END, RECORD_MS = 4000, 6000, 9000
# A status is asked for once before the fault and once after it began.
STATUS_BEFORE_MS, STATUS_DURING_MS = 1500, 3300
# What a busy machine may cost at this speed: a frame's wait that ends late
# restarts the schedule, so a stretch may hold a few frames fewer.
LENGTH_MARGIN_MS = 300


def at(ms, **patch):
    return {"at_ms": ms, "patch": patch}


# name, machine, start arguments, the condition's text (a pattern with the
# length in ms as its group; None: no error at all), the length it must
# show, and which pictures the frames must hold.
CASES = [
    ("secure desktop",
     {"screen": ANIMATED, "cursor": MOVING_CURSOR,
      "timeline": [at(FAULT_AT, desktop={"secure": True}),
                   at(FAULT_END, desktop={"secure": False})]},
     {}, r"screen unavailable for (\d+) ms", 2000, "frozen"),
    ("screen reads failing for 30 frames",
     {"screen": ANIMATED, "cursor": MOVING_CURSOR,
      "fail": {SCREEN_READ + "#46-75": "0x80070005"}},
     {}, r"screen unavailable for (\d+) ms", 2000, "frozen"),
    ("display grows to 16:9",
     {"displays": [PRIMARY],
      "timeline": [at(FAULT_AT, displays=[dict(PRIMARY, width=640, height=360)])]},
     {}, None, 0, "bars above and below"),
    ("display shrinks to 1:1",
     {"displays": [PRIMARY],
      "timeline": [at(FAULT_AT, displays=[dict(PRIMARY, width=160, height=160)])]},
     {}, None, 0, "bars left and right"),
    ("display unplugged and back",
     {"displays": [PRIMARY, SECOND],
      "timeline": [at(FAULT_AT, displays=[PRIMARY]),
                   at(FAULT_END, displays=[PRIMARY, SECOND])]},
     {"display": 1}, r"display unavailable for (\d+) ms", 2000, "black stretch"),
    ("region off its display",
     {"displays": [PRIMARY],
      "timeline": [at(FAULT_AT, displays=[dict(PRIMARY, width=160, height=120)]),
                   at(FAULT_END, displays=[PRIMARY])]},
     {"region": {"left": 200, "top": 120, "width": 100, "height": 100}},
     r"region off its display for (\d+) ms", 2000, "black stretch"),
]


def number(value):
    return value.get("int64") if isinstance(value, dict) else value


def frames_of(path, width, height):
    """Every decoded frame, RGB, as an array frames x height x width x 3."""
    raw = subprocess.run(["ffmpeg", "-v", "error", "-i", path, "-fps_mode", "passthrough", "-f",
                          "rawvideo", "-pix_fmt", "rgb24", "-"],
                         capture_output=True, check=True).stdout
    return np.frombuffer(raw, np.uint8).reshape(-1, height, width, 3).astype(np.int16)


def fault_text(text):
    """`text` without what a busy machine may add at this speed (a capture
    below its rate, frames dropped behind the encoder), which
    check_live_conditions and the encoder's own tests check."""
    parts = [part for part in (text or "").split("; ")
             if part and not part.startswith(("capture below requested rate", "frames dropped"))]
    return "; ".join(parts) or None


def longest_run(flags):
    best = run = 0
    for flag in flags:
        run = run + 1 if flag else 0
        best = max(best, run)
    return best


def check_pictures(c, name, kind, frames):
    means = frames.reshape(len(frames), -1).mean(axis=1)
    changes = np.abs(np.diff(frames, axis=0)).reshape(len(frames) - 1, -1).max(axis=1)
    frozen = longest_run(changes < 24)
    black = longest_run(means < 6)
    print(f"{name}: {len(frames)} frames, longest frozen run {frozen}, longest black run "
          f"{black}")
    last = frames[-1]
    if kind == "frozen":
        # 30 frames of repeated picture; outside it the animation moves.
        c.check(f"{name}: one picture repeated through the stretch", 20 <= frozen <= 34,
                 f"{frozen} frames")
        c.check(f"{name}: capture resumed", changes[-5:].max() >= 24)
    elif kind == "black stretch":
        c.check(f"{name}: black while gone", 20 <= black <= 34, f"{black} frames")
        c.check(f"{name}: picture back", means[-1] > 30, f"mean {means[-1]:.1f}")
    elif kind == "bars above and below":
        # 640 x 360 in 320 x 240: 320 x 180, 30 rows of black above and below.
        bars = max(last[:28].mean(), last[-28:].mean())
        c.check(f"{name}: black bars", bars < 6, f"{bars:.1f}")
        c.check(f"{name}: picture between", last[34:206].mean() > 30)
        # The gradient's green grows down the display: the whole of it is shown.
        green = last[34:206, :, 1].mean(axis=1)
        c.check(f"{name}: whole display shown", green[0] < 40 and green[-1] > 200,
                 f"green {green[0]:.0f} to {green[-1]:.0f}")
    elif kind == "bars left and right":
        # 160 x 160 in 320 x 240: 240 x 240, 40 columns of black each side.
        bars = max(last[:, :38].mean(), last[:, -38:].mean())
        c.check(f"{name}: black bars", bars < 6, f"{bars:.1f}")
        red = last[:, 42:278, 0].mean(axis=0)
        c.check(f"{name}: whole display shown", red[0] < 40 and red[-1] > 200,
                 f"red {red[0]:.0f} to {red[-1]:.0f}")


def check_case(c, exe, workdir, case):
    name, machine, args, pattern, length, kind = case
    slug = re.sub(r"[^a-z0-9]+", "_", name.lower()).strip("_")
    path = os.path.join(workdir, slug + ".mp4")
    if os.path.exists(path):
        os.remove(path)
    replies = run_bundle(exe, workdir, slug, dict(machine, clock={"speed": SPEED}), [
        call("start", dict(args, path=path)),
        {"sleep_ms": STATUS_BEFORE_MS}, call("status"),
        {"sleep_ms": STATUS_DURING_MS}, call("status"),
        {"sleep_ms": RECORD_MS - STATUS_BEFORE_MS - STATUS_DURING_MS}, call("stop"),
        {"close": True}])
    before, during = replies[1].get("success", {}), replies[2].get("success", {})
    stop = {k: number(v) for k, v in replies[3].get("success", {}).items()}
    c.check(f"{name}: nothing reported before the fault",
            fault_text(before.get("videoError")) is None and "audioError" not in before,
            json.dumps(before))
    c.check(f"{name}: no audioError", "audioError" not in stop, json.dumps(stop))
    c.expect(f"{name}: screen read during the fault", during.get("capture"), capture_during(kind))
    want_size = (256, 192) if "display" in args else (100, 100) if "region" in args else (320, 240)
    c.expect(f"{name}: file size", (stop.get("width"), stop.get("height")), want_size)
    error = fault_text(stop.get("videoError"))
    print(f"{name}: videoError {error!r}; status during the fault: {during.get('videoError')!r}")
    if pattern is None:
        c.check(f"{name}: no videoError", error is None, json.dumps(stop))
    else:
        found = re.fullmatch(pattern, error or "")
        c.check(f"{name}: videoError", found is not None, repr(error))
        if found:
            c.check(f"{name}: length in videoError", abs(int(found.group(1)) - length) <= LENGTH_MARGIN_MS,
                     found.group(1))
        c.check(f"{name}: status shows it during the fault",
                re.match(pattern.split(" (")[0], fault_text(during.get("videoError")) or "")
                is not None,
                json.dumps(during))
    # The time line is kept: a frame per interval of recorded time, less
    # what a busy machine may cost (the stretches themselves are checked on
    # the frames).
    expected = stop.get("durationMs", 0) * FPS / 1000
    c.check(f"{name}: frames", 0.75 * expected <= stop.get("frames", 0) <= expected + 3,
            f"{stop.get('frames')} for {expected:.1f}")
    width, height = stop.get("width", 320), stop.get("height", 240)
    check_pictures(c, name, kind, frames_of(path, width, height))


def check_live_conditions(c, exe, workdir):
    """A capture far below its rate (60 fps of 1080p at clock speed 20, which
    the processor cannot give), a microphone stalled for 2.6 s and one that
    never delivers."""
    slow = os.path.join(workdir, "slow_capture.mp4")
    # The rate is known at the first frame after a 3-s window; a loaded
    # machine writes a 1080p frame every second or two of machine time here,
    # so the status comes well after that.
    replies = run_bundle(exe, workdir, "slow_capture", {
        "clock": {"speed": 20}, "screen": {"width": 1920, "height": 1080, "pattern": "animated"}}, [
        call("start", {"path": slow, "fps": 60}), {"sleep_ms": 6000}, call("status"),
        {"sleep_ms": 1500}, call("stop"), {"close": True}])
    slow_re = r"capture below requested rate: (\d+\.\d) of 60 fps"
    during = replies[1].get("success", {}).get("videoError", "")
    stop = replies[2].get("success", {}).get("videoError", "")
    print(f"slow capture: status {during!r}, stop {stop!r}")
    for what, text in (("status", during), ("stop", stop)):
        found = re.search(slow_re, text)
        c.check(f"slow capture in {what}", found is not None and float(found.group(1)) < 54,
                repr(text))

    # A microphone stalled for 2.6 s, and one that never delivers: both are
    # reported, and silence keeps the audio track up with the video (the
    # media sink holds the video back until the audio reaches it), so the
    # track lasts as long as the video.
    for name, stall, least_ms, most_ms in (
            ("stalled microphone", {"at_ms": FAULT_AT, "ms": 2600}, 2000, 2900),
            ("silent microphone", {"at_ms": 0, "ms": 600000}, 8000, RECORD_MS + 500)):
        out = os.path.join(workdir, name.replace(" ", "_") + ".mp4")
        capture = {"id": "capture-1", "name": "Desk Mic",
                   "format": {"tag": "pcm", "bits": 16, "rate": 48000, "channels": 1},
                   "stalls": [stall]}
        replies = run_bundle(exe, workdir, name.replace(" ", "_"), {
            "clock": {"speed": SPEED}, "screen": ANIMATED, "capture": capture}, [
            call("start", {"path": out}), {"sleep_ms": STATUS_BEFORE_MS}, call("status"),
            {"sleep_ms": RECORD_MS - STATUS_BEFORE_MS}, call("stop"), {"close": True}])
        before = replies[1].get("success", {})
        stop = replies[2].get("success", {})
        print(f"{name}: audioError {stop.get('audioError')!r}")
        if stall["at_ms"] > STATUS_BEFORE_MS:
            c.check(f"{name}: nothing before", "audioError" not in before, json.dumps(before))
        found = re.fullmatch(r"microphone delivered nothing for (\d+) ms",
                             stop.get("audioError", ""))
        c.check(f"{name}: audioError", found is not None and
                least_ms <= int(found.group(1)) <= most_ms, json.dumps(stop))
        c.check(f"{name}: no videoError", fault_text(stop.get("videoError")) is None,
                json.dumps(stop))
        held = held_seconds(out)
        c.check(f"{name}: the audio lasts as long as the video",
                abs(held.get("audio", 0.0) - held.get("video", 0.0)) <= 0.3, repr(held))


def main():
    exe, workdir = os.path.abspath(sys.argv[1]), os.path.abspath(sys.argv[2])
    os.makedirs(workdir, exist_ok=True)
    c = Checker()
    only = sys.argv[3] if len(sys.argv) > 3 else None
    for case in CASES:
        if only is None or only in case[0]:
            check_case(c, exe, workdir, case)
    if only is None or only == "live":
        check_live_conditions(c, exe, workdir)
    return c.finish()


if __name__ == "__main__":
    sys.exit(main())
