#!/usr/bin/python3
"""End-to-end: pausing, resuming and the status of recordings made by the
built bundle on simulated machines.

- A recording of the timecode desktop with beeping computer audio, paused
  once, with "status" polled every 100 ms: the reply bytes of every refusal,
  elapsed time and frames that only grow and stand still while paused, a file
  as long as its recorded time, no frozen frames across the pause (the
  timecode jumps by the pause while the file's time goes on by a frame), and
  every whole beep on both sides of the pause within 40 ms of its frame (a
  resume in the middle of a beep leaves only its end, whose start is no
  onset).
- Recordings with steady tones: the levels of the recorded sources only, near
  the tones' levels, and 0 while paused; a fragmented microphone-only
  recording paused twice, as long as its recorded time.

usage: pause_and_status.py EXE WORKDIR"""

import importlib.machinery
import importlib.util
import json
import os
import subprocess
import sys

import numpy as np

from bundle_run import Checker, call, run_bundle_raw

HERE = os.path.dirname(os.path.abspath(__file__))
FRAME_MS = 1000.0 / 15
BEEP_PERIOD_MS = 500.0
SYNC_LIMIT_MS = 40.0


def load_avsync():
    """tools/avsync as a module: its frame, audio and onset readers."""
    path = os.path.join(HERE, "..", "..", "tools", "avsync")
    loader = importlib.machinery.SourceFileLoader("avsync", path)
    spec = importlib.util.spec_from_loader("avsync", loader)
    module = importlib.util.module_from_spec(spec)
    loader.exec_module(module)
    return module


def polls(count):
    """`count` status calls 100 ms apart."""
    return [step for _ in range(count) for step in ({"sleep_ms": 100}, call("status"))]


def error_bytes(code):
    """An error envelope with a null message and null details, as hex."""
    raw = bytes([1, 7, len(code)]) + code.encode() + bytes([0, 0])
    return " ".join(f"{b:02x}" for b in raw)


SUCCESS_NULL = "00 00"
IDLE_STATUS = ("00 0d 05 07 05 62 79 74 65 73 04 00 00 00 00 00 00 00 00 07 09 65 6c 61 70 73 "
               "65 64 4d 73 04 00 00 00 00 00 00 00 00 07 06 66 72 61 6d 65 73 04 00 00 00 00 "
               "00 00 00 00 07 06 70 61 75 73 65 64 02 07 09 72 65 63 6f 72 64 69 6e 67 02")


def int64(status, key):
    return status[key]["int64"]


def check_statuses(c, name, statuses):
    """statuses: (phase, status map) in order; phase "recording" or "paused"."""
    previous = None
    paused_at = None
    for phase, status in statuses:
        c.check(f"{name}: status flags", status.get("recording") is True and
                 status.get("paused") is (phase == "paused"), json.dumps(status))
        elapsed, frames = int64(status, "elapsedMs"), int64(status, "frames")
        c.check(f"{name}: bytes written", int64(status, "bytes") > 0, json.dumps(status))
        if previous is not None:
            c.check(f"{name}: elapsedMs and frames never go back",
                     elapsed >= previous[0] and frames >= previous[1],
                     f"{previous} then {(elapsed, frames)}")
        if phase == "paused":
            # The first poll in a pause may still see a frame begun before it.
            if paused_at is None:
                paused_at = (elapsed, frames)
            c.check(f"{name}: elapsedMs and frames stand still while paused",
                     elapsed == paused_at[0] and frames == paused_at[1],
                     f"{paused_at} then {(elapsed, frames)}")
        else:
            paused_at = None
        previous = (elapsed, frames)


def video_duration_ms(path):
    probe = subprocess.run(["ffprobe", "-v", "error", "-select_streams", "v:0", "-show_entries",
                            "stream=duration", "-of", "json", path],
                           capture_output=True, text=True)
    streams = json.loads(probe.stdout or "{}").get("streams", [])
    return float(streams[0]["duration"]) * 1000.0 if streams else -1.0


def check_timecode_recording(c, exe, workdir, avsync):
    name = "pause_timecode"
    out = os.path.join(workdir, name + ".mp4")
    machine = {
        "screen": {"width": 320, "height": 180, "pattern": "timecode"},
        "render": {"id": "render-sync", "name": "Sync Speakers",
                   "signal": {"tone_hz": 1000, "level": 0.5, "beep_ms": 50,
                              "beep_period_ms": int(BEEP_PERIOD_MS)}},
        "capture": {"id": "capture-sync", "name": "Sync Mic", "signal": {"level": 0.0}}}
    steps = ([call("status"), call("pause"), call("resume"),
              call("start", {"path": out, "systemAudio": True})] + polls(12) +
             [call("pause"), call("pause")] + polls(8) +
             [call("resume"), call("resume")] + polls(12) +
             [call("stop"), call("status"), call("pause"), call("resume"), {"close": True}])
    replies = run_bundle_raw(exe, workdir, name, machine, steps)
    raw = [r for _, r, _ in replies]
    want = {0: IDLE_STATUS, 1: error_bytes("not_recording"), 2: error_bytes("not_recording"),
            16: SUCCESS_NULL, 17: error_bytes("already_paused"), 26: SUCCESS_NULL,
            27: error_bytes("not_paused"), 41: IDLE_STATUS, 42: error_bytes("not_recording"),
            43: error_bytes("not_recording")}
    for index, expected in want.items():
        c.check(f"{name}: {replies[index][0]} reply {index} bytes", raw[index] == expected,
                 f"got {raw[index]}, want {expected}")
    c.check(f"{name}: start", replies[3][2] == {"success": {"audio": True}}, str(replies[3][2]))

    statuses = []
    for index, (method, _, decoded) in enumerate(replies[4:40], start=4):
        if method == "status":
            statuses.append(("paused" if 17 < index < 26 else "recording", decoded["success"]))
    check_statuses(c, name, statuses)
    stats = replies[40][2].get("success") or {}
    if not stats or not os.path.exists(out):
        c.failures.append(f"{name}: stop {replies[40][2]}")
        return
    duration_ms = int64(stats, "durationMs")
    last_elapsed = int64(statuses[-1][1], "elapsedMs")
    c.check(f"{name}: durationMs follows the last status's elapsedMs",
             last_elapsed - FRAME_MS <= duration_ms <= last_elapsed + 250,
             f"{duration_ms} after {last_elapsed}")
    file_ms = video_duration_ms(out)
    c.check(f"{name}: the file is as long as the recorded time, within a frame",
             abs(file_ms - duration_ms) <= FRAME_MS, f"file {file_ms:.1f} ms, {duration_ms} ms")

    frame_pts, frame_machine = avsync.read_frames(out)
    if frame_pts.size < 10:
        c.failures.append(f"{name}: {frame_pts.size} frames read")
        return
    steps_pts, steps_machine = np.diff(frame_pts), np.diff(frame_machine)
    c.check(f"{name}: every frame shows a later time than the one before (none frozen)",
             bool(np.all(steps_machine > 0) and np.all(steps_pts > 0)),
             f"{list(zip(frame_pts.tolist(), frame_machine.tolist()))}")
    # The pause: the one step where the timecode jumps far beyond the file's time.
    lost = steps_machine - steps_pts
    jump = int(np.argmax(lost))
    c.check(f"{name}: the pause is cut out of the file",
             lost[jump] >= 500 and np.count_nonzero(lost > 200) == 1,
             f"timecode gained over file time: {np.round(lost).tolist()}")
    c.check(f"{name}: the frame after the resume follows at once",
             steps_pts[jump] <= 2 * FRAME_MS, f"{steps_pts[jump]:.1f} ms")

    # Each beep measured against the frames on its own side of the pause.
    times, samples, rate = avsync.read_audio(out)
    lag = frame_pts - frame_machine
    sides = {"before": lag[:jump + 1], "after": lag[jump + 1:]}
    pause_pts = (frame_pts[jump] + frame_pts[jump + 1]) / 2
    heard = {"before": [], "after": []}
    for onset in avsync.onsets(times, samples, rate):
        side = "before" if onset < pause_pts else "after"
        centre = np.median(sides[side])
        machine_ms = round((onset - centre) / BEEP_PERIOD_MS) * BEEP_PERIOD_MS
        heard[side].append(onset - (machine_ms + centre))
    for side, offsets in heard.items():
        c.check(f"{name}: beeps heard {side} the pause", len(offsets) >= 1, str(heard))
        c.check(f"{name}: beeps {side} the pause in sync with their frames",
                 all(abs(o) <= SYNC_LIMIT_MS for o in offsets),
                 f"offsets ms {np.round(offsets, 1).tolist()}")


def check_levels_and_microphone(c, exe, workdir):
    name = "pause_levels"
    mixed = os.path.join(workdir, name + "_mixed.mp4")
    mic = os.path.join(workdir, name + "_mic.mp4")
    machine = {"screen": {"width": 160, "height": 120, "pattern": "animated"},
               "render": {"id": "render-1", "name": "Desk Speakers",
                          "signal": {"tone_hz": 440, "level": 0.5}},
               "capture": {"id": "capture-1", "name": "Desk Mic",
                           "signal": {"tone_hz": 880, "level": 0.25}},
               "microphone": {"tone_hz": 880, "level": 0.25}}
    steps = ([call("start", {"path": mixed, "systemAudio": True})] + polls(4) +
             [call("pause")] + polls(3) + [call("resume")] + polls(4) + [call("stop")] +
             [call("start", {"path": mic, "fragmented": True})] + polls(4) +
             [call("pause"), {"sleep_ms": 400}, call("resume")] + polls(3) +
             [call("pause"), {"sleep_ms": 300}, call("resume")] + polls(3) +
             [call("stop"), {"close": True}])
    replies = run_bundle_raw(exe, workdir, name, machine, steps)
    want_levels = {"mixed": {"micLevel": 0.25, "systemAudioLevel": 0.5},
                   "mic": {"micLevel": 0.25}}
    # polls_paused counts the polls since the pause: the first one's 100 ms
    # may still hold audio from just before the pause.
    recording, paused, polls_paused, stops = "mixed", False, 0, {}
    statuses = {"mixed": [], "mic": []}
    for method, _, decoded in replies:
        if method in ("pause", "resume"):
            c.check(f"{name}: {method}", decoded == {"success": None}, str(decoded))
            paused, polls_paused = method == "pause", 0
        elif method == "stop":
            stops[recording] = decoded.get("success") or {}
            recording = "mic"
        elif method == "status":
            status = decoded["success"]
            polls_paused += paused
            statuses[recording].append(("paused" if paused else "recording", status))
            levels = {k: v["double"] for k, v in status.items() if k.endswith("Level")}
            c.check(f"{name}: {recording} levels present for the recorded sources",
                     sorted(levels) == sorted(want_levels[recording]), json.dumps(status))
            for key, level in levels.items():
                if polls_paused == 1:
                    continue
                target = 0.0 if paused else want_levels[recording].get(key, 0.0)
                c.check(f"{name}: {recording} {key} near {target}",
                         abs(level - target) <= 0.03, f"{level}")
    for kind in ("mixed", "mic"):
        check_statuses(c, f"{name} {kind}", statuses[kind])
    path = mic
    duration_ms = int64(stops.get("mic", {}), "durationMs") if stops.get("mic") else -1
    file_ms = video_duration_ms(path) if os.path.exists(path) else -1.0
    c.check(f"{name}: fragmented microphone recording as long as its recorded time",
             duration_ms > 0 and abs(file_ms - duration_ms) <= FRAME_MS,
             f"file {file_ms:.1f} ms, {duration_ms} ms")
    # 1.0 s recorded between 0.7 s of pauses: the pauses are not in the file.
    c.check(f"{name}: the pauses are not recorded", 0 < duration_ms < 1500, f"{duration_ms}")


def main():
    exe, workdir = sys.argv[1:3]
    os.makedirs(workdir, exist_ok=True)
    c = Checker()
    check_timecode_recording(c, exe, workdir, load_avsync())
    check_levels_and_microphone(c, exe, workdir)
    return c.finish()


if __name__ == "__main__":
    sys.exit(main())
