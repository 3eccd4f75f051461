#!/usr/bin/env python3
"""End-to-end: fragmented recordings survive the program being killed, and a
full disk. The built bundle records fragmented with computer audio on a
simulated machine and is killed (SIGKILL) at seeded random moments; the file
left beside the target must open with ffprobe and hold at least the recorded
time less 2.5 s of video and of audio. Then the disk fills up during a
fragmented recording: the stop fails with the HRESULT text, the part written
before the disk filled plays, and a new start in the same process works.
The machine's clock runs at SPEED times the wall clock: the kill moments and
the times recorded and held are machine time.

usage: fragmented_recording.py EXE WORKDIR [--kills=N] [--seed=S] [--speed=X]"""

import json
import os
import random
import subprocess
import sys

from bundle_run import (bundle_command, bundle_environment, call, desk_machine, held_seconds,
                        kill_fragmented_recording, transcript_replies, write_run_files)

ALLOWED_LOSS_S = 2.5
SPEED = 4.0
MACHINE = desk_machine(SPEED)


def kill_during_recording(exe, workdir, run, kill_after_s, speed):
    """Starts a fragmented recording, kills the process `kill_after_s` of
    machine time after the start reply arrived; returns (machine seconds
    recorded, what the file holds)."""
    out = os.path.join(workdir, f"killed_{run}.mp4")
    partial = out + ".partial.mp4"
    for stale in (out, partial):
        if os.path.exists(stale):
            os.remove(stale)
    machine = dict(MACHINE, clock={"speed": speed})
    reply, elapsed = kill_fragmented_recording(exe, workdir, f"killed_{run}", machine, out,
                                               kill_after_s)
    if reply is None:
        raise AssertionError(f"run {run}: no start reply")
    if reply != {"success": {"audio": True}}:
        raise AssertionError(f"run {run}: start reply {json.dumps(reply)}")
    if os.path.exists(out):
        raise AssertionError(f"run {run}: a killed recording reached the target path")
    return elapsed, held_seconds(partial)


def check_kills(failures, exe, workdir, kills, seed, speed):
    rng = random.Random(seed)
    margins = []
    for run in range(kills):
        elapsed, held = kill_during_recording(exe, workdir, run, rng.uniform(1.0, 5.0), speed)
        video, audio = held.get("video", -1.0), held.get("audio", -1.0)
        margin = min(video, audio) - (elapsed - ALLOWED_LOSS_S)
        margins.append(margin)
        print(f"kill {run:2d}: recorded {elapsed:5.2f} s, file holds video {video:5.2f} s, "
              f"audio {audio:5.2f} s, margin {margin:5.2f} s")
        if margin < 0:
            failures.append(f"kill {run}: recorded {elapsed:.2f} s, held {held}")
    print(f"kills: {kills}, seed {seed}, speed {speed:g}, smallest margin {min(margins):.2f} s")


def check_full_disk(failures, exe, workdir):
    out = os.path.join(workdir, "full_disk.mp4")
    partial = out + ".partial.mp4"
    after = os.path.join(workdir, "after_full_disk.mp4")
    for stale in (out, partial, after):
        if os.path.exists(stale):
            os.remove(stale)
    machine = dict(MACHINE, disk={"free_bytes": 300000})
    script, machine_file, transcript = write_run_files(workdir, "full_disk", machine, [
        call("start", {"path": out, "systemAudio": True, "fragmented": True}),
        {"sleep_ms": 6000}, call("stop"),
        call("start", {"path": after, "systemAudio": True}),
        {"sleep_ms": 300}, call("stop"), {"close": True}])
    run = subprocess.run(bundle_command(exe, script, transcript), cwd=os.path.dirname(exe),
                         timeout=120, stderr=subprocess.PIPE, text=True,
                         env=bundle_environment(machine_file))
    replies = [decoded for _, decoded in transcript_replies(transcript)]
    if run.returncode != 0 or len(replies) != 4:
        failures.append(f"full disk: exit {run.returncode}, replies {json.dumps(replies)}")
        return
    want = {"error": {"code": "stop_failed", "details": None,
                      "message": "finalize hr=0x80070070 -- the recording was kept as " + partial}}
    if replies[1] != want:
        failures.append(f"full disk stop: {json.dumps(replies[1])}")
    held = held_seconds(partial)
    print(f"full disk: the kept file holds video {held.get('video', -1):.2f} s, "
          f"audio {held.get('audio', -1):.2f} s")
    if held.get("video", 0) < 1.9 or held.get("audio", 0) < 1.9:
        failures.append(f"full disk: the kept file holds {held}")
    if os.path.exists(out):
        failures.append("full disk: an unfinished recording reached the target path")
    if replies[2] != {"success": {"audio": True}} or "success" not in replies[3]:
        failures.append(f"full disk: the next recording got {json.dumps(replies[2:])}")


def main():
    args = [a for a in sys.argv[1:] if not a.startswith("--")]
    options = dict(a[2:].split("=", 1) for a in sys.argv[1:] if a.startswith("--") and "=" in a)
    exe, workdir = os.path.abspath(args[0]), os.path.abspath(args[1])
    os.makedirs(workdir, exist_ok=True)
    failures = []
    check_kills(failures, exe, workdir, int(options.get("kills", 20)),
                int(options.get("seed", 11)), float(options.get("speed", SPEED)))
    check_full_disk(failures, exe, workdir)
    for failure in failures:
        print("FAILED:", failure)
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
